#include "record/record_reader.h"

#include <cstring>

namespace {

constexpr uint8_t kBlockMagic[4] = {'Q', 'B', 'L', 'K'};
constexpr int64_t kSecondUs = 1000000;
constexpr int64_t kDayUs = 86400 * kSecondUs;

// Days from 1970-01-01 to a civil date (proleptic Gregorian calendar).
int64_t days_from_civil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// Reads exactly what the file holds up to n bytes; -1 when a read failed.
int64_t read_at(RecordReader* r, uint64_t offset, uint8_t* out, uint32_t n) {
  uint32_t got = 0;
  while (got < n) {
    const int64_t k = r->src.read(r->src.ctx, offset + got, out + got, n - got);
    if (k < 0) return -1;
    if (k == 0) break;
    got += static_cast<uint32_t>(k);
  }
  return got;
}

// After a damaged block: the next offset past `from` where a block header
// that checks begins. Moves r->offset there (counting what lies between as
// skipped) and returns 1, or returns 0 when none is left before the end.
int resync(RecordReader* r, uint64_t from) {
  uint64_t at = from;
  for (;;) {
    const int64_t got = read_at(r, at, r->buffer, sizeof r->buffer);
    if (got < 0) {
      r->failed = 1;
      return 0;
    }
    const uint32_t n = static_cast<uint32_t>(got);
    uint32_t i = 0;
    for (; i + 4 <= n; i++) {
      if (std::memcmp(r->buffer + i, kBlockMagic, 4) != 0) continue;
      // A candidate near the end of what was read is read again from its start.
      if (i + kRecordBlockHeaderBytes > n && n == sizeof r->buffer) break;
      RecordBlock b;
      if (record_block_header(r->buffer + i, n - i, &b) == kRecordBlockOk) {
        r->skipped += at + i - from;
        r->offset = at + i;
        return 1;
      }
    }
    if (n < sizeof r->buffer) {
      r->skipped += at + n - from;
      return 0;
    }
    at += i;  // i > 0: the buffer is far larger than a header
  }
}

// Reads the block at r->offset into the buffer. 1 with r->block, 0 at the
// file's end.
int load_block(RecordReader* r) {
  while (!r->ended) {
    uint8_t* p = r->buffer;
    int64_t got = read_at(r, r->offset, p, kRecordBlockHeaderBytes);
    if (got < 0) {
      r->failed = 1;
      break;
    }
    if (got == 0) break;
    RecordBlock b;
    int status = record_block_header(p, static_cast<size_t>(got), &b);
    if (status == kRecordBlockOk) {
      const int64_t payload = read_at(r, r->offset + kRecordBlockHeaderBytes, p + kRecordBlockHeaderBytes,
                                      b.payload_bytes);
      if (payload < 0) {
        r->failed = 1;
        break;
      }
      status = record_block_read(p, kRecordBlockHeaderBytes + static_cast<size_t>(payload), &b);
    }
    if (status == kRecordBlockOk) {
      r->block = b;
      r->block_offset = r->offset;
      r->at = 0;
      r->offset += kRecordBlockHeaderBytes + b.payload_bytes;
      return 1;
    }
    if (status == kRecordBlockTorn) {
      // The file ends inside this block: the tail a crash or a full disk left.
      r->torn = 1;
      break;
    }
    if (!resync(r, r->offset + 1)) break;
  }
  r->ended = 1;
  return 0;
}

}  // namespace

int64_t record_header_wall_us(const RecordHeader& h) {
  const int64_t days = days_from_civil(h.year, h.month, h.day);
  return (days * 86400 + h.hour * 3600 + h.minute * 60 + h.second) * kSecondUs;
}

LineShape record_line_shape(const RecordChannel& c) {
  const int32_t data = c.data_bits >= 4 && c.data_bits <= 8 ? c.data_bits : 8;
  const int32_t parity = c.parity != 0 ? 1 : 0;
  const int32_t stop_tenths = c.stop_bits == 1 ? 15 : c.stop_bits == 2 ? 20 : 10;
  return {static_cast<int32_t>(c.baud > 0x7FFFFFFF ? 0x7FFFFFFF : c.baud), 10 * (1 + data + parity) + stop_tenths};
}

int record_reader_open(RecordReader* r, RecordSource src) {
  r->src = src;
  r->offset = kRecordHeaderBytes;
  r->block_offset = 0;
  r->at = 0;
  r->in_block = 0;
  r->ended = 0;
  r->failed = 0;
  r->torn = 0;
  r->skipped = 0;
  const int64_t got = read_at(r, 0, r->buffer, kRecordHeaderBytes);
  if (got < 0) return kRecordReadFailed;
  const int status = record_header_read(r->buffer, static_cast<size_t>(got), &r->header);
  if (status != kRecordHeaderOk) return status;
  r->wall_minus_clock = time_sub_us(record_header_wall_us(r->header), r->header.clock_us);
  return kRecordHeaderOk;
}

