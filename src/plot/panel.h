#pragma once
// Plot panels: coordinates, traces, pens, the curve rule and the mappings
// between spectrum values and panel coordinates. Nothing here draws; the
// panel widget walks these data with a painter.
//
// Panel coordinates: origin at the centre of the panel, 220 units across
// the full width and the full height (so +-110 reach the edges), x to the
// right, y upwards. The plot frame is the square (-100, -100)..(100, 100).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace talvern::plot {

constexpr int kLogicalExtent = 220;
constexpr int kFrameHalf = 100;
// Every mapping puts the top of its range here (y = 85).
constexpr int kRangeTop = 85;
// Grid lines are drawn at these positions, horizontal and vertical.
constexpr int kGridLines[] = {-50, 0, 50};

struct Rgb {
  std::uint8_t r, g, b;
  bool operator==(const Rgb&) const = default;
};

constexpr Rgb kPanelFill{255, 255, 255};
constexpr Rgb kFrameFill{230, 230, 230};

enum class Pen { frame, grid, red, blue, sky_blue, pink, green, marker };

struct PenStyle {
  Rgb colour;
  bool dotted;
};

// Every pen is one pixel wide.
constexpr PenStyle pen_style(Pen pen) {
  switch (pen) {
    case Pen::frame: return {{0, 0, 0}, false};
    case Pen::grid: return {{100, 100, 100}, true};
    case Pen::red: return {{255, 0, 0}, false};
    case Pen::blue: return {{0, 0, 255}, false};
    case Pen::sky_blue: return {{0, 200, 255}, true};
    case Pen::pink: return {{255, 128, 255}, false};
    case Pen::green: return {{0, 150, 0}, true};
    case Pen::marker: return {{230, 120, 0}, false};  // an energy the dialog holds
  }
  return {{0, 0, 0}, false};
}

// The rectangle within which the points of a curve are joined by lines.
struct ClipWindow {
  int x_lo = -97, x_hi = 97;
  int y_lo = -95, y_hi = 95;
  bool contains(int x, int y) const { return x >= x_lo && x <= x_hi && y >= y_lo && y <= y_hi; }
  bool operator==(const ClipWindow&) const = default;
};

// Clip windows of the panels whose curves are not held to the usual one.
constexpr ClipWindow kConventionalXAFSClip{-97, 97, -94, 94};
constexpr ClipWindow kLorentzianClip{-97, 97, -90, 95};  // the pink curve of "Selective XAFS"

// Physical scale of a panel: the energies at x = -100 and 100 and the
// intensities at y = -95 and 85. It is the mapping without its truncations,
// so axis values, the readout and a zoomed view can be finer than one unit.
struct Axes {
  double e_lo = 0, e_hi = 0, i_lo = 0, i_hi = 0;

  double x_of(double energy) const { return -100.0 + 200.0 * (energy - e_lo) / (e_hi - e_lo); }
  double y_of(double intensity) const {
    return -95.0 + 180.0 * (intensity - i_lo) / (i_hi - i_lo);
  }
  double energy_at(double x) const { return e_lo + (e_hi - e_lo) * (x + 100.0) / 200.0; }
  double intensity_at(double y) const { return i_lo + (i_hi - i_lo) * (y + 95.0) / 180.0; }
  bool operator==(const Axes&) const = default;
};

// Display data of one panel area, in panel coordinates: one x array shared
// by the curves, one y array per curve and, for some traces, hidden flags
// (1 = the point is not joined to the previous one). Absent traces are
// represented by an empty std::optional<Trace> at the owner. A trace built
// from a mapping also keeps the values it was mapped from and the mapping's
// scale, for a zoomed view and for export.
struct Trace {
  std::vector<int> x;
  std::vector<std::vector<int>> y;     // y[curve][point]
  std::vector<std::uint8_t> hidden;    // empty, or one flag per point
  std::optional<Axes> axes;            // absent when built from panel coordinates alone
  std::vector<double> energy;          // empty, or one energy (eV) per point
  std::vector<std::vector<double>> intensity;  // empty, or intensity[curve][point]

  explicit Trace(std::size_t points = 0, std::size_t curves = 1)
      : x(points, 0), y(curves, std::vector<int>(points, 0)) {}
  std::size_t size() const { return x.size(); }
  bool has_hidden() const { return !hidden.empty(); }
  bool has_values() const {
    return axes && energy.size() == x.size() && intensity.size() == y.size();
  }
};

// One curve of a panel as the panel table lists it: which trace and which
// of its y arrays, the pen, the clip window and whether the trace's hidden
// flags are honoured.
struct Curve {
  const Trace* trace = nullptr;
  std::size_t y_index = 0;
  Pen pen = Pen::red;
  ClipWindow clip{};
  bool use_hidden = false;
  const char* name = nullptr;  // column name on export; the pen's name when absent
  const char* label = nullptr;  // name in the legend; none keeps the curve out of it
  // Hidden flags are passed over on a segment with an end above the range
  // (y > kRangeTop): set by a view that shows such points (widened_curve).
  bool join_high = false;
};

