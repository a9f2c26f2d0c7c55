#include "plot/plot_draw_win.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

// The GDI+ headers use min and max unqualified, which NOMINMAX takes away,
// and the COM types WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "app/capture.h"
#include "plot/plot_axis.h"
#include "settings/message_text.h"
#include "ui/scale.h"

namespace {

ULONG_PTR g_token = 0;

// Eight hues told apart on white and on near black; the dark palette takes
// them lighter.
constexpr COLORREF kLight[8] = {RGB(0, 90, 200),  RGB(200, 60, 0),  RGB(0, 140, 60),  RGB(150, 0, 170),
                                RGB(170, 120, 0), RGB(0, 130, 150), RGB(200, 0, 90),  RGB(90, 90, 90)};
constexpr COLORREF kDark[8] = {RGB(90, 170, 255), RGB(255, 140, 70), RGB(80, 210, 120), RGB(215, 130, 255),
                               RGB(240, 200, 70), RGB(70, 210, 230), RGB(255, 110, 170), RGB(190, 190, 190)};

int dark_background(COLORREF b) {
  return GetRValue(b) * 299 + GetGValue(b) * 587 + GetBValue(b) * 114 < 128000;
}

Gdiplus::Color color_of(COLORREF c, BYTE alpha = 255) {
  return Gdiplus::Color(alpha, GetRValue(c), GetGValue(c), GetBValue(c));
}

// `a` over `b` at opacity alpha / 255.
COLORREF mix(COLORREF a, COLORREF b, int alpha) {
  auto part = [&](int x, int y) { return static_cast<BYTE>((x * alpha + y * (255 - alpha) + 127) / 255); };
  return RGB(part(GetRValue(a), GetRValue(b)), part(GetGValue(a), GetGValue(b)), part(GetBValue(a), GetBValue(b)));
}

int is_shown(const PlotPicture& p, int k) { return !p.shown || p.shown[k]; }

// The least and greatest value of the envelope's columns (some column has a point).
int column_range(const std::vector<PlotColumn>& cols, double* lo, double* hi) {
  int any = 0;
  for (const PlotColumn& c : cols) {
    if (!c.n) continue;
    if (!any || c.min < *lo) *lo = c.min;
    if (!any || c.max > *hi) *hi = c.max;
    any = 1;
  }
  return any;
}

void widen(double* lo, double* hi) {
  if (*hi - *lo < 1e-12 * std::max(1.0, std::fabs(*hi))) {
    *lo -= 1;
    *hi += 1;
  }
  const double pad = (*hi - *lo) * 0.05;
  *lo -= pad;
  *hi += pad;
}

// The first sans serif face this system has (Windows has the first ones,
// Wine on Linux often only the host's), or null.
const wchar_t* label_face() {
  // Asked once: under Wine each family looked up asks the host's fonts.
  static int asked = 0;
  static const wchar_t* face = nullptr;
  if (asked) return face;
  asked = 1;
  for (const wchar_t* name : {L"Segoe UI", L"Tahoma", L"Microsoft Sans Serif", L"Arial", L"DejaVu Sans",
                              L"Liberation Sans"}) {
    Gdiplus::FontFamily f(name);
    if (f.GetLastStatus() == Gdiplus::Ok) return face = name;
  }
  return nullptr;
}

// The picture's texts, drawn last in one pass with GDI: GDI+'s own text
// costs most of a paint under Wine (about 0.5 ms a label).
struct Label {
  wchar_t text[kPlotNameBytes + 40];
  int x, y;
  COLORREF colour;
  int right_aligned;
  int clip;  // > 0: left out when it would reach past this x
};

void text_at(std::vector<Label>& labels, const wchar_t* s, float x, float y, COLORREF colour, int right_aligned = 0,
             int clip = 0) {
  Label l;
  lstrcpynW(l.text, s, kPlotNameBytes + 40);
  l.x = static_cast<int>(std::lround(x));
  l.y = static_cast<int>(std::lround(y));
  l.colour = colour;
  l.right_aligned = right_aligned;
  l.clip = clip;
  try {
    labels.push_back(l);
  } catch (...) {
  }
}

void draw_labels(Gdiplus::Graphics& g, const std::vector<Label>& labels, int dpi) {
  const wchar_t* face = label_face();
  HDC dc = g.GetHDC();
  if (!dc) return;
  HFONT font = CreateFontW(-px(11, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, face ? face : L"");
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  for (const Label& l : labels) {
    const int n = lstrlenW(l.text);
    SIZE size = {};
    GetTextExtentPoint32W(dc, l.text, n, &size);
    const int x = l.right_aligned ? l.x - size.cx : l.x;
    if (l.clip > 0 && x + size.cx > l.clip) continue;  // the edge would cut it
    SetTextColor(dc, l.colour);
    TextOutW(dc, x, l.y, l.text, n);
  }
  SelectObject(dc, old);
  DeleteObject(font);
  g.ReleaseHDC(dc);
}

void widen_text(const char* in, wchar_t* out, int units) {
  MultiByteToWideChar(CP_ACP, 0, in, -1, out, units);
  out[units - 1] = 0;
}

// One series's envelope within the lane [top, bottom] over `left` + x.
void draw_series(Gdiplus::Graphics& g, const std::vector<PlotColumn>& cols, float left, float top, float bottom,
                 double lo, double hi, const Gdiplus::Pen& pen) {
  const double scale = (bottom - top) / (hi - lo);
  const Gdiplus::SmoothingMode mode = g.GetSmoothingMode();
  g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  auto y_of = [&](double v) { return static_cast<float>(bottom - (v - lo) * scale); };
  std::vector<Gdiplus::PointF> line;
  auto flush = [&]() {
    if (line.size() > 1) g.DrawLines(&pen, line.data(), static_cast<INT>(line.size()));
    line.clear();
  };
  // Each column's span from its least to its greatest value: one filled
  // pixel column each, all in one call (a line each costs far more).
  std::vector<Gdiplus::RectF> spans;
  for (size_t x = 0; x < cols.size(); x++) {
    const PlotColumn& c = cols[x];
    if (c.n && c.max > c.min)
      spans.push_back(Gdiplus::RectF(left + static_cast<float>(x), y_of(c.max), 1.0f, y_of(c.min) - y_of(c.max)));
  }
  if (!spans.empty()) {
    Gdiplus::Color colour;
    pen.GetColor(&colour);
    Gdiplus::SolidBrush brush(colour);
    g.FillRectangles(&brush, spans.data(), static_cast<INT>(spans.size()));
  }
  for (size_t x = 0; x < cols.size(); x++) {
    const PlotColumn& c = cols[x];
    if (!c.n) continue;
    const float fx = left + static_cast<float>(x) + 0.5f;
    if (line.size() > 4096) flush();
    line.push_back(Gdiplus::PointF(fx, y_of(c.last)));
  }
  if (line.size() == 1) g.DrawLine(&pen, line[0].X - 1, line[0].Y, line[0].X + 1, line[0].Y);
  flush();
  g.SetSmoothingMode(mode);
}

void draw_parts(Gdiplus::Graphics& g, const RECT& r, const PlotPicture& p, std::vector<Label>& labels) {
  // The grid and the axes run along the pixels in colours of their own (no
  // blending): only the series are smoothed, which under Wine is what costs.
  g.SetSmoothingMode(Gdiplus::SmoothingModeNone);
  const COLORREF back = p.back, ink = p.ink;
  Gdiplus::SolidBrush back_brush(color_of(back));
  Gdiplus::Pen grid(color_of(mix(ink, back, 40)), 1.0f), axis(color_of(mix(ink, back, 110)), 1.0f);
  g.FillRectangle(&back_brush, static_cast<INT>(r.left), static_cast<INT>(r.top), static_cast<INT>(r.right - r.left),
                  static_cast<INT>(r.bottom - r.top));
  const int dpi = p.dpi > 0 ? p.dpi : 96;
  const float label_h = static_cast<float>(px(14, dpi));
  const RECT data = plot_data_rect(r, dpi);
  const float left = static_cast<float>(data.left), right = static_cast<float>(data.right);
  const float top = static_cast<float>(data.top), bottom = static_cast<float>(data.bottom);
  const int columns = static_cast<int>(right - left);
  if (columns < 8 || bottom - top < 16 || p.to_us <= p.from_us || !p.set) return;
  // The time axis: ticks a clock reads naturally, about one per 100 px.
  const int64_t span = p.to_us - p.from_us;
  const int64_t step = plot_time_step(span, std::max(1, columns / px(100, dpi)));
  for (int64_t t = plot_first_tick(p.from_us, step); t <= p.to_us; t += step) {
    const float x = left + static_cast<float>(static_cast<double>(t - p.from_us) * columns / span);
    g.DrawLine(&grid, x, top, x, bottom);
    char label[16];
    wchar_t w[16];
    plot_time_label(t, step, label);
    widen_text(label, w, 16);
    text_at(labels, w, x - px(30, dpi), bottom + px(4, dpi), ink, 0, r.right);
  }
  g.DrawRectangle(&axis, left, top, right - left, bottom - top);
  std::vector<int> drawn;
  for (int k = 0; k < p.set->n; k++)
    if (is_shown(p, k) && p.set->series[k]->points > 0) drawn.push_back(k);
  if (drawn.empty()) return;
  std::vector<std::vector<PlotColumn>> env(drawn.size(), std::vector<PlotColumn>(static_cast<size_t>(columns)));
  for (size_t i = 0; i < drawn.size(); i++)
    plot_envelope(p.set->series[drawn[i]], p.from_us, p.to_us, columns, env[i].data());
  const COLORREF* hues = dark_background(back) ? kDark : kLight;
  const int lanes = p.overlay ? 1 : static_cast<int>(drawn.size());
  const float lane_h = (bottom - top) / static_cast<float>(lanes);
  double all_lo = 0, all_hi = 0;
  int all_any = 0;
  for (auto& cols : env) {
    double lo = 0, hi = 0;
    if (!column_range(cols, &lo, &hi)) continue;
    all_lo = all_any ? std::min(all_lo, lo) : lo;
    all_hi = all_any ? std::max(all_hi, hi) : hi;
    all_any = 1;
  }
  for (size_t i = 0; i < drawn.size(); i++) {
    const int lane = p.overlay ? 0 : static_cast<int>(i);
    const float lt = top + lane * lane_h + px(3, dpi), lb = top + (lane + 1) * lane_h - px(3, dpi);
    double lo = all_lo, hi = all_hi;
    int any = all_any;
    if (!p.overlay) {
      lo = hi = 0;
      any = column_range(env[i], &lo, &hi);
    }
    if (!any) lo = 0, hi = 1;
    widen(&lo, &hi);
    if (lane > 0 && !p.overlay) g.DrawLine(&axis, left, top + lane * lane_h, right, top + lane * lane_h);
    // Value ticks of this lane (or of the one scale, once).
    if (!p.overlay || i == 0) {
      const int ticks = std::max(1, static_cast<int>((lb - lt) / px(28, dpi)));
      const double vstep = plot_value_step(lo, hi, ticks);
      for (double v = std::ceil(lo / vstep) * vstep; v <= hi; v += vstep) {
        const float y = static_cast<float>(lb - (v - lo) * (lb - lt) / (hi - lo));
        g.DrawLine(&grid, left, y, right, y);
        char label[24];
        wchar_t w[24];
        plot_value_label(v, vstep, label);
        widen_text(label, w, 24);
        text_at(labels, w, left - px(4, dpi), y - label_h / 2, ink, 1);
      }
    }
    const PlotSeries* s = p.set->series[drawn[i]];
    Gdiplus::Pen pen(color_of(hues[drawn[i] % 8]), static_cast<Gdiplus::REAL>(std::max(1, px(1, dpi)) * 1.5));
    draw_series(g, env[i], left, lt, lb, lo, hi, pen);
    // Its name, and its value at the cursor.
    char name[kPlotNameBytes + 40];
    double v;
    if (p.cursor_us != kTimeUnknown && plot_value_at(s, p.cursor_us, &v))
      snprintf(name, sizeof name, "%s%s%s = %.10g", s->channel ? "CH" : "", s->channel ? (s->channel == 1 ? "1 " : "2 ") : "",
               s->name, v);
    else
      snprintf(name, sizeof name, "%s%s%s", s->channel ? "CH" : "", s->channel ? (s->channel == 1 ? "1 " : "2 ") : "", s->name);
    wchar_t w[kPlotNameBytes + 40];
    widen_text(name, w, kPlotNameBytes + 40);
    const float name_y = p.overlay ? lt + static_cast<float>(i) * label_h : lt;
    text_at(labels, w, left + px(6, dpi), name_y, hues[drawn[i] % 8]);
  }
  if (p.cursor_us != kTimeUnknown && p.cursor_us >= p.from_us && p.cursor_us <= p.to_us) {
    const float x = left + static_cast<float>(static_cast<double>(p.cursor_us - p.from_us) * columns / span);
    g.DrawLine(&axis, x, top, x, bottom);
  }
}

void draw(Gdiplus::Graphics& g, const RECT& r, const PlotPicture& p) {
  std::vector<Label> labels;
  draw_parts(g, r, p, labels);
  draw_labels(g, labels, p.dpi > 0 ? p.dpi : 96);
}

int png_encoder(CLSID* out) {
  UINT n = 0, size = 0;
  if (Gdiplus::GetImageEncodersSize(&n, &size) != Gdiplus::Ok || size == 0) return 1;
  std::vector<BYTE> buffer(size);
  Gdiplus::ImageCodecInfo* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::GetImageEncoders(n, size, codecs) != Gdiplus::Ok) return 1;
  for (UINT i = 0; i < n; i++)
    if (lstrcmpW(codecs[i].MimeType, L"image/png") == 0) {
      *out = codecs[i].Clsid;
      return 0;
    }
  return 1;
}

}  // namespace

