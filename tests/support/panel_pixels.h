// Test helpers for pictures of plot panels: counting pixels of one colour,
// and counting the paints a panel receives on screen.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QCoreApplication>
#include <QEvent>
#include <QImage>
#include <QObject>
#include <QTest>
#include <QWidget>

#include <cmath>

namespace talvern::test {

inline const QColor kRedPen(255, 0, 0), kBluePen(0, 0, 255), kSkyBluePen(0, 200, 255);
// The marker of an energy a dialog holds.
inline const QColor kMarkerPen(230, 120, 0);

// Pixels of `colour` in the whole image, or in one column of it.
inline int count_pixels(const QImage& image, QColor colour, int column = -1) {
  const int first = column < 0 ? 0 : column;
  const int last = column < 0 ? image.width() - 1 : column;
  int n = 0;
  for (int x = first; x <= last; ++x)
    for (int y = 0; y < image.height(); ++y) n += image.pixelColor(x, y) == colour;
  return n;
}

// Sky-blue pixels of a click marker drawn at pixel column `column`, give or
// take one column of rounding.
inline int marker_pixels(const QImage& image, int column) {
  int n = 0;
  for (int c : {column - 1, column, column + 1}) n += count_pixels(image, kSkyBluePen, c);
  return n;
}

// Pixels of a marker of `colour` in pixel column `column`, give or take one.
inline int line_pixels(const QImage& image, QColor colour, int column) {
  int n = 0;
  for (int c : {column - 1, column, column + 1}) n += count_pixels(image, colour, c);
  return n;
}

// The pixel column of a panel `width` pixels wide at frame x `f`.
inline int frame_column(double f, int width) {
  return static_cast<int>(std::lround(width / 2 + f * width / 220.0));
}

// Delivers the repaints already asked for: widgets post their update
// requests as events, so once the posted events are sent, every paint due
// has happened and none is still to come.
inline void deliver_pending_paints() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

// Counts the paint events `widget` receives from now on: a command that
// changes the picture must make the panel itself paint again, not only
// its dialog.
class PaintCounter : public QObject {
 public:
  // Lets the paints already due (the first one after show) happen first.
  explicit PaintCounter(QWidget* widget) {
    if (!QTest::qWaitForWindowExposed(widget->window())) ADD_FAILURE() << "window never shown";
    deliver_pending_paints();
    widget->installEventFilter(this);
  }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

}  // namespace talvern::test
