// The monitor's framing: each stream's bytes cut into RTU, ASCII or TCP
// frames with their fields and checks (the rules are in modbus_monitor.h).
#include "modbus/modbus_monitor.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "codec/checksum.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace {

constexpr int kRunBytes = 600;    // one stream's pending bytes: the longest ASCII frame (513) and more
constexpr int kRtuLongest = 256;  // longest RTU frame, and how far one attempt looks ahead
constexpr int kAsciiLongest = 513;
constexpr int kStreams = 4;
constexpr int kTcpHeader = 6;            // transaction id, protocol id, length
constexpr int kTcpLongestLength = 254;   // the length of a sound header: unit and at most 253 PDU bytes
constexpr int kTcpClaimLimit = 512;      // a bad length up to this may still be framed, when confirmed
// Every TCP decision looks at most a claimed frame and the next header
// ahead, so a full run buffer always decides at its first byte.
static_assert(kTcpHeader + kTcpClaimLimit + kTcpHeader <= kRunBytes, "a TCP decision fits the run buffer");

// Where a TCP stream stands: at its start (or after a break of the line),
// right after a frame, or skipping noise.
enum TcpStep : uint8_t { kTcpStart = 0, kTcpInStep, kTcpSearching };

struct Stream {
  uint8_t bytes[kRunBytes];
  int32_t index[kRunBytes];  // record of each byte
  // RTU: the CRC keys (crc16_key_chain_feed) of bytes keyed_from ..
  // keyed - 1, fed to the chain one after another, so that whether a
  // frame's CRC matches is one comparison, not a pass over its bytes. Only
  // bytes a search for a CRC looked through are keyed (none in a run of
  // zeros, nor in polling traffic).
  uint16_t key_before[kRunBytes];
  uint16_t key_after[kRunBytes];
  int32_t keyed_from, keyed;
  Crc16KeyChain chain;
  int32_t n;
  int64_t last_time;         // time of its latest chunk, or kTimeUnknown
  TimelineChunk last;        // its latest chunk, for the silence before the next
  int have_last;
  int32_t garbage_first, garbage_last, garbage_length;  // skipped bytes not yet reported
  uint8_t channel, role, sent;
  uint8_t mode;      // ModbusMode of its frames
  uint8_t tcp_step;  // TcpStep, TCP streams only
};

struct Decoder {
  const CaptureRecord* records;
  const int64_t* times;
  const ModbusMonitorOptions* options;
  ModbusFrame* out;
  int32_t capacity, n;
  int64_t dropped;
  ModbusFrameList* list;            // grows out when set; else out is fixed
  const std::atomic<int>* cancel;   // may be null
};

int cancelled(const Decoder* d) { return d->cancel && d->cancel->load(std::memory_order_relaxed); }

// Room for one more frame in a growable list: twice the room each time.
int list_grow(Decoder* d) {
  if (!d->list || d->capacity > INT32_MAX / 2) return 0;
  const int32_t room = d->capacity < 1024 ? 1024 : 2 * d->capacity;
  void* more = std::realloc(d->out, static_cast<size_t>(room) * sizeof(ModbusFrame));
  if (!more) return 0;
  d->out = static_cast<ModbusFrame*>(more);
  d->capacity = room;
  d->list->frames = d->out;
  d->list->capacity = room;
  return 1;
}

int64_t time_of(const Decoder* d, int32_t record) { return d->times ? d->times[record] : kTimeUnknown; }

// The length the function code implies: > 0 the frame's bytes, 0 a code
// without a fixed layout, -1 when more bytes must come to tell.
int rtu_length(uint8_t role, const uint8_t* b, int avail) {
  if (avail < 2) return -1;
  uint8_t f = b[1];
  if (role == kMonitorRequest) {
    if (f >= 1 && f <= 6) return 8;
    if (f == 0x0F || f == 0x10) return avail < 7 ? -1 : 9 + b[6];
    return 0;
  }
  if (f & 0x80) return 5;
  if (f >= 1 && f <= 4) return avail < 3 ? -1 : 5 + b[2];
  if (f == 5 || f == 6 || f == 0x0F || f == 0x10) return 8;
  return 0;
}

enum Attempt { kFound, kNeedMore, kNone };

