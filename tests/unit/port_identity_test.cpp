// A port's hardware identity from instance paths as SetupAPI gives them,
// and the rule that finds a re-plugged adapter under another COM number.
#include "serial/port_identity.h"

#include <gtest/gtest.h>

#include <string>

namespace {

PortIdentity identity(const char16_t* instance, const char16_t* parent = nullptr) {
  PortIdentity id;
  port_identity_parse(instance, parent, &id);
  return id;
}

const char16_t* kHub = u"USB\\ROOT_HUB30\\4&1A2B3C4D&0&0";

struct ParseCase {
  const char16_t* instance;
  const char16_t* parent;
  int bus;
  uint16_t vid, pid;
  int32_t interface_number;
  const char16_t* serial;
  int32_t real;
};

TEST(PortIdentity, ParsesTheAdaptersPaths) {
  const ParseCase cases[] = {
      {u"USB\\VID_0403&PID_6001\\A6008ISP", kHub, kPortBusUsb, 0x0403, 0x6001, -1, u"A6008ISP", 1},
      // FTDI's own bus driver: serial and channel letter, one per channel.
      {u"FTDIBUS\\VID_0403+PID_6001+A6008ISPA\\0000", u"USB\\VID_0403&PID_6001\\A6008ISP", kPortBusFtdi, 0x0403,
       0x6001, -1, u"A6008ISPA", 1},
      {u"FTDIBUS\\VID_0403+PID_6010+FT4ABCDEB\\0000", u"USB\\VID_0403&PID_6010\\FT4ABCDE", kPortBusFtdi, 0x0403,
       0x6010, -1, u"FT4ABCDEB", 1},
      {u"FTDIBUS\\VID_0403+PID_6001+7&2F0B7E5A&0&1\\0000", kHub, kPortBusFtdi, 0x0403, 0x6001, -1,
       u"7&2F0B7E5A&0&1", 0},
      // Prolific and CH340 have no serial number: Windows makes one up from the socket.
      {u"USB\\VID_067B&PID_2303\\5&2A3B4C5D&0&2", kHub, kPortBusUsb, 0x067B, 0x2303, -1, u"5&2A3B4C5D&0&2", 0},
      {u"USB\\VID_1A86&PID_7523\\6&1F2E3D4C&0&3", kHub, kPortBusUsb, 0x1A86, 0x7523, -1, u"6&1F2E3D4C&0&3", 0},
      {u"USB\\VID_2341&PID_0043\\85736323838351F0E1C1", kHub, kPortBusUsb, 0x2341, 0x0043, -1,
       u"85736323838351F0E1C1", 1},
      // Many CP2102 leave the factory with "0001": real by its form, shared
      // by many units in fact; the one-match rule of find keeps that safe.
      {u"USB\\VID_10C4&PID_EA60\\0001", kHub, kPortBusUsb, 0x10C4, 0xEA60, -1, u"0001", 1},
      // A composite device's function takes its parent's serial number...
      {u"USB\\VID_0483&PID_374B&MI_02\\6&1A2B3C4D&0&0002", u"USB\\VID_0483&PID_374B\\066DFF485457725187092316",
       kPortBusUsb, 0x0483, 0x374B, 2, u"066DFF485457725187092316", 1},
      // ...only from a parent that is that device, with a real one.
      {u"USB\\VID_0483&PID_374B&MI_02\\6&1A2B3C4D&0&0002", u"USB\\VID_0483&PID_3748\\066DFF485457725187092316",
       kPortBusUsb, 0x0483, 0x374B, 2, u"6&1A2B3C4D&0&0002", 0},
      {u"USB\\VID_10C4&PID_EA70&MI_01\\6&1A2B3C4D&0&0001", u"USB\\VID_10C4&PID_EA70\\5&99AA&0&4", kPortBusUsb,
       0x10C4, 0xEA70, 1, u"6&1A2B3C4D&0&0001", 0},
      // A plain device's parent is its hub, never read for a serial.
      {u"USB\\VID_1A86&PID_7523\\6&1F2E3D4C&0&3", u"USB\\VID_1A86&PID_7523\\REAL01", kPortBusUsb, 0x1A86, 0x7523,
       -1, u"6&1F2E3D4C&0&3", 0},
      // Some drivers write the prefixes and hex in lower case.
      {u"usb\\vid_0403&pid_6001\\a6008isp", nullptr, kPortBusUsb, 0x0403, 0x6001, -1, u"a6008isp", 1},
      {u"ftdibus\\vid_0403+pid_6001+a6008ispa\\0000", u"", kPortBusFtdi, 0x0403, 0x6001, -1, u"a6008ispa", 1},
      {u"Usb\\Vid_10c4&Pid_ea70&mi_0a\\6&1&0&1", u"usb\\vid_10c4&pid_ea70\\abc", kPortBusUsb, 0x10C4, 0xEA70, 10,
       u"abc", 1},
      // Other enumerators match by their whole path only.
      {u"ACPI\\PNP0501\\1", u"ACPI\\PNP0A08\\0", kPortBusOther, 0, 0, -1, u"", 0},
      {u"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&1A2B3C4D&0&001122334455_C00000000",
       u"BTH\\MS_BTHBRB\\6&2B&0&1", kPortBusOther, 0, 0, -1, u"", 0},
      {u"ROOT\\PORTS\\0000", u"HTREE\\ROOT\\0", kPortBusOther, 0, 0, -1, u"", 0},
      // Serials with blanks or beyond ASCII are not taken as a device's own.
      {u"USB\\VID_0403&PID_6001\\AB CD", nullptr, kPortBusUsb, 0x0403, 0x6001, -1, u"AB CD", 0},
      {u"USB\\VID_0403&PID_6001\\\u00C41", nullptr, kPortBusUsb, 0x0403, 0x6001, -1, u"\u00C41", 0},
  };
  for (const ParseCase& c : cases) {
    const std::u16string instance(c.instance);
    SCOPED_TRACE(std::string(instance.begin(), instance.end()));
    PortIdentity id;
    ASSERT_EQ(port_identity_parse(c.instance, c.parent, &id), 0);
    EXPECT_EQ(std::u16string(id.instance), instance);
    EXPECT_EQ(std::u16string(id.parent), std::u16string(c.parent ? c.parent : u""));
    EXPECT_EQ(id.bus, c.bus);
    EXPECT_EQ(id.vid, c.vid);
    EXPECT_EQ(id.pid, c.pid);
    EXPECT_EQ(id.interface_number, c.interface_number);
    EXPECT_EQ(std::u16string(id.serial), std::u16string(c.serial));
    EXPECT_EQ(id.serial_real, c.real);
  }
}

TEST(PortIdentity, MalformedPathsAreKeptWholeWithNoParts) {
  const char16_t* malformed[] = {
      u"USB\\VID_403&PID_6001\\A6008ISP",  u"USB\\VID_0403&PID_60G1\\A6008ISP", u"USB\\PID_6001&VID_0403\\A6008ISP",
      u"USB\\VID_0403&PID_6001\\",         u"USB\\VID_0403&PID_6001",          u"USB\\VID_0403&PID_6001\\A\\B",
      u"USB\\VID_0403&PID_6001&MI_0\\A",   u"USB\\VID_0403&PID_6001&REV_0600\\A", u"USB\\VID_0403&PID_6001&MI_00&X\\A",
      u"FTDIBUS\\VID_0403+PID_6001+\\0000", u"FTDIBUS\\VID_0403&PID_6001&A6008ISPA\\0000", u"\\\\",
  };
  for (const char16_t* path : malformed) {
    const PortIdentity id = identity(path);
    EXPECT_EQ(std::u16string(id.instance), std::u16string(path));
    EXPECT_EQ(id.bus, kPortBusOther);
    EXPECT_EQ(id.vid | id.pid | id.serial_real | id.serial[0], 0);
    EXPECT_EQ(id.interface_number, -1);
  }
}

TEST(PortIdentity, EmptyAndOverLongPathsAreNone) {
  PortIdentity id;
  EXPECT_EQ(port_identity_parse(nullptr, nullptr, &id), 1);
  EXPECT_TRUE(port_identity_empty(id));
  EXPECT_EQ(port_identity_parse(u"", u"USB\\VID_0403&PID_6001\\A6008ISP", &id), 1);
  EXPECT_TRUE(port_identity_empty(id));
  EXPECT_EQ(id.parent[0], 0);
  // 199 units fit with their NUL; 200 without one are longer than any
  // instance path, and the parser reads no further than that.
  std::u16string longest = u"USB\\VID_0403&PID_6001\\" + std::u16string(199 - 22, u'S');
  ASSERT_EQ(longest.size(), 199u);
  ASSERT_EQ(port_identity_parse(longest.c_str(), nullptr, &id), 0);
  EXPECT_EQ(std::u16string(id.serial).size(), 177u);
  EXPECT_EQ(id.serial_real, 1);
  char16_t unterminated[kPortIdUnits];
  for (char16_t& c : unterminated) c = u'S';
  EXPECT_EQ(port_identity_parse(unterminated, nullptr, &id), 1);
  EXPECT_EQ(port_identity_parse(u"ACPI\\PNP0501\\1", unterminated, &id), 0);
  EXPECT_EQ(id.parent[0], 0);
}

TEST(PortIdentity, MatchesTheSameDeviceOnly) {
  struct Case {
    const char16_t *lost, *lost_parent, *candidate, *candidate_parent;
    int same;
  };
  const char16_t* st_link = u"USB\\VID_0483&PID_374B\\066DFF485457725187092316";
  const char16_t* ft2232 = u"USB\\VID_0403&PID_6010\\FT4ABCDE";
  const Case cases[] = {
      {u"USB\\VID_2341&PID_0043\\85736323838351F0E1C1", kHub, u"USB\\VID_2341&PID_0043\\85736323838351F0E1C1",
       u"USB\\VID_05E3&PID_0610\\5&1&0&2", 1},
      {u"FTDIBUS\\VID_0403+PID_6010+FT4ABCDEA\\0000", ft2232, u"FTDIBUS\\VID_0403+PID_6010+FT4ABCDEA\\0000", ft2232,
       1},
      // The two channels of one chip share a parent and a serial but the letter.
      {u"FTDIBUS\\VID_0403+PID_6010+FT4ABCDEA\\0000", ft2232, u"FTDIBUS\\VID_0403+PID_6010+FT4ABCDEB\\0000", ft2232,
       0},
      // Two CH340 without serial numbers in two sockets; the same one back in its socket.
      {u"USB\\VID_1A86&PID_7523\\6&1F2E3D4C&0&3", kHub, u"USB\\VID_1A86&PID_7523\\6&1F2E3D4C&0&4", kHub, 0},
      {u"USB\\VID_1A86&PID_7523\\6&1F2E3D4C&0&3", kHub, u"USB\\VID_1A86&PID_7523\\6&1F2E3D4C&0&3", kHub, 1},
      // A made-up serial that reads the same under another path is no match.
      {u"FTDIBUS\\VID_0403+PID_6001+7&2F0B7E5A&0&1\\0000", kHub, u"FTDIBUS\\VID_0403+PID_6001+7&2F0B7E5A&0&1\\0001",
       kHub, 0},
      // A composite device in another socket: its function's id changed, the serial did not.
      {u"USB\\VID_0483&PID_374B&MI_02\\6&1A2B3C4D&0&0002", st_link, u"USB\\VID_0483&PID_374B&MI_02\\6&77&0&0002",
       u"usb\\vid_0483&pid_374b\\066dff485457725187092316", 1},
      {u"USB\\VID_0483&PID_374B&MI_02\\6&1A2B3C4D&0&0002", st_link, u"USB\\VID_0483&PID_374B&MI_00\\6&77&0&0000",
       st_link, 0},
      // The same serial under another product, or another bus, is another device.
      {u"USB\\VID_2341&PID_0043\\85736323838351F0E1C1", kHub, u"USB\\VID_2341&PID_0042\\85736323838351F0E1C1", kHub,
       0},
      {u"USB\\VID_0403&PID_6001\\A6008ISPA", kHub, u"FTDIBUS\\VID_0403+PID_6001+A6008ISPA\\0000", kHub, 0},
      {u"usb\\vid_0403&pid_6001\\a6008isp", nullptr, u"USB\\VID_0403&PID_6001\\A6008ISP", kHub, 1},
      {u"ACPI\\PNP0501\\1", nullptr, u"ACPI\\PNP0501\\1", nullptr, 1},
      {u"ACPI\\PNP0501\\1", nullptr, u"ACPI\\PNP0501\\2", nullptr, 0},
      {u"", nullptr, u"", nullptr, 0},
      {u"", nullptr, u"ACPI\\PNP0501\\1", nullptr, 0},
  };
  for (const Case& c : cases) {
    const std::u16string a(c.lost), b(c.candidate);
    SCOPED_TRACE(std::string(a.begin(), a.end()) + " / " + std::string(b.begin(), b.end()));
    const PortIdentity lost = identity(c.lost, c.lost_parent), candidate = identity(c.candidate, c.candidate_parent);
    EXPECT_EQ(port_identity_match(lost, candidate), c.same);
    EXPECT_EQ(port_identity_match(candidate, lost), c.same);
  }
}

TEST(PortIdentity, FindsOneOtherNumberOrNone) {
  const PortIdentity ch340_a = identity(u"USB\\VID_1A86&PID_7523\\6&1F2E3D4C&0&3", kHub);
  const PortIdentity ch340_b = identity(u"USB\\VID_1A86&PID_7523\\6&1F2E3D4C&0&4", kHub);
  const PortIdentity arduino = identity(u"USB\\VID_2341&PID_0043\\85736323838351F0E1C1", kHub);
  const PortIdentity ftdi_a = identity(u"FTDIBUS\\VID_0403+PID_6010+FT4ABCDEA\\0000");
  const PortIdentity ftdi_b = identity(u"FTDIBUS\\VID_0403+PID_6010+FT4ABCDEB\\0000");
  const PortIdentity cp2102 = identity(u"USB\\VID_10C4&PID_EA60\\0001", kHub);
  const PortIdentity none = identity(nullptr);
  const PortIdentityEntry present[] = {{3, ch340_a}, {7, arduino}, {9, ftdi_a}, {10, ftdi_b}, {12, none}};
  EXPECT_EQ(port_identity_find(arduino, 5, present, 5), 7);
  EXPECT_EQ(port_identity_find(ftdi_b, 4, present, 5), 10);
  // A CH340 without a serial number, lost from another socket: nothing.
  EXPECT_EQ(port_identity_find(ch340_b, 6, present, 5), 0);
  EXPECT_EQ(port_identity_find(none, 6, present, 5), 0);
  EXPECT_EQ(port_identity_find(arduino, 5, present, 0), 0);
  EXPECT_EQ(port_identity_find(arduino, 5, nullptr, 5), 0);
  // Back under its own number: the caller's own try opens it.
  EXPECT_EQ(port_identity_find(arduino, 7, present, 5), 0);
  // Its number now held by another device: that one is left out.
  const PortIdentityEntry taken[] = {{5, ch340_a}, {8, arduino}};
  EXPECT_EQ(port_identity_find(arduino, 5, taken, 2), 8);
  // Two adapters that share a serial number: which one was ours is unknown.
  const PortIdentityEntry twins[] = {{8, cp2102}, {11, cp2102}};
  EXPECT_EQ(port_identity_find(cp2102, 4, twins, 2), 0);
  EXPECT_EQ(port_identity_find(cp2102, 4, twins, 1), 8);
  // One device listed twice is still one; numbers outside 1..256 are none.
  const PortIdentityEntry odd[] = {{0, arduino}, {257, arduino}, {-3, arduino}, {20, arduino}, {20, arduino}};
  EXPECT_EQ(port_identity_find(arduino, 5, odd, 3), 0);
  EXPECT_EQ(port_identity_find(arduino, 5, odd, 5), 20);
}

TEST(PortIdentity, ALostPortsOwnNumberIsOpenedOnlyWhenItsDeviceIsThere) {
  const PortIdentity arduino = identity(u"USB\\VID_2341&PID_0043\\85736323838351F0E1C1", kHub);
  const PortIdentity ch340 = identity(u"USB\\VID_1A86&PID_7523\\6&1F2E3D4C&0&3", kHub);
  const PortIdentity none = identity(nullptr);
  const PortIdentityEntry back[] = {{3, ch340}, {5, arduino}};
  EXPECT_EQ(port_identity_may_open(arduino, 5, back, 2), 1);
  // Another device now under the number: never opened as the lost one.
  const PortIdentityEntry taken[] = {{5, ch340}, {8, arduino}};
  EXPECT_EQ(port_identity_may_open(arduino, 5, taken, 2), 0);
  // Nothing listed under it (or no list): cannot be told, not opened.
  EXPECT_EQ(port_identity_may_open(arduino, 5, back, 1), 0);
  EXPECT_EQ(port_identity_may_open(arduino, 5, nullptr, 0), 0);
  // An identity never known: opened by its number as before.
  EXPECT_EQ(port_identity_may_open(none, 5, taken, 2), 1);
}

TEST(PortIdentity, ComNumberOfPortName) {
  const struct {
    const char16_t* name;
    int32_t number;
  } cases[] = {
      {u"COM1", 1},    {u"COM3", 3},     {u"COM42", 42},  {u"COM256", 256}, {u"com7", 7},      {u"COM257", 0},
      {u"COM0", 0},    {u"COM01", 0},    {u"COM3 ", 0},   {u" COM3", 0},    {u"COM1000", 0},   {u"COM", 0},
      {u"CO", 0},      {u"LPT1", 0},     {u"COMx", 0},    {u"COM-1", 0},    {u"", 0},          {nullptr, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(port_identity_com_number(c.name), c.number) << (c.name ? "" : "null");
}

}  // namespace
