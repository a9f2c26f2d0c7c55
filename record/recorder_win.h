// Record to Disk (command 181, `/record FOLDER`): every chunk of both
// channels and every line event, as the capture takes them, go to .qrec
// files (record/record_file.h) in a folder, whatever the capture buffer
// does with them afterwards.
//
// Threads: the capture's appenders put entries into the recorder's queue
// under the capture's lock (capture_record_to), never waiting and never
// allocating; the recorder's writer thread takes them every 200 ms, packs
// them into blocks and writes each block with one WriteFile, so what a
// killed program loses is at most the last 200 ms. A new file begins when
// the next block would pass the rotation size, a new day has begun or the
// UTC offset has changed; before it begins, the oldest recordings go until
// the folder's limit holds with it whole. A write that fails (a full disk,
// a folder gone), also in the last drain after a stop, ends the recording;
// the main window's watch tells the user once and records why in the
// capture, and puts each loss the hand-over counted in the capture as an
// event (the recording holds its own).
#pragma once

#include "app/app_win.h"

// Starts recording into `folder` (made when missing): 0, or 1 after
// telling the user why not.
int recorder_start(HWND owner, const wchar_t* folder);
// Stops recording: the writer thread writes what is queued and closes the
// file; the user-interface thread waits for it 50 ms at most (a slow disk
// lets it finish by itself).
void recorder_stop();
// At the program's end: stops, and waits for the writer to have written
// everything queued (10 s at most), as the window has gone by then.
void recorder_finish();
int recorder_running();
// The status bar's text while recording: "REC 12.3 MB 0:05:12". Returns
// 1 with a text, 0 (out empty) else (after a stop, recorder_said speaks).
int recorder_status(char16_t out[64]);
// 1 while the status bar still says where a stopped recording went.
int recorder_stop_told();
// For a few seconds after the user's stop, "Recorded 12.3 MB in 2 files:
// C:\...\recordings" into out (`units` long): 1, else 0 with out empty.
int recorder_said(wchar_t* out, int units);
// The folder of this recording or of the last one (empty before any).
const wchar_t* recorder_folder();
// On the main window's line-watch tick: a recording that a failure stopped
// is ended and told once.
void recorder_watch(HWND owner);
// Where a folder or file chooser of recordings starts: the folder of the
// last recording, or the first time "recordings" in the program folder
// (made when missing).
void recorder_start_folder(wchar_t out[MAX_PATH]);
