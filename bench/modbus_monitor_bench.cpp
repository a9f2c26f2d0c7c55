// Google Benchmark of the Modbus monitor's decode over a full capture
// buffer (130,816 records: 1,270 chunks of 100 received bytes on CH1, 1 ms
// apart at 115,200 baud, so no silence cuts the stream), in both framings
// as the window and the CSV export decode it. The content decides the cost:
// a constant byte that reads as a slave and a function without a fixed
// layout (0x07) makes every byte start a CRC search 256 bytes long, the
// slowest case; 0x55 and random bytes are cheaper, polling traffic the
// cheapest. Results: bench/results/modbus-monitor.md.
//
// Run after scripts/build.sh: build/native/modbus_monitor_bench
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "app/capture.h"
#include "codec/checksum.h"
#include "modbus/modbus_monitor.h"

namespace {

int64_t g_now = 0;
int64_t bench_micros() { return g_now; }

enum Content { kConstant07, kConstant55, kRandom, kPolling };

// A capture filled to just below its wrap with chunks of 100 bytes.
struct FullCapture {
  Capture cap;
  explicit FullCapture(Content content) {
    cap.micros = bench_micros;
    capture_allocate(&cap);
    capture_clear(&cap);
    uint32_t seed = 12345;
    std::vector<uint8_t> chunk(100);
    // Polling: a read of 10 registers and its answer, over and over.
    const uint8_t request[8] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
    std::vector<uint8_t> answer = {0x01, 0x03, 20};
    for (int i = 0; i < 20; i++) answer.push_back(static_cast<uint8_t>(i));
    uint8_t crc[kChecksumResultMax];
    int n = checksum_compute(answer.data(), static_cast<int32_t>(answer.size()), kChecksumCrc16, kChecksumHex, 0, crc);
    answer.insert(answer.end(), crc, crc + n);
    while (capture_write_position(&cap) + 103 <= kCaptureWrapThreshold) {
      g_now += 1000;
      if (content == kPolling) {
        capture_append(&cap, request, 8, kKindSentCh1, g_now);
        g_now += 5000;
        capture_append(&cap, answer.data(), static_cast<int>(answer.size()), kKindRecvCh1, g_now);
        continue;
      }
      for (uint8_t& b : chunk) {
        seed = seed * 1103515245u + 12345u;
        b = content == kConstant07 ? 0x07 : content == kConstant55 ? 0x55 : static_cast<uint8_t>(seed >> 16);
      }
      capture_append(&cap, chunk.data(), 100, kKindRecvCh1, g_now);
    }
  }
  ~FullCapture() { capture_free(&cap); }
};

void decode_full(benchmark::State& state, Content content) {
  FullCapture full(content);
  CaptureSnapshot snap;
  capture_snapshot_allocate(&snap);
  capture_snapshot_take(&full.cap, &snap);
  const ModbusMonitorOptions options = {kModbusRtu, 0, {{115200, 100}, {115200, 100}}};
  ModbusFrameList out, scratch;
  int32_t mode = 0;
  for (auto _ : state) {
    modbus_monitor_decode_either(snap.records, snap.times, snap.count, &options, &out, &scratch, &mode, nullptr);
    benchmark::DoNotOptimize(out.n);
  }
  state.counters["records"] = snap.count;
  state.counters["frames"] = out.n;
  modbus_frame_list_free(&out);
  modbus_frame_list_free(&scratch);
  capture_snapshot_free(&snap);
}

// The copy the worker decodes from, taken under the capture lock.
void snapshot_full(benchmark::State& state) {
  FullCapture full(kConstant07);
  CaptureSnapshot snap;
  capture_snapshot_allocate(&snap);
  for (auto _ : state) {
    capture_snapshot_take(&full.cap, &snap);
    benchmark::DoNotOptimize(snap.count);
  }
  capture_snapshot_free(&snap);
}

BENCHMARK_CAPTURE(decode_full, constant_0x07, kConstant07)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode_full, constant_0x55, kConstant55)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode_full, random_bytes, kRandom)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode_full, polling, kPolling)->Unit(benchmark::kMillisecond);
BENCHMARK(snapshot_full)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
