#include "find/find_query.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

int stream_wanted(uint32_t streams, int kind) { return kind >= 1 && kind <= 4 && (streams >> (kind - 1)) & 1u; }
int channel_wanted(uint32_t streams, int ch) { return (streams >> (2 * (ch - 1))) & 3u; }
int is_data_kind(uint8_t kind) { return kind >= kKindRecvCh1 && kind <= kKindSentCh2; }

struct Adding {
  FindList* out;
  const CaptureSnapshot* s;
  int32_t length;
  const int64_t* fed;  // each stream's bytes in the stretches before
};

void keep(FindList* out, const FindFound& f) {
  if (find_list_room(out)) out->items[out->n++] = f;
}

void add(FindList* out, const FindFound& f) {
  if ((f.last > f.first ? f.last : f.first) < out->keep_from) return;
  keep(out, f);
}

// A find that begins at record `at` of `records` (those of the stretch, or
// the bad frames' joined ones); its first and last go in the caller's terms.
FindFound at_record(const CaptureRecord* records, const int64_t* times, int32_t count, int32_t at, uint8_t what) {
  FindFound f = {};
  f.what = what;
  f.offset = -1;
  f.chunk_time_us = f.time_us = kTimeUnknown;
  if (at >= 0 && at < count) {
    f.kind = records[at].kind;
    f.within = find_within_chunk(records, at);
    f.chunk_time_us = f.time_us = times ? times[at] : kTimeUnknown;
    f.channel = static_cast<uint8_t>(f.kind <= 2 ? 1 : 2);
  }
  return f;
}

void on_bytes(void* ctx, const FindHit& h) {
  Adding* a = static_cast<Adding*>(ctx);
  FindFound f = {};
  f.what = kFindBytes;
  f.kind = static_cast<uint8_t>(h.stream + 1);
  f.channel = static_cast<uint8_t>(h.stream < 2 ? 1 : 2);
  f.time_us = f.chunk_time_us = h.time_us;
  f.within = h.within;
  f.first = h.record;
  f.last = -1;
  f.offset = h.offset;
  // The last record: the pattern's bytes counted on through the stream's
  // records, over the gap markers between its chunks; for a match begun in
  // a stretch before, those of its bytes that lie in this one.
  const int64_t here = h.record >= 0 ? a->length : h.offset + a->length - a->fed[h.stream];
  if (here > 0 && here <= a->length) {
    int32_t left = static_cast<int32_t>(here);
    int32_t i = h.record >= 0 ? h.record : 0;
    for (; i < a->s->count; i++) {
      if (a->s->records[i].kind != f.kind) continue;
      if (--left == 0) break;
    }
    f.last = i < a->s->count ? i : a->s->count - 1;
  }
  add(a->out, f);
}

// Each stream's offset of the finds' first records (finds[from ..], in
// record order), counted on from `fed`, which ends as the stretch's end.
void offsets(const CaptureRecord* records, int32_t count, FindFound* finds, int32_t from, int32_t to, int64_t fed[4]) {
  int32_t k = from;
  for (int32_t i = 0; i < count; i++) {
    for (; k < to && finds[k].first <= i; k++)
      if (finds[k].first == i && finds[k].offset < 0 && is_data_kind(finds[k].kind)) finds[k].offset = fed[finds[k].kind - 1];
    if (is_data_kind(records[i].kind)) fed[records[i].kind - 1]++;
  }
}

void find_silences(FindPass* f, const CaptureSnapshot& s, FindList* out, const LineShape shape[2]) {
  int32_t at = 0, gap = -1;
  TimelineChunk c;
  while (timeline_next_chunk(s.records, s.times, s.count, &at, &gap, &c)) {
    // The silence before a chunk is the line's, whichever channel spoke
    // last; the channels ticked only choose the chunks looked at.
    if (f->have_prev && stream_wanted(f->q.streams, c.kind)) {
      const int64_t quiet = timeline_silence_or_digits_us(f->prev, c, shape);
      if (quiet != kTimeUnknown && quiet >= f->q.silence_us) {
        FindFound found = at_record(s.records, s.times, s.count, c.first, kFindSilence);
        found.first = c.first;
        found.last = c.first + c.count - 1;
        found.detail = quiet;
        add(out, found);
      }
    }
    f->prev = c;
    f->have_prev = 1;
  }
}

