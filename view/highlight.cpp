#include "view/highlight.h"

#include <cstring>

namespace {

constexpr char16_t kTab = 0x09;

void add_problem(HighlightRules* out, int32_t line, int reason, FindPatternResult bad) {
  if (out->problem_count < kHighlightProblems) out->problems[out->problem_count] = {line, reason, bad};
  out->problem_count++;
}

int same(const char16_t* units, int n, const char* word) {
  int k = 0;
  while (word[k] && k < n && units[k] == static_cast<char16_t>(word[k])) k++;
  return !word[k] && k == n;
}

int hex_value(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// Parses one rule line (line end removed): 0 with *rule filled, or a reason.
int parse_rule(const char16_t* line, int len, const AnsiCodec* codec, HighlightRule* rule, FindPatternResult* bad) {
  // Four tabs end the first four fields; the pattern is the rest.
  int start[5], end[5];
  int fields = 0, from = 0;
  for (int i = 0; i <= len && fields < 4; i++) {
    if (i == len || line[i] == kTab) {
      start[fields] = from;
      end[fields] = i;
      fields++;
      from = i + 1;
    }
  }
  if (fields < 4 || from > len) return kHighlightFields;
  start[4] = from;
  end[4] = len;
  const int64_t rgb = highlight_colour_read(line + start[0], end[0] - start[0]);
  if (rgb < 0) return kHighlightBadColour;
  if (end[1] - start[1] != 1) return kHighlightBadForm;
  const int form = line[start[1]];
  const char16_t* ch = line + start[2];
  const int ch_n = end[2] - start[2];
  const int channel = same(ch, ch_n, "*") ? 0 : same(ch, ch_n, "1") ? 1 : same(ch, ch_n, "2") ? 2 : -1;
  if (channel < 0) return kHighlightBadChannel;
  const char16_t* dir = line + start[3];
  const int dir_n = end[3] - start[3];
  const int direction = same(dir, dir_n, "*") ? 0 : same(dir, dir_n, "RX") ? 1 : same(dir, dir_n, "TX") ? 2 : -1;
  if (direction < 0) return kHighlightBadDirection;
  return highlight_rule_from_fields(static_cast<uint32_t>(rgb), form, channel, direction, line + start[4],
                                    end[4] - start[4], codec, rule, bad);
}

// Takes one line as a rule: 1 when it is one, 0 when it is to be kept as read.
int take_line(HighlightRules* out, const char16_t* line, int len, int too_long, int32_t number,
              const AnsiCodec* codec) {
  if (too_long) {
    add_problem(out, number, kHighlightLineTooLong, {});
    return 0;
  }
  if (len == 0) return 0;
  int enabled = 1;
  if (line[0] == u';') {
    if (len < 5 || !same(line, 4, ";off") || line[4] != kTab) return 0;  // a comment
    enabled = 0;
    line += 5;
    len -= 5;
  }
  static HighlightRule rule;  // large: kept off the stack
  FindPatternResult bad = {};
  const int reason = parse_rule(line, len, codec, &rule, &bad);
  if (reason) {
    add_problem(out, number, reason, bad);
    return 0;
  }
  if (out->count >= kHighlightRules) {
    add_problem(out, number, kHighlightTooMany, {});
    return 0;
  }
  rule.enabled = enabled;
  out->rules[out->count++] = rule;
  return 1;
}

// Keeps a line that is no rule as the file holds it (`n` units, little-endian).
void keep_line(HighlightRules* out, const uint8_t* bytes, int32_t n) {
  if (out->kept_count >= kHighlightKeptLines || n > kHighlightKeptUnits - out->kept_units) {
    out->kept_lost = 1;
    return;
  }
  HighlightKept& k = out->kept[out->kept_count++];
  k = {out->count, out->kept_units, n};
  for (int32_t i = 0; i < n; i++)
    out->kept_text[k.at + i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  out->kept_units += n;
}

// Writes units and a CR LF to the sink: 0, or 1 when it refused them.
int write_line(const char16_t* units, int32_t n, const ByteSink* sink) {
  uint8_t bytes[2 * (kHighlightLineUnits + 2)];
  int32_t b = 0;
  for (int32_t i = 0; i <= n + 1; i++) {
    const char16_t u = i < n ? units[i] : i == n ? u'\r' : u'\n';
    bytes[b++] = static_cast<uint8_t>(u & 0xFF);
    bytes[b++] = static_cast<uint8_t>(u >> 8);
    if (b == static_cast<int32_t>(sizeof bytes) || i == n + 1) {
      if (sink->write(sink->ctx, bytes, b) != 0) return 1;
      b = 0;
    }
  }
  return 0;
}

int put_ascii(char16_t* out, const char* text) {
  int u = 0;
  for (; text[u]; u++) out[u] = static_cast<char16_t>(text[u]);
  return u;
}

int is_data(uint8_t kind) { return kind >= kKindRecvCh1 && kind <= kKindSentCh2; }

// The streams with bytes in records from .. to - 1.
int32_t streams_in(const CaptureRecord* records, int32_t from, int32_t to) {
  int32_t wanted = 0;
  for (int32_t i = from; i < to && wanted != 15; i++)
    if (is_data(records[i].kind)) wanted |= 1 << (records[i].kind - 1);
  return wanted;
}

uint32_t stream_bit(const ModbusFrame& m) { return 1u << (2 * (m.channel - 1) + (m.sent ? 1 : 0)); }

// The streams whose bytes came on after the work's decode was made (bit
// kind - 1): their last frame in it may be one the decode saw while its
// bytes were still coming. Records past hi are not looked at; a decode
// more than kHighlightLookBack records behind counts every stream.
uint32_t cut_streams(const CaptureRecord* records, int32_t hi, int64_t base, const HighlightWork* work) {
  const int64_t end = work->frames_end - base;  // the decode's end among the records
  if (end >= hi) return 0;
  if (end < 0 || hi - end > kHighlightLookBack) return 15;
  uint32_t grown = 0;
  for (int64_t i = end; i < hi && grown != 15; i++)
    if (is_data(records[i].kind)) grown |= 1u << (records[i].kind - 1);
  return grown;
}

// 1 when frame k is the last of its stream in the decode and that stream
// is among `open`: a frame the decode could not have decided (its verdict
// waits for a decode that saw what followed). A stream's last frame is
// looked for among the frames of the decode's last kHighlightLookBack
// records: a stream quiet longer than that (to the decode's end, `decoded`
// records) has its last frame decided.
int frame_cut(const ModbusFrame* frames, int32_t n, int32_t k, uint32_t open, int64_t decoded) {
  const uint32_t bit = stream_bit(frames[k]);
  if (!(open & bit)) return 0;
  const int32_t floor = frames[k].last_record;
  if (decoded - floor > kHighlightLookBack) return 0;
  for (int32_t j = k + 1; j < n; j++) {
    if (stream_bit(frames[j]) == bit) return 0;
    if (frames[j].first_record - floor > kHighlightLookBack) return 0;
  }
  return 1;
}

// 1 when frame k is the first of its stream in the decode (looked for
// among the frames of the kHighlightLookBack records before it).
int frame_first(const ModbusFrame* frames, int32_t k) {
  const uint32_t bit = stream_bit(frames[k]);
  for (int32_t j = k - 1; j >= 0; j--) {
    if (stream_bit(frames[j]) == bit) return 0;
    if (frames[k].first_record - frames[j].first_record > kHighlightLookBack) return 0;
  }
  return 1;
}

// Colours, by rule r (an F rule), the bad frames of the work's decode with
// records in the stretch lo .. hi - 1 (record 0 at absolute place `base`).
void mark_bad_frames(const HighlightRule& h, int r, const CaptureRecord* records, int32_t lo, int32_t first,
                     int32_t hi, int64_t base, HighlightWork* work, HighlightMarks* out) {
  const ModbusFrame* frames = work->frames;
  const int32_t n = work->frame_count;
  if (!frames || n <= 0) return;
  // The stretch in the decode's record terms.
  const int64_t from = base + lo - work->frames_base, to = base + hi - work->frames_base;
  if (to <= 0) return;
  // The first frame that begins in the stretch, then back over every frame
  // begun up to kHighlightLookBack records before it: one begun farther
  // back that runs into the stretch (a long NOT MODBUS entry) spans more
  // than that and is coloured by no paint, as a byte match would be.
  int32_t a = 0, b = n;
  while (a < b) {
    const int32_t mid = a + (b - a) / 2;
    if (frames[mid].first_record < from) a = mid + 1;
    else b = mid;
  }
  while (a > 0 && from - frames[a - 1].first_record <= kHighlightLookBack) a--;
  // With a window of the recording after this one, any stream's last frame
  // may run on into it; with one before, any stream's first frame may be
  // the rest of one begun there.
  const int beyond = (work->edges & kHighlightWindowAfter) &&
                     !(work->after_last >= 0 && work->frames_trail >= work->after_last);
  const uint32_t open = cut_streams(records, hi, base, work) | (beyond ? 15u : 0u);
  for (int32_t k = a; k < n && frames[k].first_record < to; k++) {
    const ModbusFrame& m = frames[k];
    if (m.last_record < from || m.last_record - m.first_record > kHighlightLookBack) continue;
    if (open && frame_cut(frames, n, k, open, work->frames_end - work->frames_base)) continue;
    // A decode that read the window before (its lead) saw where each
    // stream's frames began there.
    if ((work->edges & kHighlightWindowBefore) && !work->frames_lead && frame_first(frames, k)) continue;
    int64_t detail = 0;
    if (!find_frame_bad(frames, n, k, work->frames_line_monitor, &detail)) continue;
    const uint8_t kind = static_cast<uint8_t>(kKindRecvCh1 + 2 * (m.channel - 1) + (m.sent ? 1 : 0));
    if (!is_data(kind) || !(h.query.streams >> (kind - 1) & 1u)) continue;
    const int64_t f = m.first_record - from, l = m.last_record - from;  // in the stretch
    if (lo + l < first) continue;  // painted before
    if (work->shown_hi <= 0 || lo + f < work->shown_hi) out->matches[r]++;
    for (int64_t i = f < 0 ? 0 : f; i <= l && i < hi - lo; i++) {
      if (records[lo + i].kind != kind || out->rule[i]) continue;
      out->rule[i] = static_cast<uint8_t>(r + 1);
      if (lo + i < first) out->any_before = 1;
    }
  }
}

// The places of each stream's last bytes among records[from .. to - 1]
// (at most kFindPatternMax a stream, back from `to` no farther than
// kHighlightEdgeReach records: a match the edge cuts begins no farther
// back): at[k][j] the record of stream k's j-th byte back from the end (j =
// 0 its last).
struct StreamEnds {
  int32_t n[kFindStreams];
  int32_t at[kFindStreams][kFindPatternMax];
};
void stream_ends(const CaptureRecord* records, int32_t from, int32_t to, StreamEnds* e) {
  for (int k = 0; k < kFindStreams; k++) e->n[k] = 0;
  const int32_t floor = to - from > kHighlightEdgeReach ? to - kHighlightEdgeReach : from;
  for (int32_t i = to - 1; i >= floor; i--) {
    const uint8_t kind = records[i].kind;
    if (is_data(kind) && e->n[kind - 1] < kFindPatternMax) e->at[kind - 1][e->n[kind - 1]++] = i;
  }
}

// The places of each stream's first bytes among records[0 .. count - 1] (at
// most kFindPatternMax a stream): at[k][j] the record of stream k's byte j.
struct StreamStarts {
  int32_t n[kFindStreams];
  int32_t at[kFindStreams][kFindPatternMax];
};
void stream_starts(const CaptureRecord* records, int32_t count, StreamStarts* s) {
  for (int k = 0; k < kFindStreams; k++) s->n[k] = 0;
  for (int32_t i = 0; i < count; i++) {
    const uint8_t kind = records[i].kind;
    if (is_data(kind) && s->n[kind - 1] < kFindPatternMax) s->at[kind - 1][s->n[kind - 1]++] = i;
  }
}

// Where a byte match begun `bytes` bytes before the end of its stream in
// records[from .. to - 1] begins there, or -1 when farther back than
// stream_ends looked.
int32_t match_begins(const StreamEnds& e, uint8_t kind, int64_t bytes) {
  if (!is_data(kind) || bytes <= 0 || bytes > e.n[kind - 1]) return -1;
  return e.at[kind - 1][bytes - 1];
}

// After Find's pass has read records lo .. hi - 1 of `records` (hi the end
// of a recording window): reads on into the next window's first records
// (work->tail) and colours by rule r the records in lo .. hi - 1 of each
// byte match begun in this window that ends in the next. `fed`: each
// stream's bytes the pass had read at hi.
void mark_read_on(int r, const CaptureRecord* records, int32_t lo, int32_t first, int32_t hi,
                  const int64_t fed[kFindStreams], const StreamStarts& starts, const LineShape shape[2],
                  HighlightWork* work, HighlightMarks* out) {
  // A match that ends in the next window ends within its stream's first
  // length - 1 bytes there: no farther is read.
  const int32_t need = work->pass.q.pattern.length - 1;
  int32_t count = 0;
  for (int k = 0; k < kFindStreams; k++) {
    const int32_t n = starts.n[k] < need ? starts.n[k] : need;
    if (n > 0 && starts.at[k][n - 1] + 1 > count) count = starts.at[k][n - 1] + 1;
  }
  if (count > kHighlightEdgeReach) count = kHighlightEdgeReach;
  if (count == 0) return;
  const CaptureSnapshot& a = *work->after;
  CaptureSnapshot& t = work->tail;
  t.records = a.records;
  t.times = a.times;
  t.count = count;
  t.base = a.base;
  t.event_count = 0;
  for (int32_t e = 0; e < a.event_count && t.event_count < kCaptureEvents; e++)
    if (a.events[e].place < a.base + count) t.events[t.event_count++] = a.events[e];
  find_pass_next_stretch(&work->pass);
  FindList list = {work->finds, 0, kHighlightLookBack, 0};  // never full: at most one find a record
  find_pass_run(&work->pass, t, &list, nullptr, shape);
  StreamEnds ends;
  int have_ends = 0;
  for (int32_t f = 0; f < list.n; f++) {
    const FindFound& found = list.items[f];
    if (found.first >= 0) break;  // in the order of their first records: the rest begin in the next window
    if (found.what != kFindBytes || !is_data(found.kind) || found.offset < 0) continue;
    if (!have_ends) stream_ends(records, 0, hi, &ends), have_ends = 1;
    const int32_t at = match_begins(ends, found.kind, fed[found.kind - 1] - found.offset);
    // Begun in the window before this one, or farther from the edge than
    // the next window's paint reads back: coloured by none.
    if (at < 0 || hi - at > kHighlightEdgeReach) continue;
    // Counted when a record of it is on the screen: its stream's last in
    // this window is.
    if (ends.at[found.kind - 1][0] >= first && (work->shown_hi <= 0 || at < work->shown_hi)) out->matches[r]++;
    for (int32_t i = at < lo ? lo : at; i < hi; i++) {
      if (records[i].kind != found.kind || out->rule[i - lo]) continue;
      out->rule[i - lo] = static_cast<uint8_t>(r + 1);
      if (i < first) out->any_before = 1;
    }
  }
}

}  // namespace

void highlight_frames_use(HighlightWork* work, const ModbusMonitorResult* r) {
  const int ok = r && r->count >= 0 && r->frames.frames;
  work->frames = ok ? r->frames.frames : nullptr;
  work->frame_count = ok ? r->frames.n : 0;
  work->frames_base = ok ? r->base - r->lead : 0;
  work->frames_end = ok ? r->base + r->count + r->trail : 0;
  work->frames_trail = ok ? r->trail : 0;
  work->frames_lead = ok ? r->lead : 0;
  work->frames_line_monitor = ok ? r->options.line_monitor : 0;
}

int64_t highlight_colour_read(const char16_t* units, int n) {
  if (n != 6) return -1;
  int64_t v = 0;
  for (int i = 0; i < 6; i++) {
    const int d = hex_value(units[i]);
    if (d < 0) return -1;
    v = v * 16 + d;
  }
  return v;
}

int highlight_rule_from_fields(uint32_t rgb, int form, int channel, int direction, const char16_t* pattern, int n,
                               const AnsiCodec* codec, HighlightRule* rule, FindPatternResult* bad) {
  std::memset(static_cast<void*>(rule), 0, sizeof *rule);  // all zeros: what its defaults are
  *bad = {};
  rule->rgb = rgb & 0xFFFFFF;
  rule->enabled = 1;
  if (channel < 0 || channel > 2) return kHighlightBadChannel;
  if (direction < 0 || direction > 2) return kHighlightBadDirection;
  rule->channel = static_cast<uint8_t>(channel);
  rule->direction = static_cast<uint8_t>(direction);
  if (n < 0 || n > kHighlightPatternUnits) return kHighlightLineTooLong;
  rule->form = static_cast<uint8_t>(form);
  std::memcpy(rule->text, pattern, static_cast<size_t>(n) * sizeof(char16_t));
  rule->text_n = n;
  FindQuery& q = rule->query;
  q.streams = find_streams_of(channel ? 1u << (channel - 1) : 0u, direction ? 1u << (direction - 1) : 0u);
  char16_t z[kHighlightPatternUnits + 1];  // the pattern ended by a zero, for Find's typed readers
  std::memcpy(z, pattern, static_cast<size_t>(n) * sizeof(char16_t));
  z[n] = 0;
  switch (form) {
    case 'S':
    case 'H':
    case 'T':
    case 't': {
      q.what = kFindBytes;
      const FindPatternResult r =
          find_pattern_typed(codec, pattern, n, form == 'S' ? 'N' : form == 'H' ? 'H' : 'T', form == 'T', &q.pattern);
      if (r.fault != kFindPatternOk) {
        *bad = r;
        return kHighlightBadPattern;
      }
      return 0;
    }
    case 'Q':
      q.what = kFindSilence;
      return find_silence_typed(z, &q.silence_us) ? kHighlightBadSilence : 0;
    case 'E':
      q.what = kFindLineEvent;
      q.event = find_event_kind(z);
      return q.event ? 0 : kHighlightBadEvent;
    case 'F':
      q.what = kFindBadFrame;
      return 0;
    default: return kHighlightBadForm;
  }
}

int highlight_parse(const uint8_t* bytes, size_t size, const AnsiCodec* codec, HighlightRules* out) {
  std::memset(static_cast<void*>(out), 0, sizeof *out);
  if (size < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return kHighlightFileNotUtf16;
  char16_t line[kHighlightLineMax];
  int len = 0, too_long = 0;
  int32_t number = 1;
  size_t at = 2;  // where the line begins
  for (size_t i = 2; i + 1 < size; i += 2) {
    const char16_t u = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    if (u == u'\r' || u == u'\n') {
      if (!take_line(out, line, len, too_long, number++, codec))
        keep_line(out, bytes + at, static_cast<int32_t>((i - at) / 2));
      len = too_long = 0;
      if (u == u'\r' && i + 3 < size && bytes[i + 2] == '\n' && bytes[i + 3] == 0) i += 2;  // CR LF
      at = i + 2;
    } else if (len < kHighlightLineMax) {
      line[len++] = u;
    } else {
      too_long = 1;
    }
  }
  const int32_t last = static_cast<int32_t>((size - at) / 2);  // units after the last line end
  if (last > 0 && !take_line(out, line, len, too_long, number, codec)) keep_line(out, bytes + at, last);
  return kHighlightFileOk;
}

int highlight_line(const HighlightRule* rule, char16_t out[kHighlightLineUnits]) {
  int u = 0;
  if (!rule->enabled) u += put_ascii(out, ";off\t");
  static const char kHex[] = "0123456789ABCDEF";
  for (int shift = 20; shift >= 0; shift -= 4) out[u++] = static_cast<char16_t>(kHex[(rule->rgb >> shift) & 15]);
  out[u++] = kTab;
  out[u++] = static_cast<char16_t>(rule->form);
  out[u++] = kTab;
  out[u++] = rule->channel == 1 ? u'1' : rule->channel == 2 ? u'2' : u'*';
  out[u++] = kTab;
  u += put_ascii(out + u, rule->direction == 1 ? "RX" : rule->direction == 2 ? "TX" : "*");
  out[u++] = kTab;
  const int n = rule->text_n < 0 ? 0 : rule->text_n > kHighlightPatternUnits ? kHighlightPatternUnits : rule->text_n;
  std::memcpy(out + u, rule->text, static_cast<size_t>(n) * sizeof(char16_t));
  return u + n;
}

int highlight_write(const HighlightRules* rules, const ByteSink* sink) {
  const uint8_t bom[2] = {0xFF, 0xFE};
  if (sink->write(sink->ctx, bom, 2) != 0) return 1;
  const int count = rules->count < 0 ? 0 : rules->count > kHighlightRules ? kHighlightRules : rules->count;
  const int kept = rules->kept_count < 0 ? 0 : rules->kept_count > kHighlightKeptLines ? kHighlightKeptLines
                                                                                       : rules->kept_count;
  int k = 0;
  for (int r = 0; r <= count; r++) {
    // The lines kept before this rule (after the last: all that are left).
    for (; k < kept && (r == count || rules->kept[k].before <= r); k++) {
      const HighlightKept& line = rules->kept[k];
      if (line.at < 0 || line.n < 0 || line.n > kHighlightKeptUnits - line.at) continue;
      if (write_line(rules->kept_text + line.at, line.n, sink)) return 1;
    }
    if (r == count) break;
    char16_t line[kHighlightLineUnits];
    if (write_line(line, highlight_line(&rules->rules[r], line), sink)) return 1;
  }
  return 0;
}

uint32_t highlight_text_rgb(uint32_t rgb) {
  const uint32_t r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
  // Rec. 601 luma in thousandths: black text from mid grey up.
  return 299 * r + 587 * g + 114 * b >= 128000 ? 0x000000 : 0xFFFFFF;
}

int32_t highlight_longest(const HighlightRules* rules) {
  int32_t longest = 0;
  for (int r = 0; r < rules->count; r++) {
    const HighlightRule& h = rules->rules[r];
    if (h.enabled && h.query.what == kFindBytes && h.query.pattern.length > longest) longest = h.query.pattern.length;
  }
  return longest;
}

const uint8_t* highlight_lead(const HighlightRules* rules) {
  for (int r = 0; r < rules->count && r < kHighlightRules; r++) {
    const HighlightRule& h = rules->rules[r];
    if (!h.enabled || h.query.what != kFindBytes || !h.query.pattern.fold_case) continue;
    for (uint8_t b : h.query.pattern.lead)
      if (b) return h.query.pattern.lead;
  }
  return nullptr;
}

namespace {

int is_lead(const uint8_t* lead, uint8_t b) { return (lead[b >> 3] >> (b & 7)) & 1; }

// Moves `k` back until every stream with bytes from k on begins there on a
// character: a stream whose byte before k holds a lead byte's value may be
// mid-character, so the start goes back over the run of such values to
// its first, which the byte before it (no lead byte's value, as it ends a
// character) or the stream's start makes a character's start.
int32_t to_character_starts(const CaptureRecord* records, int32_t count, int32_t k, int32_t floor,
                            const uint8_t* lead, const uint32_t mid = 0) {
  // Each round moves back over one run per stream; runs of lead values in
  // every stream by turns are bounded by the rounds (binary data).
  for (int moved = 1, rounds = 0; moved && rounds < 64; rounds++) {
    moved = 0;
    const int32_t wanted = streams_in(records, k, count);
    for (int s = 0; s < kFindStreams; s++) {
      if (!(wanted >> s & 1)) continue;
      const uint8_t kind = static_cast<uint8_t>(s + 1);
      int32_t start = k;  // the first of the run of lead values before k, in this stream
      int32_t run = 0;    // its bytes before k
      int32_t i = k - 1;
      for (; i >= 0; i--) {
        if (records[i].kind != kind) continue;
        if (!is_lead(lead, records[i].data)) break;
        start = i;
        run++;
      }
      if (i < 0 && (mid >> s & 1)) {
        // The stream's bytes here go on from a character the window before
        // began: only a reading from there knows where characters begin.
        if (k > 0) k = 0, moved = 1;
        break;
      }
      if (start < floor) {
        // The run begins past the look-back: a character begins at each
        // even byte of it, so the start moves to the first such byte at or
        // past the floor (the run is counted whole: at most the capture).
        int32_t at = run;  // the byte's place in the run, counted down from k
        start = k;
        for (int32_t i = k - 1; i >= floor; i--) {
          if (records[i].kind != kind) continue;
          at--;
          if (at % 2 == 0) start = i;
        }
      }
      if (start < k) {
        k = start;
        moved = 1;
      }
    }
  }
  return k;
}

// The streams whose bytes in `before` end mid-character (bit s): after the
// last byte that holds no lead byte's value, an odd run of lead values; a
// run that fills the whole of `before` counts as one.
uint32_t streams_mid_character(const CaptureSnapshot* before, const uint8_t* lead) {
  if (!before || !before->records || !lead) return 0;
  uint32_t mid = 0, seen = 0;
  int32_t run[kFindStreams] = {};
  for (int32_t i = before->count - 1; i >= 0 && seen != 15; i--) {
    const uint8_t kind = before->records[i].kind;
    if (!is_data(kind) || (seen >> (kind - 1) & 1)) continue;
    if (is_lead(lead, before->records[i].data)) run[kind - 1]++;
    else seen |= 1u << (kind - 1);
  }
  for (int s = 0; s < kFindStreams; s++)
    if (run[s] % 2 || (!(seen >> s & 1) && run[s] > 0)) mid |= 1u << s;
  return mid;
}

}  // namespace

int32_t highlight_window_start(const CaptureRecord* records, int32_t count, int32_t first, int32_t longest,
                               const uint8_t* lead, const CaptureSnapshot* before) {
  if (first > count) first = count;
  if (first <= 0) return 0;
  // Only streams that have bytes in the painted records can end a match
  // there; each needs its own bytes, whatever the others sent between.
  const int32_t wanted = streams_in(records, first, count);
  int32_t need[kFindStreams] = {};
  for (int s = 0; s < kFindStreams; s++) need[s] = (wanted >> s & 1) && longest > 1 ? longest - 1 : 0;
  const int32_t floor = first > kHighlightLookBack ? first - kHighlightLookBack : 0;
  // Chunk starts met walking back: the one at (or holding) `first`, then the one before.
  int starts = 0;
  int32_t k = first;
  if (k < count && is_data(records[k].kind) && (k == 0 || records[k - 1].kind != records[k].kind)) starts = 1;
  while (k > floor) {
    const int done = starts >= 2 && !need[0] && !need[1] && !need[2] && !need[3];
    if (done) break;
    k--;
    const uint8_t kind = records[k].kind;
    if (!is_data(kind)) continue;
    if (need[kind - 1] > 0) need[kind - 1]--;
    if (k == 0 || records[k - 1].kind != kind) starts++;
  }
  return lead ? to_character_starts(records, count, k, floor, lead, streams_mid_character(before, lead)) : k;
}

int32_t highlight_window_end(const CaptureRecord* records, int32_t count, int32_t first, int32_t last,
                             int32_t longest) {
  if (last >= count) return count;
  const int32_t wanted = streams_in(records, first, last);
  int32_t need[kFindStreams] = {};
  for (int s = 0; s < kFindStreams; s++) need[s] = (wanted >> s & 1) && longest > 1 ? longest - 1 : 0;
  const int32_t ceiling = count - last > kHighlightLookBack ? last + kHighlightLookBack : count;
  int32_t k = last;
  for (; k < ceiling && (need[0] || need[1] || need[2] || need[3]); k++)
    if (is_data(records[k].kind) && need[records[k].kind - 1] > 0) need[records[k].kind - 1]--;
  return k;
}

void highlight_mark(const HighlightRules* rules, const CaptureRecord* records, const int64_t* times, int32_t lo,
                    int32_t first, int32_t hi, const LineEvent* events, int32_t event_count, int64_t base,
                    const LineShape shape[2], HighlightWork* work, HighlightMarks* out) {
  if (hi - lo > kHighlightMarks) lo = hi - kHighlightMarks;
  if (first < lo) first = lo;
  out->lo = lo;
  out->hi = hi > lo ? hi : lo;
  out->any_before = 0;
  std::memset(out->matches, 0, sizeof out->matches);
  std::memset(out->rule, 0, static_cast<size_t>(out->hi - out->lo));
  if (hi <= lo) return;
  // The stretch as Find takes it: the records from lo, the events placed
  // from there (events before it are passed over by the pass).
  CaptureSnapshot& s = work->stretch;
  s.records = const_cast<CaptureRecord*>(records + lo);
  s.times = times ? const_cast<int64_t*>(times + lo) : nullptr;
  s.count = hi - lo;
  s.base = base + lo;
  // An event after the last record waits for the record it comes before:
  // Find would mark the record before it, which a later paint would not;
  // unless no record will come (the end of a recording's window).
  s.event_count = 0;
  for (int32_t e = 0; e < event_count && s.event_count < kCaptureEvents; e++)
    if (events[e].place < base + hi || (work->complete && events[e].place == base + hi))
      s.events[s.event_count++] = events[e];
  const int before = lo == 0 && work->before && work->before->count > 0 && work->before->records;
  StreamEnds before_ends;
  if (before) {
    // Where in the window before Find's pass begins: where each stream has
    // the longest pattern's bytes less one before the edge, but no farther
    // back than a match the edge cuts is coloured from (kHighlightEdgeReach);
    // then the chunk before the edge (a silence is measured from it) and
    // every stream on a character's start.
    const CaptureSnapshot& b = *work->before;
    stream_ends(b.records, 0, b.count, &before_ends);
    const int32_t longest = highlight_longest(rules);
    int32_t from = b.count;
    for (int k = 0; k < kFindStreams; k++) {
      const int32_t n = before_ends.n[k] < longest - 1 ? before_ends.n[k] : longest - 1;
      if (n > 0 && before_ends.at[k][n - 1] < from) from = before_ends.at[k][n - 1];
    }
    if (from < b.count - kHighlightEdgeReach) from = b.count - kHighlightEdgeReach;
    int32_t chunk = b.count - 1;
    while (chunk > 0 && !is_data(b.records[chunk].kind)) chunk--;
    while (chunk > 0 && b.records[chunk - 1].kind == b.records[chunk].kind) chunk--;
    if (chunk >= 0 && chunk < from) from = chunk;
    // (A run of lead bytes' values there is counted whole; the start moves
    // back at most another reach to a character of it.)
    if (const uint8_t* lead = highlight_lead(rules))
      from = to_character_starts(b.records, b.count, from, from > kHighlightEdgeReach ? from - kHighlightEdgeReach : 0,
                                 lead);
    CaptureSnapshot& h = work->head;
    h.records = b.records + from;
    h.times = b.times ? b.times + from : nullptr;
    h.count = b.count - from;
    h.base = b.base + from;
    h.event_count = 0;
    for (int32_t e = 0; e < b.event_count && h.event_count < kCaptureEvents; e++)
      if (b.events[e].place >= h.base) h.events[h.event_count++] = b.events[e];
  }
  // The next window's first records, read on into for the byte rules.
  const int after = work->after && work->after->count > 0 && work->after->records;
  StreamStarts starts;
  if (after) {
    const CaptureSnapshot& a = *work->after;
    stream_starts(a.records, a.count < kHighlightEdgeReach ? a.count : kHighlightEdgeReach, &starts);
  }
  for (int r = 0; r < rules->count && r < kHighlightRules; r++) {
    const HighlightRule& h = rules->rules[r];
    if (!h.enabled) continue;
    if (h.query.what == kFindBadFrame) {
      mark_bad_frames(h, r, records, lo, first, hi, base, work, out);
      continue;
    }
    FindQuery q = h.query;
    q.shape[0] = shape[0];
    q.shape[1] = shape[1];
    // Find's pass again from the start for each listful past the first:
    // a screen's worth is one list, a stretch holds a few at most.
    for (int64_t skip = 0;; ) {
      if (find_pass_begin(&work->pass, q)) break;
      FindList list = {work->finds, 0, kHighlightFinds, 0};
      int64_t fed[kFindStreams] = {};
      if (before) {
        // The window before, read for what runs on into this one: its own
        // finds are not this window's.
        list.keep_from = INT32_MAX;
        find_pass_run(&work->pass, work->head, &list, nullptr, shape);
        find_pass_next_stretch(&work->pass);
        list = {work->finds, 0, kHighlightFinds, 0};
        for (int k = 0; k < kFindStreams; k++) fed[k] = work->pass.fed[k];
      }
      list.skip = skip;
      list.keep_from = first - lo;  // finds wholly before it were painted before
      find_pass_run(&work->pass, s, &list, nullptr, shape);
      for (int32_t f = 0; f < list.n; f++) {
        const FindFound& found = list.items[f];
        // A match begun in the window before: its records in this one.
        // That window's paint, reading on into this one, coloured the rest
        // when it lay close enough; the same measure here.
        const int32_t from = found.first < 0 ? 0 : found.first;
        if (found.first < 0 && found.last < 0) continue;
        if (found.first < 0 && found.what == kFindBytes) {
          const CaptureSnapshot& b = *work->before;
          const int32_t at =
              found.offset < 0 ? -1 : match_begins(before_ends, found.kind, fed[found.kind - 1] - found.offset);
          if (at < 0 || b.count - at > kHighlightEdgeReach || found.last >= kHighlightEdgeReach) continue;
        }
        const int32_t last = found.last < from ? from : found.last;
        // A match whose records lie farther apart than the look-back would
        // be found by the paints of some of its records and not by others':
        // it is coloured by none, never in part.
        if (found.what == kFindBytes && found.first >= 0 && last - found.first > kHighlightLookBack) continue;
        if (lo + last >= first && (work->shown_hi <= 0 || lo + from < work->shown_hi)) out->matches[r]++;
        for (int32_t i = from; i <= last && i < s.count; i++) {
          if (s.records[i].kind != found.kind || out->rule[i]) continue;
          out->rule[i] = static_cast<uint8_t>(r + 1);
          if (lo + i < first) out->any_before = 1;
        }
      }
      const int done = list.more <= 0 || list.n <= 0;
      if (done && after && q.what == kFindBytes) {
        int64_t at_end[kFindStreams];
        for (int k = 0; k < kFindStreams; k++) at_end[k] = work->pass.fed[k];
        mark_read_on(r, records, lo, first, hi, at_end, starts, shape, work, out);
      }
      find_pass_end(&work->pass);
      if (done) break;
      skip += list.n;
    }
  }
}

int highlight_sample_matches(const HighlightRule* rule, const uint8_t* bytes, int n) {
  if (rule->query.what != kFindBytes) return -1;
  static FindMatcher m;
  find_matcher_begin(&m, rule->query.pattern, 1u);
  int32_t found = 0;
  auto hit = [](void* ctx, int32_t, int64_t) { ++*static_cast<int32_t*>(ctx); };
  find_matcher_feed(&m, 0, bytes, n, hit, &found);
  return found > 0;
}
