#include "macro/macro.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_codec.h"
#include "utf16_file.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The program's surroundings: a clock that only moves while a command
// waits (the test's dialog ticks every kMacroPollMs then), a port whose
// writes are kept, and a device on the far side whose answers the receive
// thread appends to the (real) capture buffer when their time has come.
struct Fake {
  uint32_t now = 1000;
  Capture cap;
  AnsiCodec codec = {nullptr, fake_encode};
  std::vector<std::pair<int, Bytes>> writes;
  int fail_writes = 0;
  struct Arrival {
    uint32_t at;
    uint8_t kind;
    Bytes bytes;
  };
  std::vector<Arrival> arrivals;
  std::function<void(Fake&, int, const Bytes&)> device;  // called for every write
  std::vector<std::pair<int32_t, std::u16string>> steps;
  int32_t shown_length = 0;
  MacroHost host;

  Fake() {
    host = {this, &cap, &codec, now_of, write_to, show_step};
    capture_allocate(&cap);
    capture_clear(&cap);
  }
  ~Fake() { capture_free(&cap); }

  void deliver() {
    for (size_t i = 0; i < arrivals.size();) {
      if (static_cast<int32_t>(now - arrivals[i].at) >= 0) {
        capture_append(&cap, arrivals[i].bytes.data(), static_cast<int>(arrivals[i].bytes.size()), arrivals[i].kind, kTimeUnknown);
        arrivals.erase(arrivals.begin() + static_cast<long>(i));
      } else {
        i++;
      }
    }
  }
  void answer_in(uint32_t ms, const std::string& text, uint8_t kind = kKindRecvCh1) {
    arrivals.push_back({now + ms, kind, Bytes(text.begin(), text.end())});
    deliver();
  }

  static uint32_t now_of(void* ctx) { return static_cast<Fake*>(ctx)->now; }
  void pass(uint32_t ms) {
    now += ms;
    deliver();
  }
  static int write_to(void* ctx, int channel, const uint8_t* bytes, int count) {
    Fake* f = static_cast<Fake*>(ctx);
    if (f->fail_writes) return 1;
    Bytes sent(bytes, bytes + count);
    f->writes.push_back({channel, sent});
    if (f->device) f->device(*f, channel, sent);
    return 0;
  }
  static void show_step(void* ctx, int32_t position, int32_t length, const char16_t* line, int count) {
    Fake* f = static_cast<Fake*>(ctx);
    f->steps.push_back({position, std::u16string(line, static_cast<size_t>(count))});
    f->shown_length = length;
  }

  Bytes wire(int channel = 1) const {
    Bytes all;
    for (auto& w : writes)
      if (w.first == channel) all.insert(all.end(), w.second.begin(), w.second.end());
    return all;
  }
};

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct MacroTest : ::testing::Test {
  std::unique_ptr<MacroState> m{new MacroState()};
  Fake fake;

  void load(const std::u16string& source) {
    Bytes b = utf16_file(source);
    ASSERT_EQ(macro_load(m.get(), b.data(), b.size()), kMacroLoadOk);
    macro_start(m.get(), &fake.cap);
  }
  // One line, its wait included: while the line waits, the clock moves on
  // by the dialog's poll period between looks.
  int step() {
    int r = macro_step(m.get(), &fake.host);
    while (r == kMacroWaiting) {
      fake.pass(kMacroPollMs);
      r = macro_step(m.get(), &fake.host);
    }
    return r;
  }
  // Steps until the macro ends; returns how it ended and counts the ticks.
  int run(int* ticks = nullptr, int limit = 1000) {
    for (int i = 1; i <= limit; i++) {
      int r = step();
      if (r != kMacroNext && r != kMacroSendFailed) {
        if (ticks) *ticks = i;
        return r;
      }
    }
    return -1;
  }
  Bytes slot(int n) {
    const MacroSlot& s = m->slots[n];
    return Bytes(s.data, s.data + s.length);
  }
};

