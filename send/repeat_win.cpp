// Repeat's threads and its dialog.
//
// Threads: one worker per channel sleeps until the next beat of that
// channel's repeats (or until the window's thread wakes it with a start or
// a stop) and sends through send_bytes_unwaited, so the capture records
// each send as always and a write that another sender holds is skipped,
// never waited for. The window's thread only starts, stops and looks:
// every field of g_repeat is under g_repeat.lock, which neither side holds
// across a send. A write that flow control holds keeps that channel's
// worker alone; the beats that come due meanwhile are counted skipped.
#include "send/repeat_win.h"

#include <mmsystem.h>

#include <atomic>
#include <cstring>
#include <mutex>

#include "app/chrome.h"
#include "app/chrome_win.h"
#include "resources/resource.h"
#include "send/preset_list.h"
#include "send/repeat.h"
#include "send/transmit_win.h"
#include "serial/port_win.h"
#include "ui/dialog_look_win.h"

namespace {

struct RepeatSlot {
  int32_t running;
  int32_t channel;     // 1 or 2
  int32_t generation;  // a send ended after a restart is the repeat before's: dropped
  int32_t count;
  uint8_t bytes[kSendMax];
  RepeatSchedule beat;
  // The fields as last given, offered again.
  int32_t row, asked_channel;
  wchar_t every[16], times[16];
};

struct RepeatState {
  std::mutex lock;
  RepeatSlot slot[kRepeatOwners];
  HANDLE wake[2];
  HANDLE thread[2];
};
RepeatState g_repeat;
// A send on its way, per channel: a close waits briefly for it (the
// window's thread never waits longer than kStopWaitMs).
std::atomic<int> g_sending[2];
constexpr DWORD kStopWaitMs = 20;

int64_t now_us() { return capture_now_us(&g_app.capture); }

// One channel's turn: each repeat of it whose beat has come is sent or
// skipped. `line_free` is when this worker's last write on the channel
// ended: each repeat is judged after the write before it, so a beat that
// came due while one was held is skipped, never sent right behind it.
void serve(int channel, int64_t now, int64_t* line_free) {
  for (int who = 0; who < kRepeatOwners; who++) {
    RepeatSlot* r = &g_repeat.slot[who];
    uint8_t bytes[kSendMax];
    int32_t count = 0, generation = 0;
    int due = 0, ended = 0;
    {
      std::lock_guard<std::mutex> hold(g_repeat.lock);
      if (!r->running || r->channel != channel) continue;
      due = repeat_take(&r->beat, now, *line_free);
      // Its last beats may all have come while the line was busy.
      if (!due && repeat_over(&r->beat)) r->running = 0, ended = 1;
      count = r->count;
      generation = r->generation;
      if (due) std::memcpy(bytes, r->bytes, static_cast<size_t>(count));
    }
    if (due) {
      // A closed or lost port takes nothing: the beat is skipped and the
      // repeat goes on when the port is back.
      const int open = channel_is_open(channel - 1);
      g_sending[channel - 1].store(1);
      const int sent = open && send_bytes_unwaited(count, bytes, channel) == kSendOk;
      g_sending[channel - 1].store(0);
      now = now_us();
      if (open) *line_free = now;
      std::lock_guard<std::mutex> hold(g_repeat.lock);
      // A Stop that came while the write was held does not unsay it: what
      // went out is counted. Only a restart's fresh counts drop it.
      if (r->generation == generation) {
        repeat_note(&r->beat, sent);
        if (r->running && repeat_over(&r->beat)) r->running = 0, ended = 1;
      }
    }
    if (ended && g_statusbar) InvalidateRect(g_statusbar, nullptr, FALSE);
  }
}

DWORD WINAPI repeat_thread(void* param) {
  const int channel = static_cast<int>(reinterpret_cast<intptr_t>(param));
  int64_t line_free = 0;
  for (;;) {
    int64_t due = INT64_MAX;
    {
      std::lock_guard<std::mutex> hold(g_repeat.lock);
      for (const RepeatSlot& r : g_repeat.slot)
        if (r.running && r.channel == channel && repeat_due_us(&r.beat) < due) due = repeat_due_us(&r.beat);
    }
    const int64_t now = now_us();
    if (due == INT64_MAX) {
      WaitForSingleObject(g_repeat.wake[channel - 1], INFINITE);
    } else if (now < due) {
      // Woken at the due millisecond or just after: never early.
      const int64_t ms = (due - now + 999) / 1000;
      WaitForSingleObject(g_repeat.wake[channel - 1], static_cast<DWORD>(ms < 60000 ? ms : 60000));
    } else {
      serve(channel, now, &line_free);
    }
  }
}

void wake(int channel) {
  const int ch = channel - 1;
  if (!g_repeat.wake[ch]) g_repeat.wake[ch] = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!g_repeat.thread[ch]) {
    // Millisecond waits for the beat (the default tick is 15.6 ms).
    timeBeginPeriod(1);
    g_repeat.thread[ch] =
        CreateThread(nullptr, 0, repeat_thread, reinterpret_cast<void*>(static_cast<intptr_t>(channel)), 0, nullptr);
    if (g_repeat.thread[ch]) SetThreadPriority(g_repeat.thread[ch], THREAD_PRIORITY_TIME_CRITICAL);
  }
  SetEvent(g_repeat.wake[ch]);
}

