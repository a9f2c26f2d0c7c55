// The passive Modbus monitor: the capture read back as Modbus frames, with
// their fields, their checks, which answer belongs to which request and how
// long the slave took, and a CSV of it all.
//
// Streams: each direction of each channel is a byte stream of its own, its
// chunks concatenated in capture order, so a frame may span chunks and a
// chunk may hold several frames. Requests are the sent chunks and answers
// the received chunks of the same channel (CH1 TX -> CH1 RX, CH2 TX ->
// CH2 RX); in line monitor mode (one tap each way, both channels receive)
// requests are CH1 RX and answers CH2 RX, and sent chunks are not read.
//
// RTU framing: a silence of 3.5 characters at the channel's speed (at least
// 1.75 ms, timeline_modbus_silence_us) ends a run of bytes. The silence
// between two consecutive chunks of one stream is the capture's one rule
// for it (timeline_silence_us, with each channel's speed and frame bits):
// from the end of the earlier chunk's bytes on the line to the start of
// the later one's. Inside a run, and where times are unknown, frames are cut by
// the length their function code implies (requests of 01-06: 8 bytes; 0F
// and 10: 9 plus the byte count at offset 6; answers of 01-04: 5 plus the
// byte count at offset 2; 05, 06, 0F, 10: 8; exceptions: 5; other codes: up
// to the first CRC that matches, at most 256 bytes) and a matching CRC.
// Bytes where no frame starts are skipped one at a time and gathered into
// one NOT MODBUS entry until a frame starts again; every attempt looks at
// most 256 bytes ahead, so the work stays linear in the stream. A run that
// silence (or the end of the capture) closed and that holds no valid frame
// is one frame, as RTU frames end at a silence: BAD CRC when it is at least
// as long as its function implies (at least 4 bytes for other codes), TOO
// SHORT when it is shorter, NOT MODBUS when it cannot start a frame (slave
// above 247, function 0) or is longer than 256 bytes. Where times are
// unknown a damaged frame amid others cannot be told from noise and becomes
// NOT MODBUS; one at the end of the stream is still BAD CRC.
//
// ASCII framing: ":" to CR LF, hex pairs, the last pair the LRC; bytes
// outside frames are NOT MODBUS, a frame cut by the next ":" or by the end
// of the capture is TOO SHORT.
//
// TCP framing, on a channel that is a network link carrying Modbus TCP
// (ModbusMonitorOptions::tcp): silences and chunks tell nothing; each frame
// is an MBAP header (transaction id, protocol id, length: 2 bytes each, big
// endian), the unit id, then the PDU, the length counting unit and PDU. A
// header is sound when its protocol id is 0 and its length 2 to 254 (the
// largest PDU is 253 bytes). Where the stream is in step (right after a
// frame) a sound header is taken as it stands; a frame whose function
// implies another PDU length than the header's is BAD LENGTH, and ends
// where the header says, unless the bytes there start no sound header
// while those after the length its function implies do. A header that is
// not sound (protocol id not 0: BAD PROTOCOL; length 0, 1, or 255 to 512:
// BAD LENGTH) is a frame of the length it states only where a frame is due
// (in step, or at the start of a stream or after a break of the line) and
// the bytes after it start a sound header or end the capture; otherwise
// it, like a length above 512, cannot start a frame. Out of step (at the
// start, after a break, after noise) a sound header too is taken only with
// that confirmation. Bytes where no frame starts are skipped one at a time
// and gathered into one NOT MODBUS entry, as in the other framings, until
// a confirmed frame starts; every decision looks at most 524 bytes ahead,
// so the work stays linear. A frame cut by the end of the capture or a
// break of the line is TOO SHORT (NOT MODBUS when it follows noise). The
// unit id goes where the slave goes, and the PDU's fields are read as an
// RTU frame's.
//
// Pairing: an answer with a good check pairs with the latest request with
// a good check before it on the same channel pair (CH1, CH2, or the line
// monitor's one pair) that has the same slave and function (function &
// 0x7F for an exception), on TCP also the same transaction id (so answers
// out of order find their requests), and no answer yet, and that was written no later
// than the answer's first bytes were seen (a quick next poll can be
// recorded before the answer's chunk closes); the search looks back at most
// kModbusMonitorLookback frames, and never across an event that broke the
// line between them (ModbusMonitorOptions::events).
//
// Latency: the capture knows when each chunk's transfer was complete, not
// when each byte went by. An answer's latency is the time of the chunk
// holding the answer's first byte less the time of the chunk holding its
// request's last byte: from the request fully written to the first chunk
// of the answer seen. kTimeUnknown when either time is unknown.
//
// The decoders below read records handed in (a snapshot of the capture,
// or a loaded log) and allocate nothing but the frames of a growable list;
// the streams' run buffers, with their bytes' CRC keys (so that a CRC
// tried at any length is one comparison), live on the stack (about 22 kB).
// A full capture takes a few hundred milliseconds at worst
// (bench/results/modbus-monitor.md), so the window decodes on a worker
// thread (ModbusMonitorWorker below).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "app/capture.h"
#include "modbus/modbus.h"
#include "serial/line_params.h"
#include "timeline/chunks.h"
#include "timeline/export.h"