// The bad frames among the last decode's frames whose first record is in
// [from, upto), placed in the stretch: the frames' record r is joined
// record r - from (the joined records begin where the decode's `from`
// was), and joined record j is the stretch's j + f->carry_from.
// A joined record's index in its chunk, counting the records of that
// chunk that lay in stretches before.
int32_t within_of(const FindPass* f, int32_t at) {
  const CaptureRecord* r = f->joined.records;
  int32_t within = find_within_chunk(r, at);
  if (is_data_kind(r[at].kind) && at - within == f->carry_start[r[at].kind - 1])
    within += f->carry_within[r[at].kind - 1];
  return within;
}

int is_far(const FindPass* f, int32_t frame) {
  for (int32_t k : f->far_frame)
    if (k == frame) return 1;
  return 0;
}

// The bad frames of the last decode, placed in the stretch (joined record
// j is its j + f->carry_from): `carried` 0 those it decided, 1 those it
// carries (records from f->cut on, and the far frames). `hold`: a request
// its pair says nothing more of in this decode is held for a later
// stretch to tell (else the frames end after it).
void bad_frames_of(FindPass* f, int carried, FindList* out, int hold) {
  const ModbusFrameList& l = f->frames;
  const CaptureSnapshot& j = f->joined;
  const int line_monitor = f->q.modbus.line_monitor;
  int64_t fed[kFindStreams];
  std::memcpy(fed, f->carry_fed, sizeof fed);
  const int32_t before = out->n;
  for (int32_t i = 0; i < l.n; i++) {
    const ModbusFrame& m = l.frames[i];
    if ((m.first_record >= f->cut || is_far(f, i)) != carried) continue;
    if (f->on_frame) f->on_frame(f->on_frame_ctx, m, m.pair >= 0 && m.pair < l.n ? &l.frames[m.pair] : nullptr);
    int64_t detail = 0;
    const uint8_t why = find_frame_bad(l.frames, l.n, i, line_monitor, &detail);
    const int waits = !why && hold && modbus_monitor_waiting(l.frames, l.n, i, line_monitor);
    if (!why && !waits) continue;
    const int32_t kind = j.records[m.first_record].kind;
    if (!stream_wanted(f->q.streams, kind)) continue;
    FindFound found = at_record(j.records, j.times, j.count, m.first_record, kFindBadFrame);
    found.within = within_of(f, m.first_record);
    found.time_us = m.time_us;
    found.why = waits ? static_cast<uint8_t>(kFindBadNoAnswer) : why;
    found.detail = detail;
    found.channel = m.channel;
    found.first = m.first_record;  // joined terms until the offsets are counted
    found.last = m.last_record;
    if (waits) {
      int64_t at[kFindStreams];
      std::memcpy(at, f->carry_fed, sizeof at);
      offsets(j.records, j.count, &found, 0, 1, at);
      FindPass::Waiting* w = nullptr;
      for (FindPass::Waiting& slot : f->waiting)
        if (!w && (!slot.has || modbus_monitor_same_pair(slot.frame, m, line_monitor))) w = &slot;
      if (!w) continue;
      // Told in a later stretch: it began in one before that.
      found.first = found.last = -1;
      *w = {m, found, 1};
      continue;
    }
    keep(out, found);  // its records are placed below, in the stretch's terms
  }
  if (out->n > before) offsets(j.records, j.count, out->items, before, out->n, fed);
  for (int32_t k = before; k < out->n; k++) {
    FindFound& found = out->items[k];
    const int32_t first = found.first + f->carry_from, last = found.last + f->carry_from;
    found.first = first < 0 ? -1 : first;
    found.last = last < 0 ? -1 : last;
  }
}

// The requests held from stretches before whose pair's next frame the last
// decode holds: those it says went unanswered are found.
void waiting_told(FindPass* f, FindList* out) {
  const ModbusFrameList& l = f->frames;
  const int line_monitor = f->q.modbus.line_monitor;
  for (FindPass::Waiting& w : f->waiting) {
    for (int32_t i = 0; w.has && i < l.n; i++) {
      if (!modbus_monitor_same_pair(l.frames[i], w.frame, line_monitor)) continue;
      const ModbusFrame two[2] = {w.frame, l.frames[i]};
      if (modbus_monitor_unanswered(two, 2, 0, line_monitor)) keep(out, w.found);
      w.has = 0;
    }
  }
}

