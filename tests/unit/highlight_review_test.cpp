#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/checksum.h"
#include "codec/convert.h"
#include "fake_codec.h"
#include "view/highlight.h"

namespace {

// 0x82 is the lead byte of the test code page's double-byte characters.
int lead_82(void*, uint8_t b) { return b == 0x82; }
const AnsiCodec kDouble = {&g_fake_double_byte, fake_encode, lead_82};

std::vector<uint8_t> file_of(const std::u16string& text) {
  std::vector<uint8_t> b = {0xFF, 0xFE};
  for (char16_t u : text) b.push_back(static_cast<uint8_t>(u & 0xFF)), b.push_back(static_cast<uint8_t>(u >> 8));
  return b;
}

int to_vector(void* ctx, const uint8_t* bytes, int n) {
  auto* v = static_cast<std::vector<uint8_t>*>(ctx);
  v->insert(v->end(), bytes, bytes + n);
  return 0;
}

int64_t g_clock = 0;
int64_t test_micros() { return g_clock; }

struct HighlightReview : ::testing::Test {
  Capture cap;
  static HighlightRules rules;
  static HighlightWork work;
  static HighlightMarks marks;
  static CaptureSnapshot snap;
  static FindPass pass;
  static FindFound items[1 << 16];
  LineShape shape[2] = {{9600, 100}, {9600, 100}};
  void SetUp() override {
    cap.micros = test_micros;
    ASSERT_EQ(capture_allocate(&cap), 0);
    capture_clear(&cap);
  }
  void TearDown() override { capture_free(&cap); }
  void put(const std::string& bytes, uint8_t kind, int64_t t) {
    g_clock = t;
    capture_append(&cap, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()), kind, t);
  }
  void load(const std::u16string& text) {
    const std::vector<uint8_t> f = file_of(text);
    ASSERT_EQ(highlight_parse(f.data(), f.size(), &kDouble, &rules), kHighlightFileOk);
  }
  // The paint's colouring of records first .. hi - 1, through the functions the paint calls.
  void mark(int32_t first, int32_t hi) {
    const int32_t lo = highlight_window_start(cap.records, hi, first, highlight_longest(&rules));
    highlight_mark(&rules, cap.records, cap.times, lo, first, hi, cap.events, cap.event_count, cap.base, shape,
                   &work, &marks);
  }
  // Begins Find's pass for rule r over the lines the test's capture had.
  void pass_begin(int r) {
    FindQuery q = rules.rules[r].query;
    q.shape[0] = shape[0];
    q.shape[1] = shape[1];
    ASSERT_EQ(find_pass_begin(&pass, q), 0);
  }
  // What Find finds over the whole capture: the first rule covering each record (0 none).
  std::vector<int> found_by_find() {
    const int32_t count = capture_write_position(&cap);
    std::vector<int> out(count, 0);
    EXPECT_EQ(capture_snapshot_allocate(&snap), 0);
    EXPECT_EQ(capture_snapshot_take(&cap, &snap), 0);
    for (int r = rules.count - 1; r >= 0; r--) {
      if (!rules.rules[r].enabled || rules.rules[r].query.what == kFindBadFrame) continue;
      pass_begin(r);
      FindList list = {items, 0, 1 << 16, 0};
      find_pass_run(&pass, snap, &list, nullptr, shape);
      find_pass_end(&pass);
      for (int32_t f = 0; f < list.n; f++) {
        const int32_t last = items[f].last < items[f].first ? items[f].first : items[f].last;
        for (int32_t i = items[f].first; i <= last && i < count; i++)
          if (cap.records[i].kind == items[f].kind) out[i] = r + 1;
      }
    }
    capture_snapshot_free(&snap);
    return out;
  }
  // Records first .. hi - 1 where the paint's colour differs from Find's ("" when none).
  std::string differences(int32_t first, int32_t hi) {
    const std::vector<int> want = found_by_find();
    mark(first, hi);
    std::string s;
    for (int32_t i = first; i < hi; i++)
      if (highlight_rule_at(marks, i) != want[i])
        s += "record " + std::to_string(i) + ": paint " + std::to_string(highlight_rule_at(marks, i)) + ", Find " +
             std::to_string(want[i]) + "\n";
    return s;
  }
};
HighlightRules HighlightReview::rules;
HighlightWork HighlightReview::work;
HighlightMarks HighlightReview::marks;
CaptureSnapshot HighlightReview::snap;
FindPass HighlightReview::pass;
FindFound HighlightReview::items[1 << 16];

}  // namespace

