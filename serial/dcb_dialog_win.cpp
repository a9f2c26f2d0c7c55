// The DCB and timeouts dialog (112, modal): every field of one open
// channel's device control block and time-outs, shown from the port, edited
// one by one and written back on OK; "初期状態" writes the standard state
// "9600,8,n,1,off" at once. The channel is the one dcb_dialog_run names. How each
// field is shown and read is serial/dcb_fields.h.
#include "app/app_win.h"

#include <cwchar>

#include "resources/resource.h"
#include "serial/dcb_fields.h"
#include "serial/dcb_win.h"
#include "serial/port_win.h"
#include "ui/dialog_look_win.h"

namespace {

int g_dcb_channel;  // the channel of the open dialog: 0 CH1, 1 CH2
int dcb_channel() { return g_dcb_channel; }

void dcb_set_texts(HWND dlg) {
  const wchar_t* title = dcb_channel() == 0 ? L"DCB&TIME_Setting for CH1" : L"DCB&TIME_Setting for CH2";
  SetWindowTextW(dlg, title);
  set_dialog_text(dlg, IDC_DCB_CANCEL, kTextCancel);
  set_dialog_text(dlg, IDC_DCB_STANDARD, kTextStandardState);
}

// Reads the port into the channel's records and shows them. A read that
// fails leaves the records as they were.
void dcb_fill(HWND dlg) {
  Channel& c = g_channel[dcb_channel()];
  dcb_set_texts(dlg);
  c.dcb.DCBlength = sizeof(DCB);
  if (!c.net) GetCommState(c.port, &c.dcb);  // a network link's DCB is the record itself
  channel_get_timeouts(&c);
  LineDcb r;
  LineTimeouts t;
  line_dcb_from_win(c.dcb, &r);
  line_timeouts_from_win(c.timeouts, &t);
  for (const DcbCheck& k : kDcbCheck) CheckDlgButton(dlg, k.id, (r.flags & k.bit) ? BST_CHECKED : BST_UNCHECKED);
  for (int i = 0; i < kDcbFields; i++) {
    char16_t text[kDcbTextUnits];
    dcb_field_show(i, &r, &t, text);
    SetDlgItemTextW(dlg, kDcbField[i].id, wide(text));
  }
}

// The port may have gone (timer 2 closes a vanished one) while the dialog
// was open: then nothing is written and the dialog ends.
int dcb_port_gone(HWND dlg) {
  if (channel_is_open(dcb_channel())) return 0;
  wchar_t caption[kMessageTextUnits] = L"";
  get_text(kTextMessageCaption, caption);
  show_message(dlg, kTextChannelNotOpen, 0, caption);
  EndDialog(dlg, IDC_DCB_CANCEL);
  return 1;
}

// Writes the channel's DCB record and the time-outs `t` to the port; 0, or
// 1 after telling the user (the dialog then shows what the port kept).
int dcb_write(HWND dlg, const COMMTIMEOUTS& t, const DCB& before) {
  Channel& c = g_channel[dcb_channel()];
  // A COM port takes the DCB; a link over RFC 2217 sends speed, bits,
  // parity, stop bits and flow to its server.
  const DWORD error = channel_link(dcb_channel())->apply_line(dcb_channel());
  if (error) {
    show_error(dlg, L"SetCommState", L"DCB Error No.%d", static_cast<int>(error));
    dcb_fill(dlg);
    return 1;
  }
  if (!channel_set_timeouts(&c, t)) {
    show_error(dlg, L"SetCommTimeouts", L"Timeout Error No.%d", static_cast<int>(GetLastError()));
    dcb_fill(dlg);
    return 1;
  }
  // Speed, bits, parity or flow changed: the capture says so.
  if (dcb_line_differs(before, c.dcb)) channel_event(dcb_channel(), kEventSettings, c.dcb.BaudRate);
  return 0;
}

void dcb_ok(HWND dlg) {
  if (dcb_port_gone(dlg)) return;
  Channel& c = g_channel[dcb_channel()];
  const DCB before = c.dcb;
  uint8_t checked[kDcbChecks];
  for (int i = 0; i < kDcbChecks; i++) checked[i] = IsDlgButtonChecked(dlg, kDcbCheck[i].id) == BST_CHECKED;
  char16_t text[kDcbFields][kDcbTextUnits];
  const char16_t* texts[kDcbFields];
  for (int i = 0; i < kDcbFields; i++) {
    GetDlgItemTextW(dlg, kDcbField[i].id, wide(text[i]), kDcbTextUnits);
    texts[i] = text[i];
  }
  LineDcb r;
  LineTimeouts t;
  line_dcb_from_win(c.dcb, &r);
  line_timeouts_from_win(c.timeouts, &t);
  int bad = dcb_form_read(checked, texts, &r, &t);
  if (bad >= 0) {
    // Nothing is written: say which field is wrong and put the caret there.
    char16_t low[24], high[24];
    dcb_field_range(bad, low, high);
    wchar_t name[40];
    MultiByteToWideChar(CP_ACP, 0, kDcbField[bad].name, -1, name, 40);
    show_texts(dlg, L"Quorrin", {kDcbField[bad].kind == kDcbHexByte ? kTextNotHexNumber : kTextNotNumber}, nullptr,
               name, wide(text[bad]), wide(low), wide(high));
    HWND edit = GetDlgItem(dlg, kDcbField[bad].id);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    return;
  }
  line_dcb_to_win(r, &c.dcb);
  COMMTIMEOUTS written = c.timeouts;
  line_timeouts_to_win(t, &written);
  if (dcb_write(dlg, written, before)) return;
  EndDialog(dlg, IDC_DCB_OK);
}

void dcb_standard(HWND dlg) {
  if (dcb_port_gone(dlg)) return;
  Channel& c = g_channel[dcb_channel()];
  const DCB before = c.dcb;
  LineDcb r;
  LineTimeouts t;
  line_dcb_from_win(c.dcb, &r);
  line_timeouts_from_win(c.timeouts, &t);
  dcb_standard_state(&r, &t);
  line_dcb_to_win(r, &c.dcb);
  COMMTIMEOUTS written = c.timeouts;
  line_timeouts_to_win(t, &written);
  if (dcb_write(dlg, written, before)) return;
  dcb_fill(dlg);
}

INT_PTR CALLBACK dcb_dialog_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      for (const DcbField& f : kDcbField) SendDlgItemMessageW(dlg, f.id, EM_LIMITTEXT, kDcbTextUnits - 3, 0);
      dcb_fill(dlg);
      dialog_look_init(dlg);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDC_DCB_OK: dcb_ok(dlg); return TRUE;
        case IDC_DCB_CANCEL: EndDialog(dlg, IDC_DCB_CANCEL); return TRUE;
        case IDC_DCB_STANDARD: dcb_standard(dlg); return TRUE;
        default: return FALSE;
      }
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

}  // namespace

int dcb_dialog_run(HWND owner, int ch) {
  g_dcb_channel = ch == 1 ? 1 : 0;
  return static_cast<int>(DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_DCB), owner, dcb_dialog_proc, 0));
}
