// The Global Fit dialog on a small work-space whose measured set (three
// emission spectra and a HERFD) was calculated from the working selective
// XAFS with a peak added and a scale 1.1 times the stored one: the table
// of peaks with its fix boxes, Fit on the worker filling the values, the
// sigmas, the fitted scale, the group panels and the correlations, Apply
// recorded as the fit-rixs line with --confirm that leaves the same files
// when replayed, Stop, and the dialog's size.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/measured_model.h"
#include "gui/PlotPanel.h"
#include "rixs/ui/CGlobalFit.h"
#include "rixs/ui/FitGroupPanels.h"
#include "support/cli_run.h"
#include "support/held_input.h"
#include "support/optim_workspace.h"
#include "support/panel_pixels.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/measured_set.h"

namespace {

namespace fs = std::filesystem;
using namespace talvern;

const QColor kGreenPen(0, 150, 0);

// The measured set: the model of the working copy with a peak of 0.04 at
// 7112 eV, width 1, on both components, at 1.1 times the stored scale,
// every other point 2 % above the model and the rest 2 % below it.
std::string measured_set_text_of(const WorkSpace& ws, const char* scratch) {
  MeasuredSet set;
  std::vector<double> cut, herfd;
  for (int i = 0; i <= 24; ++i) cut.insert(cut.end(), {7050 + 0.5 * i, 0.0});
  for (int i = 0; i <= 20; ++i) herfd.insert(herfd.end(), {7110.5 + 0.25 * i, 0.0});
  for (double omega : {7112.0, 7114.0, 7115.5}) put_cut(set, omega, cut.data(), cut.size() / 2);
  put_herfd(set, 7058, herfd.data(), herfd.size() / 2);
  test::write_rows_of(ws, scratch, test::optim_selective(false, true), 3);
  const RowsRead target = read_rows(ws.file(scratch), 3);
  fs::remove(ws.file(scratch));
  EngineInputs in;
  EXPECT_EQ(read_engine_inputs(ws, target, in).status, EngineReport::Status::ok);
  const SetComparison model = compare_with_model(set, target, in);
  std::size_t j = 0;
  for (MeasuredGroup& g : set.groups)
    for (MeasuredPoint& p : g.points) {
      p.intensity = 1.1 * model.calculated[j] * (j % 2 ? 1.02 : 0.98);
      ++j;
    }
  return *measured_set_text(set);
}

std::string last_history_line(const WorkSpace& ws) {
  std::string text = test::read_file(ws.file("TALVERN_History.sh"));
  if (!text.empty()) text.pop_back();
  return text.substr(text.rfind('\n') + 1);
}

class GlobalFitDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(dir);
    test::make_optim_workspace(ws, false);
    set_text = measured_set_text_of(ws, "scratch.DAT");
    test::write_file(ws.file(files::kPlaneExp), set_text);
  }

  void open() {
    dialog = std::make_unique<CGlobalFit>(ws, nullptr, UserFiles{});
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    table = dialog->findChild<QTableWidget*>("peakTable");
    ASSERT_NE(table, nullptr);
  }
  void press(const char* name) {
    auto* b = dialog->findChild<QPushButton*>(name);
    ASSERT_TRUE(b && b->isEnabled()) << name;
    QTest::mouseClick(b, Qt::LeftButton);
  }
  QString cell(int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString("(none)");
  }
  void setCell(int row, int column, const char* text) {
    ASSERT_NE(table->item(row, column), nullptr);
    table->item(row, column)->setText(text);
  }
  void setFix(int row, int column, bool on) {
    ASSERT_NE(table->item(row, column), nullptr);
    table->item(row, column)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }
  std::string pane() {
    return dialog->findChild<QPlainTextEdit*>("messagePane")->toPlainText().toStdString();
  }
  void expectFitsTheScreen() {
    for (const QSize size : {dialog->sizeHint(), dialog->minimumSize(), dialog->minimumSizeHint()}) {
      EXPECT_LE(size.width(), 1366);
      EXPECT_LE(size.height(), 740);
    }
  }

  test::TempDir tmp;
  fs::path dir = tmp.file("ws");
  WorkSpace ws{dir};
  std::string set_text;
  std::unique_ptr<CGlobalFit> dialog;
  QTableWidget* table = nullptr;
};

