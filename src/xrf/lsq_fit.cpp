#include "xrf/lsq_fit.h"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_multifit_nlinear.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <string>

#include "engine/kernel.h"
#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/number_text.h"

namespace talvern {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kMaxIterations = 500;
// A step this small (relative to the size of each variable) ends the fit.
constexpr double kNegligibleStep = 1e-7;

// A parameter the solver moves: a Lorentzian's position, width or
// amplitude, one end of the background (kBackground) or the overall height
// (kScale).
struct FreeParameter {
  std::size_t lorentzian, kind;
};
constexpr std::size_t kBackground = 4, kScale = 5;

double& value_of(LorentzSet& set, std::size_t x, std::size_t kind) {
  return kind == kLsqPosition ? set.position[x] : kind == kLsqWidth ? set.width[x] : set.amplitude[x];
}
double value_of(const LorentzSet& set, std::size_t x, std::size_t kind) {
  return value_of(const_cast<LorentzSet&>(set), x, kind);
}

// The solver works on unbounded variables u: width and amplitude = exp(u),
// position = lo + (hi - lo) (1 + tanh u) / 2, the background as it is.
struct Bounds {
  double lo, hi;
  double to_value(std::size_t kind, double u) const {
    if (kind == kLsqPosition) return lo + (hi - lo) * 0.5 * (1.0 + std::tanh(u));
    return std::exp(u);
  }
  double to_variable(std::size_t kind, double v) const {
    if (kind == kLsqPosition) return std::atanh(2.0 * (v - lo) / (hi - lo) - 1.0);
    return std::log(v);
  }
  // d value / d u, which carries an uncertainty of u over to the value.
  double slope(std::size_t kind, double u) const {
    if (kind == kLsqPosition) {
      const double t = std::tanh(u);
      return (hi - lo) * 0.5 * (1.0 - t * t);
    }
    return std::exp(u);
  }
  bool admits(std::size_t kind, double v) const {
    return kind == kLsqPosition ? v > lo && v < hi : v > 0.0;
  }
};

class Fitter {
 public:
  Fitter(const LsqProblem& p, const EmissionModel& model, const LsqWatch& watch)
      : p_(p), model_(model), watch_(watch) {
    bounds_ = {p.e_min, p.e_max};
  }

  // The measured points that have an emission-grid energy of the same
  // six-digit text, as the R-factor pairs them.
  void match_points(const std::vector<double>& rows) {
    const RowsRead& m = *p_.measured;
    std::vector<double> grid(rows.size() / 4);
    for (std::size_t j = 0; j < grid.size(); ++j) grid[j] = through_g6(rows[4 * j]);
    const std::vector<std::size_t> row =
        rows_of_equal_energy(m.values.data(), m.rows, m.k, grid.data(), grid.size(), 1);
    for (std::size_t k = 0; k < m.rows; ++k) {
      if (row[k] == kNoEqualEnergy) continue;
      row_.push_back(row[k]);
      x_.push_back(m.at(k, 0));
      y_.push_back(m.at(k, 1));
    }
  }

  LsqResult run();

 private:
  using Workspace =
      std::unique_ptr<gsl_multifit_nlinear_workspace, decltype(&gsl_multifit_nlinear_free)>;

  bool choose_free_parameters(LsqResult& res);
  bool take_measured_points(const std::vector<double>& rows, LsqResult& res);
  Workspace solve(LsqResult& res);
  bool negligible_step(const gsl_vector* dx, const gsl_vector* u) const;
  void take_solution(gsl_multifit_nlinear_workspace* w, LsqResult& res);
  std::vector<double> fitted_curve(const LsqResult& res) const;

  static int residuals(const gsl_vector* u, void* self, gsl_vector* f) {
    return static_cast<Fitter*>(self)->evaluate(u, f) ? GSL_SUCCESS : GSL_EDOM;
  }
  static int jacobian(const gsl_vector* u, void* self, gsl_matrix* j) {
    return static_cast<Fitter*>(self)->differentiate(u, j) ? GSL_SUCCESS : GSL_EDOM;
  }

