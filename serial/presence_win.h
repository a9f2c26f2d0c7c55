#pragma once

#include "app/app_win.h"

// Bit 0: CH1's port is among the system's serial ports; bit 1: CH2's.
// 0 when the list cannot be read.
int presence_check();

// Calls each(ctx, data) for every string value of the system's serial port
// list (HARDWARE\\DEVICEMAP\\SERIALCOMM), data always terminated. 1 when the
// list cannot be opened, else 0.
int serial_comm_each(void (*each)(void* ctx, const char16_t* data), void* ctx);
