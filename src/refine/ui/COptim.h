#pragma once
// "Optimization": the greedy search that reshapes the working selective XAFS
// against the measured RIXS spectrum. The search runs on a worker thread so
// that the dialog stays responsive: the progress bar and the read-only boxes
// follow it, and "Stop" (or closing the dialog) ends it after the trial in
// hand, keeping the best spectrum found so far.

#include <atomic>
#include <thread>
#include <vector>

#include "gui/CommandDialog.h"
#include "refine/optimisation.h"
#include "workspace/workspace.h"

class QProgressBar;
class QPushButton;
class QWidget;

class COptim : public talvern::CommandDialog<talvern::OptimState> {
 public:
  explicit COptim(talvern::WorkSpace ws, QWidget* parent = nullptr);
  // A run still going is stopped and waited for.
  ~COptim() override;

  // True from "Optimize Selective XAFS" until the run's result is shown.
  bool running() const { return worker_.joinable(); }

  // OK, Cancel, Escape and the window's close button all end here: a run is
  // stopped and its result shown before the dialog closes.
  void done(int result) override;

 private:
  void startRun();
  // Waits for the worker and shows the state the run ended with.
  void finishRun();
  void setRunning(bool on);
  // Runs `f` on the user-interface thread, unless run `run` is over by then.
  template <class F>
  void post(unsigned run, F f);

  QProgressBar* progress_ = nullptr;
  QPushButton* optimize_ = nullptr;
  QPushButton* stop_ = nullptr;
  std::vector<QWidget*> inputs_;  // disabled during a run

  std::thread worker_;
  std::atomic<bool> stopFlag_{false};
  talvern::OptimState result_;  // written by the worker, read after the join
  unsigned run_ = 0;            // the run whose posted calls are still wanted
};
