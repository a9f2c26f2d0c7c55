#include "record/recorder_win.h"

#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <mutex>

#include "app/chrome_win.h"
#include "record/record_file.h"
#include "record/record_files_win.h"
#include "record/record_queue.h"
#include "serial/dcb_win.h"
#include "serial/port_win.h"

namespace {

constexpr DWORD kWriteEveryMs = 200;
constexpr uint64_t kDefaultFileBytes = 64ull << 20;

struct Recorder {
  RecordQueue* queue;          // made at the first start, kept
  RecordBlockBuilder* block;   // the writer thread's
  HANDLE thread;
  HANDLE wake;                 // set by stop, and by the queue filling up
  std::atomic<int32_t> run;
  std::atomic<uint32_t> failed;    // the Win32 error that stopped the writer; 0
  std::atomic<uint64_t> written;   // bytes written into every file of this recording
  std::atomic<int32_t> files;      // files begun by this recording
  DWORD started;                   // tick count at the start
  DWORD stopped;                   // tick count at the user's stop, for the status bar's word on it; 0: none
  wchar_t folder[MAX_PATH];        // this recording's, or the last one's: where the next chooser starts
  uint64_t file_limit, folder_limit;
  // The line settings each new file's header carries; the user-interface
  // thread refreshes them, the writer thread copies them.
  std::mutex lines_lock;
  RecordChannel lines[2];
  // The writer thread's file.
  HANDLE file;
  uint64_t file_bytes;
  int64_t file_day;  // record_day_stamp of its start
  uint64_t loss_told[3];  // the queue's lost bytes by channel already put in the capture as events
};

Recorder g_rec = {};

// The channel's line as the settings (and, when open, its DCB) have it.
RecordChannel line_of(int ch) {
  RecordChannel r = {};
  const PortSettings& p = g_app.settings.port[ch];
  r.baud = static_cast<uint32_t>(p.rs_speed);
  r.data_bits = static_cast<uint8_t>(p.rs_dtbit);
  r.parity = static_cast<uint8_t>(p.rs_pybit);
  r.stop_bits = static_cast<uint8_t>(p.rs_spbit);
  r.flow = static_cast<uint8_t>(p.rs_flow);
  if (channel_is_open(ch)) {
    const DCB& d = g_channel[ch].dcb;
    r.baud = d.BaudRate;
    r.data_bits = d.ByteSize;
    r.parity = d.Parity;
    r.stop_bits = d.StopBits;
  }
  if (channel_is_net(ch)) {
    r.port_kind = static_cast<uint8_t>(g_app.address[ch].kind);
    char16_t text[kPortAddressUnits];
    if (port_address_format(g_app.address[ch], text, kPortAddressUnits) == 0)
      for (int i = 0; i < kRecordAddressBytes && text[i]; i++) r.address[i] = static_cast<char>(text[i]);
  } else if (p.rs_comport) {
    r.port_kind = 0;
    r.com = static_cast<uint16_t>(p.rs_comport);
  } else {
    r.port_kind = kRecordNoPort;
  }
  return r;
}

void lines_refresh() {
  RecordChannel lines[2] = {line_of(0), line_of(1)};
  std::lock_guard<std::mutex> hold(g_rec.lines_lock);
  g_rec.lines[0] = lines[0];
  g_rec.lines[1] = lines[1];
}

// Before a file begins (none is being written): the folder's recordings
// (by the naming rule, in their order), the oldest deleted until they and
// a whole new file fit in the folder's limit.
void folder_prune() {
  if (!g_rec.folder_limit) return;
  static RecordFileList list;  // the writer thread's alone
  for (;;) {
    const int n = record_folder_list(g_rec.folder, &list);
    // Recordings past those the list holds are newer: they count, and go later.
    const int drop = record_prune_count(list.sizes, n, g_rec.folder_limit, g_rec.file_limit + list.more_bytes);
    int deleted = 0;
    for (int i = 0; i < drop; i++) {
      wchar_t path[MAX_PATH];
      _snwprintf(path, MAX_PATH, L"%ls\\%ls", g_rec.folder, record_list_name(list, i));
      path[MAX_PATH - 1] = 0;
      deleted += DeleteFileW(path) ? 1 : 0;
    }
    if (drop < n || !list.more || deleted == 0) return;
  }
}

// This moment's local time and its offset from UTC in minutes, of one instant.
void local_now(SYSTEMTIME* local, int* zone_minutes) {
  FILETIME utc_file, local_file;
  GetSystemTimeAsFileTime(&utc_file);
  SYSTEMTIME utc;
  if (!FileTimeToSystemTime(&utc_file, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, local) ||
      !SystemTimeToFileTime(local, &local_file)) {
    GetLocalTime(local);
    *zone_minutes = 0;
    return;
  }
  const int64_t u = static_cast<int64_t>((static_cast<uint64_t>(utc_file.dwHighDateTime) << 32) | utc_file.dwLowDateTime);
  const int64_t l =
      static_cast<int64_t>((static_cast<uint64_t>(local_file.dwHighDateTime) << 32) | local_file.dwLowDateTime);
  *zone_minutes = static_cast<int>((l - u) / 600000000);
}

// The folder, and the folders above it that are missing: 0, or the Win32
// error (a file of that name: ERROR_DIRECTORY).
DWORD folder_make(const wchar_t* folder) {
  wchar_t full[MAX_PATH];
  const DWORD n = GetFullPathNameW(folder, MAX_PATH, full, nullptr);
  if (n == 0 || n >= MAX_PATH) return ERROR_BAD_PATHNAME;
  const int result = SHCreateDirectoryExW(nullptr, full, nullptr);
  if (result != ERROR_SUCCESS && result != ERROR_ALREADY_EXISTS && result != ERROR_FILE_EXISTS)
    return static_cast<DWORD>(result);
  const DWORD a = GetFileAttributesW(full);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) ? 0 : ERROR_DIRECTORY;
}