TEST_F(MacroTest, OnlyLineSendsAndShowsItsIndexAndTheLength) {
  load(u"SEND 'AT'0D\r\n");
  EXPECT_EQ(m->length, 14);
  EXPECT_EQ(step(), kMacroNext);
  EXPECT_EQ(fake.wire(), Bytes({0x41, 0x54, 0x0D}));
  ASSERT_EQ(fake.steps.size(), 1u);
  EXPECT_EQ(fake.steps[0].first, 1);
  EXPECT_EQ(fake.steps[0].second, u"SEND 'AT'0D");
  EXPECT_EQ(fake.shown_length, 14);
  // Recorded as a sent chunk on CH1: three kind-2 records and the markers.
  ASSERT_EQ(capture_write_position(&fake.cap), 6);
  for (int i = 0; i < 3; i++) EXPECT_EQ(fake.cap.records[i].kind, kKindSentCh1);
  EXPECT_EQ(fake.cap.records[3].kind, kKindGapText);
  EXPECT_EQ(step(), kMacroRanOff);  // no PEND
}

int64_t send_clock() { return 777000; }

TEST_F(MacroTest, SendIsRecordedWithTheCaptureClocksTime) {
  fake.cap.micros = send_clock;
  load(u"SEND 'AB'\r\n");
  EXPECT_EQ(step(), kMacroNext);
  ASSERT_EQ(capture_write_position(&fake.cap), 5);
  EXPECT_EQ(fake.cap.times[0], 777000);
  EXPECT_EQ(fake.cap.times[1], 777000);
  EXPECT_EQ(fake.cap.times[2], kTimeUnknown);
}

