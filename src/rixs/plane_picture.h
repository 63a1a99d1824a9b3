#pragma once
// The picture of a RIXS plane: a colour map (excitation energy across,
// emission energy or energy transfer upwards) with axis values and a colour
// bar, drawn into plain RGB pixels, so that the dialog shows and the command
// line saves the same picture without a window system.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plot/panel.h"
#include "rixs/rixs_plane.h"

namespace talvern {

// The perceptually uniform colour scale (viridis) at t in [0, 1].
plot::Rgb viridis(double t);

// The diverging scale of a difference at t in [0, 1]: blue at 0, white at
// 0.5 (no difference), red at 1.
plot::Rgb diverging(double t);

// The finite values a colour scale is to span, added one by one.
struct ValueSpan {
  double lo = HUGE_VAL, hi = -HUGE_VAL, lo_positive = HUGE_VAL;
  void add(double v) {
    if (!std::isfinite(v)) return;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
    if (v > 0) lo_positive = std::min(lo_positive, v);
  }
  // Lowest and highest value; on the logarithmic scale four decades below
  // the highest at most, and never 0 or below (nothing when no value is
  // above 0, or none was added).
  std::optional<std::pair<double, double>> colour_range(bool log) const;
};

// The colour range of the plane's total intensities, as ValueSpan gives it.
std::optional<std::pair<double, double>> colour_range(const RIXSPlane& plane, bool log);

// Where `value` lies on the colour scale over [lo, hi]: 0 ... 1, values
// outside held at the ends (on the logarithmic scale, 0 and below at 0).
double colour_position(double value, double lo, double hi, bool log);

// Where the parts of the picture lie, in pixels, and the axis values at the
// edges of the map (which reach half a step beyond the first and last points).
struct PlaneLayout {
  int width = 0, height = 0;
  int x0 = 0, y0 = 0, w = 0, h = 0;  // the map: left, top, width, height
  int bar_x = 0;                     // left edge of the colour bar (as tall as the map)
  double x_lo = 0, x_hi = 1, y_lo = 0, y_hi = 1;

  // The axis values at the centre of pixel (px, py), and the pixel
  // position (fractional) of axis values x and y.
  double x_at(int px) const { return x_lo + (x_hi - x_lo) * (px - x0 + 0.5) / w; }
  double y_at(int py) const { return y_hi - (y_hi - y_lo) * (py - y0 + 0.5) / h; }
  double px_of(double x) const { return x0 + (x - x_lo) / (x_hi - x_lo) * w; }
  double py_of(double y) const { return y0 + (y_hi - y) / (y_hi - y_lo) * h; }
  bool inside(int px, int py) const { return px >= x0 && py >= y0 && px < x0 + w && py < y0 + h; }
};
PlaneLayout plane_layout(const RIXSPlane& plane, int width, int height);

// The colour bar beside a map: its scale, the values it spans (none: no
// values are written), logarithmic or not, and the title under it.
struct ColourBar {
  plot::Rgb (*scale)(double) = viridis;
  std::optional<std::pair<double, double>> range;
  bool log = false;
  std::string title;
};

// A layout of width x height pixels (at least 200 x 150) over the axis
// ranges given, whose margins are as wide as the axis values and the values
// of the colour bars `bars` need (every bar of pictures that are to share
// the layout), with `top` pixels above the map for a title.
PlaneLayout fitted_layout(int width, int height, int top, double x_lo, double x_hi, double y_lo,
                          double y_hi, const std::vector<ColourBar>& bars);

struct PlanePicture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // row by row, three bytes a pixel
  PlaneLayout layout;
  plot::Rgb pixel(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
};

// The whole picture at width x height pixels (at least 200 x 150).
PlanePicture render_plane(const RIXSPlane& plane, bool log, int width, int height);

// The pieces of a picture, for maps of other data. A white picture of the
// layout's size; the frame of the map, the axis values (with `values`) and
// both axis titles (upwards the emission energy, or with `transfer` the
// energy transfer, shorter when the picture is low); the colour bar with its
// values and title; text in the pictures' glyphs with its top left corner
// at (x, y), and its width in pixels.
PlanePicture blank_picture(const PlaneLayout& layout);
void draw_map_axes(PlanePicture& p, bool values, bool transfer);
void draw_colour_bar(PlanePicture& p, const ColourBar& bar);
void draw_text(PlanePicture& p, int x, int y, const std::string& s);
int text_width(const std::string& s);

// The pictures' text is DejaVu Sans from this file (Debian's
// fonts-dejavu-core), read by FreeType for the first picture; when it
// cannot be read, built-in 5 x 7 glyphs drawn at twice their size.
inline constexpr const char* kPictureFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
// Takes the pictures' font from `file` instead; false, with the built-in
// glyphs from then on, when it cannot be read.
bool use_picture_font(const std::string& file);
// The "CAUTION!!" line of a saved picture whose text is in the built-in
// glyphs; empty when the font was read.
std::string picture_font_caution();

// The colour of a map where nothing lies.
constexpr plot::Rgb kEmptyColour{235, 235, 235};

// The data point (row, column) under pixel (px, py) of a picture laid out
// by `layout`; nothing outside the map or where no point lies (the corners
// of an energy-transfer map).
std::optional<std::pair<std::size_t, std::size_t>> plane_point_at(const RIXSPlane& plane,
                                                                  const PlaneLayout& layout,
                                                                  int px, int py);

// Ticks for an axis from lo to hi: multiples of 1, 2 or 5 times a power of
// ten, about `target` of them, with the digits their labels need.
struct Ticks {
  std::vector<double> values;
  int decimals = 0;
};
Ticks nice_ticks(double lo, double hi, int target);

// The picture as the bytes of a PNG file (none for an empty picture) and
// as an SVG document, for a save of the user's file (save_user_file).
std::optional<std::string> plane_png(const PlanePicture& picture);
std::string plane_svg(const RIXSPlane& plane, bool log, int width, int height);

}  // namespace talvern
