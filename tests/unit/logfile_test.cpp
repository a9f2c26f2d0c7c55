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

std::u16string fixed(std::u16string name, int mode) {
  char16_t buf[kPathChars] = {};
  for (size_t i = 0; i < name.size(); i++) buf[i] = name[i];
  if (file_chooser_fix_extension(buf, mode)) return u"<too long>";
  return buf;
}

TEST(FileChooser, ExtensionRules) {
  EXPECT_EQ(fixed(u"C:\\q\\data", kChooseSaveLog), u"C:\\q\\data.log");
  EXPECT_EQ(fixed(u"C:\\q\\data.bin", kChooseSaveLog), u"C:\\q\\data.log");
  EXPECT_EQ(fixed(u"C:\\q\\trace.LOG", kChooseSaveLog), u"C:\\q\\trace.LOG");
  EXPECT_EQ(fixed(u"C:\\my.logs\\data", kChooseSaveLog), u"C:\\my.logs\\data.log");
  EXPECT_EQ(fixed(u"C:\\q\\a.b.c", kChooseOpenLog), u"C:\\q\\a.log");
  EXPECT_EQ(fixed(u"C:\\q\\macro", kChooseOpenText), u"C:\\q\\macro.txt");
  EXPECT_EQ(fixed(u"C:\\q\\macro.TXT", kChooseOpenText), u"C:\\q\\macro.TXT");
}

TEST(FileChooser, ExtensionThatDoesNotFitIsRefused) {
  std::u16string name = u"C:\\" + std::u16string(255, u'a');
  EXPECT_EQ(fixed(name, kChooseSaveLog), u"<too long>");
  std::u16string fits = u"C:\\" + std::u16string(252, u'a');
  EXPECT_EQ(fixed(fits, kChooseSaveLog), fits + u".log");
  // Cutting at the dot makes room for the extension.
  std::u16string dotted = u"C:\\" + std::u16string(250, u'a') + u".abcdef";
  EXPECT_EQ(fixed(dotted, kChooseSaveLog), u"C:\\" + std::u16string(250, u'a') + u".log");
}

TEST(FileChooser, InitialPath) {
  char16_t path[kPathChars] = u"";
  EXPECT_EQ(file_chooser_initial_path(path, u"C:\\q", kChooseSaveLog), 0);
  EXPECT_EQ(std::u16string(path), u"C:\\q\\Temp1.log");
  char16_t text[kPathChars] = u"notes";
  file_chooser_initial_path(text, u"Z:\\work", kChooseOpenText);
  EXPECT_EQ(std::u16string(text), u"Z:\\work\\Temp1.txt");
  char16_t rel[kPathChars] = u"sub\\x.log";
  file_chooser_initial_path(rel, u"C:\\q", kChooseOpenLog);
  EXPECT_EQ(std::u16string(rel), u"C:\\q\\sub\\x.log");
  char16_t abs[kPathChars] = u"D:\\logs\\x.log";
  file_chooser_initial_path(abs, u"C:\\q", kChooseOpenLog);
  EXPECT_EQ(std::u16string(abs), u"D:\\logs\\x.log");
  std::u16string long_dir = u"C:\\" + std::u16string(240, u'd');
  char16_t big[kPathChars] = u"some.file.name.that.is.long.enough.not.to.fit";
  EXPECT_EQ(file_chooser_initial_path(big, long_dir.c_str(), kChooseOpenLog), 1);
  EXPECT_EQ(std::u16string(big), long_dir + u"\\Temp1.log");
}

}  // namespace
