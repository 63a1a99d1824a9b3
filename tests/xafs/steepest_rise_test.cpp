#include "xafs/steepest_rise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace {

using talvern::steepest_rise;

// Rows (E, mu(E)) at the given energies.
std::vector<double> rows_at(const std::vector<double>& energies,
                            const std::function<double(double)>& mu) {
  std::vector<double> rows;
  for (double e : energies) {
    rows.push_back(e);
    rows.push_back(mu(e));
  }
  return rows;
}

std::vector<double> grid(double first, double last, double step) {
  std::vector<double> e;
  for (int i = 0; first + i * step <= last + 1e-9; ++i) e.push_back(first + i * step);
  return e;
}

std::optional<double> rise(const std::vector<double>& rows) {
  return steepest_rise(rows.data(), rows.size() / 2);
}

// An arctan step of lifetime width 1.5 eV: inflection at e0.
auto arctan_edge(double e0) {
  return [e0](double e) { return 0.05 + (0.5 + std::atan((e - e0) / 0.75) / M_PI); };
}

TEST(SteepestRise, FindsTheInflectionOfASmoothEdgeToAHundredthOfAnEV) {
  // Between grid points, on a uniform 0.1 eV grid and a coarse 0.5 eV one.
  for (double step : {0.1, 0.5}) {
    const auto at = rise(rows_at(grid(7050, 7250, step), arctan_edge(7112.05)));
    ASSERT_TRUE(at) << step;
    EXPECT_NEAR(*at, 7112.05, 0.015) << step;
    EXPECT_EQ(*at, std::round(*at * 100) / 100);  // a value of the 0.01 eV grid
  }

  // A tanh step on a non-uniform grid (2 eV before the edge, 0.3 eV over
  // it, 1.5 eV after), given from high to low energy.
  std::vector<double> e = grid(7000, 7100, 2);
  for (double x : grid(7100.3, 7130, 0.3)) e.push_back(x);
  for (double x : grid(7131.5, 7300, 1.5)) e.push_back(x);
  std::vector<double> descending(e.rbegin(), e.rend());
  const auto at = rise(rows_at(descending, [](double x) { return std::tanh((x - 7113.37) / 2); }));
  ASSERT_TRUE(at);
  EXPECT_NEAR(*at, 7113.37, 0.015);
}

TEST(SteepestRise, StaysNearTheInflectionInNoiseAndBesideAPreEdgePeak) {
  std::mt19937 random(11);
  std::normal_distribution<double> noise(0.0, 0.005);  // 0.5 % of the edge step
  for (int trial = 0; trial < 20; ++trial) {
    const auto at = rise(rows_at(grid(7050, 7250, 0.2), [&](double e) {
      return arctan_edge(7114.2)(e) + noise(random);
    }));
    ASSERT_TRUE(at);
    EXPECT_NEAR(*at, 7114.2, 0.08) << trial;
  }
  // A pre-edge peak of a tenth of the step, 6 eV below, does not take the proposal.
  const auto at = rise(rows_at(grid(7050, 7250, 0.25), [](double e) {
    return arctan_edge(7114.2)(e) + 0.1 * std::exp(-0.5 * std::pow((e - 7108.2) / 1.0, 2));
  }));
  ASSERT_TRUE(at);
  EXPECT_NEAR(*at, 7114.2, 0.1);
}

TEST(SteepestRise, ProposesNothingWithoutASingleSteepestRise) {
  const auto e = grid(7100, 7120, 1);
  EXPECT_FALSE(rise(rows_at(e, [](double) { return 0.7; })));                 // flat
  EXPECT_FALSE(rise(rows_at(e, [](double x) { return 7200 - x; })));          // falls
  EXPECT_FALSE(rise(rows_at(e, [](double x) { return 0.01 * (x - 7000); })));  // even rise
  EXPECT_FALSE(rise(rows_at(grid(7100, 7103, 1), arctan_edge(7101.5))));      // 4 energies
  // Five rows, but of four energies.
  EXPECT_FALSE(rise({7100, 0, 7101, 0.1, 7101, 0.2, 7102, 0.9, 7103, 1}));
  auto rows = rows_at(e, arctan_edge(7110));
  rows[11] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(rise(rows));
  EXPECT_FALSE(steepest_rise(nullptr, 0));
}

}  // namespace
