// talvern-cli: the commands of TALVERN from a shell. Each subcommand runs the
// same command function as the program's button and prints what the message
// pane would show.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/load_measured.h"
#include "app/main_form.h"
#include "import/selective_import.h"
#include "rixs/engine.h"
#include "workspace/file_names.h"
#include "workspace/workspace.h"
#include "xrf/emission_model.h"

namespace {

using talvern::WorkSpace;
using Args = std::vector<std::string_view>;

// What a command leaves for the user: the message pane's text, or the
// report of a file that could not be opened.
struct Outcome {
  std::string message;
  std::optional<talvern::OpenFailure> failure;
  Outcome(std::string text) : message(std::move(text)) {}
  Outcome(std::string text, std::optional<talvern::OpenFailure> f)
      : message(std::move(text)), failure(std::move(f)) {}
};

struct Subcommand {
  const char* name;
  const char* args;
  const char* help;
  std::size_t arg_count;
  std::function<Outcome(const WorkSpace&, const Args&)> run;
};

// The file dialog of a command, answered by the file named on the command line.
talvern::FileChooser chooser(std::string_view file) {
  return [path = std::filesystem::path(std::string(file))](talvern::FileKind) {
    return std::optional<std::filesystem::path>(path);
  };
}

template <auto Command>
Outcome run_main_form_load(const WorkSpace& ws, const Args& a) {
  talvern::MainFormState form;
  auto failure = Command(ws, chooser(a[0]), form);
  return {form.message, std::move(failure)};
}

template <auto Command>
Outcome run_import(const WorkSpace& ws, const Args& a) {
  talvern::XAFSReadingState state = talvern::initial_xafs_reading_state();
  auto failure = Command(ws, chooser(a[0]), state);
  return {state.message, std::move(failure)};
}

bool parse_number(std::string_view text, double& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  auto res = std::from_chars(text.data(), text.data() + text.size(), value);
  return res.ec == std::errc() && res.ptr == text.data() + text.size() && std::isfinite(value);
}

const std::vector<Subcommand>& subcommands() {
  static const std::vector<Subcommand> list = {
      {"construct", "", "make the work-space and its placeholder files (\"Construct Work-Space\")",
       0,
       [](const WorkSpace& ws, const Args&) {
         talvern::MainFormState form;
         talvern::construct_work_space(ws, form);
         return form.message;
       }},
      {"calc-rixs", "OMEGA", "calculate the RIXS spectrum at excitation energy OMEGA (eV)",
       1,
       [](const WorkSpace& ws, const Args& a) {
         double omega = 0;
         parse_number(a[0], omega);
         return talvern::engine_message(talvern::CalculateRIXS(ws, omega),
                                        talvern::files::kCalculatedRIXS);
       }},
      {"calc-emission", "OMEGA",
       "calculate the Lorentzian emission model at excitation energy OMEGA (eV)", 1,
       [](const WorkSpace& ws, const Args& a) {
         double omega = 0;
         parse_number(a[0], omega);
         return talvern::engine_message(talvern::CalculateNonResonantEmission(ws, omega),
                                        talvern::files::kNonResonantEmission);
       }},
      {"load-exp-rixs", "FILE", "bring a measured RIXS spectrum into the work-space (\"Load Exp. RIXS\")",
       1, run_main_form_load<talvern::LoadExpRIXS>},
      {"load-conv-xafs", "FILE",
       "bring a conventional XAFS spectrum into the work-space (\"Load Conventional XAFS\")", 1,
       run_main_form_load<talvern::LoadConventionalXAFS>},
      {"load-xrf", "FILE", "bring an XRF spectrum into the work-space (\"Load XRF\")", 1,
       run_main_form_load<talvern::LoadXRF>},
      {"import-wien2k", "FILE", "one-component WIEN2k selective XAFS (\"Load 1-Compo. WIEN2k\")", 1,
       run_import<talvern::Load1CompoWIEN2k>},
      {"import-wien2k-first", "FILE",
       "first of two WIEN2k components (\"Load 2-Compo. WIEN2k (1/2)\")", 1,
       run_import<talvern::LoadTwoCompoFirst>},
      {"import-wien2k-second", "FILE",
       "second of two WIEN2k components (\"Load 2-Compo. WIEN2k (2/2)\")", 1,
       run_import<talvern::LoadTwoCompoSecond>},
      {"import-general", "FILE", "general X-Y1-Y2 selective XAFS (\"Load General X-Y1-Y2 Data\")",
       1, run_import<talvern::LoadGeneral>},
  };
  return list;
}

void print_help(std::FILE* out) {
  std::fprintf(out,
               "usage: talvern-cli [--workspace DIR] SUBCOMMAND [ARGS]\n\n"
               "The work-space is DIR when given, else $TALVERN_WORK_SPACE, else "
               "~/TALVERN_WORK_SPACE.\n\nSubcommands:\n");
  for (const auto& s : subcommands()) {
    std::string head = std::string(s.name) + (*s.args ? std::string(" ") + s.args : "");
    std::fprintf(out, "  %-27s %s\n", head.c_str(), s.help);
  }
}

int usage_error(const char* what) {
  std::fprintf(stderr, "talvern-cli: %s\n\n", what);
  print_help(stderr);
  return 2;
}

// The message pane shows "\r\n" as a line break; so does the terminal.
void print_message(const std::string& message, std::FILE* out = stdout) {
  if (message.empty()) return;
  std::string text;
  text.reserve(message.size() + 1);
  for (std::size_t i = 0; i < message.size(); ++i) {
    if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') continue;
    text += message[i];
  }
  std::fprintf(out, "%s\n", text.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Args args(argv + 1, argv + argc);
  std::optional<std::filesystem::path> dir;
  std::size_t i = 0;
  while (i < args.size() && args[i].starts_with("-")) {
    if (args[i] == "--help" || args[i] == "-h") {
      print_help(stdout);
      return 0;
    }
    if (args[i] == "--workspace") {
      if (i + 1 >= args.size() || args[i + 1].empty())
        return usage_error("--workspace needs a directory");
      dir = std::filesystem::path(std::string(args[i + 1]));
      i += 2;
    } else if (args[i].starts_with("--workspace=")) {
      if (args[i].size() == 12) return usage_error("--workspace needs a directory");
      dir = std::filesystem::path(std::string(args[i].substr(12)));
      ++i;
    } else {
      return usage_error(("unknown option " + std::string(args[i])).c_str());
    }
  }
  if (i >= args.size()) return usage_error("no subcommand given");
  const std::string_view name = args[i++];
  const Args rest(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  for (const auto& s : subcommands()) {
    if (name != s.name) continue;
    if (rest.size() != s.arg_count)
      return usage_error((std::string(s.name) + " takes " + std::to_string(s.arg_count) +
                          " argument(s)").c_str());
    if (std::string_view(s.args) == "OMEGA") {
      double omega;
      if (!parse_number(rest[0], omega))
        return usage_error(("not a number: " + std::string(rest[0])).c_str());
    }
    const Outcome outcome = s.run(WorkSpace::locate(dir), rest);
    if (outcome.failure) {
      print_message(outcome.failure->text(), stderr);
      return 1;
    }
    const std::string& message = outcome.message;
    print_message(message);
    const bool error = message.starts_with("ERROR!!") || message.starts_with("INPUT ERROR!!");
    return error ? 1 : 0;
  }
  return usage_error(("unknown subcommand " + std::string(name)).c_str());
}
