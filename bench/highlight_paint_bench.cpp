// Google Benchmark of what the highlight rules add to one paint of the data
// view: the twenty rules of bench/highlight_bench.py (no F rule) colouring a
// screen of 1,100 records at the end of a window of 130,000 records of both
// channels' text, alone and with the next window's first 65,536 records read
// on into (an open recording's window end, HighlightWork::after), a screen
// at a window's start read on from the one before (HighlightWork::before),
// and a screen in the middle of the window. Results: bench/results/highlight.md.
//
// Run after scripts/build.sh: build/native/highlight_paint_bench
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "codec/convert.h"
#include "view/highlight.h"

namespace {

int latin1(void*, const char16_t* units, int count, uint8_t* out, int cap) {
  if (count > cap) return 0;
  for (int i = 0; i < count; i++) out[i] = units[i] <= 0xFF ? static_cast<uint8_t>(units[i]) : '?';
  return count;
}
const AnsiCodec kLatin1 = {nullptr, latin1, nullptr};

const char16_t* const kRules[] = {
    u"FF00FF\tT\t*\t*\tALARM", u"FF0000\tt\t*\t*\terror", u"00FF00\tT\t1\tRX\tOK", u"FFFF00\tH\t*\t*\t06 ?? 15",
    u"00FFFF\tS\t*\t*\t\"NAK\"0D0A", u"FF8000\tT\t2\t*\tFAULT", u"8000FF\tt\t*\tTX\treset",
    u"0080FF\tH\t1\t*\t01 03 ?? ?? 00 0A", u"80FF00\tT\t*\t*\tTIMEOUT", u"FF0080\tt\t*\t*\twarning",
    u"008000\tH\t*\t*\t7E ?? ?? 7E", u"800000\tT\t*\tRX\tBUSY", u"000080\tS\t*\t*\t02\"STX\"03",
    u"808000\tt\t2\tRX\toverrun", u"800080\tH\t*\t*\tFF FF FF", u"008080\tT\t*\t*\tREADY",
    u"C0C0C0\tt\t*\t*\tchecksum", u"404040\tH\t2\t*\t10 02 ?? 10 03", u"FFC0C0\tQ\t*\t*\t500",
    u"C0FFC0\tE\t*\t*\tlost"};

HighlightRules* rules() {
  static HighlightRules* r = [] {
    std::vector<uint8_t> f = {0xFF, 0xFE};
    for (const char16_t* line : kRules) {
      for (const char16_t* u = line; *u; u++) f.push_back(static_cast<uint8_t>(*u & 0xFF)), f.push_back(static_cast<uint8_t>(*u >> 8));
      f.insert(f.end(), {'\r', 0, '\n', 0});
    }
    static HighlightRules made;
    highlight_parse(f.data(), f.size(), &kLatin1, &made);
    return &made;
  }();
  return r;
}

// Both channels' text lines, each chunk followed by its three gap markers,
// 1 ms apart.
int32_t fill(CaptureRecord* records, int64_t* times, int32_t n, int64_t t) {
  int32_t i = 0;
  for (int line = 0; i < n; line++) {
    const std::string text = "T=" + std::to_string(20 + line % 7) + ".5 OK line " + std::to_string(line) + "\r\n";
    const uint8_t kind = static_cast<uint8_t>(kKindRecvCh1 + 2 * (line % 2));
    for (size_t k = 0; k < text.size() && i < n; k++, i++) {
      records[i] = CaptureRecord{kind, 0, static_cast<uint8_t>(text[k]), 0, static_cast<uint8_t>(k), {0, 0, 0}};
      times[i] = t + line * 1000;
    }
    for (int m = 0; m < 3 && i < n; m++, i++) {
      records[i] = CaptureRecord{static_cast<uint8_t>(128 + m), 0, '0', '0', 0, {0, 0, 0}};
      times[i] = t + line * 1000;
    }
  }
  return i;
}

struct Windows {
  std::vector<CaptureRecord> records, next;
  std::vector<int64_t> times, next_times;
  CaptureSnapshot after;
};
Windows& windows() {
  static Windows w = [] {
    Windows m;
    m.records.resize(130000);
    m.times.resize(130000);
    fill(m.records.data(), m.times.data(), 130000, 1000000);
    m.next.resize(kHighlightLookBack);
    m.next_times.resize(kHighlightLookBack);
    fill(m.next.data(), m.next_times.data(), kHighlightLookBack, 900000000);
    m.after.records = m.next.data();
    m.after.times = m.next_times.data();
    m.after.count = kHighlightLookBack;
    return m;
  }();
  return w;
}

// read_on 1: the next window read on into at the end; 2: the window before
// (the same records) read on from at the start.
void paint_of(Windows& w, benchmark::State& state, int32_t first, int32_t hi, int read_on) {
  static HighlightWork work;
  static HighlightMarks marks;
  static CaptureSnapshot before;
  before.records = w.records.data();
  before.times = w.times.data();
  before.count = static_cast<int32_t>(w.records.size());
  const LineShape shape[2] = {{115200, 100}, {115200, 100}};
  work.after = read_on == 1 ? &w.after : nullptr;
  work.before = read_on == 2 ? &before : nullptr;
  work.edges = read_on == 1 ? kHighlightWindowAfter : read_on == 2 ? kHighlightWindowBefore : 0;
  for (auto _ : state) {
    const int32_t lo = highlight_window_start(w.records.data(), hi, first, highlight_longest(rules()));
    highlight_mark(rules(), w.records.data(), w.times.data(), lo, first, hi, nullptr, 0, 0, shape, &work, &marks);
    benchmark::DoNotOptimize(marks.rule[0]);
  }
}

void paint(benchmark::State& state, int32_t first, int32_t hi, int read_on) {
  paint_of(windows(), state, first, hi, read_on);
}

void BM_ScreenAtAWindowsEnd(benchmark::State& state) { paint(state, 130000 - 1100, 130000, 0); }
BENCHMARK(BM_ScreenAtAWindowsEnd)->Unit(benchmark::kMicrosecond);

void BM_ScreenAtAWindowsEndReadingOnIntoTheNext(benchmark::State& state) { paint(state, 130000 - 1100, 130000, 1); }
BENCHMARK(BM_ScreenAtAWindowsEndReadingOnIntoTheNext)->Unit(benchmark::kMicrosecond);

void BM_ScreenAtAWindowsStartReadingOnFromTheOneBefore(benchmark::State& state) { paint(state, 0, 1100, 2); }
BENCHMARK(BM_ScreenAtAWindowsStartReadingOnFromTheOneBefore)->Unit(benchmark::kMicrosecond);

// The same edges with the master's one command on CH1 (TX, "reset") sent
// 60,000 records before the first window's end, and again 60,000 records
// into the next: a line that answers a command at length, as a device does.
Windows& windows_with_a_command() {
  static Windows w = [] {
    Windows m = windows();
    const std::string cmd = "reset\r\n";
    for (std::vector<CaptureRecord>* r : {&m.records, &m.next}) {
      const int32_t at = r == &m.records ? 130000 - 60000 : 60000;
      for (size_t k = 0; k < cmd.size(); k++)
        (*r)[at + k] = CaptureRecord{kKindSentCh1, 0, static_cast<uint8_t>(cmd[k]), 0, static_cast<uint8_t>(k), {0, 0, 0}};
      for (int k = 0; k < 3; k++)
        (*r)[at + cmd.size() + k] = CaptureRecord{static_cast<uint8_t>(128 + k), 0, '0', '0', 0, {0, 0, 0}};
    }
    m.after.records = m.next.data();
    m.after.times = m.next_times.data();
    return m;
  }();
  return w;
}

void paint_with_a_command(benchmark::State& state, int32_t first, int32_t hi, int read_on) {
  paint_of(windows_with_a_command(), state, first, hi, read_on);
}

void BM_ScreenAtAWindowsEndReadingOnIntoTheNextACommandFarIn(benchmark::State& state) {
  paint_with_a_command(state, 130000 - 1100, 130000, 1);
}
BENCHMARK(BM_ScreenAtAWindowsEndReadingOnIntoTheNextACommandFarIn)->Unit(benchmark::kMicrosecond);

void BM_ScreenAtAWindowsStartReadingOnFromTheOneBeforeACommandFarBack(benchmark::State& state) {
  paint_with_a_command(state, 0, 1100, 2);
}
BENCHMARK(BM_ScreenAtAWindowsStartReadingOnFromTheOneBeforeACommandFarBack)->Unit(benchmark::kMicrosecond);

void BM_ScreenInTheMiddle(benchmark::State& state) { paint(state, 65000, 66100, 0); }
BENCHMARK(BM_ScreenInTheMiddle)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
