// Program entry and the main window: its initialisation and teardown, the
// two timers, the keys, menu enabling and the command table. Everything here
// runs on the user-interface thread; the receive threads only append to the
// capture buffer.
#include "app/app_win.h"

#include <commdlg.h>
#include <dwmapi.h>
#include <shellapi.h>

#include <cwchar>

#include "app/chrome_win.h"
#include "app/commands.h"
#include "macro/macro_win.h"
#include "net/link_net_win.h"
#include "find/find_win.h"
#include "record/record_view_win.h"
#include "record/recorder_win.h"
#include "resources/resource.h"
#include "send/input_send_win.h"
#include "serial/line_watch_win.h"
#include "serial/port_win.h"
#include "serial/presence_win.h"
#include "send/preset_send_win.h"
#include "send/repeat_win.h"
#include "ui/dpi_win.h"
#include "ui/file_chooser_win.h"
#include "view/cell_tip_win.h"
#include "view/data_view_win.h"
#include "view/fonts_win.h"
#include "view/highlight_win.h"
#include "view/logfile_win.h"
#include "app/command_line_win.h"
#include "timeline/export_win.h"
#include "transfer/transfer_win.h"
#include "plot/plot_window_win.h"

AppState g_app;
HWND g_main_window = nullptr;
HINSTANCE g_instance = nullptr;

namespace {

// Posted by the window's creation when the message text file is missing.
constexpr UINT kMessageFileMissing = WM_APP + 1;
// A port address from the settings file or the command line did not read.
constexpr UINT kAddressRefused = WM_APP + 3;
// Sent by ui_thread_call, posted by ui_thread_post: wp the function, lp its argument.
constexpr UINT kMessageUiCall = WM_APP + 2;
const wchar_t kHomePage[] = L"https://www.tessaly.example/quorrin/";

uint32_t tick_count() { return GetTickCount(); }

// The command line's /open and /reconnect (CommandLineStart).
int g_start_flags = 0;

// "/port1" and "/port2": the ports the command line chose for this run
// replace the settings' ones; the settings file keeps its own.
void ports_for_run_take() {
  wchar_t text[2][kPortAddressUnits];
  const int given = command_line_ports(text);
  for (int ch = 0; ch < 2; ch++) {
    if (!(given & (1 << ch))) continue;
    PortAddress a = {};
    int reason = 0;
    if (port_address_parse(reinterpret_cast<char16_t*>(text[ch]), &a, &reason)) {
      g_app.address_refused[ch] = reason;
      continue;
    }
    g_app.address_refused[ch] = 0;
    g_app.port_for_run[ch] = 1;
    g_app.file_comport[ch] = g_app.settings.port[ch].rs_comport;
    g_app.file_address[ch] = g_app.address[ch];
    g_app.address[ch] = a.kind == kPortCom ? PortAddress{} : a;
    if (a.kind == kPortCom) g_app.settings.port[ch].rs_comport = a.com;
  }
}

// Record to Disk: stops a recording, or starts one in a folder the user
// chooses, from the last one used (the "recordings" folder in the program
// folder to begin with).
void record_command(HWND hwnd) {
  if (recorder_running()) {
    recorder_stop();
    statusbar_refresh_color();
    return;
  }
  wchar_t folder[MAX_PATH];
  recorder_start_folder(folder);
  if (folder_choose(hwnd, kTextMenuRecord, folder, 1)) return;  // the recorder makes a new one
  recorder_start(hwnd, folder);
  statusbar_refresh_color();
}

// Says which port address did not read, and why; the channel keeps the
// port it had.
void address_refused_tell(HWND hwnd) {
  for (int ch = 0; ch < 2; ch++) {
    if (!g_app.address_refused[ch]) continue;
    const int reason = port_address_reason_text(g_app.address_refused[ch]);
    g_app.address_refused[ch] = 0;
    show_texts(hwnd, L"Quorrin", {kTextPortAddressInvalid, reason}, nullptr, ch + 1);
  }
}

// The chunk clock: the performance counter in microseconds. The frequency
// is read once, before any receive thread starts.
int64_t g_counter_frequency = 0;

int64_t counter_micros() {
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  int64_t f = g_counter_frequency;
  // Whole seconds and the remainder apart, so the product cannot overflow.
  return c.QuadPart / f * 1000000 + c.QuadPart % f * 1000000 / f;
}

// Gives the capture its microsecond clock and the offset from it to the
// wall clock (microseconds since 1970), taken once at start.
void capture_clock_setup(Capture* cap) {
  LARGE_INTEGER f;
  if (!QueryPerformanceFrequency(&f) || f.QuadPart <= 0) return;  // no clock: chunk times stay unknown
  g_counter_frequency = f.QuadPart;
  FILETIME ft;
  GetSystemTimePreciseAsFileTime(&ft);
  int64_t now = counter_micros();
  // FILETIME counts 100 ns since 1601; 11644473600 s lie between 1601 and 1970.
  int64_t wall = static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10 -
                 INT64_C(11644473600000000);
  cap->wall_offset_us = wall - now;
  cap->micros = counter_micros;
}

void program_directory_find() {
  wchar_t path[MAX_PATH] = L"";
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) path[0] = 0;
  wchar_t* slash = wcsrchr(path, L'\\');
  if (slash) *slash = 0;
  lstrcpynW(wide(g_app.program_dir), path, 260);
}

