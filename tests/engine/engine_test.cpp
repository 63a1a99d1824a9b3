// The RIXS engine checked against a term-by-term evaluation of
//   T_X(w) = (h/3) AC sum_i w_i C_i(w) F_X,i(w) Y_X,i
// on small hand-built work-spaces.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "engine/engine.h"
#include "engine/kernel.h"
#include "support/rixs_rows.h"
#include "workspace/file_names.h"

namespace {

namespace files = talvern::files;
using talvern::EngineReport;
using namespace talvern::test;
using Status = EngineReport::Status;

struct Case : SpectrumCase {
  Case() : SpectrumCase{1.25, 7114, 7045, 7061, 4, 0.7, 7.9e-9} {}
  SelectiveRows sel = {{7113, 0.8, 0.3}, {7114, 1.0, 0.6}, {7115, 0.9, 1.2}};
};

// The expected row at emission energy w; `last_weight` replaces the weight of an even last point.
Row reference_row(const Case& c, double w, double omega, double ac, double last_weight = 2) {
  return reference_rixs_row(c, c.sel, w, omega, ac, last_weight);
}

class RixsEngineTest : public SpectrumTest<Case> {
 protected:
  std::string conv = "7100\t0.2\n7200\t1\n";

  void write_inputs() {
    std::string sel;
    for (const auto& r : c.sel) sel += row_text({r[0], r[1], r[2]});
    write_file(dir.file(files::kParameters), parameters_text(c));
    write_file(dir.file(files::kLorentz), lorentz_text(c.flag, c.L));
    write_file(dir.file(files::kSelectiveForRIXS), sel);
    write_file(dir.file(files::kConvXAFSNormSpectrum), conv);
    write_file(dir.file(files::kCalculatedRIXS), "7000\t1\t1\n");  // placeholder
  }

  std::vector<Row> run(double omega, EngineReport* report = nullptr) {
    return run_engine(talvern::CalculateRIXS, omega, files::kCalculatedRIXS, report);
  }
};

TEST_F(RixsEngineTest, ThreeRowSumMatchesFormulaForEachFlagSetting) {
  const double omega = 7114.6, ac = 1 / (1 + c.kappa);  // above every conventional pair: mu = 1
  // The case must tell the last weight 2 from an end-corrected weight 1.
  const Row w2 = reference_row(c, 7057, omega, ac), w1 = reference_row(c, 7057, omega, ac, 1);
  ASSERT_GT(std::fabs(w2[1] - w1[1]), 1e-2 * w2[1]);

  for (int variant = 0; variant < 3; ++variant) {  // flag 1, flag 0, flag 1 with component 2 zero
    SCOPED_TRACE(variant);
    c.flag = variant == 1 ? 0 : 1;
    if (variant == 2)
      for (auto& r : c.sel) r[2] = 0;
    write_inputs();
    const auto rows = run(omega);
    ASSERT_EQ(rows.size(), 5u);
    for (std::size_t k = 0; k < rows.size(); ++k) {
      expect_row(rows[k], reference_row(c, c.w_start + k * c.step, omega, ac));
      if (variant > 0) {
        EXPECT_EQ(rows[k][2], rows[k][1]);  // column 4 is exactly 0 by expect_row
      }
    }
  }
}

TEST_F(RixsEngineTest, EmissionGridIsAccumulatedAndNeverPassesItsEnd) {
  // 7020 plus 0.1 added ten times lands just above 7021: ten rows, the last 7020.9.
  c.w_start = 7020, c.w_end = 7021, c.step = 0.1;
  write_inputs();
  auto rows = run(7130);
  ASSERT_EQ(rows.size(), 10u);
  EXPECT_EQ(rows.back()[0], 7020.9);

  c.w_end = c.w_start;
  write_inputs();
  EXPECT_EQ(run(7130).size(), 1u);

  c.w_end = c.w_start - 0.1;
  write_inputs();
  EngineReport report;
  EXPECT_TRUE(run(7130, &report).empty());
  EXPECT_EQ(report.status, Status::ok);
  EXPECT_EQ(read_file(dir.file(files::kCalculatedRIXS)), "");
}

TEST_F(RixsEngineTest, ExtremeWidthsAndPositionsStillFollowTheFormula) {
  // Widths of almost nothing, and two Lorentzians absurdly far away, push the
  // product of the four denominators out of the double range; a width of 0
  // puts a pole on a lattice point just past the last row (7116 - 7114.5 +
  // 7045 - 7046.5 = 0), where the correlation meets a padding term. The sum
  // must still follow the formula instead of losing terms or giving up.
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    c = Case{};
    double omega = 7114.6;
    if (variant == 0) c.L[0] = c.L[1] = 1e-40;
    else if (variant == 1) c.L[5] = c.L[7] = 1e80;
    else c.L[0] = 0, c.L[4] = 7046.5, omega = 7114.5;
    write_inputs();
    EngineReport report;
    const auto rows = run(omega, &report);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(report.status, Status::ok);
    for (std::size_t k = 0; k < rows.size(); ++k)
      expect_row(rows[k], reference_row(c, c.w_start + k * c.step, omega, 1 / (1 + c.kappa)));
  }
}

