#include "rixs/fit_display.h"

#include <algorithm>
#include <cstdio>

#include "rixs/measured_plane.h"
#include "rixs/rixs_plane.h"
#include "workspace/number_text.h"

namespace talvern {
namespace {

constexpr const char* kPeakParts[3] = {".center", ".amplitude", ".width"};

// A standard uncertainty as the report gives it.
std::string sigma_text(double sigma) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "± %.3g", sigma);
  return buf;
}

// The comma-separated parts of `text`, and the entries of `fix`.
std::vector<std::string> split(std::string_view text) {
  std::vector<std::string> parts;
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    parts.emplace_back(text.substr(start, comma - start));
    if (comma == std::string_view::npos) return parts;
    start = comma + 1;
  }
}

bool is_peak_name(std::string_view name) { return name.starts_with("peak"); }

}  // namespace

std::string peak_parameter(std::size_t row, std::size_t part) {
  return "peak" + std::to_string(row + 1) + kPeakParts[part];
}

std::vector<PeakRow> peak_rows(const GlobalFitState& state) {
  const std::vector<std::string> fixed = state.fix.empty() ? std::vector<std::string>{} : split(state.fix);
  const std::vector<FitParameter>* fitted = state.result ? &state.result->parameters : nullptr;
  if (fitted && fitted->size() != 3 * state.peaks.size() + 3) fitted = nullptr;
  std::vector<PeakRow> rows(state.peaks.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::vector<std::string> parts = split(state.peaks[i]);
    // A text of more than three parts keeps the rest in the width's cell.
    for (std::size_t k = 3; k < parts.size(); ++k) parts[2] += "," + parts[k];
    for (std::size_t k = 0; k < 3; ++k) {
      PeakRow& row = rows[i];
      if (k < parts.size()) row.value[k] = parts[k];
      row.fixed[k] = std::find(fixed.begin(), fixed.end(), peak_parameter(i, k)) != fixed.end();
      if (fitted && !(*fitted)[3 * i + k].fixed) row.sigma[k] = sigma_text((*fitted)[3 * i + k].sigma);
    }
  }
  return rows;
}

void set_peak_rows(GlobalFitState& state, const std::vector<PeakRow>& rows) {
  std::vector<std::string> fix;
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t k = 0; k < 3; ++k)
      if (rows[i].fixed[k]) fix.push_back(peak_parameter(i, k));
  if (!state.fix.empty())
    for (std::string& name : split(state.fix))
      if (!name.empty() && !is_peak_name(name)) fix.push_back(std::move(name));
  state.fix.clear();
  for (const std::string& name : fix) state.fix += (state.fix.empty() ? "" : ",") + name;
  state.peaks.clear();
  for (const PeakRow& row : rows) state.peaks.push_back(row.value[0] + "," + row.value[1] + "," + row.value[2]);
}

void AddPeakRow(GlobalFitState& state) {
  std::vector<PeakRow> rows = peak_rows(state);
  rows.emplace_back();
  set_peak_rows(state, rows);
}

void RemovePeakRow(GlobalFitState& state, std::size_t row) {
  std::vector<PeakRow> rows = peak_rows(state);
  if (row >= rows.size()) return;
  rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(row));
  set_peak_rows(state, rows);
}

std::string fitted_text(const GlobalFitState& state, std::string_view name) {
  if (!state.result) return {};
  for (const FitParameter& p : state.result->parameters)
    if (p.name == name) {
      std::string text = format_g6(p.value);
      text += ' ';
      text += p.fixed ? "(fixed)" : sigma_text(p.sigma);
      return text;
    }
  return {};
}

const SetComparison* fitted_comparison(const GlobalFitState& state) {
  if (state.result) return &state.result->comparison;
  if (state.free_result) return &state.free_result->comparison;
  return nullptr;
}

std::vector<FitGroupPlot> fit_group_plots(const SetComparison& c) {
  std::vector<FitGroupPlot> plots;
  for (const ComparedGroup& g : c.groups) {
    FitGroupPlot plot{group_r_factor_line(g), std::nullopt, std::nullopt,
                      g.kind == MeasuredKind::herfd ? plot::kEnergyTitle : plot::kEmissionTitle};
    std::vector<double> fit, residual;
    for (std::size_t j = g.first; j < g.first + g.count && j < c.points(); ++j) {
      const double x = g.kind == MeasuredKind::herfd ? c.omega[j] : c.emission[j];
      fit.insert(fit.end(), {x, c.measured[j], c.calculated[j]});
      residual.insert(residual.end(), {x, c.calculated[j] - c.measured[j], 0.0});
    }
    plot.fit = cut_trace_of(fit.data(), fit.size() / 3, 3);
    plot.residual = cut_trace_of(residual.data(), residual.size() / 3, 3);
    plots.push_back(std::move(plot));
  }
  return plots;
}

std::vector<plot::Curve> fit_group_curves(const FitGroupPlot& plot, bool residual) {
  const std::optional<plot::Trace>& t = residual ? plot.residual : plot.fit;
  if (!t) return {};
  if (residual)
    return {{&*t, 1, plot::Pen::grid, {}, false, "zero"},
            {&*t, 0, plot::Pen::green, {}, false, "calculated-measured", plot::names::kResidual}};
  return {{&*t, 0, plot::Pen::red, {}, false, "measured", plot::names::kMeasured},
          {&*t, 1, plot::Pen::blue, {}, false, "calculated", plot::names::kCalculated}};
}

plot::PanelText fit_group_text(const FitGroupPlot& plot) {
  plot::PanelText text;
  text.x_title = plot.x_title;
  return text;
}

plot::PanelText free_fit_text() { return {}; }

std::optional<plot::Trace> free_fit_trace(const GlobalFitState& state) {
  if (!state.free_result) return std::nullopt;
  const FreeFitResult& r = *state.free_result;
  const std::size_t n = r.energy.size(), k = r.two_components ? 7 : 4;
  if (n < 2 || r.y1.size() < n || r.sigma1.size() < n ||
      (r.two_components && (r.y2.size() < n || r.sigma2.size() < n)))
    return std::nullopt;
  std::vector<double> rows;
  rows.reserve(k * n);
  for (std::size_t i = 0; i < n; ++i) {
    rows.insert(rows.end(), {r.energy[i], r.y1[i], r.y1[i] - r.sigma1[i], r.y1[i] + r.sigma1[i]});
    if (r.two_components) rows.insert(rows.end(), {r.y2[i], r.y2[i] - r.sigma2[i], r.y2[i] + r.sigma2[i]});
  }
  return cut_trace_of(rows.data(), n, k);
}

std::vector<plot::Curve> free_fit_curves(const std::optional<plot::Trace>& trace) {
  if (!trace) return {};
  const plot::Trace* t = &*trace;
  using namespace plot::names;
  std::vector<plot::Curve> curves{
      {t, 1, plot::Pen::sky_blue, {}, false, "component1-sigma", kComponent1Sigma},
      {t, 2, plot::Pen::sky_blue, {}, false, "component1+sigma", kComponent1Sigma}};
  if (t->y.size() == 6)
    curves.insert(curves.end(),
                  {{t, 4, plot::Pen::green, {}, false, "component2-sigma", kComponent2Sigma},
                   {t, 5, plot::Pen::green, {}, false, "component2+sigma", kComponent2Sigma},
                   {t, 3, plot::Pen::blue, {}, false, "component2", kComponent2}});
  curves.push_back({t, 0, plot::Pen::red, {}, false, "component1", kComponent1});
  return curves;
}

}  // namespace talvern
