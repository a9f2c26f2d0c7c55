// The plot's readers and memory: numbers in lines, Modbus registers as
// values, and the bucket levels that keep a series in bounded memory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "rtu_bytes.h"
#include "modbus/modbus_monitor.h"
#include "plot/plot_axis.h"
#include "plot/plot_build.h"
#include "plot/plot_modbus.h"
#include "plot/plot_store.h"
#include "plot/plot_text.h"

namespace {

std::vector<PlotLineValue> parse(const std::string& line) {
  std::vector<PlotLineValue> v(kPlotLineValues);
  int n = plot_parse_line(reinterpret_cast<const uint8_t*>(line.data()), static_cast<int32_t>(line.size()), v.data(),
                          kPlotLineValues);
  v.resize(static_cast<size_t>(n));
  return v;
}

std::string name_of(const PlotLineValue& v) { return v.bare ? "#" + std::to_string(v.bare) : v.key; }

TEST(PlotText, PairsBareNumbersSignsAndExponentsJunkPassedOver) {
  auto v = parse("STATUS 12 T=23.3 C OK");
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(name_of(v[0]), "#1");
  EXPECT_EQ(v[0].value, 12);
  EXPECT_EQ(name_of(v[1]), "T");
  EXPECT_EQ(v[1].value, 23.3);

  v = parse("a:-1.5e-3,b=+2;\t7 x: .5 8. 1e 0x10 -- 3e+2 y:z nan k:");
  ASSERT_EQ(v.size(), 6u);
  EXPECT_EQ(name_of(v[0]), "a");
  EXPECT_EQ(v[0].value, -1.5e-3);
  EXPECT_EQ(name_of(v[1]), "b");
  EXPECT_EQ(v[1].value, 2);
  EXPECT_EQ(name_of(v[2]), "#1");
  EXPECT_EQ(v[2].value, 7);
  EXPECT_EQ(name_of(v[3]), "x");  // "x:" takes the next token
  EXPECT_EQ(v[3].value, 0.5);
  EXPECT_EQ(name_of(v[4]), "#2");
  EXPECT_EQ(v[4].value, 8);
  EXPECT_EQ(name_of(v[5]), "#3");
  EXPECT_EQ(v[5].value, 300);

  // A keyed value's unit is passed over (the demo instrument prints "T=22.5C"); a bare one's is not.
  v = parse("STATUS 3 T=22.5C V: -3.3mV RH=45% d=7\xc2\xb0 h=0x1F 5V");
  ASSERT_EQ(v.size(), 5u);
  EXPECT_EQ(name_of(v[1]) + "=" + std::to_string(v[1].value), "T=22.500000");
  EXPECT_EQ(name_of(v[2]) + "=" + std::to_string(v[2].value), "V=-3.300000");
  EXPECT_EQ(name_of(v[3]) + "=" + std::to_string(v[3].value), "RH=45.000000");
  EXPECT_EQ(name_of(v[4]) + "=" + std::to_string(v[4].value), "d=7.000000");

  EXPECT_TRUE(parse("12:30:45 =5 :6").empty());  // a time of day, empty keys
  EXPECT_EQ(parse(std::string(40, 'k') + "=1").size(), 0u);  // a key too long to name
  EXPECT_EQ(parse(std::string("\x01k=1 \0=2 1e999", 15)).size(), 0u);  // control bytes name nothing; no infinity
}

// Lines gathered across chunks, CR, LF and CR LF, an overlong line, and a
// break of the line between chunks.
TEST(PlotText, LinesAcrossChunksAndBreaks) {
  PlotLineSplit s;
  plot_line_reset(&s);
  std::vector<std::string> lines;
  auto feed = [&](const std::string& chunk) {
    const uint8_t* b = reinterpret_cast<const uint8_t*>(chunk.data());
    int32_t left = static_cast<int32_t>(chunk.size()), used = 0;
    while (left > 0) {
      if (plot_line_feed(&s, b, left, &used)) lines.emplace_back(reinterpret_cast<char*>(s.line), s.n);
      b += used;
      left -= used;
    }
  };
  feed("T=1");
  feed(".5\r");
  feed("\nT=2\rT=3\n\nT=");
  plot_line_reset(&s, 1);  // the port was lost mid-line: "T=" belongs to nothing, "4" ends a lost line
  feed("4\r\n" + std::string(kPlotLineBytes + 10, '9') + "\nend\r");
  EXPECT_EQ(lines, (std::vector<std::string>{"T=1.5", "T=2", "T=3", "", "", "", "end"}));
}

TEST(PlotStore, EnvelopeColumnsHoldThePointsMinAndMaxAtEveryZoom) {
  std::unique_ptr<PlotSeries, void (*)(PlotSeries*)> s(plot_series_new("CH1 T", 1), plot_series_free);
  std::mt19937 rnd(7);
  std::vector<std::pair<int64_t, double>> pts;
  int64_t t = 1'000'000'000;  // points every 0 to 3 ms over about 3 s
  for (int i = 0; i < 2000; i++) {
    t += static_cast<int64_t>(rnd() % 3000);
    double v = static_cast<int>(rnd() % 2001) - 1000;
    pts.push_back({t, v});
    plot_series_add(s.get(), t, v);
  }
  const int64_t from = 1'000'000'000;
  // Columns of 1, 2, 4 ... 1024 ms, aligned as the levels' buckets are.
  for (int64_t col_us = 1000; col_us <= 1'024'000; col_us *= 2) {
    const int32_t columns = static_cast<int32_t>((pts.back().first - from) / col_us + 1);
    std::vector<PlotColumn> env(static_cast<size_t>(columns));
    const int64_t width = plot_envelope(s.get(), from, from + columns * col_us, columns, env.data());
    // 1 ms columns of the start are finer than the levels that still hold it.
    if (col_us < width) continue;
    ASSERT_EQ(col_us % width, 0);
    std::vector<PlotColumn> want(static_cast<size_t>(columns), PlotColumn{0, 0, 0, 0});
    for (auto [pt, v] : pts) {
      PlotColumn& c = want[static_cast<size_t>((pt - from) / col_us)];
      if (c.n == 0 || v < c.min) c.min = v;
      if (c.n == 0 || v > c.max) c.max = v;
      c.last = v;
      c.n++;
    }
    for (int32_t x = 0; x < columns; x++) {
      ASSERT_EQ(env[x].n, want[x].n) << col_us << " " << x;
      if (want[x].n == 0) continue;
      ASSERT_EQ(env[x].min, want[x].min) << col_us << " " << x;
      ASSERT_EQ(env[x].max, want[x].max) << col_us << " " << x;
      ASSERT_EQ(env[x].last, want[x].last) << col_us << " " << x;
    }
  }
}

// Hours of points at 10 kHz: memory stays the series' fixed size; the whole
// span is drawn from the top level with every extreme kept, the last
// seconds from fine levels, and a point out of time order is counted.
TEST(PlotStore, LongSpansKeepExtremesInBoundedMemory) {
  std::unique_ptr<PlotSeries, void (*)(PlotSeries*)> s(plot_series_new("x", 0), plot_series_free);
  const int64_t start = 3'600'000'000;
  const int64_t n = 2'000'000;  // 200 s at 100 µs
  for (int64_t i = 0; i < n; i++) plot_series_add(s.get(), start + i * 100, i == 1'234'567 ? 1e6 : (i % 1000) * 0.5);
  plot_series_add(s.get(), start, 5);
  EXPECT_EQ(s->dropped, 1);
  EXPECT_EQ(s->points, n);
  PlotColumn all[800];
  plot_envelope(s.get(), start, start + n * 100, 800, all);
  double hi = 0, lo = 1e9;
  int64_t count = 0;
  for (const PlotColumn& c : all) {
    if (!c.n) continue;
    hi = std::max(hi, c.max);
    lo = std::min(lo, c.min);
    count += c.n;
  }
  EXPECT_EQ(hi, 1e6);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(count, n);
  // The last 2 ms come from the 1 ms level: exact per column.
  PlotColumn last[2];
  EXPECT_EQ(plot_envelope(s.get(), start + n * 100 - 2000, start + n * 100, 2, last), kPlotBaseUs);
  EXPECT_EQ(last[1].n, 10);
  EXPECT_EQ(last[1].max, 999 * 0.5);
  double v = 0;
  EXPECT_EQ(plot_value_at(s.get(), start - 1, &v), 0);
  ASSERT_EQ(plot_value_at(s.get(), start + (n - 1) * 100, &v), 1);
  EXPECT_EQ(v, ((n - 1) % 1000) * 0.5);
}

using Bytes = std::vector<uint8_t>;

// Read answers decoded and paired by the monitor, then read as each type
// and word order; the values computed by hand.
TEST(PlotModbus, RegistersAndCoilsFromPairedAnswers) {
  Capture cap;
  ASSERT_EQ(capture_allocate(&cap), 0);
  capture_clear(&cap);
  const std::vector<Bytes> chunks = {
      rtu({0x01, 0x03, 0x00, 0x0A, 0x00, 0x03}),                                    // HR 10..12
      rtu({0x01, 0x03, 0x06, 0x41, 0xC8, 0x00, 0x00, 0xFF, 0xFE}),                  // 0x41C8 0x0000 0xFFFE
      rtu({0x07, 0x01, 0x00, 0x03, 0x00, 0x0A}),                                    // coils 3..12
      rtu({0x07, 0x01, 0x02, 0x05, 0x02}),
  };
  for (size_t i = 0; i < chunks.size(); i++)
    ASSERT_EQ(capture_append(&cap, chunks[i].data(), static_cast<int>(chunks[i].size()),
                             i % 2 ? kKindRecvCh1 : kKindSentCh1, kTimeUnknown),
              0);
  ModbusMonitorOptions opt = {kModbusRtu, 0, {{9600, 110}, {9600, 110}}};
  ModbusFrame frames[8];
  ASSERT_EQ(modbus_monitor_decode(cap.records, cap.times, capture_write_position(&cap), &opt, frames, 8, nullptr), 4);
  capture_free(&cap);
  ASSERT_EQ(frames[1].pair, 0);
  PlotRegisterPoint p[16];
  ASSERT_EQ(plot_modbus_points(frames[0], frames[1], nullptr, 0, 0, p, 16), 3);
  EXPECT_STREQ(p[0].name, "slave 1 HR 10");
  EXPECT_STREQ(p[2].name, "slave 1 HR 12");
  double v;
  ASSERT_TRUE(plot_register_value(p[0], {kPlotU16, 0, 1}, &v));
  EXPECT_EQ(v, 0x41C8);
  ASSERT_TRUE(plot_register_value(p[2], {kPlotS16, 0, 0.1}, &v));
  EXPECT_DOUBLE_EQ(v, -0.2);
  ASSERT_TRUE(plot_register_value(p[0], {kPlotF32, 0, 1}, &v));  // 0x41C80000
  EXPECT_EQ(v, 25.0);
  ASSERT_TRUE(plot_register_value(p[1], {kPlotU32, 1, 1}, &v));  // low word first: 0xFFFE0000
  EXPECT_EQ(v, 4294836224.0);
  ASSERT_TRUE(plot_register_value(p[1], {kPlotS32, 1, 1}, &v));
  EXPECT_EQ(v, -131072.0);
  EXPECT_FALSE(plot_register_value(p[2], {kPlotU32, 0, 1}, &v));  // no next register
  EXPECT_EQ(plot_modbus_points(frames[1], frames[0], nullptr, 0, 0, p, 16), 0);  // a request is no answer

  ASSERT_EQ(plot_modbus_points(frames[2], frames[3], nullptr, 0, 0, p, 16), 10);  // 10 coils asked, 16 bits sent
  EXPECT_STREQ(p[0].name, "slave 7 coil 3");
  EXPECT_STREQ(p[9].name, "slave 7 coil 12");
  std::string bits;
  for (int i = 0; i < 10; i++) bits += static_cast<char>('0' + p[i].word);
  EXPECT_EQ(bits, "1010000001");

  // ASCII: the body read again from the records is the hex pairs as bytes.
  ASSERT_EQ(capture_allocate(&cap), 0);
  capture_clear(&cap);
  const char* ascii[2] = {":010300090002F1\r\n", ":01030400070102EE\r\n"};
  for (int i = 0; i < 2; i++)
    ASSERT_EQ(capture_append(&cap, reinterpret_cast<const uint8_t*>(ascii[i]), static_cast<int>(strlen(ascii[i])),
                             i ? kKindRecvCh1 : kKindSentCh1, kTimeUnknown),
              0);
  opt.mode = kModbusAscii;
  ASSERT_EQ(modbus_monitor_decode(cap.records, cap.times, capture_write_position(&cap), &opt, frames, 8, nullptr), 2);
  uint8_t body[300];
  ASSERT_EQ(modbus_frame_body(frames[1], cap.records, capture_write_position(&cap), body, 300), 8);  // LRC last
  capture_free(&cap);
  ASSERT_EQ(plot_modbus_points(frames[0], frames[1], body, 8, 1, p, 16), 1);  // from the second on
  EXPECT_STREQ(p[0].name, "slave 1 HR 10");
  EXPECT_EQ(p[0].word, 0x0102);
}

}  // namespace

