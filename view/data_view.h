// What the main data view shows and where, decided without a window: where
// a record of each kind goes, which records a full repaint shows, how the
// incremental painter's cursor moves, and the y offsets of a row's lines. view/data_view_win.cpp only draws what these say.
#pragma once

#include <cstdint>

#include "app/capture.h"
#include "view/geometry.h"

enum CellPlace {
  kPlaceUpper,   // upper ("READ:") strip
  kPlaceLower,   // lower ("SEND:") strip
  kPlaceMarker,  // marker line between the strips
  kPlaceEmpty,   // takes a cell, draws nothing
  kPlaceHidden,  // takes no cell (sent bytes in line monitor mode)
};
int cell_place(uint8_t kind, int32_t lm_mode);
// Palette slot of a data record's text: CH1 (kinds 1, 2) or CH2 (3, 4).
int cell_text_slot(uint8_t kind);

// The records a full repaint shows.
struct ViewPage {
  int32_t end_view_position;  // view position that puts the last data row at the bottom
  int32_t first, last;        // records first .. last - 1
};
// cells_per_row and rows must be >= 1.
ViewPage view_page(int32_t count, int32_t cells_per_row, int32_t rows, int32_t follow_mode, int32_t view_position);

// The incremental painter's cursor after a cell: the next column, wrapping
// to the next row (or row 0 after the last). Returns 1 when it moved to a
// new row, which must then be cleared.
int view_cursor_advance(int32_t* row, int32_t* col, int32_t cells_per_row, int32_t rows);

// Moves the cursor as `skip` cells would, without drawing them: when more
// records arrived than the screen has cells, only the last screenful can
// remain visible, so the ones before it need not be drawn. Returns 1 when
// the cursor lands at the start of a row, which must then be cleared as if
// it had been entered.
int view_cursor_skip(int32_t* row, int32_t* col, int32_t cells_per_row, int32_t rows, int64_t skip);

// Y offsets within a row (add row * pitch).
struct RowLayout {
  int32_t upper_index, upper_char, upper_char_back, upper_hex, upper_hex_back, marker;
  int32_t lower_index, lower_char, lower_char_back, lower_hex, lower_hex_back;
  int32_t separator;        // first of the separator lines below the row
  int32_t separator_lines;  // how many: two at 96 DPI
  int32_t read_label, send_label;
  int32_t clear_top, clear_bottom;
  int32_t row_number_x;   // x of the row number on the marker line
  int32_t event_flag_w;   // width of a line event's flag
};
RowLayout view_row_layout(const ViewMetrics& m);

// The records selected by a drag over the cells (CaptureView's
// select_anchor and select_end, in either order). Returns 1 and the first
// and last record (inclusive) when a selection lies below `count`; a part
// at or past it is left out, as the capture has no such records now.
struct CaptureView;
int view_selection_range(const CaptureView& v, int32_t count, int32_t* first, int32_t* last);
// A wrap of the capture moved every record `shift` places down: the
// selection and Find's mark follow, and what left the buffer leaves them.
void view_selection_shift(CaptureView* v, int32_t shift);

// A line event stands between two cells: at the left edge of the cell of
// the record it comes before. The events at the cell of record `index`
// (relative to record 0, which is absolute place `base`) when the cell
// before it on the screen shows record `prev` (-1: none): those placed
// after prev and up to index, so that an event before records that take
// no cell (sent bytes in line monitor mode) stands at the next cell shown.
// `events` are in place order, as the capture keeps them. Returns how many,
// the first of them in *first.
int32_t view_events_at(const LineEvent* events, int32_t event_count, int64_t base, int32_t prev, int32_t index,
                       int32_t* first);
