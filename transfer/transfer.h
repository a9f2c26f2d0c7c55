// File transfer over one channel: raw bytes (with optional pacing),
// XMODEM (128-byte blocks, checksum or CRC-16 as the receiver asks),
// XMODEM-1K and YMODEM batch, each as a sender and a receiver.
//
// A transfer is a machine driven by its caller, who owns the line and the
// clock: transfer_step is handed the bytes that arrived since the last call
// and the time, and answers with the bytes to write now and whether the
// transfer goes on, is done or failed (and why). With nothing arrived the
// caller steps again at transfer_wake at the latest, so time-outs and
// pacing fall due. Files are reached only through TransferSource and
// TransferSink, so the machines read and write nothing themselves and are
// tested against scripted peers with a fake clock.
//
// Time-outs and retries are the protocols' own (the XMODEM/YMODEM
// reference): a receiver asks with C every 3 s and turns to NAK (checksum)
// after four unanswered Cs; it waits 10 s for a block and 1 s for each
// character inside one, and NAKs after the line has been quiet for 1 s (or
// after 10 s of a line that never goes quiet, so the retries count down
// whatever noise comes); a sender waits 60 s for the receiver to start and 10 s for each answer;
// ten retries of one block end a transfer; two CANs in a row end it on
// either side. A sender throws away what arrived before its last write
// (the reference's purge), so a stale ACK never passes for a new one.
// An XMODEM receiver that has taken every block and then says nothing to
// EOT, sent twice, or a YMODEM receiver silent at the batch's end, has the
// file whole: the send is done, with progress.end_unanswered set. A
// YMODEM file whose data ends before the size its block 0 gave, or goes on
// past it, is kept as it came and fails the transfer (kTransferSizeMismatch).
//
// Nothing allocates: every buffer is a fixed array in Transfer, and no
// input, however hostile, makes the machines read or write past them.
#pragma once

#include <cstdint>

enum TransferProtocol { kTransferRaw = 0, kTransferXmodem = 1, kTransferXmodem1k = 2, kTransferYmodem = 3 };

enum TransferStatus { kTransferRunning = 0, kTransferDone = 1, kTransferFailed = 2 };

// Why a transfer failed.
enum TransferFailure {
  kTransferNoFailure = 0,
  kTransferNoStart,         // the peer never started (no C or NAK; no first block)
  kTransferRetries,         // one block (or EOT) failed ten times
  kTransferPeerCancelled,   // the peer sent CAN CAN
  kTransferCancelled,       // our user cancelled
  kTransferOutOfStep,       // a block number neither expected nor repeated
  kTransferReadFailed,      // the source could not be read
  kTransferWriteFailed,     // the sink could not be written
  kTransferNameRefused,     // a YMODEM name the sink refused (TransferSink::begin)
  kTransferBadHeader,       // a YMODEM block 0 without a name's end or with a bad size
  kTransferLineFailed,      // the caller's write failed or the line was lost
  kTransferSizeMismatch,    // a YMODEM file ended before its stated size or went on past it: kept as it came
  kTransferNothingReceived, // a raw receive heard nothing for its quiet time
  kTransferNameTooLong,     // a file to send by YMODEM whose name is longer than kTransferNameMost bytes
};

constexpr uint8_t kXmSoh = 0x01;
constexpr uint8_t kXmStx = 0x02;
constexpr uint8_t kXmEot = 0x04;
constexpr uint8_t kXmAck = 0x06;
constexpr uint8_t kXmNak = 0x15;
constexpr uint8_t kXmCan = 0x18;
constexpr uint8_t kXmCrc = 'C';
constexpr uint8_t kXmPad = 0x1A;  // the end-of-file padding of data blocks

constexpr int kTransferBlockMost = 1024;
constexpr int kTransferFrameMost = 3 + kTransferBlockMost + 2;
constexpr int kTransferOutMost = kTransferFrameMost + 8;
constexpr int kTransferNameMost = 255;  // bytes of a YMODEM name

constexpr uint32_t kXmStartLimitMs = 60000;  // a sender's wait for C or NAK
constexpr uint32_t kXmAnswerMs = 10000;      // a sender's wait for ACK or NAK
constexpr uint32_t kXmCrcAskMs = 3000;       // a receiver's C interval
constexpr int kXmCrcAsks = 4;                // Cs before a receiver asks for a checksum
constexpr uint32_t kXmBlockWaitMs = 10000;   // a receiver's wait for a block
constexpr uint32_t kXmCharWaitMs = 1000;     // between the characters of a block; the purge
constexpr int kXmRetries = 10;

