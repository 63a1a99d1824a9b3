#include "rixs/rixs_modification.h"

#include <cmath>

#include "rixs/selective_display.h"
#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/min_max.h"
#include "workspace/number_text.h"
#include "workspace/row_io.h"
#include "workspace/write_log.h"

// A work-space file that cannot be written does not stop a command: its
// writes go through a WriteLog, and its message ends with a caution line
// for each file not written. Values are checked to be finite before the
// first write, so no file is refused half-way.

namespace talvern {

namespace {

using namespace rixs_display;

const char kNoRegion[] =
    "ERROR!!\r\nThe display region is not known yet.\r\nClick Load-Selective-XAFS button first.";

const char kPeakShown[] =
    "The Lorentzian to modify selective XAFS was shown.\r\nAfter adjusting the parameters in edit "
    "boxes and selectiong\r\nAdd or Subtract radio button, click Modify-XAFS button.\r\nThe "
    "Lorentzian function will be added or subtracted to selective\r\nXAFS.";

const char kInfinitePeak[] =
    "ERROR!!\r\nThe Lorentzian is not a finite number at an\r\nenergy of the selective XAFS (a "
    "width of 0 at\r\nthe central energy, or values too large).\r\nNothing was written; change "
    "Amp. or Width.";

const char kModified[] =
    "The lorenzian was added/subtracted.\r\nFor further modifications, Save-It-Temporarily and "
    "click\r\nMore-Change button.  If it is OK, Save-It-Temporarily and click\r\n"
    "Complete-the-Modification button.  Then click Calculate-RIXS\r\nbutton.  Unless you click "
    "Complete-the-Modification button,\r\nRIXS calculation will not be influenced by the "
    "modifications of\r\nselective XAFS.  If you want to use the initial selective XAFS\r\ndata, "
    "please click Load-Selective-XAFS button, again.\r\n";

const char kNoComponent[] =
    "No display mode is selected, so no component\r\nwas modified.\r\n";

const char kSavedTemporarily[] =
    "The modified profiles were temporarily saved.\r\nYou can do More-Change, Shift, Optimize, "
    "Average,\r\nComplete-the-Modification, or Load-Selective-XAFS again.";

const char kNoModification[] =
    "ERROR!!\r\nNo modified selective XAFS was found.\r\nClick Modify-XAFS button first; the "
    "working\r\ncopy was not changed.";

const char kReloaded[] =
    "Modified selective XAFS spectra were reloaded.\r\nYou can change the profiles furthermore "
    "in the same manner.\r\nAfter the modifications, please click Modify-XAFS button.";

const char kCompleted[] =
    "Selective XAFS data were saved for calculating RIXS.\r\nPlease confirm the excitation "
    "energy, and enter/change it, if\r\nnecessary.  Then, click Calculate-RIXS button.";

const char kNothingCompleted[] =
    "ERROR!!\r\nSelectiveXAFS_for_RIXS.DAT holds no selective\r\nXAFS; nothing was saved. "
    "Click\r\nComplete-the-Modification button first.";

const char kShifted[] = "Selective XAFS spectra were shifted.";

// Dmin < Dmax and the region within the full range Emin ... Emax.
bool consistent(const plot::Range& region, const plot::Range& full) {
  return region.e_min < region.e_max && full.e_min <= region.e_min &&
         region.e_max <= full.e_max;
}

// The two range files, as far as they can be read; missing values are 0.
void read_stored_ranges(const WorkSpace& ws, plot::Range& region, plot::Range& full) {
  region = {};
  full = {};
  read_range(ws, files::kTempXAFSMinMax, region);
  read_range(ws, files::kXAFSMinMax, full);
}

// "More Change" and "Complete the Modification": the working copy drawn in
// the region of the boxes over its whole vertical range, written to `target`.
void reload_working_copy(const WorkSpace& ws, RIXSState& state, const char* target,
                         const char* message) {
  std::string caution;
  const RowsRead rows = read_selective(ws, files::kSelectiveForRIXSTemp, caution);
  const plot::Range full = full_range(rows);
  if (!finite_range(full)) {
    state.message = kRangeNotFinite;
    return;
  }
  drop_all(state);
  WriteLog log;
  write_range(ws, files::kXAFSMinMax, full, log);
  // The region of the boxes is stored as it is, without a check.
  const plot::Range region{parse_edit(state.region_min), parse_edit(state.region_max),
                           full.y_min, full.y_max};
  write_range(ws, files::kTempXAFSMinMax, region, log);
  state.selective = selective_trace(rows, region, caution);
  state.message = caution + message;
  log.rows(ws, target, rows.values.data(), rows.rows, 3);
  log.append_to(state.message);
}

}  // namespace

bool PickEnergy(const WorkSpace& ws, RIXSState& state, plot::ClickPoint click, double* energy) {
  if (!plot::click_accepted(click)) return false;
  plot::Range region{};
  if (read_range(ws, files::kTempXAFSMinMax, region) < 2) {
    state.message = kNoRegion;
    return true;
  }
  const double e = plot::click_energy(click, region.e_min, region.e_max);
  if (!std::isfinite(e)) {
    state.message = not_finite_message();
    return true;
  }
  if (energy) *energy = e;
  state.marker = plot::click_marker_x(click, region.e_min, region.e_max);
  const std::string text = format_edit(e, kPickedDigits);
  state.central_energy = text;
  state.exc_energy = text;
  state.message =
      "Energy was set to " + text +
      " eV.\r\nPlease click Show-the-Peak button to confirm the energy\r\nposition.  This energy "
      "will be used as the excitation energy for\r\ncalculating RIXS.";
  return true;
}

void ShowThePeak(const WorkSpace& ws, RIXSState& state) {
  state.lorentzian.reset();
  std::string caution;
  const RowsRead rows = read_selective(ws, files::kSelectiveForRIXSTemp, caution);
  plot::Range region, full;
  read_stored_ranges(ws, region, full);
  if (!consistent(region, full)) return;  // the panel is drawn again, nothing is said
  widen_intensity(rows, region.e_min, region.e_max, region.y_min, region.y_max);

  const double centre = parse_edit(state.central_energy);
  const double height = parse_edit(state.amplitude);
  const double width = parse_edit(state.width);
  std::vector<double> peak(2 * rows.rows);
  for (std::size_t i = 0; i < rows.rows; ++i) {
    const double e = rows.at(i, 0);
    peak[2 * i] = e;
    peak[2 * i + 1] = height / ((e - centre) * (e - centre) + width * width);
  }
  if (!all_finite(peak.data(), peak.size())) {
    state.message = kInfinitePeak;
    return;
  }
  WriteLog log;
  log.rows(ws, files::kXAFSLorentzTemp, peak.data(), rows.rows, 2);

  // The segment into a point is hidden when the point before it lies above
  // the top of the vertical range, so the curve is not drawn down from there.
  state.lorentzian = plot::standard_trace(peak.data(), rows.rows, 2, 1, region);
  if (state.lorentzian) {
    auto& hidden = state.lorentzian->hidden;
    hidden.assign(rows.rows, 0);
    for (std::size_t i = 1; i < rows.rows; ++i)
      hidden[i] = std::trunc(kStandardRangeScale * peak[2 * i - 1]) > region.y_max;
  } else {
    add_caution(caution, "The vertical range has zero height; the\r\nLorentzian cannot be drawn.\r\n");
  }
  state.message = caution + kPeakShown;
  log.append_to(state.message);
}

void ModifyXAFS(const WorkSpace& ws, RIXSState& state) {
  std::string caution;
  RowsRead rows = read_selective(ws, files::kSelectiveForRIXSTemp, caution);
  const RowsRead peak = read_checked(ws, files::kXAFSLorentzTemp, 2, kRowCapacity, caution);
  if (peak.rows < rows.rows) {
    state.message = "ERROR!!\r\nXAFSLorentz_Temp.DAT holds " + std::to_string(peak.rows) +
                    " rows, fewer than the\r\n" + std::to_string(rows.rows) +
                    " rows of the working selective XAFS.\r\nClick Show-the-Peak button first; "
                    "nothing\r\nwas modified.";
    return;
  }
  const bool one = state.display_mode == RIXSState::kModeA || state.display_mode == RIXSState::kModeAB;
  const bool two = state.display_mode == RIXSState::kModeB || state.display_mode == RIXSState::kModeAB;
  if (!one && !two) add_caution(caution, kNoComponent);
  // Neither radio button selected subtracts, as "Subtract" does.
  const double sign = state.sign == RIXSState::kAdd ? 1.0 : -1.0;
  for (std::size_t i = 0; i < rows.rows; ++i) {
    double* row = &rows.values[3 * i];
    const double l = peak.at(i, 1);
    row[0] = peak.at(i, 0);  // the energies of the Lorentzian file
    if (one) row[1] += sign * l;
    if (two) row[2] += sign * l;
  }
  if (!all_finite(rows.values.data(), 3 * rows.rows)) {
    state.message = not_finite_message();
    return;
  }
  drop_all(state);

  plot::Range region{};
  read_range(ws, files::kTempXAFSMinMax, region);
  region.y_min = kMinStart;
  region.y_max = kMaxStart;
  widen_intensity(rows, region.e_min, region.e_max, region.y_min, region.y_max);
  state.selective = selective_trace(rows, region, caution);
  WriteLog log;
  log.rows(ws, files::kSelectiveForRIXSTemp2, rows.values.data(), rows.rows, 3);
  state.message = caution + kModified;
  log.append_to(state.message);
}

void SaveItTemporarily(const WorkSpace& ws, RIXSState& state) {
  state.lorentzian.reset();
  std::string caution;
  const RowsRead rows = read_selective(ws, files::kSelectiveForRIXSTemp2, caution);
  if (!rows.opened) {
    state.message = kNoModification;
    return;
  }
  WriteLog log;
  log.rows(ws, files::kSelectiveForRIXSTemp, rows.values.data(), rows.rows, 3);
  state.message = caution + kSavedTemporarily;
  log.append_to(state.message);
}

void MoreChange(const WorkSpace& ws, RIXSState& state) {
  reload_working_copy(ws, state, files::kSelectiveForRIXSTemp, kReloaded);
}

void CompleteTheModification(const WorkSpace& ws, RIXSState& state) {
  reload_working_copy(ws, state, files::kSelectiveForRIXS, kCompleted);
}

void SaveModifiedXAFS(const WorkSpace& ws, const UserFiles& files, RIXSState& state) {
  std::string caution;
  const RowsRead rows = read_selective(ws, files::kSelectiveForRIXS, caution);
  if (rows.rows == 0) {
    state.message = kNothingCompleted;
    return;
  }
  save_rows(ws, files, "Save Modified XAFS", rows, "Modified data were saved as ", caution, state);
}

void ShiftSelectiveXAFS(const WorkSpace& ws, RIXSState& state) {
  std::string caution;
  RowsRead rows = read_selective(ws, files::kSelectiveForRIXSTemp, caution);
  const double delta = parse_edit(state.energy_shift);
  for (std::size_t i = 0; i < rows.rows; ++i) rows.values[3 * i] += delta;
  if (!all_finite(rows.values.data(), 3 * rows.rows)) {
    state.message = not_finite_message();
    return;
  }
  drop_all(state);
  WriteLog log;
  log.rows(ws, files::kSelectiveForRIXSTemp, rows.values.data(), rows.rows, 3);

  plot::Range region, full;
  read_stored_ranges(ws, region, full);
  // Stored ranges that do not fit leave the shifted copy written and the
  // panels empty, without a message (but a copy that was not written is said).
  if (!consistent(region, full)) {
    log.append_to(state.message);
    return;
  }
  widen_intensity(rows, region.e_min, region.e_max, region.y_min, region.y_max);
  state.selective = selective_trace(rows, region, caution);
  state.message = caution + kShifted;
  log.append_to(state.message);
}

}  // namespace talvern
