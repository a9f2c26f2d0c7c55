#include "codec/notation.h"

int notation_hex_digit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

int notation_blank(char16_t c) { return c == u' ' || c == u'\t'; }

namespace {

int quotable(uint8_t b) { return b >= 0x20 && b <= 0x7E && b != '"'; }

}  // namespace

NotationResult notation_read(const char16_t* units, int n, uint8_t* out, int most) {
  int count = 0;
  int i = 0;
  while (i < n) {
    const char16_t c = units[i];
    if (notation_blank(c)) {
      i++;
      continue;
    }
    if (c == u'"' || c == u'\'') {
      const int open = i++;
      while (i < n && units[i] != c) {
        if (units[i] > 0xFF) return {kNotationNotByte, 0, i};
        if (count == most) return {kNotationTooLong, 0, i};
        out[count++] = static_cast<uint8_t>(units[i++]);
      }
      if (i == n) return {kNotationOpenQuote, 0, open};
      i++;  // the closing quote
      continue;
    }
    const int high = notation_hex_digit(c);
    if (high < 0) return {kNotationNotHex, 0, i};
    const int low = i + 1 < n ? notation_hex_digit(units[i + 1]) : -1;
    if (low < 0) {
      // A partner that is another character is that character's fault.
      if (i + 1 < n && !notation_blank(units[i + 1]) && units[i + 1] != u'"' && units[i + 1] != u'\'')
        return {kNotationNotHex, 0, i + 1};
      return {kNotationLoneDigit, 0, i};
    }
    if (count == most) return {kNotationTooLong, 0, i};
    out[count++] = static_cast<uint8_t>(high * 16 + low);
    i += 2;
  }
  if (count == 0) return {kNotationEmpty, 0, 0};
  return {kNotationOk, count, 0};
}

int notation_write_fit(const uint8_t* bytes, int n, char16_t* out, int room, int* taken) {
  static const char kHex[] = "0123456789ABCDEF";
  int u = 0, i = 0;
  while (i < n) {
    int run = 0;
    while (i + run < n && quotable(bytes[i + run])) run++;
    if (run >= 2) {
      const int fit = room - u - 2;
      if (fit < 1) break;
      if (run > fit) run = fit;
      out[u++] = u'"';
      for (int k = 0; k < run; k++) out[u++] = bytes[i + k];
      out[u++] = u'"';
      i += run;
      continue;
    }
    if (u + 2 > room) break;
    out[u++] = static_cast<char16_t>(kHex[bytes[i] >> 4]);
    out[u++] = static_cast<char16_t>(kHex[bytes[i] & 15]);
    i++;
  }
  *taken = i;
  return u;
}

int notation_write(const uint8_t* bytes, int n, char16_t* out) {
  int taken = 0;
  return notation_write_fit(bytes, n, out, 2 * n + 2, &taken);
}
