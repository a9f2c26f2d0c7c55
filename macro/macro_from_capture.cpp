#include "macro/macro_from_capture.h"

#include <cstdio>
#include <cstring>

#include "codec/notation.h"
#include "macro/macro.h"
#include "timeline/chunks.h"

namespace {

constexpr int64_t kUnitUs = static_cast<int64_t>(kMacroTimeUnitMs) * 1000;
constexpr int32_t kMostUnits = 999;   // a three-column field of TIME and the read commands
constexpr int32_t kMostWanted = 999;  // the read's length field
// The first letter of the label each part of a long answer is compared at,
// after the first: the parts of step 01 are read at :Q01, :R01 and :S01.
constexpr char kPartLabels[] = "PQRS";
static_assert((kMostWanted + kMacroSlotBytes - 1) / kMacroSlotBytes <= 4, "a label letter for every part");
// Room for the literal after "CMPL 01,P01," and after "SEND " / "MOVE 02,".
constexpr int kCompareLiteralUnits = kMacroLineUnits - 12;
constexpr int kSendLiteralUnits = kMacroLineUnits - 5;
constexpr int kMoveLiteralUnits = kMacroLineUnits - 8;

struct Writer {
  const ByteSink* sink;
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

// What one channel received since the latest send: one answer.
struct Answer {
  int active;
  uint8_t kind;
  int32_t count;
  uint8_t bytes[kMostWanted];  // the first bytes, as many as a read waits for
  int64_t at;          // axis time of its first chunk
  int64_t first_start; // axis time its first byte began
  int64_t last_end;    // axis time its last byte ended
};

struct Walk {
  Writer w;
  MacroReplayLines lines;
  Answer answers[2];  // CH1, CH2
  int64_t reference;  // axis time the answers are waited for from: the end of the latest send
  int sent;           // a send came before (else the reference is the range's start)
};

// Puts bytes into slot 01 or 02 with MOVE (and MADD through slot 03 for
// what one MOVE line cannot hold).
void bytes_to_slot(Writer* w, int slot, const uint8_t* bytes, int n) {
  char16_t lit[kMacroLineUnits];
  int done = 0;
  int first = 1;
  while (done < n) {
    int taken = 0;
    int u = notation_write_fit(bytes + done, n - done, lit, kMoveLiteralUnits, &taken);
    put_line(w, first ? (slot == 1 ? "MOVE 01," : "MOVE 02,") : "MOVE 03,", lit, u);
    if (!first) put_line(w, slot == 1 ? "MADD 01,03" : "MADD 02,03");
    first = 0;
    done += taken;
  }
}

// The read's limit in units for answer `a` of channel ch (1, 2).
int64_t answer_limit_us(const Walk* k, const Answer* a, int ch) {
  const LineShape shape = k->lines.shape[ch - 1];
  int64_t latency = a->first_start - k->reference;
  if (latency < 0) latency = 0;
  const int64_t on_line = line_chars_us(shape, a->count);
  int64_t pauses = a->last_end - a->first_start - on_line;
  if (pauses < 0) pauses = 0;
  return 2 * (latency + pauses) + on_line + static_cast<int64_t>(k->lines.hold_ms[ch - 1]) * 1000 +
         kMacroReplayMarginMs * 1000;
}

void answer_flush(Walk* k, int ch) {
  Answer* a = &k->answers[ch - 1];
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
  char when[32];
  seconds_text(a->at, when, sizeof when);
  char line[160];
  std::snprintf(line, sizeof line, "; %s: CH%d received %d bytes, step %s", when, ch, a->count, name);
  put_line(w, line);
  const int64_t limit_us = answer_limit_us(k, a, ch);
  int64_t limit = units_up(limit_us);
  if (!k->sent) {
    put_line(w, "; nothing was sent before this answer: the read waits at least 1 s");
    if (limit < 10) limit = 10;
  }
  if (limit < 1) limit = 1;
  if (limit > kMostUnits) {
    std::snprintf(line, sizeof line, "; the answer needs %lld.%lld s; a read waits at most 99.9 s",
                  static_cast<long long>(limit_us / 1000000), static_cast<long long>(limit_us / 100000 % 10));
    put_line(w, line);
    limit = kMostUnits;
  }
  int32_t wanted = a->count > kMostWanted ? kMostWanted : a->count;
  if (a->count > kMostWanted) {
    std::snprintf(line, sizeof line, "; the read waits for the first %d of the %d bytes; the rest are not compared",
                  kMostWanted, a->count);
    put_line(w, line);
    w->result.unchecked_bytes += a->count - kMostWanted;
  }
  // The first read waits for the whole answer and takes what a slot holds;
  // each further part is read again from the mark, past the bytes compared
  // already (ZSKP), with the answer there by then. A part that differs
  // goes to the failure label; the last one that matches to the pass label.
  const int parts = (wanted + kMacroSlotBytes - 1) / kMacroSlotBytes;
  for (int part = 0; part < parts; part++) {
    const int32_t from = part * kMacroSlotBytes;
    const int32_t size = wanted - from < kMacroSlotBytes ? wanted - from : kMacroSlotBytes;
    const uint8_t* expected = a->bytes + from;
    const int last = part == parts - 1;
    if (part > 0) {
      std::snprintf(line, sizeof line, ":%c%s", kPartLabels[part], name);
      put_line(w, line);
      std::snprintf(line, sizeof line, "ZSKP %03d", from);
      put_line(w, line);
    }
    // Bytes that never come leave what the slot held before the read. A
    // cleared slot holds 00s, which would pass for an answer ending in
    // 00s: such a part's slot is filled with FF first.
    if (expected[size - 1] == 0) {
      uint8_t fill[kMacroSlotBytes];
      std::memset(fill, 0xFF, sizeof fill);
      bytes_to_slot(w, 1, fill, size);
    } else {
      put_line(w, "MCLR 01");
    }
    std::snprintf(line, sizeof line, "%s 01,%03d,%03d", ch == 1 ? "ZRED" : "ZRD2", part == 0 ? wanted : size,
                  part == 0 ? static_cast<int>(limit) : 1);
    put_line(w, line);
    if (part > 0 && last) put_line(w, "ZSKP 000");  // the next step reads from the mark's first byte
    const char next = last ? 'P' : kPartLabels[part + 1];
    char16_t lit[kMacroLineUnits];
    int taken = 0;
    int u = notation_write_fit(expected, size, lit, kCompareLiteralUnits, &taken);
    if (taken == size) {
      std::snprintf(line, sizeof line, "CMPL 01,%c%s,", next, name);
      put_line(w, line, lit, u);
    } else {
      bytes_to_slot(w, 2, expected, size);
      std::snprintf(line, sizeof line, "CMPM 01,02,%c%s", next, name);
      put_line(w, line);
    }
    if (!last) {
      std::snprintf(line, sizeof line, "GOTO F%s", name);
      put_line(w, line);
    }
  }
  std::snprintf(line, sizeof line, ":F%s", name);
  put_line(w, line);
  std::snprintf(line, sizeof line, "; step %s failed: the CH%d answer of %s differs from the capture", name, ch, when);
  put_line(w, line);
  put_line(w, "PEND");
  std::snprintf(line, sizeof line, ":P%s", name);
  put_line(w, line);
}

// Both channels' answers since the latest send, the one that began first
// first.
void answers_flush(Walk* k) {
  const Answer* a = k->answers;
  int first = a[1].active && (!a[0].active || a[1].at < a[0].at) ? 2 : 1;
  answer_flush(k, first);
  if (k->w.result.status == kMacroFromCaptureOk) answer_flush(k, 3 - first);
}

void send_chunk(Walk* k, const CaptureRecord* records, int32_t first, int32_t count, uint8_t kind, int64_t at,
                int64_t silence) {
  Writer* w = &k->w;
  char line[96];
  // Under one unit the macro's own lines are the pause.
  for (int64_t left = silence < kUnitUs ? 0 : units_up(silence); left > 0; left -= kMostUnits) {
    std::snprintf(line, sizeof line, "TIME %03d", static_cast<int>(left > kMostUnits ? kMostUnits : left));
    put_line(w, line);
  }
  char when[32];
  seconds_text(at, when, sizeof when);
  std::snprintf(line, sizeof line, "; %s: CH%d sent %d bytes", when, channel_of(kind), count);
  put_line(w, line);
  put_line(w, "RRST ");  // every keyword but PEND takes its space
  const char* command = kind == kKindSentCh1 ? "SEND " : "SED2 ";
  uint8_t bytes[kSendLiteralUnits];
  char16_t lit[kMacroLineUnits];
  int32_t done = 0;
  while (done < count) {
    int n = count - done > kSendLiteralUnits ? kSendLiteralUnits : count - done;
    for (int i = 0; i < n; i++) bytes[i] = capture_byte(records[first + done + i]);
    int taken = 0;
    int u = notation_write_fit(bytes, n, lit, kSendLiteralUnits, &taken);
    put_line(w, command, lit, u);
    w->result.send_lines++;
    done += taken;
  }
}

}  // namespace

uint32_t macro_receive_hold_ms(const LineTimeouts& t) {
  constexpr uint32_t kNone = 0xFFFFFFFFu;  // MAXDWORD: no interval time-out
  const uint64_t total =
      static_cast<uint64_t>(t.read_total_constant) + static_cast<uint64_t>(t.read_total_multiplier) * 100;
  const uint32_t whole = total > 0xFFFFFFFFull ? kNone : static_cast<uint32_t>(total);
  const int interval = t.read_interval != 0 && t.read_interval != kNone;
  if (interval && (whole == 0 || t.read_interval < whole)) return t.read_interval;
  return whole;
}

MacroReplayLines macro_replay_lines(const PortSettings port[2]) {
  MacroReplayLines l{};
  line_shapes_of(port, l.shape);
  l.hold_ms[0] = l.hold_ms[1] = macro_receive_hold_ms(kLineTimeouts);
  return l;
}

MacroFromCaptureResult macro_from_capture(const CaptureRecord* records, const int64_t* times, int32_t first,
                                          int32_t last, const MacroReplayLines* lines, const ByteSink* sink) {
  Walk k{};
  k.w.sink = sink;
  if (lines) {
    k.lines = *lines;
  } else {
    k.lines.hold_ms[0] = k.lines.hold_ms[1] = macro_receive_hold_ms(kLineTimeouts);
  }
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
  TimelineChunk previous{};  // the chunk before, its time on the axis
  int have_previous = 0;
  int64_t previous_time = kTimeUnknown, axis = 0;
  int chunks = 0;
  while (!k.w.failed && k.w.result.status == kMacroFromCaptureOk &&
         timeline_next_chunk(records, times, last + 1, &at, &gap, &c)) {
    chunks++;
    // The chunk's place on the axis: from its time where it and the chunk
    // before have one, else from the gap digits written after that chunk.
    const int timed = have_previous && c.time_us != kTimeUnknown && previous_time != kTimeUnknown;
    if (have_previous) {
      int64_t delta;
      if (timed)
        delta = c.time_us - previous_time;
      else
        delta = c.gap_tenths_before > 0 ? static_cast<int64_t>(c.gap_tenths_before) * kUnitUs : 0;
      if (delta < 0) delta = 0;
      axis = previous.time_us + delta;
    }
    TimelineChunk on_axis = c;
    on_axis.time_us = axis;
    const int64_t start = timeline_chunk_start_us(on_axis, k.lines.shape);
    const int64_t end = timeline_chunk_end_us(on_axis, k.lines.shape);
    if (!have_previous) k.reference = start;
    if (is_sent(c.kind)) {
      // The silence by the line: from the end of the bytes before to the
      // start of these; from the gap digits where a time is unknown.
      int64_t silence = 0;
      if (have_previous)
        silence = timed ? timeline_silence_us(previous, on_axis, k.lines.shape) : axis - previous.time_us;
      answers_flush(&k);
      if (k.w.result.status != kMacroFromCaptureOk) break;
      send_chunk(&k, records, c.first, c.count, c.kind, axis, silence);
      k.reference = end;
      k.sent = 1;
    } else {
      Answer* a = &k.answers[channel_of(c.kind) - 1];
      if (!a->active) {
        a->active = 1;
        a->kind = c.kind;
        a->count = 0;
        a->at = axis;
        a->first_start = start;
        a->last_end = end;
      }
      if (end > a->last_end) a->last_end = end;
      for (int32_t i = 0; i < c.count && a->count + i < kMostWanted; i++)
        a->bytes[a->count + i] = capture_byte(records[c.first + i]);
      a->count += c.count;
    }
    have_previous = 1;
    previous_time = c.time_us;
    previous = on_axis;
  }
  if (k.w.result.status == kMacroFromCaptureOk) answers_flush(&k);
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
                                               int32_t last, const MacroReplayLines* lines, uint8_t* out, size_t cap,
                                               size_t* written) {
  Buffer b = {out, cap, 0};
  ByteSink sink = {&b, buffer_write};
  MacroFromCaptureResult r = macro_from_capture(records, times, first, last, lines, &sink);
  *written = b.used;
  return r;
}
