// Test helper for the optimisation: a small iron K-edge work-space whose
// measured RIXS spectrum was calculated from a reshaped selective XAFS, so
// that peaks near 7112 and 7114 eV bring the calculation closer.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/engine.h"
#include "refine/optimisation.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/row_io.h"
#include "workspace/workspace.h"

namespace talvern::test {

// The excitation energy of the measured spectrum.
constexpr double kOptimOmega = 7116.0;

// 60 selective XAFS rows at 0.1 eV from 7110 eV (energy, Y1, Y2); `two`
// makes component 2 differ, `target` adds the peaks the measurement holds.
inline std::vector<double> optim_selective(bool two, bool target) {
  std::vector<double> rows;
  for (int i = 0; i < 60; ++i) {
    const double e = 7110.0 + 0.1 * i;
    double y = 0.5 * (1 + std::tanh((e - 7113.5) / 0.8));
    double y2 = two ? 0.8 * y + 0.05 : y;
    if (target) {
      y += trial_peak(e, 7112.0, 0.04, 1.0);
      y2 += trial_peak(e, 7114.0, 0.03, 1.0);
    }
    rows.insert(rows.end(), {e, y, target && !two ? y : y2});
  }
  return rows;
}

inline void write_rows_of(const WorkSpace& ws, const char* name, const std::vector<double>& rows,
                          std::size_t k) {
  ASSERT_EQ(write_rows(ws.file(name), rows.data(), rows.size() / k, k), WriteStatus::ok);
}

// The work-space: parameters, Lorentzians, conventional XAFS, display range
// 7110 ... 7115.9 eV, the measurement, and the unreshaped selective XAFS as
// both the calculation input and the working copy; Calculated_RIXS.DAT empty.
inline void make_optim_workspace(const WorkSpace& ws, bool two) {
  write_file(ws.file(files::kParameters), "1.25\t7114\t7050\t7062\t0.5\t1\t7.9e-09\n");
  write_file(ws.file(files::kLorentz),
             "1\t4.3\t5.78\t2\t1.07\t7045.5\t7056\t7058\t7060.1\t0.65\t0\t1\t0\n");
  std::vector<double> conv;
  for (int j = 0; j < 40; ++j) conv.insert(conv.end(), {7100.0 + j, 0.02 * j});
  write_rows_of(ws, files::kConvXAFSNormSpectrum, conv, 2);
  write_file(ws.file(files::kXAFSMinMax), "7110\t7115.9\t0\t15000\n");
  write_rows_of(ws, files::kSelectiveForRIXS, optim_selective(two, true), 3);
  ASSERT_EQ(CalculateRIXS(ws, kOptimOmega).status, EngineReport::Status::ok);
  const RowsRead calc = read_rows(ws.file(files::kCalculatedRIXS), 4);
  std::vector<double> exp;
  for (std::size_t k = 0; k < calc.rows; ++k) exp.insert(exp.end(), {calc.at(k, 0), calc.at(k, 1)});
  write_rows_of(ws, files::kRIXSExp, exp, 2);
  write_rows_of(ws, files::kSelectiveForRIXS, optim_selective(two, false), 3);
  write_rows_of(ws, files::kSelectiveForRIXSTemp, optim_selective(two, false), 3);
  write_file(ws.file(files::kCalculatedRIXS), "");
}

}  // namespace talvern::test
