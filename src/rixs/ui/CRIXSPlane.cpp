#include "rixs/ui/CRIXSPlane.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <string>
#include <utility>

#include "rixs/plane_picture.h"
#include "rixs/ui/PlaneMap.h"

namespace tv = talvern;
using tv::PlaneState;

namespace {

QLineEdit* makeBox(const char* name, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
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
  row->addWidget(tv::make_radio(a, QString(name) + "0", group, 0, box));
  row->addWidget(tv::make_radio(b, QString(name) + "1", group, 1, box));
  return box;
}

}  // namespace

CRIXSPlane::CRIXSPlane(tv::WorkSpace ws, QWidget* parent)
    : WorkerDialog(ws, parent, tv::OpenRIXSPlane(ws)) {
  setWindowTitle("RIXS Plane");

  auto* from = makeBox("fromBox", this);
  auto* to = makeBox("toBox", this);
  auto* step = makeBox("stepBox", this);
  bind(from, &PlaneState::from_energy);
  bind(to, &PlaneState::to_energy);
  bind(step, &PlaneState::step_energy);

  QButtonGroup *axis = nullptr, *scale = nullptr, *cut = nullptr;
  auto* axisBox = radioPair("Emission Axis", "Emission Energy", "Energy Transfer (Exc. - Em.)",
                            "axisGroup", axis, this);
  auto* scaleBox = radioPair("Intensity Scale", "Linear", "Logarithmic", "scaleGroup", scale, this);
  auto* cutBox = radioPair("Cut at the Click", "Along the Emission Axis",
                           "Along the Excitation Energy", "cutGroup", cut, this);
  bind(axis, &PlaneState::axis);
  bind(scale, &PlaneState::scale);
  bind(cut, &PlaneState::cut);

  auto* calculate = tv::make_button("Calculate", "calculateButton", this);
  auto* stop = tv::make_button("Stop", "stopButton", this, false);
  progress_ = new QProgressBar(this);
  progress_->setObjectName("progressBar");
  progress_->setRange(0, 1);
  progress_->setValue(0);
  connect(calculate, &QPushButton::clicked, this, [this] { startRun(); });

  map_ = new tv::PlaneMap([this, scale] {
    return tv::PlaneMap::Shown{&state_.plane, scale->checkedId() == 1,
                               state_.pick_row && state_.pick_column
                                   ? std::optional(std::make_pair(*state_.pick_row, *state_.pick_column))
                                   : std::nullopt};
  }, this);
  map_->setObjectName("planeMap");
  map_->clicked = [this](std::size_t r, std::size_t k) {
    runCommand([r, k](const tv::WorkSpace&, PlaneState& s) { tv::PickPlanePoint(s, r, k); }, true);
    map_->update();
  };
  // The scale takes effect at once; the map reads it from the buttons.
  connect(scale, &QButtonGroup::idToggled, map_, [this](int, bool on) {
    if (on) map_->update();
  });

  auto* cutPanel = new PlotPanel(this);
  cutPanel->setObjectName("cutPanel");
  cutPanel->setMinimumSize(640, 200);
  bindPanel(cutPanel, tv::cut_panel_curves);

  auto* savePicture = tv::make_button("Save Picture...", "savePictureButton", this);
  auto* saveData = tv::make_button("Save Data...", "saveDataButton", this);
  connect(savePicture, &QPushButton::clicked, this, [this] { this->savePicture(); });
  setFileDialogs(tv::qt_file_chooser(), tv::qt_open_failure_reporter());
  addFileCommand(saveData, tv::SavePlaneData, false);

  QLabel* paneLabel = nullptr;
  auto* messagePane = tv::make_message_pane(this, paneLabel);
  tv::size_message_pane(messagePane, "The calculation was stopped after 100 of 100", 4);
  bindMessage(messagePane);

  auto* range = new QGridLayout;
  range->addWidget(new QLabel("Exc. Energy from", this), 0, 0);
  range->addWidget(from, 0, 1);
  range->addWidget(new QLabel("to", this), 0, 2);
  range->addWidget(to, 0, 3);
  range->addWidget(new QLabel("step", this), 0, 4);
  range->addWidget(step, 0, 5);
  range->addWidget(new QLabel("eV", this), 0, 6);
  range->setColumnStretch(7, 1);

  auto* options = new QHBoxLayout;
  options->addWidget(axisBox);
  options->addWidget(scaleBox);
  options->addWidget(cutBox);

  auto* runRow = new QHBoxLayout;
  runRow->addWidget(calculate);
  runRow->addWidget(stop);
  runRow->addWidget(progress_, 1);
  runRow->addWidget(savePicture);
  runRow->addWidget(saveData);

  QHBoxLayout* okCancel = tv::make_ok_cancel_row(this);
  setRunControls({from, to, step, axisBox, calculate, savePicture, saveData}, stop);

  auto* left = new QVBoxLayout;
  left->addLayout(range);
  left->addLayout(options);
  left->addLayout(runRow);
  left->addWidget(map_, 3);
  left->addWidget(new PlotFrame(cutPanel, this), 1);
  left->addWidget(paneLabel);
  left->addWidget(messagePane);
  left->addLayout(okCancel);
  setLayout(left);
  showState();
}

void CRIXSPlane::startRun() {
  progress_->setRange(0, 1);
  progress_->setValue(0);
  // The watch is called on the worker: it only posts to this thread.
  const unsigned run = nextRun();
  tv::PlaneWatch watch;
  watch.stop = stopFlag();
  watch.progress = [this, run](std::size_t done, std::size_t total) {
    post(run, [this, done, total] {
      progress_->setRange(0, static_cast<int>(total));
      progress_->setValue(static_cast<int>(done));
    });
  };
  showNotice("In calculation...");
  start([watch = std::move(watch)](const tv::WorkSpace& ws, PlaneState& state) {
    tv::CalculatePlane(ws, state, watch);
  });
}

void CRIXSPlane::runFinished() {
  // Progress posted too late to be shown: the bar ends at the rows done.
  const int rows = static_cast<int>(state_.plane.rows());
  progress_->setRange(0, std::max(progress_->maximum(), std::max(rows, 1)));
  progress_->setValue(rows);
  for (PlotPanel* p : panels()) p->redraw();
  map_->update();
}

void CRIXSPlane::savePicture() {
  if (state_.plane.empty()) {
    showNotice("ERROR!!\r\nThere is no plane to save; press Calculate first.");
    return;
  }
  const QString file = QFileDialog::getSaveFileName(this, "Save Picture", QString(),
                                                    "PNG (*.png);;SVG (*.svg)");
  if (file.isEmpty()) return;
  const std::string path = file.toStdString();
  const bool svg = file.endsWith(".svg", Qt::CaseInsensitive);
  const bool log = findChild<QButtonGroup*>("scaleGroup")->checkedId() == 1;
  const bool ok = svg ? tv::write_plane_svg(path, state_.plane, log, map_->width(), map_->height())
                      : tv::write_plane_png(path, map_->picture());
  showNotice(ok ? "The picture was saved as " + path + "."
                : "ERROR!! " + path + " could not be written.");
}
