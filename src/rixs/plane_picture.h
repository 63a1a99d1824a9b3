#pragma once
// The picture of a RIXS plane: a colour map (excitation energy across,
// emission energy or energy transfer upwards) with axis values and a colour
// bar, drawn into plain RGB pixels, so that the dialog shows and the command
// line saves the same picture without a window system.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plot/panel.h"
#include "rixs/rixs_plane.h"

namespace talvern {

// The perceptually uniform colour scale (viridis) at t in [0, 1].
plot::Rgb viridis(double t);

// Intensity range of the colour scale: lowest and highest value; on the
// logarithmic scale four decades below the highest at most, and never 0 or
// below (nothing when no value is above 0).
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
};
PlaneLayout plane_layout(const RIXSPlane& plane, int width, int height);

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

// The picture as PNG and SVG files, replaced whole; false when the file
// could not be written.
bool write_plane_png(const std::filesystem::path& file, const PlanePicture& picture);
bool write_plane_svg(const std::filesystem::path& file, const RIXSPlane& plane, bool log,
                     int width, int height);

}  // namespace talvern
