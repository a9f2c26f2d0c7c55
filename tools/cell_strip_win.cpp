#include "tools/cell_strip_win.h"

#include "app/chrome_win.h"
#include "codec/convert.h"
#include "resources/resource.h"
#include "view/fonts_win.h"

StripGeometry strip_geometry() {
  StripGeometry g;
  g.w = g_app.metrics.big_w;
  g.h = g_app.metrics.big_h;
  g.s = g_app.metrics.small_h;
  g.dpi = g_app.metrics.dpi;
  g.cell = 2 * g.w;
  g.pitch = g.s + 2 * g.h + px(5, g.dpi);
  g.right = px(40, g.dpi) + g.cell * kStripCells;
  return g;
}

void strip_grid(HDC dc, const StripGeometry& g, int x, int y) {
  for (int i = 0; i < kStripCells; i++) {
    const int left = x + g.cell * i, odd = i & 1;
    RECT ch = {left, y, left + g.cell, y + g.h}, hx = {left, y + g.h, left + g.cell, y + 2 * g.h};
    FillRect(dc, &ch, g_brush[odd ? kSlotAscBack1 : kSlotAscBack2]);
    FillRect(dc, &hx, g_brush[odd ? kSlotHexBack1 : kSlotHexBack2]);
  }
}

void strip_cells(HDC dc, const StripGeometry& g, int x, int y, const char16_t* units, int count, int text_slot) {
  SelectObject(dc, g_font_big);
  SetBkMode(dc, OPAQUE);
  SetTextColor(dc, slot_color(text_slot));
  for (int i = 0; i < count && i < kStripCells; i++) {
    const int left = x + g.cell * i, odd = i & 1;
    CellTexts t;
    cell_texts(&ansi_codec_win, &units[i], 1, &t);
    SetBkColor(dc, slot_color(odd ? kSlotAscBack1 : kSlotAscBack2));
    TextOutW(dc, left + (t.display_len == 1 ? g.w / 2 : 0), y, wide(t.display), t.display_len);
    SetBkColor(dc, slot_color(odd ? kSlotHexBack1 : kSlotHexBack2));
    TextOutW(dc, left, y + g.h, wide(t.hex), 2);
  }
}

void strip_column_numbers(HDC dc, const StripGeometry& g, int x, int y, int first, int count) {
  SelectObject(dc, g_font_small);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, slot_color(kSlotText));
  for (int i = 0; i < count && i < kStripCells; i++) {
    wchar_t n[12];
    int len = _snwprintf(n, 12, L"%03d", first + i);
    TextOutW(dc, x + g.cell * i, y, n, len);
  }
}

void strip_row(HDC dc, const StripGeometry& g, int x, int y, int numbers_y, const char16_t* units, int count,
               int text_slot) {
  strip_grid(dc, g, x, y);
  if (count <= 0) return;
  const int shown = count < kStripCells ? count : kStripCells;  // units past the 64th are not shown
  strip_column_numbers(dc, g, x, numbers_y, 0, shown);
  strip_cells(dc, g, x, y, units, shown, text_slot);
}

void strip_heading(HDC dc, int x, int y, int n) {
  wchar_t text[kMessageTextUnits] = L"";
  get_text(n, text);
  SelectObject(dc, g_font_small);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, slot_color(kSlotText));
  TextOutW(dc, x, y, text, lstrlenW(text));
}