void stop(int who) {
  int channel = 0;
  {
    std::lock_guard<std::mutex> hold(g_repeat.lock);
    RepeatSlot* r = &g_repeat.slot[who];
    if (r->running) channel = r->channel;
    r->running = 0;
  }
  if (channel) wake(channel);
  if (g_statusbar) InvalidateRect(g_statusbar, nullptr, FALSE);
}

// Starts `who`'s repeat of `count` bytes; no message (the caller's).
void start(int who, int channel, const uint8_t* bytes, int32_t count, int64_t period_ms, int64_t beats) {
  {
    std::lock_guard<std::mutex> hold(g_repeat.lock);
    RepeatSlot* r = &g_repeat.slot[who];
    r->channel = channel;
    r->count = count;
    std::memcpy(r->bytes, bytes, static_cast<size_t>(count));
    repeat_begin(&r->beat, now_us(), period_ms, beats);
    r->generation++;
    r->running = 1;
  }
  wake(channel);
  if (g_statusbar) InvalidateRect(g_statusbar, nullptr, FALSE);
}

// The counts line of `who` into out; 0 when it has none yet.
int counts_text(int who, wchar_t out[2 * kMessageTextUnits]) {
  int running;
  long long sent, skipped;
  {
    std::lock_guard<std::mutex> hold(g_repeat.lock);
    const RepeatSlot& r = g_repeat.slot[who];
    running = r.running;
    sent = r.beat.sent;
    skipped = r.beat.skipped;
  }
  out[0] = 0;
  if (!running && sent + skipped == 0) return 0;
  format_text(out, 2 * kMessageTextUnits, running ? kTextRepeatRunning : kTextRepeatEnded, sent, skipped);
  return 1;
}

void show_if_changed(HWND dlg, int id, const wchar_t* text) {
  wchar_t now[2 * kMessageTextUnits] = L"";
  GetDlgItemTextW(dlg, id, now, 2 * kMessageTextUnits);
  if (lstrcmpW(now, text) != 0) SetDlgItemTextW(dlg, id, text);
}

// --- the dialog ---

// Each dialog's own (two windows may each have theirs open): its DWLP_USER.
struct RepeatDialog {
  int who;
  RepeatFrameFn frame;
  int row;
};
constexpr UINT_PTR kShowTimer = 1;

