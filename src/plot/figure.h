#pragma once
// What a panel says around and over its curves, so that a picture of it
// reads on its own: axis titles with units, the names in the legend and the
// corner it goes into, markers of energies the dialog holds, and the mark
// of a curve that the panel's scale cuts. Nothing here draws.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plot/panel.h"
#include "plot/view.h"

namespace talvern::plot {

// Axis titles.
inline constexpr const char* kEnergyTitle = "Energy (eV)";
inline constexpr const char* kEmissionTitle = "Emission energy (eV)";
inline constexpr const char* kTransferTitle = "Energy transfer (eV)";
inline constexpr const char* kAbsorptionTitle = "Normalised absorption";
inline constexpr const char* kIntensityTitle = "Intensity (arb. units)";

// Names in the legends, one per kind of curve.
namespace names {
inline constexpr const char* kMeasured = "measured";
inline constexpr const char* kCalculated = "calculated";
inline constexpr const char* kComponent1 = "component 1";
inline constexpr const char* kComponent2 = "component 2";
inline constexpr const char* kComponent1Sigma = "component 1 ± σ";
inline constexpr const char* kComponent2Sigma = "component 2 ± σ";
inline constexpr const char* kLorentzian = "Lorentzian";
inline constexpr const char* kBackground = "background";
inline constexpr const char* kPreEdge = "pre-edge line";
inline constexpr const char* kPostEdge = "post-edge line";
inline constexpr const char* kResidual = "calculated − measured";
inline constexpr const char* kZero = "zero";
inline constexpr const char* kEdgeFromData = "edge from data";
inline constexpr const char* kCoreEnergy = "core energy";
inline constexpr const char* kPeakPosition = "peak position";
inline constexpr const char* kExcitationEnergy = "excitation energy";
}  // namespace names

// A line across the frame at an energy the dialog holds (a typed or clicked
// core energy, say): kept as the energy, so it stays on its energy through
// zooms and resizes and moves when the value does.
struct Marker {
  double energy = 0;
  const char* label = nullptr;
};

// Everything a panel shows besides its curves.
struct PanelText {
  const char* x_title = kEnergyTitle;
  const char* y_title = kIntensityTitle;
  std::vector<Marker> markers;
  // Significant digits of the energy a click on the panel sets (the click
  // command's edit-box notation); 0 for a panel whose clicks set nothing.
  int click_digits = 0;
};

// The marker of an energy in an edit box: at the number the box starts
// with, as the commands read it; none for a box without one.
std::optional<Marker> box_marker(std::string_view box, const char* label);

// One line of a legend: its name and the pen its sample is drawn with.
struct LegendEntry {
  std::string label;
  Pen pen;
  bool operator==(const LegendEntry&) const = default;
};

// The legend of a panel: every curve that has points and a label, in
// drawing order, a label given twice listed once, and none for a curve that
// a later one covers exactly (component 2 of one-component data under
// component 1); then the markers.
std::vector<LegendEntry> legend_entries(const std::vector<Curve>& curves,
                                        const std::vector<Marker>& markers);

enum class Corner { top_right, top_left, bottom_right, bottom_left };

// The corner of the frame for a legend `width` x `height` frame units large
// (inside the frame, `inset` units from its edges) under which the shortest
// length of the curves' lines and the markers lies as `view` shows them; on
// a tie the first of top right, top left, bottom right, bottom left.
Corner legend_corner(const std::vector<Curve>& curves, const std::vector<Marker>& markers,
                     const std::optional<Axes>& axes, const View& view, double width,
                     double height, double inset);

// Frame x of a marker at `energy`, as `view` shows a panel of `axes`.
inline double marker_frame_x(const Axes& axes, const View& view, double energy) {
  return view.frame_x(axes.x_of(energy));
}

// Where the scale of the panel cuts a curve: a point of it lies above the
// top of its clip window (in the full view) or of the view, inside the
// energies shown. `at` is the frame x of the highest such point, `pen` its
// curve's.
struct ClippedMark {
  double at = 0;
  Pen pen = Pen::red;
};
std::optional<ClippedMark> clipped_mark(const std::vector<Curve>& curves, const View& view);

// The view that shows every point of the curves whole: the full view
// stretched up (and down) until the highest (lowest) point lies as far
// inside as the clip window keeps points from the frame; the full view
// itself when nothing reaches beyond it.
View whole_view(const std::vector<Curve>& curves);

// The curve as a view reaching beyond the frame draws it: its clip window
// grown by as much as the view reaches beyond, and a segment that only its
// height hid (an end above the top of the range, y = kRangeTop) joined.
// Within the frame the curve is returned as it is.
Curve widened_curve(const Curve& curve, const View& view);

}  // namespace talvern::plot
