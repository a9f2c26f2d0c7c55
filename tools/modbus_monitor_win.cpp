// The Modbus monitor window (dialog 128): modeless, one at a time. It reads
// the whole capture as Modbus frames (tools/modbus_monitor.cpp) in the
// framing that finds more good frames, with the line monitor mode and the
// line speeds of the settings, and shows them in a virtual report list: the
// rows are drawn from the decoded array, nothing is copied into the list.
//
// A timer looks at the capture every 250 ms and decodes again only when it
// changed (more records, a clear, a load, a wrap, another mode or speed).
// The capture is read on this thread below the write position without the
// lock, as every reader here does (app/capture.h). A full buffer decodes in
// both framings in about 5 ms when it holds polling traffic and in about
// 36 ms when it holds nothing but noise, the slowest case (native build).
//
// Choosing a row moves the data view to the row holding the frame's first
// byte. "Export..." writes the CSV of the capture as the command line's
// "/modbus" does, from a copy taken under the lock.
#include "tools/modbus_monitor_win.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "app/chrome_win.h"
#include "resources/resource.h"
#include "tools/modbus_monitor.h"
#include "ui/dialog_look_win.h"
#include "ui/file_chooser_win.h"
#include "view/fonts_win.h"
#include "timeline/chunks.h"
#include "timeline/export.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshPeriodMs = 250;
constexpr int kColumns = 9;
constexpr int kColumnWidths[kColumns] = {70, 50, 66, 48, 46, 170, 270, 72, 90};  // pixels

// What the frames shown were decoded from: a change of any of it decodes again.
struct Source {
  int32_t count;
  int32_t line_monitor;
  int32_t baud[2];
  int64_t first_time, last_time;
  CaptureRecord first, last;
};

struct MonitorWindow {
  HWND window;
  HWND list;
  Source source;
  int32_t n;
  int64_t dropped;
  int64_t origin_us;  // where the time column counts from
  wchar_t direction[2][kMessageTextUnits];
};
MonitorWindow g_mon = {};
ModbusFrame g_frames[kModbusMonitorCapacity];
ModbusFrame g_scratch[kModbusMonitorCapacity];

ModbusMonitorOptions options_now() {
  ModbusMonitorOptions o = {};
  o.mode = kModbusRtu;
  o.line_monitor = settings_line_monitor(&g_app.settings);
  o.baud[0] = g_app.settings.port[0].rs_speed;
  o.baud[1] = g_app.settings.port[1].rs_speed;
  return o;
}

Source source_now(const ModbusMonitorOptions& o) {
  const Capture& cap = g_app.capture;
  Source s = {};
  s.count = capture_write_position(&cap);
  s.line_monitor = o.line_monitor;
  s.baud[0] = o.baud[0];
  s.baud[1] = o.baud[1];
  if (s.count > 0) {
    s.first = cap.records[0];
    s.last = cap.records[s.count - 1];
    s.first_time = cap.times[0];
    s.last_time = cap.times[s.count - 1];
  }
  return s;
}

int same_record(const CaptureRecord& a, const CaptureRecord& b) {
  const uint8_t* x = reinterpret_cast<const uint8_t*>(&a);
  const uint8_t* y = reinterpret_cast<const uint8_t*>(&b);
  for (size_t i = 0; i < sizeof a; i++)
    if (x[i] != y[i]) return 0;
  return 1;
}

int same_source(const Source& a, const Source& b) {
  return a.count == b.count && a.line_monitor == b.line_monitor && a.baud[0] == b.baud[0] && a.baud[1] == b.baud[1] &&
         a.first_time == b.first_time && a.last_time == b.last_time && same_record(a.first, b.first) &&
         same_record(a.last, b.last);
}

void show_status() {
  int32_t bad = 0;
  for (int32_t i = 0; i < g_mon.n; i++) bad += g_frames[i].check != kMonitorOk;
  wchar_t format[kMessageTextUnits] = L"", line[2 * kMessageTextUnits] = L"";
  if (g_mon.n == 0) {
    get_text(kTextMonitorNoFrames, line);
  } else {
    get_text(kTextMonitorStatus, format);
    if (message_fields_match(reinterpret_cast<const char16_t*>(format), message_fields(kTextMonitorStatus)))
      _snwprintf(line, sizeof line / sizeof line[0] - 1, format, static_cast<int>(g_mon.n), static_cast<int>(bad));
    else
      lstrcpynW(line, format, sizeof line / sizeof line[0]);
  }
  SetDlgItemTextW(g_mon.window, IDC_MBM_STATUS, line);
}

