// The emission model checked against a term-by-term evaluation of the sum
// over the flat continuum E0 - 15 ... E0 + 185 eV.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <vector>

#include "support/rixs_rows.h"
#include "workspace/file_names.h"
#include "xrf/emission_model.h"

namespace {

namespace files = talvern::files;
using namespace talvern::test;

struct Case : SpectrumCase {
  Case() : SpectrumCase{1.25, 7114, 7040, 7064, 1, 0.5, 2} {}
};

Row reference_row(const Case& c, double w, double omega, double last_weight = 2) {
  const double g = 0.5 * c.gamma, *W = c.L, *P = c.L + 4, *H = c.L + 8;
  double f[4], T[4];
  for (int X = 0; X < 4; ++X) f[X] = c.e0 - P[X];
  const double M[4] = {c.e0 - f[0], c.e0 - f[1] + (f[0] - f[1]), c.e0 - f[2],
                       c.e0 - f[3] + (f[2] - f[3])};
  for (int X = 0; X < 4; ++X) {
    double sum = 0;
    for (int i = 0; i <= 2000; ++i) {
      const double u = -15 + 0.1 * i, E = c.e0 - 15 + 0.1 * i;
      const double wi = i == 0 ? 1 : i == 2000 ? last_weight : (i % 2 == 1 ? 4 : 2);
      const double C = (w / omega) * E / ((E - omega) * (E - omega) + g * g);
      const double arg = u - ((omega - w) - f[X]);
      sum += wi * C * H[X] / ((W[X] / 2) * (W[X] / 2) + arg * arg) * M[X];
    }
    T[X] = (0.1 / 3) / (1 + c.kappa) * sum;
  }
  return combine_row(c, w, T);
}

class EmissionModelTest : public SpectrumTest<Case> {
 protected:
  // The trial Lorentzians go to the _Temp file; the final file holds other ones.
  void write_inputs() {
    write_file(dir.file(files::kParameters), parameters_text(c));
    write_file(dir.file(files::kLorentzTemp), lorentz_text(c.flag, c.L));
    double other[12];
    for (int k = 0; k < 12; ++k) other[k] = k < 8 ? c.L[k] : 3 * c.L[k];
    write_file(dir.file(files::kLorentz), lorentz_text(1 - c.flag, other));
    write_file(dir.file(files::kNonResonantEmission), "7000\t1\t1\t1\n");  // placeholder
  }

  std::vector<Row> run(double omega, talvern::EngineReport* report = nullptr) {
    return run_engine(talvern::CalculateNonResonantEmission, omega, files::kNonResonantEmission,
                      report);
  }
};

TEST_F(EmissionModelTest, SumOverFlatContinuumMatchesFormula) {
  // At omega = E0 + 185 the last continuum point sits on the core-hole resonance,
  // so its weight (2, no end correction) shows in the result.
  const double top = c.e0 + 185, at_top = reference_row(c, 7058, top)[1];
  ASSERT_GT(std::fabs(at_top - reference_row(c, 7058, top, 1)[1]), 1e-2 * at_top);
  for (double flag : {1, 0}) {
    for (double omega : {c.e0 + 100, top}) {
      SCOPED_TRACE(testing::Message() << "flag " << flag << " omega " << omega);
      c.flag = flag;
      write_inputs();
      const auto rows = run(omega);
      ASSERT_EQ(rows.size(), 25u);  // enough work to be split over threads
      for (std::size_t k = 0; k < rows.size(); ++k) {
        expect_row(rows[k], reference_row(c, c.w_start + k * c.step, omega));
        if (flag == 0) {
          EXPECT_EQ(rows[k][2], rows[k][1]);
        }
      }
    }
  }
}

TEST_F(EmissionModelTest, GridEndsAndMissingTrialLorentzians) {
  talvern::EngineReport report;
  c.w_end = c.w_start;
  write_inputs();
  EXPECT_EQ(run(7214).size(), 1u);
  c.w_end = c.w_start - 1;
  write_inputs();
  EXPECT_TRUE(run(7214, &report).empty());
  EXPECT_EQ(report.status, talvern::EngineReport::Status::ok);
  EXPECT_EQ(read_file(dir.file(files::kNonResonantEmission)), "");
  // The final Lorentzians alone are not enough.
  std::filesystem::remove(dir.file(files::kLorentzTemp));
  EXPECT_TRUE(run(7214, &report).empty());
  EXPECT_EQ(report.status, talvern::EngineReport::Status::lorentz_missing);
  EXPECT_EQ(read_file(dir.file(files::kNonResonantEmission)), "");
}

// The derivatives the least-squares fit takes against central differences
// of the model itself, for every Lorentzian's position, width and amplitude
// (B's partner term in A's position included), on an emission grid that
// shares a lattice with the continuum and on one that does not; a
// Lorentzian not in use has none.
TEST(EmissionModelDerivatives, FollowTheModel) {
  talvern::CalcParameters par;
  par.gamma = 1.25;
  par.core_energy = 7113.8;
  par.abs_correction = 0.5;
  par.scale = 2;
  talvern::LorentzSet lor;
  lor.two_component = 1;
  lor.width = {4.3, 5.8, 2, 1.1};
  lor.position = {7045.5, 7056, 7058, 7060.1};
  lor.amplitude = {0.65, 0.3, 1, 0.2};
  for (const double step : {0.05, 0.123}) {
    SCOPED_TRACE(step);
    par.emission_start = 7020;
    par.emission_end = 7080;
    par.emission_step = step;
    const talvern::EmissionModel model(par, 7213.8);
    for (const std::array<bool, 4> use : {std::array<bool, 4>{true, true, true, true},
                                          std::array<bool, 4>{true, false, true, true}}) {
      talvern::LorentzSet at = lor;
      if (!use[1]) at.amplitude[1] = 0;
      const std::vector<double> d = model.total_derivatives(at, use);
      bool capped = false;
      const std::size_t n = model.rows(at, capped).size() / 4;
      ASSERT_EQ(d.size(), 12 * n);
      for (std::size_t x = 0; x < 4; ++x)
        for (std::size_t kind = 0; kind < 3; ++kind) {
          SCOPED_TRACE(testing::Message() << "Lorentzian " << x << " kind " << kind);
          std::array<double, 4>& value =
              kind == 0 ? at.position : kind == 1 ? at.width : at.amplitude;
          const double v = value[x], h = 1e-4 * (kind == 0 ? 1 : v);
          value[x] = v + h;
          const std::vector<double> up = model.rows(at, capped);
          value[x] = v - h;
          const std::vector<double> down = model.rows(at, capped);
          value[x] = v;
          double worst = 0, top = 0;
          for (std::size_t k = 0; k < n; ++k) {
            const double diff = use[x] ? (up[4 * k + 1] - down[4 * k + 1]) / (2 * h) : 0.0;
            top = std::max(top, std::fabs(diff));
            worst = std::max(worst, std::fabs(d[(3 * x + kind) * n + k] - diff));
          }
          EXPECT_LE(worst, 1e-6 * top);
          if (use[x]) EXPECT_GT(top, 0);
        }
    }
  }
}

}  // namespace
