#include "app/load_measured.h"

#include <cmath>
#include <vector>

#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/min_max.h"
#include "workspace/row_io.h"

namespace talvern {

namespace {

// The pairs of the user's file and the lines that go after the message.
struct UserPairs {
  RowsRead read;
  std::string after;
};

// Asks for the file and reads its pairs; false when the command ends there.
bool read_pairs(const FileChooser& choose, const char* command, MainFormState& form,
                std::optional<OpenFailure>& failure, UserPairs& pairs) {
  return read_chosen_file(choose, {FileRequest(FileKind::data, command), 2}, pairs.read, failure,
                          form.message, pairs.after);
}

// The command's message, after a caution when pairs were left out and
// before what reading the file and writing the work-space have to add.
std::string with_caution(const WorkSpace& ws, const UserPairs& pairs, const char* message) {
  std::string text = pairs.read.capped ? capped_caution(kRowCapacity, "pairs") + message : message;
  text += pairs.after;
  if (!ws.dir_exists()) text += std::string("\r\n") + kNoWorkSpaceCaution;
  return text;
}

}  // namespace

std::optional<OpenFailure> LoadExpRIXS(const WorkSpace& ws, const FileChooser& choose,
                                       MainFormState& form) {
  std::optional<OpenFailure> failure;
  UserPairs pairs;
  if (!read_pairs(choose, "Load Exp. RIXS", form, failure, pairs)) return failure;

  const auto minmax = spectrum_min_max(pairs.read.values.data(), pairs.read.rows, 2, kExpRangeScale).row();
  if (!all_finite(minmax.data(), minmax.size())) {
    form.message = not_finite_message();
    return std::nullopt;
  }
  pass_over(write_rows(ws.file(files::kExpMinMax), minmax.data(), 1, 4));
  pass_over(write_rows(ws.file(files::kRIXSExp), pairs.read.values.data(), pairs.read.rows, 2));
  form.message = with_caution(
      ws, pairs, "Experimental RIXS data were introduced into \r\n" TALVERN_WORK_SPACE_NAME ".");
  return std::nullopt;
}

std::optional<OpenFailure> LoadConventionalXAFS(const WorkSpace& ws, const FileChooser& choose,
                                                MainFormState& form) {
  std::optional<OpenFailure> failure;
  UserPairs pairs;
  if (!read_pairs(choose, "Load Conventional XAFS", form, failure, pairs)) return failure;
  pass_over(write_rows(ws.file(files::kConventionalXAFS), pairs.read.values.data(), pairs.read.rows, 2));
  form.message = with_caution(
      ws, pairs, "Conventional XAFS data were introduced into \r\n" TALVERN_WORK_SPACE_NAME ".");
  return std::nullopt;
}

std::optional<OpenFailure> LoadXRF(const WorkSpace& ws, const FileChooser& choose,
                                   MainFormState& form) {
  std::optional<OpenFailure> failure;
  UserPairs pairs;
  if (!read_pairs(choose, "Load XRF", form, failure, pairs)) return failure;

  double imax = 0.0;
  for (std::size_t i = 0; i < pairs.read.rows; ++i)
    if (pairs.read.at(i, 1) > imax) imax = pairs.read.at(i, 1);
  if (!(imax > 0.0)) {
    form.message =
        "ERROR!!\r\nNo intensity of the XRF data is above 0,\r\nso they cannot be normalised. "
        "Nothing\r\nwas introduced into " TALVERN_WORK_SPACE_NAME ".";
    return std::nullopt;
  }
  std::vector<double> normalised(pairs.read.values);
  for (std::size_t i = 0; i < pairs.read.rows; ++i) normalised[2 * i + 1] = pairs.read.at(i, 1) / imax;
  if (write_rows(ws.file(files::kExpNonResonantEmission), normalised.data(), pairs.read.rows, 2) ==
      WriteStatus::not_finite) {
    form.message = not_finite_message();
    return std::nullopt;
  }
  form.message = with_caution(ws, pairs, "XRF data were introduced into \r\n" TALVERN_WORK_SPACE_NAME ".");
  return std::nullopt;
}

}  // namespace talvern
