#pragma once
// The three workflow steps of the main form that open a dialog only when
// the work-space holds the files they need.

#include <functional>
#include <vector>

#include "app/main_form.h"
#include "workspace/workspace.h"

namespace talvern {

enum class WorkflowStep {
  xafs_setting,     // "Setting by XAFS"
  xrf_setting,      // "Setting by XRF"
  rixs_simulation,  // "RIXS Simulation"
};

// Tests the step's files in their order. At the first missing one the
// message pane gets the step's error and false is returned, without
// running the dialog. Otherwise `run_dialog` runs the dialog modally and,
// however it was closed, the pane gets the step's "finished" message.
// The files the step needs, in the order they are tested.
std::vector<const char*> workflow_needs(WorkflowStep step);

bool open_workflow_step(const WorkSpace& ws, WorkflowStep step, MainFormState& form,
                        const std::function<void()>& run_dialog);

}  // namespace talvern
