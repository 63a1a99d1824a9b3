#include "import/selective_import.h"

#include <cmath>

#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/row_io.h"
#include "workspace/write_log.h"

namespace talvern {

namespace {

// WIEN2k files start with a header of four words.
constexpr std::size_t kWien2kHeaderWords = 4;
// Energies closer than this to a grid point sit on it.
constexpr double kGridTolerance = 0.002;
// Energies closer than this are the same energy in both components.
constexpr double kPairTolerance = 0.0001;
// Component-1 slot of an energy the first component does not have.
constexpr double kNoPartner = -10000.0;

const char kNoWorkSpace[] =
    "ERROR!!\r\nThe data could not be written into \r\n" TALVERN_WORK_SPACE_NAME ". Make the "
    "work-space\r\nwith \"Construct Work-Space\" first.";

// The message of an import whose work-space file `name` could not be
// written, right after the write (errno holds its reason): the work-space
// may be missing, and the system's reason follows, as after every other
// command.
std::string cannot_write_message(const char* name) {
  WriteLog log;
  log.note(name, WriteStatus::cannot_write);
  std::string message = kNoWorkSpace;
  log.append_to(message);
  return message;
}

// Asks for the file and reads its rows; false when the command ends there.
// `after` takes the lines that go after the command's message.
bool read_user_rows(const UserFiles& files, const char* command, std::size_t k,
                    std::size_t skip_words, XAFSReadingState& state,
                    std::optional<OpenFailure>& failure, RowsRead& rows, std::string& after) {
  // The general form is data rather than WIEN2k output.
  const FileRequest request(FileKind::selective_xafs, command, skip_words == 0);
  return read_chosen_file(files, {request, k, kRowCapacity, skip_words}, rows, failure,
                          state.message, after);
}

std::string with_caution(bool capped, const char* message) {
  return capped ? capped_caution(kRowCapacity, "rows") + message : message;
}

std::string no_intensity_message(const char* what) {
  return std::string("ERROR!!\r\nNo intensity of ") + what +
         " is above 0,\r\nso the data cannot be normalised. Nothing\r\n"
         "was introduced into " TALVERN_WORK_SPACE_NAME ".";
}

// Highest value of column `col` (start 0, replaced only by a higher value).
double column_max(const RowsRead& rows, std::size_t col) {
  double best = 0.0;
  for (std::size_t i = 0; i < rows.rows; ++i)
    if (rows.at(i, col) > best) best = rows.at(i, col);
  return best;
}

// Writes the resampled rows as the selective XAFS to be read by the later
// steps. False, with the message set, when nothing could be written.
bool write_org(const WorkSpace& ws, const std::vector<ImportRow>& grid, XAFSReadingState& state) {
  std::vector<double> flat;
  flat.reserve(grid.size() * 3);
  for (const ImportRow& r : grid) flat.insert(flat.end(), {r.e, r.a, r.b});
  switch (write_rows(ws.file(files::kSelectiveReadingOrg), flat.data(), grid.size(), 3)) {
    case WriteStatus::ok: return true;
    case WriteStatus::not_finite: state.message = not_finite_message(); return false;
    case WriteStatus::cannot_write:
      state.message = cannot_write_message(files::kSelectiveReadingOrg);
      return false;
  }
  return false;
}

// Resamples rows (energy, columns a_col and b_col of `read`) with the
// given search limit and divisors and writes the result; the message is
// `done`, after a caution when the file held more rows than were read and
// before `after`.
void import_rows(const WorkSpace& ws, const RowsRead& read, std::size_t a_col, std::size_t b_col,
                 std::size_t search_limit, double a_max, double b_max, XAFSReadingState& state,
                 const char* done, const std::string& after, bool capped = false) {
  std::vector<ImportRow> rows(read.rows);
  for (std::size_t i = 0; i < read.rows; ++i)
    rows[i] = {read.at(i, 0), read.at(i, a_col), read.at(i, b_col)};
  if (write_org(ws, resample_on_grid(rows, search_limit, a_max, b_max), state))
    state.message = with_caution(capped || read.capped, done) + after;
}

}  // namespace

XAFSReadingState initial_xafs_reading_state() {
  return {"Load WIEN2k data after selecting 1- or 2-\r\ncomponent. You can load also general "
          "X-Y1-Y2 \r\ndata, where X is exc. energy and Yi is the intensity\r\nof i-component "
          "(for 1-component data, Y1 = Y2)."};
}

std::vector<ImportRow> resample_on_grid(const std::vector<ImportRow>& rows,
                                        std::size_t search_limit, double a_max, double b_max) {
  const std::size_t n = rows.size();
  const std::size_t limit = search_limit < n ? search_limit : n;
  double e_min = 10000000.0;
  for (const ImportRow& r : rows)
    if (r.e < e_min) e_min = r.e;
  std::vector<ImportRow> grid;
  grid.reserve(n);
  for (std::size_t k = 0; k < n; ++k) {
    const double t = e_min + 0.1 * static_cast<double>(k);
    for (std::size_t i = 0; i < limit; ++i) {
      if (std::fabs(t - rows[i].e) < kGridTolerance) {
        grid.push_back({rows[i].e, rows[i].a / a_max, rows[i].b / b_max});
        break;
      }
    }
  }
  return grid;
}

std::optional<OpenFailure> Load1CompoWIEN2k(const WorkSpace& ws, const UserFiles& files,
                                            XAFSReadingState& state) {
  std::optional<OpenFailure> failure;
  RowsRead pairs;
  std::string after;
  if (!read_user_rows(files, "Load 1-Compo. WIEN2k", 2, kWien2kHeaderWords, state, failure, pairs,
                      after))
    return failure;

  const double i_max = column_max(pairs, 1);
  if (!(i_max > 0.0)) {
    state.message = no_intensity_message("the WIEN2k data");
    return std::nullopt;
  }
  import_rows(ws, pairs, 1, 1, pairs.rows, i_max, i_max, state,
              "One-component selective XAFS data were introduced\r\ninto "
              TALVERN_WORK_SPACE_NAME ". Click OK, and go to \r\nthe next step.",
              after);
  return std::nullopt;
}

std::optional<OpenFailure> LoadTwoCompoFirst(const WorkSpace& ws, const UserFiles& files,
                                             XAFSReadingState& state) {
  std::optional<OpenFailure> failure;
  RowsRead pairs;
  std::string after;
  if (!read_user_rows(files, "Load 2-Compo. WIEN2k (1/2)", 2, kWien2kHeaderWords, state, failure,
                      pairs, after))
    return failure;

  if (write_rows(ws.file(files::kSelectiveReadingOrg21), pairs.values.data(), pairs.rows, 2) ==
      WriteStatus::cannot_write) {
    state.message = cannot_write_message(files::kSelectiveReadingOrg21);
    return std::nullopt;
  }
  state.message = with_caution(pairs.capped,
                               "The first data of two-component selective XAFS were\r\n"
                               "introduced into " TALVERN_WORK_SPACE_NAME ".\r\nIntroduce the second "
                               "data.") +
                  after;
  return std::nullopt;
}

std::optional<OpenFailure> LoadTwoCompoSecond(const WorkSpace& ws, const UserFiles& files,
                                              XAFSReadingState& state) {
  if (!ws.exists(files::kSelectiveReadingOrg21)) {
    state.message = "ERROR!!\r\nYou should introduce the first component.";
    return std::nullopt;
  }
  const RowsRead first = read_rows(ws.file(files::kSelectiveReadingOrg21), 2, kRowCapacity);
  if (first.bad_token) {
    state.message = "ERROR!!\r\nThe first component in the work-space holds\r\n"
                    "text that is not a number. Introduce the\r\nfirst component again.";
    return std::nullopt;
  }
  std::optional<OpenFailure> failure;
  RowsRead second;
  std::string after;
  if (!read_user_rows(files, "Load 2-Compo. WIEN2k (2/2)", 2, kWien2kHeaderWords, state, failure,
                      second, after))
    return failure;

  // Pair the second component's energies with the first's; the last
  // matching row of the first component wins.
  std::vector<double> paired;
  paired.reserve(second.rows * 3);
  for (std::size_t j = 0; j < second.rows; ++j) {
    const double x2 = second.at(j, 0);
    double partner = kNoPartner;
    for (std::size_t i = 0; i < first.rows; ++i)
      if (std::fabs(first.at(i, 0) - x2) < kPairTolerance) partner = first.at(i, 1);
    if (partner != kNoPartner) paired.insert(paired.end(), {x2, partner, second.at(j, 1)});
  }

  // The pairs go through their file, so the resampling sees them as
  // stored, six digits each.
  const std::string tmp_text = format_rows(paired.data(), paired.size() / 3, 3);
  const RowsRead tmp = parse_rows(tmp_text, 3, kRowCapacity);
  if (tmp.rows == 0) {
    state.message =
        "ERROR!!\r\nThe two components have no energy in\r\ncommon. Nothing was introduced into \r\n"
        TALVERN_WORK_SPACE_NAME ".";
    return std::nullopt;
  }
  const double a_max = column_max(tmp, 1);
  const double b_max = column_max(tmp, 2);
  if (!(a_max > 0.0) || !(b_max > 0.0)) {
    // Over the energies both components have.
    state.message = no_intensity_message(a_max > 0.0 ? "component 2" : "component 1");
    return std::nullopt;
  }
  if (write_text_atomic(ws.file(files::kSelectiveReadingOrgTmp), tmp_text) !=
      WriteStatus::ok) {
    state.message = cannot_write_message(files::kSelectiveReadingOrgTmp);
    return std::nullopt;
  }
  import_rows(ws, tmp, 1, 2, tmp.rows, a_max, b_max, state,
              "The second data of selective XAFS were introduced \r\ninto "
              TALVERN_WORK_SPACE_NAME ".  Click OK, and go to \r\nthe next step.",
              after, second.capped);
  return std::nullopt;
}

std::optional<OpenFailure> LoadGeneral(const WorkSpace& ws, const UserFiles& files,
                                       XAFSReadingState& state) {
  std::optional<OpenFailure> failure;
  RowsRead triples;
  std::string after;
  if (!read_user_rows(files, "Load General X-Y1-Y2 Data", 3, 0, state, failure, triples, after))
    return failure;

  const double y1_max = column_max(triples, 1);
  const double y2_max = column_max(triples, 2);
  if (!(y1_max > 0.0) || !(y2_max > 0.0)) {
    state.message = no_intensity_message(y1_max > 0.0 ? "component 2 (Y2)" : "component 1 (Y1)");
    return std::nullopt;
  }
  // The last row is never searched.
  import_rows(ws, triples, 1, 2, triples.rows - 1, y1_max, y2_max, state,
              "Selective XAFS data (general form) were successfully \r\n"
              "introduced into " TALVERN_WORK_SPACE_NAME "S.\r\nClick OK, and go to the next step.",
              after);
  return std::nullopt;
}

}  // namespace talvern
