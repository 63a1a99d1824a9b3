#include "workspace/lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <system_error>
#include <thread>

#include "workspace/file_names.h"
#include "workspace/journal.h"
#include "workspace/row_io.h"
#include "workspace/study.h"

namespace talvern {

namespace {

// "PID HOST" of this program.
std::string this_program() {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  return std::to_string(::getpid()) + " " + host + "\n";
}

// "process PID on HOST" from the text of a lock file; empty when it names nobody.
std::string holder_of(int fd) {
  char text[300] = {};
  const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
  if (got <= 0) return {};
  std::string_view t(text, static_cast<std::size_t>(got));
  if (const auto nl = t.find('\n'); nl != std::string_view::npos) t = t.substr(0, nl);
  const auto space = t.find(' ');
  const std::string_view pid = t.substr(0, space);
  if (pid.empty() || !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return {};
  std::string who = "process " + std::string(pid);
  if (space != std::string_view::npos && space + 1 < t.size())
    who += " on " + std::string(t.substr(space + 1));
  return who;
}

// True when `fd` is still the file at `path`: a holder that released the
// lock may have removed the file after this program opened it.
bool still_named(int fd, const std::string& path) {
  struct stat by_fd {}, by_path {};
  return ::fstat(fd, &by_fd) == 0 && ::stat(path.c_str(), &by_path) == 0 &&
         by_fd.st_dev == by_path.st_dev && by_fd.st_ino == by_path.st_ino;
}

}  // namespace

WorkSpaceLock::State WorkSpaceLock::acquire(const WorkSpace& ws, std::chrono::milliseconds wait) {
  if (held()) return State::held;
  path_ = ws.file(files::kLock).string();
  holder_.clear();
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    bool writable = true;
    int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      // A read-only work-space: its lock file, if any, can still be locked.
      writable = false;
      fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) return State::unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      if (!still_named(fd, path_)) {  // released and removed meanwhile: open it again
        ::close(fd);
        continue;
      }
      fd_ = fd;
      if (writable) {
        const std::string me = this_program();
        if (::ftruncate(fd, 0) == 0) {
          const ssize_t put = ::pwrite(fd, me.data(), me.size(), 0);
          static_cast<void>(put);  // the name only serves the message of another program
        }
      }
      return State::held;
    }
    const int error = errno;
    holder_ = holder_of(fd);
    ::close(fd);
    if (error != EWOULDBLOCK) return State::unavailable;
    if (std::chrono::steady_clock::now() >= deadline) return State::refused;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void WorkSpaceLock::release() {
  if (!held()) return;
  // Removed while still locked, so no program locks a file that is gone;
  // one that opened it before sees that and opens a new one.
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

std::string lock_refused_message(const WorkSpaceLock& lock) {
  std::string text = "CAUTION!! Another TALVERN is using this work-space";
  if (!lock.holder().empty()) text += "\r\n(" + lock.holder() + ")";
  return text;
}

std::size_t remove_stale_temporaries(const WorkSpace& ws) {
  namespace fs = std::filesystem;
  // The staging folder of an unfinished replacement is still needed.
  const bool pending = journal_pending(ws);
  std::size_t removed = 0;
  // The leftovers in `dir` that `stale` names, NAME being the target of the
  // temporary ".NAME.XXXXXX".
  auto sweep = [&](const fs::path& dir, auto stale) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      const std::string name = it->path().filename().string();
      if (!is_temporary_name(name)) continue;
      const std::string_view target = std::string_view(name).substr(1, name.size() - 8);
      std::error_code kind_ec, rm_ec;
      const fs::file_status kind = it->symlink_status(kind_ec);
      if (kind_ec || !stale(name, target, kind)) continue;
      if (fs::is_directory(kind) ? fs::remove_all(it->path(), rm_ec) > 0
                                 : fs::remove(it->path(), rm_ec))
        ++removed;
    }
  };
  // Temporaries of work-space files and of the journal, and staging folders.
  sweep(ws.dir(), [&](std::string_view name, std::string_view target, fs::file_status kind) {
    if (fs::is_regular_file(kind)) return files::in_catalogue(target) || target == files::kJournal;
    return fs::is_directory(kind) && !pending && name.starts_with(files::kStagingPrefix);
  });
  // Temporaries of the study backups.
  sweep(ws.dir() / kStudyBackupFolder, [](std::string_view, std::string_view target,
                                          fs::file_status kind) {
    return fs::is_regular_file(kind) && target.ends_with(kStudyExtension);
  });
  return removed;
}

}  // namespace talvern
