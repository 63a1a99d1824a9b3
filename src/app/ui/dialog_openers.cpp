#include "app/ui/dialog_openers.h"

#include "refine/ui/CAverage.h"
#include "refine/ui/COptim.h"
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
  return {.optimize = modal<COptim>(),
          .average = modal<CAverage>(),
          .plane = modal<CRIXSPlane>(),
          .fit = modal<CGlobalFit>()};
}

}  // namespace talvern
