// Send File and Receive File: the transfer window and the worker thread
// that runs the transfer machine (transfer/transfer.h) on one channel.
//
// Threads: the window (and the macro) run on the user-interface thread and
// only start, cancel and look; the worker owns the machine and the files.
// It writes through the send path every sender uses (send_bytes), so the
// capture records what went out as always, and it reads what the channel
// received from the capture itself (capture_copy_since), as the auto
// answer does: the channel's receive thread stays its only reader. What
// the window shows is copied out under g_job.lock; `cancel` and `running`
// are atomics. One transfer runs at a time.
#include "transfer/transfer_win.h"

#include <cderr.h>
#include <commdlg.h>

#include <atomic>
#include <cwchar>
#include <mutex>

#include "resources/resource.h"
#include "send/transmit_win.h"
#include "serial/port_win.h"
#include "transfer/transfer.h"
#include "ui/dialog_look_win.h"
#include "ui/file_chooser_win.h"

namespace {

// The paths of a batch: room for some hundreds of files chosen together.
constexpr int kPathsUnits = 16384;
constexpr UINT kEnded = WM_APP + 3;
constexpr UINT_PTR kShowTimer = 1;
constexpr UINT kShowPeriodMs = 250;
constexpr int kLookRecords = 4096;
constexpr DWORD kIdlePollMs = 2;
constexpr DWORD kReapWaitMs = 20;  // the most the window's thread waits for the worker

struct TransferJob {
  // Set by the user-interface thread before the worker starts.
  int32_t channel;  // 1 or 2
  int32_t sending;
  int32_t protocol;
  RawPacing pacing;
  uint32_t quiet_ms;
  wchar_t paths[kPathsUnits];
  int64_t from;  // the capture place the received bytes are taken from
  HWND notify;   // told kEnded; may be null (a macro's transfer)
  HANDLE thread;
  std::atomic<int> cancel;
  std::atomic<int> running;
  // The worker's own.
  Transfer machine;
  HANDLE file;
  int32_t next_path;  // index into paths of the next file to send
  // Shared, under lock.
  std::mutex lock;
  TransferProgress progress;
  int32_t status;
  int32_t failure;
  uint64_t started_ms;
  wchar_t sending_name[MAX_PATH];  // the file being sent, as its folder names it
  wchar_t renamed[kTransferNameMost + 1];  // a received name already taken in the folder (empty: none)
  wchar_t saved_as[MAX_PATH];              // what that file was saved as
};
TransferJob g_job;

struct TransferWindow {
  HWND window;
  int32_t sending;
};
TransferWindow g_window;

CaptureRecord g_look[kLookRecords];
int64_t g_look_times[kLookRecords];
uint8_t g_in[kLookRecords];

void close_file() {
  if (g_job.file && g_job.file != INVALID_HANDLE_VALUE) CloseHandle(g_job.file);
  g_job.file = nullptr;
}

// --- the files, as the machine's source and sink ---

// The next '|'-separated path, blanks trimmed, into out; 0 at the list's end.
int next_path(wchar_t out[MAX_PATH]) {
  const wchar_t* p = g_job.paths + g_job.next_path;
  while (*p == L'|' || *p == L' ') p++;
  if (!*p) return 0;
  const wchar_t* end = p;
  while (*end && *end != L'|') end++;
  g_job.next_path = static_cast<int32_t>(end - g_job.paths);
  while (end > p && end[-1] == L' ') end--;
  const int n = static_cast<int>(end - p) < MAX_PATH - 1 ? static_cast<int>(end - p) : MAX_PATH - 1;
  wmemcpy(out, p, static_cast<size_t>(n));
  out[n] = 0;
  return 1;
}

int source_next(void*, char name[kTransferNameMost], int* name_length, int64_t* size) {
  close_file();
  wchar_t path[MAX_PATH];
  if (!next_path(path)) return 0;
  g_job.file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                           nullptr);
  LARGE_INTEGER length = {};
  if (g_job.file == INVALID_HANDLE_VALUE || !GetFileSizeEx(g_job.file, &length)) return kSourceOpenFailed;
  *size = length.QuadPart;
  // YMODEM sends the name alone, in UTF-8.
  const wchar_t* base = path;
  for (const wchar_t* c = path; *c; c++)
    if (*c == L'\\' || *c == L'/' || *c == L':') base = c + 1;
  {
    std::lock_guard<std::mutex> hold(g_job.lock);
    lstrcpynW(g_job.sending_name, base, MAX_PATH);
  }
  const int n = WideCharToMultiByte(CP_UTF8, 0, base, -1, nullptr, 0, nullptr, nullptr);
  if (n - 1 > kTransferNameMost) return kSourceNameTooLong;
  if (n <= 1) return kSourceOpenFailed;
  WideCharToMultiByte(CP_UTF8, 0, base, lstrlenW(base), name, kTransferNameMost, nullptr, nullptr);
  *name_length = n - 1;
  return 1;
}

