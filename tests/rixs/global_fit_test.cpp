// "Global Fit" (fit-rixs) against measurements the engine made: a selective
// XAFS shaped like the sample's (the WIEN2k spectrum of examples/ at the Fe
// K-edge) with known Lorentzians added, four emission spectra and one HERFD
// calculated by the engine at the measured energies, with 1 % noise. The fit
// finds the peaks and the scale again from starts 1 eV and 30 % off, its
// standard uncertainties hold the truth as often as they should, and one
// cut alone cannot tell a peak's centre from a shift. Through talvern-cli:
// the JSON object read back, "--confirm" then "plane-compare", the input
// errors and the history line replayed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "rixs/global_fit.h"
#include "support/cli_run.h"
#include "support/json_reader.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/measured_set.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"

namespace {

using namespace talvern;
using namespace talvern::test;
using Peak = FitSetup::Peak;

// ---- the synthetic measurements --------------------------------------------

// The sample's one-component selective XAFS as the tour imports it (the
// shape of examples/make_examples.py: pre-edge feature, edge, two broad
// resonances), at the core energy 7113.8 eV, about 1 at its top.
double sample_selective(double e) {
  const double x = e - 7113.8;
  const auto gauss = [x](double x0, double fwhm) {
    const double s = fwhm / 2.3548;
    return std::exp(-0.5 * (x - x0) * (x - x0) / (s * s));
  };
  const double edge = 0.5 + std::atan((x - 6.0) / 1.25) / M_PI;
  return (0.05 * gauss(1.8, 1.2) + 0.8 * edge + 0.9 * gauss(9.5, 3.0) + 0.35 * gauss(22.0, 8.0)) / 1.4;
}

double lorentzian(const Peak& p, double e) {
  return p.amplitude / ((e - p.center) * (e - p.center) + p.width * p.width);
}

struct Synthetic {
  EngineInputs in;  // in.par.scale: the true scale
  RowsRead working;  // the working copy: the sample's spectrum without the peaks
  std::vector<Peak> truth;
  MeasuredSet clean;  // in counts, 10^4 at the brightest point
};

// What the fit varies: the peaks, the scale, the absorption correction and
// a shift of the whole selective XAFS.
struct Values {
  std::vector<Peak> peaks;
  double scale = 0, abs_corr = 1, shift = 0;
};

// The engine's total intensity at every point of `layout`, in its order,
// from the working copy with the peaks of `v` added on both components,
// shifted by v.shift, at the factors of `v`.
std::vector<double> engine_sum(const Synthetic& s, const MeasuredSet& layout, const Values& v) {
  RowsRead sample;
  sample.k = 3;
  sample.rows = s.working.rows;
  for (std::size_t i = 0; i < s.working.rows; ++i) {
    const double e = s.working.at(i, 0);
    double peaks = 0;
    for (const Peak& p : v.peaks) peaks += lorentzian(p, e);
    sample.values.insert(sample.values.end(),
                         {e + v.shift, s.working.at(i, 1) + peaks, s.working.at(i, 2) + peaks});
  }
  CalcParameters par = s.in.par;
  par.scale = v.scale;
  par.abs_correction = v.abs_corr;
  std::vector<double> out;
  for (const MeasuredGroup& g : layout.groups) {
    if (g.kind == MeasuredKind::herfd) {
      for (const MeasuredPoint& p : g.points)
        out.push_back(rixs_rows_at(sample, s.in.conv, par, s.in.lor, p.omega, &g.energy, 1)[1]);
      continue;
    }
    std::vector<double> emission;
    for (const MeasuredPoint& p : g.points) emission.push_back(p.emission);
    const std::vector<double> rows =
        rixs_rows_at(sample, s.in.conv, par, s.in.lor, g.energy, emission.data(), emission.size());
    for (std::size_t k = 0; k < emission.size(); ++k) out.push_back(rows[4 * k + 1]);
  }
  return out;
}

// The sample with `truth` added, measured by the engine: emission spectra
// at `cuts` (7020 ... 7080 eV, 601 energies) and the HERFD at the K-beta
// main line, 7058 eV (7105 ... 7135 eV, 301 energies). The working copy
// runs 7108.8 ... 7128.8 eV in 0.1 eV steps, as "Complete the Modification"
// of the tour leaves it; the final states and factors are the tour's.
Synthetic make_synthetic(std::vector<Peak> truth, const std::vector<double>& cuts) {
  Synthetic s;
  s.truth = std::move(truth);
  CalcParameters& par = s.in.par;
  par.gamma = 1.25;
  par.core_energy = 7113.8;
  par.emission_start = 7020;
  par.emission_end = 7080;
  par.emission_step = 0.25;
  par.abs_correction = 1;
  par.scale = 7.9e-9;
  s.in.lor.two_component = 1;
  s.in.lor.width = {4.3, 5.78, 2, 1.07};
  s.in.lor.position = {7045.5, 7056, 7058, 7060.1};
  s.in.lor.amplitude = {0.65, 0, 1, 0};
  s.in.conv.k = 2;
  for (int j = 0; j <= 500; ++j) {
    const double e = 7050 + 0.5 * j;
    s.in.conv.values.insert(s.in.conv.values.end(), {e, 0.02 + 0.5 + std::atan((e - 7114) / 1.5) / M_PI});
  }
  s.in.conv.rows = 501;
  s.working.k = 3;
  for (int i = 0; i <= 200; ++i) {
    const double e = 7108.8 + 0.1 * i, y = sample_selective(e);
    s.working.values.insert(s.working.values.end(), {e, y, y});
  }
  s.working.rows = 201;

  for (double omega : cuts) {
    MeasuredGroup g{MeasuredKind::emission, omega, {}};
    for (int k = 0; k <= 600; ++k) g.points.push_back({omega, 7020 + 0.1 * k, 0});
    s.clean.groups.push_back(std::move(g));
  }
  MeasuredGroup herfd{MeasuredKind::herfd, 7058, {}};
  for (int j = 0; j <= 300; ++j) herfd.points.push_back({7105 + 0.1 * j, 7058, 0});
  s.clean.groups.push_back(std::move(herfd));
  const std::vector<double> sum = engine_sum(s, s.clean, {s.truth, par.scale});

  // Counts: 10^4 at the brightest point, the true scale with them.
  const double top = *std::max_element(sum.begin(), sum.end());
  std::size_t j = 0;
  for (MeasuredGroup& g : s.clean.groups)
    for (MeasuredPoint& p : g.points) p.intensity = sum[j++] * 1e4 / top;
  par.scale *= 1e4 / top;
  return s;
}

// Two peaks, one below the pre-edge feature and one on the rising edge,
// seen by cuts below, between, at and above them.
const Synthetic& two_peaks() {
  static const Synthetic s = make_synthetic({{7112.8, 2.0, 2.0}, {7117.8, 3.0, 2.0}}, {7112, 7114, 7115.6, 7118});
  return s;
}

// 1 % noise, Gaussian: counting noise (variance = counts, so 1 % at the
// brightest point), the noise --weights poisson is for; or flat, 1 % of
// the brightest point everywhere, the noise of the unweighted fit.
enum class Noise { counting, flat };

MeasuredSet with_noise(const MeasuredSet& clean, std::uint64_t seed, Noise noise) {
  std::mt19937_64 gen(seed);
  const auto uniform = [&gen] { return (static_cast<double>(gen() >> 11) + 0.5) * 0x1.0p-53; };
  MeasuredSet set = clean;
  for (MeasuredGroup& g : set.groups)
    for (MeasuredPoint& p : g.points) {
      const double normal = std::sqrt(-2 * std::log(uniform())) * std::cos(2 * M_PI * uniform());
      p.intensity += (noise == Noise::counting ? std::sqrt(p.intensity) : 100.0) * normal;
    }
  return set;
}

// The starts: each centre 1 eV off, each amplitude, width and the scale
// 30 % off, the directions alternating, all turned round by `turn`.
struct Starts {
  std::vector<Peak> peaks;
  double scale;
};
Starts starts_off(const Synthetic& s, int turn) {
  Starts st{{}, s.in.par.scale * (1 + 0.3 * turn)};
  for (std::size_t i = 0; i < s.truth.size(); ++i) {
    const double d = i % 2 ? -turn : turn;
    const Peak& t = s.truth[i];
    st.peaks.push_back({t.center + d, t.amplitude * (1 + 0.3 * d), t.width * (1 - 0.3 * d)});
  }
  return st;
}

GlobalFitResult fit(const Synthetic& s, const MeasuredSet& set, const Starts& st, bool poisson,
                    bool shift = false) {
  EngineInputs in = s.in;
  in.par.scale = st.scale;
  FitSetup setup;
  setup.peaks = st.peaks;
  setup.fit_scale = true;
  setup.fit_shift = shift;
  setup.poisson = poisson;
  std::string error;
  std::optional<GlobalFitResult> r = fit_global(set, s.working, in, setup, error);
  EXPECT_TRUE(r) << error;
  return r ? *r : GlobalFitResult{};
}

// The true values of the free parameters in the fit's order (the peaks,
// then the scale), and how far the fit may land from each.
std::vector<double> truth_of(const Synthetic& s) {
  std::vector<double> v;
  for (const Peak& p : s.truth) v.insert(v.end(), {p.center, p.amplitude, p.width});
  v.push_back(s.in.par.scale);
  return v;
}
double tolerance(std::size_t i, double truth, std::size_t peaks) {
  if (i == 3 * peaks) return 0.02 * truth;     // the scale: 2 %
  return i % 3 == 0 ? 0.05 : 0.05 * truth;     // a centre 0.05 eV, amplitude and width 5 %
}

// The free parameters of a fit of the peaks and the scale, in order.
std::vector<const FitParameter*> free_of(const GlobalFitResult& r) {
  std::vector<const FitParameter*> free;
  for (const FitParameter& p : r.parameters)
    if (!p.fixed) free.push_back(&p);
  return free;
}

// `v` with `digits` significant digits, as the text report prints it.
std::string printed(double v, int digits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*g", digits, v);
  return buf;
}

// ---- the fit in memory -------------------------------------------------------

// Without noise the fit lands on the truth: its model is the engine's sum.
// With 1 % counting noise, from starts 1 eV and 30 % off either way, every
// centre is found within 0.05 eV, amplitudes and widths within 5 %, the
// scale within 2 %, at the very minimum the fit reaches from the truth.
TEST(GlobalFit, FindsThePeaksAndTheScaleFromStartsOff) {
  const Synthetic& s = two_peaks();
  const std::vector<double> truth = truth_of(s);
  const Starts at_truth{s.truth, s.in.par.scale};
  for (int turn : {1, -1}) {
    SCOPED_TRACE(turn);
    const GlobalFitResult r = fit(s, s.clean, starts_off(s, turn), true);
    const auto free = free_of(r);
    ASSERT_EQ(free.size(), truth.size());
    for (std::size_t i = 0; i < truth.size(); ++i)
      EXPECT_NEAR(free[i]->value, truth[i], 1e-6 * std::abs(truth[i])) << free[i]->name;
    ASSERT_TRUE(r.comparison.r_factor);
    EXPECT_LT(*r.comparison.r_factor, 1e-6);
  }
  for (std::uint64_t seed : {1, 2, 3}) {
    const MeasuredSet set = with_noise(s.clean, seed, Noise::counting);
    const GlobalFitResult best = fit(s, set, at_truth, true);
    for (int turn : {1, -1}) {
      SCOPED_TRACE(testing::Message() << "seed " << seed << ", turn " << turn);
      const GlobalFitResult r = fit(s, set, starts_off(s, turn), true);
      EXPECT_FALSE(r.stopped);
      const auto free = free_of(r), at_best = free_of(best);
      ASSERT_EQ(free.size(), truth.size());
      ASSERT_EQ(at_best.size(), truth.size());
      for (std::size_t i = 0; i < truth.size(); ++i) {
        EXPECT_NEAR(free[i]->value, truth[i], tolerance(i, truth[i], s.truth.size())) << free[i]->name;
        EXPECT_NEAR(free[i]->value, at_best[i]->value, 1e-3 * free[i]->sigma) << free[i]->name;
        EXPECT_FALSE(free[i]->on_bound) << free[i]->name;
      }
    }
  }
}

// The inverse of a symmetric positive definite matrix (n x n, row-major)
// by Gauss-Jordan elimination.
std::vector<double> inverse(std::vector<double> a, std::size_t n) {
  std::vector<double> inv(n * n, 0.0);
  for (std::size_t i = 0; i < n; ++i) inv[i * n + i] = 1;
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t pivot = c;
    for (std::size_t r = c + 1; r < n; ++r)
      if (std::abs(a[r * n + c]) > std::abs(a[pivot * n + c])) pivot = r;
    for (std::size_t k = 0; k < n; ++k) std::swap(a[c * n + k], a[pivot * n + k]), std::swap(inv[c * n + k], inv[pivot * n + k]);
    const double d = a[c * n + c];
    for (std::size_t k = 0; k < n; ++k) a[c * n + k] /= d, inv[c * n + k] /= d;
    for (std::size_t r = 0; r < n; ++r) {
      if (r == c) continue;
      const double f = a[r * n + c];
      for (std::size_t k = 0; k < n; ++k) a[r * n + k] -= f * a[c * n + k], inv[r * n + k] -= f * inv[c * n + k];
    }
  }
  return inv;
}

