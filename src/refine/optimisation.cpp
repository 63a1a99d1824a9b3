#include "refine/optimisation.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <string>
#include <utility>
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

namespace {

// The text as a number when it is one, whole (white space around it aside).
std::optional<double> number_in(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  const double value = strtod_c(begin, &end);
  if (end == begin) return std::nullopt;
  while (*end && is_space(*end)) ++end;
  if (*end || !std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

OptimState OpenOptimizationFrom(const WorkSpace& ws, const std::string& exc_energy) {
  OptimState s = OpenOptimization(ws);
  const std::optional<double> omega = number_in(exc_energy);
  if (!omega || *omega == 0) return s;
  s.exc_energy = exc_energy;
  if (const std::optional<double> r = starting_r_factor(ws, *omega))
    s.r_factor = format_edit(*r, kRFactorDigits);
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

namespace {

// What a run reads before it checks anything: the display range, the
// component count of the calculation input and the measurement. The backup
// of the calculation input is written at once, copied as it stands, so that
// it restores every row; `backup` tells how that went.
struct RunStart {
  double range[4] = {0, 0, 0, 0};
  int n_comp = 1;
  WriteStatus backup = WriteStatus::ok;
  RowsRead measured;
};

RunStart start_run(const WorkSpace& ws) {
  RunStart s;
  read_one_row(ws.file(files::kXAFSMinMax), s.range, 4);
  std::string input_text;
  read_text(ws.file(files::kSelectiveForRIXS), input_text);
  const RowsRead input = parse_rows(input_text, 3, kOptimSelectiveCapacity);
  s.n_comp = component_count(input.values.data(), input.rows);
  s.backup = write_text_atomic(ws.file(files::kSelectiveForRIXSSaving), input_text);
  s.measured = read_rows(ws.file(files::kRIXSExp), 2, kOptimRIXSCapacity);
  return s;
}

// The boxes as numbers: the tried energies, the tried heights of the peak
// and its width, the excitation energy and the repetitions.
struct SearchGrid {
  double e_start = 0, e_step = 0;
  double h_center = 0, width = 0, h_limit = 0, h_step = 0;
  double omega = 0;
  long long n_energies = 0, n_heights = 0;
  int repetitions = 0;
  std::string repetition_text;
};

// The grid of the boxes; false when they make no run (checked in the order
// the users know).
bool read_boxes(const OptimState& state, const double range[4], SearchGrid& g) {
  g.e_start = parse_edit(state.start_energy);
  const double e_end = parse_edit(state.end_energy);
  g.e_step = parse_edit(state.energy_step);
  g.h_center = parse_edit(state.peak_height);
  g.width = parse_edit(state.peak_width);
  g.h_limit = parse_edit(state.height_limit);
  g.h_step = parse_edit(state.height_step);
  g.omega = parse_edit(state.exc_energy);
  g.n_energies = step_count(e_end - g.e_start, g.e_step);
  g.n_heights = step_count(2 * g.h_limit, g.h_step);
  const int selected = state.repetition;
  if (selected < 0 || selected >= static_cast<int>(state.repetitions.size()) || g.omega == 0 ||
      g.e_start < range[0] || e_end > range[1] || e_end < g.e_start || g.e_step == 0 ||
      g.width == 0 || g.h_step == 0)
    return false;
  g.repetition_text = state.repetitions[selected];
  g.repetitions = selected + 1;
  return true;
}

// Why the working copy cannot be optimised; empty when it can.
std::string working_copy_refusal(const RowsRead& temp) {
  if (temp.bad_token)
    return "ERROR!!\r\nSelectiveXAFS_for_RIXS_Temp.DAT holds text that is not a\r\n"
           "number in line " + std::to_string(temp.bad_line) + ". Nothing was optimized.";
  if (temp.rows < 2)
    return "ERROR!!\r\nSelectiveXAFS_for_RIXS_Temp.DAT holds fewer than two rows:\r\n"
           "there is no selective XAFS to optimize.\r\nPlease click Load Selective XAFS.";
  return {};
}

// False when the measured rows that the calculation will pair with sum to
// zero or less, known from the parameters before anything is calculated
// (without them the engine says what is missing).
bool measured_sum_positive(const WorkSpace& ws, const RowsRead& measured) {
  CalcParameters par;
  if (read_parameters(ws.file(files::kParameters), par) != CalcParameters::kCount) return true;
  bool grid_capped = false;
  const std::size_t points =
      std::min(emission_grid(par.emission_start, par.emission_end, par.emission_step,
                             kRowCapacity, grid_capped).size(),
               kOptimRIXSCapacity);
  double sum = 0;
  for (std::size_t k = 0; k < std::min(points, measured.rows); ++k) sum += measured.at(k, 1);
  return sum > 0;
}

// The reference calculation against the measurement: the calculated rows,
// the measured intensities paired with them and their sum, and the
// R-factor to beat.
struct Comparison {
  std::size_t points = 0, pairs = 0;
  std::vector<double> measured;
  double measured_sum = 0;
  double reference_r = 0;
};

// False when no R-factor can be formed.
bool compare_reference(const RowsRead& calculated, const RowsRead& measured, Comparison& c) {
  c.points = calculated.rows;
  c.pairs = std::min(calculated.rows, measured.rows);
  c.measured.resize(c.pairs);
  std::vector<double> totals(calculated.rows);
  for (std::size_t k = 0; k < c.pairs; ++k) c.measured_sum += c.measured[k] = measured.at(k, 1);
  for (std::size_t k = 0; k < calculated.rows; ++k) totals[k] = calculated.at(k, 1);
  if (!(c.measured_sum > 0) || c.pairs == 0) return false;
  c.reference_r = r_factor(totals.data(), c.measured.data(), c.pairs, c.measured_sum);
  return true;
}

}  // namespace

std::optional<double> starting_r_factor(const WorkSpace& ws, double omega) {
  // As the run's reference: Calculated_RIXS.DAT as the engine would write it
  // (six digits) and read back, against RIXSEXP.DAT.
  const RowsRead sel = read_rows(ws.file(files::kSelectiveForRIXS), 3, kRowCapacity);
  EngineInputs in;
  EngineReport report = read_engine_inputs(ws, sel, in);
  if (report.status != EngineReport::Status::ok) return std::nullopt;
  std::vector<double> rows = rixs_rows(sel, in.conv, in.par, in.lor, omega, report.grid_capped);
  if (!finite(rows)) return std::nullopt;
  round_trip(rows);
  RowsRead calculated;
  calculated.k = 4;
  calculated.opened = true;
  calculated.rows = std::min(rows.size() / 4, kOptimRIXSCapacity);
  calculated.capped = rows.size() / 4 > kOptimRIXSCapacity;
  rows.resize(4 * calculated.rows);
  calculated.values = std::move(rows);
  Comparison cmp;
  if (!compare_reference(calculated, read_rows(ws.file(files::kRIXSExp), 2, kOptimRIXSCapacity),
                         cmp))
    return std::nullopt;
  return cmp.reference_r;
}

namespace {

// The cautions of the closing message about what was read or compared only
// in part.
std::string reference_cautions(const RowsRead& calculated, const RowsRead& measured,
                               const RowsRead& temp, std::size_t pairs,
                               const EngineReport& reference) {
  std::string cautions;
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
  return cautions;
}

std::vector<double> rounded(std::vector<double> v) {
  round_trip(v);
  return v;
}

// What a search ends with besides the spectra.
struct SearchOutcome {
  double best = 0;  // the lowest R-factor
  bool any_trial = false, kept_any = false;
  long long skipped = 0;  // trials that gave values that are not finite
  bool halted = false;    // stopped by the caller, at:
  int halted_repetition = 0;
  double halted_energy = 0;
};

// The greedy search in memory: the best spectrum so far, as
// SelectiveXAFS_for_RIXS_Temp.DAT holds it, and the trial, as the engine
// would read it.
class Search {
 public:
  Search(const WorkSpace& ws, const RowsRead& temp, int n_comp, const SearchGrid& grid,
         const Comparison& cmp, const OptimWatch& watch)
      : watch_(watch), grid_(grid), cmp_(cmp), n_comp_(n_comp), base_(spectrum_of(temp)),
        trial_{rounded(base_.e), {}, {}},
        same_(n_comp == 1 && base_.y1 == base_.y2),
        engine_(ws, trial_.e, grid.omega, cmp.points, watch.matrix_limit, same_),
        base_y2_(rounded(base_.y2)),
        peak_(base_.e.size()) {
    out_.best = cmp.reference_r;
    if (engine_.matrix() && !same_) engine_.part(2, base_y2_, base_part2_);
  }

  // Every repetition over every energy and height, until done or stopped;
  // the read-only boxes are set after each repetition.
  SearchOutcome run(OptimState& state);

  // The best spectrum as it is written, and the last trial evaluated.
  Spectrum best() const { return Spectrum{trial_.e, base_.y1, base_.y2}; }
  const Spectrum& last_trial() const { return trial_; }

 private:
  static Spectrum spectrum_of(const RowsRead& temp) {
    const std::size_t n = temp.rows;
    Spectrum s;
    s.e.resize(n);
    s.y1.resize(n);
    s.y2.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
      s.e[i] = temp.at(i, 0);
      s.y1[i] = temp.at(i, 1);
      s.y2[i] = temp.at(i, 2);
    }
    return s;
  }

  bool stopped() const { return watch_.stop && watch_.stop->load(std::memory_order_relaxed); }
  void try_peak(double center, double height);
  void evaluate(bool new2);
  void skip();

  const OptimWatch& watch_;
  const SearchGrid& grid_;
  const Comparison& cmp_;
  const int n_comp_;
  Spectrum base_, trial_;
  const bool same_;  // both columns equal throughout
  const TrialEngine engine_;
  // Column 2 of the best spectrum as written, and its part of the totals.
  std::vector<double> base_y2_, base_part2_;
  std::vector<double> sum1_, sum2_, peak_, totals_;
  SearchOutcome out_;
};

SearchOutcome Search::run(OptimState& state) {
  for (int rep = 1; rep <= grid_.repetitions && !out_.halted; ++rep) {
    if (watch_.progress_range) watch_.progress_range(static_cast<int>(grid_.n_energies - 1));
    for (long long k = 0; k < grid_.n_energies && !out_.halted; ++k) {
      if (watch_.progress) watch_.progress(static_cast<int>(k));
      const double center = grid_.e_start + static_cast<double>(k) * grid_.e_step;
      for (long long j = 0; j < grid_.n_heights && !out_.halted; ++j) {
        const double height = (grid_.h_center - grid_.h_limit) + static_cast<double>(j) * grid_.h_step;
        try_peak(center, height);
        if (stopped()) {
          out_.halted = true;
          out_.halted_repetition = rep;
          out_.halted_energy = center;
        }
      }
    }
    state.components = std::to_string(n_comp_);
    state.r_factor = format_edit(out_.best, kRFactorDigits);
    if (watch_.boxes) watch_.boxes(state);
  }
  return out_;
}

// Adds the peak at `center` of `height` to the best spectrum and evaluates
// the trials it gives.
void Search::try_peak(double center, double height) {
  const std::size_t n = base_.e.size();
  for (std::size_t i = 0; i < n; ++i) peak_[i] = trial_peak(base_.e[i], center, height, grid_.width);
  trial_.y1.resize(n);
  trial_.y2.resize(n);
  for (std::size_t i = 0; i < n; ++i) trial_.y1[i] = through_g6(base_.y1[i] + peak_[i]);
  if (n_comp_ == 1) {
    if (same_) trial_.y2 = trial_.y1;
    else
      for (std::size_t i = 0; i < n; ++i) trial_.y2[i] = through_g6(base_.y2[i] + peak_[i]);
    evaluate(true);
  } else {
    // Component 1 alone, then both; the second trial adds to the rows
    // as they were before the first one was kept or not.
    const std::vector<double> y2_before = base_.y2;
    trial_.y2 = base_y2_;
    evaluate(false);
    if (!stopped()) {
      for (std::size_t i = 0; i < n; ++i) trial_.y2[i] = through_g6(y2_before[i] + peak_[i]);
      evaluate(true);
    }
  }
}

// A trial whose values are not finite numbers: counted, never kept.
void Search::skip() {
  ++out_.skipped;
  if (watch_.trial) watch_.trial(NAN, false);
}

// Evaluates the trial spectrum (trial_.y1, trial_.y2, already round-tripped)
// and keeps it when it beats the best; `new2` tells whether column 2 differs
// from the best spectrum's.
void Search::evaluate(bool new2) {
  out_.any_trial = true;
  if (!finite(trial_.y1) || !finite(trial_.y2)) {
    skip();
    return;
  }
  if (!engine_.matrix()) {
    engine_.direct(trial_, totals_);
  } else if (same_) {
    engine_.part(1, trial_.y1, totals_);
  } else {
    engine_.part(1, trial_.y1, sum1_);
    const std::vector<double>* p2 = &base_part2_;
    if (new2) {
      engine_.part(2, trial_.y2, sum2_);
      p2 = &sum2_;
    }
    totals_.resize(engine_.points());
    for (std::size_t k = 0; k < engine_.points(); ++k) totals_[k] = sum1_[k] + (*p2)[k];
  }
  round_trip(totals_);
  if (!finite(totals_)) {
    skip();
    return;
  }
  const double r = r_factor(totals_.data(), cmp_.measured.data(), cmp_.pairs, cmp_.measured_sum);
  if (watch_.trial) watch_.trial(r, r < out_.best);
  if (r < out_.best) {
    out_.best = r;
    base_.y1 = trial_.y1;
    base_.y2 = trial_.y2;
    out_.kept_any = true;
    if (new2) {
      base_y2_ = trial_.y2;
      if (engine_.matrix() && !same_) base_part2_ = sum2_;
    }
  }
}

// The best spectrum becomes the working copy, the rows beyond the capacity
// staying as they were; Calculated_RIXS.DAT holds the engine's result for
// the last trial evaluated.
void write_results(const WorkSpace& ws, const RowsRead& temp, const Search& search,
                   const SearchOutcome& out, double omega, WriteLog& log) {
  if (out.kept_any) {
    std::vector<double> rows = rows_of(search.best());
    std::size_t count = temp.rows;
    if (temp.capped) {
      const RowsRead whole = read_rows(ws.file(files::kSelectiveForRIXSTemp), 3, SIZE_MAX);
      rows.insert(rows.end(), whole.values.begin() + 3 * temp.rows,
                  whole.values.begin() + 3 * whole.rows);
      count = whole.rows;
    }
    log.rows(ws, files::kSelectiveForRIXSTemp, rows.data(), count, 3);
  }
  const Spectrum& last = search.last_trial();
  if (out.any_trial && finite(last.y1) && finite(last.y2))
    (void)CalculateRIXSFrom(ws, as_read(last), omega);
}

// The message a run ends with: how it ended, after the cautions gathered.
std::string closing_message(const OptimState& state, const SearchGrid& grid,
                            std::string cautions, const SearchOutcome& out) {
  if (out.skipped > 0)
    cautions += std::to_string(out.skipped) + " trials gave values that are not finite\r\n"
                "numbers and were not kept.\r\n";
  if (out.halted)
    return "CAUTION!!\r\n" + cautions + "The optimization was stopped at " +
           format_edit(out.halted_energy, kRangeDigits) + " eV (repetition " +
           std::to_string(out.halted_repetition) + " of " + std::to_string(grid.repetitions) +
           ").\r\nThe best spectrum found so far (R-factor = " +
           format_edit(out.best, kRFactorDigits) +
           ")\r\nwas kept in SelectiveXAFS_for_RIXS_Temp.DAT;\r\n"
           "SelectiveXAFS_for_RIXS.DAT was restored.";
  const std::string done = "Optimization was done: the calculated range is from\r\n" +
                           state.start_energy + " eV to " + state.end_energy +
                           "eV (number of reputations = " + grid.repetition_text + " ).";
  return cautions.empty() ? done : "CAUTION!!\r\n" + cautions + done;
}

}  // namespace

void OptimizeSelectiveXAFS(const WorkSpace& ws, OptimState& state, const OptimWatch& watch) {
  const RunStart start = start_run(ws);
  SearchGrid grid;
  if (!read_boxes(state, start.range, grid)) {
    state.message = kOptimInputError;
    return;
  }
  if (start.backup != WriteStatus::ok) {
    state.message = "ERROR!!\r\nSelectiveXAFS_for_RIXS_Saving.DAT could not be written in\r\n"
                    TALVERN_WORK_SPACE_NAME ". Nothing was optimized.";
    return;
  }
  const RowsRead temp = read_rows(ws.file(files::kSelectiveForRIXSTemp), 3,
                                  kOptimSelectiveCapacity);
  if (std::string refused = working_copy_refusal(temp); !refused.empty()) {
    state.message = std::move(refused);
    return;
  }
  // A measurement that sums to nothing gives no R-factor, and nothing but
  // the backup is written.
  if (!measured_sum_positive(ws, start.measured)) {
    state.message = kNoMeasuredSum;
    return;
  }

  // The reference R-factor, by the engine itself.
  const EngineReport reference = CalculateRIXS(ws, grid.omega);
  if (reference.status != EngineReport::Status::ok) {
    state.message = engine_message(reference, files::kCalculatedRIXS);
    return;
  }
  const RowsRead calculated = read_rows(ws.file(files::kCalculatedRIXS), 4, kOptimRIXSCapacity);
  Comparison cmp;
  if (!compare_reference(calculated, start.measured, cmp)) {
    state.message = kNoMeasuredSum;
    return;
  }
  const std::string cautions =
      reference_cautions(calculated, start.measured, temp, cmp.pairs, reference);

  if (watch.notice) watch.notice(kOptimInProgress);
  Search search(ws, temp, start.n_comp, grid, cmp, watch);
  const SearchOutcome out = search.run(state);

  WriteLog log;
  write_results(ws, temp, search, out, grid.omega, log);
  state.message = closing_message(state, grid, cautions, out);
  log.append_to(state.message);
}

}  // namespace talvern
