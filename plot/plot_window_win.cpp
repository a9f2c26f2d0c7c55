// The Plot window (dialog 135, command 188): modeless, one at a time, on
// the user-interface thread. Its reader (a worker thread below normal
// priority) reads the series beside it (plot/plot_build.h) into a PlotSet
// under `lock`, a batch at a time: the live capture or a loaded log a
// stretch at a time as it grows (capture_snapshot_since), or the whole
// recording shown, window after window, with its progress. The window
// paints only the min/max envelope of the span shown per pixel column, so
// a paint costs the same whatever the number of points; the lock is held
// for a batch's adds or for a paint, never for a read.
//
// A tick (250 ms) lists new series, says the status, follows the newest
// data and restarts the reader when the source changed (a recording opened
// or closed, the capture cleared or a log loaded, a register series read
// otherwise). Mouse: the wheel zooms about the pointer, a left drag pans, a
// right drag zooms to its box, a click sets the cursor (every shown
// series's value there) and moves the data view to the chunk at that time;
// Home (or Fit All) shows everything. Zooming or panning stops following
// the newest data; Follow takes it back with the span shown.
//
// Export CSV reads the source again on a thread of its own and writes the
// points of the checked series within the span shown, as "/plot" writes
// them; Export PNG writes the picture shown at the plot area's size.
#include "plot/plot_window_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "app/chrome_win.h"
#include "find/find_source.h"
#include "find/find_win.h"
#include "modbus/modbus_monitor_win.h"
#include "plot/plot_build.h"
#include "plot/plot_draw_win.h"
#include "plot/plot_out_win.h"
#include "plot/plot_reader_win.h"
#include "record/record_view_win.h"
#include "resources/resource.h"
#include "timeline/export_win.h"
#include "ui/dialog_look_win.h"
#include "ui/dpi_win.h"
#include "ui/file_chooser_win.h"

namespace {

constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 250;
constexpr size_t kBatchPoints = 4096;  // points added to the set under one lock hold
constexpr wchar_t kAreaClass[] = L"QuorrinPlotArea";
constexpr int64_t kSecondUs = 1000000;
constexpr UINT kMsgPictureSaved = WM_APP + 1;  // wp: 0 or the failure's message id, lp: the PictureJob

struct PlotWindow {
  HWND window, list, area;
  // The series read so far, shared with the reader.
  std::mutex lock;
  PlotSet set;
  int64_t points;
  std::atomic<uint32_t> version;  // changes with each batch of points
  std::vector<PlotPoint> batch;   // the reader's, not yet added
  PlotReader reader;
  uint32_t drawn_version;
  // The source the reader reads, to tell when it changed.
  int recording, serial;
  uint32_t generation;
  // The view.
  uint8_t shown[kPlotSeriesMax];
  int32_t listed;
  int overlay, follow;
  int64_t follow_span;  // following: the span shown (0: everything)
  int64_t from_us, to_us, cursor_us;
  int has_span;
  // Register reads chosen in the window.
  PlotSeriesRead reads[kPlotSeriesMax];
  int reads_n;
  // A drag in the plot area: 1 pan (left button), 2 box (right button).
  int drag;
  int dragged;
  POINT down, at;
  int64_t down_from, down_to;
  // The user's checks by series label, kept when the series are read again.
  struct Check {
    wchar_t label[kPlotNameBytes + 8];
    uint8_t shown;
  } checks[kPlotSeriesMax];
  int checks_n;
  // The CSV export.
  PlotReader exporter;
  PlotOut* out;
  wchar_t out_path[MAX_PATH];
  int exporting;
  int saving_picture;  // a PNG is being written beside the window
  int said_ticks;  // the status line keeps what an export said for so many ticks
  int values_listed;  // a series of values was listed: timing series come unchecked
  // For the benchmark (bench/plot_window_bench.py): when QUORRIN_PLOT_TIMES
  // names a file, the time from a read's start to the first picture, each
  // paint's duration and the read's length are appended to it.
  HANDLE times_log;
  LARGE_INTEGER read_start;
  int first_logged, end_logged;
};
PlotWindow g_plot = {};

// --- Points from the reader ----------------------------------------------

// The window's points, a batch at a time into the set.
void deliver(void* = nullptr) {
  if (g_plot.batch.empty()) return;
  {
    std::lock_guard<std::mutex> hold(g_plot.lock);
    for (const PlotPoint& p : g_plot.batch) {
      PlotSeries* s = plot_set_series(&g_plot.set, p.name, p.channel);
      if (s) plot_series_add(s, p.time_us, p.value), g_plot.points++;
      else g_plot.set.refused++;
    }
  }
  g_plot.batch.clear();
  g_plot.version++;
}

// The batch's room is reserved before the reader starts: adding never allocates.
void window_point(void*, const PlotPoint& p) {
  if (g_plot.batch.size() >= kBatchPoints) deliver();
  g_plot.batch.push_back(p);
}

// Starts the window's reader on the source the data view shows now.
void window_reader_start() {
  try {
    g_plot.batch.clear();
    g_plot.batch.reserve(kBatchPoints);
  } catch (...) {
    return;
  }
  PlotReaderSink sink = {window_point, deliver, nullptr, nullptr};
  plot_reader_start(&g_plot.reader, sink, 1, g_plot.reads, g_plot.reads_n);
}

// --- The view --------------------------------------------------------------

int is_timing(const char* name) {
  return std::strcmp(name, "latency ms") == 0 || std::strcmp(name, "silence ms") == 0 ||
         std::strcmp(name, "RX bytes/s") == 0 || std::strcmp(name, "TX bytes/s") == 0;
}
int is_register(const char* name) { return std::strncmp(name, "slave ", 6) == 0 && !std::strstr(name, "coil") &&
                                           !std::strstr(name, " DI "); }

void times_log(const char* what, const LARGE_INTEGER& from) {
  if (g_plot.times_log == INVALID_HANDLE_VALUE || !g_plot.times_log) return;
  LARGE_INTEGER now, freq;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&freq);
  char line[64];
  const int n = std::snprintf(line, sizeof line, "%s %lld\n", what,
                              static_cast<long long>((now.QuadPart - from.QuadPart) * 1000000 / freq.QuadPart));
  DWORD done = 0;
  WriteFile(g_plot.times_log, line, static_cast<DWORD>(n), &done, nullptr);
}

