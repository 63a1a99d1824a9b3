// The free-form inversion of "Global Fit": the non-negative least squares
// against known solutions; the selective XAFS recovered from a plane of 25
// cuts the engine made, and what four cuts cannot determine shown by the
// band and the CAUTION; fit-rixs --free on a work-space: its file, --confirm
// and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "rixs/free_fit.h"
#include "rixs/global_fit.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/row_io.h"

namespace {

using namespace talvern;
using talvern::test::read_file;
using talvern::test::TempDir;
using talvern::test::write_file;

double objective(const std::vector<double>& Q, const std::vector<double>& q,
                 const std::vector<double>& x) {
  const std::size_t p = q.size();
  double f = 0;
  for (std::size_t i = 0; i < p; ++i) {
    double qx = 0;
    for (std::size_t k = 0; k < p; ++k) qx += Q[i * p + k] * x[k];
    f += 0.5 * x[i] * qx - q[i] * x[i];
  }
  return f;
}

// Q = K'K + ridge I for K a Gaussian blur of `width` (rows x p), as the
// response blurs neighbouring energies: its least squares under x >= 0 is
// a deconvolution, where variables leave the passive set as others join.
std::vector<double> blur_normal_matrix(std::size_t rows, std::size_t p, double width, double ridge) {
  std::vector<double> k(rows * p), Q(p * p, 0.0);
  for (std::size_t r = 0; r < rows; ++r)
    for (std::size_t c = 0; c < p; ++c) {
      const double x = static_cast<double>(c) - static_cast<double>(r * p) / static_cast<double>(rows);
      k[r * p + c] = std::exp(-x * x / (width * width));
    }
  for (std::size_t i = 0; i < p; ++i)
    for (std::size_t j = 0; j < p; ++j) {
      for (std::size_t r = 0; r < rows; ++r) Q[i * p + j] += k[r * p + i] * k[r * p + j];
      if (i == j) Q[i * p + j] += ridge;
    }
  return Q;
}

// Known solutions: deconvolutions built from their optimality conditions
// (x* >= 0, the gradient Qx* - q zero where x* > 0 and positive where
// x* = 0), well and badly conditioned; and small ones against the best of
// every support, found by enumeration.
TEST(FreeFitNnls, FindsTheKnownSolutions) {
  std::mt19937 gen(7113);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  for (const double width : {2.0, 4.0})
    for (const double ridge : {1e-1, 1e-6}) {
      const std::size_t p = 60;
      const std::vector<double> Q = blur_normal_matrix(90, p, width, ridge);
      std::vector<double> x(p), q(p);
      for (double& v : x) v = u(gen) < 0.5 ? 0 : u(gen);
      for (std::size_t i = 0; i < p; ++i) {
        double qx = 0;
        for (std::size_t k = 0; k < p; ++k) qx += Q[i * p + k] * x[k];
        q[i] = qx - (x[i] == 0 ? 0.5 * u(gen) : 0.0);
      }
      const NnlsResult r = nnls(Q, q);
      EXPECT_TRUE(r.converged);
      ASSERT_EQ(r.x.size(), p);
      // The badly conditioned problems hold x* to about cond * rounding.
      for (std::size_t i = 0; i < p; ++i)
        EXPECT_NEAR(r.x[i], x[i], ridge > 1e-3 ? 1e-12 : 1e-7) << width << " " << ridge << " x" << i;
    }
  for (int trial = 0; trial < 20; ++trial) {
    const std::size_t p = 7;
    const std::vector<double> Q = blur_normal_matrix(5 + trial % 4, p, 1 + trial % 3, 1e-3);
    std::vector<double> q(p);
    for (double& v : q) v = 4 * u(gen) - 1.5;
    // The best x over every support where the least squares is feasible.
    double best = 0;
    for (unsigned support = 1; support < (1u << p); ++support) {
      std::vector<std::size_t> s;
      for (std::size_t i = 0; i < p; ++i)
        if (support >> i & 1) s.push_back(i);
      const std::size_t k = s.size();
      std::vector<double> a(k * k), b(k);
      for (std::size_t r = 0; r < k; ++r) {
        b[r] = q[s[r]];
        for (std::size_t c = 0; c < k; ++c) a[r * k + c] = Q[s[r] * p + s[c]];
      }
      for (std::size_t c = 0; c < k; ++c)  // Gauss-Jordan, the matrix being definite
        for (std::size_t r = 0; r < k; ++r) {
          if (r == c) continue;
          const double f = a[r * k + c] / a[c * k + c];
          for (std::size_t j = 0; j < k; ++j) a[r * k + j] -= f * a[c * k + j];
          b[r] -= f * b[c];
        }
      std::vector<double> x(p, 0.0);
      bool feasible = true;
      for (std::size_t r = 0; r < k; ++r) feasible = feasible && (x[s[r]] = b[r] / a[r * k + r]) >= 0;
      if (feasible) best = std::min(best, objective(Q, q, x));
    }
    const NnlsResult r = nnls(Q, q);
    EXPECT_TRUE(r.converged);
    EXPECT_NEAR(objective(Q, q, r.x), best, 1e-9 * std::max(1.0, std::abs(best))) << "trial " << trial;
  }
}

// A selective XAFS: a pre-edge peak, the edge, a white line and a dip above.
double truth(double e) {
  const auto g = [e](double c, double s) { return std::exp(-(e - c) * (e - c) / (2 * s * s)); };
  return 0.3 * g(7113, 0.7) + 1 / (1 + std::exp(-(e - 7121) / 0.7)) + 0.5 * g(7124, 1.05) -
         0.15 * g(7129, 1.4);
}
constexpr double kTruthMax = 1.486;  // at 7124 eV

struct Synthetic {
  RowsRead working;  // the grid, 7096 ... 7136 eV by 0.5 eV, flat
  EngineInputs in;   // the default factors and Lorentzians, an absorption edge
  MeasuredSet set;
};

RowsRead grid_rows(double (*y)(double), double y2_factor) {
  RowsRead r;
  r.k = 3;
  for (int i = 0; i <= 80; ++i) {
    const double e = 7096 + 0.5 * i, v = y ? y(e) : 1.0;
    r.values.insert(r.values.end(), {e, v, y2_factor * v});
    ++r.rows;
  }
  return r;
}

// The engine's emission spectra at the excitation energies `omegas` on its
// emission grid (7020 ... 7065 eV by 0.1 eV) from the truth, with Gaussian
// noise of 1 % of the largest intensity of the set, from a fixed seed.
Synthetic synthetic_set(const std::vector<double>& omegas) {
  Synthetic s;
  s.working = grid_rows(nullptr, 1);
  s.in.conv.k = 2;
  for (int i = 0; i <= 80; ++i) {
    const double e = 7080 + i;
    s.in.conv.values.insert(s.in.conv.values.end(), {e, 0.1 + 0.9 / (1 + std::exp(-(e - 7120) / 2))});
    ++s.in.conv.rows;
  }
  const RowsRead sel = grid_rows(truth, 1);
  std::vector<std::vector<double>> spectra;
  double top = 0;
  for (double omega : omegas) {
    bool capped = false;
    spectra.push_back(rixs_rows(sel, s.in.conv, s.in.par, s.in.lor, omega, capped));
    for (std::size_t k = 0; k < spectra.back().size() / 4; ++k) top = std::max(top, spectra.back()[4 * k + 1]);
  }
  std::mt19937 gen(20261206);
  std::normal_distribution<double> noise(0.0, 0.01 * top);
  for (std::size_t c = 0; c < omegas.size(); ++c) {
    MeasuredGroup g{MeasuredKind::emission, omegas[c], {}};
    for (std::size_t k = 0; k < spectra[c].size() / 4; ++k)
      g.points.push_back({omegas[c], spectra[c][4 * k], spectra[c][4 * k + 1] + noise(gen)});
    s.set.groups.push_back(std::move(g));
  }
  return s;
}

// The largest |y1 - truth| over the grid's energies within [lo, hi].
double worst_error(const FreeFitResult& r, double lo, double hi, double* at = nullptr) {
  double worst = 0;
  for (std::size_t i = 0; i < r.energy.size(); ++i)
    if (r.energy[i] >= lo && r.energy[i] <= hi && std::abs(r.y1[i] - truth(r.energy[i])) > worst) {
      worst = std::abs(r.y1[i] - truth(r.energy[i]));
      if (at) *at = r.energy[i];
    }
  return worst;
}

bool undetermined_at(const FreeFitResult& r, double e) {
  return std::any_of(r.undetermined.begin(), r.undetermined.end(),
                     [e](const auto& range) { return range.first <= e && e <= range.second; });
}

// Cuts 1 eV apart over 7101 ... 7125 eV determine the spectrum: the
// penalty chosen by GCV brings it within 5 % of its maximum over that
// range, where no CAUTION is given; the model of the result is the
// engine's sum at every measured point.
TEST(FreeFitPlane, TwentyFiveCutsDetermineTheSpectrumAtThePenaltyOfGcv) {
  std::vector<double> omegas;
  for (int i = 0; i < 25; ++i) omegas.push_back(7101 + i);
  const Synthetic s = synthetic_set(omegas);
  std::string error;
  const std::optional<FreeFitResult> r = fit_free_form(s.set, s.working, s.in, std::nullopt, false, error);
  ASSERT_TRUE(r) << error;
  ASSERT_EQ(r->energy.size(), 81u);
  ASSERT_EQ(r->sigma1.size(), 81u);
  EXPECT_TRUE(r->lambda_by_gcv);
  EXPECT_FALSE(r->two_components);
  EXPECT_EQ(r->y2, r->y1);
  EXPECT_LT(worst_error(*r, 7101, 7125), 0.05 * kTruthMax);
  for (std::size_t i = 0; i < r->energy.size(); ++i) {
    EXPECT_GE(r->y1[i], 0.0);
    if (r->energy[i] >= 7101 && r->energy[i] <= 7125) {
      EXPECT_FALSE(undetermined_at(*r, r->energy[i])) << r->energy[i];
    }
  }
  RowsRead fitted;  // the result as the engine's selective XAFS
  fitted.k = 3;
  fitted.rows = r->energy.size();
  for (std::size_t i = 0; i < fitted.rows; ++i)
    fitted.values.insert(fitted.values.end(), {r->energy[i], r->y1[i], r->y2[i]});
  const SetComparison engine = compare_with_model(s.set, fitted, s.in);
  ASSERT_EQ(r->comparison.points(), engine.points());
  for (std::size_t j = 0; j < engine.points(); j += 97)
    EXPECT_NEAR(r->comparison.calculated[j], engine.calculated[j], 1e-9 * std::abs(engine.calculated[j]));
  // As close to the measurements as the truth itself.
  const SetComparison truth_model = compare_with_model(s.set, grid_rows(truth, 1), s.in);
  ASSERT_TRUE(r->comparison.r_factor && truth_model.r_factor);
  EXPECT_LT(*r->comparison.r_factor, 1.05 * *truth_model.r_factor);
}

// Four of those cuts, 8 eV apart, under a weak penalty: the spectrum
// misses the truth by more than 10 % of its maximum; the band covers every
// error above 5 % within two sigma, and the CAUTIONs name the ranges
// between the cuts, the worst error's among them, and not the cuts.
TEST(FreeFitPlane, FourCutsShowWhatTheyDoNotDetermine) {
  const Synthetic s = synthetic_set({7101, 7109, 7117, 7125});
  std::string error;
  const std::optional<FreeFitResult> r = fit_free_form(s.set, s.working, s.in, 1e-3, false, error);
  ASSERT_TRUE(r) << error;
  ASSERT_EQ(r->sigma1.size(), r->energy.size());
  double at = 0;
  EXPECT_GT(worst_error(*r, 7101, 7125, &at), 0.10 * kTruthMax);
  for (std::size_t i = 0; i < r->energy.size(); ++i) {
    const double e = r->energy[i], miss = std::abs(r->y1[i] - truth(e));
    if (e >= 7101 && e <= 7125 && miss > 0.05 * kTruthMax) {
      EXPECT_LE(miss, 2 * r->sigma1[i]) << e;
    }
  }
  EXPECT_TRUE(undetermined_at(*r, at)) << at;
  for (const double cut : {7101, 7109, 7117, 7125}) EXPECT_FALSE(undetermined_at(*r, cut)) << cut;
  for (const double between : {7105, 7113, 7121}) EXPECT_TRUE(undetermined_at(*r, between)) << between;
  const std::string text = free_fit_report_text(*r);
  EXPECT_NE(text.find("CAUTION!! The measurements do not determine the selective XAFS from "),
            std::string::npos);
  EXPECT_NE(text.find("smoothness 0.001.\r\n"), std::string::npos) << text;
}

class FreeFitWorkSpace : public ::testing::Test {
 protected:
  TempDir dir;
  WorkSpace ws{dir.path()};
  GlobalFitState state;

