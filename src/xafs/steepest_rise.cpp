#include "xafs/steepest_rise.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

// Why this smoothing: the rise of an absorption edge is broadened at least
// by the core-hole lifetime (0.74 eV for the K K-edge, several eV for the
// L edges), so a Gaussian of 0.5 eV barely moves the maximum of its
// derivative while it averages the point-to-point noise that the
// differences amplify. On a grid coarser than 0.5 eV a Gaussian of one
// step still takes about two neighbours on each side into the average.
// The window ends at three standard deviations.

namespace talvern {

namespace {

constexpr double kWindowSigmas = 3.0;

struct Point {
  double e, mu;
};

// The rows sorted by energy, the first of equal energies kept; empty when
// a value is not finite.
std::vector<Point> distinct_energies(const double* rows, std::size_t n) {
  std::vector<Point> p;
  p.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Point q{rows[2 * i], rows[2 * i + 1]};
    if (!std::isfinite(q.e) || !std::isfinite(q.mu)) return {};
    p.push_back(q);
  }
  std::stable_sort(p.begin(), p.end(), [](const Point& a, const Point& b) { return a.e < b.e; });
  p.erase(std::unique(p.begin(), p.end(), [](const Point& a, const Point& b) { return a.e == b.e; }),
          p.end());
  return p;
}

double median_step(const std::vector<Point>& p) {
  std::vector<double> steps(p.size() - 1);
  for (std::size_t i = 0; i + 1 < p.size(); ++i) steps[i] = p[i + 1].e - p[i].e;
  const auto mid = steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2);
  std::nth_element(steps.begin(), mid, steps.end());
  return *mid;
}

// Energy of the vertex of the parabola through three points, held to
// [x1, x3]; x2 where the three lie on a line.
double parabola_vertex(double x1, double y1, double x2, double y2, double x3, double y3) {
  const double a = (x2 - x1) * (y2 - y3);
  const double b = (x2 - x3) * (y2 - y1);
  const double den = a - b;
  if (!(den != 0.0)) return x2;
  const double x = x2 - 0.5 * ((x2 - x1) * a - (x2 - x3) * b) / den;
  return std::isfinite(x) ? std::clamp(x, x1, x3) : x2;
}

}  // namespace

std::optional<double> steepest_rise(const double* rows, std::size_t n) {
  const std::vector<Point> p = distinct_energies(rows, n);
  if (p.size() < kSteepestRiseMinRows) return std::nullopt;

  // Derivative at the inner points by the three-point central difference,
  // exact for a parabola on any spacing; each point stands for half the
  // energy between its neighbours.
  const std::size_t m = p.size() - 2;
  std::vector<double> e(m), d(m), weight(m);
  for (std::size_t k = 0; k < m; ++k) {
    const Point &a = p[k], &b = p[k + 1], &c = p[k + 2];
    const double h1 = b.e - a.e, h2 = c.e - b.e;
    e[k] = b.e;
    d[k] = (h1 * h1 * c.mu - h2 * h2 * a.mu + (h2 * h2 - h1 * h1) * b.mu) / (h1 * h2 * (h1 + h2));
    weight[k] = 0.5 * (h1 + h2);
  }

  const double sigma = std::max(kSteepestRiseSigma, median_step(p));
  const double reach = kWindowSigmas * sigma;
  std::vector<double> s(m);
  for (std::size_t j = 0, lo = 0, hi = 0; j < m; ++j) {
    while (e[j] - e[lo] > reach) ++lo;
    while (hi < m && e[hi] - e[j] <= reach) ++hi;
    double sum = 0, norm = 0;
    for (std::size_t k = lo; k < hi; ++k) {
      const double u = (e[k] - e[j]) / sigma;
      const double w = weight[k] * std::exp(-0.5 * u * u);
      sum += w * d[k];
      norm += w;
    }
    s[j] = sum / norm;
  }

  const auto [lowest, highest] = std::minmax_element(s.begin(), s.end());
  const double top = *highest;
  if (!std::isfinite(top) || !(top > 0.0) || !(top - *lowest > 1e-9 * top)) return std::nullopt;
  const std::size_t k = static_cast<std::size_t>(highest - s.begin());
  double at = e[k];
  if (k > 0 && k + 1 < m) at = parabola_vertex(e[k - 1], s[k - 1], e[k], s[k], e[k + 1], s[k + 1]);
  const double rounded = std::round(at * 100.0) / 100.0;
  if (!std::isfinite(rounded)) return std::nullopt;
  return rounded;
}

}  // namespace talvern
