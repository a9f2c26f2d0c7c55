#include "timeline/export_win.h"

#include <cstdlib>
#include <cwchar>

#include "ui/file_chooser_win.h"
#include "ui/file_sink_win.h"
#include "view/logfile_win.h"
#include "timeline/export.h"
#include "timeline/events_file.h"
#include "timeline/times_file.h"
#include "record/record_view_win.h"

namespace {

// "<log_path>" plus a companion's suffix (".qtimes" unless another is
// given) into out (MAX_PATH units); 1 when it does not fit.
int companion_path(const wchar_t* log_path, wchar_t out[MAX_PATH], const char16_t* suffix = kTimelineCompanionSuffix) {
  const char16_t* log16 = reinterpret_cast<const char16_t*>(log_path);
  return timeline_companion_name(log16, static_cast<int>(wcslen(log_path)), reinterpret_cast<char16_t*>(out),
                                 MAX_PATH, suffix) < 0;
}

// Reads up to `size` bytes; returns how many arrived.
DWORD read_up_to(HANDLE f, uint8_t* buffer, DWORD size) {
  DWORD total = 0;
  while (total < size) {
    DWORD got = 0;
    if (!ReadFile(f, buffer + total, size - total, &got, nullptr) || got == 0) break;
    total += got;
  }
  return total;
}

}  // namespace

HANDLE log_times_create(const wchar_t* log_path, int32_t count, int64_t wall_offset_us, uint64_t log_check) {
  wchar_t path[MAX_PATH];
  if (companion_path(log_path, path)) return INVALID_HANDLE_VALUE;
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (f == INVALID_HANDLE_VALUE) return f;
  uint8_t header[kTimelineHeaderBytes];
  timeline_companion_header(count, wall_offset_us, log_check, header);
  DWORD done = 0;
  if (!WriteFile(f, header, kTimelineHeaderBytes, &done, nullptr) || done != kTimelineHeaderBytes) {
    CloseHandle(f);
    DeleteFileW(path);
    return INVALID_HANDLE_VALUE;
  }
  return f;
}

void log_times_remove(const wchar_t* log_path) {
  wchar_t path[MAX_PATH];
  if (!companion_path(log_path, path)) DeleteFileW(path);
}

int log_times_read(const wchar_t* log_path, int32_t records, uint64_t log_check, int64_t* times_out,
                   int64_t* wall_offset_out) {
  wchar_t path[MAX_PATH];
  if (companion_path(log_path, path)) return kLogTimesMissing;
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? kLogTimesMissing : kLogTimesDamaged;
  }
  // One byte more than a file for this log holds tells a longer file apart.
  const DWORD want = kTimelineHeaderBytes + static_cast<DWORD>(records) * 8 + 1;
  uint8_t* data = static_cast<uint8_t*>(std::malloc(want));
  int state = kLogTimesDamaged;
  if (data) {
    DWORD got = read_up_to(f, data, want);
    switch (timeline_companion_parse(data, got, records, log_check, times_out, wall_offset_out)) {
      case kCompanionOk: state = kLogTimesLoaded; break;
      case kCompanionCountDiffers: state = kLogTimesOtherLog; break;
      case kCompanionOtherLog: state = kLogTimesAnotherLog; break;
      default: break;
    }
  }
  CloseHandle(f);
  std::free(data);
  return state;
}

int log_events_write(const wchar_t* log_path, const CaptureSnapshot& snap, uint64_t log_check) {
  wchar_t path[MAX_PATH];
  if (companion_path(log_path, path, kEventsSuffix)) return 1;
  LineEvent kept[kCaptureEvents];
  int32_t n = 0;
  for (int32_t i = 0; i < snap.event_count; i++) {
    const int64_t place = snap.events[i].place - snap.base;
    if (place < 0 || place > snap.count) continue;
    kept[n] = snap.events[i];
    kept[n++].place = place;
  }
  if (n == 0) {
    DeleteFileW(path);  // no events: none of an older capture may stay beside the log
    return 0;
  }
  uint8_t data[kEventsHeaderBytes + kCaptureEvents * kEventsEntryBytes];
  timeline_events_encode(kept, n, snap.count, log_check, data);
  const DWORD bytes = kEventsHeaderBytes + static_cast<DWORD>(n) * kEventsEntryBytes;
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 1;
  DWORD done = 0;
  BOOL ok = WriteFile(f, data, bytes, &done, nullptr) && done == bytes;
  if (!CloseHandle(f)) ok = FALSE;
  if (!ok) DeleteFileW(path);
  return ok ? 0 : 1;
}

