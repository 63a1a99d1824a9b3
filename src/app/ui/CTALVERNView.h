#pragma once
// The main form: the work-space button, the load buttons, the three workflow
// steps, the message pane and the title picture.

#include <optional>
#include <string>

#include <QWidget>

#include "app/main_form.h"
#include "gui/file_chooser.h"
#include "app/workflow.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

class QPlainTextEdit;
class QPushButton;

class CTALVERNView : public QWidget {
  Q_OBJECT
 public:
  explicit CTALVERNView(talvern::WorkSpace ws, QWidget* parent = nullptr);

  const talvern::WorkSpace& workSpace() const { return ws_; }

  // Replaces the whole text of the message pane; "\r\n" starts a new line.
  void setMessage(const std::string& text);

  // Takes the work-space lock for the life of the form, or shows in the pane
  // that another program holds it, and removes the temporary files of
  // killed writes. Every button tries the lock again before it runs.
  void startUp();

  // How the loads ask for a file and report one that cannot be opened. The
  // Load Selective XAFS dialog gets the same two. Default: the Qt file
  // dialog and a warning box.
  void setFileChooser(talvern::FileChooser choose) { choose_ = std::move(choose); }
  void setOpenFailureReporter(talvern::OpenFailureReporter report) { report_ = std::move(report); }

 public slots:
  void constructWorkSpace();
  void loadExpRIXS();
  void loadConventionalXAFS();
  void loadXRF();
  // Runs the Load Selective XAFS dialog modally; the pane is left as it was.
  void openSelectiveXAFSImport();
  // "Setting by XAFS" and "Setting by XRF": refused with an error while a
  // file they need is missing; otherwise the dialog runs modally and the
  // pane reports the step finished, however the dialog was closed.
  void openXAFSSetting();
  void openXRFSetting();
  // "RIXS Simulation": as the setting steps, with the RIXS Simulation dialog.
  void openRIXSSimulation();

 private:
  using LoadCommand = std::optional<talvern::OpenFailure> (*)(
      const talvern::WorkSpace&, const talvern::FileChooser&, talvern::MainFormState&);
  // False, with the caution in the pane, while another program holds the work-space.
  bool claim();
  void runLoad(LoadCommand command);
  // Runs `step` of the workflow with a new `Dialog` made by `make`.
  template <class Make>
  void runWorkflowStep(talvern::WorkflowStep step, Make make);

  talvern::WorkSpace ws_;
  talvern::WorkSpaceLock lock_;
  talvern::FileChooser choose_;
  talvern::OpenFailureReporter report_;
  std::string message_;  // what the message pane shows, lines split by "\r\n"
  QPlainTextEdit* messagePane_ = nullptr;
};
