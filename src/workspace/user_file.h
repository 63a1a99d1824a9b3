#pragma once
// Files the user chooses: how a command asks for one and how it reports a
// file that cannot be opened.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "workspace/columns.h"
#include "workspace/project_file.h"
#include "workspace/row_io.h"

namespace talvern {

// Which file-open dialog a command runs.
enum class FileKind {
  data,            // "Data(*.DAT)" and "All(*.*)"
  selective_xafs,  // WIEN2k (*.xspec, *.xspecup, *.xspecdn), "Data(*.DAT)", "All(*.*)"
  save_data,       // a file-save dialog: "Data(*.DAT)" and "All(*.*)", asks before replacing
  save_picture,    // a file-save dialog for a picture: PNG or SVG
  save_plot,       // a file-save dialog for a panel: PNG, SVG or CSV
  open_study,      // a study archive to open
  save_study,      // a study archive to save, asks before replacing
};

// What a command asks its file dialog for: the kind, the command's caption
// as the dialog's title and, for the selective imports, whether the dialog
// starts with the "Data" filter rather than the WIEN2k one.
struct FileRequest {
  FileRequest(FileKind k, const char* t = "", bool data = false)
      : kind(k), title(t), data_filter(data) {}
  operator FileKind() const { return kind; }
  FileKind kind;
  const char* title;
  bool data_filter;
  const char* suffix = "";  // a picture or table to save: its format (".png", ".svg", ".csv")
};

// Runs a file dialog; an empty result means the user cancelled.
using FileChooser = std::function<std::optional<std::filesystem::path>(const FileRequest&)>;

// Several files chosen at once (repeated scans of one spectrum), and
// whether each is shifted so that its steepest rise meets the first's.
struct ChosenFiles {
  std::vector<std::filesystem::path> files;  // none: the user cancelled
  bool align = false;
};
using SeveralFilesChooser = std::function<ChosenFiles(const FileRequest&)>;

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
// Why a file whose read failed cannot be read: the system's reason, or
// "cannot be read" when it opens now.
OpenFailure read_failure(const std::filesystem::path& file);

// How a command reads the file the user chooses.
struct UserFileRead {
  FileRequest request;
  std::size_t k;                        // values a row: energy, then intensities
  std::size_t capacity = kRowCapacity;  // rows at most
  std::size_t skip_words = 0;           // header words before the rows
};

// A chosen file that is not plain rows of k numbers, put to the column
// import (or every chosen file, when the import was set up so).
struct ColumnRequest {
  const char* command;  // the command's caption
  std::size_t k;
  const std::filesystem::path& file;
  std::string_view text;
  const TextLayout& layout;
  const std::string& problem;  // why the file cannot be read as it is; "" when it can
};

// Chooses the columns of a file; nullopt when the user cancels.
using ColumnImporter = std::function<std::optional<ColumnChoice>(const ColumnRequest&)>;

// A project file chosen: which of its groups to load.
struct GroupRequest {
  const char* command;  // the command's caption
  const std::filesystem::path& file;
  const std::vector<ProjectGroup>& groups;
  // Set by a load that merges: whether the chosen groups are shifted onto
  // the first's steepest rise before they are merged (the chooser may ask).
  bool* align = nullptr;
};

// The groups chosen (0-based, in the order they are merged); nullopt when
// the user cancels, or with `error` set when the choice names no group.
using GroupChooser =
    std::function<std::optional<std::vector<std::size_t>>(const GroupRequest&, std::string& error)>;

// The only way a command reaches the user's own files: the file to open
// or to save (the file dialog, or the name given on the command line), the
// columns of a file that is not plain rows (the column import, or the
// shell's options), and whether a file that exists may be replaced. A
// command that touches a user's file takes one; it converts from a bare
// chooser, which leaves the rest as below.
struct UserFiles {
  UserFiles() = default;
  UserFiles(FileChooser c) : choose(std::move(c)) {}  // NOLINT: a chooser alone is enough
  template <class F>
    requires std::is_invocable_v<const F&, const FileRequest&>
  UserFiles(F f) : choose(std::move(f)) {}  // NOLINT: as a chooser
  UserFiles(FileChooser c, ColumnImporter i, bool every = false)
      : choose(std::move(c)), import_columns(std::move(i)), import_every_file(every) {}

  FileChooser choose;             // none: every request is cancelled
  // The files of a load that takes several; none: `choose` gives one.
  SeveralFilesChooser choose_several;
  ColumnImporter import_columns;  // none: a file that is not plain rows is refused with a hint
  bool import_every_file = false;  // the import chooses the columns of plain files too
  GroupChooser choose_groups;  // none: a project file is refused with the list of its groups
  // Asked before `file` is replaced (`why` says by what, for the
  // question); none: a save replaces (the file dialog has asked), anything
  // else is not replaced.
  std::function<bool(const std::filesystem::path& file, std::string_view why)> confirm_replace;
  // The work-space of the commands these files serve, which no save of a
  // user's file may reach (workspace/user_save.h); a dialog sets its own.
  // Empty: the work-space the program uses (WorkSpace::locate()).
  std::filesystem::path work_space;
};

// Asks for a file through `files` and reads it: `skip_words` header
// words, then rows of k numbers, or the rows the column import makes of
// it. Returns true when the command goes on with `rows` (see rows.capped),
// and `after` holds lines (each starting "\r\n") to put after the command's
// message: the conversion applied, a dropped last line, an empty file.
// Otherwise the command ends: after a cancel with nothing changed, with
// `failure` set when the file cannot be opened, or with an "ERROR!!" text
// in `message` when a line holds something that is not a number or not k
// values.
bool read_chosen_file(const UserFiles& files, const UserFileRead& how, RowsRead& rows,
                      std::optional<OpenFailure>& failure, std::string& message,
                      std::string& after);
// The same for a file already chosen; `absorber` (when given) gets the
// edge an XDI file names ("Fe K"), else "".
bool read_user_file(const UserFiles& files, const UserFileRead& how,
                    const std::filesystem::path& file, RowsRead& rows,
                    std::optional<OpenFailure>& failure, std::string& message, std::string& after,
                    std::string* absorber = nullptr);

// The groups of the project file `file` (its bytes, gzip) that
// `files.choose_groups` chooses. False when the command ends: after a
// cancel, or with an "ERROR!!" text in `message` (not a project file, no
// chooser or a choice that names no group: with the list of the groups, a
// chosen group without points).
bool choose_project_groups(const UserFiles& files, const char* command,
                           const std::filesystem::path& file, std::string_view bytes,
                           std::vector<ProjectGroup>& chosen, std::string& message,
                           bool* align = nullptr);

// Asks for a file to save through `files` (FileKind::save_data) and
// replaces it by `content` as a whole (save_user_file, workspace/user_save.h).
// Nothing when the user cancelled; else the message: `saved` followed by
// the file's full path and ".", or an "ERROR!!" text when the file lies in
// the work-space `work_space` (refused before the user is asked to replace
// it) or cannot be written.
std::optional<std::string> save_chosen_file(const std::filesystem::path& work_space,
                                            const UserFiles& files, std::string_view content,
                                            const char* saved, const char* title = "");

}  // namespace talvern
