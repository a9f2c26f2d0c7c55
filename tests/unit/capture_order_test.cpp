// Time order of the capture under sends that are still on their way,
// answers held behind their requests, loads and the recording: the cases
// where a chunk's time, place or recording could go wrong.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "app/capture.h"
#include "record/record_file.h"
#include "record/record_queue.h"
#include "serial/receive_plan.h"

namespace {

std::atomic<int64_t> g_clock{0};
int64_t fake_clock() { return g_clock.load(); }

struct OrderFixture : ::testing::Test {
  std::unique_ptr<Capture> owner = std::make_unique<Capture>();
  Capture* cap = owner.get();
  void SetUp() override {
    g_clock = 0;
    cap->micros = fake_clock;
    ASSERT_EQ(capture_allocate(cap), 0);
    capture_clear(cap);
  }
  void TearDown() override { capture_free(cap); }
};

// One chunk or event as the recorder's writer would take it.
struct Taken {
  uint8_t type;
  int64_t time_us;
  std::vector<uint8_t> data;
};

// Everything waiting in the queue, in order.
void drain(RecordQueue* q, std::vector<Taken>* out) {
  auto b = std::make_unique<RecordBlockBuilder>();
  for (;;) {
    record_block_begin(b.get());
    record_queue_take(q, b.get());
    const uint32_t n = record_block_seal(b.get());
    if (!n) return;
    RecordBlock block;
    ASSERT_EQ(record_block_read(b->bytes, n, &block), kRecordBlockOk);
    uint32_t at = 0;
    RecordEntry e;
    while (record_entry_next(block, &at, &e) == 1) {
      Taken t{e.type, e.time_us, {}};
      if (e.type != kRecordEntryEvent) t.data.assign(e.data, e.data + e.length);
      out->push_back(std::move(t));
    }
  }
}

// Index of the first data record of `kind` holding `byte`; -1 when none.
int32_t find_record(const Capture* cap, uint8_t kind, uint8_t byte) {
  const int32_t w = capture_write_position(cap);
  for (int32_t i = 0; i < w; i++)
    if (cap->records[i].kind == kind && cap->records[i].data == byte) return i;
  return -1;
}

// Polls `done` for up to `ms`.
template <class F>
bool wait_until(F done, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

// A write that did not report back within the hold's bound is taken as
// ended; when it does report back later, that end must not end the write
// begun after it, whose answer must still wait for it.
TEST_F(OrderFixture, ALateEndOfAnAbandonedWriteDoesNotReleaseTheNextWritesAnswer) {
  const uint8_t a[] = {'A'}, b[] = {'B'}, x[] = {'x'}, r[] = {'R'};
  g_clock = 1'000;
  const int64_t handed_a = capture_send_begin(cap, 1);
  g_clock = 2'000;
  ASSERT_EQ(capture_append(cap, x, 1, kKindRecvCh1, 2'000), 0);  // waits out the bound
  ASSERT_EQ(cap->sending_n[0], 0);
  g_clock = 10'000;
  const int64_t handed_b = capture_send_begin(cap, 1);
  g_clock = 10'100;
  capture_send_end(cap, 1, a, 1, handed_a, 0);  // the first write's late report
  EXPECT_EQ(cap->sending_n[0], 1) << "the second write is still on its way";

  std::thread answer([&] { capture_append(cap, r, 1, kKindRecvCh1, 10'500); });
  // The answer to B must not go in while B is on its way (the bound is 250 ms).
  const bool in_early = wait_until([&] { return find_record(cap, kKindRecvCh1, 'R') >= 0; }, 150);
  g_clock = 10'600;
  capture_send_end(cap, 1, b, 1, handed_b, 0);
  answer.join();
  EXPECT_FALSE(in_early);
  const int32_t at_b = find_record(cap, kKindSentCh1, 'B'), at_r = find_record(cap, kKindRecvCh1, 'R');
  ASSERT_GE(at_b, 0);
  ASSERT_GE(at_r, 0);
  EXPECT_LT(at_b, at_r) << "the answer stands before its request";
}

// A sent chunk still on its way (a driver that completed the write while
// its bytes sat in a buffer) is put in before its time by its channel's
// echo or answer, or by an event. Nothing in the capture may then carry a
// time that has not come yet, and the other channel's chunks keep their
// own times.
TEST_F(OrderFixture, ASendPutInEarlyPushesNoTimeIntoTheFuture) {
  uint8_t request[64];
  std::memset(request, 'Q', sizeof request);
  const uint8_t echo[] = {'Q'}, other[] = {'o'};
  g_clock = 100'000;
  const int64_t handed = capture_send_begin(cap, 1);
  g_clock = 101'000;  // the driver took the bytes into its buffer
  // 64 characters at 1200 baud, 8N1: 533'334 µs on the line.
  ASSERT_EQ(capture_send_end(cap, 1, request, 64, handed, 533'334), 0);
  EXPECT_EQ(capture_write_position(cap), 0);
  g_clock = 110'000;
  ASSERT_EQ(capture_append(cap, echo, 1, kKindRecvCh1, 110'000), 0);
  g_clock = 200'000;
  ASSERT_EQ(capture_append(cap, other, 1, kKindRecvCh2, 200'000), 0);
  g_clock = 300'000;
  ASSERT_EQ(capture_add_event(cap, kEventSettings, 2, 4, 9600), 0);

  const int32_t w = capture_write_position(cap);
  int32_t ahead = 0;
  for (int32_t i = 0; i < w; i++) ahead += cap->times[i] != kTimeUnknown && cap->times[i] > 300'000;
  EXPECT_EQ(ahead, 0) << "records timed ahead of the clock, e.g. at " << cap->times[0];
  const int32_t at_other = find_record(cap, kKindRecvCh2, 'o');
  ASSERT_GE(at_other, 0);
  EXPECT_EQ(cap->times[at_other], 200'000) << "CH2's chunk lost its own time";
  ASSERT_EQ(cap->event_count, 1);
  EXPECT_EQ(cap->events[0].time_us, 300'000) << "the event lost its own time";
}

// Stopping the recording must not lose a chunk that went out while it ran:
// a sent chunk still on its way when the recording stops was sent during it.
TEST_F(OrderFixture, AStoppedRecordingKeepsTheSendStillOnItsWay) {
  auto q = std::make_unique<RecordQueue>();
  record_queue_reset(q.get());
  capture_record_to(cap, q.get());
  const uint8_t request[] = {'Q', 'Q', 'Q', 'Q'};
  g_clock = 1'000;
  const int64_t handed = capture_send_begin(cap, 1);
  g_clock = 1'100;
  capture_send_end(cap, 1, request, 4, handed, 33'334);  // on its way until 34'334
  g_clock = 2'000;
  capture_record_to(cap, nullptr);
  g_clock = 40'000;
  capture_refresh_gap(cap);
  ASSERT_EQ(cap->records[0].kind, kKindSentCh1);  // the capture has it
  std::vector<Taken> taken;
  drain(q.get(), &taken);
  ASSERT_EQ(taken.size(), 1u) << "the recording lost a chunk sent while it ran";
  EXPECT_EQ(taken[0].type, kKindSentCh1);
}

// A recording runs on across a loaded log: the chunks it gets stay in time
// order, as they were before the load (the thread that took the earlier
// time got the lock second).
TEST_F(OrderFixture, TheRecordingStaysInTimeOrderAcrossALoad) {
  auto q = std::make_unique<RecordQueue>();
  record_queue_reset(q.get());
  capture_record_to(cap, q.get());
  const uint8_t one[] = {'1'}, two[] = {'2'};
  ASSERT_EQ(capture_append(cap, one, 1, kKindRecvCh1, 5'000), 0);
  CaptureRecord loaded[4] = {};
  loaded[0].kind = kKindRecvCh2;
  loaded[0].data = 'L';
  ASSERT_EQ(capture_load(cap, reinterpret_cast<const uint8_t*>(loaded), 1, nullptr, 0), 0);
  ASSERT_EQ(capture_append(cap, two, 1, kKindRecvCh2, 4'000), 0);  // its time was taken before '1' got in
  capture_record_to(cap, nullptr);
  std::vector<Taken> taken;
  drain(q.get(), &taken);
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_LE(taken[0].time_us, taken[1].time_us) << "the recording went back in time";
}

// Two writes to one channel, one after the other: the first completed
// while its bytes were still in a buffer, the second (short, queued behind
// it) reported back after its own line time. The second must not go in
// before the first: one channel's bytes stay in the order they were sent.
TEST_F(OrderFixture, ASecondWriteDoesNotOvertakeTheFirstStillOnItsWay) {
  uint8_t first[100];
  std::memset(first, '1', sizeof first);
  const uint8_t second[] = {'2'};
  g_clock = 10'000;
  int64_t handed = capture_send_begin(cap, 1);
  g_clock = 10'150;
  capture_send_end(cap, 1, first, 100, handed, 8'681);  // 100 characters at 115200 baud
  g_clock = 10'300;
  handed = capture_send_begin(cap, 1);
  g_clock = 10'500;
  capture_send_end(cap, 1, second, 1, handed, 87);
  g_clock = 30'000;
  capture_refresh_gap(cap);
  const int32_t at_first = find_record(cap, kKindSentCh1, '1'), at_second = find_record(cap, kKindSentCh1, '2');
  ASSERT_GE(at_first, 0);
  ASSERT_GE(at_second, 0);
  EXPECT_LT(at_first, at_second) << "CH1's sent bytes are out of order";
}

// Times at the edges of 64 bits and without a clock never wrap, never land
// on the unknown time by accident, and never lose a chunk.
TEST_F(OrderFixture, TimesAtTheLimitsAndWithoutAClock) {
  const uint8_t s[] = {'s'}, r[] = {'r'};
  g_clock = INT64_MAX - 10;
  int64_t handed = capture_send_begin(cap, 2);
  ASSERT_EQ(capture_send_end(cap, 2, s, 1, handed, 1'000), 0);  // hand-over plus line time leaves 64 bits
  ASSERT_EQ(capture_write_position(cap), 4);
  EXPECT_EQ(cap->times[0], INT64_MAX - 10);
  EXPECT_EQ(receive_chunk_time_us(INT64_MIN + 1, 4000, 0, LineShape{300, 100}, kTimeUnknown), INT64_MIN + 1);
  EXPECT_EQ(receive_chunk_time_us(INT64_MAX, 4000, 0, LineShape{300, 100}, INT64_MAX - 1), INT64_MAX - 1);
  cap->micros = nullptr;
  handed = capture_send_begin(cap, 1);
  EXPECT_EQ(handed, kTimeUnknown);
  ASSERT_EQ(capture_append(cap, r, 1, kKindRecvCh1, kTimeUnknown), 0);  // no clock: nothing is held
  ASSERT_EQ(capture_send_end(cap, 1, s, 1, handed, 500), 0);
  EXPECT_EQ(capture_write_position(cap), 12);
  EXPECT_EQ(cap->times[4], kTimeUnknown);
  EXPECT_EQ(cap->times[8], kTimeUnknown);
  EXPECT_EQ(cap->sending_n[0] + cap->sending_n[1], 0);
}

// Both receive threads, a sender whose writes often end before their last
// character left, and a reader that snapshots, clears, refreshes gaps and
// adds events, while the buffer wraps: every stream reaches the recording
// whole, once and in order, the recording and every snapshot are in time
// order, and no one waits for good.
TEST(CaptureOrderConcurrency, ReceiversASenderAndAReaderAcrossWraps) {
  auto owner = std::make_unique<Capture>();
  Capture* cap = owner.get();
  static const auto t0 = std::chrono::steady_clock::now();
  cap->micros = [] {
    return static_cast<int64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count());
  };
  ASSERT_EQ(capture_allocate(cap), 0);
  auto q = std::make_unique<RecordQueue>();
  record_queue_reset(q.get());
  capture_record_to(cap, q.get());

  constexpr int kChunks = 6000;
  std::atomic<int> writers{3};
  auto receiver = [&](uint8_t kind) {
    uint8_t buf[100];
    uint8_t next = 0;
    for (int i = 0; i < kChunks; i++) {
      const int n = 1 + i % 37;
      for (int k = 0; k < n; k++) buf[k] = next++;
      const int64_t seen = capture_now_us(cap);
      const int64_t t = receive_chunk_time_us(seen, static_cast<uint32_t>(n + i % 5), 0, LineShape{115200, 100},
                                              kTimeUnknown);
      capture_append_seen(cap, buf, n, kind, t, seen);
    }
    writers--;
  };
  std::thread rx1(receiver, kKindRecvCh1), rx2(receiver, kKindRecvCh2);
  std::thread tx([&] {
    uint8_t buf[258];
    uint8_t next[2] = {0, 0};
    for (int i = 0; i < kChunks; i++) {
      const int ch = 1 + i % 2;
      const int n = 1 + i % 23;
      for (int k = 0; k < n; k++) buf[k] = next[ch - 1]++;
      const int64_t handed = capture_send_begin(cap, ch);
      if (i % 7 == 0) std::this_thread::yield();
      capture_send_end(cap, ch, buf, n, handed, i % 3 == 0 ? 3'000 : 0);
    }
    writers--;
  });

  std::vector<Taken> taken;
  auto snap = std::make_unique<CaptureSnapshot>();
  ASSERT_EQ(capture_snapshot_allocate(snap.get()), 0);
  int snapshots_out_of_order = 0;
  for (int turn = 0; writers.load() > 0; turn++) {
    capture_refresh_gap(cap);
    if (turn % 5 == 0) {
      capture_snapshot_take(cap, snap.get());
      int64_t last = kTimeUnknown;
      for (int32_t i = 0; i < snap->count; i++) {
        const int64_t t = snap->times[i];
        if (t == kTimeUnknown) continue;
        if (last != kTimeUnknown && t < last) snapshots_out_of_order++;
        last = t;
      }
    }
    if (turn % 97 == 0) capture_add_event(cap, kEventSettings, 1, 3, 9600);
    if (turn % 331 == 0) capture_clear(cap);
    drain(q.get(), &taken);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  rx1.join();
  rx2.join();
  tx.join();
  g_clock = 0;
  // Whatever is still on its way goes in once its time has come: a third
  // of each channel's writes take 3 ms on the line and queue behind each
  // other, so the last may leave seconds after its hand-over.
  ASSERT_TRUE(wait_until(
      [&] {
        capture_refresh_gap(cap);
        return cap->sent_due_n[0] == 0 && cap->sent_due_n[1] == 0;
      },
      10000));
  capture_record_to(cap, nullptr);
  drain(q.get(), &taken);
  EXPECT_EQ(record_queue_waiting(q.get()), 0u);
  EXPECT_EQ(q->lost.load(), 0u);

  uint8_t expect[5] = {};
  int64_t bytes[5] = {}, out_of_sequence[5] = {}, last = kTimeUnknown;
  int backwards = 0;
  for (const Taken& t : taken) {
    if (t.type == kRecordEntryEvent) continue;
    ASSERT_GE(t.type, 1);
    ASSERT_LE(t.type, 4);
    for (uint8_t byte : t.data) {
      out_of_sequence[t.type] += byte != expect[t.type];
      expect[t.type] = static_cast<uint8_t>(byte + 1);
      bytes[t.type]++;
    }
    if (t.time_us != kTimeUnknown) {
      if (last != kTimeUnknown && t.time_us < last) backwards++;
      last = t.time_us;
    }
  }
  int64_t sent[2] = {};
  for (int i = 0; i < kChunks; i++) sent[i % 2] += 1 + i % 23;
  int64_t received = 0;
  for (int i = 0; i < kChunks; i++) received += 1 + i % 37;
  EXPECT_EQ(bytes[kKindRecvCh1], received);
  EXPECT_EQ(bytes[kKindRecvCh2], received);
  EXPECT_EQ(bytes[kKindSentCh1], sent[0]);
  EXPECT_EQ(bytes[kKindSentCh2], sent[1]);
  for (int kind = 1; kind <= 4; kind++) EXPECT_EQ(out_of_sequence[kind], 0) << "stream " << kind << " reordered";
  EXPECT_EQ(backwards, 0);
  EXPECT_EQ(snapshots_out_of_order, 0);
  EXPECT_EQ(cap->sending_n[0] + cap->sending_n[1], 0);
  capture_snapshot_free(snap.get());
  capture_free(cap);
}

}  // namespace
