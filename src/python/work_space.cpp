// talvern.WorkSpace: one method per command of talvern-cli, made from the
// command sheets, so that a command reads the same from Python and from a
// shell. A method's positional arguments are the subcommand's (FILE ...);
// each option is a keyword ("--skip-headers" skip_headers, "--from"
// from_), a flag a bool, a repeatable option a list. It runs as talvern-cli
// does (the lock, the recovery, the history) and gives a Result; where
// talvern-cli would exit with 1, CommandError is raised instead, unless
// check=False.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/commands.h"
#include "command/history.h"
#include "command/shell.h"
#include "command/usage.h"
#include <pybind11/eval.h>

#include "python/bindings.h"
#include "workspace/lock.h"
#include "workspace/workspace.h"

namespace talvern::python {

namespace {

// The work-space a WorkSpace object names; its lock is taken by each
// command for its run only, as talvern-cli does.
struct PyWorkSpace {
  WorkSpace ws;
};

// What a command said, as a Result takes it.
struct Said {
  std::string message;  // every line talvern-cli prints, "\n" apart
  int status = 0;       // talvern-cli's exit status
  std::string after;    // the read-only boxes' lines ("R-Factor: 0.0123")
};

constexpr std::string_view kPythonKeywords[] = {
    "False", "None",  "True",   "and",  "as",     "assert",   "async",  "await", "break",
    "class", "continue", "def", "del",  "elif",   "else",     "except", "finally", "for",
    "from",  "global", "if",    "import", "in",   "is",       "lambda", "nonlocal", "not",
    "or",    "pass",  "raise",  "return", "try",  "while",    "with",   "yield"};

// The keyword of an option: "--skip-headers" skip_headers, "--from" from_.
std::string keyword_of(std::string_view option) {
  std::string k(option.substr(option.starts_with("--") ? 2 : 0));
  std::replace(k.begin(), k.end(), '-', '_');
  if (std::find(std::begin(kPythonKeywords), std::end(kPythonKeywords), k) !=
      std::end(kPythonKeywords))
    k += '_';
  return k;
}

std::string lower_name(std::string_view word) {
  std::string k;
  for (char c : word) k += c == '-' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return k;
}

// One keyword of a method: the option it gives and how.
struct Keyword {
  std::string name;    // the Python keyword
  std::string option;  // "--exc"
  bool value = false;  // takes a value (else a flag)
  bool repeatable = false;
  bool required = false;
  std::string group;  // the options of "(--add|--subtract)", one of which is required
};

struct Method {
  const Subcommand* command = nullptr;
  std::vector<std::string> positionals;  // "FILE", ...
  std::size_t required_positionals = 0;
  bool more_positionals = false;  // "[FILE...]"
  std::vector<Keyword> keywords;
};

Method method_of(const Subcommand& s) {
  Method m;
  m.command = &s;
  for (const UsageItem& item : parse_usage(s.usage)) {
    if (item.positional) {
      m.positionals.push_back(lower_name(item.name));
      if (item.required) ++m.required_positionals;
      m.more_positionals = m.more_positionals || item.repeatable;
      continue;
    }
    std::string group;
    if (item.alternatives.size() > 1)
      for (const std::string& a : item.alternatives) group += (group.empty() ? "" : "|") + a;
    for (const std::string& option : item.alternatives)
      m.keywords.push_back({keyword_of(option), option, item.value, item.repeatable,
                            item.required && group.empty(), group});
  }
  return m;
}

// The signature and help of a method, for help() and the docstring.
std::string doc_of(const Method& m) {
  std::string sig = keyword_of(m.command->name) + "(";
  std::string parts;
  const auto add = [&](const std::string& p) { parts += (parts.empty() ? "" : ", ") + p; };
  // Positional only ("/"): an optional one defaults to None, "[FILE...]" is *files.
  const std::size_t single = m.positionals.size() - (m.more_positionals ? 1 : 0);
  for (std::size_t i = 0; i < single; ++i)
    add(i < m.required_positionals ? m.positionals[i] : m.positionals[i] + "=None");
  if (single > 0) add("/");
  if (m.more_positionals) add("*" + m.positionals.back() + "s");
  bool star = !m.more_positionals;
  for (const Keyword& k : m.keywords) {
    if (star) add("*"), star = false;
    add(k.name + (k.required ? "" : k.value ? "=None" : "=False"));
  }
  if (star) add("*");
  add("check=True");
  add("progress=None");
  sig += parts + ") -> Result\n\n";
  std::string usage = m.command->usage;
  std::replace(usage.begin(), usage.end(), '\n', ' ');
  return sig + m.command->help + ".\n\nAs talvern-cli " + m.command->name +
         (usage.empty() ? "" : " " + usage) + "\n(" + touches_text(m.command->touches) +
         ")\n\nRaises CommandError where talvern-cli exits with 1, unless check=False.";
}

// A whole number of any type (int, numpy.int64, an IntEnum): as its digits.
bool is_integral(py::handle v) {
  return py::isinstance(v, py::module_::import("numbers").attr("Integral"));
}
std::string integral_text(py::handle v) {
  const auto whole = py::reinterpret_steal<py::object>(PyNumber_Index(v.ptr()));
  if (!whole) throw py::error_already_set();
  return py::str(whole).cast<std::string>();
}
// A real number of any type (float, numpy.float32, a Fraction).
bool is_real(py::handle v) {
  return py::isinstance(v, py::module_::import("numbers").attr("Real"));
}

// The text of a value for its option.
std::string value_text(const Keyword& k, py::handle v) {
  if (py::isinstance<py::bool_>(v))
    throw py::type_error(k.name + " takes a value, not True or False");
  if (is_integral(v)) return integral_text(v);
  if (is_real(v)) {
    const double d = v.cast<double>();
    if (!std::isfinite(d)) throw py::value_error(k.name + " must be finite, not " + py::repr(v).cast<std::string>());
    return shortest_text(d);
  }
  if (py::isinstance<py::str>(v)) return v.cast<std::string>();
  if (py::hasattr(v, "__fspath__"))
    return path_bytes(v);
  throw py::type_error(k.name + " takes a str or a number, not " +
                       py::str(py::type::of(v).attr("__name__")).cast<std::string>());
}

std::string positional_text(py::handle v) {
  if (py::isinstance<py::str>(v)) return v.cast<std::string>();
  if (py::hasattr(v, "__fspath__"))
    return path_bytes(v);
  if (py::isinstance<py::bool_>(v)) throw py::type_error("a positional argument takes a str, path or number");
  if (is_integral(v)) return integral_text(v);
  if (is_real(v)) return shortest_text(v.cast<double>());
  throw py::type_error("a positional argument takes a str, path or number");
}

// The command line the call stands for.
std::vector<std::string> tokens_of(const Method& m, const py::args& args, const py::kwargs& kwargs) {
  const std::string name = keyword_of(m.command->name) + "()";
  std::vector<std::string> tokens;
  if (args.size() < m.required_positionals || (!m.more_positionals && args.size() > m.positionals.size()))
    throw py::type_error(name + " takes " + std::to_string(m.required_positionals) +
                         (m.more_positionals ? " or more" : "") + " positional argument" +
                         (m.positionals.size() == 1 ? "" : "s") + " (" +
                         std::to_string(args.size()) + " given)");
  for (py::handle a : args) tokens.push_back(positional_text(a));
  std::vector<std::string> groups_given;
  for (auto [key, value] : kwargs) {
    const std::string kw = key.cast<std::string>();
    if (kw == "check" || kw == "progress") continue;
    const auto k = std::find_if(m.keywords.begin(), m.keywords.end(),
                                [&](const Keyword& x) { return x.name == kw; });
    if (k == m.keywords.end())
      throw py::type_error(name + " got an unexpected keyword argument '" + kw + "'");
    if (value.is_none()) continue;
    if (!k->value) {
      // True or False, or NumPy's (numpy.bool_, which is no Python bool).
      const bool numpy_bool = py::hasattr(value, "dtype") && py::hasattr(value, "ndim") &&
                              value.attr("ndim").cast<int>() == 0 &&
                              value.attr("dtype").attr("kind").cast<std::string>() == "b";
      if (!py::isinstance<py::bool_>(value) && !numpy_bool)
        throw py::type_error(kw + " is a flag: True or False");
      if (PyObject_IsTrue(value.ptr()) == 1) {
        tokens.push_back(k->option);
        if (!k->group.empty()) groups_given.push_back(k->group);
      }
      continue;
    }
    const bool many = py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value) ||
                      (py::isinstance<py::array>(value) && value.attr("ndim").cast<int>() == 1);
    if (k->repeatable && many) {
      for (py::handle each : value) tokens.insert(tokens.end(), {k->option, value_text(*k, each)});
    } else {
      tokens.insert(tokens.end(), {k->option, value_text(*k, value)});
    }
  }
  for (const Keyword& k : m.keywords) {
    const bool given = kwargs.contains(k.name.c_str()) && !kwargs[k.name.c_str()].is_none();
    if (k.required && !given)
      throw py::type_error(name + " missing required keyword argument '" + k.name + "'");
  }
  for (const Keyword& k : m.keywords)
    if (!k.group.empty() && std::count(groups_given.begin(), groups_given.end(), k.group) != 1) {
      std::string names;
      for (const Keyword& o : m.keywords)
        if (o.group == k.group) names += (names.empty() ? "" : " or ") + o.name + "=True";
      throw py::type_error(name + " takes exactly one of " + names);
    }
  // The system would end such a word at its null character (a file name too),
  // and the history would hold it whole.
  for (const std::string& t : tokens)
    if (t.find('\0') != std::string::npos)
      throw py::value_error(name + " got an argument with a null character: " +
                            py::repr(py::bytes(t)).cast<std::string>());
  return tokens;
}

// What a run said, as talvern-cli prints it: the lines of the opening,
// then the message (or the file that could not be opened) and the boxes.
Said said_of(const std::vector<std::string>& first, bool opened, const Outcome& outcome) {
  Said said;
  std::string text;
  const auto add = [&](const std::string& part) {
    if (part.empty()) return;
    if (!text.empty() && !text.ends_with('\n')) text += '\n';
    text += shell_lines(part);
  };
  for (const std::string& line : first) add(line);
  if (!opened) {
    said.status = 1;
  } else {
    add(outcome.failure ? outcome.failure->text() : outcome.message);
    if (!outcome.failure) add(outcome.after);
    said.after = outcome.after;
    said.status = exit_status(outcome);
  }
  while (!text.empty() && text.back() == '\n') text.pop_back();
  said.message = std::move(text);
  return said;
}

py::object result_of(const Method& m, const Said& said);

Said run_method(const WorkSpace& ws, const Method& m, const py::args& args, const py::kwargs& kwargs,
                py::object progress) {
  const Subcommand& s = *m.command;
  std::vector<std::string> tokens = tokens_of(m, args, kwargs);
  CommandRun parsed;
  try {
    parsed = parse_command_line(s, std::vector<std::string_view>(tokens.begin(), tokens.end()));
  } catch (const UsageError& e) {
    throw py::value_error(e.what);
  }
  std::vector<std::string> first;
  Outcome outcome;
  bool opened = false;
  std::optional<std::string> usage_error;
  try {
    run_stoppable(
        [&](const std::atomic<bool>* stop, const Post& post) {
          WorkSpaceLock lock;
          opened = open_for_command(ws, s, lock, first);
          if (!opened) return;
          ShellRun shell;
          shell.stop = stop;
          shell.progress = post;
          try {
            outcome = command_line_outcome(ws, s, std::move(parsed), shell);
          } catch (const UsageError& e) {
            usage_error = e.what;
          }
        },
        std::move(progress));
  } catch (py::error_already_set& e) {
    // Ctrl-C stopped the command, which has ended as "Stop" ends it: the
    // KeyboardInterrupt carries what it said.
    if (!usage_error) e.value().attr("result") = result_of(m, said_of(first, opened, outcome));
    throw;
  }
  if (usage_error) throw py::value_error(*usage_error);
  return said_of(first, opened, outcome);
}

// The cautions of a message: each from a "CAUTION!!" to the end of its
// sentence (a line ending in "."), the next "CAUTION!!" or the end, its
// lines joined by blanks.
std::vector<std::string> cautions_of(const std::string& message) {
  std::vector<std::string> out;
  constexpr std::string_view kMark = "CAUTION!!";
  for (std::size_t at = message.find(kMark); at != std::string::npos;) {
    std::size_t from = at + kMark.size();
    const std::size_t next = message.find(kMark, from);
    std::size_t end = next == std::string::npos ? message.size() : next;
    for (std::size_t nl = message.find('\n', from); nl != std::string::npos && nl < end;
         nl = message.find('\n', nl + 1))
      if (nl > from && message[nl - 1] == '.' && message.find_first_not_of(" \n", from) < nl) {
        end = nl;
        break;
      }
    std::string c;
    for (std::size_t i = from; i < end; ++i) {
      const char ch = message[i] == '\n' ? ' ' : message[i];
      if (ch == ' ' && (c.empty() || c.back() == ' ')) continue;
      c += ch;
    }
    while (!c.empty() && c.back() == ' ') c.pop_back();
    out.push_back(c);
    at = next;
  }
  return out;
}

// The boxes of the lines after the message: "R-Factor: 0.0123" is
// r_factor = 0.0123; a line whose value is no number is none.
py::dict boxes_of(const std::string& after) {
  py::dict boxes;
  for (std::size_t at = 0; at < after.size();) {
    const std::size_t end = std::min(after.find('\n', at), after.size());
    const std::string line = after.substr(at, end - at);
    at = end + 1;
    const std::size_t colon = line.find(": ");
    if (colon == std::string::npos) continue;
    std::string value = line.substr(colon + 2);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    double number = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (ec != std::errc() || ptr != value.data() + value.size() || value.empty()) continue;
    std::string key;
    for (char c : line.substr(0, colon)) {
      if (std::isalnum(static_cast<unsigned char>(c)))
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      else if (!key.empty() && key.back() != '_')
        key += '_';
    }
    while (!key.empty() && key.back() == '_') key.pop_back();
    if (key.empty() || std::isdigit(static_cast<unsigned char>(key[0]))) continue;
    boxes[key.c_str()] = number;
  }
  return boxes;
}

// A text a command printed as a str: bytes of the user's files that are not
// UTF-8 (a label in Latin-1) become U+FFFD, as a terminal shows them.
py::str printed_text(const std::string& text) {
  PyObject* str = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
  if (!str) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(str);
}

py::object result_of(const Method& m, const Said& said) {
  py::list cautions;
  for (const std::string& c : cautions_of(said.message)) cautions.append(printed_text(c));
  return py::module_::import("talvern").attr("Result")(m.command->name, printed_text(said.message),
                                                        said.status, cautions, boxes_of(said.after));
}

const std::vector<Subcommand>& subcommands() {
  static const std::vector<Subcommand> list = all_subcommands();
  return list;
}

const char kResultCode[] = R"(
class Result:
    """What a command of a WorkSpace said.

    message  -- every line talvern-cli prints for it (the message pane's text, the
                read-only boxes after it)
    ok       -- True where talvern-cli exits with 0
    status   -- talvern-cli's exit status (0 or 1)
    cautions -- the text of each "CAUTION!!" of the message
    boxes    -- the read-only boxes printed after the message, by name:
                {"r_factor": 0.0123}; each is an attribute too (result.r_factor)
    """

