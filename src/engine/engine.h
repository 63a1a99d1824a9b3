#pragma once
// The RIXS calculation engine.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "workspace/parameters.h"
#include "workspace/row_io.h"
#include "workspace/workspace.h"

namespace talvern {

constexpr std::size_t kConvXAFSCapacity = 2000;    // conventional XAFS rows

// What a run of the engine (or of the emission model) found.
struct EngineReport {
  enum class Status {
    ok,
    parameters_missing,  // parameter file missing or holding fewer than seven values
    lorentz_missing,     // Lorentzian file missing or short
    too_few_rows,        // fewer than two selective XAFS rows: no step can be formed
    not_finite,          // the sum gave a value that is not a finite number
    cannot_write,        // the output file could not be written
  };
  Status status = Status::ok;
  std::size_t rows = 0;           // rows written
  bool grid_capped = false;       // the emission grid was cut at its capacity
  bool selective_capped = false;  // selective XAFS rows beyond the capacity were left out
  bool conv_capped = false;       // conventional XAFS rows beyond the capacity were left out
};

// Computes the RIXS spectrum at excitation energy `omega` from the selective
// XAFS, the normalised conventional XAFS, the parameters and the Lorentzians
// in the work-space, and replaces Calculated_RIXS.DAT with it. On a failure
// the output file is emptied (if it can be written at all); it never holds a
// partial or undefined result.
EngineReport CalculateRIXS(const WorkSpace& ws, double omega);

// The same for selective XAFS rows held in memory, as if they stood in
// SelectiveXAFS_for_RIXS.DAT; that file is neither read nor changed.
EngineReport CalculateRIXSFrom(const WorkSpace& ws, const RowsRead& sel, double omega);

// The engine's inputs besides the selective XAFS.
struct EngineInputs {
  RowsRead conv;  // normalised conventional XAFS, rows of two values
  CalcParameters par;
  LorentzSet lor;
};

// Reads the inputs from the work-space and checks them, with the selective
// XAFS rows `sel`, in the engine's order: parameters, Lorentzians, at least
// two rows. The report's status tells the first that fails (ok when none),
// its capped flags which rows were left out.
EngineReport read_engine_inputs(const WorkSpace& ws, const RowsRead& sel, EngineInputs& in);

// Absorption of the conventional XAFS at `omega`: the straight line through
// the first pair j, j+1 (j <= m-2) with omega - e_j < 0.5; 1.0 when none.
double absorption_at(const double* rows2, std::size_t m, double omega);

struct Intermediate;

// The RIXS spectrum of the given inputs as rows (emission energy, total,
// component 1, component 2), row-major, without touching any file.
// `sel` must hold at least two rows.
std::vector<double> rixs_rows(const RowsRead& sel, const RowsRead& conv,
                              const CalcParameters& par, const LorentzSet& lor, double omega,
                              bool& grid_capped);

// The same at the `n` emission energies `emission` (any, in any order)
// instead of the grid of `par`.
std::vector<double> rixs_rows_at(const RowsRead& sel, const RowsRead& conv,
                                 const CalcParameters& par, const LorentzSet& lor, double omega,
                                 const double* emission, std::size_t n);

// Evaluates the sum over `in` on the emission grid of `par` and combines it
// into rows (emission energy, total, component 1, component 2) with the
// two-component flag, the scale factor, `factor` (h/3 times the absorption
// correction) and w / omega.
std::vector<double> spectrum_rows(const Intermediate& in, const LorentzSet& lor,
                                  const CalcParameters& par, double factor, double omega,
                                  bool& grid_capped);

// The same at the `n` emission energies `grid`.
std::vector<double> spectrum_rows_at(const Intermediate& in, const LorentzSet& lor,
                                     const CalcParameters& par, double factor, double omega,
                                     const double* grid, std::size_t n);

// Writes spectrum rows to `output`; on a value that is not finite the file
// is emptied instead and the report says so.
EngineReport write_spectrum(const std::filesystem::path& output, const std::vector<double>& rows,
                            EngineReport report);

// Empties `output` and returns `report` with status `s` and no rows.
EngineReport fail_spectrum(const std::filesystem::path& output, EngineReport report,
                           EngineReport::Status s);

// Why a run of status `s` failed, without the "ERROR!!" heading and what
// became of the output ("The calculation gave undefined values ...", lines
// ended by "\r\n" but the last); "" for ok and cannot_write.
std::string engine_failure_reason(EngineReport::Status s);

// The text a caller shows for a report ("" when there is nothing to say):
// "ERROR!!" for a failure, "CAUTION!!" for a result computed from cut data.
std::string engine_message(const EngineReport& report, const char* output_name);

// 1 + kappa mu(omega) at or below this: the absorption correction
// 1 / (1 + kappa mu) explodes or changes sign.
constexpr double kLowestAbsorptionDenominator = 0.1;

// Caution lines (each ended by "\r\n", no heading) when 1 + kappa mu(omega),
// with kappa of the parameter file and mu of the normalised XAFS, is at or
// below kLowestAbsorptionDenominator; "" otherwise or when either file is
// missing.
std::string absorption_correction_caution(const WorkSpace& ws, double omega);

}  // namespace talvern
