#include "xafs/conv_xafs.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "app/main_form.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/parameters.h"
#include "workspace/number_text.h"
#include "workspace/row_io.h"
#include "xafs/edge_table.h"

namespace {

namespace files = talvern::files;
using talvern::ConvXAFSState;
using talvern::WorkSpace;
using talvern::test::read_file;
using talvern::test::TempDir;
using talvern::test::write_file;

struct XAFSSetting : ::testing::Test {
  TempDir tmp;
  WorkSpace ws{tmp.file("ws")};
  ConvXAFSState state;

  void SetUp() override {
    talvern::MainFormState form;
    talvern::construct_work_space(ws, form);
    write_file(ws.file(files::kSelectiveReadingOrg), "0\t0.5\t0.5\n0.1\t1\t1\n");
  }
  // A spectrum from `first` to `last` eV, 1 eV apart, whose absorption
  // rises linearly from 0.5 to `top`.
  void spectrum(double first, double last, double top) {
    std::string text;
    char line[64];
    const int n = static_cast<int>(last - first);
    for (int i = 0; i <= n; ++i) {
      std::snprintf(line, sizeof line, "%g\t%g\n", first + i, 0.5 + (top - 0.5) * i / n);
      text += line;
    }
    write_file(ws.file(files::kConventionalXAFS), text);
  }
  std::vector<double> row(const char* name, std::size_t k) {
    std::vector<double> v(k, -1.0);
    EXPECT_EQ(talvern::read_one_row(ws.file(name), v.data(), k), k) << name;
    return v;
  }
  talvern::CalcParameters parameters() {
    talvern::CalcParameters p;
    EXPECT_EQ(talvern::read_parameters(ws.file(files::kParameters), p), 7u);
    return p;
  }
  void select(const char* name) {
    for (std::size_t i = 0; i < state.edge_list.size(); ++i)
      if (state.edge_list[i] == name) state.selected_edge = static_cast<int>(i);
  }
};

TEST_F(XAFSSetting, LoadNormalisesToOneAndKeepsBothRanges) {
  spectrum(7100, 7300, 2.5);
  talvern::LoadXAFS(ws, state);
  EXPECT_EQ(row(files::kConvXAFSMinMaxOrg, 4), (std::vector<double>{7100, 7300, 0.5, 2.5}));
  EXPECT_EQ(row(files::kConvXAFSMinMax, 4), (std::vector<double>{7100, 7300, 0.2, 1}));
  const auto norm = talvern::read_rows(ws.file(files::kConvXAFSNormSpectrum), 2);
  ASSERT_EQ(norm.rows, 201u);
  EXPECT_EQ(norm.at(200, 1), 1.0);
  EXPECT_EQ(norm.at(0, 1), 0.2);
  ASSERT_TRUE(state.trace);
  EXPECT_EQ(state.trace->x.front(), -100);
  EXPECT_EQ(state.trace->x.back(), 100);
  EXPECT_EQ(state.trace->y[0].front(), -95);
  EXPECT_EQ(state.trace->y[0].back(), 85);
  EXPECT_TRUE(state.message.starts_with("Conventional XAFS data were introduced and \r\n"));
  ASSERT_EQ(state.edge_list.size(), talvern::edge_count() + 1u);
  EXPECT_EQ(state.edge_list[7], "Fe K-edge");
  EXPECT_EQ(state.edge_list[43], talvern::edge_at(43)->name);
  EXPECT_EQ(state.edge_list.back(), "Other...");
}

TEST_F(XAFSSetting, ClickSetsTheCoreEnergyUnderIt) {
  spectrum(7100, 7300, 1);
  talvern::LoadXAFS(ws, state);
  ASSERT_TRUE(talvern::CorrectCoreEnergyByClick(ws, state, {0, 10}));
  EXPECT_EQ(state.core_energy, "7200.");
  EXPECT_EQ(state.message, "The core energy was corrected to 7200.eV.\r\nPlease confirm the value.");
  EXPECT_EQ(state.marker, 0);
  const auto p = parameters();
  EXPECT_EQ(p.core_energy, 7200);
  EXPECT_EQ(p.gamma, 1.25);  // the other six as they were
  EXPECT_EQ(p.emission_step, 0.1);

  // A click in a zoomed view lies between whole units: the edge to 0.1 eV.
  ASSERT_TRUE(talvern::CorrectCoreEnergyByClick(ws, state, {-86.2, 3.5}));
  EXPECT_EQ(state.core_energy, "7113.8");
  EXPECT_DOUBLE_EQ(*state.marker, -86.2);
  EXPECT_EQ(parameters().core_energy, 7113.8);

  // The frame's outer edge and anything beyond do nothing.
  state = {};
  for (talvern::plot::ClickPoint off : {talvern::plot::ClickPoint{97, 0}, {-97, 0}, {0, 101},
                                        {96.5, 0}})
    EXPECT_FALSE(talvern::CorrectCoreEnergyByClick(ws, state, off));
  EXPECT_TRUE(state.message.empty());
  EXPECT_FALSE(state.marker);
}

TEST_F(XAFSSetting, ConfirmTakesTheEdgeOrTheTypedCoreEnergy) {
  spectrum(7050, 7300, 1);
  talvern::LoadXAFS(ws, state);
  select("Fe K-edge");
  talvern::ConfirmXAFSInfo(ws, state);
  auto p = parameters();
  EXPECT_EQ(p.gamma, 1.25);
  EXPECT_EQ(p.core_energy, 7114);
  EXPECT_EQ(read_file(ws.file(files::kEmissionExcEnergy)), "7214");
  EXPECT_EQ(state.core_energy, "7114.");
  EXPECT_TRUE(state.message.starts_with(
      "Absorption edge was set to Fe K-edge .\r\nThe core energy is 7114.eV,\r\nand "
      "lifetime-broadening is 1.25eV.\r\nIs it OK?\r\n"));

  state.core_energy = "7113.45";
  talvern::ConfirmXAFSInfo(ws, state);
  p = parameters();
  EXPECT_EQ(p.core_energy, 7113.45);
  EXPECT_EQ(p.gamma, 1.25);
  EXPECT_NE(state.message.find("The core energy is 7113.45eV,"), std::string::npos);
  EXPECT_EQ(state.core_energy, "7113.45");
  EXPECT_EQ(read_file(ws.file(files::kEmissionExcEnergy)), "7213.45");
}

TEST_F(XAFSSetting, SelectiveEnergiesBecomeAbsolute) {
  spectrum(7050, 7300, 1);
  talvern::LoadXAFS(ws, state);
  select("Fe K-edge");

  write_file(ws.file(files::kSelectiveReadingOrg), "3.1\t0.5\t0.4\n3.2\t1\t1\n3.3\t0.9\t0.8\n");
  talvern::ConfirmXAFSInfo(ws, state);
  auto sel = talvern::read_rows(ws.file(files::kSelectiveReading), 3);
  ASSERT_EQ(sel.rows, 3u);
  EXPECT_EQ(sel.at(0, 0), 7117.1);
  EXPECT_EQ(sel.at(1, 0), 7117.2);
  EXPECT_EQ(sel.at(2, 2), 0.8);

  write_file(ws.file(files::kSelectiveReadingOrg), "7113.9\t0.5\t0.4\n7114\t1\t1\n");
  talvern::ConfirmXAFSInfo(ws, state);
  sel = talvern::read_rows(ws.file(files::kSelectiveReading), 3);
  ASSERT_EQ(sel.rows, 2u);
  EXPECT_EQ(sel.at(0, 0), 7113.9);
  EXPECT_EQ(sel.at(1, 0), 7114);

  // One row gives no second energy to decide by: the file is left alone.
  write_file(ws.file(files::kSelectiveReadingOrg), "3.1\t0.5\t0.4\n");
  talvern::ConfirmXAFSInfo(ws, state);
  EXPECT_TRUE(state.message.starts_with("CAUTION!!\r\n"));
  EXPECT_EQ(talvern::read_rows(ws.file(files::kSelectiveReading), 3).rows, 2u);
  EXPECT_EQ(parameters().core_energy, 7114);  // the edge is still confirmed
}

TEST_F(XAFSSetting, TheListIsFilledOnceAndEveryEntryIsAnEdge) {
  spectrum(7050, 7300, 1);
  talvern::LoadXAFS(ws, state);
  const std::vector<std::string> first = state.edge_list;
  select("Fe K-edge");
  talvern::ConfirmXAFSInfo(ws, state);
  talvern::ClearXAFS(state);
  EXPECT_FALSE(state.trace);
  EXPECT_EQ(state.core_energy, "7114.");
  talvern::LoadXAFS(ws, state);
  EXPECT_EQ(state.edge_list, first);

  // An edge of xraylib, after the table: its own energy and width.
  select("Pt L3-edge");
  ASSERT_GE(state.selected_edge, talvern::kTableEdgeCount);
  const talvern::Edge pt = *talvern::edge_at(state.selected_edge);
  state.core_energy.clear();
  talvern::ConfirmXAFSInfo(ws, state);
  auto p = parameters();
  EXPECT_EQ(p.gamma, pt.lifetime);
  EXPECT_EQ(p.core_energy, pt.core_energy);
  EXPECT_TRUE(state.message.starts_with("Absorption edge was set to Pt L3-edge .\r\n"));
  // "Clear XAFS" gives a box with text that edge's energy, as a table's.
  state.core_energy = "1";
  talvern::ClearXAFS(state);
  EXPECT_EQ(talvern::parse_edit(state.core_energy), pt.core_energy);
}

TEST_F(XAFSSetting, OtherTakesAnEdgeOfOnesOwnWithinTheCalculationsRange) {
  spectrum(7050, 7300, 1);
  talvern::LoadXAFS(ws, state);
  select("Other...");
  ASSERT_EQ(state.selected_edge, talvern::other_edge_position());
  state.own_energy = "8000.5";
  state.own_width = "2.75";
  talvern::ConfirmXAFSInfo(ws, state);
  auto p = parameters();
  EXPECT_EQ(p.core_energy, 8000.5);
  EXPECT_EQ(p.gamma, 2.75);
  EXPECT_EQ(read_file(ws.file(files::kEmissionExcEnergy)), "8100.5");
  EXPECT_EQ(state.core_energy, "8000.5");

  // Anything a calculation does not take is refused before a file changes.
  const std::string selective = read_file(ws.file(files::kSelectiveReading));
  state.core_energy.clear();
  for (auto [energy, width] : {std::pair{"999", "1"}, {"20001", "1"}, {"abc", "1"}, {"", "1"},
                               {"8000", "0"}, {"8000", "-1"}, {"8000", ""}, {"8000", "1e999"}}) {
    state.own_energy = energy;
    state.own_width = width;
    talvern::ConfirmXAFSInfo(ws, state);
    EXPECT_TRUE(state.message.starts_with("ERROR!!\r\n\"Other...\" needs an edge energy"))
        << energy << " " << width;
  }
  p = parameters();
  EXPECT_EQ(p.core_energy, 8000.5);
  EXPECT_EQ(p.gamma, 2.75);
  EXPECT_EQ(read_file(ws.file(files::kEmissionExcEnergy)), "8100.5");
  EXPECT_EQ(read_file(ws.file(files::kSelectiveReading)), selective);
  EXPECT_TRUE(state.core_energy.empty());
}

TEST_F(XAFSSetting, EdgeFromDataProposesTheSteepestRiseForConfirmation) {
  // A step of 2.5 over 7050 ... 7250 eV in 0.5 eV steps, inflection at 7112.25 eV.
  std::string text;
  char line[64];
  for (int i = 0; i <= 400; ++i) {
    const double e = 7050 + 0.5 * i;
    std::snprintf(line, sizeof line, "%.1f\t%.6f\n", e, 0.1 + 2.4 / (1 + std::exp(-(e - 7112.25))));
    text += line;
  }
  write_file(ws.file(files::kConventionalXAFS), text);

  // Before any load there is no normalised spectrum: nothing changes.
  state.core_energy = "7000";
  talvern::EdgeFromData(ws, state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\nNo normalized XAFS")) << state.message;
  EXPECT_EQ(state.core_energy, "7000");
  EXPECT_FALSE(state.marker);

  talvern::LoadXAFS(ws, state);
  select("Fe K-edge");
  const std::string params = read_file(ws.file(files::kParameters));
  talvern::EdgeFromData(ws, state);
  EXPECT_EQ(state.core_energy, "7112.25");
  EXPECT_EQ(state.message,
            "The steepest rise of the spectrum is at 7112.25 eV.\r\nIt was put into \"Core Energy "
            "(eV)\". Confirm it\r\nwith \"Confirm XAFS INFO\", or change it first.");
  EXPECT_EQ(state.marker, -37.75);  // 7112.25 eV on 7050 ... 7250 eV, not cut to a whole unit
  EXPECT_EQ(read_file(ws.file(files::kParameters)), params);  // the user has not confirmed yet

  // Confirming takes the proposal as a typed core energy.
  talvern::ConfirmXAFSInfo(ws, state);
  EXPECT_EQ(parameters().core_energy, 7112.25);
  EXPECT_EQ(parameters().gamma, 1.25);

  // An even rise offers no edge: the box and the marker stay as they were.
  spectrum(7100, 7300, 2);
  talvern::LoadXAFS(ws, state);
  state.marker.reset();
  talvern::EdgeFromData(ws, state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\n")) << state.message;
  EXPECT_EQ(state.core_energy, "7112.25");
  EXPECT_FALSE(state.marker);
}

TEST_F(XAFSSetting, MissingInputsWriteNothingUndefined) {
  // Click before any load: the range is not known.
  const std::string params = read_file(ws.file(files::kParameters));
  EXPECT_TRUE(talvern::CorrectCoreEnergyByClick(ws, state, {0, 0}));
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\n"));
  EXPECT_EQ(read_file(ws.file(files::kParameters)), params);

  // No absorption above 0: nothing is normalised, nothing written, no edges.
  write_file(ws.file(files::kConventionalXAFS), "7100\t0\n7101\t-1\n");
  talvern::LoadXAFS(ws, state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\n"));
  EXPECT_FALSE(ws.exists(files::kConvXAFSMinMax));
  EXPECT_FALSE(ws.exists(files::kConvXAFSNormSpectrum));
  EXPECT_TRUE(state.edge_list.empty());

  // Text in the spectrum: the rows before it are used, and the user is told.
  write_file(ws.file(files::kConventionalXAFS), "7100\t1\n7101\t2\n7102 abc\n7103\t3\n");
  talvern::LoadXAFS(ws, state);
  EXPECT_TRUE(state.message.starts_with(
      "CAUTION!!\r\nConventional_XAFS.DAT holds text that is\r\nnot a number at line 3"));
  EXPECT_EQ(talvern::read_rows(ws.file(files::kConvXAFSNormSpectrum), 2).rows, 2u);
  state.edge_list.clear();

  // A single energy is normalised and stored but cannot be drawn.
  write_file(ws.file(files::kConventionalXAFS), "7100\t2\n");
  talvern::LoadXAFS(ws, state);
  EXPECT_TRUE(state.message.starts_with("CAUTION!!\r\n"));
  EXPECT_FALSE(state.trace);
  EXPECT_EQ(row(files::kConvXAFSMinMax, 4), (std::vector<double>{7100, 7100, 1, 1}));
  EXPECT_EQ(state.edge_list.size(), talvern::edge_count() + 1u);
}

}  // namespace
