// Every panel of every dialog names its curves in the legend and titles
// its axes with their units: one table, a row per panel and display.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "plot/figure.h"
#include "rixs/compare_maps.h"
#include "rixs/fit_display.h"
#include "rixs/rixs_plane.h"
#include "rixs/rixs_simulation.h"
#include "xafs/conv_xafs.h"
#include "xrf/xrf_setting.h"

namespace plot = talvern::plot;
using namespace talvern;

namespace {

// A trace of three points and `curves` curves, each of its own.
plot::Trace trace(std::size_t curves) {
  plot::Trace t(3, curves);
  t.x = {-50, 0, 50};
  static int height = 0;  // no curve lies exactly over another
  for (auto& y : t.y) y = {-10, ++height, -10};
  return t;
}

struct Row {
  const char* panel;
  std::function<std::vector<plot::Curve>()> curves;
  std::function<plot::PanelText()> text;
  std::vector<std::string> legend;  // curves, then markers
  const char* x_title;
  const char* y_title;
};

std::vector<std::string> labels(const std::vector<plot::LegendEntry>& entries) {
  std::vector<std::string> out;
  for (const auto& e : entries) out.push_back(e.label);
  return out;
}

}  // namespace

TEST(PanelNames, EveryPanelNamesItsCurvesAndTitlesItsAxes) {
  ConvXAFSState conv;
  conv.trace = trace(1);
  conv.core_energy = conv.edge_from_data = "7112.05";
  ConvXAFSState step = conv;
  step.edge_lines = trace(2);
  step.core_energy = "7114.";  // typed over the proposal

  XRFState xrf;
  xrf.components = 1;
  xrf.fit = trace(3);
  xrf.background_line = trace(1);
  xrf.measured = trace(1);
  xrf.lorentzian = 2;
  xrf.position[2] = "7042.5";

  RIXSState rixs;
  rixs.display_mode = RIXSState::kModeAB;
  rixs.selective = trace(2);
  rixs.lorentzian = trace(1);
  rixs.exc_energy = "7115.6";
  rixs.calculated = trace(3);
  rixs.comparison = trace(3);
  rixs.experimental = trace(1);

  PlaneState plane;
  plane.cut_trace = trace(3);
  plane.cut_trace->intensity = {{1, 2, 1}, {1, 1, 1}, {0, 1, 0}};
  for (auto& t : plane.compare_cut_traces) t = trace(2);
  PlaneState transfer = plane;
  transfer.plane.transfer = true;
  PlaneState across = plane;
  across.cut = 1;

  FitGroupPlot group{"R", trace(2), trace(2)};
  FitGroupPlot herfd = group;
  herfd.x_title = plot::kEnergyTitle;
  const std::optional<plot::Trace> free = trace(6);

  using namespace plot;
  const std::vector<Row> rows{
      {"Conventional XAFS", [&] { return conv_xafs_curves(conv); }, [&] { return conv_xafs_text(conv); },
       {"measured", "edge from data"}, kEnergyTitle, kAbsorptionTitle},
      {"Conventional XAFS, edge step", [&] { return conv_xafs_curves(step); },
       [&] { return conv_xafs_text(step); },
       {"measured", "pre-edge line", "post-edge line", "core energy"}, kEnergyTitle, kIntensityTitle},
      {"XRF Setting", [&] { return xrf_curves(xrf); }, [&] { return xrf_text(xrf); },
       {"component 1", "component 2", "calculated", "background", "measured", "peak position"},
       kEmissionTitle, kIntensityTitle},
      {"Selective XAFS", [&] { return selective_curves(rixs); }, [&] { return selective_text(rixs); },
       {"component 2", "component 1", "Lorentzian", "excitation energy"}, kEnergyTitle, kIntensityTitle},
      {"Calculated RIXS", [&] { return calculated_curves(rixs, true); }, [] { return emission_text(); },
       {"component 1", "component 2", "calculated"}, kEmissionTitle, kIntensityTitle},
      {"Comp. of RIXS", [&] { return comparison_curves(rixs, false); }, [] { return emission_text(); },
       {"calculated", "measured"}, kEmissionTitle, kIntensityTitle},
      {"plane cut at an excitation energy", [&] { return cut_panel_curves(plane); },
       [&] { return cut_panel_text(plane); }, {"component 1", "component 2", "calculated"},
       kEmissionTitle, kIntensityTitle},
      {"plane cut, energy transfer", [&] { return cut_panel_curves(transfer); },
       [&] { return cut_panel_text(transfer); }, {"component 1", "component 2", "calculated"},
       kTransferTitle, kIntensityTitle},
      {"plane cut at an emission energy", [&] { return cut_panel_curves(across); },
       [&] { return cut_panel_text(across); }, {"component 1", "component 2", "calculated"},
       kEnergyTitle, kIntensityTitle},
      {"comparison cut 1", [&] { return compare_cut_curves(plane, 0); }, [] { return compare_cut_text(0); },
       {"measured", "calculated"}, kEmissionTitle, kIntensityTitle},
      {"comparison cut 3", [&] { return compare_cut_curves(plane, 2); }, [] { return compare_cut_text(2); },
       {"measured", "calculated"}, kEnergyTitle, kIntensityTitle},
      {"global fit group", [&] { return fit_group_curves(group, false); }, [&] { return fit_group_text(group); },
       {"measured", "calculated"}, kEmissionTitle, kIntensityTitle},
      {"global fit residual", [&] { return fit_group_curves(herfd, true); },
       [&] { return fit_group_text(herfd); }, {"calculated − measured"}, kEnergyTitle, kIntensityTitle},
      {"free-form fit", [&] { return free_fit_curves(free); }, [] { return free_fit_text(); },
       {"component 1 ± σ", "component 2 ± σ", "component 2", "component 1"}, kEnergyTitle,
       kIntensityTitle},
  };
  for (const Row& row : rows) {
    const std::vector<plot::Curve> curves = row.curves();
    const plot::PanelText text = row.text();
    EXPECT_EQ(labels(plot::legend_entries(curves, text.markers)), row.legend) << row.panel;
    EXPECT_STREQ(text.x_title, row.x_title) << row.panel;
    EXPECT_STREQ(text.y_title, row.y_title) << row.panel;
    // Every drawn curve but a zero line is in the legend.
    for (const plot::Curve& c : curves)
      EXPECT_TRUE(c.label || c.pen == plot::Pen::grid) << row.panel << ": " << c.name;
  }
}
