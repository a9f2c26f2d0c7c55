#include "app/chrome_win.h"

#include "find/find_win.h"
#include "record/record_view_win.h"
#include "record/recorder_win.h"

#include <commctrl.h>

#include "app/chrome.h"
#include "resources/resource.h"
#include "net/link_net_win.h"
#include "serial/line_watch_win.h"
#include "serial/port_win.h"
#include "send/repeat_win.h"
#include "ui/dpi_win.h"
#include "ui/scale.h"
#include "view/fonts_win.h"

HWND g_toolbar = nullptr;
HWND g_statusbar = nullptr;
HPEN g_pen[6] = {};
HBRUSH g_brush[7] = {};

namespace {

HPEN g_neutral_pen = nullptr;
HBRUSH g_neutral_brush = nullptr;
HMENU g_menus[kMenus + 3] = {};  // the bar's popups, then the three CH1/CH2 submenus
HMENU g_bar = nullptr;
HBITMAP g_menu_images[kToolButtons] = {};
wchar_t g_tooltip[kMessageTextUnits];  // the text a tooltip points at
HBRUSH g_status_brush = nullptr;      // status bar background of the current slot
HIMAGELIST g_toolbar_images = nullptr;
int g_status_slot = -1;
int32_t g_status_net[2] = {0, 0};  // the channels whose port part is widened now
int g_status_wide = 0;              // the bar's width while the draw size's part takes it, else 0
int g_status_parts_set = 0;

// The toolbar strip of `size` pixels (16, 24 or 32) in the light or dark
// drawing.
int toolbar_strip(int size, int dark) {
  if (size == 32) return dark ? IDB_TOOLBAR_DARK_32 : IDB_TOOLBAR_LIGHT_32;
  if (size == 24) return dark ? IDB_TOOLBAR_DARK_24 : IDB_TOOLBAR_LIGHT_24;
  return dark ? IDB_TOOLBAR_DARK : IDB_TOOLBAR_LIGHT;
}

// Cuts the images of the light toolbar strip for the menu items: the
// largest strip (16, 24 or 32 pixels) that fits the menus' check mark room.
void menu_images_cut() {
  if (g_menu_images[0]) return;
  const int room = GetSystemMetrics(SM_CXMENUCHECK);
  const int size = room >= 32 ? 32 : room >= 24 ? 24 : 16;
  HBITMAP strip = static_cast<HBITMAP>(
      LoadImageW(g_instance, MAKEINTRESOURCEW(toolbar_strip(size, 0)), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  if (!strip) return;
  HDC screen = GetDC(nullptr);
  HDC src = CreateCompatibleDC(screen);
  HDC dst = CreateCompatibleDC(screen);
  HGDIOBJ old_src = SelectObject(src, strip);
  for (int k = 0; k < kToolButtons; k++) {
    g_menu_images[k] = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old_dst = SelectObject(dst, g_menu_images[k]);
    BitBlt(dst, 0, 0, size, size, src, size * k, 0, SRCCOPY);
    SelectObject(dst, old_dst);
  }
  SelectObject(src, old_src);
  DeleteDC(src);
  DeleteDC(dst);
  ReleaseDC(nullptr, screen);
  DeleteObject(strip);
}

void menu_add(HMENU menu, int id, const wchar_t* text) {
  AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), text);
  int k = toolbar_index_of_command(id);
  if (k >= 0 && g_menu_images[k]) SetMenuItemBitmaps(menu, static_cast<UINT>(id), MF_BYCOMMAND, g_menu_images[k], g_menu_images[k]);
}

}  // namespace

// The colors this run paints with: taken from the active palette when the
// pens and brushes are made. The color dialog changes the palettes for the
// next start; the running program keeps these.
static Rgb g_run_colors[kPaletteSlots];

ChannelFlags channel_flags_now() {
  ChannelFlags f;
  for (int ch = 0; ch < 2; ch++) {
    // A network channel counts as one with a port.
    f.port_number[ch] = channel_is_net(ch) ? -1 : g_app.settings.port[ch].rs_comport;
    // A lost channel that is tried again counts as open for the commands
    // (Close stops the attempts) but shows as lost.
    f.open[ch] = channel_lost(ch) ? 2 : g_channel[ch].open.load();
  }
  f.lm_mode = settings_line_monitor(&g_app.settings);
  return f;
}

COLORREF slot_color(int slot) { return static_cast<COLORREF>(rgb_colorref(g_run_colors[slot])); }

