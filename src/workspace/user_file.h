#pragma once
// Files the user chooses: how a command asks for one and how it reports a
// file that cannot be opened.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "workspace/row_io.h"

namespace talvern {

// Which file-open dialog a command runs.
enum class FileKind {
  data,            // "Data(*.DAT)" and "All(*.*)"
  selective_xafs,  // WIEN2k (*.xspec, *.xspecup, *.xspecdn), "Data(*.DAT)", "All(*.*)"
};

// Runs a file-open dialog; an empty result means the user cancelled.
using FileChooser = std::function<std::optional<std::filesystem::path>(FileKind)>;

// A chosen file that could not be opened for reading, with the system's
// reason ("No such file or directory", "Permission denied", ...).
struct OpenFailure {
  std::filesystem::path file;
  std::string reason;
  // Text of the report shown to the user, lines separated by "\r\n".
  std::string text() const;
};

// Opens the file for reading and closes it again; the failure when it
// cannot be opened (or is a directory).
std::optional<OpenFailure> check_user_file(const std::filesystem::path& file);

// A user's file asked for and read as rows of k numbers.
struct UserRows {
  enum class Status {
    cancelled,    // the user cancelled the file dialog
    cannot_open,  // `failure` says why
    ok,           // `rows` holds the file; see rows.bad_token and rows.capped
  };
  Status status = Status::cancelled;
  std::optional<OpenFailure> failure;
  RowsRead rows;
};

// Runs the file dialog through `choose`, checks that the file opens and
// reads it: `skip_words` header words, then rows of k numbers.
UserRows choose_and_read(const FileChooser& choose, FileKind kind, std::size_t k,
                         std::size_t capacity, std::size_t skip_words = 0);

}  // namespace talvern
