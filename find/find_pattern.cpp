#include "find/find_pattern.h"

#include <cstring>

#include "codec/convert.h"
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

FindPatternResult find_pattern_text(const uint8_t* bytes, int n, int match_case, const uint8_t* lead, FindPattern* out) {
  std::memset(out, 0, sizeof *out);
  if (n > kFindPatternMax) return {kFindPatternTooLong, kFindPatternMax};
  if (lead) std::memcpy(out->lead, lead, sizeof out->lead);
  out->length = n;
  for (int i = 0; i < n; i++) {
    out->bytes[i] = bytes[i];
    // A lead byte and the byte after it are one character: neither folds.
    if (find_pattern_lead(*out, bytes[i]) && i + 1 < n) {
      out->bytes[i + 1] = bytes[i + 1];
      i++;
      continue;
    }
    const uint8_t b = bytes[i];
    if (!match_case && ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))) {
      out->bytes[i] = lower(bytes[i]);
      out->typed[i] = bytes[i];
      out->fold[i] = 1;
      out->fold_case = 1;
    }
  }
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

FindPatternResult find_pattern_typed(const AnsiCodec* codec, const char16_t* units, int n, int form, int match_case,
                                     FindPattern* p) {
  if (form == 'T') {
    // As typed, in the ANSI code page, as the program sends text; a
    // character the code page lacks would become its default character and
    // find what was never typed.
    uint8_t bytes[4 * kFindPatternMax + 4];
    const int count = n > kFindPatternMax ? kFindPatternMax + 1 : n;
    int got = 0;
    for (int i = 0; i < count; i++) {
      const int pair = i + 1 < count && units[i] >= 0xD800 && units[i] < 0xDC00 && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000;
      const int k = codec->encode(codec->ctx, units + i, pair ? 2 : 1, bytes + got, static_cast<int>(sizeof bytes) - got);
      if (k <= 0 || (k == 1 && bytes[got] == '?' && units[i] != u'?')) return {kFindPatternNotInCodePage, i};
      got += k;
      i += pair;
    }
    uint8_t lead[32] = {};
    if (codec->lead_byte)
      for (int b = 0x80; b < 256; b++)
        if (codec->lead_byte(codec->ctx, static_cast<uint8_t>(b))) lead[b >> 3] |= static_cast<uint8_t>(1u << (b & 7));
    return find_pattern_text(bytes, got, match_case, lead, p);
  }
  if (form == 'H') return find_pattern_hex(units, n, p);
  return find_pattern_notation(units, n, p);
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
    case kFindPatternNotInCodePage: return kTextFindNotInCodePage;
    default: return 0;
  }
}
