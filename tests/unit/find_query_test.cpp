// Find's pass over prepared captures: bytes placed on their records across
// chunks and stretches, silences by the line's one silence rule, bad
// Modbus frames by the monitor's framing and pairing (whole across the
// edges of stretches), line events, and go to time.
#include "find/find_rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "rtu_bytes.h"

namespace {

using Bytes = std::vector<uint8_t>;


struct FindFixture : ::testing::Test {
  Capture cap;
  CaptureSnapshot snap;
  std::vector<FindFound> items = std::vector<FindFound>(64);
  FindList list = {items.data(), 0, 64, 0};
  FindQuery q = {};
  void SetUp() override {
    ASSERT_EQ(capture_allocate(&cap), 0);
    ASSERT_EQ(capture_snapshot_allocate(&snap), 0);
    capture_clear(&cap);
    q.streams = 0xF;
    q.shape[0] = q.shape[1] = {9600, 100};
    q.modbus.mode = kModbusRtu;
    q.modbus.shape[0] = q.modbus.shape[1] = {9600, 110};
  }
  void TearDown() override {
    capture_free(&cap);
    capture_snapshot_free(&snap);
  }
  void put(const Bytes& b, uint8_t kind, int64_t ms) {
    capture_append(&cap, b.data(), static_cast<int>(b.size()), kind, ms * 1000);
  }
  void put(const char* s, uint8_t kind, int64_t ms) {
    capture_append(&cap, reinterpret_cast<const uint8_t*>(s), static_cast<int>(std::strlen(s)), kind, ms * 1000);
  }
  // Every find of the query in the capture as one stretch.
  void run() {
    ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
    static FindPass pass;
    pass = FindPass{};
    ASSERT_EQ(find_pass_begin(&pass, q), 0);
    list.n = 0;
    list.more = 0;
    EXPECT_EQ(find_pass_run(&pass, snap, &list, nullptr), 0);
    EXPECT_EQ(find_pass_finish(&pass, &list, nullptr), 0);
    find_pass_end(&pass);
  }
  // The same capture's records cut into stretches at each of `cuts`
  // (record indices), as a recording's windows cut it.
  void run_in_stretches(std::vector<int32_t> cuts) {
    ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
    static FindPass pass;
    static CaptureSnapshot piece;
    ASSERT_EQ(capture_snapshot_allocate(&piece), 0);
    pass = FindPass{};
    ASSERT_EQ(find_pass_begin(&pass, q), 0);
    list.n = 0;
    cuts.push_back(snap.count);
    int32_t from = 0;
    for (int32_t cut : cuts) {
      piece.count = cut - from;
      std::memcpy(piece.records, snap.records + from, sizeof *snap.records * static_cast<size_t>(cut - from));
      std::memcpy(piece.times, snap.times + from, sizeof *snap.times * static_cast<size_t>(cut - from));
      piece.event_count = 0;
      for (int32_t e = 0; e < snap.event_count; e++)
        if (snap.events[e].place >= snap.base + from && (snap.events[e].place < snap.base + cut || cut == snap.count)) {
          piece.events[piece.event_count] = snap.events[e];
          piece.events[piece.event_count++].place -= snap.base + from;
        }
      EXPECT_EQ(find_pass_run(&pass, piece, &list, nullptr), 0);
      find_pass_next_stretch(&pass);
      from = cut;
    }
    EXPECT_EQ(find_pass_finish(&pass, &list, nullptr), 0);
    find_pass_end(&pass);
    capture_snapshot_free(&piece);
  }
};

TEST_F(FindFixture, BytesAcrossChunksAreMarkedFromFirstToLastRecordInStartOrder) {
  FindPattern p;
  const char16_t text[] = u"\"OK\"0D0A";
  ASSERT_EQ(find_pattern_notation(text, 8, &p).fault, kFindPatternOk);
  q.pattern = p;
  put("xxO", kKindRecvCh1, 0);      // records 0..2, markers 3..5
  put("zz", kKindRecvCh2, 1);       // 6..7, 8..10
  put("K\r\nOK\r\n", kKindRecvCh1, 2);  // 11..17
  run();
  ASSERT_EQ(list.n, 2);
  EXPECT_EQ(list.items[0].first, 2);  // the O before the other channel's chunk
  EXPECT_EQ(list.items[0].last, 13);
  EXPECT_EQ(list.items[0].within, 2);
  EXPECT_EQ(list.items[0].chunk_time_us, 0);
  EXPECT_EQ(list.items[1].first, 14);
  EXPECT_EQ(list.items[1].within, 3);
  EXPECT_EQ(list.items[1].time_us, 2000);
  EXPECT_EQ(list.items[1].channel, 1);
  // Not on CH1's received bytes: nothing.
  q.streams = 0xE;
  run();
  EXPECT_EQ(list.n, 0);
}

TEST_F(FindFixture, SilencesAreTheLinesWhicheverChannelSpokeAndGoOnAcrossStretches) {
  q.what = kFindSilence;
  q.silence_us = 400000;
  // CH1 at 0 ms, CH2 at 500 ms, CH1 at 1,000 ms: each chunk follows about
  // 499 ms of silence (one byte at 9600 baud, 10 bits, is about 1 ms), as
  // the tooltip says; CH1's own 999 ms is no figure of the line's.
  put("a", kKindRecvCh1, 0);
  put("b", kKindRecvCh2, 500);
  put("c", kKindRecvCh1, 1000);
  put("d", kKindRecvCh1, 1100);  // 99 ms: no
  run();
  ASSERT_EQ(list.n, 2);
  EXPECT_EQ(list.items[0].channel, 2);
  EXPECT_EQ(list.items[1].channel, 1);
  EXPECT_EQ(list.items[1].first, 8);
  EXPECT_GT(list.items[1].detail, 497000);
  EXPECT_LT(list.items[1].detail, 500000);
  // The silence before a chunk that lasts exactly the limit counts.
  q.silence_us = list.items[1].detail;
  q.streams = 0x3;  // CH1's chunks only: the same figure, fewer chunks looked at
  run();
  ASSERT_EQ(list.n, 1);
  EXPECT_EQ(list.items[0].first, 8);
  EXPECT_EQ(list.items[0].offset, 1);  // CH1 received's second byte

  // The same capture in two stretches: the silence that spans them is found
  // in the second, at its first chunk.
  q.silence_us = 400000;
  q.streams = 0xF;
  run_in_stretches({8});
  ASSERT_EQ(list.n, 2);
  EXPECT_EQ(list.items[0].first, 4);
  EXPECT_EQ(list.items[1].first, 0);  // the second stretch's first chunk
}

// A log without its times file: the gap digits after each chunk tell the
// silence, as they tell the tooltip and the exports.
TEST_F(FindFixture, SilencesOfALogWithoutTimesComeFromTheGapDigits) {
  q.what = kFindSilence;
  q.silence_us = 1500000;
  const char* chunks[] = {"a", "b", "c"};
  const char* gaps[] = {"0020", "0003", "0000"};  // 2.0 s, 0.3 s
  snap.count = 0;
  for (int k = 0; k < 3; k++) {
    CaptureRecord* r = snap.records + snap.count;
    r[0] = CaptureRecord{};
    r[0].kind = kKindRecvCh1;
    r[0].data = static_cast<uint8_t>(chunks[k][0]);
    for (int m = 1; m <= 3; m++) r[m] = CaptureRecord{};
    r[1].kind = kKindGapText, r[1].data = 't', r[1].marker2 = '=';
    r[2].kind = kKindGapHigh, r[2].data = static_cast<uint8_t>(gaps[k][0]), r[2].marker2 = static_cast<uint8_t>(gaps[k][1]);
    r[3].kind = kKindGapLow, r[3].data = static_cast<uint8_t>(gaps[k][2]), r[3].marker2 = static_cast<uint8_t>(gaps[k][3]);
    for (int m = 0; m < 4; m++) snap.times[snap.count + m] = kTimeUnknown;
    snap.count += 4;
  }
  static FindPass pass;
  pass = FindPass{};
  ASSERT_EQ(find_pass_begin(&pass, q), 0);
  EXPECT_EQ(find_pass_run(&pass, snap, &list, nullptr), 0);
  find_pass_end(&pass);
  ASSERT_EQ(list.n, 1);
  EXPECT_EQ(list.items[0].first, 4);
  EXPECT_EQ(list.items[0].detail, 2000000);
}

TEST_F(FindFixture, BadFramesAreBadChecksExceptionsAndUnansweredRequests) {
  q.what = kFindBadFrame;
  const Bytes request = rtu({0x01, 0x03, 0x00, 0x00, 0x00, 0x01});
  Bytes spoiled = rtu({0x01, 0x03, 0x02, 0x12, 0x34});
  spoiled.back() ^= 0xFF;
  put(request, kKindSentCh1, 0);
  put(rtu({0x01, 0x03, 0x02, 0x12, 0x34}), kKindRecvCh1, 20);  // good
  put(request, kKindSentCh1, 100);
  put(spoiled, kKindRecvCh1, 120);                              // bad CRC: answered, badly
  put(request, kKindSentCh1, 200);
  put(rtu({0x01, 0x83, 0x02}), kKindRecvCh1, 220);              // exception
  put(request, kKindSentCh1, 300);                              // never answered
  put(request, kKindSentCh1, 400);                              // may yet be
  run();
  ASSERT_EQ(list.n, 3);
  EXPECT_EQ(list.items[0].why, kFindBadCheck);
  EXPECT_EQ(list.items[0].detail, kMonitorBadCrc);
  EXPECT_EQ(list.items[0].time_us, 120000);
  EXPECT_EQ(list.items[0].last - list.items[0].first, static_cast<int32_t>(spoiled.size()) - 1);
  EXPECT_EQ(list.items[1].why, kFindBadException);
  EXPECT_EQ(list.items[1].detail, 2);
  EXPECT_EQ(list.items[2].why, kFindBadNoAnswer);
  EXPECT_EQ(list.items[2].time_us, 300000);
  // Received bytes only: the sent requests are left out.
  q.streams = 0x5;
  run();
  ASSERT_EQ(list.n, 2);
  EXPECT_EQ(list.items[0].why, kFindBadCheck);
}

// A CH1 request still waiting is no "no answer" because CH2 goes on
// talking: each channel's requests are answered on that channel.
TEST_F(FindFixture, ARequestWaitsForItsOwnChannelsAnswer) {
  q.what = kFindBadFrame;
  const Bytes request = rtu({0x01, 0x03, 0x00, 0x00, 0x00, 0x01});
  const Bytes answer = rtu({0x01, 0x03, 0x02, 0x12, 0x34});
  put(request, kKindSentCh1, 0);
  put(request, kKindSentCh2, 10);
  put(answer, kKindRecvCh2, 30);
  put(request, kKindSentCh2, 100);
  put(answer, kKindRecvCh2, 130);
  run();
  EXPECT_EQ(list.n, 0);
}

// An answer cut in two by a stretch's edge, and a request whose answer
// lies in the next stretch: the same finds as in one piece, wherever the
// edges fall.
TEST_F(FindFixture, BadFramesAreTheSameWhereverTheStretchesAreCut) {
  q.what = kFindBadFrame;
  const Bytes request = rtu({0x01, 0x03, 0x00, 0x00, 0x00, 0x02});
  const Bytes answer = rtu({0x01, 0x03, 0x04, 0x00, 0x0A, 0x01, 0x02});
  Bytes spoiled = answer;
  spoiled[4] ^= 0x01;
  int64_t t = 0;
  for (int k = 0; k < 12; k++, t += 100) {
    put(request, kKindSentCh1, t);
    if (k == 9) continue;  // no answer
    const Bytes& a = k == 5 ? spoiled : answer;
    // Each answer arrives in two chunks, as a receive thread often sees it.
    put(Bytes(a.begin(), a.begin() + 3), kKindRecvCh1, t + 20);
    put(Bytes(a.begin() + 3, a.end()), kKindRecvCh1, t + 21);
  }
  run();
  ASSERT_EQ(list.n, 2);
  const FindFound bad = list.items[0], unanswered = list.items[1];
  EXPECT_EQ(bad.why, kFindBadCheck);
  EXPECT_EQ(bad.time_us, 520000);
  EXPECT_EQ(unanswered.why, kFindBadNoAnswer);
  EXPECT_EQ(unanswered.time_us, 900000);
  ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
  const int32_t count = snap.count;
  for (int32_t cut = 1; cut < count; cut += 3) {
    run_in_stretches({cut});
    ASSERT_EQ(list.n, 2) << cut;
    EXPECT_EQ(list.items[0].why, kFindBadCheck) << cut;
    EXPECT_EQ(list.items[0].time_us, bad.time_us) << cut;
    EXPECT_EQ(list.items[0].offset, bad.offset) << cut;
    EXPECT_EQ(list.items[1].why, kFindBadNoAnswer) << cut;
    EXPECT_EQ(list.items[1].time_us, unanswered.time_us) << cut;
    // Placed in the stretch that holds its first record, or before it.
    const int32_t place = list.items[0].first >= 0 && bad.first >= cut ? list.items[0].first + cut : list.items[0].first;
    if (list.items[0].first >= 0) EXPECT_EQ(place, bad.first) << cut;
  }
  run_in_stretches({40, 80, 120, 160});
  ASSERT_EQ(list.n, 2);
  EXPECT_EQ(list.items[0].time_us, bad.time_us);
  EXPECT_EQ(list.items[1].time_us, unanswered.time_us);
}

TEST_F(FindFixture, LineEventsOfAChannelAndAFullListCounts) {
  q.what = kFindLineEvent;
  put("a", kKindRecvCh1, 0);
  capture_add_event(&cap, kEventLost, 1, 3, 0);
  put("b", kKindRecvCh2, 10);
  capture_add_event(&cap, kEventSettings, 2, 4, 19200);
  put("c", kKindRecvCh2, 20);
  run();
  ASSERT_EQ(list.n, 2);
  EXPECT_EQ(list.items[0].why, kEventLost);
  EXPECT_EQ(list.items[0].first, 4);  // the chunk it opens, past the markers
  EXPECT_EQ(list.items[1].detail, 19200);
  q.streams = 0xC;
  run();
  ASSERT_EQ(list.n, 1);
  EXPECT_EQ(list.items[0].channel, 2);
  // An event at the stretch's end (a recording's window ended after it)
  // is placed on the chunk before it, which has a time, not on a marker.
  snap.events[snap.event_count] = LineEvent{};
  snap.events[snap.event_count].place = snap.base + snap.count;
  snap.events[snap.event_count].kind = kEventClosed;
  snap.events[snap.event_count++].channel = 2;
  static FindPass pass;
  pass = FindPass{};
  ASSERT_EQ(find_pass_begin(&pass, q), 0);
  list.n = 0;
  find_pass_run(&pass, snap, &list, nullptr);
  ASSERT_EQ(list.n, 2);
  EXPECT_EQ(list.items[1].why, kEventClosed);
  EXPECT_EQ(list.items[1].first, 8);  // "c", its chunk's time known
  EXPECT_EQ(list.items[1].chunk_time_us, 20000);
  // A list with room for one keeps the first and counts the rest; one
  // that goes on where it ended passes the first over and keeps the next.
  q.streams = 0xF;
  list.capacity = 1;
  run();
  EXPECT_EQ(list.n, 1);
  EXPECT_EQ(list.more, 1);
  EXPECT_EQ(list.items[0].why, kEventLost);
  list.skip = 1;
  run();
  EXPECT_EQ(list.n, 1);
  EXPECT_EQ(list.more, 0);
  EXPECT_EQ(list.skip, 0);
  EXPECT_EQ(list.items[0].why, kEventSettings);
}

TEST(FindTime, FirstRecordAtOrAfterAndChunkIndex) {
  const int64_t times[] = {kTimeUnknown, 100, 100, kTimeUnknown, 300, 300};
  EXPECT_EQ(find_time_first(times, 6, 0), 1);
  EXPECT_EQ(find_time_first(times, 6, 101), 4);
  EXPECT_EQ(find_time_first(times, 6, 301), 6);
  CaptureRecord r[4] = {};
  r[0].kind = kKindRecvCh1;
  r[1].kind = kKindRecvCh1;
  r[2].kind = kKindGapText;
  r[3].kind = kKindRecvCh1;
  EXPECT_EQ(find_within_chunk(r, 1), 1);
  EXPECT_EQ(find_within_chunk(r, 3), 0);
}

}  // namespace