void full_repaint(HWND hwnd) {
  InvalidateRect(hwnd, nullptr, TRUE);
  UpdateWindow(hwnd);
}

// The client area less the toolbar and status bar strips.
void data_repaint(HWND hwnd) {
  RECT r;
  GetClientRect(hwnd, &r);
  r.top = window_px(hwnd, 24);
  r.bottom -= window_px(hwnd, 20);
  InvalidateRect(hwnd, &r, TRUE);
  UpdateWindow(hwnd);
}

void tool_refresh(HWND) { chrome_tool_refresh(); }

int any_channel_open() { return channel_is_open(0) || channel_is_open(1); }

void caption_text4(wchar_t caption[kMessageTextUnits]) {
  caption[0] = 0;
  get_text(kTextMessageCaption, caption);
}

void refuse(HWND hwnd, int text, const wchar_t* caption) { show_message(hwnd, text, 0, caption); }

void refuse_text4(HWND hwnd, int text) {
  wchar_t caption[kMessageTextUnits];
  caption_text4(caption);
  refuse(hwnd, text, caption);
}

void open_ports(HWND hwnd) {
  wchar_t caption[kMessageTextUnits];
  caption_text4(caption);
  static const int kFailText[2] = {kTextPortNotOpen, kTextCh2PortNotOpen};
  for (int ch = 0; ch < 2; ch++) {
    // A lost channel is tried again at once and stays lost until it is back.
    if (channel_lost(ch)) {
      channel_lost_try_now(hwnd, ch);
      continue;
    }
    // A channel already open is left alone: opening it twice would orphan
    // its receive thread.
    if (!channel_assigned(ch) || g_channel[ch].open.load() != 0 || net_connecting(ch)) continue;
    if (channel_open(hwnd, ch)) {
      show_message(hwnd, kFailText[ch], 0, caption);
    } else {
      channel_event(ch, kEventOpened, 0);
      channel_identity_note(ch);
    }
  }
  if (any_channel_open()) g_app.capture.view.follow_mode = 1;
  full_repaint(hwnd);
  tool_refresh(hwnd);
}

void close_ports(HWND hwnd) {
  repeat_stop_all();
  for (int ch = 0; ch < 2; ch++) {
    // A network link still connecting is closed too.
    const int busy = g_channel[ch].open.load() != 0 || net_connecting(ch);
    if (busy || channel_lost(ch)) channel_event(ch, kEventClosed, 0);
    channel_lost_end(ch);  // a lost port is no longer tried
    if (busy) channel_close(ch);
  }
  full_repaint(hwnd);
  tool_refresh(hwnd);
}

void scroll_command(HWND hwnd, int id) {
  CaptureView& v = g_app.capture.view;
  int32_t n = view_cells_per_row_now(hwnd);
  int32_t w = capture_write_position(&g_app.capture);
  // Without one whole cell per row there is no page to move.
  if (n < 1) return;
  switch (id) {
    case kCmdScrollEnd:
      if (v.follow_mode != 1) v.view_position = view_scroll_toward_end(v.view_position, g_app.settings.scrol_pitch, n, w);
      data_repaint(hwnd);
      break;
    case kCmdScrollStart:
      if (v.follow_mode != 1) v.view_position = view_scroll_toward_start(v.view_position, g_app.settings.scrol_pitch, n);
      data_repaint(hwnd);
      break;
    case kCmdJumpEnd:
      v.view_position = view_jump_end(n, w);
      full_repaint(hwnd);
      break;
    case kCmdJumpStart:
      v.view_position = 0;
      full_repaint(hwnd);
      break;
  }
}

