// What the line status dialog shows: the three columns of indicators (the
// accumulated line errors, the transmit-hold state, the modem input lines),
// each a filled or hollow circle at a fixed pixel position, and the
// dialog's title. The dialog itself is serial/line_status_win.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

// Line error flags as ClearCommError reports them (CE_*).
enum : uint32_t {
  kLineRxOver = 0x0001,
  kLineOverrun = 0x0002,
  kLineRxParity = 0x0004,
  kLineFrame = 0x0008,
  kLineBreak = 0x0010,
  kLineTxFull = 0x0100,
  kLineIoe = 0x0400,
  kLineMode = 0x8000,
};

// COMSTAT's hold flags, one bit each in the order of its bit fields
// (fCtsHold first); the Win32 side packs them.
enum : uint32_t {
  kHoldCts = 0x01,
  kHoldDsr = 0x02,
  kHoldRlsd = 0x04,
  kHoldXoff = 0x08,
  kHoldXoffSent = 0x10,
  kHoldEof = 0x20,
  kHoldTxim = 0x40,
};

// Modem input lines as GetCommModemStatus reports them (MS_*_ON).
enum : uint32_t { kModemCts = 0x10, kModemDsr = 0x20, kModemRing = 0x40, kModemRlsd = 0x80 };

enum LineColumn { kLineColumnErrors, kLineColumnHolds, kLineColumnModem, kLineColumns };
constexpr int kLineColumnMax = 8;  // indicators in the longest column

struct LineIndicator {
  int x, y;    // top left of the glyph, dialog client pixels
  int label;   // id of the static label that names it
  int on;
};

// The indicators of one column from that column's bit set; returns how many.
int line_status_column(LineColumn column, uint32_t bits, LineIndicator out[kLineColumnMax]);

// "●" for a set flag, "○" for a clear one.
inline char16_t line_status_glyph(int on) { return on ? u'\u25CF' : u'\u25CB'; }

// The title: `base` (message text 43) followed by " (CH1)" or " (CH2)";
// cut to fit `size` units with its terminator.
void line_status_title(const char16_t* base, int channel, char16_t* out, size_t size);
