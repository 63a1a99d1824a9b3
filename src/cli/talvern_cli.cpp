// talvern-cli: the commands of TALVERN from a shell. Each subcommand runs the
// same command function as the program's button and prints what the message
// pane would show.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/load_measured.h"
#include "app/main_form.h"
#include "engine/engine.h"
#include "import/selective_import.h"
#include "refine/average.h"
#include "refine/optimisation.h"
#include "rixs/plane_picture.h"
#include "rixs/rixs_calculation.h"
#include "rixs/rixs_modification.h"
#include "rixs/rixs_plane.h"
#include "rixs/rixs_simulation.h"
#include "rixs/rixs_state.h"
#include "workspace/file_names.h"
#include "workspace/workspace.h"
#include "workspace/write_log.h"
#include "xafs/conv_xafs.h"
#include "xafs/edge_table.h"
#include "workspace/number_text.h"
#include "workspace/study.h"
#include "xrf/emission_model.h"
#include "xrf/lsq_fit.h"
#include "xrf/xrf_setting.h"

namespace {

using talvern::WorkSpace;

// A command line the subcommand cannot take; reported with the usage text.
struct UsageError {
  std::string what;
};

// An option of a subcommand: "--name VALUE" or "--name=VALUE".
struct Option {
  const char* name;  // with its leading "--"
  bool required;
  bool flag = false;  // takes no value: present or not
};

// The arguments after the subcommand's name. Anything not starting with
// "--" is positional, so negative numbers such as "-60" are values.
class Args {
 public:
  std::string_view operator[](std::size_t i) const { return positional_[i]; }
  std::size_t size() const { return positional_.size(); }

  std::optional<std::string_view> option(std::string_view name) const {
    for (const auto& [n, v] : options_)
      if (n == name) return v;
    return std::nullopt;
  }
  // A required option: the parser has made sure it is there.
  std::string_view required(std::string_view name) const { return *option(name); }
  bool has(std::string_view name) const { return option(name).has_value(); }

  // Splits `tokens` by `options`; throws UsageError for an unknown,
  // repeated or valueless option, a missing required one, or the wrong
  // number of positional arguments.
  static Args parse(std::string_view command, const std::vector<std::string_view>& tokens,
                    std::size_t positional_count, const std::vector<Option>& options);

 private:
  std::vector<std::string_view> positional_;
  std::vector<std::pair<std::string_view, std::string_view>> options_;
};

Args Args::parse(std::string_view command, const std::vector<std::string_view>& tokens,
                 std::size_t positional_count, const std::vector<Option>& options) {
  const std::string cmd(command);
  Args a;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::string_view t = tokens[i];
    if (!t.starts_with("--")) {
      a.positional_.push_back(t);
      continue;
    }
    const std::size_t eq = t.find('=');
    const std::string_view name = t.substr(0, eq);
    const Option* known = nullptr;
    for (const auto& o : options)
      if (name == o.name) known = &o;
    if (!known) throw UsageError{cmd + ": unknown option " + std::string(name)};
    if (a.option(name)) throw UsageError{cmd + ": " + std::string(name) + " given twice"};
    if (known->flag) {
      if (eq != std::string_view::npos)
        throw UsageError{cmd + ": " + std::string(name) + " takes no value"};
      a.options_.emplace_back(name, std::string_view());
    } else if (eq != std::string_view::npos) {
      a.options_.emplace_back(name, t.substr(eq + 1));
    } else {
      if (i + 1 >= tokens.size())
        throw UsageError{cmd + ": " + std::string(name) + " needs a value"};
      a.options_.emplace_back(name, tokens[++i]);
    }
  }
  for (const auto& o : options)
    if (o.required && !a.option(o.name)) throw UsageError{cmd + ": " + o.name + " is required"};
  if (a.size() != positional_count)
    throw UsageError{cmd + " takes " + std::to_string(positional_count) + " argument(s)"};
  return a;
}

// What a command leaves for the user: the message pane's text, or the
// report of a file that could not be opened.
struct Outcome {
  std::string message;
  std::optional<talvern::OpenFailure> failure;
  std::string after;  // printed after the message, lines ended by '\n'
  // Exit 1 although the message is no "ERROR!!"; so does a work-space file
  // that could not be written.
  bool failed = false;
  Outcome(std::string text)
      : message(std::move(text)), failed(talvern::has_write_caution(message)) {}
  Outcome(std::string text, std::optional<talvern::OpenFailure> f)
      : message(std::move(text)), failure(std::move(f)),
        failed(talvern::has_write_caution(message)) {}
};

// A subcommand. `run` reads and checks all of its arguments (throwing
// UsageError) before it calls a command, so a refused command line leaves
// the work-space as it was.
struct Subcommand {
  const char* name;
  const char* args;  // as the help shows them; "\n" continues on the next line
  const char* help;
  std::size_t positional_count;
  std::vector<Option> options;
  std::function<Outcome(const WorkSpace&, const Args&)> run;
};

// ---- argument values ----------------------------------------------------------

