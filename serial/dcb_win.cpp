#include "serial/dcb_win.h"

void line_dcb_from_win(const DCB& d, LineDcb* l) {
  l->baud_rate = d.BaudRate;
  l->flags = static_cast<uint32_t>(d.fBinary) * kDcbBinary | static_cast<uint32_t>(d.fParity) * kDcbParity |
             static_cast<uint32_t>(d.fOutxCtsFlow) * kDcbOutxCtsFlow |
             static_cast<uint32_t>(d.fOutxDsrFlow) * kDcbOutxDsrFlow |
             static_cast<uint32_t>(d.fDtrControl) << kDcbDtrShift |
             static_cast<uint32_t>(d.fDsrSensitivity) * kDcbDsrSensitivity |
             static_cast<uint32_t>(d.fTXContinueOnXoff) * kDcbTxContinueOnXoff |
             static_cast<uint32_t>(d.fOutX) * kDcbOutX | static_cast<uint32_t>(d.fInX) * kDcbInX |
             static_cast<uint32_t>(d.fErrorChar) * kDcbErrorChar | static_cast<uint32_t>(d.fNull) * kDcbNull |
             static_cast<uint32_t>(d.fRtsControl) << kDcbRtsShift |
             static_cast<uint32_t>(d.fAbortOnError) * kDcbAbortOnError |
             static_cast<uint32_t>(d.fDummy2) << kDcbReservedShift;
  l->xon_lim = d.XonLim;
  l->xoff_lim = d.XoffLim;
  l->byte_size = d.ByteSize;
  l->parity = d.Parity;
  l->stop_bits = d.StopBits;
  l->xon_char = static_cast<uint8_t>(d.XonChar);
  l->xoff_char = static_cast<uint8_t>(d.XoffChar);
  l->error_char = static_cast<uint8_t>(d.ErrorChar);
  l->eof_char = static_cast<uint8_t>(d.EofChar);
  l->evt_char = static_cast<uint8_t>(d.EvtChar);
}

void line_dcb_to_win(const LineDcb& l, DCB* d) {
  uint32_t f = l.flags;
  d->BaudRate = l.baud_rate;
  d->fBinary = (f & kDcbBinary) != 0;
  d->fParity = (f & kDcbParity) != 0;
  d->fOutxCtsFlow = (f & kDcbOutxCtsFlow) != 0;
  d->fOutxDsrFlow = (f & kDcbOutxDsrFlow) != 0;
  d->fDtrControl = line_dtr_control(&l);
  d->fDsrSensitivity = (f & kDcbDsrSensitivity) != 0;
  d->fTXContinueOnXoff = (f & kDcbTxContinueOnXoff) != 0;
  d->fOutX = (f & kDcbOutX) != 0;
  d->fInX = (f & kDcbInX) != 0;
  d->fErrorChar = (f & kDcbErrorChar) != 0;
  d->fNull = (f & kDcbNull) != 0;
  d->fRtsControl = line_rts_control(&l);
  d->fAbortOnError = (f & kDcbAbortOnError) != 0;
  d->fDummy2 = f >> kDcbReservedShift;
  d->XonLim = l.xon_lim;
  d->XoffLim = l.xoff_lim;
  d->ByteSize = l.byte_size;
  d->Parity = l.parity;
  d->StopBits = l.stop_bits;
  d->XonChar = static_cast<char>(l.xon_char);
  d->XoffChar = static_cast<char>(l.xoff_char);
  d->ErrorChar = static_cast<char>(l.error_char);
  d->EofChar = static_cast<char>(l.eof_char);
  d->EvtChar = static_cast<char>(l.evt_char);
}

void line_timeouts_from_win(const COMMTIMEOUTS& c, LineTimeouts* t) {
  t->read_interval = c.ReadIntervalTimeout;
  t->read_total_multiplier = c.ReadTotalTimeoutMultiplier;
  t->read_total_constant = c.ReadTotalTimeoutConstant;
  t->write_total_multiplier = c.WriteTotalTimeoutMultiplier;
  t->write_total_constant = c.WriteTotalTimeoutConstant;
}

void line_timeouts_to_win(const LineTimeouts& t, COMMTIMEOUTS* c) {
  c->ReadIntervalTimeout = t.read_interval;
  c->ReadTotalTimeoutMultiplier = t.read_total_multiplier;
  c->ReadTotalTimeoutConstant = t.read_total_constant;
  c->WriteTotalTimeoutMultiplier = t.write_total_multiplier;
  c->WriteTotalTimeoutConstant = t.write_total_constant;
}