// Every parameter free, without weights and with Poisson weights: the
// standard uncertainties and correlations are those of the engine's sum
// itself, (J^T W J)^-1 with J its slopes by central differences at the
// fitted values, times the reduced chi-square when unweighted.
TEST(GlobalFit, UncertaintiesAreThoseOfTheSlopesOfTheEngineSum) {
  const Synthetic& s = two_peaks();
  const MeasuredSet set = with_noise(s.clean, 1, Noise::counting);
  std::vector<double> measured, weight;
  for (const MeasuredGroup& g : set.groups) {
    double top = 0;
    for (const MeasuredPoint& p : g.points) top = std::max(top, std::abs(p.intensity));
    for (const MeasuredPoint& p : g.points) {
      measured.push_back(p.intensity);
      weight.push_back(1 / std::max(std::abs(p.intensity), 0.01 * top));
    }
  }
  const std::size_t m = measured.size();
  for (bool poisson : {false, true}) {
    SCOPED_TRACE(poisson ? "Poisson weights" : "no weights");
    FitSetup setup;
    setup.peaks = s.truth;
    setup.fit_scale = setup.fit_abs_corr = setup.fit_shift = true;
    setup.poisson = poisson;
    std::string error;
    const std::optional<GlobalFitResult> r = fit_global(set, s.working, s.in, setup, error);
    ASSERT_TRUE(r) << error;
    const auto free = free_of(*r);
    const std::size_t n = free.size();
    ASSERT_EQ(n, 9u);
    ASSERT_EQ(r->correlation.size(), n * n);
    std::vector<double> x;
    for (const FitParameter* p : free) x.push_back(p->value);
    const auto values = [](const std::vector<double>& x) {
      return Values{{{x[0], x[1], x[2]}, {x[3], x[4], x[5]}}, x[6], x[7], x[8]};
    };

    const std::vector<double> at = engine_sum(s, set, values(x));
    ASSERT_EQ(at.size(), m);
    double chi2 = 0;
    for (std::size_t j = 0; j < m; ++j) chi2 += (poisson ? weight[j] : 1) * (at[j] - measured[j]) * (at[j] - measured[j]);
    chi2 /= static_cast<double>(m - n);
    EXPECT_NEAR(r->chi2_reduced, chi2, 1e-6 * chi2);

    std::vector<double> jac(m * n);
    for (std::size_t i = 0; i < n; ++i) {
      const double h = 1e-4 * (i % 3 == 0 && i < 6 ? 1.0 : i == 8 ? 10.0 : std::abs(x[i]));
      std::vector<double> up = x, down = x;
      up[i] += h;
      down[i] -= h;
      const std::vector<double> a = engine_sum(s, set, values(up)), b = engine_sum(s, set, values(down));
      for (std::size_t j = 0; j < m; ++j) jac[j * n + i] = (a[j] - b[j]) / (2 * h);
    }
    std::vector<double> normal(n * n, 0.0);
    for (std::size_t j = 0; j < m; ++j)
      for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b)
          normal[a * n + b] += (poisson ? weight[j] : 1) * jac[j * n + a] * jac[j * n + b];
    const std::vector<double> cov = inverse(normal, n);
    for (std::size_t a = 0; a < n; ++a) {
      const double sigma = std::sqrt(cov[a * n + a] * (poisson ? 1 : chi2));
      EXPECT_NEAR(free[a]->sigma, sigma, 2e-3 * sigma) << free[a]->name;
      for (std::size_t b = 0; b < n; ++b)
        EXPECT_NEAR(r->correlation[a * n + b], cov[a * n + b] / std::sqrt(cov[a * n + a] * cov[b * n + b]), 2e-3)
            << free[a]->name << ", " << free[b]->name;
    }
  }
}

