#include "xrf/ui/CXRF.h"

#include <QButtonGroup>
#include <QCheckBox>
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

#include <array>

#include "xrf/lsq_fit.h"

namespace tv = talvern;

namespace {

constexpr const char* kRows[] = {"A", "B", "C", "D"};

QLineEdit* makeBox(const char* column, int row, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString(column) + kRows[row]);
  box->setMinimumWidth(box->fontMetrics().horizontalAdvance("7058.812345") + 12);
  return box;
}

// The "fix" check box beside a box: the least-squares fit holds its value.
QCheckBox* makeFix(const char* column, int row, QWidget* parent) {
  auto* fix = new QCheckBox("fix", parent);
  fix->setObjectName(QString("fix_") + column + kRows[row]);
  fix->setToolTip("Hold this value in the least-squares fit");
  return fix;
}

}  // namespace

CXRF::CXRF(tv::WorkSpace ws, QWidget* parent) : CommandDialog(std::move(ws), parent) {
  setWindowTitle("Setting by XRF");

  auto* load = tv::make_button("Load XRF Data", "loadXrfDataButton", this);
  addCommand(load, tv::LoadXRFData, true);

  auto* parameters = new QGroupBox("Parameters of Lorentzian Functions", this);
  parameters->setObjectName("lorentzianGroup");
  auto* grid = new QGridLayout(parameters);
  const char* columns[] = {"Peak Pos.", "Amp.", "Width"};
  for (int c = 0; c < 3; ++c) grid->addWidget(new QLabel(columns[c], parameters), 0, 2 * c + 1);
  // Each column: a box and its "fix" check box per Lorentzian, bound to the
  // r-th entry of their fields of the state.
  struct Column {
    const char* name;
    std::array<std::string, 4> tv::XRFState::*box;
    std::array<bool, 4> tv::XRFState::*fix;
  };
  const Column kColumns[] = {{"position", &tv::XRFState::position, &tv::XRFState::fix_position},
                             {"amplitude", &tv::XRFState::amplitude, &tv::XRFState::fix_amplitude},
                             {"width", &tv::XRFState::width, &tv::XRFState::fix_width}};
  for (int r = 0; r < 4; ++r) {
    grid->addWidget(new QLabel(kRows[r], parameters), r + 1, 0);
    for (int c = 0; c < 3; ++c) {
      auto* box = makeBox(kColumns[c].name, r, parameters);
      auto* fix = makeFix(kColumns[c].name, r, parameters);
      grid->addWidget(box, r + 1, 2 * c + 1);
      grid->addWidget(fix, r + 1, 2 * c + 2);
      bind(box, kColumns[c].box, r);
      bind(fix, kColumns[c].fix, r);
    }
  }

  // Neither radio group has a selection until a load makes one.
  auto* components = new QButtonGroup(this);
  auto* componentsRow = new QHBoxLayout;
  componentsRow->addWidget(tv::make_radio("One-Compo.", "oneCompoRadio", components, 0, this));
  componentsRow->addWidget(
      tv::make_radio("Two-Compo.(A+B and C+D)", "twoCompoRadio", components, 1, this));
  componentsRow->addStretch(1);
  bind(components, &tv::XRFState::components);

  auto* confirm = tv::make_button("Confirm Lorentzian Setting", "confirmLorentzianButton", this);
  auto* fit = tv::make_button("Fit the Lorentzians", "fitButton", this);
  addCommand(confirm, tv::ConfirmLorentzianSetting, false);
  addCommand(fit, tv::FitTheLorentzians, true);

  // The least-squares fit, with or without a straight background.
  auto* lsq = tv::make_button("Least-Squares Fit", "lsqFitButton", this);
  addCommand(lsq, tv::LeastSquaresFit, true);
  auto* background = new QCheckBox("Background", this);
  background->setObjectName("backgroundCheck");
  background->setToolTip("Fit a straight background under the Lorentzians (drawn dotted green)");
  bind(background, &tv::XRFState::background);
  auto* lsqRow = new QHBoxLayout;
  lsqRow->addWidget(lsq, 1);
  lsqRow->addWidget(background);

  auto* excLabel = new QLabel("Exc. Energy(eV)", this);
  excLabel->setObjectName("excEnergyLabel");
  auto* excEnergyBox = new QLineEdit(this);
  excEnergyBox->setObjectName("excEnergyBox");
  excLabel->setBuddy(excEnergyBox);
  bind(excEnergyBox, &tv::XRFState::exc_energy);
  auto* excRow = new QHBoxLayout;
  excRow->addWidget(excLabel);
  excRow->addWidget(excEnergyBox, 1);

  auto* select = new QGroupBox("Select a Lorentzian", this);
  select->setObjectName("selectLorentzianGroup");
  auto* lorentzian = new QButtonGroup(this);
  auto* selectRow = new QHBoxLayout(select);
  for (int r = 0; r < 4; ++r)
    selectRow->addWidget(
        tv::make_radio(kRows[r], QString("select%1Radio").arg(kRows[r]), lorentzian, r, select));
  selectRow->addStretch(1);
  bind(lorentzian, &tv::XRFState::lorentzian);

  auto* rFactor = tv::make_button("Calculate R-factor", "rFactorButton", this);
  auto* complete = tv::make_button("Complete XRF Setting", "completeXrfButton", this);
  addCommand(rFactor, tv::CalculateRFactor, false);
  addCommand(complete, tv::CompleteXRFSetting, false);

  auto* panel = new PlotPanel(this);
  panel->setObjectName("xrfPanel");
  panel->setMinimumSize(320, 260);
  // The component choice is read at every paint, so toggling it changes the
  // picture without a command.
  bindPanel(panel, tv::xrf_curves, &tv::XRFState::marker);
  connect(components, &QButtonGroup::idToggled, panel, [panel] { panel->update(); });
  connect(panel, &PlotPanel::panelClicked, this, [this](double x_l, double y_l) {
    runCommand([x_l, y_l](const tv::WorkSpace& w, tv::XRFState& s) {
      tv::SetPeakPositionByClick(w, s, tv::plot::ClickPoint{x_l, y_l});
    }, false);
  });

  QLabel* paneLabel = nullptr;
  auto* messagePane = tv::make_message_pane(this, paneLabel);
  tv::size_message_pane(messagePane, "Exc. energy in measureing this spectrum was initially", 14);
  bindMessage(messagePane);

  auto* controls = new QVBoxLayout;
  controls->addWidget(load);
  controls->addWidget(parameters);
  controls->addLayout(componentsRow);
  controls->addWidget(confirm);
  controls->addWidget(fit);
  controls->addLayout(lsqRow);
  controls->addLayout(excRow);
  controls->addWidget(select);
  controls->addWidget(rFactor);
  controls->addWidget(complete);
  controls->addStretch(1);

  auto* view = new QVBoxLayout;
  view->addWidget(new PlotFrame(panel, this), 1);
  view->addSpacing(6);
  view->addWidget(paneLabel);
  view->addWidget(messagePane, 1);

  auto* top = new QHBoxLayout;
  top->addLayout(controls);
  top->addSpacing(8);
  top->addLayout(view, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(tv::make_recover_graphics_row(this, panels()));
  layout->addLayout(tv::make_ok_cancel_row(this));
  showState();
}
