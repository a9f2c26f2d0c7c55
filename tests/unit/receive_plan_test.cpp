// What a receive thread asks its port for, and when it pauses.
#include "serial/receive_plan.h"

#include "timeline/chunks.h"

#include <gtest/gtest.h>

namespace {

TEST(ReceivePlan, ReadSizes) {
  struct Case {
    uint32_t have, queued, want;
    int whole;
  } cases[] = {
      // Less than a chunk: the read asks for the rest of one chunk and the
      // time-outs end it.
      {0, 0, 100, 0},
      {0, 1, 100, 0},
      {0, 99, 100, 0},
      {1, 0, 99, 0},
      {1, 98, 99, 0},
      // Whole chunks queued: all of them at once, never a partial chunk.
      {0, 100, 100, 1},
      {0, 101, 100, 1},
      {0, 250, 200, 1},
      {1, 99, 99, 1},
      {1, 4089, 3999, 1},
      {1, 4098, 3999, 1},
      {0, 3999, 3900, 1},
      // No more than the buffer takes, however long the queue.
      {0, 4000, 4000, 1},
      {0, 1000000, 4000, 1},
      {1, 0xFFFFFFFF, 3999, 1},
  };
  for (const Case& c : cases) {
    ReceiveRead r = receive_plan(c.have, c.queued);
    EXPECT_EQ(r.want, c.want) << c.have << " + " << c.queued;
    EXPECT_EQ(r.whole, c.whole) << c.have << " + " << c.queued;
    EXPECT_LE(c.have + r.want, kReceiveBatch);
    if (r.whole) EXPECT_EQ((c.have + r.want) % kReceiveChunk, 0u);
  }
}

TEST(ReceivePlan, ChunksOfARead) {
  EXPECT_EQ(receive_chunk_at(0, 0), 0u);
  EXPECT_EQ(receive_chunk_at(1, 0), 1u);
  EXPECT_EQ(receive_chunk_at(100, 0), 100u);
  EXPECT_EQ(receive_chunk_at(100, 100), 0u);
  EXPECT_EQ(receive_chunk_at(250, 100), 100u);
  EXPECT_EQ(receive_chunk_at(250, 200), 50u);
  // Every byte of a read lands in exactly one chunk, in order.
  for (uint32_t n : {1u, 99u, 100u, 101u, 3999u, 4000u}) {
    uint32_t at = 0, chunks = 0;
    for (uint32_t size; (size = receive_chunk_at(n, at)) > 0; at += size) {
      EXPECT_LE(size, kReceiveChunk);
      chunks++;
    }
    EXPECT_EQ(at, n);
    EXPECT_EQ(chunks, (n + kReceiveChunk - 1) / kReceiveChunk);
  }
}

TEST(ReceivePlan, IntervalDeadlines) {
  EXPECT_EQ(receive_interval_deadline(100, 2, 100), 100u);  // the program's own time-outs
  EXPECT_EQ(receive_interval_deadline(5, 0, 0), 5u);
  EXPECT_EQ(receive_interval_deadline(0, 2, 100), kReceiveNoDeadline);  // total time-out only
  EXPECT_EQ(receive_interval_deadline(0, 0, 0), kReceiveNoDeadline);    // wait for the count
  EXPECT_EQ(receive_interval_deadline(0xFFFFFFFF, 0, 0), 0u);           // what is there, at once
  EXPECT_EQ(receive_interval_deadline(0xFFFFFFFF, 0xFFFFFFFF, 50), kReceiveNoDeadline);
  EXPECT_EQ(receive_interval_deadline(0xFFFFFFFF, 0, 1), kReceiveNoDeadline);
  EXPECT_EQ(receive_interval_deadline(0xFFFFFFFE, 0, 0), 0xFFFFFFFEu);
}

TEST(ReceivePlan, Pauses) {
  uint32_t pause = 0;
  const uint32_t fails[] = {1, 2, 4, 8, 16, 32, 64, 100, 100, 100};
  for (uint32_t want : fails) EXPECT_EQ(pause = receive_fail_pause(pause), want);
  EXPECT_EQ(receive_fail_pause(0), 1u);  // a success starts again from the shortest

  EXPECT_EQ(receive_short_turn_pause(0), 1u);
  EXPECT_EQ(receive_short_turn_pause(999), 1u);
  EXPECT_EQ(receive_short_turn_pause(1000), 10u);
  EXPECT_EQ(receive_short_turn_pause(2999), 10u);
  EXPECT_EQ(receive_short_turn_pause(3000), 25u);
  EXPECT_EQ(receive_short_turn_pause(0xFFFFFFFF), 25u);
}

}  // namespace

// A chunk's read ends the interval after its first byte whichever way the
// turn found that byte; only a read of whole queued chunks has no deadline.
TEST(ReceivePlan, OneDeadlineForEveryPath) {
  EXPECT_EQ(receive_read_deadline(receive_plan(0, 1), 500), 500u);    // the queue looked at after a full chunk
  EXPECT_EQ(receive_read_deadline(receive_plan(1, 0), 500), 500u);    // the first-byte read
  EXPECT_EQ(receive_read_deadline(receive_plan(0, 250), 500), kReceiveNoDeadline);
}

// A continuous stream read in one batch: its chunks follow each other with
// no silence and no overlap by the one silence rule; a line faster than its
// setting never puts a chunk before the previous one's end or after the
// moment the bytes were seen.
TEST(ReceivePlan, BatchChunksTimedBackByTheBytesBehindThem) {
  const LineShape shape[2] = {{9600, 100}, {9600, 100}};  // 8N1: 1041.67 µs a character
  const int64_t seen = 10'000'000;
  const uint32_t queued = 250;
  TimelineChunk previous = {};
  for (uint32_t at = 0, k = 0; at < queued; at += kReceiveChunk, k++) {
    TimelineChunk c = {0, static_cast<int32_t>(receive_chunk_at(queued, at)), kKindRecvCh1,
                       receive_chunk_time_us(seen, queued, at, shape[0], kTimeUnknown), -1};
    if (k > 0) EXPECT_NEAR(static_cast<double>(timeline_silence_us(previous, c, shape)), 0.0, 2.0) << at;
    previous = c;
  }
  EXPECT_EQ(receive_chunk_time_us(seen, queued, 200, shape[0], kTimeUnknown), seen - line_chars_us(shape[0], 49));
  // Bytes came faster than 9600 baud (a pseudo-terminal): the floor holds.
  const int64_t floor = seen - 5'000;
  EXPECT_EQ(receive_chunk_time_us(seen, 4000, 0, shape[0], floor), floor);
  EXPECT_EQ(receive_chunk_time_us(seen, 4000, 0, shape[0], seen + 7), seen);
  EXPECT_EQ(receive_chunk_time_us(seen, 1, 0, shape[0], kTimeUnknown), seen);  // nothing behind it
  EXPECT_EQ(receive_chunk_time_us(kTimeUnknown, 300, 0, shape[0], kTimeUnknown), kTimeUnknown);
  EXPECT_EQ(receive_chunk_time_us(INT64_MIN + 5, 300, 0, shape[0], kTimeUnknown), INT64_MIN + 5);
}
