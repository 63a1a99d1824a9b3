#include "plot/panel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

using talvern::plot::ClipWindow;
using talvern::plot::Curve;
using talvern::plot::PanelPoint;
using talvern::plot::Range;
using talvern::plot::Trace;

TEST(StandardMapping, RangeEndsGoToTheFrame) {
  // XRF-like range: 7020 .. 7080 eV, 10000 x intensity from 0 to 10000.
  const Range r{7020, 7080, 0, 10000};
  EXPECT_EQ(*talvern::plot::map_standard(7020, 0.0, r), (PanelPoint{-100, -95}));
  EXPECT_EQ(*talvern::plot::map_standard(7080, 1.0, r), (PanelPoint{100, 85}));
  EXPECT_EQ(*talvern::plot::map_standard(7050, 0.5, r), (PanelPoint{0, -5}));
}

TEST(StandardMapping, TruncatesTowardZero) {
  const Range r{0, 10, -10000, 10000};
  // 0.01 eV below the range: k = trunc(-0.5) = 0, so x stays at -100.
  EXPECT_EQ(talvern::plot::map_standard(-0.01, 0, r)->x, -100);
  // 10000 x -0.00015 = -1.5 -> -1; y = -95 - trunc(9999 * -180 / 20000) = -95 + 89.
  EXPECT_EQ(talvern::plot::map_standard(0, -0.00015, r)->y, -6);
  // 0.07 eV is 3 whole steps of 0.02 eV: x = -100 - trunc(600 / 10 / -50) = -99.
  EXPECT_EQ(talvern::plot::map_standard(0.07, 0, r)->x, -99);
  EXPECT_EQ(talvern::plot::map_standard(0.079, 0, r)->x, -99);
  EXPECT_EQ(talvern::plot::map_standard(2.5, 0, r)->x, -50);
}

TEST(ComparisonMapping, MeasuredMaximumAt85AndCalculatedOnTheSameScale) {
  // EXP_MinMax.DAT of a spectrum with intensities 0.05 .. 0.5.
  const Range r{7040, 7070, 20000 * 0.05, 20000 * 0.5};
  EXPECT_EQ(*talvern::plot::map_comparison(7040, 0.05, r), (PanelPoint{-100, -95}));
  EXPECT_EQ(*talvern::plot::map_comparison(7070, 0.5, r), (PanelPoint{100, 85}));
  // A calculated intensity above the measured maximum leaves the frame.
  EXPECT_GT(talvern::plot::map_comparison(7055, 0.6, r)->y, 95);
  EXPECT_EQ(talvern::plot::map_comparison(7055, 0.6, r)->x, 0);
}

TEST(Mappings, RangesOfZeroWidthOrHeightMapNothing) {
  using talvern::plot::map_comparison;
  using talvern::plot::map_standard;
  EXPECT_FALSE(map_standard(1, 1, Range{7000, 7000, 0, 1}));
  EXPECT_FALSE(map_standard(1, 1, Range{7000, 7001, 5, 5}));
  EXPECT_FALSE(map_comparison(1, 1, Range{7000, 7000, 0, 1}));
  EXPECT_FALSE(map_comparison(1, 1, Range{7000, 7001, 0, 0}));   // no measured maximum
  EXPECT_FALSE(map_comparison(1, 1, Range{7000, 7001, 7, 7}));   // flat measurement
  // The empty-file range of a measured RIXS (1e+08, 0, 1e+08, 0).
  EXPECT_FALSE(map_comparison(1, 1, Range{1e8, 0, 1e8, 0}));
}

TEST(Mappings, ValuesFarOutsideStayOutsideWithoutOverflow) {
  const Range r{0, 1, 0, 1};
  const auto far = talvern::plot::map_standard(1e300, 1e300, r);
  ASSERT_TRUE(far);
  EXPECT_FALSE(ClipWindow{}.contains(far->x, far->y));
  EXPECT_EQ(talvern::plot::to_panel(std::numeric_limits<double>::quiet_NaN()), 1000000);
  EXPECT_EQ(talvern::plot::to_panel(-1e300), -1000000);
  EXPECT_EQ(talvern::plot::to_panel(-2.9), -2);
}

