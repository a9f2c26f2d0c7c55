// What the Win32 files of the program share: the main window, the instance,
// message boxes with message texts, and the program directory's files.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <cstdarg>

#include "app/app_state.h"

extern HWND g_main_window;
extern HINSTANCE g_instance;

// Runs fn(arg) on the user-interface thread and returns when it has run;
// for a window that runs on a thread of its own and needs the program's
// state (the settings, the data view). Returns 0 when there is no main
// window to run it (it has gone), 1 when fn ran. Called on the
// user-interface thread itself it simply calls fn.
int ui_thread_call(void (*fn)(void*), void* arg);
// The same without waiting: fn(arg) runs on the user-interface thread when
// it comes to it (arg must live until then). 0 when it could not be asked.
int ui_thread_post(void (*fn)(void*), void* arg);

inline const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
inline wchar_t* wide(char16_t* s) { return reinterpret_cast<wchar_t*>(s); }

// The 3000 ms focus timer of the input send window and the preset editor
// may take the keyboard focus back: neither the checksum calculator nor the
// send format dialog is open, and the user has not switched it off.
inline int send_focus_may_return() {
  return !g_app.checksum_open && !g_app.send_format_open && g_app.settings.auto_foucs_OFF != 1;
}

// Message text n in the current language (empty when the language finds none).
void get_text(int n, wchar_t out[kMessageTextUnits]);
// Control `id` of `dlg` (0: its title) shows message text n; without a text
// (no message file) the resource's own text stays.
void set_dialog_text(HWND dlg, int id, int n);
// Message box with message text n; kind 0 OK (returns 0), kind 1 Yes/No
// (returns IDYES or IDNO); other kinds show nothing and return 0.
int show_message(HWND owner, int n, int kind, const wchar_t* caption);
// Message text n formatted with its fields into out (units long), when the
// text has the fields message_fields expects; a damaged or edited message
// file's text is given as it stands.
void format_text(wchar_t* out, int units, int n, ...);
// OK box with a formatted fixed text, for the fixed texts of failed system
// calls ("COM Open Error No.%d (CH%d)"); everything else says it with
// show_texts.
void show_error(HWND owner, const wchar_t* caption, const wchar_t* format, ...);
// OK box of up to four message texts, one per line, formatted with the
// arguments after `path` (the fields of all the texts in order, as
// message_fields gives them), then `path` on a line of its own unless it is
// null. When a text's fields are not the ones expected (a damaged or edited
// message file) the texts are shown as they stand and nothing is formatted.
void show_texts_v(HWND owner, const wchar_t* caption, const int* lines, int count, const wchar_t* path,
                  va_list args);
template <int N>
void show_texts(HWND owner, const wchar_t* caption, const int (&lines)[N], const wchar_t* path, ...) {
  static_assert(N >= 1 && N <= 4, "a message box shows one to four texts");
  va_list args;
  va_start(args, path);
  show_texts_v(owner, caption, lines, N, path, args);
  va_end(args);
}
// program directory + "\" + name into out (MAX_PATH units); 1 when it does not fit.
int program_file(const wchar_t* name, wchar_t* out);

// The program's files (settings/settings_win.cpp): settings, message
// texts, colors, and the theme file (read from the current directory at
// process start, written into the program directory).
void settings_file_load();
void settings_file_save();
// Loads the message texts; returns 1 when the file is not there.
int message_file_load();
// The captions and messages in the chosen language come from that file
// (the fixed English system-call texts and captions do not): without it the
// program still runs, but those boxes would be blank, so it says why once.
void message_file_missing(HWND owner);
// That notice's format in the chosen language, one %ls for the file's path.
const wchar_t* message_file_missing_text();
void colors_file_load();
void colors_file_save();
void theme_file_read();
void theme_file_write(int value);

// The language dialog (settings/language_dialog_win.cpp).
void language_dialog_run(HWND owner);
// The environment settings, About and dark and light mode dialogs
// (settings/settings_dialogs_win.cpp).
void environment_dialog_run(HWND owner);
void about_box_run(HWND owner);
// 1 when the theme file was written and the program is to restart.
int theme_dialog_run(HWND owner);
// The ASCII table window (tools/ascii_table_win.cpp): a new one each time.
void ascii_table_open(HWND owner);
// The link statistics window (tools/link_stats_win.cpp): one at a time; a
// second open brings the one open to the front.
void link_stats_window_open(HWND owner);
// The Modbus monitor window (modbus/modbus_monitor_win.cpp): one at a
// time, on a thread of its own. Close (the main window's end) closes it and
// waits up to 10 s for its thread; 1 when that thread still lives.
void modbus_monitor_window_open(HWND owner);
int modbus_monitor_window_close();
// The auto answer window (macro/auto_answer_win.cpp): one at a time, and
// it answers only while it is open.
void auto_answer_window_open(HWND owner);
// The checksum calculator (tools/checksum_calc_win.cpp), modal.
void checksum_calculator_run(HWND owner);
// The line status dialog (serial/line_status_win.cpp) for channel ch
// (0 CH1, 1 CH2).
void line_status_dialog_run(HWND owner, int ch);
// The Modbus frame builder (modbus/modbus_dialog_win.cpp), modal.
void modbus_dialog_run(HWND owner);
// The port number dialog (serial/port_dialog_win.cpp) and the DCB and
// timeouts dialog for channel ch, 0 CH1 or 1 CH2
// (serial/dcb_dialog_win.cpp); each returns how it closed.
int port_dialog_run(HWND owner);
int dcb_dialog_run(HWND owner, int ch);
// The color setting dialog (settings/color_dialog_win.cpp); returns how it closed.
int color_dialog_run(HWND owner);
