// A channel whose port is a network address (net/port_address.h): the
// network link behind LinkOps (serial/port_win.h) for rfc2217://, socket://
// and listen://.
//
// Threads: each channel on the network has one link thread. It connects
// (or listens and takes one client at a time), then waits on its socket
// with WSAEventSelect and feeds the capture as the receive thread of a COM
// port does; nothing of it ever runs on the user-interface thread, so a
// name to look up or a host that never answers costs the window nothing.
// The connect is given up after 5 s. The channel's open flag is set when
// the link is up (for listen://, when it listens); a connection the peer
// closes or breaks sets lost_error, so the line watch treats it as a lost
// port and reconnect brings it back. Writes run on the caller's thread,
// under the link's lock, which the link thread also takes for the Telnet
// session and its replies.
#pragma once

#include <cstdint>

// 1, once, when channel ch's connect or listen failed since it was opened
// (not while it is tried again after a loss): *error the Winsock error.
int net_open_failed(int ch, uint32_t* error);
// 1 while channel ch's link thread runs without a connection yet.
int net_connecting(int ch);
// The RFC 2217 settings that the server has not confirmed, as short names
// ("DTR RTS") into out; 0 (out empty) when there are none or the channel
// is no RFC 2217 link.
int net_unconfirmed(int ch, char16_t* out, int units);
// The Telnet options the server of channel ch refused on this connection,
// as their names ("COM-PORT-OPTION") into out; 0 (out empty) when none.
int net_refused(int ch, char16_t* out, int units);
// The message text that says why a connect or listen failed with `error`.
int net_error_text(uint32_t error);
