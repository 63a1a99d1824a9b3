#include "refine/optimisation.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/kernel.h"
#include "engine/response.h"
#include "workspace/file_names.h"
#include "workspace/number_text.h"
#include "workspace/parameters.h"
#include "workspace/row_io.h"
#include "workspace/write_log.h"

namespace talvern {

const char* const kOptimOpening =
    "Please confirm the INPUT conditions.\r\nIf necessary, change the parameters and\r\n"
    "Optimize-Selective-XAFS.";
const char* const kOptimInputError =
    "ERROR!!\r\nPlease check the INPUT conditions (e.g., Number of\r\nReputations, Excitation "
    "Energy, Energy range to\r\ncalculate...)";
const char* const kOptimInProgress = "In caluculation...";

namespace {

const char* const kNoMeasuredSum =
    "ERROR!!\r\nThe measured RIXS spectrum (RIXSEXP.DAT) is missing or its\r\n"
    "intensities sum to zero or less over the calculated\r\n"
    "emission energies: no R-factor can be formed.";

constexpr int kRangeDigits = 10;  // the opening energies
constexpr int kRFactorDigits = 6;

std::string count_text(std::size_t n) { return std::to_string(n); }

// The selective XAFS under trial, as the files would hold it: energies and
// both intensity columns after a six-digit round trip.
struct Spectrum {
  std::vector<double> e, y1, y2;
};

std::vector<double> rows_of(const Spectrum& s) {
  std::vector<double> rows(3 * s.e.size());
  for (std::size_t i = 0; i < s.e.size(); ++i) {
    rows[3 * i] = s.e[i];
    rows[3 * i + 1] = s.y1[i];
    rows[3 * i + 2] = s.y2[i];
  }
  return rows;
}

// The spectrum as the engine reads it from SelectiveXAFS_for_RIXS.DAT.
RowsRead as_read(const Spectrum& s) {
  RowsRead sel;
  sel.k = 3;
  sel.rows = s.e.size();
  sel.opened = true;
  sel.values = rows_of(s);
  return sel;
}

// Evaluates trials: the total intensity of a spectrum as Calculated_RIXS.DAT
// would give it back. Uses the linear response where it fits in memory and
// the engine's own sum otherwise.
class TrialEngine {
 public:
  TrialEngine(const WorkSpace& ws, const std::vector<double>& energies, double omega,
              std::size_t points, std::size_t matrix_limit, bool same_columns)
      : omega_(omega), points_(points), n_(energies.size()), same_(same_columns) {
    // The reference calculation has just read and checked these files.
    (void)read_engine_inputs(ws, RowsRead{}, in_);
    matrix_ = n_ * points_ <= matrix_limit;
    if (matrix_) {
      response_ = total_response(in_.conv, in_.par, in_.lor, energies.data(), n_, omega, points_);
      points_ = response_.points;
      if (same_) {
        // Both columns always equal: one matrix for their sum.
        for (std::size_t x = 0; x < response_.g1.size(); ++x) response_.g1[x] += response_.g2[x];
        response_.g2.clear();
        response_.g2.shrink_to_fit();
      }
    }
  }

  std::size_t points() const { return points_; }

  // Part of the total due to one column (the whole total for equal columns).
  void part(int column, const std::vector<double>& y, std::vector<double>& out) const {
    out.resize(points_);
    TotalResponse::apply(column == 1 ? response_.g1 : response_.g2, points_, n_, y.data(),
                         out.data());
  }

  bool matrix() const { return matrix_; }
  bool same() const { return same_; }

  // Totals by the engine's sum, for spectra too large for the matrices.
  void direct(const Spectrum& s, std::vector<double>& out) const {
    bool capped = false;
    const std::vector<double> rows =
        rixs_rows(as_read(s), in_.conv, in_.par, in_.lor, omega_, capped);
    out.resize(points_);
    for (std::size_t k = 0; k < points_; ++k) out[k] = rows[4 * k + 1];
  }

