// The Modbus monitor's CSV for the command line's "Quorrin.exe /modbus
// <log or recording> <out>" (the window's "Export..." writes the frames its
// list shows).
#pragma once

#include "app/app_win.h"
#include "serial/line_params.h"

// Decodes a snapshot of the capture in the framing that reads more good
// frames, with the line monitor mode and line shapes of the settings, and
// writes the CSV of every frame to `path`. Returns 0, or the message text
// of the failure (a file that could not be written whole is removed).
int modbus_monitor_export(const wchar_t* path);
// The same CSV of a recording, decoded a window at a time: `next` gives the
// windows in turn (null after the last) and each window's line shapes as
// its recording's header says. Both run on the command line's thread.
// Returns 0, or the message text of the failure (kTextNoDataToExport when
// no window came).
int modbus_monitor_export_windows(const wchar_t* path, CaptureSnapshot* (*next)(void* ctx, LineShape shape[2]),
                                  void* ctx);

// The decoder's options of the settings now (framing read from the data,
// line monitor mode, the line shapes, the network channels); on the
// user-interface thread, which owns the settings.
struct ModbusMonitorOptions;
void modbus_monitor_options_now(ModbusMonitorOptions* out);
