// The capture's timeline: the chunk times kept beside the records, saved in
// a companion file next to the log, and what is made of them — the chunks
// one by one, CSV and readable text exports, and statistics of the link.
//
// Companion file: a log "X.log" keeps its times in "X.log.qtimes" (the
// log's full name plus ".qtimes"), so the log itself stays exactly as it
// always was. Layout, all integers little-endian:
//   bytes 0-7    magic "QTIMES1\n"
//   bytes 8-15   int64 record count (equals the log's record count)
//   bytes 16-23  int64 wall offset: wall clock (µs since 1970) minus the clock
//   bytes 24-31  uint64 check of the log's records (timeline_log_check),
//                so that a times file is never read beside another log of
//                the same length; 0 in files written before the check,
//                which are taken on their count alone
//   then count int64 times in µs, one per record, INT64_MIN for none.
//
// Everything here works on records and times handed in (the live buffer
// below its write position, or copies); nothing allocates. The writers
// produce ASCII (a subset of UTF-8) with CR LF line ends through a sink;
// timeline_write_export puts the UTF-8 byte order mark EF BB BF before the
// text export, and nothing before the CSV.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/capture.h"
#include "serial/line_params.h"

constexpr int kTimelineHeaderBytes = 32;
constexpr char kTimelineCompanionMagic[9] = "QTIMES1\n";
constexpr char16_t kTimelineCompanionSuffix[] = u".qtimes";

// The companion's name for the log name `log` (count units): the log's
// name plus ".qtimes", with a terminator, into `out` of out_units units.
// Returns the length without the terminator, or -1 when it does not fit
// (out is then an empty string, if it has room for one).
int timeline_companion_name(const char16_t* log, int count, char16_t* out, int out_units);

// The check of a log's records that its times file carries: FNV-1a over
// the records' bytes, never 0.
uint64_t timeline_log_check(const CaptureRecord* records, int32_t count);

// The 32-byte header for `count` records, `wall_offset_us` and the check
// of the records.
void timeline_companion_header(int64_t count, int64_t wall_offset_us, uint64_t log_check,
                               uint8_t out[kTimelineHeaderBytes]);

// Times first .. first + count - 1 as the file holds them: 8 bytes each.
void timeline_companion_encode(const int64_t* times, int32_t count, uint8_t* out);

enum TimelineCompanionStatus {
  kCompanionOk = 0,        // times_out holds one time per record
  kCompanionShort,         // no file, shorter than a header, or fewer times than it declares
  kCompanionDamaged,       // not a companion file (magic) or more bytes than it declares
  kCompanionCountDiffers,  // written for a log of another length
  kCompanionOtherLog,      // written for another log of the same length (its check differs)
};

// Reads a companion file of len bytes for a log of log_records records.
// On kCompanionOk, times_out[0 .. log_records - 1] and *wall_offset_out hold
// the file's values; on any other status every one of those times is
// kTimeUnknown and the offset 0. Never reads past len nor writes past
// log_records times (none for a negative count). data may be null when len
// is 0.
TimelineCompanionStatus timeline_companion_parse(const uint8_t* data, size_t len, int32_t log_records,
                                                 uint64_t log_check, int64_t* times_out, int64_t* wall_offset_out);

// One chunk: consecutive data records of one kind, ended by its three gap
// markers (or by the end of the records). A chunk cut by a wrap at record 0
// counts as a chunk of the records that are left.
struct TimelineChunk {
  int32_t first;              // index of its first record
  int32_t count;              // its data records
  uint8_t kind;               // kKindRecvCh1 .. kKindSentCh2
  int64_t time_us;            // time of its first record, or kTimeUnknown
  int32_t gap_tenths_before;  // the previous chunk's gap digits (tenths of a second), or -1
};

// Finds the chunk at or after *at among records 0 .. count - 1 and moves
// *at past it. Returns 1 with *out filled, or 0 when no chunk is left.
// times may be null (every time unknown); *gap_tenths is the gap digits of
// the chunk found last (-1 before the first), which the caller keeps at -1
// to start and hands back unchanged.
int timeline_next_chunk(const CaptureRecord* records, const int64_t* times, int32_t count, int32_t* at,
                        int32_t* gap_tenths, TimelineChunk* out);

// Silence: how long the line was quiet before a chunk. A chunk's time is
// not when its bytes began: a received chunk is timed when its receive
// thread saw its first bytes queued (its first character had just ended),
// a sent one when its write completed (its last character had left). So a
// chunk's bytes were on the line
//   received: from time - 1 character to time + (count - 1) characters,
//   sent:     from time - count characters to time,
// each character at its channel's speed and frame bits (LineShape). The
// silence before a chunk is the start of its bytes less the end of the
// previous chunk's bytes, whichever channel that was; a continuous answer
// cut into chunks has no silence inside it. It is as precise as the chunk
// times (about 1 ms while traffic flows, README "Timing"), and negative
// where two channels talked at once. kTimeUnknown when a time is unknown.
// Every tool that speaks of silence (exports, the cell tooltip, the link
// statistics, the Modbus monitor, the macro writer) uses this one rule.
int64_t timeline_chunk_start_us(const TimelineChunk& c, const LineShape shape[2]);
int64_t timeline_chunk_end_us(const TimelineChunk& c, const LineShape shape[2]);
int64_t timeline_silence_us(const TimelineChunk& previous, const TimelineChunk& c, const LineShape shape[2]);