// Where the joined records' decode stops being sure: the earliest first
// record of each stream's last frame, of each pair's last request still
// waiting, and of any frame that runs past that, among those within
// kFindCarryRecords of the end.
int32_t carry_cut(const ModbusFrameList& l, int32_t count, int line_monitor) {
  const int32_t near = count - kFindCarryRecords;
  int32_t cut = count;
  int seen[8] = {};
  for (int32_t i = l.n - 1; i >= 0; i--) {
    const ModbusFrame& m = l.frames[i];
    if (m.first_record < near) break;
    const int stream = (m.channel - 1) * 2 + m.role;
    if (!seen[stream]) {
      seen[stream] = 1;
      cut = std::min(cut, m.first_record);
    }
    const int pair = line_monitor ? 0 : m.channel;
    if (!seen[4 + pair] && m.role == kMonitorRequest) {
      seen[4 + pair] = 1;
      if (m.check == kMonitorOk && m.pair < 0 && !modbus_monitor_unanswered(l.frames, l.n, i, line_monitor))
        cut = std::min(cut, m.first_record);
    }
  }
  // No frame may be cut in two: one pass back (frames by first record).
  for (int32_t i = l.n - 1; i >= 0; i--)
    if (l.frames[i].first_record < cut && l.frames[i].last_record >= cut) cut = l.frames[i].first_record;
  // The carry stays bounded whatever the records hold: frames that run
  // into each other from further back are decided where they are.
  if (cut < near) {
    cut = count;
    for (int32_t i = l.n - 1; i >= 0 && l.frames[i].first_record >= near; i--) cut = l.frames[i].first_record;
  }
  return cut;
}

int decode_joined(FindPass* f, const LineShape shape[2], const std::atomic<int>* cancel) {
  ModbusMonitorOptions o = f->q.modbus;
  if (shape) o.shape[0] = shape[0], o.shape[1] = shape[1];
  o.events = f->joined.events;
  o.event_count = f->joined.event_count;
  o.base = 0;
  return modbus_monitor_decode_either(f->joined.records, f->joined.times, f->joined.count, &o, &f->frames,
                                      &f->scratch, nullptr, cancel);
}

// How many records a far frame carries: those of its kind from its first
// record up to `cut`, and the gap markers right after each of its chunks
// (so its chunks stay apart and keep their times).
int32_t far_records(const CaptureRecord* r, int32_t first, int32_t cut, uint8_t kind) {
  int32_t n = 0, copied = 0;
  for (int32_t i = first; i < cut; i++) {
    copied = r[i].kind == kind || (!is_data_kind(r[i].kind) && copied);
    n += copied;
  }
  return n;
}

// The frames farther back than the cut that are carried whole: each
// stream's last frame when the stretch's end may have cut it short (a bad
// check: its bytes ran on to where the decode stopped), and a frame the
// cut runs through (its records before the cut go with those after), when
// their records fit the far carry.
void pick_far(FindPass* f) {
  const ModbusFrameList& l = f->frames;
  const CaptureRecord* r = f->joined.records;
  int seen[kFindStreams] = {}, later[kFindStreams] = {};
  int32_t room = kFindFarRecords;
  for (int32_t& k : f->far_frame) k = -1;
  for (int32_t i = l.n - 1; i >= 0; i--) {
    const ModbusFrame& m = l.frames[i];
    const int k = r[m.first_record].kind - 1;
    if (k < 0 || k >= kFindStreams || seen[k]) continue;
    if (m.first_record >= f->cut) {
      later[k] = 1;
      continue;
    }
    seen[k] = 1;
    if (m.last_record < f->cut && (later[k] || m.check == kMonitorOk)) continue;
    const int32_t n = far_records(r, m.first_record, f->cut, r[m.first_record].kind);
    if (n > room) continue;
    room -= n;
    f->far_frame[k] = i;
  }
}

