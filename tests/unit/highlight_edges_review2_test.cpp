// The highlight rules' colouring at a recording's window edges, second
// round: each window's paint (its decode reading the records around it, the
// window before kept whole, the next read ahead) against Find reading the
// recording on. Windows are laid out as the reader lays them out
// (record_window_add) and shown through a capture as the view shows them.
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

struct Window {
  RecordWindow w;
  Capture cap;
};

std::string rtu(const std::string& f) {
  const uint16_t crc = crc16_modbus(reinterpret_cast<const uint8_t*>(f.data()), static_cast<int32_t>(f.size()));
  return f + static_cast<char>(crc & 0xFF) + static_cast<char>(crc >> 8);
}
const std::string kRequest = rtu(std::string("\x01\x03\x00\x00\x00\x01", 6));  // 8 bytes
const std::string kAnswer = rtu(std::string("\x01\x03\x02\x00\x2A", 5));       // 7 bytes
std::string bad_answer() {
  std::string bad = kAnswer;
  bad[6] = static_cast<char>(bad[6] ^ 0x55);
  return bad;
}

struct HighlightEdges2 : ::testing::Test {
  static HighlightRules rules;
  static HighlightWork work;
  static HighlightMarks marks;
  static Window a, b;
  static CaptureSnapshot kept;
  static Capture whole;  // the same entries as one stretch, for Find
  static FindPass pass;
  static FindFound items[1 << 16];
  static ModbusMonitorWorker worker;
  LineShape shape[2] = {{9600, 100}, {9600, 100}};
  int64_t t = 100000;

