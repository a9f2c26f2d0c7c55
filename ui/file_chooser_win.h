// The file chooser: the system's open or save dialog in one of the modes of
// ui/file_chooser.h.
#pragma once

#include "app/app_win.h"
#include "ui/file_chooser.h"

// Makes the program directory current and runs the dialog of `mode` on path
// (MAX_PATH units, in and out: the name to start from, then the chosen full
// path, or for kChooseEditMacro the folder and the chosen names). A chosen
// name whose extension does not fit is reported and counts as cancelled.
// 1 when the user chose a file, 0 otherwise.
int file_chooser(HWND owner, int mode, wchar_t* path);
