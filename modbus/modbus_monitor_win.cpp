// The Modbus monitor window (dialog 128): modeless, one at a time. It reads
// the whole capture as Modbus frames (modbus/modbus_monitor.cpp) in the
// framing that finds more good frames, with the line monitor mode and the
// line shapes of the settings, and shows them in a virtual report list: the
// rows are drawn from the decoded frames, nothing is copied into the list.
//
// The decode runs on the monitor's worker thread (ModbusMonitorWorker) from
// a whole snapshot of the capture: a full buffer takes 70 to 240 ms in both
// framings in the native build, and more under Wine, far too long for a
// window's thread (bench/results/modbus-monitor.md). A timer looks every
// 250 ms: it takes a finished decode into the list and asks for a new one
// when the capture changed and none runs, so the list shows the latest
// finished decode and a tick only flips flags and sets the list's row count.
// The worker runs below normal priority and rests after each decode as long
// as it took, so the windows keep their share of the processor while a full
// capture streams.
//
// The window runs on a thread of its own, with its own message loop, and
// not on the main window's. Setting the list's row count redraws its scroll
// bar at once, and under Wine's default theme that takes 7 ms a redraw
// (two per count), whatever the capture holds; a repaint of the whole list
// takes about 20 ms more (bench/results/modbus-monitor-tick.md). On its own
// thread that cost never holds up the data view, the sending or the ports.
// What the window needs of the program's state (the settings, the data
// view) it asks of the user-interface thread with ui_thread_call, and the
// main window's end closes it and waits for its thread before the capture
// goes. Closing the window cancels a decode that runs and waits for the
// worker, which returns within milliseconds.
//
// For the benchmark (bench/monitor_tick_bench.py): when the environment
// variable QUORRIN_MONITOR_TICKS names a file, each handling of the refresh
// timer appends its duration in microseconds to it, one line each.
//
// Choosing a row moves the data view to the row holding the frame's first
// byte. "Export..." writes the CSV of the frames the list shows; the
// command line's "/modbus" decodes a snapshot of the loaded log the same
// way and writes the same CSV.
#include "modbus/modbus_monitor_win.h"

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "app/chrome_win.h"
#include "resources/resource.h"
#include "modbus/modbus_monitor.h"
#include "record/record_view_win.h"
#include "timeline/chunks.h"
#include "find/find_query.h"
#include "timeline/export.h"
#include "ui/dialog_look_win.h"
#include "ui/dpi_win.h"
#include "ui/file_chooser_win.h"
#include "ui/file_sink_win.h"
#include "view/fonts_win.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshPeriodMs = 250;
// The list's columns: what each shows and the message text of its head.
enum Column { kColTime, kColChannel, kColDirection, kColRole, kColMode, kColSlave, kColFunction, kColSummary,
              kColCheck, kColLatency, kColumns };
constexpr int kColumnWidths[kColumns] = {70, 50, 40, 66, 48, 46, 170, 270, 72, 90};  // pixels at 96 DPI
constexpr int kColumnTexts[kColumns] = {
    kTextMonitorColumnFirst,     kTextMonitorColumnFirst + 1, kTextMonitorColumnFirst + 2, kTextMonitorRole,
    kTextMonitorColumnFirst + 3, kTextMonitorColumnFirst + 4, kTextMonitorColumnFirst + 5,
    kTextMonitorColumnFirst + 6, kTextMonitorColumnFirst + 7, kTextMonitorColumnFirst + 8};

// Everything but `thread`, `owner`, `shown_window` and `closing` belongs
// to the monitor's thread.
struct MonitorWindow {
  HWND window;
  HWND list;
  int started;     // the worker runs
  int32_t listed;  // the list's row count
  wchar_t role[2][kMessageTextUnits];
  HANDLE tick_log;  // QUORRIN_MONITOR_TICKS, or INVALID_HANDLE_VALUE
  // The options as the settings were when the user-interface thread last
  // published them (options_publish), which each tick asks it to do again.
  std::mutex options_lock;
  ModbusMonitorOptions options;
  // Used by the user-interface thread: the monitor's thread while it lives,
  // and the owner it makes the window with.
  HANDLE thread;
  HWND owner;
  std::atomic<HWND> shown_window;  // the window while it is there
  std::atomic<int> closing;        // the main window ends: no window may stay
};
MonitorWindow g_mon = {};
ModbusMonitorWorker g_worker;

