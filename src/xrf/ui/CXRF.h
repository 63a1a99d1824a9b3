#pragma once
// "Setting by XRF": the measured XRF spectrum, four trial Lorentzians A-D,
// their model fitted to the measurement with its R-factor, and the accepted
// Lorentzians as the final-state function of the RIXS calculation. The
// least-squares fit runs beside the dialog, which shows its iterations and
// can stop it.

#include <array>

#include "gui/WorkerDialog.h"
#include "gui/file_chooser.h"
#include "workspace/workspace.h"
#include "xrf/xrf_setting.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace talvern {

class CXRF : public WorkerDialog<XRFState> {
 public:
  explicit CXRF(WorkSpace ws, QWidget* parent = nullptr, UserFiles files = qt_user_files());

 private:
  // "Least-Squares Fit" on the worker, its iterations in the message pane.
  void startFit();

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
    QPushButton *lsq, *stop;
  };
  Widgets build();
  // The Lorentzians' group box, filling the boxes and check boxes of `w`.
  QWidget* buildParameters(Widgets& w);
  void bindWidgets(const Widgets& w);
};

}  // namespace talvern
