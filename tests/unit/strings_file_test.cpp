#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "send/strings_file.h"

namespace {

std::u16string units_of(const StringEntry& e) { return std::u16string(e.units, e.units + e.count); }

std::u16string bytes16(std::initializer_list<int> b) {
  std::u16string s;
  for (int v : b) s += static_cast<char16_t>(v);
  return s;
}

// UTF-16LE bytes of text (no byte order mark).
std::vector<uint8_t> le(const std::u16string& text) {
  std::vector<uint8_t> out;
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

struct Read {
  std::vector<StringEntry> entries = std::vector<StringEntry>(kStringsListEntries);
  StringsReadReport report;
};

// Reads `text` fed in pieces of `piece` bytes.
Read read_text(const std::u16string& text, size_t piece = 1 << 20) {
  Read r;
  static StringsReader reader;
  strings_reader_begin(&reader, r.entries.data());
  std::vector<uint8_t> b = le(text);
  for (size_t at = 0; at < b.size(); at += piece)
    strings_reader_feed(&reader, b.data() + at, std::min(piece, b.size() - at));
  strings_reader_end(&reader);
  r.report = reader.report;
  return r;
}

struct LineCase {
  std::u16string line;
  std::u16string units;
};

TEST(StringsFileLine, Syntax) {
  const LineCase cases[] = {
      {u"0241420D", bytes16({0x02, 0x41, 0x42, 0x0D})},
      {u"\"Hi\"0D0A", bytes16({0x48, 0x69, 0x0D, 0x0A})},
      {u"02'OK'03", bytes16({0x02, 0x4F, 0x4B, 0x03})},
      {u"41424", u"AB"},                          // the digit left over is dropped
      {u"\"open", u"open"},                       // a run not closed ends with the line
      {u"\"don't\"", u"don't"},                   // the other quote is a character of the run
      {u"'say \"hi\"'", u"say \"hi\""},
      {u"\"\"''", u""},                           // quotes give no unit
      {u"4 1", bytes16({0x04})},                  // a blank is part of a pair: "4 " reads 4
      {u" A", bytes16({0x0A})},                   // leading blank accepted
      {u"ZZ", bytes16({0x00})},                   // no digits give 0
      {u"-1", bytes16({0xFFFF})},                 // the low 16 bits of the number
      {u"4\"x\"1", u"xA"},                        // the held digit waits across a run
      {u"\"\u3042\"", u"\u3042"},                 // text keeps its characters
      {u"ff", bytes16({0xFF})},
  };
  for (const LineCase& c : cases) {
    StringEntry e;
    ASSERT_EQ(strings_file_parse_line(c.line.data(), static_cast<int>(c.line.size()), &e), 0);
    EXPECT_EQ(units_of(e), c.units) << std::string(c.line.begin(), c.line.end());
  }
}

TEST(StringsFileLine, MoreThan256UnitsAreRefusedNotCut) {
  StringEntry e;
  std::u16string fits(2 * kEntryUnits, u'A');
  EXPECT_EQ(strings_file_parse_line(fits.data(), static_cast<int>(fits.size()), &e), 0);
  EXPECT_EQ(e.count, kEntryUnits);
  std::u16string quoted = u"\"" + std::u16string(kEntryUnits + 1, u'x') + u"\"";
  EXPECT_EQ(strings_file_parse_line(quoted.data(), static_cast<int>(quoted.size()), &e), 1);
  EXPECT_EQ(e.count, 0);
  for (char16_t u : e.units) EXPECT_EQ(u, 0);
}

TEST(StringsFileRead, EmptyLinesKeepTheNumbering) {
  for (size_t piece : {1, 3, 4096}) {
    Read r = read_text(u"0241\r\n\"AB\"\r\n\r\n43\r\n", piece);
    EXPECT_EQ(units_of(r.entries[0]), bytes16({0x02, 0x41}));
    EXPECT_EQ(units_of(r.entries[1]), u"AB");
    EXPECT_EQ(r.entries[2].count, 0);
    EXPECT_EQ(units_of(r.entries[3]), u"C");
    EXPECT_EQ(r.report.lines, 4);
    EXPECT_EQ(r.report.long_lines + r.report.full_lines, 0);
  }
}

TEST(StringsFileRead, LastLineWithoutLineEndAndBareLf) {
  Read r = read_text(u"41\n42\r\n43");
  EXPECT_EQ(units_of(r.entries[0]), u"A");
  EXPECT_EQ(units_of(r.entries[1]), u"B");
  EXPECT_EQ(units_of(r.entries[2]), u"C");
  EXPECT_EQ(r.report.lines, 3);
}

TEST(StringsFileRead, TwoHundredLinesAtMost) {
  std::u16string text;
  for (int i = 0; i < 250; i++) text += u"41\r\n";
  Read r = read_text(text, 7);
  EXPECT_EQ(r.report.lines, kStringsFileLines);
  EXPECT_EQ(r.entries[199].count, 1);
  EXPECT_EQ(r.entries[200].count, 0);
  EXPECT_EQ(r.entries[201].count, 0);
}

TEST(StringsFileRead, LongLinesLeaveTheirEntryEmptyAndKeepTheNumbering) {
  const std::u16string full = std::u16string(2 * kEntryUnits, u'4');  // 512 units: a full entry
  const std::u16string u513 = std::u16string(513, u'4');
  const std::u16string huge = std::u16string(5000, u'4');
  Read r = read_text(full + u"\r\n" + u513 + u"\r\n" + huge + u"\r\n41\r\n" + huge, 5);
  EXPECT_EQ(r.entries[0].count, kEntryUnits);
  EXPECT_EQ(r.entries[1].count, 0);
  EXPECT_EQ(r.entries[2].count, 0);
  EXPECT_EQ(units_of(r.entries[3]), u"A");
  EXPECT_EQ(r.entries[4].count, 0);
  EXPECT_EQ(r.report.lines, 5);
  EXPECT_EQ(r.report.long_lines, 3);
  EXPECT_EQ(r.report.first_long_line, 2);
}

TEST(StringsFileRead, LinesGivingTooManyUnitsAreReported) {
  const std::u16string big = u"'" + std::u16string(300, u'y') + u"'";
  Read r = read_text(u"41\r\n" + big + u"\r\n42\r\n");
  EXPECT_EQ(r.entries[1].count, 0);
  EXPECT_EQ(units_of(r.entries[2]), u"B");
  EXPECT_EQ(r.report.full_lines, 1);
  EXPECT_EQ(r.report.first_full_line, 2);
}

TEST(StringsFileRead, WhatTheWriterWritesReadsBack) {
  StringEntry saved[3] = {};
  const std::u16string texts[3] = {bytes16({0x00, 0xFF, 0x0D, 0x0A}), u"\"quoted'\u3042\"",
                                   std::u16string(kEntryUnits, u'\x7F')};
  std::u16string file;
  for (int i = 0; i < 3; i++) {
    saved[i].count = static_cast<int32_t>(texts[i].size());
    for (size_t k = 0; k < texts[i].size(); k++) saved[i].units[k] = texts[i][k];
    char16_t line[kStringsLineUnits];
    int n = strings_file_line(&saved[i], line);
    file.append(line, n);
  }
  Read r = read_text(file, 2);
  for (int i = 0; i < 3; i++) EXPECT_EQ(units_of(r.entries[i]), texts[i]) << i;
}

StringEntry entry_of(const std::u16string& units) {
  StringEntry e{};
  e.count = static_cast<int32_t>(units.size());
  for (size_t k = 0; k < units.size(); k++) e.units[k] = units[k];
  return e;
}

// What the save writes after the byte order mark for the first entries of
// `list` up to the first empty one; empty when a line cannot be written.
std::u16string write_text(const StringEntry* list, int m, bool* refused = nullptr) {
  std::u16string file;
  if (refused) *refused = false;
  for (int i = 0; i < m && list[i].count > 0; i++) {
    char16_t line[kStringsLineUnits];
    int n = strings_file_line(&list[i], line);
    if (n < 0) {
      if (refused) *refused = true;
      return u"";
    }
    file.append(line, n);
  }
  return file;
}

std::u16string fixed(std::u16string path) {
  char16_t buf[260] = {};
  for (size_t i = 0; i < path.size(); i++) buf[i] = path[i];
  if (strings_file_fix_extension(buf, 260)) return u"<too long>";
  return buf;
}

TEST(StringsFile, ExtensionRule) {
  EXPECT_EQ(fixed(u"C:\\q\\log.dat"), u"C:\\q\\log.txt");
  EXPECT_EQ(fixed(u"C:\\q\\log"), u"C:\\q\\log.txt");
  EXPECT_EQ(fixed(u"C:\\q\\a.b.c.d"), u"C:\\q\\a.b.txt");
  EXPECT_EQ(fixed(u"C:\\q\\LOG.TXT"), u"C:\\q\\LOG.TXT");
  EXPECT_EQ(fixed(u"C:\\q\\x.html"), u"C:\\q\\x.html.txt");
  EXPECT_EQ(fixed(u"C:\\" + std::u16string(253, u'a')), u"<too long>");
}

TEST(StringsFile, LinesAreHexPairsAndCrLf) {
  StringEntry e{};
  e.count = 3;
  e.units[0] = 0x02;
  e.units[1] = 0x41;
  e.units[2] = 0xFF;
  char16_t line[kStringsLineUnits];
  int n = strings_file_line(&e, line);
  EXPECT_EQ(std::u16string(line, n), u"0241FF\r\n");
  e.count = 999;  // a damaged count cannot run past the entry
  EXPECT_EQ(strings_file_line(&e, line), kStringsLineUnits);
}

struct WriteCase {
  std::u16string units;
  std::u16string line;  // without its CR LF
};

TEST(StringsFileWrite, BytesAsHexPairsCharactersAboveFfQuoted) {
  const WriteCase cases[] = {
      // Bytes only: hex pairs, as every earlier save wrote them.
      {u"ABC", u"414243"},
      {bytes16({0x00, 0x22, 0x27, 0x0D, 0x0A, 0xE9, 0xFF}), u"0022270D0AE9FF"},
      // Characters above FF: the printable stretch around them is quoted.
      {u"\u3042", u"\"\u3042\""},
      {u"\u3042\u3044\u3046", u"\"\u3042\u3044\u3046\""},
      {u"ID:\u3042 ok", u"\"ID:\u3042 ok\""},
      {bytes16({0x02}) + u"\u3042" + bytes16({0x0D, 0x0A}), u"02\"\u3042\"0D0A"},
      // A double quote cannot stand in a run; a single quote can.
      {u"\u3042\"\u3044", u"\"\u3042\"22\"\u3044\""},
      {u"don't \u3042", u"\"don't \u3042\""},
      // In such an entry a printable stretch of three or more is quoted too,
      // a shorter one stays in hex pairs.
      {u"\u3042" + bytes16({0x0D}) + u"abc" + bytes16({0x0D}) + u"xy", u"\"\u3042\"0D\"abc\"0D7879"},
      // Units no text file shows as characters still read back: FFFF, a
      // lone surrogate, the byte order mark's own character.
      {bytes16({0xFFFF, 0xD800, 0xFEFF}), u"\"\uFFFF\xD800\uFEFF\""},
      // Latin letters join the run; control characters and DEL stay hex pairs.
      {u"\u00E9\u0100" + bytes16({0x01, 0x7F, 0x85}), u"\"\u00E9\u0100\"017F85"},
  };
  for (const WriteCase& c : cases) {
    StringEntry e = entry_of(c.units);
    char16_t line[kStringsLineUnits];
    int n = strings_file_line(&e, line);
    ASSERT_GE(n, 2) << std::string(c.line.begin(), c.line.end());
    EXPECT_EQ(std::u16string(line, n), c.line + u"\r\n");
    // And it reads back unit for unit.
    StringEntry back;
    ASSERT_EQ(strings_file_parse_line(line, n - 2, &back), 0);
    EXPECT_EQ(units_of(back), c.units);
  }
}

TEST(StringsFileWrite, LineTooLongForTheReaderIsRefused) {
  char16_t line[kStringsLineUnits + 8];
  for (char16_t& u : line) u = 0xABCD;  // guard units behind the line buffer
  // 256 characters above FF fit easily: one run.
  StringEntry e = entry_of(std::u16string(kEntryUnits, u'\u3042'));
  EXPECT_EQ(strings_file_line(&e, line), kEntryUnits + 4);
  // Each character alternating with a line feed costs 3 + 2 units: 640.
  std::u16string worst;
  for (int i = 0; i < kEntryUnits / 2; i++) worst += u"\u3042\n";
  e = entry_of(worst);
  EXPECT_EQ(strings_file_line(&e, line), -1);
  // 102 such pairs take 510 units: one more character would need 3 (513),
  // one more line feed 2, which is the reader's 512 exactly.
  std::u16string edge;
  for (int i = 0; i < 102; i++) edge += u"\u3042\n";  // 510 units
  e = entry_of(edge);
  EXPECT_EQ(strings_file_line(&e, line), 512);
  e = entry_of(edge + u"\u3044");  // + 3 = 513
  EXPECT_EQ(strings_file_line(&e, line), -1);
  e = entry_of(edge + u"\n");  // + 2 = 512
  EXPECT_EQ(strings_file_line(&e, line), 514);
  StringEntry back;
  ASSERT_EQ(strings_file_parse_line(line, 512, &back), 0);
  EXPECT_EQ(units_of(back), edge + u"\n");
  for (int i = kStringsLineUnits; i < kStringsLineUnits + 8; i++) EXPECT_EQ(line[i], 0xABCD) << i;
}

TEST(StringsFileWrite, FilesReadAndSavedAgainAreTheSame) {
  // Files as this program saves them, hand-made ones with quoted text in
  // several scripts, hex pairs and both mixed: read, saved, read again and
  // saved again.
  const std::u16string files[] = {
      u"0241420D\r\n41\r\nFF00\r\n",                          // bytes only, as every save wrote
      u"\"\u3042\"\r\n\"\u65E5\u672C\u8A9E\"\r\n\"\uD55C\uAE00\"\r\n",  // quoted text only
      u"02\"\u3042\u3044\"03\r\n\r\n0D0A\r\n'\u4E2D\u6587 \"x\"'0D\r\n",  // mixed, with a gap
      u"\"Hi\"0D0A\r\n02'OK'03\r\n\"caf\u00E9 \u20AC5\"\r\n",
  };
  for (const std::u16string& text : files) {
    Read first = read_text(text, 3);
    const std::u16string saved = write_text(first.entries.data(), kStringsFileLines);
    Read second = read_text(saved, 5);
    // The save stops at the first empty entry, as it always has.
    int kept = 0;
    while (kept < kStringsFileLines && first.entries[kept].count > 0) kept++;
    for (int i = 0; i < kept; i++) EXPECT_EQ(units_of(second.entries[i]), units_of(first.entries[i])) << i;
    EXPECT_EQ(second.entries[kept].count, 0);
    EXPECT_EQ(write_text(second.entries.data(), kStringsFileLines), saved);
  }
  // A file the save wrote comes out byte for byte as it went in.
  const std::u16string ours = u"0241420D\r\n02\"\u3042\u3044\"03\r\n\"\u3042\"22\"ok!\"0D6F6B\r\n";
  EXPECT_EQ(write_text(read_text(ours).entries.data(), kStringsFileLines), ours);
}

TEST(StringsFileRead, ByteOrderMark) {
  const uint8_t good[] = {0xFF, 0xFE}, utf8[] = {0xEF, 0xBB}, swapped[] = {0xFE, 0xFF};
  EXPECT_EQ(strings_file_has_bom(good, 2), 1);
  EXPECT_EQ(strings_file_has_bom(good, 1), 0);
  EXPECT_EQ(strings_file_has_bom(utf8, 2), 0);
  EXPECT_EQ(strings_file_has_bom(swapped, 2), 0);
}

TEST(StringsFileRead, BeginClearsTheWholeList) {
  std::vector<StringEntry> list(kStringsListEntries);
  for (StringEntry& e : list) e.count = 7;
  StringsReader reader;
  strings_reader_begin(&reader, list.data());
  strings_reader_end(&reader);
  for (const StringEntry& e : list) EXPECT_EQ(e.count, 0);
  EXPECT_EQ(reader.report.lines, 0);
}

}  // namespace
