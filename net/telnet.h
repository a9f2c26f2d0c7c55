// The Telnet side of a channel on a network serial port (rfc2217://host:port):
// the receive decoder that takes the data out of what the socket read and
// consumes every command, the option negotiation, the COM-PORT-OPTION (44)
// requests the client sends and the server's answers to them, and the
// doubling of 0xFF in the data the client sends. Pure protocol: no socket,
// no window, nothing allocates; every buffer is the caller's or fixed here.
//
// One TelnetSession per connection, used by the one thread that reads the
// socket (the decoder) and asks for settings (the requests); the caller
// writes the bytes these functions produce to the socket itself.
//
// Received data is passed through unchanged, CR NUL and CR LF included: the
// client asks for BINARY both ways, device servers do not translate line
// ends, and a serial debugging tool must show the bytes the device sent. A
// server that refuses BINARY is reported (kTelnetRefused) so the caller can
// say so; the data is still shown as it came.
#pragma once

#include <cstdint>

#include "serial/line_params.h"

// Telnet commands (the byte after IAC) and the options this client uses.
constexpr uint8_t kTelnetIac = 255;
constexpr uint8_t kTelnetDont = 254;
constexpr uint8_t kTelnetDo = 253;
constexpr uint8_t kTelnetWont = 252;
constexpr uint8_t kTelnetWill = 251;
constexpr uint8_t kTelnetSb = 250;
constexpr uint8_t kTelnetSe = 240;
constexpr uint8_t kTelnetOptBinary = 0;
constexpr uint8_t kTelnetOptSga = 3;
constexpr uint8_t kTelnetOptComPort = 44;

// The payload of one subnegotiation (the bytes after the option, IAC IAC
// undone) that the decoder keeps; a longer one is consumed and dropped.
constexpr int kTelnetSubMax = 64;
// A subnegotiation whose end has not come after this many bytes is given
// up: what follows is data.
constexpr int kTelnetSubLimit = 1024;
// What telnet_decode needs free in the reply buffer to take the next byte:
// one negotiation answer, or this client's signature.
constexpr int kTelnetReplyRoom = 16;
// The bytes telnet_start writes.
constexpr int kTelnetStartBytes = 15;

// The options the client keeps a state for, and the sides: "us" is this
// client (WILL/WONT from here, DO/DONT from the server), "him" the server.
enum TelnetSlot { kSlotBinary = 0, kSlotSga = 1, kSlotComPort = 2, kTelnetSlots = 3 };
enum TelnetSide { kSideUs = 0, kSideHim = 1 };
// An option's state on one side: RFC 1143's states, without WANTNO and the
// queue, because this client never asks to turn an option off.
enum TelnetQ : uint8_t { kQNo = 0, kQYes = 1, kQWantYes = 2 };

// COM-PORT-OPTION commands, client to server; the server answers with the
// same command plus 100.
enum Rfc2217Command : uint8_t {
  kRfcSignature = 0,
  kRfcSetBaud = 1,       // 4 bytes, network order; 0 asks the current speed
  kRfcSetDataSize = 2,   // 5..8; 0 asks
  kRfcSetParity = 3,     // 1 none, 2 odd, 3 even, 4 mark, 5 space; 0 asks
  kRfcSetStopSize = 4,   // 1 one, 2 two, 3 one and a half; 0 asks
  kRfcSetControl = 5,    // see below
  kRfcNotifyLineState = 6,
  kRfcNotifyModemState = 7,
  kRfcFlowSuspend = 8,   // no value
  kRfcFlowResume = 9,    // no value
  kRfcSetLineStateMask = 10,
  kRfcSetModemStateMask = 11,
  kRfcPurgeData = 12,    // 1 receive, 2 transmit, 3 both buffers of the server
};
constexpr uint8_t kRfcServerBase = 100;

// SET-CONTROL values.
constexpr uint8_t kRfcFlowAsk = 0, kRfcFlowNone = 1, kRfcFlowXonXoff = 2, kRfcFlowHardware = 3;
constexpr uint8_t kRfcBreakAsk = 4, kRfcBreakOn = 5, kRfcBreakOff = 6;
constexpr uint8_t kRfcDtrAsk = 7, kRfcDtrOn = 8, kRfcDtrOff = 9;
constexpr uint8_t kRfcRtsAsk = 10, kRfcRtsOn = 11, kRfcRtsOff = 12;
constexpr uint8_t kRfcFlowInAsk = 13, kRfcFlowInNone = 14, kRfcFlowInXonXoff = 15, kRfcFlowInHardware = 16;
constexpr uint8_t kRfcFlowDcd = 17, kRfcFlowInDtr = 18, kRfcFlowDsr = 19;

