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
// closes or breaks, or a peer that stops reading, sets lost_error, so the
// line watch treats it as a lost port and reconnect brings it back. A
// write is queued on the caller's thread under the link's lock and sent
// by the link thread alone, so no caller ever waits on the peer.
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
// The settings the server of channel ch set otherwise than asked, with what
// was asked ("Baud 38400 (asked 250000)"), into out; 0 (out empty) when none.
int net_differences(int ch, char16_t* out, int units);
// The speed the server set when it differs from the one asked, else 0.
uint32_t net_server_baud(int ch);
// The Telnet options the server of channel ch refused on this connection,
// as their names ("COM-PORT-OPTION") into out; 0 (out empty) when none.
int net_refused(int ch, char16_t* out, int units);
// The client a listen:// channel serves ("127.0.0.1:50123") into out;
// 0 (out empty) when none.
int net_peer(int ch, char16_t* out, int units);
// A count that changes whenever a listen:// channel's client changes.
int32_t net_peer_changes(int ch);
// 1, once a connection, when channel ch's server began a subnegotiation
// that never ended and its bytes were taken as data again.
int net_unterminated(int ch);
// The message text that says why a connect or listen failed with `error`.
int net_error_text(uint32_t error);
// Hands `count` bytes to channel ch's link to go out whole, in order after
// everything handed before; never waits for the peer. With `record` the
// link thread records them in the capture as sent once they have wholly
// left (with the time of this call). kSendOk, or kSendWriteFailed when the
// link is not up or its queue cannot take them (the peer is not reading).
int net_send(int ch, const uint8_t* bytes, int count, int record);
