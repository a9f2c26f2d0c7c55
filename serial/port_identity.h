// The hardware identity of a serial port and the rule that finds a
// re-plugged adapter again. Windows may give an adapter another COM number
// when it comes back (another USB socket, or a driver that numbers by
// socket), so when a channel's port is opened its identity is kept, and
// while the port is lost and its number absent the present ports are looked
// through for the same device. This file decides from the device instance
// paths alone; serial/port_identity_win.h reads them from SetupAPI.
#pragma once

#include <cstdint>

// A device instance path holds at most 199 units and its NUL
// (MAX_DEVICE_ID_LEN).
constexpr int kPortIdUnits = 200;

// What a path's enumerator says about its middle and last parts.
enum PortBus : int32_t {
  kPortBusOther = 0,  // ACPI\PNP0501\1, BTHENUM\..., ROOT\PORTS\0000: the whole path only
  kPortBusUsb = 1,    // USB\VID_v&PID_p[&MI_i]\serial-or-made-up
  kPortBusFtdi = 2,   // FTDIBUS\VID_v+PID_p+serial-and-channel\0000
};

struct PortIdentity {
  char16_t instance[kPortIdUnits];  // the port device's instance path; empty: nothing known
  char16_t parent[kPortIdUnits];    // its parent device's instance path, or empty
  int32_t bus;                      // PortBus of the port's own path
  uint16_t vid, pid;                // 0 when the path names none
  int32_t interface_number;         // MI_xx of one function of a composite device; -1 for none
  // What names the device: the last part of a USB path, the part after PID
  // of an FTDIBUS path (its serial with the channel letter, A6008ISPA), or,
  // for a composite device's function, its USB parent's last part.
  char16_t serial[kPortIdUnits];
  // 1 when `serial` is the device's own serial number; 0 when Windows made
  // it up (it holds '&', as 5&2A3B4C5D&0&2: it says which socket the device
  // is in, not which device it is) or there is none.
  int32_t serial_real;
};

// A present port: its COM number and its identity.
struct PortIdentityEntry {
  int32_t number;
  PortIdentity identity;
};

// Fills *out from the port's instance path and its parent's (null or
// empty when it has none). A path is the units before its first NUL; at
// most kPortIdUnits units of each are read, so each path is given either
// terminated or in a buffer of at least kPortIdUnits units. One with no NUL
// among them is longer than any instance path and is taken as none. VID_, PID_, MI_
// and the enumerators are read in any case; VID and PID are four hex digits,
// MI two. A path that does not have the form of its enumerator is still kept
// whole and matches by the whole path only. Returns 0 when the identity has
// something to match on (a port path), 1 when it is empty.
int port_identity_parse(const char16_t* instance, const char16_t* parent, PortIdentity* out);

inline int port_identity_empty(const PortIdentity& id) { return id.instance[0] == 0; }

// 1 when both identities name the same device: the same whole instance path
// (ignoring case), or the same bus, VID, PID and interface and the same real
// serial number. A made-up serial never matches by itself: two CH340
// adapters without serial numbers differ only by socket, and the socket is
// in the whole path. FTDI's channel letter is part of its serial, so channel
// A of a dual chip never matches channel B, and a composite device's
// functions differ by interface. An empty identity matches nothing.
int port_identity_match(const PortIdentity& lost, const PortIdentity& candidate);

// The COM number to reconnect a lost port to, or 0 for none. The caller
// tries the lost number itself first; this answers only for another one:
// - nothing when the lost identity is empty;
// - nothing when the entry under the lost number matches (the device is
//   back under its own number, and the caller's own try opens it); an entry
//   under the lost number that does not match is another device and left out;
// - among the other entries (numbers 1 to 256), the one whose identity
//   matches; nothing when none does or when entries under two numbers do
//   (adapters that share a serial number, as many CP2102 with "0001": which
//   one was ours cannot be told, and opening the wrong one would talk to
//   another device).
int32_t port_identity_find(const PortIdentity& lost, int32_t lost_number, const PortIdentityEntry* present,
                           int32_t n);

// 1 when a lost port may be opened again under its own number: always
// when its identity is not known; otherwise only when an entry under that
// number matches it. Another device now under the number, or none that can
// be told, is never opened as the lost one.
int port_identity_may_open(const PortIdentity& lost, int32_t number, const PortIdentityEntry* present, int32_t n);

// The number of a port's "PortName" value: "COM" (in any case) and a
// decimal number of 1 to 256 without leading zeros, nothing before or
// after; 0 otherwise. Never reads past the value's NUL.
int32_t port_identity_com_number(const char16_t* name);
