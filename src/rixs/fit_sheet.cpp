#include "rixs/fit_sheet.h"

#include <memory>
#include <utility>

#include "command/history.h"
#include "command/subcommands.h"
#include "workspace/file_names.h"
#include "workspace/number_text.h"

namespace talvern {
namespace {

using S = GlobalFitState;

// What a fit-rixs line gives of `state`: its fields alone.
S fields_of(const S& state) {
  S fields = state;
  fields.result.reset();
  fields.free_result.reset();
  fields.fitted_from.reset();
  fields.message.clear();
  return fields;
}

// "fit-rixs": Ctrl-C or "Stop" ends the fit after the iteration in hand.
// The fitted values then stand in the peaks, where the next fit starts; a
// fit that ran to its end without --confirm is kept for "Apply".
void fit(const WorkSpace& ws, S& state, CommandRun& run) {
  S from = fields_of(state);
  state.fitted_from.reset();
  GlobalFit(ws, state, run.stop);
  const bool stopped = (run.stop && run.stop->load()) || (state.result && state.result->stopped);
  if (!state.confirm && !stopped && (state.result || state.free_result))
    state.fitted_from = std::make_shared<const S>(std::move(from));
  if (!state.result) return;
  const std::vector<FitParameter>& p = state.result->parameters;
  for (std::size_t i = 0; i < state.peaks.size() && 3 * i + 2 < p.size(); ++i)
    state.peaks[i] = format_g6(p[3 * i].value) + "," + format_g6(p[3 * i + 1].value) + "," +
                     format_g6(p[3 * i + 2].value);
}

// "Apply": the fit kept by the last "Fit" into the work-space, as that
// fit's line with --confirm leaves it, and that line into the history, so
// that a replay leaves the same files. The peaks' result is applied as it
// stands; the free form, which applies itself, runs again in full (without
// Stop, as the line will).
void apply(const WorkSpace& ws, S& state, CommandRun&) {
  if (!state.fitted_from) {
    state.message =
        "ERROR!!\r\nThere is no fit to apply: press Fit first. A fit\r\nthat was stopped, failed "
        "or was applied already\r\nis not applied.";
    return;
  }
  S line = *state.fitted_from;
  line.confirm = true;
  if (state.result) {
    // What was written first, where the pane shows it; the fit's report after.
    std::string applied = apply_fit(ws, *state.result);
    if (applied.starts_with("\r\n")) applied.erase(0, 2);
    state.message = applied + "\r\n" + fit_report_text(*state.result);
  } else {
    S again = line;
    GlobalFit(ws, again);
    state.free_result = std::move(again.free_result);
    state.message = std::move(again.message);
  }
  const Sheet<S>& sheet = global_fit_sheet();
  Outcome outcome;
  outcome.message = state.message;
  state.message += append_history(
      ws, history_words(sheet, *sheet.command("fit-rixs"), line, CommandRun{}, FileRecord{}),
      exit_status(outcome));
  state.fitted_from.reset();
}

}  // namespace

Sheet<GlobalFitState>& global_fit_sheet() {
  static Sheet<S> sheet{
      .fields = {sheet::repeated<S>("Peaks", "--peak", &S::peaks),
                 sheet::choice<S>("Components", "--components", &S::components, {"A", "B", "AB"},
                                  "A, B or AB"),
                 sheet::flag<S>("Fit Scale Fac.", "--fit-scale", &S::fit_scale),
                 sheet::flag<S>("Fit Abs. Corr. Fac.", "--fit-abs-corr", &S::fit_abs_corr),
                 sheet::flag<S>("Fit Shift", "--fit-shift", &S::fit_shift),
                 sheet::text<S>("Fix", "--fix", &S::fix),
                 sheet::choice<S>("Weights", "--weights", &S::weights, {"none", "poisson"},
                                  "none or poisson"),
                 sheet::flag<S>("JSON", "--json", &S::json),
                 sheet::flag<S>("Apply", "--confirm", &S::confirm),
                 sheet::flag<S>("Free Form", "--free", &S::free),
                 sheet::text<S>("Smoothness", "--smooth", &S::smooth)},
      .commands = {
          {"Fit", "fit-rixs",
           "[--peak C,A,W...] [--components A|B|AB]\n[--fit-scale] [--fit-abs-corr] [--fit-shift]\n"
           "[--fix NAMES] [--weights none|poisson] [--json]\n[--confirm] [--free] [--smooth LAMBDA|auto]",
           "least squares of the model against every point of RIXS_Plane_Exp.DAT: Lorentzians "
           "A/((E-C)^2+W^2) added to the working selective XAFS (--peak, repeated), the scale, "
           "the absorption correction and a shift; NAME = VALUE ± SIGMA, the R-factors, the "
           "reduced chi-square and cautions (--json: one JSON object); --confirm applies the fit; "
           "--free: the selective XAFS itself, non-negative and smooth (--smooth), into "
           "SelectiveXAFS_Free_Fit.DAT",
           fit,
           {.reads = {files::kPlaneExp, files::kSelectiveForRIXSTemp, files::kConvXAFSNormSpectrum,
                      files::kParameters, files::kLorentz},
            .writes = {files::kFreeFit, files::kSelectiveForRIXSTemp2, files::kSelectiveForRIXSTemp,
                       files::kSelectiveForRIXS, files::kXAFSMinMax, files::kParameters}},
           true},
          // Recorded by itself, as the line of the fit it applies.
          {"Apply", "", "", "", apply,
           {.reads = {files::kPlaneExp, files::kSelectiveForRIXSTemp},
            .writes = {files::kSelectiveForRIXSTemp2, files::kSelectiveForRIXSTemp,
                       files::kSelectiveForRIXS, files::kXAFSMinMax, files::kParameters}},
           true},
      }};
  return sheet;
}

}  // namespace talvern
