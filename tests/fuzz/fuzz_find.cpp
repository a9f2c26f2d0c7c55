// Feeds arbitrary bytes to Find: the first part as a pattern typed in each
// of the three forms (never a read past it, a fault's place inside it), the
// rest as capture data cut into chunks of the four streams by the bytes
// themselves; the matcher must report exactly what a plain search of each
// stream's bytes finds, in order (text in any case with a double-byte
// code page too: a character's second byte never folds). The same bytes
// then stand for capture records (a hostile log's), searched for each kind
// of find, in one stretch and cut in two: every find lies within the records.
#include <cstdint>
#include <cstring>
#include <vector>

#include "find/find_matcher.h"
#include "find/find_rows.h"
#include "find/find_pattern.h"
#include "tests/fuzz/written_check.h"

namespace {

struct Found {
  std::vector<int64_t> starts[kFindStreams];
};

void hit(void* ctx, int32_t s, int64_t start) { static_cast<Found*>(ctx)->starts[s].push_back(start); }

// The bytes as records of any kind (gap markers with any digits among
// them), times rising with gaps, and events at any place.
void pass_over_records(const FindPattern& p, const uint8_t* data, size_t size) {
  static CaptureSnapshot snap;
  if (capture_snapshot_allocate(&snap)) return;
  const int32_t count = static_cast<int32_t>(size / 2 < 4096 ? size / 2 : 4096);
  int64_t t = 0;
  for (int32_t i = 0; i < count; i++) {
    const uint8_t k = data[2 * i];
    snap.records[i] = CaptureRecord{};
    snap.records[i].kind = static_cast<uint8_t>(k % 8 < 5 ? k % 5 : 128 + k % 3);
    snap.records[i].data = data[2 * i + 1];
    snap.records[i].marker2 = static_cast<uint8_t>('0' + k % 10);
    t += (k & 0x80) ? 60000 : 100;
    snap.times[i] = (k & 0x40) ? kTimeUnknown : t;
  }
  snap.count = count;
  snap.base = 1000;
  snap.event_count = count < 8 ? count : 8;
  for (int32_t e = 0; e < snap.event_count; e++) {
    snap.events[e] = LineEvent{};
    snap.events[e].place = 1000 + static_cast<int64_t>(data[e]) * count / 200 - 5;
    snap.events[e].kind = static_cast<uint8_t>(1 + data[e] % 8);
    snap.events[e].channel = static_cast<uint8_t>(data[e] % 3);
  }
  static FindFound items[64];
  for (uint8_t what = kFindBytes; what <= kFindLineEvent; what++) {
    FindQuery q = {};
    q.what = what;
    q.streams = 0xF;
    q.pattern = p;
    q.silence_us = 1000;
    q.shape[0] = q.shape[1] = {9600, 100};
    q.modbus.mode = kModbusRtu;
    q.modbus.shape[0] = q.modbus.shape[1] = {9600, 110};
    static FindPass pass;
    pass = FindPass{};
    if (find_pass_begin(&pass, q)) return;
    FindList list = {items, 0, 64, 0};
    find_pass_run(&pass, snap, &list, nullptr);
    find_pass_finish(&pass, &list, nullptr);
    find_pass_end(&pass);
    // Cut in two where the bytes say: what was carried over is placed in
    // the stretch it lies in, or before it.
    static CaptureSnapshot piece;
    if (capture_snapshot_allocate(&piece)) return;
    const int32_t cut = count ? data[0] % count : 0;
    static FindFound cut_items[64];
    FindList cut_list = {cut_items, 0, 64, 0};
    pass = FindPass{};
    if (find_pass_begin(&pass, q)) return;
    for (int k = 0; k < 2; k++) {
      const int32_t from = k ? cut : 0, to = k ? count : cut;
      piece.count = to - from;
      std::memcpy(piece.records, snap.records + from, sizeof *snap.records * static_cast<size_t>(to - from));
      std::memcpy(piece.times, snap.times + from, sizeof *snap.times * static_cast<size_t>(to - from));
      piece.event_count = 0;
      piece.base = 0;
      const int32_t before = cut_list.n;
      find_pass_run(&pass, piece, &cut_list, nullptr);
      for (int32_t i = before; i < cut_list.n; i++)
        check(cut_list.items[i].first >= -1 && cut_list.items[i].first < piece.count && cut_list.items[i].last < piece.count);
      find_pass_next_stretch(&pass);
    }
    const int32_t before = cut_list.n;
    find_pass_finish(&pass, &cut_list, nullptr);
    for (int32_t i = before; i < cut_list.n; i++) check(cut_list.items[i].first < count - cut);
    find_pass_end(&pass);
    for (int32_t i = 0; i < list.n; i++) {
      const FindFound& f = list.items[i];
      check(f.first >= -1 && f.first < count && f.last < count);
      uint8_t preview[kFindPreviewBytes];
      check(find_preview(snap.records, count, f, preview) <= kFindPreviewBytes);
      FindRowText text;
      find_row_text(f, 0, f.time_us, preview, 0, &text);
      char line[512];
      check(find_csv_row(text, line, sizeof line) > 0);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t head = 1 + data[0] % 24;
  if (head + 1 > size) return 0;
  const uint8_t form = data[1] % 3;
  std::vector<char16_t> units(data + 2, data + (head > 2 ? head : 2));
  FindPattern p;
  FindPatternResult r;
  // Text with a double-byte code page (lead bytes 81 to 9F) now and then.
  uint8_t lead[32] = {};
  if (data[0] & 2)
    for (int b = 0x81; b <= 0x9F; b++) lead[b >> 3] |= static_cast<uint8_t>(1u << (b & 7));
  if (form == 0) r = find_pattern_text(data + 2, static_cast<int>(units.size()), data[0] & 1, lead, &p);
  else if (form == 1) r = find_pattern_hex(units.data(), static_cast<int>(units.size()), &p);
  else r = find_pattern_notation(units.data(), static_cast<int>(units.size()), &p);
  check(r.at >= 0 && r.at <= static_cast<int>(units.size()) + kFindPatternMax);
  if (r.fault != kFindPatternOk) return 0;
  check(p.length >= 1 && p.length <= kFindPatternMax);

  FindMatcher m;
  find_matcher_begin(&m, p, 0xF);
  Found got;
  std::vector<uint8_t> whole[kFindStreams];
  std::vector<int64_t> want[kFindStreams];
  size_t at = head;
  while (at < size) {
    const int s = data[at] & 3;
    const size_t n = 1 + (data[at] >> 2) % 16;
    const size_t take = n < size - at - 1 ? n : size - at - 1;
    at++;
    if (take == 0) break;
    std::vector<uint8_t> chunk(data + at, data + at + take);  // exactly its size, for AddressSanitizer
    find_matcher_feed(&m, s, chunk.data(), static_cast<int32_t>(take), hit, &got);
    whole[s].insert(whole[s].end(), chunk.begin(), chunk.end());
    at += take;
  }
  for (int s = 0; s < kFindStreams; s++) {
    // Which bytes are a character's second, read from the stream's start.
    std::vector<uint8_t> trail(whole[s].size());
    for (size_t i = 1; i < whole[s].size(); i++) trail[i] = !trail[i - 1] && find_pattern_lead(p, whole[s][i - 1]);
    for (int64_t start = 0; start + p.length <= static_cast<int64_t>(whole[s].size()); start++) {
      bool ok = true;
      for (int j = 0; j < p.length && ok; j++) ok = find_pattern_byte_matches(p, j, whole[s][start + j], trail[start + j]);
      if (ok) want[s].push_back(start);
    }
    check(got.starts[s] == want[s]);
  }
  pass_over_records(p, data + head, size - head);
  return 0;
}
