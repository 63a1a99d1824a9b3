#include "rixs/global_fit.h"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_multifit_nlinear.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>

#include "rixs/measured_plane.h"
#include "workspace/file_names.h"
#include "workspace/number_text.h"
#include "workspace/parameters.h"
#include "workspace/write_log.h"

namespace talvern {

namespace {

constexpr std::size_t kMaxIterations = 200;
constexpr double kShiftLimit = 10.0;     // eV either way
constexpr double kShiftStep = 0.01;      // eV, for the shift's derivative
constexpr double kMinWidth = 0.01;       // eV
// Most response entries (points x rows of the selective XAFS) a fit holds.
constexpr std::size_t kResponseCapacity = 40000000;

// A parameter's bounds and its map from the fit's free variable u:
// two-sided value = lo + (hi - lo) (1 + sin u) / 2, one-sided value =
// lo - 1 + sqrt(u^2 + 1) (or its mirror), unbounded value = u.
struct Bounds {
  double lo = -std::numeric_limits<double>::infinity();
  double hi = std::numeric_limits<double>::infinity();

  double value(double u) const {
    if (std::isfinite(lo) && std::isfinite(hi)) return lo + (hi - lo) * (1 + std::sin(u)) / 2;
    if (std::isfinite(lo)) return lo - 1 + std::sqrt(u * u + 1);
    if (std::isfinite(hi)) return hi + 1 - std::sqrt(u * u + 1);
    return u;
  }
  double slope(double u) const {
    if (std::isfinite(lo) && std::isfinite(hi)) return (hi - lo) * std::cos(u) / 2;
    if (std::isfinite(lo)) return u / std::sqrt(u * u + 1);
    if (std::isfinite(hi)) return -u / std::sqrt(u * u + 1);
    return 1;
  }
  double variable(double v) const {
    v = std::clamp(v, lo, hi);
    if (std::isfinite(lo) && std::isfinite(hi))
      return std::asin(std::clamp(2 * (v - lo) / (hi - lo) - 1, -1.0, 1.0));
    if (std::isfinite(lo)) return std::sqrt(std::max((v - lo + 1) * (v - lo + 1) - 1, 0.0));
    if (std::isfinite(hi)) return std::sqrt(std::max((hi - v + 1) * (hi - v + 1) - 1, 0.0));
    return v;
  }
  bool at_bound(double v) const {
    const double tol = 1e-6 * std::max(1.0, std::abs(v));
    return (std::isfinite(lo) && v - lo <= tol) || (std::isfinite(hi) && hi - v <= tol);
  }
};

// The model of the measured set and its derivatives. All parameters are
// held as values: three per peak, then the scale as a ratio to the stored
// one, the absorption-correction factor and the shift.
class Model {
 public:
  Model(const MeasuredSet& set, const RowsRead& working, const EngineInputs& in,
        const FitSetup& setup)
      : set_(set), in_(in), setup_(setup), n_(working.rows), scale0_(in.par.scale) {
    e_.resize(n_);
    y1_.resize(n_);
    y2_.resize(n_);
    for (std::size_t i = 0; i < n_; ++i) {
      e_[i] = working.at(i, 0);
      y1_[i] = working.at(i, 1);
      y2_[i] = working.at(i, 2);
    }
    for (const MeasuredGroup& g : set.groups)
      for (const MeasuredPoint& p : g.points) measured_.push_back(p.intensity);
    weights_ = fit_weights(set, setup.poisson);
  }

  std::size_t points() const { return measured_.size(); }
  std::size_t count() const { return 3 * setup_.peaks.size() + 3; }
  std::size_t scale_index() const { return 3 * setup_.peaks.size(); }
  double scale0() const { return scale0_; }
  const std::vector<double>& measured() const { return measured_; }
  const std::vector<double>& weights() const { return weights_; }
  double energy(std::size_t i) const { return e_[i]; }
  std::size_t rows() const { return n_; }

