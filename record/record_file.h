// The recording file (.qrec, version 1): what Record to Disk writes and
// Open Recording and the command line read. Append-only, each file
// self-contained, written in blocks that each carry a check, so that a
// block torn by a crash or a full disk is found and never trusted.
//
// All integers are little-endian.
//
// File header, kRecordHeaderBytes (224) bytes:
//   0    "QREC"
//   4    u16 format version (1)
//   6    u16 header size (224)
//   8    u16 year, u8 month, u8 day, u8 hour, u8 minute, u8 second, u8 0:
//        the local time of day when the file began
//   16   i64 the capture clock (µs) at that moment: a chunk's time of day
//        is the start plus (its time - this)
//   24   two channel records (CH1, CH2) of kRecordChannelBytes (96) each:
//        u32 baud, u8 data bits, u8 parity (0 none, 1 odd, 2 even, 3 mark,
//        4 space), u8 stop bits (0 one, 1 one and a half, 2 two), u8 flow
//        (0 none, 1 XON/XOFF, 2 RTS/CTS), u8 port kind (0 COM, 1 rfc2217,
//        2 socket, 3 listen; 255 no port), u8 0, u16 COM number,
//        char[84] the network address, NUL-padded (cut when longer)
//   216  u32 CRC-32 of bytes 0..215
//   220  u32 the run: a number the program draws at its start, the same in
//        every file one run of it writes (0 in files of earlier versions,
//        whose runs are told by their clocks alone; outside the check, so
//        that earlier readers read these files as before)
//
// Blocks follow, each kRecordBlockHeaderBytes (28) bytes and its payload:
//   0    "QBLK"
//   4    u32 payload bytes (at most kRecordBlockPayloadMax)
//   8    u32 entries in the payload
//   12   u32 CRC-32 of the payload
//   16   i64 time (µs, capture clock) of the first entry
//   24   u32 CRC-32 of bytes 0..23
// An entry is a type byte and its fields:
//   1..4 (the capture's record kinds: CH1 RX, CH1 TX, CH2 RX, CH2 TX): a
//        chunk: u16 length (1..kRecordChunkMax), i64 time (µs), the bytes
//   16   a line event: u8 kind, u8 channel, u16 port, u32 detail, i64 time
// A chunk costs 11 bytes beside its data, a block 28 bytes.
//
// Pure: no file, no clock, nothing allocates; every buffer is the caller's.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint16_t kRecordVersion = 1;
constexpr int kRecordHeaderBytes = 224;
constexpr int kRecordChannelBytes = 96;
constexpr int kRecordAddressBytes = 84;
constexpr int kRecordBlockHeaderBytes = 28;
constexpr uint32_t kRecordBlockPayloadMax = 64 * 1024;
constexpr int kRecordChunkMax = 4096;  // a longer chunk is recorded as several with the same time
constexpr int kRecordChunkOverhead = 11;
constexpr int kRecordEventBytes = 17;
constexpr uint8_t kRecordEntryEvent = 16;
constexpr uint8_t kRecordNoPort = 255;

struct RecordChannel {
  uint32_t baud;
  uint8_t data_bits, parity, stop_bits, flow;
  uint8_t port_kind;  // PortKind, or kRecordNoPort
  uint16_t com;
  char address[kRecordAddressBytes + 1];  // terminated
};

struct RecordHeader {
  uint16_t year;
  uint8_t month, day, hour, minute, second;
  int64_t clock_us;
  RecordChannel channel[2];
  uint32_t run_id;  // 0: not known
};

// The header's bytes into out.
void record_header_write(const RecordHeader& h, uint8_t out[kRecordHeaderBytes]);

enum RecordHeaderStatus {
  kRecordHeaderOk = 0,
  kRecordHeaderShort = 1,     // fewer bytes than a header
  kRecordHeaderNotOurs = 2,   // no "QREC"
  kRecordHeaderVersion = 3,   // a version this program does not read
  kRecordHeaderDamaged = 4,   // its check fails, or a field is out of range
};
// Reads a header from the first `n` bytes of a file.
int record_header_read(const uint8_t* p, size_t n, RecordHeader* out);

// One entry, as the reader gives it: a chunk (kind 1..4, `data` points into
// the payload) or a line event (kind kRecordEntryEvent).
struct RecordEntry {
  uint8_t type;
  uint16_t length;
  int64_t time_us;
  const uint8_t* data;
  uint8_t event_kind, event_channel;
  uint16_t event_port;
  uint32_t event_detail;
};

// A block being filled. Zero it with record_block_begin.
struct RecordBlockBuilder {
  uint32_t payload;  // bytes in it
  uint32_t entries;
  int64_t first_time;
  uint8_t bytes[kRecordBlockHeaderBytes + kRecordBlockPayloadMax];
};
void record_block_begin(RecordBlockBuilder* b);
// Adds a chunk (1..kRecordChunkMax bytes) or an event; 0, or 1 when it does
// not fit in the block (nothing added: seal this one and begin another), or
// 2 for an entry that is not valid.
int record_block_add_chunk(RecordBlockBuilder* b, uint8_t kind, int64_t time_us, const uint8_t* data, int n);
int record_block_add_event(RecordBlockBuilder* b, uint8_t kind, uint8_t channel, uint16_t port, uint32_t detail,
                           int64_t time_us);
