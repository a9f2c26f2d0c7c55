// Repeat: a frame of the input send window, a preset row or the Modbus
// builder's frame sent on a steady beat (send/repeat.h) by a worker thread
// per channel, through the send path every sender uses.
#pragma once

#include "app/app_win.h"

// The windows a repeat belongs to: one repeat each.
enum RepeatOwner { kRepeatInputSend = 0, kRepeatPresetSend, kRepeatModbus, kRepeatOwners };

// What the owner sends, asked at Start: units as send_characters takes
// them, framed or not. `row` is the preset row asked for (1 to 200; 0 for
// the other owners). Returns 0, or a message text that says why not.
struct RepeatFrame {
  const char16_t* units;
  int32_t count;
  int32_t framed;
};
typedef int (*RepeatFrameFn)(int row, RepeatFrame* out);

// The Repeat dialog over `owner` (modal): row (presets only), every N ms,
// count, channel; Start, Stop, and the counts while it is open. `row` is
// the row offered when none was asked before.
void repeat_dialog_run(HWND owner, int who, RepeatFrameFn frame, int row);
// The owner window's line of counts: shown in control `id` on its timer.
void repeat_counts_show(HWND dlg, int id, int who);
constexpr UINT kRepeatShowMs = 250;

// Stop All Repeats, and Close Ports.
void repeat_stop_all();
// The status bar: "REPEAT n" in the last part while n repeats run.
void repeat_status_text(int part, char16_t text[64]);
