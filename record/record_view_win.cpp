#include "record/record_view_win.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <utility>

#include "app/chrome_win.h"
#include "app/commands.h"
#include "record/record_files_win.h"
#include "record/recorder_win.h"
#include "find/find_query.h"
#include "timeline/chunks.h"
#include "timeline/export.h"
#include "timeline/export_win.h"
#include "ui/dpi_win.h"
#include "ui/file_chooser_win.h"
#include "view/data_view_win.h"
#include "view/fonts_win.h"
#include "view/highlight.h"

namespace {

// Reading back this many bytes of the files gives one window or less (a
// window holds at least 114,464 records, each byte of a file at most one),
// so the window read from there reaches the place it was read back from.
constexpr uint64_t kStepBackBytes = 96 * 1024;
constexpr int kScrollRange = 10000;

struct RecordingView {
  std::atomic<int> shown;  // the tool windows' threads ask too
  // The window, as the data view and the tools take a capture. Its blocks
  // stay once made: a tool's worker may be copying it as the view goes back.
  Capture capture;
  RecordFiles* files;
  RecordReader* reader;
  RecordStream stream;
  RecordWindow window;
  uint64_t file_start[kRecordFolderFilesMax + 1];  // each file's first byte in the recording as one
  int64_t file_clock[kRecordFolderFilesMax];       // each file's run clock (record_run_clock), decided at the open
  uint64_t total;
  int64_t first_time, last_time;    // the recording's first and last recorded times
  uint64_t window_pos, window_end;  // where in the recording the window shown lies
  int at_end;                       // nothing follows the window shown
  int serial;                       // counts the recordings opened
};
RecordingView g_rv;
// The window shown before the one shown now, when this was read on from
// that one (none after a seek): what the highlight rules' colouring reads
// first, as Find reads the recording on across windows.
CaptureSnapshot g_before;
// The window after the one shown, read ahead from the stream where the shown
// one ended (recording_after); a step on takes it instead of reading. Any
// move of the stream elsewhere (stream_seek) drops it.
struct ReadAhead {
  RecordWindow window;
  int valid;
  int at_end;          // nothing follows it
  uint64_t end;        // where in the recording it ends
  int32_t taken;       // entries it took
};
ReadAhead g_ahead;
int64_t g_around_serial = 0;

// The part of the recording on show, for the tool windows' titles, which
// their own threads read.
std::mutex g_part_lock;
wchar_t g_part[kMessageTextUnits + 64];

// "10:00:00.000" of a window's time into out (13 units), "-" when unknown.
void time_of_day(int64_t t, wchar_t out[13]) {
  const int64_t wall = time_add_us(t, g_rv.capture.wall_offset_us);
  char full[32] = {};
  out[0] = L'-';
  out[1] = 0;
  if (t == kTimeUnknown || timeline_format_wall(wall, local_zone_minutes_at(wall), full)) return;
  for (int i = 0; i < 12; i++) out[i] = static_cast<wchar_t>(full[11 + i]);
  out[12] = 0;
}

void part_set(const CaptureSnapshot* s) {
  wchar_t text[sizeof g_part / sizeof g_part[0]] = L"";
  if (s) {
    int64_t last = kTimeUnknown;
    for (int32_t i = s->count - 1; i >= 0 && last == kTimeUnknown; i--) last = s->times[i];
    wchar_t from[13], to[13], format[kMessageTextUnits] = L"";
    time_of_day(timeline_first_time_us(s->records, s->times, s->count), from);
    time_of_day(last, to);
    get_text(kTextRecordingPart, format);
    if (message_fields_match(reinterpret_cast<const char16_t*>(format), message_fields(kTextRecordingPart)))
      _snwprintf(text, sizeof text / sizeof text[0] - 1, format, from, to);
  }
  std::lock_guard<std::mutex> hold(g_part_lock);
  wcscpy(g_part, text);
}

void release() {
  if (g_rv.files) record_files_end(g_rv.files);
  std::free(g_rv.files);
  std::free(g_rv.reader);
  g_rv.files = nullptr;
  g_rv.reader = nullptr;
  capture_snapshot_free(&g_rv.window.snap);
  capture_snapshot_free(&g_before);
  g_before.count = g_before.event_count = 0;
  capture_snapshot_free(&g_ahead.window.snap);
  g_ahead.valid = 0;
  g_around_serial++;
  g_rv.shown = 0;
  part_set(nullptr);
}

// Where the stream reads now, as a place in the recording as one.
uint64_t reading_place() {
  const int k = g_rv.files->next - 1;
  if (k < 0) return 0;
  if (!g_rv.stream.open) return g_rv.file_start[k + 1];
  return g_rv.file_start[k] + g_rv.reader->block_offset;
}

// Keeps the window shown in g_before, when the next one is read on from it.
void before_keep(int follows) {
  g_before.count = g_before.event_count = 0;
  if (!follows || !g_before.records) return;
  const int32_t w = capture_write_position(&g_rv.capture);
  std::memcpy(g_before.records, g_rv.capture.records, static_cast<size_t>(w) * sizeof *g_before.records);
  std::memcpy(g_before.times, g_rv.capture.times, static_cast<size_t>(w) * sizeof *g_before.times);
  g_before.count = w;
  g_before.event_count = capture_copy_events(&g_rv.capture, g_before.events, &g_before.base);
}

// Fills the next window from the stream (or takes the one read ahead) and
// puts it where the view shows it, at its top. 0 when the stream had
// nothing more.
int show_window() {
  // Read on from the window shown: the stream goes on where it ended.
  before_keep(g_rv.shown && g_rv.window_pos == g_rv.window_end && capture_write_position(&g_rv.capture) > 0);
  int32_t taken = 0;
  g_around_serial++;
  if (g_ahead.valid && g_rv.window_pos == g_rv.window_end) {
    // Read ahead already: the stream stands where that window ended.
    std::swap(g_rv.window, g_ahead.window);
    g_ahead.valid = 0;
    taken = g_ahead.taken;
    g_rv.at_end = g_ahead.at_end;
    g_rv.window_end = g_ahead.end;
  } else {
    g_ahead.valid = 0;
    taken = record_window_fill(&g_rv.stream, &g_rv.window);
    g_rv.at_end = !g_rv.stream.has_pending;
    g_rv.window_end = reading_place();
  }
  if (taken == 0) return 0;
  CaptureSnapshot& s = g_rv.window.snap;
  // The times are the recorded times of day: the wall offset that shows
  // them as those times here (the tooltip, the status bar, the exports).
  const int64_t first = timeline_first_time_us(s.records, s.times, s.count);
  const int64_t offset = first == kTimeUnknown ? 0 : -static_cast<int64_t>(local_zone_minutes_at(first)) * 60000000;
  g_rv.capture.wall_offset_us = offset;
  capture_load(&g_rv.capture, reinterpret_cast<const uint8_t*>(s.records), s.count, s.times, offset, s.events,
               s.event_count);
  CaptureView& v = g_rv.capture.view;
  v = CaptureView{};
  v.follow_mode = 0;
  part_set(&s);
  return 1;
}

// Sets the view's stream at the first block at or after `pos`: 0 when no
// file from there on opens.
int stream_seek(uint64_t pos) {
  g_ahead.valid = 0;
  g_around_serial++;
  int k = 0;
  while (k + 1 < g_rv.files->list.count && g_rv.file_start[k + 1] <= pos) k++;
  g_rv.files->next = k;
  g_rv.stream.open = 0;
  g_rv.stream.has_pending = 0;
  if (!record_files_open_next(g_rv.files, g_rv.reader)) return 0;
  // A file that did not open was passed over: the next one is read from its start.
  const uint64_t offset = g_rv.files->next - 1 == k && pos > g_rv.file_start[k] ? pos - g_rv.file_start[k] : 0;
  record_stream_at(&g_rv.stream, offset, g_rv.file_clock[g_rv.files->next - 1]);
  return 1;
}

// Reads the window that begins at the first block at or after `pos`.
int read_from(uint64_t pos) {
  if (!stream_seek(pos)) return 0;
  g_rv.window_pos = pos;
  return show_window();
}

int32_t cells_per_row(HWND owner) {
  const int32_t n = view_cells_per_row_now(owner);
  return n < 1 ? 1 : n;
}

// The recording's scroll bar: a control of its own that spans only the
// data area, between the toolbar and the status bar (the window's own
// scroll bar would run beside them).
constexpr int kRecordingBarId = 1002;
HWND g_bar = nullptr;

void scroll_bar_update(HWND) {
  SCROLLINFO si = {};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  si.nMin = 0;
  si.nMax = kScrollRange;
  si.nPage = 1;
  const int32_t count = capture_write_position(&g_rv.capture);
  const uint64_t span = g_rv.window_end > g_rv.window_pos ? g_rv.window_end - g_rv.window_pos : 0;
  const uint64_t at = g_rv.window_pos + (count > 0 ? span * static_cast<uint64_t>(g_rv.capture.view.view_position) /
                                                         static_cast<uint64_t>(count)
                                                   : 0);
  si.nPos = g_rv.total ? static_cast<int>(at * kScrollRange / g_rv.total) : 0;
  if (si.nPos > kScrollRange) si.nPos = kScrollRange;
  if (g_bar) SetScrollInfo(g_bar, SB_CTL, &si, TRUE);
}

void scroll_bar_show(HWND owner, int show) {
  if (show && !g_bar)
    g_bar = CreateWindowExW(0, L"SCROLLBAR", nullptr, WS_CHILD | SBS_VERT, 0, 0, 0, 0, owner,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kRecordingBarId)), g_instance, nullptr);
  if (!g_bar) return;
  ShowWindow(g_bar, show ? SW_SHOW : SW_HIDE);
  if (!show) view_reserve_right(0);
  recording_layout(owner);
}