RECT plot_data_rect(const RECT& r, int dpi) {
  if (dpi <= 0) dpi = 96;
  return RECT{r.left + px(64, dpi), r.top + px(6, dpi), r.right - px(8, dpi), r.bottom - px(22, dpi)};
}

int plot_gdiplus_start() {
  if (g_token) return 0;
  Gdiplus::GdiplusStartupInput in;
  return Gdiplus::GdiplusStartup(&g_token, &in, nullptr) == Gdiplus::Ok ? 0 : 1;
}

COLORREF plot_series_color(int k, COLORREF back) { return (dark_background(back) ? kDark : kLight)[k % 8]; }

int plot_picture_span(const PlotPicture& p, int64_t* from_us, int64_t* to_us) {
  int any = 0;
  for (int k = 0; p.set && k < p.set->n; k++) {
    const PlotSeries* s = p.set->series[k];
    if (!is_shown(p, k) || s->points == 0) continue;
    if (!any || s->first_us < *from_us) *from_us = s->first_us;
    if (!any || s->last_us > *to_us) *to_us = s->last_us;
    any = 1;
  }
  if (any) *to_us += 1;  // the span ends after its last point
  if (any && *to_us - *from_us < 1000000) *to_us = *from_us + 1000000;  // a moment alone: a second from it
  return any;
}

