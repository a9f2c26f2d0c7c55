// Go to Time (dialog 131): the view moved to the first chunk at or after
// a time, in the live capture or the recording shown; Find Next goes on
// from there. The dialog says what range of times the view holds, starts
// at the time on show, and says there, not in a box, what it cannot do.
#include "find/find_state_win.h"

#include <cwchar>

#include "find/find_rows.h"
#include "find/find_source.h"

#include "app/chrome_win.h"
#include "record/record_view_win.h"
#include "resources/resource.h"
#include "timeline/export_win.h"
#include "ui/dialog_look_win.h"
#include "view/data_view_win.h"

namespace {

constexpr int kTimeUnits = 40;
constexpr int kSaidUnits = kMessageTextUnits + 3 * kTimeUnits;
wchar_t g_first[16], g_last[16];  // the range on show, as the dialog says it

// A time of day to the ms ("14:03:07.250"), or "-" when unknown.
void day_text(int64_t local_us, wchar_t out[16]) {
  char seconds[40], day[24];
  find_time_texts(kTimeUnknown, kTimeUnknown, local_us, seconds, day);
  day[12] = 0;  // "14:03:07.250000": to the ms, as the label's example
  if (!day[0]) lstrcpynW(out, L"-", 16);
  else MultiByteToWideChar(CP_ACP, 0, day, -1, out, 16);
}

// A capture's time as a time of day, in the zone of its moment.
int64_t local_of(const Capture& c, int64_t t) { return find_local_us(t, c.wall_offset_us, local_zone_minutes_at); }

// The first and last times of day of what the view holds.
void range_texts() {
  int64_t first = kTimeUnknown, last = kTimeUnknown;
  if (recording_shown()) {
    recording_time_range(&first, &last);
    first = local_of(*view_capture(), first);
    last = local_of(*view_capture(), last);
  } else {
    static CaptureSnapshot s;
    if (capture_snapshot_allocate(&s) == 0 && capture_snapshot_take(&g_app.capture, &s) == 0) {
      first = find_local_us(timeline_first_time_us(s.records, s.times, s.count), s.wall_offset_us, local_zone_minutes_at);
      for (int32_t i = s.count - 1; i >= 0 && last == kTimeUnknown; i--)
        last = find_local_us(s.times[i], s.wall_offset_us, local_zone_minutes_at);
    }
  }
  day_text(first, g_first);
  day_text(last, g_last);
}

// The time of day of the first record the view shows with a time; the
// range's first when none has one yet (sent bytes get theirs as they leave).
void shown_now(wchar_t out[16]) {
  const Capture& c = *view_capture();
  const int32_t w = capture_write_position(&c);
  int32_t i = view_first_shown();
  while (i >= 0 && i < w && c.times[i] == kTimeUnknown) i++;
  day_text(i >= 0 && i < w ? local_of(c, c.times[i]) : kTimeUnknown, out);
  if (out[0] == L'-') lstrcpynW(out, g_first, 16);
}

int live_go_local(const CaptureSnapshot& s, int64_t target);

// Go to Time in the live capture or a loaded log: 0, or 1 when nothing
// comes at or after the time.
int live_go_time(const RecordTime& t) {
  static CaptureSnapshot s;
  if (capture_snapshot_allocate(&s) || capture_snapshot_take(&g_app.capture, &s)) return 1;
  const int64_t first = timeline_first_time_us(s.records, s.times, s.count);
  if (first == kTimeUnknown) return 1;
  // Times of day are local, each in the zone of its own moment.
  const int64_t target = record_time_resolve(t, find_local_us(first, s.wall_offset_us, local_zone_minutes_at));
  return live_go_local(s, target);
}

// The view at the first chunk at or after `target`, a local time of day:
// 0, or 1 when nothing comes at or after it.
int live_go_local(const CaptureSnapshot& s, int64_t target) {
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

// The time typed, gone to: 0, or 1 after saying in the dialog why not.
int go(HWND dlg) {
  wchar_t typed[kTimeUnits] = L"";
  GetDlgItemTextW(dlg, IDC_GTT_TIME, typed, kTimeUnits);
  char ascii[kTimeUnits] = {};
  for (int n = 0; n < kTimeUnits - 1 && typed[n]; n++) ascii[n] = typed[n] < 128 ? static_cast<char>(typed[n]) : '?';
  RecordTime t;
  wchar_t said[kSaidUnits];
  if (record_time_parse(ascii, &t)) {
    format_text(said, kSaidUnits, kTextNotATime, typed);
    SetDlgItemTextW(dlg, IDC_GTT_SAID, said);
    return 1;
  }
  if (recording_shown() ? recording_go_time(g_main_window, t) : live_go_time(t)) {
    format_text(said, kSaidUnits, kTextGoToTimeOutside, typed, g_first, g_last);
    SetDlgItemTextW(dlg, IDC_GTT_SAID, said);
    return 1;
  }
  find_window_clear_of_mark();  // the chunk gone to is marked: Find stays off it too
  return 0;
}

INT_PTR CALLBACK go_to_time_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      set_dialog_text(dlg, 0, kTextGoToTimeTitle);
      set_dialog_text(dlg, IDC_GTT_LABEL, kTextGoToTimeLabel);
      set_dialog_text(dlg, IDCANCEL, kTextCancel);
      range_texts();
      wchar_t range[kSaidUnits];
      format_text(range, kSaidUnits, kTextGoToTimeRange, g_first, g_last);
      SetDlgItemTextW(dlg, IDC_GTT_RANGE, range);
      wchar_t now[16];
      shown_now(now);
      SendDlgItemMessageW(dlg, IDC_GTT_TIME, EM_LIMITTEXT, kTimeUnits - 1, 0);
      SetDlgItemTextW(dlg, IDC_GTT_TIME, now[0] == L'-' ? L"" : now);
      dialog_look_init(dlg);
      SetFocus(GetDlgItem(dlg, IDC_GTT_TIME));
      SendDlgItemMessageW(dlg, IDC_GTT_TIME, EM_SETSEL, 0, -1);
      return FALSE;  // the focus set here
    }
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK) {
        if (go(dlg) == 0) EndDialog(dlg, IDOK);
      } else if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dlg, IDCANCEL);
      }
      return TRUE;
    default: return dialog_look_modal(dlg, msg, wp, lp);
  }
}

}  // namespace

void go_to_time_run(HWND owner) {
  DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_GO_TO_TIME), owner, go_to_time_proc, 0);
}

int go_to_local_time(int64_t local_us) {
  if (recording_shown()) {
    int64_t first = kTimeUnknown, last = kTimeUnknown;
    recording_time_range(&first, &last);
    const int64_t since = time_sub_us(local_us, first);
    if (first == kTimeUnknown || since == kTimeUnknown || since < 0) return 1;
    const RecordTime t = {1, 0, since, 1};
    return recording_go_time(g_main_window, t);
  }
  static CaptureSnapshot s;
  if (capture_snapshot_allocate(&s) || capture_snapshot_take(&g_app.capture, &s)) return 1;
  return live_go_local(s, local_us);
}