namespace {

TEST(FindRows, TextsAndCsvOfEachKindOfFind) {
  FindFound f = {};
  f.what = kFindSilence;
  f.time_us = 2500000;
  f.detail = 120500;
  f.channel = 2;
  f.kind = kKindSentCh2;
  const uint8_t bytes[] = {'a', ',', 0x0D, '"', 'b', 'c', 'd', 'e', 'f'};
  FindRowText t;
  find_row_text(f, 1000000, 86400000000LL + 3723250000LL, bytes, 9, &t);
  EXPECT_STREQ(t.seconds, "1.500000");
  EXPECT_STREQ(t.day, "01:02:03.250000");
  EXPECT_STREQ(t.channel, "CH2");
  EXPECT_STREQ(t.direction, "TX");
  EXPECT_STREQ(t.found, "silence 120.500 ms");
  EXPECT_STREQ(t.hex, "61 2C 0D 22 62 63 64 65");
  char line[256];
  ASSERT_GT(find_csv_row(t, line, sizeof line), 0);
  EXPECT_STREQ(line, "1.500000,01:02:03.250000,CH2,TX,silence 120.500 ms,61 2C 0D 22 62 63 64 65,\"a,.\"\"bcde\"\r\n");
  EXPECT_EQ(find_csv_row(t, line, 20), -1);
  f.what = kFindBadFrame;
  f.why = kFindBadException;
  f.detail = 2;
  find_row_text(f, kTimeUnknown, kTimeUnknown, bytes, 0, &t);
  EXPECT_STREQ(t.seconds, "");
  EXPECT_STREQ(t.day, "");
  EXPECT_STREQ(t.found, "exception 02 Illegal Data Address");
  f.what = kFindLineEvent;
  f.why = kEventSettings;
  f.detail = 19200;
  find_row_text(f, 0, 0, bytes, 0, &t);
  EXPECT_STREQ(t.found, "settings 19200 baud");
  EXPECT_STREQ(t.direction, "");
  // A byte find's pattern, and a long one cut to what the column holds.
  FindPattern p;
  ASSERT_EQ(find_pattern_hex(u"4c 30 ?? 0D", 11, &p).fault, kFindPatternOk);
  find_pattern_found(p, t.found);
  EXPECT_STREQ(t.found, "4C 30 ?? 0D");
  std::u16string hex;
  for (int i = 0; i < 32; i++) hex += u"A5";
  ASSERT_EQ(find_pattern_hex(hex.data(), 64, &p).fault, kFindPatternOk);
  find_pattern_found(p, t.found);
  EXPECT_EQ(std::strlen(t.found), 95u);
  hex += u"??";
  ASSERT_EQ(find_pattern_hex(hex.data(), 66, &p).fault, kFindPatternOk);
  find_pattern_found(p, t.found);
  EXPECT_EQ(std::string(t.found).substr(81), "A5 A5 A5 ...");  // 30 bytes shown
  // A text found in either case says the bytes typed, not the folded ones.
  const uint8_t typed[] = {'E', 'r', 'r', 'o', 'r'};
  ASSERT_EQ(find_pattern_text(typed, 5, 0, nullptr, &p).fault, kFindPatternOk);
  find_pattern_found(p, t.found);
  EXPECT_STREQ(t.found, "45 72 72 6F 72");
}

}  // namespace

