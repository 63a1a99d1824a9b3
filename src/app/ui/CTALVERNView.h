#pragma once
// The main form: the work-space button, the load buttons, the three workflow
// steps, the message pane and the title picture.

#include <optional>
#include <string>

#include <QWidget>

#include "app/main_form.h"
#include "command/sheet.h"
#include "gui/file_chooser.h"
#include "app/workflow.h"
#include "workspace/lock.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

class QPlainTextEdit;
class QPushButton;

namespace talvern {

class CTALVERNView : public QWidget {
  Q_OBJECT
 public:
  explicit CTALVERNView(WorkSpace ws, QWidget* parent = nullptr);

  const talvern::WorkSpace& workSpace() const { return ws_; }

  // Replaces the whole text of the message pane; "\r\n" starts a new line.
  void setMessage(const std::string& text);

  // Takes the work-space lock for the life of the form, or shows in the pane
  // that another program holds it, and removes the temporary files of
  // killed writes. Every button tries the lock again before it runs.
  void startUp();

  // How the commands of the form, of the studies and of the dialogs it
  // opens reach the user's files, and how a file that cannot be opened is
  // reported. Default: the Qt file dialogs and a warning box.
  void setUserFiles(UserFiles files) { files_ = std::move(files); }
  const UserFiles& userFiles() const { return files_; }
  void setOpenFailureReporter(OpenFailureReporter report) { report_ = std::move(report); }

  // Runs the command of the main form's sheet, or of the studies' sheet,
  // with caption `caption` (after claiming the work-space), as its button
  // or menu item does; the pane shows what it says.
  void runFormCommand(const char* caption);
  // The same for a study command; `file`, when given, answers its file
  // dialog. Returns the study file it saved or opened; empty when it did
  // neither.
  std::string runStudyCommand(const char* caption,
                              const std::optional<std::filesystem::path>& file = std::nullopt);

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
  // False, with the caution in the pane, while another program holds the work-space.
  bool claim();
  // Runs the command `caption` of `sheet` on `state` (the pane's text as
  // its message): after claiming the work-space, recorded in the history;
  // the pane shows what it says. False when it did not run or a file could
  // not be opened (which is reported).
  template <class State>
  bool runSheetCommand(const Sheet<State>& sheet, const char* caption, State& state, CommandRun& run);
  // Runs `step` of the workflow with a new `Dialog` made by `make`.
  template <class Make>
  void runWorkflowStep(WorkflowStep step, Make make);

  WorkSpace ws_;
  WorkSpaceLock lock_;
  UserFiles files_;
  OpenFailureReporter report_;
  std::string message_;  // what the message pane shows, lines split by "\r\n"
  QPlainTextEdit* messagePane_ = nullptr;
};

}  // namespace talvern
