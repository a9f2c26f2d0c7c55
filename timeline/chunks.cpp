#include "timeline/chunks.h"

namespace {

int is_data_kind(uint8_t kind) { return kind >= kKindRecvCh1 && kind <= kKindSentCh2; }

int digit_of(uint8_t c) { return c >= '0' && c <= '9' ? c - '0' : -1; }

const LineShape& shape_of(const LineShape shape[2], uint8_t kind) { return shape[kind <= kKindSentCh1 ? 0 : 1]; }

}  // namespace

int timeline_marker_whole(const CaptureRecord* records, int32_t count, int32_t t) {
  return t >= 0 && t + 2 < count && records[t].kind == kKindGapText && records[t + 1].kind == kKindGapHigh &&
         records[t + 2].kind == kKindGapLow;
}

int32_t timeline_gap_digits_at(const CaptureRecord* records, int32_t count, int32_t t) {
  if (!timeline_marker_whole(records, count, t)) return -1;
  const int d[4] = {digit_of(capture_byte(records[t + 1])), digit_of(capture_marker2(records[t + 1])),
                    digit_of(capture_byte(records[t + 2])), digit_of(capture_marker2(records[t + 2]))};
  if (d[0] < 0 || d[1] < 0 || d[2] < 0 || d[3] < 0) return -1;
  return d[0] * 1000 + d[1] * 100 + d[2] * 10 + d[3];
}

int timeline_next_chunk(const CaptureRecord* records, const int64_t* times, int32_t count, int32_t* at,
                        int32_t* gap_tenths, TimelineChunk* out) {
  int32_t i = *at < 0 ? 0 : *at;
  while (i < count && !is_data_kind(records[i].kind)) i++;
  if (i >= count) {
    *at = count;
    return 0;
  }
  uint8_t kind = records[i].kind;
  int32_t first = i;
  while (i < count && records[i].kind == kind) i++;
  out->first = first;
  out->count = i - first;
  out->kind = kind;
  out->time_us = times ? times[first] : kTimeUnknown;
  out->gap_tenths_before = *gap_tenths;
  // Its own gap, for the chunk after it: the three markers right behind it,
  // four digits. Anything else (a damaged log) tells nothing.
  *gap_tenths = timeline_gap_digits_at(records, count, i);
  if (timeline_marker_whole(records, count, i)) i += 3;
  *at = i;
  return 1;
}

int timeline_chunk_at(const CaptureRecord* records, const int64_t* times, int32_t count, int32_t index,
                      TimelineChunk* chunk, TimelineChunk* previous, int* has_previous) {
  *has_previous = 0;
  int32_t at = 0, gap = -1;
  TimelineChunk c;
  while (timeline_next_chunk(records, times, count, &at, &gap, &c) && c.first <= index) {
    if (index < c.first + c.count) {
      *chunk = c;
      return 1;
    }
    *previous = c;
    *has_previous = 1;
  }
  *has_previous = 0;
  return 0;
}

int64_t timeline_first_time_us(const CaptureRecord* records, const int64_t* times, int32_t count) {
  int32_t at = 0, gap = -1;
  TimelineChunk c;
  while (timeline_next_chunk(records, times, count, &at, &gap, &c))
    if (c.time_us != kTimeUnknown) return c.time_us;
  return kTimeUnknown;
}

int64_t timeline_chunk_start_us(const TimelineChunk& c, const LineShape shape[2]) {
  const LineShape s = shape_of(shape, c.kind);
  const int received = c.kind == kKindRecvCh1 || c.kind == kKindRecvCh2;
  return time_sub_us(c.time_us, line_chars_us(s, received ? 1 : c.count));
}

int64_t timeline_chunk_end_us(const TimelineChunk& c, const LineShape shape[2]) {
  const LineShape s = shape_of(shape, c.kind);
  const int received = c.kind == kKindRecvCh1 || c.kind == kKindRecvCh2;
  return time_add_us(c.time_us, received ? line_chars_us(s, c.count - 1) : 0);
}

int64_t timeline_silence_us(const TimelineChunk& previous, const TimelineChunk& c, const LineShape shape[2]) {
  return time_sub_us(timeline_chunk_start_us(c, shape), timeline_chunk_end_us(previous, shape));
}

int64_t timeline_silence_or_digits_us(const TimelineChunk& previous, const TimelineChunk& c, const LineShape shape[2]) {
  const int64_t quiet = timeline_silence_us(previous, c, shape);
  if (quiet != kTimeUnknown) return quiet;
  return c.gap_tenths_before >= 0 ? static_cast<int64_t>(c.gap_tenths_before) * 100000 : kTimeUnknown;
}

int timeline_event_breaks(const LineEvent& e, int channel) {
  return line_event_breaks(e.kind) && (channel == 0 || e.channel == 0 || e.channel == channel);
}

int timeline_line_broken_between(const LineEvent* events, int32_t event_count, int64_t base, int channel,
                                 int32_t after, int32_t upto) {
  if (!events || event_count <= 0 || upto <= after) return 0;
  const int64_t from = base + after + 1, to = base + upto;
  for (int32_t i = line_event_first_at(events, event_count, from); i < event_count && events[i].place <= to; i++)
    if (timeline_event_breaks(events[i], channel)) return 1;
  return 0;
}

int64_t timeline_modbus_silence_us(int32_t baud) {
  if (baud <= 0) return 1750;
  // 3.5 characters of 11 bits: 38,500,000 / baud µs, rounded to nearest.
  int64_t us = (INT64_C(38500000) + baud / 2) / baud;
  return us < 1750 ? 1750 : us;
}