// The first of keys[0 .. n - 1] equal to `want`, or -1; eight at a time
// where the processor compares them side by side (every x86-64 one).
int first_key(const uint16_t* keys, int n, uint16_t want) {
  int i = 0;
#if defined(__SSE2__) || defined(_M_X64)
  const __m128i w = _mm_set1_epi16(static_cast<short>(want));
  // Thirty-two at a time while none matches (a match is rare), then eight.
  for (; i + 32 <= n; i += 32) {
    const __m128i* k = reinterpret_cast<const __m128i*>(keys + i);
    const __m128i a =
        _mm_or_si128(_mm_cmpeq_epi16(_mm_loadu_si128(k), w), _mm_cmpeq_epi16(_mm_loadu_si128(k + 1), w));
    const __m128i b =
        _mm_or_si128(_mm_cmpeq_epi16(_mm_loadu_si128(k + 2), w), _mm_cmpeq_epi16(_mm_loadu_si128(k + 3), w));
    if (_mm_movemask_epi8(_mm_or_si128(a, b))) break;
  }
  for (; i + 8 <= n; i += 8) {
    const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + i));
    const unsigned hit = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(k, w)));
    if (hit) return i + std::countr_zero(hit) / 2;
  }
#endif
  for (; i < n; i++)
    if (keys[i] == want) return i;
  return -1;
}

// Keys for bytes p .. end - 1, fed in one run with those before them from
// p on (a chain may pass bytes over: what is compared lies after p).
// Made for the searches of codes without a fixed layout, which compare a
// start's key with those of the 253 bytes after it.
void rtu_keys(Stream* s, int p, int end) {
  if (p < s->keyed_from || p > s->keyed) s->keyed_from = s->keyed = p;
  if (end <= s->keyed) return;
  crc16_key_chain_feed(&s->chain, s->bytes + s->keyed, end - s->keyed, s->key_before + s->keyed,
                       s->key_after + s->keyed);
  s->keyed = end;
}

// 1 when bytes p .. p + len - 1 of the stream end in their CRC: by their
// keys where a search made them, else by the CRC itself (cheaper for one
// frame of a fixed length than keying its bytes).
int crc_matches(const Stream* s, int p, int len) {
  if (p >= s->keyed_from && p + len <= s->keyed) return s->key_after[p + len - 1] == s->key_before[p];
  const uint8_t* b = s->bytes + p;
  const uint16_t crc = crc16_modbus(b, len - 2);
  return b[len - 2] == (crc & 0xFF) && b[len - 1] == (crc >> 8);
}

// Whether a valid RTU frame starts at byte p of the stream; *len its length.
Attempt rtu_attempt(Stream* s, int p, int* len) {
  const uint8_t* b = s->bytes + p;
  const int avail = s->n - p;
  if (avail >= 1 && b[0] > 247) return kNone;
  if (avail >= 2 && (b[1] & 0x7F) == 0) return kNone;
  int l = rtu_length(s->role, b, avail);
  if (l < 0) return kNeedMore;
  if (l > 0) {
    if (avail < l) return kNeedMore;
    *len = l;  // also when the CRC fails: where the damaged frame would end
    return crc_matches(s, p, l) ? kFound : kNone;
  }
  // A code without a fixed layout: up to the first CRC that matches, the
  // frame of e bytes ending at byte p + e - 1.
  const int last = avail < kRtuLongest ? avail : kRtuLongest;
  rtu_keys(s, p, p + last);
  const int e = first_key(s->key_after + p + 3, last - 3, s->key_before[p]);
  if (e >= 0) {
    *len = e + 4;
    return kFound;
  }
  return last < kRtuLongest ? kNeedMore : kNone;
}

uint16_t be16(const uint8_t* b) { return static_cast<uint16_t>(b[0] << 8 | b[1]); }