namespace {

void keep(void* ctx, const FindHit& h) { static_cast<std::vector<FindHit>*>(ctx)->push_back(h); }

TEST_F(FindFixture, ChunksFedStraightFindWhatTheirRecordsFindWithTheirTags) {
  FindPattern p;
  ASSERT_EQ(find_pattern_hex(u"0D ?? 4F", 8, &p).fault, kFindPatternOk);
  const char* chunks[] = {"a\r", "\nO", "zz\r", "xO\r\nOK\r", "\n", "O"};
  const uint8_t kinds[] = {kKindRecvCh1, kKindRecvCh1, kKindSentCh1, kKindRecvCh1, kKindRecvCh1, kKindRecvCh1};
  std::vector<FindHit> straight, laid_out;
  static FindSearch f;
  find_search_begin(&f, p, 0xF);
  for (int k = 0; k < 6; k++) {
    put(chunks[k], kinds[k], k);
    find_search_chunk(&f, kinds[k] - 1, reinterpret_cast<const uint8_t*>(chunks[k]), static_cast<int32_t>(std::strlen(chunks[k])),
                      k * 1000, 100 + k, keep, &straight);
  }
  find_search_begin(&f, p, 0xF);
  ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
  find_search_run(&f, snap, keep, &laid_out);
  ASSERT_EQ(straight.size(), 3u);
  ASSERT_EQ(laid_out.size(), 3u);
  const uint64_t tags[] = {100, 103, 103};  // "\r\nO" from chunk 0; "\r\nO" and "\r\nO" of chunk 3 (the last across 4 and 5)
  for (size_t i = 0; i < 3; i++) {
    EXPECT_EQ(straight[i].offset, laid_out[i].offset);
    EXPECT_EQ(straight[i].time_us, laid_out[i].time_us);
    EXPECT_EQ(straight[i].within, laid_out[i].within);
    EXPECT_EQ(straight[i].record, -1);
    EXPECT_EQ(straight[i].tag, tags[i]);
  }
}

}  // namespace

