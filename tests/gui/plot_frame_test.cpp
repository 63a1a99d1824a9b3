#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTest>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gui/PlotPanel.h"
#include "rixs/ui/CRIXSXAFS.h"
#include "support/panel_pixels.h"
#include "support/temp_dir.h"
#include "xafs/ui/CConvXAFS.h"
#include "xrf/ui/CXRF.h"

namespace plot = talvern::plot;
using talvern::CConvXAFS;
using talvern::CRIXSXAFS;
using talvern::CXRF;
using talvern::PlotFrame;
using talvern::PlotPanel;

namespace {

// A 300 x 220 panel in its frame showing one red curve over 7000..7250 eV.
struct Shown {
  std::vector<double> rows{7000, 0.2, 7100, 0.9, 7250, 0.4};
  plot::Trace trace = *plot::standard_trace(rows.data(), 3, 2, 1, {7000, 7250, 0, 10000});
  PlotPanel* panel = new PlotPanel;
  PlotFrame frame{panel};

  Shown() {
    panel->setMinimumSize(300, 220);
    panel->setCurves([this] {
      return std::vector<plot::Curve>{{&trace, 0, plot::Pen::red, {}, false, "measured"}};
    });
    frame.show();
    if (!QTest::qWaitForWindowExposed(&frame)) ADD_FAILURE() << "frame never shown";
  }
};

bool inkIn(const QImage& image, QRect area) {
  for (int x = area.left(); x <= area.right(); ++x)
    for (int y = area.top(); y <= area.bottom(); ++y)
      if (qGray(image.pixel(x, y)) < 128) return true;
  return false;
}

// Every dialog opens with its panels at the size they always had; a larger
// dialog gives them more room.
TEST(PlotFrames, PanelsOpenAtTheirSizeAndGrowWithTheDialog) {
  talvern::test::TempDir tmp;
  const talvern::WorkSpace ws(tmp.path());
  std::vector<std::unique_ptr<QDialog>> dialogs;
  dialogs.push_back(std::make_unique<CConvXAFS>(ws));
  dialogs.push_back(std::make_unique<CXRF>(ws));
  dialogs.push_back(
      std::make_unique<CRIXSXAFS>(ws, CRIXSXAFS::Openers{}, nullptr, talvern::UserFiles{},
                                  talvern::OpenFailureReporter{}));
  for (auto& d : dialogs) {
    d->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d.get()));
    const auto panels = d->findChildren<PlotPanel*>();
    ASSERT_FALSE(panels.empty());
    for (PlotPanel* p : panels) EXPECT_EQ(p->size(), p->minimumSize()) << qPrintable(p->objectName());
    d->resize(d->size() + QSize(300, 200));
    for (PlotPanel* p : panels) {
      EXPECT_TRUE(QTest::qWaitFor([p] { return p->width() > p->minimumWidth(); }))
          << qPrintable(p->objectName());
      EXPECT_TRUE(QTest::qWaitFor([p] { return p->height() > p->minimumHeight(); }))
          << qPrintable(p->objectName());
    }
  }
}

TEST(PlotFrames, ValuesSitUnderTheGridLinesAndBesideThem) {
  Shown shown;
  const QImage image = shown.frame.grab().toImage();
  const QRect p = shown.panel->geometry();
  EXPECT_EQ(p.size(), QSize(300, 220));
  // Energy texts are centred under the vertical grid lines (x = -50, 0, 50
  // at 75, 150 and 225 pixels), none under the frame's corners.
  for (int column : {75, 150, 225})
    EXPECT_TRUE(inkIn(image, {p.left() + column - 2, p.bottom() + 1, 5, PlotFrame::kBottom - 1}));
  EXPECT_FALSE(inkIn(image, {p.left(), p.bottom() + 1, 25, PlotFrame::kBottom - 1}));
  // Intensity texts end left of the panel, level with the horizontal ones.
  for (int row : {60, 110, 160})
    EXPECT_TRUE(inkIn(image, {p.left() - 20, p.top() + row - 1, 18, 3}));
  EXPECT_FALSE(inkIn(image, {0, p.top() + 85, p.left(), 3}));
}