void gdi_objects_create() {
  for (int i = 0; i < kPaletteSlots; i++) g_run_colors[i] = active_palette()[i];
  for (int i = 0; i < 6; i++) g_pen[i] = CreatePen(PS_SOLID, 1, slot_color(i));
  for (int i = 0; i < 7; i++) g_brush[i] = CreateSolidBrush(slot_color(i));
  g_neutral_pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
  g_neutral_brush = CreateSolidBrush(RGB(0, 0, 0));
}

void gdi_objects_delete() {
  for (HPEN& p : g_pen) {
    if (p) DeleteObject(p);
    p = nullptr;
  }
  for (HBRUSH& b : g_brush) {
    if (b) DeleteObject(b);
    b = nullptr;
  }
  if (g_status_brush) DeleteObject(g_status_brush);
  g_status_brush = nullptr;
  g_status_slot = -1;
  if (g_neutral_pen) DeleteObject(g_neutral_pen);
  if (g_neutral_brush) DeleteObject(g_neutral_brush);
  g_neutral_pen = nullptr;
  g_neutral_brush = nullptr;
  if (g_toolbar_images) ImageList_Destroy(g_toolbar_images);
  g_toolbar_images = nullptr;
  for (HBITMAP& b : g_menu_images) {
    if (b) DeleteObject(b);
    b = nullptr;
  }
}

void gdi_select_neutral(HDC dc) {
  SelectObject(dc, g_neutral_pen);
  SelectObject(dc, g_neutral_brush);
}

void menu_bar_build(HWND hwnd) {
  menu_images_cut();
  g_bar = CreateMenu();
  wchar_t text[kMessageTextUnits];
  int sub = 0;
  for (int m = 0; m < kMenus; m++) {
    const MenuDef& def = kMenuBar[m];
    g_menus[m] = CreatePopupMenu();
    for (int i = 0; i < def.count; i++) {
      const MenuItemDef& it = def.items[i];
      text[0] = 0;
      get_text(it.text, text);
      if (it.id == 0) {
        AppendMenuW(g_menus[m], MF_SEPARATOR, 0, nullptr);
      } else if (it.id == -1) {
        HMENU child = g_menus[kMenus + sub++] = CreatePopupMenu();
        menu_add(child, it.sub, L"CH1(&F)");
        menu_add(child, it.sub + 1, L"CH2(&S)");
        AppendMenuW(g_menus[m], MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(child), text);
      } else {
        menu_add(g_menus[m], it.id, text);
      }
    }
    text[0] = 0;
    get_text(def.title, text);
    AppendMenuW(g_bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(g_menus[m]), text);
  }
  SetMenu(hwnd, g_bar);
  DrawMenuBar(hwnd);
}

void menu_bar_destroy(HWND hwnd) {
  SetMenu(hwnd, nullptr);
  // Destroying the bar destroys its popups and their submenus with it.
  if (g_bar) DestroyMenu(g_bar);
  g_bar = nullptr;
  for (HMENU& m : g_menus) m = nullptr;
}

void toolbar_create(HWND hwnd) {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);
  // The strip drawn nearest to the window's scale: 16, 24 or 32 pixels.
  const int size = toolbar_image_size(window_dpi(hwnd));
  const int strip = toolbar_strip(size, g_app.dark_mode);
  g_toolbar = CreateToolbarEx(hwnd,
                              WS_CHILD | WS_VISIBLE | CCS_ADJUSTABLE | TBSTYLE_TOOLTIPS | TBSTYLE_ALTDRAG |
                                  TBSTYLE_FLAT | TBSTYLE_TRANSPARENT,
                              kToolbarId, kToolButtons, g_instance, static_cast<UINT_PTR>(strip), nullptr, 0, size,
                              size, size, size, sizeof(TBBUTTON));
  if (!g_toolbar) return;
  SendMessageW(g_toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(size, size));
  // The same images with their gray background (192, 192, 192) masked out,
  // so the buttons sit on the window's own background in both themes.
  HIMAGELIST images = ImageList_LoadImageW(g_instance, MAKEINTRESOURCEW(strip), size, 0, RGB(192, 192, 192),
                                           IMAGE_BITMAP, LR_CREATEDIBSECTION);
  if (images) {
    if (g_toolbar_images) ImageList_Destroy(g_toolbar_images);
    g_toolbar_images = images;
    SendMessageW(g_toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
  }
  TBBUTTON buttons[kToolButtons] = {};
  for (int i = 0; i < kToolButtons; i++) {
    buttons[i].iBitmap = i;
    buttons[i].idCommand = kToolbar[i].id;
    buttons[i].fsState = static_cast<BYTE>(kToolbar[i].enabled ? TBSTATE_ENABLED : TBSTATE_INDETERMINATE);
    buttons[i].fsStyle = BTNS_BUTTON;
  }
  SendMessageW(g_toolbar, TB_ADDBUTTONSW, kToolButtons, reinterpret_cast<LPARAM>(buttons));
  SendMessageW(g_toolbar, TB_AUTOSIZE, 0, 0);
  chrome_tool_refresh();
}

