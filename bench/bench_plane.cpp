// The RIXS plane as the user runs it, whole process: 200 excitation
// energies x 450 emission energies x 600 selective XAFS rows by one
// `talvern-cli rixs-plane` against 200 `talvern-cli calc-rixs` processes,
// one per excitation energy, as a script would make the plane. Both are
// timed on the wall clock, start-up, reading and writing included.
//
// The check prints the time of the plane and the ratio, and fails unless
// every block of RIXS_Plane.DAT is, line for line, the Calculated_RIXS.DAT
// of the single calculation at its excitation energy.

#include <benchmark/benchmark.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "bench_checks.h"
#include "bench_spawn.h"
#include "bench_workspace.h"
#include "workspace/file_names.h"
#include "workspace/number_text.h"
#include "workspace/row_io.h"

namespace {

using namespace talvern;
using bench::median_time;
using bench::run_process;
using bench::time_process;

constexpr int kOmegaCount = 200;
constexpr double kFrom = 7105.0, kStep = 0.25;  // to 7154.75 eV, inside the 600 rows

const WorkSpace& workspace() {
  // 600 rows from 7105 eV, 450 emission energies 7020 ... 7064.9 eV.
  static const WorkSpace ws = bench::make_workspace("talvern-bench-plane", {600, 7020, 7064.95});
  return ws;
}

double omega(int i) { return kFrom + kStep * i; }

std::string shortest(double v) {
  char buf[32];
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

double run_plane() {
  return run_process({TALVERN_CLI_PATH, "--workspace", workspace().dir().string(), "rixs-plane",
                      "--from", shortest(kFrom), "--to", shortest(omega(kOmegaCount - 1)),
                      "--step", shortest(kStep)});
}

double run_single(int i) {
  return run_process({TALVERN_CLI_PATH, "--workspace", workspace().dir().string(), "calc-rixs",
                      shortest(omega(i))});
}

double run_singles() {
  double total = 0;
  for (int i = 0; i < kOmegaCount; ++i) {
    const double t = run_single(i);
    if (t < 0) return -1;
    total += t;
  }
  return total;
}

void BM_PlaneCli(benchmark::State& state) { time_process(state, run_plane); }
void BM_PlaneSingles(benchmark::State& state) { time_process(state, run_singles); }

BENCHMARK(BM_PlaneCli)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_PlaneSingles)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3);

std::vector<std::string> lines_of(const std::filesystem::path& file) {
  std::string text;
  read_text(file, text);
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

bool compare_plane(const bench::Times& times) {
  if (median_time(times, "BM_PlaneCli") == 0 && median_time(times, "BM_PlaneSingles") == 0)
    return true;  // filtered out
  if (run_plane() < 0) {
    std::printf("plane: talvern-cli rixs-plane failed\n");
    return false;
  }
  const std::vector<std::string> plane = lines_of(workspace().file(files::kRIXSPlane));
  std::size_t columns = 0, differ = 0;
  bool ok = true;
  for (int i = 0; i < kOmegaCount && ok; ++i) {
    if (run_single(i) < 0) return false;
    const std::vector<std::string> single = lines_of(workspace().file(files::kCalculatedRIXS));
    columns = single.size();
    const std::size_t base = static_cast<std::size_t>(i) * (columns + 1);
    if (plane.size() != kOmegaCount * (columns + 1)) ok = false;
    for (std::size_t k = 0; ok && k < columns; ++k)
      if (plane[base + k] != format_g6(omega(i)) + "\t" + single[k]) ++differ;
  }
  ok = ok && differ == 0 && columns == 450;
  const double cli = median_time(times, "BM_PlaneCli");
  const double singles = median_time(times, "BM_PlaneSingles");
  std::printf("plane %d x %zu x 600, whole process: rixs-plane %.1f ms, %d calc-rixs %.1f ms, "
              "ratio %.1fx; rows that differ from the single calculations: %zu%s\n",
              kOmegaCount, columns, cli, kOmegaCount, singles, cli > 0 ? singles / cli : 0.0,
              differ, ok ? "" : " (FAILED)");
  return ok;
}

const bench::RegisterCheck kCheck(compare_plane);

}  // namespace