namespace {

// The checks of the frames the monitor reads as bad in `snap`.
std::vector<int64_t> monitor_bad_checks(const CaptureSnapshot& snap, ModbusMonitorOptions o) {
  o.events = snap.events;
  o.event_count = snap.event_count;
  o.base = snap.base;
  ModbusFrameList frames, scratch;
  std::vector<int64_t> bad;
  EXPECT_EQ(modbus_monitor_decode_either(snap.records, snap.times, snap.count, &o, &frames, &scratch, nullptr, nullptr), 0);
  for (int32_t i = 0; i < frames.n; i++)
    if (frames.frames[i].check != kMonitorOk) bad.push_back(frames.frames[i].check);
  modbus_frame_list_free(&frames);
  modbus_frame_list_free(&scratch);
  return bad;
}

// CH2 polled and answered n times, 10 ms apart from *t on: a fast second
// line that fills the carry's reach.
void poll_ch2(FindFixture* f, const Bytes& request, const Bytes& answer, int n, int64_t* t) {
  for (int k = 0; k < n; k++, *t += 10) {
    f->put(request, kKindSentCh2, *t);
    f->put(answer, kKindRecvCh2, *t + 5);
  }
}

}  // namespace

// A request no answer followed, then a busy CH2 line: more than the
// carry's reach of records between it and a stretch's edge (a recording's
// window filled by a fast second channel). It is found as in one piece.
TEST_F(FindFixture, ANoAnswerFarBeforeAStretchsEdgeIsFoundAsInOnePiece) {
  q.what = kFindBadFrame;
  const Bytes request = rtu({0x01, 0x03, 0x00, 0x00, 0x00, 0x01});
  const Bytes answer = rtu({0x01, 0x03, 0x02, 0x12, 0x34});
  put(request, kKindSentCh1, 0);  // never answered
  int64_t t = 10;
  poll_ch2(this, request, answer, 1000, &t);  // 21 records an exchange
  ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
  const int32_t edge = snap.count;
  put(request, kKindSentCh1, t);  // CH1 polls again, and is answered
  put(answer, kKindRecvCh1, t + 20);
  run();
  ASSERT_EQ(list.n, 1);
  EXPECT_EQ(list.items[0].why, kFindBadNoAnswer);
  run_in_stretches({edge});
  ASSERT_EQ(list.n, 1);
  EXPECT_EQ(list.items[0].why, kFindBadNoAnswer);
  EXPECT_EQ(list.items[0].time_us, 0);
}

