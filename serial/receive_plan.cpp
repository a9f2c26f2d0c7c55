#include "serial/receive_plan.h"

#include "app/capture.h"

ReceiveRead receive_plan(uint32_t have, uint32_t queued) {
  if (have >= kReceiveChunk) return {0, 1};
  uint64_t total = static_cast<uint64_t>(have) + queued;
  if (total < kReceiveChunk) return {kReceiveChunk - have, 0};
  uint64_t whole = total / kReceiveChunk * kReceiveChunk;
  if (whole > kReceiveBatch) whole = kReceiveBatch;
  return {static_cast<uint32_t>(whole) - have, 1};
}

uint32_t receive_interval_deadline(uint32_t interval, uint32_t multiplier, uint32_t constant) {
  if (interval == 0xFFFFFFFF) return multiplier == 0 && constant == 0 ? 0 : kReceiveNoDeadline;
  return interval == 0 ? kReceiveNoDeadline : interval;
}

uint32_t receive_read_deadline(ReceiveRead plan, uint32_t interval_deadline) {
  return plan.whole ? kReceiveNoDeadline : interval_deadline;
}

int64_t receive_chunk_time_us(int64_t seen_us, uint32_t queued, uint32_t at, LineShape shape, int64_t floor_us) {
  if (seen_us == kTimeUnknown) return kTimeUnknown;
  const int64_t behind = queued > at + 1 ? static_cast<int64_t>(queued) - at - 1 : 0;
  int64_t t = time_sub_us(seen_us, line_chars_us(shape, behind));
  if (t == kTimeUnknown) t = seen_us;
  if (floor_us != kTimeUnknown && t < floor_us) t = floor_us;
  return t < seen_us ? t : seen_us;
}

uint32_t receive_chunk_at(uint32_t n, uint32_t at) {
  if (at >= n) return 0;
  return n - at < kReceiveChunk ? n - at : kReceiveChunk;
}

uint32_t receive_fail_pause(uint32_t previous) {
  if (previous == 0) return 1;
  return previous >= 50 ? 100 : previous * 2;
}

uint32_t receive_short_turn_pause(uint32_t quiet_ms) {
  if (quiet_ms < 1000) return 1;
  if (quiet_ms < 3000) return 10;
  return 25;
}
