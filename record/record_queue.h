// The hand-over between the threads that append to the capture and the
// recorder's writer thread: a ring of bytes holding entries in the
// recording's entry encoding (record/record_file.h). Putting never
// allocates and never waits: an entry that finds no room is counted as
// lost and dropped whole, and the loss itself goes into the recording as a
// line event (kEventRecordLoss: its channel, its data bytes, the time of
// the first entry refused) ahead of the first entry that finds room again.
// One putter at a time (the capture's lock serializes every appending
// thread) and one taker (the writer thread); the counters are the only
// shared state, with release and acquire.
//
// kRecordQueueBytes holds about 9 s of both channels at 921,600 baud
// (92,160 data bytes a second each, 111 bytes a 100-byte chunk), so a disk
// that stalls for a few seconds loses nothing.
#pragma once

#include <atomic>
#include <cstdint>

#include "record/record_file.h"

constexpr uint32_t kRecordQueueBytes = 2u * 1024 * 1024;  // a power of two

struct RecordQueue {
  // Called by the putter when the queue fills past a quarter (once each
  // time it does), so that the taker drains it at once rather than at its
  // next turn: a burst far faster than any serial line (a network link, a
  // pty) must not overflow it between two turns. Null: no call. Set before
  // the first put.
  void (*filling)(void* ctx) = nullptr;
  void* filling_ctx = nullptr;
  std::atomic<uint64_t> head;   // bytes ever put (the putter's)
  std::atomic<uint64_t> tail;   // bytes ever taken (the taker's)
  std::atomic<uint64_t> lost;   // data bytes of entries that found no room
  // The same by the channel of the entry (0 the capture as a whole, 1 CH1,
  // 2 CH2), for the capture's own loss events.
  std::atomic<uint64_t> lost_channel[3];
  // The putter's: losses not yet said in the recording, by channel.
  uint64_t unsaid_bytes[3];
  int64_t unsaid_time[3];
  uint8_t unsaid[3];
  uint8_t ring[kRecordQueueBytes];
};

void record_queue_reset(RecordQueue* q);

// A chunk of the capture (kind 1..4), cut into entries of at most
// kRecordChunkMax bytes with its time; an event. 0, or 1 when (some of) it
// found no room and was counted lost. A kEventRecordLoss event is not put:
// the queue writes its own (the capture's copy of one comes back here).
int record_queue_put_chunk(RecordQueue* q, uint8_t kind, int64_t time_us, const uint8_t* data, int n);
int record_queue_put_event(RecordQueue* q, uint8_t kind, uint8_t channel, uint16_t port, uint32_t detail,
                           int64_t time_us);

// The putter's: puts the losses not yet said as events now, without an
// entry behind them (the line went quiet after them, or recording stops).
// 0, or 1 while there is still no room for them.
int record_queue_put_losses(RecordQueue* q);

// Moves entries from the queue into the block while they fit; returns the
// number moved. 0 with entries left means the block is full: seal it,
// write it and begin another.
int record_queue_take(RecordQueue* q, RecordBlockBuilder* block);
// Bytes waiting in the queue.
uint64_t record_queue_waiting(const RecordQueue* q);
