#pragma once
// The history of a work-space: every command run on it, from the program or
// from the shell, refused ones too, as the talvern-cli line that does the
// same, after a comment with the time and the exit status. It is the one
// work-space file that is appended to instead of replaced, so that a
// command costs one short write. `talvern-cli replay` runs it again.

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "command/sheet.h"
#include "workspace/workspace.h"

namespace talvern {

inline constexpr const char* kHistoryProgram = "talvern-cli";

// `word` as sh reads it back: unquoted when it holds only safe characters,
// else in single quotes.
std::string sh_quote(std::string_view word);

// The line that runs the command `words` (without "talvern-cli").
std::string command_text(const std::vector<std::string>& words);

// One entry: "# TIME exit STATUS" and the line.
std::string history_entry(const std::vector<std::string>& words, int status,
                          std::string_view time);

// Appends the entry of a command that ended with `status` to the
// work-space's history (O_APPEND, flushed). Nothing when the work-space
// does not exist; a failed append gives the caution to add to the command's
// message, which leaves its exit status as it was.
std::string append_history(const WorkSpace& ws, const std::vector<std::string>& words, int status);

// Exit status of a command that left `outcome`: 1 when it was refused.
inline int exit_status(const Outcome& outcome) { return outcome.refused() ? 1 : 0; }

// The entries of a history file: the line number of each command, its words
// and the exit status recorded for it.
struct HistoryLine {
  std::size_t line = 0;
  std::vector<std::string> words;  // "talvern-cli" first
  int status = 0;
};
// False, with `error` set, when a line cannot be read back.
bool parse_history(std::string_view text, std::vector<HistoryLine>& lines, std::string& error);

// Prints an outcome as talvern-cli does: the message ("\r\n" as a line
// break), then its lines after; a file that could not be opened on `err`.
void print_outcome(const Outcome& outcome, std::FILE* out, std::FILE* err);
void print_message(const std::string& message, std::FILE* out);
// A message as talvern-cli prints it: each "\r\n" a "\n".
std::string shell_lines(std::string_view message);

}  // namespace talvern
