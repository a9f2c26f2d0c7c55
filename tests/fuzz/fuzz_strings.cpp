// Feeds arbitrary bytes to the strings file reader, in pieces of arbitrary
// sizes, and arbitrary lines to the line parser. The list is allocated at
// its exact size so that AddressSanitizer sees any write past it; every
// entry must stay within 256 units with nothing beyond its count, the line
// count within 200, the same bytes fed in one piece must give the same
// list, and each entry the writer writes must read back unit for unit.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "send/strings_file.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

void check_list(const StringEntry* list, const StringsReadReport& report) {
  check(report.lines >= 0 && report.lines <= kStringsFileLines);
  check(report.long_lines >= 0 && report.full_lines >= 0);
  check(report.long_lines + report.full_lines <= report.lines);
  for (int i = 0; i < kStringsListEntries; i++) {
    const StringEntry& e = list[i];
    check(e.count >= 0 && e.count <= kEntryUnits);
    if (i >= report.lines) check(e.count == 0);
    for (int k = e.count; k < kEntryUnits; k++) check(e.units[k] == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const size_t piece = in.ConsumeIntegralInRange<size_t>(1, 600);
  const std::vector<uint8_t> text = in.ConsumeRemainingBytes<uint8_t>();

  std::unique_ptr<StringEntry[]> list(new StringEntry[kStringsListEntries]);
  std::unique_ptr<StringsReader> reader(new StringsReader);
  strings_reader_begin(reader.get(), list.get());
  for (size_t at = 0; at < text.size(); at += piece)
    strings_reader_feed(reader.get(), text.data() + at, std::min(piece, text.size() - at));
  strings_reader_end(reader.get());
  check_list(list.get(), reader->report);

  std::unique_ptr<StringEntry[]> whole(new StringEntry[kStringsListEntries]);
  std::unique_ptr<StringsReader> again(new StringsReader);
  strings_reader_begin(again.get(), whole.get());
  strings_reader_feed(again.get(), text.data(), text.size());
  strings_reader_end(again.get());
  check(std::memcmp(&reader->report, &again->report, sizeof(StringsReadReport)) == 0);
  check(std::memcmp(list.get(), whole.get(), sizeof(StringEntry) * kStringsListEntries) == 0);

  // The same bytes as one line, exactly as long as they are.
  const int len = static_cast<int>(text.size() / 2);
  std::unique_ptr<char16_t[]> line(new char16_t[len > 0 ? len : 1]);
  if (len > 0) std::memcpy(line.get(), text.data(), 2 * static_cast<size_t>(len));
  std::unique_ptr<StringEntry> e(new StringEntry);
  const int refused = strings_file_parse_line(line.get(), len, e.get());
  check(refused == 0 || refused == 1);
  check(e->count >= 0 && e->count <= kEntryUnits && (!refused || e->count == 0));
  for (int k = e->count; k < kEntryUnits; k++) check(e->units[k] == 0);

  // Every entry read is written as a line that reads back to the same units,
  // or refused as too long for a line.
  for (int i = 0; i < kStringsListEntries; i++) {
    if (list[i].count == 0) continue;
    std::unique_ptr<char16_t[]> out(new char16_t[kStringsLineUnits]);
    const int n = strings_file_line(&list[i], out.get());
    if (n < 0) continue;
    check(n >= 4 && n <= kStringsLineUnits && out[n - 2] == u'\r' && out[n - 1] == u'\n');
    for (int k = 0; k < n - 2; k++) check(out[k] != u'\n');
    std::unique_ptr<StringEntry> back(new StringEntry);
    check(strings_file_parse_line(out.get(), n - 2, back.get()) == 0);
    check(std::memcmp(back.get(), &list[i], sizeof(StringEntry)) == 0);
  }
  return 0;
}
