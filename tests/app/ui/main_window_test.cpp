#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QTextBrowser>
#include <QUrl>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "app/ui/CAboutDlg.h"
#include "app/ui/CQuickTour.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CTALVERNView.h"
#include "gui/title_picture.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/lock.h"

namespace fs = std::filesystem;
using talvern::CMainFrame;
using talvern::CAboutDlg;
using talvern::CTALVERNView;

namespace {

// A directory under the system temp folder that does not exist yet.
fs::path fresh_dir() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  return fs::temp_directory_path() /
         ("talvern_gui_" + std::to_string(stamp) + "_" + std::to_string(counter++));
}

template <class W>
W* child(QWidget* parent, const char* name) {
  W* w = parent->findChild<W*>(name);
  EXPECT_NE(w, nullptr) << name;
  return w;
}

}  // namespace

TEST(MainForm, ConstructWorkSpaceMakesFilesAndReports) {
  const fs::path root = fresh_dir();
  const fs::path dir = root / "TALVERN_WORK_SPACE";
  {
    CTALVERNView view{talvern::WorkSpace(dir)};
    view.show();
    QTest::mouseClick(child<QPushButton>(&view, "constructButton"), Qt::LeftButton);

    EXPECT_EQ(child<QPlainTextEdit>(&view, "messagePane")->toPlainText().toStdString(),
              "The working directory\n C:\\TALVERN_WORK_SPACE\nwas made. (Previous data were protected.)");
  }
  for (const char* name : {"RIXS_Calculation_Parameters.DAT", "RIXS_Calculation_Lorentz.DAT",
                           "Emission_Exc_Energy.DAT", "Non_Resonant_Emission.DAT",
                           "SelectiveXAFS_for_RIXS_Temp.DAT", "Calculated_RIXS.DAT"})
    EXPECT_TRUE(fs::is_regular_file(dir / name)) << name;
  fs::remove_all(root);
}

// The buttons run nothing while another program holds the work-space, and
// take the lock again as soon as it is free.
TEST(MainForm, ButtonsWaitForTheWorkSpaceLock) {
  const fs::path dir = fresh_dir();
  fs::create_directories(dir);
  const talvern::WorkSpace ws(dir);
  auto other = std::make_unique<talvern::WorkSpaceLock>();
  ASSERT_EQ(other->acquire(ws), talvern::WorkSpaceLock::State::held);
  {
    CTALVERNView view{ws};
    view.show();
    view.startUp();
    auto* pane = child<QPlainTextEdit>(&view, "messagePane");
    EXPECT_TRUE(pane->toPlainText().startsWith(
        "CAUTION!! Another TALVERN is using this work-space\n(process "));
    pane->clear();
    for (const char* button : {"constructButton", "loadExpRixsButton", "settingXafsButton"}) {
      QTest::mouseClick(child<QPushButton>(&view, button), Qt::LeftButton);
      EXPECT_TRUE(pane->toPlainText().startsWith("CAUTION!! Another TALVERN")) << button;
      pane->clear();
    }
    EXPECT_FALSE(ws.exists(talvern::files::kCalculatedRIXS));
    other.reset();
    QTest::mouseClick(child<QPushButton>(&view, "constructButton"), Qt::LeftButton);
    EXPECT_TRUE(ws.exists(talvern::files::kCalculatedRIXS));
    talvern::WorkSpaceLock second;
    EXPECT_EQ(second.acquire(ws), talvern::WorkSpaceLock::State::refused);  // the form holds it
  }
  EXPECT_FALSE(ws.exists(talvern::files::kLock));
  fs::remove_all(dir);
}

