// The Find window (dialog 130) and Go to Time (dialog 131).
//
// A search always runs on a worker thread, from one snapshot of the live
// capture (or a loaded log) or through the open recording's files with a
// reader of its own, window by window; the user-interface thread only
// starts it, shows its progress on a 50 ms timer and takes its finds when
// it has ended. Live data keep arriving meanwhile: the finds are those of
// the snapshot, placed by absolute record places, so a wrap since then
// only drops the ones that left the buffer. Find Next and Find Previous
// step through the finds of the last search while the capture and the
// query are as they were, and search again otherwise, stepping from the
// find marked before.
#include "find/find_win.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <thread>

#include <commctrl.h>

#include "app/chrome_win.h"
#include "app/commands.h"
#include "codec/convert.h"
#include "find/find_query.h"
#include "modbus/modbus_monitor_win.h"
#include "record/record_view_win.h"
#include "resources/resource.h"
#include "timeline/export_win.h"
#include "ui/dialog_look_win.h"
#include "ui/dpi_win.h"
#include "ui/file_chooser_win.h"
#include "view/data_view_win.h"
#include "view/fonts_win.h"

namespace {

constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressPeriodMs = 50;
constexpr int32_t kRowsMax = 100000;  // finds kept; more are counted
constexpr int kStepAll = 2;           // what a search's end does: show the list only

enum Look { kLookBytes, kLookSilence, kLookBadFrame, kLookEvent, kLooks };
enum Column { kColSeconds, kColDay, kColChannel, kColDirection, kColFound, kColHex, kColText, kColumns };
const int kColumnTexts[kColumns] = {kTextMonitorColumnFirst,     kTextFindColumnTime, kTextMonitorColumnFirst + 1,
                                    kTextMonitorColumnFirst + 2, kTextFindColumnFound, kTextFindColumnHex,
                                    kTextFindFormText};
const int kColumnWidths[kColumns] = {72, 104, 38, 32, 124, 148, 70};  // pixels at 96 DPI

// Where each find lies beyond what the core gives: the live capture's
// record 0 at the search (its place is where + first), or where the
// recording's window that holds it was read from; its time of day; its
// first bytes.
struct FindPlace {
  uint64_t where;
  int64_t local_us;
  uint8_t preview[kFindPreviewBytes];
  int32_t preview_n;
};

struct FindWindow {
  HWND window, list;
  // The search: its query and source, the worker, and its finds.
  FindQuery job;
  int recording;       // 1: the finds are in the recording `serial`
  int serial;
  uint32_t generation;  // the live capture's at the search
  int32_t snap_count;   // and what the snapshot held
  int64_t snap_base;
  std::thread worker;
  std::atomic<int> running{0}, finished{0}, cancel{0}, percent{0};
  int cancelled;
  int have;            // the finds belong to the query and source in `job`
  int then;            // what the search's end does: 1 next, -1 previous, kStepAll
  int choosing;        // the list's row is being chosen here, not by the user
  FindFound* found;
  FindPlace* place;
  FindList finds;
  int64_t origin;
  int64_t searched_from;  // a live capture that dropped records before: the time of day it was searched from
  // Where the view stands: the find marked and its live place.
  int32_t current = -1;
  int64_t marked_place = -1;
  wchar_t status_text[kMessageTextUnits + 32];
  // The worker's own: the live snapshot, the recording's files and reader.
  CaptureSnapshot snap;
  RecordFiles* files;
  RecordReader* reader;
  RecordWindow window_of;
  uint64_t file_start[kRecordFolderFilesMax + 1];
};
FindWindow g_find;

// The last query typed, kept while the window is closed for F3 to use.
struct Typed {
  int look, form, match_case, ch1, ch2, rx, tx;
  wchar_t pattern[2 * kFindPatternMax + 8];
};
Typed g_typed = {kLookBytes, 0, 0, 1, 1, 1, 1, L""};

void status(const wchar_t* text) {
  lstrcpynW(g_find.status_text, text, sizeof g_find.status_text / sizeof g_find.status_text[0]);
  if (g_find.window) SetDlgItemTextW(g_find.window, IDC_FND_STATUS, text);
}

void status_n(int n, ...) {
  wchar_t format[kMessageTextUnits] = L"", text[kMessageTextUnits + 32] = L"";
  get_text(n, format);
  va_list args;
  va_start(args, n);
  if (message_fields_match(reinterpret_cast<const char16_t*>(format), message_fields(n)))
    _vsnwprintf(text, sizeof text / sizeof text[0] - 1, format, args);
  else
    lstrcpynW(text, format, sizeof text / sizeof text[0]);
  va_end(args);
  status(text);
}

// The pattern fault with its place (1-based).
void status_fault(const FindPatternResult& r) { status_n(find_pattern_fault_text(r.fault), r.at + 1); }

void typed_read() {
  HWND w = g_find.window;
  if (!w) return;
  g_typed.look = static_cast<int>(SendDlgItemMessageW(w, IDC_FND_LOOK, CB_GETCURSEL, 0, 0));
  g_typed.form = static_cast<int>(SendDlgItemMessageW(w, IDC_FND_FORM, CB_GETCURSEL, 0, 0));
  g_typed.match_case = IsDlgButtonChecked(w, IDC_FND_CASE) == BST_CHECKED;
  g_typed.ch1 = IsDlgButtonChecked(w, IDC_FND_CH1) == BST_CHECKED;
  g_typed.ch2 = IsDlgButtonChecked(w, IDC_FND_CH2) == BST_CHECKED;
  g_typed.rx = IsDlgButtonChecked(w, IDC_FND_RX) == BST_CHECKED;
  g_typed.tx = IsDlgButtonChecked(w, IDC_FND_TX) == BST_CHECKED;
  GetDlgItemTextW(w, IDC_FND_PATTERN, g_typed.pattern, sizeof g_typed.pattern / sizeof g_typed.pattern[0]);
}

// The query typed: 1 after saying on the status line why there is none.
int query_typed(FindQuery* q) {
  typed_read();
  *q = FindQuery{};
  q->what = static_cast<uint8_t>(g_typed.look < 0 || g_typed.look >= kLooks ? kLookBytes : g_typed.look);
  // No channel (or no direction) ticked means both.
  const uint32_t channels = (g_typed.ch1 ? 1u : 0u) | (g_typed.ch2 ? 2u : 0u);
  const uint32_t directions = (g_typed.rx ? 1u : 0u) | (g_typed.tx ? 2u : 0u);
  for (int s = 0; s < kFindStreams; s++)
    if (((channels ? channels : 3u) >> (s / 2) & 1u) && ((directions ? directions : 3u) >> (s % 2) & 1u))
      q->streams |= 1u << s;
  line_shapes_of(g_app.settings.port, q->shape);
  if (q->what == kFindBytes) {
    static const int kForms[3] = {'N', 'H', 'T'};
    const int form = kForms[g_typed.form < 0 || g_typed.form > 2 ? 0 : g_typed.form];
    const FindPatternResult r = find_pattern_typed(g_typed.pattern, form, g_typed.match_case, &q->pattern);
    if (r.fault != kFindPatternOk) {
      status_fault(r);
      return 1;
    }
  } else if (q->what == kFindSilence) {
    int64_t ms = 0;
    const wchar_t* p = g_typed.pattern;
    while (*p == L' ') p++;
    for (; *p >= L'0' && *p <= L'9' && ms < 100000000; p++) ms = ms * 10 + (*p - L'0');
    while (*p == L' ') p++;
    if (*p || ms < 1 || ms >= 100000000) {
      status_n(kTextFindBadSilence);
      return 1;
    }
    q->silence_us = ms * 1000;
  } else if (q->what == kFindBadFrame) {
    modbus_monitor_options_now(&q->modbus);
  }
  return 0;
}

int same_query(const FindQuery& a, const FindQuery& b) {
  if (a.what != b.what || a.streams != b.streams || a.silence_us != b.silence_us) return 0;
  if (a.what != kFindBytes) return 1;
  const FindPattern &p = a.pattern, &r = b.pattern;
  if (p.length != r.length || p.fold_case != r.fold_case) return 0;
  for (int i = 0; i < p.length; i++)
    if (p.bytes[i] != r.bytes[i] || p.any[i] != r.any[i]) return 0;
  return 1;
}

// 1 when the finds of the last search still stand for `q` in what the view shows.
int finds_current(const FindQuery& q) {
  if (!g_find.have || !same_query(q, g_find.job)) return 0;
  if (g_find.recording) return recording_shown() && recording_serial() == g_find.serial;
  if (recording_shown()) return 0;
  const CapturePlace now = capture_place(&g_app.capture);
  return now.generation == g_find.generation && now.write_position == g_find.snap_count && now.base == g_find.snap_base;
}

// ---- The worker ----

int64_t live_local(int64_t t, int64_t wall_offset) {
  if (t == kTimeUnknown) return kTimeUnknown;
  const int64_t wall = time_add_us(t, wall_offset);
  return time_add_us(wall, static_cast<int64_t>(local_zone_minutes_at(wall)) * 60000000);
}

// The places of the finds from `from` on, in the stretch `s`.
void places_of(const CaptureSnapshot& s, int32_t from, uint64_t where, uint64_t where_before, int live) {
  for (int32_t i = from; i < g_find.finds.n; i++) {
    const FindFound& f = g_find.found[i];
    FindPlace& p = g_find.place[i];
    p.where = f.first < 0 ? where_before : where;
    p.local_us = live ? live_local(f.time_us, s.wall_offset_us) : f.time_us;
    p.preview_n = find_preview(s.records, s.count, f, p.preview);
  }
}

void search_live(FindPass* pass) {
  CaptureSnapshot& s = g_find.snap;
  g_find.snap_count = 0;
  if (capture_snapshot_take(&g_app.capture, &s)) return;
  g_find.snap_count = s.count;
  g_find.snap_base = s.base;
  g_find.origin = timeline_first_time_us(s.records, s.times, s.count);
  // A capture that wrapped or was cleared begins later than the session.
  g_find.searched_from = s.base > 0 ? live_local(g_find.origin, s.wall_offset_us) : kTimeUnknown;
  if (find_pass_run(pass, s, &g_find.finds, &g_find.cancel)) return;
  places_of(s, 0, static_cast<uint64_t>(s.base), static_cast<uint64_t>(s.base), 1);
}

// Where the recording's reader stands, as a place in the recording as one.
uint64_t reading_at(const RecordStream& st) {
  const int k = g_find.files->next - 1;
  if (k < 0) return 0;
  if (!st.open) return g_find.file_start[k + 1];
  return g_find.file_start[k] + g_find.reader->block_offset;
}

void search_recording(FindPass* pass) {
  RecordStream st;
  record_stream_begin(&st, record_files_open_next, g_find.files, g_find.reader, {}, {});
  const uint64_t total = g_find.file_start[g_find.files->list.count];
  uint64_t before = 0;
  g_find.origin = kTimeUnknown;
  g_find.searched_from = kTimeUnknown;
  while (!g_find.cancel.load()) {
    const uint64_t at = reading_at(st);
    CaptureSnapshot& s = g_find.window_of.snap;
    if (record_window_fill(&st, &g_find.window_of) == 0) break;
    if (g_find.origin == kTimeUnknown) g_find.origin = timeline_first_time_us(s.records, s.times, s.count);
    const int32_t from = g_find.finds.n;
    if (find_pass_run(pass, s, &g_find.finds, &g_find.cancel)) break;
    places_of(s, from, at, before, 0);
    find_pass_next_stretch(pass);
    before = at;
    g_find.percent = total ? static_cast<int>(reading_at(st) * 100 / total) : 100;
  }
  record_files_end(g_find.files);
}

// Bytes in a recording: each chunk fed straight from its entry (no
// windows laid out), its find placed by the block it lies in.
struct EntryHits {
  const RecordEntry* e;
  const FindSearch* search;
};

int on_entry_hit(void* ctx, const FindHit& h) {
  const EntryHits* d = static_cast<const EntryHits*>(ctx);
  FindList& l = g_find.finds;
  if (l.n >= l.capacity) {
    l.more++;
    return 0;
  }
  FindFound& f = g_find.found[l.n];
  FindPlace& p = g_find.place[l.n++];
  f = FindFound{};
  f.what = kFindBytes;
  f.kind = static_cast<uint8_t>(h.stream + 1);
  f.channel = static_cast<uint8_t>(h.stream < 2 ? 1 : 2);
  f.time_us = f.chunk_time_us = h.time_us;
  f.within = h.within;
  f.first = f.last = -1;
  p.where = h.tag;
  p.local_us = h.time_us;
  // Its first bytes: from this chunk when it began in it, else the pattern's.
  const int64_t fed = d->search->matcher.fed[h.stream];
  const FindPattern& pat = d->search->matcher.p;
  p.preview_n = 0;
  if (h.offset >= fed) {
    for (int64_t i = h.offset - fed; i < d->e->length && p.preview_n < kFindPreviewBytes; i++)
      p.preview[p.preview_n++] = d->e->data[i];
  } else {
    for (int i = 0; i < pat.length && p.preview_n < kFindPreviewBytes && !pat.any[i]; i++)
      p.preview[p.preview_n++] = pat.bytes[i];
  }
  return 0;
}

void search_recording_bytes(FindPass* pass) {
  RecordStream st;
  record_stream_begin(&st, record_files_open_next, g_find.files, g_find.reader, {}, {});
  const uint64_t total = g_find.file_start[g_find.files->list.count];
  g_find.origin = kTimeUnknown;
  g_find.searched_from = kTimeUnknown;
  RecordEntry e;
  EntryHits d = {&e, &pass->bytes};
  for (uint32_t k = 1; record_stream_next(&st, &e); k++) {
    if (g_find.origin == kTimeUnknown) g_find.origin = e.time_us;
    if (e.type >= kKindRecvCh1 && e.type <= kKindSentCh2) {
      const uint64_t block = g_find.file_start[g_find.files->next - 1] + g_find.reader->block_offset;
      find_search_chunk(&pass->bytes, e.type - 1, e.data, e.length, e.time_us, block, on_entry_hit, &d);
    }
    if (k % 4096 == 0) {
      if (g_find.cancel.load()) break;
      g_find.percent = total ? static_cast<int>(reading_at(st) * 100 / total) : 100;
    }
  }
  record_files_end(g_find.files);
}

void worker_main() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
  static FindPass pass;
  pass = FindPass{};
  find_pass_begin(&pass, g_find.job);
  g_find.finds = {g_find.found, 0, kRowsMax, 0};
  if (g_find.recording && g_find.job.what == kFindBytes) search_recording_bytes(&pass);
  else if (g_find.recording) search_recording(&pass);
  else search_live(&pass);
  find_pass_end(&pass);
  g_find.finished = 1;
}