constexpr int kModbusMonitorValues = 32;    // register values kept per frame
constexpr int kModbusMonitorBitBytes = 32;  // coil and input bytes kept per frame
constexpr int kModbusMonitorLookback = 1024;
constexpr int kModbusMonitorSummaryChars = 400;  // summary text with its terminator

// What a frame is in its exchange.
enum ModbusMonitorRole : uint8_t { kMonitorRequest = 0, kMonitorAnswer = 1 };

enum ModbusMonitorCheck : uint8_t {
  kMonitorOk = 0,
  kMonitorBadCrc,
  kMonitorBadLrc,
  kMonitorTooShort,
  kMonitorNotModbus,
  kMonitorBadLength,    // TCP: the MBAP length is out of range or disagrees with the PDU
  kMonitorBadProtocol,  // TCP: the MBAP protocol id is not 0
};

// Which fields of a frame hold values.
enum ModbusMonitorField : uint16_t {
  kFieldSlave = 1,
  kFieldFunction = 2,
  kFieldAddress = 4,     // start address (or coil / register address)
  kFieldQuantity = 8,    // count of coils or registers
  kFieldByteCount = 16,
  kFieldValues = 32,     // register values
  kFieldBits = 64,       // coil or input bytes, first coil in bit 0
  kFieldValue = 128,     // written value of 05 and 06
  kFieldException = 256,
  kFieldTransaction = 512,  // the MBAP transaction id of a TCP frame
};

struct ModbusMonitorOptions {
  int32_t mode;          // ModbusMode of the channels without the tcp flag (kModbusTcp: every channel)
  int32_t line_monitor;  // 1: requests CH1 RX, answers CH2 RX
  LineShape shape[2];    // CH1 and CH2: speed and frame bits for the RTU silences
  // The capture's line events (absolute places, record 0 of the records
  // decoded at `base`, in place order), or none. An event that breaks a
  // channel's line (line_event_breaks: the port lost, back, closed or
  // opened, a log loaded, the capture cleared) ends that channel's runs of
  // bytes, and no request is paired with an answer across it.
  const LineEvent* events = nullptr;
  int32_t event_count = 0;
  int64_t base = 0;
  // CH1 and CH2: 1 when the channel is a network link carrying Modbus TCP;
  // its streams are then framed by their MBAP headers whatever the mode.
  // A network link carrying RTU frames ("RTU over TCP") leaves it 0.
  uint8_t tcp[2] = {0, 0};
  // CH1 and CH2: 1 when the channel is a network link whose framing is not
  // known: it carries Modbus TCP or RTU frames ("RTU over TCP"), and
  // modbus_monitor_decode_either keeps the reading that finds more good
  // frames.
  uint8_t network[2] = {0, 0};
};

