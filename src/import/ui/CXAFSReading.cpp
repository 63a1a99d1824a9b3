#include "import/ui/CXAFSReading.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QVBoxLayout>

#include "app/ui/form_widgets.h"

CXAFSReading::CXAFSReading(talvern::WorkSpace ws, talvern::FileChooser choose,
                           talvern::OpenFailureReporter report, QWidget* parent)
    : QDialog(parent),
      ws_(std::move(ws)),
      choose_(std::move(choose)),
      report_(std::move(report)),
      state_(talvern::initial_xafs_reading_state()) {
  setWindowTitle("Load Selective XAFS");

  auto* oneCompo = talvern::make_button("Load 1-Compo. WIEN2k ", "load1CompoButton", this);
  connect(oneCompo, &QPushButton::clicked, this, &CXAFSReading::load1CompoWIEN2k);

  auto* twoCompo = new QGroupBox("Two-Component WIEN2k Data", this);
  twoCompo->setObjectName("twoCompoGroup");
  auto* first = talvern::make_button("Load 2-Compo. WIEN2k (1/2)", "loadTwoCompoFirstButton", twoCompo);
  auto* second = talvern::make_button("Load 2-Compo. WIEN2k (2/2)", "loadTwoCompoSecondButton", twoCompo);
  connect(first, &QPushButton::clicked, this, &CXAFSReading::loadTwoCompoFirst);
  connect(second, &QPushButton::clicked, this, &CXAFSReading::loadTwoCompoSecond);
  auto* twoCompoRow = new QHBoxLayout(twoCompo);
  twoCompoRow->addWidget(first);
  twoCompoRow->addWidget(second);

  auto* general = new QGroupBox("General Data", this);
  general->setObjectName("generalGroup");
  auto* loadGeneralButton = talvern::make_button("Load General X-Y1-Y2 Data", "loadGeneralButton", general);
  connect(loadGeneralButton, &QPushButton::clicked, this, &CXAFSReading::loadGeneral);
  auto* generalRow = new QHBoxLayout(general);
  generalRow->addWidget(loadGeneralButton);

  QLabel* paneLabel = nullptr;
  messagePane_ = talvern::make_message_pane(this, paneLabel);
  // Room for the longest message, four lines, without scrolling.
  const QFontMetrics metrics = messagePane_->fontMetrics();
  messagePane_->setMinimumSize(
      metrics.horizontalAdvance("of i-component (for 1-component data, Y1 = Y2).") + 40,
      6 * metrics.lineSpacing());

  auto* ok = talvern::make_button("OK", "okButton", this);
  auto* cancel = talvern::make_button("Cancel", "cancelButton", this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* closeRow = new QHBoxLayout;
  closeRow->addStretch(1);
  closeRow->addWidget(ok);
  closeRow->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(oneCompo);
  layout->addWidget(twoCompo);
  layout->addWidget(general);
  layout->addSpacing(6);
  layout->addWidget(paneLabel);
  layout->addWidget(messagePane_, 1);
  layout->addLayout(closeRow);

  showState(state_);
}

void CXAFSReading::showState(const talvern::XAFSReadingState& state) {
  state_ = state;
  talvern::show_message(messagePane_, state.message);
}

void CXAFSReading::run(Command command) {
  talvern::XAFSReadingState state = state_;
  if (const auto failure = command(ws_, choose_, state)) {
    report_(*failure);
    return;
  }
  if (state.message != state_.message) showState(state);
}

void CXAFSReading::load1CompoWIEN2k() { run(&talvern::Load1CompoWIEN2k); }
void CXAFSReading::loadTwoCompoFirst() { run(&talvern::LoadTwoCompoFirst); }
void CXAFSReading::loadTwoCompoSecond() { run(&talvern::LoadTwoCompoSecond); }
void CXAFSReading::loadGeneral() { run(&talvern::LoadGeneral); }
