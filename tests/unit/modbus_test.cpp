// The Modbus frame builder's rules: field rule, reading the field texts,
// the data entry switch, frame assembly in the three modes with the TCP
// transaction counter, the preview offset.
#include "modbus/modbus.h"

#include <gtest/gtest.h>

#include "app/text16.h"

#include <string>
#include <vector>

namespace {

// A code page like 1252 for the euro sign (one byte, 0x80); a double-byte
// character like a Japanese one comes out as two bytes; others fail.
int fake_encode(void*, const char16_t* units, int count, uint8_t* out, int cap) {
  int n = 0;
  for (int i = 0; i < count; i++) {
    if (units[i] == u'€') {
      if (n + 1 > cap) return 0;
      out[n++] = 0x80;
    } else if (units[i] == u'あ') {
      if (n + 2 > cap) return 0;
      out[n++] = 0x82;
      out[n++] = 0xA0;
    } else if (units[i] < 0x80) {
      if (n + 1 > cap) return 0;
      out[n++] = static_cast<uint8_t>(units[i]);
    } else {
      return 0;
    }
  }
  return n;
}
const AnsiCodec kCodec = {nullptr, fake_encode};

struct Builder {
  Settings s;
  ModbusState st = {};
  uint16_t store[kModbusStoreUnits] = {};

  Builder() { settings_defaults(&s); }
  void data(const std::u16string& units, int hex_entry) {
    for (uint16_t& u : store) u = 0;
    for (size_t i = 0; i < units.size(); i++) store[i] = units[i];
    st.data_count = static_cast<int32_t>(units.size());
    st.hex_entry = hex_entry;
  }
  int assemble(int32_t* size = nullptr) {
    int32_t ignored = 0;
    return modbus_assemble(&s, &st, store, &kCodec, size ? size : &ignored);
  }
  std::vector<int> frame() const { return std::vector<int>(st.frame, st.frame + st.frame_length); }
};

// A literal with its zero units kept.
template <size_t N>
std::u16string lit(const char16_t (&s)[N]) {
  return std::u16string(s, N - 1);
}

std::vector<int> bytes(std::initializer_list<int> b) { return std::vector<int>(b); }
std::vector<int> chars(const std::string& s) { return std::vector<int>(s.begin(), s.end()); }

struct FrameCase {
  const char* name;
  int mode;
  const char16_t* slave;
  int function;
  int address, count, ratio;
  std::u16string data;
  int hex_entry;
  std::vector<int> want;
};

class FrameAssembly : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameAssembly, BuildsTheFrame) {
  const FrameCase& c = GetParam();
  Builder b;
  b.st.mode = c.mode;
  b.s.dlg13_slave_char[0] = c.slave[0];
  b.s.dlg13_slave_char[1] = c.slave[1];
  b.s.dlg13_fanction = static_cast<uint8_t>(c.function);
  b.s.dlg13_address = static_cast<uint16_t>(c.address);
  b.s.dlg13_conut = static_cast<uint16_t>(c.count);
  b.s.dlg13_byteratio = static_cast<uint16_t>(c.ratio);
  b.data(c.data, c.hex_entry);
  ASSERT_EQ(b.assemble(), kModbusAssembled);
  EXPECT_EQ(b.frame(), c.want);
}

const std::u16string kHexData = lit(u"\x00\x0A\x01\x02");

