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

// The work a reader may spend checking places found by a scan, beyond the
// bytes it passes: a small multiple of those, so that a file of crafted
// heads costs about what a real file of its size does.
constexpr int64_t kScanBudgetStart = 1 << 20;
constexpr int64_t kScanBudgetPerByte = 4;
// How far a block's time may lie before the entry read before it.
constexpr int64_t kOrderSlackUs = 2 * kSecondUs;
// How far a block's time may lie before its file's header: a queue full of
// entries waiting out a slow disk when the file began.
constexpr int64_t kHeaderSlackUs = 600 * kSecondUs;

// The head at `at` into *b: a RecordBlockStatus, or -1 when a read failed;
// *got the bytes there were (0: the file ends at `at`). `raw` gets them.
int head_at(RecordReader* r, uint64_t at, RecordBlock* b, int64_t* got, uint8_t raw[kRecordBlockHeaderBytes]) {
  *got = read_at(r, at, raw, kRecordBlockHeaderBytes);
  if (*got < 0) return -1;
  if (*got == 0) return kRecordBlockTorn;
  return record_block_header(raw, static_cast<size_t>(*got), b);
}

uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}

// The payload length a head states when it begins with the block magic and
// the length is one a block can have, else 0; its own check is not asked.
uint32_t stated_payload(const uint8_t head[kRecordBlockHeaderBytes]) {
  if (std::memcmp(head, kBlockMagic, 4) != 0) return 0;
  const uint32_t n = get32(head + 4);
  return n <= kRecordBlockPayloadMax ? n : 0;
}

// 1 when the `n` payload bytes after the head at `at` are there whole and
// their CRC is the one the head states, read a piece at a time (the
// reader's buffer holds the scan).
int payload_checks(RecordReader* r, uint64_t at, const uint8_t head[kRecordBlockHeaderBytes], uint32_t n) {
  uint8_t piece[4096];
  uint32_t crc = 0;
  for (uint32_t done = 0; done < n;) {
    const uint32_t k = n - done < sizeof piece ? n - done : sizeof piece;
    if (read_at(r, at + kRecordBlockHeaderBytes + done, piece, k) != k) return 0;
    crc = record_crc32(crc, piece, k);
    done += k;
  }
  return crc == get32(head + 12);
}

// 1 when `spend` more bytes of checking are allowed, and spends them.
int budget_take(RecordReader* r, int64_t spend) {
  if (r->budget < spend) return 0;
  r->budget -= spend;
  return 1;
}

// 1 when `at` lies in the data of the latest whole block a scan found
// holding a place: refused without reading anything again.
int in_known_holder(const RecordReader* r, uint64_t at) { return at > r->holder_at && at < r->holder_end; }

// 1 when a whole block begins in the 64 KB before `at` and runs past it:
// `at` then lies in that block's payload, recorded data. Whole means its
// payload is there and checks by the length its head states, whether or
// not the head's own check holds (one flipped bit in its time leaves its
// data data). What a pass learns is kept, so places met in order cost one
// pass over the bytes between them: the block found (the places in its
// data), or that no whole block begun before `at` runs past it.
int inside_a_block(RecordReader* r, uint64_t at) {
  if (in_known_holder(r, at)) return 1;
  const uint64_t reach = kRecordBlockHeaderBytes + kRecordBlockPayloadMax;
  uint64_t from = at > kRecordHeaderBytes + reach ? at - reach : kRecordHeaderBytes;
  // No whole block begun before clear_from runs past clear_past: a place
  // at or after clear_past need only look from clear_from on.
  if (at >= r->clear_past && r->clear_from > from) from = r->clear_from;
  if (!budget_take(r, static_cast<int64_t>(at - from))) return 1;  // out of budget: not trusted
  uint8_t piece[4096];
  for (uint64_t p = from; p < at;) {
    const uint32_t n = at - p + 3 < sizeof piece ? static_cast<uint32_t>(at - p + 3) : sizeof piece;
    const int64_t got = read_at(r, p, piece, n);
    if (got < 0) return 0;  // nothing learnt
    if (got < 4) break;
    for (uint32_t i = 0; i + 4 <= got && p + i < at; i++) {
      if (std::memcmp(piece + i, kBlockMagic, 4) != 0) continue;
      uint8_t head[kRecordBlockHeaderBytes];
      if (read_at(r, p + i, head, sizeof head) != kRecordBlockHeaderBytes) continue;
      const uint32_t size = stated_payload(head);
      const uint64_t end = p + i + kRecordBlockHeaderBytes + size;
      if (size == 0 || end <= at) continue;
      if (!budget_take(r, size)) return 1;
      if (!payload_checks(r, p + i, head, size)) continue;
      // Every whole block begun before this one ended by `at`, so none runs
      // past this one's end either.
      r->holder_at = p + i;
      r->holder_end = end;
      r->clear_from = p + i + 1;
      r->clear_past = end;
      return 1;
    }
    p += got - 3;
  }
  r->clear_from = at;
  r->clear_past = at;
  return 0;
}

