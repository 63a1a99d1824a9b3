#pragma once
// The state of the RIXS Simulation dialog, which its commands work on.

#include <optional>
#include <string>

#include "plot/panel.h"

namespace talvern {

// Everything the dialog shows besides its buttons.
struct RIXSState {
  // Radio group "Display Mode".
  static constexpr int kModeA = 0, kModeB = 1, kModeAB = 2;
  // Radio group of "Modification by Lorentzian".
  static constexpr int kAdd = 0, kSubtract = 1;

  std::string region_min, region_max;  // "Display Region": "eV~" and "eV"
  int display_mode = -1;               // kModeA, kModeB, kModeAB; -1 none
  std::string central_energy;          // "Central Energy"
  std::string amplitude;               // "Amp."
  std::string width;                   // "Width"
  int sign = -1;                       // kAdd, kSubtract; -1 none
  std::string energy_shift;            // "Energy Shift(±eV)"
  std::string exc_energy;              // "Exc. Energy(eV)"
  std::string scale;                   // "Scale Fac."
  std::string abs_correction;          // "Abs. Corr. Fac."
  std::string message;                 // message pane; "\r\n" separates lines

  // Display data of the three panels; all absent when the dialog opens.
  std::optional<plot::Trace> selective;     // x, component 1, component 2
  std::optional<plot::Trace> lorentzian;    // x, y, hidden flags
  std::optional<plot::Trace> calculated;    // x, total, part 1, part 2
  std::optional<plot::Trace> experimental;  // x, y
  std::optional<plot::Trace> comparison;    // x, total, part 1, part 2, hidden flags
  std::optional<double> marker;            // click marker to draw now on "Selective XAFS"
};

}  // namespace talvern
