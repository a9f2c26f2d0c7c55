#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codec/checksum.h"
#include "codec/convert.h"
#include "codec/frame.h"

namespace {

std::string shown(uint8_t b) {
  char16_t out[3];
  int n = byte_display_text(b, out);
  EXPECT_EQ(out[n], 0);
  std::string s;
  for (int i = 0; i < n; i++) s += out[i] < 0x80 ? static_cast<char>(out[i]) : '?';
  if (n == 1 && out[0] >= 0x80) return "U+" + std::to_string(out[0]);
  return s;
}

TEST(ByteDisplay, CharactersAndMnemonics) {
  EXPECT_EQ(shown(0x41), "A");
  EXPECT_EQ(shown(0x0D), "CR");
  EXPECT_EQ(shown(0x0A), "LF");
  EXPECT_EQ(shown(0x00), "NL");
  EXPECT_EQ(shown(0x1B), "EC");
  EXPECT_EQ(shown(0x1F), "US");
  EXPECT_EQ(shown(0x20), "SP");
  EXPECT_EQ(shown(0x21), "!");
  EXPECT_EQ(shown(0x7E), "~");
  EXPECT_EQ(shown(0x7F), "DL");
  EXPECT_EQ(shown(0x80), "U+128");
  EXPECT_EQ(shown(0xB1), "U+177");
  EXPECT_EQ(shown(0xFF), "U+255");
  int two = 0;
  for (int b = 0; b < 256; b++) {
    char16_t out[3];
    two += byte_display_text(static_cast<uint8_t>(b), out) == 2;
  }
  EXPECT_EQ(two, 34);  // 0x00-0x20 and 0x7F
  char16_t hex[3];
  byte_hex_text(0x0A, hex);
  EXPECT_EQ(std::u16string(hex), u"0A");
  byte_hex_text(0xB1, hex);
  EXPECT_EQ(std::u16string(hex), u"B1");
}

// Two real code pages as the Win32 codec converts them (no best fit: what
// the code page lacks becomes '?'). Windows-1252 in full; of code page 932
// only ASCII and a few characters, enough for double-byte results.
int encode_1252(void*, const char16_t* units, int count, uint8_t* out, int cap) {
  static const char16_t k80[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                                   0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                                   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};
  if (count > cap) return 0;
  for (int i = 0; i < count; i++) {
    char16_t u = units[i];
    int b = (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) ? u : '?';
    for (int k = 0; k < 32; k++)
      if (k80[k] == u) b = 0x80 + k;
    out[i] = static_cast<uint8_t>(b);
  }
  return count;
}

int encode_932(void*, const char16_t* units, int count, uint8_t* out, int cap) {
  struct Pair {
    char16_t u;
    uint8_t b[2];
  };
  static const Pair kTable[] = {{0x3042, {0x82, 0xA0}}, {0x30A2, {0x83, 0x41}}, {0xFF11, {0x82, 0x50}},
                                {0xFF71, {0xB1, 0}}};
  int n = 0;
  for (int i = 0; i < count; i++) {
    uint8_t b[2] = {'?', 0};
    int len = 1;
    if (units[i] < 0x80) b[0] = static_cast<uint8_t>(units[i]);
    for (const Pair& p : kTable)
      if (p.u == units[i]) b[0] = p.b[0], b[1] = p.b[1], len = p.b[1] ? 2 : 1;
    if (n + len > cap) return 0;
    for (int k = 0; k < len; k++) out[n++] = b[k];
  }
  return n;
}

const AnsiCodec kCp1252 = {nullptr, encode_1252};
const AnsiCodec kCp932 = {nullptr, encode_932};

std::string hex_of(const uint8_t* b, int n) {
  std::string s;
  char two[4];
  for (int i = 0; i < n; i++) {
    std::snprintf(two, sizeof two, i ? " %02X" : "%02X", b[i]);
    s += two;
  }
  return s;
}

std::vector<uint8_t> bytes_of(const std::string& s) { return {s.begin(), s.end()}; }

std::string checksum_of(const std::vector<uint8_t>& data, int kind, int form, int lower = 0) {
  uint8_t out[kChecksumResultMax + 1] = {};
  int n = checksum_compute(data.data(), static_cast<int32_t>(data.size()), kind, form, lower, out);
  EXPECT_EQ(n, checksum_length(kind, form));
  EXPECT_EQ(out[kChecksumResultMax], 0);
  return form == kChecksumAsc ? std::string(reinterpret_cast<char*>(out), n) : hex_of(out, n);
}

TEST(Checksum, WorkedExamplesAndEdgeCases) {
  struct Case {
    std::vector<uint8_t> data;
    int kind;
    const char* asc;
    const char* hex;
  } cases[] = {
      {bytes_of("abc"), kChecksumXor, "60", "60"},
      {bytes_of("abc"), kChecksumAdd, "26", "26"},
      {bytes_of("abc"), kChecksumCrc16, "4957", "49 57"},
      {bytes_of("abc"), kChecksumLrc, "55", "55"},  // the pair "ab"; the c is left out
      {bytes_of("123456789"), kChecksumCrc16, "374B", "37 4B"},
      {bytes_of("ABC"), kChecksumCrc16, "5085", "50 85"},
      {bytes_of("01030000000A"), kChecksumLrc, "F2", "F2"},
      {bytes_of("0103"), kChecksumLrc, "FC", "FC"},
      {bytes_of("010"), kChecksumLrc, "FF", "FF"},
      {{0x41}, kChecksumLrc, "00", "00"},
      {bytes_of("41"), kChecksumLrc, "BF", "BF"},
      {{}, kChecksumXor, "00", "00"},
      {{}, kChecksumAdd, "00", "00"},
      {{}, kChecksumCrc16, "FFFF", "FF FF"},
      {{}, kChecksumLrc, "00", "00"},
      {{0xFF, 0x02}, kChecksumAdd, "01", "01"},  // modulo 256
      // LRC pairs read like strtol: no check, blanks and signs accepted.
      {bytes_of("G11G"), kChecksumLrc, "FF", "FF"},
      {bytes_of(" 1-1"), kChecksumLrc, "00", "00"},
      {bytes_of("0x1F"), kChecksumLrc, "E1", "E1"},  // "0x" reads 0, never the digits behind it
      {{'1', 0, '2', '3'}, kChecksumLrc, "DC", "DC"},
      {bytes_of("abc"), 9, "60", "60"},  // unknown kind: XOR
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(hex_of(c.data.data(), static_cast<int>(c.data.size())) + " kind " + std::to_string(c.kind));
    EXPECT_EQ(checksum_of(c.data, c.kind, kChecksumAsc), c.asc);
    EXPECT_EQ(checksum_of(c.data, c.kind, kChecksumHex), c.hex);
  }
  EXPECT_EQ(checksum_of({0xAB}, kChecksumXor, kChecksumAsc, 1), "ab");
  EXPECT_EQ(checksum_of(bytes_of("123456789"), kChecksumCrc16, kChecksumAsc, 1), "374b");
  EXPECT_EQ(checksum_of({0xAB}, kChecksumXor, 5), "AB");  // any non-zero form is HEX
}

TEST(Checksum, NamesReadBack) {
  for (int kind = 0; kind < kChecksumKinds; kind++)
    EXPECT_EQ(checksum_kind_from_name(checksum_kind_name(kind)), kind);
  EXPECT_EQ(std::u16string(checksum_kind_name(-1)), u"XOR");
  for (const char16_t* other : {u"lrc", u"CRC16 ", u"CRC", u"", u"LRCX"})
    EXPECT_EQ(checksum_kind_from_name(other), kChecksumXor);
  EXPECT_EQ(checksum_kind_from_name(nullptr), kChecksumXor);
  EXPECT_EQ(std::u16string(checksum_form_name(0)) + checksum_form_name(1), u"ASCHEX");
}

TEST(Convert, HexValueReadsLikeStrtol) {
  struct Case {
    std::u16string text;
    int len;
    int32_t value;
  } cases[] = {
      {u"1A", 2, 0x1A},          {u"ff", 2, 0xFF},       {u"", 2, 0},
      {u"G1", 2, 0},             {u"1G", 2, 1},          {u" 1", 2, 1},
      {u"-1", 2, -1},            {u"+F", 2, 15},         {u"+-1", 3, 0},
      {u"\t\r 0x1f", 7, 0x1F},   {u"0x", 2, 0},          {u"0xG", 3, 0},
      {u"1234", 2, 0x12},        {u"7FFFFFFF", 8, INT32_MAX},
      {u"80000000", 8, INT32_MAX},                        {u"123456789", 9, INT32_MAX},
      {u"-80000000", 9, INT32_MIN},                       {u"-123456789", 10, INT32_MIN},
      {std::u16string(u"1\0" u"2", 3), 3, 1},             {u"\uFF11", 1, 0},  // a full-width digit is none
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text.begin(), c.text.end()));
    EXPECT_EQ(convert_hex_value(c.text.c_str(), c.len), c.value);
  }
}