void refresh(int force) {
  const ModbusMonitorOptions o = options_now();
  const Source now = source_now(o);
  if (!force && same_source(now, g_mon.source)) return;
  g_mon.source = now;
  const Capture& cap = g_app.capture;
  int32_t mode = kModbusRtu;
  g_mon.n = modbus_monitor_decode_either(cap.records, cap.times, now.count, &o, g_frames, g_scratch,
                                         kModbusMonitorCapacity, &g_mon.dropped, &mode);
  g_mon.origin_us = timeline_first_time_us(cap.records, cap.times, now.count);
  SendMessageW(g_mon.list, LVM_SETITEMCOUNT, static_cast<WPARAM>(g_mon.n), LVSICF_NOSCROLL);
  InvalidateRect(g_mon.list, nullptr, FALSE);
  show_status();
}

// The text of one cell, as the CSV writes it where the two agree.
void cell_text(const ModbusFrame& f, int column, wchar_t* out, int units) {
  char text[kModbusMonitorSummaryChars] = "";
  const int known = f.check != kMonitorNotModbus;
  switch (column) {
    case 0:
      if (f.time_us != kTimeUnknown && g_mon.origin_us != kTimeUnknown)
        std::snprintf(text, sizeof text, "%.6f", static_cast<double>(f.time_us - g_mon.origin_us) / 1e6);
      break;
    case 1: std::snprintf(text, sizeof text, "CH%d", f.channel); break;
    case 2: lstrcpynW(out, g_mon.direction[f.direction == kMonitorAnswer], units); return;
    case 3: std::snprintf(text, sizeof text, "%s", f.mode == kModbusAscii ? "ASCII" : "RTU"); break;
    case 4:
      if (known) std::snprintf(text, sizeof text, "%d", f.slave);
      break;
    case 5:
      if (known) std::snprintf(text, sizeof text, "%02X %s", f.function, modbus_function_name(f.function));
      break;
    case 6: modbus_monitor_summary(&f, text); break;
    case 7: std::snprintf(text, sizeof text, "%s", modbus_check_name(f.check)); break;
    case 8:
      if (f.direction == kMonitorAnswer && f.latency_us != kTimeUnknown)
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
  if (i >= static_cast<DWORD_PTR>(g_mon.n)) return CDRF_DODEFAULT;
  // A chosen row keeps the list's own selection colors.
  if (SendMessageW(g_mon.list, LVM_GETITEMSTATE, i, LVIS_SELECTED) & LVIS_SELECTED) return CDRF_DODEFAULT;
  const ModbusFrame& f = g_frames[i];
  if (f.check != kMonitorOk || (f.fields & kFieldException)) {
    cd->clrText = slot_color(kSlotEofText);
    cd->clrTextBk = slot_color(kSlotEofBack);
  } else {
    cd->clrText = slot_color(kSlotText);
    cd->clrTextBk = slot_color(kSlotBackground);
  }
  return CDRF_NEWFONT;
}

// The data view shows the row that holds the frame's first byte at its top.
void view_frame(int32_t i) {
  if (i < 0 || i >= g_mon.n || !g_main_window) return;
  const int32_t cells = view_cells_per_row_now(g_main_window);
  const int32_t count = capture_write_position(&g_app.capture);
  if (cells < 1 || count == 0) return;
  int32_t record = g_frames[i].first_record;
  if (record >= count) record = count - 1;
  CaptureView& v = g_app.capture.view;
  v.follow_mode = 0;
  v.view_position = record / cells * cells;
  InvalidateRect(g_main_window, nullptr, TRUE);
  UpdateWindow(g_main_window);
}

LRESULT on_notify(NMHDR* h) {
  if (h->idFrom != IDC_MBM_LIST) return 0;
  switch (h->code) {
    case LVN_GETDISPINFOW: {
      LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(h)->item;
      if ((item.mask & LVIF_TEXT) && item.iItem >= 0 && item.iItem < g_mon.n && item.cchTextMax > 0)
        cell_text(g_frames[item.iItem], item.iSubItem, item.pszText, item.cchTextMax);
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

void export_frames(HWND dlg) {
  if (capture_write_position(&g_app.capture) == 0) {
    show_message(dlg, kTextNoDataToExport, 0, L"Quorrin");
    return;
  }
  wchar_t path[MAX_PATH] = L"";
  if (!file_chooser(dlg, kChooseExport, path)) return;
  const int failure = modbus_monitor_export(path);
  if (failure) show_texts(dlg, L"Quorrin", {failure}, path);
}

void on_init(HWND dlg) {
  g_mon.window = dlg;
  g_mon.list = GetDlgItem(dlg, IDC_MBM_LIST);
  g_mon.source = Source{};
  g_mon.source.count = -1;  // nothing decoded yet
  set_dialog_text(dlg, 0, kTextMonitorTitle);
  set_dialog_text(dlg, IDC_MBM_EXPORT, kTextMonitorExport);
  set_dialog_text(dlg, IDC_MBM_CLOSE, kTextClose);
  get_text(kTextMonitorRequest, g_mon.direction[0]);
  get_text(kTextMonitorAnswer, g_mon.direction[1]);
  SendMessageW(g_mon.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  SendMessageW(g_mon.list, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotBackground)));
  SendMessageW(g_mon.list, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotBackground)));
  SendMessageW(g_mon.list, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotText)));
  for (int k = 0; k < kColumns; k++) {
    wchar_t head[kMessageTextUnits] = L"";
    get_text(kTextMonitorColumnFirst + k, head);
    LVCOLUMNW c = {};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
    c.fmt = (k == 4 || k == 8) ? LVCFMT_RIGHT : LVCFMT_LEFT;  // the first column is always left aligned
    c.cx = kColumnWidths[k];
    c.pszText = head;
    c.iSubItem = k;
    SendMessageW(g_mon.list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(k), reinterpret_cast<LPARAM>(&c));
  }
  refresh(1);
  SetTimer(dlg, kRefreshTimer, kRefreshPeriodMs, nullptr);
  dialog_look_init(dlg);
}

