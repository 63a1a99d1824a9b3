// What the flush of a work-space write costs. write_text_atomic flushes the
// temporary file to the disk before the rename and the directory after it;
// the same write without the two flushes is written out below. The file is
// a typical calculated spectrum: 2000 rows x 4 values.
//
// The check prints the cost of the flushes per written file and what it
// adds to the commands: "Calculate RIXS" (talvern-cli calc-rixs) writes one
// file, so its whole-process time of bench_process.cpp grows by one flush;
// "Optimize Selective XAFS" writes at most four files whatever the number
// of trials (the first calculation, the backup, the working copy and the
// calculation of the last trial).

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

constexpr std::size_t kRows = 2000;
constexpr int kOptimisationFiles = 4;

const std::string& spectrum_text() {
  static const std::string text = [] {
    std::vector<double> rows;
    for (std::size_t i = 0; i < kRows; ++i)
      rows.insert(rows.end(), {6900 + 0.1 * static_cast<double>(i), 1.234567e-3 * static_cast<double>(i),
                               0.5 + 1e-4 * static_cast<double>(i), 7.654321e-2});
    return format_rows(rows.data(), kRows, 4);
  }();
  return text;
}

const WorkSpace& workspace() {
  static const WorkSpace ws = bench::make_workspace("talvern-bench-write", {10, 7000, 7001});
  return ws;
}

// write_text_atomic as it was before the flushes: temporary file, rename.
bool write_unflushed(const std::filesystem::path& file, const std::string& content) {
  std::string name = ".";
  name += file.filename().string();
  name += ".XXXXXX";
  std::string tmp = (file.parent_path() / name).string();
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) return false;
  ::fchmod(fd, 0644);
  for (std::size_t done = 0; done < content.size();) {
    const ssize_t put = ::write(fd, content.data() + done, content.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) break;
    done += static_cast<std::size_t>(put);
  }
  return ::close(fd) == 0 && std::rename(tmp.c_str(), file.c_str()) == 0;
}

void BM_WriteFlushed(benchmark::State& state) {
  const auto file = workspace().file(files::kCalculatedRIXS);
  for (auto _ : state)
    if (write_text_atomic(file, spectrum_text()) != WriteStatus::ok) state.SkipWithError("write");
}

void BM_WriteUnflushed(benchmark::State& state) {
  const auto file = workspace().file(files::kCalculatedRIXS);
  for (auto _ : state)
    if (!write_unflushed(file, spectrum_text())) state.SkipWithError("write");
}

BENCHMARK(BM_WriteFlushed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(50);
BENCHMARK(BM_WriteUnflushed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(50);

bool report_flush(const bench::Times& times) {
  const double flushed = bench::median_time(times, "BM_WriteFlushed");
  const double unflushed = bench::median_time(times, "BM_WriteUnflushed");
  if (flushed <= 0 || unflushed <= 0) return true;  // filtered out
  const double flush = flushed - unflushed;
  std::printf("write of %zu rows x 4 (%zu bytes): %.3f ms flushed, %.3f ms without the flush; "
              "the flush costs %.3f ms per file\n",
              kRows, spectrum_text().size(), flushed, unflushed, flush);
  const double cli = bench::median_time(times, "BM_ProcessCli");
  if (cli > 0)
    std::printf("  per command: calc-rixs (1 file) +%.3f ms of %.1f ms (%.1f %%); "
                "optimize (%d files) +%.3f ms\n",
                flush, cli, 100 * flush / cli, kOptimisationFiles, kOptimisationFiles * flush);
  else
    std::printf("  per command: calc-rixs (1 file) +%.3f ms; optimize (%d files) +%.3f ms\n", flush,
                kOptimisationFiles, kOptimisationFiles * flush);
  return true;
}

const bench::RegisterCheck kCheck(report_flush);

}  // namespace
