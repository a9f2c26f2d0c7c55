// What the link statistics window shows, made from the timeline's
// statistics: every figure as text, the bar lengths and bins of its two
// small charts, and the whole as plain text for the clipboard. The window
// and the copy take their figures from the same functions, so they always
// agree. The words (headings, stream and class names) come from the
// caller, who has them from the message table; the figures are digits and
// ASCII signs only.
#pragma once

#include <cstdint>

#include "timeline/stats.h"

constexpr int kLinkStatsFigureUnits = 32;  // one figure with its terminator
constexpr int kLinkStatsLatencyBins = 8;
constexpr int kLinkStatsLatencyFigures = 5;  // count, minimum, median, 95th percentile, maximum
constexpr int kLinkStatsStreams = 4;        // CH1 RX, CH1 TX, CH2 RX, CH2 TX

// A count in decimal.
void link_stats_count_text(int64_t value, char16_t out[kLinkStatsFigureUnits]);

// A rate in bytes/s rounded to one decimal ("1234.5"), or "-" when it is
// unknown (negative, as TimelineStream gives it, or not a number).
void link_stats_rate_text(double rate, char16_t out[kLinkStatsFigureUnits]);

// µs as ms with three decimals ("12.345", "-0.250"), or "-" for
// kTimeUnknown.
void link_stats_ms_text(int64_t us, char16_t out[kLinkStatsFigureUnits]);

// ms as seconds with three decimals ("3.250").
void link_stats_seconds_text(int64_t ms, char16_t out[kLinkStatsFigureUnits]);

// Latency figure k (0 count, 1 minimum, 2 median, 3 95th percentile,
// 4 maximum) of s as the window shows it: the count in decimal, the others
// in ms. Any other k gives "-".
void link_stats_latency_text(const TimelineStats* s, int k, char16_t out[kLinkStatsFigureUnits]);

// Length in pixels of the bar for `value` when `most` fills `full`
// pixels: never longer than full, at least 1 pixel for any value above 0,
// and 0 for a value of 0 or less (or nothing to scale by).
int link_stats_bar(int64_t value, int64_t most, int full);

// The kept latencies in kLinkStatsLatencyBins bins of equal width from the
// smallest to the largest of them; the largest falls in the last bin. All
// alike: every one in the first bin. used is 0 when none is kept (every
// count 0 and the range kTimeUnknown).
struct LinkStatsBins {
  int64_t from_us, to_us;
  int64_t count[kLinkStatsLatencyBins];
  int32_t used;
};
void link_stats_latency_bins(const TimelineStats* s, LinkStatsBins* out);

// The precision line: `format` with its one integer field ("%d", flags and
// width allowed) replaced by `value` and "%%" by "%". A format whose
// fields are anything but one "d" (a damaged message file) is copied as it
// stands. out holds out_units units; a longer line is cut, and always
// terminated.
void link_stats_precision_text(const char16_t* format, int value, char16_t* out, int out_units);

// The words of the copy text, one pointer per text (none may be null).
struct LinkStatsLabels {
  const char16_t* title;
  const char16_t* chunks;
  const char16_t* bytes;
  const char16_t* rate;
  const char16_t* streams[kLinkStatsStreams];
  const char16_t* silences;
  const char16_t* silence[kSilenceClasses];
  const char16_t* latency;
  const char16_t* latency_mode;  // what is timed: a request to its answer, or CH1 to CH2
  const char16_t* latency_figure[kLinkStatsLatencyFigures];
  const char16_t* outages;       // how many times a port was lost
  const char16_t* outage_time;   // the time they were away, in s
  const char16_t* precision;     // the precision line, already made
};

// The figures as plain text, one line each, fields separated by tabs,
// lines ended by CR LF:
//   title
//   <tab>chunks<tab>bytes<tab>rate
//   stream<tab>N<tab>N<tab>R          (four lines)
//   silences
//   class<tab>N                       (five lines)
//   latency
//   latency_mode
//   figure<tab>V                      (five lines)
//   outages<tab>N
//   outage_time<tab>S
//   precision
// Into out of out_units units with a terminator. Returns the length
// without the terminator, or -1 when it does not fit (out is then an empty
// string, if it has room for one).
int link_stats_text(const TimelineStats* s, const LinkStatsLabels* labels, char16_t* out, int out_units);