// Over 100 noise seeds the truth lies within one standard uncertainty of
// the fitted value in 55-80 % of the fits, for each parameter: with
// counting noise and Poisson weights (the uncertainties as they come), and
// with flat noise and no weights (scaled by the reduced chi-square). The
// data are every other point of the set, the starts the truth: the fits
// from starts off above land on the same minimum.
TEST(GlobalFit, OneSigmaHoldsTheTruthInTwoFitsOfThree) {
  const Synthetic& s = two_peaks();
  const std::vector<double> truth = truth_of(s);
  const std::size_t p = truth.size();
  constexpr int kSeeds = 100;
  MeasuredSet every_other = s.clean;
  for (MeasuredGroup& g : every_other.groups) {
    std::vector<MeasuredPoint> kept;
    for (std::size_t k = 0; k < g.points.size(); k += 2) kept.push_back(g.points[k]);
    g.points = kept;
  }
  for (Noise noise : {Noise::counting, Noise::flat}) {
    SCOPED_TRACE(noise == Noise::counting ? "counting noise, Poisson weights" : "flat noise, no weights");
    std::vector<int> inside(p, 0);
    for (int seed = 1; seed <= kSeeds; ++seed) {
      const MeasuredSet set = with_noise(every_other, 1000 + seed, noise);
      const GlobalFitResult r = fit(s, set, Starts{s.truth, s.in.par.scale}, noise == Noise::counting);
      const auto free = free_of(r);
      ASSERT_EQ(free.size(), p);
      for (std::size_t i = 0; i < p; ++i) inside[i] += std::abs(free[i]->value - truth[i]) <= free[i]->sigma;
    }
    for (std::size_t i = 0; i < p; ++i) {
      EXPECT_GE(inside[i], 55) << "parameter " << i;
      EXPECT_LE(inside[i], 80) << "parameter " << i;
    }
  }
}

