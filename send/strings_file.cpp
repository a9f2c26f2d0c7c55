#include "send/strings_file.h"

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

namespace {

// A unit a double-quoted run can carry: the reader takes it back as it is,
// and a person editing the file sees it as text.
bool run_unit(char16_t u) { return u >= 0xA0 || (u >= 0x20 && u <= 0x7E && u != u'"'); }

}  // namespace

int strings_file_line(const StringEntry* entry, char16_t out[kStringsLineUnits]) {
  static const char kDigits[] = "0123456789ABCDEF";
  const int n = entry->count < 0 ? 0 : entry->count > kEntryUnits ? kEntryUnits : entry->count;
  const char16_t* u = entry->units;
  int wide = 0;
  for (int i = 0; i < n && !wide; i++) wide = u[i] > 0xFF;
  int k = 0;
  for (int i = 0; i < n;) {
    // The stretch of run units from i, and whether it is quoted.
    int end = i, has_wide = 0;
    if (wide)
      for (; end < n && run_unit(u[end]); end++) has_wide |= u[end] > 0xFF;
    if (end > i && (has_wide || end - i >= 3)) {
      if (k + (end - i) + 2 > kStringsLineMax) return -1;
      out[k++] = u'"';
      for (; i < end; i++) out[k++] = u[i];
      out[k++] = u'"';
      continue;
    }
    if (end == i) end = i + 1;  // a unit that cannot stand in a run
    for (; i < end; i++) {
      if (k + 2 > kStringsLineMax) return -1;
      out[k++] = static_cast<char16_t>(kDigits[u[i] >> 4 & 15]);
      out[k++] = static_cast<char16_t>(kDigits[u[i] & 15]);
    }
  }
  out[k++] = u'\r';
  out[k++] = u'\n';
  return k;
}

#include <cstring>

#include "codec/convert.h"

int strings_file_has_bom(const uint8_t* first, size_t size) {
  return size >= 2 && first[0] == 0xFF && first[1] == 0xFE;
}

int strings_file_parse_line(const char16_t* line, int len, StringEntry* out) {
  std::memset(out, 0, sizeof *out);
  char16_t quote = 0;  // the quote of the open run, 0 outside
  char16_t pair[2];
  int held = 0, n = 0;
  for (int i = 0; i < len; i++) {
    const char16_t c = line[i];
    char16_t unit;
    if (quote) {
      if (c == quote) {
        quote = 0;
        continue;
      }
      unit = c;
    } else if (c == u'"' || c == u'\'') {
      quote = c;
      continue;
    } else {
      pair[held++] = c;
      if (held < 2) continue;
      held = 0;
      unit = static_cast<char16_t>(convert_hex_value(pair, 2) & 0xFFFF);
    }
    if (n == kEntryUnits) {
      std::memset(out, 0, sizeof *out);
      return 1;
    }
    out->units[n++] = unit;
  }
  out->count = n;
  return 0;
}

void strings_reader_begin(StringsReader* r, StringEntry* entries) {
  std::memset(r, 0, sizeof *r);
  r->entries = entries;
  std::memset(entries, 0, sizeof(StringEntry) * kStringsListEntries);
}

namespace {

void note(int32_t* count, int32_t* first, int32_t line) {
  if ((*count)++ == 0) *first = line + 1;
}

// The current line is complete: it fills its entry unless it is empty or
// too long, and counts either way.
void line_end(StringsReader* r) {
  const int32_t k = r->report.lines;
  if (r->len > 0 && r->line[r->len - 1] == u'\r') r->len--;  // CR of CR LF
  if (r->too_long || r->len > kStringsLineMax) {
    note(&r->report.long_lines, &r->report.first_long_line, k);
  } else if (r->len > 0 && strings_file_parse_line(r->line, r->len, &r->entries[k])) {
    note(&r->report.full_lines, &r->report.first_full_line, k);
  }
  r->len = 0;
  r->too_long = 0;
  if (++r->report.lines >= kStringsFileLines) r->done = 1;
}

}  // namespace

int strings_reader_feed(StringsReader* r, const uint8_t* bytes, size_t size) {
  for (size_t i = 0; i < size && !r->done; i++) {
    if (!r->has_odd) {
      r->odd = bytes[i];
      r->has_odd = 1;
      continue;
    }
    r->has_odd = 0;
    const char16_t unit = static_cast<char16_t>(r->odd | bytes[i] << 8);
    if (unit == u'\n') {
      line_end(r);
    } else if (r->len < kStringsLineMax + 1) {
      r->line[r->len++] = unit;  // room for 512 units and the CR of CR LF
    } else {
      r->too_long = 1;
    }
  }
  return r->done;
}

void strings_reader_end(StringsReader* r) {
  if (!r->done && (r->len > 0 || r->too_long)) line_end(r);
}
