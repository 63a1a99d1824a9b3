#include "app/ui/CMainFrame.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>

#include "app/ui/CAboutDlg.h"
#include "app/ui/CTALVERNView.h"
#include "workspace/study.h"

namespace {

// The program's settings key; the recent-file list keeps four entries
// under "Recent File List" as File1 ... File4.
constexpr const char* kSettingsKey = "Local AppWizard-Generated Applications";
constexpr const char* kRecentGroup = "Recent File List";
constexpr int kRecentCount = 4;

QString studyFilter() { return QString("TALVERN Study(*%1);;All(*.*)").arg(talvern::kStudyExtension); }

}  // namespace

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

void CMainFrame::rememberStudy(const QString& file) {
  std::vector<std::string> list;
  for (const QString& f : recentStudies()) list.push_back(QFile::encodeName(f).toStdString());
  list = talvern::push_recent_study(std::move(list), QFile::encodeName(file).toStdString(),
                                    kRecentCount);
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

QString CMainFrame::chooseStudyFile(bool save) {
  if (chooseStudy_) return chooseStudy_(save);
  QFileDialog dialog(this, save ? "Save Study As..." : "Open Study...");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setNameFilter(studyFilter());
  if (save) {
    // Qt asks before an existing file is replaced.
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QString(talvern::kStudyExtension).mid(1));
  } else {
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

void CMainFrame::saveStudyAs() {
  const QString file = chooseStudyFile(true);
  if (file.isEmpty()) return;
  // The study is named after its file.
  const std::filesystem::path path(QFile::encodeName(file).toStdString());
  const std::string message = talvern::SaveStudy(view_->workSpace(), path, path.stem().string());
  view_->setMessage(message);
  if (!message.starts_with("ERROR!!")) rememberStudy(file);
}

void CMainFrame::openStudy() {
  const QString file = chooseStudyFile(false);
  if (!file.isEmpty()) openStudyFile(file);
}

void CMainFrame::openStudyFile(const QString& file) {
  const std::filesystem::path path(QFile::encodeName(file).toStdString());
  auto result = talvern::OpenStudy(view_->workSpace(), path, false);
  if (result.needs_replace) {
    const QString text = QString::fromStdString(result.message).replace("\r\n", "\n") +
                         "\n\nReplace the work-space?";
    const bool replace =
        askReplace_ ? askReplace_(text)
                    : QMessageBox::question(this, "Open Study...", text) == QMessageBox::Yes;
    if (!replace) return;
    result = talvern::OpenStudy(view_->workSpace(), path, true);
  }
  view_->setMessage(result.message);
  if (!result.message.starts_with("ERROR!!")) rememberStudy(file);
}
