#pragma once
// The file-open dialog of the load commands and the report of a chosen file
// that cannot be opened, as the forms use them by default. Tests hand the
// forms their own chooser and reporter instead.

#include <functional>

#include "workspace/user_file.h"

namespace talvern {

// Shows a failure to open a chosen file to the user.
using OpenFailureReporter = std::function<void(const OpenFailure&)>;

// An open-existing-file dialog (a save dialog for FileKind::save_data) over
// the active window, titled with the command, with the filters of the file
// kind (the "Data" filter first when asked). It starts in initial_data_dir() and afterwards in the
// folder of the last file chosen in this run, whichever load chose it; once a file of its
// kind has been chosen, in that file's folder with the filter chosen then, in later runs
// too (QSettings, by FileKind). A save adds the extension of the filter chosen to a name
// without one.
FileChooser qt_file_chooser();

// The same dialog for a load of repeated scans: several files may be
// selected; for more than one, a question whether to align them on their
// steepest rise.
SeveralFilesChooser qt_several_files_chooser();
// A list of the groups of a project file to choose from, several at once.
GroupChooser qt_group_chooser();

// A warning message box over the active window with the failure's text.
OpenFailureReporter qt_open_failure_reporter();

// The program's way to the user's files: the file dialog above, the
// "Import Columns" dialog for a file that is not plain rows, and a question
// before a work-space is replaced.
UserFiles qt_user_files();

}  // namespace talvern