void clear_command(HWND hwnd) {
  wchar_t caption[kMessageTextUnits];
  caption_text4(caption);
  if (show_message(hwnd, kTextClearCaptureAsk, 1, caption) == IDYES) {
    capture_clear(&g_app.capture);
    capture_add_event(&g_app.capture, kEventCleared, 0, 0, 0);
    full_repaint(hwnd);
  }
}

void notepad_command(HWND hwnd) {
  SetCurrentDirectoryW(wide(g_app.program_dir));
  notepad_prepare(hwnd);
  ShellExecuteW(nullptr, L"open", L"notepad.exe", L"temp.txt", nullptr, SW_SHOWNORMAL);
}

void edit_macro_command(HWND hwnd) {
  wchar_t name[MAX_PATH] = L"";
  if (file_chooser(hwnd, kChooseEditMacro, name)) ShellExecuteW(nullptr, L"open", name, nullptr, nullptr, SW_SHOWNORMAL);
}

// Opens the manual of the chosen language beside the program with the
// shell's viewer for PDF files; says so when there is none or no file.
void manual_command(HWND hwnd) {
  wchar_t path[MAX_PATH];
  if (program_file(wide(command_manual_name(g_app.settings.moji_type)), path)) return;
  const INT_PTR result = reinterpret_cast<INT_PTR>(ShellExecuteW(hwnd, L"open", path, nullptr, nullptr, SW_SHOWNORMAL));
  if (result <= 32) show_texts(hwnd, L"ShellExecute", {kTextManualNotOpened}, path);
}

// 0 when handled, 1 when the id is not a command of this window.
int run_command(HWND hwnd, int id) {
  int tool = command_tool(id);
  if (tool >= 0 && g_app.tool_open[tool] == 1) return 0;
  ChannelFlags flags = channel_flags_now();
  CommandRefusal refusal = command_refusal(id, &flags);
  if (refusal.text) {
    if (refusal.caption == kCaptionText4) refuse_text4(hwnd, refusal.text);
    else refuse(hwnd, refusal.text, L"Quorrin");
    return 0;
  }
  int ch = command_channel(id);
  switch (id) {
    case kCmdSaveLog: log_save(hwnd); return 0;
    case kCmdLoadLog:
      if (log_load(hwnd) == 0) {
        recording_close(hwnd);  // the log is shown, in the live capture
        g_app.capture.view.follow_mode = 1;
        full_repaint(hwnd);
      }
      return 0;
    case kCmdExport: export_command(hwnd); return 0;
    case kCmdSaveAsMacro: save_as_macro_command(hwnd); return 0;
    case kCmdExit: DestroyWindow(hwnd); return 0;
    case kCmdRepaint: full_repaint(hwnd); return 0;
    case kCmdClear: clear_command(hwnd); return 0;
    case kCmdScrollEnd: case kCmdScrollStart: case kCmdJumpEnd: case kCmdJumpStart:
      if (recording_shown()) recording_scroll(hwnd, id);
      else scroll_command(hwnd, id);
      return 0;
    case kCmdOpenRecording: recording_open_command(hwnd); return 0;
    case kCmdOpenRecordingFolder: recording_open_folder_command(hwnd); return 0;
    case kCmdBackToLive: recording_close(hwnd); return 0;
    case kCmdFind: find_window_open(hwnd); return 0;
    case kCmdFindNext: find_step(hwnd, 1); return 0;
    case kCmdFindPrevious: find_step(hwnd, -1); return 0;
    case kCmdGoToTime: go_to_time_run(hwnd); return 0;
    case kCmdHighlight: highlight_dialog_run(hwnd); return 0;
    case kCmdInputSend: input_send_window_open(hwnd); return 0;
    case kCmdPresetSend: preset_send_window_open(hwnd); return 0;
    case kCmdMacro: macro_dialog_run(hwnd); return 0;
    case kCmdNotepad: notepad_command(hwnd); return 0;
    case kCmdEditMacro: edit_macro_command(hwnd); return 0;
    case kCmdOpenPorts: open_ports(hwnd); return 0;
    case kCmdClosePorts: close_ports(hwnd); return 0;
    case kCmdPortNumber:
      port_dialog_run(hwnd);
      // Port numbers enable the open command; line monitor mode moves CH2's strip.
      full_repaint(hwnd);
      tool_refresh(hwnd);
      return 0;
    case kCmdConfigCh1: case kCmdConfigCh2:
      channel_config_dialog(hwnd, ch);
      tool_refresh(hwnd);
      return 0;
    case kCmdDcbCh1: case kCmdDcbCh2:
      dcb_dialog_run(hwnd, ch);
      statusbar_refresh_color();
      return 0;
    case kCmdLineStatusCh1: case kCmdLineStatusCh2: line_status_dialog_run(hwnd, ch); return 0;
    case kCmdManual: manual_command(hwnd); return 0;
    case kCmdHomePage: ShellExecuteW(nullptr, L"open", kHomePage, nullptr, nullptr, SW_SHOWNORMAL); return 0;
    case kCmdLanguage:
      language_dialog_run(hwnd);
      statusbar_refresh_color();
      if (!g_app.menu_suppressed) {
        menu_bar_destroy(hwnd);
        menu_bar_build(hwnd);
      }
      return 0;
    case kCmdEnvironment: environment_dialog_run(hwnd); return 0;
    case kCmdAbout: about_box_run(hwnd); return 0;
    case kCmdColors: color_dialog_run(hwnd); return 0;
    case kCmdTheme:
      if (theme_dialog_run(hwnd) == 1) {
        // Destroying the window saves the settings and closes the ports
        // before the launcher starts the new process.
        DestroyWindow(hwnd);
        ShellExecuteW(nullptr, L"open", L"pivotle.exe", L"Quorrin.exe", nullptr, SW_SHOWNORMAL);
      }
      return 0;
    case kCmdAsciiTable: ascii_table_open(hwnd); return 0;
    case kCmdLinkStats: link_stats_window_open(hwnd); return 0;
    case kCmdModbusMonitor: modbus_monitor_window_open(hwnd); return 0;
    case kCmdPlot: plot_window_open(hwnd); return 0;
    case kCmdAutoAnswer: auto_answer_window_open(hwnd); return 0;
    case kCmdRecord: record_command(hwnd); return 0;
    case kCmdPresetEditor: preset_editor_run(hwnd); return 0;
    case kCmdChecksum: checksum_calculator_run(hwnd); return 0;
    case kCmdModbus: modbus_dialog_run(hwnd); return 0;
    case kCmdStopRepeats: repeat_stop_all(); return 0;
    case kCmdSendFile: case kCmdReceiveFile: transfer_window_open(hwnd, id == kCmdSendFile); return 0;
    default: return 1;
  }
}

