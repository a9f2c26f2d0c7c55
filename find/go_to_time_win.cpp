// Go to Time (dialog 131): the view moved to the first chunk at or after
// a time, in the live capture or the recording shown; Find Next goes on
// from there.
#include "find/find_state_win.h"

#include "find/find_source.h"

#include "app/chrome_win.h"
#include "record/record_view_win.h"
#include "resources/resource.h"
#include "timeline/export_win.h"
#include "ui/dialog_look_win.h"
#include "view/data_view_win.h"

namespace {

wchar_t g_time_typed[40];

INT_PTR CALLBACK go_to_time_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG:
      set_dialog_text(dlg, 0, kTextGoToTimeTitle);
      set_dialog_text(dlg, IDC_GTT_LABEL, kTextGoToTimeLabel);
      set_dialog_text(dlg, IDCANCEL, kTextCancel);
      SendDlgItemMessageW(dlg, IDC_GTT_TIME, EM_LIMITTEXT, sizeof g_time_typed / sizeof g_time_typed[0] - 1, 0);
      SetDlgItemTextW(dlg, IDC_GTT_TIME, g_time_typed);
      dialog_look_init(dlg);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK) {
        GetDlgItemTextW(dlg, IDC_GTT_TIME, g_time_typed, sizeof g_time_typed / sizeof g_time_typed[0]);
        EndDialog(dlg, IDOK);
      } else if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dlg, IDCANCEL);
      }
      return TRUE;
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

// Go to Time in the live capture or a loaded log: 0, or 1 when nothing
// comes at or after the time.
int live_go_time(const RecordTime& t) {
  static CaptureSnapshot s;
  if (capture_snapshot_allocate(&s) || capture_snapshot_take(&g_app.capture, &s)) return 1;
  const int64_t first = timeline_first_time_us(s.records, s.times, s.count);
  if (first == kTimeUnknown) return 1;
  // Times of day are local, each in the zone of its own moment.
  const int64_t target = record_time_resolve(t, find_local_us(first, s.wall_offset_us, local_zone_minutes_at));
  if (target == kTimeUnknown) return 1;
  const int32_t i = find_time_first_local(s.times, s.count, target, s.wall_offset_us, local_zone_minutes_at);
  if (i >= s.count) return 1;
  const CapturePlace now = capture_place(&g_app.capture);
  const int64_t index = s.base + i - now.base;
  if (index < 0 || index >= now.write_position) return 1;
  int32_t last = i;
  while (last + 1 < s.count && s.records[last + 1].kind == s.records[i].kind) last++;
  const int32_t at = static_cast<int32_t>(index);
  find_live_view_at(at, at + (last - i));
  // Find Next goes on from here, this chunk's first byte included.
  g_find.current = -1;
  g_find.marked_place = s.base + i - 1;
  find_repaint_main();
  return 0;
}

}  // namespace

void go_to_time_run(HWND owner) {
  if (DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_GO_TO_TIME), owner, go_to_time_proc, 0) != IDOK) return;
  char ascii[40] = {};
  int n = 0;
  for (; n < 39 && g_time_typed[n]; n++) ascii[n] = g_time_typed[n] < 128 ? static_cast<char>(g_time_typed[n]) : '?';
  RecordTime t;
  if (record_time_parse(ascii, &t)) {
    show_texts(owner, L"Quorrin", {kTextNotATime}, nullptr, g_time_typed);
    return;
  }
  const int none = recording_shown() ? recording_go_time(owner, t) : live_go_time(t);
  if (none) show_message(owner, kTextGoToTimeNothing, 0, L"Quorrin");
}

