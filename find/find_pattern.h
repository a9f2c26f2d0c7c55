// What Find looks for: a run of bytes, some of which may be any byte, read
// from one of three forms the user types:
//
//   text      OK 1234          as typed (already bytes in the ANSI code
//                              page), with or without telling case apart;
//                              only single-byte letters fold, never the
//                              second byte of a double-byte character
//   hex       01 03 ?? ?? 00 0A   pairs of hex digits, "??" for any byte
//   notation  "OK"0D0A         the strings notation (codec/notation.h)
//
// Pure and allocation-free; the matcher is find/find_matcher.h.
#pragma once

#include <cstdint>

constexpr int kFindPatternMax = 256;

struct FindPattern {
  int32_t length;                  // 1 .. kFindPatternMax
  int32_t fold_case;               // 1: some byte is a letter that matches either case
  uint8_t bytes[kFindPatternMax];  // the bytes (lower case where fold)
  uint8_t any[kFindPatternMax];    // 1: any byte stands here
  uint8_t fold[kFindPatternMax];   // 1: a single-byte ASCII letter that matches either case
  uint8_t typed[kFindPatternMax];  // where fold: the letter as typed, which is what the user is told was looked for
  // The code page's lead bytes (bit b % 8 of lead[b / 8]): a byte after one
  // is the second of a double-byte character, and never folds.
  uint8_t lead[32];
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
  kFindPatternNotInCodePage,  // text: a character the code page cannot write
};

struct FindPatternResult {
  int32_t fault;  // FindPatternFault
  int32_t at;     // unit (or byte) where the fault lies, 0-based
};

// `lead`: the code page's lead bytes as FindPattern::lead holds them, or
// null for a code page of single bytes.
FindPatternResult find_pattern_text(const uint8_t* bytes, int n, int match_case, const uint8_t* lead, FindPattern* out);
FindPatternResult find_pattern_hex(const char16_t* units, int n, FindPattern* out);
FindPatternResult find_pattern_notation(const char16_t* units, int n, FindPattern* out);

// The message text that says what a fault is (its %d the place, 1-based).
int find_pattern_fault_text(int fault);

struct AnsiCodec;  // codec/convert.h
// A pattern typed in one of its forms ('N' the strings notation, 'H' hex,
// 'T' text in the ANSI code page of `codec`, with or without case).
FindPatternResult find_pattern_typed(const AnsiCodec* codec, const char16_t* units, int n, int form, int match_case,
                                     FindPattern* p);

inline int find_pattern_lead(const FindPattern& p, uint8_t b) { return (p.lead[b >> 3] >> (b & 7)) & 1; }

// 1 when `b` matches the pattern's byte at index i; `trail` 1 when b is the
// second byte of a double-byte character in what is searched (it never folds).
inline int find_pattern_byte_matches(const FindPattern& p, int i, uint8_t b, int trail = 0) {
  if (p.any[i] || b == p.bytes[i]) return 1;
  return p.fold[i] && !trail && b >= 'A' && b <= 'Z' && static_cast<uint8_t>(b - 'A' + 'a') == p.bytes[i];
}
