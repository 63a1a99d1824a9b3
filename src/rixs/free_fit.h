#pragma once
// The free-form inversion of "Global Fit": the selective XAFS itself on the
// working copy's energy grid, non-negative, fitted to every point of the
// measured set under a second-difference smoothness penalty
//
//   minimise |W (G y - I)|^2 + lambda |D2 y|^2,  y >= 0,
//
// with G the set's response (engine/response.h) at the stored factors. One
// component when the working copy's two are equal, else both. The penalty
// is given or chosen by generalised cross-validation; the one-sigma band
// comes from the regularised covariance.

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "engine/measured_model.h"
#include "engine/response.h"
#include "workspace/measured_set.h"
#include "workspace/row_io.h"
#include "workspace/workspace.h"

namespace talvern {

struct FreeFitResult {
  std::vector<double> energy, y1, y2, sigma1, sigma2;  // one per row of the grid
  bool two_components = false;
  double lambda = 0;         // the penalty used
  bool lambda_by_gcv = false;
  SetComparison comparison;  // the model of the result at every measured point
  double chi2_reduced = 0;
  // Energy ranges where the band is wider than 20 % of the spectrum's maximum.
  std::vector<std::pair<double, double>> undetermined;
};

// The inversion against `set` on the grid of `working` (rows E, Y1, Y2; its
// values only say whether one or two components are fitted) with the
// inputs `in`. `lambda` nothing: chosen by GCV. An "ERROR!!" text in
// `error` (and nothing returned) when it cannot run.
std::optional<FreeFitResult> fit_free_form(const MeasuredSet& set, const RowsRead& working,
                                           const EngineInputs& in, std::optional<double> lambda,
                                           bool poisson, std::string& error,
                                           const std::atomic<bool>* stop = nullptr);

// The message of a result: the penalty, the R-factors as plane-compare
// prints them, the reduced chi-square and a CAUTION naming each energy
// range the measurements do not determine.
std::string free_fit_report_text(const FreeFitResult& result);

// SelectiveXAFS_Free_Fit.DAT: rows E, y1, y2, sigma1, sigma2 (y2 and sigma2
// equal to y1 and sigma1 for one component).
std::string free_fit_file_text(const FreeFitResult& result);

}  // namespace talvern