// Walks the curve rule over one curve: the pen moves to point 0; every
// later point is joined by a line from wherever the pen stands when it lies
// inside the clip window and is not hidden, otherwise the pen just moves
// there. `sink` needs move_to(std::size_t i) and line_to(std::size_t i),
// which receive the index of the point.
template <class Sink>
void walk_curve_points(const Curve& curve, Sink& sink) {
  const Trace* t = curve.trace;
  if (!t || curve.y_index >= t->y.size()) return;
  const std::size_t n = t->size();
  if (n == 0) return;
  const int* xs = t->x.data();
  const int* ys = t->y[curve.y_index].data();
  const std::uint8_t* hidden =
      curve.use_hidden && t->hidden.size() == n ? t->hidden.data() : nullptr;
  sink.move_to(std::size_t{0});
  for (std::size_t i = 1; i < n; ++i) {
    const bool flagged = hidden && hidden[i] == 1 &&
                         !(curve.join_high && (ys[i] > kRangeTop || ys[i - 1] > kRangeTop));
    const bool joined = curve.clip.contains(xs[i], ys[i]) && !flagged;
    if (joined)
      sink.line_to(i);
    else
      sink.move_to(i);
  }
}

// The same walk in panel coordinates: `sink` needs move_to(int x, int y)
// and line_to(int x, int y).
template <class Sink>
void walk_curve(const Curve& curve, Sink& sink) {
  struct AtPoint {
    const int* xs;
    const int* ys;
    Sink& sink;
    void move_to(std::size_t i) { sink.move_to(xs[i], ys[i]); }
    void line_to(std::size_t i) { sink.line_to(xs[i], ys[i]); }
  };
  const Trace* t = curve.trace;
  if (!t || curve.y_index >= t->y.size()) return;
  AtPoint at{t->x.data(), t->y[curve.y_index].data(), sink};
  walk_curve_points(curve, at);
}

// Display range of a panel: energies and intensities as its range file
// holds them.
struct Range {
  double e_min = 0, e_max = 0, y_min = 0, y_max = 0;
};

struct PanelPoint {
  int x = 0, y = 0;
  bool operator==(const PanelPoint&) const = default;
};

// Truncates toward zero into panel coordinates. Values far outside the
// panel are held at +-1000000 (NaN goes to +1000000), which keeps them
// outside every clip window without overflowing an int.
int to_panel(double value);

// Standard spectrum mapping (XRF and selective XAFS panels): energy range
// onto x -100..100, intensity range (in units of 10000 x intensity, as the
// range files hold it) onto y -95..85. Empty when the range has zero width
// or zero height.
std::optional<PanelPoint> map_standard(double energy, double intensity, const Range& range);


// RIXS comparison mapping: the range of the measured RIXS (intensities x
// 20000); the measured maximum maps to y = 85 and calculated spectra share
// its scale. Empty when the range cannot be mapped.
std::optional<PanelPoint> map_comparison(double energy, double intensity, const Range& range);

// "Calculated RIXS" mapping: the emission energy range onto x in steps of
// 0.01 eV; the intensity as 30000 x intensity, scaled so that the highest
// total (range.y_max, in the same units) lies at y = 85 and the lowest
// (range.y_min) at -95. Empty when the range cannot be mapped (no total
// above 0, a single energy or a constant total).
std::optional<PanelPoint> map_calculated(double energy, double intensity, const Range& range);

// One of the mappings above, with the factor by which its range holds the
// intensities.
struct Mapping {
  std::optional<PanelPoint> (*map)(double energy, double intensity, const Range& range);
  double range_scale;

  Axes axes(const Range& r) const {
    return {r.e_min, r.e_max, r.y_min / range_scale, r.y_max / range_scale};
  }
};
extern const Mapping kStandardMapping, kComparisonMapping, kCalculatedMapping;

// Trace of the first `curves` intensity columns of `rows` rows of `k`
// values each (energy first, row-major) by `mapping` over `range`: one
// point per row, with the values and the axes of the mapping. Empty when the
// range cannot be mapped.
std::optional<Trace> mapped_trace(const double* values, std::size_t rows, std::size_t k,
                                  std::size_t curves, const Range& range, Mapping mapping);

// The same by the standard mapping.
inline std::optional<Trace> standard_trace(const double* values, std::size_t rows, std::size_t k,
                                           std::size_t curves, const Range& range) {
  return mapped_trace(values, rows, k, curves, range, kStandardMapping);
}

// Pixel (px, py) of a panel of w x h pixels in frame coordinates (panel
// coordinates of the unzoomed panel): the inverse of the drawing's mapping,
// exact.
void pixel_to_frame(double px, double py, int w, int h, double& fx, double& fy);

// The same for a pixel inside the panel, truncated toward zero to panel
// coordinates.
PanelPoint pixel_to_panel(int px, int py, int w, int h);

// A click in panel coordinates. Without a zoom it is a whole-unit point; in
// a zoomed view it is the exact point under the mouse.
struct ClickPoint {
  double x = 0, y = 0;
  // The energy the click sets, given exactly instead of the point (the
  // shell's --energy); such a click always counts.
  std::optional<double> energy;
  ClickPoint() = default;
  ClickPoint(double x_l, double y_l) : x(x_l), y(y_l) {}
  ClickPoint(PanelPoint p) : x(p.x), y(p.y) {}  // NOLINT: a whole-unit point is a click
  static ClickPoint at_energy(double e) {
    ClickPoint p;
    p.energy = e;
    return p;
  }
};

// A click counts when -96 <= x_l <= 96 and -100 <= y_l <= 100.
bool click_accepted(ClickPoint p);

// Energy of a click at panel x coordinate x_l: the inverse of the x mapping.
double click_energy(double x_l, double e_min, double e_max);
// The energy `p` sets on an axis from e_min to e_max, and the panel x its
// marker stands at.
double click_energy(const ClickPoint& p, double e_min, double e_max);
double click_marker_x(const ClickPoint& p, double e_min, double e_max);

}  // namespace talvern::plot
