// The network link of a channel (see net/link_net_win.h).
//
// The link thread's receive: WSAEventSelect signals the link's event when
// bytes are there, the socket can take more, or the peer has closed; the
// thread reads everything the socket holds, up to kNetRead bytes a read,
// takes the Telnet commands out on an RFC 2217 link, and appends the data
// in chunks of 100 bytes with the time of its read.
//
// The link thread alone writes to the socket: every write (the user's
// data, the line requests, the negotiation answers) goes into the link's
// outgoing queue (net/link_queue.h) under the lock and wakes the thread,
// which sends it non-blocking, resumes a partial send where it stopped,
// and records each data write in the capture once it has wholly left, at
// the time it was handed over. So nothing that sends ever waits on the
// peer, and the peer sees each write and each command whole and in order;
// a peer that takes nothing for kLinkStallLimitUs has stopped reading and
// the link is lost. Nothing allocates while the link is up: the buffers
// are the link's own.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "app/app_win.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "net/link_net_win.h"
#include "net/link_queue.h"
#include "net/telnet.h"
#include "serial/dcb_win.h"
#include "serial/port_win.h"
#include "serial/receive_plan.h"
#include "send/transmit_win.h"

namespace {

constexpr DWORD kConnectLimitMs = 5000;  // a connect not done by then has failed
// A close waits kCloseLimitMs for the link thread, which wakes at once
// unless a name lookup holds it, and otherwise leaves it to end by itself.
// The lock is only ever held for copies, never across a wait or a send.
constexpr DWORD kCloseLimitMs = 50;
// While bytes wait for the peer, the link thread looks at them this often
// even when the socket says nothing.
constexpr DWORD kFlushLookMs = 100;
constexpr int kNetRead = 4096;
constexpr int kNetEvents = 32;

enum LinkState { kLinkIdle = 0, kLinkConnecting = 1, kLinkUp = 2, kLinkFailed = 3 };

struct NetLink {
  PortAddress address;         // as the channel opened
  SOCKET sock;                 // the connection; INVALID_SOCKET when none (under lock)
  HANDLE wake;                 // set by a close: the link thread ends its wait; made once
  HANDLE kick;                 // set when a write is queued (auto-reset); made once
  std::atomic<int32_t> run;    // the link thread's run flag
  std::atomic<int32_t> state;  // LinkState
  std::atomic<uint32_t> error;  // why the connect or listen failed
  int32_t failure_told;
  std::mutex lock;             // sock, the queue, the Telnet session and the line below
  TelnetSession telnet;
  LinkQueue out;               // what waits to leave, in order
  int32_t overflow;            // a command of the link's own found no room: the peer is stuck
  int32_t configured;          // the line went to the server on this connection
  int32_t held_back;           // the line, DTR or RTS changed while the server had the option off: sent when it is on again
  // A listen:// link's listening sockets while a client is served (the
  // link thread's own): others that connect meanwhile are refused.
  const SOCKET* listeners;
  int32_t listener_count;
  // The client a listen:// link serves, as "address:port" (under lock),
  // and a count of its changes, for the status bar.
  char16_t peer[64];  // room for any IPv6 address with its zone and port
  std::atomic<int32_t> peer_changes;
  SOCKET held;            // a second client held while the first is served, or INVALID_SOCKET
  ULONGLONG held_since;
  WSAEVENT held_event;
  // The line an RFC 2217 server is asked for, again after each connect:
  // the channel's DCB and its DTR and RTS (0 as they are, 1 set, 2
  // cleared), the link's own copy, so the link thread never reads the
  // channel's records while a dialog writes them.
  LineDcb line;
  int32_t dtr, rts;
  // The options the server refused on this connection (bit: 1 BINARY, 2
  // COM-PORT-OPTION), as the decoder reports each once.
  int32_t refused;
  // A subnegotiation that never ended was given up on this connection: 1
  // until the user is told, then 2.
  int32_t unterminated;
  // The link thread's buffers.
  uint8_t raw[kNetRead];
  uint8_t data[kNetRead];
  uint8_t reply[256];
  TelnetEvent events[kNetEvents];
  uint8_t sent[kLinkItemMax];  // a write that left, for the capture
};

NetLink g_net[2];
int g_winsock = 0;  // 1 once WSAStartup succeeded

int is_rfc2217(const NetLink* n) { return n->address.kind == kPortRfc2217; }

// Queues a command of the link's own (a request, a negotiation answer);
// under the lock. One that finds no room even in the reserve means the
// peer has long stopped reading: the link thread ends the connection.
void send_request(NetLink* n, const uint8_t* p, int len) {
  if (len > 0 && link_queue_put_command(&n->out, p, len, capture_now_us(&g_app.capture)) != 0) n->overflow = 1;
  if (len > 0) SetEvent(n->kick);
}

// 1 when a request can go to the server now: the link is up and the server
// has agreed to COM-PORT-OPTION (and been sent the line once). Before, the
// agreement sends what is asked meanwhile; after a refusal nothing goes.
// Under the lock.
int link_takes_requests(const NetLink* n) {
  return n->state.load() == kLinkUp && n->configured && telnet_enabled(&n->telnet, kSlotComPort, kSideUs);
}

// The channel's line settings, the state masks and the DTR and RTS the
// user set, to an RFC 2217 server that has agreed to the option, once a
// connection; a server that turns the option off and on again gets them
// again only when the user changed them meanwhile (never a storm of
// requests for a storm of negotiations). Under the lock.
void rfc2217_configure(NetLink* n) {
  if (n->configured && !n->held_back) return;
  n->configured = 1;
  n->held_back = 0;
  uint8_t out[kRfc2217LineBytes + 64];
  send_request(n, out, rfc2217_request_line(&n->telnet, &n->line, out, sizeof out));
  // Line errors and break, and every modem line, as the server sees them.
  send_request(n, out, rfc2217_request(&n->telnet, kRfcSetLineStateMask, 0x1E, out, sizeof out));
  send_request(n, out, rfc2217_request(&n->telnet, kRfcSetModemStateMask, 0xFF, out, sizeof out));
  if (n->dtr)
    send_request(n, out, rfc2217_request(&n->telnet, kRfcSetControl, n->dtr == 1 ? kRfcDtrOn : kRfcDtrOff, out,
                                         sizeof out));
  if (n->rts)
    send_request(n, out, rfc2217_request(&n->telnet, kRfcSetControl, n->rts == 1 ? kRfcRtsOn : kRfcRtsOff, out,
                                         sizeof out));
}

// Appends `count` data bytes in chunks of kReceiveChunk, all seen at `seen`.
void link_append(Channel* c, const uint8_t* bytes, uint32_t count, int64_t seen) {
  const uint8_t kind = c->index == 0 ? kKindRecvCh1 : kKindRecvCh2;
  for (uint32_t at = 0, size; (size = receive_chunk_at(count, at)) > 0; at += size)
    capture_append(&g_app.capture, bytes + at, static_cast<int>(size), kind, seen);
  if (count > 0) g_line_activity_tick.store(GetTickCount());
}

// What one read gave: raw data on socket:// and listen://; on rfc2217://
// the Telnet decoder takes the commands out, answers negotiations, and
// the server's line state notifications add to the channel's line errors
// (their bits are Windows' CE_ bits).
void link_take(Channel* c, NetLink* n, int count, int64_t seen) {
  if (!is_rfc2217(n)) {
    link_append(c, n->raw, static_cast<uint32_t>(count), seen);
    return;
  }
  int at = 0;
  while (at < count) {
    TelnetIo io = {n->data, kNetRead, 0, n->reply, static_cast<int32_t>(sizeof n->reply), 0, n->events, kNetEvents, 0};
    int used = 0;
    {
      std::lock_guard<std::mutex> hold(n->lock);
      used = telnet_decode(&n->telnet, n->raw + at, count - at, &io);
      send_request(n, n->reply, io.reply_n);
      for (int i = 0; i < io.event_n; i++) {
        const TelnetEvent& e = n->events[i];
        if (e.kind == kTelnetAgreed && e.code == kTelnetOptComPort && e.value == kSideUs) {
          n->refused &= ~2;  // agreed again: what the server set is what counts now
          rfc2217_configure(n);
        }
        if (e.kind == kTelnetAgreed && e.code == kTelnetOptBinary) n->refused &= ~1;
        if (e.kind == kRfcAnswer && e.code == kRfcNotifyLineState) c->accumulated_errors.fetch_or(e.value & 0x1E);
        // A line setting the server set otherwise is the line's now: a
        // settings event with the speed in effect (the server's when it
        // set that otherwise too).
        if (const uint32_t speed = rfc2217_settings_event(&n->telnet, e, n->line.baud_rate))
          capture_add_event(&g_app.capture, kEventSettings, static_cast<uint8_t>(c->index + 1), 0, speed);
        if (e.kind == kTelnetDropped && e.value == kDropUnterminated && !n->unterminated) n->unterminated = 1;
        if (e.kind == kTelnetRefused && e.code == kTelnetOptBinary) n->refused |= 1;
        if (e.kind == kTelnetRefused && e.code == kTelnetOptComPort) n->refused |= 2;
      }
    }
    link_append(c, n->data, static_cast<uint32_t>(io.data_n), seen);
    if (used == 0) break;  // cannot happen with the buffers emptied; never spin on it
    at += used;
  }
}

// A connection made: the link is up, the channel open, and an RFC 2217
// link asks for its options.
void link_up(Channel* c, NetLink* n, SOCKET s) {
  BOOL on = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  std::lock_guard<std::mutex> hold(n->lock);
  n->sock = s;
  n->refused = 0;
  n->overflow = 0;
  n->configured = 0;
  n->held_back = 0;
  // What a lost connection left unsent never left: it is not recorded and
  // does not go to the next one.
  link_queue_init(&n->out);
  if (is_rfc2217(n)) {
    telnet_init(&n->telnet);
    uint8_t start[kTelnetStartBytes];
    send_request(n, start, telnet_start(&n->telnet, start, sizeof start));
  }
  n->state.store(kLinkUp);
  c->open.store(1);
}

void link_drop(Channel* c, NetLink* n) {
  LinkItem part;
  int partial = 0;
  {
    std::lock_guard<std::mutex> hold(n->lock);
    if (n->sock != INVALID_SOCKET) closesocket(n->sock);
    n->sock = INVALID_SOCKET;
    partial = link_queue_partial(&n->out, &part, n->sent);
    link_queue_init(&n->out);
  }
  // The part of a write that had left when the connection ended reached
  // the peer: the capture has it, as the peer's own count does.
  if (partial && part.kind == kLinkData && part.record && part.data)
    capture_append(&g_app.capture, n->sent, static_cast<int>(part.data), c->index == 0 ? kKindSentCh1 : kKindSentCh2,
                   part.handed);
}

// Data held while the server has asked the client to stop sending.
int link_holds_data(const NetLink* n) { return is_rfc2217(n) && n->telnet.flow_suspended; }

// Sends what the queue holds as far as the socket takes it, and records
// each data write that has wholly left. 0, or the Winsock error that ends
// the connection (WSAETIMEDOUT for a peer that stopped reading).
int link_flush(Channel* c, NetLink* n, SOCKET s) {
  const uint8_t kind = c->index == 0 ? kKindSentCh1 : kKindSentCh2;
  for (;;) {
    const uint8_t* p = nullptr;
    int len = 0;
    {
      std::lock_guard<std::mutex> hold(n->lock);
      if (n->overflow) return WSAENOBUFS;
      len = link_queue_peek(&n->out, link_holds_data(n), &p);
      if (len == 0) return link_queue_stalled(&n->out, link_holds_data(n), capture_now_us(&g_app.capture))
                               ? WSAETIMEDOUT : 0;
    }
    // The bytes at p stay as they are until this thread says they left:
    // writers only fill the free part of the queue.
    const int r = send(s, reinterpret_cast<const char*>(p), len, 0);
    if (r == SOCKET_ERROR) {
      const int e = WSAGetLastError();
      if (e != WSAEWOULDBLOCK) return e;
      std::lock_guard<std::mutex> hold(n->lock);
      return link_queue_stalled(&n->out, link_holds_data(n), capture_now_us(&g_app.capture)) ? WSAETIMEDOUT : 0;
    }
    int gone = r;
    for (int more = 1; more; gone = 0) {
      LinkItem item;
      {
        std::lock_guard<std::mutex> hold(n->lock);
        link_queue_sent(&n->out, gone, capture_now_us(&g_app.capture));
        more = link_queue_collect(&n->out, &item, n->sent);
      }
      if (more && item.kind == kLinkData && item.record)
        capture_append(&g_app.capture, n->sent, static_cast<int>(item.data), kind, item.handed);
      if (more && item.kind == kLinkData) g_line_activity_tick.store(GetTickCount());
    }
  }
}

constexpr int kListenMax = 4;  // the addresses of one name listened on

// A client that comes while another is served is held this long, unread:
// when the one served turns out to have gone meanwhile without a word
// more (its close and the new connect can be seen in either order), the
// held one is the next client; otherwise (the one served still sends, or
// stays) it is refused.
constexpr ULONGLONG kSecondClientHoldMs = 300;

// The client on `s` as a line event names it (app/capture.h): its IPv4
// address (an IPv4-mapped IPv6 one counts as IPv4) and TCP port; 0, 0
// when it cannot be read.
void link_peer_of(SOCKET s, uint32_t* address, uint16_t* port) {
  *address = 0;
  *port = 0;
  sockaddr_storage a = {};
  int length = sizeof a;
  if (s == INVALID_SOCKET || getpeername(s, reinterpret_cast<sockaddr*>(&a), &length) != 0) return;
  if (a.ss_family == AF_INET) {
    const sockaddr_in* v4 = reinterpret_cast<const sockaddr_in*>(&a);
    *address = ntohl(v4->sin_addr.s_addr);
    *port = ntohs(v4->sin_port);
  } else if (a.ss_family == AF_INET6) {
    const sockaddr_in6* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
    const uint8_t* b = v6->sin6_addr.s6_addr;
    static const uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    *address = std::memcmp(b, kMapped, 12) == 0
                   ? static_cast<uint32_t>(b[12]) << 24 | static_cast<uint32_t>(b[13]) << 16 | b[14] << 8 | b[15]
                   : kEventPeerIpv6;
    *port = ntohs(v6->sin6_port);
  }
}

// Turns the client on `s` away at once and records whom.
void link_refuse(const NetLink* n, SOCKET s) {
  uint32_t address;
  uint16_t port;
  link_peer_of(s, &address, &port);
  LINGER now = {1, 0};  // reset: the client learns at once
  setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&now), sizeof now);
  closesocket(s);
  capture_add_event(&g_app.capture, kEventRefused, static_cast<uint8_t>(n - g_net + 1), port, address);
}

