// The link statistics window's figures, charts and copy text.
#include "timeline/link_stats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

const LineShape kShapes[2] = {{9600, 100}, {9600, 100}};

int64_t g_us = 0;
uint32_t fake_tick() { return static_cast<uint32_t>(g_us / 1000); }
int64_t fake_micros() { return g_us; }

std::string ascii(const char16_t* s) {
  std::string out;
  for (; *s; s++) out += *s < 0x80 ? static_cast<char>(*s) : '?';
  return out;
}

TEST(LinkStatsFigures, CountsRatesAndMilliseconds) {
  char16_t out[kLinkStatsFigureUnits];
  link_stats_count_text(0, out);
  EXPECT_EQ(ascii(out), "0");
  link_stats_count_text(131072, out);
  EXPECT_EQ(ascii(out), "131072");
  link_stats_count_text(INT64_MAX, out);
  EXPECT_EQ(ascii(out), "9223372036854775807");

  const struct {
    double rate;
    const char* want;
  } rates[] = {{-1, "-"},          {NAN, "-"},          {0, "0.0"},          {6 / 1.3, "4.6"},
               {1234.56, "1234.6"}, {0.04, "0.0"},       {0.05, "0.1"},       {921600, "921600.0"},
               {1e19, "-"},         {-0.0001, "-"},      {INFINITY, "-"}};
  for (const auto& c : rates) {
    link_stats_rate_text(c.rate, out);
    EXPECT_EQ(ascii(out), c.want) << c.rate;
  }

  const struct {
    int64_t us;
    const char* want;
  } times[] = {{kTimeUnknown, "-"},    {0, "0.000"},      {1, "0.001"},        {999, "0.999"},
               {12'345, "12.345"},     {-250, "-0.250"},  {-1'000'000, "-1000.000"},
               {INT64_MAX, "9223372036854775.807"},       {kTimeUnknown + 1, "-9223372036854775.807"}};
  for (const auto& c : times) {
    link_stats_ms_text(c.us, out);
    EXPECT_EQ(ascii(out), c.want) << c.us;
  }
}

TEST(LinkStatsFigures, LatencyFiguresByIndex) {
  std::unique_ptr<TimelineStats> s(new TimelineStats());
  s->latency_count = 7;
  s->latency_min = 500;
  s->latency_median = 2'000;
  s->latency_p95 = 5'001;
  s->latency_max = kTimeUnknown;
  const char* want[] = {"7", "0.500", "2.000", "5.001", "-", "-", "-"};
  const int index[] = {0, 1, 2, 3, 4, 5, -1};
  for (int i = 0; i < 7; i++) {
    char16_t out[kLinkStatsFigureUnits];
    link_stats_latency_text(s.get(), index[i], out);
    EXPECT_EQ(ascii(out), want[i]) << index[i];
  }
}

TEST(LinkStatsCharts, BarsScaleToTheLargestAndShowEveryNonZeroValue) {
  const struct {
    int64_t value, most;
    int full, want;
  } cases[] = {
      {0, 10, 100, 0},     {10, 10, 100, 100},  {5, 10, 100, 50},   {1, 1000, 100, 1},  // never vanishes
      {999, 1000, 100, 99}, {20, 10, 100, 100}, {-1, 10, 100, 0},   {5, 0, 100, 0},
      {5, 10, 0, 0},        {5, 10, -3, 0},     {INT64_MAX / 2, INT64_MAX, 100, 50},
      {INT64_MAX, INT64_MAX, 7, 7},
  };
  for (const auto& c : cases)
    EXPECT_EQ(link_stats_bar(c.value, c.most, c.full), c.want) << c.value << " of " << c.most << " in " << c.full;
}

TEST(LinkStatsCharts, LatencyBinsSpanTheKeptLatencies) {
  std::unique_ptr<TimelineStats> s(new TimelineStats());
  LinkStatsBins b;
  // None kept: nothing to draw.
  s->latency_kept = 0;
  link_stats_latency_bins(s.get(), &b);
  EXPECT_EQ(b.used, 0);
  EXPECT_EQ(b.from_us, kTimeUnknown);
  for (int64_t n : b.count) EXPECT_EQ(n, 0);

  // 500, 2000 and 5000 µs: bins 563 µs wide from 500, the largest in the last.
  s->latency_kept = 3;
  s->latencies[0] = 500;
  s->latencies[1] = 2'000;
  s->latencies[2] = 5'000;
  link_stats_latency_bins(s.get(), &b);
  EXPECT_EQ(b.used, 1);
  EXPECT_EQ(b.from_us, 500);
  EXPECT_EQ(b.to_us, 5'000);
  const int64_t want[kLinkStatsLatencyBins] = {1, 0, 1, 0, 0, 0, 0, 1};
  for (int k = 0; k < kLinkStatsLatencyBins; k++) EXPECT_EQ(b.count[k], want[k]) << k;

  // All alike: every one in the first bin.
  s->latencies[0] = s->latencies[1] = s->latencies[2] = 1'234;
  link_stats_latency_bins(s.get(), &b);
  EXPECT_EQ(b.count[0], 3);
  EXPECT_EQ(b.from_us, b.to_us);

  // The widest range two times can give: nothing overflows, the ends land
  // in the first and the last bin.
  s->latencies[0] = -INT64_MAX;
  s->latencies[1] = 0;
  s->latencies[2] = INT64_MAX;
  link_stats_latency_bins(s.get(), &b);
  EXPECT_EQ(b.count[0], 1);
  EXPECT_EQ(b.count[3] + b.count[4], 1);
  EXPECT_EQ(b.count[kLinkStatsLatencyBins - 1], 1);

  // 0 to 799 µs one each: 100 in every bin.
  s->latency_kept = 800;
  for (int i = 0; i < 800; i++) s->latencies[i] = i;
  link_stats_latency_bins(s.get(), &b);
  for (int k = 0; k < kLinkStatsLatencyBins; k++) EXPECT_EQ(b.count[k], 100) << k;
}

TEST(LinkStatsPrecision, TheOneFieldTakesTheValue) {
  const struct {
    const char16_t* format;
    int out_units;
    const char* want;
  } cases[] = {
      {u"Received times can be up to %d us late.", 64, "Received times can be up to 1000 us late."},
      {u"%4d%% %d", 64, "%4d%% %d"},  // two fields: shown as it stands
      {u"%4d%%", 64, "1000%"},
      {u"%s late", 64, "%s late"},
      {u"no field", 64, "no field"},
      {u"", 64, ""},
      {u"up to %d", 8, "up to 1"},  // cut to the buffer, terminated
  };
  for (const auto& c : cases) {
    char16_t out[64];
    link_stats_precision_text(c.format, 1000, out, c.out_units);
    EXPECT_EQ(ascii(out), c.want) << ascii(c.format);
  }
}

struct LinkStatsCopy : ::testing::Test {
  Capture cap;
  std::unique_ptr<TimelineStats> stats{new TimelineStats()};
  LinkStatsLabels labels{u"Link Statistics",
                         u"Chunks",
                         u"Bytes",
                         u"Rate (bytes/s)",
                         {u"CH1 RX", u"CH1 TX", u"CH2 RX", u"CH2 TX"},
                         u"Silences between chunks",
                         {u"under 1 ms", u"1 to 10 ms", u"10 to 100 ms", u"100 ms to 1 s", u"1 s and more"},
                         u"Request to answer (ms)",
                         u"From each send to the next receive on its channel",
                         {u"Count", u"Minimum", u"Median", u"95th percentile", u"Maximum"},
                         u"Line outages",
                         u"Time lost (s)",
                         u"Precision line"};
  void SetUp() override {
    g_us = 0;
    cap.tick = fake_tick;
    cap.micros = fake_micros;
    ASSERT_EQ(capture_allocate(&cap), 0);
    capture_clear(&cap);
  }
  void TearDown() override { capture_free(&cap); }
  void at(int64_t us, uint8_t kind, int n) {
    g_us = us;
    std::vector<uint8_t> bytes(static_cast<size_t>(n), 0x41);
    ASSERT_EQ(capture_append(&cap, bytes.data(), n, kind, capture_now_us(&cap)), 0);
  }
};

TEST_F(LinkStatsCopy, EveryFigureOnItsLine) {
  // CH1 polled twice (answers after 2 ms and 5.25 ms), then CH2 data alone.
  at(0, kKindSentCh1, 2);
  at(2'000, kKindRecvCh1, 3);
  at(100'000, kKindSentCh1, 2);
  at(105'250, kKindRecvCh1, 3);
  at(1'500'000, kKindRecvCh2, 5);
  timeline_stats(cap.records, cap.times, capture_write_position(&cap), 0, kShapes, stats.get());
  char16_t out[2048];
  const int n = link_stats_text(stats.get(), &labels, out, 2048);
  const std::string want =
      "Link Statistics\r\n"
      "\tChunks\tBytes\tRate (bytes/s)\r\n"
      "CH1 RX\t2\t6\t29.1\r\n"  // 3 bytes after the first in 0.10325 s
      "CH1 TX\t2\t4\t20.0\r\n"
      "CH2 RX\t1\t5\t-\r\n"
      "CH2 TX\t0\t0\t-\r\n"
      "Silences between chunks\r\n"
      "under 1 ms\t1\r\n"
      "1 to 10 ms\t1\r\n"
      "10 to 100 ms\t1\r\n"
      "100 ms to 1 s\t0\r\n"
      "1 s and more\t1\r\n"
      "Request to answer (ms)\r\n"
      "From each send to the next receive on its channel\r\n"
      "Count\t2\r\n"
      "Minimum\t2.000\r\n"
      "Median\t2.000\r\n"
      "95th percentile\t5.250\r\n"
      "Maximum\t5.250\r\n"
      "Line outages\t0\r\n"
      "Time lost (s)\t0.000\r\n"
      "Precision line\r\n";
  EXPECT_EQ(ascii(out), want);
  EXPECT_EQ(n, static_cast<int>(want.size()));

  // Words in any script pass through as they are.
  labels.title = u"回線統計";
  ASSERT_GT(link_stats_text(stats.get(), &labels, out, 2048), 0);
  EXPECT_EQ(std::u16string(out).substr(0, 6), u"回線統計\r\n");

  // Exactly room for the text and its terminator, then one unit less.
  labels.title = u"Link Statistics";
  EXPECT_EQ(link_stats_text(stats.get(), &labels, out, n + 1), n);
  out[0] = u'x';
  EXPECT_EQ(link_stats_text(stats.get(), &labels, out, n), -1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(link_stats_text(stats.get(), &labels, out, 0), -1);
}

TEST_F(LinkStatsCopy, AnEmptyCaptureGivesZerosAndDashes) {
  timeline_stats(cap.records, cap.times, 0, 0, kShapes, stats.get());
  char16_t out[2048];
  ASSERT_GT(link_stats_text(stats.get(), &labels, out, 2048), 0);
  const std::string text = ascii(out);
  EXPECT_NE(text.find("CH1 RX\t0\t0\t-\r\n"), std::string::npos);
  EXPECT_NE(text.find("Count\t0\r\nMinimum\t-\r\nMedian\t-\r\n95th percentile\t-\r\nMaximum\t-\r\n"),
            std::string::npos);
}

}  // namespace
