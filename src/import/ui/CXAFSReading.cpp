#include "import/ui/CXAFSReading.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tv = talvern;

CXAFSReading::CXAFSReading(tv::WorkSpace ws, tv::FileChooser choose,
                           tv::OpenFailureReporter report, QWidget* parent)
    : CommandDialog(std::move(ws), parent, tv::initial_xafs_reading_state()) {
  setWindowTitle("Load Selective XAFS");
  setFileDialogs(std::move(choose), std::move(report));

  auto* oneCompo = tv::make_button("Load 1-Compo. WIEN2k ", "load1CompoButton", this);
  addFileCommand(oneCompo, tv::Load1CompoWIEN2k, false);

  auto* twoCompo = new QGroupBox("Two-Component WIEN2k Data", this);
  twoCompo->setObjectName("twoCompoGroup");
  auto* first = tv::make_button("Load 2-Compo. WIEN2k (1/2)", "loadTwoCompoFirstButton", twoCompo);
  auto* second = tv::make_button("Load 2-Compo. WIEN2k (2/2)", "loadTwoCompoSecondButton", twoCompo);
  addFileCommand(first, tv::LoadTwoCompoFirst, false);
  addFileCommand(second, tv::LoadTwoCompoSecond, false);
  auto* twoCompoRow = new QHBoxLayout(twoCompo);
  twoCompoRow->addWidget(first);
  twoCompoRow->addWidget(second);

  auto* general = new QGroupBox("General Data", this);
  general->setObjectName("generalGroup");
  auto* loadGeneral = tv::make_button("Load General X-Y1-Y2 Data", "loadGeneralButton", general);
  addFileCommand(loadGeneral, tv::LoadGeneral, false);
  auto* generalRow = new QHBoxLayout(general);
  generalRow->addWidget(loadGeneral);

  QLabel* paneLabel = nullptr;
  auto* messagePane = tv::make_message_pane(this, paneLabel);
  tv::size_message_pane(messagePane, "of i-component (for 1-component data, Y1 = Y2).", 6);
  bindMessage(messagePane);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(oneCompo);
  layout->addWidget(twoCompo);
  layout->addWidget(general);
  layout->addSpacing(6);
  layout->addWidget(paneLabel);
  layout->addWidget(messagePane, 1);
  layout->addLayout(tv::make_ok_cancel_row(this));
  showState();
}
