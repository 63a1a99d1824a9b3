#pragma once
// One program per work-space, and the clean-up of what a killed one left.
//
// The lock is an advisory lock (flock) on the hidden file ".talvern.lock"
// in the work-space, which holds "PID HOST" of the program that has it.
// The kernel drops the lock when its holder ends, however it ends, so the
// lock of a program that died is simply taken over; the file it left
// behind only names it.

#include <chrono>
#include <cstddef>
#include <string>

#include "workspace/workspace.h"

namespace talvern {

class WorkSpaceLock {
 public:
  enum class State {
    held,         // this object holds the lock
    refused,      // another program holds it
    unavailable,  // no lock file can be opened (no directory, a read-only one): nothing held
  };

  WorkSpaceLock() = default;
  ~WorkSpaceLock() { release(); }
  WorkSpaceLock(const WorkSpaceLock&) = delete;
  WorkSpaceLock& operator=(const WorkSpaceLock&) = delete;

  // Takes the lock of `ws`; while another program holds it, tries again
  // until `wait` has passed. Taking a lock already held returns `held`.
  State acquire(const WorkSpace& ws, std::chrono::milliseconds wait = {});
  // Gives the lock back and removes the lock file.
  void release();
  bool held() const { return fd_ >= 0; }

  // After `refused`: "process PID on HOST" as the lock file names the
  // holder, or empty when the file names nobody.
  const std::string& holder() const { return holder_; }

 private:
  int fd_ = -1;
  std::string path_;
  std::string holder_;
};

// "CAUTION!! Another TALVERN is using this work-space", and the holder on a
// second line when the lock file names one.
std::string lock_refused_message(const WorkSpaceLock& lock);

// Removes what killed programs left in the work-space directory: the
// temporary files of writes killed before their rename (of work-space files,
// of the journal, and of the backups in Study_Backups), and staging folders
// that no journal needs (workspace/journal.h). Only those: a user's file of
// another name stays. Only the holder of the work-space lock may call it: no
// other program then writes there. Returns how many were removed.
std::size_t remove_stale_temporaries(const WorkSpace& ws);

}  // namespace talvern
