#include "rixs/ui/CRIXSXAFS.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "rixs/rixs_calculation.h"
#include "rixs/rixs_modification.h"
#include "rixs/rixs_simulation.h"

namespace tv = talvern;
using tv::RIXSState;

namespace {

constexpr int kPanelWidth = 270, kPanelHeight = 240;

QLineEdit* makeBox(const char* name, QWidget* parent, int chars = 9) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QString(chars, '0')) + 12);
  return box;
}

QLabel* makeLabel(const char* caption, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setBuddy(buddy);
  return label;
}

PlotPanel* makePanel(const char* name, QWidget* parent) {
  auto* panel = new PlotPanel(parent);
  panel->setObjectName(name);
  panel->setMinimumSize(kPanelWidth, kPanelHeight);
  return panel;
}

// A panel under its caption with a row of buttons below it.
QGroupBox* panelGroup(const char* caption, const char* name, PlotPanel* panel,
                      std::initializer_list<QWidget*> buttons, QWidget* parent) {
  auto* group = new QGroupBox(caption, parent);
  group->setObjectName(name);
  auto* column = new QVBoxLayout(group);
  column->addWidget(new PlotFrame(panel, group), 1);
  auto* row = new QHBoxLayout;
  for (QWidget* button : buttons) row->addWidget(button);
  column->addLayout(row);
  return group;
}

}  // namespace