void strip_place(HWND dlg, int id, int x, int y, int w, int h) {
  HWND c = GetDlgItem(dlg, id);
  if (c) SetWindowPos(c, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void strip_fit_window(HWND dlg, int w, int h) {
  RECT want = {0, 0, w, h};
  AdjustWindowRectEx(&want, static_cast<DWORD>(GetWindowLongPtrW(dlg, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(dlg, GWL_EXSTYLE)));
  SetWindowPos(dlg, nullptr, 0, 0, want.right - want.left, want.bottom - want.top, SWP_NOMOVE | SWP_NOZORDER);
}

int strip_ask_delete(HWND dlg) {
  wchar_t caption[kMessageTextUnits] = L"";
  get_text(kTextConfirmDeleteCaption, caption);
  return show_message(dlg, kTextDeleteAsk, 1, caption) == IDYES;
}

#include "codec/checksum.h"

namespace {

void typed_backspace(HWND dlg, TypedField* f) {
  const int had = f->in->count > 0;
  typed_input_backspace(f->in);
  if (had || !f->repaint_each_key) InvalidateRect(dlg, nullptr, TRUE);
}

LRESULT CALLBACK typed_field_proc(HWND field, UINT msg, WPARAM wp, LPARAM lp) {
  TypedField* f = reinterpret_cast<TypedField*>(GetWindowLongPtrW(field, GWLP_USERDATA));
  HWND dlg = GetParent(field);
  switch (msg) {
    case WM_KEYDOWN:
      if (f->edit_keys && wp == VK_BACK) {
        typed_backspace(dlg, f);
      } else if (f->edit_keys && wp == VK_DELETE) {
        typed_input_clear(f->in);
        InvalidateRect(dlg, nullptr, TRUE);
      }
      return 0;  // the characters still arrive, and are taken at key-up
    case WM_KEYUP: {
      wchar_t typed[kInputUnits + 1] = L"";
      GetWindowTextW(field, typed, kInputUnits + 1);
      SetWindowTextW(field, L"");
      const int room = f->in->count < kInputUnits;
      const int added = typed_input_take(f->in, reinterpret_cast<const char16_t*>(typed), lstrlenW(typed));
      if (f->repaint_each_key ? (typed[0] && room) : (added || f->in->entry.state == kEntryHexSecond))
        InvalidateRect(dlg, nullptr, TRUE);
      return 0;
    }
    default: return CallWindowProcW(f->proc, field, msg, wp, lp);
  }
}

}  // namespace

HWND typed_field_create(HWND dlg, int id, int w, int h, TypedField* f) {
  const int32_t dpi = g_app.metrics.dpi;
  HWND field = CreateWindowExW(0, L"EDIT", L"",
                               WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL,
                               px(5, dpi), px(5, dpi), px(w, dpi), px(h, dpi), dlg, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_instance, nullptr);
  if (!field) return nullptr;
  SetWindowLongPtrW(field, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(f));
  f->proc =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(typed_field_proc)));
  return field;
}

void typed_strip_open(HWND dlg, const TypedStripIds& ids, TypedField* f, int w, int h) {
  typed_field_create(dlg, ids.field, w, h, f);
  hex_entry_set_mode(&f->in->entry, 0);
  CheckRadioButton(dlg, ids.asc, ids.hex, ids.asc);
  f->in->user_scrolled = 0;
  f->in->view_offset = 0;
}

int typed_strip_layout(HWND dlg, const StripGeometry& g, const TypedStripIds& ids) {
  auto at = [&g](int32_t v) { return px(v, g.dpi); };
  const int x0 = g.right + at(8);
  strip_place(dlg, ids.left, x0, at(22), at(30), at(22));
  strip_place(dlg, ids.right, x0 + at(34), at(22), at(30), at(22));
  strip_place(dlg, ids.mode_head, x0 + at(70), at(4), at(120), at(16));
  strip_place(dlg, ids.asc, x0 + at(70), at(22), at(55), at(18));
  strip_place(dlg, ids.hex, x0 + at(128), at(22), at(55), at(18));
  strip_place(dlg, ids.clr, x0, at(50), at(48), at(22));
  strip_place(dlg, ids.bs, x0 + at(52), at(50), at(48), at(22));
  return x0;
}

int typed_strip_command(HWND dlg, const TypedStripIds& ids, TypedField* f, int id) {
  TypedInput* in = f->in;
  if (id == ids.bs) {
    typed_backspace(dlg, f);
    return 1;
  }
  if (id == ids.left || id == ids.right) {
    typed_input_scroll(in, id == ids.left ? -1 : 1);
  } else if (id == ids.clr) {
    typed_input_clear(in);
  } else if (id == ids.asc || id == ids.hex) {
    hex_entry_set_mode(&in->entry, id == ids.hex);
    wchar_t caption[kMessageTextUnits] = L"";
    get_text(kTextInputMethod, caption);
    show_message(dlg, id == ids.hex ? kTextHexInputHelp : kTextAscInputHelp, 0, caption);
  } else {
    return 0;
  }
  InvalidateRect(dlg, nullptr, TRUE);
  return 1;
}

void typed_strip_paint(HDC dc, const StripGeometry& g, TypedInput* in, int title, int text_slot) {
  const int x = px(40, g.dpi), y = px(40, g.dpi);
  strip_grid(dc, g, x, y);
  wchar_t text[kMessageTextUnits] = L"";
  SelectObject(dc, g_font_big);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, slot_color(kSlotText));
  get_text(title, text);
  TextOutW(dc, x, px(5, g.dpi), text, lstrlenW(text));
  SelectObject(dc, g_font_small);
  for (int mode = 0; mode < 2; mode++) {
    const int active = (in->entry.state == kEntryAsc) == (mode == 0);
    SetBkMode(dc, active ? OPAQUE : TRANSPARENT);
    SetBkColor(dc, slot_color(kSlotAscHexBack));
    SetTextColor(dc, slot_color(kSlotAscHexText));
    text[0] = 0;
    get_text(mode == kTextNone ? kTextAscInput : kTextHexInput, text);
    TextOutW(dc, 0, px(mode == 0 ? 45 : 65, g.dpi), text, lstrlenW(text));
  }
  const int32_t offset = typed_input_view(in);
  strip_column_numbers(dc, g, x, px(25, g.dpi), offset, kStripCells);
  const int shown = in->count - offset < kStripCells ? in->count - offset : kStripCells;
  if (shown > 0) strip_cells(dc, g, x, y, in->units + offset, shown, text_slot);
  if (in->entry.state == kEntryHexSecond && shown >= 0 && shown < kStripCells) {
    SelectObject(dc, g_font_big);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, slot_color(text_slot));
    wchar_t digit = static_cast<wchar_t>(in->entry.pending);
    TextOutW(dc, x + g.cell * shown, y + g.h, &digit, 1);
  }
}

