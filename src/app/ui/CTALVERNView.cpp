#include "app/ui/CTALVERNView.h"

#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QVBoxLayout>

#include <memory>

#include "app/load_measured.h"
#include "app/main_form.h"
#include "app/ui/dialog_openers.h"
#include "gui/form_widgets.h"
#include "app/workflow.h"
#include "import/ui/CXAFSReading.h"
#include "rixs/ui/CRIXSXAFS.h"
#include "gui/PlotPanel.h"
#include "gui/title_picture.h"
#include "xafs/ui/CConvXAFS.h"
#include "xrf/ui/CXRF.h"

namespace {

// Framed box that shows the title picture unscaled at its top-left corner.
class PictureFrame : public QFrame {
 public:
  explicit PictureFrame(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    const QSize picture = talvern_title_picture_size();
    const int border = 2 * frameWidth();
    setFixedSize(picture.width() + border, picture.height() + border);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QFrame::paintEvent(event);
    QPainter painter(this);
    paintTitlePicture(painter, contentsRect().topLeft());
  }
};

}  // namespace

CTALVERNView::CTALVERNView(talvern::WorkSpace ws, QWidget* parent)
    : QWidget(parent),
      ws_(std::move(ws)),
      choose_(talvern::qt_file_chooser()),
      report_(talvern::qt_open_failure_reporter()) {
  setObjectName("mainForm");

  auto* note = new QLabel("Be Sure to Do It at First!", this);
  note->setObjectName("firstNote");
  auto* construct = talvern::make_button("Construct Work-Space", "constructButton", this);
  connect(construct, &QPushButton::clicked, this, &CTALVERNView::constructWorkSpace);

  auto* loads = new QGroupBox("Load the Materials for Simulation", this);
  loads->setObjectName("loadGroup");
  auto* loadConvXafs = talvern::make_button("Load Conventional XAFS", "loadConvXafsButton", loads);
  auto* loadXrf = talvern::make_button("Load XRF", "loadXrfButton", loads);
  auto* loadExpRixs = talvern::make_button("Load Exp. RIXS", "loadExpRixsButton", loads);
  auto* loadSelXafs = talvern::make_button("Load Selective XAFS", "loadSelXafsButton", loads);
  connect(loadConvXafs, &QPushButton::clicked, this, &CTALVERNView::loadConventionalXAFS);
  connect(loadXrf, &QPushButton::clicked, this, &CTALVERNView::loadXRF);
  connect(loadExpRixs, &QPushButton::clicked, this, &CTALVERNView::loadExpRIXS);
  connect(loadSelXafs, &QPushButton::clicked, this, &CTALVERNView::openSelectiveXAFSImport);
  auto* loadGrid = new QGridLayout(loads);
  loadGrid->addWidget(loadConvXafs, 0, 0);
  loadGrid->addWidget(loadXrf, 0, 1);
  loadGrid->addWidget(loadExpRixs, 1, 0);
  loadGrid->addWidget(loadSelXafs, 1, 1);

  auto* settingXafs = talvern::make_button("Setting by XAFS", "settingXafsButton", this);
  auto* settingXrf = talvern::make_button("Setting by XRF", "settingXrfButton", this);
  connect(settingXafs, &QPushButton::clicked, this, &CTALVERNView::openXAFSSetting);
  connect(settingXrf, &QPushButton::clicked, this, &CTALVERNView::openXRFSetting);
  auto* rixs = talvern::make_button("RIXS Simulation", "rixsSimulationButton", this);
  connect(rixs, &QPushButton::clicked, this, &CTALVERNView::openRIXSSimulation);

  QLabel* paneLabel = nullptr;
  messagePane_ = talvern::make_message_pane(this, paneLabel);

  auto* picture = new PictureFrame(this);
  picture->setObjectName("pictureFrame");

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(note);
  layout->addWidget(construct);
  layout->addSpacing(6);
  layout->addWidget(loads);
  layout->addSpacing(6);
  layout->addWidget(settingXafs);
  layout->addWidget(settingXrf);
  layout->addWidget(rixs);
  layout->addSpacing(6);
  layout->addWidget(paneLabel);
  layout->addWidget(messagePane_, 1);
  layout->addWidget(picture, 0, Qt::AlignHCenter);
}

void CTALVERNView::setMessage(const std::string& text) {
  message_ = text;
  talvern::show_message(messagePane_, text);
}

void CTALVERNView::startUp() {
  talvern::MainFormState state{message_};
  talvern::start_up(ws_, lock_, state);
  if (state.message != message_) setMessage(state.message);
}

bool CTALVERNView::claim() {
  talvern::MainFormState state{message_};
  if (talvern::claim_work_space(ws_, lock_, state)) return true;
  setMessage(state.message);
  return false;
}

void CTALVERNView::constructWorkSpace() {
  if (!claim()) return;
  talvern::MainFormState state{message_};
  talvern::construct_work_space(ws_, state);
  setMessage(state.message);
}

void CTALVERNView::runLoad(LoadCommand command) {
  if (!claim()) return;
  talvern::MainFormState state{message_};
  if (const auto failure = command(ws_, choose_, state)) {
    report_(*failure);
    return;
  }
  // A cancelled load leaves the text as it was; do not reset the pane's scroll.
  if (state.message != message_) setMessage(state.message);
}

void CTALVERNView::loadExpRIXS() { runLoad(&talvern::LoadExpRIXS); }
void CTALVERNView::loadConventionalXAFS() { runLoad(&talvern::LoadConventionalXAFS); }
void CTALVERNView::loadXRF() { runLoad(&talvern::LoadXRF); }

void CTALVERNView::openSelectiveXAFSImport() {
  if (!claim()) return;
  CXAFSReading dialog(ws_, choose_, report_, this);
  dialog.exec();
}

template <class Make>
void CTALVERNView::runWorkflowStep(talvern::WorkflowStep step, Make make) {
  if (!claim()) return;
  talvern::MainFormState form{message_};
  talvern::open_workflow_step(ws_, step, form, [&] {
    auto dialog = make();  // a new dialog for every run
    dialog->exec();
  });
  setMessage(form.message);
}

void CTALVERNView::openXAFSSetting() {
  runWorkflowStep(talvern::WorkflowStep::xafs_setting,
                  [this] { return std::make_unique<CConvXAFS>(ws_, this); });
}

void CTALVERNView::openXRFSetting() {
  runWorkflowStep(talvern::WorkflowStep::xrf_setting,
                  [this] { return std::make_unique<CXRF>(ws_, this); });
}

void CTALVERNView::openRIXSSimulation() {
  runWorkflowStep(talvern::WorkflowStep::rixs_simulation,
                  [this] {
                    return std::make_unique<CRIXSXAFS>(ws_, rixs_simulation_openers(), choose_,
                                                       report_, this);
                  });
}
