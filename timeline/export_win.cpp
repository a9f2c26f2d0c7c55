#include "timeline/export_win.h"

#include <shellapi.h>

#include <cstdlib>
#include <cwchar>

#include "tools/modbus_monitor_win.h"
#include "ui/file_chooser_win.h"
#include "view/logfile_win.h"
#include "timeline/export.h"
#include "timeline/times_file.h"

namespace {

// "<log_path>.qtimes" into out (MAX_PATH units); 1 when it does not fit.
int times_path(const wchar_t* log_path, wchar_t out[MAX_PATH]) {
  const char16_t* log16 = reinterpret_cast<const char16_t*>(log_path);
  return timeline_companion_name(log16, static_cast<int>(wcslen(log_path)), reinterpret_cast<char16_t*>(out),
                                 MAX_PATH) < 0;
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

// The export's output: one file handle; the writers buffer their text.
int file_sink_write(void* ctx, const char* bytes, int n) {
  DWORD done = 0;
  return WriteFile(static_cast<HANDLE>(ctx), bytes, static_cast<DWORD>(n), &done, nullptr) &&
                 done == static_cast<DWORD>(n)
             ? 0
             : 1;
}

// One line on standard error in UTF-8. A program started from a shell with
// its error stream redirected (or under Wine from a terminal) has one; one
// started from the desktop has none, and the exit code still tells.
void error_line(const wchar_t* text, const wchar_t* path) {
  HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
  wchar_t line[4 * kMessageTextUnits + 2 * MAX_PATH + 8];
  if (path) _snwprintf(line, sizeof line / sizeof line[0] - 1, L"%ls: %ls\n", path, text);
  else _snwprintf(line, sizeof line / sizeof line[0] - 1, L"%ls\n", text);
  line[sizeof line / sizeof line[0] - 1] = 0;
  char utf8[4 * (sizeof line / sizeof line[0])];
  int n = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof utf8, nullptr, nullptr);
  DWORD done = 0;
  if (n > 1) WriteFile(err, utf8, static_cast<DWORD>(n - 1), &done, nullptr);
}

// Message text `text` formatted with the values after `path` when its
// fields are the expected ones (a damaged message file shows it as it stands).
void error_text(int text, const wchar_t* path, ...) {
  wchar_t format[kMessageTextUnits] = L"";
  get_text(text, format);
  if (!format[0]) {
    // No message texts: the one fixed notice says why no reason can be read.
    wchar_t file[MAX_PATH];
    if (program_file(L"quorrin_char2.ini", file)) file[0] = 0;
    wchar_t notice[3 * kMessageTextUnits + MAX_PATH];
    _snwprintf(notice, sizeof notice / sizeof notice[0] - 1, message_file_missing_text(), file);
    notice[sizeof notice / sizeof notice[0] - 1] = 0;
    for (wchar_t* p = notice; *p; p++)
      if (*p == L'\n') *p = L' ';
    error_line(notice, path);
    return;
  }
  wchar_t line[kMessageTextUnits + 64];
  if (message_fields_match(reinterpret_cast<const char16_t*>(format), message_fields(text))) {
    va_list args;
    va_start(args, path);
    _vsnwprintf(line, sizeof line / sizeof line[0] - 1, format, args);
    va_end(args);
    line[sizeof line / sizeof line[0] - 1] = 0;
  } else {
    lstrcpynW(line, format, sizeof line / sizeof line[0]);
  }
  error_line(line, path);
}

}  // namespace

HANDLE log_times_create(const wchar_t* log_path, int32_t count, int64_t wall_offset_us, uint64_t log_check) {
  wchar_t path[MAX_PATH];
  if (times_path(log_path, path)) return INVALID_HANDLE_VALUE;
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
  if (!times_path(log_path, path)) DeleteFileW(path);
}

int log_times_read(const wchar_t* log_path, int32_t records, uint64_t log_check, int64_t* times_out,
                   int64_t* wall_offset_out) {
  wchar_t path[MAX_PATH];
  if (times_path(log_path, path)) return kLogTimesMissing;
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
  int result = capture_snapshot_take(&g_app.capture, &snap) ? kTextExportNoMemory : 0;
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
    TimelineSink sink = {f, file_sink_write};
    const int csv = timeline_export_is_csv(reinterpret_cast<const char16_t*>(path));
    if (timeline_write_export(csv, snap.records, snap.times, snap.count, &clock, &sink))
      result = kTextExportWriteFailed;
    if (!CloseHandle(f)) result = kTextExportWriteFailed;
  }
  capture_snapshot_free(&snap);
  return result;
}

void export_command(HWND owner) {
  if (capture_write_position(&g_app.capture) == 0) {
    show_message(owner, kTextNoDataToExport, 0, L"Quorrin");
    return;
  }
  wchar_t path[MAX_PATH] = L"";
  if (!file_chooser(owner, kChooseExport, path)) return;
  int failure = capture_export(path);
  if (failure) show_texts(owner, L"Quorrin", {failure}, path);
}

int export_command_line() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return -1;
  // "/modbus" writes the Modbus monitor's CSV of the log in the same way.
  const int modbus = argc >= 2 && _wcsicmp(argv[1], L"/modbus") == 0;
  if (argc < 2 || (!modbus && _wcsicmp(argv[1], L"/export") != 0)) {
    LocalFree(argv);
    return -1;
  }
  const int usage = modbus ? kTextModbusUsage : kTextExportUsage;
  settings_file_load();
  message_file_load();  // without it, error_text says that the texts are missing
  int code = 1;
  if (argc != 4) {
    error_text(usage, nullptr);
  } else if (capture_allocate(&g_app.capture)) {
    error_text(kTextExportNoMemory, nullptr);
  } else {
    LogLoadPlan plan = {};
    int32_t records = 0;
    int state = kLogTimesMissing;
    int failure = log_read_file(argv[2], &plan, &records, &state);
    if (failure) {
      error_text(failure, argv[2]);
    } else {
      // The export goes on without the times or with a cut log; once it is
      // written a line says what it lacks. A failure says its reason alone.
      failure = modbus ? modbus_monitor_export(argv[3]) : capture_export(argv[3]);
      if (failure) {
        error_text(failure, argv[3]);
      } else {
        code = 0;
        if (plan.status == kLogLoadCut)
          error_text(kTextLogCut, argv[2], static_cast<long long>(plan.declared), kCaptureWrapThreshold);
        else if (records < plan.declared)
          error_text(kTextLogShort, argv[2], static_cast<long long>(plan.declared), records);
        else if (state != kLogTimesLoaded)
          error_text(log_times_text(state), argv[2]);
      }
    }
    capture_free(&g_app.capture);
  }
  LocalFree(argv);
  return code;
}
