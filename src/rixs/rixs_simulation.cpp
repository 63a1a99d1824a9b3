#include "rixs/rixs_simulation.h"

#include <limits>

#include "rixs/rixs_modification.h"
#include "rixs/selective_display.h"
#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/min_max.h"
#include "workspace/number_text.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"
#include "workspace/write_log.h"

// A work-space file that cannot be written does not stop a command: its
// writes go through a WriteLog, and its message ends with a caution line
// for each file not written. Values are checked to be finite before they
// are written.

namespace talvern {

const char kExcEnergyNotice[] =
    "After entering the value of excitation energy (eV), please click\r\nCalculate-RIXS button.";

void AverageDone(RIXSState& state) {
  state.message =
      "Adjusting averaging was done.\r\nThe result can be checked by clicking Mode-Change button.";
}

void OptimizeDone(RIXSState& state) {
  state.message =
      "Optimization was done.\r\nThe result can be checked by clicking Mode-Change button.";
}

namespace rixs_display {

namespace {

const char kCannotDraw[] =
    "The display region or the vertical range has\r\nzero width; the selective XAFS cannot be "
    "drawn.\r\n";

}  // namespace

const char kRangeNotFinite[] =
    "ERROR!!\r\nThe selective XAFS holds intensities too large\r\nto be ranged (10000 x "
    "intensity is not a\r\nfinite number). Nothing was written.";

bool finite_range(const plot::Range& r) {
  const double v[4] = {r.e_min, r.e_max, r.y_min, r.y_max};
  return all_finite(v, 4);
}

RowsRead read_checked(const WorkSpace& ws, const char* file, std::size_t k, std::size_t capacity,
                      std::string& caution) {
  RowsRead rows = read_rows(ws.file(file), k, capacity);
  add_caution(caution, short_read_lines(rows, file, capacity));
  return rows;
}

RowsRead read_selective(const WorkSpace& ws, const char* file, std::string& caution) {
  return read_checked(ws, file, 3, kRowCapacity, caution);
}

void widen_intensity(const RowsRead& rows, double lo, double hi, double& y_min, double& y_max) {
  for (std::size_t i = 0; i < rows.rows; ++i) {
    const double e = rows.at(i, 0);
    if (e < lo || e > hi) continue;
    for (std::size_t c = 1; c <= 2; ++c) {
      const double y = kStandardRangeScale * rows.at(i, c);
      if (y < y_min) y_min = y;
      if (y > y_max) y_max = y;
    }
  }
}

plot::Range full_range(const RowsRead& rows) {
  const MinMax energies = spectrum_min_max(rows.values.data(), rows.rows, 3);
  plot::Range r{energies.e_min, energies.e_max, kMinStart, kMaxStart};
  widen_intensity(rows, -std::numeric_limits<double>::infinity(),
                  std::numeric_limits<double>::infinity(), r.y_min, r.y_max);
  return r;
}

std::size_t read_range(const WorkSpace& ws, const char* file, plot::Range& range) {
  double v[4] = {range.e_min, range.e_max, range.y_min, range.y_max};
  const std::size_t n = read_one_row(ws.file(file), v, 4);
  range = {v[0], v[1], v[2], v[3]};
  return n;
}

void write_range(const WorkSpace& ws, const char* file, const plot::Range& range, WriteLog& log) {
  const double row[4] = {range.e_min, range.e_max, range.y_min, range.y_max};
  log.rows(ws, file, row, 1, 4);
}

std::optional<plot::Trace> selective_trace(const RowsRead& rows, const plot::Range& range,
                                           std::string& caution) {
  auto trace = plot::standard_trace(rows.values.data(), rows.rows, 3, 2, range);
  if (!trace) add_caution(caution, kCannotDraw);
  return trace;
}

void save_rows(const WorkSpace& ws, const UserFiles& files, const char* title, const RowsRead& rows,
               const char* saved, const std::string& caution, RIXSState& state) {
  const auto text = save_chosen_file(
      ws.dir(), files, format_rows(rows.values.data(), rows.rows, rows.k), saved, title);
  if (text) state.message = text->starts_with("ERROR!!") ? *text : caution + *text;
}

void drop_all(RIXSState& state) {
  state.selective.reset();
  state.lorentzian.reset();
  state.calculated.reset();
  state.experimental.reset();
  state.comparison.reset();
}

}  // namespace rixs_display

namespace {

using namespace rixs_display;

// Digits of the numbers the dialog writes into its boxes.
constexpr int kBoxDigits = 6;

const char kLoaded[] =
    "Selective XAFS data was successfully introduced.\r\nYou can change display region and "
    "display mode.\r\nAfter the modifications, Please click the mode-change button.\r\nYou can "
    "modify the selective XAFS profile by adding or\r\nsubtracting a Lorentzian.\r\nYou can also "
    "shift the spectrum to the both energy side.\r\nIf necessary, adjacent averaging and "
    "optimization on selective\r\nXAFS are also possible.\r\nIf you try to calculate RIXS at the "
    "present condition, please\r\nclick complete-the-modification button and enter the "
    "excitation\r\nenergy.  Then, click calculate-RIXS button.";

const char kNoRowsToLoad[] =
    "SelectiveXAFS_for_Reading.DAT holds no rows;\r\ndo \"Confirm XAFS INFO\" in Setting by XAFS "
    "first.\r\n";

const char kParametersShort[] =
    "RIXS_Calculation_Parameters.DAT is missing or\r\nshort; the factors not found are shown as "
    "the\r\nvalues of a new work-space.\r\n";

const char kRegionError[] =
    "INPUT ERROR!!\r\nCheck the min. and max. energy of the display region.";

const char kModeChanged[] =
    "Display mode was changed.\r\nThe spectra can be modified by adding and subtracting a\r\n"
    "Lorentzian.  In such modifications, you can specify the peak\r\nposition by clicking mouse "
    "on the graph.";

}  // namespace

void LoadSelectiveXAFS(const WorkSpace& ws, RIXSState& state) {
  std::string caution;
  const RowsRead rows = read_selective(ws, files::kSelectiveReading, caution);
  const plot::Range full = full_range(rows);
  if (!finite_range(full)) {
    state.message = kRangeNotFinite;
    return;
  }
  drop_all(state);
  if (rows.rows == 0) add_caution(caution, kNoRowsToLoad);

  state.display_mode = two_component_flag(ws) ? RIXSState::kModeAB : RIXSState::kModeA;

  WriteLog log;
  write_range(ws, files::kXAFSMinMax, full, log);
  write_range(ws, files::kTempXAFSMinMax, full, log);
  state.region_min = format_edit(full.e_min, kBoxDigits);
  state.region_max = format_edit(full.e_max, kBoxDigits);

  CalcParameters p;
  if (read_parameters(ws.file(files::kParameters), p) < CalcParameters::kCount)
    add_caution(caution, kParametersShort);
  state.abs_correction = format_edit(p.abs_correction, kBoxDigits);
  state.scale = format_edit(p.scale, kBoxDigits);
  state.energy_shift = std::string("0");

  state.selective = selective_trace(rows, full, caution);
  state.message = caution + kLoaded;
  // The working copy starts anew: earlier modifications are discarded.
  log.rows(ws, files::kSelectiveForRIXSTemp, rows.values.data(), rows.rows, 3);
  log.append_to(state.message);
}

void ModeChange(const WorkSpace& ws, RIXSState& state) {
  std::string caution;
  const RowsRead rows = read_selective(ws, files::kSelectiveForRIXSTemp, caution);
  state.selective.reset();
  state.lorentzian.reset();

  plot::Range region{parse_edit(state.region_min), parse_edit(state.region_max), kMinStart,
                     kMaxStart};
  const MinMax data = spectrum_min_max(rows.values.data(), rows.rows, 3);
  if (!(region.e_min < region.e_max && region.e_min >= data.e_min && region.e_max <= data.e_max)) {
    state.message = kRegionError;
    return;
  }
  widen_intensity(rows, region.e_min, region.e_max, region.y_min, region.y_max);
  if (!finite_range(region)) {
    state.message = kRangeNotFinite;
    return;
  }
  state.selective = selective_trace(rows, region, caution);
  state.message = caution + kModeChanged;
  WriteLog log;
  write_range(ws, files::kTempXAFSMinMax, region, log);
  log.append_to(state.message);
  state.amplitude = "1.0";
  state.width = "3.0";
  state.sign = RIXSState::kAdd;
}

void ClearSelectiveXAFS(RIXSState& state) {
  drop_all(state);
  state.message = "Selective XAFS data were cleared.";
}

void AllClear(RIXSState& state) {
  state.experimental.reset();
  state.comparison.reset();
  state.message = "All the spectra were cleared.";
}

void ClearRIXS(RIXSState& state) {
  state.calculated.reset();
  state.comparison.reset();
  state.message = "Calculated RIXS data were cleared.";
}

bool two_component_flag(const WorkSpace& ws) {
  LorentzSet set;
  return read_lorentz(ws.file(files::kLorentz), set) >= 1 && set.two_component == 1;
}

std::vector<plot::Curve> selective_curves(const RIXSState& state) {
  std::vector<plot::Curve> curves;
  if (const auto& t = state.selective) {
    const plot::Curve one{&*t, 0, plot::Pen::red, {}, false, "component1", plot::names::kComponent1};
    const plot::Curve two{&*t, 1, plot::Pen::blue, {}, false, "component2", plot::names::kComponent2};
    switch (state.display_mode) {
      case RIXSState::kModeA: curves.push_back(one); break;
      case RIXSState::kModeB: curves.push_back(two); break;
      case RIXSState::kModeAB: curves.insert(curves.end(), {two, one}); break;
      default: break;
    }
  }
  if (const auto& t = state.lorentzian)
    curves.push_back({&*t, 0, plot::Pen::pink, plot::kLorentzianClip, true, "lorentzian",
                      plot::names::kLorentzian});
  return curves;
}

plot::PanelText selective_text(const RIXSState& state) {
  plot::PanelText text;
  if (const auto m = plot::box_marker(state.exc_energy, plot::names::kExcitationEnergy))
    text.markers.push_back(*m);
  text.click_digits = kPickedDigits;
  return text;
}

plot::PanelText emission_text() {
  plot::PanelText text;
  text.x_title = plot::kEmissionTitle;
  return text;
}

namespace {

// The parts of a calculated spectrum (only with two components), sky blue,
// then its total, blue.
void add_calculated(std::vector<plot::Curve>& curves, const std::optional<plot::Trace>& t,
                    bool two_component, bool use_hidden) {
  if (!t) return;
  if (two_component)
    for (std::size_t part : {1, 2})
      curves.push_back({&*t, part, plot::Pen::sky_blue, {}, use_hidden,
                        part == 1 ? "calculated_component1" : "calculated_component2",
                        part == 1 ? plot::names::kComponent1 : plot::names::kComponent2});
  curves.push_back({&*t, 0, plot::Pen::blue, {}, use_hidden, "calculated_total",
                    plot::names::kCalculated});
}

}  // namespace

std::vector<plot::Curve> calculated_curves(const RIXSState& state, bool two_component) {
  std::vector<plot::Curve> curves;
  add_calculated(curves, state.calculated, two_component, false);
  return curves;
}

std::vector<plot::Curve> comparison_curves(const RIXSState& state, bool two_component) {
  std::vector<plot::Curve> curves;
  add_calculated(curves, state.comparison, two_component, true);
  if (const auto& t = state.experimental)
    curves.push_back({&*t, 0, plot::Pen::red, {}, false, "measured", plot::names::kMeasured});
  return curves;
}

}  // namespace talvern
