#include "record/record_queue.h"

#include <cstring>

#include "app/capture.h"

namespace {

constexpr uint64_t kMask = kRecordQueueBytes - 1;

// Copies n bytes into the ring at absolute position `at`, wrapping.
void ring_write(RecordQueue* q, uint64_t at, const uint8_t* p, uint32_t n) {
  const uint32_t start = static_cast<uint32_t>(at & kMask);
  const uint32_t first = n < kRecordQueueBytes - start ? n : kRecordQueueBytes - start;
  std::memcpy(q->ring + start, p, first);
  if (n > first) std::memcpy(q->ring, p + first, n - first);
}

void ring_read(const RecordQueue* q, uint64_t at, uint8_t* p, uint32_t n) {
  const uint32_t start = static_cast<uint32_t>(at & kMask);
  const uint32_t first = n < kRecordQueueBytes - start ? n : kRecordQueueBytes - start;
  std::memcpy(p, q->ring + start, first);
  if (n > first) std::memcpy(p + first, q->ring, n - first);
}

// Writes the losses not yet said at ring position h, as events; the caller
// has made room for them. Returns the position after them.
uint64_t say_losses(RecordQueue* q, uint64_t h) {
  for (int c = 0; c < 3; c++) {
    if (!q->unsaid[c]) continue;
    uint8_t e[kRecordEventBytes];
    const uint64_t bytes = q->unsaid_bytes[c];
    record_event_encode(e, kEventRecordLoss, static_cast<uint8_t>(c), 0,
                        bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes), q->unsaid_time[c]);
    ring_write(q, h, e, kRecordEventBytes);
    h += kRecordEventBytes;
    q->unsaid[c] = 0;
    q->unsaid_bytes[c] = 0;
  }
  return h;
}

// Puts one entry of `head_n` header bytes and `n` data bytes on `channel`
// (0..2), or counts it lost. The losses not yet said go first, as events.
int put_entry(RecordQueue* q, int channel, int64_t time_us, const uint8_t* head, uint32_t head_n, const uint8_t* data,
              uint32_t n) {
  uint64_t h = q->head.load(std::memory_order_relaxed);
  const uint64_t t = q->tail.load(std::memory_order_acquire);
  const uint64_t start = h;
  uint32_t say = 0;
  for (int c = 0; c < 3; c++) say += q->unsaid[c] ? kRecordEventBytes : 0;
  if (kRecordQueueBytes - (h - t) < say + head_n + n) {
    q->lost.fetch_add(n ? n : 1, std::memory_order_relaxed);
    q->lost_channel[channel].fetch_add(n, std::memory_order_relaxed);
    if (!q->unsaid[channel]) q->unsaid_time[channel] = time_us;
    q->unsaid[channel] = 1;
    q->unsaid_bytes[channel] += n;
    return 1;
  }
  h = say_losses(q, h);
  ring_write(q, h, head, head_n);
  if (n) ring_write(q, h + head_n, data, n);
  const uint64_t end = h + head_n + n;
  q->head.store(end, std::memory_order_release);
  constexpr uint64_t kQuarter = kRecordQueueBytes / 4;
  if (q->filling && start - t < kQuarter && end - t >= kQuarter) q->filling(q->filling_ctx);
  return 0;
}

}  // namespace

void record_queue_reset(RecordQueue* q) {
  q->head.store(0);
  q->tail.store(0);
  q->lost.store(0);
  for (int c = 0; c < 3; c++) {
    q->lost_channel[c].store(0);
    q->unsaid[c] = 0;
    q->unsaid_bytes[c] = 0;
  }
}

int record_queue_put_chunk(RecordQueue* q, uint8_t kind, int64_t time_us, const uint8_t* data, int n) {
  if (kind < 1 || kind > 4 || n < 0) return 1;
  int failed = 0;
  for (int at = 0; at < n; at += kRecordChunkMax) {
    const int part = n - at < kRecordChunkMax ? n - at : kRecordChunkMax;
    uint8_t head[kRecordChunkOverhead];
    record_chunk_head_encode(head, kind, part, time_us);
    failed |= put_entry(q, kind <= 2 ? 1 : 2, time_us, head, kRecordChunkOverhead, data + at,
                        static_cast<uint32_t>(part));
  }
  return failed;
}

int record_queue_put_event(RecordQueue* q, uint8_t kind, uint8_t channel, uint16_t port, uint32_t detail,
                           int64_t time_us) {
  if (kind == kEventRecordLoss) return 0;
  uint8_t e[kRecordEventBytes];
  record_event_encode(e, kind, channel, port, detail, time_us);
  return put_entry(q, channel <= 2 ? channel : 0, time_us, e, kRecordEventBytes, nullptr, 0);
}

int record_queue_put_losses(RecordQueue* q) {
  if (!q->unsaid[0] && !q->unsaid[1] && !q->unsaid[2]) return 0;
  const uint64_t h = q->head.load(std::memory_order_relaxed);
  const uint64_t t = q->tail.load(std::memory_order_acquire);
  uint32_t say = 0;
  for (int c = 0; c < 3; c++) say += q->unsaid[c] ? kRecordEventBytes : 0;
  if (kRecordQueueBytes - (h - t) < say) return 1;
  q->head.store(say_losses(q, h), std::memory_order_release);
  return 0;
}

int record_queue_take(RecordQueue* q, RecordBlockBuilder* block) {
  uint64_t t = q->tail.load(std::memory_order_relaxed);
  const uint64_t h = q->head.load(std::memory_order_acquire);
  int moved = 0;
  // One entry at a time, copied out of the ring and read as the file's
  // reader reads it.
  uint8_t entry[kRecordChunkOverhead + kRecordChunkMax];
  while (t < h) {
    ring_read(q, t, entry, 1);
    uint32_t size = kRecordEventBytes;
    if (entry[0] != kRecordEntryEvent) {
      ring_read(q, t, entry, kRecordChunkOverhead);
      size = kRecordChunkOverhead + (entry[1] | entry[2] << 8);
    }
    // Only the putters above write the ring, so this never holds; were it
    // to, the rest is dropped rather than read past the entry's buffer.
    if (size > sizeof entry || size > h - t) {
      t = h;
      break;
    }
    ring_read(q, t, entry, size);
    const RecordBlock one = {size, 1, 0, entry};
    uint32_t at = 0;
    RecordEntry e;
    int added = 2;
    if (record_entry_next(one, &at, &e) == 1)
      added = e.type == kRecordEntryEvent
                  ? record_block_add_event(block, e.event_kind, e.event_channel, e.event_port, e.event_detail,
                                           e.time_us)
                  : record_block_add_chunk(block, e.type, e.time_us, e.data, e.length);
    if (added == 1) break;  // the block is full: the entry stays for the next one
    t += size;
    moved++;
  }
  q->tail.store(t, std::memory_order_release);
  return moved;
}

uint64_t record_queue_waiting(const RecordQueue* q) {
  return q->head.load(std::memory_order_acquire) - q->tail.load(std::memory_order_acquire);
}
