#include "workspace/user_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace talvern {

std::string OpenFailure::text() const {
  return file.string() + "\r\ncannot be opened: " + reason + ".";
}

std::optional<OpenFailure> check_user_file(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec))
    return OpenFailure{file, std::strerror(EISDIR)};
  errno = 0;
  std::FILE* f = std::fopen(file.c_str(), "r");
  if (!f) return OpenFailure{file, std::strerror(errno ? errno : ENOENT)};
  std::fclose(f);
  return std::nullopt;
}

UserRows choose_and_read(const FileChooser& choose, FileKind kind, std::size_t k,
                         std::size_t capacity, std::size_t skip_words) {
  UserRows out;
  const std::optional<std::filesystem::path> file = choose ? choose(kind) : std::nullopt;
  if (!file) return out;
  out.failure = check_user_file(*file);
  if (!out.failure) {
    out.rows = read_rows(*file, k, capacity, skip_words);
    // The file vanished or became unreadable since the check.
    if (!out.rows.opened) out.failure = check_user_file(*file);
    if (!out.rows.opened && !out.failure) out.failure = OpenFailure{*file, "cannot be read"};
  }
  out.status = out.failure ? UserRows::Status::cannot_open : UserRows::Status::ok;
  return out;
}

}  // namespace talvern
