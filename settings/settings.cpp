#include "settings/settings.h"

#include <cstdio>
#include <cstring>

#include "app/text16.h"

#define KEY_INT(name, field, def) {u## #name, kFormInt, def, nullptr, 0, 0, offsetof(Settings, field)}
#define KEY_HEX(name, def) {u## #name, kFormHexByte, 0, u##def, 2, 0, offsetof(Settings, name)}
#define KEY_TEXT(name, len, def, ro) {u## #name, kFormText, 0, u##def, len, ro, offsetof(Settings, name)}

// Read order and write order are this table's order.
const SettingKey kSettingKeyTable[kSettingKeys] = {
    KEY_INT(rs_comport, port[0].rs_comport, 3),
    KEY_INT(rs_speed, port[0].rs_speed, 19200),
    KEY_INT(rs_dtbit, port[0].rs_dtbit, 8),
    KEY_INT(rs_pybit, port[0].rs_pybit, 0),
    KEY_INT(rs_spbit, port[0].rs_spbit, 0),
    KEY_INT(rs_flow, port[0].rs_flow, 0),
    KEY_INT(rs_comport2, port[1].rs_comport, 0),
    KEY_INT(rs_speed2, port[1].rs_speed, 19200),
    KEY_INT(rs_dtbit2, port[1].rs_dtbit, 8),
    KEY_INT(rs_pybit2, port[1].rs_pybit, 0),
    KEY_INT(rs_spbit2, port[1].rs_spbit, 0),
    KEY_INT(rs_flow2, port[1].rs_flow, 0),
    KEY_INT(rs_stchar_on, rs_stchar_on, 0),
    KEY_INT(rs_hdchar_on, rs_hdchar_on, 0),
    KEY_INT(rs_inchar_on, rs_inchar_on, 0),
    KEY_INT(rs_spchar_on, rs_spchar_on, 0),
    KEY_INT(rs_scchar_on, rs_scchar_on, 0),
    KEY_INT(rs_endchar_on, rs_endchar_on, 0),
    KEY_INT(rs_scchar_mode, rs_scchar_mode, 0),
    KEY_INT(rs_scchar_type, rs_scchar_type, 0),
    KEY_INT(rs_stcheck_on, rs_stcheck_on, 0),
    KEY_INT(rs_hdcheck_on, rs_hdcheck_on, 0),
    KEY_INT(rs_incheck_on, rs_incheck_on, 1),
    KEY_INT(rs_spcheck_on, rs_spcheck_on, 0),
    KEY_HEX(rs_stchar, "02"),
    KEY_TEXT(rs_hdchar, 30, "", 0),
    KEY_HEX(rs_spchar, "03"),
    KEY_HEX(rs_endchar, "03"),
    KEY_INT(scrol_pitch, scrol_pitch, 2),
    KEY_INT(hexasc_komoji, hexasc_komoji, 0),
    KEY_INT(moji_type, moji_type, 0),
    KEY_TEXT(macro_filename, 259, "", 0),
    KEY_INT(lm_mode, lm_mode, 0),
    KEY_INT(auto_foucs_OFF, auto_foucs_OFF, 0),
    KEY_INT(pl_time, pl_time, 300),
    KEY_INT(dlg10_scchar_mode, dlg10_scchar_mode, 0),
    KEY_TEXT(dlg13_start_char, 2, "3A", 1),
    KEY_TEXT(dlg13_slave_char, 2, "01", 0),
    {u"dlg13_fanction", kFormByte, 3, nullptr, 0, 0, offsetof(Settings, dlg13_fanction)},
    {u"dlg13_address", kFormWord, 1, nullptr, 0, 0, offsetof(Settings, dlg13_address)},
    {u"dlg13_conut", kFormWord, 1, nullptr, 0, 0, offsetof(Settings, dlg13_conut)},
    {u"dlg13_byteratio", kFormWord, 1, nullptr, 0, 0, offsetof(Settings, dlg13_byteratio)},
    KEY_TEXT(dlg13_end_char, 4, "0D0A", 1),
    KEY_INT(dlg4_short, dlg4_short, 0),
    KEY_INT(dlg5_short, dlg5_short, 0),
};

