// The outgoing side of a network link: a bounded queue of whole writes
// (the user's data, Telnet-escaped whole where the link speaks Telnet, and
// the link's own commands and replies) in the order they were handed over.
//
// Threads: whoever sends (the window's thread, the link thread for its
// replies) puts a write in under the link's lock and wakes the link thread;
// only the link thread takes bytes out, sends them on a non-blocking
// socket, tells how many left (a partial send resumes exactly there) and
// collects each write that has left whole, so the data can be recorded as
// sent. A write is put whole or refused at once, never waited for; a part
// of the queue is kept for the link's own commands, so a user's flood can
// never leave a negotiation answer half-sent or unsent. Nothing allocates.
#pragma once

#include <cstdint>

constexpr int kLinkQueueBytes = 65536;     // wire bytes held at most
constexpr int kLinkQueueItems = 1024;      // writes held at most
constexpr int kLinkQueueReserve = 4096;    // bytes only commands may use
constexpr int kLinkQueueItemReserve = 64;  // writes only commands may use
constexpr int kLinkItemMax = 1024;         // the longest write (its data bytes)
// A peer that takes none of the queued bytes for this long has stopped
// reading: the link is lost (the limit a connect has).
constexpr int64_t kLinkStallLimitUs = 5000000;

enum LinkItemKind : uint8_t { kLinkData = 0, kLinkCommand = 1 };

struct LinkItem {
  uint32_t start;   // its first wire byte, as a count of all bytes ever put
  uint32_t wire;    // its bytes on the wire
  uint32_t data;    // the data bytes it carries (0 for a command)
  int64_t handed;   // when it was handed over
  uint8_t kind;     // LinkItemKind
  uint8_t escaped;  // each 0xFF of the data went out doubled
  uint8_t record;   // the caller wants it in the capture once it has left
};

struct LinkQueue {
  uint8_t bytes[kLinkQueueBytes];
  uint32_t put, sent, kept;  // byte counts: all put, all gone, start of the oldest write kept
  LinkItem items[kLinkQueueItems];
  uint32_t item_put, item_sent, item_kept;  // write counts likewise
  int64_t progress;  // the latest time bytes left, or the queue was empty or held
};

void link_queue_init(LinkQueue* q);

// Puts `n` data bytes (1..kLinkItemMax) as one write, each 0xFF doubled
// when `escape`. 0, or -1 when the queue cannot take it whole (nothing put).
int link_queue_put_data(LinkQueue* q, const uint8_t* bytes, int n, int escape, int record, int64_t handed);
// Puts an encoded command (1..kLinkItemMax bytes) as one write; it may use
// the reserve. 0, or -1 when it does not fit (nothing put).
int link_queue_put_command(LinkQueue* q, const uint8_t* bytes, int n, int64_t handed);

// 1 while bytes wait to leave.
inline int link_queue_busy(const LinkQueue* q) { return q->sent != q->put; }

// The next bytes to send, one contiguous run: *p and its length, 0 when
// nothing can go. With `hold_data` (the server asked to stop the data) a
// data write waits, and what follows it with it.
int link_queue_peek(const LinkQueue* q, int hold_data, const uint8_t** p);
// `n` bytes of the last peek left at `now`.
void link_queue_sent(LinkQueue* q, int n, int64_t now);
// The oldest write that has left whole and is not collected yet: 1 with
// *item and, for data, its data bytes (0xFF pairs undone) into `data`
// (kLinkItemMax bytes); 0 when there is none. The write's room is free after.
int link_queue_collect(LinkQueue* q, LinkItem* item, uint8_t* data);
// At the end of a connection: the write that had partly left when it
// ended. 1 with *item and, for data, the data bytes that left whole into
// `data` (a 0xFF whose double never left did not reach the peer as data),
// their count in item->data; 0 when no write was partly sent.
int link_queue_partial(const LinkQueue* q, LinkItem* item, uint8_t* data);
// 1 when bytes have waited past kLinkStallLimitUs at `now` without any
// leaving; waiting on a hold or an empty queue does not count.
int link_queue_stalled(LinkQueue* q, int hold_data, int64_t now);
