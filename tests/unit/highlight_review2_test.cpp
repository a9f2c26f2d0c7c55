// The highlight rules' colouring measured against what Find finds on the same
// capture: bad Modbus frame rules by the decode the window's worker makes
// (read at paint time), a recording's windows, double-byte look-backs and
// large screens.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "codec/checksum.h"
#include "codec/convert.h"
#include "fake_codec.h"
#include "modbus/modbus_monitor.h"
#include "view/highlight.h"

namespace {

const AnsiCodec kLatin1 = {nullptr, fake_encode, nullptr};

int64_t g_clock = 0;
int64_t test_micros() { return g_clock; }

std::string rtu(const std::string& f) {
  const uint16_t crc = crc16_modbus(reinterpret_cast<const uint8_t*>(f.data()), static_cast<int32_t>(f.size()));
  return f + static_cast<char>(crc & 0xFF) + static_cast<char>(crc >> 8);
}
const std::string kRequest = rtu(std::string("\x01\x03\x00\x00\x00\x01", 6));  // 8 bytes
const std::string kAnswer = rtu(std::string("\x01\x03\x02\x00\x2A", 5));       // 7 bytes
// One character at 9600 baud, 10 bits.
constexpr int64_t kCharUs = 1042;

struct HighlightFrames : ::testing::Test {
  static HighlightRules rules;
  static HighlightWork work;
  static HighlightMarks marks;
  static CaptureSnapshot snap;
  static FindPass pass;
  static FindFound items[1 << 14];
  static ModbusMonitorWorker worker;
  Capture cap;
  LineShape shape[2] = {{9600, 100}, {9600, 100}};
  FindQuery q = {};

  void SetUp() override {
    cap.micros = test_micros;
    ASSERT_EQ(capture_allocate(&cap), 0);
    capture_clear(&cap);
    const char16_t text[] = u"\xFEFF" u"FF0000\tF\t*\t*\t\r\n";
    std::vector<uint8_t> f;
    for (const char16_t* u = text; *u; u++) f.push_back(static_cast<uint8_t>(*u & 0xFF)), f.push_back(static_cast<uint8_t>(*u >> 8));
    ASSERT_EQ(highlight_parse(f.data(), f.size(), &kLatin1, &rules), kHighlightFileOk);
    q = rules.rules[0].query;
    q.shape[0] = shape[0];
    q.shape[1] = shape[1];
    q.modbus.mode = kModbusRtu;
    q.modbus.shape[0] = shape[0];
    q.modbus.shape[1] = shape[1];
    work.before = work.after = nullptr;
    work.edges = 0;
  }
  void TearDown() override {
    highlight_frames_use(&work, nullptr);
    work.before = work.after = nullptr;
    work.edges = 0;
    modbus_monitor_worker_stop(&worker);
    capture_free(&cap);
  }
  static void put(Capture* c, const std::string& bytes, uint8_t kind, int64_t t) {
    g_clock = t;
    capture_append(c, reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()), kind, t);
  }
  void put(const std::string& bytes, uint8_t kind, int64_t t) { put(&cap, bytes, kind, t); }
  // The worker's decode of `c` as it stands, as the window's timer takes it.
  // `around`: a recording window's neighbours, decoded with it.
  void decode(Capture* c, const ModbusMonitorAround* around = nullptr) {
    modbus_monitor_worker_stop(&worker);
    ASSERT_EQ(modbus_monitor_worker_start(&worker, c), 0);
    const int32_t count = capture_write_position(c);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (worker.shown.count != count && std::chrono::steady_clock::now() < deadline) {
      modbus_monitor_worker_poll(&worker, &q.modbus, nullptr, around);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(worker.shown.count, count);
    highlight_frames_use(&work, &worker.shown);
  }
  // Find's bad frames over the windows in order (one: a capture), each
  // record's mark ('1' bad, '0' not) per window.
  std::vector<std::string> found_by_find(const std::vector<Capture*>& windows) {
    std::vector<std::string> out;
    EXPECT_EQ(capture_snapshot_allocate(&snap), 0);
    EXPECT_EQ(find_pass_begin(&pass, q), 0);
    for (size_t w = 0; w < windows.size(); w++) {
      EXPECT_EQ(capture_snapshot_take(windows[w], &snap), 0);
      if (w) find_pass_next_stretch(&pass);
      FindList list = {items, 0, 1 << 14, 0};
      find_pass_run(&pass, snap, &list, nullptr, shape);
      if (w + 1 == windows.size()) find_pass_finish(&pass, &list, nullptr);
      std::string s(static_cast<size_t>(snap.count), '0');
      for (int32_t f = 0; f < list.n; f++)
        for (int32_t i = items[f].first < 0 ? 0 : items[f].first; i >= 0 && i <= items[f].last && i < snap.count; i++)
          if (snap.records[i].kind == items[f].kind) s[static_cast<size_t>(i)] = '1';
      out.push_back(s);
    }
    find_pass_end(&pass);
    capture_snapshot_free(&snap);
    return out;
  }
  // The paint's colouring of records first .. hi - 1 of `c`, as '1' / '0'.
  std::string painted(Capture* c, int32_t first, int32_t hi) {
    const int32_t lo = highlight_window_start(c->records, hi, first, highlight_longest(&rules));
    highlight_mark(&rules, c->records, c->times, lo, first, hi, c->events, c->event_count, c->base, shape, &work,
                   &marks);
    std::string s;
    for (int32_t i = first; i < hi; i++) s += highlight_rule_at(marks, i) ? '1' : '0';
    return s;
  }
};
HighlightRules HighlightFrames::rules;
HighlightWork HighlightFrames::work;
HighlightMarks HighlightFrames::marks;
CaptureSnapshot HighlightFrames::snap;
FindPass HighlightFrames::pass;
FindFound HighlightFrames::items[1 << 14];
ModbusMonitorWorker HighlightFrames::worker;

}  // namespace

