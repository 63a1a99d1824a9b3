#include "app/ui/CMainFrame.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "app/ui/CAboutDlg.h"
#include "app/ui/CTALVERNView.h"

CMainFrame::CMainFrame(const talvern::WorkSpace& ws, QWidget* parent) : QMainWindow(parent) {
  setWindowTitle("TALVERN");

  // The two bars can only be shown or hidden through the "Visualize" menu,
  // so the menu's check marks always tell the truth.
  setContextMenuPolicy(Qt::PreventContextMenu);

  auto* about = new QAction("Version INFO TALVERN(&A)...", this);
  about->setObjectName("aboutAction");
  about->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
  about->setToolTip("Version INFO TALVERN");
  connect(about, &QAction::triggered, this, &CMainFrame::showAbout);

  toolBar_ = addToolBar("Tool Bar");
  toolBar_->setObjectName("toolBar");
  toolBar_->setMovable(false);
  toolBar_->setFloatable(false);
  toolBar_->addAction(about);

  auto* ready = new QLabel("Ready");
  ready->setObjectName("readyLabel");
  statusBar()->setObjectName("statusBar");
  statusBar()->addWidget(ready, 1);
  // The lock-key panes. Qt cannot read the state of the lock keys, so they
  // stay greyed, as the panes of an inactive key are shown.
  for (const char* key : {"CAP", "NUM", "SCRL"}) {
    auto* pane = new QLabel(key);
    pane->setObjectName(QString("indicator") + key);
    pane->setEnabled(false);
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addPermanentWidget(pane);
  }

  auto* toolBarAction = new QAction("Tool Bar(&T)", this);
  toolBarAction->setObjectName("toolBarAction");
  toolBarAction->setCheckable(true);
  connect(toolBarAction, &QAction::toggled, toolBar_, &QWidget::setVisible);

  auto* statusBarAction = new QAction("Status Bar(&S)", this);
  statusBarAction->setObjectName("statusBarAction");
  statusBarAction->setCheckable(true);
  connect(statusBarAction, &QAction::toggled, statusBar(), &QWidget::setVisible);

  QMenu* visualize = menuBar()->addMenu("Visualize(&V)");
  visualize->setObjectName("visualizeMenu");
  visualize->addAction(toolBarAction);
  visualize->addAction(statusBarAction);
  QMenu* help = menuBar()->addMenu("Help(&H)");
  help->setObjectName("helpMenu");
  help->addAction(about);

  // Both bars start hidden; the menu items start unchecked to match.
  toolBar_->hide();
  statusBar()->hide();

  view_ = new CTALVERNView(ws, this);
  setCentralWidget(view_);

  // The window starts at exactly the size the form asks for.
  adjustSize();
}

void CMainFrame::showAbout() {
  CAboutDlg dlg(this);
  dlg.exec();
}