int source_read(void*, uint8_t* bytes, int most) {
  DWORD got = 0;
  if (!ReadFile(g_job.file, bytes, static_cast<DWORD>(most), &got, nullptr)) return -1;
  return static_cast<int>(got);
}

// A received name never replaces a file: one taken in the folder (or
// earlier in the batch) is saved as "name (2).ext", "name (3).ext"...
constexpr int kNumberedTries = 1000;

int sink_begin(void*, const char* name, int name_length, int64_t) {
  close_file();
  if (!name) {
    // The file the user chose (and agreed to replace) in the save dialog.
    g_job.file = CreateFileW(g_job.paths, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    return g_job.file == INVALID_HANDLE_VALUE ? kTransferWriteFailed : 0;
  }
  // The name as UTF-8 when it is, else in the ANSI code page, which may
  // make a device's name of it: checked again as it now reads.
  char16_t base[kTransferNameMost + 1];
  wchar_t* wide = reinterpret_cast<wchar_t*>(base);
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, name_length, wide, kTransferNameMost);
  if (n <= 0) n = MultiByteToWideChar(CP_ACP, 0, name, name_length, wide, kTransferNameMost);
  if (n <= 0 || transfer_device_name(base, n)) return kTransferNameRefused;
  base[n] = 0;
  wchar_t path[MAX_PATH];
  for (int number = 1; number <= kNumberedTries; number++) {
    char16_t numbered[kTransferNameMost + 16];
    const int length = transfer_numbered_name(base, n, number, numbered, kTransferNameMost + 15);
    if (length <= 0) return kTransferWriteFailed;
    numbered[length] = 0;
    const int made = _snwprintf(path, MAX_PATH, L"%ls\\%ls", g_job.paths, reinterpret_cast<const wchar_t*>(numbered));
    if (made < 0 || made >= MAX_PATH) return kTransferWriteFailed;
    g_job.file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_job.file != INVALID_HANDLE_VALUE) {
      if (number > 1) {
        std::lock_guard<std::mutex> hold(g_job.lock);
        lstrcpynW(g_job.renamed, wide, kTransferNameMost + 1);
        lstrcpynW(g_job.saved_as, reinterpret_cast<const wchar_t*>(numbered), MAX_PATH);
      }
      return 0;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  g_job.file = nullptr;
  return kTransferWriteFailed;
}

int sink_write(void*, const uint8_t* bytes, int count) {
  DWORD wrote = 0;
  return WriteFile(g_job.file, bytes, static_cast<DWORD>(count), &wrote, nullptr) && wrote == static_cast<DWORD>(count)
             ? 0
             : 1;
}

// A file broken off is kept as far as it came: nothing received is lost.
void sink_end(void*, int) { close_file(); }

// --- the worker ---

// Writes what the machine gave, in pieces the send path takes.
int write_out(const TransferOut& out) {
  for (int at = 0; at < out.count; at += kSendMax) {
    const int n = out.count - at < kSendMax ? out.count - at : kSendMax;
    if (send_bytes(nullptr, n, out.bytes + at, g_job.channel) != kSendOk) return 1;
  }
  return 0;
}

// The bytes the channel received since the last look.
int received() {
  const uint8_t kind = g_job.channel == 1 ? kKindRecvCh1 : kKindRecvCh2;
  int64_t first = 0, end = 0;
  const int32_t got = capture_copy_since(&g_app.capture, g_job.from, kLookRecords, g_look, g_look_times, &first, &end);
  int n = 0;
  for (int32_t i = 0; i < got; i++)
    if (g_look[i].kind == kind) g_in[n++] = g_look[i].data;
  // A clear starts the places again below where this look had come.
  g_job.from = got > 0 ? first + got : (end < g_job.from ? end : g_job.from);
  return n;
}

void publish() {
  std::lock_guard<std::mutex> hold(g_job.lock);
  g_job.progress = g_job.machine.progress;
  g_job.status = g_job.machine.status;
  g_job.failure = g_job.machine.failure;
}

DWORD WINAPI transfer_thread(void*) {
  Transfer* t = &g_job.machine;
  const uint32_t start = GetTickCount();
  if (g_job.sending) {
    TransferSource source = {nullptr, source_next, source_read};
    transfer_send_begin(t, g_job.protocol, &source, &g_job.pacing, start);
  } else {
    TransferSink sink = {nullptr, sink_begin, sink_write, sink_end};
    transfer_receive_begin(t, g_job.protocol, &sink, g_job.quiet_ms, start);
  }
  TransferOut out;
  uint32_t shown = start;
  int cancelled = 0;
  while (t->status == kTransferRunning) {
    const int n = received();
    const uint32_t now = GetTickCount();
    out.count = 0;
    if (g_job.cancel.load() && !cancelled) {
      cancelled = 1;
      transfer_cancel(t, now, &out);
    } else if (!channel_is_open(g_job.channel - 1)) transfer_line_failed(t);
    else transfer_step(t, g_in, n, now, &out);
    if (out.count > 0 && write_out(out) != 0) transfer_line_failed(t);
    if (now - shown >= 50 || t->status != kTransferRunning) {
      publish();
      shown = now;
    }
    if (n == 0 && out.count == 0 && t->status == kTransferRunning) {
      const uint32_t wait = transfer_due(now, transfer_wake(t)) ? 0 : transfer_wake(t) - now;
      Sleep(wait < kIdlePollMs ? wait : kIdlePollMs);
    }
  }
  close_file();
  publish();
  transmit_hold(g_job.channel, 0);
  // Read before `running` falls: a start after it may set a new window.
  const HWND notify = g_job.notify;
  g_job.running.store(0);
  if (notify) PostMessageW(notify, kEnded, 0, 0);
  return 0;
}

// Takes the ended worker's handle.
void reap() {
  if (!g_job.thread || g_job.running.load()) return;
  // Past `running` the worker only posts its end and returns: a moment.
  // The window's thread never waits longer; a later look takes it.
  if (WaitForSingleObject(g_job.thread, kReapWaitMs) != WAIT_OBJECT_0) return;
  CloseHandle(g_job.thread);
  g_job.thread = nullptr;
}

// --- the window ---

int job_start(int channel, int sending, int protocol, const wchar_t* path, RawPacing pacing, uint32_t quiet_ms,
              HWND notify);
void job_stop();

int protocol_of(HWND dlg) {
  const LRESULT i = SendDlgItemMessageW(dlg, IDC_XFR_PROTOCOL, CB_GETCURSEL, 0, 0);
  return i >= kTransferRaw && i <= kTransferYmodem ? static_cast<int>(i) : kTransferXmodem;
}

void show_text(HWND dlg, int id, const wchar_t* text) {
  wchar_t now[2 * kMessageTextUnits] = L"";
  GetDlgItemTextW(dlg, id, now, 2 * kMessageTextUnits);
  if (lstrcmpW(now, text) != 0) SetDlgItemTextW(dlg, id, text);
}

// The fields that matter for the chosen protocol and direction take input.
void enable_fields(HWND dlg) {
  const int running = g_job.running.load() && g_job.notify == dlg;
  const int raw = protocol_of(dlg) == kTransferRaw;
  for (int id : {IDC_XFR_CHANNEL, IDC_XFR_PROTOCOL, IDC_XFR_PATH, IDC_XFR_BROWSE, IDC_XFR_START})
    EnableWindow(GetDlgItem(dlg, id), !running);
  EnableWindow(GetDlgItem(dlg, IDC_XFR_BYTE_MS), !running && raw && g_window.sending);
  EnableWindow(GetDlgItem(dlg, IDC_XFR_LINE_MS), !running && raw && g_window.sending);
  EnableWindow(GetDlgItem(dlg, IDC_XFR_QUIET_MS), !running && raw && !g_window.sending);
  EnableWindow(GetDlgItem(dlg, IDC_XFR_CANCEL), running);
}

void show_progress(HWND dlg) {
  TransferProgress p;
  int status, failure;
  {
    std::lock_guard<std::mutex> hold(g_job.lock);
    p = g_job.progress;
    status = g_job.status;
    failure = g_job.failure;
  }
  constexpr int kLineUnits = 2 * kMessageTextUnits + kTransferNameMost + MAX_PATH;
  wchar_t line[kLineUnits];
  wchar_t name[MAX_PATH];
  wchar_t renamed[kTransferNameMost + 1], saved_as[MAX_PATH];
  {
    std::lock_guard<std::mutex> hold(g_job.lock);
    lstrcpynW(renamed, g_job.renamed, kTransferNameMost + 1);
    lstrcpynW(saved_as, g_job.saved_as, MAX_PATH);
    if (failure == kTransferNameTooLong) lstrcpynW(name, g_job.sending_name, MAX_PATH);
  }
  if (failure != kTransferNameTooLong &&
      MultiByteToWideChar(CP_UTF8, 0, p.name, -1, name, kTransferNameMost + 1) <= 0)
    name[0] = 0;
  if (!name[0]) lstrcpynW(name, g_job.paths, kTransferNameMost + 1);
  // A received file saved under another name is shown by that name.
  format_text(line, kLineUnits, kTextTransferFile, renamed[0] && !lstrcmpW(name, renamed) ? saved_as : name);
  show_text(dlg, IDC_XFR_FILE, line);
  const int elapsed_ms = static_cast<int>(GetTickCount64() - g_job.started_ms);
  const int64_t rate = elapsed_ms > 0 ? p.total_bytes * 1000 / elapsed_ms : 0;
  if (p.size >= 0) {
    format_text(line, 2 * kMessageTextUnits, kTextTransferCounts, static_cast<long long>(p.bytes),
                static_cast<long long>(p.size), p.blocks, p.retries);
    show_text(dlg, IDC_XFR_COUNTS, line);
    const int64_t left = p.size > p.bytes ? p.size - p.bytes : 0;
    format_text(line, 2 * kMessageTextUnits, kTextTransferTimes, static_cast<int>(rate), elapsed_ms / 1000,
                rate > 0 ? static_cast<int>(left / rate) : 0);
  } else {
    format_text(line, 2 * kMessageTextUnits, kTextTransferCountsUnsized, static_cast<long long>(p.bytes), p.blocks,
                p.retries);
    show_text(dlg, IDC_XFR_COUNTS, line);
    format_text(line, 2 * kMessageTextUnits, kTextTransferTimesUnsized, static_cast<int>(rate), elapsed_ms / 1000);
  }
  show_text(dlg, IDC_XFR_TIMES, line);
  if (status == kTransferRunning) {
    const int begun = p.total_bytes > 0 || p.blocks > 0;
    get_text(begun ? kTextTransferRunning : kTextTransferWaiting, line);
  } else if (status == kTransferDone && renamed[0]) {
    format_text(line, kLineUnits, kTextTransferDoneRenamed, p.files, static_cast<long long>(p.total_bytes), renamed,
                saved_as);
  } else if (status == kTransferDone) {
    format_text(line, 2 * kMessageTextUnits, p.end_unanswered ? kTextTransferDoneUnanswered : kTextTransferDone,
                p.files, static_cast<long long>(p.total_bytes));
  } else if (failure == kTransferNameRefused) {
    format_text(line, kLineUnits, kTextTransferNameRefused, name);
  } else if (failure == kTransferNameTooLong) {
    format_text(line, kLineUnits, kTextTransferNameTooLong, name);
  } else if (failure == kTransferSizeMismatch) {
    format_text(line, kLineUnits, kTextTransferSizeMismatch, name, static_cast<long long>(p.size),
                static_cast<long long>(p.bytes));
  } else if (failure == kTransferNothingReceived) {
    get_text(kTextTransferNothingReceived, line);
  } else {
    const int n = kTextTransferFailureFirst + failure - kTransferNoStart;
    get_text(n >= kTextTransferFailureFirst && n <= kTextTransferFailureLast ? n : kTextTransferFailureLast, line);
  }
  show_text(dlg, IDC_XFR_STATUS, line);
}

void set_labels(HWND dlg) {
  set_dialog_text(dlg, 0, g_window.sending ? kTextMenuSendFile : kTextMenuReceiveFile);
  set_dialog_text(dlg, IDC_XFR_LABEL_PATH, g_window.sending ? kTextTransferSendPath : kTextTransferReceivePath);
  enable_fields(dlg);
}

void on_init(HWND dlg) {
  static const struct { int id, text; } kLabels[] = {
      {IDC_XFR_LABEL_CHANNEL, kTextTransferChannel}, {IDC_XFR_LABEL_PROTOCOL, kTextTransferProtocol},
      {IDC_XFR_LABEL_BYTE, kTextTransferByteMs},     {IDC_XFR_LABEL_LINE, kTextTransferLineMs},
      {IDC_XFR_LABEL_QUIET, kTextTransferQuietMs},   {IDC_XFR_BROWSE, kTextTransferBrowse},
      {IDC_XFR_START, kTextTransferStart},           {IDC_XFR_CANCEL, kTextTransferCancel},
      {IDC_XFR_CLOSE, kTextTransferClose}};
  for (const auto& l : kLabels) set_dialog_text(dlg, l.id, l.text);
  g_window.window = dlg;
  SendDlgItemMessageW(dlg, IDC_XFR_CHANNEL, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"CH1"));
  SendDlgItemMessageW(dlg, IDC_XFR_CHANNEL, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"CH2"));
  SendDlgItemMessageW(dlg, IDC_XFR_CHANNEL, CB_SETCURSEL, 0, 0);
  for (int n = kTextTransferProtocolFirst; n <= kTextTransferProtocolLast; n++) {
    wchar_t name[kMessageTextUnits] = L"";
    get_text(n, name);
    SendDlgItemMessageW(dlg, IDC_XFR_PROTOCOL, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  }
  SendDlgItemMessageW(dlg, IDC_XFR_PROTOCOL, CB_SETCURSEL, kTransferYmodem, 0);
  SendDlgItemMessageW(dlg, IDC_XFR_PATH, EM_LIMITTEXT, kPathsUnits - 1, 0);
  for (int id : {IDC_XFR_BYTE_MS, IDC_XFR_LINE_MS, IDC_XFR_QUIET_MS}) {
    SendDlgItemMessageW(dlg, id, EM_LIMITTEXT, 7, 0);
    SetDlgItemTextW(dlg, id, L"0");
  }
  SetDlgItemTextW(dlg, IDC_XFR_QUIET_MS, L"5000");
  set_labels(dlg);
  if (g_job.running.load() || g_job.started_ms) {
    show_progress(dlg);
    SetTimer(dlg, kShowTimer, kShowPeriodMs, nullptr);
  }
  dialog_look_init(dlg);
}

