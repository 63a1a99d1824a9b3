#pragma once
// "Global Fit": least squares of the model against every point of the
// measured set (RIXS_Plane_Exp.DAT). The model is the engine's sum from the
// working selective XAFS (SelectiveXAFS_for_RIXS_Temp.DAT) with reshaping
// Lorentzians A / ((E - C)^2 + W^2) added to its components, the whole
// shifted by a common energy, at the stored factors or fitted ones.
//
// The RIXS is linear in the selective XAFS, so the response of every
// measured point to it is built once (once per shift); a trial is two
// matrix-vector products, and the Jacobian is analytic but for the shift.

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/measured_model.h"
#include "engine/response.h"
#include "rixs/free_fit.h"
#include "workspace/measured_set.h"
#include "workspace/row_io.h"
#include "workspace/workspace.h"

namespace talvern {

// A parameter of the fit as it ended.
struct FitParameter {
  std::string name;  // "peak1.center", ..., "scale", "abs_corr", "shift"
  double value = 0;
  double sigma = 0;  // standard uncertainty; 0 for a fixed parameter
  bool fixed = true;
  bool on_bound = false;  // a free parameter that ended on one of its bounds
};

// A correlation of two free parameters beyond this, in magnitude, means the
// measurements do not tell them apart.
inline constexpr double kCorrelationCaution = 0.95;

struct GlobalFitResult {
  std::vector<FitParameter> parameters;
  SetComparison comparison;  // the model at the fitted parameters
  double chi2_reduced = 0;
  std::vector<std::string> free_names;  // the free parameters, in order
  std::vector<double> correlation;      // free x free, row-major
  std::size_t iterations = 0;
  bool stopped = false;  // Stop ended it before it converged
  // The selective XAFS of the fitted model: the working copy with the peaks
  // added and shifted, rows (E, Y1, Y2).
  std::vector<double> selective;

  // Pairs of free parameters whose correlation exceeds kCorrelationCaution
  // in magnitude.
  struct Pair {
    std::string a, b;
    double r;
  };
  std::vector<Pair> correlated() const;
};

// What a fit is asked for.
struct FitSetup {
  struct Peak {
    double center = 0, amplitude = 0, width = 1;
  };
  std::vector<Peak> peaks;
  bool component1 = true, component2 = true;  // which components the peaks go to
  bool fit_scale = false, fit_abs_corr = false, fit_shift = false;
  std::vector<std::string> fixed;  // names of parameters held at their start
  bool poisson = false;            // weights 1 / max(|I|, 1 % of the group's maximum)
};

// The fit of `setup` to `set` from the working copy `working` (rows E, Y1,
// Y2, at least two) and the inputs `in` (factors to start from in in.par).
// An "ERROR!!" text in `error` (and nothing returned) when it cannot run.
std::optional<GlobalFitResult> fit_global(const MeasuredSet& set, const RowsRead& working,
                                          const EngineInputs& in, const FitSetup& setup,
                                          std::string& error,
                                          const std::atomic<bool>* stop = nullptr);

// The lines a fit prints: NAME = VALUE ± SIGMA, the R-factors as
// plane-compare prints them, the reduced chi-square and the cautions.
std::string fit_report_text(const GlobalFitResult& result);
// The same as one JSON object.
std::string fit_report_json(const GlobalFitResult& result);

// What the "Global Fit" dialog shows and the command line gives.
struct GlobalFitState {
  std::vector<std::string> peaks;  // "C,A,W" each
  int components = 2;              // 0 A, 1 B, 2 AB
  bool fit_scale = false, fit_abs_corr = false, fit_shift = false;
  std::string fix;  // comma-separated parameter names
  int weights = 0;  // 0 none, 1 poisson
  bool json = false, confirm = false;
  bool free = false;   // the free-form inversion instead of peaks
  std::string smooth;  // its penalty: a number, "auto" or "" (auto)
  std::optional<GlobalFitResult> result;
  std::optional<FreeFitResult> free_result;
  // The fields of the "Fit" that gave `result` or `free_result`, kept for
  // "Apply"; none after a fit that failed, was stopped or was applied.
  std::shared_ptr<const GlobalFitState> fitted_from;
  std::string message;
};

// "Fit": the fit of the state's setup; with `confirm`, "Apply" as well.
void GlobalFit(const WorkSpace& ws, GlobalFitState& state,
               const std::atomic<bool>* stop = nullptr);

// "Fit" with "Free Form": the free-form inversion of the state's penalty
// (--smooth) into the state and SelectiveXAFS_Free_Fit.DAT; with `confirm`
// the result becomes the working copy. Refuses --fit-scale.
void FreeFormFit(const WorkSpace& ws, GlobalFitState& state,
                 const std::atomic<bool>* stop = nullptr);

// "Apply": the fitted peaks and shift into the working copy and the
// calculation's selective XAFS (as "Modify XAFS", "Save It Temporarily",
// "Shift" and "Complete the Modification" would leave them), the factors
// into RIXS_Calculation_Parameters.DAT. Returns what to add to the message;
// an "ERROR!!" text, with nothing written, for a fit whose values are not
// all finite numbers.
std::string apply_fit(const WorkSpace& ws, const GlobalFitResult& result);

// Shared by the fit of peaks and the free form (free_fit.cpp).

// The weight of each point of `set` in the least squares: 1, or with
// `poisson` 1 / max(|I|, 1 % of its group's maximum).
std::vector<double> fit_weights(const MeasuredSet& set, bool poisson);

// What a fit reads from the work-space: the measured set, the working copy
// (SelectiveXAFS_for_RIXS_Temp.DAT) and the engine's inputs. Nothing, with
// the "ERROR!!" text in `message`, when one of them cannot be had.
struct FitInputs {
  MeasuredSet set;
  RowsRead working;
  EngineInputs in;
};
std::optional<FitInputs> read_fit_inputs(const WorkSpace& ws, std::string& message);

// False, with the "ERROR!!" text in `error`, when the working copy holds
// fewer than two rows or the set's response to it would be too large.
bool fit_can_run(const MeasuredSet& set, const RowsRead& working, std::string& error);

// A number as JSON: the shortest text that reads back; null when not finite.
std::string json_number(double v);
// The R-factors as JSON: {"total": X, "groups": [{"energy": E, "kind":
// "exc"|"herfd", "r_factor": X}, ...]}, null for one there is none of.
std::string r_factor_json(const SetComparison& c);

// The setup the state asks for; "INPUT ERROR!!" text in `error` when a
// peak or a name cannot be read.
std::optional<FitSetup> fit_setup(const GlobalFitState& state, std::string& error);

}  // namespace talvern
