// Speed of the XRF setting commands on a measured spectrum of 451 points
// (7020 ... 7065 eV, 0.1 eV apart): "Fit the Lorentzians" (the emission
// model, its files and the scaling), "Load XRF Data" and "Calculate R-factor".
// The model's grid holds 450 of the 451 energies: 0.1 added 450 times to
// 7020 passes 7065, so the last point is not produced.
// The benchmarks register themselves; main() lives in bench_rixs.cpp.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "app/main_form.h"
#include "workspace/file_names.h"
#include "workspace/row_io.h"
#include "xrf/xrf_setting.h"

namespace {

using namespace talvern;

constexpr int kPoints = 451;

// A fresh work-space with an iron K-beta-like measurement, loaded and with
// the placeholder Lorentzians confirmed, as the user leaves it before the
// first fit. `state` is the dialog after those steps.
WorkSpace make_xrf_workspace(XRFState& state) {
  const auto dir = std::filesystem::temp_directory_path() / "talvern-bench-xrf";
  std::filesystem::remove_all(dir);
  WorkSpace ws(dir);
  MainFormState form;
  construct_work_space(ws, form);

  std::vector<double> rows;
  for (int i = 0; i < kPoints; ++i) {
    const double e = 7020.0 + 0.1 * i;
    auto peak = [&](double c, double w, double a) { return a / (1 + std::pow((e - c) / w, 2)); };
    rows.insert(rows.end(), {e, 20 + peak(7058.5, 2.2, 1500) + peak(7045, 4.5, 180)});
  }
  pass_over(write_rows(ws.file(files::kExpNonResonantEmission), rows.data(), kPoints, 2));

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

BENCHMARK(BM_FitTheLorentzians)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadXRFData)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CalculateRFactor)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