TEST_F(GlobalFitDialog, FitFillsTableAndPanelsAndApplyIsItsLineWithConfirm) {
  fs::copy(dir, tmp.file("again"), fs::copy_options::recursive);
  open();
  expectFitsTheScreen();

  // Two rows, the second's width fixed; removing the first moves the fix
  // with the row it belongs to.
  press("addPeakButton");
  press("addPeakButton");
  ASSERT_EQ(table->rowCount(), 2);
  setCell(1, 0, "7112.5");
  setCell(1, 3, "0.03");
  setCell(1, 6, "1");
  setFix(1, 8, true);
  EXPECT_EQ(dialog->state().fix, "peak2.width");
  table->setCurrentCell(0, 0);
  press("removePeakButton");
  ASSERT_EQ(table->rowCount(), 1);
  EXPECT_EQ(dialog->state().peaks, std::vector<std::string>{"7112.5,0.03,1"});
  EXPECT_EQ(dialog->state().fix, "peak1.width");
  EXPECT_EQ(table->item(0, 8)->checkState(), Qt::Checked);

  dialog->findChild<QAbstractButton*>("fitScaleBox")->setChecked(true);
  const std::string working = test::read_file(ws.file(files::kSelectiveForRIXSTemp));
  press("fitButton");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->running(); }, 60000));

  // The fit finds the peak and the scale the set was made with.
  EXPECT_NEAR(cell(0, 0).toDouble(), 7112, 0.05) << pane();
  EXPECT_NEAR(cell(0, 3).toDouble(), 0.04, 2e-3);
  EXPECT_EQ(cell(0, 6), "1");
  EXPECT_TRUE(cell(0, 1).startsWith("± ")) << cell(0, 1).toStdString();
  EXPECT_TRUE(cell(0, 4).startsWith("± "));
  EXPECT_EQ(cell(0, 7), "");  // fixed: no sigma
  const QString scale = dialog->findChild<QLabel*>("scaleValue")->text();
  EXPECT_NEAR(scale.section(' ', 0, 0).toDouble(), 8.69e-09, 0.05e-9) << scale.toStdString();
  EXPECT_TRUE(scale.section(' ', 1).startsWith("± ")) << scale.toStdString();
  EXPECT_EQ(dialog->findChild<QLabel*>("shiftValue")->text(), "0 (fixed)");
  EXPECT_NE(pane().find("R-Factor: "), std::string::npos) << pane();
  EXPECT_NE(pane().find("Reduced chi-square: "), std::string::npos);

  // A panel per group, measured red and calculated blue, the residual green.
  ASSERT_EQ(dialog->groupPanels()->groups(), 4u);
  for (const char* name : {"groupPanel0", "groupPanel3"}) {
    auto* panel = dialog->findChild<PlotPanel*>(name);
    ASSERT_NE(panel, nullptr) << name;
    const QImage image = panel->grab().toImage();
    EXPECT_GT(test::count_pixels(image, test::kRedPen), 20) << name;
    EXPECT_GT(test::count_pixels(image, test::kBluePen), 20) << name;
  }
  auto* residual = dialog->findChild<PlotPanel*>("residualPanel3");
  ASSERT_NE(residual, nullptr);
  EXPECT_GT(test::count_pixels(residual->grab().toImage(), kGreenPen), 10);
  EXPECT_EQ(dialog->findChild<QLabel*>("groupCaption3")->text().left(24), "R-Factor of HERFD at 705");

  // The correlations of the three free parameters, 1 on the diagonal.
  auto* correlation = dialog->findChild<QTableWidget*>("correlationTable");
  ASSERT_EQ(correlation->rowCount(), 3);
  ASSERT_EQ(correlation->columnCount(), 3);
  EXPECT_EQ(correlation->horizontalHeaderItem(2)->text(), "scale");
  EXPECT_EQ(correlation->item(1, 1)->text(), "1.00");
  expectFitsTheScreen();

  // Fit wrote nothing; its line is in the history as it ran.
  EXPECT_EQ(test::read_file(ws.file(files::kSelectiveForRIXSTemp)), working);
  const std::string line =
      "talvern-cli fit-rixs --peak 7112.5,0.03,1 --components AB --fit-scale --fix peak1.width "
      "--weights none";
  EXPECT_EQ(last_history_line(ws), line + " --smooth ''");

  // Apply writes the fit on show and is recorded as that fit with --confirm;
  // the history replayed on the work-space as it was leaves the same files.
  press("applyButton");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->running(); }, 60000));
  EXPECT_TRUE(pane().starts_with("The fitted selective XAFS is the working copy")) << pane();
  EXPECT_NE(test::read_file(ws.file(files::kSelectiveForRIXSTemp)), working);
  EXPECT_EQ(last_history_line(ws), line + " --confirm --smooth ''");
  const test::CliRun replay = test::run_cli_at(
      TALVERN_CLI_PATH, "--workspace '" + tmp.file("again").string() + "' replay '" +
                            ws.file("TALVERN_History.sh").string() + "'");
  EXPECT_EQ(replay.exit_code, 0) << replay.out;
  EXPECT_EQ(test::dat_files(tmp.file("again")), test::dat_files(dir));

  // The fit is applied once.
  press("applyButton");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->running(); }, 60000));
  EXPECT_TRUE(pane().starts_with("ERROR!!\nThere is no fit to apply")) << pane();
}

// Stop ends the fit after the iteration in hand. The measured set is a pipe
// the test fills only after Stop, so the fit starts with Stop pressed.
TEST_F(GlobalFitDialog, StopEndsTheFitWhichIsNotApplied) {
  const fs::path set_file = ws.file(files::kPlaneExp);
  ASSERT_TRUE(test::hold_input(set_file));
  open();
  press("addPeakButton");
  setCell(0, 0, "7112.5");
  setCell(0, 3, "0.03");
  setCell(0, 6, "1.2");
  press("fitButton");
  ASSERT_TRUE(dialog->running());
  press("stopButton");
  ASSERT_TRUE(test::release_input(set_file, set_text));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->running(); }, 60000));
  EXPECT_NE(pane().find("CAUTION!! The fit was stopped after 0 iterations"), std::string::npos) << pane();
  EXPECT_EQ(cell(0, 0), "7112.5");  // where it stood

  press("applyButton");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->running(); }, 60000));
  EXPECT_TRUE(pane().starts_with("ERROR!!\nThere is no fit to apply")) << pane();
  EXPECT_TRUE(last_history_line(ws).starts_with("talvern-cli fit-rixs --peak 7112.5,0.03,1.2 "));
}

}  // namespace
