// Open Recording (command 182): a recording (one .qrec file, or several
// files of a folder read one after another as one) shown in the data view
// in place of the live capture, a window of it at a time, while the live
// capture and a recording in progress go on unseen. The scroll commands
// and a scroll bar move over the whole recording: at a window's edge the
// next or the one before is read, Go to Beginning and Go to End read the
// first and the last; nothing is indexed, a place is found by looking for
// the next block head from a byte offset. Back to Live Capture (command
// 187, or a click on the status bar's "Back to live") shows the capture again.
//
// Memory: the window (about 2 MB), the capture it is shown through (about
// 2 MB) and one file's reader, whatever the recording's size; with
// highlight rules on, the window before and the next window read ahead
// (about 4 MB more).
#pragma once

#include "app/app_win.h"
#include "record/record_files_win.h"

// The capture the data view and the tools show: the window of the open
// recording, or the live capture.
Capture* view_capture();
// The window before the one shown, when the shown one was read on from it
// (null: none, or no recording shown).
const CaptureSnapshot* recording_before();
// The next window of the recording, read ahead from the one shown when first
// asked for (from disk, as a step on to it would read it; the step then
// takes it as read), for what runs on across the edge: null at the
// recording's end, when no recording is shown, or when it cannot be read.
const CaptureSnapshot* recording_after();
// The records of the window read ahead when it is the recording's last,
// else -1 (not read ahead, or more follow it).
int32_t recording_after_last();
// Changes whenever recording_before or recording_after would give other
// records.
int64_t recording_around_serial();
// Which edges of the window shown another window of the recording lies
// beyond (HighlightWork::edges: kHighlightWindowBefore, ...After), 0 when
// no recording is shown.
int32_t recording_edges();
int recording_shown();

// Command 182: the chooser (several files may be chosen), then the first
// screen of the recording.
void recording_open_command(HWND owner);
// Command 193: a folder chooser, then the first screen of every recording
// in the folder.
void recording_open_folder_command(HWND owner);
// Opens `count` files named in `names` (each a name in `folder`, in any
// order; none: the whole folder) as one recording: 0, or the message text
// of why not.
int recording_open(HWND owner, const wchar_t* folder, const wchar_t* const* names, int count);
// Command 187: back to the live capture.
void recording_close(HWND owner);
// Places the recording's scroll bar beside the data area (on WM_SIZE).
void recording_layout(HWND owner);

// The scroll commands (146 to 149) while a recording is shown.
void recording_scroll(HWND owner, int command);
// WM_VSCROLL of the main window's scroll bar (its wParam: the request, and
// the thumb's place for SB_THUMBPOSITION).
void recording_vscroll(HWND owner, WPARAM code);
// The status bar while a recording is shown: part 8 the time of day of the
// view's top row, part 9 "Back to live" (a click there goes back), part 10
// a recording in progress. 1 with the part's text, 0 when the part shows
// what it always does.
int recording_status_text(int part, char16_t out[64]);

// Titles the tool window `dlg` with message text `title` and, while a
// recording is shown, the part of it the view holds after that: "Link
// Statistics - Recording, 10:00:00.000 to 10:00:19.998". Any thread; the
// title is set only when it changes.
void recording_tool_title(HWND dlg, int title);

// Find in the recording shown: a copy of its files for a search's own
// reader (the caller's, about 330 KB; next file 0, none open), each file's
// first byte in the recording as one (count + 1 of them, the last the
// total); and a number that changes each time a recording is opened.
void recording_files_copy(RecordFiles* out, uint64_t* file_start);
int recording_serial();
// Shows a find: the window read from `pos` (or the one after it) that
// holds the chunk of `kind` with time `chunk_time`, the view at its record
// `within` of that chunk, and records from there to `span` records on
// marked. 0, or 1 when no such chunk is there.
int recording_show_find(HWND owner, uint64_t pos, int64_t chunk_time, uint8_t kind, int32_t within, int32_t span);
// Go to Time in the recording shown: the first chunk at or after the time
// (a time of day, or seconds since the recording's start), found by
// seeking. 0, or 1 when nothing comes at or after it.
int recording_go_time(HWND owner, const RecordTime& t);
// The recording's first and last recorded times (kTimeUnknown when none is
// shown), as its records carry them.
void recording_time_range(int64_t* first, int64_t* last);
