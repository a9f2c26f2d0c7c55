// The capture buffer: every byte received and sent, in time order, as 8-byte
// records, with gap markers after each chunk that tell how long the line was
// quiet afterwards.
//
// Threads: up to two receive threads and the user-interface thread (sends,
// macro sends, timer 1's gap refresh) write; each write of one chunk is done
// whole under `Capture::lock`. Readers (view painting, macro waits, status
// bar) run on the user-interface thread without the lock: they load the
// write position once (acquire) and read only below it. The write position
// is stored with release order after the records of a chunk, so a reader
// never sees a position ahead of its records.
//
// One thing below the write position does change: the gap digits of the
// latest chunk, which the next append and the gap refresh fill in while the
// view may be drawing them. Writers store those bytes with relaxed atomic
// stores, and readers take every record's data byte and second marker
// character through capture_byte and capture_marker2 (relaxed atomic
// loads), so a reader sees an old digit or a new one, never a torn access;
// two digits of one marker may come from two refreshes for one paint. The
// log save copies records out under the lock (capture_copy) instead. A read
// that overlaps a wrap may see moved records for one paint; the next
// repaint corrects it.
//
// Beside the records lies one time per record (`times`): the moment the
// chunk was read or written, in microseconds of a monotonic clock, or
// kTimeUnknown (gap markers, records loaded from a log without times). A
// time is written with its record under the lock and moved with it by a
// wrap; only a log load (capture_replace, capture_set_times, on the
// user-interface thread, the one reader without the lock) rewrites times
// below the write position. So that reader takes times below the write
// position exactly as it takes records. `wall_offset_us` turns a time into
// wall-clock microseconds since 1970.
//
// The buffer is one fixed block allocated at window creation; it never moves
// or grows, and nothing here allocates after that.
#pragma once

#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <mutex>

constexpr int32_t kCaptureRecords = 131200;         // records in the block
constexpr int32_t kCaptureNominalRecords = 131072;  // capacity shown to the user
constexpr int32_t kCaptureWrapThreshold = 130816;   // wrap when the write position passes this
constexpr int32_t kCaptureWrapShift = 65536;        // records dropped by one wrap
constexpr int kCaptureRecordSize = 8;
constexpr int64_t kTimeUnknown = INT64_MIN;         // a record without a time
// Longest chunk an append accepts: the headroom above the wrap threshold
// less the three gap markers. Senders stay far below (at most 258 bytes).
constexpr int kCaptureMaxChunk = kCaptureRecords - kCaptureWrapThreshold - 3;

// Writes on their way to one channel's port at once (a send, the auto
// answer's, a macro's), and sent chunks of one channel waiting for their
// time; past these the oldest gives way (its hold ends, its chunk goes in).
constexpr int kCaptureSendsInFlight = 4;
constexpr int kCaptureSentDue = 4;

enum RecordKind : uint8_t {
  kKindRecvCh1 = 1,
  kKindSentCh1 = 2,
  kKindRecvCh2 = 3,
  kKindSentCh2 = 4,
  kKindGapText = 128,  // "t="
  kKindGapHigh = 129,  // first two gap digits
  kKindGapLow = 130,   // last two gap digits
};

// One record, laid out byte for byte as in memory and in log files.
struct CaptureRecord {
  uint8_t kind;
  uint8_t reserved1;
  uint8_t data;      // data byte, or first marker character
  uint8_t marker2;   // second marker character (gap markers only)
  uint8_t position;  // index of the byte in its chunk, modulo 256
  uint8_t reserved[3];
};
static_assert(sizeof(CaptureRecord) == kCaptureRecordSize, "capture records are 8 bytes");

// A record's data byte and second marker character, as a reader without the
// lock must take them (see the threads note above). The records are never
// const objects (one calloc'd block), so casting the const away for
// atomic_ref, which needs a non-const object, is sound; the load changes
// nothing.
inline uint8_t capture_byte(const CaptureRecord& r) {
  return std::atomic_ref<uint8_t>(const_cast<uint8_t&>(r.data)).load(std::memory_order_relaxed);
}
inline uint8_t capture_marker2(const CaptureRecord& r) {
  return std::atomic_ref<uint8_t>(const_cast<uint8_t&>(r.marker2)).load(std::memory_order_relaxed);
}

