#include "macro/macro.h"

#include <cstring>

#include "app/text16.h"
#include "transfer/transfer.h"

namespace {

constexpr char16_t kCr = 0x0D;
constexpr char16_t kLf = 0x0A;
constexpr char16_t kByteOrderMark = 0xFEFF;

enum Command {
  kSend, kSed2, kMsed, kMsd2, kRead, kRed2, kZred, kZrd2, kRrst, kTime, kGoto,
  kCmpm, kCmpl, kMove, kMclr, kMadd, kMmid, kMinc, kHinc, kChka, kChkh, kPend, kZskp,
  kXsnd, kXsd2, kXrcv, kXrc2, kCommands,
};
const char kKeywords[kCommands][5] = {
  "SEND", "SED2", "MSED", "MSD2", "READ", "RED2", "ZRED", "ZRD2", "RRST", "TIME", "GOTO",
  "CMPM", "CMPL", "MOVE", "MCLR", "MADD", "MMID", "MINC", "HINC", "CHKA", "CHKH", "PEND", "ZSKP",
  "XSND", "XSD2", "XRCV", "XRC2",
};

// The macro length as far as the buffer can hold it.
int32_t loaded_length(const MacroState* m) {
  if (m->length < 0) return 0;
  return m->length > kMacroBufferUnits ? kMacroBufferUnits : m->length;
}

// The command whose keyword (and space) begins at p, or -1 for a comment.
int keyword_at(const MacroState* m, int32_t p, int32_t length) {
  for (int c = 0; c < kCommands; c++) {
    int need = c == kPend ? 4 : 5;
    if (p + need > length) continue;
    int k = 0;
    while (k < 4 && m->buffer[p + k] == static_cast<char16_t>(kKeywords[c][k])) k++;
    if (k < 4) continue;
    if (c == kPend || m->buffer[p + 4] == u' ') return c;
  }
  return -1;
}

// The first CR at or after `from`, or the macro length when the text ends first.
int32_t line_cr(const MacroState* m, int32_t from, int32_t length) {
  int32_t i = from;
  while (i < length && m->buffer[i] != kCr) i++;
  return i < length ? i : length;
}

// Past the CR at e and one LF right after it, where they are.
int32_t past_line_end(const MacroState* m, int32_t e, int32_t length) {
  if (e < length && m->buffer[e] == kCr) e++;
  if (e < length && m->buffer[e] == kLf) e++;
  return e;
}

void show_line(const MacroHost* host, const MacroState* m, int32_t p, int32_t e, int32_t length) {
  if (!host->show_step) return;
  char16_t line[kMacroLineUnits + 1];
  int n = e - p > kMacroLineUnits ? kMacroLineUnits : e - p;
  for (int i = 0; i < n; i++) line[i] = m->buffer[p + i];
  line[n] = 0;
  host->show_step(host->ctx, p, length, line, n);
}

// The reason the macro stops: the step, the message text and up to three
// numbers it names.
int stop_with(MacroState* m, int32_t at, int text, int32_t a0 = 0, int32_t a1 = 0, int32_t a2 = 0) {
  m->fault = {at, text, {a0, a1, a2}};
  return kMacroStopped;
}

// The argument of one command line.
struct Args {
  const char16_t* text;
  int count;
};

// Slot field of two columns at `col`; null (and the fault set) when it does
// not read 0 to 99.
MacroSlot* slot_field(MacroState* m, const Args& a, int col, int32_t at, int* outcome) {
  int32_t n = macro_field(a.text, a.count, col, 2);
  if (n < 0 || n >= kMacroSlots) {
    *outcome = stop_with(m, at, kTextMacroBadSlot, n);
    return nullptr;
  }
  return &m->slots[n];
}

// The literal's bytes in out: their count, -1 when the text cannot be
// converted, -2 when its code page form is longer than kMacroLiteralBytes.
int literal_bytes(const AnsiCodec* codec, const char16_t* units, int count, uint8_t out[kMacroLiteralBytes]) {
  if (count <= 0) return 0;
  // Four bytes per unit is the most any code page needs.
  uint8_t scratch[4 * (kMacroLineUnits + 1)];
  if (count > kMacroLineUnits + 1) return -2;
  if (!codec || !codec->encode) return -1;
  int n = codec->encode(codec->ctx, units, count, scratch, static_cast<int>(sizeof scratch));
  if (n <= 0) return -1;
  if (n > kMacroLiteralBytes) return -2;
  std::memcpy(out, scratch, static_cast<size_t>(n));
  return macro_literal(out, n);
}

int literal_or_stop(MacroState* m, const MacroHost* host, const Args& a, int col, int32_t at, uint8_t* out,
                    int* outcome) {
  int n = col < a.count ? literal_bytes(host->codec, a.text + col, a.count - col, out) : 0;
  if (n == -1) *outcome = stop_with(m, at, kTextMacroNotConvertible);
  if (n == -2) *outcome = stop_with(m, at, kTextMacroDataTooLong, kMacroLiteralBytes);
  return n;
}

int send_prepared(const MacroHost* host, int channel, const uint8_t* bytes, int count) {
  if (count <= 0) return kMacroSent;
  if (count > kSendMax) return kMacroTooLong;
  if (channel != 1 && channel != 2) return kMacroNotSent;
  if (!host->write) return kMacroNotSent;
  // Held open around the write, so the answer is recorded after it.
  const int64_t handed = host->capture ? capture_send_begin(host->capture, channel) : kTimeUnknown;
  const int sent = host->write(host->ctx, channel, bytes, count) == 0;
  if (host->capture)
    capture_send_end(host->capture, channel, bytes, sent ? count : 0, handed,
                     host->line_us ? host->line_us(host->ctx, channel, count) : 0);
  return sent ? kMacroSent : kMacroNotSent;
}

// The absolute place of the capture's write position, and of record 0.
CapturePlace place_of(Capture* cap) { return cap ? capture_place(cap) : CapturePlace{0, 0, 0}; }

// RRST: ZRED and ZRD2 count from here on, from the mark's first byte.
void mark_end(MacroState* m, Capture* cap) {
  const CapturePlace p = place_of(cap);
  m->read_mark = p.base + p.write_position;
  m->read_mark_generation = p.generation;
  m->read_skip = 0;
}

// Counts the answer's bytes that arrived since the last look. The receive
// threads append meanwhile; a wrap moves the records down but not their
// absolute places, so the count goes on where it stopped. Records a wrap
// dropped are gone: counting resumes at the oldest record kept. Returns 1
// when a clear or a loaded log replaced the records the read counted from
// (the capture's generation moved on): nothing more is counted then.
int read_scan(MacroWait* w, Capture* cap) {
  const CapturePlace p = capture_place(cap);
  if (p.generation != w->generation) return 1;
  int32_t end = p.write_position > kCaptureRecords ? kCaptureRecords : p.write_position;
  int64_t from = w->scanned > p.base ? w->scanned : p.base;
  for (int64_t i = from; i < p.base + end; i++)
    if (cap->records[i - p.base].kind == w->kind) w->found++;
  w->scanned = p.base + end;
  return 0;
}

// Stores what the read found past the bytes it passes over (at most one
// slot's worth) in its slot.
void read_store(MacroState* m, Capture* cap) {
  MacroWait* w = &m->wait;
  if (w->found <= w->skip) return;
  CapturePlace p = capture_place(cap);
  MacroSlot* slot = &m->slots[w->slot];
  int64_t from = w->start > p.base ? w->start : p.base;
  int64_t to = w->scanned < p.base + p.write_position ? w->scanned : p.base + p.write_position;
  int32_t n = 0, passed = 0;
  for (int64_t i = from; i < to && n < kMacroSlotBytes; i++) {
    if (cap->records[i - p.base].kind != w->kind) continue;
    if (passed < w->skip) passed++;
    else slot->data[n++] = capture_byte(cap->records[i - p.base]);
  }
  if (n > 0) slot->length = n;
}

// One look at the waiting command: kMacroWaiting while it goes on;
// otherwise the command is finished and the next line comes next.
// Jumps to the label of a line (three units at `label`, fewer: no label,
// the end), as GOTO does.
void jump_to(MacroState* m, const char16_t* label, int units) {
  m->position = units >= 3 ? macro_find_label(m, label) : loaded_length(m);
}

int wait_poll(MacroState* m, const MacroHost* host) {
  MacroWait* w = &m->wait;
  if (w->what == kMacroWaitTransfer) {
    const int state = host->transfer_poll ? host->transfer_poll(host->ctx) : 2;
    if (state == 0) return kMacroWaiting;
    w->what = kMacroWaitNone;
    if (state == 1) m->position = past_line_end(m, m->position, loaded_length(m));
    else jump_to(m, w->label, 3);
    return kMacroNext;
  }
  uint32_t elapsed = host->now ? host->now(host->ctx) - w->began : w->limit_ms;
  int over = elapsed >= w->limit_ms;
  if (w->what == kMacroWaitRead) {
    if (read_scan(w, host->capture)) {
      over = 1;  // what it counted is gone: no answer
    } else if (w->found - w->skip >= w->wanted || over) {
      read_store(m, host->capture);
      over = 1;
    }
  }
  if (!over) return kMacroWaiting;
  w->what = kMacroWaitNone;
  int32_t length = loaded_length(m);
  m->position = past_line_end(m, m->position, length);
  return kMacroNext;
}

// The read commands: wait for `wanted` bytes of `kind` (received on the
// read's channel) from the start place on, for at most `limit` tenths.
void read_begin(MacroState* m, const MacroHost* host, uint8_t kind, int from_mark, int32_t slot, int32_t wanted,
                int32_t limit) {
  if (wanted < 1 || limit < 1) return;
  Capture* cap = host->capture;
  if (!cap || !cap->records || !host->now) return;
  MacroWait* w = &m->wait;
  *w = {};
  w->what = kMacroWaitRead;
  w->began = host->now(host->ctx);
  w->limit_ms = static_cast<uint32_t>(limit) * kMacroTimeUnitMs;
  w->slot = slot;
  w->kind = kind;
  w->wanted = wanted;
  const CapturePlace p = capture_place(cap);
  w->start = from_mark ? m->read_mark : p.base + p.write_position;
  w->scanned = w->start;
  // From a mark set before a clear or a load, the records it counts from
  // are gone already: the read ends at its first look without an answer.
  w->generation = from_mark ? m->read_mark_generation : p.generation;
  w->skip = from_mark ? m->read_skip : 0;
}

// Executes one command; *jumped is set when it moved the position to a label.
int execute(MacroState* m, const MacroHost* host, int cmd, int32_t at, const Args& a, int* jumped) {
  int outcome = kMacroNext;
  switch (cmd) {
    case kSend:
    case kSed2: {
      int r = macro_send_text(host, cmd == kSend ? 1 : 2, a.text, a.count);
      if (r == kMacroTooLong) return stop_with(m, at, kTextMacroDataTooLong, kMacroLiteralBytes);
      return r == kMacroSent ? kMacroNext : kMacroSendFailed;
    }
    case kMsed:
    case kMsd2: {
      MacroSlot* s = slot_field(m, a, 0, at, &outcome);
      if (!s) return outcome;
      int r = macro_send_bytes(host, cmd == kMsed ? 1 : 2, s->data, s->length);
      if (r == kMacroTooLong)
        return stop_with(m, at, kTextMacroSlotTooLongToSend, static_cast<int32_t>(s - m->slots), s->length, kSendMax);
      return r == kMacroSent ? kMacroNext : kMacroSendFailed;
    }
    case kRead:
    case kRed2:
    case kZred:
    case kZrd2: {
      MacroSlot* s = slot_field(m, a, 0, at, &outcome);
      if (!s) return outcome;
      uint8_t kind = (cmd == kRead || cmd == kZred) ? kKindRecvCh1 : kKindRecvCh2;
      read_begin(m, host, kind, cmd == kZred || cmd == kZrd2, static_cast<int32_t>(s - m->slots),
                 macro_field(a.text, a.count, 3, 3), macro_field(a.text, a.count, 7, 3));
      return kMacroNext;
    }
    case kRrst:
      if (host->capture) mark_end(m, host->capture);
      return kMacroNext;
    case kZskp: {
      const int32_t n = macro_field(a.text, a.count, 0, 3);
      m->read_skip = n > 0 ? n : 0;
      return kMacroNext;
    }
    case kTime: {
      int32_t n = macro_field(a.text, a.count, 0, 3);
      if (n > 0 && host->now) {
        m->wait = {};
        m->wait.what = kMacroWaitTime;
        m->wait.began = host->now(host->ctx);
        m->wait.limit_ms = static_cast<uint32_t>(n) * kMacroTimeUnitMs;
      }
      return kMacroNext;
    }
    case kGoto:
    case kCmpm:
    case kCmpl: {
      int label_col = cmd == kGoto ? 0 : cmd == kCmpm ? 6 : 3;
      bool equal = true;
      if (cmd == kCmpm) {
        MacroSlot* s = slot_field(m, a, 0, at, &outcome);
        MacroSlot* t = s ? slot_field(m, a, 3, at, &outcome) : nullptr;
        if (!t) return outcome;
        equal = std::memcmp(s->data, t->data, static_cast<size_t>(t->length)) == 0;
      } else if (cmd == kCmpl) {
        MacroSlot* s = slot_field(m, a, 0, at, &outcome);
        if (!s) return outcome;
        uint8_t lit[kMacroLiteralBytes];
        int n = literal_or_stop(m, host, a, 7, at, lit, &outcome);
        if (n < 0) return outcome;
        equal = std::memcmp(s->data, lit, static_cast<size_t>(n)) == 0;
      }
      if (!equal) return kMacroNext;
      // A label name is three units; a shorter one names no label.
      jump_to(m, a.text + label_col, a.count - label_col);
      *jumped = 1;
      return kMacroNext;
    }
    case kXsnd:
    case kXsd2:
    case kXrcv:
    case kXrc2: {
      // p,LLL,literal: the protocol's letter, the label a failure jumps to, the path.
      const int protocol = macro_transfer_protocol(a.count > 0 ? a.text[0] : 0);
      if (protocol < 0) return stop_with(m, at, kTextMacroBadProtocol);
      uint8_t path[kMacroLiteralBytes];
      const int n = literal_or_stop(m, host, a, 6, at, path, &outcome);
      if (n < 0) return outcome;
      const int channel = cmd == kXsnd || cmd == kXrcv ? 1 : 2;
      const int sending = cmd == kXsnd || cmd == kXsd2;
      if (n > 0 && host->transfer_start && host->transfer_poll &&
          host->transfer_start(host->ctx, channel, sending, protocol, path, n) == 0) {
        m->wait = {};
        m->wait.what = kMacroWaitTransfer;
        for (int i = 0; i < 3; i++) m->wait.label[i] = 2 + i < a.count ? a.text[2 + i] : 0;
        return kMacroNext;
      }
      jump_to(m, a.text + 2, a.count - 2);
      *jumped = 1;
      return kMacroNext;
    }
    case kMove: {
      MacroSlot* s = slot_field(m, a, 0, at, &outcome);
      if (!s) return outcome;
      uint8_t lit[kMacroLiteralBytes];
      int n = literal_or_stop(m, host, a, 3, at, lit, &outcome);
      if (n < 0) return outcome;
      std::memcpy(s->data, lit, static_cast<size_t>(n));
      s->length = n;
      return kMacroNext;
    }
    case kMclr: {
      MacroSlot* s = slot_field(m, a, 0, at, &outcome);
      if (!s) return outcome;
      std::memset(s->data, 0, sizeof s->data);
      s->length = 0;
      return kMacroNext;
    }
    case kMadd: {
      MacroSlot* s = slot_field(m, a, 0, at, &outcome);
      MacroSlot* t = s ? slot_field(m, a, 3, at, &outcome) : nullptr;
      if (!t) return outcome;
      int32_t add = t->length;
      if (s->length + add > kMacroSlotBytes)
        return stop_with(m, at, kTextMacroSlotTooLong, static_cast<int32_t>(s - m->slots), s->length + add,
                         kMacroSlotBytes);
      std::memmove(s->data + s->length, t->data, static_cast<size_t>(add));
      s->length += add;
      return kMacroNext;
    }
    case kMmid: {
      MacroSlot* s = slot_field(m, a, 0, at, &outcome);
      MacroSlot* d = s ? slot_field(m, a, 9, at, &outcome) : nullptr;
      if (!d) return outcome;
      int32_t offset = macro_field(a.text, a.count, 3, 2);
      int32_t count = macro_field(a.text, a.count, 6, 2);
      if (offset < 0 || count < 0)
        return stop_with(m, at, kTextMacroBadOffset, offset, count);
      std::memmove(d->data, s->data + offset, static_cast<size_t>(count));
      d->length = count;
      return kMacroNext;
    }
    case kMinc:
    case kHinc: {
      MacroSlot* s = slot_field(m, a, 0, at, &outcome);
      if (!s) return outcome;
      macro_count_up(s, cmd == kHinc);
      return kMacroNext;
    }
    case kChka:
    case kChkh: {
      MacroSlot* s = slot_field(m, a, 0, at, &outcome);
      MacroSlot* d = s ? slot_field(m, a, 3, at, &outcome) : nullptr;
      if (!d) return outcome;
      // The XOR of no bytes is 00, as the checksum of an empty range is.
      uint8_t x = 0;
      for (int32_t i = 0; i < s->length; i++) x ^= s->data[i];
      if (cmd == kChka) {
        static const char kHex[] = "0123456789ABCDEF";
        d->data[0] = static_cast<uint8_t>(kHex[x >> 4]);
        d->data[1] = static_cast<uint8_t>(kHex[x & 15]);
        d->length = 2;
      } else {
        d->data[0] = x;
        d->length = 1;
      }
      return kMacroNext;
    }
    default: return kMacroNext;
  }
}

}  // namespace

