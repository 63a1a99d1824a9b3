#pragma once
// The work-space directory: where it lives and what it holds.

#include <filesystem>
#include <optional>
#include <string>

namespace talvern {

class WorkSpace {
 public:
  explicit WorkSpace(std::filesystem::path dir) : dir_(std::move(dir)) {}

  // The directory in use: `override_dir` when given, else
  // $TALVERN_WORK_SPACE when set and not empty, else ~/TALVERN_WORK_SPACE.
  static WorkSpace locate(const std::optional<std::filesystem::path>& override_dir = {});

  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path file(const char* name) const { return dir_ / name; }
  bool exists(const char* name) const;
  bool dir_exists() const;

 private:
  std::filesystem::path dir_;
};

// The user's home folder ($HOME, else the current directory).
std::filesystem::path home_dir();

// Initial folder of the file dialogs: ~/TALVERN when it exists, else home.
std::filesystem::path initial_data_dir();

}  // namespace talvern
