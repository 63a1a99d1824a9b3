#pragma once
// Saves of the user's own files (RIXS, modified XAFS, the plane's data and
// pictures, a panel's pictures and curves, studies): the one way such a
// file is written, so that none can take the place of a work-space file.

#include <filesystem>
#include <string>
#include <string_view>

#include "workspace/row_io.h"

namespace talvern {

// The "ERROR!!" text, naming `file`, when the user's file `file` would
// reach the work-space `work_space`: its path, made absolute with every
// symbolic link resolved (a file not made yet by its folder), lies in the
// work-space folder at any depth, or it is the same file (device and
// inode) as one of the work-space's, or its folder is one of the
// work-space's folders under another name. Empty when it may be saved.
std::string work_space_target_error(const std::filesystem::path& work_space,
                                    const std::filesystem::path& file);

// How a save of a user's file ended.
struct UserSave {
  WriteStatus status = WriteStatus::ok;  // cannot_write: errno holds the system's reason
  std::string refusal;  // set (status cannot_write) when the work-space keeps the file
  explicit operator bool() const { return status == WriteStatus::ok; }
};

// Replaces the user's file `file` by `content` as a whole, unless
// work_space_target_error refuses it (then nothing is written). The
// temporary beside the file (see write_text_atomic) is removed on every
// failure; temporaries of the same file that a killed save left there are
// removed first, while no other save in that folder is under way.
UserSave save_user_file(const std::filesystem::path& work_space, const std::filesystem::path& file,
                        std::string_view content);

}  // namespace talvern
