#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codec/convert.h"
#include "fake_codec.h"
#include "view/highlight.h"

namespace {

const AnsiCodec kLatin1 = {nullptr, fake_encode, nullptr};

std::vector<uint8_t> file_of(const std::u16string& text) {
  std::vector<uint8_t> b = {0xFF, 0xFE};
  for (char16_t u : text) b.push_back(static_cast<uint8_t>(u & 0xFF)), b.push_back(static_cast<uint8_t>(u >> 8));
  return b;
}

int to_vector(void* ctx, const uint8_t* bytes, int n) {
  static_cast<std::vector<uint8_t>*>(ctx)->insert(static_cast<std::vector<uint8_t>*>(ctx)->end(), bytes, bytes + n);
  return 0;
}

int64_t g_clock = 0;
int64_t test_micros() { return g_clock; }

struct Highlight : ::testing::Test {
  Capture cap;
  static HighlightRules rules;
  static HighlightWork work;
  static HighlightMarks marks;
  LineShape shape[2] = {{9600, 100}, {9600, 100}};
  void SetUp() override {
    cap.micros = test_micros;
    ASSERT_EQ(capture_allocate(&cap), 0);
    capture_clear(&cap);
  }
  void TearDown() override { capture_free(&cap); }
  void put(const char* text, uint8_t kind, int64_t t) {
    g_clock = t;
    capture_append(&cap, reinterpret_cast<const uint8_t*>(text), static_cast<int>(std::strlen(text)), kind, t);
  }
  void load(const std::u16string& text) {
    const std::vector<uint8_t> f = file_of(text);
    ASSERT_EQ(highlight_parse(f.data(), f.size(), &kLatin1, &rules), kHighlightFileOk);
  }
  // Marks records first .. end of the capture from the look-back start, as a paint does.
  void mark(int32_t first) {
    const int32_t count = capture_write_position(&cap);
    const int32_t lo = highlight_window_start(cap.records, count, first, highlight_longest(&rules));
    highlight_mark(&rules, cap.records, cap.times, lo, first, count, cap.events, cap.event_count, cap.base, shape,
                   &work, &marks);
  }
  // The rule of each record from..to ("." none, else the rule's number from 1).
  std::string rules_of(int32_t from, int32_t to) {
    std::string s;
    for (int32_t i = from; i <= to; i++) s += static_cast<char>(highlight_rule_at(marks, i) ? '0' + highlight_rule_at(marks, i) : '.');
    return s;
  }
};
HighlightRules Highlight::rules;
HighlightWork Highlight::work;
HighlightMarks Highlight::marks;

}  // namespace

