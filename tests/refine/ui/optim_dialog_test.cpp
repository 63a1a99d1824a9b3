// The Optimization dialog's wiring: the opening texts, a run on the worker
// thread to its end, and a run ended by "Stop" and by closing the dialog,
// each of which must leave the calculation input as it was.

#include <gtest/gtest.h>

#include <string>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "refine/ui/COptim.h"
#include "support/optim_workspace.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"

namespace {

namespace files = talvern::files;
using talvern::COptim;
using talvern::test::read_file;

class OptimDialog : public ::testing::Test {
 protected:
  talvern::test::TempDir tmp;
  talvern::WorkSpace ws{tmp.path()};

  void SetUp() override { talvern::test::make_optim_workspace(ws, false); }

  template <class W>
  static W* get(COptim& d, const char* name) {
    W* w = d.findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  static QString text(COptim& d, const char* box) { return get<QLineEdit>(d, box)->text(); }
  static std::string pane(COptim& d) {
    return get<QPlainTextEdit>(d, "messagePane")->toPlainText().toStdString();
  }
  static void type(COptim& d, const char* box, const char* value) {
    get<QLineEdit>(d, box)->clear();
    QTest::keyClicks(get<QLineEdit>(d, box), value);
  }
  // A run long enough to be stopped: a tiny energy step, three repetitions.
  static void startLongRun(COptim& d) {
    type(d, "energyStepBox", "0.0001");
    type(d, "excEnergyBox", "7116");
    get<QComboBox>(d, "repetitionsList")->setCurrentIndex(2);
    QTest::mouseClick(get<QPushButton>(d, "optimizeButton"), Qt::LeftButton);
    ASSERT_TRUE(d.running());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return get<QProgressBar>(d, "progressBar")->value() > 0; }, 20000));
  }
  // What a stopped run leaves: its caution, the best so far in the boxes,
  // the calculation input as it was and its backup holding the same.
  void expectStopped(COptim& d, const std::string& input) {
    EXPECT_FALSE(d.running());
    EXPECT_TRUE(pane(d).starts_with("CAUTION!!\n")) << pane(d);
    EXPECT_NE(pane(d).find("was stopped at"), std::string::npos) << pane(d);
    EXPECT_EQ(text(d, "componentsBox"), "1");
    EXPECT_FALSE(text(d, "rFactorBox").isEmpty());
    EXPECT_EQ(read_file(ws.file(files::kSelectiveForRIXS)), input);
    EXPECT_EQ(read_file(ws.file(files::kSelectiveForRIXSSaving)), input);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
};

TEST_F(OptimDialog, OpensWithTheDisplayRangeAndRunsToItsEnd) {
  COptim d(ws);
  EXPECT_EQ(d.windowTitle(), "Optimization");
  EXPECT_EQ(text(d, "startEnergyBox"), "7110.");
  EXPECT_EQ(text(d, "endEnergyBox"), "7115.9");
  EXPECT_EQ(text(d, "energyStepBox"), "1.0");
  EXPECT_EQ(text(d, "peakHeightBox"), "0.05");
  EXPECT_EQ(text(d, "peakWidthBox"), "1.0");
  EXPECT_EQ(text(d, "heightLimitBox"), "0.05");
  EXPECT_EQ(text(d, "heightStepBox"), "0.005");
  EXPECT_EQ(text(d, "excEnergyBox"), "0.0");
  EXPECT_EQ(text(d, "componentsBox"), "");
  EXPECT_EQ(text(d, "rFactorBox"), "");
  auto* list = get<QComboBox>(d, "repetitionsList");
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->itemText(0), "1");
  EXPECT_EQ(list->currentIndex(), -1);
  EXPECT_EQ(pane(d), "Please confirm the INPUT conditions.\nIf necessary, change the parameters "
                     "and\nOptimize-Selective-XAFS.");
  EXPECT_FALSE(get<QPushButton>(d, "stopButton")->isEnabled());

  list->setCurrentIndex(0);
  type(d, "excEnergyBox", "7116");
  auto* optimize = get<QPushButton>(d, "optimizeButton");
  QTest::mouseClick(optimize, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return optimize->isEnabled(); }, 20000));
  EXPECT_EQ(pane(d), "Optimization was done: the calculated range is from\n"
                     "7110. eV to 7115.9eV (number of reputations = 1 ).");
  EXPECT_EQ(text(d, "componentsBox"), "1");
  EXPECT_GT(text(d, "rFactorBox").toDouble(), 0);
  EXPECT_EQ(get<QProgressBar>(d, "progressBar")->value(), 4);  // five energies tried
  EXPECT_EQ(list->currentIndex(), 0);
  EXPECT_NE(read_file(ws.file(files::kSelectiveForRIXSTemp)),
            read_file(ws.file(files::kSelectiveForRIXS)));
}

TEST_F(OptimDialog, StopEndsTheRunAfterATrial) {
  const std::string input = read_file(ws.file(files::kSelectiveForRIXS));
  COptim d(ws);
  d.show();
  ASSERT_NO_FATAL_FAILURE(startLongRun(d));
  // While it runs only "Stop" can be pressed, and the pane says so.
  for (const char* name : {"optimizeButton", "okButton", "cancelButton"})
    EXPECT_FALSE(get<QPushButton>(d, name)->isEnabled()) << name;
  EXPECT_FALSE(get<QLineEdit>(d, "startEnergyBox")->isEnabled());
  EXPECT_FALSE(get<QComboBox>(d, "repetitionsList")->isEnabled());
  EXPECT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(pane(d), "In caluculation...");

  QTest::mouseClick(get<QPushButton>(d, "stopButton"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !d.running(); }, 20000));
  expectStopped(d, input);
  EXPECT_TRUE(d.isVisible());
  EXPECT_TRUE(get<QPushButton>(d, "optimizeButton")->isEnabled());
  EXPECT_FALSE(get<QPushButton>(d, "stopButton")->isEnabled());
}

TEST_F(OptimDialog, ClosingDuringARunStopsItFirst) {
  const std::string input = read_file(ws.file(files::kSelectiveForRIXS));
  COptim d(ws);
  d.show();
  ASSERT_NO_FATAL_FAILURE(startLongRun(d));
  d.close();  // the window's close button
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(d.result(), QDialog::Rejected);
  expectStopped(d, input);
}

}  // namespace