// One emission spectrum alone does not tell a peak's centre from a shift
// of the whole selective XAFS: the fit says so with a caution that names
// both, in the text and in the JSON, where the whole set has nothing to
// say. The correlations stay a correlation matrix even where the
// measurements leave a parameter free to go anywhere.
TEST(GlobalFit, OneCutCannotTellTheCentreFromAShift) {
  const Synthetic s = make_synthetic({{7115.6, 2.0, 2.0}}, {7113, 7115.6, 7118, 7121});
  const MeasuredSet set = with_noise(s.clean, 7, Noise::counting);
  MeasuredSet one_cut;
  one_cut.groups.push_back(*set.find(MeasuredKind::emission, 7115.6));

  const auto check_matrix = [](const GlobalFitResult& r) {
    const std::size_t p = r.free_names.size();
    ASSERT_EQ(r.correlation.size(), p * p);
    for (std::size_t a = 0; a < p; ++a)
      for (std::size_t b = 0; b < p; ++b) {
        const double c = r.correlation[a * p + b];
        if (a == b) {
          EXPECT_EQ(c, 1.0);
        }
        EXPECT_LE(std::abs(c), 1.0 + 1e-12) << r.free_names[a] << ", " << r.free_names[b];
        EXPECT_NEAR(c, r.correlation[b * p + a], 1e-12) << r.free_names[a] << ", " << r.free_names[b];
      }
  };
  const Starts st = starts_off(s, 1);
  const GlobalFitResult whole = fit(s, set, st, true, true);
  check_matrix(whole);
  EXPECT_TRUE(whole.correlated().empty()) << fit_report_text(whole);
  EXPECT_EQ(fit_report_text(whole).find("CAUTION!!"), std::string::npos) << fit_report_text(whole);

  const GlobalFitResult cut = fit(s, one_cut, st, true, true);
  check_matrix(cut);
  ASSERT_EQ(cut.free_names, (std::vector<std::string>{"peak1.center", "peak1.amplitude", "peak1.width",
                                                      "scale", "shift"}));
  const double r = cut.correlation[0 * 5 + 4];
  EXPECT_LT(r, -0.95);
  const auto pairs = cut.correlated();
  ASSERT_EQ(pairs.size(), 1u) << fit_report_text(cut);
  EXPECT_EQ(pairs[0].a, "peak1.center");
  EXPECT_EQ(pairs[0].b, "shift");
  EXPECT_EQ(pairs[0].r, r);
  const std::string text = fit_report_text(cut);
  EXPECT_NE(text.find("\r\nCAUTION!! The measurements do not tell peak1.center and shift apart "
                      "(correlation " + printed(r, 3) + ")."),
            std::string::npos) << text;
  const std::optional<Json> json = JsonReader(fit_report_json(cut)).read();
  ASSERT_TRUE(json) << fit_report_json(cut);
  const Json& listed = (*json)["correlations_over_0_95"];
  ASSERT_EQ(listed.items.size(), 1u) << fit_report_json(cut);
  ASSERT_EQ(listed.items[0].items.size(), 3u) << fit_report_json(cut);
  EXPECT_EQ(listed.items[0].items[0].string, "peak1.center");
  EXPECT_EQ(listed.items[0].items[1].string, "shift");
  EXPECT_EQ(listed.items[0].items[2].number, r);

  // A second peak where the cut sees nothing: its values are undetermined.
  Starts two = st;
  two.peaks.push_back({7121.0, 1.0, 2.0});
  check_matrix(fit(s, one_cut, two, true, true));
}

