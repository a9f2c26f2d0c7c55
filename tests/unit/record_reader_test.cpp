#include "record/record_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "timeline/export.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int64_t kSec = 1000000;

int64_t read_bytes(void* ctx, uint64_t offset, uint8_t* out, uint32_t n) {
  const Bytes& b = *static_cast<const Bytes*>(ctx);
  if (offset >= b.size()) return 0;
  const uint64_t k = std::min<uint64_t>(n, b.size() - offset);
  std::memcpy(out, b.data() + offset, k);
  return static_cast<int64_t>(k);
}

// A file that began 2026-12-09 23:59:50 local, capture clock 5 s then,
// with `blocks` blocks of `per_block` chunks "nNNNNN" (kind 1..4 in turn,
// one every 10 ms from clock 5 s) and one event at its start.
// The header may say another second and clock (a later file of the run).
Bytes make_file(int first, int blocks, int per_block, int header_second = 50, int64_t header_clock = 5 * kSec) {
  const int64_t clock0 = 5 * kSec;
  RecordHeader h = {};
  h.year = 2026;
  h.month = 12;
  h.day = 9;
  h.hour = 23;
  h.minute = 59;
  h.second = static_cast<uint8_t>(header_second);
  h.clock_us = header_clock;
  h.channel[0].baud = 9600;
  h.channel[0].data_bits = 8;
  Bytes file(kRecordHeaderBytes);
  record_header_write(h, file.data());
  auto b = std::make_unique<RecordBlockBuilder>();
  int i = first;
  for (int k = 0; k < blocks; k++) {
    record_block_begin(b.get());
    if (k == 0) EXPECT_EQ(record_block_add_event(b.get(), kEventOpened, 1, 3, 0, clock0 + 10000LL * i), 0);
    for (int c = 0; c < per_block; c++, i++) {
      char text[16];
      std::snprintf(text, sizeof text, "n%06d", i);
      EXPECT_EQ(record_block_add_chunk(b.get(), static_cast<uint8_t>(1 + i % 4), clock0 + 10000LL * i,
                                       reinterpret_cast<const uint8_t*>(text), 7),
                0);
    }
    const uint32_t n = record_block_seal(b.get());
    file.insert(file.end(), b->bytes, b->bytes + n);
  }
  return file;
}

struct Files {
  std::vector<Bytes> list;
  size_t next = 0;
  static int open(void* ctx, RecordReader* r) {
    Files* f = static_cast<Files*>(ctx);
    while (f->next < f->list.size()) {
      if (record_reader_open(r, {&f->list[f->next++], read_bytes}) == kRecordHeaderOk) return 1;
    }
    return 0;
  }
};

// Every entry of the stream as "text@µs" (chunks) or "ev@µs" (events).
std::vector<std::string> stream_all(Files files, RecordTime from = {}, RecordTime to = {}, RecordStream* out = nullptr) {
  auto reader = std::make_unique<RecordReader>();
  RecordStream s;
  record_stream_begin(&s, Files::open, &files, reader.get(), from, to);
  std::vector<std::string> got;
  RecordEntry e;
  while (record_stream_next(&s, &e)) {
    const std::string what = e.type == kRecordEntryEvent ? "ev" : std::string(reinterpret_cast<const char*>(e.data), e.length);
    got.push_back(what + "@" + std::to_string(e.time_us));
  }
  if (out) *out = s;
  return got;
}

int64_t day9_us() {
  return (INT64_C(20796) + 0) * 86400 * kSec;  // 2026-12-09 00:00 as µs since 1970
}

}  // namespace

