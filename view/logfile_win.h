// Log files, the program's file chooser and the notepad scratch file.
#pragma once

#include "app/app_win.h"

// The system's open (save = 0) or save (save = 1) dialog with a filter list,
// a title and flags, on path (MAX_PATH units, in and out); 1 when chosen.
int common_file_dialog(HWND owner, int save, const wchar_t* filter, const wchar_t* title, wchar_t* path,
                       DWORD flags);

// Runs the open or save dialog of `mode` (FileChooserMode) on path
// (MAX_PATH units, in and out); 1 when the user chose a file, 0 otherwise.
int file_chooser(HWND owner, int mode, wchar_t* path);
void log_save(HWND owner);
// 0 when the capture was replaced, 1 when nothing was loaded.
int log_load(HWND owner);
void notepad_prepare(HWND owner);