TEST_F(RixsEngineTest, AbsorptionCorrectionTakesStraightLineAtFirstCloseConventionalPoint) {
  const std::string steps = "7110\t0.1\n7111\t0.3\n7112\t0.8\n7113\t1\n";
  struct { std::string conv; double kappa, omega, mu; } cases[] = {
      {steps, 0.7, 7111.4, 0.5},   // j = 1, between its points
      {steps, 0.7, 7111.7, 0.74},  // j = 2 lies above omega: extrapolated back
      {steps, 0.7, 7108, -0.3},    // below the whole spectrum, from the first pair
      {steps, 0.7, 7112.8, 1.0},   // only the last point is close: no pair qualifies
      {steps, 0.7, 7150, 1.0},     // far above the spectrum
      {"7112\t0.6\n7112\t0.9\n7113\t1\n", 0.7, 7112.2, 0.6},  // equal energies: no slope
      {steps, 0.0, 7111.4, 0.5},   // kappa 0: no correction at all
      {"", 0.7, 7111.4, 1.0},      // empty conventional XAFS
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.omega << " kappa " << k.kappa);
    conv = k.conv, c.kappa = k.kappa, c.w_end = c.w_start;
    write_inputs();
    const auto rows = run(k.omega);
    ASSERT_EQ(rows.size(), 1u);
    expect_row(rows[0], reference_row(c, c.w_start, k.omega, 1 / (1 + k.kappa * k.mu)));
  }
}

TEST_F(RixsEngineTest, CapacitiesBoundInputsAndGrid) {
  EngineReport report;
  for (double step : {0.0, -0.1}) {  // a step that never reaches the end
    c.step = step;
    write_inputs();
    EXPECT_EQ(run(7130, &report).size(), 5000u);
    EXPECT_TRUE(report.grid_capped);
  }
  // 5001 selective rows, the last one huge: only the first 5000 may count.
  c.step = 4, c.w_end = c.w_start, c.sel.clear();
  for (int i = 0; i < 5000; ++i) c.sel.push_back({7100 + 0.01 * i, 1.0, 0.5});
  const Case first_5000 = c;
  c.sel.push_back({7150, 1e6, 1e6});
  // The 2000th conventional row is the only one above omega; the 2001st would pair with it.
  conv.clear();
  for (int j = 0; j < 1999; ++j) conv += std::to_string(6000 + j * 0.5) + "\t0.5\n";
  conv += "7200\t0.2\n7300\t0.4\n";
  write_inputs();
  const auto rows = run(7150, &report);
  EXPECT_TRUE(report.selective_capped);
  EXPECT_TRUE(report.conv_capped);
  ASSERT_EQ(rows.size(), 1u);
  expect_row(rows[0], reference_row(first_5000, c.w_start, 7150, 1 / (1 + c.kappa)));
}