void on_browse(HWND dlg) {
  const int protocol = protocol_of(dlg);
  static wchar_t path[kPathsUnits];
  path[0] = 0;
  if (!g_window.sending && protocol == kTransferYmodem) {
    GetDlgItemTextW(dlg, IDC_XFR_PATH, path, MAX_PATH);
    if (folder_choose(dlg, kTextTransferFolderTitle, path) == 0) SetDlgItemTextW(dlg, IDC_XFR_PATH, path);
    return;
  }
  wchar_t title[kMessageTextUnits] = L"";
  get_text(g_window.sending ? kTextMenuSendFile : kTextMenuReceiveFile, title);
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = dlg;
  ofn.lpstrFilter = L"*.*\0*.*\0";
  ofn.lpstrFile = path;
  ofn.nMaxFile = kPathsUnits;
  ofn.lpstrTitle = title;
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (g_window.sending) {
    ofn.Flags |= OFN_FILEMUSTEXIST | (protocol == kTransferYmodem ? OFN_ALLOWMULTISELECT : 0);
    if (!GetOpenFileNameW(&ofn)) {
      if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL)
        show_texts(dlg, L"Quorrin", {kTextTransferPathsTooLong}, nullptr, kPathsUnits - 1);
      return;
    }
    // Several files come as the folder and the names, each ended by a NUL:
    // all of them fit whole, or none is taken.
    if (path[wcslen(path) + 1]) {
      static wchar_t joined[kPathsUnits];
      size_t used = 0;
      const wchar_t* folder = path;
      for (const wchar_t* name = path + wcslen(path) + 1; *name; name += wcslen(name) + 1) {
        const int made = _snwprintf(joined + used, kPathsUnits - used, L"%ls%ls\\%ls", used ? L"|" : L"", folder, name);
        if (made < 0 || static_cast<size_t>(made) >= kPathsUnits - used) {
          show_texts(dlg, L"Quorrin", {kTextTransferPathsTooLong}, nullptr, kPathsUnits - 1);
          return;
        }
        used += static_cast<size_t>(made);
      }
      lstrcpynW(path, joined, kPathsUnits);
    }
  } else {
    ofn.Flags |= OFN_OVERWRITEPROMPT;
    if (!GetSaveFileNameW(&ofn)) return;
  }
  SetDlgItemTextW(dlg, IDC_XFR_PATH, path);
}

