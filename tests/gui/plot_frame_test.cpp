#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gui/PlotPanel.h"
#include "rixs/rixs_simulation.h"
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

// Values sit at their ticks (7000, 7050 ... 7250 eV; 0, 0.2 ... 1), the
// titles under the energies and left of the intensities.
TEST(PlotFrames, ValuesSitAtTheirTicksAndTitlesBesideThem) {
  Shown shown;
  const QImage image = shown.frame.grab().toImage();
  const QRect p = shown.panel->geometry();
  EXPECT_EQ(p.size(), QSize(300, 220));
  // 7050 ... 7200 eV at frame x -60, -20, 20, 60: pixels 68, 123, 177, 232.
  for (int column : {68, 123, 177, 232})
    EXPECT_TRUE(inkIn(image, {p.left() + column - 2, p.bottom() + 1, 5, 14})) << column;
  for (int column : {95, 150, 205})  // between them
    EXPECT_FALSE(inkIn(image, {p.left() + column - 2, p.bottom() + 1, 5, 14})) << column;
  // 0.2, 0.6 and 1.0 at y = -59, 13, 85: rows 169, 97, 25, ending left of the panel.
  for (int row : {169, 97, 25}) EXPECT_TRUE(inkIn(image, {p.left() - 20, p.top() + row - 1, 18, 3}));
  EXPECT_FALSE(inkIn(image, {p.left() - 25, p.top() + 79, 25, 3}));
  // "Energy (eV)" centred under the values, "Intensity (arb. units)" upwards
  // at the far left.
  EXPECT_TRUE(inkIn(image, {p.left() + 140, p.bottom() + 18, 20, 14}));
  EXPECT_FALSE(inkIn(image, {p.left(), p.bottom() + 18, 60, 14}));
  EXPECT_TRUE(inkIn(image, {0, p.top() + 100, p.left() - 30, 20}));
  EXPECT_FALSE(inkIn(image, {0, p.top(), p.left() - 30, 20}));
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
  EXPECT_TRUE(inkIn(png, {PlotFrame::kLeft + 121, PlotFrame::kTop + 221, 5, 14}));  // "7100"

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

namespace {

// Chooses the entry `text` of the panel's context menu, as the user does.
void chooseFromMenu(PlotPanel* panel, const QString& text) {
  QTimer::singleShot(0, [text] {
    QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) {
      ADD_FAILURE() << "no context menu";
      return;
    }
    for (QAction* action : menu->actions())
      if (action->text() == text && action->isEnabled()) {
        menu->setActiveAction(action);
        QTest::keyClick(menu, Qt::Key_Return);
        return;
      }
    ADD_FAILURE() << "no enabled entry " << qPrintable(text);
    menu->close();
  });
  const QPoint at(panel->width() / 2, panel->height() / 2);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, panel->mapToGlobal(at));
  QApplication::sendEvent(panel, &event);
}

// Blue pixels at the top of the frame, above y = 95 where no curve is drawn
// in the full view, within 12 pixels of column `column`.
int blueAtTop(const QImage& image, int column) {
  int n = 0;
  const int top = (220 / 2 - 100), below = (220 / 2 - 95);  // a 220-pixel-high panel
  for (int x = std::max(0, column - 12); x <= std::min(image.width() - 1, column + 12); ++x)
    for (int y = top + 1; y < below; ++y) n += image.pixelColor(x, y) == talvern::test::kBluePen;
  return n;
}

}  // namespace

// "Comp. of RIXS" with a calculation taller than the measurement: the
// panel marks the cut over the peak; "Full View" in the context menu shows
// the whole curve and drops the mark; "Show Legend" switches the legend.
TEST(PlotFrames, ACutCurveIsMarkedAndFullViewShowsItWhole) {
  talvern::test::TempDir tmp;
  talvern::RIXSState state;
  std::vector<double> measured, calculated;
  for (int e = 7040; e <= 7070; ++e) {
    const double g = std::exp(-(e - 7055) * (e - 7055) / 20.0);
    measured.insert(measured.end(), {double(e), g});
    calculated.insert(calculated.end(), {double(e), 2 * g, 0, 0});
  }
  const plot::Range range{7040, 7070, 0, 20000};
  state.experimental = plot::mapped_trace(measured.data(), 31, 2, 1, range, plot::kComparisonMapping);
  state.comparison = plot::mapped_trace(calculated.data(), 31, 4, 3, range, plot::kComparisonMapping);
  ASSERT_TRUE(state.experimental && state.comparison);
  auto& hidden = state.comparison->hidden;
  hidden.assign(31, 0);
  for (std::size_t j = 1; j < 31; ++j) hidden[j] = state.comparison->y[0][j - 1] > 85;

  PlotPanel* panel = new PlotPanel;
  PlotFrame frame(panel);
  panel->setMinimumSize(300, 220);
  panel->setCurves([&] { return talvern::comparison_curves(state, false); });
  panel->setText(talvern::emission_text);
  frame.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));

  const QImage cut = panel->grab().toImage();
  EXPECT_GT(blueAtTop(cut, 150), 2);  // the triangle over 7055 eV

  const int redWithLegend = talvern::test::count_pixels(cut, talvern::test::kRedPen);
  EXPECT_TRUE(panel->legendShown());
  chooseFromMenu(panel, "Show Legend");
  QTRY_VERIFY(!panel->legendShown());
  const QImage bare = panel->grab().toImage();
  EXPECT_LT(talvern::test::count_pixels(bare, talvern::test::kRedPen), redWithLegend - 10);
  EXPECT_GT(blueAtTop(bare, 150), 2);

  chooseFromMenu(panel, "Full View");
  QTRY_VERIFY(panel->view().y_hi > 100);
  EXPECT_EQ(panel->view(), plot::whole_view(talvern::comparison_curves(state, false)));
  // The calculated peak, twice the measured one, is drawn whole above it.
  const QImage whole = panel->grab().toImage();
  const auto topmost = [&whole](QColor colour) {
    for (int y = 0; y < whole.height(); ++y)
      for (int x = 0; x < whole.width(); ++x)
        if (whole.pixelColor(x, y) == colour) return y;
    return whole.height();
  };
  EXPECT_LT(topmost(talvern::test::kBluePen), topmost(talvern::test::kRedPen) - 60);
}
