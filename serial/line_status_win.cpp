// The line status dialog (113, modal): one open channel's accumulated line
// errors, transmit-hold flags and modem input lines as filled or hollow
// circles, refreshed every 500 ms, with RESET for the errors and the DTR and
// RTS buttons and a break of 250 ms.
//
// Threads: the channel's receive thread also ORs into accumulated_errors
// while this dialog runs; both sides use the atomic's fetch_or, and RESET
// stores 0, so a flag raised at the instant of a RESET may survive it. The
// dialog keeps its own COMSTAT and modem readings, apart from the receive
// thread's.
#include "app/app_win.h"

#include "app/chrome_win.h"
#include "resources/resource.h"
#include "net/link_net_win.h"
#include "serial/line_status.h"
#include "serial/port_win.h"
#include "ui/dialog_look_win.h"
#include "ui/dpi_win.h"
#include "ui/scale.h"
#include "view/fonts_win.h"

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshPeriod = 500;

int g_line_status_channel;  // the channel of the open dialog: 0 CH1, 1 CH2
int selected_channel() { return g_line_status_channel; }

void line_status_set_texts(HWND dlg) {
  wchar_t base[kMessageTextUnits] = L"";
  get_text(kTextLineStatusTitle, base);
  char16_t title[kMessageTextUnits + 8];
  line_status_title(reinterpret_cast<const char16_t*>(base), selected_channel() + 1, title,
                    sizeof title / sizeof title[0]);
  SetWindowTextW(dlg, wide(title));
  for (int i = 0; i < 10; i++) set_dialog_text(dlg, IDC_LS_BREAK + i, kTextLineErrorsFirst + i);
  for (int i = 0; i < 5; i++) set_dialog_text(dlg, IDC_LS_RLSD_HOLD + i, kTextLineHoldsFirst + i);
  set_dialog_text(dlg, IDC_LS_LEGEND, kTextLineStatusLegend);
  set_dialog_text(dlg, IDC_LS_CLOSE, kTextClose);
  set_dialog_text(dlg, IDC_LS_SEND_BREAK, kTextBreak);
}

// Under the legend, on a channel over RFC 2217: the options the server
// refused, or else the settings it set otherwise than asked, or else the
// ones it has not confirmed (ser2net on a pty never answers DTR, for one).
void line_status_note(HWND dlg) {
  const int ch = selected_channel();
  wchar_t names[kMessageTextUnits] = L"";
  wchar_t text[kMessageTextUnits * 2] = L"";
  int format_text = 0;
  if (channel_is_open(ch) && g_channel[ch].net) {
    if (net_refused(ch, reinterpret_cast<char16_t*>(names), kMessageTextUnits))
      format_text = kTextServerRefused;
    else if (net_differences(ch, reinterpret_cast<char16_t*>(names), kMessageTextUnits))
      format_text = kTextServerSet;
    else if (net_unconfirmed(ch, reinterpret_cast<char16_t*>(names), kMessageTextUnits))
      format_text = kTextServerNotConfirmed;
  }
  if (format_text) {
    wchar_t format[kMessageTextUnits] = L"";
    get_text(format_text, format);
    if (message_fields_match(reinterpret_cast<char16_t*>(format), "ls"))
      _snwprintf(text, kMessageTextUnits * 2 - 1, format, names);
  }
  wchar_t shown[kMessageTextUnits * 2] = L"";
  GetDlgItemTextW(dlg, IDC_LS_NOTE, shown, kMessageTextUnits * 2);
  if (wcscmp(shown, text) != 0) SetDlgItemTextW(dlg, IDC_LS_NOTE, text);
}

uint32_t hold_bits(const COMSTAT& s) {
  return (s.fCtsHold ? kHoldCts : 0u) | (s.fDsrHold ? kHoldDsr : 0u) | (s.fRlsdHold ? kHoldRlsd : 0u) |
         (s.fXoffHold ? kHoldXoff : 0u) | (s.fXoffSent ? kHoldXoffSent : 0u) | (s.fEof ? kHoldEof : 0u) |
         (s.fTxim ? kHoldTxim : 0u);
}

void draw_column(HDC dc, LineColumn column, uint32_t bits) {
  LineIndicator marks[kLineColumnMax];
  int n = line_status_column(column, bits, marks);
  for (int i = 0; i < n; i++) {
    wchar_t glyph = static_cast<wchar_t>(line_status_glyph(marks[i].on));
    TextOutW(dc, px(marks[i].x, g_app.metrics.dpi), px(marks[i].y, g_app.metrics.dpi), &glyph, 1);
  }
}

// A break in progress, ended by kBreakTimer (or the dialog's end).
constexpr UINT_PTR kBreakTimer = 2;
constexpr UINT kBreakMs = 250;
int g_break_on = 0;
int g_break_channel = 0;

// The line buttons drive the port directly; their result is not reported
// (the port may have no such lines, as a pty has not). A network link's
// server may not confirm them: the note under the buttons says so.
void line_control(HWND dlg, const LinkOps* link, int ch, DWORD function) {
  if (!link) return;
  link->control(ch, function);
  line_status_note(dlg);
}