void on_create(HWND hwnd) {
  g_main_window = hwnd;
  program_directory_find();
  settings_file_load();
  g_app.reconnect_run = (g_start_flags & kStartReconnect) != 0;
  ports_for_run_take();
  // Told once the window is up, so the notice has the window behind it.
  if (message_file_load()) PostMessageW(hwnd, kMessageFileMissing, 0, 0);
  if (g_app.address_refused[0] || g_app.address_refused[1]) PostMessageW(hwnd, kAddressRefused, 0, 0);
  g_app.capture.tick = tick_count;
  capture_clock_setup(&g_app.capture);
  capture_clear(&g_app.capture);
  if (capture_allocate(&g_app.capture)) {
    // Without a buffer nothing can be recorded: say so plainly; the window
    // stays, so the user can still close it normally.
    show_texts(hwnd, L"CreateFile", {kTextCaptureNoMemory}, nullptr,
               kCaptureRecords * static_cast<int>(sizeof(CaptureRecord) + sizeof(int64_t)));
  } else {
    fonts_create(hwnd);
    colors_file_load();
    gdi_objects_create();
    if (g_app.dark_mode) {
      BOOL on = TRUE;
      DwmSetWindowAttribute(hwnd, 20, &on, sizeof on);
    }
    if (!g_app.menu_suppressed) menu_bar_build(hwnd);
    toolbar_create(hwnd);
    statusbar_create(hwnd);
    cell_tip_create(hwnd);
    highlight_load_at_start(hwnd);
    g_app.capture.view.follow_mode = 1;
    g_app.send_format_open = g_app.checksum_open = g_app.checksum_kind_open = 0;
  }
  SetTimer(hwnd, TIMER_REPAINT, static_cast<UINT>(timer_repaint_period(g_app.settings.pl_time)), nullptr);
  SetTimer(hwnd, TIMER_PRESENCE, 3000, nullptr);
  SetTimer(hwnd, TIMER_LINE_WATCH, kLineWatchPeriodMs, nullptr);
  // "/record FOLDER" records from the start, before "/open" opens anything.
  wchar_t folder[MAX_PATH];
  if (command_line_record(folder)) recorder_start(hwnd, folder);
  // "/open" opens the ports once the window is up, as the command does.
  if (g_start_flags & kStartOpen) PostMessageW(hwnd, WM_COMMAND, kCmdOpenPorts, 0);
}