TEST(PlotFrames, DragZoomsAndAClickThenSetsTheEnergyUnderTheMouse) {
  Shown shown;
  PlotPanel* panel = shown.panel;
  QSignalSpy clicks(panel, &PlotPanel::panelClicked);
  // Drag across 4 pixels of the 300 around pixel 60: about 3.3 eV.
  QTest::mousePress(panel, Qt::LeftButton, {}, {58, 40});
  QTest::mouseMove(panel, {62, 180});
  QTest::mouseRelease(panel, Qt::LeftButton, {}, {62, 180});
  EXPECT_EQ(clicks.count(), 0);
  ASSERT_FALSE(panel->view().full());

  QTest::mouseClick(panel, Qt::LeftButton, {}, {150, 110});
  QTest::mouseClick(panel, Qt::LeftButton, {}, {151, 110});
  ASSERT_EQ(clicks.count(), 2);
  const double e0 = plot::click_energy(clicks.at(0).at(0).toDouble(), 7000, 7250);
  const double e1 = plot::click_energy(clicks.at(1).at(0).toDouble(), 7000, 7250);
  EXPECT_GT(e1 - e0, 0);
  EXPECT_LT(e1 - e0, 0.1);
  // The energy of the pixel the mouse was on: pixel 60 before the zoom.
  double fx = 0, fy = 0;
  plot::pixel_to_frame(60, 110, 300, 220, fx, fy);
  EXPECT_NEAR(e0, 7000 + 250 * (fx + 100) / 200, 0.05);

  // A double click goes back to the full view and whole units.
  QTest::mouseDClick(panel, Qt::LeftButton, {}, {150, 110});
  EXPECT_TRUE(panel->view().full());
  clicks.clear();
  QTest::mouseClick(panel, Qt::LeftButton, {}, {151, 110});
  ASSERT_EQ(clicks.count(), 1);
  EXPECT_EQ(clicks.at(0).at(0).toDouble(), 0.0);
}

// Collects what is painted of the widget it watches.
struct PaintWatch : QObject {
  QRegion painted;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
    return false;
  }
};

// The readout above the panel follows the mouse and goes when it leaves;
// a new text repaints its strip alone, an unchanged one nothing.
TEST(PlotFrames, ReadoutFollowsTheMouseInItsStrip) {
  Shown shown;
  PlotPanel* panel = shown.panel;
  talvern::test::deliver_pending_paints();
  const QRect strip(PlotFrame::kLeft, 0, shown.frame.width() - PlotFrame::kLeft - PlotFrame::kRight,
                    PlotFrame::kTop);
  PaintWatch watch;
  shown.frame.installEventFilter(&watch);
  QSignalSpy readouts(panel, &PlotPanel::readoutChanged);
  const auto moveTo = [&](QPoint at) {
    watch.painted = {};
    QTest::mouseMove(panel, at);
    talvern::test::deliver_pending_paints();
  };

  moveTo({60, 110});
  ASSERT_EQ(readouts.count(), 1);
  EXPECT_TRUE(readouts.at(0).at(0).toString().startsWith("E = "));
  EXPECT_FALSE(watch.painted.isEmpty());
  EXPECT_TRUE((watch.painted - strip).isEmpty());
  EXPECT_TRUE(inkIn(shown.frame.grab().toImage(), strip));

  moveTo({2, 110});  // beside the frame: no readout
  ASSERT_EQ(readouts.count(), 2);
  EXPECT_TRUE(readouts.at(1).at(0).toString().isEmpty());
  EXPECT_FALSE(inkIn(shown.frame.grab().toImage(), strip));
  moveTo({3, 110});
  EXPECT_EQ(readouts.count(), 2);
  EXPECT_TRUE(watch.painted.isEmpty());

  moveTo({150, 110});
  ASSERT_EQ(readouts.count(), 3);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(panel, &leave);
  ASSERT_EQ(readouts.count(), 4);
  EXPECT_TRUE(readouts.at(3).at(0).toString().isEmpty());
  EXPECT_FALSE(inkIn(shown.frame.grab().toImage(), strip));
}

