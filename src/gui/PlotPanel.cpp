#include "gui/PlotPanel.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QSpinBox>
#include <QSvgGenerator>
#include <QTransform>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "gui/title_picture.h"
#include "plot/figure.h"
#include "workspace/row_io.h"
#include "workspace/workspace.h"

namespace talvern {
namespace {

QColor toColor(plot::Rgb c) { return QColor(c.r, c.g, c.b); }

// Every pen is `width` device pixels wide (one on the screen), whatever the
// stretch of the mapping.
QPen makePen(plot::Pen which, double width = 1) {
  const plot::PenStyle style = plot::pen_style(which);
  QPen pen(toColor(style.colour));
  pen.setWidthF(width);
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

// The curve rule in a zoomed view: which points are joined is decided as in
// the full view, but each point lies where its value maps exactly (or its
// panel coordinates when the trace has no values) in frame coordinates.
class ZoomedSink {
 public:
  ZoomedSink(QPainter& painter, const plot::Curve& curve, const plot::View& view)
      : painter_(painter), curve_(curve), trace_(*curve.trace), view_(view) {}
  void move_to(std::size_t i) { at_ = point(i); }
  void line_to(std::size_t i) {
    const QPointF to = point(i);
    painter_.drawLine(QLineF(at_, to));
    at_ = to;
  }

 private:
  QPointF point(std::size_t i) const {
    double x = trace_.x[i], y = trace_.y[curve_.y_index][i];
    if (trace_.has_values()) {
      x = trace_.axes->x_of(trace_.energy[i]);
      y = trace_.axes->y_of(trace_.intensity[curve_.y_index][i]);
    }
    // Held far outside the frame, where the clip takes it off.
    return {std::clamp(view_.frame_x(x), -1e6, 1e6), std::clamp(view_.frame_y(y), -1e6, 1e6)};
  }

  QPainter& painter_;
  const plot::Curve& curve_;
  const plot::Trace& trace_;
  const plot::View& view_;
  QPointF at_;
};

// The title picture is built once, on first use.
const QImage& titlePicture() {
  static const QImage picture = talvern_title_picture();
  return picture;
}

// The part of the picture frame the title picture is copied into.
constexpr int kTitleCopyWidth = 420;
constexpr int kTitleCopyHeight = 180;

// Panel x (in pixels of a panel `w` wide) of frame coordinate f, and y.
double pixelX(double f, int w) { return w / 2 + f * w / plot::kLogicalExtent; }
double pixelY(double f, int h) { return h / 2 - f * h / plot::kLogicalExtent; }

std::string_view bytesOf(const QByteArray& bytes) {
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// A save that failed: the work-space's refusal, or the file that could not
// be written.
void reportUnsaved(QWidget* parent, const QString& file, const UserSave& save) {
  QString text = save.refusal.empty() ? "ERROR!! " + file + " could not be written."
                                      : QString::fromStdString(save.refusal).replace("\r\n", "\n");
  QMessageBox::warning(parent, "TALVERN", text);
}

// What the context menu saves: the title of its file dialog (the menu
// entry without its ellipsis), the suffix of the file and how it is written.
struct SaveFormat {
  const char* title;
  const char* suffix;
  UserSave (PlotPanel::*save)(const QString& file);
};
constexpr SaveFormat kSaveFormats[] = {{"Save as PNG", ".png", &PlotPanel::savePng},
                                       {"Save as SVG", ".svg", &PlotPanel::saveSvg},
                                       {"Save curves as CSV", ".csv", &PlotPanel::saveCsv}};

// A figure's file suffix by its format.
const char* figureSuffix(FigureOptions::Format format) {
  switch (format) {
    case FigureOptions::Format::svg: return ".svg";
    case FigureOptions::Format::pdf: return ".pdf";
    default: return ".png";
  }
}

constexpr double kPointsPerCm = 72 / 2.54;
// Sizes of a figure's fonts in its points: values and titles, and the
// legend and clipped mark a point smaller (paintOverlay).
constexpr int kFigureFontPoints = 9;
// Width of a figure's lines in its points.
constexpr double kFigureLinePoints = 0.75;

// The "Save Figure" dialog: format, size preset and, for PNG, resolution;
// nothing when cancelled.
std::optional<FigureOptions> askFigure(QWidget* parent, double screenCm) {
  QDialog dialog(parent);
  dialog.setObjectName("saveFigure");
  dialog.setWindowTitle("Save Figure");
  auto* form = new QFormLayout(&dialog);
  auto* format = new QComboBox;
  format->setObjectName("figureFormat");
  format->addItem("PNG", int(FigureOptions::Format::png));
  format->addItem("SVG", int(FigureOptions::Format::svg));
  format->addItem("PDF", int(FigureOptions::Format::pdf));
  auto* size = new QComboBox;
  size->setObjectName("figureSize");
  size->addItem(QString("One column (%1 cm)").arg(kOneColumnCm), kOneColumnCm);
  size->addItem(QString("Two columns (%1 cm)").arg(kTwoColumnsCm), kTwoColumnsCm);
  size->addItem(QString("Screen (%1 cm)").arg(screenCm, 0, 'f', 1), screenCm);
  auto* dpi = new QSpinBox;
  dpi->setObjectName("figureDpi");
  dpi->setRange(72, 1200);
  dpi->setValue(300);
  dpi->setSuffix(" DPI");
  QObject::connect(format, &QComboBox::currentIndexChanged, dpi,
                   [format, dpi] { dpi->setEnabled(format->currentData().toInt() == int(FigureOptions::Format::png)); });
  form->addRow("Format", format);
  form->addRow("Size", size);
  form->addRow("Resolution", dpi);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  FigureOptions options;
  options.format = FigureOptions::Format(format->currentData().toInt());
  options.width_cm = size->currentData().toDouble();
  options.dpi = dpi->value();
  return options;
}

}  // namespace

PlotPanel::PlotPanel(QWidget* parent, UserFiles files) : QWidget(parent), files_(std::move(files)) {
  // The paint covers every pixel, so the background need not be cleared.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setMouseTracking(true);
}

void PlotPanel::setCurves(CurveProvider provider) {
  provider_ = std::move(provider);
  update();
}

void PlotPanel::setText(TextProvider provider) {
  textProvider_ = std::move(provider);
  update();
}

void PlotPanel::setLegendShown(bool shown) {
  legend_ = shown;
  update();
}

void PlotPanel::showClickMarker(double x_l) {
  marker_ = x_l;
  update();
}

void PlotPanel::redraw() { repaint(); }

void PlotPanel::setView(const plot::View& view) {
  view_ = view;
  update();
  emit axesChanged();
}

std::vector<plot::Curve> PlotPanel::curves() const {
  return provider_ ? provider_() : std::vector<plot::Curve>{};
}

plot::PanelText PlotPanel::currentText() const {
  return textProvider_ ? textProvider_() : plot::PanelText{};
}

void PlotPanel::paintPanel(QPainter& painter, QSize size, const std::vector<plot::Curve>& curves,
                           std::optional<double> marker, const plot::View& view,
                           const std::vector<double>& held, double line) {
  const int w = size.width();
  const int h = size.height();
  if (w <= 0 || h <= 0) return;

  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.fillRect(QRect(0, 0, w, h), toColor(plot::kPanelFill));

  // 220 logical units over w pixels to the right and h pixels upwards, the
  // logical origin at pixel (w / 2, h / 2).
  painter.setTransform(QTransform(double(w) / plot::kLogicalExtent, 0.0, 0.0,
                                  -double(h) / plot::kLogicalExtent, w / 2, h / 2),
                       true);

  const int f = plot::kFrameHalf;
  painter.setPen(makePen(plot::Pen::frame, line));
  painter.setBrush(toColor(plot::kFrameFill));
  painter.drawRect(QRectF(QPointF(-f, -f), QPointF(f, f)));
  painter.setBrush(Qt::NoBrush);

  painter.setPen(makePen(plot::Pen::grid, line));
  for (int at : plot::kGridLines) painter.drawLine(QPoint(-f, at), QPoint(f, at));
  for (int at : plot::kGridLines) painter.drawLine(QPoint(at, -f), QPoint(at, f));

  if (view.full()) {
    for (const plot::Curve& curve : curves) {
      painter.setPen(makePen(curve.pen, line));
      LineSink sink(painter);
      plot::walk_curve(curve, sink);
    }
    painter.setPen(makePen(plot::Pen::marker, line));
    for (double x : held)
      if (std::abs(x) <= f) painter.drawLine(QLineF(x, -95, x, 95));
    if (marker) {
      const int x = static_cast<int>(std::trunc(*marker));
      painter.setPen(makePen(plot::Pen::sky_blue, line));
      painter.drawLine(QPoint(x, -95), QPoint(x, 95));
    }
  } else {
    // Inside the frame only; the frame line stays visible.
    painter.setClipRect(QRectF(QPointF(-f + 0.5, -f + 0.5), QPointF(f - 0.5, f - 0.5)));
    for (const plot::Curve& shown : curves) {
      if (!shown.trace || shown.y_index >= shown.trace->y.size()) continue;
      // A view beyond the frame (every curve whole) joins what the frame cut.
      const plot::Curve curve = plot::widened_curve(shown, view);
      painter.setPen(makePen(curve.pen, line));
      ZoomedSink sink(painter, curve, view);
      plot::walk_curve_points(curve, sink);
    }
    const double bottom = std::max(view.frame_y(-95), -1e6), top = std::min(view.frame_y(95), 1e6);
    painter.setPen(makePen(plot::Pen::marker, line));
    for (double x : held) painter.drawLine(QLineF(view.frame_x(x), bottom, view.frame_x(x), top));
    if (marker) {
      const double x = view.frame_x(*marker);
      painter.setPen(makePen(plot::Pen::sky_blue, line));
      painter.drawLine(QLineF(x, bottom, x, top));
    }
  }
  painter.restore();
}

void PlotPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const std::vector<plot::Curve> shown = curves();
  const plot::PanelText text = currentText();
  const auto axes = plot::panel_axes(shown);
  const bool titled = text.x_title != text_.x_title || text.y_title != text_.y_title;
  text_ = text;
  const bool scaled = axes != axes_;
  axes_ = axes;
  paintPanel(painter, size(), shown, marker_, view_, heldAt(text_));
  paintOverlay(painter, size(), shown, text_);
  // The click marker belongs to this paint only.
  marker_.reset();
  if (dragging_ && pressedAt_) {
    painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
    painter.drawRect(QRect(*pressedAt_, dragTo_).normalized());
  }
  if (scaled || titled) emit axesChanged();
}

std::vector<double> PlotPanel::heldAt(const plot::PanelText& text) const {
  // The markers the owner holds, at their energies on the panel.
  std::vector<double> held;
  if (axes_)
    for (const plot::Marker& m : text.markers)
      if (const double x = axes_->x_of(m.energy); std::isfinite(x) && std::abs(x) < 1e6)
        held.push_back(x);
  return held;
}

void PlotPanel::paintOverlay(QPainter& painter, QSize size, const std::vector<plot::Curve>& curves,
                             const plot::PanelText& text, double line) const {
  const int w = size.width(), h = size.height();
  if (w <= 0 || h <= 0) return;
  painter.save();
  const int f = plot::kFrameHalf;
  const QRectF frame(QPointF(pixelX(-f, w), pixelY(f, h)), QPointF(pixelX(f, w), pixelY(-f, h)));

  // Tick marks outside the frame, at the axis values.
  if (axes_) {
    QPen tick(Qt::black);
    tick.setCosmetic(true);
    tick.setWidthF(line);
    painter.setPen(tick);
    for (const plot::Tick& t : plot::energy_ticks(*axes_, view_)) {
      const double x = pixelX(t.at, w);
      painter.drawLine(QPointF(x, frame.bottom()), QPointF(x, frame.bottom() + 4));
    }
    for (const plot::Tick& t : plot::intensity_ticks(*axes_, view_)) {
      const double y = pixelY(t.at, h);
      painter.drawLine(QPointF(frame.left() - 4, y), QPointF(frame.left(), y));
    }
  }

  painter.setClipRect(frame.adjusted(1, 1, -1, -1));

  QFont small = painter.font();
  if (small.pixelSize() > 0)  // a figure's font, sized in its points
    small.setPixelSize(std::max(6, small.pixelSize() - 1));
  else
    small.setPointSizeF(std::max(6.0, small.pointSizeF() - 1));
  painter.setFont(small);
  const QFontMetrics metrics(small);

  // "▲ clipped" at the top of the frame over the highest point cut: the
  // triangle in the colour of the curve cut.
  if (const auto cut = plot::clipped_mark(curves, view_)) {
    const QString word = QStringLiteral("clipped");
    constexpr int kTriangle = 8;
    const double width = kTriangle + 3 + metrics.horizontalAdvance(word);
    const double x = std::clamp(pixelX(cut->at, w) - kTriangle / 2.0, frame.left() + 2,
                                frame.right() - 2 - width);
    const double top = frame.top() + 2;
    const QColor colour = toColor(plot::pen_style(cut->pen).colour);
    const QPointF triangle[] = {{x, top + kTriangle}, {x + kTriangle, top + kTriangle},
                                {x + kTriangle / 2.0, top}};
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPolygon(triangle, 3);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(x + kTriangle + 3, top + kTriangle), word);
  }

