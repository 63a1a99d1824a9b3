// The column import of a large beamline file as the user runs it: a scan of
// 100 MB (21 comment lines, then rows of 12 columns, the energy in keV),
// `talvern-cli load-conv-xafs FILE --columns 1,ln(4/5) --kev --skip-headers`,
// timed on the wall clock from spawn to exit, with the most memory the
// process held. The load keeps the first 5000 rows and says so, and reads
// no further than those: its targets are 0.2 s and 30 MB, whatever the size
// of the file.
//
// The check prints the medians against the targets and fails when either
// is passed, or when the load did not keep 5000 rows.

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/main_form.h"
#include "bench_checks.h"
#include "bench_spawn.h"
#include "workspace/file_names.h"
#include "workspace/row_io.h"

namespace {

using namespace talvern;
using bench::median_time;
using bench::run_process;

constexpr std::size_t kFileBytes = 100'000'000;
constexpr double kTargetSeconds = 0.2;
constexpr long kTargetKb = 30 * 1024;

const std::filesystem::path& folder() {
  static const std::filesystem::path dir = [] {
    const auto d = std::filesystem::temp_directory_path() / "talvern-bench-import";
    std::filesystem::remove_all(d);
    std::filesystem::create_directories(d);
    MainFormState form;
    construct_work_space(WorkSpace(d / "ws"), form);
    return d;
  }();
  return dir;
}

// The scan, written once: counts vary from row to row as a beamline's do.
const std::filesystem::path& scan() {
  static const std::filesystem::path file = [] {
    const auto f = folder() / "scan.dat";
    std::FILE* out = std::fopen(f.c_str(), "w");
    for (int i = 0; i < 20; ++i) std::fprintf(out, "# beamline header line %d\n", i);
    std::fprintf(out, "#  Energy Time Ia I0 I1 I2 If Iref muT muRef Ring Temp\n");
    std::string line;
    char buf[32];
    auto put = [&](double v) {
      line.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
      line += "  ";
    };
    for (std::size_t bytes = 0, i = 0; bytes < kFileBytes; ++i) {
      line.clear();
      put(7.0 + 1e-5 * static_cast<double>(i));
      put(1.0);
      put(90000.5);
      put(120000.0 + static_cast<double>(i % 97));
      put(90000.0 + static_cast<double>(i % 89));
      for (double v : {1.234, 2.345, 3.456, 4.567, 5.678, 400.1, 295.3}) put(v);
      line.back() = '\n';
      std::fputs(line.c_str(), out);
      bytes += line.size();
    }
    std::fclose(out);
    return f;
  }();
  return file;
}

long last_peak_kb = 0;

double run_import() {
  return run_process({TALVERN_CLI_PATH, "--workspace", (folder() / "ws").string(), "load-conv-xafs",
                      scan().string(), "--columns", "1,ln(4/5)", "--kev", "--skip-headers"},
                     &last_peak_kb);
}

void BM_ColumnImport100MB(benchmark::State& state) {
  scan();
  bench::time_process(state, run_import);
  state.counters["peak_KiB"] = static_cast<double>(last_peak_kb);
}

BENCHMARK(BM_ColumnImport100MB)
    ->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(5);

const bench::RegisterCheck kCheck([](const bench::Times& times) {
  const double ms = median_time(times, "BM_ColumnImport100MB");
  if (ms == 0) return true;  // filtered out
  const double seconds = run_import();
  const long kb = last_peak_kb;
  const RowsRead kept = read_rows(folder() / "ws" / files::kConventionalXAFS, 2);
  std::printf("column import of a %zu MB scan, whole process: %.1f ms (target %.0f ms)%s, "
              "%ld KiB at most (target %ld KiB)%s, %zu rows kept%s\n",
              kFileBytes / 1'000'000, ms, 1000 * kTargetSeconds,
              ms > 1000 * kTargetSeconds ? " (OVER)" : "", kb, kTargetKb,
              kb > kTargetKb ? " (OVER)" : "", kept.rows, kept.rows == 5000 ? "" : " (WRONG)");
  return seconds >= 0 && ms <= 1000 * kTargetSeconds && kb <= kTargetKb && kept.rows == 5000;
});

}  // namespace
