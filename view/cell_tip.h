// The tooltip over the cells of the data view, decided without a window:
// which record a client point is over, what is known about that record's
// chunk, and the lines of text that say it. view/cell_tip_win.cpp only
// shows what these compute.
//
// The view is not a plain page that starts at view_position: while data
// comes in, the incremental painter wraps from the last row back to row 0,
// overwriting the oldest row. So the painter notes in a cell map which
// record it drew in each cell (and clears a row's entries when it clears
// the row), and the hit test reads that map: it names exactly the record
// that is on the screen under the mouse, whichever way it got there.
#pragma once

#include <cstdint>

#include "app/capture.h"
#include "serial/line_params.h"
#include "view/geometry.h"

// Cells the map holds: a grid of more cells (a window far larger than any
// screen) is mapped only in its first kViewMapCells cells.
constexpr int32_t kViewMapCells = 32768;

struct ViewCellMap {
  uint32_t layout;        // counts the resets: a new layout of the whole view
  int32_t cells_per_row;  // grid the map was laid out for; 0: nothing mapped
  int32_t rows;
  int32_t record[kViewMapCells];  // record drawn in each cell, row by row; -1 none
};

// Starts a map for a grid of n cells by `rows` rows, every cell empty
// (a full repaint), and counts one more layout.
void view_map_reset(ViewCellMap* map, int32_t n, int32_t rows);
void view_map_clear_row(ViewCellMap* map, int32_t row);
// Notes that record `index` was drawn in the cell; a cell outside the grid
// (the painter's cursor may stand in column n) is ignored.
void view_map_put(ViewCellMap* map, int32_t row, int32_t col, int32_t index);
// A wrap of the capture moved every record `shift` places down while the
// screen still shows them: the map follows, and records that left the
// buffer leave the map.
void view_map_shift(ViewCellMap* map, int32_t shift);

// The record under client point (x, y), or -1: the margin with the row
// numbers and READ:/SEND: labels, the index lines' gaps and separators, a
// strip of the cell that its record is not drawn in (a received byte's
// cell has nothing in its SEND: strip), an empty cell, or a record at or
// beyond the write position `count`.
int32_t view_hit_record(const ViewCellMap* map, const ViewMetrics& m, const CaptureRecord* records, int32_t count,
                        int32_t lm_mode, int32_t x, int32_t y);

// The screen rows that show any of records first .. last: 1 with *top
// and *bottom, 0 when none of them is on the screen.
int view_map_rows_of(const ViewCellMap* map, int32_t first, int32_t last, int32_t* top, int32_t* bottom);

// The record in the cell before (row, col) on the screen: the column to
// its left, or the last column of the row above (of the last row for row
// 0, as the incremental painter wraps). col may be cells_per_row (the
// painter's cursor stands there at the end of a row). -1 when none.
int32_t view_map_before(const ViewCellMap* map, int32_t row, int32_t col);

// A line event's marker: a bar kEventMarkWidth pixels wide at the left
// edge of a cell down its row (below the index line), with a flag in the
// marker line. The pointer finds it up to kEventHitSlack pixels either
// side of the edge.
constexpr int32_t kEventMarkWidth = 2;
constexpr int32_t kEventFlagWidth = 6;
constexpr int32_t kEventHitSlack = 3;

// The cell whose left edge (an event marker's place) is under (x, y): the
// record drawn there, or `count` when it is the end cell (end_row,
// end_col), where the next record will go; *prev the record in the cell
// before it. -1 when the point is on no cell's edge or the cell is empty.
int32_t view_hit_edge(const ViewCellMap* map, const ViewMetrics& m, int32_t count, int32_t end_row, int32_t end_col,
                      int32_t x, int32_t y, int32_t* prev);

enum CellSilence {
  kSilenceFirst,     // the first chunk in the buffer: nothing before it
  kSilenceTimes,     // silence_us from the two chunks' times (timeline_silence_us)
  kSilenceDigits,    // silence_tenths from the previous chunk's gap digits
  kSilenceUnknown,   // neither tells
};

struct CellInfo {
  int32_t index;
  uint8_t kind;          // the record's kind (data 1..4, gap markers 128..130)
  uint8_t byte;          // its data byte
  // A data record:
  int32_t chunk_first;   // first record of its chunk (timeline_chunk_at), -1 when none was found
  int32_t in_chunk;      // index in the chunk
  int64_t time_us;       // the chunk's time, or kTimeUnknown
  int64_t since_first_us;  // time_us less the first known chunk time in the buffer (when time_us is known)
  int silence;           // CellSilence
  int64_t silence_us;
  int32_t silence_tenths;
  // A gap marker record:
  uint8_t chunk_kind;    // kind of the chunk the marker follows, 0 when none
  int32_t gap_tenths;    // the marker's four digits, or -1 when they are not four digits
  int gap_latest;        // 1: the latest chunk's marker, its digits still counting
};

// What is known about record `index` of records 0 .. count - 1 (count is
// the write position). times may be null (every time unknown).
// latest_marker is the kind-129 marker whose digits are still counting
// (the latest chunk's while a port is open), or -1. Returns 0
// with *out filled, or 1 when index is outside 0 .. count - 1 or the
// record is neither data nor a gap marker.
int cell_info(const CaptureRecord* records, const int64_t* times, int32_t count, int32_t latest_marker, int32_t index,
              const LineShape shape[2], CellInfo* out);

// One line of the tooltip: a message text and the strings of its fields.
constexpr int kCellTipLines = 5;
constexpr int kCellTipArgUnits = 32;
struct CellTipLine {
  int text;  // message text number
  char args[3][kCellTipArgUnits];
};

// The tooltip's lines for *info: zone_minutes is added to UTC for the time
// of day, wall_offset_us turns a chunk time into wall-clock µs since 1970.
// Returns the number of lines (at most kCellTipLines).
int cell_tip_lines(const CellInfo& info, int64_t wall_offset_us, int32_t zone_minutes, CellTipLine out[kCellTipLines]);

// "CH1 RX", "CH1 TX", "CH2 RX", "CH2 TX" for a data kind, else "".
const char* cell_channel_name(uint8_t kind);

// The tooltip's lines for events `events[0 .. n - 1]` (those at one
// marker): one line each, what happened and when, up to kCellTipLines.
// Times are on the capture's clock (wall_offset_us turns them into
// wall-clock time, zone_minutes is added to UTC for the time of day).
int event_tip_lines(const LineEvent* events, int32_t n, int64_t wall_offset_us, int32_t zone_minutes,
                    CellTipLine out[kCellTipLines]);
