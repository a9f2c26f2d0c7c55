#include "view/timeline.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

void put_le64(int64_t value, uint8_t* out) {
  uint64_t v = static_cast<uint64_t>(value);
  for (int i = 0; i < 8; i++) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

int64_t get_le64(const uint8_t* in) {
  uint64_t v = 0;
  for (int i = 0; i < 8; i++) v |= static_cast<uint64_t>(in[i]) << (8 * i);
  return static_cast<int64_t>(v);
}

int is_data_kind(uint8_t kind) { return kind >= kKindRecvCh1 && kind <= kKindSentCh2; }

int digit_of(uint8_t c) { return c >= '0' && c <= '9' ? c - '0' : -1; }

// to - from as a sign and a magnitude: two times from a file may lie
// further apart than an int64 holds.
struct Span {
  int negative;
  uint64_t magnitude;
};

Span span_between(int64_t from, int64_t to) {
  if (to >= from) return {0, static_cast<uint64_t>(to) - static_cast<uint64_t>(from)};
  return {1, static_cast<uint64_t>(from) - static_cast<uint64_t>(to)};
}

// Output through the sink from one fixed buffer. After a refused write
// nothing more is written; the writers stop at the next chunk.
struct Out {
  const TimelineSink* sink;
  char buffer[4096];
  int n;
  int failed;
};

void out_flush(Out* o) {
  if (o->n > 0 && !o->failed && o->sink->write(o->sink->ctx, o->buffer, o->n) != 0) o->failed = 1;
  o->n = 0;
}

void out_char(Out* o, char c) {
  if (o->n == static_cast<int>(sizeof o->buffer)) out_flush(o);
  o->buffer[o->n++] = c;
}

void out_text(Out* o, const char* s) {
  while (*s) out_char(o, *s++);
}

void out_unsigned(Out* o, uint64_t v) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  while (n) out_char(o, digits[--n]);
}

// v / 10^decimals with exactly `decimals` digits after the point.
void out_fixed(Out* o, int negative, uint64_t v, int decimals) {
  uint64_t scale = 1;
  for (int i = 0; i < decimals; i++) scale *= 10;
  if (negative) out_char(o, '-');
  out_unsigned(o, v / scale);
  out_char(o, '.');
  uint64_t fraction = v % scale;
  for (uint64_t s = scale / 10; s > 0; s /= 10) out_char(o, static_cast<char>('0' + fraction / s % 10));
}

// The text of a fixed field right-aligned in `width` characters.
void out_right(Out* o, const char* text, int width) {
  for (int pad = width - static_cast<int>(std::strlen(text)); pad > 0; pad--) out_char(o, ' ');
  out_text(o, text);
}

void out_hex(Out* o, const CaptureRecord* records, const TimelineChunk& c) {
  static const char kHex[] = "0123456789ABCDEF";
  for (int32_t i = 0; i < c.count; i++) {
    uint8_t b = capture_byte(records[c.first + i]);
    if (i) out_char(o, ' ');
    out_char(o, kHex[b >> 4]);
    out_char(o, kHex[b & 15]);
  }
}

// Printable ASCII as it is, everything else as "."; `quote` doubles '"'.
void out_printable(Out* o, const CaptureRecord* records, const TimelineChunk& c, int quote) {
  for (int32_t i = 0; i < c.count; i++) {
    uint8_t b = capture_byte(records[c.first + i]);
    char ch = b >= 0x20 && b <= 0x7E ? static_cast<char>(b) : '.';
    out_char(o, ch);
    if (quote && ch == '"') out_char(o, '"');
  }
}

const char* channel_name(uint8_t kind) { return kind <= kKindSentCh1 ? "CH1" : "CH2"; }
const char* direction_name(uint8_t kind) { return kind % 2 ? "RX" : "TX"; }

// a + b, or kTimeUnknown when a is unknown or the sum leaves 64 bits.
}  // namespace


namespace {

const LineShape& shape_of(const LineShape shape[2], uint8_t kind) { return shape[kind <= kKindSentCh1 ? 0 : 1]; }


}  // namespace

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