// ---- talvern-cli --------------------------------------------------------------

// The number after `label` on the line that starts with it; NaN when none does.
double number_on(const std::string& out, const std::string& label) {
  const std::size_t at = out.find("\n" + label);
  if (at == std::string::npos && !out.starts_with(label)) return std::nan("");
  const std::size_t from = (at == std::string::npos ? 0 : at + 1) + label.size();
  return std::strtod(out.c_str() + from, nullptr);
}

// A scratch work-space holding the two-peak measurements with counting
// noise as the measured set, the sample's spectrum as the working copy and
// the calculation's selective XAFS, the stored scale 30 % above the true
// one, and the tour's Lorentzians and factors.
class FitRixsCli : public ::testing::Test {
 protected:
  TempDir tmp;
  const std::filesystem::path dir = tmp.file("ws");
  const std::string peaks = "--peak 7113.8,2.6,1.4 --peak 7116.8,2.1,2.6 ";  // starts 1 eV, 30 % off

  void SetUp() override { make_workspace(dir); }

  static void make_workspace(const std::filesystem::path& at) {
    std::filesystem::create_directory(at);
    const WorkSpace ws(at);
    const Synthetic& s = two_peaks();
    CalcParameters par = s.in.par;
    par.scale *= 1.3;
    ASSERT_EQ(write_parameters(ws.file(files::kParameters), par), WriteStatus::ok);
    ASSERT_EQ(write_lorentz(ws.file(files::kLorentz), s.in.lor), WriteStatus::ok);
    ASSERT_EQ(write_rows(ws.file(files::kConvXAFSNormSpectrum), s.in.conv.values.data(), s.in.conv.rows, 2),
              WriteStatus::ok);
    for (const char* name : {files::kSelectiveForRIXSTemp, files::kSelectiveForRIXS})
      ASSERT_EQ(write_rows(ws.file(name), s.working.values.data(), s.working.rows, 3), WriteStatus::ok);
    const std::optional<std::string> set = measured_set_text(with_noise(s.clean, 1, Noise::counting));
    ASSERT_TRUE(set);
    write_file(ws.file(files::kPlaneExp), *set);
  }

