#pragma once
// The RIXS Simulation dialog's commands on the working selective XAFS and
// its display region, and the curves of its panels. Its modification by a
// Lorentzian and by a shift are in rixs_modification.h, the RIXS calculation
// at one excitation energy and its comparison with a measured RIXS spectrum
// in rixs_calculation.h, and what the dialog shows in rixs_state.h.
//
// The selective XAFS passes through three work-space files:
// SelectiveXAFS_for_Reading.DAT (as the setting steps prepared it; only
// "Load Selective XAFS" reads it), SelectiveXAFS_for_RIXS_Temp.DAT (the
// working copy every modification starts from) and
// SelectiveXAFS_for_RIXS.DAT (what the calculation uses; "Complete the
// Modification" writes it).

#include <vector>

#include "plot/figure.h"
#include "plot/panel.h"
#include "rixs/rixs_state.h"
#include "workspace/workspace.h"

namespace talvern {

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

// ---- the refinement dialogs --------------------------------------------------

// "Average" and "Optimize" open their dialogs; whatever those end with, the
// message points to "Mode Change" to see the working copy as they left it.
void AverageDone(RIXSState& state);
void OptimizeDone(RIXSState& state);

// ---- the panels -------------------------------------------------------------------

// True when the two-component flag at the head of RIXS_Calculation_Lorentz.DAT is 1.
bool two_component_flag(const WorkSpace& ws);

// Curves of the three panels, in drawing order.
std::vector<plot::Curve> selective_curves(const RIXSState& state);
std::vector<plot::Curve> calculated_curves(const RIXSState& state, bool two_component);
std::vector<plot::Curve> comparison_curves(const RIXSState& state, bool two_component);

// Their titles: the selective XAFS over the excitation energy, with the
// marker of the excitation energy in its box and the digits a click sets it
// with; the calculated and the compared spectra over the emission energy.
plot::PanelText selective_text(const RIXSState& state);
plot::PanelText emission_text();

}  // namespace talvern