// A slow ASCII answer on CH1 that takes longer to come in than a fast CH2
// takes to fill the carry's reach: the monitor reads one good frame, and
// so must Find, in one piece (the live capture) and with a stretch's edge
// before its end.
TEST_F(FindFixture, AFrameLongerThanTheCarrysReachIsNeverCut) {
  q.what = kFindBadFrame;
  auto ascii = [](const char* s) { return Bytes(s, s + std::strlen(s)); };
  const Bytes request = ascii(":010300000001FB\r\n");
  const Bytes answer = ascii(":0103021234B4\r\n");
  put(request, kKindSentCh1, 0);
  put(ascii(":01030212"), kKindRecvCh1, 5);  // the answer's first half
  int64_t t = 10;
  poll_ch2(this, request, answer, 600, &t);  // 38 records an exchange
  ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
  const int32_t edge = snap.count;
  put(ascii("34B4\r\n"), kKindRecvCh1, t);  // its second half
  ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
  EXPECT_TRUE(monitor_bad_checks(snap, q.modbus).empty());
  run();
  EXPECT_EQ(list.n, 0);
  run_in_stretches({edge});
  EXPECT_EQ(list.n, 0);
}

// The monitor reads an ASCII capture whose last exchange was spoiled both
// ways as BAD LRC twice; Find says the same of the same frames.
TEST_F(FindFixture, TheLastFramesOfAnAsciiCaptureAreReadAsTheMonitorReadsThem) {
  q.what = kFindBadFrame;
  auto ascii = [](const char* s) { return Bytes(s, s + std::strlen(s)); };
  for (int k = 0; k < 3; k++) {
    put(ascii(":010300000001FB\r\n"), kKindSentCh1, 100 * k);
    put(ascii(":0103021234B4\r\n"), kKindRecvCh1, 100 * k + 20);
  }
  put(ascii(":010300000001FC\r\n"), kKindSentCh1, 300);  // noise on both
  put(ascii(":0103021234B3\r\n"), kKindRecvCh1, 320);
  ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
  ASSERT_EQ(monitor_bad_checks(snap, q.modbus), (std::vector<int64_t>{kMonitorBadLrc, kMonitorBadLrc}));
  run();
  ASSERT_EQ(list.n, 2);
  EXPECT_EQ(list.items[0].detail, kMonitorBadLrc);
  EXPECT_EQ(list.items[1].detail, kMonitorBadLrc);
}

