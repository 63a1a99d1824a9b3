#include "import/ui/CXAFSReading.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "import/import_sheet.h"

namespace talvern {

CXAFSReading::CXAFSReading(WorkSpace ws, QWidget* parent, UserFiles files,
                           OpenFailureReporter report)
    : CommandDialog(std::move(ws), import_sheet(), std::move(files), parent) {
  setWindowTitle("Load Selective XAFS");
  setOpenFailureReporter(std::move(report));
  bindMessage(build());
  showState();
}

QPlainTextEdit* CXAFSReading::build() {
  auto* oneCompo = commandButton("Load 1-Compo. WIEN2k ", "load1CompoButton", this);

  auto* twoCompo = new QGroupBox("Two-Component WIEN2k Data", this);
  twoCompo->setObjectName("twoCompoGroup");
  auto* first = commandButton("Load 2-Compo. WIEN2k (1/2)", "loadTwoCompoFirstButton", twoCompo);
  auto* second = commandButton("Load 2-Compo. WIEN2k (2/2)", "loadTwoCompoSecondButton", twoCompo);
  auto* twoCompoRow = new QHBoxLayout(twoCompo);
  twoCompoRow->addWidget(first);
  twoCompoRow->addWidget(second);

  auto* general = new QGroupBox("General Data", this);
  general->setObjectName("generalGroup");
  auto* loadGeneral = commandButton("Load General X-Y1-Y2 Data", "loadGeneralButton", general);
  auto* generalRow = new QHBoxLayout(general);
  generalRow->addWidget(loadGeneral);

  QLabel* paneLabel = nullptr;
  auto* messagePane = make_message_pane(this, paneLabel);
  size_message_pane(messagePane, "of i-component (for 1-component data, Y1 = Y2).", 6);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(oneCompo);
  layout->addWidget(twoCompo);
  layout->addWidget(general);
  layout->addSpacing(6);
  layout->addWidget(paneLabel);
  layout->addWidget(messagePane, 1);
  layout->addLayout(make_ok_cancel_row(this));
  return messagePane;
}

}  // namespace talvern
