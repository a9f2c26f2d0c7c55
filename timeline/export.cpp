#include "timeline/export.h"

#include <cstdio>
#include <cstring>

namespace {

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
  const ByteSink* sink;
  char buffer[4096];
  int n;
  int failed;
};

void out_flush(Out* o) {
  if (o->n > 0 && !o->failed && o->sink->write(o->sink->ctx, reinterpret_cast<const uint8_t*>(o->buffer), o->n) != 0) o->failed = 1;
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

const LineShape& shape_of(const LineShape shape[2], uint8_t kind) { return shape[kind <= kKindSentCh1 ? 0 : 1]; }

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

void timeline_event_details(const LineEvent& e, char out[48]) {
  // "COM5 " before the details; nothing for a port without a COM number
  // (a network link).
  char port[16] = "";
  if (line_event_peer(e, out)) return;  // a client's address and port
  if (e.port) std::snprintf(port, sizeof port, "COM%u ", static_cast<unsigned>(e.port));
  switch (e.kind) {
    case kEventLost:
      if (e.detail) std::snprintf(out, 48, "%serror %u", port, static_cast<unsigned>(e.detail));
      else std::snprintf(out, 48, "%snot listed", port);
      break;
    case kEventBack:
      std::snprintf(out, 48, "%safter %u.%03u s", port, static_cast<unsigned>(e.detail / 1000),
                    static_cast<unsigned>(e.detail % 1000));
      break;
    case kEventSettings: std::snprintf(out, 48, "%s%u baud", port, static_cast<unsigned>(e.detail)); break;
    case kEventRecordStopped: std::snprintf(out, 48, "error %u", static_cast<unsigned>(e.detail)); break;
    case kEventRecordLoss: std::snprintf(out, 48, "%u bytes", static_cast<unsigned>(e.detail)); break;
    default:
      std::snprintf(out, 48, "%s", port);
      if (e.port) out[std::strlen(out) - 1] = 0;  // no blank after the port alone
      break;
  }
}

namespace {

// The events that come before the record at `at` (relative), from *next
// on: each written by `row`, *next moved past them.
template <typename Row>
void events_before(const TimelineEvents* events, int64_t at, int32_t* next, Row row) {
  if (!events) return;
  while (*next < events->count && events->list[*next].place <= events->base + at) row(events->list[(*next)++]);
}

// "lost COM5 error 21": an event's name and details.
void event_text(const LineEvent& e, char out[64]) {
  char details[48];
  timeline_event_details(e, details);
  std::snprintf(out, 64, "%s%s%s", line_event_name(e.kind), details[0] ? " " : "", details);
}

const char* event_channel(const LineEvent& e) { return e.channel == 1 ? "CH1" : e.channel == 2 ? "CH2" : ""; }

}  // namespace

namespace {

// Where a piece starts: the header's place taken or the carry's, the origin
// and the chunk before.
int64_t piece_start(const TimelineCarry* carry, int64_t first_time, TimelineChunk* previous, int* have_previous) {
  *previous = {};
  *have_previous = 0;
  if (!carry || !carry->started) return first_time;
  *previous = carry->previous;
  *have_previous = carry->have_previous;
  return carry->origin != kTimeUnknown ? carry->origin : first_time;
}

void piece_end(TimelineCarry* carry, int64_t origin, const TimelineChunk& previous, int have_previous) {
  if (!carry) return;
  carry->started = 1;
  carry->origin = origin;
  carry->previous = previous;
  carry->have_previous = have_previous;
}

}  // namespace

int timeline_write_csv(const CaptureRecord* records, const int64_t* times, int32_t count, const ByteSink* sink,
                       const TimelineEvents* events, TimelineCarry* carry) {
  Out o;
  o.sink = sink;
  o.n = 0;
  o.failed = 0;
  if (!carry || !carry->started) out_text(&o, "time_s,delta_s,channel,direction,bytes,hex,text\r\n");
  int32_t at = 0, gap = -1, next_event = 0;
  TimelineChunk c{}, previous{};
  int have_previous = 0;
  const int64_t origin = piece_start(carry, timeline_first_time_us(records, times, count), &previous, &have_previous);
  auto event_row = [&](const LineEvent& e) {
    if (e.time_us != kTimeUnknown && origin != kTimeUnknown) {
      Span s = span_between(origin, e.time_us);
      out_fixed(&o, s.negative, s.magnitude, 6);
    }
    out_text(&o, ",,");
    out_text(&o, event_channel(e));
    out_text(&o, ",EV,,,\"");
    char text[64];
    event_text(e, text);
    out_text(&o, text);
    out_text(&o, "\"\r\n");
  };
  while (!o.failed && timeline_next_chunk(records, times, count, &at, &gap, &c)) {
    events_before(events, c.first, &next_event, event_row);
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
  events_before(events, INT64_MAX - (events ? events->base : 0), &next_event, event_row);
  out_flush(&o);
  piece_end(carry, origin, previous, have_previous);
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
                        const TimelineTextClock* clock, const ByteSink* sink, const TimelineEvents* events,
                        TimelineCarry* carry) {
  Out o;
  o.sink = sink;
  o.n = 0;
  o.failed = 0;
  char wall[32];
  int32_t at = 0, gap = -1, next_event = 0;
  TimelineChunk c{}, previous{};
  int have_previous = 0;
  const int64_t first = piece_start(carry, timeline_first_time_us(records, times, count), &previous, &have_previous);
  if (!carry || !carry->started) {
    const int64_t origin = time_add_us(first, clock->wall_offset_us);
    timeline_format_wall(origin, zone_at(clock, origin), wall);
    out_text(&o, wall);
    out_text(&o, "\r\n");
  }
  // An event is a line of its own: its time of day, "EV" and what happened.
  auto event_line = [&](const LineEvent& e) {
    const int64_t t = e.time_us == kTimeUnknown ? kTimeUnknown : time_add_us(e.time_us, clock->wall_offset_us);
    if (t != kTimeUnknown && timeline_format_wall(t, zone_at(clock, t), wall) == 0) out_text(&o, wall + 11);
    else out_text(&o, "--:--:--.------");
    out_right(&o, "", 14);
    out_text(&o, "  ");
    out_text(&o, e.channel ? event_channel(e) : "   ");
    out_text(&o, " EV  ");
    char text[64];
    event_text(e, text);
    out_text(&o, text);
    out_text(&o, "\r\n");
  };
  while (!o.failed && timeline_next_chunk(records, times, count, &at, &gap, &c)) {
    events_before(events, c.first, &next_event, event_line);
    Silence d = silence_before(have_previous ? &previous : nullptr, c);
    // The blank line goes by the line's silence: the previous chunk's own
    // time on the line is no silence.
    const int64_t quiet = have_previous ? timeline_silence_or_digits_us(previous, c, clock->shape) : kTimeUnknown;
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
  events_before(events, INT64_MAX - (events ? events->base : 0), &next_event, event_line);
  out_flush(&o);
  piece_end(carry, first, previous, have_previous);
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
                          const TimelineTextClock* clock, const ByteSink* sink, const TimelineEvents* events,
                          TimelineCarry* carry) {
  if (csv) return timeline_write_csv(records, times, count, sink, events, carry);
  static const uint8_t kBom[3] = {0xEF, 0xBB, 0xBF};
  if ((!carry || !carry->started) && sink->write(sink->ctx, kBom, 3) != 0) return 1;
  return timeline_write_text(records, times, count, clock, sink, events, carry);
}
