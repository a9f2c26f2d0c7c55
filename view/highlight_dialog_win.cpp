// The Highlight Rules dialog (133, command 189), modal: it edits a copy of
// the rules in force; OK puts the copy in force, writes highlights.txt and
// paints the view again, Cancel forgets it. The list's check boxes switch
// rules on and off; the matches column counts each rule's finds among the
// records on the screen; a sample typed below says whether the pattern in
// the fields finds something in it.
#include "view/highlight_win.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cwchar>

#include "codec/convert.h"
#include "resources/resource.h"
#include "settings/message_text.h"
#include "ui/dialog_look_win.h"
#include "ui/rule_list_win.h"
#include "view/data_view_win.h"

namespace {

constexpr int kColumns = 6;  // colour, form, channel, direction, pattern, matches
constexpr char kForms[] = "SHTtFQE";  // in the form list's order

struct HighlightDialog {
  HWND list;
  HighlightRules rules;  // the copy being edited
  int32_t matches[kHighlightRules];
  int32_t filling;       // the list is being filled: its change notices are ours
};
HighlightDialog g_dialog = {};

int form_index(int form) {
  for (int i = 0; kForms[i]; i++)
    if (kForms[i] == form) return i;
  return 0;
}

void set_cell(int row, int column, const wchar_t* text) { rule_list_set_cell(g_dialog.list, row, column, text); }

void show_rule(int row) {
  const HighlightRule& h = g_dialog.rules.rules[row];
  wchar_t text[kMessageTextUnits];
  _snwprintf(text, kMessageTextUnits, L"%06X", h.rgb);
  text[kMessageTextUnits - 1] = 0;
  set_cell(row, 0, text);
  get_text(kTextHighlightFormFirst + form_index(h.form), text);
  set_cell(row, 1, text);
  if (h.channel) _snwprintf(text, kMessageTextUnits, L"CH%d", h.channel);
  else get_text(kTextHighlightEither, text);
  set_cell(row, 2, text);
  if (h.direction) wcscpy(text, h.direction == 1 ? L"RX" : L"TX");
  else get_text(kTextHighlightEither, text);
  set_cell(row, 3, text);
  static wchar_t pattern[kHighlightPatternUnits + 1];
  std::wmemcpy(pattern, wide(h.text), static_cast<size_t>(h.text_n));
  pattern[h.text_n] = 0;
  set_cell(row, 4, pattern);
  _snwprintf(text, kMessageTextUnits, L"%d", g_dialog.matches[row]);
  set_cell(row, 5, text);
  ListView_SetCheckState(g_dialog.list, row, h.enabled ? TRUE : FALSE);
}

void fill_list(int select) {
  view_highlight_matches(&g_dialog.rules, g_dialog.matches);
  g_dialog.filling = 1;
  rule_list_fill(g_dialog.list, g_dialog.rules.count, select, show_rule);
  g_dialog.filling = 0;
}

int selected_row() { return rule_list_selected(g_dialog.list); }

int combo(HWND dlg, int id) { return static_cast<int>(SendDlgItemMessageW(dlg, id, CB_GETCURSEL, 0, 0)); }

// The rule in the fields: 0 with *rule, or the reason (and Find's fault).
int rule_in_fields(HWND dlg, HighlightRule* rule, FindPatternResult* bad) {
  wchar_t colour[16] = L"";
  GetDlgItemTextW(dlg, IDC_HL_COLOUR, colour, 16);
  static wchar_t pattern[kHighlightPatternUnits + 2];
  const int n = GetDlgItemTextW(dlg, IDC_HL_PATTERN, pattern, kHighlightPatternUnits + 2);
  const int64_t rgb = highlight_colour_read(reinterpret_cast<const char16_t*>(colour), static_cast<int>(wcslen(colour)));
  *bad = {};
  if (rgb < 0) return kHighlightBadColour;
  const int form = kForms[combo(dlg, IDC_HL_FORM) < 0 ? 0 : combo(dlg, IDC_HL_FORM)];
  const int channel = combo(dlg, IDC_HL_CHANNEL) < 0 ? 0 : combo(dlg, IDC_HL_CHANNEL);
  const int direction = combo(dlg, IDC_HL_DIRECTION) < 0 ? 0 : combo(dlg, IDC_HL_DIRECTION);
  return highlight_rule_from_fields(static_cast<uint32_t>(rgb), form, channel, direction,
                                    reinterpret_cast<const char16_t*>(pattern), n, &ansi_codec_win, rule, bad);
}

// The rule in the fields, or 1 after saying what is wrong.
int rule_from_fields(HWND dlg, HighlightRule* rule) {
  FindPatternResult bad;
  const int reason = rule_in_fields(dlg, rule, &bad);
  if (!reason) return 0;
  const HighlightProblem p = {0, reason, bad};
  wchar_t text[2 * kMessageTextUnits];
  highlight_reason_text(p, text, 2 * kMessageTextUnits);
  MessageBoxW(dlg, text, L"Error", MB_OK);
  return 1;
}

void fields_from_rule(HWND dlg, int row) {
  const HighlightRule& h = g_dialog.rules.rules[row];
  wchar_t colour[8];
  _snwprintf(colour, 8, L"%06X", h.rgb);
  colour[7] = 0;
  SetDlgItemTextW(dlg, IDC_HL_COLOUR, colour);
  SendDlgItemMessageW(dlg, IDC_HL_FORM, CB_SETCURSEL, static_cast<WPARAM>(form_index(h.form)), 0);
  SendDlgItemMessageW(dlg, IDC_HL_CHANNEL, CB_SETCURSEL, h.channel, 0);
  SendDlgItemMessageW(dlg, IDC_HL_DIRECTION, CB_SETCURSEL, h.direction, 0);
  static wchar_t pattern[kHighlightPatternUnits + 1];
  std::wmemcpy(pattern, wide(h.text), static_cast<size_t>(h.text_n));
  pattern[h.text_n] = 0;
  SetDlgItemTextW(dlg, IDC_HL_PATTERN, pattern);
}

// Whether the pattern in the fields finds something in the sample (typed
// as text, in the code page the capture's text is shown in).
void sample_try(HWND dlg) {
  static wchar_t sample[kHighlightPatternUnits + 1];
  const int n = GetDlgItemTextW(dlg, IDC_HL_SAMPLE, sample, kHighlightPatternUnits + 1);
  static HighlightRule rule;
  FindPatternResult bad;
  wchar_t text[kMessageTextUnits] = L"";
  static uint8_t bytes[4 * kHighlightPatternUnits];
  const int got = n > 0 ? ansi_codec_win.encode(ansi_codec_win.ctx, reinterpret_cast<const char16_t*>(sample), n,
                                                bytes, static_cast<int>(sizeof bytes))
                        : 0;
  if (n > 0 && got > 0 && !rule_in_fields(dlg, &rule, &bad)) {
    const int found = highlight_sample_matches(&rule, bytes, got);
    if (found >= 0) get_text(found ? kTextHighlightSampleMatches : kTextHighlightSampleNoMatch, text);
  }
  SetDlgItemTextW(dlg, IDC_HL_SAMPLE_RESULT, text);
}

void on_add(HWND dlg) {
  if (g_dialog.rules.count >= kHighlightRules) {
    show_message(dlg, kTextHighlightReasonLast, 0, L"Error");
    return;
  }
  HighlightRule& slot = g_dialog.rules.rules[g_dialog.rules.count];
  if (rule_from_fields(dlg, &slot)) return;
  g_dialog.rules.count++;
  fill_list(g_dialog.rules.count - 1);
}

void on_change(HWND dlg) {
  const int row = selected_row();
  if (row < 0 || row >= g_dialog.rules.count) return;
  static HighlightRule rule;
  if (rule_from_fields(dlg, &rule)) return;
  rule.enabled = g_dialog.rules.rules[row].enabled;
  g_dialog.rules.rules[row] = rule;
  fill_list(row);
}

void on_remove() {
  const int row = selected_row();
  if (row < 0 || row >= g_dialog.rules.count) return;
  for (int r = row + 1; r < g_dialog.rules.count; r++) g_dialog.rules.rules[r - 1] = g_dialog.rules.rules[r];
  g_dialog.rules.count--;
  fill_list(row < g_dialog.rules.count ? row : g_dialog.rules.count - 1);
}

// The first rule wins: moving a rule up gives it the bytes both cover.
void on_move(int step) {
  const int row = selected_row(), to = row + step;
  if (row < 0 || row >= g_dialog.rules.count || to < 0 || to >= g_dialog.rules.count) return;
  static HighlightRule held;
  held = g_dialog.rules.rules[row];
  g_dialog.rules.rules[row] = g_dialog.rules.rules[to];
  g_dialog.rules.rules[to] = held;
  fill_list(to);
}

void on_choose(HWND dlg) {
  wchar_t colour[16] = L"";
  GetDlgItemTextW(dlg, IDC_HL_COLOUR, colour, 16);
  const unsigned long rgb = wcstoul(colour, nullptr, 16);
  static COLORREF custom[16];
  CHOOSECOLORW cc = {};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = dlg;
  cc.rgbResult = RGB(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF);
  cc.lpCustColors = custom;
  cc.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (!ChooseColorW(&cc)) return;
  _snwprintf(colour, 16, L"%02X%02X%02X", GetRValue(cc.rgbResult), GetGValue(cc.rgbResult), GetBValue(cc.rgbResult));
  SetDlgItemTextW(dlg, IDC_HL_COLOUR, colour);
}

void on_list_notify(HWND dlg, const NMHDR* hdr) {
  if (hdr->code != LVN_ITEMCHANGED || g_dialog.filling) return;
  const NMLISTVIEW* change = reinterpret_cast<const NMLISTVIEW*>(hdr);
  const int row = change->iItem;
  if (row < 0 || row >= g_dialog.rules.count || !(change->uChanged & LVIF_STATE)) return;
  if ((change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED)) fields_from_rule(dlg, row);
  if ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK)
    g_dialog.rules.rules[row].enabled = ListView_GetCheckState(g_dialog.list, row) ? 1 : 0;
}

