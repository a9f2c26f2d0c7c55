#include "tools/checksum_calc.h"

namespace {

const char kDigits[] = "0123456789ABCDEF";

int append(char16_t* out, int at, int cap, const char* s) {
  for (; *s && at < cap - 1; s++) out[at++] = static_cast<char16_t>(*s);
  out[at] = 0;
  return at;
}

// "%02X" of a character's code (its low byte: result characters are hex digits).
int append_code(char16_t* out, int at, int cap, char16_t c) {
  const char pair[3] = {kDigits[(c >> 4) & 15], kDigits[c & 15], 0};
  return append(out, at, cap, pair);
}

}  // namespace

void checksum_calc_result(const AnsiCodec* codec, const char16_t* units, int32_t count, int32_t kind,
                          int32_t lower_hex, ChecksumResult* out) {
  uint8_t bytes[kInputUnits];
  if (count < 0) count = 0;
  if (count > kInputUnits) count = kInputUnits;
  int n = convert_chars_to_bytes(codec, units, count, bytes, kInputUnits);
  if (n < 0) n = 0;
  uint8_t sum[kChecksumResultMax];
  const int len = checksum_compute(bytes, n, kind, kChecksumAsc, lower_hex, sum);
  for (int i = 0; i < len; i++) out->text[i] = sum[i];
  out->text[len] = 0;
  out->len = len;
}

int checksum_calc_hex_text(const ChecksumResult* r, char16_t out[kChecksumTextUnits]) {
  int at = 0;
  out[0] = 0;
  for (int i = 0; i + 1 < r->len; i += 2) {
    const char16_t pair[2] = {r->text[i], r->text[i + 1]};
    for (char16_t c : pair)
      if (at < kChecksumTextUnits - 1) out[at++] = c;
    at = append(out, at, kChecksumTextUnits, ",");
  }
  out[at] = 0;
  return at;
}

int checksum_calc_asc_text(const ChecksumResult* r, char16_t out[kChecksumTextUnits]) {
  int at = 0;
  out[0] = 0;
  for (int i = 0; i < r->len; i++) {
    at = append_code(out, at, kChecksumTextUnits, r->text[i]);
    at = append(out, at, kChecksumTextUnits, ",");
  }
  return at;
}

int checksum_calc_asc_copy(const ChecksumResult* r, char16_t out[kChecksumTextUnits]) {
  int at = 0;
  out[0] = 0;
  for (int i = 0; i < r->len; i++) at = append_code(out, at, kChecksumTextUnits, r->text[i]);
  return at;
}

int checksum_calc_hex_copy(const ChecksumResult* r, char16_t out[kChecksumTextUnits]) {
  int at = 0;
  for (; at < r->len && at < kChecksumTextUnits - 1; at++) out[at] = r->text[at];
  out[at] = 0;
  return at;
}

int checksum_calc_answer(const ChecksumResult* r, char16_t out[kChecksumTextUnits * 2]) {
  char16_t hex[kChecksumTextUnits], asc[kChecksumTextUnits];
  checksum_calc_hex_text(r, hex);
  checksum_calc_asc_text(r, asc);
  const int cap = kChecksumTextUnits * 2;
  int at = append(out, 0, cap, "answer HEX=");
  for (int i = 0; hex[i] && at < cap - 1; i++) out[at++] = hex[i];
  out[at] = 0;
  at = append(out, at, cap, " : ASC=");
  for (int i = 0; asc[i] && at < cap - 1; i++) out[at++] = asc[i];
  out[at] = 0;
  return at;
}
