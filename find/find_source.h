// The one search the Find window and the command line both run: a query
// over a snapshot (the live capture, a loaded log) or through a recording,
// window by window with the lines its headers give (bytes: entry by entry,
// nothing laid out as records, and no match across the end of a run of the
// program). Each find is placed where its caller can find it again.
//
// Pure: the recording's files come through the caller's RecordStream, the
// time zone through a function the caller gives.
#pragma once

#include <atomic>
#include <cstdint>

#include "find/find_rows.h"
#include "record/record_reader.h"

// Where a find lies beyond what FindFound says: the live capture's absolute
// place of record 0 of its stretch (its place is where + first), or where
// the recording's window (or block) that holds it was read from; its time
// of day; its first bytes.
struct FindPlace {
  uint64_t where;
  int64_t local_us;
  uint8_t preview[kFindPreviewBytes];
  int32_t preview_n;
};

struct FindRun {
  FindPass* pass;
  FindList* list;      // its items and `places` side by side, list->capacity of each
  FindPlace* places;
  const std::atomic<int>* cancel;  // may be null
  std::atomic<int>* percent;       // may be null: how far through a recording
  // Called after each stretch with its finds placed (may be null); it may
  // take them and empty the list.
  void (*placed)(void* ctx, FindRun* run);
  void* ctx;
  // A snapshot's times of day: the wall clock's offset to the local zone at
  // a wall time (null: the times are times of day already).
  int32_t (*zone_minutes_at)(int64_t wall_us);
  // Filled by the search:
  int64_t origin;         // where time_s counts from
  int64_t searched_from;  // a live capture that dropped records: the time of day of its first one, else unknown
  int cancelled;
};

// A snapshot as one stretch. 0, or 1 when cancelled.
int find_run_snapshot(FindRun* r, const CaptureSnapshot& s);
// A recording through `st` (begun by the caller), windows laid out in `w`;
// where(ctx, st) says where the stream reads now, as a place in the whole
// recording, `total` its size. 0, or 1 when cancelled.
int find_run_recording(FindRun* r, RecordStream* st, RecordWindow* w,
                       uint64_t (*where)(void* ctx, const RecordStream* st), void* where_ctx, uint64_t total);

// After a new search of the live capture, which find Find Next (then 1) or
// Find Previous (-1) goes to from the place marked before (absolute; -1:
// none, then the first or the last): its index, or -1 when none lies that way.
int32_t find_step_from(const FindFound* found, const FindPlace* places, int32_t n, int64_t marked_place, int then);

// Find Next (dir 1) or Find Previous (-1) from find `current` of a list
// of n kept after `first_index` passed over, with `more` not kept: the
// index to show (kFindStepNone: none lies that way), or, past the list's
// end while more were found (or before its start while some were passed
// over), kFindStepSearch with *skip the finds the search that goes on
// passes over.
constexpr int32_t kFindStepNone = -1, kFindStepSearch = -2;
int32_t find_step_in_list(int32_t current, int32_t n, int64_t first_index, int64_t more, int32_t capacity, int dir,
                          int64_t* skip);

// A capture time as a time of day: its wall time (the capture's clock plus
// `wall_offset`) in the zone of that moment (zone_minutes_at; null: the
// time is one already). kTimeUnknown stays so.
int64_t find_local_us(int64_t t, int64_t wall_offset, int32_t (*zone_minutes_at)(int64_t wall_us));
// As find_local_us, in the zone of the first time asked for: *zone holds its
// minutes once known (kFindZoneUnknown before). A time axis read this way
// never turns back when the clocks do (the end of summer time).
constexpr int32_t kFindZoneUnknown = INT32_MIN;
int64_t find_local_us_held(int64_t t, int64_t wall_offset, int32_t (*zone_minutes_at)(int64_t wall_us), int32_t* zone);
// Go to Time in the live capture or a loaded log: the first of records
// 0 .. count - 1 whose own time of day is at or after `local_at` (each
// record in the zone of its moment, so a change to summer time between the
// start and the time asked moves nothing), or count when none is.
int32_t find_time_first_local(const int64_t* times, int32_t count, int64_t local_at, int64_t wall_offset,
                              int32_t (*zone_minutes_at)(int64_t wall_us));
