// The least-squares fit of the XRF Lorentzians: recovery of known
// Lorentzians from a noisy spectrum, held parameters, the background, the
// bounds, and the command on the boxes of the dialog.

#include "xrf/lsq_fit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <random>
#include <string>

#include "app/main_form.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/number_text.h"
#include "workspace/row_io.h"

namespace {

using talvern::LorentzSet;
using talvern::LsqProblem;
using talvern::LsqResult;
using Status = talvern::LsqResult::Status;

// Four Lorentzians of a K-beta-like line, on 7020 ... 7080 eV in 0.25 eV
// steps, normalised to 1 at the top, with Gaussian noise of 1 % of the top
// (fixed seed) and a straight background from `bg_lo` to `bg_hi`.
struct Synthetic {
  LorentzSet truth;
  talvern::RowsRead measured;
  LsqProblem problem;

  explicit Synthetic(double bg_lo = 0, double bg_hi = 0) {
    truth.width = {3.0, 2.5, 2.0, 1.5};
    truth.position = {7035.0, 7045.0, 7058.0, 7067.0};
    truth.amplitude = {0.5, 0.4, 1.0, 0.3};
    problem.par.gamma = 1.25;
    problem.par.core_energy = 7113.8;
    problem.par.emission_start = 7020;
    problem.par.emission_end = 7080;
    problem.par.emission_step = 0.25;
    problem.omega = 7213.8;

    bool capped = false;
    const std::vector<double> rows =
        talvern::EmissionModel(problem.par, problem.omega).rows(truth, capped);
    const std::size_t n = rows.size() / 4;
    double top = 0;
    for (std::size_t j = 0; j < n; ++j) top = std::max(top, rows[4 * j + 1]);
    std::mt19937 rng(20240611);
    std::normal_distribution<double> noise(0.0, 0.01);
    measured.k = 2;
    double y_max = 0;
    for (std::size_t j = 0; j < n; ++j) {
      const double e = talvern::through_g6(rows[4 * j]);
      const double bg = bg_lo + (bg_hi - bg_lo) * (e - 7020) / 60;
      const double y = talvern::through_g6(rows[4 * j + 1] / top + noise(rng) + bg);
      measured.values.insert(measured.values.end(), {e, y});
      y_max = std::max(y_max, y);
    }
    measured.rows = n;
    problem.measured = &measured;
    problem.y_max = talvern::through_g6(10000 * y_max);
    problem.e_min = 7020;
    problem.e_max = 7080;
    // A start as a user would type it: every value some way off.
    problem.start = truth;
    problem.start.width = {3.5, 2.1, 2.3, 1.3};
    problem.start.position = {7035.6, 7044.5, 7058.4, 7066.6};
    problem.start.amplitude = {0.4, 0.5, 0.8, 0.35};
  }
};

TEST(LsqFit, RecoversFourLorentziansFromANoisySpectrum) {
  Synthetic s;
  const LsqResult r = talvern::least_squares_fit(s.problem);
  ASSERT_EQ(r.status, Status::ok);
  EXPECT_EQ(r.points, 241u);
  for (std::size_t x = 0; x < 4; ++x) {
    EXPECT_TRUE(r.in_use[x]);
    EXPECT_NEAR(r.fitted.position[x], s.truth.position[x], 0.05) << x;
    EXPECT_NEAR(r.fitted.width[x] / s.truth.width[x], 1.0, 0.05) << x;
    // The uncertainties are those of 1 % noise: small, but not zero, and
    // the errors lie within a few of them.
    for (std::size_t kind = 0; kind < 3; ++kind) EXPECT_GT(r.sigma[x][kind], 0.0) << x << kind;
    EXPECT_LT(std::fabs(r.fitted.position[x] - s.truth.position[x]), 5 * r.sigma[x][0]) << x;
    EXPECT_LT(r.sigma[x][0], 0.05) << x;
  }
  // Down to the noise: the R-factor of the true Lorentzians.
  const talvern::EmissionModel model(s.problem.par, s.problem.omega);
  const double r_truth = talvern::xrf_r_factor(model, s.truth, s.measured, s.problem.y_max);
  EXPECT_LT(r.r_after, 1.05 * r_truth);
  EXPECT_GT(r.r_before, 5 * r_truth);
  EXPECT_EQ(r.background, (std::array<double, 2>{0, 0}));
}

TEST(LsqFit, HeldParametersStayAndTheBackgroundIsRecovered) {
  Synthetic s(0.06, 0.02);
  s.problem.background = true;
  s.problem.start.width[0] = s.truth.width[0];
  s.problem.start.position[2] = s.truth.position[2];
  s.problem.fixed[0][talvern::kLsqWidth] = true;
  s.problem.fixed[2][talvern::kLsqPosition] = true;
  s.problem.fixed[3] = {true, true, true};
  s.problem.start.width[3] = s.truth.width[3];
  s.problem.start.position[3] = s.truth.position[3];
  s.problem.start.amplitude[3] = s.truth.amplitude[3];
  const LsqResult r = talvern::least_squares_fit(s.problem);
  ASSERT_EQ(r.status, Status::ok);
  EXPECT_EQ(r.fitted.width[0], s.truth.width[0]);
  EXPECT_EQ(r.fitted.position[2], s.truth.position[2]);
  EXPECT_EQ(r.fitted.width[3], s.truth.width[3]);
  EXPECT_EQ(r.fitted.position[3], s.truth.position[3]);
  EXPECT_EQ(r.fitted.amplitude[3], s.truth.amplitude[3]);
  EXPECT_EQ(r.sigma[0][talvern::kLsqWidth], 0.0);
  EXPECT_EQ(r.sigma[3], (std::array<double, 3>{0, 0, 0}));
  EXPECT_NEAR(r.background[0], 0.06, 0.006);
  EXPECT_NEAR(r.background[1], 0.02, 0.006);
  EXPECT_GT(r.background_sigma[0], 0.0);
  EXPECT_NEAR(r.fitted.position[1], s.truth.position[1], 0.05);
  // The curve carries the background under the total, and nowhere else.
  const std::size_t last = r.curve.size() / 5 - 1;
  EXPECT_NEAR(r.curve[4], 0.06, 0.006);
  EXPECT_NEAR(r.curve[5 * last + 4], 0.02, 0.006);
  EXPECT_GT(r.curve[1], r.curve[2] + r.curve[3]);
}

// With every Lorentzian held, the model is linear in what is left free (the
// overall scale and the background at both ends), so the fit must give the
// linear regression's values and standard errors, whose variance estimate is
// the residual sum over n - p. Few points (every sixth of the spectrum, 1.5
// eV apart) make n - p and n differ by some 4 % in the uncertainties.
TEST(LsqFit, WithTheLorentziansHeldTheFitIsTheLinearRegression) {
  Synthetic s(0.06, 0.02);
  talvern::RowsRead coarse;
  coarse.k = 2;
  for (std::size_t j = 0; j < s.measured.rows; j += 6)
    coarse.values.insert(coarse.values.end(), {s.measured.at(j, 0), s.measured.at(j, 1)});
  coarse.rows = coarse.values.size() / 2;
  s.problem.measured = &coarse;
  s.problem.background = true;
  for (auto& row : s.problem.fixed) row = {true, true, true};
  const LsqResult r = talvern::least_squares_fit(s.problem);
  ASSERT_EQ(r.status, Status::ok);
  const std::size_t n = coarse.rows;
  ASSERT_EQ(r.points, n);

  // The regression of y on the held model m, 1 - t and t (t from 0 at the
  // lowest to 1 at the highest measured energy), by its normal equations.
  bool capped = false;
  const std::vector<double> model =
      talvern::EmissionModel(s.problem.par, s.problem.omega).rows(s.problem.start, capped);
  ASSERT_EQ(model.size(), 4 * s.measured.rows);
  std::vector<std::array<double, 3>> x(n);
  double xtx[3][3] = {}, xty[3] = {};
  for (std::size_t k = 0; k < n; ++k) {
    const double t = (coarse.at(k, 0) - s.problem.e_min) / (s.problem.e_max - s.problem.e_min);
    x[k] = {model[4 * (6 * k) + 1], 1 - t, t};
    for (int a = 0; a < 3; ++a) {
      xty[a] += x[k][a] * coarse.at(k, 1);
      for (int b = 0; b < 3; ++b) xtx[a][b] += x[k][a] * x[k][b];
    }
  }
  double inv[3][3];
  const double det = xtx[0][0] * (xtx[1][1] * xtx[2][2] - xtx[1][2] * xtx[2][1]) -
                     xtx[0][1] * (xtx[1][0] * xtx[2][2] - xtx[1][2] * xtx[2][0]) +
                     xtx[0][2] * (xtx[1][0] * xtx[2][1] - xtx[1][1] * xtx[2][0]);
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b)  // cofactor of (b, a) over the determinant
      inv[a][b] = (xtx[(b + 1) % 3][(a + 1) % 3] * xtx[(b + 2) % 3][(a + 2) % 3] -
                   xtx[(b + 1) % 3][(a + 2) % 3] * xtx[(b + 2) % 3][(a + 1) % 3]) / det;
  double beta[3] = {};
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) beta[a] += inv[a][b] * xty[b];
  double rss = 0;
  for (std::size_t k = 0; k < n; ++k) {
    const double e = coarse.at(k, 1) - beta[0] * x[k][0] - beta[1] * x[k][1] - beta[2] * x[k][2];
    rss += e * e;
  }
  const double s2 = rss / static_cast<double>(n - 3);
  for (std::size_t end = 0; end < 2; ++end) {
    EXPECT_NEAR(r.background[end], beta[1 + end], 1e-7) << end;
    EXPECT_NEAR(r.background_sigma[end] / std::sqrt(s2 * inv[1 + end][1 + end]), 1.0, 1e-4) << end;
  }
  EXPECT_NEAR(r.scale / beta[0], 1.0, 1e-6);
}

