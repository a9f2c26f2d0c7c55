#include "view/cell_tip.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "settings/message_text.h"
#include "view/data_view.h"

namespace {

// Cell 20 px wide; strip 12 + 2 * 16 + 5 = 49 px, row pitch 101 px. Row k
// spans k * 101 + 27 to k * 101 + 127; within it, from k * 101: READ: strip
// 28 .. 73, marker line 73 .. 88, SEND: strip 77 .. 122, separator 125, 126.
const ViewMetrics kMetrics = {12, 10, 16, 40};
const LineShape kShape9600[2] = {{9600, 100}, {9600, 100}};

int64_t g_us = 0;
uint32_t fake_tick() { return static_cast<uint32_t>(g_us / 1000); }
int64_t fake_micros() { return g_us; }

struct CellTipFixture : ::testing::Test {
  Capture cap;
  std::unique_ptr<ViewCellMap> map = std::make_unique<ViewCellMap>();
  void SetUp() override {
    g_us = 10'000'000;
    cap.tick = fake_tick;
    cap.micros = fake_micros;
    ASSERT_EQ(capture_allocate(&cap), 0);
    capture_clear(&cap);
  }
  void TearDown() override { capture_free(&cap); }
  void append(uint8_t kind, const std::string& bytes, int64_t time) {
    ASSERT_EQ(capture_append(&cap, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()),
                             kind, time),
              0);
  }
  void append(uint8_t kind, const std::string& bytes) { append(kind, bytes, capture_now_us(&cap)); }
  int32_t w() { return capture_write_position(&cap); }
  // Records laid out from the top left as a full repaint draws them.
  void map_page(int32_t n, int32_t rows, int32_t first, int32_t lm_mode) {
    view_map_reset(map.get(), n, rows);
    int32_t d = 0;
    for (int32_t i = first; i < w() && d < n * rows; i++) {
      if (cell_place(cap.records[i].kind, lm_mode) == kPlaceHidden) continue;
      view_map_put(map.get(), d / n, d % n, i);
      d++;
    }
  }
  int32_t hit(int32_t x, int32_t y, int32_t lm_mode = 0) {
    return view_hit_record(map.get(), kMetrics, cap.records, w(), lm_mode, x, y);
  }
  CellInfo info(int32_t index, int32_t latest = -1) {
    CellInfo out{};
    EXPECT_EQ(cell_info(cap.records, cap.times, w(), latest, index, kShape9600, &out), 0) << index;
    return out;
  }
  // A loaded log: records of the given kinds, every time unknown.
  void load(const std::vector<uint8_t>& kinds) {
    std::vector<uint8_t> data(kinds.size() * kCaptureRecordSize, 0);
    for (size_t i = 0; i < kinds.size(); i++) {
      data[i * kCaptureRecordSize] = kinds[i];
      data[i * kCaptureRecordSize + 2] = kinds[i] >= kKindGapText ? '0' : 'x';
      data[i * kCaptureRecordSize + 3] = '0';
    }
    ASSERT_EQ(capture_replace(&cap, data.data(), static_cast<int32_t>(kinds.size())), 0);
  }
};

// Every line fills exactly the fields its message text has: a mismatch
// would leave a field unformatted or print an empty one.
void expect_fields_filled(const CellTipLine* lines, int n) {
  for (int i = 0; i < n; i++) {
    int fields = 0;
    for (const char* f = message_fields(lines[i].text); *f; f++)
      if (*f == 's') fields++;
    for (int k = 0; k < 3; k++) EXPECT_EQ(lines[i].args[k][0] != 0, k < fields) << "line " << i << " field " << k;
  }
}