INSTANTIATE_TEST_SUITE_P(
    Modbus, FrameAssembly,
    ::testing::Values(
        FrameCase{"AsciiDefaults", kModbusAscii, u"01", 3, 1, 1, 1, u"", 0, chars(":010300010001FA\r\n")},
        FrameCase{"RtuReadTenRegisters", kModbusRtu, u"01", 3, 0, 10, 1, u"", 0,
                  bytes({0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD})},
        FrameCase{"RtuWriteMultipleRegisters", kModbusRtu, u"01", 0x10, 1, 2, 2, kHexData, 1,
                  bytes({0x01, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02, 0x92, 0x30})},
        FrameCase{"RtuWriteCoilsWithoutDataSendsZeros", kModbusRtu, u"01", 0x0F, 1, 10, 1, u"", 0,
                  bytes({0x01, 0x0F, 0x00, 0x01, 0x00, 0x0A, 0x02, 0x00, 0x00, 0xE4, 0xE9})},
        // ASCII frames carry two hex characters per byte the count announces.
        FrameCase{"AsciiWriteRegistersHexEntry", kModbusAscii, u"01", 0x10, 1, 2, 2, kHexData, 1,
                  chars(":01100001000204000A0102DB\r\n")},
        FrameCase{"AsciiWriteRegistersTypedHexPaddedWithZeros", kModbusAscii, u"01", 0x10, 1, 2, 2, u"000A01", 0,
                  chars(":01100001000204000A0100DD\r\n")},
        FrameCase{"AsciiWriteRegistersTypedTextCutToByteCount", kModbusAscii, u"01", 0x10, 1, 2, 2,
                  u"000A0102FFFF", 0, chars(":01100001000204000A0102DB\r\n")},
        FrameCase{"AsciiWriteSingleRegisterTypedHex", kModbusAscii, u"01", 0x06, 1, 1, 1, u"000A", 0,
                  chars(":01060001000AEE\r\n")},
        FrameCase{"AsciiWriteSingleRegisterHexEntry", kModbusAscii, u"01", 0x06, 1, 1, 1, lit(u"\x00\x0A"), 1,
                  chars(":01060001000AEE\r\n")},
        FrameCase{"RtuWriteSingleRegisterTypedHex", kModbusRtu, u"01", 0x06, 1, 1, 1, u"000A\r", 0,
                  bytes({0x01, 0x06, 0x00, 0x01, 0x00, 0x0A, 0x58, 0x0D})},
        FrameCase{"RtuWriteSingleRegisterHexEntry", kModbusRtu, u"01", 0x06, 1, 1, 1, lit(u"\x00\x0A"), 1,
                  bytes({0x01, 0x06, 0x00, 0x01, 0x00, 0x0A, 0x58, 0x0D})},
        FrameCase{"RtuDiagnosticsOddDigitDropped", kModbusRtu, u"01", 0x08, 0, 1, 1, u"12345", 0,
                  bytes({0x01, 0x08, 0x00, 0x00, 0x12, 0x34, 0xED, 0x7C})},
        FrameCase{"AsciiCommEventCounterHasNoAddress", kModbusAscii, u"01", 0x0B, 9, 9, 1, u"FF", 0,
                  chars(":010BF4\r\n")},
        FrameCase{"RtuReportSlaveId", kModbusRtu, u"01", 0x11, 9, 9, 1, u"", 0, bytes({0x01, 0x11, 0xC0, 0x2C})},
        FrameCase{"RtuOtherCodeTakesTheAddressOnly", kModbusRtu, u"01", 0x07, 1, 5, 1, u"12", 0,
                  bytes({0x01, 0x07, 0x00, 0x01, 0x71, 0xD9})},
        // Units from 0x100 up go out as the code page's byte, or "?" when that
        // is not one byte; the CRC covers what goes out.
        FrameCase{"RtuEuroSignAsItsByte", kModbusRtu, u"01", 0x10, 1, 1, 2, u"€", 0,
                  bytes({0x01, 0x10, 0x00, 0x01, 0x00, 0x01, 0x02, 0x80, 0x00, 0xC6, 0x41})},
        FrameCase{"RtuDoubleByteCharacterAsQuestionMark", kModbusRtu, u"01", 0x10, 1, 1, 2, u"Aあ", 0,
                  bytes({0x01, 0x10, 0x00, 0x01, 0x00, 0x01, 0x02, 0x41, 0x3F, 0xD7, 0xC1})},
        // TCP: transaction 1 (a fresh counter), protocol 0, the length of
        // unit and PDU, the unit where the slave goes, the PDU, no check.
        FrameCase{"TcpReadTenRegisters", kModbusTcp, u"01", 3, 0, 10, 1, u"", 0,
                  bytes({0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x0A})},
        FrameCase{"TcpWriteMultipleRegisters", kModbusTcp, u"11", 0x10, 1, 2, 2, kHexData, 1,
                  bytes({0x00, 0x01, 0x00, 0x00, 0x00, 0x0B, 0x11, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A,
                         0x01, 0x02})},
        FrameCase{"TcpWriteSingleRegisterTypedHex", kModbusTcp, u"FF", 0x06, 1, 1, 1, u"000A\r", 0,
                  bytes({0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0xFF, 0x06, 0x00, 0x01, 0x00, 0x0A})},
        FrameCase{"TcpReportServerIdUnitZero", kModbusTcp, u"00", 0x11, 9, 9, 1, u"", 0,
                  bytes({0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x11})}),
    [](const ::testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.name); });

