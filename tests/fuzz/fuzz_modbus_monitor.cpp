// Feeds arbitrary records (any kind, any byte) with arbitrary times, in any
// channel layout, framing mode (each channel RTU or ASCII, or TCP) and line
// shapes, to the Modbus monitor with
// a frame array of arbitrary size and with a growable list, and its frames
// to the CSV writer. Every
// frame must lie within the records, start on a data record and end at or
// after its start; frames come sorted by their first record; pairs point
// at each other, request to answer; only paired answers have a latency; the
// kept values stay within their arrays; with nothing dropped every byte of
// the streams read lies in exactly one frame, and only a full array drops
// frames; the growable list keeps the same frames as an array that did not
// fill; the CSV is printable ASCII with CR LF ends and one line per frame
// under its header.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/fuzz/written_check.h"
#include "modbus/modbus_monitor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  ModbusMonitorOptions opt;
  opt.mode = in.ConsumeBool() ? kModbusAscii : kModbusRtu;
  opt.line_monitor = in.ConsumeBool();
  for (uint8_t& tcp : opt.tcp) tcp = in.ConsumeBool();
  for (LineShape& shape : opt.shape) {
    shape.baud = in.ConsumeIntegralInRange<int32_t>(-1, 1'000'000);
    shape.tenth_bits = in.ConsumeIntegralInRange<int32_t>(0, 130);
  }
  const int32_t capacity = in.ConsumeIntegralInRange<int32_t>(0, 80);
  const int timed = in.ConsumeIntegralInRange<int>(0, 2);  // none, increasing, arbitrary
  // Records: a kind selector and a data byte each; small steps of time.
  std::vector<CaptureRecord> records;
  std::vector<int64_t> times;
  int64_t now = in.ConsumeIntegral<int32_t>();
  while (in.remaining_bytes() >= 2) {
    uint8_t k = in.ConsumeIntegral<uint8_t>();
    CaptureRecord r = {};
    r.kind = k < 200 ? static_cast<uint8_t>(1 + k % 4) : static_cast<uint8_t>(128 + k % 3);
    r.data = in.ConsumeIntegral<uint8_t>();
    records.push_back(r);
    now += (k & 0x0F) * 700;
    int64_t t = now;
    if (timed == 2) {
      // Unknown, out of order, or at the ends of the range, as a log's times may be.
      if ((k & 0x30) == 0x30) t = kTimeUnknown;
      else if ((k & 0xC0) == 0xC0) t = (k & 1) ? INT64_MAX : INT64_MIN + 1;
      else t = now - (k >> 6) * 5000;
    }
    times.push_back(t);
  }
  const int32_t count = static_cast<int32_t>(records.size());
  std::vector<ModbusFrame> frames(static_cast<size_t>(capacity) + 1);
  int64_t dropped = -1;
  int32_t n = modbus_monitor_decode(records.data(), timed ? times.data() : nullptr, count, &opt, frames.data(),
                                    capacity, &dropped);
  check(n >= 0 && n <= capacity && dropped >= 0);
  check(dropped == 0 || n == capacity);
  int64_t stream_bytes = 0, frame_bytes = 0;
  for (const CaptureRecord& r : records)
    if (opt.line_monitor ? r.kind == kKindRecvCh1 || r.kind == kKindRecvCh2 : r.kind >= kKindRecvCh1 && r.kind <= kKindSentCh2)
      stream_bytes++;
  for (int32_t i = 0; i < n; i++) frame_bytes += frames[static_cast<size_t>(i)].length;
  check(dropped > 0 || frame_bytes == stream_bytes);
  for (int32_t i = 0; i < n; i++) {
    const ModbusFrame& f = frames[static_cast<size_t>(i)];
    check(f.first_record >= 0 && f.first_record <= f.last_record && f.last_record < count);
    check(records[static_cast<size_t>(f.first_record)].kind >= kKindRecvCh1 &&
          records[static_cast<size_t>(f.first_record)].kind <= kKindSentCh2);
    check(f.length >= 1 && f.length <= f.last_record - f.first_record + 1);
    check(i == 0 || frames[static_cast<size_t>(i) - 1].first_record < f.first_record);
    check(f.channel == 1 || f.channel == 2);
    check(f.role <= kMonitorAnswer && f.check <= kMonitorBadProtocol);
    check(f.mode == (opt.tcp[f.channel - 1] ? kModbusTcp : opt.mode));
    check(f.mode == kModbusTcp || (f.check != kMonitorBadLength && f.check != kMonitorBadProtocol));
    check(f.sent == (!opt.line_monitor && f.role == kMonitorRequest));
    check(f.value_count >= 0 && f.value_count <= kModbusMonitorValues);
    check(f.bit_bytes >= 0 && f.bit_bytes <= kModbusMonitorBitBytes);
    if (f.pair >= 0) {
      check(f.pair < n);
      const ModbusFrame& o = frames[static_cast<size_t>(f.pair)];
      check(o.pair == i && o.role != f.role && o.check == kMonitorOk && f.check == kMonitorOk);
      check(f.role == kMonitorAnswer ? f.pair < i : f.pair > i);
    } else {
      check(f.pair == -1);
    }
    if (f.latency_us != kTimeUnknown) check(f.role == kMonitorAnswer && f.pair >= 0);
    char summary[kModbusMonitorSummaryChars];
    int len = modbus_monitor_summary(&f, summary);
    check(len > 0 && len < kModbusMonitorSummaryChars && summary[len] == 0 &&
          static_cast<int>(std::strlen(summary)) == len);
  }
  Written csv = {0, 0};
  ByteSink sink = {&csv, check_write};
  const int64_t origin = timeline_first_time_us(records.data(), timed ? times.data() : nullptr, count);
  check(modbus_monitor_write_csv(frames.data(), n, origin, &sink) == 0);
  check(csv.line_ends == n + 1 && csv.last == '\n');
  ModbusFrameList list;
  check(modbus_monitor_decode_list(records.data(), timed ? times.data() : nullptr, count, &opt, &list, nullptr) == 0);
  check(list.dropped == 0 && list.n >= n);
  if (dropped == 0 && n > 0) check(list.n == n && std::memcmp(list.frames, frames.data(), sizeof(ModbusFrame) * n) == 0);
  modbus_frame_list_free(&list);
  return 0;
}
