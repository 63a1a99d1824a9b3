#pragma once
// "Average": the working selective XAFS smoothed over an energy range by a
// triangular moving average of 5, 9 or 15 adjacent points.

#include "gui/CommandDialog.h"
#include "refine/average.h"
#include "workspace/workspace.h"

class QProgressBar;

class CAverage : public talvern::CommandDialog<talvern::AverageState> {
 public:
  explicit CAverage(talvern::WorkSpace ws, QWidget* parent = nullptr);

 private:
  QProgressBar* progress_ = nullptr;
};
