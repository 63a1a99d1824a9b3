#pragma once
// Commands of the main form that need no widget.

#include <string>

#include "workspace/workspace.h"

namespace talvern {

// What the main form shows besides its buttons.
struct MainFormState {
  std::string message;  // text of the message pane; "\r\n" separates lines
};

// "Construct Work-Space": makes the directory when it is missing and writes
// each of the six placeholder files that does not exist yet, in a fixed
// order. Existing files are never touched.
void construct_work_space(const WorkSpace& ws, MainFormState& form);

}  // namespace talvern
