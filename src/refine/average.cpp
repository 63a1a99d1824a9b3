#include "refine/average.h"

#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/number_text.h"
#include "workspace/row_io.h"
#include "workspace/write_log.h"

// The working copy is rewritten only when it was read whole and every
// averaged value is a finite number; a refused command writes nothing. A
// file that cannot be written is passed over, as by every work-space writer.

namespace talvern {

const char kAverageOpening[] =
    "Select the number of Adjucent Points to\r\naverage, and if necessary, change the energy\r\n"
    "range for the averaging.  Then, Click Average\r\nbutton.";

namespace {

// Digits of the energies the dialog opens with.
constexpr int kOpeningDigits = 10;

const char kCheckInput[] = "ERROR!!\r\nPlease check the input values.";

const char kNoRangeOnOpen[] =
    "CAUTION!!\r\nXAFS_MinMax.DAT holds no energy range, so an\r\nenergy box was left empty. "
    "Click\r\nLoad-Selective-XAFS button first.\r\n";

const char kNoRange[] =
    "ERROR!!\r\nXAFS_MinMax.DAT holds no energy range.\r\nClick Load-Selective-XAFS button "
    "first;\r\nnothing was averaged.";

const char kNoWorkingCopy[] =
    "ERROR!!\r\nSelectiveXAFS_for_RIXS_Temp.DAT holds no\r\nselective XAFS; nothing was "
    "averaged.\r\nClick Load-Selective-XAFS button first.";

const char kCutShort[] = "Averaging would cut the file short, so\r\nnothing was written.";

const char kNotBracketed[] =
    "ERROR!!\r\nNo row of SelectiveXAFS_for_RIXS_Temp.DAT\r\nlies at or below the start energy, "
    "or none\r\nat or above the end energy: XAFS_MinMax.DAT\r\ndoes not match the working copy. "
    "Click\r\nMore-Change button first; nothing was averaged.";

const char kNotFinite[] =
    "ERROR!!\r\nThe averaged values are too large to be\r\nstored; nothing was written.";

// Half widths of the windows of "5 points", "9 points" and "15 points".
constexpr int kHalfWidths[] = {2, 4, 7};

}  // namespace

AverageState initial_average_state(const WorkSpace& ws) {
  AverageState state;
  double range[2] = {0, 0};
  const std::size_t n = read_one_row(ws.file(files::kXAFSMinMax), range, 2);
  if (n > 0) state.start_energy = format_edit(range[0], kOpeningDigits);
  if (n > 1) state.end_energy = format_edit(range[1], kOpeningDigits);
  state.message = n < 2 ? std::string(kNoRangeOnOpen) + kAverageOpening : kAverageOpening;
  return state;
}

namespace {

// The smoothed range: from the last row at or below the start energy to the
// first row at or above the end energy, where the scan stops. Either end is
// missing when no row brackets that energy.
struct SmoothedRange {
  std::optional<std::size_t> first, last;
};

SmoothedRange smoothed_range(const RowsRead& rows, double e_start, double e_end) {
  SmoothedRange r;
  for (std::size_t i = 0; i < rows.rows; ++i) {
    const double e = rows.at(i, 0);
    if (e <= e_start) r.first = i;
    if (e >= e_end) {
      r.last = i;
      break;
    }
  }
  return r;
}

// Why the command is refused, checked in the order the users know; empty
// when it may run.
std::string refusal(const AverageState& state, const RowsRead& rows, bool have_range,
                    const double range[2], double e_start, double e_end,
                    const SmoothedRange& smoothed) {
  const bool selected = state.points >= 0 && state.points < static_cast<int>(std::size(kHalfWidths)) &&
                        static_cast<std::size_t>(state.points) < state.points_list.size();
  if (!selected) return kCheckInput;
  if (!have_range) return kNoRange;
  if (!(e_start >= range[0]) || !(e_end <= range[1])) return kCheckInput;
  if (rows.rows == 0) return kNoWorkingCopy;
  if (rows.capped || rows.bad_token)
    return "ERROR!!\r\n" + short_read_lines(rows, files::kSelectiveForRIXSTemp, kRowCapacity) +
           kCutShort;
  if (!smoothed.first || !smoothed.last) return kNotBracketed;
  if (*smoothed.first >= *smoothed.last) return kCheckInput;
  return {};
}

// The working copy with rows first ... last smoothed by the triangular
// window of half width h; every value is taken from the unsmoothed rows.
std::vector<double> averaged(const RowsRead& rows, std::size_t first, std::size_t last, int h,
                             const AverageProgress& progress) {
  const long n = static_cast<long>(rows.rows);
  std::vector<double> out(rows.values.begin(), rows.values.begin() + 3 * n);
  for (std::size_t i = first; i <= last; ++i) {
    if (progress) progress(i, first, last);
    double sum1 = 0, sum2 = 0, weights = 0;
    for (int d = -h; d <= h; ++d) {
      const long j = static_cast<long>(i) + d;
      if (j < 0 || j >= n) continue;  // the window is cut at both ends of the spectrum
      const double w = h + 1 - std::abs(d);
      sum1 += w * rows.at(static_cast<std::size_t>(j), 1);
      sum2 += w * rows.at(static_cast<std::size_t>(j), 2);
      weights += w;
    }
    out[3 * i + 1] = sum1 / weights;
    out[3 * i + 2] = sum2 / weights;
  }
  return out;
}

}  // namespace

void Average(const WorkSpace& ws, AverageState& state, const AverageProgress& progress) {
  const RowsRead rows = read_rows(ws.file(files::kSelectiveForRIXSTemp), 3);
  double range[2] = {0, 0};
  const bool have_range = read_one_row(ws.file(files::kXAFSMinMax), range, 2) == 2;
  const double e_end = parse_edit(state.end_energy);
  const double e_start = parse_edit(state.start_energy);

  const SmoothedRange smoothed = smoothed_range(rows, e_start, e_end);
  if (std::string refused = refusal(state, rows, have_range, range, e_start, e_end, smoothed);
      !refused.empty()) {
    state.message = std::move(refused);
    return;
  }
  const std::size_t first = *smoothed.first, last = *smoothed.last;
  const std::vector<double> out =
      averaged(rows, first, last, kHalfWidths[state.points], progress);
  if (!all_finite(out.data(), out.size())) {
    state.message = kNotFinite;
    return;
  }

  WriteLog log;
  log.rows(ws, files::kSelectiveForRIXSTemp, out.data(), rows.rows, 3);
  state.message = "From " + state.start_energy + " eV to " + state.end_energy + " eV," +
                  state.points_list[static_cast<std::size_t>(state.points)] +
                  "\r\naveraging was successfully done.\r\nThe matrix was employed from i=" +
                  std::to_string(first) + " to " + std::to_string(last) + ".";
  log.append_to(state.message);
}

}  // namespace talvern
