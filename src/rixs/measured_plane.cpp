#include "rixs/measured_plane.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "engine/kernel.h"
#include "rixs/compare_maps.h"
#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/number_text.h"
#include "workspace/write_log.h"

namespace talvern {

namespace {

constexpr double kLowestEnergy = 1000.0, kHighestEnergy = 20000.0;

const char kSetUnreadable[] =
    "ERROR!!\r\nRIXS_Plane_Exp.DAT holds a line that is not\r\nOmega w I K (K 0 or 1), so "
    "the measured set\r\nwas left as it is. Clear it (exp-set --clear)\r\nor mend the file.";

// The set as the work-space holds it; nothing (and the state's message says
// why) when the file holds something else than rows of the set, so that
// a change never drops what it could not read.
std::optional<MeasuredSet> stored_set(const WorkSpace& ws, PlaneState& state) {
  MeasuredSetRead read = read_measured_set(ws.file(files::kPlaneExp));
  if (read.bad_line != 0) {
    state.message = kSetUnreadable;
    return std::nullopt;
  }
  if (read.capped) {
    state.message = "ERROR!!\r\nRIXS_Plane_Exp.DAT holds more than " +
                    std::to_string(kMeasuredSetCapacity) +
                    " points, so the\r\nmeasured set was left as it is. Clear it\r\n(exp-set --clear) "
                    "or split the file.";
    return std::nullopt;
  }
  return std::move(read.set);
}

// "3 emission spectra and 1 HERFD, 484 points".
std::string set_summary(const MeasuredSet& set) {
  std::size_t cuts = 0, herfd = 0;
  for (const MeasuredGroup& g : set.groups) (g.kind == MeasuredKind::herfd ? herfd : cuts)++;
  return std::to_string(cuts) + (cuts == 1 ? " emission spectrum and " : " emission spectra and ") +
         std::to_string(herfd) + (herfd == 1 ? " HERFD, " : " HERFDs, ") +
         std::to_string(set.points()) + " points";
}

// Writes the set and, when it was written, takes it into the state; the
// message is `done` with the cautions of the write after it.
void store_set(const WorkSpace& ws, PlaneState& state, MeasuredSet set, std::string done) {
  const std::optional<std::string> text = measured_set_text(set);
  if (!text) {
    state.message = not_finite_message();
    return;
  }
  WriteLog log;
  log.text(ws, files::kPlaneExp, *text);
  if (!log.failed()) {
    state.measured = std::move(set);
    state.comparison.reset();
    PickComparePoint(state, std::nullopt);
  }
  state.message = std::move(done);
  log.append_to(state.message);
}

// The energy of a box for a cut or a HERFD; nothing (and the message says
// why) when it is not a number within the excitation energies' limits.
std::optional<double> fixed_energy(const std::string& text, const char* what, PlaneState& state) {
  const auto e = box_number(text);
  if (!e || *e < kLowestEnergy || *e > kHighestEnergy) {
    state.message = std::string("INPUT ERROR!!\r\nThe ") + what +
                    " must be a number within\r\n1000 to 20000 eV. Nothing was loaded.";
    return std::nullopt;
  }
  return e;
}

// A load into the set: the user's file read as rows of k values, then `put`
// into the stored set. `kev` tells whether the column import took the
// energies as keV (the plane's second energy is then converted too).
std::optional<OpenFailure> load_into_set(
    const WorkSpace& ws, const UserFiles& files, PlaneState& state, const char* caption,
    std::size_t k, const std::function<std::string(MeasuredSet&, RowsRead&, bool kev)>& put) {
  bool kev = false;
  UserFiles own = files;
  if (files.import_columns)
    own.import_columns = [&kev, ask = files.import_columns](const ColumnRequest& request) {
      auto choice = ask(request);
      if (choice) kev = choice->kev;
      return choice;
    };
  RowsRead rows;
  std::optional<OpenFailure> failure;
  std::string message, after;
  if (!read_chosen_file(own, {FileRequest(FileKind::data, caption), k, kMeasuredSetCapacity}, rows,
                        failure, message, after)) {
    if (!message.empty()) state.message = message;
    return failure;
  }
  std::optional<MeasuredSet> set = stored_set(ws, state);
  if (!set) return std::nullopt;
  std::string done = put(*set, rows, kev);
  std::string caution;
  if (rows.capped) caution = capped_caution(kMeasuredSetCapacity, "rows");
  if (cap_measured_set(*set))
    add_caution(caution, "The measured set would hold more than " +
                             std::to_string(kMeasuredSetCapacity) + " points;\r\nonly the first " +
                             std::to_string(kMeasuredSetCapacity) + " were kept.\r\n");
  done = caution + done + "\r\nThe measured set holds " + set_summary(*set) + "." + after;
  store_set(ws, state, std::move(*set), std::move(done));
  return std::nullopt;
}

}  // namespace

std::optional<OpenFailure> LoadExpPlane(const WorkSpace& ws, const UserFiles& files,
                                        PlaneState& state) {
  return load_into_set(ws, files, state, "Load Exp. Plane", 3,
                       [](MeasuredSet& set, RowsRead& rows, bool kev) {
                         if (kev)
                           for (std::size_t i = 0; i < rows.rows; ++i) rows.values[3 * i + 1] *= 1000;
                         put_plane(set, rows.values.data(), rows.rows);
                         return std::string("The measured plane (") + std::to_string(rows.rows) +
                                " points) replaced the measured\r\nemission spectra of "
                                "RIXS_Plane_Exp.DAT.";
                       });
}

namespace {

// "Add Exp. Cut..." and "Add Exp. HERFD...": one spectrum of `kind` at the
// fixed energy of the box `energy_text` joins the set.
std::optional<OpenFailure> add_group(const WorkSpace& ws, const UserFiles& files, PlaneState& state,
                                     MeasuredKind kind, const std::string& energy_text) {
  const bool herfd = kind == MeasuredKind::herfd;
  const auto energy = fixed_energy(
      energy_text, herfd ? "emission energy of the HERFD" : "excitation energy of the cut", state);
  if (!energy) return std::nullopt;
  return load_into_set(
      ws, files, state, herfd ? "Add Exp. HERFD" : "Add Exp. Cut", 2,
      [kind, herfd, e = *energy](MeasuredSet& set, RowsRead& rows, bool) {
        const bool replaced = set.find(kind, e) != nullptr;
        (herfd ? put_herfd : put_cut)(set, e, rows.values.data(), rows.rows);
        return std::string(herfd ? "The measured HERFD at " : "The measured emission spectrum at ") +
               format_g6(e) + " eV (" + std::to_string(rows.rows) + " points)\r\n" +
               (replaced ? "replaced the one at that energy." : "joined the measured set.");
      });
}

}  // namespace

std::optional<OpenFailure> AddExpCut(const WorkSpace& ws, const UserFiles& files,
                                     PlaneState& state) {
  return add_group(ws, files, state, MeasuredKind::emission, state.cut_exc);
}

std::optional<OpenFailure> AddExpHERFD(const WorkSpace& ws, const UserFiles& files,
                                       PlaneState& state) {
  return add_group(ws, files, state, MeasuredKind::herfd, state.herfd_emission);
}

void ListExpSet(const WorkSpace& ws, PlaneState& state) {
  const std::optional<MeasuredSet> set = stored_set(ws, state);
  if (!set) return;
  state.measured = *set;
  if (set->empty()) {
    state.message = "The measured set (RIXS_Plane_Exp.DAT) is empty.";
    return;
  }
  std::string text = "The measured set (RIXS_Plane_Exp.DAT) holds\r\n" + set_summary(*set) + ":";
  for (const MeasuredGroup& g : set->groups) text += "\r\n" + group_line(g);
  state.message = text;
}

void ClearExpSet(const WorkSpace& ws, PlaneState& state) {
  store_set(ws, state, MeasuredSet{}, "The measured set (RIXS_Plane_Exp.DAT) was emptied.");
}

void RemoveExpGroup(const WorkSpace& ws, PlaneState& state, std::string_view word) {
  const auto group = parse_group_word(word);
  if (!group) {
    state.message = "INPUT ERROR!!\r\n" + std::string(word) +
                    " names no group; give exc:OMEGA or herfd:W\r\nas exp-set lists them.";
    return;
  }
  std::optional<MeasuredSet> set = stored_set(ws, state);
  if (!set) return;
  const MeasuredGroup* found = set->find(group->first, group->second);
  if (!found) {
    state.message = "ERROR!!\r\nThe measured set holds no " +
                    group_name(MeasuredGroup{group->first, group->second, {}}) +
                    ",\r\nso nothing was removed.";
    return;
  }
  const std::string name = group_name(*found);
  remove_group(*set, group->first, group->second);
  const std::string done =
      "The " + name + " was removed from the\r\nmeasured set, which holds " + set_summary(*set) + ".";
  store_set(ws, state, std::move(*set), done);
}

std::optional<std::string> compare_file_text(const SetComparison& c, bool transfer) {
  std::string out;
  out.reserve(c.points() * 60);
  for (const ComparedGroup& g : c.groups) {
    for (std::size_t i = g.first; i < g.first + g.count; ++i) {
      const double row[6] = {c.omega[i], transfer ? c.omega[i] - c.emission[i] : c.emission[i],
                             c.measured[i], c.calculated[i], c.calculated[i] - c.measured[i],
                             static_cast<double>(c.kind[i])};
      if (!all_finite(row, 6)) return std::nullopt;
      out += format_rows(row, 1, 6);
    }
    out += '\n';
  }
  return out;
}

std::string group_r_factor_line(const ComparedGroup& g) {
  const std::string at = (g.kind == MeasuredKind::herfd ? "of HERFD at " : "at ") +
                         format_g6(g.energy) + " eV";
  if (!g.r_factor)
    return "CAUTION!! No R-Factor " + at + ": its measured intensities sum to 0 or less.";
  return "R-Factor " + at + ": " + format_g6(*g.r_factor);
}

std::string r_factor_lines(const SetComparison& c) {
  std::string text;
  for (const ComparedGroup& g : c.groups) text += "\r\n" + group_r_factor_line(g);
  text += c.r_factor ? "\r\nR-Factor: " + format_g6(*c.r_factor)
                     : std::string("\r\nCAUTION!! No R-Factor: the measured intensities sum to 0 or less.");
  return text;
}

void ComparePlane(const WorkSpace& ws, PlaneState& state) {
  const std::optional<MeasuredSet> set = stored_set(ws, state);
  if (!set) return;
  state.measured = *set;
  state.comparison.reset();
  PickComparePoint(state, std::nullopt);
  if (set->empty()) {
    state.message =
        "ERROR!!\r\nThe measured set (RIXS_Plane_Exp.DAT) is empty,\r\nso nothing was compared. "
        "Load Exp. Plane,\r\nAdd Exp. Cut or Add Exp. HERFD first.";
    return;
  }
  start_helper_thread();
  const RowsRead sel = read_rows(ws.file(files::kSelectiveForRIXS), 3, kRowCapacity);
  EngineInputs in;
  const EngineReport report = read_engine_inputs(ws, sel, in);
  const auto output = ws.file(files::kPlaneCompare);
  if (report.status != EngineReport::Status::ok) {
    state.message = engine_message(fail_spectrum(output, report, report.status), files::kPlaneCompare);
    return;
  }
  SetComparison c = compare_with_model(*set, sel, in);
  const std::optional<std::string> text = compare_file_text(c, state.axis == 1);
  if (!text) {
    state.message = engine_message(fail_spectrum(output, report, EngineReport::Status::not_finite),
                                   files::kPlaneCompare);
    return;
  }
  WriteLog log;
  log.text(ws, files::kPlaneCompare, *text);
  std::string message = engine_message(report, files::kPlaneCompare);
  if (!message.empty()) message += "\r\n";
  message += "The model was compared with " + std::to_string(c.points()) +
             " measured points\r\nin RIXS_Plane_Compare.DAT.";
  message += r_factor_lines(c);
  log.append_to(message);
  state.message = std::move(message);
  state.comparison = std::move(c);
  // The cuts through the brightest point of the emission spectra (of the
  // HERFDs when there are none), until the user picks another.
  const SetComparison& shown = *state.comparison;
  std::optional<std::size_t> brightest;
  for (const int kind : {0, 1}) {
    for (std::size_t i = 0; i < shown.points(); ++i)
      if (shown.kind[i] == kind && (!brightest || shown.measured[i] > shown.measured[*brightest]))
        brightest = i;
    if (brightest) break;
  }
  PickComparePoint(state, brightest);
}

}  // namespace talvern
