#pragma once
// "RIXS Simulation": the working selective XAFS with its display region and
// mode, its modification by a Lorentzian and by a shift, the RIXS calculated
// from it at one excitation energy, and the comparison with a measured RIXS.

#include <functional>

#include "gui/CommandDialog.h"
#include "gui/file_chooser.h"
#include "rixs/rixs_state.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

class QButtonGroup;
class QGroupBox;
class QLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace talvern {

class CRIXSXAFS : public CommandDialog<RIXSState> {
 public:
  // Opens a dialog modally over `parent` on the work-space `ws` and returns
  // when it is closed.
  using Opener = std::function<void(const WorkSpace& ws, QWidget* parent)>;
  // The same for a dialog that opens with what this one shows.
  using StateOpener =
      std::function<void(const WorkSpace& ws, const RIXSState& shown, QWidget* parent)>;
  // The dialogs of "Optimize", "Average", "RIXS Plane..." and "Global
  // Fit...", handed in by whoever opens this dialog (the first two live in
  // refine/); a button without its opener does nothing. `touches` holds
  // what the commands of each read and write, for the buttons' tips.
  struct Openers {
    StateOpener optimize;
    Opener average, plane, fit;
    struct {
      Touches optimize, average, plane, fit;
    } touches;
  };

  // "Comp. Another RIXS", "Save RIXS" and "Save Modified XAFS" ask for
  // their files through `files`; `report` shows a chosen file that cannot
  // be opened.
  CRIXSXAFS(WorkSpace ws, Openers openers, QWidget* parent = nullptr,
            UserFiles files = qt_user_files(),
            OpenFailureReporter report = qt_open_failure_reporter());

 private:
  // The widgets, built and laid out before they are bound to the state.
  struct Widgets {
    PlotPanel *selective, *calculated, *comparison;
    QLineEdit *regionMin, *regionMax, *central, *amplitude, *width, *energyShift;
    QLineEdit *excEnergy, *scale, *absCorrection;
    QButtonGroup *mode, *sign;
    QPushButton *optimize, *average, *plane, *fit;
    QPlainTextEdit* messagePane;
  };
  Widgets build();
  // The controls under "Selective XAFS": display, modification, shift,
  // refinement and the completion.
  QLayout* buildSelectiveControls(Widgets& w);
  QGroupBox* buildLorentzian(Widgets& w);
  // "Exc. Energy(eV)", "Scale Fac." and "Abs. Corr. Fac.".
  QLayout* buildFactors(Widgets& w);
  void bindWidgets(const Widgets& w, Openers openers);
};

}  // namespace talvern