    def __init__(self, command, message, status, cautions, boxes):
        self.command = command
        self.message = message
        self.status = status
        self.ok = status == 0
        self.cautions = cautions
        self.boxes = boxes
        for name, value in boxes.items():
            if not hasattr(self, name):
                setattr(self, name, value)

    def __bool__(self):
        return self.ok

    def __str__(self):
        return self.message

    def __repr__(self):
        return "<talvern.Result of {} ({}): {!r}>".format(
            self.command, "ok" if self.ok else "refused", self.message.split("\n")[0])


class CommandError(Exception):
    """A command refused ("ERROR!!", a file that could not be read or written): where
    talvern-cli exits with 1. .message is what it said, .result its Result."""

    def __init__(self, result):
        super().__init__(result.message)
        self.result = result
        self.message = result.message

    def __reduce__(self):
        # Made again from its Result, as multiprocessing hands it back from a worker.
        return (type(self), (self.result,))
)";

}  // namespace

void bind_work_space(py::module_& m) {
  py::exec(kResultCode, m.attr("__dict__"));
  m.attr("Result").attr("__module__") = "talvern";
  m.attr("CommandError").attr("__module__") = "talvern";

  auto cls = py::class_<PyWorkSpace>(m, "WorkSpace", R"(A work-space folder and its commands.

WorkSpace(path=None): the folder path, else $TALVERN_WORK_SPACE, else ~/TALVERN_WORK_SPACE.
Each command of talvern-cli is a method: its name with _ for -, its positional arguments
positional, each option a keyword (flags as bool, repeatable options as lists). It gives a
Result and raises CommandError where talvern-cli exits with 1, unless check=False.
progress=callable receives the lines on how far a long run is; Ctrl-C stops a long run
as "Stop" does, and KeyboardInterrupt is raised when it has stopped (its .result says
what the command said).)");
  cls.def(py::init([](py::object path) {
            std::optional<std::filesystem::path> dir;
            if (!path.is_none())
              dir = std::filesystem::path(path_bytes(path));
            return PyWorkSpace{WorkSpace::locate(dir)};
          }),
          py::arg("path") = py::none());
  // The folder as Python names it (os.fsdecode of its bytes).
  const auto folder = [](const PyWorkSpace& self) {
    return py::module_::import("os").attr("fsdecode")(py::bytes(self.ws.dir().string()));
  };
  cls.def_property_readonly("path", [folder](const PyWorkSpace& self) {
    return py::module_::import("pathlib").attr("Path")(folder(self));
  });
  cls.def("__repr__", [folder](const PyWorkSpace& self) {
    return "talvern.WorkSpace(" + py::repr(folder(self)).cast<std::string>() + ")";
  });
  cls.def("commands", [](const PyWorkSpace&) {
    py::list names;
    for (const Subcommand& s : subcommands()) names.append(keyword_of(s.name));
    return names;
  }, "The names of the command methods, in the order of talvern-cli --help.");

  // The docstrings give each method's own signature.
  py::options options;
  options.disable_function_signatures();
  for (const Subcommand& s : subcommands()) {
    const Method method = method_of(s);
    cls.def(
        keyword_of(s.name).c_str(),
        [method](const PyWorkSpace& self, py::args args, py::kwargs kwargs) {
          bool check = true;
          py::object progress = py::none();
          // None is the default, as for every keyword; a refusal is never let pass unasked.
          if (kwargs.contains("check") && !kwargs["check"].is_none()) {
            if (!py::isinstance<py::bool_>(kwargs["check"]))
              throw py::type_error("check takes True or False");
            check = kwargs["check"].cast<bool>();
          }
          if (kwargs.contains("progress")) progress = kwargs["progress"];
          const Said said = run_method(self.ws, method, args, kwargs, progress);
          py::object result = result_of(method, said);
          if (check && said.status != 0) {
            const py::object error = py::module_::import("talvern").attr("CommandError")(result);
            PyErr_SetObject(error.get_type().ptr(), error.ptr());
            throw py::error_already_set();
          }
          return result;
        },
        doc_of(method).c_str());
  }
}

}  // namespace talvern::python