TEST(RecordReader, StreamsFilesInOrderWithRecordedTimesOfDay) {
  Files f;
  f.list = {make_file(0, 2, 30), make_file(60, 1, 10), {'n', 'o'}};
  RecordStream s;
  const auto got = stream_all(f, {}, {}, &s);
  ASSERT_EQ(got.size(), 2u + 70u);
  // 23:59:50 plus the clock since the header: chunk 0 at 23:59:50.000,
  // chunk 61 at 23:59:50.610, each file with its own header.
  EXPECT_EQ(got[0], "ev@" + std::to_string(day9_us() + 86390 * kSec));
  EXPECT_EQ(got[1], "n000000@" + std::to_string(day9_us() + 86390 * kSec));
  EXPECT_EQ(got[63], "n000061@" + std::to_string(day9_us() + 86390 * kSec + 610000));

  // A later file of the same run whose header's whole second lags its
  // clock keeps the run's times (chunk 1000 ten seconds after chunk 0); a
  // new run (its clock far off) takes its own header's.
  Files run;
  run.list = {make_file(0, 1, 10), make_file(1000, 1, 1, 59, 14600000), make_file(5000, 1, 1, 0, kSec)};
  const auto times = stream_all(run);
  ASSERT_EQ(times.size(), 15u);
  EXPECT_EQ(times[12], "n001000@" + std::to_string(day9_us() + 86400 * kSec));
  EXPECT_EQ(times[14], "n005000@" + std::to_string(day9_us() + (86340 + 54) * kSec));
  EXPECT_EQ(s.skipped, 0u);
  EXPECT_EQ(s.torn_files, 0);
  // 8 data bits, even parity, one and a half stop bits.
  const RecordChannel c = {9600, 8, 2, 1, 0, 0, 0, {}};
  EXPECT_EQ(record_line_shape(c).tenth_bits, 10 * (1 + 8 + 1) + 15);
}

TEST(RecordReader, ATornTailAtEveryCutKeepsEveryWholeBlockAndADamagedBlockIsPassedOver) {
  const Bytes whole = make_file(0, 3, 20);
  const size_t last = whole.size() - (kRecordBlockHeaderBytes + 20 * (kRecordChunkOverhead + 7));
  for (size_t cut = last; cut < whole.size(); cut++) {
    Files f;
    f.list = {Bytes(whole.begin(), whole.begin() + static_cast<long>(cut))};
    RecordStream s;
    const auto got = stream_all(f, {}, {}, &s);
    ASSERT_EQ(got.size(), 41u) << cut;  // the event and two whole blocks
    EXPECT_EQ(got.back().substr(0, 7), "n000039");
    EXPECT_EQ(s.torn_files, cut > last ? 1 : 0) << cut;
  }
  // Seeking without an index: to the first whole block at or after a place.
  auto reader = std::make_unique<RecordReader>();
  Bytes copy = whole;
  ASSERT_EQ(record_reader_open(reader.get(), {&copy, read_bytes}), kRecordHeaderOk);
  RecordEntry e;
  ASSERT_EQ(record_reader_seek(reader.get(), kRecordHeaderBytes + 1), 1);
  ASSERT_EQ(record_reader_next(reader.get(), &e), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.data), 7), "n000020");
  EXPECT_EQ(reader->block_offset, static_cast<uint64_t>(kRecordHeaderBytes + kRecordBlockHeaderBytes + kRecordEventBytes + 20 * 18));
  ASSERT_EQ(record_reader_seek(reader.get(), 3), 1);
  ASSERT_EQ(record_reader_next(reader.get(), &e), 1);
  EXPECT_EQ(e.type, kRecordEntryEvent);
  EXPECT_EQ(record_reader_seek(reader.get(), last + 1), 0);
  EXPECT_EQ(record_reader_next(reader.get(), &e), 0);

  // One byte spoiled in the middle block's payload: blocks 1 and 3 read,
  // the middle one's bytes counted as skipped.
  Files f;
  f.list = {whole};
  const size_t middle = kRecordHeaderBytes + (last - kRecordHeaderBytes) / 2;
  f.list[0][middle + 40] ^= 0x20;
  RecordStream s;
  const auto got = stream_all(f, {}, {}, &s);
  ASSERT_EQ(got.size(), 41u);
  EXPECT_EQ(got[21].substr(0, 7), "n000040");
  EXPECT_GT(s.skipped, 100u);
  EXPECT_EQ(s.torn_files, 0);
}

