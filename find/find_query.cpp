#include "find/find_query.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "timeline/export.h"

namespace {

int stream_wanted(uint32_t streams, int kind) { return kind >= 1 && kind <= 4 && (streams >> (kind - 1)) & 1u; }
int channel_wanted(uint32_t streams, int ch) { return (streams >> (2 * (ch - 1))) & 3u; }

struct Adding {
  FindList* out;
  const CaptureSnapshot* s;
  int32_t length;
};

void add(FindList* out, const FindFound& f) {
  if (out->n < out->capacity) out->items[out->n++] = f;
  else out->more++;
}

FindFound at_record(const CaptureSnapshot& s, int32_t first, int32_t last, uint8_t what) {
  FindFound f = {};
  f.what = what;
  f.first = first;
  f.last = last;
  if (first >= 0 && first < s.count) {
    f.kind = s.records[first].kind;
    f.within = find_within_chunk(s.records, first);
    f.chunk_time_us = f.time_us = s.times ? s.times[first] : kTimeUnknown;
    f.channel = static_cast<uint8_t>(f.kind <= 2 ? 1 : 2);
  } else {
    f.chunk_time_us = f.time_us = kTimeUnknown;
  }
  return f;
}

int on_bytes(void* ctx, const FindHit& h) {
  Adding* a = static_cast<Adding*>(ctx);
  FindFound f = {};
  f.what = kFindBytes;
  f.kind = static_cast<uint8_t>(h.stream + 1);
  f.channel = static_cast<uint8_t>(h.stream < 2 ? 1 : 2);
  f.time_us = f.chunk_time_us = h.time_us;
  f.within = h.within;
  f.first = h.record;
  f.last = -1;
  // The last record: the pattern's bytes counted on through the stream's
  // records, over the gap markers between its chunks.
  if (h.record >= 0) {
    int32_t left = a->length;
    int32_t i = h.record;
    for (; i < a->s->count; i++) {
      if (a->s->records[i].kind != f.kind) continue;
      if (--left == 0) break;
    }
    f.last = i < a->s->count ? i : a->s->count - 1;
  }
  add(a->out, f);
  return 0;
}

void find_silences(FindPass* f, const CaptureSnapshot& s, FindList* out) {
  int32_t at = 0, gap = -1;
  TimelineChunk c;
  while (timeline_next_chunk(s.records, s.times, s.count, &at, &gap, &c)) {
    const int ch = c.kind <= 2 ? 0 : 1;
    if (!channel_wanted(f->q.streams, ch + 1)) continue;
    if (f->have_prev[ch]) {
      const int64_t quiet = timeline_silence_us(f->prev[ch], c, f->q.shape);
      if (quiet != kTimeUnknown && quiet > f->q.silence_us) {
        FindFound found = at_record(s, c.first, c.first + c.count - 1, kFindSilence);
        found.detail = quiet;
        add(out, found);
      }
    }
    f->prev[ch] = c;
    f->have_prev[ch] = 1;
  }
}

int find_bad_frames(FindPass* f, const CaptureSnapshot& s, FindList* out, const std::atomic<int>* cancel) {
  ModbusMonitorOptions o = f->q.modbus;
  o.events = s.events;
  o.event_count = s.event_count;
  o.base = s.base;
  if (modbus_monitor_decode_either(s.records, s.times, s.count, &o, &f->frames, &f->scratch, nullptr, cancel))
    return 1;
  const ModbusFrameList& l = f->frames;
  for (int32_t i = 0; i < l.n; i++) {
    const ModbusFrame& m = l.frames[i];
    if (!stream_wanted(f->q.streams, (m.channel - 1) * 2 + m.sent + 1)) continue;
    uint8_t why = 0;
    int64_t detail = 0;
    if (m.check != kMonitorOk) why = kFindBadCheck, detail = m.check;
    else if (m.fields & kFieldException) why = kFindBadException, detail = m.exception;
    // A request the stretch holds nothing after may yet be answered.
    else if (m.role == kMonitorRequest && m.pair < 0 && i + 1 < l.n) why = kFindBadNoAnswer;
    if (!why) continue;
    FindFound found = at_record(s, m.first_record, m.last_record, kFindBadFrame);
    found.time_us = m.time_us;
    found.why = why;
    found.detail = detail;
    found.channel = m.channel;
    add(out, found);
  }
  return 0;
}

void find_events(FindPass* f, const CaptureSnapshot& s, FindList* out) {
  if (s.count == 0) return;
  for (int32_t i = 0; i < s.event_count; i++) {
    const LineEvent& e = s.events[i];
    if (e.kind == kEventLoaded || e.kind == kEventCleared) continue;
    if (e.channel && !channel_wanted(f->q.streams, e.channel)) continue;
    int64_t place = e.place - s.base;
    if (place < 0 || place > s.count) continue;
    if (place == s.count) place = s.count - 1;
    // The event stands before a record; the view marks the chunk it opens.
    int32_t first = static_cast<int32_t>(place);
    while (first < s.count && s.records[first].kind >= 128) first++;
    if (first == s.count) first = static_cast<int32_t>(place);
    FindFound found = at_record(s, first, first, kFindLineEvent);
    found.time_us = e.time_us;
    found.why = e.kind;
    found.detail = e.detail;
    found.channel = e.channel;
    add(out, found);
  }
}

}  // namespace

void find_pass_begin(FindPass* f, const FindQuery& q) {
  f->q = q;
  f->have_prev[0] = f->have_prev[1] = 0;
  if (q.what == kFindBytes) find_search_begin(&f->bytes, q.pattern, q.streams);
}

