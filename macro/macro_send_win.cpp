// The macro interpreter's platform services: the clock, the blocking wait
// of TIME and the read commands, and the macro send's port write. The write
// is the transmit path's (one overlapped WriteFile on the channel's port,
// waited for until it completes); the core records what went out in the
// capture buffer, in line monitor mode too. All on the user-interface
// thread.
#include "macro/macro_win.h"

#include <cstring>

#include "serial/port_win.h"

MacroState g_macro;

namespace {

uint32_t macro_now(void*) { return GetTickCount(); }

void macro_wait(void*, uint32_t ms) { Sleep(ms); }

// 0 when every byte went out. A write that fails at once reads and clears
// the port's error state into the channel's line errors, as the transmit
// path does; a closed channel has no handle and fails here.
int macro_port_write(void*, int channel, const uint8_t* bytes, int count) {
  if (channel != 1 && channel != 2) return 1;
  if (count < 0 || count > kMacroSendMax) return 1;
  uint8_t buffer[kMacroSendMax] = {};
  if (count > 0) std::memcpy(buffer, bytes, static_cast<size_t>(count));
  Channel* c = &g_channel[channel - 1];
  DWORD written = 0;
  if (c->write_ov.hEvent) ResetEvent(c->write_ov.hEvent);
  if (!WriteFile(c->port, buffer, static_cast<DWORD>(count), &written, &c->write_ov)) {
    if (GetLastError() != ERROR_IO_PENDING) {
      DWORD errors = 0;
      COMSTAT stat = {};
      if (c->port) ClearCommError(c->port, &errors, &stat);
      c->comstat = stat;
      c->last_errors.store(errors);
      c->accumulated_errors.fetch_or(errors);
      return 1;
    }
    // The write timeouts of the port bound this wait.
    if (!GetOverlappedResult(c->port, &c->write_ov, &written, TRUE)) return 1;
  } else if (!GetOverlappedResult(c->port, &c->write_ov, &written, FALSE)) {
    written = static_cast<DWORD>(count);
  }
  return written == static_cast<DWORD>(count) ? 0 : 2;
}

void macro_show_step(void* ctx, int32_t position, int32_t length, const char16_t* line, int) {
  HWND dlg = static_cast<HWND>(ctx);
  wchar_t step[48];
  _snwprintf(step, 48, L"Step:%03d/%03d", static_cast<int>(position), static_cast<int>(length));
  step[47] = 0;
  SetDlgItemTextW(dlg, 402, step);
  SetDlgItemTextW(dlg, 403, wide(line));
}

}  // namespace

MacroHost macro_host_win(HWND dlg) {
  return {dlg, &g_app.capture, &ansi_codec_win, macro_now, macro_wait, macro_port_write, macro_show_step};
}
