#include "rixs/fit_sheet.h"

namespace talvern {
namespace {

using S = GlobalFitState;

// "fit-rixs": Ctrl-C or "Stop" ends the fit after the iteration in hand.
void fit(const WorkSpace& ws, S& state, CommandRun& run) { GlobalFit(ws, state, run.stop); }

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
           fit, true},
      }};
  return sheet;
}

}  // namespace talvern