// Moves what the last decode carries to the start of the joined records:
// each far frame's records and those from the cut on, with the events
// among them, each stream's bytes before its first carried record, and
// where its first carried chunk began.
void carry_over(FindPass* f) {
  CaptureSnapshot& j = f->joined;
  int32_t far_first[kFindStreams], lo = f->cut;
  for (int k = 0; k < kFindStreams; k++) {
    far_first[k] = f->far_frame[k] >= 0 ? f->frames.frames[f->far_frame[k]].first_record : INT32_MAX;
    lo = std::min(lo, far_first[k]);
  }
  // The first carried record of each kind, its place in its chunk.
  int32_t start[kFindStreams], within[kFindStreams];
  for (int k = 0; k < kFindStreams; k++) {
    int32_t at = far_first[k];
    for (int32_t i = f->cut; at == INT32_MAX && i < j.count; i++)
      if (j.records[i].kind == k + 1) at = i;
    start[k] = at;
    within[k] = at == INT32_MAX ? 0 : within_of(f, at);
  }
  for (int32_t i = 0; i < f->cut; i++) {
    const uint8_t kind = j.records[i].kind;
    if (is_data_kind(kind) && i < far_first[kind - 1]) f->carry_fed[kind - 1]++;
  }
  // The far records, in place (writing never runs ahead of reading), with
  // the events before the cut placed on them.
  int32_t n = 0, e = 0, kept = 0, copied = 0;
  for (int32_t i = lo; i < f->cut; i++) {
    for (; e < j.event_count && j.events[e].place <= i; e++)
      if (j.events[e].place > lo) {
        j.events[kept] = j.events[e];
        j.events[kept++].place = n;
      }
    const uint8_t kind = j.records[i].kind;
    copied = (is_data_kind(kind) && i >= far_first[kind - 1]) || (!is_data_kind(kind) && copied);
    if (!copied) continue;
    for (int k = 0; k < kFindStreams; k++)
      if (start[k] == i) start[k] = n;
    j.records[n] = j.records[i];
    j.times[n++] = j.times[i];
  }
  for (; e < j.event_count && j.events[e].place < f->cut; e++)
    if (j.events[e].place > lo) {
      j.events[kept] = j.events[e];
      j.events[kept++].place = n;
    }
  for (int k = 0; k < kFindStreams; k++)
    if (start[k] != INT32_MAX && start[k] >= f->cut) start[k] = start[k] - f->cut + n;
  for (; e < j.event_count; e++) {
    j.events[kept] = j.events[e];
    j.events[kept++].place = j.events[e].place - f->cut + n;
  }
  j.event_count = kept;
  const int32_t tail = j.count - f->cut;
  std::memmove(j.records + n, j.records + f->cut, static_cast<size_t>(tail) * sizeof *j.records);
  std::memmove(j.times + n, j.times + f->cut, static_cast<size_t>(tail) * sizeof *j.times);
  j.count = f->carry_n = n + tail;
  for (int k = 0; k < kFindStreams; k++) {
    f->carry_start[k] = start[k] == INT32_MAX ? -1 : start[k];
    f->carry_within[k] = within[k];
  }
  f->decided = 0;
}

int find_bad_frames(FindPass* f, const CaptureSnapshot& s, FindList* out, const std::atomic<int>* cancel,
                    const LineShape shape[2]) {
  if (f->decided) carry_over(f);
  CaptureSnapshot& j = f->joined;
  // The stretch after what was carried; events placed in the joined records.
  const int32_t n = std::min(s.count, kCaptureRecords);
  std::memcpy(j.records + f->carry_n, s.records, static_cast<size_t>(n) * sizeof *s.records);
  for (int32_t i = 0; i < n; i++) j.times[f->carry_n + i] = s.times ? s.times[i] : kTimeUnknown;
  j.count = f->carry_n + n;
  for (int32_t i = 0; i < s.event_count && j.event_count < kCaptureEvents; i++) {
    LineEvent e = s.events[i];
    e.place = e.place - s.base + f->carry_n;
    if (e.place < f->carry_n) e.place = f->carry_n;
    j.events[j.event_count++] = e;
  }
  f->carry_from = -f->carry_n;
  if (decode_joined(f, shape, cancel)) return 1;
  waiting_told(f, out);
  f->cut = carry_cut(f->frames, j.count, f->q.modbus.line_monitor);
  pick_far(f);
  bad_frames_of(f, 0, out, 1);
  // What it carries stays where it is until the next stretch comes, or
  // the pass's finish decides it as this decode read it.
  f->decided = 1;
  return 0;
}

