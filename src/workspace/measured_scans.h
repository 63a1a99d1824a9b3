#pragma once
// A measured spectrum as the loads read it: one file, or repeated scans of
// the same spectrum chosen together and merged into their mean.

#include <optional>
#include <string>
#include <vector>

#include "workspace/user_file.h"

namespace talvern {

// Energies all below this are taken for keV read as eV.
inline constexpr double kKeVLimit = 100.0;

// Scans merged onto the energies of the first.
struct MergedScans {
  std::vector<double> table;   // rows: energy, mean, standard deviation between scans
  std::vector<double> shifts;  // eV added to each scan's energies; the first's is 0
  std::size_t rows = 0;
  double mean_sd = 0.0;        // the standard deviation averaged over the rows
};

// The energy where the rows (energy, intensity; sorted by energy) rise most
// steeply: the largest slope of the three-point averaged slopes, refined by
// a parabola. Empty for fewer than 5 rows or a spectrum that nowhere rises.
std::optional<double> rise_energy(const std::vector<double>& pairs);

// Each scan (rows of energy, intensity, in any order) interpolated
// linearly onto the energies of the first, after `align` has shifted it so
// that its steepest rise meets the first's; only the energies every scan
// covers are kept. Empty when no energy is common to all, or a scan cannot
// be aligned (no rise).
std::optional<MergedScans> merge_scans(const std::vector<std::vector<double>>& scans, bool align);

// Asks for one file or several (`choose_several`) and reads each as
// read_user_file does, every file with the column choice of the first;
// several are merged, `rows` then holding the mean and `merged` the rows of
// Merged_Scans.DAT (else `merged` is empty). `after` gains what the reads
// say, the merge's line and a caution when every energy lies below
// kKeVLimit. `absorber` gets the edge the first file names when it is an
// XDI file ("Fe K"), else "".
bool read_measured_spectrum(const UserFiles& files, const UserFileRead& how, RowsRead& rows,
                            std::optional<OpenFailure>& failure, std::string& message,
                            std::string& after, std::vector<double>& merged,
                            std::string& absorber);

}  // namespace talvern
