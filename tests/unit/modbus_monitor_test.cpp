// The passive Modbus monitor over real captures: the builder's frames read
// back, framing by length and by silence, damaged and foreign bytes,
// pairing and latency, both channel layouts, and the CSV.
#include "modbus/modbus_monitor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "rtu_bytes.h"

namespace {

int64_t g_us = 0;
uint32_t fake_tick() { return static_cast<uint32_t>(g_us / 1000); }
int64_t fake_micros() { return g_us; }

using Bytes = std::vector<uint8_t>;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes join(const Bytes& a, const Bytes& b) {
  Bytes r = a;
  r.insert(r.end(), b.begin(), b.end());
  return r;
}

// The builder's worked frames (tests/unit/modbus_test.cpp).
const Bytes kReadTen = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
const Bytes kWriteRegisters = {0x01, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02, 0x92, 0x30};
const Bytes kWriteCoils = {0x01, 0x0F, 0x00, 0x01, 0x00, 0x0A, 0x02, 0x00, 0x00, 0xE4, 0xE9};
const Bytes kWriteSingle = {0x01, 0x06, 0x00, 0x01, 0x00, 0x0A, 0x58, 0x0D};
const Bytes kReportId = {0x01, 0x11, 0xC0, 0x2C};

struct Collect {
  std::string text;
};
int collect_write(void* ctx, const uint8_t* bytes, int n) {
  static_cast<Collect*>(ctx)->text.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(n));
  return 0;
}

struct MonitorFixture : ::testing::Test {
  Capture cap;
  // 9600 baud, 11 bits a character (8 data bits, parity, one stop bit).
  ModbusMonitorOptions opt = {kModbusRtu, 0, {{9600, 110}, {9600, 110}}};
  std::vector<ModbusFrame> frames = std::vector<ModbusFrame>(64);
  int64_t dropped = -1;
  void SetUp() override {
    g_us = 5'000'000;
    cap.tick = fake_tick;
    cap.micros = fake_micros;
    ASSERT_EQ(capture_allocate(&cap), 0);
    capture_clear(&cap);
  }
  void TearDown() override { capture_free(&cap); }
  void append(uint8_t kind, const Bytes& b, int64_t after_us = 0) {
    g_us += after_us;
    ASSERT_EQ(capture_append(&cap, b.data(), static_cast<int>(b.size()), kind, capture_now_us(&cap)), 0);
  }
  void append_untimed(uint8_t kind, const Bytes& b) {
    ASSERT_EQ(capture_append(&cap, b.data(), static_cast<int>(b.size()), kind, kTimeUnknown), 0);
  }
  int decode() {
    frames.assign(frames.size(), ModbusFrame{});
    int32_t n = modbus_monitor_decode(cap.records, cap.times, capture_write_position(&cap), &opt, frames.data(),
                                      static_cast<int32_t>(frames.size()), &dropped);
    return n;
  }
  std::string summary(int i) {
    char s[kModbusMonitorSummaryChars];
    modbus_monitor_summary(&frames[static_cast<size_t>(i)], s);
    return s;
  }
  std::string csv(int n) {
    Collect c;
    ByteSink sink{&c, collect_write};
    const int64_t origin = timeline_first_time_us(cap.records, cap.times, capture_write_position(&cap));
    EXPECT_EQ(modbus_monitor_write_csv(frames.data(), n, origin, &sink), 0);
    return c.text;
  }
  // The checks of frames 0 .. n - 1, for compact comparisons.
  std::vector<int> checks(int n) {
    std::vector<int> r;
    for (int i = 0; i < n; i++) r.push_back(frames[static_cast<size_t>(i)].check);
    return r;
  }
};

TEST_F(MonitorFixture, BuilderRtuRequestsDecodeWithTheirFields) {
  for (const Bytes& b : {kReadTen, kWriteRegisters, kWriteCoils, kWriteSingle, kReportId}) append_untimed(kKindSentCh1, b);
  ASSERT_EQ(decode(), 5);
  EXPECT_EQ(checks(5), std::vector<int>(5, kMonitorOk));
  EXPECT_EQ(summary(0), "addr=0x0000 count=10");
  EXPECT_EQ(summary(1), "addr=0x0001 count=2 bytes=4 values=0x000A,0x0102");
  EXPECT_EQ(summary(2), "addr=0x0001 count=10 bytes=2 bits=0x00,0x00");
  EXPECT_EQ(summary(3), "addr=0x0001 value=0x000A");
  EXPECT_EQ(summary(4), "length=4");  // a code without a layout, cut at its CRC
  const ModbusFrame& w = frames[1];
  EXPECT_EQ(w.first_record, 11);  // after the 8 bytes and 3 markers of the first
  EXPECT_EQ(w.last_record, 23);
  EXPECT_EQ(w.length, 13);
  EXPECT_EQ(w.channel, 1);
  EXPECT_EQ(w.role, kMonitorRequest);
  EXPECT_EQ(w.slave, 1);
  EXPECT_EQ(w.function, 0x10);
  EXPECT_EQ(w.value_count, 2);
  EXPECT_EQ(w.time_us, kTimeUnknown);
  EXPECT_EQ(dropped, 0);
}

TEST_F(MonitorFixture, BuilderAsciiFramesAndTheirChecks) {
  opt.mode = kModbusAscii;
  append(kKindSentCh1, text(":010300010001FA\r\n"));
  append(kKindSentCh1, text(":01100001000204000A0102DB\r\n"), 1000);
  append(kKindSentCh1, text(":01060001000AEF\r\n"), 1000);        // LRC one off
  append(kKindSentCh1, text("xy:0103000100"), 1000);               // noise, then cut by the next ":"
  append(kKindSentCh1, text(":010G\r\n:01030"), 1000);             // not hex; then the end of the capture
  ASSERT_EQ(decode(), 7);
  EXPECT_EQ(checks(7), (std::vector<int>{kMonitorOk, kMonitorOk, kMonitorBadLrc, kMonitorNotModbus, kMonitorTooShort,
                                         kMonitorNotModbus, kMonitorTooShort}));
  EXPECT_EQ(summary(0), "addr=0x0001 count=1");
  EXPECT_EQ(summary(1), "addr=0x0001 count=2 bytes=4 values=0x000A,0x0102");
  EXPECT_EQ(frames[0].mode, kModbusAscii);
  EXPECT_EQ(frames[0].length, 17);
  EXPECT_EQ(frames[3].length, 2);  // "xy"
}

