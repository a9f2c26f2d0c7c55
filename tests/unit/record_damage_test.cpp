// Hostile cases for the recording's reader, file names and hand-over:
// crafted files, seeks at every offset, odd names, slices at the day's
// edges and a queue that fills and empties again and again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "record/record_queue.h"
#include "record/record_reader.h"

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

// A header of 2026-12-09 23:59:50, capture clock 5 s then.
Bytes header(int64_t clock = 5 * kSec) {
  RecordHeader h = {};
  h.year = 2026;
  h.month = 12;
  h.day = 9;
  h.hour = 23;
  h.minute = 59;
  h.second = 50;
  h.clock_us = clock;
  h.channel[0].baud = 9600;
  h.channel[0].data_bits = 8;
  Bytes file(kRecordHeaderBytes);
  record_header_write(h, file.data());
  return file;
}

struct Chunk {
  std::string data;
  int64_t time;
};

// One sealed block of chunks (kind 1).
Bytes block(const std::vector<Chunk>& chunks) {
  auto b = std::make_unique<RecordBlockBuilder>();
  record_block_begin(b.get());
  for (const Chunk& c : chunks)
    EXPECT_EQ(record_block_add_chunk(b.get(), 1, c.time, reinterpret_cast<const uint8_t*>(c.data.data()),
                                     static_cast<int>(c.data.size())),
              0);
  const uint32_t n = record_block_seal(b.get());
  return Bytes(b->bytes, b->bytes + n);
}

void append(Bytes* to, const Bytes& more) { to->insert(to->end(), more.begin(), more.end()); }

std::string as_text(const Bytes& b) { return std::string(b.begin(), b.end()); }

struct Read {
  std::vector<std::string> entries;  // "data@capture µs" / "ev@µs"
  std::vector<uint64_t> block_at;    // each entry's block
  uint64_t skipped = 0;
};

// Reads a file from its start, or from a seek to `seek` (0: none).
Read read_file(const Bytes& file, uint64_t seek = 0, int* seek_result = nullptr) {
  auto r = std::make_unique<RecordReader>();
  Bytes copy = file;
  Read out;
  EXPECT_EQ(record_reader_open(r.get(), {&copy, read_bytes}), kRecordHeaderOk);
  if (seek) {
    const int got = record_reader_seek(r.get(), seek);
    if (seek_result) *seek_result = got;
  }
  RecordEntry e;
  while (record_reader_next(r.get(), &e)) {
    const std::string what =
        e.type == kRecordEntryEvent ? "ev" : std::string(reinterpret_cast<const char*>(e.data), e.length);
    out.entries.push_back(what + "@" + std::to_string(time_sub_us(e.time_us, r->wall_minus_clock)));
    out.block_at.push_back(r->block_offset);
  }
  out.skipped = r->skipped;
  return out;
}

bool any_starts(const std::vector<std::string>& v, const std::string& prefix) {
  for (const std::string& s : v)
    if (s.compare(0, prefix.size(), prefix) == 0) return true;
  return false;
}

// A file of six blocks of a few chunks each, 10 ms apart from clock 5 s;
// the third carries, as one chunk's data, two chained blocks of the same
// clock ("EVIL1", "EVIL2"), which are data and never entries.
Bytes six_blocks(std::vector<uint64_t>* starts) {
  Bytes file = header();
  int64_t t = 5 * kSec;
  for (int k = 0; k < 6; k++) {
    std::vector<Chunk> chunks;
    for (int c = 0; c < 3 + k % 3; c++, t += 10000) chunks.push_back({"b" + std::to_string(k) + "c" + std::to_string(c), t});
    if (k == 2) {
      Bytes carried = block({{"EVIL1", t}});
      append(&carried, block({{"EVIL2", t + 1}}));
      chunks.push_back({as_text(carried), t});
    }
    starts->push_back(file.size());
    append(&file, block(chunks));
  }
  return file;
}

}  // namespace

// ---- names ----------------------------------------------------------------