TEST(Modbus, AsciiLrcFollowsTheLowerCaseOptionAndTheRestStaysUpperCase) {
  Builder b;
  b.s.hexasc_komoji = 1;
  b.s.dlg13_address = 0xABC;
  ASSERT_EQ(b.assemble(), kModbusAssembled);
  // 01 03 0A BC 00 01: sum 0xCB, LRC 0x35; an address of letters shows the case.
  EXPECT_EQ(b.frame(), chars(":01030ABC000135\r\n"));
  b.s.dlg13_address = 1;
  ASSERT_EQ(b.assemble(), kModbusAssembled);
  EXPECT_EQ(b.frame(), chars(":010300010001fa\r\n"));
}

TEST(Modbus, StartAndEndCodesComeFromTheirTexts) {
  Builder b;
  text16_copy(b.s.dlg13_start_char, 3, u"40");
  text16_copy(b.s.dlg13_end_char, 5, u"0D");
  ASSERT_EQ(b.assemble(), kModbusAssembled);
  EXPECT_EQ(b.frame(), chars("@010300010001FA\r"));
  b.st.mode = kModbusRtu;  // RTU has neither
  ASSERT_EQ(b.assemble(), kModbusAssembled);
  EXPECT_EQ(b.frame().front(), 0x01);
  EXPECT_EQ(b.frame().size(), 8u);
}

TEST(Modbus, ByteCountAbove255IsRefusedAndTheFrameKept) {
  Builder b;
  ASSERT_EQ(b.assemble(), kModbusAssembled);
  const std::vector<int> before = b.frame();
  struct { int function, count, ratio, want; } cases[] = {
      {0x10, 128, 2, 256}, {0x10, 0xFFFF, 8, 0xFFFF * 8}, {0x0F, 2041, 1, 256}, {0x0F, 0xFFFF, 1, 8192}};
  for (const auto& c : cases) {
    b.s.dlg13_fanction = static_cast<uint8_t>(c.function);
    b.s.dlg13_conut = static_cast<uint16_t>(c.count);
    b.s.dlg13_byteratio = static_cast<uint16_t>(c.ratio);
    int32_t size = 0;
    EXPECT_EQ(b.assemble(&size), kModbusByteCountTooLarge) << c.function << " " << c.count;
    EXPECT_EQ(size, c.want);
    EXPECT_EQ(b.frame(), before);
  }
}

