// The greedy optimisation of the selective XAFS against a measured RIXS
// spectrum: its input checks, its search, and the in-memory trials against
// a run that hands every trial through the work-space files.

#include "refine/optimisation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "support/cli_run.h"
#include "support/optim_workspace.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/number_text.h"
#include "workspace/row_io.h"

namespace talvern {
namespace {

using test::read_file;
using test::write_file;

struct Trial {
  double r;
  bool kept;
};

// The small iron K-edge work-space of support/optim_workspace.h.
class Optimisation : public ::testing::Test {
 protected:
  test::TempDir dir;
  WorkSpace ws{dir.path()};

  static std::vector<double> selective(bool two, bool target) {
    return test::optim_selective(two, target);
  }
  void write(const char* name, const std::vector<double>& rows, std::size_t k) {
    test::write_rows_of(ws, name, rows, k);
  }
  void SetUp() override { make(false); }
  void make(bool two) { test::make_optim_workspace(ws, two); }

  OptimState ready(const char* start, const char* end, int repetition) const {
    OptimState s = OpenOptimization(ws);
    s.start_energy = start;
    s.end_energy = end;
    s.repetition = repetition;
    s.exc_energy = "7116";
    return s;
  }

  std::vector<Trial> run(OptimState& s, std::size_t matrix_limit = 4000000,
                         const std::atomic<bool>* stop = nullptr, int stop_after = -1,
                         std::atomic<bool>* flag = nullptr) {
    std::vector<Trial> trials;
    OptimWatch watch;
    watch.matrix_limit = matrix_limit;
    watch.stop = stop;
    watch.trial = [&](double r, bool kept) {
      trials.push_back({r, kept});
      if (flag && static_cast<int>(trials.size()) == stop_after) flag->store(true);
    };
    OptimizeSelectiveXAFS(ws, s, watch);
    return trials;
  }

  // The search as the files carry it: every trial rewrites the calculation
  // input, runs the engine and reads its output back.
  std::vector<Trial> file_protocol(const OptimState& s, double& best) {
    const RowsRead input = read_rows(ws.file(files::kSelectiveForRIXS), 3, 2000);
    const int n_comp = component_count(input.values.data(), input.rows);
    const RowsRead exp = read_rows(ws.file(files::kRIXSExp), 2, 4000);
    const double e0 = parse_edit(s.start_energy), e1 = parse_edit(s.end_energy);
    const double de = parse_edit(s.energy_step), hc = parse_edit(s.peak_height);
    const double w = parse_edit(s.peak_width), u = parse_edit(s.height_limit);
    const double dh = parse_edit(s.height_step), omega = parse_edit(s.exc_energy);
    const long long ne = step_count(e1 - e0, de), nh = step_count(2 * u, dh);
    auto r_of_calculation = [&] {
      EXPECT_EQ(CalculateRIXS(ws, omega).status, EngineReport::Status::ok);
      const RowsRead c = read_rows(ws.file(files::kCalculatedRIXS), 4, 4000);
      double diff = 0, sum = 0;
      for (std::size_t k = 0; k < c.rows; ++k) {
        diff += std::fabs(c.at(k, 1) - exp.at(k, 1));
        sum += exp.at(k, 1);
      }
      return 100 * diff / sum;
    };
    std::vector<Trial> trials;
    best = r_of_calculation();
    auto evaluate = [&](const RowsRead& rows) {
      write(files::kSelectiveForRIXS, rows.values, 3);
      const double r = r_of_calculation();
      trials.push_back({r, r < best});
      if (r < best) {
        best = r;
        write(files::kSelectiveForRIXSTemp, rows.values, 3);
      }
    };
    for (int rep = 0; rep <= s.repetition; ++rep)
      for (long long k = 0; k < ne; ++k)
        for (long long j = 0; j < nh; ++j) {
          const double ep = e0 + k * de, h = (hc - u) + j * dh;
          RowsRead rows = read_rows(ws.file(files::kSelectiveForRIXSTemp), 3, 2000);
          for (std::size_t i = 0; i < rows.rows; ++i)
            rows.values[3 * i + 1] += trial_peak(rows.at(i, 0), ep, h, w);
          if (n_comp == 2) evaluate(rows);
          for (std::size_t i = 0; i < rows.rows; ++i)
            rows.values[3 * i + 2] += trial_peak(rows.at(i, 0), ep, h, w);
          evaluate(rows);
        }
    write(files::kSelectiveForRIXS, input.values, 3);
    return trials;
  }

