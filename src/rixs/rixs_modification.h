#pragma once
// The RIXS Simulation commands that reshape the working selective XAFS:
// a Lorentzian added or subtracted, a shift, and the fixing of the result
// for the calculation.

#include "plot/panel.h"
#include "rixs/rixs_state.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

namespace talvern {

// Significant digits of an energy picked on "Selective XAFS".
inline constexpr int kPickedDigits = 5;

// Left click on "Selective XAFS" at panel coordinates `click`: outside the
// accepted range nothing happens (false); inside, the energy under it in the
// region in force becomes the central energy and the excitation energy.
bool PickEnergy(const WorkSpace& ws, RIXSState& state, plot::ClickPoint click,
                double* energy = nullptr);

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
void SaveModifiedXAFS(const WorkSpace& ws, const UserFiles& files, RIXSState& state);

// "Shift": every energy of the working copy moved by "Energy Shift(±eV)".
void ShiftSelectiveXAFS(const WorkSpace& ws, RIXSState& state);

}  // namespace talvern
