#pragma once
// A command sheet: what a dialog's state holds and what its buttons do,
// declared once beside the state.
//
// Each field of the state is named once, with the caption of its widget
// and the option that sets it from the shell; each command once, with its
// caption, its subcommand, its usage and the function that runs it. The
// dialog binds its widgets and buttons by the sheet; talvern-cli builds its
// subcommands, options, help and usage errors from all the sheets; and
// every run, from either, is written down as the talvern-cli line that
// does the same (the history).

#include <any>
#include <array>
#include <cmath>
#include <limits>
#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plot/panel.h"
#include "workspace/user_file.h"
#include "workspace/workspace.h"

namespace talvern {

// A command line the subcommand cannot take; reported with its usage.
struct UsageError {
  std::string what;
};

// What a command leaves for the user.
struct Outcome {
  std::string message;                 // the message pane's text, lines split by "\r\n"
  std::optional<OpenFailure> failure;  // a chosen file that could not be opened
  std::string after;                   // lines shown after the message (read-only boxes), each ended by '\n'
  bool failed = false;                 // refused although the message is no "ERROR!!"

  // Exit status 1: an error message, a file that could not be opened or
  // written, or a refusal.
  bool refused() const;
};

// The values of the options of one command line, by option name.
class Options {
 public:
  std::optional<std::string_view> get(std::string_view name) const {
    for (const auto& [n, v] : values_)
      if (n == name) return std::string_view(v);
    return std::nullopt;
  }
  bool has(std::string_view name) const { return get(name).has_value(); }
  void set(std::string name, std::string value) {
    values_.emplace_back(std::move(name), std::move(value));
  }
  const std::vector<std::pair<std::string, std::string>>& all() const { return values_; }

 private:
  std::vector<std::pair<std::string, std::string>> values_;
};

// What a command is given besides the work-space and its state, and what it
// hands back besides the state.
struct CommandRun {
  UserFiles files;                      // the user's files
  std::vector<std::string> arguments;   // positional arguments of the command line
  Options options;  // the options of a command line; the command reads those that set no field
  std::optional<plot::ClickPoint> click;  // the click on a panel that runs the command
  const std::atomic<bool>* stop = nullptr;          // "Stop" or Ctrl-C ends a long run
  std::function<void(const std::string&)> progress;  // a line on how far a long run is
  // The steps of a long run: at `done` of `first` ... `last`.
  std::function<void(std::size_t done, std::size_t first, std::size_t last)> steps;
  std::any watch;  // a dialog's own watch of a long run (OptimWatch, PlaneWatch)
  Outcome outcome;                      // the command's message is added after it runs

  // What the command adds to its line in the history beyond the fields: a
  // click's energy, say. Written by the command.
  std::vector<std::pair<std::string, std::string>> replay_options;
  std::optional<std::vector<std::string>> replay_arguments;  // replaces `arguments` in the history
  bool record = true;  // false: not written into the history (nothing happened, or a replay)
};

// The files a command reads and writes, which its button's tip and its
// help give: work-space files by their names (workspace/file_names.h), and
// a file the user chooses (the FILE of its usage, a file dialog in the
// program). Every run with a subcommand also appends to the history, which
// is not named.
struct Touches {
  enum class Yours { none, read, written };
  static constexpr const char* kEveryFile = "every work-space file";  // a study

  std::vector<const char*> reads = {};
  std::vector<const char*> writes = {};
  Yours yours = Yours::none;
};

// What `t` says: "reads a file you choose, A.DAT; writes B.DAT", "writes a
// file you choose; touches no work-space file", or "touches no file".
std::string touches_text(const Touches& t);

// The files of several commands together, each named once.
Touches touched_by_all(const std::vector<const Touches*>& all);

// One field of a state.
template <class State>
struct Field {
  const char* caption;  // of its widget, as the dialog labels it
  const char* option;   // "--exc"
  // The option's text into the state; throws UsageError when it cannot be.
  std::function<void(State&, std::string_view)> set = {};
  // The option's text for the history; none when it is not given (a flag
  // not set, a radio group with nothing chosen). "" stands for a flag.
  std::function<std::optional<std::string>(const State&)> get = {};
  // For an option given any number of times: each value, in order.
  std::function<std::vector<std::string>(const State&)> get_all = {};
};

// A command of a dialog.
template <class State>
struct Command {
  using Run = std::function<void(const WorkSpace&, State&, CommandRun&)>;

