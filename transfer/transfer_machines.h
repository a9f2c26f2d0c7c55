// Inside the transfer machines: what transfer.cpp shares with the sender
// and receiver files. Not for callers: they use transfer.h.
#pragma once

#include "transfer/transfer.h"

void transfer_send_turn(Transfer* t, const uint8_t* in, int n, uint32_t now, TransferOut* out);
// 1 when the sender waits for the answer to its block before it cancels.
int transfer_send_cancel(Transfer* t, uint32_t now);
void transfer_receive_turn(Transfer* t, const uint8_t* in, int n, uint32_t now, TransferOut* out);

// Ends the transfer as failed for `failure` (the receiver's file ends
// incomplete); the second also puts CAN CAN out first (not on raw).
void transfer_fail(Transfer* t, int failure);
void transfer_fail_cancelling(Transfer* t, int failure, TransferOut* out);

void transfer_put(TransferOut* out, const uint8_t* bytes, int count);
void transfer_put_byte(TransferOut* out, uint8_t byte);

// Counts CANs in a row: 1 when `byte` is the second.
int transfer_count_can(Transfer* t, uint8_t byte);
