// The highlight rules' colouring of a recording's windows at their edges,
// measured against Find reading the recording on: the windows laid out from
// entries as the reader lays them out (record_window_add) and shown through a
// capture as the recording view shows them (capture_load), the window before
// kept as the view keeps it, the next one as it reads it ahead.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "codec/checksum.h"
#include "fake_codec.h"
#include "modbus/modbus_monitor.h"
#include "record/record_reader.h"
#include "view/highlight.h"

namespace {

const AnsiCodec kLatin1 = {nullptr, fake_encode, nullptr};

int64_t g_clock = 0;
int64_t test_micros() { return g_clock; }

// A window of a recording and the capture the view shows it through.
struct Window {
  RecordWindow w;
  Capture cap;
};

struct HighlightEdges : ::testing::Test {
  static HighlightRules rules;
  static HighlightWork work;
  static HighlightMarks marks;
  static Window a, b;
  static CaptureSnapshot kept;  // the window before, as the view keeps it (whole)
  static Capture whole;         // the same entries as one stretch, for Find
  static FindPass pass;
  static FindFound items[1 << 16];
  static ModbusMonitorWorker worker;
  LineShape shape[2] = {{9600, 100}, {9600, 100}};

  void SetUp() override {
    for (Window* x : {&a, &b}) {
      ASSERT_EQ(capture_snapshot_allocate(&x->w.snap), 0);
      record_window_begin(&x->w);
      x->cap.micros = test_micros;
      ASSERT_EQ(capture_allocate(&x->cap), 0);
      capture_clear(&x->cap);
    }
    whole.micros = test_micros;
    ASSERT_EQ(capture_allocate(&whole), 0);
    capture_clear(&whole);
    ASSERT_EQ(capture_snapshot_allocate(&kept), 0);
    current = this;
    work.before = work.after = nullptr;
    work.edges = 0;
    work.shown_hi = 0;
    highlight_frames_use(&work, nullptr);
  }
  void TearDown() override {
    highlight_frames_use(&work, nullptr);
    work.before = work.after = nullptr;
    work.edges = 0;
    modbus_monitor_worker_stop(&worker);
    for (Window* x : {&a, &b}) {
      capture_snapshot_free(&x->w.snap);
      capture_free(&x->cap);
    }
    capture_free(&whole);
    capture_snapshot_free(&kept);
  }
  void rule(const std::u16string& line) {
    const std::u16string text = u"\xFEFF" + line + u"\r\n";
    std::vector<uint8_t> f;
    for (char16_t u : text) f.push_back(static_cast<uint8_t>(u & 0xFF)), f.push_back(static_cast<uint8_t>(u >> 8));
    ASSERT_EQ(highlight_parse(f.data(), f.size(), &kLatin1, &rules), kHighlightFileOk);
  }
  // A chunk recorded: into window x, and into the whole stretch.
  static void chunk(Window* x, const std::string& bytes, uint8_t kind, int64_t t) {
    RecordEntry e = {};
    e.type = kind;
    e.length = static_cast<uint16_t>(bytes.size());
    e.time_us = t;
    e.data = reinterpret_cast<const uint8_t*>(bytes.data());
    ASSERT_EQ(record_window_add(&x->w, e), 0);
    g_clock = t;
    capture_append(&whole, e.data, static_cast<int>(bytes.size()), kind, t);
  }
  static void event(Window* x, uint8_t kind, uint8_t channel, int64_t t) {
    RecordEntry e = {};
    e.type = kRecordEntryEvent;
    e.time_us = t;
    e.event_kind = kind;
    e.event_channel = channel;
    ASSERT_EQ(record_window_add(&x->w, e), 0);
    g_clock = t;
    capture_add_event(&whole, kind, channel, 0, 0);
  }
  // Shown as the recording view shows a window.
  static void show(Window* x) {
    const CaptureSnapshot& s = x->w.snap;
    ASSERT_EQ(capture_load(&x->cap, reinterpret_cast<const uint8_t*>(s.records), s.count, s.times, 0, s.events,
                           s.event_count),
              0);
  }
  // The paint of window x's records first .. its end, '1' coloured, '0' not:
  // the first window with the second read ahead, the second with the first
  // kept, as the view keeps it.
  std::string painted(Window* x, int32_t first = 0) {
    Capture* c = &x->cap;
    const int32_t hi = capture_write_position(c);
    // Each window's end is final (no record will come after it); the second
    // window is the recording's last.
    work.complete = 1;
    if (x == &a) {
      work.before = nullptr;
      work.after = &b.w.snap;
      work.after_last = b.w.snap.count;
      work.edges = kHighlightWindowAfter;
    } else {
      EXPECT_EQ(capture_snapshot_take(&a.cap, &kept), 0);
      work.before = &kept;
      work.after = nullptr;
      work.edges = kHighlightWindowBefore;
    }
    const int32_t lo = highlight_window_start(c->records, hi, first, highlight_longest(&rules));
    highlight_mark(&rules, c->records, c->times, lo, first, hi, c->events, c->event_count, c->base, shape, &work,
                   &marks);
    work.before = work.after = nullptr;
    work.after_last = -1;
    work.complete = 0;
    std::string s;
    for (int32_t i = first; i < hi; i++) s += highlight_rule_at(marks, i) ? '1' : '0';
    return s;
  }
  static std::string painted_of(Window* x) { return static_cast<HighlightEdges*>(current)->painted(x); }
  static HighlightEdges* current;
  // Find's finds of the first rule over the whole stretch.
  int32_t found_whole() {
    static CaptureSnapshot snap;
    EXPECT_EQ(capture_snapshot_allocate(&snap), 0);
    EXPECT_EQ(capture_snapshot_take(&whole, &snap), 0);
    FindQuery q = rules.rules[0].query;
    q.shape[0] = shape[0];
    q.shape[1] = shape[1];
    EXPECT_EQ(find_pass_begin(&pass, q), 0);
    FindList list = {items, 0, 1 << 16, 0};
    find_pass_run(&pass, snap, &list, nullptr, shape);
    find_pass_finish(&pass, &list, nullptr);
    find_pass_end(&pass);
    capture_snapshot_free(&snap);
    return list.n;
  }
};
HighlightRules HighlightEdges::rules;
HighlightWork HighlightEdges::work;
HighlightMarks HighlightEdges::marks;
Window HighlightEdges::a, HighlightEdges::b;
CaptureSnapshot HighlightEdges::kept;
Capture HighlightEdges::whole;
FindPass HighlightEdges::pass;
FindFound HighlightEdges::items[1 << 16];
ModbusMonitorWorker HighlightEdges::worker;
HighlightEdges* HighlightEdges::current = nullptr;

}  // namespace

