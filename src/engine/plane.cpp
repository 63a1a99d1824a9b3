#include "engine/plane.h"

namespace talvern {

std::string plane_progress_line(std::size_t done, std::size_t total) {
  return "excitation energy " + std::to_string(done) + "/" + std::to_string(total);
}

bool calculate_plane_rows(const RowsRead& sel, const EngineInputs& in,
                          const std::vector<double>& omegas, const PlaneWatch& watch,
                          RIXSPlane& plane) {
  for (std::size_t r = 0; r < omegas.size(); ++r) {
    if (watch.stop && watch.stop->load(std::memory_order_relaxed)) return true;
    bool capped = false;
    const std::vector<double> rows = rixs_rows(sel, in.conv, in.par, in.lor, omegas[r], capped);
    const std::size_t columns = rows.size() / 4;
    if (plane.emission.empty())
      for (std::size_t k = 0; k < columns; ++k) plane.emission.push_back(rows[4 * k]);
    for (std::size_t k = 0; k < columns; ++k)
      plane.values.insert(plane.values.end(), rows.begin() + 4 * k + 1, rows.begin() + 4 * k + 4);
    plane.omega.push_back(omegas[r]);
    if (watch.progress) watch.progress(r + 1, omegas.size());
  }
  return false;
}

}  // namespace talvern
