// Log files and the notepad scratch file.
#pragma once

#include "app/app_win.h"

void log_save(HWND owner);
// 0 when the capture was replaced, 1 when nothing was loaded.
int log_load(HWND owner);
void notepad_prepare(HWND owner);