void repaint(HWND owner) {
  InvalidateRect(owner, nullptr, TRUE);
  UpdateWindow(owner);
  scroll_bar_update(owner);
  statusbar_refresh_color();
  InvalidateRect(g_statusbar, nullptr, FALSE);
}

// The window before the one shown, the view at the rows that came just
// before what it showed at its top.
void previous_window(HWND owner) {
  if (g_rv.window_pos == 0) return;
  const int32_t count = capture_write_position(&g_rv.capture);
  const int64_t top = timeline_first_time_us(g_rv.capture.records, g_rv.capture.times, count);
  const uint64_t from = g_rv.window_pos > kStepBackBytes ? g_rv.window_pos - kStepBackBytes : 0;
  if (!read_from(from)) return;
  const int32_t n = cells_per_row(owner);
  const int32_t rows = view_visible_rows_now(owner);
  const int32_t w = capture_write_position(&g_rv.capture);
  int32_t i = 0;
  while (i < w && (g_rv.capture.times[i] == kTimeUnknown || g_rv.capture.times[i] < top)) i++;
  const int32_t row_start = i / n * n - (rows > 1 ? rows - 1 : 1) * n;
  g_rv.capture.view.view_position = row_start < 0 ? 0 : row_start;
}

// The recorded time of the first entry at or after `pos`, read through the
// view's own stream (the caller reads a window again after); kTimeUnknown
// when nothing follows.
int64_t time_at(uint64_t pos) {
  if (!stream_seek(pos)) return kTimeUnknown;
  RecordEntry e;
  while (record_stream_next(&g_rv.stream, &e))
    if (e.time_us != kTimeUnknown) return e.time_us;
  return kTimeUnknown;
}

