// The measured set (RIXS_Plane_Exp.DAT) through the commands of the RIXS
// Plane dialog: the file's layout read back, the groups a load replaces, the
// capacity, a set file that cannot be read, and "Compare" against the sum
// written term by term at measured energies off the calculation's grid.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "rixs/measured_plane.h"
#include "support/rixs_rows.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"

namespace {

namespace files = talvern::files;
using namespace talvern;
using namespace talvern::test;

// The number after `label` in `text`; NaN when the label is not there.
double number_after(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos) return std::nan("");
  return std::strtod(text.c_str() + at + label.size(), nullptr);
}

// A value as a six-digit file holds it.
double six_digits(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return std::strtod(buf, nullptr);
}

class MeasuredSetTest : public ::testing::Test {
 protected:
  TempDir dir;
  WorkSpace ws{dir.file("ws")};
  PlaneState s;

  void SetUp() override { std::filesystem::create_directory(dir.file("ws")); }

  std::string set_file() { return read_file(ws.file(files::kPlaneExp)); }

  // A file of the user's holding `rows`, as its file dialog would give it.
  UserFiles user_file(const std::string& rows) {
    const auto file = dir.file("user.DAT");
    write_file(file, rows);
    return UserFiles([file](const FileRequest&) { return std::optional(file); });
  }
  void cut(const char* omega, const std::string& rows) {
    s.cut_exc = omega;
    EXPECT_FALSE(AddExpCut(ws, user_file(rows), s));
  }
  void herfd(const char* w, const std::string& rows) {
    s.herfd_emission = w;
    EXPECT_FALSE(AddExpHERFD(ws, user_file(rows), s));
  }
  void plane(const std::string& rows) { EXPECT_FALSE(LoadExpPlane(ws, user_file(rows), s)); }
};

// Groups by K, then fixed energy, each point with its K, the points by the
// energy that varies, a blank line after each group; a load replaces the
// group the file cannot tell from its own, and the set in memory is always
// the one the file gives back.
TEST_F(MeasuredSetTest, GroupsAreOrderedReplacedAndReadBackAsTheyWereStored) {
  cut("7118", "7062 3\n7050.5 1\n7051 2\n");
  EXPECT_TRUE(s.message.ends_with("joined the measured set.\r\nThe measured set holds "
                                  "1 emission spectrum and 0 HERFDs, 3 points.")) << s.message;
  herfd("7058", "7112 5\n7110 4\n");
  cut("7113", "7060 0.25\n7050 0.5\n");
  EXPECT_EQ(set_file(),
            "7113\t7050\t0.5\t0\n7113\t7060\t0.25\t0\n\n"
            "7118\t7050.5\t1\t0\n7118\t7051\t2\t0\n7118\t7062\t3\t0\n\n"
            "7110\t7058\t4\t1\n7112\t7058\t5\t1\n\n");

  // Within 0.0001 eV, and 0.001 eV away, which six digits write as 7118
  // too: the cut at 7118 is replaced. 0.01 eV away is a cut of its own.
  cut("7118.00005", "7055 9\n");
  EXPECT_NE(s.message.find("at 7118 eV (1 points)\r\nreplaced the one at that energy."),
            std::string::npos) << s.message;
  cut("7118.001", "7056.123456 8.0000001\n");
  EXPECT_NE(s.message.find("replaced the one at that energy."), std::string::npos) << s.message;
  cut("7118.01", "7057 7\n");
  EXPECT_NE(s.message.find("joined the measured set."), std::string::npos) << s.message;
  herfd("7058.00004", "7111 6\n");
  herfd("7040", "7130 1e-3\n");
  const std::string stored =
      "7113\t7050\t0.5\t0\n7113\t7060\t0.25\t0\n\n"
      "7118\t7056.12\t8\t0\n\n"
      "7118.01\t7057\t7\t0\n\n"
      "7130\t7040\t0.001\t1\n\n"
      "7111\t7058\t6\t1\n\n";
  EXPECT_EQ(set_file(), stored);
  const MeasuredSetRead back = read_measured_set(ws.file(files::kPlaneExp));
  EXPECT_EQ(back.bad_line, 0u);
  ASSERT_EQ(back.set.groups.size(), 5u);
  EXPECT_EQ(measured_set_text(s.measured), stored) << "the set in memory is the file's";

  // A plane replaces every emission spectrum, grouped by its excitation
  // energies; the HERFDs stay.
  plane("7120 7050 1\n7119 7050 2\n7119 7049 3\n");
  EXPECT_NE(s.message.find("The measured set holds 2 emission spectra and 2 HERFDs, 5 points."),
            std::string::npos) << s.message;
  EXPECT_EQ(set_file(),
            "7119\t7049\t3\t0\n7119\t7050\t2\t0\n\n7120\t7050\t1\t0\n\n"
            "7130\t7040\t0.001\t1\n\n7111\t7058\t6\t1\n\n");
}

