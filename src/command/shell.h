#pragma once
// The commands from a shell: the help, one command line run and printed as
// talvern-cli prints it, and the replay of a history.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "command/sheet.h"
#include "workspace/lock.h"
#include "workspace/workspace.h"

namespace talvern {

inline constexpr const char* kUsageLine = "usage: talvern-cli [--workspace DIR] SUBCOMMAND [ARGS]\n";

// One subcommand as the help lists it: its usage, then what it does.
void print_entry(std::FILE* out, const Subcommand& s);
void print_help(std::FILE* out, const std::vector<Subcommand>& list);
// Bad usage: the error and the usage of the subcommand it concerns, or the
// whole help when none was recognised. Returns 2.
int usage_error(const std::string& what, const std::vector<Subcommand>& list,
                const Subcommand* command = nullptr);

const Subcommand* find_subcommand(const std::vector<Subcommand>& list, std::string_view name);

// Where a command line's run prints and how it is stopped.
struct ShellRun {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  const std::atomic<bool>* stop = nullptr;          // Ctrl-C
  std::function<void(const std::string&)> progress;  // a long run's progress line
  bool record = true;                               // append the line to the history
};

// The command line `tokens` (the words after the subcommand's name) split
// and checked; throws UsageError for one the subcommand cannot take. Reads
// and changes nothing.
CommandRun parse_command_line(const Subcommand& s, const std::vector<std::string_view>& tokens);

// Runs a parsed command line and prints what the command says. Returns the
// exit status: 0, or 1 after a refusal; throws UsageError (before anything
// ran) for values only the command itself can check.
int run_command_line(const WorkSpace& ws, const Subcommand& s, CommandRun run,
                     const ShellRun& shell);

// The same without printing: what the command says (its exit status is
// exit_status() of it).
Outcome command_line_outcome(const WorkSpace& ws, const Subcommand& s, CommandRun run,
                             const ShellRun& shell);

// How long a command waits for another program to give the work-space up.
inline constexpr std::chrono::milliseconds kLockWait{2000};

// What comes before command `s` runs on `ws`: a work-space path that is a
// file is refused (but by "construct", which says so itself), the lock is
// taken (waiting up to kLockWait for another program), and what a killed
// program left is put in order. The messages to show first go into `lines`;
// false (exit status 1) when the command must not run.
bool open_for_command(const WorkSpace& ws, const Subcommand& s, WorkSpaceLock& lock,
                      std::vector<std::string>& lines);

// "replay FILE": the talvern-cli lines of a history run again in order;
// stops at the first whose exit status differs from the one recorded,
// saying which line. Returns the exit status.
int replay_history(const WorkSpace& ws, const std::vector<Subcommand>& list,
                   const std::filesystem::path& file, const ShellRun& shell);

}  // namespace talvern
