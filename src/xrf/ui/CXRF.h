#pragma once
// "Setting by XRF": the measured XRF spectrum, four trial Lorentzians A-D,
// their model fitted to the measurement with its R-factor, and the accepted
// Lorentzians as the final-state function of the RIXS calculation.

#include "gui/CommandDialog.h"
#include "workspace/workspace.h"
#include "xrf/xrf_setting.h"

class CXRF : public talvern::CommandDialog<talvern::XRFState> {
 public:
  explicit CXRF(talvern::WorkSpace ws, QWidget* parent = nullptr);
};
