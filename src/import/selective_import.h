#pragma once
// The Load Selective XAFS dialog's commands: WIEN2k and general X-Y1-Y2
// data into the work-space, each component divided by its maximum and
// resampled on a 0.1 eV grid.
//
// Commands that read a user file ask `choose` for it: on cancel they return
// at once and change nothing; a file that cannot be opened is returned as
// the failure to report, with the dialog and the work-space untouched.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "workspace/user_file.h"
#include "workspace/workspace.h"

namespace talvern {

// What the dialog shows besides its buttons.
struct XAFSReadingState {
  std::string message;  // text of the message pane; "\r\n" separates lines
};

// The message pane's text when the dialog opens.
XAFSReadingState initial_xafs_reading_state();

// One row to resample: energy and the two components.
struct ImportRow {
  double e, a, b;
};

// Resampling on the 0.1 eV grid. For k = 0 .. rows.size() - 1 the grid
// point t = Emin + 0.1 k takes the first of rows[0 .. search_limit - 1]
// within 0.002 eV of it, written as (E, A / a_max, B / b_max); a grid
// point with no such row gives nothing. Emin starts at 10000000.
std::vector<ImportRow> resample_on_grid(const std::vector<ImportRow>& rows,
                                        std::size_t search_limit, double a_max,
                                        double b_max);

// "Load 1-Compo. WIEN2k "
std::optional<OpenFailure> Load1CompoWIEN2k(const WorkSpace& ws, const UserFiles& files,
                                            XAFSReadingState& state);
// "Load 2-Compo. WIEN2k (1/2)"
std::optional<OpenFailure> LoadTwoCompoFirst(const WorkSpace& ws, const UserFiles& files,
                                             XAFSReadingState& state);
// "Load 2-Compo. WIEN2k (2/2)": refuses without the first component, before
// any file dialog.
std::optional<OpenFailure> LoadTwoCompoSecond(const WorkSpace& ws, const UserFiles& files,
                                              XAFSReadingState& state);
// "Load General X-Y1-Y2 Data"
std::optional<OpenFailure> LoadGeneral(const WorkSpace& ws, const UserFiles& files,
                                       XAFSReadingState& state);

}  // namespace talvern
