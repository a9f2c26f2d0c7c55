#include "ui/scale.h"

int32_t px(int32_t value, int32_t dpi) {
  if (dpi <= 0) dpi = kBaseDpi;
  const int64_t scaled = static_cast<int64_t>(value) * dpi;
  const int64_t half = kBaseDpi / 2;
  return static_cast<int32_t>(scaled >= 0 ? (scaled + half) / kBaseDpi : -((-scaled + half) / kBaseDpi));
}

int32_t toolbar_image_size(int32_t dpi) {
  const int32_t want = px(16, dpi);
  const int32_t sizes[] = {24, 32};
  int32_t best = 16;
  for (int32_t size : sizes) {
    const int32_t d = size > want ? size - want : want - size;
    const int32_t b = best > want ? best - want : want - best;
    if (d <= b) best = size;
  }
  return best;
}
