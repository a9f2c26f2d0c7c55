// The send format dialog (119, modal): the six elements of the frame, what
// the checksum covers, its kind and form. The rules of what it shows and how
// it reads back live in codec/frame.cpp; this procedure moves them to and
// from the controls.
#include "app/app_win.h"
#include "codec/checksum.h"
#include "codec/frame.h"
#include "resources/resource.h"
#include "send/send_format_dialog_win.h"
#include "ui/dialog_look_win.h"

namespace {

void fill(HWND dlg) {
  static const int kHeadings[6] = {kTextStartChar, kTextHeader,   kTextInputData,
                                   kTextEndChar,   kTextChecksum, kTextTerminator};
  static const int kNotes[4] = {kTextFormatNoteHex, kTextFormatNoteExample, kTextFormatNoteRange,
                                kTextFormatNoteAdjacent};
  for (int k = 0; k < 6; k++) {
    set_dialog_text(dlg, IDC_SF_HEAD + k, kHeadings[k]);
    set_dialog_text(dlg, IDC_SF_ON_START + k, kTextEnabled);
  }
  for (int k = 0; k < 4; k++) set_dialog_text(dlg, IDC_SF_NOTE + k, kNotes[k]);
  set_dialog_text(dlg, 0, kTextSendFormat);
  set_dialog_text(dlg, IDC_SF_CLOSE, kTextClose);

  SendFormatForm f;
  send_format_form_fill(&g_app.settings, &f);
  const int on[6] = {f.start_on, f.header_on, 1, f.end_on, f.checksum_on, f.terminator_on};
  const int in[4] = {f.start_in_range, f.header_in_range, 1, f.end_in_range};
  for (int k = 0; k < 6; k++) CheckDlgButton(dlg, IDC_SF_ON_START + k, on[k] ? BST_CHECKED : BST_UNCHECKED);
  for (int k = 0; k < 4; k++) CheckDlgButton(dlg, IDC_SF_IN_START + k, in[k] ? BST_CHECKED : BST_UNCHECKED);
  CheckRadioButton(dlg, IDC_SF_ASC, IDC_SF_HEX, f.hex_form ? IDC_SF_HEX : IDC_SF_ASC);
  SetDlgItemTextW(dlg, IDC_SF_START, wide(f.start));
  SetDlgItemTextW(dlg, IDC_SF_HEADER, wide(f.header));
  SetDlgItemTextW(dlg, IDC_SF_END, wide(f.end));
  SetDlgItemTextW(dlg, IDC_SF_TERM, wide(f.terminator));
  HWND combo = GetDlgItem(dlg, IDC_SF_KIND);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (int k = 0; k < 4; k++) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(checksum_kind_name(k))));
  SendMessageW(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide(f.kind)));
  EnableWindow(GetDlgItem(dlg, IDC_SF_ON_START + 2), FALSE);
  EnableWindow(GetDlgItem(dlg, IDC_SF_IN_START + 2), FALSE);
  SendDlgItemMessageW(dlg, IDC_SF_HEADER, EM_LIMITTEXT, kHeaderTextUnits, 0);
}

void apply(HWND dlg) {
  SendFormatForm f = {};
  auto checked = [&](int id) { return IsDlgButtonChecked(dlg, id) == BST_CHECKED ? 1 : 0; };
  f.start_on = checked(IDC_SF_ON_START);
  f.header_on = checked(IDC_SF_ON_START + 1);
  f.end_on = checked(IDC_SF_ON_START + 3);
  f.checksum_on = checked(IDC_SF_ON_START + 4);
  f.terminator_on = checked(IDC_SF_ON_START + 5);
  f.start_in_range = checked(IDC_SF_IN_START);
  f.header_in_range = checked(IDC_SF_IN_START + 1);
  f.end_in_range = checked(IDC_SF_IN_START + 3);
  f.hex_form = checked(IDC_SF_HEX);
  GetDlgItemTextW(dlg, IDC_SF_START, wide(f.start), kFormByteTextUnits);
  GetDlgItemTextW(dlg, IDC_SF_HEADER, wide(f.header), kHeaderTextUnits + 1);
  GetDlgItemTextW(dlg, IDC_SF_END, wide(f.end), kFormByteTextUnits);
  GetDlgItemTextW(dlg, IDC_SF_TERM, wide(f.terminator), kFormByteTextUnits);
  GetDlgItemTextW(dlg, IDC_SF_KIND, wide(f.kind), 16);
  send_format_form_apply(&f, &g_app.settings);
}

INT_PTR CALLBACK send_format_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  INT_PTR result = 0;
  switch (msg) {
    case WM_INITDIALOG:
      fill(dlg);
      g_app.send_format_open = 1;
      dialog_look_init(dlg);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) != IDC_SF_CLOSE) return FALSE;
      apply(dlg);
      g_app.send_format_open = 0;
      EndDialog(dlg, IDC_SF_CLOSE);
      return TRUE;
    case WM_CLOSE:  // the close box drops what was changed
      g_app.send_format_open = 0;
      EndDialog(dlg, 1);
      return TRUE;
    default:
      if (dialog_look(dlg, msg, wp, lp, &result)) return result;
      return FALSE;
  }
}

}  // namespace

void send_format_dialog_run(HWND owner) {
  DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_SEND_FORMAT), owner, send_format_proc, 0);
}