// The settings whose requests and answers are kept: which the server
// confirmed, which it set otherwise and which it never answered (ser2net
// on a pty does not answer DTR, for one).
enum Rfc2217Setting {
  kRfcBaud, kRfcDataSize, kRfcParity, kRfcStopSize,
  kRfcFlowOut, kRfcFlowIn, kRfcBreak, kRfcDtr, kRfcRts,
  kRfcLineMask, kRfcModemMask, kRfcPurge,
  kRfc2217Settings
};
enum Rfc2217Status : uint8_t {
  kRfcNotAsked = 0,   // never asked, never answered
  kRfcWaiting = 1,    // asked; no answer since: not confirmed
  kRfcConfirmed = 2,  // answered with the value asked (any value, for a question)
  kRfcDiffers = 3,    // answered with another value: the server set that one
  kRfcReported = 4,   // never asked, but the server told its value
};
struct Rfc2217Record {
  uint8_t status;     // Rfc2217Status
  uint32_t asked;     // the value of the latest request
  uint32_t answered;  // the value of the latest answer
};

// What the decoder tells its caller, in the order it met them.
enum TelnetEventKind : uint8_t {
  kTelnetAgreed = 1,   // `code` option now on for `value` side (TelnetSide)
  kTelnetRefused = 2,  // the server refused `code` option on `value` side; once per option and side
  kTelnetDropped = 3,  // a subnegotiation of option `code` dropped, `value` a TelnetDropReason
  kRfcAnswer = 4,      // the server sent COM-PORT-OPTION command `code` + 100 with `value`
};
enum TelnetDropReason : uint32_t {
  kDropTooLong = 1,    // payload over kTelnetSubMax bytes
  kDropBroken = 2,     // a command other than IAC SE ended it
  kDropMalformed = 3,  // a COM-PORT-OPTION answer of unknown code or wrong length
  kDropOption = 4,     // a subnegotiation of an option this client never agreed to (or the server refused)
  kDropUnterminated = 5,  // no IAC SE within kTelnetSubLimit bytes: the rest is data
};
struct TelnetEvent {
  uint8_t kind;    // TelnetEventKind
  uint8_t code;    // option, or COM-PORT-OPTION command (0..12)
  uint32_t value;  // side, drop reason, or the answer's value (baud, byte;
                   // the signature's length for kRfcSignature; 0 for 8 and 9)
};

// One connection's state. Zero it with telnet_init.
struct TelnetSession {
  // The decoder: where in a command the previous call stopped.
  uint8_t parse;         // internal parser state
  uint8_t verb;          // WILL, WONT, DO or DONT awaiting its option
  uint8_t sub_option;    // option of the subnegotiation being read
  uint8_t sub_too_long;  // its payload passed kTelnetSubMax
  int32_t sub_n;         // payload bytes kept, 0 .. kTelnetSubMax
  int32_t sub_total;     // payload bytes met, kept or not
  uint8_t sub[kTelnetSubMax];
  // Negotiation.
  uint8_t q[2][kTelnetSlots];        // TelnetQ by side and slot
  uint8_t refusal_told;              // bit 2 * slot + side: kTelnetRefused given
  // COM-PORT-OPTION.
  Rfc2217Record setting[kRfc2217Settings];
  uint8_t line_state, modem_state;   // the latest notifications
  uint8_t flow_suspended;            // the server asked the client to stop sending
  int32_t signature_n;
  uint8_t signature[kTelnetSubMax];  // the server's signature text
};

// Where telnet_decode puts what it finds. Each buffer has its size and a
// count the call adds to; the caller empties them between calls.
struct TelnetIo {
  uint8_t* data;        // data bytes from the server
  int32_t data_size, data_n;
  uint8_t* reply;       // negotiation answers to send to the server
  int32_t reply_size, reply_n;
  TelnetEvent* events;
  int32_t event_size, event_n;
};

void telnet_init(TelnetSession* s);