// While a client is served: takes the clients waiting on the listeners,
// holds the first (see kSecondClientHoldMs) and refuses the others, and
// refuses the held one once its time is up. The ms to the end of the hold,
// or INFINITE when none is held.
DWORD link_second_clients(NetLink* n) {
  for (int i = 0; i < n->listener_count; i++)
    for (SOCKET s; (s = accept(n->listeners[i], nullptr, nullptr)) != INVALID_SOCKET;) {
      if (n->held != INVALID_SOCKET) {
        link_refuse(n, s);
        continue;
      }
      WSAEventSelect(s, n->held_event, 0);  // it took the listener's selection: none of its own yet
      n->held = s;
      n->held_since = GetTickCount64();
    }
  if (n->held == INVALID_SOCKET) return INFINITE;
  const ULONGLONG held_for = GetTickCount64() - n->held_since;
  if (held_for < kSecondClientHoldMs) return static_cast<DWORD>(kSecondClientHoldMs - held_for);
  link_refuse(n, n->held);
  n->held = INVALID_SOCKET;
  return INFINITE;
}

void link_failed(NetLink* n, int error) {
  n->error.store(static_cast<uint32_t>(error));
  n->state.store(kLinkFailed);
}

// Receives on a connection until the peer closes or breaks it (returns
// the Winsock error, WSAEDISCON for an orderly close) or the channel
// closes (returns 0).
int link_serve(Channel* c, NetLink* n, SOCKET s, WSAEVENT event) {
  if (WSAEventSelect(s, event, FD_READ | FD_WRITE | FD_CLOSE) == SOCKET_ERROR) return WSAGetLastError();
  HANDLE waits[3] = {event, n->wake, n->kick};
  while (n->run.load()) {
    const int flushed = link_flush(c, n, s);
    if (flushed) return flushed;
    DWORD look = link_second_clients(n);
    {
      std::lock_guard<std::mutex> hold(n->lock);
      if (link_queue_busy(&n->out) && look > kFlushLookMs) look = kFlushLookMs;
    }
    const DWORD woke = WaitForMultipleObjects(3, waits, FALSE, look);
    if (woke == WAIT_OBJECT_0 + 1 || woke == WAIT_FAILED) break;
    WSANETWORKEVENTS happened = {};
    WSAEnumNetworkEvents(s, event, &happened);
    // A peer that keeps sending keeps the socket readable: the run flag is
    // looked at between reads, so a close ends this at once, and the queue
    // goes out between them, so the answers never wait behind the reads.
    while (n->run.load()) {
      const int r = recv(s, reinterpret_cast<char*>(n->raw), kNetRead, 0);
      if (r > 0) {
        // The client served still talks: one that connected before these
        // bytes were read (held, or still waiting to be taken) is no
        // successor of a client that went, but a second one. Refused.
        link_second_clients(n);
        if (n->held != INVALID_SOCKET) {
          link_refuse(n, n->held);
          n->held = INVALID_SOCKET;
        }
        link_take(c, n, r, capture_now_us(&g_app.capture));
        const int sent = link_flush(c, n, s);
        if (sent) return sent;
        continue;
      }
      if (r == 0) return WSAEDISCON;
      const int e = WSAGetLastError();
      if (e != WSAEWOULDBLOCK) return e;
      break;
    }
    if (happened.lNetworkEvents & FD_CLOSE) {
      const int e = happened.iErrorCode[FD_CLOSE_BIT];
      return e ? e : WSAEDISCON;
    }
  }
  return 0;
}