TEST_F(Highlight, EveryFieldReadsAndBadLinesSayWhyWhileTheOthersLoad) {
  load(u"; alarms\r\n"
       u"FF00FF\tT\t*\t*\tALARM\r\n"
       u"00ff00\tt\t1\tRX\tok\tthere\n"          // the pattern is the rest of the line, tab and all
       u";off\t112233\tH\t2\tTX\t06 ?? 15\r\n"
       u"\r\n"
       u"AABBCC\tQ\t*\t*\t250\r\n"
       u"AABBCC\tE\t2\t*\tlost\r\n"
       u"AABBCC\tF\t*\t*\t\r\n"
       u"AABBCC\tS\t*\t*\t\"OK\"0D0A\r\n"
       u"GG0000\tT\t*\t*\tx\r\n"                // 10: colour
       u"FF0000\tX\t*\t*\tx\r\n"                // 11: form
       u"FF0000\tT\t3\t*\tx\r\n"                // 12: channel
       u"FF0000\tT\t*\tRR\tx\r\n"               // 13: direction
       u"FF0000\tH\t*\t*\t0G\r\n"               // 14: pattern, with Find's fault
       u"FF0000\tQ\t*\t*\t0\r\n"                // 15: silence
       u"FF0000\tE\t*\t*\tloaded\r\n"           // 16: an event Find never finds
       u"FF0000\tT\t*\r\n");                    // 17: fields
  ASSERT_EQ(rules.count, 7);
  const HighlightRule& a = rules.rules[0];
  EXPECT_EQ(a.rgb, 0xFF00FFu);
  EXPECT_EQ(a.form, 'T');
  EXPECT_EQ(a.query.what, kFindBytes);
  EXPECT_EQ(a.query.streams, 0xFu);
  EXPECT_EQ(a.query.pattern.length, 5);
  EXPECT_EQ(a.query.pattern.fold_case, 0);
  const HighlightRule& b = rules.rules[1];
  EXPECT_EQ(b.query.streams, 1u);  // CH1 received
  EXPECT_EQ(b.query.pattern.length, 8);
  EXPECT_EQ(b.query.pattern.fold_case, 1);
  EXPECT_EQ(rules.rules[2].enabled, 0);
  EXPECT_EQ(rules.rules[2].query.streams, 1u << 3);  // CH2 sent
  EXPECT_EQ(rules.rules[3].query.silence_us, 250000);
  EXPECT_EQ(rules.rules[4].query.event, kEventLost);
  EXPECT_EQ(rules.rules[5].query.what, kFindBadFrame);
  EXPECT_EQ(rules.rules[6].query.pattern.length, 4);
  const int want[][2] = {{10, kHighlightBadColour}, {11, kHighlightBadForm},      {12, kHighlightBadChannel},
                         {13, kHighlightBadDirection}, {14, kHighlightBadPattern}, {15, kHighlightBadSilence},
                         {16, kHighlightBadEvent},   {17, kHighlightFields}};
  ASSERT_EQ(rules.problem_count, 8);
  for (int k = 0; k < 8; k++) {
    EXPECT_EQ(rules.problems[k].line, want[k][0]);
    EXPECT_EQ(rules.problems[k].reason, want[k][1]);
  }
  EXPECT_EQ(rules.problems[4].bad.fault, kFindPatternNotHex);
  EXPECT_EQ(rules.problems[4].bad.at, 1);
  // Too long a line, too many rules, no byte-order mark.
  std::u16string many(kHighlightLineMax + 1, u'A');
  many += u"\r\n";
  for (int r = 0; r <= kHighlightRules; r++) many += u"000000\tT\t*\t*\tx\r\n";
  load(many);
  EXPECT_EQ(rules.count, kHighlightRules);
  ASSERT_EQ(rules.problem_count, 2);
  EXPECT_EQ(rules.problems[0].reason, kHighlightLineTooLong);
  EXPECT_EQ(rules.problems[1].line, kHighlightRules + 2);
  EXPECT_EQ(rules.problems[1].reason, kHighlightTooMany);
  const uint8_t no_bom[] = {'F', 0, 'F', 0};
  EXPECT_EQ(highlight_parse(no_bom, sizeof no_bom, &kLatin1, &rules), kHighlightFileNotUtf16);
}

TEST_F(Highlight, WritingWhatWasReadGivesTheSameFile) {
  const std::u16string text = u"FF00FF\tT\t*\t*\tALARM\r\n"
                              u";off\t112233\tH\t2\tTX\t06 ?? 15\r\n"
                              u"0000FF\tt\t1\tRX\tok\tthere\r\n"
                              u"AABBCC\tE\t2\t*\tlost\r\n";
  load(text);
  std::vector<uint8_t> out;
  const ByteSink sink = {&out, to_vector};
  ASSERT_EQ(highlight_write(&rules, &sink), 0);
  EXPECT_EQ(out, file_of(text));
}

// The one check of a colour field, the file's and the dialog's.
TEST_F(Highlight, AColourIsExactlySixHexDigits) {
  EXPECT_EQ(highlight_colour_read(u"FFa0c1", 6), 0xFFA0C1);
  for (const char16_t* bad : {u"-00001", u"+00001", u" 0000F", u"0x00FF", u"00FF0G", u"00FF0"})
    EXPECT_EQ(highlight_colour_read(bad, static_cast<int>(std::char_traits<char16_t>::length(bad))), -1) << static_cast<int>(bad[0]);
}

