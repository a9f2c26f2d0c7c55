// The input character send window (dialog 114).
#pragma once

#include "app/app_win.h"

// Creates and shows the window unless it is open already.
void input_send_window_open(HWND owner);
