// The Find window (dialog 130): the query typed, the list of finds with
// its CSV export, and the keys; the search itself is find_search_win.cpp's,
// what it finds the core's (find/find_source.h).
#include "find/find_state_win.h"

#include <cstdio>
#include <cwchar>

#include <commctrl.h>

#include "app/chrome_win.h"
#include "app/commands.h"
#include "codec/convert.h"
#include "modbus/modbus_monitor_win.h"
#include "resources/resource.h"
#include "ui/dialog_look_win.h"
#include "ui/dpi_win.h"
#include "ui/file_chooser_win.h"
#include "ui/place.h"
#include "record/record_view_win.h"
#include "view/data_view_win.h"

FindTyped g_typed = {kLookBytes, 0, 0, 1, 1, 1, 1, L"", {}};

namespace {

enum Column { kColSeconds, kColDay, kColChannel, kColDirection, kColFound, kColHex, kColText, kColumns };
const int kColumnTexts[kColumns] = {kTextMonitorColumnFirst,     kTextFindColumnTime, kTextMonitorColumnFirst + 1,
                                    kTextMonitorColumnFirst + 2, kTextFindColumnFound, kTextFindColumnHex,
                                    kTextFindFormText};
const int kColumnWidths[kColumns] = {72, 104, 38, 32, 124, 148, 70};  // pixels at 96 DPI, at least
const int kHeadingPadding = 16;  // pixels at 96 DPI: the header's margins either side of its text
const int kClearGap = 8;         // pixels at 96 DPI between the window and the find it leaves clear

}  // namespace

void find_status(const wchar_t* text) {
  lstrcpynW(g_find.status_text, text, sizeof g_find.status_text / sizeof g_find.status_text[0]);
  if (g_find.window) SetDlgItemTextW(g_find.window, IDC_FND_STATUS, text);
}

void find_status_n(int n, ...) {
  wchar_t format[kMessageTextUnits] = L"", text[kMessageTextUnits + 32] = L"";
  get_text(n, format);
  va_list args;
  va_start(args, n);
  if (message_fields_match(reinterpret_cast<const char16_t*>(format), message_fields(n)))
    _vsnwprintf(text, sizeof text / sizeof text[0] - 1, format, args);
  else
    lstrcpynW(text, format, sizeof text / sizeof text[0]);
  va_end(args);
  find_status(text);
}

void find_typed_read() {
  HWND w = g_find.window;
  if (!w) return;
  g_typed.look = static_cast<int>(SendDlgItemMessageW(w, IDC_FND_LOOK, CB_GETCURSEL, 0, 0));
  g_typed.form = static_cast<int>(SendDlgItemMessageW(w, IDC_FND_FORM, CB_GETCURSEL, 0, 0));
  g_typed.match_case = IsDlgButtonChecked(w, IDC_FND_CASE) == BST_CHECKED;
  g_typed.ch1 = IsDlgButtonChecked(w, IDC_FND_CH1) == BST_CHECKED;
  g_typed.ch2 = IsDlgButtonChecked(w, IDC_FND_CH2) == BST_CHECKED;
  g_typed.rx = IsDlgButtonChecked(w, IDC_FND_RX) == BST_CHECKED;
  g_typed.tx = IsDlgButtonChecked(w, IDC_FND_TX) == BST_CHECKED;
  GetDlgItemTextW(w, IDC_FND_PATTERN, g_typed.pattern, sizeof g_typed.pattern / sizeof g_typed.pattern[0]);
}

int find_query_typed(FindQuery* q) {
  find_typed_read();
  *q = FindQuery{};
  q->what = static_cast<uint8_t>(g_typed.look < 0 || g_typed.look >= kLooks ? kLookBytes : g_typed.look);
  q->streams = find_streams_of((g_typed.ch1 ? 1u : 0u) | (g_typed.ch2 ? 2u : 0u), (g_typed.rx ? 1u : 0u) | (g_typed.tx ? 2u : 0u));
  line_shapes_of(g_app.settings.port, q->shape);
  const char16_t* typed = reinterpret_cast<const char16_t*>(g_typed.pattern);
  if (q->what == kFindBytes) {
    static const int kForms[3] = {'N', 'H', 'T'};
    const int form = kForms[g_typed.form < 0 || g_typed.form > 2 ? 0 : g_typed.form];
    const FindPatternResult r =
        find_pattern_typed(&ansi_codec_win, typed, static_cast<int>(wcslen(g_typed.pattern)), form, g_typed.match_case, &q->pattern);
    if (r.fault != kFindPatternOk) {
      find_status_n(find_pattern_fault_text(r.fault), r.at + 1);
      return 1;
    }
  } else if (q->what == kFindSilence) {
    if (find_silence_typed(typed, &q->silence_us)) {
      find_status_n(kTextFindBadSilence);
      return 1;
    }
  } else if (q->what == kFindBadFrame) {
    modbus_monitor_options_now(&q->modbus);
  }
  return 0;
}

