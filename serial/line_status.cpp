#include "serial/line_status.h"

#include "resources/resource.h"

namespace {

struct Place {
  int x, y, label;
  uint32_t flag;
};

// Errors in the order the dialog lists them, then the hold flags, then the
// modem lines, each column from the top: labels 401-408, then 409, 410 and
// 412-416, then 417-420.
const Place kErrors[] = {
    {10, 10, IDC_LS_BREAK, kLineBreak},  {10, 30, IDC_LS_FRAME, kLineFrame},   {10, 50, IDC_LS_OVERRUN, kLineOverrun},
    {10, 70, IDC_LS_MODE, kLineMode},   {10, 90, IDC_LS_IOE, kLineIoe},     {10, 110, IDC_LS_RX_OVER, kLineRxOver},
    {10, 130, IDC_LS_RX_PARITY, kLineRxParity}, {10, 150, IDC_LS_TX_FULL, kLineTxFull},
};
const Place kHolds[] = {
    {145, 10, IDC_LS_CTS_HOLD, kHoldCts},       {145, 30, IDC_LS_DSR_HOLD, kHoldDsr},  {145, 50, IDC_LS_RLSD_HOLD, kHoldRlsd},
    {145, 70, IDC_LS_XOFF_HOLD, kHoldXoff},      {145, 90, IDC_LS_XOFF_SENT, kHoldXoffSent}, {145, 110, IDC_LS_EOF, kHoldEof},
    {145, 130, IDC_LS_TXIM, kHoldTxim},
};
const Place kModem[] = {
    {305, 10, IDC_LS_CTS, kModemCts}, {305, 30, IDC_LS_DSR, kModemDsr}, {305, 50, IDC_LS_RING, kModemRing}, {305, 70, IDC_LS_RLSD, kModemRlsd},
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
