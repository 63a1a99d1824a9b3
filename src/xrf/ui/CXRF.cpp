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

#include <any>
#include <string>
#include <vector>

#include "workspace/number_text.h"
#include "xrf/lsq_fit.h"
#include "xrf/xrf_sheet.h"

namespace talvern {
namespace {

constexpr const char* kRows[] = {"A", "B", "C", "D"};

// The columns of "Parameters of Lorentzian Functions": the name of their
// widgets, their caption and their fields of the state.
struct Column {
  const char* name;
  const char* caption;
  std::array<std::string, 4> XRFState::*box;
  std::array<bool, 4> XRFState::*fix;
};
const Column kColumns[] = {
    {"position", "Peak Pos.", &XRFState::position, &XRFState::fix_position},
    {"amplitude", "Amp.", &XRFState::amplitude, &XRFState::fix_amplitude},
    {"width", "Width", &XRFState::width, &XRFState::fix_width}};

// The "fix" check box beside a box: the least-squares fit holds its value.
QCheckBox* makeFix(const char* column, int row, QWidget* parent) {
  auto* fix = new QCheckBox("fix", parent);
  fix->setObjectName(QString("fix_") + column + kRows[row]);
  fix->setToolTip("Hold this value in the least-squares fit");
  return fix;
}

}  // namespace

CXRF::CXRF(WorkSpace ws, QWidget* parent, UserFiles files)
    : WorkerDialog(std::move(ws), xrf_sheet(), std::move(files), parent) {
  setWindowTitle("Setting by XRF");
  bindWidgets(build());
  showState();
}

QWidget* CXRF::buildParameters(Widgets& w) {
  auto* parameters = new QGroupBox("Parameters of Lorentzian Functions", this);
  parameters->setObjectName("lorentzianGroup");
  auto* grid = new QGridLayout(parameters);
  for (int c = 0; c < 3; ++c)
    grid->addWidget(new QLabel(kColumns[c].caption, parameters), 0, 2 * c + 1);
  for (int r = 0; r < 4; ++r) {
    grid->addWidget(new QLabel(kRows[r], parameters), r + 1, 0);
    for (int c = 0; c < 3; ++c) {
      // Wide enough for a peak position such as 7058.812345.
      QLineEdit* box = w.boxes[c][r] =
          make_box(QString(kColumns[c].name) + kRows[r], parameters, 11);
      QCheckBox* fix = w.fixes[c][r] = makeFix(kColumns[c].name, r, parameters);
      grid->addWidget(box, r + 1, 2 * c + 1);
      grid->addWidget(fix, r + 1, 2 * c + 2);
    }
  }
  return parameters;
}

CXRF::Widgets CXRF::build() {
  Widgets w{};
  auto* load = commandButton("Load XRF Data", "loadXrfDataButton", this);
  QWidget* parameters = buildParameters(w);

  // Neither radio group has a selection until a load makes one.
  w.components = new QButtonGroup(this);
  auto* componentsRow = new QHBoxLayout;
  componentsRow->addWidget(make_radio("One-Compo.", "oneCompoRadio", w.components, 0, this));
  componentsRow->addWidget(
      make_radio("Two-Compo.(A+B and C+D)", "twoCompoRadio", w.components, 1, this));
  componentsRow->addStretch(1);

  auto* confirm = commandButton("Confirm Lorentzian Setting", "confirmLorentzianButton", this);
  auto* fit = commandButton("Fit the Lorentzians", "fitButton", this);

  // The least-squares fit, with or without a straight background; it runs
  // on the worker, not as a button of the sheet runs it.
  w.lsq = runButton("Least-Squares Fit", "lsqFitButton", this);
  w.stop = make_button("Stop", "stopButton", this, false);
  w.background = new QCheckBox("Background", this);
  w.background->setObjectName("backgroundCheck");
  w.background->setToolTip("Fit a straight background under the Lorentzians (drawn dotted green)");
  auto* lsqRow = new QHBoxLayout;
  lsqRow->addWidget(w.lsq, 1);
  lsqRow->addWidget(w.stop);
  lsqRow->addWidget(w.background);

  w.excEnergy = make_box("excEnergyBox", this);
  auto* excLabel = make_label("Exc. Energy(eV)", w.excEnergy, this, "excEnergyLabel");
  auto* excRow = new QHBoxLayout;
  excRow->addWidget(excLabel);
  excRow->addWidget(w.excEnergy, 1);

  auto* select = new QGroupBox("Select a Lorentzian", this);
  select->setObjectName("selectLorentzianGroup");
  w.lorentzian = new QButtonGroup(this);
  auto* selectRow = new QHBoxLayout(select);
  for (int r = 0; r < 4; ++r)
    selectRow->addWidget(
        make_radio(kRows[r], QString("select%1Radio").arg(kRows[r]), w.lorentzian, r, select));
  selectRow->addStretch(1);

  auto* rFactor = commandButton("Calculate R-factor", "rFactorButton", this);
  auto* complete = commandButton("Complete XRF Setting", "completeXrfButton", this);

  w.panel = make_panel("xrfPanel", this, 320, 260, userFiles());
  QLabel* paneLabel = nullptr;
  w.messagePane = make_message_pane(this, paneLabel);
  size_message_pane(w.messagePane, "Exc. energy in measureing this spectrum was initially", 14);

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
  view->addWidget(new PlotFrame(w.panel, this), 1);
  view->addSpacing(6);
  view->addWidget(paneLabel);
  view->addWidget(w.messagePane, 1);

  auto* top = new QHBoxLayout;
  top->addLayout(controls);
  top->addSpacing(8);
  top->addLayout(view, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(make_recover_graphics_row(this, {w.panel}));
  layout->addLayout(make_ok_cancel_row(this));
  // During a fit only "Stop" can be pressed.
  std::vector<QWidget*> inputs = {load,        parameters, confirm, fit,     w.lsq,
                                  w.background, w.excEnergy, select,  rFactor, complete,
                                  w.panel};
  for (QAbstractButton* radio : w.components->buttons()) inputs.push_back(radio);
  for (const char* name : {"okButton", "cancelButton"}) inputs.push_back(findChild<QPushButton*>(name));
  setRunControls(inputs, w.stop);
  return w;
}

void CXRF::startFit() {
  // The watch is called on the worker: it only posts to this thread.
  const unsigned run = nextRun();
  LsqWatch watch;
  watch.progress = [this, run](std::size_t done, double squares) {
    post(run, [this, done, squares] {
      showNotice("Least-squares fit: iteration " + std::to_string(done) + ", sum of squares " +
                 format_g6(squares) + ".");
    });
  };
  showNotice("Least-squares fit...");
  startCommand("Least-Squares Fit", std::any(std::move(watch)));
}

void CXRF::bindWidgets(const Widgets& w) {
  for (int c = 0; c < 3; ++c)
    for (std::size_t r = 0; r < 4; ++r) {
      bind(w.boxes[c][r], kColumns[c].box, r);
      bind(w.fixes[c][r], kColumns[c].fix, r);
    }
  bind(w.components, &XRFState::components);
  bind(w.background, &XRFState::background);
  bind(w.excEnergy, &XRFState::exc_energy);
  bind(w.lorentzian, &XRFState::lorentzian);
  // The component choice is read at every paint, so toggling it changes the
  // picture without a command.
  bindPanel(w.panel, xrf_curves, &XRFState::marker);
  connect(w.components, &QButtonGroup::idToggled, w.panel, [panel = w.panel] { panel->update(); });
  // The chosen peak's marker follows its box and the choice.
  bindPanelText(w.panel, xrf_text);
  connect(w.lorentzian, &QButtonGroup::idToggled, w.panel, [panel = w.panel] { panel->update(); });
  for (QLineEdit* box : w.boxes[0])
    connect(box, &QLineEdit::textChanged, w.panel, [panel = w.panel] { panel->update(); });
  connect(w.panel, &PlotPanel::panelClicked, this,
          [this](double x_l, double y_l) { runClick("xrf-click", plot::ClickPoint{x_l, y_l}); });
  connect(w.lsq, &QPushButton::clicked, this, [this] { startFit(); });
  bindMessage(w.messagePane);
}

}  // namespace talvern
