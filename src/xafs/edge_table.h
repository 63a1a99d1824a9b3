#pragma once
// The absorption edges the program knows: core energy and core-hole
// lifetime broadening of each. The order is the order of the edge list:
// first the program's own table of 43 edges, then every other K, L1..L3
// and M1..M5 edge of Z = 3 ... 98 within 1000 ... 20000 eV that xraylib
// gives an energy and a level width for (written into the build by
// tools/xraylib_edges.cpp), in the order of Z, then K, L1, ..., M5.

#include <optional>
#include <string_view>

namespace talvern {

struct Edge {
  std::string_view name;  // "Fe K-edge"
  double core_energy;     // eV
  double lifetime;        // full width of the core-hole Lorentzian, eV
};

// The edges of the program's own table, positions 0..42 of the list.
constexpr int kTableEdgeCount = 43;

// Every edge of the list: the table's and xraylib's.
int edge_count();

// The edge at a list position; no edge for a position outside
// 0..edge_count()-1 (the list reports -1 when nothing is selected).
std::optional<Edge> edge_at(int index);

// The index of the edge a user names: the list text ("Fe K-edge") or the
// element and level alone ("Fe K"), in any case, with any spaces around
// the words and a space for the hyphen. The table's edges come first. No
// index for any other text.
std::optional<int> edge_named(std::string_view name);

}  // namespace talvern
