#include "app/chrome.h"

#include "ui/scale.h"

#include <cstdio>

#include "app/capture.h"
#include "app/text16.h"
#include "settings/message_text.h"

const MenuDef kMenuBar[kMenus] = {
    {kTextMenuFile, 9,
     {{141, kTextMenuSaveLog, 0}, {142, kTextMenuOpenLog, 0}, {176, kTextMenuExport, 0}, {179, kTextMenuSaveAsMacro, 0},
      {181, kTextMenuRecord, 0}, {182, kTextMenuOpenRecording, 0}, {193, kTextMenuOpenRecordingFolder, 0},
      {187, kTextMenuBackToLive, 0},
      {143, kTextMenuExit, 0}}},
    {kTextMenuView, 15,
     {{144, kTextMenuRedraw, 0}, {145, kTextMenuClearData, 0}, {146, kTextMenuScrollDown, 0},
      {147, kTextMenuScrollUp, 0}, {148, kTextMenuGoToEnd, 0}, {149, kTextMenuGoToBeginning, 0},
      {183, kTextMenuFind, 0}, {184, kTextMenuFindNext, 0}, {185, kTextMenuFindPrevious, 0},
      {186, kTextMenuGoToTime, 0}, {189, kTextMenuHighlight, 0}, {188, kTextMenuPlot, 0}, {0, 0, 0},
      {172, kTextMenuChecksum, 0}, {173, kTextMenuAsciiTable, 0}}},
    {kTextMenuSend, 7,
     {{150, kTextMenuInputSend, 0}, {151, kTextMenuPresetSend, 0}, {152, kTextMenuRunMacro, 0},
      {153, kTextMenuModbus, 0}, {190, kTextMenuSendFile, 0}, {191, kTextMenuReceiveFile, 0},
      {192, kTextMenuStopRepeats, 0}}},
    {kTextMenuTools, 6,
     {{155, kTextMenuPresetEditor, 0}, {156, kTextMenuNotepad, 0}, {157, kTextMenuEditMacro, 0},
      {177, kTextMenuLinkStats, 0}, {178, kTextMenuModbusMonitor, 0}, {180, kTextMenuAutoAnswer, 0}}},
    {kTextMenuPort, 6,
     {{160, kTextMenuPortNumber, 0}, {158, kTextMenuOpenPorts, 0}, {159, kTextMenuClosePorts, 0},
      {-1, kTextMenuPortSettings, 161}, {-1, kTextMenuDcb, 163}, {-1, kTextMenuLineStatus, 165}}},
    {kTextMenuOptions, 4,
     {{167, kTextMenuEnvironment, 0}, {168, kTextMenuTheme, 0}, {169, kTextMenuLanguage, 0},
      {174, kTextMenuColors, 0}}},
    {kTextMenuHelp, 3,
     {{170, kTextMenuAbout, 0}, {171, kTextMenuManual, 0}, {175, kTextMenuWebSite, 0}}},
};

const ToolButtonDef kToolbar[kToolButtons] = {
    {1101, kTextMenuSaveLog, 1}, {1102, kTextMenuOpenLog, 1}, {1104, kTextMenuClearData, 1},
    {1105, kTextMenuScrollDown, 1}, {1106, kTextMenuScrollUp, 1}, {1107, kTextMenuGoToEnd, 1},
    {1108, kTextMenuGoToBeginning, 1}, {1103, kTextMenuRedraw, 1}, {1109, kTextMenuChecksum, 1},
    {1110, kTextMenuAsciiTable, 1}, {1111, kTextMenuInputSend, 0}, {1112, kTextMenuPresetSend, 0},
    {1113, kTextMenuRunMacro, 0}, {1114, kTextMenuModbus, 0}, {1115, kTextMenuPortNumber, 1},
    {1116, kTextMenuOpenPorts, 1}, {1117, kTextMenuClosePorts, 0}, {1118, kTextMenuPortSettings, 0},
    {1119, kTextMenuPortSettings, 0}, {1120, kTextMenuDcb, 0}, {1121, kTextMenuDcb, 0},
    {1122, kTextMenuLineStatus, 0}, {1123, kTextMenuLineStatus, 0}, {1124, kTextMenuPresetEditor, 1},
    {1125, kTextMenuNotepad, 1}, {1126, kTextMenuEditMacro, 1}, {1127, kTextMenuEnvironment, 1},
    {1128, kTextMenuTheme, 1}, {1129, kTextMenuLanguage, 1}, {1130, kTextMenuColors, 1}, {1131, kTextMenuAbout, 1},
    {1132, kTextMenuManual, 1}, {1133, kTextMenuWebSite, 1}, {1134, kTextMenuExit, 1},
};

const int kStatusPartEdges[kStatusParts] = {30, 80, 130, 370, 400, 450, 500, 740, 860, 1020, 1120, 1220};