 private:
  double omega_;
  std::size_t points_, n_;
  bool same_;
  bool matrix_ = false;
  EngineInputs in_;
  TotalResponse response_;
};

void round_trip(std::vector<double>& v) {
  for (double& x : v) x = through_g6(x);
}

bool finite(const std::vector<double>& v) { return all_finite(v.data(), v.size()); }

}  // namespace

OptimState OpenOptimization(const WorkSpace& ws) {
  OptimState s;
  double range[4] = {0, 0, 0, 0};
  read_one_row(ws.file(files::kXAFSMinMax), range, 4);
  s.start_energy = format_edit(range[0], kRangeDigits);
  s.end_energy = format_edit(range[1], kRangeDigits);
  s.message = kOptimOpening;
  return s;
}

int component_count(const double* rows3, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    if (rows3[3 * i + 1] != rows3[3 * i + 2]) return 2;
  return 1;
}

long long step_count(double span, double step) {
  const double q = span / step;
  if (!(q >= 1)) return 0;  // also NaN
  return q >= 1e9 ? 1000000000LL : static_cast<long long>(q);
}

double r_factor(const double* calculated, const double* measured, std::size_t rows,
                double measured_sum) {
  double diff = 0;
  for (std::size_t i = 0; i < rows; ++i) diff += std::fabs(calculated[i] - measured[i]);
  return 100 * diff / measured_sum;
}

void OptimizeSelectiveXAFS(const WorkSpace& ws, OptimState& state, const OptimWatch& watch) {
  auto stopped = [&] { return watch.stop && watch.stop->load(std::memory_order_relaxed); };

  // The display range, the calculation input and its backup (copied as
  // it stands, so the backup restores every row), the measurement.
  double range[4] = {0, 0, 0, 0};
  read_one_row(ws.file(files::kXAFSMinMax), range, 4);
  const auto input_path = ws.file(files::kSelectiveForRIXS);
  std::string input_text;
  read_text(input_path, input_text);
  const RowsRead input = parse_rows(input_text, 3, kOptimSelectiveCapacity);
  const int n_comp = component_count(input.values.data(), input.rows);
  const WriteStatus backup = write_text_atomic(ws.file(files::kSelectiveForRIXSSaving), input_text);
  const RowsRead measured = read_rows(ws.file(files::kRIXSExp), 2, kOptimRIXSCapacity);

  // The input texts, checked in the order the users know.
  const double e_start = parse_edit(state.start_energy);
  const double e_end = parse_edit(state.end_energy);
  const double e_step = parse_edit(state.energy_step);
  const double h_center = parse_edit(state.peak_height);
  const double width = parse_edit(state.peak_width);
  const double h_limit = parse_edit(state.height_limit);
  const double h_step = parse_edit(state.height_step);
  const double omega = parse_edit(state.exc_energy);
  const long long n_energies = step_count(e_end - e_start, e_step);
  const long long n_heights = step_count(2 * h_limit, h_step);
  const int selected = state.repetition;
  if (selected < 0 || selected >= static_cast<int>(state.repetitions.size()) || omega == 0 ||
      e_start < range[0] || e_end > range[1] || e_end < e_start || e_step == 0 || width == 0 ||
      h_step == 0) {
    state.message = kOptimInputError;
    return;
  }
  const std::string repetition_text = state.repetitions[selected];
  const int repetitions = selected + 1;

  if (backup != WriteStatus::ok) {
    state.message = "ERROR!!\r\nSelectiveXAFS_for_RIXS_Saving.DAT could not be written in\r\n"
                    TALVERN_WORK_SPACE_NAME ". Nothing was optimized.";
    return;
  }
  const RowsRead temp = read_rows(ws.file(files::kSelectiveForRIXSTemp), 3,
                                  kOptimSelectiveCapacity);
  if (temp.bad_token) {
    state.message = "ERROR!!\r\nSelectiveXAFS_for_RIXS_Temp.DAT holds text that is not a\r\n"
                    "number in line " + std::to_string(temp.bad_line) +
                    ". Nothing was optimized.";
    return;
  }
  if (temp.rows < 2) {
    state.message = "ERROR!!\r\nSelectiveXAFS_for_RIXS_Temp.DAT holds fewer than two rows:\r\n"
                    "there is no selective XAFS to optimize.\r\nPlease click Load Selective XAFS.";
    return;
  }

  // The rows of the calculation that the measurement pairs with, known
  // before anything is calculated: a measurement that sums to nothing gives
  // no R-factor, and nothing but the backup is written.
  CalcParameters par;
  const bool have_parameters =
      read_parameters(ws.file(files::kParameters), par) == CalcParameters::kCount;
  std::string cautions;
  if (have_parameters) {
    bool grid_capped = false;
    const std::size_t points =
        std::min(emission_grid(par.emission_start, par.emission_end, par.emission_step,
                               kRowCapacity, grid_capped).size(),
                 kOptimRIXSCapacity);
    double sum = 0;
    for (std::size_t k = 0; k < std::min(points, measured.rows); ++k) sum += measured.at(k, 1);
    if (!(sum > 0)) {
      state.message = kNoMeasuredSum;
      return;
    }
  }

  // The reference R-factor, by the engine itself.
  const EngineReport reference = CalculateRIXS(ws, omega);
  if (reference.status != EngineReport::Status::ok) {
    state.message = engine_message(reference, files::kCalculatedRIXS);
    return;
  }
  const RowsRead calculated = read_rows(ws.file(files::kCalculatedRIXS), 4, kOptimRIXSCapacity);
  const std::size_t pairs = std::min(calculated.rows, measured.rows);
  std::vector<double> measured_i(pairs), totals(calculated.rows);
  double measured_sum = 0;
  for (std::size_t k = 0; k < pairs; ++k) measured_sum += measured_i[k] = measured.at(k, 1);
  for (std::size_t k = 0; k < calculated.rows; ++k) totals[k] = calculated.at(k, 1);
  if (!(measured_sum > 0) || pairs == 0) {
    state.message = kNoMeasuredSum;
    return;
  }
  double best = r_factor(totals.data(), measured_i.data(), pairs, measured_sum);
  if (calculated.capped)
    cautions += "Only the first " + count_text(kOptimRIXSCapacity) +
                " calculated emission energies were compared.\r\n";
  if (measured.rows < calculated.rows)
    cautions += "RIXSEXP.DAT has fewer rows than the calculation: only\r\nthe first " +
                count_text(pairs) + " rows were compared.\r\n";
  if (measured.capped)
    cautions += "Only the first " + count_text(kOptimRIXSCapacity) +
                " rows of RIXSEXP.DAT were read.\r\n";
  if (temp.capped)
    cautions += "Only the first " + count_text(kOptimSelectiveCapacity) +
                " rows of the selective XAFS were optimized;\r\nthe rows after them were "
                "kept as they were.\r\n";
  if (reference.grid_capped || reference.selective_capped || reference.conv_capped) {
    // The engine's own caution, without its first line.
    const std::string engine = engine_message(reference, files::kCalculatedRIXS);
    cautions += engine.substr(engine.find("\r\n") + 2) + "\r\n";
  }

  if (watch.notice) watch.notice(kOptimInProgress);

  // The best spectrum so far, as SelectiveXAFS_for_RIXS_Temp.DAT holds it.
  const std::size_t n = temp.rows;
  Spectrum base;
  base.e.resize(n);
  base.y1.resize(n);
  base.y2.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    base.e[i] = temp.at(i, 0);
    base.y1[i] = temp.at(i, 1);
    base.y2[i] = temp.at(i, 2);
  }
  Spectrum trial{base.e, {}, {}};  // the trial as the engine would read it
  round_trip(trial.e);
  const bool same = n_comp == 1 && base.y1 == base.y2;
  const TrialEngine engine(ws, trial.e, omega, calculated.rows, watch.matrix_limit, same);

