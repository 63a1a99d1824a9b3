#pragma once
// The "Load Selective XAFS" dialog's commands as a command sheet.

#include "command/sheet.h"
#include "import/selective_import.h"

namespace talvern {

Sheet<XAFSReadingState>& import_sheet();

}  // namespace talvern