  const std::vector<plot::LegendEntry> entries = plot::legend_entries(curves, text.markers);
  if (legend_ && !entries.empty()) {
    constexpr int kSample = 18, kPad = 4, kInset = 3;
    int textWidth = 0;
    for (const plot::LegendEntry& e : entries)
      textWidth = std::max(textWidth, metrics.horizontalAdvance(QString::fromStdString(e.label)));
    const int bw = kPad + kSample + kPad + textWidth + kPad;
    const int bh = kPad + int(entries.size()) * metrics.height() + kPad;
    const double units = double(plot::kLogicalExtent);
    const plot::Corner corner = plot::legend_corner(
        curves, text.markers, axes_, view_, bw * units / w, bh * units / h, kInset * units / w);
    const bool right = corner == plot::Corner::top_right || corner == plot::Corner::bottom_right;
    const bool top = corner == plot::Corner::top_right || corner == plot::Corner::top_left;
    const QRectF box(right ? frame.right() - kInset - bw : frame.left() + kInset,
                     top ? frame.top() + kInset : frame.bottom() - kInset - bh, bw, bh);
    painter.setPen(QPen(QColor(160, 160, 160), 1));
    painter.setBrush(QColor(255, 255, 255, 170));  // what lies under it still shows
    painter.drawRect(box);
    painter.setBrush(Qt::NoBrush);
    double y = box.top() + kPad;
    for (const plot::LegendEntry& e : entries) {
      const double mid = y + metrics.height() / 2.0;
      painter.setPen(makePen(e.pen, line));
      painter.drawLine(QPointF(box.left() + kPad, mid), QPointF(box.left() + kPad + kSample, mid));
      painter.setPen(Qt::black);
      painter.drawText(QPointF(box.left() + 2 * kPad + kSample, y + metrics.ascent()),
                       QString::fromStdString(e.label));
      y += metrics.height();
    }
  }
  painter.restore();
}

QPointF PlotPanel::frameAt(QPointF pixel) const {
  double fx = 0, fy = 0;
  plot::pixel_to_frame(pixel.x(), pixel.y(), width(), height(), fx, fy);
  return {fx, fy};
}

void PlotPanel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    pressedAt_ = event->position().toPoint();
    dragging_ = false;
  }
  QWidget::mousePressEvent(event);
}

