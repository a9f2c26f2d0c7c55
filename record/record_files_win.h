// A recording on disk, a file or a folder of them: the folder's recordings
// oldest first (Record to Disk's pruning and the readers share the list),
// and the files opened one after another for a RecordStream
// (record/record_reader.h) with plain ReadFile.
#pragma once

#include "app/app_win.h"
#include "record/record_reader.h"

// The recordings (quorrin-*.qrec by record_file_name_ours) in `folder` in
// their order (record_file_name_compare), the oldest kRecordFolderFilesMax
// of those that come after `after` (null: all): their count.
int record_folder_list(const wchar_t* folder, RecordFileList* out, const char16_t* after = nullptr);
// The name of the list's k-th file.
inline const wchar_t* record_list_name(const RecordFileList& list, int k) {
  return reinterpret_cast<const wchar_t*>(list.names[k]);
}

// 1 when `path` names a recording: a folder, or a file that begins "QREC".
int record_path_is_recording(const wchar_t* path);

// The files of a recording, opened in turn by record_files_open_next (the
// RecordStream's open_next with this as its context), read ahead in
// pieces of kRecordReadAhead bytes: the reader asks for a block's head and
// its payload apart, and under Wine every read is a trip to the server.
// About 850 KB: not for the stack.
constexpr uint32_t kRecordReadAhead = 512 * 1024;
struct RecordFiles {
  wchar_t folder[MAX_PATH];  // empty: `list` is the one file `single`
  wchar_t single[MAX_PATH];
  RecordFileList list;
  int next;
  int relist;  // 1: past the list, the folder is listed again after its last name (more files than a list holds)
  HANDLE file;
  uint64_t ahead_at;  // where in the open file `ahead` was read from
  uint32_t ahead_n;   // bytes it holds (0: none)
  uint8_t ahead[kRecordReadAhead];
  int not_read;                   // files passed over: not a recording, or no header
  wchar_t first_not_read[MAX_PATH];
};
// Sets the files up for a recording at `path`: 0, or the message text that
// says why there is none there.
int record_files_begin(RecordFiles* f, const wchar_t* path);
// The same for files the user chose in `folder`: `names` in any order,
// read in the order of record_file_name_compare; one file may have any
// name; none (count 0): every recording in the folder. 0, or the message
// text of why not.
int record_files_choose(RecordFiles* f, const wchar_t* folder, const wchar_t* const* names, int count);
int record_files_open_next(void* ctx, RecordReader* r);
// The header of the list's k-th file alone (no read ahead): 0, or 1 when
// the file does not open or has no valid header.
int record_files_header(const RecordFiles* f, int k, RecordHeader* out);
void record_files_end(RecordFiles* f);

// Command line "/export" and "/modbus" of a recording at `source` into
// `out`, cut to [from, to]: 0, or the message text of the failure. What was
// passed over on the way is said on standard error through `note`
// (message text and its values).
struct RecordNotes {
  int64_t skipped;
  int torn_files;
  int failed_files;
  int not_read;
  wchar_t first_not_read[MAX_PATH];
  wchar_t log_ends_at[32];  // a log that could not take the whole slice: where it ends
};
// A recording read a window at a time (record/record_reader.h), for the
// command line's readers: open says why not through *failure
// (kTextNoDataToExport when the slice is empty); next gives the first
// window, then each in turn, null after the last; close frees it all and,
// when notes is not null, says what was passed over.
struct RecordWindows;
// Where a reader of a recording stands, as a place in the recording as
// one: `files` the reader's files, `file_start` each file's first byte in
// the recording (recording_files_copy).
uint64_t record_reading_at(const RecordFiles* files, const RecordReader* reader, const RecordStream* st,
                           const uint64_t* file_start);

RecordWindows* record_windows_open(const wchar_t* source, const RecordTime& from, const RecordTime& to, int* failure);
CaptureSnapshot* record_windows_next(RecordWindows* w);
// The same for a reader that takes the window's lines too (ctx: the
// RecordWindows): the speed and frame bits its recording's header gives.
CaptureSnapshot* record_windows_next_lined(void* ctx, LineShape shape[2]);
// After the first window, the rest of the slice an entry at a time, for a
// reader that needs no records (Find's bytes): 1 with *e, 0 at its end.
int record_windows_entry(RecordWindows* w, RecordEntry* e);
void record_windows_close(RecordWindows* w, RecordNotes* notes);

// `modbus` 1: the Modbus monitor's CSV; 0: the capture export (CSV or
// text by the name), or a log with its times when the name ends ".log".
int record_export(const wchar_t* source, const wchar_t* out, int modbus, const RecordTime& from, const RecordTime& to,
                  RecordNotes* notes);
