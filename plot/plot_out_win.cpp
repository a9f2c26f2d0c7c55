#include "plot/plot_out_win.h"

#include <cstdio>
#include <cstring>

#include "find/find_source.h"
#include "timeline/chunks.h"

void plot_out_flush(PlotOut* o) {
  DWORD done = 0;
  if (o->n > 0 && !o->failed && (!WriteFile(o->file, o->buffer, static_cast<DWORD>(o->n), &done, nullptr) ||
                                 done != static_cast<DWORD>(o->n)))
    o->failed = 1;
  o->n = 0;
}

namespace {

int series_wanted(const PlotOut* o, const PlotPoint& p) {
  if (o->series_n == 0) return 1;
  char own[kPlotNameBytes + 8];
  std::snprintf(own, sizeof own, "CH%d %s", p.channel, p.name);
  for (int i = 0; i < o->series_n; i++)
    if (std::strcmp(o->series[i], p.name) == 0 || std::strcmp(o->series[i], own) == 0) return 1;
  return 0;
}

}  // namespace

void plot_row_out(void* ctx, const PlotPoint& p) {
  PlotOut* o = static_cast<PlotOut*>(ctx);
  if (!series_wanted(o, p)) return;
  if ((o->from.given || o->bounded) && p.time_us < o->from_us) return;
  if ((o->to.given || o->bounded) && p.time_us > o->to_us) return;
  if (o->picture) {
    PlotSeries* s = plot_set_series(o->picture, p.name, p.channel);
    if (s) plot_series_add(s, p.time_us, p.value), o->rows++;
    else o->picture->refused++;
    return;
  }
  if (static_cast<int>(sizeof o->buffer) - o->n < 256) plot_out_flush(o);
  const int32_t n = plot_csv_row(p, o->origin, o->buffer + o->n, static_cast<int32_t>(sizeof o->buffer) - o->n);
  if (n > 0) o->n += n, o->rows++;
}

void plot_origin(PlotOut* o, const CaptureSnapshot& s, int32_t (*zone)(int64_t)) {
  if (o->origin != kTimeUnknown) return;
  const int64_t first = timeline_first_time_us(s.records, s.times, s.count);
  o->origin = find_local_us(first, s.wall_offset_us, zone);
  if (o->origin == kTimeUnknown) return;
  if (o->from.given) o->from_us = record_time_resolve(o->from, o->origin);
  if (o->to.given) o->to_us = record_time_resolve_end(o->to, o->origin);
}
