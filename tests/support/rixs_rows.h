// Test helpers for the spectrum engines (RIXS and emission model): their
// shared inputs, a fixture with a scratch work-space, writing input rows,
// reading back the rows an engine wrote, and comparing one row.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "support/temp_dir.h"
#include "workspace/workspace.h"

namespace talvern::test {

// Emission energy, total, component 1, component 2.
using Row = std::array<double, 4>;

// The parameter row and the Lorentzians both engines read.
struct SpectrumCase {
  double gamma, e0, w_start, w_end, step, kappa, scale;
  double flag = 1, L[12] = {8.12, 5.78, 1.9, 1.07, 7045, 7056, 7058.8, 7060.1,  // widths, positions
                            0.75, 0.305, 0.15, 0.105};                         // amplitudes
};

// The expected row at emission energy w from the four sums T_X: scaled, and
// split into two components or not by the flag.
inline Row combine_row(const SpectrumCase& c, double w, const double (&T)[4]) {
  const double i1 = c.scale * (T[0] + T[1]), i2 = c.scale * (T[2] + T[3]);
  if (c.flag == 1) return {w, i1 + i2, i1, i2};
  return {w, i1 + i2, i1 + i2, 0};
}

// One tab-separated line, every value to 17 significant digits.
inline std::string row_text(const std::vector<double>& values) {
  std::ostringstream out;
  out << std::setprecision(17);
  for (std::size_t k = 0; k < values.size(); ++k) out << (k ? "\t" : "") << values[k];
  return out.str() + '\n';
}

inline std::string parameters_text(const SpectrumCase& c) {
  return row_text({c.gamma, c.e0, c.w_start, c.w_end, c.step, c.kappa, c.scale});
}

// The Lorentzian row: the flag, then the twelve values.
inline std::string lorentz_text(double flag, const double (&L)[12]) {
  std::vector<double> row{flag};
  row.insert(row.end(), L, L + 12);
  return row_text(row);
}

// Six significant digits in the file: relative tolerance 1e-5; zero must stay exactly zero.
inline void expect_row(const Row& got, const Row& want) {
  for (int k = 0; k < 4; ++k) {
    if (want[k] == 0) EXPECT_EQ(got[k], 0.0) << "column " << k + 1;
    else EXPECT_NEAR(got[k], want[k], 1e-5 * std::fabs(want[k])) << "column " << k + 1;
  }
}

// A scratch work-space and a case to write into it.
template <class Case>
class SpectrumTest : public ::testing::Test {
 protected:
  TempDir dir;
  talvern::WorkSpace ws{dir.path()};
  Case c;

  // Runs `engine` at omega and reads back the rows it wrote to `output`;
  // the file must hold exactly as many rows as the report says.
  template <class Engine>
  std::vector<Row> run_engine(Engine engine, double omega, const char* output,
                              EngineReport* report) {
    const EngineReport r = engine(ws, omega);
    if (report) *report = r;
    std::istringstream in(read_file(dir.file(output)));
    std::vector<Row> rows;
    for (Row row; in >> row[0] >> row[1] >> row[2] >> row[3];) rows.push_back(row);
    EXPECT_EQ(rows.size(), r.rows);
    return rows;
  }
};

}  // namespace talvern::test
