#include "record/record_files_win.h"

#include <cstring>

#include <cwchar>

#include "modbus/modbus_monitor_win.h"
#include "timeline/export.h"
#include "timeline/export_win.h"
#include "ui/file_sink_win.h"
#include "view/logfile_win.h"

int record_folder_list(const wchar_t* folder, RecordFileList* out, const char16_t* after) {
  record_file_list_clear(out);
  wchar_t pattern[MAX_PATH];
  _snwprintf(pattern, MAX_PATH, L"%ls\\quorrin-*.qrec", folder);
  pattern[MAX_PATH - 1] = 0;
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW(pattern, &found);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do {
    const char16_t* name = reinterpret_cast<const char16_t*>(found.cFileName);
    char ascii[kRecordNameChars];
    int i = 0;
    for (; i < kRecordNameChars - 1 && name[i]; i++) ascii[i] = name[i] < 128 ? static_cast<char>(name[i]) : '?';
    ascii[i] = 0;
    if (name[i] || !record_file_name_ours(ascii) || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (after && record_file_name_compare16(name, after) <= 0) continue;
    record_file_list_put(out, name, (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
  } while (FindNextFileW(h, &found));
  FindClose(h);
  return out->count;
}

int record_path_is_recording(const wchar_t* path) {
  const DWORD a = GetFileAttributesW(path);
  if (a == INVALID_FILE_ATTRIBUTES) return 0;
  if (a & FILE_ATTRIBUTE_DIRECTORY) return 1;
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 0;
  char magic[4] = {};
  DWORD got = 0;
  const BOOL ok = ReadFile(f, magic, 4, &got, nullptr);
  CloseHandle(f);
  return ok && got == 4 && magic[0] == 'Q' && magic[1] == 'R' && magic[2] == 'E' && magic[3] == 'C';
}

namespace {

int64_t read_at(HANDLE f, uint64_t offset, uint8_t* out, uint32_t n) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!ReadFile(f, out, n, &got, &at)) return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  return got;
}

// Up to n bytes at `offset` from what was read ahead, reading ahead again
// from there when they are not all in it. A file still being recorded into
// shows what it holds by the time of that read.
int64_t file_read(void* ctx, uint64_t offset, uint8_t* out, uint32_t n) {
  RecordFiles* f = static_cast<RecordFiles*>(ctx);
  if (n >= kRecordReadAhead) return read_at(f->file, offset, out, n);
  if (offset < f->ahead_at || offset + n > f->ahead_at + f->ahead_n) {
    const int64_t got = read_at(f->file, offset, f->ahead, kRecordReadAhead);
    f->ahead_n = 0;
    if (got < 0) return -1;
    f->ahead_at = offset;
    f->ahead_n = static_cast<uint32_t>(got);
  }
  const uint64_t held = f->ahead_at + f->ahead_n - offset;
  const uint32_t k = held < n ? static_cast<uint32_t>(held) : n;
  std::memcpy(out, f->ahead + (offset - f->ahead_at), k);
  return k;
}

}  // namespace

int record_files_begin(RecordFiles* f, const wchar_t* path) {
  f->folder[0] = f->single[0] = 0;
  record_file_list_clear(&f->list);
  f->next = 0;
  f->relist = 0;
  f->file = INVALID_HANDLE_VALUE;
  f->ahead_n = 0;
  f->not_read = 0;
  f->first_not_read[0] = 0;
  const DWORD a = GetFileAttributesW(path);
  if (a == INVALID_FILE_ATTRIBUTES) return kTextFileOpenFailed;
  if (a & FILE_ATTRIBUTE_DIRECTORY) {
    lstrcpynW(f->folder, path, MAX_PATH);
    if (record_folder_list(path, &f->list) == 0) return kTextNoRecordingHere;
    f->relist = 1;
  } else {
    lstrcpynW(f->single, path, MAX_PATH);
    f->list.count = 1;
  }
  return 0;
}

int record_files_choose(RecordFiles* f, const wchar_t* folder, const wchar_t* const* names, int count) {
  if (count == 0) return record_files_begin(f, folder);  // the whole folder
  record_files_begin(f, L"");
  if (count == 1) {
    // One file: read as a file, whatever its name.
    wchar_t path[MAX_PATH];
    _snwprintf(path, MAX_PATH, L"%ls\\%ls", folder, names[0]);
    path[MAX_PATH - 1] = 0;
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &a) || (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return kTextFileOpenFailed;
    lstrcpynW(f->single, path, MAX_PATH);
    f->list.count = 1;
    f->list.sizes[0] = (static_cast<uint64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
    return 0;
  }
  lstrcpynW(f->folder, folder, MAX_PATH);
  RecordFileList& list = f->list;
  for (int i = 0; i < count; i++) {
    if (wcslen(names[i]) >= static_cast<size_t>(kRecordNameChars) || list.count == kRecordFolderFilesMax)
      return kTextFileOpenFailed;
    wchar_t path[MAX_PATH];
    _snwprintf(path, MAX_PATH, L"%ls\\%ls", folder, names[i]);
    path[MAX_PATH - 1] = 0;
    WIN32_FILE_ATTRIBUTE_DATA a;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &a) || (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return kTextFileOpenFailed;
    record_file_list_put(&list, reinterpret_cast<const char16_t*>(names[i]),
                         (static_cast<uint64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow);
  }
  return list.count ? 0 : kTextNoRecordingHere;
}

namespace {

void file_path(const RecordFiles* f, int k, wchar_t path[MAX_PATH]) {
  if (f->folder[0]) _snwprintf(path, MAX_PATH, L"%ls\\%ls", f->folder, record_list_name(f->list, k));
  else lstrcpynW(path, f->single, MAX_PATH);
  path[MAX_PATH - 1] = 0;
}

}  // namespace

int record_files_header(const RecordFiles* f, int k, RecordHeader* out) {
  wchar_t path[MAX_PATH];
  file_path(f, k, path);
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  uint8_t head[kRecordHeaderBytes];
  const int64_t got = read_at(file, 0, head, kRecordHeaderBytes);
  CloseHandle(file);
  return got < 0 || record_header_read(head, static_cast<size_t>(got), out) != kRecordHeaderOk;
}

int record_files_open_next(void* ctx, RecordReader* r) {
  RecordFiles* f = static_cast<RecordFiles*>(ctx);
  if (f->file != INVALID_HANDLE_VALUE) CloseHandle(f->file);
  f->file = INVALID_HANDLE_VALUE;
  for (;;) {
    if (f->next == f->list.count && f->relist && f->list.more && f->list.count) {
      // A folder of more recordings than a list holds: the next ones.
      char16_t last[kRecordNameChars];
      std::memcpy(last, f->list.names[f->list.count - 1], sizeof last);
      record_folder_list(f->folder, &f->list, last);
      f->next = 0;
    }
    if (f->next >= f->list.count) break;
    wchar_t path[MAX_PATH];
    file_path(f, f->next, path);
    f->next++;
    // Shared for writing: the file being recorded into reads as far as it
    // has been written.
    f->file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    f->ahead_n = 0;
    if (f->file != INVALID_HANDLE_VALUE && record_reader_open(r, {f, file_read}) == kRecordHeaderOk) return 1;
    if (f->file != INVALID_HANDLE_VALUE) CloseHandle(f->file);
    f->file = INVALID_HANDLE_VALUE;
    if (f->not_read++ == 0) lstrcpynW(f->first_not_read, path, MAX_PATH);
  }
  return 0;
}

void record_files_end(RecordFiles* f) {
  if (f->file != INVALID_HANDLE_VALUE) CloseHandle(f->file);
  f->file = INVALID_HANDLE_VALUE;
  f->ahead_n = 0;
}

// What a reader of a recording holds while it runs: about 3 MB, on the heap.
struct RecordWindows {
  RecordFiles files;
  RecordReader reader;
  RecordStream stream;
  RecordWindow window;
  int window_given;
};

uint64_t record_reading_at(const RecordFiles* files, const RecordReader* reader, const RecordStream* st,
                           const uint64_t* file_start) {
  const int k = files->next - 1;
  if (k < 0) return 0;
  if (!st->open) return file_start[k + 1];
  return file_start[k] + reader->block_offset;
}

RecordWindows* record_windows_open(const wchar_t* source, const RecordTime& from, const RecordTime& to, int* failure) {
  RecordWindows* job = static_cast<RecordWindows*>(calloc(1, sizeof(RecordWindows)));
  *failure = job ? record_files_begin(&job->files, source) : kTextExportNoMemory;
  if (!*failure && capture_snapshot_allocate(&job->window.snap)) *failure = kTextExportNoMemory;
  if (!*failure) {
    record_stream_begin(&job->stream, record_files_open_next, &job->files, &job->reader, from, to);
    if (record_window_fill(&job->stream, &job->window) == 0)
      *failure = job->files.not_read == job->files.list.count ? kTextRecordNotRead : kTextNoDataToExport;
  }
  if (*failure && job) {
    record_windows_close(job, nullptr);
    job = nullptr;
  }
  return job;
}

CaptureSnapshot* record_windows_next(RecordWindows* job) {
  if (job->window_given++ == 0) return &job->window.snap;
  return record_window_fill(&job->stream, &job->window) > 0 ? &job->window.snap : nullptr;
}

int record_windows_entry(RecordWindows* job, RecordEntry* e) {
  RecordStream& s = job->stream;
  if (s.has_pending) {
    *e = s.pending;
    s.has_pending = 0;
    return 1;
  }
  return record_stream_next(&s, e);
}

void record_windows_close(RecordWindows* job, RecordNotes* notes) {
  if (notes) {
    *notes = {};
    notes->skipped = static_cast<int64_t>(job->stream.skipped + job->reader.skipped * job->stream.open);
    notes->torn_files = job->stream.torn_files;
    notes->failed_files = job->stream.failed_files;
    notes->not_read = job->files.not_read;
    lstrcpynW(notes->first_not_read, job->files.first_not_read, MAX_PATH);
  }
  record_files_end(&job->files);
  capture_snapshot_free(&job->window.snap);
  free(job);
}

namespace {

int is_log_name(const wchar_t* path) {
  const size_t n = wcslen(path);
  return n >= 4 && _wcsicmp(path + n - 4, L".log") == 0;
}

// The window's times are the recorded times of day: a log written from it
// gets the wall offset that shows them as those times of day here.
void log_of_window(RecordWindows* job, const wchar_t* out, int* result) {
  CaptureSnapshot& s = job->window.snap;
  const int64_t first = timeline_first_time_us(s.records, s.times, s.count);
  s.wall_offset_us = first == kTimeUnknown ? 0 : -static_cast<int64_t>(local_zone_minutes_at(first)) * 60000000;
  *result = log_write_snapshot(out, s);
}

}  // namespace

CaptureSnapshot* record_windows_next_lined(void* ctx, LineShape shape[2]) {
  RecordWindows* job = static_cast<RecordWindows*>(ctx);
  CaptureSnapshot* s = record_windows_next(job);
  if (s) {
    shape[0] = job->window.shape[0];
    shape[1] = job->window.shape[1];
  }
  return s;
}

int record_export(const wchar_t* source, const wchar_t* out, int modbus, const RecordTime& from, const RecordTime& to,
                  RecordNotes* notes) {
  *notes = {};
  int result = 0;
  RecordWindows* job = record_windows_open(source, from, to, &result);
  if (!job) return result;
  if (result == 0 && modbus) {
    result = modbus_monitor_export_windows(out, record_windows_next_lined, job);
  } else if (result == 0 && is_log_name(out)) {
    // A log holds one window; a slice that goes on is cut there, and said.
    log_of_window(job, out, &result);
    RecordEntry more;
    if (result == 0 && (job->stream.has_pending || record_stream_next(&job->stream, &more))) {
      char wall[32] = {};
      timeline_format_wall(job->window.last_time, 0, wall);
      for (int i = 0; i < 31; i++) notes->log_ends_at[i] = static_cast<wchar_t>(wall[i]);
      notes->log_ends_at[31] = 0;
    }
  } else if (result == 0) {
    HANDLE f = CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) result = kTextFileOpenFailed;
    if (result == 0) {
      const int csv = timeline_export_is_csv(reinterpret_cast<const char16_t*>(out));
      const ByteSink sink = file_sink(f);
      TimelineCarry carry = {};
      // Recorded times print as they are: no wall offset, no zone.
      TimelineTextClock clock = {0, nullptr, {}};
      do {
        CaptureSnapshot& s = job->window.snap;
        // The silence threshold of the file the window began in.
        clock.shape[0] = job->window.shape[0];
        clock.shape[1] = job->window.shape[1];
        const TimelineEvents events = {s.events, s.event_count, 0};
        if (timeline_write_export(csv, s.records, s.times, s.count, &clock, &sink, &events, &carry)) {
          result = kTextExportWriteFailed;
          break;
        }
      } while (record_window_fill(&job->stream, &job->window) > 0);
      if (!CloseHandle(f)) result = kTextExportWriteFailed;
    }
  }
  const RecordNotes keep = *notes;  // the log's cut, said before the close fills in the rest
  record_windows_close(job, notes);
  lstrcpynW(notes->log_ends_at, keep.log_ends_at, 32);
  return result;
}