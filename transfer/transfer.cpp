// The pieces both directions share: the block's frame and check, YMODEM's
// block 0, the received name's check, raw pacing, and the dispatch of a
// turn to the sender or receiver (transfer_send.cpp, transfer_receive.cpp).
#include "transfer/transfer.h"

#include <cstdio>
#include <cstring>

#include "transfer/transfer_machines.h"

uint16_t transfer_crc16(const uint8_t* data, int count) {
  uint16_t crc = 0;
  for (int i = 0; i < count; i++) {
    crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
    for (int b = 0; b < 8; b++)
      crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
  }
  return crc;
}

int transfer_frame(uint8_t* frame, int block_size, int number, const uint8_t* data, int count, uint8_t pad, int crc) {
  if (count > block_size) count = block_size;
  if (count < 0) count = 0;
  frame[0] = block_size == kTransferBlockMost ? kXmStx : kXmSoh;
  frame[1] = static_cast<uint8_t>(number);
  frame[2] = static_cast<uint8_t>(~number);
  uint8_t* body = frame + 3;
  if (count > 0) std::memcpy(body, data, static_cast<size_t>(count));
  std::memset(body + count, pad, static_cast<size_t>(block_size - count));
  if (crc) {
    const uint16_t c = transfer_crc16(body, block_size);
    body[block_size] = static_cast<uint8_t>(c >> 8);
    body[block_size + 1] = static_cast<uint8_t>(c);
    return 3 + block_size + 2;
  }
  uint8_t sum = 0;
  for (int i = 0; i < block_size; i++) sum = static_cast<uint8_t>(sum + body[i]);
  body[block_size] = sum;
  return 3 + block_size + 1;
}

int transfer_header(uint8_t* data, int block_size, const char* name, int name_length, int64_t size) {
  std::memset(data, 0, static_cast<size_t>(block_size));
  if (name_length <= 0) return 1;
  char digits[24];
  int d = 0;
  if (size >= 0) {
    char reversed[24];
    int64_t v = size;
    do {
      reversed[d++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v > 0 && d < 20);
    for (int i = 0; i < d; i++) digits[i] = reversed[d - 1 - i];
  }
  if (name_length + 1 + d + 1 > block_size) return 0;
  std::memcpy(data, name, static_cast<size_t>(name_length));
  std::memcpy(data + name_length + 1, digits, static_cast<size_t>(d));
  return 1;
}

int transfer_header_read(const uint8_t* data, int block_size, char name[kTransferNameMost], int* name_length,
                         int64_t* size) {
  int n = 0;
  while (n < block_size && data[n] != 0) n++;
  if (n >= block_size || n > kTransferNameMost) return kTransferBadHeader;
  std::memcpy(name, data, static_cast<size_t>(n));
  *name_length = n;
  *size = -1;
  // The size is decimal, ended by a space (a date follows) or NUL.
  int i = n + 1;
  int64_t v = 0;
  int digits = 0;
  while (i < block_size && data[i] >= '0' && data[i] <= '9') {
    if (digits >= 18) return kTransferBadHeader;
    v = v * 10 + (data[i] - '0');
    digits++;
    i++;
  }
  if (i < block_size && data[i] != 0 && data[i] != ' ') return kTransferBadHeader;
  if (digits > 0) *size = v;
  return 0;
}

namespace {

int upper(char16_t c) { return c >= u'a' && c <= u'z' ? c - 32 : c; }

// A unit Windows takes for a port's number: 0-9 and the superscripts.
int port_digit(char16_t c) { return (c >= u'0' && c <= u'9') || c == 0xB9 || c == 0xB2 || c == 0xB3; }

int stem_is(const char16_t* stem, int length, const char* word) {
  int i = 0;
  for (; i < length && word[i]; i++)
    if (upper(stem[i]) != word[i]) return 0;
  return i == length && !word[i];
}

}  // namespace

int transfer_device_name(const char16_t* name, int length) {
  int stem = 0;
  while (stem < length && name[stem] != u'.') stem++;
  // Windows also drops trailing spaces of the stem before the comparison.
  while (stem > 0 && name[stem - 1] == u' ') stem--;
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices)
    if (stem_is(name, stem, device)) return 1;
  return stem == 4 && port_digit(name[3]) && (stem_is(name, 3, "COM") || stem_is(name, 3, "LPT"));
}

namespace {

// The stem as the receiver's side may read it: a UTF-8 pair C2 xx is
// U+00xx, any other byte stands for itself (the superscripts are the same
// byte in the Latin-1 code pages).
int reserved_stem(const char* name, int length) {
  char16_t units[kTransferNameMost];
  int n = 0;
  for (int i = 0; i < length && n < kTransferNameMost && name[i] != '.'; i++) {
    const uint8_t b = static_cast<uint8_t>(name[i]);
    if (b == 0xC2 && i + 1 < length && (static_cast<uint8_t>(name[i + 1]) & 0xC0) == 0x80)
      units[n++] = static_cast<uint8_t>(name[++i]);
    else
      units[n++] = b;
  }
  return transfer_device_name(units, n);
}

}  // namespace

