// What pivotle does with its command line, decided without a window: open
// it, open nothing (an empty line), or refuse it as too long for the
// command buffer.
#pragma once

#include <cstdint>

// The command buffer: a command line of up to 259 units fits with its
// terminator.
constexpr int kPivotleCommandUnits = 260;

enum PivotleAction { kPivotleOpen = 0, kPivotleNothing = 1, kPivotleTooLong = 2 };

// Zero-fills `command` and copies `line` into it when it fits: kPivotleOpen.
// An empty line gives kPivotleNothing. A longer line is not cut short, as a
// cut path would open something else: `command` stays empty and the answer
// is kPivotleTooLong. Reads at most kPivotleCommandUnits units of `line`.
int pivotle_take_command(const char16_t* line, char16_t command[kPivotleCommandUnits]);
