#include "view/logfile_win.h"

#include <commdlg.h>

#include <cstdlib>

#include "ui/file_chooser_win.h"
#include "view/logfile.h"
#include "timeline/export_win.h"
#include "timeline/times_file.h"
#include "transfer/transfer_win.h"

int log_write_snapshot(const wchar_t* path, CaptureSnapshot& snap) {
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (f == INVALID_HANDLE_VALUE) return kTextFileOpenFailed;
  const int32_t w = snap.count;
  uint8_t header[kLogHeaderBytes];
  logfile_format_header(w, header);
  DWORD done = 0;
  const DWORD bytes = static_cast<DWORD>(w) * kCaptureRecordSize;
  BOOL ok = WriteFile(f, header, kLogHeaderBytes, &done, nullptr) && done == kLogHeaderBytes &&
            WriteFile(f, snap.records, bytes, &done, nullptr) && done == bytes;
  // The chunk times go beside the log in a file of their own, so the log
  // stays exactly what it has always been.
  const uint64_t check = timeline_log_check(snap.records, w);
  HANDLE t = log_times_create(path, w, snap.wall_offset_us, check);
  BOOL times_ok = t != INVALID_HANDLE_VALUE;
  if (ok && times_ok) {
    // The times block becomes the file's little-endian times in place: the
    // snapshot's times are not read again.
    timeline_companion_encode(snap.times, w, reinterpret_cast<uint8_t*>(snap.times));
    times_ok = WriteFile(t, snap.times, bytes, &done, nullptr) && done == bytes;
  }
  if (!CloseHandle(f)) ok = FALSE;
  if (t != INVALID_HANDLE_VALUE && !CloseHandle(t)) times_ok = FALSE;
  const int events_failed = ok && times_ok && log_events_write(path, snap, check);
  // A full disk or a vanished network drive must not pass for a saved log.
  // A times file cut short is removed: a later load then says the times
  // are missing instead of reading a wrong file.
  if (!ok || !times_ok) log_times_remove(path);
  if (!ok) return kTextLogWriteFailed;
  if (!times_ok) return kTextTimesNotWritten;
  return events_failed ? kTextEventsNotWritten : 0;
}

void log_save(HWND owner) {
  if (capture_write_position(&g_app.capture) == 0) {
    show_message(owner, kTextNoDataToSave, 0, L"CreateFile");
    return;
  }
  wchar_t path[MAX_PATH];
  if (program_file(L"Temp1.log", path)) path[0] = 0;
  if (!file_chooser(owner, kChooseSaveLog, path)) return;
  // One whole copy, taken as the user confirmed the name: the log and its
  // times file then tell of the same records, whatever the receive threads
  // append or wrap while the disk is written. The lock is never held while
  // the disk is written.
  CaptureSnapshot snap;
  if (capture_snapshot_allocate(&snap) || capture_snapshot_take(&g_app.capture, &snap)) {
    capture_snapshot_free(&snap);
    show_texts(owner, L"WriteFile", {kTextLogWriteFailed}, path);
    return;
  }
  const int failure = log_write_snapshot(path, snap);
  capture_snapshot_free(&snap);
  if (failure == kTextFileOpenFailed) show_message(owner, kTextFileOpenFailed, 0, L"CreateFile");
  else if (failure) show_texts(owner, L"WriteFile", {failure}, path);
}

static DWORD read_fully(HANDLE f, void* buffer, DWORD size) {
  DWORD total = 0;
  while (total < size) {
    DWORD got = 0;
    if (!ReadFile(f, static_cast<uint8_t*>(buffer) + total, size - total, &got, nullptr) || got == 0) break;
    total += got;
  }
  return total;
}