int transfer_name_check(const char* name, int length) {
  if (length <= 0) return kNameEmpty;
  if (length > kTransferNameMost) return kNameTooLong;
  for (int i = 0; i < length; i++) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c == '/' || c == '\\' || c == ':') return kNameHasFolder;
  }
  if ((length == 1 && name[0] == '.') || (length == 2 && name[0] == '.' && name[1] == '.')) return kNameHasFolder;
  for (int i = 0; i < length; i++) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || c == 0x7F || std::strchr("<>\"|?*", c)) return kNameBadCharacter;
  }
  if (name[length - 1] == ' ' || name[length - 1] == '.') return kNameBadEnd;
  if (reserved_stem(name, length)) return kNameReserved;
  return kNameOk;
}

int transfer_numbered_name(const char16_t* name, int length, int number, char16_t* out, int most) {
  if (length < 0 || number < 1) return 0;
  char digits[16];
  int d = 0;
  if (number > 1) d = std::snprintf(digits, sizeof digits, " (%d)", number);
  if (length + d > most) return 0;
  int dot = length;
  while (dot > 1 && name[dot - 1] != u'.') dot--;
  if (dot <= 1) dot = length;  // no extension
  else dot--;
  int n = 0;
  for (int i = 0; i < dot; i++) out[n++] = name[i];
  for (int i = 0; i < d; i++) out[n++] = static_cast<char16_t>(digits[i]);
  for (int i = dot; i < length; i++) out[n++] = name[i];
  return n;
}

int raw_next_piece(const uint8_t* data, int count, int more, const RawPacing* pacing, int most, uint32_t* pause_ms) {
  *pause_ms = 0;
  if (count <= 0 || most <= 0) return 0;
  if (count > most) {
    count = most;
    more = 1;
  }
  const uint32_t byte_ms = pacing ? pacing->byte_ms : 0;
  const uint32_t line_ms = pacing ? pacing->line_ms : 0;
  if (byte_ms == 0 && line_ms == 0) return count;
  // A line ends at LF, or at a CR that no LF follows.
  auto line_end = [&](int i) -> int {
    if (data[i] == 0x0A) return 1;
    if (data[i] != 0x0D) return 0;
    return i + 1 < count ? data[i + 1] != 0x0A : 2;  // 2: not known yet
  };
  int n = 0;
  for (;;) {
    const int end = line_end(n);
    if (end == 2) {
      if (more) {
        if (n == 0) return 0;
        *pause_ms = byte_ms;
        return n;  // the CR goes with what follows it
      }
      *pause_ms = byte_ms + line_ms;
      return n + 1;
    }
    n++;
    if (end) {
      *pause_ms = byte_ms + line_ms;
      return n;
    }
    if (byte_ms > 0 || n == count) {
      *pause_ms = byte_ms;
      return n;
    }
  }
}

void transfer_fail(Transfer* t, int failure) {
  if (t->status != kTransferRunning) return;
  t->status = kTransferFailed;
  t->failure = failure;
  if (!t->sending && t->file_open && t->sink.end) t->sink.end(t->sink.ctx, 0);
  t->file_open = 0;
}

void transfer_put(TransferOut* out, const uint8_t* bytes, int count) {
  if (count > kTransferOutMost - out->count) count = kTransferOutMost - out->count;
  if (count <= 0) return;
  std::memcpy(out->bytes + out->count, bytes, static_cast<size_t>(count));
  out->count += count;
}

void transfer_put_byte(TransferOut* out, uint8_t byte) { transfer_put(out, &byte, 1); }

void transfer_fail_cancelling(Transfer* t, int failure, TransferOut* out) {
  if (t->status != kTransferRunning) return;
  if (t->protocol != kTransferRaw) {
    const uint8_t cans[2] = {kXmCan, kXmCan};
    transfer_put(out, cans, 2);
  }
  transfer_fail(t, failure);
}

int transfer_count_can(Transfer* t, uint8_t byte) {
  t->cans = byte == kXmCan ? t->cans + 1 : 0;
  return t->cans >= 2;
}

void transfer_cancel(Transfer* t, uint32_t now, TransferOut* out) {
  out->count = 0;
  if (t->sending && transfer_send_cancel(t, now)) return;
  // A raw receive has no end of its own: the user's stop is its end.
  if (t->protocol == kTransferRaw && !t->sending && t->status == kTransferRunning) {
    if (t->file_open && t->sink.end) t->sink.end(t->sink.ctx, 1);
    t->file_open = 0;
    t->progress.files = 1;
    t->status = kTransferDone;
    return;
  }
  transfer_fail_cancelling(t, kTransferCancelled, out);
}

void transfer_line_failed(Transfer* t) { transfer_fail(t, kTransferLineFailed); }

int transfer_step(Transfer* t, const uint8_t* in, int n, uint32_t now, TransferOut* out) {
  out->count = 0;
  if (t->status != kTransferRunning) return t->status;
  if (n < 0) n = 0;
  if (t->sending) transfer_send_turn(t, in, n, now, out);
  else transfer_receive_turn(t, in, n, now, out);
  return t->status;
}