// State of the main data view that a clear resets with the capture.
struct CaptureView {
  int32_t painted_position = 0;   // records already drawn incrementally
  int32_t view_position = 0;      // record at the top left of the view
  int32_t end_view_position = 0;  // view position that shows the last row at the bottom
  int32_t follow_mode = 1;        // 1: full repaints show the end of the data
  char end_marker[4] = {'E', 'O', 'F', 0};
  int32_t cursor_row = 0;         // next cell the incremental painter draws
  int32_t cursor_col = 0;
  int32_t gap_x = 0, gap_y = 0;   // where the latest kind-129 marker was drawn; 0, 0: none
  int32_t gap2_x = 0, gap2_y = 0; // and the latest kind-130 marker
  int32_t gap_index = -1;         // record index of that kind-129 marker
  int32_t eof_x = 0, eof_y = 0;   // where the end marker stands (upper index line)
  int32_t eof_y2 = 0;             // and its lower index line
  int32_t eof_w = 0, eof_h = 0;   // size of the end marker text, for erasing it
  int32_t eof_drawn = 0;
  int32_t cells_per_row = 0;      // grid of the latest full repaint; 0 when none fits
  int32_t visible_rows = 0;
  int32_t select_anchor = -1;     // record where a drag over the cells began; -1: nothing selected
  int32_t select_end = -1;        // record the drag is over now
  int32_t mark_first = -1;        // records of the match Find shows, in the end marker's colours; -1: none
  int32_t mark_last = -1;
};

// What happened to the lines, kept beside the records at the place where it
// happened: a port opened, closed, lost or back, its line settings changed,
// a log loaded, the capture cleared. Events are written under the lock like
// records; a wrap drops those before the records it drops, a clear or a
// load drops them all, and past kCaptureEvents the oldest give way.
enum LineEventKind : uint8_t {
  kEventOpened = 1,   // on a listening channel's client: detail and port name it (line_event_peer)
  kEventClosed = 2,
  kEventLost = 3,      // detail: the Win32 error that said so (0: the port list)
  kEventBack = 4,      // detail: the outage in ms
  kEventSettings = 5,  // detail: the new speed in baud
  kEventLoaded = 6,
  kEventCleared = 7,
  kEventRecordStopped = 8,  // Record to Disk stopped by a failed write; detail: the Win32 error
  kEventRecordLoss = 9,     // the recording refused data (its hand-over was full); detail: the data bytes
  kEventRefused = 10,       // a listening channel refused a client while it served another (line_event_peer)
};
struct LineEvent {
  int64_t place;    // absolute place of the record it comes before
  int64_t time_us;  // on the capture's clock, or kTimeUnknown
  uint8_t kind;     // a LineEventKind
  uint8_t channel;  // 1 CH1, 2 CH2; 0 the capture as a whole
  uint16_t port;    // the COM number, 0 when none
  uint32_t detail;  // as the kind says
};
constexpr int32_t kCaptureEvents = 1024;

// A network peer in an event of a listening channel (kEventOpened for the
// client it took, kEventRefused for one it turned away): detail holds its
// IPv4 address (a.b.c.d as a << 24 | b << 16 | c << 8 | d), or
// kEventPeerIpv6 for an IPv6 one, whose address the status bar names but
// the 24-byte event has no room for; port holds its TCP port in place of
// the COM number a network link never has. A port's own events keep
// detail 0 for opened.
constexpr uint32_t kEventPeerIpv6 = 0xFFFFFFFF;

