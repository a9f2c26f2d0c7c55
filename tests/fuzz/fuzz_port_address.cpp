// Feeds arbitrary bytes as a port address text. The first byte chooses how
// the rest becomes UTF-16: one unit per byte (so the fuzzer reaches the
// grammar quickly; a byte with its high bit set is a unit beyond ASCII) or
// little-endian pairs. A text of kPortAddressUnits units or more is handed
// over cut to exactly that many units with no terminator, in a buffer that
// ends there, so that AddressSanitizer sees any read past the bound.
// Whatever is refused must leave the address untouched and name a reason
// with a text; whatever is read must be a consistent address whose
// canonical text reads back to the same address and formats to the same
// text again, and whose short text fits the status bar.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "net/port_address.h"
#include "settings/message_text.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

size_t length(const char16_t* s, size_t units) {
  for (size_t i = 0; i < units; i++)
    if (s[i] == 0) return i;
  std::abort();
}

void check_ascii(const char16_t* s, size_t n) {
  for (size_t i = 0; i < n; i++) check(s[i] > 0x20 && s[i] < 0x7F);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool pairs = data[0] & 1;
  data++;
  size--;
  std::vector<char16_t> text;
  if (pairs) {
    for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  } else {
    for (size_t i = 0; i < size; i++) text.push_back(data[i]);
  }
  if (text.size() >= static_cast<size_t>(kPortAddressUnits)) {
    text.resize(kPortAddressUnits);
    for (char16_t& c : text)
      if (c == 0) c = u'x';
  } else {
    text.push_back(0);
  }

  PortAddress a;
  std::memset(&a, 0xA5, sizeof a);
  int reason = -1;
  const int rc = port_address_parse(text.data(), &a, &reason);
  check(rc == 0 || rc == 1);
  check(reason >= 0 && reason < kAddressReasons);
  check((rc == 0) == (reason == kAddressOk));
  if (rc == 1) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&a);
    for (size_t i = 0; i < sizeof a; i++) check(bytes[i] == 0xA5);
    check(port_address_reason_text(reason) >= kTextAddressEmpty);
    check(port_address_reason_text(reason) <= kTextAddressListenName);
    return 0;
  }

  const size_t host = std::strlen(a.host);
  check(host < sizeof a.host);
  // Names and addresses are kept in lower case; only an IPv6 zone keeps its own.
  for (size_t i = 0; i < host; i++) {
    check(a.host[i] > 0x20 && a.host[i] < 0x7F);
    check(a.host_is_ipv6 || a.host[i] < 'A' || a.host[i] > 'Z');
  }
  if (a.kind == kPortCom) {
    check(a.com >= 1 && a.com <= 255 && host == 0 && a.port == 0);
    check(!a.host_is_ipv4 && !a.host_is_ipv6 && !a.loopback);
  } else {
    check(a.kind == kPortRfc2217 || a.kind == kPortSocket || a.kind == kPortListen);
    check(a.com == 0 && host > 0 && a.port >= 1);
    check(!(a.host_is_ipv4 && a.host_is_ipv6));
    if (a.kind == kPortListen)
      check(a.host_is_ipv4 || a.host_is_ipv6 || std::strcmp(a.host, "localhost") == 0);
  }
  check(a.loopback == port_address_loopback(a));

  char16_t canonical[kPortAddressUnits];
  check(port_address_format(a, canonical, kPortAddressUnits) == 0);
  const size_t n = length(canonical, kPortAddressUnits);
  check_ascii(canonical, n);
  PortAddress back;
  int back_reason = -1;
  check(port_address_parse(canonical, &back, &back_reason) == 0 && back_reason == kAddressOk);
  check(port_address_equal(a, back));
  char16_t again[kPortAddressUnits];
  check(port_address_format(back, again, kPortAddressUnits) == 0);
  check(std::memcmp(canonical, again, (n + 1) * sizeof(char16_t)) == 0);
  // A buffer one unit short is refused and written no further than its end.
  std::vector<char16_t> tight(n);
  if (n > 0) check(port_address_format(a, tight.data(), static_cast<int>(n)) == 1 && tight[0] == 0);

  std::vector<char16_t> shown(kPortAddressShortUnits);
  check(port_address_short(a, shown.data(), kPortAddressShortUnits) == 0);
  const size_t s = length(shown.data(), kPortAddressShortUnits);
  check(s >= 4 && s <= 24);
  check_ascii(shown.data(), s);
  return 0;
}