// The view with record `first` on its second row, records first .. last marked.
void view_at(HWND owner, int32_t first, int32_t last) {
  const int32_t n = cells_per_row(owner);
  CaptureView& v = g_rv.capture.view;
  const int32_t row = first / n * n - n;
  v.view_position = row < 0 ? 0 : row;
  v.mark_first = first;
  v.mark_last = last;
}

// The recorded time of the recording's last entry, read back from the end
// through the view's own stream (the caller reads a window again after).
int64_t last_time() {
  int64_t last = kTimeUnknown;
  for (uint64_t back = kStepBackBytes; last == kTimeUnknown; back *= 2) {
    if (stream_seek(g_rv.total > back ? g_rv.total - back : 0)) {
      RecordEntry e;
      while (record_stream_next(&g_rv.stream, &e))
        if (e.time_us != kTimeUnknown) last = e.time_us;
    }
    if (back >= g_rv.total) break;
  }
  return last;
}

void go_end(HWND owner) {
  // The last window: read back from the end until a window is found, then on to the end.
  int found = 0;
  for (uint64_t back = kStepBackBytes; !found; back *= 2) {
    found = read_from(g_rv.total > back ? g_rv.total - back : 0);
    if (back >= g_rv.total) break;
  }
  while (found && !g_rv.at_end) {
    g_rv.window_pos = g_rv.window_end;
    if (!show_window()) break;
  }
  g_rv.capture.view.view_position = view_jump_end(cells_per_row(owner), capture_write_position(&g_rv.capture));
}

}  // namespace

