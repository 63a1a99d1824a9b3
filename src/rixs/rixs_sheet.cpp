#include "rixs/rixs_sheet.h"

#include "rixs/rixs_calculation.h"
#include "rixs/rixs_modification.h"
#include "rixs/rixs_simulation.h"

#include "workspace/file_names.h"
#include "workspace/parameters.h"

namespace talvern {
namespace {

using S = RIXSState;

// "Add" and "Subtract" of "Modification by Lorentzian", each a flag.
Field<S> sign_flag(const char* caption, const char* option, int sign) {
  return {caption, option, [sign](S& s, std::string_view) { s.sign = sign; },
          [sign](const S& s) {
            return s.sign == sign ? std::optional<std::string>("") : std::nullopt;
          }};
}

// "Calculate RIXS": a factor the command line leaves out is the one the
// calculation used last (RIXS_Calculation_Parameters.DAT), exactly.
void last_factors(const WorkSpace& ws, S& state, const CommandRun& run) {
  if (run.options.has("--scale") && run.options.has("--abs-corr")) return;
  CalcParameters p;
  read_parameters(ws.file(files::kParameters), p);
  if (!run.options.has("--scale")) state.scale = shortest_text(p.scale);
  if (!run.options.has("--abs-corr")) state.abs_correction = shortest_text(p.abs_correction);
}

using namespace files;

// The working copy read anew and written where `target` says, with its ranges.
Touches reload(const char* target) {
  return {.reads = {kSelectiveForRIXSTemp, kTempXAFSMinMax, kXAFSMinMax},
          .writes = {kXAFSMinMax, kTempXAFSMinMax, target}};
}

}  // namespace

Sheet<RIXSState>& rixs_sheet() {
  constexpr const char* kRegion = "--min T --max T";
  static Sheet<S> sheet{
      .fields =
          {sheet::text<S>("eV~", "--min", &S::region_min),
           sheet::text<S>("eV", "--max", &S::region_max),
           sheet::choice<S>("Display Mode", "--mode", &S::display_mode, {"A", "B", "AB"},
                            "A, B or AB"),
           sheet::text<S>("Central Energy", "--center", &S::central_energy),
           sheet::text<S>("Amp.", "--amp", &S::amplitude),
           sheet::text<S>("Width", "--width", &S::width),
           sign_flag("Add", "--add", S::kAdd), sign_flag("Subtract", "--subtract", S::kSubtract),
           sheet::text<S>("Energy Shift(±eV)", "--delta", &S::energy_shift),
           sheet::text<S>("Exc. Energy(eV)", "--exc", &S::exc_energy),
           sheet::text<S>("Scale Fac.", "--scale", &S::scale),
           sheet::text<S>("Abs. Corr. Fac.", "--abs-corr", &S::abs_correction)},
      // A comparison follows a calculation when a measured RIXS is shown, and
      // "Compare RIXS" a comparison when a calculated one is.
      .shown = {{"--compare", [](const S& s) { return s.experimental.has_value(); },
                 [](S& s) { s.experimental = plot::Trace(); }},
                {"--calculated", [](const S& s) { return s.calculated.has_value(); },
                 [](S& s) { s.calculated = plot::Trace(); }}},
      .commands = {
          {"Load Selective XAFS", "rixs-load-selective", "",
           "the working selective XAFS anew (\"Load Selective XAFS\")",
           sheet::run<S>(LoadSelectiveXAFS),
           {.reads = {kSelectiveReading, kParameters},
            .writes = {kXAFSMinMax, kTempXAFSMinMax, kSelectiveForRIXSTemp}},
           true},
          {"Mode Change", "rixs-mode-change", kRegion,
           "display region of the selective XAFS (\"Mode Change\")", sheet::run<S>(ModeChange),
           {.reads = {kSelectiveForRIXSTemp}, .writes = {kTempXAFSMinMax}}, true},
          {"", "rixs-pick", "[X_L] [--energy E]",
           "central and excitation energy from a click at panel x X_L, in the region in force, "
           "or --energy E itself",
           sheet::click<S>("rixs-pick", PickEnergy), {.reads = {kTempXAFSMinMax}}},
          {"Show the Peak", "rixs-show-peak", "--center T --amp T --width T",
           "the Lorentzian over the working copy (\"Show the Peak\")", sheet::run<S>(ShowThePeak),
           {.reads = {kSelectiveForRIXSTemp}, .writes = {kXAFSLorentzTemp}}, true},
          {"Modify XAFS", "rixs-modify", "--mode A|B|AB (--add|--subtract)",
           "the Lorentzian last shown added or subtracted (\"Modify XAFS\")",
           sheet::run<S>(ModifyXAFS),
           {.reads = {kSelectiveForRIXSTemp, kXAFSLorentzTemp, kTempXAFSMinMax},
            .writes = {kSelectiveForRIXSTemp2}},
           true},
          {"Save It Temporarily", "rixs-save-temporarily", "",
           "the last modification becomes the working copy (\"Save It Temporarily\")",
           sheet::run<S>(SaveItTemporarily),
           {.reads = {kSelectiveForRIXSTemp2}, .writes = {kSelectiveForRIXSTemp}}},
          {"More Change", "rixs-more-change", kRegion, "reload the working copy (\"More Change\")",
           sheet::run<S>(MoreChange), reload(kSelectiveForRIXSTemp), true},
          {"Complete the Modification", "rixs-complete", kRegion,
           "the working copy for the calculation (\"Complete the Modification\")",
           sheet::run<S>(CompleteTheModification), reload(kSelectiveForRIXS), true},
          {"Save Modified XAFS", "rixs-save-modified", "FILE",
           "the completed selective XAFS into FILE (\"Save Modified XAFS\")",
           sheet::run<S>(SaveModifiedXAFS),
           {.reads = {kSelectiveForRIXS}, .yours = Touches::Yours::written}},
          {"Shift", "rixs-shift", "--delta T", "shift the working copy by T eV (\"Shift\")",
           sheet::run<S>(ShiftSelectiveXAFS),
           {.reads = {kSelectiveForRIXSTemp, kTempXAFSMinMax, kXAFSMinMax},
            .writes = {kSelectiveForRIXSTemp}},
           true},
          {"Calculate RIXS", "rixs-calculate", "--exc T [--scale T] [--abs-corr T]\n[--compare]",
           "RIXS at excitation energy T (\"Calculate RIXS\"); a factor not given is the one "
           "last used; --compare: a measured RIXS is shown, so the comparison follows",
           sheet::run<S>(CalculateRIXSSpectrum),
           {.reads = {kSelectiveForRIXS, kConvXAFSNormSpectrum, kParameters, kLorentz},
            .writes = {kParameters, kCalculatedRIXS}},
           true, last_factors},
          {"Comp. Exp. RIXS", "rixs-comp-exp", "[--calculated]",
           "the stored measured RIXS against the calculated one (\"Comp. Exp. RIXS\"); "
           "--calculated: a calculated RIXS is shown, so \"Compare RIXS\" follows",
           sheet::run<S>(CompExpRIXS),
           {.reads = {kRIXSExp, kCalculatedRIXS},
            .writes = {kRIXSExp, kCalculatedRIXS, kExpMinMax}},
           true},
          {"Comp. Another RIXS", "rixs-comp-another",
           "FILE [FILE...] [--calculated]\n[--columns COLUMNS] [--kev] [--skip-headers] [--align] [--group LABEL...]",
           "the measured RIXS of FILE against the calculated one (\"Comp. Another RIXS\")",
           sheet::run<S>(CompAnotherRIXS),
           {.reads = {kCalculatedRIXS},
            .writes = {kRIXSExp, kCalculatedRIXS, kExpMinMax, kMergedScans},
            .yours = Touches::Yours::read},
           true},
          {"Save RIXS", "rixs-save", "FILE", "the calculated RIXS into FILE (\"Save RIXS\")",
           sheet::run<S>(SaveRIXS), {.reads = {kCalculatedRIXS}, .yours = Touches::Yours::written}},
          {"Clear", "", "", "", sheet::run<S>(ClearSelectiveXAFS), {}, true},
          {"Clear RIXS", "", "", "", sheet::run<S>(ClearRIXS), {}, true},
          {"All Clear", "", "", "", sheet::run<S>(AllClear), {}, true},
          {"Compare RIXS", "", "", "", sheet::run<S>(CompareRIXS),
           {.reads = {kRIXSExp, kCalculatedRIXS, kExpMinMax}}, true},
      }};
  return sheet;
}

}  // namespace talvern
