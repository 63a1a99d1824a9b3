#pragma once
// "Conventional XAFS": the measured XAFS normalised for the absorption
// correction, the absorption edge and its core energy (from the list, a
// click on the spectrum or typed), and the selective XAFS on absolute
// energies.

#include <QDialog>

#include "workspace/workspace.h"
#include "xafs/conv_xafs.h"

class PlotPanel;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;

class CConvXAFS : public QDialog {
  Q_OBJECT
 public:
  explicit CConvXAFS(talvern::WorkSpace ws, QWidget* parent = nullptr);

 public slots:
  void loadXAFS();
  void clearXAFS();
  void confirmXAFSInfo();
  void completeXAFSSetting();
  // A left click on the plot panel, in its panel coordinates.
  void correctCoreEnergyByClick(int x_l, int y_l);

 private:
  // Copies the controls into the state, runs `command` on it and shows the
  // state again.
  template <class Command>
  void run(Command command);
  void showState();

  talvern::WorkSpace ws_;
  talvern::ConvXAFSState state_;  // the panel's trace lives here
  PlotPanel* panel_ = nullptr;
  QComboBox* edgeList_ = nullptr;
  QLineEdit* coreEnergyBox_ = nullptr;
  QPlainTextEdit* messagePane_ = nullptr;
};
