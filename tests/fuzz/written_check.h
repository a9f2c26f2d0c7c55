// What the fuzz targets ask of text the exports write through a sink: a
// write of 1 to 4096 bytes, printable ASCII, and CR LF line ends (LF only
// after CR, CR only before LF). Any fault aborts, which the fuzzer reports.
#pragma once

#include <cstdint>
#include <cstdlib>

inline void check(bool ok) {
  if (!ok) std::abort();
}

struct Written {
  int64_t line_ends;
  uint8_t last;
};

inline int check_write(void* ctx, const uint8_t* bytes, int n) {
  Written* w = static_cast<Written*>(ctx);
  check(n > 0 && n <= 4096);
  for (int i = 0; i < n; i++) {
    uint8_t b = bytes[i];
    check((b >= 0x20 && b <= 0x7E) || b == '\r' || b == '\n');
    check((b == '\n') == (w->last == '\r'));
    if (b == '\n') w->line_ends++;
    w->last = b;
  }
  return 0;
}
