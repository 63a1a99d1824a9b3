#pragma once
// The Kramers-Heisenberg sum shared by the RIXS engine and the emission
// model. For every emission energy w the sum runs over the intermediate
// states i:
//
//   s1(w) = sum_i a1_i * ( cA / xA_i(w) + cB / xB_i(w) )
//   s2(w) = sum_i a2_i * ( cC / xC_i(w) + cD / xD_i(w) )
//   xX_i(w) = (W_X/2)^2 + (d_i + w - P_X)^2,    d_i = E_i - Omega
//
// where a_i already holds the Simpson weight, the core-hole factor
// E_i / ((E_i - Omega)^2 + gamma^2) and the intermediate-state intensity,
// and c_X = H_X * M_X. The caller multiplies by the factors that do not
// depend on i (w / Omega, h/3, absorption correction, scale factor).

#include <array>
#include <cstddef>
#include <vector>

#include "workspace/parameters.h"

namespace talvern {

// Constants of the four Lorentzian final states.
struct FinalStates {
  double q[4];  // (W_X / 2)^2
  double p[4];  // P_X
  double c[4];  // H_X * M_X with M_A = P_A, M_B = 2 P_B - P_A, M_C = P_C, M_D = 2 P_D - P_C
};

FinalStates make_final_states(const LorentzSet& set);

// Terms of the intermediate states, prepared once per excitation energy.
struct Intermediate {
  std::vector<double> d;   // E_i - Omega
  std::vector<double> a1;  // weight * core-hole factor * component 1
  std::vector<double> a2;  // weight * core-hole factor * component 2
  std::size_t n = 0;

  void reserve(std::size_t rows) {
    d.reserve(rows + 8);
    a1.reserve(rows + 8);
    a2.reserve(rows + 8);
  }
  // Adds intermediate state i. `weight` is the Simpson weight.
  void add(double energy, double omega, double gamma_half, double weight, double y1, double y2);
  // Pads the arrays to a whole number of vector lanes with terms that add 0.
  void finish();
};

// True when the processor has AVX2 and FMA, so that bodies compiled for
// them may run (found once).
bool has_avx2_fma();

// Simpson-type weight of point i: 1 for the first point, then 4 for odd
// and 2 for even i; the last point has no end correction.
inline double simpson_weight(std::size_t i) { return i == 0 ? 1.0 : (i % 2 ? 4.0 : 2.0); }

// Evaluates s1 and s2 for each of the `count` emission energies. When the
// intermediate states and the emission energies lie on a common lattice the
// sum is done as a correlation with the final-state function tabulated on
// it (and true is returned), else term by term. Splits the work over two
// threads when it is large enough to pay.
bool sum_intermediate(const Intermediate& in, const FinalStates& fs, const double* omega,
                      std::size_t count, double* s1, double* s2);

// The sums behind the derivatives of s1 and s2, for each Lorentzian X with
// use[X] on its own: at each of the `count` emission energies w_k,
//   parts[(3 X) count + k]     = sum_i a_i / x,
//   parts[(3 X + 1) count + k] = sum_i a_i / x^2,
//   parts[(3 X + 2) count + k] = sum_i a_i t / x^2,
// with t = d_i + w_k - P_X, x = (W_X/2)^2 + t^2, and a = a1 for A and B, a2
// for C and D (zero for a Lorentzian not in use). On a common lattice the
// drift of an accumulated grid is left out, a relative error of about 1e-7:
// fit for a Jacobian, not for the values themselves.
void sum_intermediate_parts(const Intermediate& in, const FinalStates& fs,
                            const std::array<bool, 4>& use, const double* omega,
                            std::size_t count, std::vector<double>& parts);

// Starts the helper thread that shares large sums, if it is not running
// yet. A new thread can take a few milliseconds to be scheduled, so a caller
// about to read the input of a large sum starts it first.
void start_helper_thread();

// The accumulated emission-energy grid: start, start + step, ... while
// <= end, at most `capacity` points. `capped` tells whether the grid was cut.
std::vector<double> emission_grid(double start, double end, double step, std::size_t capacity,
                                  bool& capped);

}  // namespace talvern