Capture* view_capture() { return g_rv.shown ? &g_rv.capture : &g_app.capture; }
const CaptureSnapshot* recording_before() { return g_rv.shown && g_before.count > 0 ? &g_before : nullptr; }
const CaptureSnapshot* recording_after() {
  if (!g_rv.shown || g_rv.at_end) return nullptr;
  if (!g_ahead.valid) {
    if (capture_snapshot_allocate(&g_ahead.window.snap)) return nullptr;
    // The stream stands where the shown window ended (every other move of it
    // is a seek, which a window read from its place follows).
    g_ahead.taken = record_window_fill(&g_rv.stream, &g_ahead.window);
    g_ahead.at_end = !g_rv.stream.has_pending;
    g_ahead.end = reading_place();
    g_ahead.valid = 1;
    g_around_serial++;
  }
  return g_ahead.window.snap.count > 0 ? &g_ahead.window.snap : nullptr;
}
int64_t recording_around_serial() { return g_around_serial; }
int32_t recording_after_last() {
  return g_rv.shown && !g_rv.at_end && g_ahead.valid && g_ahead.at_end ? g_ahead.window.snap.count : -1;
}
int32_t recording_edges() {
  if (!g_rv.shown) return 0;
  return (g_rv.window_pos > 0 ? kHighlightWindowBefore : 0) | (g_rv.at_end ? 0 : kHighlightWindowAfter);
}
int recording_shown() { return g_rv.shown; }

int recording_open(HWND owner, const wchar_t* folder, const wchar_t* const* names, int count) {
  recording_close(owner);
  g_rv.files = static_cast<RecordFiles*>(std::calloc(1, sizeof(RecordFiles)));
  g_rv.reader = static_cast<RecordReader*>(std::calloc(1, sizeof(RecordReader)));
  if (!g_rv.files || !g_rv.reader || capture_snapshot_allocate(&g_rv.window.snap) || capture_allocate(&g_rv.capture) ||
      capture_snapshot_allocate(&g_before)) {
    release();
    return kTextExportNoMemory;
  }
  const int failure = record_files_choose(g_rv.files, folder, names, count);
  if (failure) {
    release();
    return failure;
  }
  g_rv.total = 0;
  for (int k = 0; k < g_rv.files->list.count; k++) {
    g_rv.file_start[k] = g_rv.total;
    g_rv.total += g_rv.files->list.sizes[k];
  }
  g_rv.file_start[g_rv.files->list.count] = g_rv.total;
  // One clock per run, decided once over the files' headers as reading
  // from the start decides it, so that a seek into any file reads the
  // times Find and the exports read.
  int has_run = 0;
  int64_t run = 0;
  uint32_t run_id = 0;
  for (int k = 0; k < g_rv.files->list.count; k++) {
    RecordHeader h;
    if (record_files_header(g_rv.files, k, &h)) continue;  // passed over as it is read
    run = record_run_clock(h, has_run, run, run_id);
    run_id = h.run_id;
    has_run = 1;
    g_rv.file_clock[k] = run;
  }
  record_stream_begin(&g_rv.stream, record_files_open_next, g_rv.files, g_rv.reader, {}, {});
  g_rv.serial++;
  g_rv.shown = 1;
  g_rv.first_time = time_at(0);
  g_rv.last_time = last_time();
  if (!read_from(0)) {
    const int none = g_rv.files->not_read == g_rv.files->list.count ? kTextRecordNotRead : kTextNoDataToExport;
    release();
    return none;
  }
  scroll_bar_show(owner, 1);
  repaint(owner);
  return 0;
}

void recording_open_command(HWND owner) {
  // Several names come back as the folder, then each name, each ended by a
  // NUL, the list by a second one.
  static wchar_t chosen[32768];
  recorder_start_folder(chosen);
  const size_t n = wcslen(chosen);
  if (n + 8 < MAX_PATH) wcscpy(chosen + n, L"\\*.qrec");
  if (!file_chooser(owner, kChooseOpenRecording, chosen, sizeof chosen / sizeof chosen[0])) return;
  static const wchar_t* names[kRecordFolderFilesMax];
  int count = 0;
  wchar_t folder[MAX_PATH];
  const wchar_t* second = chosen + wcslen(chosen) + 1;
  if (*second) {
    lstrcpynW(folder, chosen, MAX_PATH);
    for (const wchar_t* p = second; *p && count < kRecordFolderFilesMax; p += wcslen(p) + 1) names[count++] = p;
  } else {
    // One file: the folder it lies in and its name.
    lstrcpynW(folder, chosen, MAX_PATH);
    wchar_t* slash = wcsrchr(folder, L'\\');
    if (!slash) return;
    *slash = 0;
    names[count++] = chosen + (slash - folder) + 1;
  }
  const int failure = recording_open(owner, folder, names, count);
  if (failure) show_texts(owner, L"Quorrin", {failure}, chosen);
}

