#include "serial/port_win.h"

#include "serial/dcb_win.h"
#include "view/data_view_win.h"

Channel g_channel[2] = {};
std::atomic<uint32_t> g_line_activity_tick{0};

namespace {

const DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kCloseSliceMs = 20;    // between the cancels of a close
constexpr DWORD kCloseLimitMs = 3000;  // the longest a close waits for the receive thread

void close_port_handle(Channel* c) {
  if (c->port) CloseHandle(c->port);
  c->port = 0;
}

void close_events(Channel* c) {
  for (OVERLAPPED* ov : {&c->read_ov, &c->wait_ov, &c->write_ov}) {
    if (ov->hEvent) CloseHandle(ov->hEvent);
    ov->hEvent = 0;
  }
}

// Reads the port's DCB into the channel state and `line`; 0, or 1 after
// telling the user.
int channel_get_state(HWND owner, Channel* c, LineDcb* line) {
  c->dcb.DCBlength = sizeof(DCB);
  // A network link's DCB is the channel's record alone.
  if (!c->net && !GetCommState(c->port, &c->dcb)) {
    show_error(owner, L"GetCommState", L"DCB Error No.%d", static_cast<int>(GetLastError()));
    return 1;
  }
  line_dcb_from_win(c->dcb, line);
  return 0;
}

// A close that gave up on its receive thread (see channel_close) keeps the
// thread's handle and leaves it its OVERLAPPED events. Until that thread has
// ended, a new open would start a second thread on the same OVERLAPPED
// records and buffer, so the open is refused; once it has ended, what it
// kept is freed here. 1 after telling the user.
int receive_thread_lingers(Channel* c, HWND owner) {
  if (!c->thread) return 0;
  if (WaitForSingleObject(c->thread, 0) == WAIT_TIMEOUT) {
    static const wchar_t* const kCaption[2] = {L"CH1", L"CH2"};
    show_texts(owner, kCaption[c->index], {kTextReceiveThreadAlive}, nullptr);
    return 1;
  }
  CloseHandle(c->thread);
  c->thread = 0;
  close_events(c);
  return 0;
}

enum ChannelStart { kStartOk, kStartNoEvents, kStartNoThread };

// The rest of an open once the port is set up: the OVERLAPPED events, the
// open flag and the receive thread, then (with `purge`) the queues purged.
// On failure the port is closed again and *error says why.
ChannelStart channel_start(Channel* c, DWORD* error, int purge) {
  ZeroMemory(&c->read_ov, sizeof c->read_ov);
  ZeroMemory(&c->wait_ov, sizeof c->wait_ov);
  ZeroMemory(&c->write_ov, sizeof c->write_ov);
  c->read_ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  c->wait_ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  c->write_ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!c->read_ov.hEvent || !c->wait_ov.hEvent || !c->write_ov.hEvent) {
    *error = GetLastError();
    close_events(c);
    close_port_handle(c);
    return kStartNoEvents;
  }
  c->lost_error.store(0);
  c->open.store(1);
  c->thread = CreateThread(nullptr, 0, receive_thread, c, 0, nullptr);
  if (!c->thread) {
    *error = GetLastError();
    c->open.store(0);
    close_events(c);
    close_port_handle(c);
    return kStartNoThread;
  }
  if (purge) PurgeComm(c->port, kPurgeAll);
  return kStartOk;
}

}  // namespace

void channel_note_shape(Channel* c) {
  // The settings the port was just given, as every tool's silence rule
  // reads them (a driver may read an odd speed back as another).
  c->shape.store(line_shape_of(&g_app.settings.port[c->index]));
}

int channel_apply_parameters(HWND owner, int ch) {
  Channel* c = &g_channel[ch];
  LineDcb line;
  if (channel_get_state(owner, c, &line)) return 1;
  line_dcb_apply(&line, &g_app.settings.port[ch]);
  line_dcb_to_win(line, &c->dcb);
  if (!SetCommState(c->port, &c->dcb)) {
    show_error(owner, L"SetCommState", L"DCB Error No.%d", static_cast<int>(GetLastError()));
    return 1;
  }
  channel_note_shape(c);
  if (!channel_get_timeouts(c)) {
    show_error(owner, L"GetCommTimeouts", L"Timeout Error No.%d", static_cast<int>(GetLastError()));
    return 1;
  }
  COMMTIMEOUTS t = c->timeouts;
  line_timeouts_to_win(kLineTimeouts, &t);
  if (!channel_set_timeouts(c, t)) {
    show_error(owner, L"SetCommTimeouts", L"Timeout Error No.%d", static_cast<int>(GetLastError()));
    return 1;
  }
  return 0;
}