// ---- The user-interface side ----

void list_count(int32_t n) {
  if (g_find.list) SendMessageW(g_find.list, LVM_SETITEMCOUNT, static_cast<WPARAM>(n), LVSICF_NOSCROLL);
}

void buttons_enable(int searching) {
  if (!g_find.window) return;
  EnableWindow(GetDlgItem(g_find.window, IDC_FND_CANCEL), searching);
  for (int id : {IDC_FND_NEXT, IDC_FND_PREVIOUS, IDC_FND_ALL, IDC_FND_EXPORT})
    EnableWindow(GetDlgItem(g_find.window, id), !searching);
}

void show_step(int then);

// Starts a search for the query typed; `then` is what its end does.
void search_start(int then) {
  if (g_find.running) return;
  FindQuery q;
  if (query_typed(&q)) return;
  if (!g_find.found) {
    g_find.found = static_cast<FindFound*>(std::malloc(kRowsMax * sizeof(FindFound)));
    g_find.place = static_cast<FindPlace*>(std::malloc(kRowsMax * sizeof(FindPlace)));
    g_find.files = static_cast<RecordFiles*>(std::calloc(1, sizeof(RecordFiles)));
    g_find.reader = static_cast<RecordReader*>(std::calloc(1, sizeof(RecordReader)));
  }
  if (!g_find.found || !g_find.place || !g_find.files || !g_find.reader || capture_snapshot_allocate(&g_find.snap) ||
      capture_snapshot_allocate(&g_find.window_of.snap)) {
    status_n(kTextExportNoMemory);
    return;
  }
  if (g_find.worker.joinable()) g_find.worker.join();
  g_find.job = q;
  g_find.have = 0;
  g_find.current = -1;  // the finds are the worker's until it ends
  g_find.then = then;
  g_find.recording = recording_shown();
  g_find.serial = recording_serial();
  g_find.generation = capture_place(&g_app.capture).generation;
  if (g_find.recording) recording_files_copy(g_find.files, g_find.file_start);
  g_find.finds = {g_find.found, 0, kRowsMax, 0};
  list_count(0);
  g_find.cancel = 0;
  g_find.finished = 0;
  g_find.percent = 0;
  g_find.running = 1;
  status_n(kTextFindSearching, 0);
  buttons_enable(1);
  g_find.worker = std::thread(worker_main);
  if (g_find.window) SetTimer(g_find.window, kProgressTimer, kProgressPeriodMs, nullptr);
}

