#include "plot/view.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "workspace/number_text.h"

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

// Ticks of one axis over what the frame shows: `value` gives the physical
// value at a panel coordinate, `frame` the frame coordinate of a value.
template <class Value, class Frame>
std::vector<Tick> ticks(double lo, double hi, Value value, Frame frame) {
  const std::vector<double> values = tick_values(value(lo), value(hi));
  std::vector<Tick> out;
  const double step = values.size() > 1 ? values[1] - values[0] : 0;
  for (double t : values) out.push_back({frame(t), tick_text(t, step)});
  return out;
}

// k x f x 10^p, exact for the usual decimals (3 x 0.1 gives 0.3).
double multiple(double k, double f, int p) {
  return p >= 0 ? k * f * std::pow(10.0, p) : k * f / std::pow(10.0, -p);
}

// The multiples of f x 10^p within [lo, hi]; the quotients are rounded
// loosely, the multiples themselves checked exactly.
std::vector<double> multiples_within(double lo, double hi, double f, int p) {
  const double step = multiple(1, f, p);
  std::vector<double> out;
  for (double k = std::ceil(lo / step - 1e-9), last = std::floor(hi / step + 1e-9); k <= last; ++k) {
    const double v = multiple(k, f, p);
    if (v >= lo && v <= hi) out.push_back(v == 0 ? 0.0 : v);  // no "-0"
  }
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
    case Pen::marker: return "marker";
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

std::vector<double> tick_values(double lo, double hi) {
  if (hi < lo) std::swap(lo, hi);
  if (!(hi > lo) || !std::isfinite(hi - lo)) return {};
  constexpr std::size_t kFirst = 4, kLast = 8;
  // From the coarsest step down to the first that gives four or more; the
  // finest tried (a hundredth of the span) always does.
  const int top = static_cast<int>(std::floor(std::log10(hi - lo))) + 1;
  std::vector<double> coarser;
  for (int p = top; p >= top - 3; --p)
    for (double f : {5.0, 2.0, 1.0}) {
      std::vector<double> values = multiples_within(lo, hi, f, p);
      if (values.size() < kFirst) {
        coarser = std::move(values);
        continue;
      }
      // Too many: the coarser step's three are as near four to eight.
      if (values.size() > kLast && coarser.size() + 1 == kFirst) return coarser;
      return values;
    }
  return {};
}

std::string tick_text(double value, double step) {
  char buf[64];
  const double magnitude = std::max(std::abs(value), std::abs(step));
  if (!(step > 0) || !std::isfinite(step)) {
    std::snprintf(buf, sizeof buf, "%g", value);
  } else if (step < 1e-4 || magnitude >= 1e6) {
    const int digits = static_cast<int>(std::floor(std::log10(magnitude)) -
                                        std::floor(std::log10(step) + 1e-9)) + 1;
    std::snprintf(buf, sizeof buf, "%.*g", std::clamp(digits, 1, 15), value);
  } else {
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  }
  return buf;
}

std::vector<Tick> energy_ticks(const Axes& axes, const View& v) {
  return ticks(v.x_lo, v.x_hi, [&](double x) { return axes.energy_at(x); },
               [&](double e) { return v.frame_x(axes.x_of(e)); });
}

std::vector<Tick> intensity_ticks(const Axes& axes, const View& v) {
  return ticks(v.y_lo, v.y_hi, [&](double y) { return axes.intensity_at(y); },
               [&](double i) { return v.frame_y(axes.y_of(i)); });
}

std::string readout_text(const Axes& axes, const View& v, double fx, double fy) {
  const double e_span = std::abs(axes.energy_at(v.x_hi) - axes.energy_at(v.x_lo));
  const double i_span = std::abs(axes.intensity_at(v.y_hi) - axes.intensity_at(v.y_lo));
  return "E = " + axis_text(axes.energy_at(v.x_at(fx)), e_span) +
         " eV, I = " + axis_text(axes.intensity_at(v.y_at(fy)), i_span);
}

std::string click_readout_text(const Axes& axes, const View& v, const ClickPoint& click, double fy,
                               int digits) {
  const double i_span = std::abs(axes.intensity_at(v.y_hi) - axes.intensity_at(v.y_lo));
  return "E = " + format_edit(click_energy(click, axes.e_lo, axes.e_hi), digits) +
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