namespace {

// The silence before chunk c after `previous`: from the two times when both
// are known, else from the gap digits. Returns 0 when neither tells.
struct Silence {
  int known;
  int from_digits;
  Span span;  // µs
};

Silence silence_before(const TimelineChunk* previous, const TimelineChunk& c) {
  if (!previous) return {0, 0, {0, 0}};
  if (previous->time_us != kTimeUnknown && c.time_us != kTimeUnknown)
    return {1, 0, span_between(previous->time_us, c.time_us)};
  if (c.gap_tenths_before >= 0) return {1, 1, {0, static_cast<uint64_t>(c.gap_tenths_before) * 100000}};
  return {0, 0, {0, 0}};
}

}  // namespace

int64_t timeline_first_time_us(const CaptureRecord* records, const int64_t* times, int32_t count) {
  int32_t at = 0, gap = -1;
  TimelineChunk c;
  while (timeline_next_chunk(records, times, count, &at, &gap, &c))
    if (c.time_us != kTimeUnknown) return c.time_us;
  return kTimeUnknown;
}

int timeline_companion_name(const char16_t* log, int count, char16_t* out, int out_units) {
  const int suffix = static_cast<int>(sizeof kTimelineCompanionSuffix / sizeof kTimelineCompanionSuffix[0]) - 1;
  if (count < 0 || out_units <= 0 || count > out_units - 1 - suffix) {
    if (out_units > 0) out[0] = 0;
    return -1;
  }
  for (int i = 0; i < count; i++) out[i] = log[i];
  for (int i = 0; i < suffix; i++) out[count + i] = kTimelineCompanionSuffix[i];
  out[count + suffix] = 0;
  return count + suffix;
}

uint64_t timeline_log_check(const CaptureRecord* records, int32_t count) {
  // FNV-1a over the records' bytes as the log holds them.
  uint64_t h = UINT64_C(14695981039346656037);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(records);
  const size_t n = count > 0 ? static_cast<size_t>(count) * kCaptureRecordSize : 0;
  for (size_t i = 0; i < n; i++) {
    h ^= p[i];
    h *= UINT64_C(1099511628211);
  }
  return h ? h : 1;
}

void timeline_companion_header(int64_t count, int64_t wall_offset_us, uint64_t log_check,
                               uint8_t out[kTimelineHeaderBytes]) {
  std::memcpy(out, kTimelineCompanionMagic, 8);
  put_le64(count, out + 8);
  put_le64(wall_offset_us, out + 16);
  put_le64(static_cast<int64_t>(log_check), out + 24);
}

void timeline_companion_encode(const int64_t* times, int32_t count, uint8_t* out) {
  for (int32_t i = 0; i < count; i++) put_le64(times[i], out + 8 * static_cast<size_t>(i));
}

TimelineCompanionStatus timeline_companion_parse(const uint8_t* data, size_t len, int32_t log_records,
                                                 uint64_t log_check, int64_t* times_out, int64_t* wall_offset_out) {
  for (int32_t i = 0; i < log_records; i++) times_out[i] = kTimeUnknown;
  *wall_offset_out = 0;
  if (!data || len < static_cast<size_t>(kTimelineHeaderBytes)) return kCompanionShort;
  if (std::memcmp(data, kTimelineCompanionMagic, 8) != 0) return kCompanionDamaged;
  int64_t declared = get_le64(data + 8);
  if (log_records < 0 || declared != log_records) return kCompanionCountDiffers;
  // log_records is at most 2^31 - 1, so the body size fits in 64 bits.
  uint64_t body = static_cast<uint64_t>(len) - kTimelineHeaderBytes;
  uint64_t wanted = static_cast<uint64_t>(log_records) * 8;
  if (body < wanted) return kCompanionShort;
  if (body > wanted) return kCompanionDamaged;
  // A file written before the check holds 0 there and is taken on its count.
  const uint64_t check = static_cast<uint64_t>(get_le64(data + 24));
  if (check != 0 && check != log_check) return kCompanionOtherLog;
  for (int32_t i = 0; i < log_records; i++)
    times_out[i] = get_le64(data + kTimelineHeaderBytes + 8 * static_cast<size_t>(i));
  *wall_offset_out = get_le64(data + 16);
  return kCompanionOk;
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
  int32_t gap = -1;
  if (i <= count - 3 && records[i].kind == kKindGapText && records[i + 1].kind == kKindGapHigh &&
      records[i + 2].kind == kKindGapLow) {
    int d[4] = {digit_of(capture_byte(records[i + 1])), digit_of(capture_marker2(records[i + 1])),
                digit_of(capture_byte(records[i + 2])), digit_of(capture_marker2(records[i + 2]))};
    if (d[0] >= 0 && d[1] >= 0 && d[2] >= 0 && d[3] >= 0) gap = d[0] * 1000 + d[1] * 100 + d[2] * 10 + d[3];
    i += 3;
  }
  *gap_tenths = gap;
  *at = i;
  return 1;
}

