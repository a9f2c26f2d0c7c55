// The auto answer window (dialog 129): modeless, one at a time. It plays a
// device: while it is open and a rule is on, the bytes each channel
// receives go to that channel's matcher (macro/auto_answer.h), and the
// first rule that matches has its answer sent after its delay, recorded as
// sent when its write completes. Closing the window stops answering and
// forgets waiting answers.
//
// Everything here runs on the user-interface thread and never waits: a
// 10 ms timer, running while a rule is on or an answer waits, looks at the
// capture records written since its last look and starts the writes of the
// answers that are due (port_write_begin), looking at them again on later
// ticks. Waiting answers sit in a fixed queue; when it is full, further
// answers are dropped and the window says how many. A channel whose write
// is still on its way keeps its answers waiting; a line that flow control
// holds past the write's limit, or a failed write, drops that channel's
// answers with one notice in the window, never a box per match.
//
// Capture places are absolute, so a clear, a loaded log or a wrap between
// two looks is seen: records that went before they were looked at are
// counted and shown, and no record is fed twice. Records and their times
// are copied out together under one hold of the capture's lock
// (capture_copy_since). Only bytes received after answering began are fed,
// which also keeps a loaded log's old data from being answered.
#include "app/app_win.h"

#include <commctrl.h>

#include <cwchar>

#include "app/chrome_win.h"
#include "resources/resource.h"
#include "send/transmit_win.h"
#include "settings/message_text.h"
#include "macro/auto_answer.h"
#include "ui/dialog_look_win.h"
#include "ui/file_sink_win.h"
#include "ui/rule_list_win.h"