  void SetUp() override {
    for (Window* x : {&a, &b}) {
      ASSERT_EQ(capture_snapshot_allocate(&x->w.snap), 0);
      record_window_begin(&x->w);
      x->cap.micros = test_micros;
      ASSERT_EQ(capture_allocate(&x->cap), 0);
      capture_clear(&x->cap);
    }
    ASSERT_EQ(capture_snapshot_allocate(&kept), 0);
    whole.micros = test_micros;
    ASSERT_EQ(capture_allocate(&whole), 0);
    capture_clear(&whole);
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
    capture_snapshot_free(&kept);
    capture_free(&whole);
  }
  void rule(const std::u16string& line, const AnsiCodec* codec = &kLatin1) {
    const std::u16string text = u"\xFEFF" + line + u"\r\n";
    std::vector<uint8_t> f;
    for (char16_t u : text) f.push_back(static_cast<uint8_t>(u & 0xFF)), f.push_back(static_cast<uint8_t>(u >> 8));
    ASSERT_EQ(highlight_parse(f.data(), f.size(), codec, &rules), kHighlightFileOk);
  }
  void chunk(Window* x, const std::string& bytes, uint8_t kind, int64_t gap_us) {
    t += gap_us;
    RecordEntry e = {};
    e.type = kind;
    e.length = static_cast<uint16_t>(bytes.size());
    e.time_us = t;
    e.data = reinterpret_cast<const uint8_t*>(bytes.data());
    ASSERT_EQ(record_window_add(&x->w, e), 0);
    g_clock = t;
    capture_append(&whole, e.data, static_cast<int>(bytes.size()), kind, t);
  }
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
  // The byte rules' paint of window x's records first .. its end, as the
  // view paints it (its look-back with the rules' lead bytes): the first
  // window with the second read ahead, the second with the first kept.
  std::string painted_bytes(Window* x, int32_t first) {
    Capture* c = &x->cap;
    const int32_t hi = capture_write_position(c);
    work.complete = 1;
    if (x == &a) {
      work.after = &b.w.snap;
      work.after_last = b.w.snap.count;
      work.edges = kHighlightWindowAfter;
    } else {
      EXPECT_EQ(capture_snapshot_take(&a.cap, &kept), 0);
      work.before = &kept;
      work.edges = kHighlightWindowBefore;
    }
    const int32_t lo =
        highlight_window_start(c->records, hi, first, highlight_longest(&rules), highlight_lead(&rules), work.before);
    highlight_mark(&rules, c->records, c->times, lo, first, hi, c->events, c->event_count, c->base, shape, &work,
                   &marks);
    work.before = work.after = nullptr;
    work.after_last = -1;
    work.complete = 0;
    std::string s;
    for (int32_t i = first; i < hi; i++) s += highlight_rule_at(marks, i) ? '1' : '0';
    return s;
  }
  // A master and slave talking on CH2 (good requests and answers).
  void ch2_pairs(Window* x, int n) {
    for (int k = 0; k < n; k++) {
      chunk(x, kRequest, kKindSentCh2, 100000);
      chunk(x, kAnswer, kKindRecvCh2, 20000);
    }
  }
  static void show(Window* x) {
    const CaptureSnapshot& s = x->w.snap;
    ASSERT_EQ(capture_load(&x->cap, reinterpret_cast<const uint8_t*>(s.records), s.count, s.times, 0, s.events,
                           s.event_count),
              0);
  }
  FindQuery frames_query() {
    FindQuery q = rules.rules[0].query;
    q.shape[0] = q.modbus.shape[0] = shape[0];
    q.shape[1] = q.modbus.shape[1] = shape[1];
    q.modbus.mode = kModbusRtu;
    return q;
  }
  // Find's bad frames over the two windows in order, as it reads a
  // recording: each window's records '1' where a find of it lies. A frame
  // the second window's pass told wholly within the first (its records -1,
  // placed in the window before) is kept in `told_before`.
  std::vector<FindFound> told_before;
  std::vector<std::string> found(const FindQuery& q) {
    const CaptureSnapshot* windows[2] = {&a.w.snap, &b.w.snap};
    std::vector<std::string> out;
    EXPECT_EQ(find_pass_begin(&pass, q), 0);
    for (int w = 0; w < 2; w++) {
      if (w) find_pass_next_stretch(&pass);
      FindList list = {items, 0, 1 << 16, 0};
      find_pass_run(&pass, *windows[w], &list, nullptr, shape);
      if (w == 1) find_pass_finish(&pass, &list, nullptr);
      std::string s(static_cast<size_t>(windows[w]->count), '0');
      for (int32_t f = 0; f < list.n; f++)
        if (w == 1 && items[f].first < 0 && items[f].last < 0) told_before.push_back(items[f]);
      for (int32_t f = 0; f < list.n; f++)
        for (int32_t i = items[f].first < 0 ? 0 : items[f].first; i <= items[f].last && i < windows[w]->count; i++)
          if (windows[w]->records[i].kind == items[f].kind) s[static_cast<size_t>(i)] = '1';
      out.push_back(s);
    }
    find_pass_end(&pass);
    return out;
  }
  // Window x's paint, whole, its decode made by the view's worker with the
  // records around it: the first window with the second (the recording's
  // last) read ahead, the second with the first kept.
  std::string painted(Window* x, const FindQuery& q) {
    modbus_monitor_worker_stop(&worker);
    EXPECT_EQ(modbus_monitor_worker_start(&worker, &x->cap), 0);
    EXPECT_EQ(capture_snapshot_take(&a.cap, &kept), 0);
    const ModbusMonitorAround around = x == &a ? ModbusMonitorAround{nullptr, &b.w.snap, 1}
                                               : ModbusMonitorAround{&kept, nullptr, 2};
    const int32_t hi = capture_write_position(&x->cap);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((worker.shown.count != hi || worker.shown.around != around.serial) &&
           std::chrono::steady_clock::now() < deadline) {
      modbus_monitor_worker_poll(&worker, &q.modbus, nullptr, &around);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(worker.shown.around, around.serial);
    highlight_frames_use(&work, &worker.shown);
    work.complete = 1;
    work.before = x == &a ? nullptr : &kept;
    work.after = x == &a ? &b.w.snap : nullptr;
    work.after_last = x == &a ? b.w.snap.count : -1;
    work.edges = x == &a ? kHighlightWindowAfter : kHighlightWindowBefore;
    const Capture* c = &x->cap;
    highlight_mark(&rules, c->records, c->times, 0, 0, hi, c->events, c->event_count, c->base, shape, &work, &marks);
    work.before = work.after = nullptr;
    work.after_last = -1;
    work.complete = 0;
    std::string s;
    for (int32_t i = 0; i < hi; i++) s += highlight_rule_at(marks, i) ? '1' : '0';
    return s;
  }
};
HighlightRules HighlightEdges2::rules;
HighlightWork HighlightEdges2::work;
HighlightMarks HighlightEdges2::marks;
Window HighlightEdges2::a, HighlightEdges2::b;
CaptureSnapshot HighlightEdges2::kept;
Capture HighlightEdges2::whole;
FindPass HighlightEdges2::pass;
FindFound HighlightEdges2::items[1 << 16];
ModbusMonitorWorker HighlightEdges2::worker;

}  // namespace

