// Painting the capture in the main window: the full repaint on WM_PAINT, the
// incremental paint and the live gap redraw on timer 1.
#pragma once

#include "app/app_win.h"
#include "view/highlight.h"

void view_full_repaint(HWND hwnd, HDC dc);
// The client area the view paints in: the window's, less a strip at its
// right that another control holds (a recording's scroll bar, which spans
// only the data area), set by view_reserve_right in pixels.
void view_client_rect(HWND hwnd, RECT* r);
void view_reserve_right(int32_t px);
void view_incremental_paint(HWND hwnd);
void view_live_gap_redraw(HWND hwnd);
// Each rule's finds among the records on the screen (that end there or in
// the records just after a page scrolled back), for the rules dialog.
void view_highlight_matches(const HighlightRules* rules, int32_t out[kHighlightRules]);
// Frees what the view keeps between paints (at window destruction).
void view_release();
// The record drawn in each cell, as the latest paints left it.
struct ViewCellMap;
const ViewCellMap* view_cell_map();
// The record in the view's first cell that shows one, as the latest paint
// drew it; -1 when none.
int32_t view_first_shown();
// The rows of the main window's client area that show the records marked
// (CaptureView's mark_first .. mark_last), as the latest paint drew them:
// 1 with *r, 0 when none of them is on the screen.
int view_mark_rect(RECT* r);
// The line events as the latest paint drew them: *count of them, record 0
// at absolute place *base.
struct LineEvent;
const LineEvent* view_events(int32_t* count, int64_t* base);

// Selecting records with the mouse: the left button goes down on a cell
// (WM_LBUTTONDOWN), the drag moves the other end (WM_MOUSEMOVE with the
// button down), the button comes up (WM_LBUTTONUP). A click that never
// reached another record, or Escape (view_select_clear), takes the
// selection away. Only the cells that change are drawn again.
void view_select_press(HWND hwnd, int x, int y);
void view_select_drag(HWND hwnd, int x, int y);
void view_select_release(HWND hwnd);
void view_select_clear(HWND hwnd);