// A pause field as whole ms; -1 when it is not one.
int32_t pause_field(HWND dlg, int id) {
  wchar_t text[16] = L"";
  GetDlgItemTextW(dlg, id, text, 16);
  if (!text[0]) return 0;
  int32_t v = 0;
  for (const wchar_t* c = text; *c; c++) {
    if (*c < L'0' || *c > L'9' || v > 9999999) return -1;
    v = v * 10 + (*c - L'0');
  }
  return v;
}

void on_start(HWND dlg) {
  static wchar_t path[kPathsUnits];
  path[0] = 0;
  GetDlgItemTextW(dlg, IDC_XFR_PATH, path, kPathsUnits);
  const int32_t byte_ms = pause_field(dlg, IDC_XFR_BYTE_MS), line_ms = pause_field(dlg, IDC_XFR_LINE_MS);
  const int32_t quiet_ms = pause_field(dlg, IDC_XFR_QUIET_MS);
  if (byte_ms < 0 || line_ms < 0 || quiet_ms < 0) {
    show_message(dlg, kTextTransferBadPause, 0, L"Quorrin");
    return;
  }
  const int channel = SendDlgItemMessageW(dlg, IDC_XFR_CHANNEL, CB_GETCURSEL, 0, 0) == 1 ? 2 : 1;
  const RawPacing pacing = {static_cast<uint32_t>(byte_ms), static_cast<uint32_t>(line_ms)};
  const int refused = job_start(channel, g_window.sending, protocol_of(dlg), path, pacing,
                                static_cast<uint32_t>(quiet_ms), dlg);
  if (refused == kTextTransferPathsTooLong) {
    show_texts(dlg, L"Quorrin", {kTextTransferPathsTooLong, kTextNothingSent}, nullptr, kPathsUnits - 1);
    return;
  }
  if (refused == kTextTransferOpenFailed) {
    show_texts(dlg, L"Quorrin", {kTextTransferOpenFailed}, nullptr, path);
    return;
  }
  if (refused) {
    show_message(dlg, refused, 0, L"Quorrin");
    return;
  }
  enable_fields(dlg);
  show_progress(dlg);
  SetTimer(dlg, kShowTimer, kShowPeriodMs, nullptr);
}

