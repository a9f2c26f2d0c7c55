// The DCB and timeouts dialog's fields without a window: how each field of
// the device control block and of the time-outs is written into its check
// box or edit, how the edited texts are read back, and the standard state
// "9600,8,n,1,off", on the one mirror of the DCB and time-outs, LineDcb and
// LineTimeouts (serial/line_params.h); the dialog is serial/dcb_dialog_win.cpp.
#pragma once

#include <cstdint>

#include "serial/line_params.h"

// Check boxes 201 to 211 and the flag bit each one carries.
constexpr int kDcbChecks = 11;
struct DcbCheck {
  int id;
  const char* name;
  uint32_t bit;
};
extern const DcbCheck kDcbCheck[kDcbChecks];

// Edits 321 to 339 in this order.
enum DcbFieldKind {
  kDcbDtrControl,   // flag bits 4-5, decimal
  kDcbRtsControl,   // flag bits 12-13, decimal
  kDcbFlagsHigh,    // flag bits 15-31 (fDummy2), decimal
  kDcbWord,         // 16 bits, decimal
  kDcbHexByte,      // 8 bits, hexadecimal
  kDcbByte,         // 8 bits, decimal
  kDcbLong,         // 32 bits, shown signed
};
constexpr int kDcbFields = 19;
struct DcbField {
  int id;
  const char* name;
  DcbFieldKind kind;
};
extern const DcbField kDcbField[kDcbFields];
constexpr int kDcbTextUnits = 64;  // an edit's text as read (61 characters and more)

// Text of field i (0 to 18) as the dialog shows it: "%d", "%x" of the byte,
// 32-bit fields as signed decimal (0xFFFFFFFF shows as -1).
void dcb_field_show(int i, const LineDcb* dcb, const LineTimeouts* t, char16_t out[kDcbTextUnits]);

// Reads field i's text into the records. Decimal: blanks, a sign, digits,
// blanks; hexadecimal: blanks, an optional 0x, hex digits, blanks. 0 when
// read; 1 when the text is no number or does not fit the field (the records
// are then unchanged).
int dcb_field_read(int i, const char16_t* text, LineDcb* dcb, LineTimeouts* t);

// Smallest and largest value field i takes, as the dialog names them in its
// message about a bad entry (hexadecimal fields in hexadecimal, without 0x).
void dcb_field_range(int i, char16_t low[24], char16_t high[24]);

// Reads every check box (1 ticked) and edit text into the records, all or
// nothing: -1 when every field was read; else the index of the first bad
// field, and the records are unchanged.
int dcb_form_read(const uint8_t checked[kDcbChecks], const char16_t* const texts[kDcbFields], LineDcb* dcb,
                  LineTimeouts* t);

// The standard state "9600,8,n,1,off": 9600 baud, 8 data bits, no parity,
// one stop bit, no flow control, DTR enabled, fBinary set, every other flag
// clear; the limits and characters of an open port, and the open's fixed
// time-outs.
void dcb_standard_state(LineDcb* dcb, LineTimeouts* t);
