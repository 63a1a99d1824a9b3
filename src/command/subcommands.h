#pragma once
// The commands of a sheet as subcommands of talvern-cli, and the line of
// the history that a run of a command stands for, whether the dialog or the
// shell ran it.

#include <memory>
#include <string>
#include <vector>

#include "command/history.h"
#include "command/sheet.h"
#include "command/usage.h"

namespace talvern {

// Makes `run` remember the files it is given and the columns chosen for
// them, for the history line.
struct FileRecord {
  std::vector<std::filesystem::path> chosen;
  std::optional<ColumnChoice> columns;
  bool align = false;  // repeated scans aligned on their steepest rise (--align)
  std::vector<std::string> groups;  // the groups of a project file, as --group names them
};
std::shared_ptr<FileRecord> record_files(CommandRun& run);

// `file` as a full path, or as given when it has none.
std::string absolute_text(const std::filesystem::path& file);

// The history line of `command` run on a state that held `before`: its
// name, its positional arguments (the files chosen, as absolute paths),
// then each option of its usage as the state's fields, the display and the
// run give it. Words unquoted; none when a file the line needs was never
// chosen (a cancelled file dialog).
template <class State>
std::vector<std::string> history_words(const Sheet<State>& sheet, const Command<State>& command,
                                       const State& before, const CommandRun& run,
                                       const FileRecord& files) {
  std::vector<std::string> words{command.name};
  const std::vector<UsageItem> usage = parse_usage(command.usage);
  if (run.replay_arguments) {
    words.insert(words.end(), run.replay_arguments->begin(), run.replay_arguments->end());
  } else {
    std::size_t file = 0, argument = 0;
    for (const auto& item : usage) {
      if (!item.positional) continue;
      if (item.name == "FILE" && item.repeatable) {  // the further scans of a load
        for (; file < files.chosen.size(); ++file, ++argument)
          words.push_back(absolute_text(files.chosen[file]));
      } else if (item.name == "FILE" && file < files.chosen.size()) {
        words.push_back(absolute_text(files.chosen[file++]));
        ++argument;
      } else if (argument < run.arguments.size()) {
        const std::string& given = run.arguments[argument++];
        words.push_back(item.name == "FILE" ? absolute_text(given) : given);
      } else if (item.required) {
        return {};  // no file was chosen: nothing to run again
      }
    }
  }
  // An option's value as the run had it; none when it was not given.
  const auto value_of = [&](const std::string& option) -> std::optional<std::string> {
    for (const auto& [name, v] : run.replay_options)
      if (name == option) return v;
    if (const Field<State>* f = sheet.field(option)) return f->get ? f->get(before) : std::nullopt;
    for (const auto& s : sheet.shown)
      if (option == s.option) return s.is_shown(before) ? std::optional<std::string>("") : std::nullopt;
    if (option == "--align") return files.align ? std::optional<std::string>("") : std::nullopt;
    if (is_column_option(option)) {
      if (files.columns)
        for (const auto& [name, v] : column_choice_options(*files.columns))
          if (name == option) return v;
      return std::nullopt;
    }
    if (const auto given = run.options.get(option)) return std::string(*given);
    return std::nullopt;
  };
  for (const auto& item : usage) {
    if (item.positional) continue;
    if (item.name == "--group") {
      for (const std::string& g : files.groups) words.insert(words.end(), {item.name, g});
      continue;
    }
    if (const Field<State>* f = sheet.field(item.name); item.repeatable && f && f->get_all) {
      for (const std::string& value : f->get_all(before)) words.insert(words.end(), {item.name, value});
      continue;
    }
    for (const auto& option : item.alternatives) {
      const std::optional<std::string> value = value_of(option);
      if (!value) continue;
      words.push_back(option);
      if (item.value) words.push_back(*value);
    }
  }
  return words;
}

// Runs `command` of `sheet` on `state` as its button does: the run's
// message becomes the state's, and a command with a subcommand writes the
// line that does the same into the work-space's history (unless
// `run.record` is false), a failed write adding its caution.
template <class State>
void run_and_record(const WorkSpace& ws, const Sheet<State>& sheet, const Command<State>& command,
                    State& state, CommandRun& run) {
  const State before = state;
  const auto files = record_files(run);
  command.run(ws, state, run);
  finish_and_record(ws, sheet, command, before, state, run, *files);
}

// The second half of run_and_record, for a run that went on elsewhere (a
// worker thread) from `before`.
template <class State>
void finish_and_record(const WorkSpace& ws, const Sheet<State>& sheet,
                       const Command<State>& command, const State& before, State& state,
                       CommandRun& run, const FileRecord& files) {
  if (!run.outcome.message.empty()) state.message = run.outcome.message;
  run.outcome.message = state.message;
  if (!*command.name || !run.record) return;
  const auto words = history_words(sheet, command, before, run, files);
  if (words.empty()) return;
  const std::string caution = append_history(ws, words, exit_status(run.outcome));
  state.message += caution;
  run.outcome.message += caution;
}

// The options of a command line into `state`: each field's and each flag
// of the display's. Throws UsageError for a value a field cannot take.
template <class State>
void apply_options(const Sheet<State>& sheet, const Options& options, State& state) {
  for (const auto& [option, value] : options.all()) {
    if (const Field<State>* f = sheet.field(option); f && f->set) f->set(state, value);
    for (const auto& s : sheet.shown)
      if (option == s.option) s.show(state);
  }
}

// Appends the subcommands of `sheet` (those with a name) to `out`.
template <class State>
void add_subcommands(const Sheet<State>& sheet, std::vector<Subcommand>& out) {
  for (const Command<State>& command : sheet.commands) {
    if (!*command.name) continue;
    auto run = [&sheet, &command](const WorkSpace& ws, CommandRun& run) {
      State state = sheet.open(ws);
      apply_options(sheet, run.options, state);
      column_import_from_options(run.options, run.files);
      if (command.fill) command.fill(ws, state, run);
      run_and_record(ws, sheet, command, state, run);
    };
    // The values checked before the work-space is touched.
    auto check = [&sheet, &command](CommandRun& run) {
      State state{};
      apply_options(sheet, run.options, state);
      UserFiles files;
      column_import_from_options(run.options, files);
      if (std::string_view(command.usage).starts_with("[X_L]")) (void)sheet::click_of(command.name, run);
    };
    out.push_back({command.name, command.usage, command.help, run, check, command.touches});
  }
}

}  // namespace talvern
