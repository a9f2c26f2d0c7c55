#include "ui/rule_list_win.h"

#include <commctrl.h>

#include "app/app_win.h"
#include "app/chrome_win.h"
#include "settings/message_text.h"

void rule_list_columns(HWND dlg, HWND list, const int* heads, const int* widths, int n, unsigned right) {
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
               LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
  SendMessageW(list, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotBackground)));
  SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotBackground)));
  SendMessageW(list, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(slot_color(kSlotText)));
  for (int c = 0; c < n; c++) {
    wchar_t head[kMessageTextUnits] = L"";
    get_text(heads[c], head);
    RECT r = {0, 0, widths[c], 8};
    MapDialogRect(dlg, &r);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM | LVCF_FMT;
    column.fmt = (right >> c & 1u) ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = r.right;
    column.pszText = head;
    column.iSubItem = c;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
  }
}

void rule_list_set_cell(HWND list, int row, int column, const wchar_t* text) {
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(text);
  SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void rule_list_fill(HWND list, int rows, int select, void (*show)(int row)) {
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  for (int r = 0; r < rows; r++) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = r;
    item.pszText = const_cast<wchar_t*>(L"");
    SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    show(r);
  }
  if (select >= 0 && select < rows) {
    ListView_SetItemState(list, select, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list, select, FALSE);
  }
}

int rule_list_selected(HWND list) {
  return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}
