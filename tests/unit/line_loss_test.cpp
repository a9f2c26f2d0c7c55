#include "serial/line_loss.h"

#include <gtest/gtest.h>

TEST(LineLoss, OnlyARunOfGoneErrorsLosesTheLine) {
  // 995 cancelled (the program's own close), 1460 a time-out, 6 a closed
  // handle: never a loss, and each starts the count again.
  for (uint32_t e : {995u, 1460u, 121u, 6u, 0u}) EXPECT_FALSE(line_error_means_gone(e)) << e;
  for (uint32_t e : {5u, 21u, 22u, 31u, 109u, 1167u, 1617u}) EXPECT_TRUE(line_error_means_gone(e)) << e;
  LineWatch w = {};
  EXPECT_FALSE(line_watch_failed(&w, 21));
  EXPECT_FALSE(line_watch_failed(&w, 21));
  EXPECT_FALSE(line_watch_failed(&w, 995));  // a cancel in between
  EXPECT_FALSE(line_watch_failed(&w, 21));
  line_watch_ok(&w);  // a read that worked
  EXPECT_FALSE(line_watch_failed(&w, 5));
  EXPECT_FALSE(line_watch_failed(&w, 109));
  EXPECT_TRUE(line_watch_failed(&w, 21));
  EXPECT_EQ(w.error, 21u);
  EXPECT_TRUE(line_watch_failed(&w, 21));  // and stays lost
}

TEST(LineLoss, ReconnectIsTriedEverySecondAcrossATickWrap) {
  Reconnect r = {};
  EXPECT_FALSE(reconnect_due(&r, 5000));  // not lost: nothing to try
  const uint32_t lost_at = 0xFFFFFC00u;   // 1,024 ms before the tick count wraps
  reconnect_lost(&r, lost_at, 21);
  EXPECT_FALSE(reconnect_due(&r, lost_at + 999));
  EXPECT_TRUE(reconnect_due(&r, lost_at + 1000));
  reconnect_tried(&r, lost_at + 1000);
  EXPECT_FALSE(reconnect_due(&r, 500));  // wrapped: 476 ms after the try
  EXPECT_TRUE(reconnect_due(&r, 1000));
  EXPECT_EQ(reconnect_outage_ms(&r, 2976), 4000u);
  EXPECT_EQ(r.attempts, 1);
  reconnect_end(&r);
  EXPECT_FALSE(reconnect_due(&r, 100000));
}
