#include "rixs/rixs_plane.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "engine/engine.h"
#include "engine/kernel.h"
#include "engine/plane.h"
#include "workspace/file_names.h"
#include "workspace/number_text.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"

namespace talvern {

namespace {

constexpr double kLowestExcitation = 1000.0, kHighestExcitation = 20000.0;

constexpr const char* kPlaneOpening =
    "Give the range of excitation energies and\r\npress Calculate. The plane uses the files of "
    "the\r\nwork-space as Calculate RIXS left them.";

std::string count_text(std::size_t rows, std::size_t columns) {
  return std::string(files::kRIXSPlane) + ": " + std::to_string(rows) +
         " excitation energies x " + std::to_string(columns) + " emission energies.";
}

}  // namespace

std::optional<double> box_number(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const double v = strtod_c(begin, &end);
  if (end == begin) return std::nullopt;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0' || !std::isfinite(v)) return std::nullopt;
  return v;
}

PlaneState OpenRIXSPlane(const WorkSpace& ws) {
  PlaneState s;
  double range[4] = {0, 0, 0, 0};
  const std::size_t n = read_one_row(ws.file(files::kXAFSMinMax), range, 4);
  if (n > 0) s.from_energy = format_edit(range[0], 6);
  if (n > 1) s.to_energy = format_edit(range[1], 6);
  s.step_energy = "0.5";
  s.measured = read_measured_set(ws.file(files::kPlaneExp)).set;
  s.message = n > 1 ? kPlaneOpening
                    : std::string("CAUTION!!\r\nXAFS_MinMax.DAT holds no energy range, so an\r\n"
                                  "energy box was left empty.\r\n") + kPlaneOpening;
  return s;
}

// How many excitation energies from ... to by step holds (as a double: it
// may be beyond any capacity).
double excitation_count(double from, double to, double step) {
  if (!(step > 0) || !(to >= from)) return 0;
  return std::floor((to - from) / step + 1e-6) + 1;
}

std::vector<double> excitation_grid(double from, double to, double step) {
  std::vector<double> grid;
  const double count = excitation_count(from, to, step);
  if (!(count <= 1e9)) return grid;
  grid.reserve(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i)
    grid.push_back(from + static_cast<double>(i) * step);
  return grid;
}

namespace {

// What a plane is calculated from, read and checked once for all its rows.
struct PlaneInputs {
  RowsRead sel;                // SelectiveXAFS_for_RIXS.DAT
  EngineInputs engine;         // the engine's other inputs
  EngineReport report;         // rows and grid points left out
  std::vector<double> omegas;  // the excitation energies of the boxes
  std::size_t columns = 0;     // emission energies of every row
};

// Reads the boxes and the engine's inputs and checks them; nothing when one
// is refused, and the state's message says why. An engine failure and an
// emission grid without energies empty RIXS_Plane.DAT; the other refusals
// leave it as it was.
std::optional<PlaneInputs> read_plane_inputs(const WorkSpace& ws, PlaneState& state) {
  const auto from = box_number(state.from_energy), to = box_number(state.to_energy),
             step = box_number(state.step_energy);
  if (!from || !to || !step) {
    state.message = "ERROR!!\r\nThe excitation energies (from, to, step) must be numbers.";
    return std::nullopt;
  }
  if (!(*step > 0) || *from > *to) {
    state.message = "ERROR!!\r\nThe step must be above 0 and \"from\" must not\r\nexceed \"to\".";
    return std::nullopt;
  }
  if (*from < kLowestExcitation || *to > kHighestExcitation) {
    state.message = "ERROR!!\r\nThe excitation energies must lie within 1000 to\r\n20000 eV.";
    return std::nullopt;
  }

  // The inputs, read once as the engine reads them.
  PlaneInputs p;
  p.sel = read_rows(ws.file(files::kSelectiveForRIXS), 3, kRowCapacity);
  p.report = read_engine_inputs(ws, p.sel, p.engine);
  const auto output = ws.file(files::kRIXSPlane);
  if (p.report.status != EngineReport::Status::ok) {
    state.message =
        engine_message(fail_spectrum(output, p.report, p.report.status), files::kRIXSPlane);
    return std::nullopt;
  }

  const double count = excitation_count(*from, *to, *step);
  const CalcParameters& par = p.engine.par;
  p.columns = emission_grid(par.emission_start, par.emission_end, par.emission_step,
                            kRowCapacity, p.report.grid_capped)
                  .size();
  if (p.columns == 0) {
    pass_over(write_text_atomic(output, ""));
    state.message = "ERROR!!\r\nThe emission-energy grid of RIXS_Calculation_Parameters.DAT\r\n"
                    "holds no energy.\r\n" + std::string(files::kRIXSPlane) + " was left empty.";
    return std::nullopt;
  }
  if (count * static_cast<double>(p.columns) > static_cast<double>(kPlanePointCapacity)) {
    state.message = "ERROR!!\r\n" +
                    (count < 1e15 ? std::to_string(static_cast<long long>(count)) : format_g6(count)) +
                    " excitation energies x " +
                    std::to_string(p.columns) + " emission energies exceed\r\nthe " +
                    std::to_string(kPlanePointCapacity) +
                    " points a plane may hold.\r\nTake a larger step or a shorter range; " +
                    files::kRIXSPlane + " was not changed.";
    return std::nullopt;
  }
  p.omegas = excitation_grid(*from, *to, *step);
  return p;
}

// Writes the state's plane, `asked` excitation energies of which were asked
// for, into RIXS_Plane.DAT, and says how the run ended: a plane with a value
// that is not finite is dropped and the file emptied; `stopped` keeps the
// rows done and says so with "CAUTION!!".
void write_plane(const WorkSpace& ws, PlaneState& state, EngineReport report, std::size_t asked,
                 bool stopped) {
  const auto output = ws.file(files::kRIXSPlane);
  const RIXSPlane& plane = state.plane;
  const std::optional<std::string> text = plane_file_text(plane);
  if (!text) {
    state.plane = RIXSPlane{};
    report.status = EngineReport::Status::not_finite;
    pass_over(write_text_atomic(output, ""));
    state.message = engine_message(report, files::kRIXSPlane);
    return;
  }
  if (write_text_atomic(output, *text) != WriteStatus::ok) {
    report.status = EngineReport::Status::cannot_write;
    state.message = engine_message(report, files::kRIXSPlane);
    return;
  }

  const std::string caution = engine_message(report, files::kRIXSPlane);  // "" or "CAUTION!!..."
  std::string msg;
  if (stopped) {
    msg = "CAUTION!!\r\nThe calculation was stopped after " + std::to_string(plane.rows()) +
          " of " + std::to_string(asked) + "\r\nexcitation energies; " +
          files::kRIXSPlane + " holds those done.\r\n";
    if (!caution.empty()) msg += caution.substr(11) + "\r\n";
  } else if (!caution.empty()) {
    msg = caution + "\r\n";
  }
  state.message = msg + count_text(plane.rows(), plane.columns());
}

}  // namespace

void CalculatePlane(const WorkSpace& ws, PlaneState& state, const PlaneWatch& watch) {
  state.plane = RIXSPlane{};
  state.pick_row.reset();
  state.pick_column.reset();
  state.cut_trace.reset();
  const std::optional<PlaneInputs> in = read_plane_inputs(ws, state);
  if (!in) return;
  RIXSPlane& plane = state.plane;
  plane.transfer = state.axis == 1;
  plane.values.reserve(in->omegas.size() * in->columns * 3);
  const bool stopped = calculate_plane_rows(in->sel, in->engine, in->omegas, watch, plane);
  write_plane(ws, state, in->report, in->omegas.size(), stopped);
}

std::optional<std::string> plane_file_text(const RIXSPlane& plane) {
  if (!all_finite(plane.values.data(), plane.values.size())) return std::nullopt;
  const std::size_t n = plane.columns();
  std::string out;
  out.reserve(plane.rows() * (n * 50 + 1));
  std::vector<double> block(n * 5);
  for (std::size_t r = 0; r < plane.rows(); ++r) {
    for (std::size_t k = 0; k < n; ++k) {
      block[5 * k] = plane.omega[r];
      block[5 * k + 1] = plane.axis_value(r, k);
      for (std::size_t c = 0; c < 3; ++c) block[5 * k + 2 + c] = plane.at(r, k, c);
    }
    if (!all_finite(block.data(), block.size())) return std::nullopt;
    out += format_rows(block.data(), n, 5);
    out += '\n';
  }
  return out;
}

void SavePlaneData(const WorkSpace& ws, const UserFiles& files, PlaneState& state) {
  std::string text;
  if (!read_text(ws.file(files::kRIXSPlane), text) || text.empty()) {
    state.message = "ERROR!!\r\nRIXS_Plane.DAT holds no plane; press Calculate first.";
    return;
  }
  if (auto msg = save_chosen_file(ws.dir(), files, text, "The RIXS plane was saved as ", "Save Data"))
    state.message = *msg;
}

std::vector<double> plane_cut(const RIXSPlane& plane, int cut, std::size_t r, std::size_t k) {
  std::vector<double> out;
  if (plane.empty() || r >= plane.rows() || k >= plane.columns()) return out;
  auto push = [&](double x, std::size_t row, std::size_t col) {
    out.insert(out.end(), {x, plane.at(row, col, 0), plane.at(row, col, 1), plane.at(row, col, 2)});
  };
  if (cut == 0) {
    for (std::size_t j = 0; j < plane.columns(); ++j) {
      // The energy transfer falls as the emission energy rises: read backwards.
      const std::size_t col = plane.transfer ? plane.columns() - 1 - j : j;
      push(plane.axis_value(r, col), r, col);
    }
    return out;
  }
  if (!plane.transfer) {
    for (std::size_t row = 0; row < plane.rows(); ++row) push(plane.omega[row], row, k);
    return out;
  }
  // At a fixed energy transfer t each row has its own emission energy
  // omega - t: the nearest on the grid, within half a step.
  const double t = plane.axis_value(r, k);
  const std::size_t n = plane.columns();
  const double w0 = plane.emission.front();
  const double h = n > 1 ? (plane.emission.back() - w0) / static_cast<double>(n - 1) : 1.0;
  for (std::size_t row = 0; row < plane.rows(); ++row) {
    const double j = std::round((plane.omega[row] - t - w0) / h);
    if (j < 0 || j > static_cast<double>(n - 1)) continue;
    const std::size_t col = static_cast<std::size_t>(j);
    if (std::abs(plane.axis_value(row, col) - t) > 0.5 * h + 1e-9) continue;
    push(plane.omega[row], row, col);
  }
  return out;
}

std::optional<plot::Trace> cut_trace_of(const double* rows, std::size_t n, std::size_t k) {
  if (n == 0 || k < 2) return std::nullopt;
  double lo = rows[1], hi = rows[1];
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t c = 1; c < k; ++c) lo = std::min(lo, rows[k * i + c]), hi = std::max(hi, rows[k * i + c]);
  lo = std::min(lo, 0.0);
  if (!(hi > lo)) hi = lo + 1;
  // The standard mapping holds intensities times its range scale.
  const double s = plot::kStandardMapping.range_scale;
  // The energies reach 2 % beyond both ends, so that the end points lie
  // inside the clip window and are joined like the others.
  const double pad = 0.02 * (rows[k * (n - 1)] - rows[0]);
  const plot::Range range{rows[0] - pad, rows[k * (n - 1)] + pad, lo * s, hi * s};
  return plot::mapped_trace(rows, n, k, k - 1, range, plot::kStandardMapping);
}

