// Reading recordings (.qrec, record/record_file.h): the files of a recording
// one after another as one stream of entries, each chunk's time turned into
// the time of day it was recorded at; a slice of that stream cut by a start
// and an end time ("/from", "/to"); and capture-shaped windows of it, so
// that every tool that works on records (the exports, the log writer, the
// Modbus monitor) works on a recording a window at a time, in bounded
// memory, whatever its size.
//
// Times: a recorded time is the local date and time of day the program saw
// (the file header's start plus the capture clock since), as microseconds
// since 1970 read as if the local time were UTC. It goes on across files
// and across runs of the program, and prints as the time of day it was.
//
// Pure: the file reads go through a RecordSource the caller gives; nothing
// allocates.
#pragma once

#include <cstdint>

#include "app/capture.h"
#include "record/record_file.h"
#include "serial/line_params.h"

struct RecordSource {
  void* ctx;
  // Up to n bytes at `offset` into out: how many were read (0 at the end of
  // the file), or -1 when the read failed.
  int64_t (*read)(void* ctx, uint64_t offset, uint8_t* out, uint32_t n);
};

// One file of a recording, read block by block. About 64 KB: not for the stack.
struct RecordReader {
  RecordSource src;
  RecordHeader header;
  int64_t wall_minus_clock;  // added to a capture time, gives the recorded time
  uint64_t offset;           // where the next block starts
  uint64_t block_offset;     // where the block being read starts
  RecordBlock block;         // the block whose entries are being read
  uint32_t at;               // next entry in it
  int in_block;
  int ended;
  int failed;       // a read failed: the file ends there
  int torn;         // the file ends in a block cut short (a crash, a full disk)
  uint64_t skipped; // bytes of damaged blocks passed over
  int64_t budget;   // bytes a scan may still spend checking the places it finds
  // What scans learnt: the latest whole block found holding a place as
  // data, and that no whole block begun before clear_from runs past
  // clear_past.
  uint64_t holder_at, holder_end;
  uint64_t clear_from, clear_past;
  int64_t last_time;  // capture clock of the latest entry read, kTimeUnknown after an open or a seek
  uint8_t buffer[kRecordBlockHeaderBytes + kRecordBlockPayloadMax];
};

constexpr int kRecordReadFailed = 5;  // beside the RecordHeaderStatus values
// Reads the file's header. Returns kRecordHeaderOk, another
// RecordHeaderStatus, or kRecordReadFailed.
int record_reader_open(RecordReader* r, RecordSource src);
// The next entry of the file, its time_us the recorded time; its data point
// into the reader and hold until the next call. 1 with *out, 0 at the file's
// end. Each block's head says where the next begins: a block whose head
// holds but whose payload does not is passed over by its length, and so is
// one whose head fails its own check but begins as a head and states a
// payload that checks. Where neither holds, a scan looks for the next place
// whose head does, trusted only when what follows agrees (the next head
// begins where that block ends, even one damaged, or the file ends there),
// the block's own checks hold, its time lies between the entry read before
// and the next block's (one clock, in order), and no whole block before it
// (its payload checks, whatever its head) holds it as data; r->skipped
// counts what was passed over. A torn last block ends the file. The work
// spent on a file is a small multiple of its size, whatever its bytes.
int record_reader_next(RecordReader* r, RecordEntry* out);
// Goes on reading at the first block at or after byte `offset` of the file
// that a scan trusts (its first block for an offset inside the header):
// how a viewer seeks without an index. 1, or 0 when no block is left there.
int record_reader_seek(RecordReader* r, uint64_t offset);

// The recorded time of a header's start: its local date and time as µs
// since 1970 read as UTC.
int64_t record_header_wall_us(const RecordHeader& h);
// A channel's speed and frame bits as the header gives them.
LineShape record_line_shape(const RecordChannel& c);

// A start or end of a slice as the user types it: seconds since the
// recording's first entry ("90", "12.5"), or a time of day ("14:03",
// "14:03:07", "14:03:07.250"). A time names the span its last digit
// counts: "14:03" the minute 14:03:00 to 14:03:59.999999, "14:03:07" that
// second, "12.5" the tenth of a second from 12.5 s.
struct RecordTime {
  int given;
  int time_of_day;  // 1: `us` is µs since midnight; 0: µs since the start
  int64_t us;       // the span's beginning
  int64_t span_us;  // its length (1 µs and up)
};
// 0 with *out, or 1 when the text is neither.
int record_time_parse(const char* text, RecordTime* out);
// The beginning of the span a RecordTime names after `start`: start plus
// the seconds, or, for a time of day, the first such span that has not
// ended by `start` (so "14:03" of a recording that began at 14:03:10 is
// 14:03:00, and "00:10" of one that began at 23:50 falls on the next day).
// kTimeUnknown when it lies beyond the times there are.
int64_t record_time_resolve(const RecordTime& t, int64_t start);
// The last moment of that span.
int64_t record_time_resolve_end(const RecordTime& t, int64_t start);

