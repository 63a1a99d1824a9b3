#include "xafs/ui/CConvXAFS.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QVBoxLayout>

#include "app/ui/dialog_parts.h"
#include "app/ui/form_widgets.h"
#include "plot/ui/PlotPanel.h"

CConvXAFS::CConvXAFS(talvern::WorkSpace ws, QWidget* parent)
    : QDialog(parent), ws_(std::move(ws)) {
  setWindowTitle("Conventional XAFS");

  panel_ = new PlotPanel(this);
  panel_->setObjectName("plotPanel");
  panel_->setFixedSize(300, 220);
  panel_->setCurves([this] { return talvern::conv_xafs_curves(state_); });
  connect(panel_, &PlotPanel::panelClicked, this, &CConvXAFS::correctCoreEnergyByClick);

  auto* load = talvern::make_button("Load XAFS(for Abs. Correction)", "loadXafsButton", this);
  auto* clear = talvern::make_button("Clear XAFS", "clearXafsButton", this);
  auto* confirm = talvern::make_button("Confirm XAFS INFO", "confirmXafsInfoButton", this);
  auto* complete = talvern::make_button("Complete XAFS Setting", "completeXafsButton", this);
  connect(load, &QPushButton::clicked, this, &CConvXAFS::loadXAFS);
  connect(clear, &QPushButton::clicked, this, &CConvXAFS::clearXAFS);
  connect(confirm, &QPushButton::clicked, this, &CConvXAFS::confirmXAFSInfo);
  connect(complete, &QPushButton::clicked, this, &CConvXAFS::completeXAFSSetting);

  auto* edgeLabel = new QLabel("Select Abs. Edge", this);
  edgeLabel->setObjectName("edgeLabel");
  edgeList_ = new QComboBox(this);
  edgeList_->setObjectName("edgeList");
  edgeList_->setMaxVisibleItems(20);
  edgeLabel->setBuddy(edgeList_);

  auto* coreLabel = new QLabel("Core Energy (eV)", this);
  coreLabel->setObjectName("coreEnergyLabel");
  coreEnergyBox_ = new QLineEdit(this);
  coreEnergyBox_->setObjectName("coreEnergyBox");
  coreLabel->setBuddy(coreEnergyBox_);

  QLabel* paneLabel = nullptr;
  messagePane_ = talvern::make_message_pane(this, paneLabel);
  talvern::size_message_pane(messagePane_,
                             "directly in the edit box above.   Then, confirm it.  ", 10);

  auto* controls = new QVBoxLayout;
  controls->addWidget(load);
  controls->addWidget(clear);
  controls->addSpacing(8);
  controls->addWidget(edgeLabel);
  controls->addWidget(edgeList_);
  controls->addWidget(coreLabel);
  controls->addWidget(coreEnergyBox_);
  controls->addSpacing(8);
  controls->addWidget(confirm);
  controls->addWidget(complete);
  controls->addStretch(1);

  auto* top = new QHBoxLayout;
  top->addWidget(panel_, 0, Qt::AlignTop);
  top->addLayout(controls, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addSpacing(6);
  layout->addWidget(paneLabel);
  layout->addWidget(messagePane_, 1);
  layout->addLayout(talvern::make_recover_graphics_row(this, {panel_}));
  layout->addLayout(talvern::make_ok_cancel_row(this));
}

template <class Command>
void CConvXAFS::run(Command command) {
  state_.selected_edge = edgeList_->currentIndex();
  state_.core_energy = coreEnergyBox_->text().toStdString();
  talvern::run_with_message(state_, messagePane_, command);
  showState();
}

void CConvXAFS::showState() {
  // The list only grows; entries the command added are appended.
  const auto& entries = state_.edge_list;
  if (edgeList_->count() > int(entries.size())) edgeList_->clear();
  for (int i = edgeList_->count(); i < int(entries.size()); ++i)
    edgeList_->addItem(QString::fromStdString(entries[i]));
  // Adding to an empty list selects its first entry; the state decides.
  if (edgeList_->currentIndex() != state_.selected_edge)
    edgeList_->setCurrentIndex(state_.selected_edge);
  talvern::set_text(coreEnergyBox_, state_.core_energy);
  talvern::take_click_marker(state_.marker, panel_);
}

void CConvXAFS::loadXAFS() {
  run([this](talvern::ConvXAFSState& s) { talvern::LoadXAFS(ws_, s); });
  talvern::repaint_dialog(this, {panel_});
}

void CConvXAFS::clearXAFS() {
  run([](talvern::ConvXAFSState& s) { talvern::ClearXAFS(s); });
  talvern::repaint_dialog(this, {panel_});
}

void CConvXAFS::confirmXAFSInfo() {
  run([this](talvern::ConvXAFSState& s) { talvern::ConfirmXAFSInfo(ws_, s); });
}

void CConvXAFS::completeXAFSSetting() {
  run([](talvern::ConvXAFSState& s) { talvern::CompleteXAFSSetting(s); });
}

void CConvXAFS::correctCoreEnergyByClick(int x_l, int y_l) {
  run([this, x_l, y_l](talvern::ConvXAFSState& s) {
    talvern::CorrectCoreEnergyByClick(ws_, s, talvern::plot::PanelPoint{x_l, y_l});
  });
}
