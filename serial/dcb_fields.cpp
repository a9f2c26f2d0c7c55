#include "serial/dcb_fields.h"

#include "resources/resource.h"

const DcbCheck kDcbCheck[kDcbChecks] = {
    {IDC_DCB_BINARY, "fBinary", kDcbBinary},
    {IDC_DCB_OUTX_CTS, "fOutxCtsFlow", kDcbOutxCtsFlow},
    {IDC_DCB_OUTX_DSR, "fOutxDsrFlow", kDcbOutxDsrFlow},
    {IDC_DCB_DSR_SENSITIVITY, "fDsrSensitivity", kDcbDsrSensitivity},
    {IDC_DCB_TX_CONTINUE, "fTXContinueOnXoff", kDcbTxContinueOnXoff},
    {IDC_DCB_OUTX, "fOutX", kDcbOutX},
    {IDC_DCB_INX, "fInX", kDcbInX},
    {IDC_DCB_ERROR_CHAR_ON, "fErrorChar", kDcbErrorChar},
    {IDC_DCB_NULL, "fNull", kDcbNull},
    {IDC_DCB_ABORT_ON_ERROR, "fAbortOnError", kDcbAbortOnError},
    {IDC_DCB_PARITY_ON, "fParity", kDcbParity},
};

const DcbField kDcbField[kDcbFields] = {
    {IDC_DCB_DTR_CONTROL, "fDtrControl", kDcbDtrControl},
    {IDC_DCB_RTS_CONTROL, "fRtsControl", kDcbRtsControl},
    {IDC_DCB_RESERVED, "fDummy2", kDcbFlagsHigh},
    {IDC_DCB_XON_LIM, "XonLim", kDcbWord},
    {IDC_DCB_XOFF_LIM, "XoffLim", kDcbWord},
    {IDC_DCB_XON_CHAR, "XonChar", kDcbHexByte},
    {IDC_DCB_XOFF_CHAR, "XoffChar", kDcbHexByte},
    {IDC_DCB_ERROR_CHAR, "ErrorChar", kDcbHexByte},
    {IDC_DCB_EOF_CHAR, "EofChar", kDcbHexByte},
    {IDC_DCB_EVT_CHAR, "EvtChar", kDcbHexByte},
    {IDC_DCB_BAUD_RATE, "BaudRate", kDcbLong},
    {IDC_DCB_BYTE_SIZE, "ByteSize", kDcbByte},
    {IDC_DCB_PARITY, "Parity", kDcbByte},
    {IDC_DCB_STOP_BITS, "StopBit", kDcbByte},
    {IDC_DCB_READ_INTERVAL, "ReadIntervalTimeout", kDcbLong},
    {IDC_DCB_READ_MULTIPLIER, "ReadTotalTimeoutMultiplier", kDcbLong},
    {IDC_DCB_READ_CONSTANT, "ReadTotalTimeoutConstant", kDcbLong},
    {IDC_DCB_WRITE_MULTIPLIER, "WriteTotalTimeoutMultiplier", kDcbLong},
    {IDC_DCB_WRITE_CONSTANT, "WriteTotalTimeoutConstant", kDcbLong},
};

namespace {


void format_number(int64_t v, int base, char16_t* out) {
  char16_t digits[24];
  int n = 0;
  int negative = v < 0;
  uint64_t u = negative ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v);
  do {
    int d = static_cast<int>(u % static_cast<uint64_t>(base));
    digits[n++] = static_cast<char16_t>(d < 10 ? u'0' + d : u'a' + d - 10);
    u /= static_cast<uint64_t>(base);
  } while (u);
  int k = 0;
  if (negative) out[k++] = u'-';
  while (n) out[k++] = digits[--n];
  out[k] = 0;
}

int digit_value(char16_t c, int base) {
  int d = -1;
  if (c >= u'0' && c <= u'9') d = c - u'0';
  else if (base == 16 && c >= u'a' && c <= u'f') d = c - u'a' + 10;
  else if (base == 16 && c >= u'A' && c <= u'F') d = c - u'A' + 10;
  return d;
}

int is_blank(char16_t c) { return c == u' ' || c == u'\t'; }