// A good request arrives in two chunks and the worker's decode lands
// between them: until the next decode, the paint must not colour the
// request's first chunk as a bad frame that Find on the same capture does
// not find (nor colour a frame in part).
TEST_F(HighlightFrames, AGoodFrameCompletedAfterTheDecodeIsNotColouredBad) {
  int64_t t = 100000;
  put(kRequest, kKindSentCh1, t);
  put(kAnswer, kKindRecvCh1, t += 20000);
  put(kRequest.substr(0, 4), kKindSentCh1, t += 100000);  // the decode is made here
  decode(&cap);
  put(kRequest.substr(4), kKindSentCh1, t += 4 * kCharUs + 100);  // the rest, no silence between
  put(kAnswer, kKindRecvCh1, t += 20000);
  const int32_t count = capture_write_position(&cap);
  const std::string want = found_by_find({&cap})[0];
  ASSERT_EQ(want, std::string(static_cast<size_t>(count), '0')) << "Find finds no bad frame";
  EXPECT_EQ(painted(&cap, 0, count), want);
}

// A recording is shown a window at a time and Find reads it on across its
// windows. A request the window edge cuts in two (its chunks in two
// windows) is a good frame to Find: neither window's paint colours its
// part as a bad frame.
TEST_F(HighlightFrames, ARequestCutByARecordingWindowsEdgeIsNotColouredBad) {
  static Capture next;
  next.micros = test_micros;
  ASSERT_EQ(capture_allocate(&next), 0);
  capture_clear(&next);
  int64_t t = 100000;
  put(kRequest, kKindSentCh1, t);
  put(kAnswer, kKindRecvCh1, t += 20000);
  put(kRequest.substr(0, 4), kKindSentCh1, t += 100000);  // the end of one window
  put(&next, kRequest.substr(4), kKindSentCh1, t += 4 * kCharUs + 100);  // the next window
  put(&next, kAnswer, kKindRecvCh1, t += 20000);
  put(&next, kRequest, kKindSentCh1, t += 100000);
  put(&next, kAnswer, kKindRecvCh1, t += 20000);
  const std::vector<std::string> want = found_by_find({&cap, &next});
  ASSERT_EQ(want[0], std::string(want[0].size(), '0')) << "Find finds no bad frame";
  ASSERT_EQ(want[1], std::string(want[1].size(), '0')) << "Find finds no bad frame";
  static CaptureSnapshot before, after;
  ASSERT_EQ(capture_snapshot_allocate(&before), 0);
  ASSERT_EQ(capture_snapshot_take(&cap, &before), 0);
  ASSERT_EQ(capture_snapshot_allocate(&after), 0);
  ASSERT_EQ(capture_snapshot_take(&next, &after), 0);
  // The first window's paint, by the decode of that window, a window after
  // it: by itself, then with the next window read ahead.
  decode(&cap);
  work.edges = kHighlightWindowAfter;
  EXPECT_EQ(painted(&cap, 0, capture_write_position(&cap)), want[0]) << "the window before the edge";
  const ModbusMonitorAround ahead = {nullptr, &after, 1};
  decode(&cap, &ahead);
  work.after = &after;
  EXPECT_EQ(painted(&cap, 0, capture_write_position(&cap)), want[0]) << "the window before the edge, read ahead";
  work.after = nullptr;
  // The next window's paint, read on from the one before, by its decode.
  const ModbusMonitorAround behind = {&before, nullptr, 2};
  decode(&next, &behind);
  work.before = &before;
  work.edges = kHighlightWindowBefore;  // the recording's last window
  EXPECT_EQ(painted(&next, 0, capture_write_position(&next)), want[1]) << "the window after the edge";
  work.before = nullptr;
  work.edges = 0;
  capture_snapshot_free(&before);
  capture_snapshot_free(&after);
  capture_free(&next);
}

