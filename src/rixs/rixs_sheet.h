#pragma once
// The "RIXS Simulation" dialog as a command sheet.

#include "command/sheet.h"
#include "rixs/rixs_state.h"

namespace talvern {

Sheet<RIXSState>& rixs_sheet();

}  // namespace talvern