PlotPicture picture_now(const RECT&) {
  PlotPicture p = {&g_plot.set, g_plot.shown, g_plot.from_us, g_plot.to_us, g_plot.overlay, g_plot.cursor_us,
                   window_dpi(g_plot.area), slot_color(kSlotBackground), slot_color(kSlotText)};
  return p;
}

// Everything every checked series holds (caller holds the lock): 1 when there is any.
int whole_span(int64_t* from, int64_t* to) {
  PlotPicture p = {&g_plot.set, g_plot.shown, 0, 0, 0, kTimeUnknown, 96, 0, 0};
  return plot_picture_span(p, from, to);
}

// Following: the newest data at the right edge, the span kept (or everything).
void follow_now() {
  int64_t from, to;
  std::lock_guard<std::mutex> hold(g_plot.lock);
  if (!whole_span(&from, &to)) return;
  if (g_plot.follow_span > 0 && to - from > g_plot.follow_span) from = to - g_plot.follow_span;
  g_plot.from_us = from;
  g_plot.to_us = to;
  g_plot.has_span = 1;
}

void stop_following() {
  g_plot.follow = 0;
  EnableWindow(GetDlgItem(g_plot.window, IDC_PLOT_FOLLOW), TRUE);
}

RECT data_rect() {
  RECT r;
  GetClientRect(g_plot.area, &r);
  return plot_data_rect(r, window_dpi(g_plot.area));
}

int64_t time_at_x(int x) {
  const RECT d = data_rect();
  const int columns = d.right - d.left;
  if (columns <= 0 || !g_plot.has_span) return kTimeUnknown;
  const double f = static_cast<double>(x - d.left) / columns;
  return g_plot.from_us + static_cast<int64_t>(std::llround(f * static_cast<double>(g_plot.to_us - g_plot.from_us)));
}

// The span [from, to) shown, kept at least a millisecond and within the clock.
void show_span(int64_t from, int64_t to) {
  if (to - from < 1000) to = from + 1000;
  g_plot.from_us = from;
  g_plot.to_us = to;
  g_plot.has_span = 1;
  InvalidateRect(g_plot.area, nullptr, FALSE);
}

void zoom_about(int x, double factor) {
  if (!g_plot.has_span) return;
  stop_following();
  const int64_t t = time_at_x(x);
  const double span = static_cast<double>(g_plot.to_us - g_plot.from_us) * factor;
  const double left = static_cast<double>(t - g_plot.from_us) * factor;
  if (span < 1000 || span > 400.0 * 24 * 3600 * kSecondUs) return;
  const int64_t from = t - static_cast<int64_t>(left);
  show_span(from, from + static_cast<int64_t>(span));
}

void fit_all() {
  g_plot.follow_span = 0;
  g_plot.follow = 1;
  EnableWindow(GetDlgItem(g_plot.window, IDC_PLOT_FOLLOW), !g_plot.follow);
  int64_t from, to;
  int any;
  {
    std::lock_guard<std::mutex> hold(g_plot.lock);
    any = whole_span(&from, &to);
  }
  if (any) show_span(from, to);
}

void paint_area(HWND area) {
  LARGE_INTEGER began;
  QueryPerformanceCounter(&began);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(area, &ps);
  RECT r;
  GetClientRect(area, &r);
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, r.right, r.bottom);
  HGDIOBJ old = SelectObject(mem, bitmap);
  {
    std::lock_guard<std::mutex> hold(g_plot.lock);
    PlotPicture p = picture_now(r);
    if (!g_plot.has_span) p.from_us = 0, p.to_us = 0;
    if (g_plot.has_span) {
      plot_draw(mem, r, p);
      if (!g_plot.first_logged) times_log("first_us", g_plot.read_start), g_plot.first_logged = 1;
    } else {
      HBRUSH back = CreateSolidBrush(p.back);
      FillRect(mem, &r, back);
      DeleteObject(back);
    }
  }
  // The box a right drag draws.
  if (g_plot.drag == 2 && g_plot.dragged) {
    RECT box = {std::min(g_plot.down.x, g_plot.at.x), data_rect().top, std::max(g_plot.down.x, g_plot.at.x),
                data_rect().bottom};
    DrawFocusRect(mem, &box);
  }
  BitBlt(dc, 0, 0, r.right, r.bottom, mem, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  DeleteObject(bitmap);
  DeleteDC(mem);
  EndPaint(area, &ps);
  times_log("paint_us", began);
}

