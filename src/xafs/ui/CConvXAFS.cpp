#include "xafs/ui/CConvXAFS.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tv = talvern;

CConvXAFS::CConvXAFS(tv::WorkSpace ws, QWidget* parent) : CommandDialog(std::move(ws), parent) {
  setWindowTitle("Conventional XAFS");

  auto* panel = new PlotPanel(this);
  panel->setObjectName("plotPanel");
  panel->setMinimumSize(300, 220);
  bindPanel(panel, tv::conv_xafs_curves, &tv::ConvXAFSState::marker);
  connect(panel, &PlotPanel::panelClicked, this, [this](double x_l, double y_l) {
    runCommand([x_l, y_l](const tv::WorkSpace& w, tv::ConvXAFSState& s) {
      tv::CorrectCoreEnergyByClick(w, s, tv::plot::ClickPoint{x_l, y_l});
    }, false);
  });

  auto* load = tv::make_button("Load XAFS(for Abs. Correction)", "loadXafsButton", this);
  auto* clear = tv::make_button("Clear XAFS", "clearXafsButton", this);
  auto* confirm = tv::make_button("Confirm XAFS INFO", "confirmXafsInfoButton", this);
  auto* complete = tv::make_button("Complete XAFS Setting", "completeXafsButton", this);
  addCommand(load, tv::LoadXAFS, true);
  addCommand(clear, [](const tv::WorkSpace&, tv::ConvXAFSState& s) { tv::ClearXAFS(s); }, true);
  addCommand(confirm, tv::ConfirmXAFSInfo, false);
  addCommand(complete, [](const tv::WorkSpace&, tv::ConvXAFSState& s) { tv::CompleteXAFSSetting(s); },
             false);

  auto* edgeLabel = new QLabel("Select Abs. Edge", this);
  edgeLabel->setObjectName("edgeLabel");
  auto* edgeList = new QComboBox(this);
  edgeList->setObjectName("edgeList");
  edgeList->setMaxVisibleItems(20);
  edgeLabel->setBuddy(edgeList);
  bind(edgeList, &tv::ConvXAFSState::edge_list, &tv::ConvXAFSState::selected_edge);

  auto* coreLabel = new QLabel("Core Energy (eV)", this);
  coreLabel->setObjectName("coreEnergyLabel");
  auto* coreEnergyBox = new QLineEdit(this);
  coreEnergyBox->setObjectName("coreEnergyBox");
  coreLabel->setBuddy(coreEnergyBox);
  bind(coreEnergyBox, &tv::ConvXAFSState::core_energy);
  auto* edgeFromData = tv::make_button("Edge from Data", "edgeFromDataButton", this);
  addCommand(edgeFromData, tv::EdgeFromData, false);

  QLabel* paneLabel = nullptr;
  auto* messagePane = tv::make_message_pane(this, paneLabel);
  tv::size_message_pane(messagePane, "directly in the edit box above.   Then, confirm it.  ", 10);
  bindMessage(messagePane);

  auto* controls = new QVBoxLayout;
  controls->addWidget(load);
  controls->addWidget(clear);
  controls->addSpacing(8);
  controls->addWidget(edgeLabel);
  controls->addWidget(edgeList);
  controls->addWidget(coreLabel);
  controls->addWidget(coreEnergyBox);
  controls->addWidget(edgeFromData);
  controls->addSpacing(8);
  controls->addWidget(confirm);
  controls->addWidget(complete);
  controls->addStretch(1);

  auto* top = new QHBoxLayout;
  top->addWidget(new PlotFrame(panel, this), 1);
  top->addLayout(controls);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addSpacing(6);
  layout->addWidget(paneLabel);
  layout->addWidget(messagePane, 1);
  layout->addLayout(tv::make_recover_graphics_row(this, panels()));
  layout->addLayout(tv::make_ok_cancel_row(this));
  showState();
}