void recording_open_folder_command(HWND owner) {
  wchar_t folder[MAX_PATH];
  recorder_start_folder(folder);
  if (folder_choose(owner, kTextMenuOpenRecordingFolder, folder)) return;
  const int failure = recording_open(owner, folder, nullptr, 0);
  if (failure) show_texts(owner, L"Quorrin", {failure}, folder);
}

void recording_layout(HWND owner) {
  if (!g_bar || !g_rv.shown) return;
  RECT client, tools = {}, status = {};
  GetClientRect(owner, &client);
  if (g_toolbar) GetWindowRect(g_toolbar, &tools);
  if (g_statusbar) GetWindowRect(g_statusbar, &status);
  MapWindowPoints(nullptr, owner, reinterpret_cast<POINT*>(&tools), 2);
  MapWindowPoints(nullptr, owner, reinterpret_cast<POINT*>(&status), 2);
  const int top = g_toolbar ? tools.bottom : 0;
  const int bottom = g_statusbar ? status.top : client.bottom;
  const int w = window_px(owner, 17);  // a scroll bar's width at 96 DPI, scaled as the window is
  MoveWindow(g_bar, client.right - w, top, w, bottom > top ? bottom - top : 0, TRUE);
  view_reserve_right(w);
}

void recording_close(HWND owner) {
  if (!g_rv.shown && !g_rv.files) return;
  release();
  scroll_bar_show(owner, 0);
  g_app.capture.view.follow_mode = 1;
  InvalidateRect(owner, nullptr, TRUE);
  UpdateWindow(owner);
  statusbar_refresh_color();
  InvalidateRect(g_statusbar, nullptr, FALSE);
}

void recording_scroll(HWND owner, int command) {
  if (!g_rv.shown) return;
  CaptureView& v = g_rv.capture.view;
  const int32_t n = cells_per_row(owner);
  const int32_t w = capture_write_position(&g_rv.capture);
  switch (command) {
    case kCmdScrollEnd: {
      const int32_t next = view_scroll_toward_end(v.view_position, g_app.settings.scrol_pitch, n, w);
      if (next == v.view_position && !g_rv.at_end) {
        g_rv.window_pos = g_rv.window_end;
        show_window();
      } else {
        v.view_position = next;
      }
      break;
    }
    case kCmdScrollStart:
      if (v.view_position == 0) previous_window(owner);
      else v.view_position = view_scroll_toward_start(v.view_position, g_app.settings.scrol_pitch, n);
      break;
    case kCmdJumpStart: read_from(0); break;
    case kCmdJumpEnd: go_end(owner); break;
  }
  repaint(owner);
}

void recording_vscroll(HWND owner, WPARAM code_word) {
  if (!g_rv.shown) return;
  switch (LOWORD(code_word)) {
    case SB_LINEUP: case SB_PAGEUP: recording_scroll(owner, kCmdScrollStart); return;
    case SB_LINEDOWN: case SB_PAGEDOWN: recording_scroll(owner, kCmdScrollEnd); return;
    case SB_TOP: recording_scroll(owner, kCmdJumpStart); return;
    case SB_BOTTOM: recording_scroll(owner, kCmdJumpEnd); return;
    case SB_THUMBPOSITION: {
      const int at = HIWORD(code_word);
      const uint64_t pos = g_rv.total * static_cast<uint64_t>(at) / kScrollRange;
      if (at >= kScrollRange) go_end(owner);
      else if (!read_from(pos)) go_end(owner);
      repaint(owner);
      return;
    }
  }
}

