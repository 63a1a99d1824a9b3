// Edge-step normalisation: the step of a spectrum whose pre-edge line and
// post-edge polynomial are known, flattening, and "Load XAFS(for Abs.
// Correction)" with it; the cautions of a load divided by a maximum below
// 0 and of a core energy far from its edge.

#include "xafs/edge_step.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "plot/figure.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"
#include "xafs/conv_xafs.h"

namespace {

namespace files = talvern::files;
using talvern::test::read_file;
using talvern::test::write_file;

constexpr double kE0 = 7112.0;
// pre(E) = 0.3 - 2e-4 x, post(E) = 1.6 + 5e-4 x - 8e-7 x^2 with x = E - E0:
// the step at E0 is 1.3.
double pre(double e) { return 0.3 - 2e-4 * (e - kE0); }
double post(double e) {
  const double x = e - kE0;
  return 1.6 + 5e-4 * x - 8e-7 * x * x;
}

// From 6900 to 7700 eV, 1 eV apart: the pre-edge line below E0 - 30, the
// post-edge polynomial above E0 + 150, and an edge between whose shape
// neither fit sees.
std::vector<double> known_spectrum() {
  std::vector<double> rows;
  for (double e = 6900; e <= 7700; e += 1) {
    const double w = 1 / (1 + std::exp(-(e - kE0) / 4));
    double mu = (1 - w) * pre(e) + w * post(e) + 0.2 * std::exp(-std::pow((e - 7125) / 8, 2));
    if (e <= kE0 - 30) mu = pre(e);
    if (e >= kE0 + 150) mu = post(e);
    rows.insert(rows.end(), {e, mu});
  }
  return rows;
}

TEST(EdgeStep, RecoversTheKnownStepWithTheDefaultRangesAndDegree) {
  const std::vector<double> rows = known_spectrum();
  talvern::EdgeStepRequest request;
  request.e0 = kE0;
  const auto result = talvern::fit_edge_step(rows.data(), rows.size() / 2, request);
  ASSERT_TRUE(result.fit) << result.why;
  const talvern::EdgeStepFit& fit = *result.fit;
  EXPECT_NEAR(fit.step, 1.3, 1.3e-3);
  // The pre-edge from -150 eV is limited to the data (6900 eV); the
  // post-edge runs to the last energy, 588 eV wide: a quadratic.
  EXPECT_EQ(fit.pre1, -150);
  EXPECT_EQ(fit.pre2, -30);
  EXPECT_EQ(fit.norm1, 150);
  EXPECT_EQ(fit.norm2, 588);
  EXPECT_EQ(fit.nnorm, 2);
  EXPECT_NEAR(fit.post_at(7600), post(7600), 1e-9);
  EXPECT_NEAR(fit.pre_at(7000), pre(7000), 1e-9);

  // A post-edge 100 eV wide takes a line by default, a given degree stays.
  request.norm2 = 250;
  EXPECT_EQ(talvern::fit_edge_step(rows.data(), rows.size() / 2, request).fit->nnorm, 1);
  request.nnorm = 2;
  const auto narrow = talvern::fit_edge_step(rows.data(), rows.size() / 2, request);
  ASSERT_TRUE(narrow.fit);
  EXPECT_NEAR(narrow.fit->step, 1.3, 1.3e-3);

  // Ranges outside the data, or too few energies for the degree, give no fit.
  request = {};
  request.e0 = 7650;
  request.norm1 = 100;
  EXPECT_FALSE(talvern::fit_edge_step(rows.data(), rows.size() / 2, request).fit);
  request.e0 = kE0;
  request.norm1 = 587.5;
  request.nnorm = 2;
  const auto short_post = talvern::fit_edge_step(rows.data(), rows.size() / 2, request);
  EXPECT_FALSE(short_post.fit);
  EXPECT_NE(short_post.why.find("fewer than 3"), std::string::npos) << short_post.why;
  // An edge that falls has no step to divide by.
  std::vector<double> falling = rows;
  for (std::size_t i = 1; i < falling.size(); i += 2) falling[i] = -falling[i];
  request = {};
  request.e0 = kE0;
  EXPECT_FALSE(talvern::fit_edge_step(falling.data(), falling.size() / 2, request).fit);
}

TEST(EdgeStep, NormalisesBelowTheEdgeToZeroAndFlattensAboveIt) {
  const std::vector<double> rows = known_spectrum();
  talvern::EdgeStepRequest request;
  request.e0 = kE0;
  const auto fit = *talvern::fit_edge_step(rows.data(), rows.size() / 2, request).fit;
  std::vector<double> plain = rows, flat = rows;
  talvern::normalise_to_step(plain.data(), plain.size() / 2, fit, false);
  talvern::normalise_to_step(flat.data(), flat.size() / 2, fit, true);
  const std::size_t last = rows.size() / 2 - 1, at_e0 = 212;
  ASSERT_EQ(rows[2 * at_e0], kE0);
  EXPECT_NEAR(plain[1], 0.0, 1e-6);
  EXPECT_NEAR(plain[2 * last + 1], (post(7700) - pre(7700)) / 1.3, 1e-3);
  // Flattened: 1 all along the post-edge, unchanged up to E0.
  EXPECT_NEAR(flat[2 * last + 1], 1.0, 1e-6);
  EXPECT_NEAR(flat[2 * 500 + 1], 1.0, 1e-6);
  EXPECT_LT(std::abs(plain[2 * last + 1] - 1.0), 0.5);
  EXPECT_GT(std::abs(plain[2 * last + 1] - 1.0), 0.05);
  EXPECT_EQ(flat[2 * at_e0 + 1], plain[2 * at_e0 + 1]);
  EXPECT_EQ(flat[101], plain[101]);
}

struct EdgeStepLoad : ::testing::Test {
  talvern::test::TempDir tmp;
  talvern::WorkSpace ws{tmp.file("ws")};
  talvern::ConvXAFSState state;

