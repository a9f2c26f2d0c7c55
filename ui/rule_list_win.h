// A list of rules with check boxes (the Auto Answer window, the Highlight
// Rules dialog): its columns, its rows filled from the caller's rules, the
// row selected. The caller's `show` fills a row's cells and check box.
#pragma once

#include <windows.h>

// Check boxes and whole-row selection, the palette's colours (as the
// program's edits have), then `n` columns headed by message
// texts `heads`, `widths` in dialog units of `dlg`; bit c of `right`
// aligns column c to the right.
void rule_list_columns(HWND dlg, HWND list, const int* heads, const int* widths, int n, unsigned right);
void rule_list_set_cell(HWND list, int row, int column, const wchar_t* text);
// Empties the list, adds `rows` rows filled by show(row), and selects
// `select` when it is one of them.
void rule_list_fill(HWND list, int rows, int select, void (*show)(int row));
// The selected row, or -1.
int rule_list_selected(HWND list);