// This run of the program, as every file it writes says: two runs on one
// boot share the capture clock, so their files tell them apart by this
// number, drawn once (never 0, which means "not known").
uint32_t run_id() {
  static const uint32_t id = [] {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint64_t x = static_cast<uint64_t>(now.QuadPart) ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^
                 GetTickCount64();
    // splitmix64's finaliser: neighbouring inputs give unrelated outputs.
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    return static_cast<uint32_t>(x) | 1u;
  }();
  return id;
}

// Ends the current file and begins the next, with its header: 0, or the
// Win32 error.
DWORD file_next() {
  if (g_rec.file) CloseHandle(g_rec.file);
  g_rec.file = 0;
  // The folder's limit holds with this file whole: room is made first.
  folder_prune();
  SYSTEMTIME now;
  int zone = 0;
  local_now(&now, &zone);
  RecordHeader h = {};
  h.year = now.wYear;
  h.month = static_cast<uint8_t>(now.wMonth);
  h.day = static_cast<uint8_t>(now.wDay);
  h.hour = static_cast<uint8_t>(now.wHour);
  h.minute = static_cast<uint8_t>(now.wMinute);
  h.second = static_cast<uint8_t>(now.wSecond);
  // The header's time is whole seconds: its clock is the capture clock at
  // the start of that second, so chunk times read back to the millisecond.
  h.clock_us = time_sub_us(capture_now_us(&g_app.capture), static_cast<int64_t>(now.wMilliseconds) * 1000);
  {
    std::lock_guard<std::mutex> hold(g_rec.lines_lock);
    h.channel[0] = g_rec.lines[0];
    h.channel[1] = g_rec.lines[1];
  }
  h.run_id = run_id();
  HANDLE f = INVALID_HANDLE_VALUE;
  // A second file in the same second gets "-2", "-3" ...
  for (int k = 1; k < 100 && f == INVALID_HANDLE_VALUE; k++) {
    char name[kRecordNameUnits + 12];
    record_file_name_nth(h, k, name, sizeof name);
    wchar_t path[MAX_PATH];
    _snwprintf(path, MAX_PATH, L"%ls\\%hs", g_rec.folder, name);
    path[MAX_PATH - 1] = 0;
    // Others may read a recording while it grows (the command line's export).
    f = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return GetLastError();
  }
  if (f == INVALID_HANDLE_VALUE) return ERROR_FILE_EXISTS;
  uint8_t header[kRecordHeaderBytes];
  record_header_write(h, header);
  DWORD wrote = 0;
  if (!WriteFile(f, header, kRecordHeaderBytes, &wrote, nullptr) || wrote != kRecordHeaderBytes) {
    const DWORD error = GetLastError();
    CloseHandle(f);
    return error ? error : ERROR_WRITE_FAULT;
  }
  g_rec.file = f;
  g_rec.file_bytes = kRecordHeaderBytes;
  g_rec.file_day = record_day_stamp(now.wYear, now.wMonth, now.wDay, zone);
  g_rec.written.fetch_add(kRecordHeaderBytes);
  g_rec.files.fetch_add(1);
  return 0;
}

int64_t today() {
  SYSTEMTIME now;
  int zone = 0;
  local_now(&now, &zone);
  return record_day_stamp(now.wYear, now.wMonth, now.wDay, zone);
}

