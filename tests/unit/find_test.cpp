#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "find/find_matcher.h"
#include "find/find_pattern.h"

namespace {

FindPattern hex(const std::u16string& text) {
  FindPattern p;
  const FindPatternResult r = find_pattern_hex(text.data(), static_cast<int>(text.size()), &p);
  EXPECT_EQ(r.fault, kFindPatternOk);
  return p;
}

using Matches = std::vector<std::pair<int32_t, int64_t>>;

void collect(void* ctx, int32_t s, int64_t start) { static_cast<Matches*>(ctx)->push_back({s, start}); }

// The plain search: every start in each stream's whole bytes, streams in
// the order the matcher reports them (by the chunk the match ends in).
Matches reference(const FindPattern& p, const std::vector<std::pair<int, std::vector<uint8_t>>>& chunks,
                  uint32_t streams) {
  std::vector<uint8_t> whole[kFindStreams];
  Matches out;
  for (const auto& [s, bytes] : chunks) {
    const int64_t before = static_cast<int64_t>(whole[s].size());
    whole[s].insert(whole[s].end(), bytes.begin(), bytes.end());
    if (!(streams & (1u << s))) continue;
    const int64_t total = static_cast<int64_t>(whole[s].size());
    // Matches that end in this chunk, by their start.
    for (int64_t start = before - p.length + 1; start + p.length <= total; start++) {
      if (start < 0 || start + p.length <= before) continue;
      bool ok = true;
      for (int j = 0; j < p.length && ok; j++) ok = find_pattern_byte_matches(p, j, whole[s][start + j]);
      if (ok) out.push_back({s, start});
    }
  }
  return out;
}

}  // namespace

TEST(FindPattern, ThreeFormsAndTheirFaults) {
  FindPattern p = hex(u"01 03 ?? ??00 0a");
  ASSERT_EQ(p.length, 6);
  EXPECT_EQ(p.bytes[1], 0x03);
  EXPECT_EQ(p.any[2] + p.any[3], 2);
  EXPECT_EQ(p.bytes[5], 0x0A);
  struct Bad {
    std::u16string text;
    int fault, at;
  };
  for (const Bad& b : {Bad{u"", kFindPatternEmpty, 0}, Bad{u"   ", kFindPatternEmpty, 0}, Bad{u"01 0", kFindPatternLoneDigit, 3},
                       Bad{u"0G", kFindPatternNotHex, 1}, Bad{u"?1", kFindPatternLoneDigit, 0},
                       Bad{u"1?", kFindPatternLoneDigit, 0}, Bad{u"?? ??", kFindPatternOnlyAny, 0},
                       Bad{u"\"OK\"", kFindPatternNotHex, 0}}) {
    const FindPatternResult r = find_pattern_hex(b.text.data(), static_cast<int>(b.text.size()), &p);
    EXPECT_EQ(r.fault, b.fault) << std::string(b.text.begin(), b.text.end());
    EXPECT_EQ(r.at, b.at) << std::string(b.text.begin(), b.text.end());
  }
  std::u16string many;
  for (int i = 0; i <= kFindPatternMax; i++) many += u"41";
  EXPECT_EQ(find_pattern_hex(many.data(), static_cast<int>(many.size()), &p).fault, kFindPatternTooLong);

  const std::u16string n = u"\"OK\"0D0A";
  ASSERT_EQ(find_pattern_notation(n.data(), static_cast<int>(n.size()), &p).fault, kFindPatternOk);
  EXPECT_EQ(std::string(p.bytes, p.bytes + p.length), "OK\r\n");
  const std::u16string open = u"0D\"OK";
  EXPECT_EQ(find_pattern_notation(open.data(), static_cast<int>(open.size()), &p).fault, kFindPatternOpenQuote);

  const uint8_t text[] = {'O', 'k', '1'};
  ASSERT_EQ(find_pattern_text(text, 3, 0, nullptr, &p).fault, kFindPatternOk);
  EXPECT_TRUE(find_pattern_byte_matches(p, 0, 'o') && find_pattern_byte_matches(p, 1, 'K'));
  ASSERT_EQ(find_pattern_text(text, 3, 1, nullptr, &p).fault, kFindPatternOk);
  EXPECT_FALSE(find_pattern_byte_matches(p, 1, 'K'));
  EXPECT_EQ(find_pattern_text(text, 0, 1, nullptr, &p).fault, kFindPatternEmpty);
}

