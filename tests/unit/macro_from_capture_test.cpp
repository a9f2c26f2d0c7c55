#include "macro/macro_from_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fake_codec.h"
#include "macro/macro.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The clocks the recording capture reads: ticks for its gap digits, µs for
// the chunk times.
uint32_t g_tick_ms = 0;
uint32_t tick_now() { return g_tick_ms; }

// A capture recorded by the program: chunks appended at given moments.
struct Recording {
  Capture cap;
  bool with_times = true;
  // 9600 baud 8N1 on both channels, the default read interval.
  MacroReplayLines lines = {{{9600, 100}, {9600, 100}}, {100, 100}};
  Recording() {
    capture_allocate(&cap);
    capture_clear(&cap);
    cap.tick = tick_now;
    g_tick_ms = 0;
  }
  ~Recording() { capture_free(&cap); }
  void add(uint32_t at_ms, uint8_t kind, const Bytes& b) {
    g_tick_ms = at_ms;
    int64_t t = with_times ? 5000000 + static_cast<int64_t>(at_ms) * 1000 : kTimeUnknown;
    ASSERT_EQ(capture_append(&cap, b.data(), static_cast<int>(b.size()), kind, t), 0);
  }
  // Ends the latest chunk's gap as the program's timer would.
  void close(uint32_t at_ms) {
    g_tick_ms = at_ms;
    capture_refresh_gap(&cap);
  }
  int32_t last() const { return capture_write_position(&cap) - 1; }
  Bytes macro(MacroFromCaptureResult* result = nullptr) {
    std::vector<uint8_t> out(200000);
    size_t written = 0;
    MacroFromCaptureResult r = macro_from_capture_into(cap.records, with_times ? cap.times : nullptr, 0, last(),
                                                        &lines, out.data(), out.size(), &written);
    if (result) *result = r;
    out.resize(written);
    return out;
  }
};

std::u16string units_of(const Bytes& file) {
  std::u16string s;
  for (size_t i = 0; i + 1 < file.size(); i += 2) s.push_back(static_cast<char16_t>(file[i] | file[i + 1] << 8));
  return s;
}

std::string ascii_of(const Bytes& file) {
  std::string s;
  for (char16_t u : units_of(file)) s.push_back(u < 0x80 ? static_cast<char>(u) : '#');
  return s;
}

// A device on the far side of the port: each answer is given once the
// macro has written `after` bytes in all, `delay` ms after that write.
struct Answer {
  size_t after;
  uint32_t delay;
  uint8_t kind;
  Bytes bytes;
};

struct Device {
  uint32_t now = 1000;
  Capture cap;
  AnsiCodec codec = {nullptr, fake_encode};
  MacroHost host;
  std::vector<Answer> script;
  std::vector<bool> given;
  struct Arrival {
    uint32_t at;
    uint8_t kind;
    Bytes bytes;
  };
  std::vector<Arrival> arrivals;
  std::vector<std::pair<int, Bytes>> writes;
  size_t written = 0;
  std::vector<std::u16string> shown;

  Device() {
    host = {this, &cap, &codec, now_of, write_to, show_step};
    capture_allocate(&cap);
    capture_clear(&cap);
  }
  ~Device() { capture_free(&cap); }
  static uint32_t now_of(void* ctx) { return static_cast<Device*>(ctx)->now; }
  static int write_to(void* ctx, int channel, const uint8_t* bytes, int count) {
    Device* d = static_cast<Device*>(ctx);
    d->writes.push_back({channel, Bytes(bytes, bytes + count)});
    d->written += static_cast<size_t>(count);
    d->given.resize(d->script.size());
    for (size_t i = 0; i < d->script.size(); i++)
      if (!d->given[i] && d->script[i].after <= d->written) {
        d->given[i] = true;
        d->arrivals.push_back({d->now + d->script[i].delay, d->script[i].kind, d->script[i].bytes});
      }
    return 0;
  }
  static void show_step(void* ctx, int32_t, int32_t, const char16_t* line, int count) {
    static_cast<Device*>(ctx)->shown.push_back(std::u16string(line, static_cast<size_t>(count)));
  }
  void pass(uint32_t ms) {
    now += ms;
    for (size_t i = 0; i < arrivals.size();) {
      if (static_cast<int32_t>(now - arrivals[i].at) >= 0) {
        capture_append(&cap, arrivals[i].bytes.data(), static_cast<int>(arrivals[i].bytes.size()), arrivals[i].kind,
                       kTimeUnknown);
        arrivals.erase(arrivals.begin() + static_cast<long>(i));
      } else {
        i++;
      }
    }
  }
  Bytes wire(int channel) const {
    Bytes all;
    for (auto& w : writes)
      if (w.first == channel) all.insert(all.end(), w.second.begin(), w.second.end());
    return all;
  }
};

