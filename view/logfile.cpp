#include "view/logfile.h"

#include <cstdio>
#include <cstring>

#include "app/capture.h"
#include "app/text16.h"

void logfile_format_header(int32_t count, uint8_t out[kLogHeaderBytes]) {
  char text[kLogHeaderBytes];
  std::memset(out, 0, kLogHeaderBytes);
  int n = std::snprintf(text, sizeof text, "%015d\r", count);
  for (int i = 0; i < n && 2 * i + 1 < kLogHeaderBytes; i++) out[2 * i] = static_cast<uint8_t>(text[i]);
}

int64_t logfile_parse_header(const uint8_t header[kLogHeaderBytes], int* has_digits) {
  const int units = kLogHeaderBytes / 2;
  int i = 0;
  auto unit = [&](int k) { return static_cast<char16_t>(header[2 * k] | header[2 * k + 1] << 8); };
  while (i < units && (unit(i) == u' ' || unit(i) == u'\t')) i++;
  int negative = 0;
  if (i < units && (unit(i) == u'-' || unit(i) == u'+')) negative = unit(i++) == u'-';
  int64_t value = 0;
  *has_digits = 0;
  // 16 units at most, so the value cannot overflow 64 bits.
  for (; i < units && unit(i) >= u'0' && unit(i) <= u'9'; i++) {
    value = value * 10 + (unit(i) - u'0');
    *has_digits = 1;
  }
  return negative ? -value : value;
}

LogLoadPlan logfile_plan_load(const uint8_t* header, size_t header_len, uint64_t file_size) {
  LogLoadPlan plan = {kLogLoadNotLog, 0, 0};
  if (header_len < static_cast<size_t>(kLogHeaderBytes) || file_size < kLogHeaderBytes) return plan;
  int has_digits = 0;
  plan.declared = logfile_parse_header(header, &has_digits);
  if (!has_digits) return plan;
  if (plan.declared < 0) {
    plan.status = kLogLoadNegative;
    return plan;
  }
  uint64_t present = (file_size - kLogHeaderBytes) / kCaptureRecordSize;
  int64_t records = plan.declared;
  plan.status = kLogLoadOk;
  if (static_cast<uint64_t>(records) > present) {
    records = static_cast<int64_t>(present);
    plan.status = kLogLoadShort;
  }
  if (records > kCaptureWrapThreshold) {
    records = kCaptureWrapThreshold;
    plan.status = kLogLoadCut;
  }
  plan.records = static_cast<int32_t>(records);
  return plan;
}

static const char16_t* file_chooser_default_name(int mode) {
  return mode == kChooseOpenText ? u"Temp1.txt" : u"Temp1.log";
}

static const char16_t* file_chooser_extension(int mode) {
  return mode == kChooseOpenText ? u".txt" : u".log";
}

static int text16_has(const char16_t* s, char16_t c) {
  for (; *s; s++)
    if (*s == c) return 1;
  return 0;
}

int file_chooser_initial_path(char16_t* path, const char16_t* program_dir, int mode) {
  if (!text16_has(path, u'.')) text16_copy(path, kPathChars, file_chooser_default_name(mode));
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
      text16_append(full, kPathChars, file_chooser_default_name(mode)) == 0)
    text16_copy(path, kPathChars, full);
  else
    text16_copy(path, kPathChars, file_chooser_default_name(mode));
  return 1;
}

int file_chooser_fix_extension(char16_t* name, int mode) {
  const char16_t* ext = file_chooser_extension(mode);
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
