#include "plot/view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace plot = talvern::plot;

namespace {

// 7000..7250 eV and intensities 0..1 (x 10000 in the range), the standard mapping.
const plot::Range kRange{7000, 7250, 0, 10000};

plot::Trace trace(std::vector<double> rows, std::size_t k, std::size_t curves) {
  return *plot::mapped_trace(rows.data(), rows.size() / k, k, curves, kRange,
                             plot::kStandardMapping);
}

}  // namespace

TEST(PanelAxes, MatchTheMappingsWithoutTheirTruncation) {
  const plot::Range comparison{7040, 7070, 1000, 10000};  // x 20000
  for (const auto& [mapping, range] :
       {std::pair{plot::kStandardMapping, kRange}, std::pair{plot::kComparisonMapping, comparison},
        std::pair{plot::kCalculatedMapping, plot::Range{7040, 7070, 300, 30000}}}) {
    const plot::Axes axes = mapping.axes(range);
    for (double e : {7041.3, 7055.55, 7069.9})
      for (double i : {0.1, 0.37, 0.5}) {
        const plot::PanelPoint p = *mapping.map(e, i, range);
        EXPECT_NEAR(axes.x_of(e), p.x, 1.0) << e;
        EXPECT_NEAR(axes.y_of(i), p.y, 1.0) << i;
        EXPECT_NEAR(axes.energy_at(axes.x_of(e)), e, 1e-9);
        EXPECT_NEAR(axes.intensity_at(axes.y_of(i)), i, 1e-12);
      }
  }
}

// Axis values fall on multiples of 1, 2 or 5 x 10^n, four to eight of them
// inside the range, whatever the range; the odd values the range ends gave
// (7110.375, 0.01353) are gone.
TEST(PanelAxes, TickValuesAreNiceAndInsideTheRange) {
  using V = std::vector<double>;
  const struct {
    double lo, hi;
    V values;
  } kCases[] = {
      {7000, 7250, {7000, 7050, 7100, 7150, 7200, 7250}},
      {7110.375, 7114.958, {7111, 7112, 7113, 7114}},
      {0.01353, 0.02830, {0.014, 0.016, 0.018, 0.02, 0.022, 0.024, 0.026, 0.028}},
      {1, 0, {0, 0.2, 0.4, 0.6, 0.8, 1}},  // either order
      {-0.05, 0.3, {0, 0.1, 0.2, 0.3}},
      {-3.2e-6, 1.1e-6, {-3e-6, -2e-6, -1e-6, 0, 1e-6}},
      // No step of 1, 2 or 5 gives four to eight here: the coarser one's three.
      {0.005, 19.995, {5, 10, 15}},
      {5, 5, {}},
      {0, std::nan(""), {}},
  };
  for (const auto& c : kCases) {
    const V got = plot::tick_values(c.lo, c.hi);
    ASSERT_EQ(got.size(), c.values.size()) << c.lo << ".." << c.hi;
    for (std::size_t i = 0; i < got.size(); ++i)
      EXPECT_NEAR(got[i], c.values[i], 1e-12 * std::abs(c.values.back() - c.values.front()))
          << c.lo << ".." << c.hi;
  }

  // Any range: equal steps of 1, 2 or 5 x 10^n, every value inside, four to
  // eight of them unless neither that step nor the next finer one can.
  std::uint64_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(seed >> 11) / 9007199254740992.0;
  };
  for (int n = 0; n < 3000; ++n) {
    const double scale = std::pow(10.0, std::floor(next() * 16) - 8);
    const double lo = (next() - 0.5) * 2e4 * scale, hi = lo + (0.01 + next() * 100) * scale;
    const V t = plot::tick_values(lo, hi);
    ASSERT_GE(t.size(), 3u) << lo << ".." << hi;
    ASSERT_LE(t.size(), 8u) << lo << ".." << hi;
    const double raw = (t.back() - t.front()) / static_cast<double>(t.size() - 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw) + 1e-9));
    const double mantissa = std::round(raw / power);
    EXPECT_TRUE(mantissa == 1 || mantissa == 2 || mantissa == 5) << raw;
    EXPECT_NEAR(raw / power, mantissa, 1e-6);
    const double step = mantissa * power;
    for (std::size_t i = 0; i < t.size(); ++i) {
      EXPECT_GE(t[i], lo);
      EXPECT_LE(t[i], hi);
      const double k = t[i] / step;
      EXPECT_NEAR(k, std::round(k), 1e-6 + 1e-12 * std::abs(k));
      if (i > 0) {
        EXPECT_NEAR(t[i] - t[i - 1], step, 1e-6 * step);
      }
    }
    if (t.size() == 3) {
      const double finer = step / 2.5;  // 5 x 10^n is the only step with a ratio of 2.5 below
      EXPECT_NEAR(mantissa, 5, 1e-6);
      EXPECT_GT(std::floor(hi / finer) - std::ceil(lo / finer) + 1, 8) << lo << ".." << hi;
    }
  }
}