TEST(Clicks, PixelToPanelInvertsTheDrawing) {
  using talvern::plot::pixel_to_panel;
  // 440 x 220 pixels: 2 pixels per unit across, 1 pixel per unit up.
  EXPECT_EQ(pixel_to_panel(220, 110, 440, 220), (PanelPoint{0, 0}));
  EXPECT_EQ(pixel_to_panel(420, 10, 440, 220), (PanelPoint{100, 100}));
  EXPECT_EQ(pixel_to_panel(21, 209, 440, 220), (PanelPoint{-99, -99}));
  EXPECT_FALSE(talvern::plot::click_accepted(pixel_to_panel(5, 110, 0, 0)));
}

TEST(Clicks, AcceptedRangeAndEnergy) {
  using talvern::plot::click_accepted;
  EXPECT_TRUE(click_accepted({-96, -100}));
  EXPECT_TRUE(click_accepted({96, 100}));
  EXPECT_FALSE(click_accepted({97, 0}));
  EXPECT_FALSE(click_accepted({-97, 0}));
  EXPECT_FALSE(click_accepted({0, 101}));
  EXPECT_DOUBLE_EQ(talvern::plot::click_energy(0, 7100, 7300), 7200);
  EXPECT_DOUBLE_EQ(talvern::plot::click_energy(-100, 7100, 7300), 7100);
  EXPECT_DOUBLE_EQ(talvern::plot::click_energy(50, 7100, 7300), 7250);
}

// Records the pen's moves and lines as text.
struct Recorder {
  std::string out;
  void step(char kind, int x, int y) {
    out += kind;
    out.append(std::to_string(x)).append(",").append(std::to_string(y)).append(" ");
  }
  void move_to(int x, int y) { step('M', x, y); }
  void line_to(int x, int y) { step('L', x, y); }
};

std::string walk(const Curve& c) {
  Recorder r;
  talvern::plot::walk_curve(c, r);
  return r.out;
}

TEST(CurveRule, PointsOutsideTheWindowBreakTheLineAfterThem) {
  Trace t(5, 2);
  t.x = {-100, 0, 98, 50, 60};
  t.y[0] = {0, 10, 10, 10, 96};
  t.y[1] = {0, 0, 0, 0, 0};
  // Point 0 is a move even inside; x = 98 is a move, the point after it is
  // joined from there; y = 96 is outside the default window.
  EXPECT_EQ(walk({&t, 0}), "M-100,0 L0,10 M98,10 L50,10 M60,96 ");
  Curve tall{&t, 0};
  tall.clip.y_hi = 96;
  EXPECT_EQ(walk(tall), "M-100,0 L0,10 M98,10 L50,10 L60,96 ");
  Curve second{&t, 1, talvern::plot::Pen::blue, talvern::plot::kConventionalXAFSClip};
  EXPECT_EQ(walk(second), "M-100,0 L0,0 M98,0 L50,0 L60,0 ");
}

TEST(CurveRule, HiddenFlagsOnlyWhereTheCurveUsesThem) {
  Trace t(3);
  t.x = {0, 10, 20};
  t.y[0] = {0, 0, 0};
  t.hidden = {0, 1, 0};
  Curve c{&t, 0};
  EXPECT_EQ(walk(c), "M0,0 L10,0 L20,0 ");
  c.use_hidden = true;
  EXPECT_EQ(walk(c), "M0,0 M10,0 L20,0 ");
  // No trace, an empty trace or a missing curve draw nothing.
  Trace empty;
  EXPECT_EQ(walk({nullptr, 0}), "");
  EXPECT_EQ(walk({&empty, 0}), "");
  EXPECT_EQ(walk({&t, 3}), "");
}

}  // namespace
