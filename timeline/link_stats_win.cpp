// The link statistics window (dialog 127): modeless, one at a time. Its
// timer takes the timeline's statistics of the whole capture every 500 ms
// and shows the figures tools/link_stats.cpp makes of them in statics,
// with the silences and the latencies drawn as small bar charts, and the
// lines' outages that the capture's events tell. "Copy"
// puts the same figures on the clipboard as text.
//
// The capture is read on this, the user-interface thread, below the write
// position and without the lock, as every reader here does (app/capture.h).
// Each tick computes afresh whether the ports are open or not, so a clear,
// a loaded log or a change of line monitor mode shows within one period;
// over a full buffer that costs about a millisecond.
#include "app/app_win.h"

#include "app/chrome_win.h"
#include "resources/resource.h"
#include "timeline/link_stats.h"
#include "ui/dialog_look_win.h"
#include "record/record_view_win.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshPeriodMs = 500;
constexpr int kCopyUnits = 4096;  // the copy text, about 1,000 units in any language

// Where the charts are drawn, in dialog units (resources/link_stats.rc
// leaves these places free): one silence bar right of each class's count,
// the latency bins right of the latency figures with their range below.
constexpr RECT kSilenceBars = {140, 76, 318, 126};  // five rows of 10
constexpr int kRowPitch = 10;
constexpr RECT kLatencyChart = {150, 156, 318, 196};
constexpr RECT kLatencyRange = {150, 198, 318, 207};

struct LinkStatsWindow {
  HWND window;
  TimelineStats stats;  // 33 kB: kept here, off the stack
  LinkStatsBins bins;
  int32_t line_monitor;
};
LinkStatsWindow g_stats = {};

RECT dialog_rect(HWND dlg, RECT r) {
  MapDialogRect(dlg, &r);
  return r;
}

// Sets a control's text only when it differs, so a tick that changes
// nothing repaints nothing.
void show_text(HWND dlg, int id, const wchar_t* text) {
  wchar_t now[kLinkStatsFigureUnits * 2] = L"";
  GetDlgItemTextW(dlg, id, now, kLinkStatsFigureUnits * 2);
  if (lstrcmpW(now, text) != 0) SetDlgItemTextW(dlg, id, text);
}

void show_figure(HWND dlg, int id, const char16_t* figure) { show_text(dlg, id, wide(figure)); }

// The latency line's words depend on line monitor mode.
int latency_mode_text(int line_monitor) { return line_monitor ? kTextStatsLatencyMonitor : kTextStatsLatencyPaired; }

void precision_line(char16_t out[2 * kMessageTextUnits]) {
  wchar_t format[kMessageTextUnits] = L"";
  get_text(kTextStatsPrecision, format);
  link_stats_precision_text(reinterpret_cast<const char16_t*>(format), kTimelineRxLateAfterQuietMs, out,
                            2 * kMessageTextUnits);
}

void show_stats(HWND dlg) {
  const TimelineStats& s = g_stats.stats;
  char16_t figure[kLinkStatsFigureUnits];
  for (int k = 0; k < kLinkStatsStreams; k++) {
    link_stats_count_text(s.streams[k].chunks, figure);
    show_figure(dlg, IDC_LST_CHUNKS + k, figure);
    link_stats_count_text(s.streams[k].bytes, figure);
    show_figure(dlg, IDC_LST_BYTES + k, figure);
    link_stats_rate_text(s.streams[k].rate, figure);
    show_figure(dlg, IDC_LST_RATE + k, figure);
  }
  for (int k = 0; k < kSilenceClasses; k++) {
    link_stats_count_text(s.silences[k], figure);
    show_figure(dlg, IDC_LST_SILENCE_COUNT + k, figure);
  }
  for (int k = 0; k < kLinkStatsLatencyFigures; k++) {
    link_stats_latency_text(&s, k, figure);
    show_figure(dlg, IDC_LST_FIGURE_VALUE + k, figure);
  }
  link_stats_count_text(s.outages, figure);
  show_figure(dlg, IDC_LST_OUTAGES_VALUE, figure);
  link_stats_seconds_text(s.outage_ms, figure);
  show_figure(dlg, IDC_LST_OUTAGE_TIME_VALUE, figure);
  wchar_t mode[kMessageTextUnits] = L"";
  get_text(latency_mode_text(g_stats.line_monitor), mode);
  show_text(dlg, IDC_LST_LATENCY_MODE, mode);
}

int same_charts(const TimelineStats& a, const LinkStatsBins& a_bins, const TimelineStats& b,
                const LinkStatsBins& b_bins) {
  for (int k = 0; k < kSilenceClasses; k++)
    if (a.silences[k] != b.silences[k]) return 0;
  if (a_bins.used != b_bins.used || a_bins.from_us != b_bins.from_us || a_bins.to_us != b_bins.to_us) return 0;
  for (int k = 0; k < kLinkStatsLatencyBins; k++)
    if (a_bins.count[k] != b_bins.count[k]) return 0;
  return 1;
}

