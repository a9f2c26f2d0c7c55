// Feeds hostile bytes, in pieces of arbitrary size at arbitrary times, to
// the receiving machines (XMODEM, XMODEM-1K, YMODEM, raw) and to a sender
// as its receiver's answers. Every answer must fit its buffer, every write
// to the file must be of at most one block (raw: what came), the bytes written must never
// exceed what the blocks carried, a YMODEM name given to the file side
// must have passed the name check, and once a machine has ended further
// turns must write nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>

#include "tests/fuzz/written_check.h"
#include "transfer/transfer.h"

namespace {

struct Sink {
  int64_t written;
  int open;
  int raw;
};

int sink_begin(void* ctx, const char* name, int length, int64_t) {
  auto* s = static_cast<Sink*>(ctx);
  check(!s->open);
  check(length >= 0 && length <= kTransferNameMost);
  if (name) check(transfer_name_check(name, length) == kNameOk);
  s->open = 1;
  return 0;
}

int sink_write(void* ctx, const uint8_t* bytes, int count) {
  auto* s = static_cast<Sink*>(ctx);
  check(s->open && count > 0 && (s->raw || count <= kTransferBlockMost));
  volatile uint8_t touch = bytes[0] ^ bytes[count - 1];
  (void)touch;
  s->written += count;
  return 0;
}

void sink_end(void* ctx, int) {
  auto* s = static_cast<Sink*>(ctx);
  check(s->open);
  s->open = 0;
}

uint8_t g_file[3000];
int g_at;

int source_next(void*, char name[kTransferNameMost], int* length, int64_t* size) {
  std::memcpy(name, "fuzz.bin", 8);
  *length = 8;
  *size = sizeof g_file;
  g_at = 0;
  return 1;
}

int source_read(void*, uint8_t* bytes, int most) {
  const int n = most < static_cast<int>(sizeof g_file) - g_at ? most : static_cast<int>(sizeof g_file) - g_at;
  std::memcpy(bytes, g_file + g_at, static_cast<size_t>(n));
  g_at += n;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int protocol = in.ConsumeIntegralInRange<int>(0, 3);
  const int sending = in.ConsumeBool();
  Sink sink = {};
  sink.raw = protocol == kTransferRaw;
  Transfer t;
  uint32_t now = in.ConsumeIntegral<uint32_t>();
  if (sending) {
    TransferSource s = {nullptr, source_next, source_read};
    transfer_send_begin(&t, protocol, &s, nullptr, now);
  } else {
    TransferSink k = {&sink, sink_begin, sink_write, sink_end};
    transfer_receive_begin(&t, protocol, &k, in.ConsumeIntegralInRange<uint32_t>(0, 20000), now);
  }
  int64_t fed = 0;
  TransferOut out;
  while (in.remaining_bytes() > 0) {
    now += in.ConsumeIntegralInRange<uint32_t>(0, 15000);
    const size_t n = in.ConsumeIntegralInRange<size_t>(0, 1100);
    uint8_t piece[1100];
    const size_t got = in.ConsumeData(piece, n);
    fed += static_cast<int64_t>(got);
    const int was = t.status;
    const int status = transfer_step(&t, piece, static_cast<int>(got), now, &out);
    check(out.count >= 0 && out.count <= kTransferOutMost);
    if (was != kTransferRunning) check(out.count == 0 && status == was);
    if (!sending && protocol != kTransferRaw) check(sink.written <= fed);
  }
  if (t.status == kTransferRunning) transfer_cancel(&t, now, &out);
  if (t.status == kTransferRunning) transfer_step(&t, nullptr, 0, now + kXmCharWaitMs, &out);
  check(t.status != kTransferRunning);
  check(!sink.open);
  return 0;
}
