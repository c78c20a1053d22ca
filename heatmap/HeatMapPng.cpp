#include "heatmap/HeatMapPng.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <type_traits>

#include "heatmap/HeatMapModule.h"

namespace qx {
namespace {

// The picture's layout in pixels: the plot area between the margins, the
// colour scale to its right.
constexpr int kWidth = 860;
constexpr int kHeight = 660;
constexpr double kLeft = 90, kRight = 150, kTop = 56, kBottom = 72;
constexpr double kScaleGap = 24, kScaleWidth = 22;
constexpr double kFontSize = 13, kTitleSize = 15, kSubtitleSize = 11;
// At most this many labelled ticks per axis; further grid values go unlabelled.
constexpr std::size_t kMaxTicks = 11;
constexpr int kScaleTicks = 5;
constexpr double kUnstableGrey = 0.62, kUndefinedGrey = 0.86;

std::string Short(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g", value);
  return text;
}

void Text(cairo_t* cr, const std::string& text, double x, double y, double alignX, double alignY) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  cairo_move_to(cr, x - extents.width * alignX - extents.x_bearing, y - extents.height * alignY - extents.y_bearing);
  cairo_show_text(cr, text.c_str());
}

// Each grid value is the centre of its cell: the plot spans index -0.5 to
// n - 0.5.
double CellCentre(double origin, double size, std::size_t count, double index) {
  return origin + size * (index + 0.5) / static_cast<double>(count);
}

// Where `value` lies along the axis in cell units, interpolating between
// grid values; nothing when outside the grid.
bool AxisPosition(const std::vector<double>& values, double value, double& index) {
  if (values.size() == 1) {
    index = 0;
    return value == values[0];
  }
  if (value < values.front() || value > values.back()) return false;
  for (std::size_t i = 0; i + 1 < values.size(); ++i) {
    if (value <= values[i + 1]) {
      const double span = values[i + 1] - values[i];
      index = static_cast<double>(i) + (span > 0 ? (value - values[i]) / span : 0);
      return true;
    }
  }
  index = static_cast<double>(values.size() - 1);
  return true;
}

std::size_t TickStride(std::size_t count) { return (count + kMaxTicks - 1) / kMaxTicks; }

void DrawCells(cairo_t* cr, const sweep::HeatMap& map, double x0, double y0, double w, double h) {
  const std::size_t nx = map.X.size(), ny = map.Y.size();
  const double cw = w / static_cast<double>(nx), ch = h / static_cast<double>(ny);
  for (std::size_t ix = 0; ix < nx; ++ix) {
    for (std::size_t iy = 0; iy < ny; ++iy) {
      const sweep::MapCell& cell = map.At(ix, iy);
      const double x = x0 + cw * static_cast<double>(ix);
      const double y = y0 + h - ch * static_cast<double>(iy + 1);  // the Y axis grows upwards
      cairo_rectangle(cr, x, y, cw + 0.5, ch + 0.5);
      switch (cell.State) {
        case sweep::CellState::NotRun: cairo_set_source_rgb(cr, 1, 1, 1); break;
        case sweep::CellState::Unstable: cairo_set_source_rgb(cr, kUnstableGrey, kUnstableGrey, kUnstableGrey); break;
        case sweep::CellState::Undefined: cairo_set_source_rgb(cr, kUndefinedGrey, kUndefinedGrey, kUndefinedGrey); break;
        case sweep::CellState::Valued: {
          const sweep::Colour c = sweep::RampColour(map.ScalePosition(cell.Value));
          cairo_set_source_rgb(cr, c.R, c.G, c.B);
          break;
        }
      }
      cairo_fill(cr);
      if (cell.State == sweep::CellState::Unstable) {
        const double inset = std::min(cw, ch) * 0.25;
        cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
        cairo_set_line_width(cr, 1.2);
        cairo_move_to(cr, x + inset, y + inset);
        cairo_line_to(cr, x + cw - inset, y + ch - inset);
        cairo_move_to(cr, x + cw - inset, y + inset);
        cairo_line_to(cr, x + inset, y + ch - inset);
        cairo_stroke(cr);
      }
    }
  }
}

void DrawAxes(cairo_t* cr, const sweep::HeatMap& map, double x0, double y0, double w, double h) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, x0, y0, w, h);
  cairo_stroke(cr);
  cairo_set_font_size(cr, kFontSize);
  const std::size_t nx = map.X.size(), ny = map.Y.size();
  for (std::size_t ix = 0; ix < nx; ix += TickStride(nx)) {
    const double x = CellCentre(x0, w, nx, static_cast<double>(ix));
    cairo_move_to(cr, x, y0 + h);
    cairo_line_to(cr, x, y0 + h + 5);
    cairo_stroke(cr);
    Text(cr, Short(map.X[ix]), x, y0 + h + 8, 0.5, 0);
  }
  for (std::size_t iy = 0; iy < ny; iy += TickStride(ny)) {
    const double y = y0 + h - CellCentre(0, h, ny, static_cast<double>(iy));
    cairo_move_to(cr, x0 - 5, y);
    cairo_line_to(cr, x0, y);
    cairo_stroke(cr);
    Text(cr, Short(map.Y[iy]), x0 - 8, y, 1, 0.5);
  }
  Text(cr, map.XName, x0 + w / 2, y0 + h + 36, 0.5, 0);
  cairo_save(cr);
  cairo_translate(cr, x0 - 62, y0 + h / 2);
  cairo_rotate(cr, -M_PI / 2);
  Text(cr, map.YName, 0, 0, 0.5, 0.5);
  cairo_restore(cr);
}

