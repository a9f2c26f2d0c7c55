// Process-wide state that the main window creates and every part shares:
// the capture buffer, the settings, the message texts and the application
// flags. Channel handles and threads live in serial/port_win.h.
#pragma once

#include <cstdint>

#include "app/capture.h"
#include "net/port_address.h"
#include "settings/message_text.h"
#include "settings/palette.h"
#include "settings/settings.h"
#include "view/geometry.h"

// Tool windows that the main window opens only once at a time.
enum ToolWindow { kToolInputSend, kToolPresetSend, kToolMacro, kToolPresetEditor, kToolWindows };

struct AppState {
  Capture capture;
  Settings settings;
  MessageTable messages;
  char16_t program_dir[260];   // folder of the program file, no trailing backslash
  int32_t tool_open[kToolWindows];
  int32_t dark_mode;
  int32_t menu_suppressed;
  int32_t send_format_open, checksum_open, checksum_kind_open;  // cleared at window creation
  Palettes palettes;
  ViewMetrics metrics;
  uint16_t modbus_words[kModbusWords];
  // "Reconnect a lost port": as the settings file's section "Connection"
  // keeps it (the environment dialog changes it), and for this run only
  // (the command line's /reconnect).
  int32_t reconnect_setting;
  int32_t reconnect_run;
  // Each channel's network port (rfc2217://, socket://, listen://), as the
  // settings file's section "Ports" keeps it; kind kPortCom: the channel's
  // port is the COM number of the settings (rs_comport).
  PortAddress address[2];
  // /port1 and /port2 choose a channel's port for one run: what the
  // settings file had is written back in its place, unless the user picks
  // the port again in the port-number dialog.
  int32_t port_for_run[2];
  int32_t address_refused[2];  // why the settings file's address did not read (PortAddressReason)
  int32_t file_comport[2];
  PortAddress file_address[2];
};

extern AppState g_app;

inline int reconnect_on() { return g_app.reconnect_setting || g_app.reconnect_run; }

// 1 when channel ch's port is a network link rather than a COM port.
inline int channel_is_net(int ch) { return g_app.address[ch].kind != kPortCom; }
// 1 when channel ch has a port at all (a COM number or an address).
inline int channel_assigned(int ch) { return channel_is_net(ch) || g_app.settings.port[ch].rs_comport != 0; }

// The palette in use: the dark one in dark mode.
inline const Rgb* active_palette() { return g_app.dark_mode ? g_app.palettes.dark : g_app.palettes.light; }
