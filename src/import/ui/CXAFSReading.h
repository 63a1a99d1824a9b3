#pragma once
// "Load Selective XAFS": WIEN2k output or general X-Y1-Y2 data into the
// work-space as the selective XAFS.

#include "gui/CommandDialog.h"
#include "gui/file_chooser.h"
#include "import/selective_import.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

class CXAFSReading : public talvern::CommandDialog<talvern::XAFSReadingState> {
 public:
  // `choose` runs the file-open dialog of every load; `report` shows a
  // chosen file that cannot be opened.
  explicit CXAFSReading(talvern::WorkSpace ws,
                        talvern::FileChooser choose = talvern::qt_file_chooser(),
                        talvern::OpenFailureReporter report = talvern::qt_open_failure_reporter(),
                        QWidget* parent = nullptr);
};