void find_list_count(int32_t n) {
  if (g_find.list) SendMessageW(g_find.list, LVM_SETITEMCOUNT, static_cast<WPARAM>(n), LVSICF_NOSCROLL);
}

void find_buttons_enable(int searching) {
  if (!g_find.window) return;
  // One button: Cancel while a search runs, Close otherwise.
  set_dialog_text(g_find.window, IDC_FND_CLOSE, searching ? kTextCancel : kTextClose);
  for (int id : {IDC_FND_NEXT, IDC_FND_PREVIOUS, IDC_FND_ALL, IDC_FND_EXPORT})
    EnableWindow(GetDlgItem(g_find.window, id), !searching);
}

namespace {

void row_text(int32_t i, FindRowText* t) {
  const FindPlace& p = g_find.place[i];
  find_row_text(g_find.found[i], g_find.origin, p.local_us, p.preview, p.preview_n, t);
  if (g_find.found[i].what == kFindBytes) find_pattern_found(g_find.job.pattern, t->found);
}

void cell_text(int32_t i, int column, wchar_t* out, int units) {
  FindRowText t;
  row_text(i, &t);
  const char* text = "";
  switch (column) {
    case kColSeconds: text = t.seconds; break;
    case kColDay: text = t.day; break;
    case kColChannel: text = t.channel; break;
    case kColDirection: text = t.direction; break;
    case kColFound:
      if (g_find.found[i].what == kFindBadFrame && g_find.found[i].why == kFindBadNoAnswer) {
        wchar_t word[kMessageTextUnits] = L"";
        get_text(kTextFindNoAnswer, word);
        lstrcpynW(out, word, units);
        return;
      }
      text = t.found;
      break;
    case kColHex: text = t.hex; break;
    case kColText: text = t.text; break;
  }
  MultiByteToWideChar(CP_ACP, 0, text, -1, out, units);
  out[units - 1] = 0;
}

void export_finds(HWND dlg) {
  if (g_find.running || g_find.finds.n == 0) {
    show_message(dlg, kTextNoDataToExport, 0, L"Quorrin");
    return;
  }
  wchar_t path[MAX_PATH] = L"";
  if (!file_chooser(dlg, kChooseExport, path)) return;
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    show_texts(dlg, L"Quorrin", {kTextFileOpenFailed}, path);
    return;
  }
  static char buffer[65536];
  int32_t used = 0;
  int ok = 1;
  auto flush = [&]() {
    DWORD done = 0;
    if (used > 0 && (!WriteFile(f, buffer, static_cast<DWORD>(used), &done, nullptr) || done != static_cast<DWORD>(used)))
      ok = 0;
    used = 0;
  };
  used = std::snprintf(buffer, sizeof buffer, "%s", kFindCsvHeader);
  for (int32_t i = 0; i < g_find.finds.n && ok; i++) {
    FindRowText t;
    row_text(i, &t);
    if (g_find.found[i].what == kFindBadFrame && g_find.found[i].why == kFindBadNoAnswer)
      std::snprintf(t.found, sizeof t.found, "no answer");
    if (static_cast<int32_t>(sizeof buffer) - used < 512) flush();
    const int32_t n = find_csv_row(t, buffer + used, static_cast<int32_t>(sizeof buffer) - used);
    if (n < 0) ok = 0;
    else used += n;
  }
  flush();
  if (!CloseHandle(f)) ok = 0;
  if (!ok) {
    DeleteFileW(path);
    show_texts(dlg, L"Quorrin", {kTextExportWriteFailed}, path);
  }
}

LRESULT on_notify(NMHDR* h) {
  if (h->idFrom != IDC_FND_LIST) return 0;
  switch (h->code) {
    case LVN_GETDISPINFOW: {
      LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(h)->item;
      if ((item.mask & LVIF_TEXT) && item.iItem >= 0 && item.iItem < g_find.finds.n && item.cchTextMax > 0 && !g_find.running)
        cell_text(item.iItem, item.iSubItem, item.pszText, item.cchTextMax);
      return 0;
    }
    case LVN_ITEMCHANGED: {
      const NMLISTVIEW* c = reinterpret_cast<NMLISTVIEW*>(h);
      if (!g_find.choosing && !g_find.running && (c->uChanged & LVIF_STATE) &&
          (c->uNewState & LVIS_SELECTED) && !(c->uOldState & LVIS_SELECTED))
        find_show(c->iItem);
      return 0;
    }
  }
  return 0;
}

