// What a receive thread decides without touching the port: how much one
// read asks for, how long the read that completes a chunk may go on, and
// how long a thread pauses after a turn that brought nothing. The thread
// itself (serial/receive_win.cpp) issues the reads and waits.
#pragma once

#include <cstdint>

#include "serial/line_params.h"

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

// How long the read planned by `plan` may go on after its chunk's first
// byte was seen: a read of whole queued chunks ends at once, any other one
// ends `interval_deadline` ms (receive_interval_deadline) after that byte,
// however the turn found the byte (the first-byte read, the port's wait, or
// the queue looked at after a full chunk). The one rule for where a chunk
// ends in time.
uint32_t receive_read_deadline(ReceiveRead plan, uint32_t interval_deadline);

// The time of the chunk that begins `at` bytes into what a turn read, when
// `queued` bytes (the first one included) were already there at `seen_us`.
// The bytes queued behind the chunk's first byte came after it, one
// character's time each at the line's speed, so the chunk is timed that much
// earlier: a continuous stream read in one batch has no silence inside it.
// Never earlier than `floor_us` (where the channel's previous chunk's bytes
// ended: none can have come before them; kTimeUnknown for no floor), never
// later than seen_us (a line faster than its setting, as a pseudo-terminal
// is). kTimeUnknown when seen_us is.
int64_t receive_chunk_time_us(int64_t seen_us, uint32_t queued, uint32_t at, LineShape shape, int64_t floor_us);

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
