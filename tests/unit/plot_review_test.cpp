// The plot's series where a capture's lines break, the local clock turns
// back, and the stretches a reader is handed: values that must come out
// whole, once, and nowhere else.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "rtu_bytes.h"
#include "app/capture.h"
#include "plot/plot_build.h"
#include "plot/plot_store.h"
#include "record/record_reader.h"

namespace {

int64_t g_review_us = 0;
uint32_t review_tick() { return static_cast<uint32_t>(g_review_us / 1000); }
int64_t review_micros() { return g_review_us; }

using Bytes = std::vector<uint8_t>;
Bytes text(const char* s) { return Bytes(s, s + strlen(s)); }

// A capture on the test's clock, and its snapshot.
struct Cap {
  Capture cap;
  CaptureSnapshot snap;
  Cap() {
    cap.tick = review_tick;
    cap.micros = review_micros;
    g_review_us = 10'000'000;
    EXPECT_EQ(capture_allocate(&cap), 0);
    capture_clear(&cap);
    EXPECT_EQ(capture_snapshot_allocate(&snap), 0);
  }
  ~Cap() {
    capture_free(&cap);
    capture_snapshot_free(&snap);
  }
  void put(uint8_t kind, const Bytes& b, int64_t after_us) {
    g_review_us += after_us;
    ASSERT_EQ(capture_append(&cap, b.data(), static_cast<int>(b.size()), kind, capture_now_us(&cap)), 0);
  }
  void event(uint8_t kind, uint8_t channel) { ASSERT_EQ(capture_add_event(&cap, kind, channel, 3, 0), 0); }
  const CaptureSnapshot& take() {
    EXPECT_EQ(capture_snapshot_take(&cap, &snap), 0);
    return snap;
  }
};

struct Points {
  std::vector<PlotPoint> all;
  std::vector<double> of(const char* name, int channel) const {
    std::vector<double> v;
    for (const PlotPoint& p : all)
      if (p.channel == channel && std::string(p.name) == name) v.push_back(p.value);
    return v;
  }
};
void keep(void* ctx, const PlotPoint& p) { static_cast<Points*>(ctx)->all.push_back(p); }

PlotBuildOptions options(Points* pts, uint8_t text, uint8_t timing) {
  PlotBuildOptions o{};
  o.text = text;
  o.timing = timing;
  o.modbus_options = {kModbusRtu, 0, {{9600, 110}, {9600, 110}}};
  o.sink = keep;
  o.sink_ctx = pts;
  return o;
}

// Reads the stretches one after another, a new run before each of
// `runs_before` (indices into `stretches`).
Points build(const PlotBuildOptions& base, const std::vector<const CaptureSnapshot*>& stretches,
             const std::vector<size_t>& runs_before = {}) {
  Points pts;
  PlotBuildOptions o = base;
  o.sink_ctx = &pts;
  PlotBuild b;
  EXPECT_EQ(plot_build_begin(&b, o), 0);
  for (size_t i = 0; i < stretches.size(); i++) {
    for (size_t r : runs_before)
      if (r == i) plot_build_break(&b);
    EXPECT_EQ(plot_build_stretch(&b, *stretches[i], nullptr, nullptr), 0);
  }
  EXPECT_EQ(plot_build_finish(&b, nullptr), 0);
  plot_build_end(&b);
  return pts;
}

// A device printing LF-ended lines, whole in each chunk: the port lost and
// back between two of them cuts no line, so the line after the outage is
// read like any other. The same when a new run of the program begins
// between two stretches.
TEST(PlotReview, WholeLineAfterAnOutageIsRead) {
  for (const char* ending : {"\n", "\r", "\r\n"}) {
    Cap c;
    c.put(kKindRecvCh1, text((std::string("T=1") + ending).c_str()), 0);
    c.event(kEventLost, 1);
    c.event(kEventBack, 1);
    c.put(kKindRecvCh1, text((std::string("T=2") + ending + "T=3" + ending).c_str()), 2'000'000);
    Points pts;
    const Points got = build(options(&pts, 1, 0), {&c.take()});
    EXPECT_EQ(got.of("T", 1), (std::vector<double>{1, 2, 3})) << "line end " << (ending[0] == '\n' ? "LF" : ending[1] ? "CR LF" : "CR");
  }
  for (const char* ending : {"\n", "\r"}) {
    Cap one, two;
    one.put(kKindRecvCh1, text((std::string("T=1") + ending).c_str()), 0);
    two.put(kKindRecvCh1, text((std::string("T=2") + ending).c_str()), 0);
    Points pts;
    const Points got = build(options(&pts, 1, 0), {&one.take(), &two.take()}, {1});
    EXPECT_EQ(got.of("T", 1), (std::vector<double>{1, 2})) << "new run, line end " << (ending[0] == '\n' ? "LF" : "CR");
  }
}

// "T=2" is cut by the port lost; after it comes back the user sends a
// command on the same channel and the device answers "3". The outage must
// still cut the line: no value 23 that the device never printed.
TEST(PlotReview, OutageCutsTheLineWhenTheChannelSentAfterIt) {
  Cap c;
  c.put(kKindRecvCh1, text("T=1\nT=2"), 0);
  c.event(kEventLost, 1);
  c.event(kEventBack, 1);
  c.put(kKindSentCh1, text("READ\r\n"), 1'000'000);
  c.put(kKindRecvCh1, text("3\nT=4\n"), 20'000);
  Points pts;
  const Points got = build(options(&pts, 1, 0), {&c.take()});
  EXPECT_EQ(got.of("T", 1), (std::vector<double>{1, 4}));
}

// Clocks turned back an hour (the end of summer time) in a capture that
// runs across it: every byte received is counted in one bin, once. Today the
// bin the clock left is told again and again with the later bytes added.
int32_t summer_until_11s(int64_t wall_us) { return wall_us < 11'000'000 ? 120 : 60; }

TEST(PlotReview, BytesPerSecondCountEachByteOnceWhenTheLocalClockTurnsBack) {
  Cap c;
  c.put(kKindRecvCh1, text("abcde"), 0);           // 10.0 s
  c.put(kKindRecvCh1, text("fghij"), 1'500'000);   // 11.5 s: an hour earlier by the local clock
  c.put(kKindRecvCh1, text("klmno"), 1'000'000);   // 12.5 s
  c.put(kKindRecvCh1, text("pqrst"), 1'000'000);   // 13.5 s
  Points pts;
  PlotBuildOptions o = options(&pts, 0, 1);
  o.zone_minutes_at = summer_until_11s;
  const Points got = build(o, {&c.take()});
  double counted = 0;
  for (double v : got.of("RX bytes/s", 1)) counted += v;
  EXPECT_EQ(counted, 20);
  // No bin told twice.
  std::vector<int64_t> times;
  for (const PlotPoint& p : got.all)
    if (std::string(p.name) == "RX bytes/s") times.push_back(p.time_us);
  for (size_t i = 1; i < times.size(); i++) EXPECT_NE(times[i - 1], times[i]) << i;
}

// Read answers of more registers and coils than a frame's decode keeps for
// its text (40 holding registers, 300 coils: well within what functions 3
// and 1 may carry): every one asked and answered is a point.
TEST(PlotReview, EveryRegisterAndCoilOfALongReadIsAPoint) {
  Cap c;
  Bytes answer = {0x01, 0x03, 80};
  for (int i = 0; i < 40; i++) answer.insert(answer.end(), {0x00, static_cast<uint8_t>(3 * i)});
  Bytes coils = {0x01, 0x01, 38};
  for (int i = 0; i < 38; i++) coils.push_back(0xFF);
  c.put(kKindSentCh2, rtu({0x01, 0x03, 0x00, 0x00, 0x00, 40}), 0);
  c.put(kKindRecvCh2, rtu(answer), 100'000);
  c.put(kKindSentCh2, rtu({0x01, 0x01, 0x00, 0x00, 0x01, 0x2C}), 500'000);
  c.put(kKindRecvCh2, rtu(coils), 100'000);
  Points pts;
  PlotBuildOptions o = options(&pts, 0, 0);
  o.modbus = 1;
  const Points got = build(o, {&c.take()});
  EXPECT_EQ(got.of("slave 1 HR 0", 2), (std::vector<double>{0}));
  EXPECT_EQ(got.of("slave 1 HR 39", 2), (std::vector<double>{117}));
  EXPECT_EQ(got.of("slave 1 coil 299", 2), (std::vector<double>{1}));
  int registers = 0, bits = 0;
  for (const PlotPoint& p : got.all) registers += strncmp(p.name, "slave 1 HR ", 11) == 0, bits += strncmp(p.name, "slave 1 coil ", 13) == 0;
  EXPECT_EQ(registers, 40);
  EXPECT_EQ(bits, 300);
}

// A recording read window after window: near its end a window ends at the
// first quiet moment, and an outage is one. "T=2" is cut by the port lost;
// the lost and back events go into the window that ends there, "3" starts
// the next. The outage must cut the line as it does in one piece.
TEST(PlotReview, OutageAtARecordingWindowsEndCutsTheLine) {
  RecordWindow one, two;
  ASSERT_EQ(capture_snapshot_allocate(&one.snap), 0);
  ASSERT_EQ(capture_snapshot_allocate(&two.snap), 0);
  record_window_begin(&one);
  record_window_begin(&two);
  int64_t t = 50'000'000'000;
  auto chunk = [&](RecordWindow* w, uint8_t kind, const std::string& b, int64_t after_us) {
    t += after_us;
    RecordEntry e{};
    e.type = kind;
    e.length = static_cast<uint16_t>(b.size());
    e.time_us = t;
    e.data = reinterpret_cast<const uint8_t*>(b.data());
    return record_window_add(w, e);
  };
  auto event = [&](RecordWindow* w, uint8_t kind) {
    RecordEntry e{};
    e.type = kRecordEntryEvent;
    e.time_us = t;
    e.event_kind = kind;
    e.event_channel = 1;
    return record_window_add(w, e);
  };
  // CH2 streaming without a pause until the window is near its end.
  while (one.snap.count <= kRecordWindowQuietFrom) ASSERT_EQ(chunk(&one, kKindRecvCh2, std::string(200, 'x'), 1000), 0);
  ASSERT_EQ(chunk(&one, kKindRecvCh1, "T=1\nT=2", 1000), 0);
  ASSERT_EQ(event(&one, kEventLost), 0);
  ASSERT_EQ(event(&one, kEventBack), 0);
  ASSERT_EQ(chunk(&one, kKindRecvCh1, "3\nT=4\n", 2'000'000), 1);  // the window ends at the outage
  t -= 2'000'000;
  ASSERT_EQ(chunk(&two, kKindRecvCh1, "3\nT=4\n", 2'000'000), 0);
  Points pts;
  const Points windows = build(options(&pts, 1, 0), {&one.snap, &two.snap});
  EXPECT_EQ(windows.of("T", 1), (std::vector<double>{1, 4}));
  capture_snapshot_free(&one.snap);
  capture_snapshot_free(&two.snap);
}

// The window follows a capture running across the end of summer time: every
// line's value is kept in its series, none dropped as "out of time order"
// because the local clock went back an hour.
void into_series(void* ctx, const PlotPoint& p) { plot_series_add(static_cast<PlotSeries*>(ctx), p.time_us, p.value); }

TEST(PlotReview, PointsAfterTheLocalClockTurnsBackAreKept) {
  Cap c;
  for (int i = 0; i < 6; i++) c.put(kKindRecvCh1, text(("T=" + std::to_string(i) + "\r\n").c_str()), 500'000);
  PlotSeries* s = plot_series_new("T", 1);
  ASSERT_NE(s, nullptr);
  Points unused;
  PlotBuildOptions o = options(&unused, 1, 0);
  o.zone_minutes_at = summer_until_11s;
  o.live = 1;
  o.sink = into_series;
  o.sink_ctx = s;
  PlotBuild b;
  ASSERT_EQ(plot_build_begin(&b, o), 0);
  EXPECT_EQ(plot_build_stretch(&b, c.take(), nullptr, nullptr), 0);
  EXPECT_EQ(plot_build_finish(&b, nullptr), 0);
  plot_build_end(&b);
  EXPECT_EQ(s->points, 6);
  EXPECT_EQ(s->dropped, 0);
  plot_series_free(s);
}

// A device printing 70 values on a line (well within a line's 512 bytes):
// every one of them is a point; an export must not leave the last ones
// out without a word.
TEST(PlotReview, EveryValueOfAWideLineIsAPoint) {
  Cap c;
  std::string line;
  for (int k = 0; k < 70; k++) line += "k" + std::to_string(k) + "=" + std::to_string(k) + " ";
  ASSERT_LT(line.size(), static_cast<size_t>(kPlotLineBytes));
  line += "\r\n";
  for (size_t at = 0; at < line.size(); at += 100) c.put(kKindRecvCh1, text(line.substr(at, 100).c_str()), 1000);
  Points pts;
  const Points got = build(options(&pts, 1, 0), {&c.take()});
  EXPECT_EQ(got.all.size(), 70u);
  EXPECT_EQ(got.of("k69", 1), (std::vector<double>{69}));
}

}  // namespace