// The English name of an event kind, as exports write it: "opened",
// "closed", "lost", "back", "settings", "loaded", "cleared",
// "recording-stopped", "loss", "refused" ("?" else).
const char* line_event_name(uint8_t kind);
// 1 when an event of this kind breaks the line (every kind but a change of
// settings, a stopped recording and a refused second client): what the
// line carried before it is no request for what comes after, and no frame
// runs across it.
int line_event_breaks(uint8_t kind);
// When e names a network peer: writes "10.0.0.5:50123" (or
// "IPv6 port 50123") into out and returns 1; else writes "" and returns 0.
int line_event_peer(const LineEvent& e, char out[32]);
// The first of events[0 .. n - 1] (in place order, as the capture keeps
// them) placed at or after absolute place `place`; n when none is.
int32_t line_event_first_at(const LineEvent* events, int32_t n, int64_t place);

struct RecordQueue;  // record/record_queue.h

struct Capture {
  CaptureRecord* records = nullptr;         // kCaptureRecords records, or null
  int64_t* times = nullptr;                 // kCaptureRecords times in µs, or null with records
  std::atomic<int32_t> write_position{0};   // records in use
  std::atomic<int32_t> last_marker_index{0};  // kind-129 marker of the latest chunk; the view reads it unlocked
  uint32_t last_append_time = 0;            // tick count right after the latest append
  int64_t base = 0;                         // absolute place of record 0; under the lock
  uint32_t generation = 0;                  // counts clears and loads; under the lock
  std::mutex lock;                          // held by writers for one whole chunk
  uint32_t (*tick)() = nullptr;             // millisecond tick count (GetTickCount)
  int64_t (*micros)() = nullptr;            // monotonic clock in µs for chunk times
  int64_t wall_offset_us = 0;               // wall clock (µs since 1970) minus the monotonic clock
  LineEvent events[kCaptureEvents] = {};    // oldest first; under the lock
  int32_t event_count = 0;
  // While recording: every chunk appended and every event also goes here,
  // under the lock (capture_record_to), for the recorder's writer thread.
  RecordQueue* recorder = nullptr;
  // Time order (see capture_append): the latest known time appended; per
  // channel, the hand-over times of the writes on their way to its port
  // (capture_send_begin to capture_send_end); and the sent chunks whose
  // last character is still on its way (their time lies ahead), oldest
  // first, which go in once their time has come. Under the lock.
  int64_t latest_time_us = kTimeUnknown;
  int64_t sending[2][kCaptureSendsInFlight] = {};
  int32_t sending_n[2] = {};
  std::condition_variable send_done;  // a write ended: held received chunks look again
  struct SentDue {
    int32_t n;
    int64_t time_us;
    int64_t handed_us;
    uint8_t bytes[kCaptureMaxChunk];
  } sent_due[2][kCaptureSentDue] = {};
  int32_t sent_due_n[2] = {};
  CaptureView view;
};

// Every chunk appended and every event from now on also goes to `queue`
// (null: recording stops), set under the lock so that no chunk is half in.
void capture_record_to(Capture* cap, RecordQueue* queue);

// Records an event at the write position with this moment's time. Returns
// 0, or 1 when there is no buffer.
int capture_add_event(Capture* cap, uint8_t kind, uint8_t channel, uint16_t port, uint32_t detail);

// Copies the events into `out` (room for kCaptureEvents) under the lock,
// with the absolute place of record 0 in *base; returns how many.
int32_t capture_copy_events(Capture* cap, LineEvent* out, int64_t* base);

// Allocates the zero-filled block of records and the times beside it, every
// time kTimeUnknown; returns 0 on success, 1 when memory is short (neither
// block is kept then).
int capture_allocate(Capture* cap);
void capture_free(Capture* cap);

// Resets positions and view state; the records, the last append time and
// follow mode are left as they are.
void capture_clear(Capture* cap);

// Arithmetic on chunk times in µs, the one the whole program uses: an
// unknown operand, or a result that leaves 64 bits (or lands on
// kTimeUnknown), gives kTimeUnknown, never a wrapped time.
int64_t time_add_us(int64_t a, int64_t b);
int64_t time_sub_us(int64_t a, int64_t b);

// The chunk time of this moment: the monotonic clock, or kTimeUnknown when
// the capture has none.
inline int64_t capture_now_us(const Capture* cap) { return cap->micros ? cap->micros() : kTimeUnknown; }