void find_events(FindPass* f, const CaptureSnapshot& s, FindList* out) {
  // A stretch without data may still hold events (a recording's slice of
  // an outage): they are found all the same.
  for (int32_t i = 0; i < s.event_count; i++) {
    const LineEvent& e = s.events[i];
    if (!find_event_findable(e.kind)) continue;
    if (f->q.event && e.kind != f->q.event) continue;
    if (e.channel && !channel_wanted(f->q.streams, e.channel)) continue;
    int64_t place = e.place - s.base;
    if (place < 0 || place > s.count) continue;
    // The event stands before a record; the view marks the chunk it opens,
    // or, at a stretch's end (a recording's window ends after it), the
    // chunk it follows: a gap marker has no time to be found by.
    int32_t first = static_cast<int32_t>(place);
    while (first < s.count && !is_data_kind(s.records[first].kind)) first++;
    if (first == s.count) {
      first = static_cast<int32_t>(place) - 1;
      while (first > 0 && !is_data_kind(s.records[first].kind)) first--;
      if (first < 0) first = 0;
    }
    FindFound found = at_record(s.records, s.times, s.count, first, kFindLineEvent);
    found.first = found.last = first;
    found.time_us = e.time_us;
    found.why = e.kind;
    found.detail = e.detail;
    found.channel = e.channel;
    found.offset = -1;
    add(out, found);
  }
}

}  // namespace

int find_pass_begin(FindPass* f, const FindQuery& q) {
  find_pass_end(f);
  f->q = q;
  f->have_prev = 0;
  std::memset(f->fed, 0, sizeof f->fed);
  std::memset(f->carry_fed, 0, sizeof f->carry_fed);
  f->carry_n = f->carry_from = f->cut = f->decided = 0;
  for (int k = 0; k < kFindStreams; k++) f->carry_start[k] = f->far_frame[k] = -1, f->carry_within[k] = 0;
  for (FindPass::Waiting& w : f->waiting) w.has = 0;
  if (q.what == kFindBytes) find_search_begin(&f->bytes, q.pattern, q.streams);
  if (q.what != kFindBadFrame) return 0;
  f->joined.records = static_cast<CaptureRecord*>(std::malloc((kCaptureRecords + kFindCarryRecords + kFindFarRecords) * sizeof(CaptureRecord)));
  f->joined.times = static_cast<int64_t*>(std::malloc((kCaptureRecords + kFindCarryRecords + kFindFarRecords) * sizeof(int64_t)));
  f->joined.count = f->joined.event_count = 0;
  if (!f->joined.records || !f->joined.times) {
    find_pass_end(f);
    return 1;
  }
  return 0;
}

void find_pass_end(FindPass* f) {
  modbus_frame_list_free(&f->frames);
  modbus_frame_list_free(&f->scratch);
  capture_snapshot_free(&f->joined);
}

void find_pass_next_stretch(FindPass* f) {
  if (f->q.what == kFindBytes) find_search_next_stretch(&f->bytes);
}

int find_pass_run(FindPass* f, const CaptureSnapshot& s, FindList* out, const std::atomic<int>* cancel,
                  const LineShape* shape) {
  const int32_t before = out->n;
  const LineShape* lines = shape ? shape : f->q.shape;
  int cancelled = 0;
  switch (f->q.what) {
    case kFindBytes: {
      Adding a = {out, &s, f->q.pattern.length, f->fed};
      find_search_run(&f->bytes, s, on_bytes, &a);
      for (int32_t i = 0; i < s.count; i++)
        if (is_data_kind(s.records[i].kind)) f->fed[s.records[i].kind - 1]++;
      break;
    }
    case kFindSilence: find_silences(f, s, out, lines); break;
    case kFindBadFrame: cancelled = find_bad_frames(f, s, out, cancel, shape ? shape : f->q.modbus.shape); break;
    case kFindLineEvent: find_events(f, s, out); break;
  }
  // The matcher reports a match where it ends; the list goes by where each begins.
  std::stable_sort(out->items + before, out->items + out->n,
                   [](const FindFound& a, const FindFound& b) { return a.first < b.first; });
  if (f->q.what == kFindSilence) offsets(s.records, s.count, out->items, before, out->n, f->fed);
  return cancelled;
}

