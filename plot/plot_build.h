// The plot's series read from stretches of records (a snapshot of the live
// capture, a loaded log, the windows of a recording, one after another):
// - numbers in the text lines each channel received (plot/plot_text.h),
//   series "T", "#1" ... of that channel; a line's time is its chunk's.
//   A break of the line (port lost, back, opened, closed) ends the line
//   being gathered unread, and when it had begun, the bytes up to the next
//   line end too: they are the rest of a line cut by the outage;
// - Modbus read answers as register values (plot/plot_modbus.h), from the
//   frames Find's bad-frame pass decides once across stretches (the
//   monitor's own framing and pairing);
// - the link's timing: "latency ms" of each paired answer, "silence ms"
//   before each chunk (timeline_silence_of, the one rule), and "RX bytes/s"
//   and "TX bytes/s" per channel in 1 s bins (each told at its end).
// Times are times of day (µs since 1970 read as UTC), as the exports print
// them. Points reach the sink in time order: what a stretch's end may still
// change (a frame carried into the next stretch) holds back every point
// from its time on until that is decided.
//
// Pure; what it holds grows with one stretch's points, not with the source.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "find/find_query.h"
#include "plot/plot_modbus.h"
#include "plot/plot_text.h"

struct PlotPoint {
  int64_t time_us;  // time of day
  double value;
  int32_t channel;  // 1 or 2
  char name[kPlotNameBytes];
};

struct PlotBuildOptions {
  uint8_t text;    // numbers in received lines
  uint8_t modbus;  // register values
  uint8_t timing;  // latency, silence, bytes per second
  ModbusMonitorOptions modbus_options;  // framing and the lines' shapes (its events are each stretch's own)
  // How a register series is read (null: unsigned 16 bits, scale 1).
  const PlotRegisterRead* (*read_of)(void* ctx, const char* name, int32_t channel);
  void* read_ctx;
  // A snapshot's times to times of day (null: they are times of day already).
  int32_t (*zone_minutes_at)(int64_t wall_us);
  // 0: every point reaches the sink in time order (an export). 1: each
  // series's points in its own time order, a point handed on as soon as it
  // is made (a window that follows the capture): only what the Modbus pass
  // decides waits for the decision, so a line's values show at once.
  uint8_t live;
  // Each point, in time order.
  void (*sink)(void* ctx, const PlotPoint& p);
  void* sink_ctx;
};

struct PlotBuild {
  PlotBuildOptions o;
  PlotLineSplit split[2];
  TimelineChunk prev;  // the latest chunk, either channel's, for the silences
  int32_t have_prev;
  int64_t bin[4];       // stream s (CH1 RX, CH1 TX, CH2 RX, CH2 TX): its current 1 s bin, or -1
  int64_t bin_bytes[4];
  FindPass pass;
  std::vector<PlotPoint> held;  // made, not yet handed on: not all before them is decided
  int32_t in_frame;             // making a decided frame's points
  int64_t lost;                 // points not kept: memory ran short (what was written is not whole)
  int64_t wall_offset_us;       // the stretch's
  int32_t zone_minutes;         // the time axis's zone: the first time's (kFindZoneUnknown before)
  int32_t read_to[2];           // CH1, CH2: the last record of the latest chunk received in this stretch, or -1
};

// 0, or 1 when memory is short.
int plot_build_begin(PlotBuild* b, const PlotBuildOptions& o);
void plot_build_end(PlotBuild* b);
// One stretch (`shape`: its lines, null: the options'). 0, or 1 when cancelled.
int plot_build_stretch(PlotBuild* b, const CaptureSnapshot& s, const LineShape* shape,
                       const std::atomic<int>* cancel);
// A new run of the program begins in the next stretch: its lines are others.
void plot_build_break(PlotBuild* b);
// After the last stretch: everything held is decided and handed on. 0, or 1 when cancelled.
int plot_build_finish(PlotBuild* b, const std::atomic<int>* cancel);

// The CSV of points: its header, and one row (CR LF ended) of a point,
// time_s counted from `origin` (a time of day), the series quoted when it
// holds a comma or a quote. The row's length, or -1 when it does not fit.
constexpr const char* kPlotCsvHeader = "time_s,time_of_day,channel,series,value\r\n";
int32_t plot_csv_row(const PlotPoint& p, int64_t origin, char* out, int32_t room);
