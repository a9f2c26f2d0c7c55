// What Find looks for in a stretch of records (a snapshot of the live
// capture, a loaded log, a window of a recording), and the one pass that
// finds it there: a run of bytes (find/find_search.h), a chunk whose
// silence before it is at least a limit (timeline_silence_us, the figure
// the cell tooltip shows; the gap digits where times are unknown), a bad
// Modbus frame (the monitor's own framing and pairing: a bad check, an
// exception answer, a request never answered) or a line event. A pass goes
// on over the next stretch of a recording with what spans two of them: the
// bytes' tails, the latest chunk, and the Modbus streams' last frames,
// carried over so that a stretch's edge never cuts a frame.
//
// Pure; the finds go into a list the caller sized.
#pragma once

#include <atomic>
#include <cstdint>

#include "find/find_search.h"
#include "modbus/modbus_monitor.h"
#include "timeline/chunks.h"

enum FindWhat : uint8_t { kFindBytes = 0, kFindSilence = 1, kFindBadFrame = 2, kFindLineEvent = 3 };
// Why a frame is bad (FindFound::why).
enum FindBadWhy : uint8_t { kFindBadCheck = 1, kFindBadException = 2, kFindBadNoAnswer = 3 };

struct FindQuery {
  uint8_t what;             // FindWhat
  uint8_t event;            // kFindLineEvent: the kind looked for, 0: every kind
  uint32_t streams;         // bit s: stream s (0 CH1 RX, 1 CH1 TX, 2 CH2 RX, 3 CH2 TX); a channel counts when either of its bits is set
  FindPattern pattern;      // kFindBytes
  int64_t silence_us;       // kFindSilence: silences at least this long
  LineShape shape[2];       // CH1, CH2: for the silences
  ModbusMonitorOptions modbus;  // kFindBadFrame (its events are each stretch's own)
};

struct FindFound {
  int64_t time_us;        // the find's time: its chunk's, or the event's
  int64_t chunk_time_us;  // the time of the chunk its first record lies in
  int64_t detail;         // silence: its length in µs; bad frame: the check or exception code; event: its detail
  int64_t offset;         // its first byte's offset in its stream's bytes since the pass began; -1: none (an event)
  int32_t first, last;    // records it covers in its stretch; first -1: it began in a stretch before
  int32_t within;         // its first record's index in its chunk
  uint8_t kind;           // record kind of its first record (1 .. 4)
  uint8_t what;           // FindWhat
  uint8_t why;            // bad frame: FindBadWhy; event: its LineEventKind
  uint8_t channel;        // 1 or 2; 0 an event of the capture as a whole
};

// Finds in the order of their first record. The first `skip` finds are
// passed over (a list that goes on where one full before ended); when it
// is full, `more` counts the finds not kept. Byte, silence and event finds
// whose records all lie below `keep_from` are passed over uncounted, so
// that finds before what a caller shows never crowd out those on it.
struct FindList {
  FindFound* items;
  int32_t n;
  int32_t capacity;
  int64_t more;
  int64_t skip = 0;
  int32_t keep_from = INT32_MIN;
};
// 1 when a find is to be kept at items[n]; counts it in skip or more else.
inline int find_list_room(FindList* l) {
  if (l->skip > 0) {
    l->skip--;
    return 0;
  }
  if (l->n < l->capacity) return 1;
  l->more++;
  return 0;
}

// Records a stretch's Modbus decode carries into the next at most: the
// streams' last frames and the requests still waiting, when they lie this
// close to its end. Farther back, a frame the end may have cut goes over
// alone (kFindFarRecords), and a request still waiting as a small state.
constexpr int32_t kFindCarryRecords = 16384;
// Records carried of frames farther back that a stretch's end may have cut
// (each stream's last, with the gap markers of its chunks; a frame's bytes
// run to a few hundred at most, each chunk at least one byte and a marker).
constexpr int32_t kFindFarRecords = 4 * 4 * 600;

