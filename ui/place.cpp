#include "ui/place.h"

namespace {

int64_t overlap(const PlaceRect& a, const PlaceRect& b) {
  const int64_t w = (a.right < b.right ? a.right : b.right) - (a.left > b.left ? a.left : b.left);
  const int64_t h = (a.bottom < b.bottom ? a.bottom : b.bottom) - (a.top > b.top ? a.top : b.top);
  return w > 0 && h > 0 ? w * h : 0;
}

// `at` within lo .. hi - size; lo when it is larger than that.
int32_t clamp(int32_t at, int32_t size, int32_t lo, int32_t hi) {
  if (at > hi - size) at = hi - size;
  return at < lo ? lo : at;
}

}  // namespace

int place_clear_of(const PlaceRect& w, const PlaceRect& keep, const PlaceRect& work, int32_t gap, int32_t* x,
                   int32_t* y) {
  *x = w.left;
  *y = w.top;
  if (overlap(w, keep) == 0) return 0;
  const int32_t width = w.right - w.left, height = w.bottom - w.top;
  const int32_t tries[4][2] = {{w.left, keep.bottom + gap},
                               {w.left, keep.top - gap - height},
                               {keep.right + gap, w.top},
                               {keep.left - gap - width, w.top}};
  int64_t best_cover = -1, best_move = 0;
  for (const auto& t : tries) {
    const int32_t cx = clamp(t[0], width, work.left, work.right), cy = clamp(t[1], height, work.top, work.bottom);
    const int64_t cover = overlap({cx, cy, cx + width, cy + height}, keep);
    const int64_t move = (cx > w.left ? cx - w.left : w.left - cx) + (cy > w.top ? cy - w.top : w.top - cy);
    if (best_cover < 0 || cover < best_cover || (cover == best_cover && move < best_move)) {
      best_cover = cover;
      best_move = move;
      *x = cx;
      *y = cy;
    }
  }
  return 1;
}
