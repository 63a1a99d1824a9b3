#pragma once
// The "Global Fit" dialog as a command sheet.

#include "command/sheet.h"
#include "rixs/global_fit.h"

namespace talvern {

Sheet<GlobalFitState>& global_fit_sheet();

}  // namespace talvern