  const char* caption;  // its button; "" when it has none
  const char* name;     // its subcommand; "" for a command of the dialog only
  // Positional arguments and options as the help shows them: "FILE" a
  // positional, "--exc T" required, "[--exc T]" optional, "[--compare]" a
  // flag, "(--add|--subtract)" one of two flags; "\n" continues the help on
  // the next line. Every option is a field of the sheet, a display option
  // (`Shown`), a column option of the user's file or one the command reads
  // from CommandRun::options.
  const char* usage;
  const char* help;
  Run run;
  Touches touches = {};  // the files it reads and writes
  bool repaint = false;  // the dialog draws its panels anew afterwards
  // Fills in what a command line left out, from the work-space, before the
  // run is written down (none: nothing to fill).
  void (*fill)(const WorkSpace&, State&, const CommandRun&) = nullptr;
};

// Something a command looks at on the dialog's display (a measured RIXS
// being shown), given on the shell by a flag.
template <class State>
struct Shown {
  const char* option;
  std::function<bool(const State&)> is_shown;
  std::function<void(State&)> show;
};

template <class State>
struct Sheet {
  // The state as the dialog opens with it.
  std::function<State(const WorkSpace&)> open = [](const WorkSpace&) { return State{}; };
  std::vector<Field<State>> fields = {};
  std::vector<Shown<State>> shown = {};
  std::vector<Command<State>> commands = {};

