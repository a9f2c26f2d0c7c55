// Google Benchmark of the plot's memory of a series: 10 million points
// taken in (every level's bucket updated), and the envelope of a series of
// 10 million points painted into 1,600 pixel columns, over all of it and
// over its last second. Results: bench/results/plot.md.
//
// Run after scripts/build.sh: build/native/plot_store_bench
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "plot/plot_store.h"

namespace {

constexpr int64_t kPoints = 10'000'000;
constexpr int64_t kStart = 3'600'000'000;  // points every 100 µs: about 17 minutes

void fill(PlotSeries* s) {
  for (int64_t i = 0; i < kPoints; i++) plot_series_add(s, kStart + i * 100, std::sin(i * 0.001) * 100 + (i % 97));
}

void BM_AddTenMillionPoints(benchmark::State& state) {
  PlotSeries* s = plot_series_new("x", 1);
  for (auto _ : state) {
    plot_series_clear(s);
    fill(s);
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
  plot_series_free(s);
}
BENCHMARK(BM_AddTenMillionPoints)->Unit(benchmark::kMillisecond);

void envelope(benchmark::State& state, int64_t from, int64_t to) {
  static PlotSeries* s = [] {
    PlotSeries* made = plot_series_new("x", 1);
    fill(made);
    return made;
  }();
  std::vector<PlotColumn> columns(1600);
  for (auto _ : state) {
    plot_envelope(s, from, to, 1600, columns.data());
    benchmark::DoNotOptimize(columns.data());
  }
}
void BM_EnvelopeOfAllTenMillion(benchmark::State& state) { envelope(state, kStart, kStart + kPoints * 100); }
void BM_EnvelopeOfTheLastSecond(benchmark::State& state) {
  envelope(state, kStart + kPoints * 100 - 1'000'000, kStart + kPoints * 100);
}
BENCHMARK(BM_EnvelopeOfAllTenMillion)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EnvelopeOfTheLastSecond)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
