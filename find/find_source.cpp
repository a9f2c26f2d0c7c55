#include "find/find_source.h"

namespace {

int cancelled(const FindRun* r) { return r->cancel && r->cancel->load(std::memory_order_relaxed); }

int64_t local_of(const FindRun* r, int64_t t, int64_t wall_offset) {
  return find_local_us(t, wall_offset, r->zone_minutes_at);
}

// The places of the finds from `from` on, in the stretch of `count` records.
void places_of(FindRun* r, const CaptureSnapshot& s, int32_t count, int32_t from, uint64_t where, uint64_t where_before) {
  for (int32_t i = from; i < r->list->n; i++) {
    const FindFound& f = r->list->items[i];
    FindPlace& p = r->places[i];
    p.where = f.first < 0 ? where_before : where;
    p.local_us = local_of(r, f.time_us, s.wall_offset_us);
    p.preview_n = find_preview(s.records, count, f, p.preview);
  }
}

void placed(FindRun* r) {
  if (r->placed) r->placed(r->ctx, r);
}

// Bytes in a recording: each chunk fed straight from its entry, its find
// placed by the block it lies in.
struct EntryHits {
  FindRun* r;
  const RecordEntry* e;
};

void on_entry_hit(void* ctx, const FindHit& h) {
  const EntryHits* d = static_cast<const EntryHits*>(ctx);
  FindList& l = *d->r->list;
  if (l.n >= l.capacity && !l.skip && d->r->placed) d->r->placed(d->r->ctx, d->r);  // a taker may empty it
  if (!find_list_room(&l)) return;
  FindFound& f = l.items[l.n];
  FindPlace& p = d->r->places[l.n++];
  f = FindFound{};
  f.what = kFindBytes;
  f.kind = static_cast<uint8_t>(h.stream + 1);
  f.channel = static_cast<uint8_t>(h.stream < 2 ? 1 : 2);
  f.time_us = f.chunk_time_us = h.time_us;
  f.within = h.within;
  f.first = f.last = -1;
  f.offset = h.offset;
  p.where = h.tag;
  p.local_us = h.time_us;
  // Its first bytes: from this chunk when it began in it, else the pattern's.
  const FindSearch& search = d->r->pass->bytes;
  const int64_t fed = search.matcher.fed[h.stream];
  const FindPattern& pat = search.matcher.p;
  p.preview_n = 0;
  if (h.offset >= fed) {
    for (int64_t i = h.offset - fed; i < d->e->length && p.preview_n < kFindPreviewBytes; i++)
      p.preview[p.preview_n++] = d->e->data[i];
  } else {
    for (int i = 0; i < pat.length && p.preview_n < kFindPreviewBytes && !pat.any[i]; i++)
      p.preview[p.preview_n++] = pat.bytes[i];
  }
}

int recording_bytes(FindRun* r, RecordStream* st, uint64_t (*where)(void*, const RecordStream*), void* where_ctx,
                    uint64_t total) {
  FindSearch* search = &r->pass->bytes;
  RecordEntry e;
  EntryHits d = {r, &e};
  uint32_t run = 0;
  int has_run = 0;
  for (uint32_t k = 1; record_stream_next(st, &e); k++) {
    // A new run of the program: its line is another.
    if (has_run && st->runs != run) find_search_break(search, 0);
    run = st->runs;
    has_run = st->has_run;
    if (e.type == kRecordEntryEvent) {
      LineEvent ev = {};
      ev.kind = e.event_kind;
      ev.channel = e.event_channel;
      for (int ch = 1; ch <= 2; ch++)
        if (timeline_event_breaks(ev, ch)) find_search_break(search, ch);
    } else if (e.type >= kKindRecvCh1 && e.type <= kKindSentCh2) {
      // time_s counts from the first chunk, as the exports count it.
      if (r->origin == kTimeUnknown) r->origin = e.time_us;
      find_search_chunk(search, e.type - 1, e.data, e.length, e.time_us, where(where_ctx, st), on_entry_hit, &d);
    }
    if (k % 4096 == 0) {
      if (cancelled(r)) return 1;
      if (r->percent) *r->percent = total ? static_cast<int>(where(where_ctx, st) * 100 / total) : 100;
      placed(r);
    }
  }
  placed(r);
  return 0;
}

}  // namespace

