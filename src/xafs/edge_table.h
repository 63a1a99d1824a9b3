#pragma once
// The absorption edges the program knows: core energy and core-hole
// lifetime broadening of each. The order is the order of the edge list.

#include <optional>
#include <string_view>

namespace talvern {

struct Edge {
  std::string_view name;
  double core_energy;  // eV
  double lifetime;     // full width of the core-hole Lorentzian, eV
};

constexpr int kEdgeCount = 43;

// The edge at a list position; no edge for a position outside 0..42
// (the list reports -1 when nothing is selected).
std::optional<Edge> edge_at(int index);

// The index of the edge a user names: the list text ("Fe K-edge") or the
// element and level alone ("Fe K"), in any case, with any spaces around
// the words and a space for the hyphen. No index for any other text.
std::optional<int> edge_named(std::string_view name);

}  // namespace talvern
