#pragma once
// "RIXS Plane": the RIXS over a range of excitation energies as a colour
// map, with a cut beside it where the user clicks; the calculation runs on a
// worker thread with a progress bar and "Stop", as the optimisation does.
// A second tab holds the measured set (RIXS_Plane_Exp.DAT: a plane, cuts,
// HERFDs), listed with a "Remove" per group, and its comparison with the
// model: three maps of one layout (measured, calculated, difference) and
// the three cuts through the point clicked on any of them.

#include <array>

#include "gui/WorkerDialog.h"
#include "gui/file_chooser.h"
#include "rixs/rixs_plane.h"
#include "workspace/workspace.h"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace talvern {

class CompareMapView;
class MeasuredSetList;
class PlaneMap;

class CRIXSPlane : public WorkerDialog<PlaneState> {
 public:
  explicit CRIXSPlane(WorkSpace ws, QWidget* parent = nullptr, UserFiles files = qt_user_files());

  PlaneMap* map() const { return map_; }
  // The maps of the comparison: measured, calculated, difference.
  CompareMapView* compareMap(std::size_t which) const { return compareMaps_.at(which); }
  MeasuredSetList* measuredSetList() const { return setList_; }

 private:
  // The widgets, built and laid out before they are bound to the state.
  struct Widgets {
    QLineEdit *from, *to, *step, *cutExc, *herfdEmission;
    QButtonGroup *axis, *scale, *cut;
    QPushButton *calculate, *savePicture, *saveData;
    PlotPanel* cutPanel;
    std::array<PlotPanel*, 3> compareCutPanels;
    std::array<QLabel*, 3> compareCutNotes;
    QPlainTextEdit* messagePane;
  };
  Widgets build();
  QWidget* buildPlaneTab(Widgets& w, QWidget* stop);
  QWidget* buildCompareTab(Widgets& w);
  void bindWidgets(const Widgets& w);
  void bindComparison(const Widgets& w);

  // "Calculate".
  void startRun();
  void runFinished() override;

  PlaneMap* map_ = nullptr;
  QProgressBar* progress_ = nullptr;
  MeasuredSetList* setList_ = nullptr;
  std::array<CompareMapView*, 3> compareMaps_{};
};

}  // namespace talvern