TEST(RecordDamage, FilesOfOneSecondAndOddNamesKeepTheirOrder) {
  const std::string base = "quorrin-20261209-101112";
  std::vector<std::string> names = {base + ".qrec"};
  for (int k = 2; k <= 12; k++) names.push_back(base + "-" + std::to_string(k) + ".qrec");
  std::vector<std::string> shuffled = names;
  std::reverse(shuffled.begin(), shuffled.end());
  std::swap(shuffled[2], shuffled[7]);
  std::sort(shuffled.begin(), shuffled.end(),
            [](const std::string& a, const std::string& b) { return record_file_name_compare(a.c_str(), b.c_str()) < 0; });
  EXPECT_EQ(shuffled, names);
  // Not recordings by the naming rule: never pruned as one.
  for (const char* odd : {"quorrin-copy.qrec", "quorrin-20261209-101112-0.qrec", "quorrin-20261209-101112-01.qrec",
                          "quorrin-20261209-101112.qrec.bak", "quorrin-20261209-101112-.qrec",
                          "quorrin-2026120-1011120.qrec", "xquorrin-20261209-101112.qrec"})
    EXPECT_EQ(record_file_name_ours(odd), 0) << odd;
  EXPECT_EQ(record_file_name_ours("quorrin-20261209-101112.QREC"), 1);
  EXPECT_LT(record_file_name_compare((base + "-12.qrec").c_str(), "quorrin-20261209-101113.qrec"), 0);
  EXPECT_LT(record_file_name_compare((base + "-99.qrec").c_str(), "quorrin-copy.qrec"), 0);
  // Numbers past what the sequence counts still order as numbers.
  EXPECT_LT(record_file_name_compare((base + "-999999999.qrec").c_str(), (base + "-1000000000.qrec").c_str()), 0);
  EXPECT_LT(record_file_name_compare((base + "-999999999999.qrec").c_str(), (base + "-1000000000000.qrec").c_str()), 0);
}

// ---- reader -----------------------------------------------------------------

namespace {

// A seek to every offset of `file` reads what reading from the start reads
// from the first block at or after it.
void expect_seeks_agree(const Bytes& file, const std::string& what) {
  const Read whole = read_file(file);
  for (uint64_t at = 1; at <= file.size(); at++) {
    std::vector<std::string> want;
    for (size_t i = 0; i < whole.entries.size(); i++)
      if (at <= static_cast<uint64_t>(kRecordHeaderBytes) || whole.block_at[i] >= at) want.push_back(whole.entries[i]);
    int result = -1;
    const Read sought = read_file(file, at, &result);
    ASSERT_EQ(sought.entries, want) << what << " seek " << at;
    EXPECT_EQ(result, want.empty() ? 0 : 1) << what << " seek " << at;
  }
}

// The chunks' texts read from the start, each followed by a space.
std::string texts_of(const Read& got) {
  std::string texts;
  for (const std::string& e : got.entries) texts += e.substr(0, e.find('@')) + " ";
  return texts;
}

}  // namespace

TEST(RecordDamage, ASeekAtEveryOffsetReadsWhatReadingFromTheStartReadsFromThere) {
  std::vector<uint64_t> starts;
  const Bytes clean = six_blocks(&starts);
  // Clean; ended by a block torn short; ended by the zeros a crash leaves
  // where the file had grown but its data never reached the disk.
  Bytes torn = clean;
  const Bytes tail = block({{"tail", 9 * kSec}});
  append(&torn, Bytes(tail.begin(), tail.begin() + 40));
  Bytes zeros = clean;
  append(&zeros, Bytes(4096, 0));
  int variant = 0;
  const Bytes* files[] = {&clean, &torn, &zeros};
  for (const Bytes* file : files) {
    const Read whole = read_file(*file);
    ASSERT_EQ(whole.entries.size(), 3u + 4 + 5 + 3 + 4 + 5 + 1) << variant;
    EXPECT_FALSE(any_starts(whole.entries, "EVIL")) << variant;
    expect_seeks_agree(*file, "variant " + std::to_string(variant));
    variant++;
  }
}

