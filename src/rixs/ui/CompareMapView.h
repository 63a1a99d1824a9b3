#pragma once
// One of the three maps of the measured set beside the model (measured,
// calculated, their difference), drawn by the core's picture at the
// widget's size; a click reports the compared point nearest the mouse.

#include <QWidget>

#include <cstddef>
#include <functional>
#include <optional>

#include "rixs/compare_maps.h"

namespace talvern {

class CompareMapView : public QWidget {
 public:
  // What to draw: the comparison (none: an empty map), the energy transfer
  // upwards, the logarithmic scale, the point picked (if any).
  struct Shown {
    const SetComparison* comparison = nullptr;
    bool transfer = false, log = false;
    std::optional<std::size_t> pick;
  };
  CompareMapView(CompareMap which, QWidget* parent = nullptr);

  // What to draw, asked for at every paint and click.
  void setShown(std::function<Shown()> shown);

  // Called with the compared point of a click on the map.
  std::function<void(std::size_t)> clicked;

  // The picture as the widget shows it.
  PlanePicture picture() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  Shown shown() const;
  PlanePicture pictureOf(const Shown& s) const;

  CompareMap which_;
  std::function<Shown()> shown_;
};

}  // namespace talvern