// The addresses of the link's host and port (a name is looked up here, on
// the link thread): 0 and *list, or the Winsock error.
int link_addresses(const NetLink* n, int flags, addrinfo** list) {
  char port[8];
  std::snprintf(port, sizeof port, "%u", static_cast<unsigned>(n->address.port));
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = flags;
  *list = nullptr;
  return getaddrinfo(n->address.host, port, &hints, list);
}

// Connects to the link's address within kConnectLimitMs, trying each
// address the name gives in turn: 0 and *out, or the Winsock error.
int link_connect(NetLink* n, WSAEVENT event, SOCKET* out) {
  addrinfo* list = nullptr;
  const int looked = link_addresses(n, 0, &list);
  if (looked != 0) return looked;
  const ULONGLONG began = GetTickCount64();
  int error = WSAECONNREFUSED;
  HANDLE waits[2] = {event, n->wake};
  int left = 0;
  for (addrinfo* a = list; a; a = a->ai_next) left++;
  for (addrinfo* a = list; a && n->run.load(); a = a->ai_next, left--) {
    SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
      error = WSAGetLastError();
      continue;
    }
    int made = 0;
    WSAEventSelect(s, event, FD_CONNECT);  // also makes the socket non-blocking
    if (connect(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) {
      made = 1;
    } else if ((error = WSAGetLastError()) == WSAEWOULDBLOCK) {
      // Each address that is left gets its share of the time that is left,
      // so one that never answers does not keep the others from their turn.
      const ULONGLONG spent = GetTickCount64() - began;
      const DWORD share = spent >= kConnectLimitMs ? 0 : static_cast<DWORD>(kConnectLimitMs - spent) / left;
      const DWORD waited = WaitForMultipleObjects(2, waits, FALSE, share);
      if (waited == WAIT_OBJECT_0) {
        WSANETWORKEVENTS happened = {};
        WSAEnumNetworkEvents(s, event, &happened);
        error = (happened.lNetworkEvents & FD_CONNECT) ? happened.iErrorCode[FD_CONNECT_BIT] : WSAECONNREFUSED;
        made = error == 0;
      } else {
        error = waited == WAIT_TIMEOUT ? WSAETIMEDOUT : WSAEINTR;
      }
    }
    WSAEventSelect(s, event, 0);
    if (made) {
      freeaddrinfo(list);
      *out = s;
      return 0;
    }
    closesocket(s);
    if (error == WSAEINTR) break;
  }
  freeaddrinfo(list);
  return error;
}