TEST(LsqFit, RefusesStartsThatBreakTheBoundsOrLeaveNothingToFit) {
  Synthetic s;
  LsqProblem p = s.problem;
  p.start.amplitude = {0, 0, 0, 0};
  EXPECT_EQ(talvern::least_squares_fit(p).status, Status::none_in_use);

  // Unused Lorentzians (amplitude 0) take no part, whatever their values.
  p = s.problem;
  p.start.amplitude[1] = 0;
  p.start.width[1] = -3;
  p.start.position[1] = 9000;
  const LsqResult unused = talvern::least_squares_fit(p);
  ASSERT_EQ(unused.status, Status::ok);
  EXPECT_FALSE(unused.in_use[1]);
  EXPECT_EQ(unused.fitted.width[1], -3);

  p = s.problem;
  p.start.width[2] = 0;
  LsqResult r = talvern::least_squares_fit(p);
  EXPECT_EQ(r.status, Status::outside_bounds);
  EXPECT_EQ(r.bad, (std::array<std::size_t, 2>{2, talvern::kLsqWidth}));
  p.fixed[2][talvern::kLsqWidth] = true;  // held, it may be anything
  p.start.position[3] = 7080;              // the edge of the range is outside
  r = talvern::least_squares_fit(p);
  EXPECT_EQ(r.status, Status::outside_bounds);
  EXPECT_EQ(r.bad, (std::array<std::size_t, 2>{3, talvern::kLsqPosition}));
  EXPECT_EQ(r.fitted.position, p.start.position);

  p = s.problem;
  for (auto& row : p.fixed) row = {true, true, true};
  EXPECT_EQ(talvern::least_squares_fit(p).status, Status::nothing_free);
  p.background = true;  // the background alone is something to fit
  EXPECT_EQ(talvern::least_squares_fit(p).status, Status::ok);
}