struct ModbusFrame {
  int64_t time_us;       // time of the chunk of its first byte, or kTimeUnknown
  int32_t first_record;  // record index of its first byte
  int32_t last_record;   // and of its last one
  int32_t length;        // bytes (RTU, TCP with its header) or characters (ASCII) of the frame
  uint8_t channel;       // 1 or 2: the line that carried it
  uint8_t role;          // ModbusMonitorRole: request or answer
  uint8_t sent;          // 1: the channel sent its bytes (TX), 0: received them (RX)
  uint8_t mode;          // ModbusMode
  uint8_t check;         // ModbusMonitorCheck
  uint16_t fields;       // ModbusMonitorField bits
  uint8_t slave, function, byte_count, exception;  // slave: the unit id on TCP
  uint16_t address, quantity, value;
  uint16_t transaction;  // TCP: the MBAP transaction id
  int32_t value_count;   // values kept, at most kModbusMonitorValues
  int32_t bit_bytes;     // bytes kept in bits, at most kModbusMonitorBitBytes
  uint16_t values[kModbusMonitorValues];
  uint8_t bits[kModbusMonitorBitBytes];
  int32_t pair;          // index of the answer (for a request) or the request (for an answer), or -1
  int64_t latency_us;    // paired answers with both times known, else kTimeUnknown
};

// A frame's bytes read again from the records it was decoded from: the
// slave (the unit id on TCP), the function and the rest, its check last
// (RTU: the CRC, ASCII: the LRC, the hex pairs as bytes; TCP: none), into
// out[0 .. room - 1]. How many, or -1 when they do not fit or the frame's
// records are not there. What its fields keep (kModbusMonitorValues
// registers) is a summary; these are all of them.
int32_t modbus_frame_body(const ModbusFrame& f, const CaptureRecord* records, int32_t count, uint8_t* out,
                          int32_t room);

// Decodes records 0 .. count - 1 (times may be null: every time unknown)
// into out[0 .. capacity - 1], sorted by first record. Frames found once the
// array is full are not kept; *dropped (may be null) counts them. Returns
// the number of frames in out.
int32_t modbus_monitor_decode(const CaptureRecord* records, const int64_t* times, int32_t count,
                              const ModbusMonitorOptions* options, ModbusFrame* out, int32_t capacity,
                              int64_t* dropped);

// A list of frames that grows as the decode finds them: every frame is
// kept, unless memory runs short (dropped counts those not kept then).
struct ModbusFrameList {
  ModbusFrame* frames = nullptr;
  int32_t n = 0;
  int32_t capacity = 0;
  int64_t dropped = 0;
};
void modbus_frame_list_free(ModbusFrameList* list);

// modbus_monitor_decode into a growable list (emptied first). `cancel` (may
// be null) is looked at every chunk and every few hundred bytes: once it
// is non-zero the decode stops and returns 1, the list holding what was
// found so far, unsorted and unpaired. Returns 0 when the decode ran whole.
int modbus_monitor_decode_list(const CaptureRecord* records, const int64_t* times, int32_t count,
                               const ModbusMonitorOptions* options, ModbusFrameList* out,
                               const std::atomic<int>* cancel);

// Decodes in both modes and keeps the one that finds more frames with a
// good check (RTU when both find as many): a capture does not say which
// framing its line used. options->mode is ignored; channels with the tcp
// flag are TCP in both decodes (when both channels have it, one decode is
// all it takes and *mode is kModbusTcp). The frames go into out,
// scratch is the other mode's working list; *mode (may be null) is the mode
// kept. Channels with the network flag are read a third time as TCP, and
// that reading is kept when it finds more good frames (*mode kModbusTcp).
// Returns 0, or 1 when cancelled (out is then of no use).
int modbus_monitor_decode_either(const CaptureRecord* records, const int64_t* times, int32_t count,
                                 const ModbusMonitorOptions* options, ModbusFrameList* out, ModbusFrameList* scratch,
                                 int32_t* mode, const std::atomic<int>* cancel);

