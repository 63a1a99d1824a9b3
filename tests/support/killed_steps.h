// Test helpers: a command killed after a given step of a replacement as a
// whole (workspace/journal.h), and the files a work-space holds.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>

#include "support/temp_dir.h"
#include "workspace/journal.h"
#include "workspace/study.h"

namespace talvern::test {

// Runs `action` in a child process that ends, as a kill would (no clean-up,
// no destructors), right after the `n`-th step it takes of a replacement or
// of its recovery. The name of that step; empty when the action ended first.
inline std::string run_stopped_at(std::size_t n, const std::function<void()>& action) {
  int channel[2];
  if (::pipe(channel) != 0) throw std::runtime_error("pipe");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork");
  if (pid == 0) {
    ::close(channel[0]);
    static std::size_t left;
    static int out;
    left = n;
    out = channel[1];
    journal_step_hook = [](std::string_view step) {
      if (--left > 0) return;
      if (::write(out, step.data(), step.size()) < 0) ::_exit(2);
      ::_exit(0);
    };
    try {
      action();
    } catch (...) {
      ::_exit(1);
    }
    ::_exit(0);
  }
  ::close(channel[1]);
  std::string step;
  char buf[256];
  for (ssize_t got; (got = ::read(channel[0], buf, sizeof buf)) > 0;)
    step.append(buf, static_cast<std::size_t>(got));
  ::close(channel[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("the child failed");
  return step;
}

// Every file and folder below the work-space folder by its path relative to
// it, with a file's bytes, leaving out Study_Backups.
inline std::map<std::string, std::string> work_space_state(const std::filesystem::path& dir) {
  std::map<std::string, std::string> all;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    const std::string name = std::filesystem::relative(e.path(), dir).string();
    if (name.starts_with(kStudyBackupFolder)) continue;
    all[name] = e.is_directory() ? "(folder)" : read_file(e.path());
  }
  return all;
}

}  // namespace talvern::test
