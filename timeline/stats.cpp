#include "timeline/stats.h"

#include <algorithm>

namespace {

int silence_class(int64_t quiet_us) {
  if (quiet_us < 1000) return kSilenceUnder1ms;
  if (quiet_us < 10000) return kSilence1to10ms;
  if (quiet_us < 100000) return kSilence10to100ms;
  if (quiet_us < 1000000) return kSilence100msTo1s;
  return kSilenceOver1s;
}

// The nearest-rank percentile of n sorted values: the value at rank
// ceil(n * percent / 100).
int64_t nearest_rank(const int64_t* sorted, int32_t n, int percent) {
  int64_t rank = (static_cast<int64_t>(n) * percent + 99) / 100;
  if (rank < 1) rank = 1;
  return sorted[rank - 1];
}

}  // namespace

void timeline_stats(const CaptureRecord* records, const int64_t* times, int32_t count, int line_monitor,
                    const LineShape shape[2], TimelineStats* out, const LineEvent* events, int32_t event_count,
                    int64_t base) {
  for (TimelineStream& s : out->streams) s = {0, 0, kTimeUnknown, kTimeUnknown, -1};
  for (int64_t& s : out->silences) s = 0;
  out->latency_count = 0;
  out->latency_min = out->latency_median = out->latency_p95 = out->latency_max = kTimeUnknown;
  out->latency_kept = 0;
  out->outages = 0;
  out->outage_ms = 0;
  int64_t known_bytes[4] = {0, 0, 0, 0};     // bytes of the chunks with known times
  int64_t earliest_bytes[4] = {0, 0, 0, 0};  // and of the earliest of them
  // The request waiting for its answer, per channel (line monitor: CH1 only).
  int waiting[2] = {0, 0};
  int64_t request_time[2] = {kTimeUnknown, kTimeUnknown};

  int32_t next_event = 0;
  // Counts the events placed before absolute place `until`; those that
  // break a channel's line forget the request it waits with.
  auto events_before = [&](int64_t until) {
    for (; next_event < event_count && events[next_event].place < until; next_event++) {
      const LineEvent& e = events[next_event];
      if (e.kind == kEventLost) out->outages++;
      if (e.kind == kEventBack) out->outage_ms += e.detail;
      if (!line_event_breaks(e.kind)) continue;
      // A line monitor pairs across the two channels: any break ends it.
      if (line_monitor || e.channel == 0) waiting[0] = waiting[1] = 0;
      else if (e.channel <= 2) waiting[e.channel - 1] = 0;
    }
  };

  int32_t at = 0, gap = -1;
  TimelineChunk previous{};
  int have_previous = 0;
  TimelineChunk c;
  while (timeline_next_chunk(records, times, count, &at, &gap, &c)) {
    events_before(base + c.first + 1);
    TimelineStream& s = out->streams[c.kind - 1];
    s.chunks++;
    s.bytes += c.count;
    int64_t t = c.time_us;
    if (t != kTimeUnknown) {
      known_bytes[c.kind - 1] += c.count;
      if (s.first_us == kTimeUnknown || t < s.first_us) {
        s.first_us = t;
        earliest_bytes[c.kind - 1] = c.count;
      }
      if (s.last_us == kTimeUnknown || t > s.last_us) s.last_us = t;
      if (have_previous && previous.time_us != kTimeUnknown) {
        // Too far apart to subtract: the longest class.
        const int64_t quiet = timeline_silence_us(previous, c, shape);
        out->silences[silence_class(quiet == kTimeUnknown ? INT64_MAX : quiet)]++;
      }
    }
    previous = c;
    have_previous = 1;

    int channel = c.kind <= kKindSentCh1 ? 0 : 1;
    int request = line_monitor ? channel == 0 : c.kind == kKindSentCh1 || c.kind == kKindSentCh2;
    int lane = line_monitor ? 0 : channel;
    if (request) {
      waiting[lane] = 1;
      request_time[lane] = t;
    } else if (waiting[lane]) {  // an answer: received data, or CH2 data on a line monitor
      waiting[lane] = 0;
      if (t != kTimeUnknown && request_time[lane] != kTimeUnknown) {
        // A latency beyond the int64 range only comes from a damaged file.
        const int64_t latency = time_sub_us(t, request_time[lane]);
        if (latency != kTimeUnknown) {
          if (out->latency_count == 0 || latency < out->latency_min) out->latency_min = latency;
          if (out->latency_count == 0 || latency > out->latency_max) out->latency_max = latency;
          out->latency_count++;
          if (out->latency_kept < kTimelineLatencyKept) out->latencies[out->latency_kept++] = latency;
        }
      }
    }
  }

  events_before(INT64_MAX);
  for (int k = 0; k < 4; k++) {
    TimelineStream& s = out->streams[k];
    if (s.first_us == kTimeUnknown || s.last_us <= s.first_us) continue;
    double span_s = static_cast<double>(static_cast<uint64_t>(s.last_us) - static_cast<uint64_t>(s.first_us)) / 1e6;
    s.rate = static_cast<double>(known_bytes[k] - earliest_bytes[k]) / span_s;
  }
  if (out->latency_kept > 0) {
    std::sort(out->latencies, out->latencies + out->latency_kept);
    out->latency_median = nearest_rank(out->latencies, out->latency_kept, 50);
    out->latency_p95 = nearest_rank(out->latencies, out->latency_kept, 95);
  }
}