TEST(RecordDamage, AWholeBlockBetweenTwoDamagedHeadsIsRead) {
  Bytes clean = header();
  append(&clean, block({{"A", 5 * kSec}}));
  const size_t b_at = clean.size();
  append(&clean, block({{"B", 5 * kSec + 10000}}));
  append(&clean, block({{"C", 5 * kSec + 20000}}));
  const size_t d_at = clean.size();
  append(&clean, block({{"D", 5 * kSec + 30000}}));
  append(&clean, block({{"E", 5 * kSec + 40000}}));
  // B's and D's heads fail their check: a time bit (their payloads still
  // check by the length stated, so each is passed over by it), or a length
  // bit (a scan finds C, followed by a head damaged but still a head).
  for (size_t bit_at : {16u, 4u}) {
    Bytes file = clean;
    file[b_at + bit_at] ^= 1;
    file[d_at + bit_at] ^= 1;
    EXPECT_EQ(texts_of(read_file(file)), "A C E ") << bit_at;
    expect_seeks_agree(file, "bit at " + std::to_string(bit_at));
  }
}

TEST(RecordDamage, BlocksCarriedInsideABlockWhoseHeadIsDamagedNeverSurface) {
  // The recorded data are themselves a recording of the same clock (a
  // .qrec sent over the line): two chained blocks, the whole of one chunk.
  Bytes carried = block({{"EVIL1", 5 * kSec + 20000}});
  append(&carried, block({{"EVIL2", 5 * kSec + 20001}}));
  Bytes file = header();
  append(&file, block({{"A", 5 * kSec}}));
  const size_t x_at = file.size();
  append(&file, block({{"x", 5 * kSec + 10000}, {as_text(carried), 5 * kSec + 20000}}));
  append(&file, block({{"B", 5 * kSec + 30000}}));
  file[x_at + 16] ^= 1;  // the carrying block's head: a time bit
  const Read got = read_file(file);
  EXPECT_FALSE(any_starts(got.entries, "EVIL"));
  EXPECT_TRUE(any_starts(got.entries, "B@"));
  // A seek into the carrier finds the carried blocks are its data too.
  for (uint64_t at = x_at; at <= file.size(); at++) {
    const Read sought = read_file(file, at);
    EXPECT_FALSE(any_starts(sought.entries, "EVIL")) << at;
  }
}

TEST(RecordDamage, ScanWorkSpentOnCarriedBlocksCostsNoRealBlock) {
  // Damage, then a whole block (its follower's head damaged, so a scan
  // looks inside it) whose chunks are tiny chained blocks; then damage and
  // twelve real blocks. The real blocks are read, and the work stays small.
  // The damage is a head's magic (what a scan must pass) or its time (a
  // block passed over by its length).
  for (size_t bit_at : {0u, 16u}) {
    Bytes file = header();
    append(&file, block({{"A", 5 * kSec}}));
    Bytes d = block({{"D", 5 * kSec + 1000}});
    d[bit_at] ^= 1;
    append(&file, d);
    std::vector<Chunk> chunks;
    for (int c = 0; c < 15; c++) {
      Bytes tiny;
      while (tiny.size() + 40 <= 4000) append(&tiny, block({{"t", 5 * kSec + 2000}}));
      chunks.push_back({as_text(tiny), 5 * kSec + 2000});
    }
    append(&file, block(chunks));
    Bytes c = block({{"C", 5 * kSec + 3000}});
    c[bit_at] ^= 1;
    append(&file, c);
    for (int k = 0; k < 12; k++) append(&file, block({{"L" + std::to_string(k), 5 * kSec + 4000 + k}}));
    struct Counted {
      Bytes file;
      uint64_t asked = 0;
      static int64_t read(void* ctx, uint64_t offset, uint8_t* out, uint32_t n) {
        Counted* c = static_cast<Counted*>(ctx);
        c->asked += n;
        return read_bytes(&c->file, offset, out, n);
      }
    } counted{file};
    auto r = std::make_unique<RecordReader>();
    ASSERT_EQ(record_reader_open(r.get(), {&counted, Counted::read}), kRecordHeaderOk);
    std::string texts;
    RecordEntry e;
    while (record_reader_next(r.get(), &e))
      if (e.length <= 3) texts += std::string(reinterpret_cast<const char*>(e.data), e.length) + " ";
    EXPECT_EQ(texts, "A L0 L1 L2 L3 L4 L5 L6 L7 L8 L9 L10 L11 ") << bit_at;
    EXPECT_LT(counted.asked, 64 * file.size()) << bit_at;
  }
}

