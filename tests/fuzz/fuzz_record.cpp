// Feeds arbitrary bytes as a recording file, read as Open Recording and the
// command line read one: the header, then block after block until the
// first one that is torn or damaged. The file is copied into a buffer of
// exactly its size, so AddressSanitizer sees any read past it. Every entry
// of a block read as ok must lie inside its payload, and the block built
// again from those entries must come out byte for byte the same. The bytes
// are also read as a payload whose checks held, and, cut into up to three
// files each behind a header that checks, as one recording: streamed whole
// and as a slice by /from and /to, and read from a seek into each file.
// Every entry lies in the reader's buffer, and the bytes asked of the files
// stay a small multiple of their size.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "record/record_file.h"
#include "record/record_reader.h"
#include "tests/fuzz/written_check.h"

namespace {

uint64_t g_asked;  // bytes asked of every file

int64_t read_file(void* ctx, uint64_t offset, uint8_t* out, uint32_t n) {
  const std::vector<uint8_t>& f = *static_cast<const std::vector<uint8_t>*>(ctx);
  g_asked += n;
  if (offset >= f.size()) return 0;
  const uint64_t k = f.size() - offset < n ? f.size() - offset : n;
  std::memcpy(out, f.data() + offset, k);
  return static_cast<int64_t>(k);
}

void check_entry(const RecordReader& r, const RecordEntry& e) {
  if (e.type == kRecordEntryEvent) return;
  check(e.length >= 1 && e.length <= kRecordChunkMax);
  check(e.data >= r.buffer && e.data + e.length <= r.buffer + sizeof r.buffer);
}

struct Files {
  std::vector<std::vector<uint8_t>> list;
  size_t next = 0;
  static int open(void* ctx, RecordReader* r) {
    Files* f = static_cast<Files*>(ctx);
    while (f->next < f->list.size())
      if (record_reader_open(r, {&f->list[f->next++], read_file}) == kRecordHeaderOk) return 1;
    return 0;
  }
};

// A time from two bytes: seconds or a time of day, at one of the
// precisions the parser gives.
RecordTime time_of(uint8_t a, uint8_t b) {
  static const int64_t kSpans[] = {60000000, 1000000, 100000, 1000, 1};
  RecordTime t = {a & 1, (a >> 1) & 1, 0, kSpans[(a >> 2) % 5]};
  t.us = static_cast<int64_t>(b) * (t.time_of_day ? 337000000 : 250000);
  return t;
}

// The bytes as up to three files of one recording behind headers that check.
void read_as_files(const uint8_t* data, size_t size) {
  if (size < 4) return;
  static Files files;
  files.list.clear();
  files.next = 0;
  const RecordTime from = time_of(data[0], data[1]), to = time_of(data[2], data[3]);
  data += 4;
  size -= 4;
  const size_t cuts[2] = {size / 3, size * 2 / 3};
  size_t total = 0;
  for (int k = 0; k < 3; k++) {
    const size_t a = k == 0 ? 0 : cuts[k - 1], b = k == 2 ? size : cuts[k];
    const RecordHeader h = {2026, 12, 9, 23, 59, static_cast<uint8_t>(50 + k), k * 1000000, {}};
    std::vector<uint8_t> f(kRecordHeaderBytes);
    record_header_write(h, f.data());
    f.insert(f.end(), data + a, data + b);
    total += f.size();
    files.list.push_back(std::move(f));
  }
  static RecordReader reader;
  RecordStream s;
  g_asked = 0;
  record_stream_begin(&s, Files::open, &files, &reader, from, to);
  RecordEntry e;
  size_t entries = 0;
  while (record_stream_next(&s, &e) == 1) {
    check_entry(reader, e);
    check(++entries <= total);
    if (from.given || to.given) check(e.time_us >= s.from_us && e.time_us <= s.to_us);
  }
  // A seek into the middle of each file, with the clock reading from the
  // start gives it; the stream goes on into the files after it.
  int has_run = 0;
  int64_t run = 0;
  uint32_t run_id = 0;
  for (size_t k = 0; k < files.list.size(); k++) {
    files.next = k;
    if (!Files::open(&files, &reader)) break;
    run = record_run_clock(reader.header, has_run, run, run_id);
    run_id = reader.header.run_id;
    has_run = 1;
    record_stream_begin(&s, Files::open, &files, &reader, {}, {});
    if (record_stream_at(&s, kRecordHeaderBytes + (files.list[k].size() - kRecordHeaderBytes) / 2, run) == 0)
      continue;
    while (record_stream_next(&s, &e) == 1) {
      check_entry(reader, e);
      check(++entries <= 4 * total);
    }
  }
  check(g_asked <= 64 * total + (16u << 20));
}

// The reader Open Recording and the command line use, with its resync past
// damaged blocks: every entry lies in its buffer, and it ends.
void read_as_recording(std::vector<uint8_t>* file) {
  static RecordReader reader;
  if (record_reader_open(&reader, {file, read_file}) != kRecordHeaderOk) return;
  RecordEntry e;
  size_t entries = 0;
  while (record_reader_next(&reader, &e) == 1) {
    check_entry(reader, e);
    check(++entries <= file->size());
  }
  check(reader.skipped <= file->size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);
  read_as_recording(&file);
  read_as_files(data, size);
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
