#pragma once
// "RIXS Simulation": the working selective XAFS with its display region and
// mode, its modification by a Lorentzian and by a shift, the RIXS calculated
// from it at one excitation energy, and the comparison with a measured RIXS.

#include "gui/CommandDialog.h"
#include "gui/file_chooser.h"
#include "rixs/rixs_state.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

class CRIXSXAFS : public talvern::CommandDialog<talvern::RIXSState> {
 public:
  // `choose` runs the file dialogs of "Comp. Another RIXS", "Save RIXS" and
  // "Save Modified XAFS"; `report` shows a chosen file that cannot be opened.
  explicit CRIXSXAFS(talvern::WorkSpace ws,
                     talvern::FileChooser choose = talvern::qt_file_chooser(),
                     talvern::OpenFailureReporter report = talvern::qt_open_failure_reporter(),
                     QWidget* parent = nullptr);
};
