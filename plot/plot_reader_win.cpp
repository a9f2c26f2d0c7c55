#include "plot/plot_reader_win.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "app/app_state.h"
#include "modbus/modbus_monitor_win.h"
#include "record/record_view_win.h"
#include "timeline/export_win.h"

namespace {

constexpr DWORD kLiveRestMs = 200;  // a live reader looks for new records this often

const PlotRegisterRead* read_of(void* ctx, const char* name, int32_t channel) {
  const PlotReader* r = static_cast<const PlotReader*>(ctx);
  for (int i = 0; i < r->reads_n; i++)
    if (r->reads[i].channel == channel && std::strcmp(r->reads[i].name, name) == 0) return &r->reads[i].read;
  return nullptr;
}

void stretch_read(PlotReader* r, const CaptureSnapshot&) {
  if (r->sink.stretch_read) r->sink.stretch_read(r->sink.ctx);
}

void origin_of(PlotReader* r, const CaptureSnapshot& s) {
  if (r->sink.out) plot_origin(r->sink.out, s, r->recording ? nullptr : local_zone_minutes_at);
}

// The live capture or a loaded log: what it holds, then (following) what
// comes, a stretch at a time. A wrap that dropped records before they were
// read breaks the lines there.
void read_capture(PlotReader* r, PlotBuild* b) {
  CaptureSnapshot& snap = *r->snap;
  Capture* cap = &g_app.capture;
  const uint32_t generation = capture_place(cap).generation;
  int64_t from = 0;
  while (!r->cancel.load()) {
    if (capture_place(cap).generation != generation) {
      r->restart = 1;
      return;
    }
    capture_snapshot_since(cap, from, &snap);
    if (snap.count > 0) {
      if (snap.base > from && from > 0) plot_build_break(b);
      origin_of(r, snap);
      if (plot_build_stretch(b, snap, nullptr, &r->cancel)) return;
      from = snap.base + snap.count;
      stretch_read(r, snap);
    }
    if (!r->follow) break;
    WaitForSingleObject(r->wake, kLiveRestMs);
  }
  if (!r->cancel.load()) plot_build_finish(b, &r->cancel);
}

// The recording shown, from its start to its end, window after window.
void read_recording(PlotReader* r, PlotBuild* b) {
  RecordWindow* w = r->window;
  RecordStream st;
  record_stream_begin(&st, record_files_open_next, r->files, r->reader, {}, {});
  const uint64_t total = r->file_start[r->files->list.count];
  while (!r->cancel.load() && record_window_fill(&st, w) > 0) {
    origin_of(r, w->snap);
    if (plot_build_stretch(b, w->snap, w->shape, &r->cancel)) break;
    stretch_read(r, w->snap);
    const uint64_t at = record_reading_at(r->files, r->reader, &st, r->file_start);
    r->percent = total ? static_cast<int>(at * 100 / total) : 100;
  }
  if (!r->cancel.load()) plot_build_finish(b, &r->cancel);
  record_files_end(r->files);
}

void reader_main(PlotReader* r) {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
  PlotBuildOptions o{};
  o.text = o.modbus = o.timing = 1;
  o.modbus_options = r->modbus;
  o.read_of = read_of;
  o.read_ctx = r;
  o.zone_minutes_at = r->recording ? nullptr : local_zone_minutes_at;
  // A picture takes each series in its own order as soon as it is made; an
  // export writes every row in time order.
  o.live = static_cast<uint8_t>(r->sink.out == nullptr);
  o.sink = r->sink.point;
  o.sink_ctx = r->sink.ctx;
  PlotBuild* b = new (std::nothrow) PlotBuild();
  if (b && plot_build_begin(b, o) == 0) {
    if (r->recording) read_recording(r, b);
    else read_capture(r, b);
  }
  if (b) r->lost = b->lost, plot_build_end(b);
  delete b;
  if (r->sink.stretch_read) r->sink.stretch_read(r->sink.ctx);
  r->ended = 1;
}

}  // namespace

void plot_reader_stop(PlotReader* r) {
  r->cancel = 1;
  if (r->wake) SetEvent(r->wake);
  if (r->thread.joinable()) r->thread.join();
  if (r->wake) CloseHandle(r->wake);
  r->wake = nullptr;
  free(r->files);
  free(r->reader);
  r->files = nullptr;
  r->reader = nullptr;
}

int plot_reader_start(PlotReader* r, const PlotReaderSink& sink, int follow, const PlotSeriesRead* reads, int n) {
  plot_reader_stop(r);
  r->cancel = 0;
  r->ended = 0;
  r->restart = 0;
  r->percent = -1;
  r->lost = 0;
  r->sink = sink;
  r->follow = follow;
  r->recording = recording_shown();
  modbus_monitor_options_now(&r->modbus);
  r->reads_n = n < kPlotSeriesMax ? n : kPlotSeriesMax;
  std::memcpy(r->reads, reads, static_cast<size_t>(r->reads_n) * sizeof *reads);
  if (!r->snap) r->snap = new (std::nothrow) CaptureSnapshot();
  if (!r->window) r->window = new (std::nothrow) RecordWindow();
  if (!r->snap || !r->window) return 1;
  CaptureSnapshot& buffers = r->recording ? r->window->snap : *r->snap;
  if (!buffers.records && capture_snapshot_allocate(&buffers)) return 1;
  r->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (r->recording) {
    r->files = static_cast<RecordFiles*>(calloc(1, sizeof(RecordFiles)));
    r->reader = static_cast<RecordReader*>(calloc(1, sizeof(RecordReader)));
    if (!r->files || !r->reader) return 1;
    recording_files_copy(r->files, r->file_start);
    r->percent = 0;
  }
  try {
    r->thread = std::thread(reader_main, r);
  } catch (...) {
    return 1;
  }
  return 0;
}