// Fills the fields of a frame from its body (slave to data, no check).
// Returns 0 when the body is shorter than its function's fields.
int parse_fields(ModbusFrame* f, const uint8_t* b, int len) {
  if (len < 1) return 0;
  f->slave = b[0];
  f->fields = kFieldSlave;
  if (len < 2) return 0;
  f->function = b[1];
  f->fields |= kFieldFunction;
  uint8_t code = b[1];
  auto take_bits = [&](int at, int bytes) {
    f->fields |= kFieldByteCount | kFieldBits;
    f->byte_count = static_cast<uint8_t>(bytes);
    int kept = bytes < kModbusMonitorBitBytes ? bytes : kModbusMonitorBitBytes;
    if (kept > len - at) kept = len - at > 0 ? len - at : 0;
    std::memcpy(f->bits, b + at, static_cast<size_t>(kept));
    f->bit_bytes = kept;
    return len >= at + bytes;
  };
  auto take_values = [&](int at, int bytes) {
    f->fields |= kFieldByteCount | kFieldValues;
    f->byte_count = static_cast<uint8_t>(bytes);
    int have = (len - at) / 2;
    int pairs = bytes / 2;
    if (have > pairs) have = pairs;
    int kept = have < kModbusMonitorValues ? have : kModbusMonitorValues;
    for (int i = 0; i < kept; i++) f->values[i] = be16(b + at + 2 * i);
    f->value_count = kept > 0 ? kept : 0;
    return len >= at + bytes;
  };
  if (f->role == kMonitorAnswer && (code & 0x80)) {
    if (len < 3) return 0;
    f->exception = b[2];
    f->fields |= kFieldException;
    return 1;
  }
  if (f->role == kMonitorRequest) {
    if (code >= 1 && code <= 6) {
      if (len < 6) return 0;
      f->address = be16(b + 2);
      if (code <= 4) {
        f->quantity = be16(b + 4);
        f->fields |= kFieldAddress | kFieldQuantity;
      } else {
        f->value = be16(b + 4);
        f->fields |= kFieldAddress | kFieldValue;
      }
      return 1;
    }
    if (code == 0x0F || code == 0x10) {
      if (len < 7) return 0;
      f->address = be16(b + 2);
      f->quantity = be16(b + 4);
      f->fields |= kFieldAddress | kFieldQuantity;
      return code == 0x0F ? take_bits(7, b[6]) : take_values(7, b[6]);
    }
    return 1;
  }
  if (code == 1 || code == 2) return len >= 3 && take_bits(3, b[2]);
  if (code == 3 || code == 4) return len >= 3 && take_values(3, b[2]);
  if (code == 5 || code == 6 || code == 0x0F || code == 0x10) {
    if (len < 6) return 0;
    f->address = be16(b + 2);
    if (code <= 6) {
      f->value = be16(b + 4);
      f->fields |= kFieldAddress | kFieldValue;
    } else {
      f->quantity = be16(b + 4);
      f->fields |= kFieldAddress | kFieldQuantity;
    }
  }
  return 1;
}

ModbusFrame* frame_new(Decoder* d, const Stream* s, int32_t first, int32_t last, int32_t length, uint8_t check) {
  if (d->n >= d->capacity && !list_grow(d)) {
    d->dropped++;
    return nullptr;
  }
  ModbusFrame* f = &d->out[d->n++];
  std::memset(f, 0, sizeof *f);
  f->time_us = time_of(d, first);
  f->first_record = first;
  f->last_record = last;
  f->length = length;
  f->channel = s->channel;
  f->role = s->role;
  f->sent = s->sent;
  f->mode = s->mode;
  f->check = check;
  f->pair = -1;
  f->latency_us = kTimeUnknown;
  return f;
}

void garbage_add(Stream* s, int p) {
  if (s->garbage_length == 0) s->garbage_first = s->index[p];
  s->garbage_last = s->index[p];
  s->garbage_length++;
}

// The stream's first p bytes decided: the rest moves to the front (nothing
// moves when none was decided, as when a run waits for its silence).
void stream_drop(Stream* s, int p) {
  if (p == 0) return;
  std::memmove(s->bytes, s->bytes + p, static_cast<size_t>(s->n - p));
  std::memmove(s->index, s->index + p, static_cast<size_t>(s->n - p) * sizeof s->index[0]);
  if (s->keyed > p) {
    const int from = s->keyed_from > p ? s->keyed_from : p;
    const size_t keys = static_cast<size_t>(s->keyed - from) * sizeof(uint16_t);
    std::memmove(s->key_before + from - p, s->key_before + from, keys);
    std::memmove(s->key_after + from - p, s->key_after + from, keys);
    s->keyed_from = from - p;
    s->keyed -= p;
  } else {
    s->keyed_from = s->keyed = 0;
  }
  s->n -= p;
}