TEST(MacroLiteral, Notation) {
  struct Case {
    const char* in;
    Bytes out;
  } cases[] = {
      {"41", {0x41}},
      {"'AB'0D0A", {0x41, 0x42, 0x0D, 0x0A}},
      {"410", {0x41}},                  // a lone last byte is dropped
      {"\"AB\"", {0x41, 0x42}},
      {"'\"'", {0x22}},                 // a double quote inside apostrophes
      {"\"'\"", {0x27}},
      {" 5-1+fzz", {0x05, 0xFF, 0x0F, 0x00}},  // blanks, signs, no digit
      {"4'41'", {0x04, 0x41}},          // a quote second in a pair does not switch
      {"'AB", {0x41, 0x42}},            // an open quote runs to the end
      {"''", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    Bytes b = text(c.in);
    int n = macro_literal(b.data(), static_cast<int>(b.size()));
    EXPECT_EQ(Bytes(b.begin(), b.begin() + n), c.out) << c.in;
  }
}

TEST(MacroField, ColumnsSignsAndMissingColumns) {
  const char16_t* arg = u" 5,-3,ab,123";
  int n = static_cast<int>(std::u16string(arg).size());
  EXPECT_EQ(macro_field(arg, n, 0, 2), 5);
  EXPECT_EQ(macro_field(arg, n, 3, 2), -3);
  EXPECT_EQ(macro_field(arg, n, 6, 2), 0);
  EXPECT_EQ(macro_field(arg, n, 9, 3), 123);
  EXPECT_EQ(macro_field(arg, n, 10, 3), 23);  // runs past the end: the rest is empty
  EXPECT_EQ(macro_field(arg, n, 40, 3), 0);
}

TEST_F(MacroTest, SlotBytesAreSentAsStored) {
  load(u"MOVE 01,0D000A\r\nMSED 01\r\nMSED 07\r\nMOVE 02,'xy'\r\nMSD2 02\r\nPEND\r\n");
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_EQ(fake.wire(1), Bytes({0x0D, 0x00, 0x0A}));  // the empty slot 07 sends nothing
  EXPECT_EQ(fake.wire(2), text("xy"));
  EXPECT_EQ(fake.writes.size(), 2u);
  // CH2's send is recorded as kind 4.
  EXPECT_EQ(fake.cap.records[6].kind, kKindSentCh2);
}

TEST(MacroCounter, DecimalAndHexadecimal) {
  struct Case {
    const char* in;
    int hex;
    const char* out;
  } cases[] = {
      {"0099", 0, "0100"}, {"99", 0, "00"}, {"1A", 0, "20"}, {"9", 0, "0"}, {"0008", 0, "0009"},
      {"0F", 1, "10"},     {"FF", 1, "00"}, {"ff", 1, "00"}, {"09", 1, "0A"}, {"0@", 1, "0A"},
  };
  for (const Case& c : cases) {
    MacroSlot s = {};
    s.length = static_cast<int32_t>(std::strlen(c.in));
    std::memcpy(s.data, c.in, static_cast<size_t>(s.length));
    macro_count_up(&s, c.hex);
    EXPECT_EQ(std::string(s.data, s.data + s.length), c.out) << c.in << " hex " << c.hex;
  }
  // Only lengths 1 to 255 count.
  for (int32_t length : {0, 256, 264}) {
    MacroSlot s = {};
    std::memset(s.data, '9', sizeof s.data);
    s.length = length;
    macro_count_up(&s, 0);
    EXPECT_EQ(s.data[0], '9');
    EXPECT_EQ(s.data[263], '9');
  }
}

TEST_F(MacroTest, MoveOfHexDigitsStoresBytesNotText) {
  load(u"MOVE 03,0099\r\nMOVE 04,'0099'\r\nMINC 04\r\nMOVE 05,'0F'\r\nHINC 05\r\nPEND\r\n");
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_EQ(slot(3), Bytes({0x00, 0x99}));
  EXPECT_EQ(slot(4), text("0100"));
  EXPECT_EQ(slot(5), text("10"));
}

TEST_F(MacroTest, CheckBytes) {
  load(u"MOVE 05,'ABC'\r\nCHKA 05,06\r\nCHKH 05,07\r\nMOVE 08,'ABC'\r\nCHKA 08,08\r\nCHKA 09,10\r\nCHKH 09,11\r\n"
       u"PEND\r\n");
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_EQ(slot(6), text("40"));
  EXPECT_EQ(slot(7), Bytes({0x40}));
  EXPECT_EQ(slot(8), text("40"));  // the same slot as source and result
  EXPECT_EQ(slot(10), text("00"));  // an empty slot's XOR is 00
  EXPECT_EQ(slot(11), Bytes({0x00}));
}

TEST_F(MacroTest, SlotCommands) {
  load(u"MOVE 01,'HELLO WORLD'\r\nMMID 01,06,05,02\r\nMOVE 03,'AB'\r\nMADD 03,03\r\nMADD 03,02\r\n"
       u"MOVE 04,'XYZ'\r\nMOVE 04,\r\nMOVE 05,'Q'\r\nMCLR 05\r\nPEND\r\n");
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_EQ(slot(2), text("WORLD"));
  EXPECT_EQ(slot(3), text("ABABWORLD"));
  EXPECT_EQ(slot(4), Bytes());
  EXPECT_EQ(m->slots[4].data[0], 'X');  // the old bytes stay behind the length
  EXPECT_EQ(slot(5), Bytes());
  for (uint8_t b : m->slots[5].data) EXPECT_EQ(b, 0);
}

TEST_F(MacroTest, ComparisonsJumpToLabels) {
  load(u"MOVE 01,'ACKNOWLEDGE'\r\nCMPL 01,OK1,'ACK'\r\nSEND 'no1'\r\n:OK1\r\n"
       u"MOVE 02,'ACK'\r\nCMPM 01,02,OK2\r\nSEND 'no2'\r\n:OK2\r\n"
       u"CMPL 01,OK3,'NAK'\r\nSEND 'ok3'\r\n:OK3\r\n"
       u"CMPM 01,09,OK4\r\nSEND 'no4'\r\n:OK4 the rest is ignored\r\n"
       u"CMPL 01,OK5,\r\nSEND 'no5'\r\n:OK5\r\nPEND\r\n");
  EXPECT_EQ(run(), kMacroEnded);
  // Only the NAK comparison fails; an empty slot and an empty literal are equal.
  EXPECT_EQ(fake.wire(), text("ok3"));
}

TEST_F(MacroTest, JumpToMissingLabelEndsOnTheNextTick) {
  load(u"GOTO XYZ\r\nSEND 'never'\r\n:XY\r\nPEND\r\n");
  EXPECT_EQ(step(), kMacroNext);
  EXPECT_EQ(m->position, m->length);
  EXPECT_EQ(step(), kMacroRanOff);
  EXPECT_TRUE(fake.writes.empty());
}

TEST_F(MacroTest, LabelOnTheFirstLineIsNeverFound) {
  load(u":TOP\r\nSEND 41\r\nGOTO TOP\r\n");
  int ticks = 0;
  EXPECT_EQ(run(&ticks), kMacroRanOff);
  EXPECT_EQ(ticks, 4);
  EXPECT_EQ(fake.wire(), Bytes({0x41}));
  // The same label on the second line is found: the jump lands on its colon.
  load(u"\r\n:TOP\r\nGOTO TOP\r\n");
  step();
  step();
  step();
  EXPECT_EQ(m->position, 3);
  const char16_t name[3] = {u'T', u'O', u'P'};
  EXPECT_EQ(macro_find_label(m.get(), name), 3);
  const char16_t shorter[3] = {u'T', u'O', u'\r'};
  EXPECT_EQ(macro_find_label(m.get(), shorter), m->length);
}

TEST_F(MacroTest, GotoWithAShortNameFindsNoLabel) {
  load(u"GOTO AB\r\n:AB\r\nPEND\r\n");
  EXPECT_EQ(step(), kMacroNext);
  EXPECT_EQ(step(), kMacroRanOff);
}

TEST_F(MacroTest, EveryLineTakesOneTick) {
  load(u"; a comment\r\n\r\n pend\r\npend\r\nsend 41\r\nRRST\r\nXYZW 1\r\n:LBL\r\nPENDING\r\n");
  int ticks = 0;
  EXPECT_EQ(run(&ticks), kMacroEnded);
  EXPECT_EQ(ticks, 9);
  ASSERT_EQ(fake.steps.size(), 1u);  // only commands are shown
  EXPECT_EQ(fake.steps[0].second, u"PENDING");
  int32_t pend_at = fake.steps[0].first;
  EXPECT_EQ(m->position, pend_at);  // PEND leaves the position on its line
  EXPECT_TRUE(fake.writes.empty());
}

TEST_F(MacroTest, TimeWaitsInTenthsOfASecond) {
  load(u"TIME 010\r\nTIME 000\r\nTIME -05\r\nPEND\r\n");
  uint32_t before = fake.now;
  step();
  EXPECT_EQ(fake.now - before, 1000u);
  step();
  step();
  EXPECT_EQ(fake.now - before, 1000u);
}

TEST_F(MacroTest, ReadStoresTheAnswerOnceEnoughArrived) {
  fake.device = [](Fake& f, int, const Bytes&) { f.answer_in(300, "ACK\r"); };
  load(u"SEND 'REQ'0D\r\nREAD 01,004,020\r\nPEND\r\n");
  step();
  uint32_t before = fake.now;
  step();
  EXPECT_EQ(slot(1), text("ACK\r"));
  EXPECT_EQ(fake.now - before, 300u);  // it stopped waiting when the answer was there
}

TEST_F(MacroTest, ReadWithoutCountOrLimitNeitherWaitsNorStores) {
  fake.answer_in(0, "old");
  load(u"MOVE 01,'keep'\r\nREAD 01,005,000\r\nREAD 01,000,005\r\nPEND\r\n");
  uint32_t before = fake.now;
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_EQ(fake.now, before);
  EXPECT_EQ(slot(1), text("keep"));
}

TEST_F(MacroTest, ReadTimeLimitIsInTenthsOfASecond) {
  load(u"MOVE 01,'keep'\r\nREAD 01,003,020\r\nPEND\r\n");
  step();
  uint32_t before = fake.now;
  step();
  EXPECT_EQ(fake.now - before, 2000u);
  EXPECT_EQ(slot(1), text("keep"));  // nothing came: nothing stored
  // A short answer is stored when the limit runs out.
  fake.answer_in(500, "AC");
  load(u"READ 01,003,020\r\n");
  step();
  EXPECT_EQ(slot(1), text("AC"));
}

TEST_F(MacroTest, ReadTakesOnlyTheChannelsReceivedBytes) {
  // The answer comes in two chunks with the other channel's data and our
  // own send between them: the slot holds the answer alone.
  fake.device = [](Fake& f, int channel, const Bytes&) {
    if (channel != 1) return;
    f.answer_in(100, "12", kKindRecvCh1);
    f.answer_in(150, "zz", kKindRecvCh2);
    f.answer_in(200, "34", kKindRecvCh1);
  };
  load(u"RRST \r\nSEND 'GO'\r\nZRED 01,004,010\r\nRRST \r\nSEND 'GO'\r\nZRD2 02,002,010\r\nPEND\r\n");
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_EQ(slot(1), text("1234"));
  EXPECT_EQ(slot(2), text("zz"));
}

TEST_F(MacroTest, ReadCountsFromItsOwnStartZredFromTheMark) {
  // A device that answers at once: the answer lands before the next line.
  fake.device = [](Fake& f, int, const Bytes&) { f.answer_in(0, "OK"); };
  load(u"SEND 'A'\r\nREAD 01,002,005\r\nRRST \r\nSEND 'B'\r\nZRED 02,002,005\r\nPEND\r\n");
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_EQ(slot(1), Bytes());  // READ started after the answer
  EXPECT_EQ(slot(2), text("OK"));
  // RED2 waits for CH2.
  fake.device = nullptr;
  fake.answer_in(100, "C1", kKindRecvCh1);
  fake.answer_in(200, "C2", kKindRecvCh2);
  load(u"RED2 03,002,010\r\n");
  step();
  EXPECT_EQ(slot(3), text("C2"));
}

TEST_F(MacroTest, ZskpPassesOverTheMarksFirstBytesUntilTheNextRrst) {
  fake.device = [](Fake& f, int channel, const Bytes&) {
    if (channel != 1) return;
    f.answer_in(100, "abc", kKindRecvCh1);
    f.answer_in(120, "zz", kKindRecvCh2);
    f.answer_in(150, "defg", kKindRecvCh1);
  };
  // Past 3 bytes of CH1, 2 wanted, all that came: "defg"; CH2 passes over
  // its own 3 and finds too few; READ does not skip; after RRST ZRED
  // counts from the start.
  load(u"RRST \r\nSEND 'GO'\r\nZSKP 003\r\nZRED 01,002,010\r\nZRD2 02,001,003\r\nREAD 03,001,003\r\n"
       u"RRST \r\nSEND 'GO'\r\nZRED 04,003,010\r\nPEND\r\n");
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_EQ(slot(1), text("defg"));
  EXPECT_EQ(slot(2), Bytes());
  EXPECT_EQ(slot(3), Bytes());  // READ starts after the answer
  EXPECT_EQ(slot(4), text("abc"));
}

TEST_F(MacroTest, ReadFollowsTheCaptureAcrossAWrap) {
  // Fill the capture close to its wrap point, then let the answer wrap it.
  Bytes filler(100, 0x55);
  while (capture_write_position(&fake.cap) < kCaptureWrapThreshold - 150)
    capture_append(&fake.cap, filler.data(), 100, kKindRecvCh2, kTimeUnknown);
  fake.device = [](Fake& f, int, const Bytes&) {
    f.answer_in(50, "ab");
    f.answer_in(60, std::string(100, 'x'), kKindRecvCh2);
    f.answer_in(70, std::string(100, 'y'), kKindRecvCh2);
    f.answer_in(80, "cd");
  };
  load(u"RRST \r\nSEND 'Q'\r\nZRED 01,004,010\r\nPEND\r\n");
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_LT(capture_write_position(&fake.cap), kCaptureWrapShift);  // it did wrap
  EXPECT_EQ(slot(1), text("abcd"));
}

TEST_F(MacroTest, FailedSendIsReportedAndTheMacroGoesOn) {
  fake.fail_writes = 1;
  load(u"SEND 41\r\nMOVE 01,'ok'\r\nPEND\r\n");
  EXPECT_EQ(step(), kMacroSendFailed);
  EXPECT_EQ(capture_write_position(&fake.cap), 0);  // nothing recorded
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_EQ(slot(1), text("ok"));
}

int encode_nothing(void*, const char16_t*, int, uint8_t*, int) { return 0; }

TEST_F(MacroTest, TextThatTheCodePageCannotTakeIsAFailedSend) {
  load(u"SEND \r\nSEND ''\r\nSEND 41\r\nMOVE 01,'ok'\r\nPEND\r\n");
  EXPECT_EQ(step(), kMacroNext);  // no data: nothing to write, no failure
  EXPECT_EQ(step(), kMacroNext);
  fake.codec.encode = encode_nothing;
  EXPECT_EQ(step(), kMacroSendFailed);
  EXPECT_TRUE(fake.writes.empty());
  fake.codec.encode = fake_encode;
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_EQ(slot(1), text("ok"));
}

TEST_F(MacroTest, FileChecks) {
  Bytes utf8 = text("\xEF\xBB\xBFSEND 41\r\n");
  EXPECT_EQ(macro_load(m.get(), utf8.data(), utf8.size()), kMacroLoadNotUtf16);
  EXPECT_EQ(m->length, 0);
  EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroRanOff);
  EXPECT_EQ(macro_load(m.get(), utf8.data(), 0), kMacroLoadEmpty);
  EXPECT_EQ(macro_load(m.get(), utf8.data(), 1), kMacroLoadNotUtf16);
  Bytes no_bom = utf16_file(u"SEND 41\r\n", false);
  EXPECT_EQ(macro_load(m.get(), no_bom.data(), no_bom.size()), kMacroLoadNotUtf16);
  // Only the first 25,600 bytes are read.
  Bytes big = utf16_file(std::u16string(20000, u' '));
  EXPECT_EQ(macro_load(m.get(), big.data(), big.size()), kMacroLoadOk);
  EXPECT_EQ(m->length, kMacroBufferUnits);
  Bytes bom_only = {0xFF, 0xFE, 0x41};
  EXPECT_EQ(macro_load(m.get(), bom_only.data(), bom_only.size()), kMacroLoadOk);
  EXPECT_EQ(m->length, 1);
  macro_start(m.get(), nullptr);
  EXPECT_EQ(step(), kMacroRanOff);
}