  // Five cuts of the synthetic set, and a working copy whose components
  // differ, so that both are fitted.
  void SetUp() override {
    const Synthetic s = synthetic_set({7105, 7111, 7117, 7123, 7129});
    write_file(ws.file(files::kPlaneExp), *measured_set_text(s.set));
    write_file(ws.file(files::kParameters), "1.25\t7120\t7020\t7065\t0.1\t1\t7.9e-09\n");
    write_file(ws.file(files::kLorentz),
               "1\t8.12\t5.78\t1.9\t1.07\t7045\t7056\t7058.8\t7060.1\t0.75\t0.305\t0.15\t0.105\n");
    write_file(ws.file(files::kConvXAFSNormSpectrum),
               format_rows(s.in.conv.values.data(), s.in.conv.rows, 2));
    const RowsRead working = grid_rows(truth, 0.8);
    write_file(ws.file(files::kSelectiveForRIXSTemp), format_rows(working.values.data(), working.rows, 3));
    write_file(ws.file(files::kSelectiveForRIXS), "7100\t1\t1\n7101\t1\t1\n");
    state.free = true;
  }
};

// Rows E, y1, y2, sigma1, sigma2 for both components; --confirm makes
// (E, y1, y2) the working copy and leaves the calculation's selective XAFS.
TEST_F(FreeFitWorkSpace, WritesTheSpectrumWithItsBandAndConfirmsItAsTheWorkingCopy) {
  state.smooth = "0.01";
  state.confirm = true;
  GlobalFit(ws, state);
  ASSERT_TRUE(state.free_result) << state.message;
  EXPECT_TRUE(state.free_result->two_components);
  EXPECT_NE(state.message.find("R-Factor: "), std::string::npos) << state.message;
  EXPECT_NE(state.message.find("Reduced chi-square: "), std::string::npos);
  const RowsRead file = read_rows(ws.file(files::kFreeFit), 5);
  ASSERT_EQ(file.rows, 81u);
  EXPECT_EQ(read_file(ws.file(files::kFreeFit)).substr(0, 5), "7096\t");
  bool differ = false;
  for (std::size_t i = 0; i < file.rows; ++i) {
    EXPECT_GT(file.at(i, 3), 0.0);
    EXPECT_GT(file.at(i, 4), 0.0);
    differ = differ || file.at(i, 1) != file.at(i, 2);
  }
  EXPECT_TRUE(differ);
  const RowsRead working = read_rows(ws.file(files::kSelectiveForRIXSTemp), 3);
  ASSERT_EQ(working.rows, file.rows);
  for (std::size_t i = 0; i < file.rows; ++i)
    for (std::size_t c = 0; c < 3; ++c) EXPECT_EQ(working.at(i, c), file.at(i, c));
  EXPECT_EQ(read_file(ws.file(files::kSelectiveForRIXS)), "7100\t1\t1\n7101\t1\t1\n");

  // --json: one object, the file still written.
  state.json = true;
  state.confirm = false;
  GlobalFit(ws, state);
  EXPECT_EQ(state.message.front(), '{');
  EXPECT_EQ(state.message.back(), '}');
  EXPECT_NE(state.message.find("\"smooth\": 0.01, \"smooth_by_gcv\": false, \"two_components\": true"),
            std::string::npos) << state.message;
}

// The scale is one degree of freedom with the spectrum, and the penalty must
// be a positive number or auto: "INPUT ERROR!!" and nothing is written.
TEST_F(FreeFitWorkSpace, RefusesTheScaleAndAPenaltyItCannotRead) {
  state.fit_scale = true;
  GlobalFit(ws, state);
  EXPECT_TRUE(state.message.starts_with("INPUT ERROR!!\r\n--fit-scale does not go with --free"))
      << state.message;
  state.fit_scale = false;
  for (const char* smooth : {"0", "-1", "1e", "nan", "big"}) {
    state.smooth = smooth;
    GlobalFit(ws, state);
    EXPECT_TRUE(state.message.starts_with("INPUT ERROR!!\r\n--smooth takes")) << smooth;
  }
  EXPECT_FALSE(state.free_result);
  EXPECT_FALSE(std::filesystem::exists(ws.file(files::kFreeFit)));
}

}  // namespace