  // The selective XAFS of parameters `v`: rows (E + shift, Y1 + peaks, Y2 + peaks).
  void selective(const std::vector<double>& v, std::vector<double>& y1, std::vector<double>& y2) const {
    y1 = y1_;
    y2 = y2_;
    for (std::size_t p = 0; p < setup_.peaks.size(); ++p)
      for (std::size_t i = 0; i < n_; ++i) {
        const double l = peak(v, p, i);
        if (setup_.component1) y1[i] += l;
        if (setup_.component2) y2[i] += l;
      }
  }

  // The model at every point into `out`.
  void evaluate(const std::vector<double>& v, std::vector<double>& out) {
    const SetResponse& r = response(v[scale_index() + 2]);
    std::vector<double> y1, y2;
    selective(v, y1, y2);
    out.resize(points());
    r.base(y1.data(), y2.data(), out.data());
    for (std::size_t j = 0; j < points(); ++j) out[j] *= factor(v, r, j);
  }

  // d model / d value for every parameter, column by column (points x count).
  void jacobian(const std::vector<double>& v, const std::vector<bool>& free,
                std::vector<double>& jac) {
    const std::size_t m = points(), k = count(), si = scale_index();
    jac.assign(m * k, 0.0);
    const SetResponse& r = response(v[si + 2]);
    std::vector<double> y1, y2, base(m), col(m), zero(n_, 0.0), dl(n_);
    selective(v, y1, y2);
    r.base(y1.data(), y2.data(), base.data());
    for (std::size_t p = 0; p < setup_.peaks.size(); ++p)
      for (std::size_t q = 0; q < 3; ++q) {
        if (!free[3 * p + q]) continue;
        const double c = v[3 * p], a = v[3 * p + 1], w = v[3 * p + 2];
        for (std::size_t i = 0; i < n_; ++i) {
          const double x = e_[i] - c, d = x * x + w * w;
          dl[i] = q == 0 ? 2 * a * x / (d * d) : q == 1 ? 1 / d : -2 * a * w / (d * d);
        }
        r.base(setup_.component1 ? dl.data() : zero.data(),
               setup_.component2 ? dl.data() : zero.data(), col.data());
        for (std::size_t j = 0; j < m; ++j) jac[j * k + 3 * p + q] = factor(v, r, j) * col[j];
      }
    const double s = v[si] * scale0_, kappa = v[si + 1];
    for (std::size_t j = 0; j < m; ++j) {
      const double ac = 1 / (1 + kappa * r.mu[j]);
      if (free[si]) jac[j * k + si] = scale0_ * ac * base[j];
      if (free[si + 1]) jac[j * k + si + 1] = -s * r.mu[j] * ac * ac * base[j];
    }
    if (free[si + 2]) {
      std::vector<double> up(v), down(v), a, b;
      up[si + 2] += kShiftStep;
      down[si + 2] -= kShiftStep;
      evaluate(up, a);
      evaluate(down, b);
      for (std::size_t j = 0; j < m; ++j) jac[j * k + si + 2] = (a[j] - b[j]) / (2 * kShiftStep);
      response(v[si + 2]);
    }
  }

 private:
  double peak(const std::vector<double>& v, std::size_t p, std::size_t i) const {
    const double x = e_[i] - v[3 * p], w = v[3 * p + 2];
    return v[3 * p + 1] / (x * x + w * w);
  }
  double factor(const std::vector<double>& v, const SetResponse& r, std::size_t j) const {
    const std::size_t si = scale_index();
    return v[si] * scale0_ / (1 + v[si + 1] * r.mu[j]);
  }
  // The response for the selective XAFS shifted by `shift`, built when the
  // shift changes.
  const SetResponse& response(double shift) {
    if (!built_ || shift != shift_) {
      std::vector<double> e(e_);
      for (double& x : e) x += shift;
      response_ = set_response(set_, e.data(), n_, in_);
      shift_ = shift;
      built_ = true;
    }
    return response_;
  }

