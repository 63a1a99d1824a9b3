// Test helper: talvern-cli run as a process, and the work-space files it
// leaves.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "support/temp_dir.h"

namespace talvern::test {

struct CliRun {
  int exit_code = -1;
  std::string out;  // standard output only, unless `redirect` says otherwise
};

// `shell_prefix` goes before the program in the shell command (a `cd`,
// variables); `redirect` after it decides what `out` takes.
inline CliRun run_cli_at(const char* program, const std::string& args,
                         const std::string& shell_prefix = "",
                         const char* redirect = " 2>/dev/null") {
  CliRun r;
  const std::string cmd = shell_prefix + "'" + program + "' " + args + redirect;
  std::FILE* pipe = ::popen(cmd.c_str(), "r");
  char buf[4096];
  for (std::size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) r.out.append(buf, n);
  const int status = pipe ? ::pclose(pipe) : -1;
  if (status != -1 && WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
  return r;
}

// The .DAT files of a work-space, by name.
inline std::map<std::string, std::string> dat_files(const std::filesystem::path& dir) {
  std::map<std::string, std::string> all;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().extension() == ".DAT") all[e.path().filename().string()] = read_file(e.path());
  return all;
}

}  // namespace talvern::test
