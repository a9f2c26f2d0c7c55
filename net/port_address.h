// What a channel's port is: a COM port or a network link, written as the
// user types it in the port-number dialog, gives it after /port1 or /port2,
// and as the settings keep it:
//
//   COM3                      a serial port, COM1 to COM255 (any case)
//   rfc2217://host:port       Telnet with the COM Port Control option
//   socket://host:port        raw TCP
//   listen://port             listen on 127.0.0.1, one client at a time
//   listen://address:port     listen on that address (0.0.0.0, [::] ...)
//
// A host is a DNS name, an IPv4 dotted quad or an IPv6 address in brackets
// ([::1], [fe80::1%3] with its zone). This file only reads and writes the
// texts; it never looks a name up, so nothing here waits.
#pragma once

#include <cstdint>

enum PortKind : int32_t {
  kPortCom = 0,
  kPortRfc2217 = 1,
  kPortSocket = 2,
  kPortListen = 3,
};

// Units of a buffer that holds any address text and its terminator; the
// parser reads no further than this. The longest address it accepts,
// "rfc2217://" with a 253-character name and ":65535", is 269 characters.
constexpr int kPortAddressUnits = 300;
// Units of a buffer for port_address_short: 24 characters and a terminator.
constexpr int kPortAddressShortUnits = 25;
// The zone of a scoped IPv6 address: an interface index or name.
constexpr int kPortAddressZoneMax = 32;

struct PortAddress {
  int32_t kind;  // PortKind
  int32_t com;   // 1 to 255 for kPortCom, else 0
  // The host in its canonical form, lower case ASCII, terminated, the rest
  // of the buffer zero: a DNS name, a dotted quad, or an IPv6 address
  // without its brackets (compressed as RFC 5952 writes it, then '%' and
  // the zone as given). Empty for a COM port. "127.0.0.1" for a bare
  // listen://port.
  char host[256];
  uint16_t port;          // 1 to 65535; 0 for a COM port
  int32_t host_is_ipv4;   // host is a dotted quad
  int32_t host_is_ipv6;   // host is an IPv6 address (with the zone, if any)
  int32_t loopback;       // port_address_loopback of this address
};

// Why a text was refused; 0 when it was not.
enum PortAddressReason : int32_t {
  kAddressOk = 0,
  kAddressEmpty = 1,           // nothing but blanks
  kAddressTooLong = 2,         // no terminator within kPortAddressUnits units
  kAddressNonAscii = 3,        // a unit above 0x7F (a full-width character ...)
  kAddressBlank = 4,           // a blank or a control character (DEL too) inside
  kAddressUnknownScheme = 5,   // neither COMn nor a known scheme
  kAddressSchemeSlashes = 6,   // "socket:host:port", "socket:/host:port"
  kAddressBadCom = 7,          // COM0, COM256, COM03, COM
  kAddressMissingHost = 8,     // socket://:4001, socket://
  kAddressMissingPort = 9,     // socket://host, socket://host:
  kAddressBadPort = 10,        // 0, 65536, 080, +80
  kAddressBadHost = 11,        // a character or a label a DNS name cannot have
  kAddressHostTooLong = 12,    // a name over 253 characters or a label over 63
  kAddressBadIpv4 = 13,        // a host that ends in a number but is no dotted quad
  kAddressBadIpv6 = 14,        // bad text between the brackets
  kAddressIpv6Brackets = 15,   // an IPv6 address without its brackets
  kAddressTrailing = 16,       // anything after host:port
  kAddressListenName = 17,     // listen:// on a name other than localhost
  kAddressReasons = 18,
};

// Reads an address from `text` (UTF-16, terminated; at most
// kPortAddressUnits units are read, so a longer text without a terminator
// is refused as too long and never read past). Blanks (space, tab) around
// it are dropped. Scheme names and "COM" are read in any case; the host is
// kept in lower case. Returns 0 and fills *out, or returns 1, sets *reason
// (when not null) and leaves *out as it was.
int port_address_parse(const char16_t* text, PortAddress* out, int* reason);

// The canonical text of `a` into out (`units` units): lower-case scheme,
// "COM3", an IPv6 host in brackets, "listen://port" for 127.0.0.1. Parsing
// it gives `a` back. Returns 0, or 1 (out empty when units >= 1) when `a`
// is not a valid address or out is too small (kPortAddressUnits always
// suffices).
int port_address_format(const PortAddress& a, char16_t* out, int units);

// The status bar's text for the port, at most 24 characters: "Com3";
// "tcp:host:port" for socket://, "rfc:host:port" for rfc2217://;
// "listen:port" for a loopback listen address and "listen:address:port"
// for any other, so an address open to the network always shows. A host
// that does not fit is cut and ends in "...". Returns 0, or 1 (out empty
// when units >= 1) for an invalid address or a buffer shorter than
// kPortAddressShortUnits.
int port_address_short(const PortAddress& a, char16_t* out, int units);

// 1 when the host is this machine only: 127.0.0.0/8, ::1, an IPv4-mapped
// ::ffff:127.x.x.x, or the name "localhost"; 0 otherwise (and for COM).
// The zone of an IPv6 address does not change the answer.
int port_address_loopback(const PortAddress& a);

// 1 when a and b name the same port (every field equal).
int port_address_equal(const PortAddress& a, const PortAddress& b);

// The message text that explains `reason` (a MessageNumber); kTextNone for
// kAddressOk.
int port_address_reason_text(int reason);