void search_ended() {
  if (g_find.worker.joinable()) g_find.worker.join();
  g_find.running = 0;
  g_find.cancelled = g_find.cancel.load();
  g_find.have = !g_find.cancelled;
  g_find.current = -1;
  if (g_find.window) KillTimer(g_find.window, kProgressTimer);
  buttons_enable(0);
  list_count(g_find.finds.n);
  if (g_find.cancelled) {
    status_n(kTextFindCancelled, g_find.finds.n);
    return;
  }
  show_step(g_find.then);
}

void on_progress_timer() {
  if (!g_find.running) return;
  if (g_find.finished) search_ended();
  else status_n(kTextFindSearching, g_find.percent.load());
}

void repaint_main() {
  InvalidateRect(g_main_window, nullptr, TRUE);
  UpdateWindow(g_main_window);
  InvalidateRect(g_statusbar, nullptr, FALSE);
}

// The live view held with record `first` on its second row, records
// first .. last marked.
void live_view_at(int32_t first, int32_t last) {
  const int32_t cells = view_cells_per_row_now(g_main_window);
  const int32_t n = cells < 1 ? 1 : cells;
  CaptureView& v = g_app.capture.view;
  const int32_t row = first / n * n - n;
  v.follow_mode = 0;
  v.view_position = row < 0 ? 0 : row;
  v.mark_first = first;
  v.mark_last = last;
}