TEST_F(RixsEngineTest, FailuresLeaveOutputEmpty) {
  const auto params = dir.file(files::kParameters), lorentz = dir.file(files::kLorentz);
  const std::pair<std::function<void()>, Status> cases[] = {
      {[&] { std::filesystem::remove(params); }, Status::parameters_missing},
      {[&] { write_file(params, "1.25\t7114\t7045\t7061\t4\t0.7\n"); }, Status::parameters_missing},
      {[&] { std::filesystem::remove(lorentz); }, Status::lorentz_missing},
      {[&] { write_file(lorentz, "1\t8\t5\t1\t1\t7045\t7056\t7058\t7060\t1\t1\t1\n"); },
       Status::lorentz_missing},
      {[&] { c.sel.resize(1), write_inputs(); }, Status::too_few_rows},
      {[&] { c = Case{}, write_inputs(); }, Status::not_finite},  // run at omega = 0 below
  };
  for (const auto& [spoil, want] : cases) {
    SCOPED_TRACE(static_cast<int>(want));
    write_inputs();
    spoil();
    EngineReport report;
    EXPECT_TRUE(run(want == Status::not_finite ? 0.0 : 7130, &report).empty());
    EXPECT_EQ(report.status, want);
    EXPECT_EQ(read_file(dir.file(files::kCalculatedRIXS)), "");
    EXPECT_EQ(talvern::engine_message(report, files::kCalculatedRIXS).rfind("ERROR!!", 0), 0u);
  }
}

// The kernel's two ways against the sum written term by term: a correlation
// where the selective XAFS energies and the emission energies share a
// lattice (0.1 and 0.1; 0.1 and 0.25 on a 0.05 lattice), with the drift of
// the accumulated grid, and the direct sum where they do not.
TEST(RixsKernel, CorrelationOnCommonLatticeAndDirectSumElsewhereFollowTheTerms) {
  const double omega = 7116, gamma_half = 0.625;
  const talvern::FinalStates fs = talvern::make_final_states(talvern::LorentzSet{});
  struct {
    double sel_step, w_step, off_lattice;  // the last: shift of one energy (eV)
    bool lattice;
  } cases[] = {{0.1, 0.1, 0, true}, {0.1, 0.25, 0, true}, {0.1, 0.123, 0, false},
               {0.1, 0.1, 1e-7, false}, {0.1, 0.100001, 0, false}};
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k.sel_step << " " << k.w_step << " " << k.off_lattice);
    talvern::Intermediate in;
    for (std::size_t i = 0; i < 301; ++i) {
      // As read from a file: the double nearest to the decimal energy.
      const double e = std::round((7105 + k.sel_step * i) * 1e4) / 1e4 + (i == 7 ? k.off_lattice : 0);
      in.add(e, omega, gamma_half, talvern::simpson_weight(i), 1 + 0.3 * std::sin(0.1 * i),
             0.8 + 0.2 * std::cos(0.07 * i));
    }
    in.finish();
    bool capped = false;
    const auto w = talvern::emission_grid(6900, 7100, k.w_step, 5000, capped);
    std::vector<double> s1(w.size()), s2(w.size());
    EXPECT_EQ(talvern::sum_intermediate(in, fs, w.data(), w.size(), s1.data(), s2.data()),
              k.lattice);
    double worst = 0;
    for (std::size_t j = 0; j < w.size(); ++j) {
      double t[2] = {0, 0};
      for (std::size_t i = 0; i < in.n; ++i)
        for (int X = 0; X < 4; ++X) {
          const double arg = in.d[i] + w[j] - fs.p[X];
          t[X / 2] += (X < 2 ? in.a1[i] : in.a2[i]) * (fs.c[X] / (fs.q[X] + arg * arg));
        }
      worst = std::max({worst, std::fabs(s1[j] - t[0]) / t[0], std::fabs(s2[j] - t[1]) / t[1]});
    }
    EXPECT_LT(worst, 1e-12);
  }
}

}  // namespace
