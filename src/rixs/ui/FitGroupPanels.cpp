#include "rixs/ui/FitGroupPanels.h"

#include <QGridLayout>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include <utility>

#include "gui/PlotPanel.h"
#include "gui/dialog_parts.h"

namespace talvern {
namespace {

// The residual's strip is high enough for its three axis values.
constexpr int kColumns = 2, kPanelWidth = 230, kPanelHeight = 90, kResidualHeight = 60;

}  // namespace

FitGroupPanels::FitGroupPanels(UserFiles files, QWidget* parent)
    : QScrollArea(parent), files_(std::move(files)) {
  auto* inner = new QWidget(this);
  grid_ = new QGridLayout(inner);
  grid_->setContentsMargins(2, 2, 2, 2);
  grid_->setSpacing(4);
  setWidget(inner);
  setWidgetResizable(true);
  showPlots({});
}

QSize FitGroupPanels::sizeHint() const {
  const int cellWidth = PlotFrame::kLeft + kPanelWidth + PlotFrame::kRight;
  const int cellHeight = fontMetrics().height() + kPanelHeight + kResidualHeight +
                         2 * PlotFrame::kTop + PlotFrame::kValuesBottom + PlotFrame::kBottom;
  return {kColumns * cellWidth + 3 * grid_->spacing() + verticalScrollBar()->sizeHint().width(),
          2 * cellHeight + 3 * grid_->spacing()};
}

void FitGroupPanels::showPlots(std::vector<FitGroupPlot> plots) {
  const bool same = plots.size() == plots_.size() && !cells_.empty();
  plots_ = std::move(plots);
  if (same) {
    for (std::size_t i = 0; i < plots_.size(); ++i) {
      cells_[i]->findChild<QLabel*>("groupCaption" + QString::number(i))
          ->setText(QString::fromStdString(plots_[i].caption));
      for (PlotPanel* panel : cells_[i]->findChildren<PlotPanel*>()) panel->redraw();
    }
    return;
  }
  for (QWidget* cell : cells_) {
    grid_->removeWidget(cell);
    delete cell;
  }
  cells_.clear();
  QWidget* inner = widget();
  if (plots_.empty()) {
    auto* none = new QLabel("Each measured group is shown here after a fit.", inner);
    none->setEnabled(false);
    grid_->addWidget(none, 0, 0, Qt::AlignTop | Qt::AlignLeft);
    cells_.push_back(none);
    return;
  }
  for (std::size_t i = 0; i < plots_.size(); ++i) {
    auto* cell = new QWidget(inner);
    auto* column = new QVBoxLayout(cell);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    const QString n = QString::number(i);
    auto* caption = new QLabel(QString::fromStdString(plots_[i].caption), cell);
    caption->setObjectName("groupCaption" + n);
    column->addWidget(caption);
    for (const bool residual : {false, true}) {
      PlotPanel* panel =
          make_panel(((residual ? "residualPanel" : "groupPanel") + n).toUtf8().constData(), cell,
                     kPanelWidth, residual ? kResidualHeight : kPanelHeight, files_);
      panel->setCurves([this, i, residual] {
        return i < plots_.size() ? fit_group_curves(plots_[i], residual) : std::vector<plot::Curve>{};
      });
      panel->setText([this, i] {
        return i < plots_.size() ? fit_group_text(plots_[i]) : plot::PanelText{};
      });
      // The residual under the fit shares its energies and carries their title.
      column->addWidget(new PlotFrame(panel, cell, residual), residual ? 0 : 1);
    }
    const int row = static_cast<int>(i) / kColumns, col = static_cast<int>(i) % kColumns;
    grid_->addWidget(cell, row, col);
    cells_.push_back(cell);
  }
}

}  // namespace talvern
