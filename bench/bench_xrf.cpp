// Speed of the XRF setting commands on a measured spectrum of 451 points
// (7020 ... 7065 eV, 0.1 eV apart): "Fit the Lorentzians" (the emission
// model, its files and the scaling), "Load XRF Data" and "Calculate R-factor".
// The model's grid holds 450 of the 451 energies: 0.1 added 450 times to
// 7020 passes 7065, so the last point is not produced.
//
// And the least-squares fit as the user runs it on a spectrum of 5000
// points (7020 ... 7069.99 eV, 0.01 eV apart, two lines on a sloping
// background with noise), from the tour's Lorentzians (A and C in use):
// `talvern-cli xrf-lsq` and `xrf-lsq --background`, each timed on the wall
// clock from spawn to exit. The check fails when either takes more than a
// second or does not converge.
// The benchmarks register themselves; main() lives in bench_rixs.cpp.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "bench_checks.h"
#include "bench_spawn.h"
#include "workspace/file_names.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"
#include "xrf/xrf_setting.h"

namespace {

using namespace talvern;

constexpr int kPoints = 451;

double lorentzian(double e, double centre, double width, double height) {
  return height / (1 + std::pow((e - centre) / width, 2));
}

// A fresh work-space `name` in the temp folder, constructed, with a measured
// XRF of `count` points from 7020 eV, `step` apart, of intensity y(e).
template <class Y>
WorkSpace xrf_workspace(const char* name, int count, double step, Y y) {
  const auto dir = std::filesystem::temp_directory_path() / name;
  std::filesystem::remove_all(dir);
  WorkSpace ws(dir);
  MainFormState form;
  construct_work_space(ws, form);
  std::vector<double> rows;
  for (int i = 0; i < count; ++i) {
    const double e = 7020.0 + step * i;
    rows.insert(rows.end(), {e, y(e)});
  }
  pass_over(write_rows(ws.file(files::kExpNonResonantEmission), rows.data(), count, 2));
  return ws;
}

// A fresh work-space with an iron K-beta-like measurement, loaded and with
// the placeholder Lorentzians confirmed, as the user leaves it before the
// first fit. `state` is the dialog after those steps.
WorkSpace make_xrf_workspace(XRFState& state) {
  WorkSpace ws = xrf_workspace("talvern-bench-xrf", kPoints, 0.1, [](double e) {
    return 20 + lorentzian(e, 7058.5, 2.2, 1500) + lorentzian(e, 7045, 4.5, 180);
  });

  LoadXRFData(ws, state);
  ConfirmLorentzianSetting(ws, state);
  state.exc_energy = "7214";
  return ws;
}

void BM_FitTheLorentzians(benchmark::State& bench) {
  XRFState state;
  const WorkSpace ws = make_xrf_workspace(state);
  for (auto _ : bench) {
    FitTheLorentzians(ws, state);
    benchmark::DoNotOptimize(state.fit);
  }
  if (!state.fit) bench.SkipWithError("the fit left no trace");
}

void BM_LoadXRFData(benchmark::State& bench) {
  XRFState state;
  const WorkSpace ws = make_xrf_workspace(state);
  for (auto _ : bench) {
    LoadXRFData(ws, state);
    benchmark::DoNotOptimize(state.measured);
  }
}

void BM_CalculateRFactor(benchmark::State& bench) {
  XRFState state;
  const WorkSpace ws = make_xrf_workspace(state);
  FitTheLorentzians(ws, state);
  for (auto _ : bench) {
    CalculateRFactor(ws, state);
    benchmark::DoNotOptimize(state.message);
  }
}

constexpr int kLsqPoints = 5000;
constexpr double kLsqTargetSeconds = 1.0;

// The 5000-point work-space with the tour's Lorentzians confirmed and fitted
// at 7213.8 eV, where xrf-lsq starts.
const WorkSpace& lsq_workspace() {
  static const WorkSpace ws = [] {
    std::uint64_t seed = 1;  // noise of 1 % at most, the same at every run
    WorkSpace w = xrf_workspace("talvern-bench-xrf-lsq", kLsqPoints, 0.01, [&seed](double e) {
      seed = seed * 6364136223846793005u + 1442695040888963407u;
      const double noise = (static_cast<double>(seed >> 11) / 9007199254740992.0 - 0.5) * 0.02;
      return (0.008 + 0.0002 * (e - 7020) + lorentzian(e, 7058.0, 1.0, 0.9) +
              lorentzian(e, 7045.5, 2.4, 0.25)) * (1 + noise);
    });
    const double omega = 7213.8;
    pass_over(write_rows(w.file(files::kEmissionExcEnergy), &omega, 1, 1));
    (void)update_parameters(w, [](CalcParameters& p) { p.core_energy = 7113.8; });
    XRFState state;
    LoadXRFData(w, state);
    state.components = 1;
    state.width = {"4.3", "5.78", "2", "1.07"};
    state.position = {"7045.5", "7056", "7058", "7060.1"};
    state.amplitude = {"0.65", "0", "1", "0"};
    state.exc_energy = "7213.8";
    ConfirmLorentzianSetting(w, state);
    FitTheLorentzians(w, state);
    return w;
  }();
  return ws;
}

double run_lsq(bool background) {
  std::vector<std::string> args = {TALVERN_CLI_PATH, "--workspace", lsq_workspace().dir().string(),
                                   "xrf-lsq"};
  if (background) args.push_back("--background");
  return bench::run_process(args);
}

void BM_XrfLsqCli(benchmark::State& state) {
  bench::time_process(state, [] { return run_lsq(false); });
}
void BM_XrfLsqCliBackground(benchmark::State& state) {
  bench::time_process(state, [] { return run_lsq(true); });
}

BENCHMARK(BM_FitTheLorentzians)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadXRFData)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CalculateRFactor)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_XrfLsqCli)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_XrfLsqCliBackground)
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(5);

const bench::RegisterCheck kCheck([](const bench::Times& times) {
  bool ok = true;
  for (const bool background : {false, true}) {
    const double ms = bench::median_time(times, background ? "BM_XrfLsqCliBackground" : "BM_XrfLsqCli");
    if (ms == 0) continue;  // filtered out
    const bool converged = run_lsq(background) >= 0;
    std::printf("xrf-lsq%s on %d points, whole process: %.1f ms (target %.0f ms)%s%s\n",
                background ? " --background" : "", kLsqPoints, ms, 1000 * kLsqTargetSeconds,
                ms > 1000 * kLsqTargetSeconds ? " (OVER)" : "", converged ? "" : " (NOT CONVERGED)");
    ok = ok && converged && ms <= 1000 * kLsqTargetSeconds;
  }
  return ok;
});

}  // namespace
