// The program's modes without a window: "Quorrin.exe /export <log> <out>"
// writes the capture export of a saved log, "/modbus <log> <out>" the
// Modbus monitor's CSV of it. Each loads the log with its times file as
// Open Log does, writes its file, and ends with exit code 0, or 1 and one
// line "path: reason" on standard error; none shows a window or a box.
// "/export" also reads a recording (a .qrec file or a folder of them) a
// window at a time, cut by "/from TIME" and "/to TIME".
//
// "/find SOURCE PATTERN" searches a log or a recording as grep does: one
// CSV line per match on standard output
// (time_s,time_of_day,channel,direction,stream_offset), exit code 0 when
// something was found, 1 when nothing was, 2 with one line on standard
// error for bad arguments or a file that cannot be read. The pattern is in
// the strings notation ("OK"0D0A), or hex pairs with ?? for any byte
// (/hex), or text as typed (/text, /anycase); /ch1 /ch2 /rx /tx narrow the
// streams; /from and /to cut a recording as for /export.
#include "app/command_line_win.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "timeline/export_win.h"
#include "modbus/modbus_monitor_win.h"
#include "codec/convert.h"
#include "find/find_query.h"
#include "find/find_win.h"
#include "record/record_files_win.h"
#include "timeline/chunks.h"
#include "timeline/export.h"
#include "timeline/export_win.h"
#include "view/logfile_win.h"

