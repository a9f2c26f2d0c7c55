#include "view/cell_tip.h"

#include <cstdio>
#include <cstring>

#include "codec/convert.h"
#include "settings/message_text.h"
#include "view/data_view.h"
#include "timeline/chunks.h"
#include "timeline/export.h"

void view_map_reset(ViewCellMap* map, int32_t n, int32_t rows) {
  map->layout++;
  map->cells_per_row = n < 1 || rows < 1 ? 0 : n;
  map->rows = n < 1 || rows < 1 ? 0 : rows;
  for (int32_t& r : map->record) r = -1;
}

void view_map_clear_row(ViewCellMap* map, int32_t row) {
  const int32_t n = map->cells_per_row;
  if (row < 0 || row >= map->rows) return;
  for (int32_t c = 0; c < n; c++) {
    const int64_t cell = static_cast<int64_t>(row) * n + c;
    if (cell >= kViewMapCells) return;
    map->record[cell] = -1;
  }
}

void view_map_put(ViewCellMap* map, int32_t row, int32_t col, int32_t index) {
  if (row < 0 || row >= map->rows || col < 0 || col >= map->cells_per_row) return;
  const int64_t cell = static_cast<int64_t>(row) * map->cells_per_row + col;
  if (cell < kViewMapCells) map->record[cell] = index;
}

void view_map_shift(ViewCellMap* map, int32_t shift) {
  for (int32_t& r : map->record)
    if (r >= 0) r = r >= shift ? r - shift : -1;
}

int32_t view_map_before(const ViewCellMap* map, int32_t row, int32_t col) {
  const int32_t n = map->cells_per_row;
  if (n < 1 || row < 0 || row >= map->rows || col < 0 || col > n) return -1;
  int64_t cell = static_cast<int64_t>(row) * n + col - 1;
  if (cell < 0) cell = static_cast<int64_t>(map->rows) * n - 1;
  return cell < kViewMapCells ? map->record[cell] : -1;
}

int32_t view_hit_edge(const ViewCellMap* map, const ViewMetrics& m, int32_t count, int32_t end_row, int32_t end_col,
                      int32_t x, int32_t y, int32_t* prev) {
  const int32_t n = map->cells_per_row, cell_w = view_cell_width(m), pitch = view_row_pitch(m);
  const RowLayout l = view_row_layout(m);
  const int32_t slack = px(kEventHitSlack, m.dpi);
  if (n < 1 || cell_w <= 2 * slack || pitch < 1 || x < m.margin - slack || y < l.clear_top) return -1;
  const int32_t col = (x - m.margin + slack) / cell_w, row = (y - l.clear_top) / pitch;
  const int32_t from_edge = x - (m.margin + col * cell_w);
  if (from_edge > slack || col > n || row >= map->rows) return -1;
  const int32_t in_row = y - row * pitch;
  if (in_row < l.upper_index || in_row >= l.lower_hex_back + m.big_h) return -1;
  int32_t index = -1;
  if (row == end_row && col == end_col) index = count;
  else if (col < n && static_cast<int64_t>(row) * n + col < kViewMapCells) index = map->record[row * n + col];
  if (index < 0 || index > count) return -1;
  *prev = view_map_before(map, row, col);
  return index;
}

namespace {

int is_data_kind(uint8_t kind) { return kind >= kKindRecvCh1 && kind <= kKindSentCh2; }
int is_marker_kind(uint8_t kind) { return kind >= kKindGapText && kind <= kKindGapLow; }

int in_band(int32_t y, int32_t top, int32_t bottom) { return y >= top && y < bottom; }

void data_info(const CaptureRecord* records, const int64_t* times, int32_t count, const LineShape shape[2],
               CellInfo* out) {
  out->silence = kSilenceUnknown;
  TimelineChunk c, previous;
  int has_previous = 0;
  if (!timeline_chunk_at(records, times, count, out->index, &c, &previous, &has_previous)) return;
  out->chunk_first = c.first;
  out->in_chunk = out->index - c.first;
  out->time_us = c.time_us;
  if (out->time_us != kTimeUnknown) {
    out->since_first_us = time_sub_us(out->time_us, timeline_first_time_us(records, times, count));
    if (out->since_first_us == kTimeUnknown) out->time_us = kTimeUnknown;
  }
  if (!has_previous) {
    out->silence = kSilenceFirst;
    return;
  }
  // The silence of the line (the previous chunk's own bytes on the line
  // are no silence), or the previous chunk's gap digits right behind it.
  const TimelineQuiet quiet = timeline_silence_of(previous, c, shape);
  if (quiet.from == kQuietFromTimes) {
    out->silence_us = quiet.us;
    out->silence = kSilenceTimes;
  } else if (quiet.from == kQuietFromDigits) {
    out->silence = kSilenceDigits;
    out->silence_tenths = quiet.tenths;
  }
}

void marker_info(const CaptureRecord* records, int32_t count, int32_t latest_marker, CellInfo* out) {
  const int32_t t = out->index - (out->kind - kKindGapText);
  const int whole = timeline_marker_whole(records, count, t);
  const int32_t start = whole ? t : out->index;
  out->gap_tenths = whole ? timeline_gap_digits_at(records, count, t) : -1;
  out->chunk_kind = start > 0 && is_data_kind(records[start - 1].kind) ? records[start - 1].kind : 0;
  out->gap_latest = whole && latest_marker >= 0 && t + 1 == latest_marker;
}

void arg_text(CellTipLine* line, int k, const char* text) {
  std::snprintf(line->args[k], kCellTipArgUnits, "%s", text);
}

// v / 10^decimals with exactly `decimals` digits after the point, signed.
void fixed_text(int64_t v, int decimals, char out[kCellTipArgUnits]) {
  uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  uint64_t scale = 1;
  for (int i = 0; i < decimals; i++) scale *= 10;
  std::snprintf(out, kCellTipArgUnits, "%s%llu.%0*llu", v < 0 ? "-" : "", static_cast<unsigned long long>(magnitude / scale),
                decimals, static_cast<unsigned long long>(magnitude % scale));
}

CellTipLine* next_line(CellTipLine out[kCellTipLines], int* n, int text) {
  CellTipLine* line = &out[(*n)++];
  line->text = text;
  for (auto& a : line->args) a[0] = 0;
  return line;
}

}  // namespace