  // Parts of the totals due to each column of the best spectrum, as written.
  std::vector<double> base_y2 = base.y2;
  round_trip(base_y2);
  std::vector<double> base_part2;
  if (engine.matrix() && !same) engine.part(2, base_y2, base_part2);

  std::vector<double> sum1, sum2, peak(n), trial_totals;
  bool any_trial = false, kept_any = false;
  long long skipped = 0;

  // Evaluates the trial spectrum (trial.y1, trial.y2, already round-tripped);
  // `new2` tells whether column 2 differs from the best spectrum's.
  auto evaluate = [&](bool new2) {
    any_trial = true;
    if (!finite(trial.y1) || !finite(trial.y2)) {
      ++skipped;
      if (watch.trial) watch.trial(NAN, false);
      return;
    }
    if (!engine.matrix()) {
      engine.direct(trial, trial_totals);
    } else if (same) {
      engine.part(1, trial.y1, trial_totals);
    } else {
      engine.part(1, trial.y1, sum1);
      const std::vector<double>* p2 = &base_part2;
      if (new2) {
        engine.part(2, trial.y2, sum2);
        p2 = &sum2;
      }
      trial_totals.resize(engine.points());
      for (std::size_t k = 0; k < engine.points(); ++k) trial_totals[k] = sum1[k] + (*p2)[k];
    }
    round_trip(trial_totals);
    if (!finite(trial_totals)) {
      ++skipped;
      if (watch.trial) watch.trial(NAN, false);
      return;
    }
    const double r = r_factor(trial_totals.data(), measured_i.data(), pairs, measured_sum);
    if (watch.trial) watch.trial(r, r < best);
    if (r < best) {
      best = r;
      base.y1 = trial.y1;
      base.y2 = trial.y2;
      kept_any = true;
      if (new2) {
        base_y2 = trial.y2;
        if (engine.matrix() && !same) base_part2 = sum2;
      }
    }
  };

