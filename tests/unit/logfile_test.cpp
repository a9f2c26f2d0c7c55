#include "view/logfile.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "app/capture.h"

namespace {

std::array<uint8_t, 32> header_of(const std::u16string& text) {
  std::array<uint8_t, 32> h{};
  for (size_t i = 0; i < text.size() && i < 16; i++) {
    h[2 * i] = text[i] & 0xFF;
    h[2 * i + 1] = text[i] >> 8;
  }
  return h;
}

TEST(LogFile, HeaderIsFifteenDigitsAndCarriageReturnInUtf16) {
  uint8_t h[32];
  logfile_format_header(6, h);
  EXPECT_EQ(std::memcmp(h, header_of(u"000000000000006\r").data(), 32), 0);
  logfile_format_header(130816, h);
  EXPECT_EQ(std::memcmp(h, header_of(u"000000000130816\r").data(), 32), 0);
  int digits = 0;
  EXPECT_EQ(logfile_parse_header(h, &digits), 130816);
  EXPECT_EQ(digits, 1);
}

TEST(LogFile, PlanLoadsWhatTheFileHolds) {
  auto h = header_of(u"000000000000006\r");
  LogLoadPlan p = logfile_plan_load(h.data(), 32, 32 + 6 * 8);
  EXPECT_EQ(p.status, kLogLoadOk);
  EXPECT_EQ(p.records, 6);

  // Declares more than it holds: load the whole records present.
  p = logfile_plan_load(h.data(), 32, 32 + 4 * 8 + 5);
  EXPECT_EQ(p.status, kLogLoadShort);
  EXPECT_EQ(p.declared, 6);
  EXPECT_EQ(p.records, 4);

  // Trailing bytes after the declared records are ignored.
  p = logfile_plan_load(h.data(), 32, 32 + 100 * 8);
  EXPECT_EQ(p.status, kLogLoadOk);
  EXPECT_EQ(p.records, 6);
}

TEST(LogFile, PlanNeverExceedsWhatAnAppendCanFollow) {
  auto h = header_of(u"000000000200000\r");
  LogLoadPlan p = logfile_plan_load(h.data(), 32, 32 + 200000ull * 8);
  EXPECT_EQ(p.status, kLogLoadCut);
  EXPECT_EQ(p.records, kCaptureWrapThreshold);
  h = header_of(u"999999999999999\r");
  p = logfile_plan_load(h.data(), 32, 32 + 10 * 8);
  EXPECT_EQ(p.status, kLogLoadShort);
  EXPECT_EQ(p.records, 10);
  h = header_of(u"000000000131200\r");
  p = logfile_plan_load(h.data(), 32, 32 + 131200ull * 8);
  EXPECT_EQ(p.records, kCaptureWrapThreshold);
}

TEST(LogFile, PlanRefusesWhatIsNotALog) {
  auto h = header_of(u"-00000000000005\r");
  EXPECT_EQ(logfile_plan_load(h.data(), 32, 200).status, kLogLoadNegative);
  h = header_of(u"hello world\r");
  EXPECT_EQ(logfile_plan_load(h.data(), 32, 200).status, kLogLoadNotLog);
  h = header_of(u"000000000000006\r");
  EXPECT_EQ(logfile_plan_load(h.data(), 20, 20).status, kLogLoadNotLog);
  EXPECT_EQ(logfile_plan_load(h.data(), 32, 31).status, kLogLoadNotLog);
  EXPECT_EQ(logfile_plan_load(header_of(u"x").data(), 32, 64).records, 0);
}

TEST(LogFile, HeaderParseStopsAtFirstNonDigit) {
  int digits = 0;
  EXPECT_EQ(logfile_parse_header(header_of(u"  42abc").data(), &digits), 42);
  EXPECT_EQ(logfile_parse_header(header_of(u"1234567890123456").data(), &digits), 1234567890123456LL);
  EXPECT_EQ(logfile_parse_header(header_of(u"").data(), &digits), 0);
  EXPECT_EQ(digits, 0);
}

}  // namespace
