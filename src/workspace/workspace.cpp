#include "workspace/workspace.h"

#include <cstdlib>
#include <system_error>

namespace talvern {

std::filesystem::path home_dir() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  std::error_code ec;
  auto cwd = std::filesystem::current_path(ec);
  return ec ? std::filesystem::path(".") : cwd;
}

WorkSpace WorkSpace::locate(const std::optional<std::filesystem::path>& override_dir) {
  if (override_dir && !override_dir->empty()) return WorkSpace(*override_dir);
  const char* env = std::getenv("TALVERN_WORK_SPACE");
  if (env && *env) return WorkSpace(env);
  return WorkSpace(home_dir() / "TALVERN_WORK_SPACE");
}

bool WorkSpace::exists(const char* name) const {
  std::error_code ec;
  return std::filesystem::exists(dir_ / name, ec);
}

bool WorkSpace::dir_exists() const {
  std::error_code ec;
  return std::filesystem::is_directory(dir_, ec);
}

std::filesystem::path initial_data_dir() {
  std::error_code ec;
  auto d = home_dir() / "TALVERN";
  if (std::filesystem::is_directory(d, ec)) return d;
  return home_dir();
}

}  // namespace talvern
