// The port number dialog (111, modal): each channel's port chosen from a
// list of the system's serial ports or typed as a number, or typed as a
// network address (which then takes the channel's place), line monitor mode,
// "再読込" to build the lists again, and Device Manager with administrator
// rights. A port chosen in a list is taken into the settings at once; the
// typed numbers and line monitor mode are taken by OK after its checks.
// Which devices are listed and how an entry reads is serial/port_list.h.
#include "app/app_win.h"

#include <setupapi.h>
#include <shellapi.h>

#include "resources/resource.h"
#include "serial/port_list.h"
#include "serial/presence_win.h"
#include "ui/dialog_look_win.h"

namespace {


// The setup class of serial and parallel ports.
const GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// Made while the lists are built; too large for the stack.
PresentPorts g_present;
PortList g_list;

int32_t* port_number(int ch) { return &g_app.settings.port[ch].rs_comport; }

void present_add(void* ctx, const char16_t* data) { present_ports_add(static_cast<PresentPorts*>(ctx), data); }

// The system's serial port list; stays empty when it cannot be read.
void present_ports_read(PresentPorts* set) {
  present_ports_clear(set);
  serial_comm_each(present_add, set);
}

// Offers every present device of the Ports class to the list.
void port_devices_offer(PortList* list, const PresentPorts* present, const int32_t numbers[2]) {
  HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA info = {};
  info.cbSize = sizeof info;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); i++) {
    wchar_t friendly[256] = {};
    DWORD type = 0;
    // 255 characters at most, so the name always ends in a NUL.
    if (!SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_FRIENDLYNAME, &type, reinterpret_cast<BYTE*>(friendly),
                                           255 * sizeof(wchar_t), nullptr))
      continue;
    port_list_offer(list, present, reinterpret_cast<char16_t*>(friendly), numbers);
  }
  SetupDiDestroyDeviceInfoList(set);
}

void show_number(HWND dlg, int ch) {
  wchar_t text[kMessageTextUnits] = L"";
  if (*port_number(ch) != 0) _snwprintf(text, kMessageTextUnits, L"%d", *port_number(ch));
  else get_text(kTextNone, text);
  SetDlgItemTextW(dlg, IDC_PN_NUMBER1 + ch, text);
}

// The list's edit field shows message text 0 (the first entry).
void combo_show_none(HWND dlg, int ch) { SendDlgItemMessageW(dlg, IDC_PN_LIST1 + ch, CB_SETCURSEL, 0, 0); }

// Channel ch's network address as the settings have it; empty for a COM port.
void show_address(HWND dlg, int ch) {
  wchar_t text[kPortAddressUnits] = L"";
  if (channel_is_net(ch)) port_address_format(g_app.address[ch], reinterpret_cast<char16_t*>(text), kPortAddressUnits);
  SetDlgItemTextW(dlg, IDC_PN_ADDRESS1 + ch, text);
}

// Channel ch's address field as typed, and 1 when it holds only blanks
// (the channel has no address).
int address_field(HWND dlg, int ch, wchar_t text[kPortAddressUnits + 1]) {
  text[0] = 0;
  GetDlgItemTextW(dlg, IDC_PN_ADDRESS1 + ch, text, kPortAddressUnits + 1);
  int blank = 1;
  for (const wchar_t* p = text; *p; p++) blank = blank && (*p == L' ' || *p == L'\t');
  return blank;
}

// An address in channel ch's field wins over its COM number: the number
// is greyed while there is one.
void address_changed(HWND dlg, int ch) {
  wchar_t text[kPortAddressUnits + 1];
  EnableWindow(GetDlgItem(dlg, IDC_PN_NUMBER1 + ch), address_field(dlg, ch, text));
}

