#include "app/text16.h"

size_t text16_len(const char16_t* s) {
  size_t n = 0;
  while (s[n]) n++;
  return n;
}

int text16_copy(char16_t* dst, size_t cap, const char16_t* src) {
  size_t i = 0;
  for (; i + 1 < cap && src[i]; i++) dst[i] = src[i];
  dst[i] = 0;
  return src[i] ? 1 : 0;
}

int text16_append(char16_t* dst, size_t cap, const char16_t* src) {
  size_t a = text16_len(dst), b = text16_len(src);
  if (a + b + 1 > cap) return 1;
  for (size_t i = 0; i <= b; i++) dst[a + i] = src[i];
  return 0;
}

int text16_from_ascii(char16_t* dst, size_t cap, const char* src) {
  size_t i = 0;
  for (; i + 1 < cap && src[i]; i++) dst[i] = static_cast<unsigned char>(src[i]);
  dst[i] = 0;
  return src[i] ? 1 : 0;
}

static char16_t text16_lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + 32 : c; }

int text16_equal_nocase(const char16_t* a, const char16_t* b) {
  size_t i = 0;
  for (; a[i] && b[i]; i++)
    if (text16_lower(a[i]) != text16_lower(b[i])) return 0;
  return a[i] == b[i];
}
