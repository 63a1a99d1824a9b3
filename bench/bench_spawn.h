#pragma once
// Whole-process timing for the benchmarks: a program started as the user
// would start it, timed on the wall clock from spawn to exit.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <string>
#include <vector>

#include "bench_checks.h"

extern char** environ;

namespace talvern::bench {

// Runs `args` with its standard output and error thrown away; returns the
// wall-clock seconds from spawn to exit, or -1 when it did not exit with 0.
// `peak_kb`, when given, takes the most memory the process held (its
// resident set, in KiB).
inline double run_process(std::vector<std::string> args, long* peak_kb = nullptr) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  int status = -1;
  const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  struct rusage usage {};
  if (spawned) wait4(pid, &status, 0, &usage);
  if (peak_kb) *peak_kb = usage.ru_maxrss;
  const auto end = std::chrono::steady_clock::now();
  posix_spawn_file_actions_destroy(&actions);
  if (!spawned || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return std::chrono::duration<double>(end - start).count();
}

// Times `run` (seconds, -1 on failure) once per iteration.
inline void time_process(benchmark::State& state, double (*run)()) {
  for (auto _ : state) {
    const double seconds = run();
    if (seconds < 0) {
      state.SkipWithError("the process failed");
      return;
    }
    state.SetIterationTime(seconds);
  }
}

// The median of a benchmark run under repetitions, 0 when it did not run.
inline double median_time(const Times& times, const std::string& name) {
  for (const auto& [run, t] : times)
    if (run.rfind(name + "/", 0) == 0) return t;
  return 0;
}

}  // namespace talvern::bench
