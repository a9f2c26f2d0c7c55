// Reading and writing port addresses. The text is first made plain ASCII
// (bounded, trimmed, checked for blanks), then read left to right: COMn, or
// a scheme, "://" and host:port. Hosts are kept in one canonical form so
// that two spellings of one address compare equal and format reads back.
#include "net/port_address.h"

#include <cstdio>
#include <cstring>

#include "app/text16.h"
#include "settings/message_text.h"

namespace {

constexpr int kNameMax = 253;   // a DNS name without its root dot
constexpr int kLabelMax = 63;   // one label of a DNS name
constexpr char kDefaultListen[] = "127.0.0.1";

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
int hex_value(char c) { return is_digit(c) ? c - '0' : lower(c) - 'a' + 10; }

bool equal_nocase(const char* p, int n, const char* word) {
  int i = 0;
  for (; i < n && word[i]; i++)
    if (lower(p[i]) != word[i]) return false;
  return i == n && word[i] == 0;
}

int find(const char* p, int n, char c) {
  for (int i = 0; i < n; i++)
    if (p[i] == c) return i;
  return -1;
}

int find_last(const char* p, int n, char c) {
  for (int i = n - 1; i >= 0; i--)
    if (p[i] == c) return i;
  return -1;
}

// The text as trimmed ASCII in out (kPortAddressUnits chars), its length in
// *n; a reason when it cannot be one.
int read_ascii(const char16_t* text, char* out, int* n) {
  if (!text) return kAddressEmpty;
  int len = 0;
  while (len < kPortAddressUnits && text[len]) len++;
  if (len == kPortAddressUnits) return kAddressTooLong;
  for (int i = 0; i < len; i++)
    if (text[i] > 0x7F) return kAddressNonAscii;
  int begin = 0, end = len;
  while (begin < end && (text[begin] == u' ' || text[begin] == u'\t')) begin++;
  while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t')) end--;
  if (begin == end) return kAddressEmpty;
  for (int i = begin; i < end; i++) {
    if (text[i] <= 0x20 || text[i] == 0x7F) return kAddressBlank;
    out[i - begin] = static_cast<char>(text[i]);
  }
  *n = end - begin;
  return kAddressOk;
}

// A dotted quad: four decimal numbers 0 to 255, "0" the only one that
// begins with 0 (inet_aton would read 010 as octal 8).
bool parse_ipv4(const char* p, int n, uint8_t out[4]) {
  int i = 0;
  for (int part = 0; part < 4; part++) {
    if (part > 0) {
      if (i >= n || p[i] != '.') return false;
      i++;
    }
    int start = i, value = 0;
    while (i < n && is_digit(p[i]) && i - start < 3) value = value * 10 + (p[i++] - '0');
    const int digits = i - start;
    if (digits == 0 || (i < n && is_digit(p[i])) || (digits > 1 && p[start] == '0') || value > 255) return false;
    out[part] = static_cast<uint8_t>(value);
  }
  return i == n;
}

bool zone_char(char c) { return is_letter(c) || is_digit(c) || c == '.' || c == '_' || c == '-'; }

// An IPv6 address with an optional %zone: up to eight groups of one to
// four hex digits, at most one "::" standing for one or more zero groups,
// and an optional dotted quad for the last two groups.
bool parse_ipv6(const char* p, int n, uint8_t out[16], const char** zone, int* zone_len) {
  const int pct = find(p, n, '%');
  *zone = nullptr;
  *zone_len = 0;
  if (pct >= 0) {
    const int zn = n - pct - 1;
    if (zn < 1 || zn > kPortAddressZoneMax) return false;
    for (int i = pct + 1; i < n; i++)
      if (!zone_char(p[i])) return false;
    *zone = p + pct + 1;
    *zone_len = zn;
    n = pct;
  }
  uint16_t groups[8] = {};
  int count = 0, gap = -1, i = 0;
  if (n == 0) return false;
  if (p[0] == ':') {
    if (n < 2 || p[1] != ':') return false;
    gap = 0;
    i = 2;
  }
  while (i < n) {
    const int start = i;
    int value = 0;
    while (i < n && is_hex(p[i]) && i - start < 4) value = value * 16 + hex_value(p[i++]);
    if (i == start || (i < n && is_hex(p[i]))) return false;
    if (i < n && p[i] == '.') {
      uint8_t quad[4];
      if (count > 6 || !parse_ipv4(p + start, n - start, quad)) return false;
      groups[count++] = static_cast<uint16_t>(quad[0] << 8 | quad[1]);
      groups[count++] = static_cast<uint16_t>(quad[2] << 8 | quad[3]);
      i = n;
      break;
    }
    if (count == 8) return false;
    groups[count++] = static_cast<uint16_t>(value);
    if (i == n) break;
    if (p[i] != ':') return false;
    i++;
    if (i < n && p[i] == ':') {
      if (gap >= 0) return false;
      gap = count;
      i++;
    } else if (i == n) {
      return false;  // a single ':' at the end
    }
  }
  if (gap < 0 ? count != 8 : count > 7) return false;
  uint16_t full[8] = {};
  if (gap < 0) {
    for (int g = 0; g < 8; g++) full[g] = groups[g];
  } else {
    for (int g = 0; g < gap; g++) full[g] = groups[g];
    const int tail = count - gap;
    for (int g = 0; g < tail; g++) full[8 - tail + g] = groups[gap + g];
  }
  for (int g = 0; g < 8; g++) {
    out[2 * g] = static_cast<uint8_t>(full[g] >> 8);
    out[2 * g + 1] = static_cast<uint8_t>(full[g]);
  }
  return true;
}

// RFC 5952's text of an address: lower-case hex without leading zeros, the
// longest run of two or more zero groups (the first of equal runs) as
// "::", and IPv4-mapped addresses as ::ffff:a.b.c.d. Then %zone.
void write_ipv6(const uint8_t a[16], const char* zone, int zone_len, char* out, int cap) {
  int len = 0;
  static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  if (std::memcmp(a, kMapped, 12) == 0) {
    len = std::snprintf(out, cap, "::ffff:%d.%d.%d.%d", a[12], a[13], a[14], a[15]);
  } else {
    int g[8];
    for (int i = 0; i < 8; i++) g[i] = a[2 * i] << 8 | a[2 * i + 1];
    int best = -1, best_len = 1;
    for (int i = 0; i < 8;) {
      if (g[i] != 0) {
        i++;
        continue;
      }
      int j = i;
      while (j < 8 && g[j] == 0) j++;
      if (j - i > best_len) {
        best = i;
        best_len = j - i;
      }
      i = j;
    }
    for (int i = 0; i < 8; i++) {
      if (i == best) {
        len += std::snprintf(out + len, cap - len, "::");
        i += best_len - 1;
        continue;
      }
      len += std::snprintf(out + len, cap - len, "%s%x", i > 0 && i != best + best_len ? ":" : "", g[i]);
    }
  }
  if (zone_len > 0) std::snprintf(out + len, cap - len, "%%%.*s", zone_len, zone);
}

// A host without brackets: a dotted quad or a DNS name, kept in lower case.
int read_host(const char* p, int n, PortAddress* a) {
  if (n == 0) return kAddressMissingHost;
  for (int i = 0; i < n; i++)
    if (!is_letter(p[i]) && !is_digit(p[i]) && p[i] != '-' && p[i] != '.') return kAddressBadHost;
  // A name whose last label is a number would be read as an address by
  // getaddrinfo (inet_aton takes "10.1", "0x0a.1", "010.0.0.1"), so it
  // must be a proper dotted quad; a real top-level domain never is numeric.
  const int last = find_last(p, n, '.') + 1;
  bool numeric = last < n;
  for (int i = last; i < n; i++) numeric = numeric && is_digit(p[i]);
  const bool hex = n - last >= 2 && p[last] == '0' && lower(p[last + 1]) == 'x';
  if (hex) {
    numeric = true;
    for (int i = last + 2; i < n; i++) numeric = numeric && is_hex(p[i]);
  }
  if (numeric) {
    uint8_t quad[4];
    if (!parse_ipv4(p, n, quad)) return kAddressBadIpv4;
    std::snprintf(a->host, sizeof a->host, "%d.%d.%d.%d", quad[0], quad[1], quad[2], quad[3]);
    a->host_is_ipv4 = 1;
    return kAddressOk;
  }
  if (n > kNameMax) return kAddressHostTooLong;
  int start = 0;
  for (int i = 0; i <= n; i++) {
    if (i < n && p[i] != '.') continue;
    const int len = i - start;
    if (len == 0 || p[start] == '-' || p[i - 1] == '-') return kAddressBadHost;
    if (len > kLabelMax) return kAddressHostTooLong;
    start = i + 1;
  }
  for (int i = 0; i < n; i++) a->host[i] = lower(p[i]);
  a->host[n] = 0;
  return kAddressOk;
}

// The host between brackets.
int read_ipv6_host(const char* p, int n, PortAddress* a) {
  uint8_t bytes[16];
  const char* zone;
  int zone_len;
  if (!parse_ipv6(p, n, bytes, &zone, &zone_len)) return kAddressBadIpv6;
  write_ipv6(bytes, zone, zone_len, a->host, sizeof a->host);
  a->host_is_ipv6 = 1;
  return kAddressOk;
}

// The port after the ':': decimal 1 to 65535, nothing else, no sign, no
// leading zero.
int read_port(const char* p, int n, PortAddress* a) {
  if (n == 0) return kAddressMissingPort;
  int i = 0;
  int32_t value = 0;
  while (i < n && is_digit(p[i])) {
    if (value <= 65535) value = value * 10 + (p[i] - '0');
    i++;
  }
  if (i == 0) return kAddressBadPort;
  if (i < n) return kAddressTrailing;
  if (p[0] == '0' || value > 65535) return kAddressBadPort;
  a->port = static_cast<uint16_t>(value);
  return kAddressOk;
}

bool all_digits(const char* p, int n) {
  for (int i = 0; i < n; i++)
    if (!is_digit(p[i])) return false;
  return true;
}

// An IPv6 address written without brackets, with or without a port after
// it: "fe80::1", "::1:4001".
bool bare_ipv6(const char* p, int n) {
  uint8_t bytes[16];
  const char* zone;
  int zone_len;
  if (parse_ipv6(p, n, bytes, &zone, &zone_len)) return true;
  const int colon = find_last(p, n, ':');
  return colon > 0 && parse_ipv6(p, colon, bytes, &zone, &zone_len);
}

// host:port after "scheme://".
int read_network(const char* p, int n, PortAddress* a) {
  if (n == 0) return kAddressMissingHost;
  int r;
  if (p[0] == '[') {
    const int close = find(p, n, ']');
    if (close < 0) return kAddressBadIpv6;
    if ((r = read_ipv6_host(p + 1, close - 1, a)) != kAddressOk) return r;
    const int after = close + 1;
    if (after == n) return kAddressMissingPort;
    if (p[after] != ':') return kAddressTrailing;
    return read_port(p + after + 1, n - after - 1, a);
  }
  const int colon = find(p, n, ':');
  if (colon >= 0 && find(p + colon + 1, n - colon - 1, ':') >= 0 && bare_ipv6(p, n)) return kAddressIpv6Brackets;
  if (colon < 0) {
    // listen://4001 listens on the loopback address.
    if (a->kind == kPortListen && all_digits(p, n)) {
      std::memcpy(a->host, kDefaultListen, sizeof kDefaultListen);
      a->host_is_ipv4 = 1;
      return read_port(p, n, a);
    }
    if (all_digits(p, n)) return kAddressMissingHost;  // socket://4001
    if ((r = read_host(p, n, a)) != kAddressOk) return r;
    return kAddressMissingPort;
  }
  if ((r = read_host(p, colon, a)) != kAddressOk) return r;
  return read_port(p + colon + 1, n - colon - 1, a);
}

// The whole parse into *a (zeroed by the caller).
int read_address(const char* p, int n, PortAddress* a) {
  if (n >= 3 && equal_nocase(p, 3, "com") && all_digits(p + 3, n - 3)) {
    const int digits = n - 3;
    if (digits == 0 || digits > 3 || p[3] == '0') return kAddressBadCom;
    int value = 0;
    for (int i = 3; i < n; i++) value = value * 10 + (p[i] - '0');
    if (value > 255) return kAddressBadCom;
    a->kind = kPortCom;
    a->com = value;
    return kAddressOk;
  }
  int colon = find(p, n, ':');
  if (colon < 0) colon = n;  // "socket" alone still gets told about "://"
  if (equal_nocase(p, colon, "rfc2217")) a->kind = kPortRfc2217;
  else if (equal_nocase(p, colon, "socket")) a->kind = kPortSocket;
  else if (equal_nocase(p, colon, "listen")) a->kind = kPortListen;
  else return kAddressUnknownScheme;
  if (n - colon < 3 || p[colon + 1] != '/' || p[colon + 2] != '/') return kAddressSchemeSlashes;
  const int r = read_network(p + colon + 3, n - colon - 3, a);
  if (r != kAddressOk) return r;
  // Binding to a name would need a lookup that may give several addresses;
  // localhost is the one name every system resolves by itself.
  if (a->kind == kPortListen && !a->host_is_ipv4 && !a->host_is_ipv6 && std::strcmp(a->host, "localhost") != 0)
    return kAddressListenName;
  return kAddressOk;
}

const char* scheme_of(int32_t kind) {
  switch (kind) {
    case kPortRfc2217: return "rfc2217";
    case kPortSocket: return "socket";
    case kPortListen: return "listen";
    default: return "";
  }
}

// The canonical text into out (kPortAddressUnits chars), or false for an
// address that is not one the parser could have given.
bool canonical_text(const PortAddress& a, char* out) {
  if (a.kind == kPortCom) {
    std::snprintf(out, kPortAddressUnits, "COM%d", static_cast<int>(a.com));
  } else if (a.kind == kPortRfc2217 || a.kind == kPortSocket || a.kind == kPortListen) {
    if (std::memchr(a.host, 0, sizeof a.host) == nullptr) return false;
    const char* open = a.host_is_ipv6 ? "[" : "";
    const char* close = a.host_is_ipv6 ? "]" : "";
    if (a.kind == kPortListen && std::strcmp(a.host, kDefaultListen) == 0)
      std::snprintf(out, kPortAddressUnits, "listen://%d", a.port);
    else
      std::snprintf(out, kPortAddressUnits, "%s://%s%s%s:%d", scheme_of(a.kind), open, a.host, close, a.port);
  } else {
    return false;
  }
  // Whatever would not read back as this very address (a hand-made one
  // with a bad host, a flag that does not match it, COM0) is refused
  // rather than written.
  char16_t text[kPortAddressUnits];
  text16_from_ascii(text, kPortAddressUnits, out);
  PortAddress back;
  return port_address_parse(text, &back, nullptr) == 0 && port_address_equal(back, a);
}

int refuse_output(char16_t* out, int units) {
  if (out && units >= 1) out[0] = 0;
  return 1;
}

}  // namespace

