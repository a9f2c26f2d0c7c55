// Prints the CRC16 and LRC of each argument (the bytes as hex pairs, "" for
// none), one line each: CRC16 value, LRC byte, then both in form ASC, e.g.
// "616263" gives "5749 55 4957 55". checksum_crosscheck.py compares them
// with an independent implementation.
#include <cstdio>
#include <cstring>

#include "codec/checksum.h"

static int nibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int main(int argc, char** argv) {
  static uint8_t data[4096];
  for (int a = 1; a < argc; a++) {
    size_t len = std::strlen(argv[a]);
    if (len % 2 || len / 2 > sizeof data) return 2;
    for (size_t i = 0; i < len / 2; i++) {
      int hi = nibble(argv[a][2 * i]), lo = nibble(argv[a][2 * i + 1]);
      if (hi < 0 || lo < 0) return 2;
      data[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    int32_t n = static_cast<int32_t>(len / 2);
    uint8_t crc[kChecksumResultMax], lrc[kChecksumResultMax];
    char crc_asc[kChecksumResultMax + 1] = {}, lrc_asc[kChecksumResultMax + 1] = {};
    checksum_compute(data, n, kChecksumCrc16, kChecksumHex, 0, crc);
    checksum_compute(data, n, kChecksumLrc, kChecksumHex, 0, lrc);
    checksum_compute(data, n, kChecksumCrc16, kChecksumAsc, 0, reinterpret_cast<uint8_t*>(crc_asc));
    checksum_compute(data, n, kChecksumLrc, kChecksumAsc, 0, reinterpret_cast<uint8_t*>(lrc_asc));
    std::printf("%04X %02X %s %s\n", crc[0] | crc[1] << 8, lrc[0], crc_asc, lrc_asc);
  }
  return 0;
}
