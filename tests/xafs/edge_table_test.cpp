#include <gtest/gtest.h>

#include <xraylib.h>

#include <cmath>
#include <set>
#include <string>

#include "xafs/edge_table.h"

namespace talvern {
namespace {

TEST(EdgeTable, CountAndSpotRowsAtTheEndsOfEachGroup) {
  EXPECT_EQ(kTableEdgeCount, 43);
  struct Row { int index; const char* name; double energy; double lifetime; };
  const Row spots[] = {
      {0, "K K-edge", 3608, 0.74},     {7, "Fe K-edge", 7114, 1.25},
      {12, "Ga K-edge", 10367, 1.82},  {13, "La L1-edge", 6267, 4.06},
      {27, "Lu L1-edge", 10870, 5.54}, {28, "La L3-edge", 5483, 3.41},
      {42, "Lu L3-edge", 9244, 4.68},
  };
  for (const auto& want : spots) {
    auto edge = edge_at(want.index);
    ASSERT_TRUE(edge) << want.index;
    EXPECT_EQ(edge->name, want.name) << want.index;
    EXPECT_EQ(edge->core_energy, want.energy) << want.index;
    EXPECT_EQ(edge->lifetime, want.lifetime) << want.index;
  }
}

TEST(EdgeTable, EveryRowNamedOnceWithPositiveValues) {
  std::set<std::string> names;
  for (int i = 0; i < 43; ++i) {
    auto edge = edge_at(i);
    ASSERT_TRUE(edge) << i;
    EXPECT_TRUE(names.emplace(edge->name).second) << "repeated: " << edge->name;
    EXPECT_TRUE(edge->name.ends_with("-edge")) << edge->name;
    EXPECT_GT(edge->core_energy, 0) << edge->name;
    EXPECT_GT(edge->lifetime, 0) << edge->name;
  }
}

TEST(EdgeTable, NoRowOutsideTheList) {
  EXPECT_FALSE(edge_at(-1));  // nothing selected
  EXPECT_TRUE(edge_at(edge_count() - 1));
  EXPECT_FALSE(edge_at(edge_count()));
}

// A value of xraylib in eV; 0 where it has none.
double xraylib_ev(double (*of)(int, int, xrl_error**), int z, int shell) {
  xrl_error* error = nullptr;
  const double kev = of(z, shell, &error);
  if (!error) return kev * 1000.0;
  xrl_error_free(error);
  return 0.0;
}

// After the table, the list holds each edge of xraylib that a calculation
// takes (1000 ... 20000 eV, a width given) exactly once, in the order of Z
// and level, with xraylib's values; the table's own edges keep theirs.
TEST(EdgeTable, XraylibEdgesFollowTheTableOnceEachInOrder) {
  const int shells[] = {K_SHELL,  L1_SHELL, L2_SHELL, L3_SHELL, M1_SHELL,
                        M2_SHELL, M3_SHELL, M4_SHELL, M5_SHELL};
  const char* levels[] = {"K", "L1", "L2", "L3", "M1", "M2", "M3", "M4", "M5"};
  int next = kTableEdgeCount, outside = 0;
  for (int z = 3; z <= 98; ++z) {
    xrl_error* error = nullptr;
    char* symbol = AtomicNumberToSymbol(z, &error);
    ASSERT_FALSE(error) << z;
    for (int k = 0; k < 9; ++k) {
      const std::string name = std::string(symbol) + " " + levels[k];
      const double energy = xraylib_ev(EdgeEnergy, z, shells[k]);
      const double width = xraylib_ev(AtomicLevelWidth, z, shells[k]);
      const std::optional<int> at = edge_named(name);
      if (energy < 1000 || energy > 20000 || !(width > 0)) {
        EXPECT_FALSE(at) << name << " at " << energy << " eV";
        outside += energy > 0 && width > 0;
        continue;
      }
      ASSERT_TRUE(at) << name;
      if (*at < kTableEdgeCount) continue;
      EXPECT_EQ(*at, next++) << name;
      const Edge edge = *edge_at(*at);
      EXPECT_EQ(edge.name, name + "-edge");
      EXPECT_NEAR(edge.core_energy, energy, 1e-5 * energy) << name;
      EXPECT_NEAR(edge.lifetime, width, 1e-5 * width) << name;
    }
    xrlFree(symbol);
  }
  EXPECT_EQ(next, edge_count());
  EXPECT_GT(outside, 100);  // Fe L3 at 707 eV, U K at 116 keV, ...

  // Spots of the groups xraylib adds, near the values of the literature.
  struct Spot { const char* name; double energy, width; };
  for (const Spot& want : {Spot{"Pt L3", 11564, 5.3}, Spot{"W L2", 11544, 4.8},
                           Spot{"Gd L2", 7930, 3.9}, Spot{"U M5", 3552, 3.5}}) {
    const std::optional<int> at = edge_named(want.name);
    ASSERT_TRUE(at) << want.name;
    EXPECT_GE(*at, kTableEdgeCount) << want.name;
    EXPECT_NEAR(edge_at(*at)->core_energy, want.energy, 5) << want.name;
    EXPECT_NEAR(edge_at(*at)->lifetime, want.width, 0.3) << want.name;
  }
  // The table first: its Fe K stays, though xraylib has 7112 eV and 1.19 eV.
  EXPECT_EQ(edge_named("Fe K"), 7);
  EXPECT_EQ(edge_at(7)->core_energy, 7114);
}

TEST(EdgeTable, EdgesAreFoundByTheNameAUserTypes) {
  for (const char* fe : {"Fe K", "Fe K-edge", "fe k", "  FE   K ", "Fe K edge", "fe k-EDGE"})
    EXPECT_EQ(edge_named(fe), 7) << fe;
  EXPECT_EQ(edge_named("K K"), 0);
  EXPECT_EQ(edge_named("La L3"), 28);
  EXPECT_EQ(edge_named("Lu L1-edge"), 27);
  for (const char* pt : {"Pt L3", "pt l3", "PT L3-EDGE", " Pt  l3 edge"})
    EXPECT_EQ(edge_named(pt), edge_named("Pt L3-edge")) << pt;
  for (const char* none : {"", "Fe", "K", "Fe L3", "Fe K-edg", "FeK", "7", "Fe K-edge x"})
    EXPECT_FALSE(edge_named(none)) << none;
}

}  // namespace
}  // namespace talvern
