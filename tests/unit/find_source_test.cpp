// The one search over a recording, as the window and the command line run
// it: byte matches end where a run of the program ends and where the line
// broke, and silences are measured with the lines the recording says.
#include "find/find_source.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

int64_t read_bytes(void* ctx, uint64_t offset, uint8_t* out, uint32_t n) {
  const Bytes& b = *static_cast<const Bytes*>(ctx);
  if (offset >= b.size()) return 0;
  const uint64_t k = std::min<uint64_t>(n, b.size() - offset);
  std::memcpy(out, b.data() + offset, k);
  return static_cast<int64_t>(k);
}

struct Chunk {
  uint8_t kind;  // a data kind, or 0 for a "lost" event of CH1
  int64_t clock_us;
  std::string text;
};

// One file of a recording that began 2026-12-09 12:00:`second` local with
// the capture clock at `clock_us`, CH1 at `baud`.
Bytes recording(int second, int64_t clock_us, uint32_t baud, const std::vector<Chunk>& chunks) {
  RecordHeader h = {};
  h.year = 2026, h.month = 12, h.day = 9, h.hour = 12, h.minute = 0, h.second = static_cast<uint8_t>(second);
  h.clock_us = clock_us;
  for (RecordChannel& c : h.channel) c.baud = baud, c.data_bits = 8, c.stop_bits = 1;
  Bytes file(kRecordHeaderBytes);
  record_header_write(h, file.data());
  auto b = std::make_unique<RecordBlockBuilder>();
  record_block_begin(b.get());
  for (const Chunk& c : chunks) {
    if (c.kind == 0) EXPECT_EQ(record_block_add_event(b.get(), kEventLost, 1, 3, 0, c.clock_us), 0);
    else EXPECT_EQ(record_block_add_chunk(b.get(), c.kind, c.clock_us, reinterpret_cast<const uint8_t*>(c.text.data()),
                                          static_cast<int>(c.text.size())), 0);
  }
  const uint32_t n = record_block_seal(b.get());
  file.insert(file.end(), b->bytes, b->bytes + n);
  return file;
}

struct Files {
  std::vector<Bytes> list;
  size_t next = 0;
  static int open(void* ctx, RecordReader* r) {
    Files* f = static_cast<Files*>(ctx);
    while (f->next < f->list.size())
      if (record_reader_open(r, {&f->list[f->next++], read_bytes}) == kRecordHeaderOk) return 1;
    return 0;
  }
};

uint64_t nowhere(void*, const RecordStream*) { return 0; }

// The finds of `q` in the recording `files`.
std::vector<FindFound> search(Files files, const FindQuery& q) {
  static FindPass pass;
  static RecordWindow window;
  static FindFound found[64];
  static FindPlace places[64];
  auto reader = std::make_unique<RecordReader>();
  EXPECT_EQ(capture_snapshot_allocate(&window.snap), 0);
  pass = FindPass{};
  EXPECT_EQ(find_pass_begin(&pass, q), 0);
  FindList list = {found, 0, 64, 0};
  FindRun run = {};
  run.pass = &pass;
  run.list = &list;
  run.places = places;
  RecordStream st;
  record_stream_begin(&st, Files::open, &files, reader.get(), {}, {});
  EXPECT_EQ(find_run_recording(&run, &st, &window, nowhere, nullptr, 0), 0);
  find_pass_end(&pass);
  return std::vector<FindFound>(found, found + list.n);
}

FindQuery bytes_query(const char* text) {
  FindQuery q = {};
  q.what = kFindBytes;
  q.streams = 0xF;
  EXPECT_EQ(find_pattern_text(reinterpret_cast<const uint8_t*>(text), static_cast<int>(std::strlen(text)), 1, nullptr,
                              &q.pattern).fault, kFindPatternOk);
  return q;
}

}  // namespace

TEST(FindSource, BytesInARecordingStopAtTheEndOfARunAndAtABreak) {
  const FindQuery q = bytes_query("OK");
  // One run over two files (the second's header agrees with the first's
  // clock): "O" then "K" is a match.
  Files one;
  one.list = {recording(0, 1000000, 9600, {{kKindRecvCh1, 1000000, "xO"}}),
              recording(1, 2000000, 9600, {{kKindRecvCh1, 2000000, "K"}})};
  ASSERT_EQ(search(one, q).size(), 1u);
  // The program started again: its clock began anew, its line is another.
  Files two;
  two.list = {recording(0, 1000000, 9600, {{kKindRecvCh1, 1000000, "xO"}}),
              recording(30, 500000, 9600, {{kKindRecvCh1, 500000, "K"}, {kKindRecvCh1, 600000, "OK"}})};
  const std::vector<FindFound> after_restart = search(two, q);
  ASSERT_EQ(after_restart.size(), 1u);
  EXPECT_EQ(after_restart[0].offset, 3);  // the whole "OK" of the second run
  // The line lost between "O" and "K" in one file.
  Files lost;
  lost.list = {recording(0, 1000000, 9600, {{kKindRecvCh1, 1000000, "xO"}, {0, 1500000, ""}, {kKindRecvCh1, 2000000, "K"}})};
  EXPECT_TRUE(search(lost, q).empty());
}