// Find never starts an any-case match on the second byte of a double-byte
// character; a paint whose look-back begins on one must not either.
// Left for later (double-byte text whose look-back starts mid-character):
// disabled until mended, when it is to pass.
TEST_F(HighlightReview, DISABLED_AnyCaseTextNeverMatchesFromTheSecondByteOfACharacter) {
  load(u"FF0000\tt\t*\t*\tab\r\n");
  put("x\x82" "A", kKindRecvCh1, 1000);  // 0x82 0x41: one character
  put("z", kKindRecvCh2, 2000);
  const int32_t b = capture_write_position(&cap);
  put("B", kKindRecvCh1, 3000);  // the paint of this new byte looks back to the 0x41
  EXPECT_EQ(differences(b, capture_write_position(&cap)), "");
  // Nor miss a match after a character whose second byte is a lead byte's value.
  capture_clear(&cap);
  put("x\x82\x82", kKindRecvCh1, 1000);  // one character, 0x82 0x82
  put("z", kKindRecvCh2, 2000);
  const int32_t a = capture_write_position(&cap);
  put("AB", kKindRecvCh1, 3000);  // the look-back begins on the second 0x82
  EXPECT_EQ(differences(a, capture_write_position(&cap)), "");
}

// A match across two chunks of CH1 is coloured whole once its last byte is
// in, however much the other channel sent between them.
TEST_F(HighlightReview, AMatchAcrossChunksIsColouredWhenTheOtherChannelSentMuchBetween) {
  load(u"FF0000\tT\t*\t*\tALARM\r\n");
  put("AL", kKindRecvCh1, 1000);
  for (int k = 0; k < 30; k++) put(std::string(300, 'z'), kKindRecvCh2, 2000 + k * 3300);  // ~0.1 s at 92,160 bytes/s
  const int32_t arm = capture_write_position(&cap);
  put("ARM", kKindRecvCh1, 200000);
  const int32_t count = capture_write_position(&cap);
  EXPECT_EQ(differences(arm, count), "");  // the paint of the new "ARM", as live
}

// A rule on a frequent byte keeps colouring the screen whatever else the
// other rules make the look-back take in.
TEST_F(HighlightReview, AFrequentByteIsColouredOnTheScreenBehindALongLookBack) {
  load(u"FF0000\tH\t*\t*\t00\r\n"
       u"00FF00\tT\t*\t*\tALARM\r\n");
  for (int k = 0; k < 27; k++) put(std::string(300, '\0'), kKindRecvCh1, 1000 + k * 3300);  // zero padding
  const int32_t first = capture_write_position(&cap);
  put("Q", kKindRecvCh2, 100000);  // CH2 on the screen: its look-back goes far
  put(std::string(16, '\0'), kKindRecvCh1, 101000);
  const int32_t count = capture_write_position(&cap);
  EXPECT_EQ(differences(first, count), "");
}

// The dialog writes back what it read: a comment, a line it could not read
// (told at start, for the user to mend) and the rules past the most kept.
TEST_F(HighlightReview, WritingBackLosesNoLineOfTheFile) {
  const std::u16string text = u"; alarms of the north pump\r\n"
                              u"FF0000\tT\t*\t*\tALARM\r\n"
                              u"GG0000\tT\t*\t*\tWARN\r\n";
  load(text);
  std::vector<uint8_t> out;
  const ByteSink sink = {&out, to_vector};
  ASSERT_EQ(highlight_write(&rules, &sink), 0);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(out.data() + 2), (out.size() - 2) / 2), text);
}

// A file whose lines end in CR alone (an old Mac editor's) either reads
// rule by rule or is told; never does one rule swallow the next unsaid.
TEST_F(HighlightReview, LinesEndingInCarriageReturnsAloneAreNotJoinedUnsaid) {
  load(u"FF0000\tT\t*\t*\tALARM\r"
       u"00FF00\tT\t*\t*\tOK\r");
  EXPECT_TRUE(rules.count == 2 || rules.problem_count > 0)
      << rules.count << " rule(s), the first's pattern " << rules.rules[0].text_n << " units";
}

