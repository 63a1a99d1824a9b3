#include "engine/response.h"

#include <algorithm>
#include <limits>

#include "engine/engine.h"
#include "engine/kernel.h"

namespace talvern {

namespace {

typedef double v4d __attribute__((vector_size(32)));

// Dot products of the rows of g with y, four independent sums per row.
__attribute__((always_inline)) inline void apply_body(const double* g, std::size_t points,
                                                      std::size_t n, const double* y,
                                                      double* out) {
  const std::size_t whole = n - n % 8;
  for (std::size_t k = 0; k < points; ++k) {
    const double* row = g + k * n;
    v4d a = {0, 0, 0, 0}, b = {0, 0, 0, 0};
    for (std::size_t i = 0; i < whole; i += 8) {
      v4d r0, r1, y0, y1;
      __builtin_memcpy(&r0, row + i, sizeof r0);
      __builtin_memcpy(&r1, row + i + 4, sizeof r1);
      __builtin_memcpy(&y0, y + i, sizeof y0);
      __builtin_memcpy(&y1, y + i + 4, sizeof y1);
      a += r0 * y0;
      b += r1 * y1;
    }
    double sum = ((a[0] + b[0]) + (a[1] + b[1])) + ((a[2] + b[2]) + (a[3] + b[3]));
    for (std::size_t i = whole; i < n; ++i) sum += row[i] * y[i];
    out[k] = sum;
  }
}

void apply_generic(const double* g, std::size_t points, std::size_t n, const double* y,
                   double* out) {
  apply_body(g, points, n, y, out);
}

#if defined(__x86_64__)
__attribute__((target("avx2,fma")))
#endif
void apply_avx2(const double* g, std::size_t points, std::size_t n, const double* y,
                double* out) {
  apply_body(g, points, n, y, out);
}

}  // namespace

void TotalResponse::apply(const std::vector<double>& g, std::size_t points, std::size_t n,
                          const double* y, double* out) {
  (has_avx2_fma() ? apply_avx2 : apply_generic)(g.data(), points, n, y, out);
}

void TotalResponse::total(const double* y1, const double* y2, double* out) const {
  std::vector<double> part(points);
  apply(g1, points, n, y1, out);
  apply(g2, points, n, y2, part.data());
  for (std::size_t k = 0; k < points; ++k) out[k] += part[k];
}

TotalResponse total_response(const RowsRead& conv, const CalcParameters& par,
                             const LorentzSet& lor, const double* energies, std::size_t n,
                             double omega, std::size_t max_points) {
  TotalResponse r;
  bool capped = false;
  const std::vector<double> grid = emission_grid(par.emission_start, par.emission_end,
                                                 par.emission_step, kRowCapacity, capped);
  r.points = std::min(grid.size(), max_points);
  r.n = n;
  r.g1.resize(r.points * n);
  r.g2.resize(r.points * n);

  // The factors the engine applies, in its order: the Simpson weight and
  // core-hole factor per state, h/3 times the absorption correction, the
  // scale and w / omega per emission energy.
  const double mu = absorption_at(conv.values.data(), conv.rows, omega);
  const double factor = (energies[1] - energies[0]) / 3 * (1.0 / (1.0 + par.abs_correction * mu));
  const double gamma_half = 0.5 * par.gamma;
  std::vector<double> d(n), a(n);
  for (std::size_t i = 0; i < n; ++i) {
    d[i] = energies[i] - omega;
    a[i] = simpson_weight(i) * (energies[i] / (d[i] * d[i] + gamma_half * gamma_half));
  }
  const FinalStates fs = make_final_states(lor);
  for (std::size_t k = 0; k < r.points; ++k) {
    const double w = grid[k];
    fill_response_rows(fs, d.data(), a.data(), n, w, par.scale * (factor * (w / omega)),
                       r.g1.data() + k * n, r.g2.data() + k * n);
  }
  return r;
}

void fill_response_rows(const FinalStates& fs, const double* d, const double* a, std::size_t n,
                        double w, double pre, double* row1, double* row2) {
  for (std::size_t i = 0; i < n; ++i) {
    double x[4];
    for (int X = 0; X < 4; ++X) {
      const double t = d[i] + (w - fs.p[X]);
      x[X] = fs.q[X] + t * t;
    }
    row1[i] = pre * a[i] * (fs.c[0] / x[0] + fs.c[1] / x[1]);
    row2[i] = pre * a[i] * (fs.c[2] / x[2] + fs.c[3] / x[3]);
  }
}

SetResponse set_response(const MeasuredSet& set, const double* energies, std::size_t n,
                         const EngineInputs& in) {
  SetResponse r;
  r.points = set.points();
  r.n = n;
  r.g1.assign(r.points * n, 0.0);
  r.g2.assign(r.points * n, 0.0);
  r.mu.resize(r.points);
  if (n < 2) return r;
  const double third = (energies[1] - energies[0]) / 3;
  const double gamma_half = 0.5 * in.par.gamma;
  const FinalStates fs = make_final_states(in.lor);
  std::vector<double> d(n), a(n);
  // The terms of the intermediate states at excitation energy omega.
  double at = std::numeric_limits<double>::quiet_NaN();
  const auto prepare = [&](double omega) {
    if (omega == at) return;
    at = omega;
    for (std::size_t i = 0; i < n; ++i) {
      d[i] = energies[i] - omega;
      a[i] = simpson_weight(i) * (energies[i] / (d[i] * d[i] + gamma_half * gamma_half));
    }
  };
  std::size_t j = 0;
  for (const MeasuredGroup& g : set.groups)
    for (const MeasuredPoint& p : g.points) {
      const double omega = g.kind == MeasuredKind::emission ? g.energy : p.omega;
      const double w = g.kind == MeasuredKind::herfd ? g.energy : p.emission;
      prepare(omega);
      r.mu[j] = absorption_at(in.conv.values.data(), in.conv.rows, omega);
      fill_response_rows(fs, d.data(), a.data(), n, w, third * (w / omega),
                         r.g1.data() + j * n, r.g2.data() + j * n);
      ++j;
    }
  return r;
}

void SetResponse::base(const double* y1, const double* y2, double* out) const {
  std::vector<double> part(points);
  TotalResponse::apply(g1, points, n, y1, out);
  TotalResponse::apply(g2, points, n, y2, part.data());
  for (std::size_t k = 0; k < points; ++k) out[k] += part[k];
}

}  // namespace talvern
