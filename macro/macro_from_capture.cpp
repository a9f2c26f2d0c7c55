#include "macro/macro_from_capture.h"

#include <cstdio>
#include <cstring>

#include "macro/macro.h"
#include "timeline/chunks.h"

namespace {

constexpr int64_t kUnitUs = static_cast<int64_t>(kMacroTimeUnitMs) * 1000;
constexpr int32_t kMostUnits = 999;   // a three-column field of TIME and the read commands
constexpr int32_t kMostWanted = 999;  // the read's length field
// Room for the literal after "CMPL 01,P01," and after "SEND " / "MOVE 02,".
constexpr int kCompareLiteralUnits = kMacroLineUnits - 12;
constexpr int kSendLiteralUnits = kMacroLineUnits - 5;
constexpr int kMoveLiteralUnits = kMacroLineUnits - 8;

struct Writer {
  const MacroSink* sink;
  MacroFromCaptureResult result;
  int failed;
};

void put_units(Writer* w, const char16_t* units, int n) {
  if (w->failed) return;
  uint8_t bytes[2 * (kMacroLineUnits + 2)];
  int k = 0;
  for (int i = 0; i < n; i++) {
    bytes[k++] = static_cast<uint8_t>(units[i] & 0xFF);
    bytes[k++] = static_cast<uint8_t>(units[i] >> 8);
  }
  if (w->sink->write(w->sink->ctx, bytes, k) != 0) {
    w->failed = 1;
    return;
  }
  w->result.units += n;
}

// One line: ASCII text, then `literal` (may be null), then CR LF.
void put_line(Writer* w, const char* text, const char16_t* literal = nullptr, int literal_units = 0) {
  char16_t line[kMacroLineUnits + 2];
  int n = 0;
  for (const char* p = text; *p && n < kMacroLineUnits; p++) line[n++] = static_cast<char16_t>(*p);
  for (int i = 0; i < literal_units && n < kMacroLineUnits; i++) line[n++] = literal[i];
  line[n++] = u'\r';
  line[n++] = u'\n';
  put_units(w, line, n);
}

int quotable(uint8_t b) { return b >= 0x20 && b <= 0x7E && b != '"'; }

// Literal notation of bytes[0 .. n - 1] in at most `room` units: returns the
// units written to out and sets *taken to the bytes they hold (at least one
// when room >= 3 and n > 0).
int literal_of(const uint8_t* bytes, int n, char16_t* out, int room, int* taken) {
  static const char kHex[] = "0123456789ABCDEF";
  int u = 0, i = 0;
  while (i < n) {
    int run = 0;
    while (i + run < n && quotable(bytes[i + run])) run++;
    if (run >= 2) {
      int fit = room - u - 2;
      if (fit < 1) break;
      if (run > fit) run = fit;
      out[u++] = u'"';
      for (int k = 0; k < run; k++) out[u++] = bytes[i + k];
      out[u++] = u'"';
      i += run;
      continue;
    }
    if (u + 2 > room) break;
    out[u++] = static_cast<char16_t>(kHex[bytes[i] >> 4]);
    out[u++] = static_cast<char16_t>(kHex[bytes[i] & 15]);
    i++;
  }
  *taken = i;
  return u;
}

// The two characters after F or P for step n (1 ..): 01 .. 99, then A0 .. Z9
// and AA .. ZZ.
void step_name(int32_t n, char out[3]) {
  static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  if (n < 100) {
    out[0] = static_cast<char>('0' + n / 10);
    out[1] = static_cast<char>('0' + n % 10);
  } else {
    int32_t k = n - 100;
    out[0] = static_cast<char>('A' + k / 36);
    out[1] = kDigits[k % 36];
  }
  out[2] = 0;
}

// "12.345 s" for a time on the macro's axis (µs since the first chunk).
void seconds_text(int64_t us, char* out, size_t cap) {
  std::snprintf(out, cap, "%lld.%03lld s", static_cast<long long>(us / 1000000),
                static_cast<long long>(us / 1000 % 1000));
}

int64_t units_up(int64_t us) { return us <= 0 ? 0 : (us + kUnitUs - 1) / kUnitUs; }

int channel_of(uint8_t kind) { return kind <= kKindSentCh1 ? 1 : 2; }
int is_sent(uint8_t kind) { return kind == kKindSentCh1 || kind == kKindSentCh2; }

// An answer being gathered: received chunks of one kind in a row.
struct Answer {
  int active;
  uint8_t kind;
  int32_t count;
  uint8_t bytes[kMacroSlotBytes];
  int64_t at;     // axis time of its first chunk
  int64_t waited; // µs from the latest send (or the chunk before) to it; -1 when nothing came before
};

struct Walk {
  Writer w;
  Answer answer;
  int64_t last_send_at;  // axis time of the latest send, -1 before the first
  int marked_read[2];    // a read of CH1 / CH2 since the latest RRST: the next one reads from the end
};

// Puts bytes into slot 01 or 02 with MOVE (and MADD through slot 03 for
// what one MOVE line cannot hold).
void bytes_to_slot(Writer* w, int slot, const uint8_t* bytes, int n) {
  char16_t lit[kMacroLineUnits];
  int done = 0;
  int first = 1;
  while (done < n) {
    int taken = 0;
    int u = literal_of(bytes + done, n - done, lit, kMoveLiteralUnits, &taken);
    put_line(w, first ? (slot == 1 ? "MOVE 01," : "MOVE 02,") : "MOVE 03,", lit, u);
    if (!first) put_line(w, slot == 1 ? "MADD 01,03" : "MADD 02,03");
    first = 0;
    done += taken;
  }
}

void answer_flush(Walk* k) {
  Answer* a = &k->answer;
  if (!a->active) return;
  a->active = 0;
  Writer* w = &k->w;
  if (w->result.steps >= kMacroFromCaptureSteps) {
    w->result.status = kMacroFromCaptureTooManySteps;
    return;
  }
  int32_t step = ++w->result.steps;
  char name[3];
  step_name(step, name);
  int ch = channel_of(a->kind);
  char when[32];
  seconds_text(a->at, when, sizeof when);
  char line[160];
  std::snprintf(line, sizeof line, "; %s: CH%d received %d bytes, step %s", when, ch, a->count, name);
  put_line(w, line);
  // The limit: twice the answer time, rounded up.
  int64_t limit = a->waited < 0 ? 10 : units_up(2 * a->waited);
  if (limit < 1) limit = 1;
  if (limit > kMostUnits) {
    std::snprintf(line, sizeof line, "; the answer came after %lld.%lld s; a read waits at most 99.9 s",
                  static_cast<long long>(a->waited / 1000000), static_cast<long long>(a->waited / 100000 % 10));
    put_line(w, line);
    limit = kMostUnits;
  }
  if (a->waited < 0) put_line(w, "; nothing came before this answer: the read waits 1 s");
  int32_t wanted = a->count > kMostWanted ? kMostWanted : a->count;
  int32_t compared = a->count > kMacroSlotBytes ? kMacroSlotBytes : a->count;
  if (a->count > kMostWanted) {
    std::snprintf(line, sizeof line, "; the read waits for the first %d of the %d bytes", kMostWanted, a->count);
    put_line(w, line);
  }
  if (compared < a->count) {
    std::snprintf(line, sizeof line, "; bytes %d to %d of this answer are not compared: a slot holds %d bytes",
                  compared + 1, a->count, kMacroSlotBytes);
    put_line(w, line);
    w->result.unchecked_bytes += a->count - compared;
  }
  // Bytes that never come leave what the slot held before the read. A
  // cleared slot holds 00s, which would pass for an answer ending in 00s:
  // such an answer's slot is filled with FF first.
  if (a->bytes[compared - 1] == 0) {
    uint8_t fill[kMacroSlotBytes];
    std::memset(fill, 0xFF, sizeof fill);
    bytes_to_slot(w, 1, fill, compared);
  } else {
    put_line(w, "MCLR 01");
  }
  int from_mark = !k->marked_read[ch - 1];
  k->marked_read[ch - 1] = 1;
  const char* read = from_mark ? (ch == 1 ? "ZRED" : "ZRD2") : (ch == 1 ? "READ" : "RED2");
  std::snprintf(line, sizeof line, "%s 01,%03d,%03d", read, wanted, static_cast<int>(limit));
  put_line(w, line);
  char16_t lit[kMacroLineUnits];
  int taken = 0;
  int u = literal_of(a->bytes, compared, lit, kCompareLiteralUnits, &taken);
  if (taken == compared) {
    std::snprintf(line, sizeof line, "CMPL 01,P%s,", name);
    put_line(w, line, lit, u);
  } else {
    bytes_to_slot(w, 2, a->bytes, compared);
    std::snprintf(line, sizeof line, "CMPM 01,02,P%s", name);
    put_line(w, line);
  }
  std::snprintf(line, sizeof line, ":F%s", name);
  put_line(w, line);
  std::snprintf(line, sizeof line, "; step %s failed: the CH%d answer of %s differs from the capture", name, ch, when);
  put_line(w, line);
  put_line(w, "PEND");
  std::snprintf(line, sizeof line, ":P%s", name);
  put_line(w, line);
}

void send_chunk(Walk* k, const CaptureRecord* records, int32_t first, int32_t count, uint8_t kind, int64_t at,
                int64_t silence) {
  Writer* w = &k->w;
  char line[96];
  for (int64_t left = units_up(silence); left > 0; left -= kMostUnits) {
    std::snprintf(line, sizeof line, "TIME %03d", static_cast<int>(left > kMostUnits ? kMostUnits : left));
    put_line(w, line);
  }
  char when[32];
  seconds_text(at, when, sizeof when);
  std::snprintf(line, sizeof line, "; %s: CH%d sent %d bytes", when, channel_of(kind), count);
  put_line(w, line);
  put_line(w, "RRST ");  // every keyword but PEND takes its space
  k->marked_read[0] = k->marked_read[1] = 0;
  const char* command = kind == kKindSentCh1 ? "SEND " : "SED2 ";
  uint8_t bytes[kSendLiteralUnits];
  char16_t lit[kMacroLineUnits];
  int32_t done = 0;
  while (done < count) {
    int n = count - done > kSendLiteralUnits ? kSendLiteralUnits : count - done;
    for (int i = 0; i < n; i++) bytes[i] = capture_byte(records[first + done + i]);
    int taken = 0;
    int u = literal_of(bytes, n, lit, kSendLiteralUnits, &taken);
    put_line(w, command, lit, u);
    w->result.send_lines++;
    done += taken;
  }
}

}  // namespace

