// A Modbus RTU body with its CRC-16, low byte first, as checksum_compute
// gives it: the frames the tests put on a line.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/checksum.h"

inline std::vector<uint8_t> rtu(std::vector<uint8_t> body) {
  uint8_t crc[kChecksumResultMax];
  int n = checksum_compute(body.data(), static_cast<int32_t>(body.size()), kChecksumCrc16, kChecksumHex, 0, crc);
  body.insert(body.end(), crc, crc + n);
  return body;
}
