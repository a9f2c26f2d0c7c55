// Conversions between what the send tools hold (rows of UTF-16 code units)
// and what goes on the line (bytes): characters to bytes, hex pairs to bytes,
// the hex entry rule of the input fields, the display texts of a byte and
// the two display texts of a typed row. The thread's ANSI code page is
// reached through AnsiCodec, whose Win32 implementation lives in
// codec/ansi_win.cpp; nothing here allocates.
#pragma once

#include <cstdint>

constexpr int kInputUnits = 256;       // an input field holds at most this many units
constexpr int kHeaderTextUnits = 30;   // header text of the send format
constexpr int kHeaderBytes = kHeaderTextUnits / 2;
constexpr int kCellTextUnits = 2 * kInputUnits + 1;  // either text of a full row, terminated

// A byte as one character (0x21-0x7E, 0x80-0xFF) or a two-letter mnemonic;
// returns the count (1 or 2) and writes it and a terminator into out.
int byte_display_text(uint8_t byte, char16_t out[3]);
// Two upper-case hex digits and a terminator.
void byte_hex_text(uint8_t byte, char16_t out[3]);

// The platform's code page, converting without best-fit mapping: a character
// the code page cannot hold becomes its default character rather than a
// look-alike. encode converts `count` units and writes at most `cap` bytes;
// it returns the number written, or 0 when the conversion failed.
// lead_byte (may be null: a code page of single bytes) says whether a byte
// begins a double-byte character.
struct AnsiCodec {
  void* ctx;
  int (*encode)(void* ctx, const char16_t* units, int count, uint8_t* out, int cap);
  int (*lead_byte)(void* ctx, uint8_t b) = nullptr;
};

// The Win32 codec (CP_THREAD_ACP, WC_NO_BEST_FIT_CHARS); Windows builds only.
extern const AnsiCodec ansi_codec_win;

// What Characters to bytes sends for a unit that the code page cannot write
// as exactly one byte (unmappable, or a double-byte character).
constexpr uint8_t kUnsendableByte = 0x3F;  // '?'

// Reads up to `len` units of text as a base-16 number the way the C
// library's strtol does it on Windows (32-bit long): leading blanks, then a
// sign, an optional 0x, hex digits until the first other character; no digits
// give 0, overflow gives LONG_MAX or LONG_MIN. A NUL ends the text early.
int32_t convert_hex_value(const char16_t* text, int len);

// One byte per unit: units below 0x100 are the byte itself, others go through
// the code page (kUnsendableByte when that is not exactly one byte). Writes
// `count` bytes and returns count, or returns -1 and writes nothing when
// `cap` cannot hold them. A negative count converts nothing.
int convert_chars_to_bytes(const AnsiCodec* codec, const char16_t* units, int count, uint8_t* out, int cap);

// Hex pairs to bytes: the text (at most 30 units are read) goes through the
// code page, then each pair of characters is read by convert_hex_value and
// gives one byte; an odd last character is dropped. Returns len / 2.
int convert_hex_pairs(const AnsiCodec* codec, const char16_t* text, int len, uint8_t out[kHeaderBytes]);

// Hex entry state of one input field (0 ASC; 1 HEX, no digit pending; 2 HEX,
// `pending` waiting for its partner). Fields start in ASC.
enum HexEntryState { kEntryAsc = 0, kEntryHexFirst = 1, kEntryHexSecond = 2 };
struct HexEntry {
  int32_t state;
  char16_t pending;
};

// The "ASC" (hex = 0) and "HEX" (hex = 1) radio buttons; either drops a
// pending digit.
void hex_entry_set_mode(HexEntry* e, int hex);
// Feeds one typed character. Appends at most one unit to units[0 .. 255] and
// returns 1 when it did. A full row (or a count outside 0 .. 255) takes
// nothing: the character, or in HEX the completed pair, is dropped.
int hex_entry_type(HexEntry* e, char16_t c, char16_t units[kInputUnits], int32_t* count);

// The character row and hex row the send tools paint for typed units (at most
// 256 are taken): per unit the data view's byte display text (one character
// or a two-letter mnemonic; a unit from 0x100 up as itself) and two
// upper-case hex digits. A unit from 0x100 up shows in the hex row the byte
// convert_chars_to_bytes sends for it. Both texts are terminated.
struct CellTexts {
  char16_t display[kCellTextUnits];
  int32_t display_len;
  char16_t hex[kCellTextUnits];
  int32_t hex_len;
};
void cell_texts(const AnsiCodec* codec, const char16_t* units, int count, CellTexts* out);