void PlotPanel::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (pressedAt_ && (event->buttons() & Qt::LeftButton)) {
    if ((at - *pressedAt_).manhattanLength() >= QApplication::startDragDistance()) dragging_ = true;
    if (dragging_) {
      dragTo_ = at;
      update();
    }
  }
  const QPointF f = frameAt(event->position());
  const bool inside = std::abs(f.x()) <= plot::kFrameHalf && std::abs(f.y()) <= plot::kFrameHalf;
  if (!axes_ || !inside) {
    setReadout(QString());
  } else {
    // Where clicks set an energy, the readout is the energy a click here
    // sets: the click of the pixel the release would report.
    const plot::ClickPoint click = plot::click_point(at.x(), at.y(), width(), height(), view_);
    setReadout(QString::fromStdString(
        text_.click_digits > 0 && plot::click_accepted(click)
            ? plot::click_readout_text(*axes_, view_, click, f.y(), text_.click_digits)
            : plot::readout_text(*axes_, view_, f.x(), f.y())));
  }
  QWidget::mouseMoveEvent(event);
}

void PlotPanel::setReadout(const QString& text) {
  if (text == readout_) return;
  readout_ = text;
  emit readoutChanged(text);
}

void PlotPanel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && pressedAt_) {
    const QPoint from = *pressedAt_;
    pressedAt_.reset();
    if (dragging_) {
      dragging_ = false;
      const QPointF a = frameAt(from), b = frameAt(event->position());
      setView(plot::zoom_to(view_, a.x(), a.y(), b.x(), b.y()));
    } else {
      const plot::ClickPoint p = plot::click_point(from.x(), from.y(), width(), height(), view_);
      emit panelClicked(p.x, p.y);
    }
  }
  QWidget::mouseReleaseEvent(event);
}