// The listening sockets of a listen:// link, one for each address its name
// gives (localhost: IPv6 and IPv4), each exclusive so that no other
// program can take the port from under it: 0 with *count sockets in out,
// or the Winsock error (none left open).
int link_listen(NetLink* n, SOCKET out[kListenMax], int* count) {
  addrinfo* list = nullptr;
  const int looked = link_addresses(n, AI_PASSIVE, &list);
  if (looked != 0) return looked;
  int error = 0;
  *count = 0;
  for (addrinfo* a = list; a && *count < kListenMax && !error; a = a->ai_next) {
    SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (s == INVALID_SOCKET) {
      error = WSAGetLastError();
      break;
    }
    BOOL on = TRUE;
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    if (a->ai_family == AF_INET6)  // the IPv4 address of the name has its own socket
      setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof on);
    if (bind(s, a->ai_addr, static_cast<int>(a->ai_addrlen)) == SOCKET_ERROR || listen(s, 1) == SOCKET_ERROR) {
      error = WSAGetLastError();
      closesocket(s);
      break;
    }
    out[(*count)++] = s;
  }
  freeaddrinfo(list);
  if (error) {
    while (*count > 0) closesocket(out[--*count]);
    return error;
  }
  return *count ? 0 : WSAEADDRNOTAVAIL;
}

