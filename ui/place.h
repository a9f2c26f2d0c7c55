// Where a window goes so that it leaves a part of the screen clear (the
// Find window, away from the find it marks).
#pragma once

#include <cstdint>

struct PlaceRect {
  int32_t left, top, right, bottom;
};

// The top-left for window `w` (same size) inside `work` that covers none of
// `keep` when it can: 0 with *x, *y unchanged when `w` covers none of it
// already; else 1 with the nearest of the places `gap` pixels below, above,
// right or left of `keep` that covers none of it, or, when each one that
// fits in `work` covers some, the one that covers least.
int place_clear_of(const PlaceRect& w, const PlaceRect& keep, const PlaceRect& work, int32_t gap, int32_t* x,
                   int32_t* y);
