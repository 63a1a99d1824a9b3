#pragma once
// The Lorentzian model of the non-resonant emission (XRF).

#include <array>
#include <vector>

#include "engine/engine.h"
#include "engine/kernel.h"
#include "workspace/parameters.h"
#include "workspace/workspace.h"

namespace talvern {

// Intermediate states of the emission model: a flat continuum of 2001
// points from 15 eV below to 185 eV above the core energy, 0.1 eV apart.
constexpr int kEmissionModelPoints = 2001;

// The emission model at one excitation energy, with the intermediate
// states prepared once, for callers that evaluate it for many Lorentzian
// settings (the least-squares fit).
class EmissionModel {
 public:
  EmissionModel(const CalcParameters& par, double omega);
  // Rows (emission energy, total, component 1, component 2) over the
  // emission grid of the parameters, in memory.
  std::vector<double> rows(const LorentzSet& lor, bool& grid_capped) const;
  // The derivatives of the total of rows() with respect to the position,
  // width and amplitude (in that order) of each Lorentzian X with use[X]:
  // d[(3 X + kind) n + k] at the k-th of the n emission energies; 0 for a
  // Lorentzian not in use. Accurate to about 1e-7 relative, as a Jacobian
  // needs.
  std::vector<double> total_derivatives(const LorentzSet& lor, const std::array<bool, 4>& use) const;

 private:
  CalcParameters par_;
  double omega_;
  Intermediate in_;
};

// Computes the emission of the trial Lorentzians (RIXS_Calculation_Lorentz_Temp.DAT)
// at excitation energy `omega` over the emission grid of the parameter file,
// and replaces Non_Resonant_Emission.DAT with it (emission energy, total,
// component 1, component 2). On a failure the output file is left empty.
EngineReport CalculateNonResonantEmission(const WorkSpace& ws, double omega);

}  // namespace talvern