void on_ended(HWND dlg) {
  reap();
  // The end of an earlier worker, taken after this window started anew.
  if (g_job.running.load()) return;
  KillTimer(dlg, kShowTimer);
  show_progress(dlg);
  enable_fields(dlg);
}

INT_PTR CALLBACK transfer_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  INT_PTR result = 0;
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return TRUE;
    case WM_TIMER:
      if (wp == kShowTimer) show_progress(dlg);
      return TRUE;
    case kEnded: on_ended(dlg); return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDC_XFR_PROTOCOL:
          if (HIWORD(wp) == CBN_SELCHANGE) enable_fields(dlg);
          break;
        case IDC_XFR_BROWSE: on_browse(dlg); break;
        case IDC_XFR_START: on_start(dlg); break;
        case IDC_XFR_CANCEL: g_job.cancel.store(1); break;
        case IDC_XFR_CLOSE:
        case IDCANCEL: DestroyWindow(dlg); break;
      }
      return TRUE;
    case WM_CLOSE: DestroyWindow(dlg); return TRUE;
    case WM_DESTROY:
      // A transfer of this window ends with it (so does the program).
      KillTimer(dlg, kShowTimer);
      if (g_job.notify == dlg) {
        g_job.notify = nullptr;
        if (g_job.running.load()) job_stop();
      }
      g_window.window = nullptr;
      return TRUE;
    default:
      if (dialog_look(dlg, msg, wp, lp, &result)) return result;
      return FALSE;
  }
}

