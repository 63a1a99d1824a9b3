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

#include "app/main_form.h"
#include "app/main_form_sheet.h"
#include "app/study_sheet.h"
#include "import/import_sheet.h"
#include "rixs/rixs_sheet.h"
#include "xafs/conv_xafs_sheet.h"
#include "xrf/xrf_sheet.h"
#include "command/subcommands.h"
#include "app/ui/dialog_openers.h"
#include "gui/form_widgets.h"
#include "app/workflow.h"
#include "import/ui/CXAFSReading.h"
#include "rixs/ui/CRIXSXAFS.h"
#include "gui/PlotPanel.h"
#include "gui/title_picture.h"
#include "xafs/ui/CConvXAFS.h"
#include "xrf/ui/CXRF.h"

namespace talvern {
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

// What a workflow button's tip says before the files of the dialog's commands.
std::string step_opening(const char* title, WorkflowStep step) {
  std::string text = std::string("opens \"") + title + "\" once";
  const char* separator = " ";
  for (const char* name : workflow_needs(step)) {
    text += separator;
    text += name;
    separator = ", ";
  }
  return text + " exist; its buttons together:";
}

}  // namespace

CTALVERNView::CTALVERNView(WorkSpace ws, QWidget* parent)
    : QWidget(parent),
      ws_(std::move(ws)),
      files_(qt_user_files()),
      report_(qt_open_failure_reporter()) {
  setObjectName("mainForm");

  auto* note = new QLabel("Be Sure to Do It at First!", this);
  note->setObjectName("firstNote");
  auto* construct = make_button("Construct Work-Space", "constructButton", this);
  connect(construct, &QPushButton::clicked, this, &CTALVERNView::constructWorkSpace);

  auto* loads = new QGroupBox("Load the Materials for Simulation", this);
  loads->setObjectName("loadGroup");
  auto* loadConvXafs = make_button("Load Conventional XAFS", "loadConvXafsButton", loads);
  auto* loadXrf = make_button("Load XRF", "loadXrfButton", loads);
  auto* loadExpRixs = make_button("Load Exp. RIXS", "loadExpRixsButton", loads);
  auto* loadSelXafs = make_button("Load Selective XAFS", "loadSelXafsButton", loads);
  connect(loadConvXafs, &QPushButton::clicked, this, &CTALVERNView::loadConventionalXAFS);
  connect(loadXrf, &QPushButton::clicked, this, &CTALVERNView::loadXRF);
  connect(loadExpRixs, &QPushButton::clicked, this, &CTALVERNView::loadExpRIXS);
  connect(loadSelXafs, &QPushButton::clicked, this, &CTALVERNView::openSelectiveXAFSImport);
  auto* loadGrid = new QGridLayout(loads);
  loadGrid->addWidget(loadConvXafs, 0, 0);
  loadGrid->addWidget(loadXrf, 0, 1);
  loadGrid->addWidget(loadExpRixs, 1, 0);
  loadGrid->addWidget(loadSelXafs, 1, 1);

  auto* settingXafs = make_button("Setting by XAFS", "settingXafsButton", this);
  auto* settingXrf = make_button("Setting by XRF", "settingXrfButton", this);
  connect(settingXafs, &QPushButton::clicked, this, &CTALVERNView::openXAFSSetting);
  connect(settingXrf, &QPushButton::clicked, this, &CTALVERNView::openXRFSetting);
  auto* rixs = make_button("RIXS Simulation", "rixsSimulationButton", this);
  connect(rixs, &QPushButton::clicked, this, &CTALVERNView::openRIXSSimulation);

  QLabel* paneLabel = nullptr;
  messagePane_ = make_message_pane(this, paneLabel);

  // The tips say what each button reads and writes, as the sheets declare it.
  for (auto [button, caption] : {std::pair(construct, "Construct Work-Space"),
                                 std::pair(loadConvXafs, "Load Conventional XAFS"),
                                 std::pair(loadXrf, "Load XRF"), std::pair(loadExpRixs, "Load Exp. RIXS")})
    set_files_tip(button, main_form_sheet().command(caption)->touches);
  set_files_tip(loadSelXafs, import_sheet().touches(),
                "opens \"Load Selective XAFS\"; its buttons together:");
  set_files_tip(settingXafs, conv_xafs_sheet().touches(),
                step_opening("Setting by XAFS", WorkflowStep::xafs_setting));
  set_files_tip(settingXrf, xrf_sheet().touches(),
                step_opening("Setting by XRF", WorkflowStep::xrf_setting));
  set_files_tip(rixs, rixs_sheet().touches(),
                step_opening("RIXS Simulation", WorkflowStep::rixs_simulation));

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
  show_message(messagePane_, text);
}

