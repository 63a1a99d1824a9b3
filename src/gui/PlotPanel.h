#pragma once
// The plot panel widget: a white surface with the grey plot frame, the
// dotted grid and the curves of its owner, drawn completely at every paint.
//
// The panel keeps no picture and no traces. Its owner hands it a provider
// that lists the curves to draw; the provider is called at every paint, so
// radio buttons and work-space flags read inside it take effect at the next
// paint. The curves point at traces the owner keeps alive.

#include <QPoint>
#include <QSize>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

#include "plot/panel.h"

class QPainter;

class PlotPanel : public QWidget {
  Q_OBJECT

 public:
  using CurveProvider = std::function<std::vector<talvern::plot::Curve>()>;

  explicit PlotPanel(QWidget* parent = nullptr);

  // Curves to draw, in drawing order (later curves over earlier ones).
  // An empty provider draws frame and grid only.
  void setCurves(CurveProvider provider);

  // Dotted sky-blue vertical line at panel x coordinate x_l from y = -95 to
  // 95, shown at the next paint and gone at the one after.
  void showClickMarker(int x_l);

  // Draws the whole panel again at once.
  void redraw();

  // Draws one panel of `size` pixels onto `painter`: white surface, frame,
  // grid, the curves and, when given, the click marker. Nothing is drawn
  // when the size is empty. The painter's state is restored afterwards.
  static void paintPanel(QPainter& painter, QSize size,
                         const std::vector<talvern::plot::Curve>& curves,
                         std::optional<int> marker = std::nullopt);

 signals:
  // Left-button press, in panel coordinates of this panel.
  void panelClicked(int x_l, int y_l);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  CurveProvider provider_;
  std::optional<int> marker_;
};

// The main form's title picture, copied unscaled with its top-left corner at
// `topLeft` (the picture frame's origin).
void paintTitlePicture(QPainter& painter, QPoint topLeft);
