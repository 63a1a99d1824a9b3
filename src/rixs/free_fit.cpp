#include "rixs/free_fit.h"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_eigen.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "rixs/global_fit.h"
#include "rixs/measured_plane.h"
#include "workspace/file_names.h"
#include "workspace/number_text.h"
#include "workspace/write_log.h"

namespace talvern {

namespace {

// A band wider than this share of the spectrum's maximum is not determined.
constexpr double kUndetermined = 0.2;  // of the band y +- sigma, 2 sigma
// A ridge of this share of the data's mean diagonal keeps the system definite
// where neither the measurements nor the penalty hold a combination.
constexpr double kRidge = 1e-10;
// The penalties GCV tries: a log grid, then a golden-section search between
// the neighbours of the grid's best.
constexpr double kGridLow = 1e-10, kGridHigh = 1e4;
constexpr int kGridPerDecade = 4;
constexpr int kGoldenSteps = 30;
// Most unknowns (rows, twice for two components) the inversion takes: its
// matrices are unknowns x unknowns and their eigenvectors are formed once.
constexpr std::size_t kMaxUnknowns = 2000;
// Rows of the response put into the normal matrix at a time.
constexpr std::size_t kChunk = 128;

using Matrix = std::unique_ptr<gsl_matrix, decltype(&gsl_matrix_free)>;
using Vector = std::unique_ptr<gsl_vector, decltype(&gsl_vector_free)>;
Matrix new_matrix(std::size_t r, std::size_t c) { return {gsl_matrix_calloc(r, c), gsl_matrix_free}; }
Vector new_vector(std::size_t n) { return {gsl_vector_calloc(n), gsl_vector_free}; }

// The Cholesky factor L L' of the passive block Q_PP of a normal matrix,
// kept as variables join and leave: a join adds a row, a removal deletes
// one and restores the triangle by Givens rotations of the columns.
class Cholesky {
 public:
  Cholesky(const std::vector<double>& Q, std::size_t p) : Q_(Q), p_(p), l_(p * p, 0.0) {}

  std::vector<std::size_t> index;  // the variables in the order of the rows

  // False when the variable's column depends on the passive ones within
  // rounding.
  bool add(std::size_t t) {
    const std::size_t k = index.size();
    double* row = &l_[k * p_];
    double sum = 0;
    for (std::size_t c = 0; c < k; ++c) {
      double v = Q_[index[c] * p_ + t];
      for (std::size_t i = 0; i < c; ++i) v -= row[i] * at(c, i);
      row[c] = v / at(c, c);
      sum += row[c] * row[c];
    }
    const double d = Q_[t * p_ + t] - sum;
    if (!(d > 1e-13 * Q_[t * p_ + t])) return false;
    row[k] = std::sqrt(d);
    index.push_back(t);
    return true;
  }

  void remove(std::size_t pos) {
    const std::size_t k = index.size();
    for (std::size_t r = pos; r + 1 < k; ++r)
      std::copy_n(&l_[(r + 1) * p_], r + 2, &l_[r * p_]);
    index.erase(index.begin() + static_cast<std::ptrdiff_t>(pos));
    for (std::size_t r = pos; r + 1 < k; ++r) {
      const double a = at(r, r), b = at(r, r + 1), h = std::hypot(a, b);
      const double c = a / h, s = b / h;
      for (std::size_t i = r; i + 1 < k; ++i) {
        const double u = at(i, r), v = at(i, r + 1);
        l_[i * p_ + r] = c * u + s * v;
        l_[i * p_ + r + 1] = -s * u + c * v;
      }
      l_[r * p_ + r + 1] = 0;
    }
  }

  // z = Q_PP^-1 q_P, in the order of the rows.
  void solve(const std::vector<double>& q, std::vector<double>& z) const {
    const std::size_t k = index.size();
    z.resize(k);
    for (std::size_t r = 0; r < k; ++r) {
      double v = q[index[r]];
      for (std::size_t i = 0; i < r; ++i) v -= at(r, i) * z[i];
      z[r] = v / at(r, r);
    }
    for (std::size_t r = k; r-- > 0;) {
      double v = z[r];
      for (std::size_t i = r + 1; i < k; ++i) v -= at(i, r) * z[i];
      z[r] = v / at(r, r);
    }
  }

