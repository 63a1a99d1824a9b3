#include "xafs/conv_xafs_sheet.h"

#include <algorithm>

#include "command/usage.h"
#include "workspace/file_names.h"
#include "xafs/edge_table.h"

namespace talvern {
namespace {

// The list positions as usage texts give them: "0..399".
std::string positions() { return "0.." + std::to_string(other_edge_position()); }

// "Other..." in any case, with or without the dots.
bool names_other(std::string_view text) {
  const std::size_t from = std::min(text.find_first_not_of(' '), text.size());
  text = text.substr(from, text.find_last_not_of(". ") + 1 - from);
  constexpr std::string_view other = "other";
  return text.size() == other.size() &&
         std::equal(text.begin(), text.end(), other.begin(),
                    [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b; });
}

// "--edge": a list position (-1 for none), an edge name as the list shows
// it ("Fe K", "Fe K-edge", "pt l3") or "Other...".
int edge_position(std::string_view text) {
  if (const auto index = parse_integer(text)) {
    if (*index < -1 || *index > other_edge_position())
      throw UsageError{"--edge takes a list position from -1 to " +
                       std::to_string(other_edge_position())};
    return *index;
  }
  if (const auto named = edge_named(text)) return *named;
  if (names_other(text)) return other_edge_position();
  // Offer the edges of the element the text starts with.
  const std::size_t from = std::min(text.find_first_not_of(' '), text.size());
  const std::string_view word = text.substr(from, text.find(' ', from) - from);
  std::string offer;
  for (int i = 0; i < edge_count() && !word.empty(); ++i) {
    const std::string_view name = edge_at(i)->name;
    if (edge_named(std::string(word).append(name.substr(name.find(' ')))) == i) {
      offer += offer.empty() ? " (" : ", ";
      offer += name.substr(0, name.size() - 5);
    }
  }
  if (!offer.empty()) offer += ")";
  throw UsageError{"--edge: no edge is named " + std::string(text) + offer +
                   "; give a list position (" + positions() + ") or a name such as \"Fe K\""};
}

// "Select Abs. Edge": the list as a load fills it, and a position in it:
// in the history a table edge by its position, any other entry by its
// name, which stays whatever xraylib adds to the list.
Field<ConvXAFSState> edge_field() {
  using S = ConvXAFSState;
  return {"Select Abs. Edge", "--edge",
          [](S& s, std::string_view t) {
            list_edges(s);
            s.selected_edge = edge_position(t);
          },
          [](const S& s) -> std::optional<std::string> {
            const int i = s.selected_edge;
            if (i < 0) return std::nullopt;
            if (i < kTableEdgeCount || static_cast<std::size_t>(i) >= s.edge_list.size())
              return std::to_string(i);
            return s.edge_list[static_cast<std::size_t>(i)];
          }};
}

// The load's normalisation: "max" (dividing by the maximum, as ever, and
// left out of the history) or "edge-step".
Field<ConvXAFSState> normalise_field() {
  using S = ConvXAFSState;
  return {"Normalization", "--normalise",
          [](S& s, std::string_view t) {
            if (t == "max")
              s.normalise = S::kDivideByMaximum;
            else if (t == "edge-step")
              s.normalise = S::kEdgeStep;
            else
              throw UsageError{"--normalise takes max or edge-step, not " + std::string(t)};
          },
          [](const S& s) -> std::optional<std::string> {
            if (s.normalise != S::kEdgeStep) return std::nullopt;
            return "edge-step";
          }};
}

// A box kept as typed; in the history only when it holds text, so that
// lines that leave it empty (any other edge, a default) stay as they were.
Field<ConvXAFSState> own_text(const char* caption, const char* option,
                              std::string ConvXAFSState::*member) {
  Field<ConvXAFSState> field = sheet::text<ConvXAFSState>(caption, option, member);
  field.get = [member](const ConvXAFSState& s) {
    return (s.*member).empty() ? std::nullopt : std::optional<std::string>(s.*member);
  };
  return field;
}

// A box of the edge step; given only when the load normalises by the step
// and the box holds text (an empty box takes its default).
Field<ConvXAFSState> edge_step_box(const char* caption, const char* option,
                                   std::string ConvXAFSState::*member) {
  Field<ConvXAFSState> field = own_text(caption, option, member);
  field.get = [text = field.get](const ConvXAFSState& s) {
    return s.normalise == ConvXAFSState::kEdgeStep ? text(s) : std::nullopt;
  };
  return field;
}

// "--edge-energy" or "--edge-width" without "--edge": the edge of one's own.
void select_own_edge(const WorkSpace&, ConvXAFSState& s, const CommandRun& run) {
  if (run.options.has("--edge") ||
      !(run.options.has("--edge-energy") || run.options.has("--edge-width")))
    return;
  list_edges(s);
  s.selected_edge = other_edge_position();
}

const std::string& confirm_help() {
  static const std::string help =
      "edge at list position INDEX (" + positions() +
      ", -1 none) or named as the list shows it (\"Fe K\", \"pt l3\"), and the typed core "
      "energy (\"Confirm XAFS INFO\"); --edge-energy E and --edge-width G (eV) for an edge of "
      "one's own (\"Other...\", the last position)";
  return help;
}

}  // namespace

Sheet<ConvXAFSState>& conv_xafs_sheet() {
  using S = ConvXAFSState;
  static Sheet<S> sheet{
      .fields = {edge_field(), sheet::text<S>("Core Energy (eV)", "--core-energy", &S::core_energy),
                 normalise_field(),
                 // E0 of the edge step is the core energy box.
                 edge_step_box("Core Energy (eV)", "--e0", &S::core_energy),
                 edge_step_box("Pre-edge from", "--pre1", &S::pre1),
                 edge_step_box("Pre-edge to", "--pre2", &S::pre2),
                 edge_step_box("Post-edge from", "--norm1", &S::norm1),
                 edge_step_box("Post-edge to", "--norm2", &S::norm2),
                 edge_step_box("Post-edge degree", "--nnorm", &S::nnorm),
                 {"Flatten", "--flatten", [](S& s, std::string_view) { s.flatten = true; },
                  [](const S& s) -> std::optional<std::string> {
                    if (s.normalise != S::kEdgeStep || !s.flatten) return std::nullopt;
                    return "";
                  }},
                 own_text("Other... Energy (eV)", "--edge-energy", &S::own_energy),
                 own_text("Other... Width (eV)", "--edge-width", &S::own_width)},
      .commands = {
          {"Load XAFS(for Abs. Correction)", "xafs-load",
           "[--normalise max|edge-step] [--e0 E]\n[--pre1 D] [--pre2 D] [--norm1 D] [--norm2 D]\n"
           "[--nnorm N] [--flatten]",
           "normalise the conventional XAFS (\"Load XAFS(for Abs. Correction)\"): divided by its "
           "maximum, or --normalise edge-step: (mu - pre(E)) / step with a pre-edge line over "
           "[E0+pre1, E0+pre2] (defaults -150, -30 eV), a post-edge polynomial of degree nnorm "
           "over [E0+norm1, E0+norm2] (150 eV, the last energy; 2 above 300 eV wide, else 1), "
           "E0 from --e0 or the steepest rise; --flatten takes the post-edge curvature out",
           sheet::run<S>(LoadXAFS),
           {.reads = {files::kConventionalXAFS, files::kConventionalXAFSAbsorber},
            .writes = {files::kConvXAFSMinMaxOrg, files::kConvXAFSMinMax,
                       files::kConvXAFSNormSpectrum}},
           true},
          {"", "xafs-click", "[X_L] [--energy E]",
           "core energy from a click at panel x X_L (-96..96; outside, nothing happens), or "
           "--energy E itself",
           sheet::click<S>("xafs-click", CorrectCoreEnergyByClick),
           {.reads = {files::kConvXAFSMinMax}, .writes = {files::kParameters}}},
          {"Edge from Data", "xafs-edge-from-data", "",
           "propose the core energy at the steepest rise of the normalised XAFS (\"Edge from "
           "Data\"); nothing is stored",
           sheet::run<S>(EdgeFromData), {.reads = {files::kConvXAFSNormSpectrum}}},
          {"Confirm XAFS INFO", "xafs-confirm",
           "[--edge INDEX|NAME]\n[--core-energy TEXT]\n[--edge-energy E] [--edge-width G]",
           confirm_help().c_str(), sheet::run<S>(ConfirmXAFSInfo),
           {.reads = {files::kParameters, files::kSelectiveReadingOrg},
            .writes = {files::kParameters, files::kEmissionExcEnergy, files::kSelectiveReading}},
           false, select_own_edge},
          {"Complete XAFS Setting", "xafs-complete", "",
           "the closing message of the XAFS step (\"Complete XAFS Setting\")",
           sheet::run<S>(CompleteXAFSSetting), {}},
          {"Clear XAFS", "", "", "", sheet::run<S>(ClearXAFS), {}, true},
      }};
  return sheet;
}

}  // namespace talvern