TEST(RecordReader, TimesParseAndASliceCutsByThem) {
  RecordTime t;
  EXPECT_EQ(record_time_parse("90", &t), 0);
  EXPECT_EQ(t.time_of_day, 0);
  EXPECT_EQ(t.us, 90 * kSec);
  EXPECT_EQ(record_time_parse("0.25", &t), 0);
  EXPECT_EQ(t.us, 250000);
  EXPECT_EQ(record_time_parse("00:00:00.15", &t), 0);
  EXPECT_EQ(t.time_of_day, 1);
  EXPECT_EQ(t.us, 150000);
  EXPECT_EQ(record_time_parse("14:03", &t), 0);
  EXPECT_EQ(t.us, (14 * 3600 + 3 * 60) * kSec);
  for (const char* bad : {"", ".", "1.", "24:00", "12:60", "1:2:3:4", "12:30.5", "1.1234567", "-3", "1e3", ":5"})
    EXPECT_EQ(record_time_parse(bad, &t), 1) << bad;
  // A time of day earlier than the start falls on the next day.
  const int64_t start = day9_us() + 86390 * kSec;
  ASSERT_EQ(record_time_parse("00:00:00.15", &t), 0);
  EXPECT_EQ(record_time_resolve(t, start), day9_us() + 86400 * kSec + 150000);
  ASSERT_EQ(record_time_parse("23:59:55", &t), 0);
  EXPECT_EQ(record_time_resolve(t, start), start + 5 * kSec);

  // The slice runs across midnight and across the two files: 0.1 s after
  // the start up to 00:00:00.15 (chunk 1016 at 23:59:50 + 10.16 s is out).
  Files f;
  f.list = {make_file(0, 10, 100), make_file(1000, 1, 100)};
  RecordTime from, to;
  ASSERT_EQ(record_time_parse("0.1", &from), 0);
  ASSERT_EQ(record_time_parse("00:00:00.15", &to), 0);
  const auto got = stream_all(f, from, to);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.front().substr(0, 7), "n000010");
  EXPECT_EQ(got.back().substr(0, 7), "n001015");
  EXPECT_EQ(got.size(), 1006u + 1u);  // chunks 10..1015 and the second file's event
  // Seconds at both ends count from the recording's start; "0.2" is the
  // tenth of a second from 0.2 s.
  ASSERT_EQ(record_time_parse("0.2", &to), 0);
  const auto seconds = stream_all(f, from, to);
  ASSERT_EQ(seconds.size(), 20u);
  EXPECT_EQ(seconds.back().substr(0, 7), "n000029");
}

TEST(RecordReader, ATimeIsTheSpanItsDigitsNameAndNeverWraps) {
  RecordTime t;
  ASSERT_EQ(record_time_parse("14:03", &t), 0);
  EXPECT_EQ(t.span_us, 60 * kSec);
  ASSERT_EQ(record_time_parse("14:03:10.25", &t), 0);
  EXPECT_EQ(t.span_us, 10000);
  // The recording began at 23:59:50: its own minute cuts from its start,
  // its own second is chunks 0..99, the next second 100..199.
  Files f;
  f.list = {make_file(0, 3, 100), make_file(300, 20, 100)};
  RecordTime from, to;
  ASSERT_EQ(record_time_parse("23:59", &from), 0);
  EXPECT_EQ(stream_all(f, from).size(), 2302u);
  ASSERT_EQ(record_time_parse("23:59:50", &to), 0);
  auto got = stream_all(f, from, to);
  ASSERT_EQ(got.size(), 101u);
  EXPECT_EQ(got.back().substr(0, 7), "n000099");
  ASSERT_EQ(record_time_parse("23:59:51", &from), 0);
  ASSERT_EQ(record_time_parse("23:59:51", &to), 0);
  got = stream_all(f, from, to);
  ASSERT_EQ(got.size(), 100u);
  EXPECT_EQ(got.front().substr(0, 7), "n000100");
  // Past midnight: 00:00 is the next day's first minute.
  ASSERT_EQ(record_time_parse("00:00", &from), 0);
  got = stream_all(f, from);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.front().substr(0, 7), "n001000");
  // A start near the end of the times there are: nothing wraps round to
  // "everything".
  ASSERT_EQ(record_time_parse("90", &t), 0);
  EXPECT_EQ(record_time_resolve(t, INT64_MAX - 10), kTimeUnknown);
  ASSERT_EQ(record_time_parse("23:59:59", &t), 0);
  EXPECT_EQ(record_time_resolve(t, INT64_MAX - 10), kTimeUnknown);
  EXPECT_EQ(record_time_resolve_end(t, INT64_MAX - 10), kTimeUnknown);
}