int find_run_snapshot(FindRun* r, const CaptureSnapshot& s) {
  r->origin = timeline_first_time_us(s.records, s.times, s.count);
  // A capture that wrapped or was cleared begins later than the session.
  r->searched_from = s.base > 0 ? local_of(r, r->origin, s.wall_offset_us) : kTimeUnknown;
  if (find_pass_run(r->pass, s, r->list, r->cancel) || find_pass_finish(r->pass, r->list, r->cancel)) {
    r->cancelled = 1;
    return 1;
  }
  places_of(r, s, s.count, 0, static_cast<uint64_t>(s.base), static_cast<uint64_t>(s.base));
  placed(r);
  return 0;
}

int find_run_recording(FindRun* r, RecordStream* st, RecordWindow* w,
                       uint64_t (*where)(void* ctx, const RecordStream* st), void* where_ctx, uint64_t total) {
  r->origin = kTimeUnknown;
  r->searched_from = kTimeUnknown;
  if (r->pass->q.what == kFindBytes) return r->cancelled = recording_bytes(r, st, where, where_ctx, total);
  uint64_t before = 0, at = 0, last_before = 0;
  int32_t last_count = 0;
  CaptureSnapshot& s = w->snap;
  while (!cancelled(r)) {
    const uint64_t here = where(where_ctx, st);
    if (record_window_fill(st, w) == 0) break;
    at = here;
    last_before = before;
    last_count = s.count;
    if (r->origin == kTimeUnknown) r->origin = timeline_first_time_us(s.records, s.times, s.count);
    const int32_t from = r->list->n;
    // The lines as this stretch's recording says, not as they are set today.
    if (find_pass_run(r->pass, s, r->list, r->cancel, w->shape)) break;
    places_of(r, s, s.count, from, at, before);
    placed(r);
    find_pass_next_stretch(r->pass);
    before = at;
    if (r->percent) *r->percent = total ? static_cast<int>(where(where_ctx, st) * 100 / total) : 100;
  }
  if (cancelled(r)) return r->cancelled = 1;
  // What the last window carried, placed in it: a window that found the
  // stream's end begins again empty but keeps its records.
  const int32_t from = r->list->n;
  if (find_pass_finish(r->pass, r->list, r->cancel)) return r->cancelled = 1;
  places_of(r, s, last_count, from, at, last_before);
  placed(r);
  return 0;
}

int32_t find_step_from(const FindFound* found, const FindPlace* places, int32_t n, int64_t marked_place, int then) {
  if (n <= 0) return -1;
  if (marked_place < 0) return then > 0 ? 0 : n - 1;
  auto place = [&](int32_t i) { return static_cast<int64_t>(places[i].where) + found[i].first; };
  if (then > 0) {
    for (int32_t i = 0; i < n; i++)
      if (place(i) > marked_place) return i;
    return -1;
  }
  for (int32_t i = n - 1; i >= 0; i--)
    if (place(i) < marked_place) return i;
  return -1;
}

int32_t find_step_in_list(int32_t current, int32_t n, int64_t first_index, int64_t more, int32_t capacity, int dir,
                          int64_t* skip) {
  const int32_t i = current + dir;
  if (i >= n && more > 0) {
    *skip = first_index + n;
    return kFindStepSearch;
  }
  if (i < 0 && first_index > 0) {
    *skip = first_index > capacity ? first_index - capacity : 0;
    return kFindStepSearch;
  }
  return i < 0 || i >= n ? kFindStepNone : i;
}

int64_t find_local_us(int64_t t, int64_t wall_offset, int32_t (*zone_minutes_at)(int64_t wall_us)) {
  int32_t zone = kFindZoneUnknown;
  return find_local_us_held(t, wall_offset, zone_minutes_at, &zone);
}

int64_t find_local_us_held(int64_t t, int64_t wall_offset, int32_t (*zone_minutes_at)(int64_t wall_us), int32_t* zone) {
  if (t == kTimeUnknown || !zone_minutes_at) return t;
  const int64_t wall = time_add_us(t, wall_offset);
  if (*zone == kFindZoneUnknown) *zone = zone_minutes_at(wall);
  return time_add_us(wall, static_cast<int64_t>(*zone) * 60000000);
}

int32_t find_time_first_local(const int64_t* times, int32_t count, int64_t local_at, int64_t wall_offset,
                              int32_t (*zone_minutes_at)(int64_t wall_us)) {
  for (int32_t i = 0; i < count; i++) {
    const int64_t local = find_local_us(times[i], wall_offset, zone_minutes_at);
    if (local != kTimeUnknown && local >= local_at) return i;
  }
  return count;
}
