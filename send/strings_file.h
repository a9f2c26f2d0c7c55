// The strings file that entry lists (the send history, preset strings) are
// saved to and read from: UTF-16LE with a byte order mark, one entry per
// line. The writer puts bytes as two upper-case hex digits each and
// characters above FF as quoted text; the reader takes both, so a file can
// also be written by hand.
#pragma once

#include <cstddef>
#include <cstdint>

#include "send/send_entry.h"


// Gives a strings file path its ".txt": kept when it ends in ".txt" (any
// case); else a "." among the last four characters starts what is replaced;
// else ".txt" is appended. Returns 1 and leaves path unchanged when the
// result would not fit in `cap` units.
int strings_file_fix_extension(char16_t* path, size_t cap);

// One line of the file for `entry`, then CR LF. An entry of bytes only
// (every unit 00 ... FF, all that the send history and assembled frames
// hold) is written as upper-case hex pairs. An entry holding characters
// above FF (quoted text read from a file) keeps them in double-quoted runs:
// each stretch of printable units (20 ... 7E but the double quote, and A0
// on) that holds such a character, or is at least three long, is quoted;
// the other units are hex pairs. The line reads back unit for unit, and
// writing what was read gives the same line again.
// Returns the number of code units written to out, or -1 when the line
// would be longer than the reader takes (kStringsLineMax before CR LF):
// then out holds nothing usable.
constexpr int kStringsLineUnits = 2 * kEntryUnits + 2;
int strings_file_line(const StringEntry* entry, char16_t out[kStringsLineUnits]);

// Reading a strings file. The list a file is read into has 202 entries of
// which the first 200 take lines; line k (from 0) fills entry k.
constexpr int kStringsListEntries = 202;
constexpr int kStringsFileLines = 200;
// Units a line may have once its line end is removed: a full entry of 256
// units is written as 512 hex digits, and it must read back.
constexpr int kStringsLineMax = 512;

// 1 when the file's first two bytes are the UTF-16LE byte order mark FF FE.
int strings_file_has_bom(const uint8_t* first, size_t size);

// Parses one line (its line end already removed) into `out`. Outside quotes
// the characters are taken in pairs, each read as a base-16 number giving
// one unit (its low 16 bits); a double quote or a single quote opens a run
// whose characters are taken as they are, and the same quote closes it. A
// quote of the other kind inside a run is an ordinary character of the run,
// so "don't" and 'say "hi"' can be written. A digit left over at the end is
// dropped, a run still open at the end ends there. Returns 0, or 1 when the
// line gives more than 256 units: then `out` is left empty (count 0), as a
// cut entry would send something other than what the file says.
int strings_file_parse_line(const char16_t* line, int len, StringEntry* out);

// What a read found besides the entries it filled, for the message the
// program shows after it: lines longer than kStringsLineMax units and lines
// giving more than 256 units leave their entries empty.
struct StringsReadReport {
  int32_t lines;            // lines taken, at most 200
  int32_t long_lines;       // how many were too long, and the first (1-based)
  int32_t first_long_line;
  int32_t full_lines;       // how many gave more than 256 units, and the first
  int32_t first_full_line;
};

// Reads the text after the byte order mark, fed in pieces of any size (an
// odd byte waits for its partner). Lines end at LF; up to two CR or LF at a
// line's end are removed. A line still too long after 512 units is skipped
// to its end as a whole, so the lines behind it keep their numbers.
struct StringsReader {
  StringEntry* entries;  // kStringsListEntries of them
  StringsReadReport report;
  char16_t line[kStringsLineMax + 1];
  int32_t len;           // units held in line
  int32_t too_long;      // the current line passed the limit
  int32_t has_odd;       // a first byte of a unit is waiting
  uint8_t odd;
  int32_t done;          // 200 lines were taken: the rest of the file is not read
};

// Clears all 202 entries and starts at line 0.
void strings_reader_begin(StringsReader* r, StringEntry* entries);
// Takes `size` more bytes. Returns 1 once 200 lines were taken (later bytes
// are ignored), else 0.
int strings_reader_feed(StringsReader* r, const uint8_t* bytes, size_t size);
// The end of the file: a last line without line end still counts.
void strings_reader_end(StringsReader* r);
