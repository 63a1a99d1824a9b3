#include "workspace/measured_scans.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "workspace/file_names.h"
#include "workspace/number_text.h"

namespace talvern {

namespace {

constexpr double kEnergyTolerance = 1e-6;  // eV

struct Pair {
  double e, y;
};

// The rows sorted by energy; of equal energies the first is kept.
std::vector<Pair> by_energy(const std::vector<double>& pairs) {
  std::vector<Pair> p(pairs.size() / 2);
  for (std::size_t i = 0; i < p.size(); ++i) p[i] = {pairs[2 * i], pairs[2 * i + 1]};
  std::stable_sort(p.begin(), p.end(), [](const Pair& a, const Pair& b) { return a.e < b.e; });
  p.erase(std::unique(p.begin(), p.end(), [](const Pair& a, const Pair& b) { return a.e == b.e; }),
          p.end());
  return p;
}

// The scan's intensity at energy `e` (inside its range), linear between
// its two neighbours.
double interpolate(const std::vector<Pair>& p, double e) {
  const auto hi = std::lower_bound(p.begin(), p.end(), e, [](const Pair& a, double x) { return a.e < x; });
  if (hi == p.begin()) return hi->y;
  if (hi == p.end()) return p.back().y;
  const auto lo = hi - 1;
  const double t = (e - lo->e) / (hi->e - lo->e);
  return lo->y + t * (hi->y - lo->y);
}

// The rows of a read file as pairs.
std::vector<double> pairs_of(const RowsRead& rows) {
  return {rows.values.begin(), rows.values.begin() + static_cast<std::ptrdiff_t>(2 * rows.rows)};
}

std::string merge_line(const std::vector<std::string>& names, const MergedScans& m, bool align) {
  std::string text = "\r\nMerged " + std::to_string(names.size()) + " scans: ";
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += (i ? ", " : "") + names[i];
    if (align && i > 0) text += " (shifted by " + format_g6(m.shifts[i]) + " eV)";
  }
  text += ";\r\ncommon range " + format_g6(m.table[0]) + " to " + format_g6(m.table[3 * m.rows - 3]) +
          " eV (" + std::to_string(m.rows) + " rows); mean standard deviation\r\nbetween scans " +
          format_g6(m.mean_sd) + ".";
  return text;
}

bool below_kev_limit(const RowsRead& rows) {
  for (std::size_t i = 0; i < rows.rows; ++i)
    if (!(std::fabs(rows.at(i, 0)) < kKeVLimit)) return false;
  return rows.rows > 0;
}

}  // namespace

std::optional<double> rise_energy(const std::vector<double>& pairs) {
  const std::vector<Pair> p = by_energy(pairs);
  if (p.size() < 5) return std::nullopt;
  // Slopes between neighbours at their midpoints, each averaged with the
  // slopes on either side against point-to-point noise.
  const std::size_t n = p.size() - 1;
  std::vector<double> mid(n), slope(n), smooth(n);
  for (std::size_t j = 0; j < n; ++j) {
    mid[j] = 0.5 * (p[j].e + p[j + 1].e);
    slope[j] = (p[j + 1].y - p[j].y) / (p[j + 1].e - p[j].e);
  }
  std::size_t best = 1;
  for (std::size_t j = 1; j + 1 < n; ++j) {
    smooth[j] = (slope[j - 1] + slope[j] + slope[j + 1]) / 3.0;
    if (smooth[j] > smooth[best]) best = j;
  }
  if (!(smooth[best] > 0.0) || !std::isfinite(smooth[best])) return std::nullopt;
  if (best == 1 || best + 2 == n) return mid[best];
  // The top of the parabola through the largest and its two neighbours.
  const double x0 = mid[best - 1], x1 = mid[best], x2 = mid[best + 1];
  const double y0 = smooth[best - 1], y1 = smooth[best], y2 = smooth[best + 1];
  const double d01 = (y1 - y0) / (x1 - x0), d12 = (y2 - y1) / (x2 - x1);
  const double curvature = (d12 - d01) / (x2 - x0);
  if (!(curvature < 0.0)) return x1;
  const double top = 0.5 * (x0 + x1) - d01 / (2.0 * curvature);
  return std::clamp(top, x0, x2);
}

