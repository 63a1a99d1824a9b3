#include "xafs/conv_xafs.h"

#include <algorithm>
#include <cmath>

#include "workspace/write_log.h"
#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/min_max.h"
#include "workspace/number_text.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"
#include "xafs/edge_step.h"
#include "xafs/edge_table.h"
#include "xafs/steepest_rise.h"

// A work-space file that cannot be written is passed over, as by every
// writer of the work-space: the command goes on. Values are checked to be
// finite before the first write, so no file is refused half-way.

namespace talvern {

namespace {

// A confirmed core energy farther than this from its edge's table energy
// (eV) is likely a typing slip or the wrong edge.
constexpr double kFarFromEdge = 200.0;

// Energies of a selective XAFS below this are relative to the edge.
constexpr double kRelativeEnergyLimit = 1000.0;
// The edge energies a calculation takes (those of the edge list, too).
constexpr double kLowestEdgeEnergy = 1000.0, kHighestEdgeEnergy = 20000.0;

MinMax extremes_of(const std::vector<double>& pairs) {
  return spectrum_min_max(pairs.data(), pairs.size() / 2, 2);
}

// The plot of the normalised spectrum by the standard mapping, its range
// in units of 1/10000: from the lowest (y = -95) to the highest (y = 85).
std::optional<plot::Trace> build_trace(const std::vector<double>& pairs, const MinMax& r) {
  const plot::Range range{r.e_min, r.e_max, kStandardRangeScale * r.i_min,
                          kStandardRangeScale * r.i_max};
  return plot::standard_trace(pairs.data(), pairs.size() / 2, 2, 1, range);
}

const char kLoaded[] =
    "Conventional XAFS data were introduced and \r\nthe maximum was normalized to 1.  Select the "
    "\r\nabsorption edge and confirm it.  If necessary, \r\ncorrect the core energy either by "
    "clicking the \r\nmouse on the spectrum or entering the value \r\ndirectly in the edit box "
    "above.   Then, confirm it.  \r\nIf you want to initialize the core energy, clear it \r\nand "
    "reload the XAFS spectrum.";

const char kNoSpectrum[] =
    "ERROR!!\r\nConventional_XAFS.DAT holds no spectrum.\r\nLoad the conventional XAFS with "
    "\"Load\r\nConventional XAFS\" on the main form first.";

const char kNoPositiveIntensity[] =
    "ERROR!!\r\nNo absorption of the conventional XAFS is\r\nabove 0, so it cannot be "
    "normalized.\r\nNothing was written; load another spectrum\r\non the main form.";

const char kCannotDraw[] =
    "The spectrum has a single energy or a\r\nconstant absorption; it cannot be drawn.\r\n";

const char kNoRange[] =
    "ERROR!!\r\nThe energy range of the XAFS is not known\r\nyet. Load the XAFS with \"Load "
    "XAFS(for\r\nAbs. Correction)\" first.";

const char kFewSelectiveRows[] =
    "SelectiveXAFS_for_Reading_Org.DAT holds\r\nfewer than two rows, so "
    "SelectiveXAFS_for_\r\nReading.DAT was not written. Load the\r\nselective XAFS again.\r\n";

const char kNoNormalisedSpectrum[] =
    "ERROR!!\r\nNo normalized XAFS is in the work-space.\r\nLoad it with \"Load XAFS(for Abs. "
    "Correction)\"\r\nfirst.";

const char kTooFewForEdge[] =
    "ERROR!!\r\nThe normalized XAFS has fewer than 5 energies;\r\nno edge can be found in it. "
    "Select the edge\r\nor type the core energy.";

const char kNoRise[] =
    "ERROR!!\r\nThe normalized XAFS has no single steepest\r\nrise (it is flat, falls or rises "
    "evenly), so\r\nno edge can be proposed. Select the edge or\r\ntype the core energy.";

// Edit-box text of a proposed energy: as the box's other numbers, with the
// digits down to 0.01 eV.
std::string hundredths_text(double energy) {
  const double magnitude = std::abs(energy);
  const int whole = magnitude < 1.0 ? 1 : static_cast<int>(std::floor(std::log10(magnitude))) + 1;
  return format_edit(energy, std::min(whole + 2, 17));
}

// Edit-box text of an edge's core energy: five digits as the table's edges
// have always shown ("7114."), more where the energy needs them to read back
// as itself (xraylib's "11563.8", a typed "9000.25").
std::string edge_energy_text(double energy) {
  for (int digits = 5; digits < 17; ++digits)
    if (std::string t = format_edit(energy, digits); parse_edit(t) == energy) return t;
  return format_edit(energy, 17);
}

const char kBadOwnEdge[] =
    "ERROR!!\r\n\"Other...\" needs an edge energy within 1000 to\r\n20000 eV and a width above 0 "
    "eV. Nothing was\r\nwritten.";

// The edge of "Other...": the typed energy and width, when they are numbers
// a calculation takes.
std::optional<Edge> own_edge(const ConvXAFSState& state) {
  const double energy = parse_edit(state.own_energy), width = parse_edit(state.own_width);
  if (!(energy >= kLowestEdgeEnergy && energy <= kHighestEdgeEnergy) ||
      !(width > 0.0 && std::isfinite(width)))
    return std::nullopt;
  return Edge{kOtherEdge, energy, width};
}

const char kConfirmClosing[] =
    "eV.\r\nIs it OK?\r\nIf necessary, re-correct the core energy, and \r\nconfirm the value.  "
    "You can use the initial value by \r\nreloading the XAFS spectrum after clearing it.\r\n"
    "If everything is OK, complete XAFS setting.\r\n";

const char kNegativeDividedByMaximum[] =
    "The spectrum has values below 0, and divided\r\nby its maximum they stay below 0. "
    "Normalize\r\nby the edge step instead (\"Edge step\",\r\ntalvern-cli: --normalise edge-step).\r\n";

const char kNothingNormalised[] =
    "The spectrum was not normalized; nothing was\r\nwritten. Change the ranges or the core "
    "energy,\r\nor divide by the maximum.";

// A box of the edge step as a number; false, with the reason, when it
// holds something else.
bool read_box(const std::string& text, const char* caption, std::optional<double>& value,
              std::string& why) {
  bool bad = false;
  value = box_number(text, bad);
  if (bad) why = "\"" + std::string(caption) + "\" holds " + text + ",\r\nwhich is not a number.\r\n";
  return !bad;
}

// The edge-step fit the boxes ask for, E0 from the core energy box or else
// the steepest rise of the measurement (`e0_source` says which); none, with
// the reason, when the boxes or the data do not give one.
std::optional<EdgeStepFit> edge_step_of(const ConvXAFSState& state,
                                        const std::vector<double>& pairs, std::string& why,
                                        std::string& e0_source) {
  EdgeStepRequest request;
  std::optional<double> e0, nnorm;
  if (!read_box(state.core_energy, "Core Energy (eV)", e0, why) ||
      !read_box(state.pre1, "Pre-edge from", request.pre1, why) ||
      !read_box(state.pre2, "Pre-edge to", request.pre2, why) ||
      !read_box(state.norm1, "Post-edge from", request.norm1, why) ||
      !read_box(state.norm2, "Post-edge to", request.norm2, why) ||
      !read_box(state.nnorm, "Post-edge degree", nnorm, why))
    return std::nullopt;
  if (nnorm) {
    if (*nnorm != 0.0 && *nnorm != 1.0 && *nnorm != 2.0) {
      why = "The degree of the post-edge polynomial must\r\nbe 0, 1 or 2, not " + state.nnorm +
            ".\r\n";
      return std::nullopt;
    }
    request.nnorm = static_cast<int>(*nnorm);
  }
  e0_source = e0 ? "the core energy box" : "Edge from Data";
  EdgeStepResult result = fit_edge_step_at(pairs.data(), pairs.size() / 2, e0, request);
  why = result.why;
  return result.fit;
}

// The pre-edge line at every energy of the measurement and the post-edge
// polynomial from E0 on, on the scale of the measurement's trace. Below E0
// the polynomial's points are hidden and held at its value at E0: its
// extrapolation there is no part of the fit, and would otherwise count as a
// curve cut by the frame (the clipped mark, Full View).
std::optional<plot::Trace> edge_line_trace(const std::vector<double>& pairs, const MinMax& r,
                                           const EdgeStepFit& fit) {
  const std::size_t rows = pairs.size() / 2;
  std::vector<double> lines(3 * rows);
  for (std::size_t i = 0; i < rows; ++i) {
    const double e = pairs[2 * i];
    lines[3 * i] = e;
    lines[3 * i + 1] = fit.pre_at(e);
    lines[3 * i + 2] = fit.post_at(std::max(e, fit.e0));
  }
  const plot::Range range{r.e_min, r.e_max, kStandardRangeScale * r.i_min,
                          kStandardRangeScale * r.i_max};
  std::optional<plot::Trace> t = plot::standard_trace(lines.data(), rows, 3, 2, range);
  if (t) {
    t->hidden.resize(rows);
    for (std::size_t i = 0; i < rows; ++i) t->hidden[i] = pairs[2 * i] < fit.e0;
  }
  return t;
}

// The message of a load normalised to the edge step: E0, the step and the
// ranges, then what to do next as after any load.
// The edge an XDI file named when it was loaded, selected in "Select Abs.
// Edge" unless the user has selected one; said either way.
void propose_absorber(const WorkSpace& ws, ConvXAFSState& state) {
  std::string named;
  if (!read_text(ws.file(files::kConventionalXAFSAbsorber), named)) return;
  while (!named.empty() && (named.back() == '\n' || named.back() == '\r' || named.back() == ' '))
    named.pop_back();
  if (named.empty()) return;
  const std::optional<int> index = edge_named(named);
  if (!index) {
    state.message += "\r\nCAUTION!! The XDI file names the edge \"" + named +
                     "\", which is not in\r\n\"Select Abs. Edge\"; select the edge, or "
                     "\"Other...\", yourself.";
    return;
  }
  const std::string name(edge_at(*index)->name);
  if (state.selected_edge < 0) {
    state.selected_edge = *index;
    state.message += "\r\nThe XDI file names the edge " + name + "; it was selected in\r\n"
                     "\"Select Abs. Edge\" (talvern-cli: xafs-confirm --edge \"" + named + "\").";
  } else if (state.selected_edge != *index) {
    state.message += "\r\nCAUTION!! The XDI file names the edge " + name + ", not the one\r\n"
                     "selected in \"Select Abs. Edge\".";
  }
}

std::string edge_step_text(const EdgeStepFit& fit, const std::string& e0_source, bool flatten) {
  const auto relative = [](double d) { return (d >= 0.0 ? "E0+" : "E0") + format_g6(d); };
  const auto range = [&](double from, double to) {
    return format_g6(fit.e0 + from) + " to " + format_g6(fit.e0 + to) + " eV (" +
           relative(from) + " to " + relative(to) + ")";
  };
  const std::string_view loaded = kLoaded;
  return "Conventional XAFS data were introduced and \r\nnormalized to the edge step.\r\n"
         "E0: " + format_g6(fit.e0) + " eV (" + e0_source + ")\r\n"
         "Edge step: " + format_g6(fit.step) + "\r\n"
         "Pre-edge line: " + range(fit.pre1, fit.pre2) + "\r\n"
         "Post-edge polynomial of degree " + std::to_string(fit.nnorm) + ":\r\n" +
         range(fit.norm1, fit.norm2) + "\r\n" +
         (flatten ? "Flattened above E0.\r\n" : "") +
         "Select the " + std::string(loaded.substr(loaded.find("absorption edge")));
}

}  // namespace

void LoadXAFS(const WorkSpace& ws, ConvXAFSState& state) {
  state.trace.reset();
  state.edge_lines.reset();
  state.marker.reset();

  const RowsRead read = read_rows(ws.file(files::kConventionalXAFS), 2, kRowCapacity);
  if (read.rows == 0) {
    state.message = kNoSpectrum;
    return;
  }
  std::vector<double> pairs(read.values.begin(),
                            read.values.begin() + static_cast<std::ptrdiff_t>(2 * read.rows));
  const MinMax measured = extremes_of(pairs);
  std::optional<EdgeStepFit> fit;
  std::string e0_source;
  std::vector<double> measurement;
  if (state.normalise == ConvXAFSState::kEdgeStep) {
    std::string why;
    fit = edge_step_of(state, pairs, why, e0_source);
    if (!fit) {
      state.message = "ERROR!!\r\n" + why + kNothingNormalised;
      return;
    }
    measurement = pairs;
    normalise_to_step(pairs.data(), read.rows, *fit, state.flatten);
  } else {
    if (!(measured.i_max > 0.0)) {
      state.message = kNoPositiveIntensity;
      return;
    }
    for (std::size_t i = 1; i < pairs.size(); i += 2) pairs[i] /= measured.i_max;
  }
  // A tiny maximum (or step) can push a large value out of range; then
  // nothing is written at all.
  if (!all_finite(pairs.data(), pairs.size())) {
    state.message = not_finite_message();
    return;
  }
  const MinMax normalised = extremes_of(pairs);

  const auto org = measured.row();
  const auto norm = normalised.row();
  WriteLog log;
  log.rows(ws, files::kConvXAFSMinMaxOrg, org.data(), 1, 4);
  log.rows(ws, files::kConvXAFSMinMax, norm.data(), 1, 4);
  log.rows(ws, files::kConvXAFSNormSpectrum, pairs.data(), pairs.size() / 2, 2);

  if (fit) {
    state.trace = build_trace(measurement, measured);
    if (state.trace) state.edge_lines = edge_line_trace(measurement, measured, *fit);
  } else {
    state.trace = build_trace(pairs, normalised);
  }
  std::string caution;
  add_caution(caution, short_read_lines(read, files::kConventionalXAFS, kRowCapacity));
  if (!fit && measured.i_min < 0.0) add_caution(caution, kNegativeDividedByMaximum);
  if (!state.trace) add_caution(caution, kCannotDraw);
  state.message = caution + (fit ? edge_step_text(*fit, e0_source, state.flatten) : kLoaded);
  log.append_to(state.message);

  list_edges(state);
  propose_absorber(ws, state);
}

void list_edges(ConvXAFSState& state) {
  if (!state.edge_list.empty()) return;
  state.edge_list.reserve(static_cast<std::size_t>(edge_count()) + 1);
  for (int i = 0; i < edge_count(); ++i) state.edge_list.emplace_back(edge_at(i)->name);
  state.edge_list.emplace_back(kOtherEdge);
}

int other_edge_position() { return edge_count(); }

void ClearXAFS(ConvXAFSState& state) {
  state.trace.reset();
  state.edge_lines.reset();
  state.marker.reset();
  state.message =
      "XAFS spectrum was cleared and the core energy \r\nwas initialized.  Reload the XAFS and "
      "Select the \r\nabsorption edge again.";
  // Without an edge of the table selected, the box keeps its text.
  if (const auto edge = edge_at(state.selected_edge); edge && !state.core_energy.empty())
    state.core_energy = edge_energy_text(edge->core_energy);
}

bool CorrectCoreEnergyByClick(const WorkSpace& ws, ConvXAFSState& state, plot::ClickPoint click,
                              double* energy) {
  if (!plot::click_accepted(click)) return false;
  double range[4] = {0, 0, 0, 0};
  if (read_one_row(ws.file(files::kConvXAFSMinMax), range, 4) < 2) {
    state.message = kNoRange;
    return true;
  }
  const double e0 = plot::click_energy(click, range[0], range[1]);
  if (!std::isfinite(e0)) {
    state.message = not_finite_message();
    return true;
  }
  if (energy) *energy = e0;
  state.marker = plot::click_marker_x(click, range[0], range[1]);
  WriteLog log;
  log.note(files::kParameters,
           update_parameters(ws, [e0](CalcParameters& p) { p.core_energy = e0; }).write);
  const std::string t = format_edit(e0, kClickedCoreDigits);
  state.message = "The core energy was corrected to " + t + "eV.\r\nPlease confirm the value.";
  log.append_to(state.message);
  state.core_energy = t;
  return true;
}

void EdgeFromData(const WorkSpace& ws, ConvXAFSState& state) {
  const RowsRead read = read_rows(ws.file(files::kConvXAFSNormSpectrum), 2, kRowCapacity);
  if (read.rows == 0) {
    state.message = kNoNormalisedSpectrum;
    return;
  }
  if (read.rows < kSteepestRiseMinRows) {
    state.message = kTooFewForEdge;
    return;
  }
  const std::optional<double> e0 = steepest_rise(read.values.data(), read.rows);
  if (!e0) {
    state.message = kNoRise;
    return;
  }
  // The marker stands at that energy on the trace's scale, not truncated to a
  // whole panel unit, so that it stays on the rise in a zoomed view.
  const MinMax r = spectrum_min_max(read.values.data(), read.rows, 2);
  const plot::Range range{r.e_min, r.e_max, 0.0, 1.0};
  if (plot::map_standard(*e0, 0.0, range))
    state.marker = plot::kStandardMapping.axes(range).x_of(*e0);
  const std::string t = hundredths_text(*e0);
  state.core_energy = t;
  state.edge_from_data = t;
  std::string caution;
  add_caution(caution, short_read_lines(read, files::kConvXAFSNormSpectrum, kRowCapacity));
  state.message = caution + "The steepest rise of the spectrum is at " + t +
                  " eV.\r\nIt was put into \"Core Energy (eV)\". Confirm it\r\nwith \"Confirm "
                  "XAFS INFO\", or change it first.";
}

void ConfirmXAFSInfo(const WorkSpace& ws, ConvXAFSState& state) {
  CalcParameters p;
  read_parameters(ws.file(files::kParameters), p);
  double gamma = p.gamma;
  double e0 = p.core_energy;

  const int s = state.selected_edge;
  const std::string name =
      s >= 0 && static_cast<std::size_t>(s) < state.edge_list.size() ? state.edge_list[s] : "";
  const std::optional<Edge> edge = edge_at(s);
  if (edge) {
    gamma = edge->lifetime;
    e0 = edge->core_energy;
  } else if (s == other_edge_position()) {
    const std::optional<Edge> own = own_edge(state);
    if (!own) {
      state.message = kBadOwnEdge;
      return;
    }
    gamma = own->lifetime;
    e0 = own->core_energy;
  }
  const std::string g = format_edit(gamma, 10);
  std::string shown = edge_energy_text(e0);
  if (!state.core_energy.empty()) {
    shown = state.core_energy;
    e0 = parse_edit(state.core_energy);
  } else {
    state.core_energy = shown;
  }
  const std::string message = "Absorption edge was set to " + name + " .\r\n" +
                              "The core energy is " + shown + "eV,\r\nand lifetime-broadening is " +
                              g + kConfirmClosing;

  // Energies of a calculation are relative to the edge: put them on the
  // absolute scale of the measurement.
  RowsRead sel = read_rows(ws.file(files::kSelectiveReadingOrg), 3, kRowCapacity);
  const bool shift = sel.rows >= 2 && sel.at(1, 0) < kRelativeEnergyLimit;
  if (shift)
    for (std::size_t i = 0; i < sel.rows; ++i) sel.values[3 * i] += e0;
  const double exc = e0 + 100.0;
  if (!std::isfinite(exc) || !all_finite(sel.values.data(), 3 * sel.rows)) {
    state.message = not_finite_message();
    return;
  }

  p.gamma = gamma;
  p.core_energy = e0;
  WriteLog log;
  log.note(files::kParameters, write_parameters(ws.file(files::kParameters), p));
  log.text(ws, files::kEmissionExcEnergy, format_g6(exc));

  std::string caution;
  add_caution(caution, short_read_lines(sel, files::kSelectiveReadingOrg, kRowCapacity));
  if (edge && std::abs(e0 - edge->core_energy) > kFarFromEdge)
    add_caution(caution, "The core energy " + format_g6(e0) + " eV is " +
                             format_g6(std::abs(e0 - edge->core_energy)) + " eV from\r\n" +
                             std::string(edge->name) + " (" + format_g6(edge->core_energy) +
                             " eV in the table); it was stored\r\nas typed. Check the edge "
                             "and the core energy.\r\n");
  if (sel.rows < 2)
    add_caution(caution, kFewSelectiveRows);
  else
    log.rows(ws, files::kSelectiveReading, sel.values.data(), sel.rows, 3);
  state.message = caution + message;
  log.append_to(state.message);
}

void CompleteXAFSSetting(ConvXAFSState& state) {
  state.message =
      "The parameter setting by XAFS was succesively\r\ndone.  Please go to the next step: "
      "setting by XRF.\r\n";
}

std::vector<plot::Curve> conv_xafs_curves(const ConvXAFSState& state) {
  if (!state.trace) return {};
  if (!state.edge_lines)
    return {plot::Curve{&*state.trace, 0, plot::Pen::red, plot::kConventionalXAFSClip, false,
                        "normalized_xafs", plot::names::kMeasured}};
  return {plot::Curve{&*state.trace, 0, plot::Pen::red, plot::kConventionalXAFSClip, false,
                      "measured_xafs", plot::names::kMeasured},
          plot::Curve{&*state.edge_lines, 0, plot::Pen::blue, plot::kConventionalXAFSClip, false,
                      "pre_edge", plot::names::kPreEdge},
          plot::Curve{&*state.edge_lines, 1, plot::Pen::green, plot::kConventionalXAFSClip, true,
                      "post_edge", plot::names::kPostEdge}};
}

plot::PanelText conv_xafs_text(const ConvXAFSState& state) {
  plot::PanelText text;
  text.y_title = state.edge_lines ? plot::kIntensityTitle : plot::kAbsorptionTitle;
  const bool proposed = !state.edge_from_data.empty() && state.core_energy == state.edge_from_data;
  if (const auto m = plot::box_marker(state.core_energy, proposed ? plot::names::kEdgeFromData
                                                                  : plot::names::kCoreEnergy))
    text.markers.push_back(*m);
  text.click_digits = kClickedCoreDigits;
  return text;
}

}  // namespace talvern
