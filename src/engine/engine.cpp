#include "engine/engine.h"

#include <string>
#include <vector>

#include "engine/kernel.h"
#include "workspace/file_names.h"
#include "workspace/number_text.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"

namespace talvern {

double absorption_at(const double* rows2, std::size_t m, double omega) {
  for (std::size_t j = 0; j + 1 < m; ++j) {
    const double e0 = rows2[2 * j], mu0 = rows2[2 * j + 1];
    if (omega - e0 < 0.5) {
      const double e1 = rows2[2 * j + 2], mu1 = rows2[2 * j + 3];
      // Two rows at the same energy give no slope: take the first value.
      if (e1 == e0) return mu0;
      return mu0 + (mu1 - mu0) * (omega - e0) / (e1 - e0);
    }
  }
  return 1.0;
}

EngineReport CalculateRIXS(const WorkSpace& ws, double omega) {
  start_helper_thread();
  return CalculateRIXSFrom(ws, read_rows(ws.file(files::kSelectiveForRIXS), 3, kRowCapacity),
                           omega);
}

EngineReport CalculateRIXSFrom(const WorkSpace& ws, const RowsRead& sel, double omega) {
  EngineInputs in;
  EngineReport report = read_engine_inputs(ws, sel, in);
  const auto output = ws.file(files::kCalculatedRIXS);
  if (report.status != EngineReport::Status::ok)
    return fail_spectrum(output, report, report.status);
  return write_spectrum(output, rixs_rows(sel, in.conv, in.par, in.lor, omega, report.grid_capped),
                        report);
}

EngineReport read_engine_inputs(const WorkSpace& ws, const RowsRead& sel, EngineInputs& in) {
  EngineReport report;
  in.conv = read_rows(ws.file(files::kConvXAFSNormSpectrum), 2, kConvXAFSCapacity);
  report.selective_capped = sel.capped;
  report.conv_capped = in.conv.capped;
  if (read_parameters(ws.file(files::kParameters), in.par) < CalcParameters::kCount)
    report.status = EngineReport::Status::parameters_missing;
  else if (read_lorentz(ws.file(files::kLorentz), in.lor) < LorentzSet::kCount)
    report.status = EngineReport::Status::lorentz_missing;
  else if (sel.rows < 2)
    report.status = EngineReport::Status::too_few_rows;
  return report;
}

namespace {

// The intermediate states of `sel` at excitation energy `omega`, and the
// factor h/3 times the absorption correction.
double prepare_intermediate(const RowsRead& sel, const RowsRead& conv, const CalcParameters& par,
                            double omega, Intermediate& in) {
  const double mu = absorption_at(conv.values.data(), conv.rows, omega);
  const double h = sel.at(1, 0) - sel.at(0, 0);
  const double ac = 1.0 / (1.0 + par.abs_correction * mu);
  in.reserve(sel.rows);
  for (std::size_t i = 0; i < sel.rows; ++i)
    in.add(sel.at(i, 0), omega, 0.5 * par.gamma, simpson_weight(i), sel.at(i, 1), sel.at(i, 2));
  in.finish();
  return h / 3 * ac;
}

}  // namespace

std::vector<double> rixs_rows(const RowsRead& sel, const RowsRead& conv,
                              const CalcParameters& par, const LorentzSet& lor, double omega,
                              bool& grid_capped) {
  Intermediate in;
  const double factor = prepare_intermediate(sel, conv, par, omega, in);
  return spectrum_rows(in, lor, par, factor, omega, grid_capped);
}

std::vector<double> rixs_rows_at(const RowsRead& sel, const RowsRead& conv,
                                 const CalcParameters& par, const LorentzSet& lor, double omega,
                                 const double* emission, std::size_t n) {
  Intermediate in;
  const double factor = prepare_intermediate(sel, conv, par, omega, in);
  return spectrum_rows_at(in, lor, par, factor, omega, emission, n);
}

EngineReport fail_spectrum(const std::filesystem::path& output, EngineReport report,
                           EngineReport::Status s) {
  report.status = s;
  report.rows = 0;
  pass_over(write_text_atomic(output, ""));
  return report;
}

std::vector<double> spectrum_rows(const Intermediate& in, const LorentzSet& lor,
                                  const CalcParameters& par, double factor, double omega,
                                  bool& grid_capped) {
  const std::vector<double> grid = emission_grid(par.emission_start, par.emission_end,
                                                 par.emission_step, kRowCapacity,
                                                 grid_capped);
  return spectrum_rows_at(in, lor, par, factor, omega, grid.data(), grid.size());
}

std::vector<double> spectrum_rows_at(const Intermediate& in, const LorentzSet& lor,
                                     const CalcParameters& par, double factor, double omega,
                                     const double* grid, std::size_t n) {
  std::vector<double> s1(n), s2(n);
  sum_intermediate(in, make_final_states(lor), grid, n, s1.data(), s2.data());

  std::vector<double> out(4 * n);
  for (std::size_t k = 0; k < n; ++k) {
    const double pre = par.scale * (factor * (grid[k] / omega));
    double total, part1, part2;
    if (lor.two_component == 1) {
      part1 = pre * s1[k];
      part2 = pre * s2[k];
      total = part1 + part2;
    } else {
      total = pre * (s1[k] + s2[k]);
      part1 = total;
      part2 = 0;
    }
    out[4 * k] = grid[k];
    out[4 * k + 1] = total;
    out[4 * k + 2] = part1;
    out[4 * k + 3] = part2;
  }
  return out;
}

EngineReport write_spectrum(const std::filesystem::path& output, const std::vector<double>& rows,
                            EngineReport report) {
  const std::size_t n = rows.size() / 4;
  switch (write_rows(output, rows.data(), n, 4)) {
    case WriteStatus::ok:
      report.rows = n;
      return report;
    case WriteStatus::not_finite:
      return fail_spectrum(output, report, EngineReport::Status::not_finite);
    case WriteStatus::cannot_write:
      report.status = EngineReport::Status::cannot_write;
      report.rows = 0;
      return report;
  }
  return report;
}

std::string engine_failure_reason(EngineReport::Status s) {
  using S = EngineReport::Status;
  switch (s) {
    case S::parameters_missing:
      return "RIXS_Calculation_Parameters.DAT is missing or incomplete.";
    case S::lorentz_missing:
      return "The Lorentzian setting file is missing or incomplete.";
    case S::too_few_rows:
      return "SelectiveXAFS_for_RIXS.DAT is missing or holds fewer\r\nthan two rows.";
    case S::not_finite:
      return "The calculation gave undefined values (check the\r\nexcitation energy and the "
             "parameters).";
    case S::cannot_write:
    case S::ok:
      break;
  }
  return {};
}

std::string engine_message(const EngineReport& r, const char* output_name) {
  using S = EngineReport::Status;
  const std::string out = output_name;
  switch (r.status) {
    case S::parameters_missing:
    case S::lorentz_missing:
    case S::too_few_rows:
    case S::not_finite:
      return "ERROR!!\r\n" + engine_failure_reason(r.status) + "\r\n" + out + " was left empty.";
    case S::cannot_write:
      return "ERROR!!\r\n" + out + " could not be written in\r\n" TALVERN_WORK_SPACE_NAME ".";
    case S::ok:
      break;
  }
  std::string msg;
  if (r.grid_capped)
    msg += "The emission-energy grid was cut at " + std::to_string(kRowCapacity) + " points.\r\n";
  if (r.selective_capped)
    msg += "Only the first " + std::to_string(kRowCapacity) + " rows of the selective XAFS were used.\r\n";
  if (r.conv_capped)
    msg += "Only the first " + std::to_string(kConvXAFSCapacity) +
           " rows of the conventional XAFS were used.\r\n";
  if (msg.empty()) return msg;
  msg.resize(msg.size() - 2);
  return "CAUTION!!\r\n" + msg;
}

std::string absorption_correction_caution(const WorkSpace& ws, double omega) {
  CalcParameters par;
  if (read_parameters(ws.file(files::kParameters), par) < CalcParameters::kCount) return {};
  const RowsRead conv = read_rows(ws.file(files::kConvXAFSNormSpectrum), 2, kConvXAFSCapacity);
  if (conv.rows < 2) return {};
  const double mu = absorption_at(conv.values.data(), conv.rows, omega);
  const double denominator = 1.0 + par.abs_correction * mu;
  if (!(denominator <= kLowestAbsorptionDenominator)) return {};
  return "1 + κ·μ(Ω) = 1 + " + format_g6(par.abs_correction) + " × " +
         format_g6(mu) + " = " + format_g6(denominator) +
         "\r\nis 0.1 or less (κ the Abs. Corr. Fac., μ(Ω) the\r\nnormalized XAFS "
         "at the excitation energy), so\r\nthe absorption correction 1/(1 + κ·μ) "
         "explodes\r\nor changes sign. Take a smaller factor, or\r\nnormalize the XAFS so "
         "that it stays above 0.\r\n";
}

}  // namespace talvern
