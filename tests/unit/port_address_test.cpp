// Port addresses as the user types them: every form, the reasons a text is
// refused, the canonical text and the status bar's short text.
#include "net/port_address.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "settings/message_text.h"

namespace {

std::u16string u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string ascii(const char16_t* s) {
  std::string out;
  for (; *s; s++) out += static_cast<char>(*s);
  return out;
}

int parse(const std::u16string& text, PortAddress* a, int* reason) {
  return port_address_parse(text.c_str(), a, reason);
}

std::string format(const PortAddress& a) {
  char16_t out[kPortAddressUnits];
  EXPECT_EQ(port_address_format(a, out, kPortAddressUnits), 0);
  return ascii(out);
}

std::string short_text(const PortAddress& a) {
  char16_t out[kPortAddressShortUnits];
  EXPECT_EQ(port_address_short(a, out, kPortAddressShortUnits), 0);
  return ascii(out);
}

struct Good {
  const char* text;
  int kind;
  int com;
  const char* host;
  int port;
  int form;  // 0 COM or name, 4 dotted quad, 6 IPv6
  int loopback;
  const char* canonical;
  const char* shown;
};

TEST(PortAddress, ReadsEveryForm) {
  const Good cases[] = {
      {"COM3", kPortCom, 3, "", 0, 0, 0, "COM3", "Com3"},
      {"com1", kPortCom, 1, "", 0, 0, 0, "COM1", "Com1"},
      {"  Com255\t", kPortCom, 255, "", 0, 0, 0, "COM255", "Com255"},
      {"socket://10.0.0.5:4001", kPortSocket, 0, "10.0.0.5", 4001, 4, 0, "socket://10.0.0.5:4001",
       "tcp:10.0.0.5:4001"},
      {"SOCKET://Moxa-01.Lab.Example:950", kPortSocket, 0, "moxa-01.lab.example", 950, 0, 0,
       "socket://moxa-01.lab.example:950", "tcp:moxa-01.lab.e...:950"},
      {"rfc2217://localhost:2217", kPortRfc2217, 0, "localhost", 2217, 0, 1, "rfc2217://localhost:2217",
       "rfc:localhost:2217"},
      {"RFC2217://LocalHost:1", kPortRfc2217, 0, "localhost", 1, 0, 1, "rfc2217://localhost:1", "rfc:localhost:1"},
      {"rfc2217://127.1.2.3:65535", kPortRfc2217, 0, "127.1.2.3", 65535, 4, 1, "rfc2217://127.1.2.3:65535",
       "rfc:127.1.2.3:65535"},
      {"socket://0.0.0.0:7", kPortSocket, 0, "0.0.0.0", 7, 4, 0, "socket://0.0.0.0:7", "tcp:0.0.0.0:7"},
      {"socket://255.255.255.255:80", kPortSocket, 0, "255.255.255.255", 80, 4, 0,
       "socket://255.255.255.255:80", "tcp:255.255.255.255:80"},
      {"socket://[::1]:4001", kPortSocket, 0, "::1", 4001, 6, 1, "socket://[::1]:4001", "tcp:[::1]:4001"},
      {"socket://[FE80::1%3]:4001", kPortSocket, 0, "fe80::1%3", 4001, 6, 0, "socket://[fe80::1%3]:4001",
       "tcp:[fe80::1%3]:4001"},
      {"socket://[fe80::1%eth0]:4001", kPortSocket, 0, "fe80::1%eth0", 4001, 6, 0,
       "socket://[fe80::1%eth0]:4001", "tcp:[fe80::1%eth0]:4001"},
      // Digits, letters and numeric labels that are not last are a name.
      {"socket://1.2.3.4.example:9", kPortSocket, 0, "1.2.3.4.example", 9, 0, 0, "socket://1.2.3.4.example:9",
       "tcp:1.2.3.4.example:9"},
      {"socket://0xyz:9", kPortSocket, 0, "0xyz", 9, 0, 0, "socket://0xyz:9", "tcp:0xyz:9"},
      {"listen://4001", kPortListen, 0, "127.0.0.1", 4001, 4, 1, "listen://4001", "listen:4001"},
      {"listen://127.0.0.1:4001", kPortListen, 0, "127.0.0.1", 4001, 4, 1, "listen://4001", "listen:4001"},
      {"listen://localhost:4001", kPortListen, 0, "localhost", 4001, 0, 1, "listen://localhost:4001",
       "listen:4001"},
      {"listen://0.0.0.0:4001", kPortListen, 0, "0.0.0.0", 4001, 4, 0, "listen://0.0.0.0:4001",
       "listen:0.0.0.0:4001"},
      {"Listen://[::]:4001", kPortListen, 0, "::", 4001, 6, 0, "listen://[::]:4001", "listen:[::]:4001"},
      {"listen://[::1]:65535", kPortListen, 0, "::1", 65535, 6, 1, "listen://[::1]:65535", "listen:65535"},
      {"listen://192.168.1.20:1", kPortListen, 0, "192.168.1.20", 1, 4, 0, "listen://192.168.1.20:1",
       "listen:192.168.1.20:1"},
      // Only 127/8 is loopback among the dotted quads.
      {"listen://128.0.0.1:5", kPortListen, 0, "128.0.0.1", 5, 4, 0, "listen://128.0.0.1:5", "listen:128.0.0.1:5"},
  };
  for (const Good& c : cases) {
    SCOPED_TRACE(c.text);
    PortAddress a;
    int reason = -1;
    ASSERT_EQ(parse(u16(c.text), &a, &reason), 0);
    EXPECT_EQ(reason, kAddressOk);
    EXPECT_EQ(a.kind, c.kind);
    EXPECT_EQ(a.com, c.com);
    EXPECT_STREQ(a.host, c.host);
    EXPECT_EQ(a.port, c.port);
    EXPECT_EQ(a.host_is_ipv4, c.form == 4);
    EXPECT_EQ(a.host_is_ipv6, c.form == 6);
    EXPECT_EQ(a.loopback, c.loopback);
    EXPECT_EQ(port_address_loopback(a), c.loopback);
    EXPECT_EQ(format(a), c.canonical);
    EXPECT_EQ(short_text(a), c.shown);
    EXPECT_LE(std::strlen(c.shown), 24u);
    PortAddress back;
    ASSERT_EQ(parse(u16(format(a)), &back, nullptr), 0);
    EXPECT_TRUE(port_address_equal(a, back));
  }
}

struct Bad {
  const char* text;
  int reason;
};

TEST(PortAddress, RefusesWithTheReason) {
  const Bad cases[] = {
      {"", kAddressEmpty},
      {" \t  ", kAddressEmpty},
      {"COM 3", kAddressBlank},
      {"socket://host:40 01", kAddressBlank},
      {"socket://host:4001\r\n", kAddressBlank},
      {"socket://host:4001\x7f", kAddressBlank},
      {"COM0", kAddressBadCom},
      {"COM256", kAddressBadCom},
      {"COM03", kAddressBadCom},
      {"COM", kAddressBadCom},
      {"COM1000", kAddressBadCom},
      {"computer", kAddressUnknownScheme},
      {"COM3:", kAddressUnknownScheme},
      {"10.0.0.5:4001", kAddressUnknownScheme},
      {"localhost:4001", kAddressUnknownScheme},
      {"tcp://10.0.0.5:4001", kAddressUnknownScheme},
      {"telnet://10.0.0.5:23", kAddressUnknownScheme},
      {"://10.0.0.5:1", kAddressUnknownScheme},
      {"socket:10.0.0.5:4001", kAddressSchemeSlashes},
      {"socket:/10.0.0.5:4001", kAddressSchemeSlashes},
      {"socket", kAddressSchemeSlashes},
      {"listen:4001", kAddressSchemeSlashes},
      {"socket://", kAddressMissingHost},
      {"socket://:4001", kAddressMissingHost},
      {"socket://4001", kAddressMissingHost},
      {"listen://:4001", kAddressMissingHost},
      {"rfc2217://", kAddressMissingHost},
      {"socket://10.0.0.5", kAddressMissingPort},
      {"socket://10.0.0.5:", kAddressMissingPort},
      {"socket://[::1]", kAddressMissingPort},
      {"socket://[::1]:", kAddressMissingPort},
      {"listen://myhost", kAddressMissingPort},
      {"listen://myhost:4001", kAddressListenName},
      {"listen://serial.example:4001", kAddressListenName},
      {"socket://host:0", kAddressBadPort},
      {"socket://host:65536", kAddressBadPort},
      {"socket://host:99999999999999999999", kAddressBadPort},
      {"socket://host:080", kAddressBadPort},
      {"socket://host:00", kAddressBadPort},
      {"socket://host:+80", kAddressBadPort},
      {"socket://host:-1", kAddressBadPort},
      {"socket://host:0x50", kAddressTrailing},
      {"listen://0", kAddressBadPort},
      {"listen://080", kAddressBadPort},
      {"listen://65536", kAddressBadPort},
      {"socket://host:4001/", kAddressTrailing},
      {"socket://host:4001/path", kAddressTrailing},
      {"socket://host:4001?x=1", kAddressTrailing},
      {"socket://host:4001:5", kAddressTrailing},
      {"socket://[::1]x", kAddressTrailing},
      {"socket://[::1]4001", kAddressTrailing},
      {"socket://host_name:1", kAddressBadHost},
      {"socket://user@host:1", kAddressBadHost},
      {"socket://-host:1", kAddressBadHost},
      {"socket://host-:1", kAddressBadHost},
      {"socket://a..b:1", kAddressBadHost},
      {"socket://.host:1", kAddressBadHost},
      {"socket://host.:1", kAddressBadHost},
      {"socket://host/x", kAddressBadHost},
      // A last label that is a number makes it an IPv4 address, which
      // must then be a proper dotted quad.
      {"socket://256.1.1.1:1", kAddressBadIpv4},
      {"socket://1.2.3:1", kAddressBadIpv4},
      {"socket://1.2.3.4.5:1", kAddressBadIpv4},
      {"socket://01.2.3.4:1", kAddressBadIpv4},
      {"socket://1.2.3.00:1", kAddressBadIpv4},
      {"socket://127.1:1", kAddressBadIpv4},
      {"socket://2130706433:1", kAddressBadIpv4},
      {"socket://0x7f.0.0.1:1", kAddressBadIpv4},
      {"socket://0x7f000001:1", kAddressBadIpv4},
      {"socket://host.0x1f:1", kAddressBadIpv4},
      {"socket://1.2.3.1000:1", kAddressBadIpv4},
      {"socket://[]:1", kAddressBadIpv6},
      {"socket://[::1:1", kAddressBadIpv6},
      {"socket://[127.0.0.1]:1", kAddressBadIpv6},
      {"socket://[host]:1", kAddressBadIpv6},
      {"socket://::1:4001", kAddressIpv6Brackets},
      {"socket://fe80::1%3:4001", kAddressIpv6Brackets},
      {"socket://2001:db8::5", kAddressIpv6Brackets},
      {"listen://:::4001", kAddressIpv6Brackets},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.text);
    PortAddress a;
    std::memset(&a, 0x5A, sizeof a);
    int reason = -1;
    EXPECT_EQ(parse(u16(c.text), &a, &reason), 1);
    EXPECT_EQ(reason, c.reason);
    // A refused text leaves the address it was to replace untouched.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&a);
    for (size_t i = 0; i < sizeof a; i++) ASSERT_EQ(bytes[i], 0x5A);
  }
}