int macro_load(MacroState* m, const uint8_t* bytes, size_t count) {
  if (count > static_cast<size_t>(kMacroFileBytes)) count = kMacroFileBytes;
  size_t units = count / 2;
  for (size_t i = 0; i < units; i++)
    m->buffer[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  m->length = 0;
  m->position = 0;
  if (count == 0) return kMacroLoadEmpty;
  if (units == 0 || m->buffer[0] != kByteOrderMark) return kMacroLoadNotUtf16;
  m->length = static_cast<int32_t>(units);
  return kMacroLoadOk;
}

void macro_start(MacroState* m, Capture* capture) {
  m->position = 1;
  mark_end(m, capture);
  m->wait = {};
  m->fault = {};
}

void macro_stop(MacroState* m) { m->wait = {}; }

int macro_step(MacroState* m, const MacroHost* host) {
  if (macro_waiting(m)) return wait_poll(m, host);
  int32_t length = loaded_length(m);
  int32_t p = m->position;
  if (p < 0 || p >= length) return kMacroRanOff;
  int cmd = keyword_at(m, p, length);
  if (cmd < 0) {  // a comment, a label or an empty line
    m->position = past_line_end(m, line_cr(m, p, length), length);
    return kMacroNext;
  }
  if (cmd == kPend) {  // the position stays on the PEND line
    show_line(host, m, p, line_cr(m, p + 4, length), length);
    return kMacroEnded;
  }
  int32_t e = line_cr(m, p + 5, length);
  show_line(host, m, p, e, length);
  m->position = e;
  // A file saved with LF line ends reads as one long line: say so rather
  // than run its lines as one argument.
  for (int32_t i = p; i < e; i++)
    if (m->buffer[i] == kLf)
      return stop_with(m, p, kTextMacroLfAlone);
  // A cut line could send or store the wrong data: such a macro stops.
  if (e - p > kMacroLineUnits) return stop_with(m, p, kTextMacroLineTooLong, kMacroLineUnits);
  char16_t arg[kMacroLineUnits];
  Args a = {arg, static_cast<int>(e - p - 5)};
  for (int i = 0; i < a.count; i++) arg[i] = m->buffer[p + 5 + i];
  int jumped = 0;
  int outcome = execute(m, host, cmd, p, a, &jumped);
  if (outcome == kMacroStopped) return outcome;
  // A wait looks at once (an answer may be there already) and then on
  // every step until it is over; the position stays on the line's CR.
  if (macro_waiting(m)) return wait_poll(m, host);
  if (!jumped) m->position = past_line_end(m, e, length);
  return outcome;
}

int32_t macro_find_label(const MacroState* m, const char16_t name[3]) {
  int32_t length = loaded_length(m);
  int32_t i = 0;
  while (i < length) {
    if (m->buffer[i] == u':' && i + 3 < length && m->buffer[i + 1] == name[0] && m->buffer[i + 2] == name[1] &&
        m->buffer[i + 3] == name[2])
      return i;
    i = past_line_end(m, line_cr(m, i, length), length);
  }
  return length;
}

int macro_literal(uint8_t* bytes, int count) {
  enum { kNone, kDouble, kSingle } quote = kNone;
  int out = 0;
  int i = 0;
  while (i < count) {
    uint8_t c = bytes[i];
    if (quote == kNone) {
      if (c == '"' || c == '\'') {
        quote = c == '"' ? kDouble : kSingle;
        i++;
        continue;
      }
      if (i + 1 >= count) break;  // a lone last byte is dropped
      char16_t pair[2] = {bytes[i], bytes[i + 1]};
      bytes[out++] = static_cast<uint8_t>(convert_hex_value(pair, 2) & 0xFF);
      i += 2;
      continue;
    }
    if ((quote == kDouble && c == '"') || (quote == kSingle && c == '\'')) {
      quote = kNone;
    } else {
      bytes[out++] = c;
    }
    i++;
  }
  return out;
}

int macro_send_text(const MacroHost* host, int channel, const char16_t* units, int count) {
  if (count <= 0) return kMacroSent;
  uint8_t bytes[kMacroLiteralBytes];
  int n = literal_bytes(host->codec, units, count, bytes);
  if (n == -1) return kMacroNotSent;
  if (n == -2) return kMacroTooLong;
  return send_prepared(host, channel, bytes, n);
}

int macro_send_bytes(const MacroHost* host, int channel, const uint8_t* bytes, int count) {
  return send_prepared(host, channel, bytes, count);
}

int macro_transfer_protocol(char16_t letter) {
  switch (letter) {
    case u'R': return kTransferRaw;
    case u'X': return kTransferXmodem;
    case u'K': return kTransferXmodem1k;
    case u'Y': return kTransferYmodem;
    default: return -1;
  }
}

int32_t macro_field(const char16_t* arg, int count, int col, int width) {
  char16_t field[4] = {};
  if (width > 3) width = 3;
  for (int i = 0; i < width && col + i < count; i++) field[i] = arg[col + i];
  return text16_to_int(field, width);
}

void macro_count_up(MacroSlot* s, int hex) {
  int32_t length = s->length;
  if (length < 1 || length > 255) return;
  auto bump = [&](int i) {
    s->data[i]++;
    if (hex && s->data[i] == 0x3A) s->data[i] = 0x41;
  };
  int i = length - 1;
  bump(i);
  for (;;) {
    uint8_t c = s->data[i];
    if (c >= 0x30 && c <= (hex ? 0x46 : 0x39)) return;
    s->data[i] = 0x30;
    if (i == 0) return;
    bump(--i);
  }
}
