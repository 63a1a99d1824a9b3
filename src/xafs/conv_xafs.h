#pragma once
// The Conventional XAFS dialog's commands ("Setting by XAFS"): the measured
// XAFS normalised to 1, the absorption edge with its core energy and
// lifetime broadening, and the selective XAFS on absolute energies.

#include <optional>
#include <string>
#include <vector>

#include "plot/figure.h"
#include "plot/panel.h"
#include "workspace/workspace.h"

namespace talvern {

// Everything the dialog shows besides its buttons.
struct ConvXAFSState {
  std::optional<plot::Trace> trace;     // the normalised spectrum; absent until a load
  std::vector<std::string> edge_list;   // entries of "Select Abs. Edge", filled once
  int selected_edge = -1;               // position selected in the list; -1 for none
  std::string core_energy;              // text of "Core Energy (eV)"
  std::string own_energy;               // text of "Other... Energy (eV)"
  std::string own_width;                // text of "Other... Width (eV)"
  std::string message;                  // message pane; "\r\n" separates lines
  std::optional<double> marker;         // click marker to draw now, at this panel x
  std::string edge_from_data;           // what "Edge from Data" last put into the box

  // How "Load XAFS(for Abs. Correction)" normalises the spectrum.
  int normalise = kDivideByMaximum;
  // The edge step's boxes, relative to E0 (eV), and the degree of the
  // post-edge polynomial; an empty box takes its default.
  std::string pre1, pre2, norm1, norm2, nnorm;
  bool flatten = false;  // take the post-edge curvature out above E0
  // With the edge step: the pre-edge line (curve 0) and the post-edge
  // polynomial above E0 (curve 1, its points below E0 hidden), on the
  // trace's scale.
  std::optional<plot::Trace> edge_lines;

  static constexpr int kDivideByMaximum = 0;
  static constexpr int kEdgeStep = 1;
};

// "Load XAFS(for Abs. Correction)": normalises Conventional_XAFS.DAT to a
// maximum of 1, writes the two range files and ConvXAFS_Norm_Spectrum.DAT,
// builds the trace and fills the edge list the first time. With the
// edge step, the spectrum is normalised to the step at E0 (the core energy
// box, else the steepest rise) instead, and the panel shows the
// measurement with the pre- and post-edge lines over it.
void LoadXAFS(const WorkSpace& ws, ConvXAFSState& state);

// "Clear XAFS": drops the trace; a box holding text gets the core energy
// of the selected edge. No file changes.
void ClearXAFS(ConvXAFSState& state);

// Significant digits of the core energy a click puts into the box.
inline constexpr int kClickedCoreDigits = 5;

// Left click on the plot panel at panel coordinates `click`: outside the
// accepted range nothing happens (false); inside, the core energy under the
// click goes into the parameter file, the box and the message, and
// `state.marker` is set.
bool CorrectCoreEnergyByClick(const WorkSpace& ws, ConvXAFSState& state, plot::ClickPoint click,
                              double* energy = nullptr);
// The entries of "Select Abs. Edge" into an empty list: every edge of the
// edge table in its order, then "Other..." (an edge energy and a width of
// the user's own). A list that holds entries stays as it is.
void list_edges(ConvXAFSState& state);
inline constexpr const char* kOtherEdge = "Other...";
// The position of "Other..." in the list.
int other_edge_position();

// "Edge from Data": the steepest rise of ConvXAFS_Norm_Spectrum.DAT
// proposed as the core energy, written into the box (to 0.01 eV) and
// marked on the panel; no file changes, the user still confirms it. On
// failure ("ERROR!!") the box and the marker stay as they were.
void EdgeFromData(const WorkSpace& ws, ConvXAFSState& state);

// "Confirm XAFS INFO": lifetime broadening and core energy of the selected
// edge (or the typed core energy) into the parameter file, the excitation
// energy of the XRF step, and SelectiveXAFS_for_Reading.DAT. With
// "Other..." selected, the edge is the typed energy (1000 ... 20000 eV)
// and width (above 0); otherwise "ERROR!!" and nothing is written.
void ConfirmXAFSInfo(const WorkSpace& ws, ConvXAFSState& state);

// "Complete XAFS Setting": the closing message only.
void CompleteXAFSSetting(ConvXAFSState& state);

// The curves of the plot panel: the normalised spectrum, red; with the
// edge step the measurement, red, its pre-edge line blue and its post-edge
// polynomial green.
std::vector<plot::Curve> conv_xafs_curves(const ConvXAFSState& state);

// The panel's titles (normalised absorption, or the measurement's
// intensity with the edge step), the marker of the core energy in the box
// ("edge from data" while it holds what "Edge from Data" proposed) and the
// digits a click sets it with.
plot::PanelText conv_xafs_text(const ConvXAFSState& state);

}  // namespace talvern