int log_events_read(const wchar_t* log_path, int32_t records, uint64_t log_check, LineEvent* out, int32_t* count_out) {
  *count_out = 0;
  wchar_t path[MAX_PATH];
  if (companion_path(log_path, path, kEventsSuffix)) return 0;
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? 0 : 1;
  }
  // One byte more than the largest file tells a longer one apart.
  uint8_t data[kEventsHeaderBytes + kCaptureEvents * kEventsEntryBytes + 1];
  const DWORD got = read_up_to(f, data, sizeof data);
  CloseHandle(f);
  switch (timeline_events_parse(data, got, records, log_check, out, count_out)) {
    case kEventsOk:
    case kEventsOtherLog:  // the times file's check already says so
      return 0;
    case kEventsNone:
      return got == 0 ? 0 : 1;
    default:
      return 1;
  }
}

int log_times_text(int state) {
  switch (state) {
    case kLogTimesMissing: return kTextTimesMissing;
    case kLogTimesDamaged: return kTextTimesDamaged;
    case kLogTimesOtherLog: return kTextTimesOtherLog;
    case kLogTimesAnotherLog: return kTextTimesForAnotherLog;
  }
  return 0;
}

int32_t local_zone_minutes_at(int64_t wall_us) {
  // FILETIME counts 100 ns since 1601; 11644473600 s lie between 1601 and 1970.
  const int64_t kFrom1601 = INT64_C(11644473600000000);
  if (wall_us < -kFrom1601 || wall_us > INT64_MAX / 10 - kFrom1601) return 0;
  const uint64_t t = static_cast<uint64_t>(wall_us + kFrom1601) * 10;
  FILETIME utc_file = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)}, local_file;
  SYSTEMTIME utc, local;
  if (!FileTimeToSystemTime(&utc_file, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
      !SystemTimeToFileTime(&local, &local_file))
    return 0;
  const int64_t l = static_cast<int64_t>((static_cast<uint64_t>(local_file.dwHighDateTime) << 32) | local_file.dwLowDateTime);
  return static_cast<int32_t>((l - static_cast<int64_t>(t)) / 600000000);
}

int capture_export(const wchar_t* path) {
  // One whole copy: the receive threads go on appending and wrapping while
  // the file is written, and a wrap between the count, the records and the
  // times would mix two captures.
  CaptureSnapshot snap;
  if (capture_snapshot_allocate(&snap)) return kTextExportNoMemory;
  int result = capture_snapshot_take(view_capture(), &snap) ? kTextExportNoMemory : 0;
  if (result == 0 && snap.count == 0) result = kTextNoDataToExport;
  HANDLE f = INVALID_HANDLE_VALUE;
  if (result == 0) {
    f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                    nullptr);
    if (f == INVALID_HANDLE_VALUE) result = kTextFileOpenFailed;
  }
  if (result == 0) {
    TimelineTextClock clock = {snap.wall_offset_us, local_zone_minutes_at, {}};
    line_shapes_of(g_app.settings.port, clock.shape);
    const ByteSink sink = file_sink(f);
    const int csv = timeline_export_is_csv(reinterpret_cast<const char16_t*>(path));
    const TimelineEvents events = {snap.events, snap.event_count, snap.base};
    if (timeline_write_export(csv, snap.records, snap.times, snap.count, &clock, &sink, &events))
      result = kTextExportWriteFailed;
    if (!CloseHandle(f)) result = kTextExportWriteFailed;
  }
  capture_snapshot_free(&snap);
  return result;
}

void export_command(HWND owner) {
  if (capture_write_position(view_capture()) == 0) {
    show_message(owner, kTextNoDataToExport, 0, L"Quorrin");
    return;
  }
  wchar_t path[MAX_PATH] = L"";
  if (!file_chooser(owner, kChooseExport, path)) return;
  int failure = capture_export(path);
  if (failure) show_texts(owner, L"Quorrin", {failure}, path);
}
