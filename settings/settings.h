// The settings file "quorrin.ini", section "Setting": the key table with its
// forms and defaults, the order in which keys are read and written, and the
// in-memory settings every part of the program reads and changes. The file
// itself is reached through ProfileIo, so the rules here run without Windows.
#pragma once

#include <cstddef>
#include <cstdint>

// Line parameters of one channel (index 0 CH1, 1 CH2).
struct PortSettings {
  int32_t rs_comport;  // COM port number, 0: none
  int32_t rs_speed;    // baud rate
  int32_t rs_dtbit;    // data bits
  int32_t rs_pybit;    // DCB parity code
  int32_t rs_spbit;    // DCB stop-bit code
  int32_t rs_flow;     // 0 none, 1 XON/XOFF, 2 RTS/CTS
};

struct Settings {
  PortSettings port[2];
  int32_t rs_stchar_on, rs_hdchar_on, rs_inchar_on, rs_spchar_on, rs_scchar_on, rs_endchar_on;
  int32_t rs_scchar_mode, rs_scchar_type;
  int32_t rs_stcheck_on, rs_hdcheck_on, rs_incheck_on, rs_spcheck_on;
  uint8_t rs_stchar;
  char16_t rs_hdchar[31];
  uint8_t rs_spchar;
  uint8_t rs_endchar;
  int32_t scrol_pitch, hexasc_komoji, moji_type;
  char16_t macro_filename[260];
  int32_t lm_mode, auto_foucs_OFF, pl_time, dlg10_scchar_mode;
  char16_t dlg13_start_char[3];
  char16_t dlg13_slave_char[3];
  uint8_t dlg13_fanction;
  uint16_t dlg13_address, dlg13_conut, dlg13_byteratio;
  char16_t dlg13_end_char[5];
  int32_t dlg4_short, dlg5_short;
};

// Line monitor mode is on when lm_mode is 1; any other value a hand-edited
// file holds is off, for every part of the program alike.
inline int settings_line_monitor(const Settings* s) { return s->lm_mode == 1; }

enum SettingForm { kFormInt, kFormHexByte, kFormText, kFormByte, kFormWord };

struct SettingKey {
  const char16_t* name;
  int form;
  int32_t default_int;         // integer forms
  const char16_t* default_text;  // hex byte and text forms
  int text_len;                // characters read (hex byte: 2)
  int read_only;               // never written back
  size_t offset;               // field in Settings
};

constexpr int kSettingKeys = 45;
extern const SettingKey kSettingKeyTable[kSettingKeys];

// The platform's private-profile access for one file and section. get_text
// follows GetPrivateProfileStringW: at most out_units - 1 characters, always
// terminated. get_int follows GetPrivateProfileIntW.
struct ProfileIo {
  void* ctx;
  int32_t (*get_int)(void* ctx, const char16_t* key, int32_t def);
  void (*get_text)(void* ctx, const char16_t* key, const char16_t* def, char16_t* out, int out_units);
  void (*put_text)(void* ctx, const char16_t* key, const char16_t* value);
};

void settings_defaults(Settings* s);
void settings_load(Settings* s, const ProfileIo* io);
void settings_save(const Settings* s, const ProfileIo* io);

// The language a first start begins in, before any settings file exists:
// the moji_type for a Windows LANGID by its primary language (the low ten
// bits): Japanese 0x11 -> 0, English 0x09 -> 1, Korean 0x12 -> 2, Chinese
// 0x04 (every script and region) -> 3, any other -> English.
int32_t settings_language_for_langid(uint16_t langid);

// Up to two hex digits, stopping at the first other character; 0 when none.
uint8_t settings_parse_hex_byte(const char16_t* text);

// The 246 data words of the Modbus frame builder, cleared at every load.
constexpr int kModbusWords = 246;