void PlotPanel::mouseDoubleClickEvent(QMouseEvent* event) {
  // The release that follows is not a click.
  pressedAt_.reset();
  dragging_ = false;
  if (event->button() == Qt::LeftButton) setView({});
}

void PlotPanel::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y();
  if (steps == 0) return;
  const QPointF f = frameAt(event->position());
  setView(plot::zoom_around(view_, f.x(), f.y(), std::pow(0.8, steps / 120.0)));
  event->accept();
}

void PlotPanel::leaveEvent(QEvent* event) {
  setReadout(QString());
  QWidget::leaveEvent(event);
}

void PlotPanel::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  std::vector<std::pair<QAction*, const char*>> saves;
  for (const SaveFormat& format : kSaveFormats)
    saves.emplace_back(menu.addAction(QString(format.title) + "…"), format.suffix);
  QAction* figure = menu.addAction("Save Figure…");
  figure->setObjectName("saveFigure");
  menu.addSeparator();
  const std::vector<plot::Curve> shown = curves();
  const plot::View whole = plot::whole_view(shown);
  QAction* full = menu.addAction("Full View");
  full->setEnabled(view_ != whole);
  QAction* legend = menu.addAction("Show Legend");
  legend->setCheckable(true);
  legend->setChecked(legend_);
  QAction* chosen = menu.exec(event->globalPos());
  if (!chosen) return;
  if (chosen == full) return setView(whole);
  if (chosen == legend) return setLegendShown(legend->isChecked());
  if (chosen == figure) return saveFigureAs();
  for (const auto& [action, suffix] : saves)
    if (chosen == action) saveAs(suffix);
}