// The window moved to a monitor of another scale (or the scale changed):
// the data view's fonts and cell metrics, the toolbar's images, the status
// bar's parts and the tool windows drawn with those fonts follow, and the
// window takes the size Windows suggests.
void on_dpi_changed(HWND hwnd, const RECT* suggested) {
  if (g_font_small) {
    fonts_delete();
    fonts_create(hwnd);
  }
  chrome_rescale(hwnd);
  tool_windows_rescale(hwnd);
  SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
               suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(hwnd, nullptr, TRUE);
}

void on_destroy(HWND hwnd) {
  // The monitor's thread reads the capture: it ends before anything goes.
  int reader_lives = modbus_monitor_window_close();
  plot_window_close();
  highlight_frames_stop();
  recorder_finish();  // what is queued reaches the disk before the process ends
  KillTimer(hwnd, TIMER_REPAINT);
  KillTimer(hwnd, TIMER_PRESENCE);
  KillTimer(hwnd, TIMER_LINE_WATCH);
  settings_file_save();
  for (int ch = 0; ch < 2; ch++) {
    if (g_channel[ch].open.load() != 0 || g_channel[ch].port || net_connecting(ch)) channel_close(ch);
    if (g_channel[ch].thread) reader_lives = 1;  // a receive thread that outlived its close
  }
  view_release();
  fonts_delete();
  gdi_objects_delete();
  // A thread that would not end may still touch the capture: the process
  // ends in a moment and takes the memory with it.
  if (!reader_lives) capture_free(&g_app.capture);
  PostQuitMessage(0);
}

void on_repaint_timer(HWND hwnd) {
  highlight_frames_tick(hwnd);  // a loaded log's bad frames too
  if (!any_channel_open()) return;
  capture_refresh_gap(&g_app.capture);
  // A recording on show: the live capture goes on unseen.
  if (recording_shown()) return;
  if (capture_write_position(&g_app.capture) != g_app.capture.view.painted_position) {
    view_incremental_paint(hwnd);
    statusbar_refresh_color();  // the buffer fill has changed
  } else {
    view_live_gap_redraw(hwnd);
  }
}

void on_presence_timer(HWND hwnd) {
  if (!any_channel_open()) return;
  int bits = presence_check();
  for (int ch = 0; ch < 2; ch++)
    if (channel_is_open(ch) && !g_channel[ch].net && !(bits & (1 << ch))) line_watch_lost(hwnd, ch, 0);
}

void on_init_menu_popup(HMENU menu) {
  ChannelFlags flags = channel_flags_now();
  int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; i++) {
    UINT id = GetMenuItemID(menu, i);
    if (id == static_cast<UINT>(-1)) continue;
    EnableMenuItem(menu, id, MF_BYCOMMAND | (command_menu_enabled(static_cast<int>(id), &flags) ? MF_ENABLED : MF_GRAYED));
    if (id == kCmdRecord) CheckMenuItem(menu, id, MF_BYCOMMAND | (recorder_running() ? MF_CHECKED : MF_UNCHECKED));
    if (id == kCmdBackToLive) EnableMenuItem(menu, id, MF_BYCOMMAND | (recording_shown() ? MF_ENABLED : MF_GRAYED));
  }
}

