// The two serial channels: open, configure and close one channel's port,
// and the receive thread that feeds the capture buffer from it.
//
// Threads: open, close and the configuration dialog run on the user-interface
// thread; a lost port's reopen opens it on a worker (ComReopen below) and
// hands it to the channel on the user-interface thread. Each open channel has one receive thread. `open` is the thread's run
// flag: set before the thread starts, cleared by close before CancelIoEx, so
// the thread's cancelled wait or read returns, it sees 0 and ends; close waits
// for that end before it closes the handles; should the thread outlive the
// close's limit, its handle is kept and the channel cannot be opened again
// until it has ended.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "app/app_win.h"
#include "serial/receive_plan.h"

struct Channel {
  int index;                      // 0 CH1, 1 CH2
  std::atomic<int32_t> open;      // channel open flag, the receive thread's run flag
  HANDLE port;                    // 0 when closed
  HANDLE thread;
  OVERLAPPED read_ov;             // manual-reset event, made at open
  OVERLAPPED wait_ov;             // the receive thread's WaitCommEvent
  OVERLAPPED write_ov;            // the transmit path
  DCB dcb;
  // The user's time-outs, as the port holds them. The receive thread sets
  // other read time-outs for the moment it issues a first-byte read (see
  // receive_win.cpp), so the port's time-outs and these records change
  // only under this lock; the user-interface thread writes them.
  std::mutex timeouts_lock;
  COMMTIMEOUTS timeouts;
  COMMCONFIG config;
  std::atomic<uint32_t> accumulated_errors;  // ORed by the receive thread and the UI thread
  // Set by the receive thread when its reads say the device has gone (the
  // Win32 error); it has ended then. 0 while the line is fine.
  std::atomic<uint32_t> lost_error;
  // DTR and RTS as the line status dialog last set them (0 as the DCB has
  // them, 1 set, 2 cleared), given to the port again when it reconnects.
  int32_t dtr_state;
  int32_t rts_state;
  // The line's speed and frame bits as the port was last given them
  // (channel_note_shape), for the receive thread's chunk times.
  std::atomic<LineShape> shape;
  uint8_t read_buffer[kReceiveBatch];
  // 1 while the channel's port is a network link (net/link_net_win.cpp):
  // taken from the channel's address when it opens, so that the write,
  // control and close of an open channel go where it was opened.
  int32_t net;
};

// What a channel's port does, whatever kind it is: a COM port (below) or a
// network link (net/link_net_win.h). Every function runs on the
// user-interface thread and returns within a few tens of milliseconds,
// except a write held by flow control (at most its write limit).
struct LinkOps {
  // Opens the port and starts its receive thread: 0, or 1 after telling the user.
  int (*open)(HWND owner, int ch);
  // Opens a lost port again as it was, with no box: 0 when it is back,
  // ERROR_IO_PENDING while a network link still connects, else the error
  // that stopped it (the channel stays closed then).
  DWORD (*reopen)(int ch);
  // Ends the receive thread and closes the port.
  void (*close)(int ch);
  // Writes `count` bytes within the line's write limit: a SendResult.
  int (*write)(int ch, const uint8_t* bytes, int count);
  // The channel's DCB record to the line: 0, or the error.
  DWORD (*apply_line)(int ch);
  // SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK or CLRBREAK.
  void (*control)(int ch, DWORD function);
  // The modem lines (MS_CTS_ON ...) and the line errors (CE_...) since the
  // last look, into *modem and *errors; *stat the queues (zero where the
  // link has none). 0 when the port could not be asked.
  int (*line_state)(int ch, DWORD* modem, DWORD* errors, COMSTAT* stat);
};
extern const LinkOps kComLink;
extern const LinkOps kNetLink;
// The link of channel ch: the one it opened with while it is open or
// connecting, else the one its port setting names.
const LinkOps* channel_link(int ch);

extern Channel g_channel[2];
// Keeps the shape of the DCB just given to the channel's port.
void channel_note_shape(Channel* c);

// Tick count of the latest bytes read or written on either channel. An
// answer is most likely soon after a request (or, in line monitor mode,
// after the other channel's data), so a receive thread whose first-byte
// reads come back empty at once (time-outs that short) pauses least then.
extern std::atomic<uint32_t> g_line_activity_tick;

// 0 on success; 1 after the failure was shown to the user.
int channel_open(HWND owner, int ch);
int channel_apply_parameters(HWND owner, int ch);
void channel_close(int ch);
// Opens a lost channel's port again with the DCB, time-outs and DTR and RTS
// states it had, without a message box; 0, or the Win32 error that stopped
// it (the channel stays closed then).
DWORD channel_reopen(int ch);
// A lost COM port opened again away from the window's thread (the line
// watch's worker, serial/line_watch_win.cpp): the window's thread copies
// the line into it, the worker opens and sets up the port from those
// copies alone, and the window's thread then hands the port to the channel.
struct ComReopen {
  int32_t number;          // the COM number to open (the worker may choose another)
  DCB dcb;                 // the line, DTR and RTS as the user left them already in it
  COMMTIMEOUTS timeouts;   // the user's time-outs
  int32_t dtr_state;       // as Channel::dtr_state, rts_state
  int32_t rts_state;
  HANDLE port;             // the port opened and set up; 0 when it was not
  DWORD error;             // what stopped it
};
// Window's thread: *r holds channel ch's line and its COM number; 0, or
// ERROR_BUSY while the receive thread of its last open has not ended.
DWORD com_reopen_prepare(int ch, ComReopen* r);
// Any thread: opens r->number and gives it r's line; touches no channel.
void com_reopen_open(ComReopen* r);
// Window's thread: channel ch takes r's port (r->port is 0 after) and
// receives on; 0, or the error that stopped it (the port is closed then).
DWORD com_reopen_take(int ch, ComReopen* r);
void channel_config_dialog(HWND owner, int ch);
int channel_read_back(HWND owner, int ch);
// The port's time-outs into c->timeouts, and new ones to the port and
// c->timeouts (unchanged when the port refuses them), under the time-out
// lock; each returns what GetCommTimeouts or SetCommTimeouts returned.
BOOL channel_get_timeouts(Channel* c);
BOOL channel_set_timeouts(Channel* c, const COMMTIMEOUTS& t);

inline int channel_is_open(int ch) { return g_channel[ch].open.load() == 1; }

// Records a line event of channel ch (0, 1) in the capture, with its port.
void channel_event(int ch, uint8_t kind, uint32_t detail);
// 1 when two DCBs differ in speed, data bits, parity, stop bits or flow.
int dcb_line_differs(const DCB& a, const DCB& b);

// serial/receive_win.cpp
DWORD WINAPI receive_thread(void* channel);
// send/transmit_win.cpp: the COM port's write (LinkOps::write).
int com_port_write(int ch, const uint8_t* bytes, int count);
