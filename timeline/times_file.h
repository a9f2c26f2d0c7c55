// The times file beside a log: a log "X.log" keeps its chunk times in
// "X.log.qtimes" (the log's full name plus ".qtimes"), so the log itself
// stays exactly as it always was.
//
// Layout, all integers little-endian:
//   bytes 0-7    magic "QTIMES1\n"
//   bytes 8-15   int64 record count (equals the log's record count)
//   bytes 16-23  int64 wall offset: wall clock (µs since 1970) minus the clock
//   bytes 24-31  uint64 check of the log's records (timeline_log_check),
//                so that a times file is never read beside another log of
//                the same length; 0 in files written before the check,
//                which are taken on their count alone
//   then count int64 times in µs, one per record, INT64_MIN for none.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/capture.h"

constexpr int kTimelineHeaderBytes = 32;
constexpr char kTimelineCompanionMagic[9] = "QTIMES1\n";
constexpr char16_t kTimelineCompanionSuffix[] = u".qtimes";

// A companion's name for the log name `log` (count units): the log's name
// plus `suffix` (".qtimes" unless another companion's is given), with a
// terminator, into `out` of out_units units. Returns the length without the
// terminator, or -1 when it does not fit (out is then an empty string, if
// it has room for one).
int timeline_companion_name(const char16_t* log, int count, char16_t* out, int out_units,
                            const char16_t* suffix = kTimelineCompanionSuffix);

// The check of a log's records that its times file carries: FNV-1a over
// the records' bytes, never 0.
uint64_t timeline_log_check(const CaptureRecord* records, int32_t count);

// The 32-byte header for `count` records, `wall_offset_us` and the check
// of the records.
void timeline_companion_header(int64_t count, int64_t wall_offset_us, uint64_t log_check,
                               uint8_t out[kTimelineHeaderBytes]);

// Times first .. first + count - 1 as the file holds them: 8 bytes each.
void timeline_companion_encode(const int64_t* times, int32_t count, uint8_t* out);

enum TimelineCompanionStatus {
  kCompanionOk = 0,        // times_out holds one time per record
  kCompanionShort,         // no file, shorter than a header, or fewer times than it declares
  kCompanionDamaged,       // not a companion file (magic) or more bytes than it declares
  kCompanionCountDiffers,  // written for a log of another length
  kCompanionOtherLog,      // written for another log of the same length (its check differs)
};

// Reads a companion file of len bytes for a log of log_records records.
// On kCompanionOk, times_out[0 .. log_records - 1] and *wall_offset_out hold
// the file's values; on any other status every one of those times is
// kTimeUnknown and the offset 0. Never reads past len nor writes past
// log_records times (none for a negative count). data may be null when len
// is 0.
TimelineCompanionStatus timeline_companion_parse(const uint8_t* data, size_t len, int32_t log_records,
                                                 uint64_t log_check, int64_t* times_out, int64_t* wall_offset_out);