TEST_F(CellTipFixture, HitTestFindsTheRecordDrawnUnderThePoint) {
  append(kKindRecvCh1, "AB");  // 0, 1; markers 2 .. 4
  append(kKindSentCh1, "C");   // 5; markers 6 .. 8
  map_page(4, 2, 0, 0);        // row 0: 0 1 2 3, row 1: 4 5 6 7
  struct Point {
    int32_t x, y, record;
  } points[] = {
      {45, 40, 0},     // READ: strip of column 0
      {40, 28, 0},     // its top left pixel
      {39, 40, -1},    // the margin with the labels
      {59, 73, 0},     // last pixel of column 0's READ: strip
      {60, 40, 1},     // first pixel of column 1
      {65, 74, -1},    // below the READ: strip: nothing is drawn there for a received byte
      {65, 100, -1},   // SEND: strip of a received byte's cell
      {65, 27, -1},    // above the index line
      {85, 80, 2},     // the "t=" marker on the marker line
      {85, 40, -1},    // a marker cell's READ: strip
      {85, 89, -1},    // below the marker line
      {105, 73, 3},    // first gap digits, top pixel of the marker line
      {65, 101 + 90, 5},   // the sent byte in row 1's SEND: strip
      {65, 101 + 122, 5},  // its last line
      {65, 101 + 123, -1}, // below it
      {65, 101 + 125, -1}, // the separator
      {65, 101 + 40, -1},  // row 1's READ: strip above a sent byte
      {120, 40, -1},   // right of the last column
      {45, 202 + 40, -1},  // below the last row
      {45, 26, -1},        // the toolbar's strip above row 0
      {-5, -5, -1},
  };
  for (const Point& p : points) EXPECT_EQ(hit(p.x, p.y), p.record) << p.x << "," << p.y;
}

TEST_F(CellTipFixture, HitTestHonoursLineMonitorLayoutAndTheWritePosition) {
  append(kKindRecvCh1, "A");  // 0; markers 1 .. 3
  append(kKindSentCh1, "Z");  // 4, hidden in line monitor mode; markers 5 .. 7
  append(kKindRecvCh2, "B");  // 8; markers 9 .. 11
  map_page(8, 2, 0, 1);       // row 0: 0 1 2 3 5 6 7 8, row 1: 9 10 11
  EXPECT_EQ(hit(40 + 7 * 20 + 5, 100, 1), 8) << "CH2 received in the lower strip";
  EXPECT_EQ(hit(40 + 7 * 20 + 5, 40, 1), -1);
  EXPECT_EQ(hit(40 + 4 * 20 + 5, 80, 1), 5) << "the hidden send takes no cell";
  // Outside line monitor mode CH2 received goes up.
  map_page(12, 1, 0, 0);
  EXPECT_EQ(hit(40 + 8 * 20 + 5, 40), 8);
  EXPECT_EQ(hit(40 + 4 * 20 + 5, 100), 4);
  // A cell still showing a record the buffer no longer holds (cleared and
  // refilled shorter, before the next repaint) names nothing.
  capture_clear(&cap);
  append(kKindRecvCh1, "Q");
  EXPECT_EQ(hit(40 + 8 * 20 + 5, 40), -1);
  EXPECT_EQ(hit(45, 40), 0);
}

TEST_F(CellTipFixture, MapFollowsTheWrappingPainterAndBufferWraps) {
  for (int i = 0; i < 5; i++) append(kKindRecvCh1, "k");  // data at 0, 4, 8, 12, 16
  view_map_reset(map.get(), 2, 2);
  view_map_put(map.get(), 0, 0, 0);
  view_map_put(map.get(), 0, 1, 4);
  view_map_put(map.get(), 1, 0, 8);
  view_map_put(map.get(), 1, 1, 12);
  view_map_put(map.get(), 1, 2, 99);  // the cursor's column past the last: not a cell
  // The painter wraps to row 0, clears it and draws the next record there.
  view_map_clear_row(map.get(), 0);
  view_map_put(map.get(), 0, 0, 16);
  EXPECT_EQ(hit(45, 40), 16);
  EXPECT_EQ(hit(65, 40), -1) << "cleared with its row";
  EXPECT_EQ(hit(45, 101 + 40), 8);
  EXPECT_EQ(hit(65, 101 + 40), 12);
  // A wrap of the buffer moved the records 8 places down.
  view_map_shift(map.get(), 8);
  EXPECT_EQ(map->record[0], 8);
  EXPECT_EQ(map->record[2], 0);
  EXPECT_EQ(map->record[3], 4);
  // The rows that show a marked run, and none for records off the screen.
  int32_t top = 0, bottom = 0;
  ASSERT_EQ(view_map_rows_of(map.get(), 4, 9, &top, &bottom), 1);
  EXPECT_EQ(top, 0);
  EXPECT_EQ(bottom, 1);
  EXPECT_EQ(view_map_rows_of(map.get(), 20, 30, &top, &bottom), 0);
  // No grid: nothing is ever hit.
  view_map_reset(map.get(), 0, 3);
  EXPECT_EQ(hit(45, 40), -1);
  EXPECT_EQ(view_map_rows_of(map.get(), 0, 99, &top, &bottom), 0);
}

