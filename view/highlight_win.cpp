// highlights.txt read at start and written by the dialog; the rules in force
// live here, on the user-interface thread, which alone reads and paints them.
#include "view/highlight_win.h"

#include <cwchar>

#include "codec/convert.h"
#include "modbus/modbus_monitor_win.h"
#include "record/record_view_win.h"
#include "settings/message_text.h"
#include "ui/file_sink_win.h"

namespace {

constexpr int kFileMost = 1 << 20;  // bytes of highlights.txt read

HighlightRules g_rules = {};
HighlightRules g_read = {};  // the file as read at start, for its notice
uint8_t g_file[kFileMost];
wchar_t g_path[MAX_PATH];
int g_not_utf16 = 0;
int g_frames_short = 0;  // the bad frames' worker could not start (memory short), and the user was told

int reason_text(const HighlightProblem& p) {
  if (p.reason == kHighlightBadPattern) return find_pattern_fault_text(p.bad.fault);
  if (p.reason >= kHighlightLineTooLong && p.reason <= kHighlightTooMany) {
    static const int kTexts[] = {kTextHighlightReasonFirst + 7, kTextHighlightReasonFirst + 6,
                                 kTextHighlightReasonFirst,     kTextHighlightReasonFirst + 1,
                                 kTextHighlightReasonFirst + 2, kTextHighlightReasonFirst + 3,
                                 0,                             kTextHighlightReasonFirst + 4,
                                 kTextHighlightReasonFirst + 5, kTextHighlightReasonLast};
    return kTexts[p.reason - 1];
  }
  return kTextHighlightReasonFirst + 6;
}

// The notice of what did not read, once, over the main window.
void tell_problems(void* arg) {
  HWND main = static_cast<HWND>(arg);
  if (g_not_utf16) {
    show_texts(main, L"FileError", {kTextNotUnicodeFile}, g_path);
    return;
  }
  constexpr int kUnits = (kHighlightProblems + 2) * (2 * kMessageTextUnits) + MAX_PATH;
  static wchar_t text[kUnits];
  format_text(text, 2 * kMessageTextUnits, kTextAnswerLinesSkipped, g_read.problem_count);
  const int kept = g_read.problem_count < kHighlightProblems ? g_read.problem_count : kHighlightProblems;
  for (int k = 0; k < kept; k++) {
    const HighlightProblem& p = g_read.problems[k];
    wchar_t reason[2 * kMessageTextUnits] = L"";
    highlight_reason_text(p, reason, 2 * kMessageTextUnits);
    wchar_t line[3 * kMessageTextUnits];
    format_text(line, 3 * kMessageTextUnits, kTextAnswerLineProblem, p.line, reason);
    wcsncat(text, L"\n", kUnits - 1 - wcslen(text));
    wcsncat(text, line, kUnits - 1 - wcslen(text));
  }
  wcsncat(text, L"\n", kUnits - 1 - wcslen(text));
  wcsncat(text, g_path, kUnits - 1 - wcslen(text));
  MessageBoxW(main, text, L"FileError", MB_OK);
}

}  // namespace

