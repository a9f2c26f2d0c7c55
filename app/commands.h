// Command rules of the main window that need no window: one table that says
// for every command when its menu item is enabled, what a run of it needs
// (a command posted straight to the window is held to the same), and how
// it is refused; and where the scroll commands move the view.
#pragma once

#include <cstdint>

// Main window command ids (menu) and their toolbar twins.
enum MenuCommand {
  kCmdSaveLog = 141, kCmdLoadLog = 142, kCmdExit = 143, kCmdRepaint = 144, kCmdClear = 145,
  kCmdScrollEnd = 146, kCmdScrollStart = 147, kCmdJumpEnd = 148, kCmdJumpStart = 149,
  kCmdInputSend = 150, kCmdPresetSend = 151, kCmdMacro = 152, kCmdModbus = 153,
  kCmdPresetEditor = 155, kCmdNotepad = 156, kCmdEditMacro = 157,
  kCmdOpenPorts = 158, kCmdClosePorts = 159, kCmdPortNumber = 160,
  kCmdConfigCh1 = 161, kCmdConfigCh2 = 162, kCmdDcbCh1 = 163, kCmdDcbCh2 = 164,
  kCmdLineStatusCh1 = 165, kCmdLineStatusCh2 = 166, kCmdEnvironment = 167, kCmdTheme = 168,
  kCmdLanguage = 169, kCmdAbout = 170, kCmdManual = 171, kCmdChecksum = 172, kCmdAsciiTable = 173,
  kCmdColors = 174, kCmdHomePage = 175, kCmdExport = 176, kCmdLinkStats = 177,
  kCmdModbusMonitor = 178, kCmdSaveAsMacro = 179, kCmdAutoAnswer = 180, kCmdRecord = 181,
  kCmdOpenRecording = 182, kCmdFind = 183, kCmdFindNext = 184, kCmdFindPrevious = 185, kCmdGoToTime = 186,
  kCmdBackToLive = 187, kCmdPlot = 188, kCmdHighlight = 189, kCmdSendFile = 190, kCmdReceiveFile = 191, kCmdStopRepeats = 192,
  kCmdOpenRecordingFolder = 193,
};
constexpr int kToolbarFirst = 1101;
constexpr int kToolbarLast = 1134;

// Maps a toolbar id (1101 to 1134) to its menu command; other ids are
// returned unchanged.
int command_from_toolbar(int id);

struct ChannelFlags {
  int32_t port_number[2];  // 0: no port assigned; -1: a network port
  int32_t open[2];         // channel open flags
  int32_t lm_mode;         // line monitor mode
};

// 1 when menu item `id` is enabled in `state`, 0 when it is grayed.
int command_menu_enabled(int id, const ChannelFlags* state);

// Why a command must not run now: message text `text` (0: it may run) with
// the caption "Quorrin" or message text 4.
enum RefusalCaption { kCaptionQuorrin = 0, kCaptionText4 = 1 };
struct CommandRefusal {
  int text;
  int caption;
};
CommandRefusal command_refusal(int id, const ChannelFlags* state);

// The tool window (ToolWindow of app/app_state.h) that command `id` opens,
// or -1. A command whose window is open already does nothing.
int command_tool(int id);

// The channel (0 CH1, 1 CH2) a per-channel command works on, or -1.
int command_channel(int id);

// New view positions for the scroll commands. cells_per_row must be >= 1.
int32_t view_scroll_toward_end(int32_t view, int32_t step, int32_t cells_per_row, int32_t write_pos);
int32_t view_scroll_toward_start(int32_t view, int32_t step, int32_t cells_per_row);
int32_t view_jump_end(int32_t cells_per_row, int32_t write_pos);

// The manual that command 171 opens beside the program: the Japanese one for
// language 0 (moji_type), the English one for every other language.
const char16_t* command_manual_name(int language);

// Period of the repaint timer for the setting pl_time: the settings dialog
// offers 100 to 1000 ms, and a hand-edited value outside is held to that
// range (0 would flood the window with timer messages, a negative value
// would stop the view from ever updating).
int32_t timer_repaint_period(int32_t pl_time);