void refresh(HWND dlg) {
  static TimelineStats before;  // the last figures shown, to repaint the charts only when they change
  before = g_stats.stats;
  const LinkStatsBins bins_before = g_stats.bins;
  // Figures from one whole copy: a wrap in the middle of the walk would
  // give records another chunk's time. The copy is kept for the next refresh.
  static CaptureSnapshot snap;
  if (capture_snapshot_allocate(&snap) == 0) capture_snapshot_take(view_capture(), &snap);
  g_stats.line_monitor = channel_flags_now().lm_mode != 0;
  LineShape shape[2];
  line_shapes_of(g_app.settings.port, shape);
  timeline_stats(snap.records, snap.times, snap.count, g_stats.line_monitor, shape, &g_stats.stats, snap.events,
                 snap.event_count, snap.base);
  link_stats_latency_bins(&g_stats.stats, &g_stats.bins);
  show_stats(dlg);
  recording_tool_title(dlg, kTextLinkStatsTitle);
  if (!same_charts(before, bins_before, g_stats.stats, g_stats.bins)) {
    RECT bars = dialog_rect(dlg, kSilenceBars);
    InvalidateRect(dlg, &bars, TRUE);
    RECT chart = dialog_rect(dlg, {kLatencyChart.left, kLatencyChart.top, kLatencyRange.right, kLatencyRange.bottom});
    InvalidateRect(dlg, &chart, TRUE);
  }
}

void paint_silences(HWND dlg, HDC dc) {
  const TimelineStats& s = g_stats.stats;
  int64_t most = 0;
  for (int64_t n : s.silences) most = n > most ? n : most;
  HBRUSH brush = CreateSolidBrush(slot_color(kSlotGapText));
  for (int k = 0; k < kSilenceClasses; k++) {
    // A bar 7 units high in each row, a unit below its top like the text.
    const int top = kSilenceBars.top + kRowPitch * k + 1;
    RECT row = dialog_rect(dlg, {kSilenceBars.left, top, kSilenceBars.right, top + 7});
    row.right = row.left + link_stats_bar(s.silences[k], most, row.right - row.left);
    if (row.right > row.left) FillRect(dc, &row, brush);
  }
  DeleteObject(brush);
}

void paint_latencies(HWND dlg, HDC dc) {
  const LinkStatsBins& b = g_stats.bins;
  RECT area = dialog_rect(dlg, kLatencyChart);
  // The axis under the bars, drawn even when there is nothing to show.
  HBRUSH axis = CreateSolidBrush(slot_color(kSlotText));
  RECT line = {area.left, area.bottom - 1, area.right, area.bottom};
  FillRect(dc, &line, axis);
  DeleteObject(axis);
  if (!b.used) return;
  int64_t most = 0;
  for (int64_t n : b.count) most = n > most ? n : most;
  HBRUSH brush = CreateSolidBrush(slot_color(kSlotCh2Text));
  const int slot = (area.right - area.left) / kLinkStatsLatencyBins;
  for (int k = 0; k < kLinkStatsLatencyBins; k++) {
    const int height = link_stats_bar(b.count[k], most, area.bottom - 1 - area.top);
    RECT bar = {area.left + slot * k + 1, area.bottom - 1 - height, area.left + slot * (k + 1) - 1, area.bottom - 1};
    if (height > 0) FillRect(dc, &bar, brush);
  }
  DeleteObject(brush);
  // The range the bins cover, in ms: the smallest latency at the left end,
  // the largest at the right.
  char16_t from[kLinkStatsFigureUnits], to[kLinkStatsFigureUnits];
  link_stats_ms_text(b.from_us, from);
  link_stats_ms_text(b.to_us, to);
  RECT range = dialog_rect(dlg, kLatencyRange);
  HGDIOBJ old_font = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dlg, WM_GETFONT, 0, 0)));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, slot_color(kSlotText));
  DrawTextW(dc, wide(from), -1, &range, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
  DrawTextW(dc, wide(to), -1, &range, DT_RIGHT | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, old_font);
}

void paint(HWND dlg) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(dlg, &ps);
  paint_silences(dlg, dc);
  paint_latencies(dlg, dc);
  EndPaint(dlg, &ps);
}