  // The Lorentzians and background of the solver's variables.
  void unpack(const gsl_vector* u, LorentzSet& set, std::array<double, 2>& bg,
              double& scale) const {
    set = p_.start;
    bg = {0.0, 0.0};
    scale = scale_;
    for (std::size_t i = 0; i < free_.size(); ++i) {
      const double ui = gsl_vector_get(u, i);
      if (free_[i].lorentzian == kScale)
        scale = std::exp(ui);
      else if (free_[i].lorentzian == kBackground)
        bg[free_[i].kind] = ui;
      else
        value_of(set, free_[i].lorentzian, free_[i].kind) = bounds_.to_value(free_[i].kind, ui);
    }
  }

  double background_at(const std::array<double, 2>& bg, double e) const {
    return bg[0] + (bg[1] - bg[0]) * (e - p_.e_min) / (p_.e_max - p_.e_min);
  }

  bool evaluate(const gsl_vector* u, gsl_vector* f) {
    LorentzSet set;
    std::array<double, 2> bg;
    double scale;
    unpack(u, set, bg, scale);
    bool capped = false;
    const std::vector<double> rows = model_.rows(set, capped);
    for (std::size_t k = 0; k < row_.size(); ++k) {
      const double r = scale * rows[4 * row_[k] + 1] + background_at(bg, x_[k]) - y_[k];
      if (!std::isfinite(r)) return false;
      gsl_vector_set(f, k, r);
    }
    return true;
  }

  // The Jacobian of the residuals: the model's own derivatives (with respect
  // to the values, carried over to the variables), the background's and
  // the scale's.
  bool differentiate(const gsl_vector* u, gsl_matrix* jac) const {
    LorentzSet set;
    std::array<double, 2> bg;
    double scale;
    unpack(u, set, bg, scale);
    const std::vector<double> d = model_.total_derivatives(set, in_use_);
    const std::size_t n = d.size() / 12;
    std::vector<double> rows;
    bool capped = false;
    for (const FreeParameter& fp : free_)
      if (fp.lorentzian == kScale) rows = model_.rows(set, capped);
    for (std::size_t i = 0; i < free_.size(); ++i) {
      const FreeParameter& fp = free_[i];
      const double slope =
          fp.lorentzian < 4 ? scale * bounds_.slope(fp.kind, gsl_vector_get(u, i)) : 0.0;
      for (std::size_t k = 0; k < row_.size(); ++k) {
        double v;
        if (fp.lorentzian == kScale) {
          v = scale * rows[4 * row_[k] + 1];
        } else if (fp.lorentzian == kBackground) {
          const double s = (x_[k] - p_.e_min) / (p_.e_max - p_.e_min);
          v = fp.kind == 0 ? 1.0 - s : s;
        } else {
          v = slope * d[(3 * fp.lorentzian + fp.kind) * n + row_[k]];
        }
        if (!std::isfinite(v)) return false;
        gsl_matrix_set(jac, k, i, v);
      }
    }
    return true;
  }

