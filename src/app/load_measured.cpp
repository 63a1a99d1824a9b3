#include "app/load_measured.h"

#include <cmath>
#include <vector>

#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/measured_scans.h"
#include "workspace/min_max.h"
#include "workspace/row_io.h"
#include "workspace/write_log.h"

namespace talvern {

namespace {

// The pairs of the user's file (or the mean of its repeated scans), the
// lines that go after the message, the rows of Merged_Scans.DAT and the
// edge an XDI file names.
struct UserPairs {
  RowsRead read;
  std::string after;
  std::vector<double> merged;
  std::string absorber;
};

// Asks for the files and reads their pairs; false when the command ends
// there.
bool read_pairs(const UserFiles& files, const char* command, MainFormState& form,
                std::optional<OpenFailure>& failure, UserPairs& pairs) {
  return read_measured_spectrum(files, {FileRequest(FileKind::data, command), 2}, pairs.read,
                                failure, form.message, pairs.after, pairs.merged,
                                pairs.absorber);
}

// Repeated scans keep their mean and spread in Merged_Scans.DAT.
void log_merged(const WorkSpace& ws, const UserPairs& pairs, WriteLog& log) {
  if (!pairs.merged.empty())
    log.rows(ws, files::kMergedScans, pairs.merged.data(), pairs.merged.size() / 3, 3);
}

// Said after the load of a spectrum that replaced the stored one with nothing.
constexpr char kNoNumbersCaution[] =
    "\r\nCAUTION!! The file holds no numbers, so the stored spectrum is now empty.";

// The command's message, after a caution when pairs were left out; then
// what reading the file has to add, the caution of a file without pairs
// ("Load XRF" refuses such a file before), and what writing the work-space
// has to add: a missing work-space is said once, else each file that could
// not be written.
std::string with_caution(const WorkSpace& ws, const UserPairs& pairs, const char* message,
                         const WriteLog& log) {
  std::string text = pairs.read.capped ? capped_caution(kRowCapacity, "pairs") + message : message;
  text += pairs.after;
  if (pairs.read.rows == 0) text += kNoNumbersCaution;
  if (!ws.dir_exists())
    text += std::string("\r\n") + kNoWorkSpaceCaution;
  else
    log.append_to(text);
  return text;
}

}  // namespace

std::optional<OpenFailure> LoadExpRIXS(const WorkSpace& ws, const UserFiles& files,
                                       MainFormState& form) {
  std::optional<OpenFailure> failure;
  UserPairs pairs;
  if (!read_pairs(files, "Load Exp. RIXS", form, failure, pairs)) return failure;

  const auto minmax = spectrum_min_max(pairs.read.values.data(), pairs.read.rows, 2, kExpRangeScale).row();
  if (!all_finite(minmax.data(), minmax.size())) {
    form.message = not_finite_message();
    return std::nullopt;
  }
  WriteLog log;
  log.rows(ws, files::kExpMinMax, minmax.data(), 1, 4);
  log.rows(ws, files::kRIXSExp, pairs.read.values.data(), pairs.read.rows, 2);
  log_merged(ws, pairs, log);
  form.message = with_caution(
      ws, pairs, "Experimental RIXS data were introduced into \r\n" TALVERN_WORK_SPACE_NAME ".",
      log);
  return std::nullopt;
}

std::optional<OpenFailure> LoadConventionalXAFS(const WorkSpace& ws, const UserFiles& files,
                                                MainFormState& form) {
  std::optional<OpenFailure> failure;
  UserPairs pairs;
  if (!read_pairs(files, "Load Conventional XAFS", form, failure, pairs)) return failure;
  WriteLog log;
  log.rows(ws, files::kConventionalXAFS, pairs.read.values.data(), pairs.read.rows, 2);
  // Written for every load, so that an edge named by an earlier file is
  // never proposed for this one.
  log.text(ws, files::kConventionalXAFSAbsorber, pairs.absorber);
  log_merged(ws, pairs, log);
  form.message = with_caution(
      ws, pairs, "Conventional XAFS data were introduced into \r\n" TALVERN_WORK_SPACE_NAME ".",
      log);
  return std::nullopt;
}

std::optional<OpenFailure> LoadXRF(const WorkSpace& ws, const UserFiles& files,
                                   MainFormState& form) {
  std::optional<OpenFailure> failure;
  UserPairs pairs;
  if (!read_pairs(files, "Load XRF", form, failure, pairs)) return failure;

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
  WriteLog log;
  const WriteStatus written =
      write_rows(ws.file(files::kExpNonResonantEmission), normalised.data(), pairs.read.rows, 2);
  log.note(files::kExpNonResonantEmission, written);
  if (written == WriteStatus::not_finite) {
    form.message = not_finite_message();
    return std::nullopt;
  }
  log_merged(ws, pairs, log);
  form.message =
      with_caution(ws, pairs, "XRF data were introduced into \r\n" TALVERN_WORK_SPACE_NAME ".", log);
  return std::nullopt;
}

}  // namespace talvern
