#pragma once
// The calculation parameters and the Lorentzian final-state function, as
// the work-space stores them.

#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "workspace/row_io.h"
#include "workspace/workspace.h"

namespace talvern {

// The seven values of the parameter file, in file order.
struct CalcParameters {
  static constexpr std::size_t kCount = 7;
  double gamma = 1.25;        // lifetime broadening of the core hole (FWHM, eV)
  double core_energy = 7120;  // E0 (eV)
  double emission_start = 7020;
  double emission_end = 7065;
  double emission_step = 0.1;
  double abs_correction = 1;  // kappa
  double scale = 7.9e-09;

  std::array<double, kCount> to_array() const {
    return {gamma, core_energy, emission_start, emission_end, emission_step, abs_correction, scale};
  }
  void from_array(const std::array<double, kCount>& a) {
    gamma = a[0]; core_energy = a[1]; emission_start = a[2]; emission_end = a[3];
    emission_step = a[4]; abs_correction = a[5]; scale = a[6];
  }
};

// The two-component flag and the four Lorentzians A-D, in file order:
// flag, widths A-D, peak positions A-D, amplitudes A-D.
struct LorentzSet {
  static constexpr std::size_t kCount = 13;  // values in the file, flag included
  long two_component = 1;
  std::array<double, 4> width{8.12, 5.78, 1.9, 1.07};
  std::array<double, 4> position{7045, 7056, 7058.8, 7060.1};
  std::array<double, 4> amplitude{0.75, 0.305, 0.15, 0.105};
};

// Reads the parameter file. Returns how many of the seven values were read;
// values not read keep what `out` held.
std::size_t read_parameters(const std::filesystem::path& file, CalcParameters& out);

// Writes all seven values as one row.
WriteStatus write_parameters(const std::filesystem::path& file, const CalcParameters& p);

// Outcome of update_parameters.
struct [[nodiscard]] ParameterUpdate {
  WriteStatus write = WriteStatus::ok;
  std::size_t values_found = 0;  // < 7: the rest were taken from the placeholders
};

inline void pass_over(const ParameterUpdate& u) { pass_over(u.write); }

// The one way to change the parameter file: reads all seven values, lets
// `change` replace its own, writes all seven back in the same order.
ParameterUpdate update_parameters(const WorkSpace& ws,
                                  const std::function<void(CalcParameters&)>& change);

// Reads a Lorentzian file (the flag as an integer, then twelve values).
// Returns how many of the thirteen values were read.
std::size_t read_lorentz(const std::filesystem::path& file, LorentzSet& out);
// The same for the text of such a file, already read.
std::size_t parse_lorentz(std::string_view text, LorentzSet& out);

// True when `text` holds exactly one whole setting: the flag 0 or 1, then
// twelve finite numbers, and nothing else.
bool is_whole_lorentz_setting(std::string_view text);

WriteStatus write_lorentz(const std::filesystem::path& file, const LorentzSet& set);

// The row text of a Lorentzian file.
std::string format_lorentz(const LorentzSet& set);

}  // namespace talvern
