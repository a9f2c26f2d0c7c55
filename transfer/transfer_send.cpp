// The sending machines: raw bytes on their pacing, and the XMODEM,
// XMODEM-1K and YMODEM sender. The sender keeps the block on its way in
// t->frame until it is acknowledged, so a NAK, a time-out or a receiver's
// repeated C sends the very same bytes again; the file's bytes it carries
// stay in t->data until then.
#include <cstring>

#include "transfer/transfer_machines.h"

namespace {

enum SendState {
  kSendRaw = 1,
  kSendWaitStart,  // for the receiver's C or NAK
  kSendWaitAck,    // for the answer to a data block
  kSendWaitAck0,   // for the answer to YMODEM's block 0
  kSendWaitData,   // YMODEM: for the C that asks for the file's data
  kSendWaitEot,    // for the answer to EOT
  kSendWaitNext,   // YMODEM: for the C that asks for the next block 0
};

// The file's bytes read ahead, up to one large block.
void fill(Transfer* t) {
  while (t->have < kTransferBlockMost && !t->at_end) {
    const int r = t->source.read(t->source.ctx, t->data + t->have, kTransferBlockMost - t->have);
    if (r < 0 || r > kTransferBlockMost - t->have) {
      transfer_fail(t, kTransferReadFailed);
      return;
    }
    if (r == 0) t->at_end = 1;
    t->have += r;
  }
}

void send_frame(Transfer* t, TransferOut* out, uint32_t now) {
  transfer_put(out, t->frame, t->frame_length);
  t->deadline = now + kXmAnswerMs;
}

// The next data block of the file, or EOT after its last.
void send_data_block(Transfer* t, TransferOut* out, uint32_t now) {
  fill(t);
  if (t->status != kTransferRunning) return;
  t->tries = 0;
  if (t->have == 0) {
    t->heard = 0;
    t->frame[0] = kXmEot;
    t->frame_length = 1;
    t->in_frame = 0;
    t->state = kSendWaitEot;
    send_frame(t, out, now);
    return;
  }
  // Large blocks need the receiver's CRC; a tail shorter than one goes in
  // small blocks, which pad less.
  const int large = t->protocol != kTransferXmodem && t->crc && t->have >= kTransferBlockMost;
  const int size = large ? kTransferBlockMost : 128;
  const int count = t->have < size ? t->have : size;
  t->frame_length = transfer_frame(t->frame, size, t->sequence, t->data, count, kXmPad, t->crc);
  t->in_frame = count;
  t->state = kSendWaitAck;
  send_frame(t, out, now);
}

// YMODEM's block 0 for the next file, or the empty one that ends the batch.
void send_header(Transfer* t, TransferOut* out, uint32_t now) {
  char name[kTransferNameMost];
  int name_length = 0;
  int64_t size = -1;
  const int r = t->source.next_file(t->source.ctx, name, &name_length, &size);
  if (r < 0) {
    transfer_fail_cancelling(t, r == kSourceNameTooLong ? kTransferNameTooLong : kTransferReadFailed, out);
    return;
  }
  if (name_length < 0 || name_length > kTransferNameMost) name_length = kTransferNameMost;
  t->batch_end = r == 0;
  if (r == 0) name_length = 0;
  std::memcpy(t->progress.name, name, static_cast<size_t>(name_length));
  t->progress.name[name_length] = 0;
  t->progress.size = r == 0 ? -1 : size;
  t->progress.bytes = 0;
  t->have = 0;
  t->at_end = 0;
  uint8_t block[kTransferBlockMost];
  int block_size = 128;
  if (!transfer_header(block, block_size, name, name_length, size)) {
    block_size = kTransferBlockMost;
    transfer_header(block, block_size, name, name_length, size);
  }
  t->sequence = 0;
  t->tries = 0;
  // With the check the receiver asked for, as the data blocks.
  t->frame_length = transfer_frame(t->frame, block_size, 0, block, block_size, 0, t->crc);
  t->state = kSendWaitAck0;
  send_frame(t, out, now);
}

// The block on its way once more, or the end after too many tries.
void resend(Transfer* t, TransferOut* out, uint32_t now) {
  if (++t->tries > kXmRetries) {
    transfer_fail_cancelling(t, kTransferRetries, out);
    return;
  }
  // A YMODEM receiver NAKs the first EOT by rule: that is no retry.
  if (!(t->state == kSendWaitEot && t->tries == 1 && t->protocol == kTransferYmodem)) t->progress.retries++;
  send_frame(t, out, now);
}

void acknowledged(Transfer* t, TransferOut* out, uint32_t now) {
  t->have -= t->in_frame;
  if (t->have > 0) std::memmove(t->data, t->data + t->in_frame, static_cast<size_t>(t->have));
  t->progress.bytes += t->in_frame;
  t->progress.total_bytes += t->in_frame;
  t->progress.blocks++;
  t->sequence = (t->sequence + 1) & 0xFF;
  t->first_block = 0;
  send_data_block(t, out, now);
}

// One byte from the receiver.
void on_byte(Transfer* t, uint8_t b, TransferOut* out, uint32_t now) {
  t->heard = 1;
  if (transfer_count_can(t, b)) {
    transfer_fail(t, kTransferPeerCancelled);
    return;
  }
  switch (t->state) {
    case kSendWaitStart:
      if (b != kXmCrc && b != kXmNak) return;
      t->crc = b == kXmCrc;
      if (t->protocol == kTransferYmodem) {
        send_header(t, out, now);
      } else {
        t->sequence = 1;
        t->first_block = 1;
        send_data_block(t, out, now);
      }
      return;
    case kSendWaitAck:
      if (b == kXmAck) acknowledged(t, out, now);
      else if (b == kXmNak || (b == kXmCrc && t->first_block)) resend(t, out, now);
      return;
    case kSendWaitAck0:
      if (b == kXmAck) {
        if (t->batch_end) {
          t->status = kTransferDone;
          return;
        }
        t->state = kSendWaitData;
        t->tries = 0;
        t->deadline = now + kXmAnswerMs;
      } else if (b == kXmNak || b == kXmCrc) {
        resend(t, out, now);
      }
      return;
    case kSendWaitData:
      if (b != kXmCrc && b != kXmNak) return;
      t->crc = b == kXmCrc;
      t->sequence = 1;
      t->first_block = 1;
      send_data_block(t, out, now);
      return;
    case kSendWaitEot:
      if (b == kXmAck) {
        t->progress.files++;
        if (t->protocol != kTransferYmodem) {
          t->status = kTransferDone;
          return;
        }
        t->state = kSendWaitNext;
        t->tries = 0;
        t->deadline = now + kXmAnswerMs;
      } else if (b == kXmNak) {
        resend(t, out, now);
      }
      return;
    case kSendWaitNext:
      if (b != kXmCrc && b != kXmNak) return;
      t->crc = b == kXmCrc;
      send_header(t, out, now);
      return;
    default: return;
  }
}

void on_time(Transfer* t, TransferOut* out, uint32_t now) {
  switch (t->state) {
    case kSendWaitStart: transfer_fail_cancelling(t, kTransferNoStart, out); return;
    case kSendWaitAck0:
      // Every file is whole once its EOT was acknowledged: a receiver that
      // leaves without answering the batch's end (one that exits as it
      // writes its last ACK can lose it on a pseudo-terminal) fails nothing.
      if (t->batch_end) {
        t->progress.end_unanswered = 1;
        t->status = kTransferDone;
        return;
      }
      resend(t, out, now);
      return;
    case kSendWaitEot:
      // Every block was acknowledged: an XMODEM receiver silent to EOT twice
      // has gone with the whole file (a bootloader that starts what it got,
      // a program whose last ACK is lost as it exits).
      if (t->protocol != kTransferYmodem && t->tries >= 1 && !t->heard) {
        t->progress.end_unanswered = 1;
        t->progress.files++;
        t->status = kTransferDone;
        return;
      }
      resend(t, out, now);
      return;
    case kSendWaitAck: resend(t, out, now); return;
    case kSendWaitData:
    case kSendWaitNext:
      if (++t->tries > kXmRetries) transfer_fail_cancelling(t, kTransferRetries, out);
      else t->deadline = now + kXmAnswerMs;
      return;
    default: return;
  }
}

void raw_turn(Transfer* t, uint32_t now, TransferOut* out) {
  if (!transfer_due(now, t->deadline)) return;
  // Refilled before a CR at its end could be read without what follows it.
  if (t->have < 2) fill(t);
  if (t->status != kTransferRunning) return;
  if (t->have == 0) {
    t->progress.files = 1;
    t->status = kTransferDone;
    return;
  }
  uint32_t pause = 0;
  int n = raw_next_piece(t->data, t->have, !t->at_end, &t->pacing, kTransferOutMost, &pause);
  if (n == 0) {  // a lone CR with more to come: read it
    t->at_end = 0;
    fill(t);
    if (t->status != kTransferRunning) return;
    n = raw_next_piece(t->data, t->have, !t->at_end, &t->pacing, kTransferOutMost, &pause);
  }
  transfer_put(out, t->data, n);
  t->have -= n;
  if (t->have > 0) std::memmove(t->data, t->data + n, static_cast<size_t>(t->have));
  t->progress.bytes += n;
  t->progress.total_bytes += n;
  t->deadline = now + pause;
}

}  // namespace

