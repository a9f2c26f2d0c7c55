// The checksum calculator's texts: the result of "結果" (the checksum of the
// typed units as hex digit characters), the two forms it is shown in, and
// the texts its two copy buttons put on the clipboard.
#pragma once

#include <cstdint>

#include "codec/checksum.h"
#include "codec/convert.h"

// The result: 2 characters (XOR, ADD, LRC) or 4 (CRC16, low byte first),
// upper case unless lower_hex is 1; terminated.
struct ChecksumResult {
  char16_t text[kChecksumResultMax + 1];
  int32_t len;
};

// Computes the checksum of the typed units (one byte each, as Characters to
// bytes makes them) for `kind`.
void checksum_calc_result(const AnsiCodec* codec, const char16_t* units, int32_t count, int32_t kind,
                          int32_t lower_hex, ChecksumResult* out);

constexpr int kChecksumTextUnits = 64;
// "49,57,": the result's characters in pairs, each pair followed by a comma.
int checksum_calc_hex_text(const ChecksumResult* r, char16_t out[kChecksumTextUnits]);
// "34,39,35,37,": each result character's code as "%02X,".
int checksum_calc_asc_text(const ChecksumResult* r, char16_t out[kChecksumTextUnits]);
// What "ASCコピー" copies: each character's code as "%02X" ("34393537").
int checksum_calc_asc_copy(const ChecksumResult* r, char16_t out[kChecksumTextUnits]);
// What "HEXコピー" copies: the result's characters themselves ("4957").
int checksum_calc_hex_copy(const ChecksumResult* r, char16_t out[kChecksumTextUnits]);
// The line drawn after "結果": "answer HEX=<hex text> : ASC=<asc text>".
int checksum_calc_answer(const ChecksumResult* r, char16_t out[kChecksumTextUnits * 2]);