uint8_t settings_parse_hex_byte(const char16_t* text) {
  unsigned value = 0;
  for (int i = 0; i < 2 && text[i]; i++) {
    char16_t c = text[i];
    int d;
    if (c >= u'0' && c <= u'9') d = c - u'0';
    else if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
    else break;
    value = value * 16 + static_cast<unsigned>(d);
  }
  return static_cast<uint8_t>(value);
}

int32_t settings_language_for_langid(uint16_t langid) {
  switch (langid & 0x3FF) {
    case 0x11: return 0;
    case 0x09: return 1;
    case 0x12: return 2;
    case 0x04: return 3;
    default: return 1;
  }
}

static void* settings_field(Settings* s, const SettingKey* k) {
  return reinterpret_cast<char*>(s) + k->offset;
}

static const void* settings_field(const Settings* s, const SettingKey* k) {
  return reinterpret_cast<const char*>(s) + k->offset;
}

static void settings_store_int(Settings* s, const SettingKey* k, int32_t v) {
  void* f = settings_field(s, k);
  switch (k->form) {
    case kFormByte: *static_cast<uint8_t*>(f) = static_cast<uint8_t>(v); break;
    case kFormWord: *static_cast<uint16_t*>(f) = static_cast<uint16_t>(v); break;
    default: *static_cast<int32_t*>(f) = v; break;
  }
}

// Reads one text or hex byte key into `out` (len + 1 units).
static void settings_read_text(const SettingKey* k, const ProfileIo* io, char16_t* out) {
  std::memset(out, 0, (k->text_len + 1) * sizeof(char16_t));
  io->get_text(io->ctx, k->name, k->default_text, out, k->text_len + 1);
  out[k->text_len] = 0;
}

void settings_defaults(Settings* s) {
  static const ProfileIo defaults_only = {
      nullptr, [](void*, const char16_t*, int32_t def) { return def; },
      [](void*, const char16_t*, const char16_t* def, char16_t* out, int units) {
        text16_copy(out, static_cast<size_t>(units), def);
      },
      nullptr};
  settings_load(s, &defaults_only);
}

void settings_load(Settings* s, const ProfileIo* io) {
  std::memset(s, 0, sizeof *s);
  for (const SettingKey& k : kSettingKeyTable) {
    if (k.form == kFormHexByte) {
      char16_t text[3];
      settings_read_text(&k, io, text);
      *static_cast<uint8_t*>(settings_field(s, &k)) = settings_parse_hex_byte(text);
    } else if (k.form == kFormText) {
      settings_read_text(&k, io, static_cast<char16_t*>(settings_field(s, &k)));
    } else {
      settings_store_int(s, &k, io->get_int(io->ctx, k.name, k.default_int));
    }
  }
  // A macro path of two characters or less (a bare drive "C:") names no file.
  if (text16_len(s->macro_filename) < 3) s->macro_filename[0] = 0;
  if (s->dlg13_conut == 0) s->dlg13_conut = 1;
  if (s->dlg13_byteratio == 0) s->dlg13_byteratio = 1;
}

void settings_save(const Settings* s, const ProfileIo* io) {
  for (const SettingKey& k : kSettingKeyTable) {
    if (k.read_only) continue;
    const void* f = settings_field(s, &k);
    char text[16];
    switch (k.form) {
      case kFormText: io->put_text(io->ctx, k.name, static_cast<const char16_t*>(f)); continue;
      case kFormHexByte: std::snprintf(text, sizeof text, "%02x", *static_cast<const uint8_t*>(f)); break;
      case kFormByte: std::snprintf(text, sizeof text, "%u", *static_cast<const uint8_t*>(f)); break;
      case kFormWord: std::snprintf(text, sizeof text, "%u", *static_cast<const uint16_t*>(f)); break;
      default: std::snprintf(text, sizeof text, "%d", *static_cast<const int32_t*>(f)); break;
    }
    char16_t value[16];
    text16_from_ascii(value, 16, text);
    io->put_text(io->ctx, k.name, value);
  }
}
