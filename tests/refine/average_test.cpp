// "Average" on a scratch work-space: the cut windows at both ends of the
// spectrum, the bracketing of the energy range, the rows it leaves alone,
// the refusals and the opening state.

#include "refine/average.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/row_io.h"

namespace {

namespace files = talvern::files;
using talvern::AverageState;
using talvern::test::read_file;
using talvern::test::write_file;

constexpr const char* kCheckInput = "ERROR!!\r\nPlease check the input values.";
enum Item { kNone = -1, k5 = 0, k9 = 1, k15 = 2 };

struct Averaging : ::testing::Test {
  talvern::test::TempDir tmp;
  talvern::WorkSpace ws{tmp.path()};
  AverageState state;

  // The working copy (E, Y1, Y2 per row) and a range file of its energies.
  void working_copy(const std::vector<double>& rows) {
    const std::size_t n = rows.size() / 3;
    ASSERT_EQ(talvern::write_rows(ws.file(files::kSelectiveForRIXSTemp), rows.data(), n, 3),
              talvern::WriteStatus::ok);
    range(rows[0], rows[3 * (n - 1)]);
  }
  void range(double lo, double hi) {
    write_file(ws.file(files::kXAFSMinMax),
               std::to_string(lo) + "\t" + std::to_string(hi) + "\t0\t10000\n");
  }
  std::string file(const char* name) { return read_file(ws.file(name)); }
  std::vector<double> result() {
    const auto r = talvern::read_rows(ws.file(files::kSelectiveForRIXSTemp), 3);
    return {r.values.begin(), r.values.begin() + static_cast<long>(3 * r.rows)};
  }
  void run(const char* start, const char* end, int item,
           const talvern::AverageProgress& progress = {}) {
    state.start_energy = start;
    state.end_energy = end;
    state.points = item;
    talvern::Average(ws, state, progress);
  }
};

// Rows at 7000, 7001, ... eV with the two given columns.
std::vector<double> grid(const std::vector<double>& y1, const std::vector<double>& y2) {
  std::vector<double> rows;
  for (std::size_t j = 0; j < y1.size(); ++j) rows.insert(rows.end(), {7000.0 + j, y1[j], y2[j]});
  return rows;
}

// Every window smoothing a single spike, at each position of a spectrum that
// has a full window only in its middle: the spike spreads with the weights
// of the window, each point divided by the divisor its cut window has.
TEST_F(Averaging, CutWindowsUseTheirDivisorsAtBothEnds) {
  struct Window {
    Item item;
    int h;
    std::vector<int> divisors;  // from the outermost point inwards; the last one is the full sum
  };
  const Window windows[] = {{k5, 2, {6, 8, 9}},
                            {k9, 4, {15, 19, 22, 24, 25}},
                            {k15, 7, {36, 43, 49, 54, 58, 61, 63, 64}}};
  for (const Window& w : windows) {
    const int n = 2 * w.h + 3;
    const auto weight = [&](int d) { return std::max(0, w.h + 1 - std::abs(d)); };
    const auto divisor = [&](int i) { return w.divisors[std::min({i, n - 1 - i, w.h})]; };
    for (int p = 0; p < n; ++p) {
      // A spike at p in component 1, one of height 2 at the mirrored point in component 2.
      std::vector<double> y1(n, 0.0), y2(n, 0.0);
      y1[p] = 1;
      y2[n - 1 - p] = 2;
      working_copy(grid(y1, y2));
      run("7000", std::to_string(7000 + n - 1).c_str(), w.item);
      ASSERT_EQ(state.message.substr(state.message.rfind("i=")),
                "i=0 to " + std::to_string(n - 1) + ".");
      const std::vector<double> z = result();
      for (int i = 0; i < n; ++i) {
        SCOPED_TRACE("window " + std::to_string(2 * w.h + 1) + ", spike at " +
                     std::to_string(p) + ", point " + std::to_string(i));
        EXPECT_EQ(z[3 * i], 7000.0 + i);
        EXPECT_NEAR(z[3 * i + 1], double(weight(i - p)) / divisor(i), 1e-6);
        EXPECT_NEAR(z[3 * i + 2], 2.0 * weight(i - (n - 1 - p)) / divisor(i), 1e-6);
      }
    }
  }
}

// A range between grid points runs from the row below the start to the row
// above the end; the rows outside keep their text, and the smoothed rows near
// the edges take the unsmoothed rows outside as neighbours.
TEST_F(Averaging, RangeBetweenGridPointsIsBracketedByTheRowsAroundIt) {
  std::vector<double> y1, y2;
  for (int j = 0; j < 20; ++j) {
    y1.push_back((j * j) % 7 + j);
    y2.push_back(10 - 0.5 * j);
  }
  const std::vector<double> rows = grid(y1, y2);
  working_copy(rows);
  const std::string before = file(files::kSelectiveForRIXSTemp);
  std::vector<std::array<std::size_t, 3>> calls;
  run("7003.40", "7010.2", k9, [&](std::size_t i, std::size_t first, std::size_t last) {
    calls.push_back({i, first, last});
  });

  EXPECT_EQ(state.message,
            "From 7003.40 eV to 7010.2 eV,9 points\r\naveraging was successfully done.\r\n"
            "The matrix was employed from i=3 to 11.");
  ASSERT_EQ(calls.size(), 9u);
  for (std::size_t k = 0; k < calls.size(); ++k)
    EXPECT_EQ(calls[k], (std::array<std::size_t, 3>{3 + k, 3, 11}));

  const std::string after = file(files::kSelectiveForRIXSTemp);
  const auto line_start = [](const std::string& text, int line) {
    std::size_t pos = 0;
    for (int k = 0; k < line; ++k) pos = text.find('\n', pos) + 1;
    return pos;
  };
  EXPECT_EQ(after.substr(0, line_start(after, 3)), before.substr(0, line_start(before, 3)));
  EXPECT_EQ(after.substr(line_start(after, 12)), before.substr(line_start(before, 12)));

  const double weights[] = {5, 4, 3, 2, 1};
  const std::vector<double> z = result();
  ASSERT_EQ(z.size(), rows.size());
  for (int i = 3; i <= 11; ++i) {
    double s1 = 0, s2 = 0, sw = 0;
    for (int j = std::max(0, i - 4); j <= i + 4; ++j) {
      s1 += weights[std::abs(j - i)] * y1[j];
      s2 += weights[std::abs(j - i)] * y2[j];
      sw += weights[std::abs(j - i)];
    }
    EXPECT_EQ(z[3 * i], rows[3 * i]);
    EXPECT_NEAR(z[3 * i + 1], s1 / sw, 1e-5) << "point " << i;
    EXPECT_NEAR(z[3 * i + 2], s2 / sw, 1e-5) << "point " << i;
  }
}

TEST_F(Averaging, EqualStartAndEndFailOnAGridPointAndSmoothTwoPointsBetween) {
  std::vector<double> y(12);
  for (int j = 0; j < 12; ++j) y[j] = j % 3;
  working_copy(grid(y, y));
  const std::string before = file(files::kSelectiveForRIXSTemp);
  run("7005", "7005.", k5);
  EXPECT_EQ(state.message, kCheckInput);
  EXPECT_EQ(file(files::kSelectiveForRIXSTemp), before);

  run("7005.5", "7005.5", k5);
  EXPECT_EQ(state.message,
            "From 7005.5 eV to 7005.5 eV,5 points\r\naveraging was successfully done.\r\n"
            "The matrix was employed from i=5 to 6.");
  const std::vector<double> z = result();
  for (int i = 0; i < 12; ++i) {
    if (i == 5 || i == 6) continue;
    EXPECT_EQ(z[3 * i + 1], y[i]) << i;
  }
  EXPECT_NEAR(z[3 * 5 + 1], (1 * 0 + 2 * 1 + 3 * 2 + 2 * 0 + 1 * 1) / 9.0, 1e-6);
  EXPECT_NEAR(z[3 * 6 + 1], (1 * 1 + 2 * 2 + 3 * 0 + 2 * 1 + 1 * 2) / 9.0, 1e-6);
}

// Every refusal leaves the working copy and the range file as they were.
TEST_F(Averaging, RefusalsWriteNoFile) {
  std::vector<double> y(20, 1.0);
  const std::vector<double> rows = grid(y, y);
  std::vector<double> huge = rows;
  for (std::size_t i = 0; i < huge.size(); i += 3) huge[i + 1] = huge[i + 2] = 1e308;
  std::string too_long;
  for (int i = 0; i < 5001; ++i) too_long += std::to_string(7000 + i) + "\t1\t1\n";

  struct Case {
    const char* what;
    const char* start;
    const char* end;
    int item;
    const char* message;  // whole message, or just its first line
    std::function<void()> prepare;
  };
  const Case cases[] = {
      {"no item", "7002", "7010", kNone, kCheckInput, [] {}},
      {"no item comes first", "7002", "7010", kNone, kCheckInput,
       [&] { std::filesystem::remove(ws.file(files::kSelectiveForRIXSTemp)); }},
      {"start below the range", "6999.9", "7010", k5, kCheckInput, [] {}},
      {"end above the range", "7002", "7019.01", k5, kCheckInput, [] {}},
      {"start above end", "7010", "7002", k5, kCheckInput, [] {}},
      {"text reads as 0", "abc", "7010", k5, kCheckInput, [] {}},
      {"no range file", "7002", "7010", k5, "ERROR!!\r\nXAFS_MinMax.DAT holds no energy range.",
       [&] { std::filesystem::remove(ws.file(files::kXAFSMinMax)); }},
      {"no working copy", "7002", "7010", k5,
       "ERROR!!\r\nSelectiveXAFS_for_RIXS_Temp.DAT holds no",
       [&] { std::filesystem::remove(ws.file(files::kSelectiveForRIXSTemp)); }},
      {"no row at or above the end", "7002", "7030", k5,
       "ERROR!!\r\nNo row of SelectiveXAFS_for_RIXS_Temp.DAT", [&] { range(7000, 7040); }},
      {"no row at or below the start", "6995", "7010", k5,
       "ERROR!!\r\nNo row of SelectiveXAFS_for_RIXS_Temp.DAT", [&] { range(6990, 7019); }},
      {"more rows than 5000", "7002", "7010", k5,
       "ERROR!!\r\nSelectiveXAFS_for_RIXS_Temp.DAT holds more than",
       [&] { write_file(ws.file(files::kSelectiveForRIXSTemp), too_long); }},
      {"text in the working copy", "7002", "7010", k5,
       "ERROR!!\r\nSelectiveXAFS_for_RIXS_Temp.DAT holds text that is",
       [&] { write_file(ws.file(files::kSelectiveForRIXSTemp), "7000\t1\t1\n7001\tx\t1\n7002\t1\t1\n"); }},
      {"sums too large", "7000", "7019", k15, "ERROR!!\r\nThe averaged values are too large to be",
       [&] { working_copy(huge); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    working_copy(rows);
    c.prepare();
    const bool had_copy = std::filesystem::exists(ws.file(files::kSelectiveForRIXSTemp));
    const std::string copy = had_copy ? file(files::kSelectiveForRIXSTemp) : "";
    const bool had_range = std::filesystem::exists(ws.file(files::kXAFSMinMax));
    const std::string range_text = had_range ? file(files::kXAFSMinMax) : "";
    run(c.start, c.end, c.item);
    EXPECT_TRUE(state.message == c.message || state.message.starts_with(std::string(c.message) + "\r\n"))
        << state.message;
    ASSERT_EQ(std::filesystem::exists(ws.file(files::kSelectiveForRIXSTemp)), had_copy);
    if (had_copy) {
      EXPECT_EQ(file(files::kSelectiveForRIXSTemp), copy);
    }
    ASSERT_EQ(std::filesystem::exists(ws.file(files::kXAFSMinMax)), had_range);
    if (had_range) {
      EXPECT_EQ(file(files::kXAFSMinMax), range_text);
    }
  }
}

TEST_F(Averaging, OpensWithTheRangeOfTheRangeFileAndNothingSelected) {
  const std::string opening =
      "Select the number of Adjucent Points to\r\naverage, and if necessary, change the energy\r\n"
      "range for the averaging.  Then, Click Average\r\nbutton.";
  write_file(ws.file(files::kXAFSMinMax), "7000.5\t7100\t0\t10000\n");
  AverageState s = talvern::initial_average_state(ws);
  EXPECT_EQ(s.start_energy, "7000.5");
  EXPECT_EQ(s.end_energy, "7100.");
  EXPECT_EQ(s.points, -1);
  EXPECT_EQ(s.points_list, (std::vector<std::string>{"5 points", "9 points", "15 points"}));
  EXPECT_EQ(s.message, opening);

  write_file(ws.file(files::kXAFSMinMax), "1234567.891\t7123.456789012\t0\t1\n");
  s = talvern::initial_average_state(ws);
  EXPECT_EQ(s.start_energy, "1234567.891");
  EXPECT_EQ(s.end_energy, "7123.456789");

  std::filesystem::remove(ws.file(files::kXAFSMinMax));
  s = talvern::initial_average_state(ws);
  EXPECT_EQ(s.start_energy, "");
  EXPECT_EQ(s.end_energy, "");
  EXPECT_TRUE(s.message.starts_with("CAUTION!!\r\n"));
  EXPECT_TRUE(s.message.ends_with("\r\n" + opening));
}

}  // namespace