void status_part_edges(const int32_t net[2], int32_t dpi, int out[kStatusParts]) {
  int shift = 0;
  for (int part = 0; part < kStatusParts; part++) {
    // A network channel's port part (2 or 6) is wider for its address, and
    // its line part after it narrower by as much.
    const int32_t kind = net[part < 4 ? 0 : 1];
    const int extra = kind == kStatusNetRaw ? kStatusAddressExtra : kind ? kStatusAddressExtraLine : 0;
    if (part == 2 || part == 6) shift += extra;
    if (part == 3 || part == 7) shift -= extra;
    out[part] = px(kStatusPartEdges[part] + shift, dpi);
  }
}

void status_part_widen(int part, int right, int edges[kStatusParts]) {
  for (int i = part; i < kStatusParts; i++)
    if (edges[i] < right) edges[i] = right;
}

int toolbar_index_of_command(int menu_command) {
  for (int i = 0; i < kToolButtons; i++)
    if (command_from_toolbar(kToolbar[i].id) == menu_command) return i;
  return -1;
}

int toolbar_tooltip(int id) {
  for (const ToolButtonDef& b : kToolbar)
    if (b.id == id) return b.tooltip;
  return -1;
}

int toolbar_refresh_state(int id, const ChannelFlags* f) {
  int any_open = f->open[0] != 0 || f->open[1] != 0;
  switch (id) {
    case 1103: case 1105: case 1106: case 1107: case 1108: case 1115: case 1116: case 1127:
      return !any_open;
    case 1117: return any_open;
    case 1111: case 1112: case 1113: case 1114: return any_open && f->lm_mode == 0;
    case 1118: case 1120: case 1122: return f->open[0] != 0;
    case 1119: case 1121: case 1123: return f->open[1] != 0;
    default: return -1;
  }
}

int status_color_slot(const ChannelFlags* f) {
  int open = (f->open[0] == 1) + (f->open[1] == 1);
  if (open == 0) return 7;
  if (open == 1) return 8;
  return f->lm_mode == 1 ? 10 : 9;
}

void status_line_params(const PortSettings* p, char16_t out[64], uint32_t server_baud) {
  const char* parity = p->rs_pybit == 1 ? "Odd" : p->rs_pybit == 2 ? "Evn" : "Non";
  const char* flow = p->rs_flow == 1 ? "Xon" : p->rs_flow == 2 ? "Dtr" : "Non";
  char speed[32];
  // A speed a server set otherwise, and the one asked, to the baud: a
  // UART's 9615 for 9600 is a difference worth seeing.
  if (server_baud)
    std::snprintf(speed, sizeof speed, "%u(asked %d)", static_cast<unsigned>(server_baud), p->rs_speed);
  else
    std::snprintf(speed, sizeof speed, "%d.%dK", p->rs_speed / 1000, p->rs_speed % 1000 / 100);
  char text[64];
  std::snprintf(text, sizeof text, "SP=%s:DB=%d:PB=%s:SB=%d:Flow=%s", speed, p->rs_dtbit, parity, p->rs_spbit, flow);
  text16_from_ascii(out, 64, text);
}

void status_part_text(int part, const StatusInfo* s, char16_t out[64]) {
  char text[64] = "";
  int ch = part < 4 ? 0 : 1;
  switch (part) {
    case 0: case 4: std::snprintf(text, sizeof text, "CH%d", ch + 1); break;
    case 1: case 5: std::snprintf(text, sizeof text, "%s", s->flags.open[ch] == 1 ? "OPEN" : "CLOSE"); break;
    case 2: case 6:
      if (s->address[ch][0]) {  // "listen:0.0.0.0:4001"; a listener's client is in the line part
        int at = 0;
        for (; at < 24 && s->address[ch][at]; at++) out[at] = s->address[ch][at];
        out[at] = 0;
        return;
      }
      if (s->port[ch]->rs_comport == 0) std::snprintf(text, sizeof text, "None");
      else std::snprintf(text, sizeof text, "Com%d", s->port[ch]->rs_comport);
      break;
    case 3: case 7:
      if (status_link_text(s, ch)) break;
      if (s->port[ch]->rs_comport == 0 && !s->address[ch][0]) {
        std::snprintf(text, sizeof text, "None");
      } else {
        status_line_params(s->port[ch], out, s->server_baud[ch]);
        return;
      }
      break;
    case 8: std::snprintf(text, sizeof text, "DrawSize=X%d;Y%d", s->cells_per_row, s->visible_rows); break;
    case 9: std::snprintf(text, sizeof text, "BufferSize=%d/%d", s->write_position, kCaptureNominalRecords); break;
    case 10: std::snprintf(text, sizeof text, "Scroll=%d", s->view_position); break;
    case 11: std::snprintf(text, sizeof text, "By Tessaly"); break;
    default: break;
  }
  text16_from_ascii(out, 64, text);
}

int status_link_text(const StatusInfo* s, int ch) {
  if (!s->address[ch][0] || !s->raw[ch]) return 0;
  if (s->peer[ch][0]) return kTextStatusClient;
  return s->raw[ch] == kStatusLinkListen ? kTextStatusNoClient : kTextStatusRawTcp;
}