int timeline_write_csv(const CaptureRecord* records, const int64_t* times, int32_t count, const TimelineSink* sink) {
  Out o;
  o.sink = sink;
  o.n = 0;
  o.failed = 0;
  out_text(&o, "time_s,delta_s,channel,direction,bytes,hex,text\r\n");
  int64_t origin = timeline_first_time_us(records, times, count);
  int32_t at = 0, gap = -1;
  TimelineChunk c{}, previous{};
  int have_previous = 0;
  while (!o.failed && timeline_next_chunk(records, times, count, &at, &gap, &c)) {
    if (c.time_us != kTimeUnknown) {
      Span s = span_between(origin, c.time_us);
      out_fixed(&o, s.negative, s.magnitude, 6);
    }
    out_char(&o, ',');
    Silence d = silence_before(have_previous ? &previous : nullptr, c);
    if (d.known && d.from_digits) out_fixed(&o, 0, static_cast<uint64_t>(c.gap_tenths_before), 1);
    if (d.known && !d.from_digits) out_fixed(&o, d.span.negative, d.span.magnitude, 6);
    out_char(&o, ',');
    out_text(&o, channel_name(c.kind));
    out_char(&o, ',');
    out_text(&o, direction_name(c.kind));
    out_char(&o, ',');
    out_unsigned(&o, static_cast<uint64_t>(c.count));
    out_char(&o, ',');
    out_hex(&o, records, c);
    out_text(&o, ",\"");
    out_printable(&o, records, c, 1);
    out_text(&o, "\"\r\n");
    previous = c;
    have_previous = 1;
  }
  out_flush(&o);
  return o.failed;
}

int timeline_format_wall(int64_t wall_us, int32_t zone_minutes, char out[32]) {
  // Years 1 to 9999 lie between these (µs since 1970); a day more on each
  // side leaves room for any zone.
  const int64_t kFirst = INT64_C(-62135596800000000) - INT64_C(86400000000);
  const int64_t kLast = INT64_C(253402300799999999) + INT64_C(86400000000);
  std::strcpy(out, "-");
  if (wall_us < kFirst || wall_us > kLast || zone_minutes < -1440 || zone_minutes > 1440) return 1;
  int64_t t = wall_us + static_cast<int64_t>(zone_minutes) * 60000000;
  const int64_t kDay = INT64_C(86400000000);
  int64_t days = t / kDay;
  int64_t in_day = t % kDay;
  if (in_day < 0) {
    in_day += kDay;
    days -= 1;
  }
  // Days since 1970-01-01 to a civil date (proleptic Gregorian calendar),
  // counted in 400-year eras that start on 1 March.
  int64_t z = days + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t day = doy - (153 * mp + 2) / 5 + 1;
  int64_t month = mp < 10 ? mp + 3 : mp - 9;
  int64_t year = yoe + era * 400 + (month <= 2);
  if (year < 1 || year > 9999) return 1;
  int64_t seconds = in_day / 1000000;
  // Fixed-width digit fields: "YYYY-MM-DD HH:MM:SS.uuuuuu", 26 characters.
  const int64_t fields[7] = {year, month, day, seconds / 3600, seconds / 60 % 60, seconds % 60, in_day % 1000000};
  const int widths[7] = {4, 2, 2, 2, 2, 2, 6};
  const char after[7] = {'-', '-', ' ', ':', ':', '.', 0};
  char* p = out;
  for (int f = 0; f < 7; f++) {
    int64_t v = fields[f];
    for (int k = widths[f] - 1; k >= 0; k--, v /= 10) p[k] = static_cast<char>('0' + v % 10);
    p += widths[f];
    *p++ = after[f];
  }
  return 0;
}

namespace {

int32_t zone_at(const TimelineTextClock* clock, int64_t wall_us) {
  return clock->zone_minutes_at && wall_us != kTimeUnknown ? clock->zone_minutes_at(wall_us) : 0;
}

}  // namespace

