// Entry lists (the send history, preset strings) and the strings file they
// are saved to: UTF-16LE with a byte order mark, one entry per line, each
// unit written as two upper-case hex digits.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kEntryUnits = 256;

// One entry: a count and up to 256 code units; count 0 means empty.
struct StringEntry {
  int32_t count;
  char16_t units[kEntryUnits];
};

// Gives a strings file path its ".txt": kept when it ends in ".txt" (any
// case); else a "." among the last four characters starts what is replaced;
// else ".txt" is appended. Returns 1 and leaves path unchanged when the
// result would not fit in `cap` units.
int strings_file_fix_extension(char16_t* path, size_t cap);

// One line of the file for `entry`: its units as hex pairs, then CR LF.
// Returns the number of code units written to out (at most 2 * 256 + 2).
constexpr int kStringsLineUnits = 2 * kEntryUnits + 2;
int strings_file_line(const StringEntry* entry, char16_t out[kStringsLineUnits]);
