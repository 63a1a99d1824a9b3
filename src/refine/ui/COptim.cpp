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
#include <any>
#include <string>
#include <utility>
#include <vector>

#include "refine/refine_sheets.h"

namespace talvern {
namespace {

// A row of the grid: caption, box, unit, the box's field and whether the
// box only shows what the run found.
struct BoxRow {
  const char* caption;
  const char* name;
  const char* unit;
  std::string OptimState::*field;
  bool read_only = false;
};
// The boxes as Widgets::boxes holds them; "Number of Repetitions" comes
// after the seventh.
constexpr std::size_t kBeforeRepetitions = 7;
const BoxRow kBoxRows[] = {
    {"Start Energy", "startEnergyBox", "eV", &OptimState::start_energy},
    {"End Energy", "endEnergyBox", "eV", &OptimState::end_energy},
    {"Energy Step", "energyStepBox", "eV", &OptimState::energy_step},
    {"Peak Height", "peakHeightBox", nullptr, &OptimState::peak_height},
    {"Peak Width", "peakWidthBox", nullptr, &OptimState::peak_width},
    {"Upper-Limit of the Height Change", "heightLimitBox", nullptr, &OptimState::height_limit},
    {"Step of the Height Change", "heightStepBox", nullptr, &OptimState::height_step},
    {"Exc. Energy in RIXS measurement", "excEnergyBox", "eV", &OptimState::exc_energy},
    {"Number of Compo.", "componentsBox", nullptr, &OptimState::components, true},
    {"R-Factor", "rFactorBox", nullptr, &OptimState::r_factor, true}};

// One row of the grid: caption, box, unit.
void addRow(QGridLayout* grid, const char* caption, QWidget* box, const char* unit,
            QWidget* parent) {
  const int row = grid->rowCount();
  grid->addWidget(make_label(caption, box, parent), row, 0);
  grid->addWidget(box, row, 1);
  if (unit) grid->addWidget(new QLabel(unit, parent), row, 2);
}

}  // namespace

COptim::COptim(WorkSpace ws, QWidget* parent, UserFiles files, std::optional<OptimState> initial)
    : WorkerDialog(std::move(ws), optim_sheet(), std::move(files), parent, std::move(initial)) {
  setWindowTitle("Optimization");
  bindWidgets(build());
  showState();
}

COptim::Widgets COptim::build() {
  Widgets w{};
  for (std::size_t i = 0; i < w.boxes.size(); ++i) {
    w.boxes[i] = make_box(kBoxRows[i].name, this);
    w.boxes[i]->setReadOnly(kBoxRows[i].read_only);
    if (i + 1 == kBeforeRepetitions) {
      w.repetitions = new QComboBox(this);
      w.repetitions->setObjectName("repetitionsList");
    }
  }

  progress_ = new QProgressBar(this);
  progress_->setObjectName("progressBar");
  progress_->setRange(0, 1);
  progress_->setValue(0);

  // The command runs on the worker, not as a button of the sheet runs it.
  w.optimize = runButton("Optimize Selective XAFS", "optimizeButton", this);
  w.stop = make_button("Stop", "stopButton", this, false);

  QLabel* paneLabel = nullptr;
  w.messagePane = make_message_pane(this, paneLabel);
  size_message_pane(w.messagePane, "Please check the INPUT conditions (e.g., Number of", 7);

  auto* grid = new QGridLayout;
  for (std::size_t i = 0; i < w.boxes.size(); ++i) {
    if (i == kBeforeRepetitions)
      addRow(grid, "Number of Repetitions", w.repetitions, nullptr, this);
    addRow(grid, kBoxRows[i].caption, w.boxes[i], kBoxRows[i].unit, this);
  }

  auto* run = new QHBoxLayout;
  run->addWidget(w.optimize);
  run->addWidget(w.stop);
  run->addWidget(progress_, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(run);
  layout->addSpacing(6);
  layout->addWidget(paneLabel);
  layout->addWidget(w.messagePane, 1);
  layout->addLayout(make_ok_cancel_row(this));
  return w;
}

void COptim::bindWidgets(const Widgets& w) {
  for (std::size_t i = 0; i < w.boxes.size(); ++i) bind(w.boxes[i], kBoxRows[i].field);
  bind(w.repetitions, &OptimState::repetitions, &OptimState::repetition);
  bindMessage(w.messagePane);
  connect(w.optimize, &QPushButton::clicked, this, [this] { startRun(); });
  // During a run only "Stop" can be pressed.
  std::vector<QWidget*> inputs{w.repetitions, w.optimize, findChild<QPushButton*>("okButton"),
                               findChild<QPushButton*>("cancelButton")};
  for (std::size_t i = 0; i < w.boxes.size(); ++i)
    if (!kBoxRows[i].read_only) inputs.push_back(w.boxes[i]);
  setRunControls(std::move(inputs), w.stop);
}

void COptim::startRun() {
  // The watch is called on the worker: each call only posts to this thread.
  const unsigned run = nextRun();
  OptimWatch watch;
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
      editState().components = components;
      editState().r_factor = r;
      showState();
    });
  };
  startCommand("Optimize Selective XAFS", std::any(std::move(watch)));
}

}  // namespace talvern