int port_address_parse(const char16_t* text, PortAddress* out, int* reason) {
  if (!out) return 1;
  char ascii[kPortAddressUnits];
  int n = 0;
  int r = read_ascii(text, ascii, &n);
  PortAddress a;
  std::memset(&a, 0, sizeof a);
  if (r == kAddressOk) r = read_address(ascii, n, &a);
  if (reason) *reason = r;
  if (r != kAddressOk) return 1;
  a.loopback = port_address_loopback(a);
  *out = a;
  return 0;
}

int port_address_format(const PortAddress& a, char16_t* out, int units) {
  char text[kPortAddressUnits];
  if (!out || units < 1 || !canonical_text(a, text)) return refuse_output(out, units);
  if (static_cast<int>(std::strlen(text)) >= units) return refuse_output(out, units);
  text16_from_ascii(out, units, text);
  return 0;
}

int port_address_short(const PortAddress& a, char16_t* out, int units) {
  char text[kPortAddressUnits];
  if (!out || units < kPortAddressShortUnits || !canonical_text(a, text)) return refuse_output(out, units);
  char shown[kPortAddressUnits];  // at most 24 used: the host is cut to its room below
  if (a.kind == kPortCom) {
    std::snprintf(shown, sizeof shown, "Com%d", static_cast<int>(a.com));
  } else {
    const char* prefix = a.kind == kPortSocket ? "tcp:" : a.kind == kPortRfc2217 ? "rfc:" : "listen:";
    char port[8];
    std::snprintf(port, sizeof port, "%s%d", a.kind == kPortListen && a.loopback ? "" : ":", a.port);
    char host[sizeof a.host + 2] = "";
    if (!(a.kind == kPortListen && a.loopback))
      std::snprintf(host, sizeof host, "%s%s%s", a.host_is_ipv6 ? "[" : "", a.host, a.host_is_ipv6 ? "]" : "");
    const int room = kPortAddressShortUnits - 1 - static_cast<int>(std::strlen(prefix) + std::strlen(port));
    if (static_cast<int>(std::strlen(host)) > room) std::memcpy(host + room - 3, "...", 4);
    std::snprintf(shown, sizeof shown, "%s%s%s", prefix, host, port);
  }
  text16_from_ascii(out, units, shown);
  return 0;
}

