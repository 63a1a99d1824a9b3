#pragma once
// The "Conventional XAFS" dialog ("Setting by XAFS") as a command sheet.

#include "command/sheet.h"
#include "xafs/conv_xafs.h"

namespace talvern {

Sheet<ConvXAFSState>& conv_xafs_sheet();

}  // namespace talvern