namespace {

constexpr UINT_PTR kAnswerTimer = 1;
constexpr UINT kAnswerPeriodMs = 10;
constexpr UINT kLoadAtOpen = WM_APP + 1;
constexpr int kPendingMost = 16;           // answers waiting for their delay
constexpr int kLookRecords = 4096;         // capture records copied per look
constexpr int kLooksPerTick = 16;          // a backlog is taken over several ticks
constexpr int kFileMost = 1 << 20;         // bytes of answers.txt read
constexpr int kFiresPerFeed = 8;
constexpr int kColumns = 5;                // channel, match, delay, answer, fired
constexpr int kCellUnits = 2 * kAutoAnswerBytes + 1;

struct PendingAnswer {
  int32_t channel;
  uint64_t due_ms;  // GetTickCount64 time
  int32_t length;
  uint8_t bytes[kAutoAnswerBytes];
};

struct AutoAnswerWindow {
  HWND window;
  HWND list;
  AutoAnswerRules rules;
  AutoAnswerMatcher matchers[2];
  int32_t answering;      // the timer runs: a rule is on or an answer waits
  int64_t scanned;        // absolute capture place looked at up to
  int64_t since_us;       // received bytes older than this are not fed
  int32_t pending_count;
  PendingAnswer pending[kPendingMost];
  int32_t dropped;        // answers dropped on a full queue since the window opened
  int32_t not_sent[2];    // answers of CH1, CH2 dropped on a held or failed line
  int32_t unseen;         // records gone before they were looked at
  int32_t filling;        // the list is being filled: its change notices are ours
  int32_t telling;        // a message box is up: ticks wait for it
  uint32_t shown_fired[kAutoAnswerRules];
};
AutoAnswerWindow g_answer = {};

CaptureRecord g_look[kLookRecords];
int64_t g_look_times[kLookRecords];
uint8_t g_file[kFileMost];

void show_text(HWND dlg, int id, const wchar_t* text) {
  wchar_t now[2 * kMessageTextUnits] = L"";
  GetDlgItemTextW(dlg, id, now, 2 * kMessageTextUnits);
  if (lstrcmpW(now, text) != 0) SetDlgItemTextW(dlg, id, text);
}

int reason_text(int reason) {
  switch (reason) {
    case kAutoAnswerLineTooLong: return kTextAnswerReasonFirst;
    case kAutoAnswerFields: return kTextAnswerReasonFirst + 1;
    case kAutoAnswerBadChannel: return kTextAnswerReasonFirst + 2;
    case kAutoAnswerBadMatch:
    case kAutoAnswerMatchTooLong: return kTextAnswerReasonFirst + 3;
    case kAutoAnswerBadDelay: return kTextAnswerReasonFirst + 4;
    case kAutoAnswerBadAnswer:
    case kAutoAnswerAnswerTooLong: return kTextAnswerReasonFirst + 5;
    case kAutoAnswerMatchNotation: return kTextAnswerMatchNotation;
    case kAutoAnswerAnswerNotation: return kTextAnswerAnswerNotation;
    default: return kTextAnswerReasonLast;
  }
}

int rules_on() {
  int on = 0;
  for (int r = 0; r < g_answer.rules.count; r++) on += g_answer.rules.rules[r].enabled != 0;
  return on;
}

int line_monitor() { return settings_line_monitor(&g_app.settings); }

// --- the list ---

void set_cell(int row, int column, const wchar_t* text) { rule_list_set_cell(g_answer.list, row, column, text); }

void show_fired(int row) {
  wchar_t count[16];
  _snwprintf(count, 16, L"%u", g_answer.rules.rules[row].fired);
  count[15] = 0;
  set_cell(row, 4, count);
  g_answer.shown_fired[row] = g_answer.rules.rules[row].fired;
}

void show_rule(int row) {
  const AutoAnswerRule& rule = g_answer.rules.rules[row];
  static char16_t cell[kCellUnits];
  set_cell(row, 0, rule.channel == 2 ? L"CH2" : L"CH1");
  cell[auto_answer_bytes_text(rule.match, rule.match_length, cell)] = 0;
  set_cell(row, 1, wide(cell));
  wchar_t delay[16];
  _snwprintf(delay, 16, L"%d", rule.delay_ms);
  delay[15] = 0;
  set_cell(row, 2, delay);
  cell[auto_answer_bytes_text(rule.answer, rule.answer_length, cell)] = 0;
  set_cell(row, 3, wide(cell));
  show_fired(row);
  ListView_SetCheckState(g_answer.list, row, rule.enabled ? TRUE : FALSE);
}

void fill_list(int select) {
  g_answer.filling = 1;
  rule_list_fill(g_answer.list, g_answer.rules.count, select, show_rule);
  g_answer.filling = 0;
}

int selected_row() { return rule_list_selected(g_answer.list); }

// --- status ---

void show_status(HWND dlg) {
  wchar_t text[2 * kMessageTextUnits] = L"";
  const int on = rules_on();
  if (line_monitor())
    get_text(kTextAnswerLineMonitor, text);
  else if (on == 0)
    get_text(kTextAnswerNoneOn, text);
  else
    format_text(text, 2 * kMessageTextUnits, kTextAnswerActive, on, g_answer.rules.count);
  show_text(dlg, IDC_ANS_STATUS, text);
  wchar_t notice[2 * kMessageTextUnits] = L"";
  if (g_answer.dropped) format_text(notice, kMessageTextUnits, kTextAnswerQueueFull, g_answer.dropped);
  if (g_answer.unseen) {
    wchar_t more[kMessageTextUnits];
    format_text(more, kMessageTextUnits, kTextAnswerUnseen, g_answer.unseen);
    if (notice[0]) wcsncat(notice, L"; ", 2 * kMessageTextUnits - 1 - wcslen(notice));
    wcsncat(notice, more, 2 * kMessageTextUnits - 1 - wcslen(notice));
  }
  for (int ch = 1; ch <= 2; ch++) {
    if (!g_answer.not_sent[ch - 1]) continue;
    wchar_t more[kMessageTextUnits];
    format_text(more, kMessageTextUnits, kTextAnswerNotSent, ch, g_answer.not_sent[ch - 1]);
    if (notice[0]) wcsncat(notice, L"; ", 2 * kMessageTextUnits - 1 - wcslen(notice));
    wcsncat(notice, more, 2 * kMessageTextUnits - 1 - wcslen(notice));
  }
  show_text(dlg, IDC_ANS_NOTICE, notice);
}

// --- answering ---

// The matchers start afresh whenever the rules change, as the core asks.
void matchers_begin() {
  auto_answer_matcher_begin(&g_answer.matchers[0], 1);
  auto_answer_matcher_begin(&g_answer.matchers[1], 2);
}

// Starts the timer when a rule is on or an answer waits, stops it when
// neither. Starting looks only at what arrives from now on.
void answering_update(HWND dlg) {
  const int want = rules_on() > 0 || g_answer.pending_count > 0;
  if (want && !g_answer.answering) {
    CapturePlace p = capture_place(&g_app.capture);
    g_answer.scanned = p.base + p.write_position;
    g_answer.since_us = capture_now_us(&g_app.capture);
    matchers_begin();
    SetTimer(dlg, kAnswerTimer, kAnswerPeriodMs, nullptr);
    g_answer.answering = 1;
  } else if (!want && g_answer.answering) {
    KillTimer(dlg, kAnswerTimer);
    g_answer.answering = 0;
  }
  show_status(dlg);
}

void queue_answer(const AutoAnswerFire& fire, uint64_t now_ms) {
  if (line_monitor()) return;  // counted by the matcher, never sent
  if (g_answer.pending_count >= kPendingMost) {
    g_answer.dropped++;
    return;
  }
  PendingAnswer& p = g_answer.pending[g_answer.pending_count++];
  p.channel = fire.channel;
  p.due_ms = now_ms + static_cast<uint64_t>(fire.delay_ms);
  p.length = fire.answer_length;
  for (int i = 0; i < fire.answer_length; i++) p.bytes[i] = fire.answer[i];
}

void feed_channel(int ch, const uint8_t* bytes, int n, uint64_t now_ms) {
  while (n > 0) {
    AutoAnswerFire fires[kFiresPerFeed];
    int used = 0;
    const int found = auto_answer_feed(&g_answer.matchers[ch - 1], &g_answer.rules, bytes, n, fires, kFiresPerFeed, &used);
    for (int f = 0; f < found; f++) queue_answer(fires[f], now_ms);
    bytes += used;
    n -= used;
  }
}

// Takes up to kLookRecords records after the last look. Returns 1 when
// more are waiting.
int look_once(uint64_t now_ms) {
  int64_t first = 0, end = 0;
  const int32_t count =
      capture_copy_since(&g_app.capture, g_answer.scanned, kLookRecords, g_look, g_look_times, &first, &end);
  if (first > g_answer.scanned) {
    const int64_t gone = first - g_answer.scanned;
    g_answer.unseen = gone > INT32_MAX - g_answer.unseen ? INT32_MAX : g_answer.unseen + static_cast<int32_t>(gone);
    g_answer.scanned = first;
  }
  if (count == 0) return 0;
  uint8_t bytes[2][kLookRecords];
  int n[2] = {0, 0};
  for (int i = 0; i < count; i++) {
    const CaptureRecord& r = g_look[i];
    if (r.kind != kKindRecvCh1 && r.kind != kKindRecvCh2) continue;
    if (g_look_times[i] == kTimeUnknown || g_look_times[i] < g_answer.since_us) continue;
    const int ch = r.kind == kKindRecvCh1 ? 0 : 1;
    bytes[ch][n[ch]++] = r.data;
  }
  feed_channel(1, bytes[0], n[0], now_ms);
  feed_channel(2, bytes[1], n[1], now_ms);
  g_answer.scanned += count;
  return g_answer.scanned < end;
}

void drop_pending(int k) {
  for (int i = k + 1; i < g_answer.pending_count; i++) g_answer.pending[i - 1] = g_answer.pending[i];
  g_answer.pending_count--;
}

// Answers of channel `ch` that can no longer go out: the one that failed
// and every one still waiting for that channel, counted for the notice.
void drop_channel(int ch, int failed) {
  int n = failed;
  for (int i = g_answer.pending_count - 1; i >= 0; i--)
    if (g_answer.pending[i].channel == ch) {
      drop_pending(i);
      n++;
    }
  g_answer.not_sent[ch - 1] += n;
}

// Sends every waiting answer that is due, in the order they came, without
// waiting for a write: a channel whose write is still on its way keeps its
// answers queued, and one whose line is held (the write cancelled past its
// limit) or failed drops them, with one notice in the window.
void send_due(uint64_t now_ms) {
  int busy[2];
  for (int ch = 1; ch <= 2; ch++) {
    const int state = port_write_check(ch);
    busy[ch - 1] = state == kPortWriteBusy;
    if (state == kPortWriteFailed) drop_channel(ch, 1);
  }
  int k = 0;
  while (k < g_answer.pending_count) {
    if (line_monitor()) {
      drop_pending(k);
      continue;
    }
    const int ch = g_answer.pending[k].channel;
    if (g_answer.pending[k].due_ms > now_ms || busy[ch - 1]) {
      k++;
      continue;
    }
    PendingAnswer answer = g_answer.pending[k];
    drop_pending(k);
    if (port_write_begin(ch, answer.bytes, answer.length) == kPortWriteBusy) {
      // Ended already on a free line: recorded now, with its time.
      const int state = port_write_check(ch);
      busy[ch - 1] = state == kPortWriteBusy;
      if (state == kPortWriteFailed) {
        drop_channel(ch, 1);
        k = 0;
      }
    } else {
      drop_channel(ch, 1);
      k = 0;
    }
  }
}

void tick(HWND dlg) {
  if (g_answer.telling) return;
  const uint64_t now_ms = GetTickCount64();
  for (int look = 0; look < kLooksPerTick && look_once(now_ms); look++) {
  }
  send_due(now_ms);
  for (int r = 0; r < g_answer.rules.count; r++)
    if (g_answer.rules.rules[r].fired != g_answer.shown_fired[r]) show_fired(r);
  answering_update(dlg);
}

// --- editing ---

int edit_units(HWND dlg, int id, wchar_t* out, int units) {
  return GetDlgItemTextW(dlg, id, out, units);
}

// The rule in the edit fields, or 1 after saying what is wrong.
int rule_from_fields(HWND dlg, AutoAnswerRule* rule) {
  static wchar_t match[kCellUnits + 64], answer[kCellUnits + 64];
  wchar_t delay[16];
  const int mn = edit_units(dlg, IDC_ANS_MATCH, match, kCellUnits + 64);
  const int dn = edit_units(dlg, IDC_ANS_DELAY, delay, 16);
  const int an = edit_units(dlg, IDC_ANS_ANSWER, answer, kCellUnits + 64);
  const int channel = static_cast<int>(SendDlgItemMessageW(dlg, IDC_ANS_CHANNEL, CB_GETCURSEL, 0, 0)) == 1 ? 2 : 1;
  const int reason = auto_answer_rule_from_fields(channel, reinterpret_cast<const char16_t*>(match), mn,
                                                  reinterpret_cast<const char16_t*>(delay), dn,
                                                  reinterpret_cast<const char16_t*>(answer), an, rule);
  if (reason) {
    show_message(dlg, reason_text(reason), 0, L"Error");
    return 1;
  }
  return 0;
}

void fields_from_rule(HWND dlg, int row) {
  const AutoAnswerRule& rule = g_answer.rules.rules[row];
  static char16_t cell[kCellUnits];
  SendDlgItemMessageW(dlg, IDC_ANS_CHANNEL, CB_SETCURSEL, rule.channel == 2 ? 1 : 0, 0);
  cell[auto_answer_bytes_text(rule.match, rule.match_length, cell)] = 0;
  SetDlgItemTextW(dlg, IDC_ANS_MATCH, wide(cell));
  SetDlgItemInt(dlg, IDC_ANS_DELAY, static_cast<UINT>(rule.delay_ms), FALSE);
  cell[auto_answer_bytes_text(rule.answer, rule.answer_length, cell)] = 0;
  SetDlgItemTextW(dlg, IDC_ANS_ANSWER, wide(cell));
}

void rules_changed(HWND dlg, int select) {
  matchers_begin();
  fill_list(select);
  answering_update(dlg);
}

void on_add(HWND dlg) {
  if (g_answer.rules.count >= kAutoAnswerRules) {
    show_message(dlg, kTextAnswerReasonLast, 0, L"Error");
    return;
  }
  AutoAnswerRule rule;
  if (rule_from_fields(dlg, &rule)) return;
  g_answer.rules.rules[g_answer.rules.count++] = rule;
  rules_changed(dlg, g_answer.rules.count - 1);
}

void on_change(HWND dlg) {
  const int row = selected_row();
  if (row < 0 || row >= g_answer.rules.count) return;
  AutoAnswerRule rule;
  if (rule_from_fields(dlg, &rule)) return;
  rule.enabled = g_answer.rules.rules[row].enabled;
  g_answer.rules.rules[row] = rule;  // a changed rule counts its fires afresh
  rules_changed(dlg, row);
}

void on_delete(HWND dlg) {
  const int row = selected_row();
  if (row < 0 || row >= g_answer.rules.count) return;
  for (int r = row + 1; r < g_answer.rules.count; r++) g_answer.rules.rules[r - 1] = g_answer.rules.rules[r];
  g_answer.rules.count--;
  rules_changed(dlg, row < g_answer.rules.count ? row : g_answer.rules.count - 1);
}

// --- answers.txt ---

void tell_problems(HWND dlg, const AutoAnswerRules& rules, const wchar_t* path) {
  constexpr int kUnits = (kAutoAnswerProblems + 2) * (2 * kMessageTextUnits) + MAX_PATH;
  static wchar_t text[kUnits];
  format_text(text, 2 * kMessageTextUnits, kTextAnswerLinesSkipped, rules.problem_count);
  const int kept = rules.problem_count < kAutoAnswerProblems ? rules.problem_count : kAutoAnswerProblems;
  for (int k = 0; k < kept; k++) {
    wchar_t reason[kMessageTextUnits] = L"";
    get_text(reason_text(rules.problems[k].reason), reason);
    wchar_t line[2 * kMessageTextUnits];
    format_text(line, 2 * kMessageTextUnits, kTextAnswerLineProblem, rules.problems[k].line, reason);
    wcsncat(text, L"\n", kUnits - 1 - wcslen(text));
    wcsncat(text, line, kUnits - 1 - wcslen(text));
  }
  wcsncat(text, L"\n", kUnits - 1 - wcslen(text));
  wcsncat(text, path, kUnits - 1 - wcslen(text));
  g_answer.telling = 1;
  MessageBoxW(dlg, text, L"FileError", MB_OK);
  g_answer.telling = 0;
}

// Loads answers.txt from the program directory; at the window's opening a
// missing file is no news.
void load_rules(HWND dlg, int quiet_when_missing) {
  wchar_t path[MAX_PATH];
  if (program_file(L"answers.txt", path)) {
    show_message(dlg, kTextTextFileOpenFailed, 0, L"CreateFile");
    return;
  }
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    if (!(quiet_when_missing && GetLastError() == ERROR_FILE_NOT_FOUND))
      show_texts(dlg, L"CreateFile", {kTextTextFileOpenFailed}, path);
    return;
  }
  DWORD size = 0, got = 0;
  while (size < static_cast<DWORD>(kFileMost) && ReadFile(f, g_file + size, kFileMost - size, &got, nullptr) && got > 0)
    size += got;
  CloseHandle(f);
  static AutoAnswerRules loaded;
  if (auto_answer_parse(g_file, size, &loaded) != kAutoAnswerFileOk) {
    show_texts(dlg, L"FileError", {kTextNotUnicodeFile}, path);
    return;
  }
  g_answer.rules = loaded;
  g_answer.pending_count = 0;
  rules_changed(dlg, g_answer.rules.count > 0 ? 0 : -1);
  if (g_answer.rules.count > 0) fields_from_rule(dlg, 0);
  if (loaded.problem_count) tell_problems(dlg, loaded, path);
}