double number_arg(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  double value = 0;
  auto res = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (res.ec != std::errc() || res.ptr != digits.data() + digits.size() || !std::isfinite(value))
    throw UsageError{"not a number: " + std::string(text)};
  return value;
}

// The whole of `text` as an integer, a leading "+" allowed; nothing when
// it is not one.
std::optional<int> parse_integer(std::string_view text) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int value = 0;
  auto res = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (res.ec != std::errc() || res.ptr != digits.data() + digits.size()) return std::nullopt;
  return value;
}

int integer_arg(std::string_view text) {
  if (const auto value = parse_integer(text)) return *value;
  throw UsageError{"not an integer: " + std::string(text)};
}

// A click at panel x coordinate `text`, on the panel's middle line.
talvern::plot::PanelPoint click_arg(std::string_view text) { return {integer_arg(text), 0}; }

// The "Select a Lorentzian" radio button: A..D give 0..3.
int lorentzian_arg(std::string_view text) {
  if (text.size() != 1 || text[0] < 'A' || text[0] > 'D')
    throw UsageError{"--lorentzian takes A, B, C or D, not " + std::string(text)};
  return text[0] - 'A';
}

// Four box texts A..D, given comma-separated; each is kept as typed.
std::array<std::string, 4> four_texts_arg(std::string_view option, std::string_view text) {
  std::array<std::string, 4> out;
  std::size_t n = 0;
  for (std::size_t start = 0;; ++n) {
    const std::size_t comma = text.find(',', start);
    if (n < out.size()) out[n] = std::string(text.substr(start, comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (n + 1 != out.size())
    throw UsageError{std::string(option) + " takes four comma-separated values (A,B,C,D)"};
  return out;
}

// "--fix": comma-separated parameters to hold, each a Lorentzian A..D
// alone (all three of its parameters) or with ".position", ".width" or
// ".amplitude" ("A.width,C").
talvern::LsqTable<bool> fix_arg(std::string_view text) {
  talvern::LsqTable<bool> fixed{};
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::string_view item = text.substr(start, comma - start);
    const std::string_view letter = item.substr(0, 1);
    const std::size_t x = item.empty() ? 4 : static_cast<std::size_t>(std::string_view("ABCD").find(letter));
    bool known = x < 4 && (item.size() == 1 || item[1] == '.');
    if (known && item.size() == 1) {
      fixed[x] = {true, true, true};
    } else if (known) {
      known = false;
      for (std::size_t kind = 0; kind < 3; ++kind)
        if (item.substr(2) == talvern::kLsqKindNames[kind]) known = fixed[x][kind] = true;
    }
    if (!known)
      throw UsageError{"--fix takes A..D, each alone or with .position, .width or .amplitude "
                       "(A.width,C), not \"" + std::string(item) + "\""};
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fixed;
}

// "--edge": a list position (-1 for none) or an edge name as the list
// shows it ("Fe K", "Fe K-edge").
int edge_arg(std::string_view text) {
  if (const auto index = parse_integer(text)) {
    if (*index < -1 || *index >= talvern::kEdgeCount)
      throw UsageError{"--edge takes a list position from -1 to 42"};
    return *index;
  }
  if (const auto named = talvern::edge_named(text)) return *named;
  // Offer the edges of the element the text starts with.
  const std::size_t from = std::min(text.find_first_not_of(' '), text.size());
  const std::string_view word = text.substr(from, text.find(' ', from) - from);
  std::string offer;
  for (int i = 0; i < talvern::kEdgeCount && !word.empty(); ++i) {
    const std::string_view name = talvern::edge_at(i)->name;
    if (talvern::edge_named(std::string(word).append(name.substr(name.find(' ')))) == i) {
      offer += offer.empty() ? " (" : ", ";
      offer += name.substr(0, name.size() - 5);
    }
  }
  if (!offer.empty()) offer += ")";
  throw UsageError{"--edge: no edge is named " + std::string(text) + offer +
                   "; give a list position (0..42) or a name such as \"Fe K\""};
}

// ---- running the commands -----------------------------------------------------------

// The file dialog of a command, answered by the file named on the command line.
talvern::FileChooser chooser(std::string_view file) {
  return [path = std::filesystem::path(std::string(file))](talvern::FileKind) {
    return std::optional<std::filesystem::path>(path);
  };
}

// The options of the column import, taken by every subcommand that reads FILE.
constexpr const char* kColumnArgs = "FILE [--columns COLUMNS]\n[--kev] [--skip-headers]";
const std::vector<Option> kColumnOptions{
    {"--columns", false}, {"--kev", false, true}, {"--skip-headers", false, true}};

// With --columns, --kev or --skip-headers, FILE is read by the column import:
// the columns of --columns (else the first k in order), energies in keV with
// --kev, header and comment lines passed over with --skip-headers.
void column_args(const Args& a, std::size_t k) {
  if (!a.has("--columns") && !a.has("--kev") && !a.has("--skip-headers")) return;
  talvern::ColumnChoice choice;
  if (const auto text = a.option("--columns")) {
    std::string error;
    const auto parsed = talvern::parse_column_choice(*text, error);
    if (!parsed) throw UsageError{error};
    choice = *parsed;
  } else {
    for (std::size_t c = 1; c < k; ++c) choice.intensities.push_back({.a = c});
  }
  choice.kev = a.has("--kev");
  choice.skip_headers = a.has("--skip-headers");
  talvern::set_column_importer(
      [choice](const talvern::ColumnRequest&) { return std::optional(choice); }, true);
}

template <auto Command>
Outcome run_main_form_load(const WorkSpace& ws, const Args& a) {
  column_args(a, 2);
  talvern::MainFormState form;
  auto failure = Command(ws, chooser(a[0]), form);
  Outcome outcome(form.message, std::move(failure));
  outcome.failed |= form.message.find(talvern::kNoWorkSpaceCaution) != std::string::npos;
  return outcome;
}

template <auto Command, std::size_t K = 2>
Outcome run_import(const WorkSpace& ws, const Args& a) {
  column_args(a, K);
  talvern::XAFSReadingState state = talvern::initial_xafs_reading_state();
  auto failure = Command(ws, chooser(a[0]), state);
  return {state.message, std::move(failure)};
}

// The Conventional XAFS dialog after one load: the list holds the 43 edges.
talvern::ConvXAFSState loaded_conv_xafs_state() {
  talvern::ConvXAFSState state;
  for (int i = 0; i < talvern::kEdgeCount; ++i)
    state.edge_list.emplace_back(talvern::edge_at(i)->name);
  return state;
}

// ---- the RIXS Simulation dialog ------------------------------------------------------

using talvern::RIXSState;

// A command of the dialog on a state that holds what the options give.
template <class Prepare, class Command>
Outcome run_rixs(const WorkSpace& ws, Prepare prepare, Command command) {
  RIXSState state;
  prepare(state);
  command(ws, state);
  return Outcome(state.message);
}

// The "Display Region" boxes from --min and --max.
void region_args(const Args& a, RIXSState& s) {
  s.region_min = std::string(a.required("--min"));
  s.region_max = std::string(a.required("--max"));
}

// "Display Mode": A, B or AB ("A&B").
int mode_arg(std::string_view text) {
  if (text == "A") return RIXSState::kModeA;
  if (text == "B") return RIXSState::kModeB;
  if (text == "AB") return RIXSState::kModeAB;
  throw UsageError{"--mode takes A, B or AB, not " + std::string(text)};
}

// The position of `item` in a drop-down list of the dialog; anything else
// is bad usage of `option` (which takes `allowed`).
int list_position(const std::vector<std::string>& list, const std::string& item,
                  const char* option, const char* allowed, std::string_view text) {
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i] == item) return static_cast<int>(i);
  throw UsageError{std::string(option) + " takes " + allowed + ", not " + std::string(text)};
}

// Ctrl-C during a long run ("Optimize Selective XAFS", "RIXS Plane...")
// ends it after the step in hand, as "Stop" does in the dialog.
std::atomic<bool> long_run_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);
extern "C" void stop_long_run(int) { long_run_stop.store(true); }

