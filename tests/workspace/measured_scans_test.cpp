#include "workspace/measured_scans.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "app/load_measured.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/row_io.h"

namespace {

namespace files = talvern::files;
using talvern::test::TempDir;
using talvern::test::write_file;

// An absorption edge at `edge` on the grid from..to by step, with noise
// of `noise` (a fixed sequence: the same on every run).
std::vector<double> scan(double from, double to, double step, double edge, double noise,
                         std::uint32_t seed) {
  std::vector<double> pairs;
  for (int k = 0; from + k * step <= to + 1e-9; ++k) {
    const double e = from + k * step;
    seed = seed * 1664525u + 1013904223u;
    const double r = static_cast<double>(seed >> 8) / 16777216.0 - 0.5;
    pairs.insert(pairs.end(), {e, 1.5 + std::atan((e - edge) / 1.2) + 2.0 * noise * r});
  }
  return pairs;
}

std::string as_text(const std::vector<double>& pairs) {
  std::string text;
  for (std::size_t i = 0; i < pairs.size(); i += 2)
    text += std::to_string(pairs[i]) + " " + std::to_string(pairs[i + 1]) + "\n";
  return text;
}

// Three scans of one edge, the second and third measured with the
// monochromator 0.6 eV low and 0.4 eV high, on other grids.
struct RepeatedScans : ::testing::Test {
  std::vector<std::vector<double>> scans{scan(6530, 6570, 0.2, 6550.0, 0.004, 1),
                                         scan(6531, 6571, 0.25, 6550.6, 0.004, 2),
                                         scan(6529, 6569, 0.4, 6549.6, 0.004, 3)};
};

TEST_F(RepeatedScans, AlignedOnTheSteepestRiseTheShiftsAreRecoveredAndTheSpreadIsTheNoise) {
  const auto aligned = talvern::merge_scans(scans, true);
  ASSERT_TRUE(aligned);
  ASSERT_EQ(aligned->shifts.size(), 3u);
  EXPECT_EQ(aligned->shifts[0], 0.0);
  EXPECT_NEAR(aligned->shifts[1], -0.6, 0.05);
  EXPECT_NEAR(aligned->shifts[2], 0.4, 0.05);
  // The common range, on the first scan's energies: about 6531 - 0.6 to 6569 + 0.4.
  ASSERT_EQ(aligned->table.size(), 3 * aligned->rows);
  ASSERT_GT(aligned->rows, 100u);
  const double lo = 6531 + aligned->shifts[1], hi = 6569 + aligned->shifts[2];
  EXPECT_GE(aligned->table[0], lo);
  EXPECT_LT(aligned->table[0] - 0.2, lo);
  EXPECT_LE(aligned->table[3 * aligned->rows - 3], hi);
  EXPECT_GT(aligned->table[3 * aligned->rows - 3] + 0.2, hi);
  for (std::size_t i = 1; i < aligned->rows; ++i)
    EXPECT_NEAR(aligned->table[3 * i] - aligned->table[3 * i - 3], 0.2, 1e-9);
  // Uniform noise of +-0.004 has a standard deviation of 0.0023; linear
  // interpolation smooths it a little.
  EXPECT_LT(aligned->mean_sd, 0.004);
  EXPECT_GT(aligned->mean_sd, 0.001);

  const auto plain = talvern::merge_scans(scans, false);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->shifts, std::vector<double>(3, 0.0));
  EXPECT_NEAR(plain->table[0], 6531.0, 1e-9);
  EXPECT_NEAR(plain->table[3 * plain->rows - 3], 6569.0, 1e-9);
  // Misaligned edges spread the scans by far more than their noise.
  EXPECT_GT(plain->mean_sd, 5 * aligned->mean_sd);
  // The mean at the first scan's edge: the other two lie on either side.
  for (std::size_t i = 0; i < plain->rows; ++i) {
    if (std::fabs(plain->table[3 * i] - 6550.0) < 1e-9) {
      EXPECT_NEAR(plain->table[3 * i + 1], 1.5, 0.1);
    }
  }

  // The spread is the sample standard deviation (over n - 1) of the scans
  // at each energy: 1, 2, 3 give 1, and 1, 3, 5 give 2.
  const auto three = talvern::merge_scans({{7000, 1, 7001, 1}, {7000, 2, 7001, 3}, {7000, 3, 7001, 5}},
                                          false);
  ASSERT_TRUE(three);
  EXPECT_EQ(three->table, (std::vector<double>{7000, 2, 1, 7001, 3, 2}));
  EXPECT_EQ(three->mean_sd, 1.5);