void save_rules(HWND dlg) {
  wchar_t path[MAX_PATH];
  if (program_file(L"answers.txt", path)) {
    show_message(dlg, kTextTextFileOpenFailed, 0, L"CreateFile");
    return;
  }
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    show_texts(dlg, L"CreateFile", {kTextTextFileOpenFailed}, path);
    return;
  }
  const ByteSink to_file = file_sink(file);
  const int failed = auto_answer_write(&g_answer.rules, &to_file);
  if (!CloseHandle(file) || failed) show_texts(dlg, L"WriteFile", {kTextTextFileOpenFailed}, path);
}

// --- the window ---

void on_list_notify(HWND dlg, const NMHDR* hdr) {
  if (hdr->code != LVN_ITEMCHANGED || g_answer.filling) return;
  const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(hdr);
  const int row = change->iItem;
  if (row < 0 || row >= g_answer.rules.count) return;
  if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED))
    fields_from_rule(dlg, row);
  if ((change->uChanged & LVIF_STATE) && ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK)) {
    const int on = ListView_GetCheckState(g_answer.list, row) ? 1 : 0;
    if (on != g_answer.rules.rules[row].enabled) {
      g_answer.rules.rules[row].enabled = on;
      matchers_begin();
      answering_update(dlg);
    }
  }
}

