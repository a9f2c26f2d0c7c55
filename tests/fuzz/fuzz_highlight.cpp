// Feeds arbitrary bytes to the highlight rules reader (in a buffer of their
// exact size, so AddressSanitizer sees a read past it). Every rule must be
// within its bounds; the rules written back must read back to the same
// rules and write the same bytes again.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/convert.h"
#include "tests/unit/fake_codec.h"
#include "view/highlight.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

int to_vector(void* ctx, const uint8_t* bytes, int n) {
  auto* v = static_cast<std::vector<uint8_t>*>(ctx);
  v->insert(v->end(), bytes, bytes + n);
  return 0;
}

const AnsiCodec kCodec = {&g_fake_double_byte, fake_encode, nullptr};
HighlightRules g_first, g_again;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);
  if (highlight_parse(file.data(), file.size(), &kCodec, &g_first) != kHighlightFileOk) return 0;
  check(g_first.count >= 0 && g_first.count <= kHighlightRules);
  check(g_first.problem_count >= 0);
  for (int r = 0; r < g_first.count; r++) {
    const HighlightRule& h = g_first.rules[r];
    check(h.text_n >= 0 && h.text_n <= kHighlightPatternUnits && h.rgb <= 0xFFFFFF);
    check(h.channel <= 2 && h.direction <= 2);
    if (h.query.what == kFindBytes) check(h.query.pattern.length >= 1 && h.query.pattern.length <= kFindPatternMax);
  }
  std::vector<uint8_t> once, twice;
  const ByteSink a = {&once, to_vector}, b = {&twice, to_vector};
  check(highlight_write(&g_first, &a) == 0);
  check(highlight_parse(once.data(), once.size(), &kCodec, &g_again) == kHighlightFileOk);
  check(g_again.count == g_first.count);
  check(highlight_write(&g_again, &b) == 0);
  check(once == twice);
  return 0;
}