  CliRun cli(const std::string& args, const std::filesystem::path& at) const {
    return run_cli_at(TALVERN_CLI_PATH, "--workspace '" + at.string() + "' " + args);
  }
  CliRun cli(const std::string& args) const { return cli(args, dir); }
};

// --json prints one JSON object and nothing else: every parameter with its
// value, sigma and whether it was fixed, the R-factor of the set and of
// each group with its energy and kind, the reduced chi-square, the pairs
// the cautions name and the iterations, a whole number. Written as the
// text report writes them, they are that report.
TEST_F(FitRixsCli, JsonIsTheTextReportAsOneObject) {
  const std::string options = peaks + "--fit-scale --weights poisson";
  const CliRun text = cli("fit-rixs " + options);
  ASSERT_EQ(text.exit_code, 0) << text.out;
  const CliRun json = cli("fit-rixs " + options + " --json");
  ASSERT_EQ(json.exit_code, 0) << json.out;
  const std::optional<Json> read = JsonReader(json.out).read();
  ASSERT_TRUE(read) << json.out;
  const Json& j = *read;

  std::string parameters, groups, pairs;
  for (const char* name : {"peak1.center", "peak1.amplitude", "peak1.width", "peak2.center", "peak2.amplitude",
                           "peak2.width", "scale", "abs_corr", "shift"})
    parameters += std::string(parameters.empty() ? "" : ",") + "\"" + name + "\":{\"value\":n,\"sigma\":n,\"fixed\":b}";
  for (int g = 0; g < 5; ++g) groups += std::string(g ? "," : "") + "{\"energy\":n,\"kind\":s,\"r_factor\":n}";
  for (std::size_t k = 0; k < j["correlations_over_0_95"].items.size(); ++k) pairs += std::string(k ? "," : "") + "[s,s,n]";
  EXPECT_EQ(j.shape(), "{\"parameters\":{" + parameters + "},\"r_factor\":{\"total\":n,\"groups\":[" + groups +
                           "]},\"chi2_reduced\":n,\"correlations_over_0_95\":[" + pairs + "],\"iterations\":n}");

  std::string report;
  for (const auto& [name, p] : j["parameters"].members) {
    report += name + " = " + printed(p["value"].number, 6) +
              (p["fixed"].boolean ? " (fixed)" : " ± " + printed(p["sigma"].number, 3)) + "\n";
    EXPECT_TRUE(!p["fixed"].boolean || p["sigma"].number == 0.0) << name;
  }
  for (const Json& g : j["r_factor"]["groups"].items)
    report += (g["kind"].string == "herfd" ? "R-Factor of HERFD at " : "R-Factor at ") +
              printed(g["energy"].number, 6) + " eV: " + printed(g["r_factor"].number, 6) + "\n";
  report += "R-Factor: " + printed(j["r_factor"]["total"].number, 6) + "\n";
  report += "Reduced chi-square: " + printed(j["chi2_reduced"].number, 6) + "\n";
  for (const Json& pair : j["correlations_over_0_95"].items) {
    report += "CAUTION!! The measurements do not tell " + pair.items[0].string + " and " + pair.items[1].string +
              " apart (correlation " + printed(pair.items[2].number, 3) + ").\n";
    EXPECT_GT(std::abs(pair.items[2].number), 0.95);
  }
  EXPECT_EQ(report, text.out);
  EXPECT_NE(report.find("\nCAUTION!! The measurements do not tell peak2.amplitude and peak2.width"),
            std::string::npos) << report;
  EXPECT_NE(report.find("R-Factor of HERFD at 7058 eV: "), std::string::npos) << report;
  EXPECT_GT(j["chi2_reduced"].number, 0.7);  // counts with Poisson weights: about 1
  EXPECT_LT(j["chi2_reduced"].number, 1.1);
  const double iterations = j["iterations"].number;
  EXPECT_TRUE(iterations >= 1 && iterations == std::floor(iterations)) << iterations;
  EXPECT_EQ(json.out.find('.', json.out.find("\"iterations\"")), std::string::npos) << json.out;
}

