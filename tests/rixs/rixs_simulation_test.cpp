// The RIXS Simulation commands on a scratch work-space: the display region,
// the Lorentzian modification chain, the shift, the excitation energy check
// of the calculation and the comparison with a measured RIXS.

#include "rixs/rixs_simulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "engine/engine.h"
#include "rixs/rixs_calculation.h"
#include "rixs/rixs_modification.h"
#include "rixs/rixs_state.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"

namespace {

namespace files = talvern::files;
using talvern::RIXSState;
using talvern::test::read_file;
using talvern::test::write_file;

struct RIXSSimulation : ::testing::Test {
  talvern::test::TempDir tmp;
  talvern::WorkSpace ws{tmp.file("ws")};
  RIXSState state;

  void SetUp() override {
    talvern::MainFormState form;
    talvern::construct_work_space(ws, form);
  }
  std::string file(const char* name) { return read_file(ws.file(name)); }
  std::vector<double> rows(const char* name, std::size_t k) {
    const auto r = talvern::read_rows(ws.file(name), k);
    return {r.values.begin(), r.values.begin() + static_cast<long>(r.rows * k)};
  }
  bool first_line_is(const char* line) {
    return state.message.starts_with(std::string(line) + "\r\n") || state.message == line;
  }
  // Runs `command` with the display region typed into its boxes.
  template <class Command>
  void with_region(const char* lo, const char* hi, Command command) {
    state.region_min = lo;
    state.region_max = hi;
    command(ws, state);
  }
};

TEST_F(RIXSSimulation, LoadMapsTheWholeRangeAndModeChangeTakesOnlyRegionsInsideIt) {
  write_file(ws.file(files::kSelectiveReading), "7100\t0\t0\n7150\t0.5\t1\n7200\t1\t1\n");
  state.calculated.emplace();  // every trace goes
  talvern::LoadSelectiveXAFS(ws, state);
  EXPECT_TRUE(first_line_is("Selective XAFS data was successfully introduced.")) << state.message;
  ASSERT_TRUE(state.selective);
  EXPECT_EQ(state.selective->x, (std::vector<int>{-100, 0, 100}));
  EXPECT_EQ(state.selective->y[0], (std::vector<int>{-95, -5, 85}));
  EXPECT_EQ(state.selective->y[1], (std::vector<int>{-95, 85, 85}));
  EXPECT_FALSE(state.calculated);
  EXPECT_EQ(file(files::kXAFSMinMax), "7100\t7200\t0\t10000\n");
  EXPECT_EQ(file(files::kTempXAFSMinMax), file(files::kXAFSMinMax));
  EXPECT_EQ(file(files::kSelectiveForRIXSTemp), file(files::kSelectiveReading));
  EXPECT_EQ(state.region_min, "7100.");
  EXPECT_EQ(state.region_max, "7200.");
  EXPECT_EQ(state.scale, "7.9e-09");
  EXPECT_EQ(state.abs_correction, "1.");
  EXPECT_EQ(state.energy_shift, "0");
  EXPECT_EQ(state.display_mode, RIXSState::kModeAB);  // the new work-space's two components

  // A peak outside the region must not flatten it.
  write_file(ws.file(files::kSelectiveForRIXSTemp),
             "7100\t0\t0\n7150\t0.5\t1\n7190\t3\t3\n7200\t1\t1\n");
  const std::string stored = file(files::kTempXAFSMinMax);
  const char* refused[][2] = {{"7100", "7100"}, {"7099.9", "7200"}, {"7100", "7200.1"}, {"", ""}};
  for (const auto& [lo, hi] : refused) {
    state.selective.emplace();
    with_region(lo, hi, talvern::ModeChange);
    EXPECT_EQ(state.message, "INPUT ERROR!!\r\nCheck the min. and max. energy of the display region.")
        << lo << ".." << hi;
    EXPECT_FALSE(state.selective);
    EXPECT_EQ(file(files::kTempXAFSMinMax), stored);
  }
  with_region("7100", "7200", talvern::ModeChange);  // the exact data range
  EXPECT_TRUE(first_line_is("Display mode was changed.")) << state.message;
  EXPECT_EQ(file(files::kTempXAFSMinMax), "7100\t7200\t0\t30000\n");
  with_region("7100", "7160", talvern::ModeChange);
  EXPECT_EQ(file(files::kTempXAFSMinMax), "7100\t7160\t0\t10000\n");
  EXPECT_EQ(state.selective->y[1][1], 85);  // 1 is the top inside the region
  EXPECT_EQ(state.amplitude, "1.0");
  EXPECT_EQ(state.width, "3.0");
  EXPECT_EQ(state.sign, RIXSState::kAdd);

  ASSERT_EQ(talvern::write_lorentz(ws.file(files::kLorentz), talvern::LorentzSet{.two_component = 0}),
            talvern::WriteStatus::ok);
  talvern::LoadSelectiveXAFS(ws, state);
  EXPECT_EQ(state.display_mode, RIXSState::kModeA);
  EXPECT_EQ(file(files::kSelectiveForRIXSTemp), file(files::kSelectiveReading));  // modifications gone

  // Intensities whose range is not a number are refused before anything is written.
  write_file(ws.file(files::kSelectiveReading), "7000\t1e305\t1\n7001\t1\t1\n");
  talvern::LoadSelectiveXAFS(ws, state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!")) << state.message;
  EXPECT_EQ(file(files::kXAFSMinMax), "7100\t7200\t0\t10000\n");
  EXPECT_TRUE(state.selective);
}

TEST_F(RIXSSimulation, ModificationStartsFromTheWorkingCopyUntilSavedAndCompleted) {
  write_file(ws.file(files::kSelectiveReading), "7110\t1\t2\n7113\t1\t2\n7116\t1\t2\n7119\t1\t2\n");
  talvern::LoadSelectiveXAFS(ws, state);
  with_region("7110", "7119", talvern::ModeChange);
  // A click in the middle of the region picks its centre.
  EXPECT_TRUE(talvern::PickEnergy(ws, state, {-33, 0}));
  EXPECT_EQ(state.central_energy, "7113.");
  EXPECT_EQ(state.exc_energy, "7113.");
  EXPECT_EQ(state.marker, -33);
  EXPECT_FALSE(talvern::PickEnergy(ws, state, {97, 0}));

  talvern::ShowThePeak(ws, state);  // amplitude 1, width 3
  EXPECT_TRUE(first_line_is("The Lorentzian to modify selective XAFS was shown.")) << state.message;
  const std::string peak = "7110\t0.0555556\n7113\t0.111111\n7116\t0.0555556\n7119\t0.0222222\n";
  EXPECT_EQ(file(files::kXAFSLorentzTemp), peak);
  ASSERT_TRUE(state.lorentzian);
  EXPECT_EQ(state.lorentzian->hidden.size(), 4u);

  // Subtract (neither radio button counts as subtract) with "A": component 2 stays.
  state.display_mode = RIXSState::kModeA;
  state.sign = -1;
  talvern::ModifyXAFS(ws, state);
  EXPECT_TRUE(first_line_is("The lorenzian was added/subtracted.")) << state.message;
  const std::string once = file(files::kSelectiveForRIXSTemp2);
  EXPECT_EQ(once, "7110\t0.944444\t2\n7113\t0.888889\t2\n7116\t0.944444\t2\n7119\t0.977778\t2\n");
  talvern::ModifyXAFS(ws, state);
  EXPECT_EQ(file(files::kSelectiveForRIXSTemp2), once);  // again from the working copy

  // A Lorentzian that is infinite at a row writes nothing.
  state.width = "0";
  talvern::ShowThePeak(ws, state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!")) << state.message;
  EXPECT_EQ(file(files::kXAFSLorentzTemp), peak);

  talvern::SaveItTemporarily(ws, state);
  EXPECT_EQ(file(files::kSelectiveForRIXSTemp), once);
  EXPECT_FALSE(ws.exists(files::kSelectiveForRIXS));
  with_region("7000", "7300", talvern::CompleteTheModification);  // stored without a check
  EXPECT_EQ(file(files::kSelectiveForRIXS), once);
  EXPECT_EQ(file(files::kTempXAFSMinMax), "7000\t7300\t8888.89\t20000\n");
  EXPECT_EQ(file(files::kXAFSMinMax), "7110\t7119\t8888.89\t20000\n");

  // A Lorentzian of fewer rows than the working copy is refused.
  write_file(ws.file(files::kXAFSLorentzTemp), "7110\t1\n");
  talvern::ModifyXAFS(ws, state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!")) << state.message;
  EXPECT_EQ(file(files::kSelectiveForRIXSTemp2), once);

  // Saved to a file of the user's choice: what was completed, not the working copy.
  const auto target = tmp.file("fixed.DAT");
  talvern::SaveModifiedXAFS(ws, [&](talvern::FileKind) { return std::optional(target); }, state);
  EXPECT_EQ(state.message, "Modified data were saved as " + target.string() + ".");
  EXPECT_EQ(read_file(target), once);
  // Nothing completed: the user's file is not replaced by nothing.
  write_file(ws.file(files::kSelectiveForRIXS), "");
  talvern::SaveModifiedXAFS(ws, [&](talvern::FileKind) { return std::optional(target); }, state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!")) << state.message;
  EXPECT_EQ(read_file(target), once);
}

TEST_F(RIXSSimulation, ShiftsAccumulateAndMoveOnlyTheEnergies) {
  write_file(ws.file(files::kSelectiveReading), "7100.1\t0.1\t0.2\n7100.2\t0.3\t0.4\n7109.9\t1\t1\n");
  talvern::LoadSelectiveXAFS(ws, state);
  const std::string loaded = file(files::kSelectiveForRIXSTemp);
  state.energy_shift = "+2";
  talvern::ShiftSelectiveXAFS(ws, state);
  EXPECT_EQ(state.message, "Selective XAFS spectra were shifted.");
  EXPECT_EQ(file(files::kSelectiveForRIXSTemp), "7102.1\t0.1\t0.2\n7102.2\t0.3\t0.4\n7111.9\t1\t1\n");
  state.energy_shift = "-2";
  talvern::ShiftSelectiveXAFS(ws, state);
  EXPECT_EQ(file(files::kSelectiveForRIXSTemp), loaded);
  // The region loaded no longer fits a shifted copy.
  talvern::ShiftSelectiveXAFS(ws, state);
  with_region("7100.1", "7109.9", talvern::ModeChange);
  EXPECT_TRUE(state.message.starts_with("INPUT ERROR!!"));
}

TEST_F(RIXSSimulation, CalculationTakesTheFactorsAndReplacesAbnormalExcitationEnergies) {
  state.scale = "2e-09";
  state.abs_correction = "0.5";
  state.exc_energy = "7116.0";
  talvern::CalculateRIXSSpectrum(ws, state);  // no normalised XAFS yet
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\nThe materials to calculate RIXS profile lack"));
  talvern::CalcParameters p;
  talvern::read_parameters(ws.file(files::kParameters), p);
  EXPECT_EQ(p.scale, 2e-09);
  EXPECT_EQ(p.abs_correction, 0.5);
  EXPECT_FALSE(state.calculated);

  write_file(ws.file(files::kConvXAFSNormSpectrum), "7100\t0.1\n7200\t1\n");
  write_file(ws.file(files::kSelectiveForRIXS), "7110\t1\t1\n7110.1\t1\t1\n7110.2\t2\t1\n");
  for (const char* accepted : {"1000", "20000", "7116.0"}) {
    state.exc_energy = accepted;
    talvern::CalculateRIXSSpectrum(ws, state);
    // Far below the edge the spectrum may be too flat to draw, which is said first.
    EXPECT_NE(state.message.find(
                  std::string("Calculated RIXS spectrum was shown.\r\nThe excitation energy "
                              "employed was ") + accepted + " eV.\r\n"),
              std::string::npos)
        << state.message;
  }
  ASSERT_TRUE(state.calculated);
  EXPECT_EQ(state.calculated->size(), rows(files::kCalculatedRIXS, 4).size() / 4);
  // The highest total at the top, give or take the rounding of 1000 / Tmax.
  EXPECT_GE(*std::max_element(state.calculated->y[0].begin(), state.calculated->y[0].end()), 84);
  EXPECT_EQ(*std::min_element(state.calculated->y[0].begin(), state.calculated->y[0].end()), -95);

  ASSERT_EQ(talvern::CalculateRIXS(ws, 7150).status, talvern::EngineReport::Status::ok);
  const std::string at_7150 = file(files::kCalculatedRIXS);
  for (const char* abnormal : {"999.9", "20000.1", ""}) {
    state.exc_energy = abnormal;
    talvern::CalculateRIXSSpectrum(ws, state);
    EXPECT_EQ(state.message,
              "CAUTION!!\r\nExcitation energy is abnormal.\r\nCalculation was temporarily done by "
              "using the energy of 7150\r\neV.  Please re-enter the excitation energy.\r\n");
    EXPECT_EQ(file(files::kCalculatedRIXS), at_7150) << abnormal;
    EXPECT_EQ(state.exc_energy, abnormal);
  }
}

// An XAFS normalised to its edge step can be below 0: a factor that brings
// 1 + kappa mu(Omega) to 0.1 or below is said, with kappa and mu, and the
// calculation still runs.
TEST_F(RIXSSimulation, AnAbsorptionCorrectionNearItsPoleIsSaid) {
  write_file(ws.file(files::kConvXAFSNormSpectrum), "7100\t-0.5\n7200\t1\n");
  write_file(ws.file(files::kSelectiveForRIXS), "7110\t1\t1\n7110.1\t1\t1\n7110.2\t2\t1\n");
  state.scale = "2e-09";
  state.exc_energy = "7100";  // mu(Omega) = -0.5
  for (const char* factor : {"1.7", "1", "-3"}) {
    state.abs_correction = factor;
    talvern::CalculateRIXSSpectrum(ws, state);
    EXPECT_EQ(state.message.find("1 + κ"), std::string::npos) << factor << state.message;
    EXPECT_NE(state.message.find("Calculated RIXS spectrum was shown."), std::string::npos);
  }
  state.abs_correction = "1.9";
  talvern::CalculateRIXSSpectrum(ws, state);
  EXPECT_TRUE(state.message.starts_with(
      "CAUTION!!\r\n1 + κ·μ(Ω) = 1 + 1.9 × -0.5 = 0.05\r\nis 0.1 or less"))
      << state.message;
  EXPECT_NE(state.message.find("Calculated RIXS spectrum was shown."), std::string::npos);
  EXPECT_TRUE(state.calculated);
}

TEST_F(RIXSSimulation, ComparisonReducesToCommonEnergiesOrChangesNothing) {
  // More calculated rows: the calculation keeps the measured energies.
  const double measured[] = {1, 10, 2.00005, 20, 7, 70};
  const double calculated[] = {0, 1, 1, 0, 1, 2, 2, 0, 2, 3, 3, 0, 3, 4, 4, 0};
  auto c = talvern::reduce_to_common(measured, 3, calculated, 4);
  EXPECT_EQ(c.matched, 2u);
  EXPECT_EQ(c.measured, std::vector<double>(measured, measured + 6));
  EXPECT_EQ(c.calculated, (std::vector<double>{1, 2, 2, 0, 2, 3, 3, 0}));
  // More measured rows: the measurement keeps the calculated energies.
  c = talvern::reduce_to_common(measured, 3, calculated, 2);
  EXPECT_EQ(c.matched, 1u);
  EXPECT_EQ(c.measured, (std::vector<double>{1, 10}));
  EXPECT_EQ(c.calculated, std::vector<double>(calculated, calculated + 8));

  // Nothing in common: refused, the measured spectrum stays stored.
  write_file(ws.file(files::kRIXSExp), "7020\t0\n7020.5\t1\n");
  write_file(ws.file(files::kCalculatedRIXS), "7030\t1\t1\t0\n");
  talvern::CompExpRIXS(ws, state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\nThe measured and the calculated RIXS share no"))
      << state.message;
  EXPECT_EQ(file(files::kRIXSExp), "7020\t0\n7020.5\t1\n");
  EXPECT_FALSE(state.experimental);

  // A calculated point above the measured maximum is not joined, nor the one after it.
  write_file(ws.file(files::kCalculatedRIXS),
             "7020\t0.5\t0.5\t0\n7020.5\t2\t2\t0\n7021\t0.5\t0.5\t0\n");
  state.calculated.emplace();
  talvern::CompExpRIXS(ws, state);
  EXPECT_TRUE(first_line_is("Experimental RIXS (red) and calculated RIXS (blue) were"))
      << state.message;
  EXPECT_EQ(file(files::kCalculatedRIXS), "7020\t0.5\t0.5\t0\n7020.5\t2\t2\t0\n");
  EXPECT_EQ(file(files::kExpMinMax), "7020\t7020.5\t0\t20000\n");
  ASSERT_TRUE(state.comparison && state.experimental);
  EXPECT_EQ(state.experimental->y[0], (std::vector<int>{-95, 85}));
  EXPECT_EQ(state.comparison->y[0], (std::vector<int>{-5, 265}));
  EXPECT_EQ(state.comparison->hidden, (std::vector<std::uint8_t>{0, 0}));
  write_file(ws.file(files::kCalculatedRIXS),
             "7020\t0.5\t0.5\t0\n7020.5\t2\t2\t0\n7021\t0.5\t0.5\t0\n");
  talvern::CompareRIXS(ws, state);
  EXPECT_EQ(state.comparison->hidden, (std::vector<std::uint8_t>{0, 0, 1}));

  // "Save RIXS": a cancel writes nothing, a file that cannot be written is said.
  talvern::SaveRIXS(ws, [](talvern::FileKind) { return std::optional<std::filesystem::path>(); },
                    state);
  EXPECT_TRUE(first_line_is("Experimental RIXS (red) and calculated RIXS (blue) were"));
  const auto folder = tmp.file("ws");  // a folder cannot be replaced by a file
  talvern::SaveRIXS(ws, [&](talvern::FileKind) { return std::optional(folder); }, state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\n" + folder.string())) << state.message;

  // Rows beyond the reduction's capacity are left out, and said so before
  // the comparison's own message.
  std::string measured_rows, calculated_rows;
  for (int k = 0; k <= 4000; ++k) {
    measured_rows += std::to_string(7000 + k) + "\t" + std::to_string(k % 7) + "\n";
    calculated_rows += std::to_string(7000 + k) + "\t1\t1\t0\n";
  }
  write_file(ws.file(files::kRIXSExp), measured_rows);
  write_file(ws.file(files::kCalculatedRIXS), calculated_rows);
  talvern::CompExpRIXS(ws, state);
  EXPECT_TRUE(state.message.starts_with("CAUTION!!\r\nRIXSEXP.DAT holds more than\r\n4000 rows"))
      << state.message;
  EXPECT_NE(state.message.find("\r\nExperimental RIXS (red) and calculated RIXS (blue) were"),
            std::string::npos);
  EXPECT_EQ(rows(files::kRIXSExp, 2).size(), 8000u);
}

}  // namespace
