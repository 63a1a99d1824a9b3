#include "xrf/ui/CXRF.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QVBoxLayout>

#include "app/ui/dialog_parts.h"
#include "app/ui/form_widgets.h"
#include "plot/ui/PlotPanel.h"

namespace {

constexpr const char* kRows[] = {"A", "B", "C", "D"};

QLineEdit* makeBox(const char* column, int row, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString(column) + kRows[row]);
  box->setMinimumWidth(box->fontMetrics().horizontalAdvance("7058.812345") + 12);
  return box;
}

QRadioButton* makeRadio(const char* caption, const QString& name, QButtonGroup* group, int id,
                        QWidget* parent) {
  auto* radio = new QRadioButton(caption, parent);
  radio->setObjectName(name);
  group->addButton(radio, id);
  return radio;
}

}  // namespace

CXRF::CXRF(talvern::WorkSpace ws, QWidget* parent) : QDialog(parent), ws_(std::move(ws)) {
  setWindowTitle("Setting by XRF");

  auto* load = talvern::make_button("Load XRF Data", "loadXrfDataButton", this);
  connect(load, &QPushButton::clicked, this, &CXRF::loadXRFData);

  auto* parameters = new QGroupBox("Parameters of Lorentzian Functions", this);
  parameters->setObjectName("lorentzianGroup");
  auto* grid = new QGridLayout(parameters);
  const char* columns[] = {"Peak Pos.", "Amp.", "Width"};
  for (int c = 0; c < 3; ++c) grid->addWidget(new QLabel(columns[c], parameters), 0, c + 1);
  for (int r = 0; r < 4; ++r) {
    grid->addWidget(new QLabel(kRows[r], parameters), r + 1, 0);
    position_[r] = makeBox("position", r, parameters);
    amplitude_[r] = makeBox("amplitude", r, parameters);
    width_[r] = makeBox("width", r, parameters);
    grid->addWidget(position_[r], r + 1, 1);
    grid->addWidget(amplitude_[r], r + 1, 2);
    grid->addWidget(width_[r], r + 1, 3);
  }

  // Neither radio group has a selection until a load makes one.
  components_ = new QButtonGroup(this);
  auto* componentsRow = new QHBoxLayout;
  componentsRow->addWidget(makeRadio("One-Compo.", "oneCompoRadio", components_, 0, this));
  componentsRow->addWidget(
      makeRadio("Two-Compo.(A+B and C+D)", "twoCompoRadio", components_, 1, this));
  componentsRow->addStretch(1);

  auto* confirm = talvern::make_button("Confirm Lorentzian Setting", "confirmLorentzianButton", this);
  auto* fit = talvern::make_button("Fit the Lorentzians", "fitButton", this);
  connect(confirm, &QPushButton::clicked, this, &CXRF::confirmLorentzianSetting);
  connect(fit, &QPushButton::clicked, this, &CXRF::fitTheLorentzians);

  auto* excLabel = new QLabel("Exc. Energy(eV)", this);
  excLabel->setObjectName("excEnergyLabel");
  excEnergyBox_ = new QLineEdit(this);
  excEnergyBox_->setObjectName("excEnergyBox");
  excLabel->setBuddy(excEnergyBox_);
  auto* excRow = new QHBoxLayout;
  excRow->addWidget(excLabel);
  excRow->addWidget(excEnergyBox_, 1);

  auto* select = new QGroupBox("Select a Lorentzian", this);
  select->setObjectName("selectLorentzianGroup");
  lorentzian_ = new QButtonGroup(this);
  auto* selectRow = new QHBoxLayout(select);
  for (int r = 0; r < 4; ++r)
    selectRow->addWidget(
        makeRadio(kRows[r], QString("select%1Radio").arg(kRows[r]), lorentzian_, r, select));
  selectRow->addStretch(1);

  auto* rFactor = talvern::make_button("Calculate R-factor", "rFactorButton", this);
  auto* complete = talvern::make_button("Complete XRF Setting", "completeXrfButton", this);
  connect(rFactor, &QPushButton::clicked, this, &CXRF::calculateRFactor);
  connect(complete, &QPushButton::clicked, this, &CXRF::completeXRFSetting);

  panel_ = new PlotPanel(this);
  panel_->setObjectName("xrfPanel");
  panel_->setFixedSize(320, 260);
  // The component choice is read at every paint, so toggling it changes the
  // picture without a command.
  panel_->setCurves([this] {
    state_.components = components_->checkedId();
    return talvern::xrf_curves(state_);
  });
  connect(components_, &QButtonGroup::idToggled, panel_, [this] { panel_->update(); });
  connect(panel_, &PlotPanel::panelClicked, this, &CXRF::setPeakPositionByClick);

  QLabel* paneLabel = nullptr;
  messagePane_ = talvern::make_message_pane(this, paneLabel);
  talvern::size_message_pane(messagePane_,
                             "Exc. energy in measureing this spectrum was initially", 14);

  auto* controls = new QVBoxLayout;
  controls->addWidget(load);
  controls->addWidget(parameters);
  controls->addLayout(componentsRow);
  controls->addWidget(confirm);
  controls->addWidget(fit);
  controls->addLayout(excRow);
  controls->addWidget(select);
  controls->addWidget(rFactor);
  controls->addWidget(complete);
  controls->addStretch(1);

  auto* view = new QVBoxLayout;
  view->addWidget(panel_, 0, Qt::AlignHCenter);
  view->addSpacing(6);
  view->addWidget(paneLabel);
  view->addWidget(messagePane_, 1);

  auto* top = new QHBoxLayout;
  top->addLayout(controls);
  top->addSpacing(8);
  top->addLayout(view, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(talvern::make_recover_graphics_row(this, {panel_}));
  layout->addLayout(talvern::make_ok_cancel_row(this));
}

template <class Command>
void CXRF::run(Command command) {
  for (int r = 0; r < 4; ++r) {
    state_.position[r] = position_[r]->text().toStdString();
    state_.amplitude[r] = amplitude_[r]->text().toStdString();
    state_.width[r] = width_[r]->text().toStdString();
  }
  state_.components = components_->checkedId();
  state_.lorentzian = lorentzian_->checkedId();
  state_.exc_energy = excEnergyBox_->text().toStdString();
  talvern::run_with_message(state_, messagePane_, command);
  showState();
}

void CXRF::showState() {
  for (int r = 0; r < 4; ++r) {
    talvern::set_text(position_[r], state_.position[r]);
    talvern::set_text(amplitude_[r], state_.amplitude[r]);
    talvern::set_text(width_[r], state_.width[r]);
  }
  talvern::set_checked_id(components_, state_.components);
  talvern::set_checked_id(lorentzian_, state_.lorentzian);
  talvern::set_text(excEnergyBox_, state_.exc_energy);
  talvern::take_click_marker(state_.marker, panel_);
}

void CXRF::loadXRFData() {
  run([this](talvern::XRFState& s) { talvern::LoadXRFData(ws_, s); });
  talvern::repaint_dialog(this, {panel_});
}

void CXRF::confirmLorentzianSetting() {
  run([this](talvern::XRFState& s) { talvern::ConfirmLorentzianSetting(ws_, s); });
}

void CXRF::fitTheLorentzians() {
  run([this](talvern::XRFState& s) { talvern::FitTheLorentzians(ws_, s); });
  talvern::repaint_dialog(this, {panel_});
}

void CXRF::calculateRFactor() {
  run([this](talvern::XRFState& s) { talvern::CalculateRFactor(ws_, s); });
}

void CXRF::completeXRFSetting() {
  run([this](talvern::XRFState& s) { talvern::CompleteXRFSetting(ws_, s); });
}

void CXRF::setPeakPositionByClick(int x_l, int y_l) {
  run([this, x_l, y_l](talvern::XRFState& s) {
    talvern::SetPeakPositionByClick(ws_, s, talvern::plot::PanelPoint{x_l, y_l});
  });
}
