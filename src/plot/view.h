#pragma once
// What a panel shows of its curves: the zoomed view, the axis values at the
// grid lines, the readout under the mouse, the click under the mouse and the
// curves in physical units for export. Nothing here draws.
//
// Frame coordinates are panel coordinates of the unzoomed panel: where on
// the panel something lies, -100..100 across the frame. A view is the
// rectangle of panel coordinates the frame shows; the full view shows
// -100..100 both ways, so frame and panel coordinates coincide.

#include <optional>
#include <string>
#include <vector>

#include "plot/panel.h"

namespace talvern::plot {

struct View {
  double x_lo = -kFrameHalf, x_hi = kFrameHalf, y_lo = -kFrameHalf, y_hi = kFrameHalf;

  bool full() const;
  bool operator==(const View&) const = default;
  // Panel coordinate shown at frame coordinate f, and back.
  double x_at(double f) const { return x_lo + (x_hi - x_lo) * (f + kFrameHalf) / (2 * kFrameHalf); }
  double y_at(double f) const { return y_lo + (y_hi - y_lo) * (f + kFrameHalf) / (2 * kFrameHalf); }
  double frame_x(double x) const { return -kFrameHalf + 2 * kFrameHalf * (x - x_lo) / (x_hi - x_lo); }
  double frame_y(double y) const { return -kFrameHalf + 2 * kFrameHalf * (y - y_lo) / (y_hi - y_lo); }
};

// Narrowest view, in panel units (0.0125 eV over a 250 eV range).
constexpr double kMinViewSpan = 0.01;

// The view that shows the rectangle between frame points (fx0, fy0) and
// (fx1, fy1) of `v`, kept inside the full view and no narrower than
// kMinViewSpan.
View zoom_to(const View& v, double fx0, double fy0, double fx1, double fy1);

// `v` scaled by `factor` around frame point (fx, fy), which stays where it
// is (factor < 1 zooms in). Zooming out stops at the full view.
View zoom_around(const View& v, double fx, double fy, double factor);

// The click at pixel (px, py) of a panel of w x h pixels showing `v`. In
// the full view it is the whole-unit panel point of the nearest pixel, as
// ever; in a zoomed view the exact panel point under the mouse, or the frame
// point itself when that lies outside the accepted area, so that a click
// beside the frame stays refused.
ClickPoint click_point(double px, double py, int w, int h, const View& v);

// An axis value: its frame coordinate and its text.
struct Tick {
  double at;
  std::string text;
};

// Values for an axis from lo to hi: the multiples of a step of 1, 2 or 5
// times a power of ten that lie within [lo, hi], four to eight of them (the
// step with the fewest that gives four). Where no such step gives four to
// eight (a span just under 20 x 10^n from just above a multiple of 5 x 10^n),
// the coarser step's three. Empty when the range is empty or not finite.
std::vector<double> tick_values(double lo, double hi);

// The text of tick value `value` on an axis of ticks `step` apart: the
// decimals the step needs, or significant digits for very small steps and
// very large values.
std::string tick_text(double value, double step);

// Energy values along the bottom of the frame and intensity values up its
// side, for a panel with `axes` showing `v`: tick_values over what the
// frame shows.
std::vector<Tick> energy_ticks(const Axes& axes, const View& v);
std::vector<Tick> intensity_ticks(const Axes& axes, const View& v);

// "E = 7112.3 eV, I = 0.512" for frame point (fx, fy).
std::string readout_text(const Axes& axes, const View& v, double fx, double fy);

// The readout of a panel whose clicks set an energy: the energy `click`
// sets (click_energy over the axes' energy range), in the edit-box notation
// with `digits` significant digits the click command writes it in, and the
// intensity at frame y `fy`.
std::string click_readout_text(const Axes& axes, const View& v, const ClickPoint& click, double fy,
                               int digits);

// `value` with as many digits as a thousandth of `span` needs.
std::string axis_text(double value, double span);

// Axes of the first curve that has values; empty when none has.
std::optional<Axes> panel_axes(const std::vector<Curve>& curves);

// The curves that have values, as CSV text: a header "energy_eV" followed by
// "<name>_intensity" for each curve, then one row per energy in ascending
// order with the intensity of each curve that has a point there (empty
// fields elsewhere, and for values that are not finite).
std::string curves_csv(const std::vector<Curve>& curves);

}  // namespace talvern::plot