  void SetUp() override {
    talvern::MainFormState form;
    talvern::construct_work_space(ws, form);
    write_file(ws.file(files::kSelectiveReadingOrg), "0\t0.5\t0.5\n0.1\t1\t1\n");
  }
  void measured(const std::vector<double>& rows) {
    std::string text;
    char line[64];
    for (std::size_t i = 0; i < rows.size(); i += 2) {
      std::snprintf(line, sizeof line, "%.10g\t%.10g\n", rows[i], rows[i + 1]);
      text += line;
    }
    write_file(ws.file(files::kConventionalXAFS), text);
  }
  bool says(const std::string& text) const { return state.message.find(text) != std::string::npos; }
};

TEST_F(EdgeStepLoad, WritesTheNormalisedSpectrumAndDrawsBothLinesOverTheMeasurement) {
  measured(known_spectrum());
  state.normalise = talvern::ConvXAFSState::kEdgeStep;
  state.core_energy = "7112.";
  state.flatten = true;
  talvern::LoadXAFS(ws, state);
  EXPECT_TRUE(state.message.starts_with("Conventional XAFS data were introduced and \r\nnormalized "
                                        "to the edge step.\r\n"))
      << state.message;
  EXPECT_TRUE(says("E0: 7112 eV (the core energy box)\r\nEdge step: 1.3"));
  EXPECT_TRUE(says("Pre-edge line: 6962 to 7082 eV (E0-150 to E0-30)"));
  EXPECT_TRUE(says("degree 2:\r\n7262 to 7700 eV (E0+150 to E0+588)"));
  EXPECT_TRUE(says("Flattened above E0."));
  const auto norm = talvern::read_rows(ws.file(files::kConvXAFSNormSpectrum), 2);
  ASSERT_EQ(norm.rows, 801u);
  EXPECT_NEAR(norm.at(0, 1), 0.0, 1e-5);
  EXPECT_NEAR(norm.at(800, 1), 1.0, 1e-5);
  // The panel: the measurement, the pre-edge line and the post-edge from E0 on.
  ASSERT_TRUE(state.trace && state.edge_lines);
  const auto curves = talvern::conv_xafs_curves(state);
  ASSERT_EQ(curves.size(), 3u);
  EXPECT_EQ(curves[0].trace->intensity[0][0], known_spectrum()[1]);
  EXPECT_EQ(curves[1].pen, talvern::plot::Pen::blue);
  EXPECT_TRUE(curves[2].use_hidden);
  ASSERT_EQ(state.edge_lines->hidden.size(), 801u);
  EXPECT_TRUE(state.edge_lines->hidden[211]);
  EXPECT_FALSE(state.edge_lines->hidden[212]);

  // Without a core energy E0 is the steepest rise; a box that is not a
  // number (a typo, or a range typed into one box), or a degree of 3,
  // changes nothing.
  state.core_energy.clear();
  talvern::LoadXAFS(ws, state);
  EXPECT_TRUE(says("(Edge from Data)")) << state.message;
  const std::string written = read_file(ws.file(files::kConvXAFSNormSpectrum));
  for (auto [box, text] : {std::pair{&talvern::ConvXAFSState::nnorm, "3"},
                           std::pair{&talvern::ConvXAFSState::pre1, "-15o"},
                           std::pair{&talvern::ConvXAFSState::norm1, "150-200"}}) {
    talvern::ConvXAFSState bad = state;
    bad.*box = text;
    talvern::LoadXAFS(ws, bad);
    EXPECT_TRUE(bad.message.starts_with("ERROR!!\r\n")) << bad.message;
    EXPECT_FALSE(bad.trace);
    EXPECT_EQ(read_file(ws.file(files::kConvXAFSNormSpectrum)), written);
  }

  // Divided by the maximum again: one curve, and no caution for data above 0.
  state.normalise = talvern::ConvXAFSState::kDivideByMaximum;
  talvern::LoadXAFS(ws, state);
  EXPECT_FALSE(state.edge_lines);
  EXPECT_EQ(talvern::conv_xafs_curves(state).size(), 1u);
  EXPECT_TRUE(state.message.starts_with("Conventional XAFS data were introduced and \r\nthe maximum"));
}

TEST_F(EdgeStepLoad, DividingValuesBelowZeroByTheMaximumSuggestsTheEdgeStep) {
  std::vector<double> rows = known_spectrum();
  for (std::size_t i = 1; i < rows.size(); i += 2) rows[i] -= 0.5;
  measured(rows);
  talvern::LoadXAFS(ws, state);
  EXPECT_TRUE(state.message.starts_with("CAUTION!!\r\nThe spectrum has values below 0"))
      << state.message;
  EXPECT_TRUE(says("--normalise edge-step"));
  EXPECT_TRUE(says("Conventional XAFS data were introduced and \r\nthe maximum was normalized"));
  // Still divided by the maximum, as ever.
  const auto norm = talvern::read_rows(ws.file(files::kConvXAFSNormSpectrum), 2);
  ASSERT_EQ(norm.rows, 801u);
  EXPECT_LT(norm.at(0, 1), 0.0);

  state.normalise = talvern::ConvXAFSState::kEdgeStep;
  talvern::LoadXAFS(ws, state);
  EXPECT_FALSE(says("CAUTION!!")) << state.message;
}

TEST_F(EdgeStepLoad, APostEdgeLineRisingBelowE0IsNoCurveCutByTheFrame) {
  // A post-edge line falling with energy: extrapolated below E0 it would
  // rise far above the measurement, where it is not drawn.
  std::vector<double> rows = known_spectrum();
  for (std::size_t i = 0; i < rows.size(); i += 2)
    if (rows[i] >= kE0 + 150) rows[i + 1] = 1.6 - 1.5e-3 * (rows[i] - kE0);
  measured(rows);
  state.normalise = talvern::ConvXAFSState::kEdgeStep;
  state.core_energy = "7112.";
  state.nnorm = "1";
  talvern::LoadXAFS(ws, state);
  ASSERT_TRUE(state.trace && state.edge_lines) << state.message;
  const auto curves = talvern::conv_xafs_curves(state);
  EXPECT_FALSE(talvern::plot::clipped_mark(curves, talvern::plot::View{}));
  // (the pre-edge line falls below the frame above E0, and is drawn there)
  EXPECT_EQ(talvern::plot::whole_view(curves).y_hi, talvern::plot::View{}.y_hi);
  // Above E0 the line is the fit's, exported as it is drawn.
  ASSERT_EQ(state.edge_lines->intensity.size(), 2u);
  EXPECT_NEAR(state.edge_lines->intensity[1][800], 1.6 - 1.5e-3 * 588, 1e-6);
}

TEST_F(EdgeStepLoad, ACoreEnergyFarFromTheChosenEdgeIsStoredWithACaution) {
  talvern::list_edges(state);
  ASSERT_EQ(state.edge_list[7], "Fe K-edge");  // 7114 eV in the table
  state.selected_edge = 7;
  for (const char* near : {"7314", "6914", ""}) {
    state.core_energy = near;
    talvern::ConfirmXAFSInfo(ws, state);
    EXPECT_FALSE(says("CAUTION!!")) << near << state.message;
  }
  state.core_energy = "7411.";
  talvern::ConfirmXAFSInfo(ws, state);
  EXPECT_TRUE(state.message.starts_with(
      "CAUTION!!\r\nThe core energy 7411 eV is 297 eV from\r\nFe K-edge (7114 eV in the table)"))
      << state.message;
  talvern::CalcParameters p;
  talvern::read_parameters(ws.file(files::kParameters), p);
  EXPECT_EQ(p.core_energy, 7411);
}

}  // namespace