void transfer_send_begin(Transfer* t, int protocol, const TransferSource* source, const RawPacing* pacing,
                         uint32_t now) {
  std::memset(t, 0, sizeof *t);
  t->protocol = protocol >= kTransferRaw && protocol <= kTransferYmodem ? protocol : kTransferXmodem;
  t->sending = 1;
  t->source = *source;
  if (pacing) t->pacing = *pacing;
  t->progress.size = -1;
  t->crc = 1;
  t->state = t->protocol == kTransferRaw ? kSendRaw : kSendWaitStart;
  t->deadline = t->protocol == kTransferRaw ? now : now + kXmStartLimitMs;
  if (t->protocol == kTransferYmodem) return;  // its files open as block 0 goes
  // One file: opened now, so that a missing one fails before any wait.
  char name[kTransferNameMost];
  int name_length = 0;
  int64_t size = -1;
  // XMODEM and raw send no name: one too long for YMODEM does not matter.
  const int r = t->source.next_file(t->source.ctx, name, &name_length, &size);
  if (r != 1 && r != kSourceNameTooLong) {
    t->status = kTransferFailed;
    t->failure = kTransferReadFailed;
    return;
  }
  t->progress.size = size;
}

int transfer_send_cancel(Transfer* t, uint32_t now) {
  if (t->status != kTransferRunning || t->cancelling) return t->cancelling;
  if (t->state != kSendWaitAck && t->state != kSendWaitAck0 && t->state != kSendWaitEot) return 0;
  t->cancelling = 1;
  t->deadline = now + kXmCharWaitMs;
  return 1;
}

void transfer_send_turn(Transfer* t, const uint8_t* in, int n, uint32_t now, TransferOut* out) {
  if (t->cancelling) {
    // The answer came (the receiver waits for a block now), or none will.
    if (n > 0 || transfer_due(now, t->deadline)) {
      for (int i = 0; i < n && t->status == kTransferRunning; i++)
        if (transfer_count_can(t, in[i])) transfer_fail(t, kTransferPeerCancelled);
      transfer_fail_cancelling(t, kTransferCancelled, out);
    }
    return;
  }
  if (t->state == kSendRaw) {
    raw_turn(t, now, out);
    return;
  }
  int i = 0;
  for (; i < n && t->status == kTransferRunning && out->count == 0; i++) on_byte(t, in[i], out, now);
  // What came before this write answers nothing of it; only CAN CAN
  // among it still counts.
  for (; i < n && t->status == kTransferRunning; i++)
    if (transfer_count_can(t, in[i])) transfer_fail(t, kTransferPeerCancelled);
  if (t->status == kTransferRunning && out->count == 0 && transfer_due(now, t->deadline)) on_time(t, out, now);
}
