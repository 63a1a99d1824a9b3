// talvern-cli's start-up: each subcommand is a process of its own, so the
// time from spawn to exit of one that does nothing (--version) is paid by
// every run. The pictures' font (FreeType, DejaVu Sans) is read only when a
// picture is drawn, so it adds nothing here.

#include <benchmark/benchmark.h>

#include "bench_spawn.h"

namespace {

double run_version() { return talvern::bench::run_process({TALVERN_CLI_PATH, "--version"}); }

void BM_CliStartUp(benchmark::State& state) { talvern::bench::time_process(state, run_version); }

BENCHMARK(BM_CliStartUp)
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20)->Repetitions(5);

}  // namespace
