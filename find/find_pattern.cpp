#include "find/find_pattern.h"

#include <cstring>

#include "codec/notation.h"
#include "settings/message_text.h"

namespace {

uint8_t lower(uint8_t b) { return b >= 'A' && b <= 'Z' ? static_cast<uint8_t>(b - 'A' + 'a') : b; }

FindPatternResult finish(FindPattern* out) {
  if (out->length == 0) return {kFindPatternEmpty, 0};
  for (int i = 0; i < out->length; i++)
    if (!out->any[i]) return {kFindPatternOk, 0};
  return {kFindPatternOnlyAny, 0};
}

}  // namespace

FindPatternResult find_pattern_text(const uint8_t* bytes, int n, int match_case, FindPattern* out) {
  std::memset(out, 0, sizeof *out);
  if (n > kFindPatternMax) return {kFindPatternTooLong, kFindPatternMax};
  out->fold_case = !match_case;
  out->length = n;
  for (int i = 0; i < n; i++) out->bytes[i] = match_case ? bytes[i] : lower(bytes[i]);
  return finish(out);
}

FindPatternResult find_pattern_hex(const char16_t* units, int n, FindPattern* out) {
  std::memset(out, 0, sizeof *out);
  int i = 0;
  while (i < n) {
    if (notation_blank(units[i])) {
      i++;
      continue;
    }
    const char16_t c = units[i];
    const int wild = c == u'?';
    if (!wild && notation_hex_digit(c) < 0) return {kFindPatternNotHex, i};
    if (i + 1 >= n || notation_blank(units[i + 1])) return {kFindPatternLoneDigit, i};
    const char16_t d = units[i + 1];
    if (wild ? d != u'?' : notation_hex_digit(d) < 0)
      return d == u'?' || notation_hex_digit(d) >= 0 ? FindPatternResult{kFindPatternLoneDigit, i}
                                            : FindPatternResult{kFindPatternNotHex, i + 1};
    if (out->length == kFindPatternMax) return {kFindPatternTooLong, i};
    if (wild) out->any[out->length] = 1;
    else out->bytes[out->length] = static_cast<uint8_t>(notation_hex_digit(units[i]) * 16 + notation_hex_digit(units[i + 1]));
    out->length++;
    i += 2;
  }
  return finish(out);
}

FindPatternResult find_pattern_notation(const char16_t* units, int n, FindPattern* out) {
  std::memset(out, 0, sizeof *out);
  const NotationResult r = notation_read(units, n, out->bytes, kFindPatternMax);
  switch (r.fault) {
    case kNotationOk: out->length = r.count; return finish(out);
    case kNotationEmpty: return {kFindPatternEmpty, r.at};
    case kNotationNotHex: return {kFindPatternNotHex, r.at};
    case kNotationLoneDigit: return {kFindPatternLoneDigit, r.at};
    case kNotationOpenQuote: return {kFindPatternOpenQuote, r.at};
    case kNotationNotByte: return {kFindPatternNotByte, r.at};
    default: return {kFindPatternTooLong, r.at};
  }
}

int find_pattern_fault_text(int fault) {
  switch (fault) {
    case kFindPatternEmpty: return kTextFindEmpty;
    case kFindPatternTooLong: return kTextFindTooLong;
    case kFindPatternNotHex: return kTextFindNotHex;
    case kFindPatternLoneDigit: return kTextFindLoneDigit;
    case kFindPatternOpenQuote: return kTextFindOpenQuote;
    case kFindPatternNotByte: return kTextFindNotByte;
    case kFindPatternOnlyAny: return kTextFindOnlyAny;
    default: return 0;
  }
}