TEST(Convert, CharactersToBytesGiveOneBytePerUnit) {
  struct Case {
    const AnsiCodec* codec;
    std::u16string units;
    const char* bytes;
  } cases[] = {
      {&kCp1252, u"AB\u00E9\u0080\u00FF", "41 42 E9 80 FF"},  // below 0x100: no code page
      {&kCp1252, u"\u20AC\u0160\u2122", "80 8A 99"},
      {&kCp1252, u"\u0100\u3042x", "3F 3F 78"},  // no best fit: A-macron does not become A
      {&kCp932, u"\uFF71\u3042\u30A2A", "B1 3F 3F 41"},  // two-byte characters do not fit a unit
  };
  for (const Case& c : cases) {
    uint8_t out[8];
    int n = static_cast<int>(c.units.size());
    ASSERT_EQ(convert_chars_to_bytes(c.codec, c.units.data(), n, out, sizeof out), n);
    EXPECT_EQ(hex_of(out, n), c.bytes);
  }
  uint8_t small[2] = {0xEE, 0xEE};
  EXPECT_EQ(convert_chars_to_bytes(&kCp1252, u"ABC", 3, small, 2), -1);
  EXPECT_EQ(hex_of(small, 2), "EE EE");
  EXPECT_EQ(convert_chars_to_bytes(&kCp1252, u"ABC", -3, small, 2), 0);
}