  bool halted = false;
  int halted_repetition = 0;
  double halted_energy = 0;
  for (int rep = 1; rep <= repetitions && !halted; ++rep) {
    if (watch.progress_range) watch.progress_range(static_cast<int>(n_energies - 1));
    for (long long k = 0; k < n_energies && !halted; ++k) {
      if (watch.progress) watch.progress(static_cast<int>(k));
      const double center = e_start + static_cast<double>(k) * e_step;
      for (long long j = 0; j < n_heights && !halted; ++j) {
        const double height = (h_center - h_limit) + static_cast<double>(j) * h_step;
        for (std::size_t i = 0; i < n; ++i) peak[i] = trial_peak(base.e[i], center, height, width);
        trial.y1.resize(n);
        trial.y2.resize(n);
        for (std::size_t i = 0; i < n; ++i) trial.y1[i] = through_g6(base.y1[i] + peak[i]);
        if (n_comp == 1) {
          if (same) trial.y2 = trial.y1;
          else
            for (std::size_t i = 0; i < n; ++i) trial.y2[i] = through_g6(base.y2[i] + peak[i]);
          evaluate(true);
        } else {
          // Component 1 alone, then both; the second trial adds to the rows
          // as they were before the first one was kept or not.
          const std::vector<double> y2_before = base.y2;
          trial.y2 = base_y2;
          evaluate(false);
          if (!stopped()) {
            for (std::size_t i = 0; i < n; ++i) trial.y2[i] = through_g6(y2_before[i] + peak[i]);
            evaluate(true);
          }
        }
        if (stopped()) {
          halted = true;
          halted_repetition = rep;
          halted_energy = center;
        }
      }
    }
    state.components = std::to_string(n_comp);
    state.r_factor = format_edit(best, kRFactorDigits);
    if (watch.boxes) watch.boxes(state);
  }

  // The best spectrum becomes the working copy; Calculated_RIXS.DAT holds
  // the engine's result for the last trial evaluated.
  WriteLog log;
  if (kept_any) {
    std::vector<double> rows = rows_of(Spectrum{trial.e, base.y1, base.y2});
    std::size_t count = n;
    if (temp.capped) {
      // Rows beyond the capacity stay in the working copy as they were.
      const RowsRead whole = read_rows(ws.file(files::kSelectiveForRIXSTemp), 3, SIZE_MAX);
      rows.insert(rows.end(), whole.values.begin() + 3 * n, whole.values.begin() + 3 * whole.rows);
      count = whole.rows;
    }
    log.rows(ws, files::kSelectiveForRIXSTemp, rows.data(), count, 3);
  }
  if (any_trial && finite(trial.y1) && finite(trial.y2))  // the last trial evaluated
    (void)CalculateRIXSFrom(ws, as_read(trial), omega);

  if (skipped > 0)
    cautions += std::to_string(skipped) + " trials gave values that are not finite\r\n"
                "numbers and were not kept.\r\n";
  if (halted) {
    state.message = "CAUTION!!\r\n" + cautions + "The optimization was stopped at " +
                    format_edit(halted_energy, kRangeDigits) + " eV (repetition " +
                    std::to_string(halted_repetition) + " of " + std::to_string(repetitions) +
                    ").\r\nThe best spectrum found so far (R-factor = " +
                    format_edit(best, kRFactorDigits) +
                    ")\r\nwas kept in SelectiveXAFS_for_RIXS_Temp.DAT;\r\n"
                    "SelectiveXAFS_for_RIXS.DAT was restored.";
    log.append_to(state.message);
    return;
  }
  const std::string done = "Optimization was done: the calculated range is from\r\n" +
                           state.start_energy + " eV to " + state.end_energy +
                           "eV (number of reputations = " + repetition_text + " ).";
  state.message = cautions.empty() ? done : "CAUTION!!\r\n" + cautions + done;
  log.append_to(state.message);
}

}  // namespace talvern
