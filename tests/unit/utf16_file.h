// The bytes of a UTF-16LE text file as the program's macro, strings and
// answer files are stored: the byte order mark FF FE (unless bom is false),
// then each code unit low byte first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline std::vector<uint8_t> utf16_file(const std::u16string& text, bool bom = true) {
  std::vector<uint8_t> b;
  if (bom) b = {0xFF, 0xFE};
  for (char16_t u : text) {
    b.push_back(static_cast<uint8_t>(u & 0xFF));
    b.push_back(static_cast<uint8_t>(u >> 8));
  }
  return b;
}