void on_init(HWND dlg) {
  static const struct { int id, text; } kLabels[] = {
      {0, kTextAnswerTitle},
      {IDC_ANS_LABEL_CHANNEL, kTextAnswerChannel}, {IDC_ANS_LABEL_MATCH, kTextAnswerMatch},
      {IDC_ANS_LABEL_DELAY, kTextAnswerDelay},     {IDC_ANS_LABEL_ANSWER, kTextAnswerAnswer},
      {IDC_ANS_ADD, kTextAnswerAdd},               {IDC_ANS_CHANGE, kTextAnswerChange},
      {IDC_ANS_DELETE, kTextAnswerDelete},         {IDC_ANS_LOAD, kTextAnswerLoad},
      {IDC_ANS_SAVE, kTextAnswerSave},             {IDC_ANS_CLOSE, kTextClose}};
  for (const auto& l : kLabels) set_dialog_text(dlg, l.id, l.text);
  g_answer = {};
  g_answer.window = dlg;
  g_answer.list = GetDlgItem(dlg, IDC_ANS_LIST);
  static const int kHeads[kColumns] = {kTextAnswerChannel, kTextAnswerMatch, kTextAnswerDelay, kTextAnswerAnswer,
                                       kTextAnswerFired};
  static const int kWidths[kColumns] = {52, 80, 44, 110, 40};  // dialog units across, about the list's width
  rule_list_columns(dlg, g_answer.list, kHeads, kWidths, kColumns, 1u << 2 | 1u << 4);
  SendDlgItemMessageW(dlg, IDC_ANS_CHANNEL, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"CH1"));
  SendDlgItemMessageW(dlg, IDC_ANS_CHANNEL, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"CH2"));
  SendDlgItemMessageW(dlg, IDC_ANS_CHANNEL, CB_SETCURSEL, 0, 0);
  SetDlgItemTextW(dlg, IDC_ANS_DELAY, L"0");
  SendDlgItemMessageW(dlg, IDC_ANS_MATCH, EM_LIMITTEXT, kCellUnits + 62, 0);
  SendDlgItemMessageW(dlg, IDC_ANS_ANSWER, EM_LIMITTEXT, kCellUnits + 62, 0);
  SendDlgItemMessageW(dlg, IDC_ANS_DELAY, EM_LIMITTEXT, 15, 0);
  matchers_begin();
  show_status(dlg);
  dialog_look_init(dlg);
  // After the window shows, so a notice about the file stands over it.
  PostMessageW(dlg, kLoadAtOpen, 0, 0);
}

