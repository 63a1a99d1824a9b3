#pragma once
// "Conventional XAFS": the measured XAFS normalised for the absorption
// correction, the absorption edge and its core energy (from the list, a
// click on the spectrum or typed), and the selective XAFS on absolute
// energies.

#include "gui/CommandDialog.h"
#include "gui/file_chooser.h"
#include "workspace/workspace.h"
#include "xafs/conv_xafs.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace talvern {

class CConvXAFS : public CommandDialog<ConvXAFSState> {
 public:
  explicit CConvXAFS(WorkSpace ws, QWidget* parent = nullptr, UserFiles files = qt_user_files());

 private:
  // The widgets, built and laid out before they are bound to the state.
  struct Widgets {
    PlotPanel* panel;
    QPushButton *load, *clear, *confirm, *complete, *edgeFromData;
    QComboBox* edgeList;
    QLineEdit *coreEnergy, *ownEnergy, *ownWidth;
    QPlainTextEdit* messagePane;
    // How "Load XAFS(for Abs. Correction)" normalises, and the edge step's boxes.
    QButtonGroup* normalise;
    QLineEdit *pre1, *pre2, *norm1, *norm2, *nnorm;
    QCheckBox* flatten;
  };
  QGroupBox* buildNormalisation(Widgets& w);
  Widgets build();
  void bindWidgets(const Widgets& w);
};

}  // namespace talvern
