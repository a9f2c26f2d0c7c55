#include "codec/convert.h"

namespace {

const char kMnemonics[33][3] = {"NL", "SH", "SX", "EX", "ET", "EQ", "AK", "BL", "BS", "HT", "LF",
                                "VT", "FF", "CR", "SO", "SI", "DE", "D1", "D2", "D3", "D4", "NK",
                                "SN", "EB", "CN", "EM", "SB", "EC", "FS", "GS", "RS", "US", "SP"};

int hex_digit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// The blanks strtol skips in the C locale.
bool is_blank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// The byte a unit from 0x100 up is sent as.
uint8_t wide_unit_byte(const AnsiCodec* codec, char16_t u) {
  // Room for any code page's longest character, so "does not fit" can only
  // mean "is not one byte".
  uint8_t out[4] = {};
  int n = codec->encode(codec->ctx, &u, 1, out, 4);
  return n == 1 ? out[0] : kUnsendableByte;
}

}  // namespace

int byte_display_text(uint8_t b, char16_t out[3]) {
  const char* two = nullptr;
  if (b <= 0x20) two = kMnemonics[b];
  else if (b == 0x7F) two = "DL";
  if (two) {
    out[0] = static_cast<char16_t>(two[0]);
    out[1] = static_cast<char16_t>(two[1]);
    out[2] = 0;
    return 2;
  }
  out[0] = b;
  out[1] = 0;
  return 1;
}

void byte_hex_text(uint8_t b, char16_t out[3]) {
  static const char kDigits[] = "0123456789ABCDEF";
  out[0] = static_cast<char16_t>(kDigits[b >> 4]);
  out[1] = static_cast<char16_t>(kDigits[b & 15]);
  out[2] = 0;
}

int32_t convert_hex_value(const char16_t* text, int len) {
  int i = 0;
  auto at = [&](int k) -> char16_t { return k < len ? text[k] : 0; };
  // A NUL ends the text: nothing behind it is read.
  for (int k = 0; k < len; k++) {
    if (text[k] == 0) {
      len = k;
      break;
    }
  }
  while (is_blank(at(i))) i++;
  bool negative = false;
  if (at(i) == u'+' || at(i) == u'-') {
    negative = at(i) == u'-';
    i++;
  }
  // "0x" is a prefix only when a digit follows; otherwise the 0 is the number.
  if (at(i) == u'0' && (at(i + 1) == u'x' || at(i + 1) == u'X') && hex_digit(at(i + 2)) >= 0) i += 2;
  uint64_t value = 0;
  bool overflow = false;
  for (int d; (d = hex_digit(at(i))) >= 0; i++) {
    value = value * 16 + static_cast<uint64_t>(d);
    if (value > 0x80000000u) {
      overflow = true;
      value = 0x80000000u;
    }
  }
  if (negative) {
    if (overflow) return INT32_MIN;
    return static_cast<int32_t>(0u - static_cast<uint32_t>(value));
  }
  if (overflow || value > 0x7FFFFFFF) return INT32_MAX;
  return static_cast<int32_t>(value);
}

int convert_chars_to_bytes(const AnsiCodec* codec, const char16_t* units, int count, uint8_t* out, int cap) {
  if (count <= 0) return 0;
  if (count > cap) return -1;
  for (int i = 0; i < count; i++)
    out[i] = units[i] < 0x100 ? static_cast<uint8_t>(units[i]) : wide_unit_byte(codec, units[i]);
  return count;
}

int convert_hex_pairs(const AnsiCodec* codec, const char16_t* text, int len, uint8_t out[kHeaderBytes]) {
  if (len <= 0) return 0;
  if (len > kHeaderTextUnits) len = kHeaderTextUnits;
  // The code page may write up to four bytes for a character (two units of a
  // surrogate pair in UTF-8), so this holds any conversion of 30 units. A
  // double-byte character moves every later pair by one, as the text is read
  // in the code page's bytes; places the conversion did not fill read as 0.
  uint8_t narrow[4 * kHeaderTextUnits] = {};
  codec->encode(codec->ctx, text, len, narrow, static_cast<int>(sizeof narrow));
  int pairs = len / 2;
  for (int i = 0; i < pairs; i++) {
    char16_t pair[2] = {narrow[2 * i], narrow[2 * i + 1]};
    out[i] = static_cast<uint8_t>(convert_hex_value(pair, 2));
  }
  return pairs;
}

void hex_entry_set_mode(HexEntry* e, int hex) {
  e->state = hex ? kEntryHexFirst : kEntryAsc;
  e->pending = 0;
}

int hex_entry_type(HexEntry* e, char16_t c, char16_t units[kInputUnits], int32_t* count) {
  bool room = *count >= 0 && *count < kInputUnits;
  switch (e->state) {
    case kEntryHexFirst:
      e->pending = c;
      e->state = kEntryHexSecond;
      return 0;
    case kEntryHexSecond: {
      char16_t pair[2] = {e->pending, c};
      e->pending = 0;
      e->state = kEntryHexFirst;
      if (!room) return 0;
      units[(*count)++] = static_cast<char16_t>(convert_hex_value(pair, 2) & 0xFF);
      return 1;
    }
    default:
      // Any other state is taken as ASC, the state a field opens in.
      e->state = kEntryAsc;
      if (!room) return 0;
      units[(*count)++] = c;
      return 1;
  }
}

void cell_texts(const AnsiCodec* codec, const char16_t* units, int count, CellTexts* out) {
  if (count < 0) count = 0;
  if (count > kInputUnits) count = kInputUnits;
  int d = 0;
  for (int i = 0; i < count; i++) {
    char16_t u = units[i];
    uint8_t byte;
    if (u < 0x100) {
      byte = static_cast<uint8_t>(u);
      char16_t shown[3];
      int n = byte_display_text(byte, shown);
      for (int k = 0; k < n; k++) out->display[d++] = shown[k];
    } else {
      byte = wide_unit_byte(codec, u);
      out->display[d++] = u;
    }
    char16_t hex[3];
    byte_hex_text(byte, hex);
    out->hex[2 * i] = hex[0];
    out->hex[2 * i + 1] = hex[1];
  }
  out->display[d] = 0;
  out->display_len = d;
  out->hex[2 * count] = 0;
  out->hex_len = 2 * count;
}
