// The program's modes without a window: "Quorrin.exe /export <log> <out>"
// writes the capture export of a saved log, "/modbus <log> <out>" the
// Modbus monitor's CSV of it. Each loads the log with its times file as
// Open Log does, writes its file, and ends with exit code 0, or 1 and one
// line "path: reason" on standard error; none shows a window or a box.
// "/export" also reads a recording (a .qrec file or a folder of them) a
// window at a time, cut by "/from TIME" and "/to TIME".
//
// "/find SOURCE PATTERN" searches a log or a recording as grep does, with
// the Find window's own search: one CSV line per find on standard output
// (time_s,time_of_day,channel,direction,found,stream_offset), exit code 0
// when something was found, 1 when nothing was, 2 with one line on
// standard error for bad arguments or a file that cannot be read. The
// pattern is in the strings notation ("OK"0D0A), or hex pairs with ?? for
// any byte (/hex), or text as typed (/text, /anycase); instead of a
// pattern, "/silence MS" finds the chunks with at least MS ms of silence
// before them, "/badframe" the bad Modbus frames, "/event NAME" the line
// events of a kind; /ch1 /ch2 /rx /tx narrow the streams; /from and /to
// cut a recording as for /export.
//
// "/plot SOURCE OUT.csv" writes the plot's series of a log or a recording
// (numbers in received lines, Modbus registers, the link's timing) as CSV
// rows in time order (time_s,time_of_day,channel,series,value); OUT.png
// draws them (a lane a series, /size WIDTHxHEIGHT, 1600x900 unless given).
// "/series NAME" (again for more; "CH1 T" names one channel's) keeps only
// those, /from and /to cut the source. Exit code 0, or 2 with a line on
// standard error.
#include "app/command_line_win.h"

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "timeline/export_win.h"
#include "modbus/modbus_monitor_win.h"
#include "codec/convert.h"
#include "find/find_source.h"
#include "plot/plot_build.h"
#include "plot/plot_draw_win.h"
#include "plot/plot_out_win.h"
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

// Standard output, written in pieces of a buffer: each find's row as the
// one search places it.
struct FindOut {
  HANDLE out;
  char buffer[8192];
  int n;
  int64_t found;
};

void find_flush(FindOut* o) {
  DWORD done = 0;
  if (o->n > 0 && o->out && o->out != INVALID_HANDLE_VALUE) WriteFile(o->out, o->buffer, static_cast<DWORD>(o->n), &done, nullptr);
  o->n = 0;
}

// The finds of a stretch, written and taken out of the list.
void find_rows_out(void* ctx, FindRun* run) {
  FindOut* o = static_cast<FindOut*>(ctx);
  for (int32_t i = 0; i < run->list->n; i++) {
    const FindFound& f = run->list->items[i];
    const FindPlace& p = run->places[i];
    FindRowText t;
    find_row_text(f, run->origin, p.local_us, p.preview, p.preview_n, &t);
    char line[256];
    const int32_t n = find_line_row(t, f, line, sizeof line);
    if (n < 0) continue;
    if (o->n + n > static_cast<int>(sizeof o->buffer)) find_flush(o);
    std::memcpy(o->buffer + o->n, line, static_cast<size_t>(n));
    o->n += n;
    o->found++;
  }
  run->list->n = 0;
}

int find_usage() {
  error_text(kTextFindUsage, nullptr);
  error_text(kTextFindUsageMore, nullptr);
  return 2;
}

// Finds in a recording at `source` cut to [from, to]: 0, or 2 after saying
// why it cannot be read. What was passed over is said on standard error.
int find_in_recording(const wchar_t* source, const RecordTime& from, const RecordTime& to, FindRun* run) {
  static RecordFiles files;
  static RecordReader reader;
  static RecordWindow window;
  const int failure = record_files_begin(&files, source);
  if (failure) {
    error_text(failure, source);
    return 2;
  }
  if (capture_snapshot_allocate(&window.snap)) {
    error_text(kTextExportNoMemory, nullptr);
    return 2;
  }
  RecordStream st;
  record_stream_begin(&st, record_files_open_next, &files, &reader, from, to);
  find_run_recording(run, &st, &window, [](void*, const RecordStream*) -> uint64_t { return 0; }, nullptr, 0);
  const int64_t skipped = static_cast<int64_t>(st.skipped + reader.skipped * st.open);
  record_files_end(&files);
  if (files.not_read) error_text(kTextRecordNotRead, files.first_not_read);
  if (skipped || st.torn_files) error_text(kTextRecordSkipped, source, static_cast<long long>(skipped), st.torn_files);
  if (st.failed_files) error_text(kTextRecordReadFailed, source, st.failed_files);
  if (files.not_read && files.not_read == files.list.count) return 2;
  return 0;
}

