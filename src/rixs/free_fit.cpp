#include "rixs/free_fit.h"

#include "rixs/global_fit.h"

namespace talvern {

std::optional<FreeFitResult> fit_free_form(const MeasuredSet&, const RowsRead&, const EngineInputs&,
                                           std::optional<double>, bool, std::string& error,
                                           const std::atomic<bool>*) {
  error = "ERROR!!\r\nThe free-form inversion is not built yet.";
  return std::nullopt;
}

std::string free_fit_report_text(const FreeFitResult&) { return {}; }
std::string free_fit_file_text(const FreeFitResult&) { return {}; }

void FreeFormFit(const WorkSpace&, GlobalFitState& state, const std::atomic<bool>*) {
  state.message = "ERROR!!\r\nThe free-form inversion is not built yet.";
}

}  // namespace talvern
