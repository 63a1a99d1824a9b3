// Test helper: a work-space file that a command blocks on until the test
// lets it go, so that the test can act while the command is held (press
// "Stop" before a run has begun).
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTest>

#include <filesystem>
#include <string>

namespace talvern::test {

// Replaces `file` by a named pipe; a command that opens it waits there.
inline bool hold_input(const std::filesystem::path& file) {
  std::filesystem::remove(file);
  return ::mkfifo(file.c_str(), 0600) == 0;
}

// Waits (the event loop running) until the command opens the pipe, then
// gives it `text` and the end of the file. False when it never came.
inline bool release_input(const std::filesystem::path& file, const std::string& text) {
  int fd = -1;
  if (!QTest::qWaitFor([&] {
        fd = ::open(file.c_str(), O_WRONLY | O_NONBLOCK);
        return fd >= 0;
      }, 30000))
    return false;
  ::fcntl(fd, F_SETFL, 0);
  const bool whole = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return whole;
}

}  // namespace talvern::test
