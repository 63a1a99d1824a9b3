#include "app/load_measured.h"

#include <gtest/gtest.h>

#include <string>

#include "plot/panel.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/row_io.h"

namespace {

namespace files = talvern::files;
using talvern::FileKind;
using talvern::MainFormState;
using talvern::WorkSpace;
using talvern::test::read_file;
using talvern::test::TempDir;
using talvern::test::write_file;

// A work-space in a scratch directory and a user file beside it.
struct LoadFixture : ::testing::Test {
  TempDir tmp;
  WorkSpace ws{tmp.file("ws")};
  MainFormState form{"before"};

  void SetUp() override { std::filesystem::create_directory(ws.dir()); }

  // The file dialog answered with a user file holding `text`.
  talvern::FileChooser user_file(const std::string& text) {
    write_file(tmp.file("user.DAT"), text);
    return [path = tmp.file("user.DAT")](FileKind kind) {
      EXPECT_EQ(kind, FileKind::data);
      return std::optional(path);
    };
  }
  std::string ws_file(const char* name) const { return read_file(ws.file(name)); }
};

using LoadExpRIXS = LoadFixture;
using LoadConventionalXAFS = LoadFixture;
using LoadXRF = LoadFixture;
using LoadAny = LoadFixture;

TEST_F(LoadExpRIXS, WritesRangeAndPairs) {
  EXPECT_FALSE(talvern::LoadExpRIXS(ws, user_file("7050 0.1\n7040.5 0.3\n"), form));
  // Intensity range in units of 20000 x intensity.
  EXPECT_EQ(ws_file(files::kExpMinMax), "7040.5\t7050\t2000\t6000\n");
  EXPECT_EQ(ws_file(files::kRIXSExp), "7050\t0.1\n7040.5\t0.3\n");
  EXPECT_EQ(form.message, "Experimental RIXS data were introduced into \r\nC:\\TALVERN_WORK_SPACE.");
}

// A file without a pair empties the stored spectrum and says so; the range
// it leaves (minimum above maximum) is never drawn as a range.
TEST_F(LoadAny, FileWithoutPairsEmptiesTheSpectrumWithACaution) {
  const std::string no_numbers =
      "\r\nCAUTION!! The file holds no numbers, so the stored spectrum is now empty.";
  EXPECT_FALSE(talvern::LoadExpRIXS(ws, user_file(""), form));
  EXPECT_EQ(ws_file(files::kExpMinMax), "1e+08\t0\t1e+08\t0\n");
  EXPECT_EQ(ws_file(files::kRIXSExp), "");
  EXPECT_TRUE(form.message.starts_with("Experimental RIXS data were introduced into \r\n"));
  EXPECT_TRUE(form.message.ends_with(no_numbers)) << form.message;
  double r[4];
  ASSERT_EQ(talvern::read_one_row(ws.file(files::kExpMinMax), r, 4), 4u);
  const double pair[2] = {7000, 1};
  EXPECT_FALSE(talvern::plot::mapped_trace(pair, 1, 2, 1, {r[0], r[1], r[2], r[3]},
                                           talvern::plot::kComparisonMapping));
  EXPECT_FALSE(talvern::plot::standard_trace(pair, 0, 2, 1, {r[0], r[1], r[2], r[3]}));

  write_file(ws.file(files::kConventionalXAFS), "7000\t1\n");
  talvern::LoadConventionalXAFS(ws, user_file("7000 1"), form);  // no line break: no pair
  EXPECT_EQ(ws_file(files::kConventionalXAFS), "");
  EXPECT_TRUE(form.message.ends_with(no_numbers)) << form.message;
  talvern::LoadConventionalXAFS(ws, user_file("7000 1\n"), form);
  EXPECT_EQ(form.message.find("CAUTION!!"), std::string::npos) << form.message;
}

TEST_F(LoadExpRIXS, IntensityTooLargeToScaleWritesNothing) {
  talvern::LoadExpRIXS(ws, user_file("7000 1e305\n"), form);
  EXPECT_TRUE(form.message.starts_with("ERROR!!")) << form.message;
  EXPECT_FALSE(ws.exists(files::kExpMinMax));
  EXPECT_FALSE(ws.exists(files::kRIXSExp));
}

TEST_F(LoadConventionalXAFS, CopiesPairsAndLosesAnUnterminatedLastPair) {
  EXPECT_FALSE(talvern::LoadConventionalXAFS(ws, user_file("7100 +0.5\n7101\t0.75\n7102 1"), form));
  EXPECT_EQ(ws_file(files::kConventionalXAFS), "7100\t0.5\n7101\t0.75\n");
  // The lost pair is said after the message.
  EXPECT_EQ(form.message,
            "Conventional XAFS data were introduced into \r\nC:\\TALVERN_WORK_SPACE.\r\nCAUTION!! The "
            "last line of the file has no line break; its values were not read.");

  EXPECT_FALSE(talvern::LoadConventionalXAFS(ws, user_file(""), form));
  EXPECT_EQ(ws_file(files::kConventionalXAFS), "");
}

TEST_F(LoadXRF, DividesByTheHighestIntensity) {
  EXPECT_FALSE(talvern::LoadXRF(ws, user_file("7020 2\n7020.25 4\n7020.5 1\n"), form));
  EXPECT_EQ(ws_file(files::kExpNonResonantEmission), "7020\t0.5\n7020.25\t1\n7020.5\t0.25\n");
  EXPECT_EQ(form.message, "XRF data were introduced into \r\nC:\\TALVERN_WORK_SPACE.");
}

TEST_F(LoadXRF, NoPositiveIntensityIsRefused) {
  write_file(ws.file(files::kExpNonResonantEmission), "7000\t1\n");
  for (const char* text : {"7020 0\n7021 -3\n", ""}) {
    form.message.clear();
    talvern::LoadXRF(ws, user_file(text), form);
    EXPECT_TRUE(form.message.starts_with("ERROR!!")) << text;
    EXPECT_EQ(ws_file(files::kExpNonResonantEmission), "7000\t1\n");
  }
}

TEST_F(LoadAny, CancelChangesNothing) {
  auto cancel = [](FileKind) { return std::optional<std::filesystem::path>(); };
  EXPECT_FALSE(talvern::LoadExpRIXS(ws, cancel, form));
  EXPECT_FALSE(talvern::LoadConventionalXAFS(ws, cancel, form));
  EXPECT_FALSE(talvern::LoadXRF(ws, cancel, form));
  EXPECT_EQ(form.message, "before");
  EXPECT_TRUE(std::filesystem::is_empty(ws.dir()));
}

TEST_F(LoadAny, FileThatCannotBeOpenedIsReportedWithTheReason) {
  const auto missing = tmp.file("missing.DAT");
  auto choose_missing = [&](FileKind) { return std::optional(missing); };
  auto choose_dir = [&](FileKind) { return std::optional(tmp.path()); };
  for (const auto& choose : {talvern::FileChooser(choose_missing), talvern::FileChooser(choose_dir)}) {
    auto failure = talvern::LoadXRF(ws, choose, form);
    ASSERT_TRUE(failure);
    EXPECT_FALSE(failure->reason.empty());
    EXPECT_NE(failure->text().find(failure->file.string()), std::string::npos);
  }
  EXPECT_EQ(talvern::LoadExpRIXS(ws, choose_missing, form)->reason, "No such file or directory");
  EXPECT_EQ(form.message, "before");
  EXPECT_TRUE(std::filesystem::is_empty(ws.dir()));
}

TEST_F(LoadAny, TextInTheFileImportsNothingAndNamesTheLine) {
  write_file(ws.file(files::kConventionalXAFS), "1\t2\n");
  talvern::LoadConventionalXAFS(ws, user_file("7000 1\n7001 2\n# energy  mu\n7002 3\n"), form);
  EXPECT_TRUE(form.message.starts_with("ERROR!!\r\nLine 3 ")) << form.message;
  EXPECT_EQ(ws_file(files::kConventionalXAFS), "1\t2\n");

  talvern::LoadExpRIXS(ws, user_file("Energy Intensity\n7000 1\n"), form);
  EXPECT_TRUE(form.message.starts_with("ERROR!!\r\nLine 1 ")) << form.message;
  EXPECT_FALSE(ws.exists(files::kExpMinMax));
}

TEST_F(LoadAny, MoreThan5000PairsKeepsTheFirst5000WithACaution) {
  std::string text;
  for (int i = 0; i < 5003; ++i) text += std::to_string(7000 + i) + " " + std::to_string(i % 7 + 1) + "\n";
  talvern::LoadXRF(ws, user_file(text), form);
  EXPECT_TRUE(form.message.starts_with("CAUTION!!")) << form.message;
  EXPECT_NE(form.message.find("5000"), std::string::npos);
  EXPECT_NE(form.message.find("XRF data were introduced"), std::string::npos);
  const std::string written = ws_file(files::kExpNonResonantEmission);
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 5000);
  EXPECT_TRUE(written.ends_with("11999\t0.285714\n"));  // row 4999: intensity 2 of at most 7
}

TEST_F(LoadAny, SampleFilesLoad) {
  const std::filesystem::path examples = TALVERN_EXAMPLES_DIR;
  auto choose = [&](const char* name) {
    return [p = examples / name](FileKind) { return std::optional(p); };
  };
  EXPECT_FALSE(talvern::LoadExpRIXS(ws, choose("Fe_RIXS_Exc7115.6eV.DAT"), form));
  EXPECT_FALSE(form.message.starts_with("ERROR!!"));
  EXPECT_FALSE(talvern::LoadConventionalXAFS(ws, choose("Fe_Conventional_XAFS.DAT"), form));
  EXPECT_FALSE(talvern::LoadXRF(ws, choose("Fe_XRF_Kbeta.DAT"), form));
  EXPECT_EQ(form.message, "XRF data were introduced into \r\nC:\\TALVERN_WORK_SPACE.");
  const std::string xrf = ws_file(files::kExpNonResonantEmission);
  EXPECT_TRUE(xrf.starts_with("7020\t")) << xrf.substr(0, 40);
  EXPECT_NE(xrf.find("\t1\n"), std::string::npos);  // the maximum
}

}  // namespace