void status_which(int32_t i) {
  if (g_find.finds.more) status_n(kTextFindMatchOfMore, i + 1, g_find.finds.n);
  else status_n(kTextFindMatchOf, i + 1, g_find.finds.n);
}

// Puts the view on find i and marks it; the list's row follows.
void show_find(int32_t i) {
  if (i < 0 || i >= g_find.finds.n) return;
  const FindFound& f = g_find.found[i];
  const FindPlace& p = g_find.place[i];
  const int32_t span = f.first >= 0 && f.last >= f.first ? f.last - f.first : g_find.job.pattern.length - 1;
  if (g_find.recording) {
    if (!recording_shown() || recording_serial() != g_find.serial ||
        recording_show_find(g_main_window, p.where, f.chunk_time_us, f.kind, f.within, span)) {
      status_n(kTextFindGone);
      return;
    }
  } else {
    const CapturePlace now = capture_place(&g_app.capture);
    const int64_t index = static_cast<int64_t>(p.where) + f.first - now.base;
    if (recording_shown() || now.generation != g_find.generation || index < 0 || index >= now.write_position) {
      status_n(kTextFindGone);
      return;
    }
    const int32_t first = static_cast<int32_t>(index);
    live_view_at(first, first + span < now.write_position ? first + span : now.write_position - 1);
    g_find.marked_place = static_cast<int64_t>(p.where) + f.first;
  }
  g_find.current = i;
  repaint_main();
  status_which(i);
  if (g_find.list) {
    // The row chosen here, without choosing it again.
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    g_find.choosing = 1;
    SendMessageW(g_find.list, LVM_SETITEMSTATE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&state));
    SendMessageW(g_find.list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(i), FALSE);
    g_find.choosing = 0;
  }
}

