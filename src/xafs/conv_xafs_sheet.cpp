#include "xafs/conv_xafs_sheet.h"

#include <algorithm>

#include "command/usage.h"
#include "xafs/edge_table.h"

namespace talvern {
namespace {

// "--edge": a list position (-1 for none) or an edge name as the list
// shows it ("Fe K", "Fe K-edge").
int edge_position(std::string_view text) {
  if (const auto index = parse_integer(text)) {
    if (*index < -1 || *index >= kEdgeCount)
      throw UsageError{"--edge takes a list position from -1 to 42"};
    return *index;
  }
  if (const auto named = edge_named(text)) return *named;
  // Offer the edges of the element the text starts with.
  const std::size_t from = std::min(text.find_first_not_of(' '), text.size());
  const std::string_view word = text.substr(from, text.find(' ', from) - from);
  std::string offer;
  for (int i = 0; i < kEdgeCount && !word.empty(); ++i) {
    const std::string_view name = edge_at(i)->name;
    if (edge_named(std::string(word).append(name.substr(name.find(' ')))) == i) {
      offer += offer.empty() ? " (" : ", ";
      offer += name.substr(0, name.size() - 5);
    }
  }
  if (!offer.empty()) offer += ")";
  throw UsageError{"--edge: no edge is named " + std::string(text) + offer +
                   "; give a list position (0..42) or a name such as \"Fe K\""};
}

// "Select Abs. Edge": the list as a load fills it, and a position in it.
Field<ConvXAFSState> edge_field() {
  using S = ConvXAFSState;
  return {"Select Abs. Edge", "--edge",
          [](S& s, std::string_view t) {
            if (s.edge_list.empty()) list_edges(s);
            s.selected_edge = edge_position(t);
          },
          [](const S& s) -> std::optional<std::string> {
            if (s.selected_edge < 0) return std::nullopt;
            return std::to_string(s.selected_edge);
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

// A box of the edge step; given only when the load normalises by the step
// and the box holds text (an empty box takes its default).
Field<ConvXAFSState> edge_step_box(const char* caption, const char* option,
                                   std::string ConvXAFSState::*member) {
  using S = ConvXAFSState;
  return {caption, option, [member](S& s, std::string_view t) { s.*member = std::string(t); },
          [member](const S& s) -> std::optional<std::string> {
            if (s.normalise != S::kEdgeStep || (s.*member).empty()) return std::nullopt;
            return s.*member;
          }};
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
                  }}},
      .commands = {
          {"Load XAFS(for Abs. Correction)", "xafs-load",
           "[--normalise max|edge-step] [--e0 E]\n[--pre1 D] [--pre2 D] [--norm1 D] [--norm2 D]\n"
           "[--nnorm N] [--flatten]",
           "normalise the conventional XAFS (\"Load XAFS(for Abs. Correction)\"): divided by its "
           "maximum, or --normalise edge-step: (mu - pre(E)) / step with a pre-edge line over "
           "[E0+pre1, E0+pre2] (defaults -150, -30 eV), a post-edge polynomial of degree nnorm "
           "over [E0+norm1, E0+norm2] (150 eV, the last energy; 2 above 300 eV wide, else 1), "
           "E0 from --e0 or the steepest rise; --flatten takes the post-edge curvature out",
           sheet::run<S>(LoadXAFS), true},
          {"", "xafs-click", "[X_L] [--energy E]",
           "core energy from a click at panel x X_L (-96..96; outside, nothing happens), or "
           "--energy E itself",
           sheet::click<S>("xafs-click", CorrectCoreEnergyByClick)},
          {"Edge from Data", "xafs-edge-from-data", "",
           "propose the core energy at the steepest rise of the normalised XAFS (\"Edge from "
           "Data\"); nothing is stored",
           sheet::run<S>(EdgeFromData)},
          {"Confirm XAFS INFO", "xafs-confirm", "[--edge INDEX|NAME]\n[--core-energy TEXT]",
           "edge at list position INDEX (0..42, -1 none) or named as the list shows it (\"Fe "
           "K\"), and the typed core energy (\"Confirm XAFS INFO\")",
           sheet::run<S>(ConfirmXAFSInfo)},
          {"Complete XAFS Setting", "xafs-complete", "",
           "the closing message of the XAFS step (\"Complete XAFS Setting\")",
           sheet::run<S>(CompleteXAFSSetting)},
          {"Clear XAFS", "", "", "", sheet::run<S>(ClearXAFS), true},
      }};
  return sheet;
}

}  // namespace talvern
