// The file chooser: the system's open or save dialog in one of the modes of
// ui/file_chooser.h.
#pragma once

#include "app/app_win.h"
#include "ui/file_chooser.h"

// Makes the program directory current and runs the dialog of `mode` on path
// (`units` long, in and out: the name to start from, then the chosen full
// path, or for the modes that take several files the folder and the chosen
// names, each ended by a NUL, the list by a second one). A chosen
// name whose extension does not fit is reported and counts as cancelled.
// 1 when the user chose a file, 0 otherwise.
int file_chooser(HWND owner, int mode, wchar_t* path, int units = MAX_PATH);

// The shell's folder dialog, titled with message text `title`, beginning
// at `folder` (MAX_PATH units), which gets the folder chosen: 0, or 1 when
// the user cancelled (folder unchanged). `may_be_new` 1: a typed folder
// that does not exist yet is taken (the caller makes it).
int folder_choose(HWND owner, int title, wchar_t* folder, int may_be_new = 0);
