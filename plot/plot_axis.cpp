#include "plot/plot_axis.h"

#include <cmath>
#include <cstdio>

double plot_value_step(double lo, double hi, int ticks) {
  const double raw = (hi - lo) / (ticks > 0 ? ticks : 1);
  if (!(raw > 0) || !std::isfinite(raw)) return 1;
  const double p = std::pow(10.0, std::floor(std::log10(raw)));
  const double m = raw / p;
  return (m <= 1 ? 1 : m <= 2 ? 2 : m <= 5 ? 5 : 10) * p;
}

int64_t plot_time_step(int64_t span_us, int ticks) {
  static const int64_t kSteps[] = {
      1000,        2000,        5000,        10000,       20000,        50000,        100000,      200000,
      500000,      1000000,     2000000,     5000000,     10000000,     15000000,     30000000,    60000000,
      120000000,   300000000,   600000000,   900000000,   1800000000,   3600000000,   7200000000,  10800000000,
      21600000000, 43200000000, 86400000000};
  if (ticks < 1) ticks = 1;
  for (int64_t s : kSteps)
    if (span_us / s <= ticks) return s;
  const int64_t day = 86400000000;
  const int64_t days = (span_us + day * ticks - 1) / (day * ticks);
  return days * day;
}

int64_t plot_first_tick(int64_t from_us, int64_t step_us) {
  int64_t q = from_us / step_us;
  if (q * step_us < from_us) q++;
  if (from_us < 0 && q * step_us - step_us >= from_us) q--;
  return q * step_us;
}

void plot_time_label(int64_t time_us, int64_t step_us, char out[16]) {
  const int64_t day = 86400000000;
  int64_t in_day = time_us % day;
  if (in_day < 0) in_day += day;
  const int h = static_cast<int>(in_day / 3600000000), m = static_cast<int>(in_day / 60000000 % 60);
  const int s = static_cast<int>(in_day / 1000000 % 60), ms = static_cast<int>(in_day / 1000 % 1000);
  if (step_us % 60000000 == 0)
    snprintf(out, 16, "%02d:%02d", h, m);
  else if (step_us % 1000000 == 0)
    snprintf(out, 16, "%02d:%02d:%02d", h, m, s);
  else
    snprintf(out, 16, "%02d:%02d:%02d.%03d", h, m, s, ms);
}

void plot_value_label(double value, double step, char out[24]) {
  if (std::fabs(value) < step * 1e-9) value = 0;  // no "-1.1e-17" where 0 is meant
  int decimals = 0;
  if (step > 0 && step < 1) decimals = static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  if (decimals > 9 || std::fabs(value) >= 1e9) {
    snprintf(out, 24, "%.3g", value);
    return;
  }
  snprintf(out, 24, "%.*f", decimals, value);
}
