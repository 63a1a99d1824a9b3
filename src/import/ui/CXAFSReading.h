#pragma once
// "Load Selective XAFS": WIEN2k output or general X-Y1-Y2 data into the
// work-space as the selective XAFS.

#include <optional>
#include <string>

#include <QDialog>

#include "app/ui/file_chooser.h"
#include "import/selective_import.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

class QPlainTextEdit;

class CXAFSReading : public QDialog {
  Q_OBJECT
 public:
  // `choose` runs the file-open dialog of every load; `report` shows a
  // chosen file that cannot be opened.
  explicit CXAFSReading(talvern::WorkSpace ws,
                        talvern::FileChooser choose = talvern::qt_file_chooser(),
                        talvern::OpenFailureReporter report = talvern::qt_open_failure_reporter(),
                        QWidget* parent = nullptr);

 public slots:
  void load1CompoWIEN2k();
  void loadTwoCompoFirst();
  void loadTwoCompoSecond();
  void loadGeneral();

 private:
  using Command = std::optional<talvern::OpenFailure> (*)(
      const talvern::WorkSpace&, const talvern::FileChooser&, talvern::XAFSReadingState&);
  void run(Command command);
  void showState(const talvern::XAFSReadingState& state);

  talvern::WorkSpace ws_;
  talvern::FileChooser choose_;
  talvern::OpenFailureReporter report_;
  talvern::XAFSReadingState state_;  // what the message pane shows
  QPlainTextEdit* messagePane_ = nullptr;
};
