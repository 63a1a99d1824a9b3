#pragma once
// What the "Global Fit" dialog shows beside its sheet's fields: the peaks
// as a table (each "C,A,W" of GlobalFitState::peaks split into its three
// values, with the fix of each and, after a fit, its standard uncertainty),
// the fitted factors, every measured group as measured, calculated and
// residual, and the selective XAFS of a free-form result with its band.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plot/figure.h"
#include "plot/panel.h"
#include "rixs/global_fit.h"

namespace talvern {

// One row of the table of peaks.
struct PeakRow {
  std::array<std::string, 3> value;  // centre, amplitude, width, as typed
  std::array<bool, 3> fixed{};       // their names are in GlobalFitState::fix
  std::array<std::string, 3> sigma;  // "± s" from the last fit; "" for none
};

// The name of part `part` (0 centre, 1 amplitude, 2 width) of peak `row`
// (from 0): "peak1.center", ...
std::string peak_parameter(std::size_t row, std::size_t part);

// The rows of the state's peaks. A sigma is shown only while the table
// holds as many rows as the fit had peaks.
std::vector<PeakRow> peak_rows(const GlobalFitState& state);
// The rows back into the peaks and the fix of `state`; the other names of
// the fix (scale, abs_corr, shift) stay.
void set_peak_rows(GlobalFitState& state, const std::vector<PeakRow>& rows);
// "Add Peak": an empty row at the end. "Remove Peak": row `row`, the fix of
// the rows after it moving with them; nothing when there is no such row.
void AddPeakRow(GlobalFitState& state);
void RemovePeakRow(GlobalFitState& state, std::size_t row);

// "VALUE ± SIGMA" of parameter `name` ("scale", "abs_corr", "shift") after
// a fit, "VALUE (fixed)" when it was held; "" before a fit.
std::string fitted_text(const GlobalFitState& state, std::string_view name);

// The comparison of the last result, peaks' or free form's; none before.
const SetComparison* fitted_comparison(const GlobalFitState& state);

// One measured group after a fit, over its varying energy.
struct FitGroupPlot {
  std::string caption;                  // its R-factor line
  std::optional<plot::Trace> fit;       // measured, calculated
  std::optional<plot::Trace> residual;  // calculated - measured, and 0
  const char* x_title = plot::kEmissionTitle;  // a HERFD runs along the excitation energy
};
std::vector<FitGroupPlot> fit_group_plots(const SetComparison& c);
// Measured red and calculated blue; or the residual green over the dotted zero.
std::vector<plot::Curve> fit_group_curves(const FitGroupPlot& plot, bool residual);
plot::PanelText fit_group_text(const FitGroupPlot& plot);

// The selective XAFS of a free-form result with its one-sigma band: rows
// E, y1, y1 - sigma1, y1 + sigma1 (and the same of y2 for two components).
std::optional<plot::Trace> free_fit_trace(const GlobalFitState& state);
// Component 1 red and component 2 blue, their bands dotted sky blue and green.
std::vector<plot::Curve> free_fit_curves(const std::optional<plot::Trace>& trace);
// The free-form selective XAFS runs along the excitation energy.
plot::PanelText free_fit_text();

}  // namespace talvern
