#include "timeline/events_file.h"

#include <cstring>

namespace {

void put_le(uint64_t v, int bytes, uint8_t* out) {
  for (int i = 0; i < bytes; i++) out[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t get_le(const uint8_t* in, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; i++) v |= static_cast<uint64_t>(in[i]) << (8 * i);
  return v;
}

}  // namespace

void timeline_events_encode(const LineEvent* events, int32_t count, int64_t records, uint64_t log_check, uint8_t* out) {
  std::memcpy(out, kEventsMagic, 8);
  put_le(static_cast<uint64_t>(records), 8, out + 8);
  put_le(log_check, 8, out + 16);
  put_le(static_cast<uint32_t>(count), 4, out + 24);
  put_le(0, 4, out + 28);
  for (int32_t i = 0; i < count; i++) {
    uint8_t* e = out + kEventsHeaderBytes + static_cast<size_t>(i) * kEventsEntryBytes;
    put_le(static_cast<uint64_t>(events[i].place), 8, e);
    put_le(static_cast<uint64_t>(events[i].time_us), 8, e + 8);
    e[16] = events[i].kind;
    e[17] = events[i].channel;
    put_le(events[i].port, 2, e + 18);
    put_le(events[i].detail, 4, e + 20);
  }
}

TimelineEventsStatus timeline_events_parse(const uint8_t* data, size_t len, int32_t log_records, uint64_t log_check,
                                           LineEvent* events_out, int32_t* count_out) {
  *count_out = 0;
  if (!data || len < static_cast<size_t>(kEventsHeaderBytes)) return kEventsNone;
  if (std::memcmp(data, kEventsMagic, 8) != 0) return kEventsDamaged;
  if (log_records < 0 || static_cast<int64_t>(get_le(data + 8, 8)) != log_records || get_le(data + 16, 8) != log_check)
    return kEventsOtherLog;
  const uint64_t count = get_le(data + 24, 4);
  if (count > static_cast<uint64_t>(kCaptureEvents) || get_le(data + 28, 4) != 0) return kEventsDamaged;
  if (static_cast<uint64_t>(len) != kEventsHeaderBytes + count * kEventsEntryBytes) return kEventsDamaged;
  int64_t previous = 0;
  for (uint64_t i = 0; i < count; i++) {
    const uint8_t* e = data + kEventsHeaderBytes + i * kEventsEntryBytes;
    LineEvent v;
    v.place = static_cast<int64_t>(get_le(e, 8));
    v.time_us = static_cast<int64_t>(get_le(e + 8, 8));
    v.kind = e[16];
    v.channel = e[17];
    v.port = static_cast<uint16_t>(get_le(e + 18, 2));
    v.detail = static_cast<uint32_t>(get_le(e + 20, 4));
    // Events lie in the log's order, each at a record of it or at its end.
    if (v.place < previous || v.place > log_records || v.kind < kEventOpened || v.kind > kEventRefused ||
        v.channel > 2) {
      *count_out = 0;
      return kEventsDamaged;
    }
    previous = v.place;
    events_out[i] = v;
  }
  *count_out = static_cast<int32_t>(count);
  return kEventsOk;
}