int job_start(int channel, int sending, int protocol, const wchar_t* path, RawPacing pacing, uint32_t quiet_ms,
              HWND notify) {
  reap();
  // A worker still ending keeps its handle until a later look takes it.
  if (g_job.running.load() || g_job.thread) return kTextTransferBusy;
  if (channel != 1 && channel != 2) return kTextTransferChannelClosed;
  if (!channel_is_open(channel - 1)) return kTextTransferChannelClosed;
  while (*path == L' ') path++;
  if (!*path) return kTextTransferNoPath;
  g_job.notify = notify;
  g_job.pacing = pacing;
  g_job.quiet_ms = quiet_ms;
  g_job.channel = channel;
  g_job.sending = sending;
  g_job.protocol = protocol;
  // Each path made whole now: the current folder may change meanwhile.
  // Never a path cut short: one too long, or a list that no longer fits
  // once whole, refuses the start.
  g_job.paths[0] = 0;
  size_t used = 0;
  for (const wchar_t* p = path; *p;) {
    const wchar_t* end = p;
    while (*end && *end != L'|') end++;
    if (end - p >= MAX_PATH) return kTextTransferOpenFailed;
    wchar_t piece[MAX_PATH], full[MAX_PATH];
    const int n = static_cast<int>(end - p);
    wmemcpy(piece, p, static_cast<size_t>(n));
    piece[n] = 0;
    const DWORD got = GetFullPathNameW(piece, MAX_PATH, full, nullptr);
    if (got >= MAX_PATH) return kTextTransferOpenFailed;
    const int made =
        _snwprintf(g_job.paths + used, kPathsUnits - used, L"%ls%ls", used ? L"|" : L"", got > 0 ? full : piece);
    if (made < 0 || static_cast<size_t>(made) >= kPathsUnits - used) {
      g_job.paths[0] = 0;
      return kTextTransferPathsTooLong;
    }
    used += static_cast<size_t>(made);
    p = *end ? end + 1 : end;
  }
  g_job.next_path = 0;
  g_job.file = nullptr;
  g_job.cancel.store(0);
  const CapturePlace place = capture_place(&g_app.capture);
  g_job.from = place.base + place.write_position;
  {
    std::lock_guard<std::mutex> hold(g_job.lock);
    g_job.progress = {};
    g_job.progress.size = -1;
    g_job.status = kTransferRunning;
    g_job.failure = 0;
    g_job.started_ms = GetTickCount64();
    g_job.sending_name[0] = g_job.renamed[0] = g_job.saved_as[0] = 0;
  }
  g_job.running.store(1);
  // The channel is the transfer's from before its first write to its end.
  DWORD worker = 0;
  g_job.thread = CreateThread(nullptr, 0, transfer_thread, nullptr, CREATE_SUSPENDED, &worker);
  if (g_job.thread) {
    transmit_hold(channel, worker);
    ResumeThread(g_job.thread);
  } else {
    g_job.running.store(0);
    std::lock_guard<std::mutex> hold(g_job.lock);
    g_job.status = kTransferFailed;
    g_job.failure = kTransferLineFailed;
    return kTextTransferFailureLast;
  }
  return 0;
}