// Bytes p .. q - 1 skipped at once.
void garbage_add_run(Stream* s, int p, int q) {
  if (s->garbage_length == 0) s->garbage_first = s->index[p];
  s->garbage_last = s->index[q - 1];
  s->garbage_length += q - p;
}

void garbage_flush(Decoder* d, Stream* s) {
  if (s->garbage_length == 0) return;
  frame_new(d, s, s->garbage_first, s->garbage_last, s->garbage_length, kMonitorNotModbus);
  s->garbage_length = 0;
}

// An RTU frame of len bytes at p; a frame with a good check whose body is
// shorter than its fields is TOO SHORT.
void emit_rtu(Decoder* d, Stream* s, int p, int len, uint8_t check) {
  garbage_flush(d, s);
  ModbusFrame* f = frame_new(d, s, s->index[p], s->index[p + len - 1], len, check);
  if (!f) return;
  int body = check == kMonitorOk || check == kMonitorBadCrc ? len - 2 : len;
  if (!parse_fields(f, s->bytes + p, body) && f->check == kMonitorOk) f->check = kMonitorTooShort;
}

// A closed run holds no valid frame at p: the rest of it is one frame
// (RTU frames end at a silence), or noise when it cannot be one.
int rtu_classify_rest(Decoder* d, Stream* s, int p) {
  int rest = s->n - p;
  const uint8_t* b = s->bytes + p;
  if (rest > kRtuLongest || b[0] > 247 || (rest >= 2 && (b[1] & 0x7F) == 0)) {
    for (int i = p; i < s->n; i++) garbage_add(s, i);
    return s->n;
  }
  int l = rtu_length(s->role, b, rest);
  if (l < 0 || (l > 0 && rest < l) || (l == 0 && rest < 4)) {
    emit_rtu(d, s, p, rest, kMonitorTooShort);
    return s->n;
  }
  emit_rtu(d, s, p, rest, kMonitorBadCrc);
  return s->n;
}

// Decodes what can be decided of the stream's pending bytes. closed: no
// more bytes belong to this run (silence, or the end of the capture).
void rtu_decode(Decoder* d, Stream* s, int closed) {
  int p = 0;
  const int timed = s->last_time != kTimeUnknown;
  int len = 0;
  while (p < s->n) {
    if (!closed) {
      // Bytes whose first two start no frame (a slave above 247, function
      // 0), with more than the longest frame after them: noise, as the
      // attempt below would find one at a time.
      int q = p;
      const int stop = s->n - kRtuLongest;
      while (q < stop && (s->bytes[q] > 247 || (s->bytes[q + 1] & 0x7F) == 0)) q++;
      if (q > p) {
        garbage_add_run(s, p, q);
        p = q;
        continue;
      }
    }
    len = 0;
    Attempt a = rtu_attempt(s, p, &len);
    if (a == kFound) {
      emit_rtu(d, s, p, len, kMonitorOk);
      p += len;
      continue;
    }
    // A byte with more than the longest frame after it starts no frame that
    // more bytes or a silence could still make: it is noise now, as it
    // would be once the run closed. (Deciding these one a call, each time a
    // byte came into a full buffer, moved the buffer once a byte.)
    const int full = s->n - p > kRtuLongest;
    // More bytes, or the silence, will tell; so will the end of the capture
    // for a damaged frame that ends where the bytes end so far.
    if (!closed && !full && (a == kNeedMore || timed || (len > 0 && p + len == s->n))) break;
    if (!closed) {
      garbage_add(s, p++);
      continue;
    }
    // A closed run: a valid frame further on makes the bytes before it noise.
    int q = p + 1, limit = p + kRtuLongest < s->n ? p + kRtuLongest : s->n;
    for (; q < limit; q++)
      if (rtu_attempt(s, q, &len) == kFound) break;
    if (q < limit || s->n - p > kRtuLongest) {
      while (p < q) garbage_add(s, p++);  // nothing valid starts before q
      continue;
    }
    p = rtu_classify_rest(d, s, p);
  }
  if (closed) garbage_flush(d, s);
  stream_drop(s, p);
}