// A window of a recording ends at the first quiet moment near its end: a
// request the slave never answered, then the master's timeout. Find, reading
// the recording on, finds the request unanswered (the next window begins
// with the next request); the paint of the window that holds it, with the
// next window read ahead, colours it.
TEST_F(HighlightFrames, AnUnansweredRequestAtARecordingWindowsEndIsColoured) {
  static Capture next;
  next.micros = test_micros;
  ASSERT_EQ(capture_allocate(&next), 0);
  capture_clear(&next);
  int64_t t = 100000;
  put(kRequest, kKindSentCh1, t);
  put(kAnswer, kKindRecvCh1, t += 20000);
  put(kRequest, kKindSentCh1, t += 100000);  // no answer: the window ends after it
  put(&next, kRequest, kKindSentCh1, t += 1000000);  // the next window: the poll after the timeout
  put(&next, kAnswer, kKindRecvCh1, t += 20000);
  // Find over the two windows: the request, told in the second, begun in the first.
  ASSERT_EQ(capture_snapshot_allocate(&snap), 0);
  ASSERT_EQ(find_pass_begin(&pass, q), 0);
  ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
  FindList list = {items, 0, 1 << 14, 0};
  find_pass_run(&pass, snap, &list, nullptr, shape);
  EXPECT_EQ(list.n, 0);
  find_pass_next_stretch(&pass);
  ASSERT_EQ(capture_snapshot_take(&next, &snap), 0);
  find_pass_run(&pass, snap, &list, nullptr, shape);
  find_pass_finish(&pass, &list, nullptr);
  find_pass_end(&pass);
  capture_snapshot_free(&snap);
  ASSERT_EQ(list.n, 1);
  ASSERT_EQ(items[0].why, kFindBadNoAnswer);
  ASSERT_EQ(items[0].first, -1) << "begun in the window before";
  const int32_t count = capture_write_position(&cap);
  std::string want(static_cast<size_t>(count), '0');
  for (int32_t i = count - 11; i < count - 3; i++) want[static_cast<size_t>(i)] = '1';  // the request's 8 bytes
  static CaptureSnapshot after;
  ASSERT_EQ(capture_snapshot_allocate(&after), 0);
  ASSERT_EQ(capture_snapshot_take(&next, &after), 0);
  const ModbusMonitorAround around = {nullptr, &after, 1};
  decode(&cap, &around);
  work.edges = kHighlightWindowAfter;
  EXPECT_EQ(painted(&cap, 0, count), want);
  // Decoded without what follows, it is waiting: coloured by no paint.
  decode(&cap);
  EXPECT_EQ(painted(&cap, 0, count), std::string(static_cast<size_t>(count), '0'));
  capture_snapshot_free(&after);
  capture_free(&next);
}

