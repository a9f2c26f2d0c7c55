// The RTU decoder's CRC search against a plain one: the CRC keys against
// the CRC computed byte by byte, and the frames the decoder finds in noise
// against a greedy search that recomputes every CRC, on random streams
// cut into random chunks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "codec/checksum.h"
#include "modbus/modbus_monitor.h"

namespace {

using Bytes = std::vector<uint8_t>;

int crc_ends(const uint8_t* b, int len) {
  const uint16_t crc = crc16_modbus(b, len - 2);
  return b[len - 2] == (crc & 0xFF) && b[len - 1] == (crc >> 8);
}

void add_crc(Bytes* b) {
  const uint16_t crc = crc16_modbus(b->data(), static_cast<int32_t>(b->size()));
  b->push_back(static_cast<uint8_t>(crc & 0xFF));
  b->push_back(static_cast<uint8_t>(crc >> 8));
}

TEST(Crc16Keys, TellExactlyTheRunsThatEndInTheirCrc) {
  std::mt19937 rng(7);
  // Fed in pieces, with frames planted so that matches are there to find.
  Bytes b;
  while (b.size() < 400) {
    Bytes f;
    const int len = static_cast<int>(rng() % 12);
    for (int i = 0; i < len; i++) f.push_back(static_cast<uint8_t>(rng()));
    if (rng() % 2) add_crc(&f);
    b.insert(b.end(), f.begin(), f.end());
  }
  std::vector<uint16_t> before(b.size()), after(b.size());
  Crc16KeyChain chain;
  crc16_key_chain_begin(&chain);
  for (size_t at = 0; at < b.size();) {
    const size_t n = std::min<size_t>(1 + rng() % 50, b.size() - at);
    crc16_key_chain_feed(&chain, b.data() + at, static_cast<int32_t>(n), before.data() + at, after.data() + at);
    at += n;
  }
  int matches = 0;
  for (size_t i = 0; i < b.size(); i++)
    for (size_t j = i + 2; j < b.size(); j++) {
      const int ends = crc_ends(b.data() + i, static_cast<int>(j - i + 1));
      matches += ends;
      ASSERT_EQ(after[j] == before[i], ends != 0) << i << ".." << j;
    }
  EXPECT_GT(matches, 10);
}

// The framing rule for times unknown, written plainly: a frame starts
// where the function's length or, for codes without a fixed layout, the
// first CRC within 256 bytes ends a run of bytes in its CRC.
int plain_frame(int request, const Bytes& b, size_t p) {
  const size_t avail = b.size() - p;
  if (b[p] > 247 || avail < 2 || (b[p + 1] & 0x7F) == 0) return 0;
  const uint8_t f = b[p + 1];
  size_t len = 0;
  if (request && f >= 1 && f <= 6) len = 8;
  else if (request && (f == 0x0F || f == 0x10)) len = avail < 7 ? 0 : 9u + b[p + 6];
  else if (!request && (f & 0x80)) len = 5;
  else if (!request && f >= 1 && f <= 4) len = avail < 3 ? 0 : 5u + b[p + 2];
  else if (!request && (f == 5 || f == 6 || f == 0x0F || f == 0x10)) len = 8;
  else {
    uint16_t crc = 0xFFFF;  // over b[p .. p + e - 3]
    for (size_t e = 3; e <= 256 && e <= avail; e++) {
      crc = crc16_modbus_step(crc, b[p + e - 3]);
      if (e >= 4 && b[p + e - 2] == (crc & 0xFF) && b[p + e - 1] == (crc >> 8)) return static_cast<int>(e);
    }
    return 0;
  }
  return len > 0 && len <= avail && crc_ends(b.data() + p, static_cast<int>(len)) ? static_cast<int>(len) : 0;
}

std::vector<std::pair<int, int>> plain_frames(int request, const Bytes& b) {
  std::vector<std::pair<int, int>> r;
  for (size_t p = 0; p < b.size();) {
    const int len = plain_frame(request, b, p);
    if (len > 0) r.push_back({static_cast<int>(p), len});
    p += len > 0 ? static_cast<size_t>(len) : 1;
  }
  return r;
}

// Noise rich in slaves and codes that pass the first look (the free
// layouts 08, 11, 2B above all), valid frames of every kind amid it, and
// a tail of 0xFF that starts no frame, so that the end decides nothing.
Bytes random_stream(std::mt19937* rng, int request) {
  Bytes b;
  while (b.size() < 6000) {
    if ((*rng)() % 3) {
      const int n = 1 + static_cast<int>((*rng)() % 300);
      for (int i = 0; i < n; i++) {
        const uint32_t r = (*rng)();
        b.push_back(static_cast<uint8_t>(r % 4 == 0 ? 1 : r % 4 == 1 ? "\x08\x11\x2B\x03\x10"[r / 4 % 5] : r >> 8));
      }
      continue;
    }
    static const uint8_t kCodes[] = {0x03, 0x06, 0x10, 0x08, 0x11, 0x2B, 0x83, 0x0F};
    const uint8_t f = kCodes[(*rng)() % 8];
    Bytes fr = {static_cast<uint8_t>(1 + (*rng)() % 247), f};
    const int body = f == 0x10 || f == 0x0F ? 0 : static_cast<int>((*rng)() % 250);
    if (request && (f == 0x10 || f == 0x0F)) {
      const uint8_t count = static_cast<uint8_t>((*rng)() % 256);
      fr.insert(fr.end(), {0, 1, 0, 2, count});
      for (int i = 0; i < count; i++) fr.push_back(static_cast<uint8_t>((*rng)()));
    } else if (!request && f == 0x03) {
      fr.push_back(static_cast<uint8_t>(body));
      for (int i = 0; i < body; i++) fr.push_back(static_cast<uint8_t>((*rng)()));
    } else if (f == 0x83) {
      fr.push_back(2);
    } else {
      const int n = f == 0x03 || f == 0x06 || f == 0x10 || f == 0x0F ? 4 : body;
      for (int i = 0; i < n; i++) fr.push_back(static_cast<uint8_t>((*rng)()));
    }
    add_crc(&fr);
    b.insert(b.end(), fr.begin(), fr.end());
  }
  b.insert(b.end(), 300, 0xFF);
  return b;
}

TEST(ModbusMonitorRtuSearch, FindsTheFramesAPlainSearchFindsInAnyChunking) {
  std::mt19937 rng(2026);
  for (int round = 0; round < 6; round++) {
    const Bytes stream[2] = {random_stream(&rng, 1), random_stream(&rng, 0)};
    // Chunks of both streams interleaved at random; two chunks of one
    // stream in a row are parted by a gap marker, as the capture parts them.
    std::vector<CaptureRecord> records;
    std::vector<int32_t> record_of[2];
    size_t at[2] = {0, 0};
    int last = -1;
    while (at[0] < stream[0].size() || at[1] < stream[1].size()) {
      int s = static_cast<int>(rng() % 2);
      if (at[s] == stream[s].size()) s = 1 - s;
      if (s == last) {
        for (uint8_t kind : {kKindGapText, kKindGapHigh, kKindGapLow}) {
          CaptureRecord m = {};
          m.kind = kind;
          m.data = kind == kKindGapText ? 't' : '0';
          m.marker2 = kind == kKindGapText ? '=' : '0';
          records.push_back(m);
        }
      }
      last = s;
      const size_t n = std::min<size_t>(1 + rng() % (round % 2 ? 700 : 40), stream[s].size() - at[s]);
      for (size_t i = 0; i < n; i++) {
        CaptureRecord r = {};
        r.kind = s == 0 ? kKindSentCh1 : kKindRecvCh1;
        r.data = stream[s][at[s] + i];
        record_of[s].push_back(static_cast<int32_t>(records.size()));
        records.push_back(r);
      }
      at[s] += n;
    }
    ModbusMonitorOptions opt = {kModbusRtu, 0, {{9600, 110}, {9600, 110}}};
    ModbusFrameList list;
    ASSERT_EQ(modbus_monitor_decode_list(records.data(), nullptr, static_cast<int32_t>(records.size()), &opt, &list,
                                         nullptr),
              0);
    for (int s = 0; s < 2; s++) {
      const std::vector<std::pair<int, int>> want = plain_frames(s == 0, stream[s]);
      std::vector<std::pair<int, int>> got;
      for (int32_t i = 0; i < list.n; i++) {
        const ModbusFrame& f = list.frames[i];
        if (f.role != (s == 0 ? kMonitorRequest : kMonitorAnswer) || f.check == kMonitorNotModbus) continue;
        EXPECT_TRUE(f.check == kMonitorOk || f.check == kMonitorTooShort) << f.check;
        const auto first = std::lower_bound(record_of[s].begin(), record_of[s].end(), f.first_record);
        got.push_back({static_cast<int>(first - record_of[s].begin()), f.length});
      }
      EXPECT_GT(want.size(), 10u);
      EXPECT_EQ(got, want) << "round " << round << " stream " << s;
    }
    modbus_frame_list_free(&list);
  }
}

}  // namespace
