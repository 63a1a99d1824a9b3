#include "plot/panel.h"

#include <cmath>

#include "workspace/min_max.h"

namespace talvern::plot {

namespace {

constexpr double kPanelLimit = 1000000.0;

}  // namespace

int to_panel(double value) {
  if (std::isnan(value)) return static_cast<int>(kPanelLimit);
  if (value >= kPanelLimit) return static_cast<int>(kPanelLimit);
  if (value <= -kPanelLimit) return -static_cast<int>(kPanelLimit);
  return static_cast<int>(std::trunc(value));
}

std::optional<PanelPoint> map_standard(double energy, double intensity, const Range& r) {
  const double width = r.e_max - r.e_min;
  const double height = r.y_max - r.y_min;
  if (!(width != 0.0) || !(height != 0.0) || !std::isfinite(width) || !std::isfinite(height))
    return std::nullopt;
  // Energy in steps of 0.02 eV above the start of the range.
  const double k = std::trunc(50.0 * (energy - r.e_min));
  const double x = -100.0 - std::trunc(200.0 * k / width / (-50.0));
  const double y_scaled = std::trunc(kStandardRangeScale * intensity);
  const double y = -95.0 - std::trunc((y_scaled - r.y_min) * (-180.0) / height);
  return PanelPoint{to_panel(x), to_panel(y)};
}

std::optional<Trace> mapped_trace(const double* values, std::size_t rows, std::size_t k,
                                  std::size_t curves, const Range& range, Mapping mapping) {
  // A range whose minimum lies above its maximum is what an empty spectrum
  // leaves in a range file: no range to draw in.
  if (range.e_min > range.e_max || range.y_min > range.y_max) return std::nullopt;
  Trace t(rows, curves);
  t.axes = mapping.axes(range);
  t.energy.resize(rows);
  t.intensity.assign(curves, std::vector<double>(rows));
  for (std::size_t j = 0; j < rows; ++j) {
    t.energy[j] = values[j * k];
    for (std::size_t c = 0; c < curves; ++c) {
      const double intensity = values[j * k + c + 1];
      const auto p = mapping.map(values[j * k], intensity, range);
      if (!p) return std::nullopt;
      t.x[j] = p->x;
      t.y[c][j] = p->y;
      t.intensity[c][j] = intensity;
    }
  }
  return t;
}

std::optional<PanelPoint> map_comparison(double energy, double intensity, const Range& r) {
  const double width = r.e_max - r.e_min;
  if (!(width != 0.0) || !std::isfinite(width) || !(r.y_max != 0.0) || !std::isfinite(r.y_max))
    return std::nullopt;
  const double scale = 1000.0 / r.y_max;
  const double y0 = r.y_min * scale;
  const double height = 1000.0 - y0;
  if (!(height != 0.0) || !std::isfinite(height)) return std::nullopt;
  // Energy in steps of 0.01 eV; intensity in thousandths of the measured maximum.
  const double k = std::trunc(100.0 * (energy - r.e_min));
  const double x = -100.0 - std::trunc(200.0 * k / width / (-100.0));
  const double y_scaled = std::trunc(kExpRangeScale * intensity * scale);
  const double y = -95.0 - std::trunc((y_scaled - y0) * (-180.0) / height);
  return PanelPoint{to_panel(x), to_panel(y)};
}

std::optional<PanelPoint> map_calculated(double energy, double intensity, const Range& r) {
  const double width = r.e_max - r.e_min;
  if (!(width != 0.0) || !std::isfinite(width) || !(r.y_max != 0.0) || !std::isfinite(r.y_max))
    return std::nullopt;
  const double scale = 1000.0 / r.y_max;
  const double top = r.y_max * scale;  // 1000, up to rounding
  const double bottom = r.y_min * scale;
  const double height = top - bottom;
  if (!(height != 0.0) || !std::isfinite(height)) return std::nullopt;
  const double k = std::trunc(100.0 * (energy - r.e_min));
  const double x = -100.0 - std::trunc(200.0 * k / width / (-100.0));
  const double n = std::trunc((intensity * kCalculatedRangeScale) * scale);
  const double y = -95.0 - std::trunc((n - bottom) * (-180.0) / height);
  return PanelPoint{to_panel(x), to_panel(y)};
}

const Mapping kStandardMapping{map_standard, kStandardRangeScale};
const Mapping kComparisonMapping{map_comparison, kExpRangeScale};
const Mapping kCalculatedMapping{map_calculated, kCalculatedRangeScale};

void pixel_to_frame(double px, double py, int w, int h, double& fx, double& fy) {
  // The drawing puts the frame origin at pixel (w / 2, h / 2) and stretches
  // 220 units over w and -h pixels.
  fx = w > 0 ? (px - w / 2) * kLogicalExtent / w : 1e6;
  fy = h > 0 ? (h / 2 - py) * kLogicalExtent / h : 1e6;
}

PanelPoint pixel_to_panel(int px, int py, int w, int h) {
  if (w <= 0 || h <= 0) return {static_cast<int>(kPanelLimit), static_cast<int>(kPanelLimit)};
  double x = 0, y = 0;
  pixel_to_frame(px, py, w, h, x, y);
  return {to_panel(x), to_panel(y)};
}

bool click_accepted(ClickPoint p) {
  if (p.energy) return true;
  return p.x >= -96 && p.x <= 96 && p.y >= -100 && p.y <= 100;
}

double click_energy(double x_l, double e_min, double e_max) {
  return Axes{.e_lo = e_min, .e_hi = e_max}.energy_at(x_l);
}

double click_energy(const ClickPoint& p, double e_min, double e_max) {
  return p.energy ? *p.energy : click_energy(p.x, e_min, e_max);
}

double click_marker_x(const ClickPoint& p, double e_min, double e_max) {
  return p.energy ? Axes{.e_lo = e_min, .e_hi = e_max}.x_of(*p.energy) : p.x;
}

}  // namespace talvern::plot