TEST(FindSource, ARecordingsSilencesUseTheLinesItsHeaderGives) {
  FindQuery q = {};
  q.what = kFindSilence;
  q.streams = 0xF;
  q.silence_us = 20000;
  q.shape[0] = q.shape[1] = {115200, 100};  // today's setting: no figure of the recording's
  // Two bytes received 60 ms apart: at 300 baud (over 33 ms a character) the
  // line was quiet some 25 ms; at 115,200 baud it would be about 60 ms.
  Files files;
  files.list = {recording(0, 1000000, 300, {{kKindRecvCh1, 1000000, "a"}, {kKindRecvCh1, 1060000, "b"}})};
  std::vector<FindFound> found = search(files, q);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_GE(found[0].detail, 24000);
  EXPECT_LT(found[0].detail, 28000);
}

namespace {

// Summer time from wall time 10:00 on the first day of 1970: an hour more.
constexpr int64_t kHour = 3600000000LL;
int32_t zone_with_summer(int64_t wall_us) { return wall_us >= 10 * kHour ? 120 : 60; }

}  // namespace

// Go to Time reads each record's time of day in the zone of its moment:
// "11:30" after the clocks went forward at 10:00 is the record of 11:30
// summer time, not the one an hour later by the zone at the start.
TEST(FindSource, GoToTimeTakesEachMomentsZone) {
  const int64_t times[] = {9 * kHour, 9 * kHour + kHour / 2, 10 * kHour + kHour / 2, 11 * kHour};
  // Wall times 09:00, 09:30, 10:30, 11:00 read as 10:00, 10:30, 12:30, 13:00 local.
  EXPECT_EQ(find_local_us(times[2], 0, zone_with_summer), 12 * kHour + kHour / 2);
  EXPECT_EQ(find_time_first_local(times, 4, 12 * kHour, 0, zone_with_summer), 2);
  EXPECT_EQ(find_time_first_local(times, 4, 10 * kHour + 1, 0, zone_with_summer), 1);
  EXPECT_EQ(find_time_first_local(times, 4, 14 * kHour, 0, zone_with_summer), 4);
}

// A character the code page cannot write is said, not searched for as "?".
TEST(FindSource, TextTheCodePageCannotWriteIsRefused) {
  auto latin1 = [](void*, const char16_t* units, int count, uint8_t* out, int cap) {
    int n = 0;
    for (int i = 0; i < count && n < cap; i++) out[n++] = units[i] <= 0xFF ? static_cast<uint8_t>(units[i]) : '?';
    return n;
  };
  const AnsiCodec codec = {nullptr, latin1};
  FindPattern p;
  const char16_t ok[] = u"a?b";
  EXPECT_EQ(find_pattern_typed(&codec, ok, 3, 'T', 0, &p).fault, kFindPatternOk);
  const char16_t greek[] = u"a\u03A9b";
  const FindPatternResult r = find_pattern_typed(&codec, greek, 3, 'T', 0, &p);
  EXPECT_EQ(r.fault, kFindPatternNotInCodePage);
  EXPECT_EQ(r.at, 1);
}

// Stepping through a list of at most 3 finds kept: past its end while more
// were found, the search goes on after it; back before its start, it goes
// on from the list before.
TEST(FindSource, StepsGoOnPastAFullList) {
  int64_t skip = -1;
  EXPECT_EQ(find_step_in_list(0, 3, 0, 5, 3, 1, &skip), 1);
  EXPECT_EQ(find_step_in_list(2, 3, 0, 0, 3, 1, &skip), kFindStepNone);
  EXPECT_EQ(find_step_in_list(2, 3, 0, 5, 3, 1, &skip), kFindStepSearch);
  EXPECT_EQ(skip, 3);
  EXPECT_EQ(find_step_in_list(0, 3, 3, 2, 3, -1, &skip), kFindStepSearch);
  EXPECT_EQ(skip, 0);
  EXPECT_EQ(find_step_in_list(0, 3, 0, 5, 3, -1, &skip), kFindStepNone);
}

// A recording at 1,200 baud read where the port is set to 115,200 today:
// its last exchange is framed by the recording's speed, as the rest is,
// and an answer that came in two chunks is one good frame.
TEST(FindSource, TheLastExchangeOfARecordingIsFramedAtItsOwnSpeed) {
  FindQuery q = {};
  q.what = kFindBadFrame;
  q.streams = 0xF;
  q.modbus.mode = kModbusRtu;
  q.modbus.shape[0] = q.modbus.shape[1] = {115200, 100};  // today's
  const uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
  const uint8_t answer[] = {0x01, 0x03, 0x02, 0x00, 0x2A, 0x39, 0x9B};
  auto text = [](const uint8_t* b, int n) { return std::string(reinterpret_cast<const char*>(b), n); };
  // 1,200 baud, 8 data bits, 1.5 stop bits: 8,750 µs a character; the
  // answer's second chunk follows its first without a pause.
  Files files;
  files.list = {recording(0, 1000000, 1200,
                          {{kKindSentCh1, 1000000, text(request, 8)},
                           {kKindRecvCh1, 1050000, text(answer, 4)},
                           {kKindRecvCh1, 1050000 + 4 * 8750, text(answer + 4, 3)}})};
  EXPECT_TRUE(search(files, q).empty());
}

// A slice of a recording that holds line events and no data: the events
// are found all the same.
TEST(FindSource, EventsOfARecordingWithoutDataAreFound) {
  FindQuery q = {};
  q.what = kFindLineEvent;
  q.streams = 0xF;
  q.event = kEventLost;
  Files files;
  files.list = {recording(0, 1000000, 9600, {{0, 1500000, ""}})};
  EXPECT_EQ(search(files, q).size(), 1u);
}