// Runs on the user-interface thread, which owns the settings.
void options_fill(void* out) {
  ModbusMonitorOptions* o = static_cast<ModbusMonitorOptions*>(out);
  *o = ModbusMonitorOptions{};
  o->mode = kModbusRtu;
  o->line_monitor = settings_line_monitor(&g_app.settings);
  line_shapes_of(g_app.settings.port, o->shape);
  // A channel on a network port may carry Modbus TCP or RTU over TCP.
  for (int ch = 0; ch < 2; ch++) o->network[ch] = static_cast<uint8_t>(channel_is_net(ch));
}

// Runs on the user-interface thread: the options of the settings now, for
// the monitor's thread to take.
void options_publish(void*) {
  ModbusMonitorOptions o;
  options_fill(&o);
  std::lock_guard<std::mutex> hold(g_mon.options_lock);
  g_mon.options = o;
}

// The options as last published, and a request for the next: a tick never
// waits for the user-interface thread, and a change of the settings shows
// at the tick after it. The window's start waits for the first.
ModbusMonitorOptions options_now() {
  ui_thread_post(options_publish, nullptr);
  std::lock_guard<std::mutex> hold(g_mon.options_lock);
  return g_mon.options;
}

void worker_started() { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); }

// The benchmark's record of tick durations, when it asked for one.
void tick_log_open() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"QUORRIN_MONITOR_TICKS", path, MAX_PATH);
  g_mon.tick_log = n > 0 && n < MAX_PATH ? CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                                        FILE_ATTRIBUTE_NORMAL, nullptr)
                                         : INVALID_HANDLE_VALUE;
}

void tick_log_write(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  if (g_mon.tick_log == INVALID_HANDLE_VALUE) return;
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  char line[32];
  const int n = std::snprintf(line, sizeof line, "%lld\n",
                              static_cast<long long>((to.QuadPart - from.QuadPart) * 1000000 / freq.QuadPart));
  DWORD done = 0;
  WriteFile(g_mon.tick_log, line, static_cast<DWORD>(n), &done, nullptr);
}

// The frames the list shows: the latest finished decode.
const ModbusFrameList& shown() { return g_worker.shown.frames; }

// The status line: how many frames and how many bad; how many were left
// out when memory ran short; or that the first decode still runs.
void show_status() {
  const ModbusFrameList& f = shown();
  wchar_t format[kMessageTextUnits] = L"", line[2 * kMessageTextUnits] = L"";
  const int units = sizeof line / sizeof line[0];
  if (!g_mon.started) {
    get_text(kTextMonitorNoMemory, line);
  } else if (g_worker.shown.count < 0) {
    get_text(kTextMonitorDecoding, line);
  } else if (f.n == 0 && f.dropped == 0) {
    get_text(kTextMonitorNoFrames, line);
  } else {
    int32_t bad = 0;
    for (int32_t i = 0; i < f.n; i++) bad += f.frames[i].check != kMonitorOk;
    const int text = f.dropped ? kTextMonitorStatusLeftOut : kTextMonitorStatus;
    const int left_out = f.dropped > INT32_MAX ? INT32_MAX : static_cast<int>(f.dropped);
    get_text(text, format);
    if (message_fields_match(reinterpret_cast<const char16_t*>(format), message_fields(text)))
      _snwprintf(line, units - 1, format, static_cast<int>(f.n), static_cast<int>(bad), left_out);
    else
      lstrcpynW(line, format, units);
  }
  SetDlgItemTextW(g_mon.window, IDC_MBM_STATUS, line);
}