namespace {

int64_t g_plot_us = 0;
uint32_t plot_tick() { return static_cast<uint32_t>(g_plot_us / 1000); }
int64_t plot_micros() { return g_plot_us; }

struct Points {
  std::vector<PlotPoint> all;
  std::string of(const char* name, int channel) const {
    std::string s;
    for (const PlotPoint& p : all)
      if (p.channel == channel && std::string(p.name) == name) s += (s.empty() ? "" : " ") + std::to_string(p.value).substr(0, 5);
    return s;
  }
};
void keep_point(void* ctx, const PlotPoint& p) { static_cast<Points*>(ctx)->all.push_back(p); }

// A capture with text lines on CH1 (a line cut by the port lost), and a
// Modbus exchange on CH2, read whole and cut into two stretches at every
// chunk: the same points, in time order, either way.
TEST(PlotBuild, TextModbusAndTimingPointsInTimeOrderAcrossStretches) {
  Capture cap;
  cap.tick = plot_tick;
  cap.micros = plot_micros;
  g_plot_us = 10'000'000;
  ASSERT_EQ(capture_allocate(&cap), 0);
  capture_clear(&cap);
  auto put = [&](uint8_t kind, const Bytes& b, int64_t after_us) {
    g_plot_us += after_us;
    ASSERT_EQ(capture_append(&cap, b.data(), static_cast<int>(b.size()), kind, capture_now_us(&cap)), 0);
  };
  auto text = [](const char* s) { return Bytes(s, s + strlen(s)); };
  put(kKindRecvCh1, text("T=1\r\nT="), 0);
  put(kKindRecvCh1, text("2\r\nSTATUS 12 T=23.3 C OK\n"), 400'000);
  put(kKindSentCh2, rtu({0x01, 0x03, 0x00, 0x00, 0x00, 0x02}), 700'000);
  put(kKindRecvCh2, rtu({0x01, 0x03, 0x04, 0x00, 0x05, 0xFF, 0xFA}), 30'000);
  put(kKindRecvCh1, text("T="), 500'000);
  ASSERT_EQ(capture_add_event(&cap, kEventLost, 1, 3, 0), 0);
  put(kKindRecvCh1, text("9\nT=4\n"), 500'000);
  CaptureSnapshot snap;
  ASSERT_EQ(capture_snapshot_allocate(&snap), 0);
  ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
  capture_free(&cap);

  PlotBuildOptions o{};
  o.text = o.modbus = o.timing = 1;
  o.modbus_options = {kModbusRtu, 0, {{9600, 110}, {9600, 110}}};
  static const PlotRegisterRead kSigned = {kPlotS16, 0, 0.5};
  o.read_of = [](void*, const char* name, int32_t) { return std::string(name) == "slave 1 HR 1" ? &kSigned : nullptr; };
  auto build = [&](int32_t cut, int live = 0, std::string* first_t = nullptr) {
    Points pts;
    o.live = static_cast<uint8_t>(live);
    o.sink = keep_point;
    o.sink_ctx = &pts;
    PlotBuild b;
    EXPECT_EQ(plot_build_begin(&b, o), 0);
    CaptureSnapshot first = snap, second = snap;
    first.count = cut;
    second.records += cut;
    second.times += cut;
    second.count -= cut;
    second.base += cut;
    EXPECT_EQ(plot_build_stretch(&b, first, nullptr, nullptr), 0);
    if (first_t) *first_t = pts.of("T", 1);
    if (second.count > 0) EXPECT_EQ(plot_build_stretch(&b, second, nullptr, nullptr), 0);
    EXPECT_EQ(plot_build_finish(&b, nullptr), 0);
    plot_build_end(&b);
    return pts;
  };
  const Points whole = build(snap.count);
  EXPECT_EQ(whole.of("T", 1), "1.000 2.000 23.30 4.000");  // "T=" then the port lost: no 9
  EXPECT_EQ(whole.of("#1", 1), "12.00");  // "9" ended a line whose start the outage took
  EXPECT_EQ(whole.of("slave 1 HR 0", 2), "5.000");
  EXPECT_EQ(whole.of("slave 1 HR 1", 2), "-3.00");
  EXPECT_EQ(whole.of("latency ms", 2).substr(0, 2), "30");
  EXPECT_EQ(whole.of("RX bytes/s", 2), "9.000");
  EXPECT_FALSE(whole.of("silence ms", 2).empty());
  for (size_t i = 1; i < whole.all.size(); i++) ASSERT_LE(whole.all[i - 1].time_us, whole.all[i].time_us);
  for (int32_t cut = 0; cut < snap.count; cut++) {
    if (cut > 0 && snap.records[cut - 1].kind != kKindGapLow) continue;  // stretches end after a chunk
    const Points split = build(cut);
    ASSERT_EQ(split.all.size(), whole.all.size()) << cut;
    for (size_t i = 0; i < whole.all.size(); i++) {
      ASSERT_EQ(split.all[i].time_us, whole.all[i].time_us) << cut;
      ASSERT_STREQ(split.all[i].name, whole.all[i].name) << cut;
      ASSERT_EQ(split.all[i].value, whole.all[i].value) << cut;
    }
  }
  // Following the capture: each series as whole, in its own order, and a
  // line's values handed on with its stretch, before the Modbus pass decides
  // the frames after it.
  for (int32_t cut = 0; cut <= snap.count; cut++) {
    if (cut > 0 && snap.records[cut - 1].kind != kKindGapLow) continue;
    std::string first_t;
    const Points live = build(cut, 1, &first_t);
    ASSERT_EQ(live.all.size(), whole.all.size()) << cut;
    for (const char* name : {"T", "#1", "silence ms", "RX bytes/s"})
      for (int ch = 1; ch <= 2; ch++) ASSERT_EQ(live.of(name, ch), whole.of(name, ch)) << cut << name;
    EXPECT_EQ(live.of("slave 1 HR 1", 2), "-3.00");
    if (cut == snap.count) EXPECT_EQ(first_t, "1.000 2.000 23.30 4.000");
  }
  capture_snapshot_free(&snap);

  // Modbus TCP on a network channel: its frames by their MBAP headers.
  ASSERT_EQ(capture_allocate(&cap), 0);
  capture_clear(&cap);
  put(kKindSentCh1, {0x00, 0x07, 0x00, 0x00, 0x00, 0x06, 0x11, 0x04, 0x00, 0x08, 0x00, 0x02}, 1000);
  put(kKindRecvCh1, {0x00, 0x07, 0x00, 0x00, 0x00, 0x07, 0x11, 0x04, 0x04, 0x00, 0x2A, 0x80, 0x00}, 5000);
  put(kKindRecvCh2, text("x\n"), 500'000);
  ASSERT_EQ(capture_snapshot_allocate(&snap), 0);
  ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
  capture_free(&cap);
  o.modbus_options.network[0] = 1;
  const Points tcp = build(snap.count);
  EXPECT_EQ(tcp.of("slave 17 IR 8", 1), "42.00");
  EXPECT_EQ(tcp.of("slave 17 IR 9", 1), "32768");
  capture_snapshot_free(&snap);

  PlotPoint p{};
  p.time_us = 86'400'000'000 + 3'723'500'000;  // 01:02:03.5 on the next day
  p.value = 23.3;
  p.channel = 1;
  snprintf(p.name, sizeof p.name, "a,\"b\"");
  char row[160];
  ASSERT_GT(plot_csv_row(p, 86'400'000'000 + 3'600'000'000, row, sizeof row), 0);
  EXPECT_STREQ(row, "123.500000,01:02:03.500000,CH1,\"a,\"\"b\"\"\",23.3\r\n");
}

}  // namespace

namespace {

// The axes' steps and labels at the spans a user zooms through.
TEST(PlotAxis, StepsAndLabels) {
  EXPECT_EQ(plot_value_step(0, 10, 5), 2);
  EXPECT_EQ(plot_value_step(-1, 1, 4), 0.5);
  EXPECT_EQ(plot_value_step(4096, 4098, 4), 0.5);
  EXPECT_EQ(plot_value_step(0, 70000, 5), 20000);
  EXPECT_EQ(plot_time_step(3'000'000, 6), 500'000);
  EXPECT_EQ(plot_time_step(3'600'000'000, 6), 600'000'000);
  EXPECT_EQ(plot_time_step(10 * 86'400'000'000, 5), 2 * 86'400'000'000);
  EXPECT_EQ(plot_first_tick(1'234'567, 500'000), 1'500'000);
  EXPECT_EQ(plot_first_tick(1'500'000, 500'000), 1'500'000);
  char t[16], v[24];
  plot_time_label(86'400'000'000 + 3'723'456'000, 200'000, t);
  EXPECT_STREQ(t, "01:02:03.456");
  plot_time_label(3'723'456'000, 1'000'000, t);
  EXPECT_STREQ(t, "01:02:03");
  plot_time_label(3'723'456'000, 600'000'000, t);
  EXPECT_STREQ(t, "01:02");
  plot_value_label(0.1 + 0.2 - 0.3, 0.5, v);
  EXPECT_STREQ(v, "0.0");
  plot_value_label(4097.5, 0.5, v);
  EXPECT_STREQ(v, "4097.5");
  plot_value_label(-20000, 20000, v);
  EXPECT_STREQ(v, "-20000");
}

}  // namespace
