#include "app/chrome.h"

#include <cstdio>

#include "app/capture.h"
#include "app/text16.h"

const MenuDef kMenuBar[kMenus] = {
    {200, 3, {{141, 210, 0}, {142, 211, 0}, {143, 212, 0}}},
    {201, 9, {{144, 220, 0}, {145, 221, 0}, {146, 222, 0}, {147, 223, 0}, {148, 224, 0}, {149, 225, 0},
              {0, 0, 0}, {172, 226, 0}, {173, 227, 0}}},
    {202, 4, {{150, 230, 0}, {151, 231, 0}, {152, 232, 0}, {153, 233, 0}}},
    {203, 3, {{155, 240, 0}, {156, 241, 0}, {157, 242, 0}}},
    {204, 6, {{160, 250, 0}, {158, 251, 0}, {159, 252, 0}, {-1, 253, 161}, {-1, 254, 163}, {-1, 255, 165}}},
    {205, 4, {{167, 260, 0}, {168, 261, 0}, {169, 262, 0}, {174, 263, 0}}},
    {206, 3, {{170, 270, 0}, {171, 271, 0}, {175, 272, 0}}},
};

const ToolButtonDef kToolbar[kToolButtons] = {
    {1101, 210, 1}, {1102, 211, 1}, {1104, 221, 1}, {1105, 222, 1}, {1106, 223, 1}, {1107, 224, 1},
    {1108, 225, 1}, {1103, 220, 1}, {1109, 226, 1}, {1110, 227, 1}, {1111, 230, 0}, {1112, 231, 0},
    {1113, 232, 0}, {1114, 233, 0}, {1115, 250, 1}, {1116, 251, 1}, {1117, 252, 0}, {1118, 253, 0},
    {1119, 253, 0}, {1120, 254, 0}, {1121, 254, 0}, {1122, 255, 0}, {1123, 255, 0}, {1124, 240, 1},
    {1125, 241, 1}, {1126, 242, 1}, {1127, 260, 1}, {1128, 261, 1}, {1129, 262, 1}, {1130, 263, 1},
    {1131, 270, 1}, {1132, 271, 1}, {1133, 272, 1}, {1134, 212, 1},
};

const int kStatusPartEdges[kStatusParts] = {30, 80, 130, 370, 400, 450, 500, 740, 860, 1020, 1120, 1220};

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

void status_line_params(const PortSettings* p, char16_t out[64]) {
  const char* parity = p->rs_pybit == 1 ? "Odd" : p->rs_pybit == 2 ? "Evn" : "Non";
  const char* flow = p->rs_flow == 1 ? "Xon" : p->rs_flow == 2 ? "Dtr" : "Non";
  char text[64];
  std::snprintf(text, sizeof text, "SP=%d.%dK:DB=%d:PB=%s:SB=%d:Flow=%s", p->rs_speed / 1000,
                p->rs_speed % 1000 / 100, p->rs_dtbit, parity, p->rs_spbit, flow);
  text16_from_ascii(out, 64, text);
}

void status_part_text(int part, const StatusInfo* s, char16_t out[64]) {
  char text[64] = "";
  int ch = part < 4 ? 0 : 1;
  switch (part) {
    case 0: case 4: std::snprintf(text, sizeof text, "CH%d", ch + 1); break;
    case 1: case 5: std::snprintf(text, sizeof text, "%s", s->flags.open[ch] == 1 ? "OPEN" : "CLOSE"); break;
    case 2: case 6:
      if (s->port[ch]->rs_comport == 0) std::snprintf(text, sizeof text, "None");
      else std::snprintf(text, sizeof text, "Com%d", s->port[ch]->rs_comport);
      break;
    case 3: case 7:
      if (s->port[ch]->rs_comport == 0) {
        std::snprintf(text, sizeof text, "None");
      } else {
        status_line_params(s->port[ch], out);
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