// Appends one chunk of n bytes as records of `kind` (1 to 4) followed by the
// three gap markers, filling in the previous chunk's gap first and wrapping a
// nearly full buffer. Every data record of the chunk gets `time_us` (which
// may be kTimeUnknown), the markers kTimeUnknown. n == 0 appends nothing.
// Returns 0, or 1 when there is no buffer, the kind is not a data kind or n
// exceeds kCaptureMaxChunk (nothing is written then).
//
// The capture is in time order, and every reader relies on it: a chunk whose
// time is earlier than the latest time already in the capture (its thread
// took the time, then the other channel's chunk got the lock first) takes
// that latest time. A received chunk seen after a write to its own channel
// was handed over waits (at most kCaptureSendHoldMs) until that write's
// chunk is in, so an answer is never recorded before its request.
int capture_append(Capture* cap, const uint8_t* bytes, int n, uint8_t kind, int64_t time_us);
// The same for a received chunk timed back from the moment it was seen
// (receive_chunk_time_us): whether a write to its channel came before it is
// decided by `seen_us`, when the receive thread saw it, since a time
// reckoned back from there at the line's speed may fall before a write that
// the bytes in fact followed (a line faster than its setting).
int capture_append_seen(Capture* cap, const uint8_t* bytes, int n, uint8_t kind, int64_t time_us, int64_t seen_us);

// How long a received chunk waits for a write to its channel to be
// recorded; a write that has not reported back by then holds nothing more.
constexpr int kCaptureSendHoldMs = 250;

// A write to channel 1 or 2 is handed to its port now: returns the hand-over
// time. Every capture_send_begin is ended by one capture_send_end.
int64_t capture_send_begin(Capture* cap, int channel);
// Ends a write begun at `handed_us`. Its n bytes (n 0: the write failed, or
// the capture does not keep sends) become a sent chunk timed when its last
// character left: the hand-over (or the end of the channel's previous
// sent chunk still on its way, which its bytes queue behind) plus the
// characters' time on the line (`line_us`, 0 on a network link). A driver
// may complete a write while its bytes are still in a buffer; such a chunk
// goes in once its time has come (the next append, event, gap refresh or
// snapshot after it), so that chunks of the other channel received
// meanwhile stand before it with their own times. Something that cannot
// wait for it puts it in at once, timed at that moment if that is sooner: a
// received chunk of its own channel seen after the hand-over (an answer
// that came back before the line time was over: its request had left), an
// event, a clear, a load, the end of recording. Returns what capture_append
// returns (0 for n 0).
int capture_send_end(Capture* cap, int channel, const uint8_t* bytes, int n, int64_t handed_us, int64_t line_us);
// Every write on its way to channel 1 or 2 holds nothing more (the channel
// closes): received chunks held behind them go in at once.
void capture_send_release(Capture* cap, int channel);

// Writes the time since the latest append into that chunk's gap digits.
void capture_refresh_gap(Capture* cap);

// The write position as a reader must take it: once, with acquire order.
inline int32_t capture_write_position(const Capture* cap) {
  return cap->write_position.load(std::memory_order_acquire);
}

// The write position and the absolute place of record 0, taken together
// under the lock (a wrap changes both), and the capture's generation: a
// clear or a loaded log counts it up, so a reader that follows absolute
// places knows when the records it counted were replaced.
struct CapturePlace {
  int32_t write_position;
  int64_t base;
  uint32_t generation;
};
CapturePlace capture_place(Capture* cap);

// Copies records first to first + count - 1 into `out` under the lock, so
// that no writer fills in gap digits or wraps in the middle of the copy; the
// caller writes the copy out without holding the lock. Returns 0, or 1 when
// there is no buffer or the records lie outside the block (nothing is copied
// then).
int capture_copy(Capture* cap, int32_t first, int32_t count, CaptureRecord* out);

// Gap value in 100 ms units for `elapsed_ms`, capped at 9999.
int capture_gap_units(int32_t elapsed_ms);

// Copies the times of records first to first + count - 1 into `out` under
// the lock, as capture_copy does for the records. Returns 0, or 1 when there
// is no buffer or the records lie outside the block (nothing is copied then).
int capture_copy_times(Capture* cap, int32_t first, int32_t count, int64_t* out);

