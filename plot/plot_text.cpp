#include "plot/plot_text.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

static int is_separator(uint8_t c) { return c == ' ' || c == ',' || c == ';' || c == '\t'; }
static int is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

// Exact powers of ten as doubles (10^22 is the last one a double holds).
static const double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

int plot_parse_number(const uint8_t* s, int32_t n, double* value) {
  if (n <= 0 || n > 64) return 0;  // longer is no number a device prints
  int32_t i = 0;
  const int negative = s[i] == '-';
  if (s[i] == '+' || s[i] == '-') i++;
  // The digits as one integer, up to 15 significant ones, and the power of
  // ten it is scaled by.
  int digits = 0, significant = 0;
  int64_t whole = 0;
  int32_t scale = 0;
  auto take = [&](uint8_t c) {
    if (whole == 0 && c == '0') return;  // a leading zero
    if (++significant <= 15) whole = whole * 10 + (c - '0');  // more: strtod reads it
  };
  while (i < n && is_digit(s[i])) take(s[i++]), digits++;
  if (i < n && s[i] == '.') {
    i++;
    while (i < n && is_digit(s[i])) take(s[i++]), digits++, scale--;
  }
  if (digits == 0) return 0;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    i++;
    int exp_negative = 0;
    if (i < n && (s[i] == '+' || s[i] == '-')) exp_negative = s[i++] == '-';
    int exp_digits = 0;
    int32_t exp = 0;
    while (i < n && is_digit(s[i])) {
      if (exp < 100000) exp = exp * 10 + (s[i] - '0');
      i++, exp_digits++;
    }
    if (exp_digits == 0) return 0;
    scale += exp_negative ? -exp : exp;
  }
  if (i != n) return 0;
  // An integer below 2^53 and a power of ten up to 10^22 are both exact,
  // so one multiplication or division rounds once, as strtod does.
  if (significant <= 15 && scale >= -22 && scale <= 22) {
    const double m = static_cast<double>(whole);
    const double v = scale >= 0 ? m * kPowersOfTen[scale] : m / kPowersOfTen[-scale];
    *value = negative ? -v : v;
    return 1;
  }
  char text[72];
  memcpy(text, s, static_cast<size_t>(n));
  text[n] = 0;
  // The grammar above is C's; the program never sets a locale, so strtod
  // reads '.' as the decimal point.
  *value = strtod(text, nullptr);
  return std::isfinite(*value) ? 1 : 0;  // 1e999 is no value to plot
}

// A keyed value may carry its unit ("T=23.3C", "V=-3.3mV", "RH=45%",
// "T=23.3°C"): letters, '%', '/' and bytes of other alphabets after the
// number, at most 8 of them, are passed over.
static int is_unit(uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '%' || c == '/' || c >= 0x80; }

static int keyed_number(const uint8_t* s, int32_t n, double* value) {
  int32_t unit = 0;
  while (unit < n && unit < 8 && is_unit(s[n - 1 - unit])) unit++;
  if (plot_parse_number(s, n, value)) return 1;
  return unit > 0 && unit < n && plot_parse_number(s, n - unit, value);
}

static int keyed(const uint8_t* s, int32_t n, int32_t* colon) {
  for (int32_t i = 0; i < n; i++)
    if (s[i] == ':' || s[i] == '=') {
      *colon = i;
      return 1;
    }
  return 0;
}

// A key names a series: 1 to 31 bytes, none of them a control character.
static int nameable(const uint8_t* s, int32_t n) {
  if (n == 0 || n >= kPlotKeyBytes) return 0;
  for (int32_t i = 0; i < n; i++)
    if (s[i] < 0x20 || s[i] == 0x7F) return 0;
  return 1;
}

static void set_key(PlotLineValue* v, const uint8_t* s, int32_t n) {
  int32_t k = n < kPlotKeyBytes - 1 ? n : kPlotKeyBytes - 1;
  memcpy(v->key, s, static_cast<size_t>(k));
  v->key[k] = 0;
}

int plot_parse_line(const uint8_t* s, int32_t n, PlotLineValue* out, int32_t capacity) {
  int found = 0, bare = 0;
  int32_t i = 0;
  // A key whose value is the next token ("T: 23.3"), waiting for it.
  const uint8_t* pending = nullptr;
  int32_t pending_n = 0;
  while (i < n && found < capacity) {
    while (i < n && is_separator(s[i])) i++;
    int32_t start = i;
    while (i < n && !is_separator(s[i])) i++;
    int32_t len = i - start;
    if (len == 0) break;
    const uint8_t* t = s + start;
    double value;
    if (pending) {
      const uint8_t* key = pending;
      int32_t key_n = pending_n;
      pending = nullptr;
      if (keyed_number(t, len, &value)) {
        set_key(&out[found], key, key_n);
        out[found].bare = 0;
        out[found].value = value;
        found++;
        continue;
      }
    }
    int32_t colon;
    if (keyed(t, len, &colon)) {
      if (!nameable(t, colon)) continue;
      if (colon == len - 1) {
        pending = t;
        pending_n = colon;
      } else if (keyed_number(t + colon + 1, len - colon - 1, &value)) {
        set_key(&out[found], t, colon);
        out[found].bare = 0;
        out[found].value = value;
        found++;
      }
      continue;
    }
    if (plot_parse_number(t, len, &value)) {
      out[found].key[0] = 0;
      out[found].bare = ++bare;
      out[found].value = value;
      found++;
    }
  }
  return found;
}

void plot_line_reset(PlotLineSplit* s, int partial) {
  s->n = 0;
  s->overlong = 0;
  s->after_cr = 0;
  s->ended = 0;
  s->partial = partial ? 1 : 0;
}

void plot_line_break(PlotLineSplit* s) {
  plot_line_reset(s, s->partial || (!s->ended && (s->n > 0 || s->overlong)));
}

int plot_line_feed(PlotLineSplit* s, const uint8_t* bytes, int32_t count, int32_t* used) {
  if (s->ended) {
    s->n = 0;
    s->ended = 0;
  }
  for (int32_t i = 0; i < count; i++) {
    uint8_t c = bytes[i];
    if (c == '\n' && s->after_cr) {  // the LF of a CR LF
      s->after_cr = 0;
      continue;
    }
    s->after_cr = c == '\r';
    if (c == '\n' || c == '\r') {
      *used = i + 1;
      if (s->overlong || s->partial) s->n = 0;
      s->overlong = 0;
      s->partial = 0;
      s->ended = 1;
      return 1;
    }
    if (s->n < kPlotLineBytes)
      s->line[s->n++] = c;
    else
      s->overlong = 1;
  }
  *used = count;
  return 0;
}
