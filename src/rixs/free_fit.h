#pragma once
// The free-form inversion of "Global Fit": the selective XAFS itself on the
// working copy's energy grid, non-negative, fitted to every point of the
// measured set under a second-difference smoothness penalty
//
//   minimise |W^1/2 (G y - I)|^2 + lambda c |D2 y|^2,  y >= 0,
//
// with G the set's response (engine/response.h) at the stored factors, W
// the weights of the peak fit (none or Poisson) and c = tr(G'WG) / tr(D2'D2),
// so that lambda does not depend on the units: at lambda = 1 the penalty
// weighs as much as the measurements on average. One component when the
// working copy's two are equal (y1 = y2, G = g1 + g2), else both, each with
// its penalty. The penalty is given, or chosen by generalised
// cross-validation over 1e-10 ... 1e4 (the unconstrained solution's score
// m |r|^2 / (m - tr H)^2, four points a decade, then a golden-section
// search), and the non-negative solution is found at it. The one-sigma band
// comes from the regularised covariance (see fit_free_form in free_fit.cpp).
//
// All penalties share one generalised eigen-decomposition of the pair
// (penalty, data + penalty), so that the score at each costs two products
// with the response.

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
  double effective_parameters = 0;  // the trace of the influence matrix
  // Energy ranges where the band y +- sigma is wider than 20 % of the
  // spectrum's maximum over the excitation energies measured; ranges less
  // than the core hole's width apart are one.
  std::vector<std::pair<double, double>> undetermined;
  bool converged = true;  // the non-negative solution met its optimality conditions
};

// Non-negative least squares in the form of its normal equations: the x >= 0
// minimising x'Qx/2 - q'x for Q symmetric positive definite (p x p,
// row-major, p = q.size()). Lawson and Hanson's active-set method: from
// x = 0, the variable whose gradient most wants it above 0 joins the passive
// set, the least squares on that set is solved, and where it would make a
// variable negative x goes towards it only as far as feasibility allows and
// the variables that reach 0 leave. It ends when no variable held at 0 would
// lower the objective (x_i > 0 with gradient 0, x_i = 0 with gradient >= 0).
// The Cholesky factor of the passive block is updated as variables join and
// leave, so that a solution of p variables costs about p^3 operations.
struct NnlsResult {
  std::vector<double> x;
  std::size_t steps = 0;
  bool converged = false;
  bool stopped = false;
};
NnlsResult nnls(const std::vector<double>& Q, const std::vector<double>& q,
                const std::atomic<bool>* stop = nullptr);

// The inversion against `set` on the grid of `working` (rows E, Y1, Y2; its
// values only say whether one or two components are fitted) with the
// inputs `in`. `lambda` nothing: chosen by GCV. An "ERROR!!" text in
// `error` (and nothing returned) when it cannot run, a "CAUTION!!" when
// `stop` ended it.
std::optional<FreeFitResult> fit_free_form(const MeasuredSet& set, const RowsRead& working,
                                           const EngineInputs& in, std::optional<double> lambda,
                                           bool poisson, std::string& error,
                                           const std::atomic<bool>* stop = nullptr);

// The message of a result: the penalty, the R-factors as plane-compare
// prints them, the reduced chi-square and a CAUTION naming each energy
// range the measurements do not determine.
std::string free_fit_report_text(const FreeFitResult& result);

// The same as one JSON object: {"smooth": LAMBDA, "smooth_by_gcv": BOOL,
// "two_components": BOOL, "energies": N, "points": M, "effective_parameters":
// X, "r_factor": {...as fit-rixs --json...}, "chi2_reduced": X,
// "undetermined": [[E1, E2], ...], "converged": BOOL}.
std::string free_fit_report_json(const FreeFitResult& result);

// SelectiveXAFS_Free_Fit.DAT: rows E, y1, y2, sigma1, sigma2 (y2 and sigma2
// equal to y1 and sigma1 for one component).
std::string free_fit_file_text(const FreeFitResult& result);

}  // namespace talvern