// The line lost right where one window ends ("..AL", the loss, "ARM.."): the
// loss is the first window's last entry. Find, reading the recording on,
// breaks the match there and finds no ALARM; neither window's paint may
// colour one.
TEST_F(HighlightEdges, ALineEventAtTheEdgeBreaksAMatchTheEdgeCuts) {
  rule(u"FF0000\tT\t*\t*\tALARM");
  chunk(&a, "..AL", kKindRecvCh1, 1000);
  event(&a, kEventLost, 1, 1500);
  chunk(&b, "ARM..", kKindRecvCh1, 2000);
  ASSERT_EQ(a.w.snap.event_count, 1);
  ASSERT_EQ(a.w.snap.events[0].place, a.w.snap.count) << "the loss after the first window's last record";
  show(&a);
  show(&b);
  ASSERT_EQ(found_whole(), 0) << "Find breaks the match at the loss";
  EXPECT_EQ(painted(&a), "0000000") << "the first window colours \"AL\" across the loss";
  EXPECT_EQ(painted(&b), "00000000") << "the second window colours \"ARM\" across the loss";
}

// A match the edge cuts ("A" | "A" on CH1's received stream), with CH2's
// received stream sending a run of "A" at the start of the next window,
// between the two halves: many overlapping matches of CH2 end before CH1's
// match does. Find finds CH1's match; the two windows' paints colour it
// both (its halves within kHighlightEdgeReach of the edge) or neither
// (farther), never one part and not the other.
TEST_F(HighlightEdges, AMatchTheEdgeCutsIsColouredInBothWindowsOrNeitherWhateverEndsBeforeIt) {
  rule(u"FF0000\tT\t*\t*\tAA");
  for (const int chunks : {13, 134}) {  // CH1's second "A" at record 3,939, then at 40,602
    record_window_begin(&a.w);
    record_window_begin(&b.w);
    capture_clear(&whole);
    chunk(&a, "..A", kKindRecvCh1, 1000);  // records 0..2, markers 3..5
    for (int k = 0; k < chunks; k++) chunk(&b, std::string(300, 'A'), kKindRecvCh2, 2000 + k);  // 303 records each
    chunk(&b, "A..", kKindRecvCh1, 3000);
    show(&a);
    show(&b);
    ASSERT_EQ(found_whole(), chunks * 300 - 1 + 1) << "CH2's overlapping matches and CH1's";
    const size_t second_a = static_cast<size_t>(chunks) * 303;
    const char want = chunks == 13 ? '1' : '0';
    EXPECT_EQ(painted(&b)[second_a], want) << "the next window, CH1's second \"A\"";
    EXPECT_EQ(painted(&a)[2], want) << "the first window, CH1's first \"A\"";
  }
}

