#include "refine/ui/COptim.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <string>
#include <utility>

namespace tv = talvern;
using tv::OptimState;

namespace {

QLineEdit* makeBox(const char* name, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  return box;
}

// One row of the grid: caption, box, unit.
void addRow(QGridLayout* grid, const char* caption, QWidget* box, const char* unit,
            QWidget* parent) {
  const int row = grid->rowCount();
  auto* label = new QLabel(caption, parent);
  label->setBuddy(box);
  grid->addWidget(label, row, 0);
  grid->addWidget(box, row, 1);
  if (unit) grid->addWidget(new QLabel(unit, parent), row, 2);
}

}  // namespace

// The work-space is copied, not moved: the opening state is read from it.
COptim::COptim(tv::WorkSpace ws, QWidget* parent)
    : WorkerDialog(ws, parent, tv::OpenOptimization(ws)) {
  setWindowTitle("Optimization");

  auto* start = makeBox("startEnergyBox", this);
  auto* end = makeBox("endEnergyBox", this);
  auto* step = makeBox("energyStepBox", this);
  auto* height = makeBox("peakHeightBox", this);
  auto* width = makeBox("peakWidthBox", this);
  auto* limit = makeBox("heightLimitBox", this);
  auto* heightStep = makeBox("heightStepBox", this);
  auto* repetitions = new QComboBox(this);
  repetitions->setObjectName("repetitionsList");
  auto* exc = makeBox("excEnergyBox", this);
  auto* components = makeBox("componentsBox", this);
  auto* rFactor = makeBox("rFactorBox", this);
  components->setReadOnly(true);
  rFactor->setReadOnly(true);

  bind(start, &OptimState::start_energy);
  bind(end, &OptimState::end_energy);
  bind(step, &OptimState::energy_step);
  bind(height, &OptimState::peak_height);
  bind(width, &OptimState::peak_width);
  bind(limit, &OptimState::height_limit);
  bind(heightStep, &OptimState::height_step);
  bind(repetitions, &OptimState::repetitions, &OptimState::repetition);
  bind(exc, &OptimState::exc_energy);
  bind(components, &OptimState::components);
  bind(rFactor, &OptimState::r_factor);

  progress_ = new QProgressBar(this);
  progress_->setObjectName("progressBar");
  progress_->setRange(0, 1);
  progress_->setValue(0);

  auto* optimize = tv::make_button("Optimize Selective XAFS", "optimizeButton", this);
  auto* stop = tv::make_button("Stop", "stopButton", this, false);
  connect(optimize, &QPushButton::clicked, this, [this] { startRun(); });

  QLabel* paneLabel = nullptr;
  auto* messagePane = tv::make_message_pane(this, paneLabel);
  tv::size_message_pane(messagePane, "Please check the INPUT conditions (e.g., Number of", 7);
  bindMessage(messagePane);

  auto* grid = new QGridLayout;
  addRow(grid, "Start Energy", start, "eV", this);
  addRow(grid, "End Energy", end, "eV", this);
  addRow(grid, "Energy Step", step, "eV", this);
  addRow(grid, "Peak Height", height, nullptr, this);
  addRow(grid, "Peak Width", width, nullptr, this);
  addRow(grid, "Upper-Limit of the Height Change", limit, nullptr, this);
  addRow(grid, "Step of the Height Change", heightStep, nullptr, this);
  addRow(grid, "Number of Repetitions", repetitions, nullptr, this);
  addRow(grid, "Exc. Energy in RIXS measurement", exc, "eV", this);
  addRow(grid, "Number of Compo.", components, nullptr, this);
  addRow(grid, "R-Factor", rFactor, nullptr, this);

  auto* run = new QHBoxLayout;
  run->addWidget(optimize);
  run->addWidget(stop);
  run->addWidget(progress_, 1);

  QHBoxLayout* okCancel = tv::make_ok_cancel_row(this);
  setRunControls({start, end, step, height, width, limit, heightStep, repetitions, exc, optimize,
                  findChild<QPushButton*>("okButton"), findChild<QPushButton*>("cancelButton")},
                 stop);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(run);
  layout->addSpacing(6);
  layout->addWidget(paneLabel);
  layout->addWidget(messagePane, 1);
  layout->addLayout(okCancel);
  showState();
}

void COptim::startRun() {
  // The watch is called on the worker: each call only posts to this thread.
  const unsigned run = nextRun();
  tv::OptimWatch watch;
  watch.stop = stopFlag();
  watch.notice = [this, run](const std::string& text) {
    post(run, [this, text] { showNotice(text); });
  };
  watch.progress_range = [this, run](int last) {
    post(run, [this, last] {
      progress_->setRange(0, std::max(last, 1));
      progress_->setValue(0);
    });
  };
  watch.progress = [this, run](int position) {
    post(run, [this, position] { progress_->setValue(position); });
  };
  watch.boxes = [this, run](const OptimState& s) {
    post(run, [this, components = s.components, r = s.r_factor] {
      state_.components = components;
      state_.r_factor = r;
      showState();
    });
  };
  start([watch = std::move(watch)](const tv::WorkSpace& ws, OptimState& state) {
    tv::OptimizeSelectiveXAFS(ws, state, watch);
  });
}
