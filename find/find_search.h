// Find over capture records (the live capture's snapshot, a loaded log, a
// window of a recording): the chunks walked in order, each stream's bytes
// fed to the matcher, and each match placed back on the record where it
// begins, with that chunk's time. An event that breaks a channel's line
// (timeline_event_breaks) ends every match on that channel's streams. Pure;
// the caller's snapshot, nothing allocated.
#pragma once

#include <cstdint>

#include "app/capture.h"
#include "find/find_matcher.h"

struct FindHit {
  int32_t stream;   // 0 CH1 received, 1 CH1 sent, 2 CH2 received, 3 CH2 sent
  int64_t offset;   // of its first byte in the stream's bytes since the search began
  int32_t record;   // the record of the match's first byte, -1 when it began in records walked before
  int64_t time_us;  // the time of the chunk it begins in
  int32_t within;   // its first byte's index in that chunk
  uint64_t tag;     // what the caller gave with that chunk (find_search_chunk)
};

// Where a stream's recent chunks began: enough to place a match that began
// up to kFindPatternMax - 1 bytes back (every chunk holds a byte at least).
struct FindPlaces {
  int64_t offset[kFindPatternMax];  // stream offset of the chunk's first byte
  int32_t record[kFindPatternMax];  // its first record
  int64_t time[kFindPatternMax];
  uint64_t tag[kFindPatternMax];
  int32_t next;                     // ring position
  int32_t used;
};

struct FindSearch {
  FindMatcher matcher;
  FindPlaces places[kFindStreams];
  int32_t at;     // the next record to walk from
  int32_t gap;    // as timeline_next_chunk keeps it
  int32_t event;  // the next of the stretch's events to honour
};

void find_search_begin(FindSearch* f, const FindPattern& p, uint32_t streams);
// A search that goes on over another stretch of records (the next window of
// a recording): matches may run from the last one into it.
void find_search_next_stretch(FindSearch* f);
// Walks the chunks of the stretch's records, calling found(ctx, hit) for
// each match (in order of where they end), and honours its events (those
// after its last chunk break the lines before what comes next). Returns the
// matches found.
int32_t find_search_run(FindSearch* f, const CaptureSnapshot& s, void (*found)(void* ctx, const FindHit& hit),
                        void* ctx);
// Feeds one chunk of stream s (0 .. 3) as it stands, not laid out as
// records (a recording's entry): its matches come with record -1, the
// time of the chunk each begins in and the `tag` given with that chunk
// (where the caller can find it again). Returns the matches found.
int32_t find_search_chunk(FindSearch* f, int32_t s, const uint8_t* data, int32_t n, int64_t time_us, uint64_t tag,
                          void (*found)(void* ctx, const FindHit& hit), void* ctx);
// No match runs across this point on `channel`'s streams (1 or 2; 0: all):
// its line broke, or a recording's run of the program ended.
void find_search_break(FindSearch* f, int channel);
