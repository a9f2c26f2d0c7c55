// Where the plot's points go when they are written out, by the command
// line's "/plot" and the Plot window's export: the CSV rows, buffered into
// a file, or the series of a picture; only the series asked for, and only
// points within the slice asked for.
#pragma once

#include <windows.h>

#include "plot/plot_build.h"
#include "record/record_reader.h"

struct PlotOut {
  HANDLE file;
  char buffer[65536];
  int n;
  int failed;
  int64_t origin;  // time of day time_s counts from
  int64_t rows;
  char series[kPlotSeriesMax][kPlotNameBytes + 4];  // names asked for ("T" or "CH1 T"), in the code page; none: all
  int series_n;
  RecordTime from, to;     // a slice as typed, resolved from the origin
  int bounded;             // 1: from_us and to_us are set as they are
  int64_t from_us, to_us;  // the slice's first and last time of day
  PlotSet* picture;        // a PNG's series, or null for the CSV
};

// Writes what is buffered; a failure is kept in o->failed.
void plot_out_flush(PlotOut* o);
// The sink of a PlotBuild (ctx: the PlotOut).
void plot_row_out(void* ctx, const PlotPoint& p);
// The origin of time_s: the source's first chunk, as the exports count it
// (the first stretch's; later ones leave it), and the slice typed resolved
// from it.
void plot_origin(PlotOut* o, const CaptureSnapshot& s, int32_t (*zone)(int64_t));