// Runs `run` with Ctrl-C setting long_run_stop. An interrupt the shell told
// us to ignore (a background job) stays ignored.
template <class Run>
void with_ctrl_c_stop(Run run) {
  long_run_stop.store(false);
  const auto previous = std::signal(SIGINT, stop_long_run);
  if (previous == SIG_IGN) std::signal(SIGINT, SIG_IGN);
  run();
  std::signal(SIGINT, previous == SIG_ERR ? SIG_DFL : previous);
}

Outcome run_optimize(const WorkSpace& ws, const Args& a) {
  talvern::OptimState state = talvern::OpenOptimization(ws);
  const std::pair<const char*, std::string talvern::OptimState::*> texts[] = {
      {"--start", &talvern::OptimState::start_energy},
      {"--end", &talvern::OptimState::end_energy},
      {"--step", &talvern::OptimState::energy_step},
      {"--height", &talvern::OptimState::peak_height},
      {"--width", &talvern::OptimState::peak_width},
      {"--height-limit", &talvern::OptimState::height_limit},
      {"--height-step", &talvern::OptimState::height_step},
      {"--exc", &talvern::OptimState::exc_energy}};
  for (const auto& [option, field] : texts)
    if (auto text = a.option(option)) state.*field = std::string(*text);
  if (auto r = a.option("--repetitions"))
    state.repetition =
        list_position(state.repetitions, std::string(*r), "--repetitions", "1, 2 or 3", *r);

  // On a terminal, the repetition and the energy in hand on one line.
  talvern::OptimWatch watch;
  watch.stop = &long_run_stop;
  int repetition = 0, last = 0;
  bool shown = false;
  if (::isatty(2)) {
    watch.progress_range = [&](int l) {
      ++repetition;
      last = l;
    };
    watch.progress = [&](int position) {
      std::fprintf(stderr, "\rrepetition %d/%d  energy %d/%d", repetition, state.repetition + 1,
                   position + 1, last + 1);
      std::fflush(stderr);
      shown = true;
    };
  }
  with_ctrl_c_stop([&] { talvern::OptimizeSelectiveXAFS(ws, state, watch); });
  if (shown) std::fputc('\n', stderr);

  Outcome outcome(state.message);
  outcome.after = "Number of Compo.: " + state.components + "\nR-Factor: " + state.r_factor + "\n";
  return outcome;
}

