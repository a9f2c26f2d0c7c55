#include "find/find_matcher.h"

#include <cstring>

namespace {

int letter(uint8_t b) { return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'); }

// 1 when the pattern matches at p[0 .. length - 1].
int matches_at(const FindPattern& pat, const uint8_t* p) {
  for (int j = 0; j < pat.length; j++)
    if (!find_pattern_byte_matches(pat, j, p[j])) return 0;
  return 1;
}

}  // namespace

void find_matcher_begin(FindMatcher* m, const FindPattern& p, uint32_t streams) {
  std::memset(m, 0, sizeof *m);
  m->p = p;
  m->streams = streams;
  // The anchor: the last fixed byte that is no letter under fold_case (one
  // value to scan for), else the last fixed byte.
  m->anchor = -1;
  for (int j = p.length - 1; j >= 0 && m->anchor < 0; j--)
    if (!p.any[j] && !(p.fold_case && letter(p.bytes[j]))) m->anchor = j;
  for (int j = p.length - 1; j >= 0 && m->anchor < 0; j--)
    if (!p.any[j]) m->anchor = j;
  if (m->anchor < 0) m->anchor = 0;  // a pattern of nothing but "??": refused by the parser
}

int32_t find_matcher_feed(FindMatcher* m, int32_t s, const uint8_t* data, int32_t n,
                          int (*hit)(void* ctx, int32_t s, int64_t start), void* ctx) {
  if (s < 0 || s >= kFindStreams || n <= 0 || !(m->streams & (1u << s))) return 0;
  const FindPattern& p = m->p;
  const int32_t len = p.length;
  const int64_t base = m->fed[s];
  int32_t found = 0;
  int stopped = 0;
  // Matches that begin in the tail and end in this chunk: the tail and the
  // chunk's first bytes side by side.
  const int32_t tn = m->tail_n[s];
  if (tn > 0) {
    uint8_t joined[2 * kFindPatternMax];
    const int32_t take = n < len - 1 ? n : len - 1;
    std::memcpy(joined, m->tail[s], static_cast<size_t>(tn));
    std::memcpy(joined + tn, data, static_cast<size_t>(take));
    for (int32_t k = 0; k < tn && !stopped; k++) {
      if (k + len > tn + take || k + len <= tn) continue;
      if (matches_at(p, joined + k)) {
        found++;
        stopped = hit(ctx, s, base - tn + k);
      }
    }
  }
  // Matches inside the chunk: scan for the anchor byte, then compare.
  const int32_t a = m->anchor;
  const uint8_t want = p.bytes[a];
  const int fold = p.fold_case && letter(want);
  for (int32_t i = a; !stopped && i <= n - (len - a);) {
    if (fold) {
      if ((data[i] | 0x20) != want) {
        i++;
        continue;
      }
    } else {
      const void* at = std::memchr(data + i, want, static_cast<size_t>(n - (len - a) - i + 1));
      if (!at) break;
      i = static_cast<int32_t>(static_cast<const uint8_t*>(at) - data);
    }
    if (matches_at(p, data + i - a)) {
      found++;
      stopped = hit(ctx, s, base + i - a);
    }
    i++;
  }
  // The stream's last len - 1 bytes, for the next chunk.
  const int32_t keep = len - 1;
  if (n >= keep) {
    std::memcpy(m->tail[s], data + n - keep, static_cast<size_t>(keep));
    m->tail_n[s] = keep;
  } else {
    const int32_t old = tn + n > keep ? keep - n : tn;
    std::memmove(m->tail[s], m->tail[s] + tn - old, static_cast<size_t>(old));
    std::memcpy(m->tail[s] + old, data, static_cast<size_t>(n));
    m->tail_n[s] = old + n;
  }
  m->fed[s] = base + n;
  return found;
}