// How many were found, and from when on, where the live capture had
// already dropped its oldest records.
void status_found() {
  char seconds[40], day[24];
  find_time_texts(kTimeUnknown, kTimeUnknown, g_find.searched_from, seconds, day);
  if (!day[0]) {
    status_n(kTextFindFound, g_find.finds.n);
    return;
  }
  wchar_t from[24];
  MultiByteToWideChar(CP_ACP, 0, day, -1, from, 24);
  status_n(kTextFindFoundSince, g_find.finds.n, from);
}

// After a search: the find `then` says, from the one marked before.
void show_step(int then) {
  const int32_t n = g_find.finds.n;
  if (n == 0) {
    status_n(!g_find.recording && g_find.snap_count == 0 ? kTextFindNoSource : kTextFindNoMatch);
    view_capture()->view.mark_first = view_capture()->view.mark_last = -1;
    repaint_main();
    return;
  }
  if (then == kStepAll) {
    status_found();
    return;
  }
  int32_t i = -1;
  if (!g_find.recording && g_find.marked_place >= 0) {
    // The live finds are new: step from the place of the one marked.
    if (then > 0) {
      for (i = 0; i < n && static_cast<int64_t>(g_find.place[i].where) + g_find.found[i].first <= g_find.marked_place; i++) {
      }
      if (i == n) i = -1;
    } else {
      for (i = n - 1; i >= 0 && static_cast<int64_t>(g_find.place[i].where) + g_find.found[i].first >= g_find.marked_place; i--) {
      }
    }
  } else {
    i = then > 0 ? 0 : n - 1;
  }
  if (i < 0) status_n(kTextFindNoFurther);
  else show_find(i);
}

void step(int dir) {
  if (g_find.running) return;
  FindQuery q;
  if (query_typed(&q)) return;
  if (!finds_current(q)) {
    search_start(dir);
    return;
  }
  if (g_find.current < 0) {
    show_step(dir);
    return;
  }
  const int32_t i = g_find.current + dir;
  if (i < 0 || i >= g_find.finds.n) status_n(kTextFindNoFurther);
  else show_find(i);
}

void find_all() {
  FindQuery q;
  if (g_find.running || query_typed(&q)) return;
  if (finds_current(q)) status_found();
  else search_start(kStepAll);
}

void row_text(int32_t i, FindRowText* t) {
  const FindPlace& p = g_find.place[i];
  find_row_text(g_find.found[i], g_find.origin, p.local_us, p.preview, p.preview_n, t);
}

void cell_text(int32_t i, int column, wchar_t* out, int units) {
  FindRowText t;
  row_text(i, &t);
  const char* text = "";
  switch (column) {
    case kColSeconds: text = t.seconds; break;
    case kColDay: text = t.day; break;
    case kColChannel: text = t.channel; break;
    case kColDirection: text = t.direction; break;
    case kColFound:
      if (g_find.found[i].what == kFindBadFrame && g_find.found[i].why == kFindBadNoAnswer) {
        wchar_t word[kMessageTextUnits] = L"";
        get_text(kTextFindNoAnswer, word);
        lstrcpynW(out, word, units);
        return;
      }
      text = t.found;
      break;
    case kColHex: text = t.hex; break;
    case kColText: text = t.text; break;
  }
  MultiByteToWideChar(CP_ACP, 0, text, -1, out, units);
  out[units - 1] = 0;
}

