// Google Benchmark of Find's matcher: 64 MB of capture data in 100-byte
// chunks on the four streams in turn, searched for a pattern that is not
// there (the whole scan, the common case), as hex, with "??" wildcards and
// as text without case. Results: bench/results/find.md.
//
// Run after scripts/build.sh: build/native/find_matcher_bench
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "find/find_matcher.h"
#include "find/find_pattern.h"

namespace {

const std::vector<uint8_t>& data() {
  static std::vector<uint8_t> d = [] {
    std::vector<uint8_t> v(64u << 20);
    uint32_t x = 12345;
    // Printable text and Modbus-like binary mixed, as a capture holds.
    for (size_t i = 0; i < v.size(); i++) {
      x = x * 1103515245u + 12345u;
      v[i] = (i / 4096) % 2 ? static_cast<uint8_t>(0x20 + (x >> 16) % 95) : static_cast<uint8_t>(x >> 24);
    }
    return v;
  }();
  return d;
}

void none(void*, int32_t, int64_t) {}

void scan(benchmark::State& state, const FindPattern& p) {
  const auto& d = data();
  for (auto _ : state) {
    FindMatcher m;
    find_matcher_begin(&m, p, 0xF);
    int64_t found = 0;
    for (size_t at = 0; at < d.size(); at += 100)
      found += find_matcher_feed(&m, static_cast<int32_t>(at / 100 % 4), d.data() + at, 100, none, nullptr);
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(d.size()));
}

void BM_Hex(benchmark::State& state) {
  FindPattern p;
  const std::u16string t = u"01 03 00 00 00 0A C5 CD";
  find_pattern_hex(t.data(), static_cast<int>(t.size()), &p);
  scan(state, p);
}
BENCHMARK(BM_Hex)->Unit(benchmark::kMillisecond);

void BM_HexWithWildcards(benchmark::State& state) {
  FindPattern p;
  const std::u16string t = u"01 03 ?? ?? 00 0A";
  find_pattern_hex(t.data(), static_cast<int>(t.size()), &p);
  scan(state, p);
}
BENCHMARK(BM_HexWithWildcards)->Unit(benchmark::kMillisecond);

void BM_TextAnyCase(benchmark::State& state) {
  FindPattern p;
  const uint8_t t[] = {'E', 'R', 'R', 'O', 'R', ' ', '4', '2'};
  find_pattern_text(t, 8, 0, nullptr, &p);
  scan(state, p);
}
BENCHMARK(BM_TextAnyCase)->Unit(benchmark::kMillisecond);

void BM_TextAnyCaseAllLetters(benchmark::State& state) {
  FindPattern p;
  const uint8_t t[] = {'t', 'i', 'm', 'e', 'o', 'u', 't'};
  find_pattern_text(t, 7, 0, nullptr, &p);
  scan(state, p);
}
BENCHMARK(BM_TextAnyCaseAllLetters)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