void highlight_load_at_start(HWND main) {
  if (program_file(L"highlights.txt", g_path)) return;
  HANDLE f = CreateFileW(g_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;  // no rules: nothing to tell
  DWORD size = 0, got = 0;
  while (size < static_cast<DWORD>(kFileMost) && ReadFile(f, g_file + size, kFileMost - size, &got, nullptr) && got > 0)
    size += got;
  CloseHandle(f);
  g_not_utf16 = highlight_parse(g_file, size, &ansi_codec_win, &g_read) != kHighlightFileOk;
  if (!g_not_utf16) g_rules = g_read;
  if (g_not_utf16 || g_read.problem_count) ui_thread_post(tell_problems, main);
}

const HighlightRules* highlight_rules() { return &g_rules; }

void highlight_reason_text(const HighlightProblem& p, wchar_t* out, int units) {
  out[0] = 0;
  if (p.reason == kHighlightBadPattern) format_text(out, units, reason_text(p), p.bad.at + 1);
  else get_text(reason_text(p), out);
}

void highlight_rules_put(HWND owner, const HighlightRules* rules) {
  g_rules = *rules;
  g_frames_short = 0;  // F rules set anew try the decode again
  InvalidateRect(owner, nullptr, TRUE);
  // A file that did not read, or whose other lines could not all be kept,
  // is the user's to mend: writing it would lose what they wrote. The rules
  // made in the dialog hold until the program closes.
  if (g_not_utf16 || g_rules.kept_lost) {
    show_texts(owner, L"FileError", {g_not_utf16 ? kTextHighlightNotWrittenUnread : kTextHighlightNotWrittenKept,
                                     kTextHighlightRulesForThisRun}, g_path);
    return;
  }
  if (program_file(L"highlights.txt", g_path)) {
    show_message(owner, kTextTextFileOpenFailed, 0, L"CreateFile");
    return;
  }
  HANDLE file = CreateFileW(g_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    show_texts(owner, L"CreateFile", {kTextTextFileOpenFailed}, g_path);
    return;
  }
  const ByteSink to_file = file_sink(file);
  const int failed = highlight_write(&g_rules, &to_file);
  if (!CloseHandle(file) || failed) show_texts(owner, L"WriteFile", {kTextTextFileOpenFailed}, g_path);
}

int highlight_any_on() {
  for (int r = 0; r < g_rules.count; r++)
    if (g_rules.rules[r].enabled) return 1;
  return 0;
}

namespace {

// The bad frames' decode: the worker, the capture its shown decode was
// made of and that capture's generation (a clear or a load since makes it
// another capture's).
ModbusMonitorWorker g_frames;
int g_frames_on = 0;
Capture* g_frames_of = nullptr;
uint32_t g_frames_generation = 0;
uint64_t g_frames_told = 0;  // what the bad frames of the decode shown sum to, as last painted

// The bad frames of a decode summed up: their count and places, so that a
// decode that found the same ones paints nothing again.
uint64_t bad_frames_sum(const ModbusMonitorResult& r) {
  uint64_t sum = 0;
  for (int32_t i = 0; i < r.frames.n; i++) {
    int64_t detail = 0;
    if (find_frame_bad(r.frames.frames, r.frames.n, i, r.options.line_monitor, &detail))
      sum = sum * 31 + static_cast<uint64_t>(r.base + r.frames.frames[i].first_record) + 1;
  }
  return sum;
}

int frame_rules_on() {
  for (int r = 0; r < g_rules.count; r++)
    if (g_rules.rules[r].enabled && g_rules.rules[r].query.what == kFindBadFrame) return 1;
  return 0;
}

}  // namespace

void highlight_frames_stop() {
  modbus_monitor_worker_stop(&g_frames);
  g_frames_on = 0;
  g_frames_of = nullptr;
}

void highlight_frames_tick(HWND view) {
  if (!frame_rules_on()) {
    if (g_frames_on) highlight_frames_stop();
    g_frames_short = 0;
    return;
  }
  if (g_frames_short) return;  // told; tried again once the F rules are set anew
  Capture* shown = view_capture();
  if (!g_frames_on) {
    // Below the receive threads and the window's, as the monitor's own.
    g_frames.thread_started = [] { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); };
    if (modbus_monitor_worker_start(&g_frames, shown)) {
      // F rules colour nothing then: the user is told so, once.
      g_frames_short = 1;
      show_message(view, kTextMonitorNoMemory, 0, L"HighlightRules");
      return;
    }
    g_frames_on = 1;
  }
  ModbusMonitorOptions o;
  modbus_monitor_options_now(&o);
  // The decode a poll hands over was made of the capture the worker had
  // before it (a poll moves it to another only after taking what it made).
  Capture* decoded = g_frames.capture;
  // A recording's window is decoded with what lies around it, so that a
  // frame its edge cuts, or a request answered (or not) past it, is told.
  ModbusMonitorAround around;
  if (recording_shown()) {
    around.before = recording_before();
    around.after = recording_after();
    around.serial = recording_around_serial();
  }
  if (!modbus_monitor_worker_poll(&g_frames, &o, shown, &around)) return;
  // Its generation is the one its records were taken in: a load since (a
  // recording's other window in the same capture) makes it another's.
  const int other = decoded != g_frames_of || g_frames.shown.generation != g_frames_generation;
  g_frames_of = decoded;
  g_frames_generation = g_frames.shown.generation;
  const uint64_t sum = bad_frames_sum(g_frames.shown);
  if (other || sum != g_frames_told) InvalidateRect(view, nullptr, FALSE);
  g_frames_told = sum;
}

const ModbusMonitorResult* highlight_frames() {
  if (!g_frames_on || !g_frames_of || g_frames_of != view_capture() || g_frames.shown.count < 0) return nullptr;
  const CapturePlace now = capture_place(g_frames_of);
  if (now.generation != g_frames_generation) return nullptr;
  if (g_frames.shown.base + g_frames.shown.count > now.base + now.write_position) return nullptr;
  return &g_frames.shown;
}