int hex_digit(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// An ASCII frame of len characters at p: ':' hex pairs, then CR LF unless
// it was cut (check TOO SHORT given).
void emit_ascii(Decoder* d, Stream* s, int p, int len, int cut) {
  garbage_flush(d, s);
  const uint8_t* c = s->bytes + p + 1;
  int chars = cut ? len - 1 : len - 3;
  uint8_t body[kAsciiLongest / 2 + 1];
  // A cut frame may end inside a pair; its last digit is read as a digit.
  int k = 0, hex = chars % 2 == 0 || (cut && hex_digit(c[chars - 1]) >= 0);
  for (int i = 0; hex && i + 1 < chars; i += 2) {
    int hi = hex_digit(c[i]), lo = hex_digit(c[i + 1]);
    if (hi < 0 || lo < 0) hex = 0;
    else body[k++] = static_cast<uint8_t>(hi << 4 | lo);
  }
  uint8_t check = kMonitorOk;
  if (!hex) check = kMonitorNotModbus;
  else if (cut || k < 3) check = kMonitorTooShort;
  else {
    uint8_t sum = 0;
    for (int i = 0; i < k; i++) sum = static_cast<uint8_t>(sum + body[i]);
    if (sum != 0) check = kMonitorBadLrc;
  }
  ModbusFrame* f = frame_new(d, s, s->index[p], s->index[p + len - 1], len, check);
  if (!f || !hex) return;
  int fields_len = check == kMonitorTooShort ? k : k - 1;
  if (!parse_fields(f, body, fields_len) && f->check == kMonitorOk) f->check = kMonitorTooShort;
}

void ascii_decode(Decoder* d, Stream* s, int closed) {
  int p = 0;
  while (p < s->n) {
    if (s->bytes[p] != ':') {
      int q = p + 1;
      while (q < s->n && s->bytes[q] != ':') q++;
      garbage_add_run(s, p, q);
      p = q;
      continue;
    }
    int i = p + 1, end = -1, cut = -1;
    for (; i < s->n && i - p < kAsciiLongest + 2; i++) {
      if (s->bytes[i] == ':') {
        cut = i;
        break;
      }
      if (s->bytes[i] == '\r' && i + 1 < s->n && s->bytes[i + 1] == '\n') {
        end = i + 2;
        break;
      }
    }
    if (end > 0) {
      emit_ascii(d, s, p, end - p, 0);
      p = end;
    } else if (cut > 0) {
      emit_ascii(d, s, p, cut - p, 1);
      p = cut;
    } else if (i - p >= kAsciiLongest + 2) {
      garbage_add(s, p++);  // no CR LF in reach: not a frame start
    } else if (closed) {
      emit_ascii(d, s, p, s->n - p, 1);
      p = s->n;
    } else {
      break;
    }
  }
  if (closed) garbage_flush(d, s);
  stream_drop(s, p);
}

enum TcpHead { kHeadSound, kHeadPartial, kHeadBad };

// What the avail bytes at b make of an MBAP header: sound (protocol id 0,
// length 2 to 254), too short to tell with all there is agreeing, or bad.
TcpHead tcp_head(const uint8_t* b, int avail) {
  if (avail >= 4 && (b[2] | b[3]) != 0) return kHeadBad;
  if (avail < kTcpHeader) return kHeadPartial;
  const int len = be16(b + 4);
  return len >= 2 && len <= kTcpLongestLength ? kHeadSound : kHeadBad;
}

enum Confirm { kConfirmed, kRefuted, kUndecided };

// Whether a frame that would end before byte q is followed as a frame is:
// by a sound header (or the start of one cut by the end), or by the end of
// the bytes. Undecided only while more bytes may come.
Confirm tcp_confirm(const Stream* s, int q, int closed) {
  if (q >= s->n) return !closed ? kUndecided : q == s->n ? kConfirmed : kRefuted;
  switch (tcp_head(s->bytes + q, s->n - q)) {
    case kHeadSound: return kConfirmed;
    case kHeadPartial: return closed ? kConfirmed : kUndecided;
    default: return kRefuted;
  }
}

// Unit and PDU bytes the function of a TCP frame's body (unit, function,
// ...; blen bytes) implies: > 0 that length, 0 for a code without a fixed
// layout, -1 when the body ends before the byte count that tells.
int tcp_implied(uint8_t role, const uint8_t* body, int blen) {
  const int l = rtu_length(role, body, blen);
  return l > 0 ? l - 2 : l;
}

// A TCP frame of len bytes at p: its transaction id, then the unit and the
// PDU's fields as an RTU frame's body.
void emit_tcp(Decoder* d, Stream* s, int p, int len, uint8_t check) {
  garbage_flush(d, s);
  s->tcp_step = kTcpInStep;
  ModbusFrame* f = frame_new(d, s, s->index[p], s->index[p + len - 1], len, check);
  if (!f) return;
  const uint8_t* b = s->bytes + p;
  if (len > kTcpHeader && !parse_fields(f, b + kTcpHeader, len - kTcpHeader) && f->check == kMonitorOk)
    f->check = kMonitorBadLength;
  if (len >= 2) {
    f->transaction = be16(b);
    f->fields |= kFieldTransaction;
  }
}

void tcp_skip(Stream* s, int* p) {
  garbage_add(s, (*p)++);
  s->tcp_step = kTcpSearching;
}

// Decodes what can be decided of a TCP stream's pending bytes (the rules
// are in modbus_monitor.h). closed: no more bytes come (the end of the
// capture, or a break of the line: the next bytes start a new connection).
void tcp_decode(Decoder* d, Stream* s, int closed) {
  int p = 0;
  while (p < s->n) {
    const uint8_t* b = s->bytes + p;
    const int avail = s->n - p;
    const TcpHead head = tcp_head(b, avail);
    const int in_step = s->tcp_step == kTcpInStep;
    if (head == kHeadBad) {
      // A bad header is a frame only where a frame is due (not amid noise)
      // and its length is followed as a frame is; before the length is
      // there nothing tells.
      if (s->tcp_step == kTcpSearching || (avail < kTcpHeader && closed)) {
        tcp_skip(s, &p);
        continue;
      }
      if (avail < kTcpHeader) break;
      const int len = be16(b + 4);
      if (len > kTcpClaimLimit) {
        tcp_skip(s, &p);
        continue;
      }
      const Confirm c = tcp_confirm(s, p + kTcpHeader + len, closed);
      if (c == kUndecided) break;
      if (c == kRefuted) {
        tcp_skip(s, &p);
        continue;
      }
      emit_tcp(d, s, p, kTcpHeader + len, (b[2] | b[3]) ? kMonitorBadProtocol : kMonitorBadLength);
      p += kTcpHeader + len;
      continue;
    }
    const int extent = head == kHeadSound ? kTcpHeader + be16(b + 4) : kTcpHeader;
    if (head == kHeadPartial || avail < extent) {
      if (!closed) break;
      // Cut by the end of the bytes: a frame, unless it follows noise.
      if (s->tcp_step == kTcpSearching) {
        tcp_skip(s, &p);
        continue;
      }
      emit_tcp(d, s, p, avail, kMonitorTooShort);
      p = s->n;
      continue;
    }
    const int implied = tcp_implied(s->role, b + kTcpHeader, extent - kTcpHeader);
    if (implied == 0 || implied == extent - kTcpHeader) {
      if (!in_step) {
        const Confirm c = tcp_confirm(s, p + extent, closed);
        if (c == kUndecided) break;
        if (c == kRefuted) {
          tcp_skip(s, &p);
          continue;
        }
      }
      emit_tcp(d, s, p, extent, kMonitorOk);
      p += extent;
      continue;
    }
    // The PDU disagrees with the header: the frame ends where the header
    // says if a frame follows there, else where the function says if one
    // follows there; in step, where the header says all the same.
    const Confirm at_header = tcp_confirm(s, p + extent, closed);
    if (at_header == kUndecided) break;
    int end = at_header == kConfirmed ? extent : 0;
    if (!end && implied > 0) {
      const Confirm at_implied = tcp_confirm(s, p + kTcpHeader + implied, closed);
      if (at_implied == kUndecided) break;
      if (at_implied == kConfirmed) end = kTcpHeader + implied;
    }
    if (!end && in_step) end = extent;
    if (!end) {
      tcp_skip(s, &p);
      continue;
    }
    emit_tcp(d, s, p, end, kMonitorBadLength);
    p += end;
  }
  if (closed) {
    garbage_flush(d, s);
    s->tcp_step = kTcpStart;
  }
  stream_drop(s, p);
}

void stream_decode(Decoder* d, Stream* s, int closed) {
  if (s->mode == kModbusTcp) tcp_decode(d, s, closed);
  else if (s->mode == kModbusAscii) ascii_decode(d, s, closed);
  else rtu_decode(d, s, closed);
}

// The stream a chunk of `kind` feeds, or -1.
int stream_of(uint8_t kind, int line_monitor) {
  if (line_monitor) return kind == kKindRecvCh1 ? 0 : kind == kKindRecvCh2 ? 1 : -1;
  switch (kind) {
    case kKindSentCh1: return 0;
    case kKindRecvCh1: return 1;
    case kKindSentCh2: return 2;
    case kKindRecvCh2: return 3;
    default: return -1;
  }
}

// The whole decode into d->out; returns 1 when cancelled (the frames found
// so far are in d->out, unsorted and unpaired).
int decode_records(Decoder* d, int32_t count) {
  const ModbusMonitorOptions* options = d->options;
  const CaptureRecord* records = d->records;
  Stream streams[kStreams];
  for (int i = 0; i < kStreams; i++) {
    Stream* s = &streams[i];
    s->n = 0;
    s->keyed_from = s->keyed = 0;
    crc16_key_chain_begin(&s->chain);
    s->last_time = kTimeUnknown;
    s->have_last = 0;
    s->garbage_length = 0;
    s->garbage_first = s->garbage_last = 0;
    if (options->line_monitor) {
      s->channel = static_cast<uint8_t>(i + 1);
      s->role = i == 0 ? kMonitorRequest : kMonitorAnswer;
      s->sent = 0;
    } else {
      s->channel = static_cast<uint8_t>(i / 2 + 1);
      s->role = i % 2 == 0 ? kMonitorRequest : kMonitorAnswer;
      s->sent = i % 2 == 0;
    }
    // A line monitor reads two streams only; the other two (channels 3
    // and 4) get no chunks.
    const int tcp = s->channel <= 2 && options->tcp[s->channel - 1];
    s->mode = static_cast<uint8_t>(tcp ? kModbusTcp : options->mode);
    s->tcp_step = kTcpStart;
  }
  int32_t at = 0, gap = -1;
  TimelineChunk c;
  while (timeline_next_chunk(records, d->times, count, &at, &gap, &c)) {
    if (cancelled(d)) return 1;
    int which = stream_of(c.kind, options->line_monitor);
    if (which < 0) continue;
    Stream* s = &streams[which];
    if (s->have_last && timeline_line_broken_between(options->events, options->event_count, options->base,
                                                     options->line_monitor ? 0 : s->channel, s->last.first, c.first)) {
      // What the line carried before it broke is all there will be of it.
      stream_decode(d, s, 1);
    } else if (s->mode == kModbusRtu && s->have_last) {
      const int64_t quiet = timeline_silence_us(s->last, c, options->shape);
      if (quiet != kTimeUnknown && quiet >= timeline_modbus_silence_us(options->shape[s->channel - 1].baud))
        stream_decode(d, s, 1);
    }
    s->last_time = c.time_us;
    s->last = c;
    s->have_last = 1;
    for (int32_t i = 0; i < c.count;) {
      if (s->n == kRunBytes) {
        if (cancelled(d)) return 1;
        stream_decode(d, s, 0);
      }
      // As many as the run buffer takes, in one go.
      const int32_t take = std::min(c.count - i, kRunBytes - s->n);
      uint8_t* bytes = s->bytes + s->n;
      int32_t* index = s->index + s->n;
      for (int32_t k = 0; k < take; k++) {
        bytes[k] = capture_byte(records[c.first + i + k]);
        index[k] = c.first + i + k;
      }
      s->n += take;
      i += take;
    }
    stream_decode(d, s, 0);
  }
  for (Stream& s : streams) stream_decode(d, &s, 1);
  std::sort(d->out, d->out + d->n,
            [](const ModbusFrame& a, const ModbusFrame& b) { return a.first_record < b.first_record; });
  return modbus_monitor_pair(d->out, d->n, d->times, options, d->cancel);
}

}  // namespace

