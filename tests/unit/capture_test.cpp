#include "app/capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

uint32_t g_now = 0;
uint32_t fake_tick() { return g_now; }

struct CaptureFixture : ::testing::Test {
  Capture cap;
  void SetUp() override {
    g_now = 5000;
    cap.tick = fake_tick;
    ASSERT_EQ(capture_allocate(&cap), 0);
    capture_clear(&cap);
  }
  void TearDown() override { capture_free(&cap); }
  const CaptureRecord& rec(int i) { return cap.records[i]; }
  std::string marker_text(int i) { return {char(rec(i).data), char(rec(i).marker2)}; }
  std::string gap_digits(int marker_index) { return marker_text(marker_index) + marker_text(marker_index + 1); }
};

TEST_F(CaptureFixture, ChunkIsDataRecordsThenThreeGapMarkers) {
  const uint8_t bytes[] = {0x41, 0x0D, 0x0A};
  ASSERT_EQ(capture_append(&cap, bytes, 3, kKindRecvCh1, kTimeUnknown), 0);
  EXPECT_EQ(capture_write_position(&cap), 6);
  EXPECT_EQ(cap.last_marker_index.load(), 4);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(rec(i).kind, kKindRecvCh1);
    EXPECT_EQ(rec(i).data, bytes[i]);
    EXPECT_EQ(rec(i).position, i);
    EXPECT_EQ(rec(i).reserved1 | rec(i).marker2 | rec(i).reserved[0] | rec(i).reserved[1] | rec(i).reserved[2], 0);
  }
  EXPECT_EQ(rec(3).kind, kKindGapText);
  EXPECT_EQ(marker_text(3), "t=");
  EXPECT_EQ(rec(4).kind, kKindGapHigh);
  EXPECT_EQ(rec(5).kind, kKindGapLow);
  EXPECT_EQ(gap_digits(4), "0000");
  EXPECT_EQ(rec(4).position, 0);
  EXPECT_EQ(cap.last_append_time, 5000u);
}

TEST_F(CaptureFixture, NextChunkFillsPreviousGapInTenthsOfASecond) {
  const uint8_t a[] = {1, 2, 3};
  capture_append(&cap, a, 3, kKindSentCh1, kTimeUnknown);
  g_now += 1234;
  capture_append(&cap, a, 1, kKindRecvCh2, kTimeUnknown);
  EXPECT_EQ(gap_digits(4), "0012");
  EXPECT_EQ(rec(6).kind, kKindRecvCh2);
  EXPECT_EQ(gap_digits(8), "0000");
  EXPECT_EQ(cap.last_append_time, 6234u);
}

TEST_F(CaptureFixture, GapCapsAtNineNineNineNine) {
  const uint8_t a[] = {1, 2};
  capture_append(&cap, a, 2, kKindRecvCh1, kTimeUnknown);
  g_now += 1000000;
  capture_refresh_gap(&cap);
  EXPECT_EQ(gap_digits(3), "9999");
  EXPECT_EQ(capture_gap_units(99999), 999);
  EXPECT_EQ(capture_gap_units(99), 0);
}

TEST_F(CaptureFixture, SingleByteFirstChunkNeverGetsDigits) {
  const uint8_t a[] = {0x55};
  capture_append(&cap, a, 1, kKindRecvCh1, kTimeUnknown);
  EXPECT_EQ(cap.last_marker_index.load(), 2);
  g_now += 5000;
  capture_refresh_gap(&cap);
  capture_append(&cap, a, 1, kKindRecvCh1, kTimeUnknown);
  EXPECT_EQ(gap_digits(2), "0000");
}

TEST_F(CaptureFixture, RefreshGapGrowsWhileQuiet) {
  const uint8_t a[] = {1, 2, 3, 4};
  capture_append(&cap, a, 4, kKindRecvCh1, kTimeUnknown);
  g_now += 250;
  capture_refresh_gap(&cap);
  EXPECT_EQ(gap_digits(5), "0002");
  g_now += 750;
  capture_refresh_gap(&cap);
  EXPECT_EQ(gap_digits(5), "0010");
}

TEST_F(CaptureFixture, PositionsCountModulo256) {
  std::vector<uint8_t> big(300, 0xAA);
  ASSERT_EQ(capture_append(&cap, big.data(), 300, kKindSentCh2, kTimeUnknown), 0);
  EXPECT_EQ(rec(255).position, 255);
  EXPECT_EQ(rec(256).position, 0);
  EXPECT_EQ(rec(299).position, 43);
}

