#include "app/commands.h"

#include "app/app_state.h"
#include "settings/message_text.h"

// Menu commands in the order of their toolbar ids 1101 to 1134.
static const int kToolbarCommand[kToolbarLast - kToolbarFirst + 1] = {
    141, 142, 144, 145, 146, 147, 148, 149, 172, 173, 150, 151, 152, 153, 160, 158, 159,
    161, 162, 163, 164, 165, 166, 155, 156, 157, 167, 168, 169, 174, 170, 171, 175, 143};

int command_from_toolbar(int id) {
  if (id < kToolbarFirst || id > kToolbarLast) return id;
  return kToolbarCommand[id - kToolbarFirst];
}

namespace {

// When a menu item is enabled, and what a run needs.
enum Need : uint8_t {
  kAlways,           // nothing
  kPortAllClosed,    // a port number assigned, no channel open
  kAnyOpen,          // a channel open
  kAllClosed,        // no channel open
  kSendTool,         // a channel open, line monitor mode off
  kCh1Open,
  kCh2Open,
};

struct CommandRule {
  int id;
  Need menu;      // the menu item is enabled when this holds
  Need run;       // the command runs when this holds, else it is refused
  int text;       // the refusal's message text
  int caption;    // and its caption
  int tool;       // ToolWindow it opens, or -1
  int channel;    // 0 CH1, 1 CH2, or -1
};

// Commands without a row are always enabled and always run. Posted sends
// in line monitor mode are not refused: the menu greys them so the person
// is not invited to send where nothing sent would be recorded, but a tool
// opened anyway works as usual.
const CommandRule kRules[] = {
    {kCmdRepaint, kPortAllClosed, kAlways, 0, 0, -1, -1},
    {kCmdScrollEnd, kPortAllClosed, kAlways, 0, 0, -1, -1},
    {kCmdScrollStart, kPortAllClosed, kAlways, 0, 0, -1, -1},
    {kCmdJumpEnd, kPortAllClosed, kAlways, 0, 0, -1, -1},
    {kCmdJumpStart, kPortAllClosed, kAlways, 0, 0, -1, -1},
    {kCmdOpenPorts, kPortAllClosed, kAlways, 0, 0, -1, -1},
    {kCmdClosePorts, kAnyOpen, kAlways, 0, 0, -1, -1},
    // Renumbering an open port would leave the channel on a port it did not open.
    {kCmdPortNumber, kAllClosed, kAllClosed, kTextPortOpenCloseFirst, kCaptionText4, -1, -1},
    {kCmdEnvironment, kAllClosed, kAlways, 0, 0, -1, -1},
    {kCmdInputSend, kSendTool, kAnyOpen, kTextPortNotOpen, kCaptionQuorrin, kToolInputSend, -1},
    {kCmdPresetSend, kSendTool, kAnyOpen, kTextPortNotOpen, kCaptionQuorrin, kToolPresetSend, -1},
    {kCmdMacro, kSendTool, kCh1Open, kTextPortNotOpen, kCaptionQuorrin, kToolMacro, -1},
    {kCmdModbus, kSendTool, kAlways, 0, 0, -1, -1},
    {kCmdSendFile, kSendTool, kAnyOpen, kTextPortNotOpen, kCaptionQuorrin, -1, -1},
    {kCmdReceiveFile, kAnyOpen, kAnyOpen, kTextPortNotOpen, kCaptionQuorrin, -1, -1},
    {kCmdConfigCh1, kCh1Open, kCh1Open, kTextChannelNotOpen, kCaptionText4, -1, 0},
    {kCmdConfigCh2, kCh2Open, kCh2Open, kTextChannelNotOpen, kCaptionText4, -1, 1},
    {kCmdDcbCh1, kCh1Open, kCh1Open, kTextChannelNotOpen, kCaptionText4, -1, 0},
    {kCmdDcbCh2, kCh2Open, kCh2Open, kTextChannelNotOpen, kCaptionText4, -1, 1},
    {kCmdLineStatusCh1, kCh1Open, kCh1Open, kTextPortNotOpen, kCaptionQuorrin, -1, 0},
    {kCmdLineStatusCh2, kCh2Open, kCh2Open, kTextPortNotOpen, kCaptionQuorrin, -1, 1},
};

const CommandRule* rule_of(int id) {
  for (const CommandRule& r : kRules)
    if (r.id == id) return &r;
  return nullptr;
}

int holds(Need need, const ChannelFlags* s) {
  int any_port = s->port_number[0] != 0 || s->port_number[1] != 0;
  int any_open = s->open[0] != 0 || s->open[1] != 0;
  switch (need) {
    case kAlways: return 1;
    case kPortAllClosed: return any_port && !any_open;
    case kAnyOpen: return any_open;
    case kAllClosed: return !any_open;
    case kSendTool: return any_open && s->lm_mode == 0;
    case kCh1Open: return s->open[0] != 0;
    case kCh2Open: return s->open[1] != 0;
  }
  return 1;
}

}  // namespace

int command_menu_enabled(int id, const ChannelFlags* s) {
  const CommandRule* r = rule_of(id);
  return r ? holds(r->menu, s) : 1;
}

CommandRefusal command_refusal(int id, const ChannelFlags* s) {
  const CommandRule* r = rule_of(id);
  if (!r || holds(r->run, s)) return {0, 0};
  return {r->text, r->caption};
}

int command_tool(int id) {
  const CommandRule* r = rule_of(id);
  return r ? r->tool : -1;
}

int command_channel(int id) {
  const CommandRule* r = rule_of(id);
  return r ? r->channel : -1;
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

const char16_t* command_manual_name(int language) {
  return language == 0 ? u"Quorrin_manual.pdf" : u"Quorrin_manual_en.pdf";
}

int32_t timer_repaint_period(int32_t pl_time) {
  if (pl_time < 100) return 100;
  if (pl_time > 1000) return 1000;
  return pl_time;
}