  const LsqProblem& p_;
  const EmissionModel& model_;
  const LsqWatch& watch_;
  std::array<bool, 4> in_use_{};
  Bounds bounds_;
  std::vector<std::size_t> row_;
  std::vector<double> x_, y_;
  std::vector<FreeParameter> free_;
  double scale_ = 0;
};

LsqResult Fitter::run() {
  LsqResult res;
  res.fitted = p_.start;
  if (!choose_free_parameters(res)) return res;
  bool capped = false;
  if (!take_measured_points(model_.rows(p_.start, capped), res)) return res;
  res.r_before = xrf_r_factor(model_, p_.start, *p_.measured, p_.y_max);
  const Workspace w = solve(res);
  if (!w) return res;
  take_solution(w.get(), res);
  res.scale = scale_;
  res.r_after = xrf_r_factor(model_, res.fitted, *p_.measured, p_.y_max);
  res.curve = fitted_curve(res);

  bool finite = all_finite(res.curve.data(), res.curve.size()) && std::isfinite(res.r_after) &&
                all_finite(res.background.data(), 2) && all_finite(res.background_sigma.data(), 2);
  for (std::size_t x = 0; x < 4; ++x)
    finite = finite && std::isfinite(res.fitted.position[x]) && std::isfinite(res.fitted.width[x]) &&
             std::isfinite(res.fitted.amplitude[x]) && all_finite(res.sigma[x].data(), 3);
  res.status = finite ? LsqResult::Status::ok : LsqResult::Status::not_finite;
  if (!finite) res.fitted = p_.start;
  return res;
}

// The Lorentzians in use and the parameters the solver moves: the free
// parameters of the Lorentzians in use, the background, and the overall
// scale. False, with the status set, when there is nothing to fit or a free
// start value breaks its bound.
bool Fitter::choose_free_parameters(LsqResult& res) {
  for (std::size_t x = 0; x < 4; ++x) res.in_use[x] = p_.start.amplitude[x] != 0.0;
  in_use_ = res.in_use;
  bool any = false;
  for (std::size_t x = 0; x < 4; ++x) any = any || res.in_use[x];
  if (!any) {
    res.status = LsqResult::Status::none_in_use;
    return false;
  }
  for (std::size_t x = 0; x < 4; ++x) {
    if (!res.in_use[x]) continue;
    for (std::size_t kind = 0; kind < 3; ++kind) {
      if (p_.fixed[x][kind]) continue;
      const double v = value_of(res.fitted, x, kind);
      if (!bounds_.admits(kind, v)) {
        res.status = LsqResult::Status::outside_bounds;
        res.bad = {x, kind};
        return false;
      }
      free_.push_back({x, kind});
    }
  }
  if (p_.background) free_.insert(free_.end(), {{kBackground, 0}, {kBackground, 1}});
  if (free_.empty()) {
    res.status = LsqResult::Status::nothing_free;
    return false;
  }
  // The amplitudes only count relative to each other, as the scaling of "Fit
  // the Lorentzians" has it. The fit starts from the scale that command gives
  // the starting values; it stays there while every amplitude is free (they
  // take up any change of height), and is a parameter of its own once an
  // amplitude is held.
  for (std::size_t x = 0; x < 4; ++x)
    if (res.in_use[x] && p_.fixed[x][kLsqAmplitude]) {
      free_.push_back({kScale, 0});
      break;
    }
  return true;
}

// The measured points the fit compares with the starting model `rows`, and
// the scale that model starts from. False, with the status set, when too
// few points are left or the model is nowhere above 0.
bool Fitter::take_measured_points(const std::vector<double>& rows, LsqResult& res) {
  match_points(rows);
  res.points = row_.size();
  if (row_.size() <= free_.size()) {
    res.status = LsqResult::Status::no_points;
    return false;
  }
  const double t_max = model_height(rows.data(), rows.size() / 4);
  scale_ = p_.y_max / t_max;
  if (!(t_max > 0.0) || !std::isfinite(scale_)) {
    res.status = LsqResult::Status::no_height;
    return false;
  }
  return true;
}

// Runs the solver from the start values and counts its iterations; its
// workspace, which holds the solution, or nothing, with the status set,
// when it failed.
Fitter::Workspace Fitter::solve(LsqResult& res) {
  const std::size_t n = row_.size(), np = free_.size();
  gsl_set_error_handler_off();
  using Vector = std::unique_ptr<gsl_vector, decltype(&gsl_vector_free)>;
  Workspace none(nullptr, gsl_multifit_nlinear_free);

  gsl_multifit_nlinear_parameters params = gsl_multifit_nlinear_default_parameters();
  Workspace w(gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &params, n, np),
              gsl_multifit_nlinear_free);
  Vector u0(gsl_vector_alloc(np), gsl_vector_free);
  for (std::size_t i = 0; i < np; ++i) {
    const FreeParameter& fp = free_[i];
    const double v0 = fp.lorentzian == kScale        ? std::log(scale_)
                      : fp.lorentzian == kBackground ? 0.0
                                                     : bounds_.to_variable(fp.kind, value_of(p_.start, fp.lorentzian, fp.kind));
    gsl_vector_set(u0.get(), i, v0);
  }
  gsl_multifit_nlinear_fdf fdf{};
  fdf.f = &Fitter::residuals;
  fdf.df = &Fitter::jacobian;
  fdf.fvv = nullptr;
  fdf.n = n;
  fdf.p = np;
  fdf.params = this;