// Another kind of find chosen: the field shows what was typed for that
// kind last (nothing for a bad frame or an event), and keeps this one's.
void look_switched(HWND dlg) {
  const int look = static_cast<int>(SendDlgItemMessageW(dlg, IDC_FND_LOOK, CB_GETCURSEL, 0, 0));
  const int units = sizeof g_typed.held[0] / sizeof g_typed.held[0][0];
  if (look < 0 || look >= kLooks || look == g_typed.look) return;
  if (g_typed.look >= 0 && g_typed.look < kLooks) GetDlgItemTextW(dlg, IDC_FND_PATTERN, g_typed.held[g_typed.look], units);
  SetDlgItemTextW(dlg, IDC_FND_PATTERN, g_typed.held[look]);
  g_typed.look = look;
}

void pattern_controls_enable(HWND dlg) {
  const int look = static_cast<int>(SendDlgItemMessageW(dlg, IDC_FND_LOOK, CB_GETCURSEL, 0, 0));
  EnableWindow(GetDlgItem(dlg, IDC_FND_PATTERN), look == kLookBytes || look == kLookSilence);
  EnableWindow(GetDlgItem(dlg, IDC_FND_FORM), look == kLookBytes);
  EnableWindow(GetDlgItem(dlg, IDC_FND_CASE), look == kLookBytes);
}

void on_init(HWND dlg) {
  g_find.window = dlg;
  g_find.list = GetDlgItem(dlg, IDC_FND_LIST);
  static const struct { int id, text; } kLabels[] = {
      {0, kTextFindTitle}, {IDC_FND_LABEL_LOOK, kTextFindLookFor}, {IDC_FND_LABEL_WHAT, kTextFindWhat},
      {IDC_FND_CASE, kTextFindMatchCase}, {IDC_FND_RX, kTextFindReceived}, {IDC_FND_TX, kTextFindSent},
      {IDC_FND_NEXT, kTextFindNext}, {IDC_FND_PREVIOUS, kTextFindPrevious}, {IDC_FND_ALL, kTextFindAll},
      {IDC_FND_EXPORT, kTextMonitorExport}, {IDC_FND_CLOSE, kTextClose}};
  for (const auto& l : kLabels) set_dialog_text(dlg, l.id, l.text);
  for (int n : {kTextFindBytes, kTextFindSilence, kTextFindBadFrame, kTextFindLineEvent}) {
    wchar_t text[kMessageTextUnits] = L"";
    get_text(n, text);
    SendDlgItemMessageW(dlg, IDC_FND_LOOK, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  for (int n : {kTextFindFormNotation, kTextFindFormHex, kTextFindFormText}) {
    wchar_t text[kMessageTextUnits] = L"";
    get_text(n, text);
    SendDlgItemMessageW(dlg, IDC_FND_FORM, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  SendDlgItemMessageW(dlg, IDC_FND_LOOK, CB_SETCURSEL, static_cast<WPARAM>(g_typed.look), 0);
  SendDlgItemMessageW(dlg, IDC_FND_FORM, CB_SETCURSEL, static_cast<WPARAM>(g_typed.form), 0);
  SendDlgItemMessageW(dlg, IDC_FND_PATTERN, EM_LIMITTEXT, sizeof g_typed.pattern / sizeof g_typed.pattern[0] - 1, 0);
  SetDlgItemTextW(dlg, IDC_FND_PATTERN, g_typed.pattern);
  CheckDlgButton(dlg, IDC_FND_CASE, g_typed.match_case ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, IDC_FND_CH1, g_typed.ch1 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, IDC_FND_CH2, g_typed.ch2 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, IDC_FND_RX, g_typed.rx ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dlg, IDC_FND_TX, g_typed.tx ? BST_CHECKED : BST_UNCHECKED);
  pattern_controls_enable(dlg);
  SendMessageW(g_find.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  SendMessageW(g_find.list, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotBackground)));
  SendMessageW(g_find.list, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotBackground)));
  SendMessageW(g_find.list, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotText)));
  for (int k = 0; k < kColumns; k++) {
    wchar_t head[kMessageTextUnits] = L"";
    get_text(kColumnTexts[k], head);
    LVCOLUMNW c = {};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    // Wide enough for its heading in any language and at any scale.
    const int heading = static_cast<int>(SendMessageW(g_find.list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(head)));
    c.cx = window_px(g_find.list, kColumnWidths[k]);
    if (c.cx < heading + window_px(g_find.list, kHeadingPadding)) c.cx = heading + window_px(g_find.list, kHeadingPadding);
    c.pszText = head;
    c.iSubItem = k;
    SendMessageW(g_find.list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(k), reinterpret_cast<LPARAM>(&c));
  }
  find_list_count(g_find.running ? 0 : g_find.finds.n);
  SetDlgItemTextW(dlg, IDC_FND_STATUS, g_find.status_text);
  find_buttons_enable(g_find.running);
  if (g_find.running) SetTimer(dlg, kFindProgressTimer, kFindProgressPeriodMs, nullptr);
  dialog_look_init(dlg);
}