// "RIXS Plane...": Ctrl-C ends the run after the excitation energy in hand
// and keeps the rows done, as "Stop" does in the dialog.
Outcome run_rixs_plane(const WorkSpace& ws, const Args& a) {
  talvern::PlaneState state = talvern::OpenRIXSPlane(ws);
  if (auto t = a.option("--from")) state.from_energy = std::string(*t);
  if (auto t = a.option("--to")) state.to_energy = std::string(*t);
  if (auto t = a.option("--step")) state.step_energy = std::string(*t);
  state.axis = a.has("--transfer") ? 1 : 0;

  talvern::PlaneWatch watch;
  watch.stop = &long_run_stop;
  bool shown = false;
  if (::isatty(2))
    watch.progress = [&](std::size_t done, std::size_t total) {
      std::fprintf(stderr, "\rexcitation energy %zu/%zu", done, total);
      std::fflush(stderr);
      shown = true;
    };
  with_ctrl_c_stop([&] { talvern::CalculatePlane(ws, state, watch); });
  if (shown) std::fputc('\n', stderr);

  Outcome outcome(state.message);
  const auto png = a.option("--png");
  if (png && !state.plane.empty()) {
    const std::filesystem::path file{std::string(*png)};
    if (!talvern::write_plane_png(file, talvern::render_plane(state.plane, a.has("--log"), 1000, 700))) {
      outcome.after = "ERROR!! " + file.string() + " could not be written.\n";
      outcome.failed = true;
    }
  }
  return outcome;
}

// A trace the command looks for to decide whether a comparison follows.
talvern::plot::Trace shown_trace() { return talvern::plot::Trace(); }

