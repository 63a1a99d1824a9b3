#include "app/load_measured.h"

#include <cmath>
#include <vector>

#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/min_max.h"
#include "workspace/row_io.h"

namespace talvern {

namespace {

// Asks for the file and reads its pairs; false when the command ends there.
bool read_pairs(const FileChooser& choose, MainFormState& form, std::optional<OpenFailure>& failure,
                RowsRead& pairs) {
  return read_chosen_file(choose, FileKind::data, 2, kRowCapacity, 0, pairs, failure,
                          form.message);
}

// The command's message, after a caution when pairs were left out.
std::string with_caution(const RowsRead& pairs, const char* message) {
  return pairs.capped ? capped_caution(kRowCapacity, "pairs") + message : message;
}

}  // namespace

std::optional<OpenFailure> LoadExpRIXS(const WorkSpace& ws, const FileChooser& choose,
                                       MainFormState& form) {
  std::optional<OpenFailure> failure;
  RowsRead pairs;
  if (!read_pairs(choose, form, failure, pairs)) return failure;

  const auto minmax = spectrum_min_max(pairs.values.data(), pairs.rows, 2, kExpRangeScale).row();
  if (!all_finite(minmax.data(), minmax.size())) {
    form.message = not_finite_message();
    return std::nullopt;
  }
  pass_over(write_rows(ws.file(files::kExpMinMax), minmax.data(), 1, 4));
  pass_over(write_rows(ws.file(files::kRIXSExp), pairs.values.data(), pairs.rows, 2));
  form.message = with_caution(
      pairs, "Experimental RIXS data were introduced into \r\n" TALVERN_WORK_SPACE_NAME ".");
  return std::nullopt;
}

std::optional<OpenFailure> LoadConventionalXAFS(const WorkSpace& ws, const FileChooser& choose,
                                                MainFormState& form) {
  std::optional<OpenFailure> failure;
  RowsRead pairs;
  if (!read_pairs(choose, form, failure, pairs)) return failure;
  pass_over(write_rows(ws.file(files::kConventionalXAFS), pairs.values.data(), pairs.rows, 2));
  form.message = with_caution(
      pairs, "Conventional XAFS data were introduced into \r\n" TALVERN_WORK_SPACE_NAME ".");
  return std::nullopt;
}

std::optional<OpenFailure> LoadXRF(const WorkSpace& ws, const FileChooser& choose,
                                   MainFormState& form) {
  std::optional<OpenFailure> failure;
  RowsRead pairs;
  if (!read_pairs(choose, form, failure, pairs)) return failure;

  double imax = 0.0;
  for (std::size_t i = 0; i < pairs.rows; ++i)
    if (pairs.at(i, 1) > imax) imax = pairs.at(i, 1);
  if (!(imax > 0.0)) {
    form.message =
        "ERROR!!\r\nNo intensity of the XRF data is above 0,\r\nso they cannot be normalised. "
        "Nothing\r\nwas introduced into " TALVERN_WORK_SPACE_NAME ".";
    return std::nullopt;
  }
  std::vector<double> normalised(pairs.values);
  for (std::size_t i = 0; i < pairs.rows; ++i) normalised[2 * i + 1] = pairs.at(i, 1) / imax;
  if (write_rows(ws.file(files::kExpNonResonantEmission), normalised.data(), pairs.rows, 2) ==
      WriteStatus::not_finite) {
    form.message = not_finite_message();
    return std::nullopt;
  }
  form.message = with_caution(pairs, "XRF data were introduced into \r\n" TALVERN_WORK_SPACE_NAME ".");
  return std::nullopt;
}

}  // namespace talvern