// The time of the first chunk among records 0 .. count - 1 whose time is
// known (where the exports' time_s counts from), or kTimeUnknown.
int64_t timeline_first_time_us(const CaptureRecord* records, const int64_t* times, int32_t count);

struct TimelineSink {
  void* ctx;
  int (*write)(void* ctx, const char* bytes, int n);  // 0 when all n bytes were taken
};

// CSV of the chunks of records 0 .. count - 1, one row per chunk under the
// header "time_s,delta_s,channel,direction,bytes,hex,text". Returns 0, or
// 1 when the sink refused a write (writing stops there).
int timeline_write_csv(const CaptureRecord* records, const int64_t* times, int32_t count, const TimelineSink* sink);

// What the readable text needs beyond the records: the clock and the lines.
struct TimelineTextClock {
  int64_t wall_offset_us;  // wall clock minus the capture's clock
  // Minutes the local zone is ahead of UTC at wall_us, with that date's
  // daylight saving time; null: UTC. Each line takes the zone of its own
  // instant, so times across a change of daylight saving time stay right.
  int32_t (*zone_minutes_at)(int64_t wall_us);
  LineShape shape[2];  // CH1, CH2: speed and frame bits for the silences
};

// Readable text: a first line with the wall time of the first chunk whose
// time is known (or "-"), then one line per chunk: time of day, delta to
// the previous chunk's time in ms, channel and direction, byte count, hex
// and text. A blank line goes before every chunk whose silence before it
// (timeline_silence_us, or the gap digits where times are unknown) is
// longer than the Modbus 3.5-character time at its channel's speed
// (timeline_modbus_silence_us). Returns 0, or 1 when the sink refused a
// write.
int timeline_write_text(const CaptureRecord* records, const int64_t* times, int32_t count,
                        const TimelineTextClock* clock, const TimelineSink* sink);

// The export of a capture: a name ending ".csv" (any case) gets the CSV, any
// other name the readable text, which starts with the UTF-8 byte order mark.
int timeline_export_is_csv(const char16_t* name);
int timeline_write_export(int csv, const CaptureRecord* records, const int64_t* times, int32_t count,
                          const TimelineTextClock* clock, const TimelineSink* sink);

// "YYYY-MM-DD HH:MM:SS.uuuuuu" for wall_us (µs since 1970) plus
// zone_minutes, into out with a terminator. Returns 0, or 1 when the time
// lies outside the years 1 to 9999 (out is then "-").
int timeline_format_wall(int64_t wall_us, int32_t zone_minutes, char out[32]);

// The silence that separates two Modbus RTU frames at `baud`: 3.5
// characters of 11 bits, rounded to whole µs, never below 1750 µs (the
// fixed value Modbus uses at high rates). A baud of 0 or less gives 1750.
int64_t timeline_modbus_silence_us(int32_t baud);

// Statistics of the link over records 0 .. count - 1.
constexpr int kTimelineLatencyKept = 4096;

// How late a received chunk's time can be after a quiet line, in ms: it is
// taken when the receive thread sees the bytes queued, and under Wine on a
// pty that thread polls the queue, every 1 ms for a second after any
// traffic (answers are timed to about 1 ms then) but every 25 ms once the
// line has been quiet for three seconds (bench/results/latency.md). Sent
// chunks are timed as their writes complete.
constexpr int kTimelineRxLateAfterQuietMs = 25;

// One stream: one channel in one direction.
struct TimelineStream {
  int64_t chunks;
  int64_t bytes;
  int64_t first_us, last_us;  // earliest and latest known chunk time, or kTimeUnknown
  // Average rate in bytes/s over first_us .. last_us: the bytes of the
  // chunks with known times, less those of the earliest one (its bytes came
  // in before its time was taken), over the span; -1 when fewer than two
  // known times span any time.
  double rate;
};

enum TimelineSilence {
  kSilenceUnder1ms = 0,
  kSilence1to10ms,
  kSilence10to100ms,
  kSilence100msTo1s,
  kSilenceOver1s,  // 1 s and more
  kSilenceClasses,
};

struct TimelineStats {
  TimelineStream streams[4];          // by kind - 1: CH1 RX, CH1 TX, CH2 RX, CH2 TX
  int64_t silences[kSilenceClasses];  // silences between consecutive chunks (timeline_silence_us), both times known
  // Request to answer: each answer is timed from the latest request before
  // it that no answer has taken yet. Count, min and max cover every
  // latency; median and 95th percentile (nearest rank) the first
  // kTimelineLatencyKept of them, which `latencies` holds sorted. µs;
  // kTimeUnknown when there is none.
  int64_t latency_count;
  int64_t latency_min, latency_median, latency_p95, latency_max;
  int32_t latency_kept;
  int64_t latencies[kTimelineLatencyKept];
};

// Fills *out. Requests are sent chunks and answers the received chunks on
// the same channel; with line_monitor set (both channels receive, one tap
// each way) requests are CH1 data and answers CH2 data. Chunks of unknown
// time count in chunks and bytes only. Times two receive threads took out
// of order give negative silences, counted under 1 ms.
void timeline_stats(const CaptureRecord* records, const int64_t* times, int32_t count, int line_monitor,
                    const LineShape shape[2], TimelineStats* out);