// An event entry's bytes, and the 11 bytes before a chunk's data: the one
// encoding the block builder and the hand-over queue share.
void record_event_encode(uint8_t out[kRecordEventBytes], uint8_t kind, uint8_t channel, uint16_t port,
                         uint32_t detail, int64_t time_us);
void record_chunk_head_encode(uint8_t out[kRecordChunkOverhead], uint8_t kind, int n, int64_t time_us);
// Writes the block's header; returns the block's bytes (header and
// payload, from b->bytes), 0 for a block without entries.
uint32_t record_block_seal(RecordBlockBuilder* b);

struct RecordBlock {
  uint32_t payload_bytes;
  uint32_t entries;
  int64_t first_time;
  const uint8_t* payload;
};
enum RecordBlockStatus {
  kRecordBlockOk = 0,
  kRecordBlockTorn = 1,     // the block runs past the bytes there are: the file's torn tail
  kRecordBlockDamaged = 2,  // no "QBLK", a check that fails, a size out of range
};
// Reads the block at p, of which `n` bytes are there. Its header alone is
// checked with record_block_header (for a reader that skips payloads).
int record_block_header(const uint8_t* p, size_t n, RecordBlock* out);
int record_block_read(const uint8_t* p, size_t n, RecordBlock* out);

// The entry at *at of a block's payload; moves *at past it. 1 with *out,
// 0 at the payload's end, -1 for an entry that is not valid (the block is
// then damaged from there on).
int record_entry_next(const RecordBlock& b, uint32_t* at, RecordEntry* out);

// CRC-32 (IEEE 802.3) of n bytes, continuing from `crc` (0 to start).
uint32_t record_crc32(uint32_t crc, const uint8_t* p, size_t n);

// "quorrin-20261209-101112.qrec" into out (units >= kRecordNameUnits); a
// later file begun in the same second carries "-2", "-3" ... before the
// extension (record_file_name_nth).
constexpr int kRecordNameUnits = 32;
void record_file_name(const RecordHeader& h, char out[kRecordNameUnits]);
// The name of the k-th file (1, 2 ...) begun in the second `h` names;
// units >= kRecordNameUnits + 12.
void record_file_name_nth(const RecordHeader& h, int k, char* out, int units);
// 1 when `name` is such a name (the case of ".qrec" aside).
int record_file_name_ours(const char* name);
// The order files of a recording are read and pruned in, oldest first: by
// the second in the name, then by the number after it (none is 1, then -2,
// -3 ... -10 as numbers). Names that are not recordings' come after, by
// their text. Below 0, 0 or above 0 as strcmp.
int record_file_name_compare(const char* a, const char* b);

// A folder's recordings in their order (record_file_name_compare), as many
// as a list holds: the oldest. Names are UTF-16, shorter than
// kRecordNameChars: any name a folder can hold, so a recording the user
// renamed is opened as /export opens it.
constexpr int kRecordFolderFilesMax = 4096;  // recordings listed at once
constexpr int kRecordNameChars = 260;
struct RecordFileList {
  int count;
  char16_t names[kRecordFolderFilesMax][kRecordNameChars];
  uint64_t sizes[kRecordFolderFilesMax];
  int more;             // recordings that come after the listed ones and found no room
  uint64_t more_bytes;  // their sizes
};
void record_file_list_clear(RecordFileList* list);
// Puts `name` in its place; a full list keeps the oldest and counts the one
// that found no room in `more`. 1 for a name too long to hold (not put).
int record_file_list_put(RecordFileList* list, const char16_t* name, uint64_t size);
// record_file_name_compare of UTF-16 names (anything beyond ASCII read as
// no recording's name).
int record_file_name_compare16(const char16_t* a, const char16_t* b);

// A recording's size as the status bar says it: "12.3 MB" (tenths cut,
// never rounded up), below a tenth of a MB "48 KB", below 1 KB "512 B",
// into out (24 units).
void record_size_text(uint64_t bytes, char out[24]);
// The status bar's text of a recording: "REC 12.3 MB 0:05:12" (bytes
// written, hours:minutes:seconds since it began), and " LOST 1234 B" when
// the hand-over had to drop data, into out (64 units).
void record_status_text(uint64_t bytes, uint32_t seconds, uint64_t lost, char out[64]);

// The local date and its offset from UTC (minutes) as one number: a file
// holds one of them, so that its times of day read back as they were.
int64_t record_day_stamp(int year, int month, int day, int zone_minutes);
// 1 when the next `bytes` must go into a new file: the file would pass
// `limit` bytes (0: no limit), or the day stamp (a new day, a change of
// the UTC offset) has changed since it began.
int record_rotate_due(uint64_t file_bytes, uint64_t bytes, uint64_t limit, int64_t file_day, int64_t today);
// Before a file begins: with the folder's recordings' sizes oldest first
// (record_file_name_compare; the file about to begin not among them), how
// many of the oldest to delete so that they and `coming` more bytes stay
// within `limit` (0: no limit).
int record_prune_count(const uint64_t* sizes, int n, uint64_t limit, uint64_t coming);
