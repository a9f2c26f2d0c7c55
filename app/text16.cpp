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

int32_t text16_to_int(const char16_t* s, int max_chars) {
  int i = 0;
  while (i < max_chars && (s[i] == u' ' || s[i] == u'\t')) i++;
  int negative = 0;
  if (i < max_chars && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
  int64_t v = 0;
  for (; i < max_chars && s[i] >= u'0' && s[i] <= u'9'; i++) {
    v = v * 10 + (s[i] - u'0');
    if (v > INT32_MAX) v = static_cast<int64_t>(INT32_MAX) + 1;
  }
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  if (v < INT32_MIN) v = INT32_MIN;
  return static_cast<int32_t>(v);
}

void text16_menu_plain(char16_t* s) {
  size_t out = 0;
  for (size_t i = 0; s[i]; i++) {
    if (s[i] == u'(' && s[i + 1] == u'&' && s[i + 2] && s[i + 2] != u'&' && s[i + 3] == u')') {
      i += 3;  // "(&R)"
      continue;
    }
    if (s[i] == u'&') {
      if (s[i + 1] == u'&') s[out++] = s[++i];
      continue;
    }
    s[out++] = s[i];
  }
  s[out] = 0;
  while (out && s[out - 1] == u'.') s[--out] = 0;
  if (out && s[out - 1] == u'\u2026') s[--out] = 0;
  while (out && s[out - 1] == u' ') s[--out] = 0;
}
