// Turning captured traffic into a macro that replays it as a test: what was
// sent is sent again with the same pauses, and every answer is waited for
// and compared with the bytes that came then.
//
// The text is a macro file as macro_load takes it (UTF-16LE with its
// byte-order mark, CR LF line ends), written line by line through a sink;
// nothing is allocated, each line is built in a fixed buffer. Its shape,
// for CH1 "AT" CR, answer "OK" CR LF 0.12 s later:
//
//   ; Quorrin macro from the capture, records 0 to 15
//   ; 0.000 s: CH1 sent 3 bytes
//   RRST (a space after it: every keyword but PEND is read with one)
//   SEND "AT"0D
//   ; 0.120 s: CH1 received 4 bytes, step 01
//   MCLR 01
//   ZRED 01,004,003
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
// - Pauses: the silence before a send becomes TIME lines (at most 999 units
//   each), rounded up to the 100 ms unit; measured from the chunk times
//   where both chunks have one, else taken from the gap digits of the chunk
//   before. No TIME line for a silence under one unit.
// - Answers: received chunks of one kind that follow each other are one
//   answer, one step. RRST before each send sets the read mark, so the
//   first answer of a channel after it is read with ZRED / ZRD2 from the
//   mark and is not missed when it comes before the read starts; a later
//   answer of the same channel before the next send is read with READ /
//   RED2 (from where the capture ends then). The read's limit is twice the
//   answer time (from the latest send before it, or from the chunk before
//   it when nothing was sent), at least 1 and at most 999 units. Slot 01
//   takes the answer (cleared first, or filled with FF when the answer
//   ends in 00, so a missing or short answer never compares equal); the expected bytes go either straight into a
//   CMPL literal or, when too long for one line, into slot 02 by MOVE and
//   MADD (slot 03 as helper) for a CMPM. Equal jumps to ":Pnn", otherwise
//   the macro falls into ":Fnn", a comment naming the step, and PEND.
// - A slot holds kMacroSlotBytes: of a longer answer only the first 264
//   bytes are compared (a read stores no more and a later read cannot reach
//   bytes that arrived with them); the read still waits for the whole
//   answer (up to 999 bytes, the read's length field) and a comment says
//   which bytes are not compared. Answers over 999 bytes say so too.
// - Labels are "F" or "P" and two characters: 01 to 99, then A0 to Z9 and
//   on, unique for up to kMacroFromCaptureSteps steps. The first line is a
//   comment, so no label sits on it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/capture.h"

// Steps (answers) one macro can name with unique labels.
constexpr int32_t kMacroFromCaptureSteps = 99 + 26 * 36;

struct MacroSink {
  void* ctx;
  int (*write)(void* ctx, const uint8_t* bytes, int n);  // 0 when all n bytes were taken
};

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
  int32_t unchecked_bytes; // answer bytes past the first kMacroSlotBytes of their answer
  int64_t units;           // code units written, the byte-order mark included
  int32_t too_long;        // 1 when the text is longer than the macro buffer (kMacroBufferUnits)
};

// Writes the macro for records first .. last (inclusive) of `records`
// (times beside them, or null when none is known). A range that begins in
// the middle of a chunk takes that chunk from `first` on.
MacroFromCaptureResult macro_from_capture(const CaptureRecord* records, const int64_t* times, int32_t first,
                                          int32_t last, const MacroSink* sink);

// The same into out[0 .. cap - 1]; *written gets the bytes put there. A text
// that does not fit ends with kMacroFromCaptureSinkFailed at the last whole
// line that fitted.
MacroFromCaptureResult macro_from_capture_into(const CaptureRecord* records, const int64_t* times, int32_t first,
                                               int32_t last, uint8_t* out, size_t cap, size_t* written);
