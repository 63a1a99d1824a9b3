#include "engine/kernel.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <system_error>
#include <thread>

#include "engine/helper_thread.h"

namespace talvern {

namespace {

constexpr std::size_t kLanes = 4;
typedef double v4d __attribute__((vector_size(32)));

// One term per intermediate state for both components, with a single
// division: a1 (cA xB + cB xA) / (xA xB) and a2 (cC xD + cD xC) / (xC xD)
// share the reciprocal of xA xB xC xD. The body is compiled twice, for
// processors with AVX2 and FMA and for any x86-64, and chosen at run time.
__attribute__((always_inline)) inline void sum_range_body(const double* d, const double* a1,
                                                          const double* a2, std::size_t n_padded,
                                                          const FinalStates& fs,
                                                          const double* omega, std::size_t count,
                                                          double* s1, double* s2) {
  const v4d one = {1.0, 1.0, 1.0, 1.0};
  for (std::size_t k = 0; k < count; ++k) {
    const double w = omega[k];
    // Shift of each Lorentzian for this emission energy: d_i + (w - P_X).
    const double sh[4] = {w - fs.p[0], w - fs.p[1], w - fs.p[2], w - fs.p[3]};
    v4d acc1 = {0, 0, 0, 0};
    v4d acc2 = {0, 0, 0, 0};
    for (std::size_t i = 0; i < n_padded; i += kLanes) {
      v4d dv, av1, av2;
      __builtin_memcpy(&dv, d + i, sizeof dv);
      __builtin_memcpy(&av1, a1 + i, sizeof av1);
      __builtin_memcpy(&av2, a2 + i, sizeof av2);
      const v4d tA = dv + sh[0], tB = dv + sh[1], tC = dv + sh[2], tD = dv + sh[3];
      const v4d xA = fs.q[0] + tA * tA;
      const v4d xB = fs.q[1] + tB * tB;
      const v4d xC = fs.q[2] + tC * tC;
      const v4d xD = fs.q[3] + tD * tD;
      const v4d dAB = xA * xB;
      const v4d dCD = xC * xD;
      const v4d r = one / (dAB * dCD);
      const v4d nAB = fs.c[0] * xB + fs.c[1] * xA;
      const v4d nCD = fs.c[2] * xD + fs.c[3] * xC;
      acc1 += av1 * nAB * (dCD * r);
      acc2 += av2 * nCD * (dAB * r);
    }
    s1[k] = (acc1[0] + acc1[1]) + (acc1[2] + acc1[3]);
    s2[k] = (acc2[0] + acc2[1]) + (acc2[2] + acc2[3]);
  }
}

#define TALVERN_SUM_RANGE_ARGS                                                              \
  const double *d, const double *a1, const double *a2, std::size_t n_padded,               \
      const FinalStates &fs, const double *omega, std::size_t count, double *s1, double *s2

void sum_range_generic(TALVERN_SUM_RANGE_ARGS) {
  sum_range_body(d, a1, a2, n_padded, fs, omega, count, s1, s2);
}

#if defined(__x86_64__)
#define TALVERN_TARGET(isa) __attribute__((target(isa)))
#else
#define TALVERN_TARGET(isa)
#endif

TALVERN_TARGET("avx2,fma") void sum_range_avx2(TALVERN_SUM_RANGE_ARGS) {
  sum_range_body(d, a1, a2, n_padded, fs, omega, count, s1, s2);
}

// The widest vector unit of the processor, found once; the bodies compiled
// for it are chosen by it.
enum class Isa { generic, avx2, avx512 };

Isa detect_isa() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx2") &&
      __builtin_cpu_supports("fma"))
    return Isa::avx512;
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return Isa::avx2;
#endif
  return Isa::generic;
}

const Isa kIsa = detect_isa();

const auto sum_range = kIsa == Isa::generic ? sum_range_generic : sum_range_avx2;