// The mapping from a file's capture clock to recorded times (time of day
// minus clock), one per run of the program: a file whose header agrees with
// the mapping of the file before it (`has_run`, `run`) to within the
// header's second goes on with that run's mapping, so that times never step
// at a file's edge and a file reads the same whether reached from the start
// or by seeking; any other begins a run of its own.
// Two runs of the program on one boot share a clock, and so the mapping:
// where both files know their run (RecordHeader::run_id), the run ids
// decide (`run_id` is the previous file's).
int64_t record_run_clock(const RecordHeader& h, int has_run, int64_t run, uint32_t run_id);
// 1 when the file of header `h` begins a run of its own after a file of
// run `run_id` with mapping `run` (the rule record_run_clock keeps).
int record_new_run(const RecordHeader& h, int has_run, int64_t run, uint32_t run_id);

// The files of a recording as one stream, cut to a slice.
struct RecordStream {
  // Opens the next file of the recording into the reader: 1, or 0 when no
  // file is left. A file that cannot be opened or has no valid header is
  // the caller's to report and pass over.
  int (*open_next)(void* ctx, RecordReader* r);
  void* ctx;
  RecordReader* reader;  // the caller's
  RecordTime from, to;   // not given: the whole recording
  // Filled while reading:
  int open;
  int resolved;
  int64_t from_us, to_us;  // the slice, once the first entry told the start
  int64_t first_us;        // the recording's first recorded time
  uint64_t skipped;        // damaged bytes passed over, all files
  int torn_files;          // files that ended in a torn block
  int failed_files;        // files whose reading failed part way
  int64_t run_wall_minus_clock;  // the current run's clock to time of day
  int has_run;
  uint32_t run_id;         // the current run's id (0: not known)
  uint32_t runs;           // runs begun so far: a change is the end of a run
  RecordEntry pending;     // an entry a full window could not take
  int has_pending;
};
// Sets the stream up to read through open_next; from/to as given.
void record_stream_begin(RecordStream* s, int (*open_next)(void*, RecordReader*), void* ctx, RecordReader* reader,
                         const RecordTime& from, const RecordTime& to);
// The next entry of the slice: 1 with *out, 0 at its end.
int record_stream_next(RecordStream* s, RecordEntry* out);
// After the caller opened a file of the recording into the stream's reader
// (a viewer moving to another place): reading goes on there, at the first
// block at or after `offset`, with `run_clock`, the mapping the run gives
// that file (record_run_clock over the files before it, as reading from
// the start decides it). 1, or 0 when the file holds no block from there on.
int record_stream_at(RecordStream* s, uint64_t offset, int64_t run_clock);

// A window: a stretch of the recording laid out as a capture snapshot, so
// that every tool that takes a snapshot takes it: chunk records, each
// followed by the three gap markers with the quiet after the chunk in
// tenths of a second, their recorded times, and the line events among them
// (base 0, wall offset 0: the times are the recorded times). The snapshot's
// blocks are the caller's (capture_snapshot_allocate); a window holds at
// most kCaptureWrapThreshold records, as a log does; once past seven eighths
// of that it ends before the first chunk that follows 100 ms of quiet.
constexpr int32_t kRecordWindowQuietFrom = kCaptureWrapThreshold / 8 * 7;
constexpr int64_t kRecordWindowQuietUs = 100000;
struct RecordWindow {
  CaptureSnapshot snap;
  LineShape shape[2];   // the channels' lines as the header of the file its first entry came from says
  int32_t last_marker;  // the latest chunk's kind-129 marker, -1 for none
  int64_t last_time;
};
void record_window_begin(RecordWindow* w);
// Adds one entry: 0, or 1 when the window is full (nothing added).
int record_window_add(RecordWindow* w, const RecordEntry& e);
// Begins the window and fills it from the stream until it is full or the
// slice ends. Returns the entries it took (0: the slice has ended).
int32_t record_window_fill(RecordStream* s, RecordWindow* w);
