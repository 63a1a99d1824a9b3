// talvern-cli: the commands of TALVERN from a shell. Each subcommand runs the
// same command as the program's button and prints what the message pane
// would show; the subcommands, their options and the help come from the
// dialogs' command sheets. What is the shell's own is here: the work-space
// option, the lock, Ctrl-C, the progress line on a terminal, and "replay".

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/commands.h"
#include "command/history.h"
#include "command/shell.h"
#include "workspace/lock.h"
#include "workspace/workspace.h"

namespace {

using talvern::WorkSpace;

// Ctrl-C during a long run ("Optimize Selective XAFS", "RIXS Plane...")
// ends it after the step in hand, as "Stop" does in the dialog.
std::atomic<bool> long_run_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);
extern "C" void stop_long_run(int) { long_run_stop.store(true); }

// Sets Ctrl-C to stop the run for the life of the object. An interrupt the
// shell told us to ignore (a background job) stays ignored.
class CtrlCStops {
 public:
  CtrlCStops() : previous_(std::signal(SIGINT, stop_long_run)) {
    if (previous_ == SIG_IGN) std::signal(SIGINT, SIG_IGN);
  }
  ~CtrlCStops() { std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_); }
  CtrlCStops(const CtrlCStops&) = delete;
  CtrlCStops& operator=(const CtrlCStops&) = delete;

 private:
  void (*previous_)(int);
};

// On a terminal, a long run's progress on one line, ended when the run is.
class ProgressLine {
 public:
  ~ProgressLine() {
    if (shown_) std::fputc('\n', stderr);
  }
  std::function<void(const std::string&)> writer() {
    if (!::isatty(2)) return {};
    return [this](const std::string& text) {
      std::fprintf(stderr, "\r%s", text.c_str());
      std::fflush(stderr);
      shown_ = true;
    };
  }

 private:
  bool shown_ = false;
};

// "replay FILE": not a command of a dialog, so the shell's own.
talvern::Subcommand replay_entry() {
  return {"replay", "FILE",
          "run the talvern-cli lines of the history FILE (TALVERN_History.sh) again, in order, "
          "under one lock; stops at the first whose exit status differs from the one recorded",
          nullptr, nullptr, {.yours = talvern::Touches::Yours::read}};
}

int run(const std::vector<talvern::Subcommand>& list, const talvern::Subcommand& s,
        const std::optional<std::filesystem::path>& dir,
        const std::vector<std::string_view>& tokens) {
  talvern::CommandRun parsed = talvern::parse_command_line(s, tokens);
  const WorkSpace ws = WorkSpace::locate(dir);
  talvern::WorkSpaceLock lock;
  std::vector<std::string> first;
  const bool open = talvern::open_for_command(ws, s, lock, first);
  for (const std::string& line : first) talvern::print_message(line, stdout);
  if (!open) return 1;
  const CtrlCStops ctrl_c;
  ProgressLine progress;
  talvern::ShellRun shell;
  shell.stop = &long_run_stop;
  shell.progress = progress.writer();
  if (s.name == "replay")
    return talvern::replay_history(ws, list, std::filesystem::path(parsed.arguments.at(0)), shell);
  return talvern::run_command_line(ws, s, std::move(parsed), shell);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<talvern::Subcommand> list = talvern::all_subcommands();
  list.push_back(replay_entry());
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  std::optional<std::filesystem::path> dir;
  std::size_t i = 0;
  while (i < args.size() && args[i].starts_with("-")) {
    if (args[i] == "--help" || args[i] == "-h") {
      talvern::print_help(stdout, list);
      return 0;
    }
    if (args[i] == "--version") {
      std::printf("talvern-cli %s\n", TALVERN_VERSION);
      return 0;
    }
    if (args[i] == "--workspace") {
      if (i + 1 >= args.size() || args[i + 1].empty())
        return talvern::usage_error("--workspace needs a directory", list);
      dir = std::filesystem::path(std::string(args[i + 1]));
      i += 2;
    } else if (args[i].starts_with("--workspace=")) {
      if (args[i].size() == 12) return talvern::usage_error("--workspace needs a directory", list);
      dir = std::filesystem::path(std::string(args[i].substr(12)));
      ++i;
    } else {
      return talvern::usage_error("unknown option " + std::string(args[i]), list);
    }
  }
  if (i >= args.size()) return talvern::usage_error("no subcommand given", list);
  const std::string_view name = args[i++];
  const talvern::Subcommand* s = talvern::find_subcommand(list, name);
  if (!s) return talvern::usage_error("unknown subcommand " + std::string(name), list);
  const std::vector<std::string_view> rest(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  try {
    return run(list, *s, dir, rest);
  } catch (const talvern::UsageError& e) {
    return talvern::usage_error(e.what, list, s);
  }
}
