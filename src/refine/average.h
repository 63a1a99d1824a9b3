#pragma once
// "Average": the working selective XAFS (SelectiveXAFS_for_RIXS_Temp.DAT)
// smoothed over an energy range by a triangular moving average of 5, 9 or
// 15 adjacent points. The range runs from the last row at or below the
// start energy to the first row at or above the end energy; rows outside it
// keep their values, and every smoothed value is taken from the unsmoothed
// columns.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "workspace/workspace.h"

namespace talvern {

// Everything the dialog shows besides its buttons and progress bar.
struct AverageState {
  std::string start_energy;  // "Start Energy" (eV), as typed
  std::string end_energy;    // "End Energy" (eV), as typed
  // "Number of Adjacent Points" and the selected position, -1 for none.
  std::vector<std::string> points_list{"5 points", "9 points", "15 points"};
  int points = -1;
  std::string message;  // message pane; "\r\n" separates lines
};

// The dialog's opening message.
extern const char kAverageOpening[];

// The dialog as it opens: the energy range of XAFS_MinMax.DAT in the two
// boxes (10 significant digits), no list entry selected.
AverageState initial_average_state(const WorkSpace& ws);

// Told of each point as it is smoothed: its index and the first and last
// index of the smoothed range.
using AverageProgress = std::function<void(std::size_t point, std::size_t first, std::size_t last)>;

// "Average": smooths the working copy over the range of the boxes with the
// window selected in the list and rewrites it whole. A refused command
// writes no file.
void Average(const WorkSpace& ws, AverageState& state, const AverageProgress& progress = {});

}  // namespace talvern
