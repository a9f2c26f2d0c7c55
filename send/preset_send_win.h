// The preset strings send window (dialog 115) and the preset strings
// editor (dialog 126).
#pragma once

#include "app/app_win.h"

// Creates and shows the send window unless it is open already.
void preset_send_window_open(HWND owner);
// Runs the editor (modal) unless it is open already.
void preset_editor_run(HWND owner);
