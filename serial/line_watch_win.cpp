#include "serial/line_watch_win.h"

#include "app/chrome_win.h"
#include "net/link_net_win.h"
#include "net/telnet.h"
#include "serial/line_loss.h"
#include "serial/port_identity_win.h"
#include "serial/port_win.h"

namespace {

Reconnect g_reconnect[2];
PortIdentity g_identity[2];  // the hardware of each channel's port when it was opened; empty: not known

// Present ports looked through at most: more than any bench has.
constexpr int32_t kIdentityPorts = 64;

// Opens channel ch's lost port again; 1 when it is open. A network link,
// or a COM port whose hardware identity is not known, is opened by what
// it was. A port whose identity is known is opened only where that device
// is now: under its own number when the device there is the same one,
// else the one present port with its identity (and not the other
// channel's), which becomes the channel's port. Another device under the
// old number is never opened: the channel stays lost.
int reopen_lost(int ch) {
  if (g_channel[ch].net || port_identity_empty(g_identity[ch])) return channel_reopen(ch) == 0;
  static PortIdentityEntry present[kIdentityPorts];
  const int32_t n = port_identity_list(present, kIdentityPorts);
  int32_t& port = g_app.settings.port[ch].rs_comport;
  if (port_identity_may_open(g_identity[ch], port, present, n)) return channel_reopen(ch) == 0;
  const int32_t number = port_identity_find(g_identity[ch], port, present, n);
  if (number == 0 || number == g_app.settings.port[1 - ch].rs_comport) return 0;
  const int32_t old = port;
  port = number;
  if (channel_reopen(ch) == 0) return 1;
  port = old;
  return 0;
}

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

void channel_lost_try_now(HWND owner, int ch) {
  Reconnect* r = &g_reconnect[ch];
  if (!r->lost) return;
  r->last_try_ms = GetTickCount() - kReconnectEveryMs;  // due at once
  line_watch_tick(owner);
}

void channel_identity_note(int ch) {
  if (g_channel[ch].net) g_identity[ch] = PortIdentity{};
  else port_identity_read(g_app.settings.port[ch].rs_comport, &g_identity[ch]);
}

// A network channel's first connect or listen failed: it is tried again
// as a lost port when reconnect is on, else the user is told why, with
// the address.
void net_open_failure(HWND owner, int ch, uint32_t error) {
  channel_close(ch);
  if (reconnect_on()) {
    channel_event(ch, kEventLost, error);
    reconnect_lost(&g_reconnect[ch], GetTickCount(), error);
    return;
  }
  wchar_t address[kPortAddressUnits] = L"";
  port_address_format(g_app.address[ch], reinterpret_cast<char16_t*>(address), kPortAddressUnits);
  const int reason = net_error_text(error);
  if (reason == kTextNetError)
    show_texts(owner, L"Quorrin", {kTextNetConnectFailed, kTextNetError}, nullptr, ch + 1, address,
               static_cast<int>(error));
  else
    show_texts(owner, L"Quorrin", {kTextNetConnectFailed, reason}, nullptr, ch + 1, address);
}

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
  static int32_t shown_open[2] = {0, 0};
  static int32_t shown_peer[2] = {0, 0};
  int changed = 0, lost = 0;
  for (int ch = 0; ch < 2; ch++) {
    const DWORD error = g_channel[ch].lost_error.load();
    if (error && channel_is_open(ch)) line_watch_lost(owner, ch, error);
    Reconnect* r = &g_reconnect[ch];
    uint32_t failed = 0;
    if (g_channel[ch].net && net_unterminated(ch)) {
      wchar_t address[kPortAddressUnits] = L"";
      port_address_format(g_app.address[ch], reinterpret_cast<char16_t*>(address), kPortAddressUnits);
      show_texts(owner, L"Quorrin", {kTextNetUnterminated, kTextNetUnterminatedData}, nullptr, ch + 1, address, kTelnetSubLimit);
    }
    if (!r->lost && net_open_failed(ch, &failed)) {
      net_open_failure(owner, ch, failed);
      changed = 1;
    }
    // A listener's client came or went: the status bar names it.
    if (g_channel[ch].net && net_peer_changes(ch) != shown_peer[ch]) {
      shown_peer[ch] = net_peer_changes(ch);
      changed = 1;
    }
    // A network link opens when its connect ends, after the command.
    if (g_channel[ch].open.load() != shown_open[ch]) {
      shown_open[ch] = g_channel[ch].open.load();
      changed = 1;
    }
    if (!r->lost) continue;
    lost = 1;
    const DWORD now = GetTickCount();
    // A network link that has connected again is back at once.
    const int link_up = g_channel[ch].net && g_channel[ch].open.load() != 0;
    if (!link_up && !reconnect_due(r, now)) continue;
    reconnect_tried(r, now);
    // The back event names the port it came back on.
    if (reopen_lost(ch)) {
      channel_event(ch, kEventBack, reconnect_outage_ms(r, GetTickCount()));
      reconnect_end(r);
      changed = 1;
    }
  }
  if (changed) show_channels(owner);
  else if (lost) statusbar_refresh_color();  // the seconds lost go on
}