void export_finds(HWND dlg) {
  if (g_find.running || g_find.finds.n == 0) {
    show_message(dlg, kTextNoDataToExport, 0, L"Quorrin");
    return;
  }
  wchar_t path[MAX_PATH] = L"";
  if (!file_chooser(dlg, kChooseExport, path)) return;
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    show_texts(dlg, L"Quorrin", {kTextFileOpenFailed}, path);
    return;
  }
  static char buffer[65536];
  int32_t used = 0;
  int ok = 1;
  auto flush = [&]() {
    DWORD done = 0;
    if (used > 0 && (!WriteFile(f, buffer, static_cast<DWORD>(used), &done, nullptr) || done != static_cast<DWORD>(used)))
      ok = 0;
    used = 0;
  };
  used = std::snprintf(buffer, sizeof buffer, "%s", kFindCsvHeader);
  for (int32_t i = 0; i < g_find.finds.n && ok; i++) {
    FindRowText t;
    row_text(i, &t);
    if (g_find.found[i].what == kFindBadFrame && g_find.found[i].why == kFindBadNoAnswer)
      std::snprintf(t.found, sizeof t.found, "no answer");
    if (static_cast<int32_t>(sizeof buffer) - used < 512) flush();
    const int32_t n = find_csv_row(t, buffer + used, static_cast<int32_t>(sizeof buffer) - used);
    if (n < 0) ok = 0;
    else used += n;
  }
  flush();
  if (!CloseHandle(f)) ok = 0;
  if (!ok) {
    DeleteFileW(path);
    show_texts(dlg, L"Quorrin", {kTextExportWriteFailed}, path);
  }
}

LRESULT on_notify(NMHDR* h) {
  if (h->idFrom != IDC_FND_LIST) return 0;
  switch (h->code) {
    case LVN_GETDISPINFOW: {
      LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(h)->item;
      if ((item.mask & LVIF_TEXT) && item.iItem >= 0 && item.iItem < g_find.finds.n && item.cchTextMax > 0 && !g_find.running)
        cell_text(item.iItem, item.iSubItem, item.pszText, item.cchTextMax);
      return 0;
    }
    case LVN_ITEMCHANGED: {
      const NMLISTVIEW* c = reinterpret_cast<NMLISTVIEW*>(h);
      if (!g_find.choosing && !g_find.running && (c->uChanged & LVIF_STATE) &&
          (c->uNewState & LVIS_SELECTED) && !(c->uOldState & LVIS_SELECTED))
        show_find(c->iItem);
      return 0;
    }
  }
  return 0;
}

void pattern_controls_enable(HWND dlg) {
  const int look = static_cast<int>(SendDlgItemMessageW(dlg, IDC_FND_LOOK, CB_GETCURSEL, 0, 0));
  EnableWindow(GetDlgItem(dlg, IDC_FND_PATTERN), look == kLookBytes || look == kLookSilence);
  EnableWindow(GetDlgItem(dlg, IDC_FND_FORM), look == kLookBytes);
  EnableWindow(GetDlgItem(dlg, IDC_FND_CASE), look == kLookBytes);
}