void port_dialog_build(HWND dlg) {
  set_dialog_text(dlg, IDC_PN_NOTE, kTextPortAddressNote);
  for (int ch = 0; ch < 2; ch++) show_address(dlg, ch);
  for (int ch = 0; ch < 2; ch++) address_changed(dlg, ch);
  set_dialog_text(dlg, IDC_PN_RELOAD, kTextReload);
  set_dialog_text(dlg, IDC_PN_DEVICE_MANAGER, kTextDeviceManager);
  for (int ch = 0; ch < 2; ch++) show_number(dlg, ch);
  wchar_t none[kMessageTextUnits] = L"";
  get_text(kTextNone, none);
  for (int ch = 0; ch < 2; ch++) {
    SendDlgItemMessageW(dlg, IDC_PN_LIST1 + ch, CB_RESETCONTENT, 0, 0);
    SendDlgItemMessageW(dlg, IDC_PN_LIST1 + ch, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(none));
  }
  int32_t numbers[2] = {*port_number(0), *port_number(1)};
  present_ports_read(&g_present);
  port_list_begin(&g_list, numbers);
  port_devices_offer(&g_list, &g_present, numbers);
  for (int i = 0; i < g_list.count; i++)
    for (int ch = 0; ch < 2; ch++)
      SendDlgItemMessageW(dlg, IDC_PN_LIST1 + ch, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(g_list.entry[i]));
  for (int ch = 0; ch < 2; ch++) {
    int chosen = g_list.chosen[ch];
    if (chosen >= 0) SendDlgItemMessageW(dlg, IDC_PN_LIST1 + ch, CB_SETCURSEL, chosen + 1, 0);
    else if (chosen == kChosenNone) combo_show_none(dlg, ch);
    else SetDlgItemTextW(dlg, IDC_PN_LIST1 + ch, L"");  // the port is not among the devices
  }
  set_dialog_text(dlg, IDC_PN_MONITOR, kTextLineMonitorMode);
  CheckDlgButton(dlg, IDC_PN_MONITOR, settings_line_monitor(&g_app.settings) ? BST_CHECKED : BST_UNCHECKED);
}

// A port chosen (`selected` 1) or typed (0) in channel ch's list. Typed text
// is left as typed in its own field, so the user can go on typing.
void port_combo_changed(HWND dlg, int ch, int selected) {
  HWND combo = GetDlgItem(dlg, IDC_PN_LIST1 + ch);
  wchar_t text[kPortEntryUnits] = L"";
  if (selected) {
    // The edit field still holds the old text while the selection changes.
    LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    LRESULT len = index == CB_ERR ? CB_ERR : SendMessageW(combo, CB_GETLBTEXTLEN, index, 0);
    if (len == CB_ERR || len >= kPortEntryUnits) return;
    SendMessageW(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
  } else {
    GetWindowTextW(combo, text, 256);
  }
  int32_t numbers[2] = {*port_number(0), *port_number(1)};
  int same = port_choice_take(numbers, ch, port_number_of_choice(reinterpret_cast<char16_t*>(text)));
  *port_number(0) = numbers[0];
  *port_number(1) = numbers[1];
  // A COM port chosen in the list replaces the channel's network address.
  if (selected && numbers[ch] != 0) SetDlgItemTextW(dlg, IDC_PN_ADDRESS1 + ch, L"");
  if (same) show_message(dlg, kTextSamePortTwice, 0, L"Quorrin");
  for (int other = 0; other < 2; other++) {
    show_number(dlg, other);
    if (numbers[other] == 0 && (selected || other != ch)) combo_show_none(dlg, other);
  }
}

// Reads the address fields: 0 with addresses[ch] (kind kPortCom where the
// field is empty), or 1 after telling the user which one does not read
// and putting the caret there.
int port_dialog_addresses(HWND dlg, PortAddress addresses[2]) {
  for (int ch = 0; ch < 2; ch++) {
    addresses[ch] = PortAddress{};
    wchar_t text[kPortAddressUnits + 1];
    if (address_field(dlg, ch, text)) continue;
    int reason = 0;
    if (port_address_parse(reinterpret_cast<char16_t*>(text), &addresses[ch], &reason)) {
      show_texts(dlg, L"Quorrin", {kTextPortAddressInvalid, port_address_reason_text(reason)}, nullptr, ch + 1);
      HWND edit = GetDlgItem(dlg, IDC_PN_ADDRESS1 + ch);
      SetFocus(edit);
      SendMessageW(edit, EM_SETSEL, 0, -1);
      return 1;
    }
  }
  if (addresses[0].kind != kPortCom && port_address_equal(addresses[0], addresses[1])) {
    show_message(dlg, kTextSamePortTwice, 0, L"Quorrin");
    return 1;
  }
  return 0;
}

void port_dialog_ok(HWND dlg) {
  PortAddress addresses[2];
  if (port_dialog_addresses(dlg, addresses)) return;
  int32_t numbers[2];
  for (int ch = 0; ch < 2; ch++) {
    wchar_t text[4] = L"";  // three characters, as the edits take
    GetDlgItemTextW(dlg, IDC_PN_NUMBER1 + ch, text, 4);
    numbers[ch] = port_number_of_edit(reinterpret_cast<char16_t*>(text));
    // COMn typed as an address is that COM port.
    if (addresses[ch].kind == kPortCom && addresses[ch].com) numbers[ch] = addresses[ch].com;
  }
  g_app.settings.lm_mode = IsDlgButtonChecked(dlg, IDC_PN_MONITOR) == BST_CHECKED ? 1 : 0;
  // A channel with a network address needs no COM number; line monitor
  // mode needs a port on both channels, of either kind.
  const int net[2] = {addresses[0].kind != kPortCom, addresses[1].kind != kPortCom};
  PortCheck check = port_dialog_check(numbers, net[0] || net[1] ? 0 : g_app.settings.lm_mode);
  if (check == kPortCheckOk && g_app.settings.lm_mode && (net[0] || net[1]) &&
      !((net[0] || numbers[0]) && (net[1] || numbers[1])))
    check = kPortCheckMonitorBoth;
  *port_number(0) = numbers[0];
  *port_number(1) = numbers[1];
  for (int ch = 0; ch < 2; ch++) {
    g_app.address[ch] = net[ch] ? addresses[ch] : PortAddress{};
    g_app.port_for_run[ch] = 0;  // the user's choice goes to the settings file
  }
  switch (check) {
    case kPortCheckOk: EndDialog(dlg, IDC_PN_OK); return;
    case kPortCheckSame:
      show_message(dlg, kTextSamePortTwice, 0, L"Quorrin");
      combo_show_none(dlg, 1);
      break;
    case kPortCheckRangeCh1: show_message(dlg, kTextPortNumberRange, 0, L"Quorrin:CH1"); break;
    case kPortCheckRangeCh2: show_message(dlg, kTextPortNumberRange, 0, L"Quorrin:CH2"); break;
    case kPortCheckMonitorBoth: show_message(dlg, kTextMonitorNeedsBothPorts, 0, L"Quorrin"); break;
  }
  // The dialog stays, showing the numbers as they now are.
  for (int ch = 0; ch < 2; ch++) show_number(dlg, ch);
}

void device_manager_start(HWND dlg) {
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = dlg;
  info.lpVerb = L"runas";
  info.lpFile = L"devmgmt.msc";
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) {
    show_texts(dlg, L"Error", {kTextAdminStartFailed}, nullptr, L"devmgmt.msc");
  }
}

