// The preset strings editor (dialog 126, modal): an input field like the
// input character send window's, "組立" to wrap the input in the send format
// and put it on top of the list, and the list of 200 entries arranged ten
// rows at a time: select a row by its number, move it, delete it, read and
// save strings files. It sends nothing. The list and the input live in
// g_editor for the whole run; the selection and the views start fresh at
// each opening.
#include "app/chrome_win.h"
#include "codec/frame.h"
#include "resources/resource.h"
#include "send/send_format_dialog_win.h"
#include "tools/cell_strip_win.h"
#include "send/preset_list.h"
#include "send/preset_send_win.h"
#include "send/strings_file_win.h"
#include "ui/dialog_look_win.h"
#include "ui/dpi_win.h"
#include "ui/file_chooser_win.h"

namespace {

constexpr UINT_PTR kFocusTimer = 1;
constexpr TypedStripIds kStripIds = {IDC_PE_FIELD, IDC_PE_LEFT, IDC_PE_RIGHT, IDC_PE_MODE_HEAD,
                                     IDC_PE_ASC,   IDC_PE_HEX,  IDC_PE_CLR,   IDC_PE_BS};

struct PresetEditorState {
  TypedInput input;
  TypedField field;
  StringEntry list[kStringsListEntries];
  int32_t first;     // entry shown in row 1: 0 ... 190, steps of 10
  int32_t selected;  // -1 or 0 ... 199
};
PresetEditorState g_editor = {};

int row_top(const StripGeometry& g, int r) { return px(163, g.dpi) + g.pitch * r; }

void layout(HWND dlg) {
  const StripGeometry g = strip_geometry();
  auto at = [&g](int32_t v) { return px(v, g.dpi); };
  const int x0 = typed_strip_layout(dlg, g, kStripIds);
  const int mid = at(40) + 2 * g.h + at(6);
  strip_place(dlg, IDC_PE_ASSEMBLE, at(40), mid, at(100), at(30));
  strip_place(dlg, IDC_PE_FORMAT, at(146), mid, at(130), at(30));
  static const int kValues[6] = {412, 413, 414, 415, 416, 417};
  for (int k = 0; k < 6; k++) {
    strip_place(dlg, 406 + k, at(290 + 90 * k), mid, at(88), at(16));
    strip_place(dlg, kValues[k], at(290 + 90 * k), mid + at(17), at(88), at(16));
  }
  for (int r = 0; r < kPresetRows; r++) strip_place(dlg, IDC_PE_ROW1 + r, 0, row_top(g, r), at(38), 2 * g.h);
  const int bottom = row_top(g, kPresetRows) + at(4);
  static const struct { int id, w; } kBottom[] = {
      {IDC_PE_PAGE_BACK, 120}, {IDC_PE_PAGE_NEXT, 120}, {IDC_PE_DOWN, 40},   {IDC_PE_UP, 40},
      {IDC_PE_DELETE, 110},    {IDC_PE_READ, 90},       {IDC_PE_DELETE_ALL, 100}, {IDC_PE_SAVE, 90}};
  int x = at(40);
  for (const auto& b : kBottom) {
    strip_place(dlg, b.id, x, bottom, at(b.w), at(24));
    x += at(b.w + 6);
  }
  strip_place(dlg, IDC_PE_CLOSE, g.right - at(100), bottom, at(100), at(24));
  strip_fit_window(dlg, x0 + at(190), bottom + at(30));
}

// The row numbers, with the selection marked when `marked` is it.
void relabel(HWND dlg, int32_t marked) {
  for (int r = 0; r < kPresetRows; r++) {
    char16_t label[kPresetLabelUnits];
    preset_row_label(g_editor.first, r, marked, label);
    SetDlgItemTextW(dlg, IDC_PE_ROW1 + r, wide(label));
  }
}

void repaint(HWND dlg) { InvalidateRect(dlg, nullptr, TRUE); }

void paint(HWND dlg) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(dlg, &ps);
  const StripGeometry g = strip_geometry();
  HGDIOBJ old_font = GetCurrentObject(dc, OBJ_FONT);
  typed_strip_paint(dc, g, &g_editor.input, 95, kSlotText);
  strip_heading(dc, px(5, g.dpi), px(130, g.dpi), 71);
  for (int r = 0; r < kPresetRows; r++) {
    const StringEntry& e = g_editor.list[g_editor.first + r];
    strip_row(dc, g, px(40, g.dpi), row_top(g, r), px(152, g.dpi) + g.pitch * r, e.units, e.count, kSlotText);
  }
  SelectObject(dc, old_font);
  EndPaint(dlg, &ps);
}

void focus_field(HWND dlg) { SetFocus(GetDlgItem(dlg, IDC_PE_FIELD)); }

void assemble(HWND dlg) {
  uint8_t frame[kSendMax];
  int32_t length = 0;
  if (frame_assemble(&g_app.settings, &ansi_codec_win, g_editor.input.units, g_editor.input.count, 1, frame,
                     &length) != kFrameOk ||
      preset_list_assemble(g_editor.list, frame, length) == kPresetTooLong) {
    if (length > 0)
      show_texts(dlg, L"Error", {kTextEntryFramedTooLong, kTextEntryLimit}, nullptr, static_cast<int>(length),
                 kEntryUnits);
    return;  // an empty frame adds nothing
  }
  repaint(dlg);
}

