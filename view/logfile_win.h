// Log files, the program's file chooser and the notepad scratch file.
#pragma once

#include "app/app_win.h"

// Runs the open or save dialog of `mode` (FileChooserMode) on path
// (MAX_PATH units, in and out); 1 when the user chose a file, 0 otherwise.
int file_chooser(HWND owner, int mode, wchar_t* path);
void log_save(HWND owner);
// 0 when the capture was replaced, 1 when nothing was loaded.
int log_load(HWND owner);
void notepad_prepare(HWND owner);
