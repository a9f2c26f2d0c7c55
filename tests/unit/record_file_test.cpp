#include "record/record_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/capture.h"
#include "record/record_queue.h"

namespace {

using Bytes = std::vector<uint8_t>;

RecordHeader sample_header() {
  RecordHeader h = {};
  h.year = 2026;
  h.month = 12;
  h.day = 9;
  h.hour = 10;
  h.minute = 11;
  h.second = 12;
  h.clock_us = 123456789;
  h.channel[0].baud = 921600;
  h.channel[0].data_bits = 8;
  h.channel[0].parity = 2;
  h.channel[0].flow = 1;
  h.channel[0].com = 3;
  h.channel[1].baud = 9600;
  h.channel[1].data_bits = 7;
  h.channel[1].stop_bits = 2;
  h.channel[1].flow = 2;
  h.channel[1].port_kind = 1;
  std::strcpy(h.channel[1].address, "rfc2217://10.0.0.5:4001");
  return h;
}

// A block of `count` chunks "kNNNN" on kind 1..4 in turn, times 1000 apart,
// with an event after the first; its bytes.
Bytes block_of(int first, int count) {
  auto b = std::make_unique<RecordBlockBuilder>();
  record_block_begin(b.get());
  for (int i = first; i < first + count; i++) {
    char text[16];
    std::snprintf(text, sizeof text, "k%04d", i);
    EXPECT_EQ(record_block_add_chunk(b.get(), static_cast<uint8_t>(1 + i % 4), 1000LL * i,
                                     reinterpret_cast<const uint8_t*>(text), 5),
              0);
    if (i == first) EXPECT_EQ(record_block_add_event(b.get(), 3, 1, 5, 22, 1000LL * i + 1), 0);
  }
  const uint32_t n = record_block_seal(b.get());
  return Bytes(b->bytes, b->bytes + n);
}

std::vector<std::string> entries_of(const RecordBlock& b) {
  std::vector<std::string> out;
  uint32_t at = 0;
  RecordEntry e;
  int got;
  while ((got = record_entry_next(b, &at, &e)) == 1) {
    if (e.type == kRecordEntryEvent)
      out.push_back("ev" + std::to_string(e.event_kind) + "/" + std::to_string(e.event_channel) + "/" +
                    std::to_string(e.event_port) + "/" + std::to_string(e.event_detail) + "@" +
                    std::to_string(e.time_us));
    else
      out.push_back(std::to_string(e.type) + ":" + std::string(e.data, e.data + e.length) + "@" +
                    std::to_string(e.time_us));
  }
  EXPECT_EQ(got, 0);
  return out;
}

TEST(RecordFile, Crc32IsTheZipOneAtAnyLengthAndSplit) {
  EXPECT_EQ(record_crc32(0, reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
  // A bit at a time, the definition itself, against the table walk at
  // every length and every place a run is split in two.
  Bytes data(300);
  for (size_t i = 0; i < data.size(); i++) data[i] = static_cast<uint8_t>(i * 37 + 11);
  for (size_t n = 0; n <= data.size(); n += 7) {
    uint32_t want = ~0u;
    for (size_t i = 0; i < n; i++) {
      want ^= data[i];
      for (int k = 0; k < 8; k++) want = (want & 1) ? 0xEDB88320u ^ (want >> 1) : want >> 1;
    }
    want = ~want;
    EXPECT_EQ(record_crc32(0, data.data(), n), want) << n;
    const size_t half = n / 3;
    EXPECT_EQ(record_crc32(record_crc32(0, data.data(), half), data.data() + half, n - half), want) << n;
  }
}

TEST(RecordFile, HeaderRoundTripAndItsRefusals) {
  uint8_t bytes[kRecordHeaderBytes];
  record_header_write(sample_header(), bytes);
  RecordHeader h;
  ASSERT_EQ(record_header_read(bytes, sizeof bytes, &h), kRecordHeaderOk);
  EXPECT_EQ(h.year, 2026);
  EXPECT_EQ(h.second, 12);
  EXPECT_EQ(h.clock_us, 123456789);
  EXPECT_EQ(h.channel[0].baud, 921600u);
  EXPECT_EQ(h.channel[0].com, 3);
  EXPECT_EQ(h.channel[1].stop_bits, 2);
  EXPECT_STREQ(h.channel[1].address, "rfc2217://10.0.0.5:4001");
  char name[kRecordNameUnits];
  record_file_name(h, name);
  EXPECT_STREQ(name, "quorrin-20261209-101112.qrec");

  EXPECT_EQ(record_header_read(bytes, 100, &h), kRecordHeaderShort);
  Bytes other(bytes, bytes + sizeof bytes);
  other[0] = 'X';
  EXPECT_EQ(record_header_read(other.data(), other.size(), &h), kRecordHeaderNotOurs);
  other = Bytes(bytes, bytes + sizeof bytes);
  other[4] = 2;
  EXPECT_EQ(record_header_read(other.data(), other.size(), &h), kRecordHeaderVersion);
  for (int at : {10, 30, 200, 216}) {
    other = Bytes(bytes, bytes + sizeof bytes);
    other[at] ^= 0x40;
    EXPECT_EQ(record_header_read(other.data(), other.size(), &h), kRecordHeaderDamaged) << at;
  }
}

TEST(RecordFile, BlocksRoundTripChunksTimesAndEvents) {
  const Bytes block = block_of(7, 3);
  RecordBlock b;
  ASSERT_EQ(record_block_read(block.data(), block.size(), &b), kRecordBlockOk);
  EXPECT_EQ(b.entries, 4u);
  EXPECT_EQ(b.first_time, 7000);
  EXPECT_EQ(entries_of(b), (std::vector<std::string>{"4:k0007@7000", "ev3/1/5/22@7001", "1:k0008@8000",
                                                     "2:k0009@9000"}));
  // The cost: 11 bytes a chunk beside its data, 17 an event, 28 a block.
  EXPECT_EQ(block.size(), 28u + 3 * (11 + 5) + 17);
}

TEST(RecordFile, ATornTailIsNeverTrustedAtAnyCut) {
  const Bytes first = block_of(0, 50), last = block_of(50, 60);
  Bytes file = first;
  file.insert(file.end(), last.begin(), last.end());
  for (size_t cut = 0; cut < last.size(); cut++) {
    const size_t n = first.size() + cut;
    RecordBlock b;
    ASSERT_EQ(record_block_read(file.data(), n, &b), kRecordBlockOk);
    if (cut == 0) continue;
    EXPECT_EQ(record_block_read(file.data() + first.size(), cut, &b), kRecordBlockTorn) << cut;
  }
  // A byte changed anywhere in a whole block: damaged, never read.
  for (size_t at = 0; at < last.size(); at += 7) {
    Bytes spoiled = last;
    spoiled[at] ^= 0x01;
    RecordBlock b;
    EXPECT_NE(record_block_read(spoiled.data(), spoiled.size(), &b), kRecordBlockOk) << at;
  }
}

TEST(RecordFile, AFullBlockTakesNoMoreAndBadEntriesAreRefused) {
  auto b = std::make_unique<RecordBlockBuilder>();
  record_block_begin(b.get());
  std::vector<uint8_t> data(kRecordChunkMax, 0xAA);
  int added = 0;
  while (record_block_add_chunk(b.get(), 1, added, data.data(), kRecordChunkMax) == 0) added++;
  EXPECT_EQ(added, static_cast<int>(kRecordBlockPayloadMax / (kRecordChunkMax + 11)));
  EXPECT_EQ(record_block_add_chunk(b.get(), 5, 0, data.data(), 1), 2);
  EXPECT_EQ(record_block_add_chunk(b.get(), 1, 0, data.data(), 0), 2);
  EXPECT_EQ(record_block_add_chunk(b.get(), 1, 0, data.data(), kRecordChunkMax + 1), 2);
  RecordBlockBuilder* empty = b.get();
  record_block_begin(empty);
  EXPECT_EQ(record_block_seal(empty), 0u);
}

TEST(RecordFile, NamesRotationAndTheFolderLimit) {
  EXPECT_TRUE(record_file_name_ours("quorrin-20261209-101112.qrec"));
  EXPECT_TRUE(record_file_name_ours("quorrin-20261209-101112-2.QREC"));
  for (const char* bad : {"quorrin-2026129-101112.qrec", "quorrin-20261209_101112.qrec", "quorrin-20261209-101112.log",
                          "quorrin-20261209-101112-0.qrec", "x-20261209-101112.qrec", "quorrin-20261209-101112.qrec~"})
    EXPECT_FALSE(record_file_name_ours(bad)) << bad;
  const uint64_t mb = 1 << 20;
  EXPECT_FALSE(record_rotate_due(10 * mb, mb, 64 * mb, 9, 9));
  EXPECT_TRUE(record_rotate_due(64 * mb - 10, 11, 64 * mb, 9, 9));
  EXPECT_TRUE(record_rotate_due(kRecordHeaderBytes, 1, 64 * mb, 9, 10));  // a new day
  EXPECT_FALSE(record_rotate_due(kRecordHeaderBytes, 128 * mb, 64 * mb, 9, 9));  // one block always fits
  EXPECT_FALSE(record_rotate_due(999 * mb, mb, 0, 9, 9));
  // A new day, or the same day with another UTC offset (daylight saving),
  // is another stamp; the stamp of one day and offset is one number.
  const int64_t summer = record_day_stamp(2026, 3, 29, 120), winter = record_day_stamp(2026, 3, 29, 60);
  EXPECT_NE(summer, winter);
  EXPECT_NE(record_day_stamp(2026, 3, 30, 60), winter);
  EXPECT_NE(record_day_stamp(2026, 3, 29, -300), record_day_stamp(2026, 3, 29, 300));
  EXPECT_EQ(record_day_stamp(9999, 12, 31, 840), record_day_stamp(9999, 12, 31, 840));
  EXPECT_TRUE(record_rotate_due(10 * mb, 1, 64 * mb, winter, summer));
  // Before a file begins, the oldest go until the rest and the new file fit;
  // with no room for even the new file, every older one goes.
  const uint64_t sizes[] = {40, 30, 20, 10};
  EXPECT_EQ(record_prune_count(sizes, 4, 0, 50), 0);
  EXPECT_EQ(record_prune_count(sizes, 4, 150, 50), 0);
  EXPECT_EQ(record_prune_count(sizes, 4, 149, 50), 1);
  EXPECT_EQ(record_prune_count(sizes, 4, 80, 50), 2);
  EXPECT_EQ(record_prune_count(sizes, 4, 20, 50), 4);
}

TEST(RecordFile, FilesOfOneSecondAreOrderedByTheirNumber) {
  const RecordHeader h = sample_header();
  char name[kRecordNameUnits + 12];
  record_file_name_nth(h, 1, name, sizeof name);
  EXPECT_STREQ(name, "quorrin-20261209-101112.qrec");
  record_file_name_nth(h, 11, name, sizeof name);
  EXPECT_STREQ(name, "quorrin-20261209-101112-11.qrec");
  EXPECT_TRUE(record_file_name_ours(name));
  // The order written: the plain name, then -2 ... -11 as numbers, then the
  // next second; names that are no recording's after every recording.
  const char* written[] = {"quorrin-20261209-101112.qrec",    "quorrin-20261209-101112-2.qrec",
                           "quorrin-20261209-101112-9.QREC",  "quorrin-20261209-101112-10.qrec",
                           "quorrin-20261209-101112-11.qrec", "quorrin-20261209-101113.qrec",
                           "quorrin-20261210-000000.qrec",    "a-copy.qrec",
                           "b.qrec"};
  const int n = sizeof written / sizeof written[0];
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++) {
      const int c = record_file_name_compare(written[i], written[j]);
      EXPECT_EQ(c < 0, i < j) << written[i] << " " << written[j];
      EXPECT_EQ(c == 0, i == j) << written[i] << " " << written[j];
    }
}

TEST(RecordFile, AFolderOfMoreRecordingsThanAListHoldsKeepsTheOldest) {
  // 4,106 files, one a second from 10:00:00 and ten of them -2 ... -11 of
  // one second, found in no order: the oldest 4,096 in theirs, ten more.
  auto list = std::make_unique<RecordFileList>();
  record_file_list_clear(list.get());
  std::vector<std::u16string> names;
  for (int i = 0; i < 4096; i++) {
    char n[64];
    std::snprintf(n, sizeof n, "quorrin-20261209-%02d%02d%02d.qrec", 10 + i / 3600, i / 60 % 60, i % 60);
    names.push_back(std::u16string(n, n + std::strlen(n)));
  }
  for (int k = 2; k < 12; k++) {
    char n[64];
    std::snprintf(n, sizeof n, "quorrin-20261209-100000-%d.qrec", k);
    names.push_back(std::u16string(n, n + std::strlen(n)));
  }
  for (size_t i = 0; i < names.size(); i++) {
    const size_t k = i * 2654435761u % names.size();  // every name once, scattered
    ASSERT_EQ(record_file_list_put(list.get(), names[k].c_str(), k + 1), 0);
  }
  std::u16string too_long = u"quorrin-20261209-100000-";
  too_long.append(kRecordNameChars, u'9');
  EXPECT_EQ(record_file_list_put(list.get(), (too_long + u".qrec").c_str(), 1), 1);
  // A recording the user renamed at length is listed as any other.
  auto renamed = std::make_unique<RecordFileList>();
  record_file_list_clear(renamed.get());
  EXPECT_EQ(record_file_list_put(renamed.get(), u"the plant's feeder pump, night shift after the firmware update of December.qrec", 5), 0);
  ASSERT_EQ(list->count, kRecordFolderFilesMax);
  EXPECT_EQ(list->more, 10);
  EXPECT_EQ(std::u16string(list->names[0]), names[0]);
  for (int k = 2; k < 12; k++) EXPECT_EQ(std::u16string(list->names[k - 1]), names[4094 + k]);
  EXPECT_EQ(std::u16string(list->names[11]), names[1]);
  EXPECT_EQ(std::u16string(list->names[kRecordFolderFilesMax - 1]), names[4085]);
  EXPECT_EQ(list->sizes[11], 2u);
  uint64_t more = 0;
  for (int i = 4086; i < 4096; i++) more += i + 1;
  EXPECT_EQ(list->more_bytes, more);
}

TEST(RecordQueue, EntriesPassInOrderLongChunksAreCutAndAFullQueueCountsItsLoss) {
  auto q = std::make_unique<RecordQueue>();
  record_queue_reset(q.get());
  auto b = std::make_unique<RecordBlockBuilder>();
  record_block_begin(b.get());
  std::vector<uint8_t> big(kRecordChunkMax + 10);
  for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(record_queue_put_chunk(q.get(), 3, 50, big.data(), static_cast<int>(big.size())), 0);
  ASSERT_EQ(record_queue_put_event(q.get(), 4, 2, 0, 1500, 60), 0);
  EXPECT_EQ(record_queue_take(q.get(), b.get()), 3);
  EXPECT_EQ(record_queue_waiting(q.get()), 0u);
  const uint32_t n = record_block_seal(b.get());
  RecordBlock block;
  ASSERT_EQ(record_block_read(b->bytes, n, &block), kRecordBlockOk);
  uint32_t at = 0;
  RecordEntry e;
  ASSERT_EQ(record_entry_next(block, &at, &e), 1);
  EXPECT_EQ(e.length, kRecordChunkMax);
  EXPECT_EQ(std::memcmp(e.data, big.data(), kRecordChunkMax), 0);
  ASSERT_EQ(record_entry_next(block, &at, &e), 1);
  EXPECT_EQ(e.length, 10);
  EXPECT_EQ(e.time_us, 50);
  EXPECT_EQ(e.data[0], big[kRecordChunkMax]);
  ASSERT_EQ(record_entry_next(block, &at, &e), 1);
  EXPECT_EQ(e.event_detail, 1500u);
  // Nothing taken: the queue fills, then refuses whole entries and counts
  // them; the taker is called once, as the fill passes a quarter.
  static int calls;
  calls = 0;
  q->filling = [](void*) { calls++; };
  uint8_t chunk[100] = {};
  int put = 0;
  while (record_queue_put_chunk(q.get(), 1, put, chunk, 100) == 0) {
    put++;
    if (put == static_cast<int>(kRecordQueueBytes / 4 / 111)) EXPECT_EQ(calls, 0);
  }
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(put, static_cast<int>(kRecordQueueBytes / 111));
  EXPECT_EQ(q->lost.load(), 100u);
  // More refused on CH1 and on CH2, and an event; the capture's copy of a
  // loss event is not put again. Once there is room, the losses go first,
  // each with its channel, its data bytes and the time of the first refused.
  EXPECT_EQ(record_queue_put_chunk(q.get(), 2, 900000, chunk, 50), 1);
  EXPECT_EQ(record_queue_put_chunk(q.get(), 3, 900100, chunk, 7), 1);
  EXPECT_EQ(record_queue_put_event(q.get(), kEventRecordLoss, 1, 0, 150, 900200), 0);
  EXPECT_EQ(q->lost_channel[1].load(), 150u);
  EXPECT_EQ(q->lost_channel[2].load(), 7u);
  while (record_queue_waiting(q.get())) {
    record_block_begin(b.get());
    record_queue_take(q.get(), b.get());
  }
  ASSERT_EQ(record_queue_put_chunk(q.get(), 4, 900300, chunk, 5), 0);
  record_block_begin(b.get());
  EXPECT_EQ(record_queue_take(q.get(), b.get()), 3);
  const uint32_t sealed = record_block_seal(b.get());
  ASSERT_EQ(record_block_read(b->bytes, sealed, &block), kRecordBlockOk);
  at = 0;
  const uint32_t want[2][2] = {{1, 150}, {2, 7}};
  const int64_t when[2] = {put, 900100};
  for (int k = 0; k < 2; k++) {
    ASSERT_EQ(record_entry_next(block, &at, &e), 1);
    ASSERT_EQ(e.type, kRecordEntryEvent);
    EXPECT_EQ(e.event_kind, kEventRecordLoss);
    EXPECT_EQ(e.event_channel, want[k][0]);
    EXPECT_EQ(e.event_detail, want[k][1]);
    EXPECT_EQ(e.time_us, when[k]);
  }
  ASSERT_EQ(record_entry_next(block, &at, &e), 1);
  EXPECT_EQ(e.time_us, 900300);
  EXPECT_EQ(record_entry_next(block, &at, &e), 0);
}

// One thread puts numbered chunks as the capture's appenders would (one at
// a time), the writer thread takes them into blocks and reads them back:
// every chunk arrives once, in order, whole.
TEST(RecordQueueConcurrency, APutterAndTheWriterThread) {
  auto q = std::make_unique<RecordQueue>();
  record_queue_reset(q.get());
  constexpr int kChunks = 200000;
  std::thread putter([&] {
    uint8_t chunk[100];
    for (int i = 0; i < kChunks; i++) {
      std::memset(chunk, static_cast<uint8_t>(i), sizeof chunk);
      std::memcpy(chunk, &i, sizeof i);
      while (record_queue_put_chunk(q.get(), static_cast<uint8_t>(1 + i % 4), i, chunk, 1 + i % 100)) {
        std::this_thread::yield();  // a test's putter waits; the program's counts it lost
      }
    }
  });
  auto b = std::make_unique<RecordBlockBuilder>();
  int next = 0;
  bool ok = true;
  while (next < kChunks && ok) {
    record_block_begin(b.get());
    record_queue_take(q.get(), b.get());
    const uint32_t n = record_block_seal(b.get());
    if (n == 0) {
      std::this_thread::yield();
      continue;
    }
    RecordBlock block;
    ASSERT_EQ(record_block_read(b->bytes, n, &block), kRecordBlockOk);
    uint32_t at = 0;
    RecordEntry e;
    while (record_entry_next(block, &at, &e) == 1) {
      if (e.type == kRecordEntryEvent) continue;  // the loss of a put this test then tried again
      int number = -1;
      if (e.length >= 4) std::memcpy(&number, e.data, sizeof number);
      ok = e.time_us == next && e.length == 1 + next % 100 && e.type == 1 + next % 4 &&
           (e.length < 4 || number == next);
      if (!ok) break;
      next++;
    }
  }
  putter.join();
  EXPECT_TRUE(ok) << "chunk " << next;
  EXPECT_EQ(next, kChunks);
}

}  // namespace

#include "app/capture.h"

namespace {

// While recording, every chunk the capture takes and every event go to the
// queue as they came, whatever the buffer's wraps and clears; before and
// after, nothing does.
TEST(RecordQueue, TheCaptureHandsOverEveryChunkAcrossWraps) {
  static Capture cap;
  cap.tick = [] { return 1000u; };
  ASSERT_EQ(capture_allocate(&cap), 0);
  capture_clear(&cap);
  auto q = std::make_unique<RecordQueue>();
  record_queue_reset(q.get());
  uint8_t chunk[100];
  std::memset(chunk, 0x55, sizeof chunk);
  capture_append(&cap, chunk, 10, kKindRecvCh1, 0);  // not recording yet
  capture_record_to(&cap, q.get());
  auto b = std::make_unique<RecordBlockBuilder>();
  int64_t next = 0, bytes = 0;
  int events = 0;
  auto drain = [&] {
    for (;;) {
      record_block_begin(b.get());
      record_queue_take(q.get(), b.get());
      const uint32_t n = record_block_seal(b.get());
      if (!n) return;
      RecordBlock block;
      ASSERT_EQ(record_block_read(b->bytes, n, &block), kRecordBlockOk);
      uint32_t at = 0;
      RecordEntry e;
      while (record_entry_next(block, &at, &e) == 1) {
        if (e.type == kRecordEntryEvent) {
          events++;
          continue;
        }
        ASSERT_EQ(e.time_us, next);
        next++;
        bytes += e.length;
      }
    }
  };
  const int kChunks = 4000;  // 4000 * 103 records: the buffer wraps several times
  for (int i = 0; i < kChunks; i++) {
    capture_append(&cap, chunk, 100, kKindRecvCh2, i);
    if (i == 1500) capture_clear(&cap);
    if (i == 2000) capture_add_event(&cap, kEventLost, 2, 0, 10054);
    if (i % 1000 == 999) drain();
  }
  drain();
  capture_record_to(&cap, nullptr);
  capture_append(&cap, chunk, 10, kKindRecvCh1, 1);
  EXPECT_EQ(record_queue_waiting(q.get()), 0u);
  EXPECT_EQ(next, kChunks);
  EXPECT_EQ(bytes, 100 * kChunks);
  EXPECT_EQ(events, 1);
  capture_free(&cap);
}

}  // namespace

#include "timeline/events_file.h"
#include "timeline/export.h"

namespace {

TEST(RecordFile, StatusTextAndTheStopEventsText) {
  char text[64];
  record_status_text(0, 0, 0, text);
  EXPECT_STREQ(text, "REC 0 B 0:00:00");
  record_status_text(12u * 1048576 + 400000, 3600 + 5 * 60 + 12, 0, text);
  EXPECT_STREQ(text, "REC 12.3 MB 1:05:12");
  record_status_text(5ull << 30, 100 * 3600, 1234, text);  // the hand-over had to drop data: said
  EXPECT_STREQ(text, "REC 5120.0 MB 100:00:00 LOST 1234 B");
  char size[24];
  record_size_text(UINT64_MAX, size);  // the largest figure fits, no overflow in the tenths
  EXPECT_STREQ(size, "17592186044415.9 MB");
  // A short session never reads as nothing: below a tenth of a MB in KB.
  for (const auto& [bytes, said] : {std::pair<uint64_t, const char*>{1023, "1023 B"}, {4096, "4 KB"},
                                    {104857, "102 KB"}, {104858, "0.1 MB"}}) {
    record_size_text(bytes, size);
    EXPECT_STREQ(size, said) << bytes;
  }
  // A stop by a full disk: its export details, and it does not break a line.
  LineEvent e = {};
  e.kind = kEventRecordStopped;
  e.detail = 112;
  char details[48];
  timeline_event_details(e, details);
  EXPECT_STREQ(details, "error 112");
  EXPECT_STREQ(line_event_name(kEventRecordStopped), "recording-stopped");
  EXPECT_FALSE(line_event_breaks(kEventRecordStopped));
  // Data the recording lost: its bytes, and the line breaks there.
  e.kind = kEventRecordLoss;
  e.detail = 1234;
  timeline_event_details(e, details);
  EXPECT_STREQ(details, "1234 bytes");
  EXPECT_STREQ(line_event_name(kEventRecordLoss), "loss");
  EXPECT_TRUE(line_event_breaks(kEventRecordLoss));
}

TEST(LineEvents, AListeningChannelsClientsAreNamedAndARefusalBreaksNothing) {
  LineEvent e = {0, 0, kEventOpened, 1, 50123, 0x0A000005};
  char details[48];
  timeline_event_details(e, details);
  EXPECT_STREQ(details, "10.0.0.5:50123");  // not "COM50123"
  e.kind = kEventRefused;
  e.detail = kEventPeerIpv6;
  e.port = 65535;
  timeline_event_details(e, details);
  EXPECT_STREQ(details, "IPv6 port 65535");
  EXPECT_STREQ(line_event_name(kEventRefused), "refused");
  EXPECT_FALSE(line_event_breaks(kEventRefused));  // the served client's line goes on
  // A port's own opening keeps its COM number.
  e = {0, 0, kEventOpened, 1, 5, 0};
  timeline_event_details(e, details);
  EXPECT_STREQ(details, "COM5");
  // And a log that holds the new kind loads its events.
  const LineEvent both[2] = {{0, 10, kEventOpened, 1, 50123, 0x7F000001}, {3, 20, kEventRefused, 1, 50124, 0x7F000001}};
  uint8_t file[kEventsHeaderBytes + 2 * kEventsEntryBytes];
  timeline_events_encode(both, 2, 3, 99, file);
  LineEvent got[kCaptureEvents];
  int32_t n = 0;
  ASSERT_EQ(timeline_events_parse(file, sizeof file, 3, 99, got, &n), kEventsOk);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(got[1].kind, kEventRefused);
  EXPECT_EQ(got[1].port, 50124);
}

}  // namespace
