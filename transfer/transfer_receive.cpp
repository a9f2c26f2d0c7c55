// The receiving machines: raw bytes until the line has been quiet, and the
// XMODEM (and XMODEM-1K, which the same receiver takes) and YMODEM
// receiver. A block is collected in t->frame whatever arrives: its length
// is fixed by its first byte, so no count the peer sends can make it run
// past the frame.
//
// XMODEM gives no size: a block is held back until the next block or EOT
// shows whether it was the last, and the last loses its trailing 1A
// padding. YMODEM's block 0 gives the size, and the file is cut to it; the
// cut tail is held back in the same way, and written after all when a
// block follows it (the size was wrong, and the transfer fails).
#include <cstring>

#include "transfer/transfer_machines.h"

namespace {

enum ReceiveState {
  kReceiveRaw = 1,
  kReceiveAsk,     // asking with C (or NAK) for the first block of a file, or for block 0
  kReceiveHeader,  // waiting for the next block's first byte, or EOT
  kReceiveBlock,   // collecting a block
  kReceivePurge,   // a bad block: waiting for the line to go quiet before NAK
};

constexpr uint32_t kAskLimitMs = kXmStartLimitMs;

uint8_t ask_byte(const Transfer* t) { return t->crc ? kXmCrc : kXmNak; }

void ask(Transfer* t, TransferOut* out, uint32_t now) {
  if (t->protocol != kTransferYmodem && t->tries >= kXmCrcAsks) t->crc = 0;
  t->tries++;
  transfer_put_byte(out, ask_byte(t));
  t->deadline = now + (t->crc ? kXmCrcAskMs : kXmBlockWaitMs);
}

void start_asking(Transfer* t, TransferOut* out, uint32_t now) {
  t->state = kReceiveAsk;
  t->tries = 0;
  t->began = now;
  ask(t, out, now);
}

void write_or_fail(Transfer* t, const uint8_t* bytes, int count, TransferOut* out) {
  if (count <= 0) return;
  if (t->sink.write(t->sink.ctx, bytes, count) != 0) transfer_fail_cancelling(t, kTransferWriteFailed, out);
}

// The block held back was the last: its 1A padding goes.
void write_held_last(Transfer* t, TransferOut* out) {
  int n = t->held_length;
  while (n > 0 && t->held[n - 1] == kXmPad) n--;
  t->progress.bytes -= t->held_length - n;
  t->progress.total_bytes -= t->held_length - n;
  write_or_fail(t, t->held, n, out);
  t->held_length = 0;
}

void file_done(Transfer* t) {
  if (t->file_open && t->sink.end) t->sink.end(t->sink.ctx, 1);
  t->file_open = 0;
  t->progress.files++;
}

void on_eot(Transfer* t, TransferOut* out, uint32_t now) {
  if (t->protocol == kTransferYmodem && !t->file_open) {
    // Our ACK of the last EOT was lost: once more, and ask on.
    transfer_put_byte(out, kXmAck);
    transfer_put_byte(out, ask_byte(t));
    t->deadline = now + kXmCrcAskMs;
    return;
  }
  // YMODEM NAKs the first EOT, so a line hit that looks like one ends nothing.
  if (t->protocol == kTransferYmodem && ++t->eots == 1) {
    transfer_put_byte(out, kXmNak);
    t->state = kReceiveHeader;
    t->deadline = now + kXmBlockWaitMs;
    return;
  }
  if (t->left < 0) write_held_last(t, out);
  if (t->status != kTransferRunning) return;
  transfer_put_byte(out, kXmAck);
  if (t->left > 0 || t->over) {
    // The size in block 0 was wrong: what came is kept, and the transfer
    // says so rather than pass the file off as whole.
    transfer_fail_cancelling(t, kTransferSizeMismatch, out);
    return;
  }
  file_done(t);
  if (t->protocol != kTransferYmodem) {
    t->status = kTransferDone;
    return;
  }
  t->sequence = 0;
  t->crc = 1;
  start_asking(t, out, now);
}

// A checked block of the expected number: block 0 of YMODEM, or data.
void take_block(Transfer* t, const uint8_t* body, int size, TransferOut* out, uint32_t now) {
  // Block 0 is YMODEM's header only between files: inside one, the
  // numbers wrap through 0 every 256 blocks.
  if (t->protocol == kTransferYmodem && !t->file_open) {
    char name[kTransferNameMost];
    int name_length = 0;
    int64_t file_size = -1;
    if (transfer_header_read(body, size, name, &name_length, &file_size) != 0) {
      transfer_fail_cancelling(t, kTransferBadHeader, out);
      return;
    }
    std::memcpy(t->progress.name, name, static_cast<size_t>(name_length));
    t->progress.name[name_length] = 0;
    if (name_length == 0) {  // the batch's end
      transfer_put_byte(out, kXmAck);
      t->status = kTransferDone;
      return;
    }
    if (transfer_name_check(name, name_length) != kNameOk) {
      transfer_fail_cancelling(t, kTransferNameRefused, out);
      return;
    }
    const int refused = t->sink.begin(t->sink.ctx, name, name_length, file_size);
    if (refused) {
      transfer_fail_cancelling(t, refused, out);
      return;
    }
    t->file_open = 1;
    t->left = file_size;
    t->progress.size = file_size;
    t->progress.bytes = 0;
    t->eots = 0;
    t->held_length = 0;
    t->over = 0;
    t->sequence = 1;
    t->first_block = 1;
    t->tries = 0;
    transfer_put_byte(out, kXmAck);
    transfer_put_byte(out, ask_byte(t));
    t->state = kReceiveHeader;
    t->deadline = now + kXmBlockWaitMs;
    return;
  }
  int count = size;
  if (t->left > 0) {
    if (count > t->left) count = static_cast<int>(t->left);
    t->left -= count;
    write_or_fail(t, body, count, out);
    // Past the size is padding, unless another block follows.
    std::memcpy(t->held, body + count, static_cast<size_t>(size - count));
    t->held_length = size - count;
  } else if (t->left == 0) {
    // A block past the stated size: the size was wrong, and the tail set
    // aside was data too.
    t->over = 1;
    write_or_fail(t, t->held, t->held_length, out);
    if (t->status == kTransferRunning) write_or_fail(t, body, size, out);
    count = t->held_length + size;
    t->held_length = 0;
  } else {
    write_or_fail(t, t->held, t->held_length, out);
    std::memcpy(t->held, body, static_cast<size_t>(size));
    t->held_length = size;
  }
  if (t->status != kTransferRunning) return;
  t->progress.bytes += count;
  t->progress.total_bytes += count;
  t->progress.blocks++;
  t->sequence = (t->sequence + 1) & 0xFF;
  t->first_block = 0;
  t->tries = 0;
  t->eots = 0;
  transfer_put_byte(out, kXmAck);
  t->state = kReceiveHeader;
  t->deadline = now + kXmBlockWaitMs;
}

void purge(Transfer* t, TransferOut* out, uint32_t now) {
  t->progress.retries++;
  if (++t->tries > kXmRetries) {
    transfer_fail_cancelling(t, kTransferRetries, out);
    return;
  }
  t->state = kReceivePurge;
  t->deadline = now + kXmCharWaitMs;
  t->purge_until = now + kXmBlockWaitMs;
}

void block_complete(Transfer* t, TransferOut* out, uint32_t now) {
  const int size = t->frame[0] == kXmStx ? kTransferBlockMost : 128;
  const uint8_t* body = t->frame + 3;
  int good = (t->frame[1] ^ t->frame[2]) == 0xFF;
  if (t->crc) {
    const uint16_t crc = transfer_crc16(body, size);
    good = good && body[size] == static_cast<uint8_t>(crc >> 8) && body[size + 1] == static_cast<uint8_t>(crc);
  } else {
    uint8_t sum = 0;
    for (int i = 0; i < size; i++) sum = static_cast<uint8_t>(sum + body[i]);
    good = good && body[size] == sum;
  }
  if (!good) {
    purge(t, out, now);
    return;
  }
  const int number = t->frame[1];
  if (number == t->sequence) {
    take_block(t, body, size, out, now);
    return;
  }
  if (number == ((t->sequence - 1) & 0xFF)) {
    // Our ACK was lost and the sender repeats the block: taken already.
    transfer_put_byte(out, kXmAck);
    // A repeated block 0 also missed the C that asked for the data.
    if (t->protocol == kTransferYmodem && number == 0 && t->first_block) transfer_put_byte(out, ask_byte(t));
    t->state = kReceiveHeader;
    t->deadline = now + kXmBlockWaitMs;
    return;
  }
  transfer_fail_cancelling(t, kTransferOutOfStep, out);
}

void on_byte(Transfer* t, uint8_t b, TransferOut* out, uint32_t now) {
  if (t->state == kReceiveBlock) {
    t->frame[t->frame_length++] = b;
    t->deadline = now + kXmCharWaitMs;
    if (t->frame_length == t->frame_want) block_complete(t, out, now);
    return;
  }
  if (transfer_count_can(t, b)) {
    transfer_fail(t, kTransferPeerCancelled);
    return;
  }
  if (t->state == kReceivePurge) {
    // A line that never goes quiet still gets its NAK, and the retries
    // end the transfer.
    t->deadline = transfer_due(now + kXmCharWaitMs, t->purge_until) ? t->purge_until : now + kXmCharWaitMs;
    return;
  }
  if (b == kXmSoh || b == kXmStx) {
    t->frame[0] = b;
    t->frame_length = 1;
    t->frame_want = 3 + (b == kXmStx ? kTransferBlockMost : 128) + (t->crc ? 2 : 1);
    t->state = kReceiveBlock;
    t->deadline = now + kXmCharWaitMs;
    return;
  }
  if (b == kXmEot) on_eot(t, out, now);
  // Anything else is line noise between blocks.
}

void on_time(Transfer* t, TransferOut* out, uint32_t now) {
  switch (t->state) {
    case kReceiveAsk:
      if (transfer_due(now, t->began + kAskLimitMs)) transfer_fail_cancelling(t, kTransferNoStart, out);
      else ask(t, out, now);
      return;
    case kReceiveBlock:  // a block broken off
      purge(t, out, now);
      return;
    case kReceivePurge:
      transfer_put_byte(out, t->first_block ? ask_byte(t) : kXmNak);
      t->state = kReceiveHeader;
      t->deadline = now + kXmBlockWaitMs;
      return;
    case kReceiveHeader:
      t->progress.retries++;
      if (++t->tries > kXmRetries) {
        transfer_fail_cancelling(t, kTransferRetries, out);
        return;
      }
      transfer_put_byte(out, t->first_block ? ask_byte(t) : kXmNak);
      t->deadline = now + kXmBlockWaitMs;
      return;
    default: return;
  }
}

void raw_turn(Transfer* t, const uint8_t* in, int n, uint32_t now, TransferOut* out) {
  if (n > 0) {
    write_or_fail(t, in, n, out);
    if (t->status != kTransferRunning) return;
    t->progress.bytes += n;
    t->progress.total_bytes += n;
    t->first_block = 0;
    if (t->quiet_ms) t->deadline = now + t->quiet_ms;
    return;
  }
  // Quiet long enough after something came: the file is whole. Nothing at
  // all in that time from the start is a failure a macro can jump on.
  if (t->quiet_ms && transfer_due(now, t->deadline)) {
    if (t->first_block) {
      transfer_fail(t, kTransferNothingReceived);
      return;
    }
    file_done(t);
    t->status = kTransferDone;
  }
}

}  // namespace

