#include "find/find_search.h"

#include <cstring>

#include "timeline/chunks.h"

namespace {

struct Feeding {
  FindSearch* f;
  void (*found)(void*, const FindHit&);
  void* ctx;
  int32_t count;
};

// The record and time of stream offset `start`, from the stream's recent chunks.
FindHit place(const FindPlaces& pl, int32_t s, int64_t start) {
  FindHit h = {s, start, -1, kTimeUnknown, 0, 0};
  for (int32_t k = 0; k < pl.used; k++) {
    const int32_t i = (pl.next - 1 - k + kFindPatternMax) % kFindPatternMax;
    if (pl.offset[i] <= start) {
      h.record = pl.record[i] < 0 ? -1 : pl.record[i] + static_cast<int32_t>(start - pl.offset[i]);
      h.time_us = pl.time[i];
      h.within = static_cast<int32_t>(start - pl.offset[i]);
      h.tag = pl.tag[i];
      break;
    }
  }
  return h;
}

void on_match(void* ctx, int32_t s, int64_t start) {
  Feeding* d = static_cast<Feeding*>(ctx);
  d->count++;
  d->found(d->ctx, place(d->f->places[s], s, start));
}

// A chunk of stream s begins here.
void place_chunk(FindSearch* f, int32_t s, int32_t record, int64_t time_us, uint64_t tag) {
  FindPlaces& pl = f->places[s];
  pl.offset[pl.next] = f->matcher.fed[s];
  pl.record[pl.next] = record;
  pl.time[pl.next] = time_us;
  pl.tag[pl.next] = tag;
  pl.next = (pl.next + 1) % kFindPatternMax;
  if (pl.used < kFindPatternMax) pl.used++;
}

}  // namespace

void find_search_begin(FindSearch* f, const FindPattern& p, uint32_t streams) {
  std::memset(f->places, 0, sizeof f->places);
  find_matcher_begin(&f->matcher, p, streams);
  f->at = 0;
  f->gap = -1;
  f->event = 0;
}

void find_search_break(FindSearch* f, int channel) {
  for (int32_t s = 0; s < kFindStreams; s++)
    if (channel == 0 || s / 2 + 1 == channel) find_matcher_break(&f->matcher, s);
}

void find_search_next_stretch(FindSearch* f) {
  // The places stay for their times; their records belong to the stretch before.
  for (FindPlaces& pl : f->places)
    for (int32_t k = 0; k < kFindPatternMax; k++) pl.record[k] = -1;
  f->at = 0;
  f->gap = -1;
  f->event = 0;
}

int32_t find_search_run(FindSearch* f, const CaptureSnapshot& snap, void (*found)(void* ctx, const FindHit& hit),
                        void* ctx) {
  Feeding d = {f, found, ctx, 0};
  TimelineChunk c;
  uint8_t bytes[4096];
  const CaptureRecord* records = snap.records;
  while (timeline_next_chunk(records, snap.times, snap.count, &f->at, &f->gap, &c)) {
    // The events that stand before this chunk.
    for (; f->event < snap.event_count && snap.events[f->event].place - snap.base <= c.first; f->event++) {
      const LineEvent& e = snap.events[f->event];
      for (int ch = 1; ch <= 2; ch++)
        if (timeline_event_breaks(e, ch)) find_search_break(f, ch);
    }
    const int32_t s = c.kind - 1;
    if (s < 0 || s >= kFindStreams || !(f->matcher.streams & (1u << s))) continue;
    place_chunk(f, s, c.first, c.time_us, 0);
    // The chunk's bytes in pieces: the matcher joins them.
    for (int32_t i = 0; i < c.count;) {
      int32_t n = 0;
      for (; n < static_cast<int32_t>(sizeof bytes) && i + n < c.count; n++)
        bytes[n] = capture_byte(records[c.first + i + n]);
      find_matcher_feed(&f->matcher, s, bytes, n, on_match, &d);
      i += n;
    }
  }
  // The events after the last chunk stand before whatever comes next (the
  // next stretch, a recording's next window): they break its line there.
  for (; f->event < snap.event_count && snap.events[f->event].place - snap.base <= snap.count; f->event++) {
    const LineEvent& e = snap.events[f->event];
    for (int ch = 1; ch <= 2; ch++)
      if (timeline_event_breaks(e, ch)) find_search_break(f, ch);
  }
  return d.count;
}

int32_t find_search_chunk(FindSearch* f, int32_t s, const uint8_t* data, int32_t n, int64_t time_us, uint64_t tag,
                          void (*found)(void* ctx, const FindHit& hit), void* ctx) {
  if (s < 0 || s >= kFindStreams || n <= 0 || !(f->matcher.streams & (1u << s))) return 0;
  Feeding d = {f, found, ctx, 0};
  place_chunk(f, s, -1, time_us, tag);
  find_matcher_feed(&f->matcher, s, data, n, on_match, &d);
  return d.count;
}
