#pragma once
// The range row of a spectrum, as the MinMax files of the work-space hold it.

#include <array>
#include <cstddef>

namespace talvern {

// Scales of the intensities in the range files: XRF and selective XAFS
// ranges hold 10000 x intensity, the measured RIXS range 20000 x intensity.
constexpr double kStandardRangeScale = 10000.0;
constexpr double kExpRangeScale = 20000.0;
// The "Calculated RIXS" panel ranges its totals as 30000 x intensity.
constexpr double kCalculatedRangeScale = 30000.0;

// Start values of every running minimum and maximum.
constexpr double kMinStart = 100000000.0;
constexpr double kMaxStart = 0.0;

struct MinMax {
  double e_min, e_max, i_min, i_max;
  std::array<double, 4> row() const { return {e_min, e_max, i_min, i_max}; }
};

// Lowest and highest energy and lowest and highest intensity times
// `scale` over `rows` rows of `k` values (energy first, intensity second).
// Minima start at 100000000 and maxima at 0, and a value replaces a running
// extreme only when it is strictly beyond it, so an empty spectrum gives
// those start values.
MinMax spectrum_min_max(const double* values, std::size_t rows, std::size_t k,
                        double scale = 1.0);

}  // namespace talvern