  const MeasuredSet& set_;
  const EngineInputs& in_;
  const FitSetup& setup_;
  std::size_t n_;
  double scale0_;
  std::vector<double> e_, y1_, y2_, measured_, weights_;
  SetResponse response_;
  double shift_ = 0;
  bool built_ = false;
};

// The names of the parameters in the model's order.
std::vector<std::string> parameter_names(std::size_t peaks) {
  std::vector<std::string> names;
  for (std::size_t p = 1; p <= peaks; ++p)
    for (const char* what : {".center", ".amplitude", ".width"})
      names.push_back("peak" + std::to_string(p) + what);
  names.insert(names.end(), {"scale", "abs_corr", "shift"});
  return names;
}

// The fit proper over the free variables u of the model.
class Fit {
 public:
  Fit(Model& model, std::vector<double> start, std::vector<bool> free, std::vector<Bounds> bounds)
      : model_(model), value_(std::move(start)), free_(std::move(free)), bounds_(std::move(bounds)) {
    for (std::size_t i = 0; i < free_.size(); ++i)
      if (free_[i]) index_.push_back(i);
  }

  // Runs the iterations; the values end in value().
  std::size_t run(const std::atomic<bool>* stop, bool& stopped) {
    const std::size_t m = model_.points(), p = index_.size();
    gsl_set_error_handler_off();
    gsl_multifit_nlinear_parameters params = gsl_multifit_nlinear_default_parameters();
    params.scale = gsl_multifit_nlinear_scale_more;
    std::unique_ptr<gsl_multifit_nlinear_workspace, decltype(&gsl_multifit_nlinear_free)> w(
        gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &params, m, p),
        gsl_multifit_nlinear_free);
    std::unique_ptr<gsl_vector, decltype(&gsl_vector_free)> u0(gsl_vector_alloc(p), gsl_vector_free);
    for (std::size_t i = 0; i < p; ++i)
      gsl_vector_set(u0.get(), i, bounds_[index_[i]].variable(value_[index_[i]]));
    gsl_multifit_nlinear_fdf fdf{};
    fdf.f = [](const gsl_vector* u, void* self, gsl_vector* f) {
      return static_cast<Fit*>(self)->residuals(u, f);
    };
    fdf.df = [](const gsl_vector* u, void* self, gsl_matrix* j) {
      return static_cast<Fit*>(self)->jacobian(u, j);
    };
    fdf.n = m;
    fdf.p = p;
    fdf.params = this;
    if (gsl_multifit_nlinear_init(u0.get(), &fdf, w.get()) != GSL_SUCCESS) return 0;
    std::size_t iterations = 0;
    for (; iterations < kMaxIterations; ++iterations) {
      if (stop && stop->load()) {
        stopped = true;
        break;
      }
      const int status = gsl_multifit_nlinear_iterate(w.get());
      if (status != GSL_SUCCESS) break;  // no further progress can be made
      int info = 0;
      if (gsl_multifit_nlinear_test(1e-10, 1e-10, 1e-12, &info, w.get()) == GSL_SUCCESS) {
        ++iterations;
        break;
      }
    }
    take(gsl_multifit_nlinear_position(w.get()));
    return iterations;
  }

  const std::vector<double>& value() const { return value_; }

