#include "gui/PlotPanel.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QTransform>

#include <algorithm>
#include <utility>

#include "gui/title_picture.h"

namespace plot = talvern::plot;

namespace {

QColor toColor(plot::Rgb c) { return QColor(c.r, c.g, c.b); }

// Every pen is one device pixel wide, whatever the stretch of the mapping.
QPen makePen(plot::Pen which) {
  const plot::PenStyle style = plot::pen_style(which);
  QPen pen(toColor(style.colour));
  pen.setWidth(1);
  pen.setCosmetic(true);
  pen.setStyle(style.dotted ? Qt::DotLine : Qt::SolidLine);
  return pen;
}

// Pen position and straight segments for the curve rule.
class LineSink {
 public:
  explicit LineSink(QPainter& painter) : painter_(painter) {}
  void move_to(int x, int y) { at_ = QPoint(x, y); }
  void line_to(int x, int y) {
    const QPoint to(x, y);
    painter_.drawLine(at_, to);
    at_ = to;
  }

 private:
  QPainter& painter_;
  QPoint at_;
};

// The title picture is built once, on first use.
const QImage& titlePicture() {
  static const QImage picture = talvern_title_picture();
  return picture;
}

// The part of the picture frame the title picture is copied into.
constexpr int kTitleCopyWidth = 420;
constexpr int kTitleCopyHeight = 180;

}  // namespace

PlotPanel::PlotPanel(QWidget* parent) : QWidget(parent) {
  // The paint covers every pixel, so the background need not be cleared.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PlotPanel::setCurves(CurveProvider provider) {
  provider_ = std::move(provider);
  update();
}

void PlotPanel::showClickMarker(int x_l) {
  marker_ = x_l;
  update();
}

void PlotPanel::redraw() { repaint(); }

void PlotPanel::paintPanel(QPainter& painter, QSize size, const std::vector<plot::Curve>& curves,
                           std::optional<int> marker) {
  const int w = size.width();
  const int h = size.height();
  if (w <= 0 || h <= 0) return;

  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.fillRect(QRect(0, 0, w, h), toColor(plot::kPanelFill));

  // 220 logical units over w pixels to the right and h pixels upwards, the
  // logical origin at pixel (w / 2, h / 2).
  painter.setTransform(QTransform(double(w) / plot::kLogicalExtent, 0.0, 0.0,
                                  -double(h) / plot::kLogicalExtent, w / 2, h / 2));

  const int f = plot::kFrameHalf;
  painter.setPen(makePen(plot::Pen::frame));
  painter.setBrush(toColor(plot::kFrameFill));
  painter.drawRect(QRectF(QPointF(-f, -f), QPointF(f, f)));
  painter.setBrush(Qt::NoBrush);

  painter.setPen(makePen(plot::Pen::grid));
  for (int at : plot::kGridLines) painter.drawLine(QPoint(-f, at), QPoint(f, at));
  for (int at : plot::kGridLines) painter.drawLine(QPoint(at, -f), QPoint(at, f));

  for (const plot::Curve& curve : curves) {
    painter.setPen(makePen(curve.pen));
    LineSink sink(painter);
    plot::walk_curve(curve, sink);
  }

  if (marker) {
    painter.setPen(makePen(plot::Pen::sky_blue));
    painter.drawLine(QPoint(*marker, -95), QPoint(*marker, 95));
  }
  painter.restore();
}

void PlotPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  std::vector<plot::Curve> curves;
  if (provider_) curves = provider_();
  paintPanel(painter, size(), curves, marker_);
  // The marker belongs to this paint only.
  marker_.reset();
}

void PlotPanel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const QPoint at = event->position().toPoint();
    const plot::PanelPoint p = plot::pixel_to_panel(at.x(), at.y(), width(), height());
    emit panelClicked(p.x, p.y);
  }
  QWidget::mousePressEvent(event);
}

void paintTitlePicture(QPainter& painter, QPoint topLeft) {
  const QImage& picture = titlePicture();
  const QRect source(0, 0, std::min(picture.width(), kTitleCopyWidth),
                     std::min(picture.height(), kTitleCopyHeight));
  painter.drawImage(topLeft, picture, source);
}
