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

}  // namespace

MacroHost macro_host_win(HWND dlg) {
  return {dlg, &g_app.capture, &ansi_codec_win, macro_now, macro_port_write, macro_show_step, macro_line_us};
}