// Closing destroys the window; so does the main window's end, which takes
// its owned windows with it.
void on_destroy(HWND dlg) {
  KillTimer(dlg, kRefreshTimer);
  g_mon.window = g_mon.list = nullptr;
  g_mon.n = 0;
}

INT_PTR CALLBACK monitor_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  INT_PTR result = 0;
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return TRUE;
    case WM_TIMER:
      if (wp == kRefreshTimer) refresh(0);
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

// The CSV's output: one file handle.
int file_write(void* ctx, const char* bytes, int n) {
  DWORD done = 0;
  return WriteFile(static_cast<HANDLE>(ctx), bytes, static_cast<DWORD>(n), &done, nullptr) &&
                 done == static_cast<DWORD>(n)
             ? 0
             : 1;
}

}  // namespace

int modbus_monitor_export(const wchar_t* path) {
  Capture* cap = &g_app.capture;
  const int32_t count = capture_write_position(cap);
  if (count == 0) return kTextNoDataToExport;
  // A copy taken under the lock, as the capture export takes it.
  CaptureRecord* records = static_cast<CaptureRecord*>(std::malloc(static_cast<size_t>(count) * sizeof(CaptureRecord)));
  int64_t* times = static_cast<int64_t*>(std::malloc(static_cast<size_t>(count) * sizeof(int64_t)));
  ModbusFrame* frames = static_cast<ModbusFrame*>(std::malloc(2 * sizeof(ModbusFrame) * kModbusMonitorCapacity));
  int result = 0;
  if (!records || !times || !frames) result = kTextExportNoMemory;
  else if (capture_copy(cap, 0, count, records) || capture_copy_times(cap, 0, count, times)) result = kTextExportNoMemory;
  if (result == 0) {
    const ModbusMonitorOptions o = options_now();
    const int32_t n = modbus_monitor_decode_either(records, times, count, &o, frames, frames + kModbusMonitorCapacity,
                                                   kModbusMonitorCapacity, nullptr, nullptr);
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
      result = kTextFileOpenFailed;
    } else {
      TimelineSink sink = {f, file_write};
      if (modbus_monitor_write_csv(frames, n, records, times, count, &sink)) result = kTextExportWriteFailed;
      if (!CloseHandle(f)) result = kTextExportWriteFailed;
      if (result) DeleteFileW(path);
    }
  }
  std::free(records);
  std::free(times);
  std::free(frames);
  return result;
}

void modbus_monitor_window_open(HWND owner) {
  if (g_mon.window) {
    // Open already: bring it back, even from the taskbar (see link_stats_window_open).
    if (IsIconic(g_mon.window)) ShowWindow(g_mon.window, SW_RESTORE);
    SetWindowPos(g_mon.window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(g_mon.window);
    return;
  }
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  HWND dlg = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MODBUS_MONITOR), owner, monitor_proc, 0);
  if (dlg) ShowWindow(dlg, SW_SHOW);
}
