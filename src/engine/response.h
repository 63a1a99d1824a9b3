#pragma once
// The engine's total intensity as a linear function of the selective XAFS.
//
// For fixed energies of the selective XAFS, a fixed excitation energy and
// fixed parameters, Lorentzians and conventional XAFS, the total intensity
// at emission energy k is
//
//   I_k = sum_i g1[k][i] * Y1_i + g2[k][i] * Y2_i
//
// whatever the two-component flag says (with the flag 1 the parts are
// added, otherwise the sum is scaled as a whole: the same number). A
// search that changes only the intensities can so evaluate a trial with
// two dot products per emission energy instead of a run of the engine.

#include <cstddef>
#include <vector>

#include "workspace/parameters.h"
#include "workspace/row_io.h"

namespace talvern {

struct TotalResponse {
  std::size_t points = 0;  // emission energies (rows of the engine's output)
  std::size_t n = 0;       // selective XAFS rows
  std::vector<double> g1, g2;  // points x n, row-major

  // out[k] = g1[k] . y1 + g2[k] . y2 for every emission energy k.
  void total(const double* y1, const double* y2, double* out) const;
  // out[k] = g[k] . y for one of the matrices.
  static void apply(const std::vector<double>& g, std::size_t points, std::size_t n,
                    const double* y, double* out);
};

// The response for the selective XAFS energies `energies` (n >= 2 values)
// at excitation energy `omega`, with the emission grid, factors and
// Lorentzians of `par` and `lor` and the absorption of `conv` (rows of two
// values), for the first `max_points` emission energies at most.
TotalResponse total_response(const RowsRead& conv, const CalcParameters& par,
                             const LorentzSet& lor, const double* energies, std::size_t n,
                             double omega, std::size_t max_points);

}  // namespace talvern
