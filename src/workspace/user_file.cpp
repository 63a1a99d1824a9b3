#include "workspace/user_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "workspace/file_names.h"
#include "workspace/load_messages.h"
#include "workspace/number_text.h"
#include "workspace/user_save.h"
#include "workspace/xdi.h"

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

OpenFailure read_failure(const std::filesystem::path& file) {
  return check_user_file(file).value_or(OpenFailure{file, "cannot be read"});
}

namespace {

// The longest line a user's file may hold. No measured file comes near it;
// a longer line is refused before it is read whole, so that the memory a
// load takes follows the rows it reads, not the file.
constexpr std::size_t kLongestLine = std::size_t{1} << 20;
// What the first read of a user's file takes; every further read takes
// as much again as is held.
constexpr std::size_t kFirstRead = std::size_t{1} << 18;

// The start of a user's file, read as far as its readers need it: whole
// lines only (the last line as the file ends it), each read doubling what
// is held, so that a file far larger than the rows a command reads costs
// no more than those rows.
class FileStart {
 public:
  explicit FileStart(const std::filesystem::path& file)
      : fd_(::open(file.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat st {};
    if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) failed_ = true;
    if (fd_ < 0) failed_ = true;
  }
  ~FileStart() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileStart(const FileStart&) = delete;
  FileStart& operator=(const FileStart&) = delete;

  // The whole lines read so far.
  std::string_view text() const { return std::string_view(bytes_).substr(0, whole_); }
  // The bytes read so far, a line cut short included.
  std::string_view bytes() const { return bytes_; }
  bool complete() const { return at_end_ && whole_ == bytes_.size(); }
  bool failed() const { return failed_; }
  // The line (1-based) that is longer than kLongestLine; 0 while none is.
  std::size_t long_line() const { return long_line_; }

  // Reads at least one more line, about as much again as is held. False
  // when nothing more can be read: at the end of the file, after a read
  // that failed, or at a line that is too long.
  bool more() {
    const std::size_t before = whole_;
    while (whole_ == before && !failed_ && long_line_ == 0 && !complete()) {
      const std::size_t goal = bytes_.size() + std::max(kFirstRead, bytes_.size());
      while (bytes_.size() < goal && !at_end_ && !failed_) read_some(goal - bytes_.size());
      take_lines();
    }
    return whole_ != before;
  }