TEST(Modbus, FramesBeyond256UnitsAreRefusedAndTheFrameKept) {
  struct { const char* name; int mode, function, count, ratio, data_units, want; } cases[] = {
      // ASCII 0x06 with a full store: 1 + 2 + 2 + 4 + 244 + 2 + 2.
      {"ascii single 244", kModbusAscii, 0x06, 1, 1, 244, 257},
      {"ascii single 243", kModbusAscii, 0x06, 1, 1, 243, 256},
      // RTU 0x10: 7 + n + 2.
      {"rtu block 247", kModbusRtu, 0x10, 247, 1, 0, 256},
      {"rtu block 248", kModbusRtu, 0x10, 248, 1, 0, 257},
      // ASCII 0x10: 15 + 2n + 4.
      {"ascii block 118", kModbusAscii, 0x10, 118, 1, 0, 255},
      {"ascii block 119", kModbusAscii, 0x10, 119, 1, 0, 257},
      {"ascii block 255", kModbusAscii, 0x10, 255, 1, 0, 529},
      // TCP 0x10: 6 + 7 + n.
      {"tcp block 243", kModbusTcp, 0x10, 243, 1, 0, 256},
      {"tcp block 244", kModbusTcp, 0x10, 244, 1, 0, 257},
  };
  for (const auto& c : cases) {
    Builder b;
    ASSERT_EQ(b.assemble(), kModbusAssembled);
    const std::vector<int> before = b.frame();
    b.st.mode = c.mode;
    b.s.dlg13_fanction = static_cast<uint8_t>(c.function);
    b.s.dlg13_conut = static_cast<uint16_t>(c.count);
    b.s.dlg13_byteratio = static_cast<uint16_t>(c.ratio);
    b.data(std::u16string(static_cast<size_t>(c.data_units), u'A'), 0);
    int32_t size = 0;
    int result = b.assemble(&size);
    EXPECT_EQ(size, c.want) << c.name;
    if (c.want <= kModbusFrameUnits) {
      EXPECT_EQ(result, kModbusAssembled) << c.name;
      EXPECT_EQ(b.st.frame_length, c.want) << c.name;
    } else {
      EXPECT_EQ(result, kModbusFrameTooLong) << c.name;
      EXPECT_EQ(b.frame(), before) << c.name;
    }
  }
}

// Each TCP frame assembled takes the next transaction id, 1 first, 0 after
// 0xFFFF; a refused assembly and the other modes take none.
TEST(Modbus, TcpTransactionIdCountsAssembledFramesAndWraps) {
  Builder b;
  b.st.mode = kModbusTcp;
  auto tid = [&] { return b.st.frame[0] << 8 | b.st.frame[1]; };
  struct Step {
    const char* what;
    int mode, count, result, want_tid, want_counter;
  } steps[] = {
      {"first", kModbusTcp, 1, kModbusAssembled, 0x0001, 0x0001},
      {"second", kModbusTcp, 1, kModbusAssembled, 0x0002, 0x0002},
      {"rtu takes no id", kModbusRtu, 1, kModbusAssembled, -1, 0x0002},
      {"ascii takes no id", kModbusAscii, 1, kModbusAssembled, -1, 0x0002},
      {"third", kModbusTcp, 1, kModbusAssembled, 0x0003, 0x0003},
  };
  for (const Step& s : steps) {
    b.st.mode = s.mode;
    b.s.dlg13_conut = static_cast<uint16_t>(s.count);
    ASSERT_EQ(b.assemble(), s.result) << s.what;
    if (s.want_tid >= 0) EXPECT_EQ(tid(), s.want_tid) << s.what;
    EXPECT_EQ(b.st.transaction, s.want_counter) << s.what;
  }
  // A refused frame keeps the counter and the frame.
  b.st.mode = kModbusTcp;
  b.s.dlg13_fanction = 0x10;
  b.s.dlg13_conut = 300;
  const std::vector<int> before = b.frame();
  EXPECT_EQ(b.assemble(), kModbusByteCountTooLarge);
  b.s.dlg13_conut = 244;
  EXPECT_EQ(b.assemble(), kModbusFrameTooLong);
  EXPECT_EQ(b.st.transaction, 3);
  EXPECT_EQ(b.frame(), before);
  // The wrap.
  b.s.dlg13_fanction = 3;
  b.s.dlg13_conut = 1;
  b.st.transaction = 0xFFFE;
  for (int want : {0xFFFF, 0x0000, 0x0001}) {
    ASSERT_EQ(b.assemble(), kModbusAssembled);
    EXPECT_EQ(tid(), want);
    EXPECT_EQ(b.st.transaction, want);
  }
  EXPECT_EQ(b.frame(), bytes({0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x01, 0x00, 0x01}));
  EXPECT_STREQ(modbus_mode_name(kModbusTcp), "TCP");
  EXPECT_STREQ(modbus_mode_name(kModbusAscii), "ASCII");
  EXPECT_STREQ(modbus_mode_name(kModbusRtu), "RTU");
}

