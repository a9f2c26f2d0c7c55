// Google Benchmark of what recording costs per byte recorded, without the
// disk: the receive thread's hand-over of 100-byte chunks into the queue
// (record_queue_put_chunk, under the capture's lock in the program), the
// writer thread's packing of them into blocks and sealing each block (its
// CRC-32s), and the CRC-32 alone; and of the readers' side: a recording
// read back entry by entry and laid out as capture windows, as /export and
// Open Recording read it. Results: bench/results/recording.md.
//
// Run after scripts/build.sh: build/native/record_path_bench
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "record/record_file.h"
#include "record/record_queue.h"
#include "find/find_search.h"
#include "record/record_reader.h"
#include "plot/plot_build.h"

namespace {

constexpr int kChunk = 100;

void BM_HandOverAndBlocks(benchmark::State& state) {
  auto q = std::make_unique<RecordQueue>();
  auto b = std::make_unique<RecordBlockBuilder>();
  record_queue_reset(q.get());
  record_block_begin(b.get());
  uint8_t chunk[kChunk];
  for (int i = 0; i < kChunk; i++) chunk[i] = static_cast<uint8_t>(i * 7);
  int64_t t = 0;
  for (auto _ : state) {
    // About 1 MB a turn, then the writer's share: blocks taken and sealed.
    for (int i = 0; i < 10000; i++) record_queue_put_chunk(q.get(), 1 + 2 * (i & 1), t++, chunk, kChunk);
    while (record_queue_waiting(q.get())) {
      if (record_queue_take(q.get(), b.get()) == 0 || b->payload > kRecordBlockPayloadMax - 200) {
        benchmark::DoNotOptimize(record_block_seal(b.get()));
        record_block_begin(b.get());
      }
    }
  }
  state.SetBytesProcessed(state.iterations() * 10000 * kChunk);
}
BENCHMARK(BM_HandOverAndBlocks);

void BM_Crc32(benchmark::State& state) {
  std::vector<uint8_t> data(kRecordBlockPayloadMax);
  for (size_t i = 0; i < data.size(); i++) data[i] = static_cast<uint8_t>(i * 13);
  for (auto _ : state) benchmark::DoNotOptimize(record_crc32(0, data.data(), data.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_Crc32);

// A 64 MB file of 100-byte chunks in memory, read back as windows: zero
// bytes, or (varied) bytes of a pseudo-random sequence, which the Modbus
// decode must weigh as frames at every place.
struct MemoryFile {
  std::vector<uint8_t> bytes;
  int opened = 0;
  explicit MemoryFile(int varied = 0) {
    RecordHeader h = {};
    h.year = 2026;
    h.month = 12;
    h.day = 9;
    bytes.resize(kRecordHeaderBytes);
    record_header_write(h, bytes.data());
    auto b = std::make_unique<RecordBlockBuilder>();
    uint8_t chunk[kChunk] = {};
    int64_t t = 0;
    uint32_t seed = 1;
    while (bytes.size() < (64u << 20)) {
      record_block_begin(b.get());
      for (;;) {
        for (int i = 0; varied && i < kChunk; i++) {
          seed = seed * 1103515245u + 12345u;
          chunk[i] = static_cast<uint8_t>(seed >> 16);
        }
        if (record_block_add_chunk(b.get(), 1, t, chunk, kChunk) != 0) break;
        t += 100;
      }
      const uint32_t n = record_block_seal(b.get());
      bytes.insert(bytes.end(), b->bytes, b->bytes + n);
    }
  }
  static int64_t read(void* ctx, uint64_t offset, uint8_t* out, uint32_t n) {
    const auto& f = static_cast<MemoryFile*>(ctx)->bytes;
    if (offset >= f.size()) return 0;
    const uint64_t k = f.size() - offset < n ? f.size() - offset : n;
    std::memcpy(out, f.data() + offset, k);
    return static_cast<int64_t>(k);
  }
  static int open(void* ctx, RecordReader* r) {
    MemoryFile* f = static_cast<MemoryFile*>(ctx);
    if (f->opened++) return 0;
    return record_reader_open(r, {f, read}) == kRecordHeaderOk;
  }
};

void BM_ReadAsWindows(benchmark::State& state) {
  static MemoryFile file;
  auto reader = std::make_unique<RecordReader>();
  RecordWindow w;
  capture_snapshot_allocate(&w.snap);
  for (auto _ : state) {
    file.opened = 0;
    RecordStream s;
    record_stream_begin(&s, MemoryFile::open, &file, reader.get(), {}, {});
    while (record_window_fill(&s, &w) > 0) benchmark::DoNotOptimize(w.snap.count);
  }
  capture_snapshot_free(&w.snap);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.bytes.size()));
}
BENCHMARK(BM_ReadAsWindows)->Unit(benchmark::kMillisecond);

void no_hit(void*, const FindHit&) {}

// The same recording read as /find reads it: each entry's bytes straight
// into the matcher, a hex pattern that is not there.
void BM_FindStraight(benchmark::State& state) {
  static MemoryFile file;
  auto reader = std::make_unique<RecordReader>();
  FindPattern p;
  find_pattern_hex(u"01 03 ?? ?? 00 0A", 17, &p);
  auto f = std::make_unique<FindSearch>();
  for (auto _ : state) {
    file.opened = 0;
    RecordStream s;
    record_stream_begin(&s, MemoryFile::open, &file, reader.get(), {}, {});
    find_search_begin(f.get(), p, 0xF);
    RecordEntry e;
    while (record_stream_next(&s, &e))
      if (e.type >= 1 && e.type <= 4) find_search_chunk(f.get(), e.type - 1, e.data, e.length, e.time_us, 0, no_hit, nullptr);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.bytes.size()));
}
BENCHMARK(BM_FindStraight)->Unit(benchmark::kMillisecond);

struct PlotInto {
  PlotSet set;
};
void plot_point(void* ctx, const PlotPoint& p) {
  PlotSet* set = &static_cast<PlotInto*>(ctx)->set;
  PlotSeries* s = plot_set_series(set, p.name, p.channel);
  if (s) plot_series_add(s, p.time_us, p.value);
}

// The same recording read as /plot reads it: windows through the plot's
// builder (silences, bytes per second, Modbus frames looked for) into the
// series' memory; /0 zero bytes, /1 varied bytes.
void BM_PlotWindows(benchmark::State& state) {
  static MemoryFile zeros(0), varied(1);
  MemoryFile& file = state.range(0) ? varied : zeros;
  auto reader = std::make_unique<RecordReader>();
  RecordWindow w;
  capture_snapshot_allocate(&w.snap);
  auto into = std::make_unique<PlotInto>();
  static PlotBuild build;
  for (auto _ : state) {
    file.opened = 0;
    RecordStream s;
    record_stream_begin(&s, MemoryFile::open, &file, reader.get(), {}, {});
    PlotBuildOptions o{};
    o.text = o.modbus = o.timing = 1;
    o.modbus_options = {kModbusRtu, 0, {{921600, 100}, {921600, 100}}};
    o.sink = plot_point;
    o.sink_ctx = into.get();
    plot_build_begin(&build, o);
    while (record_window_fill(&s, &w) > 0) plot_build_stretch(&build, w.snap, w.shape, nullptr);
    plot_build_finish(&build, nullptr);
    plot_build_end(&build);
    plot_set_free(&into->set);
  }
  capture_snapshot_free(&w.snap);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(file.bytes.size()));
}
BENCHMARK(BM_PlotWindows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
