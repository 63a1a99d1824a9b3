#pragma once
// Several work-space files replaced as one, and the recovery of a
// replacement that a killed program left unfinished.
//
// The new files are written into a staging folder inside the work-space
// (".talvern-staging.XXXXXX") and flushed to the disk; a journal
// (".talvern-journal") then names them, the work-space files that go, and
// the backup of what they replace; only then are the files moved into
// place, and the journal is removed last. A program killed at any point
// leaves either no journal (the work-space as it was, the staging folder a
// leftover) or the journal, from which the next program that takes the
// work-space lock finishes the replacement, or, when a staged file is lost,
// puts the backup back: the work-space holds the old files or the new ones,
// never a mix.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/workspace.h"

namespace talvern {

// Test seam: when set, called after each step of a replacement and of its
// recovery that changes the disk, with the step's name. A test stops the
// process there, as a kill would, and checks what the next recovery leaves.
inline void (*journal_step_hook)(std::string_view step) = nullptr;
inline void journal_step(std::string_view step) {
  if (journal_step_hook) journal_step_hook(step);
}

// A file that could not be written, moved or removed, with the system's
// reason (`error`) or another (`detail`).
struct JournalFailure {
  std::string file;
  int error = 0;
  std::string detail = {};
  std::string text() const;  // "FILE: reason"
};

// The new content of work-space files, gathered in a staging folder and then
// put in place as a whole.
class StagedFiles {
 public:
  explicit StagedFiles(WorkSpace ws) : ws_(std::move(ws)) {}
  // Removes the staging folder and what it holds unless they were put in place.
  ~StagedFiles();
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;

  // Makes the staging folder in the work-space. False with errno set.
  bool make();
  // The new content of the work-space file `name`, given in pieces: begin,
  // append any number of times, end (which flushes it to the disk). Each is
  // false with errno set when the file cannot be written.
  bool begin(const std::string& name);
  bool append(std::string_view bytes);
  bool end();
  bool write(const std::string& name, std::string_view content) {
    return begin(name) && append(content) && end();
  }
  std::size_t count() const { return files_.size(); }

  struct Outcome {
    bool done = false;
    // Not done, and the work-space as it was: the file that failed and why.
    JournalFailure failure;
    // Not done, and the work-space could not be put back either: what the
    // recovery says ("ERROR!!").
    std::vector<std::string> recovery;
  };
  // Puts the staged files in place and removes the work-space files
  // `remove`. `backup` is the file name in Study_Backups of a study holding
  // every catalogue file the work-space held (empty when it held none of the
  // staged files and `remove` is empty); `what` names the command in the
  // recovery's message ("Opening the study \"Fe\"").
  Outcome put_in_place(const std::vector<std::string>& remove, const std::string& backup,
                       const std::string& what);

 private:
  struct File {
    std::string name;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
  };
  WorkSpace ws_;
  std::filesystem::path dir_;
  std::vector<File> files_;
  int fd_ = -1;
  bool placed_ = false;
};

struct WorkSpaceRecovery {
  // Messages to show before anything else ("CAUTION!!" or "ERROR!!").
  std::vector<std::string> lines;
  // The work-space could not be put in order: no command may run on it.
  bool blocked = false;
};

// What every program does on taking the work-space lock, before anything
// else: finishes or undoes a replacement left by a killed program, then
// removes the leftovers of killed writes (remove_stale_temporaries).
WorkSpaceRecovery recover_work_space(const WorkSpace& ws);

// True when the work-space holds a journal: a replacement is unfinished.
bool journal_pending(const WorkSpace& ws);

}  // namespace talvern
