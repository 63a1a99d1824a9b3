#include "gui/title_picture.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace talvern {
namespace {

constexpr int kWidth = talvern_title_picture_size().width();
constexpr int kHeight = talvern_title_picture_size().height();
constexpr double kBaseline = 86.0;  // y of the energy axis
constexpr double kLeft = 10.0, kRight = 249.0;

struct Peak {
  double x, height, halfWidth;
};

// Sum of Lorentzians over the axis, as a path from the left to the right end.
template <std::size_t N>
QPainterPath spectrum(const Peak (&peaks)[N]) {
  QPainterPath path;
  for (double x = kLeft; x <= kRight; x += 0.5) {
    double y = 0.0;
    for (const Peak& p : peaks) {
      const double d = (x - p.x) / p.halfWidth;
      y += p.height / (1.0 + d * d);
    }
    const QPointF point(x, kBaseline - y);
    if (x == kLeft)
      path.moveTo(point);
    else
      path.lineTo(point);
  }
  return path;
}

}  // namespace

QImage talvern_title_picture() {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);

  QLinearGradient background(0, 0, 0, kHeight);
  background.setColorAt(0.0, QColor(255, 255, 255));
  background.setColorAt(1.0, QColor(226, 236, 250));
  p.fillRect(image.rect(), background);

  // A broad absorption-like curve in blue and a sharp emission-like one in red.
  const Peak blue[] = {{70, 8, 22}, {150, 16, 18}, {212, 30, 14}, {240, 12, 8}};
  const Peak red[] = {{218, 54, 4.5}, {236, 22, 5}, {190, 9, 6}};

  QPainterPath redFill = spectrum(red);
  redFill.lineTo(kRight, kBaseline);
  redFill.lineTo(kLeft, kBaseline);
  redFill.closeSubpath();
  p.fillPath(redFill, QColor(220, 40, 40, 40));

  p.setPen(QPen(QColor(40, 80, 200), 1.4));
  p.drawPath(spectrum(blue));
  p.setPen(QPen(QColor(210, 30, 30), 1.4));
  p.drawPath(spectrum(red));

  // Energy axis with small ticks.
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QColor(70, 80, 100));
  p.drawLine(QPointF(kLeft, kBaseline), QPointF(kRight, kBaseline));
  for (int x = 20; x <= 240; x += 20) p.drawLine(x, int(kBaseline), x, int(kBaseline) + 3);
  p.setRenderHint(QPainter::Antialiasing);

  QFont title("DejaVu Serif");
  title.setPixelSize(28);
  title.setBold(true);
  p.setFont(title);
  p.setPen(QColor(28, 46, 90));
  p.drawText(QPointF(12, 38), "TALVERN");

  QFont caption("DejaVu Sans");
  caption.setPixelSize(10);
  p.setFont(caption);
  p.setPen(QColor(80, 96, 122));
  p.drawText(QPointF(14, 54), "RIXS simulation");

  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QColor(74, 90, 112));
  p.setBrush(Qt::NoBrush);
  p.drawRect(0, 0, kWidth - 1, kHeight - 1);
  return image;
}

}  // namespace talvern