void dialog_show(HWND dlg, const RepeatDialog* d) {
  wchar_t line[2 * kMessageTextUnits];
  counts_text(d->who, line);
  show_if_changed(dlg, IDC_RPT_COUNTS, line);
  int running;
  {
    std::lock_guard<std::mutex> hold(g_repeat.lock);
    running = g_repeat.slot[d->who].running;
  }
  for (int id : {IDC_RPT_ROW, IDC_RPT_EVERY, IDC_RPT_COUNT, IDC_RPT_CHANNEL, IDC_RPT_START})
    EnableWindow(GetDlgItem(dlg, id), !running);
  EnableWindow(GetDlgItem(dlg, IDC_RPT_STOP), running);
}

void dialog_init(HWND dlg, const RepeatDialog* d) {
  static const struct { int id, text; } kLabels[] = {
      {IDC_RPT_ROW_LABEL, kTextRepeatRow},     {IDC_RPT_EVERY_LABEL, kTextRepeatEvery},
      {IDC_RPT_COUNT_LABEL, kTextRepeatCount}, {IDC_RPT_CHANNEL_LABEL, kTextRepeatChannel},
      {IDC_RPT_START, kTextRepeatStart},       {IDC_RPT_STOP, kTextRepeatStop},
      {IDC_RPT_CLOSE, kTextClose}};
  for (const auto& l : kLabels) set_dialog_text(dlg, l.id, l.text);
  set_dialog_text(dlg, 0, kTextRepeatTitle);
  const RepeatSlot& r = g_repeat.slot[d->who];
  SetDlgItemTextW(dlg, IDC_RPT_EVERY, r.every[0] ? r.every : L"1000");
  SetDlgItemTextW(dlg, IDC_RPT_COUNT, r.times[0] ? r.times : L"0");
  SetDlgItemInt(dlg, IDC_RPT_ROW, static_cast<UINT>(r.row ? r.row : d->row), FALSE);
  for (int id : {IDC_RPT_EVERY, IDC_RPT_COUNT}) SendDlgItemMessageW(dlg, id, EM_LIMITTEXT, 15, 0);
  SendDlgItemMessageW(dlg, IDC_RPT_ROW, EM_LIMITTEXT, 3, 0);
  // The row is the preset window's alone.
  if (d->who != kRepeatPresetSend)
    for (int id : {IDC_RPT_ROW_LABEL, IDC_RPT_ROW}) ShowWindow(GetDlgItem(dlg, id), SW_HIDE);
  SendDlgItemMessageW(dlg, IDC_RPT_CHANNEL, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"CH1"));
  SendDlgItemMessageW(dlg, IDC_RPT_CHANNEL, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"CH2"));
  SendDlgItemMessageW(dlg, IDC_RPT_CHANNEL, CB_SETCURSEL, r.asked_channel == 2 ? 1 : 0, 0);
  dialog_show(dlg, d);
  SetTimer(dlg, kShowTimer, kRepeatShowMs, nullptr);
  dialog_look_init(dlg);
}