 private:
  void take(const gsl_vector* u) {
    for (std::size_t i = 0; i < index_.size(); ++i)
      value_[index_[i]] = bounds_[index_[i]].value(gsl_vector_get(u, i));
  }
  int residuals(const gsl_vector* u, gsl_vector* f) {
    take(u);
    model_.evaluate(value_, model_out_);
    for (std::size_t j = 0; j < model_.points(); ++j) {
      const double r = std::sqrt(model_.weights()[j]) * (model_out_[j] - model_.measured()[j]);
      if (!std::isfinite(r)) return GSL_EDOM;
      gsl_vector_set(f, j, r);
    }
    return GSL_SUCCESS;
  }
  int jacobian(const gsl_vector* u, gsl_matrix* jac) {
    take(u);
    model_.jacobian(value_, free_, jac_);
    const std::size_t k = model_.count();
    for (std::size_t j = 0; j < model_.points(); ++j)
      for (std::size_t i = 0; i < index_.size(); ++i) {
        const double d = std::sqrt(model_.weights()[j]) * jac_[j * k + index_[i]] *
                         bounds_[index_[i]].slope(gsl_vector_get(u, i));
        gsl_matrix_set(jac, j, i, std::isfinite(d) ? d : 0.0);
      }
    return GSL_SUCCESS;
  }