// The sender's files. next_file gives the next file of the send (its
// name's bytes, at most kTransferNameMost, and its size): 1, or 0 when the
// send has no more files, kSourceOpenFailed when the file could not be
// opened, kSourceNameTooLong when its name has more bytes than a YMODEM
// name may (only XMODEM and raw, which send no name, go on). read fills
// up to `most` bytes of the current file: the count, 0 at its end, -1 on
// failure.
constexpr int kSourceOpenFailed = -1;
constexpr int kSourceNameTooLong = -2;
struct TransferSource {
  void* ctx;
  int (*next_file)(void* ctx, char name[kTransferNameMost], int* name_length, int64_t* size);
  int (*read)(void* ctx, uint8_t* bytes, int most);
};

// The receiver's files. begin opens the next file (a YMODEM name and size,
// size -1 when the header gives none; an XMODEM or raw receive begins once
// without a name): 0, or the TransferFailure that refuses it. write
// appends (0, or non-zero on failure); end closes the file, `whole` 1 when
// it arrived complete.
struct TransferSink {
  void* ctx;
  int (*begin)(void* ctx, const char* name, int name_length, int64_t size);
  int (*write)(void* ctx, const uint8_t* bytes, int count);
  void (*end)(void* ctx, int whole);
};

// Raw send pacing: a pause after each byte, and after each line end (LF,
// or a CR not followed by LF), in ms; 0 and 0 write in pieces as large as
// a write takes.
struct RawPacing {
  uint32_t byte_ms;
  uint32_t line_ms;
};

// What the progress window shows, kept up to date by the machines.
struct TransferProgress {
  char name[kTransferNameMost + 1];  // the current YMODEM name (empty otherwise)
  int64_t bytes;                     // bytes of the current file done
  int64_t size;                      // its size, -1 while unknown
  int64_t total_bytes;               // bytes done over all files
  int32_t blocks;                    // blocks acknowledged (sent) or taken (received)
  int32_t retries;
  int32_t files;                     // files finished
  int32_t end_unanswered;            // done, but the receiver said nothing to the end (EOT, batch end)
};

struct TransferOut {
  uint8_t bytes[kTransferOutMost];
  int32_t count;
};

struct Transfer {
  int32_t protocol;
  int32_t sending;
  int32_t state;
  int32_t status;
  int32_t failure;
  TransferSource source;
  TransferSink sink;
  RawPacing pacing;
  uint32_t quiet_ms;     // a raw receive ends after this silence (0: only by cancel)
  uint32_t deadline;     // when the current wait or pause ends
  uint32_t began;        // receiver: when it began asking for the current file
  uint32_t purge_until;  // receiver: a purge sends its NAK by then however the line chatters
  int32_t crc;           // 1: CRC-16, 0: checksum
  int32_t tries;         // retries of the current block, ask or EOT
  int32_t cans;          // CANs in a row
  int32_t sequence;      // block number expected (receiver) or on its way (sender), 0 .. 255
  int32_t first_block;   // sender: the block on its way is a file's first data block
  int32_t batch_end;     // sender: the block on its way is YMODEM's empty block 0
  int32_t heard;         // sender: something came since EOT went
  int32_t cancelling;    // sender: cancelled, waiting for the answer to the block on its way
  int32_t eots;          // receiver: EOTs seen for this file
  int32_t file_open;
  int64_t left;          // receiver: bytes of a YMODEM file still to come (-1 unknown)
  int32_t over;          // receiver: a block came past the YMODEM file's stated size
  uint8_t frame[kTransferFrameMost];  // sender: the block on its way; receiver: the block arriving
  int32_t frame_length;
  int32_t frame_want;    // receiver: bytes the arriving block will have
  uint8_t data[kTransferBlockMost];   // sender: the file's bytes read, not yet acknowledged
  int32_t have;
  int32_t in_frame;      // sender: bytes of `data` the block on its way carries
  int32_t at_end;        // sender: the source has no more bytes of this file
  uint8_t held[kTransferBlockMost];   // receiver: the latest block, kept until the next shows it was not the last
  int32_t held_length;
  TransferProgress progress;
};