TEST_F(MacroTest, TheLoadedTextEndsTheLastLine) {
  // A longer macro leaves its tail in the buffer; the next, shorter one
  // ends without CR, and nothing of the old tail is executed.
  load(u"SEND 4142434445\r\nPEND\r\n");
  load(u"SEND 41");
  EXPECT_EQ(step(), kMacroNext);
  EXPECT_EQ(fake.wire(), Bytes({0x41}));
  EXPECT_EQ(step(), kMacroRanOff);
  load(u"\r\nPEND");
  EXPECT_EQ(run(), kMacroEnded);
  load(u":AB");  // a label cut short by the end of the text
  const char16_t name[3] = {u'A', u'B', u'4'};
  EXPECT_EQ(macro_find_label(m.get(), name), m->length);
}

TEST_F(MacroTest, LinesThatCannotRunStopTheMacroWithAReason) {
  std::u16string wide_text;
  for (int i = 0; i < 130; i++) wide_text += u'\u3042';
  struct Case {
    std::u16string line;
    int text;          // the message text that says why
    int32_t args[3];   // the numbers it names
  } cases[] = {
      {u"SEND '" + std::u16string(250, u'A') + u"'", kTextMacroLineTooLong, {255, 0, 0}},
      {u"SEND 41\n42", kTextMacroLfAlone, {0, 0, 0}},
      {u"SEND 41\n" + std::u16string(300, u'4'), kTextMacroLfAlone, {0, 0, 0}},
      {u"MOVE -1,41", kTextMacroBadSlot, {-1, 0, 0}},
      {u"READ -2,001,001", kTextMacroBadSlot, {-2, 0, 0}},
      {u"MMID 01,-1,02,03", kTextMacroBadOffset, {-1, 2, 0}},
      {u"MOVE 01,'" + wide_text + u"'", kTextMacroDataTooLong, {255, 0, 0}},
      {u"SEND '" + wide_text + u"'", kTextMacroDataTooLong, {255, 0, 0}},
      {u"MOVE 01,'" + std::u16string(200, u'A') + u"'\r\nMOVE 02,'" + std::u16string(70, u'B') +
           u"'\r\nMADD 01,02",
       kTextMacroSlotTooLong, {1, 270, kMacroSlotBytes}},
      {u"MOVE 01,'" + std::u16string(200, u'A') + u"'\r\nMOVE 02,'" + std::u16string(59, u'B') +
           u"'\r\nMADD 01,02\r\nMSED 01",
       kTextMacroSlotTooLongToSend, {1, 259, kSendMax}},
  };
  for (const Case& c : cases) {
    fake.codec.ctx = &g_fake_double_byte;
    fake.writes.clear();
    std::u16string text = c.line + u"\r\nSEND 'after'\r\nPEND\r\n";
    load(text);
    int r = run();
    EXPECT_EQ(r, kMacroStopped) << c.text;
    EXPECT_EQ(m->fault.text, c.text);
    EXPECT_EQ(m->fault.args[0], c.args[0]) << c.text;
    EXPECT_EQ(m->fault.args[1], c.args[1]) << c.text;
    EXPECT_EQ(m->fault.args[2], c.args[2]) << c.text;
    // The step is the stopping line's index as its label shows it: past
    // the byte order mark, at the start of the last line that ran.
    EXPECT_GE(m->fault.step, 1) << c.text;
    EXPECT_LT(m->fault.step, static_cast<int32_t>(text.size()) + 1) << c.text;
    EXPECT_TRUE(fake.writes.empty()) << c.text;
  }
  // 258 bytes still go out in one send.
  fake.codec.ctx = nullptr;
  load(u"MOVE 01,'" + std::u16string(200, u'A') + u"'\r\nMOVE 02,'" + std::u16string(58, u'B') +
       u"'\r\nMADD 01,02\r\nMSED 01\r\nPEND\r\n");
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_EQ(fake.wire().size(), 258u);
}