TEST(Modbus, FieldRuleForEveryFunctionCode) {
  struct { int code, address, count, data, ratio, label; } cases[] = {
      {0x01, 1, 1, 0, 0, 154}, {0x04, 1, 1, 0, 0, 154}, {0x05, 1, 0, 1, 0, 154}, {0x06, 1, 0, 1, 0, 154},
      {0x08, 1, 0, 1, 0, 158}, {0x0B, 0, 0, 0, 0, 154}, {0x0C, 0, 0, 0, 0, 154}, {0x11, 0, 0, 0, 0, 154},
      {0x0F, 1, 1, 1, 0, 154}, {0x10, 1, 1, 1, 1, 154}, {0x07, 1, 1, 1, 0, 154}, {0x13, 1, 1, 1, 0, 154},
      {0x00, 1, 1, 1, 0, 154}, {0xFF, 1, 1, 1, 0, 154}};
  for (const auto& c : cases) {
    ModbusFieldRule r;
    modbus_field_rule(static_cast<uint8_t>(c.code), &r);
    EXPECT_EQ(r.address_on, c.address) << c.code;
    EXPECT_EQ(r.count_on, c.count) << c.code;
    EXPECT_EQ(r.data_on, c.data) << c.code;
    EXPECT_EQ(r.ratio_on, c.ratio) << c.code;
    EXPECT_EQ(r.address_label, c.label) << c.code;
  }
}

TEST(Modbus, ComboTexts) {
  struct { const char16_t* text; int function; } functions[] = {
      {u"03 Read Holding Registers", 3}, {u"10 複数レジスタ書込み", 0x10}, {u" 0F", 0x0F}, {u"1234", 0x34},
      {u"12345", 0x34}, {u"zz", 0}, {u"", 0}, {u"-1", 0xFF}};
  for (const auto& f : functions) EXPECT_EQ(modbus_function_from_text(f.text), f.function);
  struct { const char16_t* text; int ratio; } ratios[] = {
      {u"x1", 1}, {u"x2", 2}, {u"x8", 8}, {u"x0", 1}, {u"x", 1}, {u"", 1}, {u"x10", 16}, {u"xFFFF", 0xFFF}};
  for (const auto& r : ratios) EXPECT_EQ(modbus_ratio_from_text(r.text), r.ratio);
}

struct InputCase {
  const char16_t *slave, *address, *count;
  int errors;
  const char16_t* want_slave;
  int want_address, want_count;
};

