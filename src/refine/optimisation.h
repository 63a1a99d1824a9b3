#pragma once
// "Optimization": the greedy search that reshapes the working selective
// XAFS so that the calculated RIXS spectrum at one excitation energy comes
// closer to the measured one.
//
// At each tried energy a series of Lorentzian peaks of rising height is
// added, one at a time, to the best spectrum found so far; a trial is kept
// when its R-factor is strictly lower than the best one. The trials are
// evaluated in memory, but every one of them gives exactly what the file
// protocol gives: its spectrum as SelectiveXAFS_for_RIXS.DAT would hand it
// to the engine (six significant digits), and the total intensity as
// Calculated_RIXS.DAT would hand it back (six significant digits).

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "workspace/workspace.h"

namespace talvern {

// Capacities of a run: selective XAFS rows, measured and calculated RIXS rows.
constexpr std::size_t kOptimSelectiveCapacity = 2000;
constexpr std::size_t kOptimRIXSCapacity = 4000;

// What the "Optimization" dialog shows.
struct OptimState {
  std::string start_energy;        // "Start Energy" (eV)
  std::string end_energy;          // "End Energy" (eV)
  std::string energy_step = "1.0";      // "Energy Step" (eV)
  std::string peak_height = "0.05";     // "Peak Height"
  std::string peak_width = "1.0";       // "Peak Width"
  std::string height_limit = "0.05";    // "Upper-Limit of the Height Change"
  std::string height_step = "0.005";    // "Step of the Height Change"
  std::vector<std::string> repetitions{"1", "2", "3"};  // "Number of Repetitions"
  int repetition = -1;                  // selected item, -1 for none
  std::string exc_energy = "0.0";       // "Exc. Energy in RIXS measurement" (eV)
  std::string components;               // "Number of Compo." (read-only)
  std::string r_factor;                 // "R-Factor" (read-only)
  std::string message;
};

extern const char* const kOptimOpening;
extern const char* const kOptimInputError;
extern const char* const kOptimInProgress;  // "In caluculation..."

// The dialog as it opens: the energy range of the selective XAFS display
// (XAFS_MinMax.DAT, ten significant digits) and the fixed initial texts.
OptimState OpenOptimization(const WorkSpace& ws);

// The dialog as "Optimize" of the RIXS Simulation dialog opens it, whose
// "Exc. Energy(eV)" box holds `exc_energy`: when that text is a number other
// than 0 it becomes the excitation energy, and the R-Factor box shows the
// R-factor the run starts from (starting_r_factor), when there is one.
OptimState OpenOptimizationFrom(const WorkSpace& ws, const std::string& exc_energy);

// The R-factor of the calculation input as it stands (SelectiveXAFS_for_RIXS.DAT)
// against the measured RIXS at excitation energy `omega`: the one a run of
// "Optimize Selective XAFS" starts from and has to beat. Calculated in memory;
// no file is written. None when the engine or the comparison refuses.
std::optional<double> starting_r_factor(const WorkSpace& ws, double omega);

// How a caller watches a run and stops it. Every member may be left empty.
struct OptimWatch {
  std::function<void(const std::string&)> notice;        // "In caluculation..."
  std::function<void(int last)> progress_range;          // 0 ... last, per repetition
  std::function<void(int position)> progress;            // once per tried energy
  std::function<void(const OptimState&)> boxes;          // read-only boxes set
  const std::atomic<bool>* stop = nullptr;               // ends the run after a trial
  std::function<void(double r, bool kept)> trial;         // every trial evaluated
  // Largest response matrix (emission energies x rows) evaluated in
  // memory; beyond it every trial runs the engine's sum afresh.
  std::size_t matrix_limit = 4000000;
};

// "Optimize Selective XAFS".
void OptimizeSelectiveXAFS(const WorkSpace& ws, OptimState& state,
                           const OptimWatch& watch = {});

// The component count of selective XAFS rows (energy, Y1, Y2): 2 when any
// row has Y1 != Y2, otherwise 1 (also for no rows).
int component_count(const double* rows3, std::size_t n);

// Number of steps of `span` by `step`, truncated toward zero; 0 when not
// positive, and at most a billion.
long long step_count(double span, double step);

// The tried peak at energy `center`: height / ((e - center)^2 + width^2).
inline double trial_peak(double e, double center, double height, double width) {
  return height / ((e - center) * (e - center) + width * width);
}

// The R-factor of calculated totals against measured intensities, both as
// their files hold them, over the first `rows` rows: 100 * sum |I - X| /
// `measured_sum`.
double r_factor(const double* calculated, const double* measured, std::size_t rows,
                double measured_sum);

}  // namespace talvern