void break_end(HWND dlg) {
  KillTimer(dlg, kBreakTimer);
  if (!g_break_on) return;
  g_break_on = 0;
  if (channel_is_open(g_break_channel)) channel_link(g_break_channel)->control(g_break_channel, CLRBREAK);
}

void line_status_paint_indicators(HWND dlg) {
  int ch = selected_channel();
  Channel& c = g_channel[ch];
  HDC dc = GetDC(dlg);
  // The circles in the data view's big font, which fills the 20-pixel rows
  // (the dialog font draws them barely larger than a dot), on whatever the
  // dialog's background is.
  HGDIOBJ old_font = SelectObject(dc, g_font_big);
  SetBkMode(dc, OPAQUE);
  SetBkColor(dc, GetPixel(dc, 0, 0));
  SetTextColor(dc, slot_color(kSlotText));

  // A failed reading shows as all clear; nothing is reported every 500 ms.
  DWORD errors = 0, modem = 0;
  COMSTAT comstat = {};
  if (channel_is_open(ch) && channel_link(ch)->line_state(ch, &modem, &errors, &comstat))
    c.accumulated_errors.fetch_or(errors);
  draw_column(dc, kLineColumnErrors, c.accumulated_errors.load());
  draw_column(dc, kLineColumnHolds, hold_bits(comstat));
  draw_column(dc, kLineColumnModem, modem);

  SelectObject(dc, old_font);
  ReleaseDC(dlg, dc);
}

// The labels follow the circles they name, in pixels like the circles, so
// the two stay together whatever the dialog font's base units are; both
// are placed at 96 DPI and scaled.
void line_status_place_labels(HWND dlg) {
  static const int kLabelWidth[kLineColumns] = {118, 142, 90};
  const int32_t dpi = g_app.metrics.dpi;
  for (int column = 0; column < kLineColumns; column++) {
    LineIndicator marks[kLineColumnMax];
    int n = line_status_column(static_cast<LineColumn>(column), 0, marks);
    for (int i = 0; i < n; i++)
      SetWindowPos(GetDlgItem(dlg, marks[i].label), nullptr, px(marks[i].x + 18, dpi), px(marks[i].y + 2, dpi),
                   px(kLabelWidth[column], dpi), px(16, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

INT_PTR CALLBACK line_status_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      line_status_place_labels(dlg);
      line_status_set_texts(dlg);
      SetTimer(dlg, kRefreshTimer, kRefreshPeriod, nullptr);
      dialog_look_init(dlg);
      return TRUE;
    case kMessageRescaled:
      line_status_place_labels(dlg);
      InvalidateRect(dlg, nullptr, TRUE);
      return TRUE;
    case WM_TIMER:
      if (wp == kRefreshTimer) {
        line_status_paint_indicators(dlg);
        line_status_note(dlg);
      }
      if (wp == kBreakTimer) break_end(dlg);
      return TRUE;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(dlg, &ps);
      line_status_set_texts(dlg);
      line_status_paint_indicators(dlg);
      EndPaint(dlg, &ps);
      return TRUE;
    }
    case WM_COMMAND: {
      const int ch = selected_channel();
      Channel& c = g_channel[ch];
      const LinkOps* link = channel_is_open(ch) ? channel_link(ch) : nullptr;
      switch (LOWORD(wp)) {
        case IDC_LS_CLOSE: EndDialog(dlg, IDC_LS_CLOSE); return TRUE;
        case IDC_LS_RESET:
          g_channel[selected_channel()].accumulated_errors.store(0);
          line_status_set_texts(dlg);
          return TRUE;
        // The line buttons drive the port directly; their result is not
        // reported (the port may have no such lines, as a pty has not).
        // The channel remembers them for a reconnect.
        case IDC_LS_DTR_ON: c.dtr_state = 1; line_control(dlg, link, ch, SETDTR); return TRUE;
        case IDC_LS_DTR_OFF: c.dtr_state = 2; line_control(dlg, link, ch, CLRDTR); return TRUE;
        case IDC_LS_RTS_ON: c.rts_state = 1; line_control(dlg, link, ch, SETRTS); return TRUE;
        case IDC_LS_RTS_OFF: c.rts_state = 2; line_control(dlg, link, ch, CLRRTS); return TRUE;
        case IDC_LS_SEND_BREAK:
          // The break lasts kBreakMs; the timer ends it, so the dialog never waits.
          if (!link || g_break_on) return TRUE;
          line_control(dlg, link, ch, SETBREAK);
          g_break_on = 1;
          g_break_channel = ch;
          SetTimer(dlg, kBreakTimer, kBreakMs, nullptr);
          return TRUE;
        default: return FALSE;
      }
    }
    case WM_DESTROY:
      KillTimer(dlg, kRefreshTimer);
      break_end(dlg);
      return FALSE;
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

}  // namespace

void line_status_dialog_run(HWND owner, int ch) {
  g_line_status_channel = ch == 1 ? 1 : 0;
  DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_LINE_STATUS), owner, line_status_proc, 0);
}