// 1 when a block head's worth of bytes are all zeros.
int all_zeros(const uint8_t* p, int64_t n) {
  if (n != kRecordBlockHeaderBytes) return 0;
  for (int64_t i = 0; i < n; i++)
    if (p[i]) return 0;
  return 1;
}

// A place a scan found, where a head's own check holds: trusted only when
// what follows agrees (the next head begins exactly where this block ends,
// or the file ends there, or a torn last block does), its payload's check
// holds, and it is not the data of a whole block before it.
int scanned_place_holds(RecordReader* r, uint64_t at, const RecordBlock& b) {
  if (in_known_holder(r, at)) return 0;
  const uint64_t end = at + kRecordBlockHeaderBytes + b.payload_bytes;
  RecordBlock next;
  int64_t got;
  uint8_t raw[kRecordBlockHeaderBytes];
  const int status = head_at(r, end, &next, &got, raw);
  if (status < 0) return 0;
  // A next head that fails its check but begins as a head does is a real
  // head a flipped bit damaged. Zeros there are what a crash leaves when
  // the file grew but its last writes never reached the disk: an end, as a
  // torn tail is.
  if (status == kRecordBlockDamaged && std::memcmp(raw, kBlockMagic, 4) != 0 && !all_zeros(raw, got)) return 0;
  // A file's times come from one clock, in order but for a little, and
  // none lies long before its header's (what the hand-over held when the
  // file began).
  const int64_t back = time_sub_us(b.first_time, r->last_time);
  if (r->last_time != kTimeUnknown && back != kTimeUnknown && back < -kOrderSlackUs) return 0;
  const int64_t before_header = time_sub_us(b.first_time, r->header.clock_us);
  if (before_header != kTimeUnknown && before_header < -kHeaderSlackUs) return 0;
  const int64_t ahead = time_sub_us(b.first_time, next.first_time);
  if (status == kRecordBlockOk && ahead != kTimeUnknown && ahead > kOrderSlackUs) return 0;
  uint8_t head[kRecordBlockHeaderBytes];
  if (read_at(r, at, head, sizeof head) != kRecordBlockHeaderBytes) return 0;
  if (!budget_take(r, b.payload_bytes) || !payload_checks(r, at, head, b.payload_bytes)) return 0;
  return !inside_a_block(r, at);
}

// From a place that is not a block: the next place past `from` a scan
// trusts. Moves r->offset there (counting what lies between as skipped) and
// returns 1, or returns 0 when none is left before the end.
int resync(RecordReader* r, uint64_t from) {
  uint64_t at = from;
  for (;;) {
    const int64_t got = read_at(r, at, r->buffer, sizeof r->buffer);
    if (got < 0) {
      r->failed = 1;
      return 0;
    }
    const uint32_t n = static_cast<uint32_t>(got);
    r->budget += kScanBudgetPerByte * n;
    uint32_t i = 0;
    for (; i + 4 <= n; i++) {
      if (std::memcmp(r->buffer + i, kBlockMagic, 4) != 0) continue;
      // A candidate near the end of what was read is read again from its start.
      if (i + kRecordBlockHeaderBytes > n && n == sizeof r->buffer) break;
      RecordBlock b;
      if (record_block_header(r->buffer + i, n - i, &b) != kRecordBlockOk) continue;
      // The checks below read through the source, not this buffer: the
      // scan goes on from it afterwards.
      if (scanned_place_holds(r, at + i, b)) {
        r->skipped += at + i - from;
        r->offset = at + i;
        return 1;
      }
      if (r->failed) return 0;
    }
    if (n < sizeof r->buffer) {
      r->skipped += at + n - from;
      return 0;
    }
    at += i;  // i > 0: the buffer is far larger than a header
  }
}