  // No energy in common, or a scan without a rise to align on.
  EXPECT_FALSE(talvern::merge_scans({scans[0], scan(6600, 6640, 0.2, 6620, 0, 4)}, false));
  std::vector<double> flat = scans[1];
  for (std::size_t i = 1; i < flat.size(); i += 2) flat[i] = 1.0;
  EXPECT_FALSE(talvern::merge_scans({scans[0], flat}, true));
  EXPECT_TRUE(talvern::merge_scans({scans[0], flat}, false));
}

TEST_F(RepeatedScans, ALoadTakesThemWithOneColumnChoiceAndKeepsMeanAndSpread) {
  TempDir tmp;
  const talvern::WorkSpace ws{tmp.file("ws")};
  std::filesystem::create_directory(ws.dir());
  std::vector<std::filesystem::path> paths;
  for (std::size_t s = 0; s < scans.size(); ++s) {
    // Energies in keV after a header, the intensity over an I0 of 2.
    std::string text = "# E mu I0\n";
    for (std::size_t i = 0; i < scans[s].size(); i += 2)
      text += std::to_string(scans[s][i] / 1000.0) + " " + std::to_string(2 * scans[s][i + 1]) + " 2\n";
    paths.push_back(tmp.file("scan" + std::to_string(s + 1) + ".dat"));
    write_file(paths.back(), text);
  }
  int asked = 0;
  talvern::UserFiles files;
  files.choose_several = [&](const talvern::FileRequest&) { return talvern::ChosenFiles{paths, true}; };
  files.import_columns = [&](const talvern::ColumnRequest&) {
    ++asked;
    std::string error;
    auto choice = talvern::parse_column_choice("1,2/3", error);
    choice->kev = true;
    return choice;
  };
  talvern::MainFormState form;
  talvern::LoadConventionalXAFS(ws, files, form);
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(form.message.starts_with("Conventional XAFS data were introduced")) << form.message;
  const auto shift_of = [&](const std::string& file) {
    const std::size_t at = form.message.find(file + " (shifted by ");
    return at == std::string::npos ? NAN : std::stod(form.message.substr(at + file.size() + 13));
  };
  EXPECT_NE(form.message.find("Merged 3 scans: scan1.dat, scan2.dat"), std::string::npos)
      << form.message;
  EXPECT_NEAR(shift_of("scan2.dat"), -0.6, 0.05) << form.message;
  EXPECT_NEAR(shift_of("scan3.dat"), 0.4, 0.05) << form.message;
  EXPECT_NE(form.message.find("mean standard deviation\r\nbetween scans 0.00"), std::string::npos)
      << form.message;

  const talvern::RowsRead merged = talvern::read_rows(ws.file(files::kMergedScans), 3);
  const talvern::RowsRead xafs = talvern::read_rows(ws.file(files::kConventionalXAFS), 2);
  ASSERT_GT(merged.rows, 100u);
  ASSERT_EQ(xafs.rows, merged.rows);
  for (std::size_t i = 0; i < merged.rows; ++i) {
    EXPECT_EQ(merged.at(i, 0), xafs.at(i, 0));
    EXPECT_EQ(merged.at(i, 1), xafs.at(i, 1));
    EXPECT_GE(merged.at(i, 2), 0.0);
  }

  // One file in keV read as eV: every energy below 100 eV is said.
  write_file(tmp.file("kev.dat"), as_text(scan(6.53, 6.57, 0.0002, 6.55, 0, 5)));
  files.choose_several = nullptr;
  files.choose = [&](const talvern::FileRequest&) { return std::optional(tmp.file("kev.dat")); };
  talvern::LoadXRF(ws, files, form);
  EXPECT_NE(form.message.find("CAUTION!! Every energy lies below 100 eV"), std::string::npos)
      << form.message;
  EXPECT_NE(form.message.find("(talvern-cli: --kev)"), std::string::npos);
  files.choose = [&](const talvern::FileRequest&) { return std::optional(paths[0]); };
  talvern::LoadXRF(ws, files, form);
  EXPECT_TRUE(form.message.starts_with("XRF data were introduced")) << form.message;
  EXPECT_EQ(form.message.find("below 100 eV"), std::string::npos) << form.message;
}

}  // namespace
