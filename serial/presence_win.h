#pragma once

#include "app/app_win.h"

// Bit 0: CH1's port is among the system's serial ports; bit 1: CH2's.
// 0 when the list cannot be read.
int presence_check();