TEST_F(Highlight, TextStaysLegibleOnAnyColour) {
  EXPECT_EQ(highlight_text_rgb(0xFFFF00), 0x000000u);
  EXPECT_EQ(highlight_text_rgb(0xFFFFFF), 0x000000u);
  EXPECT_EQ(highlight_text_rgb(0x0000FF), 0xFFFFFFu);
  EXPECT_EQ(highlight_text_rgb(0xFF00FF), 0xFFFFFFu);
  EXPECT_EQ(highlight_text_rgb(0x000000), 0xFFFFFFu);
}

TEST_F(Highlight, FirstRuleWinsAndAMatchRunsAcrossChunksOfOneStreamOnly) {
  load(u"FF0000\tT\t*\t*\tLARM\r\n"
       u"00FF00\tT\t*\t*\tALARM\r\n"
       u"0000FF\tT\t*\tTX\tAL\r\n");
  put("xAL", kKindRecvCh1, 1000);   // records 0..2, markers 3..5
  put("AL", kKindSentCh1, 2000);    // 6..7: another stream, markers 8..10
  put("ARM", kKindRecvCh1, 3000);   // 11..13
  put("ALARM", kKindRecvCh2, 4000); // 17..21
  mark(11);  // a paint of what came after "xAL": the look-back takes it in
  // CH1 received "AL" + "ARM": rule 2 on A, L, rule 1 (first) on LARM.
  EXPECT_EQ(rules_of(0, 2), ".21");
  EXPECT_EQ(rules_of(11, 13), "111");
  EXPECT_EQ(rules_of(6, 7), "..");  // a find wholly before the paint was painted before
  EXPECT_EQ(rules_of(17, 21), "21111");
  EXPECT_EQ(marks.any_before, 1);
  EXPECT_EQ(marks.matches[0], 2);
  mark(6);
  EXPECT_EQ(rules_of(6, 7), "33");  // "AL" sent: never joined to what CH1 received
  // CH1's line lost between "AL" and "ARM": nothing runs across it.
  capture_clear(&cap);
  put("xAL", kKindRecvCh1, 1000);
  capture_add_event(&cap, kEventLost, 1, 3, 0);
  put("ARM", kKindRecvCh1, 3000);  // records 6..8
  mark(6);
  EXPECT_EQ(rules_of(0, 8), "..." "..." "...");
}

TEST_F(Highlight, SilencesAndEventsColourWhatFindFinds) {
  load(u"FF0000\tQ\t*\t*\t100\r\n"
       u"00FF00\tE\t*\t*\tback\r\n");
  put("ab", kKindRecvCh1, 1000);
  put("c", kKindSentCh1, 50000);      // 50 ms after: no silence of 100 ms
  put("de", kKindRecvCh2, 400000);    // 350 ms: a silence
  capture_add_event(&cap, kEventBack, 2, 3, 700);
  // Until a byte follows the event, nothing stands for it.
  mark(0);
  EXPECT_EQ(marks.matches[1], 0);
  put("fg", kKindRecvCh2, 420000);
  const int32_t count = capture_write_position(&cap);
  mark(0);
  // Find over the same capture.
  for (int r = 0; r < 2; r++) {
    static CaptureSnapshot snap;
    ASSERT_EQ(capture_snapshot_allocate(&snap), 0);
    ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
    FindQuery q = rules.rules[r].query;
    q.shape[0] = shape[0];
    q.shape[1] = shape[1];
    static FindPass pass;
    ASSERT_EQ(find_pass_begin(&pass, q), 0);
    static FindFound items[64];
    FindList list = {items, 0, 64, 0};
    find_pass_run(&pass, snap, &list, nullptr);
    find_pass_end(&pass);
    capture_snapshot_free(&snap);
    ASSERT_EQ(list.n, 1);
    for (int32_t i = 0; i < count; i++) {
      const int in_find = i >= items[0].first && i <= items[0].last && cap.records[i].kind == items[0].kind;
      // The silence's chunk is rule 1's; the event's first record too, so rule 1 keeps it.
      if (in_find) EXPECT_NE(highlight_rule_at(marks, i), 0) << "rule " << r << " record " << i;
      if (r == 0) EXPECT_EQ(highlight_rule_at(marks, i) == 1, in_find) << i;
    }
  }
  EXPECT_EQ(marks.matches[0], 1);
  EXPECT_EQ(marks.matches[1], 1);
}