  const Field<State>* field(std::string_view option) const {
    for (const auto& f : fields)
      if (option == f.option) return &f;
    return nullptr;
  }
  // The command with caption, or else subcommand, `name`.
  const Command<State>* command(std::string_view name) const {
    for (const auto& c : commands)
      if (name == c.caption || (*c.name && name == c.name)) return &c;
    return nullptr;
  }
  // The files of every command of the sheet.
  Touches touches() const {
    std::vector<const Touches*> all;
    for (const auto& c : commands) all.push_back(&c.touches);
    return touched_by_all(all);
  }
};

// ---- fields --------------------------------------------------------------------

// A number in the shortest text that reads back as the same double.
std::string shortest_text(double value);

namespace sheet {

// An edit box, kept as typed.
template <class State>
Field<State> text(const char* caption, const char* option, std::string State::*member) {
  return {caption, option, [member](State& s, std::string_view t) { s.*member = std::string(t); },
          [member](const State& s) { return std::optional<std::string>(s.*member); }};
}

// A list given by an option any number of times, each value an entry.
template <class State>
Field<State> repeated(const char* caption, const char* option,
                      std::vector<std::string> State::*member) {
  return {caption, option,
          [member](State& s, std::string_view t) { (s.*member).emplace_back(t); },
          [](const State&) { return std::optional<std::string>(); },
          [member](const State& s) { return s.*member; }};
}

// A check box given as a flag.
template <class State>
Field<State> flag(const char* caption, const char* option, bool State::*member) {
  return {caption, option, [member](State& s, std::string_view) { s.*member = true; },
          [member](const State& s) {
            return s.*member ? std::optional<std::string>("") : std::nullopt;
          }};
}

// A radio group: the words the option takes, in the order of the buttons'
// ids; -1 (nothing chosen) is left out.
template <class State>
Field<State> choice(const char* caption, const char* option, int State::*member,
                    std::vector<std::string> words, std::string allowed = {}) {
  return {caption, option,
          [=](State& s, std::string_view t) {
            for (std::size_t i = 0; i < words.size(); ++i)
              if (t == words[i]) {
                s.*member = static_cast<int>(i);
                return;
              }
            throw UsageError{std::string(option) + " takes " + allowed + ", not " + std::string(t)};
          },
          [=](const State& s) -> std::optional<std::string> {
            const int i = s.*member;
            if (i < 0 || static_cast<std::size_t>(i) >= words.size()) return std::nullopt;
            return words[static_cast<std::size_t>(i)];
          }};
}

// A drop-down list whose entries the state owns: the option names an entry
// (followed by `suffix` in the list: "9" for "9 points").
template <class State>
Field<State> list(const char* caption, const char* option, std::vector<std::string> State::*entries,
                  int State::*selected, const char* allowed, std::string suffix = {}) {
  return {caption, option,
          [=](State& s, std::string_view t) {
            const std::vector<std::string>& e = s.*entries;
            for (std::size_t i = 0; i < e.size(); ++i)
              if (e[i] == std::string(t) + suffix) {
                s.*selected = static_cast<int>(i);
                return;
              }
            throw UsageError{std::string(option) + " takes " + allowed + ", not " + std::string(t)};
          },
          [=](const State& s) -> std::optional<std::string> {
            const std::vector<std::string>& e = s.*entries;
            const int i = s.*selected;
            if (i < 0 || static_cast<std::size_t>(i) >= e.size()) return std::nullopt;
            std::string entry = e[static_cast<std::size_t>(i)];
            if (entry.ends_with(suffix)) entry.resize(entry.size() - suffix.size());
            return entry;
          }};
}

// Four boxes A..D, given comma-separated, each kept as typed.
template <class State>
Field<State> four_texts(const char* caption, const char* option,
                        std::array<std::string, 4> State::*member) {
  return {caption, option,
          [=](State& s, std::string_view t) {
            std::array<std::string, 4> out;
            std::size_t n = 0;
            for (std::size_t start = 0;; ++n) {
              const std::size_t comma = t.find(',', start);
              if (n < out.size()) out[n] = std::string(t.substr(start, comma - start));
              if (comma == std::string_view::npos) break;
              start = comma + 1;
            }
            if (n + 1 != out.size())
              throw UsageError{std::string(option) +
                               " takes four comma-separated values (A,B,C,D)"};
            s.*member = std::move(out);
          },
          [=](const State& s) -> std::optional<std::string> {
            const auto& a = s.*member;
            return a[0] + "," + a[1] + "," + a[2] + "," + a[3];
          }};
}

// ---- commands ------------------------------------------------------------------

// A command function of the dialog in any of its forms, as a Command::Run.
// The forms: (ws, state), (state), (ws, files, state) returning nothing or
// the file that could not be opened.
template <class State, class F>
typename Command<State>::Run run(F f) {
  return [f](const WorkSpace& ws, State& s, CommandRun& r) {
    if constexpr (std::is_invocable_v<F, const WorkSpace&, const UserFiles&, State&>) {
      using Result = std::invoke_result_t<F, const WorkSpace&, const UserFiles&, State&>;
      if constexpr (std::is_void_v<Result>)
        f(ws, r.files, s);
      else
        r.outcome.failure = f(ws, r.files, s);
    } else if constexpr (std::is_invocable_v<F, const WorkSpace&, State&>) {
      f(ws, s);
    } else {
      f(s);
    }
  };
}

// The click of `run` (a panel's, or X_L or --energy of the command line).
plot::ClickPoint click_of(std::string_view command, const CommandRun& run);

// A command run by a click on a panel: `f(ws, state, click, &energy)`
// returns false when the click does not count. The history gets the energy
// the click set, exactly (--energy), or the click's whole panel x.
template <class State, class F>
typename Command<State>::Run click(const char* name, F f) {
  return [=](const WorkSpace& ws, State& s, CommandRun& run) {
    const plot::ClickPoint point = click_of(name, run);
    double energy = std::numeric_limits<double>::quiet_NaN();
    if (!f(ws, s, point, &energy)) {
      run.record = false;
      return;
    }
    if (std::isfinite(energy)) {
      run.replay_options.emplace_back("--energy", shortest_text(energy));
      run.replay_arguments.emplace();
    } else {
      run.replay_arguments = std::vector<std::string>{std::to_string(static_cast<long>(point.x))};
    }
  };
}

}  // namespace sheet

// ---- the sheets as the shell sees them -------------------------------------------

// One subcommand, whichever sheet declares it.
struct Subcommand {
  std::string name;
  std::string usage;  // as Command::usage
  std::string help;
  // Runs the command with the arguments of a command line, which the
  // runner has checked against the usage, and writes it into the history
  // (unless run.record is false); throws UsageError for values the command
  // cannot take.
  std::function<void(const WorkSpace&, CommandRun&)> run;
  // Checks the values of the options without the work-space; throws
  // UsageError. None: the run checks them.
  std::function<void(CommandRun&)> check = {};
  Touches touches = {};  // the files it reads and writes, said under its help
};

}  // namespace talvern
