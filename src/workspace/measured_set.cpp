#include "workspace/measured_set.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

#include "workspace/number_text.h"
#include "workspace/row_io.h"

namespace talvern {

namespace {

// The shortest text that reads back as `v`.
std::string exact_text(double v) {
  char buf[32];
  for (int digits = 6; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    if (strtod_c(buf, nullptr) == v) break;
  }
  return buf;
}

// Compared as the file holds them: two energies it writes alike are one
// group, or a set that holds both would read back as one.
bool same_energy(double a, double b) {
  return std::fabs(through_g6(a) - through_g6(b)) < kSameFixedEnergy;
}

// A point as the file gives it back, so that the set in memory is the set
// read back.
MeasuredPoint stored_point(double omega, double w, double intensity) {
  return {through_g6(omega), through_g6(w), through_g6(intensity)};
}

// The group of (kind, energy), made at the end when there is none; the
// last group is tried first, as rows of one group come together.
MeasuredGroup& group_for(MeasuredSet& set, MeasuredKind kind, double energy) {
  if (!set.groups.empty() && set.groups.back().kind == kind &&
      same_energy(set.groups.back().energy, energy))
    return set.groups.back();
  for (MeasuredGroup& g : set.groups)
    if (g.kind == kind && same_energy(g.energy, energy)) return g;
  set.groups.push_back({kind, energy, {}});
  return set.groups.back();
}

void erase_groups(MeasuredSet& set, MeasuredKind kind, std::optional<double> energy) {
  std::erase_if(set.groups, [&](const MeasuredGroup& g) {
    return g.kind == kind && (!energy || same_energy(g.energy, *energy));
  });
}

}  // namespace

std::size_t MeasuredSet::points() const {
  std::size_t n = 0;
  for (const MeasuredGroup& g : groups) n += g.points.size();
  return n;
}

const MeasuredGroup* MeasuredSet::find(MeasuredKind kind, double energy) const {
  for (const MeasuredGroup& g : groups)
    if (g.kind == kind && same_energy(g.energy, energy)) return &g;
  return nullptr;
}

MeasuredSetRead parse_measured_set(std::string_view text) {
  MeasuredSetRead r;
  r.opened = true;
  const RowsRead rows = parse_rows(text, 4, kMeasuredSetCapacity);
  r.capped = rows.capped;
  if (rows.bad_token) r.bad_line = rows.bad_line;
  std::size_t bad_row = rows.rows;
  r.set = measured_set_of_rows(rows.values.data(), rows.rows, bad_row);
  if (bad_row < rows.rows) {
    // The line of the row: count its line breaks.
    NumberScanner s(text);
    double skip;
    for (std::size_t v = 0; v < 4 * bad_row + 3; ++v) s.next(skip);
    r.bad_line = s.line();
  }
  return r;
}

MeasuredSet measured_set_of_rows(const double* rows4, std::size_t n, std::size_t& bad_row) {
  MeasuredSet set;
  bad_row = n;
  for (std::size_t i = 0; i < n; ++i) {
    const double omega = rows4[4 * i], w = rows4[4 * i + 1], k = rows4[4 * i + 3];
    if (k != 0 && k != 1) {
      bad_row = i;
      break;
    }
    const auto kind = k == 1 ? MeasuredKind::herfd : MeasuredKind::emission;
    group_for(set, kind, kind == MeasuredKind::herfd ? w : omega)
        .points.push_back({omega, w, rows4[4 * i + 2]});
  }
  order_measured_set(set);
  return set;
}

MeasuredSetRead read_measured_set(const std::filesystem::path& file) {
  std::string text;
  if (!read_text(file, text)) return {};
  return parse_measured_set(text);
}

std::optional<std::string> measured_set_text(const MeasuredSet& set) {
  std::string out;
  out.reserve(set.points() * 40);
  for (const MeasuredGroup& g : set.groups) {
    const double k = g.kind == MeasuredKind::herfd ? 1 : 0;
    for (const MeasuredPoint& p : g.points) {
      // Six digits may round the largest numbers beyond what a double holds.
      const double row[4] = {p.omega, p.emission, p.intensity, k};
      const double stored[3] = {through_g6(p.omega), through_g6(p.emission), through_g6(p.intensity)};
      if (!all_finite(stored, 3)) return std::nullopt;
      out += format_rows(row, 1, 4);
    }
    out += '\n';
  }
  return out;
}

void order_measured_set(MeasuredSet& set) {
  std::erase_if(set.groups, [](const MeasuredGroup& g) { return g.points.empty(); });
  std::stable_sort(set.groups.begin(), set.groups.end(),
                   [](const MeasuredGroup& a, const MeasuredGroup& b) {
                     if (a.kind != b.kind) return a.kind < b.kind;
                     return a.energy < b.energy;
                   });
  for (MeasuredGroup& g : set.groups)
    std::stable_sort(g.points.begin(), g.points.end(),
                     [&g](const MeasuredPoint& a, const MeasuredPoint& b) {
                       return g.varying(a) < g.varying(b);
                     });
}

void put_plane(MeasuredSet& set, const double* rows3, std::size_t n) {
  erase_groups(set, MeasuredKind::emission, std::nullopt);
  for (std::size_t i = 0; i < n; ++i) {
    const MeasuredPoint p = stored_point(rows3[3 * i], rows3[3 * i + 1], rows3[3 * i + 2]);
    group_for(set, MeasuredKind::emission, p.omega).points.push_back(p);
  }
  order_measured_set(set);
}

void put_cut(MeasuredSet& set, double omega, const double* rows2, std::size_t n) {
  erase_groups(set, MeasuredKind::emission, omega);
  MeasuredGroup g{MeasuredKind::emission, through_g6(omega), {}};
  for (std::size_t i = 0; i < n; ++i)
    g.points.push_back(stored_point(omega, rows2[2 * i], rows2[2 * i + 1]));
  set.groups.push_back(std::move(g));
  order_measured_set(set);
}

void put_herfd(MeasuredSet& set, double w, const double* rows2, std::size_t n) {
  erase_groups(set, MeasuredKind::herfd, w);
  MeasuredGroup g{MeasuredKind::herfd, through_g6(w), {}};
  for (std::size_t i = 0; i < n; ++i)
    g.points.push_back(stored_point(rows2[2 * i], w, rows2[2 * i + 1]));
  set.groups.push_back(std::move(g));
  order_measured_set(set);
}

bool remove_group(MeasuredSet& set, MeasuredKind kind, double energy) {
  const std::size_t before = set.groups.size();
  erase_groups(set, kind, energy);
  return set.groups.size() != before;
}

bool cap_measured_set(MeasuredSet& set, std::size_t capacity) {
  std::size_t kept = 0;
  bool cut = false;
  for (MeasuredGroup& g : set.groups) {
    const std::size_t room = capacity - kept;
    if (g.points.size() > room) {
      g.points.resize(room);
      cut = true;
    }
    kept += g.points.size();
  }
  if (cut) order_measured_set(set);
  return cut;
}

std::string group_name(const MeasuredGroup& g) {
  return (g.kind == MeasuredKind::herfd ? "HERFD at " : "emission spectrum at ") +
         format_g6(g.energy) + " eV";
}

std::string group_line(const MeasuredGroup& g) {
  std::string line = g.kind == MeasuredKind::herfd ? "herfd " : "exc   ";
  line += format_g6(g.energy) + " eV   " + std::to_string(g.points.size()) + " points";
  if (!g.points.empty()) {
    const auto [lo, hi] = std::minmax_element(
        g.points.begin(), g.points.end(),
        [&g](const MeasuredPoint& a, const MeasuredPoint& b) { return g.varying(a) < g.varying(b); });
    line += "   " + format_g6(g.varying(*lo)) + " ... " + format_g6(g.varying(*hi)) + " eV";
  }
  return line;
}

std::string group_word(const MeasuredGroup& g) {
  return (g.kind == MeasuredKind::herfd ? "herfd:" : "exc:") + exact_text(g.energy);
}

std::optional<std::pair<MeasuredKind, double>> parse_group_word(std::string_view word) {
  MeasuredKind kind;
  if (word.starts_with("exc:")) kind = MeasuredKind::emission;
  else if (word.starts_with("herfd:")) kind = MeasuredKind::herfd;
  else return std::nullopt;
  const std::string number(word.substr(word.find(':') + 1));
  char* end = nullptr;
  const double e = strtod_c(number.c_str(), &end);
  if (number.empty() || *end != '\0' || !std::isfinite(e)) return std::nullopt;
  return std::make_pair(kind, e);
}

}  // namespace talvern
