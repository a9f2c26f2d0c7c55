// Feeds arbitrary bytes to Find: the first part as a pattern typed in each
// of the three forms (never a read past it, a fault's place inside it), the
// rest as capture data cut into chunks of the four streams by the bytes
// themselves; the matcher must report exactly what a plain search of each
// stream's bytes finds, in order.
#include <cstdint>
#include <cstring>
#include <vector>

#include "find/find_matcher.h"
#include "find/find_pattern.h"
#include "tests/fuzz/written_check.h"

namespace {

struct Found {
  std::vector<int64_t> starts[kFindStreams];
};

int hit(void* ctx, int32_t s, int64_t start) {
  static_cast<Found*>(ctx)->starts[s].push_back(start);
  return 0;
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
  if (form == 0) r = find_pattern_text(data + 2, static_cast<int>(units.size()), data[0] & 1, &p);
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
    for (int64_t start = 0; start + p.length <= static_cast<int64_t>(whole[s].size()); start++) {
      bool ok = true;
      for (int j = 0; j < p.length && ok; j++) ok = find_pattern_byte_matches(p, j, whole[s][start + j]);
      if (ok) want[s].push_back(start);
    }
    check(got.starts[s] == want[s]);
  }
  return 0;
}
