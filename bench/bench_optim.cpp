// Speed of "Optimize Selective XAFS" against the search as the files carry
// it, written out literally below: every trial rewrites
// SelectiveXAFS_for_RIXS.DAT, a plain engine reads its four input files and
// writes Calculated_RIXS.DAT, and the result is read back, all with
// iostreams.
//
// The default run: 600 selective XAFS rows at 0.1 eV, 450 emission
// energies, 45 tried energies x 20 heights, one repetition, one component:
// 901 engine calls. It prints the ratio reference / ours, the best R-factor
// of both, and whether both kept the same trials (the run fails if not).
// The benchmark registers itself and its check; main() lives in bench_rixs.cpp.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_checks.h"
#include "bench_workspace.h"
#include "engine/engine.h"
#include "refine/optimisation.h"
#include "workspace/file_names.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"

namespace {

using namespace talvern;
namespace fs = std::filesystem;

constexpr double kOmega = 7116.0;
constexpr int kRows = 600;

double shape(double e, bool target) {
  auto peak = [&](double c, double w, double a) { return a / (1 + std::pow((e - c) / w, 2)); };
  double y = 0.5 * (1 + std::tanh((e - 7120) / 2.0)) + peak(7132, 4.0, 0.5);
  if (target) y += peak(7113, 1.0, 0.08) + peak(7126, 1.5, 0.05);
  return y;
}

// The work-space of the run: the benchmark work-space with a one-component
// selective XAFS; the measured spectrum is the calculation of that selective
// XAFS with two more peaks, so the search has something to find.
WorkSpace make_optim_workspace(const char* name) {
  fs::remove_all(fs::temp_directory_path() / name);
  const WorkSpace ws = bench::make_workspace(name, {kRows, 7020, 7064.95});  // 450 energies
  auto selective = [&](bool target) {
    std::vector<double> rows;
    for (int i = 0; i < kRows; ++i) {
      const double e = 7105.0 + 0.1 * i;
      rows.insert(rows.end(), {e, shape(e, target), shape(e, target)});
    }
    return rows;
  };
  pass_over(write_text_atomic(ws.file(files::kXAFSMinMax), "7105\t7164.9\t0\t15000\n"));

  const std::vector<double> target = selective(true);
  pass_over(write_rows(ws.file(files::kSelectiveForRIXS), target.data(), kRows, 3));
  (void)CalculateRIXS(ws, kOmega);
  const RowsRead calc = read_rows(ws.file(files::kCalculatedRIXS), 4);
  std::vector<double> exp;
  for (std::size_t k = 0; k < calc.rows; ++k) exp.insert(exp.end(), {calc.at(k, 0), calc.at(k, 1)});
  pass_over(write_rows(ws.file(files::kRIXSExp), exp.data(), calc.rows, 2));

  const std::vector<double> start = selective(false);
  pass_over(write_rows(ws.file(files::kSelectiveForRIXS), start.data(), kRows, 3));
  pass_over(write_rows(ws.file(files::kSelectiveForRIXSTemp), start.data(), kRows, 3));
  return ws;
}

OptimState settings(const WorkSpace& ws) {
  OptimState s = OpenOptimization(ws);
  s.start_energy = "7110";
  s.end_energy = "7155";
  s.repetition = 0;
  s.exc_energy = "7116";
  return s;
}

// ---- the literal transcription ----------------------------------------------

// Reads rows of k values until the end of the file; the count is the number
// of attempts minus one.
int read_literal(const fs::path& file, double* v, int k, int capacity) {
  std::ifstream in(file);
  if (!in) return 0;
  int n = 0;
  while (!in.eof() && n < capacity) {
    for (int c = 0; c < k; ++c) in >> v[n * k + c];
    if (in.fail() && !in.eof()) break;
    ++n;
  }
  return n > 0 ? n - 1 : 0;
}

void literal_engine(const fs::path& dir, double omega) {
  static double sel[5000 * 3], conv[2000 * 2];
  const int n = read_literal(dir / files::kSelectiveForRIXS, sel, 3, 5000);
  const int m = read_literal(dir / files::kConvXAFSNormSpectrum, conv, 2, 2000);
  double mu = 1.0;
  for (int j = 0; j <= m - 2; ++j)
    if (omega - conv[2 * j] < 0.5) {
      mu = conv[2 * j + 1] + (conv[2 * j + 3] - conv[2 * j + 1]) * (omega - conv[2 * j]) /
                                 (conv[2 * j + 2] - conv[2 * j]);
      break;
    }
  double p[7];
  std::ifstream pin(dir / files::kParameters);
  for (double& x : p) pin >> x;
  int flag;
  double W[4], P[4], H[4];
  std::ifstream lin(dir / files::kLorentz);
  lin >> flag;
  for (double& x : W) lin >> x;
  for (double& x : P) lin >> x;
  for (double& x : H) lin >> x;
  std::ofstream out(dir / files::kCalculatedRIXS, std::ios::trunc);
  const double gamma = 0.5 * p[0], h = sel[3] - sel[0], ac = 1.0 / (1.0 + p[5] * mu);
  const double M[4] = {P[0], 2 * P[1] - P[0], P[2], 2 * P[3] - P[2]};
  int points = 0;
  for (double w = p[2]; w <= p[3] && points < 5000; w += p[4], ++points) {
    double T[4];
    for (int X = 0; X < 4; ++X) {
      double sum = 0;
      for (int i = 0; i < n; ++i) {
        const double E = sel[3 * i], weight = i == 0 ? 1.0 : (i % 2 ? 4.0 : 2.0);
        const double C = (w / omega) * E / ((E - omega) * (E - omega) + gamma * gamma);
        const double a = E - omega + w - P[X];
        const double F = H[X] / ((W[X] / 2) * (W[X] / 2) + a * a) * M[X];
        sum += weight * C * F * sel[3 * i + (X < 2 ? 1 : 2)];
      }
      T[X] = h / 3 * ac * sum;
    }
    double I, I1, I2;
    if (flag == 1) I1 = p[6] * (T[0] + T[1]), I2 = p[6] * (T[2] + T[3]), I = I1 + I2;
    else I = p[6] * (T[0] + T[1] + T[2] + T[3]), I1 = I, I2 = 0;
    out << w << '\t' << I << '\t' << I1 << '\t' << I2 << '\n';
  }
}

void write_literal(const fs::path& file, const double* v, int n) {
  std::ofstream out(file, std::ios::trunc);
  for (int i = 0; i < n; ++i) out << v[3 * i] << '\t' << v[3 * i + 1] << '\t' << v[3 * i + 2] << '\n';
}

struct LiteralResult {
  double best;
  std::vector<int> kept;  // numbers of the trials kept
};

LiteralResult literal_optimisation(const fs::path& dir, double e0, double e1, double de,
                                   double hc, double w, double u, double dh, int reps,
                                   double omega) {
  static double sel[2000 * 3], work[2000 * 3], exp[4000 * 2], calc[4000 * 4];
  const int n = read_literal(dir / files::kSelectiveForRIXS, sel, 3, 2000);
  int n_comp = 1;
  for (int i = 0; i < n; ++i)
    if (sel[3 * i + 1] != sel[3 * i + 2]) n_comp = 2;
  write_literal(dir / files::kSelectiveForRIXSSaving, sel, n);
  const int n_exp = read_literal(dir / files::kRIXSExp, exp, 2, 4000);
  (void)n_exp;
  const int ne = static_cast<int>((e1 - e0) / de), nh = static_cast<int>(2 * u / dh);
  auto r_factor = [&] {
    literal_engine(dir, omega);
    const int k = read_literal(dir / files::kCalculatedRIXS, calc, 4, 4000);
    double diff = 0, sum = 0;
    for (int i = 0; i < k; ++i) diff += std::fabs(calc[4 * i + 1] - exp[2 * i + 1]), sum += exp[2 * i + 1];
    return 100 * diff / sum;
  };
  LiteralResult result{r_factor(), {}};
  int trial = 0;
  auto evaluate = [&](int rows) {
    write_literal(dir / files::kSelectiveForRIXS, work, rows);
    const double r = r_factor();
    if (r < result.best) {
      result.best = r;
      result.kept.push_back(trial);
      write_literal(dir / files::kSelectiveForRIXSTemp, work, rows);
    }
    ++trial;
  };
  for (int rep = 0; rep < reps; ++rep)
    for (int k = 0; k < ne; ++k) {
      const double ep = e0 + k * de;
      for (int j = 0; j < nh; ++j) {
        const double hgt = (hc - u) + j * dh;
        const int rows = read_literal(dir / files::kSelectiveForRIXSTemp, work, 3, 2000);
        for (int i = 0; i < rows; ++i)
          work[3 * i + 1] += hgt / ((work[3 * i] - ep) * (work[3 * i] - ep) + w * w);
        if (n_comp == 2) evaluate(rows);
        for (int i = 0; i < rows; ++i)
          work[3 * i + 2] += hgt / ((work[3 * i] - ep) * (work[3 * i] - ep) + w * w);
        evaluate(rows);
      }
    }
  const int saved = read_literal(dir / files::kSelectiveForRIXSSaving, sel, 3, 2000);
  write_literal(dir / files::kSelectiveForRIXS, sel, saved);
  return result;
}

// ---- the benchmark ---------------------------------------------------------------

// What the last run found, for the check after the benchmarks.
struct Finding {
  bool ran = false;
  int trials = 0;
  std::size_t kept = 0;
  double ours = 0, reference = 0, best = 0, reference_best = 0;
  bool same = false;
} finding;

void BM_Optimisation(benchmark::State& state) {
  const WorkSpace ws = make_optim_workspace("talvern-bench-optim");
  const std::string temp = [&] {
    std::string t;
    read_text(ws.file(files::kSelectiveForRIXSTemp), t);
    return t;
  }();
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    // Ours.
    pass_over(write_text_atomic(ws.file(files::kSelectiveForRIXSTemp), temp));
    OptimState s = settings(ws);
    std::vector<int> kept;
    double best = 0;
    int trial = 0;
    OptimWatch watch;
    watch.trial = [&](double r, bool keep) {
      if (keep) kept.push_back(trial), best = r;
      ++trial;
    };
    const auto t0 = Clock::now();
    OptimizeSelectiveXAFS(ws, s, watch);
    const auto t1 = Clock::now();

    // The literal file protocol from the same start.
    pass_over(write_text_atomic(ws.file(files::kSelectiveForRIXSTemp), temp));
    const LiteralResult ref =
        literal_optimisation(ws.dir(), 7110, 7155, 1.0, 0.05, 1.0, 0.05, 0.005, 1, kOmega);
    const auto t2 = Clock::now();

    const double ours = std::chrono::duration<double>(t1 - t0).count();
    const double theirs = std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(ours);
    finding = {true, trial, kept.size(), ours, theirs, best, ref.best,
               kept == ref.kept && best == ref.best};
  }
}

const bench::RegisterCheck optimisation_check([](const bench::Times&) {
  if (!finding.ran) return true;  // filtered out
  const Finding& f = finding;
  std::printf("optimisation (%d trials, %zu kept): reference %.3f s, ours %.4f s, "
              "reference/ours = %.1fx; best R %.6g %% (reference %.6g %%); same trials kept: "
              "%s\n",
              f.trials, f.kept, f.reference, f.ours, f.reference / f.ours, f.best,
              f.reference_best, f.same ? "yes" : "NO");
  return f.same;
});

BENCHMARK(BM_Optimisation)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
