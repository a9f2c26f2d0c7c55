// The Plot window (dialog 135, command 188): the series of the live
// capture, a loaded log or the recording shown, read beside the window,
// drawn as lanes or over one scale, with zoom, pan, a cursor, and export as
// PNG and CSV.
#pragma once

#include "app/app_win.h"

// Command 188: opens the window, or brings it back.
void plot_window_open(HWND owner);
// The main window ends: the window closes and its workers end before the
// capture goes.
void plot_window_close();
// The window's keyboard navigation; 1 when the message was the window's.
int plot_window_message(MSG* m);