// The figures as text, on the clipboard as CF_UNICODETEXT.
void copy_figures(HWND dlg) {
  static wchar_t words[kMessageTextUnits * 32];  // one slot per label, filled from the message table
  int used = 0;
  auto word = [&](int n) {
    wchar_t* slot = words + kMessageTextUnits * used++;
    slot[0] = 0;
    get_text(n, slot);
    return reinterpret_cast<const char16_t*>(slot);
  };
  LinkStatsLabels labels;
  labels.title = word(kTextLinkStatsTitle);
  labels.chunks = word(kTextStatsChunks);
  labels.bytes = word(kTextStatsBytes);
  labels.rate = word(kTextStatsRate);
  for (int k = 0; k < kLinkStatsStreams; k++) labels.streams[k] = word(kTextStatsStreamFirst + k);
  labels.silences = word(kTextStatsSilences);
  for (int k = 0; k < kSilenceClasses; k++) labels.silence[k] = word(kTextStatsSilenceFirst + k);
  labels.latency = word(kTextStatsLatency);
  labels.latency_mode = word(latency_mode_text(g_stats.line_monitor));
  for (int k = 0; k < kLinkStatsLatencyFigures; k++) labels.latency_figure[k] = word(kTextStatsLatencyFigureFirst + k);
  labels.outages = word(kTextStatsOutages);
  labels.outage_time = word(kTextStatsOutageTime);
  char16_t precision[2 * kMessageTextUnits];
  precision_line(precision);
  labels.precision = precision;

  static char16_t text[kCopyUnits];
  const int n = link_stats_text(&g_stats.stats, &labels, text, kCopyUnits);
  if (n <= 0) return;  // the words of a damaged message file too long for the buffer: nothing to copy
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(n + 1) * sizeof(wchar_t));
  if (!block) return;
  wchar_t* p = static_cast<wchar_t*>(GlobalLock(block));
  if (!p) {
    GlobalFree(block);
    return;
  }
  for (int i = 0; i <= n; i++) p[i] = static_cast<wchar_t>(text[i]);
  GlobalUnlock(block);
  if (!OpenClipboard(dlg)) {
    GlobalFree(block);
    return;
  }
  EmptyClipboard();
  if (!SetClipboardData(CF_UNICODETEXT, block)) GlobalFree(block);  // the clipboard owns it only on success
  CloseClipboard();
}

// Closing destroys the window; so does the main window's end, which takes
// its owned windows with it.
void on_destroy(HWND dlg) {
  KillTimer(dlg, kRefreshTimer);
  g_stats.window = nullptr;
}

void on_init(HWND dlg) {
  static const struct { int id, text; } kLabels[] = {
      {0, kTextLinkStatsTitle},           {IDC_LST_HEAD_CHUNKS, kTextStatsChunks},
      {IDC_LST_HEAD_BYTES, kTextStatsBytes}, {IDC_LST_HEAD_RATE, kTextStatsRate},
      {IDC_LST_SILENCES, kTextStatsSilences}, {IDC_LST_LATENCY, kTextStatsLatency},
      {IDC_LST_COPY, kTextStatsCopy},     {IDC_LST_CLOSE, kTextClose},
      {IDC_LST_OUTAGES, kTextStatsOutages}, {IDC_LST_OUTAGE_TIME, kTextStatsOutageTime}};
  for (const auto& l : kLabels) set_dialog_text(dlg, l.id, l.text);
  for (int k = 0; k < kLinkStatsStreams; k++) set_dialog_text(dlg, IDC_LST_STREAM + k, kTextStatsStreamFirst + k);
  for (int k = 0; k < kSilenceClasses; k++) set_dialog_text(dlg, IDC_LST_SILENCE + k, kTextStatsSilenceFirst + k);
  for (int k = 0; k < kLinkStatsLatencyFigures; k++)
    set_dialog_text(dlg, IDC_LST_FIGURE + k, kTextStatsLatencyFigureFirst + k);
  char16_t precision[2 * kMessageTextUnits];
  precision_line(precision);
  SetDlgItemTextW(dlg, IDC_LST_PRECISION, wide(precision));
  g_stats.window = dlg;
  refresh(dlg);
  SetTimer(dlg, kRefreshTimer, kRefreshPeriodMs, nullptr);
  dialog_look_init(dlg);
}

INT_PTR CALLBACK link_stats_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  INT_PTR result = 0;
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return TRUE;
    case WM_TIMER:
      if (wp == kRefreshTimer) refresh(dlg);
      return TRUE;
    case WM_PAINT: paint(dlg); return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDC_LST_COPY) copy_figures(dlg);
      else if (LOWORD(wp) == IDC_LST_CLOSE) DestroyWindow(dlg);
      return TRUE;
    case WM_CLOSE: DestroyWindow(dlg); return TRUE;
    case WM_DESTROY: on_destroy(dlg); return TRUE;
    default:
      if (dialog_look(dlg, msg, wp, lp, &result)) return result;
      return FALSE;
  }
}

}  // namespace

void link_stats_window_open(HWND owner) {
  tool_window_open(g_stats.window, owner, IDD_LINK_STATS, link_stats_proc);
}
