#include "plot/plot_build.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "find/find_rows.h"
#include "find/find_source.h"

namespace {

constexpr int64_t kSecondUs = 1000000;

void hold(PlotBuild* b, int64_t local_us, int32_t channel, const char* name, double value) {
  if (local_us == kTimeUnknown) return;
  PlotPoint p;
  p.time_us = local_us;
  p.value = value;
  p.channel = channel;
  const size_t k = strnlen(name, sizeof p.name - 1);  // cut as it would print
  memcpy(p.name, name, k);
  p.name[k] = 0;
  if (b->o.live && !b->in_frame) {
    if (b->o.sink) b->o.sink(b->o.sink_ctx, p);
    return;
  }
  try {
    b->held.push_back(p);
  } catch (...) {
    b->lost++;
  }
}

int64_t local_of(const PlotBuild* b, int64_t t) {
  return find_local_us(t, b->wall_offset_us, b->o.zone_minutes_at);
}

// Hands on the held points before `until` (all of them for kTimeUnknown),
// in time order.
void release(PlotBuild* b, int64_t until) {
  std::stable_sort(b->held.begin(), b->held.end(),
                   [](const PlotPoint& x, const PlotPoint& y) { return x.time_us < y.time_us; });
  size_t n = 0;
  while (n < b->held.size() && (until == kTimeUnknown || b->held[n].time_us < until)) {
    if (b->o.sink) b->o.sink(b->o.sink_ctx, b->held[n]);
    n++;
  }
  b->held.erase(b->held.begin(), b->held.begin() + static_cast<std::ptrdiff_t>(n));
}

void close_bin(PlotBuild* b, int s) {
  if (b->bin[s] < 0) return;
  static const char* const kName[2] = {"RX bytes/s", "TX bytes/s"};
  hold(b, (b->bin[s] + 1) * kSecondUs, s / 2 + 1, kName[s % 2], static_cast<double>(b->bin_bytes[s]));
}

// A chunk's bytes counted in its stream's 1 s bin, told at the bin's end
// (when the count is whole, so never before a point already told); a quiet
// stretch between bins draws as 0 (its first and last second).
void count_bytes(PlotBuild* b, int s, int64_t local_us, int32_t bytes) {
  if (local_us == kTimeUnknown) return;
  const int64_t bin = local_us / kSecondUs;
  if (bin != b->bin[s]) {
    close_bin(b, s);
    static const char* const kName[2] = {"RX bytes/s", "TX bytes/s"};
    if (b->bin[s] >= 0 && bin > b->bin[s] + 1) {
      hold(b, (b->bin[s] + 2) * kSecondUs, s / 2 + 1, kName[s % 2], 0);
      if (bin > b->bin[s] + 2) hold(b, bin * kSecondUs, s / 2 + 1, kName[s % 2], 0);
    }
    if (bin > b->bin[s]) {
      b->bin[s] = bin;
      b->bin_bytes[s] = 0;
    }
  }
  b->bin_bytes[s] += bytes;
}

void text_of_chunk(PlotBuild* b, const CaptureSnapshot& s, const TimelineChunk& c) {
  const int ch = (c.kind - 1) / 2 + 1;
  PlotLineSplit* split = &b->split[ch - 1];
  uint8_t bytes[256];
  PlotLineValue values[kPlotLineValues];
  for (int32_t at = 0; at < c.count;) {
    int32_t n = 0;
    while (n < static_cast<int32_t>(sizeof bytes) && at + n < c.count) {
      bytes[n] = s.records[c.first + at + n].data;
      n++;
    }
    at += n;
    for (int32_t k = 0; k < n;) {
      int32_t used = 0;
      const int ended = plot_line_feed(split, bytes + k, n - k, &used);
      k += used;
      if (!ended) continue;
      const int found = plot_parse_line(split->line, split->n, values, kPlotLineValues);
      for (int i = 0; i < found; i++) {
        char name[kPlotNameBytes];
        if (values[i].bare) {
          // "#1" .. "#64": a line gives at most kPlotLineValues values.
          static_assert(kPlotLineValues < 100, "two digits name a bare value");
          const int bare = values[i].bare;
          int k = 0;
          name[k++] = '#';
          if (bare >= 10) name[k++] = static_cast<char>('0' + bare / 10);
          name[k++] = static_cast<char>('0' + bare % 10);
          name[k] = 0;
        } else
          memcpy(name, values[i].key, kPlotKeyBytes);  // a key and its terminator
        hold(b, local_of(b, c.time_us), ch, name, values[i].value);
      }
    }
  }
}

// Each frame as the pass decides it: a paired read answer's values, and
// its latency.
void on_frame(void* ctx, const ModbusFrame& m, const ModbusFrame* request) {
  PlotBuild* b = static_cast<PlotBuild*>(ctx);
  if (m.role != kMonitorAnswer || !request) return;
  b->in_frame = 1;
  const int64_t t = local_of(b, m.time_us);
  if (b->o.timing && m.latency_us != kTimeUnknown)
    hold(b, t, m.channel, "latency ms", static_cast<double>(m.latency_us) / 1000.0);
  if (!b->o.modbus) {
    b->in_frame = 0;
    return;
  }
  PlotRegisterPoint points[kModbusMonitorBitBytes * 8];
  const int32_t n = plot_modbus_points(*request, m, points, kModbusMonitorBitBytes * 8);
  static const PlotRegisterRead kPlain = {kPlotU16, 0, 1.0};
  for (int32_t i = 0; i < n; i++) {
    const PlotRegisterRead* read = b->o.read_of ? b->o.read_of(b->o.read_ctx, points[i].name, m.channel) : nullptr;
    double v;
    if (plot_register_value(points[i], read ? *read : kPlain, &v)) hold(b, t, m.channel, points[i].name, v);
  }
  b->in_frame = 0;
}

// The earliest time the pass may still decide a frame at: what its last
// decode carries into the next stretch (from record `cut` on, and the far
// frames a stretch's end may have cut). kTimeUnknown: nothing.
int64_t undecided_from(const PlotBuild* b) {
  const FindPass& f = b->pass;
  int64_t from = kTimeUnknown;
  auto earlier = [&](int64_t t) {
    if (t != kTimeUnknown && (from == kTimeUnknown || t < from)) from = t;
  };
  if (f.cut >= 0 && f.cut < f.joined.count && f.joined.times) earlier(local_of(b, f.joined.times[f.cut]));
  for (int32_t k : f.far_frame)
    if (k >= 0 && k < f.frames.n) earlier(local_of(b, f.frames.frames[k].time_us));
  return from;
}

}  // namespace

