#pragma once
// "RIXS Plane...": the RIXS spectrum over a range of excitation energies,
// intensity over excitation energy and emission energy (or energy transfer).
// Every row is the engine's own result at its excitation energy; the inputs
// are read once for the whole plane.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/measured_model.h"
#include "engine/plane.h"
#include "plot/figure.h"
#include "plot/panel.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

namespace talvern {

// Most points (excitation x emission energies) a plane holds: 2000 x 1000,
// about 50 MB in memory and 100 MB of file, far more than a screen shows.
constexpr std::size_t kPlanePointCapacity = 2000000;

// The three cuts through a point of the comparison, as their panels are
// titled until a point is picked.
inline constexpr const char* kCompareCutNames[3] = {
    "Constant excitation energy", "Constant emission energy", "Constant energy transfer"};

// What the dialog shows.
struct PlaneState {
  std::string from_energy, to_energy, step_energy;  // edit boxes (eV)
  int axis = 0;   // 0 emission energy, 1 energy transfer
  int scale = 0;  // 0 linear, 1 logarithmic intensity
  int cut = 0;    // 0 cut at the clicked excitation energy, 1 at the clicked emission axis value
  RIXSPlane plane;
  std::optional<std::size_t> pick_row, pick_column;  // the point of the last click
  std::optional<plot::Trace> cut_trace;              // the cut under the map
  // The measured set (RIXS_Plane_Exp.DAT as last read) and the model at
  // its points (the last comparison).
  std::string cut_exc;         // excitation energy of a measured cut to add (eV)
  std::string herfd_emission;  // emission energy of a measured HERFD to add (eV)
  MeasuredSet measured;
  std::optional<SetComparison> comparison;
  // The compared point picked on the maps and the cuts through it at its
  // excitation energy, emission energy and energy transfer: measured and
  // calculated, and a line naming each with its R-factor.
  std::optional<std::size_t> compare_pick;
  std::array<std::optional<plot::Trace>, 3> compare_cut_traces;
  std::array<std::string, 3> compare_cut_notes{kCompareCutNames[0], kCompareCutNames[1],
                                               kCompareCutNames[2]};
  std::string message;
};

// The dialog as it opens: the selective XAFS range of XAFS_MinMax.DAT at
// 0.5 eV, and the measured set of RIXS_Plane_Exp.DAT.
PlaneState OpenRIXSPlane(const WorkSpace& ws);

// The number an edit box holds, or nothing when its text is not one.
std::optional<double> box_number(const std::string& text);

// Excitation energies from, from + step, ... up to `to` (a millionth of a
// step beyond it counts), each computed as from + i step.
std::vector<double> excitation_grid(double from, double to, double step);

// "Calculate": the plane over the boxes' range into the state and into
// RIXS_Plane.DAT. A stopped run keeps and writes the excitation energies
// done and says so with "CAUTION!!".
void CalculatePlane(const WorkSpace& ws, PlaneState& state, const PlaneWatch& watch = {});

// The text of RIXS_Plane.DAT: rows (omega, w or omega - w, I, I1, I2), a blank
// line after the rows of each excitation energy. Empty when a value is not finite.
std::optional<std::string> plane_file_text(const RIXSPlane& plane);

// "Save Data...": RIXS_Plane.DAT as it stands into a file of the user's
// choice; "ERROR!!" before the file dialog when there is no plane to save.
void SavePlaneData(const WorkSpace& ws, const UserFiles& files, PlaneState& state);

// A click on the map at (r, k): the cut of the state's cut mode into the state.
void PickPlanePoint(PlaneState& state, std::size_t r, std::size_t k);

// The cut as rows (x, I, I1, I2) in ascending x: along the emission axis at
// row r (cut 0), or along the excitation energies at the emission-axis value
// of (r, k) (cut 1; for the energy transfer, the nearest emission energy of
// each row, rows without one left out).
std::vector<double> plane_cut(const RIXSPlane& plane, int cut, std::size_t r, std::size_t k);

// The trace of a cut: `n` rows of `k` values, x first (ascending), each
// further column a curve, on the standard mapping from 0 (or the lowest
// value below it) to the highest value; nothing without rows.
std::optional<plot::Trace> cut_trace_of(const double* rows, std::size_t n, std::size_t k);

// The curves of the cut panel: total, and components 1 and 2 dotted.
std::vector<plot::Curve> cut_panel_curves(const PlaneState& state);
// Its titles: along the emission axis (emission energy or energy transfer)
// for a cut at an excitation energy, along the excitation energy otherwise.
plot::PanelText cut_panel_text(const PlaneState& state);

}  // namespace talvern
