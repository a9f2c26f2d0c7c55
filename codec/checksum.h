// The four checksums of the send format and the checksum calculator (XOR,
// ADD, CRC16, LRC) and their two renderings: hex digit characters (ASC) or
// raw bytes (HEX). Also the names the dialogs show and read back.
#pragma once

#include <cstdint>

enum ChecksumKind { kChecksumXor = 0, kChecksumAdd = 1, kChecksumCrc16 = 2, kChecksumLrc = 3 };
enum ChecksumForm { kChecksumAsc = 0, kChecksumHex = 1 };

constexpr int kChecksumKinds = 4;
constexpr int kChecksumResultMax = 4;  // CRC16 as four characters

// CRC-16 of Modbus RTU (reflected polynomial 0xA001, start 0xFFFF; the
// low byte goes first on the line), one byte at a time from a table: the
// checksum kind CRC16 and the frame builder use it, the Modbus monitor's
// look-ahead searches its keys (below).
uint16_t crc16_modbus_step(uint16_t crc, uint8_t byte);
uint16_t crc16_modbus(const uint8_t* data, int32_t length);

// Keys that tell in one comparison whether a run of bytes ends in its own
// CRC-16 (the CRC of all but its last two bytes, low byte first), for a
// reader that asks it of many starts and lengths in one stream. Bytes are
// fed in stream order; byte i gets before[i] and after[i], and bytes i .. j
// (fed to one chain, j > i) end in their CRC exactly when after[j] ==
// before[i]. Why: the CRC over a frame with its CRC appended is 0, and
// only then; the CRC is linear, so with R(k) the register after k bytes of
// the chain, the CRC from 0xFFFF over bytes i .. j is
// R(j + 1) ^ A^(j + 1 - i)(R(i) ^ 0xFFFF), A being the register's step over
// a zero byte, which is invertible. Scaling both sides by A^-(j + 1) leaves
// a key of j alone against a key of i alone.
struct Crc16KeyChain {
  uint16_t key;    // A^-k(R(k)), k the bytes fed so far (R(0) = 0)
  uint16_t start;  // A^-k(0xFFFF)
  uint16_t scale;  // A^-k(1), 1 the register 0x8000 (x^0)
};
void crc16_key_chain_begin(Crc16KeyChain* c);
void crc16_key_chain_feed(Crc16KeyChain* c, const uint8_t* bytes, int32_t count, uint16_t* before,
                          uint16_t* after);

// Computes the checksum of `length` bytes (a negative length counts as 0)
// and writes it to out: form 0 as hex digit characters ("%02X", or "%02x"
// when lower_hex is 1), any other form as raw bytes; CRC16 low byte first in
// both. Returns the number of bytes written (1, 2 or 4). A kind outside
// 0 .. 3 is taken as XOR, as the send format dialog reads an unknown name.
int checksum_compute(const uint8_t* data, int32_t length, int32_t kind, int32_t form, int32_t lower_hex,
                     uint8_t out[kChecksumResultMax]);

// The number of bytes checksum_compute writes for kind and form.
int checksum_length(int32_t kind, int32_t form);

// "XOR", "ADD", "CRC16", "LRC" (an unknown kind shows as XOR), and the
// form names "ASC" and "HEX".
const char16_t* checksum_kind_name(int32_t kind);
const char16_t* checksum_form_name(int32_t form);
// The kind a name stands for: exactly "LRC", "CRC16" or "ADD"; any other
// text (null included) is XOR.
int32_t checksum_kind_from_name(const char16_t* name);
