#include "app/workflow.h"

#include <vector>

#include "workspace/file_names.h"

namespace talvern {

namespace {

struct StepRule {
  std::vector<const char*> needs;  // tested in this order
  const char* missing;                       // message when one is missing
  const char* finished;                      // message after the dialog closes
};

StepRule rule_of(WorkflowStep step) {
  switch (step) {
    case WorkflowStep::xafs_setting:
      return {{files::kConventionalXAFS, files::kSelectiveReadingOrg,
               files::kExpNonResonantEmission, files::kParameters},
              "ERROR!!\r\nYou should load ALL the materials for simulation.",
              "The setting by using conventional XAFS was finished."};
    case WorkflowStep::xrf_setting:
      return {{files::kExpNonResonantEmission, files::kParameters},
              "ERROR!!\r\nYou should make WORK SPACE at first, and \r\nload all the materials for "
              "simulation",
              "The setting by using XRF data was finished."};
    case WorkflowStep::rixs_simulation:
      break;
  }
  return {{files::kRIXSExp, files::kConvXAFSNormSpectrum, files::kSelectiveForRIXSTemp,
           files::kParameters},
          "ERROR!!\r\nYou should load ALL the materials for simulation, and \r\nthen, do both "
          "setting by XAFS and setting by XRF.",
          "RIXS simulation was finished."};
}

}  // namespace

std::vector<const char*> workflow_needs(WorkflowStep step) { return rule_of(step).needs; }

bool open_workflow_step(const WorkSpace& ws, WorkflowStep step, MainFormState& form,
                        const std::function<void()>& run_dialog) {
  const StepRule rule = rule_of(step);
  for (const char* name : rule.needs)
    if (!ws.exists(name)) {
      form.message = rule.missing;
      return false;
    }
  if (run_dialog) run_dialog();
  form.message = rule.finished;
  return true;
}

}  // namespace talvern
