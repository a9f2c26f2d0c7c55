#include <gtest/gtest.h>

#include <string>

#include "restart/pivotle_command.h"

namespace {

struct Taken {
  int action;
  std::u16string command;  // up to the terminator
  bool zero_behind = true; // every unit after the command is 0
};

Taken take(const std::u16string& line) {
  char16_t command[kPivotleCommandUnits];
  for (char16_t& u : command) u = u'#';  // what an earlier use left
  Taken t;
  t.action = pivotle_take_command(line.c_str(), command);
  int n = 0;
  while (n < kPivotleCommandUnits && command[n]) n++;
  t.command.assign(command, n);
  for (int i = n; i < kPivotleCommandUnits; i++) t.zero_behind = t.zero_behind && command[i] == 0;
  return t;
}

TEST(PivotleCommand, OpensWhatFitsAndNothingElse) {
  Taken t = take(u"Quorrin.exe");
  EXPECT_EQ(t.action, kPivotleOpen);
  EXPECT_EQ(t.command, u"Quorrin.exe");
  EXPECT_TRUE(t.zero_behind);

  const std::u16string longest(kPivotleCommandUnits - 1, u'q');  // 259 units and the terminator
  t = take(longest);
  EXPECT_EQ(t.action, kPivotleOpen);
  EXPECT_EQ(t.command, longest);

  t = take(u"");
  EXPECT_EQ(t.action, kPivotleNothing);
  EXPECT_EQ(t.command, u"");
  EXPECT_TRUE(t.zero_behind);
}

TEST(PivotleCommand, TooLongIsRefusedNotCut) {
  // 260 units and more: the buffer keeps nothing of it, so nothing can be
  // started, neither a cut path nor any text put there to be shown.
  for (size_t n : {size_t(kPivotleCommandUnits), size_t(kPivotleCommandUnits + 1), size_t(5000)}) {
    const std::u16string line = u"C:\\Quorrin\\Quorrin.exe" + std::u16string(n - 22, u'x');
    ASSERT_EQ(line.size(), n);
    Taken t = take(line);
    EXPECT_EQ(t.action, kPivotleTooLong) << n;
    EXPECT_EQ(t.command, u"") << n;
    EXPECT_TRUE(t.zero_behind) << n;
  }
}

}  // namespace
