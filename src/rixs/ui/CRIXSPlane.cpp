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
#include <QVBoxLayout>

#include <algorithm>
#include <any>
#include <utility>

#include "rixs/plane_sheet.h"
#include "rixs/ui/PlaneMap.h"

namespace talvern {
namespace {

QLineEdit* makeRangeBox(const char* name, QWidget* parent) {
  QLineEdit* box = make_box(name, parent);
  box->setMaximumWidth(110);
  return box;
}

// A radio group of two in a row under `caption`.
QGroupBox* radioPair(const char* caption, const char* a, const char* b, const char* name,
                     QButtonGroup*& group, QWidget* parent) {
  auto* box = new QGroupBox(caption, parent);
  group = new QButtonGroup(box);
  group->setObjectName(name);
  auto* row = new QHBoxLayout(box);
  row->addWidget(make_radio(a, QString(name) + "0", group, 0, box));
  row->addWidget(make_radio(b, QString(name) + "1", group, 1, box));
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
  w.from = makeRangeBox("fromBox", this);
  w.to = makeRangeBox("toBox", this);
  w.step = makeRangeBox("stepBox", this);
  auto* axisBox = radioPair("Emission Axis", "Emission Energy", "Energy Transfer (Exc. - Em.)",
                            "axisGroup", w.axis, this);
  auto* scaleBox = radioPair("Intensity Scale", "Linear", "Logarithmic", "scaleGroup", w.scale, this);
  auto* cutBox = radioPair("Cut at the Click", "Along the Emission Axis",
                           "Along the Excitation Energy", "cutGroup", w.cut, this);

  // "Calculate" runs on the worker, not as a button of the sheet runs it.
  w.calculate = make_button("Calculate", "calculateButton", this);
  auto* stop = make_button("Stop", "stopButton", this, false);
  progress_ = new QProgressBar(this);
  progress_->setObjectName("progressBar");
  progress_->setRange(0, 1);
  progress_->setValue(0);

  map_ = new PlaneMap(this);
  map_->setObjectName("planeMap");
  w.cutPanel = make_panel("cutPanel", this, 640, 200, userFiles());
  w.savePicture = make_button("Save Picture...", "savePictureButton", this);
  auto* saveData = commandButton("Save Data...", "saveDataButton", this);

  QLabel* paneLabel = nullptr;
  w.messagePane = make_message_pane(this, paneLabel);
  size_message_pane(w.messagePane, "The calculation was stopped after 100 of 100", 4);

  auto* range = new QGridLayout;
  range->addWidget(new QLabel("Exc. Energy from", this), 0, 0);
  range->addWidget(w.from, 0, 1);
  range->addWidget(new QLabel("to", this), 0, 2);
  range->addWidget(w.to, 0, 3);
  range->addWidget(new QLabel("step", this), 0, 4);
  range->addWidget(w.step, 0, 5);
  range->addWidget(new QLabel("eV", this), 0, 6);
  range->setColumnStretch(7, 1);

  auto* options = new QHBoxLayout;
  options->addWidget(axisBox);
  options->addWidget(scaleBox);
  options->addWidget(cutBox);

  auto* runRow = new QHBoxLayout;
  runRow->addWidget(w.calculate);
  runRow->addWidget(stop);
  runRow->addWidget(progress_, 1);
  runRow->addWidget(w.savePicture);
  runRow->addWidget(saveData);

  QHBoxLayout* okCancel = make_ok_cancel_row(this);
  setRunControls({w.from, w.to, w.step, axisBox, w.calculate, w.savePicture, saveData}, stop);

  auto* left = new QVBoxLayout;
  left->addLayout(range);
  left->addLayout(options);
  left->addLayout(runRow);
  left->addWidget(map_, 3);
  left->addWidget(new PlotFrame(w.cutPanel, this), 1);
  left->addWidget(paneLabel);
  left->addWidget(w.messagePane);
  left->addLayout(okCancel);
  setLayout(left);
  return w;
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
  // The scale takes effect at once; the map reads it from the buttons.
  connect(w.scale, &QButtonGroup::idToggled, map_, [this](int, bool on) {
    if (on) map_->update();
  });
  bindPanel(w.cutPanel, cut_panel_curves);

  // The picture is of the map as the dialog shows it.
  addCommand(w.savePicture, [this](const WorkSpace&, PlaneState& s) {
    SavePlanePicture(userFiles(), s, map_->width(), map_->height());
  }, false);
  bindMessage(w.messagePane);
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