// After the list changed under the selection: nothing selected, plain labels.
void drop_selection(HWND dlg) {
  g_editor.selected = -1;
  relabel(dlg, -1);
  repaint(dlg);
}

void on_command(HWND dlg, int id) {
  if (typed_strip_command(dlg, kStripIds, &g_editor.field, id)) return;
  if (id >= IDC_PE_ROW1 && id < IDC_PE_ROW1 + kPresetRows) {
    g_editor.selected = preset_select(g_editor.selected, g_editor.first + id - IDC_PE_ROW1);
    relabel(dlg, g_editor.selected);
    return;
  }
  switch (id) {
    case IDC_PE_CLOSE:
      KillTimer(dlg, kFocusTimer);
      g_app.tool_open[kToolPresetEditor] = 0;
      EndDialog(dlg, IDC_PE_CLOSE);
      break;
    case IDC_PE_ASSEMBLE: assemble(dlg); break;
    case IDC_PE_PAGE_BACK: case IDC_PE_PAGE_NEXT:
      g_editor.first = preset_page(g_editor.first, id == IDC_PE_PAGE_BACK ? -kPresetRows : kPresetRows);
      relabel(dlg, -1);  // the selection stays, unmarked
      repaint(dlg);
      break;
    case IDC_PE_FORMAT:
      send_format_dialog_run(dlg);
      frame_preview_update(dlg);
      repaint(dlg);
      break;
    case IDC_PE_DOWN: case IDC_PE_UP:
      if (preset_list_move(g_editor.list, g_editor.selected, id == IDC_PE_DOWN)) drop_selection(dlg);
      break;
    case IDC_PE_DELETE:
      if (g_editor.selected >= 0 && g_editor.selected < kPresetEntries && strip_ask_delete(dlg)) {
        preset_list_delete(g_editor.list, g_editor.selected);
        drop_selection(dlg);
      }
      break;
    case IDC_PE_READ: {
      wchar_t path[MAX_PATH] = L"";
      if (file_chooser(dlg, kChooseOpenStrings, path) && strings_file_load(dlg, path, 0, g_editor.list) == 0) {
        g_editor.first = 0;  // the list's view starts again at its top
        drop_selection(dlg);
      }
      repaint(dlg);
      break;
    }
    case IDC_PE_DELETE_ALL:
      if (strip_ask_delete(dlg)) {
        preset_list_clear(g_editor.list);
        drop_selection(dlg);
      }
      break;
    case IDC_PE_SAVE: strings_file_save_as(dlg, g_editor.list, kPresetEntries); break;
    default: break;
  }
}

void on_init(HWND dlg) {
  set_dialog_text(dlg, 0, kTextPresetEditorTitle);
  static const struct { int id, text; } kLabels[] = {
      {IDC_PE_MODE_HEAD, kTextEntryMode}, {IDC_PE_ASSEMBLE, kTextAssemble}, {IDC_PE_FORMAT, kTextSendFormat},    {IDC_PE_PAGE_BACK, kTextPageBack},
      {IDC_PE_PAGE_NEXT, kTextPageNext}, {IDC_PE_READ, kTextLoad},     {IDC_PE_DELETE_ALL, kTextDeleteAll}, {IDC_PE_SAVE, kTextSave},
      {IDC_PE_CLOSE, kTextClose}};
  for (const auto& l : kLabels) set_dialog_text(dlg, l.id, l.text);
  g_editor.field.in = &g_editor.input;
  g_editor.field.edit_keys = 1;
  typed_strip_open(dlg, kStripIds, &g_editor.field, 30, 16);
  g_editor.first = 0;
  g_editor.selected = -1;
  relabel(dlg, -1);
  frame_preview_update(dlg);
  SetTimer(dlg, kFocusTimer, 3000, nullptr);
  g_app.send_format_open = 0;
  g_app.tool_open[kToolPresetEditor] = 1;
  layout(dlg);
  dialog_look_init(dlg);
}

INT_PTR CALLBACK preset_editor_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return FALSE;
    case kMessageRescaled:
      layout(dlg);
      InvalidateRect(dlg, nullptr, TRUE);
      return TRUE;
    case WM_COMMAND: on_command(dlg, LOWORD(wp)); return TRUE;
    case WM_TIMER:
      if (wp == kFocusTimer && send_focus_may_return())
        focus_field(dlg);
      return TRUE;
    case WM_PAINT:
      paint(dlg);
      focus_field(dlg);
      return TRUE;
    case WM_CLOSE: on_command(dlg, IDC_PE_CLOSE); return TRUE;
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

}  // namespace

void preset_editor_run(HWND owner) {
  if (g_app.tool_open[kToolPresetEditor] == 1) return;
  DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_PRESET_EDITOR), owner, preset_editor_proc, 0);
  g_app.tool_open[kToolPresetEditor] = 0;
}