// More than 200,000 rows in the user's file, or in the set after a load:
// the first 200,000 in the set's order are kept, and the message begins with
// a caution that says so.
TEST_F(MeasuredSetTest, TheSetKeepsItsFirst200000PointsWithACaution) {
  std::string rows;
  for (int i = 0; i <= 200000; ++i) {  // 1000 excitation energies x 200, and one more
    char line[64];
    std::snprintf(line, sizeof line, "%g %g 1\n", 7000 + 0.5 * (i / 200), 7000 + 0.1 * (i % 200));
    rows += line;
  }
  plane(rows);
  EXPECT_TRUE(s.message.starts_with("CAUTION!!\r\nThe file holds more than 200000 rows;\r\n"
                                    "only the first 200000 were read.\r\n")) << s.message.substr(0, 200);
  std::vector<std::string> lines = lines_of(set_file());
  ASSERT_EQ(lines.size(), 200000u + 1000u);
  EXPECT_EQ(lines.back(), "");
  EXPECT_TRUE(lines[lines.size() - 2].starts_with("7499.5\t")) << lines[lines.size() - 2];

  // A cut at a lower excitation energy comes first: the last points of the
  // plane make room for it.
  cut("1000", "7050 1\n7051 1\n7052 1\n7053 1\n7054 1\n");
  EXPECT_TRUE(s.message.starts_with("CAUTION!!\r\nThe measured set would hold more than 200000 "
                                    "points;\r\nonly the first 200000 were kept.\r\n")) << s.message;
  lines = lines_of(set_file());
  ASSERT_EQ(lines.size(), 200000u + 1001u);
  EXPECT_EQ(lines[0], "1000\t7050\t1\t0");
  EXPECT_TRUE(lines[lines.size() - 2].starts_with("7499.5\t7019.4\t")) << lines[lines.size() - 2];
}

// A set file that holds something else than rows Omega w I K (K 0 or 1) is
// said with an ERROR and left as it is by every command that would change
// it or read it.
TEST_F(MeasuredSetTest, AFileThatIsNotTheSetIsNeverOverwritten) {
  const char* const kNotRows =
      "ERROR!!\r\nRIXS_Plane_Exp.DAT holds a line that is not\r\nOmega w I K (K 0 or 1), so the "
      "measured set\r\nwas left as it is.";
  std::string too_many;  // written by hand: one point beyond the capacity
  for (int i = 0; i <= 200000; ++i) too_many += "7113\t" + std::to_string(7000 + i) + "\t1\t0\n";
  const struct {
    std::string unreadable;
    const char* said;
  } cases[] = {
      {"7113\t7050\t0.5\t0\n7113\t7060\tx\t0\n\n", kNotRows},
      {"7113\t7050\t0.5\t0\n\n7058\t7110\t0.5\t2\n\n", kNotRows},
      {too_many, "ERROR!!\r\nRIXS_Plane_Exp.DAT holds more than 200000 points, so the\r\n"
                 "measured set was left as it is."},
  };
  for (const auto& [unreadable, said] : cases) {
    SCOPED_TRACE(unreadable.substr(0, 60));
    write_file(ws.file(files::kPlaneExp), unreadable);
    const std::function<void()> commands[] = {
        [&] { plane("7119 7050 2\n"); },
        [&] { cut("7113", "7050 1\n"); },
        [&] { herfd("7058", "7110 1\n"); },
        [&] { RemoveExpGroup(ws, s, "exc:7113"); },
        [&] { ListExpSet(ws, s); },
        [&] { ComparePlane(ws, s); },
    };
    for (const auto& command : commands) {
      s.message.clear();
      command();
      EXPECT_TRUE(s.message.starts_with(said)) << s.message;
      EXPECT_TRUE(set_file() == unreadable);
    }
    EXPECT_FALSE(std::filesystem::exists(ws.file(files::kPlaneCompare)));
  }
}