 private:
  double at(std::size_t r, std::size_t c) const { return l_[r * p_ + c]; }
  const std::vector<double>& Q_;
  std::size_t p_;
  std::vector<double> l_;
};

// The linear problem of the inversion. Point j of the set answers the
// unknowns u with f_j g_j . u, f_j = scale / (1 + kappa mu_j) and g_j the
// set's response ([g1_j, g2_j] for two components, g1_j + g2_j for one);
// each row is weighted by sqrt(w_j) and, with the intensities, divided by
// t, the root mean square of the weighted intensities, so that the
// normal matrix does not depend on the units of the intensities.
class Problem {
 public:
  Problem(const MeasuredSet& set, const SetResponse& r, const CalcParameters& par, bool two,
          bool poisson)
      : r_(r), two_(two), n_(r.n), weights_(fit_weights(set, poisson)) {
    for (const MeasuredGroup& g : set.groups)
      for (const MeasuredPoint& p : g.points) measured_.push_back(p.intensity);
    factor_.resize(r.points);
    double sum = 0;
    for (std::size_t j = 0; j < r.points; ++j) {
      factor_[j] = par.scale / (1 + par.abs_correction * r.mu[j]);
      sum += weights_[j] * measured_[j] * measured_[j];
    }
    t2_ = sum / static_cast<double>(r.points);
  }

  std::size_t unknowns() const { return two_ ? 2 * n_ : n_; }
  std::size_t points() const { return r_.points; }
  double t2() const { return t2_; }
  const std::vector<double>& measured() const { return measured_; }

  // The normal matrix A (unknowns x unknowns) and right-hand side b of the
  // scaled rows.
  // With `extra`, row j is multiplied by extra[j] as well.
  void normal(gsl_matrix* a, gsl_vector* b, const double* extra = nullptr) const {
    const std::size_t p = unknowns();
    const double inv_t = 1 / std::sqrt(t2_);
    Matrix chunk = new_matrix(kChunk, p);
    Vector rhs = new_vector(kChunk);
    gsl_matrix_set_zero(a);
    gsl_vector_set_zero(b);
    for (std::size_t first = 0; first < points(); first += kChunk) {
      const std::size_t rows = std::min(kChunk, points() - first);
      gsl_matrix_view c = gsl_matrix_submatrix(chunk.get(), 0, 0, rows, p);
      gsl_vector_view v = gsl_vector_subvector(rhs.get(), 0, rows);
      for (std::size_t i = 0; i < rows; ++i) {
        const std::size_t j = first + i;
        const double s = std::sqrt(weights_[j]) * inv_t * (extra ? extra[j] : 1.0);
        const double* g1 = r_.g1.data() + j * n_;
        const double* g2 = r_.g2.data() + j * n_;
        double* row = gsl_matrix_ptr(&c.matrix, i, 0);
        for (std::size_t k = 0; k < n_; ++k) {
          if (two_) {
            row[k] = s * factor_[j] * g1[k];
            row[n_ + k] = s * factor_[j] * g2[k];
          } else {
            row[k] = s * factor_[j] * (g1[k] + g2[k]);
          }
        }
        gsl_vector_set(&v.vector, i, s * measured_[j]);
      }
      gsl_blas_dsyrk(CblasLower, CblasTrans, 1.0, &c.matrix, 1.0, a);
      gsl_blas_dgemv(CblasTrans, 1.0, &c.matrix, &v.vector, 1.0, b);
    }
    for (std::size_t r = 0; r < p; ++r)
      for (std::size_t c = r + 1; c < p; ++c) gsl_matrix_set(a, r, c, gsl_matrix_get(a, c, r));
  }

  // The model's intensity at every point for the unknowns u.
  std::vector<double> model(const double* u) const {
    std::vector<double> out(points());
    r_.base(u, two_ ? u + n_ : u, out.data());
    for (std::size_t j = 0; j < points(); ++j) out[j] *= factor_[j];
    return out;
  }

