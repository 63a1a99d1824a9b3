#pragma once
// The RIXS plane in memory: the engine's spectrum at each excitation energy
// of a range, row after row, from inputs read once.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "workspace/row_io.h"

namespace talvern {

// A calculated plane: values[(r * emission.size() + k) * 3 + c] is I, I1, I2
// (c = 0, 1, 2) at excitation energy omega[r] and emission energy emission[k].
struct RIXSPlane {
  std::vector<double> omega;
  std::vector<double> emission;
  std::vector<double> values;
  bool transfer = false;  // the emission axis is the energy transfer omega - w

  std::size_t rows() const { return omega.size(); }
  std::size_t columns() const { return emission.size(); }
  bool empty() const { return omega.empty() || emission.empty(); }
  bool operator==(const RIXSPlane&) const = default;
  double at(std::size_t r, std::size_t k, std::size_t c = 0) const {
    return values[(r * emission.size() + k) * 3 + c];
  }
  // The emission-axis value of column k at row r: w, or omega - w.
  double axis_value(std::size_t r, std::size_t k) const {
    return transfer ? omega[r] - emission[k] : emission[k];
  }
};

// Watches a long calculation: `progress(done, total)` after each excitation
// energy; `stop` ends it after the excitation energy in hand.
struct PlaneWatch {
  std::function<void(std::size_t done, std::size_t total)> progress;
  const std::atomic<bool>* stop = nullptr;
};

// The line a long run posts after `done` of `total` excitation energies:
// "excitation energy 3/10".
std::string plane_progress_line(std::size_t done, std::size_t total);

// Appends to `plane` one row per excitation energy of `omegas`, in order:
// the engine's spectrum (rixs_rows) from the selective XAFS rows `sel`
// (at least two) and the inputs `in`; the emission energies are those of
// the first row. Returns true when `watch.stop` ended it early: the plane
// then holds the excitation energies done.
bool calculate_plane_rows(const RowsRead& sel, const EngineInputs& in,
                          const std::vector<double>& omegas, const PlaneWatch& watch,
                          RIXSPlane& plane);

}  // namespace talvern