TEST(RecordReader, WindowsTakeEveryChunkAndTheExportInPiecesMatchesTheWhole) {
  // 25,000 chunks of 7 bytes and 3 markers: two windows.
  Files f;
  f.list = {make_file(0, 25, 1000)};
  auto reader = std::make_unique<RecordReader>();
  RecordStream s;
  record_stream_begin(&s, Files::open, &f, reader.get(), {}, {});
  RecordWindow w;
  ASSERT_EQ(capture_snapshot_allocate(&w.snap), 0);
  int windows = 0;
  int64_t chunks = 0;
  int32_t taken;
  while ((taken = record_window_fill(&s, &w)) > 0) {
    windows++;
    ASSERT_LE(w.snap.count, kCaptureWrapThreshold);
    int32_t at = 0, gap = -1;
    TimelineChunk c;
    while (timeline_next_chunk(w.snap.records, w.snap.times, w.snap.count, &at, &gap, &c)) {
      char want[16];
      std::snprintf(want, sizeof want, "n%06lld", static_cast<long long>(chunks));
      ASSERT_EQ(c.count, 7);
      for (int i = 0; i < 7; i++) ASSERT_EQ(w.snap.records[c.first + i].data, static_cast<uint8_t>(want[i]));
      // Chunks 10 ms apart: every quiet reads 0.0 s except across windows.
      if (gap >= 0) EXPECT_EQ(gap, 0);
      chunks++;
    }
  }
  EXPECT_EQ(windows, 2);
  EXPECT_EQ(chunks, 25000);

  // A capture's CSV and text written in two pieces with a carry are the
  // CSV and text of the whole.
  CaptureRecord* r = w.snap.records;
  int64_t* t = w.snap.times;
  Files g;
  g.list = {make_file(0, 1, 40)};
  record_stream_begin(&s, Files::open, &g, reader.get(), {}, {});
  ASSERT_GT(record_window_fill(&s, &w), 0);
  const int32_t half = 20 * 10;  // 20 chunks of 7 bytes and 3 markers
  for (int csv = 0; csv < 2; csv++) {
    std::string whole, pieces;
    auto put = [](void* ctx, const uint8_t* bytes, int n) {
      static_cast<std::string*>(ctx)->append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(n));
      return 0;
    };
    ByteSink to_whole = {&whole, put}, to_pieces = {&pieces, put};
    TimelineTextClock clock = {0, nullptr, {{9600, 100}, {9600, 100}}};
    TimelineEvents ev = {w.snap.events, w.snap.event_count, 0};
    ASSERT_EQ(timeline_write_export(csv, r, t, w.snap.count, &clock, &to_whole, &ev), 0);
    TimelineCarry carry = {};
    ASSERT_EQ(timeline_write_export(csv, r, t, half, &clock, &to_pieces, &ev, &carry), 0);
    TimelineEvents none = {nullptr, 0, 0};
    ASSERT_EQ(timeline_write_export(csv, r + half, t + half, w.snap.count - half, &clock, &to_pieces, &none, &carry), 0);
    EXPECT_EQ(pieces, whole) << csv;
    EXPECT_NE(whole.find(csv ? "0.390000,0.010000,CH2,TX,7" : "23:59:50.390000"), std::string::npos) << whole;
  }
  capture_snapshot_free(&w.snap);
}

namespace {

// A file of three blocks, the middle one's chunks "a" .. and, as the data
// of one chunk, a whole block of another recording (its entry "EVIL")
// followed by `after` data bytes in that chunk (0: the block ends the chunk
// and the middle block).
Bytes file_carrying_a_block(int after, size_t* middle_at, size_t* inner_at) {
  auto inner = std::make_unique<RecordBlockBuilder>();
  record_block_begin(inner.get());
  EXPECT_EQ(record_block_add_chunk(inner.get(), 3, 77, reinterpret_cast<const uint8_t*>("EVIL"), 4), 0);
  const uint32_t inner_n = record_block_seal(inner.get());
  Bytes data(inner->bytes, inner->bytes + inner_n);
  data.insert(data.end(), static_cast<size_t>(after), 'z');
  Bytes file = make_file(0, 1, 5);
  auto b = std::make_unique<RecordBlockBuilder>();
  record_block_begin(b.get());
  EXPECT_EQ(record_block_add_chunk(b.get(), 1, 5000000 + 60000, reinterpret_cast<const uint8_t*>("a"), 1), 0);
  EXPECT_EQ(record_block_add_chunk(b.get(), 1, 5000000 + 70000, data.data(), static_cast<int>(data.size())), 0);
  const uint32_t n = record_block_seal(b.get());
  *middle_at = file.size();
  *inner_at = file.size() + kRecordBlockHeaderBytes + 2 * kRecordChunkOverhead + 1;
  file.insert(file.end(), b->bytes, b->bytes + n);
  const Bytes last = make_file(10, 1, 5);
  file.insert(file.end(), last.begin() + kRecordHeaderBytes, last.end());
  return file;
}

std::string texts(const std::vector<std::string>& got) {
  std::string all;
  for (const std::string& g : got) all += g.substr(0, g.find('@')) + " ";
  return all;
}

}  // namespace

