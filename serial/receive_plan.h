// What a receive thread decides without touching the port: how much one
// read asks for, how long the read that completes a chunk may go on, and
// how long a thread pauses after a turn that brought nothing. The thread
// itself (serial/receive_win.cpp) issues the reads and waits.
#pragma once

#include <cstdint>

constexpr uint32_t kReceiveChunk = 100;  // bytes per capture chunk, and per read that waits for them
// Bytes already queued are read up to this many at once and cut into
// chunks of kReceiveChunk.
constexpr uint32_t kReceiveBatch = 40 * kReceiveChunk;
constexpr uint32_t kReceiveNoDeadline = 0xFFFFFFFF;

struct ReceiveRead {
  uint32_t want;  // bytes to ask for, into the buffer behind the `have` already there
  int whole;      // 1: every byte asked for is queued, so the read ends at once under any time-outs
};

// The next read, with `have` bytes (0 or the first byte of a chunk) already
// in the buffer and `queued` more in the driver's queue. Whole chunks that
// are already queued are taken together (up to kReceiveBatch): one read of
// them cuts them where reads of one chunk each would, since each of those
// would end on its count at once. Less than a chunk is completed by a read
// of the rest of one chunk, which the user's time-outs end.
ReceiveRead receive_plan(uint32_t have, uint32_t queued);

// How long, in ms after a chunk's first byte was taken, the read that
// completes the chunk may go on: Wine starts the read interval timer when a
// read first finds bytes and never restarts it, so a read that begins after
// its chunk's first byte is cut by the thread once the interval has passed
// since that byte. kReceiveNoDeadline when no interval applies (interval 0,
// or MAXDWORD with a total time-out); 0 for MAXDWORD without one ("return
// what is there").
uint32_t receive_interval_deadline(uint32_t interval, uint32_t multiplier, uint32_t constant);

// Size of the chunk at offset `at` of `n` bytes read (0 past the end).
uint32_t receive_chunk_at(uint32_t n, uint32_t at);

// The pause after a read that failed, given the previous one (0 after a
// success): 1 ms, doubling up to 100 ms, so a port whose reads keep failing
// (a pty whose far end closed) costs next to nothing.
uint32_t receive_fail_pause(uint32_t previous);

// The pause after a first-byte read that the user's time-outs ended empty
// almost at once, by the ms since the latest bytes in or out on either
// channel: 1 ms for a second (an answer is most likely then), 10 ms for
// the next two seconds, then 25 ms.
uint32_t receive_short_turn_pause(uint32_t quiet_ms);