void on_init(HWND dlg) {
  g_find.window = dlg;
  g_find.list = GetDlgItem(dlg, IDC_FND_LIST);
  static const struct { int id, text; } kLabels[] = {
      {0, kTextFindTitle}, {IDC_FND_LABEL_LOOK, kTextFindLookFor}, {IDC_FND_LABEL_WHAT, kTextFindWhat},
      {IDC_FND_CASE, kTextFindMatchCase}, {IDC_FND_RX, kTextFindReceived}, {IDC_FND_TX, kTextFindSent},
      {IDC_FND_NEXT, kTextFindNext}, {IDC_FND_PREVIOUS, kTextFindPrevious}, {IDC_FND_ALL, kTextFindAll},
      {IDC_FND_CANCEL, kTextCancel}, {IDC_FND_EXPORT, kTextMonitorExport}, {IDC_FND_CLOSE, kTextClose}};
  for (const auto& l : kLabels) set_dialog_text(dlg, l.id, l.text);
  for (int n : {kTextFindBytes, kTextFindSilence, kTextFindBadFrame, kTextFindLineEvent}) {
    wchar_t text[kMessageTextUnits] = L"";
    get_text(n, text);
    SendDlgItemMessageW(dlg, IDC_FND_LOOK, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  for (int n : {kTextFindFormNotation, kTextFindFormHex, kTextFindFormText}) {
    wchar_t text[kMessageTextUnits] = L"";
    get_text(n, text);
    SendDlgItemMessageW(dlg, IDC_FND_FORM, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  SendDlgItemMessageW(dlg, IDC_FND_LOOK, CB_SETCURSEL, static_cast<WPARAM>(g_typed.look), 0);
  SendDlgItemMessageW(dlg, IDC_FND_FORM, CB_SETCURSEL, static_cast<WPARAM>(g_typed.form), 0);
  SendDlgItemMessageW(dlg, IDC_FND_PATTERN, EM_LIMITTEXT, sizeof g_typed.pattern / sizeof g_typed.pattern[0] - 1, 0);
  SetDlgItemTextW(dlg, IDC_FND_PATTERN, g_typed.pattern);
  CheckDlgButton(dlg, IDC_FND_CASE, g_typed.match_case ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, IDC_FND_CH1, g_typed.ch1 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, IDC_FND_CH2, g_typed.ch2 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, IDC_FND_RX, g_typed.rx ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, IDC_FND_TX, g_typed.tx ? BST_CHECKED : BST_UNCHECKED);
  pattern_controls_enable(dlg);
  SendMessageW(g_find.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  SendMessageW(g_find.list, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotBackground)));
  SendMessageW(g_find.list, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotBackground)));
  SendMessageW(g_find.list, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotText)));
  for (int k = 0; k < kColumns; k++) {
    wchar_t head[kMessageTextUnits] = L"";
    get_text(kColumnTexts[k], head);
    LVCOLUMNW c = {};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    c.cx = window_px(g_find.list, kColumnWidths[k]);
    c.pszText = head;
    c.iSubItem = k;
    SendMessageW(g_find.list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(k), reinterpret_cast<LPARAM>(&c));
  }
  list_count(g_find.running ? 0 : g_find.finds.n);
  SetDlgItemTextW(dlg, IDC_FND_STATUS, g_find.status_text);
  buttons_enable(g_find.running);
  if (g_find.running) SetTimer(dlg, kProgressTimer, kProgressPeriodMs, nullptr);
  dialog_look_init(dlg);
}

void on_destroy() {
  typed_read();
  // A search running ends with the window (it stops within a window's
  // worth of records); the next command searches again.
  if (g_find.running) {
    g_find.cancel = 1;
    if (g_find.worker.joinable()) g_find.worker.join();
    g_find.running = 0;
    g_find.have = 0;
  }
  g_find.window = g_find.list = nullptr;
}

INT_PTR CALLBACK find_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  INT_PTR result = 0;
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return TRUE;
    case WM_TIMER:
      if (wp == kProgressTimer) on_progress_timer();
      return TRUE;
    case WM_NOTIFY: SetWindowLongPtrW(dlg, DWLP_MSGRESULT, on_notify(reinterpret_cast<NMHDR*>(lp))); return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDOK: case IDC_FND_NEXT: step(1); break;
        case IDC_FND_PREVIOUS: step(-1); break;
        case IDC_FND_ALL: find_all(); break;
        case IDC_FND_CANCEL: g_find.cancel = 1; break;
        case IDC_FND_EXPORT: export_finds(dlg); break;
        // Esc cancels a search, or closes the window when none runs.
        case IDCANCEL:
          if (g_find.running) g_find.cancel = 1;
          else DestroyWindow(dlg);
          break;
        case IDC_FND_CLOSE: DestroyWindow(dlg); break;
        case IDC_FND_LOOK:
          if (HIWORD(wp) == CBN_SELCHANGE) pattern_controls_enable(dlg);
          break;
      }
      return TRUE;
    case WM_CLOSE: DestroyWindow(dlg); return TRUE;
    case WM_DESTROY: on_destroy(); return TRUE;
    default:
      if (dialog_look(dlg, msg, wp, lp, &result)) return result;
      return FALSE;
  }
}

// ---- Go to Time ----

wchar_t g_time_typed[40];

INT_PTR CALLBACK go_to_time_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      set_dialog_text(dlg, 0, kTextGoToTimeTitle);
      set_dialog_text(dlg, IDC_GTT_LABEL, kTextGoToTimeLabel);
      set_dialog_text(dlg, IDCANCEL, kTextCancel);
      SendDlgItemMessageW(dlg, IDC_GTT_TIME, EM_LIMITTEXT, sizeof g_time_typed / sizeof g_time_typed[0] - 1, 0);
      SetDlgItemTextW(dlg, IDC_GTT_TIME, g_time_typed);
      dialog_look_init(dlg);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK) {
        GetDlgItemTextW(dlg, IDC_GTT_TIME, g_time_typed, sizeof g_time_typed / sizeof g_time_typed[0]);
        EndDialog(dlg, IDOK);
      } else if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dlg, IDCANCEL);
      }
      return TRUE;
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

