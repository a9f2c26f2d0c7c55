// The plot's memory of a series: min, max and the last value per time
// bucket, in levels of doubling width, so a plot of any length keeps a
// bounded amount of memory and a picture of any span costs at most one
// level's buckets to paint.
//
// Ring levels 0 .. kPlotLevels - 1 hold the newest kPlotBuckets buckets of
// 1 ms, 2 ms, 4 ms ... (level k: kPlotBaseUs << k): the recent past at fine
// resolution. The top level holds everything since the first point in
// kPlotBuckets buckets whose width doubles (pairs merged) as the span grows.
// A view is drawn from the finest level that still holds its start.
//
// Points come in time order (the capture, logs and recordings are); a point
// older than the series' newest is not kept and is counted in `dropped`.
// Pure; nothing allocates but plot_series_new.
#pragma once

#include <cstdint>

constexpr int kPlotBuckets = 2048;
constexpr int kPlotLevels = 12;  // 1 ms .. 2.048 s: the last 4 s .. 70 min at fine resolution
constexpr int64_t kPlotBaseUs = 1000;
constexpr int kPlotSeriesMax = 64;
constexpr int kPlotNameBytes = 48;

struct PlotBucket {
  double min, max, last;
  int32_t n;  // points in it; 0: empty
  int32_t reserved;
};

struct PlotRing {
  int64_t width_us;
  int64_t head;  // bucket number (time / width) of the newest bucket; valid when the series has points
  PlotBucket b[kPlotBuckets];  // bucket number i at b[i % kPlotBuckets]
};

struct PlotSeries {
  char name[kPlotNameBytes];  // bytes as the source gave them ("CH1 T", "slave 1 HR 0")
  int32_t channel;            // 1 or 2, 0 when it belongs to no one channel
  int64_t points, dropped;
  int64_t first_us, last_us;  // valid when points > 0
  PlotRing ring[kPlotLevels];
  int64_t top_origin_us, top_width_us;
  int32_t top_used;
  PlotBucket top[kPlotBuckets];
};

// Every series together stays under 64 MB.
static_assert(sizeof(PlotSeries) * kPlotSeriesMax <= 64ll * 1024 * 1024, "the plot's memory bound");

// A new empty series (null when memory runs short); plot_series_free frees it.
PlotSeries* plot_series_new(const char* name, int32_t channel);
void plot_series_free(PlotSeries* s);
void plot_series_clear(PlotSeries* s);

void plot_series_add(PlotSeries* s, int64_t time_us, double value);

// One pixel column of a picture.
struct PlotColumn {
  double min, max, last;
  int32_t n;  // 0: no point in this column
};

// The envelope of the span [from_us, to_us) in `columns` equal columns:
// each column holds the buckets that start in it (a bucket wider than a
// column lands in every column it covers). Returns the bucket width used:
// where it divides the columns' width and their start, each column holds
// exactly its points' min, max and last.
int64_t plot_envelope(const PlotSeries* s, int64_t from_us, int64_t to_us, int32_t columns, PlotColumn* out);

// The value the series had at `time_us` (the last one at or before it, to
// the resolution of the finest level holding that time): 1 and *value, or
// 0 when the series had no point by then.
int plot_value_at(const PlotSeries* s, int64_t time_us, double* value);

// A list of series by name, up to kPlotSeriesMax; a series beyond it is
// not kept and is counted.
struct PlotSet {
  PlotSeries* series[kPlotSeriesMax];
  int32_t n;
  int64_t refused;  // points of series that found no room
};
// The series named `name` of `channel`, made when new; null when the set is
// full (or memory ran short).
PlotSeries* plot_set_series(PlotSet* set, const char* name, int32_t channel);
void plot_set_free(PlotSet* set);