int view_map_rows_of(const ViewCellMap* map, int32_t first, int32_t last, int32_t* top, int32_t* bottom) {
  const int64_t cells = static_cast<int64_t>(map->cells_per_row) * map->rows;
  *top = *bottom = -1;
  for (int64_t c = 0; c < cells && c < kViewMapCells; c++) {
    const int32_t r = map->record[c];
    if (r < first || r > last) continue;
    const int32_t row = static_cast<int32_t>(c / map->cells_per_row);
    if (*top < 0) *top = row;
    *bottom = row;
  }
  return *top >= 0;
}

int32_t view_hit_record(const ViewCellMap* map, const ViewMetrics& m, const CaptureRecord* records, int32_t count,
                        int32_t lm_mode, int32_t x, int32_t y) {
  const int32_t n = map->cells_per_row, cell_w = view_cell_width(m), pitch = view_row_pitch(m);
  const RowLayout l = view_row_layout(m);
  // Row k spans k * pitch + clear_top to the next row's: its SEND: strip
  // reaches below k * pitch + pitch.
  if (n < 1 || cell_w < 1 || pitch < 1 || x < m.margin || y < l.clear_top || !records) return -1;
  const int32_t col = (x - m.margin) / cell_w, row = (y - l.clear_top) / pitch;
  if (col >= n || row >= map->rows) return -1;
  const int64_t cell = static_cast<int64_t>(row) * n + col;
  if (cell >= kViewMapCells) return -1;
  const int32_t index = map->record[cell];
  if (index < 0 || index >= count) return -1;
  const int32_t in_row = y - row * pitch;
  switch (cell_place(records[index].kind, lm_mode)) {
    case kPlaceUpper: return in_band(in_row, l.upper_index, l.upper_hex_back + m.big_h) ? index : -1;
    case kPlaceLower: return in_band(in_row, l.lower_index, l.lower_hex + m.big_h) ? index : -1;
    case kPlaceMarker: return in_band(in_row, l.marker, l.marker + m.big_h) ? index : -1;
    default: return -1;
  }
}

int cell_info(const CaptureRecord* records, const int64_t* times, int32_t count, int32_t latest_marker, int32_t index,
              const LineShape shape[2], CellInfo* out) {
  if (!records || index < 0 || index >= count) return 1;
  const uint8_t kind = records[index].kind;
  if (!is_data_kind(kind) && !is_marker_kind(kind)) return 1;
  *out = CellInfo{};
  out->index = index;
  out->kind = kind;
  out->byte = capture_byte(records[index]);
  out->chunk_first = -1;
  out->time_us = kTimeUnknown;
  out->gap_tenths = -1;
  if (is_data_kind(kind)) data_info(records, times, count, shape, out);
  else marker_info(records, count, latest_marker, out);
  return 0;
}

const char* cell_channel_name(uint8_t kind) {
  switch (kind) {
    case kKindRecvCh1: return "CH1 RX";
    case kKindSentCh1: return "CH1 TX";
    case kKindRecvCh2: return "CH2 RX";
    case kKindSentCh2: return "CH2 TX";
    default: return "";
  }
}

