#include "rixs/compare_maps.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "workspace/number_text.h"

namespace talvern {

namespace {

constexpr int kTitleHeight = 26;       // above a map: its title
constexpr double kPadding = 0.03;      // beyond the points, of each axis's span
constexpr double kMostAcross = 1.0 / 50;  // a cell's reach across its group, of the axis's span

double y_value(const SetComparison& c, std::size_t i, bool transfer) {
  return transfer ? c.omega[i] - c.emission[i] : c.emission[i];
}

bool is_herfd(const ComparedGroup& g) { return g.kind == MeasuredKind::herfd; }

// The energy that varies along group g at its point i.
double varying(const SetComparison& c, const ComparedGroup& g, std::size_t i) {
  return is_herfd(g) ? c.omega[i] : c.emission[i];
}

// An axis over [lo, hi] at least `span` wide, and a little beyond.
std::pair<double, double> axis_range(double lo, double hi, double span) {
  const double mid = 0.5 * (lo + hi);
  if (hi - lo < span) lo = mid - 0.5 * span, hi = mid + 0.5 * span;
  return {lo - kPadding * span, hi + kPadding * span};
}

// The two colour bars of the maps: the intensity and the difference.
std::array<ColourBar, 2> compare_bars(const SetComparison& c, bool log) {
  const double m = difference_extent(c);
  return {ColourBar{viridis, compare_colour_range(c, log), log, ""},
          ColourBar{diverging, m > 0 ? std::optional(std::make_pair(-m, m)) : std::nullopt, false, ""}};
}

// The cells of the groups of one kind, in ascending fixed energy: across
// the group `half` on each side of its energy; along it, point k from
// edges[k] to edges[k + 1].
struct GroupCells {
  const ComparedGroup* group;
  double half = 0;
  std::vector<double> edges;
};

std::vector<GroupCells> group_cells(const SetComparison& c, const PlaneLayout& l, bool herfd) {
  // The axis across the groups and the one along them.
  const double across_span = herfd ? l.y_hi - l.y_lo : l.x_hi - l.x_lo;
  const double along_span = herfd ? l.x_hi - l.x_lo : l.y_hi - l.y_lo;
  std::vector<GroupCells> out;
  for (const ComparedGroup& g : c.groups)
    if (is_herfd(g) == herfd && g.count > 0) out.push_back({&g, kMostAcross * across_span, {}});
  std::sort(out.begin(), out.end(),
            [](const GroupCells& a, const GroupCells& b) { return a.group->energy < b.group->energy; });
  for (std::size_t j = 0; j < out.size(); ++j) {
    GroupCells& gc = out[j];
    const double e = gc.group->energy;
    if (j > 0) gc.half = std::min(gc.half, 0.5 * (e - out[j - 1].group->energy));
    if (j + 1 < out.size()) gc.half = std::min(gc.half, 0.5 * (out[j + 1].group->energy - e));
    const std::size_t first = gc.group->first, n = gc.group->count;
    const auto v = [&](std::size_t k) { return varying(c, *gc.group, first + k); };
    gc.edges.resize(n + 1);
    for (std::size_t k = 1; k < n; ++k) gc.edges[k] = 0.5 * (v(k - 1) + v(k));
    gc.edges[0] = n > 1 ? v(0) - 0.5 * (v(1) - v(0)) : v(0) - kMostAcross * along_span;
    gc.edges[n] = n > 1 ? v(n - 1) + 0.5 * (v(n - 1) - v(n - 2)) : v(0) + kMostAcross * along_span;
  }
  return out;
}

// The point whose cell holds fixed energy `across` and varying energy
// along(fixed energy of the group); -1 when none does.
template <class Along>
std::int32_t find_cell(const std::vector<GroupCells>& cells, double across, Along along) {
  const auto above = std::upper_bound(cells.begin(), cells.end(), across,
                                      [](double e, const GroupCells& g) { return e < g.group->energy; });
  for (auto it = above == cells.begin() ? above : above - 1; it != cells.end() && it <= above; ++it) {
    if (std::abs(across - it->group->energy) > it->half) continue;
    const auto& edges = it->edges;
    const auto k = std::upper_bound(edges.begin(), edges.end(), along(it->group->energy)) - edges.begin() - 1;
    if (k >= 0 && k + 1 < static_cast<std::ptrdiff_t>(edges.size()))
      return static_cast<std::int32_t>(it->group->first + static_cast<std::size_t>(k));
  }
  return -1;
}

// The point of emission spectrum g nearest emission energy w, within half
// the spectrum's step there.
std::optional<std::size_t> nearest_in_spectrum(const SetComparison& c, const ComparedGroup& g,
                                               double w) {
  if (g.count == 0) return std::nullopt;
  const double* e = c.emission.data() + g.first;
  const std::size_t n = g.count;
  std::size_t k = static_cast<std::size_t>(std::lower_bound(e, e + n, w) - e);
  if (k == n || (k > 0 && w - e[k - 1] <= e[k] - w)) --k;
  const double step = n == 1 ? 0.0
                      : k == 0 ? e[1] - e[0]
                      : k == n - 1 ? e[n - 1] - e[n - 2]
                                   : 0.5 * (e[k + 1] - e[k - 1]);
  if (std::abs(e[k] - w) > std::max(0.5 * step * (1 + 1e-9), kSameFixedEnergy)) return std::nullopt;
  return g.first + k;
}

// A cut of the points `at` with x from `x_of`; none below two points.
template <class X>
std::optional<CompareCut> cut_of(const SetComparison& c, const std::vector<std::size_t>& at, X x_of) {
  if (at.size() < 2) return std::nullopt;
  CompareCut cut;
  for (std::size_t i : at) {
    cut.x.push_back(x_of(i));
    cut.measured.push_back(c.measured[i]);
    cut.calculated.push_back(c.calculated[i]);
  }
  cut.r_factor = r_factor_of(cut.calculated.data(), cut.measured.data(), at.size());
  return cut;
}

}  // namespace

std::optional<std::pair<double, double>> compare_colour_range(const SetComparison& c, bool log) {
  ValueSpan span;
  for (std::size_t i = 0; i < c.points(); ++i) {
    span.add(c.measured[i]);
    span.add(c.calculated[i]);
  }
  return span.colour_range(log);
}

double difference_extent(const SetComparison& c) {
  double m = 0;
  for (std::size_t i = 0; i < c.points(); ++i) {
    const double d = std::abs(c.calculated[i] - c.measured[i]);
    if (std::isfinite(d)) m = std::max(m, d);
  }
  return m;
}

PlaneLayout compare_layout(const SetComparison& c, bool transfer, bool log, int width, int height) {
  double x_lo = HUGE_VAL, x_hi = -HUGE_VAL, y_lo = HUGE_VAL, y_hi = -HUGE_VAL;
  for (std::size_t i = 0; i < c.points(); ++i) {
    const double x = c.omega[i], y = y_value(c, i, transfer);
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    x_lo = std::min(x_lo, x), x_hi = std::max(x_hi, x);
    y_lo = std::min(y_lo, y), y_hi = std::max(y_hi, y);
  }
  if (!(x_hi >= x_lo)) x_lo = y_lo = 0, x_hi = y_hi = 1;
  const double sx = x_hi - x_lo, sy = y_hi - y_lo;
  const double fallback = std::max(std::max(sx, sy), 1.0);
  const auto [xl, xh] = axis_range(x_lo, x_hi, sx > 0 ? sx : fallback);
  const auto [yl, yh] = axis_range(y_lo, y_hi, sy > 0 ? sy : fallback);
  const auto bars = compare_bars(c, log);
  return fitted_layout(width, height, kTitleHeight, xl, xh, yl, yh, {bars[0], bars[1]});
}

std::vector<std::int32_t> compare_cells(const SetComparison& c, bool transfer, const PlaneLayout& l) {
  std::vector<std::int32_t> out(static_cast<std::size_t>(l.w) * l.h, -1);
  const std::vector<GroupCells> spectra = group_cells(c, l, false), herfds = group_cells(c, l, true);
  for (int py = 0; py < l.h; ++py) {
    const double y = l.y_at(l.y0 + py);
    for (int px = 0; px < l.w; ++px) {
      const double omega = l.x_at(l.x0 + px), w = transfer ? omega - y : y;
      // A HERFD's band runs along the excitation energy, a diagonal in
      // energy transfer; a spectrum's cells are as high as its steps on
      // either axis.
      std::int32_t at = find_cell(herfds, w, [omega](double) { return omega; });
      if (at < 0)
        at = find_cell(spectra, omega, [y, transfer](double e) { return transfer ? e - y : y; });
      out[static_cast<std::size_t>(py) * l.w + px] = at;
    }
  }
  return out;
}

PlanePicture render_compare_map(const SetComparison& c, CompareMap which, bool transfer, bool log,
                                int width, int height) {
  PlanePicture p = blank_picture(compare_layout(c, transfer, log, width, height));
  const PlaneLayout& l = p.layout;
  const auto bars = compare_bars(c, log);
  const auto range = bars[0].range;
  const double m = difference_extent(c);
  const auto colour = [&](std::size_t i) {
    if (which == CompareMap::difference)
      return diverging(m > 0 ? 0.5 + 0.5 * (c.calculated[i] - c.measured[i]) / m : 0.5);
    if (!range) return kEmptyColour;
    const double v = which == CompareMap::measured ? c.measured[i] : c.calculated[i];
    return viridis(colour_position(v, range->first, range->second, log));
  };
  const std::vector<std::int32_t> cells = compare_cells(c, transfer, l);
  for (int py = 0; py < l.h; ++py)
    for (int px = 0; px < l.w; ++px) {
      const std::int32_t at = cells[static_cast<std::size_t>(py) * l.w + px];
      const plot::Rgb rgb = at < 0 ? kEmptyColour : colour(static_cast<std::size_t>(at));
      std::uint8_t* dot = &p.rgb[(static_cast<std::size_t>(l.y0 + py) * p.width + l.x0 + px) * 3];
      dot[0] = rgb.r, dot[1] = rgb.g, dot[2] = rgb.b;
    }
  draw_map_axes(p, c.points() > 0, transfer);
  draw_colour_bar(p, bars[which == CompareMap::difference ? 1 : 0]);
  std::string title = which == CompareMap::measured     ? "Measured"
                      : which == CompareMap::calculated ? "Calculated"
                                                        : "Calculated - measured";
  if (log && which != CompareMap::difference) title += " (log)";
  draw_text(p, l.x0 + (l.w - text_width(title)) / 2, 6, title);
  return p;
}

std::optional<std::size_t> compare_point_at(const SetComparison& c, bool transfer,
                                            const PlaneLayout& l, int px, int py) {
  if (!l.inside(px, py)) return std::nullopt;
  std::optional<std::size_t> best;
  double best_d = HUGE_VAL;
  for (std::size_t i = 0; i < c.points(); ++i) {
    // Distances in pixels, so that both axes count alike.
    const double dx = l.px_of(c.omega[i]) - (px + 0.5), dy = l.py_of(y_value(c, i, transfer)) - (py + 0.5);
    const double d = dx * dx + dy * dy;
    if (d < best_d) best_d = d, best = i;
  }
  return best;
}

std::array<std::optional<CompareCut>, 3> compare_cuts(const SetComparison& c, std::size_t i) {
  std::array<std::optional<CompareCut>, 3> cuts;
  if (i >= c.points()) return cuts;
  const double omega = c.omega[i], w = c.emission[i], t = omega - w;
  const auto points_of = [](const ComparedGroup& g) {
    std::vector<std::size_t> at(g.count);
    for (std::size_t k = 0; k < g.count; ++k) at[k] = g.first + k;
    return at;
  };
  const auto emission_of = [&](std::size_t j) { return c.emission[j]; };
  const auto omega_of = [&](std::size_t j) { return c.omega[j]; };
  const ComparedGroup* herfd = nullptr;
  std::vector<std::size_t> at_w, at_t;
  for (const ComparedGroup& g : c.groups) {
    const bool here = std::abs(g.energy - (is_herfd(g) ? w : omega)) <= kSameFixedEnergy;
    if (is_herfd(g)) {
      if (here) herfd = &g;
      continue;
    }
    if (here) cuts[0] = cut_of(c, points_of(g), emission_of);
    if (const auto j = nearest_in_spectrum(c, g, w)) at_w.push_back(*j);
    if (const auto j = nearest_in_spectrum(c, g, g.energy - t)) at_t.push_back(*j);
  }
  cuts[1] = herfd ? cut_of(c, points_of(*herfd), omega_of) : cut_of(c, at_w, omega_of);
  cuts[2] = cut_of(c, at_t, omega_of);
  return cuts;
}

void PickComparePoint(PlaneState& state, std::optional<std::size_t> point) {
  state.compare_pick.reset();
  for (std::size_t k = 0; k < 3; ++k) {
    state.compare_cut_traces[k].reset();
    state.compare_cut_notes[k] = kCompareCutNames[k];
  }
  const SetComparison* c = state.comparison ? &*state.comparison : nullptr;
  if (!c || !point || *point >= c->points()) return;
  state.compare_pick = point;
  const auto cuts = compare_cuts(*c, *point);
  const double at[3] = {c->omega[*point], c->emission[*point], c->omega[*point] - c->emission[*point]};
  for (std::size_t k = 0; k < 3; ++k) {
    std::string& note = state.compare_cut_notes[k];
    note.append(" ").append(format_g6(at[k])).append(" eV: ");
    if (!cuts[k]) {
      note += "fewer than two points";
      continue;
    }
    const CompareCut& cut = *cuts[k];
    note.append(cut.r_factor ? "R-Factor " : "no R-Factor").append(cut.r_factor ? format_g6(*cut.r_factor) : "");
    std::vector<double> rows;
    rows.reserve(3 * cut.x.size());
    for (std::size_t j = 0; j < cut.x.size(); ++j)
      rows.insert(rows.end(), {cut.x[j], cut.measured[j], cut.calculated[j]});
    state.compare_cut_traces[k] = cut_trace_of(rows.data(), cut.x.size(), 3);
  }
}

std::vector<plot::Curve> compare_cut_curves(const PlaneState& state, std::size_t which) {
  std::vector<plot::Curve> curves;
  if (which >= 3 || !state.compare_cut_traces[which]) return curves;
  const plot::Trace* t = &*state.compare_cut_traces[which];
  curves.push_back({t, 0, plot::Pen::red, {}, false, "measured", plot::names::kMeasured});
  curves.push_back({t, 1, plot::Pen::blue, {}, false, "calculated", plot::names::kCalculated});
  return curves;
}

plot::PanelText compare_cut_text(std::size_t which) {
  plot::PanelText text;
  if (which == 0) text.x_title = plot::kEmissionTitle;
  return text;
}

}  // namespace talvern
