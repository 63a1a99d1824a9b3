#pragma once
// The measured groups after a global fit, each as a small panel of the
// measured (red) and calculated (blue) intensities with a strip of the
// residual (green) under it and its R-factor above, two groups a row; the
// groups scroll when there are more than fit. Object names "groupCaption",
// "groupPanel" and "residualPanel" followed by the group's position.

#include <QScrollArea>

#include <vector>

#include "rixs/fit_display.h"
#include "workspace/user_file.h"

class QGridLayout;

namespace talvern {

class PlotPanel;

class FitGroupPanels : public QScrollArea {
 public:
  explicit FitGroupPanels(UserFiles files, QWidget* parent = nullptr);
  // Room for two rows of two groups.
  QSize sizeHint() const override;

  // Shows `plots`; the panels are made anew only when the number of groups
  // changes, and drawn again in any case.
  void showPlots(std::vector<FitGroupPlot> plots);
  std::size_t groups() const { return plots_.size(); }

 private:
  UserFiles files_;
  QGridLayout* grid_;
  std::vector<FitGroupPlot> plots_;  // what the panels' curves point into
  std::vector<QWidget*> cells_;
};

}  // namespace talvern
