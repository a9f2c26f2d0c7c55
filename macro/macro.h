// The macro interpreter: a macro file (UTF-16LE with its byte-order mark,
// one command per line, lines ending in CR or CR LF) held in the macro
// buffer, executed one line per call of macro_step, with one hundred memory
// slots that survive from run to run.
//
// Everything here runs on the user-interface thread, called from the macro
// dialog's timer; steps never overlap. The platform is reached only
// through MacroHost: the clock, the port write, and the capture buffer,
// which the receive threads keep appending to while a read command waits.
// The interpreter reads the capture below its write position only, and
// records its own sends with capture_append like every other writer.
//
// Nothing here blocks. TIME, the read commands and the file transfers
// (which run on a worker of their own) become a wait: the step
// that starts one returns kMacroWaiting, and every following step looks
// once whether the wait is over (the time has run out, the answer is
// there) until it finishes the command and lets the next line run. The
// dialog polls a waiting macro every kMacroPollMs and stops it at once with
// macro_stop, so the message loop keeps running through the longest wait.
//
// No file can make the interpreter read or write outside its buffers: every
// scan stops at the macro length, every line and literal is held to fixed
// sizes, and slot lengths stay within 0 .. kMacroSlotBytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/capture.h"
#include "codec/convert.h"
#include "codec/frame.h"
#include "settings/message_text.h"

constexpr int kMacroBufferUnits = 12800;               // the macro buffer, BOM included
constexpr int kMacroFileBytes = kMacroBufferUnits * 2;  // most of a file that is read
constexpr int kMacroSlots = 100;
constexpr int kMacroSlotBytes = 264;
constexpr int kMacroLineUnits = 255;     // a line's text before its CR
constexpr int kMacroLiteralBytes = 255;  // a literal's bytes in the code page
constexpr uint32_t kMacroPollMs = 10;    // how often a read command looks at the capture
constexpr uint32_t kMacroTimeUnitMs = 100;  // unit of TIME and of the read commands' limit

// A command that is waiting: TIME, or a read command collecting its answer.
// Capture places are absolute (capture_place), so a wrap during the wait
// never shifts what has been counted. A clear or a loaded log replaces the
// records the read was counting: the read then ends at once without an
// answer, as if its time had run out, and the macro goes on.
struct MacroWait {
  int32_t what;       // kMacroWaitNone, kMacroWaitTime, kMacroWaitRead
  uint32_t began;     // the clock when the command started
  uint32_t limit_ms;  // how long it may wait from then
  int32_t slot;       // read: the slot that takes the answer
  uint8_t kind;       // read: the record kind of the answer
  int32_t wanted;     // read: bytes wanted
  int32_t found;      // read: bytes of that kind counted so far
  int32_t skip;       // read: bytes of that kind it passes over first (ZSKP)
  int64_t start;      // read: absolute place where the answer is looked for
  int64_t scanned;    // read: absolute place up to which it has been counted
  uint32_t generation;  // read: the capture's generation its start belongs to
  char16_t label[3];    // transfer: the label a failed one jumps to
};
enum MacroWaitKind { kMacroWaitNone = 0, kMacroWaitTime = 1, kMacroWaitRead = 2, kMacroWaitTransfer = 3 };

struct MacroSlot {
  int32_t length;  // valid bytes, 0 .. kMacroSlotBytes
  uint8_t data[kMacroSlotBytes];
};

// Why a macro stopped: the step (the line's index, as the step label shows
// it), the message text that says why and the numbers it names. The window
// shows kTextMacroStoppedAt with the step, then `text` with `args`.
struct MacroFault {
  int32_t step;
  int text;  // a MessageNumber; 0 while the macro has not stopped
  int32_t args[3];
};

// Process-wide: zero at start; the buffer is only overwritten by the next
// load and the slots only by the commands.
struct MacroState {
  char16_t buffer[kMacroBufferUnits];
  int32_t position;   // index of the next code unit to execute
  int32_t length;     // code units loaded, the byte-order mark included
  int64_t read_mark;  // absolute capture place (capture_place): start of ZRED and ZRD2
  uint32_t read_mark_generation;  // the capture's generation when the mark was set
  int32_t read_skip;  // ZSKP: bytes of its channel ZRED and ZRD2 pass over after the mark
  MacroWait wait;     // the command that waits, if any
  MacroSlot slots[kMacroSlots];
  MacroFault fault;   // why the macro stopped (kMacroStopped)
};

