// The macro dialog (117) and the Win32 services of the macro interpreter.
#pragma once

#include "app/app_win.h"
#include "macro/macro.h"
#include "macro/macro_from_capture.h"

// The macro buffer, interpreter state and memory slots of the process.
extern MacroState g_macro;

// The interpreter's platform: the tick count, Sleep, the port write of the
// macro send, and the capture buffer; show_step goes to the dialog `dlg`.
MacroHost macro_host_win(HWND dlg);

// Runs the macro dialog modally.
void macro_dialog_run(HWND owner);

// File > Save Capture as Macro: asks for a file and writes the capture, or
// the records selected in the view, as a replay macro, saying what the macro does not check.
void save_as_macro_command(HWND owner);

// Writes the capture (its selection, when the view has one) as a replay
// macro into `path`; 0, or the message text
// of the failure (the file is then removed). `result` tells the steps,
// unchecked bytes and length of what was written.
int capture_save_macro(const wchar_t* path, MacroFromCaptureResult* result);
