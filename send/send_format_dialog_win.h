// The send format dialog (dialog 119, modal): the header, checksum and
// trailer that framed sends wrap around the typed bytes.
#pragma once

#include "app/app_win.h"

void send_format_dialog_run(HWND owner);
