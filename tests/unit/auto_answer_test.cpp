#include "macro/auto_answer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "utf16_file.h"

namespace {

using Bytes = std::vector<uint8_t>;

int vector_write(void* ctx, const uint8_t* bytes, int n) {
  static_cast<Bytes*>(ctx)->insert(static_cast<Bytes*>(ctx)->end(), bytes, bytes + n);
  return 0;
}

Bytes written(const AutoAnswerRules& r) {
  Bytes out;
  ByteSink sink = {&out, vector_write};
  EXPECT_EQ(auto_answer_write(&r, &sink), 0);
  return out;
}

std::unique_ptr<AutoAnswerRules> parsed(const std::u16string& text) {
  std::unique_ptr<AutoAnswerRules> r(new AutoAnswerRules());
  Bytes f = utf16_file(text);
  EXPECT_EQ(auto_answer_parse(f.data(), f.size(), r.get()), kAutoAnswerFileOk);
  return r;
}

std::string str(const uint8_t* b, int n) { return std::string(reinterpret_cast<const char*>(b), static_cast<size_t>(n)); }

// Feeds chunks to a matcher of `channel`; returns the fired rules' answers
// joined by "|".
std::string feed_all(AutoAnswerRules* rules, int channel, const std::vector<std::string>& chunks) {
  AutoAnswerMatcher m;
  auto_answer_matcher_begin(&m, channel);
  std::string out;
  for (const std::string& c : chunks) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(c.data());
    int left = static_cast<int>(c.size());
    while (left > 0) {
      AutoAnswerFire fires[2];
      int used = 0;
      int n = auto_answer_feed(&m, rules, p, left, fires, 2, &used);
      for (int i = 0; i < n; i++) out += (out.empty() ? "" : "|") + str(fires[i].answer, fires[i].answer_length);
      p += used;
      left -= used;
    }
  }
  return out;
}

TEST(AutoAnswerFile, ReadsRulesFlagsAndNotation) {
  auto r = parsed(
      u"CH1\t\"PING\"0D\t50\t\"PONG\"0D0A\r\n"
      u"off\tCH2\t0102\t0\t06\r\n"
      u"\r\n"
      u"CH2\t'say \"hi\"'\t60000\t\"ok\"\n");
  ASSERT_EQ(r->count, 3);
  EXPECT_EQ(r->problem_count, 0);
  const AutoAnswerRule& a = r->rules[0];
  EXPECT_EQ(a.enabled, 1);
  EXPECT_EQ(a.channel, 1);
  EXPECT_EQ(a.delay_ms, 50);
  EXPECT_EQ(str(a.match, a.match_length), "PING\r");
  EXPECT_EQ(str(a.answer, a.answer_length), "PONG\r\n");
  EXPECT_EQ(r->rules[1].enabled, 0);
  EXPECT_EQ(r->rules[1].channel, 2);
  EXPECT_EQ(str(r->rules[1].match, r->rules[1].match_length), "\x01\x02");
  EXPECT_EQ(str(r->rules[2].match, r->rules[2].match_length), "say \"hi\"");
  EXPECT_EQ(r->rules[2].delay_ms, 60000);
}

TEST(AutoAnswerFile, WritingWhatWasReadGivesTheSameFile) {
  std::u16string text =
      u"CH1\t\"PING\"0D\t50\t\"PONG\"0D0A\r\n"
      u"off\tCH2\t0102\t0\t06\r\n"
      u"CH2\t\"say \"22\"hi\"22\t60000\t00\"ok\"FF09\r\n";
  auto r = parsed(text);
  ASSERT_EQ(r->count, 3);
  EXPECT_EQ(written(*r), utf16_file(text));
  // And rules made in the program (every byte value) come back as they were.
  std::unique_ptr<AutoAnswerRules> made(new AutoAnswerRules());
  made->count = 2;
  for (int i = 0; i < 2; i++) {
    AutoAnswerRule& rule = made->rules[i];
    rule.enabled = i;
    rule.channel = 2 - i;
    rule.delay_ms = 1234 * i;
    rule.match_length = kAutoAnswerMatchBytes;
    for (int k = 0; k < rule.match_length; k++) rule.match[k] = static_cast<uint8_t>(k * 4 + i);
    rule.answer_length = kAutoAnswerBytes;
    for (int k = 0; k < rule.answer_length; k++) rule.answer[k] = static_cast<uint8_t>(255 - k);
  }
  Bytes f = written(*made);
  std::unique_ptr<AutoAnswerRules> back(new AutoAnswerRules());
  ASSERT_EQ(auto_answer_parse(f.data(), f.size(), back.get()), kAutoAnswerFileOk);
  ASSERT_EQ(back->count, 2);
  EXPECT_EQ(back->problem_count, 0);
  for (int i = 0; i < 2; i++) {
    const AutoAnswerRule &x = made->rules[i], &y = back->rules[i];
    EXPECT_EQ(y.enabled, x.enabled);
    EXPECT_EQ(y.channel, x.channel);
    EXPECT_EQ(y.delay_ms, x.delay_ms);
    EXPECT_EQ(Bytes(y.match, y.match + y.match_length), Bytes(x.match, x.match + x.match_length));
    EXPECT_EQ(Bytes(y.answer, y.answer + y.answer_length), Bytes(x.answer, x.answer + x.answer_length));
  }
  EXPECT_EQ(written(*back), f);
}

