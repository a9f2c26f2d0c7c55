#include "timeline/chunks.h"
#include "timeline/export.h"
#include "timeline/stats.h"
#include "timeline/times_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// One clock behind both the capture's millisecond tick (gap digits) and its
// microsecond clock (chunk times), moved by the tests.
// The text export's clock and lines: both channels at 9600 baud 8N1 (a
// character takes 1042 µs, the blank-line threshold is 4010 µs), UTC.
const TimelineTextClock kUtc9600 = {0, nullptr, {{9600, 100}, {9600, 100}}};
TimelineTextClock clock_at(int64_t offset, int32_t (*zone)(int64_t) = nullptr) {
  return {offset, zone, {{9600, 100}, {9600, 100}}};
}
const LineShape k9600[2] = {{9600, 100}, {9600, 100}};

int64_t g_us = 0;
uint32_t fake_tick() { return static_cast<uint32_t>(g_us / 1000); }
int64_t fake_micros() { return g_us; }

struct Collect {
  std::string text;
  int calls = 0;
  int refuse_after = -1;  // refuse the call with this number (0: the first)
};

int collect_write(void* ctx, const uint8_t* bytes, int n) {
  Collect* c = static_cast<Collect*>(ctx);
  if (c->calls++ == c->refuse_after) return 1;
  c->text.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(n));
  return 0;
}

struct TimelineFixture : ::testing::Test {
  Capture cap;
  Collect out;
  ByteSink sink{&out, collect_write};
  void SetUp() override {
    g_us = 10'000'000;
    cap.tick = fake_tick;
    cap.micros = fake_micros;
    ASSERT_EQ(capture_allocate(&cap), 0);
    capture_clear(&cap);
  }
  void TearDown() override { capture_free(&cap); }
  // A chunk as a receive thread or a send records it: with the clock's time.
  void append(uint8_t kind, const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(capture_append(&cap, bytes.data(), static_cast<int>(bytes.size()), kind, capture_now_us(&cap)), 0);
  }
  int32_t w() { return capture_write_position(&cap); }
  // The worked capture: a command and its answer on CH1 12.345 ms apart,
  // CH2 data 1.5 s later, and a CH2 send whose time is unknown (as in a
  // log loaded without its companion) 250 ms after that.
  void worked_capture() {
    append(kKindSentCh1, {'A', 'T', 0x0D});
    g_us += 12'345;
    append(kKindRecvCh1, {'O', 'K'});
    g_us += 1'500'000;
    append(kKindRecvCh2, {'"', ',', 0x00});
    g_us += 250'000;
    ASSERT_EQ(capture_append(&cap, reinterpret_cast<const uint8_t*>("\x7F"), 1, kKindSentCh2, kTimeUnknown), 0);
  }
};