void job_stop() {
  if (!g_job.thread) return;
  g_job.cancel.store(1);
  // The worker sends its CANs and ends by itself (a write on a slow line
  // takes its time); the window's thread looks only briefly, and a later
  // start or poll takes the handle.
  if (WaitForSingleObject(g_job.thread, kReapWaitMs) == WAIT_OBJECT_0) reap();
}

// A macro's raw receive ends after this much quiet.
constexpr uint32_t kMacroQuietMs = 5000;

}  // namespace

int transfer_start(int channel, int sending, int protocol, const wchar_t* path) {
  return job_start(channel, sending, protocol, path, RawPacing{0, 0}, kMacroQuietMs, nullptr);
}

int transfer_channel() { return g_job.running.load() ? g_job.channel : 0; }

int transfer_poll() {
  if (g_job.running.load()) return kTransferRunning;
  reap();
  std::lock_guard<std::mutex> hold(g_job.lock);
  return g_job.status;
}

void transfer_stop() { job_stop(); }

void transfer_window_open(HWND owner, int sending) {
  if (g_window.window && !g_job.running.load()) {
    g_window.sending = sending;
    set_labels(g_window.window);
  }
  if (!g_window.window) g_window.sending = sending;
  tool_window_open(g_window.window, owner, IDD_TRANSFER, transfer_proc);
}
