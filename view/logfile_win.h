// Log files and the notepad scratch file.
#pragma once

#include "app/app_win.h"
#include "view/logfile.h"

void log_save(HWND owner);
// Writes a snapshot as a log with its times and events files beside it
// (the times block is turned into the file's bytes in place): 0, or the
// message text of the failure (kTextFileOpenFailed, kTextLogWriteFailed,
// kTextTimesNotWritten, kTextEventsNotWritten).
int log_write_snapshot(const wchar_t* path, CaptureSnapshot& snap);
// 0 when the capture was replaced, 1 when nothing was loaded.
int log_load(HWND owner);
// Reads the log at `path` and the times and events files beside it into the
// capture in one step, with no message of its own: returns 0 with *plan,
// the records loaded, what became of the times (*times_state, a
// LogTimesState) and whether an events file was there but damaged
// (*events_damaged, when asked; its events are left out), or
// the message text of why the capture is unchanged (kTextFileOpenFailed,
// kTextNotLog, kTextLogNoMemory).
int log_read_file(const wchar_t* path, LogLoadPlan* plan, int32_t* records, int* times_state,
                  int* events_damaged = nullptr);
void notepad_prepare(HWND owner);