// Pairs frames[0 .. n - 1] (sorted by first record, times the records'
// times or null) by the rule above and sets each answer's latency. Returns
// 0, or 1 when `cancel` (may be null) was set (pairs part way).
int modbus_monitor_pair(ModbusFrame* frames, int32_t n, const int64_t* times, const ModbusMonitorOptions* options,
                        const std::atomic<int>* cancel);
// 1 when frame i is a request with a good check that no answer followed:
// the next frame on its channel pair (CH1, CH2, or the line monitor's one
// pair) is another request. A request that the frames end after, or that
// an answer of any check followed, is not (an answer with a bad check is a
// find of its own). Traffic on the other channel pair says nothing of it.
int modbus_monitor_unanswered(const ModbusFrame* frames, int32_t n, int32_t i, int line_monitor);
// 1 when frame i is a request with a good check, unpaired, that no frame
// of its pair follows yet: whether it goes unanswered is for the next
// frame of its pair to tell (modbus_monitor_unanswered over the two).
int modbus_monitor_waiting(const ModbusFrame* frames, int32_t n, int32_t i, int line_monitor);
// 1 when two frames are on one channel pair (CH1, CH2, or the line
// monitor's one pair).
int modbus_monitor_same_pair(const ModbusFrame& a, const ModbusFrame& b, int line_monitor);

// English names for the CSV, from one table each: "Read Holding Registers"
// for 0x03 (an exception code 0x83 names its function too), "Illegal Data
// Address" for exception 0x02; "Unknown" for codes without a name.
const char* modbus_function_name(uint8_t code);
const char* modbus_exception_name(uint8_t code);
// "OK", "BAD CRC", "BAD LRC", "TOO SHORT", "NOT MODBUS", "BAD LENGTH",
// "BAD PROTOCOL".
const char* modbus_check_name(uint8_t check);

// The short ASCII text of a frame's fields, e.g. "addr=0x0000 count=10",
// "bytes=4 values=0x000A,0x0102", "exception=02 Illegal Data Address",
// "length=7" for a frame without fields; a TCP frame's begin with its
// transaction id, "tid=0x0001 addr=0x0000 count=10"; values and bits cut
// at what the frame keeps end in ",...". Always terminated; returns its length.
int modbus_monitor_summary(const ModbusFrame* frame, char out[kModbusMonitorSummaryChars]);

// CSV of frames[0 .. n - 1] under the header
// "time_s,channel,direction,role,mode,slave,function,summary,check,latency_ms":
// seconds since `origin_us` (the first chunk with a known time of the
// records decoded, timeline_first_time_us; 6 decimals, empty when unknown),
// CH1/CH2, RX/TX as the capture export writes the direction of the bytes
// (in line monitor mode both are RX), request/answer, RTU/ASCII/TCP, the slave
// in decimal and the function as two hex digits (both empty for NOT
// MODBUS), the summary (quoted when it holds a comma or a quote), the check
// name and the latency in ms with 3 decimals (empty for requests and
// unpaired answers). CR LF line ends; every frame handed in is written.
// Returns 0, or 1 when the sink refused a write. `header` 0 leaves the
// header out (the later pieces of an export written in pieces).
int modbus_monitor_write_csv(const ModbusFrame* frames, int32_t n, int64_t origin_us, const ByteSink* sink,
                             int header = 1);

