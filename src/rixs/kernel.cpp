#include "rixs/kernel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <system_error>
#include <thread>

#include "rixs/helper_thread.h"

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

using SumRange = void (*)(TALVERN_SUM_RANGE_ARGS);

#if defined(__x86_64__)
__attribute__((target("avx2,fma"))) void sum_range_avx2(TALVERN_SUM_RANGE_ARGS) {
  sum_range_body(d, a1, a2, n_padded, fs, omega, count, s1, s2);
}

SumRange pick_sum_range() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return sum_range_avx2;
  return sum_range_generic;
}
#else
SumRange pick_sum_range() { return sum_range_generic; }
#endif

const SumRange sum_range = pick_sum_range();

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

}  // namespace

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
  // exactly 0 and never divide by 0.
  while (d.size() % kLanes) {
    d.push_back(1.0e6);
    a1.push_back(0.0);
    a2.push_back(0.0);
  }
}

void sum_intermediate(const Intermediate& in, const FinalStates& fs, const double* omega,
                      std::size_t count, double* s1, double* s2) {
  const std::size_t n_padded = in.d.size();
  auto range = [&](std::size_t first, std::size_t m) {
    sum_range(in.d.data(), in.a1.data(), in.a2.data(), n_padded, fs, omega + first, m,
              s1 + first, s2 + first);
  };
  // Below this much work the helper thread costs more than it saves.
  constexpr std::size_t kShareThreshold = 40000;
  static const unsigned cores = std::thread::hardware_concurrency();
  if (cores >= 2 && count >= 2 && n_padded * count >= kShareThreshold) {
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
  } else {
    range(0, count);
  }
  redo_out_of_range(in, fs, omega, count, s1, s2);
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