// One tick: a finished decode goes into the list; a new one is asked for
// when the capture changed. Never waits for the worker.
// The list's row count is set only when it changed: under Wine setting it
// updates the list's scrolling and redraws at once, which on a loaded
// machine takes tens of milliseconds (bench/results/modbus-monitor-tick.md).
void refresh() {
  recording_tool_title(g_mon.window, kTextMonitorTitle);
  const ModbusMonitorOptions o = options_now();
  if (!modbus_monitor_worker_poll(&g_worker, &o, view_capture())) return;
  if (shown().n != g_mon.listed) {
    SendMessageW(g_mon.list, LVM_SETITEMCOUNT, static_cast<WPARAM>(shown().n), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
    g_mon.listed = shown().n;
  }
  InvalidateRect(g_mon.list, nullptr, FALSE);
  show_status();
}

// The text of one cell, as the CSV writes it where the two agree.
void cell_text(const ModbusFrame& f, int column, wchar_t* out, int units) {
  char text[kModbusMonitorSummaryChars] = "";
  const int known = f.check != kMonitorNotModbus;
  const int64_t origin = g_worker.shown.origin_us;
  switch (column) {
    case kColTime:
      if (f.time_us != kTimeUnknown && origin != kTimeUnknown)
        std::snprintf(text, sizeof text, "%.6f", static_cast<double>(f.time_us - origin) / 1e6);
      break;
    case kColChannel: std::snprintf(text, sizeof text, "CH%d", f.channel); break;
    case kColDirection: std::snprintf(text, sizeof text, "%s", f.sent ? "TX" : "RX"); break;
    case kColRole: lstrcpynW(out, g_mon.role[f.role == kMonitorAnswer], units); return;
    case kColMode: std::snprintf(text, sizeof text, "%s", modbus_mode_name(f.mode)); break;
    case kColSlave:
      if (known) std::snprintf(text, sizeof text, "%d", f.slave);
      break;
    case kColFunction:
      if (known) std::snprintf(text, sizeof text, "%02X %s", f.function, modbus_function_name(f.function));
      break;
    case kColSummary: modbus_monitor_summary(&f, text); break;
    case kColCheck: std::snprintf(text, sizeof text, "%s", modbus_check_name(f.check)); break;
    case kColLatency:
      if (f.role == kMonitorAnswer && f.latency_us != kTimeUnknown)
        std::snprintf(text, sizeof text, "%.3f", static_cast<double>(f.latency_us) / 1000.0);
      break;
  }
  MultiByteToWideChar(CP_ACP, 0, text, -1, out, units);
  out[units - 1] = 0;
}

// A frame that failed its check or carries an exception stands out in the
// colors of the view's end marker, so it reads in either palette.
LRESULT custom_draw(NMLVCUSTOMDRAW* cd) {
  if (cd->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  if (cd->nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
  const DWORD_PTR i = cd->nmcd.dwItemSpec;
  if (i >= static_cast<DWORD_PTR>(shown().n)) return CDRF_DODEFAULT;
  // A chosen row keeps the list's own selection colors.
  if (SendMessageW(g_mon.list, LVM_GETITEMSTATE, i, LVIS_SELECTED) & LVIS_SELECTED) return CDRF_DODEFAULT;
  const ModbusFrame& f = shown().frames[i];
  if (f.check != kMonitorOk || (f.fields & kFieldException)) {
    cd->clrText = slot_color(kSlotEofText);
    cd->clrTextBk = slot_color(kSlotEofBack);
  } else {
    cd->clrText = slot_color(kSlotText);
    cd->clrTextBk = slot_color(kSlotBackground);
  }
  return CDRF_NEWFONT;
}

// Where a chosen frame starts: its first record in the decoded snapshot
// and that snapshot's capture base.
struct FramePlace {
  int64_t first_record;
  int64_t base;
};

// Runs on the user-interface thread, which owns the data view: it shows
// the row that holds the frame's first byte at its top; a wrap since the
// decode has moved the records down by as many places as the capture's
// base went up.
void view_frame_place(void* arg) {
  const FramePlace* f = static_cast<const FramePlace*>(arg);
  const int32_t cells = view_cells_per_row_now(g_main_window);
  const CapturePlace place = capture_place(view_capture());
  const int32_t count = place.write_position;
  if (cells < 1 || count == 0) return;
  int64_t at = f->first_record - (place.base - f->base);
  if (at < 0) at = 0;
  if (at >= count) at = count - 1;
  const int32_t record = static_cast<int32_t>(at);
  CaptureView& v = view_capture()->view;
  v.follow_mode = 0;
  v.view_position = record / cells * cells;
  InvalidateRect(g_main_window, nullptr, TRUE);
  UpdateWindow(g_main_window);
}

void view_frame(int32_t i) {
  if (i < 0 || i >= shown().n) return;
  FramePlace f = {shown().frames[i].first_record, g_worker.shown.base};
  ui_thread_call(view_frame_place, &f);
}

LRESULT on_notify(NMHDR* h) {
  if (h->idFrom != IDC_MBM_LIST) return 0;
  switch (h->code) {
    case LVN_GETDISPINFOW: {
      LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(h)->item;
      if ((item.mask & LVIF_TEXT) && item.iItem >= 0 && item.iItem < shown().n && item.cchTextMax > 0)
        cell_text(shown().frames[item.iItem], item.iSubItem, item.pszText, item.cchTextMax);
      return 0;
    }
    case NM_CUSTOMDRAW: return custom_draw(reinterpret_cast<NMLVCUSTOMDRAW*>(h));
    case LVN_ITEMCHANGED: {
      const NMLISTVIEW* c = reinterpret_cast<NMLISTVIEW*>(h);
      if ((c->uChanged & LVIF_STATE) && (c->uNewState & LVIS_SELECTED) && !(c->uOldState & LVIS_SELECTED))
        view_frame(c->iItem);
      return 0;
    }
  }
  return 0;
}

int write_frames(const wchar_t* path, const ModbusFrameList& frames, int64_t origin_us);

// The CSV of what the list shows, every frame of it.
void export_frames(HWND dlg) {
  if (g_worker.shown.count <= 0) {
    show_message(dlg, kTextNoDataToExport, 0, L"Quorrin");
    return;
  }
  wchar_t path[MAX_PATH] = L"";
  if (!file_chooser(dlg, kChooseExport, path)) return;
  const int failure = write_frames(path, shown(), g_worker.shown.origin_us);
  if (failure) show_texts(dlg, L"Quorrin", {failure}, path);
}

// The summary column gives up what the list lacks, so the columns fit
// without a horizontal scroll bar: under Wine's default theme each scroll
// bar is redrawn, at 7 ms a time, whenever the row count changes.
void fit_columns() {
  RECT r;
  GetClientRect(g_mon.list, &r);
  int total = 0;
  for (int k = 0; k < kColumns; k++) total += window_px(g_mon.list, kColumnWidths[k]);
  const int room = r.right - GetSystemMetrics(SM_CXVSCROLL) - total;
  if (room >= 0) return;
  const int width = window_px(g_mon.list, kColumnWidths[kColSummary]) + room, least = window_px(g_mon.list, 80);
  SendMessageW(g_mon.list, LVM_SETCOLUMNWIDTH, kColSummary, width > least ? width : least);
}

void on_init(HWND dlg) {
  g_mon.window = dlg;
  {
    std::lock_guard<std::mutex> hold(g_mon.options_lock);
    g_mon.options = ModbusMonitorOptions{};
    g_mon.options.mode = kModbusRtu;
  }
  ui_thread_call(options_publish, nullptr);
  g_mon.list = GetDlgItem(dlg, IDC_MBM_LIST);
  g_mon.listed = 0;
  g_worker.thread_started = worker_started;
  g_mon.started = modbus_monitor_worker_start(&g_worker, view_capture()) == 0;
  tick_log_open();
  set_dialog_text(dlg, 0, kTextMonitorTitle);
  set_dialog_text(dlg, IDC_MBM_EXPORT, kTextMonitorExport);
  set_dialog_text(dlg, IDC_MBM_CLOSE, kTextClose);
  get_text(kTextMonitorRequest, g_mon.role[0]);
  get_text(kTextMonitorAnswer, g_mon.role[1]);
  SendMessageW(g_mon.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  SendMessageW(g_mon.list, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotBackground)));
  SendMessageW(g_mon.list, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotBackground)));
  SendMessageW(g_mon.list, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotText)));
  for (int k = 0; k < kColumns; k++) {
    wchar_t head[kMessageTextUnits] = L"";
    get_text(kColumnTexts[k], head);
    LVCOLUMNW c = {};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
    c.fmt = (k == kColSlave || k == kColLatency) ? LVCFMT_RIGHT : LVCFMT_LEFT;  // the first column is always left aligned
    c.cx = window_px(g_mon.list, kColumnWidths[k]);
    c.pszText = head;
    c.iSubItem = k;
    SendMessageW(g_mon.list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(k), reinterpret_cast<LPARAM>(&c));
  }
  fit_columns();
  show_status();
  refresh();
  SetTimer(dlg, kRefreshTimer, kRefreshPeriodMs, nullptr);
  dialog_look_init(dlg);
}