// A request whose CRC is wrong, cut in two by the edge between two windows:
// Find finds it a bad frame; each window's paint, decoding the window with
// its neighbours, colours its part of it, and nothing else.
TEST_F(HighlightFrames, ABadFrameCutByARecordingWindowsEdgeIsColouredInBothWindows) {
  static Capture next;
  next.micros = test_micros;
  ASSERT_EQ(capture_allocate(&next), 0);
  capture_clear(&next);
  std::string bad = kRequest;
  bad[7] = static_cast<char>(bad[7] ^ 0x55);
  int64_t t = 100000;
  put(kRequest, kKindSentCh1, t);
  put(kAnswer, kKindRecvCh1, t += 20000);
  put(bad.substr(0, 5), kKindSentCh1, t += 100000);  // the end of one window
  put(&next, bad.substr(5), kKindSentCh1, t += 5 * kCharUs + 100);  // the next window, no silence between
  put(&next, kRequest, kKindSentCh1, t += 100000);
  put(&next, kAnswer, kKindRecvCh1, t += 20000);
  // Find, reading on, finds it where it ends: begun in the window before.
  std::vector<std::string> want = found_by_find({&cap, &next});
  ASSERT_EQ(want[0], std::string(want[0].size(), '0'));
  ASSERT_EQ(want[1].substr(0, 4), "1110") << "Find: the rest of it";
  for (size_t i = want[0].size() - 8; i < want[0].size() - 3; i++) want[0][i] = '1';  // its first five bytes
  static CaptureSnapshot before, after;
  ASSERT_EQ(capture_snapshot_allocate(&before), 0);
  ASSERT_EQ(capture_snapshot_take(&cap, &before), 0);
  ASSERT_EQ(capture_snapshot_allocate(&after), 0);
  ASSERT_EQ(capture_snapshot_take(&next, &after), 0);
  const ModbusMonitorAround ahead = {nullptr, &after, 1}, behind = {&before, nullptr, 2};
  decode(&cap, &ahead);
  work.edges = kHighlightWindowAfter;
  EXPECT_EQ(painted(&cap, 0, capture_write_position(&cap)), want[0]) << "the window before the edge";
  decode(&next, &behind);
  work.edges = kHighlightWindowBefore;
  work.before = &before;
  EXPECT_EQ(painted(&next, 0, capture_write_position(&next)), want[1]) << "the window after the edge";
  capture_snapshot_free(&before);
  capture_snapshot_free(&after);
  capture_free(&next);
}

// CH1 pours out bytes no frame can start with (a device's noise, one NOT
// MODBUS entry) while CH2 polls its slave many times: every paint of the
// noise colours it, wherever the paint begins, as Find finds it.
TEST_F(HighlightFrames, ALongBadEntryIsColouredWhereverThePaintBegins) {
  int64_t t = 100000;
  for (int k = 0; k < 100; k++, t += 40 * kCharUs) {  // the noise runs on without a silence
    put(kRequest, kKindSentCh2, t + 8 * kCharUs);
    put(kAnswer, kKindRecvCh2, t + 8 * kCharUs + 5000 + 7 * kCharUs);
    put(std::string(20, '\xFF'), kKindRecvCh1, t + 20 * kCharUs);
    put(std::string(20, '\xFF'), kKindRecvCh1, t + 40 * kCharUs);
  }
  const int32_t count = capture_write_position(&cap);
  const std::string want = found_by_find({&cap})[0];
  int32_t noise = 0;
  for (int32_t i = 0; i < count; i++) noise += want[static_cast<size_t>(i)] == '1';
  ASSERT_EQ(noise, 100 * 40) << "Find finds the noise a bad frame";
  decode(&cap);
  for (const int32_t first : {0, count / 4, count / 2, count - 200}) {
    const int32_t hi = first + 200 < count ? first + 200 : count;
    EXPECT_EQ(painted(&cap, first, hi), want.substr(static_cast<size_t>(first), static_cast<size_t>(hi - first)))
        << "the paint from record " << first;
  }
}

