#include "serial/line_params.h"

void line_dcb_apply(LineDcb* dcb, const PortSettings* port) {
  dcb->baud_rate = static_cast<uint32_t>(port->rs_speed);
  dcb->byte_size = static_cast<uint8_t>(port->rs_dtbit);
  dcb->parity = static_cast<uint8_t>(port->rs_pybit);
  dcb->stop_bits = static_cast<uint8_t>(port->rs_spbit);
  dcb->f_binary = 1;
  dcb->f_parity = 0;  // parity is sent but never checked
  switch (port->rs_flow) {
    case 0:
      dcb->f_outx_cts_flow = 0, dcb->f_outx = 0, dcb->f_inx = 0;
      dcb->f_rts_control = kRtsControlDisable;
      break;
    case 1:
      dcb->f_outx_cts_flow = 0, dcb->f_outx = 1, dcb->f_inx = 1;
      dcb->f_rts_control = kRtsControlDisable;
      break;
    case 2:
      dcb->f_outx_cts_flow = 1, dcb->f_outx = 0, dcb->f_inx = 0;
      dcb->f_rts_control = kRtsControlHandshake;
      break;
    default: break;  // an unknown flow keeps what the port reported
  }
  dcb->f_outx_dsr_flow = 0;
  dcb->f_dsr_sensitivity = 0;
  dcb->f_tx_continue_on_xoff = 0;
  dcb->f_error_char = 0;
  dcb->f_null = 0;
  dcb->f_abort_on_error = 0;
  dcb->f_dtr_control = kDtrControlEnable;
  dcb->xon_lim = 2048;
  dcb->xoff_lim = 512;
  dcb->xon_char = 0x11;
  dcb->xoff_char = 0x13;
  dcb->error_char = 0;
  dcb->eof_char = 0;
  dcb->evt_char = 0x0D;
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
  if (dcb->f_rts_control == kRtsControlHandshake || dcb->f_outx_cts_flow)
    port->rs_flow = 2;
  else
    port->rs_flow = (dcb->f_outx == 0 && dcb->f_inx == 0) ? 0 : 1;
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