TEST(MainWindow, FormMenusAndBars) {
  CMainFrame frame{talvern::WorkSpace(fresh_dir())};
  frame.show();
  QApplication::processEvents();
  EXPECT_EQ(frame.windowTitle(), "TALVERN");
  EXPECT_EQ(frame.size(), frame.sizeHint());  // the window fits the form

  // Controls from top to bottom; a pair on one line is a row of the group box.
  QWidget* form = frame.view();
  const std::vector<std::vector<QString>> rows = {
      {"Be Sure to Do It at First!"}, {"Construct Work-Space"},
      {"Load the Materials for Simulation"}, {"Load Conventional XAFS", "Load XRF"},
      {"Load Exp. RIXS", "Load Selective XAFS"}, {"Setting by XAFS"}, {"Setting by XRF"},
      {"RIXS Simulation"}, {"Message from TALVERN"}};
  auto find = [form](const QString& caption) -> QWidget* {
    for (auto* b : form->findChildren<QAbstractButton*>()) {
      if (b->text() == caption) return b;
    }
    for (auto* l : form->findChildren<QLabel*>()) {
      if (l->text() == caption) return l;
    }
    for (auto* g : form->findChildren<QGroupBox*>()) {
      if (g->title() == caption) return g;
    }
    return nullptr;
  };
  int lastTop = -1;
  for (const auto& row : rows) {
    QWidget* first = find(row[0]);
    ASSERT_NE(first, nullptr) << row[0].toStdString();
    const int top = first->mapTo(form, QPoint(0, 0)).y();
    EXPECT_GT(top, lastTop) << row[0].toStdString();
    if (row.size() == 2) {
      QWidget* second = find(row[1]);
      ASSERT_NE(second, nullptr) << row[1].toStdString();
      EXPECT_EQ(second->mapTo(form, QPoint(0, 0)).y(), top);
      EXPECT_GT(second->x(), first->x());
    }
    // Every button works.
    for (const auto& caption : row) {
      if (auto* b = qobject_cast<QPushButton*>(find(caption))) {
        EXPECT_TRUE(b->isEnabled()) << caption.toStdString();
      }
    }
    lastTop = top;
  }
  auto* pane = child<QPlainTextEdit>(form, "messagePane");
  auto* picture = child<QWidget>(form, "pictureFrame");
  EXPECT_TRUE(pane->isReadOnly());
  EXPECT_TRUE(pane->toPlainText().isEmpty());
  EXPECT_GT(pane->y(), lastTop);
  EXPECT_GT(picture->y(), pane->y());
  EXPECT_EQ(talvern::talvern_title_picture().size(), QSize(259, 98));
  EXPECT_GE(picture->contentsRect().width(), 259);
  EXPECT_GE(picture->contentsRect().height(), 98);

  // Menus; both bars start hidden and follow their menu items.
  const auto menus = frame.menuBar()->actions();
  ASSERT_EQ(menus.size(), 3);
  EXPECT_EQ(menus[0]->text(), "File(&F)");
  EXPECT_EQ(menus[1]->text(), "Visualize(&V)");
  EXPECT_EQ(menus[2]->text(), "Help(&H)");
  const auto items = menus[1]->menu()->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->text(), "Tool Bar(&T)");
  EXPECT_EQ(items[1]->text(), "Status Bar(&S)");
  EXPECT_EQ(menus[2]->menu()->actions().at(0)->text(), "Version INFO TALVERN(&A)...");

  auto* toolBar = child<QToolBar>(&frame, "toolBar");
  EXPECT_FALSE(toolBar->isVisible());
  EXPECT_FALSE(frame.statusBar()->isVisible());
  EXPECT_FALSE(items[0]->isChecked());
  EXPECT_FALSE(items[1]->isChecked());
  items[0]->trigger();
  items[1]->trigger();
  EXPECT_TRUE(toolBar->isVisible());
  EXPECT_TRUE(frame.statusBar()->isVisible());
  EXPECT_EQ(toolBar->actions().size(), 1);
  EXPECT_EQ(child<QLabel>(frame.statusBar(), "readyLabel")->text(), "Ready");
  for (const char* key : {"CAP", "NUM", "SCRL"})
    EXPECT_EQ(child<QLabel>(frame.statusBar(), (std::string("indicator") + key).c_str())->text(), key);
  items[1]->trigger();
  EXPECT_FALSE(frame.statusBar()->isVisible());
}

TEST(AboutDialog, OpenedFromMenuAndClosedByOk) {
  CMainFrame frame{talvern::WorkSpace(fresh_dir())};
  frame.show();
  QString title, text;
  bool sawOk = false;
  QTimer::singleShot(0, [&] {
    auto* dlg = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dlg, nullptr);
    title = dlg->windowTitle();
    text = child<QLabel>(dlg, "aboutText")->text();
    auto* ok = child<QPushButton>(dlg, "okButton");
    sawOk = ok->text() == "OK";
    QTest::mouseClick(ok, Qt::LeftButton);
    if (dlg->isVisible()) dlg->reject();  // never leave the test hanging
  });
  frame.menuBar()->actions().at(2)->menu()->actions().at(0)->trigger();  // returns once closed
  EXPECT_EQ(title, "Version INFO TALVERN");
  EXPECT_EQ(text, "TALVERN, Version 2.0");
  EXPECT_TRUE(sawOk);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// File -> Quit and Ctrl+Q close the main window.
TEST(MainWindow, QuitClosesTheWindow) {
  for (bool shortcut : {false, true}) {
    CMainFrame frame{talvern::WorkSpace(fresh_dir())};
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    auto* quit = frame.findChild<QAction*>("quitAction");
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_TRUE(frame.menuBar()->actions().at(0)->menu()->actions().contains(quit));
    if (shortcut)
      QTest::keyClick(&frame, Qt::Key_Q, Qt::ControlModifier);
    else
      quit->trigger();
    EXPECT_TRUE(QTest::qWaitFor([&frame] { return !frame.isVisible(); })) << shortcut;
  }
}

