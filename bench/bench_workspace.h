#pragma once
// A scratch work-space for the RIXS benchmarks: a plausible iron K-edge
// selective XAFS (edge step with a pre-edge and a white-line peak, two
// components slightly apart) on a 0.1 eV grid from 7105 eV, a conventional
// XAFS, the parameters with the given emission grid and the default
// Lorentzians.

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "workspace/file_names.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"
#include "workspace/workspace.h"

namespace talvern::bench {

struct WorkSpaceSize {
  std::size_t rows;       // selective XAFS rows
  double emission_start;  // first emission energy
  double emission_end;
  double emission_step = 0.1;
};

// Builds (or rebuilds) the work-space in the temp folder under `name`.
inline WorkSpace make_workspace(const std::string& name, const WorkSpaceSize& size) {
  const auto dir = std::filesystem::temp_directory_path() / name;
  std::filesystem::create_directories(dir);
  WorkSpace ws(dir);
  std::vector<double> sel;
  for (std::size_t i = 0; i < size.rows; ++i) {
    const double e = 7105.0 + 0.1 * static_cast<double>(i);
    auto peak = [&](double c, double w, double a) { return a / (1 + std::pow((e - c) / w, 2)); };
    const double step = 0.5 * (1 + std::tanh((e - 7120) / 2.0));
    sel.insert(sel.end(), {e, step + peak(7113, 1.0, 0.08) + peak(7132, 4.0, 0.5),
                           step + peak(7114, 1.2, 0.12) + peak(7128, 5.0, 0.4)});
  }
  pass_over(write_rows(ws.file(files::kSelectiveForRIXS), sel.data(), size.rows, 3));
  std::vector<double> conv;
  for (int j = 0; j < 1000; ++j) {
    const double e = 7000.0 + 0.3 * j;
    conv.insert(conv.end(), {e, 0.5 * (1 + std::tanh((e - 7120) / 3.0))});
  }
  pass_over(write_rows(ws.file(files::kConvXAFSNormSpectrum), conv.data(), 1000, 2));
  CalcParameters par;
  par.core_energy = 7114;
  par.emission_start = size.emission_start;
  par.emission_end = size.emission_end;
  par.emission_step = size.emission_step;
  pass_over(write_parameters(ws.file(files::kParameters), par));
  pass_over(write_lorentz(ws.file(files::kLorentz), LorentzSet{}));
  return ws;
}

}  // namespace talvern::bench