int record_reader_next(RecordReader* r, RecordEntry* out) {
  for (;;) {
    if (!r->in_block) {
      if (!load_block(r)) return 0;
      r->in_block = 1;
    }
    const int got = record_entry_next(r->block, &r->at, out);
    if (got == 1) {
      out->time_us = time_add_us(out->time_us, r->wall_minus_clock);
      return 1;
    }
    // An entry that does not read in a block whose checks held: the rest of
    // that block is lost, the next block is whole.
    if (got < 0) r->skipped += r->block.payload_bytes - r->at;
    r->in_block = 0;
  }
}

int record_reader_seek(RecordReader* r, uint64_t offset) {
  r->in_block = 0;
  r->ended = 0;
  r->failed = 0;
  r->torn = 0;
  r->offset = kRecordHeaderBytes;
  if (offset > static_cast<uint64_t>(kRecordHeaderBytes) && !resync(r, offset)) {
    r->ended = 1;
    r->skipped = 0;
    return 0;
  }
  // What lay between was not damaged, only passed.
  r->skipped = 0;
  return 1;
}

int record_time_parse(const char* text, RecordTime* out) {
  // Digits, at most two colons, at most one point followed by up to six
  // digits; nothing else.
  int64_t fields[3] = {0, 0, 0};
  int field = 0, digits = 0;
  const char* p = text;
  for (; *p && *p != '.'; p++) {
    if (*p == ':') {
      if (digits == 0 || field == 2) return 1;
      field++;
      digits = 0;
    } else if (*p >= '0' && *p <= '9') {
      if (++digits > 12) return 1;
      fields[field] = fields[field] * 10 + (*p - '0');
    } else {
      return 1;
    }
  }
  if (digits == 0) return 1;
  int64_t fraction = 0;
  if (*p == '.') {
    int places = 0;
    for (p++; *p; p++) {
      if (*p < '0' || *p > '9' || places == 6) return 1;
      fraction = fraction * 10 + (*p - '0');
      places++;
    }
    if (places == 0) return 1;
    for (; places < 6; places++) fraction *= 10;
  }
  RecordTime t = {1, field > 0, 0};
  if (field == 0) {
    t.us = fields[0] * kSecondUs + fraction;
  } else {
    // HH:MM or HH:MM:SS; a fraction only after the seconds.
    if (fields[0] > 23 || fields[1] > 59 || fields[2] > 59 || (field == 1 && fraction)) return 1;
    t.us = (fields[0] * 3600 + fields[1] * 60 + fields[2]) * kSecondUs + fraction;
  }
  *out = t;
  return 0;
}

int64_t record_time_resolve(const RecordTime& t, int64_t start) {
  if (!t.time_of_day) return time_add_us(start, t.us);
  if (start == kTimeUnknown) return kTimeUnknown;
  int64_t day = start / kDayUs * kDayUs;
  if (start % kDayUs < 0) day -= kDayUs;
  int64_t at = day + t.us;
  if (at < start) at += kDayUs;
  return at;
}

void record_stream_begin(RecordStream* s, int (*open_next)(void*, RecordReader*), void* ctx, RecordReader* reader,
                         const RecordTime& from, const RecordTime& to) {
  std::memset(s, 0, sizeof *s);
  s->open_next = open_next;
  s->ctx = ctx;
  s->reader = reader;
  s->from = from;
  s->to = to;
  s->first_us = kTimeUnknown;
}

namespace {

void close_file(RecordStream* s) {
  s->skipped += s->reader->skipped;
  s->torn_files += s->reader->torn;
  s->failed_files += s->reader->failed;
  s->open = 0;
}

}  // namespace

int record_stream_next(RecordStream* s, RecordEntry* out) {
  for (;;) {
    if (!s->open) {
      if (!s->open_next(s->ctx, s->reader)) return 0;
      s->open = 1;
      // A file that goes on from the one before in the same run (its header
      // agrees with the run's clock to within the header's second) keeps
      // the run's mapping from clock to time of day, so that times never
      // step back or forth at a file's edge. A new run starts a new one.
      RecordReader* r = s->reader;
      const int64_t predicted = time_add_us(r->header.clock_us, s->run_wall_minus_clock);
      const int64_t off = time_sub_us(record_header_wall_us(r->header), predicted);
      if (s->has_run && off != kTimeUnknown && off > -2 * kSecondUs && off < 2 * kSecondUs)
        r->wall_minus_clock = s->run_wall_minus_clock;
      s->run_wall_minus_clock = r->wall_minus_clock;
      s->has_run = 1;
    }
    RecordEntry e;
    if (!record_reader_next(s->reader, &e)) {
      close_file(s);
      continue;
    }
    if (!s->resolved && e.time_us != kTimeUnknown) {
      // The first time read tells where the seconds count from and which
      // day a time of day falls on.
      s->resolved = 1;
      s->first_us = e.time_us;
      s->from_us = s->from.given ? record_time_resolve(s->from, e.time_us) : INT64_MIN;
      // Seconds count from the recording's start; a time of day is the first
      // such moment at or after the slice's start.
      const int64_t to_after = s->to.time_of_day && s->from.given && s->from_us != kTimeUnknown ? s->from_us : e.time_us;
      s->to_us = s->to.given ? record_time_resolve(s->to, to_after) : INT64_MAX;
      if (s->from_us == kTimeUnknown) s->from_us = INT64_MIN;
      if (s->to_us == kTimeUnknown) s->to_us = INT64_MAX;
    }
    const int sliced = s->from.given || s->to.given;
    if (sliced && (e.time_us == kTimeUnknown || !s->resolved || e.time_us < s->from_us || e.time_us > s->to_us))
      continue;
    *out = e;
    return 1;
  }
}

