// The measured set beside the model as pictures: one layout and one colour
// range for measured and calculated, the difference about 0, the cells of a
// lone cut and of a plane, and the three cuts through a picked point.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "rixs/compare_maps.h"
#include "workspace/number_text.h"

namespace {

using namespace talvern;

// A comparison built group by group, in the set's order: each point's
// measured and calculated intensity from (Omega, w).
struct Comparison {
  SetComparison c;
  std::function<double(double, double)> measured = [](double, double) { return 1.0; };
  std::function<double(double, double)> calculated = [](double, double) { return 1.0; };

  void add(MeasuredKind kind, double energy, const std::vector<double>& varying) {
    ComparedGroup g{kind, energy, c.points(), varying.size(), std::nullopt};
    for (double v : varying) {
      const double omega = kind == MeasuredKind::herfd ? v : energy;
      const double w = kind == MeasuredKind::herfd ? energy : v;
      c.omega.push_back(omega);
      c.emission.push_back(w);
      c.measured.push_back(measured(omega, w));
      c.calculated.push_back(calculated(omega, w));
      c.kind.push_back(static_cast<int>(kind));
    }
    c.groups.push_back(g);
  }
  std::size_t index(double omega, double w) const {
    for (std::size_t i = 0; i < c.points(); ++i)
      if (c.omega[i] == omega && c.emission[i] == w) return i;
    ADD_FAILURE() << "no point " << omega << " " << w;
    return 0;
  }
};

std::vector<double> steps(double from, double to, double step) {
  std::vector<double> out;
  for (int i = 0; from + i * step <= to + 1e-9; ++i) out.push_back(from + i * step);
  return out;
}

// The pixel that holds the axis values (x, y).
std::pair<int, int> pixel_of(const PlaneLayout& l, double x, double y) {
  return {static_cast<int>(std::floor(l.px_of(x))), static_cast<int>(std::floor(l.py_of(y)))};
}

TEST(CompareMaps, ShareOneLayoutMeasuredAndCalculatedOneRangeTheDifferenceIsSymmetric) {
  Comparison m;
  // Everywhere 1 and 1, but at P (7111, 7052) measured 2, calculated 4 (the
  // highest, difference +2) and at Q (7110, 7058) calculated 0 (the lowest,
  // difference -1).
  m.measured = [](double omega, double w) { return omega == 7111 && w == 7052 ? 2.0 : 1.0; };
  m.calculated = [](double omega, double w) {
    return omega == 7111 && w == 7052 ? 4.0 : omega == 7110 && w == 7058 ? 0.0 : 1.0;
  };
  for (double omega : {7110.0, 7111.0, 7112.0}) m.add(MeasuredKind::emission, omega, steps(7050, 7060, 1));
  m.add(MeasuredKind::herfd, 7055, steps(7108, 7114, 0.5));
  const SetComparison& c = m.c;

  for (bool transfer : {false, true}) {
    const PlanePicture measured = render_compare_map(c, CompareMap::measured, transfer, false, 600, 400);
    const PlanePicture calculated = render_compare_map(c, CompareMap::calculated, transfer, false, 600, 400);
    const PlanePicture difference = render_compare_map(c, CompareMap::difference, transfer, false, 600, 400);
    const PlaneLayout& l = measured.layout;
    for (const PlanePicture* p : {&calculated, &difference}) {
      const PlaneLayout& o = p->layout;
      EXPECT_EQ(std::make_tuple(o.x0, o.y0, o.w, o.h, o.bar_x), std::make_tuple(l.x0, l.y0, l.w, l.h, l.bar_x));
      EXPECT_EQ(std::make_tuple(o.x_lo, o.x_hi, o.y_lo, o.y_hi), std::make_tuple(l.x_lo, l.x_hi, l.y_lo, l.y_hi));
    }
    // Every point inside the ranges, with room to spare.
    EXPECT_LT(l.x_lo, 7108);
    EXPECT_GT(l.x_hi, 7114);
    EXPECT_LT(l.y_lo, transfer ? 7110 - 7060 : 7050);
    EXPECT_GT(l.y_hi, transfer ? 7112 - 7050 : 7060);

    const auto [px, py] = pixel_of(l, 7111, transfer ? 7111 - 7052 : 7052);
    const auto [qx, qy] = pixel_of(l, 7110, transfer ? 7110 - 7058 : 7058);
    const auto [ox, oy] = pixel_of(l, 7112, transfer ? 7112 - 7060 : 7060);  // 1 and 1
    // One range 0 ... 4 over both: P is halfway up in the measured map.
    EXPECT_EQ(measured.pixel(px, py), viridis(0.5));
    EXPECT_EQ(calculated.pixel(px, py), viridis(1));
    EXPECT_EQ(calculated.pixel(qx, qy), viridis(0));
    EXPECT_EQ(measured.pixel(ox, oy), viridis(0.25));
    // The difference on -2 ... 2: no difference is white, -1 a quarter up.
    EXPECT_EQ(difference.pixel(px, py), diverging(1));
    EXPECT_EQ(difference.pixel(qx, qy), diverging(0.25));
    EXPECT_EQ(difference.pixel(ox, oy), (plot::Rgb{255, 255, 255}));
    // Nothing was measured at the corner; a click finds the point under it.
    EXPECT_EQ(measured.pixel(l.x0 + 1, l.y0 + 1), kEmptyColour);
    EXPECT_EQ(compare_point_at(c, transfer, l, px, py), m.index(7111, 7052));
    EXPECT_FALSE(compare_point_at(c, transfer, l, l.x0 - 1, py));
  }
  const auto lg = compare_colour_range(c, true);
  ASSERT_TRUE(lg);
  EXPECT_EQ(*lg, std::make_pair(1.0, 4.0));  // 0 is no value on the logarithmic scale
  EXPECT_EQ(diverging(0), (plot::Rgb{59, 76, 192}));
  EXPECT_EQ(diverging(1), (plot::Rgb{180, 4, 38}));
}

TEST(CompareMaps, ALoneCutIsAStripeAPlaneAFullMap) {
  Comparison cut;
  cut.add(MeasuredKind::emission, 7115.6, steps(7020, 7080, 0.25));
  const PlaneLayout l = compare_layout(cut.c, false, false, 600, 400);
  const std::vector<std::int32_t> cells = compare_cells(cut.c, false, l);
  ASSERT_EQ(cells.size(), static_cast<std::size_t>(l.w) * l.h);
  const auto [x, top] = pixel_of(l, 7115.6, 7080);
  const auto bottom = pixel_of(l, 7115.6, 7020).second;
  // Up the stripe, every pixel shows the point of its emission energy.
  for (int py = top; py <= bottom; ++py) {
    const std::int32_t at = cells[static_cast<std::size_t>(py - l.y0) * l.w + (x - l.x0)];
    ASSERT_GE(at, 0) << py;
    EXPECT_NEAR(cut.c.emission[at], l.y_at(py), 0.125 + 1e-9);
  }
  // Across it, 1/25 of the map's width.
  int across = 0;
  for (int px = 0; px < l.w; ++px) across += cells[static_cast<std::size_t>((top + bottom) / 2 - l.y0) * l.w + px] >= 0;
  EXPECT_NEAR(across, l.w / 25.0, 2);

  Comparison plane;
  for (double omega : steps(7100, 7129.5, 0.5)) plane.add(MeasuredKind::emission, omega, steps(7050, 7060, 0.5));
  const PlaneLayout pl = compare_layout(plane.c, false, false, 600, 400);
  const std::vector<std::int32_t> full = compare_cells(plane.c, false, pl);
  const auto [x0, y0] = pixel_of(pl, 7100, 7060);
  const auto [x1, y1] = pixel_of(pl, 7129.5, 7050);
  for (int py = y0; py <= y1; ++py)
    for (int px = x0; px <= x1; ++px)
      ASSERT_GE(full[static_cast<std::size_t>(py - pl.y0) * pl.w + (px - pl.x0)], 0) << px << " " << py;
}

TEST(CompareMaps, CutsTakeTheirPointsAndTheirRFactor) {
  Comparison m;
  m.measured = [](double omega, double w) { return 1 + 0.1 * (omega - 7100) + 0.01 * (w - 7050); };
  m.calculated = [](double omega, double w) { return 1 + 0.1 * std::sin(omega + 3 * w); };
  for (double omega : {7110.0, 7111.0, 7112.0}) m.add(MeasuredKind::emission, omega, steps(7050, 7060, 1));
  // Coarse beyond 7052 eV: 7055 eV lies more than half a step from its points.
  m.add(MeasuredKind::emission, 7113, {7050, 7051, 7052, 7058, 7059});
  m.add(MeasuredKind::herfd, 7055, steps(7108, 7114, 0.5));
  const SetComparison& c = m.c;

  // The cut's x, and each of its points where the comparison holds it.
  const auto expect_cut = [&](const std::optional<CompareCut>& cut, const std::vector<double>& x,
                              const std::function<std::size_t(double)>& point) {
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->x, x);
    std::vector<double> measured, calculated;
    for (double v : x) {
      measured.push_back(c.measured[point(v)]);
      calculated.push_back(c.calculated[point(v)]);
    }
    EXPECT_EQ(cut->measured, measured);
    EXPECT_EQ(cut->calculated, calculated);
    ASSERT_TRUE(cut->r_factor);
    EXPECT_DOUBLE_EQ(*cut->r_factor, *r_factor_of(calculated.data(), measured.data(), x.size()));
  };