// Loads the macro and runs it the way the macro dialog does; returns how it
// ended and leaves in *line the text of the line before the one it ended on.
struct Replay {
  std::unique_ptr<MacroState> m{new MacroState()};
  int outcome = -1;
  std::u16string text;
  // The label line the macro passed last before it ended.
  std::u16string last_label() const {
    std::u16string label;
    size_t p = 0;
    while (p < static_cast<size_t>(m->position) && p < text.size()) {
      size_t e = text.find(u"\r\n", p);
      if (e == std::u16string::npos) break;
      if (text[p] == u':') label = text.substr(p, e - p);
      p = e + 2;
    }
    return label;
  }
};

void run(const Bytes& file, Device* d, Replay* r) {
  ASSERT_EQ(macro_load(r->m.get(), file.data(), file.size()), kMacroLoadOk);
  r->text = units_of(file);
  macro_start(r->m.get(), &d->cap);
  for (int i = 0; i < 200000; i++) {
    int o = macro_step(r->m.get(), &d->host);
    if (o == kMacroWaiting) {
      d->pass(kMacroPollMs);
      continue;
    }
    if (o != kMacroNext) {
      r->outcome = o;
      return;
    }
  }
}

// The text from the final comment on: the macro ended on its last line.
bool ended_on_final_pend(const Replay& r) {
  return r.outcome == kMacroEnded && r.text.compare(static_cast<size_t>(r.m->position), 6, u"PEND\r\n") == 0 &&
         static_cast<size_t>(r.m->position) + 6 == r.text.size();
}

TEST(MacroFromCapture, SmallExchangeGivesThisText) {
  Recording rec;
  rec.add(0, kKindSentCh1, text("AT\r"));
  rec.add(120, kKindRecvCh1, text("OK\r\n"));
  rec.add(1000, kKindSentCh2, text("x\x01yz"));
  rec.add(1050, kKindRecvCh2, text("\x06"));
  MacroFromCaptureResult r;
  Bytes file = rec.macro(&r);
  ASSERT_GE(file.size(), 2u);
  EXPECT_EQ(file[0], 0xFF);
  EXPECT_EQ(file[1], 0xFE);
  EXPECT_EQ(ascii_of(file),
            "#; Quorrin macro from the capture, records 0 to 23\r\n"
            "; 0.000 s: CH1 sent 3 bytes\r\n"
            "RRST \r\n"
            "SEND \"AT\"0D\r\n"
            "; 0.120 s: CH1 received 4 bytes, step 01\r\n"
            "MCLR 01\r\n"
            "ZRED 01,004,009\r\n"
            "CMPL 01,P01,\"OK\"0D0A\r\n"
            ":F01\r\n"
            "; step 01 failed: the CH1 answer of 0.120 s differs from the capture\r\n"
            "PEND\r\n"
            ":P01\r\n"
            "TIME 009\r\n"
            "; 1.000 s: CH2 sent 4 bytes\r\n"
            "RRST \r\n"
            "SED2 7801\"yz\"\r\n"
            "; 1.050 s: CH2 received 1 bytes, step 02\r\n"
            "MCLR 01\r\n"
            "ZRD2 01,001,007\r\n"
            "CMPL 01,P02,06\r\n"
            ":F02\r\n"
            "; step 02 failed: the CH2 answer of 1.050 s differs from the capture\r\n"
            "PEND\r\n"
            ":P02\r\n"
            "; every answer came as captured\r\n"
            "PEND\r\n");
  EXPECT_EQ(r.status, kMacroFromCaptureOk);
  EXPECT_EQ(r.send_lines, 2);
  EXPECT_EQ(r.steps, 2);
  EXPECT_EQ(r.unchecked_bytes, 0);
  EXPECT_EQ(r.units, static_cast<int64_t>(file.size() / 2));
  EXPECT_EQ(r.too_long, 0);
}

