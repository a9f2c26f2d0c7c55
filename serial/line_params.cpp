#include "serial/line_params.h"

void line_dcb_apply(LineDcb* dcb, const PortSettings* port) {
  dcb->baud_rate = static_cast<uint32_t>(port->rs_speed);
  dcb->byte_size = static_cast<uint8_t>(port->rs_dtbit);
  dcb->parity = static_cast<uint8_t>(port->rs_pybit);
  dcb->stop_bits = static_cast<uint8_t>(port->rs_spbit);
  // The flow bits as the port reported them, unless the flow table says
  // otherwise (an unknown flow keeps them).
  uint32_t flow = dcb->flags & (kDcbOutxCtsFlow | kDcbOutX | kDcbInX | kDcbRtsMask);
  switch (port->rs_flow) {
    case 0: flow = uint32_t{kRtsControlDisable} << kDcbRtsShift; break;
    case 1: flow = kDcbOutX | kDcbInX | uint32_t{kRtsControlDisable} << kDcbRtsShift; break;
    case 2: flow = kDcbOutxCtsFlow | uint32_t{kRtsControlHandshake} << kDcbRtsShift; break;
    default: break;
  }
  // Binary, DTR enabled, parity sent but never checked; every other flag,
  // the reserved bits included, cleared.
  dcb->flags = kDcbBinary | flow | uint32_t{kDtrControlEnable} << kDcbDtrShift;
  dcb->xon_lim = kLineXonLim;
  dcb->xoff_lim = kLineXoffLim;
  dcb->xon_char = kLineXonChar;
  dcb->xoff_char = kLineXoffChar;
  dcb->error_char = 0;
  dcb->eof_char = 0;
  dcb->evt_char = kLineEvtChar;
}

void line_dcb_read_back(const LineDcb* dcb, PortSettings* port) {
  port->rs_speed = static_cast<int32_t>(dcb->baud_rate);
  port->rs_dtbit = dcb->byte_size;
  port->rs_pybit = dcb->parity;
  port->rs_spbit = dcb->stop_bits;
  // Only RTS/CTS handshaking counts as hardware flow. RTS merely held on
  // (what the system dialog sets for "none", and what some drivers report
  // for a port left without flow control) must not turn into RTS/CTS, or
  // the next open would stall every send on a line without CTS.
  if (line_rts_control(dcb) == kRtsControlHandshake || (dcb->flags & kDcbOutxCtsFlow))
    port->rs_flow = 2;
  else
    port->rs_flow = (dcb->flags & (kDcbOutX | kDcbInX)) ? 1 : 0;
}

uint32_t line_write_limit_ms(uint32_t baud, int count, uint32_t write_multiplier, uint32_t write_constant) {
  if (count < 0) count = 0;
  if (baud < 50) baud = 50;  // an unset or odd rate: assume a slow line
  uint64_t on_line = static_cast<uint64_t>(count) * 11u * 1000u / baud;
  uint64_t limit = 2 * on_line + kWriteWaitMarginMs;
  uint64_t port = static_cast<uint64_t>(write_multiplier) * static_cast<uint64_t>(count) + write_constant;
  if ((write_multiplier || write_constant) && port + kWriteWaitMarginMs > limit) limit = port + kWriteWaitMarginMs;
  if (limit < kWriteWaitFloorMs) limit = kWriteWaitFloorMs;
  if (limit > 0xFFFFFFFFull) limit = 0xFFFFFFFFull;
  return static_cast<uint32_t>(limit);
}

LineShape line_shape_of(const PortSettings* port) {
  int32_t data = port->rs_dtbit >= 4 && port->rs_dtbit <= 8 ? port->rs_dtbit : 8;
  int32_t parity = port->rs_pybit != 0 ? 1 : 0;  // NOPARITY is 0
  // DCB stop-bit codes: 0 one, 1 one and a half, 2 two.
  int32_t stop_tenths = port->rs_spbit == 1 ? 15 : port->rs_spbit == 2 ? 20 : 10;
  return {port->rs_speed, 10 * (1 + data + parity) + stop_tenths};
}

int64_t line_chars_us(LineShape shape, int64_t chars) {
  if (chars <= 0 || shape.baud <= 0 || shape.tenth_bits <= 0) return 0;
  // At most a chunk's worth of characters comes in; a huge count is capped
  // so that the product cannot leave 64 bits.
  if (chars > INT64_C(1) << 30) chars = INT64_C(1) << 30;
  const int64_t tenth_bit_us = INT64_C(100000);  // 10^6 µs / 10 tenths per bit
  const int64_t num = chars * shape.tenth_bits * tenth_bit_us;
  return (num + shape.baud - 1) / shape.baud;
}

void line_dcb_hold_lines(LineDcb* dcb, int32_t dtr_state, int32_t rts_state) {
  constexpr uint32_t kDtrHandshake = 2, kRtsToggle = 3;
  if (dtr_state && line_dtr_control(dcb) != kDtrHandshake)
    dcb->flags = (dcb->flags & ~kDcbDtrMask) | static_cast<uint32_t>(dtr_state == 1 ? 1 : 0) << kDcbDtrShift;
  const uint32_t rts = line_rts_control(dcb);
  if (rts_state && rts != kRtsControlHandshake && rts != kRtsToggle)
    dcb->flags = (dcb->flags & ~kDcbRtsMask) | static_cast<uint32_t>(rts_state == 1 ? 1 : 0) << kDcbRtsShift;
}
