#include "macro/auto_answer.h"

#include <cstring>

#include "codec/notation.h"

namespace {

constexpr char16_t kTab = 0x09;

void add_problem(AutoAnswerRules* out, int32_t line, int reason) {
  if (out->problem_count < kAutoAnswerProblems) out->problems[out->problem_count] = {line, reason};
  out->problem_count++;
}

int same(const char16_t* units, int n, const char* word) {
  int k = 0;
  while (word[k] && k < n && units[k] == static_cast<char16_t>(word[k])) k++;
  return !word[k] && k == n;
}

// A field in the byte notation as bytes: their count, -1 when empty or
// holding a character above FF, -2 when longer than `most`, -3 when it is
// not quoted text and hex pairs.
int bytes_field(const char16_t* units, int n, uint8_t* out, int most) {
  const NotationResult r = notation_read(units, n, out, most);
  switch (r.fault) {
    case kNotationOk: return r.count;
    case kNotationEmpty:
    case kNotationNotByte: return -1;
    case kNotationTooLong: return -2;
    default: return -3;
  }
}

// Decimal 0 .. kAutoAnswerMostDelayMs, or -1.
int32_t delay_field(const char16_t* units, int n) {
  if (n < 1 || n > 5) return -1;
  int32_t v = 0;
  for (int i = 0; i < n; i++) {
    if (units[i] < u'0' || units[i] > u'9') return -1;
    v = v * 10 + (units[i] - u'0');
  }
  return v > kAutoAnswerMostDelayMs ? -1 : v;
}

// Parses one line (line end removed): 0 with *rule filled, or a reason.
int parse_rule(const char16_t* line, int len, AutoAnswerRule* rule) {
  int start[6], end[6];
  int fields = 0;
  int from = 0;
  for (int i = 0; i <= len; i++) {
    if (i == len || line[i] == kTab) {
      if (fields == 6) return kAutoAnswerFields;
      start[fields] = from;
      end[fields] = i;
      fields++;
      from = i + 1;
    }
  }
  int f = 0;
  *rule = {};
  rule->enabled = 1;
  if (fields == 5 && same(line + start[0], end[0] - start[0], "off")) {
    rule->enabled = 0;
    f = 1;
  } else if (fields != 4) {
    return kAutoAnswerFields;
  }
  const char16_t* ch = line + start[f];
  int ch_len = end[f] - start[f];
  int channel = 0;
  if (same(ch, ch_len, "CH1"))
    channel = 1;
  else if (same(ch, ch_len, "CH2"))
    channel = 2;
  else
    return kAutoAnswerBadChannel;
  const int enabled = rule->enabled;
  const int reason = auto_answer_rule_from_fields(channel, line + start[f + 1], end[f + 1] - start[f + 1],
                                                  line + start[f + 2], end[f + 2] - start[f + 2],
                                                  line + start[f + 3], end[f + 3] - start[f + 3], rule);
  rule->enabled = enabled;
  return reason;
}

void take_line(AutoAnswerRules* out, const char16_t* line, int len, int too_long, int32_t number) {
  if (!too_long && len == 0) return;
  if (too_long) {
    add_problem(out, number, kAutoAnswerLineTooLong);
    return;
  }
  AutoAnswerRule rule;
  int reason = parse_rule(line, len, &rule);
  if (reason) {
    add_problem(out, number, reason);
    return;
  }
  if (out->count >= kAutoAnswerRules) {
    add_problem(out, number, kAutoAnswerTooMany);
    return;
  }
  out->rules[out->count++] = rule;
}

int put_ascii(char16_t* out, const char* text) {
  int u = 0;
  while (text[u]) {
    out[u] = static_cast<char16_t>(text[u]);
    u++;
  }
  return u;
}

}  // namespace

int auto_answer_rule_from_fields(int channel, const char16_t* match, int match_units, const char16_t* delay,
                                 int delay_units, const char16_t* answer, int answer_units, AutoAnswerRule* rule) {
  *rule = {};
  rule->enabled = 1;
  if (channel != 1 && channel != 2) return kAutoAnswerBadChannel;
  rule->channel = channel;
  int n = bytes_field(match, match_units, rule->match, kAutoAnswerMatchBytes);
  if (n == -1) return kAutoAnswerBadMatch;
  if (n == -2) return kAutoAnswerMatchTooLong;
  if (n == -3) return kAutoAnswerMatchNotation;
  rule->match_length = n;
  rule->delay_ms = delay_field(delay, delay_units);
  if (rule->delay_ms < 0) return kAutoAnswerBadDelay;
  n = bytes_field(answer, answer_units, rule->answer, kAutoAnswerBytes);
  if (n == -1) return kAutoAnswerBadAnswer;
  if (n == -2) return kAutoAnswerAnswerTooLong;
  if (n == -3) return kAutoAnswerAnswerNotation;
  rule->answer_length = n;
  return 0;
}

