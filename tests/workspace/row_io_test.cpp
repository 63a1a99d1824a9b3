#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "support/temp_dir.h"
#include "workspace/row_io.h"

namespace talvern {
namespace {

using test::read_file;

TEST(ParseRows, CountsAttemptsUntilEndOfFileMinusOne) {
  struct Case { const char* text; std::size_t rows; };
  const Case cases[] = {{"", 0},           {" \n\n", 0},        {"1 2\n3 4\n", 2},
                        {"1 2\n3 4", 1},   // the last row runs into the end of the file
                        {"1\t2\r\n3\t4\r\n\n", 2}, {"1 2 3 4\n", 2}, {"1 2\n3\n", 1}};
  for (const auto& c : cases) {
    RowsRead r = parse_rows(c.text, 2);
    EXPECT_EQ(r.rows, c.rows) << c.text;
    EXPECT_FALSE(r.bad_token) << c.text;
    EXPECT_EQ(r.values.size(), r.rows * 2) << c.text;
  }
}

TEST(ParseRows, FollowsStreamExtractionAndStopsAtFirstNonNumber) {
  struct Case { const char* text; std::size_t bad_line; std::vector<double> values; };
  const Case cases[] = {
      {"+5 -.5\n1E2 2e-3\n", 0, {5, -0.5, 100, 0.002}}, {"1 2\n3 x\n5 6\n", 2, {1, 2}},
      {"1e 2\n", 1, {}},     {"inf 1\n", 1, {}},     {"nan 1\n", 1, {}},   {"1e999 1\n", 1, {}},
      {"1.5abc 2\n", 1, {}},  // 1.5 is read, then "abc" stops the row
      {"1 2\n\n\n3 -\n", 4, {1, 2}}};
  for (const auto& c : cases) {
    RowsRead r = parse_rows(c.text, 2);
    EXPECT_EQ(r.bad_token, c.bad_line != 0) << c.text;
    EXPECT_EQ(r.bad_line, c.bad_line) << c.text;
    EXPECT_EQ(r.values, c.values) << c.text;
    EXPECT_EQ(r.rows, c.values.size() / 2) << c.text;
  }
  NumberScanner s("1.5");  // an integer read leaves the fraction
  long i = 0;
  double d = 0;
  EXPECT_TRUE(s.next_int(i) && s.next(d) && i == 1 && d == 0.5);
}

TEST(ParseRows, CapacityAndHeaderWords) {
  RowsRead over = parse_rows("1\n2\n3\n", 1, 2);
  EXPECT_TRUE(over.capped);
  EXPECT_EQ(over.values, (std::vector<double>{1, 2}));
  EXPECT_FALSE(parse_rows("1\n2\n", 1, 2).capped);
  EXPECT_FALSE(parse_rows("1\n2\n3", 1, 2).capped);  // the third row does not count
  RowsRead r = parse_rows("Energy Intensity\n7000 0.5\n", 2, kRowCapacity, 2);
  EXPECT_EQ(r.values, (std::vector<double>{7000, 0.5}));
}

TEST(RowFiles, WritesSixDigitsTabsAndALineBreakAfterEveryRow) {
  test::TempDir dir;
  const double values[] = {7120, 0.1, 7.9e-09, 1234567, -0.305, 1e100};
  ASSERT_EQ(write_rows(dir.file("r.DAT"), values, 2, 3), WriteStatus::ok);
  EXPECT_EQ(read_file(dir.file("r.DAT")), "7120\t0.1\t7.9e-09\n1.23457e+06\t-0.305\t1e+100\n");
  RowsRead back = read_rows(dir.file("r.DAT"), 3);
  ASSERT_EQ(back.rows, 2u);
  EXPECT_EQ(back.values[2], 7.9e-09);
  EXPECT_FALSE(read_rows(dir.file("none.DAT"), 3).opened);
}

TEST(RowFiles, WritesReplaceTheWholeFileAndLeaveNothingBehind) {
  test::TempDir dir;
  const auto file = dir.file("w.DAT");
  const double values[] = {1, 2, 3, 4}, bad[] = {1, std::nan(""), INFINITY};
  ASSERT_EQ(write_rows(file, values, 2, 2), WriteStatus::ok);
  ASSERT_EQ(write_rows(file, values + 3, 1, 1), WriteStatus::ok);
  EXPECT_EQ(read_file(file), "4\n");
  EXPECT_EQ(write_rows(file, bad, 1, 2), WriteStatus::not_finite);
  EXPECT_EQ(write_rows(file, bad + 2, 1, 1), WriteStatus::not_finite);
  EXPECT_EQ(read_file(file), "4\n");
  EXPECT_EQ(write_rows(dir.file("missing/w.DAT"), values, 1, 1), WriteStatus::cannot_write);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  // A replaced file keeps its mode, and a new one gets the mode of any file
  // the program creates (0666 less the umask), not the 0600 of a temporary.
  namespace fs = std::filesystem;
  fs::permissions(file, fs::perms(0640));
  ASSERT_EQ(write_rows(file, values, 1, 1), WriteStatus::ok);
  EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
  const mode_t mask = ::umask(022);
  ::umask(mask);
  ASSERT_EQ(write_rows(dir.file("new.DAT"), values, 1, 1), WriteStatus::ok);
  EXPECT_EQ(fs::status(dir.file("new.DAT")).permissions(), fs::perms(0666 & ~mask));
}

}  // namespace
}  // namespace talvern