INT_PTR CALLBACK port_dialog_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      // What the edit shows is what OK reads: three characters.
      for (int ch = 0; ch < 2; ch++) SendDlgItemMessageW(dlg, IDC_PN_NUMBER1 + ch, EM_LIMITTEXT, 3, 0);
      for (int ch = 0; ch < 2; ch++)
        SendDlgItemMessageW(dlg, IDC_PN_ADDRESS1 + ch, EM_LIMITTEXT, kPortAddressUnits - 1, 0);
      port_dialog_build(dlg);
      dialog_look_init(dlg);
      return TRUE;
    case WM_COMMAND: {
      int id = LOWORD(wp);
      if ((id == IDC_PN_ADDRESS1 || id == IDC_PN_ADDRESS1 + 1) && HIWORD(wp) == EN_CHANGE) {
        address_changed(dlg, id - IDC_PN_ADDRESS1);
        return TRUE;
      }
      if (id == IDC_PN_LIST1 || id == IDC_PN_LIST1 + 1) {
        if (HIWORD(wp) == CBN_SELCHANGE) port_combo_changed(dlg, id - IDC_PN_LIST1, 1);
        else if (HIWORD(wp) == CBN_EDITCHANGE) port_combo_changed(dlg, id - IDC_PN_LIST1, 0);
        return TRUE;
      }
      switch (id) {
        case IDC_PN_OK: port_dialog_ok(dlg); return TRUE;
        case IDC_PN_RELOAD: port_dialog_build(dlg); return TRUE;
        case IDC_PN_DEVICE_MANAGER: device_manager_start(dlg); return TRUE;
        default: return FALSE;
      }
    }
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

}  // namespace

int port_dialog_run(HWND owner) {
  return static_cast<int>(DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_PORT_NUMBER), owner, port_dialog_proc, 0));
}
