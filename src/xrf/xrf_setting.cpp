#include "xrf/xrf_setting.h"

#include <algorithm>
#include <cmath>

#include "engine/engine.h"
#include "workspace/write_log.h"
#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/min_max.h"
#include "workspace/number_text.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"
#include "xrf/emission_model.h"

// A work-space file that cannot be written is passed over, as by every
// writer of the work-space: the command goes on. Values are checked to be
// finite before they are written, so no file is refused half-way.

namespace talvern {

namespace xrf_messages {

const char kTooFewPoints[] =
    "ERROR!!\r\nExp_Non_Resonant_Emission.DAT holds fewer\r\nthan two points, so no energy step "
    "can be\r\nformed. Load the XRF spectrum on the main\r\nform first.";

const char kNoExcEnergy[] =
    "ERROR!!\r\nEmission_Exc_Energy.DAT is missing or holds\r\nno number. \"Construct Work-Space\" "
    "writes\r\nit again when it is missing.";

const char kNoRange[] =
    "ERROR!!\r\nThe range of the XRF spectrum is not known\r\nyet. Press \"Load XRF Data\" first.";

const char kNoHeight[] =
    "ERROR!!\r\nThe calculated spectrum is nowhere above 0,\r\nso it cannot be scaled to the "
    "measurement.\r\nCheck the amplitudes, the Exc. Energy(eV)\r\nand the loaded XRF data.";

const char kNoConfirmedForFit[] =
    "ERROR!!\r\nNo confirmed Lorentzian setting was found.\r\nPress \"Confirm Lorentzian "
    "Setting\" first.";

}  // namespace xrf_messages

using namespace xrf_messages;

namespace {

const char kLoaded[] =
    "XRF data were successfully introduced.\r\nExc. energy in measureing this spectrum was "
    "initially\r\nset to ";
const char kLoadedTail[] =
    " eV.\r\nPlease correct this energy, confirm the Lorentzian\r\nsetting anyway, and try to fit "
    "the spectrum.\r\nIf calculated results do not well reproduce the\r\nexperimental data, modify "
    "the parameters of four\r\nLorentzians, A-D, and try again.\r\nThe peak positions can be also "
    "obtained graphically\r\nby clicking the mouse on the spectrum after\r\nselecting a Lorentzian "
    "by radio-buttons.";

const char kFitted[] =
    "A fitting curve was calculated.  If OK, click the\r\ncomplete-XRF-setting button.\r\nYou can "
    "calculate R-factor.\r\nIf the R-factor is less than 5%, the fitting may be\r\ntolerable.\r\n"
    "If the agreement seems to be insufficient, please\r\nadjust the parameters again.";

const char kNoLorentz[] =
    "ERROR!!\r\nRIXS_Calculation_Lorentz.DAT is missing or\r\nincomplete. \"Construct "
    "Work-Space\" writes\r\nit again when it is missing.";

const char kNoConfirmed[] =
    "ERROR!!\r\nNo confirmed Lorentzian setting was found.\r\nPress \"Confirm Lorentzian "
    "Setting\" first.\r\nRIXS_Calculation_Lorentz.DAT was not changed.";

const char kScaledTooLarge[] =
    "ERROR!!\r\nThe scaled model would hold values too\r\nlarge to be stored; "
    "Non_Resonant_Emission.DAT\r\nkeeps the unscaled model.";

const char kCannotDraw[] =
    "The range has a single energy or a constant\r\nintensity; the curves cannot be drawn.\r\n";

const char kNoPairs[] =
    "ERROR!!\r\nNo measured energy has a calculated point\r\nof the same energy (or the matched "
    "intensities\r\nsum to 0), so no R-factor can be formed.\r\nLoad XRF Data and fit the "
    "Lorentzians again.";

const char kBadConfirmed[] =
    "ERROR!!\r\nRIXS_Calculation_Lorentz_Temp.DAT does not hold\r\none flag of 0 or 1 and "
    "twelve finite numbers.\r\nConfirm the Lorentzian setting again.\r\n"
    "RIXS_Calculation_Lorentz.DAT was not changed.";

// After "Complete XRF Setting" when the boxes show other values than the
// confirmed ones it stored (the values of a least-squares fit, say).
const char kBoxesNotConfirmed[] =
    "\r\nCAUTION!! the boxes hold values that were not confirmed;\r\nthe confirmed ones were "
    "stored.";

const char kRFactorNotGiven[] =
    "ERROR!!\r\nThe work-space cannot be written, so the model\r\nin it may be older than the "
    "last fit; no R-factor\r\nis given.";

// Panel trace of `curves` intensity columns (1, 2, ...) of `rows` over the
// range `r`; nothing when the range cannot be mapped.
std::optional<plot::Trace> build_trace(const RowsRead& rows, const plot::Range& r,
                                       std::size_t curves) {
  return plot::standard_trace(rows.values.data(), rows.rows, rows.k, curves, r);
}

}  // namespace

void show_lorentz(const LorentzSet& lor, XRFState& state) {
  for (std::size_t i = 0; i < 4; ++i) {
    state.width[i] = format_edit(lor.width[i], xrf_digits::kWidth);
    state.position[i] = format_edit(lor.position[i], xrf_digits::kPosition);
    state.amplitude[i] = format_edit(lor.amplitude[i], xrf_digits::kAmplitude);
  }
  state.components = lor.two_component == 1 ? 1 : 0;
}

LorentzSet boxes_lorentz(const XRFState& state) {
  LorentzSet set;
  for (std::size_t i = 0; i < 4; ++i) {
    set.width[i] = parse_edit(state.width[i]);
    set.position[i] = parse_edit(state.position[i]);
    set.amplitude[i] = parse_edit(state.amplitude[i]);
  }
  set.two_component = state.two_components() ? 1 : 0;
  return set;
}

bool read_emission_range(const WorkSpace& ws, plot::Range& r) {
  double v[4] = {0, 0, 0, 0};
  if (read_one_row(ws.file(files::kEmissionMinMax), v, 4) < 4) return false;
  r = {v[0], v[1], v[2], v[3]};
  return true;
}

double model_height(const double* rows, std::size_t n) {
  double t_max = 0.0;
  for (std::size_t j = 0; j < n; ++j)
    if (kStandardRangeScale * rows[4 * j + 1] > t_max) t_max = kStandardRangeScale * rows[4 * j + 1];
  return t_max;
}

bool scale_to_measured(double* rows, std::size_t n, double y_max) {
  const double t_max = model_height(rows, n);
  if (!(t_max > 0.0)) return false;
  const double factor = y_max / t_max;
  for (std::size_t j = 0; j < n; ++j)
    for (std::size_t c = 1; c < 4; ++c) rows[4 * j + c] *= factor;
  return true;
}

void LoadXRFData(const WorkSpace& ws, XRFState& state) {
  state.message = "Loading XRF data...";
  state.measured.reset();
  state.fit.reset();
  state.background_line.reset();
  state.marker.reset();

  const RowsRead xrf = read_rows(ws.file(files::kExpNonResonantEmission), 2, kRowCapacity);
  if (xrf.rows < 2) {
    state.message = kTooFewPoints;
    return;
  }
  double omega = 0;
  if (read_one_row(ws.file(files::kEmissionExcEnergy), &omega, 1) < 1) {
    state.message = kNoExcEnergy;
    return;
  }
  LorentzSet lor;
  if (read_lorentz(ws.file(files::kLorentz), lor) < LorentzSet::kCount) {
    state.message = kNoLorentz;
    return;
  }

  const MinMax m = spectrum_min_max(xrf.values.data(), xrf.rows, 2, kStandardRangeScale);
  const plot::Range r{m.e_min, m.e_max, m.i_min, m.i_max};
  const auto range = m.row();
  const double step = std::fabs(xrf.at(1, 0) - xrf.at(0, 0));
  if (!all_finite(range.data(), range.size()) || !std::isfinite(step)) {
    state.message = not_finite_message();
    return;
  }
  WriteLog log;
  log.note(files::kParameters, update_parameters(ws, [&](CalcParameters& p) {
                                 p.emission_start = r.e_min;
                                 p.emission_end = r.e_max;
                                 p.emission_step = step;
                               }).write);
  log.rows(ws, files::kEmissionMinMax, range.data(), 1, 4);

  show_lorentz(lor, state);
  state.lorentzian = 0;
  state.exc_energy = format_edit(omega, xrf_digits::kExcEnergy);
  state.measured = build_trace(xrf, r, 1);

  std::string caution;
  add_caution(caution, short_read_lines(xrf, files::kExpNonResonantEmission, kRowCapacity));
  if (!state.measured) add_caution(caution, kCannotDraw);
  state.message = caution + kLoaded + state.exc_energy + kLoadedTail;
  log.append_to(state.message);
}

bool SetPeakPositionByClick(const WorkSpace& ws, XRFState& state, plot::ClickPoint click,
                            double* energy) {
  if (!plot::click_accepted(click)) return false;
  // "A" when selected, else "B", else "C", else "D".
  const std::size_t which =
      state.lorentzian >= 0 && state.lorentzian < 4 ? static_cast<std::size_t>(state.lorentzian) : 3;
  plot::Range r;
  if (!read_emission_range(ws, r)) {
    state.message = kNoRange;
    return true;
  }
  state.marker = plot::click_marker_x(click, r.e_min, r.e_max);
  const double e = plot::click_energy(click, r.e_min, r.e_max);
  if (energy) *energy = e;
  state.position[which] = format_edit(e, xrf_digits::kClickedPosition);
  state.message =
      "The peak position of the Lorentzian was changed.\r\nIf it is OK, confirm "
      "Lorentzian-setting.\r\nBy clicking radio buttons, you can change peak\r\npositions of "
      "another Lorentzian.";
  return true;
}

void ConfirmLorentzianSetting(const WorkSpace& ws, XRFState& state) {
  // Edit-box texts always read as finite numbers (0 when not a number).
  const LorentzSet set = boxes_lorentz(state);
  WriteLog log;
  log.note(files::kLorentzTemp, write_lorentz(ws.file(files::kLorentzTemp), set));
  state.message =
      "The parameters of the Lorentzians were confirmed.\r\nTry to fit the spectrum by these "
      "Lorentzians.\r\nIf you have some troubles, please reload XRF data\r\nagain.  Initial "
      "parameters will be recovered.";
  log.append_to(state.message);
}

void FitTheLorentzians(const WorkSpace& ws, XRFState& state) {
  state.message.clear();
  state.fit.reset();
  state.background_line.reset();
  const double omega = parse_edit(state.exc_energy);
  plot::Range r;
  if (!read_emission_range(ws, r)) {
    state.message = kNoRange;
    return;
  }
  // Checked first, so that a missing setting leaves the last model in place.
  LorentzSet confirmed;
  if (read_lorentz(ws.file(files::kLorentzTemp), confirmed) < LorentzSet::kCount) {
    state.message = kNoConfirmedForFit;
    return;
  }
  const EngineReport report = CalculateNonResonantEmission(ws, omega);
  if (report.status != EngineReport::Status::ok) {
    state.message = engine_message(report, files::kNonResonantEmission);
    return;
  }

  // The model as stored (six digits), scaled to the measured maximum.
  RowsRead model = read_rows(ws.file(files::kNonResonantEmission), 4, kRowCapacity);
  const std::size_t n = model.rows;
  if (!scale_to_measured(model.values.data(), n, r.y_max)) {
    state.message = kNoHeight;
    return;
  }
  if (!all_finite(model.values.data(), 4 * n)) {
    state.message = kScaledTooLarge;
    return;
  }
  WriteLog log;
  log.rows(ws, files::kNonResonantEmission, model.values.data(), n, 4);
  state.fit = build_trace(model, r, 3);

  // After a clean run the engine has nothing to say, else a caution with its heading.
  std::string caution = engine_message(report, files::kNonResonantEmission);
  if (!caution.empty()) caution += "\r\n";
  if (!state.fit) add_caution(caution, kCannotDraw);
  state.message = caution + kFitted;
  log.append_to(state.message);
}

std::vector<std::size_t> rows_of_equal_energy(const double* measured, std::size_t n_measured,
                                              std::size_t measured_k, const double* model,
                                              std::size_t n_model, std::size_t model_k) {
  std::vector<std::size_t> row(n_measured, kNoEqualEnergy);
  for (std::size_t k = 0; k < n_measured; ++k)
    for (std::size_t j = 0; j < n_model; ++j)
      if (model[model_k * j] == measured[measured_k * k]) {
        row[k] = j;
        break;
      }
  return row;
}

RFactorResult match_for_r_factor(const double* measured, std::size_t n_measured,
                                 const double* model, std::size_t n_model, std::size_t model_k) {
  RFactorResult r;
  const std::vector<std::size_t> row =
      rows_of_equal_energy(measured, n_measured, 2, model, n_model, model_k);
  for (std::size_t k = 0; k < n_measured; ++k) {
    if (row[k] == kNoEqualEnergy) continue;
    const double x = measured[2 * k];
    const double y = measured[2 * k + 1];
    const double fit = model[model_k * row[k] + 1];
    r.pairs.insert(r.pairs.end(), {x, fit});
    r.abs_diff_sum += std::fabs(fit - y);
    r.measured_sum += y;
  }
  return r;
}

void CalculateRFactor(const WorkSpace& ws, XRFState& state) {
  const RowsRead measured = read_rows(ws.file(files::kExpNonResonantEmission), 2, kRowCapacity);
  const RowsRead model = read_rows(ws.file(files::kNonResonantEmission), 4, kRowCapacity);
  const RFactorResult m = match_for_r_factor(measured.values.data(), measured.rows,
                                             model.values.data(), model.rows, 4);
  WriteLog log;
  log.rows(ws, files::kNonResonantEmissionForRFactor, m.pairs.data(), m.matched(), 2);
  if (m.matched() == 0 || m.measured_sum == 0.0) {
    state.message = kNoPairs;
    log.append_to(state.message);
    return;
  }
  const double r = 100.0 * m.abs_diff_sum / m.measured_sum;
  if (!std::isfinite(r)) {
    state.message = not_finite_message();
    return;
  }
  // A work-space that cannot be written cannot have taken the last fit
  // either: its model may be older, so no number is given.
  if (log.failed()) {
    state.message = kRFactorNotGiven;
    log.append_to(state.message);
    return;
  }
  log.rows(ws, files::kRFactorXRF, &r, 1, 1);
  std::string caution;
  add_caution(caution, short_read_lines(measured, files::kExpNonResonantEmission, kRowCapacity));
  add_caution(caution, short_read_lines(model, files::kNonResonantEmission, kRowCapacity));
  state.message = caution + "R-factor was calculated: " + format_edit(r, xrf_digits::kRFactor) + " %";
  log.append_to(state.message);
}

void CompleteXRFSetting(const WorkSpace& ws, XRFState& state) {
  // The confirmed setting is read and written back by the file conventions,
  // so nothing but one whole setting reaches the RIXS calculation.
  LorentzSet confirmed;
  std::string text;
  if (!read_text(ws.file(files::kLorentzTemp), text) ||
      parse_lorentz(text, confirmed) < LorentzSet::kCount) {
    state.message = kNoConfirmed;
    return;
  }
  if (!is_whole_lorentz_setting(text)) {
    state.message = kBadConfirmed;
    return;
  }
  WriteLog log;
  log.note(files::kLorentz, write_lorentz(ws.file(files::kLorentz), confirmed));
  state.message =
      "The final-state function was successfully generated.\r\nClick OK, and go to the next "
      "step: RIXS simulation.";
  if (boxes_differ(state, confirmed)) state.message += kBoxesNotConfirmed;
  log.append_to(state.message);
}

bool boxes_differ(const XRFState& state, const LorentzSet& confirmed) {
  const auto boxes = {&state.position, &state.amplitude, &state.width};
  if (std::all_of(boxes.begin(), boxes.end(), [](const std::array<std::string, 4>* row) {
        return std::all_of(row->begin(), row->end(), [](const std::string& t) { return t.empty(); });
      }))
    return false;
  const LorentzSet typed = boxes_lorentz(state);
  const auto differ = [](const std::array<double, 4>& a, const std::array<double, 4>& b) {
    for (std::size_t i = 0; i < a.size(); ++i)
      if (through_g6(a[i]) != through_g6(b[i])) return true;
    return false;
  };
  return differ(typed.position, confirmed.position) ||
         differ(typed.amplitude, confirmed.amplitude) || differ(typed.width, confirmed.width) ||
         (state.components >= 0 && typed.two_component != confirmed.two_component);
}

std::vector<plot::Curve> xrf_curves(const XRFState& state) {
  std::vector<plot::Curve> curves;
  if (state.fit) {
    if (state.two_components()) {
      curves.push_back({&*state.fit, 1, plot::Pen::sky_blue, {}, false, "model_component1",
                        plot::names::kComponent1});
      curves.push_back({&*state.fit, 2, plot::Pen::sky_blue, {}, false, "model_component2",
                        plot::names::kComponent2});
    }
    curves.push_back({&*state.fit, 0, plot::Pen::blue, {}, false, "model", plot::names::kCalculated});
  }
  if (state.background_line)
    curves.push_back({&*state.background_line, 0, plot::Pen::green, {}, false, "background",
                      plot::names::kBackground});
  if (state.measured)
    curves.push_back({&*state.measured, 0, plot::Pen::red, {}, false, "measured",
                      plot::names::kMeasured});
  return curves;
}

plot::PanelText xrf_text(const XRFState& state) {
  plot::PanelText text;
  text.x_title = plot::kEmissionTitle;
  if (state.lorentzian >= 0 && state.lorentzian < 4)
    if (const auto m = plot::box_marker(state.position[static_cast<std::size_t>(state.lorentzian)],
                                        plot::names::kPeakPosition))
      text.markers.push_back(*m);
  text.click_digits = xrf_digits::kClickedPosition;
  return text;
}

}  // namespace talvern
