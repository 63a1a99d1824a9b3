#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "gui/PlotPanel.h"
#include "gui/title_picture.h"

namespace plot = talvern::plot;
using talvern::paintTitlePicture;
using talvern::PlotPanel;
using talvern::talvern_title_picture;

namespace {

const QColor kWhite(255, 255, 255), kGrey(230, 230, 230), kBlack(0, 0, 0);
const QColor kGridGrey(100, 100, 100), kRed(255, 0, 0), kBlue(0, 0, 255), kSky(0, 200, 255);

// At 220 x 220 pixels one logical unit is one pixel: (x, y) lies at pixel
// (110 + x, 110 - y).
constexpr int kSide = 220;
QPoint px(int x, int y) { return {110 + x, 110 - y}; }

QImage render(QSize size, const std::vector<plot::Curve>& curves = {},
              std::optional<int> marker = std::nullopt) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(QColor(1, 2, 3));
  QPainter painter(&image);
  PlotPanel::paintPanel(painter, size, curves, marker);
  return image;
}

QColor at(const QImage& image, QPoint p) { return image.pixelColor(p); }

int countInColumn(const QImage& image, int column, QColor colour) {
  int n = 0;
  for (int row = 0; row < image.height(); ++row) n += image.pixelColor(column, row) == colour;
  return n;
}

plot::Trace makeTrace(std::vector<int> x, std::vector<std::vector<int>> ys) {
  plot::Trace t(x.size(), ys.size());
  t.x = std::move(x);
  t.y = std::move(ys);
  return t;
}

}  // namespace

TEST(PlotPanelDrawing, FrameFillAndGridLandOnTheirPixels) {
  const QImage image = render({kSide, kSide});
  EXPECT_EQ(at(image, {0, 0}), kWhite);
  EXPECT_EQ(at(image, {219, 219}), kWhite);
  EXPECT_EQ(at(image, px(-101, 30)), kWhite);
  // One-pixel frame on all four sides of (-100, -100)..(100, 100).
  for (QPoint p : {px(-100, 30), px(100, 30), px(30, 100), px(30, -100)})
    EXPECT_EQ(at(image, p), kBlack) << p.x() << "," << p.y();
  EXPECT_EQ(at(image, px(-99, 30)), kGrey);
  EXPECT_EQ(at(image, px(-80, 80)), kGrey);

  // Dotted grid: some pixels of each line are grid grey, but not all.
  int onRow = 0, onColumn = 0;
  for (int x = -99; x <= 99; ++x) onRow += at(image, px(x, 50)) == kGridGrey;
  for (int y = -99; y <= 99; ++y) onColumn += at(image, px(-50, y)) == kGridGrey;
  EXPECT_GT(onRow, 40);
  EXPECT_LT(onRow, 160);
  EXPECT_GT(onColumn, 40);
  EXPECT_LT(onColumn, 160);
  EXPECT_EQ(at(image, px(-30, 30)), kGrey);  // no grid there
}

TEST(PlotPanelDrawing, StretchesEachAxisAndSkipsEmptySizes) {
  // 440 x 220: two pixels per unit across, one up; origin at (220, 110).
  const QImage wide = render({440, 220});
  EXPECT_EQ(wide.pixelColor(20, 80), kBlack);
  EXPECT_EQ(wide.pixelColor(420, 80), kBlack);
  EXPECT_EQ(wide.pixelColor(100, 10), kBlack);
  EXPECT_EQ(wide.pixelColor(100, 210), kBlack);
  EXPECT_EQ(wide.pixelColor(18, 80), kWhite);
  EXPECT_EQ(wide.pixelColor(22, 80), kGrey);

  QImage untouched(40, 40, QImage::Format_RGB32);
  untouched.fill(QColor(1, 2, 3));
  {
    QPainter painter(&untouched);
    PlotPanel::paintPanel(painter, {40, 0}, {});
  }
  EXPECT_EQ(untouched.pixelColor(20, 20), QColor(1, 2, 3));
}

TEST(PlotPanelDrawing, CurveRuleBreaksAtOutsidePointsAndRejoins) {
  // (98, 30) lies right of the clip window: no line to it, but the line
  // from it to the next point inside is drawn.
  const plot::Trace outside = makeTrace({-60, -20, 98, 78}, {{30, 30, 30, -10}});
  // Hidden flag on the second point.
  plot::Trace flagged = makeTrace({-80, -40, -20}, {{-60, -60, -60}});
  flagged.hidden = {0, 1, 0};

  const QImage image = render({kSide, kSide}, {{&outside, 0, plot::Pen::red},
                                               {&flagged, 0, plot::Pen::blue, {}, true}});
  EXPECT_EQ(at(image, px(-40, 30)), kRed);
  EXPECT_EQ(at(image, px(40, 30)), kGrey);   // not joined to x = 98
  EXPECT_EQ(at(image, px(88, 10)), kRed);    // back from x = 98 into the window
  EXPECT_EQ(at(image, px(-60, -60)), kGrey);  // hidden point not joined
  EXPECT_EQ(at(image, px(-30, -60)), kBlue);

  // The same trace with its flags ignored is joined throughout.
  const QImage joined = render({kSide, kSide}, {{&flagged, 0, plot::Pen::blue}});
  EXPECT_EQ(at(joined, px(-60, -60)), kBlue);

  // Null traces, traces without points and bad y indices draw nothing.
  const plot::Trace none(0, 1);
  const QImage blank = render({kSide, kSide}, {{nullptr}, {&none}, {&outside, 3}});
  EXPECT_EQ(blank, render({kSide, kSide}));
}

