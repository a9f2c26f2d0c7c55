// Feeds arbitrary bytes as the theme file, split into pieces the way reads
// may deliver them: the reader must stay inside its line buffer, give flags
// of 0 or 1, and read the same flags whatever the split.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "settings/palette.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t piece = data[0] % 7 + 1;
  data++;
  size--;
  ThemeReader whole;
  theme_reader_init(&whole);
  theme_reader_feed(&whole, data, size);
  ThemeReader split;
  theme_reader_init(&split);
  for (size_t i = 0; i < size; i += piece)
    theme_reader_feed(&split, data + i, size - i < piece ? size - i : piece);
  if (whole.length < 0 || whole.length >= 512) std::abort();
  if ((whole.flags.dark_mode & ~1) || (whole.flags.menu_suppressed & ~1)) std::abort();
  if (whole.flags.dark_mode != split.flags.dark_mode) std::abort();
  if (whole.flags.menu_suppressed != split.flags.menu_suppressed) std::abort();
  return 0;
}
