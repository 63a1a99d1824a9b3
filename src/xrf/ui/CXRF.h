#pragma once
// "Setting by XRF": the measured XRF spectrum, four trial Lorentzians A-D,
// their model fitted to the measurement with its R-factor, and the accepted
// Lorentzians as the final-state function of the RIXS calculation.

#include <array>

#include <QDialog>

#include "workspace/workspace.h"
#include "xrf/xrf_setting.h"

class PlotPanel;
class QButtonGroup;
class QLineEdit;
class QPlainTextEdit;

class CXRF : public QDialog {
  Q_OBJECT
 public:
  explicit CXRF(talvern::WorkSpace ws, QWidget* parent = nullptr);

 public slots:
  void loadXRFData();
  void confirmLorentzianSetting();
  void fitTheLorentzians();
  void calculateRFactor();
  void completeXRFSetting();
  // A left click on the XRF panel, in its panel coordinates.
  void setPeakPositionByClick(int x_l, int y_l);

 private:
  // Copies the controls into the state, runs `command` on it and shows the
  // state again.
  template <class Command>
  void run(Command command);
  void showState();

  talvern::WorkSpace ws_;
  talvern::XRFState state_;  // the panel's traces live here
  PlotPanel* panel_ = nullptr;
  std::array<QLineEdit*, 4> position_{}, amplitude_{}, width_{};
  QButtonGroup* components_ = nullptr;  // ids 0 "One-Compo.", 1 "Two-Compo.(A+B and C+D)"
  QButtonGroup* lorentzian_ = nullptr;  // ids 0..3 for "A".."D"
  QLineEdit* excEnergyBox_ = nullptr;
  QPlainTextEdit* messagePane_ = nullptr;
};
