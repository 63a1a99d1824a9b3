// The Average dialog's wiring: the opening texts and list, and one "Average"
// through the list, the button, the progress bar and the message pane.

#include <gtest/gtest.h>

#include <string>

#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "refine/ui/CAverage.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"
#include "workspace/row_io.h"

namespace {

namespace files = talvern::files;
using talvern::CAverage;
using talvern::test::write_file;

TEST(AverageDialog, OpensWithTheRangeAndAveragesWithTheChosenWindow) {
  talvern::test::TempDir tmp;
  const talvern::WorkSpace ws(tmp.path());
  write_file(ws.file(files::kXAFSMinMax), "7000\t7010\t0\t10000\n");
  std::string rows;
  for (int j = 0; j <= 10; ++j) rows += std::to_string(7000 + j) + "\t" + std::to_string(j % 2) + "\t1\n";
  write_file(ws.file(files::kSelectiveForRIXSTemp), rows);

  CAverage dialog(ws);
  EXPECT_EQ(dialog.windowTitle(), "Average");
  auto* list = dialog.findChild<QComboBox*>("pointsList");
  auto* pane = dialog.findChild<QPlainTextEdit*>("messagePane");
  auto* bar = dialog.findChild<QProgressBar*>("progressBar");
  ASSERT_TRUE(list && pane && bar);
  EXPECT_EQ(dialog.findChild<QLineEdit*>("startEnergyBox")->text(), "7000.");
  EXPECT_EQ(dialog.findChild<QLineEdit*>("endEnergyBox")->text(), "7010.");
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->itemText(2), "15 points");
  EXPECT_EQ(list->currentIndex(), -1);
  EXPECT_TRUE(pane->toPlainText().startsWith("Select the number of Adjucent Points to\naverage,"));

  list->setCurrentIndex(1);
  QTest::mouseClick(dialog.findChild<QPushButton*>("averageButton"), Qt::LeftButton);
  EXPECT_EQ(pane->toPlainText(),
            "From 7000. eV to 7010. eV,9 points\naveraging was successfully done.\n"
            "The matrix was employed from i=0 to 10.");
  EXPECT_EQ(list->currentIndex(), 1);
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 10);
  EXPECT_EQ(bar->value(), 10);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  const auto z = talvern::read_rows(ws.file(files::kSelectiveForRIXSTemp), 3);
  ASSERT_EQ(z.rows, 11u);
  EXPECT_NEAR(z.at(0, 1), (4 * 1 + 2 * 1) / 15.0, 1e-6);  // 5, 4, 3, 2, 1 on 0, 1, 0, 1, 0
}

}  // namespace