void on_init(HWND dlg) {
  static const struct { int id, text; } kLabels[] = {
      {0, kTextHighlightTitle},
      {IDC_HL_LABEL_COLOUR, kTextHighlightColour},       {IDC_HL_LABEL_FORM, kTextHighlightForm},
      {IDC_HL_LABEL_CHANNEL, kTextHighlightChannel},     {IDC_HL_LABEL_DIRECTION, kTextHighlightDirection},
      {IDC_HL_LABEL_PATTERN, kTextHighlightPattern},     {IDC_HL_LABEL_SAMPLE, kTextHighlightSample},
      {IDC_HL_ADD, kTextHighlightAdd},                   {IDC_HL_CHANGE, kTextHighlightChange},
      {IDC_HL_REMOVE, kTextHighlightRemove},             {IDC_HL_UP, kTextHighlightUp},
      {IDC_HL_DOWN, kTextHighlightDown},                 {IDC_HL_CHOOSE, kTextHighlightChooseColour},
      {IDOK, kTextHighlightOk},                          {IDCANCEL, kTextHighlightCancel}};
  for (const auto& l : kLabels) set_dialog_text(dlg, l.id, l.text);
  g_dialog.list = GetDlgItem(dlg, IDC_HL_LIST);
  static const int kHeads[kColumns] = {kTextHighlightColour,    kTextHighlightForm,    kTextHighlightChannel,
                                       kTextHighlightDirection, kTextHighlightPattern, kTextHighlightMatches};
  static const int kWidths[kColumns] = {44, 80, 36, 38, 100, 40};  // dialog units across, about the list's width
  rule_list_columns(dlg, g_dialog.list, kHeads, kWidths, kColumns, 1u << 5);
  for (int f = kTextHighlightFormFirst; f <= kTextHighlightFormLast; f++) {
    wchar_t text[kMessageTextUnits] = L"";
    get_text(f, text);
    SendDlgItemMessageW(dlg, IDC_HL_FORM, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  wchar_t either[kMessageTextUnits] = L"";
  get_text(kTextHighlightEither, either);
  for (const wchar_t* ch : {static_cast<const wchar_t*>(either), L"CH1", L"CH2"})
    SendDlgItemMessageW(dlg, IDC_HL_CHANNEL, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ch));
  for (const wchar_t* d : {static_cast<const wchar_t*>(either), L"RX", L"TX"})
    SendDlgItemMessageW(dlg, IDC_HL_DIRECTION, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(d));
  SendDlgItemMessageW(dlg, IDC_HL_FORM, CB_SETCURSEL, 2, 0);  // text with case, as a new rule mostly is
  SendDlgItemMessageW(dlg, IDC_HL_CHANNEL, CB_SETCURSEL, 0, 0);
  SendDlgItemMessageW(dlg, IDC_HL_DIRECTION, CB_SETCURSEL, 0, 0);
  SetDlgItemTextW(dlg, IDC_HL_COLOUR, L"FFFF00");
  SendDlgItemMessageW(dlg, IDC_HL_COLOUR, EM_LIMITTEXT, 6, 0);
  SendDlgItemMessageW(dlg, IDC_HL_PATTERN, EM_LIMITTEXT, kHighlightPatternUnits, 0);
  SendDlgItemMessageW(dlg, IDC_HL_SAMPLE, EM_LIMITTEXT, kHighlightPatternUnits, 0);
  g_dialog.rules = *highlight_rules();
  fill_list(g_dialog.rules.count > 0 ? 0 : -1);
  if (g_dialog.rules.count > 0) fields_from_rule(dlg, 0);
  dialog_look_init(dlg);
}

INT_PTR CALLBACK highlight_dialog_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  INT_PTR result = 0;
  switch (msg) {
    case WM_INITDIALOG: on_init(dlg); return TRUE;
    case WM_NOTIFY:
      if (reinterpret_cast<const NMHDR*>(lp)->idFrom == IDC_HL_LIST) on_list_notify(dlg, reinterpret_cast<const NMHDR*>(lp));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case IDC_HL_ADD: on_add(dlg); break;
        case IDC_HL_CHANGE: on_change(dlg); break;
        case IDC_HL_REMOVE: on_remove(); break;
        case IDC_HL_UP: on_move(-1); break;
        case IDC_HL_DOWN: on_move(1); break;
        case IDC_HL_CHOOSE: on_choose(dlg); break;
        case IDC_HL_SAMPLE:
        case IDC_HL_PATTERN:
          if (HIWORD(wp) == EN_CHANGE) sample_try(dlg);
          break;
        case IDC_HL_FORM:
        case IDC_HL_CHANNEL:
        case IDC_HL_DIRECTION:
          if (HIWORD(wp) == CBN_SELCHANGE) sample_try(dlg);
          break;
        case IDOK: EndDialog(dlg, IDOK); break;
        case IDCANCEL: EndDialog(dlg, IDCANCEL); break;
      }
      return TRUE;
    default:
      if (dialog_look(dlg, msg, wp, lp, &result)) return result;
      return FALSE;
  }
}

}  // namespace

void highlight_dialog_run(HWND owner) {
  INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  g_dialog = {};
  if (DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_HIGHLIGHT), owner, highlight_dialog_proc, 0) != IDOK) return;
  highlight_rules_put(owner, &g_dialog.rules);
}
