// What the menu bar, toolbar and status bar show, decided without a window:
// the menu tree, the toolbar's buttons and state sets, the status bar texts
// and its background slot.
#pragma once

#include <cstdint>

#include "app/commands.h"
#include "settings/settings.h"

// Menu tree: seven popups in the bar, three of them holding a CH1/CH2 submenu.
struct MenuItemDef {
  int id;     // command id; 0 for a separator; -1 for a submenu
  int text;   // message text number (the submenu's title for -1)
  int sub;    // for -1: first command of its two items ("CH1(&F)", "CH2(&S)")
};
struct MenuDef {
  int title;  // message text of the popup's title
  int count;
  MenuItemDef items[15];
};
constexpr int kMenus = 7;
extern const MenuDef kMenuBar[kMenus];

// Toolbar buttons, in order: index = image index in the toolbar bitmaps.
struct ToolButtonDef {
  int id;
  int tooltip;  // message text number
  int enabled;  // initial state
};
constexpr int kToolButtons = 34;
extern const ToolButtonDef kToolbar[kToolButtons];

// Index of a toolbar button (its image) for a menu command, or -1.
int toolbar_index_of_command(int menu_command);
// Tooltip message text of toolbar id 1101 to 1134, or -1.
int toolbar_tooltip(int id);

// The tool refresh: 1 enable, 0 gray, -1 leave `id` as it is.
int toolbar_refresh_state(int id, const ChannelFlags* flags);

// Status bar background slot (7 to 10) for the channel flags.
int status_color_slot(const ChannelFlags* flags);

struct StatusInfo {
  ChannelFlags flags;
  const PortSettings* port[2];
  int32_t cells_per_row, visible_rows;
  int32_t write_position, view_position;
  // A network channel's port as port_address_short writes it; empty for a
  // COM port.
  char16_t address[2][25];
  // The speed an RFC 2217 server set when it differs from the one asked;
  // 0 when none.
  uint32_t server_baud[2];
  // The client a listening channel serves ("127.0.0.1:50123"); empty when none.
  char16_t peer[2][64];
  // A network link without line settings (kStatusLinkSocket for socket://,
  // kStatusLinkListen for listen://; 0 else): its line part says what it
  // has instead (status_link_text).
  int32_t raw[2];
};
constexpr int kStatusParts = 12;
extern const int kStatusPartEdges[kStatusParts];
// The part edges for the channels' kinds of port (net[ch]: 0 a COM port,
// kStatusNetLine a network link with line settings, kStatusNetRaw one
// without): a network channel's port part is wider for its address, by
// room its line part gives up, so the parts after it stay where COM ports
// have them. A link without line settings gives kStatusAddressExtra (its
// short text needs less); an RFC 2217 link only kStatusAddressExtraLine,
// what its settings' text leaves, and a longer address is cut with an
// ellipsis. Sizes at 96 DPI, scaled to `dpi`.
constexpr int kStatusAddressExtra = 100;
constexpr int kStatusAddressExtraLine = 30;
constexpr int32_t kStatusNetLine = 1;
constexpr int32_t kStatusNetRaw = 2;
constexpr int32_t kStatusLinkSocket = 1;
constexpr int32_t kStatusLinkListen = 2;
void status_part_edges(const int32_t net[2], int32_t dpi, int out[kStatusParts]);
// For a text that needs room for a few seconds: part `part` reaches `right`
// (the bar's width), the parts after it keep only what lies beyond.
void status_part_widen(int part, int right, int edges[kStatusParts]);

// Text of status bar part 0 to 11 into out (64 units). The line part of a
// link without line settings is left empty: status_link_text says it.
void status_part_text(int part, const StatusInfo* info, char16_t out[64]);
// What the line part of channel ch shows when its link has no line
// settings: a message text (kTextStatusClient with the client a listener
// serves, kTextStatusNoClient, kTextStatusRawTcp), or 0 for a port with
// line settings.
int status_link_text(const StatusInfo* info, int ch);
// "SP=%d.%dK:DB=%d:PB=%s:SB=%d:Flow=%s" for one channel's settings; with
// a `server_baud` (not 0) the speed is that one, the one asked after it,
// both to the baud: "SP=38400(asked 250000):...".
void status_line_params(const PortSettings* port, char16_t out[64], uint32_t server_baud = 0);