namespace {

int com_open(HWND owner, int ch) {
  Channel* c = &g_channel[ch];
  int number = g_app.settings.port[ch].rs_comport;
  if (number < 1 || number > 255) {
    show_error(owner, L"Port_No.", L"No. Error (CH%d)", ch + 1);
    return 1;
  }
  if (receive_thread_lingers(c, owner)) return 1;
  wchar_t name[32];
  _snwprintf(name, 32, L"\\\\.\\COM%d", number);
  HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    show_error(owner, L"CreateFile", L"COM Open Error No.%d (CH%d)", static_cast<int>(GetLastError()), ch + 1);
    return 1;
  }
  c->port = h;
  SetupComm(h, 100, 100);
  if (channel_apply_parameters(owner, ch)) {
    close_port_handle(c);
    return 1;
  }
  c->dtr_state = c->rts_state = 0;
  DWORD err = 0;
  const ChannelStart started = channel_start(c, &err, 1);
  if (started == kStartNoEvents) {
    show_texts(owner, L"CreateEvent", {kTextEventError}, nullptr, static_cast<int>(err), ch + 1);
    return 1;
  }
  if (started == kStartNoThread) {
    show_error(owner, L"CreateThread", L"Thread Error No.%d (CH%d)", static_cast<int>(err), ch + 1);
    return 1;
  }
  return 0;
}

DWORD com_reopen(int ch) {
  ComReopen r;
  const DWORD busy = com_reopen_prepare(ch, &r);
  if (busy) return busy;
  com_reopen_open(&r);
  return r.port ? com_reopen_take(ch, &r) : r.error;
}

void com_close(int ch) {
  Channel* c = &g_channel[ch];
  c->open.store(0);
  if (c->thread) {
    // The thread may be about to start a wait or a read that nothing has
    // cancelled yet: end whatever is pending again until it has gone. It
    // looks at the open flag at least every 100 ms and a read lasts at most
    // about a second, so this ends; past kCloseLimitMs the port is closed
    // under it, which fails whatever it still waits on.
    DWORD began = GetTickCount();
    for (;;) {
      if (c->port) {
        SetCommMask(c->port, 0);
        CancelIoEx(c->port, nullptr);
      }
      if (WaitForSingleObject(c->thread, kCloseSliceMs) != WAIT_TIMEOUT) break;
      if (GetTickCount() - began > kCloseLimitMs) {
        close_port_handle(c);
        if (WaitForSingleObject(c->thread, kCloseSliceMs * 10) == WAIT_TIMEOUT) {
          // Still not gone: leave it its events rather than free them under
          // it, and keep its handle, so that no open starts another thread
          // on this channel's records before it has ended.
          return;
        }
        break;
      }
    }
    CloseHandle(c->thread);
    c->thread = 0;
  }
  if (c->port) PurgeComm(c->port, kPurgeAll);
  close_port_handle(c);
  close_events(c);
}

DWORD com_apply_line(int ch) {
  Channel* c = &g_channel[ch];
  if (!SetCommState(c->port, &c->dcb)) return GetLastError();
  channel_note_shape(c);
  return 0;
}

void com_control(int ch, DWORD function) { EscapeCommFunction(g_channel[ch].port, function); }

int com_line_state(int ch, DWORD* modem, DWORD* errors, COMSTAT* stat) {
  Channel* c = &g_channel[ch];
  *modem = *errors = 0;
  *stat = COMSTAT{};
  const int ok = ClearCommError(c->port, errors, stat) != 0;
  if (!GetCommModemStatus(c->port, modem)) *modem = 0;
  return ok;
}

}  // namespace

DWORD com_reopen_prepare(int ch, ComReopen* r) {
  Channel* c = &g_channel[ch];
  if (c->thread && WaitForSingleObject(c->thread, 0) == WAIT_TIMEOUT) return ERROR_BUSY;
  if (c->thread) {
    CloseHandle(c->thread);
    c->thread = 0;
    close_events(c);
  }
  *r = ComReopen{};
  r->number = g_app.settings.port[ch].rs_comport;
  // The line as it was: the DCB (speed, bits, parity, flow, the DCB
  // dialog's fields), the user's time-outs and DTR and RTS. DTR and RTS as
  // the user left them go in the DCB it applies, so the device never sees
  // the DCB's own line state between the two.
  r->dcb = c->dcb;
  r->timeouts = c->timeouts;
  r->dtr_state = c->dtr_state;
  r->rts_state = c->rts_state;
  LineDcb line;
  line_dcb_from_win(r->dcb, &line);
  line_dcb_hold_lines(&line, c->dtr_state, c->rts_state);
  line_dcb_to_win(line, &r->dcb);
  return 0;
}

void com_reopen_open(ComReopen* r) {
  wchar_t name[32];
  _snwprintf(name, 32, L"\\\\.\\COM%d", r->number);
  HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    r->error = GetLastError();
    return;
  }
  SetupComm(h, 100, 100);
  if (!SetCommState(h, &r->dcb) || !SetCommTimeouts(h, &r->timeouts)) {
    const DWORD err = GetLastError();
    CloseHandle(h);
    r->error = err ? err : ERROR_GEN_FAILURE;
    return;
  }
  if (r->dtr_state) EscapeCommFunction(h, r->dtr_state == 1 ? SETDTR : CLRDTR);
  if (r->rts_state) EscapeCommFunction(h, r->rts_state == 1 ? SETRTS : CLRRTS);
  r->port = h;
}