struct FindPass {
  FindQuery q;
  FindSearch bytes;
  TimelineChunk prev;  // the latest chunk, either channel's, for the silences
  int32_t have_prev;
  int64_t fed[kFindStreams];  // each stream's bytes in the stretches before
  // Bad frames: the records carried from the stretches before (at the
  // start of `joined`, then the stretch's own; joined record j is the
  // stretch's j + carry_from), each stream's bytes before its first
  // carried record, and where that record lies in joined and in its chunk.
  ModbusFrameList frames, scratch;
  CaptureSnapshot joined;
  int32_t carry_n;
  int32_t carry_from;
  int64_t carry_fed[kFindStreams];
  int32_t carry_start[kFindStreams];
  int32_t carry_within[kFindStreams];
  // `frames` holds the last decode, not yet carried over: it carries the
  // records from `cut` on, and each stream's frame `far_frame` (-1: none) whose
  // bytes the stretch's end may have cut, farther back than the cut.
  int32_t decided;
  int32_t cut;
  int32_t far_frame[kFindStreams];  // ("far" alone is a macro of the Windows headers)
  // A request decided before the cut that no frame of its pair followed
  // there (at most one a pair): its find is made ready, and the next frame
  // of its pair, in a later stretch, tells whether it goes unanswered.
  struct Waiting {
    ModbusFrame frame;
    FindFound found;
    int32_t has;
  } waiting[3];
  // Every frame once its decode is decided (the stretch's own, then what it
  // carried, framed with all before it), with the frame it pairs with in
  // that decode (null: none), when set: the Modbus monitor's CSV and the
  // plot of a recording read the same decode across window edges.
  void (*on_frame)(void* ctx, const ModbusFrame& m, const ModbusFrame* paired) = nullptr;
  void* on_frame_ctx = nullptr;
};

// Begins a pass with `f` zeroed (FindPass{}) or ended: 0, or 1 when memory
// is short for the bad frames' carry.
int find_pass_begin(FindPass* f, const FindQuery& q);
// Frees what the pass holds.
void find_pass_end(FindPass* f);
// Looks through one stretch and adds what it finds to `out`. 0, or 1 when
// `cancel` (may be null) was set and the stretch was left part way.
// `shape`: the channels' lines the stretch was recorded with (null: the
// query's).
int find_pass_run(FindPass* f, const CaptureSnapshot& s, FindList* out, const std::atomic<int>* cancel,
                  const LineShape* shape = nullptr);
// The next stretch follows the last one (the next window of a recording).
void find_pass_next_stretch(FindPass* f);
// After the last stretch: what it carried is decided, its finds placed in
// that stretch (first -1 when further back). 0, or 1 when cancelled.
int find_pass_finish(FindPass* f, FindList* out, const std::atomic<int>* cancel);

// Why frame i of a decode (frames sorted by first record, paired) is bad:
// a FindBadWhy, with *detail the check or exception code, or 0 when it is
// not. A request the frames end after is not (yet).
uint8_t find_frame_bad(const ModbusFrame* frames, int32_t n, int32_t i, int line_monitor, int64_t* detail);

// Go to time: the first of records 0 .. count - 1 whose time is at or after
// `at` (on the times' own clock), or count when none is.
int32_t find_time_first(const int64_t* times, int32_t count, int64_t at);
// The index of record `at` in its chunk: how many records of its kind
// stand right before it.
int32_t find_within_chunk(const CaptureRecord* records, int32_t at);

// The streams of the channels (bit 0 CH1, bit 1 CH2) and directions (bit 0
// received, bit 1 sent) ticked; none ticked means both.
uint32_t find_streams_of(uint32_t channels, uint32_t directions);
// A silence limit typed in whole milliseconds (blanks around it), 1 to
// 99,999,999: 0 with *us, or 1 when it is none.
int find_silence_typed(const char16_t* text, int64_t* us);
// 1 when two queries look for the same.
int find_query_same(const FindQuery& a, const FindQuery& b);

// 1 when Find finds events of this kind: the line's, not the capture's own
// (a log loaded, the capture cleared).
int find_event_findable(uint8_t kind);
// The event kind named `name` as line_event_name names it ("lost",
// "back", ...; ASCII, any case), or 0 when no kind has that name or Find
// never finds its events.
uint8_t find_event_kind(const char16_t* name);
