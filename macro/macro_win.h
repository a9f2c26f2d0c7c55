// The macro dialog (117) and the Win32 services of the macro interpreter.
#pragma once

#include "app/app_win.h"
#include "macro/macro.h"

// The macro buffer, interpreter state and memory slots of the process.
extern MacroState g_macro;

// The interpreter's platform: the tick count, Sleep, the port write of the
// macro send, and the capture buffer; show_step goes to the dialog `dlg`.
MacroHost macro_host_win(HWND dlg);

// Runs the macro dialog modally.
void macro_dialog_run(HWND owner);
