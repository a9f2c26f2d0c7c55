// The modes that run without a window (app/command_line_win.cpp).
#pragma once

#include "app/app_win.h"

// Runs the mode the command line asks for and returns the process's exit
// code (0 done, 1 failed with one line on standard error); -1 when the
// command line asks for no such mode. Shows no window and no message box.
int command_line_run();

// What the command line asks of a run with the window: "/open" opens the
// ports once the window is up (as the Open command does), "/reconnect"
// turns "Reconnect a lost port" on for this run. Either may stand anywhere
// after the program's name, in any case; other words are ignored.
enum CommandLineStart { kStartOpen = 1, kStartReconnect = 2 };
int command_line_start_flags();

// "/record FOLDER": record from the start into that folder; 1 with the
// folder in out (MAX_PATH units), 0 when not given.
int command_line_record(wchar_t out[MAX_PATH]);

// "/port1 ADDRESS" and "/port2 ADDRESS" choose a channel's port for this
// run (COMn or a network address, see net/port_address.h): the texts as
// given into out (empty when not given), and bit ch set for each channel.
int command_line_ports(wchar_t out[2][kPortAddressUnits]);
