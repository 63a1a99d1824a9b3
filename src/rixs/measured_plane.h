#pragma once
// The measured set of the "RIXS Plane" dialog (RIXS_Plane_Exp.DAT): a
// measured plane, cuts at fixed excitation energies and HERFD spectra at
// fixed emission energies, and the model compared with all of it.

#include <optional>
#include <string>

#include "rixs/rixs_plane.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

namespace talvern {

// "Load Exp. Plane...": rows (Omega, w, I) of the user's file replace every
// measured emission spectrum of the set. Returns the chosen file when it
// cannot be opened; a cancel changes nothing.
std::optional<OpenFailure> LoadExpPlane(const WorkSpace& ws, const UserFiles& files,
                                        PlaneState& state);
// "Add Exp. Cut...": rows (w, I) measured at excitation energy
// `state.cut_exc` join the set, replacing a cut at the same energy.
std::optional<OpenFailure> AddExpCut(const WorkSpace& ws, const UserFiles& files,
                                     PlaneState& state);
// "Add Exp. HERFD...": rows (Omega, I) measured at emission energy
// `state.herfd_emission` join the set, replacing a HERFD at the same energy.
std::optional<OpenFailure> AddExpHERFD(const WorkSpace& ws, const UserFiles& files,
                                       PlaneState& state);

// The groups of the set, one line each, after a first line that counts them.
void ListExpSet(const WorkSpace& ws, PlaneState& state);
// Empties the set.
void ClearExpSet(const WorkSpace& ws, PlaneState& state);
// Removes the group a word of group_word() names ("exc:7115.6", "herfd:7058").
void RemoveExpGroup(const WorkSpace& ws, PlaneState& state, std::string_view word);

// "Compare": the model at every measured point (from
// SelectiveXAFS_for_RIXS.DAT and the stored factors) into the state and
// into RIXS_Plane_Compare.DAT, rows (Omega, w or Omega - w, measured,
// calculated, difference, K), a blank line after each group; the message
// gives each group's R-factor and the whole set's.
void ComparePlane(const WorkSpace& ws, PlaneState& state);

// The text of RIXS_Plane_Compare.DAT for a comparison; nothing when a value
// is not finite.
std::optional<std::string> compare_file_text(const SetComparison& c, bool transfer);

// "R-Factor at 7115.6 eV: X", "R-Factor of HERFD at 7058 eV: X" (a CAUTION
// when the group has none).
std::string group_r_factor_line(const ComparedGroup& group);
// Those of every group of `c`, then "R-Factor: X" for the whole set, each
// after "\r\n".
std::string r_factor_lines(const SetComparison& c);

}  // namespace talvern