TEST_F(MacroTest, SlotFieldsReadAsNumbers) {
  load(u"MOVE ab,41\r\nMOVE  7,42\r\nMOVE 99,43\r\nPEND\r\n");
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_EQ(slot(0), Bytes({0x41}));
  EXPECT_EQ(slot(7), Bytes({0x42}));
  EXPECT_EQ(slot(99), Bytes({0x43}));
}

TEST_F(MacroTest, ARunAgainStartsAtTheTopWithTheSlotsKept) {
  load(u"MINC 01\r\nMSED 01\r\nPEND\r\n");
  m->slots[1].length = 1;
  m->slots[1].data[0] = '0';
  EXPECT_EQ(step(), kMacroNext);  // stopped after one line
  macro_start(m.get(), &fake.cap);
  EXPECT_EQ(m->position, 1);
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_EQ(fake.wire(), text("2"));
}

TEST_F(MacroTest, AWaitReturnsToTheCallerOnEveryLook) {
  // READ and TIME give the thread back at once; the clock does not move
  // inside a step, and the wait ends when its time has run out.
  load(u"READ 01,003,005\r\nTIME 002\r\nSEND 41\r\nPEND\r\n");
  uint32_t began = fake.now;
  EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroWaiting);
  EXPECT_EQ(fake.now, began);
  EXPECT_TRUE(macro_waiting(m.get()));
  fake.pass(499);
  EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroWaiting);
  fake.pass(1);
  EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroNext);  // 500 ms after the READ began
  EXPECT_FALSE(macro_waiting(m.get()));
  // TIME counts from its own start, however unevenly the looks come.
  began = fake.now;
  EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroWaiting);
  for (uint32_t gap : {37u, 120u, 3u, 39u}) {
    EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroWaiting) << fake.now - began;
    fake.pass(gap);
  }
  EXPECT_EQ(fake.now - began, 199u);
  EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroWaiting);
  fake.pass(1);
  EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroNext);
  EXPECT_EQ(step(), kMacroNext);
  EXPECT_EQ(fake.wire(), text("A"));
  EXPECT_EQ(step(), kMacroEnded);
}