int port_address_loopback(const PortAddress& a) {
  if (a.kind == kPortCom || std::memchr(a.host, 0, sizeof a.host) == nullptr) return 0;
  const int n = static_cast<int>(std::strlen(a.host));
  uint8_t bytes[16];
  if (a.host_is_ipv6) {
    const char* zone;
    int zone_len;
    if (!parse_ipv6(a.host, n, bytes, &zone, &zone_len)) return 0;
    static const uint8_t kOne[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(bytes, kOne, 16) == 0) return 1;
    return std::memcmp(bytes, kMapped, 12) == 0 && bytes[12] == 127;
  }
  if (a.host_is_ipv4) return parse_ipv4(a.host, n, bytes) && bytes[0] == 127;
  return equal_nocase(a.host, n, "localhost");
}

int port_address_equal(const PortAddress& a, const PortAddress& b) {
  return a.kind == b.kind && a.com == b.com && std::strncmp(a.host, b.host, sizeof a.host) == 0 &&
         a.port == b.port && a.host_is_ipv4 == b.host_is_ipv4 && a.host_is_ipv6 == b.host_is_ipv6 &&
         a.loopback == b.loopback;
}

int port_address_reason_text(int reason) {
  static const int kTexts[kAddressReasons] = {
      kTextNone,
      kTextAddressEmpty,
      kTextAddressTooLong,
      kTextAddressNonAscii,
      kTextAddressBlank,
      kTextAddressUnknownScheme,
      kTextAddressSchemeSlashes,
      kTextAddressBadCom,
      kTextAddressMissingHost,
      kTextAddressMissingPort,
      kTextAddressBadPort,
      kTextAddressBadHost,
      kTextAddressHostTooLong,
      kTextAddressBadIpv4,
      kTextAddressBadIpv6,
      kTextAddressIpv6Brackets,
      kTextAddressTrailing,
      kTextAddressListenName,
  };
  return reason >= 0 && reason < kAddressReasons ? kTexts[reason] : kTextNone;
}
