#include "ui/file_chooser.h"

#include <cstddef>

#include "app/text16.h"
#include "settings/message_text.h"

namespace {

constexpr char16_t kLogFilter[] = u"LogvFile(*.log)\0*.log\0AllFile(*.*)\0*.*\0";
constexpr char16_t kTextFilter[] = u"TxtFile(*.txt)\0*.txt\0AllFile(*.*)\0*.*\0";
constexpr char16_t kMacroFilter[] = u"Text(*.txt)\0*.txt\0";
constexpr char16_t kRecordingFilter[] = u"Recording(*.qrec)\0*.qrec\0AllFile(*.*)\0*.*\0";
constexpr char16_t kExportFilter[] = u"CSV(*.csv)\0*.csv\0Text(*.txt)\0*.txt\0AllFile(*.*)\0*.*\0";
constexpr char16_t kPictureFilter[] = u"PNG(*.png)\0*.png\0";

const FileChooserRule kRules[kChooseModes] = {
    {0, 11, nullptr, kLogFilter, u"Temp1.log", u".log", 0, 0},
    {1, 10, nullptr, kLogFilter, u"Temp1.log", u".log", 0, 0},
    {0, 11, nullptr, kTextFilter, u"Temp1.txt", u".txt", 0, 0},
    {0, 11, nullptr, kTextFilter, u"temp.txt", nullptr, 0, 0},
    {1, 10, nullptr, kTextFilter, u"temp.txt", nullptr, 0, 0},
    {0, 0, u"MACROファイル編集", kMacroFilter, u"*.txt", nullptr, 1, 0},
    {1, kTextExportTitle, nullptr, kExportFilter, u"Temp1.csv", nullptr, 0, 0},
    {1, kTextSaveMacroTitle, nullptr, kMacroFilter, u"replay.txt", u".txt", 0, 0},
    {0, kTextOpenRecordingTitle, nullptr, kRecordingFilter, u"*.qrec", nullptr, 1, 1},
    {1, kTextExportTitle, nullptr, kPictureFilter, u"plot.png", u".png", 0, 0},
};

int text16_has(const char16_t* s, char16_t c) {
  for (; *s; s++)
    if (*s == c) return 1;
  return 0;
}

}  // namespace

const FileChooserRule* file_chooser_rule(int mode) {
  return &kRules[mode >= 0 && mode < kChooseModes ? mode : kChooseOpenText];
}

int file_chooser_initial_path(char16_t* path, const char16_t* program_dir, int mode) {
  const char16_t* start = file_chooser_rule(mode)->start_name;
  if (!text16_has(path, u'.')) text16_copy(path, kPathChars, start);
  if (path[0] && path[1] == u':' && path[2] == u'\\') return 0;
  char16_t full[kPathChars];
  full[0] = 0;
  if (text16_copy(full, kPathChars, program_dir) == 0 && text16_append(full, kPathChars, u"\\") == 0 &&
      text16_append(full, kPathChars, path) == 0) {
    text16_copy(path, kPathChars, full);
    return 0;
  }
  full[0] = 0;
  if (text16_copy(full, kPathChars, program_dir) == 0 && text16_append(full, kPathChars, u"\\") == 0 &&
      text16_append(full, kPathChars, start) == 0)
    text16_copy(path, kPathChars, full);
  else
    text16_copy(path, kPathChars, start);
  return 1;
}

int file_chooser_fix_extension(char16_t* name, int mode) {
  const char16_t* ext = file_chooser_rule(mode)->extension;
  if (!ext) return 0;
  size_t len = text16_len(name);
  if (len >= 4 && text16_equal_nocase(name + len - 4, ext)) return 0;
  size_t part = 0;
  for (size_t i = 0; i < len; i++)
    if (name[i] == u'\\') part = i + 1;
  size_t cut = len;
  for (size_t i = part; i < len; i++)
    if (name[i] == u'.') {
      cut = i;
      break;
    }
  if (cut + 4 + 1 > static_cast<size_t>(kPathChars)) return 1;
  name[cut] = 0;
  text16_append(name, kPathChars, ext);
  return 0;
}