int recording_status_text(int part, char16_t out[64]) {
  if (!g_rv.shown) return 0;
  if (part == 9) {
    wchar_t text[kMessageTextUnits] = L"";
    get_text(kTextBackToLive, text);
    lstrcpynW(wide(out), text, 64);
    return 1;
  }
  // A recording in progress moves along, out of the time's way.
  if (part == 10 && recorder_running()) {
    recorder_status(out);
    return 1;
  }
  if (part != 8) return 0;
  // The time of day of the first chunk on the view's top row.
  const int32_t w = capture_write_position(&g_rv.capture);
  int32_t i = g_rv.capture.view.view_position;
  while (i < w && g_rv.capture.times[i] == kTimeUnknown) i++;
  time_of_day(i < w ? g_rv.capture.times[i] : kTimeUnknown, wide(out));
  return 1;
}

void recording_tool_title(HWND dlg, int title) {
  wchar_t text[2 * kMessageTextUnits + 64] = L"";
  get_text(title, text);
  {
    std::lock_guard<std::mutex> hold(g_part_lock);
    if (g_part[0]) {
      wcscat(text, L" - ");
      wcscat(text, g_part);
    }
  }
  wchar_t now[sizeof text / sizeof text[0]] = L"";
  GetWindowTextW(dlg, now, sizeof now / sizeof now[0]);
  if (text[0] && wcscmp(now, text) != 0) SetWindowTextW(dlg, text);
}

void recording_files_copy(RecordFiles* out, uint64_t* file_start) {
  record_files_begin(out, L"");
  if (!g_rv.files) return;
  lstrcpynW(out->folder, g_rv.files->folder, MAX_PATH);
  lstrcpynW(out->single, g_rv.files->single, MAX_PATH);
  out->list = g_rv.files->list;
  for (int k = 0; k <= out->list.count; k++) file_start[k] = g_rv.file_start[k];
}

int recording_serial() { return g_rv.serial; }

int recording_show_find(HWND owner, uint64_t pos, int64_t chunk_time, uint8_t kind, int32_t within, int32_t span) {
  if (!g_rv.shown) return 1;
  int found = -1;
  // The window read from the block the find's window began in starts no
  // later than that window did; the find is in it or in the next one.
  int shown = read_from(pos);
  for (int tries = 0; shown && found < 0 && tries < 3; tries++) {
    const int32_t w = capture_write_position(&g_rv.capture);
    for (int32_t i = 0; i < w && found < 0; i++)
      if (g_rv.capture.records[i].kind == kind && g_rv.capture.times[i] == chunk_time) found = i;
    if (found < 0 && !g_rv.at_end) {
      g_rv.window_pos = g_rv.window_end;
      shown = show_window();
    } else if (found < 0) {
      break;
    }
  }
  if (found >= 0) {
    const int32_t w = capture_write_position(&g_rv.capture);
    const int32_t first = found + within < w ? found + within : w - 1;
    view_at(owner, first, first + span < w ? first + span : w - 1);
  }
  repaint(owner);
  return found < 0;
}

void recording_time_range(int64_t* first, int64_t* last) {
  *first = g_rv.shown ? g_rv.first_time : kTimeUnknown;
  *last = g_rv.shown ? g_rv.last_time : kTimeUnknown;
}

int recording_go_time(HWND owner, const RecordTime& t) {
  if (!g_rv.shown) return 1;
  const int64_t target = record_time_resolve(t, g_rv.first_time);
  // Past the end: the view stays where it is.
  if (target == kTimeUnknown || g_rv.last_time == kTimeUnknown || target > g_rv.last_time) return 1;
  // Seek: the last place whose first entry comes before the time, to a block.
  uint64_t lo = 0, hi = g_rv.total;
  while (hi - lo > kRecordBlockPayloadMax) {
    const uint64_t mid = lo + (hi - lo) / 2;
    const int64_t at = time_at(mid);
    if (at != kTimeUnknown && at < target) lo = mid;
    else hi = mid;
  }
  int shown = read_from(lo);
  for (int tries = 0; shown && tries < 4; tries++) {
    const int32_t w = capture_write_position(&g_rv.capture);
    const int32_t i = find_time_first(g_rv.capture.times, w, target);
    if (i < w) {
      // The chunk that begins there, marked.
      int32_t last = i;
      while (last + 1 < w && g_rv.capture.records[last + 1].kind == g_rv.capture.records[i].kind) last++;
      view_at(owner, i, last);
      repaint(owner);
      return 0;
    }
    if (g_rv.at_end) break;
    g_rv.window_pos = g_rv.window_end;
    shown = show_window();
  }
  repaint(owner);
  return 1;
}
