// Review of the repeat's beat: a beat that came due while the send before it
// was still on the line must be skipped, not sent right behind it.
#include <gtest/gtest.h>

#include "send/repeat.h"

namespace {

constexpr int64_t kStart = 5'000'000;

TEST(RepeatScheduleReview, ABeatDueWhileTheLastSendWasStillGoingIsSkippedNotSentBehindIt) {
  RepeatSchedule s;
  repeat_begin(&s, kStart, 100, 0);
  // Beat 0 goes at once; its write is held on the line for 150 ms, so the
  // worker's next look comes at 150 ms, after beat 1 (due at 100 ms) came
  // due while that write was busy.
  ASSERT_EQ(repeat_take(&s, kStart, 0), 1);
  repeat_note(&s, 1);
  // Beat 1 is skipped and counted; the next send is beat 2 at 200 ms.
  // Serving beat 1 now puts it straight behind beat 0 on the line, 50 ms
  // off its own due time.
  EXPECT_EQ(repeat_take(&s, kStart + 150'000, kStart + 150'000), 0);
  EXPECT_EQ(s.skipped, 1);
  EXPECT_EQ(repeat_due_us(&s), kStart + 200'000);
  // A count whose last beats all came while the write was held is over.
  repeat_begin(&s, kStart, 100, 3);
  ASSERT_EQ(repeat_take(&s, kStart, 0), 1);
  repeat_note(&s, 1);
  EXPECT_EQ(repeat_take(&s, kStart + 250'000, kStart + 250'000), 0);
  EXPECT_TRUE(repeat_over(&s));
  EXPECT_EQ(s.skipped, 2);
}

}  // namespace