namespace {

// 0x82 is the lead byte of the test code page's double-byte characters.
int lead_82(void*, uint8_t b) { return b == 0x82; }
const AnsiCodec kDouble = {&g_fake_double_byte, fake_encode, lead_82};

}  // namespace

// Find reads a stream's double-byte characters from the stream's start. A
// long run of characters whose both bytes hold the lead byte's value (0x82
// 0x82), then "ab": Find finds "ab", whatever the run's length; the paint of
// "ab" must colour it however far back the run begins.
TEST_F(HighlightFrames, AnyCaseTextAfterALongRunOfLeadByteValuesIsColouredAsFindFindsIt) {
  const char16_t text[] = u"\xFEFF" u"FF0000\tt\t*\t*\tab\r\n";
  std::vector<uint8_t> file;
  for (const char16_t* u = text; *u; u++) file.push_back(static_cast<uint8_t>(*u & 0xFF)), file.push_back(static_cast<uint8_t>(*u >> 8));
  ASSERT_EQ(highlight_parse(file.data(), file.size(), &kDouble, &rules), kHighlightFileOk);
  q = rules.rules[0].query;
  q.shape[0] = shape[0];
  q.shape[1] = shape[1];
  for (const int chunk : {380, 381}) {  // the chunks' lengths move the run against the look-back's limit
    capture_clear(&cap);
    int64_t t = 1000;
    for (int k = 0; k < 180; k++) put(std::string(static_cast<size_t>(chunk), '\x82'), kKindRecvCh1, t += 400000);
    const int32_t first = capture_write_position(&cap);
    put("AB", kKindRecvCh1, t += 400000);
    const int32_t count = capture_write_position(&cap);
    ASSERT_GT(first, kHighlightLookBack);
    // What Find finds over the whole capture.
    ASSERT_EQ(capture_snapshot_allocate(&snap), 0);
    ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
    ASSERT_EQ(find_pass_begin(&pass, q), 0);
    FindList list = {items, 0, 1 << 14, 0};
    find_pass_run(&pass, snap, &list, nullptr, shape);
    find_pass_end(&pass);
    capture_snapshot_free(&snap);
    ASSERT_EQ(list.n, 1);
    ASSERT_EQ(items[0].first, first);
    // The paint of "ab", as live, through the functions the paint calls.
    const int32_t lo = highlight_window_start(cap.records, count, first, highlight_longest(&rules), highlight_lead(&rules));
    highlight_mark(&rules, cap.records, cap.times, lo, first, count, cap.events, cap.event_count, cap.base, shape,
                   &work, &marks);
    EXPECT_EQ(std::string() + char('0' + highlight_rule_at(marks, first)) + char('0' + highlight_rule_at(marks, first + 1)),
              "11")
        << "chunks of " << chunk << " bytes, the look-back from record " << lo;
  }
}

