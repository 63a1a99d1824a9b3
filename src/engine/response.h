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

#include "engine/engine.h"
#include "workspace/measured_set.h"
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

struct FinalStates;

// One row of a response: for the states at offsets d_i = E_i - omega with
// the Simpson weight and core-hole factor a_i, the factors of Y1_i and Y2_i
// at emission energy w, times `pre`.
void fill_response_rows(const FinalStates& fs, const double* d, const double* a, std::size_t n,
                        double w, double pre, double* row1, double* row2);

// The response of every point of a measured set (in the set's order) to a
// selective XAFS on the energies `energies` (n >= 2), without the scale
// and the absorption correction: at the point's excitation energy Omega_j
// and emission energy w_j the engine gives
//
//   I_j = scale / (1 + abs_correction * mu_j) * (g1[j] . Y1 + g2[j] . Y2)
//
// with mu_j the conventional XAFS at Omega_j.
struct SetResponse {
  std::size_t points = 0, n = 0;
  std::vector<double> g1, g2;  // points x n, row-major
  std::vector<double> mu;      // mu_j

  // out[j] = g1[j] . y1 + g2[j] . y2.
  void base(const double* y1, const double* y2, double* out) const;
};
SetResponse set_response(const MeasuredSet& set, const double* energies, std::size_t n,
                         const EngineInputs& in);

}  // namespace talvern
