// The highlight rules in force (view/highlight.h): read from highlights.txt
// in the program folder at start, changed and written by the Highlight Rules
// dialog (command 189). The data view reads them as it paints.
#pragma once

#include "app/app_win.h"
#include "view/highlight.h"

// Reads highlights.txt (a missing file is no news); a file that does not
// read, or lines that do not, are told once the window is up.
void highlight_load_at_start(HWND main);
const HighlightRules* highlight_rules();
// 1 when some rule is on and can colour.
int highlight_any_on();
// What is wrong with a rule, in the user's language, into out.
void highlight_reason_text(const HighlightProblem& p, wchar_t* out, int units);
// Puts `rules` in force, writes them to highlights.txt (telling a failure)
// and paints the view again.
void highlight_rules_put(HWND owner, const HighlightRules* rules);
// The Highlight Rules dialog: on OK the rules take effect, are written to
// highlights.txt and the view is painted again.
void highlight_dialog_run(HWND owner);
// One tick of the main window's repaint timer: while an F rule is on, the
// Modbus monitor's worker decodes the capture shown beside the window, and
// a finished decode paints the view again; with none on it is stopped.
void highlight_frames_tick(HWND view);
// The decode the F rules colour by now: null when none fits the capture shown.
const ModbusMonitorResult* highlight_frames();
// Ends the worker (the main window's end: it reads the capture).
void highlight_frames_stop();