DWORD com_reopen_take(int ch, ComReopen* r) {
  Channel* c = &g_channel[ch];
  c->index = ch;
  c->net = 0;
  c->port = r->port;
  r->port = 0;
  channel_note_shape(c);
  DWORD err = 0;
  // No purge: whatever the device sent since it came back belongs in the capture.
  if (channel_start(c, &err, 0) != kStartOk) return err ? err : ERROR_GEN_FAILURE;
  return 0;
}

const LinkOps kComLink = {com_open, com_reopen, com_close, com_port_write, com_apply_line, com_control, com_line_state};

const LinkOps* channel_link(int ch) {
  const Channel* c = &g_channel[ch];
  if (c->open.load() != 0 || c->thread) return c->net ? &kNetLink : &kComLink;
  return channel_is_net(ch) ? &kNetLink : &kComLink;
}

int channel_open(HWND owner, int ch) {
  Channel* c = &g_channel[ch];
  c->index = ch;
  // A receive thread that outlived its close keeps the kind it ran with.
  if (!c->thread) c->net = channel_is_net(ch);
  return channel_link(ch)->open(owner, ch);
}

DWORD channel_reopen(int ch) {
  Channel* c = &g_channel[ch];
  c->index = ch;
  if (!c->thread) c->net = channel_is_net(ch);
  return channel_link(ch)->reopen(ch);
}

void channel_close(int ch) {
  // A received chunk held behind a write whose end only a later tick would
  // tell must not hold the receive thread this close waits for.
  capture_send_release(&g_app.capture, ch + 1);
  channel_link(ch)->close(ch);
}

void channel_event(int ch, uint8_t kind, uint32_t detail) {
  // A network link has no COM number: the event names none.
  const int32_t port = channel_is_net(ch) ? 0 : g_app.settings.port[ch].rs_comport;
  capture_add_event(&g_app.capture, kind, static_cast<uint8_t>(ch + 1), static_cast<uint16_t>(port), detail);
  // Its marker at the end of the data, even when no record follows yet.
  if (g_main_window) view_incremental_paint(g_main_window);
}

int dcb_line_differs(const DCB& a, const DCB& b) {
  return a.BaudRate != b.BaudRate || a.ByteSize != b.ByteSize || a.Parity != b.Parity || a.StopBits != b.StopBits ||
         a.fOutxCtsFlow != b.fOutxCtsFlow || a.fOutX != b.fOutX || a.fInX != b.fInX || a.fRtsControl != b.fRtsControl;
}

// A network link has no time-outs of its own: the records keep what the
// user set, for the DCB dialog and a COM port opened later.
BOOL channel_get_timeouts(Channel* c) {
  std::lock_guard<std::mutex> hold(c->timeouts_lock);
  if (c->net) return TRUE;
  return GetCommTimeouts(c->port, &c->timeouts);
}

BOOL channel_set_timeouts(Channel* c, const COMMTIMEOUTS& t) {
  std::lock_guard<std::mutex> hold(c->timeouts_lock);
  if (!c->net && !SetCommTimeouts(c->port, const_cast<COMMTIMEOUTS*>(&t))) return FALSE;
  c->timeouts = t;
  return TRUE;
}

int channel_read_back(HWND owner, int ch) {
  LineDcb line;
  if (channel_get_state(owner, &g_channel[ch], &line)) return 1;
  line_dcb_read_back(&line, &g_app.settings.port[ch]);
  return 0;
}

void channel_config_dialog(HWND owner, int ch) {
  Channel* c = &g_channel[ch];
  // The system's dialog is for COM ports: a network link's line settings
  // are the DCB dialog's.
  if (c->net) {
    dcb_dialog_run(owner, ch);
    return;
  }
  DWORD size = sizeof(COMMCONFIG);
  c->config.dwSize = sizeof(COMMCONFIG);
  GetCommConfig(c->port, &c->config, &size);
  c->config.dcb = c->dcb;
  wchar_t name[16];
  _snwprintf(name, 16, L"COM%d", g_app.settings.port[ch].rs_comport);
  wchar_t text[kMessageTextUnits];
  if (!CommConfigDialogW(name, owner, &c->config)) {
    DWORD err = GetLastError();
    if (err != ERROR_CANCELLED) {
      get_text(kTextPortDialogFailed, text);
      show_error(owner, L"CommConfigDialog", L"%ls%d:cc.size=%d", text, static_cast<int>(err), static_cast<int>(size));
      return;
    }
  }
  if (SetCommState(c->port, &c->config.dcb)) {
    const DCB before = c->dcb;
    c->dcb = c->config.dcb;
    channel_read_back(owner, ch);
    channel_note_shape(c);
    if (dcb_line_differs(before, c->dcb)) channel_event(ch, kEventSettings, c->dcb.BaudRate);
  } else {
    DWORD err = GetLastError();
    get_text(kTextPortSettingsNotApplied, text);
    show_error(owner, L"SetCommState", L"%ls%d:cc.size=%d", text, static_cast<int>(err), static_cast<int>(size));
  }
}
