#include "find/find_matcher.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// 1 when b[k] is the second byte of a double-byte character, `first` 1
// when b[0] is: a byte that is no lead byte always ends a character, so
// the lead bytes right before b[k] tell, counted back to it or to b[0].
int trail_at(const FindPattern& pat, const uint8_t* b, int32_t k, int first) {
  int32_t i = k;
  while (i > 0 && find_pattern_lead(pat, b[i - 1])) i--;
  if (i > 0) return (k - i) & 1;
  if (k == 0) return first;
  return first ? (k - 1) & 1 : k & 1;
}

// 1 when the pattern matches at b[at .. at + length - 1]; `first` as for trail_at.
int matches_at(const FindMatcher* m, const uint8_t* b, int32_t at, int first) {
  const FindPattern& pat = m->p;
  for (int j = 0; j < pat.length; j++) {
    const uint8_t c = b[at + j];
    if (pat.any[j] || c == pat.bytes[j]) continue;
    if (!find_pattern_byte_matches(pat, j, c, m->double_byte && trail_at(pat, b, at + j, first))) return 0;
  }
  return 1;
}

// The first i in [i, end) where (p[i] | mask) == want, or end: sixteen
// bytes a step with SSE2 (every x86-64 has it), else eight with the borrow
// trick (a byte equal to `want` leaves a zero byte in the word; the lowest
// one flagged is always a true one). Not memchr: the C runtime under Wine
// scans a byte at a time.
int32_t scan_for(const uint8_t* p, int32_t i, int32_t end, uint8_t want, uint8_t mask) {
#if defined(__SSE2__)
  const __m128i w = _mm_set1_epi8(static_cast<char>(want)), m = _mm_set1_epi8(static_cast<char>(mask));
  for (; i + 16 <= end; i += 16) {
    const __m128i x = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), m);
    const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(x, w));
    if (hits) return i + __builtin_ctz(static_cast<unsigned>(hits));
  }
#else
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the scan reads words low byte first");
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  const uint64_t w = kOnes * want, m = kOnes * mask;
  for (; i + 8 <= end; i += 8) {
    uint64_t x;
    std::memcpy(&x, p + i, 8);
    x = (x | m) ^ w;
    const uint64_t z = (x - kOnes) & ~x & kHighs;
    if (z) return i + (__builtin_ctzll(z) >> 3);
  }
#endif
  for (; i < end; i++)
    if ((p[i] | mask) == want) return i;
  return end;
}

}  // namespace

void find_matcher_begin(FindMatcher* m, const FindPattern& p, uint32_t streams) {
  std::memset(m, 0, sizeof *m);
  m->p = p;
  m->streams = streams;
  for (int b = 0; b < 32 && p.fold_case; b++)
    if (p.lead[b]) m->double_byte = 1;
  // The anchor: the last fixed byte that does not fold (one value to scan
  // for), else the last fixed byte.
  m->anchor = -1;
  for (int j = p.length - 1; j >= 0 && m->anchor < 0; j--)
    if (!p.any[j] && !p.fold[j]) m->anchor = j;
  for (int j = p.length - 1; j >= 0 && m->anchor < 0; j--)
    if (!p.any[j]) m->anchor = j;
  if (m->anchor < 0) m->anchor = 0;  // a pattern of nothing but "??": refused by the parser
}

int32_t find_matcher_feed(FindMatcher* m, int32_t s, const uint8_t* data, int32_t n,
                          void (*hit)(void* ctx, int32_t s, int64_t start), void* ctx) {
  if (s < 0 || s >= kFindStreams || n <= 0 || !(m->streams & (1u << s))) return 0;
  const FindPattern& p = m->p;
  const int32_t len = p.length;
  const int64_t base = m->fed[s];
  int32_t found = 0;
  const int32_t tn = m->tail_n[s];
  // Whether the chunk's first byte is the second of a character begun before.
  const int first = m->next_trail[s];
  // Matches that begin in the tail and end in this chunk: the tail and the
  // chunk's first bytes side by side.
  if (tn > 0) {
    uint8_t joined[2 * kFindPatternMax];
    const int32_t take = n < len - 1 ? n : len - 1;
    std::memcpy(joined, m->tail[s], static_cast<size_t>(tn));
    std::memcpy(joined + tn, data, static_cast<size_t>(take));
    for (int32_t k = 0; k < tn; k++) {
      if (k + len > tn + take || k + len <= tn) continue;
      if (matches_at(m, joined, k, m->tail_trail[s])) {
        found++;
        hit(ctx, s, base - tn + k);
      }
    }
  }
  // Matches inside the chunk: scan for the anchor byte, then compare.
  const int32_t a = m->anchor;
  const uint8_t want = p.bytes[a];
  // A letter that folds is scanned for in either case (want is lower case).
  const uint8_t mask = p.fold[a] ? 0x20 : 0x00;
  const int32_t last = n - (len - a);  // the last place the anchor can stand
  for (int32_t i = a; i <= last;) {
    i = scan_for(data, i, last + 1, want, mask);
    if (i > last) break;
    if (matches_at(m, data, i - a, first)) {
      found++;
      hit(ctx, s, base + i - a);
    }
    i++;
  }
  // The stream's last len - 1 bytes, for the next chunk.
  const int32_t keep = len - 1;
  if (n >= keep) {
    if (m->double_byte) m->tail_trail[s] = static_cast<uint8_t>(trail_at(p, data, n - keep, first));
    std::memcpy(m->tail[s], data + n - keep, static_cast<size_t>(keep));
    m->tail_n[s] = keep;
  } else {
    const int32_t old = tn + n > keep ? keep - n : tn;
    if (m->double_byte && old > 0) m->tail_trail[s] = static_cast<uint8_t>(trail_at(p, m->tail[s], tn - old, m->tail_trail[s]));
    else if (m->double_byte) m->tail_trail[s] = static_cast<uint8_t>(first);
    std::memmove(m->tail[s], m->tail[s] + tn - old, static_cast<size_t>(old));
    std::memcpy(m->tail[s] + old, data, static_cast<size_t>(n));
    m->tail_n[s] = old + n;
  }
  if (m->double_byte) m->next_trail[s] = static_cast<uint8_t>(trail_at(p, data, n, first));
  m->fed[s] = base + n;
  return found;
}

void find_matcher_break(FindMatcher* m, int32_t s) {
  if (s < 0 || s >= kFindStreams) return;
  m->tail_n[s] = 0;
  m->tail_trail[s] = m->next_trail[s] = 0;
}
