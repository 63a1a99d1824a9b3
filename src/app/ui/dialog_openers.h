#pragma once
// The dialogs a dialog leads to, handed to it from here, the floor that opens
// them all: no dialog's ui/ includes the ui/ of another dialog folder.

#include "rixs/ui/CRIXSXAFS.h"

namespace talvern {

// "Optimize" (COptim), "Average" (CAverage), "RIXS Plane..." (CRIXSPlane)
// and "Global Fit..." (CGlobalFit) of the RIXS Simulation dialog.
CRIXSXAFS::Openers rixs_simulation_openers();

}  // namespace talvern
