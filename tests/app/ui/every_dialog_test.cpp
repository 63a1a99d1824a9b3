// What holds for every top-level dialog of the program: it fits a
// 1366 x 768 laptop screen, and each of its push buttons says in its tip
// which files it reads and writes (or that it touches none).

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include "app/main_form.h"
#include "app/ui/CAboutDlg.h"
#include "app/ui/CMainFrame.h"
#include "app/ui/CQuickTour.h"
#include "app/ui/dialog_openers.h"
#include "gui/ImportColumnsDialog.h"
#include "gui/file_chooser.h"
#include "import/ui/CXAFSReading.h"
#include "refine/ui/CAverage.h"
#include "refine/ui/COptim.h"
#include "rixs/ui/CGlobalFit.h"
#include "rixs/ui/CRIXSPlane.h"
#include "rixs/ui/CRIXSXAFS.h"
#include "support/optim_workspace.h"
#include "support/temp_dir.h"
#include "workspace/columns.h"
#include "xafs/ui/CConvXAFS.h"
#include "xrf/ui/CXRF.h"

namespace {

namespace tv = talvern;

// The screen, less the title bar the window manager adds.
constexpr int kScreenWidth = 1366, kScreenHeight = 768, kTitleBar = 40;

struct Opened {
  const char* name;
  std::function<std::unique_ptr<QWidget>(const tv::WorkSpace&)> make;
};

// A file of three columns for the column import.
const std::string kColumnText = "# E I0 I1\n7100 1 2\n7101 1 3\n";
const std::filesystem::path kColumnFile = "scan.txt";
const tv::TextLayout kColumnLayout = tv::sniff_columns(kColumnText);
const std::string kNoProblem;

template <class D>
Opened dialog(const char* name) {
  return {name, [](const tv::WorkSpace& ws) -> std::unique_ptr<QWidget> {
            return std::make_unique<D>(ws, nullptr, tv::UserFiles{});
          }};
}

const std::vector<Opened>& every_dialog() {
  static const std::vector<Opened> all{
      {"main window",
       [](const tv::WorkSpace& ws) -> std::unique_ptr<QWidget> {
         return std::make_unique<tv::CMainFrame>(ws);
       }},
      dialog<tv::CXAFSReading>("Load Selective XAFS"),
      dialog<tv::CConvXAFS>("Setting by XAFS"),
      dialog<tv::CXRF>("Setting by XRF"),
      {"RIXS Simulation",
       [](const tv::WorkSpace& ws) -> std::unique_ptr<QWidget> {
         return std::make_unique<tv::CRIXSXAFS>(ws, tv::rixs_simulation_openers(), nullptr,
                                                tv::UserFiles{});
       }},
      dialog<tv::COptim>("Optimization"),
      dialog<tv::CAverage>("Average"),
      dialog<tv::CRIXSPlane>("RIXS Plane"),
      dialog<tv::CGlobalFit>("Global Fit"),
      {"column import",
       [](const tv::WorkSpace&) -> std::unique_ptr<QWidget> {
         return std::make_unique<tv::ImportColumnsDialog>(tv::ColumnRequest{
             "Load Exp. RIXS", 2, kColumnFile, kColumnText, kColumnLayout, kNoProblem});
       }},
      {"Version INFO",
       [](const tv::WorkSpace&) -> std::unique_ptr<QWidget> {
         return std::make_unique<tv::CAboutDlg>();
       }},
      {"Quick Tour",
       [](const tv::WorkSpace&) -> std::unique_ptr<QWidget> {
         return std::make_unique<tv::CQuickTour>();
       }},
  };
  return all;
}

class EveryDialog : public ::testing::Test {
 protected:
  tv::test::TempDir tmp;
  tv::WorkSpace ws{tmp.path()};
  void SetUp() override { tv::test::make_optim_workspace(ws, true); }
};

void expect_fits(const char* name, const char* what, QSize size) {
  EXPECT_LE(size.width(), kScreenWidth) << name << ": " << what;
  EXPECT_LE(size.height(), kScreenHeight - kTitleBar) << name << ": " << what;
}

// The size the dialog asks for, the least it can take and the size it
// opens at all fit the screen; so does the group chooser of a project file.
TEST_F(EveryDialog, FitsA1366x768Screen) {
  for (const Opened& o : every_dialog()) {
    std::unique_ptr<QWidget> d = o.make(ws);
    expect_fits(o.name, "size hint", d->sizeHint());
    expect_fits(o.name, "minimum size hint", d->minimumSizeHint());
    d->show();
    expect_fits(o.name, "opening size", d->size());
  }

  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* chooser = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    ASSERT_TRUE(chooser);
    seen = true;
    expect_fits("group chooser", "size hint", chooser->sizeHint());
    chooser->reject();
  });
  std::vector<tv::ProjectGroup> groups(40, tv::ProjectGroup{"g", "Fe foil", {7100}, {1}});
  std::string error;
  tv::qt_group_chooser()({"Load XRF", "p.prj", groups}, error);
  EXPECT_TRUE(seen);
}

// Every push button's tip names a file it reads or writes or says that it
// touches none.
TEST_F(EveryDialog, EveryButtonSaysWhatItReadsAndWrites) {
  for (const Opened& o : every_dialog()) {
    std::unique_ptr<QWidget> d = o.make(ws);
    const auto buttons = d->findChildren<QPushButton*>();
    ASSERT_FALSE(buttons.isEmpty()) << o.name;
    for (QPushButton* b : buttons) {
      const QString tip = b->toolTip();
      EXPECT_TRUE(tip.contains(".DAT") || tip.contains("touches no ", Qt::CaseInsensitive) ||
                  tip.contains("every work-space file"))
          << o.name << ", " << b->text().toStdString() << ": \"" << tip.toStdString() << "\"";
    }
  }
}

}  // namespace
