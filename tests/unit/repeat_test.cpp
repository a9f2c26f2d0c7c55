// The repeat's beat: due times that never drift, a stall that skips rather
// than bunches, a count's end, and the fields' limits.
#include <gtest/gtest.h>

#include "send/repeat.h"

namespace {

constexpr int64_t kStart = 5'000'000;

TEST(RepeatSchedule, BeatsAreDueAtStartPlusKPeriodsWhateverTheWakes) {
  RepeatSchedule s;
  repeat_begin(&s, kStart, 100, 0);
  EXPECT_EQ(repeat_due_us(&s), kStart);  // the first goes at once
  EXPECT_EQ(repeat_take(&s, kStart - 1, 0), 0);
  // Late wakes (up to a whole period less a µs) never move later beats.
  const int64_t late[] = {0, 3'000, 99'999, 1, 50'000};
  for (int k = 0; k < 5; k++) {
    const int64_t due = kStart + k * 100'000;
    EXPECT_EQ(repeat_due_us(&s), due);
    // Each write ended a millisecond after its beat, before the next.
    const int64_t free = k == 0 ? 0 : due - 99'000;
    EXPECT_EQ(repeat_take(&s, due + late[k] - 1, free), k == 0 || late[k] == 0 ? 0 : 1) << k;
    ASSERT_EQ(repeat_take(&s, due + late[k], free), 1) << k;
    repeat_note(&s, 1);
  }
  EXPECT_EQ(s.sent, 5);
  EXPECT_EQ(s.skipped, 0);
  // Over a day at 10 ms the due time is still exact.
  repeat_begin(&s, kStart, 10, 0);
  s.next = 8'640'000;
  EXPECT_EQ(repeat_due_us(&s), kStart + 86'400'000'000LL);
}

TEST(RepeatSchedule, AStallSkipsTheMissedBeatsAndServesOneNeverABurst) {
  RepeatSchedule s;
  repeat_begin(&s, kStart, 100, 0);
  ASSERT_EQ(repeat_take(&s, kStart, 0), 1);
  repeat_note(&s, 1);
  // The worker held 1.05 s, its write long done (the line free since 2 ms):
  // beats 1..10 passed; beat 10 is served, 1..9 skipped.
  ASSERT_EQ(repeat_take(&s, kStart + 1'050'000, kStart + 2'000), 1);
  EXPECT_EQ(s.skipped, 9);
  repeat_note(&s, 1);
  EXPECT_EQ(repeat_take(&s, kStart + 1'050'001, kStart + 1'050'001), 0);  // nothing more until beat 11
  EXPECT_EQ(repeat_due_us(&s), kStart + 1'100'000);
  // A beat whose port was busy is skipped and the beat goes on.
  ASSERT_EQ(repeat_take(&s, kStart + 1'100'000, kStart + 1'050'001), 1);
  repeat_note(&s, 0);
  EXPECT_EQ(s.sent, 2);
  EXPECT_EQ(s.skipped, 10);
  EXPECT_EQ(repeat_due_us(&s), kStart + 1'200'000);
}

TEST(RepeatSchedule, ACountEndsAfterItsLastBeatSentOrSkipped) {
  RepeatSchedule s;
  repeat_begin(&s, kStart, 100, 3);
  for (int k = 0; k < 2; k++) {
    ASSERT_EQ(repeat_take(&s, kStart + k * 100'000, 0), 1);
    repeat_note(&s, 1);
  }
  // Woken long after the end: the last beat is served, none past it.
  ASSERT_EQ(repeat_take(&s, kStart + 10'000'000, kStart + 100'001), 1);
  EXPECT_EQ(s.skipped, 0);
  repeat_note(&s, 1);
  EXPECT_TRUE(repeat_over(&s));
  EXPECT_EQ(repeat_due_us(&s), INT64_MAX);
  EXPECT_EQ(repeat_take(&s, kStart + 20'000'000, 0), 0);
  repeat_note(&s, 1);
  EXPECT_EQ(s.sent, 3);
}

TEST(RepeatFields, PeriodFrom10msTo24hCountFrom0) {
  int64_t p = -1, c = -1;
  EXPECT_EQ(repeat_fields_parse(u"100", u"", &p, &c), kRepeatFieldsOk);
  EXPECT_EQ(p, 100);
  EXPECT_EQ(c, 0);
  EXPECT_EQ(repeat_fields_parse(u" 10 ", u"50", &p, &c), kRepeatFieldsOk);
  EXPECT_EQ(c, 50);
  EXPECT_EQ(repeat_fields_parse(u"86400000", u"0", &p, &c), kRepeatFieldsOk);
  EXPECT_EQ(p, 86'400'000);
  p = c = -1;
  for (const char16_t* bad : {u"9", u"0", u"", u"86400001", u"1e3", u"-100", u"100.5", u"99999999999999999999"})
    EXPECT_EQ(repeat_fields_parse(bad, u"1", &p, &c), kRepeatPeriodBad);
  for (const char16_t* bad : {u"-1", u"x", u"1000000000", u"5 5"})
    EXPECT_EQ(repeat_fields_parse(u"100", bad, &p, &c), kRepeatCountBad);
  EXPECT_EQ(p, -1);  // a refused field changes nothing
}

}  // namespace
