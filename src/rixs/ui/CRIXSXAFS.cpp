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

#include "rixs/rixs_sheet.h"
#include "rixs/rixs_simulation.h"

namespace talvern {
namespace {

constexpr int kPanelWidth = 270, kPanelHeight = 240;

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

// A command of the dialog alone that needs no work-space.
CommandDialog<RIXSState>::OwnCommand onState(void (*command)(RIXSState&)) {
  return [command](const WorkSpace&, RIXSState& s) { command(s); };
}

}  // namespace

CRIXSXAFS::CRIXSXAFS(WorkSpace ws, Openers openers, QWidget* parent, UserFiles files,
                     OpenFailureReporter report)
    : CommandDialog(std::move(ws), rixs_sheet(), std::move(files), parent) {
  setWindowTitle("RIXS Simulation");
  setOpenFailureReporter(std::move(report));
  bindWidgets(build(), std::move(openers));
  showState();
}

CRIXSXAFS::Widgets CRIXSXAFS::build() {
  Widgets w{};
  // ---- "Selective XAFS" ---------------------------------------------------------
  w.selective = make_panel("selectivePanel", this, kPanelWidth, kPanelHeight, userFiles());
  auto* load = commandButton("Load Selective XAFS", "loadSelectiveButton", this);
  auto* clear = commandButton("Clear", "clearButton", this);
  QLayout* selectiveControls = buildSelectiveControls(w);

  // ---- "Calculated RIXS" ------------------------------------------------------------
  w.calculated = make_panel("calculatedPanel", this, kPanelWidth, kPanelHeight, userFiles());
  w.comparison = make_panel("comparisonPanel", this, kPanelWidth, kPanelHeight, userFiles());
  auto* calculate = commandButton("Calculate RIXS", "calculateButton", this);
  auto* clearRixs = commandButton("Clear RIXS", "clearRixsButton", this);
  auto* saveRixs = commandButton("Save RIXS", "saveRixsButton", this);
  QLayout* factors = buildFactors(w);

  // ---- "Comp. of RIXS" --------------------------------------------------------------
  auto* compExp = commandButton("Comp. Exp. RIXS", "compExpButton", this);
  auto* compAnother = commandButton("Comp. Another RIXS", "compAnotherButton", this);
  auto* allClear = commandButton("All Clear", "allClearButton", this);
  auto* compare = commandButton("Compare RIXS", "compareButton", this);
  compare->hide();

  QLabel* paneLabel = nullptr;
  w.messagePane = make_message_pane(this, paneLabel);
  size_message_pane(w.messagePane, "If you try to calculate RIXS at the present condition, please",
                    8);

  // ---- layout -------------------------------------------------------------------------
  auto* panels = new QHBoxLayout;
  panels->addWidget(panelGroup("Selective XAFS", "selectiveGroup", w.selective, {load, clear}, this));
  panels->addWidget(panelGroup("Calculated RIXS", "calculatedGroup", w.calculated,
                               {calculate, clearRixs, saveRixs}, this));
  panels->addWidget(panelGroup("Comp. of RIXS", "comparisonGroup", w.comparison,
                               {compExp, compAnother, allClear, compare}, this));

  auto* calculation = new QVBoxLayout;
  calculation->addLayout(factors);
  calculation->addWidget(paneLabel);
  calculation->addWidget(w.messagePane, 1);

  auto* lower = new QHBoxLayout;
  lower->addLayout(selectiveControls);
  lower->addSpacing(8);
  lower->addLayout(calculation, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(panels, 1);
  layout->addLayout(lower, 1);
  layout->addLayout(make_recover_graphics_row(this, {w.selective, w.calculated, w.comparison}));
  layout->addLayout(make_ok_cancel_row(this));
  return w;
}

QLayout* CRIXSXAFS::buildSelectiveControls(Widgets& w) {
  auto* region = new QGroupBox("Display Region", this);
  region->setObjectName("displayRegionGroup");
  w.regionMin = make_box("regionMinBox", region, 9);
  w.regionMax = make_box("regionMaxBox", region, 9);
  auto* regionRow = new QHBoxLayout(region);
  regionRow->addWidget(w.regionMin);
  regionRow->addWidget(make_label("eV~", w.regionMin, region));
  regionRow->addWidget(w.regionMax);
  regionRow->addWidget(make_label("eV", w.regionMax, region));

  // The display mode is read at every paint; choosing one draws nothing by itself.
  auto* modeBox = new QGroupBox("Display Mode", this);
  modeBox->setObjectName("displayModeGroup");
  w.mode = new QButtonGroup(this);
  auto* modeRow = new QHBoxLayout(modeBox);
  modeRow->addWidget(make_radio("A", "modeARadio", w.mode, RIXSState::kModeA, modeBox));
  modeRow->addWidget(make_radio("B", "modeBRadio", w.mode, RIXSState::kModeB, modeBox));
  modeRow->addWidget(make_radio("A&&B", "modeABRadio", w.mode, RIXSState::kModeAB, modeBox));
  auto* modeChange = commandButton("Mode Change", "modeChangeButton", this);

  QGroupBox* lorentzian = buildLorentzian(w);

  auto* shiftGroup = new QGroupBox("Energy Shift(±eV)", this);
  shiftGroup->setObjectName("energyShiftGroup");
  w.energyShift = make_box("energyShiftBox", shiftGroup, 6);
  auto* shift = commandButton("Shift", "shiftButton", shiftGroup);
  auto* shiftRow = new QHBoxLayout(shiftGroup);
  shiftRow->addWidget(w.energyShift);
  shiftRow->addWidget(shift);

  auto* refine = new QGroupBox("Optimization and Average", this);
  refine->setObjectName("refineGroup");
  auto* refineRow = new QHBoxLayout(refine);
  w.optimize = make_button("Optimize", "optimizeButton", refine);
  w.average = make_button("Average", "averageButton", refine);
  refineRow->addWidget(w.optimize);
  refineRow->addWidget(w.average);
  w.plane = make_button("RIXS Plane...", "rixsPlaneButton", refine);
  refineRow->addWidget(w.plane);
  w.fit = make_button("Global Fit...", "globalFitButton", refine);
  refineRow->addWidget(w.fit);

  auto* complete = commandButton("Complete the Modification", "completeButton", this);
  auto* saveModified = commandButton("Save Modified XAFS", "saveModifiedButton", this);

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
  auto* controls = new QVBoxLayout;
  controls->addLayout(displayRow);
  controls->addWidget(lorentzian);
  controls->addLayout(lastRow);
  controls->addLayout(fixRow);
  controls->addStretch(1);
  return controls;
}

QGroupBox* CRIXSXAFS::buildLorentzian(Widgets& w) {
  auto* lorentzian = new QGroupBox("Modification by Lorentzian", this);
  lorentzian->setObjectName("lorentzianGroup");
  w.central = make_box("centralEnergyBox", lorentzian, 9);
  w.amplitude = make_box("amplitudeBox", lorentzian, 6);
  w.width = make_box("widthBox", lorentzian, 6);
  w.sign = new QButtonGroup(this);
  auto* add = make_radio("Add", "addRadio", w.sign, RIXSState::kAdd, lorentzian);
  auto* subtract = make_radio("Subtract", "subtractRadio", w.sign, RIXSState::kSubtract, lorentzian);
  auto* showPeak = commandButton("Show the Peak", "showPeakButton", lorentzian);
  auto* modify = commandButton("Modify XAFS", "modifyButton", lorentzian);
  auto* saveTemporarily = commandButton("Save It Temporarily", "saveTemporarilyButton", lorentzian);
  auto* moreChange = commandButton("More Change", "moreChangeButton", lorentzian);
  auto* grid = new QGridLayout(lorentzian);
  grid->addWidget(make_label("Central Energy", w.central, lorentzian), 0, 0);
  grid->addWidget(w.central, 0, 1);
  grid->addWidget(make_label("Amp.", w.amplitude, lorentzian), 0, 2);
  grid->addWidget(w.amplitude, 0, 3);
  grid->addWidget(make_label("Width", w.width, lorentzian), 0, 4);
  grid->addWidget(w.width, 0, 5);
  grid->addWidget(add, 1, 0);
  grid->addWidget(subtract, 1, 1);
  grid->addWidget(showPeak, 1, 2, 1, 2);
  grid->addWidget(modify, 1, 4, 1, 2);
  grid->addWidget(saveTemporarily, 2, 2, 1, 2);
  grid->addWidget(moreChange, 2, 4, 1, 2);
  return lorentzian;
}

QLayout* CRIXSXAFS::buildFactors(Widgets& w) {
  w.excEnergy = make_box("excEnergyBox", this, 9);
  w.scale = make_box("scaleBox", this, 9);
  w.absCorrection = make_box("absCorrBox", this, 9);
  auto* factors = new QGridLayout;
  factors->addWidget(make_label("Exc. Energy(eV)", w.excEnergy, this), 0, 0);
  factors->addWidget(w.excEnergy, 0, 1);
  factors->addWidget(make_label("Scale Fac.", w.scale, this), 1, 0);
  factors->addWidget(w.scale, 1, 1);
  factors->addWidget(make_label("Abs. Corr. Fac.", w.absCorrection, this), 2, 0);
  factors->addWidget(w.absCorrection, 2, 1);
  return factors;
}

void CRIXSXAFS::bindWidgets(const Widgets& w, Openers openers) {
  bindPanel(w.selective, selective_curves, &RIXSState::marker);
  connect(w.selective, &PlotPanel::panelClicked, this,
          [this](double x_l, double y_l) { runClick("rixs-pick", plot::ClickPoint{x_l, y_l}); });
  // The two-component flag is read from the work-space at every paint.
  bindPanel(w.calculated, [this](const RIXSState& s) {
    return calculated_curves(s, two_component_flag(workSpace()));
  });
  bindPanel(w.comparison, [this](const RIXSState& s) {
    return comparison_curves(s, two_component_flag(workSpace()));
  });
  // The excitation energy's marker follows its box.
  bindPanelText(w.selective, selective_text);
  connect(w.excEnergy, &QLineEdit::textChanged, w.selective, [panel = w.selective] { panel->update(); });
  for (PlotPanel* panel : {w.calculated, w.comparison})
    bindPanelText(panel, [](const RIXSState&) { return emission_text(); });

  bind(w.regionMin, &RIXSState::region_min);
  bind(w.regionMax, &RIXSState::region_max);
  bind(w.mode, &RIXSState::display_mode);
  bind(w.central, &RIXSState::central_energy);
  bind(w.amplitude, &RIXSState::amplitude);
  bind(w.width, &RIXSState::width);
  bind(w.sign, &RIXSState::sign);
  bind(w.energyShift, &RIXSState::energy_shift);
  bind(w.excEnergy, &RIXSState::exc_energy);
  bind(w.scale, &RIXSState::scale);
  bind(w.absCorrection, &RIXSState::abs_correction);
  // Every change of the excitation energy, typed or written, says what to do next.
  connect(w.excEnergy, &QLineEdit::textChanged, this, [this] { showNotice(kExcEnergyNotice); });
  bindMessage(w.messagePane);


  // The refinement dialogs run modally; whatever they end with, the message
  // points to "Mode Change". Nothing is repainted. The plane reads the
  // work-space files only; the dialog's state stays, as it does after the
  // global fit.
  for (auto [button, opener] : {std::pair(w.plane, &openers.plane), std::pair(w.fit, &openers.fit)})
    connect(button, &QPushButton::clicked, this, [this, open = std::move(*opener)] {
      if (open) open(workSpace(), this);
    });
  set_files_tip(w.optimize, openers.touches.optimize, "opens \"Optimization\"; its buttons together:");
  set_files_tip(w.average, openers.touches.average, "opens \"Average\"; its buttons together:");
  set_files_tip(w.plane, openers.touches.plane, "opens \"RIXS Plane\"; its buttons together:");
  set_files_tip(w.fit, openers.touches.fit, "opens \"Global Fit\"; its buttons together:");
  // "Optimization" opens with the excitation energy of the box.
  connect(w.optimize, &QPushButton::clicked, this, [this, open = std::move(openers.optimize)] {
    if (!open) return;
    open(workSpace(), widgetState(), this);
    runCommand(onState(OptimizeDone), false);
  });
  connect(w.average, &QPushButton::clicked, this, [this, open = std::move(openers.average)] {
    if (!open) return;
    open(workSpace(), this);
    runCommand(onState(AverageDone), false);
  });
}

}  // namespace talvern
