#include "engine/measured_model.h"

#include <cmath>

namespace talvern {

std::optional<double> r_factor_of(const double* calculated, const double* measured,
                                  std::size_t n) {
  double diff = 0, sum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    diff += std::fabs(calculated[i] - measured[i]);
    sum += measured[i];
  }
  if (!(sum > 0)) return std::nullopt;
  const double r = 100 * diff / sum;
  if (!std::isfinite(r)) return std::nullopt;
  return r;
}

SetComparison compare_with_model(const MeasuredSet& set, const RowsRead& sel,
                                 const EngineInputs& in) {
  std::vector<double> calculated, w;
  calculated.reserve(set.points());
  for (const MeasuredGroup& g : set.groups) {
    if (g.kind == MeasuredKind::emission) {
      // One excitation energy: the sum at all the group's emission energies at once.
      w.clear();
      for (const MeasuredPoint& p : g.points) w.push_back(p.emission);
      const std::vector<double> rows =
          rixs_rows_at(sel, in.conv, in.par, in.lor, g.energy, w.data(), w.size());
      for (std::size_t i = 0; i < g.points.size(); ++i) calculated.push_back(rows[4 * i + 1]);
    } else {
      for (const MeasuredPoint& p : g.points)
        calculated.push_back(rixs_rows_at(sel, in.conv, in.par, in.lor, p.omega, &g.energy, 1)[1]);
    }
  }
  return comparison_of(set, calculated);
}

SetComparison comparison_of(const MeasuredSet& set, const std::vector<double>& calculated) {
  SetComparison c;
  std::size_t j = 0;
  for (const MeasuredGroup& g : set.groups) {
    ComparedGroup cg{g.kind, g.energy, j, g.points.size(), std::nullopt};
    for (const MeasuredPoint& pt : g.points) {
      c.omega.push_back(g.kind == MeasuredKind::emission ? g.energy : pt.omega);
      c.emission.push_back(g.kind == MeasuredKind::herfd ? g.energy : pt.emission);
      c.measured.push_back(pt.intensity);
      c.calculated.push_back(calculated[j++]);
      c.kind.push_back(static_cast<int>(g.kind));
    }
    cg.r_factor = r_factor_of(c.calculated.data() + cg.first, c.measured.data() + cg.first, cg.count);
    c.groups.push_back(cg);
  }
  c.r_factor = r_factor_of(c.calculated.data(), c.measured.data(), c.points());
  return c;
}

}  // namespace talvern
