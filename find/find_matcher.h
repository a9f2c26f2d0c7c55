// Find's matcher: a FindPattern looked for in the capture's four streams
// (CH1 received, CH1 sent, CH2 received, CH2 sent), each the bytes of its
// chunks one after another, fed a chunk at a time in capture order. A match
// lies within one stream but may run across its chunks (and the files of a
// recording); it never joins bytes of two streams, nor bytes on either
// side of a break (find_matcher_break: the line lost, a new run of the
// program). Where the pattern folds case, a byte after a lead byte of the
// code page (the second of a double-byte character) is compared as it
// stands: the matcher follows each stream's characters. Bounded state (the last
// bytes of each stream), nothing allocated, so any capture or recording is
// searched in one pass.
#pragma once

#include <cstdint>

#include "find/find_pattern.h"

constexpr int kFindStreams = 4;  // a capture record kind less one

struct FindMatcher {
  FindPattern p;
  int32_t anchor;    // the pattern byte scanned for: a fixed byte, not a letter when one can be had
  uint32_t streams;  // bit s: stream s is searched
  int64_t fed[kFindStreams];  // bytes of each stream fed so far
  // The last length - 1 bytes of each stream: a match that began there may
  // end in the next chunk.
  uint8_t tail[kFindStreams][kFindPatternMax];
  int32_t tail_n[kFindStreams];
  uint8_t tail_trail[kFindStreams];  // 1: the tail's first byte is the second byte of a character
  uint8_t next_trail[kFindStreams];  // 1: the stream's next byte is one
  int32_t double_byte;               // the pattern folds and the code page has lead bytes
};

// `streams`: bit s set for each stream to search (0xF: all).
void find_matcher_begin(FindMatcher* m, const FindPattern& p, uint32_t streams);

// Feeds the next chunk of stream `s` (0 .. 3). For each match that ends in
// it, in order, calls hit(ctx, s, start) with the stream offset of the
// match's first byte. Returns the matches reported.
int32_t find_matcher_feed(FindMatcher* m, int32_t s, const uint8_t* data, int32_t n,
                          void (*hit)(void* ctx, int32_t s, int64_t start), void* ctx);
// The line of stream `s` broke: no match joins what was fed before to what
// comes after. The stream's offsets go on.
void find_matcher_break(FindMatcher* m, int32_t s);
