#include "serial/line_watch_win.h"

#include "app/chrome_win.h"
#include "serial/line_loss.h"
#include "serial/port_win.h"

namespace {

Reconnect g_reconnect[2];

void show_channels(HWND owner) {
  InvalidateRect(owner, nullptr, TRUE);
  chrome_tool_refresh();
  statusbar_refresh_color();
}

}  // namespace

int channel_lost(int ch) { return g_reconnect[ch].lost; }

int channel_lost_seconds(int ch) {
  return static_cast<int>(reconnect_outage_ms(&g_reconnect[ch], GetTickCount()) / 1000);
}

void channel_lost_end(int ch) { reconnect_end(&g_reconnect[ch]); }

void line_watch_lost(HWND owner, int ch, DWORD error) {
  if (!channel_is_open(ch)) return;
  channel_close(ch);
  channel_event(ch, kEventLost, error);
  if (reconnect_on()) {
    // No box: the status bar shows the channel lost and for how long, and
    // the port is tried again every second.
    reconnect_lost(&g_reconnect[ch], GetTickCount(), error);
  } else {
    static const wchar_t* const kCaption[2] = {L"CH1 Comport", L"CH2 Comport"};
    MessageBoxW(owner, L"Unable to connect", kCaption[ch], MB_OK);
  }
  show_channels(owner);
}

void line_watch_tick(HWND owner) {
  int changed = 0, lost = 0;
  for (int ch = 0; ch < 2; ch++) {
    const DWORD error = g_channel[ch].lost_error.load();
    if (error && channel_is_open(ch)) line_watch_lost(owner, ch, error);
    Reconnect* r = &g_reconnect[ch];
    if (!r->lost) continue;
    lost = 1;
    const DWORD now = GetTickCount();
    if (!reconnect_due(r, now)) continue;
    reconnect_tried(r, now);
    if (channel_reopen(ch) == 0) {
      channel_event(ch, kEventBack, reconnect_outage_ms(r, GetTickCount()));
      reconnect_end(r);
      changed = 1;
    }
  }
  if (changed) show_channels(owner);
  else if (lost) statusbar_refresh_color();  // the seconds lost go on
}
