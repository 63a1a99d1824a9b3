#pragma once
// Every command of the program with a subcommand, from the sheets of the
// main form and the dialogs, in the order of the workflow: what talvern-cli
// offers, its help lists and its history replays.

#include <vector>

#include "command/sheet.h"

namespace talvern {

std::vector<Subcommand> all_subcommands();

}  // namespace talvern
