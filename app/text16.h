// Bounded UTF-16 string helpers for the fixed buffers the program uses.
// Code units are char16_t in the core; the Win32 layer casts wchar_t at the
// boundary (both are 16 bits there).
#pragma once

#include <cstddef>
#include <cstdint>
#include <climits>

size_t text16_len(const char16_t* s);
// Copies src into dst of `cap` units (cap >= 1), always terminated.
// Returns 0, or 1 when src had to be cut.
int text16_copy(char16_t* dst, size_t cap, const char16_t* src);
// Appends src to the string in dst; returns 1 (and leaves dst unchanged)
// when the result would not fit in cap units.
int text16_append(char16_t* dst, size_t cap, const char16_t* src);
// Copies an ASCII string into dst, bounded as text16_copy.
int text16_from_ascii(char16_t* dst, size_t cap, const char* src);
// 1 when a and b are equal, ignoring ASCII case.
int text16_equal_nocase(const char16_t* a, const char16_t* b);
// Decimal text-to-integer of at most max_chars units: leading blanks, a
// sign, then digits up to the first other unit; no digits give 0. Values
// beyond 32 bits are held at the 32-bit limits.
int32_t text16_to_int(const char16_t* s, int max_chars);
// A menu item's text as a title says it, in place: its access key marks
// gone ("&Record" and "記録(&R)" both lose theirs, "&&" stays one "&") and
// a closing "..." or "…" with it.
void text16_menu_plain(char16_t* s);