// ---- The sum as a correlation on a common lattice -------------------------
//
// The final-state factors depend on d_i and w only through t = d_i + w. When
// the d_i and the emission energies lie on one lattice of step delta,
// d_i = d_0 + m i delta and w_k = w_0 + n k delta, every t is a lattice
// point j = m i + n k, and
//
//   s1(w_k) = sum_i a1_i Phi_AB(j),  Phi_AB(t) = cA / xA(t) + cB / xB(t)
//
// (and s2 with Phi_CD) is a correlation of a1 with Phi_AB tabulated once:
// no division per term.
//
// How close is close enough. The direct sum itself rounds t = d_i + w to
// the ulp of the emission energy, so the d_i may stray from the lattice by
// a few such ulps (eta_i) without changing more than that rounding does:
// 4 ulps of the largest |w| + |d| are allowed (which covers energies
// E_i = d_i + Omega up to twice the emission energies). An accumulated
// emission grid drifts further, by up to a few hundred ulps (eps_k, below
// 1e-8 eV for 5000 points below 20 keV). That drift is taken to first order
// through the tabulated derivative,
//
//   s1(w_k) = sum_i a1_i Phi(j) + eps_k sum_i a1_i Phi'(j),
//
// whose remainder relative to a Lorentzian 1/(q + u^2) is at most eps^2 / q;
// so eps may reach 1e-7 sqrt(q) of the narrowest Lorentzian, a remainder
// below 1e-14. Both bounds lie far below the 0.01 eV that the six digits of
// the work-space files resolve at these energies.

constexpr int kMaxLatticeRatio = 16;  // largest m and n searched

// Lattice tables for each of the m residues r of j modulo m: entry l holds
// lattice point j = m l + r.
struct Lattice {
  int m = 1, n = 0;
  bool exact = true;         // every eps_k is 0: no first-order term
  std::size_t length = 0;    // entries per table
  std::vector<double> data;  // per residue: Phi_AB, Phi_CD, Phi_AB', Phi_CD'
  std::vector<double> eps;   // eps_k

  const double* table(int r, int which) const {
    return data.data() + (static_cast<std::size_t>(r) * 4 + which) * length;
  }
};

typedef double v8d __attribute__((vector_size(64)));