TEST(AutoAnswerFile, BadLinesAreReportedWithTheirNumbersAndTheOthersLoad) {
  std::u16string too_long_match = u"CH1\t" + std::u16string(2 * (kAutoAnswerMatchBytes + 1), u'4') + u"\t0\t06";
  std::u16string too_long_answer = u"CH1\t41\t0\t" + std::u16string(2 * (kAutoAnswerBytes + 1), u'4');
  std::u16string too_long_line = u"CH1\t41\t0\t'" + std::u16string(kAutoAnswerLineMax, u'x') + u"'";
  auto r = parsed(u"CH1\t41\t0\t42\r\n"     // 1 good
                  u"CH3\t41\t0\t42\r\n"     // 2 channel
                  u"CH1\t41\t0\r\n"         // 3 fields
                  u"on\tCH1\t41\t0\t42\r\n" // 4 only "off" is a flag
                  u"CH1\t\t0\t42\r\n"       // 5 empty match
                  u"CH1\t'\u3042'\t0\t42\r\n" // 6 not a byte
                  u"CH1\t41\t-5\t42\r\n"    // 7 delay
                  u"CH1\t41\t60001\t42\r\n" // 8 delay
                  u"CH1\t41\t0\t\r\n" +     // 9 empty answer
                  too_long_match + u"\r\n" +   // 10
                  too_long_answer + u"\r\n" +  // 11
                  too_long_line + u"\r\n" +    // 12
                  u"CH2\t41\t7\t43");          // 13 good, no line end
  ASSERT_EQ(r->count, 2);
  EXPECT_EQ(r->rules[1].channel, 2);
  EXPECT_EQ(r->rules[1].delay_ms, 7);
  std::vector<std::pair<int, int>> want = {
      {2, kAutoAnswerBadChannel},   {3, kAutoAnswerFields},      {4, kAutoAnswerFields},
      {5, kAutoAnswerBadMatch},     {6, kAutoAnswerBadMatch},    {7, kAutoAnswerBadDelay},
      {8, kAutoAnswerBadDelay},     {9, kAutoAnswerBadAnswer},   {10, kAutoAnswerMatchTooLong},
      {11, kAutoAnswerAnswerTooLong}, {12, kAutoAnswerLineTooLong}};
  ASSERT_EQ(r->problem_count, static_cast<int>(want.size()));
  for (size_t i = 0; i < want.size(); i++) {
    EXPECT_EQ(r->problems[i].line, want[i].first) << i;
    EXPECT_EQ(r->problems[i].reason, want[i].second) << i;
  }
}

TEST(AutoAnswerFile, TooManyRulesAndProblemsAreCounted) {
  std::u16string text;
  for (int i = 0; i < kAutoAnswerRules + 3; i++) text += u"CH1\t41\t0\t42\r\n";
  for (int i = 0; i < kAutoAnswerProblems + 4; i++) text += u"bad\r\n";
  auto r = parsed(text);
  EXPECT_EQ(r->count, kAutoAnswerRules);
  EXPECT_EQ(r->problem_count, 3 + kAutoAnswerProblems + 4);
  EXPECT_EQ(r->problems[0].line, kAutoAnswerRules + 1);
  EXPECT_EQ(r->problems[0].reason, kAutoAnswerTooMany);
  EXPECT_EQ(r->problems[kAutoAnswerProblems - 1].reason, kAutoAnswerFields);
}