const std::vector<Subcommand>& subcommands() {
  static const std::vector<Subcommand> list = {
      {"construct", "", "make the work-space and its placeholder files (\"Construct Work-Space\")",
       0, {},
       [](const WorkSpace& ws, const Args&) {
         talvern::MainFormState form;
         talvern::construct_work_space(ws, form);
         return Outcome(form.message);
       }},
      {"calc-rixs", "OMEGA", "calculate the RIXS spectrum at excitation energy OMEGA (eV)", 1, {},
       [](const WorkSpace& ws, const Args& a) {
         const double omega = number_arg(a[0]);
         return Outcome(talvern::engine_message(talvern::CalculateRIXS(ws, omega),
                                                talvern::files::kCalculatedRIXS));
       }},
      {"calc-emission", "OMEGA",
       "calculate the Lorentzian emission model at excitation energy OMEGA (eV)", 1, {},
       [](const WorkSpace& ws, const Args& a) {
         const double omega = number_arg(a[0]);
         return Outcome(talvern::engine_message(talvern::CalculateNonResonantEmission(ws, omega),
                                                talvern::files::kNonResonantEmission));
       }},
      {"load-exp-rixs", kColumnArgs,
       "bring a measured RIXS spectrum into the work-space (\"Load Exp. RIXS\")", 1,
       kColumnOptions, run_main_form_load<talvern::LoadExpRIXS>},
      {"load-conv-xafs", kColumnArgs,
       "bring a conventional XAFS spectrum into the work-space (\"Load Conventional XAFS\")", 1,
       kColumnOptions, run_main_form_load<talvern::LoadConventionalXAFS>},
      {"load-xrf", kColumnArgs, "bring an XRF spectrum into the work-space (\"Load XRF\")", 1,
       kColumnOptions, run_main_form_load<talvern::LoadXRF>},
      {"import-wien2k", kColumnArgs,
       "one-component WIEN2k selective XAFS (\"Load 1-Compo. WIEN2k\")", 1, kColumnOptions,
       run_import<talvern::Load1CompoWIEN2k>},
      {"import-wien2k-first", kColumnArgs,
       "first of two WIEN2k components (\"Load 2-Compo. WIEN2k (1/2)\")", 1, kColumnOptions,
       run_import<talvern::LoadTwoCompoFirst>},
      {"import-wien2k-second", kColumnArgs,
       "second of two WIEN2k components (\"Load 2-Compo. WIEN2k (2/2)\")", 1, kColumnOptions,
       run_import<talvern::LoadTwoCompoSecond>},
      {"import-general", kColumnArgs,
       "general X-Y1-Y2 selective XAFS (\"Load General X-Y1-Y2 Data\")", 1, kColumnOptions,
       run_import<talvern::LoadGeneral, 3>},

      // "Setting by XAFS"
      {"xafs-load", "", "normalise the conventional XAFS (\"Load XAFS(for Abs. Correction)\")", 0,
       {},
       [](const WorkSpace& ws, const Args&) {
         talvern::ConvXAFSState state;
         talvern::LoadXAFS(ws, state);
         return Outcome(state.message);
       }},
      {"xafs-click", "X_L",
       "core energy from a click at panel x X_L (-96..96; outside, nothing happens)", 1, {},
       [](const WorkSpace& ws, const Args& a) {
         const auto click = click_arg(a[0]);
         talvern::ConvXAFSState state;
         talvern::CorrectCoreEnergyByClick(ws, state, click);
         return Outcome(state.message);
       }},
      {"xafs-edge-from-data", "",
       "propose the core energy at the steepest rise of the normalised XAFS (\"Edge from Data\"); "
       "nothing is stored",
       0, {},
       [](const WorkSpace& ws, const Args&) {
         talvern::ConvXAFSState state;
         talvern::EdgeFromData(ws, state);
         return Outcome(state.message);
       }},
      {"xafs-confirm", "[--edge INDEX|NAME]\n[--core-energy TEXT]",
       "edge at list position INDEX (0..42, -1 none) or named as the list shows it (\"Fe K\"), "
       "and the typed core energy (\"Confirm XAFS INFO\")",
       0, {{"--edge", false}, {"--core-energy", false}},
       [](const WorkSpace& ws, const Args& a) {
         talvern::ConvXAFSState state = loaded_conv_xafs_state();
         if (auto edge = a.option("--edge")) state.selected_edge = edge_arg(*edge);
         state.core_energy = std::string(a.option("--core-energy").value_or(""));
         talvern::ConfirmXAFSInfo(ws, state);
         return Outcome(state.message);
       }},
      {"xafs-complete", "", "the closing message of the XAFS step (\"Complete XAFS Setting\")", 0,
       {},
       [](const WorkSpace&, const Args&) {
         talvern::ConvXAFSState state;
         talvern::CompleteXAFSSetting(state);
         return Outcome(state.message);
       }},

      // "Setting by XRF"
      {"xrf-load", "", "measured XRF, Lorentzians and emission grid (\"Load XRF Data\")", 0, {},
       [](const WorkSpace& ws, const Args&) {
         talvern::XRFState state;
         talvern::LoadXRFData(ws, state);
         return Outcome(state.message);
       }},
      {"xrf-click", "X_L --lorentzian A|B|C|D",
       "peak position of a Lorentzian from a click at panel x X_L", 1,
       {{"--lorentzian", true}},
       [](const WorkSpace& ws, const Args& a) {
         const auto click = click_arg(a[0]);
         talvern::XRFState state;
         state.lorentzian = lorentzian_arg(a.required("--lorentzian"));
         talvern::SetPeakPositionByClick(ws, state, click);
         return Outcome(state.message);
       }},
      {"xrf-confirm",
       "--flag 0|1 --widths W_A,W_B,W_C,W_D\n"
       "--positions P_A,P_B,P_C,P_D --amplitudes H_A,H_B,H_C,H_D",
       "the Lorentzians A-D; flag 1 for two components (\"Confirm Lorentzian Setting\")", 0,
       {{"--flag", true}, {"--widths", true}, {"--positions", true}, {"--amplitudes", true}},
       [](const WorkSpace& ws, const Args& a) {
         talvern::XRFState state;
         const std::string_view flag = a.required("--flag");
         if (flag != "0" && flag != "1") throw UsageError{"--flag takes 0 or 1"};
         state.components = flag == "1" ? 1 : 0;
         state.width = four_texts_arg("--widths", a.required("--widths"));
         state.position = four_texts_arg("--positions", a.required("--positions"));
         state.amplitude = four_texts_arg("--amplitudes", a.required("--amplitudes"));
         talvern::ConfirmLorentzianSetting(ws, state);
         return Outcome(state.message);
       }},
      {"xrf-fit", "--exc TEXT",
       "model of the confirmed Lorentzians at \"Exc. Energy(eV)\" TEXT (\"Fit the Lorentzians\")",
       0, {{"--exc", true}},
       [](const WorkSpace& ws, const Args& a) {
         talvern::XRFState state;
         state.exc_energy = std::string(a.required("--exc"));
         talvern::FitTheLorentzians(ws, state);
         return Outcome(state.message);
       }},
      {"xrf-rfactor", "", "the fit against the measurement (\"Calculate R-factor\")", 0, {},
       [](const WorkSpace& ws, const Args&) {
         talvern::XRFState state;
         talvern::CalculateRFactor(ws, state);
         return Outcome(state.message);
       }},
      {"xrf-lsq", "[--fix LIST] [--background] [--confirm]",
       "least-squares fit of the confirmed Lorentzians in use to the XRF, at the stored "
       "excitation energy; LIST holds A..D or A.position, A.width, A.amplitude ... "
       "(\"Least-Squares Fit\"); --confirm then confirms the fitted values",
       0, {{"--fix", false}, {"--background", false, true}, {"--confirm", false, true}},
       [](const WorkSpace& ws, const Args& a) {
         talvern::XRFState state;
         if (auto list = a.option("--fix")) {
           const auto fixed = fix_arg(*list);
           for (std::size_t x = 0; x < 4; ++x) {
             state.fix_position[x] = fixed[x][talvern::kLsqPosition];
             state.fix_width[x] = fixed[x][talvern::kLsqWidth];
             state.fix_amplitude[x] = fixed[x][talvern::kLsqAmplitude];
           }
         }
         state.background = a.has("--background");
         if (!talvern::load_confirmed_setting(ws, state)) return Outcome(state.message);
         const talvern::LsqResult r = talvern::LeastSquaresFit(ws, state);
         Outcome out(state.message);
         if (!r.ok()) {
           out.failed = true;
           return out;
         }
         if (a.has("--confirm")) {
           talvern::ConfirmLorentzianSetting(ws, state);
           out.message += "\r\n" + state.message;
           out.failed = talvern::has_write_caution(out.message);
         }
         out.after = "R-Factor: " + talvern::format_g6(r.r_after) + "\n";
         return out;
       }},
      {"xrf-complete", "", "the confirmed Lorentzians become final (\"Complete XRF Setting\")", 0,
       {},
       [](const WorkSpace& ws, const Args&) {
         talvern::XRFState state;
         talvern::CompleteXRFSetting(ws, state);
         return Outcome(state.message);
       }},

      // "RIXS Simulation"
      {"rixs-load-selective", "", "the working selective XAFS anew (\"Load Selective XAFS\")", 0,
       {},
       [](const WorkSpace& ws, const Args&) {
         return run_rixs(ws, [](RIXSState&) {}, talvern::LoadSelectiveXAFS);
       }},
      {"rixs-mode-change", "--min T --max T",
       "display region of the selective XAFS (\"Mode Change\")", 0,
       {{"--min", true}, {"--max", true}},
       [](const WorkSpace& ws, const Args& a) {
         return run_rixs(ws, [&](RIXSState& s) { region_args(a, s); }, talvern::ModeChange);
       }},
      {"rixs-pick", "X_L",
       "central and excitation energy from a click at panel x X_L, in the region in force", 1, {},
       [](const WorkSpace& ws, const Args& a) {
         const auto click = click_arg(a[0]);
         return run_rixs(ws, [](RIXSState&) {}, [&](const WorkSpace& w, RIXSState& s) {
           talvern::PickEnergy(w, s, click);
         });
       }},
      {"rixs-show-peak", "--center T --amp T --width T",
       "the Lorentzian over the working copy (\"Show the Peak\")", 0,
       {{"--center", true}, {"--amp", true}, {"--width", true}},
       [](const WorkSpace& ws, const Args& a) {
         return run_rixs(ws, [&](RIXSState& s) {
           s.central_energy = std::string(a.required("--center"));
           s.amplitude = std::string(a.required("--amp"));
           s.width = std::string(a.required("--width"));
         }, talvern::ShowThePeak);
       }},
      {"rixs-modify", "--mode A|B|AB (--add|--subtract)",
       "the Lorentzian last shown added or subtracted (\"Modify XAFS\")", 0,
       {{"--mode", true}, {"--add", false, true}, {"--subtract", false, true}},
       [](const WorkSpace& ws, const Args& a) {
         const int mode = mode_arg(a.required("--mode"));
         if (a.has("--add") == a.has("--subtract"))
           throw UsageError{"rixs-modify takes one of --add and --subtract"};
         return run_rixs(ws, [&](RIXSState& s) {
           s.display_mode = mode;
           s.sign = a.has("--add") ? RIXSState::kAdd : RIXSState::kSubtract;
         }, talvern::ModifyXAFS);
       }},
      {"rixs-save-temporarily", "", "the last modification becomes the working copy "
       "(\"Save It Temporarily\")", 0, {},
       [](const WorkSpace& ws, const Args&) {
         return run_rixs(ws, [](RIXSState&) {}, talvern::SaveItTemporarily);
       }},
      {"rixs-more-change", "--min T --max T", "reload the working copy (\"More Change\")", 0,
       {{"--min", true}, {"--max", true}},
       [](const WorkSpace& ws, const Args& a) {
         return run_rixs(ws, [&](RIXSState& s) { region_args(a, s); }, talvern::MoreChange);
       }},
      {"rixs-complete", "--min T --max T",
       "the working copy for the calculation (\"Complete the Modification\")", 0,
       {{"--min", true}, {"--max", true}},
       [](const WorkSpace& ws, const Args& a) {
         return run_rixs(ws, [&](RIXSState& s) { region_args(a, s); },
                         talvern::CompleteTheModification);
       }},
      {"rixs-save-modified", "FILE", "the completed selective XAFS into FILE "
       "(\"Save Modified XAFS\")", 1, {},
       [](const WorkSpace& ws, const Args& a) {
         return run_rixs(ws, [](RIXSState&) {}, [&](const WorkSpace& w, RIXSState& s) {
           talvern::SaveModifiedXAFS(w, chooser(a[0]), s);
         });
       }},
      {"rixs-shift", "--delta T", "shift the working copy by T eV (\"Shift\")", 0,
       {{"--delta", true}},
       [](const WorkSpace& ws, const Args& a) {
         return run_rixs(ws, [&](RIXSState& s) {
           s.energy_shift = std::string(a.required("--delta"));
         }, talvern::ShiftSelectiveXAFS);
       }},
      {"rixs-calculate", "--exc T --scale T --abs-corr T\n[--compare]",
       "RIXS at excitation energy T (\"Calculate RIXS\"); --compare: a measured RIXS is "
       "shown, so the comparison follows",
       0, {{"--exc", true}, {"--scale", true}, {"--abs-corr", true}, {"--compare", false, true}},
       [](const WorkSpace& ws, const Args& a) {
         return run_rixs(ws, [&](RIXSState& s) {
           s.exc_energy = std::string(a.required("--exc"));
           s.scale = std::string(a.required("--scale"));
           s.abs_correction = std::string(a.required("--abs-corr"));
           if (a.has("--compare")) s.experimental = shown_trace();
         }, talvern::CalculateRIXSSpectrum);
       }},
      {"rixs-comp-exp", "[--calculated]",
       "the stored measured RIXS against the calculated one (\"Comp. Exp. RIXS\"); "
       "--calculated: a calculated RIXS is shown, so \"Compare RIXS\" follows",
       0, {{"--calculated", false, true}},
       [](const WorkSpace& ws, const Args& a) {
         return run_rixs(ws, [&](RIXSState& s) {
           if (a.has("--calculated")) s.calculated = shown_trace();
         }, talvern::CompExpRIXS);
       }},
      {"rixs-comp-another", "FILE [--calculated]\n[--columns COLUMNS] [--kev] [--skip-headers]",
       "the measured RIXS of FILE against the calculated one (\"Comp. Another RIXS\")", 1,
       {{"--calculated", false, true}, kColumnOptions[0], kColumnOptions[1], kColumnOptions[2]},
       [](const WorkSpace& ws, const Args& a) {
         column_args(a, 2);
         RIXSState state;
         if (a.has("--calculated")) state.calculated = shown_trace();
         auto failure = talvern::CompAnotherRIXS(ws, chooser(a[0]), state);
         return Outcome(state.message, std::move(failure));
       }},
      {"rixs-save", "FILE", "the calculated RIXS into FILE (\"Save RIXS\")", 1, {},
       [](const WorkSpace& ws, const Args& a) {
         return run_rixs(ws, [](RIXSState&) {}, [&](const WorkSpace& w, RIXSState& s) {
           talvern::SaveRIXS(w, chooser(a[0]), s);
         });
       }},

      // "Average"
      {"average", "[--start T] [--end T] [--points 5|9|15]",
       "triangular averaging of the working selective XAFS over --start ... --end eV "
       "(\"Average\"); the energies default to those of XAFS_MinMax.DAT, no --points "
       "selects nothing",
       0, {{"--start", false}, {"--end", false}, {"--points", false}},
       [](const WorkSpace& ws, const Args& a) {
         talvern::AverageState state = talvern::initial_average_state(ws);
         if (auto points = a.option("--points"))
           state.points = list_position(state.points_list, std::string(*points) + " points",
                                        "--points", "5, 9 or 15", *points);
         if (auto start = a.option("--start")) state.start_energy = std::string(*start);
         if (auto end = a.option("--end")) state.end_energy = std::string(*end);
         talvern::Average(ws, state);
         return Outcome(state.message);
       }},

      // "Optimization"
      {"optimize",
       "[--start T] [--end T] [--step T]\n[--height T] [--width T] [--height-limit T]\n"
       "[--height-step T] [--repetitions 1|2|3] [--exc T]",
       "greedy optimisation of the working selective XAFS against the measured RIXS "
       "(\"Optimize Selective XAFS\"); each option defaults to the text the dialog opens with, "
       "no --repetitions selects nothing; Ctrl-C stops after the trial in hand",
       0,
       {{"--start", false}, {"--end", false}, {"--step", false}, {"--height", false},
        {"--width", false}, {"--height-limit", false}, {"--height-step", false},
        {"--repetitions", false}, {"--exc", false}},
       run_optimize},

      // "RIXS Plane..."
      {"rixs-plane", "[--from T] [--to T] [--step T]\n[--transfer] [--png FILE] [--log]",
       "RIXS over excitation energies --from ... --to by --step eV into RIXS_Plane.DAT "
       "(\"RIXS Plane...\"); the energies default to XAFS_MinMax.DAT at 0.5 eV, --transfer "
       "gives the energy transfer, --png FILE saves the colour map (--log: logarithmic "
       "intensity); Ctrl-C stops after the excitation energy in hand",
       0,
       {{"--from", false}, {"--to", false}, {"--step", false}, {"--transfer", false, true},
        {"--png", false}, {"--log", false, true}},
       run_rixs_plane},

      // Studies
      {"study-save", "FILE [--name NAME]",
       "every work-space file, the study's name (default: the file name) and date into the "
       "archive FILE (\"Save Study As...\")",
       1, {{"--name", false}},
       [](const WorkSpace& ws, const Args& a) {
         const std::filesystem::path file(a[0]);
         const auto name = a.option("--name");
         return Outcome(talvern::SaveStudy(ws, file, name ? std::string(*name)
                                                          : file.stem().string()));
       }},
      {"study-open", "FILE [--replace]",
       "restore the work-space from the study FILE (\"Open Study...\"); a work-space that "
       "holds files is replaced only with --replace, and kept first in Study_Backups",
       1, {{"--replace", false, true}},
       [](const WorkSpace& ws, const Args& a) {
         const auto r = talvern::OpenStudy(ws, std::filesystem::path(a[0]), a.has("--replace"));
         Outcome out(r.message);
         if (r.needs_replace) {
           out.after = "Nothing was changed: give --replace to replace them.\n";
           out.failed = true;
         }
         return out;
       }},
  };
  return list;
}