namespace {

struct CommandLineMode {
  const wchar_t* name;
  int usage;                         // message text of the mode's usage line
  int (*write)(const wchar_t* path);  // 0, or the message text of the failure
};

const CommandLineMode kModes[] = {
    {L"/export", kTextExportUsage, capture_export},
    {L"/modbus", kTextModbusUsage, modbus_monitor_export},
};

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

namespace {

// The TIME of "/from TIME" or "/to TIME" into *t: 0, or 1 after saying it
// is not a time. A text longer than any time is not one.
int time_option(const wchar_t* text, RecordTime* t) {
  char ascii[32] = {};
  int n = 0;
  for (; n < 31 && text[n]; n++) ascii[n] = text[n] < 128 ? static_cast<char>(text[n]) : '?';
  if (text[n] || record_time_parse(ascii, t)) {
    error_text(kTextNotATime, nullptr, text);
    return 1;
  }
  return 0;
}

// "/from TIME" and "/to TIME" after the two paths: 0, or 1 after saying
// what is wrong.
int slice_options(int argc, wchar_t** argv, int usage, RecordTime* from, RecordTime* to) {
  *from = {};
  *to = {};
  for (int i = 4; i < argc; i += 2) {
    RecordTime* t = _wcsicmp(argv[i], L"/from") == 0 ? from : _wcsicmp(argv[i], L"/to") == 0 ? to : nullptr;
    if (!t || i + 1 == argc) {
      error_text(usage, nullptr);
      error_text(kTextSliceUsage, nullptr);
      return 1;
    }
    if (time_option(argv[i + 1], t)) return 1;
  }
  return 0;
}

// A recording's export: what was passed over, said after it was written.
int run_recording(const wchar_t* source, const wchar_t* out, int modbus, const RecordTime& from, const RecordTime& to) {
  static RecordNotes notes;
  const int failure = record_export(source, out, modbus, from, to, &notes);
  if (notes.not_read) error_text(kTextRecordNotRead, notes.first_not_read);
  if (notes.skipped || notes.torn_files) error_text(kTextRecordSkipped, source, static_cast<long long>(notes.skipped), notes.torn_files);
  if (notes.failed_files) error_text(kTextRecordReadFailed, source, notes.failed_files);
  if (failure) {
    error_text(failure, failure == kTextExportWriteFailed || failure == kTextFileOpenFailed ? out : source);
    return 1;
  }
  if (notes.log_ends_at[0]) error_text(kTextRecordLogCut, out, notes.log_ends_at);
  return 0;
}

// Standard output, written in pieces of a buffer.
struct FindRun {
  HANDLE out;
  char buffer[8192];
  int n;
  int64_t origin;       // time_s counts from here
  int64_t wall_offset;  // turns a time into wall time
  int local_zone;       // 1: wall time in the local zone (a log); 0: as it is (a recording's recorded times)
  int64_t found;
};

void find_flush(FindRun* r) {
  DWORD done = 0;
  if (r->n > 0 && r->out && r->out != INVALID_HANDLE_VALUE) WriteFile(r->out, r->buffer, static_cast<DWORD>(r->n), &done, nullptr);
  r->n = 0;
}

int find_line(void* ctx, const FindHit& h) {
  FindRun* r = static_cast<FindRun*>(ctx);
  char seconds[40], day[24];
  const int64_t wall = time_add_us(h.time_us, r->wall_offset);
  const int64_t local = r->local_zone ? time_add_us(wall, static_cast<int64_t>(local_zone_minutes_at(wall)) * 60000000) : wall;
  find_time_texts(h.time_us, r->origin, h.time_us == kTimeUnknown ? kTimeUnknown : local, seconds, day);
  char line[160];
  const int n = std::snprintf(line, sizeof line, "%s,%s,%s,%s,%lld\r\n", seconds, day, h.stream < 2 ? "CH1" : "CH2",
                              h.stream % 2 ? "TX" : "RX", static_cast<long long>(h.offset));
  if (r->n + n > static_cast<int>(sizeof r->buffer)) find_flush(r);
  std::memcpy(r->buffer + r->n, line, static_cast<size_t>(n));
  r->n += n;
  r->found++;
  return 0;
}

// The pattern in the form the options chose: 0, or 2 after saying why not.
int find_pattern_of(const wchar_t* text, int form, int anycase, FindPattern* p) {
  const FindPatternResult r = find_pattern_typed(text, form, !anycase, p);
  if (r.fault == kFindPatternOk) return 0;
  error_text(find_pattern_fault_text(r.fault), nullptr, r.at + 1);
  return 2;
}

int find_usage() {
  error_text(kTextFindUsage, nullptr);
  return 2;
}

int run_find(int argc, wchar_t** argv) {
  if (argc < 4) return find_usage();
  int form = 'N', anycase = 0;
  uint32_t channels = 0, directions = 0;
  RecordTime from = {}, to = {};
  for (int i = 4; i < argc; i++) {
    const wchar_t* a = argv[i];
    if (_wcsicmp(a, L"/hex") == 0) form = 'H';
    else if (_wcsicmp(a, L"/text") == 0) form = 'T';
    else if (_wcsicmp(a, L"/anycase") == 0) anycase = 1;
    else if (_wcsicmp(a, L"/ch1") == 0) channels |= 1;
    else if (_wcsicmp(a, L"/ch2") == 0) channels |= 2;
    else if (_wcsicmp(a, L"/rx") == 0) directions |= 1;
    else if (_wcsicmp(a, L"/tx") == 0) directions |= 2;
    else if ((_wcsicmp(a, L"/from") == 0 || _wcsicmp(a, L"/to") == 0) && i + 1 < argc) {
      if (time_option(argv[i + 1], _wcsicmp(a, L"/from") == 0 ? &from : &to)) return 2;
      i++;
    } else {
      return find_usage();
    }
  }
  FindPattern p;
  if (find_pattern_of(argv[3], form, anycase, &p)) return 2;
  if (!channels) channels = 3;
  if (!directions) directions = 3;
  uint32_t streams = 0;
  for (int s = 0; s < kFindStreams; s++)
    if ((channels & (1u << (s / 2))) && (directions & (1u << (s % 2)))) streams |= 1u << s;
  static FindSearch search;
  find_search_begin(&search, p, streams);
  static FindRun run;
  run = {};
  run.out = GetStdHandle(STD_OUTPUT_HANDLE);
  run.origin = kTimeUnknown;
  if (record_path_is_recording(argv[2])) {
    int failure = 0;
    RecordWindows* w = record_windows_open(argv[2], from, to, &failure);
    if (!w) {
      if (failure == kTextNoDataToExport) return 1;  // an empty slice holds no match
      error_text(failure, argv[2]);
      return 2;
    }
    // The first window (its opening read it), then the entries straight:
    // nothing is laid out as records.
    const CaptureSnapshot* s = record_windows_next(w);
    run.origin = timeline_first_time_us(s->records, s->times, s->count);
    find_search_run(&search, s->records, s->times, s->count, find_line, &run);
    find_search_next_stretch(&search);
    RecordEntry e;
    while (record_windows_entry(w, &e))
      if (e.type >= kKindRecvCh1 && e.type <= kKindSentCh2)
        find_search_chunk(&search, e.type - 1, e.data, e.length, e.time_us, 0, find_line, &run);
    static RecordNotes notes;
    record_windows_close(w, &notes);
    if (notes.not_read) error_text(kTextRecordNotRead, notes.first_not_read);
    if (notes.skipped || notes.torn_files)
      error_text(kTextRecordSkipped, argv[2], static_cast<long long>(notes.skipped), notes.torn_files);
  } else {
    if (from.given || to.given) {
      error_text(kTextSliceUsage, nullptr);
      return 2;
    }
    if (capture_allocate(&g_app.capture)) {
      error_text(kTextExportNoMemory, nullptr);
      return 2;
    }
    LogLoadPlan plan = {};
    int32_t records = 0;
    int state = kLogTimesMissing;
    const int failure = log_read_file(argv[2], &plan, &records, &state);
    if (failure) {
      error_text(failure, argv[2]);
      capture_free(&g_app.capture);
      return 2;
    }
    const int32_t count = capture_write_position(&g_app.capture);
    run.origin = timeline_first_time_us(g_app.capture.records, g_app.capture.times, count);
    run.wall_offset = g_app.capture.wall_offset_us;
    run.local_zone = 1;
    find_search_run(&search, g_app.capture.records, g_app.capture.times, count, find_line, &run);
    capture_free(&g_app.capture);
  }
  find_flush(&run);
  return run.found ? 0 : 1;
}

}  // namespace

int command_line_run() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return -1;
  if (argc >= 2 && _wcsicmp(argv[1], L"/find") == 0) {
    settings_file_load();
    message_file_load();
    const int code = run_find(argc, argv);
    LocalFree(argv);
    return code;
  }
  const CommandLineMode* mode = nullptr;
  for (const CommandLineMode& m : kModes)
    if (argc >= 2 && _wcsicmp(argv[1], m.name) == 0) mode = &m;
  if (!mode) {
    LocalFree(argv);
    return -1;
  }
  const int usage = mode->usage;
  settings_file_load();
  message_file_load();  // without it, error_text says that the texts are missing
  int code = 1;
  RecordTime from, to;
  const int recording = argc >= 4 && record_path_is_recording(argv[2]);
  if (argc < 4 || (argc > 4 && !recording) || argc % 2) {
    error_text(usage, nullptr);
    if (recording) error_text(kTextSliceUsage, nullptr);
  } else if (slice_options(argc, argv, usage, &from, &to)) {
    // said
  } else if (recording) {
    code = run_recording(argv[2], argv[3], mode->write == modbus_monitor_export, from, to);
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
      failure = mode->write(argv[3]);
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

int command_line_start_flags() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 0;
  int flags = 0;
  for (int i = 1; i < argc; i++) {
    if (_wcsicmp(argv[i], L"/open") == 0) flags |= kStartOpen;
    if (_wcsicmp(argv[i], L"/reconnect") == 0) flags |= kStartReconnect;
  }
  LocalFree(argv);
  return flags;
}

int command_line_ports(wchar_t out[2][kPortAddressUnits]) {
  out[0][0] = out[1][0] = 0;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 0;
  int given = 0;
  for (int i = 1; i + 1 < argc; i++) {
    const int ch = _wcsicmp(argv[i], L"/port1") == 0 ? 0 : _wcsicmp(argv[i], L"/port2") == 0 ? 1 : -1;
    if (ch < 0) continue;
    // A text too long for any address is cut, and refused as too long when read.
    lstrcpynW(out[ch], argv[i + 1], kPortAddressUnits);
    given |= 1 << ch;
    i++;
  }
  LocalFree(argv);
  return given;
}

int command_line_record(wchar_t out[MAX_PATH]) {
  out[0] = 0;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 0;
  for (int i = 1; i + 1 < argc; i++)
    if (_wcsicmp(argv[i], L"/record") == 0) lstrcpynW(out, argv[i + 1], MAX_PATH);
  LocalFree(argv);
  return out[0] != 0;
}