// Help -> Quick Tour shows the README's tour with its screenshots, and says
// where it looked when there is no README.
TEST(MainWindow, QuickTourShowsTheReadmeTourOrSaysWhereItLooked) {
  CMainFrame frame{talvern::WorkSpace(fresh_dir())};
  QString text;
  QStringList missing;
  int pictures = 0;
  QTimer::singleShot(0, [&] {
    auto* tour = qobject_cast<talvern::CQuickTour*>(QApplication::activeModalWidget());
    ASSERT_NE(tour, nullptr);
    auto* browser = child<QTextBrowser>(tour, "tourText");
    text = browser->toPlainText();
    missing = tour->missingPictures();
    for (const char* shot : {"docs/screenshots/main-window.png", "docs/screenshots/rixs-plane.png"})
      pictures += !browser->document()->resource(QTextDocument::ImageResource, QUrl(shot)).isNull();
    tour->reject();
  });
  frame.findChild<QAction*>("quickTourAction")->trigger();
  EXPECT_TRUE(text.startsWith("A first tour with the sample data")) << text.left(80).toStdString();
  EXPECT_TRUE(text.contains("Construct Work-Space"));
  EXPECT_FALSE(text.contains("Reading the plots"));  // the next section
  EXPECT_TRUE(missing.isEmpty()) << missing.join(", ").toStdString();
  EXPECT_EQ(pictures, 2);

  const fs::path nowhere = fresh_dir();
  talvern::CQuickTour lost(nullptr, {QString::fromStdString(nowhere.string())});
  const QString said = child<QTextBrowser>(&lost, "tourText")->toPlainText();
  EXPECT_TRUE(said.contains("could not be shown")) << said.toStdString();
  EXPECT_TRUE(said.contains(QString::fromStdString(nowhere.string())));
}

TEST(Studies, FileMenuSavesOpensAfterAskingAndListsTheRecentStudies) {
  const fs::path root = fresh_dir();
  const fs::path ws = root / "ws";
  CMainFrame frame{talvern::WorkSpace(ws)};
  QSettings().clear();
  QSettings("Local AppWizard-Generated Applications", "TALVERN").clear();
  frame.view()->constructWorkSpace();
  const auto menus = frame.menuBar()->actions();
  const auto items = menus[0]->menu()->actions();
  // The study entries, then (after a separator) "Quit".
  ASSERT_EQ(items.size(), 5);
  EXPECT_EQ(items[0]->text(), "Save Study As...");
  EXPECT_EQ(items[1]->text(), "Open Study...");
  EXPECT_EQ(items[2]->text(), "Recent Studies");
  EXPECT_TRUE(items[3]->isSeparator());
  EXPECT_EQ(items[4]->text(), "Quit(&Q)");
  auto* pane = child<QPlainTextEdit>(frame.view(), "messagePane");

  QString chosen;
  int asked = 0;
  bool answer = false;
  talvern::UserFiles files([&](const talvern::FileRequest&) {
    return std::optional(fs::path(chosen.toStdString()));
  });
  files.confirm_replace = [&](const fs::path&, std::string_view) { ++asked; return answer; };
  frame.view()->setUserFiles(files);
  for (int i = 1; i <= 5; ++i) {
    chosen = QString::fromStdString((root / QString("s%1.talvern-study").arg(i).toStdString()).string());
    items[0]->trigger();
  }
  EXPECT_TRUE(pane->toPlainText().startsWith("The study \"s5\" with 7 files")) << pane->toPlainText().toStdString();
  const QStringList recent = CMainFrame::recentStudies();
  ASSERT_EQ(recent.size(), 4);
  EXPECT_TRUE(recent[0].endsWith("s5.talvern-study"));
  EXPECT_TRUE(recent[3].endsWith("s2.talvern-study"));
  emit items[2]->menu()->aboutToShow();
  ASSERT_EQ(items[2]->menu()->actions().size(), 4);

  // The work-space holds files: a "No" changes nothing, a "Yes" restores.
  const fs::path params = ws / "RIXS_Calculation_Parameters.DAT";
  const std::string before = talvern::test::read_file(params);
  talvern::test::write_file(params, "changed\n");
  items[2]->menu()->actions().at(3)->trigger();  // s2
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(talvern::test::read_file(params), "changed\n");
  answer = true;
  items[2]->menu()->actions().at(3)->trigger();
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(talvern::test::read_file(params), before);
  EXPECT_TRUE(pane->toPlainText().startsWith("The study \"s2\" of ")) << pane->toPlainText().toStdString();
  EXPECT_TRUE(CMainFrame::recentStudies()[0].endsWith("s2.talvern-study"));
  fs::remove_all(root);
}
