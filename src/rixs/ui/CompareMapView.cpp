#include "rixs/ui/CompareMapView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPen>

#include "rixs/ui/PlaneMap.h"

namespace talvern {

CompareMapView::CompareMapView(CompareMap which, QWidget* parent) : QWidget(parent), which_(which) {
  setMinimumSize(400, 260);
  setCursor(Qt::CrossCursor);
}

void CompareMapView::setShown(std::function<Shown()> shown) {
  shown_ = std::move(shown);
  update();
}

CompareMapView::Shown CompareMapView::shown() const { return shown_ ? shown_() : Shown{}; }

PlanePicture CompareMapView::picture() const { return pictureOf(shown()); }

PlanePicture CompareMapView::pictureOf(const Shown& s) const {
  static const SetComparison kNone;
  return render_compare_map(s.comparison ? *s.comparison : kNone, which_, s.transfer, s.log, width(),
                            height());
}

void CompareMapView::paintEvent(QPaintEvent*) {
  const Shown s = shown();
  const PlanePicture p = pictureOf(s);
  QPainter painter(this);
  paint_picture(painter, p);
  if (!s.comparison || !s.pick || *s.pick >= s.comparison->points()) return;
  // A ring around the point picked, and marks at the edges of the map
  // where its cuts run: the data under them stays in sight.
  const std::size_t i = *s.pick;
  const PlaneLayout& l = p.layout;
  const double x = s.comparison->omega[i];
  const double y = s.transfer ? x - s.comparison->emission[i] : s.comparison->emission[i];
  const QPointF at(l.px_of(x), l.py_of(y));
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::white, 3));
  painter.drawEllipse(at, 6, 6);
  painter.setPen(QPen(Qt::black, 1));
  painter.drawEllipse(at, 6, 6);
  painter.setPen(QPen(Qt::black, 2));
  constexpr int kMark = 7;
  painter.drawLine(QPointF(at.x(), l.y0), QPointF(at.x(), l.y0 + kMark));
  painter.drawLine(QPointF(at.x(), l.y0 + l.h - kMark), QPointF(at.x(), l.y0 + l.h));
  painter.drawLine(QPointF(l.x0, at.y()), QPointF(l.x0 + kMark, at.y()));
  painter.drawLine(QPointF(l.x0 + l.w - kMark, at.y()), QPointF(l.x0 + l.w, at.y()));
}

void CompareMapView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const Shown s = shown();
  if (!s.comparison) return;
  const PlaneLayout l = compare_layout(*s.comparison, s.transfer, s.log, width(), height());
  const QPoint pos = event->position().toPoint();
  if (const auto at = compare_point_at(*s.comparison, s.transfer, l, pos.x(), pos.y()); at && clicked)
    clicked(*at);
}

}  // namespace talvern