// "Compare": the model at every measured point is the sum written term by
// term at exactly that point: emission spectra at emission energies off the
// parameter file's grid (and beyond its end), a HERFD at its fixed emission
// energy with the absorption correction of each excitation energy. The
// file's rows and each group's R-factor follow.
TEST_F(MeasuredSetTest, CompareIsTheSumAtEachMeasuredPoint) {
  const SpectrumCase c{1.25, 7114, 7045, 7061, 4, 0.7, 2e-3};  // grid 7045, 7049, ... 7061
  SelectiveRows sel;
  for (int i = 0; i < 9; ++i) sel.push_back({7110 + 0.5 * i, 0.5 + 0.1 * i, 1.0 - 0.3 * std::sin(i)});
  std::string sel_text, conv_text;
  for (const auto& r : sel) sel_text += row_text({r[0], r[1], r[2]});
  for (int j = 0; j < 40; ++j) conv_text += row_text({7100.0 + j, 0.02 * j});
  write_file(ws.file(files::kParameters), parameters_text(c));
  write_file(ws.file(files::kLorentz), lorentz_text(c.flag, c.L));
  write_file(ws.file(files::kSelectiveForRIXS), sel_text);
  write_file(ws.file(files::kConvXAFSNormSpectrum), conv_text);

  struct Point { double omega, w; };
  const struct Group { const char* fixed; bool herfd; std::vector<double> varying; } groups[] = {
      {"7111.3", false, {7046.37, 7050.5, 7058.81, 7059.2, 7075.3}},
      {"7113.7", false, {7047.13, 7057.77}},
      {"7057.3", true, {7110.25, 7113.7, 7118.05}},
  };
  const double factors[] = {0.8, 1.1, 1.3};
  std::vector<Point> points;
  std::vector<double> want, measured;
  for (const Group& g : groups) {
    std::string rows;
    for (double v : g.varying) {
      const double fixed = std::strtod(g.fixed, nullptr);
      const Point p = g.herfd ? Point{v, fixed} : Point{fixed, v};
      // The conventional rows lie on mu = 0.02 (Omega - 7100).
      const double ac = 1 / (1 + c.kappa * 0.02 * (p.omega - 7100));
      points.push_back(p);
      want.push_back(reference_rixs_row(c, sel, p.w, p.omega, ac)[1]);
      measured.push_back(six_digits(factors[points.size() % 3] * want.back()));
      rows += row_text({v, measured.back()});
    }
    if (g.herfd) herfd(g.fixed, rows);
    else cut(g.fixed, rows);
  }

  for (int axis : {0, 1}) {
    SCOPED_TRACE(axis);
    s.axis = axis;
    ComparePlane(ws, s);
    ASSERT_TRUE(s.comparison) << s.message;
    const SetComparison& got = *s.comparison;
    ASSERT_EQ(got.points(), points.size());
    const std::vector<std::string> lines = lines_of(read_file(ws.file(files::kPlaneCompare)));
    ASSERT_EQ(lines.size(), points.size() + 3);  // a blank line after each group
    std::size_t line = 0, first = 0;
    double all_diff = 0, all_sum = 0;
    for (const Group& g : groups) {
      double diff = 0, sum = 0;
      for (std::size_t i = first; i < first + g.varying.size(); ++i, ++line) {
        EXPECT_NEAR(got.calculated[i], want[i], 1e-12 * want[i]) << i;
        double row[6];
        ASSERT_EQ(std::sscanf(lines[line].c_str(), "%lf\t%lf\t%lf\t%lf\t%lf\t%lf", row, row + 1,
                              row + 2, row + 3, row + 4, row + 5), 6) << lines[line];
        EXPECT_EQ(row[0], points[i].omega);
        EXPECT_EQ(row[1], six_digits(axis ? points[i].omega - points[i].w : points[i].w));
        EXPECT_EQ(row[2], measured[i]);
        EXPECT_NEAR(row[3], want[i], 1e-5 * want[i]);
        EXPECT_NEAR(row[4], want[i] - measured[i], 1e-5 * want[i]);
        EXPECT_EQ(row[5], g.herfd ? 1 : 0);
        diff += std::fabs(want[i] - measured[i]);
        sum += measured[i];
      }
      EXPECT_EQ(lines[line++], "");
      const std::string label = std::string(g.herfd ? "R-Factor of HERFD at " : "R-Factor at ") +
                                g.fixed + " eV: ";
      EXPECT_NEAR(number_after(s.message, label), 100 * diff / sum, 1e-5 * 100 * diff / sum)
          << label << "\n" << s.message;
      first += g.varying.size();
      all_diff += diff, all_sum += sum;
    }
    const std::size_t last = s.message.rfind("\r\n");
    ASSERT_NE(last, std::string::npos);
    EXPECT_NEAR(number_after(s.message.substr(last), "\r\nR-Factor: "), 100 * all_diff / all_sum,
                1e-5 * 100 * all_diff / all_sum) << s.message;
  }
}

}  // namespace
