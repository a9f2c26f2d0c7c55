#include "record/record_file.h"

#include <cstdio>
#include <cstring>

namespace {

void put(uint8_t* p, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint64_t get(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; i++) v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return v;
}

constexpr uint8_t kFileMagic[4] = {'Q', 'R', 'E', 'C'};
constexpr uint8_t kBlockMagic[4] = {'Q', 'B', 'L', 'K'};
constexpr int kHeaderCheckAt = 216;
constexpr int kBlockCheckAt = 24;

int valid_kind(uint8_t type) { return type >= 1 && type <= 4; }

}  // namespace

uint32_t record_crc32(uint32_t crc, const uint8_t* p, size_t n) {
  // Eight bytes a step through eight tables ("slicing by 8"): about five
  // times the speed of a byte a step, for the recorder's writer and for
  // every reader, which check every byte of a recording.
  static uint32_t table[8][256];
  static const bool made = [] {
    for (uint32_t i = 0; i < 256; i++) {
      uint32_t c = i;
      for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; i++)
      for (int t = 1; t < 8; t++) table[t][i] = (table[t - 1][i] >> 8) ^ table[0][table[t - 1][i] & 0xFF];
    return true;
  }();
  (void)made;
  crc = ~crc;
  for (; n >= 8; n -= 8, p += 8) {
    const uint32_t lo = crc ^ (static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                               static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
    crc = table[7][lo & 0xFF] ^ table[6][(lo >> 8) & 0xFF] ^ table[5][(lo >> 16) & 0xFF] ^ table[4][lo >> 24] ^
          table[3][p[4]] ^ table[2][p[5]] ^ table[1][p[6]] ^ table[0][p[7]];
  }
  for (; n; n--, p++) crc = table[0][(crc ^ *p) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void record_header_write(const RecordHeader& h, uint8_t out[kRecordHeaderBytes]) {
  std::memset(out, 0, kRecordHeaderBytes);
  std::memcpy(out, kFileMagic, 4);
  put(out + 4, kRecordVersion, 2);
  put(out + 6, kRecordHeaderBytes, 2);
  put(out + 8, h.year, 2);
  out[10] = h.month;
  out[11] = h.day;
  out[12] = h.hour;
  out[13] = h.minute;
  out[14] = h.second;
  put(out + 16, static_cast<uint64_t>(h.clock_us), 8);
  for (int ch = 0; ch < 2; ch++) {
    uint8_t* c = out + 24 + ch * kRecordChannelBytes;
    const RecordChannel& r = h.channel[ch];
    put(c, r.baud, 4);
    c[4] = r.data_bits;
    c[5] = r.parity;
    c[6] = r.stop_bits;
    c[7] = r.flow;
    c[8] = r.port_kind;
    put(c + 10, r.com, 2);
    for (int i = 0; i < kRecordAddressBytes && r.address[i]; i++) c[12 + i] = static_cast<uint8_t>(r.address[i]);
  }
  put(out + kHeaderCheckAt, record_crc32(0, out, kHeaderCheckAt), 4);
  put(out + kHeaderCheckAt + 4, h.run_id, 4);
}

int record_header_read(const uint8_t* p, size_t n, RecordHeader* out) {
  if (n < 8) return kRecordHeaderShort;
  if (std::memcmp(p, kFileMagic, 4) != 0) return kRecordHeaderNotOurs;
  if (get(p + 4, 2) != kRecordVersion) return kRecordHeaderVersion;
  if (n < static_cast<size_t>(kRecordHeaderBytes)) return kRecordHeaderShort;
  if (get(p + 6, 2) != kRecordHeaderBytes || get(p + kHeaderCheckAt, 4) != record_crc32(0, p, kHeaderCheckAt))
    return kRecordHeaderDamaged;
  RecordHeader h = {};
  h.year = static_cast<uint16_t>(get(p + 8, 2));
  h.month = p[10];
  h.day = p[11];
  h.hour = p[12];
  h.minute = p[13];
  h.second = p[14];
  if (h.month < 1 || h.month > 12 || h.day < 1 || h.day > 31 || h.hour > 23 || h.minute > 59 || h.second > 60)
    return kRecordHeaderDamaged;
  h.clock_us = static_cast<int64_t>(get(p + 16, 8));
  h.run_id = static_cast<uint32_t>(get(p + kHeaderCheckAt + 4, 4));
  for (int ch = 0; ch < 2; ch++) {
    const uint8_t* c = p + 24 + ch * kRecordChannelBytes;
    RecordChannel& r = h.channel[ch];
    r.baud = static_cast<uint32_t>(get(c, 4));
    r.data_bits = c[4];
    r.parity = c[5];
    r.stop_bits = c[6];
    r.flow = c[7];
    r.port_kind = c[8];
    r.com = static_cast<uint16_t>(get(c + 10, 2));
    for (int i = 0; i < kRecordAddressBytes; i++) {
      const uint8_t b = c[12 + i];
      // Address texts are printable ASCII; anything else ends it.
      r.address[i] = b >= 0x20 && b < 0x7F ? static_cast<char>(b) : 0;
      if (!r.address[i]) break;
    }
    r.address[kRecordAddressBytes] = 0;
  }
  *out = h;
  return kRecordHeaderOk;
}

void record_block_begin(RecordBlockBuilder* b) {
  b->payload = 0;
  b->entries = 0;
  b->first_time = 0;
}

namespace {

uint8_t* entry_room(RecordBlockBuilder* b, uint32_t bytes, int64_t time_us) {
  if (b->payload + bytes > kRecordBlockPayloadMax) return nullptr;
  if (b->entries == 0) b->first_time = time_us;
  uint8_t* at = b->bytes + kRecordBlockHeaderBytes + b->payload;
  b->payload += bytes;
  b->entries++;
  return at;
}

}  // namespace

void record_event_encode(uint8_t out[kRecordEventBytes], uint8_t kind, uint8_t channel, uint16_t port,
                         uint32_t detail, int64_t time_us) {
  out[0] = kRecordEntryEvent;
  out[1] = kind;
  out[2] = channel;
  put(out + 3, port, 2);
  put(out + 5, detail, 4);
  put(out + 9, static_cast<uint64_t>(time_us), 8);
}

void record_chunk_head_encode(uint8_t out[kRecordChunkOverhead], uint8_t kind, int n, int64_t time_us) {
  out[0] = kind;
  put(out + 1, static_cast<uint64_t>(n), 2);
  put(out + 3, static_cast<uint64_t>(time_us), 8);
}

int record_block_add_chunk(RecordBlockBuilder* b, uint8_t kind, int64_t time_us, const uint8_t* data, int n) {
  if (!valid_kind(kind) || n < 1 || n > kRecordChunkMax) return 2;
  uint8_t* at = entry_room(b, static_cast<uint32_t>(kRecordChunkOverhead + n), time_us);
  if (!at) return 1;
  record_chunk_head_encode(at, kind, n, time_us);
  std::memcpy(at + kRecordChunkOverhead, data, static_cast<size_t>(n));
  return 0;
}

int record_block_add_event(RecordBlockBuilder* b, uint8_t kind, uint8_t channel, uint16_t port, uint32_t detail,
                           int64_t time_us) {
  uint8_t* at = entry_room(b, kRecordEventBytes, time_us);
  if (!at) return 1;
  record_event_encode(at, kind, channel, port, detail, time_us);
  return 0;
}

uint32_t record_block_seal(RecordBlockBuilder* b) {
  if (b->entries == 0) return 0;
  uint8_t* h = b->bytes;
  std::memcpy(h, kBlockMagic, 4);
  put(h + 4, b->payload, 4);
  put(h + 8, b->entries, 4);
  put(h + 12, record_crc32(0, h + kRecordBlockHeaderBytes, b->payload), 4);
  put(h + 16, static_cast<uint64_t>(b->first_time), 8);
  put(h + kBlockCheckAt, record_crc32(0, h, kBlockCheckAt), 4);
  return kRecordBlockHeaderBytes + b->payload;
}

int record_block_header(const uint8_t* p, size_t n, RecordBlock* out) {
  if (n < static_cast<size_t>(kRecordBlockHeaderBytes)) {
    // A header cut short is a torn tail, unless what is there already says
    // it is no block.
    return std::memcmp(p, kBlockMagic, n < 4 ? n : 4) == 0 ? kRecordBlockTorn : kRecordBlockDamaged;
  }
  if (std::memcmp(p, kBlockMagic, 4) != 0 || get(p + kBlockCheckAt, 4) != record_crc32(0, p, kBlockCheckAt))
    return kRecordBlockDamaged;
  RecordBlock b;
  b.payload_bytes = static_cast<uint32_t>(get(p + 4, 4));
  b.entries = static_cast<uint32_t>(get(p + 8, 4));
  b.first_time = static_cast<int64_t>(get(p + 16, 8));
  b.payload = p + kRecordBlockHeaderBytes;
  if (b.payload_bytes == 0 || b.payload_bytes > kRecordBlockPayloadMax || b.entries == 0 ||
      b.entries > b.payload_bytes / kRecordChunkOverhead + 1)
    return kRecordBlockDamaged;
  *out = b;
  return kRecordBlockOk;
}

int record_block_read(const uint8_t* p, size_t n, RecordBlock* out) {
  RecordBlock b;
  const int status = record_block_header(p, n, &b);
  if (status != kRecordBlockOk) return status;
  if (n - kRecordBlockHeaderBytes < b.payload_bytes) return kRecordBlockTorn;
  if (get(p + 12, 4) != record_crc32(0, b.payload, b.payload_bytes)) return kRecordBlockDamaged;
  *out = b;
  return kRecordBlockOk;
}

int record_entry_next(const RecordBlock& b, uint32_t* at, RecordEntry* out) {
  if (*at >= b.payload_bytes) return 0;
  const uint8_t* p = b.payload + *at;
  const uint32_t left = b.payload_bytes - *at;
  RecordEntry e = {};
  e.type = p[0];
  if (valid_kind(e.type)) {
    if (left < static_cast<uint32_t>(kRecordChunkOverhead)) return -1;
    e.length = static_cast<uint16_t>(get(p + 1, 2));
    if (e.length < 1 || e.length > kRecordChunkMax || left - kRecordChunkOverhead < e.length) return -1;
    e.time_us = static_cast<int64_t>(get(p + 3, 8));
    e.data = p + kRecordChunkOverhead;
    *at += kRecordChunkOverhead + e.length;
  } else if (e.type == kRecordEntryEvent) {
    if (left < static_cast<uint32_t>(kRecordEventBytes)) return -1;
    e.event_kind = p[1];
    e.event_channel = p[2];
    e.event_port = static_cast<uint16_t>(get(p + 3, 2));
    e.event_detail = static_cast<uint32_t>(get(p + 5, 4));
    e.time_us = static_cast<int64_t>(get(p + 9, 8));
    *at += kRecordEventBytes;
  } else {
    return -1;
  }
  *out = e;
  return 1;
}

void record_file_name(const RecordHeader& h, char out[kRecordNameUnits]) {
  std::snprintf(out, kRecordNameUnits, "quorrin-%04u%02u%02u-%02u%02u%02u.qrec", static_cast<unsigned>(h.year % 10000),
                static_cast<unsigned>(h.month % 100), static_cast<unsigned>(h.day % 100),
                static_cast<unsigned>(h.hour % 100), static_cast<unsigned>(h.minute % 100),
                static_cast<unsigned>(h.second % 100));
}

void record_file_name_nth(const RecordHeader& h, int k, char* out, int units) {
  char name[kRecordNameUnits];
  record_file_name(h, name);
  if (k <= 1) std::snprintf(out, static_cast<size_t>(units), "%s", name);
  else std::snprintf(out, static_cast<size_t>(units), "%.*s-%d.qrec", static_cast<int>(std::strlen(name)) - 5, name, k);
}

int record_file_name_ours(const char* name) {
  // quorrin-YYYYMMDD-HHMMSS.qrec, and a later file of the same second
  // may carry "-2" ... before the extension.
  static const char kPrefix[] = "quorrin-";
  if (std::strncmp(name, kPrefix, 8) != 0) return 0;
  const char* p = name + 8;
  for (int i = 0; i < 15; i++) {
    if (i == 8 ? p[i] != '-' : (p[i] < '0' || p[i] > '9')) return 0;
  }
  p += 15;
  if (*p == '-') {
    p++;
    if (*p < '1' || *p > '9') return 0;
    while (*p >= '0' && *p <= '9') p++;
  }
  static const char kExt[] = ".qrec";
  for (int i = 0; i < 5; i++) {
    char c = p[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kExt[i]) return 0;
  }
  return p[5] == 0;
}

namespace {

// The number after the second of a recording's name: 1 for none.
// The digits of a name's number within its second ("" for the first file,
// which counts as 1): where they begin, and how many. A recording's number
// has no leading zero, so more digits is a later file, and as many digits
// compare as text, whatever their count.
const char* file_sequence(const char* name, size_t* digits) {
  const char* p = name + 23;  // past "quorrin-YYYYMMDD-HHMMSS"
  if (*p != '-') {
    *digits = 1;
    return "1";
  }
  p++;
  *digits = 0;
  while (p[*digits] >= '0' && p[*digits] <= '9') ++*digits;
  return p;
}

}  // namespace

int record_file_name_compare(const char* a, const char* b) {
  const int ours_a = record_file_name_ours(a), ours_b = record_file_name_ours(b);
  if (ours_a != ours_b) return ours_a ? -1 : 1;
  if (!ours_a) return std::strcmp(a, b);
  const int second = std::strncmp(a, b, 23);
  if (second) return second;
  size_t na = 0, nb = 0;
  const char* ka = file_sequence(a, &na);
  const char* kb = file_sequence(b, &nb);
  if (na != nb) return na < nb ? -1 : 1;
  if (const int k = std::strncmp(ka, kb, na)) return k;
  return std::strcmp(a, b);  // "-02" beside "-2": one order still
}

namespace {

void ascii_of(const char16_t* name, char out[kRecordNameChars + 1]) {
  int i = 0;
  for (; i < kRecordNameChars && name[i]; i++) out[i] = name[i] < 128 ? static_cast<char>(name[i]) : '?';
  out[i] = 0;
}

}  // namespace

int record_file_name_compare16(const char16_t* a, const char16_t* b) {
  char x[kRecordNameChars + 1], y[kRecordNameChars + 1];
  ascii_of(a, x);
  ascii_of(b, y);
  return record_file_name_compare(x, y);
}

void record_file_list_clear(RecordFileList* list) {
  list->count = 0;
  list->more = 0;
  list->more_bytes = 0;
}

int record_file_list_put(RecordFileList* list, const char16_t* name, uint64_t size) {
  int n = 0;
  while (name[n]) n++;
  if (n >= kRecordNameChars) return 1;
  if (list->count == kRecordFolderFilesMax) {
    list->more++;
    if (record_file_name_compare16(list->names[list->count - 1], name) < 0) {
      list->more_bytes += size;
      return 0;
    }
    list->more_bytes += list->sizes[--list->count];  // the newest makes room
  }
  int at = list->count++;
  while (at > 0 && record_file_name_compare16(list->names[at - 1], name) > 0) {
    std::memcpy(list->names[at], list->names[at - 1], sizeof list->names[at]);
    list->sizes[at] = list->sizes[at - 1];
    at--;
  }
  std::memcpy(list->names[at], name, (static_cast<size_t>(n) + 1) * sizeof(char16_t));
  list->sizes[at] = size;
  return 0;
}

void record_size_text(uint64_t bytes, char out[24]) {
  // Below a tenth of a MB the tenths would read 0.0: a short session in KB.
  if (bytes < 1024) {
    std::snprintf(out, 24, "%u B", static_cast<unsigned>(bytes));
    return;
  }
  if (bytes * 10 < (1 << 20)) {
    std::snprintf(out, 24, "%u KB", static_cast<unsigned>(bytes / 1024));
    return;
  }
  const uint64_t tenths = bytes / (1 << 20) * 10 + bytes % (1 << 20) * 10 / (1 << 20);
  std::snprintf(out, 24, "%llu.%llu MB", static_cast<unsigned long long>(tenths / 10),
                static_cast<unsigned long long>(tenths % 10));
}

void record_status_text(uint64_t bytes, uint32_t seconds, uint64_t lost, char out[64]) {
  char size[24];
  record_size_text(bytes, size);
  const int n = std::snprintf(out, 64, "REC %s %u:%02u:%02u", size, seconds / 3600, seconds / 60 % 60, seconds % 60);
  if (lost && n > 0 && n < 64) std::snprintf(out + n, static_cast<size_t>(64 - n), " LOST %llu B",
                                             static_cast<unsigned long long>(lost));
}

int64_t record_day_stamp(int year, int month, int day, int zone_minutes) {
  return ((static_cast<int64_t>(year) * 13 + month) * 32 + day) * 4096 + (zone_minutes + 2048) % 4096;
}

int record_rotate_due(uint64_t file_bytes, uint64_t bytes, uint64_t limit, int64_t file_day, int64_t today) {
  if (file_day != today) return 1;
  // A file holds at least its header and one block, whatever the limit.
  if (limit == 0 || file_bytes <= static_cast<uint64_t>(kRecordHeaderBytes)) return 0;
  return file_bytes + bytes > limit;
}

int record_prune_count(const uint64_t* sizes, int n, uint64_t limit, uint64_t coming) {
  if (limit == 0 || n <= 0) return 0;
  uint64_t total = coming;
  for (int i = 0; i < n; i++) total += sizes[i];
  int k = 0;
  while (k < n && total > limit) total -= sizes[k++];
  return k;
}
