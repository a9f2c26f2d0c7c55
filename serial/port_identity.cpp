#include "serial/port_identity.h"

namespace {

// A piece of a path: n units from p, not terminated.
struct Span {
  const char16_t* p;
  int n;
};

char16_t upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

// Units of s before its NUL; -1 when there is none among kPortIdUnits.
int path_length(const char16_t* s) {
  if (!s) return 0;
  for (int i = 0; i < kPortIdUnits; i++)
    if (s[i] == 0) return i;
  return -1;
}

int span_starts(Span s, const char* ascii) {
  int i = 0;
  for (; ascii[i]; i++)
    if (i >= s.n || upper(s.p[i]) != static_cast<char16_t>(ascii[i])) return 0;
  return 1;
}

int span_is(Span s, const char* ascii) {
  int n = 0;
  while (ascii[n]) n++;
  return s.n == n && span_starts(s, ascii);
}

// Cuts s at `sep` into at most `max` pieces, the last one taking the rest;
// returns how many.
int span_split(Span s, char16_t sep, Span* piece, int max) {
  int count = 0, start = 0;
  for (int i = 0; i < s.n && count < max - 1; i++)
    if (s.p[i] == sep) {
      piece[count++] = {s.p + start, i - start};
      start = i + 1;
    }
  piece[count++] = {s.p + start, s.n - start};
  return count;
}

// The value of a field such as "VID_0403": the prefix, then exactly
// `digits` hex digits; -1 when it is not that.
int32_t field_hex(Span s, const char* prefix, int digits) {
  int len = 0;
  while (prefix[len]) len++;
  if (s.n != len + digits || !span_starts(s, prefix)) return -1;
  int32_t v = 0;
  for (int i = len; i < s.n; i++) {
    char16_t c = upper(s.p[i]);
    if (c >= u'0' && c <= u'9') v = v * 16 + (c - u'0');
    else if (c >= u'A' && c <= u'F') v = v * 16 + (c - u'A' + 10);
    else return -1;
  }
  return v;
}

// A serial number of the device's own: printable ASCII without blanks. A
// '&' marks the ids Windows makes up from the socket (5&2A3B4C5D&0&2).
int serial_is_real(Span s) {
  if (s.n == 0) return 0;
  for (int i = 0; i < s.n; i++)
    if (s.p[i] <= u' ' || s.p[i] > u'~' || s.p[i] == u'&') return 0;
  return 1;
}

struct PathParts {
  int32_t bus;
  uint16_t vid, pid;
  int32_t interface_number;
  Span serial;
};

// What the enumerator's form of a path says. An instance path has three
// parts: enumerator, device, instance.
PathParts path_read(Span path) {
  PathParts out = {kPortBusOther, 0, 0, -1, {path.p, 0}};
  Span part[3];
  if (span_split(path, u'\\', part, 3) != 3 || part[0].n == 0 || part[1].n == 0 || part[2].n == 0) return out;
  for (int i = 0; i < part[2].n; i++)
    if (part[2].p[i] == u'\\') return out;
  Span field[4];
  if (span_is(part[0], "USB")) {
    // VID_0403&PID_6001, or VID_10C4&PID_EA70&MI_01 for one function of a
    // composite device.
    int n = span_split(part[1], u'&', field, 4);
    int32_t vid = n >= 2 ? field_hex(field[0], "VID_", 4) : -1;
    int32_t pid = n >= 2 ? field_hex(field[1], "PID_", 4) : -1;
    int32_t mi = n == 3 ? field_hex(field[2], "MI_", 2) : -1;
    if (vid < 0 || pid < 0 || n > 3 || (n == 3 && mi < 0)) return out;
    return {kPortBusUsb, static_cast<uint16_t>(vid), static_cast<uint16_t>(pid), mi, part[2]};
  }
  if (span_is(part[0], "FTDIBUS")) {
    // VID_0403+PID_6010+FT4ABCDEA: the serial carries the channel letter;
    // the instance part (0000) says nothing.
    if (span_split(part[1], u'+', field, 3) != 3 || field[2].n == 0) return out;
    int32_t vid = field_hex(field[0], "VID_", 4), pid = field_hex(field[1], "PID_", 4);
    if (vid < 0 || pid < 0) return out;
    return {kPortBusFtdi, static_cast<uint16_t>(vid), static_cast<uint16_t>(pid), -1, field[2]};
  }
  return out;
}

void copy_units(char16_t* dst, Span s) {
  for (int i = 0; i < s.n; i++) dst[i] = s.p[i];
  dst[s.n] = 0;
}

// Both strings terminated within kPortIdUnits (as parse leaves them).
int equal_nocase(const char16_t* a, const char16_t* b) {
  for (int i = 0; i < kPortIdUnits; i++) {
    if (upper(a[i]) != upper(b[i])) return 0;
    if (a[i] == 0) return 1;
  }
  return 0;
}

}  // namespace