TEST(RecordReader, BytesThatHoldABlockNeverSurfaceAsEntries) {
  for (int after : {0, 9}) {
    size_t middle, inner;
    const Bytes whole = file_carrying_a_block(after, &middle, &inner);
    // Whole: every chunk, the carried block as the data it is.
    Files f;
    f.list = {whole};
    auto got = stream_all(f);
    ASSERT_EQ(got.size(), 14u) << after;
    for (const std::string& g : got) EXPECT_NE(g.substr(0, 5), "EVIL@");
    // One byte spoiled in the middle block's payload (its first chunk), or
    // in its head: the carried block is not read, the last block is.
    for (size_t spoil : {middle + kRecordBlockHeaderBytes + kRecordChunkOverhead, middle + 5}) {
      f.list = {whole};
      f.list[0][spoil] ^= 0x01;
      RecordStream s;
      got = stream_all(f, {}, {}, &s);
      EXPECT_EQ(texts(got), "ev n000000 n000001 n000002 n000003 n000004 ev n000010 n000011 n000012 n000013 n000014 ")
          << after << " " << spoil;
      EXPECT_GT(s.skipped, 0u);
    }
    // A seek to any place inside the middle block goes on at the last block.
    for (size_t at = middle + 1; at <= inner; at += 3) {
      auto reader = std::make_unique<RecordReader>();
      Bytes copy = whole;
      ASSERT_EQ(record_reader_open(reader.get(), {&copy, read_bytes}), kRecordHeaderOk);
      ASSERT_EQ(record_reader_seek(reader.get(), at), 1) << after << " " << at;
      RecordEntry e;
      ASSERT_EQ(record_reader_next(reader.get(), &e), 1);
      EXPECT_EQ(e.type, kRecordEntryEvent) << after << " " << at;
      ASSERT_EQ(record_reader_next(reader.get(), &e), 1);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.data), e.length), "n000010") << after << " " << at;
    }
  }
  // Damage, then a head that holds and claims 60,000 bytes the file does
  // not have: the blocks behind it are read all the same.
  Files f;
  f.list = {make_file(0, 2, 5)};
  uint8_t head[kRecordBlockHeaderBytes] = {'Q', 'B', 'L', 'K', 0x60, 0xEA, 0, 0, 1};
  const uint32_t crc = record_crc32(0, head, 24);
  std::memcpy(head + 24, &crc, 4);
  Bytes& file = f.list[0];
  file.insert(file.begin() + kRecordHeaderBytes, head, head + kRecordBlockHeaderBytes);
  file.insert(file.begin() + kRecordHeaderBytes, {'d', 'a', 'm', 'a', 'g', 'e'});
  EXPECT_EQ(stream_all(f).size(), 11u);
}

namespace {

// Counts what the reader asks of its source.
struct Counted {
  Bytes file;
  uint64_t asked = 0;
  static int64_t read(void* ctx, uint64_t offset, uint8_t* out, uint32_t n) {
    Counted* c = static_cast<Counted*>(ctx);
    c->asked += n;
    return read_bytes(&c->file, offset, out, n);
  }
};

// A header, then heads every 28 bytes whose own check holds, each claiming
// `claim` bytes; `spoil_first` spoils the first so that the reader scans.
Counted crafted(uint32_t claim, bool spoil_first, size_t size) {
  Counted c;
  c.file = make_file(0, 0, 0);
  while (c.file.size() + kRecordBlockHeaderBytes <= size) {
    uint8_t h[kRecordBlockHeaderBytes] = {'Q', 'B', 'L', 'K'};
    for (int i = 0; i < 4; i++) h[4 + i] = static_cast<uint8_t>(claim >> (8 * i));
    h[8] = 1;
    const uint32_t crc = record_crc32(0, h, 24);
    for (int i = 0; i < 4; i++) h[24 + i] = static_cast<uint8_t>(crc >> (8 * i));
    c.file.insert(c.file.end(), h, h + kRecordBlockHeaderBytes);
  }
  if (spoil_first) c.file[kRecordHeaderBytes + 24] ^= 1;
  return c;
}

}  // namespace

