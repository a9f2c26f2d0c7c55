// What Find looks for: a run of bytes, some of which may be any byte, read
// from one of three forms the user types:
//
//   text      OK 1234          as typed (already bytes in the ANSI code
//                              page), with or without telling case apart
//   hex       01 03 ?? ?? 00 0A   pairs of hex digits, "??" for any byte
//   notation  "OK"0D0A         the strings notation (codec/notation.h)
//
// Pure and allocation-free; the matcher is find/find_matcher.h.
#pragma once

#include <cstdint>

constexpr int kFindPatternMax = 256;

struct FindPattern {
  int32_t length;                  // 1 .. kFindPatternMax
  int32_t fold_case;               // 1: ASCII letters match either case
  uint8_t bytes[kFindPatternMax];  // the bytes (lower case where fold_case)
  uint8_t any[kFindPatternMax];    // 1: any byte stands here
};

enum FindPatternFault {
  kFindPatternOk = 0,
  kFindPatternEmpty,      // nothing to look for
  kFindPatternTooLong,    // more than kFindPatternMax bytes
  kFindPatternNotHex,     // a character that is neither a hex digit, "?" nor a blank
  kFindPatternLoneDigit,  // a hex digit or "?" without its partner
  kFindPatternOpenQuote,  // a quoted run never closed (notation)
  kFindPatternNotByte,    // a character in quotes above FF (notation)
  kFindPatternOnlyAny,    // every byte is "??": it would match everywhere
};

struct FindPatternResult {
  int32_t fault;  // FindPatternFault
  int32_t at;     // unit (or byte) where the fault lies, 0-based
};

FindPatternResult find_pattern_text(const uint8_t* bytes, int n, int match_case, FindPattern* out);
FindPatternResult find_pattern_hex(const char16_t* units, int n, FindPattern* out);
FindPatternResult find_pattern_notation(const char16_t* units, int n, FindPattern* out);

// The message text that says what a fault is (its %d the place, 1-based).
int find_pattern_fault_text(int fault);

// 1 when `b` matches the pattern's byte at index i.
inline int find_pattern_byte_matches(const FindPattern& p, int i, uint8_t b) {
  if (p.any[i]) return 1;
  if (p.fold_case && b >= 'A' && b <= 'Z') b = static_cast<uint8_t>(b - 'A' + 'a');
  return b == p.bytes[i];
}
