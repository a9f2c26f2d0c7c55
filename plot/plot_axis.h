// Where the plot's axes put their ticks and what the labels say: steps of
// 1, 2 and 5 times a power of ten for values, and steps a clock reads
// naturally for times of day. Pure.
#pragma once

#include <cstdint>

// The step for about `ticks` ticks over [lo, hi] (hi > lo): 1, 2 or 5 times
// a power of ten.
double plot_value_step(double lo, double hi, int ticks);

// The step in µs for at most `ticks` ticks over `span_us`, among 1, 2, 5,
// 10, 20, 50, 100, 200, 500 ms, 1, 2, 5, 10, 15, 30 s, 1, 2, 5, 10, 15, 30
// min, 1, 2, 3, 6, 12 h and whole days.
int64_t plot_time_step(int64_t span_us, int ticks);

// The first tick at or after `from_us` (a time of day in µs since 1970 read
// as UTC) for `step_us`.
int64_t plot_first_tick(int64_t from_us, int64_t step_us);

// A tick's label: "HH:MM" for steps of whole minutes, "HH:MM:SS" for whole
// seconds, "HH:MM:SS.mmm" below; into out (at least 16 bytes).
void plot_time_label(int64_t time_us, int64_t step_us, char out[16]);

// A value's label for ticks `step` apart: as few digits as tell the ticks
// apart ("0.25", "1500", "2e+06"); into out (at least 24 bytes).
void plot_value_label(double value, double step, char out[24]);