int find_pass_finish(FindPass* f, FindList* out, const std::atomic<int>* cancel) {
  if (f->q.what != kFindBadFrame || !f->decided) return 0;
  if (cancel && cancel->load(std::memory_order_relaxed)) return 1;
  // The last stretch's decode read its carry with all that came before
  // it, in the framing and the lines it chose: framed again alone, its
  // first bytes could read otherwise.
  bad_frames_of(f, 1, out, 0);
  f->decided = 0;
  f->carry_n = 0;
  f->joined.count = f->joined.event_count = 0;
  for (FindPass::Waiting& w : f->waiting) w.has = 0;
  return 0;
}

uint8_t find_frame_bad(const ModbusFrame* frames, int32_t n, int32_t i, int line_monitor, int64_t* detail) {
  const ModbusFrame& m = frames[i];
  *detail = 0;
  if (m.check != kMonitorOk) {
    *detail = m.check;
    return kFindBadCheck;
  }
  if (m.fields & kFieldException) {
    *detail = m.exception;
    return kFindBadException;
  }
  return modbus_monitor_unanswered(frames, n, i, line_monitor) ? kFindBadNoAnswer : 0;
}

uint32_t find_streams_of(uint32_t channels, uint32_t directions) {
  uint32_t streams = 0;
  for (int s = 0; s < kFindStreams; s++)
    if (((channels ? channels : 3u) >> (s / 2) & 1u) && ((directions ? directions : 3u) >> (s % 2) & 1u))
      streams |= 1u << s;
  return streams;
}

int find_silence_typed(const char16_t* p, int64_t* us) {
  int64_t ms = 0;
  while (*p == u' ') p++;
  const char16_t* digits = p;
  for (; *p >= u'0' && *p <= u'9' && ms < 100000000; p++) ms = ms * 10 + (*p - u'0');
  while (*p == u' ') p++;
  if (*p || p == digits || ms < 1 || ms >= 100000000) return 1;
  *us = ms * 1000;
  return 0;
}

int find_query_same(const FindQuery& a, const FindQuery& b) {
  if (a.what != b.what || a.streams != b.streams || a.silence_us != b.silence_us || a.event != b.event) return 0;
  if (a.what != kFindBytes) return 1;
  const FindPattern &p = a.pattern, &r = b.pattern;
  if (p.length != r.length || p.fold_case != r.fold_case) return 0;
  for (int i = 0; i < p.length; i++)
    if (p.bytes[i] != r.bytes[i] || p.any[i] != r.any[i] || p.fold[i] != r.fold[i]) return 0;
  return 1;
}

int find_event_findable(uint8_t kind) { return kind != kEventLoaded && kind != kEventCleared; }

uint8_t find_event_kind(const char16_t* name) {
  for (int kind = 1; kind < 256; kind++) {
    const char* n = line_event_name(static_cast<uint8_t>(kind));
    if (!n || !n[0] || std::strcmp(n, "?") == 0) continue;
    if (!find_event_findable(static_cast<uint8_t>(kind))) continue;
    int i = 0;
    for (; n[i] && name[i]; i++) {
      const char16_t c = name[i] >= u'A' && name[i] <= u'Z' ? static_cast<char16_t>(name[i] - u'A' + u'a') : name[i];
      if (c != static_cast<unsigned char>(n[i])) break;
    }
    if (!n[i] && !name[i]) return static_cast<uint8_t>(kind);
  }
  return 0;
}

int32_t find_time_first(const int64_t* times, int32_t count, int64_t at) {
  for (int32_t i = 0; i < count; i++)
    if (times[i] != kTimeUnknown && times[i] >= at) return i;
  return count;
}

int32_t find_within_chunk(const CaptureRecord* records, int32_t at) {
  int32_t i = at;
  while (i > 0 && records[i - 1].kind == records[at].kind) i--;
  return at - i;
}
