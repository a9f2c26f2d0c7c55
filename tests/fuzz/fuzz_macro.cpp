// Feeds arbitrary macro files to the interpreter and runs them for a
// bounded number of steps against a fake host: a clock that jumps ahead on
// every wait, a port that keeps (and sometimes refuses) what is written, and
// a device that answers each write on one channel or the other, into a real
// capture buffer. The file is held at its exact size so that
// AddressSanitizer sees any read past it; the interpreter's rules that keep
// it inside its buffers are checked after every step.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "macro/macro.h"
#include "tests/unit/fake_codec.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}


struct Host {
  uint32_t now;
  uint32_t step_ms;     // how far the clock moves between steps of a wait
  uint8_t answer_kind;  // 1 or 3
  int fail_every;       // every n-th write fails; 0: none
  int writes;
  Capture* cap;
  int32_t position, length;
};

uint32_t now_of(void* ctx) { return static_cast<Host*>(ctx)->now; }

int write_to(void* ctx, int channel, const uint8_t* bytes, int count) {
  Host* h = static_cast<Host*>(ctx);
  check(channel == 1 || channel == 2);
  check(count >= 1 && count <= kSendMax);
  uint8_t copy[kSendMax];
  std::memcpy(copy, bytes, static_cast<size_t>(count));
  h->writes++;
  if (h->fail_every && h->writes % h->fail_every == 0) return 1;
  // The device echoes the request, reversed, on the channel chosen.
  for (int i = 0; i < count / 2; i++) std::swap(copy[i], copy[count - 1 - i]);
  capture_append(h->cap, copy, count > 100 ? 100 : count, h->answer_kind, kTimeUnknown);
  return 0;
}

void show_step(void* ctx, int32_t position, int32_t length, const char16_t* line, int count) {
  Host* h = static_cast<Host*>(ctx);
  check(position >= 1 && position < length && length == h->length);
  check(count >= 0 && count <= kMacroLineUnits && line[count] == 0);
  volatile char16_t sum = 0;
  for (int i = 0; i < count; i++) sum = static_cast<char16_t>(sum + line[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MacroState* m = new MacroState();
  static Capture* cap = [] {
    Capture* c = new Capture();
    capture_allocate(c);
    return c;
  }();
  FuzzedDataProvider in(data, size);
  Host h = {};
  h.now = in.ConsumeIntegral<uint32_t>();
  h.step_ms = in.ConsumeIntegralInRange<uint32_t>(100, 5000);
  h.answer_kind = in.ConsumeBool() ? kKindRecvCh1 : kKindRecvCh2;
  h.fail_every = in.ConsumeIntegralInRange<int>(0, 4);
  h.cap = cap;
  int32_t prefill = in.ConsumeIntegralInRange<int32_t>(0, kCaptureWrapThreshold);
  std::memset(m->slots, 0, sizeof m->slots);
  for (int s = 0; s < 4; s++) {  // some slots start full, near their limits
    m->slots[s].length = in.ConsumeIntegralInRange<int32_t>(0, kMacroSlotBytes);
    std::memset(m->slots[s].data, '0' + s, sizeof m->slots[s].data);
  }
  AnsiCodec codec = {in.ConsumeBool() ? &g_fake_double_byte : nullptr, fake_encode};

  capture_clear(cap);
  if (prefill > 0) {
    std::unique_ptr<uint8_t[]> records(new uint8_t[static_cast<size_t>(prefill) * kCaptureRecordSize]());
    capture_replace(cap, records.get(), prefill);
  }
  // Mostly files that pass the byte-order mark check, so the interpreter runs.
  bool add_mark = in.ConsumeIntegralInRange<int>(0, 7) != 0;
  std::vector<uint8_t> rest = in.ConsumeRemainingBytes<uint8_t>();
  std::unique_ptr<uint8_t[]> file(new uint8_t[rest.size() + 2]);
  size_t n = 0;
  if (add_mark) {
    file[n++] = 0xFF;
    file[n++] = 0xFE;
  }
  if (!rest.empty()) std::memcpy(file.get() + n, rest.data(), rest.size());
  n += rest.size();

  int loaded = macro_load(m, file.get(), n);
  check(loaded == kMacroLoadOk || loaded == kMacroLoadEmpty || loaded == kMacroLoadNotUtf16);
  if (loaded != kMacroLoadOk) {
    check(m->length == 0);
    return 0;
  }
  check(m->length >= 1 && m->length <= kMacroBufferUnits && static_cast<size_t>(m->length) == n / 2);
  macro_start(m, cap);
  h.length = m->length;
  MacroHost host = {&h, cap, &codec, now_of, write_to, show_step};
  int waits = 0;
  for (int i = 0; i < 300; i++) {
    int r = macro_step(m, &host);
    if (r == kMacroWaiting) {
      // No wait outlasts its limit of at most 999 tenths.
      check(m->wait.limit_ms <= 999u * kMacroTimeUnitMs);
      check(h.now - m->wait.began <= m->wait.limit_ms);
      h.now += h.step_ms;
      if (++waits % 3 == 0) macro_stop(m);  // stop in the middle of some waits
      continue;
    }
    check(m->position >= 0 && m->position <= m->length);
    for (const MacroSlot& s : m->slots) check(s.length >= 0 && s.length <= kMacroSlotBytes);
    int32_t w = capture_write_position(cap);
    check(w >= 0 && w <= kCaptureRecords);
    if (r == kMacroStopped) check(m->fault.text != 0);
    if (r != kMacroNext && r != kMacroSendFailed) break;
  }
  macro_stop(m);
  check(!macro_waiting(m));
  return 0;
}