int log_read_file(const wchar_t* path, LogLoadPlan* plan, int32_t* records, int* times_state, int* events_damaged) {
  *records = 0;
  if (events_damaged) *events_damaged = 0;
  *plan = {};
  *times_state = kLogTimesMissing;
  // OPEN_EXISTING: a load must not leave an empty file behind when the
  // chosen name does not exist.
  HANDLE f = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (f == INVALID_HANDLE_VALUE) return kTextFileOpenFailed;
  LARGE_INTEGER size = {};
  GetFileSizeEx(f, &size);
  uint8_t header[kLogHeaderBytes] = {};
  DWORD got = read_fully(f, header, kLogHeaderBytes);
  *plan = logfile_plan_load(header, got, static_cast<uint64_t>(size.QuadPart));
  if (plan->status == kLogLoadNotLog || plan->status == kLogLoadNegative) {
    CloseHandle(f);
    return kTextNotLog;
  }
  // Read the records and their times into scratch blocks first, so a
  // failing read leaves the capture as it was, and both go into the
  // capture in one step: a chunk a receive thread appends meanwhile can
  // come before them or after them, never between.
  DWORD bytes = static_cast<DWORD>(plan->records) * kCaptureRecordSize;
  uint8_t* data = static_cast<uint8_t*>(std::malloc(bytes ? bytes : 1));
  int64_t* times = static_cast<int64_t*>(std::malloc(plan->records ? static_cast<size_t>(plan->records) * 8 : 8));
  if (!data || !times) {
    CloseHandle(f);
    std::free(data);
    std::free(times);
    return kTextLogNoMemory;
  }
  DWORD read = read_fully(f, data, bytes);
  CloseHandle(f);
  *records = static_cast<int32_t>(read / kCaptureRecordSize);
  int64_t offset = 0;
  const uint64_t check = timeline_log_check(reinterpret_cast<const CaptureRecord*>(data), *records);
  *times_state = log_times_read(path, *records, check, times, &offset);
  // The line events beside the log go with its times: only a whole times
  // file places them. A damaged events file loses its events, never the log.
  LineEvent events[kCaptureEvents];
  int32_t event_count = 0;
  const int damaged = log_events_read(path, *records, check, events, &event_count);
  if (events_damaged) *events_damaged = damaged;
  if (*times_state != kLogTimesLoaded) event_count = 0;
  capture_load(&g_app.capture, data, *records, *times_state == kLogTimesLoaded ? times : nullptr, offset, events,
               event_count);
  std::free(data);
  std::free(times);
  return 0;
}

int log_load(HWND owner) {
  // A file transfer takes what its channel receives from the capture: a
  // log loaded under it would hand it the log's bytes.
  if (const int channel = transfer_channel()) {
    show_texts(owner, L"Quorrin", {kTextSendBusy, kTextTransferLogRefused}, nullptr, channel);
    return 1;
  }
  wchar_t path[MAX_PATH];
  if (program_file(L"Temp1.log", path)) path[0] = 0;
  if (!file_chooser(owner, kChooseOpenLog, path)) return 1;
  LogLoadPlan plan;
  int32_t records = 0;
  int times = kLogTimesMissing, events_damaged = 0;
  int failure = log_read_file(path, &plan, &records, &times, &events_damaged);
  if (failure == kTextFileOpenFailed) {
    show_message(owner, kTextFileOpenFailed, 0, L"CreateFile");
    return 1;
  }
  if (failure) {
    show_texts(owner, L"ReadFile", {failure, kTextCaptureUnchanged}, failure == kTextNotLog ? path : nullptr);
    return 1;
  }
  // One notice says all that is missing: a cut or short log (whose times
  // file then belongs to the longer log), or the times alone.
  if (plan.status == kLogLoadCut)
    show_texts(owner, L"ReadFile", {kTextLogCut, kTextLogCutLoaded, kTextTimesUnknownLoaded}, nullptr,
               static_cast<long long>(plan.declared), kCaptureWrapThreshold, records);
  else if (records < plan.declared)
    show_texts(owner, L"ReadFile", {kTextLogShort, kTextLogShortLoaded, kTextTimesUnknownLoaded}, nullptr,
               static_cast<long long>(plan.declared), records, records);
  else if (times != kLogTimesLoaded)
    show_texts(owner, L"ReadFile", {log_times_text(times), kTextTimesUnknownLoaded}, path);
  else if (events_damaged)
    show_texts(owner, L"ReadFile", {kTextEventsDamaged}, path);
  capture_add_event(&g_app.capture, kEventLoaded, 0, 0, 0);
  return 0;
}

void notepad_prepare(HWND owner) {
  wchar_t path[MAX_PATH];
  if (program_file(L"temp.txt", path)) return;
  HANDLE f = CreateFileW(path, FILE_READ_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f != INVALID_HANDLE_VALUE) {
    CloseHandle(f);
    return;
  }
  // Only a missing file is made anew: one that exists but cannot be read
  // now (held open elsewhere) must not be emptied.
  if (GetLastError() != ERROR_FILE_NOT_FOUND) {
    show_message(owner, kTextFileOpenFailed, 0, L"CreateFile");
    return;
  }
  f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                  nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    show_message(owner, kTextFileOpenFailed, 0, L"CreateFile");
    return;
  }
  static const uint8_t kBom[2] = {0xFF, 0xFE};
  DWORD done = 0;
  WriteFile(f, kBom, 2, &done, nullptr);
  CloseHandle(f);
}
