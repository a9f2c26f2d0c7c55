// The Find window's search: a worker thread runs the one search
// (find/find_source.h) from one snapshot of the live capture (or a loaded
// log) or through the open recording's files with a reader of its own; the
// user-interface thread only starts it, shows its progress on a 50 ms timer
// and takes its finds when it has ended. Live data keep arriving meanwhile:
// the finds are those of the snapshot, placed by absolute record places, so
// a wrap since then only drops the ones that left the buffer. Find Next and
// Find Previous step through the finds of the last search while the capture
// and the query are as they were, and search again otherwise, stepping from
// the find marked before.
#include "find/find_state_win.h"

#include <cstdlib>

#include <commctrl.h>

#include "app/chrome_win.h"
#include "record/record_view_win.h"
#include "timeline/export_win.h"
#include "view/data_view_win.h"
#include "view/fonts_win.h"

FindState g_find;

namespace {

// 1 when the finds of the last search still stand for `q` in what the view shows.
int finds_current(const FindQuery& q) {
  if (!g_find.have || !find_query_same(q, g_find.job)) return 0;
  if (g_find.recording) return recording_shown() && recording_serial() == g_find.serial;
  if (recording_shown()) return 0;
  const CapturePlace now = capture_place(&g_app.capture);
  return now.generation == g_find.generation && now.write_position == g_find.snap_count && now.base == g_find.snap_base;
}

// Where the recording's reader stands, as a place in the recording as one.
uint64_t reading_at(void*, const RecordStream* st) {
  return record_reading_at(g_find.files, g_find.reader, st, g_find.file_start);
}

void worker_main() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
  static FindPass pass;
  find_pass_end(&pass);
  pass = FindPass{};
  g_find.finds = {g_find.found, 0, kFindRowsMax, 0, g_find.first_index};
  FindRun run = {};
  run.pass = &pass;
  run.list = &g_find.finds;
  run.places = g_find.place;
  run.cancel = &g_find.cancel;
  run.percent = &g_find.percent;
  if (find_pass_begin(&pass, g_find.job)) {
    g_find.finished = 1;
    return;
  }
  if (g_find.recording) {
    RecordStream st;
    record_stream_begin(&st, record_files_open_next, g_find.files, g_find.reader, {}, {});
    find_run_recording(&run, &st, &g_find.window_of, reading_at, nullptr, g_find.file_start[g_find.files->list.count]);
    record_files_end(g_find.files);
  } else {
    CaptureSnapshot& s = g_find.snap;
    g_find.snap_count = 0;
    if (capture_snapshot_take(&g_app.capture, &s) == 0) {
      g_find.snap_count = s.count;
      g_find.snap_base = s.base;
      run.zone_minutes_at = local_zone_minutes_at;
      find_run_snapshot(&run, s);
    }
  }
  g_find.origin = run.origin;
  g_find.searched_from = run.searched_from;
  find_pass_end(&pass);
  g_find.finished = 1;
}

void show_step(int then);

void search_ended() {
  if (g_find.worker.joinable()) g_find.worker.join();
  g_find.running = 0;
  g_find.cancelled = g_find.cancel.load();
  g_find.have = !g_find.cancelled;
  g_find.current = -1;
  if (g_find.window) KillTimer(g_find.window, kFindProgressTimer);
  find_buttons_enable(0);
  find_list_count(g_find.finds.n);
  if (g_find.cancelled) {
    find_status_n(kTextFindCancelled, g_find.finds.n);
    return;
  }
  show_step(g_find.then);
}

void status_which(int32_t i) {
  const int before = static_cast<int>(g_find.first_index);
  if (g_find.finds.more) find_status_n(kTextFindMatchOfMore, before + i + 1, before + g_find.finds.n);
  else find_status_n(kTextFindMatchOf, before + i + 1, before + g_find.finds.n);
}

// How many were found, and from when on, where the live capture had
// already dropped its oldest records.
void status_found() {
  char seconds[40], day[24];
  find_time_texts(kTimeUnknown, kTimeUnknown, g_find.searched_from, seconds, day);
  if (!day[0]) {
    find_status_n(kTextFindFound, g_find.finds.n);
    return;
  }
  wchar_t from[24];
  MultiByteToWideChar(CP_ACP, 0, day, -1, from, 24);
  find_status_n(kTextFindFoundSince, g_find.finds.n, from);
}

// After a search: the find `then` says, from the one marked before.
void show_step(int then) {
  const int32_t n = g_find.finds.n;
  if (n == 0) {
    find_status_n(!g_find.recording && g_find.snap_count == 0 ? kTextFindNoSource : kTextFindNoMatch);
    view_capture()->view.mark_first = view_capture()->view.mark_last = -1;
    find_repaint_main();
    return;
  }
  if (then == kFindStepAll) {
    status_found();
    return;
  }
  // The live finds are new: step from the place of the one marked; a
  // search that went on past a full list, from its first (or last).
  const int32_t i = find_step_from(g_find.found, g_find.place, n,
                                   g_find.recording || g_find.first_index ? -1 : g_find.marked_place, then);
  if (i < 0) find_status_n(kTextFindNoFurther);
  else find_show(i);
}

}  // namespace