  if (gsl_multifit_nlinear_init(u0.get(), &fdf, w.get()) != GSL_SUCCESS) {
    res.status = LsqResult::Status::not_finite;
    return none;
  }
  // The iterations as GSL's driver runs them, with a look between two at
  // Stop, and an end as soon as a step moved no variable by more than
  // kNegligibleStep of its size: past that point every further try only
  // shrinks the trust region onto the same minimum, a full evaluation of
  // the model each.
  for (std::size_t iteration = 0;; ++iteration) {
    if (watch_.stop && watch_.stop->load()) {
      res.status = LsqResult::Status::stopped;
      return none;
    }
    const int status = gsl_multifit_nlinear_iterate(w.get());
    res.iterations = iteration + 1;
    if (status == GSL_ENOPROG && iteration == 0) {
      res.status = LsqResult::Status::not_converged;  // not a single step lowered the sum
      return none;
    }
    // "No further progress" later on restarts the trust region; anything
    // else is a failure.
    if (status != GSL_SUCCESS && status != GSL_ENOPROG) {
      res.status = LsqResult::Status::not_finite;
      return none;
    }
    if (watch_.progress) {
      const double norm = gsl_blas_dnrm2(gsl_multifit_nlinear_residual(w.get()));
      watch_.progress(iteration + 1, norm * norm);
    }
    int info = 0;
    if ((status == GSL_SUCCESS && negligible_step(w->dx, w->x)) ||
        gsl_multifit_nlinear_test(1e-10, 1e-10, 0.0, &info, w.get()) == GSL_SUCCESS)
      return w;
    if (iteration + 1 == kMaxIterations) {
      res.status = LsqResult::Status::not_converged;
      return none;
    }
  }
}

// True when the step dx moved no variable by more than kNegligibleStep of
// its size: of its value, and at least 1 (the logarithms and the tangent
// of the Lorentzians' values) or the highest measured intensity (the
// background).
bool Fitter::negligible_step(const gsl_vector* dx, const gsl_vector* u) const {
  for (std::size_t i = 0; i < free_.size(); ++i) {
    const double floor = free_[i].lorentzian == kBackground ? p_.y_max / 10000 : 1.0;
    const double size = std::max(std::fabs(gsl_vector_get(u, i)), floor);
    if (!(std::fabs(gsl_vector_get(dx, i)) <= kNegligibleStep * size)) return false;
  }
  return true;
}

// The fitted values, the background, the scale and the standard
// uncertainties from the solver's solution.
void Fitter::take_solution(gsl_multifit_nlinear_workspace* w, LsqResult& res) {
  using Matrix = std::unique_ptr<gsl_matrix, decltype(&gsl_matrix_free)>;
  const std::size_t n = row_.size(), np = free_.size();
  const gsl_vector* u = gsl_multifit_nlinear_position(w);
  const gsl_vector* f = gsl_multifit_nlinear_residual(w);
  double chisq = 0;
  gsl_blas_ddot(f, f, &chisq);
  Matrix covar(gsl_matrix_alloc(np, np), gsl_matrix_free);
  gsl_multifit_nlinear_covar(gsl_multifit_nlinear_jac(w), 0.0, covar.get());
  const double s2 = chisq / static_cast<double>(n - np);

  unpack(u, res.fitted, res.background, scale_);
  for (std::size_t i = 0; i < np; ++i) {
    const FreeParameter& fp = free_[i];
    const double su = std::sqrt(gsl_matrix_get(covar.get(), i, i) * s2);
    if (fp.lorentzian == kScale) continue;
    if (fp.lorentzian == kBackground)
      res.background_sigma[fp.kind] = su;
    else
      res.sigma[fp.lorentzian][fp.kind] = bounds_.slope(fp.kind, gsl_vector_get(u, i)) * su;
  }
}

// The fitted curve, on the whole emission grid: energy, total with the
// background, component 1, component 2, background.
std::vector<double> Fitter::fitted_curve(const LsqResult& res) const {
  bool capped = false;
  const std::vector<double> rows = model_.rows(res.fitted, capped);
  const std::size_t m = rows.size() / 4;
  std::vector<double> curve(5 * m);
  for (std::size_t j = 0; j < m; ++j) {
    const double e = rows[4 * j];
    const double b = p_.background ? background_at(res.background, e) : 0.0;
    curve[5 * j] = e;
    curve[5 * j + 1] = scale_ * rows[4 * j + 1] + b;
    curve[5 * j + 2] = scale_ * rows[4 * j + 2];
    curve[5 * j + 3] = scale_ * rows[4 * j + 3];
    curve[5 * j + 4] = b;
  }
  return curve;
}

}  // namespace

