// Feeds arbitrary bytes as an events file for a log of an arbitrary record
// count, into an array of exactly kCaptureEvents events, so that
// AddressSanitizer sees any write past it. A file read as ok must come back
// byte for byte from the writer, with every event inside the log and in
// order; any other status must leave no event. The events read then go
// through both export writers beside the file's bytes taken as records:
// every byte written is printable ASCII or a CR LF line end.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "tests/fuzz/written_check.h"
#include "timeline/events_file.h"
#include "timeline/export.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int32_t log_records = in.ConsumeIntegralInRange<int32_t>(-2, 4096);
  const uint64_t log_check = in.ConsumeIntegral<uint64_t>();
  const std::vector<uint8_t> file = in.ConsumeRemainingBytes<uint8_t>();

  std::unique_ptr<LineEvent[]> events(new LineEvent[kCaptureEvents]);
  int32_t count = -1;
  const TimelineEventsStatus status =
      timeline_events_parse(file.empty() ? nullptr : file.data(), file.size(), log_records, log_check, events.get(),
                            &count);
  check(status >= kEventsOk && status <= kEventsOtherLog);
  if (status != kEventsOk) {
    check(count == 0);
    return 0;
  }
  check(count >= 0 && count <= kCaptureEvents);
  for (int32_t i = 0; i < count; i++) {
    check(events[i].place >= 0 && events[i].place <= log_records);
    check(i == 0 || events[i].place >= events[i - 1].place);
  }
  std::vector<uint8_t> again(kEventsHeaderBytes + static_cast<size_t>(count) * kEventsEntryBytes);
  timeline_events_encode(events.get(), count, log_records, log_check, again.data());
  check(again.size() == file.size() && std::memcmp(again.data(), file.data(), file.size()) == 0);

  const int32_t records_n = static_cast<int32_t>(file.size() / kCaptureRecordSize);
  std::unique_ptr<CaptureRecord[]> records(new CaptureRecord[records_n ? records_n : 1]);
  std::unique_ptr<int64_t[]> times(new int64_t[records_n ? records_n : 1]);
  if (records_n) std::memcpy(records.get(), file.data(), static_cast<size_t>(records_n) * kCaptureRecordSize);
  for (int32_t i = 0; i < records_n; i++) times[i] = kTimeUnknown;
  const TimelineEvents list = {events.get(), count, 0};
  Written csv = {0, 0}, text = {0, 0};
  const ByteSink csv_sink = {&csv, check_write}, text_sink = {&text, check_write};
  TimelineTextClock clock = {0, nullptr, {}};
  check(timeline_write_csv(records.get(), times.get(), records_n, &csv_sink, &list) == 0);
  check(timeline_write_text(records.get(), times.get(), records_n, &clock, &text_sink, &list) == 0);
  return 0;
}
