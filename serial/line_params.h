// The device control block a channel applies at open, and the read-back of
// a DCB into the settings. Kept free of Windows types: the Win32 layer copies
// between DCB and LineDcb field by field.
#pragma once

#include <cstdint>

#include "settings/settings.h"

// DTR and RTS control values as the DCB holds them.
constexpr uint8_t kDtrControlEnable = 1;
constexpr uint8_t kRtsControlDisable = 0;
constexpr uint8_t kRtsControlHandshake = 2;

struct LineDcb {
  uint32_t baud_rate;
  uint8_t byte_size, parity, stop_bits;
  uint8_t f_binary, f_parity, f_outx_cts_flow, f_outx_dsr_flow, f_dtr_control, f_dsr_sensitivity;
  uint8_t f_tx_continue_on_xoff, f_outx, f_inx, f_error_char, f_null, f_rts_control, f_abort_on_error;
  uint16_t xon_lim, xoff_lim;
  uint8_t xon_char, xoff_char, error_char, eof_char, evt_char;
};

// Sets `dcb` (as the port reported it) to the channel's line parameters:
// settings for speed and framing, the flow table, DTR enabled, every other
// flag cleared, and the fixed limits and characters.
void line_dcb_apply(LineDcb* dcb, const PortSettings* port);

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