void frame_preview_update(HWND dlg) {
  static const int kHeadings[6] = {kTextStartChar, kTextHeader,   kTextInputData,
                                   kTextEndChar,   kTextChecksum, kTextTerminator};
  for (int k = 0; k < 6; k++) set_dialog_text(dlg, IDC_IN_PREVIEW_HEAD + k, kHeadings[k]);
  const Settings& s = g_app.settings;
  wchar_t none[kMessageTextUnits] = L"", text[64];
  get_text(kTextNone, none);
  _snwprintf(text, 64, L"%02X", s.rs_stchar);
  SetDlgItemTextW(dlg, IDC_IN_PREVIEW_START, s.rs_stchar_on ? text : none);
  SetDlgItemTextW(dlg, IDC_IN_PREVIEW_HEADER, s.rs_hdchar_on ? wide(s.rs_hdchar) : none);
  _snwprintf(text, 64, L"%02X", s.rs_spchar);
  SetDlgItemTextW(dlg, IDC_IN_PREVIEW_END, s.rs_spchar_on ? text : none);
  _snwprintf(text, 64, L"%ls/%ls", wide(checksum_kind_name(s.rs_scchar_mode)),
             wide(checksum_form_name(s.rs_scchar_type)));
  SetDlgItemTextW(dlg, IDC_IN_PREVIEW_SUM, s.rs_scchar_on ? text : none);
  _snwprintf(text, 64, L"%02X", s.rs_endchar);
  SetDlgItemTextW(dlg, IDC_IN_PREVIEW_TERM, s.rs_endchar_on == 1 ? text : s.rs_endchar_on == 3 ? L"0D0A" : none);
}
