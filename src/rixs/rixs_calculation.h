#pragma once
// The RIXS Simulation commands of the two right-hand panels: the RIXS
// calculation at one excitation energy and its comparison with a measured
// RIXS spectrum.

#include <cstddef>
#include <optional>
#include <vector>

#include "rixs/rixs_state.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

namespace talvern {

// Rows a comparison reduces, of each spectrum.
constexpr std::size_t kComparisonCapacity = 4000;

// "Calculate RIXS": the two factors into the parameter file, the RIXS at
// "Exc. Energy(eV)" (7150 eV when outside 1000 ... 20000 eV) into
// Calculated_RIXS.DAT and its trace; the comparison follows when a
// measured RIXS is shown.
void CalculateRIXSSpectrum(const WorkSpace& ws, RIXSState& state);

// "Comp. Exp. RIXS": the stored measured RIXS and the calculated one reduced
// to their common emission energies; "Compare RIXS" follows when a
// calculated RIXS is shown.
void CompExpRIXS(const WorkSpace& ws, RIXSState& state);

// "Comp. Another RIXS": as "Comp. Exp. RIXS" with a measured RIXS chosen by
// the user, which replaces the stored one. Returns the chosen file when it
// cannot be opened; a cancelled file dialog changes nothing.
std::optional<OpenFailure> CompAnotherRIXS(const WorkSpace& ws, const UserFiles& files,
                                           RIXSState& state);

// "Compare RIXS": the measured and the calculated RIXS on the scale of the
// measurement.
void CompareRIXS(const WorkSpace& ws, RIXSState& state);

// "Save RIXS": Calculated_RIXS.DAT into a file the user chooses. A cancelled
// file dialog changes nothing.
void SaveRIXS(const WorkSpace& ws, const UserFiles& files, RIXSState& state);

// Matching of a measured (energy, intensity) and a calculated (energy,
// total, part 1, part 2) spectrum at emission energies less than 0.0001 eV
// apart. The spectrum with more rows is reduced to the energies of the
// other; the other is kept whole.
struct CommonEnergies {
  std::vector<double> measured;    // rows of 2 values
  std::vector<double> calculated;  // rows of 4 values
  std::size_t matched = 0;         // pairs found
};
CommonEnergies reduce_to_common(const double* measured, std::size_t n_measured,
                                const double* calculated, std::size_t n_calculated);

}  // namespace talvern
