#include "tools/ascii_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

namespace {

std::string narrow(const char16_t* s) {
  std::string out;
  for (; *s; s++) out += *s < 0x80 ? static_cast<char>(*s) : '?';
  return out;
}

AsciiCell cell(int code) {
  AsciiCell c{};
  ascii_table_cell(code, &c);
  return c;
}

TEST(AsciiTable, ControlCodeNamesKeepTheTablesSpelling) {
  const char* first[16] = {"NUL", "SOH", "STX", "ETX", "E0T", "ENQ", "ACK", "BEL",
                           "BS ", "TAB", "LF ", "VT ", "FF ", "CR ", "SO ", "SI "};
  const char* second[16] = {"DlE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                            "CAN", "EM ", "SUB", "ESC", "FS ", "GS ", "RS ", "US "};
  for (int r = 0; r < 16; r++) {
    EXPECT_EQ(narrow(cell(r).name), first[r]) << r;
    EXPECT_EQ(cell(r).name_len, 3);
    EXPECT_EQ(narrow(cell(0x10 + r).name), second[r]) << r;
  }
}

TEST(AsciiTable, PrintableCodesAndSpace) {
  EXPECT_EQ(narrow(cell(0x20).name), "SP");
  EXPECT_EQ(cell(0x20).name_len, 2);
  for (int code = 0x21; code < 0x80; code++) {
    AsciiCell c = cell(code);
    ASSERT_EQ(c.name_len, 1) << code;
    EXPECT_EQ(c.name[0], code);
    EXPECT_EQ(c.name[1], 0);
  }
}

TEST(AsciiTable, CodeTextIsTwoUpperHexDigitsAndColon) {
  EXPECT_EQ(narrow(cell(0x00).code), "00:");
  EXPECT_EQ(narrow(cell(0x1B).code), "1B:");
  EXPECT_EQ(narrow(cell(0x4F).code), "4F:");
  EXPECT_EQ(narrow(cell(0x7F).code), "7F:");
}

TEST(AsciiTable, Layout) {
  struct Case {
    int code, code_x, name_x, y;
  } cases[] = {
      {0x00, 0, 30, 0},      {0x0F, 0, 30, 270},     {0x10, 70, 100, 0},   {0x1F, 70, 100, 270},
      {0x20, 140, 170, 0},   {0x30, 200, 230, 0},    {0x41, 260, 290, 18}, {0x5A, 320, 350, 180},
      {0x60, 380, 410, 0},   {0x7F, 440, 470, 270},
  };
  for (const Case& k : cases) {
    AsciiCell c = cell(k.code);
    EXPECT_EQ(c.code_x, k.code_x) << k.code;
    EXPECT_EQ(c.name_x, k.name_x) << k.code;
    EXPECT_EQ(c.y, k.y) << k.code;
  }
  std::set<std::pair<int, int>> places;
  for (int code = 0; code < kAsciiCodes; code++) places.insert({cell(code).code_x, cell(code).y});
  EXPECT_EQ(places.size(), 128u);  // no two codes on one spot
}

TEST(AsciiTable, DescriptionsCoverOnlyTheControlColumns) {
  struct Case {
    int x, y, text;
  } cases[] = {
      {0, 0, 110},    {69, 17, 110},  {75, 40, 128},  {70, 0, 126},  {29, 270, 125},
      {139, 287, 141}, {140, 0, 0},   {300, 40, 0},   {0, 288, 0},   {100, 400, 0},
      {-1, 5, 0},     {5, -1, 0},
  };
  for (const Case& k : cases) EXPECT_EQ(ascii_table_description(k.x, k.y), k.text) << k.x << "," << k.y;
  // Each of the 32 control codes has its own description, in code order.
  for (int code = 0; code < 0x20; code++) {
    AsciiCell c = cell(code);
    EXPECT_EQ(ascii_table_description(c.code_x + 5, c.y + 9), 110 + code) << code;
  }
}

}  // namespace