TEST_F(MacroTest, StopInTheMiddleOfAWaitSendsNothingMore) {
  for (const char16_t* wait : {u"TIME 100", u"READ 01,005,050", u"ZRD2 02,001,999"}) {
    fake.writes.clear();
    load(std::u16string(wait) + u"\r\nSEND 41\r\nPEND\r\n");
    EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroWaiting);
    fake.pass(200);
    EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroWaiting);
    macro_stop(m.get());
    EXPECT_FALSE(macro_waiting(m.get()));
    EXPECT_TRUE(fake.writes.empty());
    // The next run starts from the top and waits afresh.
    macro_start(m.get(), &fake.cap);
    EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroWaiting);
    macro_stop(m.get());
  }
}

TEST_F(MacroTest, ZredFindsItsAnswerAfterTheCaptureWrappedPastTheMark) {
  // RRST; the answer comes later, and then so much other traffic that the
  // capture wraps: the answer now lies below the old mark's index.
  Bytes filler(100, 0x55);
  for (int i = 0; i < 100; i++) capture_append(&fake.cap, filler.data(), 100, kKindRecvCh2, kTimeUnknown);
  load(u"RRST \r\nZRED 01,002,010\r\nPEND\r\n");
  EXPECT_EQ(step(), kMacroNext);
  int32_t mark_index = capture_write_position(&fake.cap);
  while (capture_write_position(&fake.cap) < kCaptureWrapShift + mark_index / 2)
    capture_append(&fake.cap, filler.data(), 100, kKindRecvCh2, kTimeUnknown);
  fake.answer_in(0, "ok");
  int32_t last = capture_write_position(&fake.cap);
  for (;;) {
    capture_append(&fake.cap, filler.data(), 100, kKindRecvCh2, kTimeUnknown);
    if (capture_write_position(&fake.cap) < last) break;  // it wrapped
    last = capture_write_position(&fake.cap);
  }
  EXPECT_EQ(step(), kMacroNext);
  EXPECT_EQ(slot(1), text("ok"));
}

