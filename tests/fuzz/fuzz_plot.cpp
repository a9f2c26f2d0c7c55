// Feeds arbitrary bytes as a device's text, cut into chunks at arbitrary
// places with breaks of the line between some, through the line splitter
// and the line parser, then the values into a series. Every line handed
// out fits its buffer and holds no line end; every value is a finite
// number; keys fit their buffer; the envelope of what was kept holds its
// least and greatest value.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "plot/plot_store.h"
#include "plot/plot_text.h"
#include "tests/fuzz/written_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  static PlotSeries* series = plot_series_new("fuzz", 1);
  plot_series_clear(series);
  PlotLineSplit split;
  plot_line_reset(&split);
  PlotLineValue values[kPlotLineValues];
  int64_t t = 0, kept = 0;
  double lo = 0, hi = 0;
  while (in.remaining_bytes() > 0) {
    const size_t n = in.ConsumeIntegralInRange<size_t>(0, 300);
    const bool broken = in.ConsumeBool();
    std::vector<uint8_t> chunk = in.ConsumeBytes<uint8_t>(n);
    if (broken) plot_line_reset(&split, 1);
    const uint8_t* b = chunk.data();
    int32_t left = static_cast<int32_t>(chunk.size()), used = 0;
    while (left > 0) {
      const int ended = plot_line_feed(&split, b, left, &used);
      check(used >= 1 && used <= left);
      b += used;
      left -= used;
      if (!ended) continue;
      check(split.n >= 0 && split.n <= kPlotLineBytes);
      for (int32_t i = 0; i < split.n; i++) check(split.line[i] != '\r' && split.line[i] != '\n');
      const int found = plot_parse_line(split.line, split.n, values, kPlotLineValues);
      check(found >= 0 && found <= kPlotLineValues);
      for (int i = 0; i < found; i++) {
        check(std::isfinite(values[i].value));
        check(strnlen(values[i].key, kPlotKeyBytes) < static_cast<size_t>(kPlotKeyBytes));
        check((values[i].bare == 0) == (values[i].key[0] != 0));
        plot_series_add(series, t, values[i].value);
        if (kept == 0 || values[i].value < lo) lo = values[i].value;
        if (kept == 0 || values[i].value > hi) hi = values[i].value;
        kept++;
      }
      t += 997;
    }
  }
  if (kept > 0) {
    PlotColumn columns[64];
    plot_envelope(series, series->first_us, series->last_us + 1, 64, columns);
    double env_lo = 0, env_hi = 0;
    int any = 0;
    for (const PlotColumn& c : columns) {
      if (!c.n) continue;
      check(c.min <= c.last && c.last <= c.max);
      if (!any || c.min < env_lo) env_lo = c.min;
      if (!any || c.max > env_hi) env_hi = c.max;
      any = 1;
    }
    check(any && env_lo == lo && env_hi == hi);
  }
  return 0;
}
