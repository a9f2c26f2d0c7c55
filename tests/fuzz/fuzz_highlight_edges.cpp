// Arbitrary chunks of the four streams, cut at a chunk's edge into two
// windows of a recording: the first window's paint (reading on into the
// second) and the second's (reading on from the first) must colour every
// record as one paint of the two windows joined does, byte rules and a
// silence rule alike, the line lost anywhere. The input is shorter than a
// paint reads across an edge (kHighlightEdgeReach), so every match is near
// enough to colour. (A line event rule is left out: Find marks an event
// that ends a window at the chunk it follows, in the joined records at the
// chunk it opens.)
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "codec/convert.h"
#include "tests/unit/fake_codec.h"
#include "view/highlight.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

const AnsiCodec kCodec = {nullptr, fake_encode, nullptr};
HighlightRules g_rules;
HighlightWork g_work;
HighlightMarks g_joined, g_marks;

void rules_once() {
  static int read = 0;
  if (read) return;
  const char16_t text[] =
      u"\xFEFF"
      u"FF0000\tT\t*\t*\tALARM\r\n"
      u"00FF00\tH\t*\t*\t06 ?? 15\r\n"
      u"0000FF\tt\t1\t*\tab\r\n"
      u"FFFF00\tS\t*\tRX\t\"ok\"0D0A\r\n"
      u"00FFFF\tQ\t*\t*\t5\r\n";
  std::vector<uint8_t> f;
  for (const char16_t* u = text; *u; u++) f.push_back(static_cast<uint8_t>(*u & 0xFF)), f.push_back(static_cast<uint8_t>(*u >> 8));
  check(highlight_parse(f.data(), f.size(), &kCodec, &g_rules) == kHighlightFileOk && g_rules.count == 5);
  read = 1;
}

void mark(const CaptureSnapshot& w, HighlightMarks* out) {
  const LineShape shape[2] = {{9600, 100}, {9600, 100}};
  const int32_t lo = highlight_window_start(w.records, w.count, 0, highlight_longest(&g_rules));
  g_work.complete = 1;  // each window is all there will be
  highlight_mark(&g_rules, w.records, w.times, lo, 0, w.count, w.events, w.event_count, w.base, shape, &g_work, out);
}

CaptureSnapshot g_whole, g_first, g_second;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rules_once();
  if (size < 2) return 0;
  // Chunks: a byte of kind (2 bits), length (4 bits), whether its line was
  // lost right before it (bit 6) and whether the gap before it is long (the
  // high bit), then its bytes; each chunk followed by its three gap
  // markers. The first byte says after which chunk the first window ends.
  std::vector<CaptureRecord> records;
  std::vector<int64_t> times;
  std::vector<size_t> chunk_ends;
  std::vector<LineEvent> events;
  int64_t t = 1000000;
  for (size_t i = 1; i < size && records.size() < 4000;) {
    const uint8_t head = data[i++];
    const uint8_t kind = static_cast<uint8_t>(kKindRecvCh1 + (head & 3));
    t += head & 0x80 ? 20000 : 500;
    if (head & 0x40 && events.size() < kCaptureEvents)
      events.push_back(LineEvent{static_cast<int64_t>(records.size()), t, kEventLost, static_cast<uint8_t>(kind <= 2 ? 1 : 2), 0, 0});
    const size_t n = 1 + (head >> 2 & 15);
    for (size_t k = 0; k < n && i < size; k++, i++) {
      records.push_back(CaptureRecord{kind, 0, data[i], 0, static_cast<uint8_t>(k), {0, 0, 0}});
      times.push_back(t);
    }
    for (uint8_t m = 0; m < 3; m++) {
      records.push_back(CaptureRecord{static_cast<uint8_t>(128 + m), 0, '0', '0', 0, {0, 0, 0}});
      times.push_back(t);
    }
    chunk_ends.push_back(records.size());
  }
  if (chunk_ends.size() < 2) return 0;
  const int32_t n = static_cast<int32_t>(records.size());
  const int32_t cut = static_cast<int32_t>(chunk_ends[data[0] % (chunk_ends.size() - 1)]);
  // The whole, and the two windows as snapshots of their own: an event at
  // the edge is the first window's last entry.
  g_whole.records = records.data();
  g_whole.times = times.data();
  g_whole.count = n;
  g_first.records = records.data();
  g_first.times = times.data();
  g_first.count = cut;
  g_second.records = records.data() + cut;
  g_second.times = times.data() + cut;
  g_second.count = n - cut;
  g_whole.event_count = g_first.event_count = g_second.event_count = 0;
  g_second.base = 0;
  for (const LineEvent& e : events) {
    g_whole.events[g_whole.event_count++] = e;
    if (e.place <= cut) g_first.events[g_first.event_count++] = e;
    else g_second.events[g_second.event_count] = e, g_second.events[g_second.event_count++].place -= cut;
  }
  g_work.after = g_work.before = nullptr;
  g_work.edges = 0;
  mark(g_whole, &g_joined);
  g_work.after = &g_second;
  g_work.edges = kHighlightWindowAfter;
  mark(g_first, &g_marks);
  for (int32_t i = 0; i < cut; i++) check(highlight_rule_at(g_marks, i) == highlight_rule_at(g_joined, i));
  g_work.after = nullptr;
  g_work.before = &g_first;
  g_work.edges = kHighlightWindowBefore;
  mark(g_second, &g_marks);
  for (int32_t i = 0; i < n - cut; i++) check(highlight_rule_at(g_marks, i) == highlight_rule_at(g_joined, cut + i));
  g_work.before = nullptr;
  g_work.edges = 0;
  g_work.complete = 0;
  return 0;
}