TEST(AutoAnswerFile, AFileWithoutByteOrderMarkIsRefused) {
  Bytes f = utf16_file(u"CH1\t41\t0\t42\r\n", false);
  std::unique_ptr<AutoAnswerRules> r(new AutoAnswerRules());
  EXPECT_EQ(auto_answer_parse(f.data(), f.size(), r.get()), kAutoAnswerFileNotUtf16);
  EXPECT_EQ(r->count, 0);
  EXPECT_EQ(auto_answer_parse(f.data(), 0, r.get()), kAutoAnswerFileNotUtf16);
  // An odd last byte is ignored.
  Bytes g = utf16_file(u"CH1\t41\t0\t42");
  g.push_back(0x41);
  EXPECT_EQ(auto_answer_parse(g.data(), g.size(), r.get()), kAutoAnswerFileOk);
  EXPECT_EQ(r->count, 1);
}

// The editor's fields go through the same checks as a file line, and the
// texts shown for a rule's bytes read back as the same bytes.
TEST(AutoAnswerFields, EditorFieldsAreCheckedAsFileFieldsAndTheirTextReadsBack) {
  struct Case {
    int channel;
    std::u16string match, delay, answer;
    int reason;
  } cases[] = {
      {1, u"\"PING\"", u"0", u"\"PONG\"0D0A", 0},
      {2, u"01 03", u"60000", u"FF", 0},
      {3, u"41", u"0", u"42", kAutoAnswerBadChannel},
      {1, u"", u"0", u"42", kAutoAnswerBadMatch},
      {1, u"41", u"60001", u"42", kAutoAnswerBadDelay},
      {1, u"41", u"-1", u"42", kAutoAnswerBadDelay},
      {1, u"41", u"", u"42", kAutoAnswerBadDelay},
      {1, u"41", u"5", u"", kAutoAnswerBadAnswer},
      {1, u"41", u"5", u"\"\u3042\"", kAutoAnswerBadAnswer},
      {1, std::u16string(65 * 2, u'A'), u"0", u"42", kAutoAnswerMatchTooLong},
      {1, u"41", u"0", std::u16string(257 * 2, u'A'), kAutoAnswerAnswerTooLong},
      // Not notation: refused, never read as other bytes (PING was 00 00).
      {1, u"PING", u"0", u"42", kAutoAnswerMatchNotation},
      {1, u"41", u"0", u"\"PONG", kAutoAnswerAnswerNotation},
      {1, u"41", u"0", u"4", kAutoAnswerAnswerNotation},
  };
  for (const Case& c : cases) {
    AutoAnswerRule rule;
    int reason = auto_answer_rule_from_fields(c.channel, c.match.data(), static_cast<int>(c.match.size()),
                                              c.delay.data(), static_cast<int>(c.delay.size()), c.answer.data(),
                                              static_cast<int>(c.answer.size()), &rule);
    EXPECT_EQ(reason, c.reason) << std::string(c.match.begin(), c.match.end());
    if (reason) continue;
    EXPECT_EQ(rule.enabled, 1);
    EXPECT_EQ(rule.channel, c.channel);
    EXPECT_EQ(rule.fired, 0u);
    char16_t match[2 * kAutoAnswerMatchBytes], answer[2 * kAutoAnswerBytes];
    int mn = auto_answer_bytes_text(rule.match, rule.match_length, match);
    int an = auto_answer_bytes_text(rule.answer, rule.answer_length, answer);
    AutoAnswerRule again;
    ASSERT_EQ(auto_answer_rule_from_fields(c.channel, match, mn, c.delay.data(), static_cast<int>(c.delay.size()),
                                           answer, an, &again), 0);
    EXPECT_EQ(str(again.match, again.match_length), str(rule.match, rule.match_length));
    EXPECT_EQ(str(again.answer, again.answer_length), str(rule.answer, rule.answer_length));
  }
  // The text is the writer's: quoted runs, other bytes as hex pairs.
  const uint8_t bytes[] = {'P', 'O', 'N', 'G', 0x0D, 0x0A, 'x', '"', '"'};
  char16_t text[2 * sizeof bytes];
  int n = auto_answer_bytes_text(bytes, sizeof bytes, text);
  EXPECT_EQ(std::u16string(text, static_cast<size_t>(n)), u"\"PONG\"0D0A782222");
}