TEST_F(MonitorFixture, ExceptionAnswerPairsWithItsRequest) {
  append(kKindSentCh1, kReadTen);
  append(kKindRecvCh1, rtu({0x01, 0x83, 0x02}), 20'000);
  ASSERT_EQ(decode(), 2);
  EXPECT_EQ(frames[1].check, kMonitorOk);
  EXPECT_EQ(frames[1].exception, 2);
  EXPECT_EQ(summary(1), "exception=02 Illegal Data Address");
  EXPECT_EQ(frames[1].pair, 0);
  EXPECT_EQ(frames[0].pair, 1);
  EXPECT_EQ(frames[1].latency_us, 20'000);
  EXPECT_STREQ(modbus_function_name(0x83), "Read Holding Registers");
  EXPECT_STREQ(modbus_exception_name(0x0B), "Gateway Target Device Failed to Respond");
  EXPECT_STREQ(modbus_function_name(0x64), "Unknown");
  EXPECT_STREQ(modbus_exception_name(0x07), "Unknown");
}

TEST_F(MonitorFixture, AnOutageEndsRunsAndNoAnswerPairsAcrossIt) {
  LineEvent events[kCaptureEvents];
  auto decode_with_events = [&] {
    opt.event_count = capture_copy_events(&cap, events, &opt.base);
    opt.events = events;
    return decode();
  };
  const Bytes answer = rtu({0x01, 0x03, 0x04, 0x00, 0x0A, 0x01, 0x02});
  append(kKindSentCh1, kReadTen);
  append(kKindSentCh2, kReadTen, 100);
  append(kKindRecvCh1, Bytes(answer.begin(), answer.begin() + 4), 20'000);  // the answer's head, then the port is lost
  capture_add_event(&cap, kEventLost, 1, 3, 22);
  capture_add_event(&cap, kEventBack, 1, 3, 2'000);
  capture_add_event(&cap, kEventSettings, 2, 4, 9600);  // breaks nothing on CH2
  append(kKindRecvCh2, answer, 500);
  // Within the RTU silence of the head: without the events it would finish
  // the frame the head began, and pair with the request before the outage.
  append(kKindRecvCh1, Bytes(answer.begin() + 4, answer.end()), 500);
  ASSERT_EQ(decode(), 4);
  EXPECT_EQ(frames[2].check, kMonitorOk);
  EXPECT_EQ(frames[2].pair, 0);
  ASSERT_EQ(decode_with_events(), 5);
  EXPECT_EQ(checks(4), (std::vector<int>{kMonitorOk, kMonitorOk, kMonitorTooShort, kMonitorOk}));
  EXPECT_NE(frames[4].check, kMonitorOk);  // the tail alone
  EXPECT_EQ(frames[0].pair, -1);
  EXPECT_EQ(frames[3].pair, 1);  // CH2 goes on pairing
  EXPECT_EQ(frames[3].latency_us, 20'500);
  // A complete answer after the outage stays alone too.
  append(kKindRecvCh1, answer, 50'000);
  ASSERT_EQ(decode_with_events(), 6);
  EXPECT_EQ(frames[5].check, kMonitorOk);
  EXPECT_EQ(frames[5].pair, -1);
  EXPECT_EQ(frames[0].pair, -1);
}

TEST_F(MonitorFixture, FramesSplitAcrossChunksAndSharingOne) {
  // At 9600 baud 4 bytes take 4.6 ms; a chunk that took its bytes' time is
  // no silence. Then an answer split in three, and two answers in one chunk.
  append(kKindSentCh1, Bytes(kReadTen.begin(), kReadTen.begin() + 4));
  append(kKindSentCh1, Bytes(kReadTen.begin() + 4, kReadTen.end()), 4'600);
  Bytes answer = rtu({0x01, 0x03, 0x04, 0x00, 0x0A, 0x01, 0x02});
  append(kKindRecvCh1, Bytes(answer.begin(), answer.begin() + 2), 30'000);
  append(kKindRecvCh1, Bytes(answer.begin() + 2, answer.begin() + 5), 3'500);
  append(kKindRecvCh1, Bytes(answer.begin() + 5, answer.end()), 4'600);
  append(kKindRecvCh1, join(rtu({0x02, 0x06, 0x00, 0x01, 0x00, 0x0A}), rtu({0x03, 0x10, 0x00, 0x01, 0x00, 0x02})),
         50'000);
  ASSERT_EQ(decode(), 4);
  EXPECT_EQ(checks(4), std::vector<int>(4, kMonitorOk));
  EXPECT_EQ(frames[0].length, 8);
  EXPECT_EQ(frames[1].length, 9);
  EXPECT_EQ(summary(1), "bytes=4 values=0x000A,0x0102");
  EXPECT_EQ(frames[1].time_us, 5'000'000 + 4'600 + 30'000);  // the chunk of its first byte
  EXPECT_EQ(frames[1].latency_us, 30'000);                    // from the request's last chunk
  EXPECT_EQ(frames[2].slave, 2);
  EXPECT_EQ(frames[3].slave, 3);
  EXPECT_EQ(frames[3].first_record, frames[2].first_record + 8);
  EXPECT_EQ(frames[2].pair, -1);  // no request of slave 2
}

TEST_F(MonitorFixture, NoiseBetweenFramesIsOneEntryUntimedAndTimed) {
  append_untimed(kKindSentCh1, join(Bytes{0xFF, 0x00, 0x12}, kReadTen));
  append_untimed(kKindSentCh1, join(kWriteSingle, Bytes{0xF8, 0xF9}));
  append_untimed(kKindSentCh1, kReadTen);
  ASSERT_EQ(decode(), 5);
  EXPECT_EQ(checks(5), (std::vector<int>{kMonitorNotModbus, kMonitorOk, kMonitorOk, kMonitorNotModbus, kMonitorOk}));
  EXPECT_EQ(frames[0].length, 3);
  EXPECT_EQ(frames[3].length, 2);
  EXPECT_EQ(summary(3), "length=2");
  std::string table = csv(5);
  EXPECT_EQ(table.substr(table.find("\r\n") + 2, 44), ",CH1,TX,request,RTU,,,length=3,NOT MODBUS,\r\n");

  // The same with times: noise in front of a frame in one silence-bounded run.
  capture_clear(&cap);
  append(kKindSentCh1, join(Bytes{0xFF, 0x00, 0x12}, kReadTen));
  append(kKindSentCh1, kWriteSingle, 50'000);
  ASSERT_EQ(decode(), 3);
  EXPECT_EQ(checks(3), (std::vector<int>{kMonitorNotModbus, kMonitorOk, kMonitorOk}));

  // More noise before it than one look ahead reaches, in one timed run.
  capture_clear(&cap);
  append(kKindSentCh1, join(Bytes(300, 0xFF), kReadTen));
  append(kKindSentCh1, kWriteSingle, 50'000);
  ASSERT_EQ(decode(), 3);
  EXPECT_EQ(checks(3), (std::vector<int>{kMonitorNotModbus, kMonitorOk, kMonitorOk}));
  EXPECT_EQ(frames[0].length, 300);
}

TEST_F(MonitorFixture, DamagedAndShortRunsBoundedBySilence) {
  Bytes bad = kReadTen;
  bad[7] ^= 0x01;
  append(kKindSentCh1, bad);
  append(kKindSentCh1, {0x01, 0x03, 0x00}, 50'000);                     // cut short
  append(kKindSentCh1, {0x01, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00}, 50'000);  // announces 13
  append(kKindSentCh1, {0x01, 0x41, 0x02, 0x03, 0x04}, 50'000);        // other code, no CRC matches
  append(kKindSentCh1, {0x07}, 50'000);
  append(kKindSentCh1, kReadTen, 50'000);
  ASSERT_EQ(decode(), 6);
  EXPECT_EQ(checks(6), (std::vector<int>{kMonitorBadCrc, kMonitorTooShort, kMonitorTooShort, kMonitorBadCrc,
                                         kMonitorTooShort, kMonitorOk}));
  EXPECT_EQ(summary(0), "addr=0x0000 count=10");  // the fields still read
  EXPECT_EQ(frames[2].length, 8);
  EXPECT_EQ(frames[3].length, 5);
  // A damaged frame at the end of an untimed stream is still a frame.
  capture_clear(&cap);
  append_untimed(kKindSentCh1, kReadTen);
  append_untimed(kKindSentCh1, bad);
  ASSERT_EQ(decode(), 2);
  EXPECT_EQ(checks(2), (std::vector<int>{kMonitorOk, kMonitorBadCrc}));
  // A damaged answer pairs with nothing and leaves the request for the next.
  capture_clear(&cap);
  Bytes answer = rtu({0x01, 0x03, 0x02, 0x00, 0x05});
  Bytes bad_answer = answer;
  bad_answer[4] ^= 0x10;
  append(kKindSentCh1, kReadTen);
  append(kKindRecvCh1, bad_answer, 10'000);
  append(kKindRecvCh1, answer, 40'000);
  ASSERT_EQ(decode(), 3);
  EXPECT_EQ(checks(3), (std::vector<int>{kMonitorOk, kMonitorBadCrc, kMonitorOk}));
  EXPECT_EQ(frames[1].pair, -1);
  EXPECT_EQ(frames[2].pair, 0);
  EXPECT_EQ(frames[2].latency_us, 50'000);
}

TEST_F(MonitorFixture, SilenceAt9600SplitsWhatLengthsCannot) {
  // Two frames of a code without a layout, each in a chunk of its own: only
  // the silence tells that the second one is not part of the first.
  Bytes a = rtu({0x01, 0x41, 0x07});
  Bytes b = rtu({0x01, 0x41, 0x08, 0x09});
  append(kKindSentCh1, {0x01, 0x03, 0x00});  // a fragment first
  append(kKindSentCh1, a, 3'500 + 5 * 1'145);  // quiet 3.5 ms after its own 5 bytes: 4.01 ms is needed
  append(kKindSentCh1, b, 4'100 + 6 * 1'145);
  ASSERT_EQ(decode(), 3);
  EXPECT_EQ(checks(3), (std::vector<int>{kMonitorNotModbus, kMonitorOk, kMonitorOk}));
  // The fragment's run ran on into a; the valid frame inside it makes the
  // bytes before it noise.
  EXPECT_EQ(frames[0].length, 3);
  EXPECT_EQ(frames[1].length, 5);

  capture_clear(&cap);
  append(kKindSentCh1, {0x01, 0x03, 0x00});
  append(kKindSentCh1, a, 4'100 + 5 * 1'145);
  append(kKindSentCh1, b, 4'100 + 6 * 1'145);
  ASSERT_EQ(decode(), 3);
  EXPECT_EQ(checks(3), (std::vector<int>{kMonitorTooShort, kMonitorOk, kMonitorOk}));
  EXPECT_EQ(frames[1].length, 5);
  EXPECT_EQ(frames[2].length, 6);

  // At 115200 the floor of 1.75 ms holds: 1.8 ms of quiet splits.
  capture_clear(&cap);
  opt.shape[0].baud = 115200;
  append(kKindSentCh1, {0x01, 0x03, 0x00});
  append(kKindSentCh1, a, 1'800 + 5 * 95);
  ASSERT_EQ(decode(), 2);
  EXPECT_EQ(checks(2), (std::vector<int>{kMonitorTooShort, kMonitorOk}));
}

TEST_F(MonitorFixture, LineMonitorTakesRequestsOnCh1AndAnswersOnCh2) {
  opt.line_monitor = 1;
  Bytes answer = rtu({0x01, 0x10, 0x00, 0x01, 0x00, 0x02});
  append(kKindRecvCh1, kWriteRegisters);
  append(kKindSentCh1, kReadTen, 1'000);  // sent chunks are not on the tapped line
  append(kKindRecvCh2, answer, 12'000);
  ASSERT_EQ(decode(), 2);
  EXPECT_EQ(frames[0].channel, 1);
  EXPECT_EQ(frames[0].role, kMonitorRequest);
  EXPECT_EQ(frames[1].channel, 2);
  EXPECT_EQ(frames[1].role, kMonitorAnswer);
  EXPECT_EQ(frames[1].pair, 0);
  EXPECT_EQ(frames[1].latency_us, 13'000);
  EXPECT_EQ(frames[0].sent + frames[1].sent, 0);  // both taps receive
  // Without the flag the same capture holds two CH1 requests and a CH2
  // answer that pairs with none of them.
  opt.line_monitor = 0;
  ASSERT_EQ(decode(), 3);
  EXPECT_EQ(frames[0].role, kMonitorAnswer);  // CH1 RX
  EXPECT_EQ(frames[0].check, kMonitorBadCrc);      // a request's layout read as an answer
  EXPECT_EQ(frames[0].length, 13);                 // one frame up to the end of its run
  EXPECT_EQ(frames[2].pair, -1);
}

TEST_F(MonitorFixture, PairingTakesTheLatestUnansweredMatchingRequest) {
  append(kKindSentCh1, rtu({0x05, 0x03, 0x00, 0x00, 0x00, 0x01}));              // 0: slave 5, answered by 5
  append(kKindSentCh2, rtu({0x05, 0x03, 0x00, 0x00, 0x00, 0x01}), 1'000);       // 1: other channel
  append(kKindSentCh1, rtu({0x07, 0x03, 0x00, 0x00, 0x00, 0x01}), 1'000);       // 2: slave 7, answered by 4
  append(kKindSentCh1, rtu({0x05, 0x04, 0x00, 0x00, 0x00, 0x01}), 1'000);       // 3: other function
  append(kKindRecvCh1, rtu({0x07, 0x03, 0x02, 0x00, 0x01}), 10'000);            // 4
  append(kKindRecvCh1, rtu({0x05, 0x03, 0x02, 0x00, 0x02}), 10'000);            // 5
  append(kKindRecvCh1, rtu({0x05, 0x03, 0x02, 0x00, 0x03}), 10'000);            // 6: nothing left
  ASSERT_EQ(decode(), 7);
  EXPECT_EQ(frames[4].pair, 2);
  EXPECT_EQ(frames[4].latency_us, 11'000);
  EXPECT_EQ(frames[5].pair, 0);
  EXPECT_EQ(frames[5].latency_us, 23'000);
  EXPECT_EQ(frames[6].pair, -1);
  EXPECT_EQ(frames[6].latency_us, kTimeUnknown);
  EXPECT_EQ(frames[1].pair, -1);
  EXPECT_EQ(frames[3].pair, -1);
}

// The next poll written before the answer's chunk closed comes first in
// a log saved before the capture kept its times in order, but the answer
// began before it: it answers the poll before.
TEST_F(MonitorFixture, AnswerSeenBeforeTheNextPollPairsWithTheOneBefore) {
  append(kKindSentCh1, kReadTen);
  append(kKindSentCh1, kReadTen, 6'000);
  const Bytes answer = rtu({0x01, 0x03, 0x02, 0x00, 0x01});
  const int64_t seen = capture_now_us(&cap) - 3'600;
  ASSERT_EQ(capture_append(&cap, answer.data(), static_cast<int>(answer.size()), kKindRecvCh1, seen), 0);
  const int32_t end = capture_write_position(&cap) - 3;
  for (int32_t i = end - static_cast<int32_t>(answer.size()); i < end; i++) cap.times[i] = seen;
  ASSERT_EQ(decode(), 3);
  EXPECT_EQ(frames[2].pair, 0);
  EXPECT_EQ(frames[2].latency_us, 2'400);
  EXPECT_EQ(frames[1].pair, -1);
}

TEST_F(MonitorFixture, UnknownTimesFallBackOnLengths) {
  // One chunk holding a request, its answer's layout and more, as a pty may
  // deliver them, without times: every frame by its length and CRC.
  Bytes answer = rtu({0x01, 0x03, 0x14, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20});
  append_untimed(kKindRecvCh1, join(join(answer, rtu({0x01, 0x05, 0x00, 0x03, 0xFF, 0x00})), rtu({0x01, 0x8F, 0x04})));
  append_untimed(kKindSentCh1, kWriteCoils);
  ASSERT_EQ(decode(), 4);
  EXPECT_EQ(checks(4), std::vector<int>(4, kMonitorOk));
  EXPECT_EQ(frames[0].length, 25);
  EXPECT_EQ(frames[0].value_count, 10);
  EXPECT_EQ(summary(1), "addr=0x0003 value=0xFF00");
  EXPECT_EQ(summary(2), "exception=04 Server Device Failure");
  EXPECT_EQ(frames[3].role, kMonitorRequest);
  EXPECT_EQ(frames[3].pair, -1);  // the answers came before it
  EXPECT_EQ(frames[0].time_us, kTimeUnknown);
}

TEST_F(MonitorFixture, LongValueListsAreCutAndSaidSo) {
  Bytes body = {0x01, 0x03, 80};
  for (int i = 0; i < 80; i++) body.push_back(static_cast<uint8_t>(i));
  append_untimed(kKindRecvCh1, rtu(body));
  ASSERT_EQ(decode(), 1);
  EXPECT_EQ(frames[0].value_count, kModbusMonitorValues);
  std::string s = summary(0);
  EXPECT_EQ(s.substr(0, 30), "bytes=80 values=0x0001,0x0203,");
  EXPECT_EQ(s.substr(s.size() - 11), ",0x3E3F,...");
}

TEST_F(MonitorFixture, FullArrayCountsWhatWasDropped) {
  for (int i = 0; i < 5; i++) append(kKindSentCh1, kReadTen, 20'000);
  frames.resize(3);
  EXPECT_EQ(decode(), 3);
  EXPECT_EQ(dropped, 2);
  EXPECT_EQ(frames[2].first_record, 22);
}

TEST_F(MonitorFixture, CsvOfAWorkedCapture) {
  append_untimed(kKindSentCh2, {0xFF});
  append(kKindSentCh1, kWriteRegisters);
  append(kKindRecvCh1, rtu({0x01, 0x10, 0x00, 0x01, 0x00, 0x02}), 12'345);
  append(kKindSentCh1, kReadTen, 100'000);
  append(kKindRecvCh1, rtu({0x01, 0x83, 0x02}), 8'000);
  append(kKindSentCh2, {0x02, 0x05, 0x00, 0x03, 0xFF}, 500'000);
  ASSERT_EQ(decode(), 6);
  EXPECT_EQ(csv(6),
            "time_s,channel,direction,role,mode,slave,function,summary,check,latency_ms\r\n"
            ",CH2,TX,request,RTU,,,length=1,NOT MODBUS,\r\n"
            "0.000000,CH1,TX,request,RTU,1,10,\"addr=0x0001 count=2 bytes=4 values=0x000A,0x0102\",OK,\r\n"
            "0.012345,CH1,RX,answer,RTU,1,10,addr=0x0001 count=2,OK,12.345\r\n"
            "0.112345,CH1,TX,request,RTU,1,03,addr=0x0000 count=10,OK,\r\n"
            "0.120345,CH1,RX,answer,RTU,1,83,exception=02 Illegal Data Address,OK,8.000\r\n"
            "0.620345,CH2,TX,request,RTU,2,05,length=5,TOO SHORT,\r\n");
  // An empty list is the header alone.
  EXPECT_EQ(csv(0), "time_s,channel,direction,role,mode,slave,function,summary,check,latency_ms\r\n");

  // On a line monitor both taps receive: RX on both channels.
  capture_clear(&cap);
  opt.line_monitor = 1;
  append(kKindRecvCh1, kReadTen);
  append(kKindRecvCh2, rtu({0x01, 0x83, 0x02}), 8'000);
  ASSERT_EQ(decode(), 2);
  EXPECT_EQ(csv(2),
            "time_s,channel,direction,role,mode,slave,function,summary,check,latency_ms\r\n"
            "0.000000,CH1,RX,request,RTU,1,03,addr=0x0000 count=10,OK,\r\n"
            "0.008000,CH2,RX,answer,RTU,1,83,exception=02 Illegal Data Address,OK,8.000\r\n");
}

}  // namespace

namespace {

// A megabyte of noise on one stream, as a log of records: every byte lands
// in exactly one frame, and the resync search keeps the work linear (the
// test would take minutes otherwise).
TEST(ModbusMonitor, MegabyteOfNoiseIsAccountedForByteByByte) {
  const int32_t count = 1 << 20;
  std::vector<CaptureRecord> records(static_cast<size_t>(count));
  uint32_t seed = 12345;
  for (CaptureRecord& r : records) {
    seed = seed * 1103515245u + 12345u;
    r.kind = kKindSentCh1;
    r.data = static_cast<uint8_t>(seed >> 16);
    // Slaves and function codes that pass the first look, and ":" starts.
    if ((seed >> 8 & 7) == 0) r.data = 0x01;
    if ((seed >> 8 & 7) == 1) r.data = (seed >> 12 & 1) ? 0x41 : ':';
  }
  std::vector<ModbusFrame> frames(200'000);
  for (int mode : {kModbusRtu, kModbusAscii}) {
    ModbusMonitorOptions opt = {mode, 0, {{9600, 110}, {9600, 110}}};
    int64_t dropped = -1;
    int32_t n = modbus_monitor_decode(records.data(), nullptr, count, &opt, frames.data(),
                                      static_cast<int32_t>(frames.size()), &dropped);
    ASSERT_EQ(dropped, 0);
    ASSERT_GT(n, 0);
    int64_t bytes = 0;
    for (int32_t i = 0; i < n; i++) {
      bytes += frames[static_cast<size_t>(i)].length;
      if (i > 0) ASSERT_EQ(frames[static_cast<size_t>(i)].first_record, frames[static_cast<size_t>(i) - 1].last_record + 1);
    }
    EXPECT_EQ(bytes, count) << "mode " << mode;
  }
}

}  // namespace

// Either mode: the framing that reads more good frames wins, whatever the
// options say; the same bytes, framed either way, decode as they were sent.
TEST_F(MonitorFixture, EitherModeKeepsTheFramingThatReadsMoreFrames) {
  ModbusFrameList out, scratch;
  int32_t mode = -1;
  auto either = [&] {
    EXPECT_EQ(modbus_monitor_decode_either(cap.records, cap.times, capture_write_position(&cap), &opt, &out, &scratch,
                                           &mode, nullptr),
              0);
    frames.assign(out.frames, out.frames + out.n);
    return out.n;
  };
  opt.mode = kModbusRtu;
  append(kKindSentCh1, text(":010300010001FA\r\n"));
  append(kKindSentCh1, text(":01060001000AEE\r\n"), 100000);
  ASSERT_EQ(either(), 2);
  EXPECT_EQ(mode, kModbusAscii);
  EXPECT_EQ(checks(2), std::vector<int>(2, kMonitorOk));
  EXPECT_EQ(frames[0].mode, kModbusAscii);
  EXPECT_EQ(summary(1), "addr=0x0001 value=0x000A");
  EXPECT_EQ(out.dropped, 0);

  capture_clear(&cap);
  opt.mode = kModbusAscii;
  append(kKindSentCh1, kReadTen);
  append(kKindRecvCh1, rtu({0x01, 0x83, 0x02}), 20000);
  ASSERT_EQ(either(), 2);
  EXPECT_EQ(mode, kModbusRtu);
  EXPECT_EQ(frames[1].role, kMonitorAnswer);
  EXPECT_EQ(frames[1].pair, 0);

  capture_clear(&cap);  // nothing either way: RTU
  ASSERT_EQ(either(), 0);
  EXPECT_EQ(mode, kModbusRtu);
  modbus_frame_list_free(&out);
  modbus_frame_list_free(&scratch);
}

// The silence between two chunks of a stream counts each character at the
// channel's own frame bits: at 9600 baud five characters take 5.21 ms with
// 10 bits (8N1) and 5.73 ms with 11 (8E1), so the same 9.64 ms between two
// sends is a silence of 4.43 ms (a frame boundary, 4.01 ms are needed) on
// the one line and 3.91 ms (none) on the other.
TEST_F(MonitorFixture, SilenceCountsTheLinesOwnFrameBits) {
  const Bytes a = rtu({0x01, 0x41, 0x07});
  for (int32_t tenth_bits : {100, 110}) {
    capture_clear(&cap);
    opt.shape[0] = {9600, tenth_bits};
    append(kKindSentCh1, {0x01, 0x03, 0x00});
    append(kKindSentCh1, a, 9'640);
    ASSERT_EQ(decode(), 2) << tenth_bits;
    const int split = tenth_bits == 100;
    EXPECT_EQ(frames[0].check, split ? kMonitorTooShort : kMonitorNotModbus) << tenth_bits;
    EXPECT_EQ(frames[1].check, kMonitorOk);
    EXPECT_EQ(frames[1].length, 5);
  }
}

// A full capture of short frames holds about twice as many as a window's
// list used to keep: the growable list keeps every one, and the CSV writes
// every one.
TEST_F(MonitorFixture, EveryFrameOfAFullCaptureIsKeptAndWritten) {
  Bytes chunk;
  for (int i = 0; i < 25; i++) chunk = join(chunk, kReportId);  // 4-byte frames, 100 bytes a chunk
  int32_t chunks = 0;
  while (capture_write_position(&cap) + 103 <= kCaptureWrapThreshold) {
    append_untimed(kKindSentCh1, chunk);
    chunks++;
  }
  ModbusFrameList list, scratch;
  int32_t mode = -1;
  ASSERT_EQ(modbus_monitor_decode_either(cap.records, cap.times, capture_write_position(&cap), &opt, &list, &scratch,
                                         &mode, nullptr),
            0);
  EXPECT_EQ(mode, kModbusRtu);
  ASSERT_EQ(list.n, 25 * chunks);
  EXPECT_GT(list.n, 16384);
  EXPECT_EQ(list.dropped, 0);
  EXPECT_EQ(list.frames[list.n - 1].last_record, capture_write_position(&cap) - 4);
  for (int32_t i = 0; i < list.n; i++) ASSERT_EQ(list.frames[i].check, kMonitorOk) << i;
  Collect c;
  ByteSink sink{&c, collect_write};
  ASSERT_EQ(modbus_monitor_write_csv(list.frames, list.n, kTimeUnknown, &sink), 0);
  size_t lines = 0;
  for (size_t at = c.text.find("\r\n"); at != std::string::npos; at = c.text.find("\r\n", at + 2)) lines++;
  EXPECT_EQ(lines, static_cast<size_t>(list.n) + 1);
  EXPECT_EQ(c.text.substr(c.text.size() - 39), ",CH1,TX,request,RTU,1,11,length=4,OK,\r\n");
  // Decoding again into the same lists reuses them and finds the same.
  ASSERT_EQ(modbus_monitor_decode_list(cap.records, cap.times, capture_write_position(&cap), &opt, &list, nullptr), 0);
  EXPECT_EQ(list.n, 25 * chunks);
  modbus_frame_list_free(&list);
  modbus_frame_list_free(&scratch);
  EXPECT_EQ(list.frames, nullptr);
  EXPECT_EQ(list.n, 0);
}

// A cancelled decode stops at once and says so, in either entry point.
TEST_F(MonitorFixture, CancelledDecodeStopsAndSaysSo) {
  for (int i = 0; i < 50; i++) append(kKindSentCh1, kReadTen, 20'000);
  std::atomic<int> cancel{1};
  ModbusFrameList list, scratch;
  EXPECT_EQ(modbus_monitor_decode_list(cap.records, cap.times, capture_write_position(&cap), &opt, &list, &cancel), 1);
  EXPECT_EQ(list.n, 0);
  EXPECT_EQ(modbus_monitor_decode_either(cap.records, cap.times, capture_write_position(&cap), &opt, &list, &scratch,
                                         nullptr, &cancel),
            1);
  cancel = 0;
  EXPECT_EQ(modbus_monitor_decode_list(cap.records, cap.times, capture_write_position(&cap), &opt, &list, &cancel), 0);
  EXPECT_EQ(list.n, 50);
  modbus_frame_list_free(&list);
  modbus_frame_list_free(&scratch);
}

// The window's worker against a real capture: the user-interface side polls
// as its timer does and waits for the effect (a finished decode), with a
// deadline.
struct WorkerFixture : MonitorFixture {
  ModbusMonitorWorker worker;
  void TearDown() override {
    modbus_monitor_worker_stop(&worker);
    MonitorFixture::TearDown();
  }
  // Waits until the worker's rest after its latest decode is over.
  void rest_over() {
    for (;;) {
      {
        std::lock_guard<std::mutex> hold(worker.lock);
        if (std::chrono::steady_clock::now() >= worker.rest_until) return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  // Polls until a decode is taken; 1 when one came within 10 s.
  int poll_until_taken() {
    for (int i = 0; i < 10'000; i++) {
      if (modbus_monitor_worker_poll(&worker, &opt)) return 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return 0;
  }
};

TEST_F(WorkerFixture, ShowsTheLatestDecodeAndDecodesAgainOnlyOnChange) {
  ASSERT_EQ(modbus_monitor_worker_start(&worker, &cap), 0);
  EXPECT_EQ(worker.shown.count, -1);  // nothing decoded yet
  ASSERT_TRUE(poll_until_taken());
  EXPECT_EQ(worker.shown.count, 0);
  EXPECT_EQ(worker.shown.frames.n, 0);

  append(kKindSentCh1, kReadTen);
  append(kKindRecvCh1, rtu({0x01, 0x03, 0x02, 0x00, 0x05}), 20'000);
  ASSERT_TRUE(poll_until_taken());
  EXPECT_EQ(worker.shown.count, capture_write_position(&cap));
  ASSERT_EQ(worker.shown.frames.n, 2);
  EXPECT_EQ(worker.shown.frames.frames[1].latency_us, 20'000);
  EXPECT_EQ(worker.shown.origin_us, 5'000'000);
  // Nothing changed: a poll asks for nothing.
  rest_over();
  EXPECT_EQ(modbus_monitor_worker_poll(&worker, &opt), 0);
  EXPECT_EQ(modbus_monitor_worker_busy(&worker), 0);
  // A gap refresh changes no frame: still nothing asked.
  g_us += 500'000;
  capture_refresh_gap(&cap);
  EXPECT_EQ(modbus_monitor_worker_poll(&worker, &opt), 0);
  EXPECT_EQ(modbus_monitor_worker_busy(&worker), 0);

  // Other options decode again: on a line monitor the sent request is not read.
  opt.line_monitor = 1;
  EXPECT_EQ(modbus_monitor_worker_poll(&worker, &opt), 0);
  EXPECT_EQ(modbus_monitor_worker_busy(&worker), 1);
  ASSERT_TRUE(poll_until_taken());
  EXPECT_EQ(worker.shown.frames.n, 1);
  opt.line_monitor = 0;

  // A clear, then the same number of records again: a new capture all the same.
  const int64_t decodes = worker.decodes;
  capture_clear(&cap);
  append(kKindSentCh2, kReadTen);
  append(kKindRecvCh2, rtu({0x01, 0x03, 0x02, 0x00, 0x05}), 20'000);
  ASSERT_TRUE(poll_until_taken());
  EXPECT_GT(worker.decodes, decodes);
  ASSERT_EQ(worker.shown.frames.n, 2);
  EXPECT_EQ(worker.shown.frames.frames[0].channel, 2);
}

// After a decode the worker rests as long as it took: a capture that
// changed meanwhile is decoded once the rest is over, not before.
TEST_F(WorkerFixture, RestsAfterADecodeBeforeTheNext) {
  ASSERT_EQ(modbus_monitor_worker_start(&worker, &cap), 0);
  ASSERT_TRUE(poll_until_taken());
  {
    std::lock_guard<std::mutex> hold(worker.lock);
    worker.rest_until = std::chrono::steady_clock::now() + std::chrono::hours(1);
  }
  append(kKindSentCh1, kReadTen);
  EXPECT_EQ(modbus_monitor_worker_poll(&worker, &opt), 0);
  EXPECT_EQ(modbus_monitor_worker_busy(&worker), 0);
  {
    std::lock_guard<std::mutex> hold(worker.lock);
    worker.rest_until = std::chrono::steady_clock::now();
  }
  ASSERT_TRUE(poll_until_taken());
  EXPECT_EQ(worker.shown.frames.n, 1);
}

// Stopping while a long decode runs (a full capture of one constant byte,
// the slowest content there is) cancels it and frees everything; the
// worker can start again afterwards.
TEST_F(WorkerFixture, StopsWhileADecodeRunsAndStartsAgain) {
  const Bytes sevens(100, 0x07);
  while (capture_write_position(&cap) + 103 <= kCaptureWrapThreshold) append_untimed(kKindSentCh1, sevens);
  for (int round = 0; round < 2; round++) {
    ASSERT_EQ(modbus_monitor_worker_start(&worker, &cap), 0);
    modbus_monitor_worker_poll(&worker, &opt);
    EXPECT_EQ(modbus_monitor_worker_busy(&worker), 1);
    modbus_monitor_worker_stop(&worker);
    EXPECT_FALSE(worker.thread.joinable());
    EXPECT_EQ(worker.shown.frames.frames, nullptr);
    EXPECT_EQ(worker.work.frames.frames, nullptr);
    EXPECT_EQ(worker.snapshot.records, nullptr);
  }
}

// The worker follows a capture that a receive thread keeps appending to:
// every decode it hands over is of one whole snapshot, and once the writer
// stops the decode shown holds every frame written.
TEST(ModbusMonitorConcurrency, WorkerFollowsAWriterThread) {
  Capture cap;
  cap.micros = [] {
    static std::atomic<int64_t> now{0};
    return now.fetch_add(20'000) + 20'000;
  };
  ASSERT_EQ(capture_allocate(&cap), 0);
  capture_clear(&cap);
  ModbusMonitorOptions opt = {kModbusRtu, 0, {{9600, 110}, {9600, 110}}};
  ModbusMonitorWorker worker;
  ASSERT_EQ(modbus_monitor_worker_start(&worker, &cap), 0);
  constexpr int kFrames = 15000;  // more than a wrap's worth of records
  std::atomic<int> written{0};
  std::thread writer([&] {
    for (int i = 0; i < kFrames; i++)
      capture_append(&cap, kReadTen.data(), static_cast<int>(kReadTen.size()), kKindSentCh1, capture_now_us(&cap));
    written = 1;
  });
  int64_t taken = 0;
  auto check_shown = [&] {
    const ModbusMonitorResult& r = worker.shown;
    // One whole snapshot: it ends with a whole chunk, and every frame is
    // good but the first after a wrap, which may have lost its front.
    if (r.count == 0) return;
    ASSERT_GT(r.frames.n, 0);
    ASSERT_EQ(r.frames.frames[r.frames.n - 1].last_record, r.count - 4);
    for (int32_t i = 1; i < r.frames.n; i++) ASSERT_EQ(r.frames.frames[i].check, kMonitorOk) << i;
    // Chunks of 8 bytes and 3 markers: a wrap that cut into a chunk's bytes cut its frame.
    const int64_t cut = r.base % 11;
    ASSERT_EQ(r.frames.frames[0].check == kMonitorOk, cut == 0 || cut >= 8);
  };
  for (int i = 0; i < 20'000 && (writer.joinable() || worker.shown.count != capture_write_position(&cap)); i++) {
    if (modbus_monitor_worker_poll(&worker, &opt)) {
      taken++;
      check_shown();
    }
    if (writer.joinable() && written) writer.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (writer.joinable()) writer.join();
  EXPECT_GT(taken, 0);
  EXPECT_EQ(worker.shown.count, capture_write_position(&cap));
  EXPECT_EQ(worker.shown.base + worker.shown.count, int64_t{kFrames} * 11);
  modbus_monitor_worker_stop(&worker);
  capture_free(&cap);
}

// Modbus TCP on a network channel: frames by their MBAP header whatever
// the chunks, the bad headers and where the stream finds its step again,
// pairing by transaction id, and the channels beside it left as they were.
namespace {

// A TCP frame: transaction id, protocol id, the length of unit and PDU
// (or the one given), then unit and PDU.
Bytes tcp(uint16_t tid, const Bytes& unit_pdu, uint16_t protocol = 0, int length = -1) {
  const int len = length < 0 ? static_cast<int>(unit_pdu.size()) : length;
  Bytes r = {static_cast<uint8_t>(tid >> 8), static_cast<uint8_t>(tid), static_cast<uint8_t>(protocol >> 8),
             static_cast<uint8_t>(protocol), static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)};
  r.insert(r.end(), unit_pdu.begin(), unit_pdu.end());
  return r;
}
Bytes head(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); }
Bytes operator+(const Bytes& a, const Bytes& b) { return join(a, b); }

// The builder's worked TCP frame: read 10 holding registers of unit 1 from 0.
const Bytes kTcpReadTen = {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x0A};
Bytes tcp_read(uint16_t tid) { return tcp(tid, {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}); }

struct TcpFixture : MonitorFixture {
  void SetUp() override {
    MonitorFixture::SetUp();
    opt.tcp[0] = 1;
  }
  // The stream on CH1 TX without times, in chunks of `piece` bytes (0: one chunk).
  void append_pieces(const Bytes& stream, int piece) {
    const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(stream.size());
    const std::ptrdiff_t step = piece > 0 ? piece : size;
    for (std::ptrdiff_t at = 0; at < size; at += step)
      append_untimed(kKindSentCh1, Bytes(stream.begin() + at, stream.begin() + std::min(at + step, size)));
  }
  std::vector<std::pair<int, int>> checks_and_lengths(int n) {
    std::vector<std::pair<int, int>> r;
    for (int i = 0; i < n; i++) r.emplace_back(frames[static_cast<size_t>(i)].check, frames[static_cast<size_t>(i)].length);
    return r;
  }
};

TEST_F(TcpFixture, FramesByTheirHeaderWhateverTheChunks) {
  const Bytes stream = kTcpReadTen + tcp(2, {0x01, 0x06, 0x00, 0x01, 0x00, 0x0A}) +
                       tcp(0xBEEF, {0x02, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02}) +
                       tcp(4, {0xFF, 0x11});
  // One chunk, a byte a chunk, and cuts inside headers and PDUs.
  for (int piece : {0, 1, 5, 7, 13}) {
    capture_clear(&cap);
    append_pieces(stream, piece);
    ASSERT_EQ(decode(), 4) << piece;
    EXPECT_EQ(checks_and_lengths(4), (std::vector<std::pair<int, int>>{
                                         {kMonitorOk, 12}, {kMonitorOk, 12}, {kMonitorOk, 17}, {kMonitorOk, 8}}))
        << piece;
    EXPECT_EQ(summary(0), "tid=0x0001 addr=0x0000 count=10");
    EXPECT_EQ(summary(1), "tid=0x0002 addr=0x0001 value=0x000A");
    EXPECT_EQ(summary(2), "tid=0xBEEF addr=0x0001 count=2 bytes=4 values=0x000A,0x0102");
    EXPECT_EQ(summary(3), "tid=0x0004 length=8");  // a code without a layout
    EXPECT_EQ(frames[2].transaction, 0xBEEF);
    EXPECT_EQ(frames[2].slave, 2);  // the unit id
    EXPECT_EQ(frames[3].slave, 0xFF);
    EXPECT_EQ(frames[0].mode, kModbusTcp);
    EXPECT_EQ(frames[0].first_record, 0);
    EXPECT_EQ(dropped, 0);
  }
}

struct TcpBadCase {
  const char* name;
  Bytes stream;
  std::vector<std::pair<int, int>> want;  // check and length of each frame
};

TEST_F(TcpFixture, BadHeadersCutFramesAndResynchronisation) {
  const Bytes ff5(5, 0xFF);
  const TcpBadCase cases[] = {
      {"protocol id not 0", tcp(1, {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}, 1) + tcp_read(2),
       {{kMonitorBadProtocol, 12}, {kMonitorOk, 12}}},
      {"length 0", tcp(1, {}) + tcp_read(2), {{kMonitorBadLength, 6}, {kMonitorOk, 12}}},
      {"length 1", tcp(1, {0x01}) + tcp_read(2), {{kMonitorBadLength, 7}, {kMonitorOk, 12}}},
      {"length 255", tcp(1, join({0x01, 0x41}, Bytes(253, 0x55))) + tcp_read(2),
       {{kMonitorBadLength, 261}, {kMonitorOk, 12}}},
      {"length above 512 cannot start a frame", tcp(1, {}, 0, 513) + Bytes(10, 0xFF) + tcp_read(2),
       {{kMonitorNotModbus, 16}, {kMonitorOk, 12}}},
      {"PDU longer than its function's, next header where the length says",
       tcp(1, {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0x00}) + tcp_read(2), {{kMonitorBadLength, 13}, {kMonitorOk, 12}}},
      {"length says 8, the function 6 and the next header agrees",
       tcp(1, {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}, 0, 8) + tcp_read(2), {{kMonitorBadLength, 12}, {kMonitorOk, 12}}},
      {"PDU shorter than its fields", tcp(1, {0x01, 0x03, 0x00, 0x00}) + tcp_read(2),
       {{kMonitorBadLength, 10}, {kMonitorOk, 12}}},
      {"cut by the end", tcp_read(1) + head(tcp_read(2), 9), {{kMonitorOk, 12}, {kMonitorTooShort, 9}}},
      {"cut in its header", tcp_read(1) + head(tcp_read(2), 3), {{kMonitorOk, 12}, {kMonitorTooShort, 3}}},
      {"only a cut frame", head(tcp_read(1), 9), {{kMonitorTooShort, 9}}},
      {"noise, then a cut frame", Bytes(7, 0xFF) + head(tcp_read(1), 8), {{kMonitorNotModbus, 15}}},
      {"noise before frames", Bytes{0xFF, 0x00, 0x12} + tcp_read(1) + tcp_read(2),
       {{kMonitorNotModbus, 3}, {kMonitorOk, 12}, {kMonitorOk, 12}}},
      {"noise between frames", tcp_read(1) + tcp_read(2) + ff5 + tcp_read(3) + tcp_read(4),
       {{kMonitorOk, 12}, {kMonitorOk, 12}, {kMonitorNotModbus, 5}, {kMonitorOk, 12}, {kMonitorOk, 12}}},
      // The start of a capture may be the middle of a frame: what looks like
      // a frame there is one only when a frame (or the end) follows it.
      {"first frame followed by noise", tcp_read(1) + ff5 + tcp_read(2), {{kMonitorNotModbus, 17}, {kMonitorOk, 12}}},
      // Amid noise a bad header is no frame, though a sound one follows it.
      {"bad header after noise", ff5 + tcp(1, {}, 7) + tcp_read(2),
       {{kMonitorNotModbus, 11}, {kMonitorOk, 12}}},
  };
  for (const TcpBadCase& c : cases) {
    for (int piece : {0, 1}) {
      capture_clear(&cap);
      append_pieces(c.stream, piece);
      ASSERT_EQ(decode(), static_cast<int>(c.want.size())) << c.name << " piece " << piece;
      EXPECT_EQ(checks_and_lengths(static_cast<int>(c.want.size())), c.want) << c.name << " piece " << piece;
    }
  }
  // What the bad frames still tell.
  capture_clear(&cap);
  append_pieces(tcp_read(7) + tcp(1, {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}, 0, 8) + tcp_read(2) +
                    tcp(9, {0x01, 0x03, 0x00, 0x00}, 3),
                0);
  ASSERT_EQ(decode(), 4);
  EXPECT_EQ(checks(4), (std::vector<int>{kMonitorOk, kMonitorBadLength, kMonitorOk, kMonitorBadProtocol}));
  EXPECT_EQ(summary(1), "tid=0x0001 addr=0x0000 count=10");
  EXPECT_EQ(summary(3), "tid=0x0009 length=10");
  EXPECT_STREQ(modbus_check_name(kMonitorBadLength), "BAD LENGTH");
  EXPECT_STREQ(modbus_check_name(kMonitorBadProtocol), "BAD PROTOCOL");
}

// Answers come back in another order than their requests: each pairs with
// the request of its transaction id, not the latest one.
TEST_F(TcpFixture, AnswersPairByTransactionIdInAnyOrder) {
  append(kKindSentCh1, tcp(1, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01}));             // 0
  append(kKindSentCh1, tcp(2, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), 1'000);      // 1
  append(kKindSentCh1, tcp(3, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), 1'000);      // 2
  append(kKindRecvCh1, tcp(2, {0x01, 0x03, 0x02, 0x00, 0x02}), 10'000);           // 3
  append(kKindRecvCh1, tcp(3, {0x01, 0x83, 0x02}), 10'000);                       // 4: an exception
  append(kKindRecvCh1, tcp(1, {0x01, 0x03, 0x02, 0x00, 0x01}), 10'000);           // 5
  append(kKindRecvCh1, tcp(9, {0x01, 0x03, 0x02, 0x00, 0x09}), 10'000);           // 6: no such request
  append(kKindRecvCh1, tcp(2, {0x01, 0x03, 0x02, 0x00, 0x02}), 10'000);           // 7: answered already
  ASSERT_EQ(decode(), 8);
  EXPECT_EQ(checks(8), std::vector<int>(8, kMonitorOk));
  struct { int answer, request; int64_t latency; } want[] = {
      {3, 1, 11'000}, {4, 2, 20'000}, {5, 0, 32'000}, {6, -1, kTimeUnknown}, {7, -1, kTimeUnknown}};
  for (const auto& w : want) {
    EXPECT_EQ(frames[static_cast<size_t>(w.answer)].pair, w.request) << w.answer;
    EXPECT_EQ(frames[static_cast<size_t>(w.answer)].latency_us, w.latency) << w.answer;
  }
  EXPECT_EQ(summary(4), "tid=0x0003 exception=02 Illegal Data Address");
}

// A TCP channel beside an RTU one: each keeps its framing, in the CSV too,
// and frames of the two never pair.
TEST_F(TcpFixture, ChannelsBesideTcpKeepTheirFramingAndTheCsvSaysWhich) {
  append(kKindSentCh1, tcp(1, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01}));
  append(kKindSentCh2, kReadTen, 1'000);
  append(kKindRecvCh2, rtu({0x01, 0x03, 0x02, 0x00, 0x05}), 5'000);
  append(kKindRecvCh1, tcp(1, {0x01, 0x03, 0x02, 0x00, 0x01}), 2'000);
  ASSERT_EQ(decode(), 4);
  EXPECT_EQ(csv(4),
            "time_s,channel,direction,role,mode,slave,function,summary,check,latency_ms\r\n"
            "0.000000,CH1,TX,request,TCP,1,03,tid=0x0001 addr=0x0000 count=1,OK,\r\n"
            "0.001000,CH2,TX,request,RTU,1,03,addr=0x0000 count=10,OK,\r\n"
            "0.006000,CH2,RX,answer,RTU,1,03,bytes=2 values=0x0005,OK,5.000\r\n"
            "0.008000,CH1,RX,answer,TCP,1,03,tid=0x0001 bytes=2 values=0x0001,OK,8.000\r\n");
  // On a line monitor the two taps of one TCP link pair by transaction id.
  capture_clear(&cap);
  opt.line_monitor = 1;
  opt.tcp[1] = 1;
  append(kKindRecvCh1, tcp(5, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01}));
  append(kKindRecvCh1, tcp(6, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01}), 1'000);
  append(kKindRecvCh2, tcp(5, {0x01, 0x03, 0x02, 0x00, 0x01}), 4'000);
  ASSERT_EQ(decode(), 3);
  EXPECT_EQ(frames[2].pair, 0);
  EXPECT_EQ(frames[2].latency_us, 5'000);
  // Either mode: TCP channels are TCP in both decodes; with both, one decode.
  ModbusFrameList out, scratch;
  int32_t mode = -1;
  ASSERT_EQ(modbus_monitor_decode_either(cap.records, cap.times, capture_write_position(&cap), &opt, &out, &scratch,
                                         &mode, nullptr),
            0);
  EXPECT_EQ(mode, kModbusTcp);
  ASSERT_EQ(out.n, 3);
  EXPECT_EQ(out.frames[2].pair, 0);
  EXPECT_EQ(scratch.n, 0);
  opt.tcp[1] = 0;
  append(kKindRecvCh2, text(":0103020001F9\r\n"), 4'000);  // ASCII on the other tap
  ASSERT_EQ(modbus_monitor_decode_either(cap.records, cap.times, capture_write_position(&cap), &opt, &out, &scratch,
                                         &mode, nullptr),
            0);
  EXPECT_EQ(mode, kModbusAscii);
  ASSERT_EQ(out.n, 4);
  EXPECT_EQ(out.frames[0].mode, kModbusTcp);
  EXPECT_EQ(out.frames[3].mode, kModbusAscii);
  EXPECT_EQ(out.frames[3].check, kMonitorOk);
  modbus_frame_list_free(&out);
  modbus_frame_list_free(&scratch);
}

// A network link carries Modbus TCP or RTU over TCP, and the capture does
// not say which: the reading with more good frames is kept.
TEST_F(MonitorFixture, ANetworkLinkIsReadAsTcpOrAsRtuOverTcp) {
  opt.network[0] = 1;
  ModbusFrameList out, scratch;
  int32_t mode = -1;
  auto either = [&] {
    return modbus_monitor_decode_either(cap.records, cap.times, capture_write_position(&cap), &opt, &out, &scratch,
                                        &mode, nullptr);
  };
  append(kKindSentCh1, tcp(7, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01}));
  append(kKindRecvCh1, tcp(7, {0x01, 0x03, 0x02, 0x12, 0x34}), 3'000);
  ASSERT_EQ(either(), 0);
  EXPECT_EQ(mode, kModbusTcp);
  ASSERT_EQ(out.n, 2);
  EXPECT_EQ(out.frames[1].check, kMonitorOk);
  EXPECT_EQ(out.frames[1].pair, 0);
  // RTU frames on the same link stay RTU, with their CRC checked.
  capture_clear(&cap);
  append(kKindSentCh1, kReadTen);
  append(kKindRecvCh1, rtu({0x01, 0x03, 0x02, 0x00, 0x05}), 5'000);
  ASSERT_EQ(either(), 0);
  EXPECT_EQ(mode, kModbusRtu);
  ASSERT_EQ(out.n, 2);
  EXPECT_EQ(out.frames[0].mode, kModbusRtu);
  EXPECT_EQ(out.frames[1].check, kMonitorOk);
  modbus_frame_list_free(&out);
  modbus_frame_list_free(&scratch);
}

// A break of the line ends the frame it cut; the new connection's first
// frame decodes whole.
TEST_F(TcpFixture, ABreakOfTheLineCutsTheFrameInFlight) {
  LineEvent events[kCaptureEvents];
  append(kKindSentCh1, tcp_read(1) + head(tcp_read(2), 7));
  capture_add_event(&cap, kEventLost, 1, 3, 22);
  capture_add_event(&cap, kEventBack, 1, 3, 2'000);
  append(kKindSentCh1, tcp_read(3), 500);
  opt.event_count = capture_copy_events(&cap, events, &opt.base);
  opt.events = events;
  ASSERT_EQ(decode(), 3);
  EXPECT_EQ(checks_and_lengths(3), (std::vector<std::pair<int, int>>{
                                       {kMonitorOk, 12}, {kMonitorTooShort, 7}, {kMonitorOk, 12}}));
}

// A megabyte of zero-heavy noise on a TCP stream: every byte lands in
// exactly one frame, and the work stays linear.
TEST(ModbusMonitorTcp, MegabyteOfNoiseIsAccountedForByteByByte) {
  const int32_t count = 1 << 20;
  std::vector<CaptureRecord> records(static_cast<size_t>(count));
  uint32_t seed = 777;
  for (CaptureRecord& r : records) {
    seed = seed * 1103515245u + 12345u;
    r.kind = kKindSentCh1;
    r.data = (seed >> 8 & 3) == 0 ? static_cast<uint8_t>(seed >> 16) : (seed >> 12 & 1) ? 0x00 : 0x06;
  }
  ModbusMonitorOptions opt = {kModbusRtu, 0, {{9600, 110}, {9600, 110}}};
  opt.tcp[0] = 1;
  ModbusFrameList list;
  ASSERT_EQ(modbus_monitor_decode_list(records.data(), nullptr, count, &opt, &list, nullptr), 0);
  ASSERT_EQ(list.dropped, 0);
  ASSERT_GT(list.n, 0);
  int64_t bytes = 0;
  int32_t framed = 0;
  for (int32_t i = 0; i < list.n; i++) {
    const ModbusFrame& f = list.frames[i];
    bytes += f.length;
    framed += f.check != kMonitorNotModbus;
    if (i > 0) ASSERT_EQ(f.first_record, list.frames[i - 1].last_record + 1);
  }
  EXPECT_EQ(bytes, count);
  EXPECT_GT(framed, 0);  // the zeros make sound headers now and then
  modbus_frame_list_free(&list);
}

}  // namespace