// Closing destroys the window and ends its thread's message loop; so does
// the main window's end (modbus_monitor_window_close).
void on_destroy(HWND dlg) {
  KillTimer(dlg, kRefreshTimer);
  modbus_monitor_worker_stop(&g_worker);
  if (g_mon.tick_log != INVALID_HANDLE_VALUE) CloseHandle(g_mon.tick_log);
  g_mon.tick_log = INVALID_HANDLE_VALUE;
  g_mon.shown_window.store(nullptr);
  g_mon.window = g_mon.list = nullptr;
  g_mon.started = 0;
  PostQuitMessage(0);
}

INT_PTR CALLBACK monitor_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  INT_PTR result = 0;
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return TRUE;
    case WM_TIMER:
      if (wp == kRefreshTimer) {
        LARGE_INTEGER from, to;
        QueryPerformanceCounter(&from);
        refresh();
        QueryPerformanceCounter(&to);
        tick_log_write(from, to);
      }
      return TRUE;
    case WM_NOTIFY:
      SetWindowLongPtrW(dlg, DWLP_MSGRESULT, on_notify(reinterpret_cast<NMHDR*>(lp)));
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDC_MBM_EXPORT) export_frames(dlg);
      else if (LOWORD(wp) == IDC_MBM_CLOSE) DestroyWindow(dlg);
      return TRUE;
    case WM_CLOSE: DestroyWindow(dlg); return TRUE;
    case WM_DESTROY: on_destroy(dlg); return TRUE;
    default:
      if (dialog_look(dlg, msg, wp, lp, &result)) return result;
      return FALSE;
  }
}