void area_button_up(HWND area, int x) {
  const int drag = g_plot.drag;
  g_plot.drag = 0;
  ReleaseCapture();
  if (drag == 2 && g_plot.dragged) {
    const int64_t a = time_at_x(std::min(g_plot.down.x, static_cast<LONG>(x)));
    const int64_t b = time_at_x(std::max(g_plot.down.x, static_cast<LONG>(x)));
    if (a != kTimeUnknown && b - a >= 1000) {
      stop_following();
      show_span(a, b);
    }
  } else if (!g_plot.dragged) {
    // A click: the cursor there, and the data view at the chunk of that time.
    const int64_t t = time_at_x(x);
    if (t != kTimeUnknown) {
      g_plot.cursor_us = t;
      go_to_local_time(t);
    }
  }
  InvalidateRect(area, nullptr, FALSE);
}

LRESULT CALLBACK area_proc(HWND area, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: paint_area(area); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_GETDLGCODE: return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      SetFocus(area);
      SetCapture(area);
      g_plot.drag = msg == WM_LBUTTONDOWN ? 1 : 2;
      g_plot.dragged = 0;
      g_plot.down = g_plot.at = POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      g_plot.down_from = g_plot.from_us;
      g_plot.down_to = g_plot.to_us;
      return 0;
    case WM_MOUSEMOVE: {
      const POINT p = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      if (g_plot.drag && std::abs(p.x - g_plot.down.x) + std::abs(p.y - g_plot.down.y) > 3) g_plot.dragged = 1;
      g_plot.at = p;
      if (g_plot.drag == 1 && g_plot.dragged && g_plot.has_span) {
        stop_following();
        const RECT d = data_rect();
        const int columns = std::max(1, static_cast<int>(d.right - d.left));
        const int64_t span = g_plot.down_to - g_plot.down_from;
        const int64_t shift = static_cast<int64_t>(static_cast<double>(p.x - g_plot.down.x) * span / columns);
        show_span(g_plot.down_from - shift, g_plot.down_to - shift);
      } else if (!g_plot.drag) {
        g_plot.cursor_us = time_at_x(p.x);
      }
      InvalidateRect(area, nullptr, FALSE);
      return 0;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      if (g_plot.drag) area_button_up(area, GET_X_LPARAM(lp));
      return 0;
    case WM_CAPTURECHANGED: g_plot.drag = 0; return 0;
    case WM_MOUSEWHEEL: {
      POINT p = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      ScreenToClient(area, &p);
      zoom_about(p.x, GET_WHEEL_DELTA_WPARAM(wp) > 0 ? 0.8 : 1.25);
      return 0;
    }
    case WM_KEYDOWN:
      if (wp == VK_HOME) fit_all();
      else if (wp == VK_LEFT || wp == VK_RIGHT) {
        if (!g_plot.has_span) return 0;
        stop_following();
        const int64_t step = (g_plot.to_us - g_plot.from_us) / 10 * (wp == VK_LEFT ? -1 : 1);
        show_span(g_plot.from_us + step, g_plot.to_us + step);
      }
      return 0;
  }
  return DefWindowProcW(area, msg, wp, lp);
}

// --- The series list -------------------------------------------------------

void series_label(const PlotSeries* s, wchar_t* out, int units) {
  char name[kPlotNameBytes + 8];
  if (s->channel) std::snprintf(name, sizeof name, "CH%d %s", s->channel, s->name);
  else std::snprintf(name, sizeof name, "%s", s->name);
  MultiByteToWideChar(CP_ACP, 0, name, -1, out, units);
  out[units - 1] = 0;
}

PlotWindow::Check* check_of(const wchar_t* label) {
  for (int i = 0; i < g_plot.checks_n; i++)
    if (lstrcmpW(g_plot.checks[i].label, label) == 0) return &g_plot.checks[i];
  return nullptr;
}

