// The main window's watch over its open channels: a receive thread that
// found its device gone, or a port the presence check no longer lists, is
// either closed with "Unable to connect" (as always) or, with "Reconnect a
// lost port" on, closed quietly and opened again every second with the line
// as it was, receiving on into the same capture (serial/line_watch_win.cpp);
// when the port's number stays away but the same adapter appears under
// another number, there.
#pragma once

#include "app/app_win.h"

// Every kLineWatchPeriodMs from the main window's timer.
constexpr UINT kLineWatchPeriodMs = 250;
void line_watch_tick(HWND owner);
// Channel ch (0, 1) has gone: the presence check says so (error 0) or its
// receive thread did (the Win32 error).
void line_watch_lost(HWND owner, int ch, DWORD error);
// 1 while channel ch is lost and tried again.
int channel_lost(int ch);
// Whole seconds channel ch has been lost.
int channel_lost_seconds(int ch);
// The ports are closed by the user: no more attempts on ch.
void channel_lost_end(int ch);
// Open Ports on lost channel ch: it is tried now, as the line watch tries
// it (same line, same device), and stays lost and tried on if it is still
// away; its "back" event ends the outage.
void channel_lost_try_now(HWND owner, int ch);
// Channel ch has just opened its port: its hardware identity is kept, so
// that a lost adapter that comes back under another COM number is found
// there (serial/port_identity.h).
void channel_identity_note(int ch);