// The CSV of `frames` into a new file at `path`; a file that could not be
// written whole is removed. Returns 0 or the message text of the failure.
int write_frames(const wchar_t* path, const ModbusFrameList& frames, int64_t origin_us) {
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return kTextFileOpenFailed;
  int result = 0;
  const ByteSink sink = file_sink(f);
  if (modbus_monitor_write_csv(frames.frames, frames.n, origin_us, &sink)) result = kTextExportWriteFailed;
  if (!CloseHandle(f)) result = kTextExportWriteFailed;
  if (result) DeleteFileW(path);
  return result;
}

}  // namespace

void modbus_monitor_options_now(ModbusMonitorOptions* out) { options_fill(out); }

int modbus_monitor_export(const wchar_t* path) {
  // One whole copy of the capture, decoded into lists that grow: every
  // frame is written, or the export fails with a message.
  CaptureSnapshot snap;
  if (capture_snapshot_allocate(&snap)) return kTextExportNoMemory;
  int result = capture_snapshot_take(view_capture(), &snap) ? kTextExportNoMemory : 0;
  if (result == 0 && snap.count == 0) result = kTextNoDataToExport;
  ModbusFrameList frames, scratch;
  if (result == 0) {
    // The command line's export: its thread owns the settings (no window
    // thread ever publishes them here).
    ModbusMonitorOptions o;
    options_fill(&o);
    o.events = snap.events;
    o.event_count = snap.event_count;
    o.base = snap.base;
    modbus_monitor_decode_either(snap.records, snap.times, snap.count, &o, &frames, &scratch, nullptr, nullptr);
    if (frames.dropped) result = kTextExportNoMemory;
  }
  if (result == 0)
    result = write_frames(path, frames, timeline_first_time_us(snap.records, snap.times, snap.count));
  modbus_frame_list_free(&frames);
  modbus_frame_list_free(&scratch);
  capture_snapshot_free(&snap);
  return result;
}

namespace {

struct ExportFrames {
  std::vector<ModbusFrame> batch;  // decided since the last write
  int failed;                      // no memory for them
};

void export_frame(void* ctx, const ModbusFrame& m, const ModbusFrame*) {
  ExportFrames* e = static_cast<ExportFrames*>(ctx);
  try {
    e->batch.push_back(m);
  } catch (...) {
    e->failed = 1;
  }
}

}  // namespace