int timeline_write_text(const CaptureRecord* records, const int64_t* times, int32_t count,
                        const TimelineTextClock* clock, const TimelineSink* sink) {
  Out o;
  o.sink = sink;
  o.n = 0;
  o.failed = 0;
  char wall[32];
  int64_t origin = time_add_us(timeline_first_time_us(records, times, count), clock->wall_offset_us);
  timeline_format_wall(origin, zone_at(clock, origin), wall);
  out_text(&o, wall);
  out_text(&o, "\r\n");
  int32_t at = 0, gap = -1;
  TimelineChunk c{}, previous{};
  int have_previous = 0;
  while (!o.failed && timeline_next_chunk(records, times, count, &at, &gap, &c)) {
    Silence d = silence_before(have_previous ? &previous : nullptr, c);
    // The blank line goes by the line's silence: the previous chunk's own
    // time on the line is no silence.
    int64_t quiet = kTimeUnknown;
    if (d.known && d.from_digits) quiet = static_cast<int64_t>(c.gap_tenths_before) * 100000;
    else if (d.known) quiet = timeline_silence_us(previous, c, clock->shape);
    const int64_t threshold = timeline_modbus_silence_us(shape_of(clock->shape, c.kind).baud);
    if (quiet != kTimeUnknown && quiet > threshold) out_text(&o, "\r\n");
    // Time of day: the clock part of the wall time, or dashes.
    int64_t t = c.time_us == kTimeUnknown ? kTimeUnknown : time_add_us(c.time_us, clock->wall_offset_us);
    if (t != kTimeUnknown && timeline_format_wall(t, zone_at(clock, t), wall) == 0)
      out_text(&o, wall + 11);
    else
      out_text(&o, "--:--:--.------");
    // Delta in ms: three decimals from the times, whole from the gap digits
    // (they count tenths of a second), blank when nothing tells.
    char delta[32] = "";
    if (d.known && d.from_digits) {
      std::snprintf(delta, sizeof delta, "+%d", c.gap_tenths_before * 100);
    } else if (d.known) {
      std::snprintf(delta, sizeof delta, "%c%llu.%03u", d.span.negative ? '-' : '+',
                    static_cast<unsigned long long>(d.span.magnitude / 1000),
                    static_cast<unsigned>(d.span.magnitude % 1000));
    }
    out_right(&o, delta, 14);
    out_text(&o, "  ");
    out_text(&o, channel_name(c.kind));
    out_char(&o, ' ');
    out_text(&o, direction_name(c.kind));
    char bytes[16];
    std::snprintf(bytes, sizeof bytes, "%d", c.count);
    out_right(&o, bytes, 7);
    out_text(&o, "  ");
    out_hex(&o, records, c);
    out_text(&o, "  ");
    out_printable(&o, records, c, 0);
    out_text(&o, "\r\n");
    previous = c;
    have_previous = 1;
  }
  out_flush(&o);
  return o.failed;
}

int timeline_export_is_csv(const char16_t* name) {
  size_t len = 0;
  while (name[len]) len++;
  if (len < 4 || name[len - 4] != u'.') return 0;
  static const char16_t kCsv[] = u"csv";
  for (int i = 0; i < 3; i++) {
    char16_t c = name[len - 3 + i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != kCsv[i]) return 0;
  }
  return 1;
}

int timeline_write_export(int csv, const CaptureRecord* records, const int64_t* times, int32_t count,
                          const TimelineTextClock* clock, const TimelineSink* sink) {
  if (csv) return timeline_write_csv(records, times, count, sink);
  static const char kBom[3] = {'\xEF', '\xBB', '\xBF'};
  if (sink->write(sink->ctx, kBom, 3) != 0) return 1;
  return timeline_write_text(records, times, count, clock, sink);
}

int64_t timeline_modbus_silence_us(int32_t baud) {
  if (baud <= 0) return 1750;
  // 3.5 characters of 11 bits: 38,500,000 / baud µs, rounded to nearest.
  int64_t us = (INT64_C(38500000) + baud / 2) / baud;
  return us < 1750 ? 1750 : us;
}

