// Feeds arbitrary bytes as a companion times file for a log of an
// arbitrary record count, into an array of exactly that many times, so
// that AddressSanitizer sees any write past it. A file read as ok must be
// exactly the header and one time per record and must come back byte for
// byte from the writer (the ignored reserved field aside); any other status
// must leave every time unknown. The same bytes, taken as records with the
// times read, then go through the chunk walk and both export writers: every
// byte written is printable ASCII or a CR LF line end, and the CSV has one
// line per chunk under its header; the statistics count every chunk once
// and keep their latencies in order.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "tests/fuzz/written_check.h"
#include "timeline/chunks.h"
#include "timeline/export.h"
#include "timeline/stats.h"
#include "timeline/times_file.h"

int32_t fuzz_zone(int64_t wall_us) { return static_cast<int32_t>(wall_us % 1441); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int32_t log_records = in.ConsumeIntegralInRange<int32_t>(-2, 1024);
  const uint64_t log_check = in.ConsumeIntegral<uint64_t>();
  const std::vector<uint8_t> file = in.ConsumeRemainingBytes<uint8_t>();

  const size_t slots = log_records > 0 ? static_cast<size_t>(log_records) : 0;
  std::unique_ptr<int64_t[]> times(new int64_t[slots ? slots : 1]);
  int64_t offset = 12345;
  TimelineCompanionStatus status =
      timeline_companion_parse(file.empty() ? nullptr : file.data(), file.size(), log_records, log_check, times.get(),
                               &offset);
  check(status >= kCompanionOk && status <= kCompanionOtherLog);
  if (status == kCompanionOk) {
    check(log_records >= 0 && file.size() == kTimelineHeaderBytes + 8 * slots);
    std::vector<uint8_t> again(file.size());
    timeline_companion_header(log_records, offset, log_check, again.data());
    timeline_companion_encode(times.get(), log_records, again.data() + kTimelineHeaderBytes);
    check(std::memcmp(again.data(), file.data(), 24) == 0);
    check(std::memcmp(again.data() + 32, file.data() + 32, file.size() - 32) == 0);
  } else {
    check(offset == 0);
    for (size_t i = 0; i < slots; i++) check(times[i] == kTimeUnknown);
  }

  // The bytes as records, as a loaded log holds them, with the times read.
  const int32_t count = static_cast<int32_t>(file.size() / kCaptureRecordSize);
  std::unique_ptr<CaptureRecord[]> records(new CaptureRecord[count ? count : 1]);
  if (count) std::memcpy(records.get(), file.data(), static_cast<size_t>(count) * kCaptureRecordSize);
  std::unique_ptr<int64_t[]> record_times(new int64_t[count ? count : 1]);
  for (int32_t i = 0; i < count; i++) record_times[i] = i < log_records ? times[i] : kTimeUnknown;

  int64_t chunks = 0;
  int32_t at = 0, gap = -1, seen = 0;
  TimelineChunk c;
  while (timeline_next_chunk(records.get(), record_times.get(), count, &at, &gap, &c)) {
    check(c.first >= seen && c.count > 0 && c.first + c.count <= at && at <= count);
    check(c.kind >= kKindRecvCh1 && c.kind <= kKindSentCh2);
    check(c.gap_tenths_before >= -1 && c.gap_tenths_before <= 9999);
    seen = at;
    chunks++;
  }
  check(at == count);

  Written csv = {0, 0};
  ByteSink csv_sink = {&csv, check_write};
  check(timeline_write_csv(records.get(), record_times.get(), count, &csv_sink) == 0);
  check(csv.line_ends == chunks + 1 && csv.last == '\n');

  Written text = {0, 0};
  ByteSink text_sink = {&text, check_write};
  // Any speed and frame, the zone of the offset's choosing.
  const TimelineTextClock clock = {offset, fuzz_zone,
                                   {{static_cast<int32_t>(offset % 4000000), static_cast<int32_t>(offset % 130)},
                                    {static_cast<int32_t>(offset >> 40), static_cast<int32_t>((offset >> 8) % 200)}}};
  check(timeline_write_text(records.get(), record_times.get(), count, &clock, &text_sink) == 0);
  check(text.line_ends >= chunks + 1 && text.line_ends <= 2 * chunks + 1 && text.last == '\n');

  static TimelineStats stats;
  timeline_stats(records.get(), record_times.get(), count, static_cast<int>(offset & 1), clock.shape, &stats);
  int64_t stream_chunks = 0, silences = 0;
  for (const TimelineStream& st : stats.streams) {
    stream_chunks += st.chunks;
    check(st.bytes >= st.chunks && (st.first_us == kTimeUnknown) == (st.last_us == kTimeUnknown));
    check(st.rate == -1 || st.rate >= 0);
  }
  for (int64_t n : stats.silences) silences += n;
  check(stream_chunks == chunks && silences <= (chunks ? chunks - 1 : 0));
  check(stats.latency_count >= stats.latency_kept && stats.latency_kept <= kTimelineLatencyKept);
  check(stats.latency_count <= chunks / 2);
  if (stats.latency_count > 0) {
    check(stats.latency_min <= stats.latency_median && stats.latency_median <= stats.latency_p95);
    check(stats.latency_p95 <= stats.latency_max);
    for (int32_t i = 1; i < stats.latency_kept; i++) check(stats.latencies[i - 1] <= stats.latencies[i]);
  }
  return 0;
}