// A match the edge between two windows of a recording cuts ("AL" | "ARM"):
// the paints of the two windows colour it whole or not at all, never one
// part and not the other: whole when each window's paint reads on into
// the other (the next read ahead, the one before read on from).
TEST_F(HighlightFrames, AMatchCutByARecordingWindowsEdgeIsColouredWholeOrNotAtAll) {
  const char16_t text[] = u"\xFEFF" u"FF0000\tT\t*\t*\tALARM\r\n";
  std::vector<uint8_t> file;
  for (const char16_t* u = text; *u; u++) file.push_back(static_cast<uint8_t>(*u & 0xFF)), file.push_back(static_cast<uint8_t>(*u >> 8));
  ASSERT_EQ(highlight_parse(file.data(), file.size(), &kLatin1, &rules), kHighlightFileOk);
  static Capture next;
  next.micros = test_micros;
  ASSERT_EQ(capture_allocate(&next), 0);
  capture_clear(&next);
  put("..AL", kKindRecvCh1, 1000);               // the end of one window
  put(&next, "ARM..", kKindRecvCh1, 2000);       // the next, read on from it
  static CaptureSnapshot before, after;
  ASSERT_EQ(capture_snapshot_allocate(&before), 0);
  ASSERT_EQ(capture_snapshot_take(&cap, &before), 0);
  ASSERT_EQ(capture_snapshot_allocate(&after), 0);
  ASSERT_EQ(capture_snapshot_take(&next, &after), 0);
  // Neither window read beside this one: the edge hides the match from both.
  EXPECT_EQ(painted(&cap, 0, capture_write_position(&cap)), "0000000");  // each chunk with its gap markers
  EXPECT_EQ(painted(&next, 0, capture_write_position(&next)), "00000000");
  // Each read on into the other: coloured whole, each part in its window.
  work.after = &after;
  EXPECT_EQ(painted(&cap, 0, capture_write_position(&cap)), "0011000") << "the window before, \"AL\"";
  work.after = nullptr;
  work.before = &before;
  EXPECT_EQ(painted(&next, 0, capture_write_position(&next)), "11100000") << "the window after, \"ARM\"";
  EXPECT_EQ(marks.matches[0], 1);
  work.before = nullptr;
  // The match's second part far from the edge: coloured in neither.
  capture_clear(&next);
  // "ARM" at records 65,531 to 65,533 of the next window: farther across the
  // edge than a paint reads (kHighlightEdgeReach).
  for (int k = 0; k < 216; k++) put(&next, std::string(300, 'z'), kKindRecvCh2, 3000 + k);
  put(&next, std::string(80, 'z'), kKindRecvCh2, 4000);
  ASSERT_EQ(capture_write_position(&next), 65531);
  put(&next, "ARM..", kKindRecvCh1, 5000);
  ASSERT_EQ(capture_snapshot_take(&next, &after), 0);
  work.after = &after;
  EXPECT_EQ(painted(&cap, 0, capture_write_position(&cap)), "0000000") << "too far apart";
  work.after = nullptr;
  work.before = &before;
  const int32_t n = capture_write_position(&next);
  EXPECT_EQ(painted(&next, n - 8, n), "00000000") << "too far apart";
  work.before = nullptr;
  capture_snapshot_free(&before);
  capture_snapshot_free(&after);
  capture_free(&next);
}
// A one-byte rule on a large screen (the view draws up to kViewMapCells
// cells) full of its byte: every one is coloured and counted, not just the
// first few thousand.
TEST_F(HighlightFrames, AFrequentByteIsColouredAcrossAWholeLargeScreen) {
  const char16_t text[] = u"\xFEFF" u"FF0000\tH\t*\t*\t00\r\n";
  std::vector<uint8_t> file;
  for (const char16_t* u = text; *u; u++) file.push_back(static_cast<uint8_t>(*u & 0xFF)), file.push_back(static_cast<uint8_t>(*u >> 8));
  ASSERT_EQ(highlight_parse(file.data(), file.size(), &kLatin1, &rules), kHighlightFileOk);
  int64_t t = 1000;
  for (int k = 0; k < 32; k++) put(std::string(250, '\0'), kKindRecvCh1, t += 1000);  // 8,096 records, a screen
  const int32_t count = capture_write_position(&cap);
  const std::string want = found_by_find({&cap})[0];
  const std::string got = painted(&cap, 0, count);
  EXPECT_EQ(got.find_last_of('1'), want.find_last_of('1')) << "the last byte coloured";
  EXPECT_EQ(marks.matches[0], 32 * 250);
}