// Random bytes from a small alphabet (so matches are many) in chunks of
// random length on random streams: the matcher finds what the plain search
// finds, in the same order, whatever the split, the wildcards, the case
// and the streams searched.
TEST(FindMatcher, FindsWhatThePlainSearchFindsAcrossChunks) {
  std::mt19937 rng(7);
  const std::u16string patterns[] = {u"41", u"41 42", u"?? 41 42", u"41 ?? ?? 43", u"41 42 41 42 41 ??",
                                     u"43 43 43 43 43 43 43 43 43 43 43 43"};
  for (int round = 0; round < 60; round++) {
    FindPattern p = hex(patterns[round % 6]);
    if (round % 4 == 3) {
      const uint8_t text[] = {'a', 'B', 'a'};
      find_pattern_text(text, 3, 0, nullptr, &p);
    }
    const uint32_t streams = round % 5 == 4 ? 0x5u : 0xFu;
    std::vector<std::pair<int, std::vector<uint8_t>>> chunks;
    for (int c = 0; c < 300; c++) {
      std::vector<uint8_t> bytes(1 + rng() % (round % 2 ? 3 : 40));
      // Few letters for the long patterns, so that each round finds some.
      const char* alphabet = round % 4 == 3 ? "ABab" : round % 6 == 5 ? "CCCCCCCA" : round % 6 == 4 ? "AAB" : "ABCab";
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(alphabet[rng() % std::strlen(alphabet)]);
      chunks.push_back({static_cast<int>(rng() % 4), bytes});
    }
    FindMatcher m;
    find_matcher_begin(&m, p, streams);
    Matches got;
    for (const auto& [s, bytes] : chunks)
      find_matcher_feed(&m, s, bytes.data(), static_cast<int32_t>(bytes.size()), collect, &got);
    const Matches want = reference(p, chunks, streams);
    EXPECT_FALSE(want.empty()) << round;
    EXPECT_EQ(got, want) << round;
  }
}

// In a double-byte code page (0x83 a lead byte) only single-byte letters
// fold: "\x83A" (one character) is not "\x83a" (another), and "a" is not
// the second half of "\x83A", in the pattern or in the bytes searched,
// also where the character is cut across two chunks.
TEST(FindMatcher, CaseFoldsOnlySingleByteLetters) {
  uint8_t lead[32] = {};
  lead[0x83 >> 3] |= 1u << (0x83 & 7);
  FindPattern p;
  const uint8_t katakana[] = {0x83, 0x41};
  ASSERT_EQ(find_pattern_text(katakana, 2, 0, lead, &p).fault, kFindPatternOk);
  auto count = [&](const FindPattern& pat, std::vector<std::vector<uint8_t>> chunks) {
    FindMatcher m;
    find_matcher_begin(&m, pat, 0xF);
    Matches got;
    for (const auto& c : chunks) find_matcher_feed(&m, 0, c.data(), static_cast<int32_t>(c.size()), collect, &got);
    return got.size();
  };
  EXPECT_EQ(count(p, {{0x83, 0x41}}), 1u);
  EXPECT_EQ(count(p, {{0x83, 0x61}}), 0u);
  const uint8_t a[] = {'a', 'b'};
  ASSERT_EQ(find_pattern_text(a, 2, 0, lead, &p).fault, kFindPatternOk);
  EXPECT_EQ(count(p, {{'x', 'A', 'B'}}), 1u);
  EXPECT_EQ(count(p, {{0x83, 'A', 'B'}}), 0u);       // "A" is the second byte of a character
  EXPECT_EQ(count(p, {{'x', 0x83}, {'A', 'B'}}), 0u);  // cut across chunks
  EXPECT_EQ(count(p, {{0x83, 0x83, 'A', 'B'}}), 1u);  // one character, then "AB"
  EXPECT_EQ(count(p, {{0x83}, {0x83}, {'A'}, {'B'}}), 1u);
  // One byte: nothing kept between chunks but whether a character goes on.
  ASSERT_EQ(find_pattern_text(a, 1, 0, lead, &p).fault, kFindPatternOk);
  EXPECT_EQ(count(p, {{'x', 0x83}, {'A'}, {'A'}}), 1u);
}

