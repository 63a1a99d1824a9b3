// The RIXS Plane dialog's wiring: the opening boxes and radio buttons, a run
// on the worker thread to its end, the scale toggle, a click on the map
// that draws the cut, and the two saves through the user's files.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include <QButtonGroup>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

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
  const std::filesystem::path saved = tmp.path() / "saved";
  std::filesystem::create_directory(saved);
  CRIXSPlane d(ws, nullptr, talvern::UserFiles([&](const talvern::FileRequest& r) {
                 return std::optional(saved / (r.kind == talvern::FileKind::save_picture
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
}

}  // namespace