// A whole copy of the capture for a reader that works on it at leisure (an
// export, a log save, a decode on a worker): the count, the records, their
// times and the place of record 0 are taken under one hold of the lock, so
// they always belong together, whatever the writers do meanwhile. The
// caller owns the blocks (room for kCaptureRecords each, about 2 MB in all);
// copying a full capture takes well under a millisecond.
struct CaptureSnapshot {
  CaptureRecord* records = nullptr;
  int64_t* times = nullptr;
  int32_t count = 0;           // records copied
  LineEvent events[kCaptureEvents] = {};  // the capture's events, places absolute
  int32_t event_count = 0;
  int64_t base = 0;            // absolute place of record 0
  int64_t wall_offset_us = 0;  // as in Capture
  uint32_t generation = 0;     // the capture's generation (CapturePlace) the records were taken in
};

// Allocates the snapshot's two blocks; 0, or 1 when memory is short
// (nothing is kept then).
int capture_snapshot_allocate(CaptureSnapshot* s);
void capture_snapshot_free(CaptureSnapshot* s);
// Copies the whole capture into *s under one lock hold. Returns 0, or 1 when
// the capture or the snapshot has no buffer (s->count is 0 then).
int capture_snapshot_take(Capture* cap, CaptureSnapshot* s);

// The records from absolute place `from` on (from the oldest kept when a
// wrap dropped what lay between), with their times and the capture's
// events, under one lock hold, into *s: s->base is the absolute place of
// its first record (later than `from` after such a drop). A reader that
// follows the capture a stretch at a time. Returns 0, or 1 when the
// capture or the snapshot has no buffer (s->count is 0 then).
int capture_snapshot_since(Capture* cap, int64_t from, CaptureSnapshot* s);

// The records from absolute place `from` on, at most `max` of them, with
// their times, under one lock hold: a reader that follows the capture a
// piece at a time. *first is the absolute place of the first record copied
// (later than `from` when a wrap has dropped what lay between), *end the
// absolute write position. Returns the number copied (0 when nothing is
// new or there is no buffer).
int32_t capture_copy_since(Capture* cap, int64_t from, int32_t max, CaptureRecord* records, int64_t* times,
                           int64_t* first, int64_t* end);

// A loaded log put into the capture in one step under the lock: records 0 to
// count - 1 become `data` (count whole records), the write position count,
// and the times those of `times` (count of them, taken on a clock whose
// wall offset was `file_wall_offset_us`, moved onto this capture's clock as
// capture_set_times does), or all unknown when `times` is null. No append
// can fall between the records and their times. The capture's events become
// `events` (places relative to record 0, 0 to count; times on the same
// clock as `times`, unknown without them). Returns 0, or 1 when there is no
// buffer or count is outside 0 to kCaptureWrapThreshold (nothing changes
// then).
int capture_load(Capture* cap, const uint8_t* data, int32_t count, const int64_t* times, int64_t file_wall_offset_us,
                 const LineEvent* events = nullptr, int32_t event_count = 0);

// Replaces records 0 to count - 1 with `data` (count whole records) and sets
// the write position to count; used by log loading. Every time becomes
// kTimeUnknown. The latest chunk is forgotten, so a following append fills
// no gap digits into loaded records. Returns 0, or 1 when there is no buffer
// or count is outside 0 to kCaptureWrapThreshold (nothing changes then).
int capture_replace(Capture* cap, const uint8_t* data, int32_t count);

// Puts the times of a loaded log back, one per record: count must equal the
// write position. The times were taken on a clock whose wall offset was
// `file_wall_offset_us`; each known time is moved onto this capture's clock
// (by file_wall_offset_us - wall_offset_us) so that one wall offset serves
// the loaded records and the ones appended after them. A time that would
// not fit in 64 bits becomes kTimeUnknown. Returns 0, or 1 when there is no
// buffer or count differs from the write position (nothing changes then).
int capture_set_times(Capture* cap, const int64_t* times, int32_t count, int64_t file_wall_offset_us);