// CH1's slave, after a long quiet (the window before ends with more than the
// decode's lead of CH2's traffic, then CH1's request), answers with its check
// wrong, the next window's first entry. The decode of that window read the
// lead and saw no byte of CH1's received stream in it: the answer is no rest
// of a frame begun before the edge. Find finds it; no paint of the first
// window can colour it, so the second's must.
TEST_F(HighlightEdges2, ABadFrameFirstOfItsStreamRightAfterTheEdgeIsColouredWhenTheLeadHeldNoneOfIt) {
  rule(u"FF0000\tF\t*\t*\t");
  ch2_pairs(&a, 3200);  // 67,200 records
  chunk(&a, kRequest, kKindSentCh1, 100000);
  chunk(&b, bad_answer(), kKindRecvCh1, 20000);  // records 0 .. 6
  chunk(&b, kRequest, kKindSentCh1, 100000);
  chunk(&b, kAnswer, kKindRecvCh1, 20000);
  show(&a);
  show(&b);
  ASSERT_GT(capture_write_position(&a.cap), kModbusMonitorAround);
  const FindQuery q = frames_query();
  const std::vector<std::string> want = found(q);
  ASSERT_EQ(want[1].substr(0, 7), "1111111") << "Find finds the bad answer";
  EXPECT_EQ(painted(&b, q), want[1]) << "the second window's paint";
}

// The mirror at the next edge: the first window ends with CH1's answer, its
// check wrong; the next window, the recording's last, is longer than the
// decode reads ahead and holds CH2's traffic only. The decode read the
// records after the answer as far as it reads and none was CH1's: nothing
// can run on from the answer. Find finds it; only the first window's paint
// can colour it.
TEST_F(HighlightEdges2, ABadFrameEndingAWindowIsColouredWhenTheNextIsTheRecordingsLastAndLongerThanTheTrail) {
  rule(u"FF0000\tF\t*\t*\t");
  chunk(&a, kRequest, kKindSentCh1, 100000);  // records 0 .. 7, markers 8 .. 10
  chunk(&a, kAnswer, kKindRecvCh1, 20000);    // 11 .. 17, 18 .. 20
  chunk(&a, kRequest, kKindSentCh1, 100000);  // 21 .. 28, 29 .. 31
  chunk(&a, bad_answer(), kKindRecvCh1, 20000);  // 32 .. 38, 39 .. 41
  ch2_pairs(&b, 3200);                        // 67,200 records
  show(&a);
  show(&b);
  ASSERT_GT(b.w.snap.count, kModbusMonitorAround);
  const FindQuery q = frames_query();
  const std::vector<std::string> want = found(q);
  ASSERT_EQ(want[0], std::string(42, '0'));
  ASSERT_EQ(told_before.size(), 1u);
  ASSERT_EQ(told_before[0].kind, kKindRecvCh1);
  ASSERT_EQ(told_before[0].why, kFindBadCheck) << "Find finds the bad answer, placed in the first window";
  EXPECT_EQ(painted(&a, q), std::string(32, '0') + "1111111000") << "the first window's paint";
}