int modbus_monitor_export_windows(const wchar_t* path, CaptureSnapshot* (*next)(void* ctx, LineShape shape[2]),
                                  void* ctx) {
  // The windows go through Find's bad-frame pass, which carries what a
  // window's end may have cut into the next and decides each frame once,
  // as the capture in one piece would read it: the CSV and /find
  // /badframe read the same frames.
  static FindQuery q;
  q = FindQuery{};
  q.what = kFindBadFrame;
  q.streams = 0xF;
  options_fill(&q.modbus);  // the command line's thread owns the settings
  LineShape shape[2] = {q.modbus.shape[0], q.modbus.shape[1]};
  CaptureSnapshot* snap = next(ctx, shape);
  if (!snap) return kTextNoDataToExport;
  static FindPass pass;
  find_pass_end(&pass);
  pass = FindPass{};
  if (find_pass_begin(&pass, q)) return kTextExportNoMemory;
  ExportFrames frames{{}, 0};
  pass.on_frame = export_frame;
  pass.on_frame_ctx = &frames;
  FindList none = {nullptr, 0, 0, 0};
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    find_pass_end(&pass);
    return kTextFileOpenFailed;
  }
  const ByteSink sink = file_sink(f);
  int result = 0;
  int64_t origin = kTimeUnknown;
  int header = 1;
  auto write = [&]() {
    if (frames.failed) result = kTextExportNoMemory;
    if (!result && modbus_monitor_write_csv(frames.batch.data(), static_cast<int32_t>(frames.batch.size()), origin,
                                            &sink, header))
      result = kTextExportWriteFailed;
    header = 0;
    frames.batch.clear();
  };
  for (; snap && !result; snap = next(ctx, shape)) {
    if (origin == kTimeUnknown) origin = timeline_first_time_us(snap->records, snap->times, snap->count);
    if (find_pass_run(&pass, *snap, &none, nullptr, shape)) result = kTextExportNoMemory;
    find_pass_next_stretch(&pass);
    write();
  }
  if (!result) {
    find_pass_finish(&pass, &none, nullptr);
    write();
  }
  find_pass_end(&pass);
  if (!CloseHandle(f)) result = kTextExportWriteFailed;
  if (result) DeleteFileW(path);
  return result;
}

namespace {

// The monitor's thread: makes the window, runs its messages until it is
// destroyed, and ends.
DWORD WINAPI monitor_thread(void*) {
  HWND dlg = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MODBUS_MONITOR), g_mon.owner, monitor_proc, 0);
  if (!dlg) return 1;
  g_mon.shown_window.store(dlg);
  // A close that came while the window was being made found none to close.
  if (g_mon.closing.load()) DestroyWindow(dlg);
  else ShowWindow(dlg, SW_SHOW);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(dlg, &m)) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return 0;
}

// 1 while the monitor's thread lives; forgets a thread that has ended.
int monitor_thread_lives() {
  if (!g_mon.thread) return 0;
  if (WaitForSingleObject(g_mon.thread, 0) == WAIT_TIMEOUT) return 1;
  CloseHandle(g_mon.thread);
  g_mon.thread = nullptr;
  return 0;
}

}  // namespace

void modbus_monitor_window_open(HWND owner) {
  if (monitor_thread_lives()) {
    // Open already: bring it back, even from the taskbar (see tool_window_open).
    HWND w = g_mon.shown_window.load();
    if (!w) return;  // still being made
    if (IsIconic(w)) ShowWindow(w, SW_RESTORE);
    SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(w);
    return;
  }
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  g_mon.owner = owner;
  g_mon.closing.store(0);
  g_mon.thread = CreateThread(nullptr, 0, monitor_thread, nullptr, 0, nullptr);
  if (!g_mon.thread) show_message(owner, kTextMonitorNoMemory, 0, L"Quorrin");
}

int modbus_monitor_window_close() {
  if (!monitor_thread_lives()) return 0;
  g_mon.closing.store(1);
  HWND w = g_mon.shown_window.load();
  if (w) PostMessageW(w, WM_CLOSE, 0, 0);
  // The monitor's thread may be asking this thread for the settings while
  // it closes: answer such calls while waiting for its end.
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 10000) {
    const DWORD left = 10000 - (GetTickCount() - start);
    if (MsgWaitForMultipleObjects(1, &g_mon.thread, FALSE, left, QS_SENDMESSAGE) != WAIT_OBJECT_0 + 1) break;
    MSG m;
    PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  return monitor_thread_lives();
}
