// The RIXS Plane dialog's wiring: the opening boxes and radio buttons, a run
// on the worker thread to its end, the scale toggle, a click on the map
// that draws the cut, and the saves through the user's files (none into
// the work-space).

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include <QApplication>
#include <QButtonGroup>
#include <QImage>
#include <QMessageBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "gui/PlotPanel.h"
#include "rixs/ui/CRIXSPlane.h"
#include "rixs/ui/PlaneMap.h"
#include "support/optim_workspace.h"
#include "support/temp_dir.h"
#include "workspace/file_names.h"

namespace {

using talvern::CRIXSPlane;

TEST(PlaneDialog, CalculatesOnTheWorkerAndCutsWhereClicked) {
  talvern::test::TempDir tmp;
  talvern::WorkSpace ws{tmp.path()};
  talvern::test::make_optim_workspace(ws, true);
  talvern::test::TempDir outside;  // the user's files stay out of the work-space
  const std::filesystem::path saved = outside.path();
  std::filesystem::path into = saved;  // where the file dialog answers
  CRIXSPlane d(ws, nullptr, talvern::UserFiles([&](const talvern::FileRequest& r) {
                 return std::optional(into / (r.kind == talvern::FileKind::save_picture
                                                  ? "plane.svg"
                                                  : "plane.DAT"));
               }));
  d.resize(900, 900);
  d.show();
  EXPECT_EQ(d.findChild<QLineEdit*>("fromBox")->text(), "7110.");
  for (const char* group : {"axisGroup", "scaleGroup", "cutGroup"})
    EXPECT_EQ(d.findChild<QButtonGroup*>(group)->checkedId(), 0) << group;

  d.findChild<QLineEdit*>("stepBox")->setText("1");
  QTest::mouseClick(d.findChild<QPushButton*>("calculateButton"), Qt::LeftButton);
  EXPECT_TRUE(d.running() || d.state().plane.rows() == 6);
  d.finishRun();
  EXPECT_EQ(d.findChild<QPlainTextEdit*>("messagePane")->toPlainText(),
            "RIXS_Plane.DAT: 6 excitation energies x 25 emission energies.");
  EXPECT_EQ(d.findChild<QProgressBar*>("progressBar")->value(), 6);

  // The logarithmic scale changes the picture, nothing else.
  talvern::PlaneMap* map = d.map();
  const talvern::PlanePicture linear = map->picture();
  d.findChild<QButtonGroup*>("scaleGroup")->button(1)->click();
  EXPECT_NE(map->picture().rgb, linear.rgb);
  EXPECT_EQ(d.findChild<QButtonGroup*>("cutGroup")->checkedId(), 0);

  const talvern::PlaneLayout& l = linear.layout;
  QTest::mouseClick(map, Qt::LeftButton, {}, QPoint(l.x0 + l.w / 2, l.y0 + l.h / 2));
  ASSERT_TRUE(d.state().cut_trace);
  EXPECT_EQ(d.state().cut_trace->size(), 25u);  // along the emission axis
  EXPECT_TRUE(d.findChild<QPlainTextEdit*>("messagePane")->toPlainText().startsWith(
      "Cut at the excitation energy"));

  QTest::mouseClick(d.findChild<QPushButton*>("savePictureButton"), Qt::LeftButton);
  EXPECT_EQ(d.findChild<QPlainTextEdit*>("messagePane")->toPlainText().toStdString(),
            "The picture was saved as " + (saved / "plane.svg").string() + ".");
  QTest::mouseClick(d.findChild<QPushButton*>("saveDataButton"), Qt::LeftButton);
  EXPECT_EQ(talvern::test::read_file(saved / "plane.DAT"),
            talvern::test::read_file(ws.file(talvern::files::kRIXSPlane)));

  // Into the work-space: the dialog's saves and its panels' are refused,
  // naming the file, and write nothing.
  into = tmp.path();
  auto* pane = d.findChild<QPlainTextEdit*>("messagePane");
  for (const char* button : {"savePictureButton", "saveDataButton"}) {
    QTest::mouseClick(d.findChild<QPushButton*>(button), Qt::LeftButton);
    EXPECT_TRUE(pane->toPlainText().startsWith("ERROR!!\n" + QString::fromStdString(tmp.path().string())))
        << button << ": " << pane->toPlainText().toStdString();
  }
  QString warned;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    warned = box->text();
    box->done(QMessageBox::Ok);
  });
  auto* cut = d.findChild<talvern::PlotPanel*>("cutPanel");
  ASSERT_NE(cut, nullptr);
  cut->saveAs(".csv");
  EXPECT_TRUE(warned.startsWith("ERROR!!\n" + QString::fromStdString((into / "plane.DAT.csv").string())))
      << warned.toStdString();
  for (const char* name : {"plane.svg", "plane.DAT", "plane.DAT.csv"})
    EXPECT_FALSE(std::filesystem::exists(ws.file(name))) << name;
}

}  // namespace

// The map's picture is made once and kept: a paint that changes nothing
// draws the kept picture; new data, the other scale or another size make
// it again, and the picture shown is the one of what is shown now.
TEST(PlaneMapCache, MadeAgainOnlyWhenDataScaleOrSizeChange) {
  talvern::RIXSPlane plane;
  plane.omega = {7110, 7111};
  plane.emission = {7050, 7051, 7052};
  plane.values = {1e-6, 0, 0, 2e-6, 0, 0, 3e-6, 0, 0, 4e-6, 0, 0, 5e-6, 0, 0, 6e-6, 0, 0};
  bool log = false;
  talvern::PlaneMap map;
  map.setShown([&] { return talvern::PlaneMap::Shown{&plane, log, std::nullopt}; });
  map.resize(480, 300);
  map.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&map));
  const QImage first = map.grab().toImage();
  const int made = map.renders();
  EXPECT_GE(made, 1);
  EXPECT_EQ(map.grab().toImage(), first);
  map.repaint();
  EXPECT_EQ(map.renders(), made);

  log = true;
  const QImage logarithmic = map.grab().toImage();
  EXPECT_EQ(map.renders(), made + 1);
  EXPECT_NE(logarithmic, first);

  plane.values[0] = 6e-6;  // the same plane object, other data
  const QImage changed = map.grab().toImage();
  EXPECT_EQ(map.renders(), made + 2);
  EXPECT_NE(changed, logarithmic);
  const talvern::PlanePicture expected = map.picture();
  EXPECT_EQ(changed.convertToFormat(QImage::Format_RGB888),
            QImage(expected.rgb.data(), expected.width, expected.height, expected.width * 3,
                   QImage::Format_RGB888));

  map.resize(500, 320);
  QTRY_COMPARE(map.grab().toImage().size(), QSize(500, 320));
  EXPECT_EQ(map.renders(), made + 3);
}
