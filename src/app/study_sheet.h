#pragma once
// The study commands of the File menu as a command sheet.

#include <string>

#include "command/sheet.h"

namespace talvern {

struct StudyState {
  std::string name;      // the study's name; empty: its file's
  bool replace = false;  // a work-space that holds files may be replaced
  std::string message;   // the main form's message pane
  std::string file;      // the study last saved or opened, as chosen
};

Sheet<StudyState>& study_sheet();

}  // namespace talvern