// A session of three exchanges on both channels, the answer of the second
// arriving in two chunks.
struct Session : ::testing::Test {
  Recording rec;
  Bytes file;
  void SetUp() override {
    rec.add(0, kKindSentCh1, text("PING\r"));
    rec.add(80, kKindRecvCh1, text("PONG\r\n"));
    rec.add(500, kKindSentCh1, text("READ 7\r"));
    rec.add(700, kKindRecvCh1, text("VAL"));
    rec.add(720, kKindRecvCh1, text("=42\r\n"));
    rec.add(2000, kKindSentCh2, Bytes{0x02, 0x10, 0x03});
    rec.add(2030, kKindRecvCh2, Bytes{0x06, 0x00});
    file = rec.macro();
  }
  void script(Device* d, const Bytes& second, const Bytes& third) {
    d->script = {{5, 80, kKindRecvCh1, text("PONG\r\n")},
                 {12, 150, kKindRecvCh1, Bytes(second.begin(), second.begin() + 2)},
                 {12, 170, kKindRecvCh1, Bytes(second.begin() + 2, second.end())},
                 {15, 30, kKindRecvCh2, third}};
  }
};

TEST_F(Session, AnsweredAsCapturedEndsAtTheFinalPendHavingSentTheSameBytes) {
  std::string t = ascii_of(file);
  // VAL and =42 are one answer: twice its 0.2 s latency and its 17 ms
  // pause, 8 bytes at 9600 baud, the 100 ms read interval, the margin.
  EXPECT_NE(t.find("ZRED 01,008,011\r\n"), std::string::npos) << t;
  // From the end of PONG's bytes to the start of the request's: 0.41 s.
  EXPECT_NE(t.find("TIME 005\r\n"), std::string::npos) << t;
  Device d;
  script(&d, text("VAL=42\r\n"), Bytes{0x06, 0x00});
  Replay r;
  run(file, &d, &r);
  EXPECT_TRUE(ended_on_final_pend(r));
  EXPECT_EQ(d.wire(1), text("PING\rREAD 7\r"));
  EXPECT_EQ(d.wire(2), Bytes({0x02, 0x10, 0x03}));
  ASSERT_EQ(d.writes.size(), 3u);
  EXPECT_EQ(d.writes[1].second, text("READ 7\r"));
  EXPECT_EQ(r.last_label(), u":P03");
}

TEST_F(Session, ADifferentAnswerStopsAtTheFailureLabelOfItsStep) {
  Device d;
  script(&d, text("VAL=43\r\n"), Bytes{0x06, 0x00});
  Replay r;
  run(file, &d, &r);
  EXPECT_EQ(r.outcome, kMacroEnded);
  EXPECT_EQ(r.last_label(), u":F02");
  EXPECT_EQ(d.wire(2), Bytes());  // the third exchange never started
}

TEST_F(Session, AMissingOrShortAnswerFails) {
  Device d;
  script(&d, text("VAL=42\r\n"), Bytes{0x06, 0x00});
  d.script[3].bytes = {0x06};  // the trailing 00 never comes
  Replay r;
  run(file, &d, &r);
  EXPECT_EQ(r.last_label(), u":F03");

  Device quiet;
  Replay r2;
  run(file, &quiet, &r2);
  EXPECT_EQ(r2.last_label(), u":F01");
  EXPECT_EQ(quiet.wire(1), text("PING\r"));
}