TEST(RecordReader, ACraftedFileCostsASmallMultipleOfItsSize) {
  // Claims that run into the middle of a head, and claims that land exactly
  // on the next head, each read from its first head and by a scan.
  const size_t size = 1 << 20;
  for (uint32_t claim : {65536u, 28u * 2340 - 28}) {
    for (bool spoil : {false, true}) {
      Counted c = crafted(claim, spoil, size);
      auto reader = std::make_unique<RecordReader>();
      ASSERT_EQ(record_reader_open(reader.get(), {&c, Counted::read}), kRecordHeaderOk);
      RecordEntry e;
      EXPECT_EQ(record_reader_next(reader.get(), &e), 0);
      EXPECT_LT(c.asked, 12 * size) << claim << " " << spoil;
      ASSERT_EQ(record_reader_seek(reader.get(), size / 2), 0);
      EXPECT_LT(c.asked, 24 * size) << claim << " " << spoil;
    }
  }
}

TEST(RecordReader, TwoRunsOfOneBootAreToldApartByTheirRunIds) {
  // The capture clock counts from boot: two runs of the program on one boot
  // map their clocks alike. Their ids part them; files of earlier versions
  // (id 0) go by the clock alone.
  RecordHeader h = {};
  h.year = 2026, h.month = 12, h.day = 10, h.hour = 13, h.minute = 50, h.second = 23;
  h.clock_us = 4'482'000'000;
  const int64_t run = record_run_clock(h, 0, 0, 0);
  EXPECT_TRUE(record_new_run(h, 0, 0, 0));
  h.run_id = 7;
  EXPECT_FALSE(record_new_run(h, 1, run, 7));
  EXPECT_TRUE(record_new_run(h, 1, run, 8));
  EXPECT_EQ(record_run_clock(h, 1, run, 8), run);  // a run of its own, the same mapping
  EXPECT_FALSE(record_new_run(h, 1, run, 0));
  h.run_id = 0;
  EXPECT_FALSE(record_new_run(h, 1, run, 8));
  // The id goes through the header and back.
  uint8_t bytes[kRecordHeaderBytes];
  h.run_id = 0xA5C3F00Du;
  record_header_write(h, bytes);
  RecordHeader back = {};
  ASSERT_EQ(record_header_read(bytes, sizeof bytes, &back), kRecordHeaderOk);
  EXPECT_EQ(back.run_id, 0xA5C3F00Du);
}

TEST(RecordReader, OneClockPerRunWhereverReadingBegins) {
  // The second file of the run says 23:59:59 with a clock 9.4 s after the
  // first's 23:59:50: 0.4 s off its own header, read through the run's.
  Files run;
  run.list = {make_file(0, 1, 10), make_file(1000, 2, 5, 59, 14600000)};
  const auto from_start = stream_all(run);
  ASSERT_EQ(from_start.size(), 1u + 10u + 1u + 10u);
  auto reader = std::make_unique<RecordReader>();
  ASSERT_EQ(record_reader_open(reader.get(), {&run.list[0], read_bytes}), kRecordHeaderOk);
  const int64_t first = record_run_clock(reader->header, 0, 0, 0);
  ASSERT_EQ(record_reader_open(reader.get(), {&run.list[1], read_bytes}), kRecordHeaderOk);
  const int64_t second = record_run_clock(reader->header, 1, first, 0);
  EXPECT_EQ(second, first);
  // Seeking into the second file's second block reads the same times.
  RecordStream s;
  Files none;
  record_stream_begin(&s, Files::open, &none, reader.get(), {}, {});
  ASSERT_EQ(record_stream_at(&s, kRecordHeaderBytes + 1, second), 1);
  RecordEntry e;
  ASSERT_EQ(record_stream_next(&s, &e), 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.data), e.length) + "@" + std::to_string(e.time_us),
            from_start[17]);
  // A window takes its lines from the file it begins in.
  Files two;
  two.list = {make_file(0, 1, 5), make_file(5, 30, 1000)};
  RecordHeader h;
  ASSERT_EQ(record_header_read(two.list[1].data(), kRecordHeaderBytes, &h), kRecordHeaderOk);
  h.channel[0].baud = 115200;
  record_header_write(h, two.list[1].data());
  RecordWindow w;
  ASSERT_EQ(capture_snapshot_allocate(&w.snap), 0);
  record_stream_begin(&s, Files::open, &two, reader.get(), {}, {});
  ASSERT_GT(record_window_fill(&s, &w), 0);
  EXPECT_EQ(w.shape[0].baud, 9600);
  ASSERT_TRUE(s.has_pending);
  EXPECT_EQ(s.reader->header.channel[0].baud, 115200u);
  ASSERT_GT(record_window_fill(&s, &w), 0);
  EXPECT_EQ(w.shape[0].baud, 115200);
  capture_snapshot_free(&w.snap);
}
