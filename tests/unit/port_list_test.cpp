#include "serial/port_list.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string s(const char16_t* p) { return p; }

PresentPorts g_present;  // large: kept out of the test's stack
PortList g_list;

void present(std::initializer_list<const char16_t*> names) {
  present_ports_clear(&g_present);
  for (const char16_t* n : names) present_ports_add(&g_present, n);
}

TEST(PortList, EntryFromFriendlyName) {
  struct Case {
    const char16_t* friendly;
    int made;
    const char16_t* port;
    const char16_t* entry;
  } cases[] = {
      {u"USB Serial Port (COM3)", 0, u"COM3", u"COM3:[USB Serial Port ]\n"},
      {u"Test Virtual Port (COM123)", 0, u"COM123", u"COM123:[Test Virtual Port ]\n"},
      {u"(COM7)", 0, u"COM7", u"COM7:[]\n"},
      // The port name runs to the first ")" after "(COM", whatever follows.
      {u"Dual (COM5) (COM6)", 0, u"COM5", u"COM5:[Dual ]\n"},
      {u"Modem (LPT1) (COM9)", 0, u"COM9", u"COM9:[Modem (LPT1) ]\n"},
      {u"USB Serial Port", 1, nullptr, nullptr},
      {u"USB Serial Port (COM3", 1, nullptr, nullptr},
      {u"Port (com3)", 1, nullptr, nullptr},
      {u"", 1, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    char16_t port[kPortNameUnits] = u"x", entry[kPortEntryUnits] = u"x";
    ASSERT_EQ(port_list_entry(c.friendly, port, entry), c.made);
    if (c.made == 0) {
      EXPECT_EQ(s(port), s(c.port));
      EXPECT_EQ(s(entry), s(c.entry));
    }
  }
}

TEST(PortList, LongFriendlyNameNeverOverrunsTheEntry) {
  std::u16string name(255, u'x');
  char16_t port[kPortNameUnits], entry[kPortEntryUnits];
  ASSERT_EQ(port_list_entry((name + u" (COM200)").c_str(), port, entry), 0);  // 264 units in all
  EXPECT_EQ(s(entry).size(), 6u + 2u + 256u + 2u);  // "COM200:[", the description, "]\n"
  std::u16string huge(400, u'y');
  EXPECT_EQ(port_list_entry((huge + u" (COM1)").c_str(), port, entry), 1);
  EXPECT_EQ(port_list_entry((u"(COM" + huge + u")").c_str(), port, entry), 1);
}

TEST(PortList, PresentSetComparesExactly) {
  present({u"COM3", u"COM10"});
  EXPECT_TRUE(present_ports_has(&g_present, u"COM3"));
  EXPECT_TRUE(present_ports_has(&g_present, u"COM10"));
  EXPECT_FALSE(present_ports_has(&g_present, u"COM1"));
  EXPECT_FALSE(present_ports_has(&g_present, u"com3"));
  EXPECT_FALSE(present_ports_has(&g_present, u"COM30"));
  // A value longer than a slot is left out; a full set takes no more.
  std::u16string too_long(kPortNameUnits, u'C');
  present_ports_add(&g_present, too_long.c_str());
  EXPECT_EQ(g_present.count, 2);
  for (int i = 0; i < kPresentMax + 10; i++) present_ports_add(&g_present, u"COM99");
  EXPECT_EQ(g_present.count, kPresentMax);
}

TEST(PortList, BuildListsPresentDevicesAndChoosesEachChannelsPort) {
  present({u"COM1", u"COM10", u"COM3"});
  int32_t numbers[2] = {1, 10};
  port_list_begin(&g_list, numbers);
  EXPECT_EQ(port_list_offer(&g_list, &g_present, u"Ten (COM10)", numbers), 1);
  EXPECT_EQ(port_list_offer(&g_list, &g_present, u"No number", numbers), 0);
  EXPECT_EQ(port_list_offer(&g_list, &g_present, u"Gone (COM4)", numbers), 0);  // not in the registry
  EXPECT_EQ(port_list_offer(&g_list, &g_present, u"One (COM1)", numbers), 1);
  EXPECT_EQ(port_list_offer(&g_list, &g_present, u"USB Serial Port (COM3)", numbers), 1);
  ASSERT_EQ(g_list.count, 3);
  EXPECT_EQ(s(g_list.entry[0]), u"COM10:[Ten ]\n");
  EXPECT_EQ(s(g_list.entry[2]), u"COM3:[USB Serial Port ]\n");
  EXPECT_EQ(g_list.chosen[0], 1);  // COM1, not COM10 listed before it
  EXPECT_EQ(g_list.chosen[1], 0);

  int32_t none_and_gone[2] = {0, 7};
  port_list_begin(&g_list, none_and_gone);
  port_list_offer(&g_list, &g_present, u"One (COM1)", none_and_gone);
  EXPECT_EQ(g_list.chosen[0], kChosenNone);
  EXPECT_EQ(g_list.chosen[1], kChosenEmpty);
  // No devices at all: a channel without a port still shows message text 0.
  port_list_begin(&g_list, none_and_gone);
  EXPECT_EQ(g_list.count, 0);
  EXPECT_EQ(g_list.chosen[0], kChosenNone);
}

TEST(PortList, NumberOfChoice) {
  struct Case {
    const char16_t* text;
    int32_t number;
  } cases[] = {
      {u"COM3:[USB Serial Port ]\n", 3}, {u"COM12:[x]\n", 12}, {u"COM123:[x]\n", 123},
      {u"COM1234", 123},                 {u"None", 0},         {u"なし", 0},
      {u"", 0},                          {u"COM", 0},          {u"COMx5", 0},
      {u"COM7", 7},                      {u"XYZ42", 42},
  };
  for (const Case& c : cases) EXPECT_EQ(port_number_of_choice(c.text), c.number) << int(c.number);
}

TEST(PortList, ChoosingTheOtherChannelsPortClearsCh2) {
  int32_t n[2] = {3, 4};
  EXPECT_EQ(port_choice_take(n, 0, 4), 1);  // CH1 takes CH2's port
  EXPECT_EQ(n[0], 4);
  EXPECT_EQ(n[1], 0);
  n[0] = 3, n[1] = 5;
  EXPECT_EQ(port_choice_take(n, 1, 3), 1);  // CH2 takes CH1's port: CH2 is cleared
  EXPECT_EQ(n[0], 3);
  EXPECT_EQ(n[1], 0);
  n[0] = 0, n[1] = 5;
  EXPECT_EQ(port_choice_take(n, 1, 0), 0);  // both none: no conflict
  EXPECT_EQ(port_choice_take(n, 0, 12), 0);
  EXPECT_EQ(n[0], 12);
}

TEST(PortList, NumberOfEdit) {
  EXPECT_EQ(port_number_of_edit(u"3"), 3);
  EXPECT_EQ(port_number_of_edit(u"255"), 255);
  EXPECT_EQ(port_number_of_edit(u"300"), 300);
  EXPECT_EQ(port_number_of_edit(u"1000"), 100);  // three characters
  EXPECT_EQ(port_number_of_edit(u" -12"), -1);  // three characters, blanks counted
  EXPECT_EQ(port_number_of_edit(u"-1"), -1);
  EXPECT_EQ(port_number_of_edit(u"None"), 0);
  EXPECT_EQ(port_number_of_edit(u"なし"), 0);
  EXPECT_EQ(port_number_of_edit(u""), 0);
}

TEST(PortList, OkChecksInOrder) {
  struct Case {
    int32_t ch1, ch2, lm;
    PortCheck result;
    int32_t after1, after2;
  } cases[] = {
      {3, 4, 0, kPortCheckOk, 3, 4},
      {3, 4, 1, kPortCheckOk, 3, 4},
      {0, 0, 0, kPortCheckOk, 0, 0},
      {5, 5, 0, kPortCheckSame, 5, 0},
      {300, 300, 0, kPortCheckSame, 300, 0},  // the same check comes first
      {300, 4, 0, kPortCheckRangeCh1, 0, 4},
      {3, 300, 0, kPortCheckRangeCh2, 3, 0},
      {-1, 4, 0, kPortCheckRangeCh1, 0, 4},
      {3, -5, 0, kPortCheckRangeCh2, 3, 0},
      {256, 999, 1, kPortCheckRangeCh1, 0, 999},
      {3, 0, 1, kPortCheckMonitorBoth, 3, 0},
      {0, 4, 1, kPortCheckMonitorBoth, 0, 4},
      {255, 1, 1, kPortCheckOk, 255, 1},
  };
  for (const Case& c : cases) {
    int32_t n[2] = {c.ch1, c.ch2};
    EXPECT_EQ(port_dialog_check(n, c.lm), c.result) << c.ch1 << "," << c.ch2 << "," << c.lm;
    EXPECT_EQ(n[0], c.after1);
    EXPECT_EQ(n[1], c.after2);
  }
}

TEST(PortList, PortNames) {
  char16_t out[16];
  port_name_of(3, out);
  EXPECT_EQ(s(out), u"COM3");
  port_name_of(255, out);
  EXPECT_EQ(s(out), u"COM255");
  port_name_of(-1, out);
  EXPECT_EQ(s(out), u"COM-1");
  port_name_of(INT32_MIN, out);
  EXPECT_EQ(s(out), u"COM-2147483648");
}

}  // namespace
