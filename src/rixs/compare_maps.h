#pragma once
// The measured set beside the model as the "RIXS Plane" dialog shows it:
// three colour maps of one layout (measured, calculated on the same colour
// scale, and calculated minus measured on a diverging scale symmetric about
// 0), the compared point under a click, and the three cuts through a point
// users take: at its excitation energy, at its emission energy (a HERFD)
// and at its energy transfer, each with its R-factor.
//
// Each measured point is drawn as a cell that reaches halfway to its
// neighbours along its group; across the group it reaches halfway to the
// neighbouring group of its kind at most, and never more than 1/50 of that
// axis's span, so that a lone cut shows as a stripe, a measured plane as a
// full map and a HERFD as a band across (in energy transfer, a diagonal).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "engine/measured_model.h"
#include "rixs/plane_picture.h"
#include "rixs/rixs_plane.h"

namespace talvern {

enum class CompareMap { measured = 0, calculated = 1, difference = 2 };

// The colour range measured and calculated share (as ValueSpan gives it,
// over both), and the half-width of the difference scale: the largest
// |calculated - measured| (0 when they agree everywhere).
std::optional<std::pair<double, double>> compare_colour_range(const SetComparison& c, bool log);
double difference_extent(const SetComparison& c);

// The layout the three maps share at width x height pixels: excitation
// energy across, emission energy (with `transfer` the energy transfer
// Omega - w) upwards, over every compared point and a little beyond. An
// axis along which no point differs spans as much as the other.
PlaneLayout compare_layout(const SetComparison& c, bool transfer, bool log, int width, int height);

// The compared point each pixel of the map shows, row by row over the
// l.w x l.h pixels of the map; -1 where nothing was measured. A HERFD lies
// over the emission spectra it crosses.
std::vector<std::int32_t> compare_cells(const SetComparison& c, bool transfer, const PlaneLayout& l);

// One of the three maps with its title, axis values and colour bar.
PlanePicture render_compare_map(const SetComparison& c, CompareMap which, bool transfer, bool log,
                                int width, int height);

// The compared point nearest pixel (px, py) of a map laid out by `l`;
// nothing outside the map or without points.
std::optional<std::size_t> compare_point_at(const SetComparison& c, bool transfer,
                                            const PlaneLayout& l, int px, int py);

// A cut through the comparison: measured and calculated over x, in
// ascending x, and their R-factor.
struct CompareCut {
  std::vector<double> x, measured, calculated;
  std::optional<double> r_factor;
};

// The cuts through compared point i, in the order of kCompareCutNames:
//  - at its excitation energy: the emission spectrum there (x = emission energy);
//  - at its emission energy w: the HERFD at w if there is one, else the point
//    of each emission spectrum nearest w (x = excitation energy);
//  - at its energy transfer t: the point of each emission spectrum nearest
//    Omega - t (x = excitation energy).
// A point is taken from an emission spectrum only within half the
// spectrum's step there. A cut of fewer than two points is none.
std::array<std::optional<CompareCut>, 3> compare_cuts(const SetComparison& c, std::size_t i);

// A click on the maps: the cuts through compared point `point` into the
// state (their traces and lines); none (or a point beyond the comparison)
// clears them.
void PickComparePoint(PlaneState& state, std::optional<std::size_t> point);

// The curves of cut panel `which` (0, 1, 2): measured red, calculated blue.
std::vector<plot::Curve> compare_cut_curves(const PlaneState& state, std::size_t which);
// Its titles: the first cut runs along the emission energy, the others
// along the excitation energy.
plot::PanelText compare_cut_text(std::size_t which);

}  // namespace talvern