// Platform services of the interpreter. `write` puts bytes on channel 1
// (CH1) or 2 (CH2) and returns 0 when all of them went out; the interpreter
// records them in `capture` itself. `show_step` reports each command line
// as it starts: its index in the buffer, the macro length and its text.
struct MacroHost {
  void* ctx;
  Capture* capture;
  const AnsiCodec* codec;
  uint32_t (*now)(void* ctx);              // milliseconds
  int (*write)(void* ctx, int channel, const uint8_t* bytes, int count);
  void (*show_step)(void* ctx, int32_t position, int32_t length, const char16_t* line, int count);
  // The time `count` bytes take on the channel's line in µs, which a sent
  // chunk's time adds to its hand-over; null: none.
  int64_t (*line_us)(void* ctx, int channel, int count) = nullptr;
  // XSND, XSD2, XRCV and XRC2: starts a file transfer on channel 1 or 2,
  // sending or receiving by `protocol` (a TransferProtocol), with the path's bytes in the code page (several files
  // separated by '|'; a YMODEM receive names the folder): 0 when it runs.
  // Then transfer_poll says how it stands: 0 running, 1 done, 2 failed.
  // Null: the commands fail.
  int (*transfer_start)(void* ctx, int channel, int sending, int protocol, const uint8_t* path, int count) = nullptr;
  int (*transfer_poll)(void* ctx) = nullptr;
};

// The TransferProtocol a transfer command's letter names (R raw, X
// XMODEM, K XMODEM-1K, Y YMODEM), or -1.
int macro_transfer_protocol(char16_t letter);

// Load results: 0, or the message text that refuses the file.
// A refusal is the message text that says why.
enum MacroLoadResult {
  kMacroLoadOk = 0,
  kMacroLoadEmpty = kTextMacroFileEmpty,
  kMacroLoadNotUtf16 = kTextNotUnicodeFile,
};

// Copies the first kMacroFileBytes of a file's bytes into the buffer (the
// units past them keep what they held) and checks them: an empty file gives
// kMacroLoadEmpty, one that does not begin with FF FE kMacroLoadNotUtf16.
// A refused file leaves a macro length of 0, so nothing of it runs.
int macro_load(MacroState* m, const uint8_t* bytes, size_t count);

// Begins a run of the loaded macro at its first line, with the read mark
// at the capture's write position (0 without a capture).
void macro_start(MacroState* m, Capture* capture);

// Ends a run at once, also in the middle of a wait; nothing more is sent.
void macro_stop(MacroState* m);

// 1 while a TIME or read command waits.
inline int macro_waiting(const MacroState* m) { return m->wait.what != kMacroWaitNone; }

// What one step asks of its caller.
enum MacroStepOutcome {
  kMacroNext = 0,       // go on with the next tick
  kMacroSendFailed,     // a send failed: tell the user (message text 32), go on
  kMacroEnded,          // PEND: stop, message text 22
  kMacroRanOff,         // the end of the macro without PEND: stop, message text 21
  kMacroStopped,        // the line cannot be executed: stop, show m->fault
  kMacroWaiting,        // a TIME or read command waits: step again in kMacroPollMs
};

// Executes at most one line, or looks once at the wait of the line that
// waits.
int macro_step(MacroState* m, const MacroHost* host);

// The label search: index of the colon of the first label line named by the
// three units, or the macro length when there is none. The first line (the
// one holding the byte-order mark) is never a label line.
int32_t macro_find_label(const MacroState* m, const char16_t name[3]);

// Literal notation, in place: quoted text as it is, hexadecimal pairs
// outside quotes. Returns the new count (never more than `count`).
int macro_literal(uint8_t* bytes, int count);

// Macro send results.
enum MacroSendResult { kMacroSent = 0, kMacroNotSent = 1, kMacroTooLong = 2 };

// The macro's own send: mode 1 takes `units` code units of literal
// notation, mode 2 `count` bytes as they are; channel 1 or 2. Writes through
// the host and records the bytes (kind 2 or 4) in every mode, line monitor
// mode included. No data succeeds without writing anything.
int macro_send_text(const MacroHost* host, int channel, const char16_t* units, int count);
int macro_send_bytes(const MacroHost* host, int channel, const uint8_t* bytes, int count);

// Reads a decimal field of `width` columns at column `col` of an argument
// of `count` units: blanks, a sign, digits; columns past the end are empty.
int32_t macro_field(const char16_t* arg, int count, int col, int width);

// The counters of MINC (hex = 0) and HINC (hex = 1) on slot s.
void macro_count_up(MacroSlot* s, int hex);