void chrome_tool_refresh() {
  statusbar_refresh_color();
  if (!g_toolbar) return;
  ChannelFlags f = channel_flags_now();
  for (const ToolButtonDef& b : kToolbar) {
    int state = toolbar_refresh_state(b.id, &f);
    if (state < 0) continue;
    SendMessageW(g_toolbar, TB_SETSTATE, static_cast<WPARAM>(b.id),
                 MAKELPARAM(state ? TBSTATE_ENABLED : TBSTATE_INDETERMINATE, 0));
  }
}

void chrome_rescale(HWND hwnd) {
  if (g_toolbar) {
    SendMessageW(g_toolbar, TB_SETIMAGELIST, 0, 0);
    DestroyWindow(g_toolbar);
    g_toolbar = nullptr;
    toolbar_create(hwnd);
  }
  // The part edges are set again, scaled to the new DPI.
  g_status_parts_set = 0;
  if (g_statusbar) {
    SendMessageW(g_statusbar, WM_SIZE, 0, 0);
    statusbar_refresh_color();
  }
}

void statusbar_create(HWND hwnd) {
  g_statusbar = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | SBARS_TOOLTIPS | CCS_BOTTOM,
                                0, 0, 0, 0, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBarId)),
                                g_instance, nullptr);
  if (!g_statusbar) return;
  g_status_parts_set = 0;
  statusbar_refresh_color();
}

namespace {

// For a few seconds after a stop: where the recording went, how many files
// and how much (1 with the text), unless a shown recording or a find has
// the draw size's part.
int stop_summary(wchar_t* out, int units) {
  if (!recorder_said(out, units)) return 0;
  char16_t other[64];
  if (recording_status_text(8, other) || find_status_text(8, other)) return 0;
  return 1;
}

}  // namespace

void statusbar_refresh_color() {
  if (!g_statusbar) return;
  ChannelFlags f = channel_flags_now();
  // A channel on a network port gets room for its address (status_part_edges).
  int32_t net[2];
  for (int ch = 0; ch < 2; ch++)
    net[ch] = !channel_is_net(ch) ? 0 : g_app.address[ch].kind == kPortRfc2217 ? kStatusNetLine : kStatusNetRaw;
  // A stop's summary, a path of hundreds of pixels, takes the room up to
  // the bar's end while it shows.
  wchar_t said[MAX_PATH + kMessageTextUnits];
  RECT bar = {};
  GetClientRect(g_statusbar, &bar);
  const int wide = stop_summary(said, MAX_PATH + kMessageTextUnits) ? static_cast<int>(bar.right) : 0;
  if (net[0] != g_status_net[0] || net[1] != g_status_net[1] || wide != g_status_wide || !g_status_parts_set) {
    int edges[kStatusParts];
    status_part_edges(net, window_dpi(g_statusbar), edges);
    if (wide) status_part_widen(8, wide, edges);
    SendMessageW(g_statusbar, SB_SETPARTS, kStatusParts, reinterpret_cast<LPARAM>(edges));
    for (int i = 0; i < kStatusParts; i++) SendMessageW(g_statusbar, SB_SETTEXTW, i | SBT_OWNERDRAW, 0);
    g_status_net[0] = net[0];
    g_status_net[1] = net[1];
    g_status_wide = wide;
    g_status_parts_set = 1;
  }
  int slot = status_color_slot(&f);
  if (slot != g_status_slot || !g_status_brush) {
    g_status_slot = slot;
    if (g_status_brush) DeleteObject(g_status_brush);
    g_status_brush = CreateSolidBrush(slot_color(slot));
    SendMessageW(g_statusbar, SB_SETBKCOLOR, 0, static_cast<LPARAM>(slot_color(slot)));
  }
  // Redrawn every time: its parts show the buffer fill and scroll position.
  InvalidateRect(g_statusbar, nullptr, TRUE);
}

namespace {

// The REC part's tooltip, set when it changes.
void rec_tip(const wchar_t* tip) {
  static wchar_t shown[MAX_PATH + kMessageTextUnits] = L"";
  if (lstrcmpW(shown, tip) == 0) return;
  lstrcpynW(shown, tip, MAX_PATH + kMessageTextUnits);
  SendMessageW(g_statusbar, SB_SETTIPTEXTW, 8, reinterpret_cast<LPARAM>(shown));
}

}  // namespace

