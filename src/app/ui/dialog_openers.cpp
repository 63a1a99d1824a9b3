#include "app/ui/dialog_openers.h"

#include "refine/ui/CAverage.h"
#include "refine/refine_sheets.h"
#include "refine/ui/COptim.h"
#include "rixs/fit_sheet.h"
#include "rixs/plane_sheet.h"
#include "rixs/ui/CGlobalFit.h"
#include "rixs/ui/CRIXSPlane.h"

namespace talvern {
namespace {

// Opens a dialog of class D modally; it is made anew at every opening.
template <class D>
CRIXSXAFS::Opener modal() {
  return [](const WorkSpace& ws, QWidget* parent) {
    D dialog(ws, parent);
    dialog.exec();
  };
}

}  // namespace

CRIXSXAFS::Openers rixs_simulation_openers() {
  return {.optimize =
              [](const WorkSpace& ws, const RIXSState& shown, QWidget* parent) {
                COptim dialog(ws, parent, qt_user_files(),
                              OpenOptimizationFrom(ws, shown.exc_energy));
                dialog.exec();
              },
          .average = modal<CAverage>(),
          .plane = modal<CRIXSPlane>(),
          .fit = modal<CGlobalFit>(),
          .touches = {.optimize = optim_sheet().touches(),
                      .average = average_sheet().touches(),
                      .plane = plane_sheet().touches(),
                      .fit = global_fit_sheet().touches()}};
}

}  // namespace talvern
