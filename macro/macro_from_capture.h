// Turning captured traffic into a macro that replays it as a test: what was
// sent is sent again with the same pauses, and every answer is waited for
// and compared with the bytes that came then.
//
// The text is a macro file as macro_load takes it (UTF-16LE with its
// byte-order mark, CR LF line ends), written line by line through a sink;
// nothing is allocated, each line is built in a fixed buffer. Its shape,
// for CH1 "AT" CR at 9600 baud, answer "OK" CR LF 0.12 s later:
//
//   ; Quorrin macro from the capture, records 0 to 15
//   ; 0.000 s: CH1 sent 3 bytes
//   RRST (a space after it: every keyword but PEND is read with one)
//   SEND "AT"0D
//   ; 0.120 s: CH1 received 4 bytes, step 01
//   MCLR 01
//   ZRED 01,004,009
//   CMPL 01,P01,"OK"0D0A
//   :F01
//   ; step 01 failed: the CH1 answer of 0.120 s differs from the capture
//   PEND
//   :P01
//   ; every answer came as captured
//   PEND
//
// - Sends: a sent chunk becomes SEND (CH1) or SED2 (CH2) lines in literal
//   notation, printable runs of two or more in double quotes and every
//   other byte as a hex pair; a chunk whose notation does not fit in one
//   line (kMacroLineUnits) goes out over several lines.
// - Pauses: the silence before a send (the start of its bytes less the end
//   of the previous chunk's bytes, timeline_silence_us, at each channel's
//   speed; from the gap digits of the chunk before where a time is not
//   known) becomes TIME lines of at most 999 units each, rounded up to the
//   100 ms unit, so the replay never sends sooner than the capture did. A
//   silence shorter than one unit gets no TIME line: the lines before a
//   send (a comment and RRST at least) already take two 50 ms ticks.
// - Answers: RRST before each send sets the read mark, and every answer is
//   read with ZRED / ZRD2 from that mark, so bytes that come before the
//   read starts are counted too. A read counts only its own channel's
//   bytes, so what one channel receives between two sends is one answer,
//   one step, whatever the other channel says in between; the steps follow
//   the order in which the answers began.
// - The read's limit covers the answer as the replay meets it: twice the
//   time from the end of the request to the answer's first byte (and twice
//   any pause inside the answer), the answer's own time on the line at its
//   channel's speed, the time the receive thread holds the last bytes
//   before it hands them over (the read interval time-out) and
//   kMacroReplayMarginMs for the macro's ticks and a loaded machine;
//   rounded up to whole units, at least 1 and at most 999. An answer with
//   no send before it in the range waits at least 1 s.
// - Slot 01 takes the answer (cleared first, or filled with FF when the
//   answer ends in 00, so a missing or short answer never compares equal);
//   the expected bytes go either straight into a CMPL literal or, when too
//   long for one line, into slot 02 by MOVE and MADD (slot 03 as helper)
//   for a CMPM. Equal jumps to ":Pnn", otherwise the macro falls into
//   ":Fnn", a comment naming the step, and PEND.
// - An answer longer than a slot (kMacroSlotBytes) is compared in parts of
//   a slot: the first read waits for the whole answer and takes its first
//   part; each further part, at its own label (":Qnn", ":Rnn", ":Snn"), is
//   read again from the mark past the bytes compared already (ZSKP, set
//   back to 0 after the last part), with a limit of one unit, as the answer
//   is there by then. A part that differs jumps to ":Fnn". A read waits for
//   at most 999 bytes (its length field): of a longer answer the rest is
//   not compared, and a comment says so.
// - Labels are "F" or "P" and two characters: 01 to 99, then A0 to Z9 and
//   on, unique for up to kMacroFromCaptureSteps steps. The first line is a
//   comment, so no label sits on it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/byte_sink.h"
#include "app/capture.h"
#include "serial/line_params.h"

// Steps (answers) one macro can name with unique labels.
constexpr int32_t kMacroFromCaptureSteps = 99 + 26 * 36;

// Room the read's limit leaves beyond the answer's own time.
constexpr int64_t kMacroReplayMarginMs = 500;

// The lines as the replay meets them, CH1 then CH2: each channel's speed and
// frame bits, and how long its receive thread may hold the last bytes of an
// answer before it hands them to the capture (macro_receive_hold_ms).
struct MacroReplayLines {
  LineShape shape[2];
  uint32_t hold_ms[2];
};

// The lines of `port` (the settings of both channels) with the time-outs
// every port gets at open.
MacroReplayLines macro_replay_lines(const PortSettings port[2]);

// How long a receive thread with these time-outs may hold bytes after the
// last of them came: the read interval time-out, or the whole read's
// time-out (constant + multiplier per byte of a 100-byte read) when that
// ends a read sooner or no interval is set; 0 when neither is set.
uint32_t macro_receive_hold_ms(const LineTimeouts& t);

enum MacroFromCaptureStatus {
  kMacroFromCaptureOk = 0,
  kMacroFromCaptureNothing = 1,    // no sent or received bytes in the range
  kMacroFromCaptureSinkFailed = 2, // the sink refused bytes: the text is cut
  kMacroFromCaptureTooManySteps = 3,  // more answers than labels: ends after the last one named
  kMacroFromCaptureBadRange = 4,   // first or last outside the records
};

struct MacroFromCaptureResult {
  int32_t status;          // a MacroFromCaptureStatus
  int32_t send_lines;      // SEND and SED2 lines
  int32_t steps;           // answers read and compared
  int32_t unchecked_bytes; // answer bytes past the first 999 of their answer
  int64_t units;           // code units written, the byte-order mark included
  int32_t too_long;        // 1 when the text is longer than the macro buffer (kMacroBufferUnits)
};

// Writes the macro for records first .. last (inclusive) of `records`
// (times beside them, or null when none is known), for a replay on `lines`
// (null: speeds unknown, the default read interval). A range that begins
// in the middle of a chunk takes that chunk from `first` on.
MacroFromCaptureResult macro_from_capture(const CaptureRecord* records, const int64_t* times, int32_t first,
                                          int32_t last, const MacroReplayLines* lines, const ByteSink* sink);

// The same into out[0 .. cap - 1]; *written gets the bytes put there. A text
// that does not fit ends with kMacroFromCaptureSinkFailed at the last whole
// line that fitted.
MacroFromCaptureResult macro_from_capture_into(const CaptureRecord* records, const int64_t* times, int32_t first,
                                               int32_t last, const MacroReplayLines* lines, uint8_t* out, size_t cap,
                                               size_t* written);