// A clear or a loaded log during a read's wait takes away what it was
// counting from: the read ends at once with nothing stored, as a read whose
// time ran out, and the macro goes on with the next line.
TEST_F(MacroTest, AClearOrALoadDuringAReadEndsItWithoutAnAnswer) {
  // A log of one chunk "LOG" on CH1, as log loading puts it in.
  Fake other;
  other.answer_in(0, "LOG");
  const int32_t log_records = capture_write_position(&other.cap);
  std::vector<CaptureRecord> log(other.cap.records, other.cap.records + log_records);
  const uint8_t* log_bytes = reinterpret_cast<const uint8_t*>(log.data());
  struct Case {
    const char* name;
    bool empty;  // the capture holds nothing when the read starts
    std::function<void(Fake&)> act;
  };
  const Case cases[] = {
      {"clear", false, [](Fake& f) { capture_clear(&f.cap); }},
      {"load", false, [&](Fake& f) { capture_replace(&f.cap, log_bytes, log_records); }},
      {"load with times", false, [&](Fake& f) { capture_load(&f.cap, log_bytes, log_records, nullptr, 0); }},
      {"load into an empty capture", true, [&](Fake& f) { capture_replace(&f.cap, log_bytes, log_records); }},
      {"clear, then load", false,
       [&](Fake& f) {
         capture_clear(&f.cap);
         capture_load(&f.cap, log_bytes, log_records, nullptr, 0);
       }},
      {"clear, then the answer's bytes again", false,
       [](Fake& f) {
         capture_clear(&f.cap);
         f.answer_in(0, "ab");
       }},
  };
  for (const Case& c : cases) {
    for (const char16_t* read : {u"READ 01,003,050", u"ZRED 01,003,050"}) {
      SCOPED_TRACE(c.name);
      capture_clear(&fake.cap);
      if (!c.empty) fake.answer_in(0, "zz", kKindRecvCh2);
      load(u"MOVE 01,'keep'\r\n" + std::u16string(read) + u"\r\nMOVE 02,'next'\r\nPEND\r\n");
      EXPECT_EQ(step(), kMacroNext);
      EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroWaiting);
      fake.answer_in(0, "ab");  // part of the answer
      fake.pass(kMacroPollMs);
      EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroWaiting);
      c.act(fake);
      const uint32_t before = fake.now;
      EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroNext);  // over at the next look
      EXPECT_EQ(fake.now, before);
      EXPECT_EQ(slot(1), text("keep"));  // neither "ab" nor the log's "LOG"
      EXPECT_EQ(run(), kMacroEnded);
      EXPECT_EQ(slot(2), text("next"));
    }
  }
}

