// Statistics of the link: per stream chunks, bytes and rate, the silences
// between chunks in classes, and request-to-answer latencies, over records
// handed in. Shown by the link statistics window (timeline/link_stats.h).
#pragma once

#include <cstdint>

#include "app/capture.h"
#include "timeline/chunks.h"

constexpr int kTimelineLatencyKept = 4096;

// How late a received chunk's time can be after a quiet line, in ms, as
// the link statistics' precision line says it: a conservative bound. The
// receive thread takes the time when the read that waits for a chunk's
// first byte completes (serial/receive_win.cpp); measured after 4 s of
// quiet, a median of 0 to 3 ms and at most 8 ms on a busy 2-core machine
// (bench/results/latency.md). Sent chunks are timed as their writes
// complete.
constexpr int kTimelineRxLateAfterQuietMs = 25;

// One stream: one channel in one direction.
struct TimelineStream {
  int64_t chunks;
  int64_t bytes;
  int64_t first_us, last_us;  // earliest and latest known chunk time, or kTimeUnknown
  // Average rate in bytes/s over first_us .. last_us: the bytes of the
  // chunks with known times, less those of the earliest one (its bytes came
  // in before its time was taken), over the span; -1 when fewer than two
  // known times span any time.
  double rate;
};

enum TimelineSilence {
  kSilenceUnder1ms = 0,
  kSilence1to10ms,
  kSilence10to100ms,
  kSilence100msTo1s,
  kSilenceOver1s,  // 1 s and more
  kSilenceClasses,
};

struct TimelineStats {
  TimelineStream streams[4];          // by kind - 1: CH1 RX, CH1 TX, CH2 RX, CH2 TX
  int64_t silences[kSilenceClasses];  // silences between consecutive chunks (timeline_silence_us), both times known
  // Request to answer: each answer is timed from the latest request before
  // it that no answer has taken yet. Count, min and max cover every
  // latency; median and 95th percentile (nearest rank) the first
  // kTimelineLatencyKept of them, which `latencies` holds sorted. µs;
  // kTimeUnknown when there is none.
  int64_t latency_count;
  int64_t latency_min, latency_median, latency_p95, latency_max;
  int32_t latency_kept;
  int64_t latencies[kTimelineLatencyKept];
  // Outages of the lines: ports lost, and the time they were away as the
  // events of their return say (an outage still going on has no length yet).
  int64_t outages;
  int64_t outage_ms;
};

// Fills *out. Requests are sent chunks and answers the received chunks on
// the same channel; with line_monitor set (both channels receive, one tap
// each way) requests are CH1 data and answers CH2 data. Chunks of unknown
// time count in chunks and bytes only. Times two receive threads took out
// of order give negative silences, counted under 1 ms.
// `events` are the capture's line events (absolute places, record 0 at
// `base`, in place order): they give the outages, and a request is never
// paired with an answer across an event that broke its channel's line
// (the port lost, back, closed or opened, a log loaded, the capture
// cleared).
void timeline_stats(const CaptureRecord* records, const int64_t* times, int32_t count, int line_monitor,
                    const LineShape shape[2], TimelineStats* out, const LineEvent* events = nullptr,
                    int32_t event_count = 0, int64_t base = 0);