TEST(RecordDamage, CraftedHeadsTimesAndCutsNeverInventOrCrash) {
  // Times at the ends of the clock: read as unknown, never wrapped.
  Bytes file = header();
  append(&file, block({{"max", INT64_MAX}, {"min", INT64_MIN}, {"mid", 5 * kSec}}));
  auto r = std::make_unique<RecordReader>();
  ASSERT_EQ(record_reader_open(r.get(), {&file, read_bytes}), kRecordHeaderOk);
  RecordEntry e;
  ASSERT_EQ(record_reader_next(r.get(), &e), 1);
  EXPECT_EQ(e.time_us, kTimeUnknown);
  ASSERT_EQ(record_reader_next(r.get(), &e), 1);
  EXPECT_EQ(e.time_us, kTimeUnknown);
  ASSERT_EQ(record_reader_next(r.get(), &e), 1);
  EXPECT_EQ(e.time_us, record_header_wall_us(r->header));
  // A header whose clock is at an end of the range: the exact time, or
  // unknown where it has none, never a wrapped one.
  for (int64_t clock : {INT64_MAX, INT64_MIN + 1}) {
    Bytes f = header(clock);
    append(&f, block({{"x", 5 * kSec}}));
    ASSERT_EQ(record_reader_open(r.get(), {&f, read_bytes}), kRecordHeaderOk);
    ASSERT_EQ(record_reader_next(r.get(), &e), 1);
    const __int128 exact = static_cast<__int128>(record_header_wall_us(r->header)) - clock + 5 * kSec;
    if (exact > INT64_MIN && exact <= INT64_MAX) EXPECT_EQ(e.time_us, static_cast<int64_t>(exact)) << clock;
    else EXPECT_EQ(e.time_us, kTimeUnknown) << clock;
  }
  // Only heads: zero sizes, huge claims, and every cut of a real file.
  Bytes heads = header();
  for (uint32_t claim : {0u, 1u, 11u, kRecordBlockPayloadMax, kRecordBlockPayloadMax + 1, 0xFFFFFFFFu}) {
    uint8_t h[kRecordBlockHeaderBytes] = {'Q', 'B', 'L', 'K'};
    std::memcpy(h + 4, &claim, 4);
    h[8] = 1;
    const uint32_t crc = record_crc32(0, h, 24);
    std::memcpy(h + 24, &crc, 4);
    heads.insert(heads.end(), h, h + kRecordBlockHeaderBytes);
  }
  EXPECT_TRUE(read_file(heads).entries.empty());
  std::vector<uint64_t> starts;
  const Bytes six = six_blocks(&starts);
  for (size_t cut = kRecordHeaderBytes; cut < six.size(); cut++) {
    const Read got = read_file(Bytes(six.begin(), six.begin() + static_cast<long>(cut)));
    EXPECT_FALSE(any_starts(got.entries, "EVIL")) << cut;
  }
}

// ---- slices -----------------------------------------------------------------

namespace {

// "2026-12-09 23:59:50" plus µs as the recorded time of the test files.
int64_t at_day9(int64_t plus) { return INT64_C(20796) * 86400 * kSec + (23 * 3600 + 59 * 60 + 50) * kSec + plus; }

RecordTime parse(const char* text) {
  RecordTime t = {};
  EXPECT_EQ(record_time_parse(text, &t), 0) << text;
  return t;
}

}  // namespace