std::optional<MergedScans> merge_scans(const std::vector<std::vector<double>>& scans, bool align) {
  std::vector<std::vector<Pair>> sorted;
  for (const auto& s : scans) sorted.push_back(by_energy(s));
  if (sorted.empty() || sorted[0].empty()) return std::nullopt;
  MergedScans m;
  m.shifts.assign(scans.size(), 0.0);
  if (align) {
    const std::optional<double> first = rise_energy(scans[0]);
    if (!first) return std::nullopt;
    for (std::size_t i = 1; i < scans.size(); ++i) {
      const std::optional<double> rise = rise_energy(scans[i]);
      if (!rise) return std::nullopt;
      m.shifts[i] = *first - *rise;
    }
  }
  double lo = -INFINITY, hi = INFINITY;
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    if (sorted[i].empty()) return std::nullopt;
    lo = std::max(lo, sorted[i].front().e + m.shifts[i]);
    hi = std::min(hi, sorted[i].back().e + m.shifts[i]);
  }
  // Energies are written to six digits: a scan's end within a micro-eV
  // of the first's still covers it.
  lo -= kEnergyTolerance;
  hi += kEnergyTolerance;
  const double n = static_cast<double>(scans.size());
  double sd_sum = 0.0;
  for (const Pair& at : sorted[0]) {
    if (at.e < lo || at.e > hi) continue;
    double sum = 0.0, sum2 = 0.0;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
      const double y = i == 0 ? at.y : interpolate(sorted[i], at.e - m.shifts[i]);
      sum += y;
      sum2 += y * y;
    }
    const double mean = sum / n;
    const double sd = n > 1 ? std::sqrt(std::max(0.0, (sum2 - n * mean * mean) / (n - 1))) : 0.0;
    m.table.insert(m.table.end(), {at.e, mean, sd});
    sd_sum += sd;
    ++m.rows;
  }
  if (m.rows == 0) return std::nullopt;
  m.mean_sd = sd_sum / static_cast<double>(m.rows);
  return m;
}

bool read_measured_spectrum(const UserFiles& files, const UserFileRead& how, RowsRead& rows,
                            std::optional<OpenFailure>& failure, std::string& message,
                            std::string& after, std::vector<double>& merged,
                            std::string& absorber) {
  ChosenFiles chosen;
  if (files.choose_several)
    chosen = files.choose_several(how.request);
  else if (const auto file = files.choose ? files.choose(how.request) : std::nullopt)
    chosen.files.push_back(*file);
  if (chosen.files.empty()) return false;
  merged.clear();
  after.clear();
  absorber.clear();

  // Every file takes the column choice the first was given.
  UserFiles each = files;
  const auto choice = std::make_shared<std::optional<ColumnChoice>>();
  if (files.import_columns)
    each.import_columns = [choice, ask = files.import_columns](const ColumnRequest& request) {
      if (!*choice) *choice = ask(request);
      return *choice;
    };
  std::vector<std::vector<double>> scans;
  std::vector<std::string> names;
  std::optional<ProjectGroup> group;  // the one scan, when a project group
  bool capped = false;
  for (const std::filesystem::path& file : chosen.files) {
    if (is_gzip_file(file.string())) {  // a project file: each group chosen is a scan
      std::string bytes;
      if (!read_text(file, bytes)) {
        failure = read_failure(file);
        return false;
      }
      std::vector<ProjectGroup> groups;
      if (!choose_project_groups(files, how.request.title, file, bytes, groups, message,
                                 &chosen.align))
        return false;
      for (ProjectGroup& g : groups) {
        const RowsRead r = group_rows(g, how.capacity);
        capped |= r.capped;
        scans.push_back(pairs_of(r));
        names.push_back(file.filename().string() + " [" + g.label + "]");
        group = std::move(g);
      }
      continue;
    }
    std::string said, named;
    if (!read_user_file(each, how, file, rows, failure, message, said, &named)) {
      if (chosen.files.size() > 1 && message.starts_with("ERROR!!\r\n"))
        message.insert(9, file.string() + ":\r\n");
      return false;
    }
    if (scans.empty()) absorber = named;
    if (*choice) each.import_every_file = true;
    capped |= rows.capped;
    if (after.find(said) == std::string::npos) after += said;
    scans.push_back(pairs_of(rows));
    names.push_back(file.filename().string());
  }
  if (scans.size() == 1 && group) {
    rows = group_rows(*group, how.capacity);
    after += "\r\nProject group: \"" + group->label + "\"";
  }
  if (scans.size() > 1) {
    const std::optional<MergedScans> m = merge_scans(scans, chosen.align);
    if (!m || !all_finite(m->table.data(), m->table.size())) {
      message = std::string("ERROR!!\r\nThe scans have no energy in common") +
                (chosen.align ? ", or one of them has no rise\r\nto align on" : "") +
                ". Nothing was introduced into \r\n" TALVERN_WORK_SPACE_NAME ".";
      return false;
    }
    merged = m->table;
    rows.capped = capped;
    rows.rows = m->rows;
    rows.values.resize(2 * m->rows);
    for (std::size_t i = 0; i < m->rows; ++i) {
      rows.values[2 * i] = m->table[3 * i];
      rows.values[2 * i + 1] = m->table[3 * i + 1];
    }
    after += merge_line(names, *m, chosen.align);
  }
  if (below_kev_limit(rows))
    after += "\r\nCAUTION!! Every energy lies below " + format_g6(kKeVLimit) +
             " eV: for a file in keV, load it\r\nagain with the keV choice of the column import "
             "(talvern-cli: --kev).";
  return true;
}

}  // namespace talvern
