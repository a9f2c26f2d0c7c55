// The monitor window's decoder thread (ModbusMonitorWorker in modbus_monitor.h).
#include "modbus/modbus_monitor.h"

#include <cstdlib>
#include <cstring>
#include <utility>

// The records around the capture's and the capture's among them: the poll
// copies the lead to the front of `records` and the trail aside, the worker
// takes the capture's behind the lead and puts the trail after them.
struct ModbusMonitorJoined {
  CaptureRecord records[2 * kModbusMonitorAround + kCaptureRecords];
  int64_t times[2 * kModbusMonitorAround + kCaptureRecords];
  LineEvent events[3 * kCaptureEvents];  // the decode's: lead, capture, trail
  int32_t lead, trail;
  CaptureRecord trail_records[kModbusMonitorAround];
  int64_t trail_times[kModbusMonitorAround];
  // Their events, placed by index among the lead's or the trail's records.
  LineEvent lead_events[kCaptureEvents], trail_events[kCaptureEvents];
  int32_t lead_event_count, trail_event_count;
  CaptureSnapshot among;  // the capture's records, taken behind the lead
};

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
    const int64_t around = w->around;
    const uint32_t around_generation = w->around_generation;
    hold.unlock();
    const auto began = std::chrono::steady_clock::now();
    ModbusMonitorResult* r = &w->work;
    ModbusMonitorJoined* j = w->joined;
    int32_t lead = j ? j->lead : 0, trail = j ? j->trail : 0;
    // With records around, the capture's are taken behind the lead.
    CaptureSnapshot* inner = &w->snapshot;
    if (lead || trail) {
      inner = &j->among;
      inner->records = j->records + lead;
      inner->times = j->times + lead;
    }
    capture_snapshot_take(w->capture, inner);
    // The records around were another's (a window loaded since the poll):
    // the capture is decoded alone.
    if (inner->generation != around_generation) lead = trail = 0;
    const CaptureRecord* records = inner->records;
    const int64_t* times = inner->times;
    int32_t count = inner->count;
    options.events = inner->events;
    options.event_count = inner->event_count;
    options.base = inner->base;
    if (lead || trail) {
      std::memcpy(j->records + lead + count, j->trail_records, static_cast<size_t>(trail) * sizeof *j->records);
      std::memcpy(j->times + lead + count, j->trail_times, static_cast<size_t>(trail) * sizeof *j->times);
      const int64_t first = inner->base - lead;  // the place of the lead's first record
      int32_t n = 0;
      for (int32_t e = 0; e < j->lead_event_count; e++, n++)
        j->events[n] = j->lead_events[e], j->events[n].place += first;
      for (int32_t e = 0; e < inner->event_count; e++) j->events[n++] = inner->events[e];
      for (int32_t e = 0; e < j->trail_event_count; e++, n++)
        j->events[n] = j->trail_events[e], j->events[n].place += inner->base + count;
      options.events = j->events;
      options.event_count = n;
      options.base = first;
      records = j->records;
      times = j->times;
      count = lead + inner->count + trail;
    }
    int32_t mode = kModbusRtu;
    const int stopped = modbus_monitor_decode_either(records, times, count, &options, &r->frames, &w->scratch, &mode,
                                                     &w->cancel);
    r->mode = mode;
    r->count = inner->count;
    r->base = inner->base;
    r->lead = lead;
    r->trail = trail;
    r->around = around;
    r->generation = inner->generation;
    r->origin_us = timeline_first_time_us(inner->records, inner->times, inner->count);
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
  std::free(w->joined);
  w->joined = nullptr;
  w->around = 0;
  w->busy = w->done = 0;
}

namespace {

// The last records of `before` and the first of `after` (at most
// kModbusMonitorAround each), with their events, into the worker's joined
// records. Called while no decode runs. With no memory for them the
// capture is decoded alone.
void around_copy(ModbusMonitorWorker* w, const ModbusMonitorAround* around) {
  const int none = !around || ((!around->before || around->before->count <= 0) &&
                               (!around->after || around->after->count <= 0));
  if (none) {
    if (w->joined) w->joined->lead = w->joined->trail = 0;
    return;
  }
  if (!w->joined) w->joined = static_cast<ModbusMonitorJoined*>(std::calloc(1, sizeof(ModbusMonitorJoined)));
  ModbusMonitorJoined* j = w->joined;
  if (!j) return;
  j->lead = j->trail = j->lead_event_count = j->trail_event_count = 0;
  if (const CaptureSnapshot* b = around->before; b && b->count > 0 && b->records) {
    const int32_t n = b->count < kModbusMonitorAround ? b->count : kModbusMonitorAround;
    const int32_t from = b->count - n;
    std::memcpy(j->records, b->records + from, static_cast<size_t>(n) * sizeof *j->records);
    for (int32_t i = 0; i < n; i++) j->times[i] = b->times ? b->times[from + i] : kTimeUnknown;
    // Its events from its first record taken to its end (one after its
    // last record comes before the capture's first).
    for (int32_t e = 0; e < b->event_count && j->lead_event_count < kCaptureEvents; e++) {
      const int64_t at = b->events[e].place - b->base - from;
      if (at < 0 || at > n) continue;
      j->lead_events[j->lead_event_count] = b->events[e];
      j->lead_events[j->lead_event_count++].place = at;
    }
    j->lead = n;
  }
  if (const CaptureSnapshot* a = around->after; a && a->count > 0 && a->records) {
    const int32_t n = a->count < kModbusMonitorAround ? a->count : kModbusMonitorAround;
    std::memcpy(j->trail_records, a->records, static_cast<size_t>(n) * sizeof *j->trail_records);
    for (int32_t i = 0; i < n; i++) j->trail_times[i] = a->times ? a->times[i] : kTimeUnknown;
    for (int32_t e = 0; e < a->event_count && j->trail_event_count < kCaptureEvents; e++) {
      const int64_t at = a->events[e].place - a->base;
      if (at < 0 || at >= n) continue;
      j->trail_events[j->trail_event_count] = a->events[e];
      j->trail_events[j->trail_event_count++].place = at;
    }
    j->trail = n;
  }
}

}  // namespace

int modbus_monitor_worker_poll(ModbusMonitorWorker* w, const ModbusMonitorOptions* options, Capture* follow,
                               const ModbusMonitorAround* around) {
  if (!w->thread.joinable()) return 0;
  // The worker reads w->capture and the joined records only while busy, and
  // they change only here while it is not (only a poll makes it busy).
  Capture* target = follow ? follow : w->capture;
  const CapturePlace place = capture_place(target);
  const int64_t serial = around ? around->serial : 0;
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
      ask = s.count < 0 || target != w->capture || s.count != place.write_position || s.base != place.base ||
            s.generation != place.generation || !same_options(s.options, *options) || s.around != serial;
    }
  }
  if (!ask) return taken;
  around_copy(w, around);
  {
    std::lock_guard<std::mutex> hold(w->lock);
    w->capture = target;
    w->options = *options;
    w->around = serial;
    w->around_generation = place.generation;
    w->busy = 1;
  }
  w->wake.notify_one();
  return taken;
}

int modbus_monitor_worker_busy(ModbusMonitorWorker* w) {
  std::lock_guard<std::mutex> hold(w->lock);
  return w->busy || w->done;
}