int statusbar_draw(const DRAWITEMSTRUCT* item) {
  if (item->CtlID != kStatusBarId || item->itemID >= kStatusParts) return 0;
  StatusInfo info;
  info.flags = channel_flags_now();
  info.port[0] = &g_app.settings.port[0];
  info.port[1] = &g_app.settings.port[1];
  for (int ch = 0; ch < 2; ch++) {
    info.address[ch][0] = 0;
    info.server_baud[ch] = channel_is_net(ch) ? net_server_baud(ch) : 0;
    info.peer[ch][0] = 0;
    if (channel_is_net(ch)) net_peer(ch, info.peer[ch], 64);
    const int kind = channel_is_net(ch) ? g_app.address[ch].kind : kPortCom;
    info.raw[ch] = kind == kPortSocket ? kStatusLinkSocket : kind == kPortListen ? kStatusLinkListen : 0;
    if (channel_is_net(ch)) port_address_short(g_app.address[ch], info.address[ch], kPortAddressShortUnits);
  }
  info.cells_per_row = view_cells_per_row_now(g_main_window);
  info.visible_rows = view_visible_rows_now(g_main_window);
  info.write_position = capture_write_position(view_capture());
  info.view_position = view_capture()->view.view_position;
  char16_t text[64];
  status_part_text(static_cast<int>(item->itemID), &info, text);
  const int ch = item->itemID == 1 ? 0 : item->itemID == 5 ? 1 : -1;
  if (ch >= 0 && channel_lost(ch)) format_text(wide(text), 64, kTextChannelLost, channel_lost_seconds(ch));  // "LOST 12s"
  // A link without line settings says what it has in its line part.
  const int line_ch = item->itemID == 3 ? 0 : item->itemID == 7 ? 1 : -1;
  if (line_ch >= 0 && status_link_text(&info, line_ch)) format_text(wide(text), 64, status_link_text(&info, line_ch), wide(info.peer[line_ch]));
  // While recording, the draw size's part says so, with the size and the
  // time: it is within sight in a window of any usual width.
  // And for a few seconds after a stop, where the recording went; its
  // tooltip names the folder (or that word on the stop) in full.
  wchar_t said[MAX_PATH + kMessageTextUnits] = L"";
  int summary = 0;
  if (item->itemID == 8) {
    char16_t now[64];
    if (recorder_status(now)) lstrcpynW(wide(text), wide(now), 64);
    recorder_said(said, MAX_PATH + kMessageTextUnits);
    rec_tip(recorder_running() ? recorder_folder() : said);
    summary = stop_summary(said, MAX_PATH + kMessageTextUnits);
  }
  // While a recording is shown: the way back to the live capture, and the
  // time of day of the view's top row.
  recording_status_text(static_cast<int>(item->itemID), text);
  // While Find shows a match: which of how many, in the part of the
  // draw size (or a recording's top time), which is within sight.
  find_status_text(static_cast<int>(item->itemID), text);
  // While repeats run, how many, in the last part.
  repeat_status_text(static_cast<int>(item->itemID), text);
  // Themed status bars ignore SB_SETBKCOLOR: each part paints its own
  // background, so the color that tells the channel state always shows.
  if (g_status_brush) FillRect(item->hDC, &item->rcItem, g_status_brush);
  SetBkMode(item->hDC, TRANSPARENT);
  SetTextColor(item->hDC, slot_color(kSlotText));
  RECT room = item->rcItem;
  const UINT plain = DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX;
  if (summary) {
    // The folder's end is what tells it: the middle of the path gives way.
    DrawTextW(item->hDC, said, -1, &room, plain | DT_PATH_ELLIPSIS);
  } else if ((item->itemID == 2 || item->itemID == 6) && info.address[item->itemID == 2 ? 0 : 1][0]) {
    DrawTextW(item->hDC, wide(text), -1, &room, plain | DT_END_ELLIPSIS);  // an RFC 2217 address has less room
  } else if (room.right > room.left) {
    TextOutW(item->hDC, item->rcItem.left, item->rcItem.top, wide(text), lstrlenW(wide(text)));
  }
  return 1;
}

void toolbar_tooltip_text(NMHDR* hdr) {
  if (hdr->code != TTN_GETDISPINFOW) return;
  auto* info = reinterpret_cast<NMTTDISPINFOW*>(hdr);
  info->hinst = g_instance;
  int n = toolbar_tooltip(static_cast<int>(hdr->idFrom));
  if (n < 0) return;
  g_tooltip[0] = 0;
  get_text(n, g_tooltip);
  info->lpszText = g_tooltip;
}
