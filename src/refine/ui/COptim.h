#pragma once
// "Optimization": the greedy search that reshapes the working selective XAFS
// against the measured RIXS spectrum. The search runs on a worker thread so
// that the dialog stays responsive: the progress bar and the read-only boxes
// follow it, and "Stop" (or closing the dialog) ends it after the trial in
// hand, keeping the best spectrum found so far.

#include "gui/WorkerDialog.h"
#include "refine/optimisation.h"
#include "workspace/workspace.h"

class QProgressBar;
class QWidget;

class COptim : public talvern::WorkerDialog<talvern::OptimState> {
 public:
  explicit COptim(talvern::WorkSpace ws, QWidget* parent = nullptr);

 private:
  // "Optimize Selective XAFS".
  void startRun();

  QProgressBar* progress_ = nullptr;
};