// Keeps the address and port of the client on `s` (none for INVALID_SOCKET).
void link_name_peer(NetLink* n, SOCKET s) {
  sockaddr_storage address = {};
  int length = sizeof address;
  wchar_t text[64] = L"";
  DWORD units = 64;
  if (s != INVALID_SOCKET && getpeername(s, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    WSAAddressToStringW(reinterpret_cast<sockaddr*>(&address), static_cast<DWORD>(length), nullptr, text, &units);
  {
    std::lock_guard<std::mutex> hold(n->lock);
    int at = 0;
    for (; at < 63 && text[at]; at++) n->peer[at] = static_cast<char16_t>(text[at]);
    n->peer[at] = 0;
  }
  n->peer_changes.fetch_add(1);
}

// A listen:// link: listens, takes one client at a time and serves it;
// a client that comes and goes is an open and a lost line event, one that
// comes while another is served is refused within kSecondClientHoldMs.
void link_listen_serve(Channel* c, NetLink* n, WSAEVENT event) {
  SOCKET listeners[kListenMax];
  int count = 0;
  const int error = link_listen(n, listeners, &count);
  if (error) {
    link_failed(n, error);
    return;
  }
  if (n->run.load()) c->open.store(1);  // not when a close came meanwhile
  HANDLE waits[2] = {event, n->wake};
  const uint8_t channel = static_cast<uint8_t>(c->index + 1);
  for (int i = 0; i < count; i++) WSAEventSelect(listeners[i], event, FD_ACCEPT);  // also non-blocking
  n->held = INVALID_SOCKET;
  n->held_event = event;
  while (n->run.load()) {
    // A client held while the last one was served is the next one.
    SOCKET s = n->held;
    n->held = INVALID_SOCKET;
    if (s == INVALID_SOCKET && WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) break;
    for (int i = 0; i < count && s == INVALID_SOCKET; i++) {
      WSANETWORKEVENTS happened = {};
      WSAEnumNetworkEvents(listeners[i], event, &happened);
      s = accept(listeners[i], nullptr, nullptr);
    }
    if (s == INVALID_SOCKET) continue;
    // The client's socket took the listener's event selection: its own.
    WSAEventSelect(s, event, 0);
    link_name_peer(n, s);
    link_up(c, n, s);
    uint32_t address;
    uint16_t port;
    link_peer_of(s, &address, &port);
    capture_add_event(&g_app.capture, kEventOpened, channel, port, address);
    n->listeners = listeners;
    n->listener_count = count;
    const int gone = link_serve(c, n, s, event);
    n->listener_count = 0;
    link_drop(c, n);
    link_name_peer(n, INVALID_SOCKET);
    n->state.store(kLinkConnecting);
    if (n->run.load()) capture_add_event(&g_app.capture, kEventLost, channel, 0, static_cast<uint32_t>(gone));
  }
  if (n->held != INVALID_SOCKET) closesocket(n->held);
  n->held = INVALID_SOCKET;
  for (int i = 0; i < count; i++) closesocket(listeners[i]);
}

DWORD WINAPI link_thread(void* arg) {
  Channel* c = static_cast<Channel*>(arg);
  NetLink* n = &g_net[c->index];
  WSAEVENT event = WSACreateEvent();
  if (event == WSA_INVALID_EVENT) {
    link_failed(n, WSAGetLastError());
    return 0;
  }
  n->held = INVALID_SOCKET;  // only a listener ever holds a client
  if (n->address.kind == kPortListen) {
    link_listen_serve(c, n, event);
  } else {
    SOCKET s = INVALID_SOCKET;
    const int error = link_connect(n, event, &s);
    if (error) {
      link_failed(n, error);
    } else if (!n->run.load()) {
      closesocket(s);  // closed while a name was looked up: never opens
    } else {
      link_up(c, n, s);
      const int gone = link_serve(c, n, s, event);
      // Gone while the channel was open: the line watch sees it lost.
      if (gone && n->run.load()) c->lost_error.store(static_cast<uint32_t>(gone));
      link_drop(c, n);
    }
  }
  WSACloseEvent(event);
  return 0;
}

// Starts the link thread of channel ch: 0, or the error.
DWORD link_start(int ch) {
  Channel* c = &g_channel[ch];
  NetLink* n = &g_net[ch];
  if (!g_winsock) {
    WSADATA data;
    const int started = WSAStartup(MAKEWORD(2, 2), &data);
    if (started) return static_cast<DWORD>(started);
    g_winsock = 1;
  }
  if (!n->wake) n->wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!n->kick) n->kick = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!n->wake || !n->kick) return GetLastError();
  ResetEvent(n->wake);
  n->sock = INVALID_SOCKET;
  n->held = INVALID_SOCKET;
  n->listener_count = 0;
  n->failure_told = 0;
  n->error.store(0);
  n->state.store(kLinkConnecting);
  n->run.store(1);
  c->lost_error.store(0);
  c->open.store(0);
  c->thread = CreateThread(nullptr, 0, link_thread, c, 0, nullptr);
  if (!c->thread) {
    n->run.store(0);
    n->state.store(kLinkIdle);
    return GetLastError();
  }
  return 0;
}