// The command on the boxes: fitted values into the free boxes only, held
// ones as typed; a failed fit leaves every box and the picture alone.
TEST(LsqFit, CommandFillsTheFreeBoxesAndLeavesThemOnAFailure) {
  talvern::test::TempDir tmp;
  talvern::WorkSpace ws(tmp.file("ws"));
  talvern::MainFormState form;
  talvern::construct_work_space(ws, form);
  talvern::XRFState state;
  talvern::LeastSquaresFit(ws, state);
  EXPECT_EQ(state.message, talvern::xrf_messages::kTooFewPoints);

  Synthetic s(0.05, 0.05);
  talvern::test::write_file(ws.file(talvern::files::kExpNonResonantEmission),
                            talvern::format_rows(s.measured.values.data(), s.measured.rows, 2));
  talvern::LoadXRFData(ws, state);
  talvern::show_lorentz(s.problem.start, state);
  state.exc_energy = "7213.8";
  state.width[0] = "4.60";  // held: stays as typed
  state.fix_width[0] = true;
  state.background = true;
  const std::string files_before = talvern::test::read_file(ws.file(talvern::files::kParameters));

  const LsqResult r = talvern::LeastSquaresFit(ws, state);
  ASSERT_TRUE(r.ok()) << state.message;
  EXPECT_EQ(state.width[0], "4.60");
  EXPECT_EQ(state.position[2], talvern::format_edit(r.fitted.position[2], 10));
  EXPECT_TRUE(state.message.starts_with("The least-squares fit converged after ")) << state.message;
  EXPECT_NE(state.message.find("\r\nA: position "), std::string::npos);
  EXPECT_NE(state.message.find(", width 4.6 eV (fixed), amplitude "), std::string::npos);
  EXPECT_NE(state.message.find("\r\nBackground: "), std::string::npos);
  EXPECT_TRUE(state.fit && state.background_line);
  EXPECT_EQ(talvern::xrf_curves(state).size(), 5u);  // two parts, total, background, measured
  // Nothing the steps read was written.
  EXPECT_FALSE(std::filesystem::exists(ws.file(talvern::files::kLorentzTemp)));
  EXPECT_EQ(talvern::test::read_file(ws.file(talvern::files::kParameters)), files_before);

  const auto boxes = state.position;
  state.width[1] = "-1";
  talvern::LeastSquaresFit(ws, state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\nThe width of Lorentzian B must be above 0"))
      << state.message;
  EXPECT_EQ(state.position, boxes);
  EXPECT_TRUE(state.background_line);

  // Stop, looked at between two iterations, ends the fit as a failure does;
  // the progress follows each iteration and its falling sum of squares.
  state.width[1] = "2.1";
  std::atomic<bool> stop{false};
  std::vector<double> squares;
  const talvern::LsqWatch watch{&stop, [&](std::size_t done, double sum) {
                                  squares.push_back(sum);
                                  EXPECT_EQ(done, squares.size());
                                  stop = done == 2;
                                }};
  const LsqResult stopped = talvern::LeastSquaresFit(ws, state, watch);
  EXPECT_EQ(stopped.status, Status::stopped);
  ASSERT_EQ(squares.size(), 2u);
  EXPECT_LT(squares[1], squares[0]);
  EXPECT_EQ(state.position, boxes);
  EXPECT_EQ(state.message, "CAUTION!!\r\nThe least-squares fit was stopped after 2\r\n"
                           "iterations. The boxes were left as they were.");

  // A new load or fit drops the background.
  talvern::LoadXRFData(ws, state);
  EXPECT_FALSE(state.background_line);
}

}  // namespace