// Reads the block at r->offset into the buffer: each block's head says where
// the next begins. 1 with r->block, 0 at the file's end.
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
      r->budget += kScanBudgetPerByte * (kRecordBlockHeaderBytes + payload);
      status = record_block_read(p, kRecordBlockHeaderBytes + static_cast<size_t>(payload), &b);
      if (status == kRecordBlockDamaged) {
        // Its head holds, its payload does not: the head vouches for the
        // length, and the next block begins after it.
        const uint32_t size = kRecordBlockHeaderBytes + b.payload_bytes;
        r->skipped += size;
        r->offset += size;
        continue;
      }
    }
    if (status == kRecordBlockOk) {
      r->block = b;
      r->block_offset = r->offset;
      r->at = 0;
      r->offset += kRecordBlockHeaderBytes + b.payload_bytes;
      return 1;
    }
    if (status == kRecordBlockDamaged && got == kRecordBlockHeaderBytes) {
      // A head that fails its own check where the chain says a head is,
      // yet begins as one and states a payload that is there and checks by
      // its length: a block with a flipped bit in its head. Nothing in the
      // head vouches for its entries, so it is passed over whole; a scan
      // from inside it would take its data for blocks.
      const uint32_t size = stated_payload(p);
      if (size && budget_take(r, size) && payload_checks(r, r->offset, p, size)) {
        r->budget += kScanBudgetPerByte * (kRecordBlockHeaderBytes + size);
        r->skipped += kRecordBlockHeaderBytes + size;
        r->offset += kRecordBlockHeaderBytes + size;
        continue;
      }
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

// What inside_a_block learnt holds for the bytes it read; a seek starts
// afresh (a file being written may have grown a torn tail whole since).
void forget_holders(RecordReader* r) {
  r->holder_at = r->holder_end = 0;
  r->clear_from = r->clear_past = 0;
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
  r->budget = kScanBudgetStart;
  r->last_time = kTimeUnknown;
  forget_holders(r);
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
      r->last_time = out->time_us;
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
  r->last_time = kTimeUnknown;
  r->ended = 0;
  r->failed = 0;
  r->torn = 0;
  r->offset = kRecordHeaderBytes;
  forget_holders(r);
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
  int64_t span = field == 1 ? 60 * kSecondUs : kSecondUs;
  if (*p == '.') {
    int places = 0;
    for (p++; *p; p++) {
      if (*p < '0' || *p > '9' || places == 6) return 1;
      fraction = fraction * 10 + (*p - '0');
      places++;
      span /= 10;
    }
    if (places == 0) return 1;
    for (; places < 6; places++) fraction *= 10;
  }
  RecordTime t = {1, field > 0, 0, span};
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
  // Counted from the start: its own midnight may lie before the clock's
  // range when the start lies early in that day.
  int64_t into = start % kDayUs;
  if (into < 0) into += kDayUs;
  // The span that has not ended by the start: this day's, or the next day's.
  const int64_t span = t.span_us > 0 ? t.span_us : 1;
  const int64_t ahead = t.us + span <= into ? t.us - into + kDayUs : t.us - into;
  const int64_t at = time_add_us(start, ahead);
  return time_add_us(at, span) == kTimeUnknown ? kTimeUnknown : at;
}

int64_t record_time_resolve_end(const RecordTime& t, int64_t start) {
  const int64_t at = record_time_resolve(t, start);
  return time_add_us(at, (t.span_us > 0 ? t.span_us : 1) - 1);
}

int record_new_run(const RecordHeader& h, int has_run, int64_t run, uint32_t run_id) {
  if (!has_run) return 1;
  if (h.run_id && run_id) return h.run_id != run_id;
  const int64_t own = time_sub_us(record_header_wall_us(h), h.clock_us);
  const int64_t off = time_sub_us(own, run);
  return !(off != kTimeUnknown && off > -2 * kSecondUs && off < 2 * kSecondUs);
}

int64_t record_run_clock(const RecordHeader& h, int has_run, int64_t run, uint32_t run_id) {
  return record_new_run(h, has_run, run, run_id) ? time_sub_us(record_header_wall_us(h), h.clock_us) : run;
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
      RecordReader* r = s->reader;
      if (record_new_run(r->header, s->has_run, s->run_wall_minus_clock, s->run_id)) s->runs++;
      r->wall_minus_clock = record_run_clock(r->header, s->has_run, s->run_wall_minus_clock, s->run_id);
      s->run_wall_minus_clock = r->wall_minus_clock;
      s->run_id = r->header.run_id;
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
      // A start beyond every time there is leaves nothing.
      if (s->from.given && s->from_us == kTimeUnknown) s->from_us = INT64_MAX;
      // Seconds count from the recording's start; a time of day is the
      // first such span that has not ended by the slice's start.
      const int64_t to_after = s->to.time_of_day && s->from.given && s->from_us != INT64_MAX
                                   ? (s->from_us > e.time_us ? s->from_us : e.time_us)
                                   : e.time_us;
      s->to_us = s->to.given ? record_time_resolve_end(s->to, to_after) : INT64_MAX;
      if (s->to_us == kTimeUnknown) s->to_us = INT64_MAX;
    }
    const int sliced = s->from.given || s->to.given;
    if (sliced && (e.time_us == kTimeUnknown || !s->resolved || e.time_us < s->from_us || e.time_us > s->to_us))
      continue;
    *out = e;
    return 1;
  }
}

int record_stream_at(RecordStream* s, uint64_t offset, int64_t run_clock) {
  s->open = 1;
  s->has_pending = 0;
  s->reader->wall_minus_clock = run_clock;
  s->run_wall_minus_clock = run_clock;
  s->run_id = s->reader->header.run_id;
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
    if (taken == 0)
      for (int ch = 0; ch < 2; ch++) w->shape[ch] = record_line_shape(s->reader->header.channel[ch]);
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
