// The presence check's reading of the registry's port names.
#include "serial/presence.h"

#include <gtest/gtest.h>

namespace {

TEST(Presence, PortNumbersFromRegistryStrings) {
  EXPECT_EQ(presence_port_number(u"COM3"), 3);
  EXPECT_EQ(presence_port_number(u"COM12"), 12);
  EXPECT_EQ(presence_port_number(u"COM123"), 123);
  EXPECT_EQ(presence_port_number(u"COM1234"), 123);
  EXPECT_EQ(presence_port_number(u"COM"), 0);
  EXPECT_EQ(presence_port_number(u"CO"), 0);
  EXPECT_EQ(presence_port_number(u"COM 7"), 0);
  EXPECT_EQ(presence_port_number(u"COMx"), 0);
  EXPECT_EQ(presence_bits_for(u"COM3", 3, 4), 1);
  EXPECT_EQ(presence_bits_for(u"COM4", 3, 4), 2);
  EXPECT_EQ(presence_bits_for(u"COM1", 1, 10), 1);
  EXPECT_EQ(presence_bits_for(u"COM10", 1, 10), 2);
  EXPECT_EQ(presence_bits_for(u"COM5", 5, 5), 3);
}

}  // namespace
