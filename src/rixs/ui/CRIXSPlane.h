#pragma once
// "RIXS Plane": the RIXS over a range of excitation energies as a colour
// map, with a cut under it where the user clicks. The calculation runs on a
// worker thread with a progress bar and "Stop", as the optimisation does.

#include <atomic>
#include <thread>
#include <vector>

#include "gui/CommandDialog.h"
#include "rixs/rixs_plane.h"
#include "workspace/workspace.h"

class QProgressBar;
class QPushButton;
class QWidget;

namespace talvern {
class PlaneMap;
}

class CRIXSPlane : public talvern::CommandDialog<talvern::PlaneState> {
 public:
  explicit CRIXSPlane(talvern::WorkSpace ws, QWidget* parent = nullptr);
  ~CRIXSPlane() override;

  bool running() const { return worker_.joinable(); }
  // Closing the dialog stops a run and shows what it kept first.
  void done(int result) override;
  // Waits for a run and shows its result (for tests and closing).
  void finishRun();
  talvern::PlaneMap* map() const { return map_; }

 private:
  void startRun();
  void setRunning(bool on);
  void savePicture();

  talvern::PlaneMap* map_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* stop_ = nullptr;
  std::vector<QWidget*> inputs_;  // disabled during a run

  std::thread worker_;
  std::atomic<bool> stopFlag_{false};
  talvern::PlaneState result_;
  unsigned run_ = 0;
};