// Writes what the queue holds, block by block: 0, or the Win32 error.
DWORD drain() {
  for (;;) {
    record_block_begin(g_rec.block);
    record_queue_take(g_rec.queue, g_rec.block);
    const uint32_t n = record_block_seal(g_rec.block);
    if (n == 0) return 0;
    if (!g_rec.file || record_rotate_due(g_rec.file_bytes, n, g_rec.file_limit, g_rec.file_day, today())) {
      const DWORD error = file_next();
      if (error) return error;
    }
    DWORD wrote = 0;
    if (!WriteFile(g_rec.file, g_rec.block->bytes, n, &wrote, nullptr) || wrote != n) {
      const DWORD error = GetLastError();
      return error ? error : ERROR_DISK_FULL;
    }
    g_rec.file_bytes += n;
    g_rec.written.fetch_add(n);
  }
}

DWORD WINAPI writer_thread(void*) {
  for (;;) {
    const int running = g_rec.run.load();
    const DWORD error = drain();
    if (error) {
      g_rec.failed.store(error);
      break;
    }
    if (!running) break;  // stopped: everything queued before the stop is written
    WaitForSingleObject(g_rec.wake, kWriteEveryMs);
  }
  if (g_rec.file) CloseHandle(g_rec.file);
  g_rec.file = 0;
  return 0;
}

// Reads the rotation size and the folder limit from the settings file's
// section "Recording" (file_kb, folder_mb; 0 there: no limit).
void limits_load() {
  wchar_t path[MAX_PATH];
  g_rec.file_limit = kDefaultFileBytes;
  g_rec.folder_limit = 0;
  if (program_file(L"quorrin.ini", path)) return;
  const UINT kb = GetPrivateProfileIntW(L"Recording", L"file_kb", static_cast<INT>(kDefaultFileBytes >> 10), path);
  g_rec.file_limit = static_cast<uint64_t>(kb) << 10;
  g_rec.folder_limit = static_cast<uint64_t>(GetPrivateProfileIntW(L"Recording", L"folder_mb", 0, path)) << 20;
}

}  // namespace

void recorder_start_folder(wchar_t out[MAX_PATH]) {
  if (g_rec.folder[0]) {
    lstrcpynW(out, g_rec.folder, MAX_PATH);
    return;
  }
  // The first time: the program's own "recordings", made now, so that a
  // chooser opens in it rather than somewhere the user never meant.
  if (program_file(L"recordings", out)) out[0] = 0;
  else folder_make(out);
}

namespace {

constexpr DWORD kStopWaitMs = 50;  // what the user-interface thread waits for the writer at a stop
constexpr DWORD kStopToldMs = 8000;  // how long the status bar says where a stopped recording went

// 1 once the writer thread has ended (its handle closed), waiting at most
// `wait_ms` for it.
int writer_reap(DWORD wait_ms) {
  if (!g_rec.thread) return 1;
  if (WaitForSingleObject(g_rec.thread, wait_ms) == WAIT_TIMEOUT) return 0;
  CloseHandle(g_rec.thread);
  g_rec.thread = 0;
  return 1;
}

}  // namespace

int recorder_running() { return g_rec.thread != 0 && g_rec.run.load() != 0; }

int recorder_start(HWND owner, const wchar_t* folder) {
  if (recorder_running()) return 0;
  // A writer still writing what the last recording queued (a slow disk)
  // keeps the queue and the file: the new recording waits for its end.
  if (!writer_reap(0)) {
    show_texts(owner, L"Quorrin", {kTextRecordCannotStart}, nullptr, static_cast<int>(ERROR_BUSY));
    return 1;
  }
  if (!g_rec.queue) {
    g_rec.queue = new (std::nothrow) RecordQueue;
    g_rec.block = new (std::nothrow) RecordBlockBuilder;
    g_rec.wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!g_rec.queue || !g_rec.block || !g_rec.wake) {
      delete g_rec.queue;
      delete g_rec.block;
      g_rec.queue = nullptr;
      g_rec.block = nullptr;
      show_texts(owner, L"Quorrin", {kTextRecordCannotStart}, nullptr, static_cast<int>(ERROR_NOT_ENOUGH_MEMORY));
      return 1;
    }
    // A burst fills the queue faster than the writer's turns: it is woken.
    g_rec.queue->filling = [](void*) { SetEvent(g_rec.wake); };
  }
  // Made absolute once: a file chooser may change the current folder
  // while the recording goes on, and rotation and pruning must stay here.
  const DWORD full = GetFullPathNameW(folder, MAX_PATH, g_rec.folder, nullptr);
  if (full == 0 || full >= MAX_PATH) {
    show_texts(owner, L"Quorrin", {kTextRecordCannotStart}, folder, static_cast<int>(ERROR_BAD_PATHNAME));
    return 1;
  }
  const DWORD made = folder_make(g_rec.folder);
  if (made) {
    show_texts(owner, L"Quorrin", {kTextRecordCannotStart}, g_rec.folder, static_cast<int>(made));
    return 1;
  }
  limits_load();
  lines_refresh();
  record_queue_reset(g_rec.queue);
  for (uint64_t& told : g_rec.loss_told) told = 0;
  g_rec.failed.store(0);
  g_rec.written.store(0);
  g_rec.files.store(0);
  g_rec.stopped = 0;
  g_rec.file = 0;
  g_rec.run.store(1);
  g_rec.started = GetTickCount();
  g_rec.thread = CreateThread(nullptr, 0, writer_thread, nullptr, 0, nullptr);
  if (!g_rec.thread) {
    show_texts(owner, L"Quorrin", {kTextRecordCannotStart}, g_rec.folder, static_cast<int>(GetLastError()));
    return 1;
  }
  capture_record_to(&g_app.capture, g_rec.queue);
  return 0;
}

