#pragma once
// "RIXS Simulation": the working selective XAFS with its display region and
// mode, its modification by a Lorentzian and by a shift, the RIXS calculated
// from it at one excitation energy, and the comparison with a measured RIXS.

#include <functional>

#include "gui/CommandDialog.h"
#include "gui/file_chooser.h"
#include "rixs/rixs_state.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

class QWidget;

class CRIXSXAFS : public talvern::CommandDialog<talvern::RIXSState> {
 public:
  // Opens a dialog modally over `parent` on the work-space `ws` and returns
  // when it is closed.
  using Opener = std::function<void(const talvern::WorkSpace& ws, QWidget* parent)>;
  // The dialogs of "Optimize", "Average" and "RIXS Plane...", handed in by
  // whoever opens this dialog (the first two live in refine/); a button
  // without its opener does nothing.
  struct Openers {
    Opener optimize, average, plane;
  };

  // `choose` runs the file dialogs of "Comp. Another RIXS", "Save RIXS" and
  // "Save Modified XAFS"; `report` shows a chosen file that cannot be opened.
  explicit CRIXSXAFS(talvern::WorkSpace ws, Openers openers,
                     talvern::FileChooser choose = talvern::qt_file_chooser(),
                     talvern::OpenFailureReporter report = talvern::qt_open_failure_reporter(),
                     QWidget* parent = nullptr);
};
