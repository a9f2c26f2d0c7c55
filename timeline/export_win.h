// The capture's times on disk beside a log, and the export of the capture
// (command "Export capture", and "/export" on the command line through
// app/command_line_win.cpp).
#pragma once

#include "app/app_win.h"

// What became of the times file beside a log that was loaded.
enum LogTimesState {
  kLogTimesLoaded = 0,  // every record has its time back
  kLogTimesMissing,     // no times file
  kLogTimesDamaged,     // short, not a times file, or unreadable
  kLogTimesOtherLog,    // written for a log of another length
  kLogTimesAnotherLog,  // written for another log of the same length
};

// Creates "<log_path>.qtimes" and writes its header for `count` records
// whose check (timeline_log_check) is `log_check`; INVALID_HANDLE_VALUE
// when it cannot be made (the name too long, no room).
HANDLE log_times_create(const wchar_t* log_path, int32_t count, int64_t wall_offset_us, uint64_t log_check);
// Removes a times file that could not be written whole, so that no stale
// or cut file is ever read beside the log.
void log_times_remove(const wchar_t* log_path);
// Reads the times file beside the log at log_path, whose `records` records
// have the check `log_check`, into times_out (records of them) and
// *wall_offset_out; touches no capture. Returns a LogTimesState: on any
// other than kLogTimesLoaded the times are all unknown.
int log_times_read(const wchar_t* log_path, int32_t records, uint64_t log_check, int64_t* times_out,
                   int64_t* wall_offset_out);
// The message text that tells the user about `state` (0 for kLogTimesLoaded).
int log_times_text(int state);

// The line events beside a log, "<log_path>.qevents" (timeline/events_file.h):
// written from a snapshot's events (places made relative to its record 0;
// with no events any older file of that name is removed), 0 or 1 when it
// could not be written whole (it is removed then); and read for a log of
// `records` records with check `log_check` into out (kCaptureEvents room),
// *count_out of them: 0 when there is none or it is another log's, 1 when
// it is damaged (no events then; the log still loads).
int log_events_write(const wchar_t* log_path, const CaptureSnapshot& snap, uint64_t log_check);
int log_events_read(const wchar_t* log_path, int32_t records, uint64_t log_check, LineEvent* out, int32_t* count_out);

// Minutes the local zone is ahead of UTC at wall_us (µs since 1970), with
// the daylight saving time of that date; 0 when the system cannot say.
int32_t local_zone_minutes_at(int64_t wall_us);

// Writes the capture's records 0 .. write position - 1 to `path` as the
// export its name asks for. Returns 0, or the message text of the failure.
int capture_export(const wchar_t* path);

// Command "Export capture": the save dialog, then the export.
void export_command(HWND owner);
