#include "timeline/times_file.h"

#include <cstring>

namespace {

void put_le64(int64_t value, uint8_t* out) {
  uint64_t v = static_cast<uint64_t>(value);
  for (int i = 0; i < 8; i++) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

int64_t get_le64(const uint8_t* in) {
  uint64_t v = 0;
  for (int i = 0; i < 8; i++) v |= static_cast<uint64_t>(in[i]) << (8 * i);
  return static_cast<int64_t>(v);
}

}  // namespace

int timeline_companion_name(const char16_t* log, int count, char16_t* out, int out_units, const char16_t* suffix) {
  int n = 0;
  while (suffix[n]) n++;
  if (count < 0 || out_units <= 0 || count > out_units - 1 - n) {
    if (out_units > 0) out[0] = 0;
    return -1;
  }
  for (int i = 0; i < count; i++) out[i] = log[i];
  for (int i = 0; i < n; i++) out[count + i] = suffix[i];
  out[count + n] = 0;
  return count + n;
}

uint64_t timeline_log_check(const CaptureRecord* records, int32_t count) {
  // FNV-1a over the records' bytes as the log holds them.
  uint64_t h = UINT64_C(14695981039346656037);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(records);
  const size_t n = count > 0 ? static_cast<size_t>(count) * kCaptureRecordSize : 0;
  for (size_t i = 0; i < n; i++) {
    h ^= p[i];
    h *= UINT64_C(1099511628211);
  }
  return h ? h : 1;
}

void timeline_companion_header(int64_t count, int64_t wall_offset_us, uint64_t log_check,
                               uint8_t out[kTimelineHeaderBytes]) {
  std::memcpy(out, kTimelineCompanionMagic, 8);
  put_le64(count, out + 8);
  put_le64(wall_offset_us, out + 16);
  put_le64(static_cast<int64_t>(log_check), out + 24);
}

void timeline_companion_encode(const int64_t* times, int32_t count, uint8_t* out) {
  for (int32_t i = 0; i < count; i++) put_le64(times[i], out + 8 * static_cast<size_t>(i));
}

TimelineCompanionStatus timeline_companion_parse(const uint8_t* data, size_t len, int32_t log_records,
                                                 uint64_t log_check, int64_t* times_out, int64_t* wall_offset_out) {
  for (int32_t i = 0; i < log_records; i++) times_out[i] = kTimeUnknown;
  *wall_offset_out = 0;
  if (!data || len < static_cast<size_t>(kTimelineHeaderBytes)) return kCompanionShort;
  if (std::memcmp(data, kTimelineCompanionMagic, 8) != 0) return kCompanionDamaged;
  int64_t declared = get_le64(data + 8);
  if (log_records < 0 || declared != log_records) return kCompanionCountDiffers;
  // log_records is at most 2^31 - 1, so the body size fits in 64 bits.
  uint64_t body = static_cast<uint64_t>(len) - kTimelineHeaderBytes;
  uint64_t wanted = static_cast<uint64_t>(log_records) * 8;
  if (body < wanted) return kCompanionShort;
  if (body > wanted) return kCompanionDamaged;
  // A file written before the check holds 0 there and is taken on its count.
  const uint64_t check = static_cast<uint64_t>(get_le64(data + 24));
  if (check != 0 && check != log_check) return kCompanionOtherLog;
  for (int32_t i = 0; i < log_records; i++)
    times_out[i] = get_le64(data + kTimelineHeaderBytes + 8 * static_cast<size_t>(i));
  *wall_offset_out = get_le64(data + 16);
  return kCompanionOk;
}
