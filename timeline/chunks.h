// The capture read as chunks: consecutive data records of one kind with
// their time and the gap digits before them, and the one rule for the
// silence between two chunks that every tool uses. Everything here works on
// records and times handed in (the live buffer below its write position, or
// a snapshot); nothing allocates.
#pragma once

#include <cstdint>

#include "app/capture.h"
#include "serial/line_params.h"

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

// 1 when records t, t + 1, t + 2 are one gap marker's three records
// ("t=" and two records of digits) below count.
int timeline_marker_whole(const CaptureRecord* records, int32_t count, int32_t t);
// The four digits of the whole gap marker at t (tenths of a second), or -1
// when there is none or a digit is not one (a damaged log).
int32_t timeline_gap_digits_at(const CaptureRecord* records, int32_t count, int32_t t);

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
// The same silence where the times cannot tell it (a log without its times
// file): the previous chunk's gap digits, tenths of a second, as the tooltip
// and the exports fall back to them. kTimeUnknown when neither tells.
int64_t timeline_silence_or_digits_us(const TimelineChunk& previous, const TimelineChunk& c, const LineShape shape[2]);

// 1 when line event `e` breaks the line of `channel` (1 or 2; 0: either
// channel, as on a line monitor whose one pair spans both): an event that
// breaks the line (line_event_breaks) of that channel or of the capture as
// a whole. What the line carried before it belongs to nothing after it.
int timeline_event_breaks(const LineEvent& e, int channel);
// 1 when such an event lies after record `after` and up to record `upto`
// of records placed from absolute place `base` (events in place order).
int timeline_line_broken_between(const LineEvent* events, int32_t event_count, int64_t base, int channel,
                                 int32_t after, int32_t upto);

// The chunk that holds record `index` among records 0 .. count - 1, found
// by the one chunk walk from record 0 (a run of any length; the whole
// buffer is walked in well under a millisecond), and the chunk before it.
// Returns 1 with *chunk filled and *has_previous set when *previous holds
// the chunk before it; 0 when record `index` is no data record below count.
int timeline_chunk_at(const CaptureRecord* records, const int64_t* times, int32_t count, int32_t index,
                      TimelineChunk* chunk, TimelineChunk* previous, int* has_previous);

// The time of the first chunk among records 0 .. count - 1 whose time is
// known (where the exports' time_s counts from), or kTimeUnknown.
int64_t timeline_first_time_us(const CaptureRecord* records, const int64_t* times, int32_t count);

// The silence that separates two Modbus RTU frames at `baud`: 3.5
// characters of 11 bits, rounded to whole µs, never below 1750 µs (the
// fixed value Modbus uses at high rates). A baud of 0 or less gives 1750.
int64_t timeline_modbus_silence_us(int32_t baud);
