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

namespace {

// The factor of the sums: the flat continuum's absorption at the
// excitation energy is taken as 1.
double continuum_factor(const CalcParameters& par) {
  constexpr double h = 0.1;
  return h / 3 / (1.0 + par.abs_correction);
}

}  // namespace

std::vector<double> EmissionModel::rows(const LorentzSet& lor, bool& grid_capped) const {
  return spectrum_rows(in_, lor, par_, continuum_factor(par_), omega_, grid_capped);
}

std::vector<double> EmissionModel::total_derivatives(const LorentzSet& lor,
                                                     const std::array<bool, 4>& use) const {
  bool capped = false;
  const std::vector<double> grid = emission_grid(par_.emission_start, par_.emission_end,
                                                 par_.emission_step, kRowCapacity, capped);
  const std::size_t n = grid.size();
  // The total is pre(w) sum_X H_X M_X F_X(w), F_X = sum_i a_i / x_X, where
  // M_A = P_A and M_B = 2 P_B - P_A (C and D alike), x_X = (W_X/2)^2 + t^2
  // and t = d_i + w - P_X.
  const FinalStates fs = make_final_states(lor);
  std::vector<double> parts;
  sum_intermediate_parts(in_, fs, use, grid.data(), n, parts);
  const double factor = continuum_factor(par_);
  std::vector<double> d(12 * n, 0.0);
  for (std::size_t X = 0; X < 4; ++X) {
    if (!use[X]) continue;
    const double* f = parts.data() + 3 * X * n;
    const double* g = f + n;
    const double* t = g + n;
    // The partner whose M moves against P_X (B for A, D for C).
    const bool first = X % 2 == 0;
    const double* partner_f = first && use[X + 1] ? parts.data() + 3 * (X + 1) * n : nullptr;
    const double h = lor.amplitude[X], c = fs.c[X];
    const double p = lor.position[X];
    const double m = first ? p : p + (p - lor.position[X - 1]);
    for (std::size_t k = 0; k < n; ++k) {
      const double pre = par_.scale * (factor * (grid[k] / omega_));
      double dp = 2 * c * t[k] + (first ? h : 2 * h) * f[k];
      if (partner_f) dp -= lor.amplitude[X + 1] * partner_f[k];
      d[(3 * X) * n + k] = pre * dp;
      d[(3 * X + 1) * n + k] = -pre * c * (lor.width[X] / 2) * g[k];
      d[(3 * X + 2) * n + k] = pre * m * f[k];
    }
  }
  return d;
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