// 1 while the channel's link thread has not ended.
int link_thread_runs(const Channel* c) { return c->thread && WaitForSingleObject(c->thread, 0) == WAIT_TIMEOUT; }

int net_open(HWND owner, int ch) {
  Channel* c = &g_channel[ch];
  if (link_thread_runs(c)) {
    static const wchar_t* const kCaption[2] = {L"CH1", L"CH2"};
    show_texts(owner, kCaption[ch], {kTextReceiveThreadAlive}, nullptr);
    return 1;
  }
  if (c->thread) {
    CloseHandle(c->thread);
    c->thread = 0;
  }
  g_net[ch].address = g_app.address[ch];
  // The line as the settings give it, kept for the DCB dialog and sent to
  // an RFC 2217 server once it agrees to the option.
  DCB d = {};
  d.DCBlength = sizeof d;
  d.fBinary = 1;
  LineDcb line;
  line_dcb_from_win(d, &line);
  line_dcb_apply(&line, &g_app.settings.port[ch]);
  line_dcb_to_win(line, &c->dcb);
  COMMTIMEOUTS t = {};
  line_timeouts_to_win(kLineTimeouts, &t);
  channel_set_timeouts(c, t);
  c->dtr_state = c->rts_state = 0;
  {
    std::lock_guard<std::mutex> hold(g_net[ch].lock);
    g_net[ch].line = line;
    g_net[ch].dtr = g_net[ch].rts = 0;
    // A server that leaves a subnegotiation open is told once an Open
    // Ports, however often it connects again.
    g_net[ch].unterminated = 0;
  }
  const DWORD error = link_start(ch);
  if (error) {
    show_error(owner, L"CreateThread", L"Thread Error No.%d (CH%d)", static_cast<int>(error), ch + 1);
    return 1;
  }
  return 0;
}

