#include "find/find_rows.h"

#include <cstdio>
#include <cstring>

#include "timeline/export.h"

void find_time_texts(int64_t t, int64_t origin, int64_t local_us, char seconds[40], char day[24]) {
  seconds[0] = day[0] = 0;
  const int64_t d = t == kTimeUnknown || origin == kTimeUnknown ? kTimeUnknown : time_sub_us(t, origin);
  if (d != kTimeUnknown) {
    const int64_t a = d < 0 ? -d : d;  // never INT64_MIN: that is kTimeUnknown
    std::snprintf(seconds, 40, "%s%lld.%06lld", d < 0 ? "-" : "", static_cast<long long>(a / 1000000),
                  static_cast<long long>(a % 1000000));
  }
  char full[32];
  if (local_us != kTimeUnknown && timeline_format_wall(local_us, 0, full) == 0) std::snprintf(day, 24, "%s", full + 11);
}

void find_row_text(const FindFound& f, int64_t origin, int64_t local_us, const uint8_t* preview, int32_t preview_n,
                   FindRowText* out) {
  *out = FindRowText{};
  find_time_texts(f.time_us, origin, local_us, out->seconds, out->day);
  if (f.channel == 1 || f.channel == 2) std::snprintf(out->channel, sizeof out->channel, "CH%d", f.channel);
  if (f.what != kFindLineEvent && f.kind >= 1 && f.kind <= 4)
    std::snprintf(out->direction, sizeof out->direction, "%s", f.kind % 2 ? "RX" : "TX");
  switch (f.what) {
    case kFindSilence:
      std::snprintf(out->found, sizeof out->found, "silence %lld.%03lld ms", static_cast<long long>(f.detail / 1000),
                    static_cast<long long>(f.detail % 1000));
      break;
    case kFindBadFrame:
      if (f.why == kFindBadCheck) std::snprintf(out->found, sizeof out->found, "%s", modbus_check_name(static_cast<uint8_t>(f.detail)));
      else if (f.why == kFindBadException)
        std::snprintf(out->found, sizeof out->found, "exception %02X %s", static_cast<unsigned>(f.detail & 0xFF),
                      modbus_exception_name(static_cast<uint8_t>(f.detail)));
      else std::snprintf(out->found, sizeof out->found, "no answer");
      break;
    case kFindLineEvent:
      if (f.why == kEventSettings) std::snprintf(out->found, sizeof out->found, "settings %lld baud", static_cast<long long>(f.detail));
      else if (f.why == kEventBack) std::snprintf(out->found, sizeof out->found, "back after %lld ms", static_cast<long long>(f.detail));
      else if (f.why == kEventLost || f.why == kEventRecordStopped)
        std::snprintf(out->found, sizeof out->found, "%s error %lld", line_event_name(f.why), static_cast<long long>(f.detail));
      else std::snprintf(out->found, sizeof out->found, "%s", line_event_name(f.why));
      break;
    default: break;
  }
  if (preview_n > kFindPreviewBytes) preview_n = kFindPreviewBytes;
  int k = 0;
  for (int32_t i = 0; i < preview_n; i++) {
    k += std::snprintf(out->hex + k, sizeof out->hex - static_cast<size_t>(k), i ? " %02X" : "%02X", preview[i]);
    out->text[i] = preview[i] >= 0x20 && preview[i] < 0x7F ? static_cast<char>(preview[i]) : '.';
  }
}

int32_t find_line_row(const FindRowText& t, const FindFound& f, char* out, int32_t room) {
  char offset[24] = "";
  if (f.offset >= 0) std::snprintf(offset, sizeof offset, "%lld", static_cast<long long>(f.offset));
  const int n = std::snprintf(out, static_cast<size_t>(room), "%s,%s,%s,%s,%s,%s\r\n", t.seconds, t.day, t.channel,
                              t.direction, t.found, offset);
  return n < 0 || n >= room ? -1 : n;
}

int32_t find_csv_row(const FindRowText& t, char* out, int32_t room) {
  char text[2 * kFindPreviewBytes + 3];
  int k = 0;
  const int quote = std::strpbrk(t.text, ",\"") != nullptr;
  if (quote) text[k++] = '"';
  for (const char* p = t.text; *p; p++) {
    if (*p == '"') text[k++] = '"';
    text[k++] = *p;
  }
  if (quote) text[k++] = '"';
  text[k] = 0;
  const int n = std::snprintf(out, static_cast<size_t>(room), "%s,%s,%s,%s,%s,%s,%s\r\n", t.seconds, t.day, t.channel,
                              t.direction, t.found, t.hex, text);
  return n < 0 || n >= room ? -1 : n;
}

int32_t find_preview(const CaptureRecord* records, int32_t count, const FindFound& f, uint8_t out[kFindPreviewBytes]) {
  int32_t n = 0;
  for (int32_t i = f.first < 0 ? count : f.first; i < count && n < kFindPreviewBytes; i++) {
    if (records[i].kind == f.kind) out[n++] = capture_byte(records[i]);
    else if (records[i].kind < 128) break;  // another stream's chunk: the find's bytes stop here
  }
  return n;
}

void find_pattern_found(const FindPattern& p, char out[sizeof FindRowText::found]) {
  constexpr int kRoom = sizeof FindRowText::found;
  const int fits = kRoom / 3;  // "XX" and a blank each, no blank after the last, and the NUL
  const int shown = p.length <= fits ? p.length : fits - 2;
  int k = 0;
  out[0] = 0;
  for (int i = 0; i < shown; i++) {
    if (p.any[i]) k += std::snprintf(out + k, kRoom - k, i ? " ??" : "??");
    else k += std::snprintf(out + k, kRoom - k, i ? " %02X" : "%02X", p.fold[i] ? p.typed[i] : p.bytes[i]);
  }
  if (shown < p.length) std::snprintf(out + k, kRoom - k, " ...");
}
