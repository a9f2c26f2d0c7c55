#include "serial/line_status.h"

namespace {

struct Place {
  int x, y, label;
  uint32_t flag;
};

// Errors in the order the dialog lists them, then the hold flags, then the
// modem lines. The labels run 401-410, 412-416, 417-420 down the columns.
const Place kErrors[] = {
    {10, 10, 401, kLineBreak},  {10, 30, 402, kLineFrame},   {10, 50, 403, kLineOverrun},
    {10, 70, 404, kLineMode},   {10, 90, 405, kLineIoe},     {10, 110, 406, kLineRxOver},
    {10, 130, 407, kLineRxParity}, {10, 150, 408, kLineTxFull},
};
const Place kHolds[] = {
    {145, 10, 409, kHoldCts},       {145, 30, 410, kHoldDsr},  {145, 50, 412, kHoldRlsd},
    {145, 70, 413, kHoldXoff},      {145, 90, 414, kHoldXoffSent}, {145, 110, 415, kHoldEof},
    {145, 130, 416, kHoldTxim},
};
const Place kModem[] = {
    {305, 10, 417, kModemCts}, {305, 30, 418, kModemDsr}, {305, 50, 419, kModemRing}, {305, 70, 420, kModemRlsd},
};

template <size_t N>
int fill(const Place (&places)[N], uint32_t bits, LineIndicator* out) {
  for (size_t i = 0; i < N; i++) out[i] = {places[i].x, places[i].y, places[i].label, (bits & places[i].flag) ? 1 : 0};
  return static_cast<int>(N);
}

}  // namespace

int line_status_column(LineColumn column, uint32_t bits, LineIndicator out[kLineColumnMax]) {
  switch (column) {
    case kLineColumnErrors: return fill(kErrors, bits, out);
    case kLineColumnHolds: return fill(kHolds, bits, out);
    case kLineColumnModem: return fill(kModem, bits, out);
    default: return 0;
  }
}

void line_status_title(const char16_t* base, int channel, char16_t* out, size_t size) {
  if (size == 0) return;
  const char16_t* suffix = channel == 2 ? u" (CH2)" : u" (CH1)";
  size_t n = 0;
  for (const char16_t* p = base; *p && n + 1 < size; p++) out[n++] = *p;
  for (const char16_t* p = suffix; *p && n + 1 < size; p++) out[n++] = *p;
  out[n] = 0;
}
