// A code page for the tests and fuzz targets of the send paths: Latin-1
// without best fit; with a non-null ctx (&g_fake_double_byte), units from
// 0x3000 up take two bytes as in a double-byte code page. Fails (0) when
// cap is too small.
#pragma once

#include <cstdint>

inline int fake_encode(void* ctx, const char16_t* units, int count, uint8_t* out, int cap) {
  int n = 0;
  for (int i = 0; i < count; i++) {
    int len = (ctx && units[i] >= 0x3000) ? 2 : 1;
    if (n + len > cap) return 0;
    if (len == 2) {
      out[n++] = 0x82;
      out[n++] = static_cast<uint8_t>(units[i]);
    } else {
      out[n++] = units[i] <= 0xFF ? static_cast<uint8_t>(units[i]) : '?';
    }
  }
  return n;
}

inline int g_fake_double_byte = 1;