TEST(Convert, HexPairsToBytes) {
  struct Case {
    const AnsiCodec* codec;
    std::u16string text;
    const char* bytes;
  } cases[] = {
      {&kCp1252, u"3141", "31 41"},
      {&kCp1252, u"0D0A", "0D 0A"},
      {&kCp1252, u"0d0a", "0D 0A"},
      {&kCp1252, u"123", "12"},
      {&kCp1252, u"31414", "31 41"},
      {&kCp1252, u"0D00", "0D 00"},
      {&kCp1252, u"G1-1 5", "00 FF 05"},
      {&kCp1252, u"\uFF11\uFF11", "00"},  // full-width digits are not digits
      // Pairs are read in the code page's bytes: a double-byte character
      // moves the pairs behind it.
      {&kCp932, u"\u30A21A1", "00 1A"},
      {&kCp1252, u"0102030405060708090A0B0C0D0E0F1011", "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    uint8_t out[kHeaderBytes + 1] = {};
    int n = convert_hex_pairs(c.codec, c.text.data(), static_cast<int>(c.text.size()), out);
    EXPECT_EQ(hex_of(out, n), c.bytes);
    EXPECT_EQ(out[kHeaderBytes], 0);
  }
}

// Types `keys` into a field; '|' chooses "HEX" again, '~' chooses "ASC".
std::string typed(int hex, const std::u16string& keys, HexEntry* e = nullptr) {
  HexEntry local;
  if (!e) e = &local;
  hex_entry_set_mode(e, hex);
  char16_t units[kInputUnits];
  int32_t count = 0;
  for (char16_t k : keys) {
    if (k == u'|' || k == u'~') hex_entry_set_mode(e, k == u'|');
    else hex_entry_type(e, k, units, &count);
  }
  std::vector<uint8_t> b;
  for (int i = 0; i < count; i++) b.push_back(static_cast<uint8_t>(units[i] > 0xFF ? '?' : units[i]));
  return hex_of(b.data(), count);
}

TEST(HexEntry, PairsAndModes) {
  struct Case {
    int hex;
    std::u16string keys;
    const char* units;
  } cases[] = {
      {1, u"41", "41"},   {1, u"0241", "02 41"}, {1, u"G1", "00"}, {1, u"1G", "01"},
      {1, u" 1", "01"},   {1, u"-1", "FF"},      {1, u"fF", "FF"}, {1, u"4|12", "12"},
      {1, u"413", "41"},  {0, u"AB", "41 42"},   {0, u"A|41~B", "41 41 42"},
      {1, u"4~B", "42"},  // choosing "ASC" drops the pending digit too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.keys.begin(), c.keys.end()));
    EXPECT_EQ(typed(c.hex, c.keys), c.units);
  }
  HexEntry e;
  typed(1, u"024", &e);  // the field paints the pending 4 alone
  EXPECT_EQ(e.state, kEntryHexSecond);
  EXPECT_EQ(e.pending, u'4');
}

TEST(HexEntry, AFullRowTakesNothing) {
  char16_t units[kInputUnits + 1];
  units[kInputUnits] = 0xBEEF;
  int32_t count = 0;
  HexEntry e;
  hex_entry_set_mode(&e, 0);
  for (int i = 0; i < kInputUnits; i++) ASSERT_EQ(hex_entry_type(&e, u'x', units, &count), 1);
  EXPECT_EQ(hex_entry_type(&e, u'y', units, &count), 0);
  hex_entry_set_mode(&e, 1);
  EXPECT_EQ(hex_entry_type(&e, u'4', units, &count) + hex_entry_type(&e, u'1', units, &count), 0);
  EXPECT_EQ(e.state, kEntryHexFirst);  // the pair is used up, though dropped
  EXPECT_EQ(count, kInputUnits);
  EXPECT_EQ(units[kInputUnits], 0xBEEF);
  count = -1;
  EXPECT_EQ(hex_entry_type(&e, u'4', units, &count) + hex_entry_type(&e, u'1', units, &count), 0);
}

TEST(CellTexts, DisplayAndHexRows) {
  struct Case {
    const AnsiCodec* codec;
    std::u16string units;
    std::u16string display;
    std::u16string hex;
  } cases[] = {
      {&kCp1252, u"\u0002A", u"SXA", u"0241"},
      {&kCp1252, u"\u001A\u007F \u00E9", u"SBDLSP\u00E9", u"1A7F20E9"},
      {&kCp1252, u"\u00AB", u"\u00AB", u"AB"},  // upper case whatever the option
      {&kCp1252, u"\u20AC\u0100", u"\u20AC\u0100", u"803F"},  // the byte that is sent
      {&kCp932, u"\u3042\uFF71", u"\u3042\uFF71", u"3FB1"},
      {&kCp1252, u"", u"", u""},
  };
  for (const Case& c : cases) {
    CellTexts t;
    cell_texts(c.codec, c.units.data(), static_cast<int>(c.units.size()), &t);
    EXPECT_EQ(std::u16string(t.display), c.display);
    EXPECT_EQ(t.display_len, static_cast<int32_t>(c.display.size()));
    EXPECT_EQ(std::u16string(t.hex), c.hex);
    EXPECT_EQ(t.hex_len, static_cast<int32_t>(c.hex.size()));
  }
  std::u16string controls(300, u'\u0001');  // two characters each, 256 taken
  CellTexts t;
  cell_texts(&kCp1252, controls.data(), 300, &t);
  EXPECT_EQ(t.display_len, 2 * kInputUnits);
  EXPECT_EQ(t.hex_len, 2 * kInputUnits);
  EXPECT_EQ(t.display[2 * kInputUnits], 0);
}

// Send format settings with every element off and the given changes.
Settings format(void (*change)(Settings*) = nullptr) {
  Settings s;
  std::memset(&s, 0, sizeof s);
  settings_defaults(&s);
  if (change) change(&s);
  return s;
}

std::string frame_of(const Settings& s, const std::u16string& input, int frame = 1) {
  uint8_t out[kSendMax];
  int32_t n = -1;
  EXPECT_EQ(frame_assemble(&s, &kCp1252, input.data(), static_cast<int32_t>(input.size()), frame, out, &n), kFrameOk);
  EXPECT_EQ(n, frame_length(&s, static_cast<int32_t>(input.size()), frame));
  return hex_of(out, n);
}

TEST(Frame, WorkedExamplesAndEdgeCases) {
  struct Case {
    const char* what;
    void (*change)(Settings*);
    std::u16string input;
    const char* frame;
  } cases[] = {
      {"all off", nullptr, u"ABC", "41 42 43"},
      {"STX ABC ETX XOR/ASC over input and end, CR LF",
       [](Settings* s) {
         s->rs_stchar_on = s->rs_spchar_on = s->rs_scchar_on = s->rs_spcheck_on = 1;
         s->rs_endchar_on = kTermCrLf;
       },
       u"ABC", "02 41 42 43 03 34 33 0D 0A"},
      {"Modbus ASCII",
       [](Settings* s) {
         s->rs_stchar_on = s->rs_scchar_on = 1;
         s->rs_stchar = ':';
         s->rs_scchar_mode = kChecksumLrc;
         s->rs_endchar_on = kTermCrLf;
       },
       u"01030000000A", "3A 30 31 30 33 30 30 30 30 30 30 30 41 46 32 0D 0A"},
      {"Modbus ASCII with the colon in range: pairs shifted",
       [](Settings* s) {
         s->rs_stchar_on = s->rs_scchar_on = s->rs_stcheck_on = 1;
         s->rs_stchar = ':';
         s->rs_scchar_mode = kChecksumLrc;
       },
       u"01030000000A", "3A 30 31 30 33 30 30 30 30 30 30 30 41 43 30"},
      {"header", [](Settings* s) { s->rs_hdchar_on = 1, std::memcpy(s->rs_hdchar, u"3141", 10); }, u"A", "31 41 41"},
      {"odd header", [](Settings* s) { s->rs_hdchar_on = 1, std::memcpy(s->rs_hdchar, u"31414", 12); }, u"",
       "31 41"},
      {"header off", [](Settings* s) { std::memcpy(s->rs_hdchar, u"3141", 10); }, u"A", "41"},
      {"header 0D00 in range, XOR/HEX",
       [](Settings* s) {
         s->rs_hdchar_on = s->rs_hdcheck_on = s->rs_scchar_on = 1;
         s->rs_scchar_type = kChecksumHex;
         std::memcpy(s->rs_hdchar, u"0D00", 10);
       },
       u"ABC", "0D 00 41 42 43 4D"},
      {"CRC16/ASC low byte first", [](Settings* s) { s->rs_scchar_on = 1, s->rs_scchar_mode = kChecksumCrc16; },
       u"ABC", "41 42 43 35 30 38 35"},
      {"CRC16/HEX",
       [](Settings* s) { s->rs_scchar_on = 1, s->rs_scchar_mode = kChecksumCrc16, s->rs_scchar_type = 1; },
       u"ABC", "41 42 43 50 85"},
      {"range skips the header between start and input",
       [](Settings* s) {
         s->rs_stchar_on = s->rs_stcheck_on = s->rs_hdchar_on = s->rs_scchar_on = 1;
         s->rs_scchar_type = kChecksumHex;
         std::memcpy(s->rs_hdchar, u"FF", 6);
       },
       u"A", "02 FF 41 43"},
      {"elements switched off stay out of the range",
       [](Settings* s) {
         s->rs_stcheck_on = s->rs_spcheck_on = s->rs_scchar_on = 1;
         s->rs_scchar_mode = kChecksumAdd;
       },
       u"A", "41 34 31"},
      {"lower-case checksum", [](Settings* s) { s->rs_scchar_on = 1, s->hexasc_komoji = 1; }, u"\u00AB",
       "AB 61 62"},
      {"terminator byte", [](Settings* s) { s->rs_endchar_on = kTermByte, s->rs_endchar = 0x0D; }, u"A", "41 0D"},
      {"terminator off (byte)", [](Settings* s) { s->rs_endchar_on = kTermOffByte; }, u"A", "41"},
      {"terminator off (CR LF)", [](Settings* s) { s->rs_endchar_on = kTermOffCrLf; }, u"A", "41"},
      {"input through the code page", nullptr, u"\u20ACx\u0100", "80 78 3F"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Settings s = format(c.change);
    EXPECT_EQ(frame_of(s, c.input), c.frame);
  }
  // Without the frame flag the format is ignored.
  Settings all = format([](Settings* s) {
    s->rs_stchar_on = s->rs_hdchar_on = s->rs_spchar_on = s->rs_scchar_on = 1;
    s->rs_endchar_on = kTermCrLf;
  });
  EXPECT_EQ(frame_of(all, u"ABC", 0), "41 42 43");
}

TEST(Frame, LongerThanOneSendIsRefused) {
  std::u16string full(kInputUnits, u'A');
  Settings framed = format([](Settings* s) { s->rs_stchar_on = s->rs_spchar_on = 1; });
  EXPECT_EQ(frame_of(framed, full).size(), 3u * kSendMax - 1);  // exactly 258 bytes

  struct Case {
    void (*change)(Settings*);
    int units, frame;
    int32_t length;
  } cases[] = {
      {[](Settings* s) { s->rs_stchar_on = s->rs_spchar_on = s->rs_scchar_on = 1; }, 256, 1, 260},
      {[](Settings* s) { s->rs_hdchar_on = 1, std::memcpy(s->rs_hdchar, u"01020304", 18); }, 256, 1, 260},
      {[](Settings* s) { s->rs_scchar_on = 1, s->rs_scchar_mode = 2, s->rs_endchar_on = kTermCrLf; }, 255, 1, 261},
      {nullptr, 259, 0, 259},
  };
  for (const Case& c : cases) {
    Settings s = format(c.change);
    std::u16string input(c.units, u'A');
    uint8_t out[kSendMax];
    std::memset(out, 0xEE, sizeof out);
    int32_t n = 0;
    EXPECT_EQ(frame_assemble(&s, &kCp1252, input.data(), c.units, c.frame, out, &n), kFrameTooLong);
    EXPECT_EQ(n, c.length);
    EXPECT_EQ(out[0], 0xEE);  // refused whole, not cut short
  }
}

TEST(SendFormatDialog, ShowsTheSettings) {
  Settings s = format();
  SendFormatForm f;
  send_format_form_fill(&s, &f);
  EXPECT_EQ(std::u16string(f.start) + u"," + f.end + u"," + f.terminator + u"," + f.kind + u"," + f.header,
            u"02,03,03,XOR,");
  EXPECT_EQ(s.rs_inchar_on + s.rs_incheck_on, 2);
  EXPECT_EQ(f.start_on + f.header_on + f.end_on + f.checksum_on + f.terminator_on + f.hex_form, 0);

  s.hexasc_komoji = 1;
  s.rs_spchar = 0xAB;
  s.rs_endchar_on = kTermCrLf;
  s.rs_scchar_mode = kChecksumCrc16;
  std::memcpy(s.rs_hdchar, u"31415", 12);
  send_format_form_fill(&s, &f);
  EXPECT_EQ(std::u16string(f.start) + u"," + f.end + u"," + f.terminator + u"," + f.kind + u"," + f.header,
            u"02,ab,0d0a,CRC16,31415");
  EXPECT_EQ(f.terminator_on, 1);
  s.rs_endchar_on = kTermOffCrLf;
  send_format_form_fill(&s, &f);
  EXPECT_EQ(f.terminator_on, 0);
  EXPECT_EQ(std::u16string(f.terminator), u"0d0a");
}

// Puts a text into a dialog field, as the control would hand it over.
template <size_t N>
void set_field(char16_t (&field)[N], const std::u16string& text) {
  std::memset(field, 0, sizeof field);
  std::memcpy(field, text.data(), 2 * std::min(text.size(), N));
}

TEST(SendFormatDialog, ReadsBackTheTexts) {
  struct Case {
    std::u16string terminator;
    int on;
    int32_t mode;
    uint8_t byte;
  } terminators[] = {
      {u"0D0A", 1, kTermCrLf, 0x33},    {u"0d0a", 1, kTermCrLf, 0x33},   {u"0D0A", 0, kTermOffCrLf, 0x33},
      {u"0d0A", 1, kTermByte, 0x33},    {u"0D", 1, kTermByte, 0x0D},     {u"0D", 0, kTermOffByte, 0x0D},
      {u"0D0AFF", 1, kTermCrLf, 0x33},  {u"", 1, kTermByte, 0x33},       {u"ABC", 1, kTermByte, 0x33},
      {u"G1", 1, kTermByte, 0x00},      {u"-1", 1, kTermByte, 0xFF},
  };
  for (const Case& c : terminators) {
    SCOPED_TRACE(std::string(c.terminator.begin(), c.terminator.end()));
    Settings s = format([](Settings* t) { t->rs_endchar = 0x33, t->rs_endchar_on = kTermCrLf; });
    SendFormatForm f;
    send_format_form_fill(&s, &f);
    set_field(f.terminator, c.terminator);
    f.terminator_on = c.on;
    send_format_form_apply(&f, &s);
    EXPECT_EQ(s.rs_endchar_on, c.mode);
    EXPECT_EQ(s.rs_endchar, c.byte);
  }

  struct Field {
    std::u16string text;
    uint8_t byte;
  } fields[] = {{u"41", 0x41}, {u"fe", 0xFE},        {u"  -1", 0xFF},       {u"1FF", 0xFF},
                {u"zz", 0x00}, {u"0x7e", 0x7E},      {u"123456789", 0xFF},  {std::u16string(70, u'7'), 0xFF}};
  for (const Field& c : fields) {
    Settings s = format();
    SendFormatForm f;
    send_format_form_fill(&s, &f);
    set_field(f.start, c.text);
    set_field(f.end, c.text);
    send_format_form_apply(&f, &s);
    EXPECT_EQ(s.rs_stchar, c.byte);
    EXPECT_EQ(s.rs_spchar, c.byte);
  }

  Settings s = format();
  SendFormatForm f;
  send_format_form_fill(&s, &f);
  set_field(f.kind, u"LRC");
  set_field(f.header, u"0D0A0D0A0D0A0D0A0D0A0D0A0D0A0D0");  // 31 units, no end: one too many
  f.header_on = f.checksum_on = f.hex_form = f.start_in_range = 1;
  send_format_form_apply(&f, &s);
  EXPECT_EQ(s.rs_scchar_mode, kChecksumLrc);
  EXPECT_EQ(std::u16string(s.rs_hdchar), u"0D0A0D0A0D0A0D0A0D0A0D0A0D0A0D");
  EXPECT_EQ(s.rs_hdchar_on + s.rs_scchar_on + s.rs_scchar_type + s.rs_stcheck_on, 4);
  EXPECT_EQ(s.rs_stchar_on + s.rs_spchar_on + s.rs_hdcheck_on + s.rs_spcheck_on, 0);
}

TEST(SendFormatDialog, OpeningAndClosingKeepsTheSettings) {
  void (*changes[])(Settings*) = {
      nullptr,
      [](Settings* s) {
        s->rs_stchar_on = s->rs_hdchar_on = s->rs_spchar_on = s->rs_scchar_on = s->rs_stcheck_on = 1;
        s->rs_hdcheck_on = s->rs_spcheck_on = 1;
        s->rs_stchar = 0xFE, s->rs_spchar = 0x00, s->rs_endchar = 0x0D, s->rs_endchar_on = kTermByte;
        s->rs_scchar_mode = kChecksumLrc, s->rs_scchar_type = kChecksumHex, s->hexasc_komoji = 1;
        std::memcpy(s->rs_hdchar, u"a1b2", 10);
      },
      [](Settings* s) { s->rs_endchar_on = kTermOffCrLf, s->rs_endchar = 0x7A, s->rs_scchar_mode = kChecksumCrc16; },
      [](Settings* s) { s->rs_endchar_on = kTermCrLf, s->rs_scchar_mode = kChecksumAdd; },
  };
  for (auto change : changes) {
    Settings before = format(change);
    before.rs_inchar_on = before.rs_incheck_on = 1;
    Settings after = before;
    SendFormatForm f;
    send_format_form_fill(&after, &f);
    send_format_form_apply(&f, &after);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  }
}

}  // namespace
