#include "rixs/ui/PlaneMap.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>

namespace talvern {

void paint_picture(QPainter& painter, const PlanePicture& p) {
  const QImage image(p.rgb.data(), p.width, p.height, p.width * 3, QImage::Format_RGB888);
  painter.drawImage(0, 0, image);
}

PlaneMap::PlaneMap(QWidget* parent) : QWidget(parent) {
  setMinimumSize(480, 300);
  setCursor(Qt::CrossCursor);
}

void PlaneMap::setShown(std::function<Shown()> shown) {
  shown_ = std::move(shown);
  update();
}

PlaneMap::Shown PlaneMap::shown() const { return shown_ ? shown_() : Shown{}; }

PlanePicture PlaneMap::picture() const { return pictureOf(shown()); }

PlanePicture PlaneMap::pictureOf(const Shown& s) const {
  static const RIXSPlane kNone;
  return render_plane(s.plane ? *s.plane : kNone, s.log, width(), height());
}

void PlaneMap::paintEvent(QPaintEvent*) {
  static const RIXSPlane kNone;
  const Shown s = shown();
  const RIXSPlane& plane = s.plane ? *s.plane : kNone;
  if (!cache_ || cache_->size != size() || cache_->log != s.log || !(cache_->plane == plane)) {
    const PlanePicture p = pictureOf(s);
    const QImage image(p.rgb.data(), p.width, p.height, p.width * 3, QImage::Format_RGB888);
    cache_ = Cache{plane, s.log, size(), image.copy(), p.layout};
    ++renders_;
  }
  QPainter painter(this);
  painter.drawImage(0, 0, cache_->image);
  if (!s.plane || !s.pick || s.plane->empty()) return;
  // Dashed white lines through the point picked.
  const PlaneLayout& l = cache_->layout;
  const auto [r, k] = *s.pick;
  if (r >= s.plane->rows() || k >= s.plane->columns()) return;
  const double x = l.px_of(s.plane->omega[r]), y = l.py_of(s.plane->axis_value(r, k));
  painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
  painter.drawLine(QPointF(x, l.y0), QPointF(x, l.y0 + l.h));
  painter.drawLine(QPointF(l.x0, y), QPointF(l.x0 + l.w, y));
}

void PlaneMap::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const Shown s = shown();
  if (!s.plane) return;
  const PlaneLayout l = plane_layout(*s.plane, width(), height());
  const QPoint pos = event->position().toPoint();
  if (const auto at = plane_point_at(*s.plane, l, pos.x(), pos.y()); at && clicked)
    clicked(at->first, at->second);
}

}  // namespace talvern
