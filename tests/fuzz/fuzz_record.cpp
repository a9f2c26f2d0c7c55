// Feeds arbitrary bytes as a recording file, read as Open Recording and the
// command line read one: the header, then block after block until the
// first one that is torn or damaged. The file is copied into a buffer of
// exactly its size, so AddressSanitizer sees any read past it. Every entry
// of a block read as ok must lie inside its payload, and the block built
// again from those entries must come out byte for byte the same. The bytes
// are also read as a payload whose checks held.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "record/record_file.h"
#include "record/record_reader.h"
#include "tests/fuzz/written_check.h"

namespace {

int64_t read_file(void* ctx, uint64_t offset, uint8_t* out, uint32_t n) {
  const std::vector<uint8_t>& f = *static_cast<const std::vector<uint8_t>*>(ctx);
  if (offset >= f.size()) return 0;
  const uint64_t k = f.size() - offset < n ? f.size() - offset : n;
  std::memcpy(out, f.data() + offset, k);
  return static_cast<int64_t>(k);
}

// The reader Open Recording and the command line use, with its resync past
// damaged blocks: every entry lies in its buffer, and it ends.
void read_as_recording(std::vector<uint8_t>* file) {
  static RecordReader reader;
  if (record_reader_open(&reader, {file, read_file}) != kRecordHeaderOk) return;
  RecordEntry e;
  size_t entries = 0;
  while (record_reader_next(&reader, &e) == 1) {
    if (e.type != kRecordEntryEvent) {
      check(e.length >= 1 && e.length <= kRecordChunkMax);
      check(e.data >= reader.buffer && e.data + e.length <= reader.buffer + sizeof reader.buffer);
    }
    check(++entries <= file->size());
  }
  check(reader.skipped <= file->size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);
  read_as_recording(&file);
  const uint8_t* p = file.data();
  RecordHeader h;
  size_t at = 0;
  // With a header or without one (a block straight away), so the blocks
  // get fuzzed even where the header's check is not met.
  if (record_header_read(p, size, &h) == kRecordHeaderOk) {
    check(h.month >= 1 && h.month <= 12);
    for (const RecordChannel& c : h.channel) check(std::strlen(c.address) <= static_cast<size_t>(kRecordAddressBytes));
    at = kRecordHeaderBytes;
  }
  auto again = std::make_unique<RecordBlockBuilder>();
  while (at < size) {
    RecordBlock b;
    const int status = record_block_read(p + at, size - at, &b);
    check(status >= kRecordBlockOk && status <= kRecordBlockDamaged);
    if (status != kRecordBlockOk) break;
    check(b.payload == p + at + kRecordBlockHeaderBytes);
    check(at + kRecordBlockHeaderBytes + b.payload_bytes <= size);
    record_block_begin(again.get());
    uint32_t next = 0;
    RecordEntry e;
    int got;
    uint32_t entries = 0;
    int rebuilt = 1;
    while ((got = record_entry_next(b, &next, &e)) == 1) {
      check(next <= b.payload_bytes);
      // The writer puts the first entry's time in the block's header.
      if (entries == 0) rebuilt &= e.time_us == b.first_time;
      entries++;
      if (e.type == kRecordEntryEvent) {
        rebuilt &= record_block_add_event(again.get(), e.event_kind, e.event_channel, e.event_port, e.event_detail,
                                          e.time_us) == 0;
      } else {
        check(e.data >= b.payload && e.data + e.length <= b.payload + b.payload_bytes);
        rebuilt &= record_block_add_chunk(again.get(), e.type, e.time_us, e.data, e.length) == 0;
      }
    }
    // A block whose entries all read, as many as its header says, is the
    // writer's: the same entries make the same bytes.
    if (got == 0 && entries == b.entries && rebuilt) {
      const uint32_t n = record_block_seal(again.get());
      check(n == kRecordBlockHeaderBytes + b.payload_bytes);
      check(std::memcmp(again->bytes, p + at, n) == 0);
    }
    at += kRecordBlockHeaderBytes + b.payload_bytes;
  }
  // The same bytes as a block's payload whose checks held (the checks keep
  // a fuzzer from most payloads above): every entry read stays inside it.
  if (size > 0 && size <= kRecordBlockPayloadMax) {
    RecordBlock raw = {static_cast<uint32_t>(size), 1, 0, p};
    uint32_t next = 0;
    RecordEntry e;
    while (record_entry_next(raw, &next, &e) == 1) {
      check(next <= size);
      if (e.type != kRecordEntryEvent) check(e.data >= p && e.data + e.length <= p + size && e.length >= 1);
    }
  }
  return 0;
}
