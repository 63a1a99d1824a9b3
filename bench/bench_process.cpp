// One large RIXS calculation as the user runs it, whole process: 5000
// selective XAFS rows (0.1 eV apart) x 2000 emission energies (0.1 eV
// apart), `talvern-cli --workspace DIR calc-rixs 7116` against the literal
// transcription of the sum (bench/literal/literal_rixs.cpp, built with -O2).
// Both are started as processes and timed on the wall clock, start-up,
// reading and writing included; the median of the repetitions counts.
//
// After the runs the check prints the ratio literal / talvern-cli and
// compares the two Calculated_RIXS.DAT files. Both hold six significant
// digits. Two computations of the same sum that agree to about 1e-12 print
// the same digits except where a value lies on a rounding boundary, and then
// they differ by one unit in the sixth digit. The check therefore fails when
// the row counts differ, when any value differs by more than one unit in its
// sixth digit, or when more than 1 % of the values differ at all: a true
// relative difference of 1e-9 puts about 0.02 % of the values on a boundary
// (twice 1e-9 over the 1e-6 to 1e-5 relative spacing of six-digit numbers),
// a systematic error of 1e-7 already about 2 %.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_checks.h"
#include "bench_spawn.h"
#include "bench_workspace.h"
#include "workspace/file_names.h"
#include "workspace/row_io.h"

namespace {

using namespace talvern;
using bench::median_time;
using bench::run_process;
using bench::time_process;

constexpr const char* kOmega = "7116";
constexpr const char* kLiteralOutput = "Calculated_RIXS_literal.DAT";

// 5000 rows from 7105 eV; 2000 emission energies from 6900 eV (the last,
// accumulated, just below 7099.9 + a few ulps, before the end 7099.95).
const WorkSpace& workspace() {
  static const WorkSpace ws = bench::make_workspace("talvern-bench-process",
                                                    {5000, 6900.0, 7099.95, 0.1});
  return ws;
}

double run_cli() {
  return run_process({TALVERN_CLI_PATH, "--workspace", workspace().dir().string(), "calc-rixs",
                      kOmega});
}

double run_literal() {
  return run_process({TALVERN_LITERAL_RIXS_PATH, workspace().dir().string(), kOmega,
                      workspace().file(kLiteralOutput).string()});
}

void BM_ProcessCli(benchmark::State& state) { time_process(state, run_cli); }
void BM_ProcessLiteral(benchmark::State& state) { time_process(state, run_literal); }

BENCHMARK(BM_ProcessCli)
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5)->Repetitions(5);
BENCHMARK(BM_ProcessLiteral)
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(5);

// Units of the sixth significant digit by which a and b differ.
double sixth_digit_units(double a, double b) {
  const double big = std::max(std::abs(a), std::abs(b));
  if (big == 0) return 0;
  const double unit = std::pow(10.0, std::floor(std::log10(big)) - 5);
  return std::abs(a - b) / unit;
}

bool compare_outputs(const bench::Times& times) {
  if (median_time(times, "BM_ProcessCli") == 0 && median_time(times, "BM_ProcessLiteral") == 0)
    return true;  // filtered out
  // Fresh outputs of both, whatever the filter let run.
  if (run_cli() < 0 || run_literal() < 0) {
    std::printf("process: a program failed\n");
    return false;
  }
  const RowsRead ours = read_rows(workspace().file(files::kCalculatedRIXS), 4, 10000);
  const RowsRead lit = read_rows(workspace().file(kLiteralOutput), 4, 10000);
  double worst_rel = 0, worst_units = 0;
  std::size_t boundary = 0;
  if (ours.rows == lit.rows) {
    for (std::size_t i = 0; i < ours.values.size(); ++i) {
      const double a = ours.values[i], b = lit.values[i];
      if (a == b) continue;
      ++boundary;
      worst_units = std::max(worst_units, sixth_digit_units(a, b));
      worst_rel = std::max(worst_rel, std::abs(a - b) / std::max(std::abs(a), std::abs(b)));
    }
  }
  const double cli = median_time(times, "BM_ProcessCli");
  const double literal = median_time(times, "BM_ProcessLiteral");
  std::printf("5000 x 2000, whole process: talvern-cli %.1f ms, literal %.1f ms, "
              "literal/talvern-cli = %.1fx\n",
              cli, literal, cli > 0 ? literal / cli : 0.0);
  std::printf("  rows %zu / %zu; values that differ: %zu of %zu, at most %.3g units of the "
              "sixth digit (relative %.2e)\n",
              ours.rows, lit.rows, boundary, ours.values.size(), worst_units, worst_rel);
  return ours.rows == lit.rows && ours.rows > 0 && worst_units <= 1.0000001 &&
         boundary * 100 <= ours.values.size();
}

const bench::RegisterCheck kCheck(compare_outputs);

}  // namespace
