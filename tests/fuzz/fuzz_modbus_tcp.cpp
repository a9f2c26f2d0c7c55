// Feeds arbitrary bytes to the Modbus monitor as the records of a channel
// that carries Modbus TCP, cut into chunks at arbitrary places. MBAP
// framing looks at neither chunks nor times, so every cut gives the frames
// of the bytes in one chunk: the same places, lengths, checks and fields.
// Every byte lies in exactly one frame, one after the other. A frame with
// a good check has protocol id 0 and a length of 2 to 254 that its bytes
// bear out, and the transaction id and unit its bytes say; BAD PROTOCOL
// has a protocol id other than 0 and the length it states. The same bytes
// dealt out chunk by chunk to the channel's requests and answers pair only
// a request and an answer of one transaction, unit and function; the CSV
// of them is printable with one line per frame.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "modbus/modbus_monitor.h"
#include "tests/fuzz/written_check.h"

namespace {

std::vector<ModbusFrame> decode(const std::vector<CaptureRecord>& records, const ModbusMonitorOptions& opt) {
  ModbusFrameList list;
  check(modbus_monitor_decode_list(records.data(), nullptr, static_cast<int32_t>(records.size()), &opt, &list,
                                   nullptr) == 0);
  check(list.dropped == 0);
  std::vector<ModbusFrame> frames(list.frames, list.frames + list.n);
  modbus_frame_list_free(&list);
  return frames;
}

CaptureRecord data_record(uint8_t kind, uint8_t byte) {
  CaptureRecord r = {};
  r.kind = kind;
  r.data = byte;
  return r;
}

uint16_t be16(const uint8_t* b) { return static_cast<uint16_t>(b[0] << 8 | b[1]); }

// The fields a frame's bytes gave it, apart from where its records lie.
bool same_content(const ModbusFrame& a, const ModbusFrame& b) {
  return a.length == b.length && a.check == b.check && a.fields == b.fields && a.slave == b.slave &&
         a.function == b.function && a.byte_count == b.byte_count && a.exception == b.exception &&
         a.address == b.address && a.quantity == b.quantity && a.value == b.value && a.transaction == b.transaction &&
         a.value_count == b.value_count && a.bit_bytes == b.bit_bytes &&
         std::memcmp(a.values, b.values, sizeof a.values) == 0 && std::memcmp(a.bits, b.bits, sizeof a.bits) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::vector<size_t> cuts(in.ConsumeIntegralInRange<size_t>(0, 48));
  for (size_t& c : cuts) c = in.ConsumeIntegral<uint16_t>();
  const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
  const size_t n = bytes.size();
  for (size_t& c : cuts) c = n ? c % n : 0;
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());

  ModbusMonitorOptions opt = {kModbusRtu, 0, {{9600, 110}, {9600, 110}}};
  opt.tcp[0] = 1;

  // The bytes as one chunk of CH1's requests: record i is byte i.
  std::vector<CaptureRecord> whole;
  for (uint8_t b : bytes) whole.push_back(data_record(kKindSentCh1, b));
  const std::vector<ModbusFrame> frames = decode(whole, opt);
  size_t next = 0;
  for (const ModbusFrame& f : frames) {
    check(f.mode == kModbusTcp && f.channel == 1 && f.role == kMonitorRequest && f.pair == -1);
    check(f.first_record == static_cast<int32_t>(next) && f.length == f.last_record - f.first_record + 1);
    next += static_cast<size_t>(f.length);
    const uint8_t* b = bytes.data() + f.first_record;
    check(((f.fields & kFieldTransaction) != 0) == (f.check != kMonitorNotModbus && f.length >= 2));
    if (f.fields & kFieldTransaction) check(f.transaction == be16(b));
    if (f.check == kMonitorOk) {
      check(f.length >= 8 && b[2] == 0 && b[3] == 0);
      const int len = be16(b + 4);
      check(len >= 2 && len <= 254 && f.length == 6 + len && f.slave == b[6] && f.function == b[7]);
    }
    if (f.check == kMonitorBadProtocol) check((b[2] | b[3]) != 0 && f.length == 6 + be16(b + 4));
    if (f.check == kMonitorBadLength) check(f.length >= 6);
    check(f.check == kMonitorOk || f.check == kMonitorTooShort || f.check == kMonitorNotModbus ||
          f.check == kMonitorBadLength || f.check == kMonitorBadProtocol);
  }
  check(next == n);

  // The same bytes with a chunk ending at every cut: the same frames.
  std::vector<CaptureRecord> cut;
  std::vector<int32_t> byte_of;  // record -> byte, -1 for a marker
  size_t at = 0;
  for (size_t i = 0; i < n; i++) {
    if (at < cuts.size() && cuts[at] == i && i > 0) {
      cut.push_back(data_record(kKindGapText, 't'));
      byte_of.push_back(-1);
    }
    while (at < cuts.size() && cuts[at] <= i) at++;
    cut.push_back(data_record(kKindSentCh1, bytes[i]));
    byte_of.push_back(static_cast<int32_t>(i));
  }
  const std::vector<ModbusFrame> again = decode(cut, opt);
  check(again.size() == frames.size());
  for (size_t i = 0; i < frames.size(); i++) {
    check(byte_of[static_cast<size_t>(again[i].first_record)] == frames[i].first_record);
    check(byte_of[static_cast<size_t>(again[i].last_record)] == frames[i].last_record);
    check(same_content(again[i], frames[i]));
  }

  // Chunk by chunk to requests and answers in turn: pairs are of one
  // transaction, unit and function.
  std::vector<CaptureRecord> talk;
  at = 0;
  uint8_t kind = kKindSentCh1;
  for (size_t i = 0; i < n; i++) {
    if (at < cuts.size() && cuts[at] == i && i > 0) kind = kind == kKindSentCh1 ? kKindRecvCh1 : kKindSentCh1;
    while (at < cuts.size() && cuts[at] <= i) at++;
    talk.push_back(data_record(kind, bytes[i]));
  }
  const std::vector<ModbusFrame> pairs = decode(talk, opt);
  int64_t framed = 0;
  for (size_t i = 0; i < pairs.size(); i++) {
    const ModbusFrame& f = pairs[i];
    framed += f.length;
    check(i == 0 || pairs[i - 1].first_record < f.first_record);
    if (f.pair < 0) {
      check(f.pair == -1 && f.latency_us == kTimeUnknown);
      continue;
    }
    check(static_cast<size_t>(f.pair) < pairs.size());
    const ModbusFrame& o = pairs[static_cast<size_t>(f.pair)];
    check(o.pair == static_cast<int32_t>(i) && o.role != f.role && f.check == kMonitorOk && o.check == kMonitorOk);
    const ModbusFrame& request = f.role == kMonitorRequest ? f : o;
    const ModbusFrame& answer = f.role == kMonitorRequest ? o : f;
    check(request.first_record < answer.first_record);
    check(request.transaction == answer.transaction && request.slave == answer.slave &&
          request.function == (answer.function & 0x7F));
  }
  check(framed == static_cast<int64_t>(n));
  Written csv = {0, 0};
  ByteSink sink = {&csv, check_write};
  check(modbus_monitor_write_csv(pairs.data(), static_cast<int32_t>(pairs.size()), kTimeUnknown, &sink) == 0);
  check(csv.line_ends == static_cast<int64_t>(pairs.size()) + 1);
  return 0;
}
