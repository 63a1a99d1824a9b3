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

namespace tv = talvern;
using tv::AverageState;

namespace {

// The busy cursor, for as long as the object lives.
class BusyCursor {
 public:
  BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

QLabel* makeLabel(const char* caption, const char* name, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  label->setBuddy(buddy);
  return label;
}

}  // namespace

// The work-space is copied, not moved: the opening state is read from it.
CAverage::CAverage(tv::WorkSpace ws, QWidget* parent)
    : CommandDialog(ws, parent, tv::initial_average_state(ws)) {
  setWindowTitle("Average");

  auto* start = new QLineEdit(this);
  start->setObjectName("startEnergyBox");
  auto* end = new QLineEdit(this);
  end->setObjectName("endEnergyBox");
  bind(start, &AverageState::start_energy);
  bind(end, &AverageState::end_energy);

  auto* points = new QComboBox(this);
  points->setObjectName("pointsList");
  bind(points, &AverageState::points_list, &AverageState::points);

  progress_ = new QProgressBar(this);
  progress_->setObjectName("progressBar");
  progress_->setRange(0, 1);
  progress_->setValue(0);

  auto* average = tv::make_button("Average", "averageButton", this);
  addCommand(average, [this](const tv::WorkSpace& w, AverageState& s) {
    const BusyCursor busy;
    tv::Average(w, s, [this](std::size_t point, std::size_t first, std::size_t last) {
      if (progress_->minimum() != static_cast<int>(first) ||
          progress_->maximum() != static_cast<int>(last))
        progress_->setRange(static_cast<int>(first), static_cast<int>(last));
      progress_->setValue(static_cast<int>(point));
    });
  }, false);

  QLabel* paneLabel = nullptr;
  auto* messagePane = tv::make_message_pane(this, paneLabel);
  tv::size_message_pane(messagePane, "average, and if necessary, change the energy", 6);
  bindMessage(messagePane);

  auto* boxes = new QGridLayout;
  boxes->addWidget(makeLabel("Start Energy", "startEnergyLabel", start, this), 0, 0);
  boxes->addWidget(start, 0, 1);
  boxes->addWidget(new QLabel("eV", this), 0, 2);
  boxes->addWidget(makeLabel("End Energy", "endEnergyLabel", end, this), 1, 0);
  boxes->addWidget(end, 1, 1);
  boxes->addWidget(new QLabel("eV", this), 1, 2);
  boxes->addWidget(makeLabel("Number of Adjacent Points", "pointsLabel", points, this), 2, 0);
  boxes->addWidget(points, 2, 1, 1, 2);

  auto* run = new QHBoxLayout;
  run->addWidget(average);
  run->addWidget(progress_, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(boxes);
  layout->addLayout(run);
  layout->addSpacing(6);
  layout->addWidget(paneLabel);
  layout->addWidget(messagePane, 1);
  layout->addLayout(tv::make_ok_cancel_row(this));
  showState();
}
