#include "tools/strings_file.h"

#include "app/text16.h"

int strings_file_fix_extension(char16_t* path, size_t cap) {
  size_t len = text16_len(path);
  if (len >= 4 && text16_equal_nocase(path + len - 4, u".txt")) return 0;
  size_t cut = len;
  for (size_t i = len >= 4 ? len - 4 : 0; i < len; i++)
    if (path[i] == u'.') {
      cut = i;
      break;
    }
  if (cut + 4 + 1 > cap) return 1;
  path[cut] = 0;
  text16_append(path, cap, u".txt");
  return 0;
}

int strings_file_line(const StringEntry* entry, char16_t out[kStringsLineUnits]) {
  static const char kDigits[] = "0123456789ABCDEF";
  int n = entry->count < 0 ? 0 : entry->count > kEntryUnits ? kEntryUnits : entry->count;
  int k = 0;
  for (int i = 0; i < n; i++) {
    // Units hold byte values (hex entry) or characters; a strings file
    // keeps bytes, so only the low 8 bits are written.
    uint8_t b = static_cast<uint8_t>(entry->units[i]);
    out[k++] = static_cast<char16_t>(kDigits[b >> 4]);
    out[k++] = static_cast<char16_t>(kDigits[b & 15]);
  }
  out[k++] = u'\r';
  out[k++] = u'\n';
  return k;
}
