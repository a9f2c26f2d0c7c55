#include "serial/line_watch_win.h"

#include <atomic>

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

// One reopen of a lost COM port, run by a worker beside the window, since
// an open can block for seconds (a Bluetooth port whose device is away).
// The worker reads only the job: it looks for the device, opens it and
// sets up its line. `state` hands the job over: the worker sets kJobDone
// when it ends, the window's thread kJobDropped when it no longer wants the
// result (the ports were closed); whichever comes second closes the port
// and frees the job. Only the window's thread touches the channel, and
// only once the worker is done.
enum ReopenJobState : int32_t { kJobRunning, kJobDone, kJobDropped };
struct ReopenJob {
  std::atomic<int32_t> state;
  PortIdentity identity;   // empty: the port is opened by its number
  int32_t other_port;      // the other channel's COM number, never taken
  ComReopen com;           // in: the old number; out: the port, and the number it is under
  PortIdentityEntry present[kIdentityPorts];
};
ReopenJob* g_job[2];  // the channel's reopen on its way or done, not yet taken

void job_free(ReopenJob* job) {
  if (job->com.port) CloseHandle(job->com.port);
  delete job;
}

void job_drop(int ch) {
  ReopenJob* job = g_job[ch];
  g_job[ch] = nullptr;
  if (job && job->state.exchange(kJobDropped) == kJobDone) job_free(job);
}

// The worker's look for the device: a COM port whose hardware identity is
// not known is opened by its number. A port whose identity is known is
// opened only where that device is now: under its own number when the
// device there is the same one, else the one present port with its
// identity (and not the other channel's). Another device under the old
// number is never opened: the channel stays lost.
void job_open(ReopenJob* job) {
  ComReopen* com = &job->com;
  if (!port_identity_empty(job->identity)) {
    const int32_t n = port_identity_list(job->present, kIdentityPorts);
    if (!port_identity_may_open(job->identity, com->number, job->present, n)) {
      const int32_t number = port_identity_find(job->identity, com->number, job->present, n);
      if (number == 0 || number == job->other_port) {
        com->error = ERROR_FILE_NOT_FOUND;
        return;
      }
      com->number = number;
    }
  }
  com_reopen_open(com);
}

void job_posted(void*) {
  if (g_main_window) line_watch_tick(g_main_window);
}

DWORD WINAPI job_run(void* arg) {
  ReopenJob* job = static_cast<ReopenJob*>(arg);
  job_open(job);
  if (job->state.exchange(kJobDone) == kJobDropped) {
    job_free(job);
    return 0;
  }
  // The window takes the port at once rather than on its next look.
  ui_thread_post(job_posted, nullptr);
  return 0;
}

// Starts a reopen of lost COM channel ch beside the window.
void job_start(int ch) {
  ReopenJob* job = new ReopenJob{};
  if (com_reopen_prepare(ch, &job->com)) {  // its last receive thread lives on: next time
    delete job;
    return;
  }
  job->identity = g_identity[ch];
  job->other_port = g_app.settings.port[1 - ch].rs_comport;
  HANDLE thread = CreateThread(nullptr, 0, job_run, job, 0, nullptr);
  if (!thread) {
    delete job;
    return;
  }
  CloseHandle(thread);
  g_job[ch] = job;
}

// Channel ch's reopen, when its worker is done: 1 when the channel has its
// port again (under the number it was found at).
int job_take(int ch) {
  ReopenJob* job = g_job[ch];
  if (job->state.load() != kJobDone) return 0;
  g_job[ch] = nullptr;
  int back = 0;
  if (job->com.port) {
    int32_t& port = g_app.settings.port[ch].rs_comport;
    const int32_t old = port;
    port = job->com.number;
    back = com_reopen_take(ch, &job->com) == 0;
    if (!back) port = old;
  }
  job_free(job);
  return back;
}

// One attempt on lost channel ch: 1 when it is back. A network link is
// started again (its thread connects); a COM port's open goes to a worker,
// whose result a later look takes.
int reopen_lost(int ch) {
  if (g_channel[ch].net) return channel_reopen(ch) == 0;
  job_start(ch);
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

void channel_lost_end(int ch) {
  job_drop(ch);
  reconnect_end(&g_reconnect[ch]);
}

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
    // The box's own message loop runs this watch again meanwhile: one box
    // at a time, the next notice waits for it.
    static int telling = 0;
    if (!telling && g_channel[ch].net && net_unterminated(ch)) {
      wchar_t address[kPortAddressUnits] = L"";
      port_address_format(g_app.address[ch], reinterpret_cast<char16_t*>(address), kPortAddressUnits);
      telling = 1;
      show_texts(owner, L"Quorrin", {kTextNetUnterminated, kTextNetUnterminatedData}, nullptr, ch + 1, address, kTelnetSubLimit);
      telling = 0;
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
    int back = 0;
    if (g_job[ch]) {
      back = job_take(ch);
    } else if (link_up || reconnect_due(r, now)) {
      reconnect_tried(r, now);
      back = reopen_lost(ch);
    }
    // The back event names the port it came back on.
    if (back) {
      channel_event(ch, kEventBack, reconnect_outage_ms(r, GetTickCount()));
      reconnect_end(r);
      changed = 1;
    }
  }
  if (changed) show_channels(owner);
  else if (lost) statusbar_refresh_color();  // the seconds lost go on
}