// The helpers are always inlined into the bodies compiled for each vector
// unit, so GCC's note on how vectors pass between functions does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
template <class V>
__attribute__((always_inline)) inline V load(const double* p) {
  V v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

template <class V>
__attribute__((always_inline)) inline double lanes_sum(const V& v) {
  double s = 0;
  for (std::size_t l = 0; l < sizeof(V) / sizeof(double); ++l) s += v[l];
  return s;
}

// The correlation for emission energies first ... first + count - 1, in
// vectors V, two at a time so that the additions of one do not wait for
// those of the other. `kSlope` adds the first-order term.
template <class V, bool kSlope>
__attribute__((always_inline)) inline void corr_range_body(const Lattice& lat, const double* a1,
                                                           const double* a2,
                                                           std::size_t n_padded,
                                                           std::size_t first, std::size_t count,
                                                           double* s1, double* s2) {
  constexpr std::size_t L = sizeof(V) / sizeof(double);
  for (std::size_t k = first; k < first + count; ++k) {
    const std::size_t j0 = static_cast<std::size_t>(lat.n) * k;
    const int r = static_cast<int>(j0 % static_cast<std::size_t>(lat.m));
    const std::size_t l0 = j0 / static_cast<std::size_t>(lat.m);
    const double* p1 = lat.table(r, 0) + l0;
    const double* p2 = lat.table(r, 1) + l0;
    const double* g1 = lat.table(r, 2) + l0;
    const double* g2 = lat.table(r, 3) + l0;
    V v1a = {}, v1b = {}, v2a = {}, v2b = {}, e1a = {}, e1b = {}, e2a = {}, e2b = {};
    std::size_t i = 0;
    for (; i + 2 * L <= n_padded; i += 2 * L) {
      const V av1 = load<V>(a1 + i), av2 = load<V>(a2 + i);
      const V bv1 = load<V>(a1 + i + L), bv2 = load<V>(a2 + i + L);
      v1a += av1 * load<V>(p1 + i);
      v2a += av2 * load<V>(p2 + i);
      v1b += bv1 * load<V>(p1 + i + L);
      v2b += bv2 * load<V>(p2 + i + L);
      if constexpr (kSlope) {
        e1a += av1 * load<V>(g1 + i);
        e2a += av2 * load<V>(g2 + i);
        e1b += bv1 * load<V>(g1 + i + L);
        e2b += bv2 * load<V>(g2 + i + L);
      }
    }
    if (i < n_padded) {
      const V av1 = load<V>(a1 + i), av2 = load<V>(a2 + i);
      v1a += av1 * load<V>(p1 + i);
      v2a += av2 * load<V>(p2 + i);
      if constexpr (kSlope) {
        e1a += av1 * load<V>(g1 + i);
        e2a += av2 * load<V>(g2 + i);
      }
    }
    s1[k] = lanes_sum(v1a + v1b);
    s2[k] = lanes_sum(v2a + v2b);
    if constexpr (kSlope) {
      s1[k] += lat.eps[k] * lanes_sum(e1a + e1b);
      s2[k] += lat.eps[k] * lanes_sum(e2a + e2b);
    }
  }
}

#define TALVERN_CORR_RANGE_ARGS                                                             \
  const Lattice &lat, const double *a1, const double *a2, std::size_t n_padded,            \
      std::size_t first, std::size_t count, double *s1, double *s2
#define TALVERN_CORR_RANGE_CALL(V)                                                          \
  if (lat.exact) corr_range_body<V, false>(lat, a1, a2, n_padded, first, count, s1, s2);    \
  else corr_range_body<V, true>(lat, a1, a2, n_padded, first, count, s1, s2)

void corr_range_generic(TALVERN_CORR_RANGE_ARGS) { TALVERN_CORR_RANGE_CALL(v4d); }

TALVERN_TARGET("avx2,fma") void corr_range_avx2(TALVERN_CORR_RANGE_ARGS) {
  TALVERN_CORR_RANGE_CALL(v4d);
}

TALVERN_TARGET("avx512f,avx2,fma") void corr_range_avx512(TALVERN_CORR_RANGE_ARGS) {
  TALVERN_CORR_RANGE_CALL(v8d);
}

#pragma GCC diagnostic pop

const auto corr_range = kIsa == Isa::avx512 ? corr_range_avx512
                        : kIsa == Isa::avx2 ? corr_range_avx2
                                            : corr_range_generic;

// Where the intermediate states and the emission energies meet on a
// lattice: the steps m delta of the states and n delta of the energies, and
// the drift eps_k of each energy from its lattice point.
struct LatticeSteps {
  int m = 1, n = 0;
  double delta = 0;
  double eps_max = 0;
};

// Finds the common lattice, allowing a drift that stays a first-order
// correction for Lorentzians no narrower than q_min (HUGE_VAL: none counts).
// False when there is none: the steps are not in a ratio of small whole
// numbers, a point lies too far from the lattice, or the grid runs backwards.
bool find_lattice(const Intermediate& in, double q_min, const double* omega, std::size_t count,
                  LatticeSteps& steps, std::vector<double>& eps) {
  const std::size_t n_rows = in.n;
  if (n_rows < 2 || count == 0) return false;
  const double* d = in.d.data();
  const double hd = (d[n_rows - 1] - d[0]) / static_cast<double>(n_rows - 1);
  const double hw =
      count > 1 ? (omega[count - 1] - omega[0]) / static_cast<double>(count - 1) : 0.0;
  if (!(hd > 0) || !(hw >= 0) || !std::isfinite(hd) || !std::isfinite(hw)) return false;

  // Smallest n with hd / hw close to m / n; a step-0 grid stays at one point.
  int m = 1, n = 0;
  if (hw > 0) {
    for (n = 1; n <= kMaxLatticeRatio; ++n) {
      const double ratio = n * hd / hw;
      m = static_cast<int>(std::lround(ratio));
      if (m >= 1 && m <= kMaxLatticeRatio && std::abs(ratio - m) <= 1e-6) break;
    }
    if (n > kMaxLatticeRatio) return false;
  }
  const double delta = hd / m;

  // How far the points may lie from the lattice (see above).
  const double w_max = std::max(std::abs(omega[0]), std::abs(omega[count - 1]));
  const double d_max = std::max(std::abs(d[0]), std::abs(d[n_rows - 1]));
  const double eta_tolerance = 4 * (w_max + d_max) * std::numeric_limits<double>::epsilon();
  const double eps_tolerance = q_min == HUGE_VAL ? eta_tolerance : 1e-7 * std::sqrt(q_min);

  for (std::size_t i = 0; i < n_rows; ++i)
    if (!(std::abs((d[i] - d[0]) - static_cast<double>(m * i) * delta) <= eta_tolerance))
      return false;
  double eps_max = 0;
  eps.resize(count);
  for (std::size_t k = 0; k < count; ++k) {
    eps[k] = (omega[k] - omega[0]) - static_cast<double>(n * k) * delta;
    eps_max = std::max(eps_max, std::abs(eps[k]));
  }
  if (!(eps_max <= eps_tolerance)) return false;
  steps = {m, n, delta, eps_max};
  return true;
}

// Finds the common lattice of the intermediate states and the emission
// energies and tabulates the final-state sums on it. False when there is
// none.
bool build_lattice(const Intermediate& in, const FinalStates& fs, const double* omega,
                   std::size_t count, Lattice& lat) {
  double q_min = HUGE_VAL;
  for (int X = 0; X < 4; ++X)
    if (fs.c[X] != 0) q_min = std::min(q_min, fs.q[X]);
  LatticeSteps steps;
  if (!find_lattice(in, q_min, omega, count, steps, lat.eps)) return false;
  const int m = steps.m, n = steps.n;
  const double delta = steps.delta;
  const double* d = in.d.data();
  lat.m = m;
  lat.n = n;
  lat.exact = steps.eps_max == 0;
  const std::size_t n_padded = in.d.size();

  // Entry l of residue r is lattice point j = m l + r; the last emission
  // energy reaches l = n (count - 1) / m + n_padded - 1.
  lat.length = static_cast<std::size_t>(n) * (count - 1) / static_cast<std::size_t>(m) +
               n_padded;
  lat.data.assign(static_cast<std::size_t>(m) * 4 * lat.length, 0.0);
  double base[4];
  for (int X = 0; X < 4; ++X) base[X] = d[0] + (omega[0] - fs.p[X]);
  for (int r = 0; r < m; ++r) {
    double* phi1 = lat.data.data() + (static_cast<std::size_t>(r) * 4) * lat.length;
    double* phi2 = phi1 + lat.length;
    double* grad1 = phi2 + lat.length;
    double* grad2 = grad1 + lat.length;
    for (std::size_t l = 0; l < lat.length; ++l) {
      const double j = static_cast<double>(static_cast<std::size_t>(m) * l +
                                           static_cast<std::size_t>(r));
      double value[4], slope[4];
      for (int X = 0; X < 4; ++X) {
        const double u = base[X] + j * delta;
        const double x = fs.q[X] + u * u;
        value[X] = fs.c[X] / x;
        slope[X] = -2 * u * (value[X] / x);
      }
      phi1[l] = value[0] + value[1];
      phi2[l] = value[2] + value[3];
      grad1[l] = slope[0] + slope[1];
      grad2[l] = slope[2] + slope[3];
    }
  }
  return true;
}

// The same sum with one division per Lorentzian, term by term, for the rare
// emission energies where the shared division would leave the double range.
void sum_one_plain(const Intermediate& in, const FinalStates& fs, double w, double& s1,
                   double& s2) {
  double t1 = 0, t2 = 0;
  for (std::size_t i = 0; i < in.n; ++i) {
    double x[4];
    for (int X = 0; X < 4; ++X) {
      const double t = in.d[i] + (w - fs.p[X]);
      x[X] = fs.q[X] + t * t;
    }
    t1 += in.a1[i] * (fs.c[0] / x[0] + fs.c[1] / x[1]);
    t2 += in.a2[i] * (fs.c[2] / x[2] + fs.c[3] / x[3]);
  }
  s1 = t1;
  s2 = t2;
}

// The shared division multiplies four denominators, and its numerators
// multiply amplitudes by denominators. Where these products could leave the
// normal range of a double (energies absurdly far apart, widths or
// amplitudes of almost nothing) the sum is done again one Lorentzian at a
// time, as the formula reads; so is any sum that came out not finite.
void redo_out_of_range(const Intermediate& in, const FinalStates& fs, const double* omega,
                       std::size_t count, double* s1, double* s2) {
  double max_d = 0, a_min = HUGE_VAL, a_max = 0;
  for (std::size_t i = 0; i < in.n; ++i) {
    max_d = std::max(max_d, std::abs(in.d[i]));
    for (double a : {std::abs(in.a1[i]), std::abs(in.a2[i])})
      if (a > 0) a_min = std::min(a_min, a), a_max = std::max(a_max, a);
  }
  double q_min = HUGE_VAL, q_max = 0, c_min = HUGE_VAL, c_max = 0;
  for (int X = 0; X < 4; ++X) {
    q_min = std::min(q_min, fs.q[X]);
    q_max = std::max(q_max, fs.q[X]);
    const double c = std::abs(fs.c[X]);
    if (c > 0) c_min = std::min(c_min, c), c_max = std::max(c_max, c);
  }
  if (a_max == 0 || c_max == 0) a_min = a_max = c_min = c_max = 1;  // every term is 0
  for (std::size_t k = 0; k < count; ++k) {
    double shift = 0;
    for (int X = 0; X < 4; ++X) shift = std::max(shift, std::abs(omega[k] - fs.p[X]));
    const double x_max = q_max + (max_d + shift) * (max_d + shift);
    const bool in_range = x_max < 1e75 && q_min > 1e-72 && c_min * q_min > 1e-200 &&
                          a_min * c_min * q_min > 1e-200 && c_max * x_max < 1e200 &&
                          a_max * c_max * x_max < 1e200;
    if (!in_range || !std::isfinite(s1[k]) || !std::isfinite(s2[k]))
      sum_one_plain(in, fs, omega[k], s1[k], s2[k]);
  }
}

// The correlation forms no products of denominators; only a sum that came
// out not finite is done again term by term.
void redo_not_finite(const Intermediate& in, const FinalStates& fs, const double* omega,
                     std::size_t count, double* s1, double* s2) {
  for (std::size_t k = 0; k < count; ++k)
    if (!std::isfinite(s1[k]) || !std::isfinite(s2[k]))
      sum_one_plain(in, fs, omega[k], s1[k], s2[k]);
}

// Runs range(first, m) over the emission energies 0 ... count - 1, shared
// with the helper thread in chunks when the work (in terms of the
// correlation) is large enough to pay for it.
template <class Range>
void share_range(std::size_t count, std::size_t work, const Range& range) {
  // Below this much work the helper thread costs more than it saves.
  constexpr std::size_t kShareThreshold = 160000;
  static const unsigned cores = std::thread::hardware_concurrency();
  if (cores < 2 || count < 2 || work < kShareThreshold) {
    range(0, count);
    return;
  }
  // Both threads take chunks of emission energies until none is left.
  constexpr std::size_t kChunk = 8;
  std::atomic<std::size_t> next{0};
  const std::function<void()> take_chunks = [&] {
    for (;;) {
      const std::size_t first = next.fetch_add(kChunk, std::memory_order_relaxed);
      if (first >= count) return;
      range(first, std::min(kChunk, count - first));
    }
  };
  HelperThread* helper = nullptr;
  try {
    helper = &HelperThread::get();
  } catch (const std::system_error&) {
    // No thread to be had: this one does it all.
  }
  if (helper) helper->run_both(take_chunks);
  else take_chunks();
}

// ---- The sums of each Lorentzian on its own, for derivatives --------------

struct PartsInput {
  const double* a1;
  const double* a2;
  std::size_t n_padded;
  const FinalStates& fs;
  const std::array<bool, 4>& use;
  std::size_t count;
  double* out;  // [3 X + part][k]
  // On a lattice: m, n and per residue the three tables of each Lorentzian.
  int m = 1, n = 0;
  std::size_t length = 0;
  const double* tables = nullptr;
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
// Emission energies k, k + m, ..., k + (kBlock - 1) m meet the same tables,
// each n entries on from the one before: they are summed together, so that
// every amplitude and table entry loaded serves kBlock of them.
constexpr std::size_t kBlock = 4;

// The correlation of the tables of each Lorentzian in use with its
// amplitudes, the three parts at once, for the B energies of a block from k0.
template <class V, std::size_t B>
__attribute__((always_inline)) inline void parts_corr_block(const PartsInput& p,
                                                            std::size_t k0) {
  constexpr std::size_t L = sizeof(V) / sizeof(double);
  const std::size_t j0 = static_cast<std::size_t>(p.n) * k0;
  const std::size_t r = j0 % static_cast<std::size_t>(p.m);
  const std::size_t l0 = j0 / static_cast<std::size_t>(p.m);
  const std::size_t step = static_cast<std::size_t>(p.n);
  for (int X = 0; X < 4; ++X) {
    if (!p.use[X]) continue;
    const double* a = X < 2 ? p.a1 : p.a2;
    const double* t = p.tables + (r * 12 + 3 * static_cast<std::size_t>(X)) * p.length + l0;
    V f[B] = {}, g[B] = {}, h[B] = {};
    for (std::size_t i = 0; i < p.n_padded; i += L) {
      const V av = load<V>(a + i);
      for (std::size_t b = 0; b < B; ++b) {
        const double* tb = t + b * step + i;
        f[b] += av * load<V>(tb);
        g[b] += av * load<V>(tb + p.length);
        h[b] += av * load<V>(tb + 2 * p.length);
      }
    }
    for (std::size_t b = 0; b < B; ++b) {
      const std::size_t k = k0 + b * static_cast<std::size_t>(p.m);
      p.out[(3 * X) * p.count + k] = lanes_sum(f[b]);
      p.out[(3 * X + 1) * p.count + k] = lanes_sum(g[b]);
      p.out[(3 * X + 2) * p.count + k] = lanes_sum(h[b]);
    }
  }
}

// Tiles first ... first + count - 1: tile tau is the block b = tau / m of
// the energies k = tau mod m (mod m), a short block energy by energy.
template <class V>
__attribute__((always_inline)) inline void parts_corr_body(const PartsInput& p, std::size_t first,
                                                           std::size_t count) {
  const std::size_t m = static_cast<std::size_t>(p.m);
  for (std::size_t tau = first; tau < first + count; ++tau) {
    const std::size_t k0 = tau % m + (tau / m) * m * kBlock;
    if (k0 + (kBlock - 1) * m < p.count)
      parts_corr_block<V, kBlock>(p, k0);
    else
      for (std::size_t k = k0; k < p.count; k += m) parts_corr_block<V, 1>(p, k);
  }
}

// The same term by term, for emission energies off the lattice.
template <class V>
__attribute__((always_inline)) inline void parts_direct_body(const PartsInput& p, const double* d,
                                                             const double* omega,
                                                             std::size_t first,
                                                             std::size_t count) {
  constexpr std::size_t L = sizeof(V) / sizeof(double);
  V one;
  for (std::size_t l = 0; l < L; ++l) one[l] = 1.0;
  for (std::size_t k = first; k < first + count; ++k) {
    for (int X = 0; X < 4; ++X) {
      if (!p.use[X]) continue;
      const double* a = X < 2 ? p.a1 : p.a2;
      const double shift = omega[k] - p.fs.p[X], q = p.fs.q[X];
      V f = {}, g = {}, h = {};
      for (std::size_t i = 0; i < p.n_padded; i += L) {
        const V t = load<V>(d + i) + shift;
        const V inv = one / (q + t * t);
        const V ai = load<V>(a + i) * inv;
        f += ai;
        g += ai * inv;
        h += ai * inv * t;
      }
      p.out[(3 * X) * p.count + k] = lanes_sum(f);
      p.out[(3 * X + 1) * p.count + k] = lanes_sum(g);
      p.out[(3 * X + 2) * p.count + k] = lanes_sum(h);
    }
  }
}

void parts_corr_generic(const PartsInput& p, std::size_t first, std::size_t count) {
  parts_corr_body<v4d>(p, first, count);
}
TALVERN_TARGET("avx2,fma")
void parts_corr_avx2(const PartsInput& p, std::size_t first, std::size_t count) {
  parts_corr_body<v4d>(p, first, count);
}
TALVERN_TARGET("avx512f,avx2,fma")
void parts_corr_avx512(const PartsInput& p, std::size_t first, std::size_t count) {
  parts_corr_body<v8d>(p, first, count);
}
void parts_direct_generic(const PartsInput& p, const double* d, const double* omega,
                          std::size_t first, std::size_t count) {
  parts_direct_body<v4d>(p, d, omega, first, count);
}
TALVERN_TARGET("avx2,fma")
void parts_direct_avx2(const PartsInput& p, const double* d, const double* omega,
                       std::size_t first, std::size_t count) {
  parts_direct_body<v4d>(p, d, omega, first, count);
}
#pragma GCC diagnostic pop

const auto parts_corr = kIsa == Isa::avx512 ? parts_corr_avx512
                        : kIsa == Isa::avx2 ? parts_corr_avx2
                                            : parts_corr_generic;
const auto parts_direct = kIsa == Isa::generic ? parts_direct_generic : parts_direct_avx2;

}  // namespace

bool has_avx2_fma() {
  static const bool yes = detect_isa() != Isa::generic;
  return yes;
}

FinalStates make_final_states(const LorentzSet& set) {
  FinalStates fs{};
  const double m[4] = {set.position[0], set.position[1] + (set.position[1] - set.position[0]),
                       set.position[2], set.position[3] + (set.position[3] - set.position[2])};
  for (int X = 0; X < 4; ++X) {
    const double half = set.width[X] / 2;
    fs.q[X] = half * half;
    fs.p[X] = set.position[X];
    fs.c[X] = set.amplitude[X] * m[X];
  }
  return fs;
}

void Intermediate::add(double energy, double omega, double gamma_half, double weight, double y1,
                       double y2) {
  const double e = energy - omega;
  const double core = energy / (e * e + gamma_half * gamma_half);
  d.push_back(e);
  a1.push_back(weight * core * y1);
  a2.push_back(weight * core * y2);
  ++n;
}

void Intermediate::finish() {
  // Padding terms: amplitude 0 far from every resonance, so they add
  // exactly 0 and never divide by 0. Eight lanes for the widest vectors.
  while (d.size() % 8) {
    d.push_back(1.0e6);
    a1.push_back(0.0);
    a2.push_back(0.0);
  }
}

bool sum_intermediate(const Intermediate& in, const FinalStates& fs, const double* omega,
                      std::size_t count, double* s1, double* s2) {
  const std::size_t n_padded = in.d.size();
  Lattice lat;
  const bool on_lattice = build_lattice(in, fs, omega, count, lat);
  // A direct term costs about four terms of the correlation.
  share_range(count, n_padded * count * (on_lattice ? 1 : 4),
              [&](std::size_t first, std::size_t m) {
                if (on_lattice)
                  corr_range(lat, in.a1.data(), in.a2.data(), n_padded, first, m, s1, s2);
                else
                  sum_range(in.d.data(), in.a1.data(), in.a2.data(), n_padded, fs, omega + first,
                            m, s1 + first, s2 + first);
              });
  if (on_lattice)
    redo_not_finite(in, fs, omega, count, s1, s2);
  else
    redo_out_of_range(in, fs, omega, count, s1, s2);
  return on_lattice;
}

void sum_intermediate_parts(const Intermediate& in, const FinalStates& fs,
                            const std::array<bool, 4>& use, const double* omega,
                            std::size_t count, std::vector<double>& parts) {
  parts.assign(12 * count, 0.0);
  PartsInput p{in.a1.data(), in.a2.data(), in.d.size(), fs, use, count, parts.data()};
  double q_min = HUGE_VAL;
  std::size_t used = 0;
  for (int X = 0; X < 4; ++X)
    if (use[X]) q_min = std::min(q_min, fs.q[X]), ++used;
  if (used == 0 || count == 0) return;
  LatticeSteps steps;
  std::vector<double> eps;
  if (find_lattice(in, q_min, omega, count, steps, eps)) {
    // The tables of each residue r: entry l is lattice point j = m l + r.
    p.m = steps.m;
    p.n = steps.n;
    p.length = static_cast<std::size_t>(steps.n) * (count - 1) / static_cast<std::size_t>(steps.m) +
               p.n_padded;
    std::vector<double> tables(static_cast<std::size_t>(steps.m) * 12 * p.length, 0.0);
    for (int r = 0; r < steps.m; ++r)
      for (int X = 0; X < 4; ++X) {
        if (!use[X]) continue;
        double* t = tables.data() + (static_cast<std::size_t>(r) * 12 + 3 * X) * p.length;
        const double base = in.d[0] + (omega[0] - fs.p[X]);
        for (std::size_t l = 0; l < p.length; ++l) {
          const double j = static_cast<double>(static_cast<std::size_t>(steps.m) * l +
                                               static_cast<std::size_t>(r));
          const double u = base + j * steps.delta;
          const double inv = 1.0 / (fs.q[X] + u * u);
          t[l] = inv;
          t[p.length + l] = inv * inv;
          t[2 * p.length + l] = u * inv * inv;
        }
      }
    p.tables = tables.data();
    const std::size_t m = static_cast<std::size_t>(steps.m);
    const std::size_t tiles = m * ((count + m * kBlock - 1) / (m * kBlock));
    share_range(tiles, p.n_padded * count * used * 3 / 2,
                [&](std::size_t first, std::size_t n) { parts_corr(p, first, n); });
  } else {
    share_range(count, p.n_padded * count * used * 4, [&](std::size_t first, std::size_t m) {
      parts_direct(p, in.d.data(), omega, first, m);
    });
  }
}

void start_helper_thread() {
  if (std::thread::hardware_concurrency() < 2) return;
  try {
    HelperThread::get();
  } catch (const std::system_error&) {
    // No thread to be had: the sums run on the caller's thread.
  }
}

std::vector<double> emission_grid(double start, double end, double step, std::size_t capacity,
                                  bool& capped) {
  std::vector<double> grid;
  capped = false;
  double w = start;
  while (w <= end) {
    if (grid.size() == capacity) {
      capped = true;
      break;
    }
    grid.push_back(w);
    w += step;
  }
  return grid;
}

}  // namespace talvern

