#pragma once
// Least-squares fit of the Lorentzians A-D to the measured XRF spectrum:
// positions, widths and amplitudes of the Lorentzians in use (amplitude not
// 0), each of which may be held, and an optional straight background. The
// model is the emission model evaluated in memory, scaled to the measurement
// by the factor "Fit the Lorentzians" finds for the starting values; the
// amplitudes carry any change of height, or, when one of them is held, a
// free overall scale does. The solver is GSL's trust-region
// least squares; the bounds (positive widths and amplitudes, positions
// inside the measured range) are kept by a change of variables.

#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <vector>

#include "workspace/parameters.h"
#include "workspace/row_io.h"
#include "workspace/workspace.h"
#include "xrf/emission_model.h"
#include "xrf/xrf_setting.h"

namespace talvern {

// The three parameters of a Lorentzian, in the order the fit reports them.
enum LsqKind : std::size_t { kLsqPosition = 0, kLsqWidth = 1, kLsqAmplitude = 2 };
constexpr const char* kLsqKindNames[3] = {"position", "width", "amplitude"};

// [Lorentzian A..D][position, width, amplitude]
template <class T>
using LsqTable = std::array<std::array<T, 3>, 4>;

struct LsqProblem {
  const RowsRead* measured = nullptr;  // energy, intensity
  CalcParameters par;                  // core hole, emission grid, kappa, scale
  double omega = 0;                    // excitation energy (eV)
  double y_max = 0;                    // 10000 x highest measured intensity (Emission_MinMax.DAT)
  double e_min = 0, e_max = 0;         // measured energy range: where peak positions may lie
  LorentzSet start;
  LsqTable<bool> fixed{};              // held at the start value
  bool background = false;             // fit a straight background as well
};

struct LsqResult {
  enum class Status {
    not_run,         // the command stopped before the fit (missing files)
    ok,
    no_points,       // fewer measured points on the emission grid than free parameters + 1
    none_in_use,     // every amplitude is 0
    nothing_free,    // every parameter in use is held and no background is fitted
    outside_bounds,  // a free start value breaks its bound (`bad`)
    no_height,       // the starting model is nowhere above 0
    not_converged,
    not_finite,
    stopped,         // Stop (Ctrl-C) between two iterations
  };
  Status status = Status::not_run;
  std::array<std::size_t, 2> bad{};  // Lorentzian and kind of an `outside_bounds` value
  LorentzSet fitted;                 // the start where nothing was fitted
  std::array<bool, 4> in_use{};
  LsqTable<double> sigma{};          // standard uncertainties; 0 for held or unused
  // The background at the lowest and at the highest measured energy.
  std::array<double, 2> background{}, background_sigma{};
  double scale = 0;                  // model to measured intensity
  double r_before = 0, r_after = 0;  // R-factors (%) as "Calculate R-factor" would give them
  std::size_t iterations = 0, points = 0;
  // The fitted curve over the emission grid: energy, total with the
  // background, component 1, component 2, background.
  std::vector<double> curve;

  bool ok() const { return status == Status::ok; }
};

// How a fit is watched: `stop` is looked at before each iteration, and
// `progress` told after each the iterations done and the sum of squares.
struct LsqWatch {
  const std::atomic<bool>* stop = nullptr;
  std::function<void(std::size_t iterations, double sum_of_squares)> progress;
};

// Runs the fit. Never throws; every outcome is in the status.
LsqResult least_squares_fit(const LsqProblem& problem, const LsqWatch& watch = {});

// The R-factor (%) that "Confirm Lorentzian Setting", "Fit the Lorentzians"
// and "Calculate R-factor" give for `lor`, the six digits of the work-space
// files included, computed in memory; NaN when none can be formed.
double xrf_r_factor(const EmissionModel& model, const LorentzSet& lor, const RowsRead& measured,
                    double y_max);

// "Least-Squares Fit": fits from the boxes with the held parameters and the
// background choice of the state, writes the fitted values into the boxes
// and shows the fitted curve and background. A fit that fails leaves the
// boxes as they were, as does a fit that `watch` stops.
LsqResult LeastSquaresFit(const WorkSpace& ws, XRFState& state, const LsqWatch& watch = {});

// The boxes and the component choice from the confirmed setting
// (RIXS_Calculation_Lorentz_Temp.DAT) and "Exc. Energy(eV)" from
// Emission_Exc_Energy.DAT: where talvern-cli's fit starts. False, with an
// "ERROR!!" message, when either file is missing or short.
bool load_confirmed_setting(const WorkSpace& ws, XRFState& state);

}  // namespace talvern