TEST(PanelAxes, TicksSitWhereTheirValuesAreDrawnAndFollowTheZoom) {
  const plot::Axes axes = plot::kStandardMapping.axes(kRange);
  const auto e = plot::energy_ticks(axes, {});
  ASSERT_EQ(e.size(), 6u);
  EXPECT_DOUBLE_EQ(e[0].at, -100);  // 7000 eV at the left edge of the frame
  EXPECT_EQ(e[0].text, "7000");
  EXPECT_DOUBLE_EQ(e[1].at, -60);
  EXPECT_EQ(e[1].text, "7050");
  EXPECT_DOUBLE_EQ(e[5].at, 100);
  // Intensities over what the frame shows (y -100..100 is -0.028..1.083):
  // 0, 0.2 ... 1, each where its value maps.
  const auto i = plot::intensity_ticks(axes, {});
  ASSERT_EQ(i.size(), 6u);
  EXPECT_EQ(i[0].text, "0.0");
  EXPECT_DOUBLE_EQ(i[0].at, -95);
  EXPECT_EQ(i[5].text, "1.0");
  EXPECT_DOUBLE_EQ(i[5].at, 85);

  // Panel x -60..-40 (7050..7075 eV) in the frame: 5 eV steps.
  const plot::View zoomed{-60, -40, -100, 100};
  const auto z = plot::energy_ticks(axes, zoomed);
  ASSERT_EQ(z.size(), 6u);
  EXPECT_EQ(z[0].text, "7050");
  EXPECT_DOUBLE_EQ(z[0].at, -100);
  EXPECT_EQ(z[1].text, "7055");
  EXPECT_DOUBLE_EQ(z[1].at, -60);
  EXPECT_EQ(plot::tick_text(7110.5, 0.5), "7110.5");
  EXPECT_EQ(plot::tick_text(0.014, 0.002), "0.014");
  EXPECT_EQ(plot::tick_text(-2e-7, 1e-7), "-2e-07");
  EXPECT_EQ(plot::readout_text(axes, {}, -50, 0), "E = 7062.5 eV, I = 0.528");
  EXPECT_EQ(plot::axis_text(-0.0001, 1), "0.000");
  EXPECT_EQ(plot::axis_text(1.234e-9, 2e-9), "1.234e-09");
}

TEST(ZoomedView, ClickLandsOnTheEnergyUnderTheMouse) {
  // A 300 x 220 panel: 220 / 300 frame units per pixel across.
  const plot::Axes axes = plot::kStandardMapping.axes(kRange);
  // Unzoomed, a click is the whole-unit point of its pixel, as ever.
  EXPECT_EQ(plot::click_point(105.4, 30, 300, 220, {}).x,
            plot::pixel_to_panel(105, 30, 300, 220).x);

  // Zoomed to 2.5 eV across: neighbouring pixels are 0.01 eV apart, and
  // each lands on the energy drawn under it.
  const plot::View v = plot::zoom_to({}, -50, -100, -48, 100);
  EXPECT_DOUBLE_EQ(v.x_lo, -50);
  EXPECT_DOUBLE_EQ(v.x_hi, -48);
  for (double px : {20.0, 150.0, 151.0, 260.0}) {
    const plot::ClickPoint c = plot::click_point(px, 110, 300, 220, v);
    ASSERT_TRUE(plot::click_accepted(c));
    double fx = 0, fy = 0;
    plot::pixel_to_frame(px, 110, 300, 220, fx, fy);
    const double e = plot::click_energy(c.x, kRange.e_min, kRange.e_max);
    EXPECT_NEAR(axes.x_of(e), v.x_at(fx), 1e-9);
    EXPECT_GT(e, 7062.4);
    EXPECT_LT(e, 7065.1);
  }
  const double step = plot::click_energy(plot::click_point(151, 110, 300, 220, v).x, 7000, 7250) -
                      plot::click_energy(plot::click_point(150, 110, 300, 220, v).x, 7000, 7250);
  EXPECT_NEAR(step, 2.5 * 220 / 300 / 200, 1e-9);
  // Beside the frame a click stays refused, whatever the zoom shows there.
  EXPECT_FALSE(plot::click_accepted(plot::click_point(3, 110, 300, 220, v)));
}

TEST(ZoomedView, StaysInsideTheFullViewAndNoNarrowerThanItsLimit) {
  const plot::View tiny = plot::zoom_to({}, 10, 10, 10, 10);
  EXPECT_NEAR(tiny.x_hi - tiny.x_lo, plot::kMinViewSpan, 1e-12);
  EXPECT_NEAR((tiny.x_hi + tiny.x_lo) / 2, 10, 1e-12);
  const plot::View edge = plot::zoom_to({}, 90, -90, 130, -120);  // clamped to the frame
  EXPECT_DOUBLE_EQ(edge.x_hi, 100);
  EXPECT_DOUBLE_EQ(edge.y_lo, -100);
  // The wheel keeps the point under the mouse; zooming out ends at the full view.
  const plot::View in = plot::zoom_around({}, 40, -20, 0.5);
  EXPECT_DOUBLE_EQ(in.x_at(40), 40);
  EXPECT_DOUBLE_EQ(in.y_at(-20), -20);
  EXPECT_DOUBLE_EQ(in.x_hi - in.x_lo, 100);
  EXPECT_TRUE(plot::zoom_around(in, 0, 0, 3).full());
  EXPECT_FALSE(plot::zoom_around(in, 0, 0, 1.5).full());
}

TEST(CurvesCsv, PhysicalValuesOnePerEnergyUnderNamedColumns) {
  const plot::Trace both = trace({7010, 0.5, 0.25, 7020.5, 1, 0.125}, 3, 2);
  const plot::Trace other = trace({7020.5, 0.75, 7030, 0.1}, 2, 1);
  plot::Trace bare(2, 1);  // panel coordinates only: not exported
  const std::string csv = plot::curves_csv({{&both, 0, plot::Pen::red, {}, false, "measured"},
                                            {&both, 1, plot::Pen::blue},
                                            {&other, 0, plot::Pen::blue},
                                            {&bare, 0, plot::Pen::pink}});
  EXPECT_EQ(csv,
            "energy_eV,measured_intensity,blue_intensity,blue2_intensity\n"
            "7010,0.5,0.25,\n"
            "7020.5,1,0.125,0.75\n"
            "7030,,,0.1\n");
  EXPECT_EQ(plot::curves_csv({}), "energy_eV\n");
  EXPECT_EQ(plot::panel_axes({{&bare}, {&other}})->e_hi, 7250);
}