// The client's opening requests: WILL BINARY, DO BINARY, WILL SGA, DO SGA,
// WILL COM-PORT-OPTION (kTelnetStartBytes). Returns the length, or -1 when
// `size` is too small (nothing changes then).
int telnet_start(TelnetSession* s, uint8_t* out, int size);

// Decodes `n` bytes the socket read. Data bytes (IAC IAC as one 0xFF) go to
// io->data; negotiations are answered into io->reply; subnegotiations and
// refusals become events. Any split of the input decodes as the whole does.
// Stops before a byte when io->data is full, io->reply has less than
// kTelnetReplyRoom free or io->events is full, and returns the bytes
// consumed: the caller sends the replies, takes the data and events, and
// calls again with the rest. The data never outgrows the input.
int telnet_decode(TelnetSession* s, const uint8_t* in, int n, TelnetIo* io);

// 1 when the option is on for that side.
inline int telnet_enabled(const TelnetSession* s, TelnetSlot slot, TelnetSide side) {
  return s->q[side][slot] == kQYes;
}

// Data to send: copies `in` to `out` with each 0xFF doubled, as far as
// `out_size` allows without splitting a doubled pair. Sets *consumed to
// the input bytes taken and returns the bytes written.
int telnet_escape(const uint8_t* in, int n, uint8_t* out, int out_size, int* consumed);

// IAC SB 44 `code` value… IAC SE, every 0xFF in the value doubled. `code`
// is written as given (a client command 0..12; a server answer is the
// command plus 100). Returns the length, or -1 when it does not fit.
int rfc2217_encode(uint8_t code, const uint8_t* value, int value_n, uint8_t* out, int out_size);
// A client command with its value in the width the command takes: 4 bytes
// for SET-BAUDRATE, none for FLOWCONTROL-SUSPEND/RESUME, one for the others
// (not SIGNATURE: use rfc2217_encode). -1 when it does not fit, for a
// command above 12 or SIGNATURE, or a one-byte value above 255.
int rfc2217_encode_command(uint8_t command, uint32_t value, uint8_t* out, int out_size);

// The setting a command and value touch, or -1 (signature, notifications,
// flow suspend and resume, unknown control values).
int rfc2217_setting_of(uint8_t command, uint32_t value);
// Encodes a command as rfc2217_encode_command does and, when it fits,
// records the request in the session (its setting now waits for an answer).
int rfc2217_request(TelnetSession* s, uint8_t command, uint32_t value, uint8_t* out, int out_size);

// A port's line settings as COM-PORT-OPTION values.
struct Rfc2217Line {
  uint32_t baud;
  uint8_t data_size, parity, stop_size, flow;  // flow: kRfcFlowNone, XonXoff or Hardware
};
// Fields of a LineDcb the option cannot carry, as bits.
enum Rfc2217LineBad { kLineBadBaud = 1, kLineBadDataSize = 2, kLineBadParity = 4, kLineBadStop = 8 };
// Maps the DCB: Win32 parity 0..4 (none, odd, even, mark, space) to 1..5,
// stop bits 0, 1, 2 (one, one and a half, two) to 1, 3, 2, data bits 5..8
// as they are, RTS handshaking or CTS output flow to hardware flow, XON/XOFF
// either way to XON/XOFF, else none. Returns the Rfc2217LineBad bits of the
// fields left out of `out` (a baud of 0 would ask instead of set).
int rfc2217_line_from_dcb(const LineDcb* dcb, Rfc2217Line* out);
// The requests for speed, data size, parity, stop size and flow, recorded
// in the session. Returns the length; -1 when `out_size` is too small, or
// -2 when the DCB has a field the option cannot carry (nothing written or
// recorded either way).
int rfc2217_request_line(TelnetSession* s, const LineDcb* dcb, uint8_t* out, int out_size);
// The longest rfc2217_request_line writes.
constexpr int kRfc2217LineBytes = 42;

// When answer `e` sets a line setting (speed, data bits, parity, stop
// bits) otherwise than asked: the speed the line has now, for its
// "settings" event (the server's when it set the speed otherwise too,
// else `asked_baud`); 0 for any other event.
uint32_t rfc2217_settings_event(const TelnetSession* s, const TelnetEvent& e, uint32_t asked_baud);

// The settings the server answered with another value than the one asked,
// what it set first: "Baud 38400 (asked 250000)", joined by ", ", into
// `out` (always ended within `size`). Returns how many differ.
int rfc2217_differences(const TelnetSession* s, char* out, int size);
