#pragma once
// The "Setting by XRF" dialog as a command sheet.

#include "command/sheet.h"
#include "xrf/xrf_setting.h"

namespace talvern {

Sheet<XRFState>& xrf_sheet();

}  // namespace talvern