int auto_answer_bytes_text(const uint8_t* bytes, int n, char16_t* out) {
  if (n < 0) n = 0;
  if (n > kAutoAnswerBytes) n = kAutoAnswerBytes;
  return notation_write(bytes, n, out);
}

int auto_answer_parse(const uint8_t* bytes, size_t size, AutoAnswerRules* out) {
  std::memset(out, 0, sizeof *out);
  if (size < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) return kAutoAnswerFileNotUtf16;
  char16_t line[kAutoAnswerLineMax];
  int len = 0, too_long = 0;
  int32_t number = 1;
  for (size_t i = 2; i + 1 < size; i += 2) {
    char16_t u = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    if (u == u'\n') {
      if (len > 0 && line[len - 1] == u'\r' && !too_long) len--;
      take_line(out, line, len, too_long, number);
      number++;
      len = 0;
      too_long = 0;
      continue;
    }
    if (len < kAutoAnswerLineMax)
      line[len++] = u;
    else
      too_long = 1;
  }
  if (len > 0 && line[len - 1] == u'\r' && !too_long) len--;
  take_line(out, line, len, too_long, number);
  return kAutoAnswerFileOk;
}

int auto_answer_line(const AutoAnswerRule* rule, char16_t out[kAutoAnswerLineUnits]) {
  int u = 0;
  if (!rule->enabled) u += put_ascii(out + u, "off\t");
  u += put_ascii(out + u, rule->channel == 2 ? "CH2\t" : "CH1\t");
  int m = rule->match_length < 0 ? 0 : rule->match_length > kAutoAnswerMatchBytes ? kAutoAnswerMatchBytes : rule->match_length;
  u += notation_write(rule->match, m, out + u);
  out[u++] = kTab;
  int32_t d = rule->delay_ms < 0 ? 0 : rule->delay_ms > kAutoAnswerMostDelayMs ? kAutoAnswerMostDelayMs : rule->delay_ms;
  char digits[8];
  int k = 0;
  do {
    digits[k++] = static_cast<char>('0' + d % 10);
    d /= 10;
  } while (d > 0);
  while (k > 0) out[u++] = static_cast<char16_t>(digits[--k]);
  out[u++] = kTab;
  int a = rule->answer_length < 0 ? 0 : rule->answer_length > kAutoAnswerBytes ? kAutoAnswerBytes : rule->answer_length;
  u += notation_write(rule->answer, a, out + u);
  return u;
}

int auto_answer_write(const AutoAnswerRules* rules, const ByteSink* sink) {
  const uint8_t bom[2] = {0xFF, 0xFE};
  if (sink->write(sink->ctx, bom, 2) != 0) return 1;
  int count = rules->count < 0 ? 0 : rules->count > kAutoAnswerRules ? kAutoAnswerRules : rules->count;
  for (int r = 0; r < count; r++) {
    char16_t line[kAutoAnswerLineUnits + 2];
    int n = auto_answer_line(&rules->rules[r], line);
    line[n++] = u'\r';
    line[n++] = u'\n';
    uint8_t bytes[2 * (kAutoAnswerLineUnits + 2)];
    for (int i = 0; i < n; i++) {
      bytes[2 * i] = static_cast<uint8_t>(line[i] & 0xFF);
      bytes[2 * i + 1] = static_cast<uint8_t>(line[i] >> 8);
    }
    if (sink->write(sink->ctx, bytes, 2 * n) != 0) return 1;
  }
  return 0;
}

void auto_answer_matcher_begin(AutoAnswerMatcher* m, int channel) {
  std::memset(m, 0, sizeof *m);
  m->channel = channel;
}

int auto_answer_feed(AutoAnswerMatcher* m, AutoAnswerRules* rules, const uint8_t* bytes, int n,
                     AutoAnswerFire* fires, int most, int* used) {
  int found = 0;
  int i = 0;
  int count = rules->count < 0 ? 0 : rules->count > kAutoAnswerRules ? kAutoAnswerRules : rules->count;
  while (i < n && found < most) {
    if (m->held == kAutoAnswerMatchBytes) {
      std::memmove(m->history, m->history + 1, kAutoAnswerMatchBytes - 1);
      m->held--;
    }
    m->history[m->held++] = bytes[i++];
    for (int r = 0; r < count; r++) {
      AutoAnswerRule* rule = &rules->rules[r];
      int len = rule->match_length;
      if (!rule->enabled || rule->channel != m->channel || len < 1 || len > m->held) continue;
      const uint8_t* tail = m->history + m->held - len;
      int k = len - 1;
      while (k >= 0 && tail[k] == rule->match[k]) k--;
      if (k >= 0) continue;
      rule->fired++;
      fires[found++] = {r, rule->channel, rule->delay_ms, rule->answer, rule->answer_length, i};
      m->held = 0;
      break;
    }
  }
  *used = i;
  return found;
}
