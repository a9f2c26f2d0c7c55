// The byte notation of the newer tools (auto answer rules, and what they
// write): quoted text and hex pairs, as in strings files, read strictly.
//
//   "PING"0D0A     'say "hi"'     01 03 00 00 00 0A
//
// A double or single quote opens a run of text whose characters are taken
// as they are, and the same quote closes it; outside quotes each byte is
// two hexadecimal digits (either case), and blanks may stand between
// bytes and runs, never inside a pair. Unlike the strings file reader,
// which reads whatever it is given for old files' sake, this reader refuses
// anything else, so that a typo never becomes bytes nobody meant: PING
// outside quotes, a lone digit, a quote left open, a character above FF.
#pragma once

#include <cstdint>

enum NotationFault {
  kNotationOk = 0,
  kNotationEmpty,        // no byte at all
  kNotationNotHex,       // a character outside quotes that is neither a hex digit nor a blank
  kNotationLoneDigit,    // a hex digit without its partner
  kNotationOpenQuote,    // a quoted run that is never closed
  kNotationNotByte,      // a character in quotes above FF
  kNotationTooLong,      // more bytes than the caller takes
};

struct NotationResult {
  int32_t fault;  // NotationFault
  int32_t count;  // bytes read (kNotationOk)
  int32_t at;     // unit where the fault lies (0-based)
};

// The value of a hex digit (either case), or -1; 1 for the blanks that may
// stand between bytes (space, tab). Find's hex form reads by the same rules.
int notation_hex_digit(char16_t c);
int notation_blank(char16_t c);

// Reads units[0 .. n - 1] into out (at most `most` bytes).
NotationResult notation_read(const char16_t* units, int n, uint8_t* out, int most);

// Writes bytes in the notation: printable runs of two or more bytes (20 to
// 7E but the double quote) in double quotes, every other byte as an
// upper-case hex pair, without blanks. Returns the units written, at most
// 2 * n (a quoted run of k >= 2 bytes takes k + 2 units).
int notation_write(const uint8_t* bytes, int n, char16_t* out);
// The same in at most `room` units: as many bytes as fit (a run cut by the
// room is quoted as far as it fits, at least one byte when room >= 3), and
// *taken says how many. The macro writer cuts long answers with it.
int notation_write_fit(const uint8_t* bytes, int n, char16_t* out, int room, int* taken);