void find_search_start(int then) {
  const int64_t skip = g_find.skip_next;
  g_find.skip_next = 0;
  if (g_find.running) return;
  FindQuery q;
  if (find_query_typed(&q)) return;
  if (!g_find.found) {
    g_find.found = static_cast<FindFound*>(std::malloc(kFindRowsMax * sizeof(FindFound)));
    g_find.place = static_cast<FindPlace*>(std::malloc(kFindRowsMax * sizeof(FindPlace)));
    g_find.files = static_cast<RecordFiles*>(std::calloc(1, sizeof(RecordFiles)));
    g_find.reader = static_cast<RecordReader*>(std::calloc(1, sizeof(RecordReader)));
  }
  if (!g_find.found || !g_find.place || !g_find.files || !g_find.reader || capture_snapshot_allocate(&g_find.snap) ||
      capture_snapshot_allocate(&g_find.window_of.snap)) {
    find_status_n(kTextExportNoMemory);
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
  g_find.first_index = skip;
  g_find.finds = {g_find.found, 0, kFindRowsMax, 0, 0};
  find_list_count(0);
  g_find.cancel = 0;
  g_find.finished = 0;
  g_find.percent = 0;
  g_find.running = 1;
  find_status_n(kTextFindSearching, 0);
  find_buttons_enable(1);
  g_find.worker = std::thread(worker_main);
  if (g_find.window) SetTimer(g_find.window, kFindProgressTimer, kFindProgressPeriodMs, nullptr);
}

void find_on_progress_timer() {
  if (!g_find.running) return;
  if (g_find.finished) search_ended();
  else find_status_n(kTextFindSearching, g_find.percent.load());
}

void find_repaint_main() {
  InvalidateRect(g_main_window, nullptr, TRUE);
  UpdateWindow(g_main_window);
  InvalidateRect(g_statusbar, nullptr, FALSE);
}

void find_live_view_at(int32_t first, int32_t last) {
  const int32_t cells = view_cells_per_row_now(g_main_window);
  const int32_t n = cells < 1 ? 1 : cells;
  CaptureView& v = g_app.capture.view;
  const int32_t row = first / n * n - n;
  v.follow_mode = 0;
  v.view_position = row < 0 ? 0 : row;
  v.mark_first = first;
  v.mark_last = last;
}

// Puts the view on find i and marks it; the list's row follows.
void find_show(int32_t i) {
  if (i < 0 || i >= g_find.finds.n) return;
  const FindFound& f = g_find.found[i];
  const FindPlace& p = g_find.place[i];
  const int32_t span = f.first >= 0 && f.last >= f.first ? f.last - f.first : g_find.job.pattern.length - 1;
  if (g_find.recording) {
    if (!recording_shown() || recording_serial() != g_find.serial ||
        recording_show_find(g_main_window, p.where, f.chunk_time_us, f.kind, f.within, span)) {
      find_status_n(kTextFindGone);
      return;
    }
  } else {
    const CapturePlace now = capture_place(&g_app.capture);
    const int64_t index = static_cast<int64_t>(p.where) + f.first - now.base;
    if (recording_shown() || now.generation != g_find.generation || index < 0 || index >= now.write_position) {
      find_status_n(kTextFindGone);
      return;
    }
    const int32_t first = static_cast<int32_t>(index);
    find_live_view_at(first, first + span < now.write_position ? first + span : now.write_position - 1);
    g_find.marked_place = static_cast<int64_t>(p.where) + f.first;
  }
  g_find.current = i;
  find_repaint_main();
  find_window_clear_of_mark();
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

void find_search_step(int dir) {
  if (g_find.running) return;
  FindQuery q;
  if (find_query_typed(&q)) return;
  if (!finds_current(q)) {
    find_search_start(dir);
    return;
  }
  if (g_find.current < 0) {
    show_step(dir);
    return;
  }
  // Past a full list the search goes on where it ended (or, back, where
  // the one before began).
  int64_t skip = 0;
  const int32_t i =
      find_step_in_list(g_find.current, g_find.finds.n, g_find.first_index, g_find.finds.more, kFindRowsMax, dir, &skip);
  if (i == kFindStepSearch) {
    g_find.skip_next = skip;
    find_search_start(dir);
  } else if (i == kFindStepNone) {
    find_status_n(kTextFindNoFurther);
  } else {
    find_show(i);
  }
}

void find_search_all() {
  FindQuery q;
  if (g_find.running || find_query_typed(&q)) return;
  if (finds_current(q)) status_found();
  else find_search_start(kFindStepAll);
}