// The case's own setting: a white dot ringed in black, at its place
// between the grid values.
void DrawCaseMark(cairo_t* cr, const sweep::HeatMap& map, double x0, double y0, double w, double h) {
  double ix = 0, iy = 0;
  if (!AxisPosition(map.X, map.CaseX, ix) || !AxisPosition(map.Y, map.CaseY, iy)) return;
  const double x = CellCentre(x0, w, map.X.size(), ix);
  const double y = y0 + h - CellCentre(0, h, map.Y.size(), iy);
  cairo_arc(cr, x, y, 7, 0, 2 * M_PI);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_fill_preserve(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
}

void DrawScale(cairo_t* cr, const sweep::HeatMap& map, double x, double y0, double h) {
  constexpr int kBands = 128;
  for (int i = 0; i < kBands; ++i) {
    const sweep::Colour c = sweep::RampColour((i + 0.5) / kBands);
    cairo_set_source_rgb(cr, c.R, c.G, c.B);
    cairo_rectangle(cr, x, y0 + h - h * (i + 1) / kBands, kScaleWidth, h / kBands + 0.5);
    cairo_fill(cr);
  }
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, x, y0, kScaleWidth, h);
  cairo_stroke(cr);
  cairo_set_font_size(cr, kFontSize);
  if (map.High < map.Low) {
    Text(cr, "no values", x, y0 - 10, 0, 1);
  } else {
    for (int i = 0; i < kScaleTicks; ++i) {
      const double position = static_cast<double>(i) / (kScaleTicks - 1);
      const double y = y0 + h - h * position;
      cairo_move_to(cr, x + kScaleWidth, y);
      cairo_line_to(cr, x + kScaleWidth + 5, y);
      cairo_stroke(cr);
      Text(cr, Short(map.ScaleValue(position)), x + kScaleWidth + 8, y, 0, 0.5);
    }
  }
  Text(cr, map.IndexName + (map.LogScale ? " (log)" : ""), x, y0 - 10, 0, 1);
  // The key of the cells that carry no colour.
  const double keyY = y0 + h + 18;
  cairo_set_source_rgb(cr, kUnstableGrey, kUnstableGrey, kUnstableGrey);
  cairo_rectangle(cr, x, keyY, 12, 12);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  Text(cr, "unstable", x + 18, keyY + 6, 0, 0.5);
  cairo_set_source_rgb(cr, kUndefinedGrey, kUndefinedGrey, kUndefinedGrey);
  cairo_rectangle(cr, x, keyY + 18, 12, 12);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  Text(cr, "undefined", x + 18, keyY + 24, 0, 0.5);
}

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};

}  // namespace

bool WriteHeatMapPng(const sweep::HeatMap& map, const std::string& title, const std::string& subtitle,
                     const std::string& path, std::string& error) {
  std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
    error = std::string("cannot draw the map: ") + cairo_status_to_string(cairo_surface_status(surface.get()));
    return false;
  }
  std::unique_ptr<cairo_t, ContextDeleter> context(cairo_create(surface.get()));
  cairo_t* cr = context.get();
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

  const double w = kWidth - kLeft - kRight, h = kHeight - kTop - kBottom;
  if (!map.X.empty() && !map.Y.empty()) {
    DrawCells(cr, map, kLeft, kTop, w, h);
    DrawCaseMark(cr, map, kLeft, kTop, w, h);
    DrawAxes(cr, map, kLeft, kTop, w, h);
  }
  DrawScale(cr, map, kLeft + w + kScaleGap, kTop, h - 50);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_font_size(cr, kTitleSize);
  Text(cr, title, kLeft, kTop * 0.35, 0, 0.5);
  cairo_set_font_size(cr, kSubtitleSize);
  Text(cr, subtitle, kLeft, kTop * 0.7, 0, 0.5);

  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
    error = std::string("cannot draw the map: ") + cairo_status_to_string(cairo_status(cr));
    return false;
  }
  const cairo_status_t written = cairo_surface_write_to_png(surface.get(), path.c_str());
  if (written != CAIRO_STATUS_SUCCESS) {
    error = "cannot write the map to '" + path + "': " + cairo_status_to_string(written);
    return false;
  }
  return true;
}

}  // namespace qx

// The module's one exported symbol (the build hides every other).
extern "C" [[gnu::visibility("default")]] bool qx_write_heat_map_png(const qx::sweep::HeatMap& map,
                                                                     const std::string& title,
                                                                     const std::string& subtitle,
                                                                     const std::string& path, std::string& error) {
  return qx::WriteHeatMapPng(map, title, subtitle, path, error);
}
static_assert(std::is_same_v<decltype(&qx_write_heat_map_png), qx::HeatMapEntry>);