namespace {

std::string rtu(const std::string& f) {
  const uint16_t crc = crc16_modbus(reinterpret_cast<const uint8_t*>(f.data()), static_cast<int32_t>(f.size()));
  return f + static_cast<char>(crc & 0xFF) + static_cast<char>(crc >> 8);
}
const std::string kRequest = rtu(std::string("\x01\x03\x00\x00\x00\x01", 6));  // 8 bytes
const std::string kAnswer = rtu(std::string("\x01\x03\x02\x00\x2A", 5));       // 7 bytes

// The F rule's query as the view's worker decodes with it.
FindQuery frames_query(const HighlightRules& rules, const LineShape shape[2]) {
  FindQuery q = rules.rules[0].query;
  q.shape[0] = q.modbus.shape[0] = shape[0];
  q.shape[1] = q.modbus.shape[1] = shape[1];
  q.modbus.mode = kModbusRtu;
  return q;
}

}  // namespace

// The slave's last answer, its check wrong, ends the first window; the next
// window, the recording's last, holds only the master's requests that no
// answer follows (the slave gone). Find, reading the recording on, finds the
// bad answer. The first window's paint, its decode reading the whole of the
// next window, knows all that follows: nothing of the answer's stream, to
// the recording's end. It must colour the answer.
TEST_F(HighlightEdges, ABadAnswerEndingAWindowBeforeTheRecordingsShortLastWindowIsColoured) {
  rule(u"FF0000\tF\t*\t*\t");
  std::string bad = kAnswer;
  bad[6] = static_cast<char>(bad[6] ^ 0x55);
  int64_t t = 100000;
  for (int k = 0; k < 3; k++) {
    chunk(&a, kRequest, kKindSentCh1, t += 100000);
    chunk(&a, kAnswer, kKindRecvCh1, t += 20000);
  }
  chunk(&a, kRequest, kKindSentCh1, t += 100000);  // records 63 .. 70
  chunk(&a, bad, kKindRecvCh1, t += 20000);        // records 74 .. 80
  for (int k = 0; k < 3; k++) chunk(&b, kRequest, kKindSentCh1, t += 100000);
  show(&a);
  show(&b);
  const FindQuery q = frames_query(rules, shape);
  // Find over the recording as one stretch: the bad answer.
  int32_t bad_answers = 0;
  for (int32_t f = 0, n = found_whole(); f < n; f++)
    if (items[f].kind == kKindRecvCh1 && items[f].why == kFindBadCheck) bad_answers++;
  ASSERT_EQ(bad_answers, 1) << "Find finds the bad answer";
  // The first window decoded by the worker with the next read ahead.
  const ModbusMonitorAround around = {nullptr, &b.w.snap, 1};
  ASSERT_EQ(modbus_monitor_worker_start(&worker, &a.cap), 0);
  const int32_t count = capture_write_position(&a.cap);
  ASSERT_EQ(count, 84);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((worker.shown.count != count || worker.shown.trail != b.w.snap.count) &&
         std::chrono::steady_clock::now() < deadline) {
    modbus_monitor_worker_poll(&worker, &q.modbus, nullptr, &around);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(worker.shown.trail, b.w.snap.count) << "the decode read the whole next window";
  highlight_frames_use(&work, &worker.shown);
  std::string want(84, '0');
  for (int i = 74; i <= 80; i++) want[static_cast<size_t>(i)] = '1';
  EXPECT_EQ(painted(&a), want) << "the bad answer is coloured by no paint";
}

// The view's timer polls while the worker decodes, the records around the
// window changing between polls (a step on, a read ahead, a seek, a window
// shown whole): each decode reads the records around it asked for, and the
// last, asked without any, reads none.
TEST_F(HighlightEdges, ConcurrencyAroundChangingWhileTheWorkerDecodes) {
  rule(u"FF0000\tF\t*\t*\t");
  int64_t t = 100000;
  for (int k = 0; k < 2000; k++) {
    chunk(&a, kRequest, kKindSentCh1, t += 100000);
    chunk(&a, kAnswer, kKindRecvCh1, t += 20000);
    chunk(&b, kRequest, kKindSentCh1, t += 100000);
  }
  show(&a);
  show(&b);
  ASSERT_EQ(capture_snapshot_take(&a.cap, &kept), 0);
  const FindQuery q = frames_query(rules, shape);
  ASSERT_EQ(modbus_monitor_worker_start(&worker, &b.cap), 0);
  for (int64_t serial = 1; serial <= 300; serial++) {
    const ModbusMonitorAround around = {serial % 3 ? &kept : nullptr, serial % 2 ? &a.w.snap : nullptr, serial};
    modbus_monitor_worker_poll(&worker, &q.modbus, nullptr, &around);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((worker.shown.around != 0 || modbus_monitor_worker_busy(&worker)) && std::chrono::steady_clock::now() < deadline) {
    modbus_monitor_worker_poll(&worker, &q.modbus, nullptr, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(worker.shown.around, 0);
  EXPECT_EQ(worker.shown.lead, 0);
  EXPECT_EQ(worker.shown.trail, 0);
  EXPECT_EQ(worker.shown.frames.n, 2000) << "the window's own requests, nothing of the records once around it";
}

namespace {

// 0x82 is the lead byte of the test code page's double-byte characters.
int lead_82(void*, uint8_t b) { return b == 0x82; }
const AnsiCodec kDouble = {&g_fake_double_byte, fake_encode, lead_82};

}  // namespace

// A long run of characters whose both bytes hold the lead byte's value
// (0x82 0x82, an even count of bytes) fills the first window, longer than
// the look-back; the next begins "AB". Find, reading the stream from its
// start, finds "ab" at the next window's first records. The next window's
// paint, reading the window before from the look-back's limit, must find
// the characters where Find does.
TEST_F(HighlightEdges, AnyCaseTextRightAfterTheEdgeIsColouredAsFindFindsItAfterALongRunOfLeadByteValues) {
  const std::u16string line = u"\xFEFF" u"FF0000\tt\t*\t*\tab\r\n";
  std::vector<uint8_t> f;
  for (char16_t u : line) f.push_back(static_cast<uint8_t>(u & 0xFF)), f.push_back(static_cast<uint8_t>(u >> 8));
  ASSERT_EQ(highlight_parse(f.data(), f.size(), &kDouble, &rules), kHighlightFileOk);
  int64_t t = 1000;
  for (int k = 0; k < 180; k++) chunk(&a, std::string(381, '\x82'), kKindRecvCh1, t += 400000);  // 68,580 bytes
  chunk(&b, "AB", kKindRecvCh1, t += 400000);
  show(&a);
  show(&b);
  ASSERT_GT(capture_write_position(&a.cap), kHighlightLookBack);
  ASSERT_EQ(found_whole(), 1) << "Find finds \"ab\"";
  EXPECT_EQ(painted(&b), "11000") << "the next window's paint reads the run from the look-back's limit";
}

// The screen shows the first window's last rows, CH2's bytes only; the match
// the edge cuts ("AL" | "ARM", CH1) lies above it. The rules' dialog counts
// the matches with a record on the screen: none.
TEST_F(HighlightEdges, AMatchTheEdgeCutsAboveTheScreenIsNotCountedOnIt) {
  rule(u"FF0000\tT\t*\t*\tALARM");
  chunk(&a, "..AL", kKindRecvCh1, 1000);  // records 0 .. 3, its markers 4 .. 6
  chunk(&a, "zzzz", kKindRecvCh2, 1500);  // records 7 .. 10: the screen's first
  chunk(&b, "ARM..", kKindRecvCh1, 2000);
  show(&a);
  show(&b);
  work.shown_hi = capture_write_position(&a.cap);
  EXPECT_EQ(painted(&a, 0), "00110000000000") << "the match is coloured";
  EXPECT_EQ(marks.matches[0], 1);
  painted(&a, 7);
  EXPECT_EQ(marks.matches[0], 0) << "counted on a screen that shows none of it";
}

// The line lost right where one window ends: the loss is that window's last
// entry. Find, reading the recording a window at a time, finds it at the
// chunk it follows, the first window's last; that window's paint must
// colour it there (no record of that window will ever come after it).
TEST_F(HighlightEdges, ALineEventEndingAWindowIsColouredWhereFindFindsIt) {
  rule(u"FF0000\tE\t*\t*\tlost");
  chunk(&a, "..AL", kKindRecvCh1, 1000);
  event(&a, kEventLost, 1, 1500);
  chunk(&b, "ARM..", kKindRecvCh1, 2000);
  show(&a);
  show(&b);
  // Find over the first window, as it reads a recording.
  FindQuery q = rules.rules[0].query;
  ASSERT_EQ(find_pass_begin(&pass, q), 0);
  FindList list = {items, 0, 1 << 16, 0};
  find_pass_run(&pass, a.w.snap, &list, nullptr, shape);
  find_pass_end(&pass);
  ASSERT_EQ(list.n, 1);
  std::string want(7, '0');
  for (int32_t i = items[0].first; i <= items[0].last; i++) want[static_cast<size_t>(i)] = '1';
  ASSERT_EQ(want, "0001000") << "Find: the chunk the loss follows";
  EXPECT_EQ(painted(&a), want) << "the first window's paint";
  EXPECT_EQ(painted(&b), "00000000") << "the next window's paint";
}

namespace {

// Find's bad frames over the two windows in order, as it reads a recording:
// each window's records marked '1' where a find of it lies.
std::vector<std::string> frames_found(const FindQuery& q, const LineShape shape[2], FindPass* pass,
                                      FindFound* items, const CaptureSnapshot* windows[2]) {
  std::vector<std::string> out;
  EXPECT_EQ(find_pass_begin(pass, q), 0);
  for (int w = 0; w < 2; w++) {
    if (w) find_pass_next_stretch(pass);
    FindList list = {items, 0, 1 << 16, 0};
    find_pass_run(pass, *windows[w], &list, nullptr, shape);
    if (w == 1) find_pass_finish(pass, &list, nullptr);
    std::string s(static_cast<size_t>(windows[w]->count), '0');
    for (int32_t f = 0; f < list.n; f++)
      for (int32_t i = items[f].first < 0 ? 0 : items[f].first; i <= items[f].last && i < windows[w]->count; i++)
        if (windows[w]->records[i].kind == items[f].kind) s[static_cast<size_t>(i)] = '1';
    out.push_back(s);
  }
  find_pass_end(pass);
  return out;
}

}  // namespace

// Each window's paint, its decode reading the other window, against Find
// reading the recording on (windows a then b).
void frames_as_find(const FindQuery& q, int32_t cut_from = -1) {
  const CaptureSnapshot* windows[2] = {&HighlightEdges::a.w.snap, &HighlightEdges::b.w.snap};
  LineShape shape[2] = {{9600, 100}, {9600, 100}};
  std::vector<std::string> want = frames_found(q, shape, &HighlightEdges::pass, HighlightEdges::items, windows);
  // A frame the edge cuts is found where it ends; its records before the
  // edge (from cut_from) are coloured in the first window too.
  if (cut_from >= 0)
    for (size_t i = static_cast<size_t>(cut_from); i < want[0].size(); i++)
      if (windows[0]->records[i].kind >= kKindRecvCh1 && windows[0]->records[i].kind <= kKindSentCh2) want[0][i] = '1';
  ASSERT_EQ(capture_snapshot_take(&HighlightEdges::a.cap, &HighlightEdges::kept), 0);
  const ModbusMonitorAround ahead = {nullptr, &HighlightEdges::b.w.snap, 1}, behind = {&HighlightEdges::kept, nullptr, 2};
  Window* shown[2] = {&HighlightEdges::a, &HighlightEdges::b};
  const ModbusMonitorAround* around[2] = {&ahead, &behind};
  ModbusMonitorWorker& worker = HighlightEdges::worker;
  for (int w = 0; w < 2; w++) {
    modbus_monitor_worker_stop(&worker);
    ASSERT_EQ(modbus_monitor_worker_start(&worker, &shown[w]->cap), 0);
    const int32_t count = capture_write_position(&shown[w]->cap);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((worker.shown.count != count || worker.shown.around != around[w]->serial) &&
           std::chrono::steady_clock::now() < deadline) {
      modbus_monitor_worker_poll(&worker, &q.modbus, nullptr, around[w]);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(worker.shown.around, around[w]->serial);
    highlight_frames_use(&HighlightEdges::work, &worker.shown);
    EXPECT_EQ(HighlightEdges::painted_of(shown[w]), want[static_cast<size_t>(w)]) << "window " << w + 1;
  }
}


// The master's last request, its LRC wrong, cut by the edge (ASCII): the
// next window, the recording's last, holds its rest and an answer. Find
// finds it; the next window's paint colours its part; the first window's
// paint, its decode reading the whole next window, must colour the rest
// (never one part and not the other).
TEST_F(HighlightEdges, ACutBadFrameTheLastOfItsStreamIsColouredInBothWindows) {
  rule(u"FF0000\tF\t*\t*\t");
  int64_t t = 100000;
  chunk(&a, ":010300000001FB\r\n", kKindSentCh1, t += 100000);
  chunk(&a, ":0103020000FA\r\n", kKindRecvCh1, t += 20000);
  const int32_t cut = a.w.snap.count;
  chunk(&a, ":01030000", kKindSentCh1, t += 100000);
  chunk(&b, "0001FC\r\n", kKindSentCh1, t += 1000);
  chunk(&b, ":0103020000FA\r\n", kKindRecvCh1, t += 20000);
  show(&a);
  show(&b);
  FindQuery q = frames_query(rules, shape);
  q.modbus.mode = kModbusAscii;
  frames_as_find(q, cut);
}