TEST(Modbus, ReadInputsRefusesBadFieldsAndKeepsTheStoredValues) {
  const InputCase cases[] = {
      {u"0A", u"0100", u"0010", 0, u"0A", 100, 10},
      {u"001", u"5", u"5", kModbusBadSlave, u"01", 5, 5},
      {u"1", u"5", u"5", kModbusBadSlave, u"01", 5, 5},
      {u"", u"5", u"5", kModbusBadSlave, u"01", 5, 5},
      {u"01", u"-1", u"0", kModbusBadAddress | kModbusBadCount, u"01", 1, 1},
      {u"01", u"65536", u"65536", kModbusBadAddress | kModbusBadCount, u"01", 1, 1},
      {u"01", u"65535", u"65535", 0, u"01", 65535, 65535},
      {u"01", u"12abc", u"+7", 0, u"01", 12, 7},
      {u"01", u"", u"x", kModbusBadCount, u"01", 0, 1},
      {u"01", u" 99999999999999999", u"  3", kModbusBadAddress, u"01", 1, 3},
  };
  for (const auto& c : cases) {
    Builder b;
    ModbusTexts t = {c.slave, u"03", c.address, c.count, u"x1", u"", 0};
    EXPECT_EQ(modbus_read_inputs(&t, &b.s, &b.st, b.store), c.errors) << (&c - cases);
    EXPECT_EQ(std::u16string(b.s.dlg13_slave_char), c.want_slave);
    EXPECT_EQ(b.s.dlg13_address, c.want_address);
    EXPECT_EQ(b.s.dlg13_conut, c.want_count);
  }
}

TEST(Modbus, ReadInputsTakesFunctionRatioEntryAndData) {
  Builder b;
  b.data(u"stale data", 0);
  ModbusTexts t = {u"01", u"10 Write Multiple Registers", u"1", u"2", u"x2", u"000A0102\r", 1};
  EXPECT_EQ(modbus_read_inputs(&t, &b.s, &b.st, b.store), 0);
  EXPECT_EQ(b.s.dlg13_fanction, 0x10);
  EXPECT_EQ(b.s.dlg13_byteratio, 2);
  EXPECT_EQ(b.st.hex_entry, 1);
  ASSERT_EQ(b.st.data_count, 4);
  EXPECT_EQ(std::vector<int>(b.store, b.store + 6), bytes({0x00, 0x0A, 0x01, 0x02, 0, 0}));

  t.data = u"000A010";  // a last odd digit is dropped
  modbus_read_inputs(&t, &b.s, &b.st, b.store);
  EXPECT_EQ(b.st.data_count, 3);
  t.data = u"G1-1";  // pairs read as the hex entry reads them
  modbus_read_inputs(&t, &b.s, &b.st, b.store);
  EXPECT_EQ(std::vector<int>(b.store, b.store + 2), bytes({0x00, 0xFF}));

  t.hex_entry = 0;
  t.data = u"AB\n";
  modbus_read_inputs(&t, &b.s, &b.st, b.store);
  EXPECT_EQ(b.st.hex_entry, 0);
  EXPECT_EQ(b.st.data_count, 2);
  EXPECT_EQ(std::vector<int>(b.store, b.store + 3), bytes({'A', 'B', 0}));
}

TEST(Modbus, DataBeyondTheStoreIsCutAndSaidSo) {
  struct { int hex_entry; size_t chars; int cut, count; } cases[] = {
      {0, 244, 0, 244}, {0, 245, 1, 244}, {0, 1000, 1, 244},
      {1, 488, 0, 244}, {1, 489, 1, 244}, {1, 1000, 1, 244}};
  for (const auto& c : cases) {
    Builder b;
    std::u16string text(c.chars, u'4');
    ModbusTexts t = {u"01", u"03", u"1", u"1", u"x1", text.c_str(), c.hex_entry};
    EXPECT_EQ(modbus_read_inputs(&t, &b.s, &b.st, b.store), c.cut ? kModbusDataCut : 0) << c.chars;
    EXPECT_EQ(b.st.data_count, c.count);
    EXPECT_EQ(b.store[kModbusStoreUnits - 2], 0);  // the two spare units stay clear
  }
}