  // Through (7111, 7053): no HERFD at 7053 eV, so each spectrum's point there
  // (7113 eV: 7052, within half its step of 3.5 eV); at the energy transfer
  // 58 eV, 7055 eV of the 7113 eV spectrum is 3 eV from its points.
  auto cuts = compare_cuts(c, m.index(7111, 7053));
  expect_cut(cuts[0], steps(7050, 7060, 1), [&](double w) { return m.index(7111, w); });
  expect_cut(cuts[1], {7110, 7111, 7112, 7113},
             [&](double omega) { return m.index(omega, omega == 7113 ? 7052 : 7053); });
  expect_cut(cuts[2], {7110, 7111, 7112}, [&](double omega) { return m.index(omega, omega - 58); });

  // Through the HERFD's point at 7108 eV: no spectrum there; the HERFD is the
  // cut at its emission energy; at 53 eV the 7113 eV spectrum ends a step short.
  cuts = compare_cuts(c, m.index(7108, 7055));
  EXPECT_FALSE(cuts[0]);
  expect_cut(cuts[1], steps(7108, 7114, 0.5), [&](double omega) { return m.index(omega, 7055); });
  expect_cut(cuts[2], {7110, 7111, 7112}, [&](double omega) { return m.index(omega, omega - 53); });

  // Picked in the dialog's state: the lines and the traces of the cuts;
  // through a lone cut the other two hold one point each, so none.
  PlaneState s;
  s.comparison = c;
  PickComparePoint(s, m.index(7111, 7053));
  EXPECT_EQ(s.compare_cut_notes[2], "Constant energy transfer 58 eV: R-Factor " +
                                        format_g6(*compare_cuts(c, m.index(7111, 7053))[2]->r_factor));
  ASSERT_TRUE(s.compare_cut_traces[1]);
  EXPECT_EQ(s.compare_cut_traces[1]->size(), 4u);
  EXPECT_EQ(compare_cut_curves(s, 1).size(), 2u);
  // Every point of a short cut is drawn, the ends included: the panel's
  // curve rule joins only points inside its clip window.
  for (const plot::Curve& curve : compare_cut_curves(s, 1)) {
    struct Joins {
      std::size_t lines = 0;
      void move_to(std::size_t) {}
      void line_to(std::size_t) { ++lines; }
    } joins;
    plot::walk_curve_points(curve, joins);
    EXPECT_EQ(joins.lines, 3u);
  }

  Comparison lone;
  lone.add(MeasuredKind::emission, 7115.6, steps(7020, 7030, 0.5));
  s.comparison = lone.c;
  PickComparePoint(s, 3);
  EXPECT_TRUE(s.compare_cut_traces[0]);
  EXPECT_FALSE(s.compare_cut_traces[1] || s.compare_cut_traces[2]);
  EXPECT_EQ(s.compare_cut_notes[1], "Constant emission energy 7021.5 eV: fewer than two points");
  PickComparePoint(s, std::nullopt);
  EXPECT_EQ(s.compare_cut_notes[0], kCompareCutNames[0]);
  EXPECT_FALSE(s.compare_cut_traces[0]);
}

}  // namespace
