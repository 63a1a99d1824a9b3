#pragma once
// The model at every point of the measured set: the engine's sum evaluated
// at exactly the measured emission energies (and, for a HERFD, at each
// measured excitation energy with the HERFD's emission energy), and the
// R-factors of each group and of the whole set.

#include <cstddef>
#include <optional>
#include <vector>

#include "engine/engine.h"
#include "workspace/measured_set.h"
#include "workspace/row_io.h"

namespace talvern {

// The R-factor 100 * sum |calculated - measured| / sum measured over n
// points; nothing when the measured intensities sum to 0 or less.
std::optional<double> r_factor_of(const double* calculated, const double* measured, std::size_t n);

// One group of the set as compared.
struct ComparedGroup {
  MeasuredKind kind = MeasuredKind::emission;
  double energy = 0;        // its fixed energy
  std::size_t first = 0;    // its first point in SetComparison's arrays
  std::size_t count = 0;
  std::optional<double> r_factor;
};

// The measured set beside the model, point by point in the set's order.
struct SetComparison {
  std::vector<double> omega, emission, measured, calculated;
  std::vector<int> kind;  // K of each point
  std::vector<ComparedGroup> groups;
  std::optional<double> r_factor;  // over every point

  std::size_t points() const { return omega.size(); }
};

// The model's total intensity at every point of `set`, from the selective
// XAFS rows `sel` (at least two) and the inputs `in`, as "Calculate RIXS"
// would compute it at the point's excitation and emission energies.
SetComparison compare_with_model(const MeasuredSet& set, const RowsRead& sel,
                                 const EngineInputs& in);

// The comparison of `set` with the model's intensities `calculated` at its
// points (in the set's order), with the R-factors.
SetComparison comparison_of(const MeasuredSet& set, const std::vector<double>& calculated);

}  // namespace talvern