CRIXSXAFS::CRIXSXAFS(tv::WorkSpace ws, Openers openers, tv::FileChooser choose,
                     tv::OpenFailureReporter report, QWidget* parent)
    : CommandDialog(std::move(ws), parent) {
  setWindowTitle("RIXS Simulation");
  setFileDialogs(std::move(choose), std::move(report));
  const auto run = [](auto command) {  // a command that needs no work-space
    return [command](const tv::WorkSpace&, RIXSState& s) { command(s); };
  };

  // ---- "Selective XAFS" ---------------------------------------------------------
  auto* selectivePanel = makePanel("selectivePanel", this);
  bindPanel(selectivePanel, tv::selective_curves, &RIXSState::marker);
  connect(selectivePanel, &PlotPanel::panelClicked, this, [this](double x_l, double y_l) {
    runCommand([x_l, y_l](const tv::WorkSpace& w, RIXSState& s) {
      tv::PickEnergy(w, s, tv::plot::ClickPoint{x_l, y_l});
    }, false);
  });
  auto* load = tv::make_button("Load Selective XAFS", "loadSelectiveButton", this);
  auto* clear = tv::make_button("Clear", "clearButton", this);
  addCommand(load, tv::LoadSelectiveXAFS, true);
  addCommand(clear, run(tv::ClearSelectiveXAFS), true);

  auto* region = new QGroupBox("Display Region", this);
  region->setObjectName("displayRegionGroup");
  auto* regionMin = makeBox("regionMinBox", region);
  auto* regionMax = makeBox("regionMaxBox", region);
  bind(regionMin, &RIXSState::region_min);
  bind(regionMax, &RIXSState::region_max);
  auto* regionRow = new QHBoxLayout(region);
  regionRow->addWidget(regionMin);
  regionRow->addWidget(makeLabel("eV~", regionMin, region));
  regionRow->addWidget(regionMax);
  regionRow->addWidget(makeLabel("eV", regionMax, region));

  // The display mode is read at every paint; choosing one draws nothing by itself.
  auto* modeBox = new QGroupBox("Display Mode", this);
  modeBox->setObjectName("displayModeGroup");
  auto* mode = new QButtonGroup(this);
  auto* modeRow = new QHBoxLayout(modeBox);
  modeRow->addWidget(tv::make_radio("A", "modeARadio", mode, RIXSState::kModeA, modeBox));
  modeRow->addWidget(tv::make_radio("B", "modeBRadio", mode, RIXSState::kModeB, modeBox));
  modeRow->addWidget(tv::make_radio("A&&B", "modeABRadio", mode, RIXSState::kModeAB, modeBox));
  bind(mode, &RIXSState::display_mode);
  auto* modeChange = tv::make_button("Mode Change", "modeChangeButton", this);
  addCommand(modeChange, tv::ModeChange, true);

  auto* lorentzian = new QGroupBox("Modification by Lorentzian", this);
  lorentzian->setObjectName("lorentzianGroup");
  auto* central = makeBox("centralEnergyBox", lorentzian);
  auto* amplitude = makeBox("amplitudeBox", lorentzian, 6);
  auto* width = makeBox("widthBox", lorentzian, 6);
  bind(central, &RIXSState::central_energy);
  bind(amplitude, &RIXSState::amplitude);
  bind(width, &RIXSState::width);
  auto* sign = new QButtonGroup(this);
  auto* add = tv::make_radio("Add", "addRadio", sign, RIXSState::kAdd, lorentzian);
  auto* subtract = tv::make_radio("Subtract", "subtractRadio", sign, RIXSState::kSubtract, lorentzian);
  bind(sign, &RIXSState::sign);
  auto* showPeak = tv::make_button("Show the Peak", "showPeakButton", lorentzian);
  auto* modify = tv::make_button("Modify XAFS", "modifyButton", lorentzian);
  auto* saveTemporarily = tv::make_button("Save It Temporarily", "saveTemporarilyButton", lorentzian);
  auto* moreChange = tv::make_button("More Change", "moreChangeButton", lorentzian);
  addCommand(showPeak, tv::ShowThePeak, true);
  addCommand(modify, tv::ModifyXAFS, true);
  addCommand(saveTemporarily, tv::SaveItTemporarily, false);
  addCommand(moreChange, tv::MoreChange, true);
  auto* lorentzianGrid = new QGridLayout(lorentzian);
  lorentzianGrid->addWidget(makeLabel("Central Energy", central, lorentzian), 0, 0);
  lorentzianGrid->addWidget(central, 0, 1);
  lorentzianGrid->addWidget(makeLabel("Amp.", amplitude, lorentzian), 0, 2);
  lorentzianGrid->addWidget(amplitude, 0, 3);
  lorentzianGrid->addWidget(makeLabel("Width", width, lorentzian), 0, 4);
  lorentzianGrid->addWidget(width, 0, 5);
  lorentzianGrid->addWidget(add, 1, 0);
  lorentzianGrid->addWidget(subtract, 1, 1);
  lorentzianGrid->addWidget(showPeak, 1, 2, 1, 2);
  lorentzianGrid->addWidget(modify, 1, 4, 1, 2);
  lorentzianGrid->addWidget(saveTemporarily, 2, 2, 1, 2);
  lorentzianGrid->addWidget(moreChange, 2, 4, 1, 2);

  auto* shiftGroup = new QGroupBox("Energy Shift(±eV)", this);
  shiftGroup->setObjectName("energyShiftGroup");
  auto* shiftBox = makeBox("energyShiftBox", shiftGroup, 6);
  bind(shiftBox, &RIXSState::energy_shift);
  auto* shift = tv::make_button("Shift", "shiftButton", shiftGroup);
  addCommand(shift, tv::ShiftSelectiveXAFS, true);
  auto* shiftRow = new QHBoxLayout(shiftGroup);
  shiftRow->addWidget(shiftBox);
  shiftRow->addWidget(shift);

  // The refinement dialogs run modally; whatever they end with, the message
  // points to "Mode Change". Nothing is repainted.
  auto* refine = new QGroupBox("Optimization and Average", this);
  refine->setObjectName("refineGroup");
  auto* refineRow = new QHBoxLayout(refine);
  auto* optimize = tv::make_button("Optimize", "optimizeButton", refine);
  auto* average = tv::make_button("Average", "averageButton", refine);
  refineRow->addWidget(optimize);
  refineRow->addWidget(average);
  // The plane reads the work-space files only; the dialog's state stays.
  auto* planeButton = tv::make_button("RIXS Plane...", "rixsPlaneButton", refine);
  refineRow->addWidget(planeButton);
  connect(planeButton, &QPushButton::clicked, this, [this, open = std::move(openers.plane)] {
    if (open) open(workSpace(), this);
  });
  connect(optimize, &QPushButton::clicked, this, [this, run, open = std::move(openers.optimize)] {
    if (!open) return;
    open(workSpace(), this);
    runCommand(run(tv::OptimizeDone), false);
  });
  connect(average, &QPushButton::clicked, this, [this, run, open = std::move(openers.average)] {
    if (!open) return;
    open(workSpace(), this);
    runCommand(run(tv::AverageDone), false);
  });

  auto* complete = tv::make_button("Complete the Modification", "completeButton", this);
  auto* saveModified = tv::make_button("Save Modified XAFS", "saveModifiedButton", this);
  addCommand(complete, tv::CompleteTheModification, true);
  addFileCommand(saveModified, tv::SaveModifiedXAFS, false);

  // ---- "Calculated RIXS" ------------------------------------------------------------
  auto* calculatedPanel = makePanel("calculatedPanel", this);
  auto* comparisonPanel = makePanel("comparisonPanel", this);
  // The two-component flag is read from the work-space at every paint.
  bindPanel(calculatedPanel, [this](const RIXSState& s) {
    return tv::calculated_curves(s, tv::two_component_flag(ws_));
  });
  bindPanel(comparisonPanel, [this](const RIXSState& s) {
    return tv::comparison_curves(s, tv::two_component_flag(ws_));
  });
  auto* calculate = tv::make_button("Calculate RIXS", "calculateButton", this);
  auto* clearRixs = tv::make_button("Clear RIXS", "clearRixsButton", this);
  auto* saveRixs = tv::make_button("Save RIXS", "saveRixsButton", this);
  addCommand(calculate, tv::CalculateRIXSSpectrum, true);
  addCommand(clearRixs, run(tv::ClearRIXS), true);
  addFileCommand(saveRixs, tv::SaveRIXS, false);

  auto* excEnergy = makeBox("excEnergyBox", this);
  auto* scale = makeBox("scaleBox", this);
  auto* absCorr = makeBox("absCorrBox", this);
  bind(excEnergy, &RIXSState::exc_energy);
  bind(scale, &RIXSState::scale);
  bind(absCorr, &RIXSState::abs_correction);
  // Every change of the excitation energy, typed or written, says what to do next.
  connect(excEnergy, &QLineEdit::textChanged, this, [this] { showNotice(tv::kExcEnergyNotice); });
  auto* factors = new QGridLayout;
  factors->addWidget(makeLabel("Exc. Energy(eV)", excEnergy, this), 0, 0);
  factors->addWidget(excEnergy, 0, 1);
  factors->addWidget(makeLabel("Scale Fac.", scale, this), 1, 0);
  factors->addWidget(scale, 1, 1);
  factors->addWidget(makeLabel("Abs. Corr. Fac.", absCorr, this), 2, 0);
  factors->addWidget(absCorr, 2, 1);

  // ---- "Comp. of RIXS" --------------------------------------------------------------
  auto* compExp = tv::make_button("Comp. Exp. RIXS", "compExpButton", this);
  auto* compAnother = tv::make_button("Comp. Another RIXS", "compAnotherButton", this);
  auto* allClear = tv::make_button("All Clear", "allClearButton", this);
  auto* compare = tv::make_button("Compare RIXS", "compareButton", this);
  compare->hide();
  addCommand(compExp, tv::CompExpRIXS, true);
  addFileCommand(compAnother, tv::CompAnotherRIXS, true);
  addCommand(allClear, run(tv::AllClear), true);
  addCommand(compare, tv::CompareRIXS, true);

  QLabel* paneLabel = nullptr;
  auto* messagePane = tv::make_message_pane(this, paneLabel);
  tv::size_message_pane(messagePane, "If you try to calculate RIXS at the present condition, please",
                        8);
  bindMessage(messagePane);

  // ---- layout -------------------------------------------------------------------------
  auto* panels = new QHBoxLayout;
  panels->addWidget(panelGroup("Selective XAFS", "selectiveGroup", selectivePanel, {load, clear}, this));
  panels->addWidget(panelGroup("Calculated RIXS", "calculatedGroup", calculatedPanel,
                               {calculate, clearRixs, saveRixs}, this));
  panels->addWidget(panelGroup("Comp. of RIXS", "comparisonGroup", comparisonPanel,
                               {compExp, compAnother, allClear, compare}, this));

  auto* displayRow = new QHBoxLayout;
  displayRow->addWidget(region);
  displayRow->addWidget(modeBox);
  displayRow->addWidget(modeChange);
  auto* lastRow = new QHBoxLayout;
  lastRow->addWidget(shiftGroup);
  lastRow->addWidget(refine);
  auto* fixRow = new QHBoxLayout;
  fixRow->addWidget(complete);
  fixRow->addWidget(saveModified);
  auto* selectiveControls = new QVBoxLayout;
  selectiveControls->addLayout(displayRow);
  selectiveControls->addWidget(lorentzian);
  selectiveControls->addLayout(lastRow);
  selectiveControls->addLayout(fixRow);
  selectiveControls->addStretch(1);

  auto* calculation = new QVBoxLayout;
  calculation->addLayout(factors);
  calculation->addWidget(paneLabel);
  calculation->addWidget(messagePane, 1);

  auto* lower = new QHBoxLayout;
  lower->addLayout(selectiveControls);
  lower->addSpacing(8);
  lower->addLayout(calculation, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(panels, 1);
  layout->addLayout(lower, 1);
  layout->addLayout(tv::make_recover_graphics_row(this, this->panels()));
  layout->addLayout(tv::make_ok_cancel_row(this));
  showState();
}