int port_identity_parse(const char16_t* instance, const char16_t* parent, PortIdentity* out) {
  *out = PortIdentity{};
  out->interface_number = -1;
  const int n = path_length(instance), parent_n = path_length(parent);
  if (n <= 0) return 1;
  copy_units(out->instance, {instance, n});
  if (parent_n > 0) copy_units(out->parent, {parent, parent_n});
  const PathParts own = path_read({out->instance, n});
  out->bus = own.bus;
  out->vid = own.vid;
  out->pid = own.pid;
  out->interface_number = own.interface_number;
  Span serial = own.serial;
  // A composite device's function has an id made up from its place; the
  // device's serial number is its parent's (USB\VID_v&PID_p\serial).
  if (own.bus == kPortBusUsb && own.interface_number >= 0 && !serial_is_real(serial) && parent_n > 0) {
    const PathParts up = path_read({out->parent, parent_n});
    if (up.bus == kPortBusUsb && up.interface_number < 0 && up.vid == own.vid && up.pid == own.pid &&
        serial_is_real(up.serial))
      serial = up.serial;
  }
  copy_units(out->serial, serial);
  out->serial_real = serial_is_real(serial);
  return 0;
}

int port_identity_match(const PortIdentity& lost, const PortIdentity& candidate) {
  if (port_identity_empty(lost) || port_identity_empty(candidate)) return 0;
  if (equal_nocase(lost.instance, candidate.instance)) return 1;
  return lost.serial_real && candidate.serial_real && lost.bus != kPortBusOther && lost.bus == candidate.bus &&
         lost.vid == candidate.vid && lost.pid == candidate.pid &&
         lost.interface_number == candidate.interface_number && equal_nocase(lost.serial, candidate.serial);
}

int32_t port_identity_find(const PortIdentity& lost, int32_t lost_number, const PortIdentityEntry* present,
                           int32_t n) {
  if (port_identity_empty(lost) || !present) return 0;
  int32_t found = 0;
  for (int32_t i = 0; i < n; i++) {
    const PortIdentityEntry& e = present[i];
    if (e.number < 1 || e.number > 256 || !port_identity_match(lost, e.identity)) continue;
    if (e.number == lost_number) return 0;
    if (found && found != e.number) return 0;
    found = e.number;
  }
  return found;
}

int port_identity_may_open(const PortIdentity& lost, int32_t number, const PortIdentityEntry* present, int32_t n) {
  if (port_identity_empty(lost)) return 1;
  for (int32_t i = 0; present && i < n; i++)
    if (present[i].number == number) return port_identity_match(lost, present[i].identity);
  return 0;
}

int32_t port_identity_com_number(const char16_t* name) {
  if (!name || upper(name[0]) != u'C' || upper(name[1]) != u'O' || upper(name[2]) != u'M') return 0;
  if (name[3] < u'1' || name[3] > u'9') return 0;
  int32_t n = 0;
  int i = 3;
  for (; i < 6 && name[i] >= u'0' && name[i] <= u'9'; i++) n = n * 10 + (name[i] - u'0');
  return name[i] == 0 && n <= 256 ? n : 0;
}