// --confirm makes the fitted selective XAFS the calculation's and stores
// the scale: plane-compare then finds the R-factors the fit printed. The
// history line, with both --peak options, run again by replay into a copy
// of the work-space as it was, prints the same fit and leaves the same files.
TEST_F(FitRixsCli, ConfirmedFitIsWhatPlaneCompareFindsAndItsLineReplays) {
  const std::filesystem::path again = tmp.file("again");
  make_workspace(again);
  const CliRun fitted = cli("fit-rixs " + peaks + "--fit-scale --confirm");
  ASSERT_EQ(fitted.exit_code, 0) << fitted.out;
  EXPECT_TRUE(fitted.out.ends_with("\nThe fitted selective XAFS is the working copy and the\n"
                                   "calculation's (SelectiveXAFS_for_RIXS.DAT); the factors\n"
                                   "were stored.\n")) << fitted.out;
  const WorkSpace ws(dir);
  EXPECT_EQ(read_file(ws.file(files::kSelectiveForRIXS)), read_file(ws.file(files::kSelectiveForRIXSTemp)));
  CalcParameters par;
  ASSERT_EQ(read_parameters(ws.file(files::kParameters), par), 7u);
  EXPECT_NEAR(par.scale, number_on(fitted.out, "scale = "), 1e-5 * par.scale);
  EXPECT_NEAR(par.scale, two_peaks().in.par.scale, 0.02 * par.scale);

  const CliRun compared = cli("plane-compare");
  ASSERT_EQ(compared.exit_code, 0) << compared.out;
  for (const char* label : {"R-Factor at 7112 eV: ", "R-Factor at 7114 eV: ", "R-Factor at 7115.6 eV: ",
                            "R-Factor at 7118 eV: ", "R-Factor of HERFD at 7058 eV: ", "R-Factor: "}) {
    const double fit = number_on(fitted.out, label), found = number_on(compared.out, label);
    EXPECT_NEAR(found, fit, 1e-4 * fit) << label << "\n" << fitted.out << compared.out;
  }

  const std::string history = read_file(ws.file(files::kHistory));
  const std::size_t line = history.find("\ntalvern-cli fit-rixs ");
  ASSERT_NE(line, std::string::npos) << history;
  EXPECT_NE(history.find("--peak 7113.8,2.6,1.4 --peak 7116.8,2.1,2.6 ", line), std::string::npos) << history;
  const CliRun replay = run_cli_at(TALVERN_CLI_PATH, "--workspace '" + again.string() + "' replay '" +
                                                         ws.file(files::kHistory).string() + "'");
  ASSERT_EQ(replay.exit_code, 0) << replay.out;
  const std::size_t from = replay.out.find("$ talvern-cli fit-rixs ");
  const std::size_t to = replay.out.find("$ talvern-cli plane-compare\n");
  ASSERT_NE(from, std::string::npos) << replay.out;
  ASSERT_NE(to, std::string::npos) << replay.out;
  const std::size_t out_from = replay.out.find('\n', from) + 1;
  EXPECT_EQ(replay.out.substr(out_from, to - out_from), fitted.out);
  EXPECT_EQ(dat_files(again), dat_files(dir));
}

