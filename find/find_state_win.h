// What the Find window's files share (find_win.cpp the window,
// find_search_win.cpp the search and its steps, go_to_time_win.cpp Go to
// Time): the search, its finds and the query typed last. The
// user-interface thread owns it all but what the worker fills while
// `running` (finds, places, origin) and the worker's own blocks.
#pragma once

#include <atomic>
#include <thread>

#include "find/find_source.h"
#include "find/find_win.h"
#include "record/record_files_win.h"

constexpr int32_t kFindRowsMax = 100000;  // finds kept; more are counted
constexpr int kFindStepAll = 2;           // what a search's end does: show the list only
constexpr UINT_PTR kFindProgressTimer = 1;  // the window's timer while a search runs
constexpr UINT kFindProgressPeriodMs = 50;

enum FindLook { kLookBytes, kLookSilence, kLookBadFrame, kLookEvent, kLooks };

struct FindState {
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
  int then;            // what the search's end does: 1 next, -1 previous, kFindStepAll
  int choosing;        // the list's row is being chosen here, not by the user
  FindFound* found;
  FindPlace* place;
  FindList finds;
  // A search that goes on past a full list: the finds passed over before
  // the list's first, and the next search's (0: a search of its own).
  int64_t first_index;
  int64_t skip_next;
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
extern FindState g_find;

// The last query typed, kept while the window is closed for F3 to use.
struct FindTyped {
  int look, form, match_case, ch1, ch2, rx, tx;
  wchar_t pattern[2 * kFindPatternMax + 8];
  wchar_t held[kLooks][2 * kFindPatternMax + 8];  // what was typed for each kind, while another is chosen
};
extern FindTyped g_typed;

void find_status(const wchar_t* text);
void find_status_n(int n, ...);
// The query typed: 1 after saying on the status line why there is none.
int find_query_typed(FindQuery* q);
void find_typed_read();
void find_list_count(int32_t n);
void find_buttons_enable(int searching);
void find_repaint_main();
// The live view held with record `first` on its second row, records
// first .. last marked.
void find_live_view_at(int32_t first, int32_t last);
void find_search_step(int dir);
// Moves the window off the find marked when it covers it.
void find_window_clear_of_mark();
void find_search_all();
void find_show(int32_t i);
void find_on_progress_timer();
// Starts a search for the query typed; `then` is what its end does.
void find_search_start(int then);