// A log without its times file, CH2 receiving an answer amid line noise:
// the monitor reads its frames from the stream's start; Find must read
// the same frames, not others from where its carry begins.
TEST_F(FindFixture, BadFramesOfALogWithoutTimesAreTheMonitorsOwn) {
  q.what = kFindBadFrame;
  put(Bytes{0x12, 0x6F}, kKindRecvCh2, 0);
  put(Bytes{0x01, 0x03, 0x02, 0x12, 0x70, 0xB5, 0x00}, kKindRecvCh2, 0);
  put(Bytes{0xF4, 0xD6, 0x02, 0x12, 0x03, 0xB0}, kKindRecvCh2, 0);
  ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
  for (int32_t i = 0; i < snap.count; i++) snap.times[i] = kTimeUnknown;
  const std::vector<int64_t> monitor = monitor_bad_checks(snap, q.modbus);
  static FindPass pass;
  pass = FindPass{};
  ASSERT_EQ(find_pass_begin(&pass, q), 0);
  list.n = 0;
  EXPECT_EQ(find_pass_run(&pass, snap, &list, nullptr), 0);
  EXPECT_EQ(find_pass_finish(&pass, &list, nullptr), 0);
  find_pass_end(&pass);
  std::vector<int64_t> found;
  for (int32_t i = 0; i < list.n; i++) found.push_back(list.items[i].detail);
  EXPECT_EQ(found, monitor);
}

// Every event name the command line takes is one Find can find: a name
// whose events are never listed would end "nothing found" for a log that
// holds them.
TEST_F(FindFixture, EveryEventNameTakenIsFound) {
  q.what = kFindLineEvent;
  put("a", kKindRecvCh1, 0);
  for (uint8_t kind = 1; kind <= kEventRefused; kind++) capture_add_event(&cap, kind, 1, 3, 0);
  put("b", kKindRecvCh1, 10);
  for (uint8_t kind = 1; kind <= kEventRefused; kind++) {
    char name[32];
    std::snprintf(name, sizeof name, "%s", line_event_name(kind));
    char16_t typed[32] = {};
    for (int i = 0; name[i]; i++) typed[i] = static_cast<char16_t>(name[i]);
    q.event = find_event_kind(typed);
    if (q.event == 0) continue;  // refused with a message: fine
    run();
    EXPECT_EQ(list.n, 1) << name;
  }
}