// New series into the list: checked as the user last left them, else
// checked but for the link's timing. The list is filled without the lock:
// its notifications take it.
void list_new_series() {
  for (;;) {
    const int32_t k = g_plot.listed;
    wchar_t label[kPlotNameBytes + 8];
    int timing;
    {
      std::lock_guard<std::mutex> hold(g_plot.lock);
      if (k >= g_plot.set.n) return;
      series_label(g_plot.set.series[k], label, kPlotNameBytes + 8);
      timing = is_timing(g_plot.set.series[k]->name);
    }
    const PlotWindow::Check* was = check_of(label);
    // The link's timing is drawn by default only where it is all there is.
    g_plot.shown[k] = static_cast<uint8_t>(was ? was->shown : !timing || !g_plot.values_listed);
    if (!timing) g_plot.values_listed = 1;
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = k;
    item.pszText = label;
    SendMessageW(g_plot.list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    ListView_SetCheckState(g_plot.list, k, g_plot.shown[k]);
    g_plot.listed = k + 1;
  }
}

// The user checked or cleared series k: kept by its label.
void remember_check(int k) {
  wchar_t label[kPlotNameBytes + 8] = L"";
  {
    std::lock_guard<std::mutex> hold(g_plot.lock);
    if (k >= g_plot.set.n) return;
    series_label(g_plot.set.series[k], label, kPlotNameBytes + 8);
  }
  PlotWindow::Check* c = check_of(label);
  if (!c && g_plot.checks_n < kPlotSeriesMax) {
    c = &g_plot.checks[g_plot.checks_n++];
    lstrcpynW(c->label, label, kPlotNameBytes + 8);
  }
  if (c) c->shown = g_plot.shown[k];
}

int selected_series() {
  return static_cast<int>(SendMessageW(g_plot.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// How the series chosen in the list is read, shown in the read fields.
const int kReadTypes[8] = {kPlotU16, kPlotS16, kPlotU32, kPlotU32, kPlotS32, kPlotS32, kPlotF32, kPlotF32};
const int kReadLowFirst[8] = {0, 0, 0, 1, 0, 1, 0, 1};

PlotSeriesRead* read_entry(const char* name, int32_t channel) {
  for (int i = 0; i < g_plot.reads_n; i++)
    if (g_plot.reads[i].channel == channel && std::strcmp(g_plot.reads[i].name, name) == 0) return &g_plot.reads[i];
  return nullptr;
}

void show_read_fields() {
  const int k = selected_series();
  char name[kPlotNameBytes] = "";
  int32_t channel = 0;
  {
    std::lock_guard<std::mutex> hold(g_plot.lock);
    if (k >= 0 && k < g_plot.set.n) {
      std::memcpy(name, g_plot.set.series[k]->name, sizeof name);
      channel = g_plot.set.series[k]->channel;
    }
  }
  const int reg = name[0] && is_register(name);
  HWND combo = GetDlgItem(g_plot.window, IDC_PLOT_READ), scale = GetDlgItem(g_plot.window, IDC_PLOT_SCALE);
  EnableWindow(combo, reg);
  EnableWindow(scale, reg);
  const PlotSeriesRead* r = reg ? read_entry(name, channel) : nullptr;
  int choice = 0;
  for (int i = 0; r && i < 8; i++)
    if (kReadTypes[i] == r->read.type && (kReadTypes[i] < kPlotU32 || kReadLowFirst[i] == r->read.low_first)) {
      choice = i;
      break;
    }
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(choice), 0);
  wchar_t text[32];
  _snwprintf(text, 32, L"%.10g", r ? r->read.scale : 1.0);
  text[31] = 0;
  SetWindowTextW(scale, reg ? text : L"");
}

void restart_reader();

// The read fields changed: the chosen register series is read so from now on.
void read_fields_changed() {
  const int k = selected_series();
  char name[kPlotNameBytes] = "";
  int32_t channel = 0;
  {
    std::lock_guard<std::mutex> hold(g_plot.lock);
    if (k < 0 || k >= g_plot.set.n) return;
    std::memcpy(name, g_plot.set.series[k]->name, sizeof name);
    channel = g_plot.set.series[k]->channel;
  }
  if (!is_register(name)) return;
  wchar_t text[64] = L"";
  GetDlgItemTextW(g_plot.window, IDC_PLOT_SCALE, text, 64);
  wchar_t* end = nullptr;
  const double scale = wcstod(text, &end);
  while (end && (*end == L' ' || *end == L'\t')) end++;
  if (end == text || (end && *end) || !std::isfinite(scale) || scale == 0) {
    wchar_t said[2 * kMessageTextUnits];
    format_text(said, 2 * kMessageTextUnits, kTextPlotNotAScale, text);
    MessageBoxW(g_plot.window, said, L"Quorrin", MB_OK | MB_ICONWARNING);
    show_read_fields();
    return;
  }
  int choice = static_cast<int>(SendDlgItemMessageW(g_plot.window, IDC_PLOT_READ, CB_GETCURSEL, 0, 0));
  if (choice < 0 || choice > 7) choice = 0;
  const PlotRegisterRead read = {static_cast<uint8_t>(kReadTypes[choice]), static_cast<uint8_t>(kReadLowFirst[choice]),
                                 scale};
  PlotSeriesRead* r = read_entry(name, channel);
  if (r && r->read.type == read.type && r->read.low_first == read.low_first && r->read.scale == read.scale) return;
  if (!r && read.type == kPlotU16 && read.scale == 1.0) return;
  if (!r) {
    if (g_plot.reads_n == kPlotSeriesMax) return;
    r = &g_plot.reads[g_plot.reads_n++];
    std::memcpy(r->name, name, sizeof r->name);
    r->channel = channel;
  }
  r->read = read;
  restart_reader();
}

void fill_read_choices() {
  HWND combo = GetDlgItem(g_plot.window, IDC_PLOT_READ);
  wchar_t high[kMessageTextUnits], low[kMessageTextUnits];
  get_text(kTextPlotHighWordFirst, high);
  get_text(kTextPlotLowWordFirst, low);
  static const wchar_t* const kType[8] = {L"u16", L"s16", L"u32", L"u32", L"s32", L"s32", L"f32", L"f32"};
  for (int i = 0; i < 8; i++) {
    wchar_t item[kMessageTextUnits + 8];
    if (i < 2) _snwprintf(item, kMessageTextUnits + 8, L"%ls", kType[i]);
    else _snwprintf(item, kMessageTextUnits + 8, L"%ls, %ls", kType[i], kReadLowFirst[i] ? low : high);
    item[kMessageTextUnits + 7] = 0;
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  }
}

// --- Status, ticks, the source ---------------------------------------------

void show_status() {
  if (g_plot.said_ticks > 0 && !g_plot.exporting) {
    g_plot.said_ticks--;
    return;
  }
  wchar_t line[2 * kMessageTextUnits] = L"";
  const int units = 2 * kMessageTextUnits;
  int32_t n;
  int64_t points, refused;
  {
    std::lock_guard<std::mutex> hold(g_plot.lock);
    n = g_plot.set.n;
    points = g_plot.points;
    refused = g_plot.set.refused;
  }
  if (g_plot.exporting) {
    format_text(line, units, kTextPlotWriting, std::max(0, g_plot.exporter.percent.load()));
  } else if (g_plot.reader.percent.load() >= 0 && !g_plot.reader.ended.load()) {
    format_text(line, units, kTextPlotReading, g_plot.reader.percent.load());
  } else if (points == 0) {
    get_text(kTextPlotNothingYet, line);
  } else if (refused) {
    format_text(line, units, kTextPlotPastSeriesShort, static_cast<long long>(refused));
  } else {
    format_text(line, units, kTextPlotStatus, static_cast<int>(n), static_cast<long long>(points));
  }
  wchar_t was[2 * kMessageTextUnits] = L"";
  GetDlgItemTextW(g_plot.window, IDC_PLOT_STATUS, was, units);
  if (lstrcmpW(was, line) != 0) SetDlgItemTextW(g_plot.window, IDC_PLOT_STATUS, line);
}

void clear_series() {
  std::lock_guard<std::mutex> hold(g_plot.lock);
  plot_set_free(&g_plot.set);
  g_plot.points = 0;
}

// The reader again from the start of the source the data view shows now.
void restart_reader() {
  plot_reader_stop(&g_plot.reader);
  clear_series();
  SendMessageW(g_plot.list, LVM_DELETEALLITEMS, 0, 0);
  g_plot.listed = 0;
  g_plot.recording = recording_shown();
  g_plot.serial = recording_serial();
  g_plot.generation = capture_place(&g_app.capture).generation;
  g_plot.has_span = 0;
  g_plot.follow = 1;
  g_plot.follow_span = 0;
  g_plot.cursor_us = kTimeUnknown;
  EnableWindow(GetDlgItem(g_plot.window, IDC_PLOT_FOLLOW), !g_plot.follow);
  g_plot.values_listed = 0;
  g_plot.first_logged = g_plot.end_logged = 0;
  QueryPerformanceCounter(&g_plot.read_start);
  window_reader_start();
  InvalidateRect(g_plot.area, nullptr, FALSE);
}

int source_changed() {
  if (recording_shown() != g_plot.recording) return 1;
  if (g_plot.recording) return recording_serial() != g_plot.serial;
  return capture_place(&g_app.capture).generation != g_plot.generation || g_plot.reader.restart.load();
}

void export_finished(int cancelled);

void tick() {
  recording_tool_title(g_plot.window, kTextPlotTitle);
  if (source_changed()) restart_reader();
  list_new_series();
  if (g_plot.exporting && g_plot.exporter.ended.load()) export_finished(0);
  if (g_plot.reader.ended.load() && !g_plot.end_logged) times_log("read_us", g_plot.read_start), g_plot.end_logged = 1;
  const uint32_t v = g_plot.version.load();
  if (v != g_plot.drawn_version) {
    g_plot.drawn_version = v;
    if (g_plot.follow || !g_plot.has_span) follow_now();
    InvalidateRect(g_plot.area, nullptr, FALSE);
  }
  show_status();
}

// --- Export ----------------------------------------------------------------

// A picture drawn by the window and written to disk beside it: the window
// never waits for the disk.
struct PictureJob {
  void* bitmap;
  wchar_t path[MAX_PATH];
  HWND window;
};

DWORD WINAPI save_picture(void* arg) {
  auto* job = static_cast<PictureJob*>(arg);
  const int failure = plot_save_png(job->bitmap, job->path);
  if (!PostMessageW(job->window, kMsgPictureSaved, static_cast<WPARAM>(failure), reinterpret_cast<LPARAM>(job)))
    free(job);  // the window is gone
  return 0;
}

void export_picture() {
  if (g_plot.saving_picture) return;
  if (!g_plot.has_span) {
    show_message(g_plot.window, kTextNoDataToExport, 0, L"Quorrin");
    return;
  }
  auto* job = static_cast<PictureJob*>(calloc(1, sizeof(PictureJob)));
  if (!job) {
    show_message(g_plot.window, kTextExportNoMemory, 0, L"Quorrin");
    return;
  }
  if (!file_chooser(g_plot.window, kChoosePicture, job->path)) {
    free(job);
    return;
  }
  job->window = g_plot.window;
  RECT r;
  GetClientRect(g_plot.area, &r);
  int failure;
  {
    std::lock_guard<std::mutex> hold(g_plot.lock);
    PlotPicture p = picture_now(r);
    p.cursor_us = kTimeUnknown;
    job->bitmap = plot_picture_bitmap(std::max(16L, r.right), std::max(16L, r.bottom), p, &failure);
  }
  HANDLE worker = job->bitmap ? CreateThread(nullptr, 0, save_picture, job, 0, nullptr) : nullptr;
  if (!worker) {
    if (job->bitmap) failure = plot_save_png(job->bitmap, job->path);  // no thread to be had: here, once
    if (failure) show_texts(g_plot.window, L"Quorrin", {failure}, job->path);
    free(job);
    return;
  }
  CloseHandle(worker);
  g_plot.saving_picture = 1;
  EnableWindow(GetDlgItem(g_plot.window, IDC_PLOT_PNG), FALSE);
}

void picture_saved(int failure, PictureJob* job) {
  g_plot.saving_picture = 0;
  EnableWindow(GetDlgItem(g_plot.window, IDC_PLOT_PNG), TRUE);
  if (failure) show_texts(g_plot.window, L"Quorrin", {failure}, job->path);
  free(job);
}

void export_values() {
  if (g_plot.exporting) return;
  if (!g_plot.has_span) {
    show_message(g_plot.window, kTextNoDataToExport, 0, L"Quorrin");
    return;
  }
  wchar_t path[MAX_PATH] = L"";
  if (!file_chooser(g_plot.window, kChooseExport, path)) return;
  PlotOut* o = static_cast<PlotOut*>(calloc(1, sizeof(PlotOut)));
  if (!o) {
    show_message(g_plot.window, kTextExportNoMemory, 0, L"Quorrin");
    return;
  }
  o->origin = kTimeUnknown;
  o->bounded = 1;
  o->from_us = g_plot.from_us;
  o->to_us = g_plot.to_us;
  {
    std::lock_guard<std::mutex> hold(g_plot.lock);
    for (int k = 0; k < g_plot.set.n; k++) {
      if (!g_plot.shown[k]) continue;
      const PlotSeries* s = g_plot.set.series[k];
      std::snprintf(o->series[o->series_n++], kPlotNameBytes + 4, "CH%d %s", s->channel, s->name);
    }
  }
  if (o->series_n == 0) {
    free(o);
    show_message(g_plot.window, kTextNoDataToExport, 0, L"Quorrin");
    return;
  }
  o->file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (o->file == INVALID_HANDLE_VALUE) {
    free(o);
    show_texts(g_plot.window, L"Quorrin", {kTextFileOpenFailed}, path);
    return;
  }
  const int header = lstrlenA(kPlotCsvHeader);
  std::memcpy(o->buffer, kPlotCsvHeader, static_cast<size_t>(header));
  o->n = header;
  lstrcpynW(g_plot.out_path, path, MAX_PATH);
  g_plot.out = o;
  const PlotReaderSink sink = {plot_row_out, nullptr, o, o};
  if (plot_reader_start(&g_plot.exporter, sink, 0, g_plot.reads, g_plot.reads_n)) {
    plot_reader_stop(&g_plot.exporter);
    CloseHandle(o->file);
    DeleteFileW(path);
    free(o);
    g_plot.out = nullptr;
    show_message(g_plot.window, kTextExportNoMemory, 0, L"Quorrin");
    return;
  }
  g_plot.exporting = 1;
  EnableWindow(GetDlgItem(g_plot.window, IDC_PLOT_CSV), FALSE);
}

// The export's end (`cancelled`: the window closes): the file closed, and
// kept only when it is whole.
void export_finished(int cancelled) {
  plot_reader_stop(&g_plot.exporter);
  g_plot.exporting = 0;
  EnableWindow(GetDlgItem(g_plot.window, IDC_PLOT_CSV), TRUE);
  PlotOut* o = g_plot.out;
  g_plot.out = nullptr;
  if (!o) return;
  plot_out_flush(o);
  if (!CloseHandle(o->file)) o->failed = 1;
  const wchar_t* path = g_plot.out_path;
  const int short_of_memory = g_plot.exporter.lost > 0;
  if (o->failed || cancelled || short_of_memory) DeleteFileW(path);
  if (!cancelled && (o->failed || short_of_memory))
    show_texts(g_plot.window, L"Quorrin", {short_of_memory ? kTextExportNoMemory : kTextExportWriteFailed}, path);
  if (!o->failed && !cancelled && !short_of_memory) {
    wchar_t line[2 * kMessageTextUnits];
    format_text(line, 2 * kMessageTextUnits, kTextPlotWritten, static_cast<long long>(o->rows));
    SetDlgItemTextW(g_plot.window, IDC_PLOT_STATUS, line);
    g_plot.said_ticks = 32;
  }
  free(o);
}

// --- The window ------------------------------------------------------------

// The controls placed for the window's size: the list and the read fields
// on the left, the plot area filling the rest, the buttons along the bottom.
void lay_out() {
  HWND w = g_plot.window;
  if (!w || !g_plot.list) return;
  RECT c;
  GetClientRect(w, &c);
  auto du = [&](int x, int y) {
    RECT r = {0, 0, x, y};
    MapDialogRect(w, &r);
    return POINT{r.right, r.bottom};
  };
  const POINT m = du(6, 6), side = du(130, 0), row = du(0, 14), line = du(0, 10), field = du(0, 13);
  const int bottom = c.bottom - m.y - row.y;
  const int left_w = side.x;
  // The read fields end where the plot area ends: label, choice, a gap, scale.
  const int read_top = bottom - m.y - (line.y + field.y + m.y / 2 + field.y);
  MoveWindow(g_plot.list, m.x, m.y, left_w, std::max(20L, read_top - m.y - m.y / 2), TRUE);
  int y = read_top;
  MoveWindow(GetDlgItem(w, IDC_PLOT_READ_LABEL), m.x, y, left_w, line.y, TRUE);
  y += line.y;
  MoveWindow(GetDlgItem(w, IDC_PLOT_READ), m.x, y, left_w, field.y * 8, TRUE);
  y += field.y + m.y / 2;
  const POINT label = du(40, 0);
  MoveWindow(GetDlgItem(w, IDC_PLOT_SCALE_LABEL), m.x, y + 2, label.x, line.y, TRUE);
  MoveWindow(GetDlgItem(w, IDC_PLOT_SCALE), m.x + label.x + 2, y, left_w - label.x - 2, field.y, TRUE);
  const int area_left = m.x + left_w + m.x;
  MoveWindow(g_plot.area, area_left, m.y, std::max(40L, c.right - area_left - m.x),
             std::max(40L, bottom - m.y - m.y), TRUE);
  // The bottom row, right to left.
  struct Button { int id, width; };
  const Button buttons[] = {{IDC_PLOT_CLOSE, 54}, {IDC_PLOT_CSV, 60}, {IDC_PLOT_PNG, 60},
                            {IDC_PLOT_FIT, 44},   {IDC_PLOT_FOLLOW, 44}, {IDC_PLOT_OVERLAY, 62}};
  int x = c.right - m.x;
  for (const Button& b : buttons) {
    const int bw = du(b.width, 0).x;
    x -= bw;
    MoveWindow(GetDlgItem(w, b.id), x, bottom + m.y / 2, bw, row.y, TRUE);
    x -= m.x / 2 + 1;
  }
  MoveWindow(GetDlgItem(w, IDC_PLOT_STATUS), m.x, bottom + m.y / 2 + (row.y - line.y) / 2,
             std::max(10L, static_cast<LONG>(x - m.x - m.x)), line.y, TRUE);
  InvalidateRect(w, nullptr, TRUE);
}

void on_init(HWND dlg) {
  g_plot.window = dlg;
  g_plot.list = GetDlgItem(dlg, IDC_PLOT_SERIES);
  g_plot.area = GetDlgItem(dlg, IDC_PLOT_AREA);
  g_plot.overlay = 0;
  g_plot.listed = 0;
  g_plot.saving_picture = 0;
  g_plot.cursor_us = kTimeUnknown;
  g_plot.drawn_version = g_plot.version.load() - 1;
  {
    wchar_t path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"QUORRIN_PLOT_TIMES", path, MAX_PATH);
    g_plot.times_log = n > 0 && n < MAX_PATH ? CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                                             : INVALID_HANDLE_VALUE;
  }
  set_dialog_text(dlg, 0, kTextPlotTitle);
  set_dialog_text(dlg, IDC_PLOT_READ_LABEL, kTextPlotReadAs);
  set_dialog_text(dlg, IDC_PLOT_SCALE_LABEL, kTextPlotScale);
  set_dialog_text(dlg, IDC_PLOT_OVERLAY, kTextPlotOverlay);
  set_dialog_text(dlg, IDC_PLOT_FOLLOW, kTextPlotFollow);
  set_dialog_text(dlg, IDC_PLOT_FIT, kTextPlotFitAll);
  set_dialog_text(dlg, IDC_PLOT_PNG, kTextPlotExportPicture);
  set_dialog_text(dlg, IDC_PLOT_CSV, kTextPlotExportValues);
  set_dialog_text(dlg, IDC_PLOT_CLOSE, kTextClose);
  SendMessageW(g_plot.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
               LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  SendMessageW(g_plot.list, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotBackground)));
  SendMessageW(g_plot.list, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotBackground)));
  LVCOLUMNW col = {};
  col.mask = LVCF_WIDTH;
  col.cx = window_px(g_plot.list, 180);
  SendMessageW(g_plot.list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&col));
  fill_read_choices();
  show_read_fields();
  lay_out();
  restart_reader();
  show_status();
  SetTimer(dlg, kTickTimer, kTickMs, nullptr);
  dialog_look_init(dlg);
}

