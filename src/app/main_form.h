#pragma once
// Commands of the main form that need no widget.

#include <string>

#include "workspace/lock.h"
#include "workspace/workspace.h"

namespace talvern {

// What the main form shows besides its buttons.
struct MainFormState {
  std::string message;  // text of the message pane; "\r\n" separates lines
};

// "Construct Work-Space": makes the directory when it is missing and writes
// each of the six placeholder files that does not exist yet, in a fixed
// order. Existing files are never touched; temporary files that killed
// writes left behind are removed (the caller holds the work-space lock).
void construct_work_space(const WorkSpace& ws, MainFormState& form);

// Before each command of the program that writes: takes `lock` when it is
// not held yet. While another program holds it, the pane shows the caution
// and false is returned: the command must not run. A work-space that has no
// lock file to lock (missing, read-only) lets the command run. Once the lock
// is taken, and while a replacement stays unfinished, the work-space is put
// in order (recover_work_space); when that has something to say, the pane
// shows it and false is returned, so that the user sees it first.
bool claim_work_space(const WorkSpace& ws, WorkSpaceLock& lock, MainFormState& form);

// At start-up of the program: claims the work-space, which puts in order
// what a killed program left there.
void start_up(const WorkSpace& ws, WorkSpaceLock& lock, MainFormState& form);

}  // namespace talvern
