#include "workspace/user_save.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <system_error>

namespace talvern {
namespace {

namespace fs = std::filesystem;

fs::path absolute_of(const fs::path& p) {
  std::error_code ec;
  fs::path full = fs::absolute(p, ec);
  return ec ? p : full;
}

// `p` made absolute, every symbolic link of the part that exists resolved,
// without a trailing separator.
fs::path resolved(const fs::path& p) {
  const fs::path full = absolute_of(p);
  std::error_code ec;
  fs::path out = fs::weakly_canonical(full, ec);
  if (ec) out = full.lexically_normal();
  if (!out.has_filename() && out.has_relative_path()) out = out.parent_path();
  return out;
}

// True when `inner` is `outer` or lies in it at any depth (both resolved).
bool within(const fs::path& inner, const fs::path& outer) {
  auto i = inner.begin();
  for (const fs::path& part : outer) {
    if (i == inner.end() || *i != part) return false;
    ++i;
  }
  return true;
}

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The entry of the work-space `ws` (the folder itself, its folders and
// files at any depth, links not followed) that is the file `id`.
std::optional<fs::path> work_space_entry(const fs::path& ws, const struct stat& id) {
  struct stat st {};
  if (::stat(ws.c_str(), &st) == 0 && same_file(st, id)) return ws;
  std::error_code ec;
  fs::recursive_directory_iterator it(ws, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    if (::lstat(it->path().c_str(), &st) == 0 && same_file(st, id)) return it->path();
  return std::nullopt;
}

std::string inside_message(const fs::path& full, const fs::path& target, const fs::path& ws) {
  std::string text = "ERROR!!\r\n" + full.string();
  if (target != full.lexically_normal()) text += "\r\n(that is " + target.string() + ")";
  return text + "\r\nlies in the work-space\r\n " + ws.string() +
         ";\r\nsave it outside the work-space. Nothing was saved.";
}

// Removes the temporaries of `file` (see is_temporary_name) in `dir` that
// a save killed before its rename left behind.
void remove_stale_temporaries_of(const fs::path& dir, const fs::path& file) {
  std::string prefix(1, '.');
  prefix += file.filename().string();
  prefix += '.';
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    struct stat st {};
    if (name.size() == prefix.size() + 6 && name.starts_with(prefix) && is_temporary_name(name) &&
        ::lstat(it->path().c_str(), &st) == 0 && S_ISREG(st.st_mode))
      ::unlink(it->path().c_str());
  }
}

// The saves of users' files into one folder share a lock on the folder
// while their temporaries exist; a save that gets the folder to itself
// knows that no other is under way there, so every temporary of its file
// was left by a save that was killed.
class FolderSaves {
 public:
  explicit FolderSaves(const fs::path& file) {
    const fs::path dir = file.has_parent_path() ? file.parent_path() : fs::path(".");
    fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) remove_stale_temporaries_of(dir, file);
    // Shared from here on: waits only for another save's clearing up. A
    // folder that takes no lock is saved into without one.
    while (::flock(fd_, LOCK_SH) != 0 && errno == EINTR) {
    }
  }
  ~FolderSaves() {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderSaves(const FolderSaves&) = delete;
  FolderSaves& operator=(const FolderSaves&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

std::string work_space_target_error(const fs::path& work_space, const fs::path& file) {
  const fs::path full = absolute_of(file);
  const fs::path ws = resolved(work_space), target = resolved(file);
  if (within(target, ws)) return inside_message(full, target, ws);
  // The save replaces the name itself: a link in the work-space that leads
  // out of it is a work-space file too.
  const fs::path name = resolved(full.parent_path()) / full.filename();
  if (within(name, ws)) return inside_message(full, name, ws);
  // The same file under another name (a hard link, a folder mounted twice).
  struct stat id {};
  if (::stat(target.c_str(), &id) == 0)
    if (const auto entry = work_space_entry(ws, id))
      return "ERROR!!\r\n" + full.string() + "\r\nis the same file as\r\n " + entry->string() +
             "\r\nof the work-space; save it outside the work-space. Nothing was saved.";
  if (::stat(target.parent_path().c_str(), &id) == 0 && work_space_entry(ws, id))
    return inside_message(full, target, ws);
  return {};
}

UserSave save_user_file(const fs::path& work_space, const fs::path& file, std::string_view content) {
  UserSave save;
  save.refusal = work_space_target_error(work_space, file);
  if (!save.refusal.empty()) {
    save.status = WriteStatus::cannot_write;
    errno = EPERM;
    return save;
  }
  int reason = 0;
  {
    const FolderSaves folder(file);
    save.status = write_text_atomic(file, content);
    reason = errno;
  }
  errno = reason;  // the folder's closing does not hide why the write failed
  return save;
}

}  // namespace talvern
