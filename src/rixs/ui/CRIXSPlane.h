#pragma once
// "RIXS Plane": the RIXS over a range of excitation energies as a colour
// map, with a cut under it where the user clicks. The calculation runs on a
// worker thread with a progress bar and "Stop", as the optimisation does.

#include "gui/WorkerDialog.h"
#include "gui/file_chooser.h"
#include "rixs/rixs_plane.h"
#include "workspace/workspace.h"

class QButtonGroup;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace talvern {

class PlaneMap;

class CRIXSPlane : public WorkerDialog<PlaneState> {
 public:
  explicit CRIXSPlane(WorkSpace ws, QWidget* parent = nullptr, UserFiles files = qt_user_files());

  PlaneMap* map() const { return map_; }

 private:
  // The widgets, built and laid out before they are bound to the state.
  struct Widgets {
    QLineEdit *from, *to, *step;
    QButtonGroup *axis, *scale, *cut;
    QPushButton *calculate, *savePicture;
    PlotPanel* cutPanel;
    QPlainTextEdit* messagePane;
  };
  Widgets build();
  void bindWidgets(const Widgets& w);

  // "Calculate".
  void startRun();
  void runFinished() override;

  PlaneMap* map_ = nullptr;
  QProgressBar* progress_ = nullptr;
};

}  // namespace talvern