// Closing destroys the window and with it every waiting answer; so does
// the main window's end, which takes its owned windows with it.
void on_destroy(HWND dlg) {
  KillTimer(dlg, kAnswerTimer);
  g_answer.window = nullptr;
  g_answer.answering = 0;
  g_answer.pending_count = 0;
}

INT_PTR CALLBACK auto_answer_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  INT_PTR result = 0;
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return TRUE;
    case kLoadAtOpen: load_rules(dlg, 1); return TRUE;
    case WM_TIMER:
      if (wp == kAnswerTimer) tick(dlg);
      return TRUE;
    case WM_NOTIFY:
      if (reinterpret_cast<const NMHDR*>(lp)->idFrom == IDC_ANS_LIST) on_list_notify(dlg, reinterpret_cast<const NMHDR*>(lp));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDC_ANS_ADD: on_add(dlg); break;
        case IDC_ANS_CHANGE: on_change(dlg); break;
        case IDC_ANS_DELETE: on_delete(dlg); break;
        case IDC_ANS_LOAD: load_rules(dlg, 0); break;
        case IDC_ANS_SAVE: save_rules(dlg); break;
        case IDC_ANS_CLOSE:
        case IDCANCEL: DestroyWindow(dlg); break;
      }
      return TRUE;
    case WM_CLOSE: DestroyWindow(dlg); return TRUE;
    case WM_DESTROY: on_destroy(dlg); return TRUE;
    default:
      if (dialog_look(dlg, msg, wp, lp, &result)) return result;
      return FALSE;
  }
}

}  // namespace

void auto_answer_window_open(HWND owner) {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  tool_window_open(g_answer.window, owner, IDD_AUTO_ANSWER, auto_answer_proc);
}
