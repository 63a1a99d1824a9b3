#include "import/selective_import.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/row_io.h"

namespace {

namespace files = talvern::files;
using talvern::FileKind;
using talvern::WorkSpace;
using talvern::XAFSReadingState;
using talvern::test::read_file;
using talvern::test::TempDir;
using talvern::test::write_file;

// Rows "E I" from `first`, `count` rows `step` apart, intensity from `f`.
template <class F>
std::string pairs(double first, double step, int count, F f) {
  std::string text;
  char line[64];
  for (int i = 0; i < count; ++i) {
    const double e = first + step * i;
    std::snprintf(line, sizeof line, "%.4f %.6g\n", e, static_cast<double>(f(i)));
    text += line;
  }
  return text;
}

struct ImportFixture : ::testing::Test {
  TempDir tmp;
  WorkSpace ws{tmp.file("ws")};
  XAFSReadingState state = talvern::initial_xafs_reading_state();
  int chooser_calls = 0;

  void SetUp() override { std::filesystem::create_directory(ws.dir()); }

  talvern::FileChooser user_file(const std::string& text, const char* name = "user.xspec") {
    write_file(tmp.file(name), text);
    return [this, path = tmp.file(name)](FileKind kind) {
      EXPECT_EQ(kind, FileKind::selective_xafs);
      ++chooser_calls;
      return std::optional(path);
    };
  }
  talvern::RowsRead org() const { return talvern::read_rows(ws.file(files::kSelectiveReadingOrg), 3); }
};

using OneComponent = ImportFixture;
using TwoComponents = ImportFixture;
using GeneralData = ImportFixture;
using ImportAny = ImportFixture;

TEST_F(OneComponent, GridOfTheFileIsKeptAndDividedByTheMaximum) {
  auto choose = user_file("# ENERGY XAS Fe\n" + pairs(0, 0.1, 100, [](int i) { return i == 37 ? 4.0 : i % 4; }));
  EXPECT_FALSE(talvern::Load1CompoWIEN2k(ws, choose, state));
  EXPECT_EQ(state.message,
            "One-component selective XAFS data were introduced\r\ninto C:\\TALVERN_WORK_SPACE. "
            "Click OK, and go to \r\nthe next step.");
  const auto r = org();
  ASSERT_EQ(r.rows, 100u);
  for (std::size_t i = 0; i < r.rows; ++i) {
    const double expected = (i == 37 ? 4.0 : double(i % 4)) / 4.0;
    EXPECT_NEAR(r.at(i, 0), 0.1 * double(i), 1e-9);
    EXPECT_DOUBLE_EQ(r.at(i, 1), expected) << i;
    EXPECT_DOUBLE_EQ(r.at(i, 2), expected) << i;
  }
}

TEST_F(OneComponent, FinerAndCoarserGrids) {
  // Every 0.05 eV: the rows on multiples of 0.1 eV, 100 of 200.
  talvern::Load1CompoWIEN2k(ws, user_file("a b c d\n" + pairs(0, 0.05, 200, [](int i) { return i + 1; })), state);
  auto r = org();
  ASSERT_EQ(r.rows, 100u);
  EXPECT_NEAR(r.at(99, 0), 9.9, 1e-9);
  EXPECT_DOUBLE_EQ(r.at(99, 1), 199.0 / 200.0);

  // Every 0.2 eV: the grid has 50 points and ends at 4.9 eV, so 25 rows.
  talvern::Load1CompoWIEN2k(ws, user_file("a b c d\n" + pairs(0, 0.2, 50, [](int) { return 1; })), state);
  r = org();
  ASSERT_EQ(r.rows, 25u);
  EXPECT_NEAR(r.at(24, 0), 4.8, 1e-9);
}

TEST_F(OneComponent, HeaderOfOtherThanFourWordsReadsOutOfStep) {
  // Three header words: the first energy is taken as the fourth word.
  talvern::Load1CompoWIEN2k(ws, user_file("# ENERGY XAS\n0 1\n0.1 2\n0.2 3\n"), state);
  EXPECT_TRUE(state.message.starts_with("One-component")) << state.message;
  // Pairs (1, 0.1) and (2, 0.2): only energy 1 lies on the grid from 1 eV.
  EXPECT_EQ(read_file(ws.file(files::kSelectiveReadingOrg)), "1\t0.5\t0.5\n");

  // Five header words: the fifth is read as a number and is not one.
  write_file(ws.file(files::kSelectiveReadingOrg), "kept\n");
  talvern::Load1CompoWIEN2k(ws, user_file("# ENERGY XAS Fe K\n0 1\n0.1 2\n"), state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\nLine 1 ")) << state.message;
  EXPECT_EQ(read_file(ws.file(files::kSelectiveReadingOrg)), "kept\n");
}

TEST_F(OneComponent, NoPositiveIntensityIsRefused) {
  write_file(ws.file(files::kSelectiveReadingOrg), "kept\n");
  for (const char* text : {"a b c d\n0 0\n0.1 -1\n", "a b c d\n"}) {
    talvern::Load1CompoWIEN2k(ws, user_file(text), state);
    EXPECT_TRUE(state.message.starts_with("ERROR!!")) << text;
  }
  EXPECT_EQ(read_file(ws.file(files::kSelectiveReadingOrg)), "kept\n");
}

TEST(Resampling, FirstRowNearAGridPointWinsAndItsOwnEnergyIsWritten) {
  using talvern::ImportRow;
  const std::vector<ImportRow> rows = {
      {10.0, 1, 2}, {10.0015, 5, 5}, {10.0999, 3, 4}, {10.25, 9, 9}, {10.2, 6, 8}};
  const auto grid = talvern::resample_on_grid(rows, rows.size(), 2.0, 4.0);
  ASSERT_EQ(grid.size(), 3u);  // 10.0, 10.1, 10.2; 10.3 and 10.4 hit nothing
  EXPECT_DOUBLE_EQ(grid[0].a, 0.5);
  EXPECT_DOUBLE_EQ(grid[1].e, 10.0999);
  EXPECT_DOUBLE_EQ(grid[1].b, 1.0);
  EXPECT_DOUBLE_EQ(grid[2].e, 10.2);
  // The search limit leaves the last row out.
  EXPECT_EQ(talvern::resample_on_grid(rows, rows.size() - 1, 1, 1).size(), 2u);
}

TEST_F(TwoComponents, SecondBeforeFirstIsAnErrorWithoutAFileDialog) {
  auto choose = user_file("a b c d\n0 1\n");
  EXPECT_FALSE(talvern::LoadTwoCompoSecond(ws, choose, state));
  EXPECT_EQ(state.message, "ERROR!!\r\nYou should introduce the first component.");
  EXPECT_EQ(chooser_calls, 0);
}

TEST_F(TwoComponents, PartlyOverlappingEnergiesKeepTheCommonOnes) {
  // Component 1 from 0.0 to 4.9 eV, component 2 from 3.0 to 7.9 eV.
  EXPECT_FALSE(talvern::LoadTwoCompoFirst(
      ws, user_file("# E XAS up\n" + pairs(0, 0.1, 50, [](int i) { return i + 1; }), "a.xspecup"),
      state));
  EXPECT_EQ(state.message,
            "The first data of two-component selective XAFS were\r\nintroduced into "
            "C:\\TALVERN_WORK_SPACE.\r\nIntroduce the second data.");
  EXPECT_TRUE(read_file(ws.file(files::kSelectiveReadingOrg21)).starts_with("0\t1\n0.1\t2\n"));

  EXPECT_FALSE(talvern::LoadTwoCompoSecond(
      ws, user_file("# E XAS dn\n" + pairs(3, 0.1, 50, [](int i) { return 100 - i; }), "a.xspecdn"),
      state));
  EXPECT_EQ(state.message,
            "The second data of selective XAFS were introduced \r\ninto "
            "C:\\TALVERN_WORK_SPACE.  Click OK, and go to \r\nthe next step.");
  const std::string tmp_text = read_file(ws.file(files::kSelectiveReadingOrgTmp));
  EXPECT_TRUE(tmp_text.starts_with("3\t31\t100\n3.1\t32\t99\n")) << tmp_text.substr(0, 40);

  // Common energies 3.0 .. 4.9: component 1 is 31 .. 50, component 2 100 .. 81.
  const auto r = org();
  ASSERT_EQ(r.rows, 20u);
  EXPECT_DOUBLE_EQ(r.at(0, 0), 3.0);
  EXPECT_DOUBLE_EQ(r.at(0, 1), 31.0 / 50.0);
  EXPECT_DOUBLE_EQ(r.at(0, 2), 1.0);
  EXPECT_DOUBLE_EQ(r.at(19, 1), 1.0);
  EXPECT_DOUBLE_EQ(r.at(19, 2), 81.0 / 100.0);

  // The first component stays: (2/2) again with another second file.
  EXPECT_FALSE(talvern::LoadTwoCompoSecond(
      ws, user_file("# E XAS dn\n" + pairs(4, 0.1, 5, [](int) { return 2; }), "b.xspecdn"), state));
  EXPECT_EQ(org().rows, 5u);
}

TEST_F(TwoComponents, PartnerRules) {
  // Two rows of component 1 at 1.0 eV: the later one is the partner. A
  // partner whose intensity is exactly -10000 counts as none.
  write_file(ws.file(files::kSelectiveReadingOrg21), "1\t3\n1.00005\t6\n1.1\t-10000\n1.2\t2\n");
  talvern::LoadTwoCompoSecond(ws, user_file("a b c d\n1 1\n1.1 1\n1.2 1\n"), state);
  EXPECT_EQ(read_file(ws.file(files::kSelectiveReadingOrgTmp)), "1\t6\t1\n1.2\t2\t1\n");
}

TEST_F(TwoComponents, NoCommonEnergyWritesNothing) {
  write_file(ws.file(files::kSelectiveReadingOrg21), "1\t3\n1.1\t4\n");
  talvern::LoadTwoCompoSecond(ws, user_file("a b c d\n5 1\n5.1 1\n"), state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!")) << state.message;
  EXPECT_FALSE(ws.exists(files::kSelectiveReadingOrgTmp));
  EXPECT_FALSE(ws.exists(files::kSelectiveReadingOrg));
}

TEST_F(GeneralData, LastRowIsNeverWritten) {
  EXPECT_FALSE(talvern::LoadGeneral(ws, user_file("7000 1 2\n7000.1 2 4\n7000.2 4 1\n"), state));
  EXPECT_EQ(state.message,
            "Selective XAFS data (general form) were successfully \r\nintroduced into "
            "C:\\TALVERN_WORK_SPACES.\r\nClick OK, and go to the next step.");
  // The maxima still come from all three rows.
  EXPECT_EQ(read_file(ws.file(files::kSelectiveReadingOrg)), "7000\t0.25\t0.5\n7000.1\t0.5\t1\n");
}

TEST_F(ImportAny, CancelMissingFileAndTextChangeNothing) {
  auto cancel = [](FileKind) { return std::optional<std::filesystem::path>(); };
  EXPECT_FALSE(talvern::Load1CompoWIEN2k(ws, cancel, state));
  EXPECT_FALSE(talvern::LoadTwoCompoFirst(ws, cancel, state));
  EXPECT_FALSE(talvern::LoadGeneral(ws, cancel, state));
  EXPECT_EQ(state.message, talvern::initial_xafs_reading_state().message);

  auto missing = [&](FileKind) { return std::optional(tmp.file("none.xspec")); };
  EXPECT_TRUE(talvern::Load1CompoWIEN2k(ws, missing, state));
  EXPECT_TRUE(talvern::LoadGeneral(ws, missing, state));
  EXPECT_EQ(state.message, talvern::initial_xafs_reading_state().message);

  talvern::LoadGeneral(ws, user_file("7000 1 1\n7000.1 1 n/a\n"), state);
  EXPECT_TRUE(state.message.starts_with("ERROR!!\r\nLine 2 ")) << state.message;
  EXPECT_TRUE(std::filesystem::is_empty(ws.dir()));
}

TEST_F(ImportAny, MoreThan5000RowsAreCutWithACaution) {
  std::string text = "a b c d\n" + pairs(0, 0.1, 5001, [](int i) { return 1 + i % 3; });
  talvern::Load1CompoWIEN2k(ws, user_file(text), state);
  EXPECT_TRUE(state.message.starts_with("CAUTION!!")) << state.message;
  EXPECT_NE(state.message.find("One-component selective XAFS data were introduced"), std::string::npos);
  EXPECT_EQ(org().rows, 5000u);
}

TEST_F(ImportAny, SampleFilesImport) {
  const std::filesystem::path examples = TALVERN_EXAMPLES_DIR;
  auto choose = [&](const char* name) {
    return [p = examples / name](FileKind) { return std::optional(p); };
  };
  talvern::Load1CompoWIEN2k(ws, choose("Fe_1compo_WIEN2k.DAT"), state);
  EXPECT_EQ(org().rows, 501u);
  talvern::LoadTwoCompoFirst(ws, choose("Fe_2compo_up_WIEN2k.DAT"), state);
  talvern::LoadTwoCompoSecond(ws, choose("Fe_2compo_dn_WIEN2k.DAT"), state);
  EXPECT_EQ(org().rows, 431u);  // -3.0 .. 40.0 eV in common
  talvern::LoadGeneral(ws, choose("Fe_general_XY1Y2.DAT"), state);
  EXPECT_EQ(org().rows, 450u);
  EXPECT_FALSE(state.message.starts_with("ERROR!!"));
}

}  // namespace
