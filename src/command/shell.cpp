#include "command/shell.h"


#include "command/history.h"
#include "command/usage.h"
#include "workspace/journal.h"
#include "workspace/row_io.h"

namespace talvern {

namespace {
constexpr int kColumn = 27;  // width of the usage column
}  // namespace

void print_entry(std::FILE* out, const Subcommand& s) {
  // Continuation lines of the arguments line up after the name.
  const std::string indent(s.name.size() + 1, ' ');
  std::string_view args = s.usage;
  std::string line = s.name;
  for (bool first = true; !args.empty(); first = false) {
    const std::size_t nl = args.find('\n');
    if (!first) {
      std::fprintf(out, "  %s\n", line.c_str());
      line = indent;
    } else {
      line += ' ';
    }
    line += args.substr(0, nl);
    args = nl == std::string_view::npos ? std::string_view() : args.substr(nl + 1);
  }
  // A usage too long for the column puts the description on the next line.
  if (line.size() > static_cast<std::size_t>(kColumn)) {
    std::fprintf(out, "  %s\n", line.c_str());
    line.clear();
  }
  std::fprintf(out, "  %-*s %s\n", kColumn, line.c_str(), s.help.c_str());
}

void print_help(std::FILE* out, const std::vector<Subcommand>& list) {
  std::fprintf(out,
               "%s\nThe work-space is DIR when given, else $TALVERN_WORK_SPACE, else "
               "~/TALVERN_WORK_SPACE.\n\nSubcommands:\n",
               kUsageLine);
  // The help of each also says the files it reads and writes.
  for (const auto& s : list) {
    print_entry(out, s);
    std::fprintf(out, "  %-*s (%s)\n", kColumn, "", touches_text(s.touches).c_str());
  }
}

int usage_error(const std::string& what, const std::vector<Subcommand>& list,
                const Subcommand* command) {
  std::fprintf(stderr, "talvern-cli: %s\n\n", what.c_str());
  if (!command) {
    print_help(stderr, list);
  } else {
    std::fputs(kUsageLine, stderr);
    print_entry(stderr, *command);
    std::fputs("Run talvern-cli --help for every subcommand.\n", stderr);
  }
  return 2;
}

const Subcommand* find_subcommand(const std::vector<Subcommand>& list, std::string_view name) {
  for (const auto& s : list)
    if (s.name == name) return &s;
  return nullptr;
}

CommandRun parse_command_line(const Subcommand& s, const std::vector<std::string_view>& tokens) {
  CommandRun run;
  split_command_line(s.name, parse_usage(s.usage), tokens, run);
  if (s.check) s.check(run);
  return run;
}

int run_command_line(const WorkSpace& ws, const Subcommand& s, CommandRun run,
                     const ShellRun& shell) {
  const Outcome outcome = command_line_outcome(ws, s, std::move(run), shell);
  print_outcome(outcome, shell.out, shell.err);
  return exit_status(outcome);
}

Outcome command_line_outcome(const WorkSpace& ws, const Subcommand& s, CommandRun run,
                             const ShellRun& shell) {
  // The file dialog of a command is answered by the file named on the line.
  if (!run.arguments.empty() && s.usage.starts_with("FILE"))
    run.files.choose = [path = std::filesystem::path(run.arguments[0])](const FileRequest&) {
      return std::optional(path);
    };
  // A load of repeated scans takes every file of the line.
  if (!run.arguments.empty() && s.usage.find("[FILE...]") != std::string::npos) {
    ChosenFiles chosen{{}, run.options.has("--align")};
    for (const std::string& a : run.arguments) chosen.files.emplace_back(a);
    run.files.choose_several = [chosen](const FileRequest&) { return chosen; };
  }
  run.stop = shell.stop;
  run.progress = shell.progress;
  run.record = shell.record;
  s.run(ws, run);
  return std::move(run.outcome);
}

bool open_for_command(const WorkSpace& ws, const Subcommand& s, WorkSpaceLock& lock,
                      std::vector<std::string>& lines) {
  // A work-space path that is a file holds no work-space: nothing can be
  // read or written there.
  std::error_code ec;
  const auto status = std::filesystem::status(ws.dir(), ec);
  if (s.name != "construct" && !ec && std::filesystem::exists(status) &&
      !std::filesystem::is_directory(status)) {
    lines.push_back("ERROR!!\r\n" + ws.dir().string() +
                    " is a file, not a directory,\r\nso there is no work-space there. "
                    "Nothing was done.");
    return false;
  }
  // One program per work-space: another one holding it may be about to
  // finish a write, so wait for it briefly.
  if (lock.acquire(ws, kLockWait) == WorkSpaceLock::State::refused) {
    lines.push_back(lock_refused_message(lock));
    return false;
  }
  // Before anything else, what a killed program left is put in order (in a
  // work-space without a lock file too, when a replacement is unfinished).
  if (lock.held() || journal_pending(ws)) {
    WorkSpaceRecovery recovery = recover_work_space(ws);
    for (std::string& line : recovery.lines) lines.push_back(std::move(line));
    if (recovery.blocked) return false;
  }
  return true;
}

int replay_history(const WorkSpace& ws, const std::vector<Subcommand>& list,
                   const std::filesystem::path& file, const ShellRun& shell) {
  std::string text;
  if (!read_text(file, text)) {
    const OpenFailure failure = check_user_file(file).value_or(OpenFailure{file, "cannot be read"});
    print_message("ERROR!!\r\n" + failure.text(), shell.out);
    return 1;
  }
  std::vector<HistoryLine> lines;
  std::string error;
  if (!parse_history(text, lines, error)) {
    print_message("ERROR!!\r\n" + file.string() + ": " + error + ". Nothing was run.", shell.out);
    return 1;
  }
  for (const HistoryLine& line : lines) {
    const std::vector<std::string> words(line.words.begin() + 1, line.words.end());
    std::fprintf(shell.out, "$ %s\n", command_text(words).c_str());
    std::fflush(shell.out);
    int status = 2;
    const Subcommand* s = line.words.size() > 1 ? find_subcommand(list, line.words[1]) : nullptr;
    if (s && !s->run) s = nullptr;  // replay itself is never recorded
    if (s) {
      const std::vector<std::string_view> tokens(line.words.begin() + 2, line.words.end());
      try {
        status = run_command_line(ws, *s, parse_command_line(*s, tokens), shell);
      } catch (const UsageError& e) {
        std::fprintf(shell.out, "talvern-cli: %s\n", e.what.c_str());
      }
    }
    if (status != line.status) {
      std::string text = "ERROR!!\r\nThe replay stopped at line ";
      text.append(std::to_string(line.line)).append(" of ").append(file.string());
      text.append(":\r\nit ended with exit status ").append(std::to_string(status));
      text.append(", the history says ").append(std::to_string(line.status));
      text.append(".\r\nThe work-space is as that command left it.");
      print_message(text, shell.out);
      return 1;
    }
  }
  print_message("The " + std::to_string(lines.size()) + " commands of " + file.string() +
                    " were run again, each with the exit status the history gives.",
                shell.out);
  return 0;
}

}  // namespace talvern
