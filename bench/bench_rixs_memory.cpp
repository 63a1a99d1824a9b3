// One RIXS calculation in memory, the engine's own time: rixs_rows at
// 7116 eV on inputs read once (no file read or written in the loop), 5000
// selective XAFS rows x 2000 emission energies, the inputs of
// bench_process.cpp. It is the yardstick of talvern.rixs:
// bench/bench_python.py writes its own inputs into a folder, names it in
// TALVERN_BENCH_RIXS_INPUTS and runs this benchmark on them beside
// talvern.rixs on the same rows.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "bench_workspace.h"
#include "engine/engine.h"
#include "engine/kernel.h"
#include "workspace/file_names.h"
#include "workspace/row_io.h"

namespace {

using namespace talvern;

constexpr double kOmega = 7116.0;

// The engine's inputs, read as CalculateRIXS reads them, from the folder of
// TALVERN_BENCH_RIXS_INPUTS or else from bench_process's work-space.
struct Inputs {
  RowsRead sel;
  EngineInputs engine;
  EngineReport report;
};

const Inputs& inputs() {
  static const Inputs in = [] {
    const char* folder = std::getenv("TALVERN_BENCH_RIXS_INPUTS");
    const WorkSpace ws = folder && *folder
                             ? WorkSpace(std::filesystem::path(folder))
                             : bench::make_workspace("talvern-bench-memory",
                                                     {5000, 6900.0, 7099.95, 0.1});
    Inputs read;
    read.sel = read_rows(ws.file(files::kSelectiveForRIXS), 3, kRowCapacity);
    read.report = read_engine_inputs(ws, read.sel, read.engine);
    return read;
  }();
  return in;
}

void BM_RixsInMemory(benchmark::State& state) {
  const Inputs& in = inputs();
  if (in.report.status != EngineReport::Status::ok) {
    state.SkipWithError("the inputs cannot be read (TALVERN_BENCH_RIXS_INPUTS)");
    return;
  }
  start_helper_thread();
  std::size_t rows = 0;
  for (auto _ : state) {
    bool capped = false;
    const std::vector<double> out =
        rixs_rows(in.sel, in.engine.conv, in.engine.par, in.engine.lor, kOmega, capped);
    rows = out.size() / 4;
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["selective_rows"] = static_cast<double>(in.sel.rows);
  state.counters["emission_energies"] = static_cast<double>(rows);
}

BENCHMARK(BM_RixsInMemory)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