DWORD net_reopen(int ch) {
  Channel* c = &g_channel[ch];
  if (link_thread_runs(c)) return g_net[ch].state.load() == kLinkUp ? 0 : ERROR_IO_PENDING;
  if (c->thread) {
    CloseHandle(c->thread);
    c->thread = 0;
  }
  // The DCB, time-outs, DTR and RTS stay as they were: the link sends them again.
  const DWORD error = link_start(ch);
  return error ? error : ERROR_IO_PENDING;
}

void net_close(int ch) {
  Channel* c = &g_channel[ch];
  NetLink* n = &g_net[ch];
  c->open.store(0);
  n->failure_told = 1;  // a connect the close cut short is no failure to tell
  n->run.store(0);
  if (n->wake) SetEvent(n->wake);
  if (c->thread) {
    // The thread wakes at once; one still looking a name up cannot be
    // woken, and is left to end by itself (it never opens the channel with
    // its run flag cleared), and the channel cannot open until it has.
    if (WaitForSingleObject(c->thread, kCloseLimitMs) == WAIT_TIMEOUT) return;
    CloseHandle(c->thread);
    c->thread = 0;
  }
  c->open.store(0);  // a connect that ended just as the close began set it again
  n->state.store(kLinkIdle);
}

int net_write(int ch, const uint8_t* bytes, int count) { return net_send(ch, bytes, count, 0); }

DWORD net_apply_line(int ch) {
  NetLink* n = &g_net[ch];
  if (!is_rfc2217(n)) return 0;
  LineDcb line;
  line_dcb_from_win(g_channel[ch].dcb, &line);
  Rfc2217Line carried;
  if (rfc2217_line_from_dcb(&line, &carried)) return ERROR_INVALID_PARAMETER;  // a field the option cannot carry
  uint8_t out[kRfc2217LineBytes];
  std::lock_guard<std::mutex> hold(n->lock);
  n->line = line;  // asked for again after each connect
  if (!link_takes_requests(n)) {
    n->held_back = n->configured;  // the option is off now: sent once it is on again
    return 0;
  }
  const int length = rfc2217_request_line(&n->telnet, &line, out, sizeof out);
  if (length < 0) return ERROR_INVALID_PARAMETER;
  send_request(n, out, length);
  return 0;
}

void net_control(int ch, DWORD function) {
  NetLink* n = &g_net[ch];
  if (!is_rfc2217(n)) return;
  uint8_t value = 0;
  switch (function) {
    case SETDTR: value = kRfcDtrOn; break;
    case CLRDTR: value = kRfcDtrOff; break;
    case SETRTS: value = kRfcRtsOn; break;
    case CLRRTS: value = kRfcRtsOff; break;
    case SETBREAK: value = kRfcBreakOn; break;
    case CLRBREAK: value = kRfcBreakOff; break;
    default: return;
  }
  uint8_t out[16];
  std::lock_guard<std::mutex> hold(n->lock);
  if (function == SETDTR || function == CLRDTR) n->dtr = function == SETDTR ? 1 : 2;
  if (function == SETRTS || function == CLRRTS) n->rts = function == SETRTS ? 1 : 2;
  if (link_takes_requests(n))
    send_request(n, out, rfc2217_request(&n->telnet, kRfcSetControl, value, out, sizeof out));
  else if (function != SETBREAK && function != CLRBREAK)
    n->held_back = n->configured;  // DTR and RTS go again once the option is on again
}

// The modem lines as the server last told them (RFC 2217's bits are
// Windows' MS_ bits); line errors come with the notifications.
int net_line_state(int ch, DWORD* modem, DWORD* errors, COMSTAT* stat) {
  NetLink* n = &g_net[ch];
  *errors = 0;
  *stat = COMSTAT{};
  std::lock_guard<std::mutex> hold(n->lock);
  *modem = is_rfc2217(n) ? n->telnet.modem_state & 0xF0 : 0;
  return 1;
}

}  // namespace

int net_send(int ch, const uint8_t* bytes, int count, int record) {
  NetLink* n = &g_net[ch];
  if (count <= 0) return kSendOk;
  if (n->state.load() != kLinkUp) return kSendWriteFailed;
  const int64_t handed = capture_now_us(&g_app.capture);
  int put;
  {
    std::lock_guard<std::mutex> hold(n->lock);
    if (n->sock == INVALID_SOCKET) return kSendWriteFailed;
    put = link_queue_put_data(&n->out, bytes, count, is_rfc2217(n), record, handed);
  }
  if (put != 0) return kSendWriteFailed;  // the queue is full: the peer is not reading
  SetEvent(n->kick);
  return kSendOk;
}