// A --peak that is not three numbers with a positive width, a --fix name
// that is no parameter, and a fit with nothing free: INPUT ERROR, exit 1,
// no file changed; nor by a fit applied with values that are no numbers.
TEST_F(FitRixsCli, InputErrorsExitOneAndChangeNothing) {
  const auto before = dat_files(dir);
  const std::string bad_peak = "INPUT ERROR!!\n--peak takes C,A,W (centre, amplitude, width > 0),\nnot ";
  const std::string nothing_free =
      "INPUT ERROR!!\nNothing is free to fit: give --peak, or free\nthe scale, the absorption "
      "correction or the shift.\n";
  const std::pair<std::string, std::string> cases[] = {
      {peaks + "--peak 7112,2", bad_peak + "7112,2.\n"},
      {"--peak 7112,2,2,1 --fit-scale", bad_peak + "7112,2,2,1.\n"},
      {"--peak 7112,2,0", bad_peak + "7112,2,0.\n"},
      {"--peak 7112,-1,-2", bad_peak + "7112,-1,-2.\n"},
      {"--peak 7112,x,2", bad_peak + "7112,x,2.\n"},
      {"--peak 7112,2,2,", bad_peak + "7112,2,2,.\n"},
      {peaks + "--fix peak3.center",
       "INPUT ERROR!!\n--fix names no parameter peak3.center; the names are\npeak1.center, "
       "peak1.amplitude, peak1.width, ...,\nscale, abs_corr and shift.\n"},
      {"", nothing_free},
      {"--fix scale --json", nothing_free},
      {"--peak 7112,2,2 --fix peak1.center,peak1.amplitude,peak1.width", nothing_free},
  };
  for (const auto& [args, said] : cases) {
    const CliRun r = cli("fit-rixs " + args);
    EXPECT_EQ(r.exit_code, 1) << args;
    EXPECT_EQ(r.out, said) << args;
  }
  const CliRun r = cli("fit-rixs " + peaks + "--confirm --fix peak9.width");
  EXPECT_EQ(r.exit_code, 1) << r.out;
  // A fit run out to values that are not numbers is not applied.
  for (const char* json : {"", " --json"}) {
    const CliRun lost = cli("fit-rixs --peak 1e308,1e308,1e308 --confirm" + std::string(json));
    EXPECT_EQ(lost.exit_code, 1) << lost.out;
    EXPECT_TRUE(lost.out.starts_with("ERROR!!\nThe fit gave values that are not finite numbers,"))
        << lost.out;
  }
  EXPECT_EQ(dat_files(dir), before);
}

}  // namespace
