#include "net/link_queue.h"

#include <cstring>

#include "net/telnet.h"

namespace {

LinkItem* item_at(LinkQueue* q, uint32_t k) { return &q->items[k % kLinkQueueItems]; }
const LinkItem* item_at(const LinkQueue* q, uint32_t k) { return &q->items[k % kLinkQueueItems]; }

void put_byte(LinkQueue* q, uint8_t b) { q->bytes[q->put++ % kLinkQueueBytes] = b; }

// Room for a write of `wire` bytes, leaving the reserve unless `command`.
int fits(const LinkQueue* q, uint32_t wire, int command) {
  const uint32_t bytes = command ? kLinkQueueBytes : kLinkQueueBytes - kLinkQueueReserve;
  const uint32_t items = command ? kLinkQueueItems : kLinkQueueItems - kLinkQueueItemReserve;
  return q->put - q->kept + wire <= bytes && q->item_put - q->item_kept < items;
}

void add_item(LinkQueue* q, uint32_t start, uint32_t data, uint8_t kind, uint8_t escaped, uint8_t record,
              int64_t handed) {
  // A write into an empty queue starts the wait for the peer afresh.
  if (q->sent == start) q->progress = handed;
  LinkItem* it = item_at(q, q->item_put);
  it->start = start;
  it->wire = q->put - start;
  it->data = data;
  it->handed = handed;
  it->kind = kind;
  it->escaped = escaped;
  it->record = record;
  q->item_put++;
}

int head_held(const LinkQueue* q, int hold_data) {
  return hold_data && q->item_sent != q->item_put && item_at(q, q->item_sent)->kind == kLinkData;
}

}  // namespace

void link_queue_init(LinkQueue* q) {
  q->put = q->sent = q->kept = 0;
  q->item_put = q->item_sent = q->item_kept = 0;
  q->progress = 0;
}

int link_queue_put_data(LinkQueue* q, const uint8_t* bytes, int n, int escape, int record, int64_t handed) {
  if (n < 1 || n > kLinkItemMax) return -1;
  uint32_t wire = static_cast<uint32_t>(n);
  if (escape)
    for (int i = 0; i < n; i++) wire += bytes[i] == kTelnetIac;
  if (!fits(q, wire, 0)) return -1;
  const uint32_t start = q->put;
  for (int i = 0; i < n; i++) {
    put_byte(q, bytes[i]);
    if (escape && bytes[i] == kTelnetIac) put_byte(q, kTelnetIac);
  }
  add_item(q, start, static_cast<uint32_t>(n), kLinkData, static_cast<uint8_t>(escape != 0),
           static_cast<uint8_t>(record != 0), handed);
  return 0;
}

int link_queue_put_command(LinkQueue* q, const uint8_t* bytes, int n, int64_t handed) {
  if (n < 1 || n > kLinkItemMax || !fits(q, static_cast<uint32_t>(n), 1)) return -1;
  const uint32_t start = q->put;
  for (int i = 0; i < n; i++) put_byte(q, bytes[i]);
  add_item(q, start, 0, kLinkCommand, 0, 0, handed);
  return 0;
}

int link_queue_peek(const LinkQueue* q, int hold_data, const uint8_t** p) {
  if (!link_queue_busy(q) || head_held(q, hold_data)) return 0;
  uint32_t end = q->put;
  if (hold_data) {
    // Only the commands before the next data write go.
    uint32_t k = q->item_sent;
    while (k != q->item_put && item_at(q, k)->kind == kLinkCommand) k++;
    end = k == q->item_put ? q->put : item_at(q, k)->start;
  }
  const uint32_t at = q->sent % kLinkQueueBytes;
  uint32_t len = end - q->sent;
  if (len > kLinkQueueBytes - at) len = kLinkQueueBytes - at;
  *p = q->bytes + at;
  return static_cast<int>(len);
}

void link_queue_sent(LinkQueue* q, int n, int64_t now) {
  if (n <= 0) return;
  q->sent += static_cast<uint32_t>(n);
  q->progress = now;
  while (q->item_sent != q->item_put) {
    const LinkItem* it = item_at(q, q->item_sent);
    if (q->sent - it->start < it->wire) break;
    q->item_sent++;
  }
}

int link_queue_collect(LinkQueue* q, LinkItem* item, uint8_t* data) {
  if (q->item_kept == q->item_sent) return 0;
  *item = *item_at(q, q->item_kept);
  if (item->kind == kLinkData) {
    uint32_t out = 0;
    for (uint32_t i = 0; i < item->wire && out < kLinkItemMax; i++) {
      const uint8_t b = q->bytes[(item->start + i) % kLinkQueueBytes];
      data[out++] = b;
      if (item->escaped && b == kTelnetIac) i++;  // its double
    }
  }
  q->kept = item->start + item->wire;
  q->item_kept++;
  return 1;
}

int link_queue_partial(const LinkQueue* q, LinkItem* item, uint8_t* data) {
  if (q->item_sent == q->item_put) return 0;
  *item = *item_at(q, q->item_sent);
  const uint32_t gone = q->sent - item->start;
  if (gone == 0 || gone >= item->wire) return 0;
  uint32_t out = 0;
  if (item->kind == kLinkData) {
    for (uint32_t i = 0; i < gone && out < kLinkItemMax; i++) {
      const uint8_t b = q->bytes[(item->start + i) % kLinkQueueBytes];
      if (item->escaped && b == kTelnetIac && ++i >= gone) break;  // its double is still here
      data[out++] = b;
    }
  }
  item->data = out;
  return 1;
}

int link_queue_stalled(LinkQueue* q, int hold_data, int64_t now) {
  if (!link_queue_busy(q) || head_held(q, hold_data)) {
    q->progress = now;
    return 0;
  }
  return now - q->progress > kLinkStallLimitUs;
}