int plot_build_begin(PlotBuild* b, const PlotBuildOptions& o) {
  b->o = o;
  for (PlotLineSplit& s : b->split) plot_line_reset(&s);
  b->have_prev = 0;
  for (int s = 0; s < 4; s++) b->bin[s] = -1, b->bin_bytes[s] = 0;
  b->held.clear();
  b->in_frame = 0;
  b->lost = 0;
  b->wall_offset_us = 0;
  find_pass_end(&b->pass);
  b->pass = FindPass{};
  if (!o.modbus && !o.timing) return 0;
  FindQuery q{};
  q.what = kFindBadFrame;
  q.streams = 0xF;
  q.modbus = o.modbus_options;
  q.shape[0] = o.modbus_options.shape[0];
  q.shape[1] = o.modbus_options.shape[1];
  if (find_pass_begin(&b->pass, q)) return 1;
  b->pass.on_frame = on_frame;
  b->pass.on_frame_ctx = b;
  return 0;
}

void plot_build_end(PlotBuild* b) {
  find_pass_end(&b->pass);
  b->held.clear();
  b->held.shrink_to_fit();
}

void plot_build_break(PlotBuild* b) {
  for (PlotLineSplit& s : b->split) plot_line_reset(&s, s.n > 0 || s.overlong);
  b->have_prev = 0;
}

int plot_build_stretch(PlotBuild* b, const CaptureSnapshot& s, const LineShape* shape,
                       const std::atomic<int>* cancel) {
  b->wall_offset_us = s.wall_offset_us;
  const LineShape* lines = shape ? shape : b->o.modbus_options.shape;
  int32_t at = 0, gap = -1;
  int32_t last_of[2] = {-1, -1};  // each channel's last record read in this stretch
  TimelineChunk c;
  for (int32_t k = 0; timeline_next_chunk(s.records, s.times, s.count, &at, &gap, &c); k++) {
    if (cancel && k % 1024 == 0 && cancel->load()) return 1;
    const int ch = (c.kind - 1) / 2 + 1;
    const int64_t t = local_of(b, c.time_us);
    if (b->o.text && (c.kind == kKindRecvCh1 || c.kind == kKindRecvCh2)) {
      if (timeline_line_broken_between(s.events, s.event_count, s.base, ch, last_of[ch - 1], c.first))
        plot_line_reset(&b->split[ch - 1], b->split[ch - 1].n > 0 || b->split[ch - 1].overlong);
      text_of_chunk(b, s, c);
    }
    last_of[ch - 1] = c.first + c.count - 1;
    if (b->o.timing) {
      if (b->have_prev) {
        const TimelineQuiet q = timeline_silence_of(b->prev, c, lines);
        if (q.us != kTimeUnknown) hold(b, t, ch, "silence ms", static_cast<double>(q.us) / 1000.0);
      }
      count_bytes(b, c.kind - 1, t, c.count);
    }
    b->prev = c;
    b->have_prev = 1;
  }
  if (b->o.modbus || b->o.timing) {
    FindList none = {nullptr, 0, 0, 0};
    if (find_pass_run(&b->pass, s, &none, cancel, shape)) return 1;
    release(b, undecided_from(b));
    find_pass_next_stretch(&b->pass);
  } else {
    release(b, kTimeUnknown);
  }
  return 0;
}

int plot_build_finish(PlotBuild* b, const std::atomic<int>* cancel) {
  if (b->o.modbus || b->o.timing) {
    FindList none = {nullptr, 0, 0, 0};
    if (find_pass_finish(&b->pass, &none, cancel)) return 1;
  }
  for (int s = 0; s < 4; s++) close_bin(b, s);
  release(b, kTimeUnknown);
  return 0;
}

int32_t plot_csv_row(const PlotPoint& p, int64_t origin, char* out, int32_t room) {
  char seconds[40], day[24];
  find_time_texts(p.time_us, origin, p.time_us, seconds, day);
  // A value as short as reads back the same.
  char value[32];
  snprintf(value, sizeof value, "%.15g", p.value);
  if (strtod(value, nullptr) != p.value) snprintf(value, sizeof value, "%.17g", p.value);
  char name[2 * kPlotNameBytes + 3];
  int32_t k = 0;
  const int quote = strpbrk(p.name, ",\"\r\n") != nullptr;
  if (quote) name[k++] = '"';
  for (const char* c = p.name; *c; c++) {
    if (*c == '"') name[k++] = '"';
    name[k++] = *c;
  }
  if (quote) name[k++] = '"';
  name[k] = 0;
  const int n = snprintf(out, static_cast<size_t>(room), "%s,%s,CH%d,%s,%s\r\n", seconds, day, p.channel, name, value);
  return n < 0 || n >= room ? -1 : n;
}
