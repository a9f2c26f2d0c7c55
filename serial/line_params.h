// The device control block and time-outs of a port as the program keeps
// them, free of Windows types: one mirror of the Win32 DCB that the port
// open, the DCB dialog and the tests' hook all use (serial/dcb_win.cpp packs
// it to and from DCB); the DCB a channel applies at open, and the read-back
// of a DCB into the settings.
#pragma once

#include <cstdint>

#include "settings/settings.h"

// A DCB's fields: the flag bit-field word whole, in the order of the DCB's
// bit fields (fBinary is bit 0, fDummy2 bits 15 to 31), the rest by name.
struct LineDcb {
  uint32_t baud_rate;
  uint32_t flags;
  uint16_t xon_lim, xoff_lim;
  uint8_t byte_size, parity, stop_bits;
  uint8_t xon_char, xoff_char, error_char, eof_char, evt_char;
};

// The bits of LineDcb::flags.
constexpr uint32_t kDcbBinary = 1u << 0;
constexpr uint32_t kDcbParity = 1u << 1;
constexpr uint32_t kDcbOutxCtsFlow = 1u << 2;
constexpr uint32_t kDcbOutxDsrFlow = 1u << 3;
constexpr int kDcbDtrShift = 4;  // two bits: fDtrControl
constexpr uint32_t kDcbDtrMask = 3u << kDcbDtrShift;
constexpr uint32_t kDcbDsrSensitivity = 1u << 6;
constexpr uint32_t kDcbTxContinueOnXoff = 1u << 7;
constexpr uint32_t kDcbOutX = 1u << 8;
constexpr uint32_t kDcbInX = 1u << 9;
constexpr uint32_t kDcbErrorChar = 1u << 10;
constexpr uint32_t kDcbNull = 1u << 11;
constexpr int kDcbRtsShift = 12;  // two bits: fRtsControl
constexpr uint32_t kDcbRtsMask = 3u << kDcbRtsShift;
constexpr uint32_t kDcbAbortOnError = 1u << 14;
constexpr int kDcbReservedShift = 15;  // fDummy2, bits 15 to 31
constexpr uint32_t kDcbNamedFlags = (1u << kDcbReservedShift) - 1;

// DTR and RTS control values as the DCB holds them.
constexpr uint8_t kDtrControlEnable = 1;
constexpr uint8_t kRtsControlDisable = 0;
constexpr uint8_t kRtsControlHandshake = 2;

inline uint32_t line_dtr_control(const LineDcb* d) { return (d->flags & kDcbDtrMask) >> kDcbDtrShift; }
inline uint32_t line_rts_control(const LineDcb* d) { return (d->flags & kDcbRtsMask) >> kDcbRtsShift; }

// The fixed limits and characters every open port gets.
constexpr uint16_t kLineXonLim = 2048;
constexpr uint16_t kLineXoffLim = 512;
constexpr uint8_t kLineXonChar = 0x11;
constexpr uint8_t kLineXoffChar = 0x13;
constexpr uint8_t kLineEvtChar = 0x0D;

// Sets `dcb` (as the port reported it) to the channel's line parameters:
// settings for speed and framing, the flow table, DTR enabled, every other
// flag cleared, and the fixed limits and characters.
void line_dcb_apply(LineDcb* dcb, const PortSettings* port);

// DTR and RTS as the user left them (0: as the DCB says, 1: set, 2:
// cleared) put into the DCB's own line control, where it does not hand the
// line to handshaking (or RTS to toggling): the DCB a reopen applies, so
// the device never sees the DCB's own line state before the user's.
void line_dcb_hold_lines(LineDcb* dcb, int32_t dtr_state, int32_t rts_state);

// Copies a DCB the port accepted back into the channel's settings.
void line_dcb_read_back(const LineDcb* dcb, PortSettings* port);

// The fixed timeouts every open port gets, in milliseconds.
struct LineTimeouts {
  uint32_t read_interval, read_total_multiplier, read_total_constant;
  uint32_t write_total_multiplier, write_total_constant;
};
constexpr LineTimeouts kLineTimeouts = {100, 2, 100, 10, 1000};

// How long the transmit path waits for a write of `count` bytes before it
// cancels it and reports a failed send. A port whose writes never time out
// (both write time-outs 0) and whose line is held by flow control would
// otherwise keep the user-interface thread for good. The limit is twice
// the time the bytes need on the line at `baud` (eleven bits a byte), or
// the port's own write time-outs when they are set, plus a margin, and
// never less than kWriteWaitFloorMs.
constexpr uint32_t kWriteWaitFloorMs = 2000;
constexpr uint32_t kWriteWaitMarginMs = 500;
uint32_t line_write_limit_ms(uint32_t baud, int count, uint32_t write_multiplier, uint32_t write_constant);

// One character on a channel's line: its speed and the bits it takes
// (start, data, parity and stop bits) in tenths of a bit, so that 1.5 stop
// bits count as they are. A baud of 0 or less is a line whose speed is not
// known: its characters take no time.
struct LineShape {
  int32_t baud;
  int32_t tenth_bits;
};
LineShape line_shape_of(const PortSettings* port);
// Both channels' shapes, CH1 then CH2.
inline void line_shapes_of(const PortSettings port[2], LineShape out[2]) {
  out[0] = line_shape_of(&port[0]);
  out[1] = line_shape_of(&port[1]);
}
// The time `chars` characters take on the line in µs, rounded up; 0 for no
// characters, a negative count or an unknown speed.
int64_t line_chars_us(LineShape shape, int64_t chars);