TEST_F(Session, AnAnswerBeforeTheReadStartsIsStillCounted) {
  // The device answers within the same tick as the send, before the read
  // line runs: the read from the mark set before the send finds it.
  Device d;
  script(&d, text("VAL=42\r\n"), Bytes{0x06, 0x00});
  for (auto& a : d.script) a.delay = 0;
  Replay r;
  run(file, &d, &r);
  EXPECT_TRUE(ended_on_final_pend(r));
}

TEST(MacroFromCapture, LongSendsAreSplitOverLines) {
  Recording rec;
  Bytes big;
  for (int i = 0; i < 380; i++) big.push_back(static_cast<uint8_t>(i * 7));
  Bytes printable(300, 'A');
  rec.add(0, kKindSentCh1, big);
  rec.add(300, kKindSentCh2, printable);
  MacroFromCaptureResult res;
  Bytes file = rec.macro(&res);
  std::u16string t = units_of(file);
  size_t p = 0;
  int lines = 0;
  while (p < t.size()) {
    size_t e = t.find(u"\r\n", p);
    ASSERT_NE(e, std::u16string::npos);
    EXPECT_LE(e - p, static_cast<size_t>(kMacroLineUnits));
    if (t.compare(p, 5, u"SEND ") == 0 || t.compare(p, 5, u"SED2 ") == 0) lines++;
    p = e + 2;
  }
  EXPECT_EQ(lines, res.send_lines);
  EXPECT_GE(lines, 5);  // 380 bytes, mostly hex pairs, and 300 quoted characters
  Device d;
  Replay r;
  run(file, &d, &r);
  EXPECT_TRUE(ended_on_final_pend(r));
  EXPECT_EQ(d.wire(1), big);
  EXPECT_EQ(d.wire(2), printable);
}

TEST(MacroFromCapture, AnswerLongerThanASlotIsComparedInSlotSizedParts) {
  Recording rec;
  Bytes answer;
  for (int i = 0; i < 300; i++) answer.push_back(static_cast<uint8_t>(i));
  rec.add(0, kKindSentCh1, text("DUMP\r"));
  rec.add(100, kKindRecvCh1, Bytes(answer.begin(), answer.begin() + 128));
  rec.add(150, kKindRecvCh1, Bytes(answer.begin() + 128, answer.end()));
  rec.add(900, kKindSentCh1, text("NEXT\r"));
  MacroFromCaptureResult res;
  Bytes file = rec.macro(&res);
  std::string t = ascii_of(file);
  EXPECT_EQ(res.unchecked_bytes, 0);
  EXPECT_NE(t.find("ZRED 01,300,012\r\n"), std::string::npos) << t;  // waits for all 300
  // Then bytes 265 to 300, from the mark past the 264 compared already.
  EXPECT_NE(t.find("GOTO F01\r\n:Q01\r\nZSKP 264\r\nMCLR 01\r\nZRED 01,036,001\r\nZSKP 000\r\nCMPL 01,P01,"),
            std::string::npos) << t;
  EXPECT_NE(t.find("MADD 02,03\r\n"), std::string::npos);            // expected built in parts
  EXPECT_NE(t.find("CMPM 01,02,Q01\r\n"), std::string::npos);

  Device d;
  d.script = {{5, 100, kKindRecvCh1, Bytes(answer.begin(), answer.begin() + 200)},
              {5, 140, kKindRecvCh1, Bytes(answer.begin() + 200, answer.end())}};
  Replay r;
  run(file, &d, &r);
  EXPECT_TRUE(ended_on_final_pend(r));
  EXPECT_EQ(d.wire(1), text("DUMP\rNEXT\r"));

  for (int wrong : {0, 127, 263, 264, 299}) {
    Bytes bad = answer;
    bad[static_cast<size_t>(wrong)] ^= 0x55;
    Device d2;
    d2.script = {{5, 100, kKindRecvCh1, bad}};
    Replay r2;
    run(file, &d2, &r2);
    EXPECT_EQ(r2.last_label(), u":F01") << wrong;
  }
}

