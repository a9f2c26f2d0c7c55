// The presence check's reading of the system's serial port list
// (HARDWARE\DEVICEMAP\SERIALCOMM): which of the two channels' ports exist.
#pragma once

#include <cstdint>

// Port number of one registry string such as "COM12": up to three characters
// after the first three, stopping after a NUL or a space, read as a decimal
// number (leading blanks skipped, stops at the first non-digit); 0 for none.
int32_t presence_port_number(const char16_t* data);

// Bit 0 when port1 is the port of `data`, bit 1 when port2 is.
int presence_bits_for(const char16_t* data, int32_t port1, int32_t port2);
