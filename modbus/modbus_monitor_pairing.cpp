// Which answer belongs to which request, how long the slave took, and
// which requests went unanswered: the one pairing every tool that reads
// Modbus frames uses (the monitor's list and CSV, Find's bad frames).
#include "modbus/modbus_monitor.h"

#include <cstdint>

namespace {

// a - b into *out; 1 when it does not fit in 64 bits (nothing is written).
int checked_sub(int64_t a, int64_t b, int64_t* out) {
  if ((b < 0 && a > INT64_MAX + b) || (b > 0 && a < INT64_MIN + b)) return 1;
  *out = a - b;
  return 0;
}

int64_t time_of(const int64_t* times, int32_t record) { return times ? times[record] : kTimeUnknown; }

int pair_of(const ModbusFrame* f, int line_monitor) { return line_monitor ? 0 : f->channel; }

}  // namespace

int modbus_monitor_pair(ModbusFrame* out, int32_t n, const int64_t* times, const ModbusMonitorOptions* o,
                        const std::atomic<int>* cancel) {
  const int line_monitor = o->line_monitor;
  for (int32_t i = 0; i < n; i++) {
    if (i % 1024 == 0 && cancel && cancel->load(std::memory_order_relaxed)) return 1;
    ModbusFrame* a = &out[i];
    if (a->role != kMonitorAnswer || a->check != kMonitorOk) continue;
    const int64_t answer_time = time_of(times, a->first_record);
    int32_t stop = i - kModbusMonitorLookback > 0 ? i - kModbusMonitorLookback : 0;
    for (int32_t j = i - 1; j >= stop; j--) {
      ModbusFrame* r = &out[j];
      if (r->role != kMonitorRequest || r->check != kMonitorOk || r->pair >= 0) continue;
      // A request whose write completed after the answer's first bytes were
      // seen is the next poll, recorded before the answer's chunk closed.
      const int64_t request_time = time_of(times, r->last_record);
      if (answer_time != kTimeUnknown && request_time != kTimeUnknown && request_time > answer_time) continue;
      if (pair_of(r, line_monitor) != pair_of(a, line_monitor) || r->slave != a->slave ||
          r->function != (a->function & 0x7F))
        continue;
      // On TCP the transaction id says which request an answer is for.
      if ((r->mode == kModbusTcp) != (a->mode == kModbusTcp) ||
          (a->mode == kModbusTcp && r->transaction != a->transaction))
        continue;
      // Across a break every earlier request is too: the answer stays alone.
      // (A line monitor's one pair spans both channels: any channel's break.)
      if (timeline_line_broken_between(o->events, o->event_count, o->base, line_monitor ? 0 : a->channel,
                                       r->last_record, a->first_record))
        break;
      r->pair = i;
      a->pair = j;
      break;
    }
  }
  for (int32_t i = 0; i < n; i++) {
    ModbusFrame* a = &out[i];
    if (a->role != kMonitorAnswer || a->pair < 0) continue;
    int64_t answer_time = time_of(times, a->first_record);
    int64_t request_time = time_of(times, out[a->pair].last_record);
    int64_t latency = 0;
    if (answer_time != kTimeUnknown && request_time != kTimeUnknown &&
        !checked_sub(answer_time, request_time, &latency) && latency != kTimeUnknown)
      a->latency_us = latency;
  }
  return 0;
}

int modbus_monitor_same_pair(const ModbusFrame& a, const ModbusFrame& b, int line_monitor) {
  return pair_of(&a, line_monitor) == pair_of(&b, line_monitor);
}

int modbus_monitor_unanswered(const ModbusFrame* frames, int32_t n, int32_t i, int line_monitor) {
  const ModbusFrame& r = frames[i];
  if (r.role != kMonitorRequest || r.check != kMonitorOk || r.pair >= 0) return 0;
  // Requests on the pair go one at a time: the next frame of the pair
  // tells. Other channels' traffic says nothing of this one.
  for (int32_t j = i + 1; j < n; j++) {
    if (!modbus_monitor_same_pair(frames[j], r, line_monitor)) continue;
    return frames[j].role == kMonitorRequest;
  }
  return 0;
}

int modbus_monitor_waiting(const ModbusFrame* frames, int32_t n, int32_t i, int line_monitor) {
  const ModbusFrame& r = frames[i];
  if (r.role != kMonitorRequest || r.check != kMonitorOk || r.pair >= 0) return 0;
  for (int32_t j = i + 1; j < n; j++)
    if (modbus_monitor_same_pair(frames[j], r, line_monitor)) return 0;
  return 1;
}
