#include "plot/plot_store.h"

#include <cstdlib>
#include <cstring>

static int64_t floor_div(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

static void bucket_put(PlotBucket* b, double v) {
  if (b->n == 0) {
    b->min = b->max = v;
  } else {
    if (v < b->min) b->min = v;
    if (v > b->max) b->max = v;
  }
  b->last = v;
  b->n++;
}

static PlotBucket bucket_merge(const PlotBucket& a, const PlotBucket& b) {
  if (a.n == 0) return b;
  if (b.n == 0) return a;
  PlotBucket m = a;
  if (b.min < m.min) m.min = b.min;
  if (b.max > m.max) m.max = b.max;
  m.last = b.last;
  m.n = a.n + b.n;
  return m;
}

PlotSeries* plot_series_new(const char* name, int32_t channel) {
  PlotSeries* s = static_cast<PlotSeries*>(malloc(sizeof(PlotSeries)));
  if (!s) return nullptr;
  size_t n = strnlen(name, kPlotNameBytes - 1);
  memcpy(s->name, name, n);
  s->name[n] = 0;
  s->channel = channel;
  plot_series_clear(s);
  return s;
}

void plot_series_free(PlotSeries* s) { free(s); }

void plot_series_clear(PlotSeries* s) {
  s->points = s->dropped = 0;
  s->first_us = s->last_us = 0;
  for (int k = 0; k < kPlotLevels; k++) {
    s->ring[k].width_us = kPlotBaseUs << k;
    s->ring[k].head = 0;
  }
  s->top_origin_us = 0;
  s->top_width_us = kPlotBaseUs;
  s->top_used = 0;
}

static void ring_add(PlotRing* r, int64_t time_us, double v, int first) {
  int64_t at = floor_div(time_us, r->width_us);
  if (first) {
    r->b[at % kPlotBuckets + (at % kPlotBuckets < 0 ? kPlotBuckets : 0)].n = 0;
    r->head = at;
  } else if (at > r->head) {
    // The buckets between the old head and the new one were empty.
    int64_t from = at - r->head > kPlotBuckets ? at - kPlotBuckets + 1 : r->head + 1;
    for (int64_t i = from; i <= at; i++) r->b[(i % kPlotBuckets + kPlotBuckets) % kPlotBuckets].n = 0;
    r->head = at;
  }
  bucket_put(&r->b[(at % kPlotBuckets + kPlotBuckets) % kPlotBuckets], v);
}

static void top_add(PlotSeries* s, int64_t time_us, double v) {
  if (s->top_used == 0 && s->points == 0) {
    s->top_width_us = kPlotBaseUs;
    s->top_origin_us = floor_div(time_us, kPlotBaseUs) * kPlotBaseUs;
  }
  int64_t at = (time_us - s->top_origin_us) / s->top_width_us;
  while (at >= kPlotBuckets) {
    for (int i = 0; i < kPlotBuckets / 2; i++) s->top[i] = bucket_merge(s->top[2 * i], s->top[2 * i + 1]);
    for (int i = kPlotBuckets / 2; i < kPlotBuckets; i++) s->top[i].n = 0;
    s->top_used = (s->top_used + 1) / 2;
    s->top_width_us *= 2;
    at = (time_us - s->top_origin_us) / s->top_width_us;
  }
  for (int64_t i = s->top_used; i <= at; i++) s->top[i].n = 0;
  if (at + 1 > s->top_used) s->top_used = static_cast<int32_t>(at + 1);
  bucket_put(&s->top[at], v);
}

void plot_series_add(PlotSeries* s, int64_t time_us, double value) {
  if (s->points > 0 && time_us < s->last_us) {
    s->dropped++;
    return;
  }
  int first = s->points == 0;
  for (int k = 0; k < kPlotLevels; k++) ring_add(&s->ring[k], time_us, value, first);
  top_add(s, time_us, value);
  if (first) s->first_us = time_us;
  s->last_us = time_us;
  s->points++;
}

// The finest ring level that still holds time t (its oldest bucket starts
// at or before t, or the series began after its oldest bucket), or -1: the
// top level.
static int level_holding(const PlotSeries* s, int64_t t) {
  for (int k = 0; k < kPlotLevels; k++) {
    const PlotRing& r = s->ring[k];
    int64_t oldest = r.head - kPlotBuckets + 1;
    if (oldest * r.width_us <= t || oldest * r.width_us <= s->first_us) return k;
  }
  return -1;
}

struct BucketView {
  const PlotBucket* b;
  int64_t start_us, width_us;
};

// The buckets of the chosen level, oldest first, as (bucket, start) pairs.
static int32_t level_buckets(const PlotSeries* s, int level, int64_t* first_number, int64_t* width_us,
                             int64_t* origin_us) {
  if (level < 0) {
    *first_number = 0;
    *width_us = s->top_width_us;
    *origin_us = s->top_origin_us;
    return s->top_used;
  }
  const PlotRing& r = s->ring[level];
  int64_t oldest = r.head - kPlotBuckets + 1;
  int64_t first = floor_div(s->first_us, r.width_us);
  if (first < oldest) first = oldest;
  *first_number = first;
  *width_us = r.width_us;
  *origin_us = 0;
  return static_cast<int32_t>(r.head - first + 1);
}

static const PlotBucket& level_bucket(const PlotSeries* s, int level, int64_t number) {
  if (level < 0) return s->top[number];
  return s->ring[level].b[(number % kPlotBuckets + kPlotBuckets) % kPlotBuckets];
}

int64_t plot_envelope(const PlotSeries* s, int64_t from_us, int64_t to_us, int32_t columns, PlotColumn* out) {
  for (int32_t x = 0; x < columns; x++) out[x].n = 0;
  if (s->points == 0 || columns <= 0 || to_us <= from_us) return 0;
  int level = level_holding(s, from_us);
  int64_t first, width, origin;
  int32_t count = level_buckets(s, level, &first, &width, &origin);
  int64_t span = to_us - from_us;
  for (int32_t i = 0; i < count; i++) {
    int64_t number = first + i;
    const PlotBucket& b = level_bucket(s, level, number);
    if (b.n == 0) continue;
    int64_t start = origin + number * width;
    int64_t end = start + width;  // exclusive
    if (end <= from_us || start >= to_us) continue;
    // The column of the bucket's start, and for a bucket wider than a
    // column every column it covers.
    int64_t x0 = start <= from_us ? 0 : static_cast<int64_t>((static_cast<__int128>(start - from_us) * columns) / span);
    int64_t x1 = end >= to_us ? columns - 1
                              : static_cast<int64_t>((static_cast<__int128>(end - 1 - from_us) * columns) / span);
    if (x1 < x0 || width * columns <= span) x1 = x0;  // a bucket no wider than a column: its start's column
    for (int64_t x = x0; x <= x1 && x < columns; x++) {
      PlotColumn& c = out[x];
      if (c.n == 0) {
        c.min = b.min;
        c.max = b.max;
      } else {
        if (b.min < c.min) c.min = b.min;
        if (b.max > c.max) c.max = b.max;
      }
      c.last = b.last;
      c.n += b.n;
    }
  }
  return width;
}

int plot_value_at(const PlotSeries* s, int64_t time_us, double* value) {
  if (s->points == 0 || time_us < s->first_us) return 0;
  int level = level_holding(s, time_us);
  int64_t first, width, origin;
  int32_t count = level_buckets(s, level, &first, &width, &origin);
  int64_t at = floor_div(time_us - origin, width);
  if (at > first + count - 1) at = first + count - 1;
  for (int64_t number = at; number >= first; number--) {
    const PlotBucket& b = level_bucket(s, level, number);
    if (b.n > 0) {
      *value = b.last;
      return 1;
    }
  }
  return 0;
}

PlotSeries* plot_set_series(PlotSet* set, const char* name, int32_t channel) {
  for (int32_t i = 0; i < set->n; i++)
    if (set->series[i]->channel == channel && strncmp(set->series[i]->name, name, kPlotNameBytes - 1) == 0)
      return set->series[i];
  if (set->n >= kPlotSeriesMax) return nullptr;
  PlotSeries* s = plot_series_new(name, channel);
  if (!s) return nullptr;
  set->series[set->n++] = s;
  return s;
}

void plot_set_free(PlotSet* set) {
  for (int32_t i = 0; i < set->n; i++) plot_series_free(set->series[i]);
  set->n = 0;
  set->refused = 0;
}
