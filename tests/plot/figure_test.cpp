#include "plot/figure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <vector>

namespace plot = talvern::plot;

namespace {

// Counts what the curve rule joins and where it moves to.
struct Joins {
  std::size_t lines = 0;
  void move_to(int, int) {}
  void line_to(int, int) { ++lines; }
};

std::size_t joined(const plot::Curve& c) {
  Joins j;
  plot::walk_curve(c, j);
  return j.lines;
}

// A measured peak of 1 and a calculated one of `calculated` times it, on the
// comparison's scale (the measured maximum at y = 85), with the hidden flags
// "Comp. Exp. RIXS" gives: a segment out of a point above the measured
// maximum is not drawn.
struct Comparison {
  std::vector<double> rows;
  plot::Trace trace;
  std::vector<plot::Curve> curves;

  explicit Comparison(double calculated) {
    for (int e = 7040; e <= 7070; ++e) {
      const double g = std::exp(-(e - 7055) * (e - 7055) / 20.0);
      rows.insert(rows.end(), {double(e), g, calculated * g});
    }
    trace = *plot::mapped_trace(rows.data(), rows.size() / 3, 3, 2, {7040, 7070, 0, 20000},
                                plot::kComparisonMapping);
    trace.hidden.assign(trace.size(), 0);
    for (std::size_t j = 1; j < trace.size(); ++j) trace.hidden[j] = trace.y[1][j - 1] > 85;
    curves = {{&trace, 1, plot::Pen::blue, {}, true, "calculated_total", "calculated"},
              {&trace, 0, plot::Pen::red, {}, false, "measured", "measured"}};
  }
};

}  // namespace

// A calculation taller than the measurement is cut by the measurement's
// scale: the panel marks it; the whole view shows it joined throughout and
// needs no mark; a curve within the frame gets neither.
TEST(PanelFigure, ACurveCutByTheScaleIsMarkedAndTheWholeViewShowsIt) {
  const Comparison tall(2.0);
  const auto mark = plot::clipped_mark(tall.curves, {});
  ASSERT_TRUE(mark);
  EXPECT_EQ(mark->pen, plot::Pen::blue);
  EXPECT_NEAR(mark->at, 0, 1.0);  // over the peak at 7055 eV, the middle of 7040..7070
  EXPECT_LT(joined(tall.curves[0]), tall.trace.size() - 1);

  const plot::View whole = plot::whole_view(tall.curves);
  EXPECT_EQ(whole.x_lo, -100);
  EXPECT_EQ(whole.x_hi, 100);
  EXPECT_NEAR(whole.y_hi, -95 + 180 * 2 + 5, 1.0);  // the peak 5 units under the top
  EXPECT_EQ(whole.y_lo, -100);
  EXPECT_FALSE(plot::clipped_mark(tall.curves, whole));
  const plot::Curve widened = plot::widened_curve(tall.curves[0], whole);
  // Every segment but the one into 7070 eV, at x = 100 right of the clip window.
  EXPECT_EQ(joined(widened), tall.trace.size() - 2);
  // Within the frame, a view changes nothing of the rule.
  const plot::Curve zoomed = plot::widened_curve(tall.curves[0], {-50, 50, -50, 50});
  EXPECT_EQ(joined(zoomed), joined(tall.curves[0]));

  // A zoom that cuts the measured peak marks it as well.
  const Comparison low(0.5);
  EXPECT_FALSE(plot::clipped_mark(low.curves, {}));
  EXPECT_EQ(plot::whole_view(low.curves), plot::View{});
  const auto cut = plot::clipped_mark(low.curves, {-100, 100, -100, 20});
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->pen, plot::Pen::red);
  // The post-edge line's flags hide what lies below E0, not what is high:
  // a view beyond the frame keeps them.
  plot::Trace post = low.trace;
  post.hidden.assign(post.size(), 1);
  const plot::Curve flagged{&post, 0, plot::Pen::green, {}, true};
  EXPECT_EQ(joined(plot::widened_curve(flagged, whole)), 0u);
}

TEST(PanelFigure, LegendNamesEachCurveOnceAndTakesTheEmptiestCorner) {
  const Comparison tall(2.0);
  // Component 2 drawn exactly under component 1 is not seen, so not named.
  plot::Trace same = tall.trace;
  same.y[0][5] += 2;
  same.y[1] = same.y[0];
  std::vector<plot::Curve> curves{{&same, 1, plot::Pen::blue, {}, false, "c2", "component 2"},
                                  {&same, 0, plot::Pen::red, {}, false, "c1", "component 1"}};
  curves.insert(curves.end(), tall.curves.begin(), tall.curves.end());
  curves.push_back({&tall.trace, 1, plot::Pen::sky_blue, {}, false, "x", "calculated"});
  curves.push_back({&tall.trace, 1, plot::Pen::grid, {}, false, "zero"});  // no label
  curves.push_back({nullptr, 0, plot::Pen::pink, {}, false, "none", "Lorentzian"});
  const std::vector<plot::Marker> markers{{7050, "core energy"}};
  const std::vector<plot::LegendEntry> expected{{"component 1", plot::Pen::red},
                                                {"calculated", plot::Pen::blue},
                                                {"measured", plot::Pen::red},
                                                {"core energy", plot::Pen::marker}};
  EXPECT_EQ(plot::legend_entries(curves, markers), expected);
  same.y[1][3] += 1;  // one point apart: both seen
  EXPECT_EQ(plot::legend_entries(curves, {}).front().label, "component 2");

  // A rising edge leaves the top left empty; a falling one the top right; a
  // peak in the middle leaves both, and the top right comes first.
  std::vector<double> rising, falling;
  for (int e = 7000; e <= 7250; e += 5) {
    const double step = 1 / (1 + std::exp(-(e - 7125) / 10.0));
    rising.insert(rising.end(), {double(e), step});
    falling.insert(falling.end(), {double(e), 1 - step});
  }
  const plot::Range range{7000, 7250, 0, 10000};
  const plot::Trace up = *plot::standard_trace(rising.data(), rising.size() / 2, 2, 1, range);
  const plot::Trace down = *plot::standard_trace(falling.data(), falling.size() / 2, 2, 1, range);
  const auto corner = [&](const plot::Trace& t, const std::vector<plot::Marker>& m) {
    return plot::legend_corner({{&t, 0, plot::Pen::red}}, m, t.axes, {}, 80, 40, 3);
  };
  EXPECT_EQ(corner(up, {}), plot::Corner::top_left);
  EXPECT_EQ(corner(down, {}), plot::Corner::top_right);
  EXPECT_EQ(corner(up, {}), plot::Corner::top_left);
  EXPECT_EQ(plot::legend_corner({{&tall.trace, 0, plot::Pen::red}}, {}, tall.trace.axes, {}, 60, 40, 3),
            plot::Corner::top_right);
  // A marker through the top left keeps the legend off it.
  EXPECT_EQ(corner(up, {{7010, "core energy"}}), plot::Corner::bottom_right);

  EXPECT_DOUBLE_EQ(plot::box_marker(" 7112.5", "core energy")->energy, 7112.5);
  EXPECT_FALSE(plot::box_marker("", "core energy"));
  EXPECT_FALSE(plot::box_marker("abc", "core energy"));
}