 private:
  void read_some(std::size_t n) {
    const std::size_t held = bytes_.size();
    bytes_.resize(held + n);
    const ssize_t got = ::read(fd_, bytes_.data() + held, n);
    bytes_.resize(held + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    if (got == 0) at_end_ = true;
    if (got < 0 && errno != EINTR) failed_ = true;
  }
  // Moves the end of the whole lines past every line break read, and
  // notes a line that has grown too long.
  void take_lines() {
    for (std::size_t nl; (nl = bytes_.find('\n', scanned_)) != std::string::npos;) {
      if (nl - whole_ > kLongestLine) break;
      whole_ = scanned_ = nl + 1;
      ++lines_;
    }
    scanned_ = std::max(scanned_, bytes_.size());
    const std::size_t nl = bytes_.find('\n', whole_);
    const std::size_t line_end = nl == std::string::npos ? bytes_.size() : nl;
    if (line_end - whole_ > kLongestLine)
      long_line_ = lines_ + 1;
    else if (at_end_ && !failed_)
      whole_ = bytes_.size();  // the last line, as the file ends it
  }

  int fd_;
  std::string bytes_;
  std::size_t whole_ = 0;    // bytes_ up to the end of the last whole line
  std::size_t scanned_ = 0;  // bytes_ searched for line breaks
  std::size_t lines_ = 0;    // line breaks before whole_
  std::size_t long_line_ = 0;
  bool at_end_ = false, failed_ = false;
};

std::string long_line_message(std::size_t line) {
  return "ERROR!!\r\nLine " + std::to_string(line) + " of the file is longer than " +
         std::to_string(kLongestLine >> 20) + " MB; no measured\r\nfile holds such a line. "
         "Nothing was introduced into \r\n" TALVERN_WORK_SPACE_NAME ".";
}

// A line that does not hold k values, counted as white-space separated
// words after the header words; the line of the last header word is not
// counted. Looks no further than the rows the capacity lets be read.
struct WrongWidth {
  std::size_t line = 0;  // 0: every line holds k values
  std::size_t found = 0;
  bool past_capacity = false;  // the rows the capacity lets be read were all looked at
};
WrongWidth first_wrong_width(std::string_view text, std::size_t k, std::size_t skip_words,
                             std::size_t capacity) {
  std::size_t line = 1, words = 0, rows = 0;
  std::size_t i = 0;
  for (std::size_t skipped = 0; skipped < skip_words && i < text.size();) {
    while (i < text.size() && is_space(text[i])) line += text[i++] == '\n';
    if (i == text.size()) break;
    while (i < text.size() && !is_space(text[i])) ++i;
    ++skipped;
  }
  // The rest of the line of the last header word is not counted.
  if (skip_words > 0) {
    while (i < text.size() && text[i] != '\n') ++i;
    if (i < text.size()) ++i, ++line;
  }
  for (; i <= text.size() && rows <= capacity; ++i) {
    if (i == text.size() || text[i] == '\n') {
      if (words != 0 && words != k) return {line, words};
      rows += words != 0;
      words = 0;
      ++line;
    } else if (!is_space(text[i]) && (i == 0 || is_space(text[i - 1]))) {
      ++words;
    }
  }
  return {.past_capacity = rows > capacity};
}

bool blank(std::string_view text) { return std::all_of(text.begin(), text.end(), is_space); }

const char* separator_name(Separator sep) {
  return sep == Separator::comma ? "commas (\",\")" : "semicolons (\";\")";
}

// What tells the user how the file could still be read.
std::string column_hint(const TextLayout& layout) {
  if (layout.columns == 0) return {};
  std::string hint = "\r\nThe file holds " + std::to_string(layout.columns) + " column" +
                     (layout.columns == 1 ? "" : "s") + " of numbers";
  if (layout.header_lines) hint += " after " + std::to_string(layout.header_lines) + " header line" +
                                   (layout.header_lines == 1 ? "" : "s");
  if (layout.separator != Separator::white_space)
    hint += std::string(",\r\nseparated by ") + separator_name(layout.separator);
  return hint + ". Choose its columns with\r\nthe column import (talvern-cli: --columns).";
}

}  // namespace

bool read_chosen_file(const UserFiles& files, const UserFileRead& how, RowsRead& rows,
                      std::optional<OpenFailure>& failure, std::string& message,
                      std::string& after) {
  const std::optional<std::filesystem::path> file = files.choose ? files.choose(how.request) : std::nullopt;
  return file && read_user_file(files, how, *file, rows, failure, message, after);
}

bool read_user_file(const UserFiles& files, const UserFileRead& how,
                    const std::filesystem::path& chosen, RowsRead& rows,
                    std::optional<OpenFailure>& failure, std::string& message, std::string& after,
                    std::string* absorber) {
  const std::filesystem::path* file = &chosen;
  if (absorber) absorber->clear();
  // The file is read only as far as each step below needs it.
  FileStart start(*file);
  // Reads on until `enough` holds for the lines read or the file is read
  // whole; false, with the failure or the message set, when it cannot go on.
  auto read_until = [&](auto enough) {
    while (!enough(start.text()) && start.more()) {
    }
    if (enough(start.text()) || start.complete()) return true;
    if (start.long_line() != 0)
      message = long_line_message(start.long_line());
    else  // ask the system why; a file that opens now still gets a reason
      failure = read_failure(*file);
    return false;
  };
  if (!read_until([&](std::string_view) { return start.bytes().size() >= 2; })) return false;
  after.clear();
  if (is_gzip(start.bytes())) {  // a project file: one group, as pairs
    std::string text;
    if (!read_text(*file, text)) {
      failure = read_failure(*file);
      return false;
    }
    std::vector<ProjectGroup> groups;
    if (!choose_project_groups(files, how.request.title, *file, text, groups, message)) return false;
    if (groups.size() != 1 || how.k != 2) {
      message = "ERROR!!\r\nThis command reads one group of a project file, as " +
                std::to_string(how.k) + " values a row;\r\n" + std::to_string(groups.size()) +
                " groups of 2 values a row were chosen. Nothing was\r\nintroduced into "
                TALVERN_WORK_SPACE_NAME ".";
      return false;
    }
    rows = group_rows(groups[0], how.capacity);
    after = "\r\nProject group: \"" + groups[0].label + "\"";
    return true;
  }

  // As plain rows: known once a line is refused, or once both the rows and
  // the width check have reached the capacity.
  WrongWidth width;
  if (!read_until([&](std::string_view text) {
        rows = parse_rows(text, how.k, how.capacity, how.skip_words);
        width = first_wrong_width(text, how.k, how.skip_words, how.capacity);
        return rows.bad_token || width.line != 0 || (rows.capped && width.past_capacity);
      }))
    return false;
  if (start.complete() && blank(start.text()))
    after = "\r\nCAUTION!! The file is empty; no values were read.";
  std::string problem;
  if (rows.bad_token && (width.line == 0 || rows.bad_line <= width.line))
    problem = not_a_number_message(rows.bad_line);
  else if (width.line != 0)
    problem = wrong_width_message(width.line, width.found, how.k);

  // The rows as read, when the command goes on with them.
  auto plain_rows = [&] {
    if (rows.last_row_dropped)
      after += "\r\nCAUTION!! The last line of the file has no line break; its values were not read.";
    return true;
  };
  const ColumnImporter& import = files.import_columns;
  const bool xdi = is_xdi(start.text());
  if (problem.empty() && !(import && files.import_every_file) && !xdi) return plain_rows();
  // The columns: known once the first line of data is read.
  TextLayout layout;
  if (!read_until([&](std::string_view text) {
        layout = sniff_columns(text);
        return layout.columns != 0;
      }))
    return false;
  const std::string_view text = start.text();
  // An XDI file names its absorber and proposes its columns.
  bool xdi_proposal = false;
  if (xdi) {
    const XdiHeader header = read_xdi_header(text);
    if (const std::string hint = xdi_hint(header); !hint.empty()) after += "\r\n" + hint;
    if (absorber) *absorber = xdi_absorber(header);
    xdi_proposal = layout.proposal && layout.proposal->intensities.size() + 1 == how.k;
  }
  if (problem.empty() && !(import && files.import_every_file) && !(xdi_proposal && !import))
    return plain_rows();
  std::optional<ColumnChoice> choice;
  if (xdi_proposal && !import) {
    choice = layout.proposal;  // the shell without --columns takes the proposal
  } else {
    // A file without a line of numbers has no columns to choose.
    if (!import || (layout.columns == 0 && !problem.empty())) {
      message = problem + column_hint(layout);
      return false;
    }
    choice = import(ColumnRequest{how.request.title, how.k, *file, text, layout, problem});
  }
  if (!choice) return false;
  if (choice->intensities.size() + 1 != how.k) {
    message = "ERROR!!\r\nThe columns chosen give " + std::to_string(choice->intensities.size() + 1) +
              " values a row;\r\nthis command reads " + std::to_string(how.k) +
              ". Nothing was introduced into \r\n" TALVERN_WORK_SPACE_NAME ".";
    return false;
  }
  // The rows: known once a line is refused or a row past the capacity is made.
  ConvertedText converted;
  if (!read_until([&](std::string_view lines) {
        converted = convert_columns(lines, layout, *choice, how.capacity);
        return converted.error_line != 0 || converted.rows > how.capacity;
      }))
    return false;
  if (!converted.error.empty()) {
    message = converted.error;
    return false;
  }
  rows = parse_rows(converted.plain, how.k, how.capacity, 0);
  after += "\r\n" + describe_columns(*choice);
  if (converted.left_out) after += "\r\n" + converted.caution();
  return true;
}

bool choose_project_groups(const UserFiles& files, const char* command,
                           const std::filesystem::path& file, std::string_view bytes,
                           std::vector<ProjectGroup>& chosen, std::string& message,
                           bool* align) {
  ProjectFile project = read_project(bytes, file.string());
  if (!project.error.empty()) {
    message = project.error;
    return false;
  }
  const std::string list = group_list(project.groups);
  const std::string nothing = "\r\nNothing was introduced into \r\n" TALVERN_WORK_SPACE_NAME ".";
  if (!files.choose_groups) {
    message = "ERROR!!\r\n" + file.string() +
              "\r\nis a project file: choose its groups with --group LABEL\r\nor --group '#N' "
              "(repeated for several, which are merged):" + list + nothing;
    return false;
  }
  std::string error;
  const auto picked = files.choose_groups(GroupRequest{command, file, project.groups, align}, error);
  if (!error.empty()) {
    message = "ERROR!!\r\n" + error + ". Its groups:" + list + nothing;
    return false;
  }
  if (!picked || picked->empty()) return false;
  chosen.clear();
  for (std::size_t i : *picked) {
    if (i >= project.groups.size()) return false;
    if (project.groups[i].x.empty()) {
      message = "ERROR!!\r\nGroup \"" + project.groups[i].label + "\" of the project file holds no points." + nothing;
      return false;
    }
    chosen.push_back(project.groups[i]);
  }
  return true;
}

std::optional<std::string> save_chosen_file(const std::filesystem::path& work_space,
                                            const UserFiles& files, std::string_view content,
                                            const char* saved, const char* title) {
  const std::optional<std::filesystem::path> file =
      files.choose ? files.choose(FileRequest(FileKind::save_data, title)) : std::nullopt;
  if (!file) return std::nullopt;
  // A file of the work-space is refused before the user is asked to replace it.
  if (std::string refusal = work_space_target_error(work_space, *file); !refusal.empty())
    return refusal;
  std::error_code exists_ec;
  if (files.confirm_replace && std::filesystem::exists(*file, exists_ec) &&
      !files.confirm_replace(*file, ""))
    return std::nullopt;
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(*file, ec);
  if (ec) full = *file;
  const UserSave save = save_user_file(work_space, full, content);
  if (!save.refusal.empty()) return save.refusal;
  if (!save)
    return "ERROR!!\r\n" + full.string() + "\r\ncould not be written; nothing was saved.";
  return saved + full.string() + ".";
}

}  // namespace talvern