// The window's decoder: one worker thread that decodes a whole snapshot of
// the capture (capture_snapshot_take) in either framing while the
// user-interface thread goes on. The user-interface thread calls
// modbus_monitor_worker_poll on its timer; a poll takes the latest finished
// decode into `shown` and, when no decode runs and the capture (its place,
// capture_place) or the options changed since the decode shown, starts a
// new one. A poll holds the worker's lock only to flip flags and swap two
// results, so it never waits for a decode (the records around, when asked
// for, it copies outside the lock while no decode runs). The worker touches `work`, the
// snapshot and `scratch` only; the user-interface thread reads `shown`
// only; the two swap under the lock while no decode runs. Stopping sets the
// cancel flag the decoder looks at, so it returns within a few
// milliseconds whatever the capture holds. After each decode the worker
// rests as long as the decode took before the next may start, so a
// capture that keeps changing takes at most about half of one core; the
// list then lags the capture by a decode or two.
struct ModbusMonitorResult {
  ModbusFrameList frames;
  int32_t mode = 0;       // framing kept
  int32_t count = -1;     // records of the capture decoded; -1: no decode yet
  int64_t base = 0;       // absolute place of the first of them
  // Records decoded with them from beside the capture (ModbusMonitorAround):
  // `lead` before its first, `trail` after its last. The frames count records
  // from the first of the lead: the capture's record i is their lead + i.
  int32_t lead = 0, trail = 0;
  int64_t around = 0;     // the serial of the records around it decoded
  uint32_t generation = 0;  // the capture's generation its records were taken in (CapturePlace)
  int64_t origin_us = kTimeUnknown;  // where the time column counts from
  ModbusMonitorOptions options = {};
};

// Records read beside the capture's, so that a frame the capture's edge cuts
// is decoded whole and a request at its end is told by what came next (a
// recording window with its neighbours): the last records of `before` lie
// right before the capture's first, the first records of `after` right
// after its last; at most kModbusMonitorAround of each are read, with their
// events. `serial` changes whenever either holds other records. The poll
// copies them while no decode runs: the caller may change them after it.
// They belong to the capture as the poll found it: a decode whose records
// are taken after a load (another generation) reads none of them.
constexpr int32_t kModbusMonitorAround = 65536;
struct ModbusMonitorAround {
  const CaptureSnapshot* before = nullptr;
  const CaptureSnapshot* after = nullptr;
  int64_t serial = 0;
};
struct ModbusMonitorJoined;  // the records around, and the capture's among them

struct ModbusMonitorWorker {
  Capture* capture = nullptr;
  std::thread thread;
  std::mutex lock;
  std::condition_variable wake;
  std::atomic<int> cancel{0};
  int quit = 0;    // under lock: the thread ends
  int busy = 0;    // under lock: a decode asked for and not finished
  int done = 0;    // under lock: `work` holds a finished decode not yet shown
  int64_t decodes = 0;  // under lock: decodes finished since the start
  std::chrono::steady_clock::time_point rest_until;  // under lock: no decode starts before
  void (*thread_started)() = nullptr;  // called first on the worker thread (its priority), or null
  ModbusMonitorOptions options = {};  // under lock: those of the decode asked for
  ModbusMonitorResult shown;
  ModbusMonitorResult work;
  ModbusFrameList scratch;
  CaptureSnapshot snapshot;
  ModbusMonitorJoined* joined = nullptr;  // allocated when records around are first asked for
  int64_t around = 0;                     // under lock: the serial of the records around asked for
  uint32_t around_generation = 0;         // under lock: the capture's generation they were asked for
};

// Allocates the snapshot and starts the thread. Returns 0, or 1 when
// memory or a thread is short (nothing is kept then).
int modbus_monitor_worker_start(ModbusMonitorWorker* w, Capture* capture);
// Cancels a decode that runs, ends the thread and frees everything; a
// worker never started or already stopped is left as it is.
void modbus_monitor_worker_stop(ModbusMonitorWorker* w);
// One tick of the user-interface thread. Returns 1 when `shown` now holds
// a decode it did not hold before. `follow` (null: the capture it has) is
// the capture to decode from now on: the worker takes it up at its next
// decode, never during one.
// `around` (null: none): records to decode beside the capture's from now on;
// a decode of other ones (another serial) is made again.
int modbus_monitor_worker_poll(ModbusMonitorWorker* w, const ModbusMonitorOptions* options,
                               Capture* follow = nullptr, const ModbusMonitorAround* around = nullptr);
// 1 while a decode runs (or waits to be taken).
int modbus_monitor_worker_busy(ModbusMonitorWorker* w);
