#include "xafs/edge_table.h"

#include <iterator>
#include <string>
#include <vector>

namespace talvern {

namespace {

constexpr Edge kEdges[kTableEdgeCount] = {
    {"K K-edge", 3608, 0.74},    {"Ca K-edge", 4038, 0.81},   {"Sc K-edge", 4493, 0.86},
    {"Ti K-edge", 4965, 0.94},   {"V K-edge", 5465, 1.01},    {"Cr K-edge", 5939, 1.08},
    {"Mn K-edge", 6539, 1.16},   {"Fe K-edge", 7114, 1.25},   {"Co K-edge", 7709, 1.33},
    {"Ni K-edge", 8333, 1.44},   {"Cu K-edge", 8979, 1.55},   {"Zn K-edge", 9659, 1.67},
    {"Ga K-edge", 10367, 1.82},
    {"La L1-edge", 6267, 4.06},  {"Ce L1-edge", 6549, 4.21},  {"Pr L1-edge", 6835, 4.34},
    {"Nd L1-edge", 7126, 4.52},  {"Pm L1-edge", 7428, 4.67},  {"Sm L1-edge", 7737, 4.8},
    {"Eu L1-edge", 8052, 4.91},  {"Gd L1-edge", 8376, 5.05},  {"Tb L1-edge", 8708, 5.19},
    {"Dy L1-edge", 9047, 5.25},  {"Ho L1-edge", 9395, 5.33},  {"Er L1-edge", 9752, 5.43},
    {"Tm L1-edge", 10116, 5.47}, {"Yb L1-edge", 10488, 5.53}, {"Lu L1-edge", 10870, 5.54},
    {"La L3-edge", 5483, 3.41},  {"Ce L3-edge", 5724, 3.48},  {"Pr L3-edge", 5965, 3.6},
    {"Nd L3-edge", 6208, 3.65},  {"Pm L3-edge", 6460, 3.75},  {"Sm L3-edge", 6717, 3.86},
    {"Eu L3-edge", 6977, 3.91},  {"Gd L3-edge", 7243, 4.01},  {"Tb L3-edge", 7515, 4.12},
    {"Dy L3-edge", 7790, 4.17},  {"Ho L3-edge", 8071, 4.26},  {"Er L3-edge", 8358, 4.35},
    {"Tm L3-edge", 8648, 4.48},  {"Yb L3-edge", 8943, 4.6},   {"Lu L3-edge", 9244, 4.68},
};

// xraylib's edges, the table's among them.
constexpr Edge kLibraryEdges[] = {
#include "xafs/xraylib_edge_rows.inc"
};

// The table, then xraylib's edges that the table does not hold; built once.
const std::vector<Edge>& all_edges() {
  static const std::vector<Edge> edges = [] {
    std::vector<Edge> out(std::begin(kEdges), std::end(kEdges));
    for (const Edge& edge : kLibraryEdges) {
      bool held = false;
      for (const Edge& own : kEdges) held = held || own.name == edge.name;
      if (!held) out.push_back(edge);
    }
    return out;
  }();
  return edges;
}

// Lower case, the hyphen as a space, words one space apart.
std::string words_of(std::string_view text) {
  std::string out;
  bool gap = false;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '-') {
      gap = !out.empty();
      continue;
    }
    if (gap) out += ' ';
    gap = false;
    out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

}  // namespace

int edge_count() { return static_cast<int>(all_edges().size()); }

std::optional<int> edge_named(std::string_view name) {
  const std::string wanted = words_of(name);
  for (int i = 0; i < edge_count(); ++i) {
    const std::string full = words_of(all_edges()[i].name);  // "fe k edge"
    if (wanted == full || wanted == full.substr(0, full.size() - 5)) return i;
  }
  return std::nullopt;
}

std::optional<Edge> edge_at(int index) {
  if (index < 0 || index >= edge_count()) return std::nullopt;
  return all_edges()[index];
}

}  // namespace talvern