// An open recording is shown a window at a time; Find reads it as one
// stream across its windows. What the window's edge cuts (a silence before
// its first chunk, a match begun in the window before) is coloured at the
// start of the next window as Find finds it.
// Left for later (a recording window's edges): disabled until mended.
TEST_F(HighlightReview, DISABLED_ARecordingWindowsFirstChunkIsColouredAsFindFindsIt) {
  load(u"FF0000\tT\t*\t*\tALARM\r\n"
       u"00FF00\tQ\t*\t*\t500\r\n");
  static Capture next;
  next.micros = test_micros;
  ASSERT_EQ(capture_allocate(&next), 0);
  capture_clear(&next);
  put("..AL", kKindRecvCh1, 1000);  // the end of one window
  g_clock = 700000;
  capture_append(&next, reinterpret_cast<const uint8_t*>("ARM"), 3, kKindRecvCh1, 700000);  // the next, 0.7 s later
  static CaptureSnapshot a, b;
  ASSERT_EQ(capture_snapshot_allocate(&a), 0);
  ASSERT_EQ(capture_snapshot_allocate(&b), 0);
  ASSERT_EQ(capture_snapshot_take(&cap, &a), 0);
  ASSERT_EQ(capture_snapshot_take(&next, &b), 0);
  // Find over the two windows: the silence.
  pass_begin(1);
  FindList list = {items, 0, 1 << 16, 0};
  find_pass_run(&pass, a, &list, nullptr, shape);
  find_pass_next_stretch(&pass);
  list.n = 0;
  find_pass_run(&pass, b, &list, nullptr, shape);
  find_pass_finish(&pass, &list, nullptr);
  find_pass_end(&pass);
  ASSERT_EQ(list.n, 1);
  ASSERT_EQ(items[0].first, 0);
  // The paint of the second window, from its first record.
  const int32_t count = capture_write_position(&next);
  const int32_t lo = highlight_window_start(next.records, count, 0, highlight_longest(&rules));
  highlight_mark(&rules, next.records, next.times, lo, 0, count, next.events, next.event_count, next.base, shape,
                 &work, &marks);
  std::string got;
  for (int32_t i = 0; i < 3; i++) got += static_cast<char>('0' + highlight_rule_at(marks, i));
  EXPECT_EQ(got, "111");  // ALARM's last three bytes, its first rule's; Find's silence is under them
  EXPECT_EQ(marks.matches[1], 1) << "the silence Find finds before the window's first chunk";
  capture_snapshot_free(&a);
  capture_snapshot_free(&b);
  capture_free(&next);
}

// A rule of the bad Modbus frame kind colours the frames Find finds bad.
// Left for later (bad Modbus frame rules colour nothing yet): disabled
// until mended.
TEST_F(HighlightReview, DISABLED_ABadModbusFrameRuleColoursWhatFindFinds) {
  load(u"FF0000\tF\t*\t*\t\r\n");
  auto rtu = [](std::string f) {
    const uint16_t crc = crc16_modbus(reinterpret_cast<const uint8_t*>(f.data()), static_cast<int32_t>(f.size()));
    return f + static_cast<char>(crc & 0xFF) + static_cast<char>(crc >> 8);
  };
  put(rtu(std::string("\x01\x03\x00\x00\x00\x01", 6)), kKindSentCh1, 1000);
  put(rtu(std::string("\x01\x83\x02", 3)), kKindRecvCh1, 30000);  // an exception answer
  put(rtu(std::string("\x01\x03\x00\x00\x00\x01", 6)), kKindSentCh1, 200000);
  const int32_t count = capture_write_position(&cap);
  FindQuery q = rules.rules[0].query;
  q.modbus.mode = kModbusRtu;
  q.modbus.shape[0] = q.modbus.shape[1] = shape[0];
  ASSERT_EQ(capture_snapshot_allocate(&snap), 0);
  ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
  ASSERT_EQ(find_pass_begin(&pass, q), 0);
  FindList list = {items, 0, 1 << 16, 0};
  find_pass_run(&pass, snap, &list, nullptr, shape);
  find_pass_finish(&pass, &list, nullptr);
  find_pass_end(&pass);
  capture_snapshot_free(&snap);
  ASSERT_GE(list.n, 1);
  ASSERT_EQ(items[0].why, kFindBadException);
  mark(0, count);
  for (int32_t i = items[0].first; i <= items[0].last; i++) EXPECT_EQ(highlight_rule_at(marks, i), 1) << i;
}
