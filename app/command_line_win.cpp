// The program's modes without a window: "Quorrin.exe /export <log> <out>"
// writes the capture export of a saved log, "/modbus <log> <out>" the
// Modbus monitor's CSV of it. Each loads the log with its times file as
// Open Log does, writes its file, and ends with exit code 0, or 1 and one
// line "path: reason" on standard error; none shows a window or a box.
// "/export" also reads a recording (a .qrec file or a folder of them) a
// window at a time, cut by "/from TIME" and "/to TIME".
#include "app/command_line_win.h"

#include <shellapi.h>

#include <cwchar>

#include "timeline/export_win.h"
#include "modbus/modbus_monitor_win.h"
#include "record/record_files_win.h"
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
    char ascii[32] = {};
    int n = 0;
    for (; n < 31 && argv[i + 1][n]; n++) ascii[n] = argv[i + 1][n] < 128 ? static_cast<char>(argv[i + 1][n]) : '?';
    if (argv[i + 1][n] || record_time_parse(ascii, t)) {
      error_text(kTextNotATime, nullptr, argv[i + 1]);
      return 1;
    }
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

}  // namespace

int command_line_run() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return -1;
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
