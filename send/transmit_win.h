// The transmit path: every byte the send tools put on a line. Runs on the
// user-interface thread and waits for the write to complete, at most its
// time on the line twice over (line_write_limit_ms): a write that flow
// control holds longer is cancelled and fails.
#pragma once

#include "app/app_win.h"
#include "codec/frame.h"
#include "send/send_history.h"

// Send bytes results.
enum SendResult {
  kSendOk = 0,
  kSendWriteFailed = 1,  // WriteFile or its completion failed
  kSendShort = 2,        // fewer bytes written than asked
  kSendTooLong = 3,      // more than kSendMax bytes: refused, nothing written
  kSendBadChannel = 4,   // channel neither 1 nor 2
  kSendBusy = 5,         // a file transfer holds the channel: nothing written
};

// A file transfer holds a channel's writes for as long as it runs, sending
// or receiving: every other writer on it (the windows, a macro, the auto
// answer) is refused, so nothing lands among its blocks and answers.
// `thread` is the transfer's worker, the one writer let through; 0 gives
// the channel back.
void transmit_hold(int channel, DWORD thread);

extern SendHistory g_send_history;

// The time `count` bytes take on channel 1 or 2's line at its speed and
// frame bits (0 on a network link): what a sent chunk's time adds to its
// hand-over (capture_send_end).
int64_t port_line_us(int channel, int count);

// The write itself, shared by send_bytes and the macro send: one overlapped
// WriteFile of `count` (0 .. kSendMax) bytes on channel 1 or 2, waited for
// until it completes. A write that fails at once reads and clears the
// port's error state into the channel's line errors. Records nothing.
int port_write(int channel, const uint8_t* bytes, int count);

// A write that the user-interface thread starts and then looks at on its
// ticks instead of waiting for it (the auto answer window): one at a time
// per channel, with its own OVERLAPPED and buffer, so it never meets the
// waited writes of the other senders. A write that flow control holds past
// line_write_limit_ms is cancelled and fails.
enum PortWriteState {
  kPortWriteIdle = 0,  // none started, or its end was taken
  kPortWriteBusy,      // still on its way
  kPortWriteDone,      // all bytes written; recorded as sent (unless line monitor mode)
  kPortWriteFailed,    // failed, cancelled past its limit, or the port was closed
};
// Starts a write of count (1 .. kSendMax) bytes on channel 1 or 2 and gives
// it 5 ms to complete (a free line's write does); returns kPortWriteBusy,
// or kPortWriteFailed at once (another write of this kind is on its way, a
// bad channel or count, or WriteFile failed). Take its end with
// port_write_check, at once and on later ticks.
int port_write_begin(int channel, const uint8_t* bytes, int count);
// How the write started last on the channel stands. Done and failed are
// told once; the next call says idle. A done write is appended to the
// capture, timed from its hand-over (capture_send_end).
int port_write_check(int channel);

// Writes count bytes to channel 1 (CH1) or 2 (CH2) and records them in the
// capture (kind 2 or 4) unless line monitor mode is on.
int send_bytes(HWND owner, int count, const uint8_t* bytes, int channel);

// send_bytes for a thread that must not wait (the repeats): refused with
// kSendBusy, nothing written, while another write holds the channel. No
// message: the caller counts the refusal.
int send_bytes_unwaited(int count, const uint8_t* bytes, int channel);

// The bytes send_characters sends for these units (the whole send format
// frame when `frame` is set); non-zero after telling the user when they
// do not fit.
int send_frame_bytes(HWND owner, int count, const char16_t* units, int frame, uint8_t bytes[kSendMax], int32_t* length);

// Send characters: turns the units into bytes (the whole send format frame
// when `frame` is set), sends them on channel 1 or 2, reports a failure with
// message text 32, and adds the frame to the send history when `remember`
// is set and the send succeeded. Always 0.
int send_characters(HWND owner, int count, const char16_t* units, int channel, int frame, int remember);
