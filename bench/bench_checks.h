#pragma once
// Checks that run after the benchmarks: each bench file may register one to
// print what the timings mean (ratios, differences) and to fail the run.
// main() in bench_rixs.cpp runs them all.

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace talvern::bench {

// Real time per benchmark run name (the median when there are repetitions), in
// the unit the benchmark reports.
using Times = std::map<std::string, double>;

// Prints its findings; returns false when the run must fail.
using Check = std::function<bool(const Times&)>;

inline std::vector<Check>& checks() {
  static std::vector<Check> all;
  return all;
}

struct RegisterCheck {
  explicit RegisterCheck(Check check) { checks().push_back(std::move(check)); }
};

}  // namespace talvern::bench