void PlotPanel::saveAs(const char* suffix) {
  const SaveFormat* format = nullptr;
  for (const SaveFormat& f : kSaveFormats)
    if (std::string_view(f.suffix) == suffix) format = &f;
  if (!format) return;
  const std::optional<QString> file = chooseFile(format->title, format->suffix);
  if (!file) return;
  if (const UserSave save = (this->*format->save)(*file); !save) reportUnsaved(this, *file, save);
}

std::optional<QString> PlotPanel::chooseFile(const char* title, const char* suffix) const {
  if (!files_.choose) return std::nullopt;
  FileRequest request(FileKind::save_plot, title);
  request.suffix = suffix;
  const std::optional<std::filesystem::path> chosen = files_.choose(request);
  if (!chosen) return std::nullopt;
  QString file = QFile::decodeName(chosen->c_str());
  if (!file.endsWith(suffix, Qt::CaseInsensitive)) file += suffix;
  return file;
}

void PlotPanel::paintPicture(QPainter& painter, QSize size) {
  painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
  const QRect area(PlotFrame::kLeft, PlotFrame::kTop, width(), height());
  const std::vector<plot::Curve> shown = curves();
  painter.save();
  painter.translate(area.topLeft());
  paintPanel(painter, this->size(), shown, std::nullopt, view_);
  painter.restore();
  axes_ = plot::panel_axes(shown);
  PlotFrame::paintAxes(painter, area, *this);
}

QSize PlotPanel::pictureSize() const {
  return {PlotFrame::kLeft + width() + PlotFrame::kRight,
          PlotFrame::kTop + height() + PlotFrame::kBottom};
}

UserSave PlotPanel::saveFile(const QString& file, std::string_view bytes) const {
  const std::filesystem::path work_space =
      files_.work_space.empty() ? WorkSpace::locate().dir() : files_.work_space;
  return save_user_file(work_space, QFile::encodeName(file).toStdString(), bytes);
}

UserSave PlotPanel::savePng(const QString& file) {
  const QSize size = pictureSize();
  QImage image(size, QImage::Format_RGB32);
  {
    QPainter painter(&image);
    paintPicture(painter, size);
  }
  QByteArray bytes;
  QBuffer out(&bytes);
  if (!out.open(QIODevice::WriteOnly) || !image.save(&out, "PNG"))
    return {WriteStatus::cannot_write, {}};
  return saveFile(file, bytesOf(bytes));
}

UserSave PlotPanel::saveSvg(const QString& file) {
  const QSize size = pictureSize();
  QByteArray bytes;
  QBuffer out(&bytes);
  out.open(QIODevice::WriteOnly);
  {
    QSvgGenerator svg;
    svg.setOutputDevice(&out);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(objectName());
    QPainter painter;
    if (!painter.begin(&svg)) return {WriteStatus::cannot_write, {}};
    paintPicture(painter, size);
  }  // the painter ends the document
  return saveFile(file, bytesOf(bytes));
}

