// The look every dialog of the program shares: the dark title bar in dark
// mode, palette colors for the dialog, its statics, buttons and edits, and
// the owner-drawn buttons. A dialog procedure calls dialog_look_init at the
// end of its WM_INITDIALOG and hands every other message to dialog_look
// first.
#pragma once

#include "app/app_win.h"

void dialog_look_init(HWND dlg);
// 1 when `msg` is one of the look's messages; *result is then the value the
// dialog procedure returns.
int dialog_look(HWND dlg, UINT msg, WPARAM wp, LPARAM lp, INT_PTR* result);

// The same for a modal dialog, whose close box ends it with the result 1.
// Returns what the dialog procedure returns for a message it does not
// handle itself.
INT_PTR dialog_look_modal(HWND dlg, UINT msg, WPARAM wp, LPARAM lp);

// A modeless tool window, one at a time: when `open` is the window already
// open, it is brought back (from the taskbar too) and returned; else dialog
// `id` is made with `proc` and shown. Returns the window, or null when it
// could not be made.
HWND tool_window_open(HWND open, HWND owner, int id, DLGPROC proc);