int32_t modbus_monitor_decode(const CaptureRecord* records, const int64_t* times, int32_t count,
                              const ModbusMonitorOptions* options, ModbusFrame* out, int32_t capacity,
                              int64_t* dropped) {
  Decoder d = {records, times, options, out, capacity > 0 ? capacity : 0, 0, 0, nullptr, nullptr};
  decode_records(&d, count);
  if (dropped) *dropped = d.dropped;
  return d.n;
}

void modbus_frame_list_free(ModbusFrameList* list) {
  std::free(list->frames);
  *list = ModbusFrameList{};
}

int modbus_monitor_decode_list(const CaptureRecord* records, const int64_t* times, int32_t count,
                               const ModbusMonitorOptions* options, ModbusFrameList* out,
                               const std::atomic<int>* cancel) {
  Decoder d = {records, times, options, out->frames, out->capacity, 0, 0, out, cancel};
  const int stopped = decode_records(&d, count);
  out->n = d.n;
  out->dropped = d.dropped;
  return stopped;
}

int modbus_monitor_decode_either(const CaptureRecord* records, const int64_t* times, int32_t count,
                                 const ModbusMonitorOptions* options, ModbusFrameList* out, ModbusFrameList* scratch,
                                 int32_t* mode, const std::atomic<int>* cancel) {
  auto good = [](const ModbusFrameList* l) {
    int32_t ok = 0;
    for (int32_t i = 0; i < l->n; i++) ok += l->frames[i].check == kMonitorOk;
    return ok;
  };
  ModbusMonitorOptions o = *options;
  o.mode = kModbusRtu;
  if (modbus_monitor_decode_list(records, times, count, &o, out, cancel)) return 1;
  if (o.tcp[0] && o.tcp[1]) {
    // Both channels carry TCP: the other framing would read the same.
    if (mode) *mode = kModbusTcp;
    return 0;
  }
  o.mode = kModbusAscii;
  if (modbus_monitor_decode_list(records, times, count, &o, scratch, cancel)) return 1;
  int32_t kept = kModbusRtu;
  if (good(scratch) > good(out)) {
    std::swap(*out, *scratch);  // the lists trade their blocks: no copy
    kept = kModbusAscii;
  }
  // A network link carries Modbus TCP or RTU over TCP: read as TCP too.
  const uint8_t net[2] = {static_cast<uint8_t>(o.network[0] && !o.tcp[0]),
                          static_cast<uint8_t>(o.network[1] && !o.tcp[1])};
  if (net[0] || net[1]) {
    o.mode = kept;
    o.tcp[0] = static_cast<uint8_t>(o.tcp[0] | net[0]);
    o.tcp[1] = static_cast<uint8_t>(o.tcp[1] | net[1]);
    if (modbus_monitor_decode_list(records, times, count, &o, scratch, cancel)) return 1;
    if (good(scratch) > good(out)) {
      std::swap(*out, *scratch);
      kept = kModbusTcp;
    }
  }
  if (mode) *mode = kept;
  return 0;
}


int32_t modbus_frame_body(const ModbusFrame& f, const CaptureRecord* records, int32_t count, uint8_t* out,
                          int32_t room) {
  if (f.first_record < 0 || f.last_record >= count || f.first_record > f.last_record) return -1;
  const uint8_t kind = records[f.first_record].kind;
  const int skip = f.mode == kModbusTcp ? kTcpHeader : f.mode == kModbusAscii ? 1 : 0;  // the MBAP head, the ':'
  int32_t n = 0, seen = 0, high = -1;
  for (int32_t r = f.first_record; r <= f.last_record && seen < f.length; r++) {
    if (records[r].kind != kind) continue;  // the other streams' bytes and the gap marks between
    const uint8_t b = capture_byte(records[r]);
    if (seen++ < skip) continue;
    if (f.mode == kModbusAscii) {
      const int digit = hex_digit(b);
      if (digit < 0) break;  // CR LF
      if (high < 0) {
        high = digit;
        continue;
      }
      if (n == room) return -1;
      out[n++] = static_cast<uint8_t>(high << 4 | digit);
      high = -1;
    } else {
      if (n == room) return -1;
      out[n++] = b;
    }
  }
  return n;
}
