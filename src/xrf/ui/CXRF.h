#pragma once
// "Setting by XRF": the measured XRF spectrum, four trial Lorentzians A-D,
// their model fitted to the measurement with its R-factor, and the accepted
// Lorentzians as the final-state function of the RIXS calculation.

#include <array>

#include "gui/CommandDialog.h"
#include "gui/file_chooser.h"
#include "workspace/workspace.h"
#include "xrf/xrf_setting.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

namespace talvern {

class CXRF : public CommandDialog<XRFState> {
 public:
  explicit CXRF(WorkSpace ws, QWidget* parent = nullptr, UserFiles files = qt_user_files());

 private:
  // The widgets, built and laid out before they are bound to the state.
  struct Widgets {
    // Per column (position, amplitude, width), a box and its "fix" check
    // box for each Lorentzian A-D.
    std::array<std::array<QLineEdit*, 4>, 3> boxes;
    std::array<std::array<QCheckBox*, 4>, 3> fixes;
    QButtonGroup *components, *lorentzian;
    QCheckBox* background;
    QLineEdit* excEnergy;
    PlotPanel* panel;
    QPlainTextEdit* messagePane;
  };
  Widgets build();
  // The Lorentzians' group box, filling the boxes and check boxes of `w`.
  QWidget* buildParameters(Widgets& w);
  void bindWidgets(const Widgets& w);
};

}  // namespace talvern
