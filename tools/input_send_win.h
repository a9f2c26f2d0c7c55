// The input character send window (dialog 114).
#pragma once

#include "app/app_win.h"

// Creates and shows the window unless it is open already.
void input_send_window_open(HWND owner);

// The send format dialog (dialog 119, modal), in codec/send_format_dialog_win.cpp.
void send_format_dialog_run(HWND owner);

// Send characters: turns the units into bytes (the whole send format frame
// when `frame` is set), sends them on channel 1 or 2, reports a failure with
// message text 32, and adds the frame to the send history when `remember`
// is set and the send succeeded. Always 0. (serial/transmit_win.cpp)
int send_characters(HWND owner, int count, const char16_t* units, int channel, int frame, int remember);