TEST_F(CaptureFixture, WrapMovesRecordsDownBy65536) {
  // Fill up to 130,800 with recognisable records.
  for (int i = 0; i < 130800; i++) {
    cap.records[i].kind = kKindRecvCh2;
    cap.records[i].data = static_cast<uint8_t>(i * 7);
  }
  cap.write_position.store(130800);
  cap.last_marker_index = 130798;
  std::vector<uint8_t> chunk(100);
  for (int i = 0; i < 100; i++) chunk[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(capture_append(&cap, chunk.data(), 100, kKindRecvCh1, kTimeUnknown), 0);
  EXPECT_EQ(capture_write_position(&cap), 65367);
  EXPECT_EQ(cap.last_marker_index.load(), 65365);
  EXPECT_EQ(rec(0).data, static_cast<uint8_t>(65536 * 7));
  EXPECT_EQ(rec(1000).data, static_cast<uint8_t>((65536 + 1000) * 7));
  EXPECT_EQ(rec(130800 - 65536).kind, kKindRecvCh1);
  EXPECT_EQ(rec(130800 - 65536 + 99).data, 99);
  EXPECT_EQ(rec(65365).kind, kKindGapHigh);
}

TEST_F(CaptureFixture, NoWrapAtThreshold) {
  cap.write_position.store(130816 - 4);
  const uint8_t a[] = {1};
  capture_append(&cap, a, 1, kKindRecvCh1, kTimeUnknown);
  EXPECT_EQ(capture_write_position(&cap), 130816);
}

TEST_F(CaptureFixture, RefusedAppendsWriteNothing) {
  const uint8_t a[] = {1};
  EXPECT_EQ(capture_append(&cap, a, 0, kKindRecvCh1, kTimeUnknown), 0);
  EXPECT_EQ(capture_append(&cap, a, 1, 0, kTimeUnknown), 1);
  EXPECT_EQ(capture_append(&cap, a, 1, kKindGapText, kTimeUnknown), 1);
  EXPECT_EQ(capture_append(&cap, a, kCaptureMaxChunk + 1, kKindRecvCh1, kTimeUnknown), 1);
  EXPECT_EQ(capture_write_position(&cap), 0);
  Capture empty;
  EXPECT_EQ(capture_append(&empty, a, 1, kKindRecvCh1, kTimeUnknown), 1);
}

TEST_F(CaptureFixture, LongestChunkAtThresholdStaysInsideBuffer) {
  cap.write_position.store(kCaptureWrapThreshold);
  std::vector<uint8_t> big(kCaptureMaxChunk, 1);
  ASSERT_EQ(capture_append(&cap, big.data(), kCaptureMaxChunk, kKindSentCh1, kTimeUnknown), 0);
  EXPECT_EQ(capture_write_position(&cap), kCaptureRecords - kCaptureWrapShift);
}

TEST_F(CaptureFixture, ClearKeepsRecordsAndFollowMode) {
  const uint8_t a[] = {7, 8, 9};
  capture_append(&cap, a, 3, kKindRecvCh1, kTimeUnknown);
  cap.view.follow_mode = 0;
  cap.view.view_position = 40;
  cap.view.painted_position = 6;
  std::memcpy(cap.view.end_marker, "   ", 4);
  capture_clear(&cap);
  EXPECT_EQ(capture_write_position(&cap), 0);
  EXPECT_EQ(cap.last_marker_index.load(), 0);
  EXPECT_EQ(cap.view.view_position, 0);
  EXPECT_EQ(cap.view.painted_position, 0);
  EXPECT_STREQ(cap.view.end_marker, "EOF");
  EXPECT_EQ(cap.view.follow_mode, 0);
  EXPECT_EQ(rec(1).data, 8);
  EXPECT_EQ(cap.last_append_time, 5000u);
}

TEST_F(CaptureFixture, ReplaceForgetsLatestChunk) {
  const uint8_t a[] = {1, 2, 3};
  capture_append(&cap, a, 3, kKindRecvCh1, kTimeUnknown);
  std::vector<CaptureRecord> loaded(10);
  for (auto& r : loaded) r = {kKindRecvCh2, 0, 0x33, 0, 0, {0, 0, 0}};
  ASSERT_EQ(capture_replace(&cap, reinterpret_cast<uint8_t*>(loaded.data()), 10), 0);
  EXPECT_EQ(capture_write_position(&cap), 10);
  g_now += 3000;
  capture_append(&cap, a, 2, kKindRecvCh1, kTimeUnknown);
  // Record 4 came from the file: the append must not write gap digits there.
  EXPECT_EQ(rec(4).kind, kKindRecvCh2);
  EXPECT_EQ(rec(4).data, 0x33);
  EXPECT_EQ(capture_replace(&cap, nullptr, -1), 1);
  EXPECT_EQ(capture_replace(&cap, nullptr, kCaptureWrapThreshold + 1), 1);
}

TEST_F(CaptureFixture, CopyTakesRecordsAsTheyLie) {
  const uint8_t a[] = {0x10, 0x20, 0x30};
  capture_append(&cap, a, 3, kKindRecvCh1, kTimeUnknown);
  g_now += 4500;
  capture_append(&cap, a, 2, kKindSentCh2, kTimeUnknown);
  CaptureRecord out[8];
  ASSERT_EQ(capture_copy(&cap, 1, 8, out), 0);
  EXPECT_EQ(std::memcmp(out, cap.records + 1, sizeof out), 0);
  EXPECT_EQ(out[0].data, 0x20);
  EXPECT_EQ(out[3].kind, kKindGapHigh);
  EXPECT_EQ((std::string{char(out[3].data), char(out[3].marker2), char(out[4].data), char(out[4].marker2)}), "0045");
  EXPECT_EQ(out[5].kind, kKindSentCh2);
  // The last record of the block can be copied; nothing past it or before
  // record 0, and a refused copy leaves `out` alone.
  cap.records[kCaptureRecords - 1].data = 0x5A;
  ASSERT_EQ(capture_copy(&cap, kCaptureRecords - 1, 1, out), 0);
  EXPECT_EQ(out[0].data, 0x5A);
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(capture_copy(&cap, kCaptureRecords - 1, 2, out), 1);
  EXPECT_EQ(capture_copy(&cap, -1, 2, out), 1);
  EXPECT_EQ(capture_copy(&cap, 0, -1, out), 1);
  EXPECT_EQ(capture_copy(&cap, kCaptureRecords, 0x7FFFFFFF, out), 1);
  EXPECT_EQ(out[0].kind, 0xEE);
  EXPECT_EQ(capture_copy(&cap, 0, 0, nullptr), 0);
  Capture empty;
  EXPECT_EQ(capture_copy(&empty, 0, 1, out), 1);
}

TEST_F(CaptureFixture, TimesGoToDataRecordsAndMarkersHaveNone) {
  for (int i = 0; i < kCaptureRecords; i += 4099) EXPECT_EQ(cap.times[i], kTimeUnknown) << i;
  EXPECT_EQ(cap.times[kCaptureRecords - 1], kTimeUnknown);
  const uint8_t a[] = {1, 2, 3};
  ASSERT_EQ(capture_append(&cap, a, 3, kKindRecvCh1, 1000), 0);
  ASSERT_EQ(capture_append(&cap, a, 2, kKindSentCh2, 2500), 0);
  ASSERT_EQ(capture_append(&cap, a, 1, kKindRecvCh2, kTimeUnknown), 0);
  const int64_t want[] = {1000, 1000, 1000, kTimeUnknown, kTimeUnknown, kTimeUnknown,
                          2500, 2500, kTimeUnknown, kTimeUnknown, kTimeUnknown,
                          kTimeUnknown, kTimeUnknown, kTimeUnknown, kTimeUnknown};
  ASSERT_EQ(capture_write_position(&cap), 15);
  for (int i = 0; i < 15; i++) EXPECT_EQ(cap.times[i], want[i]) << i;
  // The marker times are written, not left over from an earlier chunk.
  capture_clear(&cap);
  cap.times[3] = 42;
  ASSERT_EQ(capture_append(&cap, a, 3, kKindRecvCh1, 9000), 0);
  EXPECT_EQ(cap.times[0], 9000);
  EXPECT_EQ(cap.times[2], 9000);
  EXPECT_EQ(cap.times[3], kTimeUnknown);
  // A refused append leaves the times alone (record 6 still holds the time
  // from before the clear).
  EXPECT_EQ(capture_append(&cap, a, 1, kKindGapLow, 5), 1);
  EXPECT_EQ(cap.times[6], 2500);
}

TEST_F(CaptureFixture, NowComesFromTheMicrosecondClock) {
  EXPECT_EQ(capture_now_us(&cap), kTimeUnknown);
  cap.micros = [] { return int64_t{123456789}; };
  EXPECT_EQ(capture_now_us(&cap), 123456789);
}

TEST_F(CaptureFixture, WrapMovesTimesWithTheirRecords) {
  for (int i = 0; i < 130800; i++) {
    cap.records[i].kind = kKindRecvCh2;
    cap.times[i] = i;
  }
  cap.write_position.store(130800);
  cap.last_marker_index = 130798;
  std::vector<uint8_t> chunk(100, 0x11);
  ASSERT_EQ(capture_append(&cap, chunk.data(), 100, kKindRecvCh1, 777), 0);
  ASSERT_EQ(capture_write_position(&cap), 65367);
  EXPECT_EQ(cap.times[0], 65536);
  EXPECT_EQ(cap.times[1000], 65536 + 1000);
  EXPECT_EQ(cap.times[130799 - 65536], 130799);
  for (int i = 0; i < 100; i++) ASSERT_EQ(cap.times[130800 - 65536 + i], 777) << i;
  for (int i = 0; i < 3; i++) EXPECT_EQ(cap.times[130900 - 65536 + i], kTimeUnknown);
}

TEST_F(CaptureFixture, ReplaceForgetsTimesAndSetTimesPutsThemBack) {
  const uint8_t a[] = {1, 2, 3};
  capture_append(&cap, a, 3, kKindRecvCh1, 1000);
  cap.times[kCaptureRecords - 1] = 5;  // past the write position: forgotten too
  std::vector<CaptureRecord> loaded(10);
  for (auto& r : loaded) r = {kKindRecvCh2, 0, 0x33, 0, 0, {0, 0, 0}};
  ASSERT_EQ(capture_replace(&cap, reinterpret_cast<uint8_t*>(loaded.data()), 10), 0);
  EXPECT_EQ(cap.times[0], kTimeUnknown);
  EXPECT_EQ(cap.times[kCaptureRecords - 1], kTimeUnknown);

  // Only the count of the load is taken, and nothing changes on a mismatch.
  int64_t times[10];
  for (int i = 0; i < 10; i++) times[i] = i * 100;
  times[7] = kTimeUnknown;
  EXPECT_EQ(capture_set_times(&cap, times, 9, 0), 1);
  EXPECT_EQ(capture_set_times(&cap, times, 11, 0), 1);
  EXPECT_EQ(cap.times[1], kTimeUnknown);

  // Same offsets: the times as they are.
  ASSERT_EQ(capture_set_times(&cap, times, 10, 0), 0);
  EXPECT_EQ(cap.times[0], 0);
  EXPECT_EQ(cap.times[9], 900);
  EXPECT_EQ(cap.times[7], kTimeUnknown);

  // The file's clock ran 5 s ahead of this one's wall offset: every known
  // time moves so that time + wall_offset_us stays the same instant.
  cap.wall_offset_us = 1'700'000'000'000'000;
  ASSERT_EQ(capture_set_times(&cap, times, 10, 1'700'000'005'000'000), 0);
  EXPECT_EQ(cap.times[1], 5'000'100);
  EXPECT_EQ(cap.times[1] + cap.wall_offset_us, times[1] + 1'700'000'005'000'000);
  EXPECT_EQ(cap.times[7], kTimeUnknown);

  // Times that cannot be moved within 64 bits become unknown, never wrap.
  times[2] = INT64_MAX - 10;
  times[3] = INT64_MIN + 1;
  cap.wall_offset_us = 0;
  ASSERT_EQ(capture_set_times(&cap, times, 10, 100), 0);
  EXPECT_EQ(cap.times[2], kTimeUnknown);
  EXPECT_EQ(cap.times[3], INT64_MIN + 101);
  ASSERT_EQ(capture_set_times(&cap, times, 10, -100), 0);
  EXPECT_EQ(cap.times[2], INT64_MAX - 110);
  EXPECT_EQ(cap.times[3], kTimeUnknown);
  cap.wall_offset_us = INT64_MIN + 5;
  ASSERT_EQ(capture_set_times(&cap, times, 10, INT64_MAX), 0);
  for (int i = 0; i < 10; i++) EXPECT_EQ(cap.times[i], kTimeUnknown) << i;

  Capture empty;
  EXPECT_EQ(capture_set_times(&empty, times, 0, 0), 1);
}

TEST_F(CaptureFixture, CopyTimesTakesThemAsTheyLie) {
  const uint8_t a[] = {1, 2};
  capture_append(&cap, a, 2, kKindRecvCh1, 31);
  int64_t out[5];
  ASSERT_EQ(capture_copy_times(&cap, 1, 4, out), 0);
  EXPECT_EQ(out[0], 31);
  EXPECT_EQ(out[1], kTimeUnknown);
  out[0] = 99;
  EXPECT_EQ(capture_copy_times(&cap, kCaptureRecords - 1, 2, out), 1);
  EXPECT_EQ(capture_copy_times(&cap, -1, 1, out), 1);
  EXPECT_EQ(out[0], 99);
  Capture empty;
  EXPECT_EQ(capture_copy_times(&empty, 0, 1, out), 1);
}

// Checks that records [from, to) are whole chunks of kind 1 (100 bytes) or
// kind 3 (37 bytes), each followed by its three gap markers, in time order.
static int count_whole_chunks(const Capture& cap, int32_t from, int32_t to) {
  int32_t i = from;
  int chunks = 0;
  int64_t latest = INT64_MIN;
  while (i < to) {
    uint8_t kind = cap.records[i].kind;
    int size = kind == kKindRecvCh1 ? 100 : 37;
    EXPECT_TRUE(kind == kKindRecvCh1 || kind == kKindRecvCh2) << "at " << i;
    if (i + size + 3 > to) return -1;
    for (int j = 0; j < size; j++) {
      if (cap.records[i + j].kind != kind || cap.records[i + j].position != j ||
          cap.records[i + j].data != cap.records[i].data || cap.times[i + j] != cap.times[i] || cap.times[i] < latest)
        return -1;
    }
    latest = cap.times[i];
    if (cap.records[i + size].kind != kKindGapText || cap.records[i + size + 2].kind != kKindGapLow) return -1;
    for (int j = 0; j < 3; j++)
      if (cap.times[i + size + j] != kTimeUnknown) return -1;
    i += size + 3;
    chunks++;
  }
  return chunks;
}

static void append_chunks(Capture* cap, uint8_t kind, int size, int count) {
  std::vector<uint8_t> bytes(size);
  for (int c = 0; c < count; c++) {
    for (int i = 0; i < size; i++) bytes[i] = static_cast<uint8_t>(c);
    ASSERT_EQ(capture_append(cap, bytes.data(), size, kind, c), 0);  // the chunk's number as its time
  }
}

static std::atomic<uint32_t> g_shared_clock{0};
static uint32_t shared_tick() { return g_shared_clock.fetch_add(7); }

// Checks one record below the write position as the user-interface thread
// reads it, while writers go on: the kind, the data byte of a data record
// (writer `kind` writes the number of its chunk, modulo 256, into every
// byte of it, and the whole number as its time), and the marker characters,
// whose gap digits the next append or a gap refresh may be rewriting at
// that moment. `chunk` counts the
// chunks of each data kind seen so far. Returns 1 for a fault.
static int check_record_while_written(const CaptureRecord& r, int64_t time, int chunk[5]) {
  uint8_t kind = r.kind;
  uint8_t data = capture_byte(r);
  uint8_t marker2 = capture_marker2(r);
  auto digit = [](uint8_t c) { return c >= '0' && c <= '9'; };
  switch (kind) {
    case kKindRecvCh1:
    case kKindRecvCh2:
      if (r.position == 0) chunk[kind]++;
      // The other writer's later chunk may have got the lock first: then
      // this one took its time, never an earlier one.
      return data != static_cast<uint8_t>(chunk[kind]) || time < chunk[kind];
    case kKindGapText:
      return data != 't' || marker2 != '=' || time != kTimeUnknown;
    case kKindGapHigh:
    case kKindGapLow:
      return !digit(data) || !digit(marker2) || time != kTimeUnknown;
    default:
      return 1;
  }
}

// Two writers append while a reader follows the write position (below the
// wrap threshold, as between two wraps in the program): chunks interleave
// only whole, every record below the position the reader saw is there, and
// the reader sees the data bytes the writers wrote and gap digits that are
// digits even while they are being filled in.
TEST(CaptureConcurrency, TwoWritersAndAFollowingReader) {
  static Capture cap;
  cap.tick = shared_tick;
  ASSERT_EQ(capture_allocate(&cap), 0);
  capture_clear(&cap);
  const int kChunks = 600;  // 600 * 103 + 600 * 40 records: no wrap
  std::atomic<int> writers_done{0};
  // The writers start once the reader is reading, so that they overlap.
  std::atomic<bool> reading{false};
  auto writer = [&](uint8_t kind, int size) {
    while (!reading.load()) std::this_thread::yield();
    append_chunks(&cap, kind, size, kChunks);
    writers_done++;
  };
  std::thread a(writer, kKindRecvCh1, 100);
  std::thread b(writer, kKindRecvCh2, 37);
  reading.store(true);
  int32_t seen = 0;
  int faults = 0;
  int chunk[5] = {-1, -1, -1, -1, -1};
  while (writers_done.load() < 2 || seen < capture_write_position(&cap)) {
    int32_t w = capture_write_position(&cap);
    ASSERT_GE(w, seen);
    for (int32_t i = seen; i < w; i++) faults += check_record_while_written(cap.records[i], cap.times[i], chunk);
    // The latest chunk's gap digits once more, as the live gap redraw reads
    // them: the next append is filling them in at about this moment.
    if (w >= 2) {
      faults += cap.records[w - 2].kind != kKindGapHigh || check_record_while_written(cap.records[w - 2], cap.times[w - 2], chunk);
      faults += cap.records[w - 1].kind != kKindGapLow || check_record_while_written(cap.records[w - 1], cap.times[w - 1], chunk);
    }
    seen = w;
  }
  a.join();
  b.join();
  EXPECT_EQ(faults, 0);
  EXPECT_EQ(chunk[kKindRecvCh1], kChunks - 1);
  EXPECT_EQ(chunk[kKindRecvCh2], kChunks - 1);
  EXPECT_EQ(capture_write_position(&cap), kChunks * 103 + kChunks * 40);
  EXPECT_EQ(count_whole_chunks(cap, 0, capture_write_position(&cap)), 2 * kChunks);
  capture_free(&cap);
}

// The log save's copy of the latest chunk, taken while a writer appends and
// fills in that chunk's gap digits: every copy is the whole chunk with its
// markers, and the digits are digits.
static int copied_chunk_faults(const CaptureRecord* out) {
  int faults = 0;
  for (int j = 0; j < 37; j++) faults += out[j].kind != kKindRecvCh2 || out[j].position != j || out[j].data != out[0].data;
  faults += out[37].kind != kKindGapText || out[37].data != 't' || out[37].marker2 != '=';
  for (int j = 38; j < 40; j++)
    faults += out[j].data < '0' || out[j].data > '9' || out[j].marker2 < '0' || out[j].marker2 > '9';
  return faults;
}

TEST(CaptureConcurrency, CopyWhileAWriterFillsGaps) {
  static Capture cap;
  cap.tick = shared_tick;
  ASSERT_EQ(capture_allocate(&cap), 0);
  capture_clear(&cap);
  const int kChunks = 3000;  // 3000 * 40 records: no wrap
  uint8_t first[37] = {};
  ASSERT_EQ(capture_append(&cap, first, 37, kKindRecvCh2, kTimeUnknown), 0);
  CaptureRecord out[40];
  ASSERT_EQ(capture_copy(&cap, 0, 40, out), 0);
  int faults = copied_chunk_faults(out);
  // The writer starts after that first copy, and lets the copier in
  // between its chunks as a receive thread does between two reads.
  std::atomic<bool> copying{false}, done{false};
  std::thread writer([&] {
    while (!copying.load()) std::this_thread::yield();
    uint8_t bytes[37];
    for (int c = 1; c < kChunks; c++) {
      std::memset(bytes, c, sizeof bytes);
      capture_append(&cap, bytes, 37, kKindRecvCh2, kTimeUnknown);
      std::this_thread::yield();
    }
    done = true;
  });
  copying.store(true);
  while (!done.load()) {
    ASSERT_EQ(capture_copy(&cap, capture_write_position(&cap) - 40, 40, out), 0);
    faults += copied_chunk_faults(out);
  }
  writer.join();
  EXPECT_EQ(faults, 0);
  EXPECT_EQ(capture_write_position(&cap), kChunks * 40);
  capture_free(&cap);
}

// Writers racing through many wraps keep the buffer made of whole chunks.
TEST(CaptureConcurrency, WritersAcrossWraps) {
  static Capture cap;
  cap.tick = shared_tick;
  ASSERT_EQ(capture_allocate(&cap), 0);
  capture_clear(&cap);
  std::thread a([&] { append_chunks(&cap, kKindRecvCh1, 100, 4000); });
  std::thread b([&] { append_chunks(&cap, kKindRecvCh2, 37, 4000); });
  a.join();
  b.join();
  int32_t w = capture_write_position(&cap);
  EXPECT_GT(w, kCaptureWrapThreshold - kCaptureWrapShift);
  EXPECT_LE(w, kCaptureWrapThreshold);
  // The first chunk may have been cut by the last wrap: skip to a chunk start.
  int32_t i = 0;
  while (i < w && !(cap.records[i].position == 0 && cap.records[i].kind < kKindGapText)) i++;
  EXPECT_GT(count_whole_chunks(cap, i, w), 100);
  capture_free(&cap);
}

// A log loaded while a receive thread appends: the records and their times
// go in as one step, so the times always match the loaded records.
TEST_F(CaptureFixture, LoadPutsRecordsAndTimesInOneStep) {
  std::vector<CaptureRecord> loaded(10);
  for (auto& r : loaded) r = {kKindRecvCh2, 0, 0x33, 0, 0, {0, 0, 0}};
  int64_t times[10];
  for (int i = 0; i < 10; i++) times[i] = 1000 + i;
  cap.wall_offset_us = 100;
  ASSERT_EQ(capture_load(&cap, reinterpret_cast<uint8_t*>(loaded.data()), 10, times, 150), 0);
  EXPECT_EQ(capture_write_position(&cap), 10);
  EXPECT_EQ(cap.times[3], 1053);
  ASSERT_EQ(capture_load(&cap, reinterpret_cast<uint8_t*>(loaded.data()), 10, nullptr, 0), 0);
  EXPECT_EQ(cap.times[3], kTimeUnknown);
  EXPECT_EQ(capture_load(&cap, nullptr, kCaptureWrapThreshold + 1, nullptr, 0), 1);
  EXPECT_EQ(capture_write_position(&cap), 10);
}

TEST_F(CaptureFixture, EventsStayAtTheirRecordsThroughWrapClearAndLoad) {
  const uint8_t a[100] = {};
  capture_add_event(&cap, kEventOpened, 1, 3, 0);
  capture_append(&cap, a, 10, kKindRecvCh1, kTimeUnknown);
  capture_add_event(&cap, kEventLost, 1, 3, 21);
  ASSERT_EQ(cap.event_count, 2);
  EXPECT_EQ(cap.events[1].place, 13);  // after the chunk and its three markers
  // A wrap drops the events before the records it drops.
  while (cap.base == 0) capture_append(&cap, a, 100, kKindRecvCh1, kTimeUnknown);
  EXPECT_EQ(cap.event_count, 0);
  capture_add_event(&cap, kEventBack, 1, 3, 2000);
  EXPECT_EQ(cap.events[0].place, cap.base + capture_write_position(&cap));
  // Past the table's room the oldest give way.
  for (int i = 0; i < kCaptureEvents + 5; i++) capture_add_event(&cap, kEventSettings, 1, 3, static_cast<uint32_t>(i));
  EXPECT_EQ(cap.event_count, kCaptureEvents);
  EXPECT_EQ(cap.events[kCaptureEvents - 1].detail, static_cast<uint32_t>(kCaptureEvents + 4));
  capture_clear(&cap);
  EXPECT_EQ(cap.event_count, 0);
  // A load brings the log's events to its records, times moved as the times are.
  std::vector<CaptureRecord> loaded(10);
  int64_t times[10] = {};
  const LineEvent ev[2] = {{0, 500, kEventOpened, 2, 4, 0}, {11, 900, kEventClosed, 2, 4, 0}};  // 11: past the end
  cap.wall_offset_us = 100;
  ASSERT_EQ(capture_load(&cap, reinterpret_cast<uint8_t*>(loaded.data()), 10, times, 150, ev, 2), 0);
  ASSERT_EQ(cap.event_count, 1);
  EXPECT_EQ(cap.events[0].place, cap.base);
  EXPECT_EQ(cap.events[0].time_us, 550);
  EXPECT_EQ(std::string(line_event_name(cap.events[0].kind)), "opened");
}

TEST_F(CaptureFixture, CopySinceFollowsAcrossAWrap) {
  CaptureRecord out[64];
  int64_t out_times[64];
  int64_t first = 0, end = 0;
  const uint8_t a[] = {7, 8};
  capture_append(&cap, a, 2, kKindRecvCh1, 42);
  EXPECT_EQ(capture_copy_since(&cap, 0, 64, out, out_times, &first, &end), 5);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(end, 5);
  EXPECT_EQ(out[1].data, 8);
  EXPECT_EQ(out_times[1], 42);
  EXPECT_EQ(out_times[2], kTimeUnknown);
  EXPECT_EQ(capture_copy_since(&cap, 5, 64, out, out_times, &first, &end), 0);
  // Past a wrap, the copy starts at the oldest record still kept.
  uint8_t big[100] = {};
  while (cap.base == 0) capture_append(&cap, big, 100, kKindRecvCh2, 9);
  EXPECT_EQ(capture_copy_since(&cap, 5, 3, out, out_times, &first, &end), 3);
  EXPECT_EQ(first, cap.base);
  EXPECT_EQ(end, cap.base + capture_write_position(&cap));
}

// One data record's time tells which chunk wrote it, and so which byte it
// must hold: a snapshot whose records and times came from different moments
// shows at once.
int snapshot_faults(const CaptureSnapshot& s) {
  int faults = 0;
  for (int32_t i = 0; i < s.count; i++) {
    const CaptureRecord& r = s.records[i];
    if (r.kind >= kKindGapText) {
      if (s.times[i] != kTimeUnknown) faults++;
    } else if (s.times[i] == kTimeUnknown || static_cast<uint8_t>(s.times[i]) != r.data) {
      faults++;
    }
  }
  return faults;
}

TEST(CaptureConcurrency, SnapshotsAgreeWhileAWriterWraps) {
  static Capture cap;
  cap.tick = shared_tick;
  ASSERT_EQ(capture_allocate(&cap), 0);
  capture_clear(&cap);
  CaptureSnapshot snap;
  ASSERT_EQ(capture_snapshot_allocate(&snap), 0);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    uint8_t bytes[100];
    for (int64_t c = 1; c <= 20000; c++) {
      std::memset(bytes, static_cast<int>(c & 0xFF), sizeof bytes);
      capture_append(&cap, bytes, 37 + static_cast<int>(c % 64), kKindRecvCh1, c);
      if (c % 7 == 0) capture_add_event(&cap, kEventSettings, 1, 3, static_cast<uint32_t>(c));
    }
    done = true;
  });
  int faults = 0, snapshots = 0;
  int64_t last_end = 0;
  while (!done.load()) {
    ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
    faults += snapshot_faults(snap);
    // Every event lies inside the records copied with it, in order: a wrap
    // drops the events before the records it drops, in the same hold.
    for (int32_t i = 0; i < snap.event_count; i++) {
      const LineEvent& e = snap.events[i];
      if (e.place < snap.base || e.place > snap.base + snap.count) faults++;
      if (i > 0 && e.place < snap.events[i - 1].place) faults++;
    }
    // The end of the capture never goes back between two snapshots.
    if (snap.base + snap.count < last_end) faults++;
    last_end = snap.base + snap.count;
    snapshots++;
  }
  writer.join();
  EXPECT_EQ(faults, 0) << snapshots << " snapshots";
  EXPECT_GT(cap.base, 0);  // the writer did wrap
  capture_snapshot_free(&snap);
  capture_free(&cap);
}


// A reader that follows the capture a stretch at a time sees every record
// once, each stretch beginning where the last ended (or at the oldest kept
// after a wrap dropped what lay between), records and times agreeing.
TEST(CaptureConcurrency, StretchesSinceFollowAWriterWithoutGapsOrRepeats) {
  static Capture cap;
  cap.tick = shared_tick;
  ASSERT_EQ(capture_allocate(&cap), 0);
  capture_clear(&cap);
  CaptureSnapshot snap;
  ASSERT_EQ(capture_snapshot_allocate(&snap), 0);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    uint8_t bytes[100];
    for (int64_t c = 1; c <= 20000; c++) {
      std::memset(bytes, static_cast<int>(c & 0xFF), sizeof bytes);
      capture_append(&cap, bytes, 37 + static_cast<int>(c % 64), kKindRecvCh1, c);
    }
    done = true;
  });
  int faults = 0, dropped = 0;
  int64_t from = 0;
  for (int last = 0; !last;) {
    last = done.load();
    ASSERT_EQ(capture_snapshot_since(&cap, from, &snap), 0);
    faults += snapshot_faults(snap);
    if (snap.base < from) faults++;
    if (snap.base > from) dropped++;
    from = snap.base + snap.count;
  }
  writer.join();
  EXPECT_EQ(faults, 0);
  EXPECT_EQ(from, cap.base + capture_write_position(&cap));
  EXPECT_LE(dropped, 1 + cap.base / kCaptureWrapShift);
  capture_snapshot_free(&snap);
  capture_free(&cap);
}