namespace {

// 0x82 is the lead byte of the test code page's double-byte characters.
int lead_82(void*, uint8_t b) { return b == 0x82; }
const AnsiCodec kDouble = {&g_fake_double_byte, fake_encode, lead_82};

}  // namespace

// CH1's stream ends the first window on a lead byte's value; the next window
// begins with CH2's chunks, then CH1's 0x82 (the trail of that character)
// and "AB". Find, reading the stream on, finds "ab" there. The screen
// scrolled to CH1's chunk must colour it as one showing the window from
// its top does: the character begun before the edge is the window before's.
TEST_F(HighlightEdges2, AnyCaseTextAfterACharacterTheEdgeCutsIsColouredWhereverTheScreenBegins) {
  rule(u"FF0000\tt\t*\t*\tab", &kDouble);
  chunk(&a, "x\x82", kKindRecvCh1, 1000);
  chunk(&b, "zz", kKindRecvCh2, 400000);         // records 0, 1; markers 2 .. 4
  chunk(&b, "zz", kKindRecvCh2, 400000);         // 5, 6; 7 .. 9
  chunk(&b, "\x82" "AB", kKindRecvCh1, 400000);  // 10 .. 12; 13 .. 15
  show(&a);
  show(&b);
  ASSERT_EQ(found_whole(), 1) << "Find finds \"ab\"";
  ASSERT_EQ(painted_bytes(&b, 0), "0000000000011000") << "the window from its top";
  EXPECT_EQ(painted_bytes(&b, 11), "11000") << "the screen from CH1's \"A\"";
}

// The view's timer polls the worker with the records around the window shown
// (the first, the second read ahead), then the user steps on: the second is
// loaded into the same capture before the worker has taken its records. A
// decode stamped with the second window's generation must have read the
// records around the second, never the first's: the view colours the
// second by any decode of its generation, and this one would have the
// second window followed by itself.
TEST_F(HighlightEdges2, ADecodeOfTheWindowSteppedOnToNeverCarriesTheRecordsAroundTheOneBefore) {
  rule(u"FF0000\tF\t*\t*\t");
  ch2_pairs(&a, 300);
  ch2_pairs(&b, 300);
  const FindQuery q = frames_query();
  Capture* view = &a.cap;  // the capture the recording view shows its windows through
  ASSERT_EQ(modbus_monitor_worker_start(&worker, view), 0);
  int seen = 0;
  for (int attempt = 0; attempt < 40 && !seen; attempt++) {
    show(&a);
    const uint32_t first_generation = capture_place(view).generation;
    const ModbusMonitorAround ahead = {nullptr, &b.w.snap, 2 * attempt + 1};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (modbus_monitor_worker_busy(&worker) && std::chrono::steady_clock::now() < deadline) {
      modbus_monitor_worker_poll(&worker, &q.modbus, view, nullptr);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    modbus_monitor_worker_poll(&worker, &q.modbus, view, &ahead);
    // The step on: the second window loaded where the first was shown.
    const CaptureSnapshot& s = b.w.snap;
    ASSERT_EQ(capture_load(view, reinterpret_cast<const uint8_t*>(s.records), s.count, s.times, 0, s.events,
                           s.event_count),
              0);
    const uint32_t second_generation = capture_place(view).generation;
    ASSERT_NE(first_generation, second_generation);
    // The view's timer goes on with the second window's own records around
    // (none here: a recording of two windows), under a serial of their own.
    const ModbusMonitorAround own = {nullptr, nullptr, 2 * attempt + 2};
    deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (worker.shown.around != own.serial && std::chrono::steady_clock::now() < deadline) {
      if (modbus_monitor_worker_poll(&worker, &q.modbus, view, &own) && worker.shown.generation == second_generation &&
          (worker.shown.lead || worker.shown.trail))
        seen = attempt + 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(worker.shown.around, own.serial);
  }
  EXPECT_EQ(seen, 0) << "a decode of the second window's generation read the first window's records around";
}