TEST_F(CellTipFixture, DataCellsKnowTheirChunkTimeAndSilence) {
  append(kKindSentCh1, "ABC");  // 0 .. 2 at 10 s; markers 3 .. 5
  g_us += 250'000;
  append(kKindRecvCh1, "xy");   // 6, 7 at 10.25 s; markers 8 .. 10
  g_us += 12'345;
  append(kKindRecvCh1, "z");    // 11 at 10.262345 s; markers 12 .. 14

  CellInfo a = info(2);
  EXPECT_EQ(a.kind, kKindSentCh1);
  EXPECT_EQ(a.byte, 'C');
  EXPECT_EQ(a.chunk_first, 0);
  EXPECT_EQ(a.in_chunk, 2);
  EXPECT_EQ(a.time_us, 10'000'000);
  EXPECT_EQ(a.since_first_us, 0);
  EXPECT_EQ(a.silence, kSilenceFirst);

  CellInfo y = info(7);
  EXPECT_EQ(y.chunk_first, 6);
  EXPECT_EQ(y.in_chunk, 1);
  EXPECT_EQ(y.since_first_us, 250'000);
  EXPECT_EQ(y.silence, kSilenceTimes);
  EXPECT_EQ(y.silence_us, 250'000 - 1'042);  // less its first character at 9600 baud

  CellInfo z = info(11);
  EXPECT_EQ(z.chunk_first, 11);
  EXPECT_EQ(z.in_chunk, 0);
  EXPECT_EQ(z.silence_us, 10'261) << "split from the chunk of the same kind by its markers";
}

TEST_F(CellTipFixture, UnknownTimesFallBackToTheGapDigits) {
  append(kKindRecvCh2, "ab", kTimeUnknown);  // 0, 1; markers 2 .. 4
  g_us += 1'234'000;
  append(kKindSentCh2, "c");                 // 5, timed; gap digits 0012 before it
  g_us += 300'000;
  append(kKindRecvCh2, "d", kTimeUnknown);   // 9; gap digits 0003 before it

  CellInfo a = info(1);
  EXPECT_EQ(a.time_us, kTimeUnknown);
  EXPECT_EQ(a.silence, kSilenceFirst);
  CellInfo c = info(5);
  EXPECT_EQ(c.since_first_us, 0) << "the first chunk with a known time is this one";
  EXPECT_EQ(c.silence, kSilenceDigits) << "the chunk before has no time";
  EXPECT_EQ(c.silence_tenths, 12);
  CellInfo d = info(9);
  EXPECT_EQ(d.silence, kSilenceDigits);
  EXPECT_EQ(d.silence_tenths, 3);
  // No times at all.
  CellInfo none{};
  ASSERT_EQ(cell_info(cap.records, nullptr, w(), -1, 5, kShape9600, &none), 0);
  EXPECT_EQ(none.time_us, kTimeUnknown);
  EXPECT_EQ(none.silence, kSilenceDigits);
}

TEST_F(CellTipFixture, TimesOutOfOrderGiveANegativeSilence) {
  // As a log saved before the capture kept its times in order may hold them.
  append(kKindRecvCh1, "a", 5'000'000);
  append(kKindRecvCh2, "b", 5'000'000);
  cap.times[4] = 3'500'000;
  CellInfo b = info(4);
  EXPECT_EQ(b.silence, kSilenceTimes);
  EXPECT_EQ(b.silence_us, -1'501'042);
  EXPECT_EQ(b.since_first_us, -1'500'000);
  CellTipLine lines[kCellTipLines];
  ASSERT_EQ(cell_tip_lines(b, 0, 0, lines), 4);
  EXPECT_STREQ(lines[1].args[1], "-1.500000");
  EXPECT_STREQ(lines[2].args[0], "-1501.042");
}

TEST_F(CellTipFixture, IndexCountsPastTheWrappedPositionInRunsOfAnyLength) {
  append(kKindSentCh2, std::string(300, 'w'));
  EXPECT_EQ(cap.records[299].position, 43);
  EXPECT_EQ(info(299).in_chunk, 299);
  EXPECT_EQ(info(299).chunk_first, 0);

  // A loaded log's run of one kind longer than any chunk the program makes.
  const int32_t long_run = 70000;
  std::vector<uint8_t> kinds(long_run, kKindRecvCh1);
  kinds.insert(kinds.begin(), {kKindSentCh1, kKindGapText, kKindGapHigh, kKindGapLow});
  load(kinds);
  const int32_t run = 4;
  CellInfo last = info(run + long_run - 1);
  EXPECT_EQ(last.chunk_first, run);
  EXPECT_EQ(last.in_chunk, long_run - 1);
  EXPECT_EQ(last.silence, kSilenceDigits);
  EXPECT_EQ(last.silence_tenths, 0);
  CellTipLine lines[kCellTipLines];
  ASSERT_EQ(cell_tip_lines(last, 0, 0, lines), 4);
  EXPECT_EQ(lines[0].text, kTextTipByteOfChunk);
  EXPECT_STREQ(lines[0].args[1], "69999");
}

TEST_F(CellTipFixture, MarkerCellsTellTheSilenceAfterTheirChunk) {
  append(kKindRecvCh1, "ab");  // markers 2 .. 4
  g_us += 700'000;
  append(kKindSentCh1, "c");   // 5; markers 6 .. 8, the latest
  g_us += 400'000;
  capture_refresh_gap(&cap);
  for (int32_t i = 2; i <= 4; i++) {
    CellInfo m = info(i);
    EXPECT_EQ(m.chunk_kind, kKindRecvCh1) << i;
    EXPECT_EQ(m.gap_tenths, 7) << i;
    EXPECT_EQ(m.gap_latest, 0) << i;
  }
  CellInfo latest = info(8, cap.last_marker_index.load());
  EXPECT_EQ(latest.chunk_kind, kKindSentCh1);
  EXPECT_EQ(latest.gap_tenths, 4);
  EXPECT_EQ(latest.gap_latest, 1);
  EXPECT_EQ(info(8, -1).gap_latest, 0) << "no port open: the digits stand";

  CellTipLine lines[kCellTipLines];
  ASSERT_EQ(cell_tip_lines(info(3), 0, 0, lines), 2);
  EXPECT_EQ(lines[0].text, kTextTipGapMarker);
  EXPECT_STREQ(lines[0].args[0], "CH1 RX");
  EXPECT_EQ(lines[1].text, kTextTipGapSilence);
  EXPECT_STREQ(lines[1].args[0], "0.7");
  expect_fields_filled(lines, 2);
  ASSERT_EQ(cell_tip_lines(latest, 0, 0, lines), 2);
  EXPECT_EQ(lines[1].text, kTextTipGapCounting);
  EXPECT_STREQ(lines[1].args[0], "0.4");
}

TEST_F(CellTipFixture, DamagedLogsGiveMarkersWithoutChunkOrDigits) {
  load({kKindGapText, kKindGapHigh, kKindGapLow, kKindRecvCh1, kKindGapHigh, 0});
  cap.records[1].data = 'x';  // not a digit
  CellInfo orphan = info(1);
  EXPECT_EQ(orphan.chunk_kind, 0);
  EXPECT_EQ(orphan.gap_tenths, -1);
  CellTipLine lines[kCellTipLines];
  ASSERT_EQ(cell_tip_lines(orphan, 0, 0, lines), 2);
  EXPECT_EQ(lines[0].text, kTextTipGapOrphan);
  EXPECT_EQ(lines[1].text, kTextTipGapUnknown);
  expect_fields_filled(lines, 2);
  CellInfo lone = info(4);  // a digits marker without its "t=" before it
  EXPECT_EQ(lone.chunk_kind, kKindRecvCh1);
  EXPECT_EQ(lone.gap_tenths, -1);
  // The data record right after damaged markers: its chunk has no digits before it.
  CellInfo data = info(3);
  EXPECT_EQ(data.silence, kSilenceFirst);
  CellInfo out{};
  EXPECT_EQ(cell_info(cap.records, cap.times, w(), -1, 5, kShape9600, &out), 1) << "kind 0 is no cell to explain";
  EXPECT_EQ(cell_info(cap.records, cap.times, w(), -1, 6, kShape9600, &out), 1) << "at the write position";
  EXPECT_EQ(cell_info(cap.records, cap.times, w(), -1, -1, kShape9600, &out), 1);
}

TEST_F(CellTipFixture, LinesSayTimeOfDayInTheZoneSilenceAndTheByte) {
  append(kKindRecvCh1, "\x0D");
  g_us += 250'000;
  append(kKindRecvCh1, "B\x20\x7F\xC8");
  // 10.25 s on the clock is 2026-12-08 14:42:01.123456 UTC.
  const int64_t offset = INT64_C(1796740921123456) - 10'250'000;
  CellTipLine lines[kCellTipLines];
  ASSERT_EQ(cell_tip_lines(info(4), offset, 9 * 60, lines), 4);
  EXPECT_EQ(lines[0].text, kTextTipByteOfChunk);
  EXPECT_STREQ(lines[0].args[0], "CH1 RX");
  EXPECT_STREQ(lines[0].args[1], "0");
  EXPECT_EQ(lines[1].text, kTextTipTime);
  EXPECT_STREQ(lines[1].args[0], "23:42:01.123456");
  EXPECT_STREQ(lines[1].args[1], "0.250000");
  EXPECT_EQ(lines[2].text, kTextTipSilence);
  EXPECT_STREQ(lines[2].args[0], "248.958");
  EXPECT_EQ(lines[3].text, kTextTipByte);
  EXPECT_STREQ(lines[3].args[0], "42");
  EXPECT_STREQ(lines[3].args[1], "66");
  EXPECT_STREQ(lines[3].args[2], "B");
  expect_fields_filled(lines, 4);

  const struct {
    int32_t index;
    const char *hex, *dec, *shown;
  } bytes[] = {{0, "0D", "13", "CR"}, {5, "20", "32", "SP"}, {6, "7F", "127", "DL"}, {7, "C8", "200", "."}};
  for (const auto& b : bytes) {
    ASSERT_EQ(cell_tip_lines(info(b.index), offset, 0, lines), 4);
    EXPECT_STREQ(lines[3].args[0], b.hex);
    EXPECT_STREQ(lines[3].args[1], b.dec);
    EXPECT_STREQ(lines[3].args[2], b.shown);
  }
  ASSERT_EQ(cell_tip_lines(info(0), offset, 0, lines), 4);
  EXPECT_STREQ(lines[1].args[0], "14:42:00.873456") << "UTC";
  EXPECT_EQ(lines[2].text, kTextTipSilenceFirst);
  expect_fields_filled(lines, 4);
}

TEST_F(CellTipFixture, LinesWithoutTimesSayUnknownAndUseTheDigits) {
  append(kKindSentCh1, "aa", kTimeUnknown);
  g_us += 1'000'000;
  append(kKindSentCh1, "b", kTimeUnknown);
  CellTipLine lines[kCellTipLines];
  ASSERT_EQ(cell_tip_lines(info(5), 0, 0, lines), 4);
  EXPECT_EQ(lines[1].text, kTextTipTimeUnknown);
  EXPECT_EQ(lines[2].text, kTextTipSilenceDigits);
  EXPECT_STREQ(lines[2].args[0], "1000");
  expect_fields_filled(lines, 4);
  // A time no calendar holds is unknown too.
  CellInfo far = info(5);
  far.time_us = INT64_MAX - 5;
  ASSERT_EQ(cell_tip_lines(far, INT64_MAX, 0, lines), 4);
  EXPECT_EQ(lines[1].text, kTextTipTimeUnknown);
}

}  // namespace

TEST_F(CellTipFixture, EventsStandAtTheCellTheyComeBeforeEvenPastHiddenRecords) {
  append(kKindRecvCh1, "A");                          // 0; markers 1 .. 3
  capture_add_event(&cap, kEventLost, 1, 3, 22);      // before 4
  append(kKindSentCh1, "Z");                          // 4, hidden in line monitor mode; markers 5 .. 7
  capture_add_event(&cap, kEventBack, 1, 3, 3000);    // before 8
  capture_add_event(&cap, kEventSettings, 1, 3, 9600);
  append(kKindRecvCh1, "B");                          // 8; markers 9 .. 11
  capture_add_event(&cap, kEventClosed, 1, 3, 0);     // at the end: before record 12, not there yet
  LineEvent events[kCaptureEvents];
  int64_t base = 0;
  const int32_t n = capture_copy_events(&cap, events, &base);
  ASSERT_EQ(n, 4);
  int32_t first = -1;
  // Line monitor mode: the cell before record 5 shows record 3.
  EXPECT_EQ(view_events_at(events, n, base, 3, 5, &first), 1);
  EXPECT_EQ(events[first].kind, kEventLost);
  // Every record shown: the lost event stands at record 4 alone.
  EXPECT_EQ(view_events_at(events, n, base, 3, 4, &first), 1);
  EXPECT_EQ(view_events_at(events, n, base, 4, 5, &first), 0);
  EXPECT_EQ(view_events_at(events, n, base, -1, 8, &first), 2);
  EXPECT_EQ(events[first].kind, kEventBack);
  EXPECT_EQ(view_events_at(events, n, base, 11, 12, &first), 1);  // the end cell
  EXPECT_EQ(events[first].kind, kEventClosed);
  // After a clear, places go on from the new record 0.
  capture_clear(&cap);
  append(kKindRecvCh1, "C");
  capture_add_event(&cap, kEventOpened, 2, 4, 0);
  EXPECT_EQ(capture_copy_events(&cap, events, &base), 1);
  EXPECT_EQ(view_events_at(events, 1, base, 3, 4, &first), 1);
  EXPECT_EQ(view_events_at(events, 1, base, 2, 3, &first), 0);
}

TEST_F(CellTipFixture, EventHitTestFindsTheCellEdgeAndTheEndCell) {
  append(kKindRecvCh1, "AB");  // 0, 1; markers 2 .. 4
  append(kKindRecvCh1, "C");   // 5; markers 6 .. 8
  map_page(4, 3, 0, 0);        // row 0: 0 1 2 3, row 1: 4 5 6 7, row 2: 8; the end cell is (2, 1)
  struct Point {
    int32_t x, y, index, prev;
  } points[] = {
      {60, 40, 1, 0},           // the edge between columns 0 and 1
      {57, 100, 1, 0},          // 3 px left of it, in the SEND: strip
      {63, 40, 1, 0},           // 3 px right of it
      {64, 40, -1, 0},          // 4 px right: the cell itself
      {56, 40, -1, 0},
      {60, 27, -1, 0},          // above the index line
      {40, 40, 0, -1},          // column 0: nothing before it on the screen
      {40, 101 + 40, 4, 3},     // row 1 column 0: the row above's last cell before it
      {60, 202 + 40, 9, 8},     // the end cell: the next record's place
      {80, 202 + 40, -1, 0},    // past the end cell
      {120, 40, -1, 0},         // the right edge of the last column of row 0 has no cell after it
  };
  for (const Point& p : points) {
    int32_t prev = -2;
    EXPECT_EQ(view_hit_edge(map.get(), kMetrics, w(), 2, 1, p.x, p.y, &prev), p.index) << p.x << "," << p.y;
    if (p.index >= 0) EXPECT_EQ(prev, p.prev) << p.x << "," << p.y;
  }
  // The painter's cursor at the end of a full row stands in column N.
  view_map_reset(map.get(), 3, 1);
  for (int32_t c = 0; c < 3; c++) view_map_put(map.get(), 0, c, c);
  int32_t prev = -2;
  EXPECT_EQ(view_hit_edge(map.get(), kMetrics, 3, 0, 3, 100, 40, &prev), 3);
  EXPECT_EQ(prev, 2);
}

TEST_F(CellTipFixture, EventLinesSayWhatHappenedAndWhen) {
  // 10 s on the clock is 2026-12-08 14:42:01.123456 UTC.
  const int64_t offset = INT64_C(1796740921123456) - 10'000'000;
  const LineEvent events[] = {
      {0, 10'000'000, kEventLost, 1, 3, 22},    {0, 10'000'000, kEventLost, 2, 12, 0},
      {0, 13'000'000, kEventBack, 1, 7, 3250},  {0, kTimeUnknown, kEventSettings, 2, 4, 115200},
      {0, 13'000'000, kEventOpened, 1, 3, 0},   {0, 13'000'000, kEventCleared, 0, 0, 0},
  };
  CellTipLine lines[kCellTipLines];
  ASSERT_EQ(event_tip_lines(events, 6, offset, 0, lines), kCellTipLines);
  expect_fields_filled(lines, kCellTipLines);
  EXPECT_EQ(lines[0].text, kTextTipEventLost);
  EXPECT_STREQ(lines[0].args[0], "14:42:01.123");
  EXPECT_STREQ(lines[0].args[1], "CH1 COM3");
  EXPECT_STREQ(lines[0].args[2], "22");
  EXPECT_EQ(lines[1].text, kTextTipEventGone);
  EXPECT_STREQ(lines[1].args[1], "CH2 COM12");
  EXPECT_EQ(lines[2].text, kTextTipEventBack);
  EXPECT_STREQ(lines[2].args[1], "CH1 COM7");
  EXPECT_STREQ(lines[2].args[2], "3.250");
  EXPECT_EQ(lines[3].text, kTextTipEventSettings);
  EXPECT_STREQ(lines[3].args[0], "--:--:--");
  EXPECT_STREQ(lines[3].args[2], "115200");
  EXPECT_EQ(lines[4].text, kTextTipEventOpened);
  ASSERT_EQ(event_tip_lines(events + 5, 1, offset, 9 * 60, lines), 1);
  EXPECT_EQ(lines[0].text, kTextTipEventCleared);
  EXPECT_STREQ(lines[0].args[0], "23:42:04.123");
  expect_fields_filled(lines, 1);
  // A listening channel's clients by address, not as COM numbers.
  const LineEvent clients[] = {{0, 10'000'000, kEventOpened, 1, 50123, 0x7F000001},
                               {0, 10'000'000, kEventRefused, 1, 50124, 0x7F000001}};
  ASSERT_EQ(event_tip_lines(clients, 2, offset, 0, lines), 2);
  EXPECT_STREQ(lines[0].args[1], "CH1 127.0.0.1:50123");
  EXPECT_EQ(lines[1].text, kTextTipEventRefused);
  EXPECT_STREQ(lines[1].args[1], "CH1 127.0.0.1:50124");
}