  // The scaled residual sqrt(w_j) |model - I| / t of every point.
  std::vector<double> residuals(const double* u) const {
    std::vector<double> out = model(u);
    for (std::size_t j = 0; j < points(); ++j)
      out[j] = std::sqrt(weights_[j] / t2_) * std::abs(out[j] - measured_[j]);
    return out;
  }

  // The scaled weighted sum of squares |sqrt(W) (model - I)|^2 / t^2.
  double rss(const double* u) const {
    const std::vector<double> out = model(u);
    double sum = 0;
    for (std::size_t j = 0; j < points(); ++j) {
      const double d = out[j] - measured_[j];
      sum += weights_[j] * d * d;
    }
    return sum / t2_;
  }

 private:
  const SetResponse& r_;
  bool two_;
  std::size_t n_;
  std::vector<double> weights_, measured_, factor_;
  double t2_ = 0;
};

// The penalty |D2 u|^2 of each component as a matrix (unknowns x unknowns).
void second_difference_penalty(gsl_matrix* pen, std::size_t n, std::size_t blocks) {
  gsl_matrix_set_zero(pen);
  static constexpr double d[3] = {1, -2, 1};
  for (std::size_t b = 0; b < blocks; ++b)
    for (std::size_t i = 1; i + 1 < n; ++i)
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
          *gsl_matrix_ptr(pen, b * n + i - 1 + r, b * n + i - 1 + c) += d[r] * d[c];
}

// The regularised problem diagonalised once for every penalty: with
// B = A + P + eps I (A the data's normal matrix, P the scaled penalty),
// V' B V = I and V' P V = diag(theta), so that A + lambda P + eps I has the
// inverse V diag(d) V' with d_k = 1 / (1 + (lambda - 1) theta_k).
struct Diagonalised {
  std::vector<double> theta;  // in [0, 1]
  Matrix v{nullptr, gsl_matrix_free};
  std::vector<double> z;      // V' b
  std::vector<double> a_kk;   // (V' A V)_kk = 1 - theta_k - eps |v_k|^2
};

std::vector<double> factors_d(const Diagonalised& dg, double lambda) {
  std::vector<double> d(dg.theta.size());
  for (std::size_t k = 0; k < d.size(); ++k) d[k] = 1 / (1 + (lambda - 1) * dg.theta[k]);
  return d;
}

// The unconstrained solution at `lambda` and the trace of the influence matrix.
std::vector<double> unconstrained(const Diagonalised& dg, double lambda, double& trace) {
  const std::vector<double> d = factors_d(dg, lambda);
  const std::size_t p = d.size();
  Vector w = new_vector(p), u = new_vector(p);
  trace = 0;
  for (std::size_t k = 0; k < p; ++k) {
    gsl_vector_set(w.get(), k, d[k] * dg.z[k]);
    trace += d[k] * dg.a_kk[k];
  }
  gsl_blas_dgemv(CblasNoTrans, 1.0, dg.v.get(), w.get(), 0.0, u.get());
  return {u->data, u->data + p};
}

// The generalised cross-validation score m |r|^2 / (m - tr H)^2.
double gcv(const Problem& pr, const Diagonalised& dg, double lambda) {
  double trace = 0;
  const std::vector<double> u = unconstrained(dg, lambda, trace);
  const double m = static_cast<double>(pr.points()), dof = m - trace;
  if (!(dof > 0)) return std::numeric_limits<double>::infinity();
  return m * pr.rss(u.data()) / (dof * dof);
}

// The penalty of least GCV score.
std::optional<double> choose_by_gcv(const Problem& pr, const Diagonalised& dg,
                                    const std::atomic<bool>* stop) {
  std::vector<double> grid, score;
  const int steps = static_cast<int>(std::lround(std::log10(kGridHigh / kGridLow) * kGridPerDecade));
  for (int i = 0; i <= steps; ++i) {
    if (stop && stop->load()) return std::nullopt;
    grid.push_back(kGridLow * std::pow(10.0, static_cast<double>(i) / kGridPerDecade));
    score.push_back(gcv(pr, dg, grid.back()));
  }
  const std::size_t best = static_cast<std::size_t>(std::min_element(score.begin(), score.end()) - score.begin());
  if (best == 0 || best + 1 == grid.size()) return grid[best];
  // Golden section in log lambda between the neighbours.
  double a = std::log(grid[best - 1]), b = std::log(grid[best + 1]);
  const double g = (std::sqrt(5.0) - 1) / 2;
  double x1 = b - g * (b - a), x2 = a + g * (b - a);
  double f1 = gcv(pr, dg, std::exp(x1)), f2 = gcv(pr, dg, std::exp(x2));
  for (int i = 0; i < kGoldenSteps; ++i) {
    if (stop && stop->load()) return std::nullopt;
    if (f1 < f2) {
      b = x2, x2 = x1, f2 = f1;
      x1 = b - g * (b - a);
      f1 = gcv(pr, dg, std::exp(x1));
    } else {
      a = x1, x1 = x2, f1 = f2;
      x2 = a + g * (b - a);
      f2 = gcv(pr, dg, std::exp(x2));
    }
  }
  const double at = std::exp((a + b) / 2);
  return gcv(pr, dg, at) <= score[best] ? at : grid[best];
}

// The one-sigma band of the solution u (see fit_free_form): with
// M^-1 = T V', T = V diag(d), it is the diagonal of T S T' with
// S = V' X V hc + s2 lambda diag(theta), X = sum_j r_j^2 (row_j row_j').
std::vector<double> band(const Problem& pr, const Diagonalised& dg, const std::vector<double>& d,
                         const std::vector<double>& u, double lambda, double hc, double s2) {
  const std::size_t p = d.size();
  Matrix x = new_matrix(p, p), t = new_matrix(p, p), s = new_matrix(p, p), w = new_matrix(p, p);
  Vector unused = new_vector(p);
  pr.normal(x.get(), unused.get(), pr.residuals(u.data()).data());
  gsl_blas_dgemm(CblasTrans, CblasNoTrans, 1.0, dg.v.get(), x.get(), 0.0, w.get());
  gsl_blas_dgemm(CblasNoTrans, CblasNoTrans, hc, w.get(), dg.v.get(), 0.0, s.get());
  for (std::size_t k = 0; k < p; ++k) *gsl_matrix_ptr(s.get(), k, k) += s2 * lambda * dg.theta[k];
  gsl_matrix_memcpy(t.get(), dg.v.get());
  for (std::size_t k = 0; k < p; ++k) {
    gsl_vector_view col = gsl_matrix_column(t.get(), k);
    gsl_vector_scale(&col.vector, d[k]);
  }
  gsl_blas_dgemm(CblasNoTrans, CblasNoTrans, 1.0, t.get(), s.get(), 0.0, w.get());
  std::vector<double> sigma(p);
  for (std::size_t i = 0; i < p; ++i) {
    gsl_vector_const_view a = gsl_matrix_const_row(w.get(), i), b = gsl_matrix_const_row(t.get(), i);
    double v = 0;
    gsl_blas_ddot(&a.vector, &b.vector, &v);
    sigma[i] = std::sqrt(std::max(v, 0.0));
  }
  return sigma;
}

// The runs of the grid where `wide` holds, as energy ranges; runs less
// than `gap` apart are one range.
std::vector<std::pair<double, double>> runs(const std::vector<double>& e, const std::vector<char>& wide,
                                            double gap) {
  std::vector<std::pair<double, double>> out;
  for (std::size_t i = 0; i < e.size(); ++i) {
    if (!wide[i]) continue;
    if (!out.empty() && std::abs(e[i] - out.back().second) < gap) out.back().second = e[i];
    else out.emplace_back(e[i], e[i]);
  }
  return out;
}

// Rows E, y1, y2, sigma1, sigma2 of the file.
std::vector<double> file_rows(const FreeFitResult& r) {
  std::vector<double> rows;
  rows.reserve(5 * r.energy.size());
  for (std::size_t i = 0; i < r.energy.size(); ++i)
    rows.insert(rows.end(), {r.energy[i], r.y1[i], r.y2[i], r.sigma1[i], r.sigma2[i]});
  return rows;
}

constexpr const char* kStopped =
    "CAUTION!!\r\nThe free-form inversion was stopped before it ended;\r\nnothing was written.";

}  // namespace

NnlsResult nnls(const std::vector<double>& Q, const std::vector<double>& q,
                const std::atomic<bool>* stop) {
  const std::size_t p = q.size();
  NnlsResult res;
  res.x.assign(p, 0.0);
  std::vector<double>& x = res.x;
  Cholesky chol(Q, p);
  std::vector<std::size_t>& set = chol.index;  // the passive set, in the order of the factor
  std::vector<char> passive(p, 0), barred(p, 0);
  std::vector<double> z;
  // Every step adds a variable; a variable leaves only by a step that
  // lowers the objective, so that no passive set comes twice. The bound is
  // for rounding.
  const std::size_t limit = 100 + 3 * p;
  for (; res.steps < limit; ++res.steps) {
    if (stop && stop->load()) {
      res.stopped = true;
      break;
    }
    // The variable held at 0 whose gradient q - Qx most wants it above 0;
    // within rounding of 0 (the sum's size) it wants nothing.
    std::size_t best = p;
    double best_w = 0;
    for (std::size_t j = 0; j < p; ++j) {
      if (passive[j] || barred[j]) continue;
      double w = q[j], size = std::abs(q[j]);
      for (std::size_t k : set) {
        w -= Q[j * p + k] * x[k];
        size += std::abs(Q[j * p + k] * x[k]);
      }
      if (w > 1e-12 * size && w > best_w) best = j, best_w = w;
    }
    if (best == p) {
      res.converged = true;
      break;
    }
    if (!chol.add(best)) {  // dependent on the passive set within rounding
      barred[best] = 1;
      continue;
    }
    passive[best] = 1;
    // The least squares on the passive set; while it would make a variable
    // negative, go from x towards it as far as feasibility allows and let
    // the variables that reach 0 go.
    for (;;) {
      chol.solve(q, z);
      if (z.back() <= 0 && set.back() == best) {  // the new one gains nothing: rounding
        chol.remove(set.size() - 1);
        passive[best] = 0;
        barred[best] = 1;
        break;
      }
      double alpha = 1;
      for (std::size_t r = 0; r < set.size(); ++r)
        if (z[r] <= 0) alpha = std::min(alpha, x[set[r]] / (x[set[r]] - z[r]));
      for (std::size_t r = 0; r < set.size(); ++r) x[set[r]] += alpha * (z[r] - x[set[r]]);
      if (alpha == 1) {
        std::fill(barred.begin(), barred.end(), 0);
        break;
      }
      double top = 0;
      for (std::size_t k : set) top = std::max(top, x[k]);
      for (std::size_t r = set.size(); r-- > 0;)
        if (x[set[r]] <= 1e-14 * top) {
          x[set[r]] = 0;
          passive[set[r]] = 0;
          chol.remove(r);
        }
      if (set.empty()) break;
    }
  }
  return res;
}

std::optional<FreeFitResult> fit_free_form(const MeasuredSet& set, const RowsRead& working,
                                           const EngineInputs& in, std::optional<double> lambda,
                                           bool poisson, std::string& error,
                                           const std::atomic<bool>* stop) {
  if (!fit_can_run(set, working, error)) return std::nullopt;
  const std::size_t n = working.rows;
  bool two = false;
  for (std::size_t i = 0; i < n; ++i) two = two || working.at(i, 1) != working.at(i, 2);
  const std::size_t p = two ? 2 * n : n;
  if (p > kMaxUnknowns) {
    error = "ERROR!!\r\nThe free-form inversion takes at most " + std::to_string(kMaxUnknowns) +
            " unknowns;\r\nthe working selective XAFS has " + std::to_string(n) + " rows" +
            (two ? " of two components" : "") + ".\r\nNothing was fitted.";
    return std::nullopt;
  }
  gsl_set_error_handler_off();
  std::vector<double> energy(n);
  for (std::size_t i = 0; i < n; ++i) energy[i] = working.at(i, 0);
  const SetResponse response = set_response(set, energy.data(), n, in);
  const Problem pr(set, response, in.par, two, poisson);
  Matrix a = new_matrix(p, p), pen = new_matrix(p, p);
  Vector b = new_vector(p);
  if (pr.t2() > 0) pr.normal(a.get(), b.get());
  double trace_a = 0;
  for (std::size_t k = 0; k < p; ++k) trace_a += gsl_matrix_get(a.get(), k, k);
  if (!(trace_a > 0) || !std::isfinite(trace_a)) {
    error = "ERROR!!\r\nThe measured set does not respond to the working\r\nselective XAFS "
            "(or its intensities are all 0):\r\nthere is nothing to invert.";
    return std::nullopt;
  }
  // The penalty is scaled to the data: lambda = 1 weighs it as much as
  // the measurements on average over the diagonal.
  second_difference_penalty(pen.get(), n, two ? 2 : 1);
  double trace_pen = 0;
  for (std::size_t k = 0; k < p; ++k) trace_pen += gsl_matrix_get(pen.get(), k, k);
  if (trace_pen > 0) gsl_matrix_scale(pen.get(), trace_a / trace_pen);
  const double eps = kRidge * trace_a / static_cast<double>(p);

  Diagonalised dg;
  {
    Matrix lhs = new_matrix(p, p), rhs = new_matrix(p, p);
    gsl_matrix_memcpy(lhs.get(), pen.get());
    gsl_matrix_memcpy(rhs.get(), a.get());
    gsl_matrix_add(rhs.get(), pen.get());
    for (std::size_t k = 0; k < p; ++k) *gsl_matrix_ptr(rhs.get(), k, k) += eps;
    // B = L L' (Cholesky), the eigenvectors U of L^-1 P L^-T, V = L^-T U.
    Vector eval = new_vector(p);
    dg.v = new_matrix(p, p);
    std::unique_ptr<gsl_eigen_symmv_workspace, decltype(&gsl_eigen_symmv_free)> w(
        gsl_eigen_symmv_alloc(p), gsl_eigen_symmv_free);
    if (gsl_linalg_cholesky_decomp1(rhs.get()) != GSL_SUCCESS ||
        gsl_eigen_gensymm_standardize(lhs.get(), rhs.get()) != GSL_SUCCESS ||
        gsl_eigen_symmv(lhs.get(), eval.get(), dg.v.get(), w.get()) != GSL_SUCCESS) {
      error = "ERROR!!\r\nThe free-form inversion could not be solved\r\n(its matrix is not "
              "definite). Nothing was fitted.";
      return std::nullopt;
    }
    gsl_blas_dtrsm(CblasLeft, CblasLower, CblasTrans, CblasNonUnit, 1.0, rhs.get(), dg.v.get());
    Vector z = new_vector(p);
    gsl_blas_dgemv(CblasTrans, 1.0, dg.v.get(), b.get(), 0.0, z.get());
    for (std::size_t k = 0; k < p; ++k) {
      gsl_vector_const_view col = gsl_matrix_const_column(dg.v.get(), k);
      const double norm = gsl_blas_dnrm2(&col.vector);
      dg.theta.push_back(std::clamp(gsl_vector_get(eval.get(), k), 0.0, 1.0));
      dg.z.push_back(gsl_vector_get(z.get(), k));
      dg.a_kk.push_back(1 - dg.theta.back() - eps * norm * norm);
    }
  }
  if (stop && stop->load()) {
    error = kStopped;
    return std::nullopt;
  }

  FreeFitResult result;
  result.two_components = two;
  result.lambda_by_gcv = !lambda;
  if (!lambda) lambda = choose_by_gcv(pr, dg, stop);
  if (!lambda) {
    error = kStopped;
    return std::nullopt;
  }
  result.lambda = *lambda;

  // The non-negative solution at that penalty.
  std::vector<double> Q(p * p), q(p);
  for (std::size_t r = 0; r < p; ++r) {
    for (std::size_t c = 0; c < p; ++c)
      Q[r * p + c] = gsl_matrix_get(a.get(), r, c) + *lambda * gsl_matrix_get(pen.get(), r, c);
    Q[r * p + r] += eps;
    q[r] = gsl_vector_get(b.get(), r);
  }
  const NnlsResult solved = nnls(Q, q, stop);
  if (solved.stopped) {
    error = kStopped;
    return std::nullopt;
  }
  result.converged = solved.converged;
  const std::vector<double>& u = solved.x;

  // The band: the diagonal of the regularised covariance
  //   M^-1 (G'W R^2 W G m / (m - tr H) + sigma^2 lambda P) M^-1,
  // M = A + lambda P, R the residuals, sigma^2 = |r|^2 / (m - tr H). When
  // the weights describe the noise its expectation is sigma^2 M^-1, the
  // posterior covariance of the smoothness prior; the residuals of each
  // point keep it right where they do not (noise that grows with the
  // intensity, unweighted).
  const std::vector<double> d = factors_d(dg, *lambda);
  double trace = 0;
  for (std::size_t k = 0; k < p; ++k) trace += d[k] * dg.a_kk[k];
  result.effective_parameters = trace;
  const double m = static_cast<double>(pr.points());
  const double dof = std::max(m - trace, 1.0);
  const double rss = pr.rss(u.data());
  result.chi2_reduced = rss * pr.t2() / dof;
  const std::vector<double> sigma = band(pr, dg, d, u, *lambda, m / dof, rss / dof);

  result.energy = energy;
  result.y1.assign(u.begin(), u.begin() + static_cast<std::ptrdiff_t>(n));
  result.sigma1.assign(sigma.begin(), sigma.begin() + static_cast<std::ptrdiff_t>(n));
  result.y2.assign(u.begin() + static_cast<std::ptrdiff_t>(p - n), u.end());
  result.sigma2.assign(sigma.begin() + static_cast<std::ptrdiff_t>(p - n), sigma.end());
  result.comparison = comparison_of(set, pr.model(u.data()));

  // The spectrum's maximum over the excitation energies measured (beyond
  // them it is extrapolated; over all of it when none of the grid is there).
  double lo = std::numeric_limits<double>::infinity(), hi = -lo, top = 0, top_all = 0;
  for (const MeasuredGroup& g : set.groups)
    for (const MeasuredPoint& pt : g.points) {
      const double omega = g.kind == MeasuredKind::emission ? g.energy : pt.omega;
      lo = std::min(lo, omega);
      hi = std::max(hi, omega);
    }
  for (std::size_t i = 0; i < n; ++i) {
    const double y = std::max(result.y1[i], result.y2[i]);
    top_all = std::max(top_all, y);
    if (energy[i] >= lo && energy[i] <= hi) top = std::max(top, y);
  }
  if (top == 0) top = top_all;
  std::vector<char> wide(n);
  for (std::size_t i = 0; i < n; ++i)
    wide[i] = 2 * std::max(result.sigma1[i], result.sigma2[i]) > kUndetermined * top;
  // Ranges closer than the core hole's width, which the excitation
  // cannot resolve, are named as one.
  result.undetermined = runs(energy, wide, in.par.gamma);
  return result;
}

std::string free_fit_report_text(const FreeFitResult& r) {
  std::string text = "Free-form selective XAFS on " + std::to_string(r.energy.size()) +
                     " energies,\r\n" + (r.two_components ? "both components" : "one component") +
                     ", non-negative, smoothness " + format_g6(r.lambda) +
                     (r.lambda_by_gcv ? " (by GCV)." : ".");
  text += r_factor_lines(r.comparison);
  text += "\r\nReduced chi-square: " + format_g6(r.chi2_reduced);
  for (const auto& [lo, hi] : r.undetermined)
    text += "\r\nCAUTION!! The measurements do not determine the selective XAFS from " +
            format_g6(lo) + " to " + format_g6(hi) + " eV.";
  if (!r.converged)
    text += "\r\nCAUTION!! The non-negative solution did not meet its\r\noptimality "
            "conditions; it is the last one found.";
  return text;
}

std::string free_fit_report_json(const FreeFitResult& r) {
  std::string j = "{\"smooth\": " + json_number(r.lambda) +
                  ", \"smooth_by_gcv\": " + (r.lambda_by_gcv ? "true" : "false") +
                  ", \"two_components\": " + (r.two_components ? "true" : "false") +
                  ", \"energies\": " + std::to_string(r.energy.size()) +
                  ", \"points\": " + std::to_string(r.comparison.points()) +
                  ", \"effective_parameters\": " + json_number(r.effective_parameters) +
                  ", \"r_factor\": " + r_factor_json(r.comparison) +
                  ", \"chi2_reduced\": " + json_number(r.chi2_reduced) + ", \"undetermined\": [";
  for (std::size_t i = 0; i < r.undetermined.size(); ++i)
    j += std::string(i ? ", " : "") + "[" + json_number(r.undetermined[i].first) + ", " +
         json_number(r.undetermined[i].second) + "]";
  return j + "], \"converged\": " + (r.converged ? "true" : "false") + "}";
}

std::string free_fit_file_text(const FreeFitResult& r) {
  const std::vector<double> rows = file_rows(r);
  if (!all_finite(rows.data(), rows.size())) return {};
  return format_rows(rows.data(), r.energy.size(), 5);
}

void FreeFormFit(const WorkSpace& ws, GlobalFitState& state, const std::atomic<bool>* stop) {
  state.result.reset();
  state.free_result.reset();
  if (state.fit_scale) {
    state.message = "INPUT ERROR!!\r\n--fit-scale does not go with --free: the scale and\r\nthe "
                    "free-form selective XAFS are one degree of\r\nfreedom. Nothing was fitted.";
    return;
  }
  if (state.fit_abs_corr || state.fit_shift) {
    state.message = "INPUT ERROR!!\r\n--fit-abs-corr and --fit-shift do not go with --free:\r\nthe "
                    "free form fits the selective XAFS alone, at\r\nthe stored factors. Nothing was "
                    "fitted.";
    return;
  }
  std::optional<double> lambda;
  if (!state.smooth.empty() && state.smooth != "auto") {
    char* end = nullptr;
    const double v = strtod_c(state.smooth.c_str(), &end);
    if (*end != '\0' || !(v > 0) || !std::isfinite(v)) {
      state.message = "INPUT ERROR!!\r\n--smooth takes a number above 0 or auto,\r\nnot " +
                      state.smooth + ".";
      return;
    }
    lambda = v;
  }
  std::optional<FitInputs> inputs = read_fit_inputs(ws, state.message);
  if (!inputs) return;
  std::string error;
  std::optional<FreeFitResult> result =
      fit_free_form(inputs->set, inputs->working, inputs->in, lambda, state.weights == 1, error, stop);
  if (!result) {
    state.message = error;
    return;
  }
  const std::vector<double> rows = file_rows(*result);
  if (!all_finite(rows.data(), rows.size())) {
    state.message = "ERROR!!\r\nThe free-form inversion gave a value that is not\r\na finite "
                    "number; nothing was written.";
    return;
  }
  WriteLog log;
  log.rows(ws, files::kFreeFit, rows.data(), result->energy.size(), 5);
  std::string message = state.json ? free_fit_report_json(*result) : free_fit_report_text(*result);
  if (!state.json) message += "\r\nThe spectrum and its band are in SelectiveXAFS_Free_Fit.DAT.";
  if (state.confirm) {
    // As "Save It Temporarily" leaves a modification: the modified copy and
    // the working copy; the calculation's selective XAFS is not touched.
    std::vector<double> selective;
    for (std::size_t i = 0; i < result->energy.size(); ++i)
      selective.insert(selective.end(), {result->energy[i], result->y1[i], result->y2[i]});
    const std::size_t n = result->energy.size();
    log.rows(ws, files::kSelectiveForRIXSTemp2, selective.data(), n, 3);
    log.rows(ws, files::kSelectiveForRIXSTemp, selective.data(), n, 3);
    if (!state.json)
      message += "\r\nIt is the working copy (SelectiveXAFS_for_RIXS_Temp.DAT)\r\nas Save It "
                 "Temporarily leaves it.";
  }
  log.append_to(message);
  state.message = std::move(message);
  state.free_result = std::move(result);
}

}  // namespace talvern
