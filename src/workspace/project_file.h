#pragma once
// Project files of the common XAFS program: gzip of Perl-like text, one
// block a group:
//   $old_group = 'abcde';
//   @args = ('label','Fe foil', ...key/value pairs...);
//   @x = ('7000','7000.5',...);
//   @y = (...);
// The text is parsed, never evaluated: statements assign a quoted string
// or number, or a list of them, to a variable; anything else refuses the file.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/row_io.h"

namespace talvern {

// Inflated text beyond this is refused.
inline constexpr std::size_t kProjectTextCap = std::size_t{64} << 20;
// A list of more values is refused; so is a file of more groups.
inline constexpr std::size_t kProjectListCap = 1000000;
inline constexpr std::size_t kProjectGroupCap = 10000;

struct ProjectGroup {
  std::string name;          // of $old_group
  std::string label;         // 'label' of @args; the name when there is none
  std::vector<double> x, y;  // the same number of each
};

// A project file read: its groups, or `error` (an "ERROR!!" text).
struct ProjectFile {
  std::vector<ProjectGroup> groups;
  std::string error;
};

// True when the bytes start as gzip does.
bool is_gzip(std::string_view bytes);
bool is_gzip_file(const std::string& path);

// The gzip bytes inflated (up to kProjectTextCap) and parsed; `file` names
// the file in the error.
ProjectFile read_project(std::string_view gzip_bytes, const std::string& file);
// The inflated text parsed.
ProjectFile parse_project(std::string_view text, const std::string& file);

// One line a group: "#1 \"Fe foil\": 401 points, 7000 to 7200 eV", each
// line after "\r\n".
std::string group_list(const std::vector<ProjectGroup>& groups);

// The groups `wanted` names ("#N", 1-based, or a label), in its order;
// nullopt with `error` saying which name has no group or is not unique.
std::optional<std::vector<std::size_t>> resolve_groups(const std::vector<ProjectGroup>& groups,
                                                       const std::vector<std::string>& wanted,
                                                       std::string& error);

// The group's pairs as rows of a load: at most `capacity`, `capped` set when more.
RowsRead group_rows(const ProjectGroup& group, std::size_t capacity);

// How the history names group `i`: its label when no other group has it, else "#N".
std::string group_name(const std::vector<ProjectGroup>& groups, std::size_t i);

}  // namespace talvern
