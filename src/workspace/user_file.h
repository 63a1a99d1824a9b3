#pragma once
// Files the user chooses: how a command asks for one and how it reports a
// file that cannot be opened.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "workspace/row_io.h"

namespace talvern {

// Which file-open dialog a command runs.
enum class FileKind {
  data,            // "Data(*.DAT)" and "All(*.*)"
  selective_xafs,  // WIEN2k (*.xspec, *.xspecup, *.xspecdn), "Data(*.DAT)", "All(*.*)"
  save_data,       // a file-save dialog: "Data(*.DAT)" and "All(*.*)", asks before replacing
};

// Runs a file dialog; an empty result means the user cancelled.
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

// Asks for a file through `choose` and reads it: `skip_words` header
// words, then rows of k numbers. Returns true when the command goes on with
// `rows` (see rows.capped). Otherwise the command ends: after a cancel with
// nothing changed, with `failure` set when the file cannot be opened, or
// with an "ERROR!!" text in `message` when it holds something that is not a
// number.
bool read_chosen_file(const FileChooser& choose, FileKind kind, std::size_t k,
                      std::size_t capacity, std::size_t skip_words, RowsRead& rows,
                      std::optional<OpenFailure>& failure, std::string& message);

// Asks for a file to save through `choose` (FileKind::save_data) and
// replaces it by `content` as a whole. Nothing when the user cancelled;
// else the message: `saved` followed by the file's full path and ".", or
// an "ERROR!!" text when the file cannot be written.
std::optional<std::string> save_chosen_file(const FileChooser& choose, std::string_view content,
                                            const char* saved);

}  // namespace talvern
