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

// Selective XAFS rows: energy, component 1, component 2.
using SelectiveRows = std::vector<std::array<double, 3>>;

// The RIXS row at emission energy w and excitation energy omega written term
// by term from the formula of engine/kernel.h:
//   T_X(w) = (h/3) AC sum_i w_i C_i(w) F_X,i(w) Y_X,i
// with the Simpson weights w_i (`last_weight` replaces that of an even last
// point), the core-hole factor C_i = (w / omega) E_i / ((E_i - omega)^2 +
// (gamma/2)^2), the Lorentzians F_X,i = H_X M_X / ((W_X/2)^2 + (E_i - omega
// + w - P_X)^2), M_A = P_A, M_B = 2 P_B - P_A, M_C = P_C, M_D = 2 P_D - P_C,
// and `ac` the absorption correction 1 / (1 + kappa mu(omega)).
inline Row reference_rixs_row(const SpectrumCase& c, const SelectiveRows& sel, double w,
                              double omega, double ac, double last_weight = 2) {
  const double h = sel[1][0] - sel[0][0], g = 0.5 * c.gamma, *W = c.L, *P = c.L + 4, *H = c.L + 8;
  const double M[4] = {P[0], P[1] + (P[1] - P[0]), P[2], P[3] + (P[3] - P[2])};
  double T[4];
  for (int X = 0; X < 4; ++X) {
    double sum = 0;
    for (std::size_t i = 0; i < sel.size(); ++i) {
      const double E = sel[i][0];
      const double wi = i == 0 ? 1 : i % 2 == 1 ? 4 : i + 1 == sel.size() ? last_weight : 2;
      const double C = (w / omega) * E / ((E - omega) * (E - omega) + g * g);
      const double arg = E - omega + w - P[X];
      const double F = H[X] / ((W[X] / 2) * (W[X] / 2) + arg * arg) * M[X];
      sum += wi * C * F * (X < 2 ? sel[i][1] : sel[i][2]);
    }
    T[X] = h / 3 * ac * sum;
  }
  return combine_row(c, w, T);
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