TEST(PlotPanelDrawing, LaterCurvesAreDrawnOverEarlierOnes) {
  const plot::Trace trace = makeTrace({-60, 60}, {{20, 20}, {20, 20}});
  const plot::Curve red{&trace, 0, plot::Pen::red}, blue{&trace, 1, plot::Pen::blue};
  EXPECT_EQ(at(render({kSide, kSide}, {red, blue}), px(10, 20)), kBlue);
  EXPECT_EQ(at(render({kSide, kSide}, {blue, red}), px(10, 20)), kRed);
}

TEST(PlotPanelWidget, AsksForItsCurvesAtEveryPaint) {
  const plot::Trace trace = makeTrace({-60, 60}, {{20, 20}});
  bool shown = false;  // stands for a radio button of the owner
  int calls = 0;
  PlotPanel panel;
  panel.resize(kSide, kSide);
  panel.setCurves([&] {
    ++calls;
    std::vector<plot::Curve> curves;
    if (shown) curves.push_back({&trace, 0, plot::Pen::red});
    return curves;
  });
  EXPECT_EQ(panel.grab().toImage().pixelColor(px(10, 20)), kGrey);
  shown = true;
  EXPECT_EQ(panel.grab().toImage().pixelColor(px(10, 20)), kRed);
  EXPECT_EQ(calls, 2);
}

TEST(PlotPanelWidget, ClickMarkerLastsOnePaint) {
  PlotPanel panel;
  panel.resize(kSide, kSide);
  panel.showClickMarker(40);
  const QImage marked = panel.grab().toImage();
  const int column = px(40, 0).x();
  const int dots = countInColumn(marked, column, kSky);
  EXPECT_GT(dots, 30);
  EXPECT_LT(dots, 191);  // dotted, and only from y = -95 to 95
  EXPECT_NE(marked.pixelColor(px(40, 95)), kSky);
  for (int y : {97, -97}) EXPECT_NE(marked.pixelColor(px(40, y)), kSky);
  EXPECT_EQ(countInColumn(panel.grab().toImage(), column, kSky), 0);
}

TEST(PlotPanelWidget, LeftClickReportsPanelCoordinates) {
  PlotPanel panel;
  panel.resize(kSide, kSide);
  panel.show();
  QSignalSpy spy(&panel, &PlotPanel::panelClicked);
  QTest::mouseClick(&panel, Qt::LeftButton, {}, px(0, 0));
  QTest::mouseClick(&panel, Qt::LeftButton, {}, QPoint(200, 50));
  QTest::mouseClick(&panel, Qt::RightButton, {}, QPoint(200, 50));
  ASSERT_EQ(spy.count(), 2);
  EXPECT_EQ(spy.at(0).at(0).toInt(), 0);
  EXPECT_EQ(spy.at(0).at(1).toInt(), 0);
  EXPECT_EQ(spy.at(1).at(0).toInt(), 90);
  EXPECT_EQ(spy.at(1).at(1).toInt(), 60);
}

TEST(PlotPanelWidget, ClickAndDrawingAgreeOnOddSizes) {
  // A click on the pixel where a curve is drawn reports that curve's x, and
  // the marker at the reported x lands on the clicked column.
  const plot::Trace trace = makeTrace({40, 40}, {{-30, 30}});
  PlotPanel panel;
  panel.resize(201, 180);
  panel.show();
  panel.setCurves([&] { return std::vector<plot::Curve>{{&trace, 0, plot::Pen::red}}; });
  const QImage image = panel.grab().toImage();
  int column = -1;
  for (int c = 0; c < image.width() && column < 0; ++c)
    if (image.pixelColor(c, 90) == kRed) column = c;
  ASSERT_GE(column, 0);

  QSignalSpy spy(&panel, &PlotPanel::panelClicked);
  QTest::mouseClick(&panel, Qt::LeftButton, {}, QPoint(column, 90));
  ASSERT_EQ(spy.count(), 1);
  const int x_l = spy.at(0).at(0).toInt();
  EXPECT_NEAR(x_l, 40, 1);
  EXPECT_NEAR(spy.at(0).at(1).toInt(), 0, 1);

  panel.setCurves({});
  panel.showClickMarker(x_l);
  const QImage marked = panel.grab().toImage();
  EXPECT_GT(countInColumn(marked, column, kSky) + countInColumn(marked, column - 1, kSky) +
                countInColumn(marked, column + 1, kSky),
            20);
}

TEST(PlotPanelWidget, TitlePictureIsCopiedUnscaled) {
  const QImage picture = talvern_title_picture();
  QImage frame(300, 120, QImage::Format_RGB32);
  frame.fill(QColor(1, 2, 3));
  {
    QPainter painter(&frame);
    paintTitlePicture(painter, QPoint(2, 3));
  }
  EXPECT_EQ(frame.copy(2, 3, picture.width(), picture.height()),
            picture.convertToFormat(QImage::Format_RGB32));
  EXPECT_EQ(frame.pixelColor(1, 50), QColor(1, 2, 3));
  EXPECT_EQ(frame.pixelColor(2 + picture.width(), 50), QColor(1, 2, 3));
}