void on_destroy() {
  KillTimer(g_plot.window, kTickTimer);
  plot_reader_stop(&g_plot.reader);
  if (g_plot.exporting) export_finished(1);
  clear_series();
  if (g_plot.times_log != INVALID_HANDLE_VALUE && g_plot.times_log) CloseHandle(g_plot.times_log);
  g_plot.times_log = INVALID_HANDLE_VALUE;
  g_plot.window = g_plot.list = g_plot.area = nullptr;
}

LRESULT on_notify(NMHDR* h) {
  if (h->idFrom != IDC_PLOT_SERIES) return 0;
  if (h->code == LVN_ITEMCHANGED) {
    const NMLISTVIEW* c = reinterpret_cast<NMLISTVIEW*>(h);
    if (c->iItem < 0 || c->iItem >= g_plot.listed || !(c->uChanged & LVIF_STATE)) return 0;
    const uint8_t checked = static_cast<uint8_t>(ListView_GetCheckState(g_plot.list, c->iItem) != 0);
    if (checked != g_plot.shown[c->iItem]) {
      g_plot.shown[c->iItem] = checked;
      remember_check(c->iItem);
      if (g_plot.follow) follow_now();
      InvalidateRect(g_plot.area, nullptr, FALSE);
    }
    if ((c->uNewState ^ c->uOldState) & LVIS_SELECTED) show_read_fields();
    return 0;
  }
  if (h->code == NM_CUSTOMDRAW) {
    NMLVCUSTOMDRAW* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(h);
    if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
      // Each series's name in its colour.
      cd->clrText = plot_series_color(static_cast<int>(cd->nmcd.dwItemSpec), slot_color(kSlotBackground));
      cd->clrTextBk = slot_color(kSlotBackground);
      return CDRF_NEWFONT;
    }
  }
  return 0;
}

