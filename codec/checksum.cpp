#include "codec/checksum.h"

#include "codec/convert.h"

namespace {

// The CRC's table, made at compile time.
struct CrcTable {
  uint16_t v[256];
  constexpr CrcTable() : v() {
    for (int i = 0; i < 256; i++) {
      uint16_t c = static_cast<uint16_t>(i);
      for (int bit = 0; bit < 8; bit++) c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : c >> 1;
      v[i] = c;
    }
  }
};
constexpr CrcTable kCrc;

// The step over a zero byte undone: the high bytes of the table's entries
// are all different, so the high byte of A(r) names r's low byte.
struct CrcUndo {
  uint8_t low_of_high[256];
  bool whole = true;
  constexpr CrcUndo() : low_of_high() {
    bool seen[256] = {};
    for (int i = 0; i < 256; i++) {
      const int high = kCrc.v[i] >> 8;
      whole = whole && !seen[high];
      seen[high] = true;
      low_of_high[high] = static_cast<uint8_t>(i);
    }
  }
};
constexpr CrcUndo kCrcUndo;
static_assert(kCrcUndo.whole, "the zero-byte step of the CRC is invertible");

// A^-1: the register r with (r >> 8) ^ table[r & 0xFF] == s.
inline uint16_t crc_unstep(uint16_t s) {
  const uint8_t low = kCrcUndo.low_of_high[s >> 8];
  return static_cast<uint16_t>(((s ^ kCrc.v[low]) & 0xFF) << 8 | low);
}

}  // namespace

uint16_t crc16_modbus_step(uint16_t crc, uint8_t byte) {
  return static_cast<uint16_t>((crc >> 8) ^ kCrc.v[(crc ^ byte) & 0xFF]);
}

uint16_t crc16_modbus(const uint8_t* data, int32_t length) {
  uint16_t crc = 0xFFFF;
  for (int32_t i = 0; i < length; i++) crc = crc16_modbus_step(crc, data[i]);
  return crc;
}

namespace {

// The register is a polynomial modulo the CRC's x^16 + x^15 + x^2 + 1,
// bit b the coefficient of x^(15 - b); A multiplies by x^8 and the step
// over one bit by x. A^-k(byte) is the byte's polynomial times A^-k(1),
// a product read from tables by the four nibbles of A^-k(1): entry
// [n][byte][m] is byte times the polynomial of nibble m at bits 4n ..
// 4n + 3 (32 kB in all, made once).
struct CrcProducts {
  uint16_t v[4][256][16];
  CrcProducts() {
    for (int byte = 0; byte < 256; byte++) {
      uint16_t times[16];  // byte times x^(15 - i), the register 1 << i
      uint16_t r = static_cast<uint16_t>(byte);
      for (int i = 15; i >= 0; i--) {
        times[i] = r;
        r = (r & 1) ? static_cast<uint16_t>((r >> 1) ^ 0xA001) : static_cast<uint16_t>(r >> 1);  // times x
      }
      for (int n = 0; n < 4; n++) {
        v[n][byte][0] = 0;
        for (int m = 1; m < 16; m++) {
          int low = 0;
          while (!(m >> low & 1)) low++;
          v[n][byte][m] = static_cast<uint16_t>(v[n][byte][m & (m - 1)] ^ times[4 * n + low]);
        }
      }
    }
  }
};
const CrcProducts& crc_products() {
  static const CrcProducts products;
  return products;
}

}  // namespace

void crc16_key_chain_begin(Crc16KeyChain* c) {
  c->key = 0;
  c->start = 0xFFFF;
  c->scale = 0x8000;
}

