#include "timeline/link_stats.h"

#include <cstdio>

#include "settings/message_text.h"

namespace {

void ascii_to_units(const char* s, char16_t out[kLinkStatsFigureUnits]) {
  int i = 0;
  for (; s[i] && i < kLinkStatsFigureUnits - 1; i++) out[i] = static_cast<char16_t>(static_cast<unsigned char>(s[i]));
  out[i] = 0;
}

// Appends to a fixed buffer; once something does not fit, nothing more is
// taken and `full` stays set.
struct Text {
  char16_t* out;
  int units;
  int n;
  int full;
};

void text_put(Text* t, const char16_t* s) {
  for (; *s; s++) {
    if (t->full || t->n >= t->units - 1) {
      t->full = 1;
      return;
    }
    t->out[t->n++] = *s;
  }
}

void text_line_end(Text* t) { text_put(t, u"\r\n"); }

void text_field(Text* t, const char16_t* s) {
  text_put(t, u"\t");
  text_put(t, s);
}

}  // namespace

void link_stats_count_text(int64_t value, char16_t out[kLinkStatsFigureUnits]) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
  ascii_to_units(text, out);
}

void link_stats_rate_text(double rate, char16_t out[kLinkStatsFigureUnits]) {
  // Not a number fails the comparison too. A rate beyond 1e18 bytes/s only
  // comes from a damaged file; "%.1f" of it would still fit, but say "-".
  if (!(rate >= 0) || rate > 1e18) {
    ascii_to_units("-", out);
    return;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", rate);
  ascii_to_units(text, out);
}

void link_stats_ms_text(int64_t us, char16_t out[kLinkStatsFigureUnits]) {
  if (us == kTimeUnknown) {
    ascii_to_units("-", out);
    return;
  }
  // The magnitude as unsigned, so that the most negative time has one too.
  uint64_t magnitude = us < 0 ? 0 - static_cast<uint64_t>(us) : static_cast<uint64_t>(us);
  char text[32];
  std::snprintf(text, sizeof text, "%s%llu.%03u", us < 0 ? "-" : "", static_cast<unsigned long long>(magnitude / 1000),
                static_cast<unsigned>(magnitude % 1000));
  ascii_to_units(text, out);
}

// The same division by 1000: ms to s as µs to ms.
void link_stats_seconds_text(int64_t ms, char16_t out[kLinkStatsFigureUnits]) { link_stats_ms_text(ms, out); }

void link_stats_latency_text(const TimelineStats* s, int k, char16_t out[kLinkStatsFigureUnits]) {
  switch (k) {
    case 0: link_stats_count_text(s->latency_count, out); break;
    case 1: link_stats_ms_text(s->latency_min, out); break;
    case 2: link_stats_ms_text(s->latency_median, out); break;
    case 3: link_stats_ms_text(s->latency_p95, out); break;
    case 4: link_stats_ms_text(s->latency_max, out); break;
    default: ascii_to_units("-", out); break;
  }
}

int link_stats_bar(int64_t value, int64_t most, int full) {
  if (value <= 0 || most <= 0 || full <= 0) return 0;
  if (value >= most) return full;
  // value < most here, so the quotient is below full; in floating point
  // because counts times pixels may leave 64 bits.
  int length = static_cast<int>(static_cast<double>(value) / static_cast<double>(most) * full);
  return length < 1 ? 1 : length;
}

void link_stats_latency_bins(const TimelineStats* s, LinkStatsBins* out) {
  for (int64_t& c : out->count) c = 0;
  out->used = 0;
  out->from_us = out->to_us = kTimeUnknown;
  if (s->latency_kept <= 0) return;
  // The kept latencies are sorted: the range is their first and last.
  const int64_t from = s->latencies[0];
  const int64_t to = s->latencies[s->latency_kept - 1];
  const uint64_t span = static_cast<uint64_t>(to) - static_cast<uint64_t>(from);
  // Bins one µs wider than span / bins, so that the largest lands in the
  // last one and nothing is multiplied past 64 bits.
  const uint64_t width = span / kLinkStatsLatencyBins + 1;
  for (int32_t i = 0; i < s->latency_kept; i++) {
    uint64_t bin = (static_cast<uint64_t>(s->latencies[i]) - static_cast<uint64_t>(from)) / width;
    out->count[bin]++;
  }
  out->from_us = from;
  out->to_us = to;
  out->used = 1;
}

void link_stats_precision_text(const char16_t* format, int value, char16_t* out, int out_units) {
  if (out_units <= 0) return;
  Text t{out, out_units, 0, 0};
  if (!message_fields_match(format, "d")) {
    text_put(&t, format);
    out[t.n] = 0;
    return;
  }
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", value);
  char16_t units[16];
  ascii_to_units(digits, units);
  for (const char16_t* p = format; *p; p++) {
    if (*p != u'%') {
      const char16_t one[2] = {*p, 0};
      text_put(&t, one);
      continue;
    }
    p++;
    if (*p == u'%') {
      text_put(&t, u"%");
      continue;
    }
    // message_fields_match has seen to it that a 'd' ends this field.
    while (*p != u'd') p++;
    text_put(&t, units);
  }
  out[t.n] = 0;
}

int link_stats_text(const TimelineStats* s, const LinkStatsLabels* labels, char16_t* out, int out_units) {
  if (out_units <= 0) return -1;
  Text t{out, out_units, 0, 0};
  char16_t figure[kLinkStatsFigureUnits];
  text_put(&t, labels->title);
  text_line_end(&t);
  text_field(&t, labels->chunks);
  text_field(&t, labels->bytes);
  text_field(&t, labels->rate);
  text_line_end(&t);
  for (int k = 0; k < kLinkStatsStreams; k++) {
    const TimelineStream& stream = s->streams[k];
    text_put(&t, labels->streams[k]);
    link_stats_count_text(stream.chunks, figure);
    text_field(&t, figure);
    link_stats_count_text(stream.bytes, figure);
    text_field(&t, figure);
    link_stats_rate_text(stream.rate, figure);
    text_field(&t, figure);
    text_line_end(&t);
  }
  text_put(&t, labels->silences);
  text_line_end(&t);
  for (int k = 0; k < kSilenceClasses; k++) {
    text_put(&t, labels->silence[k]);
    link_stats_count_text(s->silences[k], figure);
    text_field(&t, figure);
    text_line_end(&t);
  }
  text_put(&t, labels->latency);
  text_line_end(&t);
  text_put(&t, labels->latency_mode);
  text_line_end(&t);
  for (int k = 0; k < kLinkStatsLatencyFigures; k++) {
    text_put(&t, labels->latency_figure[k]);
    link_stats_latency_text(s, k, figure);
    text_field(&t, figure);
    text_line_end(&t);
  }
  text_put(&t, labels->outages);
  link_stats_count_text(s->outages, figure);
  text_field(&t, figure);
  text_line_end(&t);
  text_put(&t, labels->outage_time);
  link_stats_seconds_text(s->outage_ms, figure);
  text_field(&t, figure);
  text_line_end(&t);
  text_put(&t, labels->precision);
  text_line_end(&t);
  if (t.full) {
    out[0] = 0;
    return -1;
  }
  out[t.n] = 0;
  return t.n;
}
