#include "xafs/edge_step.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_multifit.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <cmath>

#include "workspace/number_text.h"
#include "xafs/steepest_rise.h"

namespace talvern {

namespace {

// Least squares of a polynomial of `degree` in (E - e0) over the rows with
// energies in [lo, hi]; false when they hold fewer distinct energies than
// coefficients.
bool fit_polynomial(const double* rows2, std::size_t n, double e0, double lo, double hi,
                    int degree, double* coefficients) {
  std::vector<double> x, y;
  for (std::size_t i = 0; i < n; ++i)
    if (rows2[2 * i] >= lo && rows2[2 * i] <= hi) {
      x.push_back(rows2[2 * i] - e0);
      y.push_back(rows2[2 * i + 1]);
    }
  const std::size_t p = static_cast<std::size_t>(degree) + 1;
  std::vector<double> distinct = x;
  std::sort(distinct.begin(), distinct.end());
  if (static_cast<std::size_t>(std::unique(distinct.begin(), distinct.end()) - distinct.begin()) < p)
    return false;

  gsl_set_error_handler_off();
  gsl_matrix* X = gsl_matrix_alloc(x.size(), p);
  gsl_vector* Y = gsl_vector_alloc(x.size());
  gsl_vector* c = gsl_vector_alloc(p);
  gsl_matrix* cov = gsl_matrix_alloc(p, p);
  gsl_multifit_linear_workspace* work = gsl_multifit_linear_alloc(x.size(), p);
  for (std::size_t i = 0; i < x.size(); ++i) {
    double power = 1.0;
    for (std::size_t j = 0; j < p; ++j, power *= x[i]) gsl_matrix_set(X, i, j, power);
    gsl_vector_set(Y, i, y[i]);
  }
  double chisq = 0.0;
  const int status = gsl_multifit_linear(X, Y, c, cov, &chisq, work);
  for (std::size_t j = 0; j < p; ++j) coefficients[j] = gsl_vector_get(c, j);
  gsl_multifit_linear_free(work);
  gsl_matrix_free(cov);
  gsl_vector_free(c);
  gsl_vector_free(Y);
  gsl_matrix_free(X);
  return status == GSL_SUCCESS;
}

std::string ev(double value) { return format_g6(value) + " eV"; }

}  // namespace

EdgeStepResult fit_edge_step(const double* rows2, std::size_t n, const EdgeStepRequest& request) {
  EdgeStepResult result;
  if (n == 0) {
    result.why = "The spectrum holds no rows.\r\n";
    return result;
  }
  double e_min = rows2[0], e_max = rows2[0];
  for (std::size_t i = 1; i < n; ++i) {
    e_min = std::min(e_min, rows2[2 * i]);
    e_max = std::max(e_max, rows2[2 * i]);
  }
  EdgeStepFit f;
  f.e0 = request.e0;
  // Each range limited to the data.
  const auto limit = [&](double relative) { return std::clamp(f.e0 + relative, e_min, e_max) - f.e0; };
  f.pre1 = limit(request.pre1.value_or(kDefaultPre1));
  f.pre2 = limit(request.pre2.value_or(kDefaultPre2));
  f.norm1 = limit(request.norm1.value_or(kDefaultNorm1));
  f.norm2 = limit(request.norm2.value_or(e_max - f.e0));
  f.nnorm = request.nnorm.value_or(f.norm2 - f.norm1 > kQuadraticPostEdgeWidth ? 2 : 1);

  const std::string pre_range = "The pre-edge range " + ev(f.e0 + f.pre1) + " to " + ev(f.e0 + f.pre2);
  const std::string post_range =
      "The post-edge range " + ev(f.e0 + f.norm1) + " to " + ev(f.e0 + f.norm2);
  if (f.pre1 >= f.pre2) {
    result.why = pre_range + "\r\n(within the data) is empty.\r\n";
  } else if (f.norm1 >= f.norm2) {
    result.why = post_range + "\r\n(within the data) is empty.\r\n";
  } else if (!fit_polynomial(rows2, n, f.e0, f.e0 + f.pre1, f.e0 + f.pre2, 1, f.pre)) {
    result.why = pre_range + "\r\nholds fewer than 2 energies.\r\n";
  } else if (!fit_polynomial(rows2, n, f.e0, f.e0 + f.norm1, f.e0 + f.norm2, f.nnorm, f.post)) {
    result.why = post_range + "\r\nholds fewer than " + std::to_string(f.nnorm + 1) +
                 " energies for a polynomial of degree " + std::to_string(f.nnorm) + ".\r\n";
  } else {
    f.step = f.post_at(f.e0) - f.pre_at(f.e0);
    if (!(f.step > 0.0) || !std::isfinite(f.step))
      result.why = "The edge step post(E0) - pre(E0) = " + format_g6(f.step) +
                   "\r\nis not above 0.\r\n";
    else
      result.fit = f;
  }
  return result;
}

EdgeStepResult fit_edge_step_at(const double* rows2, std::size_t n, std::optional<double> e0,
                                EdgeStepRequest request) {
  if (!e0) {
    e0 = n >= kSteepestRiseMinRows ? steepest_rise(rows2, n) : std::nullopt;
    if (!e0)
      return {std::nullopt,
              "The spectrum has no single steepest rise, so\r\nE0 is not known. Type it into "
              "\"Core Energy\r\n(eV)\".\r\n"};
  }
  request.e0 = *e0;
  return fit_edge_step(rows2, n, request);
}

void normalise_to_step(double* rows2, std::size_t n, const EdgeStepFit& fit, bool flatten) {
  for (std::size_t i = 0; i < n; ++i) {
    const double e = rows2[2 * i];
    double& mu = rows2[2 * i + 1];
    mu = flatten && e > fit.e0 ? 1.0 + (mu - fit.post_at(e)) / fit.step
                               : (mu - fit.pre_at(e)) / fit.step;
  }
}

std::optional<double> box_number(std::string_view text, bool& bad) {
  bad = false;
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  const std::string buf(text);
  char* end = nullptr;
  const double value = strtod_c(buf.c_str(), &end);
  // Decimal text only: no hexadecimal, "inf" or "nan".
  const bool decimal = buf.find_first_not_of("0123456789+-.eE") == std::string::npos;
  if (!decimal || end != buf.c_str() + buf.size() || !std::isfinite(value)) {
    bad = true;
    return std::nullopt;
  }
  return value;
}

}  // namespace talvern
