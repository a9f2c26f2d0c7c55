// The modes that run without a window (app/command_line_win.cpp).
#pragma once

#include "app/app_win.h"

// Runs the mode the command line asks for and returns the process's exit
// code (0 done, 1 failed with one line on standard error); -1 when the
// command line asks for no such mode. Shows no window and no message box.
int command_line_run();