TEST(MacroFromCapture, UnknownTimesComeFromTheGapDigits) {
  Recording rec;
  rec.with_times = false;
  rec.add(0, kKindSentCh1, text("ID?\r"));
  rec.add(250, kKindRecvCh1, text("Q-1\r\n"));
  rec.add(1550, kKindSentCh1, text("BYE\r"));
  rec.close(1600);
  Bytes file = rec.macro();
  std::string t = ascii_of(file);
  EXPECT_NE(t.find("ZRED 01,005,011\r\n"), std::string::npos) << t;  // gap 2 tenths, twice, and the rest
  EXPECT_NE(t.find("TIME 013\r\n"), std::string::npos) << t;
  EXPECT_NE(t.find("; 1.500 s: CH1 sent 4 bytes"), std::string::npos) << t;

  Device d;
  d.script = {{4, 250, kKindRecvCh1, text("Q-1\r\n")}};
  Replay r;
  run(file, &d, &r);
  EXPECT_TRUE(ended_on_final_pend(r));
  EXPECT_EQ(d.wire(1), text("ID?\rBYE\r"));

  // The answer comes later than the read's limit: the read gives up.
  Device slow;
  slow.script = {{4, 1200, kKindRecvCh1, text("Q-1\r\n")}};
  Replay r2;
  run(file, &slow, &r2);
  EXPECT_EQ(r2.last_label(), u":F01");
}

TEST(MacroFromCapture, LongSilencesAndLongWaitsStayWithinTheFields) {
  Recording rec;
  rec.add(0, kKindSentCh1, text("GO"));
  rec.add(70000, kKindRecvCh1, text("DONE"));   // 70 s: twice is past 99.9 s
  rec.add(200000, kKindSentCh1, text("END"));   // 130 s of silence
  std::string t = ascii_of(rec.macro());
  EXPECT_NE(t.find("ZRED 01,004,999\r\n"), std::string::npos) << t;
  EXPECT_NE(t.find("; the answer needs 140.6 s; a read waits at most 99.9 s\r\n"), std::string::npos) << t;
  EXPECT_NE(t.find("TIME 999\r\nTIME 301\r\n"), std::string::npos) << t;
}

