// The Modbus monitor's CSV of the capture, shared by its window's
// "Export..." and the command line's "Quorrin.exe /modbus <log> <out>".
#pragma once

#include "app/app_win.h"

// Decodes a snapshot of the capture in the framing that reads more good
// frames, with the line monitor mode and line shapes of the settings, and
// writes the CSV of every frame to `path`. Returns 0, or the message text
// of the failure (a file that could not be written whole is removed).
int modbus_monitor_export(const wchar_t* path);