// Go to Time in the live capture or a loaded log: 0, or 1 when nothing
// comes at or after the time.
int live_go_time(const RecordTime& t) {
  static CaptureSnapshot s;
  if (capture_snapshot_allocate(&s) || capture_snapshot_take(&g_app.capture, &s)) return 1;
  const int64_t first = timeline_first_time_us(s.records, s.times, s.count);
  if (first == kTimeUnknown) return 1;
  // Times of day are local: the capture's clock moved by the wall offset
  // and the zone at the start.
  const int64_t local_shift = time_sub_us(live_local(first, s.wall_offset_us), first);
  const int64_t target = time_sub_us(record_time_resolve(t, time_add_us(first, local_shift)), local_shift);
  const int32_t i = find_time_first(s.times, s.count, target);
  if (i >= s.count) return 1;
  const CapturePlace now = capture_place(&g_app.capture);
  const int64_t index = s.base + i - now.base;
  if (index < 0 || index >= now.write_position) return 1;
  int32_t last = i;
  while (last + 1 < s.count && s.records[last + 1].kind == s.records[i].kind) last++;
  const int32_t at = static_cast<int32_t>(index);
  live_view_at(at, at + (last - i));
  // Find Next goes on from here, this chunk's first byte included.
  g_find.current = -1;
  g_find.marked_place = s.base + i - 1;
  repaint_main();
  return 0;
}

}  // namespace

FindPatternResult find_pattern_typed(const wchar_t* text, int form, int match_case, FindPattern* p) {
  const char16_t* units = reinterpret_cast<const char16_t*>(text);
  const int n = static_cast<int>(wcslen(text));
  if (form == 'T') {
    // As typed, in the ANSI code page, as the program sends text.
    uint8_t bytes[4 * kFindPatternMax + 4];
    const int count = n > kFindPatternMax ? kFindPatternMax + 1 : n;
    const int got = ansi_codec_win.encode(nullptr, units, count, bytes, sizeof bytes);
    return find_pattern_text(bytes, got, match_case, p);
  }
  if (form == 'H') return find_pattern_hex(units, n, p);
  return find_pattern_notation(units, n, p);
}

void find_window_open(HWND owner) {
  tool_window_open(g_find.window, owner, IDD_FIND, find_proc);
  if (g_find.window) {
    SetFocus(GetDlgItem(g_find.window, IDC_FND_PATTERN));
    SendDlgItemMessageW(g_find.window, IDC_FND_PATTERN, EM_SETSEL, 0, -1);
  }
}

void find_step(HWND owner, int dir) {
  // The window holds the query (the one typed last when it was closed); a
  // first F3 only opens it.
  if (!g_find.window) find_window_open(owner);
  else typed_read();
  if (g_typed.pattern[0] || g_typed.look != kLookBytes) step(dir);
}

void go_to_time_run(HWND owner) {
  if (DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_GO_TO_TIME), owner, go_to_time_proc, 0) != IDOK) return;
  char ascii[40] = {};
  int n = 0;
  for (; n < 39 && g_time_typed[n]; n++) ascii[n] = g_time_typed[n] < 128 ? static_cast<char>(g_time_typed[n]) : '?';
  RecordTime t;
  if (record_time_parse(ascii, &t)) {
    show_texts(owner, L"Quorrin", {kTextNotATime}, nullptr, g_time_typed);
    return;
  }
  const int none = recording_shown() ? recording_go_time(owner, t) : live_go_time(t);
  if (none) show_message(owner, kTextGoToTimeNothing, 0, L"Quorrin");
}

int find_window_message(MSG* m) {
  HWND w = g_find.window;
  if (!w || (m->hwnd != w && !IsChild(w, m->hwnd))) return 0;
  if (m->message == WM_KEYDOWN && m->wParam == VK_F3) {
    PostMessageW(g_main_window, WM_COMMAND, GetKeyState(VK_SHIFT) < 0 ? kCmdFindPrevious : kCmdFindNext, 0);
    return 1;
  }
  return IsDialogMessageW(w, m);
}

int find_cancel() {
  const int was = g_find.running.load();
  if (was) g_find.cancel = 1;
  CaptureView& v = view_capture()->view;
  if (v.mark_first >= 0) {
    v.mark_first = v.mark_last = -1;
    g_find.current = -1;
    repaint_main();
  }
  return was;
}

int find_status_text(int part, char16_t out[64]) {
  if (part != 8 || g_find.current < 0 || view_capture()->view.mark_first < 0) return 0;
  wchar_t format[kMessageTextUnits] = L"";
  const int n = g_find.finds.more ? kTextFindMatchOfMore : kTextFindMatchOf;
  get_text(n, format);
  if (!message_fields_match(reinterpret_cast<const char16_t*>(format), message_fields(n))) return 0;
  _snwprintf(wide(out), 63, format, g_find.current + 1, g_find.finds.n);
  out[63] = 0;
  return 1;
}