void find_pass_end(FindPass* f) {
  modbus_frame_list_free(&f->frames);
  modbus_frame_list_free(&f->scratch);
}

void find_pass_next_stretch(FindPass* f) {
  if (f->q.what == kFindBytes) find_search_next_stretch(&f->bytes);
}

int find_pass_run(FindPass* f, const CaptureSnapshot& s, FindList* out, const std::atomic<int>* cancel) {
  const int32_t before = out->n;
  int cancelled = 0;
  switch (f->q.what) {
    case kFindBytes: {
      Adding a = {out, &s, f->q.pattern.length};
      find_search_run(&f->bytes, s.records, s.times, s.count, on_bytes, &a);
      break;
    }
    case kFindSilence: find_silences(f, s, out); break;
    case kFindBadFrame: cancelled = find_bad_frames(f, s, out, cancel); break;
    case kFindLineEvent: find_events(f, s, out); break;
  }
  // The matcher reports a match where it ends; the list goes by where each begins.
  std::stable_sort(out->items + before, out->items + out->n,
                   [](const FindFound& a, const FindFound& b) { return a.first < b.first; });
  return cancelled;
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

void find_time_texts(int64_t t, int64_t origin, int64_t local_us, char seconds[40], char day[24]) {
  seconds[0] = day[0] = 0;
  const int64_t d = t == kTimeUnknown || origin == kTimeUnknown ? kTimeUnknown : time_sub_us(t, origin);
  if (d != kTimeUnknown) {
    const int64_t a = d < 0 ? -d : d;  // never INT64_MIN: that is kTimeUnknown
    std::snprintf(seconds, 40, "%s%lld.%06lld", d < 0 ? "-" : "", static_cast<long long>(a / 1000000),
                  static_cast<long long>(a % 1000000));
  }
  char full[32];
  if (local_us != kTimeUnknown && timeline_format_wall(local_us, 0, full) == 0) std::snprintf(day, 24, "%s", full + 11);
}

void find_row_text(const FindFound& f, int64_t origin, int64_t local_us, const uint8_t* preview, int32_t preview_n,
                   FindRowText* out) {
  *out = FindRowText{};
  find_time_texts(f.time_us, origin, local_us, out->seconds, out->day);
  if (f.channel == 1 || f.channel == 2) std::snprintf(out->channel, sizeof out->channel, "CH%d", f.channel);
  if (f.what != kFindLineEvent && f.kind >= 1 && f.kind <= 4)
    std::snprintf(out->direction, sizeof out->direction, "%s", f.kind % 2 ? "RX" : "TX");
  switch (f.what) {
    case kFindSilence:
      std::snprintf(out->found, sizeof out->found, "silence %lld.%03lld ms", static_cast<long long>(f.detail / 1000),
                    static_cast<long long>(f.detail % 1000));
      break;
    case kFindBadFrame:
      if (f.why == kFindBadCheck) std::snprintf(out->found, sizeof out->found, "%s", modbus_check_name(static_cast<uint8_t>(f.detail)));
      else if (f.why == kFindBadException)
        std::snprintf(out->found, sizeof out->found, "exception %02X %s", static_cast<unsigned>(f.detail & 0xFF),
                      modbus_exception_name(static_cast<uint8_t>(f.detail)));
      else std::snprintf(out->found, sizeof out->found, "no answer");
      break;
    case kFindLineEvent:
      if (f.why == kEventSettings) std::snprintf(out->found, sizeof out->found, "settings %lld baud", static_cast<long long>(f.detail));
      else if (f.why == kEventBack) std::snprintf(out->found, sizeof out->found, "back after %lld ms", static_cast<long long>(f.detail));
      else if (f.why == kEventLost || f.why == kEventRecordStopped)
        std::snprintf(out->found, sizeof out->found, "%s error %lld", line_event_name(f.why), static_cast<long long>(f.detail));
      else std::snprintf(out->found, sizeof out->found, "%s", line_event_name(f.why));
      break;
    default: break;
  }
  if (preview_n > kFindPreviewBytes) preview_n = kFindPreviewBytes;
  int k = 0;
  for (int32_t i = 0; i < preview_n; i++) {
    k += std::snprintf(out->hex + k, sizeof out->hex - static_cast<size_t>(k), i ? " %02X" : "%02X", preview[i]);
    out->text[i] = preview[i] >= 0x20 && preview[i] < 0x7F ? static_cast<char>(preview[i]) : '.';
  }
}

int32_t find_csv_row(const FindRowText& t, char* out, int32_t room) {
  char text[2 * kFindPreviewBytes + 3];
  int k = 0;
  const int quote = std::strpbrk(t.text, ",\"") != nullptr;
  if (quote) text[k++] = '"';
  for (const char* p = t.text; *p; p++) {
    if (*p == '"') text[k++] = '"';
    text[k++] = *p;
  }
  if (quote) text[k++] = '"';
  text[k] = 0;
  const int n = std::snprintf(out, static_cast<size_t>(room), "%s,%s,%s,%s,%s,%s,%s\r\n", t.seconds, t.day, t.channel,
                              t.direction, t.found, t.hex, text);
  return n < 0 || n >= room ? -1 : n;
}

int32_t find_preview(const CaptureRecord* records, int32_t count, const FindFound& f, uint8_t out[kFindPreviewBytes]) {
  int32_t n = 0;
  for (int32_t i = f.first < 0 ? count : f.first; i < count && n < kFindPreviewBytes; i++) {
    if (records[i].kind == f.kind) out[n++] = capture_byte(records[i]);
    else if (records[i].kind < 128) break;  // another stream's chunk: the find's bytes stop here
  }
  return n;
}