// The capture is in time order whatever order its writers got the lock in.
TEST_F(CaptureFixture, ALateChunkTakesTheLatestTimeSoTimesNeverGoBack) {
  const uint8_t a[] = {'A', 'B'};
  capture_append(&cap, a, 2, kKindRecvCh2, 2000);
  capture_append(&cap, a, 1, kKindRecvCh1, 1500);  // seen earlier, got the lock later
  capture_append(&cap, a, 1, kKindSentCh1, kTimeUnknown);
  capture_append(&cap, a, 1, kKindRecvCh1, 2600);
  EXPECT_EQ(cap.times[0], 2000);
  EXPECT_EQ(cap.times[5], 2000);
  EXPECT_EQ(cap.times[9], kTimeUnknown);
  EXPECT_EQ(cap.times[13], 2600);
}

static std::atomic<int64_t> g_micros{0};
static int64_t fake_micros() { return g_micros.load(); }

// A sent chunk is timed when its last character left: the hand-over plus
// its line time. A driver that completed the write early (its bytes still
// in a buffer) does not put it in before its time has come: the other
// channel's chunk received meanwhile stands before it.
TEST_F(CaptureFixture, ASentChunkIsTimedFromItsHandOverAndGoesInAtItsTime) {
  cap.micros = fake_micros;
  const uint8_t q[] = {1, 3, 0, 0, 0, 1}, other[] = {'o'};
  g_micros = 10'000;
  int64_t handed = capture_send_begin(&cap, 1);
  g_micros = 40'000;  // seen complete a tick later
  ASSERT_EQ(capture_send_end(&cap, 1, q, 6, handed, 6'250), 0);
  EXPECT_EQ(cap.times[0], 16'250);
  handed = capture_send_begin(&cap, 2);
  g_micros = 40'100;
  ASSERT_EQ(capture_send_end(&cap, 2, q, 6, handed, 6'250), 0);
  EXPECT_EQ(capture_write_position(&cap), 9);  // not yet: its last character leaves at 46'250
  capture_append(&cap, other, 1, kKindRecvCh1, 45'000);
  EXPECT_EQ(capture_write_position(&cap), 13);
  g_micros = 46'300;
  capture_refresh_gap(&cap);
  ASSERT_EQ(capture_write_position(&cap), 22);
  EXPECT_EQ(cap.records[13].kind, kKindSentCh2);
  EXPECT_EQ(cap.times[13], 46'250);
  EXPECT_EQ(capture_send_end(&cap, 3, q, 6, handed, 0), 1);
  EXPECT_EQ(cap.sending_n[0] + cap.sending_n[1], 0);
}

// An answer whose time, reckoned back at the line's speed, falls before
// its request's hand-over (a pty is faster than its setting) was still seen
// after it: it goes in after the request, which had left by then.
TEST_F(CaptureFixture, AnAnswerTimedBackBeforeItsRequestStillFollowsIt) {
  cap.micros = fake_micros;
  const uint8_t q[] = {'Q'}, a[] = {'A', 'A'};
  g_micros = 20'000;
  const int64_t handed = capture_send_begin(&cap, 1);
  g_micros = 20'300;
  capture_send_end(&cap, 1, q, 1, handed, 1'041);  // still on its way until 21'041
  capture_append_seen(&cap, a, 2, kKindRecvCh1, 12'000, 20'900);
  ASSERT_EQ(capture_write_position(&cap), 9);
  EXPECT_EQ(cap.records[0].kind, kKindSentCh1);
  EXPECT_EQ(cap.times[0], 20'900);  // its last character had left by then
  EXPECT_EQ(cap.records[4].kind, kKindRecvCh1);
  EXPECT_EQ(cap.times[4], 20'900);
}

// A write that never reports back holds its channel's received chunks for
// kCaptureSendHoldMs once, then nothing more.
TEST_F(CaptureFixture, AWriteThatNeverEndsHoldsNothingForLong) {
  cap.micros = fake_micros;
  g_micros = 1'000;
  capture_send_begin(&cap, 1);
  const uint8_t a[] = {'x'};
  ASSERT_EQ(capture_append(&cap, a, 1, kKindRecvCh1, 2'000), 0);
  EXPECT_EQ(cap.sending_n[0], 0);
  capture_send_end(&cap, 1, a, 1, 1'000, 0);  // its late end records it all the same
  EXPECT_EQ(cap.sending_n[0], 0);
  EXPECT_EQ(cap.records[4].kind, kKindSentCh1);
}

// An answer read back while its request's write is still on its way is
// recorded after the request; a chunk seen before the hand-over, or on the
// other channel, is not held.
TEST(CaptureConcurrency, AnAnswerWaitsForItsRequest) {
  static Capture cap;
  cap.micros = fake_micros;
  ASSERT_EQ(capture_allocate(&cap), 0);
  capture_clear(&cap);
  g_micros = 5'000;
  const uint8_t request[] = {'Q'}, answer[] = {'A'}, other[] = {'O'};
  const int64_t handed = capture_send_begin(&cap, 1);
  std::atomic<int> answered{0};
  std::thread reader([&] {
    capture_append(&cap, answer, 1, kKindRecvCh1, 5'400);
    answered = 1;
  });
  capture_append(&cap, other, 1, kKindRecvCh2, 5'300);
  capture_append(&cap, other, 1, kKindRecvCh1, 4'900);
  // The reader is held until the request is in (or the hold's bound passes,
  // which this test never reaches in practice: the end comes at once).
  g_micros = 5'600;
  capture_send_end(&cap, 1, request, 1, handed, 1'041);  // its character leaves at 6'041
  reader.join();
  ASSERT_EQ(answered.load(), 1);
  const int32_t w = capture_write_position(&cap);
  ASSERT_EQ(w, 16);
  EXPECT_EQ(cap.records[0].kind, kKindRecvCh2);
  EXPECT_EQ(cap.records[4].kind, kKindRecvCh1);
  EXPECT_EQ(cap.records[8].kind, kKindSentCh1);
  EXPECT_EQ(cap.records[12].kind, kKindRecvCh1);
  EXPECT_EQ(cap.records[12].data, 'A');
  for (int i = 4; i < w; i += 4) EXPECT_GE(cap.times[i], cap.times[i - 4]);
  capture_free(&cap);
}

}  // namespace