TEST(FindMatcher, ABreakEndsEveryMatchThatWouldRunAcrossIt) {
  FindPattern p = hex(u"4F 4B");
  FindMatcher m;
  find_matcher_begin(&m, p, 0xF);
  Matches got;
  const uint8_t o[] = {'O'}, k[] = {'K'};
  find_matcher_feed(&m, 0, o, 1, collect, &got);
  find_matcher_break(&m, 0);
  find_matcher_feed(&m, 0, k, 1, collect, &got);
  EXPECT_TRUE(got.empty());
  find_matcher_feed(&m, 0, o, 1, collect, &got);
  find_matcher_feed(&m, 0, k, 1, collect, &got);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].second, 2);  // the stream's offsets go on across the break
}

#include "find/find_search.h"

namespace {

int64_t g_clock = 0;
int64_t test_micros() { return g_clock; }

void keep_hit(void* ctx, const FindHit& h) { static_cast<std::vector<FindHit>*>(ctx)->push_back(h); }

}  // namespace

TEST(FindSearch, MatchesArePlacedOnTheRecordWhereTheyBeginAcrossChunks) {
  Capture cap;
  cap.micros = test_micros;
  ASSERT_EQ(capture_allocate(&cap), 0);
  capture_clear(&cap);
  auto put = [&](const char* text, uint8_t kind, int64_t t) {
    g_clock = t;
    capture_append(&cap, reinterpret_cast<const uint8_t*>(text), static_cast<int>(std::strlen(text)), kind, t);
  };
  put("xxAB", kKindRecvCh1, 1000);  // records 0..3, markers 4..6
  put("ABC", kKindRecvCh2, 2000);   // 7..9, markers 10..12
  put("C", kKindRecvCh1, 3000);     // 13, markers 14..16
  put("A", kKindSentCh1, 4000);     // 17: another stream, never joined to CH1 received
  put("BC", kKindSentCh1, 5000);    // 20..21
  FindPattern p = hex(u"41 42 43");
  static CaptureSnapshot snap;
  ASSERT_EQ(capture_snapshot_allocate(&snap), 0);
  ASSERT_EQ(capture_snapshot_take(&cap, &snap), 0);
  static FindSearch f;
  find_search_begin(&f, p, 0xF);
  std::vector<FindHit> hits;
  EXPECT_EQ(find_search_run(&f, snap, keep_hit, &hits), 3);
  ASSERT_EQ(hits.size(), 3u);
  EXPECT_EQ(hits[0].stream, 2);  // CH2 received, whole in its chunk
  EXPECT_EQ(hits[0].record, 7);
  EXPECT_EQ(hits[0].time_us, 2000);
  EXPECT_EQ(hits[1].stream, 0);  // CH1 received "AB" + "C"
  EXPECT_EQ(hits[1].record, 2);
  EXPECT_EQ(hits[1].time_us, 1000);
  EXPECT_EQ(hits[2].stream, 1);  // CH1 sent "A" + "BC"
  EXPECT_EQ(hits[2].record, 17);
  // Only CH1 sent: one.
  find_search_begin(&f, p, 1u << 1);
  hits.clear();
  EXPECT_EQ(find_search_run(&f, snap, keep_hit, &hits), 1);
  // The line of CH1 lost between "AB" and "C": only CH2's and CH1 sent's.
  LineEvent lost = {};
  lost.place = 13;
  lost.kind = kEventLost;
  lost.channel = 1;
  snap.events[snap.event_count++] = lost;
  find_search_begin(&f, p, 0xF);
  hits.clear();
  EXPECT_EQ(find_search_run(&f, snap, keep_hit, &hits), 2);
  // A change of settings breaks nothing.
  snap.events[snap.event_count - 1].kind = kEventSettings;
  find_search_begin(&f, p, 0xF);
  EXPECT_EQ(find_search_run(&f, snap, keep_hit, &hits), 3);
  capture_free(&cap);
  capture_snapshot_free(&snap);
}