void crc16_key_chain_feed(Crc16KeyChain* c, const uint8_t* bytes, int32_t count, uint16_t* before,
                          uint16_t* after) {
  // R(k + 1) = A(R(k)) ^ table[byte] and table[byte] = A(byte), so the
  // key moves by A^-k(byte).
  const CrcProducts& p = crc_products();
  uint16_t key = c->key, start = c->start, scale = c->scale;
  for (int32_t i = 0; i < count; i++) {
    before[i] = static_cast<uint16_t>(key ^ start);
    const uint8_t v = bytes[i];
    key = static_cast<uint16_t>(key ^ p.v[0][v][scale & 15] ^ p.v[1][v][scale >> 4 & 15] ^ p.v[2][v][scale >> 8 & 15] ^
                                p.v[3][v][scale >> 12]);
    start = crc_unstep(start);
    scale = crc_unstep(scale);
    after[i] = key;
  }
  c->key = key;
  c->start = start;
  c->scale = scale;
}

namespace {

int32_t known_kind(int32_t kind) { return kind >= 0 && kind < kChecksumKinds ? kind : kChecksumXor; }

// The data are the characters of a Modbus ASCII body: each pair of them is
// one byte value, read as the hex entry reads a pair (so "G1" is 0, "-1" is
// 0xFF). An odd last character belongs to no pair and is not read.
uint8_t lrc_of_pairs(const uint8_t* data, int32_t length) {
  uint8_t sum = 0;
  for (int32_t i = 0; i + 1 < length; i += 2) {
    char16_t pair[2] = {data[i], data[i + 1]};
    sum = static_cast<uint8_t>(sum + convert_hex_value(pair, 2));
  }
  return static_cast<uint8_t>(0u - sum);
}

void put_hex(uint8_t byte, int32_t lower_hex, uint8_t* out) {
  const char* digits = lower_hex == 1 ? "0123456789abcdef" : "0123456789ABCDEF";
  out[0] = static_cast<uint8_t>(digits[byte >> 4]);
  out[1] = static_cast<uint8_t>(digits[byte & 15]);
}

}  // namespace

int checksum_compute(const uint8_t* data, int32_t length, int32_t kind, int32_t form, int32_t lower_hex,
                     uint8_t out[kChecksumResultMax]) {
  if (length < 0) length = 0;
  uint8_t sum[2];
  int n = 1;
  switch (known_kind(kind)) {
    case kChecksumAdd: {
      uint8_t s = 0;
      for (int32_t i = 0; i < length; i++) s = static_cast<uint8_t>(s + data[i]);
      sum[0] = s;
      break;
    }
    case kChecksumCrc16: {
      uint16_t crc = crc16_modbus(data, length);
      sum[0] = static_cast<uint8_t>(crc & 0xFF);
      sum[1] = static_cast<uint8_t>(crc >> 8);
      n = 2;
      break;
    }
    case kChecksumLrc:
      sum[0] = lrc_of_pairs(data, length);
      break;
    default: {
      uint8_t x = 0;
      for (int32_t i = 0; i < length; i++) x ^= data[i];
      sum[0] = x;
      break;
    }
  }
  if (form != kChecksumAsc) {
    for (int i = 0; i < n; i++) out[i] = sum[i];
    return n;
  }
  for (int i = 0; i < n; i++) put_hex(sum[i], lower_hex, out + 2 * i);
  return 2 * n;
}

int checksum_length(int32_t kind, int32_t form) {
  int n = known_kind(kind) == kChecksumCrc16 ? 2 : 1;
  return form == kChecksumAsc ? 2 * n : n;
}

const char16_t* checksum_kind_name(int32_t kind) {
  static const char16_t* const kNames[kChecksumKinds] = {u"XOR", u"ADD", u"CRC16", u"LRC"};
  return kNames[known_kind(kind)];
}

const char16_t* checksum_form_name(int32_t form) { return form == kChecksumAsc ? u"ASC" : u"HEX"; }

int32_t checksum_kind_from_name(const char16_t* name) {
  if (!name) return kChecksumXor;
  for (int32_t kind = kChecksumKinds - 1; kind > 0; kind--) {
    const char16_t* want = checksum_kind_name(kind);
    int i = 0;
    while (want[i] && name[i] == want[i]) i++;
    if (!want[i] && !name[i]) return kind;
  }
  return kChecksumXor;
}
