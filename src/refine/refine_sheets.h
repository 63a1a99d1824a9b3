#pragma once
// The "Average" and "Optimization" dialogs as command sheets.

#include "command/sheet.h"
#include "refine/average.h"
#include "refine/optimisation.h"

namespace talvern {

Sheet<AverageState>& average_sheet();
Sheet<OptimState>& optim_sheet();

// The watch of a run of the optimisation from the shell: Stop by
// `run.stop`, and `run.progress` told the repetition and the energy in hand.
OptimWatch shell_optim_watch(const CommandRun& run, const OptimState& state);

}  // namespace talvern
