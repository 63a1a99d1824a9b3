#pragma once
// "Load Exp. RIXS", "Load Conventional XAFS" and "Load XRF": a measured
// spectrum (energy, intensity pairs, numbers only) into the work-space.
//
// Each command asks `choose` for a file. On cancel it returns at once and
// changes nothing. A file that cannot be opened is returned as the failure
// to report, with the form and the work-space untouched. Otherwise the
// command writes its work-space files and the message pane.

#include <optional>

#include "app/main_form.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

namespace talvern {

// Put after a load's message when the work-space directory is missing, so
// that nothing could be written.
inline constexpr char kNoWorkSpaceCaution[] =
    "CAUTION!! The work-space does not exist, so nothing was written. Press Construct Work-Space "
    "first.";

std::optional<OpenFailure> LoadExpRIXS(const WorkSpace& ws, const UserFiles& files,
                                       MainFormState& form);
std::optional<OpenFailure> LoadConventionalXAFS(const WorkSpace& ws, const UserFiles& files,
                                                MainFormState& form);
std::optional<OpenFailure> LoadXRF(const WorkSpace& ws, const UserFiles& files,
                                   MainFormState& form);

}  // namespace talvern
