// Send File and Receive File: the transfer window (132) and the worker that
// runs one transfer at a time (transfer/transfer.h) on a channel.
#pragma once

#include "app/app_win.h"

// Commands 190 (sending = 1) and 191 (sending = 0): opens the transfer
// window, or brings the open one forward.
void transfer_window_open(HWND owner, int sending);

// The macro's transfers (XSND, XSD2, XRCV, XRC2): starts one on channel 1
// or 2 by protocol (TransferProtocol) with `path` (the file, several
// separated by '|', or for a YMODEM receive the folder). 0, or the message
// text that says why it did not start.
int transfer_start(int channel, int sending, int protocol, const wchar_t* path);
// How the transfer started last stands: kTransferRunning, kTransferDone or
// kTransferFailed.
int transfer_poll();
// The channel (1 or 2) of the transfer that runs, 0 when none does: it
// takes what that channel receives from the capture.
int transfer_channel();
// Ends a running transfer as its Cancel does, waiting for its worker.
void transfer_stop();
