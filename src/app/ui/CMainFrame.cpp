#include "app/ui/CMainFrame.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QSettings>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "app/ui/CAboutDlg.h"
#include "app/ui/CQuickTour.h"
#include "app/ui/CTALVERNView.h"
#include "workspace/study.h"

namespace talvern {
namespace {

// The program's settings key; the recent-file list keeps four entries
// under "Recent File List" as File1 ... File4.
constexpr const char* kSettingsKey = "Local AppWizard-Generated Applications";
constexpr const char* kRecentGroup = "Recent File List";
constexpr int kRecentCount = 4;

}  // namespace

CMainFrame::CMainFrame(const WorkSpace& ws, QWidget* parent) : QMainWindow(parent) {
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

  auto* saveStudy = new QAction("Save Study As...", this);
  saveStudy->setObjectName("saveStudyAction");
  connect(saveStudy, &QAction::triggered, this, &CMainFrame::saveStudyAs);
  auto* openStudyAction = new QAction("Open Study...", this);
  openStudyAction->setObjectName("openStudyAction");
  connect(openStudyAction, &QAction::triggered, this, &CMainFrame::openStudy);
  QMenu* file = menuBar()->addMenu("File(&F)");
  file->setObjectName("fileMenu");
  file->addAction(saveStudy);
  file->addAction(openStudyAction);
  recentMenu_ = file->addMenu("Recent Studies");
  recentMenu_->setObjectName("recentStudiesMenu");
  connect(recentMenu_, &QMenu::aboutToShow, this, &CMainFrame::fillRecentStudies);
  fillRecentStudies();
  file->addSeparator();
  auto* quit = file->addAction("Quit(&Q)");
  quit->setObjectName("quitAction");
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quit->setShortcutContext(Qt::ApplicationShortcut);
  connect(quit, &QAction::triggered, this, &QWidget::close);

  QMenu* visualize = menuBar()->addMenu("Visualize(&V)");
  visualize->setObjectName("visualizeMenu");
  visualize->addAction(toolBarAction);
  visualize->addAction(statusBarAction);
  QMenu* help = menuBar()->addMenu("Help(&H)");
  help->setObjectName("helpMenu");
  help->addAction(about);
  auto* tour = help->addAction("Quick Tour(&T)...");
  tour->setObjectName("quickTourAction");
  connect(tour, &QAction::triggered, this, &CMainFrame::showQuickTour);

  // Both bars start hidden; the menu items start unchecked to match.
  toolBar_->hide();
  statusBar()->hide();

  view_ = new CTALVERNView(ws, this);
  setCentralWidget(view_);

  // The window starts at exactly the size the form asks for.
  adjustSize();
}

void CMainFrame::showQuickTour() {
  CQuickTour tour(this);
  tour.exec();
}

void CMainFrame::showAbout() {
  CAboutDlg dlg(this);
  dlg.exec();
}

QStringList CMainFrame::recentStudies() {
  QSettings settings(kSettingsKey, "TALVERN");
  settings.beginGroup(kRecentGroup);
  QStringList list;
  for (int i = 1; i <= kRecentCount; ++i) {
    const QString f = settings.value(QString("File%1").arg(i)).toString();
    if (!f.isEmpty()) list << f;
  }
  return list;
}

void CMainFrame::rememberStudy(const std::string& file) {
  if (file.empty()) return;
  std::vector<std::string> list;
  for (const QString& f : recentStudies()) list.push_back(QFile::encodeName(f).toStdString());
  list = push_recent_study(std::move(list), file, kRecentCount);
  QSettings settings(kSettingsKey, "TALVERN");
  settings.beginGroup(kRecentGroup);
  for (int i = 0; i < kRecentCount; ++i) {
    const QString key = QString("File%1").arg(i + 1);
    if (i < static_cast<int>(list.size()))
      settings.setValue(key, QFile::decodeName(list[i].c_str()));
    else
      settings.remove(key);
  }
  fillRecentStudies();
}

void CMainFrame::fillRecentStudies() {
  recentMenu_->clear();
  const QStringList list = recentStudies();
  for (int i = 0; i < list.size(); ++i) {
    const QString file = list[i];
    auto* action = recentMenu_->addAction(QString("&%1 %2").arg(i + 1).arg(file));
    connect(action, &QAction::triggered, this, [this, file] { openStudyFile(file); });
  }
  recentMenu_->setEnabled(!list.isEmpty());
}

void CMainFrame::saveStudyAs() { rememberStudy(view_->runStudyCommand("Save Study As...")); }

void CMainFrame::openStudy() { rememberStudy(view_->runStudyCommand("Open Study...")); }

void CMainFrame::openStudyFile(const QString& file) {
  const std::filesystem::path path(QFile::encodeName(file).toStdString());
  rememberStudy(view_->runStudyCommand("Open Study...", path));
}

}  // namespace talvern