TEST(MacroFromCapture, ASelectionStartsInTheMiddleAndAnswersWithoutASend) {
  Recording rec;
  rec.add(0, kKindRecvCh1, text("HELLO"));
  rec.add(400, kKindRecvCh2, text("WORLD"));
  // From the third byte of HELLO: 3 bytes, then WORLD 0.4 s later.
  std::vector<uint8_t> out(4096);
  size_t n = 0;
  MacroFromCaptureResult r = macro_from_capture_into(rec.cap.records, rec.cap.times, 2, rec.last(), nullptr, out.data(),
                                                     out.size(), &n);
  out.resize(n);
  std::string t = ascii_of(out);
  EXPECT_EQ(r.steps, 2);
  EXPECT_NE(t.find("; nothing was sent before this answer: the read waits at least 1 s\r\nMCLR 01\r\n"
                   "ZRED 01,003,010\r\n"
                   "CMPL 01,P01,\"LLO\"\r\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("ZRD2 01,005,014\r\n"), std::string::npos) << t;
}

TEST(MacroFromCapture, RefusesWhatItCannotWrite) {
  Recording rec;
  rec.add(0, kKindSentCh1, text("PING\r"));
  uint8_t small[64];
  size_t n = 0;
  MacroFromCaptureResult r =
      macro_from_capture_into(rec.cap.records, rec.cap.times, 0, rec.last(), nullptr, small, sizeof small, &n);
  EXPECT_EQ(r.status, kMacroFromCaptureSinkFailed);
  EXPECT_LE(n, sizeof small);
  EXPECT_EQ(n % 2, 0u);
  r = macro_from_capture_into(rec.cap.records, rec.cap.times, 5, 2, nullptr, small, sizeof small, &n);
  EXPECT_EQ(r.status, kMacroFromCaptureBadRange);
  EXPECT_EQ(n, 0u);
  // Only gap markers in the range: nothing to replay.
  std::vector<uint8_t> out(4096);
  r = macro_from_capture_into(rec.cap.records, rec.cap.times, 5, rec.last(), nullptr, out.data(), out.size(), &n);
  EXPECT_EQ(r.status, kMacroFromCaptureNothing);
}

TEST(MacroFromCapture, ManyStepsGetUniqueLabelsAndBigCapturesSayTheyDoNotFit) {
  Recording rec;
  for (int i = 0; i < 150; i++) {
    rec.add(static_cast<uint32_t>(i * 100), kKindSentCh1, text("Q"));
    rec.add(static_cast<uint32_t>(i * 100 + 20), kKindRecvCh1, text("A"));
  }
  MacroFromCaptureResult res;
  Bytes file = rec.macro(&res);
  EXPECT_EQ(res.steps, 150);
  EXPECT_EQ(res.too_long, 1);
  std::string t = ascii_of(file);
  std::vector<std::string> labels;
  for (size_t p = t.find("\r\n:"); p != std::string::npos; p = t.find("\r\n:", p + 2))
    labels.push_back(t.substr(p + 2, 4));
  EXPECT_EQ(labels.size(), 300u);
  std::sort(labels.begin(), labels.end());
  EXPECT_EQ(std::adjacent_find(labels.begin(), labels.end()), labels.end());
  EXPECT_NE(t.find(":FA0\r\n"), std::string::npos);  // step 100
}


// The replay against a device that answers as recorded, with time
// simulated to the microsecond: the bytes take their time on each line at
// its speed, and each channel's receive thread cuts them into chunks as the
// port's time-outs make it (at most 100 bytes a read; a read ends once the
// line has been quiet for the read interval or when its whole time-out has
// run out) and hands each chunk to the capture as its read ends. The macro
// runs as the dialog runs it: one line per 50 ms tick, a waiting command
// looked at every 10 ms.
namespace line_sim {

constexpr int kChunk = 100;
constexpr LineTimeouts kTimeouts = kLineTimeouts;

struct World;
World* g_world = nullptr;

// Bytes on their way to the device's far end: for each channel, when each
// byte has been received whole.
struct Wire {
  std::vector<int64_t> ends;
  std::vector<uint8_t> bytes;
  size_t taken = 0;        // bytes already handed to the capture
  int64_t line_free = 0;   // when the device may start its next byte
  int64_t read_from = -1;  // the read in progress began then; -1: none
};

// What the device says after a request: bytes on one channel, `after` µs
// after the request's last byte ended (or after the device's previous
// bytes on that line, whichever is later).
struct Part {
  uint8_t kind;
  Bytes bytes;
  int64_t after;
};

struct World {
  Capture cap;
  int64_t now = 7000000;
  LineShape shape[2];
  Wire wire[2];
  std::vector<std::vector<Part>> answers;  // by request, in the order the requests come
  size_t requests = 0;
  std::vector<std::pair<int, Bytes>> sent;
  AnsiCodec codec = {nullptr, fake_encode};
  MacroHost host;

  explicit World(LineShape s) {
    shape[0] = shape[1] = s;
    capture_allocate(&cap);
    capture_clear(&cap);
    cap.micros = micros;
    cap.tick = tick;
    host = {this, &cap, &codec, now_ms, write, nullptr};
    g_world = this;
  }
  ~World() {
    capture_free(&cap);
    g_world = nullptr;
  }
  static int64_t micros() { return g_world->now; }
  static uint32_t tick() { return static_cast<uint32_t>(g_world->now / 1000); }
  static uint32_t now_ms(void* ctx) { return static_cast<uint32_t>(static_cast<World*>(ctx)->now / 1000); }

  // The device puts `bytes` on channel ch's line from `start` on.
  void transmit(int ch, const Bytes& bytes, int64_t start) {
    Wire& w = wire[ch];
    int64_t at = start > w.line_free ? start : w.line_free;
    for (size_t i = 0; i < bytes.size(); i++) {
      w.ends.push_back(at + line_chars_us(shape[ch], static_cast<int64_t>(i) + 1));
      w.bytes.push_back(bytes[i]);
    }
    w.line_free = w.ends.back();
  }

  // The end of the read in progress on channel ch, or -1 when it has not
  // ended by `until`; *n gets the bytes it takes.
  int64_t read_end(int ch, int64_t until, size_t* n) {
    Wire& w = wire[ch];
    const int64_t whole = w.read_from + (kTimeouts.read_total_constant +
                                         static_cast<int64_t>(kTimeouts.read_total_multiplier) * kChunk) * 1000;
    const int64_t interval = static_cast<int64_t>(kTimeouts.read_interval) * 1000;
    size_t i = w.taken;
    int64_t end = -1;
    for (;;) {
      // Byte i - 1 is in; the read waits for byte i.
      if (i - w.taken == kChunk) {
        end = w.ends[i - 1] > w.read_from ? w.ends[i - 1] : w.read_from;
        break;
      }
      int64_t quiet = i > w.taken ? (w.ends[i - 1] > w.read_from ? w.ends[i - 1] : w.read_from) + interval : whole;
      int64_t limit = quiet < whole ? quiet : whole;
      if (i < w.ends.size() && w.ends[i] <= limit) {
        i++;
        continue;
      }
      end = limit;
      break;
    }
    *n = i - w.taken;
    return end <= until ? end : -1;
  }

  // Moves the clock to `t`, handing every chunk whose read ends by then to
  // the capture, in the order the reads end.
  void pass_to(int64_t t) {
    for (;;) {
      int best = -1;
      int64_t best_end = 0;
      size_t best_n = 0;
      for (int ch = 0; ch < 2; ch++) {
        Wire& w = wire[ch];
        if (w.read_from < 0) {
          if (w.taken < w.ends.size() && w.ends[w.taken] <= t) w.read_from = w.ends[w.taken];
          else continue;
        }
        size_t n = 0;
        int64_t e = read_end(ch, t, &n);
        if (e >= 0 && (best < 0 || e < best_end)) best = ch, best_end = e, best_n = n;
      }
      if (best < 0) break;
      Wire& w = wire[best];
      now = best_end;
      const int64_t seen = w.read_from;
      capture_append(&cap, w.bytes.data() + w.taken, static_cast<int>(best_n), best == 0 ? kKindRecvCh1 : kKindRecvCh2,
                     seen);
      w.taken += best_n;
      // Bytes already queued are read at once; else the thread waits for the next.
      w.read_from = w.taken < w.ends.size() && w.ends[w.taken] <= best_end ? best_end : -1;
    }
    if (t > now) now = t;
  }

  // A send: the write returns when its bytes have left; the device answers.
  static int write(void* ctx, int channel, const uint8_t* bytes, int count) {
    World* d = static_cast<World*>(ctx);
    d->sent.push_back({channel, Bytes(bytes, bytes + count)});
    d->pass_to(d->now + line_chars_us(d->shape[channel - 1], count));
    if (d->requests < d->answers.size())
      for (const Part& p : d->answers[d->requests]) d->transmit(p.kind == kKindRecvCh1 ? 0 : 1, p.bytes, d->now + p.after);
    d->requests++;
    return 0;
  }

  // The user's send in the recording, recorded as the program does.
  void user_send(int channel, const Bytes& b) {
    write(this, channel, b.data(), static_cast<int>(b.size()));
    capture_append(&cap, b.data(), static_cast<int>(b.size()), channel == 1 ? kKindSentCh1 : kKindSentCh2, now);
  }
};

// Runs the macro paced like the dialog until it ends (or a simulated hour
// has passed).
void replay(const Bytes& file, World* w, Replay* r) {
  ASSERT_EQ(macro_load(r->m.get(), file.data(), file.size()), kMacroLoadOk);
  r->text = units_of(file);
  macro_start(r->m.get(), &w->cap);
  const int64_t stop = w->now + 3600000000LL;
  while (w->now < stop) {
    int o = macro_step(r->m.get(), &w->host);
    if (o != kMacroNext && o != kMacroWaiting) {
      r->outcome = o;
      return;
    }
    w->pass_to(w->now + (o == kMacroWaiting ? kMacroPollMs : 50) * 1000);
  }
}

Bytes answer_of(int n, int seed) {
  Bytes b;
  for (int i = 0; i < n; i++) b.push_back(static_cast<uint8_t>(i % 29 == 5 ? 0x0D : 0x21 + (i * 7 + seed) % 90));
  return b;
}

struct Case {
  int32_t baud;
  int answer;
  bool other;  // CH2 says something in the middle of CH1's answer
};

// The exchange: CH1 asks, the device answers `answer` bytes 20 ms later
// (and CH2 hears a few bytes in the middle of it); after a pause CH1 asks
// again and gets a short answer.
std::vector<std::vector<Part>> exchange(const Case& c) {
  const int64_t half = line_chars_us({c.baud, 100}, c.answer / 2);
  std::vector<Part> first = {{kKindRecvCh1, answer_of(c.answer, 1), 20000}};
  if (c.other) first.push_back({kKindRecvCh2, text("X2\r"), 20000 + half});
  return {first, {{kKindRecvCh1, text("OK\r\n"), 5000}}};
}

Bytes record(const Case& c) {
  World w({c.baud, 100});
  w.answers = exchange(c);
  w.user_send(1, text("REQ1\r"));
  w.pass_to(w.now + 20000 + line_chars_us(w.shape[0], c.answer) + 1500000);
  w.user_send(1, text("REQ2\r"));
  w.pass_to(w.now + 1000000);
  std::vector<uint8_t> out(400000);
  size_t n = 0;
  MacroReplayLines lines = {{w.shape[0], w.shape[1]}, {kTimeouts.read_interval, kTimeouts.read_interval}};
  MacroFromCaptureResult r = macro_from_capture_into(w.cap.records, w.cap.times, 0, capture_write_position(&w.cap) - 1,
                                                     &lines, out.data(), out.size(), &n);
  EXPECT_EQ(r.status, kMacroFromCaptureOk);
  EXPECT_EQ(r.steps, c.other ? 3 : 2);
  out.resize(n);
  return out;
}

}  // namespace line_sim

TEST(MacroReplay, ReachesItsEndAtEverySpeedAndStopsAtTheAnswerThatDiffers) {
  using namespace line_sim;
  for (int32_t baud : {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200})
    for (int answer : {1, 100, 264, 600})
      for (bool other : {false, true}) {
        const Case c = {baud, answer, other};
        SCOPED_TRACE(::testing::Message() << baud << " baud, " << answer << " bytes" << (other ? ", CH2 between" : ""));
        const Bytes file = record(c);
        {
          World w({baud, 100});
          w.answers = exchange(c);
          Replay r;
          replay(file, &w, &r);
          EXPECT_TRUE(ended_on_final_pend(r)) << ascii_of(file);
          EXPECT_EQ(w.sent.size(), 2u);
          EXPECT_EQ(w.sent.back().second, text("REQ2\r"));
        }
        // One byte of the long answer changed (the last one a slot holds,
        // or the answer's last): the macro stops at that answer's failure
        // label, REQ2 never goes.
        for (int at : {answer < kMacroSlotBytes ? answer : kMacroSlotBytes, answer}) {
          World w({baud, 100});
          w.answers = exchange(c);
          w.answers[0][0].bytes[static_cast<size_t>(at) - 1] ^= 0x01;
          Replay r;
          replay(file, &w, &r);
          EXPECT_EQ(r.outcome, kMacroEnded);
          EXPECT_EQ(r.last_label(), u":F01") << "byte " << at;
          EXPECT_EQ(w.sent.size(), 1u);
        }
        // What CH2 heard in between is its own step.
        if (other) {
          World w({baud, 100});
          w.answers = exchange(c);
          w.answers[0][1].bytes[1] = '3';
          Replay r;
          replay(file, &w, &r);
          EXPECT_EQ(r.last_label(), u":F02");
        }
      }
}

}  // namespace
