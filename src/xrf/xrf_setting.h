#pragma once
// The XRF setting dialog's commands ("Setting by XRF"): the measured XRF
// spectrum, the four trial Lorentzians A-D, the fit of their model to the
// measurement, its R-factor and the final-state function of the RIXS
// calculation.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "plot/figure.h"
#include "plot/panel.h"
#include "workspace/parameters.h"
#include "workspace/workspace.h"

namespace talvern {

// Significant digits of the numbers the dialog writes into its boxes and
// messages.
namespace xrf_digits {
constexpr int kWidth = 6;
constexpr int kExcEnergy = 6;
constexpr int kPosition = 10;
constexpr int kAmplitude = 10;
constexpr int kClickedPosition = 5;
constexpr int kRFactor = 4;
}  // namespace xrf_digits

// Messages the XRF commands share.
namespace xrf_messages {
extern const char kTooFewPoints[];       // fewer than two measured points
extern const char kNoExcEnergy[];        // Emission_Exc_Energy.DAT missing
extern const char kNoRange[];            // Emission_MinMax.DAT missing
extern const char kNoHeight[];           // the model is nowhere above 0
extern const char kNoConfirmedForFit[];  // RIXS_Calculation_Lorentz_Temp.DAT missing
}  // namespace xrf_messages

// Everything the dialog shows besides its buttons. Rows of the Lorentzian
// boxes are A, B, C, D.
struct XRFState {
  std::array<std::string, 4> position;   // "Peak Pos."
  std::array<std::string, 4> amplitude;  // "Amp."
  std::array<std::string, 4> width;      // "Width"
  // Radio group "One-Compo." / "Two-Compo.(A+B and C+D)": -1 none selected,
  // 0 one component, 1 two components.
  int components = -1;
  // Radio group "Select a Lorentzian": -1 none, 0..3 for A..D.
  int lorentzian = -1;
  std::string exc_energy;                // "Exc. Energy(eV)"
  std::optional<plot::Trace> measured;   // x, y of the measured spectrum
  std::optional<plot::Trace> fit;        // x, y of the total, component 1, component 2
  std::string message;                   // message pane; "\r\n" separates lines
  std::optional<double> marker;          // click marker to draw now, at this panel x
  // "Least-Squares Fit": a "fix" check box beside each box holds that value,
  // and "Background" fits a straight background under the peaks.
  std::array<bool, 4> fix_position{}, fix_amplitude{}, fix_width{};
  bool background = false;
  std::optional<plot::Trace> background_line;  // the fitted background, drawn dotted

  bool two_components() const { return components == 1; }
};

// "Load XRF Data": fills the boxes from RIXS_Calculation_Lorentz.DAT and
// Emission_Exc_Energy.DAT, stores the emission grid of the measurement in
// the parameter file, writes Emission_MinMax.DAT and builds the measured trace.
void LoadXRFData(const WorkSpace& ws, XRFState& state);

// Left click on the XRF panel at panel coordinates `click`: inside the
// accepted range the energy under it becomes the peak position of the
// selected Lorentzian (true); outside nothing happens (false).
bool SetPeakPositionByClick(const WorkSpace& ws, XRFState& state, plot::ClickPoint click,
                            double* energy = nullptr);

// "Confirm Lorentzian Setting": the boxes and the component choice into
// RIXS_Calculation_Lorentz_Temp.DAT.
void ConfirmLorentzianSetting(const WorkSpace& ws, XRFState& state);

// "Fit the Lorentzians": one evaluation of the model at the excitation
// energy in the box, scaled so that its maximum is the measured maximum,
// written back to Non_Resonant_Emission.DAT and shown as the fit trace.
void FitTheLorentzians(const WorkSpace& ws, XRFState& state);

// "Calculate R-factor": the scaled model against the measurement at equal
// energies; writes Non_Resonant_Emission_for_RFactor.DAT and R_Factor_XRF.DAT.
void CalculateRFactor(const WorkSpace& ws, XRFState& state);

// "Complete XRF Setting": the last confirmed Lorentzians become
// RIXS_Calculation_Lorentz.DAT; a caution follows when the boxes hold
// other values (boxes_differ).
void CompleteXRFSetting(const WorkSpace& ws, XRFState& state);

// True when the twelve boxes, each rounded to six significant digits, or
// the component choice (when one is made) differ from `confirmed`; false
// while every box is empty (a command line gives none).
bool boxes_differ(const XRFState& state, const LorentzSet& confirmed);

// The curves of the XRF panel in drawing order: the two parts of the fit
// (only with two components selected), the fit total, the fitted
// background, the measurement.
std::vector<plot::Curve> xrf_curves(const XRFState& state);

// The panel's titles, the marker of the chosen Lorentzian's peak position
// (its box) and the digits a click sets it with.
plot::PanelText xrf_text(const XRFState& state);

// A Lorentzian setting into the twelve boxes and the component choice.
void show_lorentz(const LorentzSet& lor, XRFState& state);

// The Lorentzian setting the twelve boxes and the component choice hold; a
// box that does not start with a number reads as 0.
LorentzSet boxes_lorentz(const XRFState& state);

// The display range of Emission_MinMax.DAT; false when it cannot be read whole.
bool read_emission_range(const WorkSpace& ws, plot::Range& r);

// The highest total of `n` model rows (energy, total, component 1,
// component 2) times 10000, the height "Fit the Lorentzians" scales to the
// measurement; 0 when no total is above 0.
double model_height(const double* rows, std::size_t n);

// Scales the totals and parts of model rows (energy, total, component 1,
// component 2) as "Fit the Lorentzians" does, so that the highest total
// times 10000 becomes `y_max`; false, and the rows unchanged, when no total
// is above 0.
bool scale_to_measured(double* rows, std::size_t n, double y_max);

// Result of matching a model against a measurement at equal energies.
struct RFactorResult {
  std::vector<double> pairs;  // energy, model value; one pair per matched measured point
  double abs_diff_sum = 0;    // sum of |model - measured| over the pairs
  double measured_sum = 0;    // sum of the measured intensities over the pairs
  std::size_t matched() const { return pairs.size() / 2; }
};

// Measured rows (energy, intensity) against model rows (energy, total, ...,
// `model_k` values each): every measured point takes the first model row of
// exactly its energy; points without one are left out.
RFactorResult match_for_r_factor(const double* measured, std::size_t n_measured,
                                 const double* model, std::size_t n_model, std::size_t model_k);

// The pairing of match_for_r_factor, row by row: for each of `n_measured`
// measured rows (`measured_k` values each, the energy first) the index of the
// first of `n_model` model rows (`model_k` values each, the energy first) of
// exactly that energy, kNoEqualEnergy where there is none.
constexpr std::size_t kNoEqualEnergy = static_cast<std::size_t>(-1);
std::vector<std::size_t> rows_of_equal_energy(const double* measured, std::size_t n_measured,
                                              std::size_t measured_k, const double* model,
                                              std::size_t n_model, std::size_t model_k);

}  // namespace talvern