TEST(Modbus, EntrySwitchConvertsTheFieldBothWays) {
  Builder b;
  char16_t out[kModbusDataTextUnits];
  EXPECT_EQ(modbus_entry_to_hex(u"AB\x1A€\r", &kCodec, &b.st, b.store, out), 0);
  EXPECT_EQ(std::u16string(out), u"41421A80");
  EXPECT_EQ(b.st.hex_entry, 1);
  EXPECT_EQ(b.st.data_count, 4);
  EXPECT_EQ(b.store[3], u'€');  // the store keeps the character; the field shows its byte

  EXPECT_EQ(modbus_entry_to_asc(u"414243\n", &b.st, b.store, out), kModbusEntryOk);
  EXPECT_EQ(std::u16string(out), u"ABC");
  EXPECT_EQ(b.st.hex_entry, 0);
  EXPECT_EQ(b.st.data_count, 3);
  EXPECT_EQ(b.store[3], 0);

  // A byte 00 cannot stand in an edit field: ASC entry is refused, the
  // store and the entry mode are as they were.
  b.data(u"\x01\x02", 1);
  EXPECT_EQ(modbus_entry_to_asc(u"000A", &b.st, b.store, out), kModbusEntryHasNul);
  EXPECT_EQ(b.st.hex_entry, 1);
  EXPECT_EQ(b.st.data_count, 2);
  EXPECT_EQ(b.store[0], 1);

  EXPECT_EQ(modbus_entry_to_asc(u"4142434", &b.st, b.store, out), kModbusEntryOk);  // odd digit dropped
  EXPECT_EQ(std::u16string(out), u"ABC");
  std::u16string long_text(300, u'x');
  EXPECT_EQ(modbus_entry_to_hex(long_text.c_str(), &kCodec, &b.st, b.store, out), 1);
  EXPECT_EQ(b.st.data_count, 244);
  EXPECT_EQ(std::u16string(out).size(), 488u);
}

TEST(Modbus, DataTextShowsTheStoreInItsEntryMode) {
  Builder b;
  char16_t out[kModbusDataTextUnits];
  b.data(lit(u"\x00\x0A\xFF"), 1);
  modbus_data_text(&b.st, b.store, &kCodec, out);
  EXPECT_EQ(std::u16string(out), u"000AFF");
  b.data(u"Hi", 0);
  modbus_data_text(&b.st, b.store, &kCodec, out);
  EXPECT_EQ(std::u16string(out), u"Hi");
}

TEST(Modbus, PreviewOffsetFollowsTheFrameUnlessScrolled) {
  ModbusState st = {};
  struct { int length, offset; } follow[] = {{0, 0}, {17, 0}, {31, 0}, {32, 0}, {63, 0}, {64, 32}, {70, 32},
                                             {200, 160}, {256, 192}};
  for (const auto& f : follow) {
    st.frame_length = f.length;
    EXPECT_EQ(modbus_preview_offset(&st), f.offset) << f.length;
  }
  st.frame_length = 70;
  EXPECT_EQ(modbus_preview_offset(&st), 32);
  modbus_preview_scroll(&st, 0);
  EXPECT_EQ(modbus_preview_offset(&st), 0);   // "<" shows it from unit 0
  EXPECT_EQ(modbus_preview_offset(&st), 32);  // for one paint only
  for (int i = 0; i < 10; i++) modbus_preview_scroll(&st, 1);
  EXPECT_EQ(modbus_preview_offset(&st), 192);  // ">" stops at unit 192
  modbus_preview_scroll(&st, 0);
  EXPECT_EQ(st.preview_offset, 160);
  for (int i = 0; i < 10; i++) modbus_preview_scroll(&st, 0);
  EXPECT_EQ(st.preview_offset, 0);
}

TEST(Modbus, AssemblyAfterReadingTheDialogTexts) {
  // A write of two registers typed into the fields as a user would.
  Builder b;
  b.st.mode = kModbusRtu;
  ModbusTexts t = {u"01", u"10 Write Multiple Registers", u"0001", u"0002", u"x2", u"000A0102", 1};
  ASSERT_EQ(modbus_read_inputs(&t, &b.s, &b.st, b.store), 0);
  ASSERT_EQ(b.assemble(), kModbusAssembled);
  EXPECT_EQ(b.frame(), bytes({0x01, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02, 0x92, 0x30}));
}

}  // namespace
