#pragma once
// The work-space files, by their fixed names.

#include <cstddef>
#include <iterator>
#include <string_view>

namespace talvern::files {

inline constexpr const char* kParameters = "RIXS_Calculation_Parameters.DAT";
inline constexpr const char* kLorentz = "RIXS_Calculation_Lorentz.DAT";
inline constexpr const char* kLorentzTemp = "RIXS_Calculation_Lorentz_Temp.DAT";
inline constexpr const char* kEmissionExcEnergy = "Emission_Exc_Energy.DAT";
inline constexpr const char* kExpNonResonantEmission = "Exp_Non_Resonant_Emission.DAT";
inline constexpr const char* kEmissionMinMax = "Emission_MinMax.DAT";
inline constexpr const char* kNonResonantEmission = "Non_Resonant_Emission.DAT";
inline constexpr const char* kNonResonantEmissionForRFactor = "Non_Resonant_Emission_for_RFactor.DAT";
inline constexpr const char* kRFactorXRF = "R_Factor_XRF.DAT";
inline constexpr const char* kRIXSExp = "RIXSEXP.DAT";
inline constexpr const char* kExpMinMax = "EXP_MinMax.DAT";
inline constexpr const char* kConventionalXAFS = "Conventional_XAFS.DAT";
// The edge an XDI file loaded as the conventional XAFS names ("Fe K"); empty
// for any other file. "Load XAFS(for Abs. Correction)" proposes it.
inline constexpr const char* kConventionalXAFSAbsorber = "Conventional_XAFS_Absorber.DAT";
inline constexpr const char* kConvXAFSMinMaxOrg = "ConvXAFS_MinMax_Org.DAT";
inline constexpr const char* kConvXAFSMinMax = "ConvXAFS_MinMax.DAT";
inline constexpr const char* kConvXAFSNormSpectrum = "ConvXAFS_Norm_Spectrum.DAT";
inline constexpr const char* kSelectiveReadingOrg21 = "SelectiveXAFS_for_Reading_Org_2_1.DAT";
inline constexpr const char* kSelectiveReadingOrgTmp = "SelectiveXAFS_for_Reading_Org_Tmp.DAT";
inline constexpr const char* kSelectiveReadingOrg = "SelectiveXAFS_for_Reading_Org.DAT";
inline constexpr const char* kSelectiveReading = "SelectiveXAFS_for_Reading.DAT";
inline constexpr const char* kSelectiveForRIXSTemp = "SelectiveXAFS_for_RIXS_Temp.DAT";
inline constexpr const char* kSelectiveForRIXSTemp2 = "SelectiveXAFS_for_RIXS_Temp2.DAT";
inline constexpr const char* kSelectiveForRIXS = "SelectiveXAFS_for_RIXS.DAT";
inline constexpr const char* kSelectiveForRIXSSaving = "SelectiveXAFS_for_RIXS_Saving.DAT";
inline constexpr const char* kXAFSMinMax = "XAFS_MinMax.DAT";
inline constexpr const char* kTempXAFSMinMax = "TempXAFS_MinMax.DAT";
inline constexpr const char* kXAFSLorentzTemp = "XAFSLorentz_Temp.DAT";
inline constexpr const char* kCalculatedRIXS = "Calculated_RIXS.DAT";
inline constexpr const char* kRIXSPlane = "RIXS_Plane.DAT";
// The measured set (workspace/measured_set.h) and the model at its points.
inline constexpr const char* kPlaneExp = "RIXS_Plane_Exp.DAT";
inline constexpr const char* kPlaneCompare = "RIXS_Plane_Compare.DAT";
// The free-form inversion of "Global Fit" (rixs/free_fit.h): rows E, y1, y2, sigma1, sigma2.
inline constexpr const char* kFreeFit = "SelectiveXAFS_Free_Fit.DAT";
// Repeated scans merged by a load (workspace/measured_scans.h): rows E, mean, standard deviation.
inline constexpr const char* kMergedScans = "Merged_Scans.DAT";
// Every command run on the work-space, as talvern-cli lines (command/history.h).
inline constexpr const char* kHistory = "TALVERN_History.sh";

inline constexpr const char* kAll[] = {
    kParameters, kLorentz, kLorentzTemp, kEmissionExcEnergy, kExpNonResonantEmission,
    kEmissionMinMax, kNonResonantEmission, kNonResonantEmissionForRFactor, kRFactorXRF,
    kRIXSExp, kExpMinMax, kConventionalXAFS, kConventionalXAFSAbsorber, kConvXAFSMinMaxOrg,
    kConvXAFSMinMax, kConvXAFSNormSpectrum, kSelectiveReadingOrg21, kSelectiveReadingOrgTmp,
    kSelectiveReadingOrg, kSelectiveReading, kSelectiveForRIXSTemp, kSelectiveForRIXSTemp2,
    kSelectiveForRIXS, kSelectiveForRIXSSaving, kXAFSMinMax, kTempXAFSMinMax,
    kXAFSLorentzTemp, kCalculatedRIXS, kRIXSPlane, kPlaneExp, kPlaneCompare, kFreeFit, kMergedScans, kHistory};

// Position of `name` in the catalogue above; its size when it is none of them.
constexpr std::size_t catalogue_index(std::string_view name) {
  std::size_t i = 0;
  while (i < std::size(kAll) && name != kAll[i]) ++i;
  return i;
}

// True when `name` is a work-space file of the catalogue.
constexpr bool in_catalogue(std::string_view name) {
  return catalogue_index(name) < std::size(kAll);
}

// The lock file of the work-space (see workspace/lock.h); hidden, and no
// work-space file of the catalogue above.
inline constexpr const char* kLock = ".talvern.lock";

// The journal of several files replaced as one (workspace/journal.h), and
// the start of the names of its staging folders (".talvern-staging.XXXXXX");
// hidden, and no work-space files of the catalogue.
inline constexpr const char* kJournal = ".talvern-journal";
inline constexpr std::string_view kStagingPrefix = ".talvern-staging.";

// How the work-space is named in every message; a literal, so that message
// texts can be joined with it as they are compiled.
#define TALVERN_WORK_SPACE_NAME "C:\\TALVERN_WORK_SPACE"
inline constexpr const char* kDisplayName = TALVERN_WORK_SPACE_NAME;

}  // namespace talvern::files
