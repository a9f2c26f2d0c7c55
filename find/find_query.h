// What Find looks for in a stretch of records (a snapshot of the live
// capture, a loaded log, a window of a recording), and the one pass that
// finds it there: a run of bytes (find/find_search.h), a silence longer
// than a limit on a channel (the silence rule of timeline/chunks.h), a bad
// Modbus frame (the monitor's decoder: a bad check, an exception answer, a
// request never answered) or a line event. A pass goes on over the next
// stretch of a recording with what spans two of them: the bytes' tails and
// each channel's last chunk.
//
// Pure; the finds go into a list the caller sized.
#pragma once

#include <atomic>
#include <cstdint>

#include "find/find_search.h"
#include "modbus/modbus_monitor.h"
#include "timeline/chunks.h"

enum FindWhat : uint8_t { kFindBytes = 0, kFindSilence = 1, kFindBadFrame = 2, kFindLineEvent = 3 };
// Why a frame is bad (FindFound::why).
enum FindBadWhy : uint8_t { kFindBadCheck = 1, kFindBadException = 2, kFindBadNoAnswer = 3 };

struct FindQuery {
  uint8_t what;             // FindWhat
  uint32_t streams;         // bit s: stream s (0 CH1 RX, 1 CH1 TX, 2 CH2 RX, 3 CH2 TX); a channel counts when either of its bits is set
  FindPattern pattern;      // kFindBytes
  int64_t silence_us;       // kFindSilence: silences longer than this
  LineShape shape[2];       // CH1, CH2: for the silences
  ModbusMonitorOptions modbus;  // kFindBadFrame (its events are each stretch's own)
};

struct FindFound {
  int64_t time_us;        // the find's time: its chunk's, or the event's
  int64_t chunk_time_us;  // the time of the chunk its first record lies in
  int64_t detail;         // silence: its length in µs; bad frame: the check or exception code; event: its detail
  int32_t first, last;    // records it covers in its stretch; first -1: it began in a stretch before
  int32_t within;         // its first record's index in its chunk
  uint8_t kind;           // record kind of its first record (1 .. 4)
  uint8_t what;           // FindWhat
  uint8_t why;            // bad frame: FindBadWhy; event: its LineEventKind
  uint8_t channel;        // 1 or 2; 0 an event of the capture as a whole
};

// Finds in the order of their first record. When it is full, `more` counts
// the finds not kept.
struct FindList {
  FindFound* items;
  int32_t n;
  int32_t capacity;
  int64_t more;
};

struct FindPass {
  FindQuery q;
  FindSearch bytes;
  TimelineChunk prev[2];  // each channel's latest chunk, for its silences
  int32_t have_prev[2];
  ModbusFrameList frames, scratch;
};

void find_pass_begin(FindPass* f, const FindQuery& q);
// Frees the frame lists.
void find_pass_end(FindPass* f);
// Looks through one stretch and adds what it finds to `out`. 0, or 1 when
// `cancel` (may be null) was set and the stretch was left part way.
int find_pass_run(FindPass* f, const CaptureSnapshot& s, FindList* out, const std::atomic<int>* cancel);
// The next stretch follows the last one (the next window of a recording).
void find_pass_next_stretch(FindPass* f);

// Go to time: the first of records 0 .. count - 1 whose time is at or after
// `at` (on the times' own clock), or count when none is.
int32_t find_time_first(const int64_t* times, int32_t count, int64_t at);
// The index of record `at` in its chunk: how many records of its kind
// stand right before it.
int32_t find_within_chunk(const CaptureRecord* records, int32_t at);

// A find's time as the list and the CSVs write it: seconds since `origin`
// ("12.345678", empty when a time is unknown) and the time of day of
// `local_us` (µs since 1970 read as UTC: "14:03:07.250000", empty when unknown).
void find_time_texts(int64_t t, int64_t origin, int64_t local_us, char seconds[40], char day[24]);

// One find as the Find All list and its CSV show it (English, as the
// exports are): time, channel ("CH1"), direction ("RX", "TX"; empty for an
// event), what was found ("silence 120.500 ms", "BAD CRC", "exception 02
// Illegal Data Address", "no answer", "lost error 2"; empty for bytes),
// and the first bytes of the find (up to kFindPreviewBytes) as hex and as
// text (a dot for a byte that does not print).
constexpr int kFindPreviewBytes = 8;
struct FindRowText {
  char seconds[40];
  char day[24];
  char channel[4];
  char direction[4];
  char found[96];
  char hex[3 * kFindPreviewBytes + 1];
  char text[kFindPreviewBytes + 1];
};
void find_row_text(const FindFound& f, int64_t origin, int64_t local_us, const uint8_t* preview, int32_t preview_n,
                   FindRowText* out);
// The CSV of the list: its header line, and one row (CR LF ended; the text
// quoted when it holds a comma or a quote) into out: its length, or -1 when
// it does not fit in `room`.
constexpr const char* kFindCsvHeader = "time_s,time_of_day,channel,direction,found,hex,text\r\n";
int32_t find_csv_row(const FindRowText& t, char* out, int32_t room);
// Up to kFindPreviewBytes bytes of the find's stream from its first record
// on, over the gap markers between its chunks: how many.
int32_t find_preview(const CaptureRecord* records, int32_t count, const FindFound& f, uint8_t out[kFindPreviewBytes]);
