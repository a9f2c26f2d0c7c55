// The Find window (command 183, Ctrl+F): bytes, a silence, a bad Modbus
// frame or a line event looked for in what the data view shows (the live
// capture, a loaded log, or the recording open), on a worker thread with
// its progress and Cancel (Esc); Find Next and Find Previous (F3,
// Shift+F3) move the view to a find and mark it in the end marker's colours,
// Find All lists every find, and the list exports as CSV. Go to Time
// (command 186, Ctrl+G) moves the view to the first chunk at or after a
// time.
#pragma once

#include "app/app_win.h"

void find_window_open(HWND owner);
// Commands 184 (dir 1) and 185 (dir -1): the next or the one before of
// the last search, searched again when the capture or the query changed.
void find_step(HWND owner, int dir);
void go_to_time_run(HWND owner);
// The data view at the first chunk at or after `local_us` (a time of day,
// µs since 1970 read as UTC, as the tools show times), that chunk marked,
// in the live capture, a loaded log or the recording shown: 0, or 1 when
// nothing comes at or after it.
int go_to_local_time(int64_t local_us);
// The main message loop's hook for the find window: its dialog keys, and
// F3 there. 1 when the message was handled.
int find_window_message(MSG* m);
// Esc in the main window: 1 when it cancelled a search.
int find_cancel();
// Part 8 of the status bar while a find is marked: which of how many.
int find_status_text(int part, char16_t out[64]);