  // Runs the search in memory and through the files from the same start and
  // expects the same trials, the same R-factors and the same files.
  void expect_same_as_file_protocol(OptimState& s, std::size_t matrix_limit) {
    const std::string temp0 = read_file(ws.file(files::kSelectiveForRIXSTemp));
    const std::string input0 = read_file(ws.file(files::kSelectiveForRIXS));
    double best = 0;
    const std::vector<Trial> want = file_protocol(s, best);
    const std::string temp_want = read_file(ws.file(files::kSelectiveForRIXSTemp));
    const std::string calc_want = read_file(ws.file(files::kCalculatedRIXS));
    write_file(ws.file(files::kSelectiveForRIXSTemp), temp0);

    const std::vector<Trial> got = run(s, matrix_limit);
    ASSERT_EQ(got.size(), want.size());
    int kept = 0;
    for (std::size_t t = 0; t < want.size(); ++t) {
      EXPECT_EQ(got[t].r, want[t].r) << "trial " << t;
      EXPECT_EQ(got[t].kept, want[t].kept) << "trial " << t;
      kept += want[t].kept;
    }
    EXPECT_GT(kept, 0);
    EXPECT_EQ(s.r_factor, format_edit(best, 6));
    EXPECT_EQ(read_file(ws.file(files::kSelectiveForRIXSTemp)), temp_want);
    EXPECT_EQ(read_file(ws.file(files::kCalculatedRIXS)), calc_want);
    EXPECT_EQ(read_file(ws.file(files::kSelectiveForRIXS)), input0);
    EXPECT_EQ(read_file(ws.file(files::kSelectiveForRIXSSaving)), input0);
  }
};

TEST_F(Optimisation, OpensWithTheDisplayRangeAndTheFixedTexts) {
  write_file(ws.file(files::kXAFSMinMax), "7105.123456789\t7165\t0\t1\n");
  const OptimState s = OpenOptimization(ws);
  EXPECT_EQ(s.start_energy, "7105.123457");
  EXPECT_EQ(s.end_energy, "7165.");
  EXPECT_EQ(s.energy_step, "1.0");
  EXPECT_EQ(s.height_step, "0.005");
  EXPECT_EQ(s.repetition, -1);
  EXPECT_EQ(s.repetitions, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(s.message, kOptimOpening);
}

TEST_F(Optimisation, EveryFailedCheckWritesOnlyTheBackup) {
  // Each case breaks one check and passes all those before it.
  struct Case {
    const char* what;
    void (*spoil)(OptimState&);
  } cases[] = {
      {"no repetition", [](OptimState& s) { s.repetition = -1; }},
      {"excitation 0", [](OptimState& s) { s.repetition = 0, s.exc_energy = "0.0"; }},
      {"start below range", [](OptimState& s) { s.start_energy = "7109.9"; }},
      {"end above range", [](OptimState& s) { s.end_energy = "7116"; }},
      {"end below start", [](OptimState& s) { s.start_energy = "7113", s.end_energy = "7112"; }},
      {"energy step 0", [](OptimState& s) { s.energy_step = "abc"; }},
      {"width 0", [](OptimState& s) { s.peak_width = ""; }},
      {"height step 0", [](OptimState& s) { s.height_step = "0"; }},
  };
  write_file(ws.file(files::kSelectiveForRIXSSaving), "old backup\n");
  const std::string input = read_file(ws.file(files::kSelectiveForRIXS));
  for (const Case& c : cases) {
    OptimState s = ready("7111", "7113", 0);
    c.spoil(s);
    run(s);
    EXPECT_EQ(s.message, kOptimInputError) << c.what;
    EXPECT_EQ(read_file(ws.file(files::kSelectiveForRIXSSaving)), input) << c.what;
    EXPECT_EQ(read_file(ws.file(files::kCalculatedRIXS)), "") << c.what;
  }
  // With the opening texts the command fails too.
  OptimState opening = OpenOptimization(ws);
  run(opening);
  EXPECT_EQ(opening.message, kOptimInputError);
}

TEST_F(Optimisation, InMemoryTrialsAreThoseOfTheFileProtocol) {
  // Twenty heights 0 ... 0.095 at each energy; the first trial (height 0)
  // ties with the reference and is not kept.
  OptimState s = ready("7111", "7114.5", 0);
  s.energy_step = "0.5";
  expect_same_as_file_protocol(s, 4000000);
  OptimState again = ready("7111", "7114.5", 0);
  again.energy_step = "0.5";
  write(files::kSelectiveForRIXSTemp, selective(false, false), 3);
  const std::vector<Trial> trials = run(again);
  ASSERT_EQ(trials.size(), 7u * 20);
  EXPECT_FALSE(trials[0].kept);
  EXPECT_EQ(again.components, "1");
  EXPECT_EQ(again.message,
            "Optimization was done: the calculated range is from\r\n7111 eV to 7114.5eV "
            "(number of reputations = 1 ).");
}

TEST_F(Optimisation, EngineSumPathGivesTheSameTrials) {
  OptimState s = ready("7111", "7113", 0);
  expect_same_as_file_protocol(s, 0);
}

TEST_F(Optimisation, TwoComponentsTryComponentOneAloneThenBoth) {
  make(true);
  OptimState s = ready("7111", "7114", 0);
  expect_same_as_file_protocol(s, 4000000);
  EXPECT_EQ(s.components, "2");
  make(true);
  OptimState direct = ready("7111", "7113", 0);
  expect_same_as_file_protocol(direct, 0);
}

TEST_F(Optimisation, RepetitionsAccumulateOnTheSpectrumKept) {
  OptimState s = ready("7111.5", "7113.5", 2);
  s.height_step = "0.01";  // ten heights
  expect_same_as_file_protocol(s, 4000000);
  EXPECT_NE(s.message.find("(number of reputations = 3 )"), std::string::npos);
}

TEST_F(Optimisation, NoEnergyToTryGivesTheReferenceRFactor) {
  OptimState s = ready("7111", "7111.5", 0);  // less than one step
  const std::vector<Trial> trials = run(s);
  EXPECT_TRUE(trials.empty());
  EXPECT_FALSE(s.r_factor.empty());
  EXPECT_GT(parse_edit(s.r_factor), 0);
  EXPECT_EQ(s.message.rfind("Optimization was done", 0), 0u);
  EXPECT_EQ(read_file(ws.file(files::kSelectiveForRIXSTemp)),
            read_file(ws.file(files::kSelectiveForRIXS)));
}

// Opened from "RIXS Simulation": the excitation energy of its box when
// that holds a number, and the R-factor a run starts from, calculated
// without writing a file; a box without a number leaves the opening texts.
TEST_F(Optimisation, OpensWithTheRIXSExcitationEnergyAndTheStartingRFactor) {
  const auto before = test::dat_files(ws.dir());
  const OptimState opened = OpenOptimizationFrom(ws, "7116");
  EXPECT_EQ(opened.exc_energy, "7116");
  EXPECT_EQ(test::dat_files(ws.dir()), before);
  ASSERT_FALSE(opened.r_factor.empty());

  OptimState s = ready("7111", "7111.5", 0);  // nothing to try: the run ends where it starts
  EXPECT_TRUE(run(s).empty());
  EXPECT_EQ(s.r_factor, opened.r_factor);

  // The calculation input as it stands (here the reshaped one the
  // measurement was made from), not the working copy.
  test::write_rows_of(ws, files::kSelectiveForRIXS, test::optim_selective(false, true), 3);
  const std::string reshaped = OpenOptimizationFrom(ws, " 7116 ").r_factor;
  EXPECT_LT(parse_edit(reshaped), parse_edit(opened.r_factor));
  s = ready("7111", "7111.5", 0);
  run(s);
  EXPECT_EQ(s.r_factor, reshaped);

  for (const char* box : {"0.0", "", "7116 eV", "Exc.", "1e999"}) {
    const OptimState plain = OpenOptimizationFrom(ws, box);
    EXPECT_EQ(plain.exc_energy, "0.0") << box;
    EXPECT_TRUE(plain.r_factor.empty()) << box;
  }
}

TEST_F(Optimisation, StoppedRunKeepsTheBestAndRestoresTheInput) {
  const std::string input = read_file(ws.file(files::kSelectiveForRIXS));
  std::atomic<bool> stop{false};
  OptimState s = ready("7111", "7115", 0);
  const std::vector<Trial> trials = run(s, 4000000, &stop, 30, &stop);
  ASSERT_EQ(trials.size(), 30u);
  double best = 1e300;
  for (const Trial& t : trials)
    if (t.kept) best = t.r;
  ASSERT_LT(best, 1e300);
  EXPECT_EQ(s.message.rfind("CAUTION!!", 0), 0u);
  EXPECT_NE(s.message.find("stopped at 7112. eV"), std::string::npos) << s.message;
  EXPECT_EQ(s.r_factor, format_edit(best, 6));
  EXPECT_EQ(read_file(ws.file(files::kSelectiveForRIXS)), input);
  EXPECT_NE(read_file(ws.file(files::kSelectiveForRIXSTemp)), input);
}

TEST_F(Optimisation, MeasurementProblems) {
  const std::string temp = read_file(ws.file(files::kSelectiveForRIXSTemp));
  // A measurement of zeros gives no R-factor: nothing but the backup is written.
  const RowsRead exp = read_rows(ws.file(files::kRIXSExp), 2);
  std::string zeros;
  for (std::size_t k = 0; k < exp.rows; ++k) zeros += format_g6(exp.at(k, 0)) + "\t0\n";
  write_file(ws.file(files::kRIXSExp), zeros);
  OptimState s = ready("7111", "7113", 0);
  run(s);
  EXPECT_EQ(s.message.rfind("ERROR!!", 0), 0u);
  EXPECT_EQ(read_file(ws.file(files::kCalculatedRIXS)), "");
  EXPECT_EQ(read_file(ws.file(files::kSelectiveForRIXSTemp)), temp);

  // Fewer measured rows than calculated: only the rows both have are paired.
  std::string first;
  for (std::size_t k = 0; k < 10; ++k)
    first += format_g6(exp.at(k, 0)) + "\t" + format_g6(exp.at(k, 1)) + "\n";
  write_file(ws.file(files::kRIXSExp), first);
  OptimState shorter = ready("7111", "7113", 0);
  run(shorter);
  EXPECT_EQ(shorter.message.rfind("CAUTION!!\r\nRIXSEXP.DAT has fewer rows", 0), 0u)
      << shorter.message;
  EXPECT_NE(shorter.message.find("the first 10 rows"), std::string::npos);
  EXPECT_NE(shorter.message.find("Optimization was done"), std::string::npos);
}

TEST_F(Optimisation, RowsBeyondTheCapacityStayInTheWorkingCopy) {
  // 2050 rows; the measurement is the calculation with a peak at 7112 eV.
  auto rows_with = [&](double height) {
    std::vector<double> rows;
    for (int i = 0; i < 2050; ++i) {
      const double e = 7110.0 + 0.1 * i, y = 0.5 + trial_peak(e, 7112, height, 1.0);
      rows.insert(rows.end(), {e, y, y});
    }
    return rows;
  };
  write(files::kSelectiveForRIXS, rows_with(0.05), 3);
  ASSERT_EQ(CalculateRIXS(ws, test::kOptimOmega).status, EngineReport::Status::ok);
  const RowsRead calc = read_rows(ws.file(files::kCalculatedRIXS), 4);
  std::vector<double> exp;
  for (std::size_t k = 0; k < calc.rows; ++k) exp.insert(exp.end(), {calc.at(k, 0), calc.at(k, 1)});
  write(files::kRIXSExp, exp, 2);
  write(files::kSelectiveForRIXS, rows_with(0), 3);
  write(files::kSelectiveForRIXSTemp, rows_with(0), 3);
  const std::string before = read_file(ws.file(files::kSelectiveForRIXSTemp));
  OptimState s = ready("7111", "7113", 0);
  run(s);
  EXPECT_EQ(s.message.rfind("CAUTION!!\r\nOnly the first 2000 rows", 0), 0u) << s.message;
  const std::string after = read_file(ws.file(files::kSelectiveForRIXSTemp));
  ASSERT_TRUE(after != before) << "no trial was kept";
  const auto tail = [](const std::string& t) { return t.substr(t.find("\n7310\t")); };
  EXPECT_TRUE(tail(after) == tail(before));
  EXPECT_EQ(read_rows(ws.file(files::kSelectiveForRIXSTemp), 3, 5000).rows, 2050u);
}

TEST_F(Optimisation, NothingToOptimise) {
  write_file(ws.file(files::kSelectiveForRIXS), "");
  write_file(ws.file(files::kSelectiveForRIXSTemp), "");
  OptimState s = ready("7111", "7113", 0);
  run(s);
  EXPECT_EQ(s.message.rfind("ERROR!!", 0), 0u);
  EXPECT_EQ(read_file(ws.file(files::kSelectiveForRIXS)), "");
  EXPECT_EQ(read_file(ws.file(files::kSelectiveForRIXSTemp)), "");
}

TEST(SixDigitRoundTrip, AgreesWithTheTextEverywhere) {
  std::uint64_t x = 88172645463325252ull;
  auto next = [&] {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    return x;
  };
  auto check = [](double v) {
    const std::string text = format_g6(v);
    double back = 0;
    ASSERT_TRUE(std::sscanf(text.c_str(), "%lf", &back) == 1);
    ASSERT_EQ(through_g6(v), back) << text << " from " << std::hexfloat << v;
  };
  for (int t = 0; t < 300000; ++t) {
    const double mantissa = static_cast<double>(next() >> 11) / 9007199254740992.0;
    const int exponent = static_cast<int>(next() % 60) - 30;
    check((t % 2 ? -1 : 1) * (1 + 9 * mantissa) * std::pow(10.0, exponent));
  }
  // Halfway cases, powers of ten and their neighbours, extremes.
  for (double v : {1234565.0, 0.1234565, 1e5, 1e-5, 999999.5, 9999995.0, 0.0009999995, 1e22,
                   1e23, 5e-324, 1.7976931348623157e308, 7114.0, 7.9e-09})
    for (double w : {v, std::nextafter(v, 0.0), std::nextafter(v, HUGE_VAL)}) check(w);
}

}  // namespace
}  // namespace talvern
