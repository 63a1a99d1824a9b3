#pragma once
// "Optimization": the greedy search that reshapes the working selective XAFS
// against the measured RIXS spectrum. The search runs on a worker thread so
// that the dialog stays responsive: the progress bar and the read-only boxes
// follow it, and "Stop" (or closing the dialog) ends it after the trial in
// hand, keeping the best spectrum found so far.

#include <array>
#include <optional>

#include "gui/WorkerDialog.h"
#include "gui/file_chooser.h"
#include "refine/optimisation.h"
#include "workspace/workspace.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QWidget;

namespace talvern {

class COptim : public WorkerDialog<OptimState> {
 public:
  // Opens as the sheet opens the state, or with `initial`.
  explicit COptim(WorkSpace ws, QWidget* parent = nullptr, UserFiles files = qt_user_files(),
                  std::optional<OptimState> initial = std::nullopt);

 private:
  // The widgets, built and laid out before they are bound to the state.
  struct Widgets {
    // The edit boxes in the order of the grid: start, end, energy step,
    // peak height, peak width, height limit, height step, then the
    // excitation energy and the two read-only boxes.
    std::array<QLineEdit*, 10> boxes;
    QComboBox* repetitions;
    QPushButton *optimize, *stop;
    QPlainTextEdit* messagePane;
  };
  Widgets build();
  void bindWidgets(const Widgets& w);

  // "Optimize Selective XAFS".
  void startRun();

  QProgressBar* progress_ = nullptr;
};

}  // namespace talvern
