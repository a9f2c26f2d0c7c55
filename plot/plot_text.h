// Numbers in text lines: what a device prints ("STATUS 12 T=23.3 C OK")
// read as values for the plot. Pure: bytes in, values out, fixed buffers.
//
// A line ends at LF, CR LF or CR (the LF of a CR LF ends nothing more). On a
// line, tokens are separated by spaces, commas, semicolons and tabs:
// - `key:value` and `key=value` (or `key:` / `key=` with the value as the
//   next token) give a value of the series named by the key (1 to 31
//   bytes, no control character); the value may carry a unit after it
//   ("T=23.3C", "RH=45%": up to 8 letters, '%', '/' or non-ASCII bytes);
// - a token that is a number by itself is a bare number, named #1, #2, ...
//   by its place among the line's bare numbers;
// - anything else is passed over.
// A number is [+-]digits[.digits][(e|E)[+-]digits], with at least one digit
// before the exponent (".5" and "5." are numbers, "1e" and "0x10" are not),
// whose value a double holds (1e999 is not).
#pragma once

#include <cstdint>

constexpr int kPlotLineBytes = 512;   // a longer line is passed over whole
constexpr int kPlotKeyBytes = 32;     // a key of up to 31 bytes, then a terminator
constexpr int kPlotLineValues = kPlotLineBytes / 2 + 1;  // every value a line can hold ("1 1 1 ...")

struct PlotLineValue {
  char key[kPlotKeyBytes];  // empty for a bare number
  int32_t bare;             // 1, 2, ... for bare numbers, 0 for a keyed value
  double value;
};

// Parses one line (without its ending) into out[0 .. capacity - 1], in the
// order the values stand. Returns how many were found (at most capacity).
int plot_parse_line(const uint8_t* s, int32_t n, PlotLineValue* out, int32_t capacity);

// 1 when s[0 .. n - 1] is a whole number as above, with its value in *value.
int plot_parse_number(const uint8_t* s, int32_t n, double* value);

// One stream's line being gathered across chunks.
struct PlotLineSplit {
  uint8_t line[kPlotLineBytes];
  int32_t n;
  uint8_t overlong;  // the line ran past kPlotLineBytes: passed over when it ends
  uint8_t after_cr;  // the last byte seen was a CR (a following LF ends nothing)
  uint8_t ended;     // the line in `line` has been handed out; the next byte starts another
  uint8_t partial;   // the line being gathered began before a break: passed over when it ends
};

// Starts afresh. At a break of the line (port lost, back, closed, a new
// run) what was gathered belongs to nothing after it, and the bytes after
// it up to the next line end are the rest of a line whose start is lost:
// `partial` 1 passes them over.
void plot_line_reset(PlotLineSplit* s, int partial = 0);

// A break of the line: a line begun and not ended (or the rest of one cut
// before) makes the bytes up to the next line end partial; after a line
// that ended, the next line is whole.
void plot_line_break(PlotLineSplit* s);

// Takes bytes from `bytes` until a line ends or the bytes run out; *used
// says how many were taken. Returns 1 when a line ended (it stands in
// s->line[0 .. s->n - 1]; the next call starts a new one), 0 otherwise.
// An overlong or partial line ends like any other but with s->n = 0.
int plot_line_feed(PlotLineSplit* s, const uint8_t* bytes, int32_t count, int32_t* used);
