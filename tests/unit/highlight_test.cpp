#include <gtest/gtest.h>

#include <cstring>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "codec/checksum.h"
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

// Faults a review proved: colouring as Find finds it across long stretches, and
// the rules file kept whole.
namespace {

// 0x82 is the lead byte of the test code page's double-byte characters.
int lead_82(void*, uint8_t b) { return b == 0x82; }
const AnsiCodec kDouble = {&g_fake_double_byte, fake_encode, lead_82};


// The same capture and rules, in a code page with double-byte characters,
// compared record by record with what Find finds.
struct HighlightReview : Highlight {
  static CaptureSnapshot snap;
  static FindPass pass;
  static FindFound items[1 << 16];
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
    const int32_t lo = highlight_window_start(cap.records, hi, first, highlight_longest(&rules), highlight_lead(&rules));
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
CaptureSnapshot HighlightReview::snap;
FindPass HighlightReview::pass;
FindFound HighlightReview::items[1 << 16];

}  // namespace

// Find never starts an any-case match on the second byte of a double-byte
// character; a paint whose look-back begins on one must not either.
TEST_F(HighlightReview, AnyCaseTextNeverMatchesFromTheSecondByteOfACharacter) {
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
// stream across its windows. A silence before the window's first chunk is
// coloured at the start of the window as Find finds it; the part of a match
// the edge cuts that lies in this window is coloured here (the window
// before, reading on into this one, colours the rest).
TEST_F(HighlightReview, ARecordingWindowsFirstChunkIsColouredAsFindFindsIt) {
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
  // The paint of the second window, from its first record, the window
  // before it read on from.
  const int32_t count = capture_write_position(&next);
  const int32_t lo = highlight_window_start(next.records, count, 0, highlight_longest(&rules));
  work.before = &a;
  highlight_mark(&rules, next.records, next.times, lo, 0, count, next.events, next.event_count, next.base, shape,
                 &work, &marks);
  work.before = nullptr;
  std::string got;
  for (int32_t i = 0; i < 3; i++) got += static_cast<char>('0' + highlight_rule_at(marks, i));
  EXPECT_EQ(got, "111");  // ALARM's last three bytes, by the first rule, over Find's silence
  EXPECT_EQ(marks.matches[0], 1) << "the match the edge cut";
  EXPECT_EQ(marks.matches[1], 1) << "the silence Find finds before the window's first chunk";
  capture_snapshot_free(&a);
  capture_snapshot_free(&b);
  capture_free(&next);
}

// A rule of the bad Modbus frame kind colours the frames Find finds bad,
// by the decode the monitor's worker makes beside the window; a rule on
// the other channel colours none of them.
TEST_F(HighlightReview, ABadModbusFrameRuleColoursWhatFindFinds) {
  load(u"FF0000\tF\t*\t*\t\r\n"
       u"00FF00\tF\t2\t*\t\r\n");
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
  // The worker's decode, as the window's timer takes it.
  static ModbusMonitorWorker worker;
  ASSERT_EQ(modbus_monitor_worker_start(&worker, &cap), 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (worker.shown.count != count && std::chrono::steady_clock::now() < deadline) {
    modbus_monitor_worker_poll(&worker, &q.modbus);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(worker.shown.count, count);
  highlight_frames_use(&work, &worker.shown);
  // More traffic after the decode: its frames stay where they were.
  put(std::string(40, 'z'), kKindRecvCh2, 400000);
  mark(0, capture_write_position(&cap));
  std::string got, want;
  for (int32_t i = 0; i < capture_write_position(&cap); i++) {
    got += static_cast<char>('0' + highlight_rule_at(marks, i));
    want += i >= items[0].first && i <= items[0].last && cap.records[i].kind == kKindRecvCh1 ? '1' : '0';
  }
  EXPECT_EQ(got, want);
  EXPECT_EQ(marks.matches[0], 1);
  highlight_frames_use(&work, nullptr);
  modbus_monitor_worker_stop(&worker);
}

// A match is coloured whole or not at all, whichever of its records a
// paint shows: parts closer than the look-back are coloured by every paint
// of them, parts farther apart by none (Find still finds it).
TEST_F(HighlightReview, AMatchIsColouredWholeOrNotAtAllWhereverThePaintBegins) {
  load(u"FF0000\tT\t*\t*\tALARM\r\n");
  for (const int32_t between : {20000, 40000}) {  // CH2's bytes between the parts
    capture_clear(&cap);
    int64_t t = 1000;
    auto other = [&] {
      for (int32_t sent = 0; sent < between; sent += 250, t += 30000) put(std::string(250, 'z'), kKindRecvCh2, t);
    };
    std::vector<int32_t> parts;
    parts.push_back(capture_write_position(&cap));
    put("A", kKindRecvCh1, t += 20000);
    other();
    parts.push_back(capture_write_position(&cap));
    put("L", kKindRecvCh1, t += 20000);
    other();
    parts.push_back(capture_write_position(&cap));
    put("ARM", kKindRecvCh1, t += 20000);
    const int32_t count = capture_write_position(&cap);
    ASSERT_EQ(found_by_find()[parts[1]], 1);
    const int whole = parts[2] + 2 - parts[0] <= kHighlightLookBack;
    for (const int32_t at : parts) {
      mark(at, highlight_window_end(cap.records, count, at, at + 1, highlight_longest(&rules)));
      EXPECT_EQ(highlight_rule_at(marks, at), whole) << "between " << between << ", the paint from record " << at;
    }
  }
}
