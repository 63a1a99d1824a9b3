#include "refine/refine_sheets.h"

#include <memory>

#include "workspace/file_names.h"

namespace talvern {

Sheet<AverageState>& average_sheet() {
  using S = AverageState;
  static Sheet<S> sheet{
      .open = initial_average_state,
      .fields = {sheet::text<S>("Start Energy", "--start", &S::start_energy),
                 sheet::text<S>("End Energy", "--end", &S::end_energy),
                 sheet::list<S>("Number of Points", "--points", &S::points_list, &S::points,
                                "5, 9 or 15", " points")},
      .commands = {
          {"Average", "average", "[--start T] [--end T] [--points 5|9|15]",
           "triangular averaging of the working selective XAFS over --start ... --end eV "
           "(\"Average\"); the energies default to those of XAFS_MinMax.DAT, no --points "
           "selects nothing",
           [](const WorkSpace& ws, S& state, CommandRun& run) { Average(ws, state, run.steps); },
           {.reads = {files::kSelectiveForRIXSTemp, files::kXAFSMinMax},
            .writes = {files::kSelectiveForRIXSTemp}}},
      }};
  return sheet;
}

OptimWatch shell_optim_watch(const CommandRun& run, const OptimState& state) {
  OptimWatch watch;
  watch.stop = run.stop;
  if (!run.progress) return watch;
  struct Count {
    int repetition = 0, last = 0;
  };
  auto count = std::make_shared<Count>();
  watch.progress_range = [count](int last) {
    ++count->repetition;
    count->last = last;
  };
  const int repetitions = state.repetition + 1;
  watch.progress = [count, repetitions, progress = run.progress](int position) {
    progress("repetition " + std::to_string(count->repetition) + "/" +
             std::to_string(repetitions) + "  energy " + std::to_string(position + 1) + "/" +
             std::to_string(count->last + 1));
  };
  return watch;
}

Sheet<OptimState>& optim_sheet() {
  using S = OptimState;
  static Sheet<S> sheet{
      .open = OpenOptimization,
      .fields = {sheet::text<S>("Start Energy", "--start", &S::start_energy),
                 sheet::text<S>("End Energy", "--end", &S::end_energy),
                 sheet::text<S>("Energy Step", "--step", &S::energy_step),
                 sheet::text<S>("Peak Height", "--height", &S::peak_height),
                 sheet::text<S>("Peak Width", "--width", &S::peak_width),
                 sheet::text<S>("Upper-Limit of the Height Change", "--height-limit",
                                &S::height_limit),
                 sheet::text<S>("Step of the Height Change", "--height-step", &S::height_step),
                 sheet::list<S>("Number of Repetitions", "--repetitions", &S::repetitions,
                                &S::repetition, "1, 2 or 3"),
                 sheet::text<S>("Exc. Energy in RIXS measurement", "--exc", &S::exc_energy)},
      .commands = {
          {"Optimize Selective XAFS", "optimize",
           "[--start T] [--end T] [--step T]\n[--height T] [--width T] [--height-limit T]\n"
           "[--height-step T] [--repetitions 1|2|3] [--exc T]",
           "greedy optimisation of the working selective XAFS against the measured RIXS "
           "(\"Optimize Selective XAFS\"); each option defaults to the text the dialog opens "
           "with, no --repetitions selects nothing; Ctrl-C stops after the trial in hand",
           [](const WorkSpace& ws, S& state, CommandRun& run) {
             if (const auto* watch = std::any_cast<OptimWatch>(&run.watch))
               OptimizeSelectiveXAFS(ws, state, *watch);
             else
               OptimizeSelectiveXAFS(ws, state, shell_optim_watch(run, state));
             run.outcome.after =
                 "Number of Compo.: " + state.components + "\nR-Factor: " + state.r_factor + "\n";
           },
           {.reads = {files::kXAFSMinMax, files::kSelectiveForRIXS, files::kSelectiveForRIXSTemp,
                      files::kRIXSExp, files::kConvXAFSNormSpectrum, files::kParameters,
                      files::kLorentz},
            .writes = {files::kSelectiveForRIXSSaving, files::kSelectiveForRIXSTemp,
                       files::kCalculatedRIXS}}},
      }};
  return sheet;
}

}  // namespace talvern
