#pragma once
// "Load Selective XAFS": WIEN2k output or general X-Y1-Y2 data into the
// work-space as the selective XAFS.

#include "gui/CommandDialog.h"
#include "gui/file_chooser.h"
#include "import/selective_import.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

class QPlainTextEdit;

namespace talvern {

class CXAFSReading : public CommandDialog<XAFSReadingState> {
 public:
  // Every load asks for its file through `files`; `report` shows a chosen
  // file that cannot be opened.
  explicit CXAFSReading(WorkSpace ws, QWidget* parent = nullptr, UserFiles files = qt_user_files(),
                        OpenFailureReporter report = qt_open_failure_reporter());

 private:
  // Builds and lays out the buttons and the message pane; returns the pane.
  QPlainTextEdit* build();
};

}  // namespace talvern