void transfer_receive_begin(Transfer* t, int protocol, const TransferSink* sink, uint32_t quiet_ms, uint32_t now) {
  std::memset(t, 0, sizeof *t);
  t->protocol = protocol >= kTransferRaw && protocol <= kTransferYmodem ? protocol : kTransferXmodem;
  t->sink = *sink;
  t->quiet_ms = quiet_ms;
  t->crc = 1;
  t->left = -1;
  t->progress.size = -1;
  t->deadline = now;  // the first turn asks at once
  t->began = now;
  t->state = t->protocol == kTransferRaw ? kReceiveRaw : kReceiveAsk;
  if (t->protocol == kTransferRaw) {
    t->first_block = 1;  // nothing has come yet
    t->deadline = now + (quiet_ms ? quiet_ms : 0x7FFFFFFF);
  }
  if (t->protocol == kTransferYmodem) return;  // each file begins with its block 0
  const int refused = t->sink.begin(t->sink.ctx, nullptr, 0, -1);
  if (refused) {
    t->status = kTransferFailed;
    t->failure = refused;
    return;
  }
  t->file_open = 1;
  t->sequence = 1;
  t->first_block = 1;
}

void transfer_receive_turn(Transfer* t, const uint8_t* in, int n, uint32_t now, TransferOut* out) {
  if (t->state == kReceiveRaw) {
    raw_turn(t, in, n, now, out);
    return;
  }
  for (int i = 0; i < n && t->status == kTransferRunning; i++) on_byte(t, in[i], out, now);
  if (t->status == kTransferRunning && transfer_due(now, t->deadline)) on_time(t, out, now);
}
