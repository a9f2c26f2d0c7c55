// The exports of a capture: CSV and readable text, one line per chunk.
// The writers produce ASCII (a subset of UTF-8) with CR LF line ends
// through a sink; timeline_write_export puts the UTF-8 byte order mark
// EF BB BF before the text export, and nothing before the CSV. Nothing
// here allocates.
#pragma once

#include <cstdint>

#include "app/byte_sink.h"
#include "app/capture.h"
#include "timeline/chunks.h"

// The line events that go with the records (a snapshot's): their places
// are absolute, record 0 lies at `base`.
struct TimelineEvents {
  const LineEvent* list;
  int32_t count;
  int64_t base;
};

// An event's details as the exports write them after its name: "COM5",
// "COM5 error 21", "COM5 after 3.217 s", "19200 baud"; "" for none.
void timeline_event_details(const LineEvent& e, char out[48]);

// What an export written in pieces (a recording, a window at a time)
// carries from one piece to the next: the first piece writes the header (or
// the text's first line), later ones go on counting time_s from the same
// origin and the delta from the last chunk of the piece before. Zero it
// before the first piece.
struct TimelineCarry {
  int started;
  int64_t origin;
  TimelineChunk previous;  // its times and sizes only: its records are gone
  int have_previous;
};

// CSV of the chunks of records 0 .. count - 1, one row per chunk under the
// header "time_s,delta_s,channel,direction,bytes,hex,text". Each event is a
// row of its own before the chunk it came before: its time, the channel
// (empty for the capture as a whole), direction "EV", no bytes or hex, and
// a text that starts with its English name and goes on with its details
// ("lost COM5 error 21"). Returns 0, or 1 when the sink refused a write
// (writing stops there).
int timeline_write_csv(const CaptureRecord* records, const int64_t* times, int32_t count, const ByteSink* sink,
                       const TimelineEvents* events = nullptr, TimelineCarry* carry = nullptr);

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
                        const TimelineTextClock* clock, const ByteSink* sink, const TimelineEvents* events = nullptr,
                        TimelineCarry* carry = nullptr);

// The export of a capture: a name ending ".csv" (any case) gets the CSV, any
// other name the readable text, which starts with the UTF-8 byte order mark.
int timeline_export_is_csv(const char16_t* name);
int timeline_write_export(int csv, const CaptureRecord* records, const int64_t* times, int32_t count,
                          const TimelineTextClock* clock, const ByteSink* sink, const TimelineEvents* events = nullptr,
                          TimelineCarry* carry = nullptr);

// "YYYY-MM-DD HH:MM:SS.uuuuuu" for wall_us (µs since 1970) plus
// zone_minutes, into out with a terminator. Returns 0, or 1 when the time
// lies outside the years 1 to 9999 (out is then "-").
int timeline_format_wall(int64_t wall_us, int32_t zone_minutes, char out[32]);
