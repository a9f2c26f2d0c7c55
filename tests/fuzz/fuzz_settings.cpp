// Feeds arbitrary text as a settings file (key=value lines) and as a message
// text file: loading must keep every text within its buffer and terminated,
// and a save followed by a load must give the same settings. The same
// text is read as a color file too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "settings/message_text.h"
#include "settings/palette.h"
#include "settings/settings.h"

namespace {

struct Section {
  std::map<std::u16string, std::u16string> values;
};

int32_t get_int(void* ctx, const char16_t* key, int32_t def) {
  auto& v = static_cast<Section*>(ctx)->values;
  auto it = v.find(key);
  if (it == v.end()) return def;
  int64_t n = 0;
  size_t i = 0;
  bool neg = !it->second.empty() && it->second[0] == u'-';
  if (neg) i = 1;
  for (; i < it->second.size() && it->second[i] >= u'0' && it->second[i] <= u'9'; i++)
    n = (n * 10 + (it->second[i] - u'0')) & 0xFFFFFFFF;
  return static_cast<int32_t>(neg ? -n : n);
}

void get_text(void* ctx, const char16_t* key, const char16_t* def, char16_t* out, int units) {
  auto& v = static_cast<Section*>(ctx)->values;
  auto it = v.find(key);
  std::u16string s = it == v.end() ? std::u16string(def) : it->second;
  size_t n = s.size() < static_cast<size_t>(units - 1) ? s.size() : static_cast<size_t>(units - 1);
  std::memcpy(out, s.data(), n * sizeof(char16_t));
  out[n] = 0;
}

void put_text(void* ctx, const char16_t* key, const char16_t* value) {
  static_cast<Section*>(ctx)->values[key] = value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Section file;
  std::u16string line;
  auto flush = [&] {
    size_t eq = line.find(u'=');
    if (eq != std::u16string::npos) file.values[line.substr(0, eq)] = line.substr(eq + 1);
    line.clear();
  };
  for (size_t i = 0; i + 1 < size; i += 2) {
    char16_t c = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (c == u'\n' || c == 0) flush();
    else line.push_back(c);
  }
  flush();
  ProfileIo io = {&file, get_int, get_text, put_text};
  Settings s;
  settings_load(&s, &io);
  if (s.rs_hdchar[30] != 0 || s.macro_filename[259] != 0 || s.dlg13_end_char[4] != 0) std::abort();
  if (s.dlg13_conut == 0 || s.dlg13_byteratio == 0) std::abort();
  Section saved;
  ProfileIo out = {&saved, get_int, get_text, put_text};
  settings_save(&s, &out);
  saved.values[u"dlg13_start_char"] = s.dlg13_start_char;
  saved.values[u"dlg13_end_char"] = s.dlg13_end_char;
  Settings again;
  settings_load(&again, &out);
  if (std::memcmp(&s, &again, sizeof s) != 0) std::abort();

  static MessageTable table;
  message_table_load(&table, &io);
  for (int n = 0; n < kMessageTexts; n++)
    for (int lang = 0; lang < kLanguages; lang++) {
      if (table.text[n][lang][kMessageTextUnits - 1] != 0) std::abort();
      // Whatever the file holds, the field check reads only the text and
      // answers 0 or 1.
      if (message_fields_match(table.text[n][lang], message_fields(n)) > 1) std::abort();
    }

  // The color file: whatever it holds, saving what was read and reading it
  // again gives the same palettes.
  Palettes colors;
  palettes_load(&colors, &io);
  Section colors_saved;
  ProfileIo colors_out = {&colors_saved, get_int, get_text, put_text};
  palettes_save(&colors, &colors_out);
  Palettes colors_again;
  palettes_load(&colors_again, &colors_out);
  if (std::memcmp(&colors, &colors_again, sizeof colors) != 0) std::abort();
  return 0;
}