TEST_F(Highlight, TheLookBackReachesEachStreamsPatternAndTheChunkBefore) {
  put("0123456789", kKindRecvCh1, 1000);  // 0..9, markers 10..12
  put("abc", kKindRecvCh2, 2000);         // 13..15, markers 16..18
  put("XY", kKindRecvCh1, 3000);          // 19..20
  const int32_t count = capture_write_position(&cap);
  // From record 19: CH1's 4 bytes before reach back to 6; the chunk before is CH2's at 13.
  EXPECT_EQ(highlight_window_start(cap.records, count, 19, 5), 6);
  EXPECT_EQ(highlight_window_start(cap.records, count, 19, 1), 13);
  // A pattern longer than all that lies before: from record 0.
  EXPECT_EQ(highlight_window_start(cap.records, count, 19, 40), 0);
  EXPECT_EQ(highlight_window_start(cap.records, count, 0, 40), 0);
}

// A page scrolled back colours a match begun on it however much other
// traffic lies before its end, and counts only the finds it shows.
TEST_F(Highlight, ThePageLooksAheadByStreamAndCountsWhatItShows) {
  load(u"FF0000\tT\t*\t*\tALARM\r\n");
  put("ALARM", kKindRecvCh1, 1000);  // 0..4, markers 5..7
  put("AL", kKindRecvCh1, 200000);   // 8..9, markers 10..12: the page ends after it
  const int32_t end = capture_write_position(&cap);
  const std::string other(250, 'z');
  for (int k = 0; k < 20; k++) put(other.c_str(), kKindRecvCh2, 300000 + k * 3000);
  put("ARM", kKindRecvCh1, 400000);
  put("ALARM", kKindRecvCh1, 500000);  // past the page
  const int32_t count = capture_write_position(&cap);
  const int32_t hi = highlight_window_end(cap.records, count, 0, end, highlight_longest(&rules));
  EXPECT_GT(hi, end + 5000);  // CH1's 4 bytes more, past CH2's 5,000
  EXPECT_LT(hi, count);
  work.shown_hi = end;
  highlight_mark(&rules, cap.records, cap.times, 0, 0, hi, cap.events, cap.event_count, cap.base, shape, &work, &marks);
  work.shown_hi = 0;
  EXPECT_EQ(rules_of(0, 4) + rules_of(8, 9), "1111111");
  EXPECT_EQ(marks.matches[0], 2);  // not the ALARM past the page
}

TEST_F(Highlight, ASampleMatchesAsTheRuleWouldColour) {
  load(u"FF0000\tt\t*\t*\talarm\r\n"
       u"FF0000\tH\t*\t*\t06 ?? 15\r\n"
       u"FF0000\tQ\t*\t*\t10\r\n");
  const uint8_t upper[] = "AN ALARM!", other[] = "ALAR M";
  const uint8_t ack[] = {0x06, 0x41, 0x15};
  EXPECT_EQ(highlight_sample_matches(&rules.rules[0], upper, 9), 1);
  EXPECT_EQ(highlight_sample_matches(&rules.rules[0], other, 6), 0);
  EXPECT_EQ(highlight_sample_matches(&rules.rules[1], ack, 3), 1);
  EXPECT_EQ(highlight_sample_matches(&rules.rules[1], ack, 2), 0);
  EXPECT_EQ(highlight_sample_matches(&rules.rules[2], ack, 3), -1);
}
