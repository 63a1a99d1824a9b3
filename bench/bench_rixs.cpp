// Speed of one RIXS calculation, against a plain transcription of the sum.
//
// Two sizes: 2000 selective XAFS rows x 451 emission energies, and
// 600 x 181. Each is timed for the engine (CalculateRIXS, files included)
// and for the reference below (same files, same readers and writer, the sum
// written out term by term). After the runs the program prints the ratio
// reference / engine per size and the largest relative difference between
// the two results in memory.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench_checks.h"
#include "bench_workspace.h"
#include "engine/engine.h"
#include "workspace/file_names.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"

namespace {

using namespace talvern;

constexpr double kOmega = 7116.0;

struct Size {
  std::size_t rows;       // selective XAFS rows
  double emission_start;  // the grid ends at 7065 with a 0.1 eV step
};

WorkSpace make_workspace(const Size& size) {
  return bench::make_workspace("talvern-bench-" + std::to_string(size.rows),
                               {size.rows, size.emission_start, 7065.0001});
}

// The four inputs of the engine, read as the engine reads them.
struct Inputs {
  RowsRead sel, conv;
  CalcParameters par;
  LorentzSet lor;
};

Inputs read_inputs(const WorkSpace& ws) {
  Inputs in{read_rows(ws.file(files::kSelectiveForRIXS), 3, 5000),
            read_rows(ws.file(files::kConvXAFSNormSpectrum), 2, 2000), {}, {}};
  read_parameters(ws.file(files::kParameters), in.par);
  read_lorentz(ws.file(files::kLorentz), in.lor);
  return in;
}

// The sum exactly as it reads, one Lorentzian and one term at a time.
std::vector<double> reference_rows(const WorkSpace& ws, double omega) {
  const auto [sel, conv, par, lor] = read_inputs(ws);

  double mu = 1.0;
  for (std::size_t j = 0; j + 1 < conv.rows; ++j) {
    if (omega - conv.at(j, 0) < 0.5) {
      mu = conv.at(j, 1) + (conv.at(j + 1, 1) - conv.at(j, 1)) * (omega - conv.at(j, 0)) /
                               (conv.at(j + 1, 0) - conv.at(j, 0));
      break;
    }
  }
  const double gamma = 0.5 * par.gamma;
  const double h = sel.at(1, 0) - sel.at(0, 0);
  const double ac = 1.0 / (1.0 + par.abs_correction * mu);
  const auto& P = lor.position;
  const double M[4] = {P[0], P[1] + (P[1] - P[0]), P[2], P[3] + (P[3] - P[2])};

  std::vector<double> out;
  std::size_t points = 0;
  for (double w = par.emission_start; w <= par.emission_end && points < 5000;
       w += par.emission_step, ++points) {
    double T[4];
    for (int X = 0; X < 4; ++X) {
      double sum = 0;
      for (std::size_t i = 0; i < sel.rows; ++i) {
        const double E = sel.at(i, 0);
        const double weight = i == 0 ? 1.0 : (i % 2 == 1 ? 4.0 : 2.0);
        const double C = (w / omega) * E / ((E - omega) * (E - omega) + gamma * gamma);
        const double arg = E - omega + w - P[X];
        const double F = lor.amplitude[X] /
                         ((lor.width[X] / 2) * (lor.width[X] / 2) + arg * arg) * M[X];
        const double Y = X < 2 ? sel.at(i, 1) : sel.at(i, 2);
        sum += weight * C * F * Y;
      }
      T[X] = (h / 3) * ac * sum;
    }
    double I, I1, I2;
    if (lor.two_component == 1) {
      I1 = par.scale * (T[0] + T[1]);
      I2 = par.scale * (T[2] + T[3]);
      I = I1 + I2;
    } else {
      I = par.scale * (T[0] + T[1] + T[2] + T[3]);
      I1 = I;
      I2 = 0;
    }
    out.insert(out.end(), {w, I, I1, I2});
  }
  return out;
}

const Size kSizes[] = {{2000, 7020.0}, {600, 7047.0}};

void BM_Engine(benchmark::State& state) {
  const WorkSpace ws = make_workspace(kSizes[state.range(0)]);
  for (auto _ : state) benchmark::DoNotOptimize(CalculateRIXS(ws, kOmega));
}

void BM_Reference(benchmark::State& state) {
  const WorkSpace ws = make_workspace(kSizes[state.range(0)]);
  for (auto _ : state) {
    auto rows = reference_rows(ws, kOmega);
    pass_over(write_rows(ws.file(files::kCalculatedRIXS), rows.data(), rows.size() / 4, 4));
  }
}

BENCHMARK(BM_Engine)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Reference)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Remembers the time of every run so the ratios can be printed at the end.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  bench::Times times;
  void ReportRuns(const std::vector<Run>& runs) override {
    // With repetitions, the median stands for the benchmark.
    for (const auto& r : runs) {
      if (r.error_occurred) continue;
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
      times[r.run_name.str()] = r.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

double largest_relative_difference(const Size& size) {
  const WorkSpace ws = make_workspace(size);
  const Inputs in = read_inputs(ws);
  bool capped = false;
  const auto ours = rixs_rows(in.sel, in.conv, in.par, in.lor, kOmega, capped);
  const auto ref = reference_rows(ws, kOmega);
  if (ours.size() != ref.size()) return INFINITY;
  double worst = 0;
  for (std::size_t i = 0; i < ref.size(); ++i) {
    const double diff = std::abs(ours[i] - ref[i]);
    worst = std::max(worst, ref[i] == 0 ? diff : diff / std::abs(ref[i]));
  }
  return worst;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  int status = 0;
  for (int k = 0; k < 2; ++k) {
    const std::string arg = std::string("/").append(std::to_string(k)).append("/real_time");
    const double ours = reporter.times["BM_Engine" + arg];
    const double ref = reporter.times["BM_Reference" + arg];
    const double diff = largest_relative_difference(kSizes[k]);
    std::printf("%zu rows: reference/engine = %.1fx, largest relative difference %.2e\n",
                kSizes[k].rows, ours > 0 ? ref / ours : 0.0, diff);
    if (!(diff <= 1e-12)) status = 1;
  }
  for (const auto& check : bench::checks())
    if (!check(reporter.times)) status = 1;
  benchmark::Shutdown();
  return status;
}
