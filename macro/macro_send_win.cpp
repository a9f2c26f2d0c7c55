// The macro interpreter's platform services: the clock and the macro
// send's port write. The write
// is the transmit path's (one overlapped WriteFile on the channel's port,
// waited for until it completes); the core records what went out in the
// capture buffer, in line monitor mode too. All on the user-interface
// thread.
#include "macro/macro_win.h"

#include "resources/resource.h"
#include "send/transmit_win.h"
#include "serial/port_win.h"
#include "transfer/transfer.h"
#include "transfer/transfer_win.h"

MacroState g_macro;

namespace {

uint32_t macro_now(void*) { return GetTickCount(); }

// 0 when every byte went out; a closed channel has no handle and fails.
int macro_port_write(void*, int channel, const uint8_t* bytes, int count) {
  return port_write(channel, bytes, count);
}

int64_t macro_line_us(void*, int channel, int count) { return port_line_us(channel, count); }

void macro_show_step(void* ctx, int32_t position, int32_t length, const char16_t* line, int) {
  HWND dlg = static_cast<HWND>(ctx);
  wchar_t step[48];
  _snwprintf(step, 48, L"Step:%03d/%03d", static_cast<int>(position), static_cast<int>(length));
  step[47] = 0;
  SetDlgItemTextW(dlg, IDC_MACRO_STEP, step);
  SetDlgItemTextW(dlg, IDC_MACRO_STATUS, wide(line));
}

// The path's bytes are in the code page the literal was written in.
int macro_transfer_start(void*, int channel, int sending, int protocol, const uint8_t* path, int count) {
  wchar_t wide_path[MAX_PATH * 2];
  const int n = MultiByteToWideChar(CP_THREAD_ACP, 0, reinterpret_cast<const char*>(path), count, wide_path,
                                    MAX_PATH * 2 - 1);
  if (n <= 0) return 1;
  wide_path[n] = 0;
  return transfer_start(channel, sending, protocol, wide_path);
}

int macro_transfer_poll(void*) {
  const int state = transfer_poll();
  return state == kTransferRunning ? 0 : state == kTransferDone ? 1 : 2;
}

}  // namespace

MacroHost macro_host_win(HWND dlg) {
  return {dlg,           &g_app.capture,  &ansi_codec_win,       macro_now,          macro_port_write,
          macro_show_step, macro_line_us, macro_transfer_start, macro_transfer_poll};
}
