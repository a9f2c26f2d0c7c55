#include "view/logfile.h"

#include <cstdio>
#include <cstring>

#include "app/capture.h"

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
