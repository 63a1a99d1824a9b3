#include "xrf/emission_model.h"

#include "workspace/file_names.h"
#include "workspace/row_io.h"

namespace talvern {

EmissionModel::EmissionModel(const CalcParameters& par, double omega) : par_(par), omega_(omega) {
  in_.reserve(kEmissionModelPoints);
  for (int i = 0; i < kEmissionModelPoints; ++i) {
    const double energy = par.core_energy - 15 + 0.1 * i;
    in_.add(energy, omega, 0.5 * par.gamma, simpson_weight(static_cast<std::size_t>(i)), 1.0, 1.0);
  }
  in_.finish();
}

std::vector<double> EmissionModel::rows(const LorentzSet& lor, bool& grid_capped) const {
  // Flat continuum: the absorption at the excitation energy is taken as 1.
  constexpr double h = 0.1;
  const double factor = h / 3 / (1.0 + par_.abs_correction);
  return spectrum_rows(in_, lor, par_, factor, omega_, grid_capped);
}

EngineReport CalculateNonResonantEmission(const WorkSpace& ws, double omega) {
  EngineReport report;
  const auto output = ws.file(files::kNonResonantEmission);
  auto fail = [&](EngineReport::Status s) { return fail_spectrum(output, report, s); };

  CalcParameters par;
  if (read_parameters(ws.file(files::kParameters), par) < CalcParameters::kCount)
    return fail(EngineReport::Status::parameters_missing);
  LorentzSet lor;
  if (read_lorentz(ws.file(files::kLorentzTemp), lor) < LorentzSet::kCount)
    return fail(EngineReport::Status::lorentz_missing);

  return write_spectrum(output, EmissionModel(par, omega).rows(lor, report.grid_capped), report);
}

}  // namespace talvern
