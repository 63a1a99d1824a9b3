#include "workspace/min_max.h"

namespace talvern {

MinMax spectrum_min_max(const double* values, std::size_t rows, std::size_t k, double scale) {
  MinMax m{kMinStart, kMaxStart, kMinStart, kMaxStart};
  for (std::size_t i = 0; i < rows; ++i) {
    const double e = values[i * k];
    const double y = scale * values[i * k + 1];
    if (e < m.e_min) m.e_min = e;
    if (e > m.e_max) m.e_max = e;
    if (y < m.i_min) m.i_min = y;
    if (y > m.i_max) m.i_max = y;
  }
  return m;
}

}  // namespace talvern