// The log loaded into the capture as it stands, not copied.
const CaptureSnapshot& loaded_log() {
  static CaptureSnapshot s;
  s.records = g_app.capture.records;
  s.times = g_app.capture.times;
  s.count = capture_write_position(&g_app.capture);
  s.event_count = g_app.capture.event_count;
  std::memcpy(s.events, g_app.capture.events, sizeof s.events);
  s.base = 0;
  s.wall_offset_us = g_app.capture.wall_offset_us;
  return s;
}

// Finds in a saved log (with its times file when there is one): 0, or 2
// after saying why it cannot be read.
int find_in_log(const wchar_t* source, FindRun* run) {
  if (capture_allocate(&g_app.capture)) {
    error_text(kTextExportNoMemory, nullptr);
    return 2;
  }
  LogLoadPlan plan = {};
  int32_t records = 0;
  int state = kLogTimesMissing;
  const int failure = log_read_file(source, &plan, &records, &state);
  if (failure) {
    error_text(failure, source);
    capture_free(&g_app.capture);
    return 2;
  }
  const CaptureSnapshot& s = loaded_log();
  run->zone_minutes_at = local_zone_minutes_at;
  find_run_snapshot(run, s);
  capture_free(&g_app.capture);
  return 0;
}

// "/find SOURCE PATTERN [options]", or "/find SOURCE /silence MS",
// "/badframe", "/event NAME" with the same filters: 0 found, 1 nothing, 2
// bad arguments or a source that cannot be read.
int run_find(int argc, wchar_t** argv) {
  if (argc < 4) return find_usage();
  static FindQuery q;
  q = FindQuery{};
  q.what = kFindBytes;
  int form = 'N', anycase = 0, i = 3;
  const wchar_t* pattern = nullptr;
  uint32_t channels = 0, directions = 0;
  RecordTime from = {}, to = {};
  const char16_t* ms = nullptr;
  int kinds = 0;  // of /silence, /badframe and /event: one at most
  for (; i < argc; i++) {
    const wchar_t* a = argv[i];
    if (_wcsicmp(a, L"/silence") == 0 && i + 1 < argc) {
      q.what = kFindSilence;
      kinds++;
      ms = reinterpret_cast<const char16_t*>(argv[++i]);
    } else if (_wcsicmp(a, L"/badframe") == 0) {
      q.what = kFindBadFrame;
      kinds++;
    } else if (_wcsicmp(a, L"/event") == 0 && i + 1 < argc) {
      q.what = kFindLineEvent;
      kinds++;
      q.event = find_event_kind(reinterpret_cast<const char16_t*>(argv[++i]));
      if (!q.event) {
        error_text(kTextFindNoSuchEvent, nullptr, argv[i]);
        return 2;
      }
    } else if (i == 3) {
      pattern = a;  // the pattern stands first, whatever it begins with
    } else if (_wcsicmp(a, L"/hex") == 0) form = 'H';
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
  // One kind of find: a pattern, or one of the others alone.
  if (kinds > 1 || (q.what == kFindBytes) != (pattern != nullptr)) return find_usage();
  q.streams = find_streams_of(channels, directions);
  line_shapes_of(g_app.settings.port, q.shape);
  if (q.what == kFindBytes) {
    const FindPatternResult r = find_pattern_typed(&ansi_codec_win, reinterpret_cast<const char16_t*>(pattern),
                                                   static_cast<int>(wcslen(pattern)), form, !anycase, &q.pattern);
    if (r.fault != kFindPatternOk) {
      error_text(find_pattern_fault_text(r.fault), nullptr, r.at + 1);
      return 2;
    }
  } else if (q.what == kFindSilence && find_silence_typed(ms, &q.silence_us)) {
    error_text(kTextFindBadSilence, nullptr);
    return 2;
  } else if (q.what == kFindBadFrame) {
    modbus_monitor_options_now(&q.modbus);
  }
  const int recording = record_path_is_recording(argv[2]);
  if (!recording && (from.given || to.given)) {
    error_text(kTextSliceUsage, nullptr);
    return 2;
  }
  // Room for every find of one stretch: the rows go out after each.
  constexpr int32_t kRows = kCaptureRecords + kFindCarryRecords + kCaptureEvents;
  static FindPass pass;
  static FindOut out;
  out = {};
  out.out = GetStdHandle(STD_OUTPUT_HANDLE);
  FindFound* found = static_cast<FindFound*>(std::malloc(kRows * sizeof(FindFound)));
  FindPlace* places = static_cast<FindPlace*>(std::malloc(kRows * sizeof(FindPlace)));
  FindList list = {found, 0, kRows, 0};
  if (!found || !places || find_pass_begin(&pass, q)) {
    std::free(found);
    std::free(places);
    error_text(kTextExportNoMemory, nullptr);
    return 2;
  }
  FindRun run = {};
  run.pass = &pass;
  run.list = &list;
  run.places = places;
  run.placed = find_rows_out;
  run.ctx = &out;
  const int code = recording ? find_in_recording(argv[2], from, to, &run) : find_in_log(argv[2], &run);
  find_pass_end(&pass);
  std::free(found);
  std::free(places);
  find_flush(&out);
  if (code) return code;
  return out.found ? 0 : 1;
}

int plot_usage() {
  error_text(kTextPlotUsage, nullptr);
  error_text(kTextPlotUsageMore, nullptr);
  error_text(kTextPlotUsageOut, nullptr);
  return 2;
}

// "/size WIDTHxHEIGHT": 0, or 1 when it is not one.
int plot_size(const wchar_t* text, int* width, int* height) {
  wchar_t* end = nullptr;
  const long w = wcstol(text, &end, 10);
  if (end == text || (*end != L'x' && *end != L'X')) return 1;
  const wchar_t* second = end + 1;
  const long h = wcstol(second, &end, 10);
  if (end == second || *end || w < 16 || w > 8192 || h < 16 || h > 8192) return 1;
  *width = static_cast<int>(w);
  *height = static_cast<int>(h);
  return 0;
}

int ends_with(const wchar_t* path, const wchar_t* tail) {
  const size_t n = wcslen(path), k = wcslen(tail);
  return n > k && _wcsicmp(path + n - k, tail) == 0;
}


// "/plot SOURCE OUT.csv [/series NAME]... [/from T] [/to T]": 0, or 2 after
// saying what is wrong.
int run_plot(int argc, wchar_t** argv) {
  if (argc < 4) return plot_usage();
  static PlotOut out;
  out = PlotOut{};
  out.origin = kTimeUnknown;
  RecordTime from = {}, to = {};
  int width = 1600, height = 900;
  for (int i = 4; i < argc; i += 2) {
    if (i + 1 == argc) return plot_usage();
    const wchar_t* a = argv[i];
    if (_wcsicmp(a, L"/size") == 0) {
      if (plot_size(argv[i + 1], &width, &height)) {
        error_text(kTextPlotNotASize, nullptr, argv[i + 1]);
        return 2;
      }
      continue;
    }
    if (_wcsicmp(a, L"/series") == 0 && out.series_n < 8) {
      char* name = out.series[out.series_n++];
      const int n = WideCharToMultiByte(CP_ACP, 0, argv[i + 1], -1, name, kPlotNameBytes, nullptr, nullptr);
      if (n <= 1) return plot_usage();
    } else if (_wcsicmp(a, L"/from") == 0 || _wcsicmp(a, L"/to") == 0) {
      if (time_option(argv[i + 1], _wcsicmp(a, L"/from") == 0 ? &from : &to)) return 2;
    } else {
      return plot_usage();
    }
  }
  const int png = ends_with(argv[3], L".png");
  if (!png && !ends_with(argv[3], L".csv")) return plot_usage();
  static PlotSet picture;
  plot_set_free(&picture);
  out.picture = png ? &picture : nullptr;
  PlotBuildOptions o{};
  o.text = o.modbus = o.timing = 1;
  modbus_monitor_options_now(&o.modbus_options);
  line_shapes_of(g_app.settings.port, o.modbus_options.shape);
  o.sink = plot_row_out;
  o.sink_ctx = &out;
  static PlotBuild build;
  if (plot_build_begin(&build, o)) {
    error_text(kTextExportNoMemory, nullptr);
    return 2;
  }
  // A picture is written at the end; its file is made now all the same, so
  // a place that cannot be written is said before the source is read.
  out.file = CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out.file == INVALID_HANDLE_VALUE) {
    plot_build_end(&build);
    error_text(kTextFileOpenFailed, argv[3]);
    return 2;
  }
  const int header = png ? 0 : lstrlenA(kPlotCsvHeader);
  std::memcpy(out.buffer, kPlotCsvHeader, static_cast<size_t>(header));
  out.n = header;
  int code = 0;
  if (record_path_is_recording(argv[2])) {
    int failure = 0;
    RecordWindows* job = record_windows_open(argv[2], from, to, &failure);
    if (!job) {
      error_text(failure, argv[2]);
      code = 2;
    } else {
      LineShape lines[2];
      for (CaptureSnapshot* s; (s = record_windows_next_lined(job, lines)) != nullptr;) {
        plot_origin(&out, *s, nullptr);
        plot_build_stretch(&build, *s, lines, nullptr);
      }
      RecordNotes notes;
      record_windows_close(job, &notes);
      if (notes.not_read) error_text(kTextRecordNotRead, notes.first_not_read);
      if (notes.skipped || notes.torn_files)
        error_text(kTextRecordSkipped, argv[2], static_cast<long long>(notes.skipped), notes.torn_files);
      if (notes.failed_files) error_text(kTextRecordReadFailed, argv[2], notes.failed_files);
    }
  } else if (capture_allocate(&g_app.capture)) {
    error_text(kTextExportNoMemory, nullptr);
    code = 2;
  } else {
    LogLoadPlan plan = {};
    int32_t records = 0;
    int state = kLogTimesMissing;
    const int failure = log_read_file(argv[2], &plan, &records, &state);
    if (failure) {
      error_text(failure, argv[2]);
      code = 2;
    } else {
      // Its slice cuts the points.
      const CaptureSnapshot& s = loaded_log();
      out.from = from;
      out.to = to;
      build.o.zone_minutes_at = local_zone_minutes_at;
      plot_origin(&out, s, local_zone_minutes_at);
      plot_build_stretch(&build, s, nullptr, nullptr);
      if (state != kLogTimesLoaded) error_text(log_times_text(state), argv[2]);
    }
    capture_free(&g_app.capture);
  }
  if (code == 0) plot_build_finish(&build, nullptr);
  if (code == 0 && build.lost) {  // a file without some of the values is no file
    error_text(kTextExportNoMemory, nullptr);
    code = 2;
  }
  plot_build_end(&build);
  plot_out_flush(&out);
  if (!CloseHandle(out.file)) out.failed = 1;
  if (code == 0 && out.failed) {
    error_text(kTextExportWriteFailed, argv[3]);
    code = 2;
  }
  if (code == 0 && png) {
    // The palette the program's window shows.
    colors_file_load();
    theme_file_read();
    const Rgb* palette = active_palette();
    PlotPicture p = {&picture, nullptr, 0, 0, 0, kTimeUnknown, 96, rgb_colorref(palette[kSlotBackground]),
                     rgb_colorref(palette[kSlotText])};
    if (!plot_picture_span(p, &p.from_us, &p.to_us)) p.from_us = 0, p.to_us = 1000000;
    const int failure = plot_write_png(argv[3], width, height, p);
    if (failure) {
      error_text(failure, argv[3]);
      code = 2;
    } else if (picture.refused) {
      error_text(kTextPlotPastSeries, argv[3], static_cast<long long>(picture.refused));
    }
  }
  plot_set_free(&picture);
  if (code) DeleteFileW(argv[3]);
  else if (out.rows == 0) error_text(kTextPlotNothing, argv[2]);
  return code;
}

}  // namespace

int command_line_run() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return -1;
  if (argc >= 2 && (_wcsicmp(argv[1], L"/find") == 0 || _wcsicmp(argv[1], L"/plot") == 0)) {
    settings_file_load();
    message_file_load();
    const int code = _wcsicmp(argv[1], L"/find") == 0 ? run_find(argc, argv) : run_plot(argc, argv);
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