int record_stream_at(RecordStream* s, uint64_t offset) {
  s->open = 1;
  s->has_pending = 0;
  s->run_wall_minus_clock = s->reader->wall_minus_clock;
  s->has_run = 1;
  if (record_reader_seek(s->reader, offset)) return 1;
  s->open = 0;  // the stream goes on with the next file
  return 0;
}

void record_window_begin(RecordWindow* w) {
  w->snap.count = 0;
  w->snap.event_count = 0;
  w->snap.base = 0;
  w->snap.wall_offset_us = 0;
  w->last_marker = -1;
  w->last_time = kTimeUnknown;
}

namespace {

void set_marker(CaptureRecord* r, uint8_t kind, char c1, char c2) {
  std::memset(r, 0, sizeof *r);
  r->kind = kind;
  r->data = static_cast<uint8_t>(c1);
  r->marker2 = static_cast<uint8_t>(c2);
}

// The quiet after the latest chunk, up to `now`, into its gap digits.
void fill_gap(RecordWindow* w, int64_t now) {
  if (w->last_marker < 0) return;
  const int64_t quiet = time_sub_us(now, w->last_time);
  const int64_t ms = quiet == kTimeUnknown ? 0 : quiet / 1000;
  const int gap = capture_gap_units(ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int32_t>(ms));
  CaptureRecord* r = w->snap.records + w->last_marker;
  r[0].data = static_cast<uint8_t>('0' + gap / 1000);
  r[0].marker2 = static_cast<uint8_t>('0' + gap / 100 % 10);
  r[1].data = static_cast<uint8_t>('0' + gap / 10 % 10);
  r[1].marker2 = static_cast<uint8_t>('0' + gap % 10);
}

}  // namespace

int record_window_add(RecordWindow* w, const RecordEntry& e) {
  CaptureSnapshot& s = w->snap;
  if (e.type == kRecordEntryEvent) {
    if (s.event_count == kCaptureEvents) return 1;
    LineEvent& ev = s.events[s.event_count++];
    ev.place = s.count;
    ev.time_us = e.time_us;
    ev.kind = e.event_kind;
    ev.channel = e.event_channel;
    ev.port = e.event_port;
    ev.detail = e.event_detail;
    return 0;
  }
  if (s.count + e.length + 3 > kCaptureWrapThreshold) return 1;
  // Near its end a window ends at the first quiet moment, so that a request
  // and its answer, or a frame, are seldom cut apart by a window's edge.
  const int64_t quiet = time_sub_us(e.time_us, w->last_time);
  if (s.count > kRecordWindowQuietFrom && quiet != kTimeUnknown && quiet >= kRecordWindowQuietUs) return 1;
  fill_gap(w, e.time_us);
  CaptureRecord* r = s.records + s.count;
  int64_t* t = s.times + s.count;
  for (int i = 0; i < e.length; i++) {
    std::memset(&r[i], 0, sizeof r[i]);
    r[i].kind = e.type;
    r[i].data = e.data[i];
    r[i].position = static_cast<uint8_t>(i & 0xFF);
    t[i] = e.time_us;
  }
  const int32_t p = s.count + e.length;
  set_marker(&s.records[p], kKindGapText, 't', '=');
  set_marker(&s.records[p + 1], kKindGapHigh, '0', '0');
  set_marker(&s.records[p + 2], kKindGapLow, '0', '0');
  for (int i = 0; i < 3; i++) s.times[p + i] = kTimeUnknown;
  w->last_marker = p + 1;
  w->last_time = e.time_us;
  s.count = p + 3;
  return 0;
}

int32_t record_window_fill(RecordStream* s, RecordWindow* w) {
  record_window_begin(w);
  int32_t taken = 0;
  for (;;) {
    RecordEntry e;
    if (s->has_pending) {
      e = s->pending;
      s->has_pending = 0;
    } else if (!record_stream_next(s, &e)) {
      return taken;
    }
    if (record_window_add(w, e)) {
      // Kept for the next window: its data stay in the reader until the
      // stream is read again.
      s->pending = e;
      s->has_pending = 1;
      return taken;
    }
    taken++;
  }
}
