#pragma once
// The RIXS Simulation dialog's commands: the working selective XAFS and its
// display region, its modification by a Lorentzian and by a shift, the
// RIXS calculation at one excitation energy and its comparison with a
// measured RIXS spectrum.
//
// The selective XAFS passes through three work-space files:
// SelectiveXAFS_for_Reading.DAT (as the setting steps prepared it; only
// "Load Selective XAFS" reads it), SelectiveXAFS_for_RIXS_Temp.DAT (the
// working copy every modification starts from) and
// SelectiveXAFS_for_RIXS.DAT (what the calculation uses; "Complete the
// Modification" writes it).

#include <optional>
#include <string>
#include <vector>

#include "plot/panel.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

namespace talvern {

// Everything the dialog shows besides its buttons.
struct RIXSState {
  // Radio group "Display Mode".
  static constexpr int kModeA = 0, kModeB = 1, kModeAB = 2;
  // Radio group of "Modification by Lorentzian".
  static constexpr int kAdd = 0, kSubtract = 1;

  std::string region_min, region_max;  // "Display Region": "eV~" and "eV"
  int display_mode = -1;               // kModeA, kModeB, kModeAB; -1 none
  std::string central_energy;          // "Central Energy"
  std::string amplitude;               // "Amp."
  std::string width;                   // "Width"
  int sign = -1;                       // kAdd, kSubtract; -1 none
  std::string energy_shift;            // "Energy Shift(±eV)"
  std::string exc_energy;              // "Exc. Energy(eV)"
  std::string scale;                   // "Scale Fac."
  std::string abs_correction;          // "Abs. Corr. Fac."
  std::string message;                 // message pane; "\r\n" separates lines

  // Display data of the three panels; all absent when the dialog opens.
  std::optional<plot::Trace> selective;     // x, component 1, component 2
  std::optional<plot::Trace> lorentzian;    // x, y, hidden flags
  std::optional<plot::Trace> calculated;    // x, total, part 1, part 2
  std::optional<plot::Trace> experimental;  // x, y
  std::optional<plot::Trace> comparison;    // x, total, part 1, part 2, hidden flags
  std::optional<double> marker;            // click marker to draw now on "Selective XAFS"
};

// Rows a comparison reduces, of each spectrum.
constexpr std::size_t kComparisonCapacity = 4000;

// Shown whenever the text of "Exc. Energy(eV)" changes.
extern const char kExcEnergyNotice[];

// ---- the selective XAFS and its display --------------------------------------

// "Load Selective XAFS": the working copy anew from
// SelectiveXAFS_for_Reading.DAT, its full range as the display region, the
// factors of the calculation into their boxes.
void LoadSelectiveXAFS(const WorkSpace& ws, RIXSState& state);

// "Mode Change": the display region of the boxes, when it lies within the
// working copy, with the vertical range of the rows inside it.
void ModeChange(const WorkSpace& ws, RIXSState& state);

// "Clear": drops every trace.
void ClearSelectiveXAFS(RIXSState& state);
// "All Clear": drops the measured RIXS and the comparison.
void AllClear(RIXSState& state);
// "Clear RIXS": drops the calculated RIXS and the comparison.
void ClearRIXS(RIXSState& state);

// ---- modification -------------------------------------------------------------

// Left click on "Selective XAFS" at panel coordinates `click`: outside the
// accepted range nothing happens (false); inside, the energy under it in the
// region in force becomes the central energy and the excitation energy.
bool PickEnergy(const WorkSpace& ws, RIXSState& state, plot::ClickPoint click);

// "Show the Peak": the Lorentzian of the boxes at every energy of the working
// copy, stored in XAFSLorentz_Temp.DAT and drawn over the selective XAFS.
void ShowThePeak(const WorkSpace& ws, RIXSState& state);

// "Modify XAFS": the working copy plus or minus the Lorentzian last shown, on
// the components of the display mode, into SelectiveXAFS_for_RIXS_Temp2.DAT.
void ModifyXAFS(const WorkSpace& ws, RIXSState& state);

// "Save It Temporarily": the last modification becomes the working copy.
void SaveItTemporarily(const WorkSpace& ws, RIXSState& state);

// "More Change": the working copy drawn anew in the region of the boxes.
void MoreChange(const WorkSpace& ws, RIXSState& state);

// "Complete the Modification": as "More Change", and the working copy
// becomes SelectiveXAFS_for_RIXS.DAT, what the calculation uses.
void CompleteTheModification(const WorkSpace& ws, RIXSState& state);

// "Save Modified XAFS": SelectiveXAFS_for_RIXS.DAT into a file the user
// chooses. A cancelled file dialog changes nothing.
void SaveModifiedXAFS(const WorkSpace& ws, const FileChooser& choose, RIXSState& state);

// "Shift": every energy of the working copy moved by "Energy Shift(±eV)".
void ShiftSelectiveXAFS(const WorkSpace& ws, RIXSState& state);

// ---- the refinement dialogs --------------------------------------------------

// "Average" and "Optimize" open their dialogs; whatever those end with, the
// message points to "Mode Change" to see the working copy as they left it.
void AverageDone(RIXSState& state);
void OptimizeDone(RIXSState& state);

// ---- calculation and comparison --------------------------------------------------

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
std::optional<OpenFailure> CompAnotherRIXS(const WorkSpace& ws, const FileChooser& choose,
                                           RIXSState& state);

// "Compare RIXS": the measured and the calculated RIXS on the scale of the
// measurement.
void CompareRIXS(const WorkSpace& ws, RIXSState& state);

// "Save RIXS": Calculated_RIXS.DAT into a file the user chooses. A cancelled
// file dialog changes nothing.
void SaveRIXS(const WorkSpace& ws, const FileChooser& choose, RIXSState& state);

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

// ---- the panels -------------------------------------------------------------------

// True when the two-component flag at the head of RIXS_Calculation_Lorentz.DAT is 1.
bool two_component_flag(const WorkSpace& ws);

// Curves of the three panels, in drawing order.
std::vector<plot::Curve> selective_curves(const RIXSState& state);
std::vector<plot::Curve> calculated_curves(const RIXSState& state, bool two_component);
std::vector<plot::Curve> comparison_curves(const RIXSState& state, bool two_component);

}  // namespace talvern
