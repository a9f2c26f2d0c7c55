// Feeds arbitrary bytes as the instance paths of a lost port and of a
// present one (each with a parent) and as a "PortName" value. The input is
// four bytes of shape (which paths are full buffers without a NUL, whether
// the lost port has a parent, how each path begins, the two COM numbers),
// then the five texts cut at '\n', a byte with its high bit set standing
// for a unit beyond ASCII. Each path lies in a buffer exactly as long as it
// is, or of exactly kPortIdUnits units when it has no NUL, so that
// AddressSanitizer sees any read past it. Every identity must come back
// terminated inside its buffers and consistent with its paths; the match
// must be symmetric and hold for a port and itself; find must name the
// present port exactly when it matches under another valid number, and none
// when two numbers match.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "serial/port_identity.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// Paths often begin like the real ones, so the parts after them are reached.
const char* const kStarts[] = {"", "USB\\VID_10C4&PID_EA70\\", "usb\\vid_10c4&pid_ea70&mi_0",
                               "FTDIBUS\\VID_0403+PID_6010+"};

std::vector<char16_t> make_path(const uint8_t* bytes, size_t n, int start, bool unterminated) {
  std::vector<char16_t> path;
  for (const char* c = kStarts[start]; *c; c++) path.push_back(static_cast<char16_t>(*c));
  for (size_t i = 0; i < n; i++)
    path.push_back(bytes[i] & 0x80 ? static_cast<char16_t>(bytes[i] << 8 | bytes[i]) : bytes[i]);
  if (!unterminated) {
    path.push_back(0);
    return path;
  }
  path.resize(kPortIdUnits, u'x');
  for (char16_t& c : path)
    if (c == 0) c = u'x';
  return path;
}

size_t terminated_length(const char16_t* s) {
  for (size_t i = 0; i < kPortIdUnits; i++)
    if (s[i] == 0) return i;
  std::abort();
}

void check_identity(const PortIdentity& id, int rc) {
  check(rc == 0 || rc == 1);
  check((rc == 1) == (port_identity_empty(id) != 0));
  terminated_length(id.instance);
  terminated_length(id.parent);
  const size_t serial = terminated_length(id.serial);
  check(id.bus >= kPortBusOther && id.bus <= kPortBusFtdi);
  check(id.serial_real == 0 || id.serial_real == 1);
  check(id.interface_number >= -1 && id.interface_number <= 0xFF);
  if (id.bus == kPortBusOther) check(id.vid == 0 && id.pid == 0 && serial == 0 && id.interface_number == -1);
  if (id.serial_real) {
    check(id.bus != kPortBusOther && serial > 0);
    for (size_t i = 0; i < serial; i++) check(id.serial[i] > u' ' && id.serial[i] <= u'~' && id.serial[i] != u'&');
  }
  if (rc == 1) check(id.parent[0] == 0 && id.serial[0] == 0);
  check(port_identity_match(id, id) == (rc == 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint8_t unterminated = data[0], starts = data[1];
  const int32_t lost_number = data[2], number = data[3];
  data += 4;
  size -= 4;
  std::vector<char16_t> text[5];
  for (int i = 0; i < 5; i++) {
    size_t n = 0;
    while (n < size && data[n] != '\n') n++;
    text[i] = i < 4 ? make_path(data, n, starts >> (2 * i) & 3, unterminated >> i & 1) : make_path(data, n, 0, false);
    const size_t used = n < size ? n + 1 : n;
    data += used;
    size -= used;
  }
  PortIdentity lost;
  check_identity(lost, port_identity_parse(text[0].data(), unterminated & 0x10 ? nullptr : text[1].data(), &lost));
  PortIdentityEntry present[2];
  check_identity(present[0].identity, port_identity_parse(text[2].data(), text[3].data(), &present[0].identity));
  present[0].number = number;
  present[1] = present[0];
  present[1].number = number + 1;

  const int same = port_identity_match(lost, present[0].identity);
  check(same == port_identity_match(present[0].identity, lost));
  const bool valid = number >= 1 && number <= 256 && number != lost_number;
  check(port_identity_find(lost, lost_number, present, 1) == (same && valid ? number : 0));
  // The same device under two numbers cannot be told apart; 0 is no number,
  // and an entry under the lost number that matches means none.
  const int32_t two = same && number == 0 && lost_number != 1 ? 1 : 0;
  check(port_identity_find(lost, lost_number, present, 2) == two);

  const int32_t com = port_identity_com_number(text[4].data());
  check(com >= 0 && com <= 256);
  return 0;
}
