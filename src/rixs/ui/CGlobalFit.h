#pragma once
// "Global Fit": the peaks added to the working selective XAFS, the factors
// and the shift fitted to every point of the measured set (or, with "Free
// Form", the selective XAFS itself). The table holds the peaks with a
// "fix" box for each value and, after a fit, its standard uncertainty;
// each measured group is drawn with the model and the residual, the
// correlation of the free parameters stands in a small table (beyond
// kCorrelationCaution shaded), and the message pane gives the R-factors and
// the cautions. "Fit" runs on a worker thread with "Stop"; "Apply" does what
// fit-rixs --confirm does with the fit on show.

#include <optional>
#include <vector>

#include "gui/WorkerDialog.h"
#include "gui/file_chooser.h"
#include "plot/panel.h"
#include "rixs/global_fit.h"
#include "workspace/workspace.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QWidget;

namespace talvern {

class FitGroupPanels;

class CGlobalFit : public WorkerDialog<GlobalFitState> {
 public:
  explicit CGlobalFit(WorkSpace ws, QWidget* parent = nullptr, UserFiles files = qt_user_files());

  FitGroupPanels* groupPanels() const { return groups_; }

 private:
  // The widgets, built and laid out before they are bound to the state.
  struct Widgets {
    QButtonGroup *components, *weights;
    QCheckBox *fitScale, *fitAbsCorr, *fitShift, *free;
    QLabel *scaleValue, *absCorrValue, *shiftValue;
    QLineEdit* smooth;
    QPushButton *addPeak, *removePeak, *fit, *stop, *apply;
    PlotPanel* freePanel;
    QWidget *freeGroup, *correlationGroup;
    QTableWidget* correlation;
    QPlainTextEdit* messagePane;
    std::vector<QWidget*> runInputs;  // disabled during a run
  };
  Widgets build();
  QWidget* buildSetup(Widgets& w);
  QWidget* buildResults(Widgets& w);
  void bindWidgets(const Widgets& w);

  // What a fit left: the factors' values, the group panels, the free-form
  // panel and the correlations.
  void showResults(const Widgets& w, const GlobalFitState& s);
  // The table from the state, and an edit of it into the state.
  void showPeaks(const GlobalFitState& s);
  void takePeakEdit();
  void runFinished() override;

  QTableWidget* peaks_ = nullptr;
  bool showingPeaks_ = false;  // the table is being filled from the state
  FitGroupPanels* groups_ = nullptr;
  std::optional<plot::Trace> freeTrace_;  // what the free-form panel's curves point into
};

}  // namespace talvern
