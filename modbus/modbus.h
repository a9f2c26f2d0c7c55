// The Modbus frame builder's rules, decided without a window: which fields a
// function code uses, how the field texts are read, the two data entry
// modes of the data field, the assembly of an ASCII frame (":" text, LRC,
// CR LF), an RTU frame (bytes, CRC-16) or a Modbus TCP frame (MBAP header,
// unit, PDU), and where the preview starts.
// modbus/modbus_dialog_win.cpp moves texts between the dialog and these.
//
// The builder's values live in Settings (slave address, function code,
// register address, count, byte ratio, start and end code), its data store
// in AppState::modbus_words, and the rest in one ModbusState for the run.
// Nothing here allocates; every text is read a bounded number of units.
#pragma once

#include <cstdint>

#include "codec/convert.h"
#include "settings/settings.h"

constexpr int kModbusFrameUnits = 256;    // the frame buffer
constexpr int kModbusDataUnits = 244;     // the data store holds at most this many units
constexpr int kModbusStoreUnits = kModbusWords;
constexpr int kModbusDataHexChars = 2 * kModbusDataUnits;  // HEX entry: two digits per unit
constexpr int kModbusFieldChars = 13;     // slave address, register address and count are read this far
constexpr int kModbusComboChars = 4;      // function and ratio combo boxes
constexpr int kModbusPreviewColumns = 64;
constexpr int kModbusPreviewLast = 192;   // the preview never starts beyond this unit

// kModbusTcp: the MBAP header (transaction id, protocol id 0, length of
// what follows), the unit id where the slave address goes, then the PDU of
// an RTU frame without its CRC; TCP carries the check itself.
enum ModbusMode { kModbusAscii = 0, kModbusRtu = 1, kModbusTcp = 2 };

// "ASCII", "RTU" or "TCP" (any other value reads as "RTU").
const char* modbus_mode_name(int32_t mode);

// Process-wide state of the builder besides the settings and the store.
// The frame mode lives only for the run, like the rest of this state.
struct ModbusState {
  int32_t mode;        // ModbusMode
  int32_t hex_entry;   // data entry: 0 ASC (typed characters), 1 HEX (a byte per unit)
  int32_t data_count;  // units in the data store, 0 .. kModbusDataUnits
  char16_t frame[kModbusFrameUnits];  // the last assembled frame, one byte value (0-255) per unit
  int32_t frame_length;               // 0 until the first assembly
  int32_t preview_offset;             // frame unit in the first preview column, 0 .. 192
  int32_t preview_scrolled;           // "<" or ">" chose the offset for the next paint
  // Transaction id of the last TCP frame assembled (0 before the first):
  // the next one takes one more, so the first is 1 and 0xFFFF is followed
  // by 0. Only a TCP frame that was assembled takes an id.
  uint16_t transaction;
};

// Which controls a function code uses.
struct ModbusFieldRule {
  int32_t address_on, count_on, data_on, ratio_on;
  int32_t address_label;  // message text of the register address label: kTextModbusSubFunction for 0x08, else kTextModbusRegister
};
void modbus_field_rule(uint8_t code, ModbusFieldRule* out);

// The function code in the function combo box's text: its first 4 units as
// a hexadecimal number ("03 Read Holding Registers" is 3), low 8 bits.
uint8_t modbus_function_from_text(const char16_t* text);
// The byte ratio in the ratio combo box's text: units 2 to 4 as a
// hexadecimal number ("x2" is 2); 0 becomes 1.
uint16_t modbus_ratio_from_text(const char16_t* text);

// The texts of the dialog's fields when the user assembles or sends.
struct ModbusTexts {
  const char16_t* slave;     // edit 322
  const char16_t* function;  // combo 301
  const char16_t* address;   // edit 324
  const char16_t* count;     // edit 325
  const char16_t* ratio;     // combo 302
  const char16_t* data;      // edit 326
  int32_t hex_entry;         // radio 312 checked
};

// Fields whose text was refused; the stored value stays and the field shows
// it again. kModbusDataCut: the data text held more than the store takes
// (244 units, or 244 pairs in HEX entry) and the rest was not taken.
enum ModbusInputError {
  kModbusBadSlave = 1,    // not exactly 2 characters
  kModbusBadAddress = 2,  // negative or above 65535
  kModbusBadCount = 4,    // below 1 or above 65535
  kModbusDataCut = 8,
};

// Reads the texts into the settings, the entry mode and the data store, in
// the dialog's order (slave, function, register address, count, ratio,
// entry mode, data). Returns the ModbusInputError bits of what was refused
// or cut; every other value is stored.
int modbus_read_inputs(const ModbusTexts* t, Settings* s, ModbusState* st, uint16_t store[kModbusStoreUnits]);

// The data field's text when the user switches the entry mode, written to
// out (terminated). To HEX: the typed characters go into the store, the
// field shows two hex digits per unit (a unit from 0x100 up as the byte it
// is sent as). To ASC: the field's hex pairs go into the store as bytes and
// the field shows them as characters.
constexpr int kModbusDataTextUnits = kModbusDataHexChars + 1;
int modbus_entry_to_hex(const char16_t* field, const AnsiCodec* codec, ModbusState* st,
                        uint16_t store[kModbusStoreUnits], char16_t out[kModbusDataTextUnits]);
// Returns kModbusEntryHasNul, changing nothing, when a byte is 00: an edit
// field cannot show that character, so the data would be lost in ASC entry.
enum ModbusEntryResult { kModbusEntryOk = 0, kModbusEntryHasNul = 1 };
int modbus_entry_to_asc(const char16_t* field, ModbusState* st, uint16_t store[kModbusStoreUnits],
                        char16_t out[kModbusDataTextUnits]);
// The data field's text for the store as it is (at dialog opening).
void modbus_data_text(const ModbusState* st, const uint16_t store[kModbusStoreUnits], const AnsiCodec* codec,
                      char16_t out[kModbusDataTextUnits]);

// The byte count field of functions 0x0F ((count + 7) / 8) and 0x10
// (ratio x count); 0 for other codes.
int32_t modbus_byte_count(uint8_t code, uint16_t count, uint16_t ratio);

enum ModbusAssembleResult {
  kModbusAssembled = 0,
  kModbusByteCountTooLarge = 1,  // the byte count does not fit its one byte
  kModbusFrameTooLong = 2,       // the frame would not fit the 256-unit buffer
};
// Builds the frame of the current values into st->frame. In TCP mode the
// frame's transaction id is st->transaction + 1, stored back on success;
// its PDU may then hold at most 249 bytes (7 header and unit bytes before
// it in the 256-unit buffer). On failure the
// previous frame stays and *size is the byte count or frame length that was
// refused. Units of the store from 0x100 up enter the frame as the byte they
// are sent as (codec), so the preview, the check and the line agree.
int modbus_assemble(const Settings* s, ModbusState* st, const uint16_t store[kModbusStoreUnits],
                    const AnsiCodec* codec, int32_t* size);

// The preview offset for the next paint: kept after a scroll, else the last
// full block of 32 units of the frame but one; at most 192. Clears the
// scrolled flag.
int32_t modbus_preview_offset(ModbusState* st);
// The "<" and ">" buttons.
void modbus_preview_scroll(ModbusState* st, int right);
