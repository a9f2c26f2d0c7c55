// Display scale: every size Quorrin lays out in pixels is a size at 96 DPI,
// the scale of 100 %, and is scaled to the window's DPI here.
#pragma once

#include <cstdint>

constexpr int32_t kBaseDpi = 96;

// `value` pixels at 96 DPI as pixels at `dpi`, rounded to the nearest (half
// away from zero). A DPI of 0 or below counts as 96.
int32_t px(int32_t value, int32_t dpi);

// The toolbar image size drawn for `dpi`: the strip of 16, 24 or 32 pixels
// nearest to 16 scaled (a tie takes the larger).
int32_t toolbar_image_size(int32_t dpi);
