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

}  // namespace

Sheet<ConvXAFSState>& conv_xafs_sheet() {
  using S = ConvXAFSState;
  static Sheet<S> sheet{
      .fields = {edge_field(), sheet::text<S>("Core Energy (eV)", "--core-energy", &S::core_energy)},
      .commands = {
          {"Load XAFS(for Abs. Correction)", "xafs-load", "",
           "normalise the conventional XAFS (\"Load XAFS(for Abs. Correction)\")",
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
