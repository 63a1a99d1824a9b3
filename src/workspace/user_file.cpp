#include "workspace/user_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "workspace/load_messages.h"

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

bool read_chosen_file(const FileChooser& choose, FileKind kind, std::size_t k,
                      std::size_t capacity, std::size_t skip_words, RowsRead& rows,
                      std::optional<OpenFailure>& failure, std::string& message) {
  const std::optional<std::filesystem::path> file = choose ? choose(kind) : std::nullopt;
  if (!file) return false;
  rows = read_rows(*file, k, capacity, skip_words);
  if (!rows.opened) {
    // Ask the system why; a file that opens now but could not be read
    // still gets a reason.
    failure = check_user_file(*file);
    if (!failure) failure = OpenFailure{*file, "cannot be read"};
    return false;
  }
  if (rows.bad_token) {
    message = not_a_number_message(rows.bad_line);
    return false;
  }
  return true;
}

std::optional<std::string> save_chosen_file(const FileChooser& choose, std::string_view content,
                                            const char* saved) {
  const std::optional<std::filesystem::path> file =
      choose ? choose(FileKind::save_data) : std::nullopt;
  if (!file) return std::nullopt;
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(*file, ec);
  if (ec) full = *file;
  if (write_text_atomic(full, content) != WriteStatus::ok)
    return "ERROR!!\r\n" + full.string() + "\r\ncould not be written; nothing was saved.";
  return saved + full.string() + ".";
}

}  // namespace talvern
