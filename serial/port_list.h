// The port number dialog's rules that need no window: the present-port set
// read from the system's serial port list, the list entries made from the
// devices' friendly names, which entry each channel's port preselects, the
// reading of a chosen entry or a typed number, and the checks of OK.
// The dialog itself is serial/port_dialog_win.cpp.
#pragma once

#include <cstdint>

constexpr int kPortNameUnits = 128;   // a registry string of 256 bytes, terminated
constexpr int kPresentMax = 256;      // values kept from the serial port list
constexpr int kPortEntryUnits = 300;  // "COMn:[" + a 255-unit description + "]\n"
constexpr int kPortListMax = 256;     // device entries in one list

// Port names that the system's serial port list holds (its string data,
// such as "COM3"), compared exactly and case-sensitively.
struct PresentPorts {
  int count;
  char16_t name[kPresentMax][kPortNameUnits];
};

void present_ports_clear(PresentPorts* set);
// Adds one string value's data; data that does not fit a slot, or more
// names than the set holds, are left out (no port name is that long).
void present_ports_add(PresentPorts* set, const char16_t* data);
int present_ports_has(const PresentPorts* set, const char16_t* port_name);

// "COM%d" into out (at least 16 units).
void port_name_of(int32_t number, char16_t* out);

// From a device's friendly name such as "USB Serial Port (COM3)": the port
// name between "(" and the first ")" after "(COM" ("COM3"), and the list
// entry "COM3:[USB Serial Port ]\n" (the description is the friendly name up
// to its "(COM"). 0 when made; 1 when the name has no "(COM" with a ")"
// after it, or the parts do not fit the buffers.
int port_list_entry(const char16_t* friendly, char16_t port_name[kPortNameUnits],
                    char16_t entry[kPortEntryUnits]);

// What the dialog's two lists hold after a build: message text 0 first
// (not kept here), then one entry per listed device, and which entry each
// channel's edit field shows.
constexpr int kChosenEmpty = -2;  // the channel's port is not among the devices
constexpr int kChosenNone = -1;   // message text 0: the channel has no port
struct PortList {
  int count;
  char16_t entry[kPortListMax][kPortEntryUnits];
  char16_t port_name[kPortListMax][16];
  int chosen[2];  // entry index, kChosenNone or kChosenEmpty
};

// Starts a build for the channels' port numbers (0: no port).
void port_list_begin(PortList* list, const int32_t numbers[2]);
// Offers one device: listed when its friendly name names a port that the
// present-port set holds. Returns 1 when it was listed.
int port_list_offer(PortList* list, const PresentPorts* present, const char16_t* friendly,
                    const int32_t numbers[2]);

// The port number of a list entry or of text typed into a list's edit
// field: the digits among its characters 4 to 6 (after "COM"), up to the
// first other character; 0 when there is none.
int32_t port_number_of_choice(const char16_t* text);

// Takes a port chosen in channel ch's list into numbers[]. When both
// channels then have the same port, CH2 is set to 0 and 1 is returned (the
// dialog says so); else 0.
int port_choice_take(int32_t numbers[2], int ch, int32_t number);

// Decimal text of a port number edit: leading blanks, a sign, digits up to
// the first other character, at most 3 characters; text with no number
// reads as 0 (no port).
int32_t port_number_of_edit(const char16_t* text);

// What OK finds, in the order it checks.
enum PortCheck {
  kPortCheckOk,
  kPortCheckSame,        // message text 15; CH2 is set to 0
  kPortCheckRangeCh1,    // message text 17, caption "Quorrin:CH1"; CH1 is set to 0
  kPortCheckRangeCh2,    // message text 17, caption "Quorrin:CH2"; CH2 is set to 0
  kPortCheckMonitorBoth, // message text 16: line monitor mode needs both ports
};
// Checks the numbers read by OK and clears the one a failure names.
PortCheck port_dialog_check(int32_t numbers[2], int32_t lm_mode);