UserSave PlotPanel::saveCsv(const QString& file) { return saveFile(file, plot::curves_csv(curves())); }

double PlotPanel::screenWidthCm() const { return pictureSize().width() * 2.54 / kScreenDpi; }

void PlotPanel::paintFigure(QPainter& painter, QSizeF size, double line) {
  const std::vector<plot::Curve> shown = curves();
  text_ = currentText();
  axes_ = plot::panel_axes(shown);
  painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
  QFont font("DejaVu Sans");
  font.setPixelSize(kFigureFontPoints);  // in the painter's units: points
  painter.setFont(font);
  const QFontMetrics metrics = painter.fontMetrics();
  // Room for the values and titles that paintAxes puts around the panel.
  int widest = 0, widestEnergy = 0;
  if (axes_) {
    for (const plot::Tick& t : plot::intensity_ticks(*axes_, view_))
      widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(t.text)));
    for (const plot::Tick& t : plot::energy_ticks(*axes_, view_))
      widestEnergy = std::max(widestEnergy, metrics.horizontalAdvance(QString::fromStdString(t.text)));
  }
  const int left = 10 + widest + metrics.height(), top = metrics.height() / 2 + 2;
  const int right = widestEnergy / 2 + 2, bottom = 4 + 2 * metrics.height();
  const QRect area(left, top, std::max(1, int(size.width()) - left - right),
                   std::max(1, int(size.height()) - top - bottom));
  painter.save();
  painter.translate(area.topLeft());
  paintPanel(painter, area.size(), shown, std::nullopt, view_, heldAt(text_), line);
  paintOverlay(painter, area.size(), shown, text_, line);
  painter.restore();
  PlotFrame::paintAxes(painter, area, *this);
}

UserSave PlotPanel::saveFigure(const QString& file, const FigureOptions& options) {
  const QSize screen = pictureSize();
  const double width_cm = options.width_cm;
  const double height_cm = width_cm * screen.height() / std::max(1, screen.width());
  if (!(width_cm > 0) || !std::isfinite(height_cm) || !(height_cm > 0))
    return {WriteStatus::cannot_write, {}};
  const QSizeF points(width_cm * kPointsPerCm, height_cm * kPointsPerCm);
  QByteArray bytes;
  QBuffer out(&bytes);
  if (!out.open(QIODevice::WriteOnly)) return {WriteStatus::cannot_write, {}};
  // SVG and PDF: the figure in points, the painter ending the document.
  const auto paintOn = [&](QPaintDevice& device) {
    QPainter painter;
    if (!painter.begin(&device)) return false;
    paintFigure(painter, points, kFigureLinePoints);
    painter.end();
    return true;
  };
  switch (options.format) {
    case FigureOptions::Format::png: {
      const double dpi = std::clamp(options.dpi, 72, 1200);
      const QSize pixels(int(std::lround(width_cm / 2.54 * dpi)),
                         int(std::lround(height_cm / 2.54 * dpi)));
      QImage image(pixels, QImage::Format_RGB32);
      image.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
      image.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
      {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.scale(dpi / 72, dpi / 72);
        paintFigure(painter, points, kFigureLinePoints * dpi / 72);
      }
      if (!image.save(&out, "PNG")) return {WriteStatus::cannot_write, {}};
      break;
    }
    case FigureOptions::Format::svg: {
      QSvgGenerator svg;
      svg.setOutputDevice(&out);
      svg.setResolution(72);  // a unit of the document is a point
      svg.setSize(points.toSize());
      svg.setViewBox(QRectF(QPointF(0, 0), points));
      svg.setTitle(objectName());
      if (!paintOn(svg)) return {WriteStatus::cannot_write, {}};
      break;
    }
    case FigureOptions::Format::pdf: {
      QPdfWriter pdf(&out);
      pdf.setResolution(72);  // a unit of the page is a point
      pdf.setPageSize(QPageSize(QSizeF(width_cm * 10, height_cm * 10), QPageSize::Millimeter,
                                QString(), QPageSize::ExactMatch));
      pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
      pdf.setTitle(objectName());
      if (!paintOn(pdf)) return {WriteStatus::cannot_write, {}};
      break;
    }
  }
  return saveFile(file, bytesOf(bytes));
}

