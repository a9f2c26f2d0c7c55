// The plot drawn with GDI+: one lane a series (each its own scale, like a
// logic analyser) or every series over one scale, a time axis in times of
// day, each series's min/max envelope per pixel column joined by its
// values, anti-aliased; and the picture written as a PNG.
#pragma once

#include <windows.h>

#include <cstdint>

#include "plot/plot_store.h"

struct PlotPicture {
  const PlotSet* set;
  const uint8_t* shown;  // per series: 1 drawn (null: every series)
  int64_t from_us, to_us;
  int overlay;           // 0: a lane a series; 1: one scale for all
  int64_t cursor_us;     // a line with each series's value there; kTimeUnknown: none
  int dpi;
  COLORREF back, ink;    // the palette's background and text
};

// GDI+ for the program's life: 0, or 1 when it would not start.
int plot_gdiplus_start();

// The span every shown series covers: 1 with *from and *to (to > from), 0 when none has a point.
int plot_picture_span(const PlotPicture& p, int64_t* from_us, int64_t* to_us);

// Where the picture drawn within `r` puts its data (inside its axes): the
// time axis runs over its columns, from_us at its left edge.
RECT plot_data_rect(const RECT& r, int dpi);

// Draws the picture into `dc` within `r`.
void plot_draw(HDC dc, const RECT& r, const PlotPicture& p);

// The picture of `width` x `height` pixels as a PNG at `path`: 0, or the
// message text of the failure.
int plot_write_png(const wchar_t* path, int width, int height, const PlotPicture& p);
// The two halves of it: the picture drawn into a bitmap (null and *failure a
// message id when it cannot be made), then the bitmap written as a PNG and
// freed, on any thread (0, or a message id; a file not whole is deleted).
void* plot_picture_bitmap(int width, int height, const PlotPicture& p, int* failure);
int plot_save_png(void* bitmap, const wchar_t* path);

// The colour of series k, legible on background `back`.
COLORREF plot_series_color(int k, COLORREF back);