// 0 and the value in *out, or 1 when the text is no number of that base.
int parse_number(const char16_t* s, int base, int64_t* out) {
  int i = 0;
  while (is_blank(s[i])) i++;
  int negative = 0;
  if (base == 10 && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
  if (base == 16 && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X') && digit_value(s[i + 2], 16) >= 0) i += 2;
  int64_t v = 0;
  int digits = 0;
  for (int d; (d = digit_value(s[i], base)) >= 0; i++, digits++) {
    v = v * base + d;
    if (v > (int64_t{1} << 40)) v = int64_t{1} << 40;  // far beyond every field: out of range
  }
  while (is_blank(s[i])) i++;
  if (digits == 0 || s[i] != 0) return 1;
  *out = negative ? -v : v;
  return 0;
}

int base_of(DcbFieldKind kind) { return kind == kDcbHexByte ? 16 : 10; }

void range_of(DcbFieldKind kind, int64_t* low, int64_t* high) {
  *low = 0;
  *high = 0;
  switch (kind) {
    case kDcbDtrControl: case kDcbRtsControl: *high = 3; break;
    case kDcbFlagsHigh: *high = 0x1FFFF; break;
    case kDcbWord: *high = 0xFFFF; break;
    case kDcbHexByte: case kDcbByte: *high = 0xFF; break;
    case kDcbLong:
      // Shown signed, so -1 must read back as 0xFFFFFFFF; typed unsigned
      // values are taken as well.
      *low = INT32_MIN;
      *high = UINT32_MAX;
      break;
  }
}

uint32_t* long_field(int i, LineDcb* dcb, LineTimeouts* t) {
  switch (kDcbField[i].id) {
    case IDC_DCB_BAUD_RATE: return &dcb->baud_rate;
    case IDC_DCB_READ_INTERVAL: return &t->read_interval;
    case IDC_DCB_READ_MULTIPLIER: return &t->read_total_multiplier;
    case IDC_DCB_READ_CONSTANT: return &t->read_total_constant;
    case IDC_DCB_WRITE_MULTIPLIER: return &t->write_total_multiplier;
    default: return &t->write_total_constant;
  }
}

uint8_t* byte_field(int i, LineDcb* dcb) {
  switch (kDcbField[i].id) {
    case IDC_DCB_XON_CHAR: return &dcb->xon_char;
    case IDC_DCB_XOFF_CHAR: return &dcb->xoff_char;
    case IDC_DCB_ERROR_CHAR: return &dcb->error_char;
    case IDC_DCB_EOF_CHAR: return &dcb->eof_char;
    case IDC_DCB_EVT_CHAR: return &dcb->evt_char;
    case IDC_DCB_BYTE_SIZE: return &dcb->byte_size;
    case IDC_DCB_PARITY: return &dcb->parity;
    default: return &dcb->stop_bits;
  }
}

}  // namespace

void dcb_field_show(int i, const LineDcb* dcb, const LineTimeouts* t, char16_t out[kDcbTextUnits]) {
  // The accessors want writable records; nothing is written here.
  LineDcb d = *dcb;
  LineTimeouts tt = *t;
  int64_t v = 0;
  switch (kDcbField[i].kind) {
    case kDcbDtrControl: v = line_dtr_control(&d); break;
    case kDcbRtsControl: v = line_rts_control(&d); break;
    case kDcbFlagsHigh: v = d.flags >> kDcbReservedShift; break;
    case kDcbWord: v = kDcbField[i].id == IDC_DCB_XON_LIM ? d.xon_lim : d.xoff_lim; break;
    case kDcbHexByte: case kDcbByte: v = *byte_field(i, &d); break;
    case kDcbLong: v = static_cast<int32_t>(*long_field(i, &d, &tt)); break;
  }
  format_number(v, base_of(kDcbField[i].kind), out);
}

int dcb_field_read(int i, const char16_t* text, LineDcb* dcb, LineTimeouts* t) {
  DcbFieldKind kind = kDcbField[i].kind;
  int64_t v, low, high;
  if (parse_number(text, base_of(kind), &v)) return 1;
  range_of(kind, &low, &high);
  if (v < low || v > high) return 1;
  uint32_t u = static_cast<uint32_t>(v);
  switch (kind) {
    case kDcbDtrControl: dcb->flags = (dcb->flags & ~kDcbDtrMask) | (u << kDcbDtrShift); break;
    case kDcbRtsControl: dcb->flags = (dcb->flags & ~kDcbRtsMask) | (u << kDcbRtsShift); break;
    case kDcbFlagsHigh: dcb->flags = (dcb->flags & kDcbNamedFlags) | (u << kDcbReservedShift); break;
    case kDcbWord: (kDcbField[i].id == IDC_DCB_XON_LIM ? dcb->xon_lim : dcb->xoff_lim) = static_cast<uint16_t>(u); break;
    case kDcbHexByte: case kDcbByte: *byte_field(i, dcb) = static_cast<uint8_t>(u); break;
    case kDcbLong: *long_field(i, dcb, t) = u; break;
  }
  return 0;
}

void dcb_field_range(int i, char16_t low[24], char16_t high[24]) {
  DcbFieldKind kind = kDcbField[i].kind;
  int64_t lo, hi;
  range_of(kind, &lo, &hi);
  format_number(lo, base_of(kind), low);
  format_number(hi, base_of(kind), high);
}

int dcb_form_read(const uint8_t checked[kDcbChecks], const char16_t* const texts[kDcbFields], LineDcb* dcb,
                  LineTimeouts* t) {
  LineDcb d = *dcb;
  LineTimeouts tt = *t;
  for (int i = 0; i < kDcbChecks; i++) {
    if (checked[i]) d.flags |= kDcbCheck[i].bit;
    else d.flags &= ~kDcbCheck[i].bit;
  }
  for (int i = 0; i < kDcbFields; i++)
    if (dcb_field_read(i, texts[i], &d, &tt)) return i;
  *dcb = d;
  *t = tt;
  return -1;
}

void dcb_standard_state(LineDcb* dcb, LineTimeouts* t) {
  // What an open applies for 9600 baud, 8 data bits, no parity, one stop
  // bit and no flow control.
  const PortSettings standard = {0, 9600, 8, 0, 0, 0};
  line_dcb_apply(dcb, &standard);
  *t = kLineTimeouts;
}