// How long a command waits for another program to give the work-space up.
constexpr std::chrono::milliseconds kLockWait{2000};

constexpr const char* kUsageLine = "usage: talvern-cli [--workspace DIR] SUBCOMMAND [ARGS]\n";

// One subcommand as the help lists it: its usage, then what it does.
void print_entry(std::FILE* out, const Subcommand& s) {
  constexpr int kColumn = 27;  // width of the usage column
  // Continuation lines of the arguments line up after the name.
  const std::string indent(std::strlen(s.name) + 1, ' ');
  std::string_view args = s.args;
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
  std::fprintf(out, "  %-*s %s\n", kColumn, line.c_str(), s.help);
}

void print_help(std::FILE* out) {
  std::fprintf(out,
               "%s\nThe work-space is DIR when given, else $TALVERN_WORK_SPACE, else "
               "~/TALVERN_WORK_SPACE.\n\nSubcommands:\n",
               kUsageLine);
  for (const auto& s : subcommands()) print_entry(out, s);
}

// Bad usage: the error and the usage of the subcommand it concerns, or
// the whole help when no subcommand was recognised.
int usage_error(const std::string& what, const Subcommand* command = nullptr) {
  std::fprintf(stderr, "talvern-cli: %s\n\n", what.c_str());
  if (!command) {
    print_help(stderr);
  } else {
    std::fputs(kUsageLine, stderr);
    print_entry(stderr, *command);
    std::fputs("Run talvern-cli --help for every subcommand.\n", stderr);
  }
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
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  std::optional<std::filesystem::path> dir;
  std::size_t i = 0;
  while (i < args.size() && args[i].starts_with("-")) {
    if (args[i] == "--help" || args[i] == "-h") {
      print_help(stdout);
      return 0;
    }
    if (args[i] == "--version") {
      std::printf("talvern-cli %s\n", TALVERN_VERSION);
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
      return usage_error("unknown option " + std::string(args[i]));
    }
  }
  if (i >= args.size()) return usage_error("no subcommand given");
  const std::string_view name = args[i++];
  const std::vector<std::string_view> rest(args.begin() + static_cast<std::ptrdiff_t>(i),
                                           args.end());
  for (const auto& s : subcommands()) {
    if (name != s.name) continue;
    std::optional<Outcome> outcome;
    try {
      const Args a = Args::parse(s.name, rest, s.positional_count, s.options);
      const WorkSpace ws = WorkSpace::locate(dir);
      // A work-space path that is a file holds no work-space: nothing can be
      // read or written there ("construct" says so itself).
      std::error_code ec;
      if (s.name != std::string_view("construct") && std::filesystem::exists(ws.dir(), ec) &&
          !std::filesystem::is_directory(ws.dir(), ec)) {
        print_message("ERROR!!\r\n" + ws.dir().string() +
                      " is a file, not a directory,\r\nso there is no work-space there. "
                      "Nothing was done.");
        return 1;
      }
      // One program per work-space: another one holding it may be about
      // to finish a write, so wait for it briefly.
      talvern::WorkSpaceLock lock;
      if (lock.acquire(ws, kLockWait) == talvern::WorkSpaceLock::State::refused) {
        print_message(talvern::lock_refused_message(lock));
        return 1;
      }
      outcome = s.run(ws, a);
    } catch (const UsageError& e) {
      return usage_error(e.what, &s);
    }
    if (outcome->failure) {
      print_message(outcome->failure->text(), stderr);
      return 1;
    }
    const std::string& message = outcome->message;
    print_message(message);
    std::fputs(outcome->after.c_str(), stdout);
    const bool error = message.starts_with("ERROR!!") || message.starts_with("INPUT ERROR!!") ||
                       outcome->failed;
    return error ? 1 : 0;
  }
  return usage_error("unknown subcommand " + std::string(name));
}
