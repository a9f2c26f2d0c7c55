// The events file beside a log: "X.log" keeps the line events of its
// capture (app/capture.h: ports opened, closed, lost and back, settings
// changed) in "X.log.qevents", so the log and its times file stay exactly
// as they always were, and a log without the file loads as before.
//
// Layout, all integers little-endian:
//   bytes 0-7    magic "QEVENT1\n" (the 1 is the format's version)
//   bytes 8-15   int64 record count (equals the log's record count)
//   bytes 16-23  uint64 check of the log's records (timeline_log_check)
//   bytes 24-27  uint32 event count, at most kCaptureEvents
//   bytes 28-31  0
//   then per event, 24 bytes: int64 place (the index of the log record it
//   comes before, 0 to the record count), int64 time in µs on the clock of
//   the log's times file (INT64_MIN for none), uint8 kind (1 to 10, app/capture.h), uint8
//   channel (0 to 2), uint16 COM number, uint32 detail.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/capture.h"

constexpr int kEventsHeaderBytes = 32;
constexpr int kEventsEntryBytes = 24;
constexpr char kEventsMagic[9] = "QEVENT1\n";
constexpr char16_t kEventsSuffix[] = u".qevents";

// The file's bytes for `count` events of a log of `records` records: places
// relative to the log's record 0. Writes kEventsHeaderBytes +
// count * kEventsEntryBytes bytes into out; count must be 0 to
// kCaptureEvents.
void timeline_events_encode(const LineEvent* events, int32_t count, int64_t records, uint64_t log_check, uint8_t* out);

enum TimelineEventsStatus {
  kEventsOk = 0,
  kEventsNone,       // no file, or shorter than its header
  kEventsDamaged,    // not an events file, a size that does not match its count, or an entry out of range
  kEventsOtherLog,   // written for another log (count or check differs)
};

// Reads an events file of len bytes for a log of log_records records with
// check log_check. On kEventsOk, events_out[0 .. *count_out - 1] hold its
// events in file order (places relative to the log's record 0, at most
// kCaptureEvents); on any other status *count_out is 0. Never reads past
// len nor writes past kCaptureEvents events.
TimelineEventsStatus timeline_events_parse(const uint8_t* data, size_t len, int32_t log_records, uint64_t log_check,
                                           LineEvent* events_out, int32_t* count_out);
