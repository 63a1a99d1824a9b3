#include "plot/figure.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "workspace/number_text.h"

namespace talvern::plot {

namespace {

bool has_points(const Curve& c) {
  return c.trace && c.y_index < c.trace->y.size() && c.trace->size() > 0;
}

// Panel point i of a curve as a view draws it: where its value maps
// exactly when the trace has values, else its panel coordinates.
double point_x(const Curve& c, std::size_t i) {
  const Trace& t = *c.trace;
  return t.has_values() ? t.axes->x_of(t.energy[i]) : t.x[i];
}
double point_y(const Curve& c, std::size_t i) {
  const Trace& t = *c.trace;
  return t.has_values() ? t.axes->y_of(t.intensity[c.y_index][i]) : t.y[c.y_index][i];
}

// Whether point i is drawn joined or as an end of a line: a point whose
// segment the hidden flags take off still marks the curve.
bool drawn_end(const Curve& c, std::size_t i) {
  const Trace& t = *c.trace;
  return t.x[i] >= c.clip.x_lo && t.x[i] <= c.clip.x_hi;
}

// Whether a later curve is drawn exactly over curve i (the same points,
// joined the same way), so that nothing of it is seen.
bool covered(const std::vector<Curve>& curves, std::size_t i) {
  const Curve& c = curves[i];
  for (std::size_t j = i + 1; j < curves.size(); ++j) {
    const Curve& d = curves[j];
    if (!has_points(d) || d.clip != c.clip || d.use_hidden != c.use_hidden) continue;
    if (d.trace->x == c.trace->x && d.trace->y[d.y_index] == c.trace->y[c.y_index] &&
        (!c.use_hidden || d.trace->hidden == c.trace->hidden))
      return true;
  }
  return false;
}

}  // namespace

std::optional<Marker> box_marker(std::string_view box, const char* label) {
  const double e = parse_edit(box);
  // parse_edit gives 0 for a box without a number; no energy axis holds 0.
  if (e == 0.0) return std::nullopt;
  return Marker{e, label};
}

std::vector<LegendEntry> legend_entries(const std::vector<Curve>& curves,
                                        const std::vector<Marker>& markers) {
  std::vector<LegendEntry> out;
  const auto add = [&out](const char* label, Pen pen) {
    if (!label) return;
    for (const LegendEntry& e : out)
      if (e.label == label) return;
    out.push_back({label, pen});
  };
  for (std::size_t i = 0; i < curves.size(); ++i)
    if (has_points(curves[i]) && !covered(curves, i)) add(curves[i].label, curves[i].pen);
  for (const Marker& m : markers) add(m.label, Pen::marker);
  return out;
}

Corner legend_corner(const std::vector<Curve>& curves, const std::vector<Marker>& markers,
                     const std::optional<Axes>& axes, const View& view, double width,
                     double height, double inset) {
  constexpr std::array<Corner, 4> kOrder{Corner::top_right, Corner::top_left,
                                         Corner::bottom_right, Corner::bottom_left};
  constexpr int kSamples = 8;  // along each line, for the length of it under the legend
  const double f = kFrameHalf - inset;
  std::array<double, 4> covered{};
  for (std::size_t k = 0; k < kOrder.size(); ++k) {
    const bool right = kOrder[k] == Corner::top_right || kOrder[k] == Corner::bottom_right;
    const bool top = kOrder[k] == Corner::top_right || kOrder[k] == Corner::top_left;
    const double x0 = right ? f - width : -f, x1 = right ? f : -f + width;
    const double y0 = top ? f - height : -f, y1 = top ? f : -f + height;
    const auto inside = [&](double x, double y) { return x >= x0 && x <= x1 && y >= y0 && y <= y1; };
    // The length of the curves' lines under the box, in frame units.
    for (const Curve& c : curves) {
      if (!has_points(c)) continue;
      double px = 0, py = 0;
      for (std::size_t i = 0; i < c.trace->size(); ++i) {
        if (!drawn_end(c, i)) continue;
        const double x = view.frame_x(point_x(c, i)), y = view.frame_y(point_y(c, i));
        if (i > 0) {
          const double piece = std::hypot(x - px, y - py) / kSamples;
          for (int s = 0; s < kSamples; ++s) {
            const double t = (s + 0.5) / kSamples;
            if (inside(px + t * (x - px), py + t * (y - py))) covered[k] += piece;
          }
        }
        px = x, py = y;
      }
    }
    // A marker runs through the whole height of the box.
    if (axes)
      for (const Marker& m : markers) {
        const double x = marker_frame_x(*axes, view, m.energy);
        if (x >= x0 && x <= x1) covered[k] += y1 - y0;
      }
  }
  return kOrder[std::min_element(covered.begin(), covered.end()) - covered.begin()];
}

std::optional<ClippedMark> clipped_mark(const std::vector<Curve>& curves, const View& view) {
  std::optional<ClippedMark> mark;
  double highest = 0;
  for (const Curve& c : curves) {
    if (!has_points(c)) continue;
    // Cut by the clip window (as the view widens it) or by the view's top.
    const double top = std::min<double>(view.y_hi, widened_curve(c, view).clip.y_hi);
    for (std::size_t i = 0; i < c.trace->size(); ++i) {
      if (!drawn_end(c, i)) continue;
      const double x = point_x(c, i), y = point_y(c, i);
      if (!(y > top) || x < view.x_lo || x > view.x_hi) continue;
      if (!mark || y > highest) {
        highest = y;
        mark = ClippedMark{view.frame_x(x), c.pen};
      }
    }
  }
  return mark;
}

View whole_view(const std::vector<Curve>& curves) {
  // The clip window keeps points 5 units inside the frame; so does the view.
  constexpr double kMargin = kFrameHalf - ClipWindow{}.y_hi;
  constexpr double kFar = 1e5;  // held-off values (to_panel's limit) are no points
  double hi = kFrameHalf, lo = -kFrameHalf;
  for (const Curve& c : curves) {
    if (!has_points(c)) continue;
    for (std::size_t i = 0; i < c.trace->size(); ++i) {
      if (!drawn_end(c, i)) continue;
      const double y = point_y(c, i);
      if (!std::isfinite(y) || std::abs(y) > kFar) continue;
      hi = std::max(hi, y + kMargin);
      lo = std::min(lo, y - kMargin);
    }
  }
  return {-kFrameHalf, kFrameHalf, lo, hi};
}

Curve widened_curve(const Curve& curve, const View& view) {
  Curve c = curve;
  const double above = view.y_hi - kFrameHalf, below = -kFrameHalf - view.y_lo;
  if (above <= 0 && below <= 0) return c;
  if (above > 0) c.clip.y_hi += static_cast<int>(std::ceil(above));
  if (below > 0) c.clip.y_lo -= static_cast<int>(std::ceil(below));
  c.join_high = above > 0;
  return c;
}

}  // namespace talvern::plot