namespace {

int silence_class(int64_t quiet_us) {
  if (quiet_us < 1000) return kSilenceUnder1ms;
  if (quiet_us < 10000) return kSilence1to10ms;
  if (quiet_us < 100000) return kSilence10to100ms;
  if (quiet_us < 1000000) return kSilence100msTo1s;
  return kSilenceOver1s;
}

// The nearest-rank percentile of n sorted values: the value at rank
// ceil(n * percent / 100).
int64_t nearest_rank(const int64_t* sorted, int32_t n, int percent) {
  int64_t rank = (static_cast<int64_t>(n) * percent + 99) / 100;
  if (rank < 1) rank = 1;
  return sorted[rank - 1];
}

}  // namespace

void timeline_stats(const CaptureRecord* records, const int64_t* times, int32_t count, int line_monitor,
                    const LineShape shape[2], TimelineStats* out) {
  for (TimelineStream& s : out->streams) s = {0, 0, kTimeUnknown, kTimeUnknown, -1};
  for (int64_t& s : out->silences) s = 0;
  out->latency_count = 0;
  out->latency_min = out->latency_median = out->latency_p95 = out->latency_max = kTimeUnknown;
  out->latency_kept = 0;
  int64_t known_bytes[4] = {0, 0, 0, 0};     // bytes of the chunks with known times
  int64_t earliest_bytes[4] = {0, 0, 0, 0};  // and of the earliest of them
  // The request waiting for its answer, per channel (line monitor: CH1 only).
  int waiting[2] = {0, 0};
  int64_t request_time[2] = {kTimeUnknown, kTimeUnknown};

  int32_t at = 0, gap = -1;
  TimelineChunk previous{};
  int have_previous = 0;
  TimelineChunk c;
  while (timeline_next_chunk(records, times, count, &at, &gap, &c)) {
    TimelineStream& s = out->streams[c.kind - 1];
    s.chunks++;
    s.bytes += c.count;
    int64_t t = c.time_us;
    if (t != kTimeUnknown) {
      known_bytes[c.kind - 1] += c.count;
      if (s.first_us == kTimeUnknown || t < s.first_us) {
        s.first_us = t;
        earliest_bytes[c.kind - 1] = c.count;
      }
      if (s.last_us == kTimeUnknown || t > s.last_us) s.last_us = t;
      if (have_previous && previous.time_us != kTimeUnknown) {
        // Too far apart to subtract: the longest class.
        const int64_t quiet = timeline_silence_us(previous, c, shape);
        out->silences[silence_class(quiet == kTimeUnknown ? INT64_MAX : quiet)]++;
      }
    }
    previous = c;
    have_previous = 1;

    int channel = c.kind <= kKindSentCh1 ? 0 : 1;
    int request = line_monitor ? channel == 0 : c.kind == kKindSentCh1 || c.kind == kKindSentCh2;
    int lane = line_monitor ? 0 : channel;
    if (request) {
      waiting[lane] = 1;
      request_time[lane] = t;
    } else if (waiting[lane]) {  // an answer: received data, or CH2 data on a line monitor
      waiting[lane] = 0;
      if (t != kTimeUnknown && request_time[lane] != kTimeUnknown) {
        Span d = span_between(request_time[lane], t);
        // A latency beyond the int64 range only comes from a damaged file.
        if (d.magnitude <= static_cast<uint64_t>(INT64_MAX)) {
          int64_t latency = d.negative ? -static_cast<int64_t>(d.magnitude) : static_cast<int64_t>(d.magnitude);
          if (out->latency_count == 0 || latency < out->latency_min) out->latency_min = latency;
          if (out->latency_count == 0 || latency > out->latency_max) out->latency_max = latency;
          out->latency_count++;
          if (out->latency_kept < kTimelineLatencyKept) out->latencies[out->latency_kept++] = latency;
        }
      }
    }
  }

  for (int k = 0; k < 4; k++) {
    TimelineStream& s = out->streams[k];
    if (s.first_us == kTimeUnknown || s.last_us <= s.first_us) continue;
    double span_s = static_cast<double>(static_cast<uint64_t>(s.last_us) - static_cast<uint64_t>(s.first_us)) / 1e6;
    s.rate = static_cast<double>(known_bytes[k] - earliest_bytes[k]) / span_s;
  }
  if (out->latency_kept > 0) {
    std::sort(out->latencies, out->latencies + out->latency_kept);
    out->latency_median = nearest_rank(out->latencies, out->latency_kept, 50);
    out->latency_p95 = nearest_rank(out->latencies, out->latency_kept, 95);
  }
}