TEST(PlotFrames, ExportsReadBack) {
  Shown shown;
  talvern::test::TempDir tmp;
  const QString dir = QString::fromStdString(tmp.path().string());
  const QSize picture(PlotFrame::kLeft + 300 + PlotFrame::kRight,
                      PlotFrame::kTop + 220 + PlotFrame::kBottom);

  ASSERT_TRUE(shown.panel->savePng(dir + "/panel.png"));
  const QImage png(dir + "/panel.png");
  ASSERT_EQ(png.size(), picture);
  EXPECT_EQ(png.pixelColor(PlotFrame::kLeft + 150, PlotFrame::kTop + 5), QColor(255, 255, 255));
  EXPECT_GT(talvern::test::count_pixels(png, talvern::test::kRedPen), 100);
  EXPECT_TRUE(inkIn(png, {PlotFrame::kLeft + 148, PlotFrame::kTop + 221, 5, 14}));  // "7125.0"

  ASSERT_TRUE(shown.panel->saveSvg(dir + "/panel.svg"));
  QSvgRenderer svg(dir + "/panel.svg");
  ASSERT_TRUE(svg.isValid());
  EXPECT_EQ(svg.viewBox(), QRect(QPoint(0, 0), picture));
  QImage drawn(picture, QImage::Format_RGB32);
  drawn.fill(Qt::white);
  {
    QPainter painter(&drawn);
    svg.render(&painter);
  }
  int reddish = 0;  // the renderer smooths the lines
  for (int x = 0; x < drawn.width(); ++x)
    for (int y = 0; y < drawn.height(); ++y) {
      const QColor c = drawn.pixelColor(x, y);
      reddish += c.red() > 200 && c.green() < 120 && c.blue() < 120;
    }
  EXPECT_GT(reddish, 100);

  ASSERT_TRUE(shown.panel->saveCsv(dir + "/panel.csv"));
  QFile csv(dir + "/panel.csv");
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  EXPECT_EQ(csv.readAll().toStdString(),
            "energy_eV,measured_intensity\n7000,0.2\n7100,0.9\n7250,0.4\n");
  EXPECT_FALSE(shown.panel->saveCsv(dir + "/missing/panel.csv"));
}

// The context menu's saves ask the panel's user files for the file, by
// format; the suffix is added to a name without it.
TEST(PlotFrames, SavesAskTheUserFilesForTheirFile) {
  talvern::test::TempDir tmp;
  std::vector<std::pair<std::string, std::string>> asked;  // title, suffix
  std::optional<std::filesystem::path> answer = tmp.path() / "curves";
  PlotPanel panel(nullptr, talvern::UserFiles([&](const talvern::FileRequest& r) {
                    EXPECT_EQ(r.kind, talvern::FileKind::save_plot);
                    asked.emplace_back(r.title, r.suffix);
                    return answer;
                  }));
  std::vector<double> rows{7000, 0.2, 7250, 0.4};
  const plot::Trace trace = *plot::standard_trace(rows.data(), 2, 2, 1, {7000, 7250, 0, 10000});
  panel.setCurves([&] {
    return std::vector<plot::Curve>{{&trace, 0, plot::Pen::red, {}, false, "measured"}};
  });

  panel.saveAs(".csv");
  EXPECT_EQ(talvern::test::read_file(tmp.path() / "curves.csv"),
            "energy_eV,measured_intensity\n7000,0.2\n7250,0.4\n");
  answer.reset();  // cancelled: nothing is written
  panel.saveAs(".png");
  EXPECT_FALSE(std::filesystem::exists(tmp.path() / "curves.png"));
  const std::vector<std::pair<std::string, std::string>> expected{
      {"Save curves as CSV", ".csv"}, {"Save as PNG", ".png"}};
  EXPECT_EQ(asked, expected);
}

}  // namespace
