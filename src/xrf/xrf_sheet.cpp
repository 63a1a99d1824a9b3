#include "xrf/xrf_sheet.h"

#include "workspace/file_names.h"
#include "workspace/number_text.h"
#include "xrf/lsq_fit.h"

namespace talvern {
namespace {

using S = XRFState;

// The three rows of "Fix" check boxes, by kind of parameter.
constexpr std::array<std::array<bool, 4> S::*, 3> kFixRows = {&S::fix_position, &S::fix_width,
                                                                &S::fix_amplitude};

// "--fix": comma-separated parameters to hold, each a Lorentzian A..D
// alone (all three of its parameters) or with ".position", ".width" or
// ".amplitude" ("A.width,C").
void set_fixed(S& s, std::string_view text) {
  LsqTable<bool> fixed{};
  for (std::size_t start = 0;;) {
    const std::size_t comma = text.find(',', start);
    const std::string_view item = text.substr(start, comma - start);
    const std::size_t x =
        item.empty() ? 4 : static_cast<std::size_t>(std::string_view("ABCD").find(item.substr(0, 1)));
    bool known = x < 4 && (item.size() == 1 || item[1] == '.');
    if (known && item.size() == 1) {
      fixed[x] = {true, true, true};
    } else if (known) {
      known = false;
      for (std::size_t kind = 0; kind < 3; ++kind)
        if (item.substr(2) == kLsqKindNames[kind]) known = fixed[x][kind] = true;
    }
    if (!known)
      throw UsageError{"--fix takes A..D, each alone or with .position, .width or .amplitude "
                       "(A.width,C), not \"" + std::string(item) + "\""};
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  for (std::size_t x = 0; x < 4; ++x)
    for (std::size_t kind = 0; kind < 3; ++kind) (s.*kFixRows[kind])[x] = fixed[x][kind];
}

std::optional<std::string> fixed_text(const S& s) {
  std::string text;
  for (std::size_t x = 0; x < 4; ++x)
    for (std::size_t kind = 0; kind < 3; ++kind)
      if ((s.*kFixRows[kind])[x]) {
        if (!text.empty()) text += ',';
        ((text += static_cast<char>('A' + x)) += '.') += kLsqKindNames[kind];
      }
  if (text.empty()) return std::nullopt;
  return text;
}

// The fit's watch: Stop (Ctrl-C) ends it between two iterations, and the
// progress line gives the iterations and the sum of squares; a dialog's own
// watch shows them itself.
LsqWatch lsq_watch(const CommandRun& run) {
  LsqWatch watch;
  if (const auto* own = std::any_cast<LsqWatch>(&run.watch)) watch = *own;
  watch.stop = run.stop;
  if (run.progress)
    watch.progress = [progress = run.progress](std::size_t done, double squares) {
      progress("iteration " + std::to_string(done) + "  sum of squares " + format_g6(squares));
    };
  return watch;
}

// "Least-Squares Fit" from the shell: from the confirmed setting, then
// confirmed itself with --confirm; the R-factor after the message.
void fit_confirmed(const WorkSpace& ws, S& state, CommandRun& run) {
  if (!load_confirmed_setting(ws, state)) return;
  const LsqResult r = LeastSquaresFit(ws, state, lsq_watch(run));
  Outcome& out = run.outcome;
  out.message = state.message;
  if (!r.ok()) {
    out.failed = true;
    return;
  }
  if (run.options.has("--confirm")) {
    ConfirmLorentzianSetting(ws, state);
    out.message += "\r\n" + state.message;
  }
  out.after = "R-Factor: " + format_g6(r.r_after) + "\n";
}

// The model of the confirmed Lorentzians at one excitation energy.
const Touches kModel{.reads = {files::kLorentzTemp, files::kParameters, files::kEmissionMinMax,
                               files::kExpNonResonantEmission},
                     .writes = {files::kNonResonantEmission}};

// The least-squares fit of the boxes, in memory; from the shell it starts
// from the confirmed Lorentzians at the stored excitation energy.
const Touches kLeastSquares{.reads = {files::kExpNonResonantEmission, files::kEmissionMinMax,
                                      files::kParameters}};
const Touches kLeastSquaresConfirmed{
    .reads = {files::kLorentzTemp, files::kEmissionExcEnergy, files::kExpNonResonantEmission,
              files::kEmissionMinMax, files::kParameters},
    .writes = {files::kLorentzTemp}};

}  // namespace

Sheet<XRFState>& xrf_sheet() {
  static Sheet<S> sheet{
      .fields =
          {sheet::four_texts<S>("Peak Pos.", "--positions", &S::position),
           sheet::four_texts<S>("Amp.", "--amplitudes", &S::amplitude),
           sheet::four_texts<S>("Width", "--widths", &S::width),
           sheet::choice<S>("Two Components", "--flag", &S::components, {"0", "1"}, "0 or 1"),
           sheet::choice<S>("Select a Lorentzian", "--lorentzian", &S::lorentzian,
                            {"A", "B", "C", "D"}, "A, B, C or D"),
           sheet::text<S>("Exc. Energy(eV)", "--exc", &S::exc_energy),
           {"Fix", "--fix", set_fixed, fixed_text},
           sheet::flag<S>("Background", "--background", &S::background)},
      .commands = {
          {"Load XRF Data", "xrf-load", "",
           "measured XRF, Lorentzians and emission grid (\"Load XRF Data\")",
           sheet::run<S>(LoadXRFData),
           {.reads = {files::kExpNonResonantEmission, files::kEmissionExcEnergy, files::kLorentz,
                      files::kParameters},
            .writes = {files::kParameters, files::kEmissionMinMax}},
           true},
          {"", "xrf-click", "[X_L] [--energy E] --lorentzian A|B|C|D",
           "peak position of a Lorentzian from a click at panel x X_L, or at --energy E",
           sheet::click<S>("xrf-click", SetPeakPositionByClick), {.reads = {files::kEmissionMinMax}}},
          {"Confirm Lorentzian Setting", "xrf-confirm",
           "--flag 0|1 --widths W_A,W_B,W_C,W_D\n"
           "--positions P_A,P_B,P_C,P_D --amplitudes H_A,H_B,H_C,H_D",
           "the Lorentzians A-D; flag 1 for two components (\"Confirm Lorentzian Setting\")",
           sheet::run<S>(ConfirmLorentzianSetting), {.writes = {files::kLorentzTemp}}},
          {"Fit the Lorentzians", "xrf-fit", "--exc TEXT",
           "model of the confirmed Lorentzians at \"Exc. Energy(eV)\" TEXT (\"Fit the "
           "Lorentzians\")",
           sheet::run<S>(FitTheLorentzians), kModel, true},
          {"Calculate R-factor", "xrf-rfactor", "",
           "the fit against the measurement (\"Calculate R-factor\")",
           sheet::run<S>(CalculateRFactor),
           {.reads = {files::kExpNonResonantEmission, files::kNonResonantEmission},
            .writes = {files::kNonResonantEmissionForRFactor, files::kRFactorXRF}}},
          {"", "xrf-lsq", "[--fix LIST] [--background] [--confirm]",
           "least-squares fit of the confirmed Lorentzians in use to the XRF, at the stored "
           "excitation energy; LIST holds A..D or A.position, A.width, A.amplitude ... "
           "(\"Least-Squares Fit\"); --confirm then confirms the fitted values",
           fit_confirmed, kLeastSquaresConfirmed},
          {"Least-Squares Fit", "", "", "",
           [](const WorkSpace& ws, S& state, CommandRun& run) {
             LeastSquaresFit(ws, state, lsq_watch(run));
           },
           kLeastSquares, true},
          {"Complete XRF Setting", "xrf-complete", "",
           "the confirmed Lorentzians become final (\"Complete XRF Setting\")",
           sheet::run<S>(CompleteXRFSetting),
           {.reads = {files::kLorentzTemp}, .writes = {files::kLorentz}}},
      }};
  return sheet;
}

}  // namespace talvern
