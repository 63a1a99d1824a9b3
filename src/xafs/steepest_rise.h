#pragma once
// The energy where a measured absorption spectrum rises most steeply: the
// proposal of "Edge from Data" for the core energy.

#include <cstddef>
#include <optional>

namespace talvern {

// Fewest rows (of distinct energies) the search takes.
constexpr std::size_t kSteepestRiseMinRows = 5;

// Smoothing of the derivative: a Gaussian in energy of this standard
// deviation, or of one median energy step where the grid is coarser.
constexpr double kSteepestRiseSigma = 0.5;  // eV

// `rows` rows of (energy, absorption), in any order; of rows with equal
// energies the first counts. The derivative by central differences on the
// (possibly non-uniform) grid, smoothed by the Gaussian above, has its
// maximum refined by a parabola through it and its neighbours; the energy
// is rounded to 0.01 eV. Empty for fewer than kSteepestRiseMinRows
// energies, a value that is not finite, a spectrum that nowhere rises, or
// one that rises equally steeply everywhere (no single steepest point).
std::optional<double> steepest_rise(const double* rows, std::size_t n);

}  // namespace talvern