void dialog_start(HWND dlg, const RepeatDialog* d) {
  wchar_t every[16] = L"", times[16] = L"";
  GetDlgItemTextW(dlg, IDC_RPT_EVERY, every, 16);
  GetDlgItemTextW(dlg, IDC_RPT_COUNT, times, 16);
  int64_t period_ms = 0, beats = 0;
  const int bad = repeat_fields_parse(reinterpret_cast<const char16_t*>(every),
                                      reinterpret_cast<const char16_t*>(times), &period_ms, &beats);
  if (bad) {
    show_message(dlg, bad == kRepeatPeriodBad ? kTextRepeatBadPeriod : kTextRepeatBadCount, 0, L"Quorrin");
    SetFocus(GetDlgItem(dlg, bad == kRepeatPeriodBad ? IDC_RPT_EVERY : IDC_RPT_COUNT));
    return;
  }
  int row = 0;
  if (d->who == kRepeatPresetSend) {
    BOOL ok = FALSE;
    row = static_cast<int>(GetDlgItemInt(dlg, IDC_RPT_ROW, &ok, FALSE));
    if (!ok || row < 1 || row > kPresetEntries) {
      show_message(dlg, kTextRepeatBadRow, 0, L"Quorrin");
      return;
    }
  }
  const int channel = SendDlgItemMessageW(dlg, IDC_RPT_CHANNEL, CB_GETCURSEL, 0, 0) == 1 ? 2 : 1;
  if (!channel_is_open(channel - 1)) {
    show_message(dlg, kTextTransferChannelClosed, 0, L"Quorrin");
    return;
  }
  RepeatFrame frame = {};
  const int refused = d->frame(row, &frame);
  if (refused || frame.count <= 0) {
    show_message(dlg, refused ? refused : kTextRepeatEmpty, 0, L"Quorrin");
    return;
  }
  uint8_t bytes[kSendMax];
  int32_t length = 0;
  if (send_frame_bytes(dlg, frame.count, frame.units, frame.framed, bytes, &length) != 0) return;
  if (length <= 0) {
    show_message(dlg, kTextRepeatEmpty, 0, L"Quorrin");
    return;
  }
  RepeatSlot* r = &g_repeat.slot[d->who];
  lstrcpynW(r->every, every, 16);
  lstrcpynW(r->times, times, 16);
  r->row = row;
  r->asked_channel = channel;
  start(d->who, channel, bytes, length, period_ms, beats);
  dialog_show(dlg, d);
}

INT_PTR CALLBACK repeat_dialog_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  INT_PTR result = 0;
  const auto* d = reinterpret_cast<const RepeatDialog*>(GetWindowLongPtrW(dlg, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrW(dlg, DWLP_USER, lp);
      dialog_init(dlg, reinterpret_cast<const RepeatDialog*>(lp));
      return TRUE;
    case WM_TIMER:
      if (d && wp == kShowTimer) dialog_show(dlg, d);
      return TRUE;
    case WM_COMMAND:
      if (!d) return FALSE;
      switch (LOWORD(wp)) {
        case IDC_RPT_START: dialog_start(dlg, d); break;
        case IDC_RPT_STOP:
          stop(d->who);
          dialog_show(dlg, d);
          break;
        case IDC_RPT_CLOSE:
        case IDCANCEL:
          KillTimer(dlg, kShowTimer);
          EndDialog(dlg, 0);
          break;
      }
      return TRUE;
    case WM_CLOSE:
      KillTimer(dlg, kShowTimer);
      EndDialog(dlg, 0);
      return TRUE;
    default:
      if (dialog_look(dlg, msg, wp, lp, &result)) return result;
      return FALSE;
  }
}

}  // namespace

void repeat_dialog_run(HWND owner, int who, RepeatFrameFn frame, int row) {
  if (who < 0 || who >= kRepeatOwners) return;
  RepeatDialog d = {who, frame, row};
  DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_REPEAT), owner, repeat_dialog_proc, reinterpret_cast<LPARAM>(&d));
}

void repeat_counts_show(HWND dlg, int id, int who) {
  wchar_t line[2 * kMessageTextUnits];
  counts_text(who, line);
  show_if_changed(dlg, id, line);
}

void repeat_stop_all() {
  for (int who = 0; who < kRepeatOwners; who++) stop(who);
  // Close Ports comes next: a send still on its way ends first (one write
  // on a free line takes a millisecond or two).
  const ULONGLONG until = GetTickCount64() + kStopWaitMs;
  while ((g_sending[0].load() || g_sending[1].load()) && GetTickCount64() < until) Sleep(1);
}

void repeat_status_text(int part, char16_t text[64]) {
  if (part != kStatusParts - 1) return;
  int n = 0;
  {
    std::lock_guard<std::mutex> hold(g_repeat.lock);
    for (const RepeatSlot& r : g_repeat.slot) n += r.running;
  }
  if (n > 0) format_text(wide(text), 64, kTextRepeatStatus, n);
}
