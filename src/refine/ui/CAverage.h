#pragma once
// "Average": the working selective XAFS smoothed over an energy range by a
// triangular moving average of 5, 9 or 15 adjacent points.

#include "gui/CommandDialog.h"
#include "gui/file_chooser.h"
#include "refine/average.h"
#include "workspace/workspace.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;

namespace talvern {

class CAverage : public CommandDialog<AverageState> {
 public:
  explicit CAverage(WorkSpace ws, QWidget* parent = nullptr, UserFiles files = qt_user_files());

 private:
  // The widgets, built and laid out before they are bound to the state.
  struct Widgets {
    QLineEdit *start, *end;
    QComboBox* points;
    QPlainTextEdit* messagePane;
  };
  Widgets build();
  void bindWidgets(const Widgets& w);

  QProgressBar* progress_ = nullptr;
};

}  // namespace talvern
