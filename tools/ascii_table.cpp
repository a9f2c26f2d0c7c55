#include "tools/ascii_table.h"

namespace {

// Four units per code, of which three are drawn. The spellings E0T and DlE
// are the table's own and are kept as they are.
const char16_t kNames0[] = u"NUL SOH STX ETX E0T ENQ ACK BEL BS  TAB LF  VT  FF  CR  SO  SI  ";
const char16_t kNames1[] = u"DlE DC1 DC2 DC3 DC4 NAK SYN ETB CAN EM  SUB ESC FS  GS  RS  US  ";

// x of the code text of columns 1 to 8; the name follows 30 pixels right.
const int kColumnX[kAsciiCodes / kAsciiRowsPerColumn] = {0, 70, 140, 200, 260, 320, 380, 440};

const char16_t kHex[] = u"0123456789ABCDEF";

}  // namespace

void ascii_table_cell(int code, AsciiCell* out) {
  code &= 0x7F;
  int column = code / kAsciiRowsPerColumn;
  int row = code % kAsciiRowsPerColumn;
  out->code_x = kColumnX[column];
  out->name_x = kColumnX[column] + 30;
  out->y = row * kAsciiRowHeight;
  out->code[0] = kHex[code >> 4];
  out->code[1] = kHex[code & 15];
  out->code[2] = u':';
  out->code[3] = 0;
  if (code < 0x20) {
    const char16_t* names = code < 0x10 ? kNames0 : kNames1;
    for (int i = 0; i < 3; i++) out->name[i] = names[row * 4 + i];
    out->name[3] = 0;
    out->name_len = 3;
  } else if (code == 0x20) {
    out->name[0] = u'S';
    out->name[1] = u'P';
    out->name[2] = 0;
    out->name_len = 2;
  } else {
    out->name[0] = static_cast<char16_t>(code);
    out->name[1] = 0;
    out->name_len = 1;
  }
}

int ascii_table_description(int x, int y) {
  if (x < 0 || y < 0) return 0;
  if (x >= 2 * kAsciiPressCellWidth || y >= kAsciiRowsPerColumn * kAsciiRowHeight) return 0;
  return kAsciiFirstDescription + kAsciiRowsPerColumn * (x / kAsciiPressCellWidth) + y / kAsciiRowHeight;
}