TEST(TimelineCompanion, NameIsTheLogsNamePlusQtimes) {
  const std::u16string log = u"C:\\data\\run.log";
  char16_t out[64];
  EXPECT_EQ(timeline_companion_name(log.data(), static_cast<int>(log.size()), out, 64), 22);
  EXPECT_EQ(std::u16string(out), u"C:\\data\\run.log.qtimes");
  // Exactly room for the name and its terminator, then one unit less.
  EXPECT_EQ(timeline_companion_name(log.data(), 15, out, 23), 22);
  out[0] = u'x';
  EXPECT_EQ(timeline_companion_name(log.data(), 15, out, 22), -1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(timeline_companion_name(log.data(), -1, out, 22), -1);
  // The events file's name the same way, with its own suffix.
  EXPECT_EQ(timeline_companion_name(log.data(), 15, out, 64, u".qevents"), 23);
  EXPECT_EQ(std::u16string(out), u"C:\\data\\run.log.qevents");
}

TEST(TimelineCompanion, HeaderAndTimesAreLittleEndian) {
  uint8_t h[kTimelineHeaderBytes];
  std::memset(h, 0xEE, sizeof h);
  timeline_companion_header(0x0102, -2, 0x0807060504030201, h);
  const uint8_t want[kTimelineHeaderBytes] = {'Q', 'T', 'I', 'M', 'E', 'S', '1', '\n',  //
                                              0x02, 0x01, 0, 0, 0, 0, 0, 0,             //
                                              0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                              1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(std::memcmp(h, want, sizeof h), 0);
  const int64_t times[2] = {0x1122334455667788, kTimeUnknown};
  uint8_t body[16];
  timeline_companion_encode(times, 2, body);
  const uint8_t body_want[16] = {0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0, 0, 0, 0, 0, 0, 0, 0x80};
  EXPECT_EQ(std::memcmp(body, body_want, sizeof body), 0);
}

std::vector<uint8_t> companion_file(int64_t count, int64_t offset, const std::vector<int64_t>& times,
                                    uint64_t check = 0) {
  std::vector<uint8_t> file(kTimelineHeaderBytes + 8 * times.size());
  timeline_companion_header(count, offset, check, file.data());
  timeline_companion_encode(times.data(), static_cast<int32_t>(times.size()), file.data() + kTimelineHeaderBytes);
  return file;
}

TEST(TimelineCompanion, ParseTakesBackWhatWasWritten) {
  std::vector<int64_t> times = {5, kTimeUnknown, -7, INT64_MAX};
  std::vector<uint8_t> file = companion_file(4, 1'700'000'000'000'000, times, 0x55);
  int64_t got[4], offset = 0;
  ASSERT_EQ(timeline_companion_parse(file.data(), file.size(), 4, 0x55, got, &offset), kCompanionOk);
  for (int i = 0; i < 4; i++) EXPECT_EQ(got[i], times[i]) << i;
  EXPECT_EQ(offset, 1'700'000'000'000'000);
  // A file written before the check (0 there) is taken on its count.
  std::vector<uint8_t> old = companion_file(4, 3, times, 0);
  ASSERT_EQ(timeline_companion_parse(old.data(), old.size(), 4, 0x1234, got, &offset), kCompanionOk);
  // An empty log has an empty companion.
  std::vector<uint8_t> empty = companion_file(0, 9, {}, timeline_log_check(nullptr, 0));
  ASSERT_EQ(timeline_companion_parse(empty.data(), empty.size(), 0, timeline_log_check(nullptr, 0), got, &offset),
            kCompanionOk);
  EXPECT_EQ(offset, 9);
}

// The check tells two logs of the same length apart by any one byte.
TEST(TimelineCompanion, CheckTellsLogsOfOneLengthApart) {
  CaptureRecord a[3] = {{1, 0, 'A', 0, 0, {0, 0, 0}}, {1, 0, 'B', 0, 1, {0, 0, 0}}, {128, 0, 't', '=', 0, {0, 0, 0}}};
  CaptureRecord b[3];
  std::memcpy(b, a, sizeof a);
  b[1].data = 'C';
  EXPECT_NE(timeline_log_check(a, 3), timeline_log_check(b, 3));
  EXPECT_NE(timeline_log_check(a, 3), 0u);
  std::vector<uint8_t> file = companion_file(3, 0, {1, 2, 3}, timeline_log_check(a, 3));
  int64_t got[3], offset = 0;
  EXPECT_EQ(timeline_companion_parse(file.data(), file.size(), 3, timeline_log_check(b, 3), got, &offset),
            kCompanionOtherLog);
  EXPECT_EQ(got[0], kTimeUnknown);
}

TEST(TimelineCompanion, EveryFaultLeavesAllTimesUnknown) {
  std::vector<int64_t> times = {1, 2, 3};
  std::vector<uint8_t> good = companion_file(3, 77, times);
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
    int32_t log_records;
    TimelineCompanionStatus want;
  };
  std::vector<uint8_t> magic = good, longer = good, shorter = good, other = companion_file(4, 77, {1, 2, 3, 4});
  magic[6] = '2';
  longer.push_back(0);
  shorter.pop_back();
  const Case cases[] = {
      {"no file", {}, 3, kCompanionShort},
      {"part of a header", std::vector<uint8_t>(good.begin(), good.begin() + 31), 3, kCompanionShort},
      {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 32), 3, kCompanionShort},
      {"last time cut", shorter, 3, kCompanionShort},
      {"another magic", magic, 3, kCompanionDamaged},
      {"a byte too many", longer, 3, kCompanionDamaged},
      {"for a longer log", other, 3, kCompanionCountDiffers},
      {"for a shorter log", good, 4, kCompanionCountDiffers},
      {"negative log count", good, -3, kCompanionCountDiffers},
  };
  for (const Case& c : cases) {
    int64_t got[5] = {9, 9, 9, 9, 9};
    int64_t offset = 5;
    EXPECT_EQ(timeline_companion_parse(c.file.empty() ? nullptr : c.file.data(), c.file.size(), c.log_records, 0,
                                       got, &offset),
              c.want)
        << c.what;
    EXPECT_EQ(offset, 0) << c.what;
    for (int i = 0; i < 5; i++) EXPECT_EQ(got[i], i < c.log_records ? kTimeUnknown : 9) << c.what << " " << i;
  }
}

TEST_F(TimelineFixture, ChunksWithTheirTimesAndTheGapBeforeThem) {
  worked_capture();
  int32_t at = 0, gap = -1;
  TimelineChunk c;
  struct Want {
    int32_t first, count;
    uint8_t kind;
    int64_t time;
    int32_t gap_before;
  };
  const Want want[] = {
      {0, 3, kKindSentCh1, 10'000'000, -1},
      {6, 2, kKindRecvCh1, 10'012'345, 0},   // 12 ms: no whole tenth
      {11, 3, kKindRecvCh2, 11'512'345, 15},
      {17, 1, kKindSentCh2, kTimeUnknown, 2},
  };
  for (const Want& x : want) {
    ASSERT_EQ(timeline_next_chunk(cap.records, cap.times, w(), &at, &gap, &c), 1);
    EXPECT_EQ(c.first, x.first);
    EXPECT_EQ(c.count, x.count);
    EXPECT_EQ(c.kind, x.kind);
    EXPECT_EQ(c.time_us, x.time);
    EXPECT_EQ(c.gap_tenths_before, x.gap_before);
  }
  EXPECT_EQ(timeline_next_chunk(cap.records, cap.times, w(), &at, &gap, &c), 0);
  EXPECT_EQ(at, w());
  // Without times every chunk's time is unknown; the chunks are the same.
  at = 0, gap = -1;
  ASSERT_EQ(timeline_next_chunk(cap.records, nullptr, w(), &at, &gap, &c), 1);
  EXPECT_EQ(c.time_us, kTimeUnknown);
  EXPECT_EQ(c.count, 3);
}

TEST(TimelineChunks, ChunkCutByTheWrapAndDamagedMarkers) {
  auto data = [](uint8_t kind, uint8_t b) { return CaptureRecord{kind, 0, b, 0, 7, {0, 0, 0}}; };
  auto marker = [](uint8_t kind, char a, char b) {
    return CaptureRecord{kind, 0, static_cast<uint8_t>(a), static_cast<uint8_t>(b), 0, {0, 0, 0}};
  };
  const CaptureRecord r[] = {
      marker(kKindGapLow, '0', '3'),  // the end of a chunk the wrap cut off
      data(kKindRecvCh2, 1), data(kKindRecvCh2, 2),  // the rest of a chunk cut at record 0
      marker(kKindGapText, 't', '='), marker(kKindGapHigh, '0', '0'), marker(kKindGapLow, '1', '2'),
      data(kKindRecvCh1, 3),  // no markers: the next kind starts another chunk
      data(kKindSentCh1, 4),
      marker(kKindGapText, 't', '='), marker(kKindGapHigh, '0', 'x'), marker(kKindGapLow, '0', '0'),
      data(kKindSentCh1, 5),
      marker(kKindGapText, 't', '='),  // markers cut by the end of the records
  };
  const int64_t times[] = {0, 50, 50, 0, 0, 0, 60, 70, 0, 0, 0, 80, 0};
  const int32_t n = static_cast<int32_t>(sizeof r / sizeof r[0]);
  int32_t at = 0, gap = -1;
  TimelineChunk c;
  ASSERT_EQ(timeline_next_chunk(r, times, n, &at, &gap, &c), 1);
  EXPECT_EQ(c.first, 1);
  EXPECT_EQ(c.count, 2);
  EXPECT_EQ(c.time_us, 50);
  EXPECT_EQ(c.gap_tenths_before, -1);
  ASSERT_EQ(timeline_next_chunk(r, times, n, &at, &gap, &c), 1);
  EXPECT_EQ(c.first, 6);
  EXPECT_EQ(c.kind, kKindRecvCh1);
  EXPECT_EQ(c.gap_tenths_before, 12);
  ASSERT_EQ(timeline_next_chunk(r, times, n, &at, &gap, &c), 1);
  EXPECT_EQ(c.first, 7);
  EXPECT_EQ(c.gap_tenths_before, -1);  // no markers after the CH1 byte
  ASSERT_EQ(timeline_next_chunk(r, times, n, &at, &gap, &c), 1);
  EXPECT_EQ(c.first, 11);
  EXPECT_EQ(c.gap_tenths_before, -1);  // "0x00" is not a gap
  EXPECT_EQ(timeline_next_chunk(r, times, n, &at, &gap, &c), 0);
  EXPECT_EQ(at, n);
}

TEST_F(TimelineFixture, CsvOfTheWorkedCapture) {
  worked_capture();
  ASSERT_EQ(timeline_write_csv(cap.records, cap.times, w(), &sink), 0);
  EXPECT_EQ(out.text,
            "time_s,delta_s,channel,direction,bytes,hex,text\r\n"
            "0.000000,,CH1,TX,3,41 54 0D,\"AT.\"\r\n"
            "0.012345,0.012345,CH1,RX,2,4F 4B,\"OK\"\r\n"
            "1.512345,1.500000,CH2,RX,3,22 2C 00,\"\"\",.\"\r\n"
            ",0.2,CH2,TX,1,7F,\".\"\r\n");
}

TEST_F(TimelineFixture, CsvCountsFromTheFirstKnownTimeAndAllowsTimesOutOfOrder) {
  // A log saved before the capture kept its times in order may hold a
  // later chunk with an earlier time.
  ASSERT_EQ(capture_append(&cap, reinterpret_cast<const uint8_t*>("a"), 1, kKindRecvCh1, kTimeUnknown), 0);
  ASSERT_EQ(capture_append(&cap, reinterpret_cast<const uint8_t*>("b"), 1, kKindRecvCh2, 2'000'000), 0);
  ASSERT_EQ(capture_append(&cap, reinterpret_cast<const uint8_t*>("c"), 1, kKindRecvCh1, 2'000'000), 0);
  cap.times[8] = 1'999'990;
  ASSERT_EQ(timeline_write_csv(cap.records, cap.times, w(), &sink), 0);
  EXPECT_EQ(out.text,
            "time_s,delta_s,channel,direction,bytes,hex,text\r\n"
            ",,CH1,RX,1,61,\"a\"\r\n"
            "0.000000,0.0,CH2,RX,1,62,\"b\"\r\n"
            "-0.000010,-0.000010,CH1,RX,1,63,\"c\"\r\n");
  // Times that far apart do not fit an int64 difference and are written all the same.
  cap.times[4] = INT64_MAX;
  cap.times[8] = INT64_MIN + 1;
  out.text.clear();
  ASSERT_EQ(timeline_write_csv(cap.records, cap.times, w(), &sink), 0);
  EXPECT_NE(out.text.find("\r\n-18446744073709.551614,-18446744073709.551614,CH1"), std::string::npos) << out.text;
}

TEST_F(TimelineFixture, LongChunksGoOutInPiecesAndARefusedWriteStops) {
  std::vector<uint8_t> big(kCaptureMaxChunk);
  for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<uint8_t>(i);
  std::string hex, text;
  for (size_t i = 0; i < big.size(); i++) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", big[i]);
    hex += (i ? " " : "") + std::string(pair);
    char ch = big[i] >= 0x20 && big[i] <= 0x7E ? static_cast<char>(big[i]) : '.';
    text += ch;
    if (ch == '"') text += '"';
  }
  std::string want = "time_s,delta_s,channel,direction,bytes,hex,text\r\n";
  for (int c = 0; c < 10; c++) {
    append(kKindRecvCh1, big);
    want += std::string("0.000000,") + (c ? "0.000000" : "") + ",CH1,RX," + std::to_string(big.size()) + "," + hex +
            ",\"" + text + "\"\r\n";
  }
  ASSERT_EQ(timeline_write_csv(cap.records, cap.times, w(), &sink), 0);
  EXPECT_GT(out.calls, 3);
  EXPECT_EQ(out.text, want);
  // The sink refuses its second write: nothing after it is offered.
  Collect refusing;
  refusing.refuse_after = 1;
  ByteSink s{&refusing, collect_write};
  EXPECT_EQ(timeline_write_csv(cap.records, cap.times, w(), &s), 1);
  EXPECT_EQ(refusing.calls, 2);
  EXPECT_EQ(refusing.text.size(), 4096u);
  Collect first;
  first.refuse_after = 0;
  ByteSink s1{&first, collect_write};
  EXPECT_EQ(timeline_write_text(cap.records, cap.times, w(), &kUtc9600, &s1), 1);
  EXPECT_EQ(first.calls, 1);
}

int32_t nine_hours_east(int64_t) { return 540; }
// Daylight saving time from 2026-03-29 01:00 UTC: one hour east before, two after.
int32_t summer_from_march_29(int64_t wall_us) { return wall_us < 1'774'746'000'000'000 ? 60 : 120; }

TEST_F(TimelineFixture, TextOfTheWorkedCaptureWithABlankLineAtLongSilences) {
  worked_capture();
  // Wall clock 2026-12-08 13:08:04.123456 UTC at the first chunk.
  const int64_t offset = 1'796'735'284'123'456 - 10'000'000;
  TimelineTextClock clock = clock_at(offset);
  ASSERT_EQ(timeline_write_text(cap.records, cap.times, w(), &clock, &sink), 0);
  // 12.345 ms between the command and its answer less the answer's first
  // character (1.042 ms at 9600 baud) is still far above 4.010 ms; the
  // 200 ms of the gap digits count as a silence too.
  EXPECT_EQ(out.text,
            "2026-12-08 13:08:04.123456\r\n"
            "13:08:04.123456                CH1 TX      3  41 54 0D  AT.\r\n"
            "\r\n"
            "13:08:04.135801       +12.345  CH1 RX      2  4F 4B  OK\r\n"
            "\r\n"
            "13:08:05.635801     +1500.000  CH2 RX      3  22 2C 00  \",.\r\n"
            "\r\n"
            "--:--:--.------          +200  CH2 TX      1  7F  .\r\n");
  out.text.clear();
  clock = clock_at(offset, nine_hours_east);
  ASSERT_EQ(timeline_write_text(cap.records, cap.times, w(), &clock, &sink), 0);
  EXPECT_EQ(out.text.substr(0, 28 + 17), "2026-12-08 22:08:04.123456\r\n22:08:04.123456  ");
}

TEST_F(TimelineFixture, EachLineTakesTheZoneOfItsOwnInstant) {
  // 00:59:59 and 01:00:01 UTC on the day summer time begins.
  g_us = 1'774'745'999'000'000;
  append(kKindRecvCh1, {'a'});
  g_us += 2'000'000;
  append(kKindRecvCh1, {'b'});
  TimelineTextClock clock = clock_at(0, summer_from_march_29);
  ASSERT_EQ(timeline_write_text(cap.records, cap.times, w(), &clock, &sink), 0);
  EXPECT_EQ(out.text,
            "2026-03-29 01:59:59.000000\r\n"
            "01:59:59.000000                CH1 RX      1  61  a\r\n"
            "\r\n"
            "03:00:01.000000     +2000.000  CH1 RX      1  62  b\r\n");
}

TEST_F(TimelineFixture, EachChannelBreaksTextAtItsOwnSilence) {
  // CH1 at 9600 baud (4010 µs), CH2 at 115200 (1750 µs). The silence is
  // the time between two chunks less the line time of their bytes.
  const TimelineTextClock clock = {0, nullptr, {{9600, 100}, {115200, 100}}};
  g_us = 1'000'000;
  append(kKindSentCh1, {1});
  g_us += 3000;
  append(kKindRecvCh1, {2});  // 3 ms - 1.042 ms: no break
  g_us += 3000;
  append(kKindRecvCh2, {3});  // 3 ms - 0.087 ms: a break on CH2
  g_us += 6000;
  append(kKindRecvCh1, {4});  // 6 ms - 1.042 ms: a break on CH1
  ASSERT_EQ(timeline_write_text(cap.records, cap.times, w(), &clock, &sink), 0);
  EXPECT_EQ(out.text,
            "1970-01-01 00:00:01.000000\r\n"
            "00:00:01.000000                CH1 TX      1  01  .\r\n"
            "00:00:01.003000        +3.000  CH1 RX      1  02  .\r\n"
            "\r\n"
            "00:00:01.006000        +3.000  CH2 RX      1  03  .\r\n"
            "\r\n"
            "00:00:01.012000        +6.000  CH1 RX      1  04  .\r\n");
}

// A 245-byte answer at 9600 baud read in three chunks, each timed as its
// first byte was seen: one continuous frame on the line, so no silence
// inside it in the text, the statistics or the rule itself.
TEST_F(TimelineFixture, AContinuousAnswerCutIntoChunksHasNoSilenceInside) {
  const int64_t ch = line_chars_us(k9600[0], 1);
  EXPECT_EQ(ch, 1042);
  g_us = 1'000'000;
  append(kKindSentCh1, std::vector<uint8_t>(8, 0x01));
  const int64_t first_seen = 1'020'000;
  const int sizes[3] = {100, 100, 45};
  int64_t at = first_seen;
  for (int n : sizes) {
    g_us = at;
    append(kKindRecvCh1, std::vector<uint8_t>(static_cast<size_t>(n), 0x55));
    at += n * 100 * 100000 / 9600;  // the exact line time of n characters
  }
  TimelineTextClock clock = kUtc9600;
  ASSERT_EQ(timeline_write_text(cap.records, cap.times, w(), &clock, &sink), 0);
  size_t blank = 0;
  for (size_t p = out.text.find("\r\n\r\n"); p != std::string::npos; p = out.text.find("\r\n\r\n", p + 2)) blank++;
  EXPECT_EQ(blank, 1u) << out.text;  // only the one after the request
  std::unique_ptr<TimelineStats> stats{new TimelineStats()};
  timeline_stats(cap.records, cap.times, w(), 0, k9600, stats.get());
  EXPECT_EQ(stats->silences[kSilence100msTo1s], 0);
  EXPECT_EQ(stats->silences[kSilenceUnder1ms], 2);
  EXPECT_EQ(stats->silences[kSilence10to100ms], 1);
  int32_t pos = 0, gap = -1;
  TimelineChunk c[4];
  for (TimelineChunk& k : c) ASSERT_EQ(timeline_next_chunk(cap.records, cap.times, w(), &pos, &gap, &k), 1);
  EXPECT_EQ(timeline_silence_us(c[0], c[1], k9600), 20'000 - ch);
  EXPECT_LE(std::llabs(timeline_silence_us(c[1], c[2], k9600)), 1);
  EXPECT_EQ(timeline_chunk_end_us(c[0], k9600), 1'000'000);           // a send is timed as it ends
  EXPECT_EQ(timeline_chunk_start_us(c[0], k9600), 1'000'000 - 8'334);  // 8 characters, rounded up
  c[3].time_us = kTimeUnknown;
  EXPECT_EQ(timeline_silence_us(c[2], c[3], k9600), kTimeUnknown);
}

TEST(LineShape, FrameBitsFromTheChannelSettings) {
  const PortSettings p8n1 = {3, 9600, 8, 0, 0, 0}, p7e2 = {3, 19200, 7, 2, 2, 0}, p8o15 = {3, 1200, 8, 1, 1, 0};
  EXPECT_EQ(line_shape_of(&p8n1).tenth_bits, 100);
  EXPECT_EQ(line_shape_of(&p7e2).tenth_bits, 110);
  EXPECT_EQ(line_shape_of(&p8o15).tenth_bits, 115);
  EXPECT_EQ(line_chars_us(line_shape_of(&p8o15), 3), 28750);
  EXPECT_EQ(line_chars_us({0, 100}, 5), 0);
  EXPECT_EQ(line_chars_us({9600, 100}, -1), 0);
  EXPECT_GT(line_chars_us({1, 200}, INT64_MAX), 0);  // capped, never wraps
}

TEST_F(TimelineFixture, ExportChoosesCsvByTheNameAndPutsTheMarkBeforeTextOnly) {
  EXPECT_EQ(timeline_export_is_csv(u"C:\\q\\run.csv"), 1);
  EXPECT_EQ(timeline_export_is_csv(u"RUN.CSV"), 1);
  EXPECT_EQ(timeline_export_is_csv(u"run.csv.txt"), 0);
  EXPECT_EQ(timeline_export_is_csv(u"runcsv"), 0);
  EXPECT_EQ(timeline_export_is_csv(u"csv"), 0);
  EXPECT_EQ(timeline_export_is_csv(u""), 0);
  g_us = 5;
  append(kKindRecvCh1, {'A'});
  ASSERT_EQ(timeline_write_export(1, cap.records, cap.times, w(), &kUtc9600, &sink), 0);
  EXPECT_EQ(out.text.rfind("time_s,delta_s,", 0), 0u);
  out.text.clear();
  ASSERT_EQ(timeline_write_export(0, cap.records, cap.times, w(), &kUtc9600, &sink), 0);
  EXPECT_EQ(out.text.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(out.text.substr(3, 27), "1970-01-01 00:00:00.000005\r");
  // A sink that refuses the mark stops the text there.
  Collect refusing;
  refusing.refuse_after = 0;
  ByteSink s{&refusing, collect_write};
  EXPECT_EQ(timeline_write_export(0, cap.records, cap.times, w(), &kUtc9600, &s), 1);
  EXPECT_EQ(refusing.calls, 1);
}

TEST_F(TimelineFixture, TextWithoutAnyTimeOrRecords) {
  ASSERT_EQ(timeline_write_text(cap.records, cap.times, 0, &kUtc9600, &sink), 0);
  EXPECT_EQ(out.text, "-\r\n");
  cap.micros = nullptr;
  append(kKindRecvCh1, {'h', 'i'});
  out.text.clear();
  ASSERT_EQ(timeline_write_text(cap.records, cap.times, w(), &kUtc9600, &sink), 0);
  EXPECT_EQ(out.text, "-\r\n--:--:--.------                CH1 RX      2  68 69  hi\r\n");
}

// A polled device on CH1 (one answer in two reads, one request repeated
// before its answer came), then CH2 data.
struct StatsFixture : TimelineFixture {
  std::unique_ptr<TimelineStats> stats{new TimelineStats()};
  void at(int64_t us, uint8_t kind, int n) {
    g_us = us;
    append(kind, std::vector<uint8_t>(static_cast<size_t>(n), 0x30));
  }
  void polled_device() {
    at(0, kKindSentCh1, 2);
    at(2'000, kKindRecvCh1, 3);
    at(100'000, kKindSentCh1, 2);
    at(105'000, kKindRecvCh1, 3);
    at(106'000, kKindRecvCh1, 3);  // the rest of that answer
    at(1'200'000, kKindSentCh1, 2);
    at(1'300'000, kKindSentCh1, 2);  // sent again before any answer
    at(1'300'500, kKindRecvCh1, 3);
    at(3'000'000, kKindRecvCh2, 5);
  }
};

TEST_F(StatsFixture, StreamsSilencesAndLatencies) {
  polled_device();
  timeline_stats(cap.records, cap.times, w(), 0, k9600, stats.get());
  const TimelineStream& tx1 = stats->streams[kKindSentCh1 - 1];
  EXPECT_EQ(tx1.chunks, 4);
  EXPECT_EQ(tx1.bytes, 8);
  EXPECT_EQ(tx1.first_us, 0);
  EXPECT_EQ(tx1.last_us, 1'300'000);
  EXPECT_DOUBLE_EQ(tx1.rate, 6 / 1.3);
  const TimelineStream& rx1 = stats->streams[kKindRecvCh1 - 1];
  EXPECT_EQ(rx1.chunks, 4);
  EXPECT_EQ(rx1.bytes, 12);
  EXPECT_DOUBLE_EQ(rx1.rate, 9 / 1.2985);
  const TimelineStream& rx2 = stats->streams[kKindRecvCh2 - 1];
  EXPECT_EQ(rx2.chunks, 1);
  EXPECT_EQ(rx2.bytes, 5);
  EXPECT_EQ(rx2.rate, -1);  // one time spans nothing
  const TimelineStream& tx2 = stats->streams[kKindSentCh2 - 1];
  EXPECT_EQ(tx2.chunks, 0);
  EXPECT_EQ(tx2.first_us, kTimeUnknown);
  EXPECT_EQ(tx2.rate, -1);
  // Between the chunks' times less their bytes on the line at 9600 baud
  // (1.042 ms a character): 0.958, 93.8, 3.958, -2.084 (the rest of an
  // answer), 1089.8, 97.9, -0.542 and 1696.4 ms.
  const int64_t silences[kSilenceClasses] = {3, 1, 2, 0, 2};
  for (int i = 0; i < kSilenceClasses; i++) EXPECT_EQ(stats->silences[i], silences[i]) << i;
  // 2 ms, 5 ms, and 0.5 ms from the repeated request; CH2 data answers nothing.
  EXPECT_EQ(stats->latency_count, 3);
  EXPECT_EQ(stats->latency_kept, 3);
  EXPECT_EQ(stats->latency_min, 500);
  EXPECT_EQ(stats->latency_median, 2'000);
  EXPECT_EQ(stats->latency_p95, 5'000);
  EXPECT_EQ(stats->latency_max, 5'000);
}

TEST_F(StatsFixture, LineMonitorTimesCh2DataFromTheLatestCh1Data) {
  polled_device();
  at(3'000'100, kKindRecvCh2, 1);  // more CH2 data: no request waits
  at(3'500'000, kKindRecvCh1, 4);
  at(3'520'000, kKindRecvCh2, 4);
  timeline_stats(cap.records, cap.times, w(), 1, k9600, stats.get());
  EXPECT_EQ(stats->latency_count, 2);
  EXPECT_EQ(stats->latency_min, 20'000);
  EXPECT_EQ(stats->latency_max, 1'699'500);
  EXPECT_EQ(stats->latency_median, 20'000);
}

TEST_F(StatsFixture, OutagesCountAndNoRequestIsAnsweredAcrossOne) {
  at(0, kKindSentCh1, 2);
  capture_add_event(&cap, kEventLost, 1, 3, 22);    // CH1's request is lost with its line
  at(1'000, kKindSentCh2, 2);
  capture_add_event(&cap, kEventSettings, 2, 4, 9600);  // a new speed breaks nothing
  at(3'000, kKindRecvCh2, 2);                       // answers CH2: 2 ms
  capture_add_event(&cap, kEventBack, 1, 3, 2'500);
  at(3'500'000, kKindRecvCh1, 4);                   // after the outage: no answer to the old request
  at(3'600'000, kKindSentCh1, 2);
  at(3'605'000, kKindRecvCh1, 2);                   // 5 ms
  capture_add_event(&cap, kEventLost, 1, 3, 0);     // still away at the end
  LineEvent events[kCaptureEvents];
  int64_t base = 0;
  const int32_t n = capture_copy_events(&cap, events, &base);
  timeline_stats(cap.records, cap.times, w(), 0, k9600, stats.get(), events, n, base);
  EXPECT_EQ(stats->outages, 2);
  EXPECT_EQ(stats->outage_ms, 2'500);
  EXPECT_EQ(stats->latency_count, 2);
  EXPECT_EQ(stats->latency_min, 2'000);
  EXPECT_EQ(stats->latency_max, 5'000);
  // A line monitor pairs CH1 with CH2: a break on either channel ends it.
  timeline_stats(cap.records, cap.times, w(), 1, k9600, stats.get(), events, n, base);
  EXPECT_EQ(stats->latency_count, 0);
  // Without the events, the old request takes the answer after the outage.
  timeline_stats(cap.records, cap.times, w(), 0, k9600, stats.get());
  EXPECT_EQ(stats->latency_count, 3);
  EXPECT_EQ(stats->outages, 0);
}

TEST_F(StatsFixture, UnknownTimesCountOnlyAsChunksAndBytes) {
  at(0, kKindSentCh2, 2);
  ASSERT_EQ(capture_append(&cap, reinterpret_cast<const uint8_t*>("ab"), 2, kKindRecvCh2, kTimeUnknown), 0);
  at(50'000, kKindSentCh2, 2);
  at(50'000, kKindRecvCh2, 2);  // within the same microsecond: no span for a rate
  timeline_stats(cap.records, cap.times, w(), 0, k9600, stats.get());
  EXPECT_EQ(stats->streams[kKindRecvCh2 - 1].chunks, 2);
  EXPECT_EQ(stats->streams[kKindRecvCh2 - 1].bytes, 4);
  EXPECT_EQ(stats->streams[kKindRecvCh2 - 1].rate, -1);
  EXPECT_DOUBLE_EQ(stats->streams[kKindSentCh2 - 1].rate, 2 / 0.05);
  // Only the last two chunks both have times; the unknown answer ends the
  // first request without a latency.
  EXPECT_EQ(stats->silences[kSilenceUnder1ms], 1);
  EXPECT_EQ(stats->silences[kSilence10to100ms], 0);
  EXPECT_EQ(stats->latency_count, 1);
  EXPECT_EQ(stats->latency_min, 0);
  // An empty capture: nothing at all.
  timeline_stats(cap.records, cap.times, 0, 0, k9600, stats.get());
  EXPECT_EQ(stats->streams[kKindSentCh2 - 1].chunks, 0);
  EXPECT_EQ(stats->silences[kSilenceUnder1ms], 0);
  EXPECT_EQ(stats->latency_count, 0);
  EXPECT_EQ(stats->latency_median, kTimeUnknown);
}

TEST_F(StatsFixture, LatenciesBeyondTheKeptOnesStillCountInMinAndMax) {
  // 5000 requests, answered after 5000 µs down to 1 µs.
  for (int i = 0; i < 5000; i++) {
    at(int64_t{i} * 10'000, kKindSentCh1, 1);
    at(int64_t{i} * 10'000 + 5000 - i, kKindRecvCh1, 1);
  }
  timeline_stats(cap.records, cap.times, w(), 0, k9600, stats.get());
  EXPECT_EQ(stats->latency_count, 5000);
  EXPECT_EQ(stats->latency_kept, kTimelineLatencyKept);
  EXPECT_EQ(stats->latency_min, 1);
  EXPECT_EQ(stats->latency_max, 5000);
  // The kept ones are the first 4096: 5000 down to 905.
  EXPECT_EQ(stats->latencies[0], 905);
  EXPECT_EQ(stats->latency_median, 905 + 2047);
  EXPECT_EQ(stats->latency_p95, 905 + 3891);
}

TEST(TimelineWall, CalendarDatesAndLimits) {
  struct Case {
    int64_t us;
    int32_t zone;
    const char* want;
  } cases[] = {
      {0, 0, "1970-01-01 00:00:00.000000"},
      {-1, 0, "1969-12-31 23:59:59.999999"},
      {1'709'251'199'000'001, 0, "2024-02-29 23:59:59.000001"},
      {1'709'251'199'000'001, 1, "2024-03-01 00:00:59.000001"},
      {0, -330, "1969-12-31 18:30:00.000000"},
      {-62'135'596'800'000'000, 0, "0001-01-01 00:00:00.000000"},
      {253'402'300'799'999'999, 0, "9999-12-31 23:59:59.999999"},
  };
  for (const Case& c : cases) {
    char out[32];
    EXPECT_EQ(timeline_format_wall(c.us, c.zone, out), 0) << c.want;
    EXPECT_STREQ(out, c.want);
  }
  char out[32];
  EXPECT_EQ(timeline_format_wall(-62'135'596'800'000'001, 0, out), 1);
  EXPECT_STREQ(out, "-");
  EXPECT_EQ(timeline_format_wall(253'402'300'799'999'999, 1, out), 1);
  EXPECT_EQ(timeline_format_wall(INT64_MIN, 0, out), 1);
  EXPECT_EQ(timeline_format_wall(INT64_MAX, 0, out), 1);
  EXPECT_EQ(timeline_format_wall(0, 1441, out), 1);
}

TEST(TimelineModbus, SilenceOfThreeAndAHalfCharacters) {
  EXPECT_EQ(timeline_modbus_silence_us(1200), 32083);
  EXPECT_EQ(timeline_modbus_silence_us(9600), 4010);
  EXPECT_EQ(timeline_modbus_silence_us(19200), 2005);
  EXPECT_EQ(timeline_modbus_silence_us(22000), 1750);
  EXPECT_EQ(timeline_modbus_silence_us(115200), 1750);
  EXPECT_EQ(timeline_modbus_silence_us(0), 1750);
  EXPECT_EQ(timeline_modbus_silence_us(-9600), 1750);
}

}  // namespace