int cell_tip_lines(const CellInfo& info, int64_t wall_offset_us, int32_t zone_minutes, CellTipLine out[kCellTipLines]) {
  int n = 0;
  char number[kCellTipArgUnits];
  if (is_marker_kind(info.kind)) {
    CellTipLine* head = next_line(out, &n, info.chunk_kind ? kTextTipGapMarker : kTextTipGapOrphan);
    arg_text(head, 0, cell_channel_name(info.chunk_kind));
    if (info.gap_tenths < 0) {
      next_line(out, &n, kTextTipGapUnknown);
    } else {
      CellTipLine* gap = next_line(out, &n, info.gap_latest ? kTextTipGapCounting : kTextTipGapSilence);
      fixed_text(info.gap_tenths, 1, gap->args[0]);
    }
    return n;
  }
  CellTipLine* head = next_line(out, &n, info.chunk_first >= 0 ? kTextTipByteOfChunk : kTextTipByteOfLongRun);
  arg_text(head, 0, cell_channel_name(info.kind));
  std::snprintf(number, sizeof number, "%d", info.in_chunk);
  arg_text(head, 1, number);

  char wall[32];
  const int64_t wall_us = time_add_us(info.time_us, wall_offset_us);
  if (wall_us != kTimeUnknown && timeline_format_wall(wall_us, zone_minutes, wall) == 0) {
    CellTipLine* time = next_line(out, &n, kTextTipTime);
    arg_text(time, 0, wall + 11);  // the time of day of "YYYY-MM-DD HH:MM:SS.uuuuuu"
    fixed_text(info.since_first_us, 6, time->args[1]);
  } else {
    next_line(out, &n, kTextTipTimeUnknown);
  }

  switch (info.silence) {
    case kSilenceFirst: next_line(out, &n, kTextTipSilenceFirst); break;
    case kSilenceTimes: fixed_text(info.silence_us, 3, next_line(out, &n, kTextTipSilence)->args[0]); break;
    case kSilenceDigits:
      std::snprintf(number, sizeof number, "%d", info.silence_tenths * 100);
      arg_text(next_line(out, &n, kTextTipSilenceDigits), 0, number);
      break;
    default: next_line(out, &n, kTextTipSilenceUnknown); break;
  }

  CellTipLine* byte = next_line(out, &n, kTextTipByte);
  std::snprintf(byte->args[0], kCellTipArgUnits, "%02X", info.byte);
  std::snprintf(byte->args[1], kCellTipArgUnits, "%d", info.byte);
  // Printable ASCII as it is, below it and DEL the cell's mnemonic; the
  // upper half has no one meaning without a code page.
  char16_t shown[3];
  const int units = byte_display_text(info.byte, shown);
  if (info.byte >= 0x80) arg_text(byte, 2, ".");
  else for (int k = 0; k <= units; k++) byte->args[2][k] = static_cast<char>(shown[k]);
  return n;
}

int event_tip_lines(const LineEvent* events, int32_t n, int64_t wall_offset_us, int32_t zone_minutes,
                    CellTipLine out[kCellTipLines]) {
  int lines = 0;
  for (int32_t i = 0; i < n && lines < kCellTipLines; i++) {
    const LineEvent& e = events[i];
    int text = kTextTipEventLoaded;
    switch (e.kind) {
      case kEventOpened: text = kTextTipEventOpened; break;
      case kEventClosed: text = kTextTipEventClosed; break;
      case kEventLost: text = e.detail ? kTextTipEventLost : kTextTipEventGone; break;
      case kEventBack: text = kTextTipEventBack; break;
      case kEventSettings: text = kTextTipEventSettings; break;
      case kEventLoaded: text = kTextTipEventLoaded; break;
      case kEventCleared: text = kTextTipEventCleared; break;
      case kEventRecordStopped: text = kTextTipRecordStopped; break;
      case kEventRefused: text = kTextTipEventRefused; break;
      default: continue;
    }
    CellTipLine* line = next_line(out, &lines, text);
    // The time of day to the millisecond: "HH:MM:SS.mmm" of
    // "YYYY-MM-DD HH:MM:SS.uuuuuu".
    char wall[32];
    const int64_t wall_us = time_add_us(e.time_us, wall_offset_us);
    if (wall_us != kTimeUnknown && timeline_format_wall(wall_us, zone_minutes, wall) == 0) {
      wall[23] = 0;
      arg_text(line, 0, wall + 11);
    } else {
      arg_text(line, 0, "--:--:--");
    }
    if (e.kind == kEventRecordStopped) std::snprintf(line->args[1], kCellTipArgUnits, "%u", e.detail);
    if (e.channel == 0) continue;
    // A network link has no COM number: the channel alone, or with the
    // client a listening channel took or refused.
    char peer[32];
    if (line_event_peer(e, peer)) std::snprintf(line->args[1], kCellTipArgUnits, "CH%d %.24s", e.channel, peer);
    else if (e.port) std::snprintf(line->args[1], kCellTipArgUnits, "CH%d COM%d", e.channel, e.port);
    else std::snprintf(line->args[1], kCellTipArgUnits, "CH%d", e.channel);
    if (e.kind == kEventLost && e.detail) std::snprintf(line->args[2], kCellTipArgUnits, "%u", e.detail);
    if (e.kind == kEventBack) fixed_text(e.detail, 3, line->args[2]);
    if (e.kind == kEventSettings) std::snprintf(line->args[2], kCellTipArgUnits, "%u", e.detail);
  }
  return lines;
}
