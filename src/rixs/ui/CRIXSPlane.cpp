#include "rixs/ui/CRIXSPlane.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <any>
#include <utility>

#include "rixs/compare_maps.h"
#include "rixs/plane_sheet.h"
#include "rixs/ui/CompareMapView.h"
#include "rixs/ui/MeasuredSetList.h"
#include "rixs/ui/PlaneMap.h"

namespace talvern {
namespace {

QLineEdit* makeRangeBox(const char* name, QWidget* parent) {
  QLineEdit* box = make_box(name, parent);
  box->setMaximumWidth(110);
  return box;
}

}  // namespace

CRIXSPlane::CRIXSPlane(WorkSpace ws, QWidget* parent, UserFiles files)
    : WorkerDialog(std::move(ws), plane_sheet(), std::move(files), parent) {
  setWindowTitle("RIXS Plane");
  bindWidgets(build());
  showState();
}

CRIXSPlane::Widgets CRIXSPlane::build() {
  Widgets w{};
  auto* axisBox = make_radio_row("Emission Axis", "axisGroup",
                                 {"Emission Energy", "Energy Transfer (Exc. - Em.)"}, w.axis, this);
  auto* scaleBox = make_radio_row("Intensity Scale", "scaleGroup", {"Linear", "Logarithmic"}, w.scale, this);
  QLabel* paneLabel = nullptr;
  w.messagePane = make_message_pane(this, paneLabel);
  size_message_pane(w.messagePane, "The calculation was stopped after 100 of 100", 4);
  w.messagePane->setMaximumHeight(6 * w.messagePane->fontMetrics().lineSpacing());

  // "Calculate" runs on the worker, not as a button of the sheet runs it;
  // during a run only "Stop" and the display's choices are at hand.
  auto* stop = make_button("Stop", "stopButton", this, false);
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName("planeTabs");
  // A page is laid out as the tabs take it, before the dialog is shown: at
  // its own size, not at none.
  QWidget* planePage = buildPlaneTab(w, stop);
  QWidget* comparePage = buildCompareTab(w);
  for (QWidget* page : {planePage, comparePage}) page->resize(page->sizeHint());
  tabs->addTab(planePage, "Calculated Plane");
  tabs->addTab(comparePage, "Measured vs. Model");
  setRunControls({w.from, w.to, w.step, axisBox, w.calculate, w.savePicture, w.saveData, comparePage},
                 stop);

  auto* pane = new QVBoxLayout;
  pane->addWidget(paneLabel);
  pane->addWidget(w.messagePane);
  auto* top = new QHBoxLayout;
  top->addWidget(axisBox, 0, Qt::AlignTop);
  top->addWidget(scaleBox, 0, Qt::AlignTop);
  top->addLayout(pane, 1);

  auto* all = new QVBoxLayout;
  all->addLayout(top);
  all->addWidget(tabs, 1);
  all->addLayout(make_ok_cancel_row(this));
  setLayout(all);
  return w;
}

QWidget* CRIXSPlane::buildPlaneTab(Widgets& w, QWidget* stop) {
  auto* page = new QWidget(this);
  w.from = makeRangeBox("fromBox", page);
  w.to = makeRangeBox("toBox", page);
  w.step = makeRangeBox("stepBox", page);
  auto* cutBox = make_radio_row("Cut at the Click", "cutGroup",
                                {"Along the Emission Axis", "Along the Excitation Energy"}, w.cut, page);
  w.calculate = runButton("Calculate", "calculateButton", page);
  progress_ = new QProgressBar(page);
  progress_->setObjectName("progressBar");
  progress_->setRange(0, 1);
  progress_->setValue(0);
  map_ = new PlaneMap(page);
  map_->setObjectName("planeMap");
  w.cutPanel = make_panel("cutPanel", page, 360, 200, userFiles());
  w.savePicture = make_button("Save Picture...", "savePictureButton", page);
  set_files_tip(w.savePicture, kSavePlanePicture);
  w.saveData = commandButton("Save Data...", "saveDataButton", page);

  auto* range = new QHBoxLayout;
  range->addWidget(new QLabel("Exc. Energy from", page));
  range->addWidget(w.from);
  range->addWidget(new QLabel("to", page));
  range->addWidget(w.to);
  range->addWidget(new QLabel("step", page));
  range->addWidget(w.step);
  range->addWidget(new QLabel("eV", page));
  range->addSpacing(16);
  range->addWidget(cutBox);
  range->addStretch(1);

  auto* runRow = new QHBoxLayout;
  runRow->addWidget(w.calculate);
  runRow->addWidget(stop);
  runRow->addWidget(progress_, 1);
  runRow->addWidget(w.savePicture);
  runRow->addWidget(w.saveData);

  auto* pictures = new QHBoxLayout;
  pictures->addWidget(map_, 3);
  pictures->addWidget(new PlotFrame(w.cutPanel, page), 2);

  auto* column = new QVBoxLayout(page);
  column->addLayout(range);
  column->addLayout(runRow);
  column->addLayout(pictures, 1);
  return page;
}

QWidget* CRIXSPlane::buildCompareTab(Widgets& w) {
  auto* page = new QWidget(this);
  w.cutExc = make_box("cutExcBox", page, 8);
  w.herfdEmission = make_box("herfdEmissionBox", page, 8);
  auto* loads = new QGridLayout;
  loads->addWidget(commandButton("Load Exp. Plane...", "loadExpPlaneButton", page), 0, 3);
  loads->addWidget(make_label("Exc. Energy of the Cut", w.cutExc, page), 1, 0);
  loads->addWidget(w.cutExc, 1, 1);
  loads->addWidget(new QLabel("eV", page), 1, 2);
  loads->addWidget(commandButton("Add Exp. Cut...", "addExpCutButton", page), 1, 3);
  loads->addWidget(make_label("Emission Energy of the HERFD", w.herfdEmission, page), 2, 0);
  loads->addWidget(w.herfdEmission, 2, 1);
  loads->addWidget(new QLabel("eV", page), 2, 2);
  loads->addWidget(commandButton("Add Exp. HERFD...", "addExpHERFDButton", page), 2, 3);
  setList_ = new MeasuredSetList(page);
  setList_->setObjectName("measuredSetList");
  auto* compare = new QVBoxLayout;
  compare->addWidget(commandButton("Compare", "compareButton", page));
  compare->addStretch(1);
  auto* set = new QHBoxLayout;
  set->addLayout(loads);
  set->addWidget(setList_, 1);
  set->addLayout(compare);

  static const char* const kMapNames[3] = {"measuredMap", "calculatedMap", "differenceMap"};
  static const char* const kCutNames[3][2] = {{"excitationCutPanel", "excitationCutNote"},
                                               {"emissionCutPanel", "emissionCutNote"},
                                               {"transferCutPanel", "transferCutNote"}};
  auto* maps = new QHBoxLayout;
  auto* cuts = new QHBoxLayout;
  for (std::size_t k = 0; k < 3; ++k) {
    compareMaps_[k] = new CompareMapView(static_cast<CompareMap>(k), page);
    compareMaps_[k]->setObjectName(kMapNames[k]);
    maps->addWidget(compareMaps_[k], 1);
    w.compareCutPanels[k] = make_panel(kCutNames[k][0], page, 300, 100, userFiles());
    w.compareCutNotes[k] = new QLabel(page);
    w.compareCutNotes[k]->setObjectName(kCutNames[k][1]);
    auto* cut = new QVBoxLayout;
    cut->setSpacing(0);
    cut->addWidget(w.compareCutNotes[k]);
    cut->addWidget(new PlotFrame(w.compareCutPanels[k], page), 1);
    cuts->addLayout(cut, 1);
  }

  auto* column = new QVBoxLayout(page);
  column->addLayout(set);
  column->addLayout(maps, 3);
  column->addLayout(cuts, 2);
  return page;
}

void CRIXSPlane::bindWidgets(const Widgets& w) {
  bind(w.from, &PlaneState::from_energy);
  bind(w.to, &PlaneState::to_energy);
  bind(w.step, &PlaneState::step_energy);
  bind(w.axis, &PlaneState::axis);
  bind(w.scale, &PlaneState::scale);
  bind(w.cut, &PlaneState::cut);
  connect(w.calculate, &QPushButton::clicked, this, [this] { startRun(); });

  map_->setShown([this, scale = w.scale] {
    const PlaneState& s = state();
    return PlaneMap::Shown{&s.plane, scale->checkedId() == 1,
                           s.pick_row && s.pick_column
                               ? std::optional(std::make_pair(*s.pick_row, *s.pick_column))
                               : std::nullopt};
  });
  map_->clicked = [this](std::size_t r, std::size_t k) {
    runCommand([r, k](const WorkSpace&, PlaneState& s) { PickPlanePoint(s, r, k); }, true);
    map_->update();
  };
  // The scale and the axis take effect at once; the maps read them from the buttons.
  connect(w.scale, &QButtonGroup::idToggled, this, [this](int, bool on) {
    if (!on) return;
    map_->update();
    for (CompareMapView* m : compareMaps_) m->update();
  });
  connect(w.axis, &QButtonGroup::idToggled, this, [this](int, bool on) {
    if (on)
      for (CompareMapView* m : compareMaps_) m->update();
  });
  bindPanel(w.cutPanel, cut_panel_curves);
  bindPanelText(w.cutPanel, cut_panel_text);

  // The picture is of the map as the dialog shows it.
  addCommand(w.savePicture, [this](const WorkSpace& ws, PlaneState& s) {
    SavePlanePicture(ws, userFiles(), s, map_->width(), map_->height());
  }, false);
  bindComparison(w);
  bindMessage(w.messagePane);
}

void CRIXSPlane::bindComparison(const Widgets& w) {
  bind(w.cutExc, &PlaneState::cut_exc);
  bind(w.herfdEmission, &PlaneState::herfd_emission);
  // A group's "Remove" is the shell's exp-set --remove GROUP, and so recorded.
  setList_->removeTip = find("exp-set")->touches;
  setList_->removeClicked = [this](const std::string& word) {
    CommandRun run;
    run.options.set("--remove", word);
    runNamed("exp-set", std::move(run));
  };
  for (std::size_t k = 0; k < 3; ++k) {
    compareMaps_[k]->setShown([this, axis = w.axis, scale = w.scale] {
      const PlaneState& s = state();
      return CompareMapView::Shown{s.comparison ? &*s.comparison : nullptr, axis->checkedId() == 1,
                                   scale->checkedId() == 1, s.compare_pick};
    });
    // A click on any map picks the point of all three cuts.
    compareMaps_[k]->clicked = [this](std::size_t point) {
      runCommand([point](const WorkSpace&, PlaneState& s) { PickComparePoint(s, point); }, true);
    };
    bindPanel(w.compareCutPanels[k], [k](const PlaneState& s) { return compare_cut_curves(s, k); });
    bindPanelText(w.compareCutPanels[k], [k](const PlaneState&) { return compare_cut_text(k); });
  }
  bindView([this, notes = w.compareCutNotes](const PlaneState& s) {
    setList_->showSet(s.measured);
    for (std::size_t k = 0; k < 3; ++k) notes[k]->setText(QString::fromStdString(s.compare_cut_notes[k]));
    for (CompareMapView* m : compareMaps_) m->update();
  });
}

void CRIXSPlane::startRun() {
  progress_->setRange(0, 1);
  progress_->setValue(0);
  // The watch is called on the worker: it only posts to this thread.
  const unsigned run = nextRun();
  PlaneWatch watch;
  watch.stop = stopFlag();
  watch.progress = [this, run](std::size_t done, std::size_t total) {
    post(run, [this, done, total] {
      progress_->setRange(0, static_cast<int>(total));
      progress_->setValue(static_cast<int>(done));
    });
  };
  showNotice("In calculation...");
  startCommand("Calculate", std::any(std::move(watch)));
}

void CRIXSPlane::runFinished() {
  // Progress posted too late to be shown: the bar ends at the rows done.
  const int rows = static_cast<int>(state().plane.rows());
  progress_->setRange(0, std::max(progress_->maximum(), std::max(rows, 1)));
  progress_->setValue(rows);
  for (PlotPanel* p : panels()) p->redraw();
  map_->update();
}

}  // namespace talvern