const LinkOps kNetLink = {net_open, net_reopen, net_close, net_write, net_apply_line, net_control, net_line_state};

int net_open_failed(int ch, uint32_t* error) {
  Channel* c = &g_channel[ch];
  NetLink* n = &g_net[ch];
  if (!c->net || !c->thread || link_thread_runs(c) || n->state.load() != kLinkFailed || n->failure_told) return 0;
  n->failure_told = 1;
  *error = n->error.load();
  return 1;
}

int net_connecting(int ch) {
  const Channel* c = &g_channel[ch];
  return c->net && link_thread_runs(c) && g_net[ch].state.load() != kLinkUp;
}

int net_unconfirmed(int ch, char16_t* out, int units) {
  static const struct {
    int setting;
    const char* name;
  } kNames[] = {{kRfcBaud, "Baud"}, {kRfcDataSize, "Data"}, {kRfcParity, "Parity"}, {kRfcStopSize, "Stop"},
                {kRfcFlowOut, "Flow"}, {kRfcBreak, "Break"}, {kRfcDtr, "DTR"}, {kRfcRts, "RTS"}};
  NetLink* n = &g_net[ch];
  int at = 0;
  if (units > 0) out[0] = 0;
  if (!is_rfc2217(n)) return 0;
  std::lock_guard<std::mutex> hold(n->lock);
  for (const auto& k : kNames) {
    if (n->telnet.setting[k.setting].status != kRfcWaiting) continue;
    for (const char* p = at ? " " : ""; *p && at + 1 < units; p++) out[at++] = static_cast<char16_t>(*p);
    for (const char* p = k.name; *p && at + 1 < units; p++) out[at++] = static_cast<char16_t>(*p);
  }
  if (units > 0) out[at < units ? at : units - 1] = 0;
  return at > 0;
}

int net_differences(int ch, char16_t* out, int units) {
  NetLink* n = &g_net[ch];
  if (units > 0) out[0] = 0;
  if (!is_rfc2217(n) || units <= 0) return 0;
  char text[160];
  int found;
  {
    std::lock_guard<std::mutex> hold(n->lock);
    found = rfc2217_differences(&n->telnet, text, sizeof text);
  }
  int at = 0;
  for (; text[at] && at + 1 < units; at++) out[at] = static_cast<char16_t>(text[at]);
  out[at] = 0;
  return found;
}

uint32_t net_server_baud(int ch) {
  NetLink* n = &g_net[ch];
  if (!is_rfc2217(n) || n->state.load() != kLinkUp) return 0;
  std::lock_guard<std::mutex> hold(n->lock);
  const Rfc2217Record& r = n->telnet.setting[kRfcBaud];
  return r.status == kRfcDiffers ? r.answered : 0;
}

int net_peer(int ch, char16_t* out, int units) {
  NetLink* n = &g_net[ch];
  if (units <= 0) return 0;
  std::lock_guard<std::mutex> hold(n->lock);
  int at = 0;
  if (n->address.kind == kPortListen)
    for (; at + 1 < units && n->peer[at]; at++) out[at] = n->peer[at];
  out[at] = 0;
  return at > 0;
}

int32_t net_peer_changes(int ch) { return g_net[ch].peer_changes.load(); }

int net_unterminated(int ch) {
  NetLink* n = &g_net[ch];
  std::lock_guard<std::mutex> hold(n->lock);
  if (n->unterminated != 1) return 0;
  n->unterminated = 2;
  return 1;
}

int net_refused(int ch, char16_t* out, int units) {
  NetLink* n = &g_net[ch];
  if (units > 0) out[0] = 0;
  if (!is_rfc2217(n)) return 0;
  int refused;
  {
    std::lock_guard<std::mutex> hold(n->lock);
    refused = n->refused;
  }
  const char* text = refused == 3 ? "BINARY, COM-PORT-OPTION" : refused == 2 ? "COM-PORT-OPTION" : refused ? "BINARY" : "";
  int at = 0;
  for (; text[at] && at + 1 < units; at++) out[at] = static_cast<char16_t>(text[at]);
  if (units > 0) out[at] = 0;
  return refused != 0;
}

int net_error_text(uint32_t error) {
  switch (error) {
    case WSAECONNREFUSED: return kTextNetRefused;
    case WSAETIMEDOUT:
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAENETDOWN: return kTextNetTimedOut;
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
    case WSATRY_AGAIN: return kTextNetNoHost;
    case WSAEADDRINUSE:
    case WSAEADDRNOTAVAIL:
    case WSAEACCES: return kTextNetNoListen;
    default: return kTextNetError;
  }
}