TEST(AutoAnswerMatch, MatchesSplitOverChunks) {
  auto r = parsed(u"CH1\t\"PING\"\t25\t\"PONG\"\r\n");
  EXPECT_EQ(feed_all(r.get(), 1, {"PI", "NG"}), "PONG");
  EXPECT_EQ(feed_all(r.get(), 1, {"xxP", "I", "", "N", "Gyy", "PINGPING"}), "PONG|PONG|PONG");
  EXPECT_EQ(r->rules[0].fired, 4u);
  EXPECT_EQ(feed_all(r.get(), 2, {"PING"}), "");  // another channel's rule
  // The fire tells what to send, where and when.
  AutoAnswerMatcher m;
  auto_answer_matcher_begin(&m, 1);
  AutoAnswerFire fire;
  int used = 0;
  ASSERT_EQ(auto_answer_feed(&m, r.get(), reinterpret_cast<const uint8_t*>("PINGrest"), 8, &fire, 1, &used), 1);
  EXPECT_EQ(used, 4);  // the list was full: the rest is fed again
  EXPECT_EQ(fire.rule, 0);
  EXPECT_EQ(fire.channel, 1);
  EXPECT_EQ(fire.delay_ms, 25);
  EXPECT_EQ(fire.end, 4);
  ASSERT_EQ(auto_answer_feed(&m, r.get(), reinterpret_cast<const uint8_t*>("xPINGyPI"), 8, &fire, 1, &used), 1);
  EXPECT_EQ(fire.end, 5);  // after x P I N G
  EXPECT_EQ(used, 5);
}

TEST(AutoAnswerMatch, FirstRuleEndingHereWinsAndMatchedBytesAreUsedUp) {
  auto r = parsed(u"CH1\t\"NG\"\t0\t\"A\"\r\n"
                  u"CH1\t\"PING\"\t0\t\"B\"\r\n"
                  u"CH1\t\"PI\"\t0\t\"C\"\r\n"
                  u"CH1\t\"AAA\"\t0\t\"D\"\r\n");
  // PI ends first and takes P, I; NG then ends at G.
  EXPECT_EQ(feed_all(r.get(), 1, {"PING"}), "C|A");
  // Overlaps are not reused: AAAAAA gives two fires, not four.
  EXPECT_EQ(feed_all(r.get(), 1, {"AAAAAA"}), "D|D");
  EXPECT_EQ(feed_all(r.get(), 1, {"AA", "AAA"}), "D");
  // With PI off, PING and NG both end at G: the earlier line wins.
  r->rules[2].enabled = 0;
  EXPECT_EQ(feed_all(r.get(), 1, {"PING"}), "A");
  r->rules[0].enabled = 0;
  EXPECT_EQ(feed_all(r.get(), 1, {"PING"}), "B");
  EXPECT_EQ(r->rules[0].fired, 2u);
}

TEST(AutoAnswerMatch, DisabledRulesAndRulesLongerThanTheInputNeverFire) {
  auto r = parsed(u"off\tCH1\t\"OK\"\t0\t\"X\"\r\n"
                  u"CH1\t\"" + std::u16string(kAutoAnswerMatchBytes, u'L') + u"\"\t0\t\"Y\"\r\n");
  ASSERT_EQ(r->count, 2);
  EXPECT_EQ(feed_all(r.get(), 1, {"OKOK", std::string(kAutoAnswerMatchBytes - 1, 'L')}), "");
  EXPECT_EQ(r->rules[0].fired, 0u);
  // The longest match fits the history exactly, across many chunks.
  std::vector<std::string> ones(kAutoAnswerMatchBytes + 5, "L");
  EXPECT_EQ(feed_all(r.get(), 1, ones), "Y");
}

// The work per byte is bounded by the matcher's fixed history (rules x
// match length comparisons at most); how fast that runs is a benchmark's
// business, not a test's. Here: the worst case for comparing from the end
// fires nothing and counts nothing over a long stream.
TEST(AutoAnswerMatch, ALongStreamOfNearMatchesFiresNothing) {
  std::u16string text;
  // Worst cases for comparing from the end: matches that differ only in their first byte.
  for (int i = 0; i < kAutoAnswerRules; i++)
    text += u"CH1\tF" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u"\"" +
            std::u16string(kAutoAnswerMatchBytes - 1, u'a') + u"\"\t0\t41\r\n";
  auto r = parsed(text);
  ASSERT_EQ(r->count, kAutoAnswerRules);
  std::string stream(1 << 16, 'a');
  EXPECT_EQ(feed_all(r.get(), 1, {stream}).size(), 0u);
  for (int i = 0; i < r->count; i++) EXPECT_EQ(r->rules[i].fired, 0u);
}

}  // namespace
