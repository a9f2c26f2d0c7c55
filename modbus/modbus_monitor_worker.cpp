// The monitor window's decoder thread (ModbusMonitorWorker in modbus_monitor.h).
#include "modbus/modbus_monitor.h"

#include <utility>

namespace {

int same_options(const ModbusMonitorOptions& a, const ModbusMonitorOptions& b) {
  return a.line_monitor == b.line_monitor && a.tcp[0] == b.tcp[0] && a.tcp[1] == b.tcp[1] &&
         a.network[0] == b.network[0] && a.network[1] == b.network[1] &&
         a.shape[0].baud == b.shape[0].baud &&
         a.shape[0].tenth_bits == b.shape[0].tenth_bits && a.shape[1].baud == b.shape[1].baud &&
         a.shape[1].tenth_bits == b.shape[1].tenth_bits;
}

void result_free(ModbusMonitorResult* r) {
  modbus_frame_list_free(&r->frames);
  *r = ModbusMonitorResult{};
}

// The worker thread: waits for a decode to be asked for, copies the whole
// capture and decodes the copy, then hands the result over.
void worker_run(ModbusMonitorWorker* w) {
  if (w->thread_started) w->thread_started();
  std::unique_lock<std::mutex> hold(w->lock);
  for (;;) {
    w->wake.wait(hold, [w] { return w->quit || (w->busy && !w->done); });
    if (w->quit) return;
    ModbusMonitorOptions options = w->options;
    hold.unlock();
    const auto began = std::chrono::steady_clock::now();
    ModbusMonitorResult* r = &w->work;
    const CaptureSnapshot* snap = &w->snapshot;
    capture_snapshot_take(w->capture, &w->snapshot);
    options.events = snap->events;
    options.event_count = snap->event_count;
    options.base = snap->base;
    int32_t mode = kModbusRtu;
    const int stopped = modbus_monitor_decode_either(snap->records, snap->times, snap->count, &options, &r->frames,
                                                     &w->scratch, &mode, &w->cancel);
    r->mode = mode;
    r->count = snap->count;
    r->base = snap->base;
    r->origin_us = timeline_first_time_us(snap->records, snap->times, snap->count);
    r->options = options;
    r->options.events = nullptr;  // they were the snapshot's, which the next decode takes again
    r->options.event_count = 0;
    const auto ended = std::chrono::steady_clock::now();
    hold.lock();
    if (stopped || w->quit) return;
    w->rest_until = ended + (ended - began);
    w->busy = 0;
    w->done = 1;
    w->decodes++;
  }
}

}  // namespace

int modbus_monitor_worker_start(ModbusMonitorWorker* w, Capture* capture) {
  if (w->thread.joinable()) return 0;
  w->capture = capture;
  w->cancel.store(0);
  w->quit = w->busy = w->done = 0;
  w->decodes = 0;
  w->rest_until = std::chrono::steady_clock::time_point{};
  if (capture_snapshot_allocate(&w->snapshot)) return 1;
  try {
    w->thread = std::thread(worker_run, w);
  } catch (...) {
    capture_snapshot_free(&w->snapshot);
    return 1;
  }
  return 0;
}

void modbus_monitor_worker_stop(ModbusMonitorWorker* w) {
  if (!w->thread.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(w->lock);
    w->quit = 1;
    w->cancel.store(1, std::memory_order_relaxed);
  }
  w->wake.notify_all();
  w->thread.join();
  result_free(&w->shown);
  result_free(&w->work);
  modbus_frame_list_free(&w->scratch);
  capture_snapshot_free(&w->snapshot);
  w->busy = w->done = 0;
}

int modbus_monitor_worker_poll(ModbusMonitorWorker* w, const ModbusMonitorOptions* options, Capture* follow) {
  if (!w->thread.joinable()) return 0;
  // The worker reads w->capture only while busy, and it changes only here
  // while it is not.
  Capture* target = follow ? follow : w->capture;
  const CapturePlace place = capture_place(target);
  int taken = 0, ask = 0;
  {
    std::lock_guard<std::mutex> hold(w->lock);
    if (w->done) {
      std::swap(w->shown, w->work);
      w->done = 0;
      taken = 1;
    }
    if (!w->busy && std::chrono::steady_clock::now() >= w->rest_until) {
      const ModbusMonitorResult& s = w->shown;
      if (s.count < 0 || target != w->capture || s.count != place.write_position || s.base != place.base ||
          !same_options(s.options, *options)) {
        w->capture = target;
        w->options = *options;
        w->busy = 1;
        ask = 1;
      }
    }
  }
  if (ask) w->wake.notify_one();
  return taken;
}

int modbus_monitor_worker_busy(ModbusMonitorWorker* w) {
  std::lock_guard<std::mutex> hold(w->lock);
  return w->busy || w->done;
}