// Between the brackets, by RFC 4291's text forms, and the RFC 5952 form
// the host is kept in.
TEST(PortAddress, ReadsIpv6Soundly) {
  const struct {
    const char* inside;
    const char* kept;  // nullptr: refused as a bad IPv6 address
    int loopback;
  } cases[] = {
      {"::", "::", 0},
      {"::1", "::1", 1},
      {"0:0:0:0:0:0:0:1", "::1", 1},
      {"0000:0000:0000:0000:0000:0000:0000:0001", "::1", 1},
      {"2001:DB8:0:0:1:0:0:1", "2001:db8::1:0:0:1", 0},
      {"2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1", 0},  // one zero group is not "::"
      {"2001:0:0:1:0:0:0:1", "2001:0:0:1::1", 0},           // the longer run
      {"1:0:0:2:0:0:3:4", "1::2:0:0:3:4", 0},               // the first of equal runs
      {"1::", "1::", 0},
      {"1:2:3:4:5:6:7::", "1:2:3:4:5:6:7:0", 0},
      {"::2:3:4:5:6:7:8", "0:2:3:4:5:6:7:8", 0},
      {"1:2:3:4:5:6:7:8", "1:2:3:4:5:6:7:8", 0},
      {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff", 0},
      {"::ffff:127.0.0.1", "::ffff:127.0.0.1", 1},
      {"::FFFF:7F00:2", "::ffff:127.0.0.2", 1},
      {"::ffff:10.0.0.1", "::ffff:10.0.0.1", 0},
      {"::127.0.0.1", "::7f00:1", 0},
      {"1:2:3:4:5:6:1.2.3.4", "1:2:3:4:5:6:102:304", 0},
      {"fe80::1%3", "fe80::1%3", 0},
      {"::1%lo", "::1%lo", 1},
      {"fe80::1%Ethernet_2.1-a", "fe80::1%Ethernet_2.1-a", 0},
      {"fe80::1%12345678901234567890123456789012", "fe80::1%12345678901234567890123456789012", 0},
      {"fe80::1%123456789012345678901234567890123", nullptr, 0},  // zone over 32
      {"fe80::1%", nullptr, 0},
      {"fe80::1%3%4", nullptr, 0},
      {"fe80::1%a:b", nullptr, 0},
      {"%3", nullptr, 0},
      {":", nullptr, 0},
      {":::", nullptr, 0},
      {":1::", nullptr, 0},
      {"1::2::3", nullptr, 0},
      {"1:2", nullptr, 0},
      {"1:2:3:4:5:6:7", nullptr, 0},
      {"1:2:3:4:5:6:7:8:9", nullptr, 0},
      {"1:2:3:4:5:6:7:8::", nullptr, 0},
      {"::1:2:3:4:5:6:7:8", nullptr, 0},
      {"1:", nullptr, 0},
      {"12345::", nullptr, 0},
      {"g::1", nullptr, 0},
      {"::1.2.3.4:5", nullptr, 0},
      {"::256.1.1.1", nullptr, 0},
      {"::01.2.3.4", nullptr, 0},
      {"::1.2.3", nullptr, 0},
      {"1:2:3:4:5:6:7:1.2.3.4", nullptr, 0},
      {"1:2:3:4:5:6::1.2.3.4", nullptr, 0},
      {"1.2.3.4::", nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.inside);
    PortAddress a;
    int reason = -1;
    const int rc = parse(u16(std::string("rfc2217://[") + c.inside + "]:2217"), &a, &reason);
    if (!c.kept) {
      EXPECT_EQ(rc, 1);
      EXPECT_EQ(reason, kAddressBadIpv6);
      continue;
    }
    ASSERT_EQ(rc, 0);
    EXPECT_STREQ(a.host, c.kept);
    EXPECT_EQ(a.host_is_ipv6, 1);
    EXPECT_EQ(a.loopback, c.loopback);
    EXPECT_EQ(format(a), std::string("rfc2217://[") + c.kept + "]:2217");
  }
}

TEST(PortAddress, BoundsTheTextAndRefusesWhatIsNotAscii) {
  PortAddress a;
  int reason = -1;
  // 253 characters is the longest name, in labels of 63.
  std::string label(63, 'a');
  std::string name = label + "." + label + "." + label + "." + std::string(61, 'b');
  ASSERT_EQ(name.size(), 253u);
  ASSERT_EQ(parse(u16("rfc2217://" + name + ":65535"), &a, &reason), 0);
  EXPECT_EQ(format(a), "rfc2217://" + name + ":65535");
  EXPECT_EQ(parse(u16("rfc2217://" + name + "b:65535"), &a, &reason), 1);
  EXPECT_EQ(reason, kAddressHostTooLong);
  EXPECT_EQ(parse(u16("socket://" + std::string(64, 'a') + ".example:1"), &a, &reason), 1);
  EXPECT_EQ(reason, kAddressHostTooLong);

  // The read stops at kPortAddressUnits units: a text that long with no
  // terminator is refused without a unit past it being read (the vector's
  // end is where AddressSanitizer would catch that).
  std::u16string text = u"socket://host:1" + std::u16string(kPortAddressUnits, u' ');
  text.resize(kPortAddressUnits);
  std::vector<char16_t> exact(text.begin(), text.end());
  EXPECT_EQ(port_address_parse(exact.data(), &a, &reason), 1);
  EXPECT_EQ(reason, kAddressTooLong);
  // One unit shorter, terminated, and blanks around are dropped.
  text.resize(kPortAddressUnits - 1);
  EXPECT_EQ(parse(text, &a, &reason), 0);
  EXPECT_EQ(format(a), "socket://host:1");

  const std::u16string non_ascii[] = {
      u"COM３",                         // a full-width digit
      u"socket://10.0.0.5:4001\u3000",  // an ideographic space after it
      u"socket://bücher.example:1",
      u"socket://host:4001\u0080",
      u"\uFEFFCOM3",                    // a byte-order mark
      u"socket://h\xD800st:1",          // a lone surrogate
  };
  for (const std::u16string& t : non_ascii) {
    EXPECT_EQ(parse(t, &a, &reason), 1);
    EXPECT_EQ(reason, kAddressNonAscii);
  }
  EXPECT_EQ(port_address_parse(nullptr, &a, &reason), 1);
  EXPECT_EQ(reason, kAddressEmpty);
  EXPECT_EQ(port_address_parse(u"COM3", &a, nullptr), 0);  // the reason may be left out
  EXPECT_EQ(a.com, 3);
}

TEST(PortAddress, ShortTextFitsTheStatusBar) {
  PortAddress a;
  ASSERT_EQ(parse(u"socket://serial-server-in-building-7.example:4001", &a, nullptr), 0);
  EXPECT_EQ(short_text(a), "tcp:serial-serve...:4001");
  ASSERT_EQ(parse(u"rfc2217://abcdefghijklmn:65535", &a, nullptr), 0);  // exactly 24
  EXPECT_EQ(short_text(a), "rfc:abcdefghijklmn:65535");
  ASSERT_EQ(parse(u"rfc2217://abcdefghijklmno:65535", &a, nullptr), 0);
  EXPECT_EQ(short_text(a), "rfc:abcdefghijk...:65535");
  // A listen address open to the network always shows, cut if it must be.
  ASSERT_EQ(parse(u"listen://[fe80::1234:5678:9abc:def0%12]:4001", &a, nullptr), 0);
  EXPECT_EQ(short_text(a), "listen:[fe80::12...:4001");
  // Too small a buffer: refused and left empty, nothing written past it.
  char16_t small[kPortAddressShortUnits - 1] = u"x";
  EXPECT_EQ(port_address_short(a, small, kPortAddressShortUnits - 1), 1);
  EXPECT_EQ(small[0], 0);
}

TEST(PortAddress, FormatRefusesWhatWouldNotReadBack) {
  PortAddress good;
  ASSERT_EQ(parse(u"socket://[2001:db8::5]:4001", &good, nullptr), 0);
  char16_t out[kPortAddressUnits];
  // Exactly long enough, then one unit short.
  EXPECT_EQ(port_address_format(good, out, 28), 0);
  EXPECT_EQ(ascii(out), "socket://[2001:db8::5]:4001");
  out[0] = u'x';
  EXPECT_EQ(port_address_format(good, out, 27), 1);
  EXPECT_EQ(out[0], 0);

  PortAddress bad = good;
  bad.kind = 7;
  EXPECT_EQ(port_address_format(bad, out, kPortAddressUnits), 1);
  bad = good;
  bad.port = 0;
  EXPECT_EQ(port_address_format(bad, out, kPortAddressUnits), 1);
  bad = good;
  bad.host_is_ipv6 = 0;  // would be written without brackets
  EXPECT_EQ(port_address_format(bad, out, kPortAddressUnits), 1);
  bad = good;
  std::strcpy(bad.host, "2001:DB8::5");  // not the form the parser keeps
  EXPECT_EQ(port_address_format(bad, out, kPortAddressUnits), 1);
  bad = good;
  bad.loopback = 1;
  EXPECT_EQ(port_address_format(bad, out, kPortAddressUnits), 1);
  bad = good;
  std::memset(bad.host, 'a', sizeof bad.host);  // no terminator
  EXPECT_EQ(port_address_format(bad, out, kPortAddressUnits), 1);
  EXPECT_EQ(port_address_short(bad, out, kPortAddressUnits), 1);
  EXPECT_EQ(port_address_loopback(bad), 0);
  PortAddress com{};
  com.kind = kPortCom;
  com.com = 0;
  EXPECT_EQ(port_address_format(com, out, kPortAddressUnits), 1);
  com.com = 256;
  EXPECT_EQ(port_address_format(com, out, kPortAddressUnits), 1);
  com.com = 12;
  EXPECT_EQ(port_address_format(com, out, kPortAddressUnits), 0);
  EXPECT_EQ(ascii(out), "COM12");
}

TEST(PortAddress, SpellingsOfOneAddressAreEqual) {
  const char* const same[][2] = {
      {"listen://4001", " LISTEN://127.0.0.1:4001 "},
      {"socket://[::1]:80", "socket://[0:0:0:0:0:0:0:1]:80"},
      {"rfc2217://Host.Example:2217", "rfc2217://host.example:2217"},
      {"com7", "COM7"},
  };
  for (const auto& pair : same) {
    SCOPED_TRACE(pair[0]);
    PortAddress a, b;
    ASSERT_EQ(parse(u16(pair[0]), &a, nullptr), 0);
    ASSERT_EQ(parse(u16(pair[1]), &b, nullptr), 0);
    EXPECT_TRUE(port_address_equal(a, b));
  }
  PortAddress a, b;
  ASSERT_EQ(parse(u"socket://host:1", &a, nullptr), 0);
  ASSERT_EQ(parse(u"rfc2217://host:1", &b, nullptr), 0);
  EXPECT_FALSE(port_address_equal(a, b));
  ASSERT_EQ(parse(u"socket://[fe80::1%3]:1", &a, nullptr), 0);
  ASSERT_EQ(parse(u"socket://[fe80::1%4]:1", &b, nullptr), 0);
  EXPECT_FALSE(port_address_equal(a, b));
}

TEST(PortAddress, EveryReasonHasItsOwnText) {
  EXPECT_EQ(port_address_reason_text(kAddressOk), kTextNone);
  EXPECT_EQ(port_address_reason_text(kAddressMissingPort), kTextAddressMissingPort);
  EXPECT_EQ(port_address_reason_text(kAddressListenName), kTextAddressListenName);
  int seen[kMessageTexts] = {};
  for (int r = 1; r < kAddressReasons; r++) {
    const int n = port_address_reason_text(r);
    EXPECT_GE(n, kTextAddressEmpty);
    EXPECT_LE(n, kTextAddressListenName);
    EXPECT_EQ(seen[n]++, 0) << "reason " << r;
  }
  EXPECT_EQ(port_address_reason_text(kAddressReasons), kTextNone);
  EXPECT_EQ(port_address_reason_text(-1), kTextNone);
}

}  // namespace