MacroFromCaptureResult macro_from_capture(const CaptureRecord* records, const int64_t* times, int32_t first,
                                          int32_t last, const MacroSink* sink) {
  Walk k{};
  k.w.sink = sink;
  k.last_send_at = -1;
  if (!records || first < 0 || last < first || last >= kCaptureRecords) {
    k.w.result.status = kMacroFromCaptureBadRange;
    return k.w.result;
  }
  const char16_t bom = 0xFEFF;
  put_units(&k.w, &bom, 1);
  char line[96];
  std::snprintf(line, sizeof line, "; Quorrin macro from the capture, records %d to %d", first, last);
  put_line(&k.w, line);
  int32_t at = first, gap = -1;
  TimelineChunk c{};
  int have_previous = 0;
  int64_t previous_time = kTimeUnknown, axis = 0, previous_axis = 0;
  int chunks = 0;
  while (!k.w.failed && k.w.result.status == kMacroFromCaptureOk &&
         timeline_next_chunk(records, times, last + 1, &at, &gap, &c)) {
    chunks++;
    // The chunk's place on the axis: from its time where it and the chunk
    // before have one, else from the gap digits written after that chunk.
    if (have_previous) {
      int64_t delta;
      if (c.time_us != kTimeUnknown && previous_time != kTimeUnknown)
        delta = c.time_us - previous_time;
      else
        delta = c.gap_tenths_before > 0 ? static_cast<int64_t>(c.gap_tenths_before) * kUnitUs : 0;
      if (delta < 0) delta = 0;
      axis = previous_axis + delta;
    }
    int64_t silence = have_previous ? axis - previous_axis : 0;
    if (is_sent(c.kind)) {
      answer_flush(&k);
      if (k.w.result.status != kMacroFromCaptureOk) break;
      send_chunk(&k, records, c.first, c.count, c.kind, axis, silence);
      k.last_send_at = axis;
    } else {
      Answer* a = &k.answer;
      if (!a->active || a->kind != c.kind) {
        answer_flush(&k);
        if (k.w.result.status != kMacroFromCaptureOk) break;
        a->active = 1;
        a->kind = c.kind;
        a->count = 0;
        a->at = axis;
        a->waited = k.last_send_at >= 0 ? axis - k.last_send_at : have_previous ? silence : -1;
      }
      for (int32_t i = 0; i < c.count && a->count + i < kMacroSlotBytes; i++)
        a->bytes[a->count + i] = capture_byte(records[c.first + i]);
      a->count += c.count;
    }
    have_previous = 1;
    previous_time = c.time_us;
    previous_axis = axis;
  }
  if (k.w.result.status == kMacroFromCaptureOk) answer_flush(&k);
  if (k.w.result.status == kMacroFromCaptureOk || k.w.result.status == kMacroFromCaptureTooManySteps) {
    put_line(&k.w, k.w.result.status == kMacroFromCaptureOk ? "; every answer came as captured"
                                                             : "; the capture goes on: more answers than labels");
    put_line(&k.w, "PEND");
  }
  if (chunks == 0 && k.w.result.status == kMacroFromCaptureOk) k.w.result.status = kMacroFromCaptureNothing;
  if (k.w.failed) k.w.result.status = kMacroFromCaptureSinkFailed;
  k.w.result.too_long = k.w.result.units > kMacroBufferUnits;
  return k.w.result;
}

namespace {
struct Buffer {
  uint8_t* out;
  size_t cap;
  size_t used;
};
int buffer_write(void* ctx, const uint8_t* bytes, int n) {
  Buffer* b = static_cast<Buffer*>(ctx);
  if (n < 0 || static_cast<size_t>(n) > b->cap - b->used) return 1;
  std::memcpy(b->out + b->used, bytes, static_cast<size_t>(n));
  b->used += static_cast<size_t>(n);
  return 0;
}
}  // namespace

MacroFromCaptureResult macro_from_capture_into(const CaptureRecord* records, const int64_t* times, int32_t first,
                                               int32_t last, uint8_t* out, size_t cap, size_t* written) {
  Buffer b = {out, cap, 0};
  MacroSink sink = {&b, buffer_write};
  MacroFromCaptureResult r = macro_from_capture(records, times, first, last, &sink);
  *written = b.used;
  return r;
}
