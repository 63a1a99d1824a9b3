#pragma once
// "RIXS Plane": the RIXS over a range of excitation energies as a colour
// map, with a cut under it where the user clicks. The calculation runs on a
// worker thread with a progress bar and "Stop", as the optimisation does.

#include "gui/WorkerDialog.h"
#include "rixs/rixs_plane.h"
#include "workspace/workspace.h"

class QProgressBar;
class QWidget;

namespace talvern {
class PlaneMap;
}

class CRIXSPlane : public talvern::WorkerDialog<talvern::PlaneState> {
 public:
  explicit CRIXSPlane(talvern::WorkSpace ws, QWidget* parent = nullptr);

  talvern::PlaneMap* map() const { return map_; }

 private:
  // "Calculate".
  void startRun();
  void runFinished() override;
  void savePicture();

  talvern::PlaneMap* map_ = nullptr;
  QProgressBar* progress_ = nullptr;
};
