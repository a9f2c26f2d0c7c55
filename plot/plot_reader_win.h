// A reader of the plot's series on a thread of its own (below normal
// priority): the live capture or a loaded log, a stretch at a time as it
// grows (capture_snapshot_since), or the whole recording the data view
// shows, window after window with its progress. The Plot window runs one
// for its picture and one for a CSV export.
#pragma once

#include <windows.h>

#include <atomic>
#include <thread>

#include "modbus/modbus_monitor.h"
#include "plot/plot_build.h"
#include "plot/plot_out_win.h"
#include "record/record_files_win.h"

// A register series read otherwise than as unsigned 16 bits, scale 1.
struct PlotSeriesRead {
  char name[kPlotNameBytes];
  int32_t channel;
  PlotRegisterRead read;
};

// Where a reader's points go.
struct PlotReaderSink {
  void (*point)(void* ctx, const PlotPoint& p);
  void (*stretch_read)(void* ctx);  // after each stretch (null: nothing)
  void* ctx;
  PlotOut* out;  // an export: time_s counts from the source's first chunk (null: none)
};

struct PlotReader {
  std::thread thread;
  std::atomic<int> cancel{0};
  std::atomic<int> percent{-1};  // reading a recording: 0 to 100
  std::atomic<int> ended{0};
  std::atomic<int> restart{0};   // the capture was cleared or loaded anew: read again
  HANDLE wake = nullptr;           // set: a live reader stops resting
  PlotReaderSink sink = {};
  int follow = 0;                  // 1: the capture goes on being read as it grows
  int64_t lost = 0;                // points the builder could not keep (memory ran short)
  // What it reads and how, fixed at its start.
  int recording = 0;               // 1: the recording shown; 0: the capture
  RecordFiles* files = nullptr;    // the recording's, its own copy
  RecordReader* reader = nullptr;
  uint64_t file_start[kRecordFolderFilesMax + 1] = {};
  ModbusMonitorOptions modbus = {};
  PlotSeriesRead reads[kPlotSeriesMax] = {};
  int reads_n = 0;
  // Its buffers, made at its first start and kept.
  CaptureSnapshot* snap = nullptr;
  RecordWindow* window = nullptr;
};

// Starts `r` on the source the data view shows now (on the user-interface
// thread: it reads the settings and the recording shown), with the register
// reads given: 0, or 1 when memory is short.
int plot_reader_start(PlotReader* r, const PlotReaderSink& sink, int follow, const PlotSeriesRead* reads, int n);
// Stops it and waits for its thread (a few ms: it looks at `cancel` often).
void plot_reader_stop(PlotReader* r);