void PlotPanel::saveFigureAs() {
  if (!files_.choose) return;
  const std::optional<FigureOptions> options = askFigure(this, screenWidthCm());
  if (!options) return;
  const std::optional<QString> file = chooseFile("Save Figure", figureSuffix(options->format));
  if (!file) return;
  if (const UserSave save = saveFigure(*file, *options); !save) reportUnsaved(this, *file, save);
}

PlotFrame::PlotFrame(PlotPanel* panel, QWidget* parent, bool energyTitle)
    : QWidget(parent), panel_(panel), energyTitle_(energyTitle) {
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(kLeft, kTop, kRight, energyTitle ? kBottom : kValuesBottom);
  layout->addWidget(panel, 0, 0);
  connect(panel, &PlotPanel::axesChanged, this, qOverload<>(&QWidget::update));
  connect(panel, &PlotPanel::readoutChanged, this, [this](const QString& text) {
    readout_ = text;
    update(readoutRect());
  });
}

QRect PlotFrame::readoutRect() const { return QRect(kLeft, 0, width() - kLeft - kRight, kTop); }

void PlotFrame::paintAxes(QPainter& painter, QRect area, const PlotPanel& panel,
                          bool energyTitle) {
  if (!panel.axes()) return;
  const plot::Axes& axes = *panel.axes();
  const QFontMetrics metrics = painter.fontMetrics();
  const int w = area.width(), h = area.height();
  painter.save();
  painter.setPen(Qt::black);
  // A value that would run into the one drawn before it is left out (its
  // tick stays), so that a small panel keeps its values readable.
  int free = std::numeric_limits<int>::min();
  for (const plot::Tick& tick : plot::energy_ticks(axes, panel.view())) {
    const QString text = QString::fromStdString(tick.text);
    const int x = area.left() + int(std::lround(pixelX(tick.at, w)));
    const int left = x - metrics.horizontalAdvance(text) / 2;
    if (left < free) continue;
    painter.drawText(left, area.bottom() + 2 + metrics.ascent(), text);
    free = left + metrics.horizontalAdvance(text) + metrics.averageCharWidth();
  }
  int widest = 0;
  free = std::numeric_limits<int>::max();
  for (const plot::Tick& tick : plot::intensity_ticks(axes, panel.view())) {
    const QString text = QString::fromStdString(tick.text);
    const int y = area.top() + int(std::lround(pixelY(tick.at, h)));
    const int baseline = y + (metrics.ascent() - metrics.descent()) / 2;
    if (baseline > free) continue;
    widest = std::max(widest, metrics.horizontalAdvance(text));
    painter.drawText(area.left() - 4 - metrics.horizontalAdvance(text), baseline, text);
    free = baseline - metrics.height();
  }
  // The titles: the energy's centred under its values, the intensity's
  // upwards, left of its values.
  const plot::PanelText& titles = panel.text();
  const QString x_title = QString::fromUtf8(titles.x_title ? titles.x_title : "");
  const QString full_y_title = QString::fromUtf8(titles.y_title ? titles.y_title : "");
  if (energyTitle)
    painter.drawText(area.left() + (w - metrics.horizontalAdvance(x_title)) / 2,
                     area.bottom() + 2 + metrics.height() + metrics.ascent(), x_title);
  // A title longer than the panel is high loses its units, or is left out.
  QString y_title = full_y_title;
  if (metrics.horizontalAdvance(y_title) > h) y_title = y_title.section(" (", 0, 0);
  if (metrics.horizontalAdvance(y_title) <= h) {
    painter.translate(std::max(0, area.left() - 8 - widest - metrics.descent()),
                      area.top() + (h + metrics.horizontalAdvance(y_title)) / 2);
    painter.rotate(-90);
    painter.drawText(0, 0, y_title);
  }
  painter.restore();
}

void PlotFrame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintAxes(painter, panel_->geometry(), *panel_, energyTitle_);
  if (!readout_.isEmpty())
    painter.drawText(readoutRect(), Qt::AlignRight | Qt::AlignVCenter, readout_);
}

void paintTitlePicture(QPainter& painter, QPoint topLeft) {
  const QImage& picture = titlePicture();
  const QRect source(0, 0, std::min(picture.width(), kTitleCopyWidth),
                     std::min(picture.height(), kTitleCopyHeight));
  painter.drawImage(topLeft, picture, source);
}

}  // namespace talvern
