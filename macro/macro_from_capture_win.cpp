// File > Save Capture as Macro: the capture (or the records selected in the
// view), copied whole under one hold of the lock, written
// by the generator straight into the chosen file, and one box that says
// what the macro cannot do as captured.
#include <cwchar>

#include "app/app_win.h"
#include "macro/macro_from_capture.h"
#include "macro/macro_win.h"
#include "serial/dcb_win.h"
#include "serial/port_win.h"
#include "settings/message_text.h"
#include "ui/file_chooser.h"
#include "ui/file_chooser_win.h"
#include "ui/file_sink_win.h"
#include "view/data_view.h"
#include "record/record_view_win.h"

namespace {

// Appends message text `n`, formatted with its fields a and b (as many as
// the text has), as one more line of `out`.
void append_line(wchar_t* out, int cap, int n, long long a, int b) {
  wchar_t format[kMessageTextUnits] = L"";
  get_text(n, format);
  wchar_t line[kMessageTextUnits + 48];
  if (!message_fields_match(reinterpret_cast<const char16_t*>(format), message_fields(n)))
    lstrcpynW(line, format, kMessageTextUnits);
  else if (n == kTextMacroTooLongToRun)
    _snwprintf(line, kMessageTextUnits + 47, format, a, b);
  else
    _snwprintf(line, kMessageTextUnits + 47, format, static_cast<int>(a));
  line[kMessageTextUnits + 47] = 0;
  if (out[0]) wcsncat(out, L"\n", cap - 1 - wcslen(out));
  wcsncat(out, line, cap - 1 - wcslen(out));
}

// The lines the macro will meet: each channel's speed and frame bits from
// the settings, and the time-outs an open port has now (the DCB dialog may
// have changed them), else those every port gets at open.
MacroReplayLines replay_lines() {
  MacroReplayLines l = macro_replay_lines(g_app.settings.port);
  for (int ch = 0; ch < 2; ch++) {
    if (!channel_is_open(ch)) continue;
    LineTimeouts t;
    line_timeouts_from_win(g_channel[ch].timeouts, &t);
    l.hold_ms[ch] = macro_receive_hold_ms(t);
  }
  return l;
}

}  // namespace

int capture_save_macro(const wchar_t* path, MacroFromCaptureResult* result) {
  *result = {};
  // The count, records and times of one moment, copied under one hold of
  // the lock.
  CaptureSnapshot snap;
  if (capture_snapshot_allocate(&snap)) return kTextExportNoMemory;
  if (capture_snapshot_take(view_capture(), &snap) || snap.count == 0) {
    capture_snapshot_free(&snap);
    return kTextNoDataToExport;
  }
  const int32_t count = snap.count;
  int failure = 0;
  HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) failure = kTextFileOpenFailed;
  if (!failure) {
    const ByteSink sink = file_sink(f);
    const MacroReplayLines lines = replay_lines();
    // A selection in the view makes the macro of its records alone.
    int32_t first = 0, last = count - 1;
    if (!view_selection_range(view_capture()->view, count, &first, &last)) first = 0, last = count - 1;
    *result = macro_from_capture(snap.records, snap.times, first, last, &lines, &sink);
    if (!CloseHandle(f) || result->status == kMacroFromCaptureSinkFailed) failure = kTextMacroWriteFailed;
    else if (result->status == kMacroFromCaptureNothing) failure = kTextNoDataToExport;
    // A cut or empty macro is not left behind to be run as if it were whole.
    if (failure) DeleteFileW(path);
  }
  capture_snapshot_free(&snap);
  return failure;
}

void save_as_macro_command(HWND owner) {
  if (capture_write_position(view_capture()) == 0) {
    show_message(owner, kTextNoDataToExport, 0, L"Quorrin");
    return;
  }
  wchar_t path[MAX_PATH] = L"";
  if (!file_chooser(owner, kChooseSaveMacro, path)) return;
  MacroFromCaptureResult r;
  const int failure = capture_save_macro(path, &r);
  if (failure) {
    show_texts(owner, L"Quorrin", {failure}, path);
    return;
  }
  // The macro is saved; these say where it does not replay the capture whole.
  constexpr int kUnits = 3 * (kMessageTextUnits + 48) + MAX_PATH + 4;
  wchar_t text[kUnits] = L"";
  if (r.status == kMacroFromCaptureTooManySteps) append_line(text, kUnits, kTextMacroTooManySteps, r.steps, 0);
  if (r.unchecked_bytes > 0) append_line(text, kUnits, kTextMacroUncompared, r.unchecked_bytes, 0);
  if (r.too_long) append_line(text, kUnits, kTextMacroTooLongToRun, r.units, kMacroBufferUnits);
  if (!text[0]) return;
  wcsncat(text, L"\n", kUnits - 1 - wcslen(text));
  wcsncat(text, path, kUnits - 1 - wcslen(text));
  MessageBoxW(owner, text, L"Quorrin", MB_OK);
}
