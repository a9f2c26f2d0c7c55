#include "app/commands.h"

// Menu commands in the order of their toolbar ids 1101 to 1134.
static const int kToolbarCommand[kToolbarLast - kToolbarFirst + 1] = {
    141, 142, 144, 145, 146, 147, 148, 149, 172, 173, 150, 151, 152, 153, 160, 158, 159,
    161, 162, 163, 164, 165, 166, 155, 156, 157, 167, 168, 169, 174, 170, 171, 175, 143};

int command_from_toolbar(int id) {
  if (id < kToolbarFirst || id > kToolbarLast) return id;
  return kToolbarCommand[id - kToolbarFirst];
}

int command_menu_enabled(int id, const ChannelFlags* s) {
  int any_port = s->port_number[0] != 0 || s->port_number[1] != 0;
  int any_open = s->open[0] != 0 || s->open[1] != 0;
  switch (id) {
    case kCmdRepaint: case kCmdScrollEnd: case kCmdScrollStart: case kCmdJumpEnd: case kCmdJumpStart:
    case kCmdOpenPorts:
      return any_port && !any_open;
    case kCmdClosePorts: return any_open;
    case kCmdPortNumber: case kCmdEnvironment: return !any_open;
    case kCmdInputSend: case kCmdPresetSend: case kCmdMacro: case kCmdModbus:
      return any_open && s->lm_mode == 0;
    case kCmdConfigCh1: case kCmdDcbCh1: case kCmdLineStatusCh1: return s->open[0] != 0;
    case kCmdConfigCh2: case kCmdDcbCh2: case kCmdLineStatusCh2: return s->open[1] != 0;
    default: return 1;
  }
}

int32_t view_scroll_toward_end(int32_t view, int32_t step, int32_t cells_per_row, int32_t write_pos) {
  int64_t next = static_cast<int64_t>(view) + static_cast<int64_t>(step) * cells_per_row;
  if (write_pos - 1 < next) next = static_cast<int64_t>(write_pos / cells_per_row) * cells_per_row;
  // A negative scroll step from a hand-edited settings file must not move
  // the view before the first record.
  return next < 0 ? 0 : static_cast<int32_t>(next);
}

int32_t view_scroll_toward_start(int32_t view, int32_t step, int32_t cells_per_row) {
  int64_t next = static_cast<int64_t>(view) - static_cast<int64_t>(step) * cells_per_row;
  return next < 0 ? 0 : static_cast<int32_t>(next);
}

int32_t view_jump_end(int32_t cells_per_row, int32_t write_pos) {
  return write_pos / cells_per_row * cells_per_row;
}

int32_t timer_repaint_period(int32_t pl_time) {
  if (pl_time < 100) return 100;
  if (pl_time > 1000) return 1000;
  return pl_time;
}