double xrf_r_factor(const EmissionModel& model, const LorentzSet& lor, const RowsRead& measured,
                    double y_max) {
  // The Lorentzians as "Confirm Lorentzian Setting" stores them.
  LorentzSet stored = lor;
  for (std::size_t x = 0; x < 4; ++x)
    for (std::size_t kind = 0; kind < 3; ++kind)
      value_of(stored, x, kind) = through_g6(value_of(lor, x, kind));
  bool capped = false;
  std::vector<double> rows = model.rows(stored, capped);
  // Non_Resonant_Emission.DAT as written, scaled and written again.
  for (double& v : rows) v = through_g6(v);
  if (!scale_to_measured(rows.data(), rows.size() / 4, y_max)) return kNaN;
  for (double& v : rows) v = through_g6(v);
  const RFactorResult m = match_for_r_factor(measured.values.data(), measured.rows, rows.data(),
                                             rows.size() / 4, 4);
  if (m.matched() == 0 || m.measured_sum == 0.0) return kNaN;
  return 100.0 * m.abs_diff_sum / m.measured_sum;
}

LsqResult least_squares_fit(const LsqProblem& problem, const LsqWatch& watch) {
  const EmissionModel model(problem.par, problem.omega);
  Fitter fitter(problem, model, watch);
  return fitter.run();
}

namespace {

constexpr const char* kLetters[4] = {"A", "B", "C", "D"};

// "7045.517 ± 0.034": the value to the second significant digit of its
// uncertainty.
std::string with_uncertainty(double v, double s) {
  if (!(s > 0.0)) return format_edit(v, 6) + " (undetermined)";
  const int decimals = std::clamp(1 - static_cast<int>(std::floor(std::log10(s))), 0, 12);
  char buf[80];
  auto r = std::to_chars(buf, buf + 36, v, std::chars_format::fixed, decimals);
  std::string out(buf, r.ptr);
  r = std::to_chars(buf, buf + sizeof buf, s, std::chars_format::fixed, decimals);
  return out + " \u00b1 " + std::string(buf, r.ptr);
}

std::string failure_message(const LsqResult& r, const LsqProblem& p) {
  using S = LsqResult::Status;
  switch (r.status) {
    case S::none_in_use:
      return "ERROR!!\r\nNo Lorentzian is in use: every amplitude is 0.\r\nThere is nothing to "
             "fit.";
    case S::nothing_free:
      return "ERROR!!\r\nEvery parameter of the Lorentzians in use is\r\nheld fixed and no "
             "background is fitted.\r\nThere is nothing to fit.";
    case S::outside_bounds: {
      const std::size_t kind = r.bad[1];
      const std::string where =
          kind == kLsqPosition ? "inside the measured range,\r\n" + format_edit(p.e_min, 6) +
                                     " ... " + format_edit(p.e_max, 6) + " eV,"
                               : "above 0";
      return std::string("ERROR!!\r\nThe ") + kLsqKindNames[kind] + " of Lorentzian " +
             kLetters[r.bad[0]] + " must be " + where + "\r\nfor the fit to start from it. "
             "Correct it or\r\nhold it fixed.";
    }
    case S::no_points:
      return "ERROR!!\r\nToo few measured energies lie on the emission\r\ngrid for the free "
             "parameters to be fitted.\r\nPress \"Load XRF Data\" again.";
    case S::no_height:
      return xrf_messages::kNoHeight;
    case S::not_converged:
      return "CAUTION!!\r\nThe least-squares fit did not converge in " +
             std::to_string(kMaxIterations) + "\r\niterations. The boxes were left as they "
             "were;\r\ntry other starting values or hold some fixed.";
    case S::stopped:
      return "CAUTION!!\r\nThe least-squares fit was stopped after " +
             std::to_string(r.iterations) + "\r\niterations. The boxes were left as they were.";
    case S::not_finite:
    case S::not_run:
    case S::ok:
      break;
  }
  return "ERROR!!\r\nThe least-squares fit ran into values that are\r\nnot finite numbers. The "
         "boxes were left as they\r\nwere; check the Exc. Energy(eV) and the boxes.";
}

std::string success_message(const LsqResult& r, const LsqProblem& p) {
  std::string m = "The least-squares fit converged after " + std::to_string(r.iterations) +
                  "\r\niterations over " + std::to_string(r.points) + " measured points.\r\n";
  constexpr const char* kUnits[3] = {" eV", " eV", ""};
  for (std::size_t x = 0; x < 4; ++x) {
    if (!r.in_use[x]) continue;
    m += std::string(kLetters[x]) + ":";
    for (std::size_t kind = 0; kind < 3; ++kind) {
      const double v = value_of(r.fitted, x, kind);
      m += std::string(kind ? ", " : " ") + kLsqKindNames[kind] + " ";
      if (p.fixed[x][kind])
        m += format_edit(v, xrf_digits::kPosition) + kUnits[kind] + " (fixed)";
      else
        m += with_uncertainty(v, r.sigma[x][kind]) + kUnits[kind];
    }
    m += "\r\n";
  }
  if (p.background)
    m += "Background: " + with_uncertainty(r.background[0], r.background_sigma[0]) + " at " +
         format_edit(p.e_min, 6) + " eV, " +
         with_uncertainty(r.background[1], r.background_sigma[1]) + " at " +
         format_edit(p.e_max, 6) + " eV\r\n";
  m += "R-factor before the fit: " + format_edit(r.r_before, xrf_digits::kRFactor) +
       " %, after: " + format_edit(r.r_after, xrf_digits::kRFactor) + " %\r\n";
  if (p.background)
    m += "The background is part neither of the R-factor\r\nnor of the RIXS calculation.\r\n";
  m += "The fitted values are in the boxes. If OK, click\r\n\"Confirm Lorentzian Setting\" and "
       "fit the\r\nLorentzians again.";
  return m;
}

}  // namespace