INT_PTR CALLBACK plot_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  INT_PTR result = 0;
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return TRUE;
    case WM_TIMER:
      if (wp == kTickTimer) tick();
      return TRUE;
    case WM_SIZE: lay_out(); return TRUE;
    case kMsgPictureSaved: picture_saved(static_cast<int>(wp), reinterpret_cast<PictureJob*>(lp)); return TRUE;
    case WM_GETMINMAXINFO: {
      MINMAXINFO* mm = reinterpret_cast<MINMAXINFO*>(lp);
      mm->ptMinTrackSize.x = window_px(dlg, 560);
      mm->ptMinTrackSize.y = window_px(dlg, 360);
      return TRUE;
    }
    case WM_NOTIFY:
      SetWindowLongPtrW(dlg, DWLP_MSGRESULT, on_notify(reinterpret_cast<NMHDR*>(lp)));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDC_PLOT_OVERLAY:
          g_plot.overlay = IsDlgButtonChecked(dlg, IDC_PLOT_OVERLAY) == BST_CHECKED;
          InvalidateRect(g_plot.area, nullptr, FALSE);
          break;
        case IDC_PLOT_FOLLOW:
          g_plot.follow = 1;
          g_plot.follow_span = g_plot.has_span ? g_plot.to_us - g_plot.from_us : 0;
          EnableWindow(GetDlgItem(dlg, IDC_PLOT_FOLLOW), FALSE);
          follow_now();
          InvalidateRect(g_plot.area, nullptr, FALSE);
          break;
        case IDC_PLOT_FIT: fit_all(); break;
        case IDC_PLOT_PNG: export_picture(); break;
        case IDC_PLOT_CSV: export_values(); break;
        case IDC_PLOT_CLOSE: DestroyWindow(dlg); break;
        case IDC_PLOT_READ:
          if (HIWORD(wp) == CBN_SELCHANGE) read_fields_changed();
          break;
        case IDC_PLOT_SCALE:
          if (HIWORD(wp) == EN_KILLFOCUS) read_fields_changed();
          break;
        case IDOK:  // Enter in the scale field
          if (GetFocus() == GetDlgItem(dlg, IDC_PLOT_SCALE)) read_fields_changed();
          break;
        case IDCANCEL: DestroyWindow(dlg); break;
      }
      return TRUE;
    case WM_CLOSE: DestroyWindow(dlg); return TRUE;
    case WM_DESTROY: on_destroy(); return TRUE;
    default:
      if (dialog_look(dlg, msg, wp, lp, &result)) return result;
      return FALSE;
  }
}

void register_area_class() {
  static int done = 0;
  if (done) return;
  WNDCLASSEXW c = {};
  c.cbSize = sizeof c;
  c.lpfnWndProc = area_proc;
  c.hInstance = g_instance;
  c.hCursor = LoadCursorW(nullptr, IDC_CROSS);
  c.lpszClassName = kAreaClass;
  done = RegisterClassExW(&c) != 0;
}

}  // namespace

void plot_window_open(HWND owner) {
  register_area_class();
  plot_gdiplus_start();
  tool_window_open(g_plot.window, owner, IDD_PLOT, plot_proc);
}

void plot_window_close() {
  if (g_plot.window) DestroyWindow(g_plot.window);
}

int plot_window_message(MSG* m) {
  HWND w = g_plot.window;
  if (!w || (m->hwnd != w && !IsChild(w, m->hwnd))) return 0;
  // The plot area takes Home and the arrows itself.
  if (m->hwnd == g_plot.area && m->message == WM_KEYDOWN) return 0;
  return IsDialogMessageW(w, m);
}