void recorder_stop() {
  if (!recorder_running()) {
    writer_reap(0);
    return;
  }
  capture_record_to(&g_app.capture, nullptr);
  g_rec.run.store(0);
  g_rec.stopped = GetTickCount() | 1;  // 0 means none
  SetEvent(g_rec.wake);
  // The writer writes what is queued (at most a few MB) and ends; on a
  // slow disk it goes on by itself, and a later look reaps it.
  writer_reap(kStopWaitMs);
}

void recorder_finish() {
  recorder_stop();
  writer_reap(10000);
}

namespace {

// The size written so far by the last recording: "12.3 MB". The writer
// may still be writing its last blocks after a stop: the figure follows.
void written_text(wchar_t out[24]) {
  char size[24];
  record_size_text(g_rec.written.load(), size);
  for (int i = 0; i < 24; i++) out[i] = static_cast<wchar_t>(size[i]);
}

}  // namespace

int recorder_said(wchar_t* out, int units) {
  out[0] = 0;
  if (recorder_running() || !recorder_stop_told()) return 0;
  wchar_t size[24];
  written_text(size);
  format_text(out, units, kTextRecordSummary, size, static_cast<int>(g_rec.files.load()), g_rec.folder);
  return 1;
}

int recorder_status(char16_t out[64]) {
  out[0] = 0;
  if (!recorder_running()) return 0;
  char text[64];
  record_status_text(g_rec.written.load(), (GetTickCount() - g_rec.started) / 1000, g_rec.queue->lost.load(), text);
  int i = 0;
  for (; text[i] && i < 63; i++) out[i] = static_cast<char16_t>(text[i]);
  out[i] = 0;
  return 1;
}

int recorder_stop_told() { return g_rec.stopped && GetTickCount() - g_rec.stopped < kStopToldMs; }

const wchar_t* recorder_folder() { return g_rec.folder; }

namespace {

// Data the recording's hand-over refused since the last look: an event in
// the capture for each channel (the recording holds its own).
void losses_tell() {
  if (!g_rec.queue) return;
  for (int c = 0; c < 3; c++) {
    const uint64_t lost = g_rec.queue->lost_channel[c].load(std::memory_order_relaxed);
    if (lost <= g_rec.loss_told[c]) continue;
    const uint64_t bytes = lost - g_rec.loss_told[c];
    capture_add_event(&g_app.capture, kEventRecordLoss, static_cast<uint8_t>(c), 0,
                      bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes));
    g_rec.loss_told[c] = lost;
  }
}

void failure_tell(HWND owner, uint32_t error) {
  capture_add_event(&g_app.capture, kEventRecordStopped, 0, 0, error);
  show_texts(owner, L"Quorrin", {kTextRecordFailed}, g_rec.folder, static_cast<int>(error));
}

}  // namespace

void recorder_watch(HWND owner) {
  losses_tell();
  // The REC part moves on each second, and its word on a stop goes away.
  static int said = 0;
  const int saying = recorder_running() || recorder_stop_told();
  if (saying || said) statusbar_refresh_color();
  said = saying;
  if (!recorder_running()) {
    // A writer that went on after its stop, once it has ended; a write of
    // that last drain that failed is told as any other.
    if (writer_reap(0)) {
      const uint32_t error = g_rec.failed.exchange(0);
      if (error) failure_tell(owner, error);
    }
    return;
  }
  const uint32_t error = g_rec.failed.exchange(0);
  if (!error) {
    lines_refresh();
    return;
  }
  recorder_stop();
  failure_tell(owner, error);
}
