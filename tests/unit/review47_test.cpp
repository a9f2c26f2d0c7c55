// Faults found in review: what Find's list says a text find looked for,
// where the status bar's parts go with an RFC 2217 link, and the size a
// stopped recording is said to have.
#include "app/chrome.h"
#include "find/find_rows.h"
#include "record/record_file.h"
#include "ui/scale.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A text find without Match case looks for "Error" in either case: the
// list's Found column (and its CSV) must say the bytes typed, not the
// folded ones ("65 72 72 6F 72" reads as "error", which was never typed).
TEST(Review47, FoundColumnOfATextFindSaysTheBytesTyped) {
  const uint8_t typed[] = {'E', 'r', 'r', 'o', 'r'};
  FindPattern p;
  ASSERT_EQ(find_pattern_text(typed, 5, 0, nullptr, &p).fault, kFindPatternOk);
  char found[sizeof FindRowText::found];
  find_pattern_found(p, found);
  EXPECT_STREQ(found, "45 72 72 6F 72");
}

// The seed's status bar ends at 1220 px (96 DPI), which a 1280 px wide
// screen holds, and 1830 px at 144 DPI, which a 1920 px one holds. A
// network link must not push the parts after its port part further right
// (the "BufferSize" part cut at the window's edge): socket:// and listen://
// keep them in place, an rfc2217:// link moves them 100 px a channel.
TEST(Review47, AnRfc2217LinkKeepsTheStatusBarPartsWhereTheSeedHasThem) {
  const int32_t kinds[][2] = {{kStatusNetLine, 0}, {0, kStatusNetLine}, {kStatusNetLine, kStatusNetLine}};
  for (int32_t dpi : {96, 144}) {
    const int32_t none[2] = {0, 0};
    int seed[kStatusParts], edges[kStatusParts];
    status_part_edges(none, dpi, seed);
    for (const auto& net : kinds) {
      status_part_edges(net, dpi, edges);
      EXPECT_LE(edges[kStatusParts - 1], seed[kStatusParts - 1]) << dpi << " " << net[0] << net[1];
      EXPECT_LE(edges[9], seed[9]) << "BufferSize part " << dpi << " " << net[0] << net[1];
    }
  }
}

// A short bench session writes some kilobytes: the stop's summary ("Saved
// %ls", "Recorded %ls in %d file(s)") must not read as if nothing was
// written. Seen after a recording of one line: "Saved 0.0 MB".
TEST(Review47, TheSizeOfASmallRecordingDoesNotReadAsNothing) {
  char size[24];
  for (uint64_t bytes : {uint64_t{4096}, uint64_t{50000}, uint64_t{104857}}) {
    record_size_text(bytes, size);
    EXPECT_STRNE(size, "0.0 MB") << bytes;
  }
}

}  // namespace