void plot_draw(HDC dc, const RECT& r, const PlotPicture& p) {
  if (plot_gdiplus_start()) return;
  Gdiplus::Graphics g(dc);
  draw(g, r, p);
}

void* plot_picture_bitmap(int width, int height, const PlotPicture& p, int* failure) {
  *failure = 0;
  if (plot_gdiplus_start()) {
    *failure = kTextExportNoMemory;
    return nullptr;
  }
  auto* bitmap = new Gdiplus::Bitmap(width, height, PixelFormat24bppRGB);  // GDI+'s own new: null when short
  if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok) {
    delete bitmap;
    *failure = kTextExportNoMemory;
    return nullptr;
  }
  {
    Gdiplus::Graphics g(bitmap);
    RECT r = {0, 0, width, height};
    draw(g, r, p);
  }
  return bitmap;
}

int plot_save_png(void* picture, const wchar_t* path) {
  auto* bitmap = static_cast<Gdiplus::Bitmap*>(picture);
  CLSID png;
  int result = 0;
  if (png_encoder(&png)) {
    result = kTextExportWriteFailed;  // nothing written: a file already there stays
  } else if (bitmap->Save(path, &png, nullptr) != Gdiplus::Ok) {
    result = kTextExportWriteFailed;
    DeleteFileW(path);  // not whole
  }
  delete bitmap;
  return result;
}

int plot_write_png(const wchar_t* path, int width, int height, const PlotPicture& p) {
  int failure;
  void* bitmap = plot_picture_bitmap(width, height, p, &failure);
  return bitmap ? plot_save_png(bitmap, path) : failure;
}
