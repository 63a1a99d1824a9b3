// Writes the rows of the absorption edges that the edge list offers after
// its own table: every K, L1..L3 and M1..M5 edge of Z = 3 ... 98 whose
// energy lies in the range a calculation accepts (1000 ... 20000 eV) and
// for which xraylib gives both the edge energy and the level width
// (Campbell and Papp). The build runs it once and compiles its output into
// the core, so that neither the program nor talvern-cli links xraylib.
//
// Usage: talvern_edge_rows OUTPUT. Rows in the order of Z, then K, L1, L2,
// L3, M1 ... M5: {"Pt L3-edge", 11563.7, 5.31},

#include <xraylib.h>

#include <cstdio>
#include <string>

namespace {

constexpr double kLowest = 1000.0, kHighest = 20000.0;  // eV

struct Level {
  int shell;
  const char* name;
};
constexpr Level kLevels[] = {{K_SHELL, "K"},   {L1_SHELL, "L1"}, {L2_SHELL, "L2"},
                             {L3_SHELL, "L3"}, {M1_SHELL, "M1"}, {M2_SHELL, "M2"},
                             {M3_SHELL, "M3"}, {M4_SHELL, "M4"}, {M5_SHELL, "M5"}};

// A value of xraylib in keV as eV; none (0) where xraylib has none.
double kev_to_ev(double (*of)(int, int, xrl_error**), int z, int shell) {
  xrl_error* error = nullptr;
  const double kev = of(z, shell, &error);
  if (error) {
    xrl_error_free(error);
    return 0.0;
  }
  return kev * 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
    return 2;
  }
  const std::string out_name = argv[1];
  const std::string temporary = out_name + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "w");
  if (!out) {
    std::perror(temporary.c_str());
    return 1;
  }
  std::fprintf(out, "// Written by talvern_edge_rows from xraylib; do not edit.\n");
  int rows = 0;
  for (int z = 3; z <= 98; ++z) {
    xrl_error* error = nullptr;
    char* symbol = AtomicNumberToSymbol(z, &error);
    if (error) {
      xrl_error_free(error);
      continue;
    }
    for (const Level& level : kLevels) {
      const double energy = kev_to_ev(EdgeEnergy, z, level.shell);
      const double width = kev_to_ev(AtomicLevelWidth, z, level.shell);
      if (!(energy >= kLowest && energy <= kHighest) || !(width > 0.0)) continue;
      // Six significant digits, as the work-space files hold numbers.
      std::fprintf(out, "{\"%s %s-edge\", %.6g, %.6g},\n", symbol, level.name, energy, width);
      ++rows;
    }
    xrlFree(symbol);
  }
  if (std::fclose(out) != 0 || rows == 0 || std::rename(temporary.c_str(), out_name.c_str()) != 0) {
    std::fprintf(stderr, "%s: no edge rows written\n", out_name.c_str());
    std::remove(temporary.c_str());
    return 1;
  }
  return 0;
}
