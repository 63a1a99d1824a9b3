#include "refine/ui/CAverage.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>

#include "refine/refine_sheets.h"

namespace talvern {
namespace {

// The busy cursor, for as long as the object lives.
class BusyCursor {
 public:
  BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

CAverage::CAverage(WorkSpace ws, QWidget* parent, UserFiles files)
    : CommandDialog(std::move(ws), average_sheet(), std::move(files), parent) {
  setWindowTitle("Average");
  bindWidgets(build());
  showState();
}

CAverage::Widgets CAverage::build() {
  Widgets w{};
  w.start = make_box("startEnergyBox", this);
  w.end = make_box("endEnergyBox", this);
  w.points = new QComboBox(this);
  w.points->setObjectName("pointsList");

  progress_ = new QProgressBar(this);
  progress_->setObjectName("progressBar");
  progress_->setRange(0, 1);
  progress_->setValue(0);

  auto* average = commandButton("Average", "averageButton", this);

  QLabel* paneLabel = nullptr;
  w.messagePane = make_message_pane(this, paneLabel);
  size_message_pane(w.messagePane, "average, and if necessary, change the energy", 6);

  auto* boxes = new QGridLayout;
  boxes->addWidget(make_label("Start Energy", w.start, this, "startEnergyLabel"), 0, 0);
  boxes->addWidget(w.start, 0, 1);
  boxes->addWidget(new QLabel("eV", this), 0, 2);
  boxes->addWidget(make_label("End Energy", w.end, this, "endEnergyLabel"), 1, 0);
  boxes->addWidget(w.end, 1, 1);
  boxes->addWidget(new QLabel("eV", this), 1, 2);
  boxes->addWidget(make_label("Number of Adjacent Points", w.points, this, "pointsLabel"), 2, 0);
  boxes->addWidget(w.points, 2, 1, 1, 2);

  auto* run = new QHBoxLayout;
  run->addWidget(average);
  run->addWidget(progress_, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(boxes);
  layout->addLayout(run);
  layout->addSpacing(6);
  layout->addWidget(paneLabel);
  layout->addWidget(w.messagePane, 1);
  layout->addLayout(make_ok_cancel_row(this));
  return w;
}

void CAverage::bindWidgets(const Widgets& w) {
  bind(w.start, &AverageState::start_energy);
  bind(w.end, &AverageState::end_energy);
  bind(w.points, &AverageState::points_list, &AverageState::points);
  bindMessage(w.messagePane);
  // The bar follows the averaging; the run holds the busy cursor, which goes
  // when the run does.
  setRunPreparation([this](CommandRun& run) {
    run.steps = [this, busy = std::make_shared<BusyCursor>()](std::size_t point, std::size_t first,
                                                             std::size_t last) {
      if (progress_->minimum() != static_cast<int>(first) ||
          progress_->maximum() != static_cast<int>(last))
        progress_->setRange(static_cast<int>(first), static_cast<int>(last));
      progress_->setValue(static_cast<int>(point));
    };
  });
}

}  // namespace talvern
