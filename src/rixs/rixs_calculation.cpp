#include "rixs/rixs_calculation.h"

#include <cmath>

#include "engine/engine.h"
#include "engine/measured_model.h"
#include "rixs/selective_display.h"
#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/measured_scans.h"
#include "workspace/min_max.h"
#include "workspace/number_text.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"
#include "workspace/write_log.h"

// A work-space file that cannot be written does not stop a command, nor is
// it passed over in silence: the command's writes go through a WriteLog,
// and its message ends with a caution line for each file not written, with
// the system's reason (talvern-cli then exits 1). The engine writes
// Calculated_RIXS.DAT itself and says a failure there with its own
// "ERROR!!". A comparison checks its values to be finite before its first
// write, so none of its files is refused half-way.

namespace talvern {

namespace {

using namespace rixs_display;

// Excitation energies accepted as typed, and the one used instead.
constexpr double kLowestExcitation = 1000.0;
constexpr double kHighestExcitation = 20000.0;
constexpr double kSubstituteExcitation = 7150.0;

// Emission energies closer than this are the same.
constexpr double kSameEnergy = 0.0001;

const char kAbnormalExcitation[] =
    "CAUTION!!\r\nExcitation energy is abnormal.\r\nCalculation was temporarily done by using the "
    "energy of 7150\r\neV.  Please re-enter the excitation energy.\r\n";

const char kMaterialsLack[] =
    "ERROR!!\r\nThe materials to calculate RIXS profile lack in the work space.\r\nDid you click "
    "Complete-the-Modification button?\r\nUnless you click this button, RIXS calculations will be "
    "hung up.\r\nIf you skip loading selective XAFS, RIXS can not be calculated as well.\r\nPlease "
    "confirm the conditions and re-try RIXS calculations.";

const char kParametersShort[] =
    "RIXS_Calculation_Parameters.DAT was missing or\r\nshort; the values not found were written "
    "as\r\nthose of a new work-space.\r\n";

const char kNothingToDraw[] =
    "The calculated RIXS has no total above 0, a\r\nsingle energy or a constant total; it cannot "
    "be\r\ndrawn.\r\n";

const char kExpIntroduced[] =
    "Experimental RIXS data were introduced.\r\nClick Compare-RIXS button.\r\nIf necessary, "
    "Load-Another-RIXS.";

const char kAnotherIntroduced[] =
    "Another RIXS spectrum was introduced.\r\nClick Compare-RIXS button.";

const char kCompared[] =
    "Experimental RIXS (red) and calculated RIXS (blue) were\r\nshown.  We recommend that Scale "
    "Factor is determined by\r\nusing RIXS data obtained at low-excitation energies at first,\r\n"
    "and then, Absorption Correction Factor is adjusted by using\r\nRIXS data obtained at "
    "high-excitation energies.  If necessary,\r\nyou can Modify-XAFS until a good agreement of "
    "RIXS\r\nbetween Exp. and Calc.";

const char kNoMeasured[] =
    "ERROR!!\r\nThe measured RIXS holds no spectrum, so\r\nnothing was compared and no file was "
    "changed.\r\nLoad the measured RIXS (Load Exp. RIXS or\r\nComp. Another RIXS) first.";

const char kNoCalculated[] =
    "ERROR!!\r\nCalculated_RIXS.DAT holds no calculated\r\nspectrum, so nothing was compared and "
    "no file\r\nwas changed. Click Calculate-RIXS button first.";

const char kNoCommonEnergy[] =
    "ERROR!!\r\nThe measured and the calculated RIXS share no\r\nemission energy (within 0.0001 "
    "eV), so nothing\r\nwas compared and no file was changed. The\r\ncalculation takes its "
    "emission energies from\r\nthe XRF spectrum: measure both on one grid.";

const char kNoScale[] =
    "ERROR!!\r\nThe measured RIXS gives no scale to draw on:\r\nEXP_MinMax.DAT is missing, or the "
    "measured\r\nmaximum is 0, or there is a single energy.\r\nLoad the measured RIXS again.";

const char kMeasuredFlat[] =
    "The measured RIXS has no intensity above 0 or\r\na single energy; it cannot be drawn.\r\n";

const char kNothingToSave[] =
    "ERROR!!\r\nCalculated_RIXS.DAT holds no calculated\r\nspectrum; nothing was saved. Click "
    "Calculate-RIXS\r\nbutton first.";

// The caution lines before a message; a message that is a caution itself
// takes them under its own heading.
std::string with_caution(const std::string& caution, const std::string& message) {
  static const std::string heading = "CAUTION!!\r\n";
  if (!caution.empty() && message.starts_with(heading))
    return caution + message.substr(heading.size());
  return caution + message;
}

// The lines of an engine caution ("" when it has nothing to say).
std::string engine_caution_lines(const EngineReport& report) {
  std::string text = engine_message(report, files::kCalculatedRIXS);
  if (text.empty()) return text;
  return text.substr(std::string_view("CAUTION!!\r\n").size()) + "\r\n";
}

// The calculated RIXS trace: total, part 1, part 2 on the scale of the
// highest total.
std::optional<plot::Trace> calculated_trace(const RowsRead& rows) {
  const MinMax m = spectrum_min_max(rows.values.data(), rows.rows, 4, kCalculatedRangeScale);
  return plot::mapped_trace(rows.values.data(), rows.rows, 4, 3,
                            plot::Range{m.e_min, m.e_max, m.i_min, m.i_max},
                            plot::kCalculatedMapping);
}

// The measured RIXS trace on the comparison scale of `range`.
std::optional<plot::Trace> experimental_trace(const RowsRead& rows, const plot::Range& range) {
  return plot::mapped_trace(rows.values.data(), rows.rows, 2, 1, range, plot::kComparisonMapping);
}

// "R-Factor: X" over the measured and calculated totals at the common
// emission energies, as the optimisation forms it.
std::string common_r_factor_line(const CommonEnergies& common) {
  std::vector<double> measured, calculated;
  const std::size_t n_calculated = common.calculated.size() / 4;
  for (std::size_t k = 0; k < common.measured.size() / 2; ++k)
    for (std::size_t j = 0; j < n_calculated; ++j)
      if (std::fabs(common.calculated[4 * j] - common.measured[2 * k]) < kSameEnergy) {
        measured.push_back(common.measured[2 * k + 1]);
        calculated.push_back(common.calculated[4 * j + 1]);
        break;
      }
  const auto r = r_factor_of(calculated.data(), measured.data(), measured.size());
  return r ? "R-Factor: " + format_g6(*r)
           : std::string("CAUTION!! No R-Factor: the measured intensities sum to 0 or less.");
}

// "Comp. Exp. RIXS" and "Comp. Another RIXS" from the measured rows on:
// both spectra reduced to their common energies and stored, the measured
// range stored and the measured trace built. A comparison that would leave
// a spectrum without rows is refused and changes nothing.
void compare_measured(const WorkSpace& ws, RIXSState& state, const RowsRead& measured,
                      std::string caution, const char* introduced) {
  const RowsRead calculated =
      read_checked(ws, files::kCalculatedRIXS, 4, kComparisonCapacity, caution);
  if (measured.rows == 0 || calculated.rows == 0) {
    state.message = measured.rows == 0 ? kNoMeasured : kNoCalculated;
    return;
  }
  const CommonEnergies common = reduce_to_common(measured.values.data(), measured.rows,
                                                 calculated.values.data(), calculated.rows);
  if (common.matched == 0) {
    state.message = kNoCommonEnergy;
    return;
  }
  const std::string measured_text =
      format_rows(common.measured.data(), common.measured.size() / 2, 2);
  // The measured spectrum as it will be read back from the work-space.
  const RowsRead stored = parse_rows(measured_text, 2, kComparisonCapacity);
  const MinMax range = spectrum_min_max(stored.values.data(), stored.rows, 2, kExpRangeScale);
  const auto range_row = range.row();
  if (!all_finite(range_row.data(), range_row.size())) {
    state.message = not_finite_message();
    return;
  }

  state.experimental.reset();
  state.comparison.reset();
  WriteLog log;
  log.text(ws, files::kRIXSExp, measured_text);
  log.rows(ws, files::kCalculatedRIXS, common.calculated.data(), common.calculated.size() / 4, 4);
  log.rows(ws, files::kExpMinMax, range_row.data(), 1, 4);

  state.experimental =
      experimental_trace(stored, plot::Range{range.e_min, range.e_max, range.i_min, range.i_max});
  if (!state.experimental) add_caution(caution, kMeasuredFlat);
  state.message = caution + introduced;
  if (state.calculated) {
    CompareRIXS(ws, state);
    // Rows left out of the reduction are said before the comparison's message.
    if (!state.message.starts_with("ERROR!!")) state.message = with_caution(caution, state.message);
  }
  if (!state.message.starts_with("ERROR!!")) state.message += "\r\n" + common_r_factor_line(common);
  log.append_to(state.message);
}

}  // namespace

void CalculateRIXSSpectrum(const WorkSpace& ws, RIXSState& state) {
  std::string caution;
  const double kappa = parse_edit(state.abs_correction);
  const double scale = parse_edit(state.scale);
  const ParameterUpdate update = update_parameters(ws, [&](CalcParameters& p) {
    p.abs_correction = kappa;
    p.scale = scale;
  });
  WriteLog log;
  log.note(files::kParameters, update.write);
  if (update.values_found < CalcParameters::kCount) add_caution(caution, kParametersShort);

  double omega = parse_edit(state.exc_energy);
  std::string message;
  if (omega >= kLowestExcitation && omega <= kHighestExcitation) {
    message = "Calculated RIXS spectrum was shown.\r\nThe excitation energy employed was " +
              state.exc_energy +
              " eV.\r\nLoad-Exp.-RIXS and Compare-RIXS.\r\nIf necessary, Save-RIXS.\r\nIf "
              "calculated profile was strange, please try to change scale\r\nfactor.";
  } else {
    omega = kSubstituteExcitation;
    message = kAbnormalExcitation;
  }

  if (!ws.exists(files::kSelectiveForRIXS) || !ws.exists(files::kConvXAFSNormSpectrum)) {
    // The factors stay written; the panels keep what they showed.
    state.message = kMaterialsLack;
  } else {
    const EngineReport report = CalculateRIXS(ws, omega);
    state.calculated.reset();
    state.comparison.reset();
    state.lorentzian.reset();
    const RowsRead rows = read_checked(ws, files::kCalculatedRIXS, 4, kRowCapacity, caution);
    state.calculated = calculated_trace(rows);
    if (report.status != EngineReport::Status::ok) {
      state.message = engine_message(report, files::kCalculatedRIXS);
    } else {
      add_caution(caution, engine_caution_lines(report));
      add_caution(caution, absorption_correction_caution(ws, omega));
      if (!state.calculated) add_caution(caution, kNothingToDraw);
      state.message = with_caution(caution, message);
    }
  }
  // With a measured RIXS shown, the comparison follows and has the last word.
  if (state.experimental) CompareRIXS(ws, state);
  log.append_to(state.message);
}

CommonEnergies reduce_to_common(const double* measured, std::size_t n_measured,
                                const double* calculated, std::size_t n_calculated) {
  CommonEnergies c;
  if (n_calculated >= n_measured) {
    c.measured.assign(measured, measured + 2 * n_measured);
    for (std::size_t k = 0; k < n_measured; ++k)
      for (std::size_t j = 0; j < n_calculated; ++j)
        if (std::fabs(calculated[4 * j] - measured[2 * k]) < kSameEnergy) {
          c.calculated.insert(c.calculated.end(), calculated + 4 * j, calculated + 4 * j + 4);
          ++c.matched;
          break;
        }
  } else {
    c.calculated.assign(calculated, calculated + 4 * n_calculated);
    for (std::size_t j = 0; j < n_calculated; ++j)
      for (std::size_t k = 0; k < n_measured; ++k)
        if (std::fabs(measured[2 * k] - calculated[4 * j]) < kSameEnergy) {
          c.measured.insert(c.measured.end(), measured + 2 * k, measured + 2 * k + 2);
          ++c.matched;
          break;
        }
  }
  return c;
}

void CompExpRIXS(const WorkSpace& ws, RIXSState& state) {
  std::string caution;
  const RowsRead measured = read_checked(ws, files::kRIXSExp, 2, kComparisonCapacity, caution);
  compare_measured(ws, state, measured, caution, kExpIntroduced);
}

std::optional<OpenFailure> CompAnotherRIXS(const WorkSpace& ws, const UserFiles& files,
                                           RIXSState& state) {
  RowsRead measured;
  std::optional<OpenFailure> failure;
  std::string message, after, absorber;
  std::vector<double> merged;
  if (!read_measured_spectrum(files, {FileRequest(FileKind::data, "Comp. Another RIXS"), 2,
                                       kComparisonCapacity},
                              measured, failure, message, after, merged, absorber)) {
    if (!message.empty()) state.message = message;
    return failure;
  }
  std::string caution;
  if (measured.capped) caution = capped_caution(kComparisonCapacity, "rows");
  compare_measured(ws, state, measured, caution, kAnotherIntroduced);
  state.message += after;
  // Repeated scans keep their mean and spread once the comparison took them.
  if (!merged.empty() && !state.message.starts_with("ERROR!!")) {
    WriteLog log;
    log.rows(ws, files::kMergedScans, merged.data(), merged.size() / 3, 3);
    log.append_to(state.message);
  }
  return std::nullopt;
}

void CompareRIXS(const WorkSpace& ws, RIXSState& state) {
  std::string caution;
  const RowsRead measured = read_checked(ws, files::kRIXSExp, 2, kRowCapacity, caution);
  state.experimental.reset();
  const RowsRead calculated = read_checked(ws, files::kCalculatedRIXS, 4, kRowCapacity, caution);
  state.comparison.reset();
  plot::Range range{};
  const bool have_range = read_range(ws, files::kExpMinMax, range) == 4;

  state.experimental = experimental_trace(measured, range);
  std::optional<plot::Trace> comparison;
  if (have_range && state.experimental)
    comparison = plot::mapped_trace(calculated.values.data(), calculated.rows, 4, 3, range,
                                    plot::kComparisonMapping);
  if (!comparison) {
    state.experimental.reset();
    state.message = kNoScale;
    return;
  }
  // No line out of a point whose total lies above the measured maximum.
  const double k = 1000.0 / range.y_max;
  comparison->hidden.assign(calculated.rows, 0);
  for (std::size_t j = 1; j < calculated.rows; ++j)
    comparison->hidden[j] = std::trunc(kExpRangeScale * k * calculated.at(j - 1, 1)) > 1000;
  state.comparison = std::move(comparison);
  state.message = caution + kCompared;
}

void SaveRIXS(const WorkSpace& ws, const UserFiles& files, RIXSState& state) {
  std::string caution;
  const RowsRead rows = read_checked(ws, files::kCalculatedRIXS, 4, kRowCapacity, caution);
  if (rows.rows == 0) {
    state.message = kNothingToSave;
    return;
  }
  save_rows(ws, files, "Save RIXS", rows, "Calculated RIXS data were saved as ", caution, state);
}

}  // namespace talvern
