#include <gtest/gtest.h>

#include <set>
#include <string>

#include "xafs/edge_table.h"

namespace talvern {
namespace {

TEST(EdgeTable, CountAndSpotRowsAtTheEndsOfEachGroup) {
  EXPECT_EQ(kEdgeCount, 43);
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
  EXPECT_FALSE(edge_at(43));
}

TEST(EdgeTable, EdgesAreFoundByTheNameAUserTypes) {
  for (const char* fe : {"Fe K", "Fe K-edge", "fe k", "  FE   K ", "Fe K edge", "fe k-EDGE"})
    EXPECT_EQ(edge_named(fe), 7) << fe;
  EXPECT_EQ(edge_named("K K"), 0);
  EXPECT_EQ(edge_named("La L3"), 28);
  EXPECT_EQ(edge_named("Lu L1-edge"), 27);
  for (const char* none : {"", "Fe", "K", "Fe L3", "Fe K-edg", "FeK", "7", "Fe K-edge x"})
    EXPECT_FALSE(edge_named(none)) << none;
}

}  // namespace
}  // namespace talvern