void CTALVERNView::startUp() {
  MainFormState state{message_};
  start_up(ws_, lock_, state);
  if (state.message != message_) setMessage(state.message);
}

bool CTALVERNView::claim() {
  MainFormState state{message_};
  if (claim_work_space(ws_, lock_, state)) return true;
  setMessage(state.message);
  return false;
}

template <class State>
bool CTALVERNView::runSheetCommand(const Sheet<State>& sheet, const char* caption, State& state,
                                   CommandRun& run) {
  if (!claim()) return false;
  state.message = message_;
  run_and_record(ws_, sheet, *sheet.command(caption), state, run);
  if (run.outcome.failure) {
    report_(*run.outcome.failure);
    return false;
  }
  // A cancelled load leaves the text as it was; do not reset the pane's scroll.
  if (state.message != message_) setMessage(state.message);
  return true;
}

void CTALVERNView::runFormCommand(const char* caption) {
  MainFormState state;
  CommandRun run;
  run.files = files_;
  runSheetCommand(main_form_sheet(), caption, state, run);
}

std::string CTALVERNView::runStudyCommand(const char* caption,
                                          const std::optional<std::filesystem::path>& file) {
  StudyState state;
  CommandRun run;
  run.files = files_;
  if (file) run.files.choose = [file](const FileRequest&) { return file; };
  if (!runSheetCommand(study_sheet(), caption, state, run)) return {};
  return state.message.starts_with("ERROR!!") || run.outcome.failed ? std::string() : state.file;
}

void CTALVERNView::constructWorkSpace() { runFormCommand("Construct Work-Space"); }
void CTALVERNView::loadExpRIXS() { runFormCommand("Load Exp. RIXS"); }
void CTALVERNView::loadConventionalXAFS() { runFormCommand("Load Conventional XAFS"); }
void CTALVERNView::loadXRF() { runFormCommand("Load XRF"); }

void CTALVERNView::openSelectiveXAFSImport() {
  if (!claim()) return;
  CXAFSReading dialog(ws_, this, files_, report_);
  dialog.exec();
}

template <class Make>
void CTALVERNView::runWorkflowStep(WorkflowStep step, Make make) {
  if (!claim()) return;
  MainFormState form{message_};
  open_workflow_step(ws_, step, form, [&] {
    auto dialog = make();  // a new dialog for every run
    dialog->exec();
  });
  setMessage(form.message);
}

void CTALVERNView::openXAFSSetting() {
  runWorkflowStep(WorkflowStep::xafs_setting,
                  [this] { return std::make_unique<CConvXAFS>(ws_, this, files_); });
}

void CTALVERNView::openXRFSetting() {
  runWorkflowStep(WorkflowStep::xrf_setting,
                  [this] { return std::make_unique<CXRF>(ws_, this, files_); });
}

void CTALVERNView::openRIXSSimulation() {
  runWorkflowStep(WorkflowStep::rixs_simulation,
                  [this] {
                    return std::make_unique<CRIXSXAFS>(ws_, rixs_simulation_openers(), this, files_,
                                                       report_);
                  });
}

}  // namespace talvern
