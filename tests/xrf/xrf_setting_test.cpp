#include "xrf/xrf_setting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/main_form.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"

namespace {

namespace files = talvern::files;
using talvern::WorkSpace;
using talvern::XRFState;
using talvern::test::read_file;
using talvern::test::TempDir;
using talvern::test::write_file;

// A normalised K-beta-like emission line on 7020 .. 7065 eV.
double line_shape(double e) {
  return 0.05 + 0.95 / (1 + std::pow((e - 7058) / 2.0, 2)) + 0.2 / (1 + std::pow((e - 7045) / 4.0, 2));
}

struct XRFSetting : ::testing::Test {
  TempDir tmp;
  WorkSpace ws{tmp.file("ws")};
  XRFState state;

  void SetUp() override {
    talvern::MainFormState form;
    talvern::construct_work_space(ws, form);
    measured(7020, 0.25, 181);
  }
  void measured(double first, double step, int count) {
    std::string text;
    char line[64];
    for (int i = 0; i < count; ++i) {
      const double e = first + step * i;
      std::snprintf(line, sizeof line, "%g\t%g\n", e, line_shape(e));
      text += line;
    }
    write_file(ws.file(files::kExpNonResonantEmission), text);
  }
  talvern::CalcParameters parameters() {
    talvern::CalcParameters p;
    EXPECT_EQ(talvern::read_parameters(ws.file(files::kParameters), p), 7u);
    return p;
  }
  void load_confirm_fit(const char* exc = "7214") {
    talvern::LoadXRFData(ws, state);
    talvern::ConfirmLorentzianSetting(ws, state);
    state.exc_energy = exc;
    talvern::FitTheLorentzians(ws, state);
  }
};

TEST_F(XRFSetting, LoadStoresTheMeasuredGridAndFillsTheBoxes) {
  talvern::LoadXRFData(ws, state);
  auto p = parameters();
  EXPECT_EQ(p.emission_start, 7020);
  EXPECT_EQ(p.emission_end, 7065);
  EXPECT_EQ(p.emission_step, 0.25);
  EXPECT_EQ(p.gamma, 1.25);
  EXPECT_EQ(p.core_energy, 7120);
  EXPECT_EQ(p.abs_correction, 1);
  EXPECT_EQ(p.scale, 7.9e-09);
  double range[4];
  ASSERT_EQ(talvern::read_one_row(ws.file(files::kEmissionMinMax), range, 4), 4u);
  EXPECT_EQ(range[0], 7020);
  EXPECT_EQ(range[1], 7065);
  EXPECT_NEAR(range[3], 10000 * line_shape(7058), 0.1);  // six digits in the file

  EXPECT_EQ(state.width, (std::array<std::string, 4>{"8.12", "5.78", "1.9", "1.07"}));
  EXPECT_EQ(state.position, (std::array<std::string, 4>{"7045.", "7056.", "7058.8", "7060.1"}));
  EXPECT_EQ(state.amplitude[3], "0.105");
  EXPECT_EQ(state.components, 1);
  EXPECT_EQ(state.lorentzian, 0);
  EXPECT_EQ(state.exc_energy, "7200.");
  EXPECT_NE(state.message.find("set to 7200. eV.\r\n"), std::string::npos);
  ASSERT_TRUE(state.measured);
  EXPECT_EQ(state.measured->x.front(), -100);
  EXPECT_EQ(state.measured->x.back(), 100);
  // The maximum maps to 85, or 84 when 10000 x intensity truncates just below it.
  EXPECT_GE(*std::max_element(state.measured->y[0].begin(), state.measured->y[0].end()), 84);
  EXPECT_LE(*std::max_element(state.measured->y[0].begin(), state.measured->y[0].end()), 85);

  // Editing and loading again restores the stored Lorentzians and "A".
  state.width[0] = "99";
  state.lorentzian = 2;
  talvern::LoadXRFData(ws, state);
  EXPECT_EQ(state.width[0], "8.12");
  EXPECT_EQ(state.lorentzian, 0);

  // A flat measurement is stored but cannot be drawn.
  write_file(ws.file(files::kExpNonResonantEmission), "7020\t0.5\n7021\t0.5\n");
  talvern::LoadXRFData(ws, state);
  EXPECT_TRUE(state.message.starts_with("CAUTION!!\r\n"));
  EXPECT_FALSE(state.measured);
  EXPECT_EQ(parameters().emission_end, 7021);

  // Falling energies still give a positive step.
  std::string falling;
  for (int i = 0; i < 5; ++i) falling += std::to_string(7065 - 0.25 * i) + "\t0.5\n";
  write_file(ws.file(files::kExpNonResonantEmission), falling);
  talvern::LoadXRFData(ws, state);
  p = parameters();
  EXPECT_EQ(p.emission_step, 0.25);
  EXPECT_EQ(p.emission_start, 7064);
  EXPECT_EQ(p.emission_end, 7065);
}

TEST_F(XRFSetting, ClickSetsThePeakOfTheSelectedLorentzian) {
  talvern::LoadXRFData(ws, state);
  state.lorentzian = 1;
  EXPECT_TRUE(talvern::SetPeakPositionByClick(ws, state, {-96, 0}));
  EXPECT_EQ(state.position[1], "7020.9");  // 2 % into the range
  EXPECT_EQ(state.marker, -96);
  EXPECT_TRUE(state.message.starts_with("The peak position of the Lorentzian was changed.\r\n"));
  state.lorentzian = -1;  // nothing selected: "D"
  EXPECT_TRUE(talvern::SetPeakPositionByClick(ws, state, {0, -100}));
  EXPECT_EQ(state.position[3], "7042.5");
  state.message.clear();
  EXPECT_FALSE(talvern::SetPeakPositionByClick(ws, state, {97, 0}));
  EXPECT_FALSE(talvern::SetPeakPositionByClick(ws, state, {0, -101}));
  EXPECT_TRUE(state.message.empty());
}

TEST_F(XRFSetting, CompleteStoresTheConfirmedNotTheDisplayedValues) {
  talvern::XRFState fresh;
  talvern::CompleteXRFSetting(ws, fresh);  // nothing confirmed yet
  EXPECT_TRUE(fresh.message.starts_with("ERROR!!\r\n"));
  const std::string placeholder = read_file(ws.file(files::kLorentz));

  talvern::LoadXRFData(ws, state);
  for (int flag : {-1, 0, 1}) {
    state.components = flag;
    talvern::ConfirmLorentzianSetting(ws, state);
    EXPECT_EQ(read_file(ws.file(files::kLorentzTemp))[0], flag == 1 ? '1' : '0');
  }
  state.position[0] = "7046.5";
  state.amplitude[2] = "not a number";
  talvern::ConfirmLorentzianSetting(ws, state);
  const std::string confirmed = read_file(ws.file(files::kLorentzTemp));
  EXPECT_EQ(confirmed, "1\t8.12\t5.78\t1.9\t1.07\t7046.5\t7056\t7058.8\t7060.1\t0.75\t0.305\t0\t0.105\n");

  // What was confirmed is read and written by the file conventions (six digits).
  const std::string by_hand =
      "0 8.12 5.78 1.9 1.07\n7046.1234 7056 7058.8 7060.1\n0.75 0.305 0 0.105";
  write_file(ws.file(files::kLorentzTemp), by_hand);
  talvern::CompleteXRFSetting(ws, state);
  EXPECT_EQ(read_file(ws.file(files::kLorentz)),
            "0\t8.12\t5.78\t1.9\t1.07\t7046.12\t7056\t7058.8\t7060.1\t0.75\t0.305\t0\t0.105\n");

  // Anything but one flag of 0 or 1 and twelve finite numbers is refused
  // and leaves the final setting as it was.
  const std::string before = read_file(ws.file(files::kLorentz));
  const std::string twelve = " 8 5 1 1 7045 7056 7058 7060 0.7 0.3 0.1 0.1\n";
  for (const std::string& junk : {"7100" + twelve, "2" + twelve, "1.5" + twelve, "1" + twelve + "1\n",
                                 "1" + twelve + "x", std::string("1 8 5 1 1 7045 7056 7058 1e999 0.7 0.3 0.1 0.1")}) {
    write_file(ws.file(files::kLorentzTemp), junk);
    talvern::XRFState refused;
    talvern::CompleteXRFSetting(ws, refused);
    EXPECT_TRUE(refused.message.starts_with("ERROR!!\r\n")) << junk;
    EXPECT_EQ(read_file(ws.file(files::kLorentz)), before) << junk;
  }
  talvern::ConfirmLorentzianSetting(ws, state);

  // Boxes edited but not confirmed (as a least-squares fit leaves them):
  // the confirmed values are stored, and a caution says so.
  const std::string done =
      "The final-state function was successfully generated.\r\nClick OK, and go to the next "
      "step: RIXS simulation.";
  const std::string caution =
      "\r\nCAUTION!! the boxes hold values that were not confirmed;\r\nthe confirmed ones were "
      "stored.";
  const XRFState as_confirmed = state;
  for (auto edit : {+[](XRFState& s) { s.position[0] = "7000"; },
                    +[](XRFState& s) { s.width[3] = "1.07001"; },
                    +[](XRFState& s) { s.amplitude[1] = "0.3051"; },
                    +[](XRFState& s) { s.components = 0; }}) {
    state = as_confirmed;
    edit(state);
    talvern::CompleteXRFSetting(ws, state);
    EXPECT_EQ(read_file(ws.file(files::kLorentz)), confirmed);
    EXPECT_EQ(state.message, done + caution);
  }
  EXPECT_NE(confirmed, placeholder);

  // Boxes that round to the confirmed values, or none at all (a command
  // line), give no caution.
  for (auto edit : {+[](XRFState& s) { s.position[0] = "7046.50000001"; },
                    +[](XRFState& s) { s.width[3] = "1.0700004"; },
                    +[](XRFState& s) { s.components = -1; },
                    +[](XRFState& s) { s = XRFState{}; }}) {
    state = as_confirmed;
    edit(state);
    talvern::CompleteXRFSetting(ws, state);
    EXPECT_EQ(state.message, done);
  }
}

TEST_F(XRFSetting, FitPeaksAtTheMeasuredMaximumAndSumsItsParts) {
  load_confirm_fit();
  EXPECT_TRUE(state.message.starts_with("A fitting curve was calculated."));
  const auto model = talvern::read_rows(ws.file(files::kNonResonantEmission), 4);
  ASSERT_EQ(model.rows, 181u);
  double top = 0;
  for (std::size_t j = 0; j < model.rows; ++j) {
    top = std::max(top, model.at(j, 1));
    EXPECT_NEAR(model.at(j, 1), model.at(j, 2) + model.at(j, 3), 1e-5 * model.at(j, 1));
  }
  EXPECT_NEAR(top, line_shape(7058), 1e-5);
  ASSERT_TRUE(state.fit);
  ASSERT_EQ(state.fit->y.size(), 3u);
  EXPECT_GE(*std::max_element(state.fit->y[0].begin(), state.fit->y[0].end()), 84);
  EXPECT_EQ(talvern::xrf_curves(state).size(), 4u);  // two parts, total, measured
  state.components = 0;
  EXPECT_EQ(talvern::xrf_curves(state).size(), 2u);

  // One component: column 3 repeats the total and column 4 is 0.
  talvern::ConfirmLorentzianSetting(ws, state);
  talvern::FitTheLorentzians(ws, state);
  const auto one = talvern::read_rows(ws.file(files::kNonResonantEmission), 4);
  for (std::size_t j = 0; j < one.rows; ++j) {
    EXPECT_EQ(one.at(j, 2), one.at(j, 1));
    EXPECT_EQ(one.at(j, 3), 0);
  }
}

TEST_F(XRFSetting, FitThatCannotBeScaledSaysSo) {
  talvern::XRFState before_load;
  before_load.exc_energy = "7214";
  talvern::FitTheLorentzians(ws, before_load);
  EXPECT_TRUE(before_load.message.starts_with("ERROR!!\r\n"));

  // Before any confirmation the last model stays as it was.
  const std::string placeholder_model = read_file(ws.file(files::kNonResonantEmission));
  talvern::LoadXRFData(ws, state);
  state.exc_energy = "7214";
  talvern::FitTheLorentzians(ws, state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\nNo confirmed Lorentzian setting"));
  EXPECT_EQ(read_file(ws.file(files::kNonResonantEmission)), placeholder_model);

  state.amplitude = {"0", "0", "0", "0"};
  talvern::ConfirmLorentzianSetting(ws, state);
  state.exc_energy = "7214";
  talvern::FitTheLorentzians(ws, state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\n"));
  EXPECT_FALSE(state.fit);
  const std::string stored = read_file(ws.file(files::kNonResonantEmission));
  EXPECT_EQ(stored.find("nan"), std::string::npos);
  EXPECT_EQ(stored.find("inf"), std::string::npos);
}

TEST_F(XRFSetting, RFactorComparesAtEqualEnergies) {
  measured(7020, 0.5, 4);  // intensities all positive
  const auto exp = talvern::read_rows(ws.file(files::kExpNonResonantEmission), 2);
  auto model_with = [&](double factor) {
    std::string text;
    char line[96];
    for (std::size_t k = 0; k < exp.rows; ++k) {
      std::snprintf(line, sizeof line, "%g\t%g\t0\t0\n", exp.at(k, 0), factor * exp.at(k, 1));
      text += line;
    }
    write_file(ws.file(files::kNonResonantEmission), text);
  };
  model_with(1.0);
  talvern::CalculateRFactor(ws, state);
  EXPECT_EQ(state.message, "R-factor was calculated: 0. %");
  EXPECT_EQ(talvern::read_rows(ws.file(files::kNonResonantEmissionForRFactor), 2).rows, 4u);

  model_with(0.5);
  talvern::CalculateRFactor(ws, state);
  EXPECT_EQ(state.message, "R-factor was calculated: 50. %");
  EXPECT_EQ(read_file(ws.file(files::kRFactorXRF)), "50\n");

  // Only equal energies pair, the first model row of an energy wins.
  const double meas[] = {1, 10, 2, 20, 2.5, 5};
  const double model[] = {2, 15, 0, 0, 2, 99, 0, 0, 1, 10, 0, 0};
  const auto m = talvern::match_for_r_factor(meas, 3, model, 3, 4);
  EXPECT_EQ(m.pairs, (std::vector<double>{1, 10, 2, 15}));
  EXPECT_EQ(m.abs_diff_sum, 5);
  EXPECT_EQ(m.measured_sum, 30);

  // No pair at all: no R-factor is stored.
  write_file(ws.file(files::kNonResonantEmission), "6000\t1\t1\t0\n");
  talvern::CalculateRFactor(ws, state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\n"));
  EXPECT_EQ(read_file(ws.file(files::kRFactorXRF)), "50\n");
  EXPECT_EQ(read_file(ws.file(files::kNonResonantEmissionForRFactor)), "");
}

}  // namespace