TEST(RecordDamage, SlicesAtMidnightAndTheDaysLastMicrosecond) {
  const int64_t start = at_day9(0);  // 23:59:50
  // "/from 00:00" of a recording that began at 23:59:50: the next midnight.
  EXPECT_EQ(record_time_resolve(parse("00:00"), start), at_day9(10 * kSec));
  EXPECT_EQ(record_time_resolve_end(parse("00:00"), start), at_day9(70 * kSec - 1));
  // The day's last microsecond is that very one, on this day.
  EXPECT_EQ(record_time_resolve(parse("23:59:59.999999"), start), at_day9(10 * kSec - 1));
  EXPECT_EQ(record_time_resolve_end(parse("23:59:59.999999"), start), at_day9(10 * kSec - 1));
  EXPECT_EQ(record_time_resolve_end(parse("23:59"), start), at_day9(10 * kSec - 1));
  // A second that has just ended by the start falls on the next day.
  EXPECT_EQ(record_time_resolve(parse("23:59:49"), start), at_day9(86400 * kSec - kSec));
  RecordTime t;
  for (const char* bad : {"24:00", "23:60", "23:59:60", "1:2:3:4", "12:", ":12", "1.", ".5", "14:03.5", "1.0000001",
                          "-1", "9999999999999"})
    EXPECT_EQ(record_time_parse(bad, &t), 1) << bad;
  // Seconds at the edge of what parses never wrap into an early time.
  EXPECT_EQ(record_time_resolve(parse("999999999999.999999"), INT64_MAX - kSec), kTimeUnknown);
  EXPECT_EQ(record_time_resolve(parse("23:59:59"), INT64_MAX - kSec), kTimeUnknown);
  EXPECT_GE(record_time_resolve(parse("00:00"), INT64_MIN + 1), INT64_MIN + 1);
}

// ---- hand-over ---------------------------------------------------------------

namespace {

struct Said {
  uint64_t bytes[3] = {0, 0, 0};
  int events[3] = {0, 0, 0};
  std::vector<int64_t> times;
  uint64_t data[3] = {0, 0, 0};
};

// Takes all the queue holds, block by block, reading it as a file would.
void drain(RecordQueue* q, Said* said) {
  auto b = std::make_unique<RecordBlockBuilder>();
  for (;;) {
    record_block_begin(b.get());
    record_queue_take(q, b.get());
    const uint32_t n = record_block_seal(b.get());
    if (n == 0) return;
    RecordBlock blk;
    ASSERT_EQ(record_block_read(b->bytes, n, &blk), kRecordBlockOk);
    uint32_t at = 0;
    RecordEntry e;
    while (record_entry_next(blk, &at, &e) == 1) {
      if (e.type == kRecordEntryEvent && e.event_kind == kEventRecordLoss) {
        said->bytes[e.event_channel] += e.event_detail;
        said->events[e.event_channel]++;
        said->times.push_back(e.time_us);
      } else if (e.type != kRecordEntryEvent) {
        said->data[e.type <= 2 ? 1 : 2] += e.length;
      }
    }
  }
}

}  // namespace

TEST(RecordDamage, EveryRefusedChunkIsSaidOnceWithItsChannelBytesAndTime) {
  auto q = std::make_unique<RecordQueue>();
  record_queue_reset(q.get());
  static uint8_t data[4000];
  Said said;
  uint64_t put[3] = {0, 0, 0};
  int64_t t = 1000;
  std::vector<int64_t> refused_times;
  for (int round = 0; round < 5; round++) {
    // Both channels in turn until each has had chunks refused.
    int refused[3] = {0, 0, 0};
    for (int i = 0; refused[1] < 3 || refused[2] < 3; i++, t++) {
      const int ch = 1 + i % 2;
      const int n = 1 + (i * 37) % 4000;
      const int failed = record_queue_put_chunk(q.get(), ch == 1 ? 1 : 3, t, data, n);
      if (failed) {
        refused_times.push_back(t);
        refused[ch]++;
      } else {
        put[ch] += static_cast<uint64_t>(n);
      }
    }
    drain(q.get(), &said);
  }
  // The last losses are said although nothing was put after them: the
  // capture says them when the recording stops or the line has gone quiet.
  ASSERT_EQ(record_queue_put_losses(q.get()), 0);
  drain(q.get(), &said);
  for (int ch = 1; ch <= 2; ch++) {
    EXPECT_EQ(said.data[ch], put[ch]) << ch;
    EXPECT_EQ(said.bytes[ch], q->lost_channel[ch].load()) << ch;
    EXPECT_GE(said.events[ch], 5) << ch;
  }
  for (int64_t when : said.times)
    EXPECT_NE(std::find(refused_times.begin(), refused_times.end(), when), refused_times.end()) << when;
  EXPECT_EQ(q->lost.load(), q->lost_channel[1].load() + q->lost_channel[2].load());
}
