#pragma once
// The colour map of a RIXS plane, drawn by the core's picture at the
// widget's size; a click reports the data point under the mouse. The
// picture is kept and made again only when the plane, its scale or the
// widget's size changes; the point picked is drawn over it.

#include <QImage>
#include <QSize>
#include <QWidget>

#include <cstddef>
#include <functional>
#include <optional>
#include <utility>

#include "rixs/plane_picture.h"

class QPainter;

namespace talvern {

// The picture at the widget's top left corner.
void paint_picture(QPainter& painter, const PlanePicture& picture);

class PlaneMap : public QWidget {
 public:
  // What to draw: the plane, the logarithmic scale, the point picked (if any).
  struct Shown {
    const RIXSPlane* plane = nullptr;
    bool log = false;
    std::optional<std::pair<std::size_t, std::size_t>> pick;
  };
  explicit PlaneMap(QWidget* parent = nullptr);

  // What to draw, asked for at every paint and click; none draws an empty
  // map.
  void setShown(std::function<Shown()> shown);

  // Called with the row and column of a click on a data point.
  std::function<void(std::size_t, std::size_t)> clicked;

  // The picture as the widget shows it.
  PlanePicture picture() const;

  // How often the picture has been made.
  int renders() const { return renders_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  // The picture of `s` at the widget's size.
  PlanePicture pictureOf(const Shown& s) const;

  Shown shown() const;

  std::function<Shown()> shown_;
  // The picture last made, of what and at which size.
  struct Cache {
    RIXSPlane plane;
    bool log = false;
    QSize size;
    QImage image;
    PlaneLayout layout;
  };
  std::optional<Cache> cache_;
  int renders_ = 0;
};

}  // namespace talvern