LRESULT CALLBACK main_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE: on_create(hwnd); return 0;
    case kMessageFileMissing: message_file_missing(hwnd); return 0;
    case kAddressRefused: address_refused_tell(hwnd); return 0;
    case kMessageUiCall: reinterpret_cast<void (*)(void*)>(wp)(reinterpret_cast<void*>(lp)); return 1;
    case WM_DESTROY: on_destroy(hwnd); return 0;
    case WM_DPICHANGED: on_dpi_changed(hwnd, reinterpret_cast<const RECT*>(lp)); return 0;
    case WM_SIZE:
      if (g_statusbar) SendMessageW(g_statusbar, WM_SIZE, wp, lp);
      recording_layout(hwnd);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      view_full_repaint(hwnd, ps.hdc);
      if (g_channel[0].open.load() == 0) g_app.capture.view.follow_mode = 0;
      statusbar_refresh_color();
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      if (!g_brush[kSlotBackground]) break;
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, g_brush[kSlotBackground]);
      return 1;
    }
    case WM_DRAWITEM: return statusbar_draw(reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
    case WM_NOTIFY: {
      // A click on the status bar's parts of a recording on show takes the
      // view back to the live capture.
      const NMHDR* hdr = reinterpret_cast<NMHDR*>(lp);
      if (hdr->hwndFrom == g_statusbar && hdr->code == NM_CLICK) {
        const DWORD_PTR part = reinterpret_cast<const NMMOUSE*>(lp)->dwItemSpec;
        if (recording_shown() && part == 9) recording_close(hwnd);
        return 0;
      }
      // The cell tooltip's notices need no answer; the rest are the toolbar's.
      if (!cell_tip_notifies(reinterpret_cast<NMHDR*>(lp))) toolbar_tooltip_text(reinterpret_cast<NMHDR*>(lp));
      return 0;
    }
    case WM_VSCROLL: recording_vscroll(hwnd, wp); return 0;
    case WM_MOUSEMOVE:
      if (wp & MK_LBUTTON) view_select_drag(hwnd, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
      cell_tip_mouse_move(hwnd, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
      return 0;
    case WM_LBUTTONDOWN:
      view_select_press(hwnd, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
      return 0;
    case WM_LBUTTONUP: view_select_release(hwnd); return 0;
    case WM_MOUSELEAVE: cell_tip_mouse_leave(); return 0;
    case WM_INITMENUPOPUP:
      if (HIWORD(lp)) break;  // the window menu: the system keeps its items
      on_init_menu_popup(reinterpret_cast<HMENU>(wp));
      return 0;
    case WM_TIMER:
      if (wp == TIMER_REPAINT) on_repaint_timer(hwnd);
      else if (wp == TIMER_PRESENCE) on_presence_timer(hwnd);
      else if (wp == TIMER_LINE_WATCH) {
        line_watch_tick(hwnd);
        recorder_watch(hwnd);
      }
      return 0;
    case WM_KEYDOWN:
      if (wp == VK_PRIOR) run_command(hwnd, kCmdScrollEnd);
      else if (wp == VK_NEXT) run_command(hwnd, kCmdScrollStart);
      else if (wp == VK_ESCAPE && !find_cancel()) view_select_clear(hwnd);
      else if (wp == VK_F3) run_command(hwnd, GetKeyState(VK_SHIFT) < 0 ? kCmdFindPrevious : kCmdFindNext);
      else if (wp == 'F' && GetKeyState(VK_CONTROL) < 0) run_command(hwnd, kCmdFind);
      else if (wp == 'G' && GetKeyState(VK_CONTROL) < 0) run_command(hwnd, kCmdGoToTime);
      return 0;
    case WM_COMMAND:
      if (run_command(hwnd, command_from_toolbar(LOWORD(wp))) == 0) return 0;
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int ui_thread_call(void (*fn)(void*), void* arg) {
  HWND main = g_main_window;
  if (!main) return 0;
  if (GetWindowThreadProcessId(main, nullptr) == GetCurrentThreadId()) {
    fn(arg);
    return 1;
  }
  return SendMessageW(main, kMessageUiCall, reinterpret_cast<WPARAM>(fn), reinterpret_cast<LPARAM>(arg)) == 1;
}

int ui_thread_post(void (*fn)(void*), void* arg) {
  HWND main = g_main_window;
  return main && PostMessageW(main, kMessageUiCall, reinterpret_cast<WPARAM>(fn), reinterpret_cast<LPARAM>(arg));
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  // "Quorrin.exe /export <log> <out>" and the other modes run without any window.
  program_directory_find();
  const int mode_code = command_line_run();
  if (mode_code >= 0) return mode_code;
  g_start_flags = command_line_start_flags();
  theme_file_read();
  wchar_t title[100], class_name[100];
  LoadStringW(instance, IDS_TITLE, title, 100);
  LoadStringW(instance, IDS_CLASS, class_name, 100);
  g_instance = instance;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = main_window_proc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_QUORRIN));
  wc.hIconSm = wc.hIcon;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = class_name;
  RegisterClassExW(&wc);
  HWND hwnd = CreateWindowExW(0, class_name, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 0;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) {
    if (find_window_message(&m)) continue;
    if (plot_window_message(&m)) continue;
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
  return static_cast<int>(m.wParam);
}