void on_destroy() {
  find_typed_read();
  // A search running ends with the window (it stops within a window's
  // worth of records); the next command searches again.
  if (g_find.running) {
    g_find.cancel = 1;
    if (g_find.worker.joinable()) g_find.worker.join();
    g_find.running = 0;
    g_find.have = 0;
  }
  g_find.window = g_find.list = nullptr;
}

INT_PTR CALLBACK find_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  INT_PTR result = 0;
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return TRUE;
    case WM_TIMER:
      if (wp == kFindProgressTimer) find_on_progress_timer();
      return TRUE;
    case WM_NOTIFY: SetWindowLongPtrW(dlg, DWLP_MSGRESULT, on_notify(reinterpret_cast<NMHDR*>(lp))); return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDOK: case IDC_FND_NEXT: find_search_step(1); break;
        case IDC_FND_PREVIOUS: find_search_step(-1); break;
        case IDC_FND_ALL: find_search_all(); break;
        case IDC_FND_EXPORT: export_finds(dlg); break;
        // Esc, as the button, cancels a search, or closes the window when none runs.
        case IDCANCEL: case IDC_FND_CLOSE:
          if (g_find.running) g_find.cancel = 1;
          else DestroyWindow(dlg);
          break;
        case IDC_FND_LOOK:
          if (HIWORD(wp) == CBN_SELCHANGE) {
            look_switched(dlg);
            pattern_controls_enable(dlg);
          }
          break;
      }
      return TRUE;
    case WM_CLOSE: DestroyWindow(dlg); return TRUE;
    case WM_DESTROY: on_destroy(); return TRUE;
    default:
      if (dialog_look(dlg, msg, wp, lp, &result)) return result;
      return FALSE;
  }
}
}  // namespace

void find_window_clear_of_mark() {
  RECT mark, window;
  if (!g_find.window || IsIconic(g_find.window) || !view_mark_rect(&mark) || !GetWindowRect(g_find.window, &window)) return;
  MapWindowPoints(g_main_window, nullptr, reinterpret_cast<POINT*>(&mark), 2);
  MONITORINFO screen = {};
  screen.cbSize = sizeof screen;
  if (!GetMonitorInfoW(MonitorFromRect(&mark, MONITOR_DEFAULTTONEAREST), &screen)) return;
  const RECT& work = screen.rcWork;
  int32_t x = 0, y = 0;
  if (place_clear_of({window.left, window.top, window.right, window.bottom}, {mark.left, mark.top, mark.right, mark.bottom},
                     {work.left, work.top, work.right, work.bottom}, window_px(g_find.window, kClearGap), &x, &y))
    SetWindowPos(g_find.window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void find_window_open(HWND owner) {
  tool_window_open(g_find.window, owner, IDD_FIND, find_proc);
  find_window_clear_of_mark();
  if (g_find.window) {
    SetFocus(GetDlgItem(g_find.window, IDC_FND_PATTERN));
    SendDlgItemMessageW(g_find.window, IDC_FND_PATTERN, EM_SETSEL, 0, -1);
  }
}

void find_step(HWND owner, int dir) {
  // The window holds the query (the one typed last when it was closed); a
  // first F3 only opens it.
  if (!g_find.window) find_window_open(owner);
  else find_typed_read();
  if (g_typed.pattern[0] || g_typed.look != kLookBytes) find_search_step(dir);
}

int find_window_message(MSG* m) {
  HWND w = g_find.window;
  if (!w || (m->hwnd != w && !IsChild(w, m->hwnd))) return 0;
  if (m->message == WM_KEYDOWN && m->wParam == VK_F3) {
    PostMessageW(g_main_window, WM_COMMAND, GetKeyState(VK_SHIFT) < 0 ? kCmdFindPrevious : kCmdFindNext, 0);
    return 1;
  }
  return IsDialogMessageW(w, m);
}

int find_cancel() {
  const int was = g_find.running.load();
  if (was) g_find.cancel = 1;
  CaptureView& v = view_capture()->view;
  if (v.mark_first >= 0) {
    v.mark_first = v.mark_last = -1;
    g_find.current = -1;
    find_repaint_main();
  }
  return was;
}

int find_status_text(int part, char16_t out[64]) {
  if (part != 8 || g_find.current < 0 || view_capture()->view.mark_first < 0) return 0;
  wchar_t format[kMessageTextUnits] = L"";
  const int n = g_find.finds.more ? kTextFindMatchOfMore : kTextFindMatchOf;
  get_text(n, format);
  if (!message_fields_match(reinterpret_cast<const char16_t*>(format), message_fields(n))) return 0;
  const int before = static_cast<int>(g_find.first_index);
  _snwprintf(wide(out), 63, format, before + g_find.current + 1, before + g_find.finds.n);
  out[63] = 0;
  return 1;
}