void transfer_send_begin(Transfer* t, int protocol, const TransferSource* source, const RawPacing* pacing,
                         uint32_t now);
void transfer_receive_begin(Transfer* t, int protocol, const TransferSink* sink, uint32_t quiet_ms, uint32_t now);

// One turn: `in` holds the n bytes that arrived since the last turn, `now`
// the time. Bytes to write go to *out (out->count 0: none). Returns the
// status; once it is not kTransferRunning, t->failure says why and further
// turns change nothing.
int transfer_step(Transfer* t, const uint8_t* in, int n, uint32_t now, TransferOut* out);

// When the caller must step again at the latest with nothing arrived.
inline uint32_t transfer_wake(const Transfer* t) { return t->deadline; }

// Our user ends the transfer: CAN twice into *out (a raw transfer sends
// nothing), the file ends incomplete, the status becomes failed. A sender
// whose block is on its way first waits for the receiver's answer to it
// (at most kXmCharWaitMs; the status stays running meanwhile and later
// turns send the CANs): a receiver purges its input as it answers a
// block, and would throw CANs away that came while it was taking one.
void transfer_cancel(Transfer* t, uint32_t now, TransferOut* out);

// The caller could not write or lost the line: the transfer fails at once.
void transfer_line_failed(Transfer* t);

// --- the pieces the machines share, also used by the tests' scripted peers ---

// CRC-16 of XMODEM (polynomial 0x1021, start 0; high byte first on the line).
uint16_t transfer_crc16(const uint8_t* data, int count);

// Builds one block into frame: SOH (128) or STX (1024), its number and
// complement, `count` bytes of data padded with `pad` to the block's size,
// and the CRC or checksum. Returns the frame's length.
int transfer_frame(uint8_t* frame, int block_size, int number, const uint8_t* data, int count, uint8_t pad, int crc);

// YMODEM block 0 data (block_size bytes, NUL padded): the name, NUL, the
// size in decimal; size < 0 leaves it out. An empty name gives the batch's
// end. Returns 1 when name and size fit in one block of that size.
int transfer_header(uint8_t* data, int block_size, const char* name, int name_length, int64_t size);

// Reads block 0 data: the name (at most kTransferNameMost bytes) and the
// size (-1 when absent). Returns 0, or kTransferBadHeader.
int transfer_header_read(const uint8_t* data, int block_size, char name[kTransferNameMost], int* name_length,
                         int64_t* size);

// Whether a received name may become a file in the chosen folder: one
// valid Windows file name, no folder part. 0, or why not.
enum TransferNameProblem {
  kNameOk = 0,
  kNameEmpty,
  kNameHasFolder,     // a separator, drive or "..": it would leave or go below the folder
  kNameBadCharacter,  // a control character or one of < > : " | ? *
  kNameBadEnd,        // ends with a space or a dot
  kNameReserved,      // a device's name (transfer_device_name)
  kNameTooLong,
};
int transfer_name_check(const char* name, int length);

// 1 when Windows takes the name for a device in any folder: CON, PRN, AUX,
// NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (and with the digits ¹ ² ³), any
// case, with or without an extension. The receiver checks the name again
// with this once it has become UTF-16, whatever code page made it so.
int transfer_device_name(const char16_t* name, int length);

// The name a received file is saved under when `number` - 1 files of its
// name are in the folder: the name itself for 1, else "stem (n).ext", the
// number before the last dot (none for a name that only starts with one).
// Returns its length in units (out is not ended), 0 when it does not fit
// in `most`.
int transfer_numbered_name(const char16_t* name, int length, int number, char16_t* out, int most);

// Raw pacing: how many of the `count` bytes at `data` go into the next
// write (at most `most`), and the pause after them. `more` tells whether
// bytes follow the `count` ones (a CR at the end then waits to see whether
// an LF follows it). Returns 0 only when count is 0, or when count is 1,
// the byte is a CR and more follow.
int raw_next_piece(const uint8_t* data, int count, int more, const RawPacing* pacing, int most, uint32_t* pause_ms);

// Time arithmetic on the millisecond clock, which wraps: 1 when `now` has
// reached `when`.
inline int transfer_due(uint32_t now, uint32_t when) { return static_cast<int32_t>(now - when) >= 0; }