void PickPlanePoint(PlaneState& state, std::size_t r, std::size_t k) {
  state.pick_row = r;
  state.pick_column = k;
  state.cut_trace.reset();
  const std::vector<double> rows = plane_cut(state.plane, state.cut, r, k);
  if (rows.empty()) return;
  state.cut_trace = cut_trace_of(rows.data(), rows.size() / 4, 4);
  const double x = state.cut == 0 ? state.plane.omega[r] : state.plane.axis_value(r, k);
  const char* what = state.cut == 0 ? "excitation energy" : (state.plane.transfer ? "energy transfer" : "emission energy");
  state.message = "Cut at the " + std::string(what) + " " + format_g6(x) + " eV.";
}

std::vector<plot::Curve> cut_panel_curves(const PlaneState& state) {
  std::vector<plot::Curve> curves;
  if (!state.cut_trace) return curves;
  const plot::Trace* t = &*state.cut_trace;
  const auto& parts = t->intensity;
  if (parts.size() == 3 && std::any_of(parts[2].begin(), parts[2].end(), [](double v) { return v != 0; })) {
    curves.push_back({t, 1, plot::Pen::sky_blue, {}, false, "component1", plot::names::kComponent1});
    curves.push_back({t, 2, plot::Pen::sky_blue, {}, false, "component2", plot::names::kComponent2});
  }
  curves.push_back({t, 0, plot::Pen::blue, {}, false, "total", plot::names::kCalculated});
  return curves;
}

plot::PanelText cut_panel_text(const PlaneState& state) {
  plot::PanelText text;
  if (state.cut == 0) text.x_title = state.plane.transfer ? plot::kTransferTitle : plot::kEmissionTitle;
  return text;
}

}  // namespace talvern
