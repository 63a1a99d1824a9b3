#include "plot/view.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace talvern::plot {

namespace {

constexpr double kFull = kFrameHalf;

// Narrows [lo, hi] to at least kMinViewSpan around its middle and shifts
// it back inside the full view.
void fit_span(double& lo, double& hi) {
  if (hi < lo) std::swap(lo, hi);
  if (hi - lo < kMinViewSpan) {
    const double mid = (lo + hi) / 2;
    lo = mid - kMinViewSpan / 2;
    hi = mid + kMinViewSpan / 2;
  }
  if (hi - lo >= 2 * kFull) {
    lo = -kFull;
    hi = kFull;
    return;
  }
  if (lo < -kFull) hi += -kFull - lo, lo = -kFull;
  if (hi > kFull) lo -= hi - kFull, hi = kFull;
}

View fitted(View v) {
  fit_span(v.x_lo, v.x_hi);
  fit_span(v.y_lo, v.y_hi);
  return v;
}

// Ticks at the grid lines of one axis: `at_grid` gives the panel coordinate
// shown at a grid line, `value` its physical value.
template <class At, class Value>
std::vector<Tick> ticks(double lo, double hi, At at_grid, Value value) {
  const double span = std::abs(value(hi) - value(lo));
  std::vector<Tick> out;
  for (int g : kGridLines) out.push_back({g, axis_text(value(at_grid(g)), span)});
  return out;
}

std::string chars(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

const char* pen_name(Pen pen) {
  switch (pen) {
    case Pen::frame: return "frame";
    case Pen::grid: return "grid";
    case Pen::red: return "red";
    case Pen::blue: return "blue";
    case Pen::sky_blue: return "sky_blue";
    case Pen::pink: return "pink";
    case Pen::green: return "green";
  }
  return "curve";
}

}  // namespace

bool View::full() const {
  return x_lo == -kFull && x_hi == kFull && y_lo == -kFull && y_hi == kFull;
}

View zoom_to(const View& v, double fx0, double fy0, double fx1, double fy1) {
  const auto clamp = [](double f) { return std::clamp(f, -kFull, kFull); };
  return fitted({v.x_at(clamp(fx0)), v.x_at(clamp(fx1)), v.y_at(clamp(fy0)), v.y_at(clamp(fy1))});
}

View zoom_around(const View& v, double fx, double fy, double factor) {
  const double x = v.x_at(fx), y = v.y_at(fy);
  return fitted({x + (v.x_lo - x) * factor, x + (v.x_hi - x) * factor,
                 y + (v.y_lo - y) * factor, y + (v.y_hi - y) * factor});
}

ClickPoint click_point(double px, double py, int w, int h, const View& v) {
  if (v.full())
    return pixel_to_panel(static_cast<int>(std::lround(px)), static_cast<int>(std::lround(py)), w,
                          h);
  double fx = 0, fy = 0;
  pixel_to_frame(px, py, w, h, fx, fy);
  if (!click_accepted(PanelPoint{to_panel(fx), to_panel(fy)})) return {fx, fy};
  return {v.x_at(fx), v.y_at(fy)};
}

std::vector<Tick> energy_ticks(const Axes& axes, const View& v) {
  return ticks(v.x_lo, v.x_hi, [&](double g) { return v.x_at(g); },
               [&](double x) { return axes.energy_at(x); });
}

std::vector<Tick> intensity_ticks(const Axes& axes, const View& v) {
  return ticks(v.y_lo, v.y_hi, [&](double g) { return v.y_at(g); },
               [&](double y) { return axes.intensity_at(y); });
}

std::string readout_text(const Axes& axes, const View& v, double fx, double fy) {
  const double e_span = std::abs(axes.energy_at(v.x_hi) - axes.energy_at(v.x_lo));
  const double i_span = std::abs(axes.intensity_at(v.y_hi) - axes.intensity_at(v.y_lo));
  return "E = " + axis_text(axes.energy_at(v.x_at(fx)), e_span) +
         " eV, I = " + axis_text(axes.intensity_at(v.y_at(fy)), i_span);
}

std::string axis_text(double value, double span) {
  char buf[64];
  if (!std::isfinite(value)) return "-";
  const double magnitude = std::abs(value);
  if (!(span > 0) || !std::isfinite(span)) {
    std::snprintf(buf, sizeof buf, "%g", value);
  } else if (span < 1e-3 || magnitude >= 1e7) {
    // Significant digits down to a thousandth of the span.
    const double ratio = std::max(magnitude, span) / span;
    const int digits = std::clamp(static_cast<int>(std::ceil(std::log10(ratio))) + 4, 3, 12);
    std::snprintf(buf, sizeof buf, "%.*g", digits, value);
  } else {
    const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(span / 1000))), 0, 6);
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  }
  std::string text = buf;
  // A value that rounds to zero is shown without its sign.
  if (text[0] == '-' && text.find_first_of("123456789") == std::string::npos) text.erase(0, 1);
  return text;
}

std::optional<Axes> panel_axes(const std::vector<Curve>& curves) {
  for (const Curve& c : curves)
    if (c.trace && c.trace->has_values() && c.y_index < c.trace->y.size()) return c.trace->axes;
  return std::nullopt;
}

std::string curves_csv(const std::vector<Curve>& curves) {
  struct Value {
    double energy;
    std::size_t column;
    double intensity;
  };
  std::vector<std::string> names;
  std::vector<Value> values;
  for (const Curve& c : curves) {
    if (!c.trace || !c.trace->has_values() || c.y_index >= c.trace->y.size()) continue;
    std::string name = c.name ? c.name : pen_name(c.pen);
    for (int n = 2; std::find(names.begin(), names.end(), name) != names.end(); ++n)
      name = (c.name ? c.name : pen_name(c.pen)) + std::to_string(n);
    const std::size_t column = names.size();
    names.push_back(name);
    const Trace& t = *c.trace;
    for (std::size_t i = 0; i < t.size(); ++i)
      values.push_back({t.energy[i], column, t.intensity[c.y_index][i]});
  }
  std::stable_sort(values.begin(), values.end(),
                   [](const Value& a, const Value& b) { return a.energy < b.energy; });

  std::string out = "energy_eV";
  for (const std::string& name : names) out += "," + name + "_intensity";
  out += "\n";
  // Points of different curves at one energy share a row; a second point of
  // the same curve at that energy starts another.
  std::vector<std::optional<double>> row(names.size());
  std::optional<double> energy;
  const auto flush = [&] {
    if (!energy) return;
    out += std::isfinite(*energy) ? chars(*energy) : "";
    for (auto& cell : row) {
      out += ",";
      if (cell && std::isfinite(*cell)) out += chars(*cell);
      cell.reset();
    }
    out += "\n";
  };
  for (const Value& v : values) {
    if (!energy || v.energy != *energy || row[v.column]) {
      flush();
      energy = v.energy;
    }
    row[v.column] = v.intensity;
  }
  flush();
  return out;
}

}  // namespace talvern::plot