bool load_confirmed_setting(const WorkSpace& ws, XRFState& state) {
  LorentzSet confirmed;
  if (read_lorentz(ws.file(files::kLorentzTemp), confirmed) < LorentzSet::kCount) {
    state.message = xrf_messages::kNoConfirmedForFit;
    return false;
  }
  double omega = 0;
  if (read_one_row(ws.file(files::kEmissionExcEnergy), &omega, 1) < 1) {
    state.message = xrf_messages::kNoExcEnergy;
    return false;
  }
  show_lorentz(confirmed, state);
  state.exc_energy = format_edit(omega, xrf_digits::kExcEnergy);
  return true;
}

LsqResult LeastSquaresFit(const WorkSpace& ws, XRFState& state, const LsqWatch& watch) {
  state.marker.reset();
  const RowsRead measured = read_rows(ws.file(files::kExpNonResonantEmission), 2, kRowCapacity);
  if (measured.rows < 2) {
    state.message = xrf_messages::kTooFewPoints;
    return {};
  }
  plot::Range range;
  if (!read_emission_range(ws, range)) {
    state.message = xrf_messages::kNoRange;
    return {};
  }
  LsqProblem p;
  if (read_parameters(ws.file(files::kParameters), p.par) < CalcParameters::kCount) {
    state.message = engine_message({EngineReport::Status::parameters_missing},
                                   files::kNonResonantEmission);
    return {};
  }
  p.measured = &measured;
  p.omega = parse_edit(state.exc_energy);
  p.y_max = range.y_max;
  p.e_min = range.e_min;
  p.e_max = range.e_max;
  p.start = boxes_lorentz(state);
  for (std::size_t x = 0; x < 4; ++x)
    p.fixed[x] = {state.fix_position[x], state.fix_width[x], state.fix_amplitude[x]};
  p.background = state.background;

  const LsqResult r = least_squares_fit(p, watch);
  if (!r.ok()) {
    state.message = failure_message(r, p);
    return r;
  }
  for (std::size_t x = 0; x < 4; ++x) {
    if (!r.in_use[x]) continue;
    if (!p.fixed[x][kLsqPosition])
      state.position[x] = format_edit(r.fitted.position[x], xrf_digits::kPosition);
    if (!p.fixed[x][kLsqWidth]) state.width[x] = format_edit(r.fitted.width[x], xrf_digits::kWidth);
    if (!p.fixed[x][kLsqAmplitude])
      state.amplitude[x] = format_edit(r.fitted.amplitude[x], xrf_digits::kAmplitude);
  }
  const std::size_t n = r.curve.size() / 5;
  state.fit = plot::standard_trace(r.curve.data(), n, 5, 3, range);
  state.background_line.reset();
  if (p.background) {
    std::vector<double> line(2 * n);
    for (std::size_t j = 0; j < n; ++j) {
      line[2 * j] = r.curve[5 * j];
      line[2 * j + 1] = r.curve[5 * j + 4];
    }
    state.background_line = plot::standard_trace(line.data(), n, 2, 1, range);
  }
  state.message = success_message(r, p);
  return r;
}

}  // namespace talvern