  Model& model_;
  std::vector<double> value_;
  std::vector<bool> free_;
  std::vector<Bounds> bounds_;
  std::vector<std::size_t> index_;
  std::vector<double> model_out_, jac_;
};

// The covariance of the free values (free x free) from the weighted
// Jacobian at the minimum, by the pseudo-inverse of J^T W J. The matrix is
// symmetric and positive semi-definite, J^T W J = V S V^T, so the inverse is
// taken as V S^-1 V^T: symmetric and positive semi-definite as well, which
// keeps every correlation within -1 ... 1 even where the measurements leave
// a parameter undetermined (there U and V of the decomposition part ways).
std::vector<double> covariance(Model& model, const std::vector<double>& value,
                               const std::vector<bool>& free, const std::vector<std::size_t>& index) {
  std::vector<double> jac;
  model.jacobian(value, free, jac);
  const std::size_t m = model.points(), k = model.count(), p = index.size();
  std::unique_ptr<gsl_matrix, decltype(&gsl_matrix_free)> a(gsl_matrix_calloc(p, p), gsl_matrix_free);
  for (std::size_t j = 0; j < m; ++j)
    for (std::size_t r = 0; r < p; ++r)
      for (std::size_t c = 0; c <= r; ++c) {
        const double v = model.weights()[j] * jac[j * k + index[r]] * jac[j * k + index[c]];
        gsl_matrix_set(a.get(), r, c, gsl_matrix_get(a.get(), r, c) + v);
      }
  for (std::size_t r = 0; r < p; ++r)
    for (std::size_t c = r + 1; c < p; ++c) gsl_matrix_set(a.get(), r, c, gsl_matrix_get(a.get(), c, r));
  std::unique_ptr<gsl_matrix, decltype(&gsl_matrix_free)> v(gsl_matrix_alloc(p, p), gsl_matrix_free);
  std::unique_ptr<gsl_vector, decltype(&gsl_vector_free)> s(gsl_vector_alloc(p), gsl_vector_free),
      work(gsl_vector_alloc(p), gsl_vector_free);
  std::vector<double> cov(p * p, 0.0);
  if (gsl_linalg_SV_decomp(a.get(), v.get(), s.get(), work.get()) != GSL_SUCCESS) return cov;
  const double top = gsl_vector_get(s.get(), 0);
  for (std::size_t r = 0; r < p; ++r)
    for (std::size_t c = 0; c < p; ++c) {
      double sum = 0;
      for (std::size_t q = 0; q < p; ++q) {
        const double sq = gsl_vector_get(s.get(), q);
        if (sq > top * 1e-14) sum += gsl_matrix_get(v.get(), r, q) * gsl_matrix_get(v.get(), c, q) / sq;
      }
      cov[r * p + c] = sum;
    }
  return cov;
}

std::string g6(double v) { return format_g6(v); }

std::string sigma_text(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3g", v);
  return buf;
}

std::string json_string(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

std::vector<double> fit_weights(const MeasuredSet& set, bool poisson) {
  std::vector<double> weights(set.points(), 1.0);
  if (!poisson) return weights;
  std::size_t j = 0;
  for (const MeasuredGroup& g : set.groups) {
    double top = 0;
    for (const MeasuredPoint& p : g.points) top = std::max(top, std::abs(p.intensity));
    for (const MeasuredPoint& p : g.points)
      weights[j++] = 1.0 / std::max(std::abs(p.intensity), 0.01 * top);
  }
  return weights;
}

std::string json_number(double v) {
  if (!std::isfinite(v)) return "null";
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

std::string r_factor_json(const SetComparison& c) {
  std::string j = "{\"total\": " + (c.r_factor ? json_number(*c.r_factor) : std::string("null")) +
                  ", \"groups\": [";
  for (std::size_t i = 0; i < c.groups.size(); ++i) {
    const ComparedGroup& g = c.groups[i];
    j += std::string(i ? ", " : "") + "{\"energy\": " + json_number(g.energy) + ", \"kind\": " +
         (g.kind == MeasuredKind::herfd ? "\"herfd\"" : "\"exc\"") + ", \"r_factor\": " +
         (g.r_factor ? json_number(*g.r_factor) : std::string("null")) + "}";
  }
  return j + "]}";
}

bool fit_can_run(const MeasuredSet& set, const RowsRead& working, std::string& error) {
  if (working.rows < 2) {
    error = "ERROR!!\r\nSelectiveXAFS_for_RIXS_Temp.DAT holds fewer than two\r\nrows: there is "
            "no working selective XAFS to fit.";
    return false;
  }
  if (set.points() * working.rows > kResponseCapacity) {
    error = "ERROR!!\r\nThe measured set (" + std::to_string(set.points()) +
            " points) is too large\r\nfor a fit against " + std::to_string(working.rows) +
            " rows of selective XAFS.\r\nRemove groups (exp-set --remove) first.";
    return false;
  }
  return true;
}

std::optional<FitInputs> read_fit_inputs(const WorkSpace& ws, std::string& message) {
  const MeasuredSetRead read = read_measured_set(ws.file(files::kPlaneExp));
  if (read.bad_line != 0 || read.capped || read.set.empty()) {
    message = read.set.empty() && read.bad_line == 0
                  ? "ERROR!!\r\nThe measured set (RIXS_Plane_Exp.DAT) is empty,\r\nso there "
                    "is nothing to fit. Load Exp. Plane,\r\nAdd Exp. Cut or Add Exp. HERFD first."
                  : "ERROR!!\r\nRIXS_Plane_Exp.DAT cannot be read as the measured\r\nset; "
                    "nothing was fitted.";
    return std::nullopt;
  }
  FitInputs inputs{read.set, read_rows(ws.file(files::kSelectiveForRIXSTemp), 3, kRowCapacity), {}};
  const EngineReport report = read_engine_inputs(ws, inputs.working, inputs.in);
  if (report.status != EngineReport::Status::ok &&
      report.status != EngineReport::Status::too_few_rows) {
    message = engine_message(report, "nothing");
    message = message.substr(0, message.rfind("\r\n")) + "\r\nNothing was fitted.";
    return std::nullopt;
  }
  return inputs;
}

std::vector<GlobalFitResult::Pair> GlobalFitResult::correlated() const {
  std::vector<Pair> pairs;
  const std::size_t p = free_names.size();
  if (correlation.size() != p * p) return pairs;
  for (std::size_t r = 0; r < p; ++r)
    for (std::size_t c = r + 1; c < p; ++c)
      if (std::abs(correlation[r * p + c]) > kCorrelationCaution)
        pairs.push_back({free_names[r], free_names[c], correlation[r * p + c]});
  return pairs;
}

std::optional<GlobalFitResult> fit_global(const MeasuredSet& set, const RowsRead& working,
                                          const EngineInputs& in, const FitSetup& setup,
                                          std::string& error, const std::atomic<bool>* stop) {
  if (!fit_can_run(set, working, error)) return std::nullopt;
  Model model(set, working, in, setup);
  const std::vector<std::string> names = parameter_names(setup.peaks.size());
  const std::size_t k = model.count(), si = model.scale_index();
  std::vector<double> start(k);
  std::vector<bool> free(k, true);
  std::vector<Bounds> bounds(k);
  const double e_lo = working.at(0, 0), e_hi = working.at(working.rows - 1, 0);
  for (std::size_t p = 0; p < setup.peaks.size(); ++p) {
    const FitSetup::Peak& peak = setup.peaks[p];
    start[3 * p] = peak.center;
    start[3 * p + 1] = peak.amplitude;
    start[3 * p + 2] = peak.width;
    bounds[3 * p] = {std::min(e_lo, e_hi), std::max(e_lo, e_hi)};
    bounds[3 * p + 1] = peak.amplitude >= 0 ? Bounds{0.0, std::numeric_limits<double>::infinity()}
                                            : Bounds{-std::numeric_limits<double>::infinity(), 0.0};
    bounds[3 * p + 2] = {kMinWidth, std::max(std::abs(e_hi - e_lo), 1.0)};
  }
  start[si] = 1.0;
  start[si + 1] = in.par.abs_correction;
  start[si + 2] = 0.0;
  bounds[si] = {0.0, std::numeric_limits<double>::infinity()};
  bounds[si + 1] = {0.0, std::numeric_limits<double>::infinity()};
  bounds[si + 2] = {-kShiftLimit, kShiftLimit};
  free[si] = setup.fit_scale;
  free[si + 1] = setup.fit_abs_corr;
  free[si + 2] = setup.fit_shift;
  for (const std::string& f : setup.fixed)
    for (std::size_t i = 0; i < k; ++i)
      if (names[i] == f) free[i] = false;
  std::vector<std::size_t> index;
  for (std::size_t i = 0; i < k; ++i)
    if (free[i]) {
      start[i] = std::clamp(start[i], bounds[i].lo, bounds[i].hi);
      index.push_back(i);
    }
  if (index.empty()) {
    error = "INPUT ERROR!!\r\nNothing is free to fit: give --peak, or free\r\nthe scale, the "
            "absorption correction or the shift.";
    return std::nullopt;
  }
  if (model.points() <= index.size()) {
    error = "ERROR!!\r\nThe measured set holds " + std::to_string(model.points()) +
            " points, not more than\r\nthe " + std::to_string(index.size()) +
            " free parameters: load more measurements.";
    return std::nullopt;
  }

  GlobalFitResult result;
  Fit fit(model, start, free, bounds);
  result.iterations = fit.run(stop, result.stopped);
  const std::vector<double>& value = fit.value();

  std::vector<double> out;
  model.evaluate(value, out);
  double chi2 = 0;
  for (std::size_t j = 0; j < model.points(); ++j) {
    const double r = out[j] - model.measured()[j];
    chi2 += model.weights()[j] * r * r;
  }
  result.chi2_reduced = chi2 / static_cast<double>(model.points() - index.size());
  std::vector<double> cov = covariance(model, value, free, index);
  const double s2 = setup.poisson ? 1.0 : result.chi2_reduced;
  const std::size_t p = index.size();
  for (std::size_t i = 0; i < k; ++i) {
    FitParameter fp{names[i], value[i], 0.0, !free[i], false};
    if (i == si) fp.value = value[i] * model.scale0();
    result.parameters.push_back(fp);
  }
  for (std::size_t r = 0; r < p; ++r) {
    FitParameter& fp = result.parameters[index[r]];
    double sigma = std::sqrt(std::max(cov[r * p + r] * s2, 0.0));
    if (index[r] == si) sigma *= model.scale0();
    fp.sigma = sigma;
    fp.on_bound = bounds[index[r]].at_bound(value[index[r]]);
    result.free_names.push_back(fp.name);
  }
  result.correlation.assign(p * p, 0.0);
  for (std::size_t r = 0; r < p; ++r)
    for (std::size_t c = 0; c < p; ++c) {
      const double d = std::sqrt(cov[r * p + r] * cov[c * p + c]);
      result.correlation[r * p + c] = r == c ? 1.0 : d > 0 ? cov[r * p + c] / d : 0.0;
    }

  result.comparison = comparison_of(set, out);

  std::vector<double> y1, y2;
  model.selective(value, y1, y2);
  for (std::size_t i = 0; i < model.rows(); ++i)
    result.selective.insert(result.selective.end(), {model.energy(i) + value[si + 2], y1[i], y2[i]});
  return result;
}

std::string fit_report_text(const GlobalFitResult& r) {
  std::string text;
  for (const FitParameter& p : r.parameters) {
    if (!text.empty()) text += "\r\n";
    text += p.name + " = " + g6(p.value) + (p.fixed ? " (fixed)" : " ± " + sigma_text(p.sigma));
  }
  text += r_factor_lines(r.comparison);
  text += "\r\nReduced chi-square: " + g6(r.chi2_reduced);
  for (const auto& pair : r.correlated())
    text += "\r\nCAUTION!! The measurements do not tell " + pair.a + " and " + pair.b +
            " apart (correlation " + sigma_text(pair.r) + ").";
  for (const FitParameter& p : r.parameters)
    if (p.on_bound) text += "\r\nCAUTION!! " + p.name + " ended on a bound (" + g6(p.value) + ").";
  if (r.stopped)
    text += "\r\nCAUTION!! The fit was stopped after " + std::to_string(r.iterations) +
            " iterations; the values are those reached.";
  return text;
}

std::string fit_report_json(const GlobalFitResult& r) {
  std::string j = "{\"parameters\": {";
  for (std::size_t i = 0; i < r.parameters.size(); ++i) {
    const FitParameter& p = r.parameters[i];
    j += (i ? ", " : "") + json_string(p.name) + ": {\"value\": " + json_number(p.value) +
         ", \"sigma\": " + json_number(p.sigma) + ", \"fixed\": " + (p.fixed ? "true" : "false") + "}";
  }
  j += "}, \"r_factor\": " + r_factor_json(r.comparison) + ", \"chi2_reduced\": " + json_number(r.chi2_reduced) + ", \"correlations_over_0_95\": [";
  const auto pairs = r.correlated();
  for (std::size_t i = 0; i < pairs.size(); ++i)
    j += std::string(i ? ", " : "") + "[" + json_string(pairs[i].a) + ", " + json_string(pairs[i].b) +
         ", " + json_number(pairs[i].r) + "]";
  j += "], \"iterations\": " + std::to_string(r.iterations) + "}";
  return j;
}

std::optional<FitSetup> fit_setup(const GlobalFitState& state, std::string& error) {
  FitSetup setup;
  for (const std::string& text : state.peaks) {
    double v[3];
    std::size_t n = 0, start = 0;
    bool ok = true;
    for (; n < 3 && start <= text.size(); ++n) {
      const std::size_t comma = text.find(',', start);
      const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      char* end = nullptr;
      v[n] = strtod_c(part.c_str(), &end);
      ok = ok && !part.empty() && *end == '\0' && std::isfinite(v[n]);
      if (comma == std::string::npos) {
        ++n;
        break;
      }
      start = comma + 1;
    }
    if (!ok || n != 3 || text.find(',', text.find(',', text.find(',') + 1) + 1) != std::string::npos ||
        !(v[2] > 0)) {
      error = "INPUT ERROR!!\r\n--peak takes C,A,W (centre, amplitude, width > 0),\r\nnot " + text + ".";
      return std::nullopt;
    }
    setup.peaks.push_back({v[0], v[1], v[2]});
  }
  setup.component1 = state.components == 0 || state.components == 2;
  setup.component2 = state.components == 1 || state.components == 2;
  setup.fit_scale = state.fit_scale;
  setup.fit_abs_corr = state.fit_abs_corr;
  setup.fit_shift = state.fit_shift;
  setup.poisson = state.weights == 1;
  const std::vector<std::string> names = parameter_names(setup.peaks.size());
  for (std::size_t start = 0; start < state.fix.size();) {
    std::size_t comma = state.fix.find(',', start);
    if (comma == std::string::npos) comma = state.fix.size();
    const std::string name = state.fix.substr(start, comma - start);
    if (std::find(names.begin(), names.end(), name) == names.end()) {
      error = "INPUT ERROR!!\r\n--fix names no parameter " + name +
              "; the names are\r\npeak1.center, peak1.amplitude, peak1.width, ...,\r\nscale, abs_corr "
              "and shift.";
      return std::nullopt;
    }
    setup.fixed.push_back(name);
    start = comma + 1;
  }
  return setup;
}

std::string apply_fit(const WorkSpace& ws, const GlobalFitResult& result) {
  const std::vector<double>& rows = result.selective;
  const std::size_t n = rows.size() / 3;
  // A fit run out to values no number holds is no fit to keep.
  bool finite = n > 0 && all_finite(rows.data(), rows.size());
  for (const FitParameter& p : result.parameters) finite = finite && std::isfinite(p.value);
  if (!finite)
    return "ERROR!!\r\nThe fit gave values that are not finite numbers,\r\nso it was not "
           "applied; the work-space keeps its\r\nformer content.";
  WriteLog log;
  log.rows(ws, files::kSelectiveForRIXSTemp2, rows.data(), n, 3);
  log.rows(ws, files::kSelectiveForRIXSTemp, rows.data(), n, 3);
  log.rows(ws, files::kSelectiveForRIXS, rows.data(), n, 3);
  double lo = rows[1], hi = rows[1];
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t c = 1; c < 3; ++c) lo = std::min(lo, rows[3 * i + c]), hi = std::max(hi, rows[3 * i + c]);
  const double range[4] = {std::min(rows[0], rows[3 * (n - 1)]), std::max(rows[0], rows[3 * (n - 1)]),
                           lo, hi};
  log.rows(ws, files::kXAFSMinMax, range, 1, 4);
  double scale = 0, kappa = 0;
  for (const FitParameter& p : result.parameters) {
    if (p.name == "scale") scale = p.value;
    if (p.name == "abs_corr") kappa = p.value;
  }
  const ParameterUpdate update = update_parameters(ws, [&](CalcParameters& par) {
    par.scale = scale;
    par.abs_correction = kappa;
  });
  log.note(files::kParameters, update.write);
  std::string text =
      "\r\nThe fitted selective XAFS is the working copy and the\r\ncalculation's "
      "(SelectiveXAFS_for_RIXS.DAT); the factors\r\nwere stored.";
  log.append_to(text);
  return text;
}

void GlobalFit(const WorkSpace& ws, GlobalFitState& state, const std::atomic<bool>* stop) {
  state.result.reset();
  state.free_result.reset();
  if (state.free) {
    FreeFormFit(ws, state, stop);
    return;
  }
  std::string error;
  const std::optional<FitSetup> setup = fit_setup(state, error);
  if (!setup) {
    state.message = error;
    return;
  }
  const std::optional<FitInputs> inputs = read_fit_inputs(ws, state.message);
  if (!inputs) return;
  std::optional<GlobalFitResult> result =
      fit_global(inputs->set, inputs->working, inputs->in, *setup, error, stop);
  if (!result) {
    state.message = error;
    return;
  }
  state.message = state.json ? fit_report_json(*result) : fit_report_text(*result);
  if (state.confirm && !result->stopped) {
    // The JSON stays one object; only a file that could not be written is added.
    const std::string applied = apply_fit(ws, *result);
    if (applied.starts_with("ERROR!!"))
      state.message = applied + "\r\n" + state.message;
    else if (!state.json || has_write_caution(applied))
      state.message += applied;
  }
  state.result = std::move(result);
}

}  // namespace talvern