// A mark set before a clear counts from records that are gone: a ZRED from
// it gives no answer, even when enough bytes come after the clear.
TEST_F(MacroTest, AReadFromAMarkSetBeforeAClearGivesNoAnswer) {
  load(u"MOVE 01,'keep'\r\nRRST \r\nTIME 001\r\nZRED 01,002,050\r\nPEND\r\n");
  EXPECT_EQ(step(), kMacroNext);
  EXPECT_EQ(step(), kMacroNext);
  capture_clear(&fake.cap);
  fake.answer_in(0, "ab");
  EXPECT_EQ(run(), kMacroEnded);
  EXPECT_EQ(slot(1), text("keep"));
}

// A wrap during the wait is no clear: the count goes on.
TEST_F(MacroTest, AReadWaitingAcrossAWrapKeepsItsCount) {
  Bytes filler(100, 0x55);
  while (capture_write_position(&fake.cap) < kCaptureWrapThreshold - 120)
    capture_append(&fake.cap, filler.data(), 100, kKindRecvCh2, kTimeUnknown);
  load(u"READ 01,004,050\r\nPEND\r\n");
  EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroWaiting);
  fake.answer_in(0, "ab");
  EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroWaiting);
  while (capture_write_position(&fake.cap) > kCaptureWrapShift)  // until it wraps
    capture_append(&fake.cap, filler.data(), 100, kKindRecvCh2, kTimeUnknown);
  fake.answer_in(0, "cd");
  EXPECT_EQ(macro_step(m.get(), &fake.host), kMacroNext);
  EXPECT_EQ(slot(1), text("abcd"));
}

}  // namespace
