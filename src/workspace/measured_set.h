#pragma once
// The measured RIXS set: emission spectra at fixed excitation energies (one
// cut, several, or a whole plane) and HERFD spectra at fixed emission
// energies, kept together in RIXS_Plane_Exp.DAT as rows
//
//   Omega  w  I  K
//
// K = 0 for a point of an emission spectrum at fixed Omega, K = 1 for a
// point of a HERFD at fixed w. Rows are grouped by (K, fixed energy), the
// groups in ascending K then fixed energy, a blank line after each group;
// inside a group the points run in ascending varying energy.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace talvern {

// Most points the set holds; a load that would go beyond keeps the first.
constexpr std::size_t kMeasuredSetCapacity = 200000;
// Fixed energies closer than this, as the file holds them (six significant
// digits: 7115.601 is 7115.6), are the same group's.
constexpr double kSameFixedEnergy = 0.0001;

enum class MeasuredKind { emission = 0, herfd = 1 };

struct MeasuredPoint {
  double omega = 0, emission = 0, intensity = 0;
};

struct MeasuredGroup {
  MeasuredKind kind = MeasuredKind::emission;
  double energy = 0;  // the fixed energy: Omega of an emission spectrum, w of a HERFD
  std::vector<MeasuredPoint> points;

  // The energy that varies along the group: w, or Omega for a HERFD.
  double varying(const MeasuredPoint& p) const {
    return kind == MeasuredKind::herfd ? p.omega : p.emission;
  }
};

struct MeasuredSet {
  std::vector<MeasuredGroup> groups;

  std::size_t points() const;
  bool empty() const { return groups.empty(); }
  // The group of kind `kind` at fixed energy `energy` (within kSameFixedEnergy).
  const MeasuredGroup* find(MeasuredKind kind, double energy) const;
};

// What reading RIXS_Plane_Exp.DAT gave.
struct MeasuredSetRead {
  MeasuredSet set;
  bool opened = false;
  std::size_t bad_line = 0;  // 1-based line of the first row that is not Omega w I K (K 0 or 1)
  bool capped = false;       // points beyond the capacity were left out
};
MeasuredSetRead read_measured_set(const std::filesystem::path& file);
// The same for text already in memory.
MeasuredSetRead parse_measured_set(std::string_view text);

// The set of `n` rows (Omega, w, I, K) in memory, grouped and ordered as
// the file's reader does; from the first row whose K is neither 0 nor 1 on
// nothing is taken, and `bad_row` is its index (`n` when there is none).
MeasuredSet measured_set_of_rows(const double* rows4, std::size_t n, std::size_t& bad_row);

// The file's text (six significant digits, TAB); nothing when a value is
// not finite.
std::optional<std::string> measured_set_text(const MeasuredSet& set);

// Puts the groups in their order (K, then fixed energy) and the points of
// each in ascending varying energy; empty groups go.
void order_measured_set(MeasuredSet& set);

// The puts below take the values as the file will hold them (six
// significant digits).
// A measured plane, rows (Omega, w, I): replaces every emission spectrum of
// the set by those of the plane, one per excitation energy.
void put_plane(MeasuredSet& set, const double* rows3, std::size_t n);
// One emission spectrum at `omega`, rows (w, I): replaces the one at the
// same excitation energy, if any.
void put_cut(MeasuredSet& set, double omega, const double* rows2, std::size_t n);
// One HERFD at emission energy `w`, rows (Omega, I): replaces the one at the
// same emission energy, if any.
void put_herfd(MeasuredSet& set, double w, const double* rows2, std::size_t n);
// Removes the group; false when the set has none such.
bool remove_group(MeasuredSet& set, MeasuredKind kind, double energy);
// Keeps the first `capacity` points in the set's order; true when some went.
bool cap_measured_set(MeasuredSet& set, std::size_t capacity = kMeasuredSetCapacity);

// "emission spectrum at 7115.6 eV" / "HERFD at 7058 eV".
std::string group_name(const MeasuredGroup& group);
// One line per group: kind, fixed energy, points and the range of the
// varying energy, e.g. "exc   7115.6 eV   121 points   7020 ... 7080 eV".
std::string group_line(const MeasuredGroup& group);
// The word of a group for the command line ("exc:7115.6", "herfd:7058"),
// and the group such a word names; nothing when it names none.
std::string group_word(const MeasuredGroup& group);
std::optional<std::pair<MeasuredKind, double>> parse_group_word(std::string_view word);

}  // namespace talvern
