// The Modbus monitor's CSV of the capture, shared by its window's
// "Export..." and the command line's "Quorrin.exe /modbus <log> <out>".
#pragma once

#include "app/app_win.h"

// Frames one decode keeps; a full capture of short frames holds fewer.
constexpr int kModbusMonitorCapacity = 16384;

// Decodes records 0 .. write position - 1 in the framing that reads more
// good frames, with the line monitor mode and line speeds of the settings,
// and writes their CSV to `path`. Returns 0, or the message text of the
// failure (a file that could not be written whole is removed).
int modbus_monitor_export(const wchar_t* path);
